#include "skin/skin_startup.h"

#include <windows.h>

#include "skin/gdiplus.h"

#include "skin/ax_host_window.h"
#include "skin/control_factory.h"
#include "skin/image_cache.h"
#include "skin/standard_controls.h"

namespace {

ULONG_PTR g_gdiplus_token = 0;
HMODULE g_rich_edit = nullptr;

}  // namespace

void InitializeSkin() {
    // The web page panel's host window; another module may have registered
    // the classes already.
    qm::skin::RegisterAxHostWindow();
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&g_gdiplus_token, &input, nullptr) != Gdiplus::Ok) {
        g_gdiplus_token = 0;
    }
    // Loaded once for the whole run, so that rich-edit controls can be created.
    g_rich_edit = LoadLibraryW(L"RICHED20.DLL");
    qm::skin::InitializeImageCache();
    qm::skin::RegisterStandardControls();
}

void ShutdownSkin() {
    // Cached images go before GDI+ does.
    qm::skin::ShutdownImageCache();
    if (g_rich_edit) {
        FreeLibrary(g_rich_edit);
        g_rich_edit = nullptr;
    }
    if (g_gdiplus_token) {
        Gdiplus::GdiplusShutdown(g_gdiplus_token);
        g_gdiplus_token = 0;
    }
}
