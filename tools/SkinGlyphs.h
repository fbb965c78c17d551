// The generator's shared look: the palette and the line glyphs every picture list draws with, so
// the pictures of every page and dialog read as one program.
#pragma once

#include "tools/SkinPainter.h"

namespace tools {

// The palette.
inline constexpr Rgba kTitle = Colour(0x1C1C1C);
inline constexpr Rgba kPanel = Colour(0x282828);
inline constexpr Rgba kPanelLight = Colour(0x303030);
inline constexpr Rgba kEdge = Colour(0x444444);
inline constexpr Rgba kEdgeSoft = Colour(0x3A3A3A);
inline constexpr Rgba kGlyph = Colour(0xDCDCDC);
inline constexpr Rgba kGlyphDark = Colour(0x404040);
inline constexpr Rgba kAccent = Colour(0x4682C8);
inline constexpr Rgba kAmber = Colour(0xD2A03C);
inline constexpr Rgba kRed = Colour(0xC4524C);
inline constexpr Rgba kWhite = Colour(0xF0F0F0);
inline constexpr float kStroke = 1.5f;

Rgba WithAlpha(Rgba c, float a);

// Glyphs, drawn in a box (x, y, size). Chevron direction: 0 right, 1 down, 2 left, 3 up.
void GlyphChevron(SkinCanvas& c, float x, float y, float s, int direction, Rgba col, float w = kStroke);
void GlyphClose(SkinCanvas& c, float x, float y, float s, Rgba col);
void GlyphPlus(SkinCanvas& c, float x, float y, float s, Rgba col, bool vertical = true);
void GlyphCheck(SkinCanvas& c, float x, float y, float s, Rgba col, float w = 2.f);
void GlyphMagnifier(SkinCanvas& c, float x, float y, float s, Rgba col, int sign);
void GlyphRotate(SkinCanvas& c, float x, float y, float s, Rgba col, bool clockwise);

} // namespace tools
