#pragma once
// The decisions the download controller takes from the game tasks' states
// and files: whether they run, are paused or are complete, and what an
// earlier run left behind. No system calls: built in both trees.

#include <vector>

// The task states the game tasks are in, against the temporary files that
// show a task still on its way: the running and paused tests of the state
// events.
struct TaskSnapshot {
    int state = 0;
    bool has_temporary_file = false;
};
bool TasksRunning(const std::vector<TaskSnapshot>& tasks);
bool TasksPaused(const std::vector<TaskSnapshot>& tasks);
bool TasksComplete(const std::vector<TaskSnapshot>& tasks);
// Some task is still in the engine's hands (starting, running or stopping),
// whether or not its temporary file exists yet.
bool TasksInMotion(const std::vector<TaskSnapshot>& tasks);

// What an earlier run left behind, from its tasks' states and files.
enum class EarlierRun { complete, fresh_start, paused };
struct EarlierTask {
    int state = 0;
    bool file_exists = false;
    bool temporary_exists = false;
};
EarlierRun DecideEarlierRun(const std::vector<EarlierTask>& tasks, bool handed_to_host);
