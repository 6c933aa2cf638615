// The two kinds of real window that show a control tree: HostWindow, an
// ordinary top-level window run by the application's message loop, and
// HostDialog, a modal dialog built from an in-memory template. Both pass each
// message through the same chain: the window class's own handler, the mouse
// tracker, then the UiHost.
#pragma once

#include <windows.h>

#include <string>

#include "skin/ui_host.h"
#include "skin/window_impl.h"

namespace qm::skin {

// Asks the system for a mouse-leave notice once the mouse is over the
// window, so that hover can end when it goes; takes the window out of the
// registry when it is destroyed. Never consumes a message.
class MouseTracker {
  public:
    void Process(HWND hwnd, UINT message);
    int IsTracking() const { return tracking_; }

  private:
    int tracking_ = 0;
};

class HostBase : public WindowImpl {
  public:
    UiHost& GetUiHost() { return ui_host_; }
    int SetRoot(Control* root) { return ui_host_.SetRoot(root); }
    int AddFilter(MessageFilter* filter) { return ui_host_.AddFilter(filter); }
    int RemoveFilter(MessageFilter* filter) { return ui_host_.RemoveFilter(filter); }

  protected:
    HostBase();
    ~HostBase() override;

    // The window class's own handler, first in the chain.
    virtual bool OnOwnMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                              LRESULT* result) = 0;
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                              LRESULT* result) final;
    void OnFinalMessage(HWND hwnd) override;

    void Register(HWND hwnd);

  private:
    MouseTracker tracker_;
    UiHost ui_host_;
};

// The host object of a window made by HostWindow or HostDialog, from its
// creation (or initialisation) to its destruction; null otherwise.
HostBase* LookupHostByWindow(HWND hwnd);

class HostWindow : public HostBase {
  public:
    HostWindow();
    // Destroys the window if it still exists, without asking the filters.
    ~HostWindow() override;

    // The styles of the application's skinned windows: no system frame, the
    // tree draws everything.
    static constexpr DWORD kDefaultStyle = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

    // Creates the window at rect (screen coordinates) with parent as owner
    // (null: the desktop). Not shown. Returns the handle or null.
    HWND Create(HWND parent, const RECT& rect, const wchar_t* caption, DWORD style = kDefaultStyle,
                DWORD ex_style = 0);
    // Centres the window over its owner, or over the work area without one.
    void CentreWindow();

  protected:
    bool OnOwnMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                      LRESULT* result) override;
};

class HostDialog : public HostBase {
  public:
    HostDialog();
    ~HostDialog() override;

    // 0 for null, else stores the caption and returns 1.
    int SetCaption(const wchar_t* caption);
    // Only the width and height are used.
    void SetRect(const RECT& rect) { rect_ = rect; }
    void SetCentre(int centre) { centre_ = centre; }

    // A movable global block of 1024 bytes holding the dialog template; the
    // caller frees it (GlobalFree) after the dialog ends. Null when the
    // system has no memory for it.
    HGLOBAL BuildTemplate() const;

    // Runs the dialog modally over owner (may be null) and returns what it
    // ended with, or -1 when it could not be created.
    INT_PTR DoModal(HWND owner);
    // Ends a running dialog with this result.
    void End(INT_PTR result);

  protected:
    bool OnOwnMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                      LRESULT* result) override;

  private:
    void OnInitDialog(HWND hwnd);
    // Esc: what the window's close button does, or the end with IDCANCEL
    // when it has none.
    void Cancel(HWND hwnd);
    // Enter: the focused control, else the first button.
    void Accept();

    RECT rect_ = {0, 0, 0, 0};
    int centre_ = 0;
    std::wstring caption_ = L"HostDialog";
};

}  // namespace qm::skin
