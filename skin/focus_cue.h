// The keyboard focus cue of the interactive controls: a dotted one-pixel
// rectangle, drawn into the surface. Portable.
#pragma once

#include <cstdint>

#include "skin/bitmap.h"

namespace qm::skin {

// Light enough to read on the skin's dark buttons and panels, and not quite
// opaque so that it sits on the artwork instead of cutting it.
constexpr uint32_t kFocusCueColour = 0xD8E6ECF5;

// Draws every other pixel of the rectangle's outline (right and bottom
// exclusive, like every RECT), blended source-over in the colour (0xAARRGGBB).
// The dots keep their place on the surface's checkerboard, so the cue looks
// the same wherever the rectangle falls. Clipped to the surface; an empty
// rectangle draws nothing.
void DrawFocusCue(Bitmap* surface, const RECT& rect, uint32_t argb = kFocusCueColour);

// The cue's rectangle for a control: its bounds inset by 2 pixels.
RECT FocusCueRect(const RECT& bounds);

// The cue's rectangle around a caption's line: one pixel out on the left,
// where a check box's box is close, two elsewhere; kept inside the
// control's bounds.
RECT CaptionCueRect(const RECT& ink, const RECT& bounds);

}  // namespace qm::skin
