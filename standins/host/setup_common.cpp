#include "standins/host/setup_common.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

namespace standin_setup {

namespace {

std::wstring with_backslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder;
}

std::wstring from_utf8(const char* text, int size) {
    if (size <= 0) {
        return std::wstring();
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, size, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, size, &out[0], n);
    return out;
}

bool resource(HMODULE module, int id, const BYTE*& data, DWORD& size) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (found == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) {
        return false;
    }
    data = static_cast<const BYTE*>(LockResource(loaded));
    size = SizeofResource(module, found);
    return data != nullptr;
}

}  // namespace

Options parse_options(const std::wstring& default_folder) {
    Options options;
    options.folder = default_folder;
    const std::wstring line = GetCommandLineW();
    // "/D=" takes the rest of the line, spaces included, as installers do.
    const size_t folder_at = line.find(L" /D=");
    const std::wstring head = folder_at == std::wstring::npos ? line : line.substr(0, folder_at);
    if (folder_at != std::wstring::npos) {
        std::wstring folder = line.substr(folder_at + 4);
        while (!folder.empty() && (folder.back() == L' ' || folder.back() == L'\\')) {
            folder.pop_back();
        }
        if (!folder.empty()) {
            options.folder = folder;
        }
    }
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(head.c_str(), &argc);
    for (int i = 1; argv != nullptr && i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"/S" || arg == L"/s") {
            options.silent = true;
        } else if (arg.compare(0, 6, L"/WAIT=") == 0) {
            options.wait_ms = static_cast<DWORD>(wcstoul(arg.c_str() + 6, nullptr, 10));
        }
    }
    LocalFree(argv);
    return options;
}

std::wstring program_files() {
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, folder))) {
        return folder;
    }
    return L"C:\\Program Files";
}

bool payload(std::vector<File>& files) {
    HMODULE self = GetModuleHandleW(nullptr);
    const BYTE* manifest = nullptr;
    DWORD manifest_size = 0;
    if (!resource(self, 1, manifest, manifest_size)) {
        return false;
    }
    const std::wstring text =
        from_utf8(reinterpret_cast<const char*>(manifest), static_cast<int>(manifest_size));
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring entry = text.substr(at, end - at);
        at = end + 1;
        while (!entry.empty() && (entry.back() == L'\r' || entry.back() == L' ')) {
            entry.pop_back();
        }
        const size_t bar = entry.find(L'|');
        if (bar == std::wstring::npos) {
            continue;
        }
        File file;
        file.relative = entry.substr(bar + 1);
        const int id = _wtoi(entry.substr(0, bar).c_str());
        if (id <= 1 || file.relative.empty() || !resource(self, id, file.data, file.size)) {
            return false;
        }
        files.push_back(file);
    }
    return !files.empty();
}

bool wait_until_free(const std::wstring& folder, const std::vector<File>& files, DWORD wait_ms,
                     std::wstring& busy) {
    const DWORD start = GetTickCount();
    for (;;) {
        busy.clear();
        for (const File& file : files) {
            const std::wstring path = with_backslash(folder) + file.relative;
            HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE) {
                CloseHandle(handle);
                continue;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                busy = path;
                break;
            }
        }
        if (busy.empty()) {
            return true;
        }
        if (GetTickCount() - start >= wait_ms) {
            return false;
        }
        Sleep(200);
    }
}

namespace {

// Moves the new copy over the old one. A reader that opened the old file a
// moment ago (an icon extractor, a virus scanner) makes the move fail for a
// while; the move is retried for up to five seconds before giving up.
bool replace_file(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                          error == ERROR_LOCK_VIOLATION;
        if (!held || attempt == 50) {
            return false;
        }
        Sleep(100);
    }
}

}  // namespace

bool write_files(const std::wstring& folder, const std::vector<File>& files) {
    for (const File& file : files) {
        const std::wstring path = with_backslash(folder) + file.relative;
        const size_t slash = path.find_last_of(L'\\');
        if (!create_tree(path.substr(0, slash))) {
            return false;
        }
        const std::wstring temporary = path + L".new";
        HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD written = 0;
        const BOOL ok = WriteFile(handle, file.data, file.size, &written, nullptr);
        CloseHandle(handle);
        if (!ok || written != file.size || !replace_file(temporary, path)) {
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    return true;
}

bool create_tree(const std::wstring& folder) {
    std::wstring path = folder;
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    if (path.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2 && !create_tree(path.substr(0, slash))) {
        return false;
    }
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace standin_setup
