// Loading one image file, per platform. Windows: a path without ":" (nor a
// leading backslash) is taken relative to the program's folder; ".png" (in
// any case) goes to the PNG decoder and everything else to GDI+. Elsewhere
// only PNG files load.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qm::skin {

class Bitmap;

// A new 32-bit premultiplied bitmap (the caller owns the reference), or null.
Bitmap* LoadImageFile(const std::wstring& path);

// Whether the path ends in ".png", compared without case.
bool HasPngExtension(const std::wstring& path);

// Reads a whole open file into *out; false on a read error or when the file
// is larger than kMaxPngFileBytes.
bool ReadSmallFile(std::FILE* f, std::vector<uint8_t>* out);

}  // namespace qm::skin
