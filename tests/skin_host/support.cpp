#include "tests/skin_host/support.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cwchar>

#include "skin/bitmap.h"
#include "skin/control_factory.h"
#include "skin/skin_startup.h"

namespace qm::skin::test {

std::vector<std::string> g_log;
int g_live_controls = 0;

namespace {

// The skin library for the whole test program, as the client starts it.
class SkinEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        InitializeSkin();
        RegisterTestTypes();
    }
    void TearDown() override {
        ShutdownSkin();
        CoUninitialize();
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new SkinEnvironment());

const bool g_unmanaged = qm::test::LeaveWindowsUnmanaged();

// The toggle's own listener: the check box changes on the button-down,
// before the application's button-up.
class ToggleListener : public ControlListener {
  public:
    int OnLButtonDown(Control* control, uint32_t, int, int) override {
        auto* toggle = static_cast<Toggle*>(control);
        toggle->checked = !toggle->checked;
        toggle->NotifyChange(UiHostBase::Change::kState);
        toggle->Invalidate();
        return 0;
    }
};

}  // namespace

Solid::Solid() {
    ++g_live_controls;
}

Solid::~Solid() {
    --g_live_controls;
}

int Solid::Paint(Bitmap* surface) {
    ++paints;
    if (surface) {
        const RECT r = Intersect(GetBounds(), surface->Bounds());
        for (int32_t y = r.top; y < r.bottom; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(surface->Row(y));
            for (int32_t x = r.left; x < r.right; ++x) {
                row[x] = colour;
            }
        }
    }
    return Control::Paint(surface);
}

int Solid::OnShowWindow(int show, int status) {
    g_log.push_back("show " + GetName() + " " + std::to_string(show));
    return Control::OnShowWindow(show, status);
}

int Solid::OnSetCursor(HWND window, int hit, int message) {
    g_log.push_back("cursor " + GetName());
    return claim_cursor ? 1 : Control::OnSetCursor(window, hit, message);
}

int Solid::OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) {
    g_log.push_back("key " + GetName() + " " + std::to_string(key));
    return Control::OnKeyDown(key, repeat, flags);
}

int Solid::OnAttachWindow(HWND window) {
    g_log.push_back("attach " + GetName());
    return Control::OnAttachWindow(window);
}

int Toggle::OnCreate() {
    AddListener(new ToggleListener());
    return 1;
}

int Recorder::OnLButtonDown(Control* control, uint32_t, int, int) {
    g_log.push_back("down " + control->GetName());
    return 0;
}

int Recorder::OnLButtonUp(Control* control, uint32_t, int, int) {
    g_log.push_back("up " + control->GetName());
    if (on_up) {
        on_up(control);
    }
    return 0;
}

int Recorder::OnMouseEnter(Control* control) {
    g_log.push_back("enter " + control->GetName());
    return 0;
}

int Recorder::OnMouseLeave(Control* control) {
    g_log.push_back("leave " + control->GetName());
    return 0;
}

void RegisterTestTypes() {
    ControlFactory& f = ControlFactory::Instance();
    f.Register(kSolidType, &CreateControlOf<Solid, kSolidType>);
    f.Register(kPressType, &CreateControlOf<Press, kPressType>);
    f.Register(kToggleType, &CreateControlOf<Toggle, kToggleType>);
}

}  // namespace qm::skin::test
