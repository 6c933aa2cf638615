// The progress bar's arithmetic, on unsigned values as the bar stores them.
// Portable.
#pragma once

#include <cstdint>

namespace qm::skin {

// The position held inside [minimum, maximum] (unsigned comparisons).
inline uint32_t ClampProgressPosition(uint32_t position, uint32_t minimum, uint32_t maximum) {
    if (position < minimum) {
        return minimum;
    }
    if (position > maximum) {
        return maximum;
    }
    return position;
}

// Pixels of a bar width pixels wide that the position fills. The product is
// taken in 64 bits, so ranges counted in bytes do not wrap; a position
// outside the range is held inside it first, so the fill never leaves the
// bar. 0 for an empty range or a bar without width.
inline uint32_t ProgressFillWidth(int32_t width, uint32_t minimum, uint32_t maximum,
                                  uint32_t position) {
    if (width <= 0 || maximum <= minimum) {
        return 0;
    }
    const uint32_t done = ClampProgressPosition(position, minimum, maximum) - minimum;
    return static_cast<uint32_t>(uint64_t{static_cast<uint32_t>(width)} * done /
                                 (maximum - minimum));
}

// Whole percent done (0 to 100).
inline uint32_t ProgressPercent(uint32_t minimum, uint32_t maximum, uint32_t position) {
    return ProgressFillWidth(100, minimum, maximum, position);
}

}  // namespace qm::skin
