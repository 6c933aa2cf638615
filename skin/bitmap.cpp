#include "skin/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace qm::skin {

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r = MakeRect(static_cast<int32_t>(std::max(a.left, b.left)),
                      static_cast<int32_t>(std::max(a.top, b.top)),
                      static_cast<int32_t>(std::min(a.right, b.right)),
                      static_cast<int32_t>(std::min(a.bottom, b.bottom)));
    if (RectIsEmpty(r)) {
        return MakeRect(0, 0, 0, 0);
    }
    return r;
}

Bitmap* Bitmap::Create(int32_t width, int32_t height, int32_t format) {
    if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
        int64_t{width} * height > kMaxBitmapPixels) {
        return nullptr;
    }
    if (format != kBitmapBgra32 && format != kBitmapBgr24) {
        return nullptr;
    }
    const int32_t bpp = format == kBitmapBgr24 ? 3 : 4;
    // Rows of 24-bit bitmaps are padded to four bytes, as DIBs are.
    const int32_t stride = (width * bpp + 3) & ~3;
    auto* pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(stride) * height, 1));
    if (!pixels) {
        return nullptr;
    }
    auto* b = new (std::nothrow) Bitmap;
    if (!b) {
        std::free(pixels);
        return nullptr;
    }
    b->width_ = width;
    b->height_ = height;
    b->stride_ = stride;
    b->format_ = format;
    b->pixels_ = pixels;
    b->owns_pixels_ = true;
    // Transparent black is premultiplied whatever the flag says; a bitmap
    // starts out as a premultiplied surface.
    b->premultiplied_ = 1;
    return b;
}

Bitmap* Bitmap::CreateView(Bitmap* source, const RECT& rect) {
    if (!source || RectIsEmpty(rect) || rect.left < 0 || rect.top < 0 ||
        rect.right > source->width_ || rect.bottom > source->height_) {
        return nullptr;
    }
    auto* b = new (std::nothrow) Bitmap;
    if (!b) {
        return nullptr;
    }
    b->width_ = RectWidth(rect);
    b->height_ = RectHeight(rect);
    b->stride_ = source->stride_;
    b->format_ = source->format_;
    b->premultiplied_ = source->premultiplied_;
    b->pixels_ = source->Row(static_cast<int32_t>(rect.top)) +
                 static_cast<ptrdiff_t>(rect.left) * source->BytesPerPixel();
    b->owns_pixels_ = false;
    b->parent_ = source;
    source->AddRef();
    return b;
}

Bitmap::~Bitmap() {
    if (owns_pixels_) {
        std::free(pixels_);
    }
    if (parent_) {
        parent_->Release();
    }
}

int32_t Bitmap::AddRef() {
    return ++references_;
}

int32_t Bitmap::Release() {
    const int32_t left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

uint32_t Bitmap::PixelAt(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return 0;
    }
    const uint8_t* p = Row(y) + static_cast<ptrdiff_t>(x) * BytesPerPixel();
    const uint32_t a = format_ == kBitmapBgr24 ? 255u : p[3];
    return a << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

}  // namespace qm::skin
