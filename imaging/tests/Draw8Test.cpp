#include "imaging/AlphaTables.h"
#include "imaging/Draw8.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Canvas {
    ImageBuffer8 b;
    Canvas(int w, int h, uint32_t bgra = 0)
    {
        EXPECT_EQ(AllocImage8(b, w, h), 1);
        for (uint32_t i = 0; i < b.pixelCount; ++i)
            std::memcpy(b.data + size_t(i) * 4, &bgra, 4);
    }
    ~Canvas() { FreeImageBuffer(b); }
    uint8_t* at(int x, int y) { return b.data + (size_t(y) * b.width + x) * 4; }
    uint32_t px(int x, int y)
    {
        uint32_t v;
        std::memcpy(&v, at(x, y), 4);
        return v;
    }
    void set(int x, int y, uint32_t bgra) { std::memcpy(at(x, y), &bgra, 4); }
};

class Draw8 : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(BuildAlphaTables(), 1); }
};

} // namespace

TEST_F(Draw8, AlphaTablesFormulas)
{
    const AlphaTables* at = GetAlphaTables();
    ASSERT_NE(at, nullptr);
    struct Case { int a, x, t1, t2; };
    const Case cases[] = {
        {0, 255, 0, 255}, {255, 255, 255, 0}, {128, 255, 128, 127},
        {1, 127, 0, 127},   // 254 / 255 rounds down to 0
        {128, 1, 1, 0},     // 255 / 255 = 1; 254 / 255 = 0
    };
    for (const Case& c : cases) {
        EXPECT_EQ(at->t1[c.a][c.x], c.t1) << c.a << "," << c.x;
        EXPECT_EQ(at->t2[c.a][c.x], c.t2) << c.a << "," << c.x;
    }
    // Blending never leaves 0..255: t1[a][255] + t2[a][255] is exactly 255 for every weight.
    for (int a = 0; a < 256; ++a)
        EXPECT_EQ(at->t1[a][255] + at->t2[a][255], 255) << a;
    FreeAlphaTables();
    EXPECT_EQ(GetAlphaTables(), nullptr);
    Canvas target(2, 2, 0xFF000000);
    Canvas source(2, 2, 0xFFFFFFFF);
    BlendImage8(target.b, source.b, 0, 0, true, 256);
    EXPECT_EQ(target.px(0, 0), 0xFF000000u) << "without tables nothing is drawn";
}

TEST_F(Draw8, BlendClipsAndCuts)
{
    // Source pixels numbered by position, all opaque.
    Canvas source(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            source.set(x, y, 0xFF000000u | uint32_t(y * 16 + x) << 16 | uint32_t(y * 16 + x));
    Canvas target(4, 4, 0x00000000);
    BlendImage8(target.b, source.b, -2, -2, true, 256);  // empty clip: whole target
    // Cut, not shifted: target (0,0) is source (2,2); opacity 256 at alpha 255 copies exactly.
    EXPECT_EQ(target.px(0, 0), source.px(2, 2));
    EXPECT_EQ(target.px(1, 1), source.px(3, 3));
    EXPECT_EQ(target.px(2, 0), 0u);
    EXPECT_EQ(target.px(0, 2), 0u);

    // A clip rectangle limits the drawn columns and rows.
    Canvas clipped(4, 4, 0);
    BlendImage8(clipped.b, source.b, 0, 0, false, 256, DrawRect{1, 1, 3, 2});
    EXPECT_EQ(clipped.px(0, 1), 0u);
    EXPECT_EQ(clipped.px(1, 1) & 0xFFFFFF, source.px(1, 1) & 0xFFFFFF);
    EXPECT_EQ(clipped.px(1, 1) >> 24, 0u) << "alpha kept without accumulate";
    EXPECT_EQ(clipped.px(3, 1), 0u);
    EXPECT_EQ(clipped.px(1, 2), 0u);

    // Half opacity: k = (128 * 255) >> 8 = 127.
    Canvas half(1, 1, 0xFF000000);
    Canvas white(1, 1, 0xFFFFFFFF);
    BlendImage8(half.b, white.b, 0, 0, true, 128);
    const AlphaTables* at = GetAlphaTables();
    EXPECT_EQ(half.at(0, 0)[0], at->t1[127][255] + at->t2[127][0]);
    EXPECT_EQ(half.at(0, 0)[3], 255);
    // A transparent source pixel (k = 0) leaves the target; opacity above 256 is clamped.
    Canvas clear(1, 1, 0x00FFFFFF);
    BlendImage8(half.b, clear.b, 0, 0, true, 256);
    EXPECT_EQ(half.at(0, 0)[0], at->t1[127][255]);
    Canvas over(1, 1, 0);
    BlendImage8(over.b, white.b, 0, 0, true, 100000);
    EXPECT_EQ(over.px(0, 0), 0xFFFFFFFFu);
}

TEST_F(Draw8, FillThroughCoverage)
{
    Canvas coverage(3, 1);
    const uint8_t c[3] = {0, 255, 100};
    for (int x = 0; x < 3; ++x)
        coverage.set(x, 0, 0x01010101u * c[x]);
    Canvas target(3, 1, 0x00000000);
    FillThroughMask8(target.b, coverage.b, 0, 0, 0x00FF8000);
    EXPECT_EQ(target.px(0, 0), 0u);
    EXPECT_EQ(target.px(1, 0), 0xFFFF8000u);
    const AlphaTables* at = GetAlphaTables();
    EXPECT_EQ(target.at(2, 0)[2], at->t1[100][255]);
    EXPECT_EQ(target.at(2, 0)[1], at->t1[100][0x80]);
    EXPECT_EQ(target.at(2, 0)[3], at->t1[100][255]);
}

TEST_F(Draw8, FillRectRespectsPixelAlpha)
{
    struct Case { uint32_t start; int alpha; uint32_t expected; const char* why; };
    const Case cases[] = {
        {0x00000000, 255, 0xFF204060, "alpha 255 makes transparent pixels opaque"},
        {0x00000000, 128, 0x00000000, "alpha 128 leaves transparent pixels"},
        {0xFF000000, 128, 0xFF102030, "k = 128: c + (col - c) * 128 / 255"},
        {0xFFFFFFFF, 128, 0xFF90A0B0, "toward a darker colour, truncated toward zero"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Canvas target(5, 3, c.start);
        FillRect8(target.b, DrawRect{0, 1, 5, 2}, 0x00204060, c.alpha);
        EXPECT_EQ(target.px(0, 1), c.expected);
        EXPECT_EQ(target.px(4, 1), c.expected);
        EXPECT_EQ(target.px(0, 0), c.start);
        EXPECT_EQ(target.px(4, 2), c.start);
    }
    Canvas target(2, 2, 0);
    FillRect8(target.b, DrawRect{-5, -5, 50, 50}, 0x00FFFFFF, 255);  // clipped to the image
    EXPECT_EQ(target.px(1, 1), 0xFFFFFFFFu);
}

TEST_F(Draw8, RectOutlineLeavesCorners)
{
    struct Case { int w, h; std::vector<std::pair<int, int>> drawn; };
    const Case cases[] = {
        {2, 2, {}},
        {1, 1, {}},
        {2, 4, {{0, 1}, {1, 1}, {0, 2}, {1, 2}}},
        {4, 2, {{1, 0}, {2, 0}, {1, 1}, {2, 1}}},
        {4, 3, {{1, 0}, {2, 0}, {1, 2}, {2, 2}, {0, 1}, {3, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        Canvas target(8, 8, 0);
        DrawRectOutline8(target.b, 0x00FFFFFF, 255, 2, 3, 2 + c.w, 3 + c.h);
        int painted = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                if (target.px(x, y))
                    ++painted;
        EXPECT_EQ(painted, int(c.drawn.size()));
        for (auto [x, y] : c.drawn)
            EXPECT_EQ(target.px(2 + x, 3 + y), 0xFFFFFFFFu) << x << "," << y;
    }
    // 2 x 10: only the side columns, rows 1 to 8.
    Canvas tall(2, 10, 0);
    DrawRectOutline8(tall.b, 0x00FFFFFF, 255, 0, 0, 2, 10);
    for (int y = 0; y < 10; ++y) {
        const uint32_t want = (y >= 1 && y <= 8) ? 0xFFFFFFFFu : 0u;
        EXPECT_EQ(tall.px(0, y), want) << y;
        EXPECT_EQ(tall.px(1, y), want) << y;
    }
    // An outline far larger than the target draws the visible sides the same way.
    Canvas small(4, 4, 0);
    DrawRectOutline8(small.b, 0x00FFFFFF, 255, -1, 1, 100000, 100000);
    EXPECT_EQ(small.px(0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(small.px(3, 1), 0xFFFFFFFFu);
    EXPECT_EQ(small.px(0, 2), 0u);
}

TEST_F(Draw8, TileFrameNinePart)
{
    // 40 x 36 template with every pixel distinct; split 0 centres the bands:
    // bw = 10, split x = 15, right width 15; bh = 10, split y = 13, bottom height 13.
    Canvas tpl(40, 36);
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 40; ++x)
            tpl.set(x, y, uint32_t(y << 8 | x) | 0x80000000u);
    Canvas same(40, 36, 0);
    TileFrame8(same.b, tpl.b, 0, 0);
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 40; ++x) {
            // Column W - rw = 25 is taken from the band (column 15), not from itself.
            const int tx = x == 25 ? 15 : x;
            ASSERT_EQ(same.px(x, y), tpl.px(tx, y)) << x << "," << y;
        }
    // A larger target repeats the middle bands and keeps the corners.
    Canvas wide(60, 50, 0);
    TileFrame8(wide.b, tpl.b, 0, 0);
    auto col = [](int x) { return x < 15 ? x : x > 45 ? x - 20 : 15 + (x - 15) % 10; };
    auto row = [](int y) { return y < 13 ? y : y >= 37 ? y - 14 : 13 + (y - 13) % 10; };
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(wide.px(x, y), tpl.px(col(x), row(y))) << x << "," << y;
    // A template smaller than a band still fills every pixel from inside the template.
    Canvas tiny(3, 3, 0x11111111);
    Canvas out(7, 7, 0);
    TileFrame8(out.b, tiny.b, 0, 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(out.px(x, y), 0x11111111u);
}

TEST_F(Draw8, GradientLines)
{
    const uint32_t A = 0x00000000, B = 0x00C8C8C8;  // 200 grey
    // Horizontal, mode 0, x 10..20: colour A at x 10, half-way at 15 (a = 128), x 20 not drawn.
    Canvas h(24, 2, 0x00FFFFFF);
    DrawGradientLine8(h.b, A, B, 0, 10, 1, 20, 1, 1.0);
    EXPECT_EQ(h.px(10, 1), 0xFF000000u);
    EXPECT_EQ(h.at(15, 1)[0], (200 * 128) >> 8);
    EXPECT_EQ(h.at(19, 1)[0], (200 * int(0.9 * 256)) >> 8);
    EXPECT_EQ(h.px(20, 1), 0x00FFFFFFu);
    EXPECT_EQ(h.px(9, 1), 0x00FFFFFFu);
    EXPECT_EQ(h.px(12, 0), 0x00FFFFFFu);

    // Mode 1: B at the ends, A in the middle.
    Canvas sym(24, 1, 0);
    DrawGradientLine8(sym.b, A, B, 1, 0, 0, 20, 0, 1.0);
    EXPECT_EQ(sym.at(0, 0)[1], 199);    // v = 1 -> a = 255
    EXPECT_EQ(sym.at(10, 0)[1], 0);

    // Vertical from y0 down toward y1 (excluded), and upward.
    Canvas v(3, 12, 0);
    DrawGradientLine8(v.b, A, B, 0, 1, 2, 1, 10, 1.0);
    EXPECT_EQ(v.at(1, 2)[2], 0);
    EXPECT_EQ(v.at(1, 6)[2], 100);
    EXPECT_EQ(v.px(1, 10), 0u);
    Canvas up(3, 12, 0);
    DrawGradientLine8(up.b, A, B, 0, 1, 10, 1, 2, 1.0);
    EXPECT_EQ(up.at(1, 10)[2], 0);
    EXPECT_EQ(up.px(1, 2), 0u);
    EXPECT_NE(up.px(1, 3), 0u);

    // Nothing for: equal ends, negative x, right to left, rows outside; no division by zero
    // for a one-pixel symmetric line.
    Canvas none(8, 8, 0);
    DrawGradientLine8(none.b, B, B, 0, 3, 3, 3, 3, 1.0);
    DrawGradientLine8(none.b, B, B, 0, -1, 3, 5, 3, 1.0);
    DrawGradientLine8(none.b, B, B, 0, 6, 3, 2, 3, 1.0);
    DrawGradientLine8(none.b, B, B, 0, 2, -3, 2, 5, 1.0);
    DrawGradientLine8(none.b, B, B, 0, 2, 9, 6, 9, 1.0);
    for (uint32_t i = 0; i < none.b.byteSize; ++i)
        ASSERT_EQ(none.b.data[i], 0) << i;
    DrawGradientLine8(none.b, A, B, 1, 2, 2, 3, 2, 1.0);
    EXPECT_EQ(none.px(2, 2), 0xFF000000u);
    DrawGradientLine8(none.b, A, B, 1, 5, 2, 5, 3, 1.0);
    EXPECT_EQ(none.px(5, 2), 0xFF000000u);
}

TEST_F(Draw8, LinesFromThePen)
{
    DrawPen pen;
    Canvas target(20, 3, 0xFFFFFFFF);
    MovePenTo8(pen, 3, 1);
    DrawLineTo8(target.b, pen, 0x00FF0000, 10, false, 255, 3, 1);  // no length
    EXPECT_EQ(pen.x, 3);
    for (uint32_t i = 0; i < target.b.byteSize; ++i)
        ASSERT_EQ(target.b.data[i], 255);

    // Dashed from (0,0) to (16,0): int(distance / 4 + 0.5) odd paints black.
    Canvas dash(20, 3, 0xFFFFFFFF);
    MovePenTo8(pen, 0, 1);
    DrawLineTo8(dash.b, pen, 0x00FF0000, 10, true, 255, 16, 1);
    EXPECT_EQ(pen.x, 16);
    EXPECT_EQ(pen.y, 1);
    for (int x = 0; x <= 16; ++x) {
        const bool black = (int(x / 4.0 + 0.5) & 1) != 0;
        SCOPED_TRACE(testing::Message() << "x " << x);
        EXPECT_EQ(dash.at(x, 1)[1], 0) << "green goes in both colour and black";
        EXPECT_EQ(dash.at(x, 1)[2], black ? 0 : 255);
    }
    EXPECT_EQ(dash.at(2, 1)[2], 0);
    EXPECT_EQ(dash.at(6, 1)[2], 255);
    // End cap: the solid pixel just past the end is not drawn.
    EXPECT_EQ(dash.px(17, 1), 0xFFFFFFFFu);

    // Rectangle of lines: corners and sides painted, the inside not.
    Canvas rect(10, 10, 0);
    DrawRectLines8(rect.b, pen, 0x00FFFFFF, 10, false, 1, 1, 8, 8);
    EXPECT_GT(rect.at(1, 1)[0], 200);
    EXPECT_GT(rect.at(8, 5)[0], 200);
    EXPECT_GT(rect.at(4, 8)[0], 200);
    EXPECT_EQ(rect.px(4, 4), 0u);
    EXPECT_EQ(pen.x, 1);
    EXPECT_EQ(pen.y, 1);

    // Ellipse: the four extremes are on it, the centre is not; an empty box draws nothing.
    Canvas ell(24, 14, 0);
    DrawEllipseLines8(ell.b, pen, 0x00FFFFFF, 20, 12, 2, 2);  // corners in any order
    EXPECT_GT(ell.at(20, 7)[0], 200);
    EXPECT_GT(ell.at(2, 7)[0], 200);
    EXPECT_GT(ell.at(11, 2)[0], 200);
    EXPECT_GT(ell.at(11, 12)[0], 200);
    EXPECT_EQ(ell.px(11, 7), 0u);
    Canvas empty(8, 8, 0);
    DrawEllipseLines8(empty.b, pen, 0x00FFFFFF, 2, 2, 2, 6);
    for (uint32_t i = 0; i < empty.b.byteSize; ++i)
        ASSERT_EQ(empty.b.data[i], 0);

    // Lines far outside the target are clipped without touching memory outside it.
    Canvas clip(4, 4, 0);
    MovePenTo8(pen, -100000, -100000);
    DrawLineTo8(clip.b, pen, 0x00FFFFFF, 30, false, 255, 100000, 100000);
    EXPECT_GT(clip.at(2, 2)[0], 200);
}

TEST_F(Draw8, DigitsFromAStrip)
{
    // Frame i has coverage 10 * (i + 1) everywhere; drawn in white on black the target shows
    // which frame landed where.
    ImageList8 strip;
    for (int i = 0; i < 11; ++i) {
        Canvas frame(5, 2, 0x01010101u * uint32_t(10 * (i + 1)));
        ASSERT_EQ(AppendImageCopy8(strip, frame.b), 1);
    }
    Canvas target(30, 2, 0);
    DrawDigits8(target.b, strip, u"1a+2", 0, 0, 0x00FFFFFF, false);
    EXPECT_EQ(target.at(0, 0)[2], 20);   // "1": frame 1
    EXPECT_EQ(target.at(5, 0)[2], 110);  // "a" skipped without advancing; "+": frame 10
    EXPECT_EQ(target.at(10, 0)[2], 30);  // "2"
    EXPECT_EQ(target.px(15, 0), 0u);
    Canvas large(60, 2, 0);
    DrawDigits8(large.b, strip, u"00", 0, 0, 0x00FFFFFF, true);
    EXPECT_EQ(large.at(20, 0)[2], 10);
    EXPECT_EQ(large.px(10, 0), 0u);
}

TEST_F(Draw8, OutlinesBlendEachPixelOnceWhereverTheyLie)
{
    // Half alpha on a transparent black target: a pixel blended once is 0x80808080, twice it
    // would be 0xC0C0C0C0. Outlines much larger than the target take another path than small
    // ones; both must give the same pixels, and no corner may overflow the arithmetic.
    struct Case { int l, t, r, b; std::array<const char*, 6> painted; const char* why; };
    const Case cases[] = {
        {-1, 2, 7, 3, {"......", "......", "######", "......", "......", "......"},
         "one row, small"},
        {-1, 2, 100000, 3, {"......", "......", "######", "......", "......", "......"},
         "one row, far larger than the target"},
        {2, -1, 3, 100000, {"..#...", "..#...", "..#...", "..#...", "..#...", "..#..."},
         "one column, far larger than the target"},
        {INT32_MIN, 1, INT32_MAX, 2, {"......", "######", "......", "......", "......", "......"},
         "one row across the whole coordinate range"},
        {-100000, -100000, 100000, 3, {"......", "......", "######", "......", "......", "......"},
         "only the bottom side reaches the target"},
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX,
         {"......", "......", "......", "......", "......", "......"}, "every side outside"},
        {1, 1, 5, 5, {"......", "..##..", ".#..#.", ".#..#.", "..##..", "......"},
         "corners left out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Canvas target(6, 6, 0);
        DrawRectOutline8(target.b, 0x00FFFFFF, 128, c.l, c.t, c.r, c.b);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(target.px(x, y), c.painted[size_t(y)][x] == '#' ? 0x80808080u : 0u)
                    << x << "," << y;
    }
}

TEST_F(Draw8, TileFrameTakesAnySplitFromInsideTheTemplate)
{
    // Template pixels carry their own coordinates; whatever the splits, every target pixel is
    // written with some template pixel.
    Canvas tpl(12, 11);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 12; ++x)
            tpl.set(x, y, 0xFF000000u | uint32_t(y) << 8 | uint32_t(x));
    const int splits[] = {0, 1, 5, 11, 12, 40, -1, -40, INT32_MAX, INT32_MIN};
    for (int sx : splits)
        for (int sy : splits) {
            SCOPED_TRACE(testing::Message() << "split " << sx << "," << sy);
            Canvas target(17, 9, 0x00EEEEEE);
            TileFrame8(target.b, tpl.b, sx, sy);
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 17; ++x) {
                    const uint32_t v = target.px(x, y);
                    ASSERT_EQ(v >> 24, 0xFFu) << x << "," << y;
                    ASSERT_LT(v & 0xFF, 12u) << x << "," << y;
                    ASSERT_LT((v >> 8) & 0xFF, 11u) << x << "," << y;
                }
        }
}

TEST_F(Draw8, DashedLinesFromFarAway)
{
    // The dash phase is measured from a pen far outside the target; the part inside is still
    // drawn, in the colour or in black.
    DrawPen pen;
    Canvas target(4, 3, 0x00FFFFFF);
    MovePenTo8(pen, INT32_MIN, 1);
    DrawLineTo8(target.b, pen, 0x00FF0000, 10, true, 255, INT32_MAX, 1);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(target.at(x, 1)[3], (255 * 255) >> 8) << x;  // full coverage from alpha 0
        EXPECT_EQ(target.at(x, 1)[1], 0) << x;
    }
    EXPECT_EQ(pen.x, INT32_MAX);
}
