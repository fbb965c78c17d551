// Drawing primitives on 8-bit BGRA images.
#include "imaging/Draw8.h"
#include "imaging/AlphaTables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Columns and rows of the target that a w x h picture at (x, y) covers inside the clip.
struct Span {
    int x0, x1, y0, y1;  // exclusive ends
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

Span ClipPlacement(const ImageBuffer8& target, int x, int y, int w, int h, const DrawRect& clip)
{
    DrawRect c = clip;
    if (c.left == c.right)
        c = {0, 0, target.width, target.height};
    Span s;
    s.x0 = std::max({0, x, c.left});
    s.x1 = int(std::min<int64_t>({int64_t(target.width), int64_t(x) + w, int64_t(c.right)}));
    s.y0 = std::max({0, y, c.top});
    s.y1 = int(std::min<int64_t>({int64_t(target.height), int64_t(y) + h, int64_t(c.bottom)}));
    return s;
}

inline uint8_t* PixelAt(ImageBuffer8& image, int x, int y)
{
    return image.data + (size_t(y) * size_t(image.width) + size_t(x)) * 4;
}

inline const uint8_t* PixelAt(const ImageBuffer8& image, int x, int y)
{
    return image.data + (size_t(y) * size_t(image.width) + size_t(x)) * 4;
}

} // namespace

void BlendImage8(ImageBuffer8& target, const ImageBuffer8& source, int x, int y,
                 bool accumulateAlpha, int opacity, const DrawRect& clip)
{
    const AlphaTables* at = GetAlphaTables();
    if (!at || !target.data || !source.data)
        return;
    opacity = std::clamp(opacity, 0, 256);
    const Span s = ClipPlacement(target, x, y, source.width, source.height, clip);
    if (s.empty())
        return;
    for (int ty = s.y0; ty < s.y1; ++ty) {
        uint8_t* d = PixelAt(target, s.x0, ty);
        const uint8_t* p = PixelAt(source, s.x0 - x, ty - y);
        for (int tx = s.x0; tx < s.x1; ++tx, d += 4, p += 4) {
            const int k = (opacity * p[3]) >> 8;
            if (k == 0)
                continue;
            const uint8_t* t1 = at->t1[k];
            const uint8_t* t2 = at->t2[k];
            d[0] = uint8_t(t1[p[0]] + t2[d[0]]);
            d[1] = uint8_t(t1[p[1]] + t2[d[1]]);
            d[2] = uint8_t(t1[p[2]] + t2[d[2]]);
            if (accumulateAlpha)
                d[3] = uint8_t(t2[d[3]] + t1[255]);
        }
    }
}

void FillThroughMask8(ImageBuffer8& target, const ImageBuffer8& coverage, int x, int y,
                      uint32_t colour, const DrawRect& clip)
{
    const AlphaTables* at = GetAlphaTables();
    if (!at || !target.data || !coverage.data)
        return;
    const Span s = ClipPlacement(target, x, y, coverage.width, coverage.height, clip);
    if (s.empty())
        return;
    const uint8_t cb = ColourBlue(colour), cg = ColourGreen(colour), cr = ColourRed(colour);
    for (int ty = s.y0; ty < s.y1; ++ty) {
        uint8_t* d = PixelAt(target, s.x0, ty);
        const uint8_t* m = PixelAt(coverage, s.x0 - x, ty - y);
        for (int tx = s.x0; tx < s.x1; ++tx, d += 4, m += 4) {
            const int c = m[2];
            if (c == 0)
                continue;
            const uint8_t* t1 = at->t1[c];
            const uint8_t* t2 = at->t2[c];
            d[0] = uint8_t(t1[cb] + t2[d[0]]);
            d[1] = uint8_t(t1[cg] + t2[d[1]]);
            d[2] = uint8_t(t1[cr] + t2[d[2]]);
            d[3] = uint8_t(t2[d[3]] + t1[255]);
        }
    }
}

void FillRect8(ImageBuffer8& target, const DrawRect& rect, uint32_t colour, int alpha)
{
    if (!target.data)
        return;
    alpha = std::clamp(alpha, 0, 255);
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, target.width);
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, target.height);
    const int col[3] = {ColourBlue(colour), ColourGreen(colour), ColourRed(colour)};
    for (int y = y0; y < y1; ++y) {
        uint8_t* d = x0 < x1 ? PixelAt(target, x0, y) : nullptr;
        for (int x = x0; x < x1; ++x, d += 4) {
            if (alpha == 255 && d[3] == 0)
                d[3] = 255;
            const int k = alpha * d[3] / 255;
            for (int c = 0; c < 3; ++c)
                d[c] = uint8_t(d[c] + (col[c] - d[c]) * k / 255);
        }
    }
}

void DrawRectOutline8(ImageBuffer8& target, uint32_t colour, int alpha, int left, int top,
                      int right, int bottom)
{
    // 64-bit: the corners may lie anywhere in the 32-bit range.
    const int64_t w = int64_t(right) - left, h = int64_t(bottom) - top;
    if (!target.data || w <= 0 || h <= 0)
        return;
    // Only the part that can land on the target needs drawing; an outline far larger than the
    // target must not cost a huge temporary image.
    if (w > INT32_MAX || h > INT32_MAX ||
        w * h > int64_t(target.width + 2) * (target.height + 2) * 4) {
        // Draw the four sides directly as 1-pixel rectangles through the same blend.
        ImageBuffer8 line;
        const uint32_t px = (colour & 0xFFFFFFu) | (uint32_t(std::clamp(alpha, 0, 255)) << 24);
        auto side = [&](int64_t x, int64_t y, int64_t sw, int64_t sh) {
            DrawRect clipTo{int32_t(std::max<int64_t>(x, 0)), int32_t(std::max<int64_t>(y, 0)),
                            int32_t(std::min<int64_t>(x + sw, target.width)),
                            int32_t(std::min<int64_t>(y + sh, target.height))};
            if (clipTo.left >= clipTo.right || clipTo.top >= clipTo.bottom)
                return;
            const int cw = clipTo.right - clipTo.left, ch = clipTo.bottom - clipTo.top;
            if (!AllocImage8(line, cw, ch))
                return;
            for (uint32_t i = 0; i < line.pixelCount; ++i)
                std::memcpy(line.data + size_t(i) * 4, &px, 4);
            BlendImage8(target, line, clipTo.left, clipTo.top, true, 256);
        };
        // A one-pixel-high outline has one row, a one-pixel-wide one one column: each is
        // blended once, as in the temporary image.
        if (w > 2) {
            side(int64_t(left) + 1, top, w - 2, 1);
            if (h > 1)
                side(int64_t(left) + 1, int64_t(bottom) - 1, w - 2, 1);
        }
        if (h > 2) {
            side(left, int64_t(top) + 1, 1, h - 2);
            if (w > 1)
                side(int64_t(right) - 1, int64_t(top) + 1, 1, h - 2);
        }
        FreeImageBuffer(line);
        return;
    }
    ImageBuffer8 frame;
    if (!AllocImage8(frame, int(w), int(h)))
        return;
    std::memset(frame.data, 0, frame.byteSize);
    const uint8_t px[4] = {ColourBlue(colour), ColourGreen(colour), ColourRed(colour),
                           uint8_t(std::clamp(alpha, 0, 255))};
    if (w != 1 && w != 2)
        for (int x = 1; x < w - 1; ++x) {
            std::memcpy(PixelAt(frame, x, 0), px, 4);
            std::memcpy(PixelAt(frame, x, h - 1), px, 4);
        }
    if (h != 1 && h != 2)
        for (int y = 1; y < h - 1; ++y) {
            std::memcpy(PixelAt(frame, 0, y), px, 4);
            std::memcpy(PixelAt(frame, w - 1, y), px, 4);
        }
    BlendImage8(target, frame, left, top, true, 256);
    FreeImageBuffer(frame);
}

void TileFrame8(ImageBuffer8& target, const ImageBuffer8& tpl, int splitX, int splitY)
{
    if (!target.data || !tpl.data || tpl.width <= 0 || tpl.height <= 0)
        return;
    // 64-bit: splits from a skin may be anything.
    const int64_t TW = tpl.width, TH = tpl.height, W = target.width, H = target.height;
    const int64_t bw = std::max<int64_t>(10, (TW - splitX - 30) / 2);
    const int64_t bh = std::max<int64_t>(10, (TH - splitY - 30) / 2);
    const int64_t sx = splitX == 0 ? (TW - bw) / 2 : splitX;
    const int64_t sy = splitY == 0 ? (TH - bh) / 2 : splitY;
    const int64_t rw = TW - sx - bw;
    const int64_t bhh = TH - sy - bh;
    // Indices are clamped into the template: small templates (narrower than the band) would
    // otherwise be read outside.
    auto column = [&](int64_t x) {
        int64_t t;
        if (x < sx)
            t = x;
        else if (x > W - rw)
            t = x - (W - TW);
        else
            t = sx + (x - sx) % bw;
        return int32_t(std::clamp<int64_t>(t, 0, TW - 1));
    };
    auto row = [&](int64_t y) {
        int64_t t;
        if (y < sy)
            t = y;
        else if (y >= H - bhh)
            t = y - (H - TH);
        else
            t = sy + (y - sy) % bh;
        return int32_t(std::clamp<int64_t>(t, 0, TH - 1));
    };
    std::unique_ptr<int32_t[]> columns(AllocNoThrow<int32_t>(W));
    if (!columns)
        return;
    for (int x = 0; x < W; ++x)
        columns[size_t(x)] = column(x);
    for (int y = 0; y < H; ++y) {
        const uint32_t* src = reinterpret_cast<const uint32_t*>(PixelAt(tpl, 0, row(y)));
        uint32_t* dst = reinterpret_cast<uint32_t*>(PixelAt(target, 0, y));
        for (int x = 0; x < W; ++x)
            dst[x] = src[columns[size_t(x)]];
    }
}

namespace {

inline uint8_t GradientChannel(int a, int b, int weight)
{
    // Arithmetic shift: a negative difference rounds toward minus infinity.
    return uint8_t(std::clamp(a + (((b - a) * weight) >> 8), 0, 255));
}

inline int GradientWeight(double v, double exponent)
{
    if (!(v > 0))
        return 0;
    const double a = std::pow(v, exponent) * 256.0;
    return a >= 255.0 ? 255 : int(a);
}

void PaintGradientPixel(uint8_t* d, uint32_t colourA, uint32_t colourB, int weight)
{
    d[0] = GradientChannel(ColourBlue(colourA), ColourBlue(colourB), weight);
    d[1] = GradientChannel(ColourGreen(colourA), ColourGreen(colourB), weight);
    d[2] = GradientChannel(ColourRed(colourA), ColourRed(colourB), weight);
    d[3] = 255;
}

} // namespace

void DrawGradientLine8(ImageBuffer8& target, uint32_t colourA, uint32_t colourB, int mode, int x0,
                       int y0, int x1, int y1, double exponent)
{
    if (!target.data || (x0 == x1 && y0 == y1) || x0 < 0 || x1 < 0)
        return;
    if (x0 == x1) {
        if (x0 >= target.width || y0 >= target.height || y0 < 0)
            return;
        const int64_t n = std::abs(int64_t(y1) - y0);
        const int step = y1 > y0 ? 1 : -1;
        const int64_t mid = (int64_t(y0) + y1) / 2;
        const int64_t half = n / 2;
        for (int64_t i = 0, y = y0; i < n && y >= 0 && y < target.height; ++i, y += step) {
            double v;
            if (mode == 1)  // a line of one pixel has no half: it takes colour A
                v = half ? double(std::abs(y - mid)) / double(half) : 0.0;
            else
                v = 1.0 - double(y - y1) / (double(y0) - y1);
            PaintGradientPixel(PixelAt(target, x0, int(y)), colourA, colourB, GradientWeight(v, exponent));
        }
        return;
    }
    if (x1 < x0 || y0 < 0 || y0 >= target.height || x0 >= target.width)
        return;
    const int64_t mid = (int64_t(x0) + x1) / 2;
    const int64_t half = (int64_t(x1) - x0) / 2;
    for (int x = x0; x < x1 && x < target.width; ++x) {
        double v;
        if (mode == 1)
            v = half ? double(std::abs(x - mid)) / double(half) : 0.0;
        else
            v = double(x - x0) / (double(x1) - x0);
        PaintGradientPixel(PixelAt(target, x, y0), colourA, colourB, GradientWeight(v, exponent));
    }
}

void MovePenTo8(DrawPen& pen, int x, int y)
{
    pen.x = x;
    pen.y = y;
}

void DrawLineTo8(ImageBuffer8& target, DrawPen& pen, uint32_t colour, int widthTenths, bool dashed,
                 int alpha, int x, int y)
{
    const int x0 = pen.x, y0 = pen.y;
    if (x0 == x && y0 == y)
        return;  // no length: the pen stays
    if (target.data) {
        alpha = std::clamp(alpha, 0, 255);
        const double w = widthTenths / 10.0;
        const double half = w / 2;
        const double dx = double(x0) - x, dy = double(y) - y0;
        const double L = std::sqrt(dx * dx + dy * dy);
        const double C = -(x0 * dy + y0 * dx);
        const int minX = std::min(x0, x), maxX = std::max(x0, x);
        const int minY = std::min(y0, y), maxY = std::max(y0, y);
        const int r = int((w + 1) / 2);
        const int fromX = int(std::max<int64_t>(int64_t(minX) - r, 0));
        const int toX = int(std::min<int64_t>(int64_t(maxX) + r, int64_t(target.width) - 1));
        const int fromY = int(std::max<int64_t>(int64_t(minY) - r, 0));
        const int toY = int(std::min<int64_t>(int64_t(maxY) + r, int64_t(target.height) - 1));
        const int col[3] = {ColourBlue(colour), ColourGreen(colour), ColourRed(colour)};
        for (int py = fromY; py <= toY; ++py) {
            uint8_t* d = PixelAt(target, fromX, py);
            for (int px = fromX; px <= toX; ++px, d += 4) {
                const double distance = std::abs(px * dy + py * dx + C) / L;
                if (distance > half + 0.5)
                    continue;
                int coverage = std::clamp(128 + int(255 * (half - distance)), 0, 255);
                // End caps: nothing beyond the segment's corners, and no solid pixels past
                // its ends.
                const bool outside = px < minX || px > maxX || py < minY || py > maxY;
                if ((px < minX && py < minY) || (px > maxX && py > maxY) ||
                    (coverage == 255 && outside))
                    coverage = 0;
                if (coverage == 0)
                    continue;
                bool black = false;
                if (dashed) {
                    const double ax = double(px) - x0, ay = double(py) - y0;
                    const double along = std::sqrt(ax * ax + ay * ay);
                    black = (int(along / 4 + 0.5) & 1) != 0;
                }
                const int k = coverage * alpha / 255;
                for (int c = 0; c < 3; ++c) {
                    const int want = black ? 0 : col[c];
                    d[c] = uint8_t(d[c] + (((want - d[c]) * k) >> 8));
                }
                d[3] = uint8_t(d[3] + (((255 - d[3]) * k) >> 8));
            }
        }
    }
    MovePenTo8(pen, x, y);
}

void DrawRectLines8(ImageBuffer8& target, DrawPen& pen, uint32_t colour, int widthTenths,
                    bool dashed, int left, int top, int right, int bottom)
{
    MovePenTo8(pen, left, top);
    DrawLineTo8(target, pen, colour, widthTenths, dashed, 255, right, top);
    DrawLineTo8(target, pen, colour, widthTenths, dashed, 255, right, bottom);
    DrawLineTo8(target, pen, colour, widthTenths, dashed, 255, left, bottom);
    DrawLineTo8(target, pen, colour, widthTenths, dashed, 255, left, top);
}

constexpr int64_t kMaxEllipseSegments = int64_t(1) << 20;

void DrawEllipseLines8(ImageBuffer8& target, DrawPen& pen, uint32_t colour, int left, int top,
                       int right, int bottom)
{
    if (left == right || top == bottom)
        return;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    const int64_t w = int64_t(right) - left, h = int64_t(bottom) - top;
    // One segment a pixel of width and height; an ellipse of absurd size is not allowed to
    // take billions of segments.
    const int64_t n = std::min<int64_t>(w + h + 4, kMaxEllipseSegments);
    constexpr double kTwoPi = 6.283185307179586;
    for (int64_t i = 0; i <= n; ++i) {
        const double angle = kTwoPi * double(i) / double(n);
        const int X = int((std::cos(angle) + 1) * double(w) / 2 + left + 0.5);
        const int Y = int((std::sin(angle) + 1) * double(h) / 2 + top + 0.5);
        if (i == 0)
            MovePenTo8(pen, X, Y);
        else
            DrawLineTo8(target, pen, colour, 10, false, 255, X, Y);
    }
}

void DrawDigits8(ImageBuffer8& target, const ImageList8& strip, const char16_t* text, int x, int y,
                 uint32_t colour, bool large)
{
    if (!text)
        return;
    for (const char16_t* p = text; *p; ++p) {
        int frame;
        if (*p >= u'0' && *p <= u'9')
            frame = *p - u'0';
        else if (*p == u'+')
            frame = 10;
        else
            continue;
        if (size_t(frame) < strip.size())
            FillThroughMask8(target, *strip[size_t(frame)], x, y, colour);
        x += large ? 20 : 5;
    }
}
