// The cost of painting a skinned window: one full paint of a tree shaped like
// the 469 x 374 main window (nine-grid background, artwork, title, four
// Chinese text lines, three captioned buttons, a check box, a captioned
// progress bar) into the window's surface, beside the cost of copying that
// finished surface to the window alone. Medians over 1000 of each, in one
// run, so a slow machine still gives a ratio that compares. Also counts what
// a repaint where nothing changed allocates and the GDI objects it leaves.
//
// Run under Wine on a display (Windows, 64-bit tree here):
//   scripts/wine64 build/win64/bench/bench_paint.exe
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "skin/bitmap.h"
#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/control_factory.h"
#include "skin/host_window.h"
#include "skin/image_cache.h"
#include "skin/image_control.h"
#include "skin/image_strip.h"
#include "skin/progress_control.h"
#include "skin/skin_startup.h"
#include "skin/surface.h"
#include "skin/text_control.h"
#include "tests/skin_host/gdi_probe.h"

// Every allocation of the process is counted, so that a repaint can be
// seen to allocate nothing (or not).
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    ++g_allocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

using namespace qm::skin;

namespace {

constexpr int kWidth = 469;
constexpr int kHeight = 374;
constexpr int kRounds = 1000;

std::vector<Control*> g_owned;

template <class T>
T* Add(int32_t type, const char* name, const char* mode, RECT rect, Control* parent) {
    Control* c = nullptr;
    if (!CreateControl(type, &c)) {
        std::fprintf(stderr, "bench_paint: cannot create %s\n", name);
        std::exit(1);
    }
    g_owned.push_back(c);
    c->SetLayout(mode, &rect);
    c->SetName(name);
    if (parent) {
        parent->AddChild(c);
    }
    return static_cast<T*>(c);
}

ImageDescriptor StripStretch(ImageStrip& strip, int index) {
    Ref<StretchImage> frame =
        Ref<StretchImage>::Adopt(strip.FrameStretch(index, kStretchThreeHorizontal));
    return ImageDescriptor::FromStretch(frame.get());
}

ImageDescriptor StripFrame(ImageStrip& strip, int index) {
    Ref<Bitmap> frame = Ref<Bitmap>::Adopt(strip.FrameBitmap(index));
    return ImageDescriptor::FromBitmap(frame.get());
}

void Button(Control* parent, const char* name, RECT rect, const wchar_t* strip_path,
            const wchar_t* caption) {
    auto* b = Add<ButtonControl>(kButtonControlType, name, "relative:lblb", rect, parent);
    ImageStrip strip(strip_path, 4);
    b->SetNormalImage(StripStretch(strip, 0));
    b->SetHoverImage(StripStretch(strip, 1));
    b->SetPressedImage(StripStretch(strip, 2));
    b->SetDisabledImage(StripStretch(strip, 3));
    b->SetText(caption);
}

void Text(Control* parent, const char* name, RECT rect, const wchar_t* text, uint32_t format) {
    auto* t = Add<TextControl>(kTextControlType, name, "relative:ltlt", rect, parent);
    t->SetText(text);
    t->SetFormat(format);
}

// The main window's shape, as the client builds it.
Control* BuildTree() {
    const RECT none = {0, 0, 0, 0};
    Control* root = Add<Control>(kLayoutControlType, "UIRoot", "inherite", none, nullptr);
    auto* bkg = Add<ImageControl>(kImageControlType, "ImageBkg", "inherite", none, root);
    bkg->SetImage(
        ImageDescriptor::FromStretch(GetStretchImage(L"images\\framebkg.png", kStretchNineGrid)));
    bkg->SetHitTestCode(2);
    Text(bkg, "TextTitle", {10, 0, 180, 30}, L"星海传说高速下载器", 4);
    auto* art =
        Add<ImageControl>(kImageControlType, "ImageArt", "relative:ltlt", {5, 30, 465, 230}, bkg);
    art->SetImage(ImageDescriptor::FromBitmap(GetBitmap(L"images\\bkg1.png")));
    auto* panel =
        Add<ImageControl>(kImageControlType, "ImagePanel", "relative:lbrb", {4, -144, -3, -4}, bkg);
    panel->SetImage(ImageDescriptor::FromStretch(
        GetStretchImage(L"images\\framebkgbottom.png", kStretchThreeHorizontal)));
    Text(panel, "TextDir", {14, 13, 360, 42}, L"C:\\downloads\\星海传说", 4);
    Text(panel, "TextStatus", {8, 45, 454, 75}, L"正在下载：61.5%  (1.23 GB / 2.00 GB)", 4);
    Text(panel, "TextSpeed", {8, 45, 454, 75}, L"3.2 MB/s  剩余 4 分钟", 6);
    Text(panel, "TextTips", {24, 60, 454, 76}, L"提示：下载完成后将自动开始安装游戏。", 4);
    auto* progress = Add<ProgressControl>(kProgressControlType, "Progress", "relative:ltrt",
                                          {8, 78, -8, 94}, panel);
    ImageStrip bar(L"images\\progress.png", 2);
    progress->SetBackgroundImage(StripStretch(bar, 0));
    progress->SetFillImage(StripStretch(bar, 1));
    progress->SetRange(0, 400);
    progress->SetPos(246);
    progress->SetText(L"61.5%");
    auto* check = Add<CheckboxControl>(kCheckboxControlType, "CheckAccel", "relative:lblb",
                                       {8, -34, 200, -18}, panel);
    ImageStrip boxes(L"images\\checkbox.png", 5);
    for (int i = 0; i < 4; ++i) {
        check->SetBoxImage(i, StripFrame(boxes, i));
    }
    check->SetCheckImage(StripFrame(boxes, 4));
    check->SetBoxSize(14);
    check->SetText(L"同时安装游戏加速器");
    check->SetChecked(1);
    Button(panel, "DirButton", {376, -131, 454, -102}, L"images\\button1.png", L"更改目录");
    Button(panel, "SwitchButton", {247, -41, 357, -8}, L"images\\button1.png", L"切换Torvane7下载");
    Button(panel, "ActionButton", {364, -41, 454, -8}, L"images\\button2.png", L"开始下载");
    return root;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double MedianMs(std::vector<double>& seconds) {
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2] * 1000.0;
}

}  // namespace

int wmain() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        if (wchar_t* slash = wcsrchr(path, L'\\')) {
            *slash = 0;
            SetCurrentDirectoryW(path);
        }
    }
    InitializeSkin();
    Control* root = BuildTree();
    auto* window = new HostWindow();
    window->SetRoot(root);
    const RECT rect = {100, 100, 100 + kWidth, 100 + kHeight};
    HWND hwnd = window->Create(nullptr, rect, L"bench_paint");
    if (!hwnd) {
        std::fprintf(stderr, "bench_paint: no window (is there a display?)\n");
        return 1;
    }
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }

    // The tree painted into a surface of the window's size.
    Bitmap* surface = CreateSurface(kWidth, kHeight);
    for (int i = 0; i < 20; ++i) {
        root->Paint(surface);
    }
    // Where the time goes: each control's own paint (with what it holds).
    if (GetEnvironmentVariableW(L"BENCH_PAINT_DETAIL", nullptr, 0) > 0) {
        for (Control* c : g_owned) {
            std::vector<double> each;
            for (int i = 0; i < 100; ++i) {
                const double start = Now();
                c->Paint(surface);
                each.push_back(Now() - start);
            }
            std::printf("  %-14s %.3f ms\n", c->GetName().c_str(), MedianMs(each));
        }
    }
    std::vector<double> paint;
    paint.reserve(kRounds);  // the bench's own vector must not count
    const long allocations_before = g_allocations.load();
    const DWORD gdi_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < kRounds; ++i) {
        const double start = Now();
        root->Paint(surface);
        paint.push_back(Now() - start);
    }
    const DWORD gdi_after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    // Where the system does not count GDI objects, the handle probe tells
    // whether a repaint made any (-1: it cannot tell here).
    const qm::skin::test::GdiProbe probe;
    const int probe_creates = probe.Creates([&] { root->Paint(surface); });
    const long allocations = g_allocations.load() - allocations_before;

    // The finished surface copied to the window alone.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(hwnd);
    std::vector<double> copy;
    for (int i = 0; i < 20 + kRounds; ++i) {
        const double start = Now();
        SetDIBitsToDevice(dc, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, surface->pixels(), &info,
                          DIB_RGB_COLORS);
        GdiFlush();
        if (i >= 20) {
            copy.push_back(Now() - start);
        }
    }
    ReleaseDC(hwnd, dc);

    // The same copy into an off-screen bitmap of the window's size: a copy
    // that surely moves every byte, for comparison with the window's.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(memory, target);
    std::vector<double> memory_copy;
    for (int i = 0; i < 20 + kRounds; ++i) {
        const double start = Now();
        SetDIBitsToDevice(memory, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, surface->pixels(), &info,
                          DIB_RGB_COLORS);
        GdiFlush();
        if (i >= 20) {
            memory_copy.push_back(Now() - start);
        }
    }
    SelectObject(memory, old);
    DeleteObject(target);
    DeleteDC(memory);

    // The whole paint message: tree, then copy, through the window host.
    std::vector<double> message;
    message.reserve(kRounds);
    const long message_allocations_before = g_allocations.load();
    for (int i = 0; i < 20 + kRounds; ++i) {
        const double start = Now();
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        GdiFlush();
        if (i >= 20) {
            message.push_back(Now() - start);
        }
    }
    const long message_allocations = g_allocations.load() - message_allocations_before;

    const double paint_ms = MedianMs(paint);
    const double copy_ms = MedianMs(copy);
    const double message_ms = MedianMs(message);
    std::printf("tree paint (469 x 374 main window): median %.3f ms over %d\n", paint_ms, kRounds);
    std::printf("surface copy alone (SetDIBitsToDevice): median %.3f ms over %d\n", copy_ms,
                kRounds);
    std::printf("ratio paint / copy: %.2f (goal <= 2)\n", paint_ms / copy_ms);
    const double memory_ms = MedianMs(memory_copy);
    std::printf("the same copy into an off-screen bitmap: median %.3f ms; paint / that: %.2f\n",
                memory_ms, paint_ms / memory_ms);
    std::printf("whole paint message (tree + copy): median %.3f ms, %.2f x the copy\n", message_ms,
                message_ms / copy_ms);
    std::printf(
        "repaints with nothing changed: %ld allocations in %d tree paints, %ld in %d "
        "paint messages\n",
        allocations, kRounds, message_allocations, 20 + kRounds);
    std::printf("GDI objects (GetGuiResources) before %lu, after %d tree paints %lu%s\n",
                gdi_before, kRounds, gdi_after,
                gdi_before == 0 ? " (the system does not count them)" : "");
    std::printf("GDI objects created by a repaint, by the handle probe: %s\n",
                probe_creates < 0    ? "cannot tell"
                : probe_creates == 0 ? "none"
                                     : "some");
    surface->Release();
    delete window;
    for (Control* c : g_owned) {
        c->Release();
    }
    ShutdownSkin();
    return 0;
}
