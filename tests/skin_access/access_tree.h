// A small skinned window for the accessibility tests: a plain top-level
// window whose client area shows a control tree of test controls, answering
// WM_GETOBJECT with the tree's accessible object. Used in-process by the
// tests and, through access-target.exe, from another process.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <functional>
#include <string>
#include <vector>

#include "skin/accessible.h"
#include "skin/control.h"
#include "tests/support/gui_support.h"

namespace qm::skin::test {

// A control that answers the accessibility questions with whatever the test
// sets. Counts the live ones, so tests can see the tree freed.
class TestControl : public Control {
  public:
    TestControl(AccessRole role, std::wstring text);

    AccessRole GetAccessRole() const override { return role_; }
    std::wstring GetAccessName() const override { return text_; }
    std::wstring GetAccessValue() const override { return value_; }
    int IsAccessChecked() const override { return checked_; }
    int IsAccessPressed() const override { return pressed_; }
    int IsFocusable() const override { return focusable_ && IsVisible() && IsEnabled(); }

    void SetText(const std::wstring& text) { text_ = text; }
    void SetValue(const std::wstring& value) { value_ = value; }
    void SetChecked(int checked) { checked_ = checked; }
    void SetPressed(int pressed) { pressed_ = pressed; }
    void SetFocusable(int focusable) { focusable_ = focusable; }

    static int Alive();

  protected:
    ~TestControl() override;

  private:
    AccessRole role_;
    std::wstring text_;
    std::wstring value_;
    int checked_ = 0;
    int pressed_ = 0;
    int focusable_ = 0;
};

// Calls a function for each button event of the controls it is attached to.
class CallListener : public ControlListener {
  public:
    enum class Event { kDown, kUp };
    using Handler = std::function<void(Control*, Event)>;
    explicit CallListener(Handler handler) : handler_(std::move(handler)) {}

    int OnLButtonDown(Control* control, uint32_t, int, int) override;
    int OnLButtonUp(Control* control, uint32_t, int, int) override;

  private:
    Handler handler_;
};

// The controls of the sample tree, by the names given to them. Plain
// pointers: the tree holds them.
struct SampleTree {
    Control* root = nullptr;            // "UIRoot", the whole client area
    Control* group = nullptr;           // "ButtonGroup" at 10,10 - 210,100
    TestControl* button = nullptr;      // "ActionButton" 20,20 - 100,50 "开始"
    TestControl* check = nullptr;       // "AutoCheck" 110,20 - 200,50 "自动"
    TestControl* progress = nullptr;    // "Progress" 10,110 - 210,130, value "30%"
    TestControl* title = nullptr;       // "Title" 10,140 - 210,160 "标题"
    TestControl* hidden = nullptr;      // "HiddenLink", hidden
    TestControl* disabled = nullptr;    // "OffButton" 220,10 - 300,40, disabled
    Control* hidden_group = nullptr;    // "HiddenGroup", hidden, holding "InnerText"
    TestControl* inner_text = nullptr;  // "InnerText"
    TestControl* background = nullptr;  // "ImageBkg", the whole client area, last
};

// Builds the sample tree; the caller holds one reference on the root.
SampleTree BuildSampleTree();

// The controls in tree order.
std::vector<Control*> AllControls(Control* root);

// A top-level window showing a tree. The window keeps one reference on the
// root and, like the real window host, detaches its accessible object and
// destroys the tree when the window is destroyed.
class TestWindow : public AccessibleSite {
  public:
    TestWindow() = default;
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    virtual ~TestWindow();

    // Takes over the caller's reference on root. Client size 320 x 200.
    bool Create(const wchar_t* title, Control* root, int x, int y);
    void Destroy();

    HWND AccessibleWindow() override { return window_; }
    Control* AccessibleRoot() override { return root_; }
    Control* AccessibleFocus() override { return focus_; }

    HWND window() const { return window_; }
    void SetFocusControl(Control* control) { focus_ = control; }
    // Puts another tree in the window (the old one is destroyed), as a
    // window that rebuilds its controls does. Takes over the reference.
    void ReplaceRoot(Control* root);
    // How many times the window was asked for its client object.
    int ObjectRequests() const { return object_requests_; }

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void Paint();

    HWND window_ = nullptr;
    Control* root_ = nullptr;
    Control* focus_ = nullptr;
    IAccessible* accessible_ = nullptr;
    int object_requests_ = 0;
};

using qm::test::PumpUntil;

}  // namespace qm::skin::test
