#include "skin/image_cache.h"

#include <map>
#include <utility>

#include "skin/bitmap.h"
#include "skin/image_file.h"
#include "skin/stretch_image.h"

namespace qm::skin {
namespace {

struct Cache {
    std::map<std::wstring, Ref<Bitmap>> bitmaps;
    std::map<std::wstring, Ref<StretchImage>> stretch_images;
};

Cache& TheCache() {
    // Never destroyed: images may still be released by static objects after
    // the cache is gone at exit.
    static Cache* cache = new Cache;
    return *cache;
}

}  // namespace

void InitializeImageCache() {
    TheCache();
}

void ShutdownImageCache() {
    Cache& c = TheCache();
    c.stretch_images.clear();
    c.bitmaps.clear();
}

Bitmap* GetBitmap(const std::wstring& path) {
    Cache& c = TheCache();
    auto it = c.bitmaps.find(path);
    if (it != c.bitmaps.end()) {
        return it->second.get();
    }
    Ref<Bitmap> loaded = Ref<Bitmap>::Adopt(LoadImageFile(path));
    if (!loaded) {
        return nullptr;
    }
    Bitmap* b = loaded.get();
    c.bitmaps.emplace(path, std::move(loaded));
    return b;
}

StretchImage* GetStretchImage(const std::wstring& path, int32_t type) {
    Cache& c = TheCache();
    auto it = c.stretch_images.find(path);
    if (it != c.stretch_images.end()) {
        return it->second.get();
    }
    Bitmap* source = GetBitmap(path);
    if (!source) {
        return nullptr;
    }
    Ref<StretchImage> image = Ref<StretchImage>::Adopt(StretchImage::Create(type));
    if (!image || !image->SetSource(source)) {
        return nullptr;
    }
    StretchImage* s = image.get();
    c.stretch_images.emplace(path, std::move(image));
    return s;
}

size_t CachedBitmapCount() {
    return TheCache().bitmaps.size();
}
size_t CachedStretchImageCount() {
    return TheCache().stretch_images.size();
}

}  // namespace qm::skin
