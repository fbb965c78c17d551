#include "algorithms/ContentAwareScale.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

namespace {

int Scale(CContentAwareScale& s, ImageBuffer16& src, ImageBuffer16& dst, int w, int h, int prepare = 0)
{
    ContentAwareScaleParams p;
    p.width = w;
    p.height = h;
    p.prepareOnly = prepare;
    s.SetSource(&src);
    s.SetDestination(&dst);
    s.SetParams(&p);
    return s.Run();
}

// Stripes 4 px wide (busy at half resolution too) in the left part, a flat right part.
uint16_t BusyLeft(int x, int y, int c)
{
    if (c == 3)
        return 65535;
    if (x < 40)
        return ((x / 4) % 2) ? 60000 : static_cast<uint16_t>(2000 + 100 * (y % 3));
    return 30000;
}

TEST(ContentAwareScale, MapsHoldEveryOrderOncePerLine)
{
    ScopedImage src(Noise(46, 30, 6)), none;
    CContentAwareScale s;
    ASSERT_EQ(Scale(s, *src, *none, 0, 0, 1), 1);
    ASSERT_TRUE(s.m_verticalComplete && s.m_horizontalComplete);
    const int w2 = 23, h2 = 15;
    for (int y = 0; y < h2; ++y) {
        std::vector<int> seen(w2 + 1, 0);
        for (int x = 0; x < w2; ++x)
            ++seen[s.m_verticalMap[size_t(y) * w2 + x]];
        for (int o = 1; o <= w2; ++o)
            ASSERT_EQ(seen[o], 1) << "row " << y << " order " << o;
    }
    for (int x = 0; x < w2; ++x) {
        std::vector<int> seen(h2 + 1, 0);
        for (int y = 0; y < h2; ++y)
            ++seen[s.m_horizontalMap[size_t(y) * w2 + x]];
        for (int o = 1; o <= h2; ++o)
            ASSERT_EQ(seen[o], 1) << "column " << x << " order " << o;
    }
    // Paths are connected: one pixel a row, neighbours differ by at most one column.
    for (int o = 1; o <= w2; ++o) {
        int prev = -1;
        for (int y = 0; y < h2; ++y) {
            // The column among the pixels still present when this path was removed.
            int pos = 0, at = -1;
            for (int x = 0; x < w2; ++x) {
                const int m = s.m_verticalMap[size_t(y) * w2 + x];
                if (m == o)
                    at = pos;
                if (m >= o)
                    ++pos;
            }
            if (prev >= 0) {
                ASSERT_LE(std::abs(at - prev), 1) << o;
            }
            prev = at;
        }
    }
}

TEST(ContentAwareScale, SameSizeCopiesAndTwoPixelsLessCrops)
{
    ScopedImage src(Noise(40, 24, 2));
    ScopedImage same, narrower, lower;
    CContentAwareScale a, b, c;
    ASSERT_EQ(Scale(a, *src, *same, 40, 24), 1);
    EXPECT_TRUE(SameImage(*same, *src));
    // e = 1: nothing removed, the rightmost pixels cut.
    ASSERT_EQ(Scale(b, *src, *narrower, 38, 24), 1);
    ASSERT_EQ(narrower->width, 38);
    for (int y = 0; y < 24; ++y)
        ASSERT_EQ(std::memcmp(Row16(*narrower, y), Row16(*src, y), 38 * 8), 0) << y;
    ASSERT_EQ(Scale(c, *src, *lower, 40, 22), 1);
    ASSERT_EQ(lower->height, 22);
    for (int y = 0; y < 22; ++y)
        ASSERT_EQ(std::memcmp(Row16(*lower, y), Row16(*src, y), 40 * 8), 0) << y;
}

TEST(ContentAwareScale, PathsAvoidDetailAndProtectedPixels)
{
    ScopedImage src(MakeImage(120, 60, BusyLeft)), out;
    CContentAwareScale s;
    ASSERT_EQ(Scale(s, *src, *out, 90, 60), 1);
    ASSERT_EQ(out->width, 90);
    // The first path takes the left border (its energy is 0); after it the striped part keeps
    // every pixel and only the flat part loses width. Output 0 averages the border's kept half.
    // (In the first and last half rows, all of energy 0, the path may step aside.)
    for (int y = 2; y < 58; ++y) {
        ASSERT_EQ(std::memcmp(Row16(*out, y) + 4, Row16(*src, y) + 3 * 4, 35 * 8), 0) << y;
        ASSERT_EQ(Row16(*out, y)[0], (Row16(*src, y)[4] + Row16(*src, y)[8]) / 2) << y;
    }

    // A protected square in a flat picture stays whole.
    ScopedImage flat(MakeImage(120, 60, [](int x, int y, int c) -> uint16_t {
        return c == 3 ? 65535 : static_cast<uint16_t>(20000 + ((x * 7 + y * 13) % 5) * 900);
    }));
    Plane8 mask{};
    ASSERT_TRUE(AllocPlane8(mask, 120, 60));
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 120; ++x)
            mask.data[size_t(y) * 120 + x] = x >= 10 && x < 40 ? 255 : 0;
    CContentAwareScale p;
    p.SetProtectMask(&mask);
    ScopedImage kept;
    ASSERT_EQ(Scale(p, *flat, *kept, 80, 60), 1);
    for (int y = 0; y < 60; ++y) {
        // The protected columns appear side by side somewhere in the row, untouched.
        bool found = false;
        for (int x0 = 0; x0 + 28 <= 80 && !found; ++x0)
            found = std::memcmp(Row16(*kept, y) + x0 * 4, Row16(*flat, y) + 11 * 4, 28 * 8) == 0;
        ASSERT_TRUE(found) << y;
    }
    FreePlane8(mask);
}

TEST(ContentAwareScale, HeightFollowsTheHorizontalMap)
{
    // The transposed stripes: detail at the top.
    ScopedImage src(MakeImage(60, 120, [](int x, int y, int c) { return BusyLeft(y, x, c); })), out;
    CContentAwareScale s;
    ASSERT_EQ(Scale(s, *src, *out, 60, 90), 1);
    ASSERT_EQ(out->height, 90);
    for (int y = 1; y < 36; ++y)
        ASSERT_EQ(std::memcmp(Row16(*out, y) + 2 * 4, Row16(*src, y + 2) + 2 * 4, 56 * 8), 0) << y;
}

TEST(ContentAwareScale, RefusedSizesAndPictures)
{
    ScopedImage src(Noise(40, 24, 2)), oneRow(Noise(40, 1, 2)), empty, out;
    struct Case {
        const char* name;
        ImageBuffer16* img;
        int w, h;
    };
    for (const Case& c : {Case{"wider", &*src, 41, 24}, Case{"zero width", &*src, 0, 24},
                          Case{"negative height", &*src, 40, -2}, Case{"one row", &*oneRow, 30, 1},
                          Case{"no pixels", &*empty, 10, 10}}) {
        CContentAwareScale s;
        EXPECT_EQ(Scale(s, *c.img, *out, c.w, c.h), 0) << c.name;
    }
}

TEST(ContentAwareScale, PreparedMapsServeLaterSizesAndHelpersAgree)
{
    ScopedImage src(Noise(700, 500, 11));
    ScopedImage a[2], b[2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        CContentAwareScale s;
        ScopedImage none;
        ASSERT_EQ(Scale(s, *src, *none, 0, 0, 1), 1);
        ASSERT_EQ(Scale(s, *src, *a[k], 560, 500), 1);
        ASSERT_EQ(Scale(s, *src, *b[k], 700, 420), 1);
    }
    EXPECT_TRUE(SameImage(*a[0], *a[1]));
    EXPECT_TRUE(SameImage(*b[0], *b[1]));
    // A fresh object preparing only what it needs gives the same narrowing.
    CContentAwareScale fresh;
    ScopedImage direct;
    ASSERT_EQ(Scale(fresh, *src, *direct, 560, 500), 1);
    EXPECT_TRUE(SameImage(*direct, *a[0]));
}

} // namespace
