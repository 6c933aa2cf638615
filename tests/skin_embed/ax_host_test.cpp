// The ActiveX host window and the web page panel, against the stand-in
// browser registered under the web browser class for this program.
#include <gtest/gtest.h>

#include <windows.h>

#include <exdisp.h>

#include <string>

#include "skin/ax_host_control.h"
#include "skin/ax_host_window.h"
#include "skin/control_factory.h"
#include "tests/skin_embed/embed_support.h"

namespace qm::skin::embed_test {
namespace {

RECT Rect(int l, int t, int r, int b) {
    RECT rect = {l, t, r, b};
    return rect;
}

class AxHost : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(StandInRegistered()) << "the stand-in browser could not be registered";
        ClearBrowserRecord();
        ASSERT_EQ(0, LiveBrowsers());
    }
    void TearDown() override {
        EXPECT_EQ(0, LiveBrowsers()) << "every browser is released with its window";
    }

    HWND MakeAxWindow(HWND parent, const wchar_t* text) {
        return CreateWindowExW(0, kAxHostWindowClass, text, WS_CHILD | WS_VISIBLE, 0, 0, 200, 100,
                               parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
};

TEST_F(AxHost, ClassesAndMessagesAreRegisteredOnce) {
    WNDCLASSEXW before = {};
    before.cbSize = sizeof before;
    const ATOM atom =
        static_cast<ATOM>(GetClassInfoExW(GetModuleHandleW(nullptr), kAxHostWindowClass, &before));
    ASSERT_NE(0, atom) << "registered at start-up";
    WNDCLASSEXW licensed = {};
    licensed.cbSize = sizeof licensed;
    EXPECT_NE(0, GetClassInfoExW(GetModuleHandleW(nullptr), kAxHostLicensedWindowClass, &licensed));
    EXPECT_EQ(RegisterWindowMessageW(L"WM_ATLGETHOST"), AxGetHostMessage());
    EXPECT_EQ(RegisterWindowMessageW(L"WM_ATLGETCONTROL"), AxGetControlMessage());
    EXPECT_NE(0u, AxGetHostMessage());

    // Again: the same class, not a second one.
    EXPECT_EQ(1, RegisterAxHostWindow());
    WNDCLASSEXW after = {};
    after.cbSize = sizeof after;
    EXPECT_EQ(atom, GetClassInfoExW(GetModuleHandleW(nullptr), kAxHostWindowClass, &after));
    EXPECT_EQ(before.lpfnWndProc, after.lpfnWndProc);
}

TEST_F(AxHost, TheWindowTextNamesTheControlByClsidOrProgId) {
    TestWindow window;
    ASSERT_NE(nullptr, window.Create(Rect(40, 40, 440, 340)));
    for (const wchar_t* name : {L"{8856F961-340A-11D0-A96B-00C04FD705A2}", L"Shell.Explorer.2"}) {
        ClearBrowserRecord();
        HWND ax = MakeAxWindow(window.hwnd(), name);
        ASSERT_NE(nullptr, ax);
        IUnknown* control = nullptr;
        ASSERT_EQ(S_OK, AxGetControl(ax, &control)) << name;
        IWebBrowser2* browser = nullptr;
        EXPECT_EQ(S_OK, control->QueryInterface(__uuidof(IWebBrowser2),
                                                reinterpret_cast<void**>(&browser)));
        if (browser) {
            browser->Release();
        }
        control->Release();
        EXPECT_EQ(1, LiveBrowsers());
        // The site before initialisation, then in-place activation.
        EXPECT_TRUE(RecordHas(L"site set"));
        EXPECT_TRUE(RecordHas(L"activated"));
        DestroyWindow(ax);
        EXPECT_TRUE(RecordHas(L"deactivated"));
        EXPECT_TRUE(RecordHas(L"site cleared"));
        EXPECT_EQ(0, LiveBrowsers());
    }
}

TEST_F(AxHost, AClassNobodyRegisteredLeavesAnEmptyWindow) {
    TestWindow window;
    ASSERT_NE(nullptr, window.Create(Rect(40, 40, 440, 340)));
    for (const wchar_t* name :
         {L"{0D3E6B1C-5A2F-4E7D-9C11-7A5B3F2E9D40}", L"No.Such.Control", L"{not a clsid"}) {
        HWND ax = MakeAxWindow(window.hwnd(), name);
        ASSERT_NE(nullptr, ax) << "the window itself is made";
        IUnknown* control = nullptr;
        EXPECT_EQ(E_FAIL, AxGetControl(ax, &control)) << name;
        EXPECT_EQ(nullptr, control);
        IAxWinHostWindow* host = nullptr;
        ASSERT_EQ(S_OK, AxGetHost(ax, &host));
        EXPECT_TRUE(FAILED(host->CreateControl(name, ax, nullptr)));
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, host->QueryControl(__uuidof(IWebBrowser2), &object));
        EXPECT_EQ(nullptr, object);
        // Still usable for a class that exists.
        EXPECT_EQ(S_OK, host->CreateControl(kWebBrowserClass, ax, nullptr));
        EXPECT_EQ(1, LiveBrowsers());
        host->Release();
        DestroyWindow(ax);
    }
    EXPECT_EQ(REGDB_E_CLASSNOTREG, [&] {
        HWND ax = MakeAxWindow(window.hwnd(), L"");
        IAxWinHostWindow* host = nullptr;
        AxGetHost(ax, &host);
        const HRESULT hr =
            host ? host->CreateControl(L"{0D3E6B1C-5A2F-4E7D-9C11-7A5B3F2E9D40}", ax, nullptr)
                 : E_UNEXPECTED;
        if (host) {
            host->Release();
        }
        DestroyWindow(ax);
        return hr;
    }());
}

TEST_F(AxHost, TheHostInterfaceAttachesQueriesAndGivesTheExternalObject) {
    TestWindow window;
    ASSERT_NE(nullptr, window.Create(Rect(40, 40, 440, 340)));
    HWND ax = MakeAxWindow(window.hwnd(), L"");
    IAxWinHostWindow* host = nullptr;
    ASSERT_EQ(S_OK, AxGetHost(ax, &host));
    EXPECT_EQ(E_FAIL, AxGetControl(ax, nullptr) == E_POINTER ? E_FAIL : S_OK);

    CountingDispatch external;
    EXPECT_EQ(S_OK, host->SetExternalDispatch(&external));
    EXPECT_EQ(1u, external.references);

    // A control made elsewhere and attached.
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromString(kWebBrowserClass, &clsid));
    IUnknown* made = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&made)));
    EXPECT_EQ(S_OK, host->AttachControl(made, ax));
    made->Release();
    IWebBrowser2* browser = nullptr;
    ASSERT_EQ(S_OK, host->QueryControl(__uuidof(IWebBrowser2), reinterpret_cast<void**>(&browser)));

    // The page reaches the external object through the site.
    BSTR url = SysAllocString(L"http://tips.example/a#calls=Anything");
    EXPECT_EQ(S_OK, browser->Navigate(url, nullptr, nullptr, nullptr, nullptr));
    SysFreeString(url);
    EXPECT_TRUE(RecordHas(L"call Anything names 0x80020006"))
        << std::string(BrowserRecord().begin(), BrowserRecord().end());
    browser->Release();

    // Replacing releases the previous object; the window's end releases
    // the last.
    CountingDispatch second;
    EXPECT_EQ(S_OK, host->SetExternalDispatch(&second));
    EXPECT_EQ(0u, external.references);
    EXPECT_EQ(1u, second.references);
    EXPECT_EQ(E_NOTIMPL, host->SetExternalUIHandler(nullptr));
    DestroyWindow(ax);
    EXPECT_EQ(0u, second.references);
    // A host kept past its window refuses new controls.
    EXPECT_TRUE(FAILED(host->CreateControl(kWebBrowserClass, nullptr, nullptr)));
    host->Release();
}

class Page : public AxHost {
  protected:
    void SetUp() override {
        AxHost::SetUp();
        page_ = static_cast<AxHostControl*>(
            MakeControl(kAxHostControlType, "testBkg", Rect(5, 30, 395, 295), window_.Root()));
        ASSERT_NE(nullptr, page_);
        ASSERT_NE(nullptr, window_.Create(Rect(40, 40, 440, 340)));
    }
    void TearDown() override {
        if (page_) {
            page_->Release();
        }
        DestroyWindow(window_.hwnd());
        AxHost::TearDown();
    }

    TestWindow window_;
    AxHostControl* page_ = nullptr;
};

TEST_F(Page, ANullUrlMakesNothing) {
    EXPECT_EQ(0, page_->Navigate(nullptr));
    EXPECT_EQ(nullptr, page_->GetAxWindow());
    EXPECT_EQ(nullptr, page_->GetBrowser());
    EXPECT_EQ(0, LiveBrowsers());
}

TEST_F(Page, NavigatingTwiceMakesOneBrowserAndNavigatesTwice) {
    EXPECT_EQ(1, page_->Navigate(L"http://tips.example/one#calls="));
    HWND ax = page_->GetAxWindow();
    IWebBrowser2* browser = page_->GetBrowser();
    ASSERT_NE(nullptr, ax);
    ASSERT_NE(nullptr, browser);
    EXPECT_EQ(window_.hwnd(), GetParent(ax));
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(ax, GWL_STYLE));
    EXPECT_EQ(0x50000000u, style & 0x50000000u);
    RECT place;
    GetWindowRect(ax, &place);
    MapWindowPoints(nullptr, window_.hwnd(), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(5, place.left);
    EXPECT_EQ(30, place.top);
    EXPECT_EQ(395, place.right);
    EXPECT_EQ(295, place.bottom);

    EXPECT_EQ(1, page_->Navigate(L"http://tips.example/two#calls="));
    EXPECT_EQ(ax, page_->GetAxWindow());
    EXPECT_EQ(browser, page_->GetBrowser());
    EXPECT_EQ(1, LiveBrowsers());
    EXPECT_TRUE(RecordHas(L"navigate http://tips.example/one#calls="));
    EXPECT_TRUE(RecordHas(L"navigate http://tips.example/two#calls="));
    BSTR location = nullptr;
    ASSERT_EQ(S_OK, browser->get_LocationURL(&location));
    EXPECT_STREQ(L"http://tips.example/two#calls=", location);
    SysFreeString(location);

    // A new layout moves the host window.
    RECT moved = Rect(20, 40, 220, 140);
    page_->SetLayout("relative:ltlt", &moved);
    RECT client;
    GetClientRect(window_.hwnd(), &client);
    window_.Root()->Layout(client);
    GetWindowRect(ax, &place);
    MapWindowPoints(nullptr, window_.hwnd(), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(20, place.left);
    EXPECT_EQ(140, place.bottom);

    // Destroying the window takes the browser with it.
    DestroyWindow(window_.hwnd());
    EXPECT_EQ(0, LiveBrowsers());
}

TEST_F(Page, SetExternalReplacesAndReleasesThePreviousObject) {
    CountingDispatch first;
    CountingDispatch second;
    EXPECT_EQ(1, page_->SetExternal(&first));
    EXPECT_EQ(1u, first.references);
    // Given to the browser when it is made: the page reaches it.
    EXPECT_EQ(1, page_->Navigate(L"http://tips.example/#calls=GetDownloadProgress"));
    EXPECT_TRUE(RecordHas(L"call GetDownloadProgress names 0x80020006"));
    EXPECT_EQ(1, page_->SetExternal(&second));
    EXPECT_EQ(0u, first.references) << "the previous object is released";
    EXPECT_GE(second.references, 1u);
    EXPECT_EQ(1, page_->SetExternal(nullptr));
    EXPECT_EQ(0u, second.references);
    ClearBrowserRecord();
    EXPECT_EQ(1, page_->Navigate(L"http://tips.example/#calls=GetPeerId"));
    EXPECT_TRUE(RecordHas(L"no external 0x00000001")) << "S_FALSE without an object";
}

TEST_F(Page, ARefusedUrlLeavesAWorkingPanel) {
    CountingDispatch external;
    page_->SetExternal(&external);
    EXPECT_EQ(0, page_->Navigate(L"refuse:this"));
    EXPECT_EQ(E_INVALIDARG, page_->LastResult());
    EXPECT_EQ(0, page_->Navigate(L""));
    EXPECT_TRUE(RecordHas(L"refused refuse:this"));
    EXPECT_EQ(1, page_->Navigate(L"http://tips.example/after#calls="));
    EXPECT_EQ(1, LiveBrowsers());
    page_->Destroy();
    EXPECT_EQ(0, LiveBrowsers());
    EXPECT_EQ(nullptr, page_->GetAxWindow());
}

TEST_F(Page, APanelOutsideAWindowNavigatesNowhere) {
    Control* loose = nullptr;
    ASSERT_EQ(1, CreateControl(kAxHostControlType, &loose));
    auto* page = static_cast<AxHostControl*>(loose);
    EXPECT_EQ(0, page->Navigate(L"http://tips.example/"));
    EXPECT_EQ(nullptr, page->GetAxWindow());
    EXPECT_EQ(0, LiveBrowsers());
    loose->Release();
}

}  // namespace
}  // namespace qm::skin::embed_test
