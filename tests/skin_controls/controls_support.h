// Shared by the standard-control tests: trees built through the factory,
// solid images made in memory, a host that records what the controls tell
// it, and a listener standing for the application's click handler.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "skin/bitmap.h"
#include "skin/button_control.h"
#include "skin/control.h"
#include "skin/control_factory.h"
#include "skin/image_control.h"
#include "skin/standard_controls.h"
#include "skin/surface.h"

namespace qm::skin::testing {

// An opaque image of one colour (0xAARRGGBB).
inline Ref<Bitmap> Solid(int32_t w, int32_t h, uint32_t argb) {
    Ref<Bitmap> b = Ref<Bitmap>::Adopt(Bitmap::Create(w, h));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = b->Row(y) + 4 * x;
            p[0] = static_cast<uint8_t>(argb);
            p[1] = static_cast<uint8_t>(argb >> 8);
            p[2] = static_cast<uint8_t>(argb >> 16);
            p[3] = static_cast<uint8_t>(argb >> 24);
        }
    }
    b->set_premultiplied(true);
    return b;
}

inline ImageDescriptor SolidImage(int32_t w, int32_t h, uint32_t argb) {
    return ImageDescriptor::FromBitmap(Solid(w, h, argb).get());
}

// Records every change a control reports, as (control name, kind).
class RecordingHost : public UiHostBase {
  public:
    void ControlChanged(Control* control, Change change) override {
        changes.emplace_back(control->GetName(), change);
    }
    int Count(const std::string& name, Change change) const {
        int n = 0;
        for (const auto& c : changes) {
            n += c.first == name && c.second == change;
        }
        return n;
    }
    std::vector<std::pair<std::string, Change>> changes;
};

// The application's click handler: logs what reaches it, with the checked
// value of check boxes as the handler sees it.
class AppListener : public ControlListener {
  public:
    int OnLButtonDown(Control* c, uint32_t, int, int) override { return Log("down", c); }
    int OnLButtonUp(Control* c, uint32_t, int, int) override {
        if (on_up) {
            on_up(c);
        }
        return Log("up", c);
    }
    // Held by the test (a static or a member), not by the tree.
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }

    std::vector<std::string> log;
    int (*checked_of)(Control*) = nullptr;
    // What the handler does with a click, after logging nothing yet.
    void (*on_up)(Control*) = nullptr;

  private:
    int Log(const char* event, Control* c) {
        std::string line = std::string(event) + " " + c->GetName();
        if (checked_of) {
            line += " checked=" + std::to_string(checked_of(c));
        }
        log.push_back(line);
        return 0;
    }
};

constexpr uint32_t kNormal = 0xFF102030, kHover = 0xFF204060, kPressed = 0xFF306090,
                   kDisabled = 0xFF505050, kMark = 0xFF00C000, kBackdrop = 0xFF000000;

template <class T>
T* Create(int32_t type, const char* name, const char* mode, RECT rect) {
    Control* c = nullptr;
    if (!CreateControl(type, &c)) {
        return nullptr;
    }
    c->SetName(name);
    c->SetLayout(mode, &rect);
    return dynamic_cast<T*>(c);
}

// A window-less tree under a "UIRoot" of 300 x 200 whose host records the
// changes; solid state images of the colours above.
class ControlsTest : public ::testing::Test {
  protected:
    static constexpr int kWidth = 300, kHeight = 200;

    static void SetUpTestSuite() { RegisterStandardControls(); }

    void SetUp() override {
        root_ = Create<Control>(kLayoutControlType, "UIRoot", "inherite", RECT{});
        ASSERT_NE(nullptr, root_);
    }

    void TearDown() override {
        root_->Destroy();
        for (Control* c : held_) {
            c->Release();
        }
        root_->Release();
        host_.SetHoverControl(nullptr);
    }

    // Adds a control to the root; the test keeps a reference until TearDown.
    template <class T>
    T* Add(int32_t type, const char* name, RECT rect) {
        T* c = Create<T>(type, name, "absolute", rect);
        EXPECT_NE(nullptr, c);
        root_->AddChild(c);
        held_.push_back(c);
        return c;
    }

    // A background under everything that follows the mouse, as a window's
    // drag area would: moving onto it takes the hover off the others.
    void AddBackground() {
        Control* bkg =
            Add<ImageControl>(kImageControlType, "ImageBkg", RECT{0, 0, kWidth, kHeight});
        bkg->AddListener(&background_listener_);
    }

    void Finish() {
        root_->SetUiHost(&host_);
        root_->Layout(RECT{0, 0, kWidth, kHeight});
    }

    Ref<Bitmap> Paint() {
        Ref<Bitmap> s = Solid(kWidth, kHeight, kBackdrop);
        root_->Paint(s.get());
        return s;
    }

    void Move(int x, int y) { root_->OnMouseMove(0, x, y); }
    void Down(int x, int y) { root_->OnLButtonDown(MK_LBUTTON, x, y); }
    void Up(int x, int y) { root_->OnLButtonUp(0, x, y); }

    ButtonControl* AddButton(RECT rect = RECT{10, 10, 110, 40}) {
        auto* b = Add<ButtonControl>(kButtonControlType, "ActionButton", rect);
        b->SetNormalImage(SolidImage(8, 8, kNormal));
        b->SetHoverImage(SolidImage(8, 8, kHover));
        b->SetPressedImage(SolidImage(8, 8, kPressed));
        b->SetDisabledImage(SolidImage(8, 8, kDisabled));
        return b;
    }

    Control* root_ = nullptr;
    std::vector<Control*> held_;
    RecordingHost host_;
    AppListener background_listener_;
    AppListener app_;
    AppListener second_app_;
};

}  // namespace qm::skin::testing
