#pragma once
// The worker side of the download service: one thread with a message-only
// window that owns the engine, polls the tasks, saves the task store, runs
// the environment preparation and every HTTP job.

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "host/environment.h"
#include "net/asyn_http_file.h"
#include "net/beacon_sender.h"
#include "service/download_task.h"
#include "service/engine_binding.h"
#include "service/resource_probe.h"
#include "service/service_messages.h"
#include "service/task_store.h"

namespace qm::win32::net {

class download_service;

class download_worker : public asyn_http_file_event,
                        public task_notifier,
                        public environment_context {
  public:
    enum request_kind : int { installer_request = 0, game_info_request = 1, queued_request = 2 };

    static download_worker& instance();

    // Starts the thread; the thread reports its window with msg_worker_window.
    bool start(HWND service_window, download_service* service);
    HWND window() const { return window_.load(); }
    // Signalled once the thread has created its window (or failed to).
    HANDLE ready_event() const { return ready_; }
    // The worker thread (null before start); signalled once it has ended.
    HANDLE thread() const { return thread_; }
    // From the user-interface thread when shutdown begins: from now on queued
    // work is dropped, the installer is no longer waited for and the user is
    // no longer asked.
    void begin_stop();
    bool stopping() const { return stopping_.load(); }
    task_store& store() { return store_; }

    // environment_context
    engine_binding& engine() override { return engine_; }
    void host_package(std::wstring& url, std::wstring& required_version) override;
    void start_timers() override;
    void stop_timers() override;
    bool start_environment_task(const std::wstring& url) override;
    bool download_installer(const std::string& url, const std::wstring& path) override;
    void send_report(const char* event, const char* style) override;
    int ask_host_running() override;
    void environment_ready(int ok) override;
    std::wstring engine_path() override;
    HANDLE stop_event() override { return stop_event_; }

  private:
    download_worker();
    static DWORD WINAPI thread_main(void* self);
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT on_message(UINT message, WPARAM w, LPARAM l);

    void load_tasks_and_fetch();
    void fetch_game_info();
    void poll_all();
    void start_all();
    void stop_all();
    void shutdown();
    void pump_queue();
    void prepare_environment();
    void remove_stale_files();
    void post_service(UINT message, WPARAM w, LPARAM l);

    // asyn_http_file_event
    void on_download_complete(int request_id, const std::string& url, const std::wstring& path,
                              int result) override;
    void on_download_failed(int request_id, const std::string& url, int error) override;
    void download_ended(int request_id, bool ok, const std::wstring& path);

    // task_notifier
    void task_state_changed(int task_id, int previous_state) override;
    void task_progress(int task_id) override;
    void environment_task_complete(const std::wstring& installer) override;
    void environment_task_failed() override;

    std::atomic<HWND> window_{nullptr};
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    HANDLE stop_event_ = nullptr;
    std::atomic<bool> stopping_{false};
    // A preparation is under way and has not reported yet: it reports once.
    bool environment_pending_ = false;
    HWND service_window_ = nullptr;
    download_service* service_ = nullptr;
    engine_binding engine_;
    task_store store_;
    beacon_sender reports_;
    std::unique_ptr<asyn_http_file> installer_download_;
    std::unique_ptr<asyn_http_file> game_info_download_;
    std::unique_ptr<asyn_http_file> queued_download_;
    std::wstring installer_path_;
    std::wstring game_info_path_;
    std::vector<file_download_request*> queue_;
    std::unique_ptr<resource_probe_list> probes_;
    std::unique_ptr<environment_preparation> environment_;
    std::vector<std::wstring> finished_installers_;
    bool save_after_poll_ = false;
    bool timers_running_ = false;
};

}  // namespace qm::win32::net
