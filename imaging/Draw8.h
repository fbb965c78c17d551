// The drawing primitives every sprite draws with, on 8-bit BGRA images: alpha blits, fills
// through coverage masks, rectangles, nine-part frames, gradient lines and thick anti-aliased
// lines. All blending goes through AlphaTables; without them nothing is drawn.
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>

// Right and bottom exclusive. As a clip rectangle, left == right means the whole target.
struct DrawRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Colours are 0x00RRGGBB.
inline uint8_t ColourRed(uint32_t c) { return uint8_t(c >> 16); }
inline uint8_t ColourGreen(uint32_t c) { return uint8_t(c >> 8); }
inline uint8_t ColourBlue(uint32_t c) { return uint8_t(c); }

// Alpha blit of source at (x, y). k = opacity * source alpha >> 8 weights each pixel; with
// accumulateAlpha the target alpha grows by the same weight, else it stays. opacity 256 draws
// the source at its own alpha.
void BlendImage8(ImageBuffer8& target, const ImageBuffer8& source, int x, int y,
                 bool accumulateAlpha, int opacity, const DrawRect& clip = {});

// Paints colour where the coverage image's red byte is above 0, weighted by it.
void FillThroughMask8(ImageBuffer8& target, const ImageBuffer8& coverage, int x, int y,
                      uint32_t colour, const DrawRect& clip = {});

// Blends colour into the rectangle weighted by alpha and each pixel's own alpha; alpha 255
// also makes transparent pixels opaque.
void FillRect8(ImageBuffer8& target, const DrawRect& rect, uint32_t colour, int alpha);

// One-pixel outline without its four corner pixels.
void DrawRectOutline8(ImageBuffer8& target, uint32_t colour, int alpha, int left, int top,
                      int right, int bottom);

// Fills the whole target from a nine-part template: corners copied, middle bands repeated.
// A split of 0 centres the band.
void TileFrame8(ImageBuffer8& target, const ImageBuffer8& frameTemplate, int splitX, int splitY);

// Vertical (x0 == x1) or left-to-right horizontal gradient line from colour A to colour B;
// mode 1 is symmetric (B at both ends, A in the middle).
void DrawGradientLine8(ImageBuffer8& target, uint32_t colourA, uint32_t colourB, int mode, int x0,
                       int y0, int x1, int y1, double exponent);

// The current point of the line primitives. The toolkit's shared pen lives in
// SharedTextResources() (imaging/TextRender.h), under its lock.
struct DrawPen {
    int32_t x = 0;
    int32_t y = 0;
};

void MovePenTo8(DrawPen& pen, int x, int y);
// Thick anti-aliased line from the pen to (x, y), width in tenths of a pixel; dashed lines
// alternate colour and black every 4 pixels. The pen moves to (x, y).
void DrawLineTo8(ImageBuffer8& target, DrawPen& pen, uint32_t colour, int widthTenths, bool dashed,
                 int alpha, int x, int y);
void DrawRectLines8(ImageBuffer8& target, DrawPen& pen, uint32_t colour, int widthTenths,
                    bool dashed, int left, int top, int right, int bottom);
void DrawEllipseLines8(ImageBuffer8& target, DrawPen& pen, uint32_t colour, int left, int top,
                       int right, int bottom);

// Digits "0".."9" (frames 0..9) and "+" (frame 10) from a digit strip, painted through
// FillThroughMask8; other characters are skipped without advancing. x advances by 20 for the
// large strip, 5 for the small one.
void DrawDigits8(ImageBuffer8& target, const ImageList8& strip, const char16_t* text, int x, int y,
                 uint32_t colour, bool large);
