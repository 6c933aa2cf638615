#include "host/host_paths.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include "host/file_utils.h"
#include "host/host_registry.h"

namespace {

bool module_file_name(HMODULE module, std::wstring& out) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return false;
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            out = buffer;
            return true;
        }
        if (buffer.size() >= 32768) {
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool module_folder_of(HMODULE module, std::wstring& out) {
    std::wstring file;
    if (!module_file_name(module, file)) {
        return false;
    }
    const std::wstring folder = folder_part(file);
    if (folder.empty()) {
        return false;
    }
    out = folder;
    return true;
}

bool current_directory(std::wstring& out) {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) {
        return false;
    }
    std::wstring buffer(needed, L'\0');
    const DWORD n = GetCurrentDirectoryW(needed, &buffer[0]);
    if (n == 0 || n >= needed) {
        return false;
    }
    buffer.resize(n);
    // A drive root already ends in one.
    if (buffer.back() != L'\\') {
        buffer += L'\\';
    }
    out = buffer;
    return true;
}

// FOLDERID_PublicDocuments through SHGetKnownFolderPath, which older systems
// lack, hence the run-time lookup; then the older shell call. No trailing
// backslash.
bool public_documents(std::wstring& out) {
    // FOLDERID_PublicDocuments
    static const GUID public_documents_id = {
        0xED4824AF, 0xDCE4, 0x45A8, {0x81, 0xE2, 0xFC, 0x79, 0x65, 0x08, 0x36, 0x34}};
    typedef HRESULT(WINAPI * known_folder_path)(const GUID&, DWORD, HANDLE, PWSTR*);
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (!shell) {
        shell = LoadLibraryW(L"shell32.dll");
    }
    if (shell) {
        const known_folder_path get = reinterpret_cast<known_folder_path>(
            reinterpret_cast<void*>(GetProcAddress(shell, "SHGetKnownFolderPath")));
        if (get) {
            PWSTR path = nullptr;
            const HRESULT hr = get(public_documents_id, 0, nullptr, &path);
            const bool ok = SUCCEEDED(hr) && path && *path;
            if (ok) {
                out = path;
            }
            CoTaskMemFree(path);
            if (ok) {
                return true;
            }
        }
    }
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, 0, path)) && path[0]) {
        out = path;
        return true;
    }
    return false;
}

bool same_root(const std::wstring& a, const std::wstring& b) {
    wchar_t root_a[MAX_PATH] = {}, root_b[MAX_PATH] = {};
    if (a.size() >= MAX_PATH || b.size() >= MAX_PATH) {
        return false;
    }
    lstrcpynW(root_a, a.c_str(), MAX_PATH);
    lstrcpynW(root_b, b.c_str(), MAX_PATH);
    if (!PathStripToRootW(root_a) || !PathStripToRootW(root_b)) {
        return false;
    }
    return lstrcmpiW(root_a, root_b) == 0;
}

// The folder under which the host keeps "Profiles\" and "Skin\".
bool host_data_folder(std::wstring& out) {
    std::wstring install;
    if (!host_install_folder(install)) {
        return false;
    }
    const DWORD major = LOBYTE(LOWORD(GetVersion()));
    wchar_t system[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (major > 5 && n > 0 && n < MAX_PATH && same_root(system, install)) {
        std::wstring documents;
        if (!public_documents(documents)) {
            return false;
        }
        if (documents.back() != L'\\') {
            documents += L'\\';
        }
        out = documents + L"Torvane Network\\Torvane\\";
        return true;
    }
    out = install;
    return true;
}

bool file_exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::wstring program_directory() {
    std::wstring folder;
    if (module_folder_of(nullptr, folder) || current_directory(folder)) {
        return folder;
    }
    return L".\\";
}

int executable_folder(std::wstring& out) {
    return module_folder_of(nullptr, out) ? 1 : 0;
}

int module_folder(std::wstring& out) {
    HMODULE self = nullptr;
    if (GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&module_folder_of), &self) &&
        module_folder_of(self, out)) {
        return 1;
    }
    return current_directory(out) ? 1 : 0;
}

int temporary_folder(std::wstring& out) {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    if (n == 0 || n > MAX_PATH) {
        return 0;
    }
    out = path;
    return 1;
}

int profiles_folder(std::wstring& out) {
    std::wstring folder;
    if (!host_data_folder(folder)) {
        return 0;
    }
    out = folder + L"Profiles\\";
    return 1;
}

int skin_folder(std::wstring& out) {
    std::wstring folder;
    if (!host_data_folder(folder)) {
        return 0;
    }
    out = folder + L"Skin\\";
    return 1;
}

int install_skin(const std::wstring& package) {
    if (package.empty() || !file_exists(package)) {
        return 0;
    }
    std::wstring skins, profiles;
    if (!skin_folder(skins) || !profiles_folder(profiles)) {
        return 0;
    }
    const std::wstring name = file_name_part(package);
    std::wstring target = skins + name;
    if (lstrcmpiW(package.c_str(), target.c_str()) == 0) {
        return 0;
    }
    for (int n = 1; file_exists(target); ++n) {
        target = skins + L"(" + std::to_wstring(n) + L")" + name;
    }
    // The host may not have made its folders yet.
    create_folder_tree(skins);
    create_folder_tree(profiles);
    if (!CopyFileW(package.c_str(), target.c_str(), TRUE)) {
        return 0;
    }
    const std::wstring config = profiles + L"Config.ini";
    const std::wstring scheme = file_name_part(target) + L"::default";
    const bool selected =
        WritePrivateProfileStringW(L"Skin", L"Scheme", scheme.c_str(), config.c_str()) &&
        WritePrivateProfileStringW(L"Skin", L"Package", L"", config.c_str()) &&
        WritePrivateProfileStringW(L"Skin", L"ColorScheme", L"", config.c_str());
    return selected ? 1 : 0;
}

int shortcut_exists(const std::wstring& name, std::wstring& out) {
    wchar_t desktop[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, desktop)) ||
        !desktop[0]) {
        return 0;
    }
    out = std::wstring(desktop) + L"\\" + name + L".lnk";
    return file_exists(out) ? 1 : 0;
}
