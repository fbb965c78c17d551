#include "algorithms/AlgorithmRandom.h"
#include "algorithms/ImageSize.h"
#include "algorithms/IterAntiBlur.h"
#include "algorithms/ResEnhance.h"
#include "algorithms/X2Enlarge.h"
#include "algorithms/X3Enlarge.h"
#include "algorithms/tests/AlgorithmTestSupport.h"
#include "imaging/ColourTables.h"
#include "imaging/ConvolutionKernel.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct GreyImage : ScopedImage {
    GreyImage(int w, int h, const std::vector<int>& v)
    {
        EXPECT_TRUE(AllocImage16(img, w, h));
        for (int i = 0; i < w * h; ++i) {
            uint16_t* p = Pixels16(img) + i * 4;
            p[0] = p[1] = p[2] = static_cast<uint16_t>(v[i]);
            p[3] = 0xFFFF;
        }
    }
};

std::vector<int> Grey(const ImageBuffer16& img)
{
    std::vector<int> v;
    for (size_t i = 0; i < PixelCount(img); ++i)
        v.push_back(Pixels16(img)[i * 4 + 1]);
    return v;
}

TEST(ResEnhance, WindowsAndExactValues)
{
    struct Case { double s; ResWindow w; };
    for (const Case& c : {Case{1.0, {3, -1, 1, -1, 1}}, Case{1.6, {5, -1, 1, -1, 2}}, Case{2.0, {8, -1, 2, -1, 2}},
                          Case{5.0, {8, -1, 2, -1, 2}}}) {
        const ResWindow w = ResWindowForStrength(c.s);
        EXPECT_EQ(std::vector<int>({w.sum, w.left, w.right, w.top, w.bottom}),
                  std::vector<int>({c.w.sum, c.w.left, c.w.right, c.w.top, c.w.bottom})) << c.s;
    }
    // Grey pixels pass the Y/Cb/Cr round trip unchanged; the edges here are too weak to count,
    // so each pixel moves 64/256 of the way and stays within its 2 x 2 window.
    GreyImage src(4, 3, {30000, 30040, 30080, 30120, 30020, 30300, 30100, 30140, 30000, 30000, 30000, 30000});
    ScopedImage dst;
    CResEnhance re;
    ASSERT_EQ(re.Enhance(1.0, *src, *dst), 1);
    EXPECT_EQ(Grey(*dst), (std::vector<int>{30000, 30040, 30080, 30120, 30020, 30254, 30040, 30140, 30000, 30000,
                                             30000, 30000}));
}

TEST(ResEnhance, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Noise(1000, 900, 3)), a, b;
    {
        WorkerScope scope(0);
        CResEnhance re;
        ASSERT_EQ(re.Enhance(1.6, *src, *a), 1);
    }
    {
        WorkerScope scope(8);
        CResEnhance re;
        ASSERT_EQ(re.Enhance(1.6, *src, *b), 1);
    }
    EXPECT_TRUE(SameImage(*a, *b));
}

struct OwnedPlane {
    Plane16 p{};
    ~OwnedPlane() { FreePlane16(p); }
};

TEST(IterAntiBlur, IdentityKernelLeavesPlanesUnchanged)
{
    static const int32_t one[1] = {7};
    OwnedPlane in, out;
    ASSERT_TRUE(AllocPlane16(in.p, 9, 8));
    std::mt19937 rng(5);
    for (int i = 0; i < 72; ++i)
        in.p.data[i] = static_cast<uint16_t>(1 + rng() % 65535);
    for (int iterations : {0, 1, 30}) {
        for (int clamp : {0, 2, 3}) {
            CIterAntiBlur ab;
            ab.m_params.weights = one;
            ab.m_params.width = ab.m_params.height = 1;
            ab.m_params.divisor = 7;
            ab.m_params.iterations = 30;
            ab.m_params.clampMode = clamp;
            ab.m_kernel = {7};
            ab.FlipKernel();
            ASSERT_EQ(ab.DeconvolvePlane(in.p, out.p, iterations), 1);
            EXPECT_EQ(std::memcmp(in.p.data, out.p.data, 144), 0) << "iterations " << iterations << " clamp " << clamp;
        }
    }
}

TEST(IterAntiBlur, RefusesKernelsItCannotApply)
{
    static const int32_t w[33] = {1};
    ScopedImage src(Noise(10, 10, 1)), dst;
    struct Case { int width, height, cx, cy, divisor; };
    for (const Case& c : {Case{33, 1, 0, 0, 1}, Case{1, 33, 0, 0, 1}, Case{3, 1, 3, 0, 1}, Case{3, 1, 1, 0, 0}, Case{0, 1, 0, 0, 1}}) {
        IterAntiBlurParams p;
        p.weights = w;
        p.width = c.width;
        p.height = c.height;
        p.centreX = c.cx;
        p.centreY = c.cy;
        p.divisor = c.divisor;
        CIterAntiBlur ab;
        ab.SetSource(&*src);
        ab.SetDestination(&*dst);
        ab.SetParams(&p);
        EXPECT_EQ(ab.Run(), 0) << c.width << "x" << c.height;
    }
}

TEST(IterAntiBlur, SharpensABlurredStepWithinItsNeighbourhood)
{
    std::vector<int> ideal;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 40; ++x)
            ideal.push_back(x < 20 ? 8000 : 50000);
    GreyImage sharp(40, 12, ideal);
    ScopedImage blurred, out;
    static const int32_t box[25] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    ConvolutionKernel k{box, 25, 5, 5, 2, 2};
    ASSERT_TRUE(k.ApplyImage16(*sharp, *blurred));
    IterAntiBlurParams p;
    p.weights = box;
    p.width = p.height = 5;
    p.centreX = p.centreY = 2;
    p.divisor = 25;
    p.iterations = 30;
    p.banded = 1;
    p.clampMode = 2;
    CIterAntiBlur ab;
    ab.SetSource(&*blurred);
    ab.SetDestination(&*out);
    ab.SetParams(&p);
    ASSERT_EQ(ab.Run(), 1);
    const std::vector<int> b = Grey(*blurred), o = Grey(*out);
    int64_t errBlur = 0, errOut = 0;
    for (size_t i = 0; i < ideal.size(); ++i) {
        errBlur += std::abs(b[i] - ideal[i]);
        errOut += std::abs(o[i] - ideal[i]);
    }
    EXPECT_LT(errOut * 10, errBlur * 6) << "the edge is at least 40 % closer to the sharp one";
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 40; ++x) {
            int lo = 65535, hi = 0;
            for (int j = std::max(0, y - 2); j <= std::min(11, y + 2); ++j)
                for (int i = std::max(0, x - 2); i <= std::min(39, x + 2); ++i) {
                    lo = std::min(lo, b[j * 40 + i]);
                    hi = std::max(hi, b[j * 40 + i]);
                }
            ASSERT_GE(o[y * 40 + x], lo & ~255) << x << "," << y;
            ASSERT_LE(o[y * 40 + x], hi | 255) << x << "," << y;
        }
}

TEST(X3Enlarge, PixelHelpers)
{
    const uint64_t a = 100 | (1000ull << 16) | (40000ull << 32) | (7ull << 48);
    const uint64_t b = 200 | (0ull << 16) | (40010ull << 32) | (9ull << 48);
    const uint64_t m = BlendPixelPercent(a, b, 25);
    EXPECT_EQ(m & 0xFFFF, 125u);
    EXPECT_EQ((m >> 16) & 0xFFFF, 750u);
    EXPECT_EQ((m >> 32) & 0xFFFF, 40002u) << "10 x 25 / 100 truncates";
    EXPECT_EQ(m >> 48, 7u) << "alpha from A";

    EXPECT_FLOAT_EQ(LocalExtremumRatio(500, 400, 600, 300), 0.5f); // b < a: (hi - a) / (hi - b)
    EXPECT_FLOAT_EQ(LocalExtremumRatio(350, 400, 600, 300), 0.5f); // else (a - lo) / (b - lo)
    EXPECT_FLOAT_EQ(LocalExtremumRatio(350, 600, 600, 300), 0.01f);
    EXPECT_FLOAT_EQ(LocalExtremumRatio(700, 400, 600, 300), 0.01f) << "limited below";
}

X3EnlargeParams Plain()
{
    X3EnlargeParams p;
    p.grainAmount = p.deblurStrength = p.ridgeEnhance = p.textureEnhance = p.soften = 0;
    return p;
}

TEST(X3Enlarge, TinyAndFlatPictures)
{
    ScopedImage one(MakeImage(1, 1, [](int, int, int c) -> uint16_t { return static_cast<uint16_t>(1000 * (c + 1)); })), dst;
    CX3Enlarge x3;
    x3.m_params = Plain();
    ASSERT_EQ(x3.Enlarge(*one, *dst), 1);
    ASSERT_EQ(dst->width, 3);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(GetPixel16(*dst, i % 3, i / 3), GetPixel16(*one, 0, 0));

    ScopedImage flat(MakeImage(9, 8, [](int, int, int c) -> uint16_t { return static_cast<uint16_t>(20000 + 99 * c); }));
    CX3Enlarge full;
    full.m_params.grainAmount = 0;
    ASSERT_EQ(full.Enlarge(*flat, *dst), 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(DirectionIndex(full.Code(x, y)), 0);
            EXPECT_EQ(RidgeWeight(full.Code(x, y)), 0);
        }
    for (int y = 0; y < dst->height; ++y)
        for (int x = 0; x < dst->width; ++x)
            ASSERT_EQ(GetPixel16(*dst, x, y), GetPixel16(*dst, 0, 0)) << "flat stays flat";
}

TEST(X3Enlarge, ClassifiesEdgesAndLines)
{
    struct Case { uint16_t (*fn)(int, int, int); int direction; const char* why; };
    const Case cases[] = {
        {[](int x, int, int c) -> uint16_t { return c == 3 ? 65535 : x < 4 ? 5000 : 60000; }, 8, "vertical edge"},
        {[](int, int y, int c) -> uint16_t { return c == 3 ? 65535 : y < 4 ? 5000 : 60000; }, 0, "horizontal edge"},
        {[](int x, int y, int c) -> uint16_t { return c == 3 ? 65535 : x + y < 8 ? 5000 : 60000; }, 4, "rising diagonal"},
        {[](int x, int y, int c) -> uint16_t { return c == 3 ? 65535 : x - y < 0 ? 5000 : 60000; }, 12, "falling diagonal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedImage src(MakeImage(9, 9, c.fn));
        CX3Enlarge x3;
        ASSERT_EQ(x3.ClassifyPixels(*src), 1);
        EXPECT_EQ(DirectionIndex(x3.Code(4, 4)), c.direction);
    }
    ScopedImage line(MakeImage(9, 9, [](int, int y, int c) -> uint16_t { return c == 3 ? 65535 : y == 4 ? 60000 : 3000; }));
    CX3Enlarge x3;
    ASSERT_EQ(x3.ClassifyPixels(*line), 1);
    EXPECT_EQ(DirectionIndex(x3.Code(4, 4)), 0);
    EXPECT_GE(RidgeWeight(x3.Code(4, 4)), 12) << "a one-pixel line is a ridge";
    EXPECT_EQ(RidgeWeight(x3.Code(4, 1)), 0);
    EXPECT_EQ(BlockOrientation(x3.Code(4, 4)), 2) << "the line's blocks are horizontal";
}

TEST(X3Enlarge, AlphaIsPlainAndGrainStaysSmall)
{
    ScopedImage src(Noise(8, 7, 21));
    ScopedImage withGrain, without;
    SeedAlgorithmRand(77);
    CX3Enlarge a, b;
    b.m_params.grainAmount = 0;
    ASSERT_EQ(a.Enlarge(*src, *withGrain), 1);
    ASSERT_EQ(b.Enlarge(*src, *without), 1);
    // Alpha of the inner pixel (3, 3): the plain 3x formulas whatever the other steps did.
    auto alpha = [&](int x, int y) { return static_cast<int>(Row16(*src, y)[x * 4 + 3]); };
    const int p = alpha(3, 3), N = alpha(3, 2), W = alpha(2, 3), NW = alpha(2, 2);
    EXPECT_EQ(Row16(*withGrain, 9)[10 * 4 + 3], (2 * p + N) / 3);
    EXPECT_EQ(Row16(*withGrain, 10)[9 * 4 + 3], (2 * p + W) / 3);
    EXPECT_EQ(Row16(*withGrain, 9)[9 * 4 + 3], (NW + 2 * (W + 2 * p + N)) / 9);
    EXPECT_EQ(Row16(*withGrain, 10)[10 * 4 + 3], p);

    RgbToYCbCr16(*withGrain);
    RgbToYCbCr16(*without);
    int maxDiff = 0, changed = 0;
    for (size_t i = 0; i < PixelCount(*without); ++i) {
        const int d = std::abs(Pixels16(*withGrain)[i * 4 + 2] - Pixels16(*without)[i * 4 + 2]);
        maxDiff = std::max(maxDiff, d);
        changed += d > 8;
    }
    EXPECT_LE(maxDiff, 330 + 8) << "grain 32 is at most 330 on the luminance (plus conversion rounding)";
    EXPECT_GT(changed, 0);
}

TEST(X2Enlarge, OneBandEqualsTriplingThenAreaAveraging)
{
    ScopedImage src(Noise(13, 20, 4)), dst, tripled, expect;
    C2XEnlarge x2;
    x2.SetSource(&*src);
    x2.SetDestination(&*dst);
    ASSERT_EQ(x2.Run(), 1);
    ASSERT_EQ(dst->width, 26);
    ASSERT_EQ(dst->height, 40);
    SeedAlgorithmRand(x2.m_grainSeed);
    CX3Enlarge x3;
    x3.m_params.grainAmount = 40;
    CImageSize area;
    area.m_params.sharpenAmount = 50;
    ASSERT_EQ(x3.Enlarge(*src, *tripled), 1);
    ASSERT_EQ(area.AreaAverage(*tripled, *expect, 26, 40), 1);
    EXPECT_TRUE(SameImage(*dst, *expect));
}

TEST(X2Enlarge, BandsGiveTheSameResultWithAndWithoutHelpers)
{
    ScopedImage src(Noise(16, 260, 9)), a, b;
    {
        WorkerScope scope(0);
        C2XEnlarge x2;
        x2.SetSource(&*src);
        x2.SetDestination(&*a);
        ASSERT_EQ(x2.Run(), 1);
    }
    {
        WorkerScope scope(8);
        C2XEnlarge x2;
        x2.SetSource(&*src);
        x2.SetDestination(&*b);
        ASSERT_EQ(x2.Run(), 1);
    }
    EXPECT_EQ(a->width, 32);
    EXPECT_EQ(a->height, 520);
    EXPECT_TRUE(SameImage(*a, *b));
}

} // namespace
