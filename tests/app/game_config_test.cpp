#include "app/game_config.h"

#include <gtest/gtest.h>

#include "tests/app/test_files.h"

namespace {

// Each test gets a branding file of its own; the settings file is the one
// beside the test program, removed before and after.
class GameConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = MakeScratchFolder(L"config");
        branding_ = folder_ + L"tessaly.ini";
        settings_ = ExecutableFolder() + L"tessalyconfig.ini";
        DeleteFileW(settings_.c_str());
    }
    void TearDown() override {
        DeleteFileW(settings_.c_str());
        DeleteFileW(branding_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    GameConfig& Load(const std::wstring& branding_text) {
        EXPECT_TRUE(WriteUnicodeFile(branding_, L"[Tessaly]\r\n" + branding_text));
        GameConfig& config = GameConfig::Instance();
        EXPECT_EQ(config.Load(branding_), 1);
        return config;
    }

    std::wstring folder_;
    std::wstring branding_;
    std::wstring settings_;
};

}  // namespace

TEST_F(GameConfigTest, MissingBrandingFileGivesDefaults) {
    GameConfig& config = GameConfig::Instance();
    EXPECT_EQ(config.Load(folder_ + L"absent.ini"), 1);
    EXPECT_EQ(config.GameId(), L"0000");
    EXPECT_EQ(config.GameTitle(), L"");
    EXPECT_EQ(config.WindowTitle(), L"高速下载器");
    EXPECT_EQ(config.BackgroundKind(), GameConfig::kRotatingImages);
    EXPECT_TRUE(config.BackgroundList().empty());
    EXPECT_EQ(config.DefaultPath(), L"C:\\downloads\\");
    EXPECT_TRUE(config.ShowFervo());
    EXPECT_TRUE(config.InstallAccelerator());
    EXPECT_FALSE(config.SelMyDownload());
    EXPECT_FALSE(config.ConverToTorvane7());
    EXPECT_EQ(config.AccTime(), 60);
    EXPECT_EQ(config.FervoUrl(), L"");
    EXPECT_EQ(config.FervoText(), L"安装Torvane网游加速器");
    EXPECT_EQ(config.SettingsPath(), ExecutableFolder() + L"tessalyconfig.ini");
    EXPECT_EQ(config.ConfigurationUrl(), L"http://config.tessaly.net/Configuration/0000.xml");
    EXPECT_EQ(config.BeaconPrefix(), L"http://stat.tessaly.net/UPV?gs=");
}

TEST_F(GameConfigTest, BrandingValuesAndServers) {
    GameConfig& config = Load(
        L"GameId=2046\r\nGameTitle=星海传说\r\nConfigServer=127.0.0.1:8080\r\n"
        L"StatServer=stats.example.test\r\n");
    EXPECT_EQ(config.GameId(), L"2046");
    EXPECT_EQ(config.WindowTitle(), L"星海传说高速下载器");
    EXPECT_EQ(config.ConfigurationUrl(), L"http://127.0.0.1:8080/Configuration/2046.xml");
    EXPECT_EQ(config.TipsFileUrl(), L"http://127.0.0.1:8080/DownloadAds/2046.xml");
    EXPECT_EQ(config.BeaconPrefix(), L"http://stats.example.test/UPV?gs=");
}

TEST_F(GameConfigTest, BackgroundKindsAndLists) {
    const std::wstring dir = ExecutableFolder();
    GameConfig& config = Load(L"BkgResType=2\r\nBkgRes=intro.swf\r\n");
    EXPECT_EQ(config.BackgroundKind(), GameConfig::kMovie);
    EXPECT_EQ(config.BackgroundList(), std::vector<std::wstring>{dir + L"intro.swf"});

    Load(L"BkgResType=3\r\n");
    EXPECT_EQ(config.BackgroundKind(), GameConfig::kWebPage);
    // Kinds 1 and 2 always have their one entry, even an empty one.
    EXPECT_EQ(config.BackgroundList(), std::vector<std::wstring>{dir});

    // A trailing colon leaves an empty last piece: the folder itself.
    Load(L"BkgResType=1\r\nBkgRes=a.png:b.png:\r\n");
    EXPECT_EQ(config.BackgroundKind(), GameConfig::kRotatingImages);
    EXPECT_EQ(config.BackgroundList(),
              (std::vector<std::wstring>{dir + L"a.png", dir + L"b.png", dir}));

    Load(L"BkgResType=7\r\nBkgRes=only.png\r\n");
    EXPECT_EQ(config.BackgroundKind(), GameConfig::kRotatingImages);
    EXPECT_EQ(config.BackgroundList(), std::vector<std::wstring>{dir + L"only.png"});
}

TEST_F(GameConfigTest, LongValuesAreCutByTheirBuffers) {
    const std::wstring id(2000, L'7');
    const std::wstring title(300, L'T');
    const std::wstring path(400, L'p');
    GameConfig& config =
        Load(L"GameId=" + id + L"\r\nGameTitle=" + title + L"\r\nDefaultPath=" + path + L"\r\n");
    EXPECT_EQ(config.GameId(), id.substr(0, 1023));
    EXPECT_EQ(config.GameTitle(), title.substr(0, 127));
    EXPECT_EQ(config.DefaultPath(), path.substr(0, 259));
}

TEST_F(GameConfigTest, InstallAcceleratorPrefersTheUsersChoice) {
    GameConfig& config = Load(L"InstallAccelerator=1\r\n");
    ASSERT_TRUE(WriteAnsiFile(settings_, "[Tessaly]\r\nInstallAccelerator=0\r\n"));
    EXPECT_FALSE(config.InstallAccelerator());

    // "2" in the settings defers to the branding.
    ASSERT_TRUE(WriteAnsiFile(settings_, "[Tessaly]\r\nInstallAccelerator=2\r\n"));
    EXPECT_TRUE(config.InstallAccelerator());
    Load(L"InstallAccelerator=0\r\n");
    EXPECT_FALSE(config.InstallAccelerator());

    config.SetInstallAccelerator(true);
    EXPECT_TRUE(config.InstallAccelerator());
    config.SetInstallAccelerator(false);
    EXPECT_FALSE(config.InstallAccelerator());
}

TEST_F(GameConfigTest, FlagsCountEverythingButZeroAsTrue) {
    GameConfig& config = Load(L"SelMyDownload=no\r\nShowFervo=0\r\n");
    EXPECT_TRUE(config.SelMyDownload());
    EXPECT_FALSE(config.ShowFervo());

    ASSERT_TRUE(WriteAnsiFile(settings_, "[Tessaly]\r\nConverToTorvane7=abc\r\n"));
    EXPECT_TRUE(config.ConverToTorvane7());
    ASSERT_TRUE(WriteAnsiFile(settings_, "[Tessaly]\r\nConverToTorvane7=\r\n"));
    EXPECT_TRUE(config.ConverToTorvane7());

    config.SetConverToTorvane7(false);
    EXPECT_FALSE(config.ConverToTorvane7());
    config.SetConverToTorvane7(true);
    EXPECT_TRUE(config.ConverToTorvane7());
}

TEST_F(GameConfigTest, AccTimeParsesLikeTheCLibrary) {
    GameConfig& config = Load(L"");
    const struct {
        const char* text;
        int64_t value;
    } cases[] = {{"  42", 42},
                 {"-7", -7},
                 {"+15s", 15},
                 {"abc", 0},
                 {"", 0},
                 {"9223372036854775807", INT64_MAX},
                 {"3600 seconds", 3600}};
    for (const auto& c : cases) {
        ASSERT_TRUE(
            WriteAnsiFile(settings_, std::string("[Tessaly]\r\nAccTime=") + c.text + "\r\n"));
        EXPECT_EQ(config.AccTime(), c.value) << c.text;
    }
    config.SetAccTime(-1234567890123LL);
    EXPECT_EQ(config.AccTime(), -1234567890123LL);
}

TEST_F(GameConfigTest, GarbledFilesGiveDefaults) {
    ASSERT_TRUE(WriteAnsiFile(branding_, std::string("\x01\x02garbage\r\n[[[\r\n=\r\nGameId", 22)));
    GameConfig& config = GameConfig::Instance();
    EXPECT_EQ(config.Load(branding_), 1);
    EXPECT_EQ(config.GameId(), L"0000");
    ASSERT_TRUE(WriteAnsiFile(settings_, "AccTime=5\r\n[Other]\r\nAccTime=9\r\n"));
    EXPECT_EQ(config.AccTime(), 60);
}
