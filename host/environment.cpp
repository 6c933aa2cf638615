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

bool is_installer_file_name(const std::wstring& name) {
    // "torvane" + 14 digits + ".exe", then ".tmp" or nothing.
    const std::wstring prefix = L"torvane";
    if (name.size() != prefix.size() + 14 + 4 && name.size() != prefix.size() + 14 + 8) {
        return false;
    }
    if (_wcsnicmp(name.c_str(), prefix.c_str(), prefix.size()) != 0) {
        return false;
    }
    for (size_t i = prefix.size(); i < prefix.size() + 14; ++i) {
        if (name[i] < L'0' || name[i] > L'9') {
            return false;
        }
    }
    const std::wstring rest = name.substr(prefix.size() + 14);
    return _wcsicmp(rest.c_str(), L".exe") == 0 || _wcsicmp(rest.c_str(), L".exe.tmp") == 0;
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
            if (!context_.start_environment_task(url)) {
                // No URL, or the engine refused the task: nothing else would
                // end preparation.
                context_.environment_ready(0);
            }
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
    // The process object says when it ended; its exit code may be anything,
    // 259 (STILL_ACTIVE) included. A shutdown stops the wait and leaves the
    // installer to finish on its own; so does an installer that outlasts the
    // bound, and the engine then loads only if it is already usable.
    HANDLE stop = context_.stop_event();
    HANDLE waits[2] = {process.hProcess, stop};
    const DWORD waited = WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, installer_wait_ms);
    CloseHandle(process.hProcess);
    if (stop && waited == WAIT_OBJECT_0 + 1) {
        return;
    }
    if (waited == WAIT_OBJECT_0) {
        // The installer is not needed again; a copy still held is left.
        DeleteFileW(path.c_str());
    }

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
