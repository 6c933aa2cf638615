// Drawing bitmaps and stretch images into 32-bit premultiplied surfaces.
// Portable: plain loops over memory.
#pragma once

#include <cstdint>

#include "skin/bitmap.h"

namespace qm::skin {

class StretchImage;

// A new transparent 32-bit surface (the caller owns the reference), or null.
Bitmap* CreateSurface(int32_t width, int32_t height);

// Draws the source rectangle of bitmap (null: all of it) into the destination
// rectangle of surface, source-over at full opacity: 1:1 when the sizes are
// equal, scaled (bilinear, never reading outside the source rectangle)
// otherwise. Clipped to the surface. Returns 0, or -1 for a null or
// non-32-bit surface, a null bitmap or a source rectangle outside it.
int DrawBitmap(Bitmap* surface, Bitmap* bitmap, const RECT& destination,
               const RECT* source = nullptr);

// As DrawBitmap, with an opacity (0 to 255) and a clip rectangle in surface
// coordinates.
int DrawBitmapClipped(Bitmap* surface, Bitmap* bitmap, const RECT& destination, const RECT& source,
                      int32_t opacity, const RECT& clip);

// Lays image out for the destination rectangle (its expressions run again
// only when that rectangle differs from the last one) and draws each region
// whose destination is non-empty, clipped to the destination, at the given
// opacity. Tiled images repeat their source over the destination. Returns 0,
// or -1 for a null surface or image, or an image without a source.
int DrawStretchImage(Bitmap* surface, StretchImage* image, const RECT& destination,
                     int32_t opacity = 255);

}  // namespace qm::skin
