#include "algorithms/LensBlur.h"
#include "algorithms/tests/RestoreTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct OwnedPlane {
    Plane8 p{};
    OwnedPlane(int w, int h, uint8_t (*fn)(int x, int y))
    {
        EXPECT_TRUE(AllocPlane8(p, w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p.data[y * w + x] = fn(x, y);
    }
    ~OwnedPlane() { FreePlane8(p); }
};

uint8_t Disc(int x, int y)
{
    const double dx = x - 64, dy = y - 64; // symmetric about the pixel (64, 64)
    return dx * dx + dy * dy <= 62.0 * 62.0 ? 255 : 0;
}

LensBlurParams Params(const Plane8* shape, double radius, int highlight = 0, const Plane8* depth = nullptr)
{
    LensBlurParams p;
    p.shape = shape;
    p.radius = radius;
    p.highlight = highlight;
    p.depth = depth;
    return p;
}

int RunLB(const LensBlurParams& p, ImageBuffer16& src, ImageBuffer16& dst, int helpers = 0)
{
    return RunWithHelpers<CLensBlur>(helpers, p, src, dst);
}

TEST(LensBlur, HighlightTable)
{
    std::vector<uint16_t> t(65536);
    BuildHighlightTable(0, t.data());
    for (int i = 0; i < 65536; ++i)
        ASSERT_EQ(t[i], i) << "boost 0 is the identity";
    BuildHighlightTable(100, t.data());
    struct Case { int in, out; };
    for (const Case& c : {Case{0x7FFF, 0x7FFF}, Case{0x8000, 0x8000}, Case{45535, 65535}, Case{45534, (45534 - 32768) * 32767 / (45535 - 32768) + 32768},
                          Case{65535, 65535}, Case{40000, (40000 - 32768) * 32767 / 12767 + 32768}})
        EXPECT_EQ(t[c.in], c.out) << c.in;
    std::vector<uint16_t> clamped(65536);
    BuildHighlightTable(5000, clamped.data()); // a boost that would divide by zero acts as 100
    EXPECT_EQ(clamped, t);
}

TEST(LensBlur, RotatedDiscStaysAndKernelsAreCentred)
{
    OwnedPlane disc(128, 128, Disc);
    Plane8 turned{};
    ASSERT_EQ(RotateApertureShape(disc.p, turned, M_PI), 1);
    int differ = 0;
    for (int i = 0; i < 128 * 128; ++i)
        differ += std::abs(turned.data[i] - disc.p.data[i]) > 1;
    EXPECT_EQ(differ, 0) << "a centred disc turned by pi is the same disc";
    ASSERT_EQ(RotateApertureShape(disc.p, turned, 0), 1);
    EXPECT_EQ(std::memcmp(turned.data, disc.p.data, 128 * 128), 0);
    FreePlane8(turned);

    CLensBlur lb;
    OwnedPlane depth(4, 4, [](int, int) -> uint8_t { return 0; });
    lb.m_params = Params(&disc.p, 10.7, 0, &depth.p);
    ASSERT_EQ(lb.BuildKernels(), 1);
    EXPECT_EQ(lb.MaxDiameter(), 20);
    EXPECT_EQ(lb.KernelCount(), 10);
    for (int k = 0; k < 10; ++k) {
        const int D = 20 - 2 * k, off = (128 - D) / 2;
        const uint8_t* K = lb.Kernel(k);
        int count = 0;
        for (int i = 0; i < 128 * 128; ++i)
            if (K[i]) {
                ++count;
                const int r = i / 128, c = i % 128;
                ASSERT_TRUE(r >= off && r < off + D && c >= off && c < off + D) << k;
            }
        EXPECT_NEAR(count, M_PI * D * D / 4, D * 2.0) << "kernel " << k << " is a disc of diameter " << D;
    }
    lb.m_params = Params(&disc.p, 500);
    ASSERT_EQ(lb.BuildKernels(), 1);
    EXPECT_EQ(lb.MaxDiameter(), 128);
    EXPECT_EQ(lb.KernelCount(), 1);
}

TEST(LensBlur, WhatStaysSharp)
{
    OwnedPlane disc(128, 128, Disc);
    OwnedPlane dark(128, 128, [](int, int) -> uint8_t { return 0; });
    ScopedImage src(Noise(60, 50, 3)), dst;
    ASSERT_EQ(RunLB(Params(&disc.p, 0.9), *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst)) << "radius below 1";
    ASSERT_EQ(RunLB(Params(&dark.p, 8), *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst)) << "a closed aperture has no weights";
    OwnedPlane sharp(60, 50, [](int x, int) -> uint8_t { return static_cast<uint8_t>(x % 2); });
    ASSERT_EQ(RunLB(Params(&disc.p, 8, 0, &sharp.p), *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst)) << "depth 0 and 1 keep pixels sharp";
    for (double radius : {std::nan(""), -5.0, -HUGE_VAL}) {
        ASSERT_EQ(RunLB(Params(&disc.p, radius), *src, *dst), 1) << radius;
        EXPECT_TRUE(SameImage(*src, *dst)) << "radius " << radius << " blurs nothing";
    }
    ScopedImage huge, limit;
    LensBlurParams wild = Params(&disc.p, HUGE_VAL, 1 << 20);
    wild.rotation = std::nan("");
    ASSERT_EQ(RunLB(wild, *src, *huge), 1) << "an endless radius is the largest, a wild boost the strongest";
    ASSERT_EQ(RunLB(Params(&disc.p, 64, 100), *src, *limit), 1);
    EXPECT_TRUE(SameImage(*huge, *limit));
    EXPECT_EQ(RunLB(Params(nullptr, 8), *src, *dst), 0) << "no aperture";
    OwnedPlane wrong(10, 10, [](int, int) -> uint8_t { return 4; });
    EXPECT_EQ(RunLB(Params(&disc.p, 8, 0, &wrong.p), *src, *dst), 0) << "a depth plane of another size";
}

TEST(LensBlur, PointBloomsIntoTheAperture)
{
    OwnedPlane disc(128, 128, Disc);
    ScopedImage src(MakeImage(81, 81, [](int x, int y, int c) -> uint16_t { return c == 3 ? 65535 : (x == 40 && y == 40 ? 65535 : 0); })), dst;
    ASSERT_EQ(RunLB(Params(&disc.p, 10), *src, *dst), 1);
    for (int y = 0; y < 81; ++y)
        for (int x = 0; x < 81; ++x) {
            const double d = std::hypot(x - 40, y - 40);
            const uint16_t r = Row16(*dst, y)[x * 4 + 2];
            if (d <= 8) {
                ASSERT_GT(r, 0) << x << "," << y;
            }
            if (d >= 12) {
                ASSERT_EQ(r, 0) << x << "," << y;
            }
        }
    // A uniform picture stays uniform, also with depth-driven diameters.
    OwnedPlane depth(81, 81, [](int x, int y) -> uint8_t { return static_cast<uint8_t>((x + y) % 45); });
    ScopedImage flat(MakeImage(81, 81, [](int, int, int c) -> uint16_t { return static_cast<uint16_t>(10000 + 9000 * c); }));
    ASSERT_EQ(RunLB(Params(&disc.p, 22, 0, &depth.p), *flat, *dst), 1);
    EXPECT_TRUE(SameImage(*flat, *dst));
}

TEST(LensBlur, DepthTwoAndThree)
{
    // Depth 2 uses the diameter-2 kernel; 3 is raised to 4, so 3 and 4 agree.
    OwnedPlane disc(128, 128, Disc);
    ScopedImage src(Noise(40, 30, 5)), a, b, c;
    OwnedPlane three(40, 30, [](int, int) -> uint8_t { return 3; });
    OwnedPlane four(40, 30, [](int, int) -> uint8_t { return 4; });
    OwnedPlane two(40, 30, [](int, int) -> uint8_t { return 2; });
    ASSERT_EQ(RunLB(Params(&disc.p, 6, 0, &three.p), *src, *a), 1);
    ASSERT_EQ(RunLB(Params(&disc.p, 6, 0, &four.p), *src, *b), 1);
    EXPECT_TRUE(SameImage(*a, *b));
    EXPECT_FALSE(SameImage(*a, *src));
    ASSERT_EQ(RunLB(Params(&disc.p, 6, 0, &two.p), *src, *c), 1);
    EXPECT_FALSE(SameImage(*c, *src));
    EXPECT_FALSE(SameImage(*c, *b));
}

TEST(LensBlur, HelpersDoNotChangeTheResult)
{
    // Over 900000 pixels, with diameters on both sides of 33 so the every-second-pixel rule
    // meets band borders at odd rows.
    OwnedPlane disc(128, 128, Disc);
    ScopedImage src(Noise(1000, 915, 12)), a, b;
    OwnedPlane depth(1000, 915, [](int x, int y) -> uint8_t { return static_cast<uint8_t>((x / 50 + y / 7) % 3 == 0 ? 36 : 6); });
    const LensBlurParams p = Params(&disc.p, 18, 40, &depth.p);
    ASSERT_EQ(RunLB(p, *src, *a, 0), 1);
    ASSERT_EQ(RunLB(p, *src, *b, 8), 1);
    EXPECT_TRUE(SameImage(*a, *b));
}

} // namespace
