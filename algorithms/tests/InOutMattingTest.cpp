#include "algorithms/InOutMatting.h"
#include "algorithms/tests/AlgorithmTestSupport.h"
#include "algorithms/tests/PlaneTestSupport.h"
#include "imaging/ColourTables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using Mask = TestMask;

int Matte(ImageBuffer16& src, ImageBuffer16& dst, const Plane8* in, const Plane8* out, int iterations = 10)
{
    EXPECT_TRUE(CopyImage16(dst, src));
    InOutMattingParams p;
    p.inside = in;
    p.outside = out;
    p.refineIterations = iterations;
    CInOutMatting m;
    m.SetSource(&src);
    m.SetDestination(&dst);
    m.SetParams(&p);
    return m.Run();
}

TEST(InOutMatting, ColourDistances)
{
    BuildGammaTables();
    struct Case {
        uint32_t a, b;
        double want;
    };
    const double red = std::sqrt(std::pow(0.5 * 0.2126 * 255, 2) + std::pow(0.33 * 255, 2) + std::pow(0.12 * 255, 2));
    for (const Case& c : {Case{0x123456, 0x123456, 0}, Case{0xFFFFFF, 0, 127.5}, Case{0xFF0000, 0, red},
                          Case{0, 0xFF0000, red}})
        EXPECT_NEAR(ColourDistance8(c.a, c.b), c.want, 1e-9) << std::hex << c.a << " " << c.b;
    const uint16_t white[4] = {65535, 65535, 65535, 0}, black[4] = {0, 0, 0, 65535};
    EXPECT_NEAR(ColourDistance16(white, black), 127.5, 1e-9);
}

TEST(InOutMatting, UnmixColourTakesOutTheBackground)
{
    struct Case {
        double a;
        std::array<int, 3> bg, p, want; // B, G, R
    };
    const Case cases[] = {
        {0.02, {0, 0, 40000}, {1000, 1000, 3000}, {1000, 1000, 3000}},    // nearly background: as is
        {0.97, {0, 0, 40000}, {1000, 1000, 3000}, {1000, 1000, 3000}},    // nearly subject: as is
        {0.5, {0, 0, 4000}, {1000, 1000, 3000}, {2000, 2000, 2000}},      // red spill removed: t = 1
        {0.5, {0, 0, 0}, {1000, 1000, 3000}, {1000, 1000, 3000}},         // moving away from grey: t < 0
        {0.5, {500, 500, 500}, {500, 500, 500}, {500, 500, 500}},         // nothing to unmix
        {0.5, {0, 0, 4000}, {1000, 1000, 1000}, {1000, 1000, 1000}},      // grey pixel: no chroma to move
        {0.1, {0, 0, 60000}, {30000, 30000, 60000}, {65535, 65535, 60000}}, // clamped, a held at 0.3
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnmixColour(c.a, c.bg, c.p), c.want) << c.a;
}

// A red disc on a blue backdrop: inside marked well within it, outside well beyond it.
struct Disc {
    static constexpr int kW = 80, kH = 70, kCx = 40, kCy = 33;
    static constexpr double kR = 20;
    static bool In(int x, int y) { return std::hypot(x - kCx, y - kCy) < kR; }
    ScopedImage src{MakeImage(kW, kH, [](int x, int y, int c) -> uint16_t {
        if (c == 3)
            return 65535;
        return In(x, y) ? (c == 2 ? 52000 : 3000 + 500 * c) : (c == 0 ? 45000 : 4000 + 300 * c);
    })};
    Mask inside{kW, kH, [](int x, int y) -> uint8_t { return std::hypot(x - kCx, y - kCy) < kR - 4 ? 255 : 0; }};
    Mask outside{kW, kH, [](int x, int y) -> uint8_t { return std::hypot(x - kCx, y - kCy) > kR + 4 ? 0 : 255; }};
};

TEST(InOutMatting, DrawnDiscWithATrimap)
{
    Disc d;
    ScopedImage dst;
    ASSERT_EQ(Matte(*d.src, *dst, &d.inside.p, &d.outside.p), 1);
    int ringWrong = 0, ring = 0;
    for (int y = 0; y < d.kH; ++y)
        for (int x = 0; x < d.kW; ++x) {
            const double r = std::hypot(x - d.kCx, y - d.kCy);
            const uint16_t* p = Row16(*dst, y) + x * 4;
            if (r < d.kR - 4) {
                ASSERT_EQ(p[3], 65535) << x << "," << y;
                ASSERT_EQ(std::memcmp(p, Row16(*d.src, y) + x * 4, 6), 0); // marked colours kept
            } else if (r > d.kR + 4) {
                ASSERT_EQ(p[3], 0) << x << "," << y;
            } else {
                ++ring;
                const bool wrong = d.Disc::In(x, y) ? p[3] < 60000 : p[3] > 5000;
                ringWrong += wrong;
                // Unknown pixels inside the disc keep a red colour.
                if (d.Disc::In(x, y)) {
                    EXPECT_GT(p[2], 40000) << x << "," << y;
                }
            }
        }
    EXPECT_GT(ring, 300);
    EXPECT_LE(ringWrong, ring / 50);
}

TEST(InOutMatting, DegenerateMasksTerminate)
{
    Disc d;
    Mask all(d.kW, d.kH, [](int, int) -> uint8_t { return 255; });
    Mask none(d.kW, d.kH, [](int, int) -> uint8_t { return 0; });
    Mask small(5, 5, [](int, int) -> uint8_t { return 0; });
    struct Case {
        const char* name;
        const Plane8 *in, *out;
        int result;
        int alpha; // expected alpha everywhere, or -1
    };
    const Case cases[] = {
        {"everything inside", &all.p, &all.p, 1, 65535},
        {"everything outside", &none.p, &none.p, 1, 0},
        {"nothing known", &none.p, &all.p, 1, -1},
        {"only subject known", &d.inside.p, &all.p, 1, 65535},
        {"only background known", &none.p, &d.outside.p, 1, 0},
        {"missing inside", nullptr, &all.p, 0, -1},
        {"mask of another size", &small.p, &all.p, 0, -1},
    };
    for (const Case& c : cases) {
        ScopedImage dst;
        EXPECT_EQ(Matte(*d.src, *dst, c.in, c.out), c.result) << c.name;
        if (c.alpha >= 0) {
            for (size_t i = 0; i < PixelCount(*dst); ++i)
                ASSERT_EQ(Pixels16(*dst)[i * 4 + 3], c.alpha) << c.name;
        }
    }
    // A one-row picture.
    ScopedImage row(MakeImage(30, 1, [](int x, int, int c) -> uint16_t { return c == 3 ? 65535 : x * 2000; }));
    Mask in(30, 1, [](int x, int) -> uint8_t { return x < 5 ? 255 : 0; });
    Mask out(30, 1, [](int x, int) -> uint8_t { return x > 25 ? 0 : 255; });
    ScopedImage dst;
    EXPECT_EQ(Matte(*row, *dst, &in.p, &out.p), 1);
}

TEST(InOutMatting, HelpersDoNotChangeTheResult)
{
    // Large enough for the relaxation to be shared out.
    ScopedImage src(Noise(700, 500, 21));
    auto r = [](int x, int y) { return std::hypot(x - 350, y - 250); };
    Mask in(700, 500, [&](int x, int y) -> uint8_t { return r(x, y) < 150 ? 255 : 0; });
    Mask out(700, 500, [&](int x, int y) -> uint8_t { return r(x, y) > 175 ? 0 : 255; });
    ScopedImage result[2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        ASSERT_EQ(Matte(*src, *result[k], &in.p, &out.p, 5), 1);
    }
    EXPECT_TRUE(SameImage(*result[0], *result[1]));
}

} // namespace
