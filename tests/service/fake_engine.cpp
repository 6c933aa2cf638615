// A download engine library for unit tests: every entry records its call in
// one shared state block, and tasks report what the test wrote into it.
#include <windows.h>

#include <cstring>

#include "tests/service/fake_engine.h"

namespace {

fake_engine_state g_state = [] {
    fake_engine_state s = {};
    s.tp_process_id = -1;
    return s;
}();

void busy() {
    if (g_state.call_delay_ms > 0) {
        Sleep(static_cast<DWORD>(g_state.call_delay_ms));
    }
}

fake_engine_task* task(int id) {
    return id >= 0 && id < 16 && g_state.tasks[id].used ? &g_state.tasks[id] : nullptr;
}

int create(const char* url, int url_len, const char* folder, int folder_len, const char* name,
           int name_len, int* id, int continued) {
    if (g_state.create_result != 0) {
        return g_state.create_result;
    }
    const int n = g_state.next_task++ % 16;
    fake_engine_task& t = g_state.tasks[n];
    t = fake_engine_task{};
    t.used = 1;
    t.engine_state = 10;
    memcpy(t.url, url, url_len < 255 ? url_len : 255);
    if (folder) {
        memcpy(t.folder, folder, folder_len < 255 ? folder_len : 255);
    }
    if (name) {
        memcpy(t.name, name, name_len < 63 ? name_len : 63);
        t.name_length = static_cast<std::uint32_t>(strlen(t.name));
    }
    t.continued = continued;
    *id = n;
    return 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) fake_engine_state* fake_state() {
    return &g_state;
}

int WINAPI init(int) {
    ++g_state.init_calls;
    return 0;
}
int WINAPI uninit() {
    ++g_state.uninit_calls;
    busy();
    if (g_state.uninit_result == 0 && g_state.uninit_ends_process && g_state.tp_process_id > 0) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                     static_cast<DWORD>(g_state.tp_process_id));
        if (process) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
    return g_state.uninit_result;
}
int WINAPI parse_url() {
    return 0;
}
int WINAPI is_support_schema() {
    return 0;
}
int WINAPI create_new_task(const char* url, int url_len, const char*, int, const char*, int,
                           const char* folder, int folder_len, const char*, int, int* id) {
    ++g_state.create_new_calls;
    busy();
    return create(url, url_len, folder, folder_len, nullptr, 0, id, 0);
}
int WINAPI create_predownload_task(const char* url, int url_len, const char*, int, int* id) {
    ++g_state.create_predownload_calls;
    return create(url, url_len, nullptr, 0, nullptr, 0, id, 0);
}
int WINAPI create_continued_task(const char* url, int url_len, const char*, int, const char*, int,
                                 const char* folder, int folder_len, const char* name, int name_len,
                                 int* id) {
    ++g_state.create_continued_calls;
    return create(url, url_len, folder, folder_len, name, name_len, id, 1);
}
int WINAPI is_tempfile_exist() {
    return 0;
}
int WINAPI delete_tempfile() {
    return 0;
}
int WINAPI start_predownload_task(int id) {
    return task(id) ? 0 : 2;
}
int WINAPI query_p2sp_task_info(int id, void* block) {
    ++g_state.query_calls;
    busy();
    fake_engine_task* t = task(id);
    if (!t) {
        return 2;
    }
    unsigned char* b = static_cast<unsigned char*>(block);
    memcpy(b, &t->engine_state, 4);
    memcpy(b + 28, &t->total, 8);
    memcpy(b + 36, &t->received, 8);
    memcpy(b + 44, &t->downloaded, 8);
    memcpy(b + 56, &t->name_length, 4);
    memcpy(b + 60, t->name, sizeof t->name);
    return 0;
}
int WINAPI query_p2sp_task_info_ex() {
    return 0;
}
int WINAPI submit_get_dspider_ctrl_flag_opt() {
    return 0;
}
int WINAPI query_get_failure_detail_result() {
    return 0;
}
int WINAPI notify_hub_deleted() {
    return 0;
}
int WINAPI set_file_name() {
    return 0;
}
int WINAPI set_beyond_global_speed_limit() {
    return 0;
}
int WINAPI start_task(int id) {
    ++g_state.start_calls;
    busy();
    if (g_state.start_result != 0) {
        return g_state.start_result;
    }
    fake_engine_task* t = task(id);
    if (!t) {
        return 2;
    }
    t->engine_state = 2;
    return 0;
}
int WINAPI stop_task(int id) {
    ++g_state.stop_calls;
    busy();
    fake_engine_task* t = task(id);
    if (!t) {
        return 2;
    }
    t->engine_state = 10;
    return 0;
}
int WINAPI delete_task() {
    return 0;
}
int WINAPI start_process_thread() {
    ++g_state.start_process_thread_calls;
    return 0;
}
int WINAPI submit_get_count_of_resource(int, int, int* handle) {
    ++g_state.submit_count_calls;
    *handle = 77;
    return 0;
}
int WINAPI query_get_count_of_resource(int handle, int* count, void* buffer, int* status) {
    ++g_state.query_count_calls;
    if (handle != 77 || *count != 4 || *status != 0 ||
        memcmp(buffer, "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 32)) {
        return 1;
    }
    *status = g_state.query_count_status;
    return 0;
}
int WINAPI add_resources(int, int a, int b) {
    ++g_state.add_resources_calls;
    return a == 0 && b == 3 ? 0 : 1;
}
int WINAPI discard_resources() {
    return 0;
}
int WINAPI get_tp_process_id() {
    return g_state.tp_process_id;
}
int WINAPI set_speed_limit() {
    return 0;
}
int WINAPI cancel_speed_limit() {
    return 0;
}
int WINAPI set_speed_limit_mode(int mode) {
    ++g_state.speed_mode_calls;
    g_state.last_speed_mode = mode;
    return mode <= 3 ? 0 : 1;
}
#ifndef FAKE_ENGINE_WITHOUT_TASK_TYPE
int WINAPI set_task_type(int, int) {
    ++g_state.set_task_type_calls;
    return 0;
}
#endif

}  // extern "C"
