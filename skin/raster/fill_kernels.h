// The seam between the shape walkers (shared) and the per-pixel blends, which
// exist once in plain C++ and once with SSE2. Internal to the raster library.
#pragma once

#include <cstdint>

#include "skin/raster/fill.h"

namespace qm::raster::detail {

enum class BlendOp {
    kReplace,  // the source overwrites the pixel
    kOpacity,  // (c * a + d * (255 - a)) >> 8 on all four bytes
    kOver,     // premultiplied source-over; a source alpha of 0 leaves the pixel
    kMask1,    // coverage times opacity
    kMask2,    // coverage times colour alpha times opacity
};

// Per-channel lookup for one solid colour, built at most once per colour and
// call by the kernels that want it.
struct SolidLut {
    bool valid;
    uint32_t colour;
    uint8_t channel[4][256];
};

struct BlendParams {
    BlendOp op;
    uint32_t opacity;  // 1..255
    SolidLut* lut;     // scratch owned by the caller for the whole call
};

// Spans never cross a row. dst points at 4 * n bytes of pixels; mask at n
// coverage bytes for the masked ops and is null otherwise. Source colours are
// 0xAARRGGBB words, already premultiplied for kOver.
struct Kernels {
    void (*solid_span)(BlendParams* params, uint32_t colour, uint8_t* dst, const uint8_t* mask,
                       int n);
    void (*source_span)(BlendParams* params, const uint32_t* src, uint8_t* dst, const uint8_t* mask,
                        int n);
};

int run_fill(const Kernels& kernels, const Surface* surface, const Paint* paint);
int run_fill_with_colour_alpha(const Kernels& kernels, const Surface* surface, const Paint* paint,
                               int enabled);
int run_fill_masked(const Kernels& kernels, const CoverageMask* mask, const Surface* surface,
                    const Paint* paint, int mode);

// Slots shared by every table: tables have static storage, so there is
// nothing to free, and the reserved slots have no work.
void release_static_table(const FillTable* table);
void reserved_slot();

// The two tables. The vector one is null when this build has no SSE2 variant.
const FillTable* scalar_fill_table_impl();
const FillTable* sse2_fill_table_impl();

// The premultiplied source of fill_with_colour_alpha for one colour: alpha
// becomes colour alpha * opacity / 255 and each colour channel c * alpha / 255.
uint32_t premultiply_colour(uint32_t colour, uint32_t opacity);

}  // namespace qm::raster::detail
