#pragma once
// The brain of the main window and the download service's event sink. So far
// it takes the game's configuration when it arrives: the start beacons, the
// crash report, the tips file, parsing, and the host package for the
// environment. Starting the download belongs to the skinned window's
// controls, which do not exist yet, so the client asks for no environment
// and creates no task; the remaining events therefore do not arrive.

#include <string>

#include "service/dl_api.h"

class MainWindow;

class DownloadController : public download_service_events {
  public:
    explicit DownloadController(MainWindow* window) : main_window_(window) {}
    DownloadController(const DownloadController&) = delete;
    DownloadController& operator=(const DownloadController&) = delete;

    // The remote configuration was parsed.
    bool ConfigReady() const { return config_ready_; }

    void on_game_info(int ok, const wchar_t* path) override;
    void on_environment_ready(int) override {}
    void on_task_progress(int) override {}
    void on_task_state(int) override {}
    // The answer stays 3: the host installer gives up.
    void on_host_running(int*) override {}

  private:
    static void OnTipsFile(int ok, const std::wstring& path, void* user_data);

    MainWindow* main_window_;
    bool config_ready_ = false;
};
