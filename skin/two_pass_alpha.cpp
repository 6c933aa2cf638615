#include "skin/two_pass_alpha.h"

#include <cstring>

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define TESSALY_ALPHA_SSE2 1
#elif defined(__i386__) && defined(__GNUC__)
#include <mmintrin.h>
#define TESSALY_ALPHA_MMX 1
#endif

namespace qm::skin {

void DeriveAlphaScalar(const uint32_t* black, const uint32_t* white, uint32_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        out[i] = DerivePixel(black[i], white[i]);
    }
}

namespace {

// Both SIMD variants do the same steps on 32-bit lanes, with only the
// instructions MMX has: saturating byte subtraction gives the differences
// and, added back, the maxima; shifts within the lane bring the three
// channel differences together.
#if defined(TESSALY_ALPHA_SSE2)

size_t DeriveVector(const uint32_t* black, const uint32_t* white, uint32_t* out, size_t count) {
    const __m128i colour_mask = _mm_set1_epi32(0x00FFFFFF);
    const __m128i low_byte = _mm_set1_epi32(0xFF);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i b = _mm_and_si128(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(black + i)), colour_mask);
        const __m128i w = _mm_and_si128(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(white + i)), colour_mask);
        const __m128i d = _mm_subs_epu8(w, b);
        // max(x, y) = (x - y, saturating) + y, byte by byte.
        __m128i s = _mm_srli_epi32(d, 8);
        __m128i m = _mm_add_epi8(_mm_subs_epu8(d, s), s);
        s = _mm_srli_epi32(m, 16);
        m = _mm_add_epi8(_mm_subs_epu8(m, s), s);
        const __m128i alpha = _mm_xor_si128(_mm_and_si128(m, low_byte), low_byte);
        __m128i spread = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 8));
        spread = _mm_or_si128(spread, _mm_slli_epi32(spread, 16));
        // min(x, y) = x - (x - y, saturating).
        const __m128i colour = _mm_subs_epu8(b, _mm_subs_epu8(b, spread));
        const __m128i pixel =
            _mm_or_si128(_mm_and_si128(colour, colour_mask), _mm_slli_epi32(alpha, 24));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pixel);
    }
    return i;
}

bool HasVector() {
    return true;
}

#elif defined(TESSALY_ALPHA_MMX)

__attribute__((target("mmx"))) size_t DeriveVector(const uint32_t* black, const uint32_t* white,
                                                   uint32_t* out, size_t count) {
    const __m64 colour_mask = _mm_set1_pi32(0x00FFFFFF);
    const __m64 low_byte = _mm_set1_pi32(0xFF);
    size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        __m64 b;
        __m64 w;
        std::memcpy(&b, black + i, 8);
        std::memcpy(&w, white + i, 8);
        b = _mm_and_si64(b, colour_mask);
        w = _mm_and_si64(w, colour_mask);
        const __m64 d = _mm_subs_pu8(w, b);
        __m64 s = _mm_srli_pi32(d, 8);
        __m64 m = _mm_add_pi8(_mm_subs_pu8(d, s), s);
        s = _mm_srli_pi32(m, 16);
        m = _mm_add_pi8(_mm_subs_pu8(m, s), s);
        const __m64 alpha = _mm_xor_si64(_mm_and_si64(m, low_byte), low_byte);
        __m64 spread = _mm_or_si64(alpha, _mm_slli_pi32(alpha, 8));
        spread = _mm_or_si64(spread, _mm_slli_pi32(spread, 16));
        const __m64 colour = _mm_subs_pu8(b, _mm_subs_pu8(b, spread));
        const __m64 pixel =
            _mm_or_si64(_mm_and_si64(colour, colour_mask), _mm_slli_pi32(alpha, 24));
        std::memcpy(out + i, &pixel, 8);
    }
    _mm_empty();
    return i;
}

bool HasVector() {
    static const bool has = __builtin_cpu_supports("mmx");
    return has;
}

#else

size_t DeriveVector(const uint32_t*, const uint32_t*, uint32_t*, size_t) {
    return 0;
}

bool HasVector() {
    return false;
}

#endif

}  // namespace

int DeriveAlphaSimd(const uint32_t* black, const uint32_t* white, uint32_t* out, size_t count) {
    if (!HasVector()) {
        return 0;
    }
    const size_t done = DeriveVector(black, white, out, count);
    // The tail that does not fill a register.
    DeriveAlphaScalar(black + done, white + done, out + done, count - done);
    return 1;
}

void DeriveAlpha(const uint32_t* black, const uint32_t* white, uint32_t* out, size_t count) {
    if (!DeriveAlphaSimd(black, white, out, count)) {
        DeriveAlphaScalar(black, white, out, count);
    }
}

}  // namespace qm::skin
