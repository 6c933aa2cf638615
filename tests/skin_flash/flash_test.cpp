// The movie panel in a real skinned window with the stand-in player, which
// the test registers through its own entry: the calls the player gets and
// their order, the composited picture, animation, shutdown, bad input.
#include "skin/flash_control.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "skin/bitmap.h"
#include "skin/control_factory.h"
#include "skin/host_window.h"
#include "skin/png_codec.h"
#include "skin/skin_startup.h"
#include "tests/support/gui_support.h"

namespace qm::skin {
namespace {

using qm::test::Pump;
using qm::test::PumpUntil;

// ---- the stand-in's test entries -------------------------------------------

typedef LONG (*LiveObjectsFn)();
typedef int (*CallLogFn)(wchar_t*, int);
typedef void (*ClearLogFn)();

HMODULE g_standin = nullptr;
LiveObjectsFn g_live_objects = nullptr;
CallLogFn g_call_log = nullptr;
ClearLogFn g_clear_log = nullptr;

// An entry of the stand-in, through the generic function type that any
// function pointer converts to and from.
template <class F>
F Entry(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(g_standin, name)));
}

std::wstring CallLog() {
    std::vector<wchar_t> text(static_cast<size_t>(g_call_log(nullptr, 0)) + 1);
    g_call_log(text.data(), static_cast<int>(text.size()));
    return text.data();
}

const bool g_unmanaged = qm::test::LeaveWindowsUnmanaged();

// The skin as the client starts it; the player installed as its installer
// would, by its own registration entry.
class FlashEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        InitializeSkin();
        g_standin = LoadLibraryW(FLASH_STANDIN_W);
        ASSERT_TRUE(g_standin) << "cannot load the stand-in player";
        auto reg = Entry<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
        ASSERT_TRUE(reg);
        ASSERT_EQ(S_OK, reg());
        g_live_objects = Entry<LiveObjectsFn>("TessalyFlashLiveObjects");
        g_call_log = Entry<CallLogFn>("TessalyFlashCallLog");
        g_clear_log = Entry<ClearLogFn>("TessalyFlashClearLog");
        ASSERT_TRUE(g_live_objects && g_call_log && g_clear_log);
    }
    void TearDown() override {
        ShutdownSkin();
        CoUninitialize();
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new FlashEnvironment());

// ---- movies ----------------------------------------------------------------

constexpr int kMovieWidth = 64;
constexpr int kMovieHeight = 48;
// Straight (not premultiplied) colours of the test frames.
constexpr uint32_t kOpaque = 0xFFE03050;
constexpr uint32_t kOtherOpaque = 0xFF30C040;
constexpr uint32_t kHalf = 0x802080F0;

// Frame i: columns 0..31 transparent, 32..47 opaque (kOpaque, or
// kOtherOpaque in odd frames), 48..63 half transparent.
std::vector<uint8_t> FramePng(int index) {
    Bitmap* frame = Bitmap::Create(kMovieWidth, kMovieHeight);
    for (int y = 0; y < kMovieHeight; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(frame->Row(y));
        for (int x = 0; x < kMovieWidth; ++x) {
            if (x >= 48) {
                const uint32_t a = kHalf >> 24;
                uint32_t p = a << 24;
                for (int s = 0; s < 24; s += 8) {
                    p |= (((kHalf >> s) & 0xFF) * a / 255) << s;
                }
                row[x] = p;
            } else if (x >= 32) {
                row[x] = index % 2 ? kOtherOpaque : kOpaque;
            } else {
                row[x] = 0;
            }
        }
    }
    frame->set_premultiplied(true);
    std::vector<uint8_t> png;
    EncodePng(frame, &png);
    frame->Release();
    return png;
}

std::vector<uint8_t> MovieBytes(const std::vector<std::vector<uint8_t>>& frames, uint16_t ms) {
    std::vector<uint8_t> out = {
        'T', 'M', 'O', 'V', 1, 0, static_cast<uint8_t>(ms & 0xFF), static_cast<uint8_t>(ms >> 8)};
    const uint32_t count = static_cast<uint32_t>(frames.size());
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(count >> (8 * i)));
    }
    for (const auto& frame : frames) {
        const uint32_t length = static_cast<uint32_t>(frame.size());
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(length >> (8 * i)));
        }
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

std::wstring WriteTemp(const wchar_t* name, const std::vector<uint8_t>& bytes) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"tessaly-flash-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    return path;
}

// ---- the window ------------------------------------------------------------

constexpr int32_t kPatternType = 960;

// Added to the blue of the skin: a test changes the skin with it.
uint32_t g_skin_blue = 0x40;

// The skin behind the panel: a colour that differs from pixel to pixel.
uint32_t SkinColour(int x, int y) {
    return 0xFF000000u | static_cast<uint32_t>((x * 3) & 0xFF) << 16 |
           static_cast<uint32_t>((y * 5) & 0xFF) << 8 | g_skin_blue;
}

class Pattern : public Control {
  public:
    int Paint(Bitmap* surface) override {
        if (surface) {
            const RECT r = Intersect(GetBounds(), surface->Bounds());
            for (int32_t y = r.top; y < r.bottom; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(surface->Row(y));
                for (int32_t x = r.left; x < r.right; ++x) {
                    row[x] = SkinColour(x, y);
                }
            }
        }
        return Control::Paint(surface);
    }
};

constexpr RECT kPanel = {40, 30, 40 + kMovieWidth, 30 + kMovieHeight};

class FlashFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ControlFactory::Instance().Register(kPatternType, &CreateControlOf<Pattern, kPatternType>);
        movie_a = WriteTemp(L"a.tmov", MovieBytes({FramePng(0)}, 40));
        movie_b = WriteTemp(L"b.tmov", MovieBytes({FramePng(0), FramePng(1)}, 30));
    }
    static void TearDownTestSuite() {
        DeleteFileW(movie_a.c_str());
        DeleteFileW(movie_b.c_str());
    }

    void SetUp() override {
        g_clear_log();
        g_skin_blue = 0x40;
        ASSERT_EQ(0, g_live_objects());
        ASSERT_TRUE(CreateControl(kLayoutControlType, &root));
        root->SetLayout("inherite", nullptr);
        ASSERT_TRUE(CreateControl(kPatternType, &background));
        background->SetLayout("inherite", nullptr);
        root->AddChild(background);
        Control* control = nullptr;
        ASSERT_TRUE(CreateControl(kFlashControlType, &control));
        flash = static_cast<FlashControl*>(control);
        flash->SetName("FlashBkg");
        flash->SetLayout("relative:ltlt", &kPanel);
        background->AddChild(flash);
        window = new HostWindow();
        window->SetRoot(root);
    }
    void TearDown() override {
        delete window;
        window = nullptr;
        flash->Release();
        background->Release();
        root->Release();
        // Whatever happened, no player outlives its window.
        EXPECT_EQ(0, g_live_objects());
    }
    // The main window's style does not clip its children; the default one
    // of skinned windows does.
    HWND Open(DWORD style = HostWindow::kDefaultStyle) {
        const RECT r = {60, 60, 60 + 240, 60 + 160};
        HWND hwnd = window->Create(nullptr, r, L"movie panel test", style);
        if (hwnd) {
            ShowWindow(hwnd, SW_SHOWNOACTIVATE);
            UpdateWindow(hwnd);
        }
        return hwnd;
    }
    // Paints the panel and waits for a composited picture.
    bool Composite(std::vector<uint32_t>* pixels) {
        FlashPlayerHost* host = flash->Host();
        if (!host || !host->Window()) {
            return false;
        }
        RedrawWindow(host->Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        int w = 0;
        int h = 0;
        return PumpUntil([&] { return host->CopyComposite(pixels, &w, &h) != 0; }, 3000) &&
               w == kMovieWidth && h == kMovieHeight;
    }
    // Whether every pixel of the picture is the skin under it.
    static bool ShowsOnlySkin(const std::vector<uint32_t>& pixels) {
        for (int y = 0; y < kMovieHeight; ++y) {
            for (int x = 0; x < kMovieWidth; ++x) {
                if ((pixels[y * kMovieWidth + x] & 0xFFFFFF) !=
                    (SkinColour(kPanel.left + x, kPanel.top + y) & 0xFFFFFF)) {
                    return false;
                }
            }
        }
        return true;
    }

    // The picture of movie_a over the skin: the skin where the movie is
    // transparent, the movie's colour where it is opaque, half and half in
    // between; and the same on the screen.
    void ExpectMovieOverSkin() {
        std::vector<uint32_t> picture;
        ASSERT_TRUE(Composite(&picture));
        std::vector<uint32_t> snapshot;
        int w = 0;
        int h = 0;
        ASSERT_TRUE(flash->Host()->CopySnapshot(&snapshot, &w, &h));
        for (int y = 0; y < kMovieHeight; y += 7) {
            for (int x = 0; x < kMovieWidth; x += 3) {
                const uint32_t skin = SkinColour(kPanel.left + x, kPanel.top + y) & 0xFFFFFF;
                const uint32_t got = picture[y * kMovieWidth + x] & 0xFFFFFF;
                // The snapshot is the skin under the panel.
                ASSERT_EQ(skin, snapshot[y * kMovieWidth + x] & 0xFFFFFF) << x << "," << y;
                if (x < 32) {
                    ASSERT_EQ(skin, got) << x << "," << y;
                } else if (x < 48) {
                    ASSERT_EQ(kOpaque & 0xFFFFFF, got) << x << "," << y;
                } else {
                    for (int s = 0; s < 24; s += 8) {
                        const int expect = static_cast<int>(((kHalf >> s) & 0xFF) * 128 / 255 +
                                                            ((skin >> s) & 0xFF) * 127 / 255);
                        ASSERT_NEAR(expect, static_cast<int>((got >> s) & 0xFF), 3)
                            << x << "," << y << " channel " << s;
                    }
                }
            }
        }
        HDC dc = GetDC(flash->Host()->Window());
        const COLORREF opaque = GetPixel(dc, 40, 10);
        const COLORREF clear = GetPixel(dc, 5, 10);
        ReleaseDC(flash->Host()->Window(), dc);
        EXPECT_EQ(RGB(0xE0, 0x30, 0x50), opaque);
        const uint32_t skin = SkinColour(kPanel.left + 5, kPanel.top + 10);
        EXPECT_EQ(RGB((skin >> 16) & 0xFF, (skin >> 8) & 0xFF, skin & 0xFF), clear);
    }

    static std::wstring movie_a;
    static std::wstring movie_b;
    Control* root = nullptr;
    Control* background = nullptr;
    FlashControl* flash = nullptr;
    HostWindow* window = nullptr;
};

std::wstring FlashFixture::movie_a;
std::wstring FlashFixture::movie_b;

TEST_F(FlashFixture, RefusesWithoutAnUrlOrAWindow) {
    EXPECT_EQ("Noset", flash->ClassName());
    EXPECT_EQ(kFlashControlType, flash->GetTypeId());
    // Not attached to a window yet: nothing to put the player in.
    EXPECT_EQ(0, flash->LoadMovie(movie_a.c_str()));
    EXPECT_EQ(nullptr, flash->Host());
    ASSERT_TRUE(Open());
    EXPECT_EQ(0, flash->LoadMovie(nullptr));
    EXPECT_EQ(nullptr, flash->Host());
    EXPECT_EQ(L"", CallLog());
}

TEST_F(FlashFixture, PropertiesBeforeAndAfterActivationThenTheMovie) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    ASSERT_EQ(1, flash->LoadMovie(movie_a.c_str()));
    EXPECT_EQ(
        L"CreateInstance;SetClientSite;WMode=transparent;Scale=showAll;"
        L"BackgroundColor=0;EmbedMovie=1;Menu=0;SAlign=middle;DoVerb(-5);"
        L"EmbedMovie=1;Quality=middle;Movie=" +
            movie_a + L";Play;",
        CallLog());
    EXPECT_EQ(1, g_live_objects());
    // The child window: style 0x56000000, at the control's bounds.
    HWND child = flash->Host()->Window();
    ASSERT_TRUE(child);
    EXPECT_EQ(hwnd, GetParent(child));
    EXPECT_EQ(0x56000000u, static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)));
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(kPanel.left, r.left);
    EXPECT_EQ(kPanel.top, r.top);
    EXPECT_EQ(kPanel.right, r.right);
    EXPECT_EQ(kPanel.bottom, r.bottom);
    // A new layout moves it.
    SetWindowPos(hwnd, nullptr, 0, 0, 260, 170, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(child, &r);
    EXPECT_EQ(kMovieWidth, r.right - r.left);
}

TEST_F(FlashFixture, LoadingTwiceStopsTheFirstMovie) {
    ASSERT_TRUE(Open());
    ASSERT_EQ(1, flash->LoadMovie(movie_b.c_str()));
    FlashPlayerHost* host = flash->Host();
    EXPECT_EQ(1, host->IsPlaying());
    g_clear_log();
    ASSERT_EQ(1, flash->LoadMovie(movie_a.c_str()));
    EXPECT_EQ(host, flash->Host());
    EXPECT_EQ(L"Stop;Movie=" + movie_a + L";Play;", CallLog());
    EXPECT_EQ(1, g_live_objects());
}

TEST_F(FlashFixture, TransparentPixelsShowTheSkinAndOpaqueOnesTheMovie) {
    ASSERT_TRUE(Open());
    ASSERT_EQ(1, flash->LoadMovie(movie_a.c_str()));
    ExpectMovieOverSkin();
}

TEST_F(FlashFixture, TheSameOverAWindowThatDoesNotClipItsChildren) {
    // WS_POPUP | WS_CLIPSIBLINGS | WS_MINIMIZEBOX, as the main window.
    ASSERT_TRUE(Open(0x84020000));
    ASSERT_EQ(1, flash->LoadMovie(movie_a.c_str()));
    ExpectMovieOverSkin();
}

TEST_F(FlashFixture, TheSnapshotIsRenewedOnlyWhenThePanelChangesSize) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    ASSERT_EQ(1, flash->LoadMovie(movie_a.c_str()));
    std::vector<uint32_t> picture;
    ASSERT_TRUE(Composite(&picture));
    const uint32_t before = picture[10 * kMovieWidth + 5];
    // The skin changes; the panel keeps showing the skin as it was.
    g_skin_blue = 0x90;
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ASSERT_TRUE(Composite(&picture));
    EXPECT_EQ(before, picture[10 * kMovieWidth + 5]);
    // A new size takes a new snapshot.
    const RECT wider = {kPanel.left, kPanel.top, kPanel.right + 16, kPanel.bottom};
    flash->SetLayout("relative:ltlt", &wider);
    root->Layout(MakeRect(0, 0, 240, 160));
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    std::vector<uint32_t> snapshot;
    int w = 0;
    int h = 0;
    ASSERT_TRUE(PumpUntil(
        [&] { return flash->Host()->CopySnapshot(&snapshot, &w, &h) && w == kMovieWidth + 16; },
        3000));
    EXPECT_EQ(SkinColour(kPanel.left + 5, kPanel.top + 10) & 0xFFFFFF,
              snapshot[10 * w + 5] & 0xFFFFFF);
}

TEST_F(FlashFixture, AHiddenPanelHidesItsWindow) {
    ASSERT_TRUE(Open());
    ASSERT_EQ(1, flash->LoadMovie(movie_a.c_str()));
    HWND child = flash->Host()->Window();
    EXPECT_TRUE(IsWindowVisible(child));
    flash->SetVisible(0);
    flash->Invalidate();
    EXPECT_FALSE(IsWindowVisible(child));
    flash->SetVisible(1);
    flash->Invalidate();
    EXPECT_TRUE(IsWindowVisible(child));
}

TEST_F(FlashFixture, TheMovieMovesOnItsTimer) {
    ASSERT_TRUE(Open());
    ASSERT_EQ(1, flash->LoadMovie(movie_b.c_str()));
    std::vector<uint32_t> picture;
    bool saw_first = false;
    bool saw_second = false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 4000 && !(saw_first && saw_second)) {
        Pump(15);
        int w = 0;
        int h = 0;
        if (flash->Host()->CopyComposite(&picture, &w, &h) && w == kMovieWidth) {
            const uint32_t p = picture[10 * kMovieWidth + 40] & 0xFFFFFF;
            saw_first |= p == (kOpaque & 0xFFFFFF);
            saw_second |= p == (kOtherOpaque & 0xFFFFFF);
        }
    }
    EXPECT_TRUE(saw_first);
    EXPECT_TRUE(saw_second);
}

TEST_F(FlashFixture, ClosingTheWindowReleasesThePlayer) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    ASSERT_EQ(1, flash->LoadMovie(movie_b.c_str()));
    EXPECT_EQ(1, g_live_objects());
    HWND child = flash->Host()->Window();
    g_clear_log();
    DestroyWindow(hwnd);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(0, g_live_objects());
    // Deactivated, closed and detached before the last release.
    EXPECT_EQ(L"InPlaceDeactivate;Close;SetClientSite(null);", CallLog());
    // Timers of a gone window fire no more paints into it.
    Pump(100);
}

TEST_F(FlashFixture, AHostReleasedWithItsWindowOpenTakesItDown) {
    HWND hwnd = Open();
    ASSERT_TRUE(hwnd);
    // With a player, the player holds the site until Close; without one the
    // last release is the owner's, and the window must go with it.
    const CLSID nobody = {
        0x0E9E2B0A, 0x53C4, 0x4F59, {0x9A, 0x61, 0x13, 0xF1, 0xA5, 0xE0, 0x0D, 0x13}};
    FlashPlayerHost* host = FlashPlayerHost::Create();
    const RECT rect = {0, 0, 32, 32};
    ASSERT_EQ(1, host->Open(hwnd, rect, nobody));
    HWND child = host->Window();
    RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    host->Release();
    EXPECT_FALSE(IsWindow(child));
    // The parent goes on painting.
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump(100);
    EXPECT_TRUE(IsWindow(hwnd));
}

class FlashBadInput : public FlashFixture {
  protected:
    // The panel shows the skin only, and the window still paints.
    void ExpectEmptyPanel() {
        std::vector<uint32_t> picture;
        ASSERT_TRUE(Composite(&picture));
        EXPECT_TRUE(ShowsOnlySkin(picture));
        RedrawWindow(window->hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump(50);
        EXPECT_TRUE(IsWindow(window->hwnd()));
    }
};

TEST_F(FlashBadInput, MissingMovie) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(0, flash->LoadMovie(L"C:\\no\\such\\movie.tmov"));
    EXPECT_EQ(0, flash->Host()->IsPlaying());
    ExpectEmptyPanel();
    // A good movie afterwards still plays.
    EXPECT_EQ(1, flash->LoadMovie(movie_a.c_str()));
}

TEST_F(FlashBadInput, UndecodableMovies) {
    ASSERT_TRUE(Open());
    std::vector<uint8_t> broken_png = FramePng(0);
    broken_png.resize(broken_png.size() / 2);
    std::vector<uint8_t> too_short = MovieBytes({FramePng(0)}, 40);
    too_short.resize(too_short.size() - 10);
    std::vector<uint8_t> huge_count = MovieBytes({FramePng(0)}, 40);
    huge_count[11] = 0x7F;
    const std::vector<std::vector<uint8_t>> cases = {
        {'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'v', 'i', 'e'},
        MovieBytes({broken_png}, 40),
        too_short,
        huge_count,
        {},
    };
    int n = 0;
    for (const auto& bytes : cases) {
        const std::wstring path = WriteTemp((L"bad" + std::to_wstring(n++)).c_str(), bytes);
        EXPECT_EQ(0, flash->LoadMovie(path.c_str())) << n;
        DeleteFileW(path.c_str());
    }
    ExpectEmptyPanel();
}

TEST_F(FlashBadInput, ClassNotRegistered) {
    // {0E9E2B0A-53C4-4F59-9A61-13F1A5E00D13}: nothing registers it.
    const CLSID nobody = {
        0x0E9E2B0A, 0x53C4, 0x4F59, {0x9A, 0x61, 0x13, 0xF1, 0xA5, 0xE0, 0x0D, 0x13}};
    flash->SetPlayerClass(nobody);
    ASSERT_TRUE(Open());
    EXPECT_EQ(0, flash->LoadMovie(movie_a.c_str()));
    ASSERT_TRUE(flash->Host());
    EXPECT_EQ(0, flash->Host()->HasPlayer());
    EXPECT_EQ(L"", CallLog());
    ExpectEmptyPanel();
}

TEST_F(FlashBadInput, PlayerUnregistered) {
    // The player's own entries take it out of the prefix and put it back.
    auto unregister = Entry<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer");
    auto reregister = Entry<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
    ASSERT_TRUE(unregister && reregister);
    CLSID by_name = {};
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"ShockwaveFlash.ShockwaveFlash", &by_name));
    EXPECT_TRUE(IsEqualCLSID(kShockwaveFlashClsid, by_name));
    ASSERT_EQ(S_OK, unregister());
    ASSERT_TRUE(Open());
    const int loaded = flash->LoadMovie(movie_a.c_str());
    EXPECT_EQ(S_OK, reregister());
    EXPECT_EQ(0, loaded);
    EXPECT_EQ(0, flash->Host()->HasPlayer());
    EXPECT_EQ(L"", CallLog());
    ExpectEmptyPanel();
}

TEST_F(FlashBadInput, PlayerFailsToActivate) {
    ASSERT_TRUE(Open());
    SetEnvironmentVariableW(L"TESSALY_FLASH_STANDIN_FAIL", L"activate");
    const int loaded = flash->LoadMovie(movie_a.c_str());
    SetEnvironmentVariableW(L"TESSALY_FLASH_STANDIN_FAIL", nullptr);
    EXPECT_EQ(0, loaded);
    EXPECT_EQ(0, flash->Host()->HasPlayer());
    // The player was let go at once, detached from the site.
    EXPECT_EQ(0, g_live_objects());
    const std::wstring log = CallLog();
    EXPECT_NE(std::wstring::npos, log.find(L"DoVerb(-5);Close;SetClientSite(null);")) << log;
    EXPECT_EQ(std::wstring::npos, log.find(L";Movie=")) << log;
    ExpectEmptyPanel();
}

}  // namespace
}  // namespace qm::skin
