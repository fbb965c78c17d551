// Radix-2 decimation in frequency with the program's own constants for pi and 2 pi, so every
// filter built on these transforms gives the same values wherever it runs.
#include "algorithms/Transforms.h"
#include "algorithms/TargetClones.h"

#include <cmath>
#include <cstring>
#include <algorithm>
#include <new>
#include <vector>

namespace {

constexpr double kTwoPi = 6.2831852;
constexpr double kPi = 3.1415926;
constexpr int kMaxPoints = 1 << kMaxFftExponent;

// Twiddles of every stage laid out contiguously, bit reversals and the cosine-transform
// rotations for every length, built once; only read afterwards.
struct Tables {
    // stage[k][s]: w(j x 2^s) for j < 2^(k-s-1), the twiddles stage s of a 2^k-point transform uses.
    std::vector<Complex> stage[kMaxFftExponent + 1][kMaxFftExponent];
    uint16_t reverse[kMaxFftExponent + 1][kMaxPoints];
    // (cos, sin) of pi j / (2N) for N = 2^k.
    Complex rotation[kMaxFftExponent + 1][kMaxPoints];

    Tables()
    {
        for (int k = 0; k <= kMaxFftExponent; ++k) {
            const int n = 1 << k;
            for (int s = 0; s < k; ++s) {
                const int half = n >> (s + 1);
                stage[k][s].resize(half);
                for (int j = 0; j < half; ++j) {
                    const int t = j << s;
                    stage[k][s][j] = {std::cos(-kTwoPi * t / n), std::sin(-kTwoPi * t / n)};
                }
            }
            for (int i = 0; i < n; ++i) {
                int r = 0;
                for (int b = 0; b < k; ++b)
                    r |= ((i >> b) & 1) << (k - 1 - b);
                reverse[k][i] = static_cast<uint16_t>(r);
                const double theta = kPi * i / (2.0 * n);
                rotation[k][i] = {std::cos(theta), std::sin(theta)};
            }
        }
    }
};

const Tables& T()
{
    static const Tables* tables = new Tables; // lives for the process; never destroyed under a running filter
    return *tables;
}

// Decimation in frequency over work[0..2^k); `sign` -1 conjugates the twiddles (the inverse
// direction, which equals conjugating input and output around the forward transform).
template <bool Inverse>
ZD_TARGET_CLONES_TEMPLATE void FftStages(Complex* work, int k)
{
    const int n = 1 << k;
    const Tables& t = T();
    for (int s = 0; s < k; ++s) {
        const int L = n >> s, half = L / 2;
        if (half == 1) { // w(0) = 1: the last stage only adds and subtracts
            for (int g = 0; g < n; g += 2) {
                const Complex a = work[g], b = work[g + 1];
                work[g] = {a.re + b.re, a.im + b.im};
                work[g + 1] = {a.re - b.re, a.im - b.im};
            }
            continue;
        }
        const Complex* w = t.stage[k][s].data();
        for (int g = 0; g < n; g += L) {
            Complex* __restrict a = work + g;
            Complex* __restrict b = a + half;
            for (int j = 0; j < half; ++j) {
                const double ar = a[j].re, ai = a[j].im, br = b[j].re, bi = b[j].im;
                const double wr = w[j].re, wi = Inverse ? -w[j].im : w[j].im;
                a[j].re = ar + br;
                a[j].im = ai + bi;
                const double dr = ar - br, di = ai - bi;
                b[j].re = dr * wr - di * wi;
                b[j].im = dr * wi + di * wr;
            }
        }
    }
}

void FftCore(const Complex* input, Complex* output, int k)
{
    const int n = 1 << k;
    Complex work[kMaxPoints];
    std::memcpy(static_cast<void*>(work), input, sizeof(Complex) * n);
    FftStages<false>(work, k);
    const uint16_t* rev = T().reverse[k];
    for (int i = 0; i < n; ++i)
        output[i] = work[rev[i]];
}

void InverseFftCore(const Complex* input, Complex* output, int k)
{
    const int n = 1 << k;
    Complex work[kMaxPoints];
    std::memcpy(static_cast<void*>(work), input, sizeof(Complex) * n);
    FftStages<true>(work, k);
    const uint16_t* rev = T().reverse[k];
    const double scale = 1.0 / n;
    for (int i = 0; i < n; ++i)
        output[i] = {work[rev[i]].re * scale, work[rev[i]].im * scale};
}

// Orthonormal type-II cosine transforms of two real vectors at once, through one N-point
// Fourier transform of the even/odd reordering (v(i) = x(2i), v(N-1-i) = x(2i+1)) of each,
// packed as the real and imaginary parts of one complex vector.
void DctPair(const double* x1, const double* x2, double* y1, double* y2, int k)
{
    const int n = 1 << k;
    if (n == 1) {
        y1[0] = x1[0];
        y2[0] = x2[0];
        return;
    }
    Complex z[kMaxPoints];
    for (int i = 0; i < n / 2; ++i) {
        z[i] = {x1[2 * i], x2[2 * i]};
        z[n - 1 - i] = {x1[2 * i + 1], x2[2 * i + 1]};
    }
    FftCore(z, z, k);
    const Complex* rot = T().rotation[k];
    const double s0 = 1.0 / std::sqrt(static_cast<double>(n)), s = std::sqrt(2.0 / n);
    for (int j = 0; j < n; ++j) {
        const Complex a = z[j], b = z[(n - j) & (n - 1)];
        // Spectra of the two real vectors: (a + conj b) / 2 and (a - conj b) / 2i.
        const double v1r = (a.re + b.re) / 2, v1i = (a.im - b.im) / 2;
        const double v2r = (a.im + b.im) / 2, v2i = (b.re - a.re) / 2;
        // Re(V e^(-i theta)) = cos theta Re V + sin theta Im V.
        const double c1 = rot[j].re * v1r + rot[j].im * v1i, c2 = rot[j].re * v2r + rot[j].im * v2i;
        const double scale = j == 0 ? s0 : s;
        y1[j] = c1 * scale;
        y2[j] = c2 * scale;
    }
}

// The inverse of DctPair: V(j) = e^(i theta_j) (C(j) - i C(N-j)) of each, packed, one inverse
// transform, and the even/odd order undone.
void InverseDctPair(const double* y1, const double* y2, double* x1, double* x2, int k)
{
    const int n = 1 << k;
    if (n == 1) {
        x1[0] = y1[0];
        x2[0] = y2[0];
        return;
    }
    Complex z[kMaxPoints];
    const Complex* rot = T().rotation[k];
    const double u0 = std::sqrt(static_cast<double>(n)), u = std::sqrt(n / 2.0);
    auto C = [&](const double* y, int j) { return j == 0 ? y[0] * u0 : (j < n ? y[j] * u : 0.0); };
    for (int j = 0; j < n; ++j) {
        const double a1 = C(y1, j), b1 = j ? -C(y1, n - j) : 0.0;
        const double a2 = C(y2, j), b2 = j ? -C(y2, n - j) : 0.0;
        // V = (cos + i sin)(a + i b)
        const double v1r = rot[j].re * a1 - rot[j].im * b1, v1i = rot[j].re * b1 + rot[j].im * a1;
        const double v2r = rot[j].re * a2 - rot[j].im * b2, v2i = rot[j].re * b2 + rot[j].im * a2;
        z[j] = {v1r - v2i, v1i + v2r}; // V1 + i V2
    }
    InverseFftCore(z, z, k);
    for (int i = 0; i < n / 2; ++i) {
        x1[2 * i] = z[i].re;
        x2[2 * i] = z[i].im;
        x1[2 * i + 1] = z[n - 1 - i].re;
        x2[2 * i + 1] = z[n - 1 - i].im;
    }
}

void DctCore(const double* input, double* output, int k)
{
    double unused[kMaxPoints];
    DctPair(input, input, output, unused, k);
}

void InverseDctCore(const double* input, double* output, int k)
{
    double unused[kMaxPoints];
    InverseDctPair(input, input, output, unused, k);
}

// Real parts of the inverse transforms of two spectra at once: the real part of each inverse
// is the inverse of the spectrum's conjugate-symmetric part, and two of those share one
// complex inverse transform.
void InverseRealPair(const Complex* a, const Complex* b, double* out1, double* out2, int k)
{
    const int n = 1 << k;
    Complex z[kMaxPoints];
    for (int m = 0; m < n; ++m) {
        const int r = (n - m) & (n - 1);
        const double ar = (a[m].re + a[r].re) / 2, ai = (a[m].im - a[r].im) / 2;
        const double br = (b[m].re + b[r].re) / 2, bi = (b[m].im - b[r].im) / 2;
        z[m] = {ar - bi, ai + br};
    }
    InverseFftCore(z, z, k);
    for (int t = 0; t < n; ++t) {
        out1[t] = z[t].re;
        out2[t] = z[t].im;
    }
}

// Fourier transform of every column of an n x n complex array in place: the butterflies act on
// whole rows (one twiddle per row pair), so the pass runs along memory; the rows are put into
// order by swaps at the end. Inverse: conjugate twiddles and the 1/n scale.
template <bool Inverse>
inline void RowButterfly(Complex* __restrict a, Complex* __restrict b, int n, Complex w)
{
    const double wr = w.re, wi = Inverse ? -w.im : w.im;
    for (int c = 0; c < n; ++c) {
        const double ar = a[c].re, ai = a[c].im, br = b[c].re, bi = b[c].im;
        a[c].re = ar + br;
        a[c].im = ai + bi;
        const double dr = ar - br, di = ai - bi;
        b[c].re = dr * wr - di * wi;
        b[c].im = dr * wi + di * wr;
    }
}

template <bool Inverse>
ZD_TARGET_CLONES_TEMPLATE void ColumnsFft(Complex* data, int k)
{
    const int n = 1 << k;
    const Tables& t = T();
    const size_t rowLen = static_cast<size_t>(n);
    auto row = [&](int r) { return data + static_cast<size_t>(r) * rowLen; };
    int s = 0;
    // Two stages per pass over the array (the same butterflies, half the memory traffic).
    for (; s + 1 < k; s += 2) {
        const int L = n >> s, q = L / 4;
        const Complex* w0 = t.stage[k][s].data();
        const Complex* w1 = t.stage[k][s + 1].data();
        for (int g = 0; g < n; g += L)
            for (int j = 0; j < q; ++j) {
                Complex* r0 = row(g + j);
                Complex* r1 = row(g + j + q);
                Complex* r2 = row(g + j + 2 * q);
                Complex* r3 = row(g + j + 3 * q);
                RowButterfly<Inverse>(r0, r2, n, w0[j]);
                RowButterfly<Inverse>(r1, r3, n, w0[j + q]);
                RowButterfly<Inverse>(r0, r1, n, w1[j]);
                RowButterfly<Inverse>(r2, r3, n, w1[j]);
            }
    }
    for (; s < k; ++s) {
        const int L = n >> s, half = L / 2;
        const Complex* w = t.stage[k][s].data();
        for (int g = 0; g < n; g += L)
            for (int j = 0; j < half; ++j)
                RowButterfly<Inverse>(row(g + j), row(g + j + half), n, w[j]);
    }
    const uint16_t* rev = t.reverse[k];
    for (int i = 0; i < n; ++i)
        if (i < rev[i])
            std::swap_ranges(data + static_cast<size_t>(i) * rowLen, data + static_cast<size_t>(i + 1) * rowLen,
                             data + static_cast<size_t>(rev[i]) * rowLen);
    if (Inverse) {
        const double scale = 1.0 / n;
        for (size_t i = 0; i < rowLen * rowLen; ++i)
            data[i] = {data[i].re * scale, data[i].im * scale};
    }
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
    if (n == 1)
        return 1;
    auto pair = forward ? DctPair : InverseDctPair;
    double in1[kMaxPoints], in2[kMaxPoints], out1[kMaxPoints], out2[kMaxPoints];
    auto rows = [&] {
        for (int r = 0; r < n; r += 2) {
            pair(Row(r), Row(r + 1), out1, out2, m_k);
            std::memcpy(Row(r), out1, sizeof(double) * n);
            std::memcpy(Row(r + 1), out2, sizeof(double) * n);
        }
    };
    auto columns = [&] {
        for (int c = 0; c < n; c += 2) {
            for (int r = 0; r < n; ++r) {
                in1[r] = m_data[static_cast<size_t>(r) * n + c];
                in2[r] = m_data[static_cast<size_t>(r) * n + c + 1];
            }
            pair(in1, in2, out1, out2, m_k);
            for (int r = 0; r < n; ++r) {
                m_data[static_cast<size_t>(r) * n + c] = out1[r];
                m_data[static_cast<size_t>(r) * n + c + 1] = out2[r];
            }
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
    if (n == 1) {
        output[0] = {m_data[0], 0};
        return 1;
    }
    // Two real rows share one complex transform; their spectra are separated afterwards.
    for (int r = 0; r < n; r += 2) {
        const double* a = Row(r);
        const double* b = Row(r + 1);
        for (int c = 0; c < n; ++c)
            line[c] = {a[c], b[c]};
        FftCore(line, line, m_k);
        Complex* o1 = output + static_cast<size_t>(r) * n;
        Complex* o2 = o1 + n;
        for (int m = 0; m < n; ++m) {
            const Complex z = line[m], w = line[(n - m) & (n - 1)];
            o1[m] = {(z.re + w.re) / 2, (z.im - w.im) / 2};
            o2[m] = {(z.im + w.im) / 2, (w.re - z.re) / 2};
        }
    }
    ColumnsFft<false>(output, m_k);
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
    std::memcpy(static_cast<void*>(temp.get()), input, sizeof(Complex) * n * n);
    ColumnsFft<true>(temp.get(), m_k);
    if (n == 1) {
        m_data[0] = temp[0].re;
        return 1;
    }
    for (int r = 0; r < n; r += 2)
        InverseRealPair(temp.get() + static_cast<size_t>(r) * n, temp.get() + static_cast<size_t>(r + 1) * n, Row(r),
                        Row(r + 1), m_k);
    return 1;
}
