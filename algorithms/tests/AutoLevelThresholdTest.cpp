// The clip threshold from the pixel count, and the luminance histogram of the contrast stretch,
// end to end on small pictures whose results are known to the integer.
#include "algorithms/AutoLevel.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

namespace {

// Eight grey pixels 1000, 2000, ..., 8000.
uint16_t Steps(int x, int, int c)
{
    return c == 3 ? 0x8000 : static_cast<uint16_t>(1000 * (x + 1));
}

TEST(AutoLevels, ThresholdIsTheTruncatedRealShareOfThePixels)
{
    ScopedImage src(MakeImage(8, 1, Steps));
    struct Case { double clip; int lo; };
    // T = (int)(8 x clip / 1000): 374.9 gives 2.9992 -> 2, so the black point is the third value;
    // 375 gives 3 and the fourth.
    for (const Case c : {Case{0, 1000}, Case{125, 2000}, Case{374.9, 3000}, Case{375, 4000}}) {
        ScopedImage dst;
        ASSERT_EQ(AutoLevelLinear(c.clip, *src, *dst), 1);
        for (int x = 0; x < 8; ++x) {
            const int v = 1000 * (x + 1);
            const int expected = v < c.lo ? 0 : static_cast<int>((v - c.lo) * 65535.0 / (40000 - c.lo));
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(Row16(*dst, 0)[x * 4 + ch], expected) << "clip " << c.clip << " x " << x;
            ASSERT_EQ(Row16(*dst, 0)[x * 4 + 3], 0x8000);
        }
    }
}

TEST(AutoLevels, ContrastStretchSearchesTheLuminance)
{
    // Y = (3 R + 6 G + B) / 10: 600 for the green pixel, 50000 for the grey one. One curve then
    // maps all three channels, so the green pixel's zero channels stay 0.
    ScopedImage src(MakeImage(2, 1, [](int x, int, int c) -> uint16_t {
        if (c == 3)
            return 0xFFFF;
        return x == 0 ? (c == 1 ? 1000 : 0) : 50000;
    }));
    ScopedImage dst;
    ASSERT_EQ(AutoContrastLinear(*src, *dst, 900), 1);
    EXPECT_EQ(Row16(*dst, 0)[0], 0);
    EXPECT_EQ(Row16(*dst, 0)[1], (1000 - 600) * 65535 / 49400);
    EXPECT_EQ(Row16(*dst, 0)[2], 0);
    EXPECT_EQ(Row16(*dst, 0)[4], 65535);

    // T = (1000 x clip) / 1000 pixels may lie beyond each point: with clip 1 the lone green pixel
    // no longer holds the black point, the first grey pixel (Y 20001) does.
    ScopedImage wide(MakeImage(1000, 1, [](int x, int, int c) -> uint16_t {
        if (c == 3)
            return 0xFFFF;
        return x == 0 ? (c == 1 ? 1000 : 0) : static_cast<uint16_t>(20000 + x);
    }));
    ScopedImage a, b;
    ASSERT_EQ(AutoContrast(*wide, *a, 0), 1);
    EXPECT_GT(Row16(*a, 0)[1], 0) << "black point 600: green 1000 stays above it";
    ASSERT_EQ(AutoContrast(*wide, *b, 1), 1);
    EXPECT_EQ(Row16(*b, 0)[1], 0) << "black point 20001";
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_EQ(Row16(*b, 0)[1 * 4 + ch], 0);
    EXPECT_GT(Row16(*b, 0)[100 * 4 + 1], 0);
}

} // namespace
