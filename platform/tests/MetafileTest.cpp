#include "platform/Metafile.h"
#include "platform/tests/MetafileTestUtil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(Metafile, PlaysPlaceableMetafileStretchedOverBitmap)
{
    std::vector<uint8_t> wmf = RedLeftHalfMetafile();
    std::vector<uint8_t> bgr;
    ASSERT_TRUE(platform::RenderWindowsMetafile(wmf.data(), wmf.size(), 192, 96, 0xFFFFFF, bgr));
    ASSERT_EQ(bgr.size(), 192u * 96 * 3);
    auto px = [&](int x, int y) {
        const uint8_t* p = &bgr[(static_cast<size_t>(y) * 192 + x) * 3];
        return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    };
    EXPECT_EQ(px(10, 10), 0xFF0000u);
    EXPECT_EQ(px(90, 90), 0xFF0000u);
    EXPECT_EQ(px(110, 10), 0xFFFFFFu);
    EXPECT_EQ(px(185, 90), 0xFFFFFFu);
}

TEST(Metafile, RefusesGarbageAndBadSizes)
{
    std::vector<uint8_t> bgr;
    std::vector<uint8_t> junk(100, 0x41);
    EXPECT_FALSE(platform::RenderWindowsMetafile(junk.data(), junk.size(), 10, 10, 0xFFFFFF, bgr));
    std::vector<uint8_t> wmf = RedLeftHalfMetafile();
    EXPECT_FALSE(platform::RenderWindowsMetafile(wmf.data(), wmf.size(), 0, 10, 0xFFFFFF, bgr));
    EXPECT_FALSE(platform::RenderWindowsMetafile(nullptr, 0, 10, 10, 0xFFFFFF, bgr));
    // Records that run past the end of the file are refused before libwmf sees them.
    std::vector<uint8_t> cut(wmf.begin(), wmf.end() - 8);
    EXPECT_FALSE(platform::RenderWindowsMetafile(cut.data(), cut.size(), 10, 10, 0xFFFFFF, bgr));
    EXPECT_TRUE(bgr.empty());
}

// A pen far wider than the picture is narrowed, so that it draws in bounded time and memory.
TEST(Metafile, HugePenIsLimitedToTheWindow)
{
    std::vector<uint8_t> wmf = RedLeftHalfMetafile();
    // The pen record follows the placeable header (22), the metafile header (18), and the
    // window origin, window extent, brush and select records (10 + 10 + 14 + 8 bytes).
    const size_t pen = 22 + 18 + 10 + 10 + 14 + 8;
    ASSERT_EQ(wmf[pen + 4], 0xFA);
    wmf[pen + 6] = 0;    // solid instead of the null pen
    wmf[pen + 8] = 0x30; // width 0x7530 = 30000 units
    wmf[pen + 9] = 0x75;
    std::vector<uint8_t> bgr;
    ASSERT_TRUE(platform::RenderWindowsMetafile(wmf.data(), wmf.size(), 192, 96, 0xFFFFFF, bgr));
    EXPECT_EQ(bgr.size(), 192u * 96 * 3);
}

namespace {

using platform::RenderWindowsMetafile;

// Window extent 1 x 1 (one unit is the whole frame), a solid red brush and a null pen: any
// coordinate of a few thousand lies thousands of pictures away from the picture.
std::vector<MetafileRecord> TinyWindowRedBrush()
{
    return {
        {0x020C, {1, 1}},             // SetWindowExt
        {0x02FC, {0, 0x00FF, 0, 0}},  // CreateBrushIndirect solid red
        {0x012D, {0}},                // SelectObject
        {0x02FA, {5, 0, 0, 0, 0}},    // CreatePenIndirect null pen
        {0x012D, {1}},
    };
}

uint32_t Pixel(const std::vector<uint8_t>& bgr, int width, int x, int y)
{
    const uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

} // namespace

// Shapes whose coordinates lie far outside the picture: gd walked their whole extent, so a
// file of about a hundred bytes kept the player busy for a minute. Shapes that can be cut
// exactly (polygons, rectangles, lines) are cut near the picture and draw what shows; shapes
// that cannot (ellipses, arcs, pies, chords, rounded rectangles) make the file refused.
TEST(Metafile, FarAwayShapesAreCutOrRefused)
{
    const int far = 30000;
    struct Case {
        const char* name;
        MetafileRecord shape;
        bool plays;
        uint32_t centre; // the picture's centre when it plays
    };
    const Case cases[] = {
        {"polygon over everything", {0x0324, {3, Coord(-far), Coord(-far), Coord(far), Coord(-far), 0, Coord(far)}}, true, 0xFF0000},
        {"polygon beside the picture", {0x0324, {3, Coord(5), Coord(-far), Coord(far), Coord(-far), Coord(far), Coord(far)}}, true, 0xFFFFFF},
        {"polypolygon", {0x0538, {1, 3, Coord(-far), Coord(-far), Coord(far), Coord(-far), 0, Coord(far)}}, true, 0xFF0000},
        {"rectangle", {0x041B, {Coord(far), Coord(far), Coord(-far), Coord(-far)}}, true, 0xFF0000},
        {"line", {0x0213, {Coord(far), Coord(far)}}, true, 0xFFFFFF},
        {"ellipse", {0x0418, {Coord(far), Coord(far), Coord(-far), Coord(-far)}}, false, 0},
        {"pie", {0x081A, {0, 1, 0, 0, Coord(far), Coord(far), Coord(-far), Coord(-far)}}, false, 0},
        {"chord", {0x0830, {0, 1, 0, 0, Coord(far), Coord(far), Coord(-far), Coord(-far)}}, false, 0},
        {"arc", {0x0817, {0, 1, 0, 0, Coord(far), Coord(far), Coord(-far), Coord(-far)}}, false, 0},
        {"rounded rectangle", {0x061C, {100, 100, Coord(far), Coord(far), Coord(-far), Coord(-far)}}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<MetafileRecord> records = TinyWindowRedBrush();
        records.push_back(c.shape);
        records.push_back({0x0418, {0, 0, 0, 0}}); // and a point-sized ellipse, which is harmless
        const std::vector<uint8_t> wmf = BuildMetafile(400, 200, 100, records);
        std::vector<uint8_t> bgr;
        ASSERT_EQ(RenderWindowsMetafile(wmf.data(), wmf.size(), 384, 192, 0xFFFFFF, bgr), c.plays);
        if (c.plays) {
            EXPECT_EQ(Pixel(bgr, 384, 192, 96), c.centre);
        }
    }
    // An ellipse that the window crops (reaching beyond the margin of cut shapes, but not far) is
    // drawn: its outline crosses the picture up to its rightmost point at (60, 50) units.
    const std::vector<MetafileRecord> cropped = {
        {0x020C, {100, 100}}, {0x02FA, {0, 3, 0, 0x00FF, 0}}, {0x012D, {0}}, {0x0418, {80, 60, 20, Coord(-60)}}};
    const std::vector<uint8_t> wmf = BuildMetafile(100, 100, 100, cropped);
    std::vector<uint8_t> bgr;
    ASSERT_TRUE(RenderWindowsMetafile(wmf.data(), wmf.size(), 96, 96, 0xFFFFFF, bgr));
    int red = 0;
    for (int x = 52; x < 62; ++x)
        red += Pixel(bgr, 96, x, 48) == 0xFF0000u;
    EXPECT_GT(red, 0);
    EXPECT_EQ(Pixel(bgr, 96, 30, 48), 0xFFFFFFu);
}

TEST(Metafile, DrawingBeyondTheWorkLimitIsRefused)
{
    // Full-frame fills at 4000 x 4000 pixels: 16 million operations each.
    const auto fills = [](int count) {
        std::vector<MetafileRecord> records = {
            {0x020C, {4000, 4000}}, {0x02FC, {0, 0x00FF, 0, 0}}, {0x012D, {0}}, {0x02FA, {5, 0, 0, 0, 0}}, {0x012D, {1}}};
        for (int i = 0; i < count; ++i)
            records.push_back({0x041B, {4000, 4000, 0, 0}});
        return BuildMetafile(4000, 4000, 96, records);
    };
    const uint64_t perFill = uint64_t(4000) * 4000;
    std::vector<uint8_t> bgr;
    const std::vector<uint8_t> some = fills(int(platform::kMaxMetafileWork / perFill) - 1);
    EXPECT_TRUE(RenderWindowsMetafile(some.data(), some.size(), 4000, 4000, 0xFFFFFF, bgr));
    const std::vector<uint8_t> many = fills(200);
    EXPECT_FALSE(RenderWindowsMetafile(many.data(), many.size(), 4000, 4000, 0xFFFFFF, bgr));
    EXPECT_TRUE(bgr.empty());
}

// Counts and sizes inside records are checked before libwmf reads them, and the number of
// records is capped.
TEST(Metafile, RecordsWhoseCountsRunPastThemAreRefused)
{
    struct Case {
        const char* name;
        MetafileRecord record;
        bool plays;
    };
    std::vector<uint16_t> dib(8 + 20 + 24, 0); // DIBBitBlt: 8 words, a 40-byte header, 4 rows of 12 bytes
    dib[0] = 0x0020;                            // SRCCOPY
    dib[1] = 0x00CC;
    dib[4] = 4;                                 // height and width drawn
    dib[5] = 4;
    dib[8] = 40;                                // header size
    dib[10] = 4;                                // width 4
    dib[12] = 4;                                // height 4
    dib[14] = 1;                                // planes
    dib[15] = 24;                               // bits
    std::vector<uint16_t> bigDib = dib;
    bigDib[12] = 4000;                          // height 4000: rows the record does not hold
    const Case cases[] = {
        {"polygon of 3 points", {0x0324, {3, 0, 0, 10, 0, 0, 10}}, true},
        {"polygon claiming 1000 points", {0x0324, {1000, 0, 0, 10, 0, 0, 10}}, false},
        {"polyline claiming more", {0x0325, {4, 0, 0, 10, 0, 0, 10}}, false},
        {"polypolygon claiming more points", {0x0538, {1, 9, 0, 0, 10, 0, 0, 10}}, false},
        {"polypolygon claiming more polygons", {0x0538, {40, 3, 0, 0, 10, 0, 0, 10}}, false},
        {"text longer than its record", {0x0521, {200, 0x6948, 10, 10}}, false},
        {"text", {0x0521, {2, 0x6948, 10, 10}}, true},
        {"extended text longer than its record", {0x0A32, {10, 10, 300, 0, 0x6948}}, false},
        {"palette longer than its record", {0x00F7, {0x300, 256, 0, 0}}, false},
        {"bitmap", {0x0940, dib}, true},
        {"bitmap taller than its record", {0x0940, bigDib}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<MetafileRecord> records = {{0x020C, {100, 100}}, c.record};
        const std::vector<uint8_t> wmf = BuildMetafile(100, 100, 100, records);
        std::vector<uint8_t> bgr;
        EXPECT_EQ(RenderWindowsMetafile(wmf.data(), wmf.size(), 96, 96, 0xFFFFFF, bgr), c.plays);
    }
    // More records than the cap, each harmless.
    std::vector<MetafileRecord> records(platform::kMaxMetafileRecords, MetafileRecord {0x0102, {1}}); // SetBkMode
    const std::vector<uint8_t> wmf = BuildMetafile(100, 100, 100, records);
    std::vector<uint8_t> bgr;
    EXPECT_FALSE(RenderWindowsMetafile(wmf.data(), wmf.size(), 96, 96, 0xFFFFFF, bgr));
}

// gd's device fills an ellipse as a chord from 0 to 360 degrees, which covers nothing: a filled
// ellipse showed its outline only.
TEST(Metafile, EllipsesAreFilledInsideTheirOutline)
{
    // Red brush, green pen 4 units wide, the ellipse from (10, 20) to (90, 80) of a 100-unit window.
    const std::vector<MetafileRecord> records = {{0x020C, {100, 100}}, {0x02FC, {0, 0x00FF, 0, 0}}, {0x012D, {0}},
                                                 {0x02FA, {0, 4, 0, 0xFF00, 0}}, {0x012D, {1}}, {0x0418, {80, 90, 20, 10}}};
    const std::vector<uint8_t> wmf = BuildMetafile(100, 100, 100, records);
    std::vector<uint8_t> bgr;
    ASSERT_TRUE(RenderWindowsMetafile(wmf.data(), wmf.size(), 100, 100, 0xFFFFFF, bgr));
    struct Case {
        int x, y;
        uint32_t colour;
    };
    const Case cases[] = {
        {50, 50, 0xFF0000}, {20, 50, 0xFF0000}, {80, 50, 0xFF0000}, {50, 30, 0xFF0000}, {50, 70, 0xFF0000}, // inside
        {10, 50, 0x00FF00}, {90, 50, 0x00FF00}, {50, 20, 0x00FF00}, {50, 80, 0x00FF00},                   // the outline
        {5, 5, 0xFFFFFF}, {12, 22, 0xFFFFFF}, {88, 78, 0xFFFFFF}, {50, 90, 0xFFFFFF},                      // outside
    };
    for (const Case& c : cases)
        EXPECT_EQ(Pixel(bgr, 100, c.x, c.y), c.colour) << c.x << ", " << c.y;
}
