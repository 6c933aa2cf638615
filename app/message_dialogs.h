#pragma once
// The skinned modal dialogs of the client: the message box with one, two or
// three buttons and the question how to leave while a download runs. The
// system's message box is never used.

#include <windows.h>

#include <string>

namespace qm::skin {
class HostDialog;
}

// The main window's message that asks for a message box from any thread:
// wParam the text (const wchar_t*), lParam MessageBoxParam(icon, buttons).
constexpr UINT kMessageBoxRequest = WM_USER + 115;  // 1139

constexpr LPARAM MessageBoxParam(int icon, int buttons) {
    return static_cast<LPARAM>((static_cast<DWORD>(icon & 0xFFFF) << 16) |
                               static_cast<DWORD>(buttons & 0xFFFF));
}

class MessageBoxDialog {
  public:
    MessageBoxDialog() = default;
    MessageBoxDialog(const MessageBoxDialog&) = delete;
    MessageBoxDialog& operator=(const MessageBoxDialog&) = delete;

    void SetMessage(const std::wstring& message) { message_ = message; }
    // 1 shows the second picture of the icon strip, anything else the first.
    void SetIcon(int icon) { icon_ = icon; }

    // Shows the box modally over owner (the active window when null) with
    // 1, 2 or 3 buttons. Returns the number of the button pressed, 0 for the
    // close button or Esc. Another count, or a dialog that cannot be made,
    // shows nothing and returns 0.
    int Show(HWND owner, int buttons);
    int Result() const { return result_; }

  private:
    std::wstring message_;
    int icon_ = 0;
    int result_ = 0;
};

class ExitChoiceDialog {
  public:
    enum Choice { kBackground = 0, kMoveToHost = 1, kExit = 2 };

    ExitChoiceDialog() = default;
    ExitChoiceDialog(const ExitChoiceDialog&) = delete;
    ExitChoiceDialog& operator=(const ExitChoiceDialog&) = delete;

    // Modal over owner (the active window when null). 1 for "确定"; 2 for
    // "取消", the close button and Esc; 0 when the dialog cannot be made.
    int Show(HWND owner);
    int Choice() const { return choice_; }
    int Result() const { return result_; }

  private:
    friend class ExitChoiceTree;
    int choice_ = kBackground;
    int result_ = 0;
};

// What the main window does with message 1139: shows the window normally,
// then the message box over it; the result to store, 0 for a bad count.
int ShowMessageBoxRequest(HWND main_window, WPARAM wparam, LPARAM lparam);
