#pragma once
// The process-wide configuration: the branding values of "tessaly.ini", the
// user's settings (read and written on demand) and the values of the game's
// remote configuration. Used from the user-interface thread only.

#include <cstdint>
#include <string>
#include <vector>

// Values published by the game-configuration server; empty until it arrives.
struct RemoteGameValues {
    std::wstring torvane_version;  // lowest host downloader version the game needs
    std::wstring torvane_url;      // host downloader installer
    std::wstring addin_url;
    std::wstring skin_url;
    std::wstring tab_info_url;
    std::wstring tab_url;
    std::wstring news_url;
    std::wstring hotspot_url;
    uint64_t game_size = 0;
    std::vector<std::wstring> game_urls;
    std::wstring tips_text;
    std::wstring tips_url;
};

class GameConfig {
  public:
    // How the main window shows the game's artwork.
    enum BackgroundKind { kRotatingImages = 0, kMovie = 1, kWebPage = 2 };

    static GameConfig& Instance();

    // Reads the branding file; the settings file lies beside the program.
    int Load(const std::wstring& branding_path);

    std::wstring GameId() const { return game_id_; }
    std::wstring GameTitle() const { return game_title_; }
    std::wstring WindowTitle() const { return window_title_; }
    int BackgroundKind() const { return background_kind_; }
    std::vector<std::wstring> BackgroundList() const { return background_list_; }

    // Deployment: the two servers, as "host" or "host:port".
    std::wstring ConfigServer() const { return config_server_; }
    std::wstring StatServer() const { return stat_server_; }
    std::wstring ConfigurationUrl() const;  // the game's configuration file
    std::wstring TipsFileUrl() const;       // the game's tips file
    std::wstring BeaconPrefix() const;      // a beacon URL is this + its fields

    const RemoteGameValues& Remote() const { return remote_; }
    RemoteGameValues& Remote() { return remote_; }

    // Settings, read from the files at every call.
    bool SelMyDownload() const;
    bool InstallAccelerator() const;
    int64_t AccTime() const;
    bool ConverToTorvane7() const;
    bool ShowFervo() const;
    std::wstring FervoUrl() const;
    std::wstring DefaultPath() const;
    std::wstring FervoText() const;

    void SetInstallAccelerator(bool checked);
    void SetAccTime(int64_t seconds);
    void SetConverToTorvane7(bool handed_over);

    std::wstring BrandingPath() const { return branding_path_; }
    std::wstring SettingsPath() const { return settings_path_; }

  private:
    GameConfig();

    std::wstring branding_path_;
    std::wstring settings_path_;
    std::wstring game_id_ = L"0000";
    std::wstring game_title_;
    std::wstring window_title_ = L"高速下载器";
    int background_kind_ = kRotatingImages;
    std::vector<std::wstring> background_list_;
    std::wstring config_server_;
    std::wstring stat_server_;
    RemoteGameValues remote_;
};
