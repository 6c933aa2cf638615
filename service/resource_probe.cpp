#include "service/resource_probe.h"

#include <algorithm>

#include "service/dl_api.h"
#include "service/engine_binding.h"

namespace qm::win32::net {

void resource_probe_list::add(int task_id, int engine_task_id, DWORD now) {
    if (!enabled_) {
        return;
    }
    const bool known =
        std::any_of(probes_.begin(), probes_.end(),
                    [task_id](const resource_probe& p) { return p.task_id == task_id; });
    if (known) {
        return;
    }
    resource_probe probe;
    probe.task_id = task_id;
    probe.engine_task_id = engine_task_id;
    probe.older = now;
    probe.newer = 0;
    probes_.push_back(probe);
}

void resource_probe_list::step(engine_binding& engine, DWORD now) {
    while (!probes_.empty() && probes_.front().step == resource_probe::done) {
        probes_.erase(probes_.begin());
    }
    if (probes_.empty()) {
        return;
    }
    resource_probe& probe = probes_.front();
    if (now - probe.older < resource_probe::gate_ms) {
        return;
    }
    probe.older = probe.newer;
    probe.newer = now;

    const int state = state_of_(probe.task_id);
    if (state != dl_state_starting && state != dl_state_running && state != dl_state_stopping) {
        probes_.erase(probes_.begin());
        return;
    }
    if (probe.step == resource_probe::submit) {
        if (engine.submit_get_count_of_resource(probe.engine_task_id, &probe.query_handle) == 0) {
            probe.step = resource_probe::query;
        }
    } else if (probe.step == resource_probe::query) {
        int count = 4;
        unsigned char buffer[32] = {};
        int status = 0;
        if (engine.query_get_count_of_resource(probe.query_handle, &count, buffer, &status) != 0) {
            return;
        }
        if (status != 2) {
            probe.step = resource_probe::submit;
            return;
        }
        probe.step = resource_probe::add;
    }
    if (probe.step == resource_probe::add) {
        if (engine.add_resources(probe.engine_task_id) == 0) {
            probe.step = resource_probe::done;
        }
    }
}

}  // namespace qm::win32::net
