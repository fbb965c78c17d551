#include "algorithms/ShakeMap.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

struct Picture8 {
    ImageBuffer8 img{};
    Picture8(int w, int h, const std::function<uint8_t(int x, int y)>& grey)
    {
        EXPECT_TRUE(AllocImage8(img, w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t v = grey(x, y);
                uint8_t* p = img.data + (size_t(y) * w + x) * 4;
                p[0] = p[1] = p[2] = v;
                p[3] = 255;
            }
    }
    ~Picture8() { FreeImageBuffer(img); }
};

// A fixed random scene over a large plane, read at any position: every photo of the "scene" is
// a window onto it. Blobs on a 16-pixel grid give the coarse structure a shift search needs,
// fine grain the detail the blocks match on.
uint8_t Scene(double x, double y)
{
    constexpr int kN = 2048;
    static const std::vector<uint8_t> coarse = [] {
        std::vector<uint8_t> t(kN / 16 * kN / 16);
        std::mt19937 rng(17);
        for (auto& v : t)
            v = static_cast<uint8_t>(50 + rng() % 150);
        return t;
    }();
    static const std::vector<int8_t> fine = [] {
        std::vector<int8_t> t(size_t(kN) * kN);
        std::mt19937 rng(18);
        for (auto& v : t)
            v = static_cast<int8_t>(int(rng() % 51) - 25);
        return t;
    }();
    const int ix = std::clamp(static_cast<int>(std::floor(x)) + 400, 0, kN - 17);
    const int iy = std::clamp(static_cast<int>(std::floor(y)) + 400, 0, kN - 17);
    const int gx = ix / 16, gy = iy / 16, fx = ix % 16, fy = iy % 16, g = kN / 16;
    auto at = [&](int a, int b) { return int(coarse[size_t(b) * g + a]); };
    const int top = at(gx, gy) * (16 - fx) + at(gx + 1, gy) * fx;
    const int bottom = at(gx, gy + 1) * (16 - fx) + at(gx + 1, gy + 1) * fx;
    return static_cast<uint8_t>(std::clamp((top * (16 - fy) + bottom * fy) / 256 + fine[size_t(iy) * kN + ix], 0, 255));
}

TEST(PhotoPair, CheckOnIdenticalShiftedAndUnrelatedPairs)
{
    Picture8 a(100, 80, [](int x, int y) { return uint8_t(60 + x + y / 2); });
    Picture8 same(100, 80, [](int x, int y) { return uint8_t(60 + x + y / 2); });
    Picture8 shifted(100, 80, [](int x, int y) { return uint8_t(60 + (x + 3) + (y - 2) / 2); });
    Picture8 mirrored(100, 80, [](int x, int y) { return uint8_t(60 + (99 - x) + y / 2); });
    Picture8 upsideDown(100, 80, [](int x, int y) { return uint8_t(60 + x + (79 - y) / 2 * 2); });
    Picture8 other(90, 80, [](int, int) { return uint8_t(100); });
    struct Case {
        const char* name;
        const ImageBuffer8* b;
        int sizeOnly, want;
    };
    for (const Case& c : {Case{"identical", &same.img, 0, 1}, Case{"shifted", &shifted.img, 0, 1},
                          Case{"left and right swapped", &mirrored.img, 0, 0}, Case{"top and bottom swapped", &upsideDown.img, 0, 0},
                          Case{"another size", &other.img, 0, 0}, Case{"another size, size only", &other.img, 1, 0},
                          Case{"size only", &mirrored.img, 1, 1}})
        EXPECT_EQ(CheckPhotoPair(a.img, *c.b, c.sizeOnly), c.want) << c.name;
    EXPECT_EQ(MeanGrey8(same.img), MeanGrey8(a.img));
    Picture8 flat(7, 3, [](int, int) { return uint8_t(77); });
    EXPECT_EQ(MeanGrey8(flat.img), 77);
    Picture8 thin(1, 1, [](int, int) { return uint8_t(77); });
    EXPECT_EQ(CheckPhotoPair(thin.img, thin.img, 0), 1);
    ImageBuffer8 empty{};
    EXPECT_EQ(MeanGrey8(empty), 0);
}

int Align(CShakeMap& m, const ImageBuffer8& a, const ImageBuffer8& b, int tripod = 0)
{
    ShakeMapParams p;
    p.reference = &a;
    p.other = &b;
    p.tripod = tripod;
    m.SetParams(&p);
    return m.Run();
}

TEST(ShakeMap, FindsTheTransformOfIdenticalShiftedAndTurnedPairs)
{
    const int W = 1100, H = 1040;
    Picture8 a(W, H, [](int x, int y) { return Scene(x, y); });
    struct Case {
        const char* name;
        double angle, tx, ty; // other(u, v) shows reference(x, y) with u = x cos - y sin + tx ...
        double tolerance;
    };
    for (const Case& c : {Case{"identical", 0, 0, 0, 1e-9}, Case{"shifted", 0, 7, -5, 0.1},
                          Case{"shifted and turned", 0.004, 12, 9, 0.6}}) {
        const double cs = std::cos(c.angle), sn = std::sin(c.angle);
        // other(u, v) = scene at the reference position mapping to (u, v).
        Picture8 b(W, H, [&](int u, int v) {
            const double du = u - c.tx, dv = v - c.ty;
            return Scene(du * cs + dv * sn, -du * sn + dv * cs);
        });
        CShakeMap m;
        ASSERT_EQ(Align(m, a.img, b.img), 1) << c.name;
        // The global shift is the one seen in the middle of the picture.
        EXPECT_NEAR(m.m_shiftX, c.tx - 520 * sn, 1) << c.name;
        EXPECT_NEAR(m.m_shiftY, c.ty + 550 * sn, 1) << c.name;
        const AlignTransform& t = m.m_transform;
        EXPECT_EQ(t.valid, 1);
        // Check the mapping at the corners and the middle.
        for (auto [x, y] : {std::pair{200.0, 200.0}, {900.0, 200.0}, {550.0, 520.0}, {200.0, 850.0}, {900.0, 850.0}}) {
            const double u = x * cs - y * sn + c.tx, v = x * sn + y * cs + c.ty;
            EXPECT_NEAR(t.a * x + t.b * y + t.c, u, c.tolerance) << c.name << " " << x << "," << y;
            EXPECT_NEAR(t.d * x + t.e * y + t.f, v, c.tolerance) << c.name << " " << x << "," << y;
        }
    }
}

TEST(ShakeMap, RefusesSmallOrMismatchedPicturesAndTexturelessPairsUnlessOnATripod)
{
    Picture8 small(1000, 1100, [](int x, int y) { return Scene(x, y); });
    Picture8 big(1100, 1040, [](int x, int y) { return Scene(x, y); });
    Picture8 bigOther(1040, 1100, [](int x, int y) { return Scene(x, y); });
    Picture8 flat(1100, 1040, [](int, int) { return uint8_t(120); });
    CShakeMap m;
    EXPECT_EQ(Align(m, small.img, small.img), 0);
    EXPECT_EQ(Align(m, big.img, bigOther.img), 0);
    EXPECT_EQ(Align(m, flat.img, flat.img), 0);
    // One object, many runs: the tripod turns a failed fit into the identity.
    EXPECT_EQ(Align(m, flat.img, flat.img, 1), 1);
    EXPECT_EQ(m.m_transform.a, 1);
    EXPECT_EQ(m.m_transform.c, 0);
    EXPECT_EQ(m.m_transform.e, 1);
    EXPECT_EQ(m.m_transform.f, 0);
    // And a later run on a real pair is as good as a fresh object's.
    EXPECT_EQ(Align(m, big.img, big.img), 1);
    EXPECT_NEAR(m.m_transform.c, 0, 1e-9);
}

} // namespace
