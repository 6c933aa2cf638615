#include "skin/image_strip.h"

#include <utility>

#include "skin/image_cache.h"
#include "skin/stretch_image.h"

namespace qm::skin {

bool StripFrameRect(int32_t width, int32_t height, int32_t frames, int32_t orientation, int32_t gap,
                    int32_t index, RECT* frame) {
    if (frames <= 0 || index < 0 || index >= frames || gap < 0 || width <= 0 || height <= 0) {
        return false;
    }
    const int64_t along = orientation == kStripVertical ? height : width;
    const int64_t from = index * (along + gap) / frames;
    const int64_t to = (index + 1) * (along + gap) / frames - gap;
    if (to <= from || to > along) {
        return false;
    }
    if (orientation == kStripVertical) {
        *frame = MakeRect(0, static_cast<int32_t>(from), width, static_cast<int32_t>(to));
    } else {
        *frame = MakeRect(static_cast<int32_t>(from), 0, static_cast<int32_t>(to), height);
    }
    return true;
}

ImageStrip::ImageStrip(std::wstring path, int32_t frames, int32_t orientation, int32_t gap)
    : path_(std::move(path)), frames_(frames), orientation_(orientation), gap_(gap) {}

Bitmap* ImageStrip::bitmap() {
    if (!loaded_) {
        loaded_ = true;
        bitmap_ = Ref<Bitmap>(GetBitmap(path_));
    }
    return bitmap_.get();
}

void ImageStrip::SetBitmap(Bitmap* bitmap) {
    bitmap_ = Ref<Bitmap>(bitmap);
    loaded_ = true;
}

Bitmap* ImageStrip::FrameBitmap(int32_t index) {
    Bitmap* whole = bitmap();
    RECT rect;
    if (!whole || !StripFrameRect(whole->width(), whole->height(), frames_, orientation_, gap_,
                                  index, &rect)) {
        return nullptr;
    }
    return Bitmap::CreateView(whole, rect);
}

StretchImage* ImageStrip::FrameStretch(int32_t index, int32_t type) {
    Ref<Bitmap> frame = Ref<Bitmap>::Adopt(FrameBitmap(index));
    if (!frame) {
        return nullptr;
    }
    StretchImage* image = StretchImage::Create(type);
    if (image && !image->SetSource(frame.get())) {
        image->Release();
        return nullptr;
    }
    return image;
}

}  // namespace qm::skin
