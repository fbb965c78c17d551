#include "algorithms/EnhanceDynamic.h"

#include "algorithms/ColourOps.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ToneLut.h"
#include "imaging/ColourTables.h"
#include "platform/Sync.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

int64_t Trunc(double v)
{
    if (!(v == v))
        return 0;
    return static_cast<int64_t>(std::clamp(v, -1e15, 1e15));
}

struct PlaneGuard {
    Plane8 p{};
    ~PlaneGuard() { FreePlane8(p); }
};

} // namespace

double AutoToneFactor(const Plane8& grey)
{
    const size_t n = size_t(grey.width) * size_t(grey.height);
    if (n == 0)
        return 2;
    int64_t extreme = 0;
    for (size_t i = 0; i < n; ++i)
        extreme += grey.data[i] > 220 || grey.data[i] < 32;
    return std::clamp(4.0 * double(extreme) / double(n) + 1.5, 2.0, 4.0);
}

void CEnhanceDynamic::BuildAnchorTable(int a, int b, uint16_t* table)
{
    const double c = 100.0 * (a + 80), d = 65536 - 100.0 * (b + 80);
    const double pts[5][3] = {
        {0, 0, a > 0 ? 2 * c / 8000 : 1},
        {8000, c, 1},
        {32768, 32768, (d - c) / 49355},
        {57355, d, 1},
        {65535, 65535, b > 0 ? 2 * (65535 - d) / 8180 : 1},
    };
    for (int s = 0; s < 4; ++s) {
        const double x0 = pts[s][0], y0 = pts[s][1], m0 = pts[s][2];
        const double x1 = pts[s + 1][0], y1 = pts[s + 1][1], m1 = pts[s + 1][2];
        const double L = x1 - x0;
        for (int v = int(x0); v <= int(x1); ++v) {
            const double t0 = v - x0, t1 = v - x1;
            const double h = (1 + 2 * t0 / L) * (t1 / L) * (t1 / L) * y0 + t0 * (t1 / L) * (t1 / L) * m0 +
                             (1 - 2 * t1 / L) * (t0 / L) * (t0 / L) * y1 + (t0 / L) * (t0 / L) * t1 * m1;
            table[v] = ClampU16(Trunc(h));
        }
    }
}

int CEnhanceDynamic::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    m_use = m_params;
    m_use.shadows = ClampField(m_use.shadows, 0, 100);
    m_use.highlights = ClampField(m_use.highlights, 0, 100);
    m_use.radius = ClampField(m_use.radius, 0, 100);
    m_use.enhance = ClampField(m_use.enhance, 0, 100);
    if (!(m_use.factor >= 0))
        m_use.factor = 0; // NaN and negatives: automatic
    m_use.factor = std::min(m_use.factor, 100.0);
    if (!CopyUnlessSame(*m_pDestination, *m_pSource))
        return 0;
    if (m_use.shadows == 0 && m_use.highlights == 0)
        return 1;
    switch (m_use.mode) {
    case 0:
        return ApplyAnchorCurve();
    case 1:
        return BlendCurves();
    case 2:
        return LocalToneMap();
    default:
        return 1;
    }
}

int CEnhanceDynamic::ApplyAnchorCurve()
{
    try {
        m_table.assign(65536, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    BuildAnchorTable(m_use.shadows, m_use.highlights, m_table.data());
    return MapImageBgr(*m_pDestination, m_table.data(), m_table.data(), m_table.data()) ? 1 : 0;
}

int CEnhanceDynamic::BlendCurves()
{
    const ImageBuffer16& src = *m_pSource;
    ImageBuffer16& dst = *m_pDestination;
    ToneTable t1(65536), t2(65536);
    BuildToneLut(t1.data(), ToneLutIdentity | ToneLutBrightness, m_use.shadows / 20.0, 50000);
    BuildToneLut(t2.data(), ToneLutIdentity | ToneLutBrightness, 25.0 / (m_use.highlights + 25), 32768);
    PlaneGuard shadow, highlight, sb, hb;
    if (!AllocPlane8(shadow.p, src.width, src.height) || !AllocPlane8(highlight.p, src.width, src.height))
        return 0;
    ParallelRows(src.height, src.width, [&](int first, int end) {
        const uint16_t* s = Row16(src, first);
        for (size_t i = size_t(first) * src.width, e = size_t(end) * src.width; i < e; ++i, s += 4) {
            const int Y = Luma10(s);
            shadow.p.data[i] = static_cast<uint8_t>(Y < 5000 ? 255 : (Y < 15000 ? 255 * (15000 - Y) / 10000 : 0));
            highlight.p.data[i] = static_cast<uint8_t>(Y < 25000 ? 0 : (Y < 45000 ? 255 * (Y - 25000) / 20000 : 255));
        }
        return true;
    });
    const double sigma = std::min(src.width, src.height) / 15.0;
    CGaussBlur blur;
    blur.SetParent(this, 0, 0);
    if (!blur.BlurPlane8(sigma, shadow.p, sb.p) || !FeatherMask(sigma, highlight.p, hb.p))
        return 0;
    const bool ok = ParallelRows(dst.height, dst.width * 3, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const uint16_t* sp = Row16(src, y);
            uint16_t* dp = Row16(dst, y);
            const uint8_t* sw = sb.p.data + size_t(y) * src.width;
            const uint8_t* hw = hb.p.data + size_t(y) * src.width;
            for (int x = 0; x < src.width; ++x, sp += 4, dp += 4)
                for (int c = 0; c < 3; ++c) {
                    const int64_t v = sp[c];
                    int64_t c1 = v;
                    if (sw[x] > 0)
                        c1 = v + (t1[v] - v) * sw[x] / 255;
                    if (hw[x] > 0)
                        c1 = c1 + (t2[v] - c1) * hw[x] / 255;
                    dp[c] = ClampU16(c1);
                }
        }
        return true;
    });
    return ok ? 1 : 0;
}

int CEnhanceDynamic::LocalToneMap()
{
    const ImageBuffer16& src = *m_pSource;
    ImageBuffer16& dst = *m_pDestination;
    PlaneGuard grey, blurred;
    if (!ConvertImage16ToGrey8(src, grey.p))
        return 0;
    SetProgress(5);
    if (m_use.radius > 0) {
        CGaussBlur blur;
        blur.SetParent(this, 0, 0);
        if (!blur.BlurPlane8(m_use.radius * std::min(src.width, src.height) / 500.0, grey.p, blurred.p))
            return 0;
    } else if (!CopyPlane8(blurred.p, grey.p)) {
        return 0;
    }
    SetProgress(20);
    int A[256], C[256];
    for (int g = 0; g < 256; ++g) {
        const int m = static_cast<int>(Trunc((g - 128) * m_use.enhance / 33.0));
        A[g] = std::clamp(m + static_cast<int>(Trunc(1.28 * m_use.highlights)), 0, 255);
        C[g] = std::clamp(m - static_cast<int>(Trunc(1.28 * m_use.shadows)) + 256, 0, 255);
    }
    const bool automatic = m_use.factor < 0.001;
    const double x = automatic ? AutoToneFactor(grey.p) : m_use.factor;
    ToneTable bright(65536), dark(65536);
    for (int v = 0; v < 65536; ++v) {
        const double s = v / 65536.0;
        bright[v] = ClampU16(Trunc(65536 * (x * s * (1 - s) * (1 - s) + s * s * (3 - 2 * s) + s * s * (s - 1) / x)));
        dark[v] = ClampU16(Trunc(65536 * (s * (1 - s) * (1 - s) / x + s * s * (3 - 2 * s) + x * s * s * (s - 1))));
    }
    std::unique_ptr<uint32_t[]> hist(new (std::nothrow) uint32_t[65536]());
    if (!hist)
        return 0;
    const bool ok = ParallelRows(dst.height, dst.width * 3, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const uint16_t* sp = Row16(src, y);
            uint16_t* dp = Row16(dst, y);
            const uint8_t* gw = blurred.p.data + size_t(y) * src.width;
            for (int px = 0; px < src.width; ++px, sp += 4, dp += 4) {
                const int64_t a = A[gw[px]], c = C[gw[px]];
                for (int ch = 0; ch < 3; ++ch) {
                    const int64_t v = sp[ch];
                    dp[ch] = ClampU16((a * dark[v] + (c - a) * v + (256 - c) * bright[v]) / 256);
                }
            }
        }
        return true;
    });
    if (!ok)
        return 0;
    // Counts added up in any order give the same histogram: the rows go to the helpers.
    const size_t n = PixelCount(dst);
    platform::CriticalSection merge;
    const bool counted = ParallelRows(dst.height, dst.width * 3, [&](int first, int end) {
        std::unique_ptr<uint32_t[]> part(new (std::nothrow) uint32_t[65536]());
        if (!part)
            return false;
        const uint16_t* d = Row16(dst, first);
        for (size_t i = 0, count = size_t(dst.width) * (end - first); i < count; ++i, d += 4)
            ++part[d[0]], ++part[d[1]], ++part[d[2]];
        platform::ScopedLock lock(merge);
        for (int v = 0; v < 65536; ++v)
            hist[v] += part[v];
        return true;
    });
    if (!counted)
        return 0;
    SetProgress(80);
    if (automatic) {
        const int64_t q = 3 * int64_t(n) / 250;
        int low = 0, high = 65535;
        if (q > 0) {
            int64_t sum = 0;
            while (low < 10000) {
                sum += hist[low++];
                if (sum >= q)
                    break;
            }
            sum = 0;
            while (high > 55000) {
                sum += hist[high--];
                if (sum >= q)
                    break;
            }
        }
        ToneTable t(65536);
        for (int v = 0; v < 65536; ++v)
            t[v] = v < low ? 0 : static_cast<uint16_t>(std::min<int64_t>(65535, int64_t(v - low) * 65535 / (high - low)));
        if (!MapImageBgr(dst, t.data(), t.data(), t.data()))
            return 0;
    }
    SetProgress(100);
    return 1;
}
