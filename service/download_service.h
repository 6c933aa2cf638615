#pragma once
// The user-interface side of the download service: the task list, the event
// sink and a message-only window that turns the worker's notifications into
// events on the user-interface thread.

#include <windows.h>

#include <string>

#include "service/dl_api.h"
#include "service/download_task.h"

namespace qm::win32::net {

class download_service {
  public:
    static download_service& instance();

    // The longest uninit waits for the worker to save, stop and unload.
    static constexpr DWORD shutdown_wait_ms = 5000;

    task_list& tasks() { return tasks_; }
    HWND window() const { return window_; }
    HWND worker_window() const { return worker_window_; }
    bool initialized() const { return initialized_; }
    std::wstring game_info_url() const { return game_info_url_; }

    int set_event_sink(download_service_events* sink);
    int init(const wchar_t* url);
    int uninit();
    int set_host_package(const wchar_t* url, const wchar_t* version);
    int prepare_environment();
    int start_all_tasks();
    int stop_all_tasks();
    int create_task(const wchar_t* url, const wchar_t* folder, const wchar_t* sign,
                    int predownload);
    int get_task_info(int task_id, dl_task_info* info);
    int get_task_path(int task_id, std::wstring& out);
    int set_speed_limit_mode(int mode);
    int send_report(const wchar_t* url);
    int download_file(const wchar_t* url, const wchar_t* path, dl_download_callback callback,
                      void* user_data);

  private:
    download_service();
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT on_message(UINT message, WPARAM w, LPARAM l);
    bool post(UINT message, WPARAM w, LPARAM l);

    HWND window_ = nullptr;
    task_list tasks_;
    std::wstring game_info_url_;
    bool initialized_ = false;
    bool started_ = false;
    download_service_events* sink_ = nullptr;
    HWND worker_window_ = nullptr;
    bool prepare_requested_ = false;
};

}  // namespace qm::win32::net
