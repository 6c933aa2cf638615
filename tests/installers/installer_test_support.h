#pragma once
// Shared by the installer tests: scripted questions and ends, package tasks,
// files and folder trees.

#include <windows.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "host/installer_prompt.h"

namespace installer_test {

// A file written by make_packages.py.
std::wstring package(const wchar_t* name);

// Answers from a script (0 once it runs out) and records every question.
class ScriptedPrompt : public InstallerPrompt {
  public:
    explicit ScriptedPrompt(std::vector<int> answers = {}) : answers_(std::move(answers)) {}
    int Ask(InstallerQuestion question, const std::wstring& text) override;

    struct Asked {
        InstallerQuestion question;
        std::wstring text;
        DWORD tick;
        bool process_running;  // the program the question is about
    };
    std::vector<Asked> asked;

  private:
    std::vector<int> answers_;
};

class CountingDone : public InstallerDone {
  public:
    CountingDone() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~CountingDone() override { CloseHandle(event_); }
    void Ended() override {
        thread = GetCurrentThreadId();
        ++count;
        SetEvent(event_);
    }
    bool Wait(DWORD ms) { return WaitForSingleObject(event_, ms) == WAIT_OBJECT_0; }

    std::atomic<int> count{0};
    std::atomic<DWORD> thread{0};

  private:
    HANDLE event_;
};

// A download task whose file is path, as the engine would report it.
int task_for(const std::wstring& path);

// Processes, the host's registry key and plain file checks come from the
// stand-in tests' helpers (tests/standins_host/support.h), scratch folders,
// writing files and ini values from the host tests' (tests/host/test_folder.h).

std::string read_file(const std::wstring& path);  // "<missing>" when absent
// Every file below folder by its relative path, with its content.
std::map<std::wstring, std::string> tree(const std::wstring& folder);
std::wstring current_directory();  // with a trailing backslash

}  // namespace installer_test
