#pragma once
// Shared state of the test engine library: the tests read what was called and
// set what the next calls answer.

#include <cstdint>

struct fake_engine_task {
    int used;
    int engine_state;
    std::uint64_t total;
    std::uint64_t received;
    std::uint64_t downloaded;
    std::uint32_t name_length;  // may exceed the name, to test the reader
    char name[64];
    char url[256];
    char folder[256];
    int continued;
};

struct fake_engine_state {
    int init_calls;
    int uninit_calls;
    int start_process_thread_calls;
    int create_new_calls;
    int create_continued_calls;
    int create_predownload_calls;
    int start_calls;
    int stop_calls;
    int query_calls;
    int set_task_type_calls;
    int submit_count_calls;
    int query_count_calls;
    int add_resources_calls;
    int speed_mode_calls;
    int last_speed_mode;
    // Answers.
    int uninit_result;
    int tp_process_id;  // -1: none
    int create_result;
    int start_result;
    int query_count_status;  // status written by query_get_count_of_resource
    int next_task;
    fake_engine_task tasks[16];
    // Every create, start, stop, query and uninit sleeps this long first: an
    // engine busy resolving names or connecting.
    int call_delay_ms;
    // uninit ends the process tp_process_id names, as the real engine lets
    // its own process go.
    int uninit_ends_process;
};

using fake_engine_state_fn = fake_engine_state* (*)();
