#pragma once
// One file being downloaded through the engine, and the list that owns every
// task. Fields are guarded by the task's own lock; the list by its own. The
// order is always list lock first, then one task lock. Neither lock is ever
// held across a call into the engine or a file write: the user-interface
// thread reads tasks while the worker waits on a slow engine.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/critical_section.h"
#include "service/dl_api.h"

namespace qm::win32::net {

class engine_binding;

extern const wchar_t environment_task_sign[];  // "Prepare_Environment_Task_sign"

// Speed and elapsed-time measurement, gated to one measurement per ~second.
struct task_meter {
    static constexpr DWORD gate_ms = 2000;

    void start(DWORD now);
    // Passes at least gate_ms after the older tick, and shifts the ticks.
    bool pass(DWORD now);
    // After a passing gate: the speed over the interval since the previous
    // passing poll; returns the interval for the elapsed time.
    DWORD measure(DWORD now, std::uint64_t received);

    std::uint64_t last_received = 0;
    std::uint32_t speed = 0;
    DWORD older = 0;
    DWORD newer = 0;
};

// What a poll tells the worker.
class task_notifier {
  public:
    virtual ~task_notifier() = default;
    virtual void task_state_changed(int task_id, int previous_state) = 0;
    virtual void task_progress(int task_id) = 0;
    // The environment task finished; installer is its folder + file name.
    virtual void environment_task_complete(const std::wstring& installer) = 0;
    // The environment task failed: preparation cannot end any other way.
    virtual void environment_task_failed() = 0;
};

// An id not in taken for the task at this 1-based position in the list.
int free_task_id(const std::set<int>& taken, std::size_t ordinal);

class download_task {
  public:
    download_task() = default;
    virtual ~download_task() = default;
    download_task(const download_task&) = delete;
    download_task& operator=(const download_task&) = delete;

    // The calls below run on the worker thread, the only one that changes a
    // task once it is listed; they take the task's lock for their own reads
    // and writes and release it around every engine call.
    int start(engine_binding& engine, DWORD now);
    int start_predownload(engine_binding& engine, DWORD now);
    int stop(engine_binding& engine);
    void poll(engine_binding& engine, task_notifier& notifier, DWORD now);
    virtual int ensure_engine_task(engine_binding& engine);
    // Expects the task's lock to be held.
    void info(dl_task_info& out) const;
    bool is_environment_task() const;
    std::wstring file_path() const { return folder + file_name; }

    qm::win32::multithread::critical_section lock;

    std::uint64_t total_size = 0;
    std::uint64_t downloaded_size = 0;
    std::uint64_t elapsed_ms = 1;
    int task_id = 0;
    int engine_task_id = -1;
    int state = dl_state_stopped;
    bool engine_task_created = false;
    std::wstring url;
    std::wstring folder;  // ends with a backslash
    std::wstring file_name;
    std::wstring sign;
    task_meter meter;
};

// Every task of the service, in creation order; tasks are never removed.
class task_list {
  public:
    qm::win32::multithread::critical_section lock;
    std::vector<std::unique_ptr<download_task>> tasks;

    // Kept with the tasks in the task store; touched on the worker thread at
    // load time and by the facade before preparation.
    qm::win32::multithread::critical_section package_lock;
    std::wstring host_package_url;
    std::wstring required_host_version;

    // The calls below take the list lock themselves.
    // -1 for an empty URL; an existing task with an equal URL gives its id.
    int create(const wchar_t* url, const wchar_t* folder, const wchar_t* sign, bool* created);
    int find_by_url(const std::wstring& url);
    // The task with this id, or null; lock it before reading.
    download_task* find_by_id(int task_id);
    // state of the task, or 0 when unknown.
    int state_of(int task_id);
    void append(std::unique_ptr<download_task> task);
    // The tasks listed now; they stay valid, tasks are never removed.
    std::vector<download_task*> snapshot();
    std::size_t size();
};

}  // namespace qm::win32::net
