#include "tests/standins_host/support.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <vector>

namespace standin_test {

const wchar_t kHostKey[] = L"SOFTWARE\\Torvane Network\\TorvaneOem\\torvane_backwnd";

namespace {

const wchar_t* const kValues[4] = {L"Path", L"Version", L"instdir", L"addinsdir"};
const wchar_t* const kShortcuts[2] = {L"Torvane高清影片免费下载.lnk", L"Torvane影音.lnk"};

std::wstring desktop_file(int i) {
    return known_folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\" + kShortcuts[i];
}

bool same_text(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring built(const char* unix_path) {
    std::wstring path = L"Z:";
    for (const char* p = unix_path; *p; ++p) {
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return path;
}

HANDLE start(const std::wstring& command) {
    std::wstring line = command;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

int run(const std::wstring& command, DWORD timeout_ms) {
    HANDLE process = start(command);
    if (process == nullptr) {
        return -1;
    }
    if (WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code);
}

DWORD process_id(const std::wstring& exe_name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && found == 0;
         more = Process32NextW(snapshot, &entry)) {
        if (same_text(entry.szExeFile, exe_name)) {
            found = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

void end_process(HANDLE process) {
    if (process != nullptr) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

void end_processes(const std::wstring& exe_name) {
    for (int i = 0; i < 10; ++i) {
        const DWORD id = process_id(exe_name);
        if (id == 0) {
            return;
        }
        end_process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    }
}

std::wstring host_value(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::wstring();
    }
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG rc =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::wstring(value) : std::wstring();
}

bool host_key_exists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void delete_host_key() {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kHostKey);
}

std::wstring read_utf8(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    if (bytes.empty()) {
        return std::wstring();
    }
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
    return text;
}

bool write_bytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void remove_tree(const std::wstring& path) {
    std::wstring folder = path;
    while (!folder.empty() && folder.back() == L'\\') {
        folder.pop_back();
    }
    if (folder.size() < 4) {
        return;  // never a drive root
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring known_folder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

std::wstring temp_folder(const std::wstring& tag) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring path = std::wstring(temp) + L"standins-" + tag + L"-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter);
    remove_tree(path);
    CreateDirectoryW(path.c_str(), nullptr);
    return path + L"\\";
}

HostSandbox::HostSandbox() {
    had_key_ = host_key_exists();
    for (int i = 0; i < 4; ++i) {
        saved_[i] = host_value(kValues[i]);
    }
    for (int i = 0; i < 2; ++i) {
        had_shortcut_[i] = exists(desktop_file(i));
    }
}

HostSandbox::~HostSandbox() {
    end_processes(L"Torvane.exe");
    end_processes(L"tdengine.exe");
    const std::wstring installed = host_value(L"instdir");
    if (!installed.empty() && installed != saved_[2]) {
        remove_tree(installed);
    }
    delete_host_key();
    if (!had_key_) {
        remove_tree(known_folder(CSIDL_PROGRAM_FILES) + L"\\Torvane Network");
        remove_tree(known_folder(CSIDL_COMMON_DOCUMENTS) + L"\\Torvane Network");
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Torvane Network\\TorvaneOem");
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Torvane Network");
    } else {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            for (int i = 0; i < 4; ++i) {
                if (!saved_[i].empty()) {
                    RegSetValueExW(key, kValues[i], 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(saved_[i].c_str()),
                                   static_cast<DWORD>((saved_[i].size() + 1) * sizeof(wchar_t)));
                }
            }
            RegCloseKey(key);
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (!had_shortcut_[i]) {
            DeleteFileW(desktop_file(i).c_str());
        }
    }
}

}  // namespace standin_test
