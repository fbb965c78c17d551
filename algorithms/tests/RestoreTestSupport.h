// Shared by the restoration filters' tests: running an algorithm with a given number of
// helpers, noisy test pictures and picture statistics.
#pragma once

#include "algorithms/tests/AlgorithmTestSupport.h"
#include "imaging/ColourTables.h"

#include <cmath>
#include <random>

// The program builds its gamma tables at start-up; these tests need them too.
inline const bool kGammaTablesBuilt = (BuildGammaTables(), true);

// Runs a fresh Algo over src into dst with the record, on the calling thread with `helpers`
// helper threads to share bands with. Returns Run's result.
template <class Algo, class Params>
int RunWithHelpers(int helpers, const Params& params, ImageBuffer16& src, ImageBuffer16& dst)
{
    WorkerScope scope(helpers);
    Algo algo;
    algo.SetSource(&src);
    algo.SetDestination(&dst);
    algo.SetParams(&params);
    return algo.Run();
}

// Grey level v (all three colours) plus Gaussian noise of standard deviation sd; alpha opaque.
inline ImageBuffer16 NoisyGrey(int w, int h, int v, double sd, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0, sd);
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = Row16(img, y) + x * 4;
            const uint16_t g = ClampU16(static_cast<int64_t>(std::lround(v + n(rng))));
            p[0] = p[1] = p[2] = g;
            p[3] = 65535;
        }
    return img;
}

// Mean and standard deviation of the luminance (3R + 6G + B) / 10 over a rectangle.
struct Stats {
    double mean = 0, sd = 0;
};
inline Stats LumaStats(const ImageBuffer16& img, int x0, int y0, int x1, int y1)
{
    double s = 0, s2 = 0, n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint16_t* p = Row16(img, y) + x * 4;
            const double l = (3 * p[2] + 6 * p[1] + p[0]) / 10;
            s += l;
            s2 += l * l;
            ++n;
        }
    Stats st;
    st.mean = s / n;
    st.sd = std::sqrt(std::max(0.0, s2 / n - st.mean * st.mean));
    return st;
}

// Peak signal-to-noise ratio of the colour channels against a reference, in dB.
inline double Psnr16(const ImageBuffer16& a, const ImageBuffer16& ref)
{
    double se = 0;
    const size_t n = PixelCount(a);
    for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) {
            const double d = double(Pixels16(a)[i * 4 + c]) - Pixels16(ref)[i * 4 + c];
            se += d * d;
        }
    const double mse = se / (3.0 * n);
    return mse == 0 ? 200 : 10 * std::log10(65535.0 * 65535.0 / mse);
}
