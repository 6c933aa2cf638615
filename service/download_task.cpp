#include "service/download_task.h"

#include <cwchar>
#include <set>

#include "host/host_paths.h"
#include "host/strings.h"
#include "service/engine_binding.h"
#include "service/task_block.h"

namespace qm::win32::net {

using qm::win32::multithread::scoped_lock;

const wchar_t environment_task_sign[] = L"Prepare_Environment_Task_sign";

void task_meter::start(DWORD now) {
    // Both ticks start here, so that the first interval spans this run only
    // and not the pause before it.
    older = now;
    newer = now;
}

bool task_meter::pass(DWORD now) {
    if (now - older < gate_ms) {
        return false;
    }
    older = newer;
    newer = now;
    return true;
}

DWORD task_meter::measure(DWORD now, std::uint64_t received) {
    const DWORD interval = now - older;
    if (interval != 0) {
        // An engine that restarted its counter gives no speed for this one
        // interval instead of a wrapped-around figure.
        if (received >= last_received) {
            speed = static_cast<std::uint32_t>((received - last_received) * 1000 / interval);
        } else {
            speed = 0;
        }
    }
    last_received = received;
    return interval;
}

int download_task::ensure_engine_task(engine_binding& engine) {
    if (engine_task_created) {
        return 1;
    }
    engine_task_id = -1;
    const std::string ansi_url = utf16_to_ansi(url);
    const std::string ansi_folder = utf16_to_ansi(folder);
    int result = -1;
    if (!file_name.empty() &&
        GetFileAttributesW((folder + file_name + L".td").c_str()) != INVALID_FILE_ATTRIBUTES) {
        result = engine.create_continued_task(ansi_url, ansi_folder, utf16_to_ansi(file_name),
                                              &engine_task_id);
    } else {
        result = engine.create_new_task(ansi_url, ansi_folder, &engine_task_id);
    }
    if (result != 0) {
        return 0;
    }
    engine.set_task_type(engine_task_id);
    engine_task_created = true;
    return 1;
}

int download_task::start(engine_binding& engine, DWORD now) {
    {
        scoped_lock hold(lock);
        if (state == dl_state_starting || state == dl_state_running) {
            return 1;
        }
        if (state == dl_state_complete) {
            return 0;
        }
        state = dl_state_starting;
    }
    if (!ensure_engine_task(engine) || engine.start_task(engine_task_id) != 0) {
        return 0;
    }
    scoped_lock hold(lock);
    meter.start(now);
    return 1;
}

int download_task::start_predownload(engine_binding& engine, DWORD now) {
    {
        scoped_lock hold(lock);
        state = dl_state_predownloading;
    }
    if (engine.create_predownload_task(utf16_to_ansi(url), &engine_task_id) != 0 ||
        engine.start_predownload_task(engine_task_id) != 0) {
        return 0;
    }
    scoped_lock hold(lock);
    meter.start(now);
    return 1;
}

int download_task::stop(engine_binding& engine) {
    {
        scoped_lock hold(lock);
        if (state != dl_state_predownloading && state != dl_state_starting &&
            state != dl_state_running) {
            return 0;
        }
        state = dl_state_stopping;
    }
    return engine.stop_task(engine_task_id) == 0 ? 1 : 0;
}

void download_task::poll(engine_binding& engine, task_notifier& notifier, DWORD now) {
    if (!engine.is_loaded()) {
        return;
    }
    {
        scoped_lock hold(lock);
        if (state < dl_state_predownloading || state > dl_state_stopping) {
            return;
        }
        if (!meter.pass(now)) {
            return;
        }
    }
    // The engine may take its time: readers of this task wait only for the
    // copy below, never for the query.
    unsigned char block[task_block_size] = {};
    if (engine.query_p2sp_task_info(engine_task_id, block) != 0) {
        return;
    }
    const engine_task_report report = read_task_block(block);
    int previous = 0;
    int now_state = 0;
    std::wstring installer;
    {
        scoped_lock hold(lock);
        elapsed_ms += meter.measure(now, report.received);
        total_size = report.total_size;
        downloaded_size = report.downloaded_size;
        if (!report.file_name.empty()) {
            file_name = ansi_to_utf16(report.file_name);
        }

        previous = state;
        if (report.engine_state == engine_stopped && state == dl_state_stopping) {
            state = dl_state_stopped;
        } else if (report.engine_state == engine_finished) {
            state = dl_state_complete;
            downloaded_size = total_size;
        } else if (report.engine_state == engine_failed) {
            state = dl_state_failed;
        }
        if (state == dl_state_starting && report.engine_state == engine_running) {
            state = dl_state_running;
        }
        now_state = state;
        installer = folder + file_name;
    }

    if (is_environment_task()) {
        if (now_state == dl_state_complete && previous != dl_state_complete) {
            notifier.environment_task_complete(installer);
        } else if (now_state == dl_state_failed && previous != dl_state_failed) {
            notifier.environment_task_failed();
        }
        return;
    }
    if (now_state != previous) {
        notifier.task_state_changed(task_id, previous);
    }
    if (report.received != 0) {
        notifier.task_progress(task_id);
    }
}

void download_task::info(dl_task_info& out) const {
    out.total_size = total_size;
    out.downloaded_size = downloaded_size;
    out.reserved1 = 0;
    out.elapsed_ms = elapsed_ms;
    out.state = state;
    out.speed = meter.speed;
    out.reserved2 = 0;
}

bool download_task::is_environment_task() const {
    return _wcsicmp(sign.c_str(), environment_task_sign) == 0;
}

int free_task_id(const std::set<int>& taken, std::size_t ordinal) {
    // The usual id comes from the position; one already taken (by a task the
    // store brought back, say) moves on to the next free one, first within
    // 256..511 and then above.
    const int first = 256 + static_cast<int>(ordinal % 256);
    for (int step = 0; step < 256; ++step) {
        const int id = 256 + (first - 256 + step) % 256;
        if (!taken.count(id)) {
            return id;
        }
    }
    int id = 512;
    while (taken.count(id)) {
        ++id;
    }
    return id;
}

int task_list::create(const wchar_t* url, const wchar_t* folder, const wchar_t* sign,
                      bool* created) {
    if (created) {
        *created = false;
    }
    if (!url || !*url) {
        return -1;
    }
    std::wstring where;
    if (folder && *folder) {
        where = folder;
    } else {
        temporary_folder(where);
    }
    if (where.empty() || where.back() != L'\\') {
        where += L'\\';
    }
    scoped_lock hold(lock);
    std::set<int> taken;
    for (auto& task : tasks) {
        scoped_lock hold_task(task->lock);
        if (task->url == url) {
            return task->task_id;
        }
        taken.insert(task->task_id);
    }
    auto task = std::make_unique<download_task>();
    task->url = url;
    task->folder = where;
    task->task_id = free_task_id(taken, tasks.size() + 1);
    if (sign) {
        task->sign = sign;
    }
    task->state = dl_state_stopped;
    const int id = task->task_id;
    tasks.push_back(std::move(task));
    if (created) {
        *created = true;
    }
    return id;
}

int task_list::find_by_url(const std::wstring& url) {
    scoped_lock hold(lock);
    for (auto& task : tasks) {
        scoped_lock hold_task(task->lock);
        if (task->url == url) {
            return task->task_id;
        }
    }
    return -1;
}

download_task* task_list::find_by_id(int task_id) {
    scoped_lock hold(lock);
    for (auto& task : tasks) {
        scoped_lock hold_task(task->lock);
        if (task->task_id == task_id) {
            return task.get();
        }
    }
    return nullptr;
}

int task_list::state_of(int task_id) {
    download_task* task = find_by_id(task_id);
    if (!task) {
        return 0;
    }
    scoped_lock hold(task->lock);
    return task->state;
}

void task_list::append(std::unique_ptr<download_task> task) {
    scoped_lock hold(lock);
    tasks.push_back(std::move(task));
}

std::vector<download_task*> task_list::snapshot() {
    scoped_lock hold(lock);
    std::vector<download_task*> out;
    out.reserve(tasks.size());
    for (auto& task : tasks) {
        out.push_back(task.get());
    }
    return out;
}

std::size_t task_list::size() {
    scoped_lock hold(lock);
    return tasks.size();
}

}  // namespace qm::win32::net
