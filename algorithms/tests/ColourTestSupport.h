// Helpers for the colour and tone algorithm tests: pixel fixtures, one-call runs, and the check
// that a run gives the same bytes with no helpers and with eight.
#pragma once

#include "algorithms/tests/AlgorithmTestSupport.h"
#include "imaging/ColourTables.h"

#include <functional>
#include <initializer_list>

// The program builds its gamma tables at start-up; the tests do it on loading.
inline const bool kGammaTablesReady = (BuildGammaTables(), true);

struct Bgra {
    uint16_t b, g, r, a;
};

// One row of the given pixels.
inline ImageBuffer16 Pixels(std::initializer_list<Bgra> px)
{
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, static_cast<int>(px.size()), 1));
    uint16_t* p = Pixels16(img);
    for (const Bgra& c : px) {
        p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = c.a;
        p += 4;
    }
    return img;
}

inline Bgra PixelAt(const ImageBuffer16& img, int x, int y = 0)
{
    const uint16_t* p = Row16(img, y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// All four channels of a pixel against the expected ones (tolerance 0 = exact).
inline void ExpectPixel(const Bgra& got, const Bgra& want, int tolerance = 0)
{
    EXPECT_NEAR(got.b, want.b, tolerance);
    EXPECT_NEAR(got.g, want.g, tolerance);
    EXPECT_NEAR(got.r, want.r, tolerance);
    EXPECT_EQ(got.a, want.a);
}

inline ImageBuffer16 Uniform(int w, int h, Bgra c)
{
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h));
    uint16_t* p = Pixels16(img);
    for (size_t i = 0; i < PixelCount(img); ++i, p += 4)
        p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = c.a;
    return img;
}

// A smooth picture with edges and colour, so banded runs have something to get wrong.
inline ImageBuffer16 Photo(int w, int h, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = Row16(img, y) + x * 4;
            const int edge = ((x / 37 + y / 29) & 1) ? 20000 : 0;
            p[0] = static_cast<uint16_t>(std::min(65535, (x * 65535 / w + edge) / 2 + int(rng() % 2000)));
            p[1] = static_cast<uint16_t>(std::min(65535, (y * 65535 / h) * 3 / 4 + edge / 2 + int(rng() % 2000)));
            p[2] = static_cast<uint16_t>(std::min(65535, ((x + y) * 65535 / (w + h)) + int(rng() % 3000)));
            p[3] = static_cast<uint16_t>(rng());
        }
    return img;
}

template <class Alg, class Params>
int RunWith(Alg& alg, const Params* params, ImageBuffer16& src, ImageBuffer16& dst)
{
    alg.SetSource(&src);
    alg.SetDestination(&dst);
    alg.SetParams(params);
    return alg.Run();
}

template <class Alg, class Params>
int RunOnce(const Params& params, ImageBuffer16& src, ImageBuffer16& dst)
{
    Alg alg;
    return RunWith(alg, &params, src, dst);
}

// Runs `run` with 0 helpers and with 8 and expects the same bytes and success both times.
inline void ExpectHelpersAgree(ImageBuffer16& src, const std::function<int(ImageBuffer16&, ImageBuffer16&)>& run)
{
    ScopedImage a, b;
    {
        WorkerScope scope(0);
        ASSERT_EQ(run(src, *a), 1);
    }
    {
        WorkerScope scope(8);
        ASSERT_EQ(run(src, *b), 1);
    }
    EXPECT_TRUE(SameImage(*a, *b));
}
