#pragma once
// Installs the network-game accelerator from its downloaded installer (a
// download task: its path comes from dl_get_task_path). A running
// accelerator ("dozurudire.exe") is closed first, with the user's consent.

#include <windows.h>

#include "host/installer_prompt.h"

extern const wchar_t close_accelerator_question[];

class AcceleratorInstaller {
  public:
    AcceleratorInstaller(InstallerPrompt& prompt, InstallerDone& done)
        : prompt_(prompt), done_(done) {}
    AcceleratorInstaller(const AcceleratorInstaller&) = delete;
    AcceleratorInstaller& operator=(const AcceleratorInstaller&) = delete;

    // Bounds on waiting for the closed accelerator and for the installer.
    void SetWaitLimits(DWORD close_ms, DWORD install_ms);

    // Runs the installer ("/S", no window) once no accelerator runs, on the
    // calling thread, and calls Ended() at the end in every case.
    InstallerResult Install(int installer_task);
    // The same on a thread of its own. The object must outlive Ended().
    // Returns the thread's handle for the caller to close, or null when no
    // thread could be started (Ended() is then not called).
    HANDLE Start(int installer_task);

  private:
    InstallerResult InstallSteps(int installer_task);

    InstallerPrompt& prompt_;
    InstallerDone& done_;
    DWORD close_ms_ = 10000;
    DWORD install_ms_ = 10 * 60 * 1000;
};
