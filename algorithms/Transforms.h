// Double-precision Fourier and orthonormal cosine transforms of power-of-two lengths, and the
// square blocks the frequency filters (descreening, camera-shake deblurring) work on.
#pragma once

#include <cstdint>
#include <memory>

struct Complex {
    double re = 0;
    double im = 0;
};
static_assert(sizeof(Complex) == 16);

constexpr int kMaxFftExponent = 9; // 512 points
constexpr int kMaxDctExponent = 8; // 256 points: its Fourier transform has twice as many

// Forward transform of N = 2^k values, unscaled: X(m) = sum x(t) e^(-2 pi i m t / N). Input and
// output may be the same array. Returns false (output untouched) when k is outside 0..9.
bool Fft1D(const Complex* input, Complex* output, int k);
// x(t) = (1/N) sum X(m) e^(2 pi i m t / N).
bool InverseFft1D(const Complex* input, Complex* output, int k);
// Orthonormal type-II cosine transform of N = 2^k values (k 0..8), and its inverse (type III).
bool Dct1D(const double* input, double* output, int k);
bool InverseDct1D(const double* input, double* output, int k);

// An n x n block of doubles, row-major, n = 2^k.
class SquareTransform {
public:
    // Frees the old block and allocates n x n doubles (contents undefined); 0 on failure or
    // when k is out of range (0..9).
    int Allocate(int k);
    double* Data() const { return m_data.get(); }
    double* Row(int r) const { return m_data.get() + static_cast<size_t>(r) * m_n; }
    int Side() const { return m_n; }
    int Exponent() const { return m_k; }

    // In place: forward = every row, then every column; inverse = columns, then rows. k <= 8.
    int Dct2D(bool forward);
    // output: n x n complex values, row-major; rows of the block, then columns of the result.
    int Fft2D(Complex* output) const;
    // Columns, then rows; the real parts become the block.
    int InverseFft2D(const Complex* input);

private:
    std::unique_ptr<double[]> m_data;
    int m_n = 0;
    int m_k = 0;
};
