#include "algorithms/Inpainting.h"
#include "algorithms/tests/AlgorithmTestSupport.h"
#include "algorithms/tests/PlaneTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

using Mask = TestMask;

// Diagonal stripes with a period of 10 pixels: every window has a match elsewhere.
uint16_t Stripes(int x, int y, int c)
{
    if (c == 3)
        return 65535;
    return ((x + y) / 5) % 2 ? static_cast<uint16_t>(50000 - 1000 * c) : static_cast<uint16_t>(8000 + 500 * c);
}

int Inpaint(ImageBuffer16& src, ImageBuffer16& dst, Plane8& mask, int patch, int feather = 0,
            CImageInpainting* keep = nullptr)
{
    InpaintingParams p;
    p.mask = &mask;
    p.patchSize = patch;
    p.feather = feather;
    CImageInpainting local;
    CImageInpainting& alg = keep ? *keep : local;
    alg.SetSource(&src);
    alg.SetDestination(&dst);
    alg.SetParams(&p);
    return alg.Run();
}

TEST(Inpainting, FillsAHoleInATextureFromTheTexture)
{
    for (int patch : {8, 12, 25}) {
        const int w = 200, h = 160;
        // The hole is painted a colour found nowhere else, so any of it left shows.
        ScopedImage src(MakeImage(w, h, [](int x, int y, int c) -> uint16_t {
            const bool hole = x >= 80 && x < 110 && y >= 60 && y < 95;
            return hole ? (c == 3 ? 65535 : 30000) : Stripes(x, y, c);
        }));
        Mask mask(w, h, [](int x, int y) -> uint8_t { return x >= 80 && x < 110 && y >= 60 && y < 95 ? 255 : 0; });
        ScopedImage dst;
        CImageInpainting alg;
        ASSERT_EQ(Inpaint(*src, *dst, mask.p, patch, 0, &alg), 1) << patch;
        EXPECT_EQ(alg.m_reduction, patch < 12 ? 1 : (patch <= 24 ? 2 : 3));
        int64_t error = 0, n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint16_t* d = Row16(*dst, y) + x * 4;
                if (mask.p.data[size_t(y) * w + x] == 0) {
                    ASSERT_EQ(std::memcmp(d, Row16(*src, y) + x * 4, 8), 0) << patch; // outside never changes
                    continue;
                }
                ASSERT_NE(d[0], 30000) << patch << " " << x << "," << y;
                error += std::abs(int(d[0]) - int(Stripes(x, y, 0)));
                ++n;
            }
        // Most of the hole continues the stripes (the seams between blocks blend).
        EXPECT_LT(error / n, 42000 / 6) << patch;
    }
}

TEST(Inpainting, EmptyAndRefusedMasks)
{
    WorkerScope scope(0, false);
    ScopedImage src(MakeImage(60, 50, Stripes));
    {
        Mask none(60, 50, [](int, int) -> uint8_t { return 0; });
        ScopedImage dst;
        ASSERT_EQ(Inpaint(*src, *dst, none.p, 10), 1);
        EXPECT_TRUE(SameImage(*src, *dst));
        int last = 0;
        for (auto& m : scope.host.Pump())
            last = m.p1;
        EXPECT_EQ(last, 5);
    }
    Mask third(60, 50, [](int x, int) -> uint8_t { return x < 21 ? 255 : 0; });
    Mask small(30, 50, [](int, int) -> uint8_t { return 0; });
    Mask spot(60, 50, [](int x, int y) -> uint8_t { return x == 30 && y == 25 ? 255 : 0; });
    ScopedImage dst;
    EXPECT_EQ(Inpaint(*src, *dst, third.p, 10), 0);
    EXPECT_EQ(Inpaint(*src, *dst, small.p, 10), 0);
    EXPECT_EQ(Inpaint(*src, *dst, spot.p, 0), 0);
    // Holes sprinkled everywhere leave no fully known window to copy from.
    Mask scattered(60, 50, [](int x, int y) -> uint8_t { return (x * 7 + y * 13) % 11 == 0 ? 255 : 0; });
    EXPECT_EQ(Inpaint(*src, *dst, scattered.p, 10), 0);
    // A patch near the picture's size pads the picture with opaque black and still succeeds.
    EXPECT_EQ(Inpaint(*src, *dst, spot.p, 40), 1);
    EXPECT_EQ(dst->width, 60);
}

TEST(Inpainting, AreasAtTheEdgeLinesAndSoftEdges)
{
    const int w = 120, h = 90;
    ScopedImage src(MakeImage(w, h, Stripes));
    struct Case {
        const char* name;
        std::function<uint8_t(int, int)> mask;
        int feather;
        bool changes; // pixels of the area change
    };
    const Case cases[] = {
        {"at the left edge", [](int x, int y) -> uint8_t { return x < 6 && y >= 30 && y < 50 ? 255 : 0; }, 0, true},
        {"in a corner, feathered", [](int x, int y) -> uint8_t { return x > 110 && y > 80 ? 255 : 0; }, 1, true},
        {"one column", [](int x, int y) -> uint8_t { return x == 60 && y >= 20 && y < 70 ? 255 : 0; }, 0, true},
        {"one row", [](int x, int y) -> uint8_t { return y == 45 && x >= 20 && x < 90 ? 255 : 0; }, 0, true},
        {"only a soft edge", [](int x, int y) -> uint8_t { return x >= 50 && x < 70 && y >= 30 && y < 50 ? 100 : 0; }, 0, false},
    };
    for (const Case& c : cases) {
        Mask m(w, h, c.mask);
        std::vector<uint8_t> before(m.p.data, m.p.data + w * h);
        // Mark the area so a change shows.
        ScopedImage marked(MakeImage(w, h, Stripes));
        for (int i = 0; i < w * h; ++i)
            if (before[i] >= 128)
                Pixels16(*marked)[i * 4] = 33333;
        ScopedImage dst;
        ASSERT_EQ(Inpaint(*marked, *dst, m.p, 10, c.feather), 1) << c.name;
        ASSERT_EQ(dst->width, w);
        ASSERT_EQ(dst->height, h);
        int changed = 0;
        for (int i = 0; i < w * h; ++i)
            changed += before[i] >= 128 && Pixels16(*dst)[i * 4] != 33333;
        if (c.changes)
            EXPECT_GT(changed, 0) << c.name;
        else
            EXPECT_TRUE(SameImage(*dst, *marked)) << c.name;
    }
}

TEST(Inpainting, PatchSizeFromTheSelectionsThickness)
{
    const int w = 400, h = 300;
    struct Case {
        const char* name;
        std::function<uint8_t(int, int)> mask;
        int lo, hi;
    };
    const Case cases[] = {
        {"thin line", [](int, int y) -> uint8_t { return y >= 100 && y < 104 ? 255 : 0; }, 8, 8},
        {"disc", [](int x, int y) -> uint8_t { return std::hypot(x - 200, y - 150) < 60 ? 255 : 0; }, 9, 63},
        {"everything", [](int, int) -> uint8_t { return 255; }, 63, 63},
        {"nothing", [](int, int) -> uint8_t { return 0; }, 8, 8},
    };
    for (const Case& c : cases) {
        Mask m(w, h, c.mask);
        const int size = EstimatePatchSize(m.p);
        EXPECT_GE(size, c.lo) << c.name;
        EXPECT_LE(size, c.hi) << c.name;
    }
    // Masks smaller than the blurs stay within range.
    for (auto [mw, mh] : {std::pair{12, 9}, {1, 1}, {3, 40}}) {
        Mask tiny(mw, mh, [](int, int) -> uint8_t { return 255; });
        const int size = EstimatePatchSize(tiny.p);
        EXPECT_GE(size, 8) << mw << "x" << mh;
        EXPECT_LE(size, 63) << mw << "x" << mh;
    }
    Mask thick(w, h, [](int x, int y) -> uint8_t { return std::hypot(x - 200, y - 150) < 120 ? 255 : 0; });
    Mask thin(w, h, [](int x, int y) -> uint8_t { return std::hypot(x - 200, y - 150) < 50 ? 255 : 0; });
    EXPECT_GT(EstimatePatchSize(thick.p), EstimatePatchSize(thin.p));
}

TEST(Inpainting, HelpersDoNotChangeTheResult)
{
    ScopedImage src(MakeImage(700, 500, Stripes));
    ScopedImage out[2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        Mask m(700, 500, [](int x, int y) -> uint8_t { return std::hypot(x - 350, y - 250) < 40 ? 255 : 0; });
        ASSERT_EQ(Inpaint(*src, *out[k], m.p, 16, 1), 1);
    }
    EXPECT_TRUE(SameImage(*out[0], *out[1]));
}

} // namespace
