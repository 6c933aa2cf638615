#include "app/game_config.h"

#include <windows.h>

#include <cwchar>

#include "host/host_paths.h"

namespace {

const wchar_t kSection[] = L"Tessaly";
const wchar_t kDefaultConfigServer[] = L"config.tessaly.net";
const wchar_t kDefaultStatServer[] = L"stat.tessaly.net";

// GetPrivateProfileStringW into a buffer of `size` characters: longer values
// are cut by the system call, a missing file or key gives the default.
std::wstring ReadString(const std::wstring& file, const wchar_t* key, const wchar_t* fallback,
                        DWORD size = 128) {
    std::wstring buffer(size, L'\0');
    const DWORD n =
        GetPrivateProfileStringW(kSection, key, fallback, &buffer[0], size, file.c_str());
    buffer.resize(n);
    return buffer;
}

bool ReadFlag(const std::wstring& file, const wchar_t* key, const wchar_t* fallback) {
    return ReadString(file, key, fallback) != L"0";
}

void WriteString(const std::wstring& file, const wchar_t* key, const wchar_t* value) {
    // A folder that cannot be written loses the setting silently.
    WritePrivateProfileStringW(kSection, key, value, file.c_str());
}

}  // namespace

GameConfig& GameConfig::Instance() {
    static GameConfig instance;
    return instance;
}

// Until Load runs, the settings and branding files are the ones beside the
// program, so that no read ever falls through to the system's "win.ini".
GameConfig::GameConfig()
    : branding_path_(program_directory() + L"tessaly.ini"),
      settings_path_(program_directory() + L"tessalyconfig.ini"),
      config_server_(kDefaultConfigServer),
      stat_server_(kDefaultStatServer) {}

int GameConfig::Load(const std::wstring& branding_path) {
    const std::wstring folder = program_directory();
    settings_path_ = folder + L"tessalyconfig.ini";
    branding_path_ = branding_path;

    game_id_ = ReadString(branding_path_, L"GameId", L"0000", 1024);
    game_title_ = ReadString(branding_path_, L"GameTitle", L"");
    window_title_ = game_title_ + L"高速下载器";

    const std::wstring kind = ReadString(branding_path_, L"BkgResType", L"1");
    background_kind_ = kind == L"2" ? kMovie : kind == L"3" ? kWebPage : kRotatingImages;

    background_list_.clear();
    const std::wstring resources = ReadString(branding_path_, L"BkgRes", L"");
    if (background_kind_ != kRotatingImages) {
        background_list_.push_back(folder + resources);
    } else if (!resources.empty()) {
        size_t begin = 0;
        for (;;) {
            const size_t colon = resources.find(L':', begin);
            background_list_.push_back(folder + resources.substr(begin, colon - begin));
            if (colon == std::wstring::npos) {
                break;
            }
            begin = colon + 1;
        }
    }

    config_server_ = ReadString(branding_path_, L"ConfigServer", kDefaultConfigServer, 260);
    stat_server_ = ReadString(branding_path_, L"StatServer", kDefaultStatServer, 260);
    return 1;
}

std::wstring GameConfig::ConfigurationUrl() const {
    return L"http://" + config_server_ + L"/Configuration/" + game_id_ + L".xml";
}

std::wstring GameConfig::TipsFileUrl() const {
    return L"http://" + config_server_ + L"/DownloadAds/" + game_id_ + L".xml";
}

std::wstring GameConfig::BeaconPrefix() const {
    return L"http://" + stat_server_ + L"/UPV?gs=";
}

bool GameConfig::SelMyDownload() const {
    return ReadFlag(branding_path_, L"SelMyDownload", L"0");
}

bool GameConfig::InstallAccelerator() const {
    // The user's last choice wins; without one the branding decides, and a
    // fresh copy checks the box unless its branding says "0".
    const std::wstring own = ReadString(settings_path_, L"InstallAccelerator", L"2");
    if (own == L"0") {
        return false;
    }
    if (own == L"1") {
        return true;
    }
    return ReadFlag(branding_path_, L"InstallAccelerator", L"2");
}

int64_t GameConfig::AccTime() const {
    const std::wstring text = ReadString(settings_path_, L"AccTime", L"60");
    return wcstoll(text.c_str(), nullptr, 10);
}

bool GameConfig::ConverToTorvane7() const {
    return ReadFlag(settings_path_, L"ConverToTorvane7", L"0");
}

bool GameConfig::ShowFervo() const {
    return ReadFlag(branding_path_, L"ShowFervo", L"1");
}

std::wstring GameConfig::FervoUrl() const {
    return ReadString(branding_path_, L"FervoUrl", L"", 1024);
}

std::wstring GameConfig::DefaultPath() const {
    return ReadString(branding_path_, L"DefaultPath", L"C:\\downloads\\", MAX_PATH);
}

std::wstring GameConfig::FervoText() const {
    return ReadString(branding_path_, L"FervoText", L"安装Torvane网游加速器");
}

void GameConfig::SetInstallAccelerator(bool checked) {
    WriteString(settings_path_, L"InstallAccelerator", checked ? L"1" : L"0");
}

void GameConfig::SetAccTime(int64_t seconds) {
    WriteString(settings_path_, L"AccTime", std::to_wstring(seconds).c_str());
}

void GameConfig::SetConverToTorvane7(bool handed_over) {
    WriteString(settings_path_, L"ConverToTorvane7", handed_over ? L"1" : L"0");
}
