// The real main window with a movie (kind 1) or a web page (kind 2) as its
// artwork: built from a branding file as the client builds it, with the
// stand-in player and the stand-in browser registered by their own entries.
// Each test ends with the window torn down and both stand-ins' counts of live
// objects back at zero.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "app/game_config.h"
#include "app/main_window.h"
#include "host/host_paths.h"
#include "skin/bitmap.h"
#include "skin/control.h"
#include "skin/control_factory.h"
#include "skin/flash_control.h"
#include "skin/png_codec.h"
#include "tests/app/test_files.h"
#include "tests/skin_embed/embed_support.h"

namespace {

using qm::skin::Bitmap;
using qm::skin::Control;
using qm::skin::FlashControl;
using qm::skin::FlashPlayerHost;
using qm::skin::embed_test::BrowserRecord;
using qm::skin::embed_test::ClearBrowserRecord;
using qm::skin::embed_test::LiveBrowsers;
using qm::skin::embed_test::Pump;
using qm::skin::embed_test::PumpUntil;
using qm::skin::embed_test::RecordHas;
using qm::skin::embed_test::StandInRegistered;

// ---- the stand-in player, loaded and registered for the whole program ------

HMODULE g_player = nullptr;
bool g_player_registered = false;

template <class F>
F PlayerEntry(const char* name) {
    return g_player
               ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(g_player, name)))
               : nullptr;
}

LONG LivePlayers() {
    auto count = PlayerEntry<LONG (*)()>("TessalyFlashLiveObjects");
    return count ? count() : -1;
}

std::wstring PlayerLog() {
    auto log = PlayerEntry<int (*)(wchar_t*, int)>("TessalyFlashCallLog");
    if (!log) {
        return L"";
    }
    std::vector<wchar_t> text(static_cast<size_t>(log(nullptr, 0)) + 1);
    log(text.data(), static_cast<int>(text.size()));
    return text.data();
}

void ClearPlayerLog() {
    if (auto clear = PlayerEntry<void (*)()>("TessalyFlashClearLog")) {
        clear();
    }
}

// What COM asks a server before unloading it: nothing alive, nothing locked.
HRESULT CanUnload(HMODULE module) {
    auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
    return entry ? entry() : E_NOTIMPL;
}

const bool g_unmanaged = qm::test::LeaveWindowsUnmanaged();

// The skin and COM are started by the browser's environment of the shared
// support; this one adds the player, installed as its installer would.
class PlayerEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        g_player = LoadLibraryW(FLASH_STANDIN_W);
        if (auto reg = PlayerEntry<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")) {
            g_player_registered = reg() == S_OK;
        }
    }
};

const auto* const g_player_environment =
    ::testing::AddGlobalTestEnvironment(new PlayerEnvironment());

// ---- a movie of one frame: the left half opaque, the right half clear ------

constexpr int kArtLeft = 5;
constexpr int kArtTop = 30;
constexpr int kArtWidth = 469 - 4 - kArtLeft;
constexpr int kArtHeight = 230 - kArtTop;
constexpr uint32_t kMovieColour = 0xFFE03050;  // straight 0xAARRGGBB

std::vector<uint8_t> HalfOpaqueMovie() {
    Bitmap* frame = Bitmap::Create(kArtWidth, kArtHeight);
    for (int y = 0; y < kArtHeight; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(frame->Row(y));
        for (int x = 0; x < kArtWidth; ++x) {
            row[x] = x < kArtWidth / 2 ? kMovieColour : 0;
        }
    }
    frame->set_premultiplied(true);
    std::vector<uint8_t> png;
    EncodePng(frame, &png);
    frame->Release();

    std::vector<uint8_t> out = {'T', 'M', 'O', 'V', 1, 0, 40, 0, 1, 0, 0, 0};
    const uint32_t length = static_cast<uint32_t>(png.size());
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    }
    out.insert(out.end(), png.begin(), png.end());
    return out;
}

// Points of the artwork area, in the panel's own coordinates.
constexpr POINT kOpaquePoint = {60, 100};
constexpr POINT kClearPoint = {kArtWidth - 60, 100};

COLORREF AsColorref(uint32_t argb) {
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

// ---- the fixture -----------------------------------------------------------

class MainWindowBackground : public ::testing::Test {
  protected:
    void SetUp() override {
        // The artwork is read beside the program, as in the client.
        folder_ = program_directory();
        SetCurrentDirectoryW(folder_.c_str());
        const std::wstring tag = std::to_wstring(GetCurrentProcessId());
        branding_ = folder_ + L"main-window-test-" + tag + L".ini";
        movie_name_ = L"main-window-test-" + tag + L".tmov";
        ASSERT_TRUE(StandInRegistered());
        ASSERT_TRUE(g_player_registered);
        ClearBrowserRecord();
        ClearPlayerLog();
        ASSERT_EQ(0, LiveBrowsers());
        ASSERT_EQ(0, LivePlayers());
    }

    void TearDown() override {
        Close();
        DeleteFileW(branding_.c_str());
        DeleteFileW((folder_ + movie_name_).c_str());
        DeleteFileW((folder_ + L"tessalyconfig.ini").c_str());
    }

    // Brands the window, creates and paints it.
    HWND Open(const std::wstring& kind, const std::wstring& resource) {
        EXPECT_TRUE(WriteUnicodeFile(branding_,
                                     L"[Tessaly]\r\nGameId=4321\r\nGameTitle=演示游戏\r\n"
                                     L"BkgResType=" +
                                         kind + L"\r\nBkgRes=" + resource + L"\r\n"));
        EXPECT_EQ(1, GameConfig::Instance().Load(branding_));
        window_ = std::make_unique<MainWindow>();
        if (!window_->Create(GetModuleHandleW(nullptr))) {
            return nullptr;
        }
        Pump(200);
        return window_->Handle();
    }

    // Tears the window down as the client does after its message loop and
    // checks that nothing of either stand-in outlives it.
    void Close() {
        if (!window_) {
            return;
        }
        HWND hwnd = window_->Handle();
        window_->Teardown();
        window_.reset();
        Pump(100);
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(0, LivePlayers()) << "no player outlives the main window";
        EXPECT_EQ(0, LiveBrowsers()) << "no browser outlives the main window";
        EXPECT_EQ(S_OK, CanUnload(g_player));
    }

    void WriteMovie() {
        const std::vector<uint8_t> bytes = HalfOpaqueMovie();
        FILE* file = _wfopen((folder_ + movie_name_).c_str(), L"wb");
        ASSERT_NE(nullptr, file);
        ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
        fclose(file);
    }

    FlashControl* Movie() const {
        Control* control = window_->Find("testBkg");
        return control && control->GetTypeId() == qm::skin::kFlashControlType
                   ? static_cast<FlashControl*>(control)
                   : nullptr;
    }

    // Paints the movie panel and reads back its composited picture and the
    // snapshot of the skin under it.
    bool Composite(std::vector<uint32_t>* picture, std::vector<uint32_t>* skin) {
        FlashPlayerHost* host = Movie() ? Movie()->Host() : nullptr;
        if (!host || !host->Window()) {
            return false;
        }
        RedrawWindow(host->Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        int w = 0;
        int h = 0;
        if (!PumpUntil([&] { return host->CopyComposite(picture, &w, &h) != 0; }, 3000) ||
            w != kArtWidth || h != kArtHeight) {
            return false;
        }
        return host->CopySnapshot(skin, &w, &h) && w == kArtWidth && h == kArtHeight;
    }

    // The window still answers a person: its minimise button minimises it.
    void ExpectTheWindowStillWorks() {
        HWND hwnd = window_->Handle();
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Control* mini = window_->Find("minibtn");
        ASSERT_NE(nullptr, mini);
        EXPECT_EQ(1, mini->DoDefaultAction());
        EXPECT_TRUE(PumpUntil([hwnd] { return IsIconic(hwnd) != 0; }, 3000));
        ShowWindow(hwnd, SW_RESTORE);
        Pump(100);
        EXPECT_FALSE(IsIconic(hwnd));
    }

    std::wstring folder_;
    std::wstring branding_;
    std::wstring movie_name_;
    std::unique_ptr<MainWindow> window_;
};

size_t At(POINT p) {
    return static_cast<size_t>(p.y) * kArtWidth + static_cast<size_t>(p.x);
}

TEST_F(MainWindowBackground, KindOnePlaysTheMovieOverTheSkin) {
    WriteMovie();
    HWND hwnd = Open(L"2", movie_name_);
    ASSERT_NE(nullptr, hwnd);
    FlashControl* movie = Movie();
    ASSERT_NE(nullptr, movie) << "the artwork area is a movie panel";
    ASSERT_NE(nullptr, movie->Host());
    EXPECT_EQ(1, movie->Host()->IsPlaying());
    EXPECT_EQ(1, LivePlayers());
    const std::wstring log = PlayerLog();
    EXPECT_NE(std::wstring::npos, log.find(L";Movie=" + folder_ + movie_name_ + L";Play;")) << log;

    // The player's window covers the artwork area.
    HWND child = movie->Host()->Window();
    ASSERT_TRUE(IsWindow(child));
    EXPECT_EQ(hwnd, GetParent(child));
    EXPECT_TRUE(IsWindowVisible(child));
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(kArtLeft, r.left);
    EXPECT_EQ(kArtTop, r.top);
    EXPECT_EQ(kArtLeft + kArtWidth, r.right);
    EXPECT_EQ(kArtTop + kArtHeight, r.bottom);

    // Where the movie is opaque its colour shows, where it is clear the skin.
    std::vector<uint32_t> picture;
    std::vector<uint32_t> skin;
    ASSERT_TRUE(Composite(&picture, &skin));
    EXPECT_EQ(kMovieColour & 0xFFFFFF, picture[At(kOpaquePoint)] & 0xFFFFFF);
    EXPECT_NE(kMovieColour & 0xFFFFFF, skin[At(kOpaquePoint)] & 0xFFFFFF);
    EXPECT_EQ(skin[At(kClearPoint)] & 0xFFFFFF, picture[At(kClearPoint)] & 0xFFFFFF);
    // And so on the screen.
    HDC dc = GetDC(child);
    const COLORREF opaque = GetPixel(dc, kOpaquePoint.x, kOpaquePoint.y);
    const COLORREF clear = GetPixel(dc, kClearPoint.x, kClearPoint.y);
    ReleaseDC(child, dc);
    EXPECT_EQ(AsColorref(kMovieColour), opaque);
    EXPECT_EQ(AsColorref(skin[At(kClearPoint)]), clear);

    ClearPlayerLog();
    Close();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(L"InPlaceDeactivate;Close;SetClientSite(null);", PlayerLog());
}

TEST_F(MainWindowBackground, KindOneWithoutItsMovieFileLeavesThePanelEmpty) {
    // The skin as a window without any artwork shows it, for comparison.
    HWND plain = Open(L"1", L"");
    ASSERT_NE(nullptr, plain);
    RedrawWindow(plain, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump(100);
    HDC dc = GetDC(plain);
    const COLORREF plain_opaque = GetPixel(dc, kArtLeft + kOpaquePoint.x, kArtTop + kOpaquePoint.y);
    const COLORREF plain_clear = GetPixel(dc, kArtLeft + kClearPoint.x, kArtTop + kClearPoint.y);
    ReleaseDC(plain, dc);
    ASSERT_NE(CLR_INVALID, plain_opaque);
    Close();

    // No movie file beside the program.
    ASSERT_NE(nullptr, Open(L"2", movie_name_));
    ASSERT_NE(nullptr, Movie());
    ASSERT_NE(nullptr, Movie()->Host());
    EXPECT_EQ(0, Movie()->Host()->IsPlaying());
    std::vector<uint32_t> picture;
    std::vector<uint32_t> skin;
    ASSERT_TRUE(Composite(&picture, &skin));
    EXPECT_EQ(picture, skin) << "nothing but the skin";
    EXPECT_EQ(plain_opaque, AsColorref(picture[At(kOpaquePoint)]));
    EXPECT_EQ(plain_clear, AsColorref(picture[At(kClearPoint)]));
    ExpectTheWindowStillWorks();
}

TEST_F(MainWindowBackground, KindOneWithAPlayerThatFailsKeepsTheWindowWorking) {
    WriteMovie();
    SetEnvironmentVariableW(L"TESSALY_FLASH_STANDIN_FAIL", L"activate");
    HWND hwnd = Open(L"2", movie_name_);
    SetEnvironmentVariableW(L"TESSALY_FLASH_STANDIN_FAIL", nullptr);
    ASSERT_NE(nullptr, hwnd);
    ASSERT_NE(nullptr, Movie());
    ASSERT_NE(nullptr, Movie()->Host());
    EXPECT_EQ(0, Movie()->Host()->HasPlayer());
    EXPECT_EQ(0, LivePlayers()) << "the failed player was let go at once";
    const std::wstring log = PlayerLog();
    EXPECT_EQ(std::wstring::npos, log.find(L";Movie=")) << std::string(log.begin(), log.end());
    std::vector<uint32_t> picture;
    std::vector<uint32_t> skin;
    ASSERT_TRUE(Composite(&picture, &skin));
    EXPECT_EQ(picture, skin);
    ExpectTheWindowStillWorks();
}

TEST_F(MainWindowBackground, KindTwoNavigatesThePagePanel) {
    HWND hwnd = Open(L"3", L"welcome.html#calls=GetDownloadProgress");
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(1, LiveBrowsers());
    const std::wstring page = folder_ + L"welcome.html#calls=GetDownloadProgress";
    const std::wstring record = BrowserRecord();
    EXPECT_TRUE(RecordHas(L"navigate " + page)) << std::string(record.begin(), record.end());

    // The page's window: a visible child over the artwork area, painted
    // with the page's text.
    Control* panel = window_->Find("testBkg");
    ASSERT_NE(nullptr, panel);
    EXPECT_EQ(qm::skin::kAxHostControlType, panel->GetTypeId());
    HWND page_window = nullptr;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        if (IsWindowVisible(child) && r.left == kArtLeft && r.top == kArtTop &&
            r.right == kArtLeft + kArtWidth && r.bottom == kArtTop + kArtHeight) {
            page_window = child;
        }
    }
    ASSERT_NE(nullptr, page_window) << "a visible child window over the artwork area";
    HWND shown = page_window;
    while (HWND inner = GetWindow(shown, GW_CHILD)) {
        shown = inner;
    }
    wchar_t text[512] = {};
    GetWindowTextW(shown, text, 512);
    EXPECT_EQ(L"Stand-in page: " + page, std::wstring(text).substr(0, 15 + page.size()));
    RedrawWindow(shown, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Pump(100);
    HDC dc = GetDC(shown);
    EXPECT_EQ(RGB(0xF4, 0xF7, 0xFB), GetPixel(dc, 4, 4)) << "the page's own background";
    ReleaseDC(shown, dc);

    Close();
    EXPECT_FALSE(IsWindow(page_window));
}

TEST_F(MainWindowBackground, KindTwoWithoutAPageStillOpens) {
    // An empty "BkgRes" leaves the program's folder as the page; the window
    // opens, tears down and leaks nothing whatever the browser does with it.
    HWND hwnd = Open(L"3", L"");
    ASSERT_NE(nullptr, hwnd);
    EXPECT_LE(LiveBrowsers(), 1);
    ExpectTheWindowStillWorks();
}

}  // namespace
