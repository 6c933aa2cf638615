#include "skin/layout.h"

#include <cstring>
#include <limits>
#include <string_view>

namespace qm::skin {

namespace {

constexpr std::string_view kInherit = "inherite";
constexpr std::string_view kAbsolute = "absolute";
constexpr std::string_view kRelative = "relative:";

int32_t Offset(int32_t offset, int32_t edge) {
    const int64_t value = static_cast<int64_t>(offset) + edge;
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

}  // namespace

int ParseLayout(const char* text, const RECT* rect, LayoutMode* mode, RECT* layout_rect) {
    if (!mode || !layout_rect) {
        return 0;
    }
    mode->mode = kLayoutNotSet;
    if (!text) {
        return 0;
    }
    const std::string_view s(text, std::strlen(text));
    if (s == kInherit) {
        mode->mode = kLayoutInherit;
        return 1;
    }
    if (s == kAbsolute) {
        if (!rect) {
            return 0;
        }
        *layout_rect = *rect;
        mode->mode = kLayoutAbsolute;
        return 1;
    }
    if (!rect || s.size() != kRelative.size() + 4 || s.substr(0, kRelative.size()) != kRelative) {
        return 0;
    }
    uint8_t anchors = 0xFF;
    for (int i = 0; i < 4; ++i) {
        const char letter = s[kRelative.size() + static_cast<size_t>(i)];
        const bool horizontal = (i % 2) == 0;
        const char near_edge = horizontal ? 'l' : 't';
        const char far_edge = horizontal ? 'r' : 'b';
        if (letter == near_edge) {
            anchors = static_cast<uint8_t>(anchors & ~(1u << i));
        } else if (letter != far_edge) {
            return 0;
        }
    }
    *layout_rect = *rect;
    mode->mode = kLayoutRelative;
    mode->anchors = anchors;
    return 1;
}

int ComputeLayout(const LayoutMode& mode, const RECT& layout_rect, const RECT& parent,
                  RECT* bounds) {
    if (!bounds) {
        return 0;
    }
    switch (mode.mode) {
        case kLayoutInherit:
            *bounds = parent;
            return 1;
        case kLayoutAbsolute:
            *bounds = layout_rect;
            return 1;
        case kLayoutRelative: {
            const uint8_t a = mode.anchors;
            RECT r;
            r.left =
                Offset(layout_rect.left, (a & kAnchorLeftFromRight) ? parent.right : parent.left);
            r.top =
                Offset(layout_rect.top, (a & kAnchorTopFromBottom) ? parent.bottom : parent.top);
            r.right =
                Offset(layout_rect.right, (a & kAnchorRightFromRight) ? parent.right : parent.left);
            r.bottom = Offset(layout_rect.bottom,
                              (a & kAnchorBottomFromBottom) ? parent.bottom : parent.top);
            *bounds = r;
            return 1;
        }
        default:
            return 0;
    }
}

}  // namespace qm::skin
