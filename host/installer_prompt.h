#pragma once
// What the installers (add-in, accelerator) need from whoever starts them.
// They run on a thread of their own and own no window: every question goes
// through an InstallerPrompt and the end through an InstallerDone. In the
// client the prompt becomes a question to the main window answered by a
// skinned message box, and the end a message posted to it; tests script both.

#include <string>

enum class InstallerQuestion {
    close_host,         // the host downloader runs and holds add-in files
    close_accelerator,  // an accelerator runs and its installer cannot replace it
};

class InstallerPrompt {
  public:
    virtual ~InstallerPrompt() = default;
    // Called on the installer's thread; returns the message box's answer, 1
    // for yes. The installer waits for it.
    virtual int Ask(InstallerQuestion question, const std::wstring& text) = 0;
};

class InstallerDone {
  public:
    virtual ~InstallerDone() = default;
    // The installer's last call, on its thread, whatever happened before.
    virtual void Ended() = 0;
};

// How an installation went, for the caller's records and for tests.
enum class InstallerResult {
    refused,    // the user would not let a running program be closed
    installed,  // every step ran (each one ignoring its own errors)
    timed_out,  // a program it started and waits for did not end in time
};
