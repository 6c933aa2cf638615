#include "host/host_registry.h"

#include <windows.h>

#include "host/version.h"

const wchar_t host_registry_key[] = L"SOFTWARE\\Torvane Network\\TorvaneOem\\torvane_backwnd";

namespace {

// Reads a REG_SZ or REG_EXPAND_SZ value into at most max_bytes. Stored
// strings need not end in a terminator, so the text is cut at the data size.
bool read_string_value(const wchar_t* name, DWORD max_bytes, std::wstring& text, DWORD& type) {
    if (!name) {
        return false;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, host_registry_key, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::wstring buffer(max_bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = max_bytes;
    const LONG status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    buffer.resize(size / sizeof(wchar_t));
    const size_t end = buffer.find(L'\0');
    if (end != std::wstring::npos) {
        buffer.resize(end);
    }
    text = buffer;
    return true;
}

int append_backslash(std::wstring& out, const std::wstring& folder, bool always) {
    if (folder.empty()) {
        return 0;
    }
    out = folder;
    if (always || (out.back() != L'\\' && out.back() != L'/')) {
        out += L'\\';
    }
    return 1;
}

}  // namespace

int host_registry_string(const wchar_t* name, std::wstring& out) {
    std::wstring text;
    DWORD type = 0;
    if (!read_string_value(name, 512, text, type)) {
        return 0;
    }
    out = text;
    return 1;
}

int host_registry_path(const wchar_t* name, std::wstring& out) {
    std::wstring text;
    DWORD type = 0;
    // The stored text may be longer than the expanded one and the other way
    // round; a generous read, then the limit on the result.
    if (!read_string_value(name, 32 * 1024, text, type)) {
        return 0;
    }
    if (text.find(L'%') != std::wstring::npos) {
        wchar_t expanded[MAX_PATH];
        const DWORD n = ExpandEnvironmentStringsW(text.c_str(), expanded, MAX_PATH);
        if (n == 0 || n > MAX_PATH) {
            return 0;
        }
        text = expanded;
    }
    if (text.size() >= MAX_PATH) {
        return 0;
    }
    out = text;
    return 1;
}

int host_installed() {
    std::wstring path;
    return host_registry_string(L"Path", path) && !path.empty() ? 1 : 0;
}

int host_path(std::wstring& out) {
    std::wstring path;
    if (!host_registry_path(L"Path", path) || path.empty()) {
        return 0;
    }
    out = path;
    return 1;
}

int host_version(std::wstring& out) {
    std::wstring version;
    if (!host_registry_string(L"Version", version) || version.empty()) {
        return 0;
    }
    out = version;
    return 1;
}

int host_install_folder(std::wstring& out) {
    std::wstring folder;
    if (!host_registry_string(L"instdir", folder)) {
        return 0;
    }
    return append_backslash(out, folder, false);
}

int host_program_folder(std::wstring& out) {
    std::wstring folder;
    if (!host_install_folder(folder)) {
        return 0;
    }
    out = folder + L"Program\\";
    return 1;
}

int host_addins_folder(std::wstring& out) {
    std::wstring folder;
    if (!host_registry_path(L"addinsdir", folder)) {
        return 0;
    }
    return append_backslash(out, folder, true);
}

int host_version_at_least(const wchar_t* required) {
    std::wstring version;
    if (!required || !host_registry_path(L"Version", version) || version.empty()) {
        return 0;
    }
    return version_parts_at_least(version.c_str(), required);
}
