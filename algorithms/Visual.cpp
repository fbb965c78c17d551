#include "algorithms/Visual.h"

#include "algorithms/ColourOps.h"
#include "algorithms/ToneLut.h"

#include <cmath>
#include <cstring>
#include <new>

VisualParams CVisual::Bounded() const
{
    VisualParams p = m_params;
    p.contrastSteps = ClampField(p.contrastSteps, -100, 100);
    p.exposureSteps = ClampField(p.exposureSteps, -100, 100);
    p.redSteps = ClampField(p.redSteps, -100, 100);
    p.greenSteps = ClampField(p.greenSteps, -100, 100);
    p.blueSteps = ClampField(p.blueSteps, -100, 100);
    p.strength = ClampField(p.strength, 0, 100);
    return p;
}

int CVisual::BuildTables()
{
    const VisualParams p = Bounded();
    try {
        m_tables.assign(3 * size_t(65536), 0);
    } catch (const std::bad_alloc&) {
        m_tables.clear();
        return 0;
    }
    const double s = p.strength;
    double c, b;
    if (p.exposureSteps > 0) {
        c = p.exposureSteps * s / 100 + 1;
        b = std::floor(c) * 20000;
    } else {
        c = std::pow(1 - s / 200, std::abs(p.exposureSteps));
        b = 5000;
    }
    const double f = p.contrastSteps > 0 ? p.contrastSteps * s / 300 + 1 : std::pow(1 - s / 300, std::abs(p.contrastSteps));
    // Colour steps tint while keeping the weighted luminance; a tint never drops below 1.
    const int64_t h = std::max<int64_t>(1, int64_t(p.strength) * p.redSteps * 70 + 32768);
    const int64_t g = std::max<int64_t>(1, int64_t(p.strength) * p.greenSteps * 70 + 32768);
    const int64_t m = std::max<int64_t>(1, int64_t(p.strength) * p.blueSteps * 70 + 32768);
    const double o = (3.0 * h + 6.0 * g + m) / 10;
    const double ratio[3] = {h / o, g / o, m / o};
    for (int ch = 0; ch < 3; ++ch) {
        uint16_t* t = m_tables.data() + size_t(ch) * 65536;
        BuildToneLut(t, ToneLutIdentity | ToneLutBrightness, c, b);
        BuildToneLut(t, ToneLutContrast, f, 20000);
        BuildToneLut(t, ToneLutBrightness, ratio[ch], ratio[ch] > 1 ? ratio[ch] * 20000 : 0);
    }
    m_builtFor = m_params;
    return 1;
}

int CVisual::ApplyTables(const ImageBuffer16& source, ImageBuffer16& destination)
{
    const VisualParams p = Bounded();
    if (!p.contrastSteps && !p.exposureSteps && !p.redSteps && !p.greenSteps && !p.blueSteps)
        return CopyUnlessSame(destination, source) ? 1 : 0;
    // Tables built for other counts would give a wrong picture: rebuild them.
    if (m_tables.empty() || std::memcmp(&m_builtFor, &m_params, sizeof m_params) != 0)
        if (!BuildTables())
            return 0;
    if (!CopyUnlessSame(destination, source))
        return 0;
    MapPixelsBgr(Pixels16(destination), PixelCount(destination), Table(2), Table(1), Table(0));
    return 1;
}

int CVisual::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    const VisualParams p = Bounded();
    if (!p.contrastSteps && !p.exposureSteps && !p.redSteps && !p.greenSteps && !p.blueSteps)
        return CopyUnlessSame(*m_pDestination, *m_pSource) ? 1 : 0;
    if (!BuildTables())
        return 0;
    const int ok = RunRows();
    m_tables.clear();
    m_tables.shrink_to_fit();
    return ok;
}

bool CVisual::ProcessRows(int first, int end)
{
    const uint16_t* tr = Table(0);
    const uint16_t* tg = Table(1);
    const uint16_t* tb = Table(2);
    const uint16_t* s = Row16(*m_pSource, first);
    uint16_t* d = Row16(*m_pDestination, first);
    for (size_t i = 0, n = size_t(m_pSource->width) * (end - first); i < n; ++i, s += 4, d += 4) {
        const uint16_t b = tb[s[0]], g = tg[s[1]], r = tr[s[2]], a = s[3];
        d[0] = b, d[1] = g, d[2] = r, d[3] = a;
    }
    return true;
}
