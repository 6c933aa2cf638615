#pragma once
// The download engine library ("asyn_download_interface.dll", shipped with
// the host downloader): loaded at run time, called from the worker thread
// only. Every call returns -1 without entering the library when its entry is
// missing or when a pointer it needs is null; otherwise the engine's own
// result, where 0 means success.

#include <windows.h>

#include <string>

namespace qm::win32::net {

class engine_binding {
  public:
    // Entries in lookup order; a load stops at the first missing one.
    enum entry : int {
        e_init,
        e_uninit,
        e_parse_url,
        e_is_support_schema,
        e_create_new_task,
        e_create_predownload_task,
        e_create_continued_task,
        e_is_tempfile_exist,
        e_delete_tempfile,
        e_start_predownload_task,
        e_query_p2sp_task_info,
        e_query_p2sp_task_info_ex,
        e_submit_get_dspider_ctrl_flag_opt,
        e_query_get_failure_detail_result,
        e_notify_hub_deleted,
        e_set_file_name,
        e_set_beyond_global_speed_limit,
        e_start_task,
        e_stop_task,
        e_delete_task,
        e_start_process_thread,
        e_submit_get_count_of_resource,
        e_query_get_count_of_resource,
        e_add_resources,
        e_discard_resources,
        e_get_tp_process_id,
        e_set_speed_limit,
        e_cancel_speed_limit,
        e_set_speed_limit_mode,
        e_set_task_type,
        entry_count
    };
    static const char* const entry_names[entry_count];

    // How long unload(1) waits for the engine's process to end.
    static constexpr DWORD engine_exit_wait_ms = 30000;

    // Size of the block query_p2sp_task_info fills.
    static constexpr int task_info_size = 1096;

    engine_binding() = default;
    ~engine_binding() = default;
    engine_binding(const engine_binding&) = delete;
    engine_binding& operator=(const engine_binding&) = delete;

    // Where the engine lives: the host's "Program\" folder, or the program's
    // own folder when no host is installed (never the current directory).
    static std::wstring default_path();

    int load(const std::wstring& path);
    int is_loaded() const { return module_ != nullptr; }
    // wait 1: also wait until the engine's own process has ended, so that its
    // files can be replaced.
    int unload(int wait);
    bool has_entry(entry e) const { return entries_[e] != nullptr; }
    const std::wstring& path() const { return path_; }

    int init(int value);
    int uninit();
    int create_new_task(const std::string& url, const std::string& folder, int* task_id);
    int create_predownload_task(const std::string& url, int* task_id);
    int create_continued_task(const std::string& url, const std::string& folder,
                              const std::string& file_name, int* task_id);
    int start_predownload_task(int task_id);
    int query_p2sp_task_info(int task_id, void* block);
    int start_task(int task_id);
    int stop_task(int task_id);
    int start_process_thread();
    int submit_get_count_of_resource(int task_id, int* query_handle);
    int query_get_count_of_resource(int query_handle, int* count, void* buffer, int* status);
    int add_resources(int task_id);
    int get_tp_process_id();
    int set_speed_limit_mode(int mode);
    int set_task_type(int task_id);

  private:
    template <typename F>
    F get(entry e) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(entries_[e]));
    }
    void clear();

    FARPROC entries_[entry_count] = {};
    std::wstring path_;
    HMODULE module_ = nullptr;
    bool process_thread_started_ = false;
};

}  // namespace qm::win32::net
