// The palette's helpers and the line glyphs (see SkinGlyphs.h).
#include "tools/SkinGlyphs.h"

#include <cmath>
#include <vector>

namespace tools {

Rgba WithAlpha(Rgba c, float a)
{
    c.a = a;
    return c;
}

// ---- glyphs, drawn in a box (x, y, size) ---------------------------------------------------

void GlyphChevron(SkinCanvas& c, float x, float y, float s, int direction, Rgba col, float w)
{
    // direction: 0 right, 1 down, 2 left, 3 up
    float cx = x + s / 2, cy = y + s / 2, a = s * 0.18f, b = s * 0.32f;
    std::vector<PointF> p;
    switch (direction) {
    case 0: p = {{cx - a, cy - b}, {cx + a, cy}, {cx - a, cy + b}}; break;
    case 1: p = {{cx - b, cy - a}, {cx, cy + a}, {cx + b, cy - a}}; break;
    case 2: p = {{cx + a, cy - b}, {cx - a, cy}, {cx + a, cy + b}}; break;
    default: p = {{cx - b, cy + a}, {cx, cy - a}, {cx + b, cy + a}}; break;
    }
    c.StrokeLine(p, w, col);
}

void GlyphClose(SkinCanvas& c, float x, float y, float s, Rgba col)
{
    float m = s * 0.3f;
    c.StrokeLine({{x + m, y + m}, {x + s - m, y + s - m}}, kStroke, col);
    c.StrokeLine({{x + s - m, y + m}, {x + m, y + s - m}}, kStroke, col);
}

void GlyphPlus(SkinCanvas& c, float x, float y, float s, Rgba col, bool vertical)
{
    float m = s * 0.25f;
    c.StrokeLine({{x + m, y + s / 2}, {x + s - m, y + s / 2}}, kStroke, col);
    if (vertical)
        c.StrokeLine({{x + s / 2, y + m}, {x + s / 2, y + s - m}}, kStroke, col);
}

void GlyphCheck(SkinCanvas& c, float x, float y, float s, Rgba col, float w)
{
    c.StrokeLine({{x + s * 0.22f, y + s * 0.52f}, {x + s * 0.42f, y + s * 0.72f}, {x + s * 0.78f, y + s * 0.3f}}, w, col);
}

void GlyphMagnifier(SkinCanvas& c, float x, float y, float s, Rgba col, int sign)
{
    float r = s * 0.26f, cx = x + s * 0.42f, cy = y + s * 0.42f;
    c.StrokeCircle(cx, cy, r, kStroke, col);
    c.StrokeLine({{cx + r * 0.75f, cy + r * 0.75f}, {x + s * 0.82f, y + s * 0.82f}}, 2.f, col);
    if (sign != 0) {
        float h = r * 0.55f;
        c.StrokeLine({{cx - h, cy}, {cx + h, cy}}, 1.2f, col);
        if (sign > 0)
            c.StrokeLine({{cx, cy - h}, {cx, cy + h}}, 1.2f, col);
    }
}

void GlyphRotate(SkinCanvas& c, float x, float y, float s, Rgba col, bool clockwise)
{
    float cx = x + s / 2, cy = y + s / 2 + s * 0.04f, r = s * 0.3f;
    std::vector<PointF> arc;
    for (int i = 0; i <= 20; ++i) {
        float t = (clockwise ? -0.9f : 0.1f) * 3.14159f + i * (1.3f * 3.14159f) / 20.f;
        arc.push_back({cx + r * std::cos(t), cy - r * std::sin(t)});
    }
    c.StrokeLine(arc, kStroke, col);
    PointF tip = clockwise ? arc.front() : arc.back();
    float d = s * 0.14f;
    c.FillPolygon({{tip.x - d, tip.y - d * 0.2f}, {tip.x + d, tip.y - d * 0.2f}, {tip.x, tip.y + d * 1.1f}}, col);
}

} // namespace tools
