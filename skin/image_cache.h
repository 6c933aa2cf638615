// The process-wide image cache: bitmaps and stretch images by the path string
// exactly as the caller gave it. Entries live until ShutdownImageCache.
// Single-threaded: the user-interface thread owns it. Portable; the file
// loader behind it is per platform (image_file.h).
#pragma once

#include <cstdint>
#include <string>

namespace qm::skin {

class Bitmap;
class StretchImage;

void InitializeImageCache();
// Releases every entry; later calls load again.
void ShutdownImageCache();

// The bitmap of a path, loaded on the first call; null when the file cannot
// be loaded (nothing is cached then). Borrowed: the cache keeps the reference.
Bitmap* GetBitmap(const std::wstring& path);

// The stretch image of a path, made on the first call with the type given
// then; later calls return it whatever type they ask for. Null when the
// bitmap cannot be loaded or lacks the markers of the type (nothing is cached
// then). Borrowed, like GetBitmap.
StretchImage* GetStretchImage(const std::wstring& path, int32_t type);

// Entries cached, for tests.
size_t CachedBitmapCount();
size_t CachedStretchImageCount();

}  // namespace qm::skin
