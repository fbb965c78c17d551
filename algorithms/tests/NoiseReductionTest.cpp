#include "algorithms/NoiseReduction.h"
#include "algorithms/tests/RestoreTestSupport.h"

#include <gtest/gtest.h>

namespace {

NoiseReductionParams Params(int strength, int chroma, int skip, uint8_t style)
{
    NoiseReductionParams p;
    p.strength = strength;
    p.chromaPass = chroma;
    p.skipLuminance = skip;
    p.style = style;
    return p;
}

int RunNR(const NoiseReductionParams& p, ImageBuffer16& src, ImageBuffer16& dst, int helpers = 0)
{
    return RunWithHelpers<CNoiseReduction>(helpers, p, src, dst);
}

TEST(NoiseReduction, DerivedValues)
{
    struct Case { int strength; uint8_t style; int n, rc, t, e, a, minDist, r; bool half; };
    const Case cases[] = {
        {50, 1, 6, 6, 10000, 70, 1, 1, 4, false},
        {0, 0, 1, 3, 3000, 40, 2, 1, 3, false},
        {100, 2, 11, 9, 17000, 100, 2, 0, 2, true},
        {-500, 7, 1, 3, 3000, 40, 1, 1, 4, false},   // a hostile strength is clamped
        {1 << 30, 1, 11, 9, 17000, 100, 1, 1, 4, false},
    };
    for (const Case& c : cases) {
        CNoiseReduction nr;
        ScopedImage src(NoisyGrey(8, 8, 30000, 100, 1)), dst;
        NoiseReductionParams p = Params(c.strength, 0, 0, c.style);
        nr.SetSource(&*src);
        nr.SetDestination(&*dst);
        nr.SetParams(&p);
        ASSERT_EQ(nr.Run(), 1);
        EXPECT_EQ(nr.m_matchCount, c.n) << c.strength;
        EXPECT_EQ(nr.m_chromaRadius, c.rc) << c.strength;
        EXPECT_EQ(nr.m_chromaThreshold, c.t) << c.strength;
        EXPECT_EQ(nr.m_edgeAmount, c.e) << c.strength;
        EXPECT_EQ(nr.m_step, c.a) << int(c.style);
        EXPECT_EQ(nr.m_minDistance, c.minDist) << int(c.style);
        EXPECT_EQ(nr.m_searchRadius, c.r) << int(c.style);
        EXPECT_EQ(nr.m_halfPlanes, c.half) << int(c.style);
    }
}

TEST(NoiseReduction, PicturesItLeavesAlone)
{
    struct Case { int w, h; NoiseReductionParams p; bool same; };
    const Case cases[] = {
        {255, 255, Params(50, 1, 0, 1), true},   // both sides below 256
        {300, 260, Params(50, 0, 1, 1), true},   // nothing asked for
        {256, 10, Params(50, 1, 0, 1), false},   // one long side is enough to filter
        {10, 300, Params(50, 0, 0, 2), false},
        {300, 1, Params(50, 1, 0, 2), true},    // one row: no blocks and no half size, still a run
        {1, 400, Params(50, 1, 1, 1), true},
    };
    for (const Case& c : cases) {
        ScopedImage src(NoisyGrey(c.w, c.h, 30000, 3000, 5)), dst;
        ASSERT_EQ(RunNR(c.p, *src, *dst), 1);
        EXPECT_EQ(SameImage(*src, *dst), c.same) << c.w << "x" << c.h;
    }
}

TEST(NoiseReduction, RemovesNoiseAndKeepsTheLevel)
{
    for (uint8_t style : {0, 1, 2}) {
        ScopedImage src(NoisyGrey(320, 300, 30000, 2000, 7)), dst;
        ASSERT_EQ(RunNR(Params(50, 0, 0, style), *src, *dst), 1);
        const Stats before = LumaStats(*src, 8, 8, 312, 292), after = LumaStats(*dst, 8, 8, 312, 292);
        EXPECT_LT(after.sd, 0.5 * before.sd) << int(style);
        for (int by = 0; by + 32 <= 300; by += 32)
            for (int bx = 0; bx + 32 <= 320; bx += 32) {
                const Stats a = LumaStats(*src, bx, by, bx + 32, by + 32), b = LumaStats(*dst, bx, by, bx + 32, by + 32);
                ASSERT_NEAR(b.mean, a.mean, 0.01 * a.mean) << int(style) << " block " << bx << "," << by;
            }
        for (size_t i = 0; i < PixelCount(*src); ++i)
            ASSERT_EQ(Pixels16(*dst)[i * 4 + 3], Pixels16(*src)[i * 4 + 3]) << "alpha";
    }
}

TEST(NoiseReduction, ChromaPassRemovesColourBlotches)
{
    // Grey with coloured noise in the chroma only.
    std::mt19937 rng(3);
    std::normal_distribution<double> n(0, 3000);
    ScopedImage src(NoisyGrey(300, 280, 25000, 0, 1)), dst;
    for (size_t i = 0; i < PixelCount(*src); ++i) {
        const double d = n(rng);
        Pixels16(*src)[i * 4 + 2] = ClampU16(std::lround(25000 + d));
        Pixels16(*src)[i * 4 + 0] = ClampU16(std::lround(25000 - 2 * d));
    }
    auto chromaSpread = [](const ImageBuffer16& img) {
        double s2 = 0;
        for (size_t i = 0; i < PixelCount(img); ++i) {
            const double d = double(Pixels16(img)[i * 4 + 2]) - Pixels16(img)[i * 4 + 0];
            s2 += d * d;
        }
        return std::sqrt(s2 / PixelCount(img));
    };
    ASSERT_EQ(RunNR(Params(50, 1, 1, 1), *src, *dst), 1);
    EXPECT_LT(chromaSpread(*dst), 0.5 * chromaSpread(*src));
}

TEST(NoiseReduction, HelpersDoNotChangeTheResult)
{
    // Over 900000 pixels, so eight helpers split it into bands.
    ScopedImage src(NoisyGrey(1000, 920, 28000, 2500, 11));
    std::vector<BandRows> layout;
    ASSERT_TRUE(ComputeBandSplit(1000, 920, 6, 0, 8, layout));
    ASSERT_GT(layout.size(), 2u);
    for (const NoiseReductionParams& p : {Params(50, 1, 0, 1), Params(80, 0, 0, 2)}) {
        ScopedImage a, b;
        ASSERT_EQ(RunNR(p, *src, *a, 0), 1);
        ASSERT_EQ(RunNR(p, *src, *b, 8), 1);
        EXPECT_TRUE(SameImage(*a, *b)) << int(p.style);
        EXPECT_FALSE(SameImage(*a, *src));
    }
}

TEST(NoiseReduction, ShortRecordKeepsLaterFields)
{
    ScopedImage src(NoisyGrey(300, 260, 30000, 2500, 9)), full, viaShort, dummy;
    CNoiseReduction nr;
    nr.SetSource(&*src);
    NoiseReductionParams first = Params(80, 1, 0, 2);
    nr.SetParams(&first);
    nr.SetDestination(&*dummy);
    ASSERT_EQ(nr.Run(), 1);
    NoiseReductionParams shortRec = Params(30, 0, 1, 0);
    shortRec.size = 8; // strength only
    nr.SetParams(&shortRec);
    nr.SetDestination(&*viaShort);
    ASSERT_EQ(nr.Run(), 1);
    EXPECT_EQ(nr.m_params.size, 20);
    EXPECT_EQ(nr.m_params.chromaPass, 1);
    EXPECT_EQ(nr.m_params.style, 2);
    ASSERT_EQ(RunNR(Params(30, 1, 0, 2), *src, *full), 1);
    EXPECT_TRUE(SameImage(*full, *viaShort));

    NoiseReductionParams tooLong = Params(30, 1, 0, 2);
    tooLong.size = 21;
    nr.SetParams(&tooLong);
    EXPECT_EQ(nr.Run(), 0) << "a size word beyond the record is refused";
}

TEST(NoiseReduction, EstimatedStrength)
{
    struct Case { int w, h, level; double sd; int lo, hi; };
    const Case cases[] = {
        {512, 512, 30000, 0, 8, 8},       // flat grey: no variance
        {512, 95, 30000, 3000, 50, 50},   // reduced height below 3
        {31, 512, 30000, 3000, 50, 50},   // reduced width below 1: no zero-sized copy
        {640, 512, 30000, 3000, 65, 75},  // 8 + (3000 - 1000) / 32 = 70
        {640, 512, 30000, 1000, 5, 11},
        {640, 512, 30000, 6000, 100, 100}, // 8 + 5000 / 32 = 164, clamped
    };
    for (const Case& c : cases) {
        ScopedImage img(NoisyGrey(c.w, c.h, c.level, c.sd, 4));
        const int s = EstimateNoiseStrength(*img);
        EXPECT_GE(s, c.lo) << c.w << "x" << c.h << " sd " << c.sd;
        EXPECT_LE(s, c.hi) << c.w << "x" << c.h << " sd " << c.sd;
    }
    EXPECT_EQ(EstimateNoiseStrength(ImageBuffer16{}), 50);
}

TEST(NoiseReduction, HalvePlane)
{
    Plane16 p{}, h{};
    ASSERT_TRUE(AllocPlane16(p, 5, 3));
    for (int i = 0; i < 15; ++i)
        p.data[i] = static_cast<uint16_t>(i * 1000 + 1);
    ASSERT_EQ(HalvePlane16(p, h), 1);
    EXPECT_EQ(h.width, 2);
    EXPECT_EQ(h.height, 1);
    EXPECT_EQ(h.data[0], (1 + 1001 + 5001 + 6001) >> 2);
    EXPECT_EQ(h.data[1], (2001 + 3001 + 7001 + 8001) >> 2);
    Plane16 one{};
    ASSERT_TRUE(AllocPlane16(one, 1, 9));
    EXPECT_EQ(HalvePlane16(one, h), 0) << "nothing left at half size";
    FreePlane16(p);
    FreePlane16(h);
    FreePlane16(one);
}

} // namespace
