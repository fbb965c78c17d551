#include "algorithms/Chromakey.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/InOutMatting.h"
#include "algorithms/LaplacianMatting.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/RecordCopy.h"
#include "algorithms/ToneLut.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

int Grey(const uint16_t* p)
{
    return (p[0] + 3 * p[2] + 6 * p[1]) / 10;
}

int GreyDeviation(const uint16_t* p)
{
    const int y = Grey(p);
    return std::abs(p[0] - y) + std::abs(p[1] - y) + std::abs(p[2] - y);
}

int Hue(uint16_t b, uint16_t g, uint16_t r)
{
    uint16_t px[4] = {b, g, r, 65535};
    RgbToHsl16(px, 1);
    return px[2];
}

} // namespace

void InitChromakeyParams(ChromakeyParams& p)
{
    p.size = sizeof(ChromakeyParams);
    std::memset(p.samples, 0, sizeof p.samples);
    p.hueToleranceBelow = p.hueToleranceAbove = 2000;
    p.chromaNormalise = 0;
    p.edgeRadius = 2;
    p.keyNeutralise = p.matteBlur = 0;
    p.snapAndCurve = 0;
    std::memset(p.alphaCurve, 0, sizeof p.alphaCurve);
}

void ApplyForegroundChroma(const uint16_t* P, const uint16_t* F, uint16_t* out)
{
    auto Y = [](const uint16_t* x) { return (601 * x[1] + 306 * x[2] + 117 * x[0]) >> 10; };
    const int yf = Y(F), yp = Y(P);
    const int cb = ((F[0] - yf) * 579) >> 10, cr = ((F[2] - yf) * 730) >> 10;
    out[2] = ClampU16(yp + ((cr * 1437) >> 10));
    out[1] = ClampU16(yp - ((cr * 731 + cb * 352) >> 10));
    out[0] = ClampU16(yp + ((cb * 1812) >> 10));
    out[3] = P[3];
}

bool CChromakey::BuildKeyTables()
{
    try {
        if (m_square.empty()) {
            m_square.resize(65536);
            for (uint32_t i = 0; i < 65536; ++i)
                m_square[i] = static_cast<uint16_t>(uint64_t(i) * i / 65536);
        }
        m_membership.resize(65536);
        for (auto& g : m_gain)
            g.resize(65536);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int k = m_params.keyNeutralise;
    for (int c = 0; c < 3; ++c) {
        if (k == 0) {
            BuildToneLut(m_gain[c].data(), ToneLutIdentity, 0, 0);
            continue;
        }
        const int h = k / 3, y = Grey(m_key);
        const int C = m_key[2 - c]; // R, G, B
        const double denominator = (double(h) * C + double(100 - h) * y) / 100;
        const double m = denominator > 0 ? y / denominator : 1.0;
        BuildToneLut(m_gain[c].data(), ToneLutIdentity | ToneLutBrightness, m, m < 1 ? 3000 : 40000);
    }
    const int count = std::min<int>(m_params.sampleCount, 10);
    int sampleHue[10];
    for (int s = 0; s < count; ++s) {
        const uint16_t* p = m_params.samples[s];
        sampleHue[s] = Hue(m_gain[2][p[0]], m_gain[1][p[1]], m_gain[0][p[2]]);
    }
    // A zero tolerance would divide zero by zero at the sample's own hue.
    const double below = std::max<int>(1, m_params.hueToleranceBelow);
    const double above = std::max<int>(1, m_params.hueToleranceAbove);
    for (int c = 0; c < 65536; ++c) {
        int best = 65535;
        for (int s = 0; s < count; ++s) {
            const int d1 = c - sampleHue[s], d2 = c >= sampleHue[s] ? d1 - 65535 : d1 + 65535;
            const int d = std::abs(d1) < std::abs(d2) ? d1 : d2;
            if (std::abs(d) < std::abs(best))
                best = d;
        }
        const double sigma = best < 0 ? below : above;
        m_membership[c] = static_cast<uint16_t>(std::pow(2.7188282, -double(best) * best / (2 * sigma * sigma)) * 65535);
    }
    return true;
}

bool CChromakey::BuildKeyMask(const ImageBuffer16& source, ImageBuffer16& destination)
{
    const size_t n = PixelCount(source);
    std::vector<uint32_t> hist;
    try {
        m_mask.assign(n, 0);
        hist.assign(65536, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint16_t* d = Pixels16(destination);
    const int w = source.width;
    ParallelRows(source.height, int64_t(w) * 8, [&](int y0, int y1) {
        uint16_t* p = d + size_t(y0) * w * 4;
        const size_t count = size_t(y1 - y0) * w;
        for (size_t i = 0; i < count; ++i) {
            p[i * 4 + 0] = m_gain[2][p[i * 4 + 0]];
            p[i * 4 + 1] = m_gain[1][p[i * 4 + 1]];
            p[i * 4 + 2] = m_gain[0][p[i * 4 + 2]];
        }
        RgbToHsl16(p, count);
        return true;
    });
    const int share = std::min<int>(m_params.chromaNormalise, 100);
    for (size_t i = 0; i < n; ++i) {
        if (i % 40000 == 0) {
            SetProgress(static_cast<int>(10 * uint64_t(i) / n));
            if (IsAlgorithmCancelled())
                break;
        }
        const int mem = m_membership[d[i * 4 + 2]];
        uint16_t value = 65535;
        if (mem != 0) {
            const int L8 = SrgbEncodeTable[d[i * 4 + 0]];
            const uint16_t* s = Pixels16(source) + i * 4;
            const int R8 = SrgbEncodeTable[s[2]], G8 = SrgbEncodeTable[s[1]], B8 = SrgbEncodeTable[s[0]];
            const double dist = std::sqrt(double((R8 - L8) * (R8 - L8) + (G8 - L8) * (G8 - L8) + (B8 - L8) * (B8 - L8)));
            const double v = ((dist * 255 / (L8 + 1)) * share + (100 - share) * dist) / 100 * mem / 65535;
            value = static_cast<uint16_t>(std::max(0, 255 - static_cast<int>(v)) * 257);
        }
        m_mask[i] = value;
        ++hist[value];
    }
    uint32_t t = 0;
    const uint64_t tenth = n / 10;
    if (tenth > 0) {
        uint64_t total = 0;
        for (uint32_t v = 0; v < 65536; ++v) {
            total += hist[v];
            if (total >= tenth) {
                t = v + 1;
                break;
            }
        }
        t = std::min<uint32_t>(t, 63000);
    }
    for (size_t i = 0; i < n; ++i) {
        if (i % 40000 == 0)
            SetProgress(static_cast<int>(10 + 10 * uint64_t(i) / n));
        const uint32_t m = m_mask[i];
        m_mask[i] = m <= t ? 0
                    : m >= 65500 ? 65535
                                 : static_cast<uint16_t>(std::min<uint32_t>(65535, (m - t) * 16384 / (65500 - t) * 4));
    }
    return CopyImage16(destination, source) != 0;
}

void CChromakey::ComposeRows(const ImageBuffer16& source, ImageBuffer16& destination, int y0, int y1)
{
    const int w = source.width;
    for (int y = y0; y < y1; ++y) {
        const uint16_t* s = Row16(source, y);
        uint16_t* d = Row16(destination, y);
        uint16_t* mask = m_mask.data() + size_t(y) * w;
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            const int e = mask[x];
            if (e <= 256) {
                d[0] = d[1] = d[2] = d[3] = 0;
                mask[x] = 0;
                continue;
            }
            const int m8 = m_membership[Hue(s[0], s[1], s[2])] >> 8;
            const int grey = Grey(s);
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<uint16_t>((s[c] * (255 - m8) + m8 * grey) / 255);
            d[3] = e >= 65535 ? 65535 : m_square[e];
            mask[x] = d[3];
        }
    }
}

bool CChromakey::RefineEdges(const ImageBuffer16& source, ImageBuffer16& destination)
{
    const int r = m_params.edgeRadius, w = source.width, h = source.height;
    Plane8 m8{}, er{};
    if (!AllocPlane8(m8, w, h))
        return false;
    for (size_t i = 0; i < PixelCount(source); ++i)
        m8.data[i] = static_cast<uint8_t>(m_mask[i] >> 8);
    if (!ShrinkMask(m8, er, 1, 1)) {
        FreePlane8(m8);
        return false;
    }
    // Whole-picture sizes, not band sizes, so the result does not depend on the split.
    const bool large = std::max(w, h) + r > 2000;
    auto ok = ParallelRows(h, int64_t(w) * (2 * r + 1) * (2 * r + 1) / 4, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = r; x < w - r; ++x) {
                if (m8.data[size_t(y) * w + x] <= 16)
                    continue;
                int64_t bg[3] = {0, 0, 0}, fg[3] = {0, 0, 0}, fgWeight = 0;
                int64_t bgCount = 0;
                const int64_t bgStart = large ? 1 : 0;
                if (large) {
                    for (int c = 0; c < 3; ++c)
                        bg[c] = m_key[c];
                    bgCount = 1;
                }
                for (int dy = -r; dy <= r; ++dy) {
                    const int yy = std::clamp(y + dy, 0, h - 1); // rows beyond the picture repeat its edge
                    const uint16_t* srow = Row16(source, yy);
                    for (int xx = x - r; xx <= x + r; ++xx) {
                        const int v = m8.data[size_t(yy) * w + xx];
                        const uint16_t* s = srow + xx * 4;
                        if (v < 64) {
                            for (int c = 0; c < 3; ++c)
                                bg[c] += s[c];
                            ++bgCount;
                        } else if (v > 200) {
                            const int e = er.data ? er.data[size_t(yy) * w + xx] : 0;
                            for (int c = 0; c < 3; ++c)
                                fg[c] += int64_t(e) * s[c];
                            fgWeight += e;
                        }
                    }
                }
                if (fgWeight <= 1 || bgCount <= bgStart)
                    continue;
                uint16_t F[4], Bg[4];
                for (int c = 0; c < 3; ++c) {
                    F[c] = static_cast<uint16_t>(fg[c] / fgWeight);
                    Bg[c] = static_cast<uint16_t>(bg[c] / bgCount);
                }
                F[3] = Bg[3] = 65535;
                const uint16_t* P = Row16(source, y) + x * 4;
                const double G = ColourDistance16(F, Bg);
                double a = 0;
                if (G >= 0.01) {
                    const double M = ColourDistance16(P, Bg), N = ColourDistance16(P, F);
                    if (M > 0) {
                        const double c = (G * G + M * M - N * N) / (2 * G * M);
                        a = std::clamp(((c * c + 1 - c) * M / G - 0.5) * 1.4 + 0.5, 0.0, 1.0);
                    }
                }
                uint16_t* d = Row16(destination, y) + x * 4;
                uint16_t out[4];
                ApplyForegroundChroma(d, F, out);
                out[3] = std::min<uint16_t>(d[3], static_cast<uint16_t>(a * 65535));
                std::copy_n(out, 4, d);
            }
        return true;
    });
    FreePlane8(m8);
    FreePlane8(er);
    return ok;
}

bool CChromakey::RefineMatte(const ImageBuffer16& source, ImageBuffer16& destination)
{
    Plane16 alpha{};
    Plane8 known{};
    const int w = source.width, h = source.height;
    if (!AllocPlane16(alpha, w, h) || !AllocPlane8(known, w, h)) {
        FreePlane16(alpha);
        FreePlane8(known);
        return false;
    }
    for (size_t i = 0; i < PixelCount(source); ++i) {
        const uint16_t a = Pixels16(destination)[i * 4 + 3];
        alpha.data[i] = a;
        known.data[i] = a < 16 || a > 240 ? 255 : 0;
    }
    LaplacianMattingParams lp;
    lp.guide = const_cast<ImageBuffer16*>(&source);
    lp.alpha = &alpha;
    lp.known = &known;
    lp.iterations = 5;
    CLaplasianMattingOptimize relax;
    relax.SetSource(lp.guide);
    relax.SetParams(&lp);
    const bool ok = relax.Run() != 0;
    if (ok)
        for (size_t i = 0; i < PixelCount(source); ++i)
            Pixels16(destination)[i * 4 + 3] = alpha.data[i];
    FreePlane16(alpha);
    FreePlane8(known);
    return ok;
}

int CChromakey::KeyNearGrey(ImageBuffer16& source, ImageBuffer16& destination)
{
    const int w = source.width, h = source.height;
    const size_t n = PixelCount(source);
    std::vector<uint8_t> bins(n);
    uint64_t count[256] = {};
    for (size_t i = 0; i < n; ++i) {
        const uint16_t* p = Pixels16(source) + i * 4;
        double d2 = 0;
        for (int c = 0; c < 3; ++c)
            d2 += double(p[c] - m_key[c]) * (p[c] - m_key[c]);
        bins[i] = static_cast<uint8_t>(std::min<int64_t>(255, static_cast<int64_t>(std::sqrt(d2)) / 256));
        ++count[bins[i]];
    }
    double num = 0, den = 0;
    for (int b = 0; b < 32; ++b) {
        num += double(count[b]) * b * b;
        den += double(count[b]);
    }
    // Nothing near the key: no pixel counts as close.
    const int T = den > 0 ? static_cast<int>(std::sqrt(num / den) + 0.5) : -1;
    Plane8 outside{}, inside{}, blurred{};
    bool ok = AllocPlane8(outside, w, h) && AllocPlane8(inside, w, h);
    if (ok) {
        for (size_t i = 0; i < n; ++i) {
            outside.data[i] = bins[i] <= T ? 0 : 255;
            inside.data[i] = bins[i] > 128 || GreyDeviation(Pixels16(source) + i * 4) >= 8000 ? 255 : 0;
        }
        const double s = std::min(w, h) / 200.0;
        CGaussBlur blur;
        if (s > 0) {
            ok = blur.BlurPlane8(2 * s, outside, blurred) != 0;
            if (ok)
                for (size_t i = 0; i < n; ++i)
                    if (blurred.data[i] >= 128)
                        outside.data[i] = 255;
            ok = ok && blur.BlurPlane8(s, inside, blurred) != 0;
            if (ok)
                for (size_t i = 0; i < n; ++i)
                    inside.data[i] = blurred.data[i] >= 250 ? 255 : 0;
        }
    }
    int result = 0;
    if (ok) {
        InOutMattingParams p;
        p.inside = &inside;
        p.outside = &outside;
        p.reserved0 = 2;
        p.reserved1 = 0;
        p.refineIterations = 32;
        CInOutMatting matting;
        matting.SetSource(&source);
        matting.SetDestination(&destination);
        matting.SetParams(&p);
        matting.SetParent(this, 10, 100);
        result = matting.Run();
    }
    FreePlane8(outside);
    FreePlane8(inside);
    FreePlane8(blurred);
    return result;
}

int CChromakey::Run()
{
    CopyRecordAtMost(m_params, Params());
    m_nearGrey = false;
    ImageBuffer16* src = Source();
    ImageBuffer16* dst = Destination();
    // The key mask pass works in the destination while reading the source: they must differ.
    if (!src || !dst || src == dst || !src->data || src->width <= 0 || src->height <= 0)
        return 0;
    if (!CopyImage16(*dst, *src))
        return 0;
    // A stored radius is a byte; beyond 32 the window costs far more than it can repair.
    m_params.edgeRadius = std::min<uint8_t>(m_params.edgeRadius, 32);
    BuildGammaTables();
    const int count = std::min<int>(m_params.sampleCount, 10);
    std::copy_n(m_params.samples[0], 4, m_key);
    if (m_params.snapAndCurve) {
        const uint16_t* best = nullptr;
        double bestD = 0;
        for (size_t i = 0; i < PixelCount(*src); ++i) {
            const uint16_t* p = Pixels16(*src) + i * 4;
            const double d = ColourDistance16(p, m_params.samples[0]);
            if (!best || d < bestD)
                best = p, bestD = d;
        }
        std::copy_n(best, 4, m_key);
    }
    for (int s = 0; s < count; ++s)
        if (Grey(m_params.samples[s]) < Grey(m_key))
            std::copy_n(m_params.samples[s], 4, m_key);
    if (GreyDeviation(m_key) < 1000) {
        m_nearGrey = true;
        return KeyNearGrey(*src, *dst);
    }
    if (!BuildKeyTables() || !BuildKeyMask(*src, *dst))
        return 0;
    SetSubRange(20, 80);
    // Every row is composed before any edge is repaired: the repair reads the composed matte
    // of neighbouring rows.
    bool ok = ParallelRows(src->height, int64_t(src->width) * 8, [&](int y0, int y1) {
        ComposeRows(*src, *dst, y0, y1);
        return true;
    });
    if (ok && m_params.edgeRadius > 0)
        ok = RefineEdges(*src, *dst);
    SetProgress(100);
    SetProgressWindow(SavedLow(), SavedHigh());
    if (!ok)
        return 0;
    if (m_params.matteBlur > 0) {
        ImageBuffer16 blurred{};
        CGaussBlur blur;
        blur.SetParent(this, 80, 100);
        if (!blur.BlurImage16(m_params.matteBlur, *dst, blurred)) {
            FreeImageBuffer(blurred);
            return 0;
        }
        for (size_t i = 0; i < PixelCount(*dst); ++i)
            Pixels16(*dst)[i * 4 + 3] = Pixels16(blurred)[i * 4 + 3];
        FreeImageBuffer(blurred);
    }
    if (!RefineMatte(*src, *dst))
        return 0;
    if (m_params.snapAndCurve) {
        std::vector<uint16_t> table(65536);
        const uint8_t* curve = m_params.alphaCurve;
        for (int i = 0; i < 255; ++i)
            for (int k = 257 * i; k <= 257 * i + 257 && k < 65536; ++k)
                table[k] = static_cast<uint16_t>((k - 257 * i) * curve[i + 1] + (257 * i + 257 - k) * curve[i]);
        for (size_t i = 0; i < PixelCount(*dst); ++i)
            Pixels16(*dst)[i * 4 + 3] = table[Pixels16(*dst)[i * 4 + 3]];
    }
    return 1;
}
