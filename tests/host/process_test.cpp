#include "host/host_process.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/host_paths.h"
#include "tests/host/test_folder.h"

namespace {

// Starts copies of the sleeper under the executable names the functions look
// for, and ends whatever is left of them at the end.
class ProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.ok());
        ASSERT_TRUE(file_exists(program_directory() + L"host_test_sleeper.exe"));
        ASSERT_EQ(process_id_by_name(L"Torvane.exe"), 0u) << "a host is already running";
        ASSERT_EQ(process_id_by_name(L"Torvane5.exe"), 0u);
        ASSERT_EQ(process_id_by_name(L"dozurudire.exe"), 0u);
    }

    void TearDown() override {
        for (const PROCESS_INFORMATION& child : children_) {
            if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(child.hProcess, 99);
                WaitForSingleObject(child.hProcess, 10000);
            }
            CloseHandle(child.hProcess);
        }
    }

    // Index of the started child, or -1.
    int start(const wchar_t* name) {
        const std::wstring exe = folder_.path() + name;
        if (!file_exists(exe) &&
            !CopyFileW((program_directory() + L"host_test_sleeper.exe").c_str(), exe.c_str(),
                       TRUE)) {
            return -1;
        }
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION child = {};
        std::wstring command = L"\"" + exe + L"\"";
        if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                            nullptr, folder_.path().c_str(), &startup, &child)) {
            return -1;
        }
        CloseHandle(child.hThread);
        children_.push_back(child);
        return static_cast<int>(children_.size()) - 1;
    }

    bool ended(int index) const {
        return WaitForSingleObject(children_[index].hProcess, 0) == WAIT_OBJECT_0;
    }
    DWORD id(int index) const { return children_[index].dwProcessId; }
    DWORD exit_code(int index) const {
        DWORD code = 12345;
        GetExitCodeProcess(children_[index].hProcess, &code);
        return code;
    }

    TestFolder folder_;
    std::vector<PROCESS_INFORMATION> children_;
};

TEST_F(ProcessTest, NothingRunningNothingClosed) {
    EXPECT_EQ(host_running(), 0);
    EXPECT_EQ(accelerator_running(), 0);
    EXPECT_EQ(worker_host_running(), 0);
    EXPECT_EQ(close_host(), 0);
    EXPECT_EQ(close_accelerator(), 0);
    EXPECT_EQ(worker_close_host(), 0);
    EXPECT_EQ(process_id_by_name(nullptr), 0u);
    EXPECT_EQ(process_id_by_name(L""), 0u);
}

TEST_F(ProcessTest, HostIsFoundWithoutRegardToCaseAndClosedWithExitCodeZero) {
    const int host = start(L"Torvane.exe");
    ASSERT_GE(host, 0);
    EXPECT_EQ(process_id_by_name(L"TORVANE.EXE"), id(host));
    EXPECT_EQ(host_running(), 1);
    EXPECT_EQ(worker_host_running(), 1);
    EXPECT_EQ(accelerator_running(), 0);
    EXPECT_EQ(close_accelerator(), 0);
    EXPECT_FALSE(ended(host));

    EXPECT_EQ(close_host(), 1);
    EXPECT_TRUE(ended(host));  // close waits for the end
    EXPECT_EQ(exit_code(host), 0u);
    EXPECT_EQ(host_running(), 0);
    EXPECT_EQ(close_host(), 0);
}

TEST_F(ProcessTest, OneCloseEndsOnlyTheFirstOfTwoHosts) {
    const int first = start(L"Torvane.exe");
    const int second = start(L"Torvane.exe");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    const DWORD found = process_id_by_name(L"torvane.exe");
    EXPECT_TRUE(found == id(first) || found == id(second));

    EXPECT_EQ(close_host(), 1);
    const int closed = ended(first) ? first : second;
    const int left = closed == first ? second : first;
    EXPECT_TRUE(ended(closed));
    EXPECT_EQ(id(closed), found);
    EXPECT_FALSE(ended(left));
    EXPECT_EQ(host_running(), 1);
    EXPECT_EQ(process_id_by_name(L"torvane.exe"), id(left));

    EXPECT_EQ(close_host(), 1);
    EXPECT_TRUE(ended(left));
    EXPECT_EQ(host_running(), 0);
}

TEST_F(ProcessTest, AcceleratorIsItsOwnName) {
    const int accelerator = start(L"dozurudire.exe");
    ASSERT_GE(accelerator, 0);
    EXPECT_EQ(accelerator_running(), 1);
    EXPECT_EQ(host_running(), 0);
    EXPECT_EQ(worker_host_running(), 0);
    EXPECT_EQ(close_host(), 0);
    EXPECT_EQ(worker_close_host(), 0);
    EXPECT_FALSE(ended(accelerator));
    EXPECT_EQ(close_accelerator(), 1);
    EXPECT_TRUE(ended(accelerator));
    EXPECT_EQ(exit_code(accelerator), 0u);
    EXPECT_EQ(accelerator_running(), 0);
}

TEST_F(ProcessTest, WorkerSideKnowsBothHostNamesAndEndsWithExitCodeOne) {
    const int host5 = start(L"Torvane5.exe");
    ASSERT_GE(host5, 0);
    EXPECT_EQ(host_running(), 0);  // the user-interface side knows one name only
    EXPECT_EQ(worker_host_running(), 1);
    EXPECT_EQ(worker_close_host(), 1);
    EXPECT_TRUE(ended(host5));
    EXPECT_EQ(exit_code(host5), 1u);
    EXPECT_EQ(worker_host_running(), 0);

    const int first = start(L"Torvane.exe");
    const int second = start(L"Torvane5.exe");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_EQ(worker_close_host(), 1);
    EXPECT_NE(ended(first), ended(second));
    EXPECT_EQ(worker_host_running(), 1);
    EXPECT_EQ(worker_close_host(), 1);
    EXPECT_TRUE(ended(first));
    EXPECT_TRUE(ended(second));
    EXPECT_EQ(worker_close_host(), 0);
}

}  // namespace
