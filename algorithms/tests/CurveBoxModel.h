// The curve box's lookup table built from its points by the box's own rules (straight or smooth
// segments, 16-bit linear or 8-bit sRGB editing), for measuring how far a curve replayed from its
// stored control values lies from the table the dialog ran with.
#pragma once

#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

struct BoxPoint {
    int x, y; // 16-bit linear input and output
};

namespace curvebox {

inline double Encode(double v)
{
    return v < 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

inline double Decode(double u)
{
    return u < 0.0404499 ? u / 12.92 : std::pow((u + 0.055) / 1.055, 2.4);
}

// Output units per input unit at every point: one-sided at the ends, central inside.
inline std::vector<double> Tangents(const std::vector<double>& x, const std::vector<double>& y)
{
    const size_t n = x.size();
    std::vector<double> m(n);
    m[0] = 1.5 * (y[1] - y[0]) / (x[1] - x[0]) - 0.5 * (y[2] - y[0]) / (x[2] - x[0]);
    m[n - 1] = 1.5 * (y[n - 1] - y[n - 2]) / (x[n - 1] - x[n - 2]) -
               0.5 * (y[n - 1] - y[n - 3]) / (x[n - 1] - x[n - 3]);
    for (size_t i = 1; i + 1 < n; ++i)
        m[i] = (y[i + 1] - y[i - 1]) / (x[i + 1] - x[i - 1]);
    return m;
}

inline double Hermite(double a, double x0, double x1, double y0, double y1, double m0, double m1)
{
    const double t = (a - x0) / (x1 - x0), s = 1 - t;
    return (1 + 2 * t) * s * s * y0 + s * s * (a - x0) * m0 + (1 + 2 * s) * t * t * y1 + t * t * (a - x1) * m1;
}

} // namespace curvebox

// bitMode 2: points placed and interpolated in 16-bit linear values; 1: in 8-bit sRGB values
// (points meeting after the encoding merge), sampled at e x 255. Needs the gamma tables.
inline std::vector<uint16_t> CurveBoxTable(const std::vector<BoxPoint>& p, bool smooth, int bitMode)
{
    using namespace curvebox;
    std::vector<uint16_t> t(65536, 0);
    if (p.size() < 2)
        return t;
    for (int i = p.back().x; i < 65536; ++i)
        t[i] = static_cast<uint16_t>(p.back().y);
    std::vector<double> X, Y;
    for (const BoxPoint& q : p) {
        const double x = bitMode == 1 ? SrgbEncodeTable[q.x] : q.x;
        const double y = bitMode == 1 ? SrgbEncodeTable[q.y] : q.y;
        if (!X.empty() && x == X.back()) {
            Y.back() = y;
            continue;
        }
        X.push_back(x), Y.push_back(y);
    }
    const size_t n = X.size();
    const bool hermite = smooth && n >= 3;
    const std::vector<double> m = hermite ? Tangents(X, Y) : std::vector<double>(n, 0.0);
    if (bitMode == 1) {
        double T[256] = {};
        if (hermite) {
            for (int k = 0; k < 256; ++k) {
                if (k < X[0])
                    continue;
                size_t i = 0;
                while (i + 1 < n && k >= X[i + 1])
                    ++i;
                T[k] = i + 1 < n ? Hermite(k, X[i], X[i + 1], Y[i], Y[i + 1], m[i], m[i + 1]) : Y[n - 1];
            }
        } else {
            for (int k = static_cast<int>(X[n - 1]); k < 256; ++k)
                T[k] = 255;
            for (size_t i = 0; i + 1 < n; ++i)
                for (int k = static_cast<int>(X[i]); k <= X[i + 1]; ++k) {
                    const double s = (k - X[i]) / (X[i + 1] - X[i]);
                    T[k] = (1 - s) * Y[i] + s * Y[i + 1];
                }
        }
        for (int i = 0; i < 65536; ++i) {
            const double e = Encode(i / 65535.0) * 255;
            const int c = static_cast<int>(e);
            const double f = e - c;
            const double v = c <= 254 ? (1 - f) * T[c] + f * T[c + 1] : T[c];
            t[i] = static_cast<uint16_t>(std::clamp(Decode(v / 255) * 65535 + 0.5, 0.0, 65535.0));
        }
        return t;
    }
    for (size_t i = 0; i + 1 < n; ++i)
        for (int a = static_cast<int>(X[i]); a < X[i + 1]; ++a) {
            double v;
            if (hermite) {
                v = std::clamp(Hermite(a, X[i], X[i + 1], Y[i], Y[i + 1], m[i], m[i + 1]), 0.0, 65535.0);
            } else {
                const double s = (a - X[i]) / (X[i + 1] - X[i]);
                v = (1 - s) * Y[i] + s * Y[i + 1];
            }
            t[a] = static_cast<uint16_t>(v + 0.5);
        }
    return t;
}
