// The standard controls' portable pieces: the progress arithmetic, the
// focus cue and the image control.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "skin/bitmap.h"
#include "skin/control_factory.h"
#include "skin/focus_cue.h"
#include "skin/image_control.h"
#include "skin/progress_arithmetic.h"
#include "skin/stretch_image.h"
#include "skin/surface.h"

namespace qm::skin {
namespace {

TEST(ProgressArithmetic, FillWidthsAndClamping) {
    EXPECT_EQ(60u, ProgressFillWidth(200, 0, 100, 30));
    EXPECT_EQ(6u, ProgressFillWidth(200, 0, 100, 3));
    EXPECT_EQ(200u, ProgressFillWidth(200, 0, 100, 100));
    // Positions outside the range never fill past the bar or wrap.
    EXPECT_EQ(200u, ProgressFillWidth(200, 0, 100, 150));
    EXPECT_EQ(0u, ProgressFillWidth(200, 10, 100, 5));
    EXPECT_EQ(200u, ProgressFillWidth(200, 10, 100, 100));
    EXPECT_EQ(100u, ProgressFillWidth(200, 10, 110, 60));
    // 32-bit products would wrap here.
    EXPECT_EQ(300u, ProgressFillWidth(400, 0, 4000000000u, 3000000000u));
    EXPECT_EQ(469u, ProgressFillWidth(469, 0, UINT32_MAX, UINT32_MAX));
    // Degenerate bars and ranges.
    EXPECT_EQ(0u, ProgressFillWidth(0, 0, 100, 50));
    EXPECT_EQ(0u, ProgressFillWidth(-20, 0, 100, 50));
    EXPECT_EQ(0u, ProgressFillWidth(200, 100, 100, 100));
    EXPECT_EQ(0u, ProgressFillWidth(200, 200, 100, 150));

    EXPECT_EQ(100u, ClampProgressPosition(150, 0, 100));
    EXPECT_EQ(10u, ClampProgressPosition(5, 10, 100));
    EXPECT_EQ(100u, ClampProgressPosition(static_cast<uint32_t>(-1), 10, 100));
    EXPECT_EQ(42u, ClampProgressPosition(42, 10, 100));

    EXPECT_EQ(30u, ProgressPercent(0, 100, 30));
    EXPECT_EQ(30u, ProgressPercent(0, 400, 120));
    EXPECT_EQ(99u, ProgressPercent(0, 1000, 999));
}

Ref<Bitmap> Blank(int32_t w, int32_t h) {
    return Ref<Bitmap>::Adopt(CreateSurface(w, h));
}

TEST(FocusCue, DotsAlternateAlongTheInsetOutline) {
    Ref<Bitmap> s = Blank(20, 10);
    const RECT cue = FocusCueRect(MakeRect(0, 0, 20, 10));
    EXPECT_TRUE(RectEquals(MakeRect(2, 2, 18, 8), cue));
    DrawFocusCue(s.get(), cue, 0xFFFFFFFF);
    // Top row: dots where x + y is even.
    for (int x = 2; x < 18; ++x) {
        EXPECT_EQ(x % 2 == 0 ? 0xFFFFFFFFu : 0u, s->PixelAt(x, 2)) << x;
    }
    // Bottom row (y = 7) and the sides.
    EXPECT_EQ(0xFFFFFFFFu, s->PixelAt(3, 7));
    EXPECT_EQ(0u, s->PixelAt(2, 7));
    EXPECT_EQ(0xFFFFFFFFu, s->PixelAt(2, 4));
    EXPECT_EQ(0xFFFFFFFFu, s->PixelAt(17, 5));
    // Nothing inside or outside.
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool edge =
                (y == 2 || y == 7) ? x >= 2 && x < 18 : (x == 2 || x == 17) && y > 2 && y < 7;
            if (!edge) {
                ASSERT_EQ(0u, s->PixelAt(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(FocusCue, BlendsPremultipliedAndStaysOnTheSurface) {
    Ref<Bitmap> s = Blank(8, 8);
    // Half-transparent white over transparent: premultiplied grey at alpha 128.
    DrawFocusCue(s.get(), MakeRect(0, 0, 8, 8), 0x80FFFFFF);
    const uint32_t p = s->PixelAt(0, 0);
    EXPECT_EQ(0x80u, p >> 24);
    EXPECT_EQ(0x80u, p & 0xFF);
    // Huge and off-surface rectangles are clipped, not walked.
    DrawFocusCue(s.get(), MakeRect(INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2), 0xFF00FF00);
    DrawFocusCue(s.get(), MakeRect(100, 100, 200, 200), 0xFF00FF00);
    DrawFocusCue(nullptr, MakeRect(0, 0, 8, 8), 0xFF00FF00);
    // An empty rectangle or a transparent colour draws nothing.
    Ref<Bitmap> t = Blank(8, 8);
    DrawFocusCue(t.get(), MakeRect(4, 4, 4, 8), 0xFFFFFFFF);
    DrawFocusCue(t.get(), MakeRect(0, 0, 8, 8), 0x00FFFFFF);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            ASSERT_EQ(0u, t->PixelAt(x, y));
        }
    }
    // A one-pixel-high rectangle is drawn once, not twice.
    Ref<Bitmap> u = Blank(8, 1);
    DrawFocusCue(u.get(), MakeRect(0, 0, 8, 1), 0x80FFFFFF);
    EXPECT_EQ(0x80u, u->PixelAt(2, 0) >> 24);
}

class ImageControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(1, (CreateControlOf<ImageControl, kImageControlType>(&control_)));
        image_ = static_cast<ImageControl*>(control_);
    }
    void TearDown() override { control_->Release(); }

    Control* control_ = nullptr;
    ImageControl* image_ = nullptr;
};

// Four 2 x 2 quadrants of distinct colours.
Ref<Bitmap> Quadrants() {
    Ref<Bitmap> b = Blank(4, 4);
    const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const uint32_t c = colours[(y / 2) * 2 + x / 2];
            uint8_t* p = b->Row(y) + 4 * x;
            p[0] = c & 0xFF;
            p[1] = (c >> 8) & 0xFF;
            p[2] = (c >> 16) & 0xFF;
            p[3] = 0xFF;
        }
    }
    b->set_premultiplied(true);
    return b;
}

TEST_F(ImageControlTest, DrawsTheWholeImageOrItsSourceRectangle) {
    EXPECT_EQ("ImageControl", image_->ClassName());
    EXPECT_EQ(Control::AccessRole::kGraphic, image_->GetAccessRole());
    Ref<Bitmap> q = Quadrants();
    const RECT where = MakeRect(2, 2, 6, 6);
    image_->SetLayout("absolute", &where);
    image_->Layout(MakeRect(0, 0, 8, 8));

    EXPECT_EQ(1, image_->SetImage(ImageDescriptor::FromBitmap(q.get())));
    EXPECT_TRUE(RectEquals(MakeRect(0, 0, 4, 4), image_->GetSourceRect()));
    Ref<Bitmap> s = Blank(8, 8);
    image_->Paint(s.get());
    EXPECT_EQ(0xFFFF0000u, s->PixelAt(2, 2));
    EXPECT_EQ(0xFFFFFFFFu, s->PixelAt(5, 5));
    EXPECT_EQ(0u, s->PixelAt(6, 6));

    // The bottom-right quadrant alone, scaled over the bounds.
    const RECT corner = MakeRect(2, 2, 4, 4);
    image_->SetImage(ImageDescriptor::FromBitmap(q.get()), &corner);
    s = Blank(8, 8);
    image_->Paint(s.get());
    EXPECT_EQ(0xFFFFFFFFu, s->PixelAt(2, 2));
    EXPECT_EQ(0xFFFFFFFFu, s->PixelAt(5, 5));
}

TEST_F(ImageControlTest, StretchImagesUseTheirOpacityAndEmptySlotsDrawNothing) {
    Ref<StretchImage> st = Ref<StretchImage>::Adopt(StretchImage::Create(kStretchWhole));
    Ref<Bitmap> q = Quadrants();
    ASSERT_EQ(1, st->SetSource(q.get()));
    const RECT where = MakeRect(0, 0, 8, 8);
    image_->SetLayout("absolute", &where);
    image_->Layout(where);
    image_->SetImage(ImageDescriptor::FromStretch(st.get()));
    EXPECT_TRUE(RectEquals(MakeRect(0, 0, 4, 4), image_->GetSourceRect()));
    image_->SetOpacity(128);
    Ref<Bitmap> s = Blank(8, 8);
    image_->Paint(s.get());
    EXPECT_EQ(0x80u, s->PixelAt(0, 0) >> 24);
    EXPECT_EQ(0x80u, s->PixelAt(7, 7) >> 24);

    for (const ImageDescriptor& empty : {ImageDescriptor(), ImageDescriptor::FromBitmap(nullptr),
                                         ImageDescriptor::FromStretch(nullptr)}) {
        EXPECT_FALSE(empty.HasImage());
        image_->SetImage(empty);
        EXPECT_TRUE(RectIsEmpty(image_->GetSourceRect()));
        Ref<Bitmap> t = Blank(8, 8);
        image_->Paint(t.get());
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                ASSERT_EQ(0u, t->PixelAt(x, y));
            }
        }
    }
}

}  // namespace
}  // namespace qm::skin
