// The generator's pictures. Sizes and frame layouts are what the widgets cut and index; the
// drawing is ours.
#include "tools/SkinImages.h"

#include "tools/SkinGlyphs.h"

#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/FileSystem.h"
#include "platform/Font.h"
#include "platform/Path.h"

#include <algorithm>
#include <cmath>

namespace tools {

namespace {

// ---- the pictures ----------------------------------------------------------------------------

void DrawFrame(SkinCanvas& c)
{
    // Dialog and window frame: a dark title band (the dialog lightens it towards the top),
    // the body, a one-pixel lighter edge. It is tiled with corners kept and the middle bands
    // repeated, and a 96-pixel picture's top corner reaches row 30: the whole title bar stays in
    // the corner, the repeated band is plain body.
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(0, 0, w, h, 4, kPanel);
    c.FillDistance([&](float x, float y) { return std::max(RoundRectDistance(x, y, 0, 0, w, h, 4), y - 28.f); },
                   kTitle);
    c.FillRoundRect(1, 28, w - 1, 29, 0, kEdgeSoft);
    c.StrokeRoundRect(0, 0, w, h, 4, 1, kEdge);
}

void DrawButtonFace(SkinCanvas& c)
{
    // The button takes only the red byte, as the alpha of its face colour scaled by the hover
    // level (about a quarter at rest up to nearly twice when pressed): a faint plate with a
    // clearer rim keeps the light caption readable at every level.
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(0, 0, w, h, 4, Grey(255, 0.17f));
    c.StrokeRoundRect(0, 0, w, h, 4, 1, Grey(255, 0.47f));
    c.ToMask();
}

void DrawRoundFrame(SkinCanvas& c)
{
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(0, 0, w, h, 4, WithAlpha(kPanelLight, 0.92f));
    c.StrokeRoundRect(0, 0, w, h, 4, 1, kEdge);
}

void DrawTabTitleBackground(SkinCanvas& c)
{
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(0, 0, w, h, 4, Colour(0x3C3C3C));
    c.FillRoundRect(6, h - 3, w - 6, h - 1, 1, kAccent);
}

void DrawMainTabFrame(SkinCanvas& c)
{
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(0, 0, w, h, 4, Colour(0x232323));
    c.StrokeRoundRect(0, 0, w, h, 4, 1, kEdgeSoft);
}

void DrawScrollBar(SkinCanvas& c)
{
    // The bar's background, tiled from its middle: a plain track with a rule at its left edge
    // (in the corner columns), the thumb is the bar's own drawing.
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(0, 0, w, h, 0, Colour(0x1E1E1E));
    c.FillRoundRect(0, 0, 1, h, 0, Colour(0x2E2E2E));
}

void DrawDigits(SkinCanvas& c, int frameWidth, int pixelHeight)
{
    const char16_t* glyphs = u"0123456789+";
    for (int i = 0; i < 11; ++i)
        c.DrawText(std::u16string(1, glyphs[i]), i * frameWidth + frameWidth / 2.f, c.Height() / 2.f, pixelHeight, 700,
                   Grey(255));
    c.ToMask();
}
void DrawDigitStrip(SkinCanvas& c) { DrawDigits(c, 20, 26); }

void DrawSmallDigits(SkinCanvas& c)
{
    // A 4 x 7 pixel font: too small for outlines, so drawn pixel by pixel.
    static const char* const kFont[11][7] = {
        {".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."}, {"..#.", ".##.", "..#.", "..#.", "..#.", "..#.", ".###"},
        {".##.", "#..#", "...#", "..#.", ".#..", "#...", "####"}, {"###.", "...#", "...#", ".##.", "...#", "...#", "###."},
        {"..#.", ".##.", "#.#.", "#.#.", "####", "..#.", "..#."}, {"####", "#...", "###.", "...#", "...#", "#..#", ".##."},
        {".##.", "#...", "###.", "#..#", "#..#", "#..#", ".##."}, {"####", "...#", "..#.", "..#.", ".#..", ".#..", ".#.."},
        {".##.", "#..#", "#..#", ".##.", "#..#", "#..#", ".##."}, {".##.", "#..#", "#..#", ".###", "...#", "...#", ".##."},
        {"....", "....", ".#..", "###.", ".#..", "....", "...."},
    };
    for (int i = 0; i < 11; ++i)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 4; ++x)
                if (kFont[i][y][x] == '#')
                    c.FillRoundRect(float(i * 5 + x), float(y + 1), float(i * 5 + x + 1), float(y + 2), 0, Grey(255));
    c.ToMask();
}

void DrawCheckBoxes(SkinCanvas& c)
{
    for (int i = 0; i < 4; ++i) {
        bool checked = i & 1, disabled = i & 2;
        float x = i * 20.f + 3, y = 3;
        if (checked) {
            c.FillRoundRect(x, y, x + 14, y + 14, 3, disabled ? Colour(0x4A4A4A) : kAccent);
            GlyphCheck(c, x, y, 14, disabled ? Colour(0x8C8C8C) : kWhite);
        } else {
            c.FillRoundRect(x, y, x + 14, y + 14, 3, Colour(disabled ? 0x262626 : 0x1E1E1E));
            c.StrokeRoundRect(x, y, x + 14, y + 14, 3, kStroke, disabled ? Colour(0x4A4A4A) : Colour(0x9A9A9A));
        }
    }
}

void DrawRadios(SkinCanvas& c)
{
    for (int i = 0; i < 4; ++i) {
        bool checked = i & 1, disabled = i & 2;
        float cx = i * 20.f + 10, cy = 10;
        c.FillCircle(cx, cy, 7, Colour(disabled ? 0x262626 : 0x1E1E1E));
        c.StrokeCircle(cx, cy, 6.25f, kStroke, disabled ? Colour(0x4A4A4A) : checked ? kAccent : Colour(0x9A9A9A));
        if (checked)
            c.FillCircle(cx, cy, 3.2f, disabled ? Colour(0x8C8C8C) : kAccent);
    }
}

void DrawExpand(SkinCanvas& c)
{
    GlyphChevron(c, 0, 0, 16, 0, Colour(0xB4B4B4));
    GlyphChevron(c, 16, 0, 16, 1, Colour(0xB4B4B4));
}

void DrawIndicators(SkinCanvas& c)
{
    auto at = [](int i) { return float(i * 12); };
    // 0: curve point, 1: ring marker, 2: square marker and handle, 3: range marker (up arrow),
    // 4: small diamond, 5: shift handle, 6: sub-menu arrow, 7: check mark (inked), 8: bullet,
    // 9: panel item frame.
    c.FillCircle(at(0) + 6, 6, 4, kWhite);
    c.StrokeCircle(at(0) + 6, 6, 4, 1, Colour(0x202020));
    c.StrokeCircle(at(1) + 6, 6, 4, 2, kWhite);
    c.StrokeCircle(at(1) + 6, 6, 5.5f, 1, Colour(0x202020));
    c.FillRoundRect(at(2) + 2, 2, at(2) + 10, 10, 1, kWhite);
    c.StrokeRoundRect(at(2) + 2, 2, at(2) + 10, 10, 1, 1, Colour(0x202020));
    c.FillPolygon({{at(3) + 6, 1.5f}, {at(3) + 11, 10.5f}, {at(3) + 1, 10.5f}}, kAccent);
    c.FillPolygon({{at(4) + 6, 2}, {at(4) + 10, 6}, {at(4) + 6, 10}, {at(4) + 2, 6}}, kGlyph);
    c.FillRoundRect(at(5) + 1, 1, at(5) + 11, 11, 2, Colour(0xC8C8C8));
    c.StrokeRoundRect(at(5) + 1, 1, at(5) + 11, 11, 2, 1, Colour(0x505050));
    // The sub-menu arrow and the check mark are inked through their red byte in the menu's
    // own colours: white coverage.
    GlyphChevron(c, at(6), 0, 12, 0, Grey(255));
    GlyphCheck(c, at(7), 0, 12, Grey(255), 1.6f);
    c.ToMaskColumns(int(at(6)), int(at(8)));
    c.FillCircle(at(8) + 6, 6, 2.2f, kGlyph);
    // The panel item frame is tiled from its middle: square corners keep the band plain.
    c.FillRoundRect(at(9), 0, at(9) + 12, 12, 0, Colour(0x363636));
    c.StrokeRoundRect(at(9), 0, at(9) + 12, 12, 0, 1, Colour(0x4C4C4C));
}

// The album menu's own icon files, 16 x 16 line glyphs in dark grey: the menus are light.
void MenuGlyph(SkinCanvas& c, int i, float x, Rgba col)
{
    float s = 16, y = 0;
    switch (i) {
    case 0: GlyphRotate(c, x, y, s, col, false); break; // undo
    case 1: GlyphRotate(c, x, y, s, col, true); break;  // redo
    case 2:                                             // cut
        c.StrokeCircle(x + 5, y + 12, 2.2f, 1.2f, col);
        c.StrokeCircle(x + 11, y + 12, 2.2f, 1.2f, col);
        c.StrokeLine({{x + 6.5f, y + 10}, {x + 11, y + 2}}, 1.2f, col);
        c.StrokeLine({{x + 9.5f, y + 10}, {x + 5, y + 2}}, 1.2f, col);
        break;
    case 3: // copy
        c.StrokeRoundRect(x + 2.5f, y + 2.5f, x + 10, y + 11, 1.5f, 1.2f, col);
        c.StrokeRoundRect(x + 6, y + 5.5f, x + 13.5f, y + 14, 1.5f, 1.2f, col);
        break;
    case 4: // paste
        c.StrokeRoundRect(x + 3, y + 3, x + 13, y + 14.5f, 1.5f, 1.2f, col);
        c.FillRoundRect(x + 5.5f, y + 1.5f, x + 10.5f, y + 4.5f, 1, col);
        break;
    default: break;
    }
}

// The editor's menus index "menuicon.png" by meaning: 1 barrel distortion, 2 free crop,
// 3 image size, 4 shape, 5 crop, 6 automatic levels, 7 automatic contrast, 8 visual exposure,
// 9 spot metering and click colour, 10 film, 11 curves, 12 colour curves, 13 tone, 14 noise
// reduction, 15 skin, 16 starlight, 17 gradient, 18 defog, 19 filters, 20 smart erase,
// 21 diffuse; 0 a photo, 22 and 23 the two turns; 24 save, 25 print, 26 undo, 27 redo,
// 28 apply to other photos.
void AdjustGlyph(SkinCanvas& c, int i, float x, Rgba col)
{
    const float w = 1.2f;
    auto curve = [&](float x0, float y0, float x1, float y1, float bulge, int steps = 12) {
        std::vector<PointF> p;
        for (int k = 0; k <= steps; ++k) {
            float t = float(k) / steps;
            float nx = -(y1 - y0), ny = x1 - x0, len = std::hypot(nx, ny);
            float b = bulge * 4 * t * (1 - t);
            p.push_back({x0 + (x1 - x0) * t + nx / len * b, y0 + (y1 - y0) * t + ny / len * b});
        }
        return p;
    };
    switch (i) {
    case 0: // photo
        c.StrokeRoundRect(x + 1.5f, 2.5f, x + 14.5f, 13.5f, 1.5f, w, col);
        c.StrokeLine({{x + 3, 12}, {x + 7, 7}, {x + 10, 10}, {x + 11.5f, 8.5f}, {x + 13.5f, 11}}, w, col);
        c.FillCircle(x + 11, 5.5f, 1.3f, col);
        break;
    case 1: // barrel distortion
        c.StrokeLine(curve(x + 3, 2.5f, x + 3, 13.5f, 2.6f), w, col);
        c.StrokeLine(curve(x + 13, 2.5f, x + 13, 13.5f, -2.6f), w, col);
        c.StrokeLine({{x + 3, 2.5f}, {x + 13, 2.5f}}, w, col);
        c.StrokeLine({{x + 3, 13.5f}, {x + 13, 13.5f}}, w, col);
        break;
    case 2: // free crop
        c.StrokeLine({{x + 3, 6}, {x + 7, 2.5f}, {x + 13, 4}, {x + 12, 10}, {x + 7, 13.5f}, {x + 2.5f, 10}, {x + 3, 6}}, w,
                     col);
        break;
    case 3: // image size
        c.StrokeRoundRect(x + 1.5f, 1.5f, x + 14.5f, 14.5f, 1, w, col);
        c.StrokeRoundRect(x + 1.5f, 8, x + 8, 14.5f, 1, w, col);
        c.StrokeLine({{x + 8, 8}, {x + 12.5f, 3.5f}}, w, col);
        c.StrokeLine({{x + 9.5f, 3.5f}, {x + 12.5f, 3.5f}, {x + 12.5f, 6.5f}}, w, col);
        break;
    case 4: // shape
        for (int k = 0; k < 3; ++k)
            c.StrokeLine(curve(x + 2, 4.f + k * 4, x + 14, 4.f + k * 4, k == 1 ? 2.5f : 1.2f), w, col);
        break;
    case 5: // crop
        c.StrokeLine({{x + 4.5f, 1.5f}, {x + 4.5f, 11.5f}, {x + 14.5f, 11.5f}}, kStroke, col);
        c.StrokeLine({{x + 1.5f, 4.5f}, {x + 11.5f, 4.5f}, {x + 11.5f, 14.5f}}, kStroke, col);
        break;
    case 6: // automatic levels: a histogram
        for (int k = 0; k < 5; ++k) {
            const float heights[] = {4, 9, 12, 7, 3};
            c.FillRoundRect(x + 2 + k * 2.6f, 14 - heights[k], x + 3.8f + k * 2.6f, 14, 0.4f, col);
        }
        break;
    case 7: // automatic contrast
        c.StrokeCircle(x + 8, 8, 6, w, col);
        c.FillDistance([=](float px, float py) { return std::max(std::hypot(px - x - 8, py - 8) - 6, px - x - 8); }, col);
        break;
    case 8: // visual: an eye
        c.StrokeLine(curve(x + 1.5f, 8, x + 14.5f, 8, 4.5f), w, col);
        c.StrokeLine(curve(x + 1.5f, 8, x + 14.5f, 8, -4.5f), w, col);
        c.FillCircle(x + 8, 8, 2.2f, col);
        break;
    case 9: // spot: a target
        c.StrokeCircle(x + 8, 8, 5, w, col);
        c.StrokeLine({{x + 8, 1}, {x + 8, 5}}, w, col);
        c.StrokeLine({{x + 8, 11}, {x + 8, 15}}, w, col);
        c.StrokeLine({{x + 1, 8}, {x + 5, 8}}, w, col);
        c.StrokeLine({{x + 11, 8}, {x + 15, 8}}, w, col);
        break;
    case 10: // film
        c.StrokeRoundRect(x + 2.5f, 1.5f, x + 13.5f, 14.5f, 1, w, col);
        for (int k = 0; k < 4; ++k) {
            c.FillRoundRect(x + 3.6f, 3 + k * 3, x + 5, 4.4f + k * 3, 0.2f, col);
            c.FillRoundRect(x + 11, 3 + k * 3, x + 12.4f, 4.4f + k * 3, 0.2f, col);
        }
        break;
    case 11: // curves
    case 12: // colour curves
        c.StrokeLine({{x + 2, 1.5f}, {x + 2, 14}, {x + 14.5f, 14}}, 1, col);
        c.StrokeLine({{x + 3, 13}, {x + 6, 11}, {x + 8, 8}, {x + 10, 5}, {x + 14, 3}}, w, col);
        if (i == 12) {
            c.FillCircle(x + 6, 11, 1.6f, Colour(0xC4524C));
            c.FillCircle(x + 8.5f, 7.5f, 1.6f, Colour(0x4CA05A));
            c.FillCircle(x + 11.5f, 4, 1.6f, Colour(0x4682C8));
        }
        break;
    case 13: // tone: a drop
        c.FillDistance(
            [=](float px, float py) {
                float d = std::hypot(px - x - 8, py - 10) - 4.2f;
                float tri = std::max(std::fabs(px - x - 8) * 0.9f - (py - 2) * 0.45f, py - 10);
                return std::min(d, std::max(tri, 2.f - py));
            },
            col);
        break;
    case 14: // noise reduction
        for (int k = 0; k < 9; ++k)
            c.FillCircle(x + 3.5f + (k % 3) * 4.5f, 3.5f + (k / 3) * 4.5f, k % 2 ? 0.8f : 1.4f, col);
        break;
    case 15: // skin: a face
        c.StrokeCircle(x + 8, 8, 6, w, col);
        c.FillCircle(x + 6, 6.5f, 0.9f, col);
        c.FillCircle(x + 10, 6.5f, 0.9f, col);
        c.StrokeLine(curve(x + 5.5f, 10, x + 10.5f, 10, 1.4f, 8), 1, col);
        break;
    case 16: // starlight
        c.FillPolygon({{x + 8, 1}, {x + 9.3f, 6.7f}, {x + 15, 8}, {x + 9.3f, 9.3f}, {x + 8, 15}, {x + 6.7f, 9.3f}, {x + 1, 8},
                       {x + 6.7f, 6.7f}},
                      col);
        break;
    case 17: // gradient
        c.StrokeRoundRect(x + 1.5f, 3.5f, x + 14.5f, 12.5f, 1, 1, col);
        for (int k = 0; k < 11; ++k)
            c.FillRoundRect(x + 2.5f + k, 4.5f, x + 3.5f + k, 11.5f, 0, WithAlpha(col, 1.f - k / 11.f));
        break;
    case 18: // defog
        for (int k = 0; k < 3; ++k) {
            std::vector<PointF> wave;
            for (int t = 0; t <= 12; ++t)
                wave.push_back({x + 2 + t, 4.f + k * 4 + std::sin(t * 0.9f) * 1.1f});
            c.StrokeLine(wave, w, col);
        }
        break;
    case 19: // filters
        c.StrokeCircle(x + 6, 6, 3.8f, 1, col);
        c.StrokeCircle(x + 10, 6, 3.8f, 1, col);
        c.StrokeCircle(x + 8, 10, 3.8f, 1, col);
        break;
    case 20: // smart erase: an eraser
        c.StrokeLine({{x + 2, 10}, {x + 8, 4}, {x + 13, 9}, {x + 7, 15}, {x + 2, 10}}, w, col);
        c.StrokeLine({{x + 5, 7}, {x + 10, 12}}, w, col);
        break;
    case 21: // diffuse
        for (int k = 0; k < 12; ++k) {
            float a = k * 0.52f, r = 2.f + (k % 3) * 2.f;
            c.FillCircle(x + 8 + std::cos(a) * r, 8 + std::sin(a) * r, 0.9f, col);
        }
        break;
    case 22: GlyphRotate(c, x, 0, 16, col, false); break;
    case 23: GlyphRotate(c, x, 0, 16, col, true); break;
    case 24: // save: a disk
        c.StrokeRoundRect(x + 2, 2, x + 14, 14, 1.5f, w, col);
        c.FillRoundRect(x + 5, 2.5f, x + 11, 6, 0.5f, col);
        c.StrokeRoundRect(x + 4.5f, 9, x + 11.5f, 14, 0.5f, 1, col);
        break;
    case 25: // print: a printer
        c.StrokeRoundRect(x + 1.5f, 6, x + 14.5f, 12, 1.5f, w, col);
        c.StrokeLine({{x + 4.5f, 6}, {x + 4.5f, 2}, {x + 11.5f, 2}, {x + 11.5f, 6}}, w, col);
        c.FillRoundRect(x + 4.5f, 10, x + 11.5f, 14.5f, 0.5f, col);
        break;
    case 26: MenuGlyph(c, 0, x, col); break; // undo
    case 27: MenuGlyph(c, 1, x, col); break; // redo
    default: // apply to other photos: sheets and an arrow
        c.StrokeRoundRect(x + 1.5f, 4.5f, x + 7.5f, 12.5f, 1, 1, col);
        c.StrokeRoundRect(x + 9.5f, 2.5f, x + 14.5f, 8.5f, 1, 1, col);
        c.StrokeRoundRect(x + 9.5f, 9.5f, x + 14.5f, 14.5f, 1, 1, col);
        c.StrokeLine({{x + 6, 8.5f}, {x + 9, 8.5f}}, 1, col);
        break;
    }
}
constexpr int kMenuIcons = 29;

void DrawMenuIcons(SkinCanvas& c)
{
    for (int i = 0; i < kMenuIcons; ++i)
        AdjustGlyph(c, i, i * 16.f, kGlyphDark);
}

void DrawPanelButtons(SkinCanvas& c)
{
    // Backgrounds of panel items: plain, hovered, pressed, selected.
    const Rgba fills[] = {WithAlpha(kPanelLight, 0.0f), Colour(0x363636), Colour(0x2C2C2C), WithAlpha(kAccent, 0.35f)};
    for (int i = 0; i < 4; ++i) {
        float x = i * 40.f;
        c.FillRoundRect(x + 1, 1, x + 39, 39, 4, fills[i]);
        if (i > 0)
            c.StrokeRoundRect(x + 1, 1, x + 39, 39, 4, 1, i == 3 ? kAccent : kEdge);
    }
}

void DrawMessageIcons(SkinCanvas& c)
{
    // Information, question, warning, error; 64 x 64 each.
    c.FillCircle(32, 32, 22, kAccent);
    c.DrawText(u"i", 32, 32, 30, 700, kWhite);
    c.FillCircle(96, 32, 22, kAccent);
    c.DrawText(u"?", 96, 32, 30, 700, kWhite);
    c.FillDistance(
        [](float x, float y) {
            // A rounded triangle: the polygon's distance approximated by its three edges.
            const PointF p[3] = {{160, 10}, {184, 52}, {136, 52}};
            float d = -1e9f;
            for (int i = 0; i < 3; ++i) {
                PointF a = p[i], b = p[(i + 1) % 3];
                float nx = b.y - a.y, ny = a.x - b.x, len = std::hypot(nx, ny);
                d = std::max(d, ((x - a.x) * nx + (y - a.y) * ny) / len);
            }
            return d - 2.f;
        },
        kAmber);
    c.DrawText(u"!", 160, 37, 26, 700, Colour(0x1E1E1E));
    c.FillCircle(224, 32, 22, kRed);
    c.StrokeLine({{218, 26}, {230, 38}}, 3, kWhite);
    c.StrokeLine({{230, 26}, {218, 38}}, 3, kWhite);
}

void DrawTip(SkinCanvas& c)
{
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(0, 0, w, h, 4, WithAlpha(Colour(0x303030), 0.96f));
    c.StrokeRoundRect(0, 0, w, h, 4, 1, Colour(0x5A5A5A));
}

void DrawTipPoint(SkinCanvas& c)
{
    float w = float(c.Width()), h = float(c.Height());
    c.FillPolygon({{0, 0}, {w, 0}, {w / 2, h}}, WithAlpha(Colour(0x303030), 0.96f));
    c.StrokeLine({{0.5f, 0}, {w / 2, h - 0.7f}, {w - 0.5f, 0}}, 1, Colour(0x5A5A5A));
}

void DrawKeyboard(SkinCanvas& c)
{
    c.StrokeRoundRect(1.5f, 3.5f, 14.5f, 12.5f, 2, 1.2f, kAccent);
    for (int k = 0; k < 4; ++k)
        c.FillRoundRect(3.5f + k * 2.5f, 6, 4.7f + k * 2.5f, 7.2f, 0, kAccent);
    c.FillRoundRect(5, 9, 11, 10.2f, 0, kAccent);
}

void DrawSliderBar(SkinCanvas& c)
{
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(2, h / 2 - 2.5f, w - 2, h / 2 + 2.5f, 2.5f, Colour(0x1A1A1A));
    c.StrokeRoundRect(2, h / 2 - 2.5f, w - 2, h / 2 + 2.5f, 2.5f, 1, Colour(0x4A4A4A));
}

void DrawSliderThumb(SkinCanvas& c)
{
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(1, 1, w - 1, h - 1, 3, Colour(0xC8C8C8));
    c.StrokeRoundRect(1, 1, w - 1, h - 1, 3, 1, Colour(0x5A5A5A));
    c.StrokeLine({{w / 2, 5}, {w / 2, h - 5}}, 1, Colour(0x8C8C8C));
}

void DrawPencil(SkinCanvas& c)
{
    c.StrokeLine({{12.5f, 3.5f}, {4.5f, 11.5f}}, 2.6f, kGlyph);
    c.FillPolygon({{3, 13}, {3.5f, 10.5f}, {5.5f, 12.5f}}, kGlyph);
}

void DrawAppIcon(SkinCanvas& c)
{
    // An aperture-like ring in the accent: the program's own mark.
    float s = float(c.Width());
    c.StrokeCircle(s / 2, s / 2, s * 0.38f, s * 0.11f, kAccent);
    c.FillCircle(s / 2, s / 2, s * 0.14f, kGlyph);
}

void DrawTitle(SkinCanvas& c)
{
    // The main window's title image: the mark and the program's name.
    c.StrokeCircle(16, 17, 8, 2, kAccent);
    c.FillCircle(16, 17, 3, kGlyph);
    c.DrawText(u"Zendra", 62, 17, 15, 700, kGlyph);
}

void DrawAbout(SkinCanvas& c)
{
    float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(0, 0, w, h, 6, Colour(0x202020));
    c.FillDistance([&](float x, float y) { return std::max(RoundRectDistance(x, y, 0, 0, w, h, 6), 120.f - y); },
                   Colour(0x262626));
    c.StrokeRoundRect(0, 0, w, h, 6, 1, kEdge);
    c.StrokeCircle(110, 150, 52, 12, kAccent);
    c.FillCircle(110, 150, 18, kGlyph);
    c.DrawText(u"Zendra", 330, 140, 56, 700, kGlyph);
    c.DrawText(u"photo organiser and editor", 330, 200, 16, 400, Colour(0x9A9A9A));
}

void DrawPicViewTools(SkinCanvas& c)
{
    // 28-pixel frames; the picture view uses 0 zoom in, 1 zoom out, 3 real size and 4 best fit;
    // 2 compare and 5 rotate serve the other panes.
    for (int i = 0; i < 6; ++i) {
        float x = i * 28.f + 4, s = 20;
        switch (i) {
        case 0: GlyphMagnifier(c, x, 4, s, kGlyph, 1); break;
        case 1: GlyphMagnifier(c, x, 4, s, kGlyph, -1); break;
        case 2:
            c.StrokeRoundRect(x + 2, 7, x + 18, 21, 2, kStroke, kGlyph);
            c.StrokeLine({{x + 10, 5}, {x + 10, 23}}, kStroke, kGlyph);
            break;
        case 3: c.DrawText(u"1:1", x + 10, 14, 10, 700, kGlyph); break;
        case 4:
            c.StrokeRoundRect(x + 3, 7, x + 17, 21, 2, kStroke, kGlyph);
            c.StrokeLine({{x + 6, 12}, {x + 6, 10}, {x + 8, 10}}, 1.2f, kGlyph);
            c.StrokeLine({{x + 14, 16}, {x + 14, 18}, {x + 12, 18}}, 1.2f, kGlyph);
            break;
        default: GlyphRotate(c, x, 4, s, kGlyph, true); break;
        }
    }
}

template <int Kind>
void DrawButtonIcon(SkinCanvas& c)
{
    float s = float(c.Width());
    switch (Kind) {
    case 0: GlyphClose(c, 0, 0, s, kGlyph); break;
    case 1: // maximise
        c.StrokeRoundRect(s * 0.25f, s * 0.25f, s * 0.75f, s * 0.75f, 1, 1.2f, kGlyph);
        break;
    case 2: // restore
        c.StrokeRoundRect(s * 0.22f, s * 0.36f, s * 0.64f, s * 0.78f, 1, 1.2f, kGlyph);
        c.StrokeLine({{s * 0.36f, s * 0.36f}, {s * 0.36f, s * 0.22f}, {s * 0.78f, s * 0.22f}, {s * 0.78f, s * 0.64f},
                      {s * 0.64f, s * 0.64f}},
                     1.2f, kGlyph);
        break;
    case 3: c.StrokeLine({{s * 0.25f, s * 0.6f}, {s * 0.75f, s * 0.6f}}, kStroke, kGlyph); break; // minimise
    case 4: GlyphChevron(c, 0, 0, s, 2, kGlyph); break;                                          // left
    case 5: GlyphChevron(c, 0, 0, s, 0, kGlyph); break;                                          // right
    case 6: GlyphPlus(c, 0, 0, s, kGlyph); break;                                                 // add
    case 7: GlyphPlus(c, 0, 0, s, kGlyph, false); break;                                          // sub
    case 8:                                                                                        // help
        c.StrokeCircle(s / 2, s / 2, s * 0.38f, 1.2f, kGlyph);
        c.DrawText(u"?", s / 2, s / 2, int(s * 0.6f), 700, kGlyph);
        break;
    default: break;
    }
}

template <int Index>
void DrawMenuIconFile(SkinCanvas& c)
{
    MenuGlyph(c, Index, 0, kGlyphDark);
}

} // namespace

namespace {

std::vector<SkinImage> FrameSkinImages()
{
    return {
        // Loaded by the UI resources at start (basic folder).
        {u"frame.png", 96, 96, 0, true, true, DrawFrame},
        {u"btn.png", 24, 24, 0, true, true, DrawButtonFace},
        {u"roundframe.png", 24, 24, 0, true, true, DrawRoundFrame},
        {u"tabtitlebk.png", 32, 24, 0, true, true, DrawTabTitleBackground},
        {u"scrollbar.png", 17, 32, 0, true, true, DrawScrollBar},
        {u"digi.png", 11 * 20, 27, 20, true, true, DrawDigitStrip},
        {u"smalldigi.png", 11 * 5, 9, 5, true, true, DrawSmallDigits},
        {u"checkbox.png", 4 * 20, 20, 20, true, true, DrawCheckBoxes},
        {u"expand.png", 2 * 16, 16, 16, true, true, DrawExpand},
        {u"ratio.png", 4 * 20, 20, 20, true, true, DrawRadios},
        {u"indicator.png", 10 * 12, 12, 12, true, true, DrawIndicators},
        {u"menuicon.png", kMenuIcons * 16, 16, 16, true, true, DrawMenuIcons},
        {u"mpanel.png", 4 * 40, 40, 40, true, true, DrawPanelButtons},
        // Loaded by widgets.
        {u"defwndicon.png", 16, 16, 0, true, true, DrawAppIcon},
        {u"close.png", 19, 19, 0, true, true, DrawButtonIcon<0>},
        {u"maximal.png", 16, 16, 0, true, true, DrawButtonIcon<1>},
        {u"restore.png", 16, 16, 0, true, true, DrawButtonIcon<2>},
        {u"minimal.png", 16, 16, 0, true, true, DrawButtonIcon<3>},
        {u"left.png", 16, 16, 0, true, true, DrawButtonIcon<4>},
        {u"right.png", 16, 16, 0, true, true, DrawButtonIcon<5>},
        {u"add.png", 12, 12, 0, true, true, DrawButtonIcon<6>},
        {u"sub.png", 12, 12, 0, true, true, DrawButtonIcon<7>},
        {u"help.png", 16, 16, 0, true, true, DrawButtonIcon<8>},
        {u"tip.png", 32, 32, 0, true, true, DrawTip},
        {u"tippoint.png", 12, 6, 0, true, true, DrawTipPoint},
        {u"kbd.png", 16, 16, 0, true, true, DrawKeyboard},
        {u"sliderbar.png", 64, 12, 0, true, true, DrawSliderBar},
        {u"slider.png", 12, 20, 0, true, true, DrawSliderThumb},
        {u"propedit.png", 16, 16, 0, true, true, DrawPencil},
        {u"picviewtool.png", 6 * 28, 28, 28, true, true, DrawPicViewTools},
        {u"menuundo.png", 16, 16, 0, true, true, DrawMenuIconFile<0>},
        {u"menuredo.png", 16, 16, 0, true, true, DrawMenuIconFile<1>},
        {u"menucut.png", 16, 16, 0, true, true, DrawMenuIconFile<2>},
        {u"menucopy.png", 16, 16, 0, true, true, DrawMenuIconFile<3>},
        {u"menupaste.png", 16, 16, 0, true, true, DrawMenuIconFile<4>},
        // Looked for in the skin folder only.
        {u"messagebox.png", 4 * 64, 64, 64, false, true, DrawMessageIcons},
        {u"maintabframe.png", 64, 64, 0, false, true, DrawMainTabFrame},
        {u"title.png", 120, 32, 0, false, true, DrawTitle},
        {u"about.png", 560, 320, 0, false, true, DrawAbout},
    };
}

} // namespace

const std::vector<SkinImage>& SkinImages()
{
    // Each part of the program draws its pictures in a file of its own.
    static const std::vector<SkinImage> images = [] {
        std::vector<SkinImage> all = FrameSkinImages();
        for (const auto* list : {&EditorSkinImages(), &DialogSkinImages(), &AlbumSkinImages(), &BatchSkinImages(),
                                  &VariantSkinImages(), &FilterSkinImages()})
            all.insert(all.end(), list->begin(), list->end());
        return all;
    }();
    return images;
}

bool RenderSkinImage(const SkinImage& image, ImageBuffer8& out)
{
    SkinCanvas canvas(image.width, image.height);
    image.draw(canvas);
    return canvas.ToImage(out);
}

bool BuildContactSheet(const std::vector<std::pair<std::u16string, const ImageBuffer8*>>& images, ImageBuffer8& out)
{
    // One row per picture: its name, then the picture at scales 1, 1.5 and 2 (nearest
    // neighbour, as the window enlarges its tiles), on the dark chrome and on a light patch.
    constexpr int kMargin = 8, kLabel = 150, kGap = 16;
    std::shared_ptr<platform::Font> font = platform::Font::Create({u"DejaVu Sans", -12, 400, false});
    int width = 0, height = kMargin;
    for (const auto& item : images) {
        const ImageBuffer8& im = *item.second;
        int row = kLabel + kMargin;
        for (int k = 2; k <= 4; ++k)
            row += im.width * k / 2 + kGap;
        row += im.width + kMargin; // the light patch at scale 1
        width = std::max(width, row);
        height += std::max(16, im.height * 2) + kMargin;
    }
    if (!AllocImage8(out, width, height))
        return false;
    for (uint32_t i = 0; i < out.pixelCount; ++i) {
        out.data[i * 4 + 0] = out.data[i * 4 + 1] = out.data[i * 4 + 2] = 0x22;
        out.data[i * 4 + 3] = 255;
    }
    auto put = [&](int x, int y, const uint8_t* src, int bgGrey) {
        if (x < 0 || y < 0 || x >= out.width || y >= out.height)
            return;
        uint8_t* d = out.data + (size_t(y) * out.width + x) * 4;
        int a = src[3];
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = uint8_t((src[ch] * a + bgGrey * (255 - a) + 127) / 255);
    };
    int y = kMargin;
    for (const auto& [name, image] : images) {
        const ImageBuffer8& im = *image;
        if (font) {
            platform::BitmapView view{out.data, out.width, out.height, out.width * 4};
            font->DrawText(view, kMargin, y, name, 0xB4B4B4);
        }
        int x = kLabel;
        for (int k = 2; k <= 4; ++k) {
            int w = im.width * k / 2, h = im.height * k / 2;
            for (int yy = 0; yy < h; ++yy)
                for (int xx = 0; xx < w; ++xx)
                    put(x + xx, y + yy, im.data + (size_t(yy * 2 / k) * im.width + xx * 2 / k) * 4, 0x22);
            x += w + kGap;
        }
        for (int yy = 0; yy < im.height; ++yy) {
            for (int xx = 0; xx < im.width; ++xx)
                put(x + xx, y + yy, im.data + (size_t(yy) * im.width + xx) * 4, 0xEB);
        }
        y += std::max(16, im.height * 2) + kMargin;
    }
    return true;
}

bool WriteSkinFolders(const std::u16string& programFolder, std::string& error)
{
    std::u16string basic = platform::JoinPath(programFolder, u"basic");
    std::u16string skin = platform::JoinPath(programFolder, u"skin");
    if (!platform::CreateFolders(basic) || !platform::CreateFolders(skin)) {
        error = "cannot create the basic and skin folders";
        return false;
    }
    std::vector<ImageBuffer8> rendered(SkinImages().size());
    std::vector<std::pair<std::u16string, const ImageBuffer8*>> sheet;
    bool ok = true;
    for (size_t i = 0; i < SkinImages().size() && ok; ++i) {
        const SkinImage& s = SkinImages()[i];
        if (!RenderSkinImage(s, rendered[i])) {
            error = "cannot draw " + platform::Utf16ToUtf8(s.name);
            ok = false;
            break;
        }
        for (const auto& [wanted, folder] : {std::pair{s.inBasic, &basic}, std::pair{s.inSkin, &skin}})
            if (wanted && !CodecSaveImage8(rendered[i], platform::JoinPath(*folder, s.name).c_str(), true)) {
                error = "cannot write " + platform::Utf16ToUtf8(s.name);
                ok = false;
            }
        sheet.push_back({s.name, &rendered[i]});
    }
    ImageBuffer8 contact;
    if (ok && (!BuildContactSheet(sheet, contact) ||
               !CodecSaveImage8(contact, platform::JoinPath(programFolder, u"contact-sheet.png").c_str(), false))) {
        error = "cannot write the contact sheet";
        ok = false;
    }
    FreeImageBuffer(contact);
    for (ImageBuffer8& im : rendered)
        FreeImageBuffer(im);
    return ok;
}

} // namespace tools
