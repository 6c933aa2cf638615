// Environment preparation against a context of its own: every path ends with
// exactly one report, and the installer is waited for by its process object.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "host/environment.h"
#include "service/engine_binding.h"
#include "tests/host/test_folder.h"
#include "tests/service/service_test_support.h"

using namespace qm::win32::net;

namespace {

struct context : environment_context {
    engine_binding& engine() override { return engine_; }
    void host_package(std::wstring& u, std::wstring& v) override {
        u = url;
        v = version;
    }
    void start_timers() override {}
    void stop_timers() override {}
    bool start_environment_task(const std::wstring& u) override {
        task_urls.push_back(u);
        return !u.empty() && engine_accepts;
    }
    bool download_installer(const std::string&, const std::wstring&) override {
        ++downloads;
        return false;
    }
    void send_report(const char*, const char*) override {}
    int ask_host_running() override { return 3; }
    void environment_ready(int ok) override { ready.push_back(ok); }
    std::wstring engine_path() override { return service_test::beside_exe(L"fake_engine.dll"); }
    HANDLE stop_event() override { return stop; }

    engine_binding engine_;
    std::wstring url;
    std::wstring version;
    bool engine_accepts = true;
    HANDLE stop = nullptr;
    int downloads = 0;
    std::vector<std::wstring> task_urls;
    std::vector<int> ready;
};

// An installed host of version 7.0.0.0 whose engine is the test engine.
void install_old_host(FakeHostKey& host, const TestFolder& folder) {
    ASSERT_TRUE(host.set(L"Path", folder.path() + L"Program\\Torvane.exe"));
    ASSERT_TRUE(host.set(L"Version", L"7.0.0.0"));
    ASSERT_TRUE(host.set(L"instdir", folder.path()));
}

struct installer_run {
    environment_preparation* preparation;
    std::wstring path;
};

DWORD WINAPI run_installer_thread(void* param) {
    auto* run = static_cast<installer_run*>(param);
    run->preparation->run_installer(run->path);
    return 0;
}

}  // namespace

TEST(environment_test, an_old_host_without_an_installer_url_or_with_a_refused_task_reports_once) {
    FakeHostKey host;
    TestFolder folder;
    ASSERT_TRUE(folder.ok());
    install_old_host(host, folder);
    context c;
    c.version = L"7.2.0.0";
    environment_preparation preparation(c);

    // No URL for the newer host: a failure, not silence.
    preparation.prepare();
    ASSERT_EQ(c.task_urls.size(), 1u);
    EXPECT_EQ(c.task_urls[0], L"");
    EXPECT_EQ(c.ready, std::vector<int>{0});

    // The engine refuses the task.
    c.url = L"http://127.0.0.1/TorvaneSetup.exe";
    c.engine_accepts = false;
    preparation.prepare();
    EXPECT_EQ(c.ready, (std::vector<int>{0, 0}));

    // An accepted task reports later, when it ends.
    c.engine_accepts = true;
    preparation.prepare();
    EXPECT_EQ(c.ready.size(), 2u);
    EXPECT_EQ(c.downloads, 0);
    c.engine_.unload(0);
}

TEST(environment_test, an_installer_that_exits_with_259_is_waited_for_and_removed) {
    std::wstring temp;
    wchar_t buffer[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, buffer);
    temp = buffer;
    const std::wstring installer = temp + installer_file_name(2026, 1, 2, 3, 4, 5);
    ASSERT_TRUE(CopyFileW(service_test::beside_exe(L"service_test_child.exe").c_str(),
                          installer.c_str(), FALSE));
    context c;
    environment_preparation preparation(c);
    installer_run run{&preparation, installer};
    HANDLE thread = CreateThread(nullptr, 0, run_installer_thread, &run, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const DWORD waited = WaitForSingleObject(thread, 15000);
    if (waited != WAIT_OBJECT_0) {
        TerminateThread(thread, 1);
    }
    CloseHandle(thread);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "run_installer still waiting after 15 s";
    EXPECT_EQ(c.ready, std::vector<int>{1});
    EXPECT_FALSE(service_test::file_exists(installer));
    DeleteFileW(installer.c_str());
    c.engine_.unload(0);
}

TEST(environment_test, a_shutdown_stops_the_wait_for_the_installer_without_a_report) {
    context c;
    c.stop = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    environment_preparation preparation(c);
    installer_run run{&preparation, service_test::beside_exe(L"service_test_child.exe")};
    HANDLE thread = CreateThread(nullptr, 0, run_installer_thread, &run, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 15000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_TRUE(c.ready.empty());
    EXPECT_EQ(c.engine_.is_loaded(), 0);
    EXPECT_TRUE(service_test::file_exists(run.path));  // not removed while it may still run
    CloseHandle(c.stop);
}

TEST(engine_binding_test, without_a_host_the_engine_is_looked_for_beside_the_program) {
    FakeHostKey host;
    ASSERT_TRUE(host.remove(L"instdir"));
    EXPECT_EQ(engine_binding::default_path(),
              service_test::beside_exe(L"asyn_download_interface.dll"));
    ASSERT_TRUE(host.set(L"instdir", L"C:\\Torvane"));
    EXPECT_EQ(engine_binding::default_path(), L"C:\\Torvane\\Program\\asyn_download_interface.dll");
}

TEST(environment_test, installer_file_names_are_recognised_exactly) {
    EXPECT_TRUE(is_installer_file_name(L"torvane20260102030405.exe"));
    EXPECT_TRUE(is_installer_file_name(L"Torvane20260102030405.EXE.tmp"));
    EXPECT_FALSE(is_installer_file_name(L"torvane2026010203040.exe"));
    EXPECT_FALSE(is_installer_file_name(L"torvane2026010203040x.exe"));
    EXPECT_FALSE(is_installer_file_name(L"torvane20260102030405.exe.bak"));
    EXPECT_FALSE(is_installer_file_name(L"TorvaneSetup.exe"));
    EXPECT_FALSE(is_installer_file_name(L""));
}
