// Resamplers and the small Gaussian blur of 8-bit images, used for display copies, thumbnails,
// skins and masks. All integer arithmetic; the rounding is part of what callers expect.
#include "imaging/ImageBuffer.h"
#include "imaging/ColourTables.h"
#include "imaging/WeightedSum.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

template <class T>
using Owned = std::unique_ptr<T[]>;

struct SourceRect {
    int left, top, right, bottom;
};

// Defaults to the whole image when right == left, and keeps every sampled position inside
// the image whatever the caller passed.
bool ClipRect(SourceRect& r, int width, int height)
{
    if (r.right == r.left) {
        r = {0, 0, width, height};
        return true;
    }
    r.left = std::clamp(r.left, 0, width - 1);
    r.top = std::clamp(r.top, 0, height - 1);
    r.right = std::clamp(r.right, 0, width);
    r.bottom = std::clamp(r.bottom, 0, height);
    return r.right >= r.left && r.bottom >= r.top;
}

// x[i] = from + i * (to - from) / count, truncating; 64-bit products so large sample counts
// cannot overflow.
Owned<int32_t> PositionTable(int from, int to, int64_t count)
{
    Owned<int32_t> table(AllocNoThrow<int32_t>(count));
    if (!table)
        return nullptr;
    for (int64_t i = 0; i < count; ++i)
        table[size_t(i)] = int32_t(from + i * (to - from) / count);
    return table;
}

// Box sampling shared by the 8-bit and 16-bit paths: out gets n x n samples per pixel
// averaged with truncation, or the nearest sample when n is 1.
template <class Pixel>
void BoxSample(const Pixel* src, int srcWidth, Pixel* out, int newWidth, int newHeight, int n,
               const int32_t* xs, const int32_t* ys)
{
    const uint32_t area = uint32_t(n) * uint32_t(n);
    for (int i = 0; i < newHeight; ++i) {
        Pixel* dst = out + size_t(i) * size_t(newWidth) * 4;
        if (n == 1) {
            const Pixel* row = src + size_t(ys[i]) * size_t(srcWidth) * 4;
            for (int j = 0; j < newWidth; ++j) {
                const Pixel* p = row + size_t(xs[j]) * 4;
                dst[j * 4 + 0] = p[0];
                dst[j * 4 + 1] = p[1];
                dst[j * 4 + 2] = p[2];
                dst[j * 4 + 3] = p[3];
            }
            continue;
        }
        for (int j = 0; j < newWidth; ++j) {
            uint64_t sum[4] = {0, 0, 0, 0};
            for (int l = 0; l < n; ++l) {
                const Pixel* row = src + size_t(ys[size_t(i) * n + l]) * size_t(srcWidth) * 4;
                const int32_t* xk = xs + size_t(j) * n;
                for (int k = 0; k < n; ++k) {
                    const Pixel* p = row + size_t(xk[k]) * 4;
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                    sum[3] += p[3];
                }
            }
            for (int c = 0; c < 4; ++c)
                dst[j * 4 + c] = Pixel(sum[c] / area);
        }
    }
}

struct BoxTables {
    Owned<int32_t> xs, ys;
};

bool MakeBoxTables(BoxTables& t, const SourceRect& r, int newWidth, int newHeight, int n)
{
    t.xs = PositionTable(r.left, r.right, int64_t(n) * newWidth);
    t.ys = PositionTable(r.top, r.bottom, int64_t(n) * newHeight);
    return t.xs && t.ys;
}

// Largest sample count a side: keeps the position tables and the sums modest.
constexpr int kMaxSamples = 256;

// Also refuses, before the position tables are built, an output whose image could never be
// allocated.
bool BoxArgumentsValid(int& newWidth, int& newHeight, int samples, int bytesPerPixel)
{
    if (newWidth == 0)
        newWidth = 1;
    if (newHeight == 0)
        newHeight = 1;
    return newWidth > 0 && newHeight > 0 && samples >= 1 && samples <= kMaxSamples &&
           uint64_t(newWidth) * uint64_t(newHeight) * uint64_t(bytesPerPixel) + 16 <= UINT32_MAX;
}

} // namespace

int ResizeImage8(const ImageBuffer8& source, ImageBuffer8& destination, int newWidth, int newHeight,
                 int samples, int left, int top, int right, int bottom)
{
    if (!source.data || source.width <= 0 || source.height <= 0)
        return 0;
    if (!BoxArgumentsValid(newWidth, newHeight, samples, 4))
        return 0;
    SourceRect r{left, top, right, bottom};
    if (!ClipRect(r, source.width, source.height))
        return 0;
    const bool whole = r.left == 0 && r.top == 0 && r.right == source.width && r.bottom == source.height;
    if (whole && newWidth == source.width && newHeight == source.height)
        return CopyImage8(destination, source);
    BoxTables t;
    if (!MakeBoxTables(t, r, newWidth, newHeight, samples))
        return 0;
    ImageBuffer8 aliased;
    ImageBuffer8& out = &destination == &source ? aliased : destination;
    if (!AllocImage8(out, newWidth, newHeight))
        return 0;
    BoxSample(source.data, source.width, out.data, newWidth, newHeight, samples, t.xs.get(), t.ys.get());
    if (&out == &aliased) {
        FreeImageBuffer(destination);
        destination = aliased;
    }
    return 1;
}

int ResizeImage16To8(const ImageBuffer16& source, ImageBuffer8& destination, int newWidth,
                     int newHeight, int samples, int left, int top, int right, int bottom)
{
    if (!source.data || source.width <= 0 || source.height <= 0)
        return 0;
    if (!BoxArgumentsValid(newWidth, newHeight, samples, 8))
        return 0;
    SourceRect r{left, top, right, bottom};
    if (!ClipRect(r, source.width, source.height))
        return 0;
    const bool whole = r.left == 0 && r.top == 0 && r.right == source.width && r.bottom == source.height;
    if (whole && newWidth == source.width && newHeight == source.height) {
        if (!AllocImage8(destination, source.width, source.height))
            return 0;
        ConvertPixels16To8(source, destination);
        return 1;
    }
    BoxTables t;
    if (!MakeBoxTables(t, r, newWidth, newHeight, samples))
        return 0;
    ImageBuffer16 sampled;
    if (!AllocImage16(sampled, newWidth, newHeight))
        return 0;
    BoxSample(source.data, source.width, sampled.data, newWidth, newHeight, samples, t.xs.get(), t.ys.get());
    int ok = AllocImage8(destination, newWidth, newHeight);
    if (ok)
        ConvertPixels16To8(sampled, destination);
    FreeImageBuffer(sampled);
    return ok;
}

namespace {

// Source position and 8-bit fraction for every output index. A size of 1 has no interval to
// divide: it samples the first source pixel.
struct BilinearAxis {
    Owned<int32_t> pos;
    Owned<uint8_t> frac;
};

bool MakeAxis(BilinearAxis& a, int sourceExtent, int newSize)
{
    a.pos.reset(AllocNoThrow<int32_t>(newSize));
    a.frac.reset(AllocNoThrow<uint8_t>(newSize));
    if (!a.pos || !a.frac)
        return false;
    const int64_t span = sourceExtent - 1;
    const int64_t steps = newSize - 1;
    for (int64_t j = 0; j < newSize; ++j) {
        if (steps == 0) {
            a.pos[size_t(j)] = 0;
            a.frac[size_t(j)] = 0;
        } else {
            a.pos[size_t(j)] = int32_t(j * span / steps);
            a.frac[size_t(j)] = uint8_t((j * span * 256 / steps) % 256);
        }
    }
    return true;
}

// Weights add up to 255, not 256: white comes out as 253. Neighbours beyond the extent have
// weight 0 and are not read.
template <int Channels>
void BilinearRows(const uint8_t* src, int srcStride, int extentW, int extentH, uint8_t* dst,
                  int newWidth, int newHeight, const BilinearAxis& ax, const BilinearAxis& ay)
{
    for (int i = 0; i < newHeight; ++i) {
        const int sy = ay.pos[size_t(i)];
        const uint32_t fy = ay.frac[size_t(i)];
        const uint8_t* row0 = src + size_t(sy) * size_t(srcStride);
        const bool hasBelow = sy + 1 < extentH;
        const uint8_t* row1 = hasBelow ? row0 + srcStride : row0;
        uint8_t* out = dst + size_t(i) * size_t(newWidth) * Channels;
        for (int j = 0; j < newWidth; ++j) {
            const int sx = ax.pos[size_t(j)];
            const uint32_t fx = ax.frac[size_t(j)];
            const bool hasRight = sx + 1 < extentW;
            const uint8_t* p00 = row0 + size_t(sx) * Channels;
            const uint8_t* p10 = row1 + size_t(sx) * Channels;
            for (int c = 0; c < Channels; ++c) {
                const uint32_t a01 = hasRight ? p00[Channels + c] : 0;
                uint32_t v = ((p00[c] * (255 - fx) + a01 * fx) * (255 - fy)) >> 16;
                if (hasBelow) {
                    const uint32_t a11 = hasRight ? p10[Channels + c] : 0;
                    v += ((p10[c] * (255 - fx) + a11 * fx) * fy) >> 16;
                }
                out[j * Channels + c] = uint8_t(v);
            }
        }
    }
}

constexpr int kMaxBilinearImageSide = 10000;
constexpr int kMaxBilinearPlaneSide = 20000;

} // namespace

int ResizeImage8Bilinear(const ImageBuffer8& source, ImageBuffer8& destination, int newWidth,
                         int newHeight, int sourceWidth, int sourceHeight)
{
    if (!source.data || source.width <= 0 || source.height <= 0)
        return 0;
    if (newWidth <= 0 || newHeight <= 0 || newWidth > kMaxBilinearImageSide ||
        newHeight > kMaxBilinearImageSide)
        return 0;
    // The caller allocates the destination; a wrong size would be written past its end.
    if (!destination.data || destination.width != newWidth || destination.height != newHeight)
        return 0;
    const int extentW = sourceWidth == -1 ? source.width : sourceWidth;
    const int extentH = sourceHeight == -1 ? source.height : sourceHeight;
    if (extentW <= 0 || extentH <= 0 || extentW > source.width || extentH > source.height)
        return 0;
    BilinearAxis ax, ay;
    if (!MakeAxis(ax, extentW, newWidth) || !MakeAxis(ay, extentH, newHeight))
        return 0;
    ImageBuffer8 copy;
    const ImageBuffer8* from = &source;
    if (&source == &destination) {
        if (!CopyImage8(copy, source))
            return 0;
        from = &copy;
    }
    BilinearRows<4>(from->data, from->width * 4, extentW, extentH, destination.data, newWidth,
                    newHeight, ax, ay);
    FreeImageBuffer(copy);
    return 1;
}

int ResizePlane8(const Plane8& source, Plane8& destination, int newWidth, int newHeight)
{
    if (!source.data || source.width <= 0 || source.height <= 0 || &source == &destination)
        return 0;
    if (newWidth <= 0 || newHeight <= 0 || newWidth > kMaxBilinearPlaneSide ||
        newHeight > kMaxBilinearPlaneSide)
        return 0;
    if (!AllocPlane8(destination, newWidth, newHeight))
        return 0;
    BilinearAxis ax, ay;
    if (!MakeAxis(ax, source.width, newWidth) || !MakeAxis(ay, source.height, newHeight))
        return 0;
    BilinearRows<1>(source.data, source.width, source.width, source.height, destination.data,
                    newWidth, newHeight, ax, ay);
    return 1;
}

namespace {

struct BlurWeights {
    int32_t w[16] = {};
    int T = 16;  // first distance with weight 0
};

BlurWeights MakeBlurWeights(int r)
{
    BlurWeights bw;
    int64_t raw[16] = {};
    for (int k = 0; k < 16; ++k) {
        raw[k] = int64_t(1024.0 * std::pow(2.7188282, -double(k * k) / (2.0 * r * r)));
        if (raw[k] == 0) {
            bw.T = k;
            break;
        }
    }
    int64_t S = raw[0];
    for (int k = 1; k < bw.T; ++k)
        S += 2 * raw[k];
    for (int k = 0; k < bw.T; ++k)
        bw.w[k] = int32_t(raw[k] * 2048 / S);
    return bw;
}

} // namespace

namespace {

// Pixels per block of the sums, small enough to stay in the first-level cache.
constexpr int kBlurBlock = 512;

} // namespace

int BlurImage8(const ImageBuffer8& source, ImageBuffer8& destination, int radius)
{
    if (!source.data || radius < 1 || radius > 16)
        return 0;
    const int width = source.width;
    const int height = source.height;
    const BlurWeights bw = MakeBlurWeights(radius);
    const size_t rowBytes = size_t(width) * 4;

    // The horizontal pass reads a saved copy of each row, so source and destination may be
    // the same record.
    Owned<uint8_t> line(AllocNoThrow(int64_t(rowBytes)));
    Owned<int32_t> acc(AllocNoThrow<int32_t>(int64_t(kBlurBlock) * 4));
    if (!line || !acc)
        return 0;
    if (&destination != &source && !CopyImage8(destination, source))
        return 0;

    // Edge pixels: the window clipped to the line and divided by the weights it used.
    auto edgePixel = [&](const uint8_t* values, uint8_t* out, int i, int n, int h) {
        const int from = std::max(i - (h - 1), 0);
        const int to = std::min(i + (h - 1), n - 1);
        uint32_t sum[4] = {0, 0, 0, 0};
        uint32_t wsum = 0;
        for (int s = from; s <= to; ++s) {
            const uint32_t w = uint32_t(bw.w[std::abs(s - i)]);
            const uint8_t* p = values + size_t(s) * 4;
            for (int c = 0; c < 4; ++c)
                sum[c] += p[c] * w;
            wsum += w;
        }
        for (int c = 0; c < 4; ++c)
            out[c] = uint8_t(wsum ? sum[c] / wsum : 0);
    };

    // Horizontal: half-width radius, not T; this is what darkens small radii. A pixel whose
    // window is whole (x - h + 1 >= 0 and x + h <= width) is shifted right by 11.
    const int h = radius;
    const int inBegin = h - 1;
    const int inEnd = std::max(inBegin, width - h + 1);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = destination.data + size_t(y) * rowBytes;
        std::memcpy(line.get(), row, rowBytes);
        for (int x = 0; x < std::min(inBegin, width); ++x)
            edgePixel(line.get(), row + size_t(x) * 4, x, width, h);
        for (int x0 = inBegin; x0 < inEnd; x0 += kBlurBlock) {
            const int n = std::min(kBlurBlock, inEnd - x0);
            const size_t bytes = size_t(n) * 4;
            std::fill(acc.get(), acc.get() + bytes, 0);
            for (int d = -(h - 1); d <= h - 1; ++d)
                AddWeightedBytes(acc.get(), line.get() + size_t(x0 + d) * 4, int16_t(bw.w[std::abs(d)]), bytes);
            uint8_t* out = row + size_t(x0) * 4;
            for (size_t i = 0; i < bytes; ++i)
                out[i] = uint8_t(acc[i] >> 11);
        }
        for (int x = std::max(inEnd, inBegin); x < width; ++x)
            edgePixel(line.get(), row + size_t(x) * 4, x, width, h);
    }

    // Vertical: half-width T, in place. A ring of the 2T - 1 original rows around the output
    // row keeps the pass exact while walking memory row by row.
    const int hv = bw.T;
    const int ringRows = 2 * hv - 1;
    Owned<uint8_t> ring(AllocNoThrow(int64_t(rowBytes) * ringRows));
    Owned<uint8_t> column(AllocNoThrow(int64_t(ringRows) * 4));
    if (!ring || !column)
        return 0;
    auto slot = [&](int y) { return ring.get() + size_t(y % ringRows) * rowBytes; };
    int loaded = 0;  // rows [0, loaded) have been put into the ring
    for (int y = 0; y < height; ++y) {
        const int from = std::max(y - (hv - 1), 0);
        const int to = std::min(y + (hv - 1), height - 1);
        while (loaded <= to) {
            std::memcpy(slot(loaded), destination.data + size_t(loaded) * rowBytes, rowBytes);
            ++loaded;
        }
        uint8_t* out = destination.data + size_t(y) * rowBytes;
        if (y - hv + 1 >= 0 && y + hv <= height) {
            for (int x0 = 0; x0 < width; x0 += kBlurBlock) {
                const size_t bytes = size_t(std::min(kBlurBlock, width - x0)) * 4;
                std::fill(acc.get(), acc.get() + bytes, 0);
                for (int s = from; s <= to; ++s)
                    AddWeightedBytes(acc.get(), slot(s) + size_t(x0) * 4, int16_t(bw.w[std::abs(s - y)]), bytes);
                for (size_t i = 0; i < bytes; ++i)
                    out[size_t(x0) * 4 + i] = uint8_t(acc[i] >> 11);
            }
        } else {
            // Near the top and bottom: gather each column's window and divide by its weights.
            const int n = to - from + 1;
            for (int x = 0; x < width; ++x) {
                for (int s = from; s <= to; ++s)
                    std::memcpy(column.get() + size_t(s - from) * 4, slot(s) + size_t(x) * 4, 4);
                edgePixel(column.get(), out + size_t(x) * 4, y - from, n, hv);
            }
        }
    }
    return 1;
}
