// The window host with real windows on the display: the message table row by
// row, filters, painting through the surface, the non-client hit test, the
// keyboard focus and the registry.
#include "skin/host_window.h"

#include <gtest/gtest.h>
#include <windowsx.h>

#include <cstdio>

#include "skin/bitmap.h"
#include "skin/button_control.h"
#include "skin/control_factory.h"
#include "skin/layout_control.h"
#include "skin/surface.h"
#include "skin/text_control.h"
#include "tests/skin_host/gdi_probe.h"
#include "tests/skin_host/support.h"

namespace qm::skin::test {
namespace {

// The tree of most cases, shaped like the application's: a root, a
// background with caption code 2 filling the window, and on it a button and a
// check box with listeners, in a 300 x 200 window.
class HostFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        g_log.clear();
        root = Make<Solid>(kSolidType, "UIRoot", nullptr, nullptr);
        background = Make<Solid>(kSolidType, "ImageBkg", nullptr, root);
        background->SetHitTestCode(2);
        const RECT b = {20, 20, 100, 50};
        button = Make<Press>(kPressType, "ActionButton", &b, background);
        const RECT c = {20, 80, 100, 100};
        check = Make<Toggle>(kToggleType, "CheckInstall", &c, background);
        recorder = new Recorder();
        button->AddListener(recorder);
        check->AddListener(recorder);
        window = new HostWindow();
        window->SetRoot(root);
    }
    void TearDown() override {
        delete window;
        for (Control* c : {static_cast<Control*>(check), static_cast<Control*>(button),
                           static_cast<Control*>(background), root}) {
            c->Release();
        }
        EXPECT_EQ(0, g_live_controls);
    }
    HWND Open(int width = 300, int height = 200) {
        const RECT r = {100, 100, 100 + width, 100 + height};
        HWND hwnd = window->Create(nullptr, r, L"skin host test");
        if (hwnd) {
            ShowWindow(hwnd, SW_SHOWNOACTIVATE);
            UpdateWindow(hwnd);
        }
        return hwnd;
    }
    LPARAM ScreenPoint(HWND hwnd, int x, int y) {
        POINT p = {x, y};
        ClientToScreen(hwnd, &p);
        return MAKELPARAM(p.x, p.y);
    }

    Control* root = nullptr;
    Solid* background = nullptr;
    Press* button = nullptr;
    Toggle* check = nullptr;
    Recorder* recorder = nullptr;
    HostWindow* window = nullptr;
};

TEST_F(HostFixture, CreationAttachesLaysOutAndPaintsThroughTheSurface) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(window, LookupHostByWindow(hwnd));
    EXPECT_EQ(hwnd, button->GetHostWindow());
    EXPECT_EQ(hwnd, background->GetHostWindow());
    const RECT bounds = root->GetBounds();
    EXPECT_EQ(300, bounds.right);
    EXPECT_EQ(200, bounds.bottom);
    EXPECT_EQ(20, button->GetBounds().left);
    EXPECT_EQ(100, button->GetBounds().right);
    ASSERT_TRUE(PumpUntil([&] { return background->paints > 0; }, 2000));
    const Bitmap* surface = window->GetUiHost().Surface();
    ASSERT_TRUE(surface);
    EXPECT_EQ(300, surface->width());
    EXPECT_EQ(200, surface->height());
    // The copy reached the screen: the window's pixels are the background's.
    HDC dc = GetDC(hwnd);
    const COLORREF pixel = GetPixel(dc, 5, 5);
    ReleaseDC(hwnd, dc);
    EXPECT_EQ(RGB(0x33, 0x66, 0x99), pixel);
    DestroyWindow(hwnd);
    EXPECT_EQ(nullptr, LookupHostByWindow(hwnd));
}

TEST_F(HostFixture, MessageTableRowByRow) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    UiHost& host = window->GetUiHost();
    LRESULT result = 77;

    // Creation: attaches again, not consumed.
    g_log.clear();
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_CREATE, 0, 0, &result));
    EXPECT_EQ(std::vector<std::string>({"attach UIRoot", "attach ImageBkg", "attach CheckInstall",
                                        "attach ActionButton"}),
              g_log);
    // Size: lays out from the root, not consumed.
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_SIZE, 0, MAKELPARAM(250, 150), &result));
    EXPECT_EQ(250, root->GetBounds().right);
    EXPECT_EQ(150, background->GetBounds().bottom);
    host.ProcessMessage(hwnd, WM_SIZE, 0, MAKELPARAM(300, 200), &result);
    // Paint: consumed with 0.
    result = 77;
    EXPECT_EQ(1, host.ProcessMessage(hwnd, WM_PAINT, 0, 0, &result));
    EXPECT_EQ(0, result);
    // Erase background: consumed with 1.
    EXPECT_EQ(1, host.ProcessMessage(hwnd, WM_ERASEBKGND, 0, 0, &result));
    EXPECT_EQ(1, result);
    EXPECT_EQ(1, SendMessageW(hwnd, WM_ERASEBKGND, 0, 0));
    // Show window: reaches the tree, not consumed.
    g_log.clear();
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_SHOWWINDOW, 1, 0, &result));
    EXPECT_NE(std::find(g_log.begin(), g_log.end(), "show ActionButton 1"), g_log.end());
    // Set cursor: consumed only when a control answers.
    result = 77;
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), &result));
    button->claim_cursor = true;
    EXPECT_EQ(1, host.ProcessMessage(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), &result));
    EXPECT_EQ(0, result);
    // Key down: reaches the tree, not consumed.
    g_log.clear();
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_KEYDOWN, 'A', 1, &result));
    EXPECT_EQ(std::vector<std::string>({"key UIRoot 65"}), g_log);
    // Mouse move: hover starts on the button, not consumed; moving off ends it.
    g_log.clear();
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(30, 30), &result));
    EXPECT_EQ(button, host.HoverControl());
    EXPECT_EQ(1, button->IsHover());
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(200, 150), &result));
    EXPECT_EQ(nullptr, host.HoverControl());
    EXPECT_EQ(std::vector<std::string>({"enter ActionButton", "leave ActionButton"}), g_log);
    // Button down and up: the listeners, not consumed.
    g_log.clear();
    EXPECT_EQ(0,
              host.ProcessMessage(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 30), &result));
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(30, 30), &result));
    EXPECT_EQ(std::vector<std::string>({"down ActionButton", "up ActionButton"}), g_log);
    // Mouse leave: ends the hover.
    host.ProcessMessage(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(30, 85), &result);
    EXPECT_EQ(check, host.HoverControl());
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_MOUSELEAVE, 0, 0, &result));
    EXPECT_EQ(nullptr, host.HoverControl());
    EXPECT_EQ(0, check->IsHover());
    // Anything else: nothing.
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_TIMER, 5, 0, &result));
    // Non-client hit test: consumed with the tree's code.
    EXPECT_EQ(1, host.ProcessMessage(hwnd, WM_NCHITTEST, 0, ScreenPoint(hwnd, 200, 150), &result));
    EXPECT_EQ(HTCAPTION, result);
    // Destroy: the hovered control is released and the tree destroyed.
    host.ProcessMessage(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(30, 30), &result);
    ASSERT_EQ(button, host.HoverControl());
    DestroyWindow(hwnd);
    EXPECT_EQ(nullptr, host.HoverControl());
    EXPECT_EQ(0u, root->ChildCount());
    EXPECT_EQ(nullptr, button->GetParent());
}

TEST_F(HostFixture, NonClientHitTestGivesCaptionOnlyOverPlainBackground) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    // Over the button that lies on the caption-coded background: client.
    EXPECT_EQ(HTCLIENT, SendMessageW(hwnd, WM_NCHITTEST, 0, ScreenPoint(hwnd, 30, 30)));
    // Over the plain background: caption, so the system drags the window.
    EXPECT_EQ(HTCAPTION, SendMessageW(hwnd, WM_NCHITTEST, 0, ScreenPoint(hwnd, 250, 150)));
    // A control without listeners on the background lets the caption through.
    background->SetHitTestCode(0);
    EXPECT_EQ(HTCLIENT, SendMessageW(hwnd, WM_NCHITTEST, 0, ScreenPoint(hwnd, 250, 150)));
    // A point sign-extended as on 64-bit systems (negative screen x).
    SetWindowPos(hwnd, nullptr, -50, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    background->SetHitTestCode(2);
    EXPECT_EQ(HTCAPTION, SendMessageW(hwnd, WM_NCHITTEST, 0, ScreenPoint(hwnd, 10, 150)));
    EXPECT_EQ(HTCLIENT, SendMessageW(hwnd, WM_NCHITTEST, 0, ScreenPoint(hwnd, 30, 30)));
}

// Logs and, when told to, consumes.
class TagFilter : public MessageFilter {
  public:
    TagFilter(const char* tag, UINT consume) : tag_(tag), consume_(consume) {}
    int Filter(HWND hwnd, UINT message, WPARAM, LPARAM) override {
        if (message == WM_APP) {
            g_log.push_back(tag_);
        } else if (message == WM_DESTROY) {
            g_log.push_back("destroy " + tag_);
        }
        if (message == consume_) {
            if (message == WM_PAINT) {
                ValidateRect(hwnd, nullptr);
            }
            return 1;
        }
        return 0;
    }

  private:
    std::string tag_;
    UINT consume_;
};

TEST_F(HostFixture, FiltersAreAskedLastAddedFirstAndConsumeWithTheCallersResult) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    UiHost& host = window->GetUiHost();
    TagFilter first("first", 0), second("second", 0), third("third", WM_APP + 1);
    EXPECT_EQ(1, host.AddFilter(&first));
    EXPECT_EQ(1, host.AddFilter(&second));
    EXPECT_EQ(1, host.AddFilter(&third));
    g_log.clear();
    LRESULT result = 1234;
    EXPECT_EQ(0, host.ProcessMessage(hwnd, WM_APP, 0, 0, &result));
    EXPECT_EQ(std::vector<std::string>({"third", "second", "first"}), g_log);
    EXPECT_EQ(1, host.ProcessMessage(hwnd, WM_APP + 1, 0, 0, &result));
    EXPECT_EQ(1234, result);
    // Removing one closes the gap; removing it again fails.
    EXPECT_EQ(1, host.RemoveFilter(&second));
    EXPECT_EQ(0, host.RemoveFilter(&second));
    g_log.clear();
    host.ProcessMessage(hwnd, WM_APP, 0, 0, &result);
    EXPECT_EQ(std::vector<std::string>({"third", "first"}), g_log);
    // A filter that consumes the erase message wins over the table's 1.
    TagFilter eraser("eraser", WM_ERASEBKGND);
    host.AddFilter(&eraser);
    result = 9;
    EXPECT_EQ(1, host.ProcessMessage(hwnd, WM_ERASEBKGND, 0, 0, &result));
    EXPECT_EQ(9, result);
    host.RemoveFilter(&eraser);
    host.RemoveFilter(&first);
    host.RemoveFilter(&third);

    // A filter that removes itself and the one before it while asked: the
    // removed one is not asked any more.
    struct Remover : MessageFilter {
        UiHost* host = nullptr;
        MessageFilter* other = nullptr;
        int Filter(HWND, UINT message, WPARAM, LPARAM) override {
            if (message == WM_APP) {
                g_log.push_back("remover");
                host->RemoveFilter(other);
                host->RemoveFilter(this);
            }
            return 0;
        }
    } remover;
    remover.host = &host;
    remover.other = &second;
    host.AddFilter(&first);
    host.AddFilter(&second);
    host.AddFilter(&remover);
    g_log.clear();
    host.ProcessMessage(hwnd, WM_APP, 0, 0, &result);
    EXPECT_EQ(std::vector<std::string>({"remover", "first"}), g_log);
    host.RemoveFilter(&first);
}

TEST_F(HostFixture, AConsumingFilterSuppressesThePaint) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    ASSERT_TRUE(PumpUntil([&] { return background->paints > 0; }, 2000));
    TagFilter painter("painter", WM_PAINT);
    window->AddFilter(&painter);
    const int before = background->paints;
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    Pump(50);
    EXPECT_EQ(before, background->paints);
    window->RemoveFilter(&painter);
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    EXPECT_EQ(before + 1, background->paints);
}

TEST_F(HostFixture, TheSurfaceIsRecreatedOnlyWhenTheClientSizeChanges) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    UpdateWindow(hwnd);
    UiHost& host = window->GetUiHost();
    ASSERT_EQ(1, host.SurfacesCreated());
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    // Same size, repainted several times: the same surface.
    for (int i = 0; i < 3; ++i) {
        SetWindowPos(hwnd, nullptr, 0, 0, 300, 200, flags);
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    EXPECT_EQ(1, host.SurfacesCreated());
    // Moving does not count either.
    SetWindowPos(hwnd, nullptr, 130, 140, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(1, host.SurfacesCreated());
    // A new width: a new surface of the new size.
    SetWindowPos(hwnd, nullptr, 0, 0, 320, 200, flags);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(2, host.SurfacesCreated());
    ASSERT_TRUE(host.Surface());
    EXPECT_EQ(320, host.Surface()->width());
    SetWindowPos(hwnd, nullptr, 0, 0, 320, 210, flags);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(3, host.SurfacesCreated());
    EXPECT_EQ(210, host.Surface()->height());
}

TEST_F(HostFixture, AnEmptyClientAreaDrawsNothing) {
    HWND hwnd = Open(0, 0);
    ASSERT_TRUE(hwnd);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    LRESULT result = 5;
    EXPECT_EQ(1, window->GetUiHost().ProcessMessage(hwnd, WM_PAINT, 0, 0, &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, background->paints);
    EXPECT_EQ(0, window->GetUiHost().SurfacesCreated());
    // Growing it later paints normally.
    SetWindowPos(hwnd, nullptr, 0, 0, 40, 30, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GT(background->paints, 0);
}

TEST(HostWithoutRoot, PaintsSizesAndTakesMouseWithoutATree) {
    HostWindow window;
    const RECT r = {50, 50, 250, 150};
    HWND hwnd = window.Create(nullptr, r, L"no root");
    ASSERT_TRUE(hwnd);
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
    SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
    POINT p = {10, 10};
    ClientToScreen(hwnd, &p);
    EXPECT_EQ(HTCLIENT, SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)));
    EXPECT_EQ(0, window.GetUiHost().SurfacesCreated());
    EXPECT_EQ(nullptr, window.GetUiHost().MoveFocus(false));
    EXPECT_EQ(window.GetUiHost().GetRoot(), nullptr);
}

TEST_F(HostFixture, TabMovesTheFocusInTreeOrderAndSpacePresses) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    UiHost& host = window->GetUiHost();
    SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(button, host.FocusedControl());
    EXPECT_EQ(1, button->IsFocused());
    SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(check, host.FocusedControl());
    EXPECT_EQ(0, button->IsFocused());
    // Space presses the focused control as a click does; a held key's
    // repeats do not press again.
    g_log.clear();
    SendMessageW(hwnd, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageW(hwnd, WM_KEYDOWN, VK_SPACE, 1 | (1 << 30));
    EXPECT_EQ(1, check->checked);
    // The tree still sees both keys first.
    EXPECT_EQ(std::vector<std::string>(
                  {"key UIRoot 32", "down CheckInstall", "up CheckInstall", "key UIRoot 32"}),
              g_log);
    SendMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(0, check->checked);
    // Wraps around; Shift+Tab goes back.
    SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(button, host.FocusedControl());
    EXPECT_EQ(check, host.MoveFocus(true));
    // Disabled and hidden controls are skipped.
    button->SetEnabled(0);
    SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(check, host.FocusedControl());
    check->SetVisible(0);
    EXPECT_EQ(nullptr, host.MoveFocus(false));
    EXPECT_EQ(0, check->IsFocused());
    // Mouse clicks do not move the focus.
    button->SetEnabled(1);
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 30));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(30, 30));
    EXPECT_EQ(nullptr, host.FocusedControl());
}

TEST_F(HostFixture, ATreeDestroyedFromInsideAClickHandler) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    // The application's click handler closes the window and deletes its
    // window object, host included, while the host is dispatching the click.
    recorder->on_up = [this](Control*) {
        HostWindow* doomed = window;
        window = nullptr;
        delete doomed;
    };
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(30, 30));
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 30));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(30, 30));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(nullptr, window);
    EXPECT_EQ(nullptr, LookupHostByWindow(hwnd));
    // The tree was destroyed: only the test's own references remain.
    EXPECT_EQ(0u, root->ChildCount());
    EXPECT_EQ(nullptr, button->GetParent());
    // Keys pressed through the keyboard path may close the window too.
    Pump(20);
}

TEST_F(HostFixture, DeletingTheObjectDestroysTheWindowWithoutAskingTheFilters) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    TagFilter watcher("watcher", WM_NULL);
    // Destroyed as a window normally is, the filters see it go.
    {
        HostWindow other;
        other.AddFilter(&watcher);
        const RECT r = {0, 0, 50, 50};
        g_log.clear();
        DestroyWindow(other.Create(nullptr, r, L"other"));
        EXPECT_EQ(std::vector<std::string>({"destroy watcher"}), g_log);
    }
    window->AddFilter(&watcher);
    g_log.clear();
    SendMessageW(hwnd, WM_APP, 0, 0);
    EXPECT_EQ(std::vector<std::string>({"watcher"}), g_log);
    delete window;
    window = nullptr;
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(nullptr, LookupHostByWindow(hwnd));
    EXPECT_EQ(std::vector<std::string>({"watcher"}), g_log);
    // The tree went with the window.
    EXPECT_EQ(0u, root->ChildCount());
}

TEST_F(HostFixture, ARepaintWhereNothingChangedCreatesNoGdiObject) {
    const RECT text_rect = {20, 120, 280, 140}, button_rect = {150, 20, 240, 50};
    auto* text = Make<TextControl>(kTextControlType, "TextStatus", &text_rect, background);
    text->SetText(L"正在下载：61.5%");
    auto* caption =
        Make<ButtonControl>(kButtonControlType, "CaptionButton", &button_rect, background);
    caption->SetText(L"开始下载");
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const GdiProbe probe;
    if (GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) == 0 && !probe.usable()) {
        text->Release();
        caption->Release();
        GTEST_SKIP() << "this system neither counts GDI objects nor reuses their handles in order";
    }
    Bitmap* surface = CreateSurface(300, 200);
    root->Paint(surface);
    const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    // The tree alone.
    EXPECT_EQ(0, probe.Creates([&] { root->Paint(surface); }));
    // The whole paint message through the host, where the system's own
    // begin and end of painting create nothing either (Wine makes regions).
    struct BarePaint : MessageFilter {
        int Filter(HWND h, UINT message, WPARAM, LPARAM) override {
            if (message != WM_PAINT) {
                return 0;
            }
            PAINTSTRUCT ps;
            BeginPaint(h, &ps);
            EndPaint(h, &ps);
            return 1;
        }
    } bare;
    HostWindow plain;
    plain.AddFilter(&bare);
    const RECT plain_rect = {0, 0, 300, 200};
    HWND plain_hwnd = plain.Create(nullptr, plain_rect, L"bare paint");
    ShowWindow(plain_hwnd, SW_SHOWNOACTIVATE);
    RedrawWindow(plain_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const int system_creates = probe.Creates(
        [&] { RedrawWindow(plain_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
    const int host_creates = probe.Creates(
        [&] { RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
    std::printf("GDI objects created by a paint message: the system's own %d, the host's %d\n",
                system_creates, host_creates);
    if (system_creates == 0) {
        EXPECT_EQ(0, host_creates);
    }
    EXPECT_EQ(counted, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    // A changed text is drawn through GDI again: the probe sees that.
    text->SetText(L"正在下载：61.6%");
    EXPECT_EQ(1, probe.Creates([&] { root->Paint(surface); }));
    surface->Release();
    text->Release();
    caption->Release();
}

TEST_F(HostFixture, RegistryFollowsTheWindowsLife) {
    EXPECT_EQ(nullptr, LookupHostByWindow(nullptr));
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    HostWindow other;
    const RECT r = {0, 0, 50, 50};
    HWND second = other.Create(nullptr, r, L"other");
    ASSERT_TRUE(second);
    EXPECT_EQ(window, LookupHostByWindow(hwnd));
    EXPECT_EQ(&other, LookupHostByWindow(second));
    DestroyWindow(second);
    EXPECT_EQ(nullptr, LookupHostByWindow(second));
    EXPECT_EQ(window, LookupHostByWindow(hwnd));
}

}  // namespace
}  // namespace qm::skin::test

namespace qm::skin::test {
namespace {

struct WinEvent {
    DWORD event;
    HWND hwnd;
    LONG object;
    LONG child;
};
std::vector<WinEvent> g_events;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                         DWORD) {
    g_events.push_back({event, hwnd, object, child});
}

bool Seen(HWND hwnd, DWORD event, LONG child) {
    for (const WinEvent& e : g_events) {
        if (e.event == event && e.hwnd == hwnd && e.object == OBJID_CLIENT && e.child == child) {
            return true;
        }
    }
    return false;
}

TEST_F(HostFixture, ReadersGetTheTreeAndHearOfItsChanges) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    // The client object, asked for as a reader asks (the object id may come
    // sign-extended; the host compares 32 bits).
    IAccessible* client = nullptr;
    ASSERT_EQ(S_OK, AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&client)));
    ASSERT_TRUE(client);
    long children = 0;
    EXPECT_EQ(S_OK, client->get_accChildCount(&children));
    EXPECT_GT(children, 0);
    LRESULT sign_extended =
        SendMessageW(hwnd, WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<LONG>(OBJID_CLIENT)));
    EXPECT_GT(sign_extended, 0);
    if (sign_extended > 0) {
        IAccessible* again = nullptr;
        ObjectFromLresult(sign_extended, __uuidof(IAccessible), 0,
                          reinterpret_cast<void**>(&again));
        if (again) {
            again->Release();
        }
    }
    // Other object ids are left to the system.
    EXPECT_EQ(0, SendMessageW(hwnd, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_WINDOW)));

    g_events.clear();
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, &OnWinEvent,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_TRUE(hook);
    SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
    button->SetEnabled(0);
    check->SetVisible(0);
    check->SetVisible(1);
    button->NotifyChange(UiHostBase::Change::kName);
    button->NotifyChange(UiHostBase::Change::kValue);
    Pump(50);
    UnhookWinEvent(hook);
    EXPECT_TRUE(Seen(hwnd, EVENT_OBJECT_FOCUS, button->GetId()));
    EXPECT_TRUE(Seen(hwnd, EVENT_OBJECT_STATECHANGE, button->GetId()));
    EXPECT_TRUE(Seen(hwnd, EVENT_OBJECT_HIDE, check->GetId()));
    EXPECT_TRUE(Seen(hwnd, EVENT_OBJECT_SHOW, check->GetId()));
    EXPECT_TRUE(Seen(hwnd, EVENT_OBJECT_NAMECHANGE, button->GetId()));
    EXPECT_TRUE(Seen(hwnd, EVENT_OBJECT_VALUECHANGE, button->GetId()));

    // While the window goes, no new object is handed out.
    struct AskOnDestroy : MessageFilter {
        LRESULT answer = -1;
        int Filter(HWND h, UINT message, WPARAM, LPARAM) override {
            if (message == WM_NCDESTROY) {
                answer = SendMessageW(h, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
            }
            return 0;
        }
    } asker;
    window->AddFilter(&asker);
    // The object outlives its window and then answers nothing.
    DestroyWindow(hwnd);
    EXPECT_EQ(0, asker.answer);
    EXPECT_EQ(E_FAIL, client->get_accChildCount(&children));
    client->Release();
}

}  // namespace
}  // namespace qm::skin::test
