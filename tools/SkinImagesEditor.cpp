// The pictures of the editor: tool bar, panels, menus, wizard tiles, cursors, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

#include <cmath>
#include <vector>

namespace tools {

namespace {

// ---- the command panel and the wizard ----

// The command panel's background, a frame template (corners 80 x 68): the chrome with a row of
// film perforations down the left edge and a soft edge on the right.
void DrawFilm(SkinCanvas& c)
{
    const float w = float(c.Width()), h = float(c.Height());
    c.FillGradient(0, 0, c.Width(), c.Height(), Colour(0x2A2A2A), Colour(0x222222));
    c.FillRoundRect(2, 0, 16, h, 0, Colour(0x1A1A1A));
    for (float y = 6; y + 6 < h; y += 14)
        c.FillRoundRect(6, y, 12, y + 7, 1.5f, Colour(0x3A3A3A));
    c.FillRoundRect(w - 2, 0, w, h, 0, kEdge);
}

// The four category buttons' pictures, 80 x 70 each (the label fits under them in a button 100
// high): transform, exposure, colour, enhancement.
void DrawAdjustIcons(SkinCanvas& c)
{
    const float w = 2.5f;
    // Transform: a frame turned a quarter, with the turning arrow.
    {
        const float x = 0;
        c.StrokeRoundRect(x + 16, 24, x + 54, 58, 3, w, kGlyph);
        c.StrokeRoundRect(x + 30, 14, x + 62, 50, 3, w, WithAlpha(kAccent, 0.9f));
        GlyphRotate(c, x + 44, 44, 30, kGlyph, true);
    }
    // Exposure: a sun, half bright.
    {
        const float x = 80, cx = x + 40, cy = 40;
        c.FillDistance([=](float px, float py) { return std::max(std::hypot(px - cx, py - cy) - 13, px - cx); }, kGlyph);
        c.StrokeCircle(cx, cy, 13, w, kGlyph);
        for (int k = 0; k < 8; ++k) {
            const float a = float(k) * 0.785398f;
            c.StrokeLine({{cx + std::cos(a) * 19, cy + std::sin(a) * 19}, {cx + std::cos(a) * 26, cy + std::sin(a) * 26}},
                         w, kAmber);
        }
    }
    // Colour: three overlapping circles.
    {
        const float x = 160;
        c.FillCircle(x + 32, 32, 15, WithAlpha(kRed, 0.8f));
        c.FillCircle(x + 48, 32, 15, WithAlpha(Colour(0x4CA05A), 0.8f));
        c.FillCircle(x + 40, 46, 15, WithAlpha(kAccent, 0.8f));
    }
    // Enhancement: a wand with sparks.
    {
        const float x = 240;
        c.StrokeLine({{x + 20, 60}, {x + 50, 30}}, 4, kGlyph);
        c.FillPolygon({{x + 56, 14}, {x + 58.5f, 21.5f}, {x + 66, 24}, {x + 58.5f, 26.5f}, {x + 56, 34}, {x + 53.5f, 26.5f},
                       {x + 46, 24}, {x + 53.5f, 21.5f}},
                      kAmber);
        c.FillCircle(x + 30, 22, 2.5f, kGlyph);
        c.FillCircle(x + 62, 46, 2, kGlyph);
    }
}

// The "menu" button's picture.
void DrawMenuButton(SkinCanvas& c)
{
    for (int k = 0; k < 3; ++k)
        c.FillRoundRect(3, 5.f + k * 6, 21, 7.5f + k * 6, 1.2f, kGlyph);
}

// The wizard's choice icons, 50 x 50 each, by frame: 0 spot, 1 variants, 2 dynamic range,
// 3 automatic white balance, 4 free rotation, 5 barrel, 6 free crop, 7 purple fringe, 8 noise,
// 9 descreen, 10 sharpen pixels, 11 sharpen contrast, 12 defog, 13 red eye, 14 shape,
// 15 erase a spot, 16 skin.
void WizardGlyph(SkinCanvas& c, int i, float x)
{
    const float w = 2.2f, cx = x + 25, cy = 25;
    c.FillRoundRect(x + 2, 2, x + 48, 48, 6, Colour(0x333333));
    c.StrokeRoundRect(x + 2, 2, x + 48, 48, 6, 1, kEdge);
    switch (i) {
    case 0:
        c.StrokeCircle(cx, cy, 11, w, kGlyph);
        c.FillCircle(cx, cy, 3, kAccent);
        for (int k = 0; k < 4; ++k) {
            const float a = float(k) * 1.5708f;
            c.StrokeLine({{cx + std::cos(a) * 8, cy + std::sin(a) * 8}, {cx + std::cos(a) * 17, cy + std::sin(a) * 17}}, w,
                         kGlyph);
        }
        break;
    case 1:
        for (int k = 0; k < 4; ++k) {
            const float l = x + 10 + (k % 2) * 16, t = 10.f + (k / 2) * 16;
            c.FillRoundRect(l, t, l + 13, t + 13, 2, Grey(70.f + k * 45));
        }
        break;
    case 2:
        c.FillGradient(int(x) + 10, 14, int(x) + 40, 36, Grey(30), Grey(230));
        c.StrokeRoundRect(x + 10, 14, x + 40, 36, 2, 1.5f, kGlyph);
        break;
    case 3:
        c.FillCircle(cx - 6, cy, 10, WithAlpha(kAmber, 0.85f));
        c.FillCircle(cx + 6, cy, 10, WithAlpha(kAccent, 0.85f));
        c.DrawText(u"A", cx, cy, 16, 700, kWhite);
        break;
    case 4:
        GlyphRotate(c, x + 9, 9, 32, kGlyph, true);
        break;
    case 5:
        for (int k = 0; k < 2; ++k) {
            std::vector<PointF> side;
            for (int t = 0; t <= 10; ++t) {
                const float v = float(t) / 10;
                side.push_back({x + (k ? 38.f : 12.f) + (k ? 4.f : -4.f) * std::sin(v * 3.14159f), 10 + v * 30});
            }
            c.StrokeLine(side, w, kGlyph);
        }
        c.StrokeLine({{x + 12, 10}, {x + 38, 10}}, w, kGlyph);
        c.StrokeLine({{x + 12, 40}, {x + 38, 40}}, w, kGlyph);
        break;
    case 6:
        c.StrokeLine({{x + 10, 16}, {x + 36, 9}, {x + 41, 38}, {x + 14, 41}, {x + 10, 16}}, w, kGlyph);
        break;
    case 7:
        c.StrokeLine({{x + 12, 38}, {x + 25, 12}, {x + 38, 38}}, 4, kGlyph);
        c.StrokeLine({{x + 15, 40}, {x + 28, 14}}, 1.5f, Colour(0xA050C0));
        break;
    case 8:
    case 9:
        for (int k = 0; k < 25; ++k) {
            const float px = x + 11 + (k % 5) * 7, py = 11.f + (k / 5) * 7;
            c.FillCircle(px, py, i == 8 ? ((k * 7) % 3 + 1) * 0.8f : 1.6f, kGlyph);
        }
        break;
    case 10:
    case 11:
        c.StrokeLine({{x + 10, 38}, {x + 22, 38}, {x + 28, 12}, {x + 40, 12}}, w, kGlyph);
        if (i == 11)
            c.StrokeLine({{x + 10, 30}, {x + 40, 20}}, 1.5f, kAccent);
        break;
    case 12:
        for (int k = 0; k < 3; ++k) {
            std::vector<PointF> wave;
            for (int t = 0; t <= 14; ++t)
                wave.push_back({x + 10 + t * 2.f, 16.f + k * 9 + std::sin(t * 0.9f) * 2.f});
            c.StrokeLine(wave, w, kGlyph);
        }
        break;
    case 13:
        c.StrokeLine({{x + 8, 25}, {x + 25, 14}, {x + 42, 25}, {x + 25, 36}, {x + 8, 25}}, w, kGlyph);
        c.FillCircle(cx, cy, 6, kRed);
        break;
    case 14:
        for (int k = 0; k < 3; ++k) {
            std::vector<PointF> line;
            for (int t = 0; t <= 10; ++t)
                line.push_back({x + 10 + t * 3.f, 14.f + k * 11 + (k == 1 ? 5.f : 2.f) * std::sin(t * 0.314f)});
            c.StrokeLine(line, w, kGlyph);
        }
        break;
    case 15:
        c.StrokeCircle(cx, cy, 12, w, kGlyph);
        c.FillCircle(cx + 4, cy - 3, 2.5f, kAmber);
        break;
    default:
        c.StrokeCircle(cx, cy, 14, w, kGlyph);
        c.FillCircle(cx - 5, cy - 3, 1.8f, kGlyph);
        c.FillCircle(cx + 5, cy - 3, 1.8f, kGlyph);
        c.StrokeLine({{cx - 6, cy + 5}, {cx, cy + 8}, {cx + 6, cy + 5}}, 1.6f, kGlyph);
        break;
    }
}

constexpr int kWizardIcons = 17;

void DrawWizardIcons(SkinCanvas& c)
{
    for (int i = 0; i < kWizardIcons; ++i)
        WizardGlyph(c, i, i * 50.f);
}

// ---- the wizard's tile pictures: small generated photographs of each problem ----

// A landscape: sky gradient, sun, hills; `light` scales the brightness, `cast` tints it.
void Landscape(SkinCanvas& c, float light, Rgba cast, float castAmount)
{
    const int w = c.Width(), h = c.Height();
    auto tone = [&](Rgba col) {
        return Rgba{std::min(255.f, (col.r * (1 - castAmount) + cast.r * castAmount) * light),
                    std::min(255.f, (col.g * (1 - castAmount) + cast.g * castAmount) * light),
                    std::min(255.f, (col.b * (1 - castAmount) + cast.b * castAmount) * light), 1};
    };
    c.FillGradient(0, 0, w, h, tone(Colour(0x5A8FD0)), tone(Colour(0xCFE3F2)));
    c.FillCircle(w * 0.72f, h * 0.3f, h * 0.12f, tone(Colour(0xFFE7A0)));
    c.FillDistance([=](float px, float py) { return (h * 0.62f + std::sin(px * 0.05f) * h * 0.08f) - py; },
                   tone(Colour(0x4F8A3C)));
    c.FillDistance([=](float px, float py) { return (h * 0.78f + std::sin(px * 0.09f + 1) * h * 0.05f) - py; },
                   tone(Colour(0x2F5E27)));
}

void DrawExposureTile(SkinCanvas& c)
{
    // Left half as taken (too dark), right half corrected.
    Landscape(c, 0.35f, Colour(0), 0);
    const int w = c.Width(), h = c.Height();
    c.FillDistance([=](float px, float py) { return std::max(w / 2.f - px, std::fabs(py - h / 2.f) - h); },
                   Rgba{255, 255, 255, 0.45f});
    c.StrokeLine({{w / 2.f, 0}, {w / 2.f, float(h)}}, 1, kWhite);
}

void DrawColourTile(SkinCanvas& c)
{
    Landscape(c, 1, Colour(0xE0A040), 0.45f);
}

void DrawContrastTile(SkinCanvas& c)
{
    Landscape(c, 1, Colour(0xC8C8C8), 0.6f);
}

void DrawNoiseTile(SkinCanvas& c)
{
    Landscape(c, 0.8f, Colour(0), 0);
    // A fixed speckle, so the picture repeats from build to build.
    uint32_t seed = 12345;
    for (int k = 0; k < c.Width() * c.Height() / 6; ++k) {
        seed = seed * 1103515245u + 12345u;
        const float px = float((seed >> 8) % uint32_t(c.Width()));
        seed = seed * 1103515245u + 12345u;
        const float py = float((seed >> 8) % uint32_t(c.Height()));
        const bool light = (seed >> 4) & 1;
        c.FillCircle(px, py, 0.6f, light ? Rgba{255, 255, 255, 0.5f} : Rgba{0, 0, 0, 0.5f});
    }
}

void DrawLensTile(SkinCanvas& c)
{
    const float w = float(c.Width()), h = float(c.Height()), cx = w / 2, cy = h / 2;
    c.FillRoundRect(0, 0, w, h, 0, Colour(0xE8E8E8));
    // A grid bent outwards like a barrel.
    auto bend = [&](float px, float py) {
        const float dx = (px - cx) / cx, dy = (py - cy) / cy, r2 = dx * dx + dy * dy;
        const float k = 1 - 0.18f * r2;
        return PointF{cx + (px - cx) * k, cy + (py - cy) * k};
    };
    for (int g = 0; g <= 8; ++g) {
        std::vector<PointF> across, down;
        for (int t = 0; t <= 20; ++t) {
            across.push_back(bend(w * t / 20, h * g / 8));
            down.push_back(bend(w * g / 8, h * t / 20));
        }
        c.StrokeLine(across, 1.2f, Colour(0x505050));
        c.StrokeLine(down, 1.2f, Colour(0x505050));
    }
}

void DrawPortraitTile(SkinCanvas& c)
{
    const float w = float(c.Width()), h = float(c.Height());
    c.FillGradient(0, 0, c.Width(), c.Height(), Colour(0x6A7C8E), Colour(0x3A4550));
    c.FillCircle(w / 2, h * 0.42f, h * 0.24f, Colour(0xE0B090));
    c.FillDistance([=](float px, float py) {
        return std::max(std::hypot((px - w / 2) / (w * 0.34f), (py - h) / (h * 0.3f)) - 1, h * 0.72f - py);
    },
                   Colour(0x3C5A78));
    c.FillCircle(w / 2 - h * 0.08f, h * 0.4f, h * 0.025f, Colour(0x302020));
    c.FillCircle(w / 2 + h * 0.08f, h * 0.4f, h * 0.025f, Colour(0x302020));
}

void DrawVividTile(SkinCanvas& c)
{
    const int w = c.Width(), h = c.Height();
    const Rgba stripes[] = {Colour(0xE04040), Colour(0xF0A020), Colour(0xE8E040), Colour(0x40B050), Colour(0x3070D0),
                            Colour(0x8040C0)};
    for (int k = 0; k < 6; ++k)
        c.FillRoundRect(float(k * w / 6), 0, float((k + 1) * w / 6), float(h), 0, stripes[k]);
}

void DrawInpaintTile(SkinCanvas& c)
{
    Landscape(c, 1, Colour(0), 0);
    // The object to take away, outlined as a selection.
    const float w = float(c.Width()), h = float(c.Height());
    c.FillRoundRect(w * 0.3f, h * 0.35f, w * 0.42f, h * 0.7f, 2, Colour(0x303030));
    c.StrokeRoundRect(w * 0.26f, h * 0.3f, w * 0.46f, h * 0.75f, 3, 1.2f, kWhite);
}

void DrawInstantFilterTile(SkinCanvas& c)
{
    const float w = float(c.Width()), h = float(c.Height()), r = h * 0.26f;
    c.FillCircle(w / 2 - r * 0.6f, h * 0.4f, r, WithAlpha(kRed, 0.75f));
    c.FillCircle(w / 2 + r * 0.6f, h * 0.4f, r, WithAlpha(Colour(0x4CA05A), 0.75f));
    c.FillCircle(w / 2, h * 0.4f + r * 0.9f, r, WithAlpha(kAccent, 0.75f));
}
// ---- the canvas -----------------------------------------------------------------------------

// The canvas's button strip, 38-pixel frames: 0 zoom in, 1 zoom out, 2 real size, 3 fit (these
// four and frame 9 are shown at half size), 4 save, 5 wizard, 6 photo information, 7 eye,
// 8 add a picture, 9 grid, 10 print.
void DrawEditView(SkinCanvas& c)
{
    for (int i = 0; i < 11; ++i) {
        const float x = i * 38.f, s = 38.f, m = x + s / 2;
        switch (i) {
        case 0: GlyphMagnifier(c, x + 3, 3, 32, kGlyph, 1); break;
        case 1: GlyphMagnifier(c, x + 3, 3, 32, kGlyph, -1); break;
        case 2: c.DrawText(u"1:1", m, 19, 18, 700, kGlyph); break;
        case 3:
            c.StrokeRoundRect(x + 8, 10, x + 30, 28, 2, 2.f, kGlyph);
            c.StrokeLine({{x + 4, 11}, {x + 4, 4}, {x + 11, 4}}, 2.f, kGlyph);
            c.StrokeLine({{x + 27, 4}, {x + 34, 4}, {x + 34, 11}}, 2.f, kGlyph);
            c.StrokeLine({{x + 4, 27}, {x + 4, 34}, {x + 11, 34}}, 2.f, kGlyph);
            c.StrokeLine({{x + 27, 34}, {x + 34, 34}, {x + 34, 27}}, 2.f, kGlyph);
            break;
        case 4: // save: a tray and an arrow into it
            c.StrokeLine({{x + 9, 22}, {x + 9, 29}, {x + 29, 29}, {x + 29, 22}}, kStroke, kGlyph);
            c.StrokeLine({{m, 8}, {m, 23}}, kStroke, kGlyph);
            c.StrokeLine({{m - 6, 17}, {m, 23}, {m + 6, 17}}, kStroke, kGlyph);
            break;
        case 5: // wizard: a wand and three sparks
            c.StrokeLine({{x + 9, 30}, {x + 24, 15}}, 2.f, kGlyph);
            c.FillCircle(x + 27, 11, 2.f, kAccent);
            c.FillCircle(x + 18, 9, 1.4f, kGlyph);
            c.FillCircle(x + 30, 20, 1.4f, kGlyph);
            break;
        case 6: // information
            c.StrokeCircle(m, 19, 11, kStroke, kGlyph);
            c.FillCircle(m, 13.5f, 1.6f, kGlyph);
            c.StrokeLine({{m, 17.5f}, {m, 25}}, 2.f, kGlyph);
            break;
        case 7: // eye
            c.StrokeLine({{x + 7, 19}, {x + 13, 13}, {x + 25, 13}, {x + 31, 19}, {x + 25, 25}, {x + 13, 25}, {x + 7, 19}},
                         kStroke, kGlyph);
            c.FillCircle(m, 19, 3.5f, kGlyph);
            break;
        case 8: // a picture with a plus
            c.StrokeRoundRect(x + 6, 9, x + 27, 27, 2, kStroke, kGlyph);
            c.StrokeLine({{x + 9, 24}, {x + 15, 17}, {x + 19, 21}, {x + 22, 18}, {x + 25, 24}}, 1.2f, kGlyph);
            GlyphPlus(c, x + 22, 20, 14, kAccent);
            break;
        case 9: // grid
            for (int k = 0; k < 3; ++k) {
                const float o = 9 + k * 10.f;
                c.StrokeLine({{x + 9, o}, {x + 29, o}}, kStroke, kGlyph);
                c.StrokeLine({{x + o, 9}, {x + o, 29}}, kStroke, kGlyph);
            }
            break;
        default: // print
            c.StrokeRoundRect(x + 7, 15, x + 31, 26, 2, kStroke, kGlyph);
            c.StrokeLine({{x + 12, 15}, {x + 12, 8}, {x + 26, 8}, {x + 26, 15}}, kStroke, kGlyph);
            c.StrokeLine({{x + 12, 23}, {x + 12, 31}, {x + 26, 31}, {x + 26, 23}}, kStroke, kGlyph);
            break;
        }
    }
}

// The selection panel, 16-pixel frames: 0 drop the selection, 1 feather, 2 erase the selected
// area, 3 more.
void DrawSelectionButtons(SkinCanvas& c)
{
    for (int i = 0; i < 4; ++i) {
        const float x = i * 16.f;
        switch (i) {
        case 0:
            c.StrokeRoundRect(x + 2.5f, 2.5f, x + 13.5f, 13.5f, 1, 1.f, WithAlpha(kGlyph, 0.6f));
            GlyphClose(c, x, 0, 16, kGlyph);
            break;
        case 1:
            c.FillCircle(x + 8, 8, 6, WithAlpha(kGlyph, 0.25f));
            c.FillCircle(x + 8, 8, 4, WithAlpha(kGlyph, 0.55f));
            c.FillCircle(x + 8, 8, 2.2f, kGlyph);
            break;
        case 2: // an eraser
            c.FillPolygon({{x + 2, 11}, {x + 8, 4}, {x + 14, 9}, {x + 8, 15}, {x + 5, 15}}, kGlyph);
            c.StrokeLine({{x + 5, 8}, {x + 11, 13}}, 1.2f, kGlyphDark);
            break;
        default:
            for (int k = 0; k < 3; ++k)
                c.FillCircle(x + 4 + k * 4.f, 8, 1.4f, kGlyph);
            break;
        }
    }
}


// ---- the tool page and the tools' cursors ----

// The tool bar, 24 x 24 frames: polygon, rectangle, ellipse, colour range, free-hand, (unused),
// clone, free paint, warp, repair, red eye, (unused), crop, free crop, move, transform, text.
void DrawToolBar(SkinCanvas& c)
{
    const float w = 1.6f;
    auto x0 = [](int frame) { return float(frame * 24); };
    {   // 0 polygon
        const float x = x0(0);
        c.StrokeLine({{x + 4, 18}, {x + 8, 5}, {x + 19, 8}, {x + 16, 19}, {x + 4, 18}}, w, kGlyph);
    }
    c.StrokeRoundRect(x0(1) + 4, 6, x0(1) + 20, 18, 0, w, kGlyph);          // 1 rectangle
    c.StrokeCircle(x0(2) + 12, 12, 7.5f, w, kGlyph);                          // 2 ellipse
    {   // 3 colour range: a drop with a dotted frame
        const float x = x0(3);
        c.FillPolygon({{x + 12, 4}, {x + 17, 13}, {x + 12, 19}, {x + 7, 13}}, kAccent);
        c.FillCircle(x + 12, 14, 5, kAccent);
    }
    {   // 4 free-hand
        const float x = x0(4);
        c.StrokeLine({{x + 5, 16}, {x + 7, 8}, {x + 12, 5}, {x + 18, 8}, {x + 17, 14}, {x + 11, 18}, {x + 6, 19}}, w,
                     kGlyph);
    }
    {   // 6 clone: a stamp
        const float x = x0(6);
        c.FillRoundRect(x + 9, 4, x + 15, 12, 2, kGlyph);
        c.FillRoundRect(x + 5, 12, x + 19, 16, 1, kGlyph);
        c.FillRoundRect(x + 4, 17, x + 20, 20, 1, kAccent);
    }
    {   // 7 free paint: a brush
        const float x = x0(7);
        c.StrokeLine({{x + 18, 4}, {x + 10, 14}}, 2.4f, kGlyph);
        c.FillCircle(x + 8, 16, 3.5f, kAmber);
    }
    {   // 8 warp: a bent grid line
        const float x = x0(8);
        c.StrokeLine({{x + 4, 8}, {x + 10, 6}, {x + 14, 10}, {x + 20, 8}}, w, kGlyph);
        c.StrokeLine({{x + 4, 16}, {x + 10, 14}, {x + 14, 18}, {x + 20, 16}}, w, kGlyph);
    }
    {   // 9 repair: a plaster
        const float x = x0(9);
        c.FillPolygon({{x + 5, 15}, {x + 15, 5}, {x + 19, 9}, {x + 9, 19}}, kGlyph);
        c.FillCircle(x + 12, 12, 2, kGlyphDark);
    }
    {   // 10 red eye
        const float x = x0(10);
        c.StrokeLine({{x + 3, 12}, {x + 12, 6}, {x + 21, 12}, {x + 12, 18}, {x + 3, 12}}, w, kGlyph);
        c.FillCircle(x + 12, 12, 3.5f, kRed);
    }
    {   // 12 crop
        const float x = x0(12);
        c.StrokeLine({{x + 7, 3}, {x + 7, 17}, {x + 21, 17}}, 2, kGlyph);
        c.StrokeLine({{x + 3, 7}, {x + 17, 7}, {x + 17, 21}}, 2, kGlyph);
    }
    {   // 13 free crop: a slanted frame
        const float x = x0(13);
        c.StrokeLine({{x + 4, 7}, {x + 19, 4}, {x + 20, 19}, {x + 6, 18}, {x + 4, 7}}, w, kGlyph);
    }
    {   // 14 move: four arrows
        const float x = x0(14);
        c.StrokeLine({{x + 12, 3}, {x + 12, 21}}, w, kGlyph);
        c.StrokeLine({{x + 3, 12}, {x + 21, 12}}, w, kGlyph);
        c.FillPolygon({{x + 12, 2}, {x + 15, 6}, {x + 9, 6}}, kGlyph);
        c.FillPolygon({{x + 12, 22}, {x + 9, 18}, {x + 15, 18}}, kGlyph);
        c.FillPolygon({{x + 2, 12}, {x + 6, 9}, {x + 6, 15}}, kGlyph);
        c.FillPolygon({{x + 22, 12}, {x + 18, 15}, {x + 18, 9}}, kGlyph);
    }
    {   // 15 transform: a frame with corner handles
        const float x = x0(15);
        c.StrokeRoundRect(x + 5, 5, x + 19, 19, 0, 1.2f, kGlyph);
        for (float hx : {5.f, 19.f})
            for (float hy : {5.f, 19.f})
                c.FillRoundRect(x + hx - 2, hy - 2, x + hx + 2, hy + 2, 0, kAccent);
    }
    c.DrawText(u"T", x0(16) + 12, 12, 18, 700, kGlyph); // 16 text
}

// The no-tool button: a crossed circle.
void DrawNoTool(SkinCanvas& c)
{
    c.StrokeCircle(12, 12, 8, 2, kGlyph);
    c.StrokeLine({{6.5f, 17.5f}, {17.5f, 6.5f}}, 2, kGlyph);
}

// Tool cursors, 32 x 32, hot spot (15, 15): a cross, with a mark for the selection mode.
void DrawCross(SkinCanvas& c)
{
    const Rgba black = Colour(0x000000), white = Colour(0xFFFFFF);
    for (const Rgba& col : {black, white}) {
        const float w = &col == &black ? 3.f : 1.f;
        c.StrokeLine({{15.5f, 5}, {15.5f, 12}}, w, col);
        c.StrokeLine({{15.5f, 19}, {15.5f, 26}}, w, col);
        c.StrokeLine({{5, 15.5f}, {12, 15.5f}}, w, col);
        c.StrokeLine({{19, 15.5f}, {26, 15.5f}}, w, col);
    }
}
void DrawModeMark(SkinCanvas& c, int mode, bool lasso)
{
    DrawCross(c);
    const Rgba black = Colour(0x000000), white = Colour(0xFFFFFF);
    if (lasso)
        c.StrokeCircle(25, 25, 3.5f, 1.f, white);
    else
        c.StrokeLine({{21, 29}, {24, 21}, {29, 25}, {21, 29}}, 1.f, white);
    if (mode >= 1) {
        c.FillRoundRect(19, 3, 30, 8, 0, black);
        c.StrokeLine({{20, 5.5f}, {29, 5.5f}}, 1.f, white);
    }
    if (mode == 1) {
        c.FillRoundRect(22, 0, 27, 11, 0, black);
        c.StrokeLine({{20, 5.5f}, {29, 5.5f}}, 1.f, white);
        c.StrokeLine({{24.5f, 1}, {24.5f, 10}}, 1.f, white);
    }
}
void DrawCursor145(SkinCanvas& c) { DrawModeMark(c, 0, false); }
void DrawCursor146(SkinCanvas& c) { DrawModeMark(c, 1, false); }
void DrawCursor147(SkinCanvas& c) { DrawModeMark(c, 2, false); }
void DrawCursor193(SkinCanvas& c) { DrawModeMark(c, 0, true); }
void DrawCursor194(SkinCanvas& c) { DrawModeMark(c, 1, true); }
void DrawCursor195(SkinCanvas& c) { DrawModeMark(c, 2, true); }
// 148: close the polygon (a cross with a ring); 149: a new crop frame; 188: rotate.
void DrawCursor148(SkinCanvas& c)
{
    DrawCross(c);
    c.StrokeCircle(25, 25, 4, 2.5f, Colour(0x000000));
    c.StrokeCircle(25, 25, 4, 1, Colour(0xFFFFFF));
}
void DrawCursor149(SkinCanvas& c)
{
    DrawCross(c);
    c.StrokeLine({{22, 20}, {22, 29}, {31, 29}}, 1, Colour(0xFFFFFF));
}
void DrawCursor188(SkinCanvas& c)
{
    c.StrokeCircle(15.5f, 15.5f, 8, 3, Colour(0x000000));
    c.StrokeCircle(15.5f, 15.5f, 8, 1, Colour(0xFFFFFF));
    c.FillPolygon({{21, 4}, {27, 8}, {21, 12}}, Colour(0xFFFFFF));
}

// Cursor 138: wholly transparent, the system cursor while a tool shows its own picture.
void DrawBlankCursor(SkinCanvas&) {}


// ---- the side panels (history, layers, masks) ----

// The history panel, 28-pixel frames: 0 undo, 1 redo, 2 make automation (a gear), 3 the step
// icon (its top-left 16 x 16: a small gear marks a replayable step).
void DrawHistoryIcons(SkinCanvas& c)
{
    GlyphRotate(c, 4, 4, 20, kGlyph, false);
    GlyphRotate(c, 28 + 4, 4, 20, kGlyph, true);
    auto gear = [&](float cx, float cy, float r, Rgba col) {
        for (int k = 0; k < 8; ++k) {
            const float a = float(k) * 0.785398f;
            c.StrokeLine({{cx + std::cos(a) * r * 0.6f, cy + std::sin(a) * r * 0.6f}, {cx + std::cos(a) * r, cy + std::sin(a) * r}},
                         r * 0.35f, col);
        }
        c.StrokeCircle(cx, cy, r * 0.6f, r * 0.25f, col);
    };
    gear(56 + 14, 14, 9, kGlyph);
    gear(84 + 8, 8, 6.5f, kAmber);
}

// The layer eye, 20 x 16.
void DrawEye(SkinCanvas& c)
{
    c.StrokeLine({{2, 8}, {6, 4}, {14, 4}, {18, 8}, {14, 12}, {6, 12}, {2, 8}}, kStroke, kGlyph);
    c.FillCircle(10, 8, 2.8f, kGlyph);
}

// A padlock, 16 x 16.
void DrawLock(SkinCanvas& c)
{
    c.StrokeRoundRect(5, 2.5f, 11, 9, 3, 1.5f, kGlyph);
    c.FillRoundRect(3, 7, 13, 14, 1.5f, kGlyph);
    c.FillCircle(8, 10.5f, 1.2f, kGlyphDark);
}

// The confirm mark, 16 x 16 (the refusing "no.png" is the tool page's).
void DrawOk(SkinCanvas& c)
{
    GlyphCheck(c, 0, 0, 16, Colour(0x4CA05A));
}

// The layer and mask panels' buttons, 28-pixel frames: 0 new layer, 1 delete, 2 merge down,
// 3 edit (rename), 4 save, 5 more, 6 mask to selection, 7 selection to mask, 8 up, 9 down.
void DrawLayerTools(SkinCanvas& c)
{
    for (int i = 0; i < 10; ++i) {
        const float x = i * 28.f;
        auto sheet = [&](float dx, float dy, Rgba col) { c.StrokeRoundRect(x + 6 + dx, 8 + dy, x + 20 + dx, 20 + dy, 1.5f, kStroke, col); };
        switch (i) {
        case 0:
            sheet(-1, 1, kGlyph);
            GlyphPlus(c, x + 12, 2, 14, kAccent);
            break;
        case 1:
            sheet(0, 0, kGlyph);
            GlyphClose(c, x + 11, 9, 14, kRed);
            break;
        case 2:
            sheet(0, -3, WithAlpha(kGlyph, 0.6f));
            sheet(0, 3, kGlyph);
            GlyphChevron(c, x + 7, 6, 14, 1, kAccent);
            break;
        case 3:
            c.StrokeLine({{x + 7, 21}, {x + 20, 8}}, 3, kGlyph);
            c.FillPolygon({{x + 5, 23}, {x + 6, 19}, {x + 9, 22}}, kAmber);
            break;
        case 4:
            c.StrokeRoundRect(x + 6, 6, x + 22, 22, 2, kStroke, kGlyph);
            c.FillRoundRect(x + 10, 6, x + 18, 11, 1, kGlyph);
            c.FillRoundRect(x + 9, 15, x + 19, 22, 1, WithAlpha(kGlyph, 0.5f));
            break;
        case 5:
            for (int k = 0; k < 3; ++k)
                c.FillCircle(x + 9 + k * 5.f, 14, 1.8f, kGlyph);
            break;
        case 6:
        case 7: {
            const bool toSelection = i == 6;
            c.FillCircle(x + 10, 14, 6, toSelection ? kGlyph : WithAlpha(kGlyph, 0.4f));
            for (int k = 0; k < 12; ++k) {
                const float a = float(k) * 0.5236f;
                c.FillCircle(x + 18 + std::cos(a) * 6, 14 + std::sin(a) * 6, 0.9f, toSelection ? WithAlpha(kGlyph, 0.5f) : kGlyph);
            }
            GlyphChevron(c, x + 8, 7, 14, toSelection ? 0 : 2, kAccent);
            break;
        }
        default:
            GlyphChevron(c, x + 4, 4, 20, i == 8 ? 3 : 1, kGlyph, 2.5f);
            break;
        }
    }
}
} // namespace

const std::vector<SkinImage>& EditorSkinImages()
{
    static const std::vector<SkinImage> images = {
        // The command panel and its menus.
        {u"film.png", 240, 320, 0, false, true, DrawFilm},
        {u"adjust.png", 4 * 80, 70, 80, false, true, DrawAdjustIcons},
        {u"menu.png", 24, 24, 0, false, true, DrawMenuButton},
        // The auto wizard: the choice icons and the tile pictures.
        {u"wizard.png", kWizardIcons * 50, 50, 50, false, true, DrawWizardIcons},
        {u"EXPOSURE.jpg", 110, 64, 0, false, true, DrawExposureTile},
        {u"COLOR.jpg", 110, 64, 0, false, true, DrawColourTile},
        {u"CONTRASTY.jpg", 120, 90, 0, false, true, DrawContrastTile},
        {u"noise.jpg", 110, 80, 0, false, true, DrawNoiseTile},
        {u"LENSERROR.jpg", 110, 70, 0, false, true, DrawLensTile},
        {u"PORTRAIT.jpg", 110, 70, 0, false, true, DrawPortraitTile},
        {u"VIVIDCOLOR.jpg", 80, 50, 0, false, true, DrawVividTile},
        {u"inpaint.jpg", 80, 50, 0, false, true, DrawInpaintTile},
        {u"instantfilter.png", 80, 50, 0, false, true, DrawInstantFilterTile},
        // ---- the canvas
        {u"editview.png", 11 * 38, 38, 38, false, true, DrawEditView},
        {u"selection.png", 4 * 16, 16, 16, false, true, DrawSelectionButtons},
        {u"cursor138.png", 32, 32, 0, true, false, DrawBlankCursor},
        // ---- the tool page and the tools' cursors
        {u"toolbar.png", 18 * 24, 24, 24, false, true, DrawToolBar},
        {u"no.png", 24, 24, 0, false, true, DrawNoTool},
        {u"cursor145.png", 32, 32, 0, true, false, DrawCursor145},
        {u"cursor146.png", 32, 32, 0, true, false, DrawCursor146},
        {u"cursor147.png", 32, 32, 0, true, false, DrawCursor147},
        {u"cursor148.png", 32, 32, 0, true, false, DrawCursor148},
        {u"cursor149.png", 32, 32, 0, true, false, DrawCursor149},
        {u"cursor188.png", 32, 32, 0, true, false, DrawCursor188},
        {u"cursor193.png", 32, 32, 0, true, false, DrawCursor193},
        {u"cursor194.png", 32, 32, 0, true, false, DrawCursor194},
        {u"cursor195.png", 32, 32, 0, true, false, DrawCursor195},
        // ---- the editor tab
        // ---- the side panels (history, layers, masks)
        {u"history.png", 4 * 28, 28, 28, false, true, DrawHistoryIcons},
        {u"eye.png", 20, 16, 0, false, true, DrawEye},
        {u"lock.png", 16, 16, 0, false, true, DrawLock},
        {u"ok.png", 16, 16, 0, false, true, DrawOk},
        {u"layertool.png", 10 * 28, 28, 28, false, true, DrawLayerTools},
    };
    return images;
}

} // namespace tools
