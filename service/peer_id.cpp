#include "service/peer_id.h"

#include <windows.h>

#include <cstring>

#include "host/host_paths.h"

namespace qm::win32::net {

const char peer_id_fallback[] = "FFFFFFFFFFFFFFFF";

char peer_id_product_char(unsigned product) {
    int digits = 0;
    for (unsigned v = product; v; v >>= 1) {
        ++digits;
    }
    if (digits < 6) {
        return static_cast<char>(49 + digits);
    }
    if (digits < 8) {
        return static_cast<char>(50 + digits);
    }
    return static_cast<char>(57 + digits);
}

std::string get_peer_id(unsigned product, const wchar_t* library_path) {
    std::string id = peer_id_fallback;
    std::wstring path;
    if (library_path && *library_path) {
        path = library_path;
    } else {
        module_folder(path);
        path += L"dl_peer_id.dll";
    }
    HMODULE library = LoadLibraryW(path.c_str());
    if (!library) {
        return id;
    }
    using get_fn = int(WINAPI*)(char*, int*);
    auto get =
        reinterpret_cast<get_fn>(reinterpret_cast<void*>(GetProcAddress(library, "get_peer_id")));
    if (get) {
        // A spare byte and a length check keep a misbehaving library from
        // reading or writing beyond the buffer.
        char buffer[33] = {};
        int length = 32;
        if (get(buffer, &length) == 0 && length > 0) {
            if (length > 32) {
                length = 32;
            }
            length = static_cast<int>(strnlen(buffer, static_cast<size_t>(length)));
            // An answer without a 16th place cannot carry the product mark.
            if (length >= 16) {
                id.assign(buffer, static_cast<size_t>(length));
                id[15] = peer_id_product_char(product);
            }
        }
    }
    FreeLibrary(library);
    return id;
}

}  // namespace qm::win32::net
