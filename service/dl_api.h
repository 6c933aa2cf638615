#pragma once
// The flat interface through which the user interface drives downloads. Every
// function is called on the user-interface thread; every event arrives there.

#include <cstdint>
#include <string>

// Task states.
enum dl_task_state : int {
    dl_state_predownloading = 1,
    dl_state_starting = 2,
    dl_state_running = 3,
    dl_state_stopping = 4,
    dl_state_stopped = 5,
    dl_state_complete = 6,
    dl_state_failed = 7,
};

// Progress of one task: eleven 32-bit words.
#pragma pack(push, 4)
struct dl_task_info {
    std::uint64_t total_size;
    std::uint64_t downloaded_size;
    std::uint64_t reserved1;
    std::uint64_t elapsed_ms;
    int state;
    std::uint32_t speed;  // bytes per second
    std::uint32_t reserved2;
};
#pragma pack(pop)
static_assert(sizeof(dl_task_info) == 44, "eleven words");

class download_service_events {
  public:
    virtual ~download_service_events() = default;
    // path is valid only during the call; null when ok is 0.
    virtual void on_game_info(int ok, const wchar_t* path) = 0;
    // ok 1: the engine is loaded.
    virtual void on_environment_ready(int ok) = 0;
    virtual void on_task_progress(int task_id) = 0;
    virtual void on_task_state(int task_id) = 0;
    virtual int reserved_4() { return 0; }
    virtual int reserved_5() { return 0; }
    // The host downloader runs and the host installer waits. *answer is 3 on
    // entry: 3 gives up, 2 closes the host, anything else asks again.
    virtual void on_host_running(int* answer) = 0;
};

// Called on the user-interface thread when a queued file download ended.
using dl_download_callback = void (*)(int ok, const std::wstring& path, void* user_data);

int dl_set_event_sink(download_service_events* sink);
int dl_init(const wchar_t* game_info_url);
int dl_uninit();
int dl_set_host_package(const wchar_t* url, const wchar_t* required_version);
int dl_prepare_environment();
int dl_start_all_tasks();
int dl_stop_all_tasks();
int dl_create_task(const wchar_t* url, const wchar_t* folder, const wchar_t* sign, int predownload);
int dl_find_task(const wchar_t* url);
int dl_get_task_info(int task_id, dl_task_info* info);
int dl_get_task_path(int task_id, std::wstring& out);
int dl_set_speed_limit_mode(int mode);
int dl_get_peer_id(std::string& out);
int dl_send_report(const wchar_t* url);
int dl_download_file(const wchar_t* url, const wchar_t* path, dl_download_callback callback,
                     void* user_data);
