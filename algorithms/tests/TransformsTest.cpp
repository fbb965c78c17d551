#include "algorithms/Transforms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<double> RandomValues(int n, unsigned seed, double lo = 0, double hi = 255)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(lo, hi);
    std::vector<double> v(n);
    for (double& x : v)
        x = d(rng);
    return v;
}

// Straight from the definitions, in long double with the exact pi.
std::vector<Complex> NaiveDft(const std::vector<Complex>& x)
{
    const size_t n = x.size();
    std::vector<Complex> out(n);
    for (size_t m = 0; m < n; ++m) {
        long double re = 0, im = 0;
        for (size_t t = 0; t < n; ++t) {
            const long double a = -2.0L * 3.14159265358979323846L * static_cast<long double>(m * t % n) / n;
            re += x[t].re * std::cos(a) - x[t].im * std::sin(a);
            im += x[t].re * std::sin(a) + x[t].im * std::cos(a);
        }
        out[m] = {static_cast<double>(re), static_cast<double>(im)};
    }
    return out;
}

std::vector<double> NaiveDct(const std::vector<double>& x)
{
    const size_t n = x.size();
    std::vector<double> y(n);
    for (size_t j = 0; j < n; ++j) {
        long double s = 0;
        for (size_t t = 0; t < n; ++t)
            s += x[t] * std::cos(3.14159265358979323846L * j * (2 * t + 1) / (2.0L * n));
        y[j] = static_cast<double>(s * std::sqrt((j == 0 ? 1.0L : 2.0L) / n));
    }
    return y;
}

TEST(Transforms, FftAgainstTheDefinition)
{
    for (int k : {0, 1, 2, 4, 7, 9}) {
        const int n = 1 << k;
        const auto re = RandomValues(n, 10 + k, -100, 100), im = RandomValues(n, 20 + k, -100, 100);
        std::vector<Complex> x(n);
        for (int i = 0; i < n; ++i)
            x[i] = {re[i], im[i]};
        std::vector<Complex> out(n), back(n);
        ASSERT_TRUE(Fft1D(x.data(), out.data(), k));
        const auto want = NaiveDft(x);
        // The program's 2 pi is 6.2831852: about 1e-8 relative, scaled by the sum of magnitudes.
        const double tol = 1e-6 * n * 100;
        for (int m = 0; m < n; ++m) {
            ASSERT_NEAR(out[m].re, want[m].re, tol) << "k " << k << " m " << m;
            ASSERT_NEAR(out[m].im, want[m].im, tol) << "k " << k << " m " << m;
        }
        ASSERT_TRUE(InverseFft1D(out.data(), back.data(), k));
        for (int t = 0; t < n; ++t) {
            ASSERT_NEAR(back[t].re, x[t].re, 1e-9) << k;
            ASSERT_NEAR(back[t].im, x[t].im, 1e-9) << k;
        }
        // In place gives the same as out of place.
        std::vector<Complex> inplace = x;
        ASSERT_TRUE(Fft1D(inplace.data(), inplace.data(), k));
        for (int m = 0; m < n; ++m)
            ASSERT_EQ(inplace[m].re, out[m].re);
    }
    // One point is copied; an impulse has a flat spectrum.
    Complex one{3.5, -2}, res{};
    ASSERT_TRUE(Fft1D(&one, &res, 0));
    EXPECT_EQ(res.re, 3.5);
    EXPECT_EQ(res.im, -2);
    std::vector<Complex> impulse(512), spectrum(512);
    impulse[0] = {1, 0};
    ASSERT_TRUE(Fft1D(impulse.data(), spectrum.data(), 9));
    for (const Complex& c : spectrum) {
        ASSERT_DOUBLE_EQ(c.re, 1);
        ASSERT_DOUBLE_EQ(c.im, 0);
    }
}

TEST(Transforms, CosinePairs)
{
    for (int k : {0, 1, 3, 6, 8}) {
        const int n = 1 << k;
        const auto x = RandomValues(n, 30 + k);
        std::vector<double> y(n), back(n);
        ASSERT_TRUE(Dct1D(x.data(), y.data(), k));
        const auto want = NaiveDct(x);
        for (int j = 0; j < n; ++j)
            ASSERT_NEAR(y[j], want[j], 1e-3) << "k " << k << " j " << j;
        ASSERT_TRUE(InverseDct1D(y.data(), back.data(), k));
        for (int t = 0; t < n; ++t)
            ASSERT_NEAR(back[t], x[t], 1e-4) << "k " << k; // the approximate pi costs about 1e-7 relative
    }
    // A constant vector has only its DC term: c sqrt(N).
    for (int k : {3, 6, 8}) {
        const int n = 1 << k;
        std::vector<double> c(n, 77.0), y(n);
        ASSERT_TRUE(Dct1D(c.data(), y.data(), k));
        EXPECT_NEAR(y[0], 77.0 * std::sqrt(n), 1e-9);
        for (int j = 1; j < n; ++j)
            ASSERT_NEAR(y[j], 0, 1e-6 * 77 * std::sqrt(n)) << j; // the approximate pi leaks a trace
    }
}

TEST(Transforms, RefusesLengthsBeyondItsBuffers)
{
    std::vector<Complex> big(2048);
    std::vector<double> real(1024);
    struct Case { int k; bool fft, dct; };
    for (const Case& c : {Case{-1, false, false}, Case{9, true, false}, Case{10, false, false}, Case{8, true, true}}) {
        EXPECT_EQ(Fft1D(big.data(), big.data(), c.k), c.fft) << c.k;
        EXPECT_EQ(InverseFft1D(big.data(), big.data(), c.k), c.fft) << c.k;
        EXPECT_EQ(Dct1D(real.data(), real.data(), c.k), c.dct) << c.k;
        EXPECT_EQ(InverseDct1D(real.data(), real.data(), c.k), c.dct) << c.k;
    }
    SquareTransform t;
    EXPECT_EQ(t.Allocate(10), 0);
    EXPECT_EQ(t.Data(), nullptr);
    ASSERT_EQ(t.Allocate(9), 1);
    EXPECT_EQ(t.Dct2D(true), 0) << "a 512 block has no cosine transform";
    EXPECT_EQ(SquareTransform().Dct2D(true), 0);
}

TEST(Transforms, SquareBlocksRoundTrip)
{
    SquareTransform t;
    for (int k : {3, 8}) {
        ASSERT_EQ(t.Allocate(k), 1);
        const int n = t.Side();
        const auto x = RandomValues(n * n, 40 + k);
        std::copy(x.begin(), x.end(), t.Data());
        ASSERT_EQ(t.Dct2D(true), 1);
        // Orthonormal: DC = sum / n.
        double sum = 0;
        for (double v : x)
            sum += v;
        EXPECT_NEAR(t.Data()[0], sum / n, 1e-6);
        ASSERT_EQ(t.Dct2D(false), 1);
        for (int i = 0; i < n * n; ++i)
            ASSERT_NEAR(t.Data()[i], x[i], 1e-3) << k;
    }
    // A 2D transform of a separable block is the outer product of the 1D transforms.
    ASSERT_EQ(t.Allocate(3), 1);
    const auto a = RandomValues(8, 1), b = RandomValues(8, 2);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            t.Row(r)[c] = a[r] * b[c];
    std::vector<double> ya(8), yb(8);
    Dct1D(a.data(), ya.data(), 3);
    Dct1D(b.data(), yb.data(), 3);
    ASSERT_EQ(t.Dct2D(true), 1);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            ASSERT_NEAR(t.Row(r)[c], ya[r] * yb[c], 1e-6 * std::abs(ya[0] * yb[0])); // approximate pi: ~1e-8 relative

    ASSERT_EQ(t.Allocate(7), 1);
    const auto x = RandomValues(128 * 128, 7);
    std::copy(x.begin(), x.end(), t.Data());
    std::vector<Complex> spectrum(128 * 128);
    ASSERT_EQ(t.Fft2D(spectrum.data()), 1);
    double sum = 0;
    for (double v : x)
        sum += v;
    EXPECT_NEAR(spectrum[0].re, sum, 1e-6);
    EXPECT_NEAR(spectrum[0].im, 0, 1e-6);
    // A real block has a conjugate-symmetric spectrum (up to the approximate 2 pi).
    EXPECT_NEAR(spectrum[5 * 128 + 9].re, spectrum[123 * 128 + 119].re, 1e-6 * sum);
    EXPECT_NEAR(spectrum[5 * 128 + 9].im, -spectrum[123 * 128 + 119].im, 1e-6 * sum);
    std::fill(t.Data(), t.Data() + 128 * 128, 0.0);
    ASSERT_EQ(t.InverseFft2D(spectrum.data()), 1);
    for (int i = 0; i < 128 * 128; ++i)
        ASSERT_NEAR(t.Data()[i], x[i], 1e-9);
}

} // namespace
