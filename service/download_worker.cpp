#include "service/download_worker.h"

#include "host/host_paths.h"
#include "host/strings.h"
#include "service/download_service.h"
#include "service/game_info_file.h"
#include "service/message_window.h"
#include "service/peer_id.h"

namespace qm::win32::net {

using qm::win32::multithread::scoped_lock;

namespace {

const wchar_t kWindowClass[] = L"tessaly_download_worker";
const unsigned kProduct = 0x100000;

std::wstring branding_value(const wchar_t* key, const wchar_t* fallback, DWORD size) {
    std::wstring value(size + 1, L'\0');
    const DWORD n = GetPrivateProfileStringW(L"Tessaly", key, fallback, &value[0], size + 1,
                                             (program_directory() + L"tessaly.ini").c_str());
    value.resize(n);
    return value;
}

}  // namespace

wchar_t* heap_copy(const std::wstring& text) {
    wchar_t* copy = new wchar_t[text.size() + 1];
    text.copy(copy, text.size());
    copy[text.size()] = L'\0';
    return copy;
}

bool discard_worker_message(UINT message, LPARAM l) {
    switch (message) {
        case msg_send_report:
        case msg_installer_ready:
        case msg_run_installer:
            delete[] reinterpret_cast<wchar_t*>(l);
            return true;
        case msg_download_file:
            delete reinterpret_cast<file_download_request*>(l);
            return true;
        default:
            return message >= WM_APP && message < WM_APP + 64;
    }
}

download_worker& download_worker::instance() {
    static download_worker* worker = new download_worker;
    return *worker;
}

download_worker::download_worker()
    : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      stop_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool download_worker::start(HWND service_window, download_service* service) {
    service_window_ = service_window;
    service_ = service;
    thread_ = CreateThread(nullptr, 0, thread_main, this, 0, nullptr);
    if (!thread_) {
        SetEvent(ready_);
        return false;
    }
    return true;
}

void download_worker::begin_stop() {
    stopping_.store(true);
    SetEvent(stop_event_);
}

DWORD WINAPI download_worker::thread_main(void* param) {
    auto* self = static_cast<download_worker*>(param);
    HWND window = create_message_window(kWindowClass, window_proc, self);
    self->window_.store(window);
    SetEvent(self->ready_);
    if (!window) {
        return 1;
    }
    PostMessageW(self->service_window_, msg_worker_window, 0, reinterpret_cast<LPARAM>(window));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // Whatever was posted after the shutdown is dropped with its heap copy;
    // posts after the window is gone fail and the sender frees its copy.
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        discard_worker_message(msg.message, msg.lParam);
    }
    self->window_.store(nullptr);
    DestroyWindow(window);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        discard_worker_message(msg.message, msg.lParam);
    }
    return 0;
}

LRESULT CALLBACK download_worker::window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = message_window_owner<download_worker>(window, message, l);
    if (self && self->window_.load() == window) {
        return self->on_message(message, w, l);
    }
    return DefWindowProcW(window, message, w, l);
}

LRESULT download_worker::on_message(UINT message, WPARAM w, LPARAM l) {
    if (stopping_.load() && message != msg_shutdown) {
        // After the user quit nothing new starts: no installer, no engine,
        // no download.
        if (!discard_worker_message(message, l) && message != WM_TIMER) {
            return DefWindowProcW(window_.load(), message, w, l);
        }
        return message == msg_speed_limit_mode ? -1 : 0;
    }
    switch (message) {
        case WM_TIMER:
            if (w == timer_poll) {
                poll_all();
            } else if (w == timer_save) {
                store_.save_all(service_->tasks());
            } else if (w == timer_probe) {
                if (probes_) {
                    probes_->step(engine_, GetTickCount());
                }
            }
            return 0;
        case msg_prepare_environment:
            prepare_environment();
            return 0;
        case msg_shutdown:
            shutdown();
            return 0;
        case msg_load_tasks:
            load_tasks_and_fetch();
            return 0;
        case msg_send_report: {
            wchar_t* url = reinterpret_cast<wchar_t*>(l);
            const std::string ansi = utf16_to_ansi(url);
            delete[] url;
            reports_.send(ansi);
            return 0;
        }
        case msg_predownload: {
            start_timers();
            download_task* task = service_->tasks().find_by_id(static_cast<int>(w));
            if (task) {
                task->start_predownload(engine_, GetTickCount());
            }
            return 0;
        }
        case msg_start_all:
            start_all();
            return 0;
        case msg_stop_all:
            stop_all();
            return 0;
        case msg_download_file:
            queue_.push_back(reinterpret_cast<file_download_request*>(l));
            pump_queue();
            return 0;
        case msg_speed_limit_mode:
            return engine_.set_speed_limit_mode(static_cast<int>(w));
        case msg_pump_queue:
            pump_queue();
            return 0;
        case msg_installer_ready: {
            // Runs outside the download's own callback: the installer waits
            // for processes and asks the user interface.
            wchar_t* path = reinterpret_cast<wchar_t*>(l);
            const std::wstring installer = path;
            delete[] path;
            if (environment_) {
                environment_->installer_downloaded(w != 0, installer);
            }
            return 0;
        }
        case msg_run_installer: {
            wchar_t* path = reinterpret_cast<wchar_t*>(l);
            const std::wstring installer = path;
            delete[] path;
            if (environment_) {
                environment_->run_installer(installer);
            }
            return 0;
        }
        default:
            return DefWindowProcW(window_.load(), message, w, l);
    }
}

void download_worker::post_service(UINT message, WPARAM w, LPARAM l) {
    if (!PostMessageW(service_window_, message, w, l)) {
        if (message == msg_game_info) {
            delete[] reinterpret_cast<wchar_t*>(l);
        } else if (message == msg_file_downloaded) {
            delete reinterpret_cast<file_download_request*>(l);
        }
    }
}

void download_worker::prepare_environment() {
    probes_ = std::make_unique<resource_probe_list>(
        [this](int task_id) { return service_->tasks().state_of(task_id); });
    if (!environment_) {
        environment_ = std::make_unique<environment_preparation>(*this);
    }
    environment_pending_ = true;
    environment_->prepare();
}

void download_worker::load_tasks_and_fetch() {
    remove_stale_files();
    store_.load_all(service_->tasks());
    fetch_game_info();
}

void download_worker::remove_stale_files() {
    // Left by a run that was killed mid-download: a partial configuration
    // and host installers (with or without ".tmp") in the temporary folder.
    DeleteFileW((program_directory() + L"GameInfo.xml.tmp").c_str());
    std::wstring temp;
    temporary_folder(temp);
    if (temp.empty()) {
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((temp + L"torvane*.exe*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            is_installer_file_name(found.cFileName)) {
            // One still running stays: it cannot be deleted.
            DeleteFileW((temp + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void download_worker::fetch_game_info() {
    if (game_info_download_ && game_info_download_->busy()) {
        return;
    }
    const std::wstring url = service_->game_info_url();
    if (url.empty()) {
        post_service(msg_game_info, 0, 0);
        return;
    }
    game_info_path_ = program_directory() + L"GameInfo.xml";
    // The publisher's file wins without any request; one the client
    // downloaded is asked for again (If-Modified-Since), and stays the
    // fall-back when the network fails.
    if (GetFileAttributesW(game_info_path_.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !game_info_downloaded(game_info_path_, store_.path())) {
        post_service(msg_game_info, 1, reinterpret_cast<LPARAM>(heap_copy(game_info_path_)));
        return;
    }
    if (!game_info_download_) {
        game_info_download_ = std::make_unique<asyn_http_file>(this);
    }
    if (!game_info_download_->download(game_info_request, utf16_to_ansi(url), http_headers(),
                                       game_info_path_)) {
        post_service(msg_game_info, 0, 0);
    }
}

void download_worker::poll_all() {
    const DWORD now = GetTickCount();
    for (download_task* task : service_->tasks().snapshot()) {
        if (stopping_.load()) {
            return;
        }
        task->poll(engine_, *this, now);
    }
    // A task that changed state (finished, above all) is recorded at once,
    // not at the next save: a process ended hard in between would otherwise
    // fetch a finished file again on its next start.
    if (save_after_poll_) {
        save_after_poll_ = false;
        store_.save_all(service_->tasks());
    }
    // The installer waits for processes and for the user interface, so it
    // never runs under the task locks.
    std::vector<std::wstring> installers;
    installers.swap(finished_installers_);
    for (const std::wstring& installer : installers) {
        wchar_t* copy = heap_copy(installer);
        if (!PostMessageW(window_.load(), msg_run_installer, 0, reinterpret_cast<LPARAM>(copy))) {
            delete[] copy;
        }
    }
}

void download_worker::start_all() {
    start_timers();
    const DWORD now = GetTickCount();
    int index = 1;
    for (download_task* task : service_->tasks().snapshot()) {
        // Sections are numbered by position in the list, as save_all does.
        const int position = index++;
        if (stopping_.load()) {
            break;  // the user quit while earlier tasks were starting
        }
        if (task->is_environment_task()) {
            continue;  // preparation alone starts the host installer's task
        }
        task->start(engine_, now);
        store_.save_one(*task, position);
        if (probes_) {
            probes_->add(task->task_id, task->engine_task_id, now);
        }
    }
}

void download_worker::stop_all() {
    for (download_task* task : service_->tasks().snapshot()) {
        task->stop(engine_);
    }
}

void download_worker::shutdown() {
    stop_timers();
    store_.save_all(service_->tasks());
    // Queued file downloads end without their callbacks; the running one is
    // cancelled with its downloader.
    for (file_download_request* request : queue_) {
        delete request;
    }
    queue_.clear();
    queued_download_.reset();
    game_info_download_.reset();
    installer_download_.reset();
    stop_all();
    if (probes_) {
        probes_->disable();
        probes_.reset();
    }
    engine_.unload(0);
    reports_.shutdown();
    PostQuitMessage(0);
}

void download_worker::pump_queue() {
    if (!queued_download_) {
        queued_download_ = std::make_unique<asyn_http_file>(this);
    }
    while (!queued_download_->busy() && !queue_.empty()) {
        file_download_request* front = queue_.front();
        if (queued_download_->download(queued_request, utf16_to_ansi(front->url), http_headers(),
                                       front->path)) {
            return;
        }
        // A request that cannot start would block every later one: it ends
        // as failed at once.
        queue_.erase(queue_.begin());
        post_service(msg_file_downloaded, 0, reinterpret_cast<LPARAM>(front));
    }
}

void download_worker::on_download_complete(int request_id, const std::string&,
                                           const std::wstring& path, int result) {
    // The configuration is asked for on every start: only a new copy counts
    // as downloaded for the report.
    if (request_id == game_info_request && result == asyn_http_file_event::downloaded) {
        send_report("dragconf", nullptr);
    }
    download_ended(request_id, true, path);
}

void download_worker::on_download_failed(int request_id, const std::string&, int) {
    download_ended(request_id, false, std::wstring());
}

void download_worker::download_ended(int request_id, bool ok, const std::wstring& path) {
    if (request_id == game_info_request) {
        if (ok) {
            record_game_info_download(game_info_path_, store_.path());
            post_service(msg_game_info, 1, reinterpret_cast<LPARAM>(heap_copy(game_info_path_)));
        } else {
            // A complete body whose move failed stays behind otherwise.
            DeleteFileW((game_info_path_ + L".tmp").c_str());
            post_service(msg_game_info, 0, 0);
        }
    } else if (request_id == installer_request) {
        if (!ok) {
            DeleteFileW((installer_path_ + L".tmp").c_str());
        }
        PostMessageW(window_.load(), msg_installer_ready, ok ? 1 : 0,
                     reinterpret_cast<LPARAM>(heap_copy(ok ? path : installer_path_)));
    } else if (request_id == queued_request) {
        if (!queue_.empty()) {
            file_download_request* front = queue_.front();
            queue_.erase(queue_.begin());
            if (!ok) {
                DeleteFileW((front->path + L".tmp").c_str());
            }
            post_service(msg_file_downloaded, ok ? 1 : 0, reinterpret_cast<LPARAM>(front));
        }
        // The next download starts once this one's callback has returned.
        PostMessageW(window_.load(), msg_pump_queue, 0, 0);
    }
}

void download_worker::task_state_changed(int task_id, int previous_state) {
    // Called under the task's lock: the store is written after the poll.
    save_after_poll_ = true;
    post_service(msg_task_state, static_cast<WPARAM>(task_id), previous_state);
}

void download_worker::task_progress(int task_id) {
    post_service(msg_task_progress, static_cast<WPARAM>(task_id), 0);
}

void download_worker::environment_task_complete(const std::wstring& installer) {
    finished_installers_.push_back(installer);
}

void download_worker::environment_task_failed() {
    // Without this the user interface would wait for the engine for ever.
    environment_ready(0);
}

void download_worker::host_package(std::wstring& url, std::wstring& required_version) {
    task_list& list = service_->tasks();
    scoped_lock hold(list.package_lock);
    url = list.host_package_url;
    required_version = list.required_host_version;
}

void download_worker::start_timers() {
    if (timers_running_) {
        return;
    }
    HWND window = window_.load();
    SetTimer(window, timer_poll, 1000, nullptr);
    SetTimer(window, timer_probe, 400, nullptr);
    SetTimer(window, timer_save, 10000, nullptr);
    timers_running_ = true;
}

void download_worker::stop_timers() {
    if (!timers_running_) {
        return;
    }
    HWND window = window_.load();
    KillTimer(window, timer_poll);
    KillTimer(window, timer_probe);
    KillTimer(window, timer_save);
    timers_running_ = false;
}

bool download_worker::start_environment_task(const std::wstring& url) {
    if (url.empty()) {
        return false;
    }
    std::wstring folder;
    temporary_folder(folder);
    task_list& list = service_->tasks();
    const int id = list.create(url.c_str(), folder.c_str(), environment_task_sign, nullptr);
    download_task* task = list.find_by_id(id);
    if (!task) {
        return false;
    }
    std::wstring installer;
    {
        scoped_lock hold(task->lock);
        // The task store keeps no sign: the task of an interrupted run comes
        // back by its URL as an ordinary task.
        task->sign = environment_task_sign;
        if (task->state == dl_state_complete) {
            installer = task->file_path();
            if (task->file_name.empty() ||
                GetFileAttributesW(installer.c_str()) == INVALID_FILE_ATTRIBUTES) {
                // Its installer ran (and was removed) or is gone: fetch again.
                installer.clear();
                task->state = dl_state_stopped;
                task->engine_task_created = false;
                task->file_name.clear();
                task->downloaded_size = 0;
                task->total_size = 0;
            }
        }
    }
    if (!installer.empty()) {
        // Finished before the previous run could install it.
        wchar_t* copy = heap_copy(installer);
        if (!PostMessageW(window_.load(), msg_run_installer, 0, reinterpret_cast<LPARAM>(copy))) {
            delete[] copy;
            return false;
        }
        return true;
    }
    return task->start(engine_, GetTickCount()) != 0;
}

bool download_worker::download_installer(const std::string& url, const std::wstring& path) {
    if (!installer_download_) {
        installer_download_ = std::make_unique<asyn_http_file>(this);
    }
    if (installer_download_->busy()) {
        return true;  // the running download ends preparation
    }
    installer_path_ = path;
    return installer_download_->download(installer_request, url, http_headers(), path);
}

void download_worker::send_report(const char* event, const char* style) {
    const std::wstring game_id = branding_value(L"GameId", L"", 64);
    if (game_id.empty()) {
        return;
    }
    const std::wstring server = branding_value(L"StatServer", L"stat.tessaly.net", 260);
    std::string url = "http://" + utf16_to_ansi(server) + "/UPV?gs=" + event +
                      "&gameid=" + utf16_to_ansi(game_id) +
                      "&pid=" + get_peer_id(kProduct, nullptr);
    if (style) {
        url += std::string("&style=") + style;
    }
    reports_.send(url);
}

int download_worker::ask_host_running() {
    int answer = 3;
    if (stopping_.load()) {
        return answer;  // nobody is there to answer
    }
    SendMessageW(service_window_, msg_host_running, 0, reinterpret_cast<LPARAM>(&answer));
    return answer;
}

void download_worker::environment_ready(int ok) {
    // One report per preparation, whichever path ends it first.
    if (!environment_pending_) {
        return;
    }
    environment_pending_ = false;
    post_service(msg_environment_ready, static_cast<WPARAM>(ok), 0);
}

std::wstring download_worker::engine_path() {
    return engine_binding::default_path();
}

}  // namespace qm::win32::net
