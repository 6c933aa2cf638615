// A bitmap cut into equal state frames (normal, hover, pressed, ...), side by
// side or stacked, with a gap between frames. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "skin/bitmap.h"

namespace qm::skin {

class StretchImage;

enum StripOrientation : int32_t {
    kStripHorizontal = 0,  // frames side by side
    kStripVertical = 1,    // frames stacked
};

// Frame index of a strip of the given size: frame i spans
// [i * (size + gap) / frames, (i + 1) * (size + gap) / frames - gap) along the
// strip and the whole other side. Returns false for an index outside
// 0..frames-1, a non-positive frame count, a negative gap, or a frame that
// would have no pixels (more frames than the strip can hold).
bool StripFrameRect(int32_t width, int32_t height, int32_t frames, int32_t orientation, int32_t gap,
                    int32_t index, RECT* frame);

class ImageStrip {
  public:
    ImageStrip() = default;
    ImageStrip(std::wstring path, int32_t frames, int32_t orientation = kStripHorizontal,
               int32_t gap = 1);

    const std::wstring& path() const { return path_; }
    int32_t frames() const { return frames_; }
    int32_t orientation() const { return orientation_; }
    int32_t gap() const { return gap_; }

    // The whole strip, loaded through the image cache on first use; null when
    // the file cannot be loaded. Borrowed: the strip keeps its reference.
    Bitmap* bitmap();
    // Uses this bitmap instead of the file (for strips made in memory).
    void SetBitmap(Bitmap* bitmap);

    // A new view of one frame (the caller owns the reference), or null.
    Bitmap* FrameBitmap(int32_t index);
    // A new stretch image of the given type over one frame (the caller owns
    // the reference), or null when the frame is missing or its markers do not
    // fit the type.
    StretchImage* FrameStretch(int32_t index, int32_t type);

  private:
    std::wstring path_;
    int32_t frames_ = 0;
    int32_t orientation_ = kStripHorizontal;
    int32_t gap_ = 1;
    Ref<Bitmap> bitmap_;
    bool loaded_ = false;
};

}  // namespace qm::skin
