#pragma once
// Installs this game's copy of the host downloader's game-channel add-in
// ("ZudUrirOzoduro" + game id) from the downloaded add-in package, shares
// toolbar pictures and resource lists with the other games' copies both
// ways, asks the host to rebuild its add-in list and installs the skin
// package. The packages are download tasks: their paths come from
// dl_get_task_path.

#include <windows.h>

#include <string>

#include "host/installer_prompt.h"

// This game as the add-in shows it (from the game's configuration).
struct AddinSettings {
    std::wstring game_id;
    std::wstring title;
    std::wstring tab_info_url;
    std::wstring tab_url;
    std::wstring news_url;
    std::wstring hotspot_url;
};

extern const wchar_t close_host_question[];

class AddinInstaller {
  public:
    AddinInstaller(const AddinSettings& settings, InstallerPrompt& prompt, InstallerDone& done);
    AddinInstaller(const AddinInstaller&) = delete;
    AddinInstaller& operator=(const AddinInstaller&) = delete;

    // Where "logo.png", "toolbar.png" and "toolbar.menu.png" are found; the
    // executable's folder unless set. It ends up the current directory.
    void SetPictureFolder(const std::wstring& folder);
    // Bounds on waiting for the closed host and for "-buildaddins".
    void SetWaitLimits(DWORD close_ms, DWORD build_ms);

    // Runs the whole installation on the calling thread and calls Ended()
    // at the end in every case.
    InstallerResult Install(int addin_task, int skin_task);
    // The same on a thread of its own. The object must outlive Ended().
    // Returns the thread's handle for the caller to close, or null when no
    // thread could be started (Ended() is then not called).
    HANDLE Start(int addin_task, int skin_task);

  private:
    InstallerResult InstallSteps(int addin_task, int skin_task);
    void InstallAddin(const std::wstring& addins, const std::wstring& package);
    void WriteSettings(const std::wstring& copy);
    void UpdateOtherCopies(const std::wstring& addins, const std::wstring& copy, bool new_host);
    void ShareResources(const std::wstring& addins, const std::wstring& copy);
    void RewriteAddinCfg(const std::wstring& copy);

    AddinSettings settings_;
    InstallerPrompt& prompt_;
    InstallerDone& done_;
    std::wstring pictures_;
    DWORD close_ms_ = 10000;
    DWORD build_ms_ = 60000;
};
