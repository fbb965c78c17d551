#include "algorithms/SkinClean.h"
#include "algorithms/tests/RestoreTestSupport.h"

#include <gtest/gtest.h>

namespace {

SkinCleanParams Params(int radius, int amount, int lighten, int pink, int nr, int grain)
{
    SkinCleanParams p;
    p.radius = radius;
    p.amount = amount;
    p.lighten = lighten;
    p.pink = pink;
    p.noiseReduction = nr;
    p.grain = grain;
    return p;
}

int RunSkin(const SkinCleanParams& p, ImageBuffer16& src, ImageBuffer16& dst, int helpers = 0)
{
    return RunWithHelpers<CSkinClean>(helpers, p, src, dst);
}

bool InDisc(int x, int y)
{
    return (x - 100) * (x - 100) + (y - 90) * (y - 90) < 60 * 60;
}

// A noisy skin-coloured disc on a blue background; the noise moves all three channels together.
ImageBuffer16 Portrait(unsigned seed, int w = 320, int h = 280)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0, 1500);
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h)); // the noise reduction skips pictures below 256 a side
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = Row16(img, y) + x * 4;
            const double d = n(rng);
            if (InDisc(x, y)) {
                p[0] = ClampU16(std::lround(12000 + 0.4 * d));
                p[1] = ClampU16(std::lround(18000 + 0.6 * d));
                p[2] = ClampU16(std::lround(30000 + d));
            } else {
                p[0] = ClampU16(std::lround(40000 + d)), p[1] = 10000, p[2] = 5000;
            }
            p[3] = 65535;
        }
    return img;
}

TEST(SkinClean, MembershipTables)
{
    std::vector<uint8_t> t(65536);
    BuildSkinHueTable(1000, t.data());
    struct Case { int v, want; };
    for (const Case& c : {Case{1000, 255}, Case{2999, 255}, Case{4500, 128}, Case{6000, 0}, Case{65000, 255},
                          Case{63000, 125} /* distance 3535 through 65535 + H - v */, Case{30000, 0}})
        EXPECT_EQ(t[c.v], c.want) << c.v;
    // Saturation-like table around 40000: ramps up to it, flat to the middle of the rest, then down.
    BuildSkinLevelTable(40000, 2.0, 0.3, t.data());
    for (const Case& c : {Case{0, 0}, Case{6000, 0}, Case{10000, static_cast<int>(255 * (0.5 - 0.3))}, Case{26000, 255},
                          Case{40000, 255}, Case{52767, 255}, Case{65535, 0}})
        EXPECT_EQ(t[c.v], c.want) << c.v;
    // The top value as the picked level: no division by zero, 255 at the top.
    BuildSkinLevelTable(65535, 2.5, 0.2, t.data());
    EXPECT_EQ(t[65535], 255);
    BuildSkinLevelTable(0, 2.0, 0.3, t.data());
    EXPECT_EQ(t[0], 255);
}

TEST(SkinClean, NothingAskedLeavesThePicture)
{
    ScopedImage src(Portrait(1)), dst;
    ASSERT_EQ(RunSkin(Params(4, 0, 0, 0, 0, 0), *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst));
}

TEST(SkinClean, SmoothsSkinOnly)
{
    for (int nr : {0, 1}) {
        ScopedImage src(Portrait(2)), dst;
        ASSERT_EQ(RunSkin(Params(4, 100, 0, 0, nr, 0), *src, *dst), 1);
        const Stats before = LumaStats(*src, 75, 70, 125, 110), after = LumaStats(*dst, 75, 70, 125, 110);
        EXPECT_LT(after.sd, 0.5 * before.sd) << "method " << nr;
        for (int y = 0; y < 280; ++y)
            for (int x = 0; x < 320; ++x)
                if ((x - 100) * (x - 100) + (y - 90) * (y - 90) > 75 * 75) {
                    ASSERT_EQ(GetPixel16(*dst, x, y), GetPixel16(*src, x, y)) << x << "," << y << " method " << nr;
                }
    }
}

TEST(SkinClean, GrainDiffersEachRunInsideTheSkin)
{
    ScopedImage src(Portrait(3)), a, b, c, d;
    ASSERT_EQ(RunSkin(Params(4, 50, 0, 0, 0, 1), *src, *a), 1);
    ASSERT_EQ(RunSkin(Params(4, 50, 0, 0, 0, 1), *src, *b), 1);
    EXPECT_FALSE(SameImage(*a, *b));
    for (int y = 0; y < 280; y += 3)
        for (int x = 0; x < 320; x += 3)
            if ((x - 100) * (x - 100) + (y - 90) * (y - 90) > 75 * 75) {
                ASSERT_EQ(GetPixel16(*a, x, y), GetPixel16(*b, x, y));
            }
    ASSERT_EQ(RunSkin(Params(4, 50, 0, 30, 0, 0), *src, *c), 1);
    ASSERT_EQ(RunSkin(Params(4, 50, 0, 30, 0, 0), *src, *d), 1);
    EXPECT_TRUE(SameImage(*c, *d));
}

TEST(SkinClean, PickedColoursAtTheLimits)
{
    ScopedImage src(Portrait(4)), dst;
    for (const auto& colour : {std::array<uint16_t, 4>{0, 0, 65535, 65535}, std::array<uint16_t, 4>{65535, 65535, 65535, 65535},
                               std::array<uint16_t, 4>{0, 0, 0, 65535}}) {
        SkinCleanParams p = Params(4, 80, 0, 0, 0, 0);
        std::copy(colour.begin(), colour.end(), p.skin);
        EXPECT_EQ(RunSkin(p, *src, *dst), 1);
    }
}

int TestFilm(CAlgorithm*, int, int, ImageBuffer16& src, ImageBuffer16& dst, int lighten)
{
    if (!CopyImage16(dst, src))
        return 0;
    for (size_t i = 0; i < PixelCount(dst); ++i)
        for (int c = 0; c < 3; ++c)
            Pixels16(dst)[i * 4 + c] = ClampU16(Pixels16(dst)[i * 4 + c] + 1000 * lighten);
    return 1;
}

TEST(SkinClean, LightenGoesThroughTheFilmAdjustment)
{
    ScopedImage src(Portrait(5)), dst, real;
    // The real film adjustment brightens the skin too.
    SetSkinFilmAdjust(nullptr);
    ASSERT_EQ(RunSkin(Params(4, 0, 2, 0, 0, 0), *src, *real), 1);
    EXPECT_GT(Row16(*real, 90)[100 * 4 + 2], Row16(*src, 90)[100 * 4 + 2]) << "skin lightened by the film adjustment";
    SetSkinFilmAdjust(TestFilm);
    ASSERT_EQ(RunSkin(Params(4, 0, 2, 0, 0, 0), *src, *dst), 1);
    SetSkinFilmAdjust(nullptr);
    EXPECT_GT(Row16(*dst, 90)[100 * 4 + 2], Row16(*src, 90)[100 * 4 + 2] + 1500) << "skin lightened";
    EXPECT_EQ(GetPixel16(*dst, 2, 2), GetPixel16(*src, 2, 2)) << "background untouched";
}

TEST(SkinClean, HostileRecords)
{
    ScopedImage src(Portrait(6)), a, b;
    struct Case { SkinCleanParams given, same; };
    const Case cases[] = {
        {Params(0, 50, 0, 0, 0, 0), Params(1, 50, 0, 0, 0, 0)},
        {Params(-9, 50, 0, 0, 0, 0), Params(1, 50, 0, 0, 0, 0)},
        {Params(4, 500, 0, 0, 0, 0), Params(4, 100, 0, 0, 0, 0)},
        {Params(4, -5, 0, 0, 0, 0), Params(4, 0, 0, 0, 0, 0)},
        {Params(4, 50, 0, 9999, 0, 0), Params(4, 50, 0, 100, 0, 0)},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(RunSkin(c.given, *src, *a), 1);
        ASSERT_EQ(RunSkin(c.same, *src, *b), 1);
        EXPECT_TRUE(SameImage(*a, *b)) << c.given.radius << " " << c.given.amount << " " << c.given.pink;
    }
    SkinCleanParams bad = Params(4, 50, 0, 0, 0, 0);
    bad.size = 41;
    EXPECT_EQ(RunSkin(bad, *src, *a), 0);
}

TEST(SkinClean, HelpersDoNotChangeTheResult)
{
    // Over 900000 pixels: the nested noise reduction runs in bands, the smoothing in row ranges.
    ScopedImage src(Portrait(7, 1000, 920));
    for (const SkinCleanParams& p : {Params(6, 80, 0, 20, 0, 0), Params(4, 100, 0, 0, 1, 0)}) {
        ScopedImage a, b;
        ASSERT_EQ(RunSkin(p, *src, *a, 0), 1);
        ASSERT_EQ(RunSkin(p, *src, *b, 8), 1);
        EXPECT_TRUE(SameImage(*a, *b)) << "method " << p.noiseReduction;
        EXPECT_FALSE(SameImage(*a, *src));
    }
}

} // namespace
