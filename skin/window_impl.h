// The small window layer under the skinned windows: one C++ object per real
// window, found by the system's window or dialog procedure through the
// window's user data. Everything that maps a window handle to its object is
// in this file and its .cpp.
#pragma once

#include <windows.h>

namespace qm::skin {

class WindowImpl {
  public:
    WindowImpl() = default;
    WindowImpl(const WindowImpl&) = delete;
    WindowImpl& operator=(const WindowImpl&) = delete;

    HWND hwnd() const { return hwnd_; }

    // The procedures to give the system: WindowProc as a window class's
    // procedure (create the window with this object as the creation
    // parameter), DialogProc for a dialog (this object as the init parameter).
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    // The object behind a window made through one of the procedures above,
    // or null.
    static WindowImpl* FromWindow(HWND hwnd);

  protected:
    virtual ~WindowImpl() = default;

    // The handler chain: true when the message is consumed, with *result set
    // (it starts at 0). Not consumed goes on to the default processing.
    virtual bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                      LRESULT* result) = 0;
    // The last message the window gets; the object is no longer attached.
    virtual void OnFinalMessage(HWND) {}

  private:
    static LRESULT Dispatch(WindowImpl* impl, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                            bool* consumed);

    HWND hwnd_ = nullptr;
};

}  // namespace qm::skin
