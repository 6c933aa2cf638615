// The edit boxes: a real child window made hidden with the control, moved
// into the skinned window when the tree is attached, kept on the control's
// bounds, shown and hidden with it, framed by the tree's paint, and reached
// by real keys.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "skin/bitmap.h"
#include "skin/control_factory.h"
#include "skin/native_control.h"
#include "tests/skin_embed/embed_support.h"

namespace qm::skin::embed_test {
namespace {

RECT Rect(int l, int t, int r, int b) {
    RECT rect = {l, t, r, b};
    return rect;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The child's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST(EditControl, BothKindsAreMadeHiddenUnderTheDesktopWithTheirStyle) {
    const struct {
        int32_t type;
        const wchar_t* window_class;
    } kinds[] = {{kEditControlType, L"Edit"}, {kRichEditControlType, L"RichEdit20W"}};
    for (const auto& kind : kinds) {
        Control* control = nullptr;
        ASSERT_EQ(1, CreateControl(kind.type, &control)) << kind.type;
        HWND child = static_cast<NativeControl*>(control)->GetNativeWindow();
        ASSERT_TRUE(IsWindow(child));
        EXPECT_EQ(0, lstrcmpiW(kind.window_class, ClassOf(child).c_str()));
        const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
        EXPECT_EQ(0x40200004u, style & 0x40200004u) << std::hex << style;
        EXPECT_EQ(0u, style & WS_VISIBLE);
        EXPECT_EQ(GetDesktopWindow(), GetAncestor(child, GA_PARENT));
        control->Destroy();
        EXPECT_FALSE(IsWindow(child)) << "the child goes with the control";
        control->Release();
    }
}

TEST(EditControl, AttachedLaidOutShownAndHiddenWithTheControl) {
    TestWindow window;
    Control* edit = MakeControl(kEditControlType, "Edit", Rect(10, 20, 210, 60), window.Root());
    ASSERT_NE(nullptr, edit);
    HWND child = static_cast<NativeControl*>(edit)->GetNativeWindow();
    HWND hwnd = window.Create(Rect(40, 40, 440, 340));
    ASSERT_NE(nullptr, hwnd);
    Pump(50);

    EXPECT_EQ(hwnd, GetParent(child)) << "re-parented into the skinned window";
    RECT place = PlaceOf(child);
    EXPECT_EQ(10, place.left);
    EXPECT_EQ(20, place.top);
    EXPECT_EQ(210, place.right);
    EXPECT_EQ(60, place.bottom);
    EXPECT_TRUE(IsWindowVisible(child)) << "shown with the window";

    // A new layout moves it.
    RECT moved = Rect(30, 100, 130, 180);
    edit->SetLayout("relative:ltlt", &moved);
    RECT client;
    GetClientRect(hwnd, &client);
    window.Root()->Layout(client);
    place = PlaceOf(child);
    EXPECT_EQ(30, place.left);
    EXPECT_EQ(100, place.top);
    EXPECT_EQ(130, place.right);
    EXPECT_EQ(180, place.bottom);

    // Made invisible: hidden at the next Invalidate, not before.
    edit->SetVisible(0);
    EXPECT_TRUE(IsWindowVisible(child));
    edit->Invalidate();
    EXPECT_FALSE(IsWindowVisible(child));
    edit->SetVisible(1);
    edit->Invalidate();
    EXPECT_TRUE(IsWindowVisible(child));

    // ... or at the next show-window message, which shows only a visible one.
    edit->SetVisible(0);
    window.Root()->OnShowWindow(1, 0);
    EXPECT_FALSE(IsWindowVisible(child));
    edit->SetVisible(1);
    window.Root()->OnShowWindow(1, 0);
    EXPECT_TRUE(IsWindowVisible(child));
    window.Root()->OnShowWindow(0, 0);
    EXPECT_FALSE(IsWindowVisible(child));
    edit->Release();
}

TEST(EditControl, TheFrameIsPaintedAroundTheChild) {
    TestWindow window;
    Control* edit = MakeControl(kEditControlType, "Edit", Rect(10, 20, 110, 60), window.Root());
    ASSERT_NE(nullptr, edit);
    ASSERT_NE(nullptr, window.Create(Rect(40, 40, 240, 140)));
    InvalidateRect(window.hwnd(), nullptr, FALSE);
    UpdateWindow(window.hwnd());
    const Bitmap* surface = window.Host().Surface();
    ASSERT_NE(nullptr, surface);
    // One pixel left of and above the bounds, and on their right and bottom
    // edges.
    EXPECT_EQ(kNativeFrameColour, surface->PixelAt(9, 19));
    EXPECT_EQ(kNativeFrameColour, surface->PixelAt(60, 19));
    EXPECT_EQ(kNativeFrameColour, surface->PixelAt(9, 40));
    EXPECT_EQ(kNativeFrameColour, surface->PixelAt(110, 60));
    EXPECT_EQ(kNativeFrameColour, surface->PixelAt(110, 30));
    EXPECT_EQ(kNativeFrameColour, surface->PixelAt(50, 60));
    // Not inside, not further out.
    EXPECT_NE(kNativeFrameColour, surface->PixelAt(10, 20));
    EXPECT_NE(kNativeFrameColour, surface->PixelAt(109, 59));
    EXPECT_NE(kNativeFrameColour, surface->PixelAt(8, 18));
    EXPECT_NE(kNativeFrameColour, surface->PixelAt(111, 61));
    edit->Release();
}

TEST(EditControl, RealKeysReachTheEditBox) {
    TestWindow window;
    Control* edit = MakeControl(kEditControlType, "Edit", Rect(10, 20, 210, 60), window.Root());
    ASSERT_NE(nullptr, edit);
    HWND child = static_cast<NativeControl*>(edit)->GetNativeWindow();
    HWND hwnd = window.Create(Rect(100, 100, 400, 250));
    ASSERT_NE(nullptr, hwnd);
    Pump(200);
    POINT centre = {110, 40};
    ClientToScreen(hwnd, &centre);
    ASSERT_TRUE(RunUnix(L"/usr/bin/xdotool mousemove " + std::to_wstring(centre.x) + L" " +
                        std::to_wstring(centre.y) + L" click 1"));
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == child; }, 5000))
        << "a click puts the focus into the edit box";
    ASSERT_TRUE(RunUnix(L"/usr/bin/xdotool type --delay 20 \"tessaly 42\""));
    wchar_t text[64] = {};
    PumpUntil(
        [&] {
            GetWindowTextW(child, text, 64);
            return std::wstring(text) == L"tessaly 42";
        },
        5000);
    EXPECT_STREQ(L"tessaly 42", text);
    edit->Release();
}

}  // namespace
}  // namespace qm::skin::embed_test
