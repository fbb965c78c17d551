// Tone-table shapes and curve packing. Results are exact to the integer: callers store and
// compare them.
#include "algorithms/ToneLut.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

inline uint16_t Clamp16(int64_t v)
{
    return static_cast<uint16_t>(std::clamp<int64_t>(v, 0, 65535));
}

// (int)(x) for a real that may be far outside int range: saturate instead of undefined.
inline int64_t TruncWide(double x)
{
    if (!(x == x))
        return 0;
    return static_cast<int64_t>(std::clamp(x, -1e15, 1e15));
}

double SrgbEncode(double x)
{
    return x < 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1.0 / 2.4) - 0.055;
}

double SrgbDecode(double f)
{
    return f < 0.0404499 ? f / 12.92 : std::pow((f + 0.055) / 1.055, 2.4);
}

} // namespace

void BuildToneLut(uint16_t* t, int type, double a, double b)
{
    if (type & ToneLutIdentity)
        for (int i = 0; i < kToneLutSize; ++i)
            t[i] = static_cast<uint16_t>(i);

    switch (type & 0xFF) {
    case ToneLutBrightness: {
        const int64_t roll = TruncWide(b);
        for (int i = 0; i < kToneLutSize; ++i) {
            const int64_t v = t[i];
            int64_t x = TruncWide(v * a + 0.5);
            if (roll > 0 && v > 65535 - roll) {
                const int64_t d = ((v - (65535 - roll)) * 256) / roll;
                x = (v * d + x * (256 - d)) >> 8;
            }
            t[i] = Clamp16(x);
        }
        break;
    }
    case ToneLutGamma:
        for (int i = 0; i < kToneLutSize; ++i)
            t[i] = Clamp16(TruncWide(std::pow(i / 65535.0, a) * 65535 + 0.5));
        break;
    case ToneLutContrast: {
        const int64_t roll = std::min<int64_t>(TruncWide(b), 32766);
        for (int i = 0; i < kToneLutSize; ++i) {
            const int64_t v = t[i];
            const int64_t dist = v > 32768 ? v - 32768 : 32768 - v;
            int64_t x = TruncWide(dist * a + 0.5);
            if (roll > 0 && dist > 32768 - roll) {
                const int64_t d = ((dist - (32768 - roll)) * 256) / roll;
                x = (dist * d + x * (256 - d)) >> 8;
            }
            x = std::min<int64_t>(x, 32767);
            t[i] = Clamp16(v > 32767 ? 32768 + x : 32768 - x);
        }
        break;
    }
    case ToneLutSine:
        for (int i = 0; i < kToneLutSize; ++i) {
            const double x = t[i] / 65536.0;
            t[i] = Clamp16(TruncWide((std::sin(6.283 * x) * a + x) * 65536));
        }
        break;
    case ToneLutLevelsLinear: {
        const int64_t lo = TruncWide(a), hi = TruncWide(b);
        for (int i = 0; i < kToneLutSize; ++i) {
            if (i < lo)
                t[i] = 0;
            else if (i < hi)
                t[i] = Clamp16(TruncWide((i - lo) * 65535.0 / static_cast<double>(hi - lo)));
            else
                t[i] = 65535;
        }
        break;
    }
    case ToneLutLevelsGamma: {
        const double c = SrgbEncode(TruncWide(a) / 65535.0);
        const double d = SrgbEncode(TruncWide(b) / 65535.0);
        for (int i = 0; i < kToneLutSize; ++i) {
            const double e = SrgbEncode(i / 65535.0);
            if (c >= e)
                t[i] = 0;
            else if (d > e)
                t[i] = Clamp16(TruncWide(SrgbDecode((e - c) / (d - c)) * 65535 + 0.5));
            else
                t[i] = 65535;
        }
        break;
    }
    default:
        break;
    }
}

void CurveToControlValues(const uint16_t* curve, CurveControlValues& out)
{
    for (int k = 0; k < kCurveControlCount; ++k)
        out[k] = curve[CurveKnot(k)];
}

void ControlValuesToCurve(uint16_t* curve, const CurveControlValues& values)
{
    for (int k = 0; k + 1 < kCurveControlCount; ++k) {
        const int x0 = CurveKnot(k), x1 = CurveKnot(k + 1);
        const int y0 = values[k], y1 = values[k + 1];
        for (int x = x0; x <= x1; ++x)
            curve[x] = static_cast<uint16_t>(y0 + ((x - x0) * (y1 - y0)) / (x1 - x0));
    }
}

void WriteControlValues(const CurveControlValues& values, uint8_t* out)
{
    for (int k = 0; k < kCurveControlCount; ++k) {
        out[2 * k] = static_cast<uint8_t>(values[k] & 0xFF);
        out[2 * k + 1] = static_cast<uint8_t>(values[k] >> 8);
    }
}

void ReadControlValues(const uint8_t* in, CurveControlValues& values)
{
    for (int k = 0; k < kCurveControlCount; ++k)
        values[k] = static_cast<uint16_t>(in[2 * k] | (in[2 * k + 1] << 8));
}

namespace {
constexpr size_t kBlockBytes = kCurveControlCount * 2;

int CurveBlocksForMode(int mode)
{
    if (mode == 0 || mode == 4)
        return 1;
    if (mode >= 1 && mode <= 3)
        return 3;
    return -1;
}
} // namespace

std::vector<uint8_t> PackCurveStep(int mode, const uint16_t* tables)
{
    const int blocks = CurveBlocksForMode(mode);
    std::vector<uint8_t> out(1, static_cast<uint8_t>(mode));
    for (int i = 0; i < blocks; ++i) {
        CurveControlValues v;
        CurveToControlValues(tables + static_cast<size_t>(i) * kToneLutSize, v);
        const size_t at = out.size();
        out.resize(at + kBlockBytes);
        WriteControlValues(v, out.data() + at);
    }
    return out;
}

bool UnpackCurveStep(const uint8_t* bytes, size_t length, int& mode, ToneTable& tables)
{
    if (!bytes || length < 1)
        return false;
    mode = bytes[0];
    const int blocks = CurveBlocksForMode(mode);
    if (blocks < 0 || length < 1 + blocks * kBlockBytes)
        return false;
    tables.assign(static_cast<size_t>(blocks) * kToneLutSize, 0);
    for (int i = 0; i < blocks; ++i) {
        CurveControlValues v;
        ReadControlValues(bytes + 1 + i * kBlockBytes, v);
        ControlValuesToCurve(tables.data() + static_cast<size_t>(i) * kToneLutSize, v);
    }
    return true;
}
