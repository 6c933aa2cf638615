// Torvane.exe's command lines: what it records in its log and what it does.
// The hand-over runs against a scripted engine placed beside a copy of
// Torvane.exe, so that continued and new downloads can be told apart.
#include <gtest/gtest.h>

#include "tests/standins_host/loopback_server.h"
#include "tests/standins_host/support.h"

namespace {

using namespace standin_test;

// A host laid out as installed: <root>Program\Torvane.exe (+ the scripted
// engine), <root>Addins\, and the registry pointing at it.
class TorvaneCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = temp_folder(L"torvane");
        program_ = root_ + L"Program\\";
        ASSERT_TRUE(CreateDirectoryW(program_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((root_ + L"Addins").c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(built(TORVANE_EXE).c_str(), exe().c_str(), FALSE));
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::wstring addins = root_ + L"Addins";
        RegSetValueExW(key, L"addinsdir", 0, REG_SZ, reinterpret_cast<const BYTE*>(addins.c_str()),
                       static_cast<DWORD>((addins.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    void TearDown() override {
        end_processes(L"Torvane.exe");
        remove_tree(root_);
    }

    void add_engine() {
        ASSERT_TRUE(CopyFileW(built(FAKE_ENGINE_DLL).c_str(),
                              (program_ + L"asyn_download_interface.dll").c_str(), FALSE));
    }
    std::wstring exe() const { return program_ + L"Torvane.exe"; }
    std::wstring log() const { return read_utf8(program_ + L"Torvane.log"); }
    std::wstring engine_log() const { return read_utf8(program_ + L"fake_engine.log"); }
    bool logged(const std::wstring& line) const {
        return log().find(L"\t" + line + L"\r\n") != std::wstring::npos;
    }

    HostSandbox sandbox_;
    std::wstring root_;
    std::wstring program_;
};

TEST_F(TorvaneCommands, BuildAddinsListsEveryAddinFolderWithItsConfiguration) {
    const std::wstring addins = root_ + L"Addins\\";
    ASSERT_TRUE(CreateDirectoryW((addins + L"ZudUrirOzoduro123").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((addins + L"Plain").c_str(), nullptr));
    ASSERT_TRUE(write_bytes(addins + L"ZudUrirOzoduro123\\addin.cfg",
                            "<addin show_name=\"\xE6\xB3\xB0 & co\" name=\"ZudUrirOzoduro123\" "
                            "torvane=\"1.7\"/>"));
    ASSERT_TRUE(write_bytes(addins + L"stray.txt", "not a folder"));

    EXPECT_EQ(run(L"\"" + exe() + L"\" -buildaddins"), 0);
    const std::wstring cache = read_utf8(addins + L"addins_cache.xml");
    EXPECT_NE(cache.find(L"<addin folder=\"ZudUrirOzoduro123\" name=\"ZudUrirOzoduro123\" "
                         L"show_name=\"泰 &amp; co\" torvane=\"1.7\"/>"),
              std::wstring::npos)
        << cache;
    EXPECT_NE(cache.find(L"<addin folder=\"Plain\"/>"), std::wstring::npos) << cache;
    EXPECT_EQ(cache.find(L"stray"), std::wstring::npos);
    EXPECT_TRUE(logged(L"args\t-buildaddins"));
    EXPECT_TRUE(logged(L"buildaddins\t2\t" + addins + L"addins_cache.xml"));
}

TEST_F(TorvaneCommands, BringToTopRaisesTheRunningInstanceAndExits) {
    HANDLE first = start(L"\"" + exe() + L"\"");
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < 200 && !logged(L"window\topen"); ++i) {
        Sleep(50);
    }
    ASSERT_TRUE(logged(L"window\topen")) << log();

    EXPECT_EQ(run(L"\"" + exe() + L"\" -window:bringtotop", 20000), 0);
    EXPECT_TRUE(logged(L"args\t-window:bringtotop"));
    EXPECT_TRUE(logged(L"bringtotop\traised")) << log();

    HWND window = FindWindowW(L"TorvaneStandInMainWindow", nullptr);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(first, 10000), WAIT_OBJECT_0);
    CloseHandle(first);
    EXPECT_TRUE(logged(L"window\tclosed"));
}

TEST_F(TorvaneCommands, NetGameCmdWithAMissingFileFailsAndSaysSo) {
    const std::wstring ini = root_ + L"nothing here.ini";
    const std::wstring args = L"-NetGameCmd:\"" + ini + L"\" -SelMyDownload:yes";
    EXPECT_EQ(run(L"\"" + exe() + L"\" " + args), 3);
    EXPECT_TRUE(logged(L"args\t" + args));
    EXPECT_TRUE(logged(L"netgame\t" + ini + L"\tyes"));
    EXPECT_TRUE(logged(L"error\ttask file missing\t" + ini));
}

// The hand-over file of a client that had one finished, one half-done and
// one not yet started file: the half-done one continues from its ".td", the
// other is started anew, both end up finished.
TEST_F(TorvaneCommands, NetGameCmdContinuesHalfDoneFilesAndStartsTheRest) {
    add_engine();
    const std::wstring games = root_ + L"games\\";
    ASSERT_TRUE(CreateDirectoryW(games.c_str(), nullptr));
    ASSERT_TRUE(write_bytes(games + L"a.bin", "done"));
    ASSERT_TRUE(write_bytes(games + L"b.bin.td", "half"));
    const std::wstring ini = root_ + L"gametaskinfo.ini";
    auto put = [&](const wchar_t* section, const wchar_t* key, const std::wstring& value) {
        ASSERT_TRUE(WritePrivateProfileStringW(section, key, value.c_str(), ini.c_str()));
    };
    put(L"GameInfo", L"GameId", L"123");
    put(L"GameSuccessTask", L"TaskCount", L"1");
    put(L"GameSuccessTask", L"urlgametask1", L"http://127.0.0.1:1/a.bin");
    put(L"GameSuccessTask", L"pathgametask1", games + L"a.bin");
    put(L"GameTempTask", L"TaskCount", L"1");
    put(L"GameTempTask", L"urlgametask1", L"http://127.0.0.1:1/b.bin");
    put(L"GameTempTask", L"pathgametask1", games + L"b.bin");
    put(L"GameCreateTask", L"TaskCount", L"1");
    put(L"GameCreateTask", L"urlgametask1", L"http://127.0.0.1:1/c.bin");
    put(L"GameCreateTask", L"pathgametask1", games + L"c.bin");

    const std::wstring args = L"-NetGameCmd:\"" + ini + L"\" -SelMyDownload:no";
    EXPECT_EQ(run(L"\"" + exe() + L"\" " + args), 0) << log();
    EXPECT_TRUE(logged(L"args\t" + args));
    EXPECT_TRUE(logged(L"netgame\t" + ini + L"\tno"));
    EXPECT_TRUE(logged(L"game\t123"));
    EXPECT_TRUE(logged(L"finished\thttp://127.0.0.1:1/a.bin\t" + games + L"a.bin\tpresent"));
    EXPECT_TRUE(logged(L"continue\thttp://127.0.0.1:1/b.bin\t" + games + L"b.bin"));
    EXPECT_TRUE(logged(L"start\thttp://127.0.0.1:1/c.bin\t" + games + L"c.bin"));
    EXPECT_TRUE(logged(L"done\thttp://127.0.0.1:1/b.bin\tb.bin\t1234"));
    EXPECT_TRUE(logged(L"done\thttp://127.0.0.1:1/c.bin\tc.bin\t1234"));
    EXPECT_TRUE(logged(L"summary\t2 of 2 finished"));

    const std::wstring calls = engine_log();
    EXPECT_NE(calls.find(L"init 0\r\nstart_process_thread\r\n"), std::wstring::npos) << calls;
    EXPECT_NE(calls.find(L"create_continued_task http://127.0.0.1:1/b.bin|" + games + L"|b.bin"),
              std::wstring::npos)
        << calls;
    EXPECT_NE(calls.find(L"create_new_task http://127.0.0.1:1/c.bin|" + games + L"| -> "),
              std::wstring::npos)
        << calls;
    EXPECT_NE(calls.find(L"set_task_type 1 0\r\nstart_task 1"), std::wstring::npos) << calls;
    EXPECT_EQ(calls.find(L"a.bin"), std::wstring::npos) << calls;
    EXPECT_NE(calls.find(L"uninit"), std::wstring::npos);
    EXPECT_TRUE(exists(games + L"b.bin"));
    EXPECT_FALSE(exists(games + L"b.bin.td"));
    EXPECT_TRUE(exists(games + L"c.bin"));
}

TEST_F(TorvaneCommands, NetGameCmdReportsAFailedDownloadAndAMissingEngine) {
    const std::wstring ini = root_ + L"gametaskinfo.ini";
    ASSERT_TRUE(WritePrivateProfileStringW(L"GameCreateTask", L"TaskCount", L"1", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"GameCreateTask", L"urlgametask1",
                                           L"http://127.0.0.1:1/fail.bin", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"GameCreateTask", L"pathgametask1",
                                           (root_ + L"fail.bin").c_str(), ini.c_str()));
    const std::wstring command =
        L"\"" + exe() + L"\" -NetGameCmd:\"" + ini + L"\" -SelMyDownload:yes";

    EXPECT_EQ(run(command), 4);
    EXPECT_TRUE(logged(L"error\tengine missing\t" + program_ + L"asyn_download_interface.dll"));

    add_engine();
    EXPECT_EQ(run(command), 5);
    EXPECT_TRUE(logged(L"failed\thttp://127.0.0.1:1/fail.bin\tstate 12")) << log();
    EXPECT_TRUE(logged(L"summary\t0 of 1 finished"));
    EXPECT_TRUE(logged(L"exit\t5"));
}

}  // namespace

#if STANDIN_HAVE_ENGINE
namespace {

using namespace standin_test;

// The installed host with the real engine: a listed file is fetched from a
// loopback server into the folder the hand-over file names.
TEST(TorvaneEngine, NetGameCmdDownloadsThroughTheInstalledEngine) {
    HostSandbox sandbox;
    const std::wstring folder = temp_folder(L"engine") + L"Torvane";
    ASSERT_EQ(run(built(TORVANE_SETUP) + L" /S /D=" + folder), 0);

    std::string body;
    for (int i = 0; i < 300000; ++i) {
        body += static_cast<char>('a' + (i * 7) % 26);
    }
    LoopbackServer server(body);
    ASSERT_NE(server.port(), 0);
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/game.bin";
    const std::wstring games = folder + L"\\games\\";
    ASSERT_TRUE(CreateDirectoryW(games.c_str(), nullptr));
    const std::wstring ini = folder + L"\\gametaskinfo.ini";
    ASSERT_TRUE(WritePrivateProfileStringW(L"GameCreateTask", L"TaskCount", L"1", ini.c_str()));
    ASSERT_TRUE(
        WritePrivateProfileStringW(L"GameCreateTask", L"urlgametask1", url.c_str(), ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"GameCreateTask", L"pathgametask1",
                                           (games + L"game.bin").c_str(), ini.c_str()));

    const std::wstring exe = host_value(L"Path");
    const int code =
        run(L"\"" + exe + L"\" -NetGameCmd:\"" + ini + L"\" -SelMyDownload:yes", 90000);
    const std::wstring log = read_utf8(folder + L"\\Program\\Torvane.log");
    EXPECT_EQ(code, 0) << log;
    EXPECT_NE(log.find(L"\tdone\t" + url + L"\tgame.bin\t300000\r\n"), std::wstring::npos) << log;
    EXPECT_GE(server.requests(), 1);
    std::wstring downloaded = read_utf8(games + L"game.bin");
    EXPECT_EQ(downloaded.size(), body.size());
    EXPECT_TRUE(downloaded == std::wstring(body.begin(), body.end()));
    EXPECT_FALSE(exists(games + L"game.bin.td"));
    end_processes(L"tdengine.exe");
    remove_tree(folder.substr(0, folder.find_last_of(L'\\')));
}

}  // namespace
#endif
