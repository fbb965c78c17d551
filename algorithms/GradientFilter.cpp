#include "algorithms/GradientFilter.h"

#include "algorithms/ColourOps.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/ToneMaker.h"

#include <cmath>
#include <cstring>
#include <numbers>

CGradientFilter::~CGradientFilter()
{
    FreeImageBuffer(m_versionA);
}

namespace {

// The line's geometry for one picture size, computed once per band.
struct Geometry {
    double D, cosT, sinT, cx, cy;
    int s, e;
    Geometry(const GradientParams& p, int w, int h)
        : D(std::sqrt((h / 2.0) * (h / 2.0) + (w / 2.0) * (w / 2.0))),
          cosT(std::cos(p.angle * std::numbers::pi / 180)), sinT(std::sin(p.angle * std::numbers::pi / 180)),
          cx(w / 2.0), cy(h / 2.0), s(p.start * 10), e(p.end * 10)
    {
    }
    int Weight(int x, int y) const
    {
        if (D <= 0)
            return 0;
        const double o = std::clamp((y - cy) / D, -1.0, 1.0);
        const double t = std::clamp((x - cx) / D, -1.0, 1.0);
        const int v = std::clamp(static_cast<int>((o * cosT + t * sinT + 1) * 500), 0, 1000);
        if (v > e)
            return 255;
        if (v > s)
            return (v - s) * 255 / (e - s);
        return 0;
    }
};

} // namespace

int CGradientFilter::Weight(const GradientParams& p, int x, int y, int w, int h)
{
    return Geometry(p, w, h).Weight(x, y);
}

int CGradientFilter::RunNested(CAlgorithm& child, const void* params, int step, ImageBuffer16* out)
{
    child.SetParent(this, step * 10, step * 10 + 10);
    child.SetSource(m_pSource);
    child.SetDestination(out);
    child.SetParams(params);
    return child.Run();
}

int CGradientFilter::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    GradientParams& u = m_use;
    u = m_params;
    if (!(u.exposureBias == u.exposureBias))
        u.exposureBias = 0;
    u.exposureBias = std::clamp(u.exposureBias, -3.0, 3.0);
    u.amount = ClampField(u.amount, 0, 100);
    u.angle = ClampField(u.angle, -36000, 36000) % 360;
    u.start = ClampField(u.start, 0, 100);
    u.end = ClampField(u.end, 0, 100);
    // Version A into the kept picture (progress 0..10), version B into the destination (10..20).
    for (int k = 0; k < 2; ++k) {
        ImageBuffer16* out = k ? m_pDestination : &m_versionA;
        int ok;
        if (u.mode) {
            FilmAdjustParams f;
            f.exposure = static_cast<int32_t>((u.exposureBias + (k ? 1 : -1)) * 10);
            CAFilmAdjust film;
            ok = RunNested(film, &f, k, out);
        } else {
            ToneMakerParams t;
            t.redWeight = 33, t.greenWeight = 33, t.blueWeight = 34, t.desaturation = 0, t.toning = 50;
            const uint16_t* c = k ? u.colour2 : u.colour1;
            std::memcpy(t.shadow, c, 8);
            std::memcpy(t.midtone, c, 8);
            std::memcpy(t.highlight, c, 8);
            CToneMaker toner;
            ok = RunNested(toner, &t, k, out);
        }
        if (!ok)
            return 0;
    }
    if (m_versionA.width != m_pSource->width || m_versionA.height != m_pSource->height)
        return 0;
    return RunRows();
}

bool CGradientFilter::ProcessRows(int first, int end)
{
    const ImageBuffer16& src = *m_pSource;
    const int W = src.width, H = src.height;
    const int32_t amount = m_use.amount;
    const Geometry geo(m_use, W, H);
    for (int y = first; y < end; ++y) {
        const uint16_t* s = Row16(src, y);
        const uint16_t* a = Row16(m_versionA, y);
        uint16_t* b = Row16(*m_pDestination, y); // holds version B; each pixel is read before it is written
        for (int x = 0; x < W; ++x, s += 4, a += 4, b += 4) {
            const int32_t w = geo.Weight(x, y);
            for (int c = 0; c < 3; ++c) {
                const int32_t g = (a[c] * (255 - w) + b[c] * w) / 255;
                b[c] = static_cast<uint16_t>((s[c] * (100 - amount) + amount * g) / 100);
            }
        }
    }
    return true;
}
