// The pictures of the adjustment, filter and geometry dialogs, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

#include <cmath>

namespace tools {

namespace {

// "viewmode.png", 16-pixel frames: 0 before, 1 after, 2 before above after, 3 before beside
// after, 4 the canvas alone, 5 blend, 6 a mask in use, 7 no mask.
void DrawViewModes(SkinCanvas& c)
{
    const float w = 1.2f;
    for (int i = 0; i < 8; ++i) {
        const float x = i * 16.f;
        switch (i) {
        case 0:
        case 1: // a picture frame; the after frame carries the accent
            c.StrokeRoundRect(x + 2, 3, x + 14, 13, 1.5f, w, kGlyph);
            c.StrokeLine({{x + 4, 11}, {x + 7, 7}, {x + 9, 9}, {x + 12, 6}}, w, i == 1 ? kAccent : kGlyph);
            break;
        case 2: // split top / bottom
            c.StrokeRoundRect(x + 2, 2, x + 14, 14, 1.5f, w, kGlyph);
            c.FillRoundRect(x + 3, 8, x + 13, 13, 1, WithAlpha(kAccent, 0.8f));
            c.StrokeLine({{x + 2.5f, 8}, {x + 13.5f, 8}}, w, kGlyph);
            break;
        case 3: // split left / right
            c.StrokeRoundRect(x + 2, 2, x + 14, 14, 1.5f, w, kGlyph);
            c.FillRoundRect(x + 8, 3, x + 13, 13, 1, WithAlpha(kAccent, 0.8f));
            c.StrokeLine({{x + 8, 2.5f}, {x + 8, 13.5f}}, w, kGlyph);
            break;
        case 4: // the canvas: a wide frame with the picture filling it
            c.FillRoundRect(x + 1.5f, 3.5f, x + 14.5f, 12.5f, 1.5f, WithAlpha(kAccent, 0.85f));
            c.StrokeRoundRect(x + 1.5f, 3.5f, x + 14.5f, 12.5f, 1.5f, w, kGlyph);
            break;
        case 5: // blend: two overlapping discs
            c.FillCircle(x + 6, 8, 4.2f, WithAlpha(kGlyph, 0.55f));
            c.FillCircle(x + 10, 8, 4.2f, WithAlpha(kAccent, 0.75f));
            break;
        case 6: // a mask in use: a filled disc inside a frame
            c.StrokeRoundRect(x + 2, 2, x + 14, 14, 1.5f, w, kGlyph);
            c.FillCircle(x + 8, 8, 3.6f, kAmber);
            break;
        default: // no mask: the empty disc
            c.StrokeRoundRect(x + 2, 2, x + 14, 14, 1.5f, w, kGlyph);
            c.StrokeCircle(x + 8, 8, 3.4f, 1.1f, kGlyph);
            break;
        }
    }
}

// "curvetool.png", 24-pixel frames: 0 8-bit editing, 1 16-bit editing, 2 straight segments,
// 3 smooth curve, 4 colour picker, 5 automatic levels, 6 automatic equalising.
void DrawCurveTools(SkinCanvas& c)
{
    const float w = 1.4f;
    for (int i = 0; i < 7; ++i) {
        const float x = i * 24.f;
        switch (i) {
        case 0: c.DrawText(u"8", x + 12, 12, 13, 700, kGlyph); break;
        case 1: c.DrawText(u"16", x + 12, 12, 12, 700, kGlyph); break;
        case 2: c.StrokeLine({{x + 4, 19}, {x + 10, 11}, {x + 14, 13}, {x + 20, 4}}, w, kGlyph); break;
        case 3: {
            std::vector<PointF> p;
            for (int k = 0; k <= 16; ++k) {
                const float t = k / 16.f;
                p.push_back({x + 4 + 16 * t, 19 - 15 * (t * t * (3 - 2 * t))});
            }
            c.StrokeLine(p, w, kGlyph);
            break;
        }
        case 4: // an eyedropper
            c.StrokeLine({{x + 5, 19}, {x + 14, 10}}, 2.2f, kGlyph);
            c.FillRoundRect(x + 13, 4, x + 20, 11, 2.5f, kGlyph);
            c.FillCircle(x + 4.5f, 19.5f, 1.5f, kAccent);
            break;
        case 5: // levels: black and white points under a histogram
            c.FillPolygon({{x + 4, 17}, {x + 8, 8}, {x + 12, 12}, {x + 16, 6}, {x + 20, 17}}, WithAlpha(kGlyph, 0.45f));
            c.FillPolygon({{x + 4, 18}, {x + 7, 22}, {x + 1, 22}}, kGlyph);
            c.FillPolygon({{x + 20, 18}, {x + 23, 22}, {x + 17, 22}}, kWhite);
            break;
        default: // equalising: an even histogram
            for (int k = 0; k < 5; ++k)
                c.FillRoundRect(x + 3.5f + k * 3.6f, 9, x + 6.1f + k * 3.6f, 19, 0.6f, WithAlpha(kGlyph, 0.8f));
            c.StrokeLine({{x + 3, 6}, {x + 21, 6}}, 1.1f, kAccent);
            break;
        }
    }
}

// Program cursors, 32 x 32: opaque light pixels show white, opaque dark ones black.
// 163: the curve box's "add a point" (a cross with a small plus), hot spot at the cross.
void DrawAddPointCursor(SkinCanvas& c)
{
    const Rgba black = Grey(0), white = Grey(255);
    c.StrokeLine({{15.5f, 3}, {15.5f, 28}}, 3.2f, black);
    c.StrokeLine({{3, 15.5f}, {28, 15.5f}}, 3.2f, black);
    c.StrokeLine({{15.5f, 4}, {15.5f, 27}}, 1.2f, white);
    c.StrokeLine({{4, 15.5f}, {27, 15.5f}}, 1.2f, white);
    c.FillCircle(24, 24, 6, black);
    c.StrokeLine({{24, 20.5f}, {24, 27.5f}}, 1.6f, white);
    c.StrokeLine({{20.5f, 24}, {27.5f, 24}}, 1.6f, white);
}

// 164: the curve dialog's colour picker, an eyedropper whose tip is the hot spot (1, 30).
void DrawPickerCursor(SkinCanvas& c)
{
    const Rgba black = Grey(0), white = Grey(255);
    c.StrokeLine({{2, 29}, {19, 12}}, 5.5f, black);
    c.FillRoundRect(17, 3, 29, 15, 5, black);
    c.StrokeLine({{3, 28}, {19, 12}}, 2.2f, white);
    c.FillRoundRect(19, 5, 27, 13, 3.5f, white);
}

// ---- tone and colour dialogs ----

// "rgbblend.png", 16 x 16: the divider handle of the weight and transition bars, a light grip
// with a dark edge so that it shows on every band colour.
void DrawBlendHandle(SkinCanvas& c)
{
    c.FillRoundRect(4.5f, 1.5f, 11.5f, 14.5f, 2.5f, Grey(20));
    c.FillRoundRect(5.5f, 2.5f, 10.5f, 13.5f, 2, Grey(225));
    c.StrokeLine({{8, 4.5f}, {8, 11.5f}}, 1.2f, kAccent);
}

} // namespace

const std::vector<SkinImage>& DialogSkinImages()
{
    static const std::vector<SkinImage> images = {
        {u"viewmode.png", 8 * 16, 16, 16, true, false, DrawViewModes},
        {u"curvetool.png", 7 * 24, 24, 24, true, true, DrawCurveTools},
        {u"cursor163.png", 32, 32, 0, true, false, DrawAddPointCursor},
        {u"cursor164.png", 32, 32, 0, true, false, DrawPickerCursor},
        // tone and colour dialogs
        {u"rgbblend.png", 16, 16, 0, true, true, DrawBlendHandle},
    };
    return images;
}

} // namespace tools
