// The accelerator installer with the stand-in accelerator and its silent
// installer, which writes "<Program Files>\Dozurudire\dozurudire.exe" and
// starts it, and refuses to do anything without "/S".
#include "host/accelerator_installer.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <memory>

#include "tests/host/test_folder.h"
#include "tests/installers/installer_test_support.h"
#include "tests/standins_host/support.h"

namespace {

using namespace installer_test;
using standin_test::exists;

class AcceleratorInstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(standin_test::process_id(L"dozurudire.exe"), 0u) << "an accelerator runs";
        ASSERT_TRUE(folder_.ok());
        installed_ = standin_test::known_folder(CSIDL_PROGRAM_FILES) + L"\\Dozurudire\\";
        standin_test::remove_tree(installed_);
        installer_task_ = task_for(standin_test::built(DOZURUDIRE_SETUP));
        ASSERT_GT(installer_task_, 0);
    }

    void TearDown() override {
        for (HANDLE process : running_) {
            standin_test::end_process(process);
        }
        standin_test::end_processes(L"dozurudire.exe");
        standin_test::remove_tree(installed_);
    }

    // Starts a copy of the stand-in accelerator from the test's folder.
    DWORD StartAccelerator() {
        const std::wstring exe = folder_.path() + L"dozurudire.exe";
        if (!exists(exe) &&
            !CopyFileW(standin_test::built(DOZURUDIRE_EXE).c_str(), exe.c_str(), TRUE)) {
            return 0;
        }
        HANDLE process = standin_test::start(L"\"" + exe + L"\"");
        if (!process) {
            return 0;
        }
        running_.push_back(process);
        return GetProcessId(process);
    }

    bool Ran(size_t i) const { return WaitForSingleObject(running_[i], 0) == WAIT_TIMEOUT; }

    TestFolder folder_;
    std::wstring installed_;
    int installer_task_ = -1;
    std::vector<HANDLE> running_;
};

TEST_F(AcceleratorInstallerTest, WithNoAcceleratorRunningInstallsAtOnceWithoutAQuestion) {
    ScriptedPrompt prompt;
    CountingDone done;
    AcceleratorInstaller installer(prompt, done);
    EXPECT_EQ(installer.Install(installer_task_), InstallerResult::installed);
    EXPECT_TRUE(prompt.asked.empty());
    EXPECT_EQ(done.count, 1);
    // Only a silent ("/S") run installs and starts the accelerator.
    EXPECT_TRUE(exists(installed_ + L"dozurudire.exe"));
    EXPECT_NE(standin_test::process_id(L"dozurudire.exe"), 0u);
}

TEST_F(AcceleratorInstallerTest, WithConsentClosesEveryRunningCopyLookingAgainAfter500ms) {
    ASSERT_NE(StartAccelerator(), 0u);
    ASSERT_NE(StartAccelerator(), 0u);
    for (int i = 0; i < 100 && standin_test::process_id(L"dozurudire.exe") == 0; ++i) {
        Sleep(20);
    }
    ScriptedPrompt prompt({1, 1});
    CountingDone done;
    AcceleratorInstaller installer(prompt, done);
    const DWORD start = GetTickCount();
    EXPECT_EQ(installer.Install(installer_task_), InstallerResult::installed);
    // One close ends one copy; the look 500 ms later finds the other.
    ASSERT_EQ(prompt.asked.size(), 2u);
    for (const ScriptedPrompt::Asked& asked : prompt.asked) {
        EXPECT_EQ(asked.question, InstallerQuestion::close_accelerator);
        EXPECT_EQ(asked.text, close_accelerator_question);
        EXPECT_TRUE(asked.process_running);
    }
    EXPECT_GE(prompt.asked[1].tick - prompt.asked[0].tick, 500u);
    EXPECT_GE(GetTickCount() - start, 1000u);
    EXPECT_FALSE(Ran(0));
    EXPECT_FALSE(Ran(1));
    EXPECT_TRUE(exists(installed_ + L"dozurudire.exe"));
    EXPECT_EQ(done.count, 1);
}

TEST_F(AcceleratorInstallerTest, RefusalInstallsNothingAndStillSignalsTheEnd) {
    ASSERT_NE(StartAccelerator(), 0u);
    for (int i = 0; i < 100 && standin_test::process_id(L"dozurudire.exe") == 0; ++i) {
        Sleep(20);
    }
    for (int answer : {0, 2}) {
        ScriptedPrompt prompt({answer});
        CountingDone done;
        AcceleratorInstaller installer(prompt, done);
        EXPECT_EQ(installer.Install(installer_task_), InstallerResult::refused);
        EXPECT_EQ(prompt.asked.size(), 1u);
        EXPECT_EQ(done.count, 1);
        EXPECT_TRUE(Ran(0));
        EXPECT_FALSE(exists(installed_));
    }
}

TEST_F(AcceleratorInstallerTest, AnInstallerThatNeverEndsIsWaitedForOnlyUpToTheLimit) {
    // The sleeper stays for a minute whatever its arguments.
    const std::wstring slow = folder_.path() + L"slow_setup.exe";
    ASSERT_TRUE(CopyFileW(standin_test::built(HOST_TEST_SLEEPER).c_str(), slow.c_str(), TRUE));
    ScriptedPrompt prompt;
    CountingDone done;
    AcceleratorInstaller installer(prompt, done);
    installer.SetWaitLimits(5000, 1500);
    const DWORD start = GetTickCount();
    EXPECT_EQ(installer.Install(task_for(slow)), InstallerResult::timed_out);
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 1400u);
    EXPECT_LT(took, 10000u);
    EXPECT_EQ(done.count, 1);
    EXPECT_NE(standin_test::process_id(L"slow_setup.exe"), 0u);
    standin_test::end_processes(L"slow_setup.exe");
}

TEST_F(AcceleratorInstallerTest, StartRunsOnAThreadAndAnUnknownTaskStillEnds) {
    ScriptedPrompt prompt;
    CountingDone done;
    AcceleratorInstaller installer(prompt, done);
    HANDLE thread = installer.Start(9999);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(done.Wait(20000));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_NE(done.thread.load(), GetCurrentThreadId());
    EXPECT_FALSE(exists(installed_));

    // The real installer through the thread.
    CountingDone second;
    AcceleratorInstaller again(prompt, second);
    thread = again.Start(installer_task_);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(second.Wait(60000));
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    EXPECT_TRUE(exists(installed_ + L"dozurudire.exe"));
}

}  // namespace
