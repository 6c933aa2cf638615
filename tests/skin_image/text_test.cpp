#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "skin/bitmap.h"
#include "skin/font.h"
#include "skin/image_cache.h"
#include "skin/surface.h"
#include "skin/text.h"

#include "skin/gdiplus.h"

namespace qm::skin {
namespace {

class GdiplusEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    void TearDown() override {
        ShutdownImageCache();
        Gdiplus::GdiplusShutdown(token_);
    }

  private:
    ULONG_PTR token_ = 0;
};
const auto* const g_gdiplus = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

Ref<Bitmap> Surface(int w, int h, uint32_t argb) {
    Ref<Bitmap> s = Ref<Bitmap>::Adopt(CreateSurface(w, h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = s->Row(y) + 4 * x;
            p[0] = static_cast<uint8_t>(argb);
            p[1] = static_cast<uint8_t>(argb >> 8);
            p[2] = static_cast<uint8_t>(argb >> 16);
            p[3] = static_cast<uint8_t>(argb >> 24);
        }
    }
    return s;
}

// Pixels that differ from the given value, and their bounding columns.
struct Ink {
    int count = 0;
    int left = 1 << 30;
    int right = -1;
};
Ink InkOf(const Bitmap* s, uint32_t background) {
    Ink ink;
    for (int y = 0; y < s->height(); ++y) {
        for (int x = 0; x < s->width(); ++x) {
            if (s->PixelAt(x, y) != background) {
                ++ink.count;
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
            }
        }
    }
    return ink;
}

const wchar_t kLatin[] = L"Tessaly 1.0 download";
const wchar_t kChinese[] = L"\x5f00\x59cb\x4e0b\x8f7d";  // 开始下载

TEST(TextDrawing, WhiteTextOverTransparentLeavesTheRestTransparent) {
    Ref<Bitmap> s = Surface(160, 30, 0);
    TextRenderer r;
    r.SetColour(0xFFFFFFFF);
    ASSERT_EQ(r.DrawText(s.get(), kLatin, static_cast<int>(wcslen(kLatin)), MakeRect(0, 0, 160, 30),
                         kTextVerticalCentre, false),
              0);
    int inked = 0, full = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 160; ++x) {
            const uint32_t v = s->PixelAt(x, y);
            const uint32_t a = v >> 24;
            if (v == 0) {
                continue;
            }
            ++inked;
            // White premultiplied: every channel equals alpha.
            ASSERT_EQ(v & 255, a) << x << "," << y;
            ASSERT_EQ((v >> 8) & 255, a);
            ASSERT_EQ((v >> 16) & 255, a);
            full += a == 255 ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 40);
    EXPECT_GT(full, 5);
    // The corners hold no ink.
    EXPECT_EQ(s->PixelAt(0, 0), 0u);
    EXPECT_EQ(s->PixelAt(159, 29), 0u);
}

TEST(TextDrawing, DarkTextOverOpaqueStaysOpaqueAndChineseHasGlyphs) {
    Ref<Bitmap> s = Surface(120, 24, 0xFFFFFFFF);
    TextRenderer r;
    r.SetColour(0xFF102030);
    ASSERT_EQ(r.DrawText(s.get(), kChinese, 4, MakeRect(0, 0, 120, 24), kTextVerticalCentre, false),
              0);
    const Ink ink = InkOf(s.get(), 0xFFFFFFFF);
    EXPECT_GT(ink.count, 40);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 120; ++x) {
            ASSERT_EQ(s->PixelAt(x, y) >> 24, 255u);
        }
    }
    // Four glyphs of a 12-pixel font take roughly 48 columns.
    EXPECT_GT(ink.right - ink.left, 30);
}

TEST(TextDrawing, HalfTransparentColourAndNothingToDraw) {
    TextRenderer r;
    r.SetColour(0x80FFFFFF);
    Ref<Bitmap> s = Surface(100, 20, 0);
    r.DrawText(s.get(), L"WWWW", 4, MakeRect(0, 0, 100, 20), kTextVerticalCentre, false);
    uint32_t top = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 100; ++x) {
            top = std::max(top, s->PixelAt(x, y) >> 24);
        }
    }
    EXPECT_GT(top, 90u);
    EXPECT_LT(top, 140u);

    Ref<Bitmap> untouched = Surface(50, 20, 0xFF336699);
    r.SetColour(0x00FFFFFF);
    EXPECT_EQ(r.DrawText(untouched.get(), L"abc", 3, MakeRect(0, 0, 50, 20), 0, false), 0);
    r.SetColour(0xFFFFFFFF);
    EXPECT_EQ(r.DrawText(untouched.get(), L"abc", 0, MakeRect(0, 0, 50, 20), 0, false), 0);
    EXPECT_EQ(r.DrawText(untouched.get(), nullptr, 3, MakeRect(0, 0, 50, 20), 0, false), 0);
    EXPECT_EQ(r.DrawText(untouched.get(), L"abc", 3, MakeRect(60, 0, 90, 20), 0, false), 0);
    EXPECT_EQ(InkOf(untouched.get(), 0xFF336699).count, 0);
    EXPECT_EQ(r.DrawText(nullptr, L"abc", 3, MakeRect(0, 0, 50, 20), 0, false), -1);
}

TEST(TextDrawing, AlignmentAndClipping) {
    TextRenderer r;
    r.SetColour(0xFFFFFFFF);
    Ref<Bitmap> right = Surface(200, 20, 0);
    r.DrawText(right.get(), L"abc", 3, MakeRect(0, 0, 200, 20), kTextRight | kTextVerticalCentre,
               false);
    EXPECT_GT(InkOf(right.get(), 0).left, 150);
    Ref<Bitmap> centre = Surface(200, 20, 0);
    r.DrawText(centre.get(), L"abc", 3, MakeRect(0, 0, 200, 20), kTextCentre, false);
    const Ink c = InkOf(centre.get(), 0);
    EXPECT_GT(c.left, 70);
    EXPECT_LT(c.right, 130);
    // A rectangle hanging over the surface's edges is clipped, and the text
    // stays where the whole rectangle puts it.
    Ref<Bitmap> clipped = Surface(50, 20, 0);
    EXPECT_EQ(r.DrawText(clipped.get(), L"abcdefgh", 8, MakeRect(-20, -5, 80, 25),
                         kTextVerticalCentre, false),
              0);
    EXPECT_GT(InkOf(clipped.get(), 0).count, 10);
    // Ampersands are shown, not taken as prefixes.
    EXPECT_EQ(SystemTextFormat(5, false, false) & DT_NOPREFIX, static_cast<UINT>(DT_NOPREFIX));
}

// A renderer drawing the same text onto the same pixels again gives exactly
// what a fresh one gives; any change of the pixels under it or of what it
// draws is drawn anew.
TEST(TextDrawing, RepeatedDrawsGiveWhatAFreshDrawGives) {
    auto same = [](const Bitmap* a, const Bitmap* b) {
        for (int y = 0; y < a->height(); ++y) {
            for (int x = 0; x < a->width(); ++x) {
                if (a->PixelAt(x, y) != b->PixelAt(x, y)) {
                    return false;
                }
            }
        }
        return true;
    };
    auto fresh = [](Bitmap* surface, uint32_t colour, const wchar_t* text) {
        TextRenderer r;
        r.SetColour(colour);
        r.DrawText(surface, text, static_cast<int>(wcslen(text)), MakeRect(4, 2, 156, 30), 5,
                   false);
    };
    TextRenderer kept;
    kept.SetColour(0xFFFFFFFF);
    const RECT rect = MakeRect(4, 2, 156, 30);
    const int n = static_cast<int>(wcslen(kChinese));

    Ref<Bitmap> first = Surface(160, 32, 0xFF204060);
    ASSERT_EQ(0, kept.DrawText(first.get(), kChinese, n, rect, 5, false));
    EXPECT_GT(InkOf(first.get(), 0xFF204060).count, 20);
    Ref<Bitmap> again = Surface(160, 32, 0xFF204060);
    ASSERT_EQ(0, kept.DrawText(again.get(), kChinese, n, rect, 5, false));
    EXPECT_TRUE(same(first.get(), again.get()));

    // Different pixels underneath: drawn over those, as a fresh draw does.
    Ref<Bitmap> other = Surface(160, 32, 0xFF604020);
    Ref<Bitmap> other_fresh = Surface(160, 32, 0xFF604020);
    other->Row(16)[4 * 80] ^= 0x40;
    other_fresh->Row(16)[4 * 80] ^= 0x40;
    kept.DrawText(other.get(), kChinese, n, rect, 5, false);
    fresh(other_fresh.get(), 0xFFFFFFFF, kChinese);
    EXPECT_TRUE(same(other.get(), other_fresh.get()));

    // Another colour, another text: drawn anew.
    kept.SetColour(0xFF000000);
    Ref<Bitmap> dark = Surface(160, 32, 0xFF604020);
    Ref<Bitmap> dark_fresh = Surface(160, 32, 0xFF604020);
    dark->Row(16)[4 * 80] ^= 0x40;
    dark_fresh->Row(16)[4 * 80] ^= 0x40;
    kept.DrawText(dark.get(), kChinese, n, rect, 5, false);
    fresh(dark_fresh.get(), 0xFF000000, kChinese);
    EXPECT_TRUE(same(dark.get(), dark_fresh.get()));
    Ref<Bitmap> latin = Surface(160, 32, 0xFF604020);
    Ref<Bitmap> latin_fresh = Surface(160, 32, 0xFF604020);
    latin->Row(16)[4 * 80] ^= 0x40;
    latin_fresh->Row(16)[4 * 80] ^= 0x40;
    kept.DrawText(latin.get(), kLatin, static_cast<int>(wcslen(kLatin)), rect, 5, false);
    fresh(latin_fresh.get(), 0xFF000000, kLatin);
    EXPECT_TRUE(same(latin.get(), latin_fresh.get()));
    EXPECT_FALSE(same(latin.get(), dark.get()));
}

TEST(TextFormat, CodesMapToSystemValues) {
    EXPECT_EQ(SystemTextFormat(5, false, false),
              static_cast<UINT>(DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX));
    EXPECT_EQ(SystemTextFormat(6 | DT_WORDBREAK | 0x40000, false, false),
              static_cast<UINT>(DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX));
    EXPECT_EQ(SystemTextFormat(4 | 1 | 0x40000, true, false),
              static_cast<UINT>(DT_CENTER | DT_WORD_ELLIPSIS | DT_WORDBREAK | DT_NOPREFIX));
    EXPECT_NE(SystemTextFormat(0, true, true) & DT_EXPANDTABS, 0u);
}

TEST(TextMeasure, SingleAndMultiLine) {
    TextRenderer r;
    const SIZE one = r.MeasureText(L"abc", 3, 0, false);
    const SIZE two = r.MeasureText(L"abcabc", 6, 0, false);
    EXPECT_GT(one.cx, 0);
    EXPECT_GT(one.cy, 8);
    EXPECT_GT(two.cx, one.cx);
    const wchar_t* text = L"one two three four five six seven eight nine ten";
    const int n = static_cast<int>(wcslen(text));
    const SIZE wrapped = r.MeasureText(text, n, 80, true);
    EXPECT_EQ(wrapped.cx, 80);
    EXPECT_GT(wrapped.cy, 2 * one.cy);
    // Short text wraps to one line: its own extent.
    const SIZE short_text = r.MeasureText(L"abc", 3, 300, true);
    EXPECT_EQ(short_text.cx, one.cx);
    EXPECT_EQ(short_text.cy, one.cy);
    EXPECT_EQ(r.MeasureText(L"abc", 0, 0, false).cx, 0);
    // A taller font measures taller.
    Ref<FontInfo> big = Ref<FontInfo>::Adopt(FontInfo::Create());
    big->SetHeight(24);
    r.SetFont(big.get());
    EXPECT_GT(r.MeasureText(L"abc", 3, 0, false).cy, one.cy);
}

TEST(Fonts, DefaultFaceAndMissingFaces) {
    EXPECT_FALSE(DefaultFontFace().face.empty());
    EXPECT_EQ(DefaultFontFace().charset, kChineseCharset);
    EXPECT_FALSE(FontFaceExists(L"No Such Face 7781"));
    FontDescription d;
    d.face = L"No Such Face 7781";
    Ref<FontInfo> f = Ref<FontInfo>::Adopt(FontInfo::Create(d));
    HFONT h = f->Handle();
    ASSERT_NE(h, nullptr);
    LOGFONTW lf = {};
    GetObjectW(h, sizeof lf, &lf);
    EXPECT_EQ(std::wstring(lf.lfFaceName), DefaultFontFace().face);
    EXPECT_EQ(lf.lfHeight, -12);
}

TEST(GdiplusImages, OtherFormatsLoadThroughGdiplusRelativeToTheProgramFolder) {
    // A 2 x 1 24-bit BMP: red, then blue.
    std::vector<uint8_t> bmp = {'B', 'M', 62, 0, 0, 0, 0, 0, 0,   0,   54, 0, 0,  0, 40, 0,
                                0,   0,   2,  0, 0, 0, 1, 0, 0,   0,   1,  0, 24, 0, 0,  0,
                                0,   0,   8,  0, 0, 0, 0, 0, 0,   0,   0,  0, 0,  0, 0,  0,
                                0,   0,   0,  0, 0, 0, 0, 0, 255, 255, 0,  0, 0,  0};
    // Beside the program; the current folder is elsewhere and has no such file.
    wchar_t module[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
    const std::filesystem::path beside = std::filesystem::path(module).parent_path() / "two.bmp";
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "skin_gdiplus_test";
    std::filesystem::create_directories(dir);
    {
        std::ofstream f(beside, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bmp.data()),
                static_cast<std::streamsize>(bmp.size()));
    }
    const std::filesystem::path was = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    Bitmap* b = GetBitmap(L"two.bmp");
    std::filesystem::current_path(was);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width(), 2);
    EXPECT_EQ(b->height(), 1);
    EXPECT_EQ(b->PixelAt(0, 0), 0xFFFF0000u);
    EXPECT_EQ(b->PixelAt(1, 0), 0xFF0000FFu);
    EXPECT_EQ(GetBitmap(L"Z:\\no\\such\\file.jpg"), nullptr);
    std::error_code ignored;
    std::filesystem::remove(beside, ignored);
    std::filesystem::remove_all(dir, ignored);
}

}  // namespace
}  // namespace qm::skin
