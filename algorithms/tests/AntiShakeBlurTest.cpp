#include "algorithms/AntiShakeBlur.h"
#include "algorithms/ImageSize.h"
#include "algorithms/tests/RestoreTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Dot {
    int x, y; // top-left of a 6 x 6 bright square
};

// Dark picture with a soft texture and bright 6 x 6 dots, smeared horizontally by a box of
// `shake` pixels (1 = sharp).
ImageBuffer16 Scene(int w, int h, const std::vector<Dot>& dots, int shake)
{
    std::vector<int> base(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = 3000 + 1500 * ((x / 16 + y / 16) % 2);
            for (const Dot& d : dots)
                if (x >= d.x && x < d.x + 6 && y >= d.y && y < d.y + 6)
                    v = 60000;
            base[static_cast<size_t>(y) * w + x] = v;
        }
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int64_t s = 0;
            for (int k = 0; k < shake; ++k)
                s += base[static_cast<size_t>(y) * w + std::clamp(x - shake / 2 + k, 0, w - 1)];
            uint16_t* p = Row16(img, y) + x * 4;
            p[0] = p[1] = p[2] = static_cast<uint16_t>(s / shake);
            p[3] = 65535;
        }
    return img;
}

int RunAS(ImageBuffer16& src, ImageBuffer16& dst, int helpers = 0)
{
    WorkerScope scope(helpers);
    CAntiShakeBlur a;
    a.SetSource(&src);
    a.SetDestination(&dst);
    return a.Run();
}

TEST(AntiShakeBlur, WhenThereIsNothingToGoBy)
{
    struct Case { int w, h; std::vector<Dot> dots; int result; bool unchanged; };
    const Case cases[] = {
        {300, 240, {}, 0, false},                          // uniform texture: no point
        {300, 240, {{12, 120}}, 0, false},                 // the only point is too near the border
        {300, 240, {{120, 12}}, 0, false},
        {300, 120, {{102, 60}, {198, 54}}, 1, true},       // lower than one tile: unchanged
        {11, 5, {}, 0, false},                             // too small to reduce
        {300, 240, {{102, 108}}, 1, false},
    };
    for (const Case& c : cases) {
        ScopedImage src(Scene(c.w, c.h, c.dots, 1)), dst;
        EXPECT_EQ(RunAS(*src, *dst), c.result) << c.w << "x" << c.h << " dots " << c.dots.size();
        if (c.result && c.unchanged) {
            EXPECT_TRUE(SameImage(*src, *dst));
        }
    }
}

TEST(AntiShakeBlur, PointsAndKernel)
{
    ScopedImage src(Scene(300, 240, {{102, 108}, {198, 60}}, 5));
    CAntiShakeBlur a;
    Plane8 sixth{}, half{}, full{};
    ImageBuffer16 tmp{};
    CImageSize sizer;
    ASSERT_TRUE(sizer.AreaAverage(*src, tmp, 50, 40));
    ASSERT_TRUE(ConvertImage16ToGrey8(tmp, sixth));
    a.FindPoints(sixth);
    ASSERT_FALSE(a.m_points.empty());
    for (const ShakePoint& p : a.m_points) {
        EXPECT_TRUE(p.bright);
        EXPECT_EQ((p.x - 3) % 6, 0);
    }
    ASSERT_TRUE(sizer.AreaAverage(*src, tmp, 150, 120));
    ASSERT_TRUE(ConvertImage16ToGrey8(tmp, half));
    a.RefinePoints(half, 300, 240);
    ASSERT_FALSE(a.m_points.empty());
    for (const ShakePoint& p : a.m_points) {
        const bool nearDot = (std::abs(p.x - 105) <= 6 && std::abs(p.y - 111) <= 6) || (std::abs(p.x - 201) <= 6 && std::abs(p.y - 63) <= 6);
        EXPECT_TRUE(nearDot) << p.x << "," << p.y;
        EXPECT_GT(p.extreme, p.other);
    }
    ASSERT_TRUE(ConvertImage16ToGrey8(*src, full));
    ASSERT_EQ(a.EstimateKernel(full), 1);
    double sum = 0;
    int cells = 0;
    for (double v : a.m_kernel) {
        sum += v;
        cells += v > 0;
        ASSERT_GE(v, 0);
    }
    EXPECT_NEAR(sum, 1.0, 1e-9);
    EXPECT_GT(cells, 0);
    EXPECT_LE(cells, 77) << "the threshold keeps about 76 cells";
    // The smear is horizontal: the kernel is wider than it is tall.
    int minX = 48, maxX = -1, minY = 48, maxY = -1;
    for (int i = 0; i < 48 * 48; ++i)
        if (a.m_kernel[i] > 0)
            minX = std::min(minX, i % 48), maxX = std::max(maxX, i % 48), minY = std::min(minY, i / 48), maxY = std::max(maxY, i / 48);
    EXPECT_GT(maxX - minX, maxY - minY);
    FreeImageBuffer(tmp);
    FreePlane8(sixth);
    FreePlane8(half);
    FreePlane8(full);
}

double Sharpness(const ImageBuffer16& img)
{
    double s = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 1; x < img.width; ++x) {
            const double d = double(SrgbEncodeTable[Row16(img, y)[x * 4 + 1]]) - SrgbEncodeTable[Row16(img, y)[(x - 1) * 4 + 1]];
            s += d * d;
        }
    return s;
}

TEST(AntiShakeBlur, SharpensAndKeepsAlpha)
{
    std::vector<Dot> dots;
    for (int y = 40; y < 300; y += 70)
        for (int x = 40; x < 360; x += 80)
            dots.push_back({x, y});
    ScopedImage src(Scene(400, 330, dots, 7)), dst;
    ASSERT_EQ(RunAS(*src, *dst), 1);
    EXPECT_GT(Sharpness(*dst), 1.2 * Sharpness(*src));
    for (size_t i = 0; i < PixelCount(*src); ++i)
        ASSERT_EQ(Pixels16(*dst)[i * 4 + 3], Pixels16(*src)[i * 4 + 3]);
    // The last rows (in the last, short band) are deblurred too.
    bool lastRowsChanged = false;
    for (int y = 320; y < 330; ++y)
        for (int x = 0; x < 400; ++x)
            lastRowsChanged = lastRowsChanged || GetPixel16(*dst, x, y) != GetPixel16(*src, x, y);
    EXPECT_TRUE(lastRowsChanged);
}

TEST(AntiShakeBlur, HelpersDoNotChangeTheResult)
{
    std::vector<Dot> dots;
    for (int y = 60; y < 900; y += 150)
        for (int x = 60; x < 980; x += 170)
            dots.push_back({x, y});
    ScopedImage src(Scene(1000, 920, dots, 5)), a, b;
    ASSERT_EQ(RunAS(*src, *a, 0), 1);
    ASSERT_EQ(RunAS(*src, *b, 8), 1);
    EXPECT_TRUE(SameImage(*a, *b));
}

} // namespace
