// Builds small PNG files byte by byte (independently of the decoder under
// test), so that tests can state exactly what a file holds.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qm::skin::test {

inline void PutU32(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back(static_cast<uint8_t>(v >> 24));
    out->push_back(static_cast<uint8_t>(v >> 16));
    out->push_back(static_cast<uint8_t>(v >> 8));
    out->push_back(static_cast<uint8_t>(v));
}

inline void PutChunk(std::vector<uint8_t>* out, const char* type,
                     const std::vector<uint8_t>& data) {
    PutU32(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out->insert(out->end(), body.begin(), body.end());
    PutU32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// rows: already filtered scanlines (each starting with its filter byte).
inline std::vector<uint8_t> MakePng(uint32_t width, uint32_t height, uint8_t depth,
                                    uint8_t colour_type, const std::vector<uint8_t>& rows,
                                    const std::vector<std::vector<uint8_t>>& extra = {},
                                    const std::vector<std::string>& extra_types = {},
                                    uint8_t interlace = 0) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> ihdr;
    PutU32(&ihdr, width);
    PutU32(&ihdr, height);
    ihdr.push_back(depth);
    ihdr.push_back(colour_type);
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(interlace);
    PutChunk(&out, "IHDR", ihdr);
    for (size_t i = 0; i < extra.size(); ++i) {
        PutChunk(&out, extra_types[i].c_str(), extra[i]);
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::vector<uint8_t> z(size);
    compress(z.data(), &size, rows.data(), static_cast<uLong>(rows.size()));
    z.resize(size);
    PutChunk(&out, "IDAT", z);
    PutChunk(&out, "IEND", {});
    return out;
}

// An 8-bit RGBA image from 0xAARRGGBB pixels, unfiltered.
inline std::vector<uint8_t> MakeRgbaPng(uint32_t width, uint32_t height,
                                        const std::vector<uint32_t>& argb) {
    std::vector<uint8_t> rows;
    for (uint32_t y = 0; y < height; ++y) {
        rows.push_back(0);
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = argb[y * width + x];
            rows.push_back(static_cast<uint8_t>(v >> 16));
            rows.push_back(static_cast<uint8_t>(v >> 8));
            rows.push_back(static_cast<uint8_t>(v));
            rows.push_back(static_cast<uint8_t>(v >> 24));
        }
    }
    return MakePng(width, height, 8, 6, rows);
}

}  // namespace qm::skin::test
