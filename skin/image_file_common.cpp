#include <cstdio>
#include <vector>

#include "skin/image_file.h"
#include "skin/png_codec.h"

namespace qm::skin {

bool HasPngExtension(const std::wstring& path) {
    if (path.size() < 4) {
        return false;
    }
    const wchar_t* e = path.c_str() + path.size() - 4;
    return e[0] == L'.' && (e[1] | 0x20) == L'p' && (e[2] | 0x20) == L'n' && (e[3] | 0x20) == L'g';
}

// Reads a whole file, refusing anything beyond the PNG size limit.
bool ReadSmallFile(std::FILE* f, std::vector<uint8_t>* out) {
    out->clear();
    uint8_t block[65536];
    for (;;) {
        const size_t n = std::fread(block, 1, sizeof block, f);
        if (n == 0) {
            break;
        }
        if (out->size() + n > kMaxPngFileBytes) {
            return false;
        }
        out->insert(out->end(), block, block + n);
    }
    return std::ferror(f) == 0;
}

}  // namespace qm::skin
