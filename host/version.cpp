#include "host/version.h"

#include <climits>

namespace {

bool is_blank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// Scans one number at p the way a scanf conversion does. On success p is
// moved past it, the sign and the magnitude (saturated at limit + 1, enough to
// tell an overflow) are returned through the out parameters.
bool scan_number(const wchar_t*& p, bool& negative, unsigned long long& magnitude,
                 unsigned long long limit) {
    const wchar_t* q = p;
    while (is_blank(*q)) {
        ++q;
    }
    negative = false;
    if (*q == L'+' || *q == L'-') {
        negative = *q == L'-';
        ++q;
    }
    if (*q < L'0' || *q > L'9') {
        return false;
    }
    magnitude = 0;
    for (; *q >= L'0' && *q <= L'9'; ++q) {
        if (magnitude <= limit) {
            magnitude = magnitude * 10 + static_cast<unsigned long long>(*q - L'0');
        }
    }
    if (magnitude > limit) {
        magnitude = limit + 1;
    }
    p = q;
    return true;
}

// Walks "n.n.n.n", calling store(index, negative, magnitude) for each number
// read, and stops where scanning would.
template <typename Store>
void scan_version(const wchar_t* text, unsigned long long limit, Store store) {
    if (!text) {
        return;
    }
    const wchar_t* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != L'.') {
                return;
            }
            ++p;
        }
        bool negative = false;
        unsigned long long magnitude = 0;
        if (!scan_number(p, negative, magnitude, limit)) {
            return;
        }
        store(i, negative, magnitude);
    }
}

}  // namespace

std::array<int, 4> parse_version_signed(const wchar_t* text) {
    std::array<int, 4> parts{};
    const unsigned long long max_magnitude = static_cast<unsigned long long>(INT_MAX) + 1;
    scan_version(text, max_magnitude, [&](int i, bool negative, unsigned long long magnitude) {
        if (negative) {
            parts[i] = magnitude >= max_magnitude ? INT_MIN : -static_cast<int>(magnitude);
        } else {
            parts[i] = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
        }
    });
    return parts;
}

std::array<unsigned, 4> parse_version_unsigned(const wchar_t* text) {
    std::array<unsigned, 4> parts{};
    scan_version(text, UINT_MAX, [&](int i, bool negative, unsigned long long magnitude) {
        if (magnitude > UINT_MAX) {
            parts[i] = UINT_MAX;
        } else {
            const unsigned value = static_cast<unsigned>(magnitude);
            // As strtoul does: a minus sign negates in the unsigned type.
            parts[i] = negative ? 0u - value : value;
        }
    });
    return parts;
}

int compare_versions(const wchar_t* a, const wchar_t* b) {
    if (!a || !b) {
        return 0;
    }
    const std::array<int, 4> left = parse_version_signed(a);
    const std::array<int, 4> right = parse_version_signed(b);
    for (int i = 0; i < 4; ++i) {
        if (left[i] < right[i]) {
            return -1;
        }
        if (left[i] > right[i]) {
            return 1;
        }
    }
    return 0;
}

int version_parts_at_least(const wchar_t* installed, const wchar_t* required) {
    if (!installed || !required) {
        return 0;
    }
    const std::array<unsigned, 4> have = parse_version_unsigned(installed);
    const std::array<unsigned, 4> need = parse_version_unsigned(required);
    for (int i = 0; i < 4; ++i) {
        if (have[i] < need[i]) {
            return 0;
        }
    }
    return 1;
}
