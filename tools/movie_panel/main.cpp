// movie-panel: a skinned window from the shipped artwork with the movie
// panel over its picture, playing the movie named on the command line, for
// looking at the panel by hand and for screenshots.
//
//   movie-panel.exe [--seconds N] MOVIE
//
// Prints "playing" once the movie plays (or "empty panel" when the player or
// the movie is missing), closes itself after N seconds (default 20, at most
// 600), then prints "closed". The artwork is read from "images\" beside the
// program, as the client reads it.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "skin/control_factory.h"
#include "skin/flash_control.h"
#include "skin/host_window.h"
#include "skin/image_cache.h"
#include "skin/image_control.h"
#include "skin/skin_startup.h"
#include "skin/text_control.h"

using namespace qm::skin;

namespace {

const wchar_t kTitle[] = L"Tessaly movie panel";

void Say(const char* line) {
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

Control* Add(std::vector<Control*>* owned, int32_t type, const char* name, const char* mode,
             const RECT* rect, Control* parent) {
    Control* c = nullptr;
    if (!CreateControl(type, &c)) {
        return nullptr;
    }
    owned->push_back(c);
    c->SetLayout(mode, rect);
    c->SetName(name);
    if (parent) {
        parent->AddChild(c);
    }
    return c;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int seconds = 20;
    const wchar_t* movie = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--seconds") == 0 && i + 1 < argc) {
            seconds = _wtoi(argv[++i]);
        } else {
            movie = argv[i];
        }
    }
    if (!movie || seconds <= 0 || seconds > 600) {
        std::fputs("usage: movie-panel.exe [--seconds N (1..600)] MOVIE\n", stderr);
        return 2;
    }
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        if (wchar_t* slash = std::wcsrchr(self, L'\\')) {
            *slash = L'\0';
            SetCurrentDirectoryW(self);
        }
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InitializeSkin();
    int result = 0;
    {
        std::vector<Control*> owned;
        Control* root = Add(&owned, kLayoutControlType, "UIRoot", "inherite", nullptr, nullptr);
        auto* bkg = static_cast<ImageControl*>(
            Add(&owned, kImageControlType, "ImageBkg", "inherite", nullptr, root));
        bkg->SetImage(ImageDescriptor::FromStretch(
            GetStretchImage(L"images\\framebkg.png", kStretchNineGrid)));
        bkg->SetHitTestCode(2);
        const RECT title_rect = {10, 0, 300, 30};
        auto* title = static_cast<TextControl*>(
            Add(&owned, kTextControlType, "TextTitle", "relative:ltlt", &title_rect, bkg));
        title->SetText(kTitle);
        title->SetFormat(4);
        const RECT art_rect = {5, 30, 465, 230};
        auto* art = static_cast<ImageControl*>(
            Add(&owned, kImageControlType, "ImageArt", "relative:ltlt", &art_rect, bkg));
        art->SetImage(ImageDescriptor::FromBitmap(GetBitmap(L"images\\bkg1.png")));
        auto* flash = static_cast<FlashControl*>(
            Add(&owned, kFlashControlType, "FlashBkg", "relative:ltlt", &art_rect, bkg));

        HostWindow window;
        window.SetRoot(root);
        const RECT rect = {0, 0, 469, 236};
        if (root && flash && window.Create(nullptr, rect, kTitle)) {
            window.CentreWindow();
            ShowWindow(window.hwnd(), SW_SHOW);
            UpdateWindow(window.hwnd());
            Say(flash->LoadMovie(movie) ? "playing" : "empty panel");
            const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
            MSG msg;
            while (IsWindow(window.hwnd()) && static_cast<LONG>(end - GetTickCount()) > 0) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
            if (IsWindow(window.hwnd())) {
                DestroyWindow(window.hwnd());
            }
            Say("closed");
        } else {
            result = 1;
        }
        for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
            (*it)->Release();
        }
    }
    ShutdownSkin();
    CoUninitialize();
    return result;
}
