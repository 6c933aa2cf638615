#include "skin/surface.h"

#include <algorithm>
#include <cstring>

#include "skin/stretch_image.h"

namespace qm::skin {
namespace {

inline uint32_t Mul255(uint32_t a, uint32_t b) {
    const uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

// Source pixel as premultiplied B, G, R, A, whatever the bitmap's form.
struct Sampler {
    const Bitmap* bitmap;
    int32_t bpp;
    bool straight;

    void Fetch(int32_t x, int32_t y, uint32_t out[4]) const {
        const uint8_t* p = bitmap->Row(y) + static_cast<ptrdiff_t>(x) * bpp;
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        out[3] = bpp == 3 ? 255u : p[3];
        if (straight && out[3] != 255) {
            for (int c = 0; c < 3; ++c) {
                out[c] = (out[3] * (out[c] + 1)) >> 8;
            }
        }
    }
};

inline void BlendPixel(uint8_t* d, const uint32_t s[4], uint32_t opacity) {
    uint32_t b = s[0], g = s[1], r = s[2], a = s[3];
    if (opacity != 255) {
        b = Mul255(b, opacity);
        g = Mul255(g, opacity);
        r = Mul255(r, opacity);
        a = Mul255(a, opacity);
    }
    if (a == 255) {
        d[0] = static_cast<uint8_t>(b);
        d[1] = static_cast<uint8_t>(g);
        d[2] = static_cast<uint8_t>(r);
        d[3] = 255;
        return;
    }
    if (a == 0 && (b | g | r) == 0) {
        return;
    }
    const uint32_t keep = 255 - a;
    d[0] = static_cast<uint8_t>(std::min(255u, b + Mul255(d[0], keep)));
    d[1] = static_cast<uint8_t>(std::min(255u, g + Mul255(d[1], keep)));
    d[2] = static_cast<uint8_t>(std::min(255u, r + Mul255(d[2], keep)));
    d[3] = static_cast<uint8_t>(std::min(255u, a + Mul255(d[3], keep)));
}

// Fixed-point (16.16) source position of each destination pixel centre along
// one axis, clamped to the source span.
int64_t SourcePosition(int32_t i, int32_t src_len, int32_t dst_len) {
    int64_t p = ((int64_t{2} * i + 1) * src_len * 65536) / (int64_t{2} * dst_len) - 32768;
    const int64_t last = int64_t{src_len - 1} * 65536;
    return std::clamp<int64_t>(p, 0, last);
}

// SourcePosition for i, i + 1, i + 2, ... with one division in all: the
// numerator grows by a fixed step, so quotient and remainder are carried.
class SourceWalk {
  public:
    SourceWalk(int32_t i, int32_t src_len, int32_t dst_len)
        : divisor_(int64_t{2} * dst_len),
          step_(int64_t{2} * src_len * 65536),
          last_(int64_t{src_len - 1} * 65536) {
        const int64_t numerator = (int64_t{2} * i + 1) * src_len * 65536;
        quotient_ = numerator / divisor_;
        remainder_ = numerator % divisor_;
        step_quotient_ = step_ / divisor_;
        step_remainder_ = step_ % divisor_;
    }
    int64_t Position() const { return std::clamp<int64_t>(quotient_ - 32768, 0, last_); }
    void Next() {
        quotient_ += step_quotient_;
        remainder_ += step_remainder_;
        if (remainder_ >= divisor_) {
            remainder_ -= divisor_;
            ++quotient_;
        }
    }

  private:
    int64_t divisor_, step_, last_;
    int64_t quotient_ = 0, remainder_ = 0, step_quotient_ = 0, step_remainder_ = 0;
};

// Whether every row of the source rectangle is one colour, checked for small
// sources only. The stretching parts of frames and panels are vertical
// gradients: scaled, each destination row is then one colour too, and the
// horizontal interpolation can be left out without changing a pixel.
bool RowsAreUniform(const Bitmap* bitmap, const RECT& source) {
    const int32_t bpp = bitmap->BytesPerPixel();
    if (int64_t{RectWidth(source)} * RectHeight(source) > 4096) {
        return false;
    }
    for (int32_t y = source.top; y < source.bottom; ++y) {
        const uint8_t* first = bitmap->Row(y) + static_cast<ptrdiff_t>(source.left) * bpp;
        for (int32_t x = source.left + 1; x < source.right; ++x) {
            if (std::memcmp(first, bitmap->Row(y) + static_cast<ptrdiff_t>(x) * bpp,
                            static_cast<size_t>(bpp)) != 0) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

Bitmap* CreateSurface(int32_t width, int32_t height) {
    return Bitmap::Create(width, height, kBitmapBgra32);
}

int DrawBitmapClipped(Bitmap* surface, Bitmap* bitmap, const RECT& destination, const RECT& source,
                      int32_t opacity, const RECT& clip) {
    if (!surface || !bitmap || surface->format() != kBitmapBgra32) {
        return -1;
    }
    if (RectIsEmpty(source) || source.left < 0 || source.top < 0 ||
        source.right > bitmap->width() || source.bottom > bitmap->height()) {
        return -1;
    }
    opacity = std::clamp(opacity, 0, 255);
    if (RectIsEmpty(destination) || opacity == 0) {
        return 0;
    }
    const RECT visible = Intersect(Intersect(destination, surface->Bounds()), clip);
    if (RectIsEmpty(visible)) {
        return 0;
    }
    const Sampler sampler{bitmap, bitmap->BytesPerPixel(),
                          bitmap->format() == kBitmapBgra32 && !bitmap->premultiplied()};
    const auto op = static_cast<uint32_t>(opacity);
    const int32_t sw = RectWidth(source), sh = RectHeight(source);
    const int32_t dw = RectWidth(destination), dh = RectHeight(destination);
    uint32_t s[4];

    if (sw == dw && sh == dh && sampler.bpp == 4 && !sampler.straight && op == 255) {
        // The common case (artwork drawn as it is): opaque pixels are copied,
        // transparent ones skipped, the rest blended as BlendPixel does.
        for (int32_t y = visible.top; y < visible.bottom; ++y) {
            uint8_t* d = surface->Row(y) + static_cast<ptrdiff_t>(visible.left) * 4;
            const uint8_t* p =
                bitmap->Row(source.top + (y - destination.top)) +
                static_cast<ptrdiff_t>(source.left + (visible.left - destination.left)) * 4;
            for (int32_t x = visible.left; x < visible.right; ++x, d += 4, p += 4) {
                if (p[3] == 255) {
                    std::memcpy(d, p, 4);
                } else if (p[3] != 0 || (p[0] | p[1] | p[2]) != 0) {
                    const uint32_t px[4] = {p[0], p[1], p[2], p[3]};
                    BlendPixel(d, px, 255);
                }
            }
        }
        return 0;
    }
    if (sw == dw && sh == dh) {
        for (int32_t y = visible.top; y < visible.bottom; ++y) {
            uint8_t* d = surface->Row(y) + static_cast<ptrdiff_t>(visible.left) * 4;
            const int32_t sy = source.top + (y - destination.top);
            for (int32_t x = visible.left; x < visible.right; ++x, d += 4) {
                sampler.Fetch(source.left + (x - destination.left), sy, s);
                BlendPixel(d, s, op);
            }
        }
        return 0;
    }

    const bool uniform_rows = RowsAreUniform(bitmap, source);
    for (int32_t y = visible.top; y < visible.bottom; ++y) {
        const int64_t fy = SourcePosition(y - destination.top, sh, dh);
        const int32_t y0 = source.top + static_cast<int32_t>(fy >> 16);
        const int32_t y1 = std::min(y0 + 1, static_cast<int32_t>(source.bottom) - 1);
        const auto wy = static_cast<uint32_t>((fy >> 8) & 255);
        uint8_t* d = surface->Row(y) + static_cast<ptrdiff_t>(visible.left) * 4;
        if (uniform_rows) {
            // The general formula with equal left and right neighbours.
            uint32_t p0[4], p1[4];
            sampler.Fetch(source.left, y0, p0);
            sampler.Fetch(source.left, y1, p1);
            for (int c = 0; c < 4; ++c) {
                s[c] = (p0[c] * 256 * (256 - wy) + p1[c] * 256 * wy + 32768) >> 16;
            }
            for (int c = 0; c < 3; ++c) {
                s[c] = std::min(s[c], s[3]);
            }
            if (s[3] == 255 && op == 255) {
                const uint8_t pixel[4] = {static_cast<uint8_t>(s[0]), static_cast<uint8_t>(s[1]),
                                          static_cast<uint8_t>(s[2]), 255};
                for (int32_t x = visible.left; x < visible.right; ++x, d += 4) {
                    std::memcpy(d, pixel, 4);
                }
            } else {
                for (int32_t x = visible.left; x < visible.right; ++x, d += 4) {
                    BlendPixel(d, s, op);
                }
            }
            continue;
        }
        SourceWalk walk(visible.left - destination.left, sw, dw);
        for (int32_t x = visible.left; x < visible.right; ++x, d += 4, walk.Next()) {
            const int64_t fx = walk.Position();
            const int32_t x0 = source.left + static_cast<int32_t>(fx >> 16);
            const int32_t x1 = std::min(x0 + 1, static_cast<int32_t>(source.right) - 1);
            const auto wx = static_cast<uint32_t>((fx >> 8) & 255);
            uint32_t p00[4], p01[4], p10[4], p11[4];
            sampler.Fetch(x0, y0, p00);
            sampler.Fetch(x1, y0, p01);
            sampler.Fetch(x0, y1, p10);
            sampler.Fetch(x1, y1, p11);
            for (int c = 0; c < 4; ++c) {
                const uint32_t top = p00[c] * (256 - wx) + p01[c] * wx;
                const uint32_t bottom = p10[c] * (256 - wx) + p11[c] * wx;
                s[c] = (top * (256 - wy) + bottom * wy + 32768) >> 16;
            }
            // Rounding must not leave a colour above its alpha.
            for (int c = 0; c < 3; ++c) {
                s[c] = std::min(s[c], s[3]);
            }
            BlendPixel(d, s, op);
        }
    }
    return 0;
}

int DrawBitmap(Bitmap* surface, Bitmap* bitmap, const RECT& destination, const RECT* source) {
    if (!bitmap) {
        return -1;
    }
    const RECT whole = bitmap->Bounds();
    return DrawBitmapClipped(surface, bitmap, destination, source ? *source : whole, 255,
                             destination);
}

int DrawStretchImage(Bitmap* surface, StretchImage* image, const RECT& destination,
                     int32_t opacity) {
    if (!surface || !image || !image->source() || surface->format() != kBitmapBgra32) {
        return -1;
    }
    if (RectIsEmpty(destination) || opacity <= 0) {
        return 0;
    }
    Bitmap* source = image->source();
    if (image->type() == kStretchTile) {
        const RECT area = Intersect(destination, surface->Bounds());
        if (RectIsEmpty(area)) {
            return 0;
        }
        const int32_t tw = source->width(), th = source->height();
        // First grid line at or before the area's corner.
        auto grid_start = [](int32_t from, int32_t origin, int32_t step) {
            int64_t k = (int64_t{from} - origin) / step;
            if (int64_t{origin} + k * step > from) {
                --k;
            }
            return static_cast<int32_t>(origin + k * step);
        };
        for (int32_t ty = grid_start(area.top, image->tile_y(), th); ty < area.bottom; ty += th) {
            for (int32_t tx = grid_start(area.left, image->tile_x(), tw); tx < area.right;
                 tx += tw) {
                const RECT tile{tx, ty, tx + tw, ty + th};
                DrawBitmapClipped(surface, source, tile, source->Bounds(), opacity, area);
            }
        }
        return 0;
    }
    image->SetTarget(destination);
    for (const SliceRegion& r : image->regions()) {
        if (RectIsEmpty(r.destination()) || !r.view()) {
            continue;
        }
        if (RectIsEmpty(Intersect(r.destination(), destination))) {
            continue;
        }
        DrawBitmapClipped(surface, r.view(), r.destination(), r.view()->Bounds(), opacity,
                          destination);
    }
    return 0;
}

}  // namespace qm::skin
