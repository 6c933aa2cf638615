#include <objidl.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "skin/bitmap.h"
#include "skin/image_file.h"
#include "skin/png_codec.h"

#include "skin/gdiplus.h"

namespace qm::skin {
namespace {

// A relative path names a file beside the program, never one in the current
// directory, which other threads (and the engine's loading) may change.
std::wstring ResolvePath(const std::wstring& path) {
    if (path.find(L':') != std::wstring::npos || (!path.empty() && path[0] == L'\\')) {
        return path;
    }
    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &module[0], static_cast<DWORD>(module.size()));
        if (n == 0) {
            return path;
        }
        if (n < module.size()) {
            module.resize(n);
            break;
        }
        if (module.size() >= 32768) {
            return path;
        }
        module.resize(module.size() * 2);
    }
    const size_t cut = module.find_last_of(L"\\/");
    if (cut == std::wstring::npos) {
        return path;
    }
    return module.substr(0, cut + 1) + path;
}

Bitmap* LoadPngFile(const std::wstring& path) {
    std::FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) {
        return nullptr;
    }
    std::vector<uint8_t> data;
    const bool ok = ReadSmallFile(f, &data);
    std::fclose(f);
    return ok ? DecodePng(data.data(), data.size()) : nullptr;
}

// Draws the image 1:1 into a premultiplied 32-bit buffer that GDI+ writes
// straight into the bitmap's pixels.
Bitmap* LoadGdiplusFile(const std::wstring& path) {
    Gdiplus::Image* image = Gdiplus::Image::FromFile(path.c_str());
    if (!image) {
        return nullptr;
    }
    Bitmap* out = nullptr;
    if (image->GetLastStatus() == Gdiplus::Ok) {
        const UINT w = image->GetWidth();
        const UINT h = image->GetHeight();
        if (w > 0 && h > 0 && w <= static_cast<UINT>(kMaxBitmapSide) &&
            h <= static_cast<UINT>(kMaxBitmapSide)) {
            out = Bitmap::Create(static_cast<int32_t>(w), static_cast<int32_t>(h));
        }
        if (out) {
            Gdiplus::Bitmap target(static_cast<INT>(w), static_cast<INT>(h), out->stride(),
                                   PixelFormat32bppPARGB, out->pixels());
            bool drawn = false;
            if (target.GetLastStatus() == Gdiplus::Ok) {
                Gdiplus::Graphics graphics(&target);
                graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
                drawn = graphics.DrawImage(image, 0, 0, static_cast<INT>(w), static_cast<INT>(h)) ==
                        Gdiplus::Ok;
            }
            if (drawn) {
                out->set_premultiplied(true);
            } else {
                out->Release();
                out = nullptr;
            }
        }
    }
    delete image;
    return out;
}

}  // namespace

Bitmap* LoadImageFile(const std::wstring& path) {
    if (path.empty()) {
        return nullptr;
    }
    const std::wstring full = ResolvePath(path);
    return HasPngExtension(full) ? LoadPngFile(full) : LoadGdiplusFile(full);
}

}  // namespace qm::skin
