#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "skin/bitmap.h"
#include "skin/image_strip.h"
#include "skin/stretch_image.h"
#include "skin/surface.h"

namespace qm::skin {
namespace {

constexpr uint32_t kMagenta = 0xFFFF00FF;

void Put(Bitmap* b, int x, int y, uint32_t argb) {
    uint8_t* p = b->Row(y) + 4 * x;
    p[0] = static_cast<uint8_t>(argb);
    p[1] = static_cast<uint8_t>(argb >> 8);
    p[2] = static_cast<uint8_t>(argb >> 16);
    p[3] = static_cast<uint8_t>(argb >> 24);
}

// Opaque pixels whose value encodes their own position, so that a drawn pixel
// tells which source pixel it came from.
uint32_t Coded(int x, int y) {
    return 0xFF000000u | (x & 0xff) << 8 | (y & 0xff);
}

Ref<Bitmap> CodedBitmap(int w, int h) {
    Ref<Bitmap> b = Ref<Bitmap>::Adopt(Bitmap::Create(w, h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Put(b.get(), x, y, Coded(x, y));
        }
    }
    return b;
}

void MarkColumn(Bitmap* b, int x) {
    for (int y = 0; y < b->height(); ++y) {
        Put(b, x, y, kMagenta);
    }
}
void MarkRow(Bitmap* b, int y) {
    for (int x = 0; x < b->width(); ++x) {
        Put(b, x, y, kMagenta);
    }
}

struct Placed {
    RECT source;
    RECT destination;
};

std::vector<Placed> Layout(StretchImage* image, const RECT& target) {
    image->SetTarget(target);
    std::vector<Placed> out;
    for (const SliceRegion& r : image->regions()) {
        out.push_back({r.source(), r.destination()});
    }
    return out;
}

void ExpectRect(const RECT& r, int l, int t, int rt, int b) {
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rt);
    EXPECT_EQ(r.bottom, b);
}

TEST(StripFrames, HorizontalFramesSkipTheGap) {
    // A close button strip: three frames of 13 pixels with one-pixel gaps.
    const int w = 13;
    RECT f;
    ASSERT_TRUE(StripFrameRect(3 * w + 2, 21, 3, kStripHorizontal, 1, 0, &f));
    ExpectRect(f, 0, 0, w, 21);
    ASSERT_TRUE(StripFrameRect(3 * w + 2, 21, 3, kStripHorizontal, 1, 1, &f));
    ExpectRect(f, w + 1, 0, 2 * w + 1, 21);
    ASSERT_TRUE(StripFrameRect(3 * w + 2, 21, 3, kStripHorizontal, 1, 2, &f));
    ExpectRect(f, 2 * w + 2, 0, 3 * w + 2, 21);
    // Without a gap the frames touch; stacked frames cut the height.
    ASSERT_TRUE(StripFrameRect(40, 20, 4, kStripHorizontal, 0, 3, &f));
    ExpectRect(f, 30, 0, 40, 20);
    ASSERT_TRUE(StripFrameRect(16, 3 * 10 + 2 * 2, 3, kStripVertical, 2, 1, &f));
    ExpectRect(f, 0, 12, 16, 22);
}

TEST(StripFrames, BadIndicesAndOverfullStripsGiveNothing) {
    RECT f;
    EXPECT_FALSE(StripFrameRect(41, 21, 3, kStripHorizontal, 1, 3, &f));
    EXPECT_FALSE(StripFrameRect(41, 21, 3, kStripHorizontal, 1, -1, &f));
    EXPECT_FALSE(StripFrameRect(41, 21, 0, kStripHorizontal, 1, 0, &f));
    EXPECT_FALSE(StripFrameRect(41, 21, -2, kStripHorizontal, 1, 0, &f));
    // Five frames with gaps do not fit in four pixels.
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(StripFrameRect(4, 5, 5, kStripHorizontal, 1, i, &f)) << i;
    }
    // More frames than pixels, without a gap: some frames would be empty.
    int present = 0;
    for (int i = 0; i < 8; ++i) {
        present += StripFrameRect(3, 3, 8, kStripHorizontal, 0, i, &f) ? 1 : 0;
    }
    EXPECT_EQ(present, 3);
}

TEST(StripFrames, FrameViewsShareThePixelsOfTheirFrame) {
    Ref<Bitmap> whole = CodedBitmap(3 * 13 + 2, 21);
    ImageStrip strip(L"unused.png", 3);
    strip.SetBitmap(whole.get());
    Ref<Bitmap> frame = Ref<Bitmap>::Adopt(strip.FrameBitmap(2));
    ASSERT_TRUE(frame);
    EXPECT_FALSE(frame->owns_pixels());
    EXPECT_EQ(frame->width(), 13);
    EXPECT_EQ(frame->height(), 21);
    EXPECT_EQ(frame->PixelAt(0, 0), Coded(28, 0));
    EXPECT_EQ(frame->PixelAt(12, 20), Coded(40, 20));
    EXPECT_EQ(strip.FrameBitmap(3), nullptr);
    // The view keeps the strip's pixels alive after the strip lets go.
    Bitmap* raw = frame.get();
    strip.SetBitmap(nullptr);
    whole = Ref<Bitmap>();
    EXPECT_EQ(raw->PixelAt(5, 5), Coded(33, 5));
}

TEST(StripFrames, FrameStretchCutsEachFrameAtItsOwnMarkers) {
    // Two frames of 9 pixels, markers at columns 2 and 6 of each.
    Ref<Bitmap> whole = CodedBitmap(19, 4);
    for (int x : {2, 6, 12, 16}) {
        Put(whole.get(), x, 0, kMagenta);
    }
    ImageStrip strip(L"unused.png", 2);
    strip.SetBitmap(whole.get());
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(strip.FrameStretch(1, kStretchThreeHorizontal));
    ASSERT_TRUE(s);
    const auto placed = Layout(s.get(), MakeRect(0, 0, 30, 4));
    ASSERT_EQ(placed.size(), 3u);
    ExpectRect(placed[1].source, 3, 0, 6, 4);
    ExpectRect(placed[1].destination, 2, 0, 28, 4);
    // Drawn, the middle comes from the second frame's columns 13 to 15.
    EXPECT_EQ(s->regions()[1].view()->PixelAt(0, 1), Coded(13, 1));
    // A frame without markers cannot be a three-part image.
    ImageStrip plain(L"unused.png", 2);
    Ref<Bitmap> unmarked = CodedBitmap(19, 4);
    plain.SetBitmap(unmarked.get());
    EXPECT_EQ(plain.FrameStretch(0, kStretchThreeHorizontal), nullptr);
}

TEST(ThreePart, EndsKeepTheirSizeAtSeveralWidths) {
    Ref<Bitmap> b = CodedBitmap(20, 6);
    MarkColumn(b.get(), 4);
    MarkColumn(b.get(), 15);
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchThreeHorizontal));
    ASSERT_EQ(s->SetSource(b.get()), 1);
    auto p = Layout(s.get(), MakeRect(0, 0, 100, 6));
    ASSERT_EQ(p.size(), 3u);
    ExpectRect(p[0].source, 0, 0, 4, 6);
    ExpectRect(p[0].destination, 0, 0, 4, 6);
    ExpectRect(p[1].source, 5, 0, 15, 6);
    ExpectRect(p[1].destination, 4, 0, 96, 6);
    ExpectRect(p[2].source, 16, 0, 20, 6);
    ExpectRect(p[2].destination, 96, 0, 100, 6);
    // Offset target, other height: everything moves, height follows.
    p = Layout(s.get(), MakeRect(10, 20, 40, 50));
    ExpectRect(p[0].destination, 10, 20, 14, 50);
    ExpectRect(p[1].destination, 14, 20, 36, 50);
    ExpectRect(p[2].destination, 36, 20, 40, 50);
    // Narrower than the two ends: the middle vanishes.
    p = Layout(s.get(), MakeRect(0, 0, 6, 6));
    EXPECT_TRUE(RectIsEmpty(p[1].destination));
    ExpectRect(p[2].destination, 2, 0, 6, 6);
}

TEST(ThreePart, VerticalAndCentredForms) {
    Ref<Bitmap> b = CodedBitmap(5, 12);
    Put(b.get(), 0, 3, kMagenta);
    Put(b.get(), 0, 8, kMagenta);
    Ref<StretchImage> v = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchThreeVertical));
    ASSERT_EQ(v->SetSource(b.get()), 1);
    auto p = Layout(v.get(), MakeRect(0, 0, 5, 40));
    ASSERT_EQ(p.size(), 3u);
    ExpectRect(p[0].destination, 0, 0, 5, 3);
    ExpectRect(p[1].source, 0, 4, 5, 8);
    ExpectRect(p[1].destination, 0, 3, 5, 37);
    ExpectRect(p[2].destination, 0, 37, 5, 40);

    Ref<Bitmap> h = CodedBitmap(12, 2);
    Put(h.get(), 3, 0, kMagenta);
    Put(h.get(), 8, 0, kMagenta);
    Ref<StretchImage> c = Ref<StretchImage>::Adopt(
        StretchImage::Create(kStretchThreeHorizontal, kStretchCentreMiddle));
    ASSERT_EQ(c->SetSource(h.get()), 1);
    p = Layout(c.get(), MakeRect(0, 0, 25, 2));
    // Middle 4 pixels centred in 25: ends share 21, the right one gets 11.
    ExpectRect(p[0].destination, 0, 0, 10, 2);
    ExpectRect(p[1].destination, 10, 0, 14, 2);
    ExpectRect(p[2].destination, 14, 0, 25, 2);
}

TEST(ThreePart, MissingOrAdjacentMarkersFail) {
    Ref<Bitmap> b = CodedBitmap(10, 3);
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchThreeHorizontal));
    EXPECT_EQ(s->SetSource(b.get()), 0);
    Put(b.get(), 4, 0, kMagenta);
    EXPECT_EQ(s->SetSource(b.get()), 0);
    Put(b.get(), 5, 0, kMagenta);  // nothing between the two markers
    EXPECT_EQ(s->SetSource(b.get()), 0);
    EXPECT_TRUE(s->regions().empty());
    // A marker only in a lower row does not count.
    Ref<Bitmap> low = CodedBitmap(10, 3);
    Put(low.get(), 2, 1, kMagenta);
    Put(low.get(), 7, 1, kMagenta);
    EXPECT_EQ(s->SetSource(low.get()), 0);
    // Markers in a 24-bit bitmap are found too.
    Ref<Bitmap> rgb = Ref<Bitmap>::Adopt(Bitmap::Create(10, 2, kBitmapBgr24));
    for (int x : {2, 7}) {
        uint8_t* p = rgb->Row(0) + 3 * x;
        p[0] = 255;
        p[2] = 255;
    }
    EXPECT_EQ(s->SetSource(rgb.get()), 1);
    EXPECT_EQ(s->regions().size(), 3u);
}

TEST(FivePart, CentreKeepsItsSizeAndTheSecondStretchTakesTheOddPixel) {
    // m1 = 3, m2 = 7, m3 = 10, m4 = 14 in 18 columns: fixed 3 + 2 + 3 = 8.
    Ref<Bitmap> b = CodedBitmap(18, 2);
    for (int x : {3, 7, 10, 14}) {
        Put(b.get(), x, 0, kMagenta);
    }
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchFiveHorizontal));
    ASSERT_EQ(s->SetSource(b.get()), 1);
    auto p = Layout(s.get(), MakeRect(0, 0, 41, 2));
    ASSERT_EQ(p.size(), 5u);
    ExpectRect(p[0].destination, 0, 0, 3, 2);
    ExpectRect(p[1].destination, 3, 0, 19, 2);
    ExpectRect(p[2].source, 8, 0, 10, 2);
    ExpectRect(p[2].destination, 19, 0, 21, 2);
    ExpectRect(p[3].destination, 21, 0, 38, 2);
    ExpectRect(p[4].destination, 38, 0, 41, 2);
    // Three markers, or two adjacent ones, give no image.
    Ref<Bitmap> three = CodedBitmap(18, 2);
    for (int x : {3, 7, 14}) {
        Put(three.get(), x, 0, kMagenta);
    }
    EXPECT_EQ(s->SetSource(three.get()), 0);
    Put(three.get(), 8, 0, kMagenta);
    EXPECT_EQ(s->SetSource(three.get()), 0);
}

// A 12 x 10 nine-grid: vertical lines at columns 3 and 8, horizontal lines at
// rows 2 and 6.
Ref<Bitmap> NineGrid() {
    Ref<Bitmap> b = CodedBitmap(12, 10);
    MarkColumn(b.get(), 3);
    MarkColumn(b.get(), 8);
    MarkRow(b.get(), 2);
    MarkRow(b.get(), 6);
    return b;
}

TEST(NineGrid, RegionsAtSeveralTargetSizes) {
    Ref<Bitmap> b = NineGrid();
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchNineGrid));
    ASSERT_EQ(s->SetSource(b.get()), 1);
    auto p = Layout(s.get(), MakeRect(0, 0, 12, 10));
    ASSERT_EQ(p.size(), 9u);
    // At the image's own size less the marker lines, sources and destinations
    // keep their sizes.
    ExpectRect(p[0].source, 0, 0, 3, 2);
    ExpectRect(p[1].source, 4, 0, 8, 2);
    ExpectRect(p[2].source, 9, 0, 12, 2);
    ExpectRect(p[3].source, 0, 3, 3, 6);
    ExpectRect(p[4].source, 4, 3, 8, 6);
    ExpectRect(p[5].source, 9, 3, 12, 6);
    ExpectRect(p[6].source, 0, 7, 3, 10);
    ExpectRect(p[7].source, 4, 7, 8, 10);
    ExpectRect(p[8].source, 9, 7, 12, 10);

    p = Layout(s.get(), MakeRect(100, 50, 469 + 100, 374 + 50));
    ExpectRect(p[0].destination, 100, 50, 103, 52);
    ExpectRect(p[1].destination, 103, 50, 566, 52);
    ExpectRect(p[2].destination, 566, 50, 569, 52);
    ExpectRect(p[3].destination, 100, 52, 103, 421);
    ExpectRect(p[4].destination, 103, 52, 566, 421);
    ExpectRect(p[5].destination, 566, 52, 569, 421);
    ExpectRect(p[6].destination, 100, 421, 103, 424);
    ExpectRect(p[7].destination, 103, 421, 566, 424);
    ExpectRect(p[8].destination, 566, 421, 569, 424);

    p = Layout(s.get(), MakeRect(0, 0, 350, 180));
    ExpectRect(p[4].destination, 3, 2, 347, 177);
    ExpectRect(p[8].destination, 347, 177, 350, 180);
}

TEST(NineGrid, SkipBitsAndBrokenGrids) {
    Ref<Bitmap> b = NineGrid();
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(
        StretchImage::Create(kStretchNineGrid, kNineCentre | kNineTopLeft));
    ASSERT_EQ(s->SetSource(b.get()), 1);
    ASSERT_EQ(s->regions().size(), 7u);
    ExpectRect(s->regions()[0].source(), 4, 0, 8, 2);
    // One vertical line only.
    Ref<Bitmap> half = CodedBitmap(12, 10);
    MarkColumn(half.get(), 3);
    MarkRow(half.get(), 2);
    MarkRow(half.get(), 6);
    Ref<StretchImage> t = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchNineGrid));
    EXPECT_EQ(t->SetSource(half.get()), 0);
    EXPECT_TRUE(t->regions().empty());
    EXPECT_EQ(t->SetSource(CodedBitmap(12, 10).get()), 0);
    // A grid line in the last row leaves no room below it: still safe.
    Ref<Bitmap> edge = CodedBitmap(6, 4);
    MarkColumn(edge.get(), 1);
    MarkColumn(edge.get(), 4);
    MarkRow(edge.get(), 3);
    MarkRow(edge.get(), 0);
    Ref<StretchImage> e = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchNineGrid));
    e->SetSource(edge.get());
    Ref<Bitmap> surface = Ref<Bitmap>::Adopt(CreateSurface(30, 30));
    EXPECT_EQ(DrawStretchImage(surface.get(), e.get(), MakeRect(0, 0, 30, 30)), 0);
}

TEST(NineGrid, DrawingNeverShowsMarkersAndKeepsCornersExact) {
    Ref<Bitmap> b = NineGrid();
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchNineGrid));
    ASSERT_EQ(s->SetSource(b.get()), 1);
    for (int w : {7, 12, 40, 469}) {
        Ref<Bitmap> surface = Ref<Bitmap>::Adopt(CreateSurface(w + 2, 33));
        ASSERT_EQ(DrawStretchImage(surface.get(), s.get(), MakeRect(1, 1, w + 1, 32)), 0);
        for (int y = 0; y < 33; ++y) {
            for (int x = 0; x < w + 2; ++x) {
                ASSERT_NE(surface->PixelAt(x, y) & 0xFFFFFF, 0xFF00FFu)
                    << w << " " << x << "," << y;
            }
        }
        // Outside the destination nothing is touched.
        EXPECT_EQ(surface->PixelAt(0, 0), 0u);
        EXPECT_EQ(surface->PixelAt(w + 1, 32), 0u);
        if (w >= 7) {
            EXPECT_EQ(surface->PixelAt(1, 1), Coded(0, 0));
            EXPECT_EQ(surface->PixelAt(w, 31), Coded(11, 9));
            EXPECT_EQ(surface->PixelAt(w - 2, 1), Coded(9, 0));
        }
    }
}

TEST(Expressions, EvaluatedOnlyWhenTheTargetChanges) {
    Ref<Bitmap> b = NineGrid();
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchNineGrid));
    ASSERT_EQ(s->SetSource(b.get()), 1);
    Ref<Bitmap> surface = Ref<Bitmap>::Adopt(CreateSurface(64, 64));
    DrawStretchImage(surface.get(), s.get(), MakeRect(0, 0, 50, 40));
    DrawStretchImage(surface.get(), s.get(), MakeRect(0, 0, 50, 40));
    EXPECT_EQ(s->regions()[4].evaluations(), 1);
    DrawStretchImage(surface.get(), s.get(), MakeRect(0, 0, 60, 40));
    EXPECT_EQ(s->regions()[4].evaluations(), 2);
}

TEST(ManualRegions, CallerRegionsFollowTheSource) {
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchManual));
    EXPECT_EQ(s->AddRegion(MakeRect(0, 0, 4, 4), " 12 ", "0", "width-7", "4"), 1);
    EXPECT_EQ(s->AddRegion(MakeRect(0, 0, 4, 4), "", "0", "1", "1"), 0);
    Ref<Bitmap> b = CodedBitmap(8, 8);
    ASSERT_EQ(s->SetSource(b.get()), 1);
    ASSERT_EQ(s->regions().size(), 1u);
    s->SetTarget(MakeRect(0, 0, 50, 10));
    ExpectRect(s->regions()[0].destination(), 12, 0, 55, 4);
    // A source too small for the region drops it instead of reading past it.
    Ref<Bitmap> tiny = CodedBitmap(2, 2);
    EXPECT_EQ(s->SetSource(tiny.get()), 1);
    EXPECT_TRUE(s->regions().empty());
    EXPECT_EQ(s->AddRegion(MakeRect(1, 1, 3, 3), "0", "0", "1", "1"), 0);
}

TEST(Drawing, OneToOneBlendScaleAndFailures) {
    Ref<Bitmap> surface = Ref<Bitmap>::Adopt(CreateSurface(8, 8));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            Put(surface.get(), x, y, 0xFF0000FF);  // opaque blue
        }
    }
    Ref<Bitmap> half = Ref<Bitmap>::Adopt(Bitmap::Create(2, 2));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            Put(half.get(), x, y, 0x80800000);  // red at alpha 128, premultiplied
        }
    }
    EXPECT_EQ(DrawBitmap(surface.get(), half.get(), MakeRect(2, 2, 4, 4)), 0);
    const uint32_t mixed = surface->PixelAt(2, 2);
    EXPECT_EQ(mixed >> 24, 255u);
    EXPECT_EQ((mixed >> 16) & 255, 128u);
    EXPECT_NEAR(static_cast<int>(mixed & 255), 127, 1);
    EXPECT_EQ(surface->PixelAt(4, 4), 0xFF0000FFu);

    // Scaling a 2 x 1 image to 8 x 1 goes from one colour to the other and
    // never reads beyond the source row (checked by the sanitizers).
    Ref<Bitmap> pair = Ref<Bitmap>::Adopt(Bitmap::Create(2, 1));
    Put(pair.get(), 0, 0, 0xFF000000);
    Put(pair.get(), 1, 0, 0xFFFFFFFF);
    Ref<Bitmap> view = Ref<Bitmap>::Adopt(Bitmap::CreateView(pair.get(), MakeRect(1, 0, 2, 1)));
    EXPECT_EQ(DrawBitmap(surface.get(), pair.get(), MakeRect(0, 0, 8, 1)), 0);
    EXPECT_EQ(surface->PixelAt(0, 0), 0xFF000000u);
    EXPECT_EQ(surface->PixelAt(7, 0), 0xFFFFFFFFu);
    for (int x = 1; x < 8; ++x) {
        EXPECT_GE(surface->PixelAt(x, 0) & 255, surface->PixelAt(x - 1, 0) & 255);
    }
    EXPECT_EQ(DrawBitmap(surface.get(), view.get(), MakeRect(0, 7, 8, 8)), 0);
    EXPECT_EQ(surface->PixelAt(3, 7), 0xFFFFFFFFu);

    // Partly outside the surface: clipped.
    EXPECT_EQ(DrawBitmap(surface.get(), half.get(), MakeRect(-1, 7, 1, 9)), 0);
    const RECT outside = MakeRect(1, 1, 3, 3);
    EXPECT_EQ(DrawBitmap(surface.get(), half.get(), MakeRect(0, 0, 2, 2), &outside), -1);
    EXPECT_EQ(DrawBitmap(nullptr, half.get(), MakeRect(0, 0, 2, 2)), -1);
    EXPECT_EQ(DrawBitmap(surface.get(), nullptr, MakeRect(0, 0, 2, 2)), -1);
    EXPECT_EQ(DrawStretchImage(surface.get(), nullptr, MakeRect(0, 0, 2, 2)), -1);
    EXPECT_EQ(CreateSurface(0, 5), nullptr);
    EXPECT_EQ(CreateSurface(100000, 100000), nullptr);
}

// Sources whose rows are each one colour (vertical gradients, the stretching
// parts of frames) are scaled by a shorter path for small sources; it must
// give exactly what the general path gives for a large source with the same
// rows, opaque or not, at full or partial opacity.
TEST(Drawing, OneColourRowsScaleExactlyAsTheGeneralPath) {
    for (const uint32_t alpha : {255u, 160u}) {
        Ref<Bitmap> small = Ref<Bitmap>::Adopt(Bitmap::Create(3, 64));
        Ref<Bitmap> large = Ref<Bitmap>::Adopt(Bitmap::Create(70, 64));  // over the size limit
        for (int y = 0; y < 64; ++y) {
            const uint32_t c = (alpha * static_cast<uint32_t>(y * 4)) / 255;
            const uint32_t argb = alpha << 24 | c << 16 | (alpha - c / 2) << 8 | c / 3;
            for (int x = 0; x < 3; ++x) {
                Put(small.get(), x, y, argb);
            }
            for (int x = 0; x < 70; ++x) {
                Put(large.get(), x, y, argb);
            }
        }
        for (const int32_t opacity : {255, 200}) {
            Ref<Bitmap> a = Ref<Bitmap>::Adopt(CreateSurface(100, 150));
            Ref<Bitmap> b = Ref<Bitmap>::Adopt(CreateSurface(100, 150));
            for (Bitmap* target : {a.get(), b.get()}) {
                for (int y = 0; y < 150; ++y) {
                    for (int x = 0; x < 100; ++x) {
                        Put(target, x, y, 0xFF102030u + static_cast<uint32_t>(x));
                    }
                }
            }
            const RECT clip = MakeRect(0, 0, 100, 150);
            ASSERT_EQ(0, DrawBitmapClipped(a.get(), small.get(), MakeRect(5, 3, 95, 147),
                                           small->Bounds(), opacity, clip));
            ASSERT_EQ(0, DrawBitmapClipped(b.get(), large.get(), MakeRect(5, 3, 95, 147),
                                           large->Bounds(), opacity, clip));
            int differing = 0;
            for (int y = 0; y < 150; ++y) {
                for (int x = 0; x < 100; ++x) {
                    differing += a->PixelAt(x, y) != b->PixelAt(x, y);
                }
            }
            EXPECT_EQ(0, differing) << "alpha " << alpha << " opacity " << opacity;
            // And it is a gradient: the rows differ from top to bottom.
            EXPECT_NE(a->PixelAt(50, 4), a->PixelAt(50, 140));
        }
    }
}

// Drawn as it is, an image's opaque pixels replace the surface's, transparent
// ones leave it, and the others blend, whatever the image's form.
TEST(Drawing, OneToOneCopiesBlendsAndSkipsByAlpha) {
    Ref<Bitmap> image = Ref<Bitmap>::Adopt(Bitmap::Create(3, 1));
    Put(image.get(), 0, 0, 0xFF123456);
    Put(image.get(), 1, 0, 0x00000000);
    Put(image.get(), 2, 0, 0x80400000);  // premultiplied half red
    Ref<Bitmap> straight = Ref<Bitmap>::Adopt(Bitmap::Create(3, 1));
    Put(straight.get(), 0, 0, 0xFF123456);
    Put(straight.get(), 1, 0, 0x00000000);
    Put(straight.get(), 2, 0, 0x80400000);
    straight->set_premultiplied(false);
    image->set_premultiplied(true);
    for (Bitmap* source : {image.get(), straight.get()}) {
        Ref<Bitmap> surface = Ref<Bitmap>::Adopt(CreateSurface(5, 1));
        for (int x = 0; x < 5; ++x) {
            Put(surface.get(), x, 0, 0xFF0000FF);
        }
        ASSERT_EQ(0, DrawBitmap(surface.get(), source, MakeRect(1, 0, 4, 1)));
        EXPECT_EQ(0xFF0000FFu, surface->PixelAt(0, 0));
        EXPECT_EQ(0xFF123456u, surface->PixelAt(1, 0));
        EXPECT_EQ(0xFF0000FFu, surface->PixelAt(2, 0));
        const uint32_t half = surface->PixelAt(3, 0);
        EXPECT_EQ(255u, half >> 24);
        EXPECT_NEAR(static_cast<int>(half & 255), 127, 1);  // blue kept half
        EXPECT_GT((half >> 16) & 255, 0u);                  // red added
        EXPECT_EQ(0xFF0000FFu, surface->PixelAt(4, 0));
    }
}

TEST(Drawing, OpacityScalesTheSource) {
    Ref<Bitmap> surface = Ref<Bitmap>::Adopt(CreateSurface(4, 4));
    Ref<Bitmap> white = CodedBitmap(4, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            Put(white.get(), x, y, 0xFFFFFFFF);
        }
    }
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchWhole));
    ASSERT_EQ(s->SetSource(white.get()), 1);
    EXPECT_EQ(DrawStretchImage(surface.get(), s.get(), MakeRect(0, 0, 4, 4), 0), 0);
    EXPECT_EQ(surface->PixelAt(1, 1), 0u);
    EXPECT_EQ(DrawStretchImage(surface.get(), s.get(), MakeRect(0, 0, 4, 4), 51), 0);
    EXPECT_EQ(surface->PixelAt(1, 1), 0x33333333u);
}

TEST(Tiling, TilesLineUpOnTheOriginGrid) {
    Ref<Bitmap> tile = CodedBitmap(3, 2);
    Ref<StretchImage> s = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchTile));
    ASSERT_EQ(s->SetSource(tile.get()), 1);
    EXPECT_TRUE(s->regions().empty());
    Ref<Bitmap> surface = Ref<Bitmap>::Adopt(CreateSurface(20, 10));
    // Two separate areas drawn apart continue the same pattern.
    DrawStretchImage(surface.get(), s.get(), MakeRect(1, 1, 8, 5));
    DrawStretchImage(surface.get(), s.get(), MakeRect(8, 1, 19, 9));
    for (int y = 1; y < 9; ++y) {
        for (int x = 1; x < 19; ++x) {
            if (x < 8 && y >= 5) {
                EXPECT_EQ(surface->PixelAt(x, y), 0u);
                continue;
            }
            ASSERT_EQ(surface->PixelAt(x, y), Coded(x % 3, y % 2)) << x << "," << y;
        }
    }
    EXPECT_EQ(surface->PixelAt(19, 9), 0u);
    s->SetTileOrigin(-1, 5);
    DrawStretchImage(surface.get(), s.get(), MakeRect(0, 0, 20, 10));
    EXPECT_EQ(surface->PixelAt(0, 0), Coded(1, 1));
    EXPECT_EQ(surface->PixelAt(2, 5), Coded(0, 0));
}

}  // namespace
}  // namespace qm::skin
