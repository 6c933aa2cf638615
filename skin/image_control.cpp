#include "skin/image_control.h"

#include "skin/surface.h"

namespace qm::skin {

ImageDescriptor ImageDescriptor::FromBitmap(Bitmap* bitmap) {
    ImageDescriptor d;
    d.kind = kBitmap;
    d.bitmap = Ref<Bitmap>(bitmap);
    return d;
}

ImageDescriptor ImageDescriptor::FromStretch(StretchImage* image) {
    ImageDescriptor d;
    d.kind = kStretch;
    d.stretch = Ref<StretchImage>(image);
    return d;
}

bool ImageDescriptor::HasImage() const {
    switch (kind) {
        case kBitmap:
            return static_cast<bool>(bitmap);
        case kStretch:
            return stretch && stretch->source();
        default:
            return false;
    }
}

RECT ImageDescriptor::NaturalBounds() const {
    if (kind == kBitmap && bitmap) {
        return bitmap->Bounds();
    }
    if (kind == kStretch && stretch && stretch->source()) {
        return stretch->source()->Bounds();
    }
    return MakeRect(0, 0, 0, 0);
}

ImageControl::ImageControl() {
    SetClassName("ImageControl");
}

int ImageControl::SetImage(const ImageDescriptor& image, const RECT* source) {
    image_ = image;
    source_ = source ? *source : image_.NaturalBounds();
    return 1;
}

int ImageControl::Paint(Bitmap* surface) {
    const RECT bounds = GetBounds();
    if (image_.kind == ImageDescriptor::kBitmap && image_.bitmap) {
        DrawBitmap(surface, image_.bitmap.get(), bounds, &source_);
    } else if (image_.kind == ImageDescriptor::kStretch && image_.stretch) {
        DrawStretchImage(surface, image_.stretch.get(), bounds, opacity_);
    }
    return Control::Paint(surface);
}

Control::AccessRole ImageControl::GetAccessRole() const {
    return AccessRole::kGraphic;
}

}  // namespace qm::skin
