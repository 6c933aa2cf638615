// Paint fills for 32-bit premultiplied surfaces: solid colours, linear and
// radial gradients, over a whole surface or through an 8-bit coverage mask.
// Plain loops over memory; nothing here calls the platform.
#pragma once

#include <cstdint>

namespace qm::raster {

// A 32-bit surface: bytes of a pixel in memory are blue, green, red, alpha.
// Rows may be padded (stride >= 4 * width) or run upwards (negative stride).
struct Surface {
    int32_t straight_alpha;  // non-zero while the colour channels are not premultiplied
    int32_t width;
    int32_t height;
    int32_t stride;  // bytes from one row to the next
    uint8_t* pixels;
};

// One coverage byte per pixel, 0 outside and 255 fully inside; the same size
// as the surface it is painted through.
struct CoverageMask {
    int32_t width;
    int32_t height;
    int32_t stride;
    const uint8_t* bits;
};

enum PaintKind : int32_t {
    kPaintSolid = 0,
    kPaintLinear = 1,
    kPaintRadial = 2,
};

// Colours are 0xAARRGGBB words; points are in surface pixels. A radial paint
// is centred on point 1 and reaches point 2.
struct Paint {
    uint8_t opacity;  // 0 paints nothing, 255 is opaque
    int32_t kind;     // PaintKind
    uint32_t colour1;
    uint32_t colour2;
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
};

// Gradient points farther than this from the origin are refused: the squared
// distances of the radial walk must stay well inside 64 bits.
constexpr int32_t kMaxGradientCoordinate = 1 << 24;

// The routine table. The slot order is fixed; slots 3 and 4 are kept empty.
// Every fill returns 1 on success and 0 when it refuses its arguments (null or
// malformed surface, straight-alpha surface, unknown kind, mismatched mask),
// in which case nothing is painted.
struct FillTable {
    // Tables have static storage, so releasing one leaves it usable.
    void (*release)(const FillTable* table);
    int (*fill)(const Surface* surface, const Paint* paint);
    int (*fill_with_colour_alpha)(const Surface* surface, const Paint* paint, int enabled);
    void (*reserved3)();
    void (*reserved4)();
    // mode 1: coverage times opacity, colour alpha unused; mode 2: the colour
    // alpha multiplies the coverage as well.
    int (*fill_masked)(const CoverageMask* mask, const Surface* surface, const Paint* paint,
                       int mode);
};

// The process-wide table, chosen on first use by the processor's features.
const FillTable* fill_table();
// The two implementations, for tests and measurements. sse2_fill_table() is
// null when the build has no vector variant or the processor lacks SSE2.
const FillTable* scalar_fill_table();
const FillTable* sse2_fill_table();
bool cpu_has_sse2();

// The operations, through the process-wide table.
int fill(const Surface* surface, const Paint* paint);
int fill_with_colour_alpha(const Surface* surface, const Paint* paint, int enabled);
int fill_masked(const CoverageMask* mask, const Surface* surface, const Paint* paint, int mode);

// Multiplies blue, green and red by alpha, (alpha * (channel + 1)) >> 8, and
// clears the straight-alpha flag. Returns 0 for a malformed surface.
int premultiply(Surface* surface);

}  // namespace qm::raster
