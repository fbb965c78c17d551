#include "algorithms/Defog.h"
#include "algorithms/tests/RestoreTestSupport.h"

#include <gtest/gtest.h>

namespace {

DefogParams Params(int window, int amount)
{
    DefogParams p;
    p.window = window;
    p.amount = amount;
    return p;
}

TEST(Defog, StretchChannel)
{
    struct Case { uint16_t v; int black, white; int lo, hi; };
    const Case cases[] = {
        {0, 0, 65535, 0, 0},
        {12345, 0, 65535, 12344, 12345}, // identity up to truncation
        {65535, 0, 65535, 65534, 65535},
        {5000, 5000, 40000, 0, 0},       // the black point maps to 0
        {40000, 5000, 40000, 65534, 65535},
        {2000, 5000, 40000, 0, 0},       // below black: clipped
        {50000, 5000, 40000, 65535, 65535},
        {777, 9000, 9000, 777, 777},     // no range: unchanged
    };
    for (const Case& c : cases) {
        const int r = StretchChannel(c.v, c.black, c.white);
        EXPECT_GE(r, c.lo) << c.v << " " << c.black << " " << c.white;
        EXPECT_LE(r, c.hi) << c.v << " " << c.black << " " << c.white;
    }
    // Half way in sRGB gamma between the points is sRGB 0.5 of the output.
    const int mid = StretchChannel(static_cast<uint16_t>(65535 * 0.214041), 0, 65535);
    EXPECT_NEAR(mid, 65535 * 0.214041, 2);
}

TEST(Defog, ReducedSizes)
{
    struct Case { int w, h, rw, rh; };
    for (const Case& c : {Case{4000, 100, 200, 5}, Case{100, 4000, 5, 200}, Case{300, 300, 200, 200},
                          Case{100000, 3, 200, 1}, Case{50, 40, 200, 160}, Case{1, 1, 200, 200}}) {
        int rw, rh;
        CDefog::ReducedSize(c.w, c.h, rw, rh);
        EXPECT_EQ(rw, c.rw) << c.w << "x" << c.h;
        EXPECT_EQ(rh, c.rh) << c.w << "x" << c.h;
    }
}

TEST(Defog, AmountZeroAndUniformPicturesStay)
{
    ScopedImage src(Noise(230, 170, 3)), dst;
    ASSERT_EQ((RunWithHelpers<CDefog>(0, Params(40, 0), *src, *dst)), 1);
    for (size_t i = 0; i < PixelCount(*src); ++i) {
        for (int c = 0; c < 3; ++c)
            ASSERT_NEAR(Pixels16(*dst)[i * 4 + c], Pixels16(*src)[i * 4 + c], 1) << i;
        ASSERT_EQ(Pixels16(*dst)[i * 4 + 3], Pixels16(*src)[i * 4 + 3]);
    }
    ScopedImage white(MakeImage(120, 90, [](int, int, int) -> uint16_t { return 65535; }));
    ASSERT_EQ((RunWithHelpers<CDefog>(0, Params(40, 100), *white, *dst)), 1);
    EXPECT_TRUE(SameImage(*white, *dst));
}

TEST(Defog, StretchesAHazyPicture)
{
    // A dim scene squeezed into 2000..14000 (a veil of haze) over a smooth gradient.
    ScopedImage src(MakeImage(400, 300, [](int x, int y, int c) -> uint16_t {
        if (c == 3)
            return 65535;
        const int detail = ((x / 10 + y / 10) % 2) * 3000;
        return static_cast<uint16_t>(2000 + (x * 40 + y * 20) / 2 + detail + c * 300);
    })), dst;
    for (int amount : {50, 100}) {
        ASSERT_EQ((RunWithHelpers<CDefog>(0, Params(40, amount), *src, *dst)), 1);
        uint16_t sMin = 65535, sMax = 0, dMin = 65535, dMax = 0;
        for (size_t i = 0; i < PixelCount(*src); ++i)
            for (int c = 0; c < 3; ++c) {
                sMin = std::min(sMin, Pixels16(*src)[i * 4 + c]), sMax = std::max(sMax, Pixels16(*src)[i * 4 + c]);
                dMin = std::min(dMin, Pixels16(*dst)[i * 4 + c]), dMax = std::max(dMax, Pixels16(*dst)[i * 4 + c]);
            }
        EXPECT_LT(dMin, sMin) << amount;
        if (amount == 100) { // at lower amounts the raised black point dominates
            EXPECT_GT(dMax, sMax);
        }
        // Within a small area the order of values is kept (one monotone stretch per pixel
        // and neighbours share nearly the same points).
        for (int y = 100; y < 110; ++y)
            for (int x = 100; x < 109; ++x)
                if (Row16(*src, y)[(x + 1) * 4 + 2] > Row16(*src, y)[x * 4 + 2] + 2000) {
                    ASSERT_GT(Row16(*dst, y)[(x + 1) * 4 + 2], Row16(*dst, y)[x * 4 + 2]) << x << "," << y;
                }
    }
}

TEST(Defog, HelpersAndHostileRecords)
{
    ScopedImage src(Noise(1000, 940, 8)), a, b;
    ASSERT_EQ((RunWithHelpers<CDefog>(0, Params(40, 70), *src, *a)), 1);
    ASSERT_EQ((RunWithHelpers<CDefog>(8, Params(40, 70), *src, *b)), 1);
    EXPECT_TRUE(SameImage(*a, *b));

    ScopedImage small(Noise(90, 60, 9)), c, d;
    struct Case { int window, amount; int sameAs; };
    // Out-of-range amounts act as the nearest limit; windows below 2 as window 2.
    for (const Case& k : {Case{-7, 50, 2}, Case{0, 50, 2}, Case{1, 50, 2}, Case{40, -30, 0}, Case{40, 1000, 100}}) {
        ASSERT_EQ((RunWithHelpers<CDefog>(0, Params(k.window, k.amount), *small, *c)), 1);
        const DefogParams ref = k.sameAs == 2 ? Params(2, 50) : Params(40, k.sameAs);
        ASSERT_EQ((RunWithHelpers<CDefog>(0, ref, *small, *d)), 1);
        EXPECT_TRUE(SameImage(*c, *d)) << k.window << " " << k.amount;
    }
    ASSERT_EQ((RunWithHelpers<CDefog>(0, Params(1 << 30, 50), *small, *c)), 1) << "a window wider than the picture";
    DefogParams bad = Params(40, 50);
    bad.size = 13;
    EXPECT_EQ((RunWithHelpers<CDefog>(0, bad, *small, *c)), 0);
}

} // namespace
