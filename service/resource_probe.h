#pragma once
// Asks the engine once per started task for more download sources: submit a
// count query, wait for its answer, then add resources. One probe is worked
// at a time, in the order the tasks were started.

#include <windows.h>

#include <functional>
#include <vector>

namespace qm::win32::net {

class engine_binding;

struct resource_probe {
    enum step_kind : int { submit = 3, query = 4, add = 5, done = 6 };
    static constexpr DWORD gate_ms = 500;

    int task_id = 0;
    int engine_task_id = -1;
    int step = submit;
    int query_handle = 0;
    DWORD older = 0;
    DWORD newer = 0;
};

class resource_probe_list {
  public:
    // state_of gives a task's current state (0 when unknown).
    explicit resource_probe_list(std::function<int(int task_id)> state_of)
        : state_of_(std::move(state_of)) {}

    void add(int task_id, int engine_task_id, DWORD now);
    // One timer tick.
    void step(engine_binding& engine, DWORD now);
    void disable() { enabled_ = false; }
    bool enabled() const { return enabled_; }
    const std::vector<resource_probe>& probes() const { return probes_; }

  private:
    bool enabled_ = true;
    std::function<int(int)> state_of_;
    std::vector<resource_probe> probes_;
};

}  // namespace qm::win32::net
