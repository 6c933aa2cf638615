#include "tests/host/test_folder.h"

#include <atomic>

#include "host/file_utils.h"
#include "host/host_registry.h"

namespace {

std::atomic<int> folder_counter{0};

}  // namespace

TestFolder::TestFolder(const std::wstring& base) {
    std::wstring root = base;
    if (root.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        root = temp;
    }
    const std::wstring path = root + L"tessaly-host-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(++folder_counter) + L"\\";
    if (CreateDirectoryW(path.c_str(), nullptr)) {
        path_ = path;
    }
}

TestFolder::~TestFolder() {
    if (!path_.empty()) {
        delete_folder_tree(path_);
    }
}

std::wstring other_drive_base() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'D'; letter <= L'Z'; ++letter) {
        if (!(drives & (1u << (letter - L'A'))) || towupper(system[0]) == letter) {
            continue;
        }
        const std::wstring root = std::wstring(1, letter) + L":\\";
        if (GetDriveTypeW(root.c_str()) != DRIVE_FIXED) {
            continue;
        }
        for (const std::wstring& base : {root + L"tmp\\", root}) {
            TestFolder probe(base);
            if (probe.ok()) {
                return base;
            }
        }
    }
    return std::wstring();
}

bool write_file(const std::wstring& path, const std::string& content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    CloseHandle(file);
    return ok;
}

bool file_exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ini_value(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    wchar_t value[1024] = {};
    GetPrivateProfileStringW(section, key, L"<missing>", value, 1024, file.c_str());
    return value;
}

FakeHostKey::FakeHostKey() {
    // Remember which levels of the key are new, to delete only those.
    const std::wstring full = host_registry_key;
    std::wstring level;
    size_t start = 0;
    while (start <= full.size()) {
        const size_t end = full.find(L'\\', start);
        level = full.substr(0, end == std::wstring::npos ? full.size() : end);
        HKEY probe = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, level.c_str(), 0, KEY_READ, &probe) ==
            ERROR_SUCCESS) {
            RegCloseKey(probe);
        } else {
            created_keys_.insert(created_keys_.begin(), level);
        }
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, host_registry_key, 0, nullptr, 0, KEY_READ | KEY_SET_VALUE,
                    nullptr, &key_, nullptr);
    for (const wchar_t* name : {L"Path", L"Version", L"instdir", L"addinsdir"}) {
        save(name);
        remove(name);
    }
}

FakeHostKey::~FakeHostKey() {
    if (key_) {
        for (const Saved& saved : saved_) {
            if (saved.existed) {
                RegSetValueExW(key_, saved.name.c_str(), 0, saved.type,
                               saved.data.empty() ? nullptr : saved.data.data(),
                               static_cast<DWORD>(saved.data.size()));
            } else {
                RegDeleteValueW(key_, saved.name.c_str());
            }
        }
        RegCloseKey(key_);
    }
    for (const std::wstring& level : created_keys_) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, level.c_str());
    }
}

void FakeHostKey::save(const wchar_t* name) {
    for (const Saved& saved : saved_) {
        if (saved.name == name) {
            return;
        }
    }
    Saved saved{name, false, REG_NONE, {}};
    DWORD size = 0;
    if (key_ &&
        RegQueryValueExW(key_, name, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
        saved.data.resize(size);
        saved.existed =
            RegQueryValueExW(key_, name, nullptr, &saved.type, size ? saved.data.data() : nullptr,
                             &size) == ERROR_SUCCESS;
        saved.data.resize(size);
    }
    saved_.push_back(saved);
}

bool FakeHostKey::set(const wchar_t* name, const std::wstring& value, DWORD type) {
    save(name);
    return key_ && RegSetValueExW(key_, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
                       ERROR_SUCCESS;
}

bool FakeHostKey::remove(const wchar_t* name) {
    save(name);
    if (!key_) {
        return false;
    }
    const LONG status = RegDeleteValueW(key_, name);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}
