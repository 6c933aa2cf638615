// The SSE2 implementation of the blends: four pixels at a time, widened to
// 16-bit lanes. Every formula is the plain one rearranged so that no lane ever
// exceeds 16 bits, which keeps the results identical to the scalar code.
//
// This file is compiled with -msse2 on 32-bit targets, so it must not emit any
// inline function with external linkage (no std templates): the linker could
// otherwise hand the SSE2 copy to code that runs on older processors.
#include "skin/raster/fill_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#ifndef __SSE2__
#error "fill_sse2.cpp needs -msse2"
#endif

#include <emmintrin.h>
#include <cstring>

namespace qm::raster::detail {
namespace {

inline __m128i lo16(__m128i v) {
    return _mm_unpacklo_epi8(v, _mm_setzero_si128());
}
inline __m128i hi16(__m128i v) {
    return _mm_unpackhi_epi8(v, _mm_setzero_si128());
}

inline __m128i select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Each pixel's alpha copied into its four lanes.
inline __m128i splat_alpha(__m128i v16) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v16, _MM_SHUFFLE(3, 3, 3, 3)),
                               _MM_SHUFFLE(3, 3, 3, 3));
}

// floor(t / 255) for t <= 255 * 255.
inline __m128i div255(__m128i t) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_set1_epi16(1)), _mm_srli_epi16(t, 8)),
                          8);
}

// t / 255 rounded to nearest, for t <= 255 * 255.
inline __m128i div255_round(__m128i t) {
    t = _mm_add_epi16(t, _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// floor((x + y) / 256) without the 17th bit the sum may need.
inline __m128i sum_shift8(__m128i x, __m128i y) {
    const __m128i carry = _mm_and_si128(_mm_and_si128(x, y), _mm_set1_epi16(1));
    const __m128i half =
        _mm_add_epi16(_mm_add_epi16(_mm_srli_epi16(x, 1), _mm_srli_epi16(y, 1)), carry);
    return _mm_srli_epi16(half, 7);
}

inline __m128i alpha_lanes() {
    return _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
}

inline __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

// Four coverage bytes as two registers of per-pixel 16-bit lanes.
inline void load_mask(const uint8_t* mask, __m128i* m_lo, __m128i* m_hi, uint32_t* raw) {
    std::memcpy(raw, mask, 4);
    __m128i m = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(*raw)), _mm_setzero_si128());
    m = _mm_unpacklo_epi16(m, m);
    *m_lo = _mm_unpacklo_epi32(m, m);
    *m_hi = _mm_unpackhi_epi32(m, m);
}

// The masked blend of two pixels; see blend_masked in the scalar file.
inline __m128i masked(__m128i d, __m128i c, __m128i ca, __m128i cover, __m128i weight) {
    const __m128i f = div255(weight);
    const __m128i dk = _mm_mullo_epi16(d, _mm_sub_epi16(_mm_set1_epi16(255), f));
    const __m128i colour = _mm_add_epi16(_mm_srli_epi16(dk, 8), _mm_mulhi_epu16(ca, cover));
    const __m128i alpha = sum_shift8(dk, weight);
    __m128i res = select(alpha_lanes(), alpha, colour);
    const __m128i full = _mm_cmpeq_epi16(f, _mm_set1_epi16(255));
    res = select(full, _mm_or_si128(c, _mm_and_si128(alpha_lanes(), _mm_set1_epi16(255))), res);
    return select(_mm_cmpeq_epi16(f, _mm_setzero_si128()), d, res);
}

inline __m128i mask1(__m128i d, __m128i c, __m128i a, __m128i m) {
    return masked(d, c, _mm_mullo_epi16(c, a), m, _mm_mullo_epi16(m, a));
}

inline __m128i mask2(__m128i d, __m128i c, __m128i a, __m128i m) {
    const __m128i g = div255_round(_mm_mullo_epi16(m, splat_alpha(c)));
    return masked(d, c, _mm_mullo_epi16(c, a), g, _mm_mullo_epi16(g, a));
}

inline __m128i opacity(__m128i d, __m128i ca, __m128i keep) {
    return _mm_srli_epi16(_mm_add_epi16(ca, _mm_mullo_epi16(d, keep)), 8);
}

// Source-over of four premultiplied pixels; a zero source alpha keeps d.
inline __m128i over(__m128i d, __m128i s) {
    const __m128i keep_lo = _mm_sub_epi16(_mm_set1_epi16(255), splat_alpha(lo16(s)));
    const __m128i keep_hi = _mm_sub_epi16(_mm_set1_epi16(255), splat_alpha(hi16(s)));
    const __m128i kept = _mm_packus_epi16(_mm_srli_epi16(_mm_mullo_epi16(lo16(d), keep_lo), 8),
                                          _mm_srli_epi16(_mm_mullo_epi16(hi16(d), keep_hi), 8));
    const __m128i res = _mm_adds_epu8(kept, s);
    const __m128i clear = _mm_cmpeq_epi32(
        _mm_and_si128(s, _mm_set1_epi32(static_cast<int>(0xFF000000u))), _mm_setzero_si128());
    return select(clear, d, res);
}

// Runs `block` over four pixels at a time; a short tail goes through a
// zero-padded copy so the blocks never read or write past the span.
template <typename Block>
inline void for_blocks(int n, uint8_t* dst, const uint32_t* src, const uint8_t* mask, Block block) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        block(dst + 4 * i, src != nullptr ? src + i : nullptr,
              mask != nullptr ? mask + i : nullptr);
    }
    const int rest = n - i;
    if (rest > 0) {
        uint8_t d[16] = {};
        uint32_t s[4] = {};
        uint8_t m[4] = {};
        std::memcpy(d, dst + 4 * i, 4 * static_cast<size_t>(rest));
        if (src != nullptr) {
            std::memcpy(s, src + i, 4 * static_cast<size_t>(rest));
        }
        if (mask != nullptr) {
            std::memcpy(m, mask + i, static_cast<size_t>(rest));
        }
        block(d, src != nullptr ? s : nullptr, mask != nullptr ? m : nullptr);
        std::memcpy(dst + 4 * i, d, 4 * static_cast<size_t>(rest));
    }
}

void fill_words(uint8_t* dst, uint32_t colour, int n) {
    const __m128i c = _mm_set1_epi32(static_cast<int>(colour));
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        store(dst + 4 * i, c);
        store(dst + 4 * i + 16, c);
        store(dst + 4 * i + 32, c);
        store(dst + 4 * i + 48, c);
    }
    for (; i + 4 <= n; i += 4) {
        store(dst + 4 * i, c);
    }
    for (; i < n; ++i) {
        std::memcpy(dst + 4 * i, &colour, 4);
    }
}

void solid_span(BlendParams* params, uint32_t colour, uint8_t* dst, const uint8_t* mask, int n) {
    const __m128i a = _mm_set1_epi16(static_cast<short>(params->opacity));
    const __m128i c8 = _mm_set1_epi32(static_cast<int>(colour));
    const __m128i c = lo16(c8);
    switch (params->op) {
        case BlendOp::kReplace:
            fill_words(dst, colour, n);
            return;
        case BlendOp::kOpacity: {
            const __m128i ca = _mm_mullo_epi16(c, a);
            const __m128i keep = _mm_sub_epi16(_mm_set1_epi16(255), a);
            for_blocks(n, dst, nullptr, nullptr, [&](uint8_t* d, const uint32_t*, const uint8_t*) {
                const __m128i v = load(d);
                store(d, _mm_packus_epi16(opacity(lo16(v), ca, keep), opacity(hi16(v), ca, keep)));
            });
            return;
        }
        case BlendOp::kOver:
            if ((colour >> 24) == 0) {
                return;
            }
            for_blocks(n, dst, nullptr, nullptr, [&](uint8_t* d, const uint32_t*, const uint8_t*) {
                store(d, over(load(d), c8));
            });
            return;
        case BlendOp::kMask1:
        case BlendOp::kMask2: {
            const bool mode1 = params->op == BlendOp::kMask1;
            for_blocks(n, dst, nullptr, mask, [&](uint8_t* d, const uint32_t*, const uint8_t* m) {
                __m128i m_lo, m_hi;
                uint32_t raw;
                load_mask(m, &m_lo, &m_hi, &raw);
                if (raw == 0) {
                    return;
                }
                const __m128i v = load(d);
                const __m128i r_lo =
                    mode1 ? mask1(lo16(v), c, a, m_lo) : mask2(lo16(v), c, a, m_lo);
                const __m128i r_hi =
                    mode1 ? mask1(hi16(v), c, a, m_hi) : mask2(hi16(v), c, a, m_hi);
                store(d, _mm_packus_epi16(r_lo, r_hi));
            });
            return;
        }
    }
}

void source_span(BlendParams* params, const uint32_t* src, uint8_t* dst, const uint8_t* mask,
                 int n) {
    const __m128i a = _mm_set1_epi16(static_cast<short>(params->opacity));
    switch (params->op) {
        case BlendOp::kReplace:
            std::memcpy(dst, src, 4 * static_cast<size_t>(n));
            return;
        case BlendOp::kOpacity: {
            const __m128i keep = _mm_sub_epi16(_mm_set1_epi16(255), a);
            for_blocks(n, dst, src, nullptr, [&](uint8_t* d, const uint32_t* s, const uint8_t*) {
                const __m128i v = load(d);
                const __m128i w = load(s);
                store(d, _mm_packus_epi16(opacity(lo16(v), _mm_mullo_epi16(lo16(w), a), keep),
                                          opacity(hi16(v), _mm_mullo_epi16(hi16(w), a), keep)));
            });
            return;
        }
        case BlendOp::kOver:
            for_blocks(n, dst, src, nullptr, [&](uint8_t* d, const uint32_t* s, const uint8_t*) {
                store(d, over(load(d), load(s)));
            });
            return;
        case BlendOp::kMask1:
        case BlendOp::kMask2: {
            const bool mode1 = params->op == BlendOp::kMask1;
            for_blocks(n, dst, src, mask, [&](uint8_t* d, const uint32_t* s, const uint8_t* m) {
                __m128i m_lo, m_hi;
                uint32_t raw;
                load_mask(m, &m_lo, &m_hi, &raw);
                if (raw == 0) {
                    return;
                }
                const __m128i v = load(d);
                const __m128i w = load(s);
                const __m128i r_lo =
                    mode1 ? mask1(lo16(v), lo16(w), a, m_lo) : mask2(lo16(v), lo16(w), a, m_lo);
                const __m128i r_hi =
                    mode1 ? mask1(hi16(v), hi16(w), a, m_hi) : mask2(hi16(v), hi16(w), a, m_hi);
                store(d, _mm_packus_epi16(r_lo, r_hi));
            });
            return;
        }
    }
}

const Kernels kSse2Kernels = {solid_span, source_span};

int sse2_fill(const Surface* surface, const Paint* paint) {
    return run_fill(kSse2Kernels, surface, paint);
}

int sse2_fill_with_colour_alpha(const Surface* surface, const Paint* paint, int enabled) {
    return run_fill_with_colour_alpha(kSse2Kernels, surface, paint, enabled);
}

int sse2_fill_masked(const CoverageMask* mask, const Surface* surface, const Paint* paint,
                     int mode) {
    return run_fill_masked(kSse2Kernels, mask, surface, paint, mode);
}

const FillTable kSse2Table = {release_static_table, sse2_fill,     sse2_fill_with_colour_alpha,
                              reserved_slot,        reserved_slot, sse2_fill_masked};

}  // namespace

const FillTable* sse2_fill_table_impl() {
    return &kSse2Table;
}

}  // namespace qm::raster::detail

#else  // no SSE2 on this processor family

namespace qm::raster::detail {
const FillTable* sse2_fill_table_impl() {
    return nullptr;
}
}  // namespace qm::raster::detail

#endif
