// Small vector drawing (rounded rectangles, anti-aliased strokes, text) into BGRA images for
// the stand-in UI images. Greys for chrome, one muted blue accent.
#include "ui/DrawnUiImages.h"

#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/TextRender.h"
#include "platform/Folders.h"
#include "platform/Path.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

constexpr uint32_t kAccent = 0x4682C8; // muted blue (70, 130, 200)

struct Canvas {
    ImageBuffer8& img;

    bool Make(int w, int h)
    {
        if (!AllocImage8(img, w, h))
            return false;
        std::memset(img.data, 0, img.byteSize);
        return true;
    }
    // Source-over of a colour with coverage `a` (0..1) and alpha `alpha`.
    void Blend(int x, int y, uint32_t rgb, int alpha, double a)
    {
        if (x < 0 || y < 0 || x >= img.width || y >= img.height || a <= 0)
            return;
        uint8_t* p = img.data + (size_t(y) * img.width + x) * 4;
        const double sa = std::min(1.0, a) * alpha / 255.0;
        const double da = p[3] / 255.0;
        const double oa = sa + da * (1 - sa);
        const uint8_t src[3] = {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16)};
        for (int c = 0; c < 3; ++c)
            p[c] = oa > 0 ? uint8_t(std::lround((src[c] * sa + p[c] * da * (1 - sa)) / oa)) : 0;
        p[3] = uint8_t(std::lround(oa * 255));
    }
    // Coverage of a rounded rectangle (pixel centres), radius r.
    static double RoundRectCoverage(double px, double py, double l, double t, double rgt, double b, double r)
    {
        const double cx = std::clamp(px, l + r, rgt - r), cy = std::clamp(py, t + r, b - r);
        const double d = std::hypot(px - cx, py - cy) - r;
        return std::clamp(0.5 - d, 0.0, 1.0);
    }
    void FillRoundRect(double l, double t, double r, double b, double radius, uint32_t rgb, int alpha)
    {
        for (int y = int(t); y < int(std::ceil(b)); ++y)
            for (int x = int(l); x < int(std::ceil(r)); ++x)
                Blend(x, y, rgb, alpha, RoundRectCoverage(x + 0.5, y + 0.5, l, t, r, b, radius));
    }
    void StrokeRoundRect(double l, double t, double r, double b, double radius, uint32_t rgb, int alpha)
    {
        for (int y = int(t); y < int(std::ceil(b)); ++y)
            for (int x = int(l); x < int(std::ceil(r)); ++x) {
                const double outer = RoundRectCoverage(x + 0.5, y + 0.5, l, t, r, b, radius);
                const double inner = RoundRectCoverage(x + 0.5, y + 0.5, l + 1, t + 1, r - 1, b - 1, std::max(0.0, radius - 1));
                Blend(x, y, rgb, alpha, outer - inner);
            }
    }
    // Anti-aliased segment of width w (pixel units).
    void Line(double x0, double y0, double x1, double y1, double w, uint32_t rgb, int alpha = 255)
    {
        const int minX = int(std::floor(std::min(x0, x1) - w)), maxX = int(std::ceil(std::max(x0, x1) + w));
        const int minY = int(std::floor(std::min(y0, y1) - w)), maxY = int(std::ceil(std::max(y0, y1) + w));
        const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
        for (int y = minY; y <= maxY; ++y)
            for (int x = minX; x <= maxX; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                double t = len2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / len2 : 0;
                t = std::clamp(t, 0.0, 1.0);
                const double d = std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
                Blend(x, y, rgb, alpha, std::clamp(w / 2 + 0.5 - d, 0.0, 1.0));
            }
    }
    void FillRect(int l, int t, int r, int b, uint32_t rgb, int alpha)
    {
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                Blend(x, y, rgb, alpha, 1.0);
    }
    // Text through the font layer, inked in rgb.
    bool Text(const char16_t* text, int x, int y, int height, uint32_t rgb)
    {
        ImageBuffer8 cov;
        if (!RenderTextLocked(text, cov, nullptr, height, 1024, nullptr))
            return false;
        for (int yy = 0; yy < cov.height; ++yy)
            for (int xx = 0; xx < cov.width; ++xx)
                Blend(x + xx, y + yy, rgb, 255, cov.data[(size_t(yy) * cov.width + xx) * 4 + 2] / 255.0);
        const int w = cov.width;
        FreeImageBuffer(cov);
        return w > 0;
    }
};

bool Is(const char16_t* a, std::u16string_view b)
{
    return std::u16string_view(a) == b;
}

int DrawFrame(Canvas& c)
{
    // 160 x 160: TileFrame8 keeps the 47-pixel corners and repeats the middle 65 rows/columns.
    if (!c.Make(160, 160))
        return 0;
    for (int y = 0; y < 160; ++y) {
        const uint32_t body = y < 40 ? 0x262626 : 0x1C1C1C;
        c.FillRect(0, y, 160, y + 1, body, 255);
    }
    c.FillRect(0, 40, 160, 41, 0x333333, 255);
    c.StrokeRoundRect(0, 0, 160, 160, 0, 0x3A3A3A, 255);
    return 1;
}

int DrawButtonFace(Canvas& c)
{
    // Only the red channel matters: the button's face alpha follows it.
    if (!c.Make(32, 32))
        return 0;
    c.FillRoundRect(0, 0, 32, 32, 4, 0xC0C0C0, 255);
    c.StrokeRoundRect(0, 0, 32, 32, 4, 0xFFFFFF, 255);
    return 1;
}

int DrawGlyph(Canvas& c, const char16_t* name)
{
    if (!c.Make(11, 9))
        return 0;
    const uint32_t ink = 0xD2D2D2;
    if (Is(name, u"close.png")) {
        c.Line(1.5, 0.5, 9.5, 8.5, 1.4, ink);
        c.Line(9.5, 0.5, 1.5, 8.5, 1.4, ink);
    } else if (Is(name, u"maximal.png")) {
        c.StrokeRoundRect(1, 0, 10, 9, 0, ink, 255);
        c.FillRect(1, 0, 10, 2, ink, 255);
    } else if (Is(name, u"restore.png")) {
        c.StrokeRoundRect(3, 0, 11, 6, 0, ink, 255);
        c.FillRect(0, 3, 8, 9, 0x000000, 0);
        for (int y = 3; y < 9; ++y)
            for (int x = 0; x < 8; ++x)
                std::memset(c.img.data + (size_t(y) * 11 + x) * 4, 0, 4);
        c.StrokeRoundRect(0, 3, 8, 9, 0, ink, 255);
    } else {
        c.FillRect(1, 7, 10, 9, ink, 255);
    }
    return 1;
}

int DrawDigits(Canvas& c)
{
    if (!c.Make(20 * 11, 27))
        return 0;
    const char16_t* glyphs[] = {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"+"};
    for (int i = 0; i < 11; ++i) {
        ImageBuffer8 cov;
        if (!RenderTextLocked(glyphs[i], cov, nullptr, 26, 20, nullptr))
            return 0;
        const int ox = i * 20 + (20 - cov.width) / 2, oy = (27 - cov.height) / 2;
        for (int y = 0; y < cov.height; ++y)
            for (int x = 0; x < cov.width; ++x) {
                const uint8_t v = cov.data[(size_t(y) * cov.width + x) * 4 + 2];
                if (ox + x < 0 || ox + x >= c.img.width || oy + y < 0 || oy + y >= 27)
                    continue;
                std::memset(c.img.data + (size_t(oy + y) * c.img.width + ox + x) * 4, v, 4);
            }
        FreeImageBuffer(cov);
    }
    return 1;
}

int DrawCheckboxes(Canvas& c)
{
    // Five 20-pixel frames: unchecked, checked, disabled unchecked, disabled checked, spare.
    if (!c.Make(100, 20))
        return 0;
    for (int f = 0; f < 4; ++f) {
        const int x = f * 20;
        const bool checked = f % 2 == 1, disabled = f >= 2;
        const int alpha = disabled ? 110 : 255;
        if (checked) {
            c.FillRoundRect(x + 2, 2, x + 18, 18, 3, kAccent, alpha);
            c.Line(x + 5.5, 10, x + 8.5, 13, 1.6, 0xFFFFFF, alpha);
            c.Line(x + 8.5, 13, x + 14.5, 7, 1.6, 0xFFFFFF, alpha);
        } else {
            c.FillRoundRect(x + 2, 2, x + 18, 18, 3, 0x2A2A2A, alpha);
            c.StrokeRoundRect(x + 2, 2, x + 18, 18, 3, 0x8A8A8A, alpha);
        }
    }
    return 1;
}

} // namespace

int DrawnUiImage(UiImageFolder, const char16_t* name, ImageBuffer8& out)
{
    if (!name)
        return 0;
    Canvas c{out};
    if (Is(name, u"frame.png"))
        return DrawFrame(c);
    if (Is(name, u"btn.png"))
        return DrawButtonFace(c);
    if (Is(name, u"close.png") || Is(name, u"maximal.png") || Is(name, u"restore.png") || Is(name, u"minimal.png"))
        return DrawGlyph(c, name);
    if (Is(name, u"title.png")) {
        if (!c.Make(220, 36))
            return 0;
        c.FillRoundRect(14, 13, 24, 23, 2, kAccent, 255);
        return c.Text(u"Zendra", 32, 10, 16, 0xC8C8C8) ? 1 : 0;
    }
    if (Is(name, u"tip.png")) {
        if (!c.Make(32, 32))
            return 0;
        c.FillRoundRect(0, 0, 32, 32, 4, 0x303030, 240);
        c.StrokeRoundRect(0, 0, 32, 32, 4, 0x5A5A5A, 255);
        return 1;
    }
    if (Is(name, u"tippoint.png")) {
        if (!c.Make(8, 8))
            return 0;
        c.Line(0, 8, 4, 2, 1.2, 0x5A5A5A);
        c.Line(4, 2, 8, 8, 1.2, 0x5A5A5A);
        return 1;
    }
    if (Is(name, u"kbd.png")) {
        if (!c.Make(14, 14))
            return 0;
        c.Line(1, 1.5, 12, 1.5, 2, kAccent);
        c.Line(1.5, 1, 1.5, 12, 2, kAccent);
        return 1;
    }
    if (Is(name, u"digi.png"))
        return DrawDigits(c);
    if (Is(name, u"checkbox.png"))
        return DrawCheckboxes(c);
    if (Is(name, u"ratio.png")) {
        // Four 20-pixel frames: off, on, disabled off, disabled on.
        if (!c.Make(80, 20))
            return 0;
        for (int f = 0; f < 4; ++f) {
            const double cx = f * 20 + 10, cy = 10;
            const int alpha = f >= 2 ? 110 : 255;
            if (f % 2) {
                c.FillRoundRect(cx - 8, cy - 8, cx + 8, cy + 8, 8, kAccent, alpha);
                c.FillRoundRect(cx - 3, cy - 3, cx + 3, cy + 3, 3, 0xFFFFFF, alpha);
            } else {
                c.FillRoundRect(cx - 8, cy - 8, cx + 8, cy + 8, 8, 0x2A2A2A, alpha);
                c.StrokeRoundRect(cx - 8, cy - 8, cx + 8, cy + 8, 8, 0x8A8A8A, alpha);
            }
        }
        return 1;
    }
    if (Is(name, u"roundframe.png")) {
        if (!c.Make(24, 24))
            return 0;
        c.FillRoundRect(0, 0, 24, 24, 5, 0x202020, 230);
        c.StrokeRoundRect(0, 0, 24, 24, 5, 0x4A4A4A, 255);
        return 1;
    }
    if (Is(name, u"messagebox.png")) {
        // Information, question, warning, error: a disc (or triangle) in its colour with a mark.
        if (!c.Make(256, 64))
            return 0;
        const uint32_t colours[] = {kAccent, 0x3C8CDC, 0xE0A020, 0xD04040};
        for (int f = 0; f < 4; ++f) {
            const double x = f * 64;
            c.FillRoundRect(x + 12, 12, x + 52, 52, 20, colours[f], 255);
            if (f == 1) {
                c.Line(x + 26, 24, x + 32, 20, 3, 0xFFFFFF);
                c.Line(x + 32, 20, x + 38, 26, 3, 0xFFFFFF);
                c.Line(x + 38, 26, x + 32, 34, 3, 0xFFFFFF);
                c.FillRect(int(x) + 30, 40, int(x) + 35, 45, 0xFFFFFF, 255);
            } else {
                const bool dotTop = f == 0;
                c.FillRect(int(x) + 30, dotTop ? 30 : 20, int(x) + 35, dotTop ? 44 : 36, 0xFFFFFF, 255);
                c.FillRect(int(x) + 30, dotTop ? 20 : 40, int(x) + 35, dotTop ? 25 : 45, 0xFFFFFF, 255);
            }
        }
        return 1;
    }
    if (Is(name, u"indicator.png")) {
        // Two 12-pixel frames: off and on.
        if (!c.Make(24, 12))
            return 0;
        c.FillRoundRect(2, 2, 10, 10, 4, 0x5A5A5A, 255);
        c.FillRoundRect(14, 2, 22, 10, 4, kAccent, 255);
        return 1;
    }
    if (Is(name, u"menuicon.png")) {
        // Six 16-pixel frames; the menus use the last two (counted across the shared strip as
        // frames 16 and 17): the sub-menu arrow and the check mark, drawn as coverage.
        if (!c.Make(96, 16))
            return 0;
        c.Line(4 * 16 + 6, 4, 4 * 16 + 10, 8, 1.6, 0xFFFFFF);
        c.Line(4 * 16 + 10, 8, 4 * 16 + 6, 12, 1.6, 0xFFFFFF);
        c.Line(5 * 16 + 3, 8, 5 * 16 + 6.5, 11.5, 1.8, 0xFFFFFF);
        c.Line(5 * 16 + 6.5, 11.5, 5 * 16 + 13, 4, 1.8, 0xFFFFFF);
        return 1;
    }
    if (Is(name, u"scrollbar.png")) {
        if (!c.Make(14, 40))
            return 0;
        c.FillRoundRect(0, 0, 14, 40, 4, 0x2A2A2A, 200);
        return 1;
    }
    if (Is(name, u"sliderbar.png")) {
        if (!c.Make(60, 20))
            return 0;
        c.FillRoundRect(18, 8, 42, 12, 2, 0x505050, 255);
        c.FillRect(25, 8, 35, 12, 0x505050, 255);
        return 1;
    }
    if (Is(name, u"slider.png")) {
        if (!c.Make(10, 14))
            return 0;
        c.FillRoundRect(0, 0, 10, 14, 3, 0xD2D2D2, 255);
        return 1;
    }
    if (Is(name, u"add.png") || Is(name, u"sub.png")) {
        if (!c.Make(12, 12))
            return 0;
        c.Line(1, 6, 11, 6, 1.6, 0xD2D2D2);
        if (Is(name, u"add.png"))
            c.Line(6, 1, 6, 11, 1.6, 0xD2D2D2);
        return 1;
    }
    if (Is(name, u"expand.png")) {
        if (!c.Make(16, 16))
            return 0;
        c.Line(4.5, 6.5, 8, 10, 1.5, 0xC8C8C8);
        c.Line(8, 10, 11.5, 6.5, 1.5, 0xC8C8C8);
        return 1;
    }
    return 0;
}

int FilesThenDrawnUiImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    platform::String16 path = platform::JoinPath(platform::ProgramFolder(),
                                                 folder == UiImageFolder::Skin ? u"skin" : u"basic");
    path = platform::JoinPath(path, name);
    if (CodecLoadImage8(out, path.c_str()))
        return 1;
    return DrawnUiImage(folder, name, out);
}
