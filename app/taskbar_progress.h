#pragma once
// The download's progress on the main window's taskbar button, through the
// shell's taskbar list object. Where the object cannot be created (older
// systems, no shell) every call does nothing.

#include <windows.h>

#include <cstdint>

struct ITaskbarList3;

class TaskbarProgress {
  public:
    TaskbarProgress() = default;
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // Creates the taskbar list object for window (COM must be initialised on
    // this thread). 1 when it exists; 0 leaves the object unbound.
    int Bind(HWND window);
    // Takes a reference to an object the caller made (the tests' recorder).
    void BindTo(HWND window, ITaskbarList3* list);
    int IsBound() const { return list_ != nullptr; }

    // The bar in its normal colour at downloaded of total, then paused, as
    // the button shows a download in progress. Nothing when total is 0.
    void Show(uint64_t total, uint64_t downloaded);
    // No progress on the button.
    void Clear();

  private:
    void Release();

    HWND window_ = nullptr;
    ITaskbarList3* list_ = nullptr;
};
