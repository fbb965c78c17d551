// Integer convolution. Interior rows are summed tap by tap across the whole row run so the
// compiler can vectorise; the border uses clamped positions pixel by pixel.
#include "imaging/ConvolutionKernel.h"
#include "imaging/RowRanges.h"
#include "imaging/WeightedSum.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr int kChunkPixels = 256;

struct Tap {
    int32_t dx, dy, w;  // offset from (left, top) and weight
};

// Channels: interleaved channels per pixel in memory; Used: how many of them are written
// (B, G, R of four; the one of a plane).
template <class Pixel, int Channels, int Used, class Acc>
void Convolve(const ConvolutionKernel& k, const std::vector<Tap>& taps, const Pixel* src,
              Pixel* dst, int width, int height, int rowBegin, int rowEnd, Acc* acc)
{
    constexpr int64_t kMax = std::numeric_limits<Pixel>::max();
    const size_t stride = size_t(width) * Channels;
    const double divisor = k.divisor;
    auto store = [&](Pixel* out, const Acc* sum) {
        for (int c = 0; c < Used; ++c) {
            int64_t v;
            if constexpr (sizeof(Acc) == 4) {
                // For 32-bit operands the correctly rounded double quotient truncates to the
                // same value as integer division, and is much cheaper than an integer divide.
                v = int64_t(double(sum[c]) / divisor);
            } else {
                v = int64_t(sum[c]) / k.divisor;
            }
            out[c] = Pixel(std::clamp<int64_t>(v, 0, kMax));
        }
    };
    auto clampedPixel = [&](int x, int y) {
        const int left = x - k.centreX, top = y - k.centreY;
        Acc sum[Channels] = {};
        for (const Tap& t : taps) {
            const int sx = std::clamp(left + t.dx, 0, width - 1);
            const int sy = std::clamp(top + t.dy, 0, height - 1);
            const Pixel* p = src + size_t(sy) * stride + size_t(sx) * Channels;
            for (int c = 0; c < Used; ++c)
                sum[c] += Acc(t.w) * Acc(p[c]);
        }
        store(dst + size_t(y) * stride + size_t(x) * Channels, sum);
    };
    // The whole kernel lies inside for left in [0, width - kernel width) and likewise top.
    const int xBegin = std::min(k.centreX, width);
    const int xEnd = std::clamp(width - k.width + k.centreX, xBegin, width);
    const int yBegin = std::min(k.centreY, height);
    const int yEnd = std::clamp(height - k.height + k.centreY, yBegin, height);
    for (int y = rowBegin; y < rowEnd; ++y) {
        const bool rowInside = y >= yBegin && y < yEnd && xEnd > xBegin;
        if (!rowInside) {
            for (int x = 0; x < width; ++x)
                clampedPixel(x, y);
            continue;
        }
        for (int x = 0; x < xBegin; ++x)
            clampedPixel(x, y);
        // The interior run goes in chunks of pixels small enough that the sums stay in the
        // first-level cache while every tap adds its row segment.
        const int top = y - k.centreY;
        for (int chunkX = xBegin; chunkX < xEnd; chunkX += kChunkPixels) {
            const int chunkEnd = std::min(chunkX + kChunkPixels, xEnd);
            const size_t run = size_t(chunkEnd - chunkX) * Channels;
            std::fill(acc, acc + run, Acc(0));
            for (const Tap& t : taps) {
                const Pixel* __restrict s =
                    src + size_t(top + t.dy) * stride + size_t(chunkX - k.centreX + t.dx) * Channels;
                Acc* __restrict a = acc;
                if constexpr (sizeof(Pixel) == 1 && sizeof(Acc) == 4) {
                    // Bytes times weights that fit 16 bits (Run checks).
                    AddWeightedBytes(a, s, int16_t(t.w), run);
                } else {
                    const Acc w = t.w;
                    for (size_t i = 0; i < run; ++i)
                        a[i] += w * Acc(s[i]);
                }
            }
            Pixel* out = dst + size_t(y) * stride + size_t(chunkX) * Channels;
            for (int x = 0; x < chunkEnd - chunkX; ++x)
                store(out + size_t(x) * Channels, acc + size_t(x) * Channels);
        }
        for (int x = xEnd; x < width; ++x)
            clampedPixel(x, y);
    }
}

bool MakeTaps(const ConvolutionKernel& k, std::vector<Tap>& taps, int64_t& absSum)
{
    if (!k.IsUsable())
        return false;
    absSum = 0;
    try {
        for (int ky = 0; ky < k.height; ++ky)
            for (int kx = 0; kx < k.width; ++kx) {
                const int32_t w = k.weights[size_t(ky) * size_t(k.width) + size_t(kx)];
                if (w == 0)
                    continue;  // zero weights are skipped
                taps.push_back({kx, ky, w});
                absSum += std::abs(int64_t(w));
            }
    } catch (...) {
        return false;
    }
    return true;
}

// 32-bit sums when the kernel cannot overflow them, else 64-bit.
template <class Pixel, int Channels, int Used>
int Run(const ConvolutionKernel& k, const Pixel* src, Pixel* dst, int width, int height)
{
    std::vector<Tap> taps;
    int64_t absSum = 0;
    if (!MakeTaps(k, taps, absSum))
        return 0;
    if (width <= 0 || height <= 0)
        return 1;
    const int64_t count = int64_t(kChunkPixels) * Channels;
    const bool narrowWeights = std::all_of(taps.begin(), taps.end(), [](const Tap& t) {
        return t.w >= INT16_MIN && t.w <= INT16_MAX;
    });
    const bool fits32 =
        absSum * int64_t(std::numeric_limits<Pixel>::max()) < std::numeric_limits<int32_t>::max();
    const bool use32 = fits32 && (sizeof(Pixel) != 1 || narrowWeights);
    // Each row range has its own sums and writes only its own rows.
    const bool ok = RunRowRanges(height, int64_t(width) * int64_t(taps.size()), [&](int y0, int y1) {
        if (use32) {
            std::unique_ptr<int32_t[]> acc(AllocNoThrow<int32_t>(count));
            if (!acc)
                return false;
            Convolve<Pixel, Channels, Used, int32_t>(k, taps, src, dst, width, height, y0, y1, acc.get());
        } else {
            std::unique_ptr<int64_t[]> acc(AllocNoThrow<int64_t>(count));
            if (!acc)
                return false;
            Convolve<Pixel, Channels, Used, int64_t>(k, taps, src, dst, width, height, y0, y1, acc.get());
        }
        return true;
    });
    return ok ? 1 : 0;
}

// Convolves source into a destination of the same size the caller allocated; in place, it works
// from a copy.
template <typename T, int C, int N, class Buffer>
int RunIntoSameSize(const ConvolutionKernel& k, const Buffer& source, Buffer& destination,
                    int (*copyBuffer)(Buffer&, const Buffer&), void (*freeBuffer)(Buffer&))
{
    if (!source.data || !destination.data || destination.width != source.width ||
        destination.height != source.height)
        return 0;
    Buffer copy;
    const Buffer* from = &source;
    if (&source == &destination) {
        if (!copyBuffer(copy, source))
            return 0;
        from = &copy;
    }
    const int ok = Run<T, C, N>(k, from->data, destination.data, from->width, from->height);
    freeBuffer(copy);
    return ok;
}

} // namespace

int ConvolutionKernel::ApplyImage16(const ImageBuffer16& source, ImageBuffer16& destination) const
{
    if (!IsUsable() || !source.data)
        return 0;
    // Convolving in place would read pixels already written: work from a copy.
    ImageBuffer16 copy;
    const ImageBuffer16* from = &source;
    if (&source == &destination) {
        if (!CopyImage16(copy, source))
            return 0;
        from = &copy;
    } else if (!CopyImage16(destination, source)) {
        return 0;
    }
    const int ok = Run<uint16_t, 4, 3>(*this, from->data, destination.data, from->width, from->height);
    FreeImageBuffer(copy);
    return ok;
}

int ConvolutionKernel::ApplyImage8(const ImageBuffer8& source, ImageBuffer8& destination) const
{
    return RunIntoSameSize<uint8_t, 4, 3>(*this, source, destination, CopyImage8, FreeImageBuffer);
}

int ConvolutionKernel::ApplyPlane16(const Plane16& source, Plane16& destination) const
{
    return RunIntoSameSize<uint16_t, 1, 1>(*this, source, destination, CopyPlane16, FreePlane16);
}
