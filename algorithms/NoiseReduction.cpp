#include "algorithms/NoiseReduction.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/ImageSize.h"
#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

inline uint16_t& At(const Plane16& p, int x, int y)
{
    return p.data[static_cast<size_t>(y) * p.width + x];
}

struct Match {
    uint32_t distance;
    int tx, ty;
};

} // namespace

CNoiseReduction::~CNoiseReduction()
{
    FreeImageBuffer(m_work);
    FreePlane16(m_y);
    FreePlane16(m_edge);
    FreePlane16(m_yOut);
    FreePlane16(m_cb);
    FreePlane16(m_cr);
}

void CNoiseReduction::DeriveValues()
{
    // A stored record may hold anything; below 0 the match list would hold no entry at all.
    const int s = ClampField<int32_t>(m_params.strength, 0, 100);
    m_matchCount = s / 10 + 1;
    m_chromaRadius = s / 15 + 3;
    m_chromaThreshold = 140 * s + 3000;
    m_edgeAmount = 60 * s / 100 + 40;
    switch (m_params.style) {
    case 0:
        m_step = 2, m_minDistance = 1, m_searchRadius = 3, m_halfPlanes = false;
        break;
    case 2:
        m_step = 2, m_minDistance = 0, m_searchRadius = 2, m_halfPlanes = true;
        break;
    default:
        m_step = 1, m_minDistance = 1, m_searchRadius = 4, m_halfPlanes = false;
        break;
    }
}

int CNoiseReduction::Run()
{
    if (!m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    if (!CopyParamRecord(m_params, m_pParams))
        return 0;
    SetProgress(1);
    DeriveValues();
    const ImageBuffer16& src = *m_pSource;
    if (!CopyImage16(*m_pDestination, src))
        return 0;
    const int w = src.width, h = src.height;
    if (w <= 255 && h <= 255)
        return 1;
    if (m_params.skipLuminance && !m_params.chromaPass)
        return 1; // nothing to do: the YCbCr round trip alone would only lose precision
    if (!CopyImage16(m_work, src))
        return 0;
    RgbToYCbCr16(m_work);
    if (IsAlgorithmCancelled())
        return 1;
    if (!ExtractChannel16(m_y, m_work, 2) || !BuildEdgeMap() || !HalvePlanes())
        return 0;
    if (IsAlgorithmCancelled())
        return 1;
    SetProgress(5);

    if (!m_params.skipLuminance) {
        const int s = 5 - 2 * m_step;
        m_blockRows = h - 5 > 0 ? (h - 5 + s - 1) / s : 0;
        if (!ExtractChannel16(m_yOut, m_work, 2))
            return 0;
        SetSubRange(5, m_params.chromaPass ? 60 : 90);
        const int split = SplitIntoBands(6, 0);
        const int ok = split ? RunBands() : 0;
        SetProgressWindow(SavedLow(), SavedHigh());
        const bool skipped = BandsSkipped();
        if (!ok && !skipped)
            return 0;
        // Rows no block wrote hold the luminance as it was, so the whole plane goes back.
        uint16_t* px = Pixels16(m_work);
        for (size_t i = 0, n = PixelCount(m_work); i < n; ++i)
            px[i * 4 + 2] = m_yOut.data[i];
        if (skipped)
            return 1;
    }
    // A picture one pixel thin has no half-size copy to average the chroma over.
    if (m_params.chromaPass && w >= 2 && h >= 2) {
        SetProgress(60);
        if (!ChromaPass())
            return 0;
    }
    uint16_t* d = Pixels16(*m_pDestination);
    const uint16_t* wk = Pixels16(m_work);
    for (size_t i = 0, n = PixelCount(m_work); i < n; ++i)
        std::memcpy(d + i * 4, wk + i * 4, 3 * sizeof(uint16_t));
    YCbCrToRgb16(*m_pDestination);
    return 1;
}

int CNoiseReduction::BuildEdgeMap()
{
    const Plane16& P = m_y;
    const int w = P.width, h = P.height;
    Plane16 C{};
    std::unique_ptr<uint8_t[]> D(AllocNoThrow<uint8_t>(static_cast<int64_t>(w) * h));
    if (!AllocPlane16(m_edge, w, h) || !CopyPlane16(C, P) || !D) {
        FreePlane16(C);
        return 0;
    }
    std::memset(m_edge.data, 0, static_cast<size_t>(w) * h * 2);
    std::memset(D.get(), 0, static_cast<size_t>(w) * h);
    uint16_t* work = Pixels16(m_work);
    const int64_t rowWork = static_cast<int64_t>(w) * 16;
    bool ok = ParallelRows(h, rowWork, [&](int y0, int y1) {
        for (int y = std::max(1, y0); y < std::min(h - 1, y1); ++y)
            for (int x = 1; x < w - 1; ++x) {
                auto c = [&](int dx, int dy) { return static_cast<int>(At(C, x + dx, y + dy)); };
                const int d1 = std::abs(c(-1, -1) + c(0, -1) + c(1, -1) - c(-1, 1) - c(0, 1) - c(1, 1));
                const int d2 = std::abs(c(-1, -1) + c(-1, 0) + c(-1, 1) - c(1, -1) - c(1, 0) - c(1, 1));
                const int d3 = std::abs(c(-1, -1) + c(0, -1) + c(-1, 0) - c(1, 0) - c(0, 1) - c(1, 1));
                const int d4 = std::abs(c(0, -1) + c(1, -1) + c(1, 0) - c(-1, 0) - c(-1, 1) - c(0, 1));
                uint8_t dir = 1;
                if (d4 > std::max({d1, d2, d3}))
                    dir = 4;
                else if (d3 > std::max(d1, d2))
                    dir = 3;
                else if (d2 > d1)
                    dir = 2;
                const size_t i = static_cast<size_t>(y) * w + x;
                D[i] = dir;
                const uint16_t e = static_cast<uint16_t>(std::min(std::max({d1, d2, d3, d4}), 65535));
                m_edge.data[i] = e;
                work[i * 4 + 3] = e;
            }
        return true;
    });
    // Smoothing along the edge reads the directions of the neighbours: a second pass.
    ok = ok && ParallelRows(h, rowWork, [&](int y0, int y1) {
        for (int y = std::max(1, y0); y < std::min(h - 1, y1); ++y)
            for (int x = 1; x < w - 1; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                uint32_t sum = C.data[i], count = 1;
                auto add = [&](int dx, int dy, uint8_t unless) {
                    const size_t j = static_cast<size_t>(y + dy) * w + (x + dx);
                    if (D[j] != unless) {
                        sum += C.data[j];
                        ++count;
                    }
                };
                switch (D[i]) {
                case 1: add(-1, 0, 2), add(1, 0, 2); break;
                case 2: add(0, -1, 1), add(0, 1, 1); break;
                case 3: add(1, -1, 4), add(-1, 1, 4); break;
                default: add(-1, -1, 3), add(1, 1, 3); break;
                }
                const uint16_t v = static_cast<uint16_t>(sum / count);
                P.data[i] = v;
                work[i * 4 + 2] = v;
            }
        return true;
    });
    FreePlane16(C);
    return ok ? 1 : 0;
}

int HalvePlane16(const Plane16& src, Plane16& dst)
{
    const int w = src.width / 2, h = src.height / 2;
    if (!src.data || w < 1 || h < 1)
        return 0;
    Plane16 out{};
    if (!AllocPlane16(out, w, h))
        return 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t s = At(src, 2 * x, 2 * y) + At(src, 2 * x + 1, 2 * y) + At(src, 2 * x, 2 * y + 1) +
                               At(src, 2 * x + 1, 2 * y + 1);
            At(out, x, y) = static_cast<uint16_t>(s >> 2);
        }
    if (&src == &dst || dst.data)
        FreePlane16(dst);
    dst = out;
    return 1;
}

int CNoiseReduction::HalvePlanes()
{
    // Below 2 pixels a side there is no half size, and no block fits the picture either.
    if (!m_halfPlanes || m_y.width < 2 || m_y.height < 2)
        return 1;
    return HalvePlane16(m_edge, m_edge) && HalvePlane16(m_y, m_y);
}

int CNoiseReduction::ProcessBand(BandTask& task)
{
    const int s = 5 - 2 * m_step;
    const int perStripe = std::max(1, kStripeRows / s);
    std::vector<uint16_t> rows;
    for (int first = 0; first < m_blockRows; first += perStripe) {
        const int y = first * s;
        if (y < task.first || y >= task.end)
            continue;
        if (!FilterStripe(first, std::min(m_blockRows, first + perStripe), rows))
            return 0;
        if (IsAlgorithmCancelled())
            return 1;
    }
    return 1;
}

int CNoiseReduction::FilterStripe(int i0, int i1, std::vector<uint16_t>& rows)
{
    const int a = m_step, s = 5 - 2 * a;
    const int W = m_work.width, H = m_work.height;
    const int y0 = i0 * s, yEnd = std::min(H, (i1 - 1) * s + 5);
    const size_t count = static_cast<size_t>(yEnd - y0) * W;
    try {
        rows.resize(count);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const uint16_t* work = Pixels16(m_work);
    for (size_t i = 0; i < count; ++i)
        rows[i] = work[(static_cast<size_t>(y0) * W + i) * 4 + 2];
    auto Yref = [&](int x, int y) -> uint16_t& { return rows[static_cast<size_t>(y - y0) * W + x]; };
    auto Eref = [&](int x, int y) { return work[(static_cast<size_t>(y) * W + x) * 4 + 3]; };

    const Plane16 &Yp = m_y, &Ep = m_edge;
    const int PW = Yp.width, PH = Yp.height, R = m_searchRadius, N = m_matchCount;
    Match list[16];
    for (int bi = i0; bi < i1; ++bi) {
        const int y = bi * s;
        for (int x = 0; x < W - 5; x += s) {
            const int cx = m_halfPlanes ? x / 2 : x, cy = m_halfPlanes ? y / 2 : y;
            int n = 0;
            uint32_t bound = 2147483647u;
            const int tx1 = std::min(cx + R, PW - 5), ty1 = std::min(cy + R, PH - 5);
            for (int ty = std::max(0, cy - R); ty < ty1; ++ty)
                for (int tx = std::max(0, cx - R); tx < tx1; ++tx) {
                    if (std::abs(tx - cx) + std::abs(ty - cy) <= m_minDistance)
                        continue;
                    uint32_t d = 0;
                    bool dropped = false;
                    for (int r = 0; r < 5 && !dropped; ++r) {
                        const uint16_t* yp = Yp.data + static_cast<size_t>(ty + r) * PW + tx;
                        const uint16_t* ep = Ep.data + static_cast<size_t>(ty + r) * PW + tx;
                        const uint16_t* yr = &Yref(x, y + r);
                        const uint16_t* er = work + (static_cast<size_t>(y + r) * W + x) * 4 + 3;
                        for (int c = 0; c < 5; ++c)
                            d += static_cast<uint32_t>(std::abs(int(er[c * 4]) - int(ep[c])) +
                                                       std::abs(int(yr[c]) - int(yp[c])));
                        dropped = d > bound;
                    }
                    if (dropped || !(d < bound))
                        continue;
                    int pos = 0;
                    while (pos < n && list[pos].distance <= d)
                        ++pos;
                    if (pos >= N)
                        continue;
                    const int last = std::min(n, N - 1);
                    for (int k = last; k > pos; --k)
                        list[k] = list[k - 1];
                    list[pos] = {d, tx, ty};
                    n = std::min(n + 1, N);
                    if (n == N)
                        bound = list[n - 1].distance;
                }
            if (n == 0)
                continue;
            const uint32_t base = list[0].distance + list[n - 1].distance + 1;
            uint64_t wts[16];
            uint64_t total = 0;
            for (int k = 0; k < n; ++k) {
                wts[k] = (base - list[k].distance) / 100 + 1;
                total += wts[k];
            }
            const uint64_t w0 = wts[0];
            total += w0;
            for (int r = a; r <= 4 - a; ++r)
                for (int c = a; c <= 4 - a; ++c) {
                    uint16_t& yv = Yref(x + c, y + r);
                    const int64_t v = yv;
                    uint64_t sum = static_cast<uint64_t>(v) * w0;
                    for (int k = 0; k < n; ++k)
                        sum += wts[k] * At(Yp, list[k].tx + c, list[k].ty + r);
                    const int64_t m = static_cast<uint16_t>(sum / total);
                    const int e = Eref(x + c, y + r);
                    const int t = std::clamp(256 - e / 40, 0, 256);
                    const int64_t amount = ((256 - t) * m_edgeAmount + t * 100) >> 8;
                    yv = ClampU16(v + amount * (m - v) / 100);
                }
        }
        if (IsAlgorithmCancelled())
            break;
    }
    // Each block row writes its own s rows, so stripes write disjoint rows of the result.
    const int w0 = y0 + a, w1 = std::min(H, (i1 - 1) * s + a + s);
    for (int yy = w0; yy < w1; ++yy)
        std::memcpy(m_yOut.data + static_cast<size_t>(yy) * W, &Yref(0, yy), static_cast<size_t>(W) * 2);
    return 1;
}

int CNoiseReduction::ChromaPass()
{
    const int w = m_work.width, h = m_work.height;
    ImageBuffer16 half{}, back{};
    CImageSize sizer;
    sizer.SetParent(this, ProgressLow(), ProgressLow());
    auto done = [&](int r) {
        FreeImageBuffer(half);
        FreeImageBuffer(back);
        return r;
    };
    if (!sizer.ResizeCubic(m_work, half, w / 2, h / 2, 0.33f, 0.73f))
        return done(IsAlgorithmCancelled() ? 1 : 0);
    if (IsAlgorithmCancelled())
        return done(1);
    SetProgress(70);
    if (!ExtractChannel16(m_y, m_work, 2) || !ExtractChannel16(m_cb, half, 1) || !ExtractChannel16(m_cr, half, 0))
        return done(0);
    if (!AverageChroma(half, half.height))
        return done(0);
    SetProgress(90);
    if (!sizer.ResizeBilinear(half, back, w, h))
        return done(IsAlgorithmCancelled() ? 1 : 0);
    std::swap(m_work, back);
    uint16_t* px = Pixels16(m_work);
    for (size_t i = 0, n = PixelCount(m_work); i < n; ++i)
        px[i * 4 + 2] = m_y.data[i];
    return done(1);
}

int CNoiseReduction::AverageChroma(ImageBuffer16& half, int rows)
{
    const int hw = half.width, hh = std::min(rows, half.height), Rc = m_chromaRadius;
    const int64_t T = m_chromaThreshold;
    const bool ok = ParallelRows(hh, static_cast<int64_t>(hw) * (Rc + 1) * (Rc + 1), [&](int i0, int i1) {
        for (int i = i0; i < i1; ++i) {
            uint16_t* row = Row16(half, i);
            for (int j = 0; j < hw; ++j) {
                const int y = row[j * 4 + 2], cb = m_cb.data[static_cast<size_t>(i) * hw + j],
                          cr = m_cr.data[static_cast<size_t>(i) * hw + j];
                const int cbRef = std::abs(cb - 0x8000) < 2000 ? 0x8000 : cb;
                const int crRef = std::abs(cr - 0x8000) < 2000 ? 0x8000 : cr;
                const int limit = y / 20;
                uint64_t sumCb = static_cast<uint64_t>(cb), sumCr = static_cast<uint64_t>(cr), taken = 1;
                for (int k = std::max(0, i - Rc); k < std::min(i + Rc + 1, hh); k += 2) {
                    const uint16_t* krow = Row16(half, k);
                    const uint16_t* kcb = m_cb.data + static_cast<size_t>(k) * hw;
                    const uint16_t* kcr = m_cr.data + static_cast<size_t>(k) * hw;
                    for (int l = std::max(0, j - Rc); l < std::min(j + Rc + 1, hw); l += 2) {
                        if (std::abs(int(krow[l * 4 + 2]) - y) >= limit)
                            continue;
                        if (std::abs(int(kcr[l]) - crRef) + std::abs(int(kcb[l]) - cbRef) >= T)
                            continue;
                        sumCb += kcb[l];
                        sumCr += kcr[l];
                        ++taken;
                    }
                }
                row[j * 4 + 1] = static_cast<uint16_t>(sumCb / taken);
                row[j * 4 + 0] = static_cast<uint16_t>(sumCr / taken);
            }
        }
        return true;
    });
    // A cancel leaves the remaining rows with their chroma, as the caller discards the result.
    return ok || IsAlgorithmCancelled() ? 1 : 0;
}

int32_t EstimateNoiseStrength(const ImageBuffer16& image)
{
    const int w = image.width / 32, h = image.height / 32;
    if (!image.data || w < 3 || h < 3)
        return 50; // no interior pixel to measure (and no zero-sized copy)
    ImageBuffer16 small{};
    CImageSize sizer;
    if (!sizer.ResizeBilinear(image, small, w, h)) {
        FreeImageBuffer(small);
        return 50;
    }
    RgbToYCbCr16(small);
    std::vector<uint32_t> mark(static_cast<size_t>(w) * h, 65535);
    auto Y = [&](int x, int y) { return static_cast<int>(Row16(small, y)[x * 4 + 2]); };
    uint32_t m = 65535;
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            const int v = Y(x, y);
            if (v < 10001 || v > 49999)
                continue;
            const uint32_t k = static_cast<uint32_t>(std::min(
                65535, std::abs(v - Y(x, y - 1)) + std::abs(v - Y(x, y + 1)) + std::abs(v - Y(x - 1, y)) +
                           std::abs(v - Y(x + 1, y))));
            mark[static_cast<size_t>(y) * w + x] = k;
            m = std::min(m, k);
        }
    FreeImageBuffer(small);
    const uint32_t g = std::max<uint32_t>(2 * m, 128);
    double total = 0, count = 0;
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            if (mark[static_cast<size_t>(y) * w + x] >= g)
                continue;
            int l[81];
            int64_t sum = 0;
            for (int r = 0; r < 9; ++r) {
                const uint16_t* row = Row16(image, 32 * y - 4 + r);
                for (int c = 0; c < 9; ++c) {
                    const uint16_t* p = row + static_cast<size_t>(32 * x - 3 + c) * 4;
                    l[r * 9 + c] = (3 * p[2] + 6 * p[1] + p[0]) / 10;
                    sum += l[r * 9 + c];
                }
            }
            const int64_t c = sum / 81;
            for (int v : l)
                total += static_cast<double>((v - c) * (v - c));
            count += 81;
        }
    if (count == 0)
        return 50;
    const int r = 8 - static_cast<int>((std::sqrt(total / count) - 1000) * -0.03125);
    return std::clamp(r, 8, 100);
}
