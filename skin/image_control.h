// The image control and the descriptor every image slot of the standard
// controls holds: nothing, a plain bitmap, or a stretch image. Portable.
#pragma once

#include <cstdint>

#include "skin/bitmap.h"
#include "skin/control.h"
#include "skin/stretch_image.h"

namespace qm::skin {

struct ImageDescriptor {
    enum Kind : int32_t {
        kNone = 0,
        kBitmap = 1,
        kStretch = 2,
    };

    // A bitmap that failed to load (null) still gives a kBitmap descriptor:
    // its slot then draws nothing.
    static ImageDescriptor FromBitmap(Bitmap* bitmap);
    static ImageDescriptor FromStretch(StretchImage* image);

    // Whether there is anything to draw.
    bool HasImage() const;
    // The whole image: the bitmap's or the stretch image's source rectangle;
    // empty when there is none.
    RECT NaturalBounds() const;

    int32_t kind = kNone;
    Ref<Bitmap> bitmap;
    Ref<StretchImage> stretch;
};

class ImageControl : public Control {
  public:
    ImageControl();

    // With no source rectangle the whole image is drawn. Always returns 1.
    int SetImage(const ImageDescriptor& image, const RECT* source = nullptr);
    const ImageDescriptor& GetImage() const { return image_; }
    RECT GetSourceRect() const { return source_; }
    // Stretch images only; plain bitmaps are drawn opaque as they are.
    void SetOpacity(uint8_t opacity) { opacity_ = opacity; }
    uint8_t GetOpacity() const { return opacity_; }

    int Paint(Bitmap* surface) override;
    AccessRole GetAccessRole() const override;

  protected:
    ~ImageControl() override = default;

  private:
    ImageDescriptor image_;
    RECT source_{0, 0, 0, 0};
    uint8_t opacity_ = 255;
};

}  // namespace qm::skin
