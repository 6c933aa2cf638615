// Colour and alpha from the renderings over black and white: what the
// arithmetic means, and the SIMD variant agreeing with the scalar one on
// every pair of channel values.
#include "skin/two_pass_alpha.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace qm::skin {
namespace {

uint32_t Grey(uint32_t v) {
    return v | v << 8 | v << 16;
}

TEST(TwoPassAlpha, MeaningOfThePixels) {
    // Drawn the same over both: opaque, colour kept.
    EXPECT_EQ(0xFF2040E0u, DerivePixel(0x002040E0u, 0xFF2040E0u));
    // Nothing drawn: the backgrounds show, fully transparent and black.
    EXPECT_EQ(0x00000000u, DerivePixel(0x00000000u, 0x00FFFFFFu));
    // Half-covered white: premultiplied 128 over black, 255 over white.
    EXPECT_EQ(0x80808080u, DerivePixel(Grey(128), Grey(255)));
    // Premultiplied blue at alpha 0x40: over white the other channels show
    // 0xBF of the background.
    EXPECT_EQ(0x40000040u, DerivePixel(0x00000040u, 0x00BFBFFFu));
    // The largest difference decides; the colour never exceeds the alpha.
    EXPECT_EQ(0x60006060u, DerivePixel(0x00006070u, 0x009F60D0u));
    // A white rendering darker than the black one (a player that drew
    // differently each time) counts as opaque rather than wrapping.
    EXPECT_EQ(0xFF102030u, DerivePixel(0x00102030u, 0x00000000u));
    // The alpha bytes of the renderings are whatever GDI left there.
    EXPECT_EQ(DerivePixel(0x00123456u, 0x00FFFFFFu), DerivePixel(0xAB123456u, 0x17FFFFFFu));
}

TEST(TwoPassAlpha, ScalarAndSimdAgreeOnEveryPair) {
    // Every (black, white) byte pair, in each channel position and with
    // junk in the alpha bytes; lengths that leave tails of every size.
    std::vector<uint32_t> black;
    std::vector<uint32_t> white;
    for (uint32_t b = 0; b < 256; ++b) {
        for (uint32_t w = 0; w < 256; ++w) {
            black.push_back(Grey(b) | (w << 24));
            white.push_back(Grey(w) | (b << 24));
            black.push_back(b << 8 | ((255 - w) << 16) | 0x11);
            white.push_back(w << 8 | ((255 - b) << 16) | 0x7F);
            black.push_back(b << 16 | (w / 2));
            white.push_back(w << 16 | b);
        }
    }
    std::mt19937 random(13);
    for (int i = 0; i < 4099; ++i) {
        black.push_back(random());
        white.push_back(random());
    }
    std::vector<uint32_t> scalar(black.size());
    DeriveAlphaScalar(black.data(), white.data(), scalar.data(), black.size());
    for (size_t i = 0; i < black.size(); ++i) {
        ASSERT_EQ(DerivePixel(black[i], white[i]), scalar[i]) << i;
    }
#if defined(__i386__) || defined(__x86_64__)
    const bool simd_expected = true;
#else
    const bool simd_expected = false;
#endif
    for (size_t length : {black.size(), black.size() - 1, black.size() - 2, black.size() - 3,
                          size_t{1}, size_t{0}}) {
        std::vector<uint32_t> simd(length + 1, 0xDEADBEEFu);
        const int used = DeriveAlphaSimd(black.data(), white.data(), simd.data(), length);
        ASSERT_EQ(simd_expected, used != 0);
        if (!used) {
            break;
        }
        for (size_t i = 0; i < length; ++i) {
            ASSERT_EQ(scalar[i], simd[i]) << "pixel " << i << " of " << length;
        }
        // Nothing written past the end.
        EXPECT_EQ(0xDEADBEEFu, simd[length]);
    }
    std::vector<uint32_t> chosen(black.size());
    DeriveAlpha(black.data(), white.data(), chosen.data(), black.size());
    EXPECT_EQ(scalar, chosen);
}

}  // namespace
}  // namespace qm::skin
