#include "algorithms/ToneMaker.h"

#include "algorithms/ColourOps.h"
#include "algorithms/GaussBlur.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

ToneZones SplitToneZones()
{
    return {SrgbDecodeTable[64], SrgbDecodeTable[120], SrgbDecodeTable[160], SrgbDecodeTable[192]};
}

void ToneZoneWeights(const ToneZones& z, int i, int& s, int& m, int& h)
{
    if (i < z.z64)
        s = 256;
    else if (i < z.z120 + 700)
        s = 256 + ((z.z64 - i) * 256) / (z.z120 + 700 - z.z64);
    else
        s = 0;
    if (i < z.z64 - 700)
        m = 0;
    else if (i < z.z120)
        m = ((i - (z.z64 - 700)) * 256) / (z.z120 - (z.z64 - 700));
    else if (i < z.z160)
        m = 256;
    else if (i < z.z192 + 4000)
        m = 256 + ((z.z160 - i) * 256) / (z.z192 + 4000 - z.z160);
    else
        m = 0;
    if (i < z.z160 - 4000)
        h = 0;
    else if (i < z.z192)
        h = ((i - (z.z160 - 4000)) * 256) / (z.z192 - (z.z160 - 4000));
    else
        h = 256;
}

namespace {

// Tinted value of input i for a channel/luminance ratio r, fading back to neutral near white.
int64_t Tinted(int64_t i, double r)
{
    int64_t v = static_cast<int64_t>(i * r);
    if (r >= 1) {
        const int64_t k = static_cast<int64_t>(65536 / (2 * r));
        if (i >= k) {
            const int64_t t = (256 * (65536 - i)) / (65536 - k);
            v = std::min<int64_t>((v * t + i * (256 - t)) >> 8, 65535);
        }
    }
    return std::clamp<int64_t>(v, 0, 65535);
}

} // namespace

ToneMakerParams CToneMaker::Bounded() const
{
    ToneMakerParams p = m_params;
    p.redWeight = ClampField(p.redWeight, 0, 100);
    p.greenWeight = ClampField(p.greenWeight, 0, 100);
    p.blueWeight = ClampField(p.blueWeight, 0, 100);
    p.desaturation = ClampField(p.desaturation, 0, 100);
    p.toning = ClampField(p.toning, 0, 100);
    return p;
}

int CToneMaker::BuildTables(const ToneMakerParams& p)
{
    try {
        m_tables.assign(3 * size_t(65536), 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const ToneZones z = SplitToneZones();
    const uint16_t* colours[3] = {p.shadow, p.midtone, p.highlight};
    double ratio[3][3]; // [zone][0 R, 1 G, 2 B]
    for (int k = 0; k < 3; ++k) {
        const uint16_t* c = colours[k];
        const int lum = (c[0] + 3 * c[2] + 6 * c[1]) / 10;
        // A black zone colour has no hue: it leaves the channel alone.
        ratio[k][0] = lum > 0 ? double(c[2]) / lum : 1.0;
        ratio[k][1] = lum > 0 ? double(c[1]) / lum : 1.0;
        ratio[k][2] = lum > 0 ? double(c[0]) / lum : 1.0;
    }
    for (int i = 0; i < 65536; ++i) {
        int w[3];
        ToneZoneWeights(z, i, w[0], w[1], w[2]);
        for (int ch = 0; ch < 3; ++ch) {
            int64_t t = i;
            for (int k = 0; k < 3; ++k)
                if (w[k] > 0)
                    t = t + ((w[k] * (Tinted(i, ratio[k][ch]) - t)) >> 8);
            m_tables[size_t(ch) * 65536 + i] = ClampU16(t);
        }
    }
    return 1;
}

int CToneMaker::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination)
        return 0;
    const ToneMakerParams p = Bounded();
    if (p.desaturation == 0 && p.toning == 0)
        return CopyUnlessSame(*m_pDestination, *m_pSource) ? 1 : 0;
    if (!BuildTables(p))
        return 0;
    // The run reads the tables with the toning blend folded in: (T x toning + rest x i) / 100.
    for (size_t ch = 0; ch < 3; ++ch)
        for (int i = 0; i < 65536; ++i) {
            uint16_t& t = m_tables[ch * 65536 + i];
            t = static_cast<uint16_t>((t * p.toning + (100 - p.toning) * i) / 100);
        }
    const int ok = RunRows();
    m_tables.clear();
    m_tables.shrink_to_fit();
    return ok;
}

bool CToneMaker::ProcessRows(int first, int end)
{
    const ToneMakerParams p = Bounded();
    const uint16_t* tr = Table(0);
    const uint16_t* tg = Table(1);
    const uint16_t* tb = Table(2);
    // Percentages within 0..100 keep every product inside 32 bits.
    const int32_t d = p.desaturation, keep = 100 - p.desaturation;
    const int32_t wr = p.redWeight, wg = p.greenWeight, wb = p.blueWeight;
    const uint16_t* s = Row16(*m_pSource, first);
    uint16_t* o = Row16(*m_pDestination, first);
    for (size_t i = 0, n = size_t(m_pSource->width) * (end - first); i < n; ++i, s += 4, o += 4) {
        const int32_t B = s[0], G = s[1], R = s[2];
        const uint16_t A = s[3];
        const int32_t e = d * ((R * wr + G * wg + B * wb) / 100);
        const uint16_t r1 = ClampU16((keep * R + e) / 100);
        const uint16_t g1 = ClampU16((keep * G + e) / 100);
        const uint16_t b1 = ClampU16((keep * B + e) / 100);
        o[2] = tr[r1];
        o[1] = tg[g1];
        o[0] = tb[b1];
        o[3] = A;
    }
    return true;
}

int CColorContrast::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    const int amount = ClampField(m_params.amount, -200, 200);
    if (amount == 0)
        return CopyUnlessSame(*m_pDestination, *m_pSource) ? 1 : 0;
    const ImageBuffer16& src = *m_pSource;
    m_sigma = std::min(src.width, src.height) / 50.0;
    // One blur of the whole picture: band-local blurs on a reduced grid would leave seams.
    ImageBuffer16 hsl{};
    if (!CopyImage16(hsl, src))
        return 0;
    ParallelRows(hsl.height, hsl.width * 4, [&](int first, int end) {
        RgbToHsl16(Row16(hsl, first), size_t(hsl.width) * (end - first));
        return true;
    });
    SetProgress(5);
    CGaussBlur blur;
    blur.SetParent(this, 5, 80);
    const int blurred = m_sigma > 0 ? blur.BlurImage16(m_sigma, hsl, m_blurred) : CopyImage16(m_blurred, hsl);
    FreeImageBuffer(hsl);
    if (!blurred)
        return 0;
    SetProgress(80);
    const int ok = RunRows();
    if (ok)
        SetProgress(100);
    return ok;
}

bool CColorContrast::ProcessRows(int first, int end)
{
    const int64_t amount = ClampField(m_params.amount, -200, 200);
    ImageBuffer16 dst = RowsView(*m_pDestination, first, end);
    if (m_pDestination != m_pSource)
        std::memcpy(dst.data, Row16(*m_pSource, first), PixelCount(dst) * 8);
    RgbToHsl16(Pixels16(dst), PixelCount(dst));
    const uint16_t* b = Row16(m_blurred, first);
    uint16_t* p = Pixels16(dst);
    for (size_t i = 0, n = PixelCount(dst); i < n; ++i, p += 4, b += 4) {
        const int64_t S = p[1];
        const int64_t k = (amount + (((65536 - S) * amount) >> 16)) / 2;
        p[1] = ClampU16(S + (k * (S - b[1])) / 100);
    }
    HslToRgb16(Pixels16(dst), PixelCount(dst));
    return true;
}
