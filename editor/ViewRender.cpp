// The canvas's composition kernels: sample tables, checkerboard, per-mode blend rows, the
// selection outline and the histogram picture.
#include "editor/ViewRender.h"

#include "imaging/RowRanges.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// ---- blend modes, one functor each (the formulas of BlendChannels16) ----

struct BlendNormal {
    static void Apply(const uint16_t*, const uint16_t* t, uint16_t* o)
    {
        o[0] = t[0];
        o[1] = t[1];
        o[2] = t[2];
    }
};
struct BlendDarken {
    static void Apply(const uint16_t* b, const uint16_t* t, uint16_t* o)
    {
        for (int c = 0; c < 3; ++c)
            o[c] = std::min(b[c], t[c]);
    }
};
struct BlendLighten {
    static void Apply(const uint16_t* b, const uint16_t* t, uint16_t* o)
    {
        for (int c = 0; c < 3; ++c)
            o[c] = std::max(b[c], t[c]);
    }
};
struct BlendMultiply {
    static void Apply(const uint16_t* b, const uint16_t* t, uint16_t* o)
    {
        for (int c = 0; c < 3; ++c)
            o[c] = uint16_t((uint32_t(b[c]) * t[c] + 32767u) >> 16);
    }
};
struct BlendScreen {
    static void Apply(const uint16_t* b, const uint16_t* t, uint16_t* o)
    {
        // The product of two 16-bit complements fits 32 bits; the sum with 32767 needs 33.
        for (int c = 0; c < 3; ++c)
            o[c] = uint16_t(65535u - uint32_t((uint64_t(65535u - b[c]) * (65535u - t[c]) + 32767u) / 65535u));
    }
};
template <bool kOverlay>
struct BlendLight {
    static void Apply(const uint16_t* b, const uint16_t* t, uint16_t* o)
    {
        for (int c = 0; c < 3; ++c) {
            const uint32_t base = b[c], top = t[c];
            const bool low = kOverlay ? base < 32768u : top < 32768u;
            o[c] = low ? uint16_t((base * top) >> 15) : uint16_t(65535u - (((65535u - base) * (65535u - top)) >> 15));
        }
    }
};
using BlendOverlay = BlendLight<true>;
using BlendHardLight = BlendLight<false>;

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

struct BlendSoftLight {
    static void Apply(const uint16_t* b, const uint16_t* t, uint16_t* o)
    {
        const SoftLightTables& s = SoftTables();
        for (int c = 0; c < 3; ++c) {
            const double x = b[c] / 65535.0, m = s.m[t[c]];
            const double r = x <= 0.5 ? m - (1 - 2 * x) * m * (1 - m) : m + (2 * x - 1) * (s.d[t[c]] - m);
            o[c] = uint16_t(std::clamp(r * 65535.0, 0.0, 65535.0));
        }
    }
};
struct BlendDifference {
    static void Apply(const uint16_t* b, const uint16_t* t, uint16_t* o)
    {
        for (int c = 0; c < 3; ++c)
            o[c] = uint16_t(std::abs(int32_t(b[c]) - int32_t(t[c])));
    }
};

// P + (O - P) x a / 255 per colour channel, the division truncating towards zero.
inline void Mix(uint16_t* p, const uint16_t* o, int32_t a)
{
    if (a >= 255) {
        p[0] = o[0];
        p[1] = o[1];
        p[2] = o[2];
        return;
    }
    for (int c = 0; c < 3; ++c)
        p[c] = uint16_t(int32_t(p[c]) + (int32_t(o[c]) - int32_t(p[c])) * a / 255);
}

template <class Blend, bool kAverage>
void BlendRow(uint16_t* __restrict composite, const uint16_t* __restrict rowA, const uint16_t* __restrict rowB,
              const SamplePair* __restrict columns, int x0, int x1, int32_t opacity)
{
    for (int x = x0; x < x1; ++x) {
        const SamplePair c = columns[x];
        uint16_t top[4];
        int32_t a;
        if constexpr (kAverage) {
            const uint16_t* p00 = rowA + size_t(c.first) * 4;
            const uint16_t* p01 = rowA + size_t(c.second) * 4;
            const uint16_t* p10 = rowB + size_t(c.first) * 4;
            const uint16_t* p11 = rowB + size_t(c.second) * 4;
            for (int k = 0; k < 4; ++k)
                top[k] = uint16_t((uint32_t(p00[k]) + p01[k] + p10[k] + p11[k]) >> 2);
            a = int32_t(uint32_t(opacity) * top[3] / 65535u);
        } else {
            std::memcpy(top, rowA + size_t(c.first) * 4, 8);
            a = int32_t((uint32_t(top[3]) >> 8) * uint32_t(opacity) / 255u);
        }
        if (a <= 0)
            continue;
        uint16_t* p = composite + size_t(x) * 4;
        uint16_t out[3];
        Blend::Apply(p, top, out);
        Mix(p, out, a);
    }
}

using RowFn = void (*)(uint16_t*, const uint16_t*, const uint16_t*, const SamplePair*, int, int, int32_t);

template <bool kAverage>
RowFn PickRow(uint8_t mode)
{
    switch (mode) {
    case kBlendDarken: return &BlendRow<BlendDarken, kAverage>;
    case kBlendLighten: return &BlendRow<BlendLighten, kAverage>;
    case kBlendMultiply: return &BlendRow<BlendMultiply, kAverage>;
    case kBlendScreen: return &BlendRow<BlendScreen, kAverage>;
    case kBlendOverlay: return &BlendRow<BlendOverlay, kAverage>;
    case kBlendHardLight: return &BlendRow<BlendHardLight, kAverage>;
    case kBlendSoftLight: return &BlendRow<BlendSoftLight, kAverage>;
    case kBlendDifference: return &BlendRow<BlendDifference, kAverage>;
    default: return &BlendRow<BlendNormal, kAverage>; // 0, 3, 4 and 11 and above
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

} // namespace

void BlendViewPixel(const uint16_t* base, const uint16_t* top, uint16_t* out, uint8_t mode)
{
    switch (mode) {
    case kBlendDarken: BlendDarken::Apply(base, top, out); break;
    case kBlendLighten: BlendLighten::Apply(base, top, out); break;
    case kBlendMultiply: BlendMultiply::Apply(base, top, out); break;
    case kBlendScreen: BlendScreen::Apply(base, top, out); break;
    case kBlendOverlay: BlendOverlay::Apply(base, top, out); break;
    case kBlendHardLight: BlendHardLight::Apply(base, top, out); break;
    case kBlendSoftLight: BlendSoftLight::Apply(base, top, out); break;
    case kBlendDifference: BlendDifference::Apply(base, top, out); break;
    default: BlendNormal::Apply(base, top, out); break;
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
    const RowFn fn = average ? PickRow<true>(layer.blendMode) : PickRow<false>(layer.blendMode);
    const size_t stride = size_t(src.width) * 4;
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, composite.height);
    for (int y = firstRow; y < endRow; ++y) {
        const SamplePair r = rows[y];
        if (r.first < 0)
            continue;
        uint16_t* out = composite.data + size_t(y) * size_t(composite.width) * 4;
        fn(out, src.data + size_t(r.first) * stride, src.data + size_t(r.second) * stride, columns, x0, x1,
           layer.opacity);
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
