#include <cstdio>
#include <string>
#include <vector>

#include "skin/bitmap.h"
#include "skin/image_file.h"
#include "skin/png_codec.h"

namespace qm::skin {

namespace {

std::string ToUtf8(const std::wstring& s) {
    std::string out;
    for (wchar_t wc : s) {
        const auto c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xc0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xe0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | c >> 18);
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

}  // namespace

Bitmap* LoadImageFile(const std::wstring& path) {
    if (!HasPngExtension(path)) {
        return nullptr;
    }
    std::FILE* f = std::fopen(ToUtf8(path).c_str(), "rb");
    if (!f) {
        return nullptr;
    }
    std::vector<uint8_t> data;
    const bool ok = ReadSmallFile(f, &data);
    std::fclose(f);
    return ok ? DecodePng(data.data(), data.size()) : nullptr;
}

}  // namespace qm::skin
