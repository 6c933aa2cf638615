// The tips window: a resizable skinned window showing the game's tips page
// in a web page panel, whose script may ask the program for the download's
// progress and the peer id (TipsScript).
//
// The download controller keeps one in a std::unique_ptr and, on a click of
// its tips link, calls OpenTipsWindow: a window still open comes to the
// front, a closed one is replaced by a new one.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/tips_script.h"
#include "skin/control.h"
#include "skin/host_window.h"
#include "skin/owned_controls.h"

namespace qm::skin {
class AxHostControl;
class ButtonControl;
}  // namespace qm::skin

class TipsWindow : public qm::skin::MessageFilter, public qm::skin::ControlListener {
  public:
    static constexpr int kWidth = 809;
    static constexpr int kHeight = 634;

    TipsWindow();
    ~TipsWindow() override;
    TipsWindow(const TipsWindow&) = delete;
    TipsWindow& operator=(const TipsWindow&) = delete;

    void SetUrl(const std::wstring& url) { url_ = url; }
    const std::wstring& Url() const { return url_; }

    // Builds the tree, creates the window (owner null: the desktop) with the
    // game title as caption, centres and shows it, and navigates the page
    // panel to the URL with a scripting object over source (not owned; it
    // must outlive this window object). Returns the window, or null.
    HWND Create(HWND owner, const std::wstring& title, TipsSource* source);
    // Restores the window and brings it to the front.
    void ShowAgain();
    // Set once the window was closed or destroyed.
    int IsClosed() const { return closed_; }
    HWND hwnd() const { return window_.hwnd(); }

    // 1 while the window has its normal size (not spread over the work area).
    int IsNormalSize() const { return normal_size_; }
    // Between the saved rectangle and the work area, repainting.
    void ToggleSize();

    // The page panel and the scripting object (for the owner's checks).
    qm::skin::AxHostControl* Page() const { return page_; }
    TipsScript* Script() const { return script_; }
    // A control of the window's tree by name, or null (also once the window
    // is gone).
    qm::skin::Control* FindControl(const char* name) {
        return window_.GetUiHost().FindByName(name);
    }

    // The window object lives with its owner, not with the tree.
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    int OnLButtonUp(qm::skin::Control* control, uint32_t keys, int x, int y) override;
    int Filter(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;

  private:
    qm::skin::Control* Add(int32_t type, const char* name, const char* mode, const RECT* rect,
                           qm::skin::Control* parent);
    void BuildTree(const std::wstring& title);
    void SetIcon();
    void ReleaseTree();

    qm::skin::HostWindow window_;
    std::wstring url_;
    qm::skin::OwnedControls owned_;
    qm::skin::Control* root_ = nullptr;
    qm::skin::ButtonControl* max_button_ = nullptr;
    qm::skin::AxHostControl* page_ = nullptr;
    TipsScript* script_ = nullptr;
    HICON icon_ = nullptr;
    int closed_ = 0;
    int normal_size_ = 1;
    RECT saved_rect_ = {0, 0, 0, 0};
};

// A click on the tips link: brings the open window to the front, or (none
// yet, or closed) makes a new one over owner. Returns the window object.
TipsWindow* OpenTipsWindow(std::unique_ptr<TipsWindow>* slot, HWND owner, const std::wstring& url,
                           const std::wstring& title, TipsSource* source);
