// The standard controls in a tree without a window: mouse events dispatched
// from the root, paints into surfaces, pixels and states checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/font.h"
#include "skin/image_cache.h"
#include "skin/progress_control.h"
#include "skin/standard_controls.h"
#include "skin/text_control.h"
#include "skin/textlink_control.h"
#include "tests/skin_controls/controls_support.h"

namespace qm::skin {
namespace {

using namespace qm::skin::testing;
using Change = UiHostBase::Change;

TEST_F(ControlsTest, ButtonPressedAndReleasedOverItGoesPressedThenHover) {
    ButtonControl* b = AddButton();
    b->AddListener(&app_);
    AddBackground();
    Finish();
    EXPECT_EQ(kNormal, Paint()->PixelAt(12, 12));

    Move(50, 20);
    EXPECT_EQ(kStateHover, b->GetState());
    EXPECT_EQ(kHover, Paint()->PixelAt(12, 12));
    Down(50, 20);
    EXPECT_EQ(kStatePressed, b->GetState());
    EXPECT_EQ(1, b->IsAccessPressed());
    EXPECT_EQ(kPressed, Paint()->PixelAt(12, 12));
    Up(50, 20);
    EXPECT_EQ(kStateHover, b->GetState());
    EXPECT_EQ(0, b->IsAccessPressed());
    EXPECT_EQ(kHover, Paint()->PixelAt(108, 38));
    // The private listener leaves the click to the application's.
    EXPECT_EQ((std::vector<std::string>{"down ActionButton", "up ActionButton"}), app_.log);
    // Hover, press and release each told the host.
    EXPECT_EQ(3, host_.Count("ActionButton", Change::kState));
}

TEST_F(ControlsTest, ButtonDraggedOutWhilePressedReturnsToNormal) {
    ButtonControl* b = AddButton();
    b->AddListener(&app_);
    AddBackground();
    Finish();
    Move(50, 20);
    Down(50, 20);
    Move(200, 150);
    EXPECT_EQ(kStateNormal, b->GetState());
    EXPECT_EQ(kNormal, Paint()->PixelAt(12, 12));
    // Released outside: the button hears nothing of it, so no click.
    Up(200, 150);
    EXPECT_EQ(kStateNormal, b->GetState());
    EXPECT_EQ((std::vector<std::string>{"down ActionButton"}), app_.log);
}

TEST_F(ControlsTest, DisablingAHoveredButtonShowsTheDisabledImageAtTheNextPaint) {
    ButtonControl* b = AddButton();
    AddBackground();
    Finish();
    Move(50, 20);
    ASSERT_EQ(kHover, Paint()->PixelAt(12, 12));
    b->SetEnabled(0);
    EXPECT_EQ(kDisabled, Paint()->PixelAt(12, 12));
    EXPECT_EQ(0, b->IsFocusable());
    // Disabled, it hears no mouse at all.
    Down(50, 20);
    EXPECT_NE(kStatePressed, b->GetState());
    EXPECT_EQ(kDisabled, Paint()->PixelAt(12, 12));
    b->SetEnabled(1);
    EXPECT_EQ(1, b->IsFocusable());
}

TEST_F(ControlsTest, ButtonCaptionAndInnerPartsStayOutOfTheTree) {
    ButtonControl* b = AddButton();
    EXPECT_EQ(0, b->SetText(nullptr));
    EXPECT_EQ(L"", b->GetText());
    EXPECT_EQ(1, b->SetText(L"\x5f00\x59cb\x4e0b\x8f7d"));
    EXPECT_EQ(0, b->SetText(L"\x5f00\x59cb\x4e0b\x8f7d"));
    b->AddListener(&app_);
    // Someone listening on the inner caption never hears the mouse.
    AppListener inner;
    ASSERT_NE(nullptr, b->Caption());
    b->Caption()->AddListener(&inner);
    AddBackground();
    Finish();

    EXPECT_EQ(0u, b->ChildCount());
    EXPECT_EQ("ButtonText", b->Caption()->GetName());
    EXPECT_EQ(b->GetBounds().left, b->Caption()->GetBounds().left);
    EXPECT_EQ(b->GetBounds().right, b->Caption()->GetBounds().right);
    EXPECT_EQ("ButtonControl", b->ClassName());
    Move(60, 25);
    Down(60, 25);
    Up(60, 25);
    EXPECT_TRUE(inner.log.empty());
    EXPECT_EQ(2u, app_.log.size());

    // White caption ink in the middle of the normal image.
    Move(250, 150);
    Ref<Bitmap> s = Paint();
    int ink = 0;
    for (int y = 10; y < 40; ++y) {
        for (int x = 10; x < 110; ++x) {
            ink += s->PixelAt(x, y) != kNormal && s->PixelAt(x, y) != kHover;
        }
    }
    EXPECT_GT(ink, 30);
    EXPECT_EQ(kNormal, s->PixelAt(12, 12));
    EXPECT_EQ(kBackdrop, s->PixelAt(5, 5));
}

TEST_F(ControlsTest, AMissingImageFileDrawsNothingForItsSlot) {
    auto* b = Add<ButtonControl>(kButtonControlType, "ActionButton", RECT{10, 10, 110, 40});
    Bitmap* missing = GetBitmap(L"Z:\\no\\such\\folder\\button9.png");
    ASSERT_EQ(nullptr, missing);
    EXPECT_EQ(1, b->SetNormalImage(ImageDescriptor::FromBitmap(missing)));
    EXPECT_EQ(1, b->SetHoverImage(SolidImage(8, 8, kHover)));
    AddBackground();
    Finish();
    EXPECT_EQ(kBackdrop, Paint()->PixelAt(50, 20));
    Move(50, 20);
    EXPECT_EQ(kHover, Paint()->PixelAt(50, 20));
}

TEST_F(ControlsTest, CheckBoxTogglesOnThePressBeforeTheClickHandlerRuns) {
    auto* c = Add<CheckboxControl>(kCheckboxControlType, "CheckAccel", RECT{10, 60, 200, 80});
    c->SetBoxSize(14);
    for (int s = kStateNormal; s <= kStateDisabled; ++s) {
        EXPECT_EQ(1, c->SetBoxImage(s, SolidImage(14, 14, s == 3 ? kDisabled : kNormal)));
    }
    EXPECT_EQ(1, c->SetCheckImage(SolidImage(14, 14, kMark)));
    EXPECT_EQ(1, c->SetText(L"\x590d\x9009\x6846"));
    app_.checked_of = [](Control* control) {
        return dynamic_cast<CheckboxControl*>(control)->IsChecked();
    };
    c->AddListener(&app_);
    AddBackground();
    Finish();

    // The box sits at the left, centred: (20 - 14) >> 1 = 3.
    EXPECT_EQ(kNormal, Paint()->PixelAt(10, 63));
    Move(15, 70);
    Down(15, 70);
    EXPECT_EQ(1, c->IsChecked());
    EXPECT_EQ(kStatePressed, c->GetState());
    Up(15, 70);
    EXPECT_EQ(kStateHover, c->GetState());
    EXPECT_EQ((std::vector<std::string>{"down CheckAccel checked=1", "up CheckAccel checked=1"}),
              app_.log);
    Ref<Bitmap> s = Paint();
    EXPECT_EQ(kMark, s->PixelAt(10, 63));
    EXPECT_EQ(kMark, s->PixelAt(23, 76));
    EXPECT_EQ(kBackdrop, s->PixelAt(10, 62));  // above the box
    EXPECT_EQ(kBackdrop, s->PixelAt(24, 70));  // between box and caption
    // A second click clears it.
    Down(15, 70);
    Up(15, 70);
    EXPECT_EQ(0, c->IsChecked());
    EXPECT_EQ(kNormal, Paint()->PixelAt(10, 63));
    // The caption starts at box size + 2.
    ASSERT_NE(nullptr, c->Caption());
    EXPECT_EQ(26, c->Caption()->GetBounds().left);
    EXPECT_EQ(4u, c->Caption()->GetFormat());
    EXPECT_EQ(0u, c->ChildCount());
}

TEST_F(ControlsTest, SetCheckedWithTheSameValueChangesNothing) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TessalyControlsTest";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, kWidth,
                                  kHeight, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    auto* c = Add<CheckboxControl>(kCheckboxControlType, "CheckAccel", RECT{10, 60, 200, 80});
    Finish();
    root_->AttachWindow(window);
    ValidateRect(window, nullptr);
    RECT dirty;

    EXPECT_EQ(0, c->SetChecked(0));
    EXPECT_FALSE(GetUpdateRect(window, &dirty, FALSE));
    EXPECT_EQ(0, host_.Count("CheckAccel", Change::kState));

    EXPECT_EQ(1, c->SetChecked(1));
    ASSERT_TRUE(GetUpdateRect(window, &dirty, FALSE));
    EXPECT_EQ(10, dirty.left);
    EXPECT_EQ(60, dirty.top);
    EXPECT_EQ(1, host_.Count("CheckAccel", Change::kState));
    ValidateRect(window, nullptr);

    EXPECT_EQ(0, c->SetChecked(5));  // any non-zero is checked
    EXPECT_FALSE(GetUpdateRect(window, &dirty, FALSE));
    EXPECT_EQ(1, host_.Count("CheckAccel", Change::kState));
    root_->Destroy();
    DestroyWindow(window);
}

TEST_F(ControlsTest, RadioOptionLeavesCheckingToTheApplication) {
    auto* r = Add<RadioControl>(kRadioControlType, "Option1", RECT{10, 100, 200, 116});
    r->SetBoxSize(14);
    EXPECT_EQ(1, r->SetBoxImage(kStateNormal, SolidImage(14, 14, kNormal)));
    EXPECT_EQ(1, r->SetBoxImage(kStateHover, SolidImage(14, 14, kHover)));
    EXPECT_EQ(1, r->SetBoxImage(kStatePressed, SolidImage(14, 14, kPressed)));
    // A radio option has no disabled box.
    EXPECT_EQ(0, r->SetBoxImage(kStateDisabled, SolidImage(14, 14, kDisabled)));
    EXPECT_EQ(1, r->SetCheckImage(SolidImage(14, 14, kMark)));
    EXPECT_EQ(1, r->SetText(nullptr));
    EXPECT_EQ(1, r->SetText(L"\x9009\x9879\x4e00"));
    r->AddListener(&app_);
    AddBackground();
    Finish();

    EXPECT_EQ(18, r->Caption()->GetBounds().left - r->GetBounds().left);
    EXPECT_EQ(kNormal, Paint()->PixelAt(10, 101));
    Move(15, 108);
    Down(15, 108);
    EXPECT_EQ(kStatePressed, r->GetState());
    EXPECT_EQ(kPressed, Paint()->PixelAt(10, 101));
    Up(15, 108);
    EXPECT_EQ(kStateHover, r->GetState());
    EXPECT_EQ(0, r->IsChecked());
    EXPECT_EQ(2u, app_.log.size());
    r->SetChecked(1);
    EXPECT_EQ(kMark, Paint()->PixelAt(10, 101));
    // Disabled, it keeps showing its normal box (under the mark).
    r->SetChecked(0);
    r->SetEnabled(0);
    EXPECT_EQ(kNormal, Paint()->PixelAt(10, 101));
}

TEST_F(ControlsTest, ProgressFillFollowsThePositionShareOfTheBar) {
    auto* p = Add<ProgressControl>(kProgressControlType, "Progress", RECT{0, 150, 200, 166});
    EXPECT_EQ(1, p->SetBackgroundImage(SolidImage(8, 16, kNormal)));
    EXPECT_EQ(1, p->SetFillImage(SolidImage(8, 16, kMark)));
    Finish();
    EXPECT_EQ(0u, p->ChildCount());

    p->SetPos(30);
    EXPECT_EQ(1, p->IsFillVisible());
    EXPECT_EQ(60, RectWidth(p->FillBounds()));
    Ref<Bitmap> s = Paint();
    EXPECT_EQ(kMark, s->PixelAt(59, 158));
    EXPECT_EQ(kNormal, s->PixelAt(60, 158));
    EXPECT_EQ(kNormal, s->PixelAt(199, 158));
    // Narrower than the fill image (6 < 8): no fill at all.
    p->SetPos(3);
    EXPECT_EQ(0, p->IsFillVisible());
    EXPECT_EQ(kNormal, Paint()->PixelAt(2, 158));
    p->SetPos(4);  // exactly 8
    EXPECT_EQ(1, p->IsFillVisible());
    EXPECT_EQ(kMark, Paint()->PixelAt(7, 158));
    // A new size places the fill again: 4% of 400 pixels.
    const RECT wider{0, 150, 400, 166};
    p->SetLayout("absolute", &wider);
    root_->Layout(RECT{0, 0, kWidth, kHeight});
    EXPECT_EQ(16, RectWidth(p->FillBounds()));
}

TEST_F(ControlsTest, ProgressPositionIsHeldInsideTheRangeUnsigned) {
    auto* p = Add<ProgressControl>(kProgressControlType, "Progress", RECT{0, 150, 400, 166});
    p->SetFillImage(SolidImage(16, 16, kMark));
    Finish();
    uint32_t lo = 1, hi = 1;
    p->GetRange(&lo, &hi);
    EXPECT_EQ(0u, lo);
    EXPECT_EQ(100u, hi);
    p->SetPos(150);
    EXPECT_EQ(100u, p->GetPos());
    EXPECT_EQ(400, RectWidth(p->FillBounds()));

    EXPECT_EQ(0, p->SetRange(100, 100));
    EXPECT_EQ(0, p->SetRange(200, 100));
    EXPECT_EQ(1, p->SetRange(10, 100));
    p->SetPos(5);
    EXPECT_EQ(10u, p->GetPos());
    EXPECT_EQ(0, p->IsFillVisible());
    // The whole range fills the bar exactly, whatever its minimum.
    p->SetPos(100);
    EXPECT_EQ(400, RectWidth(p->FillBounds()));
    p->SetPos(55);
    EXPECT_EQ(200, RectWidth(p->FillBounds()));
    // A range in bytes: the product must not wrap at 32 bits.
    ASSERT_EQ(1, p->SetRange(0, 4000000000u));
    p->SetPos(3000000000u);
    EXPECT_EQ(300, RectWidth(p->FillBounds()));
    EXPECT_EQ(L"75%", p->GetAccessValue());
    // A position far below the range (a negative value cast) is held too.
    p->SetPos(static_cast<uint32_t>(-5));
    EXPECT_EQ(4000000000u, p->GetPos());
}

TEST_F(ControlsTest, ProgressCaptionIsItsValueAndIsPaintedOnlyWhenSet) {
    auto* p = Add<ProgressControl>(kProgressControlType, "Progress", RECT{0, 150, 200, 166});
    p->SetBackgroundImage(SolidImage(8, 16, kNormal));
    Finish();
    p->SetPos(30);
    EXPECT_EQ(L"30%", p->GetAccessValue());
    EXPECT_EQ(1, host_.Count("Progress", Change::kValue));
    p->SetPos(30);
    EXPECT_EQ(1, host_.Count("Progress", Change::kValue));
    Ref<Bitmap> plain = Paint();
    EXPECT_EQ(1, p->SetText(L"120 / 400"));
    EXPECT_EQ(L"120 / 400", p->GetAccessValue());
    EXPECT_EQ(2, host_.Count("Progress", Change::kValue));
    Ref<Bitmap> captioned = Paint();
    int differ = 0;
    for (int x = 0; x < 200; ++x) {
        differ += plain->PixelAt(x, 158) != captioned->PixelAt(x, 158);
    }
    EXPECT_GT(differ, 5);
    EXPECT_EQ("ProgressText", p->Caption()->GetName());
    EXPECT_EQ(1, p->SetText(nullptr));
    EXPECT_EQ(L"30%", p->GetAccessValue());
    EXPECT_EQ(Control::AccessRole::kProgressBar, p->GetAccessRole());
}

TEST_F(ControlsTest, TextFontSizeThenUnderlineKeepsBoth) {
    auto* t = Add<TextControl>(kTextControlType, "TextTitle", RECT{0, 0, 300, 60});
    Finish();
    EXPECT_EQ(0, t->SetText(nullptr));
    EXPECT_EQ(1, t->SetText(L"\x4e0b\x8f7d Tessaly"));
    EXPECT_EQ(0, t->SetText(L"\x4e0b\x8f7d Tessaly"));
    EXPECT_EQ(1, host_.Count("TextTitle", Change::kName));
    EXPECT_EQ(nullptr, t->AppliedFont());
    t->SetFontSize(24);
    Paint();
    ASSERT_NE(nullptr, t->AppliedFont());
    EXPECT_EQ(24, t->AppliedFont()->height);
    t->SetUnderline(1);
    Paint();
    EXPECT_EQ(24, t->AppliedFont()->height);
    EXPECT_EQ(1, t->AppliedFont()->underline);
    t->SetFontSize(16);
    Ref<Bitmap> s = Paint();
    EXPECT_EQ(16, t->AppliedFont()->height);
    EXPECT_EQ(1, t->AppliedFont()->underline);
    // The underline is one long run of ink under the whole text.
    const RECT ink = t->InkBounds();
    int longest = 0;
    for (int y = ink.top; y < ink.bottom; ++y) {
        int run = 0;
        for (int x = ink.left; x < ink.right; ++x) {
            run = s->PixelAt(x, y) != kBackdrop ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    EXPECT_GE(longest, RectWidth(ink) - 2);
    EXPECT_EQ("TextControl", t->ClassName());
}

TEST_F(ControlsTest, LinkHasItsColourUnderlineAndHandCursor) {
    auto* l = Add<TextlinkControl>(kTextlinkControlType, "Link", RECT{10, 170, 110, 190});
    EXPECT_EQ(1, l->SetText(nullptr));
    EXPECT_EQ(1, l->SetText(L"\x94fe\x63a5"));
    l->AddListener(&app_);
    AddBackground();
    Finish();
    ASSERT_NE(nullptr, l->Caption());
    EXPECT_EQ("TextlinkText", l->Caption()->GetName());
    EXPECT_EQ(0xFF0091FFu, l->Caption()->GetColour());
    EXPECT_EQ(1, l->Caption()->GetUnderline());
    EXPECT_EQ(4u, l->Caption()->GetFormat());
    EXPECT_EQ("Noset", l->ClassName());

    EXPECT_EQ(0, l->OnSetCursor(nullptr, HTCLIENT, WM_MOUSEMOVE));
    Move(20, 180);
    EXPECT_EQ(1, l->OnSetCursor(nullptr, HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(1, host_.Count("Link", Change::kState));
    Down(20, 180);
    Up(20, 180);
    EXPECT_EQ((std::vector<std::string>{"down Link", "up Link"}), app_.log);
    Move(250, 20);
    EXPECT_EQ(0, l->OnSetCursor(nullptr, HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(2, host_.Count("Link", Change::kState));

    // Blue ink: more blue than red in the text's pixels.
    Ref<Bitmap> s = Paint();
    int blue = 0;
    for (int y = 170; y < 190; ++y) {
        for (int x = 10; x < 110; ++x) {
            const uint32_t p = s->PixelAt(x, y);
            blue += (p & 0xFF) > 0x80 && ((p >> 16) & 0xFF) < 0x40;
        }
    }
    EXPECT_GT(blue, 10);
}

}  // namespace
}  // namespace qm::skin
