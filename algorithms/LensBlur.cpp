#include "algorithms/LensBlur.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/PixelAccess.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

int RotateApertureShape(const Plane8& shape, Plane8& output, double angle)
{
    const int W = shape.width, H = shape.height;
    if (!shape.data || W <= 0 || H <= 0 || &shape == &output || !AllocPlane8(output, W, H))
        return 0;
    const int cx = W / 2, cy = H / 2;
    const double c = std::cos(angle), s = std::sin(angle);
    auto at = [&](int x, int y) {
        return static_cast<double>(shape.data[static_cast<size_t>(std::clamp(y, 0, H - 1)) * W + std::clamp(x, 0, W - 1)]);
    };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double sx = cx + (x - cx) * c - (y - cy) * s;
            const double sy = cy + (x - cx) * s + (y - cy) * c;
            const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
            const int ix2 = sx > 0 ? ix + 1 : ix - 1, iy2 = sy > 0 ? iy + 1 : iy - 1;
            const double fx = std::abs(sx - ix), fy = std::abs(sy - iy);
            const double top = (1 - fx) * at(ix, iy) + fx * at(ix2, iy);
            const double bottom = (1 - fx) * at(ix, iy2) + fx * at(ix2, iy2);
            const double v = (1 - fy) * top + fy * bottom;
            output.data[static_cast<size_t>(y) * W + x] = static_cast<uint8_t>(std::clamp(static_cast<int>(v), 0, 255));
        }
    return 1;
}

void BuildHighlightTable(int boost, uint16_t* t)
{
    // Beyond 163 the white point would fall to half level and the ramp divide by zero.
    const int h = std::clamp(boost, 0, 100);
    const int64_t c = 65535 - 200 * h;
    for (int64_t i = 0; i < 65536; ++i)
        t[i] = static_cast<uint16_t>(i <= 0x7FFF ? i : i < c ? (i - 0x8000) * 0x7FFF / (c - 0x8000) + 0x8000 : 65535);
}

CLensBlur::~CLensBlur()
{
    FreePlane8(m_kernels);
    FreeImageBuffer(m_boosted);
}

int CLensBlur::BuildKernels()
{
    const LensBlurParams& p = m_params;
    m_maxDiameter = 0;
    m_kernelCount = 0;
    if (!p.shape || !p.shape->data)
        return 0;
    const double r = std::isnan(p.radius) ? 0.0 : std::clamp(p.radius, 0.0, 64.0);
    m_maxDiameter = 2 * std::min(64, static_cast<int>(r));
    if (m_maxDiameter == 0)
        return 1;
    Plane8 turned{};
    if (!RotateApertureShape(*p.shape, turned, std::isfinite(p.rotation) ? p.rotation : 0.0))
        return 0;
    const int n = p.depth ? m_maxDiameter / 2 : 1;
    if (!AllocPlane8(m_kernels, kApertureSide, n * kApertureSide)) {
        FreePlane8(turned);
        return 0;
    }
    // The shape is drawn for 128 x 128; a smaller plane is read with its indices clamped.
    const int sw = turned.width, sh = turned.height;
    auto S = [&](int row, int col) {
        return static_cast<int>(turned.data[static_cast<size_t>(std::min(row, sh - 1)) * sw + std::min(col, sw - 1)]);
    };
    for (int k = 0; k < n; ++k) {
        uint8_t* sq = m_kernels.data + static_cast<size_t>(k) * kApertureSide * kApertureSide;
        std::memset(sq, 0, kApertureSide * kApertureSide);
        const int D = m_maxDiameter - 2 * k;
        if (D <= 0)
            continue;
        const int off = (kApertureSide - D) / 2;
        for (int row = 0; row < D; ++row) {
            const int rowA = row * kApertureSide / D, rowB = std::min(127, static_cast<int>((row + 0.5) * kApertureSide / D));
            for (int col = 0; col < D; ++col) {
                const int colA = col * kApertureSide / D, colB = std::min(127, static_cast<int>((col + 0.5) * kApertureSide / D));
                sq[(off + row) * kApertureSide + off + col] =
                    static_cast<uint8_t>((S(rowA, colB) + S(rowA, colA) + S(rowB, colB) + S(rowB, colA)) >> 2);
            }
        }
    }
    m_kernelCount = n;
    FreePlane8(turned);
    return 1;
}

int CLensBlur::Run()
{
    if (m_pParams)
        std::memcpy(static_cast<void*>(&m_params), m_pParams, sizeof m_params);
    if (!m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    const ImageBuffer16& src = *m_pSource;
    if (m_params.depth && (!m_params.depth->data || m_params.depth->width != src.width || m_params.depth->height != src.height))
        return 0; // a depth plane of another size would be read out of bounds
    if (!BuildKernels())
        return 0;
    if (m_maxDiameter == 0)
        return CopyImage16(*m_pDestination, src); // nothing to blur
    std::vector<uint16_t> table(65536);
    BuildHighlightTable(m_params.highlight, table.data());
    if (!CopyImage16(m_boosted, src) || !AllocImage16(*m_pDestination, src.width, src.height))
        return 0;
    uint16_t* b = Pixels16(m_boosted);
    for (size_t i = 0, n = PixelCount(m_boosted); i < n; ++i)
        for (int c = 0; c < 3; ++c)
            b[i * 4 + c] = table[b[i * 4 + c]];
    m_bandCount = SplitIntoBands(0, 0);
    return m_bandCount ? RunBands() : 0;
}

// One row of the result into out. above: the result row y - 1 (for the rows that copy it).
int CLensBlur::FilterRow(int y, int bandRow, const ImageBuffer16& source, const uint16_t* above, uint16_t* out)
{
    (void)bandRow;
    const int W = source.width, H = source.height, Dmax = m_maxDiameter;
    const uint16_t* srow = Row16(source, y);
    const Plane8* depth = m_params.depth;
    for (int x = 0; x < W; ++x) {
        int g = depth ? depth->data[static_cast<size_t>(y) * W + x] : Dmax;
        uint16_t* o = out + static_cast<size_t>(x) * 4;
        // 0 and 1 are sharp; raising 1 to the diameter-2 kernel first would blur every pixel
        // the depth plane marks as in focus.
        if (g <= 1) {
            std::memcpy(o, srow + x * 4, 8);
            continue;
        }
        if (g & 1)
            ++g;
        g = std::min(g, Dmax);
        // Wide kernels are computed on every second pixel of every second row (counted in
        // picture rows, so any band layout gives the same result); the others copy.
        if (g >= 33 && (x & 1)) {
            std::memcpy(o, o - 4, 8);
            continue;
        }
        if (g >= 33 && (y & 1)) {
            std::memcpy(o, above + static_cast<size_t>(x) * 4, 8);
            continue;
        }
        const int s = g >= 65 ? 2 : 1;
        const int k = depth ? (Dmax - g) / 2 : 0;
        const uint8_t* kernel = Kernel(k);
        const int off = (kApertureSide - g) / 2;
        const int top = y - g / 2, left = x - g / 2;
        const int c0 = std::max(0, left), c1 = std::min(W, left + g);
        uint64_t sb = 0, sg = 0, sr = 0, sa = 0, sw = 0;
        for (int r = top; r < top + g; r += s) {
            if (r < 0 || r >= H)
                continue;
            const uint16_t* brow = Row16(m_boosted, r);
            const uint8_t* krow = kernel + static_cast<size_t>(off + r - top) * kApertureSide + off;
            for (int c = c0; c < c1; c += s) {
                const uint64_t wgt = krow[c - left];
                if (!wgt)
                    continue;
                const uint16_t* p = brow + static_cast<size_t>(c) * 4;
                sb += wgt * p[0];
                sg += wgt * p[1];
                sr += wgt * p[2];
                sa += wgt * p[3];
                sw += wgt;
            }
        }
        if (sw > 128) {
            o[0] = static_cast<uint16_t>(sb / sw);
            o[1] = static_cast<uint16_t>(sg / sw);
            o[2] = static_cast<uint16_t>(sr / sw);
            o[3] = static_cast<uint16_t>(std::min<uint64_t>(65535, sa / sw));
        } else {
            std::memcpy(o, srow + x * 4, 8);
        }
    }
    return 1;
}

int CLensBlur::ProcessBand(BandTask& task)
{
    const ImageBuffer16& src = *m_pSource;
    const int W = src.width, R = task.end - task.first;
    std::vector<uint16_t> prev;
    const uint16_t* above = nullptr;
    if (task.first & 1) {
        // The first row copies from the row above, which belongs to the band before.
        prev.resize(static_cast<size_t>(W) * 4);
        FilterRow(task.first - 1, -1, src, nullptr, prev.data());
        above = prev.data();
    }
    for (int i = 0; i < R; ++i) {
        const int y = task.first + i;
        uint16_t* out = Row16(*task.bandDest, y - task.firstWithMargin);
        FilterRow(y, i, src, above, out);
        above = out;
        if (i % 100 == 0 && m_bandCount == 1) {
            if (IsAlgorithmCancelled())
                return 1;
            SetProgress(i * 100 / R);
        }
    }
    return 1;
}
