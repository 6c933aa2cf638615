// The engine binding and the download task against the test engine library.
#include <gtest/gtest.h>

#include <cstring>

#include "host/strings.h"

#include "service/download_task.h"
#include "service/engine_binding.h"
#include "service/resource_probe.h"
#include "tests/service/service_test_support.h"

using namespace qm::win32::net;
using namespace service_test;

namespace {

class engine_fixture : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = beside_exe(L"fake_engine.dll");
        ASSERT_EQ(engine_.load(path_), 1);
        state_ = engine_state(path_);
        ASSERT_NE(state_, nullptr);
    }
    void TearDown() override { engine_.unload(0); }

    std::wstring path_;
    engine_binding engine_;
    fake_engine_state* state_ = nullptr;
};

struct recorder : task_notifier {
    void task_state_changed(int id, int previous) override { states.push_back({id, previous}); }
    void task_progress(int id) override { progress.push_back(id); }
    void environment_task_complete(const std::wstring& installer) override {
        installers.push_back(installer);
    }
    void environment_task_failed() override { ++environment_failures; }
    int environment_failures = 0;
    std::vector<std::pair<int, int>> states;
    std::vector<int> progress;
    std::vector<std::wstring> installers;
};

}  // namespace

TEST(engine_binding_test, missing_library_leaves_everything_empty) {
    engine_binding engine;
    EXPECT_EQ(engine.load(beside_exe(L"no_such_engine.dll")), 0);
    EXPECT_EQ(engine.is_loaded(), 0);
    int id = 0;
    EXPECT_EQ(engine.create_new_task("http://x/a", "C:\\", &id), -1);
    EXPECT_EQ(engine.start_task(1), -1);
    EXPECT_EQ(engine.unload(0), 0);
}

TEST(engine_binding_test, loads_once_and_restores_the_current_directory) {
    wchar_t before[1024];
    GetCurrentDirectoryW(1024, before);
    engine_binding engine;
    const std::wstring path = beside_exe(L"fake_engine.dll");
    ASSERT_EQ(engine.load(path), 1);
    wchar_t after[1024];
    GetCurrentDirectoryW(1024, after);
    EXPECT_STREQ(before, after);
    fake_engine_state* state = engine_state(path);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->init_calls, 1);
    EXPECT_EQ(state->start_process_thread_calls, 1);
    // A second load while loaded touches nothing.
    EXPECT_EQ(engine.load(path), 1);
    EXPECT_EQ(state->init_calls, 1);
    EXPECT_EQ(state->start_process_thread_calls, 1);
    EXPECT_EQ(engine.unload(0), 1);
    EXPECT_EQ(engine.is_loaded(), 0);
    EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr);
}

TEST(engine_binding_test, a_missing_entry_keeps_the_library_loaded_with_the_entries_found) {
    engine_binding engine;
    const std::wstring path = beside_exe(L"fake_engine_partial.dll");
    EXPECT_EQ(engine.load(path), 0);
    EXPECT_EQ(engine.is_loaded(), 1);
    EXPECT_TRUE(engine.has_entry(engine_binding::e_set_speed_limit_mode));
    EXPECT_FALSE(engine.has_entry(engine_binding::e_set_task_type));
    fake_engine_state* state = engine_state(path);
    ASSERT_NE(state, nullptr);
    // Stopped before init and start_process_thread.
    EXPECT_EQ(state->init_calls, 0);
    EXPECT_EQ(engine.set_task_type(1), -1);
    EXPECT_EQ(engine.set_speed_limit_mode(2), 0);
    EXPECT_EQ(engine.load(path), 1);  // counts as loaded
    EXPECT_EQ(engine.unload(0), 1);
}

TEST_F(engine_fixture, null_pointers_never_reach_the_library) {
    EXPECT_EQ(engine_.query_p2sp_task_info(0, nullptr), -1);
    EXPECT_EQ(state_->query_calls, 0);
    EXPECT_EQ(engine_.create_new_task("u", "f", nullptr), -1);
    EXPECT_EQ(engine_.create_continued_task("u", "f", "n", nullptr), -1);
    EXPECT_EQ(engine_.create_predownload_task("u", nullptr), -1);
    EXPECT_EQ(state_->create_new_calls + state_->create_continued_calls +
                  state_->create_predownload_calls,
              0);
    EXPECT_EQ(engine_.submit_get_count_of_resource(0, nullptr), -1);
    int count = 4;
    int status = 0;
    char buffer[32] = {};
    EXPECT_EQ(engine_.query_get_count_of_resource(0, nullptr, buffer, &status), -1);
    EXPECT_EQ(engine_.query_get_count_of_resource(0, &count, nullptr, &status), -1);
    EXPECT_EQ(engine_.query_get_count_of_resource(0, &count, buffer, nullptr), -1);
    EXPECT_EQ(state_->query_count_calls, 0);
}

TEST_F(engine_fixture, unload_calls_uninit_only_when_the_engine_has_a_process) {
    // No process: freed without uninit.
    state_->tp_process_id = -1;
    EXPECT_EQ(engine_.unload(0), 1);
    ASSERT_EQ(engine_.load(path_), 1);
    state_ = engine_state(path_);
    state_->tp_process_id = static_cast<int>(GetCurrentProcessId());
    state_->uninit_result = 5;
    // A refused uninit keeps the library loaded.
    EXPECT_EQ(engine_.unload(0), 0);
    EXPECT_EQ(engine_.is_loaded(), 1);
    EXPECT_EQ(state_->uninit_calls, 1);
    state_->uninit_result = 0;
    EXPECT_EQ(engine_.unload(0), 1);
    ASSERT_EQ(engine_.load(path_), 1);
    state_ = engine_state(path_);
}

TEST_F(engine_fixture, unload_with_a_wait_survives_an_engine_process_that_is_gone) {
    std::wstring command = L"\"" + beside_exe(L"service_test_child.exe") + L"\" sleep";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &child));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    // The engine's process ends inside uninit and nothing else holds it.
    state_->tp_process_id = static_cast<int>(child.dwProcessId);
    state_->uninit_ends_process = 1;
    DWORD begun = GetTickCount();
    EXPECT_EQ(engine_.unload(1), 1);
    EXPECT_LT(GetTickCount() - begun, 10000u);
    EXPECT_EQ(engine_.is_loaded(), 0);
    ASSERT_EQ(engine_.load(path_), 1);
    state_ = engine_state(path_);
    ASSERT_NE(state_, nullptr);

    // The id names no process at all any more when the wait would start.
    std::wstring installer = L"\"" + beside_exe(L"service_test_child.exe") + L"\" /S";
    ASSERT_TRUE(CreateProcessW(nullptr, &installer[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &child));
    CloseHandle(child.hThread);
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
    CloseHandle(child.hProcess);
    Sleep(200);
    state_->tp_process_id = static_cast<int>(child.dwProcessId);
    begun = GetTickCount();
    EXPECT_EQ(engine_.unload(1), 1);
    EXPECT_LT(GetTickCount() - begun, 10000u);
    EXPECT_EQ(engine_.is_loaded(), 0);
    EXPECT_EQ(GetModuleHandleW(path_.c_str()), nullptr);
    // The next load finds a fresh engine instead of reporting the dead one.
    ASSERT_EQ(engine_.load(path_), 1);
    state_ = engine_state(path_);
    ASSERT_NE(state_, nullptr);
    EXPECT_EQ(state_->init_calls, 1);
}

TEST_F(engine_fixture, start_creates_a_new_task_or_continues_from_the_temporary_file) {
    const std::wstring folder = scratch_folder(L"start");
    download_task fresh;
    fresh.url = L"http://127.0.0.1/a.bin";
    fresh.folder = folder;
    EXPECT_EQ(fresh.start(engine_, 1000), 1);
    EXPECT_EQ(fresh.state, dl_state_starting);
    EXPECT_EQ(state_->create_new_calls, 1);
    EXPECT_EQ(state_->set_task_type_calls, 1);
    EXPECT_STREQ(state_->tasks[fresh.engine_task_id].folder, utf16_to_ansi(folder).c_str());
    // Starting again while starting does nothing.
    EXPECT_EQ(fresh.start(engine_, 1000), 1);
    EXPECT_EQ(state_->start_calls, 1);

    download_task resumed;
    resumed.url = L"http://127.0.0.1/b.bin";
    resumed.folder = folder;
    resumed.file_name = L"b.bin";
    write_file(folder + L"b.bin.td", "partial");
    EXPECT_EQ(resumed.start(engine_, 1000), 1);
    EXPECT_EQ(state_->create_continued_calls, 1);
    EXPECT_STREQ(state_->tasks[resumed.engine_task_id].name, "b.bin");

    download_task complete;
    complete.url = L"http://127.0.0.1/c.bin";
    complete.state = dl_state_complete;
    EXPECT_EQ(complete.start(engine_, 1000), 0);

    // A refused creation leaves the task starting and counts as started.
    state_->create_result = 3;
    download_task refused;
    refused.url = L"http://127.0.0.1/d.bin";
    EXPECT_EQ(refused.start(engine_, 1000), 0);
    EXPECT_EQ(refused.state, dl_state_starting);
    EXPECT_EQ(refused.start(engine_, 1000), 1);
    state_->create_result = 0;
}

TEST_F(engine_fixture, poll_follows_the_engine_and_measures_speed) {
    recorder events;
    download_task task;
    task.task_id = 257;
    task.url = L"http://127.0.0.1/game.bin";
    task.folder = L"C:\\games\\";
    ASSERT_EQ(task.start(engine_, 10000), 1);
    fake_engine_task& t = state_->tasks[task.engine_task_id];
    t.total = 100000;
    t.received = 0;
    strcpy(t.name, "game.bin");
    t.name_length = 8;

    task.poll(engine_, events, 11000);  // gate closed
    EXPECT_EQ(state_->query_calls, 0);
    t.received = 4000;
    t.downloaded = 4000;
    task.poll(engine_, events, 12000);
    EXPECT_EQ(task.state, dl_state_running);
    EXPECT_EQ(task.file_name, L"game.bin");
    EXPECT_EQ(task.downloaded_size, 4000u);
    EXPECT_EQ(task.meter.speed, 2000u);  // 4000 bytes over 2000 ms
    ASSERT_EQ(events.states.size(), 1u);
    EXPECT_EQ(events.states[0], std::make_pair(257, static_cast<int>(dl_state_starting)));
    EXPECT_EQ(events.progress.size(), 1u);

    t.received = 9000;
    task.poll(engine_, events, 13000);
    EXPECT_EQ(task.meter.speed, 5000u);
    EXPECT_EQ(task.elapsed_ms, 1u + 2000u + 1000u);

    // The engine says stopped although nobody asked: the task stays running.
    t.engine_state = 10;
    task.poll(engine_, events, 14000);
    EXPECT_EQ(task.state, dl_state_running);

    // A counter that went backwards gives no wrapped-around speed.
    t.received = 10;
    task.poll(engine_, events, 15000);
    EXPECT_EQ(task.meter.speed, 0u);

    EXPECT_EQ(task.stop(engine_), 1);
    EXPECT_EQ(task.state, dl_state_stopping);
    task.poll(engine_, events, 16000);
    EXPECT_EQ(task.state, dl_state_stopped);
    // Stopped tasks are not polled.
    const int queries = state_->query_calls;
    task.poll(engine_, events, 17000);
    EXPECT_EQ(state_->query_calls, queries);
    EXPECT_EQ(task.stop(engine_), 0);

    ASSERT_EQ(task.start(engine_, 20000), 1);
    t.engine_state = 11;
    t.downloaded = 99999;
    task.poll(engine_, events, 22000);
    EXPECT_EQ(task.state, dl_state_complete);
    EXPECT_EQ(task.downloaded_size, 100000u);
}

TEST_F(engine_fixture, the_environment_task_raises_no_events_and_asks_for_its_installer) {
    recorder events;
    download_task task;
    task.task_id = 300;
    task.url = L"http://127.0.0.1/setup.exe";
    task.folder = L"C:\\temp\\";
    task.sign = L"PREPARE_environment_task_SIGN";
    ASSERT_EQ(task.start(engine_, 0), 1);
    fake_engine_task& t = state_->tasks[task.engine_task_id];
    t.received = 10;
    strcpy(t.name, "setup.exe");
    t.name_length = 9;
    task.poll(engine_, events, 2000);
    t.engine_state = 11;
    task.poll(engine_, events, 3000);
    EXPECT_TRUE(events.states.empty());
    EXPECT_TRUE(events.progress.empty());
    ASSERT_EQ(events.installers.size(), 1u);
    EXPECT_EQ(events.installers[0], L"C:\\temp\\setup.exe");
    EXPECT_EQ(events.environment_failures, 0);

    // A failed environment task is reported once, still without task events.
    download_task failing;
    failing.task_id = 301;
    failing.url = L"http://127.0.0.1/broken.exe";
    failing.sign = L"Prepare_Environment_Task_sign";
    ASSERT_EQ(failing.start(engine_, 0), 1);
    state_->tasks[failing.engine_task_id].engine_state = 12;
    failing.poll(engine_, events, 2000);
    failing.poll(engine_, events, 3000);
    EXPECT_EQ(failing.state, dl_state_failed);
    EXPECT_EQ(events.environment_failures, 1);
    EXPECT_TRUE(events.states.empty());
}

TEST_F(engine_fixture, an_oversized_name_length_is_cut_to_the_block) {
    recorder events;
    download_task task;
    task.url = L"http://127.0.0.1/n";
    ASSERT_EQ(task.start(engine_, 0), 1);
    fake_engine_task& t = state_->tasks[task.engine_task_id];
    strcpy(t.name, "short.bin");
    t.name_length = 0xFFFFFFF0u;
    task.poll(engine_, events, 2000);
    EXPECT_EQ(task.file_name, L"short.bin");
}

TEST(task_list_test, ids_repeat_urls_and_never_collide) {
    task_list list;
    bool created = false;
    EXPECT_EQ(list.create(nullptr, L"C:\\x", nullptr, &created), -1);
    EXPECT_EQ(list.create(L"", L"C:\\x", nullptr, &created), -1);
    EXPECT_EQ(list.create(L"http://h/1", L"C:\\x", nullptr, &created), 257);
    EXPECT_TRUE(created);
    EXPECT_EQ(list.create(L"http://h/1", L"D:\\y", nullptr, &created), 257);
    EXPECT_FALSE(created);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(list.find_by_url(L"HTTP://h/1"), -1);  // case-sensitive
    download_task* first = list.find_by_id(257);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->folder, L"C:\\x\\");
    EXPECT_EQ(first->state, dl_state_stopped);
    for (int i = 2; i <= 255; ++i) {
        list.create((L"http://h/" + std::to_wstring(i)).c_str(), L"C:\\", nullptr, nullptr);
    }
    EXPECT_EQ(list.create(L"http://h/256", L"C:\\", nullptr, nullptr), 256);
    // 256..511 are all taken: ids go on above instead of repeating.
    EXPECT_EQ(list.create(L"http://h/257", L"C:\\", nullptr, nullptr), 512);
    EXPECT_EQ(list.find_by_url(L"http://h/1"), 257);
    // No folder: the temporary-files folder.
    EXPECT_EQ(list.create(L"http://h/tmp", nullptr, nullptr, nullptr), 513);
    download_task* tmp = list.tasks.back().get();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    EXPECT_EQ(tmp->folder, temp);
}

TEST_F(engine_fixture, resource_probes_submit_query_and_add_once_per_task) {
    int state = dl_state_running;
    resource_probe_list probes([&state](int) { return state; });
    probes.add(257, 3, 1000);
    probes.add(257, 3, 1000);
    ASSERT_EQ(probes.probes().size(), 1u);
    probes.step(engine_, 1400);  // gate: 500 ms after adding
    EXPECT_EQ(state_->submit_count_calls, 0);
    probes.step(engine_, 1500);
    EXPECT_EQ(state_->submit_count_calls, 1);
    state_->query_count_status = 1;  // not ready: submit again
    probes.step(engine_, 1900);
    EXPECT_EQ(probes.probes()[0].step, resource_probe::submit);
    probes.step(engine_, 2300);
    state_->query_count_status = 2;
    probes.step(engine_, 2700);
    EXPECT_EQ(state_->add_resources_calls, 1);
    EXPECT_EQ(probes.probes()[0].step, resource_probe::done);
    probes.step(engine_, 3100);
    EXPECT_TRUE(probes.probes().empty());

    // A probe whose task no longer runs is dropped.
    probes.add(258, 4, 4000);
    state = dl_state_stopped;
    probes.step(engine_, 4600);
    EXPECT_TRUE(probes.probes().empty());
    probes.disable();
    probes.add(259, 5, 5000);
    EXPECT_TRUE(probes.probes().empty());
}
