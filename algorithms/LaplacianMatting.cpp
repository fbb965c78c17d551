#include "algorithms/LaplacianMatting.h"

#include "algorithms/PixelAccess.h"
#include "algorithms/RecordCopy.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {

bool SameSize(const Plane16* a, const Plane8* k, const ImageBuffer16* g)
{
    return a && k && g && a->data && k->data && g->data && a->width == g->width && a->height == g->height &&
           k->width == g->width && k->height == g->height && g->width > 0 && g->height > 0;
}

// Over the 24 neighbours inside the picture: S = sum of weight x value, W = sum of weights,
// A = sum of their magnitudes.
template <class T, class Value>
void Neighbourhood(const int16_t* wt, int x, int y, int w, int h, Value value, T& S, T& W, T& A)
{
    S = W = A = 0;
    for (int kr = 0; kr < 5; ++kr)
        for (int l = 0; l < 5; ++l) {
            const int qx = x + l - 2, qy = y + kr - 2;
            if ((kr == 2 && l == 2) || qx < 0 || qy < 0 || qx >= w || qy >= h)
                continue;
            const T v = wt[kr * 5 + l];
            S += v * value(size_t(qy) * w + qx);
            W += v;
            A += v < 0 ? -v : v;
        }
}

} // namespace

bool CLaplasianMattingOptimize::ReadRecord()
{
    CopyRecordAtMost(m_params, Params());
    // Without a guide there are no weights to relax with.
    return SameSize(m_params.alpha, m_params.known, m_params.guide);
}

bool CLaplasianMattingOptimize::CountUnknown()
{
    const Plane8& known = *m_params.known;
    const int w = known.width, h = known.height;
    m_rowStart.assign(size_t(h) + 1, 0);
    int64_t n = 0;
    for (int y = 0; y < h; ++y) {
        m_rowStart[y] = n;
        const uint8_t* k = PlaneData8(known) + size_t(y) * w;
        for (int x = 0; x < w; ++x)
            n += k[x] != 255;
    }
    m_rowStart[h] = n;
    m_unknown = uint32_t(n);
    try {
        m_weights.assign(size_t(n) * kMattingTaps, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CLaplasianMattingOptimize::BuildWeights()
{
    const ImageBuffer16& g = *m_params.guide;
    const int w = g.width, h = g.height;
    try {
        m_mean.assign(PixelCount(g), 0);
        m_deviation.assign(PixelCount(g), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    auto px = [&](int x, int y) { return Row16(g, std::clamp(y, 0, h - 1)) + std::clamp(x, 0, w - 1) * 4; };
    ParallelRows(h, int64_t(w) * 30, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < w; ++x) {
                int lo[3] = {65535, 65535, 65535}, hi[3] = {0, 0, 0}, sum[3] = {0, 0, 0};
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const uint16_t* p = px(x + dx, y + dy);
                        for (int c = 0; c < 3; ++c) {
                            lo[c] = std::min<int>(lo[c], p[c]);
                            hi[c] = std::max<int>(hi[c], p[c]);
                            sum[c] += p[c];
                        }
                    }
                const int rB = hi[0] - lo[0], rG = hi[1] - lo[1], rR = hi[2] - lo[2];
                const int ch = rR >= rG && rR >= rB ? 2 : (rG > rB ? 1 : 0);
                const int mean = sum[ch] / 9;
                double sq = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const double d = px(x + dx, y + dy)[ch] - mean;
                        sq += d * d;
                    }
                const int dev = static_cast<int>(std::sqrt(sq / 9));
                m_mean[size_t(y) * w + x] = uint16_t(mean);
                m_deviation[size_t(y) * w + x] = uint16_t(ch << 14 | dev >> 2);
            }
        return true;
    });
    SetProgress(5);

    const int lo = m_params.singleWindow ? 1 : 0, hi = m_params.singleWindow ? 3 : 4;
    const Plane8& known = *m_params.known;
    ParallelRows(h, int64_t(w) * 50, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            int16_t* out = m_weights.data() + size_t(m_rowStart[y]) * kMattingTaps;
            const uint8_t* k = PlaneData8(known) + size_t(y) * w;
            for (int x = 0; x < w; ++x) {
                if (k[x] == 255)
                    continue;
                const uint16_t* P = Row16(g, y) + x * 4;
                for (int kr = lo; kr <= hi; ++kr)
                    for (int l = lo; l <= hi; ++l) {
                        const int qx = x + l - 2, qy = y + kr - 2;
                        if (qx < 0 || qy < 0 || qx >= w || qy >= h)
                            continue;
                        const uint16_t* Q = Row16(g, qy) + qx * 4;
                        int cx0 = std::max(x, qx) - 1, cx1 = std::min(x, qx) + 1;
                        int cy0 = std::max(y, qy) - 1, cy1 = std::min(y, qy) + 1;
                        if (m_params.singleWindow)
                            cx0 = cx1 = x, cy0 = cy1 = y;
                        double sum = 0;
                        for (int cy = std::max(0, cy0); cy <= std::min(h - 1, cy1); ++cy)
                            for (int cx = std::max(0, cx0); cx <= std::min(w - 1, cx1); ++cx) {
                                const size_t i = size_t(cy) * w + cx;
                                const int ch = m_deviation[i] >> 14;
                                const double s = 4.0 * (m_deviation[i] & 0x3FFF), mu = m_mean[i];
                                sum += ((Q[ch] - mu) * (P[ch] - mu) / (s * s + 1000) + 1) / -9;
                                if (qx == x && qy == y)
                                    sum += 1;
                            }
                        const double v = std::clamp(sum * 1000 + 0.5, -32768.0, 32767.0);
                        out[kr * 5 + l] = static_cast<int16_t>(v);
                    }
                out += kMattingTaps;
            }
        }
        return true;
    });
    SetProgress(10);
    return true;
}

const int16_t* CLaplasianMattingOptimize::WeightsAt(int x, int y) const
{
    const Plane8& known = *m_params.known;
    const uint8_t* k = PlaneData8(known) + size_t(y) * known.width;
    if (k[x] == 255)
        return nullptr;
    int64_t i = m_rowStart[y];
    for (int c = 0; c < x; ++c)
        i += k[c] != 255;
    return m_weights.data() + size_t(i) * kMattingTaps;
}

void CLaplasianMattingOptimize::SweepRows(int y0, int y1, const uint16_t* work, uint16_t* alpha) const
{
    const Plane8& known = *m_params.known;
    const int w = known.width, h = known.height;
    for (int y = y0; y < y1; ++y) {
        if (m_rowStart[y] == m_rowStart[y + 1])
            continue;
        const int16_t* wt = m_weights.data() + size_t(m_rowStart[y]) * kMattingTaps;
        const uint8_t* k = PlaneData8(known) + size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            if (k[x] == 255)
                continue;
            int64_t S, W, A;
            Neighbourhood(wt, x, y, w, h, [&](size_t i) { return int64_t(work[i]); }, S, W, A);
            if (std::llabs(W) > A / 10)
                alpha[size_t(y) * w + x] = ClampU16((S + W / 2) / W);
            wt += kMattingTaps;
        }
    }
}

int CLaplasianMattingOptimize::ProcessBand(BandTask& task)
{
    SweepRows(task.first, task.end, m_work.data(), PlaneData16(*m_params.alpha));
    return 1;
}

int CLaplasianMattingOptimize::Run()
{
    if (!ReadRecord())
        return 0;
    const int n = m_params.iterations;
    if (n <= 0)
        return 1;
    if (!CountUnknown())
        return 0;
    if (m_unknown == 0)
        return 1;
    if (!BuildWeights())
        return 0;
    Plane16& alpha = *m_params.alpha;
    const size_t count = size_t(alpha.width) * alpha.height;
    try {
        m_work.resize(count);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    // Each range writes only its own rows and reads the unchanged work copy.
    bool ok = true;
    for (int k = 0; k < n && ok; ++k) {
        std::copy_n(PlaneData16(alpha), count, m_work.data());
        ok = ParallelRows(alpha.height, int64_t(alpha.width) * 25, [&](int y0, int y1) {
            SweepRows(y0, y1, m_work.data(), PlaneData16(alpha));
            return true;
        });
        SetProgress(10 + static_cast<int>(int64_t(90) * (k + 1) / n));
    }
    m_weights = {};
    return ok ? 1 : 0;
}

int CDoubleLaplacian::Run()
{
    if (!ReadRecord())
        return 0;
    if (!CountUnknown())
        return 0;
    if (m_unknown == 0 || m_params.iterations <= 0)
        return 1;
    if (!BuildWeights())
        return 0;
    Plane16& alpha = *m_params.alpha;
    const int w = alpha.width, h = alpha.height;
    const size_t count = size_t(w) * h;
    std::vector<double> old, fresh;
    try {
        old.assign(PlaneData16(alpha), PlaneData16(alpha) + count);
        fresh = old;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const uint8_t* known = PlaneData8(*m_params.known);
    for (int it = 0; it < m_params.iterations; ++it) {
        ParallelRows(h, int64_t(w) * 25, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const int16_t* wt = m_weights.data() + size_t(m_rowStart[y]) * kMattingTaps;
                for (int x = 0; x < w; ++x) {
                    if (known[size_t(y) * w + x] == 255)
                        continue;
                    double S, W, A;
                    Neighbourhood(wt, x, y, w, h, [&](size_t i) { return old[i]; }, S, W, A);
                    if (std::fabs(W) > A / 10)
                        fresh[size_t(y) * w + x] = S / W;
                    wt += kMattingTaps;
                }
            }
            return true;
        });
        old = fresh;
    }
    uint16_t* a = PlaneData16(alpha);
    for (size_t i = 0; i < count; ++i)
        a[i] = static_cast<uint16_t>(std::clamp(old[i], 0.0, 65535.0));
    m_weights = {};
    return 1;
}
