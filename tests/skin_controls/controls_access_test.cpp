// What screen readers and the keyboard get from the standard controls:
// roles, names, values and states, the default action, the focus cue; and
// the factory's registrations, the shipped artwork, and GDI use over many
// state changes.
#include <gtest/gtest.h>

#include <windows.h>

#include <psapi.h>

#include <cstdio>

#include <string>
#include <vector>

#include "skin/check_control.h"
#include "skin/image_strip.h"
#include "skin/layout_control.h"
#include "skin/progress_control.h"
#include "skin/stretch_image.h"
#include "skin/text_control.h"
#include "skin/textlink_control.h"
#include "tests/skin_controls/controls_support.h"

namespace qm::skin {
namespace {

using namespace qm::skin::testing;
using Change = UiHostBase::Change;
using Role = Control::AccessRole;

TEST_F(ControlsTest, EachControlReportsItsRoleNameAndState) {
    ButtonControl* b = AddButton();
    b->SetText(L"\x5bf9\x8bdd\x6846");
    auto* c = Add<CheckboxControl>(kCheckboxControlType, "Check", RECT{10, 60, 200, 80});
    c->SetText(L"\x590d\x9009\x6846");
    auto* r = Add<RadioControl>(kRadioControlType, "Radio", RECT{10, 90, 200, 106});
    r->SetText(L"\x9009\x9879\x4e00");
    auto* l = Add<TextlinkControl>(kTextlinkControlType, "Link", RECT{10, 110, 100, 126});
    l->SetText(L"\x94fe\x63a5");
    auto* t = Add<TextControl>(kTextControlType, "Text", RECT{10, 130, 200, 146});
    t->SetText(L"\x6587\x5b57");
    auto* p = Add<ProgressControl>(kProgressControlType, "Progress", RECT{10, 150, 200, 166});
    auto* i = Add<ImageControl>(kImageControlType, "Image", RECT{0, 0, 10, 10});
    auto* group = Add<LayoutControl>(kLayoutControlType, "Group", RECT{0, 0, 10, 10});
    Finish();

    EXPECT_EQ(Role::kPushButton, b->GetAccessRole());
    EXPECT_EQ(Role::kCheckBox, c->GetAccessRole());
    EXPECT_EQ(Role::kRadioButton, r->GetAccessRole());
    EXPECT_EQ(Role::kLink, l->GetAccessRole());
    EXPECT_EQ(Role::kStaticText, t->GetAccessRole());
    EXPECT_EQ(Role::kProgressBar, p->GetAccessRole());
    EXPECT_EQ(Role::kGraphic, i->GetAccessRole());
    EXPECT_EQ(Role::kGrouping, group->GetAccessRole());

    EXPECT_EQ(L"\x5bf9\x8bdd\x6846", b->GetAccessName());
    EXPECT_EQ(L"\x590d\x9009\x6846", c->GetAccessName());
    EXPECT_EQ(L"\x9009\x9879\x4e00", r->GetAccessName());
    EXPECT_EQ(L"\x94fe\x63a5", l->GetAccessName());
    EXPECT_EQ(L"\x6587\x5b57", t->GetAccessName());
    EXPECT_EQ(L"0%", p->GetAccessValue());

    for (Control* control : std::vector<Control*>{b, c, r, l}) {
        EXPECT_EQ(1, control->IsFocusable()) << control->GetName();
        control->SetEnabled(0);
        EXPECT_EQ(0, control->IsFocusable()) << control->GetName();
        control->SetEnabled(1);
        control->SetVisible(0);
        EXPECT_EQ(0, control->IsFocusable()) << control->GetName();
        control->SetVisible(1);
    }
    for (Control* control : std::vector<Control*>{t, p, i, group}) {
        EXPECT_EQ(0, control->IsFocusable()) << control->GetName();
    }

    EXPECT_EQ(0, c->IsAccessChecked());
    c->SetChecked(1);
    EXPECT_EQ(1, c->IsAccessChecked());
    r->SetChecked(1);
    EXPECT_EQ(1, r->IsAccessChecked());
    // Caption changes are name changes.
    b->SetText(L"\x786e\x5b9a");
    c->SetText(L"\x786e\x5b9a");
    l->SetText(L"\x786e\x5b9a");
    EXPECT_EQ(1, host_.Count("ActionButton", Change::kName));
    EXPECT_EQ(1, host_.Count("Check", Change::kName));
    EXPECT_EQ(1, host_.Count("Link", Change::kName));
}

TEST_F(ControlsTest, DefaultActionDoesWhatAClickDoes) {
    ButtonControl* b = AddButton();
    b->AddListener(&app_);
    auto* c = Add<CheckboxControl>(kCheckboxControlType, "Check", RECT{10, 60, 200, 80});
    c->AddListener(&app_);
    auto* r = Add<RadioControl>(kRadioControlType, "Radio", RECT{10, 90, 200, 106});
    // The application's radio handler checks the clicked option.
    second_app_.on_up = [](Control* control) {
        dynamic_cast<RadioControl*>(control)->SetChecked(1);
    };
    r->AddListener(&second_app_);
    auto* l = Add<TextlinkControl>(kTextlinkControlType, "Link", RECT{10, 110, 100, 126});
    l->AddListener(&app_);
    AddBackground();
    Finish();

    // Not under the mouse: the button ends normal, not stuck in hover.
    EXPECT_EQ(1, b->DoDefaultAction());
    EXPECT_EQ(kStateNormal, b->GetState());
    EXPECT_EQ(kNormal, Paint()->PixelAt(12, 12));
    // Under the mouse it ends hovered, as after a real click.
    Move(50, 20);
    EXPECT_EQ(1, b->DoDefaultAction());
    EXPECT_EQ(kStateHover, b->GetState());
    Move(250, 180);

    EXPECT_EQ(1, c->DoDefaultAction());
    EXPECT_EQ(1, c->IsChecked());
    EXPECT_EQ(kStateNormal, c->GetState());
    EXPECT_EQ(1, c->DoDefaultAction());
    EXPECT_EQ(0, c->IsChecked());

    EXPECT_EQ(1, r->DoDefaultAction());
    EXPECT_EQ(1, r->IsChecked());
    EXPECT_EQ(kStateNormal, r->GetState());

    EXPECT_EQ(1, l->DoDefaultAction());

    EXPECT_EQ((std::vector<std::string>{"down ActionButton", "up ActionButton", "down ActionButton",
                                        "up ActionButton", "down Check", "up Check", "down Check",
                                        "up Check", "down Link", "up Link"}),
              app_.log);
    // Disabled: nothing happens.
    c->SetEnabled(0);
    EXPECT_EQ(0, c->DoDefaultAction());
    EXPECT_EQ(0, c->IsChecked());
}

// Pixels of the dotted cue colour: lighter than anything the solid test
// images have, on the row given.
int CuePixels(const Bitmap* s, int y, int from, int to) {
    int n = 0;
    for (int x = from; x < to; ++x) {
        n += ((s->PixelAt(x, y) >> 8) & 0xFF) > 0xA0;
    }
    return n;
}

TEST_F(ControlsTest, FocusedControlsDrawADottedCue) {
    ButtonControl* b = AddButton();
    auto* c = Add<CheckboxControl>(kCheckboxControlType, "Check", RECT{10, 60, 200, 80});
    c->SetBoxSize(14);
    c->SetBoxImage(kStateNormal, SolidImage(14, 14, kNormal));
    c->SetText(L"\x590d\x9009\x6846");
    Finish();

    Ref<Bitmap> before = Paint();
    EXPECT_EQ(0, CuePixels(before.get(), 12, 10, 110));
    b->SetFocused(1);
    EXPECT_EQ(1, host_.Count("ActionButton", Change::kState));
    Ref<Bitmap> s = Paint();
    // Every other pixel of the rectangle inset by 2: (12, 12) to (107, 37).
    EXPECT_EQ(48, CuePixels(s.get(), 12, 12, 108));
    EXPECT_EQ(0, CuePixels(s.get(), 11, 10, 110));
    EXPECT_EQ(0, CuePixels(s.get(), 10, 10, 110));
    EXPECT_GT(CuePixels(s.get(), 37, 12, 108), 40);
    EXPECT_EQ(kNormal, s->PixelAt(12, 13));  // the gap between two dots
    b->SetFocused(0);
    EXPECT_EQ(0, CuePixels(Paint().get(), 12, 10, 110));

    // Around the check box's caption, clear of its box.
    c->SetFocused(1);
    s = Paint();
    const RECT ink = c->Caption()->InkBounds();
    EXPECT_GT(CuePixels(s.get(), std::max<int>(60, ink.top - 2), ink.left - 1, ink.right + 2),
              RectWidth(ink) / 3);
    for (int y = 60; y < 80; ++y) {
        for (int x = 10; x < 24; ++x) {
            ASSERT_NE(0xFFE6ECF5u & 0xFFFFFF00u, s->PixelAt(x, y) & 0xFFFFFF00u);
        }
    }
}

// A close button: its click handler tears the whole tree down, as a window
// that closes itself does, while the controls are still being told of it.
Control* g_root_to_destroy = nullptr;

void DestroyTree(Control*) {
    g_root_to_destroy->Destroy();
}

TEST_F(ControlsTest, ATreeDestroyedFromAClickHandlerIsLeftAlone) {
    ButtonControl* b = AddButton();
    b->SetText(L"\x5173\x95ed");
    g_root_to_destroy = root_;
    app_.on_up = &DestroyTree;
    b->AddListener(&app_);
    AddBackground();
    Finish();
    Move(50, 20);
    Down(50, 20);
    Up(50, 20);
    EXPECT_EQ(0u, root_->ChildCount());
    EXPECT_EQ(nullptr, b->GetParent());
    EXPECT_EQ((std::vector<std::string>{"down ActionButton", "up ActionButton"}), app_.log);
    // The torn-down button hears nothing more, and paints nothing: its
    // inner parts went with the tree.
    EXPECT_EQ(0, b->ListenersInSubtree());
    Ref<Bitmap> s = Solid(kWidth, kHeight, kBackdrop);
    b->Paint(s.get());
    EXPECT_EQ(kBackdrop, s->PixelAt(12, 12));
    EXPECT_EQ(nullptr, b->Caption());
    Move(50, 20);
    Down(50, 20);
    EXPECT_EQ(2u, app_.log.size());
}

TEST_F(ControlsTest, ATreeDestroyedFromADefaultActionIsLeftAlone) {
    auto* c = Add<CheckboxControl>(kCheckboxControlType, "Check", RECT{10, 60, 200, 80});
    c->SetText(L"\x590d\x9009\x6846");
    g_root_to_destroy = root_;
    app_.on_up = &DestroyTree;
    c->AddListener(&app_);
    Finish();
    EXPECT_EQ(1, c->DoDefaultAction());
    EXPECT_EQ(1, c->IsChecked());
    EXPECT_EQ(0u, root_->ChildCount());
    EXPECT_EQ(0, c->ListenersInSubtree());
    // Nothing is left to toggle it.
    EXPECT_EQ(1, c->DoDefaultAction());
    EXPECT_EQ(1, c->IsChecked());
}

TEST_F(ControlsTest, RegistrationFollowsTheFactoryTable) {
    struct Expect {
        int32_t type;
        const char* class_name;
    } expected[] = {
        {kLayoutControlType, "LayoutControl"}, {kTextControlType, "TextControl"},
        {kButtonControlType, "ButtonControl"}, {kCheckboxControlType, "Noset"},
        {kImageControlType, "ImageControl"},   {kRadioControlType, "Noset"},
        {kProgressControlType, "Noset"},       {kTextlinkControlType, "Noset"},
        {kFlashControlType, "Noset"},
    };
    for (const Expect& e : expected) {
        Control* c = nullptr;
        ASSERT_EQ(1, CreateControl(e.type, &c)) << e.type;
        EXPECT_EQ(e.class_name, c->ClassName()) << e.type;
        EXPECT_EQ(e.type, c->GetTypeId());
        EXPECT_EQ(0u, c->ChildCount());
        c->Destroy();
        c->Release();
    }
    // The controls that embed child windows are registered with them.
    const Expect embedded[] = {{kEditControlType, "NativeControlT"},
                               {kRichEditControlType, "NativeControlT"},
                               {kAxHostControlType, "Noset"}};
    // The rich edit box's window class comes with the library that the skin
    // start-up loads.
    HMODULE rich_edit = LoadLibraryW(L"RICHED20.DLL");
    for (const Expect& e : embedded) {
        Control* c = nullptr;
        ASSERT_EQ(1, CreateControl(e.type, &c)) << e.type;
        EXPECT_EQ(e.class_name, c->ClassName()) << e.type;
        EXPECT_EQ(e.type, c->GetTypeId());
        c->Destroy();
        c->Release();
    }
    if (rich_edit) {
        FreeLibrary(rich_edit);
    }
    // A second registration changes nothing.
    const ControlCreator button = ControlFactory::Instance().Find(kButtonControlType);
    RegisterStandardControls();
    EXPECT_EQ(button, ControlFactory::Instance().Find(kButtonControlType));
}

// The shipped strips, cut as the application cuts them.
std::wstring Artwork(const wchar_t* file) {
    return std::wstring(L"Z:" TESSALY_SOURCE_DIR_W L"/res/skin/images/") + file;
}

TEST_F(ControlsTest, ShippedArtworkShowsEachStateDifferently) {
    ImageStrip button(Artwork(L"button1.png"), 4), check(Artwork(L"checkbox.png"), 5),
        progress(Artwork(L"progress.png"), 2);
    ASSERT_NE(nullptr, button.bitmap());
    ASSERT_NE(nullptr, check.bitmap());
    ASSERT_NE(nullptr, progress.bitmap());
    auto* b = Add<ButtonControl>(kButtonControlType, "ActionButton", RECT{10, 10, 110, 43});
    for (int i = 0; i < 4; ++i) {
        Ref<StretchImage> frame =
            Ref<StretchImage>::Adopt(button.FrameStretch(i, kStretchThreeHorizontal));
        ASSERT_TRUE(frame);
        const ImageDescriptor d = ImageDescriptor::FromStretch(frame.get());
        i == 0   ? b->SetNormalImage(d)
        : i == 1 ? b->SetHoverImage(d)
        : i == 2 ? b->SetPressedImage(d)
                 : b->SetDisabledImage(d);
    }
    auto* c = Add<CheckboxControl>(kCheckboxControlType, "Check", RECT{10, 60, 200, 74});
    c->SetBoxSize(14);
    for (int i = 0; i < 5; ++i) {
        Ref<Bitmap> frame = Ref<Bitmap>::Adopt(check.FrameBitmap(i));
        ASSERT_TRUE(frame);
        i < 4 ? c->SetBoxImage(i, ImageDescriptor::FromBitmap(frame.get()))
              : c->SetCheckImage(ImageDescriptor::FromBitmap(frame.get()));
    }
    auto* p = Add<ProgressControl>(kProgressControlType, "Progress", RECT{10, 100, 210, 116});
    p->SetRange(0, 400);
    Ref<StretchImage> bk =
        Ref<StretchImage>::Adopt(progress.FrameStretch(0, kStretchThreeHorizontal));
    Ref<StretchImage> fill =
        Ref<StretchImage>::Adopt(progress.FrameStretch(1, kStretchThreeHorizontal));
    p->SetBackgroundImage(ImageDescriptor::FromStretch(bk.get()));
    p->SetFillImage(ImageDescriptor::FromStretch(fill.get()));
    AddBackground();
    Finish();

    // The fill frame is 16 pixels wide: 31 of 400 in 200 pixels is 15, none.
    p->SetPos(31);
    EXPECT_EQ(0, p->IsFillVisible());
    p->SetPos(120);
    EXPECT_EQ(60, RectWidth(p->FillBounds()));

    const uint32_t normal = Paint()->PixelAt(60, 26);
    Move(60, 26);
    const uint32_t hover = Paint()->PixelAt(60, 26);
    Down(60, 26);
    const uint32_t pressed = Paint()->PixelAt(60, 26);
    b->SetEnabled(0);
    const uint32_t disabled = Paint()->PixelAt(60, 26);
    EXPECT_EQ(0xFFu, normal >> 24);
    EXPECT_NE(normal, hover);
    EXPECT_NE(hover, pressed);
    EXPECT_NE(normal, pressed);
    EXPECT_NE(normal, disabled);

    const uint32_t unchecked = Paint()->PixelAt(17, 67);
    c->SetChecked(1);
    const uint32_t checked = Paint()->PixelAt(17, 67);
    EXPECT_NE(unchecked, checked);
    // The check mark frame is blue.
    EXPECT_GT(checked & 0xFF, (checked >> 16) & 0xFF);
    // Filled and unfilled parts of the bar differ.
    Ref<Bitmap> s = Paint();
    EXPECT_NE(s->PixelAt(40, 108), s->PixelAt(150, 108));
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

TEST_F(ControlsTest, ManyHoverAndPressTransitionsKeepGdiObjectsFlat) {
    ButtonControl* b = AddButton();
    b->SetText(L"\x5f00\x59cb");
    auto* c = Add<CheckboxControl>(kCheckboxControlType, "Check", RECT{10, 60, 200, 80});
    c->SetText(L"\x590d\x9009\x6846");
    auto* l = Add<TextlinkControl>(kTextlinkControlType, "Link", RECT{10, 110, 100, 126});
    l->SetText(L"\x94fe\x63a5");
    auto* p = Add<ProgressControl>(kProgressControlType, "Progress", RECT{10, 150, 200, 166});
    p->SetText(L"50%");
    AddBackground();
    Finish();
    Ref<Bitmap> surface = Solid(kWidth, kHeight, kBackdrop);
    root_->Paint(surface.get());  // fonts made once

    const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const size_t bytes = PrivateBytes();
    const POINT spots[] = {{50, 20}, {250, 180}, {15, 70}, {250, 180}, {20, 118}, {250, 180}};
    int check_clicks = 0;
    for (int i = 0; i < 10000; ++i) {
        const POINT at = spots[i % 6];
        Move(at.x, at.y);
        if (i % 2 == 0) {
            Down(at.x, at.y);
            Up(at.x, at.y);
            check_clicks += i % 6 == 2;
        }
        if (i % 20 == 0) {
            b->SetFocused(i % 40 == 0);
            p->SetPos(static_cast<uint32_t>(i % 101));
            root_->Paint(surface.get());
        }
    }
    // Every click reached the check box once.
    EXPECT_EQ(check_clicks % 2, c->IsChecked());
    // 500 paints of four captions: a leaked text section alone would be
    // tens of megabytes.
    EXPECT_LT(PrivateBytes(), bytes + (2u << 20));
    const DWORD gdi_after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user_after = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (gdi != 0 || user != 0) {
        EXPECT_EQ(gdi, gdi_after);
        EXPECT_EQ(user, user_after);
    } else {
        std::printf("GUI object counts unavailable here; private bytes checked only\n");
    }
}

}  // namespace
}  // namespace qm::skin
