#include "skin/png_codec.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "skin/bitmap.h"

namespace qm::skin {
namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > r->size - r->offset) {
        png_error(png, "truncated");
    }
    std::memcpy(out, r->data + r->offset, length);
    r->offset += length;
}

// libpng reports through longjmp; nothing with a destructor may live in the
// frames it jumps over, so the decoder keeps to plain pointers.
void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

struct DecodeState {
    Bitmap* bitmap = nullptr;
    png_bytep* rows = nullptr;
};

// Returns 1 with state->bitmap filled, or 0; state->rows is for the caller to
// free in either case.
int DecodeInto(png_structp png, png_infop info, MemoryReader* reader, int64_t max_pixels,
               DecodeState* state) {
    if (setjmp(png_jmpbuf(png))) {
        return 0;
    }
    png_set_read_fn(png, reader, ReadFromMemory);
    png_set_user_limits(png, kMaxBitmapSide, kMaxBitmapSide);
    // Text, profiles and unknown chunks are not wanted; bound what they may
    // cost anyway.
    png_set_chunk_malloc_max(png, 8u << 20);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, colour_type = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bit_depth, &colour_type, &interlace, nullptr,
                 nullptr);
    if (width == 0 || height == 0 || width > static_cast<png_uint_32>(kMaxBitmapSide) ||
        height > static_cast<png_uint_32>(kMaxBitmapSide) ||
        int64_t{width} * int64_t{height} > max_pixels) {
        return 0;
    }

    if (bit_depth == 16) {
        png_set_strip_16(png);
    }
    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (bit_depth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        png_set_gray_to_rgb(png);
    }
    // A transparent colour key becomes real alpha.
    const bool has_key = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (has_key) {
        png_set_tRNS_to_alpha(png);
    }
    if (!(colour_type & PNG_COLOR_MASK_ALPHA) && !has_key) {
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    }
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const int channels = png_get_channels(png, info);
    const int depth = png_get_bit_depth(png, info) * channels;
    if (depth != 24 && depth != 32) {
        return 0;
    }
    const size_t row_bytes = png_get_rowbytes(png, info);
    if (row_bytes != static_cast<size_t>(width) * static_cast<size_t>(depth / 8)) {
        return 0;
    }

    state->bitmap = Bitmap::Create(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                   depth == 32 ? kBitmapBgra32 : kBitmapBgr24);
    if (!state->bitmap) {
        return 0;
    }
    state->rows = static_cast<png_bytep*>(png_malloc(png, sizeof(png_bytep) * height));
    for (png_uint_32 y = 0; y < height; ++y) {
        state->rows[y] = state->bitmap->Row(static_cast<int32_t>(y));
    }
    png_read_image(png, state->rows);
    png_read_end(png, nullptr);
    return 1;
}

// The 24-bit form the decoder may produce is widened in place of a new
// bitmap; the 32-bit form is premultiplied.
Bitmap* Finish(Bitmap* decoded) {
    if (decoded->format() == kBitmapBgr24) {
        Bitmap* wide = Bitmap::Create(decoded->width(), decoded->height(), kBitmapBgra32);
        if (wide) {
            for (int32_t y = 0; y < decoded->height(); ++y) {
                const uint8_t* s = decoded->Row(y);
                uint8_t* d = wide->Row(y);
                for (int32_t x = 0; x < decoded->width(); ++x, s += 3, d += 4) {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                    d[3] = 255;
                }
            }
            wide->set_premultiplied(true);
        }
        decoded->Release();
        return wide;
    }
    for (int32_t y = 0; y < decoded->height(); ++y) {
        uint8_t* p = decoded->Row(y);
        for (int32_t x = 0; x < decoded->width(); ++x, p += 4) {
            const uint32_t a = p[3];
            p[0] = static_cast<uint8_t>((a * (p[0] + 1u)) >> 8);
            p[1] = static_cast<uint8_t>((a * (p[1] + 1u)) >> 8);
            p[2] = static_cast<uint8_t>((a * (p[2] + 1u)) >> 8);
        }
    }
    decoded->set_premultiplied(true);
    return decoded;
}

struct VectorWriter {
    std::vector<uint8_t>* out;
};

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* w = static_cast<VectorWriter*>(png_get_io_ptr(png));
    w->out->insert(w->out->end(), data, data + length);
}
void FlushNothing(png_structp) {}

int EncodeRows(png_structp png, png_infop info, const Bitmap* bitmap, VectorWriter* writer,
               png_bytep row) {
    if (setjmp(png_jmpbuf(png))) {
        return 0;
    }
    png_set_write_fn(png, writer, WriteToVector, FlushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap->width()),
                 static_cast<png_uint_32>(bitmap->height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const bool premultiplied = bitmap->premultiplied();
    for (int32_t y = 0; y < bitmap->height(); ++y) {
        png_bytep d = row;
        for (int32_t x = 0; x < bitmap->width(); ++x, d += 4) {
            const uint32_t v = bitmap->PixelAt(x, y);
            uint32_t a = v >> 24, r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
            if (premultiplied && a != 0 && a != 255) {
                r = std::min(255u, (r * 255 + a / 2) / a);
                g = std::min(255u, (g * 255 + a / 2) / a);
                b = std::min(255u, (b * 255 + a / 2) / a);
            }
            d[0] = static_cast<png_byte>(r);
            d[1] = static_cast<png_byte>(g);
            d[2] = static_cast<png_byte>(b);
            d[3] = static_cast<png_byte>(a);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return 1;
}

}  // namespace

Bitmap* DecodePng(const uint8_t* data, size_t size, int64_t max_pixels) {
    if (!data || size < 8 || size > kMaxPngFileBytes || png_sig_cmp(data, 0, 8) != 0) {
        return nullptr;
    }
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!png) {
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    MemoryReader reader{data, size, 0};
    DecodeState state;
    const int ok = DecodeInto(png, info, &reader, max_pixels, &state);
    if (state.rows) {
        png_free(png, state.rows);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        // A partial image is never handed out.
        if (state.bitmap) {
            state.bitmap->Release();
        }
        return nullptr;
    }
    return Finish(state.bitmap);
}

int EncodePng(const Bitmap* bitmap, std::vector<uint8_t>* out) {
    if (!bitmap || !out) {
        return 0;
    }
    out->clear();
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!png) {
        return 0;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    std::vector<uint8_t> row(static_cast<size_t>(bitmap->width()) * 4);
    VectorWriter writer{out};
    const int ok = EncodeRows(png, info, bitmap, &writer, row.data());
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        out->clear();
    }
    return ok;
}

}  // namespace qm::skin
