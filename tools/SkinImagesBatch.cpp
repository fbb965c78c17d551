// The pictures of the save, batch, print and 3D dialogs, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

namespace tools {

namespace {

// ---- save panel ----

// "save.png", 48-pixel frames: 0 project (stacked layers), 1 JPEG (a photo), 2 PNG (a
// chequered, see-through sheet), 3 save back (an arrow back into the photo), 4 other formats.
void DrawSaveIcons(SkinCanvas& c)
{
    const float w = 2.f;
    for (int i = 0; i < 5; ++i) {
        const float x = i * 48.f;
        switch (i) {
        case 0: // three stacked layers
            for (int k = 2; k >= 0; --k) {
                const float o = k * 6.f;
                c.FillRoundRect(x + 8 + o, 26 - o, x + 30 + o, 42 - o, 2, k == 0 ? WithAlpha(kAccent, 0.9f) : kPanel);
                c.StrokeRoundRect(x + 8 + o, 26 - o, x + 30 + o, 42 - o, 2, w, kGlyph);
            }
            break;
        case 1: // a photo: frame, hills and a sun
            c.StrokeRoundRect(x + 6, 10, x + 42, 38, 3, w, kGlyph);
            c.FillPolygon({{x + 8, 36}, {x + 20, 22}, {x + 28, 30}, {x + 33, 25}, {x + 40, 36}}, WithAlpha(kAccent, 0.9f));
            c.FillCircle(x + 33, 17, 3.5f, kAmber);
            break;
        case 2: // a see-through sheet
            for (int r = 0; r < 4; ++r)
                for (int k = 0; k < 4; ++k)
                    if ((r + k) % 2 == 0)
                        c.FillRoundRect(x + 8 + k * 8, 8 + r * 8, x + 16 + k * 8, 16 + r * 8, 0, WithAlpha(kGlyph, 0.35f));
            c.StrokeRoundRect(x + 8, 8, x + 40, 40, 2, w, kGlyph);
            c.FillCircle(x + 24, 24, 8, WithAlpha(kAccent, 0.85f));
            break;
        case 3: // back into the photo: a frame and a curved arrow ending in it
            c.StrokeRoundRect(x + 18, 14, x + 42, 38, 3, w, kGlyph);
            c.StrokeLine({{x + 6, 20}, {x + 8, 30}, {x + 14, 34}, {x + 24, 32}}, w + 0.5f, kAccent);
            c.FillPolygon({{x + 22, 26}, {x + 30, 31}, {x + 23, 37}}, kAccent);
            break;
        default: // other formats: three small sheets fanned out
            for (int k = 0; k < 3; ++k) {
                const float o = k * 7.f;
                c.FillRoundRect(x + 8 + o, 8 + o, x + 26 + o, 30 + o, 2, kPanel);
                c.StrokeRoundRect(x + 8 + o, 8 + o, x + 26 + o, 30 + o, 2, w, k == 2 ? kAccent : kGlyph);
            }
            c.StrokeLine({{x + 26, 34}, {x + 36, 34}}, 1.2f, kGlyph);
            c.StrokeLine({{x + 26, 38}, {x + 32, 38}}, 1.2f, kGlyph);
            break;
        }
    }
}

// "include.png": the bracket between the tiles and the preset list, a chevron pointing at the
// list.
void DrawIncludeMark(SkinCanvas& c)
{
    c.StrokeLine({{3, 4}, {10, 4}, {10, 50}, {17, 60}, {10, 70}, {10, 116}, {3, 116}}, 2.f, WithAlpha(kGlyph, 0.9f));
}

} // namespace

const std::vector<SkinImage>& BatchSkinImages()
{
    static const std::vector<SkinImage> images = {
        // save panel
        {u"save.png", 5 * 48, 48, 48, false, true, DrawSaveIcons},
        {u"include.png", 20, 120, 0, false, true, DrawIncludeMark},
    };
    return images;
}

} // namespace tools
