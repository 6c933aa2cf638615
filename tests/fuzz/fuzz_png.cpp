// PNG decoding of arbitrary bytes: every input either decodes into a bitmap
// whose pixels can all be read, or gives null.
#include <cstddef>
#include <cstdint>

#include "skin/bitmap.h"
#include "skin/png_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A small pixel limit keeps each run quick; the limit itself is tested
    // by the unit tests.
    qm::skin::Bitmap* b = qm::skin::DecodePng(data, size, int64_t{1} << 20);
    if (b) {
        for (int32_t y = 0; y < b->height(); ++y) {
            for (int32_t x = 0; x < b->width(); ++x) {
                const uint32_t v = b->PixelAt(x, y);
                // Premultiplied: no colour channel above alpha.
                const uint32_t a = v >> 24;
                if (((v >> 16) & 255) > a || ((v >> 8) & 255) > a || (v & 255) > a) {
                    __builtin_trap();
                }
            }
        }
        b->Release();
    }
    return 0;
}
