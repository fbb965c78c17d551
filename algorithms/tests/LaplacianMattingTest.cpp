#include "algorithms/LaplacianMatting.h"
#include "algorithms/RecordCopy.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Matte {
    Plane16 alpha{};
    Plane8 known{};
    Matte(int w, int h)
    {
        EXPECT_TRUE(AllocPlane16(alpha, w, h));
        EXPECT_TRUE(AllocPlane8(known, w, h));
        std::fill_n(PlaneData16(alpha), size_t(w) * h, 0);
        std::fill_n(PlaneData8(known), size_t(w) * h, 255);
    }
    ~Matte()
    {
        FreePlane16(alpha);
        FreePlane8(known);
    }
    uint16_t& A(int x, int y) { return PlaneData16(alpha)[size_t(y) * alpha.width + x]; }
    uint8_t& K(int x, int y) { return PlaneData8(known)[size_t(y) * known.width + x]; }
};

template <class Alg>
int Relax(Alg& alg, ImageBuffer16* guide, Matte& m, int iterations, int single = 0)
{
    LaplacianMattingParams p;
    p.guide = guide;
    p.alpha = &m.alpha;
    p.known = &m.known;
    p.iterations = iterations;
    p.singleWindow = single;
    alg.SetSource(guide);
    alg.SetParams(&p);
    return alg.Run();
}

TEST(LaplacianMatting, FlatGuideWeightsCountSharedWindows)
{
    ScopedImage flat(MakeImage(9, 9, [](int, int, int) -> uint16_t { return 30000; }));
    Matte m(9, 9);
    m.K(4, 4) = 0;
    CLaplasianMattingOptimize alg;
    LaplacianMattingParams p;
    p.guide = &*flat, p.alpha = &m.alpha, p.known = &m.known, p.iterations = 1;
    alg.SetParams(&p);
    // On a flat guide each shared window adds -1/9 (and the pixel's own 1 - 1/9).
    CopyRecordAtMost(alg.m_params, &p);
    ASSERT_TRUE(alg.CountUnknown());
    ASSERT_TRUE(alg.BuildWeights());
    const int16_t want[25] = {-110, -221, -332, -221, -110, -221, -443, -666, -443, -221, -332, -666, 8000,
                              -666, -332, -221, -443, -666, -443, -221, -110, -221, -332, -221, -110};
    const int16_t* w = alg.WeightsAt(4, 4);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::vector<int16_t>(w, w + 25), std::vector<int16_t>(want, want + 25));
    EXPECT_EQ(alg.WeightsAt(0, 0), nullptr);
}

TEST(LaplacianMatting, SweepTakesTheWeightedMeanAndKnownPixelsStay)
{
    ScopedImage flat(MakeImage(9, 9, [](int, int, int) -> uint16_t { return 30000; }));
    struct Case {
        int left, right; // known alpha of the columns left of 4 and from 4 on
        uint16_t want;
    };
    // Weights of the left columns: -110-221-332-221-110 + -221-443-666-443-221 = -2988 of -7972
    // in all; the centre column's own neighbours -332-666-666-332 = -1996 take the right value.
    for (const Case& c : {Case{1000, 1000, 1000}, Case{0, 65535, uint16_t((int64_t(-4984) * 65535 + -3986) / -7972)},
                          Case{65535, 0, uint16_t((int64_t(-2988) * 65535 + -3986) / -7972)}}) {
        Matte m(9, 9);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
                m.A(x, y) = x < 4 ? c.left : c.right;
        m.K(4, 4) = 0;
        m.A(4, 4) = 777;
        CLaplasianMattingOptimize alg;
        ASSERT_EQ(Relax(alg, &*flat, m, 1), 1);
        EXPECT_EQ(m.A(4, 4), c.want) << c.left << " " << c.right;
        EXPECT_EQ(m.A(3, 4), c.left);
    }
}

TEST(LaplacianMatting, NothingToSolveOrNoSweepsLeavesAlpha)
{
    ScopedImage guide(Noise(12, 10, 3));
    for (int variant = 0; variant < 3; ++variant) {
        Matte m(12, 10);
        for (int i = 0; i < 120; ++i)
            PlaneData16(m.alpha)[i] = uint16_t(i * 500);
        if (variant > 0)
            m.K(5, 5) = 0;
        const int iterations = variant == 0 ? 5 : 0;
        CLaplasianMattingOptimize a;
        CDoubleLaplacian b;
        ASSERT_EQ(variant == 2 ? Relax(b, &*guide, m, iterations) : Relax(a, &*guide, m, iterations), 1);
        for (int i = 0; i < 120; ++i)
            ASSERT_EQ(PlaneData16(m.alpha)[i], uint16_t(i * 500)) << variant;
    }
}

TEST(LaplacianMatting, RefusesMissingGuideAndMismatchedPlanes)
{
    ScopedImage guide(Noise(12, 10, 3)), other(Noise(11, 10, 3));
    Matte m(12, 10);
    m.K(3, 3) = 0;
    CLaplasianMattingOptimize a, b;
    CDoubleLaplacian c;
    EXPECT_EQ(Relax(a, nullptr, m, 3), 0);
    EXPECT_EQ(Relax(b, &*other, m, 3), 0);
    EXPECT_EQ(Relax(c, nullptr, m, 3), 0);
}

// A red disc on blue; known inside and outside a ring around its edge, the ring unknown.
struct DiscScene {
    static constexpr int kSize = 64, kCx = 32, kCy = 30;
    static constexpr double kR = 17;
    ScopedImage guide{MakeImage(kSize, kSize, [](int x, int y, int c) -> uint16_t {
        const bool in = std::hypot(x - kCx, y - kCy) < kR;
        return c == 3 ? 65535 : (c == 2 ? (in ? 50000 : 3000) : (c == 0 ? (in ? 4000 : 45000) : 9000));
    })};
    Matte m{kSize, kSize};
    DiscScene()
    {
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const double r = std::hypot(x - kCx, y - kCy);
                const bool unknown = std::fabs(r - kR) < 4;
                m.K(x, y) = unknown ? 0 : 255;
                m.A(x, y) = unknown ? 32768 : (r < kR ? 65535 : 0);
            }
    }
};

TEST(LaplacianMatting, DrawnDiscWithTrimapFollowsTheEdge)
{
    for (int version = 0; version < 2; ++version) {
        DiscScene s;
        CLaplasianMattingOptimize a;
        CDoubleLaplacian b;
        ASSERT_EQ(version == 0 ? Relax(a, &*s.guide, s.m, 60) : Relax(b, &*s.guide, s.m, 60), 1);
        int wrong = 0, total = 0;
        for (int y = 0; y < s.kSize; ++y)
            for (int x = 0; x < s.kSize; ++x) {
                if (s.m.K(x, y) == 255)
                    continue;
                const double r = std::hypot(x - s.kCx, y - s.kCy);
                ++total;
                // Inside the disc's edge alpha rises to most of the way, outside it falls.
                if ((r < s.kR - 1 && s.m.A(x, y) < 52000) || (r > s.kR + 1 && s.m.A(x, y) > 13000))
                    ++wrong;
            }
        EXPECT_GT(total, 300);
        EXPECT_LE(wrong, total / 20) << version;
    }
}

TEST(LaplacianMatting, HelpersDoNotChangeTheResult)
{
    ScopedImage guide(Noise(900, 700, 12));
    std::vector<uint16_t> out[2][2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        for (int v = 0; v < 2; ++v) {
            Matte m(900, 700);
            for (int y = 0; y < 700; ++y)
                for (int x = 0; x < 900; ++x) {
                    m.K(x, y) = (x / 7 + y / 5) % 3 ? 0 : 255;
                    m.A(x, y) = uint16_t((x * 73 + y * 31) & 0xFFFF);
                }
            CLaplasianMattingOptimize a;
            CDoubleLaplacian b;
            ASSERT_EQ(v == 0 ? Relax(a, &*guide, m, 3) : Relax(b, &*guide, m, 3), 1);
            out[k][v].assign(PlaneData16(m.alpha), PlaneData16(m.alpha) + 900 * 700);
        }
    }
    EXPECT_EQ(out[0][0], out[1][0]);
    EXPECT_EQ(out[0][1], out[1][1]);
}

} // namespace
