#include "host/addin_installer.h"

#include <process.h>

#include <vector>

#include "host/addin_text.h"
#include "host/file_utils.h"
#include "host/host_paths.h"
#include "host/host_process.h"
#include "host/host_registry.h"
#include "host/installer_process.h"
#include "host/strings.h"
#include "service/dl_api.h"
#include "zip/mini_unzip.h"

const wchar_t close_host_question[] =
    L"安装下载组件需要关闭Torvane，否则无法安装部分组件，是否允许自动关闭Torvane程序?";

namespace {

// Copies of the add-in older than the host's own loader are removed, and the
// host rebuilds its list, from this version on (every part at least).
const wchar_t kNewHostVersion[] = L"7.2.0.0000";

std::wstring without_backslash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// Sub-folders of folder whose names hold "ZudUrirOzoduro", this game's too.
std::vector<std::wstring> addin_copies(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L".." &&
            name.find(addin_name) != std::wstring::npos) {
            names.push_back(name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

// "addin.cfg" is small; anything beyond this is not one.
const DWORD kMaxCfgBytes = 1 << 20;

bool read_bytes(const std::wstring& path, std::string& out) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::string data;
    char buffer[8192];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) {
        data.append(buffer, got);
        if (data.size() > kMaxCfgBytes) {
            ok = false;
            break;
        }
    }
    CloseHandle(file);
    if (ok) {
        out.swap(data);
    }
    return ok;
}

bool write_bytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

// The profile functions write a new file in the system's ANSI code page,
// which would turn a Chinese title into "?" on any other system; a file that
// starts with a UTF-16 byte-order mark is written as UTF-16 instead.
void make_unicode_ini(const std::wstring& file) {
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return;  // there already, or no folder for it
    }
    const wchar_t mark = 0xFEFF;
    DWORD written = 0;
    WriteFile(handle, &mark, sizeof mark, &written, nullptr);
    CloseHandle(handle);
}

void write_ini(const std::wstring& file, const wchar_t* section, const wchar_t* key,
               const std::wstring& value) {
    make_unicode_ini(file);
    WritePrivateProfileStringW(section, key, value.c_str(), file.c_str());
}

void copy_over(const std::wstring& from, const std::wstring& to) {
    CopyFileW(from.c_str(), to.c_str(), FALSE);
}

// The resource folder of an add-in copy X: X + "QAR\ZudUrirOzoduro\res\default\".
std::wstring resources_of(const std::wstring& copy) {
    return copy + L"QAR\\" + addin_name + L"\\res\\default\\";
}

struct ThreadStart {
    AddinInstaller* installer;
    int addin_task;
    int skin_task;
};

unsigned __stdcall install_thread(void* argument) {
    const ThreadStart start = *static_cast<ThreadStart*>(argument);
    delete static_cast<ThreadStart*>(argument);
    start.installer->Install(start.addin_task, start.skin_task);
    return 0;
}

}  // namespace

AddinInstaller::AddinInstaller(const AddinSettings& settings, InstallerPrompt& prompt,
                               InstallerDone& done)
    : settings_(settings), prompt_(prompt), done_(done) {
    executable_folder(pictures_);
}

void AddinInstaller::SetPictureFolder(const std::wstring& folder) {
    pictures_ = folder;
    if (!pictures_.empty() && pictures_.back() != L'\\') {
        pictures_ += L'\\';
    }
}

void AddinInstaller::SetWaitLimits(DWORD close_ms, DWORD build_ms) {
    close_ms_ = close_ms;
    build_ms_ = build_ms;
}

HANDLE AddinInstaller::Start(int addin_task, int skin_task) {
    auto* start = new ThreadStart{this, addin_task, skin_task};
    const uintptr_t thread = _beginthreadex(nullptr, 0, install_thread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(thread);
}

InstallerResult AddinInstaller::Install(int addin_task, int skin_task) {
    const InstallerResult result = InstallSteps(addin_task, skin_task);
    done_.Ended();
    return result;
}

InstallerResult AddinInstaller::InstallSteps(int addin_task, int skin_task) {
    // The host holds its add-ins' files while it runs.
    while (host_running()) {
        if (prompt_.Ask(InstallerQuestion::close_host, close_host_question) != 1) {
            return InstallerResult::refused;
        }
        end_process_named(L"torvane.exe", close_ms_);
        Sleep(500);
    }

    // Without a known add-ins folder every path below would be relative to
    // whatever the current directory is: only the skin is installed then.
    std::wstring addins;
    if (host_addins_folder(addins)) {
        std::wstring package;
        dl_get_task_path(addin_task, package);
        InstallAddin(addins, package);
    }

    std::wstring skin;
    if (dl_get_task_path(skin_task, skin)) {
        install_skin(skin);
    }
    return InstallerResult::installed;
}

void AddinInstaller::InstallAddin(const std::wstring& addins, const std::wstring& package) {
    const std::wstring unpacked = addins + addin_name + L"\\";
    const std::wstring copy = addins + addin_name + settings_.game_id + L"\\";
    delete_folder_tree(unpacked);
    delete_folder_tree(copy);

    mini_unzip_dll(utf16_to_ansi(package).c_str(), utf16_to_ansi(addins).c_str());
    MoveFileW(without_backslash(unpacked).c_str(), without_backslash(copy).c_str());
    // A package that could not be unpacked leaves a fresh, empty copy for
    // the settings and pictures below.
    create_folder(copy);

    WriteSettings(copy);
    for (const wchar_t* picture : {L"logo.png", L"toolbar.menu.png", L"toolbar.png"}) {
        copy_over(pictures_ + picture, copy + picture);
    }

    const bool new_host = host_version_at_least(kNewHostVersion) == 1;
    UpdateOtherCopies(addins, copy, new_host);
    ShareResources(addins, copy);
    RewriteAddinCfg(copy);
    DeleteFileW((addins + L"addins_cache.xml").c_str());

    std::wstring host;
    if (new_host && host_path(host)) {
        run_hidden_and_wait(host, L"-buildaddins", build_ms_);
    }
}

void AddinInstaller::WriteSettings(const std::wstring& copy) {
    const AddinSettings& s = settings_;
    const std::wstring game_config = copy + L"game_config.ini";
    write_ini(game_config, L"config", L"first_load_off", L"true");
    write_ini(game_config, L"config", L"gametitle", s.title);
    write_ini(game_config, L"config", L"game_id", s.game_id);
    write_ini(game_config, L"config", L"tab_info_url", s.tab_info_url);
    write_ini(game_config, L"config", L"tab_url", s.tab_url);
    write_ini(game_config, L"config", L"news_url", s.news_url);
    write_ini(game_config, L"config", L"hotspot_url", s.hotspot_url);

    std::wstring profiles;
    if (!profiles_folder(profiles)) {
        return;
    }
    const std::wstring right = profiles + L"qm_right\\";
    create_folder_tree(right);
    write_ini(right + L"dynamic_tab.ini", L"Section1", L"url", s.news_url);
    write_ini(right + L"dynamic_tab.ini", L"Section1", L"id", s.game_id);

    const std::wstring own = profiles + addin_name + L"\\";
    create_folder_tree(own);
    const std::wstring own_ini = own + addin_name + L".ini";
    write_ini(own_ini, L"config", L"game_id", s.game_id);
    wchar_t subscribed[4096] = {};
    GetPrivateProfileStringW(L"config", L"subscribe", L"", subscribed, 4096, own_ini.c_str());
    write_ini(own_ini, L"config", L"subscribe", subscribe_list_with(subscribed, s.game_id));

    write_ini(profiles + L"config.ini", L"InitWizard", L"FirstTimeShow", L"0");
}

void AddinInstaller::UpdateOtherCopies(const std::wstring& addins, const std::wstring& copy,
                                       bool new_host) {
    const std::wstring layout = std::wstring(L"qar\\") + addin_name + L"\\layout.qar";
    const std::wstring onload = std::wstring(L"qar\\") + addin_name + L"\\onload.lua";
    for (const std::wstring& name : addin_copies(addins)) {
        std::wstring id;
        if (!other_game_id(name, settings_.game_id, id)) {
            continue;
        }
        const std::wstring other = addins + name;
        copy_over(copy + L"startup.lua", other + L"\\startup.lua");
        copy_over(copy + layout, other + L"\\" + layout);
        copy_over(copy + onload, other + L"\\" + onload);
        std::string cfg;
        if (new_host && read_bytes(other + L"\\addin.cfg", cfg) &&
            addin_cfg_has_attribute(utf8_to_utf16(cfg), L"torvane", L"1.6")) {
            delete_folder_tree(other + L"\\");
        }
    }
}

void AddinInstaller::ShareResources(const std::wstring& addins, const std::wstring& copy) {
    const std::string id = utf16_to_ansi(settings_.game_id);
    std::wstring temporary;
    temporary_folder(temporary);
    const std::wstring default_zip = temporary + L"qelmarnetgame.default.tmp.zip";
    for (const std::wstring& name : addin_copies(addins)) {
        const std::wstring folder = addins + name + L"\\";
        const std::wstring resources = resources_of(folder);
        create_folder(resources);
        copy_over(folder + L"QAR\\" + addin_name + L"\\res\\default.zip", default_zip);
        mini_unzip_dll(utf16_to_ansi(default_zip).c_str(), utf16_to_ansi(resources).c_str());
        // The extraction moved the current directory into the host's folder.
        SetCurrentDirectoryW(pictures_.c_str());
        copy_over(pictures_ + L"toolbar.png",
                  resources + L"bitmap\\" + settings_.game_id + L"toolbar.png");
        copy_over(pictures_ + L"toolbar.menu.png",
                  resources + L"bitmap\\" + settings_.game_id + L"toolbar.menu.png");
        write_bytes(resources + settings_.game_id + L".xml", addin_resource_list(id));
    }

    const std::wstring own = resources_of(copy);
    for (const std::wstring& name : addin_copies(addins)) {
        std::wstring other_id;
        if (!other_game_id(name, settings_.game_id, other_id)) {
            continue;
        }
        const std::wstring other = resources_of(addins + name + L"\\");
        for (const std::wstring& file :
             {L"bitmap\\" + other_id + L"toolbar.png", L"bitmap\\" + other_id + L"toolbar.menu.png",
              other_id + L".xml"}) {
            copy_over(other + file, own + file);
        }
    }
}

void AddinInstaller::RewriteAddinCfg(const std::wstring& copy) {
    const std::wstring path = copy + L"addin.cfg";
    std::string bytes;
    if (!read_bytes(path, bytes)) {
        return;
    }
    std::wstring cfg = utf8_to_utf16(bytes);
    if (rewrite_addin_cfg(cfg, settings_.game_id, settings_.title)) {
        write_bytes(path, utf16_to_utf8(cfg));
    }
}
