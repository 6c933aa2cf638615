#include "app/download_controller.h"

#include "app/game_config.h"
#include "app/main_window.h"
#include "app/remote_config.h"
#include "app/reports.h"
#include "service/game_info_file.h"

namespace {

// The system temporary folder, ending in a backslash.
std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring folder(buffer, n <= MAX_PATH ? n : 0);
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder;
}

}  // namespace

void DownloadController::on_game_info(int ok, const wchar_t* path) {
    GameConfig& config = GameConfig::Instance();
    bool parsed = false;
    if (ok && path) {
        SendBeacon(L"downerstart");
        SendCrashReport();
        const std::wstring tips = TempFolder() + config.GameId() + L".xml";
        dl_download_file(config.TipsFileUrl().c_str(), tips.c_str(), OnTipsFile, this);
        parsed = ParseRemoteConfiguration(path, config.Remote()) != 0;
        if (!parsed || config.Remote().game_urls.empty()) {
            // A broken or cut copy the client downloaded is fetched again next
            // time instead of being kept.
            qm::win32::net::discard_downloaded_game_info(path);
        }
    }
    if (!parsed) {
        main_window_->SetStatus(L"初始化配置失败!");
        return;
    }
    const RemoteGameValues& remote = config.Remote();
    dl_set_host_package(remote.torvane_url.c_str(), remote.torvane_version.c_str());
    config_ready_ = true;
    main_window_->SetStatus(std::wstring());
}

void DownloadController::OnTipsFile(int ok, const std::wstring& path, void* user_data) {
    auto* self = static_cast<DownloadController*>(user_data);
    GameConfig& config = GameConfig::Instance();
    if (!ok || !ParseTipsFile(path, config.Remote())) {
        return;  // no tips are shown
    }
    self->main_window_->ShowTips(config.Remote().tips_text);
}
