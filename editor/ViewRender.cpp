// The canvas's composition kernels: sample tables, checkerboard, per-mode blend rows, the
// selection outline and the histogram picture.
#include "editor/ViewRender.h"

#include "algorithms/TargetClones.h"
#include "imaging/RowRanges.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// ---- blend modes: one channel each, b the base and t the top (the formulas of BlendChannels16)

struct OpNormal {
    static int32_t Op(int32_t, int32_t t) { return t; }
};
struct OpDarken {
    static int32_t Op(int32_t b, int32_t t) { return b < t ? b : t; }
};
struct OpLighten {
    static int32_t Op(int32_t b, int32_t t) { return b > t ? b : t; }
};
struct OpMultiply {
    static int32_t Op(int32_t b, int32_t t) { return int32_t((uint32_t(b) * uint32_t(t) + 32767u) >> 16); }
};
struct OpScreen {
    // 65535 x 65535 + 32767 still fits 32 unsigned bits.
    static int32_t Op(int32_t b, int32_t t)
    {
        return 65535 - int32_t((uint32_t(65535 - b) * uint32_t(65535 - t) + 32767u) / 65535u);
    }
};
template <bool kOverlay>
struct OpLight {
    static int32_t Op(int32_t b, int32_t t)
    {
        const bool low = kOverlay ? b < 32768 : t < 32768;
        const uint32_t dark = (uint32_t(b) * uint32_t(t)) >> 15;
        const uint32_t light = 65535u - ((uint32_t(65535 - b) * uint32_t(65535 - t)) >> 15);
        return int32_t(low ? dark : light);
    }
};
using OpOverlay = OpLight<true>;
using OpHardLight = OpLight<false>;

// Soft light works in doubles; the square root of the top and the D term depend on the top
// alone, so they come from tables computed with the same expressions.
struct SoftLightTables {
    double m[65536];
    double d[65536];
    SoftLightTables()
    {
        for (int t = 0; t < 65536; ++t) {
            const double v = std::sqrt(t / 65535.0);
            m[t] = v;
            d[t] = v <= 0.25 ? ((16 * v - 12) * v + 4) * v : v;
        }
    }
};
const SoftLightTables& SoftTables()
{
    static const SoftLightTables tables;
    return tables;
}

struct OpSoftLight {
    static int32_t Op(int32_t b, int32_t t)
    {
        const SoftLightTables& s = SoftTables();
        const double x = b / 65535.0, m = s.m[t];
        const double r = x <= 0.5 ? m - (1 - 2 * x) * m * (1 - m) : m + (2 * x - 1) * (s.d[t] - m);
        return int32_t(std::clamp(r * 65535.0, 0.0, 65535.0));
    }
};
struct OpDifference {
    static int32_t Op(int32_t b, int32_t t) { return b > t ? b - t : t - b; }
};

template <class Blend>
void BlendPixel(const uint16_t* b, const uint16_t* t, uint16_t* o)
{
    for (int c = 0; c < 3; ++c)
        o[c] = uint16_t(Blend::Op(b[c], t[c]));
}

// The mix of a run of pixels, flat over their channels: each value p becomes
// p + (blend(p, t) - p) x w / 255, the division truncating towards zero. The weight of an alpha
// value is 0, so the composite's alpha stays; a weight of 255 gives the blend itself and 0
// leaves p alone, so no pixel needs a branch and the loop runs on vectors.
template <class Blend>
ZD_TARGET_CLONES_TEMPLATE void MixRun(uint16_t* __restrict p, const uint16_t* __restrict t,
                                      const uint16_t* __restrict w, size_t values)
{
    for (size_t k = 0; k < values; ++k) {
        const int32_t b = p[k];
        const int32_t o = Blend::Op(b, t[k]);
        p[k] = uint16_t(b + (o - b) * int32_t(w[k]) / 255);
    }
}

// Soft light reads its tables at the top value: no vectors to gain, and values of weight 0
// are skipped.
void MixSoftLight(uint16_t* __restrict p, const uint16_t* __restrict t, const uint16_t* __restrict w, size_t values)
{
    for (size_t k = 0; k < values; ++k) {
        if (!w[k])
            continue;
        const int32_t b = p[k];
        const int32_t o = OpSoftLight::Op(b, t[k]);
        p[k] = uint16_t(b + (o - b) * int32_t(w[k]) / 255);
    }
}

using MixFn = void (*)(uint16_t*, const uint16_t*, const uint16_t*, size_t);

MixFn PickMix(uint8_t mode)
{
    switch (mode) {
    case kBlendDarken: return &MixRun<OpDarken>;
    case kBlendLighten: return &MixRun<OpLighten>;
    case kBlendMultiply: return &MixRun<OpMultiply>;
    case kBlendScreen: return &MixRun<OpScreen>;
    case kBlendOverlay: return &MixRun<OpOverlay>;
    case kBlendHardLight: return &MixRun<OpHardLight>;
    case kBlendSoftLight: return &MixSoftLight;
    case kBlendDifference: return &MixRun<OpDifference>;
    default: return &MixRun<OpNormal>; // 0, 3, 4 and 11 and above
    }
}

// Weights of a run of top pixels (B, G, R, A): a, a, a, 0 per pixel, written as one 64-bit
// word. Nearest sample: a = (alpha >> 8) x opacity / 255, from a table of the 256 alpha
// bytes; 2 x 2 average: a = opacity x alpha / 65535.
constexpr uint64_t kWeightLanes = 0x0000000100010001ull;

void NearestWeights(const uint16_t* __restrict top, uint16_t* __restrict w, size_t pixels, const uint64_t* byAlpha)
{
    for (size_t i = 0; i < pixels; ++i) {
        const uint64_t v = byAlpha[top[i * 4 + 3] >> 8];
        std::memcpy(w + i * 4, &v, 8);
    }
}

void AverageWeights(const uint16_t* __restrict top, uint16_t* __restrict w, size_t pixels, uint32_t opacity)
{
    for (size_t i = 0; i < pixels; ++i) {
        const uint64_t v = uint64_t(opacity * uint32_t(top[i * 4 + 3]) / 65535u) * kWeightLanes;
        std::memcpy(w + i * 4, &v, 8);
    }
}

// The 2 x 2 average of the column pairs of two layer rows: each channel, alpha included, the
// sum of the four values shifted right by 2.
void AverageRow(const uint16_t* __restrict rowA, const uint16_t* __restrict rowB, const SamplePair* columns,
                uint16_t* __restrict top, int x0, int x1)
{
    for (int x = x0; x < x1; ++x, top += 4) {
        const SamplePair c = columns[x];
        const uint16_t* p00 = rowA + size_t(c.first) * 4;
        const uint16_t* p01 = rowA + size_t(c.second) * 4;
        const uint16_t* p10 = rowB + size_t(c.first) * 4;
        const uint16_t* p11 = rowB + size_t(c.second) * 4;
        for (int k = 0; k < 4; ++k)
            top[k] = uint16_t((uint32_t(p00[k]) + p01[k] + p10[k] + p11[k]) >> 2);
    }
}

// The screen columns [x0, x1) that lie inside the layer (the sampled column only grows with x,
// so they are one run).
void InsideRun(const SamplePair* table, int count, int& x0, int& x1)
{
    x0 = 0;
    while (x0 < count && table[x0].first < 0)
        ++x0;
    x1 = x0;
    while (x1 < count && table[x1].first >= 0)
        ++x1;
}

// True when the run samples consecutive layer columns (zoom 1): the top row is then read in
// place instead of gathered.
bool Consecutive(const SamplePair* table, int x0, int x1)
{
    for (int x = x0 + 1; x < x1; ++x)
        if (table[x].first != table[x - 1].first + 1)
            return false;
    return true;
}

} // namespace

void BlendViewPixel(const uint16_t* base, const uint16_t* top, uint16_t* out, uint8_t mode)
{
    switch (mode) {
    case kBlendDarken: BlendPixel<OpDarken>(base, top, out); break;
    case kBlendLighten: BlendPixel<OpLighten>(base, top, out); break;
    case kBlendMultiply: BlendPixel<OpMultiply>(base, top, out); break;
    case kBlendScreen: BlendPixel<OpScreen>(base, top, out); break;
    case kBlendOverlay: BlendPixel<OpOverlay>(base, top, out); break;
    case kBlendHardLight: BlendPixel<OpHardLight>(base, top, out); break;
    case kBlendSoftLight: BlendPixel<OpSoftLight>(base, top, out); break;
    case kBlendDifference: BlendPixel<OpDifference>(base, top, out); break;
    default: BlendPixel<OpNormal>(base, top, out); break;
    }
}

void BuildSampleTable(std::vector<SamplePair>& table, int count, int visibleStart, int visibleEnd, int layerOffset,
                      int layerSize)
{
    table.assign(size_t(std::max(count, 0)), SamplePair{});
    const double span = double(visibleEnd) - double(visibleStart);
    for (int x = 0; x < count; ++x) {
        const double f = double(x) * span / double(count) + double(visibleStart) - double(layerOffset);
        const double i = std::floor(f);
        if (i < 0 || i >= double(layerSize))
            continue;
        const int32_t first = int32_t(i);
        table[size_t(x)] = {first, first + 1 < layerSize ? first + 1 : first};
    }
}

void FillCheckerboard(ImageBuffer16& composite, int firstRow, int endRow)
{
    if (!composite.data)
        return;
    const uint64_t light = MakePixel64(kCheckerLight, kCheckerLight, kCheckerLight, 0xFFFF);
    const uint64_t dark = MakePixel64(kCheckerDark, kCheckerDark, kCheckerDark, 0xFFFF);
    const int w = composite.width;
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, composite.height);
    for (int y = firstRow; y < endRow; ++y) {
        uint64_t* row = reinterpret_cast<uint64_t*>(composite.data) + size_t(y) * size_t(w);
        const int band = y / kCheckerSquare;
        for (int x = 0; x < w; x += kCheckerSquare) {
            const uint64_t v = ((x / kCheckerSquare + band) & 1) ? dark : light;
            std::fill(row + x, row + std::min(w, x + kCheckerSquare), v);
        }
    }
}

void CompositeLayerRows(ImageBuffer16& composite, const CZDLayer& layer, const SamplePair* columns,
                        const SamplePair* rows, bool average, int firstRow, int endRow)
{
    const ImageBuffer16& src = layer.pixels;
    if (!composite.data || !src.data || layer.opacity == 0)
        return;
    int x0, x1;
    InsideRun(columns, composite.width, x0, x1);
    if (x0 >= x1)
        return;
    const size_t pixels = size_t(x1 - x0);
    const MixFn mix = PickMix(layer.blendMode);
    const bool inPlace = !average && Consecutive(columns, x0, x1);
    const size_t stride = size_t(src.width) * 4;
    std::vector<uint16_t> gathered(inPlace ? 0 : pixels * 4), weights(pixels * 4);
    uint64_t byAlpha[256];
    for (uint32_t a = 0; a < 256; ++a)
        byAlpha[a] = uint64_t(a * uint32_t(layer.opacity) / 255u) * kWeightLanes;
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, composite.height);
    for (int y = firstRow; y < endRow; ++y) {
        const SamplePair r = rows[y];
        if (r.first < 0)
            continue;
        const uint16_t* rowA = src.data + size_t(r.first) * stride;
        const uint16_t* top;
        if (inPlace) {
            top = rowA + size_t(columns[x0].first) * 4;
        } else if (average) {
            AverageRow(rowA, src.data + size_t(r.second) * stride, columns, gathered.data(), x0, x1);
            top = gathered.data();
        } else {
            uint16_t* g = gathered.data();
            for (int x = x0; x < x1; ++x, g += 4)
                std::memcpy(g, rowA + size_t(columns[x].first) * 4, 8);
            top = gathered.data();
        }
        if (average)
            AverageWeights(top, weights.data(), pixels, layer.opacity);
        else
            NearestWeights(top, weights.data(), pixels, byAlpha);
        uint16_t* out = composite.data + (size_t(y) * size_t(composite.width) + size_t(x0)) * 4;
        mix(out, top, weights.data(), pixels * 4);
    }
}

int ComposeLayerIntoView(ImageBuffer16& composite, const CZDLayer& layer, const VisibleRegion& visible,
                         double zoom)
{
    const ImageBuffer16& src = layer.pixels;
    if (!composite.data || !src.data || composite.width <= 0 || composite.height <= 0)
        return 0;
    // Tables as large as the composite: a wide screen never loses its picture.
    std::vector<SamplePair> columns, rows;
    BuildSampleTable(columns, composite.width, visible.left, visible.right, layer.x, src.width);
    BuildSampleTable(rows, composite.height, visible.top, visible.bottom, layer.y, src.height);
    const bool average = zoom < 1.0;
    RunRowRanges(composite.height, int64_t(composite.width) * (average ? 4 : 1), [&](int first, int end) {
        CompositeLayerRows(composite, layer, columns.data(), rows.data(), average, first, end);
        return true;
    });
    return 1;
}

int BuildOutlinePlane(const Plane8& selection, const VisibleRegion& visible, double zoom, int width, int height,
                      Plane8& outline)
{
    int level = 0;
    if (selection.data)
        for (uint32_t i = 0; i < selection.byteSize && level < 255; ++i)
            level = std::max<int>(level, selection.data[i]);
    if (level < 2 || width <= 0 || height <= 0 || zoom <= 0) {
        FreePlane8(outline);
        outline = Plane8{};
        return level;
    }
    const int e = level / 2;
    std::vector<int32_t> sampleRows(static_cast<size_t>(height)), sampleColumns(static_cast<size_t>(width));
    for (int i = 0; i < height; ++i)
        sampleRows[size_t(i)] = std::clamp(int(i / zoom + 0.5) + visible.top, 0, selection.height - 1);
    for (int j = 0; j < width; ++j)
        sampleColumns[size_t(j)] = std::clamp(int(j / zoom + 0.5) + visible.left, 0, selection.width - 1);
    Plane8 samples;
    if (!AllocPlane8(samples, width, height) || !AllocPlane8(outline, width, height)) {
        FreePlane8(samples);
        FreePlane8(outline);
        outline = Plane8{};
        return level;
    }
    for (int i = 0; i < height; ++i) {
        const uint8_t* from = selection.data + size_t(sampleRows[size_t(i)]) * size_t(selection.width);
        uint8_t* to = samples.data + size_t(i) * size_t(width);
        for (int j = 0; j < width; ++j)
            to[j] = from[sampleColumns[size_t(j)]];
    }
    for (int i = 0; i < height; ++i) {
        const uint8_t* s = samples.data + size_t(i) * size_t(width);
        uint8_t* o = outline.data + size_t(i) * size_t(width);
        for (int j = 0; j < width; ++j) {
            if (s[j] < e) {
                o[j] = 0;
                continue;
            }
            const bool edge = i == 0 || j == 0 || i == height - 1 || j == width - 1 || s[j - 1] < e ||
                              s[j + 1] < e || s[j - width] < e || s[j + width] < e;
            o[j] = edge ? 1 : 0;
        }
    }
    FreePlane8(samples);
    return level;
}

void DrawOutlineStripes(ImageBuffer8& target, int left, int top, const Plane8& outline, int level, int phase)
{
    if (!target.data || !outline.data)
        return;
    const int l = std::clamp(level, 0, 255);
    const int white = (l * 255 + 127) / 255;
    for (int y = 0; y < outline.height; ++y) {
        const int ty = top + y;
        if (ty < 0 || ty >= target.height)
            continue;
        const uint8_t* o = outline.data + size_t(y) * size_t(outline.width);
        for (int x = 0; x < outline.width; ++x) {
            const int tx = left + x;
            if (!o[x] || tx < 0 || tx >= target.width)
                continue;
            uint8_t* p = target.data + (size_t(ty) * size_t(target.width) + size_t(tx)) * 4;
            const bool toWhite = ((uint32_t(x + y) + uint32_t(phase)) / 4u) % 2u == 0u;
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(((255 - l) * p[c] + 127) / 255 + (toWhite ? white : 0));
        }
    }
}

int BuildHistogramPicture(const ImageBuffer16& layer, int height, ImageBuffer8& out)
{
    constexpr int kBins = 128;
    if (height <= 0 || !AllocImage8(out, kBins, height))
        return 0;
    std::memset(out.data, 0, out.byteSize);
    if (!layer.data)
        return 1;
    uint32_t red[kBins] = {}, green[kBins] = {}, blue[kBins] = {}, luma[kBins] = {};
    const uint32_t step = std::max<uint32_t>(1, layer.pixelCount / 300000);
    uint32_t counted = 0;
    for (uint32_t i = 0; i < layer.pixelCount; i += step) {
        const uint16_t* p = layer.data + size_t(i) * 4;
        if (p[3] == 0)
            continue;
        ++counted;
        ++red[p[2] / 512];
        ++green[p[1] / 512];
        ++blue[p[0] / 512];
        ++luma[(uint32_t(p[0]) + 3u * p[2] + 6u * p[1]) / 5120u];
    }
    if (counted < 1280)
        return 1;
    uint32_t largest = 0;
    for (int k = 0; k < kBins; ++k)
        largest = std::max({largest, red[k], green[k], blue[k], luma[k]});
    const uint64_t scale = std::min<uint64_t>(4ull * (counted / kBins), largest);
    auto bar = [&](uint32_t bin) { return int64_t(uint64_t(bin) * uint64_t(height) / scale); };
    for (int j = height; j >= 1; --j) {
        uint8_t* row = out.data + size_t(height - j) * kBins * 4;
        for (int k = 0; k < kBins; ++k) {
            uint8_t* p = row + size_t(k) * 4;
            if (j < bar(red[k]))
                p[2] = uint8_t(p[2] + 80);
            if (j < bar(green[k]))
                p[1] = uint8_t(p[1] + 80);
            if (j < bar(blue[k]))
                p[0] = uint8_t(p[0] + 80);
            if (j < bar(luma[k]))
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t(p[c] - 116);
            p[3] = 255;
        }
    }
    return 1;
}
