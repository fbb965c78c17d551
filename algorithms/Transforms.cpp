// Radix-2 decimation in frequency with the program's own constants for pi and 2 pi, so every
// filter built on these transforms gives the same values wherever it runs.
#include "algorithms/Transforms.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr double kTwoPi = 6.2831852;
constexpr double kPi = 3.1415926;
constexpr int kMaxPoints = 1 << kMaxFftExponent;

// Twiddles and bit reversals for every length, built once; only read afterwards.
struct Tables {
    Complex twiddle[kMaxFftExponent + 1][kMaxPoints / 2];
    uint16_t reverse[kMaxFftExponent + 1][kMaxPoints];
    // cos and sin of pi j / (2N) for the cosine transforms of N = 2^k points.
    double dctCos[kMaxDctExponent + 1][kMaxPoints / 2];
    double dctSin[kMaxDctExponent + 1][kMaxPoints / 2];

    Tables()
    {
        for (int k = 0; k <= kMaxFftExponent; ++k) {
            const int n = 1 << k;
            for (int j = 0; j < n / 2; ++j)
                twiddle[k][j] = {std::cos(-kTwoPi * j / n), std::sin(-kTwoPi * j / n)};
            for (int i = 0; i < n; ++i) {
                int r = 0;
                for (int b = 0; b < k; ++b)
                    r |= ((i >> b) & 1) << (k - 1 - b);
                reverse[k][i] = static_cast<uint16_t>(r);
            }
        }
        for (int k = 0; k <= kMaxDctExponent; ++k) {
            const int n = 1 << k;
            for (int j = 0; j < n; ++j) {
                const double theta = kPi * j / (2.0 * n);
                dctCos[k][j] = std::cos(theta);
                dctSin[k][j] = std::sin(theta);
            }
        }
    }
};

const Tables& T()
{
    static const Tables* tables = new Tables; // lives for the process; never destroyed under a running filter
    return *tables;
}

void FftCore(const Complex* input, Complex* output, int k)
{
    const int n = 1 << k;
    Complex work[kMaxPoints];
    std::memcpy(work, input, sizeof(Complex) * n);
    const Tables& t = T();
    const Complex* w = t.twiddle[k];
    for (int s = 0; s < k; ++s) {
        const int L = n >> s, half = L / 2, stride = 1 << s;
        for (int g = 0; g < n; g += L) {
            Complex* a = work + g;
            Complex* b = a + half;
            for (int j = 0; j < half; ++j) {
                const double ar = a[j].re, ai = a[j].im, br = b[j].re, bi = b[j].im;
                a[j].re = ar + br;
                a[j].im = ai + bi;
                const double dr = ar - br, di = ai - bi;
                const Complex tw = w[j * stride];
                b[j].re = dr * tw.re - di * tw.im;
                b[j].im = dr * tw.im + di * tw.re;
            }
        }
    }
    const uint16_t* rev = t.reverse[k];
    for (int i = 0; i < n; ++i)
        output[i] = work[rev[i]];
}

void InverseFftCore(const Complex* input, Complex* output, int k)
{
    const int n = 1 << k;
    Complex conj[kMaxPoints];
    for (int i = 0; i < n; ++i)
        conj[i] = {input[i].re, -input[i].im};
    FftCore(conj, output, k);
    const double scale = 1.0 / n;
    for (int i = 0; i < n; ++i)
        output[i] = {output[i].re * scale, -output[i].im * scale};
}

void DctCore(const double* input, double* output, int k)
{
    const int n = 1 << k;
    Complex a[kMaxPoints];
    for (int t = 0; t < n; ++t)
        a[t] = {input[t], 0};
    std::memset(static_cast<void*>(a + n), 0, sizeof(Complex) * n);
    FftCore(a, a, k + 1);
    const Tables& tb = T();
    const double s0 = 1.0 / std::sqrt(static_cast<double>(n));
    const double s = std::sqrt(2.0) / std::sqrt(static_cast<double>(n));
    output[0] = a[0].re * s0;
    for (int j = 1; j < n; ++j)
        output[j] = s * (tb.dctCos[k][j] * a[j].re + tb.dctSin[k][j] * a[j].im);
}

void InverseDctCore(const double* input, double* output, int k)
{
    const int n = 1 << k;
    Complex a[kMaxPoints];
    const Tables& tb = T();
    for (int t = 0; t < n; ++t)
        a[t] = {input[t] * tb.dctCos[k][t], input[t] * tb.dctSin[k][t]};
    std::memset(static_cast<void*>(a + n), 0, sizeof(Complex) * n);
    InverseFftCore(a, a, k + 1);
    const double s2 = std::sqrt(2.0 / n), s1 = std::sqrt(1.0 / n);
    const double fix = (s1 - s2) * input[0];
    for (int t = 0; t < n; ++t)
        output[t] = 2.0 * n * a[t].re * s2 + fix;
}

} // namespace

bool Fft1D(const Complex* input, Complex* output, int k)
{
    if (k < 0 || k > kMaxFftExponent || !input || !output)
        return false;
    FftCore(input, output, k);
    return true;
}

bool InverseFft1D(const Complex* input, Complex* output, int k)
{
    if (k < 0 || k > kMaxFftExponent || !input || !output)
        return false;
    InverseFftCore(input, output, k);
    return true;
}

bool Dct1D(const double* input, double* output, int k)
{
    if (k < 0 || k > kMaxDctExponent || !input || !output)
        return false;
    DctCore(input, output, k);
    return true;
}

bool InverseDct1D(const double* input, double* output, int k)
{
    if (k < 0 || k > kMaxDctExponent || !input || !output)
        return false;
    InverseDctCore(input, output, k);
    return true;
}

int SquareTransform::Allocate(int k)
{
    m_data.reset();
    m_n = m_k = 0;
    if (k < 0 || k > kMaxFftExponent)
        return 0;
    const int n = 1 << k;
    m_data.reset(new (std::nothrow) double[static_cast<size_t>(n) * n]);
    if (!m_data)
        return 0;
    m_n = n;
    m_k = k;
    return 1;
}

int SquareTransform::Dct2D(bool forward)
{
    if (!m_data || m_k > kMaxDctExponent)
        return 0;
    const int n = m_n;
    double line[kMaxPoints], out[kMaxPoints];
    auto rows = [&] {
        for (int r = 0; r < n; ++r) {
            double* row = Row(r);
            forward ? DctCore(row, out, m_k) : InverseDctCore(row, out, m_k);
            std::memcpy(row, out, sizeof(double) * n);
        }
    };
    auto columns = [&] {
        for (int c = 0; c < n; ++c) {
            for (int r = 0; r < n; ++r)
                line[r] = m_data[static_cast<size_t>(r) * n + c];
            forward ? DctCore(line, out, m_k) : InverseDctCore(line, out, m_k);
            for (int r = 0; r < n; ++r)
                m_data[static_cast<size_t>(r) * n + c] = out[r];
        }
    };
    if (forward) {
        rows();
        columns();
    } else {
        columns();
        rows();
    }
    return 1;
}

int SquareTransform::Fft2D(Complex* output) const
{
    if (!m_data || !output)
        return 0;
    const int n = m_n;
    Complex line[kMaxPoints];
    for (int r = 0; r < n; ++r) {
        const double* row = Row(r);
        for (int c = 0; c < n; ++c)
            line[c] = {row[c], 0};
        FftCore(line, output + static_cast<size_t>(r) * n, m_k);
    }
    for (int c = 0; c < n; ++c) {
        for (int r = 0; r < n; ++r)
            line[r] = output[static_cast<size_t>(r) * n + c];
        FftCore(line, line, m_k);
        for (int r = 0; r < n; ++r)
            output[static_cast<size_t>(r) * n + c] = line[r];
    }
    return 1;
}

int SquareTransform::InverseFft2D(const Complex* input)
{
    if (!m_data || !input)
        return 0;
    const int n = m_n;
    std::unique_ptr<Complex[]> temp(new (std::nothrow) Complex[static_cast<size_t>(n) * n]);
    if (!temp)
        return 0;
    Complex line[kMaxPoints];
    for (int c = 0; c < n; ++c) {
        for (int r = 0; r < n; ++r)
            line[r] = input[static_cast<size_t>(r) * n + c];
        InverseFftCore(line, line, m_k);
        for (int r = 0; r < n; ++r)
            temp[static_cast<size_t>(r) * n + c] = line[r];
    }
    for (int r = 0; r < n; ++r) {
        InverseFftCore(temp.get() + static_cast<size_t>(r) * n, line, m_k);
        double* row = Row(r);
        for (int c = 0; c < n; ++c)
            row[c] = line[c].re;
    }
    return 1;
}
