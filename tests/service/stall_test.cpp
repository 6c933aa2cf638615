// The dl_ facade with an installed old host whose engine is the test engine:
// preparation always reports, a slow engine never holds up the caller, and
// shutdown is bounded and starts nothing new. The service is a process-wide
// singleton started once, so the cases run in order and build on each other.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/file_utils.h"
#include "host/host_paths.h"
#include "service/dl_api.h"
#include "tests/host/test_folder.h"
#include "tests/net/net_test_support.h"
#include "tests/service/service_test_support.h"

namespace {

struct sink : download_service_events {
    void on_game_info(int ok, const wchar_t*) override { game_info.push_back(ok); }
    void on_environment_ready(int ok) override { environment.push_back(ok); }
    void on_task_progress(int) override {}
    void on_task_state(int) override {}
    void on_host_running(int*) override {}
    std::vector<int> game_info;
    std::vector<int> environment;
};

sink g_sink;
std::unique_ptr<FakeHostKey> g_host;
std::wstring g_host_folder;
std::wstring g_engine;
std::atomic<int> g_callbacks{0};

fake_engine_state* engine() {
    return service_test::engine_state(g_engine);
}

void on_file(int, const std::wstring&, void*) {
    ++g_callbacks;
}

DWORD elapsed_since(DWORD begun) {
    return GetTickCount() - begun;
}

}  // namespace

TEST(stall_test, an_old_host_is_set_up_with_the_test_engine) {
    DeleteFileW((program_directory() + L"db.ini").c_str());
    DeleteFileW((program_directory() + L"tessaly.ini").c_str());
    // A publisher's configuration: no request is made for it.
    service_test::write_file(program_directory() + L"GameInfo.xml", "<c/>");
    g_host_folder = service_test::scratch_folder(L"stall-host");
    ASSERT_TRUE(create_folder_tree(g_host_folder + L"Program\\"));
    g_engine = g_host_folder + L"Program\\asyn_download_interface.dll";
    ASSERT_TRUE(
        CopyFileW(service_test::beside_exe(L"fake_engine.dll").c_str(), g_engine.c_str(), FALSE));
    g_host = std::make_unique<FakeHostKey>();
    ASSERT_TRUE(g_host->set(L"Path", g_host_folder + L"Program\\Torvane.exe"));
    ASSERT_TRUE(g_host->set(L"Version", L"7.0.0.0"));
    ASSERT_TRUE(g_host->set(L"instdir", g_host_folder));

    // Pinned, so that its counters can still be read once the service let
    // it go.
    ASSERT_NE(LoadLibraryW(g_engine.c_str()), nullptr);

    ASSERT_EQ(dl_set_event_sink(&g_sink), 1);
    ASSERT_EQ(dl_init(L"http://127.0.0.1:1/Configuration/1001.xml"), 1);
    ASSERT_TRUE(net_test::pump_until([] { return !g_sink.game_info.empty(); }));
    EXPECT_EQ(g_sink.game_info[0], 1);
}

TEST(stall_test, a_newer_host_without_an_installer_url_ends_preparation_failed) {
    ASSERT_EQ(dl_set_host_package(L"", L"9.0.0.0"), 1);
    ASSERT_EQ(dl_start_all_tasks(), 1);  // prepares instead, without the flag
    ASSERT_TRUE(net_test::pump_until([] { return g_sink.environment.size() == 1; }, 10000));
    EXPECT_EQ(g_sink.environment[0], 0);
    net_test::pump_for(300);
    EXPECT_EQ(g_sink.environment.size(), 1u);
}

TEST(stall_test, an_environment_task_the_engine_refuses_ends_preparation_failed_once) {
    ASSERT_NE(engine(), nullptr);
    engine()->create_result = 5;
    ASSERT_EQ(dl_set_host_package(L"http://127.0.0.1:1/TorvaneSetup.exe", L"9.0.0.0"), 1);
    ASSERT_EQ(dl_start_all_tasks(), 1);
    ASSERT_TRUE(net_test::pump_until([] { return g_sink.environment.size() == 2; }, 10000));
    EXPECT_EQ(g_sink.environment[1], 0);
    // The polls that follow report nothing more.
    net_test::pump_for(2500);
    EXPECT_EQ(g_sink.environment.size(), 2u);
    engine()->create_result = 0;

    ASSERT_EQ(dl_set_host_package(L"", L"1.0.0.0"), 1);
    ASSERT_EQ(dl_prepare_environment(), 1);
    ASSERT_TRUE(net_test::pump_until([] { return g_sink.environment.size() == 3; }, 10000));
    EXPECT_EQ(g_sink.environment[2], 1);
}

TEST(stall_test, a_slow_engine_never_holds_up_the_callers_and_shutdown_is_bounded) {
    const std::wstring folder = service_test::scratch_folder(L"stall");
    const int a = dl_create_task(L"http://127.0.0.1:1/a.bin", folder.c_str(), nullptr, 0);
    ASSERT_NE(a, -1);
    ASSERT_NE(dl_create_task(L"http://127.0.0.1:1/b.bin", folder.c_str(), nullptr, 0), -1);
    fake_engine_state* state = engine();
    ASSERT_NE(state, nullptr);
    state->call_delay_ms = 3000;
    const int creates_before = state->create_new_calls;
    ASSERT_EQ(dl_start_all_tasks(), 1);
    // Until the worker is inside the engine.
    ASSERT_TRUE(
        net_test::pump_until([&] { return state->create_new_calls > creates_before; }, 10000));
    net_test::pump_for(200);

    DWORD slowest = 0;
    for (int i = 0; i < 10; ++i) {
        DWORD begun = GetTickCount();
        dl_task_info info = {};
        EXPECT_EQ(dl_get_task_info(a, &info), 1);
        slowest = std::max(slowest, elapsed_since(begun));
        begun = GetTickCount();
        EXPECT_NE(dl_find_task(L"http://127.0.0.1:1/b.bin"), -1);
        slowest = std::max(slowest, elapsed_since(begun));
        begun = GetTickCount();
        EXPECT_NE(dl_create_task((L"http://127.0.0.1:1/c" + std::to_wstring(i)).c_str(),
                                 folder.c_str(), nullptr, 0),
                  -1);
        slowest = std::max(slowest, elapsed_since(begun));
        Sleep(100);
    }
    EXPECT_LT(slowest, 50u);
    std::printf("slowest facade call with the engine busy: %lu ms\n",
                static_cast<unsigned long>(slowest));

    // Work queued behind the stuck worker, then the user quits.
    int requests = 0;
    net_test::loopback_server server([&requests](SOCKET, int) { ++requests; });
    const std::string url = server.url("/tips.xml");
    ASSERT_EQ(dl_download_file(std::wstring(url.begin(), url.end()).c_str(),
                               (folder + L"tips.xml").c_str(), on_file, nullptr),
              1);
    const std::string beacon = server.url("/UPV?gs=late");
    ASSERT_EQ(dl_send_report(std::wstring(beacon.begin(), beacon.end()).c_str()), 1);
    ASSERT_EQ(dl_stop_all_tasks(), 1);

    const DWORD begun = GetTickCount();
    EXPECT_EQ(dl_uninit(), 1);
    const DWORD spent = elapsed_since(begun);
    std::printf("dl_uninit with the worker stuck: %lu ms\n", static_cast<unsigned long>(spent));
    // The bound is 5 s.
    EXPECT_LE(spent, 5500u);
    const int starts = state->start_calls;
    const int creates = state->create_new_calls;

    // The worker finishes the engine call it was in and then only shuts
    // down: no task start, no download, no report, no callback.
    net_test::pump_for(8000);
    EXPECT_EQ(state->start_calls, starts);
    EXPECT_EQ(state->create_new_calls, creates);
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(g_callbacks.load(), 0);
    EXPECT_EQ(dl_uninit(), 1);
}

TEST(stall_test, clean_up) {
    DeleteFileW((program_directory() + L"GameInfo.xml").c_str());
    g_host.reset();
}
