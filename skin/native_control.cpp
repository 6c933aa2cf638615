#include "skin/native_control.h"

#include "skin/bitmap.h"

namespace qm::skin {

namespace {

void PutPixel(Bitmap* surface, int32_t x, int32_t y, const uint8_t bgra[4]) {
    if (x < 0 || y < 0 || x >= surface->width() || y >= surface->height()) {
        return;
    }
    uint8_t* p = surface->Row(y) + 4 * x;
    for (int i = 0; i < 4; ++i) {
        p[i] = bgra[i];
    }
}

}  // namespace

void DrawNativeFrame(Bitmap* surface, const RECT& bounds, uint32_t argb) {
    if (!surface || surface->format() != kBitmapBgra32 || bounds.right < bounds.left ||
        bounds.bottom < bounds.top) {
        return;
    }
    // Premultiplied, as every surface pixel is.
    const uint32_t a = argb >> 24;
    const uint8_t bgra[4] = {static_cast<uint8_t>((argb & 0xFF) * a / 255),
                             static_cast<uint8_t>(((argb >> 8) & 0xFF) * a / 255),
                             static_cast<uint8_t>(((argb >> 16) & 0xFF) * a / 255),
                             static_cast<uint8_t>(a)};
    const int32_t left = bounds.left - 1;
    const int32_t top = bounds.top - 1;
    for (int32_t x = left; x <= bounds.right; ++x) {
        PutPixel(surface, x, top, bgra);
        PutPixel(surface, x, bounds.bottom, bgra);
    }
    for (int32_t y = top; y <= bounds.bottom; ++y) {
        PutPixel(surface, left, y, bgra);
        PutPixel(surface, bounds.right, y, bgra);
    }
}

NativeControl::NativeControl(const wchar_t* window_class) : window_class_(window_class) {}

NativeControl::~NativeControl() {
    DestroyChild();
}

int NativeControl::OnCreate() {
    if (child_) {
        return 1;
    }
    child_ = CreateWindowExW(0, window_class_, L"", kChildStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, GetDesktopWindow(), nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    return child_ ? 1 : 0;
}

int NativeControl::OnAttachWindow(HWND window) {
    if (child_ && IsWindow(child_) && window && IsWindow(window)) {
        SetParent(child_, window);
    }
    return 1;
}

int NativeControl::OnSize(const RECT& bounds) {
    if (child_ && IsWindow(child_)) {
        MoveWindow(child_, bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, TRUE);
    }
    return 1;
}

int NativeControl::OnShowWindow(int show, int status) {
    if (child_ && IsWindow(child_)) {
        ShowWindow(child_, IsVisible() && show ? SW_SHOW : SW_HIDE);
    }
    return Control::OnShowWindow(show, status);
}

void NativeControl::Invalidate() {
    if (child_ && IsWindow(child_)) {
        ShowWindow(child_, IsVisible() ? SW_SHOW : SW_HIDE);
    }
    Control::Invalidate();
}

int NativeControl::Paint(Bitmap* surface) {
    DrawNativeFrame(surface, GetBounds());
    return Control::Paint(surface);
}

int NativeControl::Destroy() {
    DestroyChild();
    return Control::Destroy();
}

void NativeControl::DestroyChild() {
    HWND child = child_;
    child_ = nullptr;
    // A child of a window already destroyed went with it.
    if (child && IsWindow(child)) {
        DestroyWindow(child);
    }
}

}  // namespace qm::skin
