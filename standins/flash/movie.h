// The stand-in player's movie format: "TMOV", a little-endian 16-bit
// version (1), 16-bit frame time in milliseconds, 32-bit frame count, then
// each frame as a 32-bit byte length and a PNG file of that length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm::skin {
class Bitmap;
}

namespace flash_standin {

constexpr uint32_t kMaxFrames = 4096;

struct Movie {
    Movie() = default;
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;
    ~Movie();

    uint32_t frame_ms = 40;
    // Premultiplied B, G, R, A frames, one reference each.
    std::vector<qm::skin::Bitmap*> frames;
};

// 1 with *movie filled (every frame decoded), 0 for anything malformed.
int ParseMovie(const uint8_t* data, size_t size, Movie* movie);

}  // namespace flash_standin
