// The pictures of the variant dialogs (colour-enhance compare and visual variants), in the
// generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

#include <cmath>

namespace tools {

namespace {

// "bigcheck.png", 64 x 64: the mark on the chosen variant, a calm accent disc with a light tick,
// and a dark rim so that it reads on light and dark pictures alike.
void DrawBigCheck(SkinCanvas& c)
{
    c.FillCircle(32, 32, 27, WithAlpha(Grey(0.08f), 0.55f));
    c.FillCircle(32, 32, 24, WithAlpha(kAccent, 0.92f));
    c.StrokeCircle(32, 32, 24, 1.5f, WithAlpha(kWhite, 0.55f));
    c.StrokeLine({{20, 33}, {28, 41}, {44, 24}}, 5.f, kWhite);
}

// Arrow head at the end (x, y) of a line pointing along (dx, dy).
void ArrowHead(SkinCanvas& c, float x, float y, float dx, float dy, Rgba colour)
{
    const float len = std::sqrt(dx * dx + dy * dy);
    dx /= len, dy /= len;
    const float s = 6;
    c.FillPolygon({{x + dx * 2, y + dy * 2}, {x - dx * s - dy * s * 0.6f, y - dy * s + dx * s * 0.6f},
                   {x - dx * s + dy * s * 0.6f, y - dy * s - dx * s * 0.6f}},
                  colour);
}

// Frame 0: the tone page's axes: contrast across (flat disc left, half-filled disc right),
// brightness up and down (a bright sun above, a dim disc below), the current version in the middle.
void DrawToneAxes(SkinCanvas& c)
{
    const float cx = 60, cy = 60;
    const Rgba line = WithAlpha(kGlyph, 0.75f);
    c.StrokeLine({{cx - 36, cy}, {cx + 36, cy}}, kStroke, line);
    c.StrokeLine({{cx, cy - 36}, {cx, cy + 36}}, kStroke, line);
    ArrowHead(c, cx + 38, cy, 1, 0, line);
    ArrowHead(c, cx - 38, cy, -1, 0, line);
    ArrowHead(c, cx, cy - 38, 0, -1, line);
    ArrowHead(c, cx, cy + 38, 0, 1, line);
    // The current version: a small framed picture.
    c.FillRoundRect(cx - 11, cy - 9, cx + 11, cy + 9, 3, kPanelLight);
    c.StrokeRoundRect(cx - 11, cy - 9, cx + 11, cy + 9, 3, kStroke, kAccent);
    c.StrokeLine({{cx - 7, cy + 5}, {cx - 2, cy - 1}, {cx + 2, cy + 2}, {cx + 7, cy - 4}}, 1.2f, kGlyph);
    // Contrast: less on the left, more on the right.
    c.StrokeCircle(11, cy, 7, 1.3f, WithAlpha(kGlyph, 0.6f));
    {
        std::vector<PointF> half{{109, cy - 7}};
        for (int k = 0; k <= 12; ++k) {
            const float a = -1.5707963f + float(k) * 3.14159265f / 12;
            half.push_back({109 + 7 * std::cos(a), cy + 7 * std::sin(a)});
        }
        c.FillPolygon(half, kGlyph);
        c.StrokeCircle(109, cy, 7, 1.3f, kGlyph);
    }
    // Brightness: a sun above, a dim disc below.
    c.FillCircle(cx, 11, 4.5f, kGlyph);
    for (int k = 0; k < 8; ++k) {
        const float a = float(k) * 3.14159265f / 4;
        c.StrokeLine({{cx + 6.5f * std::cos(a), 11 + 6.5f * std::sin(a)}, {cx + 9 * std::cos(a), 11 + 9 * std::sin(a)}},
                     1.2f, kGlyph);
    }
    c.FillCircle(cx, 109, 6, Grey(0.33f));
    c.StrokeCircle(cx, 109, 6, 1.2f, WithAlpha(kGlyph, 0.6f));
}

// Frame 1: the colour page's axes 120 degrees apart: red up and right, green down and right,
// blue to the left, each ending in a muted disc of its colour.
void DrawColourAxes(SkinCanvas& c)
{
    const float ox = 120, cx = ox + 60, cy = 60, r = 38;
    const Rgba line = WithAlpha(kGlyph, 0.75f);
    struct Axis {
        float dx, dy;
        Rgba colour;
    };
    const Axis axes[3] = {{0.5f, -0.8660254f, Colour(0xC4524C)},
                          {0.5f, 0.8660254f, Colour(0x5FA860)},
                          {-1, 0, Colour(0x4C78C4)}};
    for (const Axis& a : axes) {
        c.StrokeLine({{cx - a.dx * r * 0.55f, cy - a.dy * r * 0.55f}, {cx + a.dx * r, cy + a.dy * r}}, kStroke, line);
        ArrowHead(c, cx + a.dx * (r + 2), cy + a.dy * (r + 2), a.dx, a.dy, line);
        const float ex = cx + a.dx * (r + 13), ey = cy + a.dy * (r + 13);
        c.FillCircle(ex, ey, 7, a.colour);
        c.StrokeCircle(ex, ey, 7, 1.2f, WithAlpha(kGlyph, 0.7f));
    }
    c.FillRoundRect(cx - 11, cy - 9, cx + 11, cy + 9, 3, kPanelLight);
    c.StrokeRoundRect(cx - 11, cy - 9, cx + 11, cy + 9, 3, kStroke, kAccent);
    c.StrokeLine({{cx - 7, cy + 5}, {cx - 2, cy - 1}, {cx + 2, cy + 2}, {cx + 7, cy - 4}}, 1.2f, kGlyph);
}

void DrawVisualAxes(SkinCanvas& c)
{
    DrawToneAxes(c);
    DrawColourAxes(c);
}

} // namespace

const std::vector<SkinImage>& VariantSkinImages()
{
    static const std::vector<SkinImage> images = {
        {u"bigcheck.png", 64, 64, 0, true, true, DrawBigCheck},
        {u"visual.png", 2 * 120, 120, 120, true, true, DrawVisualAxes},
    };
    return images;
}

} // namespace tools
