// tdengine.exe: the process in which the downloads of asyn_download_interface.dll
// run. It serves one named pipe (its name derived from this executable's path),
// one thread per connected library, and ends when told to, or when no library
// has been connected for a while, so that it never outlives its users.
#include <winsock2.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/http_url.h"
#include "standins/engine/engine_ipc.h"
#include "standins/engine/engine_task.h"

namespace tdengine {
namespace {

constexpr DWORD idle_exit_ms = 5000;      // after the last library let go
constexpr DWORD first_client_ms = 30000;  // started but never reached
constexpr DWORD shutdown_wait_ms = 3000;  // for the tasks to let go of their files

struct engine {
    std::mutex lock;  // guards tasks, queries, next ids, speed settings
    std::map<int, std::unique_ptr<download_task>> tasks;
    std::map<int, int> count_queries;  // handle -> task id
    int next_task = 1;
    int next_query = 1;
    int mode = 1;
    std::uint64_t explicit_limit = 0;
    rate_limiter limiter;
    task_options options;
    std::atomic<int> clients{0};
    std::atomic<bool> ever_connected{false};
    std::atomic<DWORD> last_change{0};
    std::atomic<bool> closing{false};  // shutting down: no new library is taken on
    // The engine serves every library of its folder: the client's and the
    // host's, which takes over the client's downloads. Each task belongs to
    // the process whose library made it.
    std::map<int, DWORD> owners;     // task id -> process id
    std::map<DWORD, int> libraries;  // process id -> its open connections
    std::wstring pipe_name;
    std::wstring settings_log;  // TDENGINE_LOG: where speed settings are recorded
};

std::uint64_t mode_rate(int mode) {
    switch (mode) {
        case 2:
            return 2u << 20;  // a moderate cap
        case 3:
            return 128u << 10;  // background: keeps the line free for the user
        default:
            return 0;
    }
}

// Appends one line to the file named by TDENGINE_LOG, so that a test can see
// which speed settings a client asked for and in what order. Called under the
// engine's lock, which also keeps the lines whole.
void record_setting(const engine& e, const char* what, long long value) {
    if (e.settings_log.empty()) {
        return;
    }
    HANDLE file =
        CreateFileW(e.settings_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    char line[96];
    const int n = wsprintfA(line, "%s %d\r\n", what, static_cast<int>(value));
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(n > 0 ? n : 0), &written, nullptr);
    CloseHandle(file);
}

void apply_limit(engine& e) {
    e.limiter.set_rate(e.explicit_limit ? e.explicit_limit : mode_rate(e.mode));
}

std::wstring widen_acp(const std::string& s) {
    if (s.empty()) {
        return std::wstring();
    }
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    }
    return w;
}

bool usable_url(const std::string& url) {
    std::string host;
    std::uint16_t port = 0;
    return qm::win32::net::split_url(url, host, port);
}

bool usable_folder(std::wstring& folder) {
    if (folder.empty()) {
        return false;
    }
    if (folder.back() != L'\\' && folder.back() != L'/') {
        folder += L'\\';
    }
    DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Stops every task, or only those of one library's process, and gives them a
// moment to let go of their files, outside the engine's lock and never for
// longer than shutdown_wait_ms (a name lookup cannot be interrupted).
void stop_tasks(engine& e, const DWORD* owner) {
    auto tasks = std::make_shared<std::vector<std::unique_ptr<download_task>>>();
    {
        std::lock_guard<std::mutex> guard(e.lock);
        for (auto it = e.tasks.begin(); it != e.tasks.end();) {
            if (owner && e.owners[it->first] != *owner) {
                ++it;
                continue;
            }
            it->second->stop();
            tasks->push_back(std::move(it->second));
            e.owners.erase(it->first);
            it = e.tasks.erase(it);
        }
        for (auto it = e.count_queries.begin(); it != e.count_queries.end();) {
            it = e.tasks.count(it->second) ? std::next(it) : e.count_queries.erase(it);
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([tasks, done] {
        tasks->clear();  // each destructor waits for its transfer
        *done = true;
    }).detach();
    const DWORD start = GetTickCount();
    while (!done->load() && GetTickCount() - start < shutdown_wait_ms) {
        Sleep(20);
    }
}

void stop_everything(engine& e) {
    stop_tasks(e, nullptr);
}

download_task* find_task(engine& e, int id) {
    auto it = e.tasks.find(id);
    return it == e.tasks.end() ? nullptr : it->second.get();
}

struct request {
    request_head head{};
    std::string text[4];
};

bool parse_request(const char* data, DWORD length, request& r) {
    if (length < sizeof(request_head)) {
        return false;
    }
    std::memcpy(&r.head, data, sizeof(request_head));
    if (r.head.magic != request_magic) {
        return false;
    }
    std::size_t at = sizeof(request_head);
    for (int i = 0; i < 4; ++i) {
        std::size_t n = r.head.text_len[i];
        if (n > max_text || at + n > length) {
            return false;
        }
        r.text[i].assign(data + at, n);
        at += n;
    }
    return at == length;
}

// Runs one request; fills the reply head and its data.
// client: the process of the calling library. shutdown: the engine ends after
// the reply; leave: only the caller's tasks end, other libraries still use
// the engine.
void handle(engine& e, DWORD client, const request& r, reply_head& reply, std::string& data,
            bool& shutdown, bool& leave) {
    reply.magic = reply_magic;
    reply.result = result_ok;
    const int id = r.head.args[0];
    // A deleted task is waited for after the engine's lock is let go (this
    // is destroyed after the guard): its transfer may take a wait slice to
    // notice the stop, and no other call should wait with it.
    std::unique_ptr<download_task> deleted;
    std::lock_guard<std::mutex> guard(e.lock);
    switch (r.head.op) {
        case op_hello:
            reply.values[0] = static_cast<std::int32_t>(GetCurrentProcessId());
            reply.values[1] = e.options.connections;
            if (e.closing.load()) {
                reply.result = result_bad_state;
            }
            break;
        case op_create_new:
        case op_create_continued:
        case op_create_predownload: {
            std::wstring folder = widen_acp(r.text[1]);
            std::wstring name = widen_acp(r.text[2]);
            bool pre = r.head.op == op_create_predownload;
            if (!usable_url(r.text[0]) || (!pre && !usable_folder(folder)) ||
                (r.head.op == op_create_continued && name.empty())) {
                reply.result = result_bad_argument;
                break;
            }
            int new_id = e.next_task++;
            e.tasks[new_id] =
                std::make_unique<download_task>(new_id, r.text[0], folder, name, pre, e.options);
            e.owners[new_id] = client;
            reply.values[0] = new_id;
            break;
        }
        case op_start:
        case op_start_predownload: {
            download_task* t = find_task(e, id);
            if (!t) {
                reply.result = result_unknown_task;
            } else if (!t->start()) {
                reply.result = result_bad_state;
            }
            break;
        }
        case op_stop: {
            download_task* t = find_task(e, id);
            if (!t) {
                reply.result = result_unknown_task;
            } else {
                t->stop();
            }
            break;
        }
        case op_delete: {
            auto it = e.tasks.find(id);
            if (it == e.tasks.end()) {
                reply.result = result_unknown_task;
            } else {
                it->second->stop();
                deleted = std::move(it->second);
                e.tasks.erase(it);
                e.owners.erase(id);
            }
            break;
        }
        case op_query_info: {
            download_task* t = find_task(e, id);
            if (!t) {
                reply.result = result_unknown_task;
            } else {
                data.assign(info_block_size, '\0');
                t->fill_info(reinterpret_cast<unsigned char*>(&data[0]));
            }
            break;
        }
        case op_submit_count: {
            if (!find_task(e, id)) {
                reply.result = result_unknown_task;
            } else {
                int handle_id = e.next_query++;
                e.count_queries[handle_id] = id;
                reply.values[0] = handle_id;
            }
            break;
        }
        case op_query_count: {
            auto q = e.count_queries.find(id);
            download_task* t = q == e.count_queries.end() ? nullptr : find_task(e, q->second);
            if (!t) {
                reply.result = result_unknown_task;
                break;
            }
            int status = t->resource_state();
            reply.values[0] = status;
            reply.values[1] = 0;
            if (status == count_ready) {
                resource_entry entry{1, static_cast<std::uint32_t>(e.options.connections)};
                std::size_t room =
                    r.head.args[1] > 0 ? static_cast<std::size_t>(r.head.args[1]) : 0;
                reply.values[1] = 1;
                if (room >= 1) {
                    data.assign(reinterpret_cast<const char*>(&entry), sizeof entry);
                }
                e.count_queries.erase(q);
            } else if (status == count_failed) {
                e.count_queries.erase(q);
            }
            break;
        }
        case op_add_resources:
        case op_discard_resources:
        case op_set_task_type:
            if (!find_task(e, id)) {
                reply.result = result_unknown_task;
            }
            break;
        case op_set_speed_limit_mode:
            if (id < 0 || id > 3) {
                reply.result = result_bad_argument;
            } else {
                e.mode = id;
                apply_limit(e);
                record_setting(e, "speed_limit_mode", id);
            }
            break;
        case op_set_speed_limit:
            if (id <= 0) {
                reply.result = result_bad_argument;
            } else {
                e.explicit_limit = static_cast<std::uint64_t>(id);
                apply_limit(e);
                record_setting(e, "speed_limit", id);
            }
            break;
        case op_cancel_speed_limit:
            e.explicit_limit = 0;
            apply_limit(e);
            record_setting(e, "cancel_speed_limit", 0);
            break;
        case op_set_file_name: {
            download_task* t = find_task(e, id);
            if (!t) {
                reply.result = result_unknown_task;
            } else if (!t->set_file_name(widen_acp(r.text[0]))) {
                reply.result = result_bad_state;
            }
            break;
        }
        case op_set_beyond_limit: {
            download_task* t = find_task(e, id);
            if (!t) {
                reply.result = result_unknown_task;
            } else {
                t->set_beyond_limit(r.head.args[1] != 0);
            }
            break;
        }
        case op_failure_detail: {
            download_task* t = find_task(e, id);
            if (!t) {
                reply.result = result_unknown_task;
            } else {
                reply.values[0] = t->last_error();
            }
            break;
        }
        case op_shutdown: {
            bool others = false;
            for (const auto& library : e.libraries) {
                others = others || (library.first != client && library.second > 0);
            }
            // values[0]: 1 when the engine ends, 0 when it stays for others.
            if (others && client != 0) {
                leave = true;
                reply.values[0] = 0;
            } else {
                reply.values[0] = 1;
                e.closing = true;
                shutdown = true;
            }
            break;
        }
        default:
            reply.result = result_not_supported;
            break;
    }
}

// A whole number from the environment within [0, most], else fallback.
DWORD environment_number(const wchar_t* name, DWORD fallback, DWORD most) {
    wchar_t value[16];
    const DWORD got = GetEnvironmentVariableW(name, value, 16);
    if (got == 0 || got >= 16) {
        return fallback;
    }
    const int n = _wtoi(value);
    return n >= 0 && static_cast<DWORD>(n) <= most ? static_cast<DWORD>(n) : fallback;
}

void serve_client(engine& e, HANDLE pipe) {
    ULONG client = 0;
    if (!GetNamedPipeClientProcessId(pipe, &client)) {
        client = 0;  // unknown: its shutdown ends the engine, as before libraries were told apart
    }
    {
        std::lock_guard<std::mutex> guard(e.lock);
        ++e.libraries[client];
    }
    std::vector<char> in(max_message);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(pipe, in.data(), static_cast<DWORD>(in.size()), &got, nullptr)) {
            break;
        }
        request r;
        reply_head reply{};
        std::string data;
        bool shutdown = false;
        bool leave = false;
        if (!parse_request(in.data(), got, r)) {
            reply.magic = reply_magic;
            reply.result = result_bad_argument;
        } else {
            handle(e, client, r, reply, data, shutdown, leave);
        }
        if (shutdown) {
            stop_everything(e);
        } else if (leave) {
            const DWORD owner = client;
            stop_tasks(e, &owner);
        }
        reply.data_len = static_cast<std::uint32_t>(data.size());
        std::string out(reinterpret_cast<const char*>(&reply), sizeof reply);
        out += data;
        DWORD put = 0;
        bool written = WriteFile(pipe, out.data(), static_cast<DWORD>(out.size()), &put, nullptr);
        if (shutdown) {
            // A test's stand-in for a loaded machine, where the process
            // takes its time to go after answering.
            const DWORD linger = environment_number(L"TDENGINE_EXIT_DELAY_MS", 0, 60000);
            // Let the library read the answer, but never wait on it for long.
            std::thread([linger] {
                Sleep(2000 + linger);
                ExitProcess(0);
            }).detach();
            if (written) {
                FlushFileBuffers(pipe);
            }
            Sleep(linger);
            ExitProcess(0);
        }
        if (!written) {
            break;
        }
    }
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    {
        std::lock_guard<std::mutex> guard(e.lock);
        if (--e.libraries[client] <= 0) {
            e.libraries.erase(client);
        }
    }
    e.last_change = GetTickCount();
    --e.clients;
}

void watchdog(engine& e) {
    const DWORD started = GetTickCount();
    for (;;) {
        Sleep(250);
        DWORD now = GetTickCount();
        if (e.clients.load() > 0) {
            continue;
        }
        bool idle = e.ever_connected.load() ? now - e.last_change.load() >= idle_exit_ms
                                            : now - started >= first_client_ms;
        if (idle) {
            e.closing = true;
            stop_everything(e);
            ExitProcess(0);
        }
    }
}

HANDLE make_instance(const std::wstring& name, bool first) {
    DWORD open_mode = PIPE_ACCESS_DUPLEX | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    return CreateNamedPipeW(name.c_str(), open_mode,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                            PIPE_UNLIMITED_INSTANCES, max_message, max_message, 0, nullptr);
}

int run_engine() {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        return 3;
    }
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) {
        return 3;
    }
    static engine e;
    e.pipe_name = pipe_name_for(std::wstring(path, n));
    e.options.limiter = &e.limiter;
    wchar_t value[16];
    DWORD got = GetEnvironmentVariableW(L"TDENGINE_CONNECTIONS", value, 16);
    if (got > 0 && got < 16) {
        int c = _wtoi(value);
        if (c >= 1 && c <= 16) {
            e.options.connections = c;
        }
    }
    wchar_t log[MAX_PATH];
    got = GetEnvironmentVariableW(L"TDENGINE_LOG", log, MAX_PATH);
    if (got > 0 && got < MAX_PATH) {
        e.settings_log.assign(log, got);
    }
    HANDLE pipe = make_instance(e.pipe_name, true);
    if (pipe == INVALID_HANDLE_VALUE) {
        return 2;  // another engine serves this folder already
    }
    std::thread(watchdog, std::ref(e)).detach();
    for (;;) {
        BOOL connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        if (connected) {
            ++e.clients;
            e.ever_connected = true;
            e.last_change = GetTickCount();
            std::thread(serve_client, std::ref(e), pipe).detach();
        } else {
            CloseHandle(pipe);
        }
        pipe = make_instance(e.pipe_name, false);
        if (pipe == INVALID_HANDLE_VALUE) {
            Sleep(100);
            pipe = make_instance(e.pipe_name, false);
            if (pipe == INVALID_HANDLE_VALUE) {
                stop_everything(e);
                return 3;
            }
        }
    }
}

}  // namespace
}  // namespace tdengine

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return tdengine::run_engine();
}
