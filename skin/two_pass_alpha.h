// Colour and alpha of a windowless player's frame from two renderings of the
// same frame: one over black, one over white. A pixel drawn the same over
// both is opaque; the more the white shows through, the more transparent it
// is. Portable; the SIMD variant uses MMX on 32-bit x86 and SSE2 on x86_64.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::skin {

// Pixels are 0xAARRGGBB words (bytes B, G, R, A); the alpha bytes of the two
// renderings are ignored, since GDI leaves them undefined. The result is
// premultiplied: alpha = 255 - the largest colour difference (white - black,
// saturating at 0) and each colour channel = min(black channel, alpha).
inline uint32_t DerivePixel(uint32_t black, uint32_t white) {
    uint32_t difference = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t b = (black >> shift) & 0xFF;
        const uint32_t w = (white >> shift) & 0xFF;
        const uint32_t d = w > b ? w - b : 0;
        difference = d > difference ? d : difference;
    }
    const uint32_t alpha = 255 - difference;
    uint32_t out = alpha << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t b = (black >> shift) & 0xFF;
        out |= (b < alpha ? b : alpha) << shift;
    }
    return out;
}

// Derives count pixels one at a time.
void DeriveAlphaScalar(const uint32_t* black, const uint32_t* white, uint32_t* out, size_t count);

// The same with SIMD instructions; returns 0 (and writes nothing) where this
// build or processor has none, else 1.
int DeriveAlphaSimd(const uint32_t* black, const uint32_t* white, uint32_t* out, size_t count);

// The SIMD variant where the processor has it, else the scalar one.
void DeriveAlpha(const uint32_t* black, const uint32_t* white, uint32_t* out, size_t count);

}  // namespace qm::skin
