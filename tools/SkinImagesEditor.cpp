// The pictures of the editor: tool bar, panels, menus, wizard tiles, cursors, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

#include <cmath>

namespace tools {

namespace {

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

// Cursor 138: wholly transparent, the system cursor while a tool shows its own picture.
void DrawBlankCursor(SkinCanvas&) {}

} // namespace

const std::vector<SkinImage>& EditorSkinImages()
{
    static const std::vector<SkinImage> images = {
        // ---- the canvas
        {u"editview.png", 11 * 38, 38, 38, false, true, DrawEditView},
        {u"selection.png", 4 * 16, 16, 16, false, true, DrawSelectionButtons},
        {u"cursor138.png", 32, 32, 0, true, false, DrawBlankCursor},
        // ---- the editor tab
    };
    return images;
}

} // namespace tools
