#include "algorithms/FilmAdjust.h"
#include "algorithms/GradientFilter.h"
#include "algorithms/ToneMaker.h"
#include "algorithms/tests/ColourTestSupport.h"

#include <climits>
#include <cmath>

namespace {

GradientParams Exposure(int amount, int angle, int start, int end)
{
    GradientParams p;
    p.mode = 1, p.exposureBias = 0, p.amount = amount, p.angle = angle, p.start = start, p.end = end;
    return p;
}

TEST(GradientFilter, WeightsAlongTheLine)
{
    struct Case {
        const char* why;
        int angle, start, end, x, y, w;
    };
    // 100 x 100: D = 70.71; the top edge at o = -0.707 gives v = 146, the bottom 853.
    const Case cases[] = {
        {"angle 0: top is version A", 0, 0, 100, 50, 0, 146 * 255 / 1000},
        {"angle 0: centre", 0, 0, 100, 50, 50, 127},
        {"angle 0: bottom", 0, 0, 100, 50, 99, 846 * 255 / 1000},
        {"hard edge at 50: above", 0, 50, 50, 10, 49, 0},
        {"hard edge at 50: centre row stays A", 0, 50, 50, 10, 50, 0},
        {"hard edge at 50: below", 0, 50, 50, 10, 51, 255},
        {"angle 90: left-to-right", 90, 50, 50, 49, 10, 0},
        {"angle 90: right", 90, 50, 50, 51, 10, 255},
        {"angle 180 swaps the ends", 180, 50, 50, 10, 40, 255},
        {"angle 180: bottom is A", 180, 50, 50, 10, 60, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        GradientParams p = Exposure(100, c.angle, c.start, c.end);
        EXPECT_EQ(CGradientFilter::Weight(p, c.x, c.y, 100, 100), c.w);
    }
}

TEST(GradientFilter, AmountAndVersions)
{
    ScopedImage src(Photo(64, 48, 20));
    {
        SCOPED_TRACE("amount 0 returns the source");
        ScopedImage dst;
        ASSERT_EQ(RunOnce<CGradientFilter>(Exposure(0, 30, 10, 90), *src, *dst), 1);
        EXPECT_TRUE(SameImage(*src, *dst));
    }
    {
        SCOPED_TRACE("exposure mode, hard edge: top is exposure -10, bottom +10");
        ScopedImage dst, dark, bright;
        ASSERT_EQ(RunOnce<CGradientFilter>(Exposure(100, 0, 50, 50), *src, *dst), 1);
        FilmAdjustParams f;
        f.exposure = -10;
        ASSERT_EQ(RunOnce<CAFilmAdjust>(f, *src, *dark), 1);
        f.exposure = 10;
        ASSERT_EQ(RunOnce<CAFilmAdjust>(f, *src, *bright), 1);
        for (int x : {0, 30, 63}) {
            EXPECT_EQ(PixelAt(*dst, x, 3).g, PixelAt(*dark, x, 3).g);
            EXPECT_EQ(PixelAt(*dst, x, 40).r, PixelAt(*bright, x, 40).r);
        }
    }
    {
        SCOPED_TRACE("colour mode: the two tonings, half amount");
        GradientParams p = Exposure(50, 0, 50, 50);
        p.mode = 0;
        const uint16_t c1[4] = {50000, 20000, 10000, 0}, c2[4] = {10000, 20000, 50000, 0};
        std::memcpy(p.colour1, c1, 8);
        std::memcpy(p.colour2, c2, 8);
        ScopedImage dst, toned;
        ASSERT_EQ(RunOnce<CGradientFilter>(p, *src, *dst), 1);
        ToneMakerParams t;
        t.redWeight = 33, t.greenWeight = 33, t.blueWeight = 34, t.toning = 50;
        std::memcpy(t.shadow, c1, 8);
        std::memcpy(t.midtone, c1, 8);
        std::memcpy(t.highlight, c1, 8);
        ASSERT_EQ(RunOnce<CToneMaker>(t, *src, *toned), 1);
        const Bgra s = PixelAt(*src, 5, 2), a = PixelAt(*toned, 5, 2), o = PixelAt(*dst, 5, 2);
        EXPECT_EQ(o.b, (s.b * 50 + 50 * a.b) / 100);
        EXPECT_EQ(o.r, (s.r * 50 + 50 * a.r) / 100);
    }
}

TEST(GradientFilter, HostileRecordsAreBounded)
{
    ScopedImage src(Photo(40, 30, 21)), dst, ref;
    GradientParams h = Exposure(INT_MAX, INT_MIN, -50, 500);
    h.exposureBias = std::nan("");
    GradientParams q = Exposure(100, 0, 0, 100); // INT_MIN degrees: limited to -36000, a whole number of turns
    q.exposureBias = 0;
    ASSERT_EQ(RunOnce<CGradientFilter>(h, *src, *dst), 1);
    ASSERT_EQ(RunOnce<CGradientFilter>(q, *src, *ref), 1);
    EXPECT_TRUE(SameImage(*dst, *ref));
    // start above end: everything past the end is B, nothing divides by zero.
    GradientParams r = Exposure(100, 0, 80, 20);
    ASSERT_EQ(RunOnce<CGradientFilter>(r, *src, *dst), 1);
    h.exposureBias = 1e300;
    ASSERT_EQ(RunOnce<CGradientFilter>(h, *src, *dst), 1);
    h.size = 49;
    EXPECT_EQ(RunOnce<CGradientFilter>(h, *src, *dst), 0);
}

TEST(GradientFilter, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Photo(1000, 920, 22));
    for (int mode : {0, 1}) {
        GradientParams p = Exposure(80, 35, 20, 70);
        p.mode = mode;
        p.colour1[0] = 40000, p.colour1[1] = 30000, p.colour1[2] = 20000;
        p.colour2[2] = 40000, p.colour2[1] = 30000, p.colour2[0] = 20000;
        ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CGradientFilter>(p, s, d); });
    }
}

} // namespace
