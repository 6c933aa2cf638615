// Reference-counted pixel buffers: the images the controls draw and the
// surfaces they draw into. Nothing here calls the platform.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "skin/control_types.h"

namespace qm::skin {

// Rectangles are the system's RECT (right and bottom exclusive).
inline int32_t RectWidth(const RECT& r) {
    return static_cast<int32_t>(r.right - r.left);
}
inline int32_t RectHeight(const RECT& r) {
    return static_cast<int32_t>(r.bottom - r.top);
}
inline bool RectIsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}
inline bool RectEquals(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline RECT MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    RECT r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}
// Intersection of two rectangles; all zero when they do not meet.
RECT Intersect(const RECT& a, const RECT& b);

enum BitmapFormat : int32_t {
    kBitmapBgra32 = 0,  // bytes B, G, R, A
    kBitmapBgr24 = 1,   // bytes B, G, R
};

// Images larger than this in either direction, or with more pixels than
// kMaxBitmapPixels, are refused: no skin needs them, and a forged file header
// must not become a huge allocation.
constexpr int32_t kMaxBitmapSide = 16384;
constexpr int64_t kMaxBitmapPixels = int64_t{1} << 25;

class Bitmap {
  public:
    // A zeroed (transparent black) bitmap with a reference count of 1, or
    // null for a non-positive or oversized request.
    static Bitmap* Create(int32_t width, int32_t height, int32_t format = kBitmapBgra32);
    // A view of a rectangle of source that shares its pixels; the view keeps
    // source alive. Null when the rectangle is empty or not inside source.
    static Bitmap* CreateView(Bitmap* source, const RECT& rect);

    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int32_t AddRef();
    int32_t Release();

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t stride() const { return stride_; }
    int32_t format() const { return format_; }
    int32_t BytesPerPixel() const { return format_ == kBitmapBgr24 ? 3 : 4; }
    bool premultiplied() const { return premultiplied_ != 0; }
    void set_premultiplied(bool value) { premultiplied_ = value ? 1 : 0; }
    bool owns_pixels() const { return owns_pixels_; }
    uint8_t* pixels() const { return pixels_; }
    uint8_t* Row(int32_t y) const { return pixels_ + static_cast<ptrdiff_t>(y) * stride_; }
    RECT Bounds() const { return MakeRect(0, 0, width_, height_); }

    // The pixel at (x, y) as 0xAARRGGBB (alpha 255 for 24-bit bitmaps).
    uint32_t PixelAt(int32_t x, int32_t y) const;

  private:
    Bitmap() = default;
    ~Bitmap();

    int32_t premultiplied_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t stride_ = 0;
    int32_t format_ = kBitmapBgra32;
    uint8_t* pixels_ = nullptr;
    bool owns_pixels_ = false;
    Bitmap* parent_ = nullptr;  // the bitmap a view looks into
    std::atomic<int32_t> references_{1};
};

// Holds one reference; for locals and members.
template <typename T>
class Ref {
  public:
    Ref() = default;
    // Takes over a reference the caller already owns.
    static Ref Adopt(T* p) {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    explicit Ref(T* p) : p_(p) {
        if (p_) {
            p_->AddRef();
        }
    }
    Ref(const Ref& o) : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref o) noexcept {
        T* t = p_;
        p_ = o.p_;
        o.p_ = t;
        return *this;
    }
    ~Ref() {
        if (p_) {
            p_->Release();
        }
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Hands the reference to the caller.
    T* Detach() {
        T* t = p_;
        p_ = nullptr;
        return t;
    }

  private:
    T* p_ = nullptr;
};

}  // namespace qm::skin
