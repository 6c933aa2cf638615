// dl_peer_id.dll: a stable id of sixteen upper-case hex digits derived from
// the machine.
#include <gtest/gtest.h>

#include <string>

#include "tests/standins_host/support.h"

namespace {

using namespace standin_test;

using get_peer_id_fn = int(WINAPI*)(char*, int*);

// Loads the library afresh, asks it once with the client's 32-byte buffer.
std::string ask(int* result = nullptr) {
    HMODULE library = LoadLibraryW(built(PEER_ID_DLL).c_str());
    if (library == nullptr) {
        return "not loaded";
    }
    auto get = reinterpret_cast<get_peer_id_fn>(
        reinterpret_cast<void*>(GetProcAddress(library, "get_peer_id")));
    std::string id = "no entry";
    if (get != nullptr) {
        char buffer[32];
        memset(buffer, '#', sizeof(buffer));
        int length = 32;
        const int rc = get(buffer, &length);
        if (result != nullptr) {
            *result = rc;
        }
        id = rc == 0 ? std::string(buffer, length) : "failed";
        if (rc == 0 && buffer[length] != '\0') {
            id += "(unterminated)";
        }
    }
    FreeLibrary(library);
    return id;
}

bool is_upper_hex(const std::string& id) {
    for (char c : id) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return id.size() == 16;
}

// The machine GUID in the registry view the library reads.
bool set_machine_guid(const std::string& value, std::string* old) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return false;
    }
    if (old != nullptr) {
        char buffer[128] = {};
        DWORD size = sizeof(buffer) - 1;
        if (RegQueryValueExA(key, "MachineGuid", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             &size) != ERROR_SUCCESS) {
            RegCloseKey(key);
            return false;
        }
        *old = buffer;
    }
    const LONG rc =
        RegSetValueExA(key, "MachineGuid", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

TEST(PeerId, SixteenUpperCaseHexDigitsTheSameOnEveryLoadAndCall) {
    int rc = -1;
    const std::string first = ask(&rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(is_upper_hex(first)) << first;
    EXPECT_EQ(ask(), first);
    EXPECT_EQ(ask(), first);
}

TEST(PeerId, FollowsTheMachineGuid) {
    const std::string before = ask();
    std::string guid;
    ASSERT_TRUE(set_machine_guid("00000000-1111-2222-3333-444444444444", &guid));
    const std::string other = ask();
    ASSERT_TRUE(set_machine_guid(guid, nullptr));
    EXPECT_TRUE(is_upper_hex(other)) << other;
    EXPECT_NE(other, before);
    EXPECT_EQ(ask(), before);
}

TEST(PeerId, RefusesMissingOrShortBuffers) {
    HMODULE library = LoadLibraryW(built(PEER_ID_DLL).c_str());
    ASSERT_NE(library, nullptr);
    auto get = reinterpret_cast<get_peer_id_fn>(
        reinterpret_cast<void*>(GetProcAddress(library, "get_peer_id")));
    ASSERT_NE(get, nullptr);
    char buffer[32] = "untouched";
    int length = 15;
    EXPECT_NE(get(buffer, &length), 0);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_NE(get(nullptr, &length), 0);
    EXPECT_NE(get(buffer, nullptr), 0);
    // Exactly sixteen bytes: the id fits, without its terminator.
    length = 16;
    EXPECT_EQ(get(buffer, &length), 0);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(std::string(buffer, 16), ask());
    FreeLibrary(library);
}

}  // namespace
