// The hand-over to the host downloader against the stand-in host
// (Torvane.exe, which writes down every command line it gets): the questions,
// the transfer file byte for byte, the exact command line, the second pass
// when tasks must stop first, and what happens when the host cannot start.
#include "host/task_transfer.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <map>
#include <string>
#include <vector>

#include "tests/standins_host/support.h"

using namespace standin_test;

namespace {

// What the window was asked to do, in order.
class Site : public TransferSite {
  public:
    int Ask(TransferQuestion question, const std::wstring& text) override {
        calls.push_back(question == TransferQuestion::close_host ? L"ask close_host"
                                                                 : L"ask addin_missing");
        texts.push_back(text);
        if (answers.empty()) {
            return 0;
        }
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    void ShowTransferring() override { calls.push_back(L"transferring"); }
    void RefreshControls() override { calls.push_back(L"refresh"); }
    void CloseMainWindow() override { calls.push_back(L"close"); }
    void SendHandOverReport() override { calls.push_back(L"report"); }
    void SetHandedOver() override { calls.push_back(L"handed over"); }

    std::vector<int> answers;
    std::vector<std::wstring> calls;
    std::vector<std::wstring> texts;
};

class Tasks : public TransferTasks {
  public:
    int Info(int id, dl_task_info* info) override {
        *info = dl_task_info{};
        auto it = states.find(id);
        if (it == states.end()) {
            return 0;
        }
        info->state = it->second;
        return 1;
    }
    int Path(int id, std::wstring& out) override {
        auto it = paths.find(id);
        if (it == paths.end()) {
            return 0;
        }
        out = it->second;
        return 1;
    }
    void StopAll() override { ++stops; }

    std::map<int, int> states;
    std::map<int, std::wstring> paths;
    int stops = 0;
};

void Touch(const std::wstring& path) {
    ASSERT_TRUE(write_bytes(path, "x"));
}

std::string Bytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return bytes;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += static_cast<char>(c);
    }
    return out;
}

class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        end_processes(L"Torvane.exe");
        root = temp_folder(L"transfer");
        host_folder = root + L"host\\";
        program = root + L"client\\";
        downloads = root + L"downloads\\";
        for (const std::wstring& f :
             {host_folder, host_folder + L"Program\\", program, downloads}) {
            CreateDirectoryW(f.c_str(), nullptr);
        }
        host_exe = host_folder + L"Program\\Torvane.exe";
        ASSERT_TRUE(CopyFileW(built(TORVANE_EXE).c_str(), host_exe.c_str(), FALSE));
        SetHostValue(L"Path", host_exe);
        SetHostValue(L"instdir", root);

        request.game_id = L"4321";
        request.game_urls = {L"http://files.example/game/setup.exe",
                             L"http://files.example/game/data1.bin",
                             L"http://files.example/game/data2.bin"};
        request.task_ids = {7, 8, 9};
        request.addin_present = true;
        request.sel_my_download = true;
        request.program_folder = program;
        for (int i = 0; i < 3; ++i) {
            tasks.paths[7 + i] = downloads + (i == 0   ? L"setup.exe"
                                              : i == 1 ? L"data1.bin"
                                                       : L"data2.bin");
        }
    }
    void TearDown() override { end_processes(L"Torvane.exe"); }

    static void SetHostValue(const wchar_t* name, const std::wstring& value) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, &key, nullptr));
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    // The host's log once its run has ended (at most 20 s).
    std::wstring HostLog() {
        const std::wstring log = host_folder + L"Program\\Torvane.log";
        std::wstring text;
        for (int i = 0; i < 400; ++i) {
            text = read_utf8(log);
            if (text.find(L"\texit\t") != std::wstring::npos) {
                break;
            }
            Sleep(50);
        }
        return text;
    }

    // Task 7 half done and stopped, 8 finished, 9 not begun.
    void HalfDone() {
        tasks.states = {{7, dl_state_stopped}, {8, dl_state_complete}, {9, dl_state_stopped}};
        Touch(tasks.paths[7] + L".td");
        Touch(tasks.paths[8]);
    }

    HostSandbox sandbox;
    std::wstring root, host_folder, program, downloads, host_exe;
    TransferRequest request;
    Site site;
    Tasks tasks;
};

TEST_F(TransferTest, HandsOverWithTheFileAndTheExactCommandLine) {
    HalfDone();
    TaskTransfer transfer(site, tasks);
    transfer.SetWaits(10, 0);
    EXPECT_EQ(TaskTransfer::Outcome::handed_over, transfer.Transfer(request));
    EXPECT_EQ((std::vector<std::wstring>{L"transferring", L"report", L"handed over", L"close"}),
              site.calls);
    EXPECT_EQ(0, tasks.stops);
    EXPECT_FALSE(transfer.Pending());

    const std::wstring file = program + L"gametaskinfo.ini";
    const std::string d = Narrow(downloads);
    const std::string expected =
        "[GameTempTask]\r\n"
        "urlgametask1=http://files.example/game/setup.exe\r\n"
        "pathgametask1=" +
        d +
        "setup.exe\r\n"
        "TaskCount=1\r\n"
        "[GameSuccessTask]\r\n"
        "urlgametask1=http://files.example/game/data1.bin\r\n"
        "pathgametask1=" +
        d +
        "data1.bin\r\n"
        "TaskCount=1\r\n"
        "[GameCreateTask]\r\n"
        "urlgametask1=http://files.example/game/data2.bin\r\n"
        "pathgametask1=" +
        d +
        "data2.bin\r\n"
        "TaskCount=1\r\n"
        "[GameInfo]\r\n"
        "GameId=4321\r\n";
    EXPECT_EQ(expected, Bytes(file));

    const std::wstring log = HostLog();
    const std::wstring args = L"\targs\t-NetGameCmd:\"" + file + L"\" -SelMyDownload:yes\r\n";
    EXPECT_NE(std::wstring::npos, log.find(args)) << Narrow(log);
    // The host read the same file: one to continue, one finished, one to start.
    EXPECT_NE(std::wstring::npos, log.find(L"\tnetgame\t" + file + L"\tyes")) << Narrow(log);
    EXPECT_NE(std::wstring::npos, log.find(L"\tgame\t4321"));
    EXPECT_NE(std::wstring::npos,
              log.find(L"\tlisted\tGameTempTask\thttp://files.example/game/setup.exe\t" +
                       downloads + L"setup.exe"));
    EXPECT_NE(std::wstring::npos, log.find(L"\tfinished\thttp://files.example/game/data1.bin\t" +
                                           downloads + L"data1.bin\tpresent"));
}

TEST_F(TransferTest, SelMyDownloadOffEndsTheCommandLineWithNo) {
    HalfDone();
    request.sel_my_download = false;
    TaskTransfer transfer(site, tasks);
    transfer.SetWaits(10, 0);
    EXPECT_EQ(TaskTransfer::Outcome::handed_over, transfer.Transfer(request));
    const std::wstring file = program + L"gametaskinfo.ini";
    EXPECT_NE(std::wstring::npos,
              HostLog().find(L"\targs\t-NetGameCmd:\"" + file + L"\" -SelMyDownload:no\r\n"));
    EXPECT_EQ(L"-NetGameCmd:\"C:\\a b\\gametaskinfo.ini\" -SelMyDownload:no",
              host_transfer_parameters(L"C:\\a b\\gametaskinfo.ini", false));
}

TEST_F(TransferTest, ARunningTaskIsStoppedFirstAndTheSecondPassHandsOver) {
    HalfDone();
    tasks.states[7] = dl_state_running;  // still writing its ".td"
    TaskTransfer transfer(site, tasks);
    transfer.SetWaits(10, 0);
    EXPECT_EQ(TaskTransfer::Outcome::stopping, transfer.Transfer(request));
    EXPECT_TRUE(transfer.Pending());
    EXPECT_EQ(1, tasks.stops);
    EXPECT_EQ((std::vector<std::wstring>{L"transferring", L"refresh"}), site.calls);
    EXPECT_FALSE(exists(program + L"gametaskinfo.ini"));
    EXPECT_EQ(0u, process_id(L"Torvane.exe"));

    // The tasks have stopped: the controller hands over.
    tasks.states[7] = dl_state_stopped;
    site.calls.clear();
    EXPECT_EQ(TaskTransfer::Outcome::handed_over, transfer.HandOver(request));
    EXPECT_FALSE(transfer.Pending());
    EXPECT_EQ((std::vector<std::wstring>{L"report", L"handed over", L"close"}), site.calls);
    EXPECT_NE(std::wstring::npos, HostLog().find(L"-NetGameCmd:"));
}

TEST_F(TransferTest, ReadyNeedsAStoppedTaskAndNoLiveTdFile) {
    TaskTransfer transfer(site, tasks);
    // Everything finished: no stopped task, not ready.
    tasks.states = {{7, dl_state_complete}, {8, dl_state_complete}, {9, dl_state_failed}};
    EXPECT_EQ(0, transfer.Ready(request.task_ids));
    tasks.states[9] = dl_state_stopped;
    EXPECT_EQ(1, transfer.Ready(request.task_ids));
    // A task the engine still works on is not ready, with or without its
    // ".td" file: the engine may create the file the next moment, and the
    // host's engine would then write the same file.
    for (int state :
         {dl_state_predownloading, dl_state_starting, dl_state_running, dl_state_stopping}) {
        tasks.states[8] = state;
        EXPECT_EQ(0, transfer.Ready(request.task_ids)) << state;
    }
    Touch(tasks.paths[8] + L".td");
    EXPECT_EQ(0, transfer.Ready(request.task_ids));
    // A task the engine does not know (no state) counts only by its file.
    tasks.states[8] = 0;
    EXPECT_EQ(0, transfer.Ready(request.task_ids));
    DeleteFileW((tasks.paths[8] + L".td").c_str());
    EXPECT_EQ(1, transfer.Ready(request.task_ids));
    Touch(tasks.paths[8] + L".td");
    // A failed or finished task is skipped even with its ".td" file.
    tasks.states[8] = dl_state_failed;
    EXPECT_EQ(1, transfer.Ready(request.task_ids));
    EXPECT_EQ(0, transfer.Ready({}));
}

TEST_F(TransferTest, EverythingFinishedStopsAndHandsNothingOver) {
    tasks.states = {{7, dl_state_complete}, {8, dl_state_complete}, {9, dl_state_complete}};
    TaskTransfer transfer(site, tasks);
    EXPECT_EQ(TaskTransfer::Outcome::stopping, transfer.Transfer(request));
    EXPECT_EQ(1, tasks.stops);
    EXPECT_EQ(TaskTransfer::Outcome::nothing_to_hand, transfer.HandOver(request));
    EXPECT_EQ((std::vector<std::wstring>{L"transferring", L"refresh", L"report"}), site.calls);
    Sleep(200);
    EXPECT_EQ(0u, process_id(L"Torvane.exe"));
    EXPECT_FALSE(exists(host_folder + L"Program\\Torvane.log"));
}

TEST_F(TransferTest, TasksThatDoNotMatchTheConfiguredUrlsAreNotHandedOver) {
    HalfDone();
    request.task_ids = {7, 9};  // one task fewer than URLs
    TaskTransfer transfer(site, tasks);
    EXPECT_EQ(TaskTransfer::Outcome::not_written, transfer.Transfer(request));
    EXPECT_EQ((std::vector<std::wstring>{L"transferring", L"report", L"refresh"}), site.calls);
    EXPECT_FALSE(exists(program + L"gametaskinfo.ini"));
    EXPECT_FALSE(exists(host_folder + L"Program\\Torvane.log"));
}

TEST_F(TransferTest, TheRunningHostIsClosedOnlyWithConsent) {
    HalfDone();
    HANDLE host = start(L"\"" + host_exe + L"\"");  // a plain start: it stays with its window
    ASSERT_TRUE(host);
    for (int i = 0;
         i < 200 && read_utf8(host_folder + L"Program\\Torvane.log").find(L"\twindow\topen") ==
                        std::wstring::npos;
         ++i) {
        Sleep(50);
    }
    TaskTransfer transfer(site, tasks);
    transfer.SetWaits(500, 0);
    site.answers = {2};
    EXPECT_EQ(TaskTransfer::Outcome::refused, transfer.Transfer(request));
    EXPECT_EQ((std::vector<std::wstring>{L"ask close_host"}), site.calls);
    EXPECT_EQ(transfer_close_host_question, site.texts[0]);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(host, 0));  // still running
    EXPECT_FALSE(exists(program + L"gametaskinfo.ini"));

    site.calls.clear();
    site.answers = {1, 1, 1};
    const DWORD began = GetTickCount();
    EXPECT_EQ(TaskTransfer::Outcome::handed_over, transfer.Transfer(request));
    EXPECT_GE(GetTickCount() - began, 450u);  // looked again only after the pause
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(host, 5000));
    CloseHandle(host);
    EXPECT_EQ(L"ask close_host", site.calls.front());
    EXPECT_EQ(L"close", site.calls.back());
    EXPECT_NE(std::wstring::npos, HostLog().find(L"-NetGameCmd:"));
}

TEST_F(TransferTest, WithoutTheAddInTheUserChoosesBetweenLeavingAndStaying) {
    HalfDone();
    request.addin_present = false;
    TaskTransfer transfer(site, tasks);
    site.answers = {2};
    EXPECT_EQ(TaskTransfer::Outcome::refused, transfer.Transfer(request));
    EXPECT_EQ((std::vector<std::wstring>{L"ask addin_missing"}), site.calls);
    EXPECT_EQ(transfer_addin_missing_question, site.texts[0]);
    site.calls.clear();
    site.answers = {1};
    EXPECT_EQ(TaskTransfer::Outcome::closed, transfer.Transfer(request));
    EXPECT_EQ((std::vector<std::wstring>{L"ask addin_missing", L"close"}), site.calls);
    EXPECT_FALSE(exists(program + L"gametaskinfo.ini"));
    EXPECT_EQ(0, tasks.stops);
}

TEST_F(TransferTest, AHostThatCannotStartLeavesTheDownloadHere) {
    HalfDone();
    SetHostValue(L"Path", host_folder + L"Program\\missing.exe");
    TaskTransfer transfer(site, tasks);
    EXPECT_EQ(TaskTransfer::Outcome::host_failed, transfer.Transfer(request));
    // Not marked as the host's, the window stays, the controls come back.
    EXPECT_EQ((std::vector<std::wstring>{L"transferring", L"report", L"refresh"}), site.calls);
    EXPECT_TRUE(exists(program + L"gametaskinfo.ini"));

    delete_host_key();
    site.calls.clear();
    EXPECT_EQ(TaskTransfer::Outcome::host_failed, transfer.Transfer(request));
    EXPECT_EQ((std::vector<std::wstring>{L"transferring", L"report", L"refresh"}), site.calls);
}

}  // namespace
