#include "skin/focus_cue.h"

#include <algorithm>

namespace qm::skin {
namespace {

void BlendDot(Bitmap* surface, int32_t x, int32_t y, uint32_t argb) {
    if (x < 0 || y < 0 || x >= surface->width() || y >= surface->height() || ((x + y) & 1)) {
        return;
    }
    const uint32_t a = argb >> 24;
    const uint32_t keep = 255 - a;
    uint8_t* d = surface->Row(y) + static_cast<ptrdiff_t>(x) * 4;
    const uint32_t source[4] = {argb & 255, (argb >> 8) & 255, (argb >> 16) & 255, 255};
    for (int c = 0; c < 4; ++c) {
        d[c] = static_cast<uint8_t>((source[c] * a + d[c] * keep + 127) / 255);
    }
}

}  // namespace

void DrawFocusCue(Bitmap* surface, const RECT& rect, uint32_t argb) {
    if (!surface || surface->format() != kBitmapBgra32 || RectIsEmpty(rect) || !(argb >> 24)) {
        return;
    }
    const int32_t right = rect.right - 1, bottom = rect.bottom - 1;
    // Only the part of each edge over the surface is walked.
    const RECT area = Intersect(rect, surface->Bounds());
    if (RectIsEmpty(area)) {
        return;
    }
    for (int32_t x = area.left; x < area.right; ++x) {
        BlendDot(surface, x, rect.top, argb);
        if (bottom != rect.top) {
            BlendDot(surface, x, bottom, argb);
        }
    }
    for (int32_t y = std::max<int32_t>(area.top, rect.top + 1);
         y < std::min<int32_t>(area.bottom, bottom); ++y) {
        BlendDot(surface, rect.left, y, argb);
        if (right != rect.left) {
            BlendDot(surface, right, y, argb);
        }
    }
}

RECT FocusCueRect(const RECT& bounds) {
    return MakeRect(bounds.left + 2, bounds.top + 2, bounds.right - 2, bounds.bottom - 2);
}

RECT CaptionCueRect(const RECT& ink, const RECT& bounds) {
    return Intersect(MakeRect(ink.left - 1, ink.top - 2, ink.right + 2, ink.bottom + 2), bounds);
}

}  // namespace qm::skin
