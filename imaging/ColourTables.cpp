// Gamma tables and colour conversions. The tables scale by 1/256 and 1/65536 rather than
// 1/255 and 1/65535: white decodes to 64955, and every 8-bit level survives the round trip.
#include "imaging/ColourTables.h"

#include "imaging/RowRanges.h"

#include <algorithm>
#include <climits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

uint16_t SrgbDecodeTable[256];
uint8_t SrgbEncodeTable[65536];
uint16_t AdobeDecodeTable[256];

namespace {

// The primaries mix, split into per-level products so the per-pixel work is two look-ups and
// an addition; the sums are the same doubles as multiplying in the loop.
double MixB_B[256], MixB_G[256], MixR_R[256], MixR_G[256];

// The dither's shares of each level's rounding error (2/5 in the low half, 1/5 in the high
// half, each truncated toward zero), so the chain from one pixel to the next is one look-up;
// errors stay within +-580.
uint32_t DitherShares[65536];

uint16_t Clamp16(double v)
{
    // Truncate toward zero, then clamp.
    if (!(v > 0))
        return 0;
    if (v >= 65535.0)
        return 65535;
    return uint16_t(int32_t(v));
}

template <class T>
T ClampInt(int64_t v, int64_t hi)
{
    return T(std::clamp<int64_t>(v, 0, hi));
}

// R' and B' of the change from the working primaries back to sRGB primaries.
inline void UnmixPrimaries(uint16_t b, uint16_t g, uint16_t r, uint16_t& bOut, uint16_t& rOut)
{
    rOut = Clamp16(double(r) + double(int32_t(r) - int32_t(g)) * 0.39832);
    bOut = Clamp16(double(b) + double(int32_t(b) - int32_t(g)) * 0.0429289);
}

// UnmixPrimaries on a run of pixels, two lanes of doubles at a time (B with G, R with A): the
// same multiplication, addition, truncation and clamp per channel, so the same values; G and
// A come through unchanged ((G - G) and (A - G) are multiplied by 0).
void UnmixPrimariesRow(const uint16_t* s, uint16_t* d, size_t count)
{
#ifndef __SSE2__
    for (size_t i = 0; i < count; ++i, s += 4, d += 4) {
        UnmixPrimaries(s[0], s[1], s[2], d[0], d[2]);
        d[1] = s[1];
        d[3] = s[3];
    }
#else
    const __m128d kBG = _mm_set_pd(0.0, 0.0429289), kRA = _mm_set_pd(0.0, 0.39832);
    const __m128d zero = _mm_setzero_pd(), top = _mm_set1_pd(65535.0);
    const __m128i bias32 = _mm_set1_epi32(32768), bias16 = _mm_set1_epi16(int16_t(-32768));
    for (size_t i = 0; i < count; ++i) {
        const __m128i px = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + i * 4));
        const __m128i v = _mm_unpacklo_epi16(px, _mm_setzero_si128());                  // B G R A
        const __m128i diff = _mm_sub_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 1, 1, 1))); // minus G
        __m128d bg = _mm_add_pd(_mm_cvtepi32_pd(v), _mm_mul_pd(_mm_cvtepi32_pd(diff), kBG));
        __m128d ra = _mm_add_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(v, _MM_SHUFFLE(3, 2, 3, 2))),
                                _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(diff, _MM_SHUFFLE(3, 2, 3, 2))), kRA));
        bg = _mm_min_pd(_mm_max_pd(bg, zero), top);
        ra = _mm_min_pd(_mm_max_pd(ra, zero), top);
        // Truncated to 32 bits, then packed to 16 without signed saturation getting in the way.
        const __m128i all = _mm_sub_epi32(_mm_unpacklo_epi64(_mm_cvttpd_epi32(bg), _mm_cvttpd_epi32(ra)), bias32);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + i * 4), _mm_xor_si128(_mm_packs_epi32(all, all), bias16));
    }
#endif
}

inline uint16_t Alpha8To16(uint8_t a)
{
    return a == 255 ? 0xFFFF : uint16_t(a * 256);
}

bool Fits(uint32_t have, uint32_t need)
{
    return have >= need;
}

} // namespace

void BuildGammaTables()
{
    for (int i = 0; i < 256; ++i) {
        const double a = i / 256.0;
        AdobeDecodeTable[i] = uint16_t(std::pow(a, 2.19921875) * 65536.0 + 0.5);
        const double v = a < 0.0404499 ? a / 12.92 : std::pow((a + 0.055) / 1.055, 2.4);
        SrgbDecodeTable[i] = uint16_t(v * 65536.0 + 0.5);
    }
    for (int j = 0; j < 65536; ++j) {
        const double x = j / 65536.0;
        const double e = x < 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 0.4166666666666667) - 0.055;
        SrgbEncodeTable[j] = uint8_t(std::min(255, int(e * 256.0 + 0.5)));
    }
    for (int j = 0; j < 65536; ++j) {
        const int32_t error = j - int32_t(SrgbDecodeTable[SrgbEncodeTable[j]]);
        DitherShares[j] = uint32_t(uint16_t(int16_t(2 * error / 5))) | uint32_t(uint16_t(int16_t(error / 5))) << 16;
    }
    for (int i = 0; i < 256; ++i) {
        const double d = SrgbDecodeTable[i];
        MixB_B[i] = 0.958839 * d;
        MixB_G[i] = 0.041166 * d;
        MixR_R[i] = 0.715146 * d;
        MixR_G[i] = 0.284856 * d;
    }
}

namespace {

// Rows of one picture's pixels: the conversions run per row range on the helpers, and a range
// covers whole rows of the source's width (a destination may be larger; only the first
// pixelCount pixels are written).
template <class PixelFn>
int ConvertRows(size_t pixelCount, int width, PixelFn&& convert)
{
    const int64_t rows = width > 0 ? int64_t((pixelCount + size_t(width) - 1) / size_t(width)) : 0;
    if (rows < 2 || rows > INT32_MAX) {
        convert(size_t(0), pixelCount);
        return 1;
    }
    RunRowRanges(int(rows), width, [&](int first, int end) {
        const size_t begin = size_t(first) * size_t(width);
        convert(begin, std::min(pixelCount, size_t(end) * size_t(width)));
        return true;
    });
    return 1;
}

} // namespace

void ConvertRow8To16(const uint8_t* s, uint16_t* d, size_t count, int mode)
{
    if (mode == kConvertSrgb) {
        for (size_t i = 0; i < count; ++i, s += 4, d += 4) {
            const uint8_t b = s[0], g = s[1], r = s[2];
            d[0] = uint16_t(int32_t(MixB_B[b] + MixB_G[g]));
            d[1] = SrgbDecodeTable[g];
            d[2] = uint16_t(int32_t(MixR_R[r] + MixR_G[g]));
            d[3] = Alpha8To16(s[3]);
        }
        return;
    }
    for (size_t i = 0; i < count; ++i, s += 4, d += 4) {
        d[0] = SrgbDecodeTable[s[0]];
        d[1] = SrgbDecodeTable[s[1]];
        d[2] = SrgbDecodeTable[s[2]];
        d[3] = Alpha8To16(s[3]);
    }
}

int ConvertPixels8To16(const ImageBuffer8& source, ImageBuffer16& destination)
{
    if (!source.data || !destination.data || !Fits(destination.pixelCount, source.pixelCount))
        return 0;
    return ConvertRows(source.pixelCount, source.width, [&](size_t begin, size_t end) {
        ConvertRow8To16(source.data + begin * 4, destination.data + begin * 4, end - begin, kConvertSrgb);
    });
}

int ConvertPixels8To16Linear(const ImageBuffer8& source, ImageBuffer16& destination)
{
    if (!source.data || !destination.data || !Fits(destination.pixelCount, source.pixelCount))
        return 0;
    return ConvertRows(source.pixelCount, source.width, [&](size_t begin, size_t end) {
        ConvertRow8To16(source.data + begin * 4, destination.data + begin * 4, end - begin, kConvertAdobe);
    });
}

void ConvertPixel16To8(const uint16_t* p, uint8_t* out)
{
    uint16_t b, r;
    UnmixPrimaries(p[0], p[1], p[2], b, r);
    out[0] = SrgbEncodeTable[b];
    out[1] = SrgbEncodeTable[p[1]];
    out[2] = SrgbEncodeTable[r];
    out[3] = uint8_t(p[3] >> 8);
}

int ConvertPixels16To8(const ImageBuffer16& source, ImageBuffer8& destination)
{
    if (!source.data || !destination.data || !Fits(destination.pixelCount, source.pixelCount))
        return 0;
    return ConvertRows(source.pixelCount, source.width, [&](size_t begin, size_t end) {
        const uint16_t* s = source.data + begin * 4;
        uint8_t* d = destination.data + begin * 4;
        for (size_t i = begin; i < end; ++i, s += 4, d += 4)
            ConvertPixel16To8(s, d);
    });
}

void ConvertPrimaries16(ImageBuffer16& image)
{
    if (!image.data)
        return;
    uint16_t* p = image.data;
    for (size_t i = 0, n = image.pixelCount; i < n; ++i, p += 4)
        UnmixPrimaries(p[0], p[1], p[2], p[0], p[2]);
}

int ConvertImage8To16(ImageBuffer16& destination, const ImageBuffer8& source, int mode)
{
    if (!source.data || (mode != kConvertSrgb && mode != kConvertAdobe))
        return 0;
    if (!AllocImage16(destination, source.width, source.height))
        return 0;
    return mode == kConvertSrgb ? ConvertPixels8To16(source, destination)
                                : ConvertPixels8To16Linear(source, destination);
}

int ConvertImage16To8(const ImageBuffer16& source, ImageBuffer8& destination)
{
    if (!source.data || !AllocImage8(destination, source.width, source.height))
        return 0;
    return ConvertPixels16To8(source, destination);
}

namespace {

inline uint16_t AddClamped(uint16_t v, int32_t e)
{
    // Shares are small, so leaving the range is rare: a branch costs less than two selects.
    const int32_t t = int32_t(v) + e;
    if (__builtin_expect(uint32_t(t) > 65535u, 0))
        return t < 0 ? 0 : 65535;
    return uint16_t(t);
}

// One row of the dither in flight. `carry` holds, per channel, the share the pixel to the
// left passes right: it stays in a register instead of going through the working row.
struct DitherRow {
    const uint16_t* cur = nullptr;  // working values (primaries converted, shares from above in)
    uint16_t* below = nullptr;      // next working row, or null for the last row
    uint8_t* out = nullptr;
    int32_t carry[3] = { 0, 0, 0 };

    // A pixel with neighbours right and below: encodes it and spreads its rounding error,
    // 2/5 right, 2/5 below, 1/5 below-right, each neighbour clamped at once.
    inline void Inner(int x)
    {
        const uint16_t* p = cur + size_t(x) * 4;
        uint8_t* o = out + size_t(x) * 4;
        uint16_t* b = below + size_t(x) * 4;
        o[3] = uint8_t(p[3] >> 8);
        for (int c = 0; c < 3; ++c) {
            const uint16_t v = AddClamped(p[c], carry[c]);
            o[c] = SrgbEncodeTable[v];
            const uint32_t shares = DitherShares[v];
            const int32_t twoFifths = int16_t(shares);
            carry[c] = twoFifths;
            b[c] = AddClamped(b[c], twoFifths);
            b[4 + c] = AddClamped(b[4 + c], int16_t(shares >> 16));
        }
    }

    // Any pixel: the last row and the last column pass nothing on.
    inline void Step(int x, int width)
    {
        const uint16_t* p = cur + size_t(x) * 4;
        uint8_t* o = out + size_t(x) * 4;
        o[3] = uint8_t(p[3] >> 8);
        if (!below) {
            for (int c = 0; c < 3; ++c)
                o[c] = SrgbEncodeTable[p[c]];
            return;
        }
        uint16_t* b = below + size_t(x) * 4;
        const bool right = x + 1 < width;
        for (int c = 0; c < 3; ++c) {
            const uint16_t v = AddClamped(p[c], carry[c]);
            o[c] = SrgbEncodeTable[v];
            const uint32_t shares = DitherShares[v];
            const int32_t twoFifths = int16_t(shares), fifth = int16_t(shares >> 16);
            carry[c] = twoFifths;
            if (right) {
                b[c] = AddClamped(b[c], twoFifths);
                b[4 + c] = AddClamped(b[4 + c], fifth);
            }
        }
    }
};

} // namespace

int ConvertImage16To8Dithered(const ImageBuffer16& source, ImageBuffer8& destination)
{
    if (!source.data || !AllocImage8(destination, source.width, source.height))
        return 0;
    // The result is that of converting the primaries of a whole copy first and diffusing into
    // it, row after row. A pixel takes its errors from above-left, above and left, in that
    // order, so row y may encode pixel x once row y - 1 has finished pixel x + 1. Rows go in
    // groups: within a group each row runs one pixel behind the one above, interleaved in one
    // loop, so the group's error chains overlap in the processor; groups run as a wavefront on
    // the helpers, each a little behind the one above. Every pixel sees the same additions in
    // the same order as on one thread. Only a ring of working rows is kept; a row is loaded
    // (primaries converted) by the group above it before anything diffuses into it.
    const int width = source.width;
    const int height = source.height;
    if (width <= 0 || height <= 0)
        return 1;
    const size_t rowValues = size_t(width) * 4;
    constexpr int kGroup = 4;   // rows interleaved in one loop
    constexpr int kRing = 64;   // rows in flight: far more than helpers times the group
    constexpr int kBlock = 64;  // pixels between progress marks
    const int ringRows = std::min(kRing, height);
    std::unique_ptr<uint16_t[]> ring(AllocNoThrow<uint16_t>(int64_t(rowValues) * ringRows));
    // One cache line per row's mark: neighbouring rows' threads poll them all the time.
    struct alignas(64) Mark {
        std::atomic<int> pixels{0};
    };
    std::unique_ptr<Mark[]> marks(new (std::nothrow) Mark[size_t(height)]);
    if (!ring || !marks)
        return 0;
    auto done = [&](int y) -> std::atomic<int>& { return marks[size_t(y)].pixels; };
    auto publish = [&](int y, int pixels) {
        done(y).store(pixels, std::memory_order_release);
        done(y).notify_all();
    };
    std::atomic<int> nextGroup{0};
    // A row whose thread the system puts aside holds up every row below it, so the wavefront
    // takes at most four threads: on a busy machine more would wait more than they work.
    constexpr int kMaxWavefrontThreads = 4;
    std::atomic<int> joined{0};
    auto slot = [&](int y) { return ring.get() + size_t(y % ringRows) * rowValues; };
    // Groups are claimed in order, and a row only waits for rows claimed before it, so any
    // number of threads (one included) finishes.
    // A short spin covers the usual lag of a block; past it the thread sleeps until the row
    // above moves on (a busy machine may have put that row's thread aside).
    auto waitFor = [](const std::atomic<int>& mark, int level) {
        int seen = mark.load(std::memory_order_acquire);
        for (int spins = 0; seen < level; ++spins) {
            if (spins < 256)
                __builtin_ia32_pause();
            else
                mark.wait(seen, std::memory_order_acquire);
            seen = mark.load(std::memory_order_acquire);
        }
    };
    auto loadRow = [&](int y) {
        // Its slot is free once the row that used it before has finished.
        if (y >= ringRows)
            waitFor(done(y - ringRows), width);
        UnmixPrimariesRow(source.data + size_t(y) * rowValues, slot(y), size_t(width));
    };
    auto runGroups = [&](int, int) {
        if (joined.fetch_add(1, std::memory_order_relaxed) >= kMaxWavefrontThreads)
            return true;
        for (int g; int64_t(g = nextGroup.fetch_add(1, std::memory_order_relaxed)) * kGroup < height;) {
            const int y0 = g * kGroup;
            const int rows = std::min(kGroup, height - y0);
            if (y0 == 0)
                loadRow(0);
            DitherRow row[kGroup];
            for (int j = 0; j < rows; ++j) {
                const int y = y0 + j;
                if (y + 1 < height) {
                    loadRow(y + 1);
                    row[j].below = slot(y + 1);
                }
                row[j].cur = slot(y);
                row[j].out = destination.data + size_t(y) * rowValues;
            }
            // Row j of the group runs j pixels behind row 0; the loop goes on until the last
            // row of the group has had its last pixel.
            const int span = width + rows - 1;
            for (int x0 = 0; x0 < span; x0 += kBlock) {
                const int x1 = std::min(span, x0 + kBlock);
                if (y0 > 0)
                    waitFor(done(y0 - 1), std::min(width, x1 + 1));
                if (rows == kGroup && y0 + kGroup < height && x0 >= kGroup - 1 && x1 < width) {
                    // Every row of the group has a row below and every pixel a right neighbour.
                    DitherRow r0 = row[0], r1 = row[1], r2 = row[2], r3 = row[3];
                    static_assert(kGroup == 4);
                    for (int x = x0; x < x1; ++x) {
                        r0.Inner(x);
                        r1.Inner(x - 1);
                        r2.Inner(x - 2);
                        r3.Inner(x - 3);
                    }
                    row[0] = r0, row[1] = r1, row[2] = r2, row[3] = r3;
                } else {
                    for (int x = x0; x < x1; ++x)
                        for (int j = 0; j < rows; ++j)
                            if (x - j >= 0 && x - j < width)
                                row[j].Step(x - j, width);
                }
                for (int j = 0; j < rows; ++j)
                    publish(y0 + j, std::clamp(x1 - j, 0, width));
            }
        }
        return true;
    };
    // One range per thread that may join; a range finds no groups left once others took them.
    RunRowRanges(64, int64_t(width) * height / 64, runGroups);
    return done(height - 1).load(std::memory_order_acquire) == width ? 1 : 0;
}

int ConvertImage16ToGrey8(const ImageBuffer16& source, Plane8& plane)
{
    if (!source.data || !AllocPlane8(plane, source.width, source.height))
        return 0;
    const uint16_t* s = source.data;
    for (size_t i = 0, n = source.pixelCount; i < n; ++i, s += 4)
        plane.data[i] = SrgbEncodeTable[(3 * uint32_t(s[2]) + 6 * uint32_t(s[1]) + s[0]) / 10];
    return 1;
}

void AdobeRgbToSrgb8(ImageBuffer8& image)
{
    if (!image.data)
        return;
    uint8_t* p = image.data;
    for (size_t i = 0, n = image.pixelCount; i < n; ++i, p += 4) {
        const double r = AdobeDecodeTable[p[2]];
        const double g = AdobeDecodeTable[p[1]];
        const double b = AdobeDecodeTable[p[0]];
        const double X = 0.57667 * r + 0.18556 * g + 0.18823 * b;
        const double Y = 0.29734 * r + 0.62736 * g + 0.07529 * b;
        const double Z = 0.02703 * r + 0.07069 * g + 0.99134 * b;
        p[2] = SrgbEncodeTable[Clamp16(3.2406 * X - 1.5372 * Y - 0.4986 * Z)];
        p[1] = SrgbEncodeTable[Clamp16(-0.9689 * X + 1.8758 * Y + 0.0415 * Z)];
        p[0] = SrgbEncodeTable[Clamp16(0.0557 * X - 0.204 * Y + 1.057 * Z)];
    }
}

namespace {

// One YCbCr pair for both depths: `half` is 128 or 32768 and the subtracted constants are
// `half` times the factors. Shifts of negative values are arithmetic (C++20).
template <class Pixel, int64_t Half, int64_t Max>
void ToYCbCr(Pixel* p, size_t count)
{
    for (size_t i = 0; i < count; ++i, p += 4) {
        const int64_t B = p[0], G = p[1], R = p[2];
        const int64_t Y = (306 * R + 601 * G + 117 * B) >> 10;
        const int64_t Cb = (((B - Y) * 579) >> 10) + Half;
        const int64_t Cr = (((R - Y) * 730) >> 10) + Half;
        p[2] = ClampInt<Pixel>(Y, Max);
        p[1] = ClampInt<Pixel>(Cb, Max);
        p[0] = ClampInt<Pixel>(Cr, Max);
    }
}

template <class Pixel, int64_t Half, int64_t Max>
void FromYCbCr(const Pixel* p, Pixel* out, size_t count)
{
    for (size_t i = 0; i < count; ++i, p += 4, out += 4) {
        const int64_t Y = p[2], Cb = p[1], Cr = p[0];
        const int64_t R = Y + ((1437 * Cr - 1437 * Half) >> 10);
        const int64_t B = Y + ((1812 * Cb - 1812 * Half) >> 10);
        const int64_t G = Y - ((731 * Cr + 352 * Cb - (731 + 352) * Half) >> 10);
        out[3] = p[3];
        out[2] = ClampInt<Pixel>(R, Max);
        out[1] = ClampInt<Pixel>(G, Max);
        out[0] = ClampInt<Pixel>(B, Max);
    }
}

} // namespace

void RgbToYCbCrRow8(uint8_t* pixels, size_t count)
{
    ToYCbCr<uint8_t, 128, 255>(pixels, count);
}

void YCbCrToRgbRow8(const uint8_t* pixels, uint8_t* out, size_t count)
{
    FromYCbCr<uint8_t, 128, 255>(pixels, out, count);
}

// Pixels are independent: row ranges on the helpers give the same bytes.
void RgbToYCbCr8(ImageBuffer8& image)
{
    if (image.data)
        ConvertRows(image.pixelCount, image.width, [&](size_t begin, size_t end) {
            ToYCbCr<uint8_t, 128, 255>(image.data + begin * 4, end - begin);
        });
}

void YCbCrToRgb8(ImageBuffer8& image)
{
    if (image.data)
        ConvertRows(image.pixelCount, image.width, [&](size_t begin, size_t end) {
            FromYCbCr<uint8_t, 128, 255>(image.data + begin * 4, image.data + begin * 4, end - begin);
        });
}

void RgbToYCbCr16(ImageBuffer16& image)
{
    if (image.data)
        ConvertRows(image.pixelCount, image.width, [&](size_t begin, size_t end) {
            ToYCbCr<uint16_t, 32768, 65535>(image.data + begin * 4, end - begin);
        });
}

void YCbCrToRgb16(ImageBuffer16& image)
{
    if (image.data)
        ConvertRows(image.pixelCount, image.width, [&](size_t begin, size_t end) {
            FromYCbCr<uint16_t, 32768, 65535>(image.data + begin * 4, image.data + begin * 4, end - begin);
        });
}

void RgbToHsl16(uint16_t* p, size_t count)
{
    if (!p)
        return;
    for (size_t i = 0; i < count; ++i, p += 4) {
        const double r = p[2] / 65535.0, g = p[1] / 65535.0, b = p[0] / 65535.0;
        const double mx = std::max({r, g, b});
        const double mn = std::min({r, g, b});
        const double L = (mx + mn) / 2;
        double H = 0, S = 0;
        if (mx != mn) {
            const double delta = mx - mn;
            S = L < 0.5 ? delta / (mx + mn) : delta / (2 - mx - mn);
            const double dR = ((mx - r) / 6 + delta / 2) / delta;
            const double dG = ((mx - g) / 6 + delta / 2) / delta;
            const double dB = ((mx - b) / 6 + delta / 2) / delta;
            if (mx == r)
                H = dB - dG;
            else if (mx == g)
                H = 1.0 / 3 + dR - dB;
            else
                H = 2.0 / 3 + dG - dR;
            if (H < 0)
                H += 1;
            if (H > 1)
                H -= 1;
        }
        p[2] = Clamp16(H * 65535);
        p[1] = Clamp16(S * 65535);
        p[0] = Clamp16(L * 65535);
    }
}

namespace {

double Hue(double low, double high, double t)
{
    if (t < 0)
        t += 1;
    if (t > 1)
        t -= 1;
    if (6 * t < 1)
        return low + (high - low) * 6 * t;
    if (2 * t < 1)
        return high;
    if (3 * t < 2)
        return low + (high - low) * (2.0 / 3 - t) * 6;
    return low;
}

} // namespace

void HslToRgb16(uint16_t* p, size_t count)
{
    if (!p)
        return;
    for (size_t i = 0; i < count; ++i, p += 4) {
        if (p[1] == 0) {
            p[2] = p[0];
            p[1] = p[0];
            continue;
        }
        const double H = p[2] / 65535.0, S = p[1] / 65535.0, L = p[0] / 65535.0;
        const double high = L < 0.5 ? L * (1 + S) : L + S - L * S;
        const double low = 2 * L - high;
        p[2] = Clamp16(Hue(low, high, H + 1.0 / 3) * 65535);
        p[1] = Clamp16(Hue(low, high, H) * 65535);
        p[0] = Clamp16(Hue(low, high, H - 1.0 / 3) * 65535);
    }
}
