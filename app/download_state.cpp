#include "app/download_state.h"

#include "service/dl_api.h"

namespace {

// At least one task in state, and no task outside the allowed states still
// on its way (its temporary file exists).
bool TasksSettledIn(const std::vector<TaskSnapshot>& tasks, int state) {
    bool any = false;
    for (const TaskSnapshot& task : tasks) {
        if (task.state == state) {
            any = true;
        } else if (task.state != dl_state_complete && task.state != dl_state_failed &&
                   task.has_temporary_file) {
            return false;
        }
    }
    return any;
}

}  // namespace

bool TasksRunning(const std::vector<TaskSnapshot>& tasks) {
    return TasksSettledIn(tasks, dl_state_running);
}

bool TasksPaused(const std::vector<TaskSnapshot>& tasks) {
    return TasksSettledIn(tasks, dl_state_stopped);
}

bool TasksInMotion(const std::vector<TaskSnapshot>& tasks) {
    for (const TaskSnapshot& task : tasks) {
        if (task.state >= dl_state_predownloading && task.state <= dl_state_stopping) {
            return true;
        }
    }
    return false;
}

bool TasksComplete(const std::vector<TaskSnapshot>& tasks) {
    for (const TaskSnapshot& task : tasks) {
        if (task.state != dl_state_complete) {
            return false;
        }
    }
    return true;
}

EarlierRun DecideEarlierRun(const std::vector<EarlierTask>& tasks, bool handed_to_host) {
    bool all_complete = true;
    bool all_files = true;
    bool any_file = false;
    for (const EarlierTask& task : tasks) {
        all_complete = all_complete && task.state == dl_state_complete;
        all_files = all_files && task.file_exists;
        any_file = any_file || task.file_exists || task.temporary_exists;
    }
    if (all_complete) {
        return all_files ? EarlierRun::complete : EarlierRun::fresh_start;
    }
    if (all_files && handed_to_host) {
        return EarlierRun::complete;
    }
    if (!any_file) {
        return EarlierRun::fresh_start;
    }
    return EarlierRun::paused;
}
