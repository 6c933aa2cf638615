// tessaly-headless FOLDER [--pause-after SECONDS] [--host-running-answer N]
//                  [--config-only] [--idle-seconds N] [--quit-after SECONDS]
//
// Plays the user-interface side of the client without a window: it fetches
// the game's configuration through the download service, prepares the
// environment, downloads every game file into FOLDER and prints one progress
// line a second. Exit code 0 when every game file is complete (or, with
// --pause-after, when the tasks stopped cleanly); otherwise 1 with the reason.
// --quit-after plays a user who closes the client that many seconds after the
// start, whatever it is doing.

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "app/game_config.h"
#include "app/remote_config.h"
#include "app/reports.h"
#include "host/host_paths.h"
#include "host/strings.h"
#include "service/dl_api.h"
#include "service/game_info_file.h"

namespace {

class HeadlessUi : public download_service_events {
  public:
    std::wstring folder;
    int pause_after_s = -1;
    int host_answer = 3;
    bool config_only = false;
    int idle_seconds = 0;  // after pausing: measure this process's CPU use
    int quit_after_s = -1;
    DWORD launched_tick = GetTickCount();

    int exit_code = 1;
    std::string reason = "interrupted";

    void on_game_info(int ok, const wchar_t* path) override {
        GameConfig& config = GameConfig::Instance();
        if (!ok || !path) {
            Finish(1, "the game configuration could not be fetched");
            return;
        }
        SendBeacon(L"downerstart");
        SendCrashReport();
        if (!ParseRemoteConfiguration(path, config.Remote())) {
            // A broken copy the client downloaded is fetched again next time.
            qm::win32::net::discard_downloaded_game_info(path);
            Finish(1, "the game configuration could not be parsed");
            return;
        }
        const RemoteGameValues& remote = config.Remote();
        if (remote.game_urls.empty()) {
            // Cut short, most likely: fetched again next time.
            qm::win32::net::discard_downloaded_game_info(path);
            Finish(1, "the game configuration lists no game file");
            return;
        }
        dl_set_host_package(remote.torvane_url.c_str(), remote.torvane_version.c_str());
        std::printf("configuration: %zu game file(s), %llu bytes\n", remote.game_urls.size(),
                    static_cast<unsigned long long>(remote.game_size));
        if (config_only) {
            PrintConfiguration(remote);
            Finish(0, "configuration read");
            return;
        }
        // Tasks of an earlier run, as the task store brought them back.
        for (const std::wstring& url : remote.game_urls) {
            const int id = dl_find_task(url.c_str());
            dl_task_info info = {};
            if (id != -1 && dl_get_task_info(id, &info)) {
                std::printf("stored %s state %d downloaded %llu total %llu\n",
                            utf16_to_utf8(url).c_str(), info.state,
                            static_cast<unsigned long long>(info.downloaded_size),
                            static_cast<unsigned long long>(info.total_size));
            }
        }
        if (!dl_prepare_environment()) {
            Finish(1, "environment preparation could not be requested");
        }
    }

    void on_environment_ready(int ok) override {
        if (!ok) {
            Finish(1, "the download engine could not be prepared");
            return;
        }
        std::printf("engine ready\n");
        std::printf("environment ready after %lu ms\n",
                    static_cast<unsigned long>(GetTickCount() - launched_tick));
        dl_set_speed_limit_mode(1);
        for (const std::wstring& url : GameConfig::Instance().Remote().game_urls) {
            const int id = dl_create_task(url.c_str(), folder.c_str(), nullptr, 0);
            if (id == -1) {
                Finish(1, "a game task could not be created");
                return;
            }
            tasks_.push_back(id);
        }
        SendBeacon(L"downertask", L"start");
        dl_start_all_tasks();
        started_tick_ = GetTickCount();
        started_ = true;
        std::fflush(stdout);
    }

    void on_task_progress(int) override {}

    void on_task_state(int) override { Check(); }

    void on_host_running(int* answer) override {
        std::printf("host downloader running: answering %d\n", host_answer);
        *answer = host_answer;
    }

    // Once a second.
    void Tick() {
        if (quit_after_s >= 0 && !done_ &&
            GetTickCount() - launched_tick >= static_cast<DWORD>(quit_after_s) * 1000u) {
            std::printf("quitting\n");
            Finish(1, "quit");
            return;
        }
        if (!started_ || done_) {
            return;
        }
        if (idle_since_) {
            if (GetTickCount() - idle_since_ >= static_cast<DWORD>(idle_seconds) * 1000u) {
                const double wall_ms = GetTickCount() - idle_since_;
                const double cpu_ms = static_cast<double>(CpuTime100ns() - idle_cpu_) / 10000.0;
                std::printf("idle cpu %.3f%% over %.0f ms\n", 100.0 * cpu_ms / wall_ms, wall_ms);
                Finish(0, "paused");
            }
            return;
        }
        dl_task_info total = {};
        for (int id : tasks_) {
            dl_task_info info = {};
            if (dl_get_task_info(id, &info)) {
                total.downloaded_size += info.downloaded_size;
                total.total_size += info.total_size;
                total.speed += info.speed;
            }
        }
        std::printf("progress %llu %llu %u\n",
                    static_cast<unsigned long long>(total.downloaded_size),
                    static_cast<unsigned long long>(total.total_size), total.speed);
        std::fflush(stdout);
        if (pause_after_s >= 0 && !stopping_ &&
            GetTickCount() - started_tick_ >= static_cast<DWORD>(pause_after_s) * 1000u) {
            std::printf("pausing\n");
            SendBeacon(L"downertask", L"pause");
            dl_stop_all_tasks();
            stopping_ = true;
        }
        Check();
    }

  private:
    static void PrintConfiguration(const RemoteGameValues& v) {
        const std::pair<const char*, const std::wstring*> texts[] = {
            {"torvaneversion", &v.torvane_version},
            {"torvaneurl", &v.torvane_url},
            {"addinurl", &v.addin_url},
            {"skinurl", &v.skin_url},
            {"tabinfourl", &v.tab_info_url},
            {"taburl", &v.tab_url},
            {"newsurl", &v.news_url},
            {"hotspoturl", &v.hotspot_url},
        };
        for (const auto& text : texts) {
            std::printf("config %s=%s\n", text.first, utf16_to_utf8(*text.second).c_str());
        }
        std::printf("config gamesize=%llu\n", static_cast<unsigned long long>(v.game_size));
        for (const std::wstring& url : v.game_urls) {
            std::printf("config gameurl=%s\n", utf16_to_utf8(url).c_str());
        }
    }

    void Check() {
        if (!started_ || done_) {
            return;
        }
        int complete = 0;
        int stopped = 0;
        for (int id : tasks_) {
            dl_task_info info = {};
            if (!dl_get_task_info(id, &info)) {
                continue;
            }
            if (info.state == dl_state_complete) {
                ++complete;
            } else if (info.state == dl_state_failed) {
                Finish(1, "a game task failed");
                return;
            } else if (info.state == dl_state_stopped) {
                ++stopped;
            }
        }
        const int count = static_cast<int>(tasks_.size());
        if (complete == count) {
            std::printf("game download took %lu ms\n",
                        static_cast<unsigned long>(GetTickCount() - started_tick_));
            SendBeacon(L"completeins", L"1");
            Finish(0, "complete");
        } else if (stopping_ && complete + stopped == count && !idle_since_) {
            if (idle_seconds > 0) {
                idle_cpu_ = CpuTime100ns();
                idle_since_ = GetTickCount();
            } else {
                Finish(0, "paused");
            }
        }
    }

    static unsigned long long CpuTime100ns() {
        FILETIME created, ended, kernel, user;
        if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) {
            return 0;
        }
        auto value = [](const FILETIME& t) {
            return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        return value(kernel) + value(user);
    }

    void Finish(int code, const char* why) {
        if (done_) {
            return;
        }
        done_ = true;
        exit_code = code;
        reason = why;
        PostQuitMessage(code);
    }

    std::vector<int> tasks_;
    bool started_ = false;
    bool stopping_ = false;
    bool done_ = false;
    DWORD started_tick_ = 0;
    DWORD idle_since_ = 0;
    unsigned long long idle_cpu_ = 0;
};

HeadlessUi* g_ui = nullptr;

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_ui) {
        g_ui->Tick();
    }
}

int Usage() {
    std::fprintf(stderr,
                 "usage: tessaly-headless FOLDER [--pause-after SECONDS] "
                 "[--host-running-answer N] [--config-only] [--idle-seconds N] "
                 "[--quit-after SECONDS]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    HeadlessUi ui;
    ui.folder = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--pause-after" && i + 1 < argc) {
            ui.pause_after_s = _wtoi(argv[++i]);
        } else if (arg == L"--idle-seconds" && i + 1 < argc) {
            ui.idle_seconds = _wtoi(argv[++i]);
        } else if (arg == L"--quit-after" && i + 1 < argc) {
            ui.quit_after_s = _wtoi(argv[++i]);
        } else if (arg == L"--config-only") {
            ui.config_only = true;
        } else if (arg == L"--host-running-answer" && i + 1 < argc) {
            ui.host_answer = _wtoi(argv[++i]);
        } else {
            return Usage();
        }
    }
    if (ui.folder.empty()) {
        return Usage();
    }
    if (ui.folder.back() != L'\\' && ui.folder.back() != L'/') {
        ui.folder += L'\\';
    }

    GameConfig& config = GameConfig::Instance();
    config.Load(program_directory() + L"tessaly.ini");
    g_ui = &ui;
    dl_set_event_sink(&ui);
    if (!dl_init(config.ConfigurationUrl().c_str())) {
        std::fprintf(stderr, "tessaly-headless: the download service did not start\n");
        return 1;
    }
    const UINT_PTR timer = SetTimer(nullptr, 0, 1000, OnTick);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, timer);
    dl_uninit();
    g_ui = nullptr;
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
        std::printf("peak working set %llu bytes\n",
                    static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    }
    if (ui.exit_code == 0) {
        std::printf("done: %s\n", ui.reason.c_str());
    } else {
        std::fprintf(stderr, "tessaly-headless: %s\n", ui.reason.c_str());
    }
    std::fflush(stdout);
    return ui.exit_code;
}
