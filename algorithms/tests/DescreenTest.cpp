#include "algorithms/Descreen.h"
#include "algorithms/tests/RestoreTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

DescreenParams Params(int pattern, int strength, int lumaOnly)
{
    DescreenParams p;
    p.patternSize = pattern;
    p.strength = strength;
    p.luminanceOnly = lumaOnly;
    return p;
}

int RunDS(const DescreenParams& p, ImageBuffer16& src, ImageBuffer16& dst, int helpers = 0)
{
    return RunWithHelpers<CDescreen>(helpers, p, src, dst);
}

TEST(Descreen, ReflectedColumns)
{
    struct Case { int x, width, want; };
    for (const Case& c : {Case{-5, 10, 5}, Case{12, 10, 6}, Case{9, 10, 9}, Case{-32, 50, 32}, Case{300, 50, 6},
                          Case{-300, 50, 6}, Case{7, 1, 0}, Case{-1, 2, 1}, Case{2, 2, 0}, Case{3, 2, 1}})
        EXPECT_EQ(ReflectColumn(c.x, c.width), c.want) << c.x << " in " << c.width;
    EXPECT_EQ(DescreenCutoff(0), 85);
    EXPECT_EQ(DescreenCutoff(1), 51);
    EXPECT_EQ(DescreenCutoff(2), 21);
    EXPECT_EQ(DescreenCutoff(3), 256);
    EXPECT_EQ(DescreenCutoff(-1), 256);
}

TEST(Descreen, PeakSuppressionRule)
{
    // Zone 200 holds 1.0 everywhere but three test values; the zone's typical level m2 is
    // taken from the block itself.
    struct Case { int strength; double value; double expectRatio; }; // result / value; < 0: m2-based formula
    const Case cases[] = {
        {0, 5.0, 1.0},    // between 3.5 and 6.3 times the level: damping factor 1
        {0, 7.0, 0.0},    // beyond 6.3: removed
        {50, 2.0, 1.0},   // below h = 2.25: kept
        {50, 3.0, -1},    // between h and 1.8 h: damped
        {50, 4.5, 0.0},
        {100, 0.5, 1.0},  // below the zone level: never changed
    };
    for (const Case& c : cases) {
        std::vector<double> block(256 * 256, 0.0);
        for (int r = 0; r < 256; ++r)
            for (int col = 0; col < 256; ++col) {
                const int z = (r + col) / 2;
                block[r * 256 + col] = z == 200 ? 1.0 : (z <= 51 ? 50.0 : 0.0);
            }
        block[200 * 256 + 200] = -c.value; // zone 200, negative to check the sign
        std::vector<double> m1(256), m2(256);
        DescreenZoneMeans(block.data(), m1.data(), m2.data());
        std::vector<double> out = block;
        SuppressPeaks(out.data(), 1, c.strength);
        double want = -c.value * c.expectRatio;
        if (c.expectRatio < 0) {
            const double q = c.value / m2[200], h = (100 - c.strength) / 40.0 + 1;
            want = -c.value / (1 + (c.strength / 10.0) * (q - h));
        }
        EXPECT_NEAR(out[200 * 256 + 200], want, 1e-12) << c.strength << " " << c.value;
        EXPECT_EQ(out[10 * 256 + 10], 50.0) << "zones up to the cut-off stay";
        if (c.strength < 100) { // at h = 1 the ordinary values just above the level are damped too
            EXPECT_EQ(out[199 * 256 + 201], 1.0);
        }
    }
    // Pattern size 3 changes nothing; a zone of zeros with one value removes it.
    std::vector<double> block(256 * 256, 0.0);
    block[250 * 256 + 250] = 3.0;
    std::vector<double> same = block;
    SuppressPeaks(same.data(), 3, 50);
    EXPECT_EQ(same, block);
    SuppressPeaks(block.data(), 2, 50);
    EXPECT_EQ(block[250 * 256 + 250], 0.0);
}

TEST(Descreen, NoPatternSizeOnlyQuantises)
{
    ScopedImage src(Noise(300, 450, 4)), dst;
    ASSERT_EQ(RunDS(Params(3, 50, 0), *src, *dst), 1);
    for (size_t i = 0; i < PixelCount(*src); ++i) {
        for (int c = 0; c < 3; ++c) {
            const uint16_t v = Pixels16(*src)[i * 4 + c];
            ASSERT_EQ(Pixels16(*dst)[i * 4 + c], SrgbDecodeTable[SrgbEncodeTable[v]]) << i;
        }
        ASSERT_EQ(Pixels16(*dst)[i * 4 + 3], Pixels16(*src)[i * 4 + 3]);
    }
}

TEST(Descreen, RemovesADotScreen)
{
    // Mid grey with a period-4 dot pattern of +-30 sRGB levels.
    auto screened = [](int x, int y, int c) -> uint16_t {
        if (c == 3)
            return 65535;
        const double v = 128 + 30 * std::cos(2 * M_PI * x / 4) * std::cos(2 * M_PI * y / 4);
        return SrgbDecodeTable[static_cast<int>(std::lround(v))];
    };
    ScopedImage src(MakeImage(400, 420, screened));
    for (int lumaOnly : {0, 1}) {
        ScopedImage dst;
        ASSERT_EQ(RunDS(Params(0, 50, lumaOnly), *src, *dst), 1);
        double before = 0, after = 0;
        for (int y = 0; y < 420; ++y)
            for (int x = 0; x < 400; ++x) {
                const double s = SrgbEncodeTable[Row16(*src, y)[x * 4 + 1]] - 128.0;
                const double d = SrgbEncodeTable[Row16(*dst, y)[x * 4 + 1]] - 128.0;
                before += s * s;
                after += d * d;
            }
        EXPECT_LT(after, 0.2 * 0.2 * before) << "pattern amplitude down by 80 %, luma only " << lumaOnly;
    }
}

TEST(Descreen, OddShapesAndHelpers)
{
    struct Case { int w, h; };
    for (const Case& c : {Case{500, 100}, Case{50, 400}, Case{1, 300}, Case{193, 257}, Case{7, 3}}) {
        ScopedImage src(Noise(c.w, c.h, 6)), dst;
        ASSERT_EQ(RunDS(Params(2, 70, 0), *src, *dst), 1) << c.w << "x" << c.h;
        EXPECT_EQ(dst->width, c.w);
        EXPECT_EQ(dst->height, c.h);
    }
    ScopedImage src(Noise(420, 700, 8)), a, b;
    ASSERT_EQ(RunDS(Params(0, 50, 1), *src, *a, 0), 1);
    ASSERT_EQ(RunDS(Params(0, 50, 1), *src, *b, 8), 1);
    EXPECT_TRUE(SameImage(*a, *b));
}

TEST(Descreen, HostileRecords)
{
    ScopedImage src(Noise(200, 120, 9)), a, b;
    DescreenParams bad = Params(0, 50, 1);
    bad.size = 17;
    EXPECT_EQ(RunDS(bad, *src, *a), 0);
    struct Case { int given, actsAs; };
    for (const Case& c : {Case{1000, 100}, Case{-40, 0}, Case{INT32_MIN, 0}}) {
        ASSERT_EQ(RunDS(Params(0, c.given, 0), *src, *a), 1);
        ASSERT_EQ(RunDS(Params(0, c.actsAs, 0), *src, *b), 1);
        EXPECT_TRUE(SameImage(*a, *b)) << c.given;
    }
}

} // namespace
