// The dl_ facade through the real service and worker thread. The service is a
// process-wide singleton started once, so the cases run in order and build
// on each other.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_paths.h"
#include "service/dl_api.h"
#include "tests/net/net_test_support.h"
#include "tests/service/service_test_support.h"

using namespace service_test;

namespace {

struct sink : download_service_events {
    void on_game_info(int ok, const wchar_t* path) override {
        game_info.push_back(ok);
        game_info_path = path ? path : L"";
    }
    void on_environment_ready(int ok) override { environment.push_back(ok); }
    void on_task_progress(int) override {}
    void on_task_state(int) override {}
    void on_host_running(int*) override {}

    std::vector<int> game_info;
    std::wstring game_info_path;
    std::vector<int> environment;
};

sink g_sink;

struct download_log {
    std::vector<std::pair<int, std::wstring>> ends;
};

void on_file(int ok, const std::wstring& path, void* user_data) {
    static_cast<download_log*>(user_data)->ends.push_back({ok, path});
}

std::string read_all(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    std::string data;
    char buffer[4096];
    DWORD n = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &n, nullptr) &&
           n) {
        data.append(buffer, n);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return data;
}

}  // namespace

TEST(facade_test, before_init_everything_refuses_or_does_nothing) {
    DeleteFileW((program_directory() + L"db.ini").c_str());
    DeleteFileW((program_directory() + L"tessaly.ini").c_str());
    EXPECT_EQ(dl_uninit(), 1);
    EXPECT_EQ(dl_init(nullptr), 0);
    EXPECT_EQ(dl_init(L""), 0);
    EXPECT_EQ(dl_set_event_sink(nullptr), 0);
    EXPECT_EQ(dl_prepare_environment(), 0);
    EXPECT_EQ(dl_set_host_package(nullptr, L"7.0.0.0"), 0);
    EXPECT_EQ(dl_set_host_package(L"http://127.0.0.1/x.exe", nullptr), 0);
    EXPECT_EQ(dl_send_report(nullptr), 0);
    EXPECT_EQ(dl_download_file(nullptr, L"C:\\x", nullptr, nullptr), 0);
    EXPECT_EQ(dl_download_file(L"http://127.0.0.1/x", nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(dl_set_speed_limit_mode(4), 0);
    dl_task_info info;
    EXPECT_EQ(dl_get_task_info(999, &info), 0);
    std::wstring path;
    EXPECT_EQ(dl_get_task_path(999, path), 0);
    EXPECT_EQ(dl_find_task(nullptr), -1);
    std::string pid;
    EXPECT_EQ(dl_get_peer_id(pid), 1);
    EXPECT_EQ(pid, "FFFFFFFFFFFFFFFF");
}

TEST(facade_test, a_local_game_information_file_is_used_without_a_request) {
    int requests = 0;
    net_test::loopback_server server([&requests](SOCKET, int) { ++requests; });
    const std::wstring local = program_directory() + L"GameInfo.xml";
    write_file(local, "<c/>");
    ASSERT_EQ(dl_set_event_sink(&g_sink), 1);
    const std::string url = server.url("/Configuration/1001.xml");
    const std::wstring wide(url.begin(), url.end());
    ASSERT_EQ(dl_init(wide.c_str()), 1);
    EXPECT_EQ(dl_init(wide.c_str()), 1);
    sink other;
    EXPECT_EQ(dl_set_event_sink(&other), 0);
    ASSERT_TRUE(net_test::pump_until([] { return !g_sink.game_info.empty(); }));
    EXPECT_EQ(g_sink.game_info[0], 1);
    EXPECT_EQ(g_sink.game_info_path, local);
    net_test::pump_for(300);
    EXPECT_EQ(g_sink.game_info.size(), 1u);
    EXPECT_EQ(server.connections(), 0);
    DeleteFileW(local.c_str());
}

TEST(facade_test, tasks_are_created_once_per_url) {
    const std::wstring folder = scratch_folder(L"facade");
    const int first = dl_create_task(L"http://127.0.0.1/a.bin", folder.c_str(), nullptr, 0);
    EXPECT_EQ(first, 257);
    EXPECT_EQ(dl_create_task(L"http://127.0.0.1/a.bin", L"C:\\else\\", nullptr, 0), first);
    EXPECT_EQ(dl_create_task(L"http://127.0.0.1/b.bin", folder.c_str(), nullptr, 0), 258);
    EXPECT_EQ(dl_create_task(nullptr, folder.c_str(), nullptr, 0), -1);
    EXPECT_EQ(dl_find_task(L"http://127.0.0.1/b.bin"), 258);
    EXPECT_EQ(dl_find_task(L"http://127.0.0.1/B.bin"), -1);
    dl_task_info info = {};
    ASSERT_EQ(dl_get_task_info(first, &info), 1);
    EXPECT_EQ(info.state, dl_state_stopped);
    EXPECT_EQ(info.total_size, 0u);
    std::wstring path;
    ASSERT_EQ(dl_get_task_path(first, path), 1);
    EXPECT_EQ(path, folder);  // no file name until the engine gives one
}

TEST(facade_test, queued_downloads_run_one_after_the_other) {
    std::atomic<int> open{0};
    std::atomic<int> most{0};
    net_test::loopback_server server([&](SOCKET s, int) {
        const int now = ++open;
        if (now > most) {
            most = now;
        }
        const std::string head = net_test::read_head(s);
        const std::string body = "body of " + net_test::head_target(head);
        Sleep(200);
        net_test::send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
        --open;
    });
    const std::wstring folder = scratch_folder(L"queue");
    download_log log;
    const std::string one = server.url("/one");
    const std::string two = server.url("/two");
    ASSERT_EQ(dl_download_file(std::wstring(one.begin(), one.end()).c_str(),
                               (folder + L"one.txt").c_str(), on_file, &log),
              1);
    ASSERT_EQ(dl_download_file(std::wstring(two.begin(), two.end()).c_str(),
                               (folder + L"two.txt").c_str(), on_file, &log),
              1);
    ASSERT_TRUE(net_test::pump_until([&log] { return log.ends.size() == 2; }, 10000));
    EXPECT_EQ(log.ends[0], std::make_pair(1, folder + L"one.txt"));
    EXPECT_EQ(log.ends[1], std::make_pair(1, folder + L"two.txt"));
    EXPECT_EQ(read_all(folder + L"one.txt"), "body of /one");
    EXPECT_EQ(read_all(folder + L"two.txt"), "body of /two");
    EXPECT_EQ(most.load(), 1);

    // A failing download ends with its own callback and does not block the
    // queue.
    const std::string missing =
        "http://127.0.0.1:" + std::to_string(net_test::unused_port()) + "/x";
    ASSERT_EQ(dl_download_file(std::wstring(missing.begin(), missing.end()).c_str(),
                               (folder + L"three.txt").c_str(), on_file, &log),
              1);
    ASSERT_EQ(dl_download_file(L"", (folder + L"four.txt").c_str(), on_file, &log), 1);
    ASSERT_EQ(dl_download_file(std::wstring(one.begin(), one.end()).c_str(),
                               (folder + L"five.txt").c_str(), on_file, &log),
              1);
    ASSERT_TRUE(net_test::pump_until([&log] { return log.ends.size() == 5; }, 10000));
    EXPECT_EQ(log.ends[2].first, 0);
    EXPECT_EQ(log.ends[3].first, 0);
    EXPECT_EQ(log.ends[4].first, 1);
}

TEST(facade_test, start_all_before_preparation_prepares_instead) {
    // No host and no installer URL: preparation ends at once, failed.
    ASSERT_EQ(dl_set_host_package(L"", L"7.2.0.0"), 1);
    EXPECT_EQ(dl_start_all_tasks(), 1);
    ASSERT_TRUE(net_test::pump_until([] { return g_sink.environment.size() == 1; }));
    EXPECT_EQ(g_sink.environment[0], 0);
    // The flag was not set: a real request is still accepted, once.
    EXPECT_EQ(dl_prepare_environment(), 1);
    EXPECT_EQ(dl_prepare_environment(), 0);
    ASSERT_TRUE(net_test::pump_until([] { return g_sink.environment.size() == 2; }));
    EXPECT_EQ(g_sink.environment[1], 0);
    // The engine is not loaded: the mode cannot be set.
    EXPECT_EQ(dl_set_speed_limit_mode(1), 0);
    EXPECT_EQ(dl_stop_all_tasks(), 1);
}

TEST(facade_test, uninit_saves_the_tasks_and_stops_the_events) {
    EXPECT_EQ(dl_uninit(), 1);
    const std::wstring db = program_directory() + L"db.ini";
    wchar_t value[64] = {};
    GetPrivateProfileStringW(L"Tessaly", L"TaskCount", L"", value, 64, db.c_str());
    EXPECT_STREQ(value, L"2");
    GetPrivateProfileStringW(L"Task2", L"Url", L"", value, 64, db.c_str());
    EXPECT_STREQ(value, L"http://127.0.0.1/b.bin");
    EXPECT_EQ(dl_uninit(), 1);
    EXPECT_EQ(dl_prepare_environment(), 0);
}
