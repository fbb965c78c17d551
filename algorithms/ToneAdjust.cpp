#include "algorithms/ToneAdjust.h"

#include "algorithms/Algorithm.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/ToneLut.h"
#include "imaging/ColourTables.h"

#include <cstring>
#include <new>

namespace {

// The destination takes the source's shape; like a copy, it keeps memory of the same size.
bool ShapeLike(ImageBuffer16& dst, const ImageBuffer16& src)
{
    if (dst.data && dst.byteSize == src.byteSize) {
        dst.width = src.width;
        dst.height = src.height;
        dst.pixelCount = src.pixelCount;
        return true;
    }
    return AllocImage16(dst, src.width, src.height) != 0;
}

// Maps source into a destination of the same size (or in place), alpha copied, on the helpers.
bool MapBgr(const ImageBuffer16& src, ImageBuffer16& dst, const uint16_t* tb, const uint16_t* tg, const uint16_t* tr)
{
    const size_t rowValues = static_cast<size_t>(src.width) * 4;
    return ParallelRows(src.height, src.width, [&](int y0, int y1) {
        const uint16_t* s = Pixels16(src) + static_cast<size_t>(y0) * rowValues;
        uint16_t* d = Pixels16(dst) + static_cast<size_t>(y0) * rowValues;
        for (size_t i = 0, n = static_cast<size_t>(y1 - y0) * src.width; i < n; ++i, s += 4, d += 4) {
            d[0] = tb[s[0]];
            d[1] = tg[s[1]];
            d[2] = tr[s[2]];
            d[3] = s[3];
        }
        return true;
    });
}

} // namespace

void CBrightnessContrast::BuildTable(uint16_t* table, int brightness, int contrast)
{
    BuildToneLut(table, ToneLutIdentity, 0, 0);
    // Real divisions: integer ones would make every step below +-100 a no-op.
    if (brightness > 0)
        BuildToneLut(table, ToneLutBrightness, 1 + brightness / 100.0, 20000);
    else
        BuildToneLut(table, ToneLutBrightness, 1 + brightness / 200.0, 0);
    BuildToneLut(table, ToneLutContrast, (contrast + 100) / 100.0, 20000);
}

int CBrightnessContrast::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination)
        return 0;
    const int brightness = ClampField(m_params.brightness, -100, 100);
    const int contrast = ClampField(m_params.contrast, -100, 100);
    if (brightness == 0 && contrast == 0)
        return m_pDestination == m_pSource || CopyImage16(*m_pDestination, *m_pSource) ? 1 : 0;
    if (!m_pSource->data || (m_pDestination != m_pSource && !ShapeLike(*m_pDestination, *m_pSource)))
        return 0;
    ToneTable table(kToneLutSize);
    BuildTable(table.data(), brightness, contrast);
    // Mapped straight from the source: no copy first.
    return MapBgr(*m_pSource, *m_pDestination, table.data(), table.data(), table.data()) ? 1 : 0;
}

int CCurve::Run()
{
    if (m_pParams) {
        const auto* p = static_cast<const CurveParams*>(m_pParams);
        if (p->size > CurveParams::kSize)
            return 0;
        m_params = *p;
        m_params.size = CurveParams::kSize;
    }
    if (!m_pSource || !m_pDestination)
        return 0;
    const int mode = m_params.mode;
    if (mode >= 0 && mode <= 4) {
        // Refuse tables shorter than the mode reads.
        const int64_t need = (mode >= 1 && mode <= 3) ? 3 * kToneLutSize : kToneLutSize;
        if (!m_params.tables || m_params.entries < need)
            return 0;
    }
    if (SplitIntoBands(0, 0) == 0)
        return 0;
    return RunBands();
}

int CCurve::ProcessBand(BandTask& task)
{
    if (task.bandDest != task.bandSource && !CopyImage16(*task.bandDest, *task.bandSource))
        return 0;
    ImageBuffer16& img = *task.bandDest;
    const uint16_t* t = m_params.tables;
    switch (m_params.mode) {
    case 0:
        MapBgr(img, img, t, t, t);
        break;
    case 1:
    case 2:
    case 3:
        MapBgr(img, img, t + 2 * kToneLutSize, t + kToneLutSize, t);
        break;
    case 4: {
        RgbToYCbCr16(img);
        uint16_t* p = Pixels16(img);
        for (size_t i = 0, n = PixelCount(img); i < n; ++i, p += 4)
            p[2] = t[p[2]];
        YCbCrToRgb16(img);
        break;
    }
    default:
        break;
    }
    return 1;
}

int CHSBCurve::Run()
{
    if (m_pParams)
        m_tables = static_cast<const uint16_t*>(m_pParams);
    if (!m_tables || !m_pSource || !m_pDestination)
        return 0;
    if (SplitIntoBands(0, 0) == 0)
        return 0;
    return RunBands();
}

void ApplyHsbCurvePixel(uint16_t* p, const uint16_t* tables)
{
    const int64_t H = p[2];
    int64_t S = p[1], L = p[0];
    const int64_t hs = tables[H];
    const int64_t sp = tables[kToneLutSize + H] * 100 / 32768;
    const int64_t bp = tables[2 * kToneLutSize + H] * 100 / 32768;
    if (hs != 32768)
        p[2] = static_cast<uint16_t>(((H + hs - 32768) % 65536 + 65536) % 65536);
    if (sp != 100) {
        S = std::min<int64_t>(S * sp / 100, 65535);
        p[1] = static_cast<uint16_t>(S);
    }
    if (bp != 100) {
        const int64_t t = std::min<int64_t>(L * bp / 100, 65535);
        const int64_t w = std::clamp<int64_t>(((S - 5000) * 256) / 40000, 0, 255);
        L = L + ((t - L) * w) / 255;
        p[0] = ClampU16(L);
    }
}

int CHSBCurve::ProcessBand(BandTask& task)
{
    if (task.bandDest != task.bandSource && !CopyImage16(*task.bandDest, *task.bandSource))
        return 0;
    ImageBuffer16& img = *task.bandDest;
    RgbToHsl16(Pixels16(img), PixelCount(img));
    uint16_t* p = Pixels16(img);
    for (size_t i = 0, n = PixelCount(img); i < n; ++i, p += 4)
        ApplyHsbCurvePixel(p, m_tables);
    HslToRgb16(Pixels16(img), PixelCount(img));
    return 1;
}
