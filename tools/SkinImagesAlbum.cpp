// The pictures of the album pages and their dialogs, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

#include <cmath>

namespace tools {

namespace {

// ---- the album page's tool panel and the photo grid ----

void FolderOutline(SkinCanvas& c, float l, float t, float r, float b, Rgba body, Rgba tab)
{
    c.FillRoundRect(l, t, l + (r - l) * 0.42f, t + (b - t) * 0.25f, 3, tab);
    c.FillRoundRect(l, t + (b - t) * 0.14f, r, b, 4, body);
}

// Tool panel frames, 32 pixels each: menu, view, edit, batch, batch print, large, thumbnails,
// details, sort by name, by date, by time, multi-photo, two spare frames.
void DrawAlbumTool(SkinCanvas& c, int frame)
{
    const float x = float(frame * 32);
    const Rgba g = kGlyph;
    switch (frame) {
    case 0: // menu
        for (int i = 0; i < 3; ++i)
            c.FillRoundRect(x + 7, 9 + i * 6.f, x + 25, 11.5f + i * 6.f, 1, g);
        break;
    case 1: // view: an eye
        c.StrokeCircle(x + 16, 16, 6, 2, g);
        c.FillCircle(x + 16, 16, 2.5f, g);
        c.StrokeLine({{x + 4, 16}, {x + 10, 10}}, 1.5f, g);
        c.StrokeLine({{x + 28, 16}, {x + 22, 10}}, 1.5f, g);
        break;
    case 2: // edit: a pencil
        c.StrokeLine({{x + 9, 23}, {x + 23, 9}}, 4, g);
        c.FillPolygon({{x + 6, 26}, {x + 7.5f, 21}, {x + 11, 24.5f}}, kAmber);
        break;
    case 3: // batch: stacked pages
        for (int i = 2; i >= 0; --i)
            c.FillRoundRect(x + 7 + i * 3.f, 7 + i * 3.f, x + 19 + i * 3.f, 21 + i * 3.f, 2, i ? kEdge : g);
        break;
    case 4: // batch print: a printer
        c.FillRoundRect(x + 6, 12, x + 26, 22, 2, g);
        c.FillRoundRect(x + 10, 6, x + 22, 12, 1, kEdge);
        c.FillRoundRect(x + 10, 19, x + 22, 27, 1, kWhite);
        break;
    case 5: // large thumbnails
        c.FillRoundRect(x + 7, 7, x + 25, 25, 2, g);
        break;
    case 6: // thumbnails
        for (int i = 0; i < 4; ++i)
            c.FillRoundRect(x + 7 + (i % 2) * 10.f, 7 + (i / 2) * 10.f, x + 15 + (i % 2) * 10.f, 15 + (i / 2) * 10.f, 1, g);
        break;
    case 7: // details
        for (int i = 0; i < 3; ++i) {
            c.FillRoundRect(x + 6, 7 + i * 7.f, x + 11, 12 + i * 7.f, 1, g);
            c.FillRoundRect(x + 13, 8.5f + i * 7.f, x + 26, 10.5f + i * 7.f, 1, g);
        }
        break;
    case 8: // sort by name
        c.DrawText(u"A", x + 12, 11, 11, 700, g);
        c.DrawText(u"Z", x + 12, 23, 11, 700, g);
        c.StrokeLine({{x + 23, 7}, {x + 23, 25}}, 1.5f, kAccent);
        c.StrokeLine({{x + 19, 21}, {x + 23, 25}, {x + 27, 21}}, 1.5f, kAccent);
        break;
    case 9: // sort by capture date: a calendar
        c.StrokeRoundRect(x + 6, 8, x + 26, 26, 2, 1.5f, g);
        c.FillRoundRect(x + 6, 8, x + 26, 13, 2, g);
        c.FillCircle(x + 12, 19, 1.6f, kAccent);
        c.FillCircle(x + 20, 19, 1.6f, g);
        break;
    case 10: // sort by modification time: a clock
        c.StrokeCircle(x + 16, 16, 9, 1.5f, g);
        c.StrokeLine({{x + 16, 10}, {x + 16, 16}, {x + 21, 19}}, 1.5f, kAccent);
        break;
    case 11: // several photos at once
        c.FillRoundRect(x + 5, 10, x + 19, 22, 2, kEdge);
        c.FillRoundRect(x + 9, 7, x + 23, 19, 2, g);
        c.FillRoundRect(x + 13, 13, x + 27, 25, 2, kAccent);
        break;
    default:
        c.StrokeCircle(x + 16, 16, 8, 1.5f, kEdge);
        break;
    }
}

void DrawAlbumTools(SkinCanvas& c)
{
    for (int i = 0; i < 14; ++i)
        DrawAlbumTool(c, i);
}

void DrawMessage(SkinCanvas& c)
{
    c.FillRoundRect(4, 7, 28, 24, 3, kAmber);
    c.StrokeLine({{5, 9}, {16, 17}, {27, 9}}, 1.8f, kPanel);
}

void DrawFolderThumb(SkinCanvas& c)
{
    FolderOutline(c, 16, 38, 184, 172, Colour(0xB8913C), Colour(0x9A7630));
    c.FillGradient(18, 68, 182, 170, Colour(0xE0B85A), Colour(0xC79A42));
}

void DrawUnknownThumb(SkinCanvas& c)
{
    c.FillRoundRect(36, 24, 164, 176, 6, kPanelLight);
    c.StrokeRoundRect(36, 24, 164, 176, 6, 2, kEdge);
    // A small landscape: the picture that is not there yet.
    c.FillPolygon({{58, 146}, {92, 100}, {116, 128}, {130, 112}, {144, 146}}, kEdge);
    c.FillCircle(128, 72, 10, kEdge);
}

// Type badges, 20 pixels each, in type-code order: JPG BMP GIF PNG TIF TGA PCX RAW.
void DrawTypeBadges(SkinCanvas& c)
{
    static const char16_t* names[8] = {u"JPG", u"BMP", u"GIF", u"PNG", u"TIF", u"TGA", u"PCX", u"RAW"};
    static const uint32_t colours[8] = {0x4682C8, 0x6A6A6A, 0x8A5CC8, 0x3C9A6A, 0xB0743C, 0x6A6A6A, 0x6A6A6A, 0xC4524C};
    for (int i = 0; i < 8; ++i) {
        const float x = float(i * 20);
        c.FillRoundRect(x + 1, 3, x + 19, 13, 2, Colour(colours[i]));
        c.DrawText(names[i], x + 10, 8, 8, 700, kWhite);
    }
}

void DrawExifBadge(SkinCanvas& c)
{
    c.FillRoundRect(0, 0, 26, 12, 3, WithAlpha(kTitle, 0.85f));
    c.DrawText(u"EXIF", 13, 6, 8, 700, kAmber);
}

void DrawCamera(SkinCanvas& c)
{
    const Rgba body = Colour(0x202020);
    c.FillRoundRect(10, 26, 150, 110, 10, body);
    c.FillRoundRect(50, 14, 96, 30, 4, body);
    c.StrokeCircle(80, 68, 26, 5, Colour(0x2C2C2C));
    c.StrokeCircle(80, 68, 14, 3, Colour(0x262626));
    c.FillCircle(130, 40, 4, Colour(0x2A2A2A));
}

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
        // The album page and its photo grid.
        {u"albumtools.png", 14 * 32, 32, 32, false, true, DrawAlbumTools},
        {u"message.png", 32, 32, 0, false, true, DrawMessage},
        {u"folderthumb.png", 200, 200, 0, false, true, DrawFolderThumb},
        {u"unknownthumb.png", 200, 200, 0, false, true, DrawUnknownThumb},
        {u"imgtype.png", 8 * 20, 16, 20, false, true, DrawTypeBadges},
        {u"exif.png", 26, 12, 0, false, true, DrawExifBadge},
        {u"camera.png", 160, 120, 0, false, true, DrawCamera},
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
