// The silent installers of the host and of the accelerator, run as the
// client runs them (path + " /S") inside the test prefix.
#include <gtest/gtest.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "tests/standins_host/support.h"

namespace {

using namespace standin_test;

const std::wstring kSetup = built(TORVANE_SETUP);
const std::wstring kSetupOld = built(TORVANE_SETUP_OLD);

std::wstring program_files() {
    return known_folder(CSIDL_PROGRAM_FILES);
}

std::wstring shortcut_target(const std::wstring& file, std::wstring& arguments) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring target;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
                wchar_t path[MAX_PATH] = {};
                wchar_t args[MAX_PATH] = {};
                link->GetPath(path, MAX_PATH, nullptr, 0);
                link->GetArguments(args, MAX_PATH);
                target = path;
                arguments = args;
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return target;
}

TEST(HostSetup, SilentInstallRegistersTheHostWithItsFilesFoldersAndShortcuts) {
    HostSandbox sandbox;
    delete_host_key();
    ASSERT_EQ(run(kSetup + L" /S"), 0);

    const std::wstring instdir = host_value(L"instdir");
    EXPECT_EQ(instdir, program_files() + L"\\Torvane Network\\Torvane");
    EXPECT_EQ(host_value(L"Path"), instdir + L"\\Program\\Torvane.exe");
    EXPECT_EQ(host_value(L"Version"), TORVANE_VERSION_NEW);
    EXPECT_EQ(host_value(L"addinsdir"), instdir + L"\\Addins");

    EXPECT_TRUE(exists(host_value(L"Path")));
#if STANDIN_HAVE_ENGINE
    EXPECT_TRUE(exists(instdir + L"\\Program\\asyn_download_interface.dll"));
    EXPECT_TRUE(exists(instdir + L"\\Program\\tdengine.exe"));
#endif
    EXPECT_FALSE(exists(instdir + L"\\Program\\Torvane.exe.new"));
    EXPECT_TRUE(is_folder(host_value(L"addinsdir")));
    // On the system drive of a system after 5.x the client looks for these
    // in the public documents folder.
    const std::wstring profiles =
        known_folder(CSIDL_COMMON_DOCUMENTS) + L"\\Torvane Network\\Torvane\\";
    EXPECT_TRUE(is_folder(profiles + L"Profiles"));
    EXPECT_TRUE(is_folder(profiles + L"Skin"));

    const std::wstring desktop = known_folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\";
    std::wstring arguments;
    EXPECT_TRUE(CompareStringOrdinal(
                    shortcut_target(desktop + L"Torvane高清影片免费下载.lnk", arguments).c_str(),
                    -1, host_value(L"Path").c_str(), -1, TRUE) == CSTR_EQUAL);
    EXPECT_TRUE(
        CompareStringOrdinal(shortcut_target(desktop + L"Torvane影音.lnk", arguments).c_str(), -1,
                             host_value(L"Path").c_str(), -1, TRUE) == CSTR_EQUAL);
    EXPECT_EQ(arguments, L"-player");
}

TEST(HostSetup, RefusesToRunWithoutTheSilentSwitchAndTouchesNothing) {
    HostSandbox sandbox;
    delete_host_key();
    const std::wstring folder = temp_folder(L"not silent") + L"Torvane";
    EXPECT_EQ(run(kSetup + L" /D=" + folder), 2);
    EXPECT_FALSE(host_key_exists());
    EXPECT_FALSE(is_folder(folder));
    remove_tree(folder.substr(0, folder.find_last_of(L'\\')));
}

TEST(HostSetup, InstallsIntoAGivenFolderAndUpgradesAnOlderHost) {
    HostSandbox sandbox;
    const std::wstring folder = temp_folder(L"host with spaces") + L"Torvane";
    ASSERT_EQ(run(kSetupOld + L" /S /D=" + folder), 0);
    EXPECT_EQ(host_value(L"Version"), TORVANE_VERSION_OLD);
    EXPECT_EQ(host_value(L"instdir"), folder);
    EXPECT_TRUE(exists(folder + L"\\Program\\Torvane.exe"));
    EXPECT_TRUE(is_folder(folder + L"\\Addins"));

    // An add-in installed meanwhile survives the upgrade.
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\Addins\\ZudUrirOzoduro7").c_str(), nullptr));
    ASSERT_EQ(run(kSetup + L" /S /D=" + folder), 0);
    EXPECT_EQ(host_value(L"Version"), TORVANE_VERSION_NEW);
    EXPECT_EQ(host_value(L"Path"), folder + L"\\Program\\Torvane.exe");
    EXPECT_TRUE(is_folder(folder + L"\\Addins\\ZudUrirOzoduro7"));
    remove_tree(folder.substr(0, folder.find_last_of(L'\\')));
}

// A running host holds its executable: the installer waits for it, and when
// the wait runs out it fails without changing the registration.
TEST(HostSetup, WaitsForARunningHostOrFailsCleanly) {
    HostSandbox sandbox;
    ASSERT_EQ(run(kSetupOld + L" /S"), 0);
    const std::wstring exe = host_value(L"Path");
    HANDLE host = start(L"\"" + exe + L"\"");
    ASSERT_NE(host, nullptr);
    for (int i = 0; i < 100 && process_id(L"Torvane.exe") == 0; ++i) {
        Sleep(50);
    }
    ASSERT_NE(process_id(L"Torvane.exe"), 0u);

    EXPECT_EQ(run(kSetup + L" /S /WAIT=600"), 3);
    EXPECT_EQ(host_value(L"Version"), TORVANE_VERSION_OLD);
    EXPECT_TRUE(exists(exe));
    EXPECT_FALSE(exists(exe + L".new"));

    HANDLE setup = start(kSetup + L" /S /WAIT=20000");
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(WaitForSingleObject(setup, 1000), static_cast<DWORD>(WAIT_TIMEOUT));
    end_process(host);
    ASSERT_EQ(WaitForSingleObject(setup, 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(setup, &code);
    CloseHandle(setup);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(host_value(L"Version"), TORVANE_VERSION_NEW);
}

class AcceleratorSetup : public ::testing::Test {
  protected:
    void TearDown() override {
        end_processes(L"dozurudire.exe");
        remove_tree(folder_);
    }
    std::wstring folder_ = known_folder(CSIDL_PROGRAM_FILES) + L"\\Dozurudire";
};

TEST_F(AcceleratorSetup, InstallsAndStartsTheAcceleratorWhichStaysUntilEnded) {
    end_processes(L"dozurudire.exe");
    const std::wstring setup = built(DOZURUDIRE_SETUP);
    EXPECT_EQ(run(setup), 2);
    EXPECT_EQ(process_id(L"dozurudire.exe"), 0u);

    ASSERT_EQ(run(setup + L" /S"), 0);
    EXPECT_TRUE(exists(folder_ + L"\\dozurudire.exe"));
    DWORD id = 0;
    for (int i = 0; i < 100 && id == 0; ++i) {
        Sleep(50);
        id = process_id(L"dozurudire.exe");
    }
    ASSERT_NE(id, 0u);
    Sleep(1000);
    EXPECT_EQ(process_id(L"dozurudire.exe"), id);

    // A second installation while it runs cannot replace it.
    EXPECT_EQ(run(setup + L" /S /WAIT=500"), 3);

    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    ASSERT_NE(process, nullptr);
    end_process(process);
    EXPECT_EQ(process_id(L"dozurudire.exe"), 0u);
}

}  // namespace
