#pragma once
// Window messages between the download service (user-interface thread) and
// its worker thread, and the worker's timers.

#include <windows.h>

#include <string>

#include "service/dl_api.h"

namespace qm::win32::net {

enum service_message : UINT {
    // worker -> service
    msg_worker_window = WM_APP + 1,      // lParam: the worker window
    msg_game_info = WM_APP + 2,          // wParam ok, lParam heap wchar_t[] path or 0
    msg_environment_ready = WM_APP + 3,  // wParam ok
    msg_task_progress = WM_APP + 4,      // wParam task id
    msg_task_state = WM_APP + 5,         // wParam task id, lParam previous state
    msg_host_running = WM_APP + 11,      // sent; lParam int* answer
    msg_file_downloaded = WM_APP + 12,   // wParam ok, lParam file_download_request*
    // service -> worker
    msg_prepare_environment = WM_APP + 7,
    msg_shutdown = WM_APP + 8,
    msg_load_tasks = WM_APP + 13,
    msg_send_report = WM_APP + 14,  // wParam length, lParam heap wchar_t[] URL
    msg_predownload = WM_APP + 16,  // wParam task id
    msg_start_all = WM_APP + 17,
    msg_stop_all = WM_APP + 18,
    msg_download_file = WM_APP + 19,  // lParam file_download_request*
    // worker-internal
    msg_speed_limit_mode = WM_APP + 40,  // sent by the facade; wParam mode
    msg_pump_queue = WM_APP + 41,
    msg_installer_ready = WM_APP + 42,  // lParam heap wchar_t[] installer path
    msg_run_installer = WM_APP + 43,    // lParam heap wchar_t[] installer path
};

enum worker_timer : UINT_PTR {
    timer_poll = 100,
    timer_save = 101,
    timer_probe = 102,
};

struct file_download_request {
    std::wstring url;
    std::wstring path;
    dl_download_callback callback = nullptr;
    void* user_data = nullptr;
};

// A heap copy that travels with a message; the receiver frees it.
wchar_t* heap_copy(const std::wstring& text);

// Frees what a worker-bound message carries, for a message that is dropped
// instead of handled. True when the message was one of the worker's.
bool discard_worker_message(UINT message, LPARAM l);

}  // namespace qm::win32::net
