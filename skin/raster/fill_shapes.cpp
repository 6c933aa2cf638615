// Walks the shapes of a paint (solid, horizontal, vertical, angled, radial)
// row by row and hands spans of source colours to the blend kernels. Both the
// plain and the vector table share this file, so both see identical sources.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "skin/raster/fill_kernels.h"

namespace qm::raster::detail {

uint32_t premultiply_colour(uint32_t colour, uint32_t opacity) {
    const uint32_t alpha = (colour >> 24) * opacity / 255;
    uint32_t out = alpha << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (colour >> shift) & 0xFF;
        out |= std::min<uint32_t>(255, c * alpha / 255) << shift;
    }
    return out;
}

namespace {

// A linear ramp of `length` entries from c1 (entry 0) to c2 (entry length-1).
// Entries are computed from their index rather than accumulated, and a ramp of
// one entry is just c1, so no step is ever divided by zero.
class Ramp {
  public:
    Ramp(uint32_t c1, uint32_t c2, int64_t length) : c1_(c1), c2_(c2), length_(length) {
        for (int ch = 0; ch < 4; ++ch) {
            const double a = static_cast<double>((c1 >> (8 * ch)) & 0xFF);
            const double b = static_cast<double>((c2 >> (8 * ch)) & 0xFF);
            start_[ch] = a;
            step_[ch] = length > 1 ? (b - a) / static_cast<double>(length - 1) : 0.0;
        }
    }

    int64_t length() const { return length_; }

    uint32_t at(int64_t k) const {
        if (k <= 0) {
            return c1_;
        }
        if (k >= length_ - 1) {
            return c2_;
        }
        uint32_t out = 0;
        for (int ch = 0; ch < 4; ++ch) {
            double v = start_[ch] + step_[ch] * static_cast<double>(k) + 0.5;
            v = std::clamp(v, 0.0, 255.0);
            out |= static_cast<uint32_t>(v) << (8 * ch);
        }
        return out;
    }

  private:
    uint32_t c1_;
    uint32_t c2_;
    int64_t length_;
    double start_[4];
    double step_[4];
};

// The part of a ramp that pixels of the surface can reach, in source form.
class RampWindow {
  public:
    template <typename Transform>
    RampWindow(const Ramp& ramp, int64_t lo, int64_t hi, Transform transform) {
        lo = std::clamp<int64_t>(lo, 0, ramp.length() - 1);
        hi = std::clamp<int64_t>(hi, lo, ramp.length() - 1);
        lo_ = lo;
        entries_.resize(static_cast<size_t>(hi - lo + 1));
        for (int64_t k = lo; k <= hi; ++k) {
            entries_[static_cast<size_t>(k - lo)] = transform(ramp.at(k));
        }
    }

    uint32_t at(int64_t k) const {
        const int64_t last = lo_ + static_cast<int64_t>(entries_.size()) - 1;
        return entries_[static_cast<size_t>(std::clamp(k, lo_, last) - lo_)];
    }

  private:
    int64_t lo_ = 0;
    std::vector<uint32_t> entries_;
};

int64_t floor_sqrt(int64_t v) {
    if (v <= 0) {
        return 0;
    }
    int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (r * r > v) {
        --r;
    }
    while ((r + 1) * (r + 1) <= v) {
        ++r;
    }
    return r;
}

int64_t ceil_sqrt(int64_t v) {
    const int64_t r = floor_sqrt(v);
    return r * r == v ? r : r + 1;
}

class Painter {
  public:
    Painter(const Kernels& kernels, BlendOp op, uint32_t opacity, const Surface& surface,
            const CoverageMask* mask)
        : kernels_(kernels), surface_(surface), mask_(mask) {
        lut_.valid = false;
        params_.op = op;
        params_.opacity = opacity;
        params_.lut = &lut_;
    }

    int width() const { return surface_.width; }
    int height() const { return surface_.height; }

    // The colour as the kernels want it: premultiplied for source-over.
    uint32_t source(uint32_t colour) const {
        return params_.op == BlendOp::kOver ? premultiply_colour(colour, params_.opacity) : colour;
    }

    void solid(int y, int x0, int n, uint32_t colour) {
        if (n > 0) {
            kernels_.solid_span(&params_, colour, pixel(y, x0), coverage(y, x0), n);
        }
    }

    void span(int y, int x0, int n, const uint32_t* src) {
        if (n > 0) {
            kernels_.source_span(&params_, src, pixel(y, x0), coverage(y, x0), n);
        }
    }

  private:
    uint8_t* pixel(int y, int x) const {
        return surface_.pixels + static_cast<std::ptrdiff_t>(y) * surface_.stride +
               static_cast<std::ptrdiff_t>(x) * 4;
    }
    const uint8_t* coverage(int y, int x) const {
        if (mask_ == nullptr) {
            return nullptr;
        }
        return mask_->bits + static_cast<std::ptrdiff_t>(y) * mask_->stride + x;
    }

    const Kernels& kernels_;
    const Surface& surface_;
    const CoverageMask* mask_;
    SolidLut lut_;
    BlendParams params_;
};

void paint_solid(Painter& p, uint32_t colour) {
    const uint32_t src = p.source(colour);
    for (int y = 0; y < p.height(); ++y) {
        p.solid(y, 0, p.width(), src);
    }
}

// Colour at position `pos` along one axis for a gradient from `a` (colour 1)
// to `b` (colour 2): one ramp entry per pixel between them, the end colours
// outside. With a > b the picture is mirrored.
class AxisGradient {
  public:
    AxisGradient(const Painter& p, uint32_t c1, uint32_t c2, int64_t a, int64_t b)
        : p_(p), c1_(c1), c2_(c2), a_(a), b_(b), ramp_(c1, c2, a < b ? b - a : a - b) {}

    int64_t low() const { return std::min(a_, b_); }
    int64_t high() const { return std::max(a_, b_); }
    uint32_t before() const { return p_.source(a_ <= b_ ? c1_ : c2_); }
    uint32_t after() const { return p_.source(a_ <= b_ ? c2_ : c1_); }

    uint32_t at(int64_t pos) const {
        if (pos < low()) {
            return before();
        }
        if (pos >= high()) {
            return after();
        }
        return p_.source(ramp_.at(a_ <= b_ ? pos - a_ : a_ - 1 - pos));
    }

  private:
    const Painter& p_;
    uint32_t c1_;
    uint32_t c2_;
    int64_t a_;
    int64_t b_;
    Ramp ramp_;
};

void paint_horizontal(Painter& p, const Paint& paint) {
    const AxisGradient g(p, paint.colour1, paint.colour2, paint.x1, paint.x2);
    const int w = p.width();
    const int s1 = static_cast<int>(std::clamp<int64_t>(g.low(), 0, w));
    const int s2 = static_cast<int>(std::clamp<int64_t>(g.high(), 0, w));
    std::vector<uint32_t> ramp(static_cast<size_t>(s2 - s1));
    for (int x = s1; x < s2; ++x) {
        ramp[static_cast<size_t>(x - s1)] = g.at(x);
    }
    const uint32_t before = g.before();
    const uint32_t after = g.after();
    for (int y = 0; y < p.height(); ++y) {
        p.solid(y, 0, s1, before);
        p.span(y, s1, s2 - s1, ramp.data());
        p.solid(y, s2, w - s2, after);
    }
}

void paint_vertical(Painter& p, const Paint& paint) {
    const AxisGradient g(p, paint.colour1, paint.colour2, paint.y1, paint.y2);
    for (int y = 0; y < p.height(); ++y) {
        p.solid(y, 0, p.width(), g.at(y));
    }
}

// The band between the perpendiculars through both points holds the ramp,
// three entries per pixel of distance along the segment.
void paint_angled(Painter& p, const Paint& paint) {
    const double dx = static_cast<double>(paint.x2) - paint.x1;
    const double dy = static_cast<double>(paint.y2) - paint.y1;
    const double len = std::sqrt(dx * dx + dy * dy);
    const int64_t n = static_cast<int64_t>(len);
    const Ramp ramp(paint.colour1, paint.colour2, n * 3);
    const double ux = 3.0 * dx / len;
    const double uy = 3.0 * dy / len;
    const double ox = -static_cast<double>(paint.x1);
    const double oy = -static_cast<double>(paint.y1);

    // Positions are linear in x and y, so the corners bound what is reachable.
    const double w1 = p.width() - 1;
    const double h1 = p.height() - 1;
    const double corners[4] = {ox * ux + oy * uy, (ox + w1) * ux + oy * uy,
                               ox * ux + (oy + h1) * uy, (ox + w1) * ux + (oy + h1) * uy};
    const double lo = *std::min_element(corners, corners + 4);
    const double hi = *std::max_element(corners, corners + 4);
    const int64_t last = ramp.length() - 1;
    const RampWindow window(
        ramp, static_cast<int64_t>(std::clamp(std::floor(lo), 0.0, static_cast<double>(last))) - 1,
        static_cast<int64_t>(std::clamp(std::ceil(hi), 0.0, static_cast<double>(last))) + 1,
        [&p](uint32_t c) { return p.source(c); });

    std::vector<uint32_t> row(static_cast<size_t>(p.width()));
    double row_pos = ox * ux + oy * uy;
    for (int y = 0; y < p.height(); ++y) {
        double pos = row_pos;
        for (int x = 0; x < p.width(); ++x) {
            int64_t k;
            if (pos <= 0.0) {
                k = 0;
            } else if (pos >= static_cast<double>(last)) {
                k = last;
            } else {
                k = static_cast<int64_t>(pos);
            }
            row[static_cast<size_t>(x)] = window.at(k);
            pos += ux;
        }
        p.span(y, 0, p.width(), row.data());
        row_pos += uy;
    }
}

// Five ramp entries per pixel of radius. Entry i stands for squared scaled
// distances near i * i; F = 25 * (dx * dx + dy * dy) walks along each row, so
// no square root is taken per pixel.
void paint_radial(Painter& p, const Paint& paint) {
    const int64_t cx = paint.x1;
    const int64_t cy = paint.y1;
    const int64_t rx = static_cast<int64_t>(paint.x2) - cx;
    const int64_t ry = static_cast<int64_t>(paint.y2) - cy;
    const int64_t n = floor_sqrt(rx * rx + ry * ry);
    if (n == 0) {
        // Every pixel lies beyond a radius of zero.
        paint_solid(p, paint.colour2);
        return;
    }
    const Ramp ramp(paint.colour1, paint.colour2, n * 5);
    const int64_t last = ramp.length() - 1;
    const int w = p.width();
    const int h = p.height();

    auto distance2 = [](int64_t dx, int64_t dy) { return 25 * (dx * dx + dy * dy); };
    const int64_t nearest_x = std::clamp<int64_t>(cx, 0, w - 1) - cx;
    const int64_t nearest_y = std::clamp<int64_t>(cy, 0, h - 1) - cy;
    const int64_t far_x = std::max(std::abs(cx), std::abs(w - 1 - cx));
    const int64_t far_y = std::max(std::abs(cy), std::abs(h - 1 - cy));
    const RampWindow window(ramp, floor_sqrt(distance2(nearest_x, nearest_y)) - 1,
                            ceil_sqrt(distance2(far_x, far_y)) + 1,
                            [&p](uint32_t c) { return p.source(c); });

    std::vector<uint32_t> row(static_cast<size_t>(w));
    const int split = static_cast<int>(std::clamp<int64_t>(cx, 0, w));
    // Fills `row` for one row distance and returns where the last entry
    // starts; from there on the row is a solid run.
    auto walk_row = [&](int64_t dy) {
        // Left of the centre F falls towards it: the largest i with i * i <= F.
        int64_t dx = -cx;
        int64_t f = distance2(dx, dy);
        int64_t step = 25 * (2 * dx + 1);
        int64_t i = std::min(last, floor_sqrt(f));
        int64_t sq = i * i;  // kept equal to i * i
        for (int x = 0; x < split; ++x) {
            while (i > 0 && f < sq) {
                sq -= 2 * i - 1;
                --i;
            }
            row[static_cast<size_t>(x)] = window.at(i);
            f += step;
            step += 50;
        }
        // From the centre on F grows: the smallest i with i * i >= F, at most
        // the last entry.
        dx = split - cx;
        f = distance2(dx, dy);
        step = 25 * (2 * dx + 1);
        i = std::min(last, ceil_sqrt(f));
        sq = i * i;
        int x = split;
        for (; x < w && i < last; ++x) {
            while (i < last && sq < f) {
                sq += 2 * i + 1;
                ++i;
            }
            row[static_cast<size_t>(x)] = window.at(i);
            f += step;
            step += 50;
        }
        return x;
    };
    // Rows at the same distance above and below the centre are equal, so each
    // distance is walked once and painted on both of its rows.
    const int64_t near_k = std::abs(nearest_y);
    const int64_t far_k = std::max(std::abs(cy), std::abs(h - 1 - cy));
    for (int64_t k = near_k; k <= far_k; ++k) {
        const int end = walk_row(k);
        auto paint_row = [&](int64_t y) {
            if (y >= 0 && y < h) {
                p.span(static_cast<int>(y), 0, end, row.data());
                p.solid(static_cast<int>(y), end, w - end, window.at(last));
            }
        };
        paint_row(cy - k);
        if (k != 0) {
            paint_row(cy + k);
        }
    }
}

bool valid_surface(const Surface* s) {
    if (s == nullptr || s->straight_alpha != 0 || s->width < 0 || s->height < 0) {
        return false;
    }
    if (s->width == 0 || s->height == 0) {
        return true;
    }
    return s->pixels != nullptr && std::llabs(s->stride) >= 4 * static_cast<int64_t>(s->width);
}

bool in_gradient_range(int64_t v) {
    return v >= -kMaxGradientCoordinate && v <= kMaxGradientCoordinate;
}

int paint_shape(Painter& p, const Paint& paint) {
    switch (paint.kind) {
        case kPaintSolid:
            paint_solid(p, paint.colour1);
            return 1;
        case kPaintLinear:
        case kPaintRadial:
            break;
        default:
            return 0;
    }
    if (!in_gradient_range(paint.x1) || !in_gradient_range(paint.y1) ||
        !in_gradient_range(paint.x2) || !in_gradient_range(paint.y2) ||
        !in_gradient_range(p.width()) || !in_gradient_range(p.height())) {
        return 0;
    }
    if (paint.kind == kPaintRadial) {
        paint_radial(p, paint);
    } else if (paint.y1 == paint.y2) {
        paint_horizontal(p, paint);
    } else if (paint.x1 == paint.x2) {
        paint_vertical(p, paint);
    } else {
        paint_angled(p, paint);
    }
    return 1;
}

bool known_kind(const Paint& paint) {
    return paint.kind == kPaintSolid || paint.kind == kPaintLinear || paint.kind == kPaintRadial;
}

bool empty(const Surface& s) {
    return s.width == 0 || s.height == 0;
}

}  // namespace

int run_fill(const Kernels& kernels, const Surface* surface, const Paint* paint) {
    if (!valid_surface(surface) || paint == nullptr || !known_kind(*paint)) {
        return 0;
    }
    if (paint->opacity == 0 || empty(*surface)) {
        return 1;
    }
    const BlendOp op = paint->opacity == 255 ? BlendOp::kReplace : BlendOp::kOpacity;
    Painter p(kernels, op, paint->opacity, *surface, nullptr);
    return paint_shape(p, *paint);
}

int run_fill_with_colour_alpha(const Kernels& kernels, const Surface* surface, const Paint* paint,
                               int enabled) {
    if (!valid_surface(surface) || paint == nullptr || !known_kind(*paint)) {
        return 0;
    }
    if (enabled == 0 || paint->opacity == 0 || empty(*surface)) {
        return 1;
    }
    if (paint->kind == kPaintSolid) {
        const uint32_t alpha = premultiply_colour(paint->colour1, paint->opacity) >> 24;
        if (alpha == 0) {
            return 1;
        }
        if (alpha == 255) {
            // c' + d * 0 is the colour itself.
            Painter p(kernels, BlendOp::kReplace, 255, *surface, nullptr);
            return paint_shape(p, *paint);
        }
    }
    Painter p(kernels, BlendOp::kOver, paint->opacity, *surface, nullptr);
    return paint_shape(p, *paint);
}

int run_fill_masked(const Kernels& kernels, const CoverageMask* mask, const Surface* surface,
                    const Paint* paint, int mode) {
    if (!valid_surface(surface) || paint == nullptr || !known_kind(*paint) || mask == nullptr ||
        (mode != 1 && mode != 2)) {
        return 0;
    }
    if (mask->width != surface->width || mask->height != surface->height) {
        return 0;
    }
    if (empty(*surface)) {
        return 1;
    }
    if (mask->bits == nullptr || std::llabs(mask->stride) < mask->width) {
        return 0;
    }
    if (paint->opacity == 0) {
        return 1;
    }
    Painter p(kernels, mode == 1 ? BlendOp::kMask1 : BlendOp::kMask2, paint->opacity, *surface,
              mask);
    return paint_shape(p, *paint);
}

}  // namespace qm::raster::detail
