#include "algorithms/AddSomething.h"
#include "algorithms/AlgorithmRandom.h"
#include "algorithms/tests/ColourTestSupport.h"

#include <climits>
#include <cmath>

namespace {

AddSomethingParams Look(int grain, int fade, int mode, int scratches, int corners, int cx = 50, int cy = 50)
{
    AddSomethingParams p;
    p.grain = grain, p.fade = fade, p.baseMode = mode, p.scratches = scratches, p.darkCorners = corners;
    p.centreX = cx, p.centreY = cy;
    return p;
}

TEST(FilmLook, NothingToDoCopies)
{
    ScopedImage src(Photo(30, 20, 30)), dst;
    CAddSomething a;
    const AddSomethingParams p = Look(0, 0, 1, 0, 0);
    ASSERT_EQ(RunWith(a, &p, *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst));
    EXPECT_EQ(a.LastReported(), 100);
}

TEST(FilmLook, FadeTable)
{
    struct Case {
        const char* why;
        int fade, mode;
        Bgra in, out;
    };
    // l = (6 G + 3 R + B) / 10
    const Case cases[] = {
        {"fade 100, film: black becomes the ramp's foot", 100, 0, {0, 0, 0, 5}, {4000, 6000, 8000, 5}},
        {"fade 100, film: white becomes its top", 100, 0, {65535, 65535, 65535, 5}, {58000, 59000, 60000, 5}},
        {"fade 100, paper: black", 100, 1, {0, 0, 0, 5}, {500, 5000, 6000, 5}},
        {"fade 100, paper: white", 100, 1, {65535, 65535, 65535, 5}, {47000, 50000, 60000, 5}},
        {"fade 50, film, a colour (l = 30000)", 50, 0, {0, 50000, 0, 5},
         {static_cast<uint16_t>((4000 + 54000 * 30000 / 65535) / 2), static_cast<uint16_t>((50000 + 6000 + 53000 * 30000 / 65535) / 2),
          static_cast<uint16_t>((8000 + 52000 * 30000 / 65535) / 2), 5}},
        {"stored fade above 100 is limited", 400, 0, {0, 0, 0, 5}, {4000, 6000, 8000, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedImage src(Pixels({c.in})), dst;
        ASSERT_EQ(RunOnce<CAddSomething>(Look(0, c.fade, c.mode, 0, 0), *src, *dst), 1);
        ExpectPixel(PixelAt(*dst, 0), c.out);
    }
}

TEST(FilmLook, GrainKeepsGreyAndTheMean)
{
    ScopedImage src(Uniform(200, 100, {30000, 30000, 30000, 1})), a, b;
    SeedAlgorithmRand(42);
    ASSERT_EQ(RunOnce<CAddSomething>(Look(50, 0, 0, 0, 0), *src, *a), 1);
    SeedAlgorithmRand(42);
    ASSERT_EQ(RunOnce<CAddSomething>(Look(50, 0, 0, 0, 0), *src, *b), 1);
    EXPECT_TRUE(SameImage(*a, *b)) << "the same seed gives the same grain";
    double sum = 0;
    int changed = 0;
    for (size_t i = 0; i < PixelCount(*a); ++i) {
        const uint16_t* p = Pixels16(*a) + i * 4;
        ASSERT_EQ(p[0], p[1]);
        ASSERT_EQ(p[1], p[2]);
        ASSERT_LE(std::abs(p[0] - 30000), 4000) << "at most 80 g";
        sum += p[0];
        changed += p[0] != 30000;
    }
    EXPECT_NEAR(sum / PixelCount(*a), 30000, 40);
    EXPECT_GT(changed, 15000);
}

TEST(FilmLook, ScratchesByMode)
{
    SeedAlgorithmRand(7);
    ScopedImage white(Uniform(300, 200, {65535, 65535, 65535, 9})), lines;
    ASSERT_EQ(RunOnce<CAddSomething>(Look(0, 0, 1, 100, 0), *white, *lines), 1);
    int darker = 0;
    for (int y = 0; y < 200; ++y) {
        EXPECT_EQ(PixelAt(*lines, 0, y).g, 65535) << "no line within a pixel of the left border";
        for (int x = 0; x < 300; ++x) {
            const Bgra o = PixelAt(*lines, x, y);
            darker += o.g < 65535;
            ASSERT_EQ(o.a, 9);
        }
    }
    EXPECT_GT(darker, 0) << "paper mode draws dark lines";

    ScopedImage dark(Uniform(300, 200, {5000, 5000, 5000, 9})), segments;
    ASSERT_EQ(RunOnce<CAddSomething>(Look(0, 0, 0, 100, 0), *dark, *segments), 1);
    int brighter = 0;
    for (size_t i = 0; i < PixelCount(*segments); ++i) {
        const uint16_t v = Pixels16(*segments)[i * 4 + 1];
        ASSERT_GE(v, 5000) << "film scratches are white";
        brighter += v > 5000;
    }
    EXPECT_GT(brighter, 0);
    // Tiny pictures: the segment length table never divides by zero.
    ScopedImage tiny(Uniform(3, 2, {1, 1, 1, 1})), out;
    EXPECT_EQ(RunOnce<CAddSomething>(Look(0, 0, 0, 100, 0), *tiny, *out), 1);
    EXPECT_EQ(RunOnce<CAddSomething>(Look(0, 0, 1, 100, 0), *tiny, *out), 1);
}

TEST(FilmLook, CornersDarkenAwayFromTheCentre)
{
    const uint16_t v = 40000;
    ScopedImage src(Uniform(250, 200, {v, v, v, 1})), dst;
    ASSERT_EQ(RunOnce<CAddSomething>(Look(0, 0, 0, 0, 100, 50, 50), *src, *dst), 1);
    const double r0 = 200 / 2.5;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 250; ++x) {
            const double q = std::hypot(x - 125, y - 100) / r0;
            const uint16_t o = PixelAt(*dst, x, y).g;
            if (q <= 0.5)
                ASSERT_EQ(o, v) << x << "," << y;
            else
                ASSERT_LE(o, v);
        }
    const int h = std::min(230, 100 * static_cast<int>(std::min(1.0, (std::hypot(125, 100) / r0 - 0.5) / 2.5) * 256) / 60);
    EXPECT_EQ(PixelAt(*dst, 0, 0).g, SrgbDecodeTable[(SrgbEncodeTable[v] * (256 - h)) >> 8]);
    EXPECT_GE(PixelAt(*dst, 0, 0).g, SrgbDecodeTable[(SrgbEncodeTable[v] * 26) >> 8]) << "at most 230/256";
}

TEST(FilmLook, HostileRecordsAreBounded)
{
    ScopedImage src(Photo(60, 40, 31)), dst, ref;
    const AddSomethingParams h = Look(INT_MAX, INT_MAX, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX);
    const AddSomethingParams q = Look(200, 100, 1, 100, 100, 0, 100);
    SeedAlgorithmRand(5);
    ASSERT_EQ(RunOnce<CAddSomething>(h, *src, *dst), 1);
    SeedAlgorithmRand(5);
    ASSERT_EQ(RunOnce<CAddSomething>(q, *src, *ref), 1);
    EXPECT_TRUE(SameImage(*dst, *ref));
    const AddSomethingParams neg = Look(INT_MIN, INT_MIN, 0, INT_MIN, INT_MIN);
    ASSERT_EQ(RunOnce<CAddSomething>(neg, *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst));
}

TEST(FilmLook, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Photo(1000, 920, 32));
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) {
        SeedAlgorithmRand(11);
        return RunOnce<CAddSomething>(Look(20, 40, 0, 30, 60, 40, 60), s, d);
    });
}

} // namespace
