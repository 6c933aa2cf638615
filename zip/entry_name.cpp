#include "zip/entry_name.h"

namespace {

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

// Windows drops trailing dots and blanks from a path part, so "..." and
// ". ." name the parent folder as surely as ".." does; a lone "." stays.
bool climbs(const char* part, const char* end) {
    int dots = 0;
    for (const char* p = part; p != end; ++p) {
        if (*p == '.') {
            ++dots;
        } else if (*p != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

}  // namespace

bool zip_entry_name_is_safe(const char* name) {
    if (!name || !*name || is_separator(name[0])) {
        return false;
    }
    const char* part = name;
    for (const char* p = name;; ++p) {
        if (*p == ':') {
            return false;
        }
        if (*p == '\0' || is_separator(*p)) {
            if (climbs(part, p)) {
                return false;
            }
            if (*p == '\0') {
                return true;
            }
            part = p + 1;
        }
    }
}
