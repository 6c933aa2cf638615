// The add-in installer against a host folder laid out by the stand-in host's
// silent installer, with the world stand-in's add-in and skin packages.
#include "host/addin_installer.h"

#include <gtest/gtest.h>

#include <memory>

#include "host/strings.h"
#include "tests/host/test_folder.h"
#include "tests/installers/installer_test_support.h"
#include "tests/standins_host/support.h"

namespace {

using namespace installer_test;
using standin_test::exists;
using standin_test::is_folder;

const wchar_t kTitle[] = L"泰萨利传说";

std::string resource_list_1001() {
    return "<QMUE><resource> <bitmap id=\"bitmap.zudurirozoduro.1001.toolbar.menu\" "
           "path=\"bitmap\\1001toolbar.menu.png\" /> <bitmap "
           "id=\"bitmap.zudurirozoduro.1001.toolbar\" path=\"bitmap\\1001toolbar.png\" /> "
           "</resource></QMUE>";
}

class AddinInstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        GetCurrentDirectoryW(MAX_PATH, saved_directory_);
        ASSERT_EQ(standin_test::process_id(L"torvane.exe"), 0u) << "a host is already running";
        const std::wstring base = other_drive_base();
        ASSERT_FALSE(base.empty()) << "no drive besides the system's";
        folder_ = std::make_unique<TestFolder>(base);
        ASSERT_TRUE(folder_->ok());
        // Off the system drive the host keeps its profiles and skins in its
        // own folder, so each test has its own.
        host_ = folder_->path() + L"host\\";
        addins_ = host_ + L"Addins\\";
        profiles_ = host_ + L"Profiles\\";
        pictures_ = folder_->path() + L"client\\";
        ASSERT_TRUE(CreateDirectoryW(pictures_.c_str(), nullptr));
        ASSERT_TRUE(write_file(pictures_ + L"logo.png", "logo picture"));
        ASSERT_TRUE(write_file(pictures_ + L"toolbar.png", "toolbar picture"));
        ASSERT_TRUE(write_file(pictures_ + L"toolbar.menu.png", "toolbar menu picture"));
        skin_task_ = task_for(package(L"TessalyDemo.skn"));
        ASSERT_GT(skin_task_, 0);
    }

    void TearDown() override {
        standin_test::end_processes(L"Torvane.exe");
        SetCurrentDirectoryW(saved_directory_);
    }

    void InstallHost(const char* setup) {
        const std::wstring folder = host_.substr(0, host_.size() - 1);
        ASSERT_EQ(standin_test::run(standin_test::built(setup) + L" /S /D=" + folder), 0);
        ASSERT_EQ(standin_test::host_value(L"addinsdir") + L"\\", addins_);
    }

    InstallerResult InstallGame(const std::wstring& id, const wchar_t* package_name,
                                ScriptedPrompt& prompt, CountingDone& done) {
        AddinSettings settings;
        settings.game_id = id;
        settings.title = kTitle;
        settings.tab_info_url = L"http://127.0.0.1/channel/tabinfo.html?g=" + id;
        settings.tab_url = L"http://127.0.0.1/channel/tab.html?g=" + id;
        settings.news_url = L"http://127.0.0.1/channel/news.html?g=" + id;
        settings.hotspot_url = L"http://127.0.0.1/channel/hotspot.html?g=" + id;
        AddinInstaller installer(settings, prompt, done);
        installer.SetPictureFolder(pictures_);
        installer.SetWaitLimits(10000, 30000);
        return installer.Install(task_for(package(package_name)), skin_task_);
    }

    InstallerResult InstallGame(const std::wstring& id, const wchar_t* package_name) {
        ScriptedPrompt prompt;
        CountingDone done;
        const InstallerResult result = InstallGame(id, package_name, prompt, done);
        EXPECT_TRUE(prompt.asked.empty());
        EXPECT_EQ(done.count, 1);
        return result;
    }

    std::wstring copy(const std::wstring& id) const {
        return addins_ + L"ZudUrirOzoduro" + id + L"\\";
    }
    std::wstring resources(const std::wstring& id) const {
        return copy(id) + L"QAR\\ZudUrirOzoduro\\res\\default\\";
    }
    std::wstring host_log() const { return host_ + L"Program\\Torvane.log"; }
    bool host_built_addins() const {
        return read_file(host_log()).find("\tbuildaddins\t") != std::string::npos;
    }

    standin_test::HostSandbox sandbox_;
    wchar_t saved_directory_[MAX_PATH] = {};
    std::unique_ptr<TestFolder> folder_;
    std::wstring host_, addins_, profiles_, pictures_;
    int skin_task_ = -1;
};

TEST_F(AddinInstallerTest, InstallsTheCopyAndSharesWithTwoOtherGamesBothWays) {
    InstallHost(TORVANE_SETUP);
    ASSERT_EQ(InstallGame(L"2001", L"ZudUrirOzoduro.zip"), InstallerResult::installed);
    ASSERT_EQ(InstallGame(L"2002", L"ZudUrirOzoduro.zip"), InstallerResult::installed);
    ASSERT_TRUE(write_file(copy(L"2001") + L"startup.lua", "stale script"));
    ASSERT_EQ(InstallGame(L"1001", L"ZudUrirOzoduro.zip"), InstallerResult::installed);

    // The unpacked folder became this game's copy.
    EXPECT_FALSE(exists(addins_ + L"ZudUrirOzoduro"));
    EXPECT_TRUE(exists(copy(L"1001") + L"startup.lua"));
    EXPECT_TRUE(exists(copy(L"1001") + L"qar\\ZudUrirOzoduro\\onload.lua"));

    // Three resource lists and six toolbar pictures under this game's copy.
    const std::wstring own = resources(L"1001");
    for (const wchar_t* id : {L"1001", L"2001", L"2002"}) {
        const std::wstring name(id);
        EXPECT_EQ(read_file(own + L"bitmap\\" + name + L"toolbar.png"), "toolbar picture") << id;
        EXPECT_EQ(read_file(own + L"bitmap\\" + name + L"toolbar.menu.png"), "toolbar menu picture")
            << id;
        EXPECT_TRUE(exists(own + name + L".xml")) << id;
    }
    int pictures = 0, lists = 0;
    for (const auto& file : tree(own)) {
        const std::wstring& name = file.first;
        pictures += name.find(L"toolbar") != std::wstring::npos ? 1 : 0;
        lists += name.size() > 4 && name.compare(name.size() - 4, 4, L".xml") == 0 &&
                         name != L"default.xml"
                     ? 1
                     : 0;
    }
    EXPECT_EQ(pictures, 6);
    EXPECT_EQ(lists, 3);
    EXPECT_EQ(read_file(own + L"1001.xml"), resource_list_1001());
    EXPECT_TRUE(exists(own + L"bitmap\\zudurirozoduro.tab.png"));  // from res\default.zip

    // And this game's pictures and list in the other copies.
    for (const wchar_t* id : {L"2001", L"2002"}) {
        EXPECT_EQ(read_file(resources(id) + L"1001.xml"), resource_list_1001()) << id;
        EXPECT_EQ(read_file(resources(id) + L"bitmap\\1001toolbar.png"), "toolbar picture");
        EXPECT_EQ(read_file(copy(id) + L"startup.lua"), read_file(copy(L"1001") + L"startup.lua"));
    }
    EXPECT_TRUE(exists(resources(L"2001") + L"2002.xml"));

    const std::wstring game_config = copy(L"1001") + L"game_config.ini";
    EXPECT_EQ(ini_value(game_config, L"config", L"first_load_off"), L"true");
    EXPECT_EQ(ini_value(game_config, L"config", L"gametitle"), kTitle);
    EXPECT_EQ(ini_value(game_config, L"config", L"game_id"), L"1001");
    EXPECT_EQ(ini_value(game_config, L"config", L"tab_info_url"),
              L"http://127.0.0.1/channel/tabinfo.html?g=1001");
    EXPECT_EQ(ini_value(game_config, L"config", L"tab_url"),
              L"http://127.0.0.1/channel/tab.html?g=1001");
    EXPECT_EQ(ini_value(game_config, L"config", L"news_url"),
              L"http://127.0.0.1/channel/news.html?g=1001");
    EXPECT_EQ(ini_value(game_config, L"config", L"hotspot_url"),
              L"http://127.0.0.1/channel/hotspot.html?g=1001");
    EXPECT_EQ(ini_value(profiles_ + L"qm_right\\dynamic_tab.ini", L"Section1", L"url"),
              L"http://127.0.0.1/channel/news.html?g=1001");
    EXPECT_EQ(ini_value(profiles_ + L"qm_right\\dynamic_tab.ini", L"Section1", L"id"), L"1001");
    const std::wstring own_ini = profiles_ + L"ZudUrirOzoduro\\ZudUrirOzoduro.ini";
    EXPECT_EQ(ini_value(own_ini, L"config", L"game_id"), L"1001");
    EXPECT_EQ(ini_value(own_ini, L"config", L"subscribe"), L"1001;2002;2001;");
    EXPECT_EQ(ini_value(profiles_ + L"config.ini", L"InitWizard", L"FirstTimeShow"), L"0");
    EXPECT_EQ(read_file(copy(L"1001") + L"logo.png"), "logo picture");
    EXPECT_EQ(read_file(copy(L"1001") + L"toolbar.png"), "toolbar picture");
    EXPECT_EQ(read_file(copy(L"1001") + L"toolbar.menu.png"), "toolbar menu picture");

    // "addin.cfg" names this game's copy, in UTF-8.
    EXPECT_EQ(read_file(copy(L"1001") + L"addin.cfg"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<addin name=\"ZudUrirOzoduro1001\" "
              "show_name=\"泰萨利传说\" version=\"1.0.0.1\" torvane=\"1.7\" "
              "entry=\"startup.lua\" />\r\n");

    // The host (7.2.0.1000) rebuilt its list after each installation.
    const std::string cache = read_file(addins_ + L"addins_cache.xml");
    EXPECT_NE(cache.find("name=\"ZudUrirOzoduro1001\""), std::string::npos) << cache;
    EXPECT_NE(cache.find("name=\"ZudUrirOzoduro2002\""), std::string::npos) << cache;
    EXPECT_TRUE(host_built_addins());

    // Three installations of the same skin package: "(n)" names.
    EXPECT_TRUE(exists(host_ + L"Skin\\TessalyDemo.skn"));
    EXPECT_TRUE(exists(host_ + L"Skin\\(1)TessalyDemo.skn"));
    EXPECT_TRUE(exists(host_ + L"Skin\\(2)TessalyDemo.skn"));
    EXPECT_EQ(ini_value(profiles_ + L"Config.ini", L"Skin", L"Scheme"),
              L"(2)TessalyDemo.skn::default");

    // The extraction moved the current directory; it ends at the pictures.
    EXPECT_EQ(lstrcmpiW(current_directory().c_str(), pictures_.c_str()), 0);
}

TEST_F(AddinInstallerTest, KeepsASubscriptionThatHoldsTheGameAndAddsOneThatDoesNot) {
    InstallHost(TORVANE_SETUP);
    const std::wstring own_ini = profiles_ + L"ZudUrirOzoduro\\ZudUrirOzoduro.ini";
    CreateDirectoryW((profiles_ + L"ZudUrirOzoduro").c_str(), nullptr);
    ASSERT_TRUE(
        WritePrivateProfileStringW(L"config", L"subscribe", L"3001;1001;4001;", own_ini.c_str()));
    InstallGame(L"1001", L"ZudUrirOzoduro.zip");
    EXPECT_EQ(ini_value(own_ini, L"config", L"subscribe"), L"3001;1001;4001;");
    // "100" is inside "1001" but is not subscribed yet.
    InstallGame(L"100", L"ZudUrirOzoduro.zip");
    EXPECT_EQ(ini_value(own_ini, L"config", L"subscribe"), L"100;3001;1001;4001;");
    EXPECT_EQ(ini_value(own_ini, L"config", L"game_id"), L"100");
}

TEST_F(AddinInstallerTest, AnOlderHostKeepsOldCopiesAndIsNotAskedToRebuild) {
    InstallHost(TORVANE_SETUP_OLD);
    ASSERT_EQ(standin_test::host_value(L"Version"), L"7.1.9.9999");
    InstallGame(L"2001", L"ZudUrirOzoduro16.zip");
    InstallGame(L"1001", L"ZudUrirOzoduro.zip");
    EXPECT_TRUE(exists(copy(L"2001") + L"addin.cfg"));
    EXPECT_TRUE(exists(resources(L"1001") + L"2001.xml"));
    EXPECT_FALSE(host_built_addins());
    EXPECT_FALSE(exists(addins_ + L"addins_cache.xml"));
}

TEST_F(AddinInstallerTest, ANewHostLosesCopiesMadeForTheOldLoader) {
    InstallHost(TORVANE_SETUP);
    InstallGame(L"2002", L"ZudUrirOzoduro.zip");
    InstallGame(L"2001", L"ZudUrirOzoduro16.zip");
    ASSERT_TRUE(is_folder(copy(L"2001")));
    InstallGame(L"1001", L"ZudUrirOzoduro.zip");
    EXPECT_FALSE(exists(copy(L"2001")));
    EXPECT_TRUE(is_folder(copy(L"2002")));
    EXPECT_FALSE(exists(resources(L"1001") + L"2001.xml"));
    EXPECT_TRUE(exists(resources(L"1001") + L"2002.xml"));
    EXPECT_TRUE(host_built_addins());
}

TEST_F(AddinInstallerTest, ASecondInstallationGivesTheSameFiles) {
    InstallHost(TORVANE_SETUP);
    InstallGame(L"2001", L"ZudUrirOzoduro.zip");
    InstallGame(L"1001", L"ZudUrirOzoduro.zip");
    const auto first = tree(addins_);
    const auto first_profiles = tree(profiles_ + L"ZudUrirOzoduro\\");
    // Left from the first installation, gone after the second.
    ASSERT_TRUE(write_file(copy(L"1001") + L"leftover.txt", "x"));
    InstallGame(L"1001", L"ZudUrirOzoduro.zip");
    EXPECT_EQ(tree(addins_), first);
    EXPECT_EQ(tree(profiles_ + L"ZudUrirOzoduro\\"), first_profiles);
    EXPECT_GT(first.size(), 20u);
}

TEST_F(AddinInstallerTest, APackageThatCannotBeUnpackedLeavesAFreshCopyWithTheSettings) {
    InstallHost(TORVANE_SETUP);
    InstallGame(L"1001", L"ZudUrirOzoduro.zip");
    ASSERT_TRUE(exists(copy(L"1001") + L"startup.lua"));
    EXPECT_EQ(InstallGame(L"1001", L"Broken.zip"), InstallerResult::installed);
    EXPECT_FALSE(exists(copy(L"1001") + L"startup.lua"));
    EXPECT_FALSE(exists(copy(L"1001") + L"addin.cfg"));
    EXPECT_EQ(ini_value(copy(L"1001") + L"game_config.ini", L"config", L"game_id"), L"1001");
    EXPECT_EQ(read_file(copy(L"1001") + L"logo.png"), "logo picture");
    EXPECT_FALSE(exists(addins_ + L"ZudUrirOzoduro"));
    // The skin still came.
    EXPECT_TRUE(exists(host_ + L"Skin\\(1)TessalyDemo.skn"));
}

TEST_F(AddinInstallerTest, AnAddinCfgWithoutNameOrShowNameIsLeftAsItIs) {
    InstallHost(TORVANE_SETUP);
    for (const wchar_t* variant : {L"NoName", L"NoShowName"}) {
        InstallGame(L"1001", (std::wstring(variant) + L".zip").c_str());
        EXPECT_EQ(read_file(copy(L"1001") + L"addin.cfg"),
                  read_file(package((std::wstring(variant) + L".cfg").c_str())))
            << variant;
        EXPECT_NE(read_file(package((std::wstring(variant) + L".cfg").c_str())), "<missing>");
        // Everything else was installed.
        EXPECT_TRUE(exists(resources(L"1001") + L"1001.xml"));
    }
}

TEST_F(AddinInstallerTest, ARunningHostIsClosedOnlyWithConsent) {
    InstallHost(TORVANE_SETUP);
    InstallGame(L"1001", L"ZudUrirOzoduro.zip");
    const std::wstring host = standin_test::host_value(L"Path");
    HANDLE running = standin_test::start(L"\"" + host + L"\"");
    ASSERT_NE(running, nullptr);
    for (int i = 0; i < 100 && standin_test::process_id(L"torvane.exe") == 0; ++i) {
        Sleep(50);
    }
    ASSERT_NE(standin_test::process_id(L"torvane.exe"), 0u);
    for (int i = 0; i < 100 && read_file(host_log()).find("window open") == std::string::npos;
         ++i) {
        Sleep(50);
    }
    // The host has logged its start; from here nothing may change.
    const auto settled = tree(host_);

    {
        ScriptedPrompt refuse({0});
        CountingDone done;
        EXPECT_EQ(InstallGame(L"1001", L"ZudUrirOzoduro.zip", refuse, done),
                  InstallerResult::refused);
        ASSERT_EQ(refuse.asked.size(), 1u);
        EXPECT_EQ(refuse.asked[0].question, InstallerQuestion::close_host);
        EXPECT_EQ(refuse.asked[0].text, close_host_question);
        EXPECT_EQ(done.count, 1);
        EXPECT_EQ(WaitForSingleObject(running, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(tree(host_), settled);
    }

    {
        ScriptedPrompt consent({1});
        CountingDone done;
        ASSERT_TRUE(write_file(copy(L"1001") + L"leftover.txt", "x"));
        const DWORD start = GetTickCount();
        EXPECT_EQ(InstallGame(L"1001", L"ZudUrirOzoduro.zip", consent, done),
                  InstallerResult::installed);
        ASSERT_EQ(consent.asked.size(), 1u);
        EXPECT_TRUE(consent.asked[0].process_running);
        EXPECT_GE(GetTickCount() - start, 500u);
        EXPECT_EQ(WaitForSingleObject(running, 0), WAIT_OBJECT_0);
        EXPECT_FALSE(exists(copy(L"1001") + L"leftover.txt"));
        EXPECT_TRUE(exists(copy(L"1001") + L"addin.cfg"));
    }
    CloseHandle(running);
}

TEST_F(AddinInstallerTest, AnAddinsFolderThatIsMissingOrNoFolderStillEndsWithTheSkin) {
    InstallHost(TORVANE_SETUP);
    std::wstring values[3];
    const wchar_t* const names[3] = {L"Path", L"Version", L"instdir"};
    for (int i = 0; i < 3; ++i) {
        values[i] = standin_test::host_value(names[i]);
    }
    FakeHostKey key;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(key.set(names[i], values[i]));
    }
    const std::wstring scratch = folder_->path() + L"cwd\\";
    ASSERT_TRUE(CreateDirectoryW(scratch.c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.c_str()));

    // A folder that does not exist.
    ASSERT_TRUE(key.set(L"addinsdir", folder_->path() + L"gone\\Addins"));
    EXPECT_EQ(InstallGame(L"1001", L"ZudUrirOzoduro.zip"), InstallerResult::installed);
    EXPECT_FALSE(exists(folder_->path() + L"gone"));
    EXPECT_TRUE(exists(host_ + L"Skin\\TessalyDemo.skn"));

    // A file where the folder should be: nothing can be written into it.
    ASSERT_TRUE(write_file(folder_->path() + L"AddinsFile", "not a folder"));
    ASSERT_TRUE(key.set(L"addinsdir", folder_->path() + L"AddinsFile"));
    EXPECT_EQ(InstallGame(L"1001", L"ZudUrirOzoduro.zip"), InstallerResult::installed);
    EXPECT_EQ(read_file(folder_->path() + L"AddinsFile"), "not a folder");
    EXPECT_TRUE(exists(host_ + L"Skin\\(1)TessalyDemo.skn"));

    // No add-ins folder at all: nothing lands in the current directory.
    ASSERT_TRUE(key.remove(L"addinsdir"));
    EXPECT_EQ(InstallGame(L"1001", L"ZudUrirOzoduro.zip"), InstallerResult::installed);
    EXPECT_TRUE(tree(scratch).empty());
    EXPECT_TRUE(exists(host_ + L"Skin\\(2)TessalyDemo.skn"));
    EXPECT_TRUE(tree(addins_).empty());
}

TEST_F(AddinInstallerTest, StartRunsOnAThreadOfItsOwnAndSignalsTheEnd) {
    InstallHost(TORVANE_SETUP);
    AddinSettings settings;
    settings.game_id = L"1001";
    settings.title = kTitle;
    ScriptedPrompt prompt;
    CountingDone done;
    AddinInstaller installer(settings, prompt, done);
    installer.SetPictureFolder(pictures_);
    HANDLE thread = installer.Start(task_for(package(L"ZudUrirOzoduro.zip")), skin_task_);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(done.Wait(60000));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(done.count, 1);
    EXPECT_NE(done.thread.load(), GetCurrentThreadId());
    EXPECT_TRUE(exists(resources(L"1001") + L"1001.xml"));
}

}  // namespace
