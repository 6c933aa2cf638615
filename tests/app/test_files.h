#pragma once
// Small file helpers for the application tests.

#include <windows.h>

#include <string>

// Writes text as a UTF-16LE file with a byte-order mark, as branded copies
// ship their ini files.
inline bool WriteUnicodeFile(const std::wstring& path, const std::wstring& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::wstring content = L"\xFEFF" + text;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)),
                  &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size() * sizeof(wchar_t);
}

inline bool WriteAnsiFile(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

// A new empty folder under the temporary folder, with a trailing backslash.
inline std::wstring MakeScratchFolder(const wchar_t* tag) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    const std::wstring folder = std::wstring(temp) + L"tessaly-" + tag + L"-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(InterlockedIncrement(&counter)) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

inline std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}
