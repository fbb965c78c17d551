// Enlarging one logical tile of the back buffer to window pixels at display scale 1.5 and 2,
// by fixed interpolation rules (corners of each pixel group copied, the rest averaged), so the
// platform only ever copies 1:1.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Window.h"

// Window-pixel block of a logical rectangle: x0 = left * clientW / logicalW and so on.
platform::Rect ScaledBlockRect(const platform::Rect& logical, int clientWidth, int clientHeight,
                               int logicalWidth, int logicalHeight);

// Writes the enlarged pixels of `source` rectangle `r` of `back` into `block`, which is
// (re)allocated large enough for whole pixel groups and cleared first. scale 1.5 makes every
// 2 x 2 group 3 x 3; any other scale makes every pixel a 2 x 2 group. Pixels beyond the back
// buffer repeat its last row and column. Returns 0 when the block cannot be allocated.
int ScaleTileBlock(const ImageBuffer8& back, const platform::Rect& r, double scale, ImageBuffer8& block);
