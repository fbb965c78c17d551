#include "algorithms/FreeRotate.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

uint16_t Grid(int x, int y, int c)
{
    return static_cast<uint16_t>(c == 3 ? 65535 : 1000 * x + 37 * y + 7 * c);
}

template <class Alg, class Params>
int RunOn(ImageBuffer16& src, ImageBuffer16& dst, const Params& p)
{
    Alg alg;
    alg.SetSource(&src);
    alg.SetDestination(&dst);
    alg.SetParams(&p);
    return alg.Run();
}

int Rotate(ImageBuffer16& src, ImageBuffer16& dst, double angle, int crop = 0)
{
    RotateParams p;
    p.angle = angle;
    p.cropToOpaque = crop;
    return RunOn<CRotate>(src, dst, p);
}

int Barrel(ImageBuffer16& src, ImageBuffer16& dst, double k, int crop = 0)
{
    BarrelDistortParams p;
    p.coefficient = k;
    p.cropToOpaque = crop;
    return RunOn<CBarrelDistort>(src, dst, p);
}

const uint16_t* Px(const ImageBuffer16& img, int x, int y)
{
    return Row16(img, y) + x * 4;
}

TEST(FreeRotate, QuarterAndHalfTurnsMoveEveryPixelExactly)
{
    constexpr double pi = std::numbers::pi;
    struct Case {
        double angle;
        int w, h; // canvas
        std::function<std::pair<int, int>(int j, int i)> from; // canvas -> source pixel
    };
    // 40 x 30 source; a clockwise turn takes the top-left corner to the top-right.
    const Case cases[] = {
        {pi / 2, 30, 40, [](int j, int i) { return std::pair{i, 29 - j}; }},
        {-pi / 2, 30, 40, [](int j, int i) { return std::pair{39 - i, j}; }},
        {pi, 40, 30, [](int j, int i) { return std::pair{39 - j, 29 - i}; }},
    };
    // Transparent areas come out opaque with their stored colours.
    ScopedImage src(MakeImage(40, 30, [](int x, int y, int c) -> uint16_t {
        return c == 3 ? ((x + y) % 3 == 0 ? 0 : 4000) : Grid(x, y, c);
    }));
    for (const Case& c : cases) {
        ScopedImage dst;
        ASSERT_EQ(Rotate(*src, *dst, c.angle), 1);
        ASSERT_EQ(dst->width, c.w);
        ASSERT_EQ(dst->height, c.h);
        for (int i = 0; i < c.h; ++i)
            for (int j = 0; j < c.w; ++j) {
                auto [x, y] = c.from(j, i);
                const uint16_t* d = Px(*dst, j, i);
                ASSERT_EQ(d[3], 0xFFFF) << c.angle << " " << j << "," << i;
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(d[ch], Grid(x, y, ch)) << c.angle << " " << j << "," << i;
            }
    }
}

TEST(FreeRotate, SmallTurnCoverageAndCrop)
{
    ScopedImage src(MakeImage(120, 80, Grid));
    const double a = 10 * std::numbers::pi / 180;
    ScopedImage turned, cropped;
    ASSERT_EQ(Rotate(*src, *turned, a), 1);
    EXPECT_EQ(turned->width, static_cast<int>(120 * std::cos(a) + 80 * std::sin(a)));
    EXPECT_EQ(turned->height, static_cast<int>(80 * std::cos(a) + 120 * std::sin(a)));
    // Corners of the canvas lie outside the turned picture, its middle inside.
    EXPECT_EQ(Px(*turned, 0, 0)[3], 0);
    EXPECT_EQ(Px(*turned, turned->width - 1, turned->height - 1)[3], 0);
    EXPECT_EQ(Px(*turned, turned->width / 2, turned->height / 2)[3], 0xFFFF);

    ASSERT_EQ(Rotate(*src, *cropped, a, 1), 1);
    const int W = cropped->width, H = cropped->height;
    EXPECT_LT(W, 120);
    EXPECT_LT(H, 80);
    EXPECT_GT(W, 80);
    EXPECT_NEAR(double(W) / H, double(turned->width) / turned->height, 0.05);
    for (auto [x, y] : {std::pair{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}})
        EXPECT_GT(Px(*cropped, x, y)[3], 0) << x << "," << y;
}

TEST(FreeRotate, ZeroAngleAndZeroCoefficientCopyEvenWithCrop)
{
    ScopedImage src(Noise(31, 17, 3));
    ScopedImage a, b;
    ASSERT_EQ(Rotate(*src, *a, 0.0, 1), 1);
    EXPECT_TRUE(SameImage(*src, *a));
    ASSERT_EQ(Barrel(*src, *b, 0.0, 1), 1);
    EXPECT_TRUE(SameImage(*src, *b));
}

TEST(FreeRotate, DegenerateInputs)
{
    ScopedImage empty, dst, one(MakeImage(50, 1, Grid)), pix(MakeImage(1, 1, Grid));
    EXPECT_EQ(Rotate(*empty, *dst, 0.5), 0);
    EXPECT_EQ(Barrel(*empty, *dst, 0.5), 0);
    ScopedImage src(MakeImage(10, 10, Grid));
    EXPECT_EQ(Rotate(*src, *dst, std::nan("")), 0);
    EXPECT_EQ(Rotate(*src, *dst, INFINITY), 0);
    EXPECT_EQ(Barrel(*src, *dst, std::nan("")), 0);
    // One row, one pixel: turned and cropped without reading outside.
    for (ImageBuffer16* img : {&*one, &*pix})
        for (int crop : {0, 1}) {
            ScopedImage out;
            ASSERT_EQ(Rotate(*img, *out, 0.7, crop), 1);
            EXPECT_GE(out->width, 1);
            EXPECT_GE(out->height, 1);
            ScopedImage out2;
            ASSERT_EQ(Barrel(*img, *out2, -0.6, crop), 1);
            EXPECT_GE(out2->width, 1);
        }
}

TEST(FreeRotate, RecordLongerThanItsOwnSizeReadsOnlyItsFields)
{
    uint8_t bytes[64] = {};
    RotateParams p;
    p.size = 60;
    p.angle = std::numbers::pi;
    std::memcpy(bytes, &p, sizeof p);
    std::memset(bytes + 24, 0xAB, 40);
    ScopedImage src(MakeImage(8, 6, Grid)), dst;
    ASSERT_EQ(RunOn<CRotate>(*src, *dst, *reinterpret_cast<RotateParams*>(bytes)), 1);
    EXPECT_EQ(Px(*dst, 0, 0)[0], Grid(7, 5, 0));
}

TEST(BarrelDistort, CornersStayForPositiveAndEdgesEmptyForNegative)
{
    ScopedImage src(MakeImage(400, 300, Grid));
    ScopedImage pos, neg, negCrop, big;
    ASSERT_EQ(Barrel(*src, *pos, 1.0), 1);
    ASSERT_EQ(pos->width, 400);
    ASSERT_EQ(pos->height, 300);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            ASSERT_GT(Px(*pos, x, y)[3], 0) << x << "," << y;
    // The corners map onto themselves.
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_NEAR(Px(*pos, 0, 0)[ch], Grid(0, 0, ch), 300);
    // The centre keeps its place.
    EXPECT_EQ(Px(*pos, 200, 150)[0], Grid(200, 150, 0));
    // A stored coefficient past the dialog's range acts as its end.
    ASSERT_EQ(Barrel(*src, *big, 7.0), 1);
    EXPECT_TRUE(SameImage(*pos, *big));

    ASSERT_EQ(Barrel(*src, *neg, -1.0), 1);
    for (auto [x, y] : {std::pair{200, 0}, {200, 299}, {0, 150}, {399, 150}})
        EXPECT_EQ(Px(*neg, x, y)[3], 0) << x << "," << y;
    for (auto [x, y] : {std::pair{0, 0}, {399, 0}, {0, 299}, {399, 299}})
        EXPECT_EQ(Px(*neg, x, y)[3], 0xFFFF) << x << "," << y;

    ASSERT_EQ(Barrel(*src, *negCrop, -1.0, 1), 1);
    const int W = negCrop->width, H = negCrop->height;
    EXPECT_LT(W, 400);
    EXPECT_NEAR(double(W) / H, 4.0 / 3, 0.05);
    for (auto [x, y] : {std::pair{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}, {W / 2, 0}, {0, H / 2},
                        {W - 1, H / 2}, {W / 2, H - 1}})
        EXPECT_GT(Px(*negCrop, x, y)[3], 0) << x << "," << y;
}

TEST(BarrelDistort, ProgressEveryTenthRowThenDone)
{
    WorkerScope scope(0, false);
    ScopedImage src(MakeImage(20, 300, Grid)), dst;
    ASSERT_EQ(Barrel(*src, *dst, 0.3), 1);
    std::vector<int> got, want;
    for (auto& m : scope.host.Pump())
        got.push_back(m.p1);
    for (int i = 10; i < 300; i += 10)
        want.push_back(i * 90 / 300);
    want.push_back(100);
    EXPECT_EQ(got, want);
    ASSERT_EQ(Rotate(*src, *dst, 0.3), 1);
    got.clear();
    for (auto& m : scope.host.Pump())
        got.push_back(m.p1);
    EXPECT_EQ(got, (std::vector<int>{5, 90, 100}));
}

TEST(FreeRotate, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Noise(1100, 900, 8));
    ScopedImage out[2][4];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        ASSERT_EQ(Rotate(*src, *out[k][0], 0.3), 1);
        ASSERT_EQ(Rotate(*src, *out[k][1], -2.0, 1), 1);
        ASSERT_EQ(Barrel(*src, *out[k][2], 0.45), 1);
        ASSERT_EQ(Barrel(*src, *out[k][3], -0.7, 1), 1);
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(SameImage(*out[0][i], *out[1][i])) << i;
}

} // namespace
