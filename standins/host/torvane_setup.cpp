// torvane_setup.exe: the host downloader's silent installer ("/S"). Puts the
// files it carries under "<folder>\Program\", makes the add-ins, profiles and
// skin folders, registers the host where the client looks for it and adds
// the two desktop shortcuts. The version it registers is fixed when it is
// built (TORVANE_VERSION), so one build tree can hold an older and a newer
// host. Exit code 0 on success; see setup_common.h for the others.
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "standins/host/setup_common.h"

#ifndef TORVANE_VERSION
#error TORVANE_VERSION must be defined by the build
#endif

namespace {

using namespace standin_setup;

const wchar_t kRegistryKey[] = L"SOFTWARE\\Torvane Network\\TorvaneOem\\torvane_backwnd";
const wchar_t kVersion[] = L"" TORVANE_VERSION;
const wchar_t kHostShortcut[] = L"Torvane高清影片免费下载.lnk";
const wchar_t kPlayerShortcut[] = L"Torvane影音.lnk";

std::wstring known_folder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return std::wstring();
    }
    return folder;
}

// Where the client will look for the profiles and skin folders: the public
// documents folder on systems after 5.x when the host sits on the system
// drive, else the install folder itself.
std::wstring profiles_root(const std::wstring& install) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const bool same_root = install.size() >= 3 &&
                           CompareStringOrdinal(system, 3, install.c_str(), 3, TRUE) == CSTR_EQUAL;
    const std::wstring documents = known_folder(CSIDL_COMMON_DOCUMENTS);
    if (version.dwMajorVersion > 5 && same_root && !documents.empty()) {
        return documents + L"\\Torvane Network\\Torvane\\";
    }
    return install + L"\\";
}

bool set_value(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

bool register_host(const std::wstring& install) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = set_value(key, L"Path", install + L"\\Program\\Torvane.exe") &&
                    set_value(key, L"Version", kVersion) && set_value(key, L"instdir", install) &&
                    set_value(key, L"addinsdir", install + L"\\Addins");
    RegCloseKey(key);
    return ok;
}

bool shortcut(const std::wstring& file, const std::wstring& target, const std::wstring& arguments,
              const std::wstring& description) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return false;
    }
    link->SetPath(target.c_str());
    link->SetArguments(arguments.c_str());
    link->SetWorkingDirectory(target.substr(0, target.find_last_of(L'\\')).c_str());
    link->SetDescription(description.c_str());
    IPersistFile* persist = nullptr;
    bool ok = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        ok = SUCCEEDED(persist->Save(file.c_str(), TRUE));
        persist->Release();
    }
    link->Release();
    return ok;
}

// Shortcuts are a convenience: a desktop that cannot take them does not fail
// the installation.
void add_shortcuts(const std::wstring& install) {
    const std::wstring desktop = known_folder(CSIDL_COMMON_DESKTOPDIRECTORY);
    if (desktop.empty()) {
        return;
    }
    create_tree(desktop);
    const std::wstring exe = install + L"\\Program\\Torvane.exe";
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    shortcut(desktop + L"\\" + kHostShortcut, exe, L"", L"Torvane");
    shortcut(desktop + L"\\" + kPlayerShortcut, exe, L"-player", L"Torvane影音");
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const Options options = parse_options(program_files() + L"\\Torvane Network\\Torvane");
    if (!options.silent) {
        return kNotSilent;
    }
    std::vector<File> files;
    if (!payload(files)) {
        return kPayloadMissing;
    }
    const std::wstring& install = options.folder;
    std::wstring busy;
    if (!wait_until_free(install, files, options.wait_ms, busy)) {
        return kFilesInUse;
    }
    if (!write_files(install, files)) {
        return kWriteFailed;
    }
    const std::wstring profiles = profiles_root(install);
    if (!create_tree(install + L"\\Addins") || !create_tree(profiles + L"Profiles") ||
        !create_tree(profiles + L"Skin")) {
        return kWriteFailed;
    }
    if (!register_host(install)) {
        return kRegistryFailed;
    }
    add_shortcuts(install);
    return kInstalled;
}
