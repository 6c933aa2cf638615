// Small controls, listeners and helpers shared by the window-host tests: the
// tests build their trees from these so that they do not depend on how the
// standard controls draw.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "skin/control.h"
#include "skin/control_factory.h"
#include "skin/host_window.h"
#include "tests/support/gui_support.h"

namespace qm::skin::test {

extern std::vector<std::string> g_log;
extern int g_live_controls;

constexpr int32_t kSolidType = 950;
constexpr int32_t kPressType = 951;
constexpr int32_t kToggleType = 952;

// Fills its bounds with one colour; counts its paints; logs what the tree
// asks of it.
class Solid : public Control {
  public:
    Solid();
    int Paint(Bitmap* surface) override;
    int OnShowWindow(int show, int status) override;
    int OnSetCursor(HWND window, int hit, int message) override;
    int OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int OnAttachWindow(HWND window) override;

    uint32_t colour = 0xFF336699;
    int paints = 0;
    bool claim_cursor = false;

  protected:
    ~Solid() override;
};

// A push button of the tests: focusable while visible and enabled.
class Press : public Solid {
  public:
    AccessRole GetAccessRole() const override { return AccessRole::kPushButton; }
    int IsFocusable() const override { return IsVisible() && IsEnabled(); }
};

// A check box of the tests: toggles on the button-down, as the real one does.
class Toggle : public Press {
  public:
    int OnCreate() override;
    AccessRole GetAccessRole() const override { return AccessRole::kCheckBox; }
    int IsAccessChecked() const override { return checked; }
    int checked = 0;
};

// Logs "<event> <control name>" and runs an action on the button-up.
class Recorder : public ControlListener {
  public:
    int OnLButtonDown(Control* control, uint32_t keys, int x, int y) override;
    int OnLButtonUp(Control* control, uint32_t keys, int x, int y) override;
    int OnMouseEnter(Control* control) override;
    int OnMouseLeave(Control* control) override;
    std::function<void(Control*)> on_up;
};

// Registers the test types with the factory (once).
void RegisterTestTypes();

// Creates a control of the type, laid out "relative:ltlt" at rect (or
// "inherite" for a null rect), named, added to parent when given. The caller
// owns the returned reference.
template <class T>
T* Make(int32_t type, const char* name, const RECT* rect, Control* parent) {
    Control* c = nullptr;
    CreateControl(type, &c);
    if (!c) {
        return nullptr;
    }
    c->SetName(name);
    if (rect) {
        c->SetLayout("relative:ltlt", rect);
    } else {
        c->SetLayout("inherite", nullptr);
    }
    if (parent) {
        parent->AddChild(c);
    }
    return static_cast<T*>(c);
}

using qm::test::Pump;
using qm::test::PumpUntil;

}  // namespace qm::skin::test
