// The pictures of the album pages and their dialogs, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

#include <cmath>

namespace tools {

namespace {


// ---- the folder page, its buttons and the preview's cursors ----

void DrawFolderShape(SkinCanvas& c, float x, Rgba body)
{
    c.FillRoundRect(x + 1.5f, 3, x + 7.5f, 6, 1, body);
    c.FillRoundRect(x + 1.5f, 4.5f, x + 14.5f, 13.5f, 1.5f, body);
    c.FillRoundRect(x + 2.5f, 6.5f, x + 13.5f, 12.5f, 1, WithAlpha(kGlyph, 0.35f));
}

void DrawFolderTree(SkinCanvas& c)
{
    // 0 fixed volume, 1 CD-ROM, 2 network volume (not shown: remote volumes go without), 3 removable, 4 folder, 5 folder with photos,
    // 6 and 7 the expanders (expanded, collapsed).
    c.FillRoundRect(1.5f, 4.5f, 14.5f, 11.5f, 2, Colour(0x8C8C8C));
    c.FillRoundRect(2.5f, 5.5f, 13.5f, 10.5f, 1.5f, Colour(0x5A5A5A));
    c.FillCircle(11.5f, 8, 1.2f, Colour(0x7CC46A));
    c.FillCircle(16 + 8, 8, 6.5f, Colour(0xB4B4C8));
    c.FillCircle(16 + 8, 8, 1.8f, kPanel);
    c.StrokeCircle(16 + 8, 8, 4, 0.8f, WithAlpha(kWhite, 0.6f));
    c.StrokeCircle(32 + 8, 8, 6, 1.2f, Colour(0x8CA0B4));
    c.StrokeLine({{32 + 2, 8}, {32 + 14, 8}}, 1, Colour(0x8CA0B4));
    c.StrokeLine({{32 + 8, 2}, {32 + 8, 14}}, 1, Colour(0x8CA0B4));
    c.FillPolygon({{48 + 3, 2}, {48 + 10, 2}, {48 + 13, 5}, {48 + 13, 14}, {48 + 3, 14}}, Colour(0x6E8CB4));
    for (int i = 0; i < 3; ++i)
        c.FillRoundRect(48 + 5.f + i * 2.5f, 3, 48 + 6.5f + i * 2.5f, 6, 0.3f, kAmber);
    DrawFolderShape(c, 64, Colour(0xC8A050));
    DrawFolderShape(c, 80, Colour(0xC8A050));
    c.FillCircle(80 + 11.5f, 10, 3.2f, kAccent);
    c.FillCircle(80 + 11.5f, 10, 1.3f, kWhite);
    GlyphChevron(c, 96, 0, 16, 1, Colour(0xB4B4B4));
    GlyphChevron(c, 112, 0, 16, 0, Colour(0xB4B4B4));
}

void DrawPrevButton(SkinCanvas& c) { GlyphChevron(c, 0, 0, 16, 2, kGlyph, 2); }
void DrawNextButton(SkinCanvas& c) { GlyphChevron(c, 0, 0, 16, 0, kGlyph, 2); }
void DrawUpButton(SkinCanvas& c) { GlyphChevron(c, 0, 0, 16, 3, kGlyph, 2); }

void DrawFavButton(SkinCanvas& c)
{
    std::vector<PointF> star;
    for (int i = 0; i < 10; ++i) {
        const float a = -1.5707963f + float(i) * 0.6283185f;
        const float r = i % 2 ? 3.f : 7.f;
        star.push_back({8 + r * std::cos(a), 8.5f + r * std::sin(a)});
    }
    c.FillPolygon(star, kAmber);
}

void DrawNewFolderButton(SkinCanvas& c)
{
    DrawFolderShape(c, 0, Colour(0xC8A050));
    c.FillCircle(11.5f, 11, 4, kAccent);
    GlyphPlus(c, 8.5f, 8, 6, kWhite);
}

// The preview's edge cursors: a large chevron, white with a black rim (monochrome cursors).
void DrawEdgeCursor(SkinCanvas& c, bool next)
{
    const float d = next ? 1.f : -1.f;
    auto chevron = [&](float grow) {
        return std::vector<PointF>{{16 - d * (6 + grow), 4 - grow}, {16 + d * (8 + grow), 16},
                                   {16 - d * (6 + grow), 28 + grow}, {16 - d * (6 + grow), 21 + grow},
                                   {16 + d * (1 - grow), 16}, {16 - d * (6 + grow), 11 - grow}};
    };
    c.FillPolygon(chevron(1.5f), Grey(0));
    c.FillPolygon(chevron(0), Grey(255));
}

void DrawCursorPrevious(SkinCanvas& c) { DrawEdgeCursor(c, false); }
void DrawCursorNext(SkinCanvas& c) { DrawEdgeCursor(c, true); }

} // namespace

const std::vector<SkinImage>& AlbumSkinImages()
{
    static const std::vector<SkinImage> images = {
        // The folder page, its buttons and the preview's cursors.
        {u"foldertree.png", 8 * 16, 16, 16, true, true, DrawFolderTree},
        {u"prev.png", 16, 16, 0, true, true, DrawPrevButton},
        {u"next.png", 16, 16, 0, true, true, DrawNextButton},
        {u"up.png", 16, 16, 0, true, true, DrawUpButton},
        {u"fav.png", 16, 16, 0, true, true, DrawFavButton},
        {u"newfolder.png", 16, 16, 0, true, true, DrawNewFolderButton},
        {u"cursor201.png", 32, 32, 0, true, false, DrawCursorPrevious},
        {u"cursor202.png", 32, 32, 0, true, false, DrawCursorNext},
    };
    return images;
}

} // namespace tools
