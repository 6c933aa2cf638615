#include "app/reports.h"

#include "app/crash_marker.h"
#include "app/game_config.h"
#include "host/strings.h"
#include "service/dl_api.h"

std::wstring BeaconUrl(const wchar_t* event, const wchar_t* style, const std::wstring& peer_id) {
    const GameConfig& config = GameConfig::Instance();
    std::wstring url =
        config.BeaconPrefix() + event + L"&gameid=" + config.GameId() + L"&pid=" + peer_id;
    if (style) {
        url += L"&style=";
        url += style;
    }
    return url;
}

void SendBeacon(const wchar_t* event, const wchar_t* style) {
    std::string peer_id;
    dl_get_peer_id(peer_id);
    dl_send_report(BeaconUrl(event, style, ansi_to_utf16(peer_id)).c_str());
}

void SendCrashReport() {
    if (TakeCrashMarker()) {
        SendBeacon(L"downerbk");
    }
}
