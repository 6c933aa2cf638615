// The tips window and its scripting object. The page's part is played by
// the stand-in browser, which calls the external object by name through
// IDispatch as a page script would.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "app/tips_script.h"
#include "app/tips_window.h"
#include "host/host_paths.h"
#include "skin/ax_host_control.h"
#include "skin/control.h"
#include "tests/skin_embed/embed_support.h"

namespace {

using qm::skin::embed_test::BrowserRecord;
using qm::skin::embed_test::ClearBrowserRecord;
using qm::skin::embed_test::LiveBrowsers;
using qm::skin::embed_test::Pump;
using qm::skin::embed_test::PumpUntil;
using qm::skin::embed_test::RecordHas;
using qm::skin::embed_test::RunUnix;
using qm::skin::embed_test::StandInRegistered;

const wchar_t kTitle[] = L"演示游戏";

std::string Narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return out;
}

// The controller's side: the percent it shows and the peer id the beacons
// carry.
class Source : public TipsSource {
  public:
    int TipsPercent() override { return percent; }
    std::wstring TipsPeerId() override { return ServicePeerId(); }
    int percent = 42;
};

// The artwork is read relative to the current folder, as in the client.
class Tips : public ::testing::Test {
  protected:
    void SetUp() override {
        SetCurrentDirectoryW(program_directory().c_str());
        ASSERT_TRUE(StandInRegistered());
        ClearBrowserRecord();
        ASSERT_EQ(0, LiveBrowsers());
    }
    void TearDown() override { EXPECT_EQ(0, LiveBrowsers()) << "no browser outlives its window"; }

    Source source_;
};

TEST_F(Tips, TheScriptingObjectAnswersItsTwoNamesInAnyCase) {
    TipsScript* script = TipsScript::Create(&source_);
    const struct {
        const wchar_t* name;
        HRESULT result;
        DISPID id;
    } names[] = {
        {L"GetDownloadProgress", S_OK, 1}, {L"getdownloadprogress", S_OK, 1},
        {L"GETPEERID", S_OK, 2},           {L"GetPeerId", S_OK, 2},
        {L"GetPeer", E_FAIL, -1},          {L"", E_FAIL, -1},
    };
    for (const auto& entry : names) {
        LPOLESTR name = const_cast<LPOLESTR>(entry.name);
        DISPID id = 99;
        EXPECT_EQ(entry.result, script->GetIDsOfNames(IID_NULL, &name, 1, 0, &id))
            << Narrow(entry.name);
        EXPECT_EQ(entry.id, id) << Narrow(entry.name);
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    source_.percent = 77;
    ASSERT_EQ(S_OK,
              script->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    EXPECT_EQ(VT_I4, V_VT(&result));
    EXPECT_EQ(77, V_I4(&result));
    for (DISPID other : {0, 3, -1, DISPID_VALUE}) {
        EXPECT_EQ(E_FAIL, script->Invoke(other, IID_NULL, 0, DISPATCH_METHOD, &none, &result,
                                         nullptr, nullptr))
            << other;
    }
    // Once its source has gone, nothing is answered.
    script->Detach();
    EXPECT_EQ(E_FAIL,
              script->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    EXPECT_EQ(0u, script->Release());
}

TEST_F(Tips, TheWindowOpensWithItsTreeAndThePageCallsBack) {
    const std::wstring peer_id = ServicePeerId();
    ASSERT_FALSE(peer_id.empty()) << "the peer-id library beside the program answers";

    TipsWindow tips;
    tips.SetUrl(L"http://tips.example/tips.html");
    HWND hwnd = tips.Create(nullptr, kTitle, &source_);
    ASSERT_NE(nullptr, hwnd);
    Pump(100);
    RECT rect;
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(TipsWindow::kWidth, rect.right - rect.left);
    EXPECT_EQ(TipsWindow::kHeight, rect.bottom - rect.top);
    wchar_t caption[64] = {};
    GetWindowTextW(hwnd, caption, 64);
    EXPECT_STREQ(kTitle, caption);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_NE(0, SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0)) << "downloader.ico";
    EXPECT_NE(0, SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0));

    // The page panel on its place, navigated once, calling the object.
    qm::skin::AxHostControl* page = tips.Page();
    ASSERT_NE(nullptr, page);
    EXPECT_EQ("testBkg", page->GetName());
    const RECT bounds = page->GetBounds();
    EXPECT_EQ(5, bounds.left);
    EXPECT_EQ(30, bounds.top);
    EXPECT_EQ(TipsWindow::kWidth - 4, bounds.right);
    EXPECT_EQ(TipsWindow::kHeight - 4, bounds.bottom);
    EXPECT_EQ(1, LiveBrowsers());
    const std::string record = Narrow(BrowserRecord());
    EXPECT_TRUE(RecordHas(L"navigate http://tips.example/tips.html")) << record;
    EXPECT_TRUE(RecordHas(L"call GetDownloadProgress id 1 invoke 0x00000000 VT_I4 42")) << record;
    EXPECT_TRUE(RecordHas(L"call getdownloadprogress id 1 invoke 0x00000000 VT_I4 42")) << record;
    EXPECT_TRUE(RecordHas(L"call GetPeerId id 2 invoke 0x00000000 VT_BSTR " + peer_id)) << record;
    EXPECT_TRUE(RecordHas(L"call NoSuchMethod names 0x80004005")) << record;
    EXPECT_TRUE(RecordHas(L"call #3 id 3 invoke 0x80004005")) << record;

    // The percent is read at the moment the page asks.
    source_.percent = 100;
    ClearBrowserRecord();
    EXPECT_EQ(1, page->Navigate(L"http://tips.example/again#calls=GetDownloadProgress"));
    EXPECT_TRUE(RecordHas(L"call GetDownloadProgress id 1 invoke 0x00000000 VT_I4 100"))
        << Narrow(BrowserRecord());
}

TEST_F(Tips, WithoutAUrlThePageStaysBlank) {
    TipsWindow tips;
    ASSERT_NE(nullptr, tips.Create(nullptr, kTitle, &source_));
    EXPECT_EQ(nullptr, tips.Page()->GetAxWindow());
    EXPECT_EQ(nullptr, tips.Script());
    EXPECT_EQ(0, LiveBrowsers());
}

TEST_F(Tips, TheSizeTogglesBetweenTheSavedRectangleAndTheWorkArea) {
    TipsWindow tips;
    tips.SetUrl(L"http://tips.example/#calls=");
    HWND hwnd = tips.Create(nullptr, kTitle, &source_);
    ASSERT_NE(nullptr, hwnd);
    RECT normal;
    GetWindowRect(hwnd, &normal);
    RECT work;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));

    auto place = [hwnd] {
        RECT rect;
        GetWindowRect(hwnd, &rect);
        return rect;
    };
    auto same = [](const RECT& a, const RECT& b) { return EqualRect(&a, &b) != 0; };

    // Every move repaints the whole window, not only what it newly covers.
    auto repaints_all = [hwnd] {
        RECT update;
        RECT client;
        GetClientRect(hwnd, &client);
        return GetUpdateRect(hwnd, &update, FALSE) && EqualRect(&update, &client);
    };
    UpdateWindow(hwnd);
    tips.ToggleSize();
    EXPECT_EQ(0, tips.IsNormalSize());
    EXPECT_TRUE(same(work, place()));
    EXPECT_TRUE(repaints_all());
    UpdateWindow(hwnd);
    // The page follows the window.
    EXPECT_EQ(work.right - work.left - 4, tips.Page()->GetBounds().right);
    tips.ToggleSize();
    EXPECT_EQ(1, tips.IsNormalSize());
    EXPECT_TRUE(same(normal, place()));
    EXPECT_TRUE(repaints_all());

    // A double click in the top strip toggles, except over the system
    // buttons; below the strip it is left to the system.
    auto double_click = [hwnd](int x, int y) {
        RECT rect;
        GetWindowRect(hwnd, &rect);
        return SendMessageW(hwnd, WM_NCLBUTTONDBLCLK, HTCAPTION,
                            MAKELPARAM(rect.left + x, rect.top + y));
    };
    double_click(200, 10);
    EXPECT_EQ(0, tips.IsNormalSize());
    EXPECT_TRUE(same(work, place()));
    double_click(300, 29);
    EXPECT_EQ(1, tips.IsNormalSize());
    EXPECT_TRUE(same(normal, place()));
    const int width = TipsWindow::kWidth;
    double_click(width - 100, 10);  // over the system buttons
    EXPECT_EQ(1, tips.IsNormalSize());
    double_click(width - 100, 25);  // under them, still in the strip
    EXPECT_EQ(0, tips.IsNormalSize());
    tips.ToggleSize();
    double_click(200, 30);  // below the strip
    double_click(0, 10);    // on the left edge
    EXPECT_EQ(1, tips.IsNormalSize());
    EXPECT_TRUE(same(normal, place()));
}

// What a person does with the mouse: the maximise button, a double click on
// the title strip, the close button.
TEST_F(Tips, RealClicksToggleTheSizeAndClose) {
    TipsWindow tips;
    tips.SetUrl(L"http://tips.example/#calls=");
    HWND hwnd = tips.Create(nullptr, kTitle, &source_);
    ASSERT_NE(nullptr, hwnd);
    Pump(300);
    auto click = [](int x, int y, int count) {
        return RunUnix(L"/usr/bin/xdotool mousemove " + std::to_wstring(x) + L" " +
                       std::to_wstring(y) + L" click --repeat " + std::to_wstring(count) +
                       L" --delay 80 1");
    };
    RECT normal;
    GetWindowRect(hwnd, &normal);
    ASSERT_TRUE(click(normal.right - 60, normal.top + 11, 1));  // "maxbtn"
    EXPECT_TRUE(PumpUntil([&] { return tips.IsNormalSize() == 0; }, 5000));
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT rect;
    GetWindowRect(hwnd, &rect);
    EXPECT_TRUE(EqualRect(&rect, &work));

    ASSERT_TRUE(click(rect.left + 300, rect.top + 12, 2));  // the title strip
    EXPECT_TRUE(PumpUntil([&] { return tips.IsNormalSize() == 1; }, 5000));
    GetWindowRect(hwnd, &rect);
    EXPECT_TRUE(EqualRect(&rect, &normal));
    Pump(300);

    ASSERT_TRUE(click(rect.right - 20, rect.top + 11, 1));  // "closebtn"
    EXPECT_TRUE(PumpUntil([&] { return tips.IsClosed() != 0; }, 5000));
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Tips, TheLinkReopensAClosedWindowAndRaisesAnOpenOne) {
    std::unique_ptr<TipsWindow> slot;
    const std::wstring url = L"http://tips.example/#calls=";
    TipsWindow* first = OpenTipsWindow(&slot, nullptr, url, kTitle, &source_);
    ASSERT_NE(nullptr, first);
    HWND first_window = first->hwnd();
    ASSERT_NE(nullptr, first_window);
    EXPECT_EQ(1, LiveBrowsers());

    // Open: the same window, restored and brought to the front.
    ShowWindow(first_window, SW_MINIMIZE);
    Pump(100);
    EXPECT_TRUE(IsIconic(first_window));
    EXPECT_EQ(first, OpenTipsWindow(&slot, nullptr, url, kTitle, &source_));
    Pump(100);
    EXPECT_FALSE(IsIconic(first_window));
    EXPECT_EQ(first_window, GetForegroundWindow());
    EXPECT_EQ(1, LiveBrowsers());

    // Closed through its close button: the next click makes a new one.
    qm::skin::Control* close = first->FindControl("closebtn");
    ASSERT_NE(nullptr, close);
    EXPECT_EQ(1, close->DoDefaultAction());
    Pump(100);
    EXPECT_TRUE(first->IsClosed());
    EXPECT_FALSE(IsWindow(first_window));
    EXPECT_EQ(0, LiveBrowsers()) << "the page went with the window";

    TipsWindow* second = OpenTipsWindow(&slot, nullptr, url, kTitle, &source_);
    ASSERT_NE(nullptr, second);
    HWND second_window = second->hwnd();
    EXPECT_TRUE(IsWindow(second_window));
    EXPECT_FALSE(second->IsClosed());
    EXPECT_EQ(1, LiveBrowsers());

    // Closed by the system's close message: closed as well.
    SendMessageW(second_window, WM_CLOSE, 0, 0);
    Pump(100);
    EXPECT_TRUE(second->IsClosed());
    EXPECT_FALSE(IsWindow(second_window));
    EXPECT_EQ(0, LiveBrowsers());
    TipsWindow* third = OpenTipsWindow(&slot, nullptr, url, kTitle, &source_);
    ASSERT_NE(nullptr, third);
    EXPECT_TRUE(IsWindow(third->hwnd()));
    slot.reset();
    EXPECT_EQ(0, LiveBrowsers());
}

}  // namespace
