// The pictures of the filter and geometry dialogs.
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

#include <cmath>

namespace tools {

namespace {

constexpr float kPi = 3.14159265f;

// One tapering ray from the centre: half width w at the centre, a point at length l.
void Ray(SkinCanvas& c, float cx, float cy, float angle, float l, float w, Rgba colour)
{
    const float dx = std::cos(angle), dy = std::sin(angle);
    c.FillPolygon({{cx - dy * w, cy + dx * w}, {cx + dx * l, cy + dy * l}, {cx + dy * w, cy - dx * w}}, colour);
}

// "starlight.png", 128-pixel frames: the six ray shapes of the star filter, white on black
// (the filter reads the green channel as the ray's strength). 0 a cross, 1 a diagonal cross,
// 2 six rays, 3 eight rays long and short, 4 eight even rays, 5 a sunburst of sixteen.
void DrawStarShapes(SkinCanvas& c)
{
    c.FillRoundRect(0, 0, float(c.Width()), float(c.Height()), 0, Grey(0));
    struct Shape {
        int rays;
        float start; // first ray's angle
        float width;
        bool alternate; // every second ray half as long
    };
    const Shape shapes[6] = {{4, 0, 3.2f, false},      {4, kPi / 4, 3.2f, false}, {6, kPi / 2, 2.8f, false},
                             {8, 0, 2.6f, true},       {8, kPi / 8, 2.4f, false}, {16, 0, 1.6f, true}};
    for (int i = 0; i < 6; ++i) {
        const float cx = i * 128.f + 64, cy = 64;
        const Shape& s = shapes[i];
        for (int r = 0; r < s.rays; ++r) {
            const float length = s.alternate && r % 2 ? 34.f : 62.f;
            const float a = s.start + 2 * kPi * r / s.rays;
            Ray(c, cx, cy, a, length, s.width * 2.2f, Grey(255, 0.35f)); // soft halo
            Ray(c, cx, cy, a, length, s.width, Grey(255));
        }
        c.FillCircle(cx, cy, 9, Grey(255, 0.4f));
        c.FillCircle(cx, cy, 5, Grey(255));
    }
}

// "Arrow.png", 16-pixel frames: line arrows pointing left, up, right and down (the canvas
// size dialog's anchor grid).
void DrawArrows(SkinCanvas& c)
{
    const float w = 1.5f;
    for (int i = 0; i < 4; ++i) {
        const float x = i * 16.f + 8, y = 8;
        // Drawn pointing right, then turned by i quarter turns from left.
        const float angle = kPi + i * kPi / 2;
        const float dx = std::cos(angle), dy = std::sin(angle);
        auto at = [&](float along, float across) { return PointF{x + dx * along - dy * across, y + dy * along + dx * across}; };
        c.StrokeLine({at(-4.5f, 0), at(4.5f, 0)}, w, kGlyph);
        c.StrokeLine({at(1, -3.5f), at(4.5f, 0), at(1, 3.5f)}, w, kGlyph);
    }
}

} // namespace

const std::vector<SkinImage>& FilterSkinImages()
{
    static const std::vector<SkinImage> images = {
        {u"starlight.png", 6 * 128, 128, 128, true, true, DrawStarShapes},
        {u"Arrow.png", 4 * 16, 16, 16, true, true, DrawArrows},
    };
    return images;
}

} // namespace tools
