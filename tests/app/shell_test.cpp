// Starts real copies of tessaly.exe from branded folders of their own.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/app/test_files.h"
#include "tests/net/net_test_support.h"

namespace {

std::wstring ClientPath() {
    std::wstring path = ExecutableFolder() + L"..\\..\\app\\tessaly.exe";
    return path;
}

struct Copy {
    std::wstring folder;
    PROCESS_INFORMATION process = {};
};

// A branded folder holding tessaly.exe and its "tessaly.ini"; both servers at
// `server` (host:port), by default a port where nothing answers.
std::wstring MakeBrandedFolder(const std::wstring& game_id, const std::wstring& title,
                               const std::wstring& server = L"127.0.0.1:9") {
    const std::wstring folder = MakeScratchFolder(L"shell");
    EXPECT_TRUE(CopyFileW(ClientPath().c_str(), (folder + L"tessaly.exe").c_str(), FALSE))
        << "no client at " << std::string(ClientPath().begin(), ClientPath().end());
    EXPECT_TRUE(WriteUnicodeFile(folder + L"tessaly.ini",
                                 L"[Tessaly]\r\nGameId=" + game_id + L"\r\nGameTitle=" + title +
                                     L"\r\nConfigServer=" + server + L"\r\nStatServer=" + server +
                                     L"\r\n"));
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

// The configuration and statistics servers in one: answers the game's
// configuration (or 404 when told to) and the tips file, and keeps every
// request target in order of arrival.
class GameServer {
  public:
    explicit GameServer(bool with_configuration)
        : with_configuration_(with_configuration), server_([this](SOCKET s, int) { Answer(s); }) {}

    std::wstring Address() const { return L"127.0.0.1:" + std::to_wstring(server_.port()); }

    std::vector<std::string> Targets() {
        std::lock_guard<std::mutex> lock(mutex_);
        return targets_;
    }

    // The beacons' events ("gs=" values), in order.
    std::vector<std::string> Events() {
        std::vector<std::string> events;
        for (const std::string& t : Targets()) {
            if (t.rfind("/UPV?gs=", 0) == 0) {
                events.push_back(t.substr(8, t.find('&') - 8));
            }
        }
        return events;
    }

    bool WaitFor(const std::string& event, DWORD timeout_ms = 30000) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < timeout_ms) {
            const std::vector<std::string> events = Events();
            if (std::find(events.begin(), events.end(), event) != events.end()) {
                return true;
            }
            Sleep(50);
        }
        return false;
    }

    bool Requested(const std::string& prefix) {
        for (const std::string& t : Targets()) {
            if (t.rfind(prefix, 0) == 0) {
                return true;
            }
        }
        return false;
    }

    bool WaitForRequest(const std::string& prefix, DWORD timeout_ms = 30000) {
        const DWORD start = GetTickCount();
        while (!Requested(prefix)) {
            if (GetTickCount() - start >= timeout_ms) {
                return false;
            }
            Sleep(50);
        }
        return true;
    }

  private:
    void Answer(SOCKET s) {
        const std::string head = net_test::read_head(s);
        if (head.empty()) {
            return;
        }
        const std::string target = net_test::head_target(head);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            targets_.push_back(target);
        }
        std::string body;
        bool found = true;
        if (target.rfind("/Configuration/", 0) == 0) {
            found = with_configuration_;
            body =
                "<?xml version=\"1.0\" encoding=\"utf-8\"?><config><gamesize>1024</gamesize>"
                "<gameurls><gameurl>http://127.0.0.1:9/game.bin</gameurl></gameurls></config>";
        } else if (target.rfind("/DownloadAds/", 0) == 0) {
            body =
                "<?xml version=\"1.0\" encoding=\"utf-8\"?><ads><public><downloader>"
                "<text>tips</text><url>http://127.0.0.1:9/tips.html</url></downloader></public>"
                "</ads>";
        }
        if (!found) {
            body.clear();
        }
        net_test::send_all(s, std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                                  "\r\nContent-Length: " + std::to_string(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
    }

    bool with_configuration_;
    std::mutex mutex_;
    std::vector<std::string> targets_;
    net_test::loopback_server server_;
};

// A branded copy whose two servers are a GameServer of its own.
struct ServedCopy {
    ServedCopy(bool with_configuration, const wchar_t* tag, const std::wstring& name)
        : server(with_configuration),
          id(UniqueId(tag)),
          title(name + id),
          copy{MakeBrandedFolder(id, title, server.Address())},
          record(copy.folder + L"record.ini") {}

    std::wstring WindowTitle() const { return title + L"高速下载器"; }
    // As the crash filter of an earlier run left it.
    bool MarkCrashed() const {
        return WritePrivateProfileStringW(L"Crash", L"Count", L"1", record.c_str()) != FALSE;
    }
    UINT CrashCount() const { return GetPrivateProfileIntW(L"Crash", L"Count", 7, record.c_str()); }

    GameServer server;
    std::wstring id;
    std::wstring title;
    Copy copy;
    std::wstring record;
};

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

TEST(Shell, ConfigurationStartsTheBeaconsAndAnEarlierCrashIsReportedOnce) {
    ServedCopy served(true, L"r", L"报告");
    GameServer& server = served.server;
    ASSERT_TRUE(served.MarkCrashed());

    ASSERT_TRUE(Start(served.copy));
    HWND hwnd = WaitForWindow(served.WindowTitle());
    ASSERT_NE(hwnd, nullptr);
    // Each beacon travels on a connection of its own, so they may arrive in
    // either order.
    ASSERT_TRUE(server.WaitFor("downerbk"));
    ASSERT_TRUE(server.WaitFor("downerstart"));
    const std::vector<std::string> events = server.Events();
    EXPECT_EQ(1, std::count(events.begin(), events.end(), "downerstart"));
    EXPECT_EQ(1, std::count(events.begin(), events.end(), "downerbk"));
    EXPECT_EQ(served.CrashCount(), 0u);
    const std::string game_id(served.id.begin(), served.id.end());
    for (const std::string& t : server.Targets()) {
        if (t.rfind("/UPV?gs=downer", 0) == 0) {
            EXPECT_NE(t.find("&gameid=" + game_id + "&pid="), std::string::npos) << t;
        }
    }
    // The tips file is asked for once the configuration is in.
    EXPECT_TRUE(server.WaitForRequest("/DownloadAds/" + game_id + ".xml", 5000));
    EXPECT_EQ(Stop(served.copy, hwnd), 0u);

    // The next run sends its start beacon but no crash report. The client
    // asks for its own copy of the configuration again; this server always
    // answers in full, so the download is reported again. Count before the
    // run starts: its beacons may arrive before its window is found.
    const size_t before = server.Events().size();
    Copy again{served.copy.folder};
    ASSERT_TRUE(Start(again));
    hwnd = WaitForWindow(served.WindowTitle());
    ASSERT_NE(hwnd, nullptr);
    for (int i = 0; i < 600 && server.Events().size() < before + 2; ++i) {
        Sleep(50);
    }
    // Anything more would be a beacon too many.
    Sleep(500);
    const std::vector<std::string> later = server.Events();
    std::vector<std::string> sent(later.begin() + before, later.end());
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent, (std::vector<std::string>{"downerstart", "dragconf"}));
    EXPECT_EQ(Stop(again, hwnd), 0u);
}

TEST(Shell, NoConfigurationNoStartBeaconAndTheCrashMarkerStays) {
    ServedCopy served(false, L"n", L"无配置");
    ASSERT_TRUE(served.MarkCrashed());
    ASSERT_TRUE(Start(served.copy));
    HWND hwnd = WaitForWindow(served.WindowTitle());
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(served.server.WaitForRequest("/Configuration/"));
    Sleep(2000);
    const std::vector<std::string> events = served.server.Events();
    EXPECT_EQ(events.end(), std::find(events.begin(), events.end(), "downerstart"));
    EXPECT_EQ(events.end(), std::find(events.begin(), events.end(), "downerbk"));
    // The marker waits for a run whose configuration loads.
    EXPECT_EQ(served.CrashCount(), 1u);
    EXPECT_EQ(Stop(served.copy, hwnd), 0u);
}

TEST(Shell, FilesThatCannotBeWrittenDoNotStopTheClient) {
    ServedCopy served(true, L"w", L"只读");
    // Folders where the client keeps its files: every write to them fails.
    ASSERT_TRUE(CreateDirectoryW((served.copy.folder + L"record.ini").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((served.copy.folder + L"db.ini").c_str(), nullptr));
    ASSERT_TRUE(Start(served.copy));
    HWND hwnd = WaitForWindow(served.WindowTitle());
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(served.server.WaitFor("downerstart"));
    EXPECT_TRUE(Running(served.copy));
    EXPECT_EQ(Stop(served.copy, hwnd), 0u);
    const std::vector<std::string> events = served.server.Events();
    EXPECT_EQ(events.end(), std::find(events.begin(), events.end(), "downerbk"));
}
