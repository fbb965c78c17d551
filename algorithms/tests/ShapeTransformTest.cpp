#include "algorithms/ShapeTransform.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

uint16_t Ramp(int x, int y, int c)
{
    return static_cast<uint16_t>(c == 3 ? 65535 : 400 * x + 200 * y + 11 * c);
}

ShapeTransformParams Quad(std::array<int, 8> corners, int w, int h, int step = 1)
{
    ShapeTransformParams p;
    InitShapeTransformParams(p);
    p.x0 = corners[0], p.y0 = corners[1], p.x1 = corners[2], p.y1 = corners[3];
    p.x2 = corners[4], p.y2 = corners[5], p.x3 = corners[6], p.y3 = corners[7];
    p.outputWidth = w;
    p.outputHeight = h;
    p.step = static_cast<uint8_t>(step);
    return p;
}

const uint16_t* Px(const ImageBuffer16& img, int x, int y)
{
    return Row16(img, y) + x * 4;
}

TEST(ShapeTransform, IntersectLinesRoundsAndRefusesParallels)
{
    struct Case {
        double a1, b1, c1, a2, b2, c2;
        QuadPoint want;
    };
    const Case cases[] = {
        {1, 0, -3, 0, 1, -4, {3, 4}},            // x = 3 and y = 4
        {0, 1, -4, 1, 0, -3, {3, 4}},            // first line horizontal: x from the second
        {1, -1, 0, 1, 1, -5, {3, 3}},            // y = x and x + y = 5 cross at 2.5: half rounds up
        {1, 0, 2.7, 0, 1, 2.5, {-2, -2}},        // -2.7 + 0.5 and -2.5 + 0.5 truncate toward zero
        {1, 2, 3, 2, 4, 1, kNoCrossing},         // parallel
        {1, 0, 0, 1, 0.00001, 5, kNoCrossing},   // nearly parallel
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntersectLines(c.a1, c.b1, c.c1, c.a2, c.b2, c.c2), c.want) << c.a1 << " " << c.b1 << " " << c.c1;
}

TEST(ShapeTransform, RectangleOfTheSourceSizeReproducesTheSource)
{
    // A unit-step square and a larger rectangle: both exponents exactly 1, every pixel itself.
    for (auto [w, h] : {std::pair{3, 3}, {101, 81}}) {
        ScopedImage src(MakeImage(w, h, Ramp)), dst;
        CShapeTransform t;
        ASSERT_EQ(t.TransformImage(*src, *dst, Quad({0, 0, w - 1, 0, 0, h - 1, w - 1, h - 1}, w, h)), 1);
        EXPECT_EQ(t.m_pH, 1.0);
        EXPECT_EQ(t.m_pV, 1.0);
        EXPECT_FALSE(t.m_v1Usable);
        EXPECT_FALSE(t.m_v2Usable);
        EXPECT_EQ(t.m_M, (QuadPoint{w / 2, h / 2}));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // The four samples lie within a quarter pixel: within a quarter of a step.
                const uint16_t* d = Px(*dst, x, y);
                const uint16_t* s = Px(*src, x, y);
                ASSERT_EQ(d[3], 65535) << x << "," << y;
                ASSERT_NEAR(d[0], s[0], 400 / 4 + 200 / 4 + 2) << x << "," << y;
                if (x == w - 1 && y == h - 1) {
                    ASSERT_EQ(d[0], s[0]);
                }
            }
    }
}

TEST(ShapeTransform, UniformSourceFillsTheQuadAndNothingElse)
{
    ScopedImage src(MakeImage(64, 48, [](int, int, int c) -> uint16_t { return c == 3 ? 65535 : 20000 + c; }));
    struct Case {
        const char* name;
        std::array<int, 8> corners;
        bool angleV, angleH;
    };
    const Case cases[] = {
        {"turned square", {100, 20, 180, 100, 20, 100, 100, 180}, false, false},
        {"trapezoid", {50, 30, 150, 30, 20, 170, 180, 170}, false, true},
        {"slanted bottom", {30, 30, 170, 30, 30, 150, 170, 190}, true, false},
    };
    for (const Case& c : cases) {
        ScopedImage dst;
        CShapeTransform t;
        ASSERT_EQ(t.TransformImage(*src, *dst, Quad(c.corners, 200, 200)), 1) << c.name;
        EXPECT_EQ(t.m_v1Usable, c.angleV) << c.name;
        EXPECT_EQ(t.m_v2Usable, c.angleH) << c.name;
        // Exactly transparent black outside, the colour inside.
        for (auto [x, y] : {std::pair{0, 0}, {199, 0}, {0, 199}, {199, 199}})
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(Px(*dst, x, y)[k], 0) << c.name;
        const uint16_t* m = Px(*dst, t.m_M.x, t.m_M.y);
        EXPECT_EQ(m[0], 20000) << c.name;
        EXPECT_EQ(m[2], 20002) << c.name;
        EXPECT_EQ(m[3], 65535) << c.name;
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(Px(*dst, c.corners[0], c.corners[1])[k], Px(*src, 0, 0)[k]) << c.name;
    }
}

TEST(ShapeTransform, DiagonalCrossingSamplesTheSourceCentre)
{
    ScopedImage src(MakeImage(101, 81, Ramp)), dst;
    CShapeTransform t;
    ASSERT_EQ(t.TransformImage(*src, *dst, Quad({40, 10, 160, 30, 10, 180, 190, 150}, 200, 200)), 1);
    const uint16_t* m = Px(*dst, t.m_M.x, t.m_M.y);
    EXPECT_NEAR(m[0], Ramp(50, 40, 0), 1200);
    // The corners carry the source corners.
    EXPECT_NEAR(Px(*dst, 190, 150)[0], Ramp(100, 80, 0), 1200);
    EXPECT_NEAR(Px(*dst, 160, 30)[0], Ramp(100, 0, 0), 1200);
}

TEST(ShapeTransform, RefusedQuadsLeaveAClearedDestination)
{
    ScopedImage src(MakeImage(20, 10, Ramp));
    struct Case {
        const char* name;
        ShapeTransformParams p;
        bool allocated;
    };
    const Case cases[] = {
        {"bow tie", Quad({0, 0, 100, 0, 100, 80, 0, 80}, 101, 81), true},
        {"crossing outside", Quad({0, 0, 10, 0, 0, 10, 10, 10}, 5, 5), true},
        {"all corners equal", Quad({5, 5, 5, 5, 5, 5, 5, 5}, 20, 20), true},
        {"collinear", Quad({0, 0, 10, 0, 20, 0, 30, 0}, 40, 40), true},
        {"step 0", Quad({0, 0, 19, 0, 0, 9, 19, 9}, 20, 10, 0), false},
        {"no width", Quad({0, 0, 19, 0, 0, 9, 19, 9}, 0, 10), false},
        {"negative height", Quad({0, 0, 19, 0, 0, 9, 19, 9}, 20, -3), false},
    };
    for (const Case& c : cases) {
        ScopedImage dst(MakeImage(3, 3, Ramp));
        CShapeTransform t;
        EXPECT_EQ(t.TransformImage(*src, *dst, c.p), 0) << c.name;
        if (c.allocated) {
            ASSERT_EQ(dst->width, c.p.outputWidth) << c.name;
            for (size_t i = 0; i < PixelCount(*dst) * 4; ++i)
                ASSERT_EQ(Pixels16(*dst)[i], 0) << c.name;
        } else {
            EXPECT_EQ(dst->width, 3) << c.name;
        }
    }
}

TEST(ShapeTransform, NarrowSourcesStayInside)
{
    for (auto [w, h] : {std::pair{1, 1}, {1, 30}, {30, 1}, {2, 2}}) {
        ScopedImage src(MakeImage(w, h, Ramp)), dst;
        CShapeTransform t;
        ASSERT_EQ(t.TransformImage(*src, *dst, Quad({0, 0, 40, 0, 0, 30, 40, 30}, 41, 31)), 1) << w << "x" << h;
        EXPECT_EQ(Px(*dst, 40, 30)[0], Px(*src, w - 1, h - 1)[0]);
    }
}

TEST(ShapeTransform, PreviewStepReplicatesBlocksWithoutProgress)
{
    WorkerScope scope(0, false);
    ScopedImage src(Noise(50, 40, 2)), coarse, fine;
    CShapeTransform a;
    ASSERT_EQ(a.TransformImage(*src, *coarse, Quad({3, 5, 290, 0, 0, 340, 299, 349}, 300, 350, 4)), 1);
    for (int y = 0; y < 350; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(std::memcmp(Px(*coarse, x, y), Px(*coarse, x - x % 4, y - y % 4), 8), 0) << x << "," << y;
    EXPECT_TRUE(scope.host.Pump().empty());
    CShapeTransform b;
    ASSERT_EQ(b.TransformImage(*src, *fine, Quad({3, 5, 290, 0, 0, 340, 299, 349}, 300, 350, 1)), 1);
    std::vector<int> got;
    for (auto& m : scope.host.Pump())
        got.push_back(m.p1);
    EXPECT_EQ(got, (std::vector<int>{28, 57, 85}));
}

TEST(ShapeTransform, RunReadsTheRecordAndHelpersDoNotChangeTheResult)
{
    ScopedImage src(Noise(700, 500, 9));
    ScopedImage out[2][2];
    const ShapeTransformParams params[2] = {Quad({100, 40, 1100, 0, 0, 900, 1200, 950}, 1201, 951, 1),
                                            Quad({100, 40, 1100, 0, 0, 900, 1200, 950}, 1201, 951, 3)};
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        for (int i = 0; i < 2; ++i) {
            CShapeTransform t;
            t.SetSource(&*src);
            t.SetDestination(&*out[k][i]);
            t.SetParams(&params[i]);
            ASSERT_EQ(t.Run(), 1);
        }
    }
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(SameImage(*out[0][i], *out[1][i])) << i;
}

} // namespace
