// The plain implementation of the blends: per-channel lookup tables for solid
// colours, integer arithmetic per pixel otherwise. It is also the reference the
// vector variant is measured against.
#include <cstdint>

#include "skin/raster/fill_kernels.h"

namespace qm::raster::detail {
namespace {

inline uint32_t channel(uint32_t colour, int ch) {
    return (colour >> (8 * ch)) & 0xFF;
}

inline uint32_t cap(uint32_t v) {
    return v > 255 ? 255 : v;
}

inline void store(uint8_t* d, uint32_t colour) {
    d[0] = static_cast<uint8_t>(colour);
    d[1] = static_cast<uint8_t>(colour >> 8);
    d[2] = static_cast<uint8_t>(colour >> 16);
    d[3] = static_cast<uint8_t>(colour >> 24);
}

inline void blend_opacity(uint8_t* d, uint32_t colour, uint32_t a) {
    for (int ch = 0; ch < 4; ++ch) {
        d[ch] = static_cast<uint8_t>(cap((channel(colour, ch) * a + d[ch] * (255 - a)) >> 8));
    }
}

// colour is premultiplied; its alpha is the source alpha.
inline void blend_over(uint8_t* d, uint32_t colour) {
    const uint32_t a = colour >> 24;
    if (a == 0) {
        return;
    }
    for (int ch = 0; ch < 4; ++ch) {
        d[ch] = static_cast<uint8_t>(cap(channel(colour, ch) + ((d[ch] * (255 - a)) >> 8)));
    }
}

// Shared tail of both masked blends. weight is coverage times opacity (mode 1)
// or coverage times colour alpha times opacity (mode 2), at most 255 * 255;
// cover is the coverage that scales the colour channels. A pixel the paint
// does not reach keeps its value and a fully reached one takes the colour.
inline void blend_masked(uint8_t* d, uint32_t colour, uint32_t cover, uint32_t a, uint32_t weight) {
    const uint32_t f = weight / 255;
    if (f == 0) {
        return;
    }
    if (f == 255) {
        store(d, colour | 0xFF000000u);
        return;
    }
    const uint32_t keep = 255 - f;
    for (int ch = 0; ch < 3; ++ch) {
        d[ch] = static_cast<uint8_t>(
            cap(((d[ch] * keep) >> 8) + ((channel(colour, ch) * a * cover) >> 16)));
    }
    d[3] = static_cast<uint8_t>(cap((d[3] * keep + weight) >> 8));
}

inline void blend_mask1(uint8_t* d, uint32_t colour, uint32_t m, uint32_t a) {
    blend_masked(d, colour, m, a, m * a);
}

inline void blend_mask2(uint8_t* d, uint32_t colour, uint32_t m, uint32_t a) {
    // Coverage times colour alpha, rounded, so that full coverage of an opaque
    // colour stays full.
    const uint32_t t = m * (colour >> 24) + 128;
    const uint32_t g = (t + (t >> 8)) >> 8;
    blend_masked(d, colour, g, a, g * a);
}

void build_lut(BlendParams* params, uint32_t colour) {
    SolidLut* lut = params->lut;
    if (lut->valid && lut->colour == colour) {
        return;
    }
    const uint32_t a = params->opacity;
    const uint32_t over_keep = 255 - (colour >> 24);
    for (int ch = 0; ch < 4; ++ch) {
        const uint32_t c = channel(colour, ch);
        for (uint32_t d = 0; d < 256; ++d) {
            const uint32_t v = params->op == BlendOp::kOpacity ? (c * a + d * (255 - a)) >> 8
                                                               : c + ((d * over_keep) >> 8);
            lut->channel[ch][d] = static_cast<uint8_t>(cap(v));
        }
    }
    lut->colour = colour;
    lut->valid = true;
}

void solid_span(BlendParams* params, uint32_t colour, uint8_t* dst, const uint8_t* mask, int n) {
    const uint32_t a = params->opacity;
    switch (params->op) {
        case BlendOp::kReplace:
            for (int i = 0; i < n; ++i) {
                store(dst + 4 * i, colour);
            }
            return;
        case BlendOp::kOver:
            if ((colour >> 24) == 0) {
                return;
            }
            [[fallthrough]];
        case BlendOp::kOpacity: {
            build_lut(params, colour);
            const SolidLut& lut = *params->lut;
            for (int i = 0; i < n; ++i) {
                uint8_t* d = dst + 4 * i;
                d[0] = lut.channel[0][d[0]];
                d[1] = lut.channel[1][d[1]];
                d[2] = lut.channel[2][d[2]];
                d[3] = lut.channel[3][d[3]];
            }
            return;
        }
        case BlendOp::kMask1:
            for (int i = 0; i < n; ++i) {
                blend_mask1(dst + 4 * i, colour, mask[i], a);
            }
            return;
        case BlendOp::kMask2:
            for (int i = 0; i < n; ++i) {
                blend_mask2(dst + 4 * i, colour, mask[i], a);
            }
            return;
    }
}

void source_span(BlendParams* params, const uint32_t* src, uint8_t* dst, const uint8_t* mask,
                 int n) {
    const uint32_t a = params->opacity;
    switch (params->op) {
        case BlendOp::kReplace:
            for (int i = 0; i < n; ++i) {
                store(dst + 4 * i, src[i]);
            }
            return;
        case BlendOp::kOpacity:
            for (int i = 0; i < n; ++i) {
                blend_opacity(dst + 4 * i, src[i], a);
            }
            return;
        case BlendOp::kOver:
            for (int i = 0; i < n; ++i) {
                blend_over(dst + 4 * i, src[i]);
            }
            return;
        case BlendOp::kMask1:
            for (int i = 0; i < n; ++i) {
                blend_mask1(dst + 4 * i, src[i], mask[i], a);
            }
            return;
        case BlendOp::kMask2:
            for (int i = 0; i < n; ++i) {
                blend_mask2(dst + 4 * i, src[i], mask[i], a);
            }
            return;
    }
}

const Kernels kScalarKernels = {solid_span, source_span};

int scalar_fill(const Surface* surface, const Paint* paint) {
    return run_fill(kScalarKernels, surface, paint);
}

int scalar_fill_with_colour_alpha(const Surface* surface, const Paint* paint, int enabled) {
    return run_fill_with_colour_alpha(kScalarKernels, surface, paint, enabled);
}

int scalar_fill_masked(const CoverageMask* mask, const Surface* surface, const Paint* paint,
                       int mode) {
    return run_fill_masked(kScalarKernels, mask, surface, paint, mode);
}

const FillTable kScalarTable = {release_static_table, scalar_fill,   scalar_fill_with_colour_alpha,
                                reserved_slot,        reserved_slot, scalar_fill_masked};

}  // namespace

const FillTable* scalar_fill_table_impl() {
    return &kScalarTable;
}

}  // namespace qm::raster::detail
