#include "service/engine_binding.h"

#include <vector>

#include "host/host_paths.h"
#include "host/host_registry.h"

namespace qm::win32::net {

namespace {

using fn_int = int(WINAPI*)(int);
using fn_void = int(WINAPI*)();
using fn_int_int = int(WINAPI*)(int, int);
using fn_int_int_int = int(WINAPI*)(int, int, int);
using fn_create = int(WINAPI*)(const char*, int, const char*, int, const char*, int, const char*,
                               int, const char*, int, int*);
using fn_create_pre = int(WINAPI*)(const char*, int, const char*, int, int*);
using fn_query_info = int(WINAPI*)(int, void*);
using fn_submit_count = int(WINAPI*)(int, int, int*);
using fn_query_count = int(WINAPI*)(int, int*, void*, int*);

int length_of(const std::string& text) {
    return static_cast<int>(text.size());
}

}  // namespace

const char* const engine_binding::entry_names[entry_count] = {
    "init",
    "uninit",
    "parse_url",
    "is_support_schema",
    "create_new_task",
    "create_predownload_task",
    "create_continued_task",
    "is_tempfile_exist",
    "delete_tempfile",
    "start_predownload_task",
    "query_p2sp_task_info",
    "query_p2sp_task_info_ex",
    "submit_get_dspider_ctrl_flag_opt",
    "query_get_failure_detail_result",
    "notify_hub_deleted",
    "set_file_name",
    "set_beyond_global_speed_limit",
    "start_task",
    "stop_task",
    "delete_task",
    "start_process_thread",
    "submit_get_count_of_resource",
    "query_get_count_of_resource",
    "add_resources",
    "discard_resources",
    "get_tp_process_id",
    "set_speed_limit",
    "cancel_speed_limit",
    "set_speed_limit_mode",
    "set_task_type",
};

std::wstring engine_binding::default_path() {
    std::wstring folder;
    // Without a host the name is taken beside the program, never from the
    // current directory, where any library of that name could be waiting.
    if (!host_program_folder(folder)) {
        folder = program_directory();
    }
    return folder + L"asyn_download_interface.dll";
}

int engine_binding::load(const std::wstring& path) {
    if (module_) {
        return 1;
    }
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return 0;
    }
    // The engine finds its companion files relative to the current directory
    // while it loads.
    std::vector<wchar_t> previous(1025, L'\0');
    const DWORD kept = GetCurrentDirectoryW(1024, previous.data());
    const size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos) {
        SetCurrentDirectoryW(path.substr(0, cut + 1).c_str());
    }
    path_ = path;
    module_ = LoadLibraryW(path.c_str());
    if (kept > 0 && kept < 1024) {
        SetCurrentDirectoryW(previous.data());
    }
    if (!module_) {
        return 0;
    }
    for (int i = 0; i < entry_count; ++i) {
        entries_[i] = GetProcAddress(module_, entry_names[i]);
        if (!entries_[i]) {
            return 0;
        }
    }
    init(0);
    if (!process_thread_started_) {
        start_process_thread();
        process_thread_started_ = true;
    }
    return 1;
}

int engine_binding::unload(int wait) {
    if (!module_) {
        return 0;
    }
    if (process_thread_started_) {
        const int process_id = get_tp_process_id();
        if (process_id != -1) {
            // The handle is taken before uninit lets the process end: after
            // that its id may already name another process, or none.
            HANDLE process = nullptr;
            if (wait == 1) {
                process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process_id));
            }
            if (uninit() != 0) {
                if (process) {
                    CloseHandle(process);
                }
                return 0;
            }
            process_thread_started_ = false;
            if (process) {
                // The process object is signalled when it has ended, whatever
                // its exit code. An engine that does not end within the bound
                // is left; the installer copes with files still held.
                WaitForSingleObject(process, engine_exit_wait_ms);
                CloseHandle(process);
            }
        } else {
            process_thread_started_ = false;
        }
    }
    if (!FreeLibrary(module_)) {
        return 0;
    }
    clear();
    return 1;
}

void engine_binding::clear() {
    for (auto& e : entries_) {
        e = nullptr;
    }
    module_ = nullptr;
}

int engine_binding::init(int value) {
    auto f = get<fn_int>(e_init);
    return f ? f(value) : -1;
}

int engine_binding::uninit() {
    auto f = get<fn_void>(e_uninit);
    return f ? f() : -1;
}

int engine_binding::create_new_task(const std::string& url, const std::string& folder,
                                    int* task_id) {
    auto f = get<fn_create>(e_create_new_task);
    if (!f || !task_id) {
        return -1;
    }
    return f(url.c_str(), length_of(url), nullptr, 0, nullptr, 0, folder.c_str(), length_of(folder),
             nullptr, 0, task_id);
}

int engine_binding::create_predownload_task(const std::string& url, int* task_id) {
    auto f = get<fn_create_pre>(e_create_predownload_task);
    if (!f || !task_id) {
        return -1;
    }
    return f(url.c_str(), length_of(url), nullptr, 0, task_id);
}

int engine_binding::create_continued_task(const std::string& url, const std::string& folder,
                                          const std::string& file_name, int* task_id) {
    auto f = get<fn_create>(e_create_continued_task);
    if (!f || !task_id) {
        return -1;
    }
    return f(url.c_str(), length_of(url), nullptr, 0, nullptr, 0, folder.c_str(), length_of(folder),
             file_name.c_str(), length_of(file_name), task_id);
}

int engine_binding::start_predownload_task(int task_id) {
    auto f = get<fn_int>(e_start_predownload_task);
    return f ? f(task_id) : -1;
}

int engine_binding::query_p2sp_task_info(int task_id, void* block) {
    auto f = get<fn_query_info>(e_query_p2sp_task_info);
    if (!f || !block) {
        return -1;
    }
    return f(task_id, block);
}

int engine_binding::start_task(int task_id) {
    auto f = get<fn_int>(e_start_task);
    return f ? f(task_id) : -1;
}

int engine_binding::stop_task(int task_id) {
    auto f = get<fn_int>(e_stop_task);
    return f ? f(task_id) : -1;
}

int engine_binding::start_process_thread() {
    auto f = get<fn_void>(e_start_process_thread);
    return f ? f() : -1;
}

int engine_binding::submit_get_count_of_resource(int task_id, int* query_handle) {
    auto f = get<fn_submit_count>(e_submit_get_count_of_resource);
    if (!f || !query_handle) {
        return -1;
    }
    return f(task_id, 0, query_handle);
}

int engine_binding::query_get_count_of_resource(int query_handle, int* count, void* buffer,
                                                int* status) {
    auto f = get<fn_query_count>(e_query_get_count_of_resource);
    if (!f || !count || !buffer || !status) {
        return -1;
    }
    return f(query_handle, count, buffer, status);
}

int engine_binding::add_resources(int task_id) {
    auto f = get<fn_int_int_int>(e_add_resources);
    return f ? f(task_id, 0, 3) : -1;
}

int engine_binding::get_tp_process_id() {
    auto f = get<fn_void>(e_get_tp_process_id);
    return f ? f() : -1;
}

int engine_binding::set_speed_limit_mode(int mode) {
    auto f = get<fn_int>(e_set_speed_limit_mode);
    return f ? f(mode) : -1;
}

int engine_binding::set_task_type(int task_id) {
    auto f = get<fn_int_int>(e_set_task_type);
    return f ? f(task_id, 0) : -1;
}

}  // namespace qm::win32::net
