// asyn_download_interface.dll: thirty stdcall entries that forward each call to
// the engine process tdengine.exe (found beside this module) over its named
// pipe. Calls are answered synchronously; a dead or stuck engine makes them
// fail with result_engine_unavailable instead of blocking the caller. A call
// that took too long gives up its pipe; the next call opens a fresh one to the
// same engine while that engine lives, so one slow answer is not the end.
#include <windows.h>

#include <cstring>
#include <string>

#include "standins/engine/engine_ipc.h"

using namespace tdengine;

namespace {

constexpr DWORD default_call_timeout_ms = 15000;
constexpr DWORD start_timeout_ms = 15000;
constexpr DWORD reconnect_timeout_ms = 2000;

DWORD g_call_timeout_ms = default_call_timeout_ms;  // TDENGINE_CALL_TIMEOUT_MS, for tests

CRITICAL_SECTION g_lock;
HMODULE g_module = nullptr;
HANDLE g_pipe = INVALID_HANDLE_VALUE;
HANDLE g_process = nullptr;  // the engine, for liveness
DWORD g_pid = 0;
HANDLE g_io_event = nullptr;

class locked {
  public:
    locked() { EnterCriticalSection(&g_lock); }
    ~locked() { LeaveCriticalSection(&g_lock); }
    locked(const locked&) = delete;
    locked& operator=(const locked&) = delete;
};

// Gives up the pipe only: the engine may still be alive behind it.
void drop_pipe() {
    if (g_pipe != INVALID_HANDLE_VALUE) {
        CloseHandle(g_pipe);
        g_pipe = INVALID_HANDLE_VALUE;
    }
}

void drop_connection() {
    drop_pipe();
    if (g_process) {
        CloseHandle(g_process);
        g_process = nullptr;
    }
    g_pid = 0;
}

bool engine_alive() {
    return g_process && WaitForSingleObject(g_process, 0) == WAIT_TIMEOUT;
}

// Waits for one overlapped transfer, giving up when the engine dies or takes
// too long.
bool finish_io(BOOL started, OVERLAPPED& ov, DWORD& bytes) {
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    HANDLE objects[2] = {ov.hEvent, g_process};
    DWORD count = g_process ? 2 : 1;
    DWORD w = WaitForMultipleObjects(count, objects, FALSE, g_call_timeout_ms);
    if (w == WAIT_OBJECT_0) {
        return GetOverlappedResult(g_pipe, &ov, &bytes, FALSE) != FALSE;
    }
    CancelIo(g_pipe);
    GetOverlappedResult(g_pipe, &ov, &bytes, TRUE);
    return false;
}

struct texts {
    const char* data[4] = {nullptr, nullptr, nullptr, nullptr};
    int length[4] = {0, 0, 0, 0};
};

bool reopen_pipe();
HANDLE open_pipe(const std::wstring& name);
std::wstring engine_path();

// A transfer failed or took too long. The pipe is given up, as its late answer
// would be taken for the next one's. A live engine is kept and, where its pipe
// takes a connection at once, stays connected: it counts its libraries and
// ends soon after the last one goes. The next call opens the pipe otherwise.
void lose_pipe() {
    drop_pipe();
    if (!engine_alive()) {
        drop_connection();
        return;
    }
    const std::wstring exe = engine_path();
    if (!exe.empty()) {
        g_pipe = open_pipe(pipe_name_for(exe));
    }
}

// One request and its reply. `data` (may be null) receives the reply's data.
int call(std::uint32_t op, std::int32_t a0, std::int32_t a1, const texts& t, reply_head& reply,
         std::string* data) {
    locked guard;
    if (g_pipe == INVALID_HANDLE_VALUE && !(op != op_hello && reopen_pipe())) {
        return result_engine_unavailable;
    }
    request_head head{};
    head.magic = request_magic;
    head.op = op;
    head.args[0] = a0;
    head.args[1] = a1;
    std::string message;
    for (int i = 0; i < 4; ++i) {
        if (t.length[i] < 0 || static_cast<std::size_t>(t.length[i]) > max_text ||
            (t.length[i] > 0 && !t.data[i])) {
            return result_bad_argument;
        }
        head.text_len[i] = static_cast<std::uint32_t>(t.length[i]);
    }
    message.assign(reinterpret_cast<const char*>(&head), sizeof head);
    for (int i = 0; i < 4; ++i) {
        message.append(t.data[i] ? t.data[i] : "", static_cast<std::size_t>(t.length[i]));
    }
    OVERLAPPED ov{};
    ov.hEvent = g_io_event;
    ResetEvent(g_io_event);
    DWORD bytes = 0;
    BOOL ok = WriteFile(g_pipe, message.data(), static_cast<DWORD>(message.size()), nullptr, &ov);
    if (!finish_io(ok, ov, bytes) || bytes != message.size()) {
        lose_pipe();
        return result_engine_unavailable;
    }
    char in[max_message];
    ov = OVERLAPPED{};
    ov.hEvent = g_io_event;
    ResetEvent(g_io_event);
    ok = ReadFile(g_pipe, in, sizeof in, nullptr, &ov);
    if (!finish_io(ok, ov, bytes) || bytes < sizeof(reply_head)) {
        lose_pipe();
        return result_engine_unavailable;
    }
    std::memcpy(&reply, in, sizeof reply);
    if (reply.magic != reply_magic || sizeof(reply_head) + reply.data_len != bytes) {
        lose_pipe();
        return result_engine_unavailable;
    }
    if (data) {
        data->assign(in + sizeof(reply_head), reply.data_len);
    }
    return reply.result;
}

int call_simple(std::uint32_t op, std::int32_t a0 = 0, std::int32_t a1 = 0) {
    reply_head reply{};
    return call(op, a0, a1, texts{}, reply, nullptr);
}

std::wstring engine_path() {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) {
        return std::wstring();
    }
    std::wstring p(path, n);
    std::size_t slash = p.find_last_of(L"\\/");
    return p.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + L"tdengine.exe";
}

HANDLE open_pipe(const std::wstring& name) {
    HANDLE pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    }
    return pipe;
}

// A new pipe to the engine the library was connected to, once it is known
// to be alive; the engine must answer as the same process.
bool reopen_pipe() {
    if (!g_process || !engine_alive()) {
        return false;
    }
    const std::wstring exe = engine_path();
    if (exe.empty()) {
        return false;
    }
    const std::wstring name = pipe_name_for(exe);
    const DWORD begin = GetTickCount();
    HANDLE pipe = INVALID_HANDLE_VALUE;
    while (GetTickCount() - begin < reconnect_timeout_ms) {
        pipe = open_pipe(name);
        if (pipe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY) {
            break;
        }
        WaitNamedPipeW(name.c_str(), 200);
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        return false;
    }
    g_pipe = pipe;
    reply_head reply{};
    if (call(op_hello, 0, 0, texts{}, reply, nullptr) != result_ok ||
        static_cast<DWORD>(reply.values[0]) != g_pid) {
        drop_pipe();
        return false;
    }
    return true;
}

// Opens the engine's pipe, starting the engine when nobody listens, and says
// hello. An engine that is shutting down refuses (result_bad_state, with its
// process id): the caller waits for it to end and tries again.
int join_or_start(const std::wstring& exe, DWORD begin, DWORD& closing_pid) {
    const std::wstring name = pipe_name_for(exe);
    PROCESS_INFORMATION started{};
    HANDLE pipe = INVALID_HANDLE_VALUE;
    while (GetTickCount() - begin < start_timeout_ms) {
        pipe = open_pipe(name);
        if (pipe != INVALID_HANDLE_VALUE) {
            break;
        }
        if (GetLastError() == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(name.c_str(), 200);
            continue;
        }
        if (!started.hProcess) {
            std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
            std::wstring command = L"\"" + exe + L"\"";
            STARTUPINFOW si{};
            si.cb = sizeof si;
            if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                nullptr, folder.c_str(), &si, &started)) {
                return result_engine_unavailable;
            }
            CloseHandle(started.hThread);
        } else if (WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(started.hProcess, &code);
            if (code != 2) {  // 2: another engine got there first; it will answer
                break;
            }
        }
        Sleep(20);
    }
    if (started.hProcess) {
        CloseHandle(started.hProcess);
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        return result_engine_unavailable;
    }
    g_pipe = pipe;
    reply_head reply{};
    const int r = call(op_hello, 0, 0, texts{}, reply, nullptr);
    if (r != result_ok) {
        closing_pid = r == result_bad_state ? static_cast<DWORD>(reply.values[0]) : 0;
        drop_connection();
        return r == result_bad_state ? result_bad_state : result_engine_unavailable;
    }
    g_pid = static_cast<DWORD>(reply.values[0]);
    g_process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, g_pid);
    if (!g_process) {
        drop_connection();
        return result_engine_unavailable;
    }
    return result_ok;
}

int connect_engine() {
    wchar_t value[16];
    const DWORD got = GetEnvironmentVariableW(L"TDENGINE_CALL_TIMEOUT_MS", value, 16);
    const int configured = got > 0 && got < 16 ? _wtoi(value) : 0;
    g_call_timeout_ms =
        configured >= 100 ? static_cast<DWORD>(configured) : default_call_timeout_ms;
    if (g_pipe != INVALID_HANDLE_VALUE && engine_alive()) {
        return result_ok;
    }
    if (reopen_pipe()) {
        return result_ok;
    }
    drop_connection();
    const std::wstring exe = engine_path();
    if (exe.empty() || GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return result_engine_unavailable;
    }
    const DWORD begin = GetTickCount();
    for (;;) {
        DWORD closing_pid = 0;
        const int r = join_or_start(exe, begin, closing_pid);
        if (r != result_bad_state) {
            return r;
        }
        // The engine of an earlier library is on its way out (an uninit a
        // moment ago): a new one starts once it has gone.
        const DWORD spent = GetTickCount() - begin;
        if (spent >= start_timeout_ms) {
            return result_engine_unavailable;
        }
        HANDLE closing = closing_pid ? OpenProcess(SYNCHRONIZE, FALSE, closing_pid) : nullptr;
        if (closing) {
            WaitForSingleObject(closing, start_timeout_ms - spent);
            CloseHandle(closing);
        } else {
            Sleep(100);
        }
    }
}

int create(std::uint32_t op, const char* url, int url_len, const char* folder, int folder_len,
           const char* name, int name_len, int* task_id) {
    if (!url || url_len <= 0 || !task_id) {
        return result_bad_argument;
    }
    texts t;
    t.data[0] = url;
    t.length[0] = url_len;
    t.data[1] = folder;
    t.length[1] = folder ? folder_len : 0;
    t.data[2] = name;
    t.length[2] = name ? name_len : 0;
    reply_head reply{};
    int r = call(op, 0, 0, t, reply, nullptr);
    if (r == result_ok) {
        *task_id = reply.values[0];
    }
    return r;
}

bool text_ok(const char* text, int length) {
    return text && length > 0;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_lock);
        g_io_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary: let go of the engine without stopping it.
        drop_connection();
        CloseHandle(g_io_event);
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}

int __stdcall init(int) {
    return result_ok;
}

int __stdcall uninit() {
    locked guard;
    if (g_pipe == INVALID_HANDLE_VALUE && !g_process) {
        return result_ok;
    }
    reply_head reply{};
    int r = call(op_shutdown, 0, 0, texts{}, reply, nullptr);
    if (r != result_ok && engine_alive()) {
        return result_engine_unavailable;
    }
    // An engine that other libraries still use (the host's) only stops this
    // library's tasks and stays.
    if (g_process && (r != result_ok || reply.values[0] != 0)) {
        WaitForSingleObject(g_process, 5000);
    }
    drop_connection();
    return result_ok;
}

// Writes the file name the engine would choose for `url` (before any answer
// from the server): name_len is the room in bytes on entry, the length on exit.
int __stdcall parse_url(const char* url, int url_len, char* name, int* name_len) {
    if (!text_ok(url, url_len) || !name || !name_len || *name_len <= 0) {
        return result_bad_argument;
    }
    std::string u(url, static_cast<std::size_t>(url_len));
    if (u.compare(0, 7, "http://") != 0 && u.compare(0, 7, "HTTP://") != 0) {
        return result_not_supported;
    }
    std::size_t end = u.find_first_of("?#", 7);
    std::string path = u.substr(7, end == std::string::npos ? std::string::npos : end - 7);
    std::size_t slash = path.find_first_of('/');
    std::string last = slash == std::string::npos ? "" : path.substr(path.rfind('/') + 1);
    if (last.empty()) {
        last = "index.html";
    }
    if (static_cast<int>(last.size()) > *name_len) {
        *name_len = static_cast<int>(last.size());
        return result_bad_argument;
    }
    std::memcpy(name, last.data(), last.size());
    *name_len = static_cast<int>(last.size());
    return result_ok;
}

int __stdcall is_support_schema(const char* url, int url_len) {
    if (!text_ok(url, url_len)) {
        return result_bad_argument;
    }
    std::string u(url, static_cast<std::size_t>(url_len < 8 ? url_len : 8));
    for (char& c : u) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return u.compare(0, 7, "http://") == 0 ? result_ok : result_not_supported;
}

int __stdcall create_new_task(const char* url, int url_len, const char*, int, const char*, int,
                              const char* folder, int folder_len, const char* name, int name_len,
                              int* task_id) {
    if (!text_ok(folder, folder_len)) {
        return result_bad_argument;
    }
    return create(op_create_new, url, url_len, folder, folder_len, name, name_len, task_id);
}

int __stdcall create_predownload_task(const char* url, int url_len, const char*, int,
                                      int* task_id) {
    return create(op_create_predownload, url, url_len, nullptr, 0, nullptr, 0, task_id);
}

int __stdcall create_continued_task(const char* url, int url_len, const char*, int, const char*,
                                    int, const char* folder, int folder_len, const char* name,
                                    int name_len, int* task_id) {
    if (!text_ok(folder, folder_len) || !text_ok(name, name_len)) {
        return result_bad_argument;
    }
    return create(op_create_continued, url, url_len, folder, folder_len, name, name_len, task_id);
}

namespace {
std::wstring td_path(const char* folder, int folder_len, const char* name, int name_len) {
    std::string path(folder, static_cast<std::size_t>(folder_len));
    if (path.back() != '\\' && path.back() != '/') {
        path += '\\';
    }
    path.append(name, static_cast<std::size_t>(name_len));
    path += ".td";
    int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &w[0], n);
    }
    return w;
}
}  // namespace

int __stdcall is_tempfile_exist(const char* folder, int folder_len, const char* name, int name_len,
                                int* exists) {
    if (!text_ok(folder, folder_len) || !text_ok(name, name_len) || !exists) {
        return result_bad_argument;
    }
    DWORD a = GetFileAttributesW(td_path(folder, folder_len, name, name_len).c_str());
    *exists = a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
    return result_ok;
}

int __stdcall delete_tempfile(const char* folder, int folder_len, const char* name, int name_len) {
    if (!text_ok(folder, folder_len) || !text_ok(name, name_len)) {
        return result_bad_argument;
    }
    std::wstring path = td_path(folder, folder_len, name, name_len);
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return result_bad_state;  // in use by a running task
    }
    return result_ok;
}

int __stdcall start_predownload_task(int task_id) {
    return call_simple(op_start_predownload, task_id);
}

int __stdcall query_p2sp_task_info(int task_id, void* block) {
    if (!block) {
        return result_bad_argument;
    }
    reply_head reply{};
    std::string data;
    int r = call(op_query_info, task_id, 0, texts{}, reply, &data);
    if (r == result_ok) {
        if (data.size() != info_block_size) {
            return result_engine_unavailable;
        }
        std::memcpy(block, data.data(), info_block_size);
    }
    return r;
}

int __stdcall query_p2sp_task_info_ex(int task_id, void* block, int size) {
    if (!block || size <= 0) {
        return result_bad_argument;
    }
    unsigned char full[info_block_size];
    int r = query_p2sp_task_info(task_id, full);
    if (r == result_ok) {
        std::size_t n = static_cast<std::size_t>(size) < info_block_size
                            ? static_cast<std::size_t>(size)
                            : info_block_size;
        std::memcpy(block, full, n);
    }
    return r;
}

// There is no peer network behind this engine, so nothing to ask it.
int __stdcall submit_get_dspider_ctrl_flag_opt(int, int* handle) {
    if (handle) {
        *handle = -1;
    }
    return result_not_supported;
}

int __stdcall query_get_failure_detail_result(int task_id, int* error_code) {
    if (!error_code) {
        return result_bad_argument;
    }
    reply_head reply{};
    int r = call(op_failure_detail, task_id, 0, texts{}, reply, nullptr);
    if (r == result_ok) {
        *error_code = reply.values[0];
    }
    return r;
}

int __stdcall notify_hub_deleted() {
    return result_ok;
}

int __stdcall set_file_name(int task_id, const char* name, int name_len) {
    if (!text_ok(name, name_len)) {
        return result_bad_argument;
    }
    texts t;
    t.data[0] = name;
    t.length[0] = name_len;
    reply_head reply{};
    return call(op_set_file_name, task_id, 0, t, reply, nullptr);
}

int __stdcall set_beyond_global_speed_limit(int task_id, int beyond) {
    return call_simple(op_set_beyond_limit, task_id, beyond);
}

int __stdcall start_task(int task_id) {
    return call_simple(op_start, task_id);
}
int __stdcall stop_task(int task_id) {
    return call_simple(op_stop, task_id);
}
int __stdcall delete_task(int task_id) {
    return call_simple(op_delete, task_id);
}

int __stdcall start_process_thread() {
    locked guard;
    return connect_engine();
}

int __stdcall submit_get_count_of_resource(int task_id, int, int* handle) {
    if (!handle) {
        return result_bad_argument;
    }
    reply_head reply{};
    int r = call(op_submit_count, task_id, 0, texts{}, reply, nullptr);
    if (r == result_ok) {
        *handle = reply.values[0];
    }
    return r;
}

// `count` is the room in the buffer in entries of eight bytes on entry and the
// number of resources on exit (once the status is 2).
int __stdcall query_get_count_of_resource(int handle, int* count, void* buffer, int* status) {
    if (!count || !buffer || !status) {
        return result_bad_argument;
    }
    reply_head reply{};
    std::string data;
    int r = call(op_query_count, handle, *count, texts{}, reply, &data);
    if (r == result_ok) {
        *status = reply.values[0];
        if (reply.values[0] == count_ready) {
            std::size_t room = *count > 0 ? static_cast<std::size_t>(*count) * 8 : 0;
            std::memcpy(buffer, data.data(), data.size() < room ? data.size() : room);
            *count = reply.values[1];
        }
    }
    return r;
}

// The origin server is the only source; more of it changes nothing.
int __stdcall add_resources(int task_id, int kind, int count) {
    (void)count;
    return call_simple(op_add_resources, task_id, kind);
}

int __stdcall discard_resources(int task_id, int kind) {
    return call_simple(op_discard_resources, task_id, kind);
}

int __stdcall get_tp_process_id() {
    locked guard;
    return engine_alive() ? static_cast<int>(g_pid) : -1;
}

int __stdcall set_speed_limit(int bytes_per_second) {
    return call_simple(op_set_speed_limit, bytes_per_second);
}

int __stdcall cancel_speed_limit() {
    return call_simple(op_cancel_speed_limit);
}

int __stdcall set_speed_limit_mode(int mode) {
    if (mode < 0 || mode > 3) {
        return result_bad_argument;
    }
    return call_simple(op_set_speed_limit_mode, mode);
}

int __stdcall set_task_type(int task_id, int type) {
    return call_simple(op_set_task_type, task_id, type);
}

}  // extern "C"
