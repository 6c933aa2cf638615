// dl_peer_id.dll: a machine's peer id, sixteen upper-case hexadecimal
// characters that stay the same for every call, every process and every run
// on one machine.
//
//   int __stdcall get_peer_id(char* buffer, int* length)
//
// On entry *length is the size of the buffer in bytes (32 from the client).
// On success the id is written (NUL-terminated when there is room for it),
// *length becomes 16 and the result is 0. A null argument or a buffer shorter
// than 16 bytes gives a non-zero result and leaves the buffer alone.
#include <windows.h>

#include <cstdint>
#include <string>

namespace {

// 64-bit FNV-1a: short, stable across compilers and builds, and enough to
// spread a GUID over sixteen hex digits.
std::uint64_t fnv1a(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

// The machine GUID lives in the 64-bit view of the registry; a 32-bit
// process on 64-bit Windows must ask for that view explicitly (32-bit Windows
// ignores the flag).
std::string machine_guid() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return std::string();
    }
    char value[128] = {};
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    const LONG rc =
        RegQueryValueExA(key, "MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) {
        return std::string();
    }
    value[sizeof(value) - 1] = '\0';
    return value;
}

// Without a machine GUID: the computer name and the serial number of the
// system volume, which change no more often than the GUID would.
std::string machine_fallback() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD name_size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameA(name, &name_size);
    char system[MAX_PATH] = {};
    DWORD serial = 0;
    if (GetSystemDirectoryA(system, MAX_PATH) >= 3) {
        system[3] = '\0';  // "C:\"
        GetVolumeInformationA(system, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
    }
    return std::string(name) + "/" + std::to_string(serial);
}

}  // namespace

extern "C" __declspec(dllexport) int __stdcall get_peer_id(char* buffer, int* length) {
    if (buffer == nullptr || length == nullptr || *length < 16) {
        return 1;
    }
    std::string source = machine_guid();
    if (source.empty()) {
        source = machine_fallback();
    }
    const std::uint64_t hash = fnv1a("peer-id:" + source);
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        buffer[i] = digits[(hash >> (60 - 4 * i)) & 0xF];
    }
    if (*length > 16) {
        buffer[16] = '\0';
    }
    *length = 16;
    return 0;
}
