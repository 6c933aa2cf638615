#include "service/download_service.h"

#include <winsock2.h>

#include "host/host_paths.h"
#include "service/download_worker.h"
#include "service/message_window.h"
#include "service/peer_id.h"
#include "service/service_messages.h"

namespace qm::win32::net {

using qm::win32::multithread::scoped_lock;

namespace {

const wchar_t kWindowClass[] = L"tessaly_download_service";

}  // namespace

download_service& download_service::instance() {
    static download_service* service = new download_service;
    return *service;
}

download_service::download_service() {
    window_ = create_message_window(kWindowClass, window_proc, this);
}

LRESULT CALLBACK download_service::window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = message_window_owner<download_service>(window, message, l);
    if (self && message >= WM_APP && message < WM_APP + 32) {
        return self->on_message(message, w, l);
    }
    return DefWindowProcW(window, message, w, l);
}

LRESULT download_service::on_message(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case msg_worker_window: {
            const bool known = worker_window_ != nullptr;
            worker_window_ = reinterpret_cast<HWND>(l);
            if (initialized_ && !known) {
                post(msg_load_tasks, 0, 0);
            }
            return 0;
        }
        case msg_game_info: {
            wchar_t* path = reinterpret_cast<wchar_t*>(l);
            if (sink_) {
                sink_->on_game_info(static_cast<int>(w), path);
            }
            delete[] path;
            return 0;
        }
        case msg_environment_ready:
            if (sink_) {
                sink_->on_environment_ready(static_cast<int>(w));
            }
            return 0;
        case msg_task_progress:
            if (sink_) {
                sink_->on_task_progress(static_cast<int>(w));
            }
            return 0;
        case msg_task_state:
            if (sink_) {
                sink_->on_task_state(static_cast<int>(w));
            }
            return 0;
        case msg_host_running: {
            int* answer = reinterpret_cast<int*>(l);
            if (sink_ && answer) {
                sink_->on_host_running(answer);
            }
            return 0;
        }
        case msg_file_downloaded: {
            auto* request = reinterpret_cast<file_download_request*>(l);
            if (request) {
                // Without a sink the owner of the callback may be gone.
                if (request->callback && sink_) {
                    request->callback(static_cast<int>(w), request->path, request->user_data);
                }
                delete request;
            }
            return 0;
        }
        default:
            return DefWindowProcW(window_, message, w, l);
    }
}

bool download_service::post(UINT message, WPARAM w, LPARAM l) {
    return worker_window_ && PostMessageW(worker_window_, message, w, l);
}

int download_service::set_event_sink(download_service_events* sink) {
    if (initialized_ || !sink) {
        return 0;
    }
    sink_ = sink;
    return 1;
}

int download_service::init(const wchar_t* url) {
    if (!url || !*url) {
        return 0;
    }
    if (started_) {
        return 1;
    }
    started_ = true;
    game_info_url_ = url;
    initialized_ = true;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    download_worker& worker = download_worker::instance();
    worker.store().set_path(program_directory() + L"db.ini");
    worker.start(window_, this);
    return 1;
}

int download_service::uninit() {
    if (!initialized_) {
        return 1;
    }
    initialized_ = false;
    sink_ = nullptr;
    download_worker& worker = download_worker::instance();
    // Work already queued is dropped from here on; the shutdown itself
    // saves the tasks, stops them and lets the engine go.
    worker.begin_stop();
    const DWORD begun = GetTickCount();
    auto left = [begun]() -> DWORD {
        const DWORD spent = GetTickCount() - begun;
        return spent < shutdown_wait_ms ? shutdown_wait_ms - spent : 0;
    };
    // The worker may not have reported its window yet.
    WaitForSingleObject(worker.ready_event(), left());
    if (HWND target = worker.window()) {
        PostMessageW(target, msg_shutdown, 0, 0);
    }
    // A worker stuck in the engine is not waited for beyond the bound: the
    // process can still end, and with it the per-game mutex.
    if (HANDLE thread = worker.thread()) {
        WaitForSingleObject(thread, left());
    }
    // Events the worker posted before it stopped find no sink; file
    // callbacks among them are dropped with their requests.
    MSG msg;
    while (PeekMessageW(&msg, window_, msg_file_downloaded, msg_file_downloaded, PM_REMOVE)) {
        delete reinterpret_cast<file_download_request*>(msg.lParam);
    }
    while (PeekMessageW(&msg, window_, msg_game_info, msg_game_info, PM_REMOVE)) {
        delete[] reinterpret_cast<wchar_t*>(msg.lParam);
    }
    return 1;
}

int download_service::set_host_package(const wchar_t* url, const wchar_t* version) {
    if (!url || !version) {
        return 0;
    }
    scoped_lock hold(tasks_.package_lock);
    tasks_.host_package_url = url;
    tasks_.required_host_version = version;
    return 1;
}

int download_service::prepare_environment() {
    if (!worker_window_ || prepare_requested_) {
        return 0;
    }
    prepare_requested_ = true;
    post(msg_prepare_environment, 0, 0);
    return 1;
}

int download_service::start_all_tasks() {
    if (prepare_requested_) {
        post(msg_start_all, 0, 0);
    } else {
        post(msg_prepare_environment, 0, 0);
    }
    return 1;
}

int download_service::stop_all_tasks() {
    post(msg_stop_all, 0, 0);
    return 1;
}

int download_service::create_task(const wchar_t* url, const wchar_t* folder, const wchar_t* sign,
                                  int predownload) {
    bool created = false;
    const int id = tasks_.create(url, folder, sign, &created);
    if (id != -1 && created && predownload) {
        post(msg_predownload, static_cast<WPARAM>(id), 0);
    }
    return id;
}

int download_service::get_task_info(int task_id, dl_task_info* info) {
    download_task* task = tasks_.find_by_id(task_id);
    if (!task || !info) {
        return 0;
    }
    scoped_lock hold(task->lock);
    task->info(*info);
    return 1;
}

int download_service::get_task_path(int task_id, std::wstring& out) {
    download_task* task = tasks_.find_by_id(task_id);
    if (!task) {
        return 0;
    }
    scoped_lock hold(task->lock);
    out = task->file_path();
    return 1;
}

int download_service::set_speed_limit_mode(int mode) {
    if (mode < 0 || mode > 3 || !worker_window_) {
        return 0;
    }
    // The engine is only ever called on the worker thread; a worker busy
    // with an installer does not freeze the caller for long.
    DWORD_PTR result = static_cast<DWORD_PTR>(-1);
    if (!SendMessageTimeoutW(worker_window_, msg_speed_limit_mode, static_cast<WPARAM>(mode), 0,
                             SMTO_NORMAL, 5000, &result)) {
        return 0;
    }
    return static_cast<int>(result) == 0 ? 1 : 0;
}

int download_service::send_report(const wchar_t* url) {
    if (!url) {
        return 0;
    }
    const std::wstring text = url;
    wchar_t* copy = heap_copy(text);
    if (!post(msg_send_report, text.size(), reinterpret_cast<LPARAM>(copy))) {
        delete[] copy;
    }
    return 1;
}

int download_service::download_file(const wchar_t* url, const wchar_t* path,
                                    dl_download_callback callback, void* user_data) {
    if (!url || !path) {
        return 0;
    }
    auto* request = new file_download_request;
    request->url = url;
    request->path = path;
    request->callback = callback;
    request->user_data = user_data;
    if (!post(msg_download_file, 0, reinterpret_cast<LPARAM>(request))) {
        delete request;
        return 0;
    }
    return 1;
}

}  // namespace qm::win32::net

using qm::win32::net::download_service;

int dl_set_event_sink(download_service_events* sink) {
    return download_service::instance().set_event_sink(sink);
}
int dl_init(const wchar_t* game_info_url) {
    return download_service::instance().init(game_info_url);
}
int dl_uninit() {
    return download_service::instance().uninit();
}
int dl_set_host_package(const wchar_t* url, const wchar_t* required_version) {
    return download_service::instance().set_host_package(url, required_version);
}
int dl_prepare_environment() {
    return download_service::instance().prepare_environment();
}
int dl_start_all_tasks() {
    return download_service::instance().start_all_tasks();
}
int dl_stop_all_tasks() {
    return download_service::instance().stop_all_tasks();
}
int dl_create_task(const wchar_t* url, const wchar_t* folder, const wchar_t* sign,
                   int predownload) {
    return download_service::instance().create_task(url, folder, sign, predownload);
}
int dl_find_task(const wchar_t* url) {
    if (!url) {
        return -1;
    }
    return download_service::instance().tasks().find_by_url(url);
}
int dl_get_task_info(int task_id, dl_task_info* info) {
    return download_service::instance().get_task_info(task_id, info);
}
int dl_get_task_path(int task_id, std::wstring& out) {
    return download_service::instance().get_task_path(task_id, out);
}
int dl_set_speed_limit_mode(int mode) {
    return download_service::instance().set_speed_limit_mode(mode);
}
int dl_get_peer_id(std::string& out) {
    out = qm::win32::net::get_peer_id(0x100000, nullptr);
    return 1;
}
int dl_send_report(const wchar_t* url) {
    return download_service::instance().send_report(url);
}
int dl_download_file(const wchar_t* url, const wchar_t* path, dl_download_callback callback,
                     void* user_data) {
    return download_service::instance().download_file(url, path, callback, user_data);
}
