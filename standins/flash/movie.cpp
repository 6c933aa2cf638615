#include "standins/flash/movie.h"

#include <cstring>

#include "skin/bitmap.h"
#include "skin/png_codec.h"

namespace flash_standin {

namespace {

uint32_t ReadLe(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | p[i];
    }
    return value;
}

}  // namespace

Movie::~Movie() {
    for (qm::skin::Bitmap* frame : frames) {
        frame->Release();
    }
}

int ParseMovie(const uint8_t* data, size_t size, Movie* movie) {
    if (!data || size < 12 || std::memcmp(data, "TMOV", 4) != 0 || ReadLe(data + 4, 2) != 1) {
        return 0;
    }
    const uint32_t frame_ms = ReadLe(data + 6, 2);
    const uint32_t count = ReadLe(data + 8, 4);
    if (frame_ms == 0 || count == 0 || count > kMaxFrames) {
        return 0;
    }
    std::vector<qm::skin::Bitmap*> frames;
    size_t at = 12;
    int ok = 1;
    for (uint32_t i = 0; i < count && ok; ++i) {
        if (size - at < 4) {
            ok = 0;
            break;
        }
        const uint32_t length = ReadLe(data + at, 4);
        at += 4;
        if (length > size - at) {
            ok = 0;
            break;
        }
        qm::skin::Bitmap* frame = qm::skin::DecodePng(data + at, length, int64_t{1} << 22);
        if (!frame || frame->format() != qm::skin::kBitmapBgra32) {
            if (frame) {
                frame->Release();
            }
            ok = 0;
            break;
        }
        frames.push_back(frame);
        at += length;
    }
    if (!ok) {
        for (qm::skin::Bitmap* frame : frames) {
            frame->Release();
        }
        return 0;
    }
    for (qm::skin::Bitmap* frame : movie->frames) {
        frame->Release();
    }
    movie->frames = frames;
    movie->frame_ms = frame_ms;
    return 1;
}

}  // namespace flash_standin
