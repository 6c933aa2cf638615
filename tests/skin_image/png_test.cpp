#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "skin/bitmap.h"
#include "skin/image_cache.h"
#include "skin/image_file.h"
#include "skin/image_strip.h"
#include "skin/png_codec.h"
#include "skin/stretch_image.h"
#include "tests/skin_image/png_builder.h"

namespace qm::skin {
namespace {

using test::MakePng;
using test::MakeRgbaPng;

Ref<Bitmap> Decode(const std::vector<uint8_t>& file) {
    return Ref<Bitmap>::Adopt(DecodePng(file.data(), file.size()));
}

TEST(PngDecode, AlphaIsPremultipliedAsTheSkinExpects) {
    // R 200, G 100, B 0 at alpha 128 becomes B 0, G 50, R 100, A 128.
    Ref<Bitmap> b = Decode(MakeRgbaPng(2, 1, {0x80C86400, 0x00FFFFFF}));
    ASSERT_TRUE(b);
    EXPECT_TRUE(b->premultiplied());
    EXPECT_EQ(b->format(), kBitmapBgra32);
    const uint8_t* p = b->Row(0);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 50);
    EXPECT_EQ(p[2], 100);
    EXPECT_EQ(p[3], 128);
    // Fully transparent white keeps no colour.
    EXPECT_EQ(b->PixelAt(1, 0), 0u);
}

TEST(PngDecode, EveryLayoutBecomesThirtyTwoBitBgra) {
    // 8-bit RGB: opaque.
    Ref<Bitmap> rgb = Decode(MakePng(1, 1, 8, 2, {0, 10, 20, 30}));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->PixelAt(0, 0), 0xFF0A141Eu);
    // 16-bit grey with alpha: strip to 8 bits, grey to RGB.
    Ref<Bitmap> grey = Decode(MakePng(1, 1, 16, 4, {0, 0xFF, 0x00, 0xFF, 0xFF}));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->PixelAt(0, 0), 0xFFFFFFFFu);
    // 1-bit grey, 9 pixels wide: expanded.
    Ref<Bitmap> bits = Decode(MakePng(9, 1, 1, 0, {0, 0xAA, 0x80}));
    ASSERT_TRUE(bits);
    EXPECT_EQ(bits->PixelAt(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(bits->PixelAt(1, 0), 0xFF000000u);
    EXPECT_EQ(bits->PixelAt(8, 0), 0xFFFFFFFFu);
    // Palette with a transparent entry.
    Ref<Bitmap> pal =
        Decode(MakePng(2, 1, 8, 3, {0, 0, 1}, {{255, 0, 0, 0, 0, 255}, {0}}, {"PLTE", "tRNS"}));
    ASSERT_TRUE(pal);
    EXPECT_EQ(pal->PixelAt(0, 0), 0u);
    EXPECT_EQ(pal->PixelAt(1, 0), 0xFF0000FFu);
}

TEST(PngDecode, EncodeRoundTrip) {
    Ref<Bitmap> b = Ref<Bitmap>::Adopt(Bitmap::Create(3, 2));
    uint8_t* p = b->Row(1) + 4;
    p[0] = 10;
    p[1] = 20;
    p[2] = 60;
    p[3] = 64;
    std::vector<uint8_t> file;
    ASSERT_EQ(EncodePng(b.get(), &file), 1);
    Ref<Bitmap> back = Decode(file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width(), 3);
    EXPECT_EQ(back->height(), 2);
    const uint32_t v = back->PixelAt(1, 1);
    EXPECT_EQ(v >> 24, 64u);
    EXPECT_NEAR(static_cast<int>((v >> 16) & 255), 60, 1);
    EXPECT_NEAR(static_cast<int>(v & 255), 10, 1);
    EXPECT_EQ(back->PixelAt(0, 0), 0u);
    EXPECT_EQ(EncodePng(nullptr, &file), 0);
}

TEST(PngDecode, TruncatedCorruptAndEnormousFilesGiveNull) {
    std::vector<uint32_t> pixels(16 * 16, 0xFF336699);
    const std::vector<uint8_t> good = MakeRgbaPng(16, 16, pixels);
    ASSERT_TRUE(Decode(good));
    // Every truncation.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(n));
        EXPECT_FALSE(Decode(cut)) << n;
    }
    // A flipped byte in each chunk breaks its checksum.
    for (size_t at : {size_t{20}, size_t{40}, good.size() - 6}) {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x55;
        EXPECT_FALSE(Decode(bad)) << at;
    }
    // Headers that claim huge images with almost no data.
    for (uint32_t side : {100000u, 16385u}) {
        EXPECT_FALSE(Decode(MakePng(side, side, 8, 6, {0, 0, 0, 0, 0}))) << side;
    }
    EXPECT_FALSE(Decode(MakePng(8000, 8000, 8, 6, {0, 0, 0, 0, 0})));
    EXPECT_FALSE(Decode(MakePng(0, 5, 8, 6, {})));
    // Not a PNG at all, null input.
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
    EXPECT_FALSE(Decode(text));
    EXPECT_EQ(DecodePng(nullptr, 100), nullptr);
    // Too little image data for the rows it claims.
    EXPECT_FALSE(Decode(MakePng(4, 4, 8, 6, {0, 1, 2, 3})));
    // The caller's pixel limit.
    EXPECT_EQ(DecodePng(good.data(), good.size(), 255), nullptr);
}

class ImageCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeImageCache();
        dir_ = std::filesystem::temp_directory_path() /
               ("skin_image_test_" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        ShutdownImageCache();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::wstring Write(const std::string& name, const std::vector<uint8_t>& data) {
        const std::filesystem::path path = dir_ / name;
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
        EXPECT_TRUE(f.good());
        return path.wstring();
    }
    std::wstring PathOf(const std::string& name) const { return (dir_ / name).wstring(); }

    std::filesystem::path dir_;
};

// A 20 x 2 image with markers at columns 4 and 15 of the first row; a 12 x 10
// one with full nine-grid lines.
std::vector<uint8_t> ThreePartFile() {
    std::vector<uint32_t> px(40, 0xFF204060);
    px[4] = px[15] = 0xFFFF00FF;
    return MakeRgbaPng(20, 2, px);
}
std::vector<uint8_t> NineGridFile() {
    std::vector<uint32_t> px(120, 0xFF204060);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 12; ++x) {
            if (x == 3 || x == 8 || y == 2 || y == 6) {
                px[y * 12 + x] = 0xFFFF00FF;
            }
        }
    }
    return MakeRgbaPng(12, 10, px);
}

TEST_F(ImageCacheTest, FirstTypeAskedForAPathWins) {
    // The nine-grid file also has two markers in its first row, so it makes a
    // valid three-part image too: only the cache decides the type.
    const std::wstring path = Write("nine.png", NineGridFile());
    StretchImage* first = GetStretchImage(path, kStretchNineGrid);
    ASSERT_NE(first, nullptr);
    StretchImage* second = GetStretchImage(path, kStretchThreeHorizontal);
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->type(), kStretchNineGrid);
    EXPECT_EQ(second->regions().size(), 9u);
    EXPECT_EQ(GetBitmap(path), first->source());
    EXPECT_EQ(CachedBitmapCount(), 1u);
    EXPECT_EQ(CachedStretchImageCount(), 1u);
}

TEST_F(ImageCacheTest, FailuresAreNotCached) {
    const std::wstring missing = PathOf("missing.png");
    EXPECT_EQ(GetBitmap(missing), nullptr);
    EXPECT_EQ(CachedBitmapCount(), 0u);
    // The bitmap loads, but without nine-grid lines there is no image.
    const std::wstring three = Write("three.png", ThreePartFile());
    EXPECT_EQ(GetStretchImage(three, kStretchNineGrid), nullptr);
    EXPECT_EQ(CachedStretchImageCount(), 0u);
    StretchImage* ok = GetStretchImage(three, kStretchThreeHorizontal);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->regions().size(), 3u);
    // Corrupt and foreign files.
    std::vector<uint8_t> cut = ThreePartFile();
    cut.resize(cut.size() / 2);
    EXPECT_EQ(GetBitmap(Write("cut.png", cut)), nullptr);
    const std::vector<uint8_t> junk = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    EXPECT_EQ(GetBitmap(Write("photo.jpg", junk)), nullptr);
    EXPECT_EQ(CachedBitmapCount(), 1u);
}

TEST_F(ImageCacheTest, KeyedByThePathAsGivenAndEmptiedAtShutdown) {
    const std::wstring path = Write("strip.PNG", ThreePartFile());
    Bitmap* a = GetBitmap(path);
    ASSERT_NE(a, nullptr);
    // The same file under another spelling is another entry.
    const std::wstring other = (dir_ / "." / "strip.PNG").wstring();
    Bitmap* b = GetBitmap(other);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b, a);
    EXPECT_EQ(GetBitmap(path), a);
    EXPECT_EQ(CachedBitmapCount(), 2u);
    ImageStrip strip(path, 2, kStripHorizontal, 0);
    Ref<Bitmap> frame = Ref<Bitmap>::Adopt(strip.FrameBitmap(1));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), 10);
    EXPECT_EQ(CachedBitmapCount(), 2u);
    ShutdownImageCache();
    EXPECT_EQ(CachedBitmapCount(), 0u);
    // The strip's own reference keeps its pixels.
    EXPECT_EQ(frame->PixelAt(5, 0), 0xFFFF00FFu);
}

#ifdef _WIN32
// The worker thread changes the current directory while it loads the engine:
// a relative artwork name must still name the file beside the program.
TEST(ImageFile, RelativeNamesAreTakenBesideTheProgramWhateverTheCurrentDirectory) {
    wchar_t module[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::filesystem::path beside =
        std::filesystem::path(module).parent_path() / L"cwd_test_art.png";
    const std::filesystem::path elsewhere =
        std::filesystem::temp_directory_path() / L"tessaly-cwd-test";
    std::filesystem::create_directories(elsewhere);
    auto write = [](const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    };
    write(beside, MakeRgbaPng(3, 2, std::vector<uint32_t>(6, 0xFF204060)));
    // A different file of the same name in the current directory.
    write(elsewhere / L"cwd_test_art.png",
          MakeRgbaPng(5, 5, std::vector<uint32_t>(25, 0xFF000000)));
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(elsewhere.c_str()));
    Ref<Bitmap> loaded = Ref<Bitmap>::Adopt(LoadImageFile(L"cwd_test_art.png"));
    Ref<Bitmap> missing = Ref<Bitmap>::Adopt(LoadImageFile(L"no_such_art.png"));
    SetCurrentDirectoryW(before);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width(), 3);
    EXPECT_EQ(loaded->height(), 2);
    EXPECT_FALSE(missing);
    std::filesystem::remove(beside);
    std::filesystem::remove_all(elsewhere);
}
#endif

}  // namespace
}  // namespace qm::skin
