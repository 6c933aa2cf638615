#include "skin/raster/fill.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace qm::raster {
namespace {

// A surface with padded rows; the padding holds a sentinel that no fill may
// touch.
class TestSurface {
  public:
    TestSurface(int width, int height, uint32_t value = 0, int pad = 3)
        : width_(width),
          height_(height),
          stride_(4 * (width + pad)),
          bytes_(static_cast<size_t>(stride_) * height, kSentinel) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                set(x, y, value);
            }
        }
    }

    Surface surface() { return Surface{0, width_, height_, stride_, bytes_.data()}; }

    uint32_t at(int x, int y) const {
        const uint8_t* p = &bytes_[static_cast<size_t>(y) * stride_ + 4 * x];
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }

    void set(int x, int y, uint32_t v) {
        uint8_t* p = &bytes_[static_cast<size_t>(y) * stride_ + 4 * x];
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
        p[3] = static_cast<uint8_t>(v >> 24);
    }

    // Random premultiplied pixels.
    void randomise(std::mt19937& rng) {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const uint32_t a = rng() % 256;
                uint32_t v = a << 24;
                for (int ch = 0; ch < 3; ++ch) {
                    v |= (a == 0 ? 0 : rng() % (a + 1)) << (8 * ch);
                }
                set(x, y, v);
            }
        }
    }

    bool padding_intact() const {
        for (int y = 0; y < height_; ++y) {
            for (int i = 4 * width_; i < stride_; ++i) {
                if (bytes_[static_cast<size_t>(y) * stride_ + i] != kSentinel) {
                    return false;
                }
            }
        }
        return true;
    }

    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    static constexpr uint8_t kSentinel = 0xA5;
    int width_;
    int height_;
    int stride_;
    std::vector<uint8_t> bytes_;
};

uint32_t ch(uint32_t v, int c) {
    return (v >> (8 * c)) & 0xFF;
}

// Largest per-channel difference over every pixel of two equal-sized surfaces.
int max_difference(const TestSurface& a, const TestSurface& b, int width, int height) {
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                worst = std::max(worst, std::abs(static_cast<int>(ch(a.at(x, y), c)) -
                                                 static_cast<int>(ch(b.at(x, y), c))));
            }
        }
    }
    return worst;
}

Paint solid(uint32_t colour, uint8_t opacity) {
    return Paint{opacity, kPaintSolid, colour, 0, 0, 0, 0, 0};
}

Paint linear(uint32_t c1, uint32_t c2, int x1, int y1, int x2, int y2, uint8_t opacity = 255) {
    return Paint{opacity, kPaintLinear, c1, c2, x1, y1, x2, y2};
}

Paint radial(uint32_t c1, uint32_t c2, int cx, int cy, int x2, int y2, uint8_t opacity = 255) {
    return Paint{opacity, kPaintRadial, c1, c2, cx, cy, x2, y2};
}

struct TableCase {
    const char* name;
    const FillTable* (*get)();
};

void PrintTo(const TableCase& c, std::ostream* os) {
    *os << c.name;
}

class EachTable : public ::testing::TestWithParam<TableCase> {
  protected:
    void SetUp() override {
        table_ = GetParam().get();
        if (table_ == nullptr) {
            GTEST_SKIP() << "no vector table on this processor";
        }
    }
    const FillTable* table_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Raster, EachTable,
                         ::testing::Values(TableCase{"scalar", scalar_fill_table},
                                           TableCase{"sse2", sse2_fill_table}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(EachTable, OpacityZeroPaintsNothingAndOpaqueReplaces) {
    std::mt19937 rng(7);
    TestSurface s(13, 5);
    s.randomise(rng);
    const std::vector<uint8_t> before = s.bytes();
    Surface surf = s.surface();
    const std::vector<uint8_t> bits(13 * 5, 255);
    const CoverageMask mask{13, 5, 13, bits.data()};
    for (const Paint& p : {solid(0xFF123456, 0), linear(0xFF000000, 0xFFFFFFFF, 0, 0, 9, 0, 0),
                           radial(0xFF000000, 0xFFFFFFFF, 6, 2, 9, 2, 0)}) {
        EXPECT_EQ(1, table_->fill(&surf, &p));
        EXPECT_EQ(1, table_->fill_with_colour_alpha(&surf, &p, 1));
        EXPECT_EQ(1, table_->fill_masked(&mask, &surf, &p, 1));
        EXPECT_EQ(1, table_->fill_masked(&mask, &surf, &p, 2));
    }
    EXPECT_EQ(before, s.bytes());

    const Paint opaque = solid(0x80FF2010, 255);
    ASSERT_EQ(1, table_->fill(&surf, &opaque));
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 13; ++x) {
            ASSERT_EQ(0x80FF2010u, s.at(x, y)) << x << "," << y;
        }
    }
    EXPECT_TRUE(s.padding_intact());
}

TEST_P(EachTable, HorizontalRampFromTenToTwenty) {
    TestSurface s(30, 3);
    Surface surf = s.surface();
    // Blue climbs by exactly 10 per entry over a 10-entry ramp.
    const Paint p = linear(0xFF000000, 0xFF00005A, 10, 1, 20, 1);
    ASSERT_EQ(1, table_->fill(&surf, &p));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 30; ++x) {
            const uint32_t blue = x < 10 ? 0 : x >= 20 ? 90 : 10u * (x - 10);
            ASSERT_EQ(0xFF000000u | blue, s.at(x, y)) << x << "," << y;
        }
    }

    // Swapped points mirror the picture: colour 2 on the left.
    const Paint mirrored = linear(0xFF000000, 0xFF00005A, 20, 1, 10, 1);
    ASSERT_EQ(1, table_->fill(&surf, &mirrored));
    for (int x = 0; x < 30; ++x) {
        const uint32_t blue = x < 10 ? 90 : x >= 20 ? 0 : 10u * (19 - x);
        ASSERT_EQ(0xFF000000u | blue, s.at(x, 2)) << x;
    }

    // A start left of the surface skips the leading entries.
    const Paint clipped = linear(0xFF000000, 0xFF00005A, -4, 0, 6, 0);
    ASSERT_EQ(1, table_->fill(&surf, &clipped));
    EXPECT_EQ(0xFF000028u, s.at(0, 0));
    EXPECT_EQ(0xFF00005Au, s.at(5, 0));
    EXPECT_EQ(0xFF00005Au, s.at(29, 0));
}

TEST_P(EachTable, VerticalRampRunsDownTheRows) {
    TestSurface s(7, 12);
    Surface surf = s.surface();
    const Paint p = linear(0xFF0000FF, 0xFF00FFFF, 3, 2, 3, 7);  // green 0 to 255 in 5 entries
    ASSERT_EQ(1, table_->fill(&surf, &p));
    const uint32_t greens[12] = {0, 0, 0, 64, 128, 191, 255, 255, 255, 255, 255, 255};
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 7; ++x) {
            ASSERT_EQ(0xFF0000FFu | greens[y] << 8, s.at(x, y)) << x << "," << y;
        }
    }
}

TEST_P(EachTable, DegenerateGradientsNeedNoStep) {
    TestSurface s(8, 2);
    Surface surf = s.surface();
    // One entry: colour 1 on the start pixel, colour 2 right after it.
    const Paint one = linear(0xFF111111, 0xFF999999, 3, 0, 4, 0);
    ASSERT_EQ(1, table_->fill(&surf, &one));
    EXPECT_EQ(0xFF111111u, s.at(2, 0));
    EXPECT_EQ(0xFF111111u, s.at(3, 0));
    EXPECT_EQ(0xFF999999u, s.at(4, 0));

    // Both points equal: a hard edge at the point.
    const Paint point = linear(0xFF111111, 0xFF999999, 5, 1, 5, 1);
    ASSERT_EQ(1, table_->fill(&surf, &point));
    EXPECT_EQ(0xFF111111u, s.at(4, 1));
    EXPECT_EQ(0xFF999999u, s.at(5, 1));

    // A radius of zero leaves every pixel outside the circle.
    const Paint dot = radial(0xFF111111, 0xFF999999, 4, 1, 4, 1);
    ASSERT_EQ(1, table_->fill(&surf, &dot));
    EXPECT_EQ(0xFF999999u, s.at(4, 1));
    EXPECT_EQ(0xFF999999u, s.at(0, 0));
}

TEST_P(EachTable, RadialRingsAroundTheCentre) {
    TestSurface s(41, 41);
    Surface surf = s.surface();
    // Radius 10: 50 entries from red 0 to red 245 (5 per entry).
    const Paint p = radial(0xFF000000, 0xFFF50000, 20, 20, 30, 20);
    ASSERT_EQ(1, table_->fill(&surf, &p));
    EXPECT_EQ(0xFF000000u, s.at(20, 20));
    // Right of the centre entry ceil(5 d), left floor(5 d): 5 d = 30 both ways.
    EXPECT_EQ(0xFF960000u, s.at(26, 20));
    EXPECT_EQ(0xFF960000u, s.at(14, 20));
    // (23, 24) lies at 5 d = 25: exactly entry 25 on both sides.
    EXPECT_EQ(0xFF7D0000u, s.at(23, 24));
    EXPECT_EQ(0xFF7D0000u, s.at(17, 24));
    for (int x = 0; x < 41; ++x) {
        EXPECT_EQ(0xFFF50000u, s.at(x, 0)) << x;  // beyond the radius
    }
    uint32_t previous = 0;
    for (int x = 20; x < 41; ++x) {
        const uint32_t red = ch(s.at(x, 27), 2);
        EXPECT_GE(red, previous) << x;
        previous = red;
    }
}

// Each row of a radial fill, however the rows are walked, equals the same
// paint drawn on that row alone; a row painted twice or skipped shows up as a
// difference against the blended background.
TEST_P(EachTable, RadialRowsMatchTheRowDrawnAlone) {
    const int w = 40;
    const int h = 30;
    std::mt19937 rng(7);
    const int centres[][2] = {{20, 15}, {20, 0}, {5, -7}, {33, 40}, {-9, 3}, {45, 29}, {0, 14}};
    for (const auto& c : centres) {
        TestSurface big(w, h);
        big.randomise(rng);
        const TestSurface background = big;
        Surface surf = big.surface();
        const Paint p = radial(0xFFFFFFFF, 0xFF102030, c[0], c[1], c[0] + 11, c[1] + 6, 128);
        ASSERT_EQ(1, table_->fill(&surf, &p));
        // Blended exactly once: the opaque paint's colours mixed at 128.
        TestSurface opaque(w, h);
        Surface opaque_surf = opaque.surface();
        Paint full = p;
        full.opacity = 255;
        ASSERT_EQ(1, table_->fill(&opaque_surf, &full));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                for (int k = 0; k < 4; ++k) {
                    const uint32_t once =
                        (ch(opaque.at(x, y), k) * 128 + ch(background.at(x, y), k) * 127) >> 8;
                    ASSERT_EQ(once, ch(big.at(x, y), k)) << x << "," << y;
                }
            }
        }
        for (int y = 0; y < h; ++y) {
            TestSurface one(w, 1);
            for (int x = 0; x < w; ++x) {
                one.set(x, 0, background.at(x, y));
            }
            Surface row = one.surface();
            const Paint shifted =
                radial(0xFFFFFFFF, 0xFF102030, c[0], c[1] - y, c[0] + 11, c[1] - y + 6, 128);
            ASSERT_EQ(1, table_->fill(&row, &shifted));
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(one.at(x, 0), big.at(x, y))
                    << "centre " << c[0] << "," << c[1] << " at " << x << "," << y;
            }
        }
        EXPECT_TRUE(big.padding_intact());
    }
}

TEST_P(EachTable, AngledBandBetweenThePerpendiculars) {
    TestSurface s(40, 40);
    Surface surf = s.surface();
    const Paint p = linear(0xFF000000, 0xFFFFFFFF, 10, 10, 25, 25);
    ASSERT_EQ(1, table_->fill(&surf, &p));
    EXPECT_EQ(0xFF000000u, s.at(0, 0));
    EXPECT_EQ(0xFF000000u, s.at(19, 0));  // on the perpendicular through point 1
    EXPECT_EQ(0xFFFFFFFFu, s.at(39, 39));
    EXPECT_EQ(0xFFFFFFFFu, s.at(39, 12));  // x + y = 51 lies past point 2
    // Along the segment the colour grows; across it (x + y constant) it holds.
    uint32_t previous = 0;
    for (int t = 10; t <= 25; ++t) {
        const uint32_t grey = ch(s.at(t, t), 0);
        EXPECT_GE(grey, previous);
        previous = grey;
        EXPECT_NEAR(static_cast<int>(grey), static_cast<int>(ch(s.at(t + 3, t - 3), 0)), 5);
    }
    EXPECT_GT(ch(s.at(18, 18), 0), 100u);
    EXPECT_LT(ch(s.at(18, 18), 0), 155u);
}

TEST_P(EachTable, OpacityBlendTreatsAlphaAsAChannel) {
    TestSurface s(5, 1, 0x40302010);
    Surface surf = s.surface();
    const Paint p = solid(0x80F0E0D0, 128);
    ASSERT_EQ(1, table_->fill(&surf, &p));
    // (c * 128 + d * 127) >> 8 for each byte, alpha included.
    const uint32_t want = ((0x80 * 128 + 0x40 * 127) >> 8) << 24 |
                          ((0xF0 * 128 + 0x30 * 127) >> 8) << 16 |
                          ((0xE0 * 128 + 0x20 * 127) >> 8) << 8 | ((0xD0 * 128 + 0x10 * 127) >> 8);
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(want, s.at(x, 0));
    }
}

TEST_P(EachTable, ColourAlphaBlendsSourceOver) {
    TestSurface s(6, 2, 0xC8643214);
    Surface surf = s.surface();
    const Paint half = solid(0x80FF8040, 255);
    EXPECT_EQ(1, table_->fill_with_colour_alpha(&surf, &half, 0));
    EXPECT_EQ(0xC8643214u, s.at(0, 0));  // not enabled

    ASSERT_EQ(1, table_->fill_with_colour_alpha(&surf, &half, 1));
    // Factor 128: c * 128 / 255 + d * 127 / 256, alpha 128 + d * 127 / 256.
    const uint32_t want =
        (128u + 0xC8 * 127 / 256) << 24 | (255u * 128 / 255 + 0x64 * 127 / 256) << 16 |
        (128u * 128 / 255 + 0x32 * 127 / 256) << 8 | (64u * 128 / 255 + 0x14 * 127 / 256);
    EXPECT_EQ(want, s.at(5, 1));

    // Nothing is painted by a transparent colour or a zero opacity.
    TestSurface t(6, 2, 0xFFFFFFFF);
    Surface tsurf = t.surface();
    const Paint clear = solid(0x00FF8040, 255);
    const Paint faint = solid(0xFFFF8040, 0);
    ASSERT_EQ(1, table_->fill_with_colour_alpha(&tsurf, &clear, 1));
    ASSERT_EQ(1, table_->fill_with_colour_alpha(&tsurf, &faint, 1));
    EXPECT_EQ(0xFFFFFFFFu, t.at(3, 1));

    // A gradient whose entries fade out keeps the pixels they no longer reach.
    const Paint fade = linear(0xFF0000FF, 0x000000FF, 0, 0, 6, 0);
    ASSERT_EQ(1, table_->fill_with_colour_alpha(&tsurf, &fade, 1));
    EXPECT_EQ(0xFFFFFFFFu, t.at(5, 0));
    EXPECT_EQ(0xFF0000FFu, t.at(0, 0));
}

TEST_P(EachTable, MaskedFillsFollowCoverage) {
    TestSurface s(4, 1, 0x80402010);
    Surface surf = s.surface();
    const uint8_t bits[4] = {0, 255, 128, 255};
    const CoverageMask mask{4, 1, 4, bits};

    const Paint opaque = solid(0x00C08040, 255);
    ASSERT_EQ(1, table_->fill_masked(&mask, &surf, &opaque, 1));
    EXPECT_EQ(0x80402010u, s.at(0, 0));  // outside the mask
    EXPECT_EQ(0xFFC08040u, s.at(1, 0));  // full coverage: the colour, opaque
    // m 128, a 255: f = 128; d * 127 / 256 + c * a * m >> 16; alpha (d * 127 + m * a) >> 8.
    const uint32_t want = ((0x80 * 127 + 128 * 255) >> 8) << 24 |
                          (0x40 * 127 / 256 + ((0xC0 * 255 * 128) >> 16)) << 16 |
                          (0x20 * 127 / 256 + ((0x80 * 255 * 128) >> 16)) << 8 |
                          (0x10 * 127 / 256 + ((0x40 * 255 * 128) >> 16));
    EXPECT_EQ(want, s.at(2, 0));

    // Mode 2: the colour alpha scales the coverage; an opaque colour at full
    // coverage still lands exactly.
    TestSurface t(4, 1, 0x80402010);
    Surface tsurf = t.surface();
    const Paint translucent = solid(0x00C08040, 255);
    ASSERT_EQ(1, table_->fill_masked(&mask, &tsurf, &translucent, 2));
    EXPECT_EQ(0x80402010u, t.at(1, 0));
    const Paint full = solid(0xFFC08040, 255);
    ASSERT_EQ(1, table_->fill_masked(&mask, &tsurf, &full, 2));
    EXPECT_EQ(0xFFC08040u, t.at(3, 0));
    EXPECT_EQ(0x80402010u, t.at(0, 0));
    EXPECT_EQ(want, t.at(2, 0));  // colour alpha 255 makes mode 2 equal mode 1

    const CoverageMask wrong{3, 1, 4, bits};
    EXPECT_EQ(0, table_->fill_masked(&wrong, &tsurf, &full, 1));
    EXPECT_EQ(0, table_->fill_masked(&mask, &tsurf, &full, 3));
    EXPECT_EQ(0, table_->fill_masked(nullptr, &tsurf, &full, 1));
}

TEST_P(EachTable, RefusesWhatItCannotPaint) {
    TestSurface s(4, 4, 0x11223344);
    Surface surf = s.surface();
    const Paint p = solid(0xFFFFFFFF, 255);
    EXPECT_EQ(0, table_->fill(nullptr, &p));
    EXPECT_EQ(0, table_->fill(&surf, nullptr));
    Paint odd = p;
    odd.kind = 3;
    EXPECT_EQ(0, table_->fill(&surf, &odd));
    Surface straight = surf;
    straight.straight_alpha = 1;
    EXPECT_EQ(0, table_->fill(&straight, &p));
    EXPECT_EQ(0, table_->fill_with_colour_alpha(&straight, &p, 1));
    Surface narrow = surf;
    narrow.stride = 12;
    EXPECT_EQ(0, table_->fill(&narrow, &p));
    const Paint far = linear(0xFF000000, 0xFFFFFFFF, 0, 0, kMaxGradientCoordinate + 1, 0);
    EXPECT_EQ(0, table_->fill(&surf, &far));
    EXPECT_EQ(0x11223344u, s.at(2, 2));

    Surface empty{0, 0, 0, 0, nullptr};
    EXPECT_EQ(1, table_->fill(&empty, &p));
}

TEST_P(EachTable, FarPointsStayCheap) {
    TestSurface s(16, 16);
    Surface surf = s.surface();
    const int m = kMaxGradientCoordinate;
    const Paint wide = linear(0xFF000000, 0xFFFEFEFE, -m, 3, m, 3);
    ASSERT_EQ(1, table_->fill(&surf, &wide));
    EXPECT_NEAR(127, static_cast<int>(ch(s.at(8, 8), 0)), 1);
    const Paint ring = radial(0xFF000000, 0xFFFFFFFF, -m, -m, m, m);
    ASSERT_EQ(1, table_->fill(&surf, &ring));
    EXPECT_NEAR(128, static_cast<int>(ch(s.at(0, 0), 0)), 1);  // half the radius
    const Paint tilted = linear(0xFF000000, 0xFFFFFFFF, -m, -m, m, m - 1);
    ASSERT_EQ(1, table_->fill(&surf, &tilted));
    EXPECT_NEAR(128, static_cast<int>(ch(s.at(15, 15), 0)), 2);
}

TEST_P(EachTable, NegativeStrideRunsUpwards) {
    TestSurface s(3, 4);
    Surface up = s.surface();
    up.pixels += 3 * up.stride;
    up.stride = -up.stride;
    const Paint p = linear(0xFF000000, 0xFF000003, 0, 0, 0, 3);
    ASSERT_EQ(1, table_->fill(&up, &p));
    EXPECT_EQ(0xFF000000u, s.at(1, 3));
    EXPECT_EQ(0xFF000003u, s.at(1, 0));
    EXPECT_TRUE(s.padding_intact());
}

// The vector table must match the plain one within one unit per channel for
// every operation, kind and opacity, including the edge opacities.
class Agreement : public ::testing::Test {
  protected:
    void SetUp() override {
        if (sse2_fill_table() == nullptr) {
            GTEST_SKIP() << "no vector table on this processor";
        }
    }

    Paint random_paint(std::mt19937& rng, int w, int h, int shape) {
        static const uint8_t kOpacities[] = {0, 1, 128, 254, 255};
        Paint p{};
        p.opacity = rng() % 3 == 0 ? kOpacities[rng() % 5] : static_cast<uint8_t>(rng());
        p.colour1 = static_cast<uint32_t>(rng());
        p.colour2 = static_cast<uint32_t>(rng());
        if (rng() % 4 == 0) {
            p.colour1 = (p.colour1 & 0x00FFFFFF) | 0x80000000;  // alpha 128
        }
        auto coord = [&](int extent) {
            return static_cast<int>(rng() % (2 * extent + 1)) - extent / 2;
        };
        p.x1 = coord(w);
        p.y1 = coord(h);
        p.x2 = coord(w);
        p.y2 = coord(h);
        switch (shape) {
            case 0:
                p.kind = kPaintSolid;
                break;
            case 1:
                p.kind = kPaintLinear;
                p.y2 = p.y1;
                break;
            case 2:
                p.kind = kPaintLinear;
                p.x2 = p.x1;
                break;
            case 3:
                p.kind = kPaintLinear;
                break;
            default:
                p.kind = kPaintRadial;
                break;
        }
        return p;
    }
};

TEST_F(Agreement, VectorMatchesScalarOverRandomPaints) {
    std::mt19937 rng(20240601);
    const FillTable* scalar = scalar_fill_table();
    const FillTable* vector = sse2_fill_table();
    int compared = 0;
    for (int round = 0; round < 400; ++round) {
        const int w = 1 + static_cast<int>(rng() % 37);
        const int h = 1 + static_cast<int>(rng() % 9);
        TestSurface a(w, h);
        a.randomise(rng);
        TestSurface b = a;
        std::vector<uint8_t> bits(static_cast<size_t>(w) * h);
        for (uint8_t& m : bits) {
            const uint32_t r = rng() % 4;
            m = r == 0 ? 0 : r == 1 ? 255 : static_cast<uint8_t>(rng());
        }
        const CoverageMask mask{w, h, w, bits.data()};
        const Paint p = random_paint(rng, w, h, round % 5);
        Surface sa = a.surface();
        Surface sb = b.surface();
        const int op = (round / 5) % 4;
        int ra = 0;
        int rb = 0;
        if (op == 0) {
            ra = scalar->fill(&sa, &p);
            rb = vector->fill(&sb, &p);
        } else if (op == 1) {
            ra = scalar->fill_with_colour_alpha(&sa, &p, 1);
            rb = vector->fill_with_colour_alpha(&sb, &p, 1);
        } else {
            ra = scalar->fill_masked(&mask, &sa, &p, op - 1);
            rb = vector->fill_masked(&mask, &sb, &p, op - 1);
        }
        ASSERT_EQ(1, ra);
        ASSERT_EQ(1, rb);
        ASSERT_LE(max_difference(a, b, w, h), 1) << "round " << round << " op " << op << " kind "
                                                 << p.kind << " opacity " << int(p.opacity);
        ASSERT_TRUE(b.padding_intact());
        ++compared;
    }
    EXPECT_EQ(400, compared);
}

// Every destination byte against every opacity edge, for solid colours.
TEST_F(Agreement, EveryDestinationByteAtTheEdges) {
    const FillTable* scalar = scalar_fill_table();
    const FillTable* vector = sse2_fill_table();
    TestSurface base(256, 1);
    for (int x = 0; x < 256; ++x) {
        base.set(x, 0, 0x01010101u * static_cast<uint32_t>(x));
    }
    std::vector<uint8_t> bits(256);
    for (int x = 0; x < 256; ++x) {
        bits[static_cast<size_t>(x)] = static_cast<uint8_t>(255 - x);
    }
    const CoverageMask mask{256, 1, 256, bits.data()};
    for (uint32_t colour : {0xFFFFFFFFu, 0x80FF7F01u, 0x01020304u, 0x00FFFFFFu}) {
        for (int opacity : {0, 1, 127, 128, 254, 255}) {
            const Paint p = solid(colour, static_cast<uint8_t>(opacity));
            for (int op = 0; op < 4; ++op) {
                TestSurface a = base;
                TestSurface b = base;
                Surface sa = a.surface();
                Surface sb = b.surface();
                if (op == 0) {
                    scalar->fill(&sa, &p);
                    vector->fill(&sb, &p);
                } else if (op == 1) {
                    scalar->fill_with_colour_alpha(&sa, &p, 1);
                    vector->fill_with_colour_alpha(&sb, &p, 1);
                } else {
                    scalar->fill_masked(&mask, &sa, &p, op - 1);
                    vector->fill_masked(&mask, &sb, &p, op - 1);
                }
                ASSERT_LE(max_difference(a, b, 256, 1), 1)
                    << std::hex << colour << std::dec << " opacity " << opacity << " op " << op;
            }
        }
    }
}

TEST(FillTableChoice, ChosenOnceByProcessor) {
#if defined(__SSE2__)
    EXPECT_TRUE(cpu_has_sse2());
#endif
    const FillTable* t = fill_table();
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(t, cpu_has_sse2() ? sse2_fill_table() : scalar_fill_table());
    t->release(t);
    t->reserved3();
    t->reserved4();
    EXPECT_EQ(t, fill_table());

    TestSurface s(3, 3);
    Surface surf = s.surface();
    const Paint p = solid(0xFF00FF00, 255);
    ASSERT_EQ(1, fill(&surf, &p));
    EXPECT_EQ(0xFF00FF00u, s.at(2, 2));
}

TEST(Premultiply, ScalesColourByAlphaAndClearsTheFlag) {
    TestSurface s(2, 1);
    s.set(0, 0, 0x80C86400);  // R 200, G 100, B 0, A 128
    s.set(1, 0, 0xFFFFFFFF);
    Surface surf = s.surface();
    surf.straight_alpha = 1;
    const Paint p = solid(0xFF000000, 255);
    EXPECT_EQ(0, fill(&surf, &p));
    ASSERT_EQ(1, premultiply(&surf));
    EXPECT_EQ(0, surf.straight_alpha);
    EXPECT_EQ(0x80643200u, s.at(0, 0));  // B 0, G 50, R 100, A 128
    EXPECT_EQ(0xFFFFFFFFu, s.at(1, 0));
    EXPECT_EQ(0, premultiply(nullptr));
}

}  // namespace
}  // namespace qm::raster
