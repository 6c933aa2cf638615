// Placing a control inside its parent's rectangle: fill the parent, take a
// fixed rectangle, or anchor each edge to an edge of the parent. Plain
// arithmetic on rectangles; the control tree calls it on every layout pass.
#pragma once

#include <cstdint>

#include "skin/control_types.h"

namespace qm::skin {

enum LayoutModeValue : uint16_t {
    kLayoutNotSet = 0,  // never laid out
    kLayoutInherit = 1,
    kLayoutAbsolute = 2,
    kLayoutRelative = 3,
};

// Anchor bits of the relative mode. A set bit measures that edge from the
// parent's right (or bottom) edge, a clear bit from its left (or top) edge.
// The parse starts from 0xFF, so bits 4 to 7 stay set; they mean nothing.
enum AnchorFlag : uint8_t {
    kAnchorLeftFromRight = 1,
    kAnchorTopFromBottom = 2,
    kAnchorRightFromRight = 4,
    kAnchorBottomFromBottom = 8,
};

struct LayoutMode {
    uint16_t mode = kLayoutNotSet;
    uint8_t anchors = 0;
};

// Reads a mode string: "inherite", "absolute" (needs rect), or "relative:"
// and four letters l|r, t|b, l|r, t|b for the left, top, right and bottom
// edges (needs rect, whose fields are then the four edge offsets). mode->mode
// is reset to kLayoutNotSet first; on success the mode, the anchors (relative
// only) and *layout_rect (absolute and relative) are stored and 1 returned.
// On failure (null or unknown text, missing rect, a wrong letter or length)
// 0 is returned and only the reset has happened.
int ParseLayout(const char* text, const RECT* rect, LayoutMode* mode, RECT* layout_rect);

// The bounds for this mode inside parent. Returns 0 (and leaves *bounds
// alone) for a mode that is not set or not known. Edges that would leave the
// 32-bit range are held at its ends.
int ComputeLayout(const LayoutMode& mode, const RECT& layout_rect, const RECT& parent,
                  RECT* bounds);

}  // namespace qm::skin
