#include "host/file_utils.h"

#include <shlobj.h>

namespace {

size_t last_separator(const std::wstring& path) {
    return path.find_last_of(L"\\/");
}

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::wstring with_separator(const std::wstring& folder) {
    if (!folder.empty() && !is_separator(folder.back())) {
        return folder + L'\\';
    }
    return folder;
}

int refuse_empty() {
    SetLastError(file_utils_error);
    return 0;
}

int CALLBACK browse_callback(HWND window, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) {
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
        SendMessageW(window, BFFM_SETEXPANDED, TRUE, data);
    }
    return 0;
}

}  // namespace

std::wstring file_name_part(const std::wstring& path) {
    const size_t separator = last_separator(path);
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring folder_part(const std::wstring& path) {
    const size_t separator = last_separator(path);
    if (separator == std::wstring::npos) {
        SetLastError(file_utils_error);
        return std::wstring();
    }
    return path.substr(0, separator + 1);
}

std::wstring file_extension(const std::wstring& path) {
    const std::wstring name = file_name_part(path);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
}

std::wstring parent_folder(const std::wstring& path) {
    std::wstring trimmed = path;
    if (!trimmed.empty() && is_separator(trimmed.back())) {
        trimmed.pop_back();
    }
    return folder_part(trimmed);
}

int is_folder(const std::wstring& path) {
    if (path.empty()) {
        return refuse_empty();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? 1
               : 0;
}

int create_folder(const std::wstring& path) {
    if (path.empty()) {
        return refuse_empty();
    }
    return CreateDirectoryW(path.c_str(), nullptr) || is_folder(path) ? 1 : 0;
}

int create_folder_tree(const std::wstring& path) {
    if (path.empty()) {
        return refuse_empty();
    }
    if (is_folder(path) || SHCreateDirectoryExW(nullptr, path.c_str(), nullptr) == ERROR_SUCCESS) {
        return 1;
    }
    // The shell call wants a full path with backslashes; build the levels
    // one by one when it refuses.
    const std::wstring parent = parent_folder(path);
    if (parent.empty() || parent.size() >= path.size() || !create_folder_tree(parent)) {
        return 0;
    }
    return SHCreateDirectoryExW(nullptr, path.c_str(), nullptr) == ERROR_SUCCESS ||
                   create_folder(path)
               ? 1
               : 0;
}

int delete_folder_tree(const std::wstring& folder) {
    if (folder.empty() || !is_folder(folder)) {
        SetLastError(file_utils_error);
        return 0;
    }
    if (GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(folder.c_str());
        return is_folder(folder) ? 0 : 1;
    }
    const std::wstring base = with_separator(folder);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((base + L"*.*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = base + name;
            // Read-only entries (Thumbs.db among them) refuse deletion until
            // their attributes are reset.
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A junction or directory link points at someone else's
                // files: remove the link itself, never what it points at.
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    delete_folder_tree(path);
                }
                RemoveDirectoryW(path.c_str());
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(folder.c_str());
    return is_folder(folder) ? 0 : 1;
}

int delete_file(const std::wstring& path) {
    if (path.empty()) {
        return refuse_empty();
    }
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteFileW(path.c_str());
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

std::wstring folder_browser_start(const std::wstring& start) {
    std::wstring folder = start;
    while (!folder.empty() && !is_folder(folder)) {
        const size_t separator = last_separator(folder);
        if (separator == std::wstring::npos) {
            break;
        }
        folder.resize(separator);
    }
    return with_separator(folder);
}

int choose_folder(HWND owner, const std::wstring& start, const std::wstring& title,
                  std::wstring& out) {
    const std::wstring folder = folder_browser_start(start);
    BROWSEINFOW info = {};
    info.hwndOwner = owner ? owner : GetActiveWindow();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = browse_callback;
    info.lParam = folder.empty() ? 0 : reinterpret_cast<LPARAM>(folder.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) {
        return 0;
    }
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    if (!ok || !path[0]) {
        return 0;
    }
    out = path;
    return 1;
}
