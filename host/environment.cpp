#include "host/environment.h"

#include <windows.h>

#include <cwchar>

#include "host/host_paths.h"
#include "host/host_process.h"
#include "host/host_registry.h"
#include "host/strings.h"
#include "host/version.h"
#include "service/engine_binding.h"

namespace qm::win32::net {

const wchar_t host_shortcut_name[] = L"Torvane高清影片免费下载";
const wchar_t player_shortcut_name[] = L"Torvane影音";

namespace {

bool host_at_least(const std::wstring& installed, const std::wstring& required) {
    // Empty texts read as 0.0.0.0.
    const std::wstring a = installed.empty() ? L"0.0.0.0" : installed;
    const std::wstring b = required.empty() ? L"0.0.0.0" : required;
    return compare_versions(a.c_str(), b.c_str()) >= 0;
}

}  // namespace

std::wstring installer_file_name(int year, int month, int day, int hour, int minute, int second) {
    wchar_t name[64];
    swprintf(name, 64, L"torvane%04d%02d%02d%02d%02d%02d.exe", year, month, day, hour, minute,
             second);
    return name;
}

void environment_preparation::load_and_report() {
    const int ok = context_.engine().load(context_.engine_path());
    context_.environment_ready(ok ? 1 : 0);
}

void environment_preparation::prepare() {
    std::wstring url;
    std::wstring required;
    context_.host_package(url, required);

    if (host_installed()) {
        std::wstring installed;
        host_version(installed);
        if (host_at_least(installed, required)) {
            load_and_report();
            return;
        }
        if (context_.engine().load(context_.engine_path())) {
            context_.start_timers();
            context_.start_environment_task(url);
            return;
        }
    }

    context_.send_report("downertask", "http");
    SYSTEMTIME now;
    GetSystemTime(&now);
    std::wstring target;
    temporary_folder(target);
    target +=
        installer_file_name(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    if (!context_.download_installer(utf16_to_ansi(url), target)) {
        // Without a download there will be no completion to end preparation.
        context_.environment_ready(0);
    }
}

void environment_preparation::installer_downloaded(bool ok, const std::wstring& path) {
    if (!ok) {
        context_.environment_ready(0);
        return;
    }
    context_.send_report("downertask", "httpsucc");
    run_installer(path);
}

void environment_preparation::run_installer(const std::wstring& path) {
    const bool installed_before = host_installed() != 0;
    while (worker_host_running()) {
        const int answer = context_.ask_host_running();
        if (answer == 3) {
            context_.environment_ready(0);
            return;
        }
        if (answer == 2) {
            worker_close_host();
        }
    }
    if (context_.engine().is_loaded()) {
        context_.stop_timers();
        context_.engine().unload(1);
    }
    std::wstring shortcut;
    const bool host_shortcut_before = shortcut_exists(host_shortcut_name, shortcut) != 0;
    const bool player_shortcut_before = shortcut_exists(player_shortcut_name, shortcut) != 0;

    // The application name is given separately so that a path with spaces
    // cannot be read as a different program.
    std::wstring command = path.find(L' ') != std::wstring::npos ? L"\"" + path + L"\"" : path;
    command += L" /S";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), &command[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
        context_.environment_ready(0);
        return;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = STILL_ACTIVE;
    while (GetExitCodeProcess(process.hProcess, &code) && code == STILL_ACTIVE) {
        Sleep(10);
    }
    CloseHandle(process.hProcess);

    if (!host_shortcut_before && shortcut_exists(host_shortcut_name, shortcut)) {
        DeleteFileW(shortcut.c_str());
    }
    if (!player_shortcut_before && shortcut_exists(player_shortcut_name, shortcut)) {
        DeleteFileW(shortcut.c_str());
    }
    load_and_report();
    context_.send_report("downerrun", installed_before ? "1" : "0");
}

}  // namespace qm::win32::net
