// PNG decoding into premultiplied 32-bit bitmaps, and encoding for tools and
// tests. Portable (libpng and zlib only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm::skin {

class Bitmap;

// Files larger than this are not read: no skin image comes near it.
constexpr size_t kMaxPngFileBytes = size_t{64} << 20;

// Decodes a whole PNG file held in memory. Every layout becomes 32 bits per
// pixel, B, G, R, A, with the colour channels premultiplied by alpha as
// (A * (c + 1)) >> 8. Returns a new bitmap (reference count 1), or null for
// truncated, corrupt or unsupported data and for images of more than
// max_pixels pixels (or beyond the Bitmap limits).
Bitmap* DecodePng(const uint8_t* data, size_t size, int64_t max_pixels = int64_t{1} << 24);

// Encodes a 32-bit bitmap as an 8-bit RGBA PNG, undoing the premultiplication
// (24-bit bitmaps become opaque RGBA). Returns 1 and fills *out, or 0.
int EncodePng(const Bitmap* bitmap, std::vector<uint8_t>* out);

}  // namespace qm::skin
