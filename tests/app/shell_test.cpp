// Starts real copies of tessaly.exe from branded folders of their own.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/app/test_files.h"

namespace {

std::wstring ClientPath() {
    std::wstring path = ExecutableFolder() + L"..\\..\\app\\tessaly.exe";
    return path;
}

struct Copy {
    std::wstring folder;
    PROCESS_INFORMATION process = {};
};

// A branded folder holding tessaly.exe and its "tessaly.ini".
std::wstring MakeBrandedFolder(const std::wstring& game_id, const std::wstring& title) {
    const std::wstring folder = MakeScratchFolder(L"shell");
    EXPECT_TRUE(CopyFileW(ClientPath().c_str(), (folder + L"tessaly.exe").c_str(), FALSE))
        << "no client at " << std::string(ClientPath().begin(), ClientPath().end());
    EXPECT_TRUE(WriteUnicodeFile(folder + L"tessaly.ini", L"[Tessaly]\r\nGameId=" + game_id +
                                                              L"\r\nGameTitle=" + title +
                                                              L"\r\nConfigServer=127.0.0.1:9\r\n"
                                                              L"StatServer=127.0.0.1:9\r\n"));
    return folder;
}

bool Start(Copy& copy, const std::wstring& arguments = L"") {
    std::wstring command = L"\"" + copy.folder + L"tessaly.exe\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                          copy.folder.c_str(), &startup, &copy.process) != FALSE;
}

bool Running(const Copy& copy) {
    return WaitForSingleObject(copy.process.hProcess, 0) == WAIT_TIMEOUT;
}

// The first window of a fresh prefix waits for Wine's desktop to start.
HWND WaitForWindow(const std::wstring& title, DWORD timeout_ms = 60000) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout_ms) {
        if (HWND hwnd = FindWindowW(nullptr, title.c_str())) {
            return hwnd;
        }
        Sleep(50);
    }
    return nullptr;
}

struct WindowSearch {
    const std::wstring* title;
    int count;
};

BOOL CALLBACK CountMatching(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    if (*search->title == text) {
        ++search->count;
    }
    return TRUE;
}

int CountWindows(const std::wstring& title) {
    WindowSearch search = {&title, 0};
    EnumWindows(CountMatching, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

// Ends a copy through its tray menu's exit command, as a user would, and
// gives its exit code.
DWORD Stop(Copy& copy, HWND hwnd) {
    DWORD code = STILL_ACTIVE;
    if (hwnd && IsWindow(hwnd)) {
        PostMessageW(hwnd, WM_COMMAND, IDM_TRAY_EXIT, 0);
    }
    if (copy.process.hProcess) {
        if (WaitForSingleObject(copy.process.hProcess, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(copy.process.hProcess, 1);
            WaitForSingleObject(copy.process.hProcess, 5000);
        }
        GetExitCodeProcess(copy.process.hProcess, &code);
        CloseHandle(copy.process.hProcess);
        CloseHandle(copy.process.hThread);
        copy.process = {};
    }
    return code;
}

DWORD ExitCode(const Copy& copy) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(copy.process.hProcess, &code);
    return code;
}

std::wstring UniqueId(const wchar_t* tag) {
    return std::wstring(tag) + std::to_wstring(GetCurrentProcessId()) +
           std::to_wstring(GetTickCount() % 100000);
}

}  // namespace

TEST(Shell, SecondCopyRestoresTheHiddenFirstAndExits) {
    const std::wstring id = UniqueId(L"g");
    const std::wstring title = L"单例" + id;
    const std::wstring window_title = title + L"高速下载器";
    Copy first{MakeBrandedFolder(id, title)};
    Copy second{MakeBrandedFolder(id, title)};

    ASSERT_TRUE(Start(first));
    HWND hwnd = WaitForWindow(window_title);
    ASSERT_NE(hwnd, nullptr);
    // Closing only hides the window; the copy stays.
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(Running(first));

    // The command line changes nothing.
    ASSERT_TRUE(Start(second, L"-quit /S --whatever"));
    ASSERT_EQ(WaitForSingleObject(second.process.hProcess, 15000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(second), 0u);
    EXPECT_TRUE(Running(first));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(CountWindows(window_title), 1);

    Stop(second, nullptr);
    EXPECT_EQ(Stop(first, hwnd), 0u) << "exit through the tray menu ends the run normally";
}

TEST(Shell, DifferentGameIdsRunSideBySide) {
    const std::wstring a = UniqueId(L"a");
    const std::wstring b = UniqueId(L"b");
    Copy first{MakeBrandedFolder(a, L"甲" + a)};
    Copy second{MakeBrandedFolder(b, L"乙" + b)};
    ASSERT_TRUE(Start(first));
    ASSERT_TRUE(Start(second));
    HWND one = WaitForWindow(L"甲" + a + L"高速下载器");
    HWND two = WaitForWindow(L"乙" + b + L"高速下载器");
    EXPECT_NE(one, nullptr);
    EXPECT_NE(two, nullptr);
    EXPECT_TRUE(Running(first));
    EXPECT_TRUE(Running(second));
    Stop(first, one);
    Stop(second, two);
}

TEST(Shell, UnhandledExceptionLeavesTheCrashMarker) {
    const std::wstring id = UniqueId(L"c");
    const std::wstring title = L"崩溃" + id;
    Copy copy{MakeBrandedFolder(id, title)};
    ASSERT_TRUE(Start(copy));
    ASSERT_NE(WaitForWindow(title + L"高速下载器"), nullptr);
    const std::wstring record = copy.folder + L"record.ini";
    EXPECT_EQ(GetPrivateProfileIntW(L"Crash", L"Count", 0, record.c_str()), 0u);

    // A thread that starts at an unmapped address faults at once, with no
    // handler of its own: the process's unhandled-exception filter sees it.
    HANDLE thread =
        CreateRemoteThread(copy.process.hProcess, nullptr, 0,
                           reinterpret_cast<LPTHREAD_START_ROUTINE>(0x10), nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    CloseHandle(thread);
    ASSERT_EQ(WaitForSingleObject(copy.process.hProcess, 20000), WAIT_OBJECT_0);
    EXPECT_NE(ExitCode(copy), 0u);
    EXPECT_EQ(GetPrivateProfileIntW(L"Crash", L"Count", 0, record.c_str()), 1u);
    Stop(copy, nullptr);
}
