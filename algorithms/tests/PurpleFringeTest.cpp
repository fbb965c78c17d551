#include "algorithms/PurpleFringe.h"
#include "algorithms/tests/RestoreTestSupport.h"
#include "imaging/ColourTables.h"

#include <gtest/gtest.h>

namespace {

PurpleFringeParams Params(int mode, int red, int blue)
{
    PurpleFringeParams p;
    p.mode = mode;
    p.redAmount = red;
    p.blueAmount = blue;
    return p;
}

int RunPF(const PurpleFringeParams& p, ImageBuffer16& src, ImageBuffer16& dst, int helpers = 0)
{
    return RunWithHelpers<CPurpleFringe>(helpers, p, src, dst);
}

uint16_t Saturation(const uint16_t* px)
{
    uint16_t p[4] = {px[0], px[1], px[2], px[3]};
    RgbToHsl16(p, 1);
    return p[1];
}

TEST(PurpleFringe, HueMembership)
{
    std::vector<uint8_t> t(65536);
    struct Case { uint16_t h0; int v; int want; };
    for (const Case& c : {Case{0, 0, 255}, Case{0, 0x8000, 255}, Case{0, 3999, 255}, Case{0, 4000, 255},
                          Case{0, 6000, 127}, Case{0, 7999, 0}, Case{0, 8000, 0}, Case{0, 65535, 255},
                          Case{0, 65536 - 6000, 127}, Case{0, 0x8000 + 6000, 127}, Case{0, 0x4000, 0},
                          Case{60000, 60000 - 0x8000, 255}, Case{60000, 464, 127}}) {
        BuildHueMembership(c.h0, t.data());
        EXPECT_EQ(t[c.v], c.want) << c.h0 << " " << c.v;
    }
    uint16_t grey[4] = {30000, 30000, 30000, 65535};
    RgbToHsl16(grey, 1);
    EXPECT_EQ(grey[2], 0) << "a colour without saturation has hue 0";
}

TEST(PurpleFringe, EdgeMeasure)
{
    Plane8 g{}, e{};
    ASSERT_TRUE(AllocPlane8(g, 6, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            g.data[y * 6 + x] = static_cast<uint8_t>(x >= 3 ? 200 : 10);
    ASSERT_EQ(FringeEdgePlane(g, e, 1), 1);
    // Columns 2 and 3 straddle the step: |3 x 10 - 3 x 200| = 570, limited to 255.
    const uint8_t want[6] = {0, 0, 255, 255, 0, 0};
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(e.data[2 * 6 + x], want[x]) << x;
        EXPECT_EQ(e.data[0 * 6 + x], 0) << "outermost rows are 0";
    }
    ASSERT_EQ(FringeEdgePlane(g, e, 2.5), 1);
    EXPECT_EQ(e.data[2 * 6 + 2], 228); // 570 / 2.5
    FreePlane8(g);
    FreePlane8(e);
}

TEST(PurpleFringe, ChromaticAberrationMode)
{
    // Flat picture, amounts 0: nothing to do anywhere.
    ScopedImage flat(MakeImage(64, 48, [](int, int, int c) -> uint16_t { return c == 3 ? 65535 : 9000 + 1000 * c; })), dst;
    ASSERT_EQ(RunPF(Params(1, 0, 0), *flat, *dst), 1);
    EXPECT_TRUE(SameImage(*flat, *dst));

    // A coloured step: pixels next to it move toward grey, the rest stay.
    ScopedImage step(MakeImage(64, 48, [](int x, int, int c) -> uint16_t {
        return c == 3 ? 65535 : (x < 32 ? (c == 2 ? 40000 : 2000) : 60000);
    }));
    ASSERT_EQ(RunPF(Params(1, 0, 0), *step, *dst), 1);
    for (int x = 0; x < 64; ++x) {
        const uint16_t* s = Row16(*step, 20) + x * 4;
        const uint16_t* d = Row16(*dst, 20) + x * 4;
        if (x == 31) { // the grey side of the step is grey already
            EXPECT_LT(std::abs(d[2] - d[1]), std::abs(s[2] - s[1])) << x;
        } else {
            EXPECT_EQ(GetPixel16(*dst, x, 20), GetPixel16(*step, x, 20)) << x;
        }
    }

    // A red ramp with green falling so that the grey stays flat (no edges): red is scaled
    // about the centre, nothing else moves.
    ScopedImage ramp(MakeImage(201, 151, [](int x, int y, int c) -> uint16_t {
        const int t = 10 * x + 7 * y;
        return static_cast<uint16_t>(c == 3 ? 65535 : c == 2 ? 20000 + 2 * t : c == 1 ? 30000 - t : 20000);
    }));
    ASSERT_EQ(RunPF(Params(1, 100, 0), *ramp, *dst), 1);
    for (int y = 0; y < 151; ++y)
        for (int x = 0; x < 201; ++x)
            for (int c : {0, 1, 3})
                ASSERT_EQ(Row16(*dst, y)[x * 4 + c], Row16(*ramp, y)[x * 4 + c]) << x << "," << y;
    EXPECT_EQ(GetPixel16(*dst, 100, 75), GetPixel16(*ramp, 100, 75)) << "the centre does not move";
    EXPECT_GT(Row16(*dst, 150)[200 * 4 + 2], Row16(*ramp, 150)[200 * 4 + 2] - 1) << "outward scale samples beyond";
    EXPECT_NE(Row16(*dst, 140)[190 * 4 + 2], Row16(*ramp, 140)[190 * 4 + 2]);
    EXPECT_NE(Row16(*dst, 5)[5 * 4 + 2], Row16(*ramp, 5)[5 * 4 + 2]);
    // Clamped amounts: 1000 acts as 100.
    ScopedImage big;
    ASSERT_EQ(RunPF(Params(1, 1000, -1000), *ramp, *big), 1);
    ScopedImage lim;
    ASSERT_EQ(RunPF(Params(1, 100, -100), *ramp, *lim), 1);
    EXPECT_TRUE(SameImage(*big, *lim));
}

ImageBuffer16 FringedEdge(int w, int h)
{
    return MakeImage(w, h, [](int x, int, int c) -> uint16_t {
        if (c == 3)
            return 65535;
        const int edge = 100;
        if (x < edge)
            return 1500;            // dark
        if (x < edge + 3) {         // purple fringe
            const uint16_t purple[3] = {40000, 0, 20000};
            return purple[c];
        }
        const uint16_t warm[3] = {9000, 30000, 50000}; // a coloured, unrelated area
        return warm[c];
    });
}

TEST(PurpleFringe, PurpleModeDesaturatesTheFringeOnly)
{
    ScopedImage src(FringedEdge(260, 80)), dst;
    ASSERT_EQ(RunPF(Params(0, 0, 0), *src, *dst), 1);
    for (int x = 100; x < 103; ++x) {
        const int before = Saturation(Row16(*src, 40) + x * 4), after = Saturation(Row16(*dst, 40) + x * 4);
        EXPECT_LT(after, 0.3 * before) << x;
    }
    for (int y = 0; y < 80; ++y)
        for (int x : {0, 40, 79, 125, 200, 259})
            for (int c = 0; c < 4; ++c)
                ASSERT_NEAR(Row16(*dst, y)[x * 4 + c], Row16(*src, y)[x * 4 + c], 4) << x << "," << y; // HSL round trip
}

TEST(PurpleFringe, HelpersAndRecords)
{
    ScopedImage src(FringedEdge(1100, 850)), a, b;
    ASSERT_EQ(RunPF(Params(0, 0, 0), *src, *a, 0), 1);
    ASSERT_EQ(RunPF(Params(0, 0, 0), *src, *b, 8), 1);
    EXPECT_TRUE(SameImage(*a, *b));
    EXPECT_FALSE(SameImage(*a, *src));

    PurpleFringeParams bad = Params(0, 0, 0);
    bad.size = 25;
    ScopedImage small(FringedEdge(120, 20)), c;
    EXPECT_EQ(RunPF(bad, *small, *c), 0);
    EXPECT_EQ(RunPF(Params(0, 0, 0), *small, *c), 1);
}

} // namespace
