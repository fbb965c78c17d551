#include "algorithms/ColorMixer.h"

#include "algorithms/ColourOps.h"
#include "algorithms/TargetClones.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Weights within +-200 keep every sum of three channel products inside 32 bits.
inline int32_t Mix(const int32_t* row, int32_t constant, int32_t r, int32_t g, int32_t b)
{
    return (r * row[0] + g * row[1] + b * row[2]) / 100 + constant;
}

inline uint16_t Clamp32(int32_t v)
{
    return static_cast<uint16_t>(v < 0 ? 0 : (v > 65535 ? 65535 : v));
}

// Weights in locals and indexed access let the compiler vectorise the interleaved pixels.
ZD_TARGET_CLONES void MixRgbRow(const uint16_t* s, uint16_t* d, size_t n, const int32_t (*w)[4], const int32_t* k)
{
    const int32_t w00 = w[0][0], w01 = w[0][1], w02 = w[0][2], w10 = w[1][0], w11 = w[1][1], w12 = w[1][2];
    const int32_t w20 = w[2][0], w21 = w[2][1], w22 = w[2][2], k0 = k[0], k1 = k[1], k2 = k[2];
    for (size_t i = 0; i < n; ++i) {
        const int32_t b = s[4 * i], g = s[4 * i + 1], r = s[4 * i + 2];
        const uint16_t a = s[4 * i + 3];
        d[4 * i + 2] = Clamp32((r * w00 + g * w01 + b * w02) / 100 + k0);
        d[4 * i + 1] = Clamp32((r * w10 + g * w11 + b * w12) / 100 + k1);
        d[4 * i] = Clamp32((r * w20 + g * w21 + b * w22) / 100 + k2);
        d[4 * i + 3] = a;
    }
}

} // namespace

int CColorMixer::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination)
        return 0;
    // Stored records are unbounded: keep every weight to the slider range.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m_rows[i][j] = ClampField(m_params.rows[i][j], -200, 200);
    if (!RunRows())
        return 0;
    SetProgress(100);
    return 1;
}

bool CColorMixer::ProcessRows(int first, int end)
{
    const ImageBuffer16& src = *m_pSource;
    ImageBuffer16& dst = *m_pDestination;
    const size_t n = static_cast<size_t>(src.width) * (end - first);
    const int32_t k[4] = {m_rows[0][3] * 65535 / 100, m_rows[1][3] * 65535 / 100, m_rows[2][3] * 65535 / 100,
                          m_rows[3][3] * 65535 / 100};
    if (!m_params.luminanceMode) {
        MixRgbRow(Row16(src, first), Row16(dst, first), n, m_rows, k);
        return true;
    }
    // Y from the source pixels; Cb and Cr from the source too.
    std::vector<uint16_t> y(n);
    const uint16_t* s = Row16(src, first);
    for (size_t i = 0; i < n; ++i, s += 4)
        y[i] = Clamp32(Mix(m_rows[3], k[3], s[2], s[1], s[0]));
    ImageBuffer16 view = RowsView(dst, first, end);
    if (&dst != &src)
        std::memcpy(view.data, Row16(src, first), n * 8);
    RgbToYCbCr16(view);
    uint16_t* p = view.data;
    for (size_t i = 0; i < n; ++i)
        p[i * 4 + 2] = y[i];
    YCbCrToRgb16(view);
    return true;
}

CColorAdjust::CColorAdjust() = default;

int CColorAdjust::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination)
        return 0;
    ColorAdjustParams& p = m_params;
    if (p.mode != 0) {
        const int r = ClampField(p.balanceRed, -100, 100), g = ClampField(p.balanceGreen, -100, 100),
                  b = ClampField(p.balanceBlue, -100, 100);
        if (r == 0 && g == 0 && b == 0)
            return CopyUnlessSame(*m_pDestination, *m_pSource) ? 1 : 0;
        m_balance.red = static_cast<uint16_t>((128 + r) * 256);
        m_balance.green = static_cast<uint16_t>((128 + g) * 256);
        m_balance.blue = static_cast<uint16_t>((128 + b) * 256);
        m_balance.mode = WhiteBalanceGiven;
    } else {
        const int hue = ClampField(p.hue, -100, 100), sat = ClampField(p.saturation, -100, 100),
                  light = ClampField(p.lightness, -100, 100);
        if (hue == 0 && sat == 0 && light == 0)
            return CopyUnlessSame(*m_pDestination, *m_pSource) ? 1 : 0;
        try {
            m_tables.assign(3 * size_t(kToneLutSize), 0);
        } catch (const std::bad_alloc&) {
            return 0;
        }
        uint16_t* t0 = m_tables.data();
        uint16_t* t1 = t0 + kToneLutSize;
        uint16_t* t2 = t1 + kToneLutSize;
        const int shift = hue * 32768 / 100;
        for (int i = 0; i < kToneLutSize; ++i)
            t0[i] = static_cast<uint16_t>((i + 65536 + shift) % 65536);
        if (sat > 0)
            BuildToneLut(t1, ToneLutIdentity | ToneLutBrightness, 1 + sat / 50.0, 5000);
        else
            BuildToneLut(t1, ToneLutIdentity | ToneLutBrightness, 1 + sat / 100.0, 0);
        if (light > 0)
            BuildToneLut(t2, ToneLutIdentity | ToneLutBrightness, 1 + light / 100.0, 20000);
        else
            BuildToneLut(t2, ToneLutIdentity | ToneLutBrightness, 1 + light / 150.0, 0);
    }
    m_adjust = true;
    if (p.rangeOn) {
        try {
            m_membership.assign(kToneLutSize, 0);
        } catch (const std::bad_alloc&) {
            m_tables.clear();
            return 0;
        }
        // Keep the trapezoid on the hue axis and in order, whatever the record holds.
        int q[4];
        for (int i = 0; i < 4; ++i)
            q[i] = ClampField(p.range[i], 0, 65535);
        for (int i = 1; i < 4; ++i)
            q[i] = std::max(q[i], q[i - 1]);
        BuildRangeLut(q[0], q[1], q[2], q[3], ClampField(p.rangeOffset, -65535, 65535), m_membership.data());
    }
    int ok = RunRows();
    m_tables.clear();
    m_tables.shrink_to_fit();
    m_membership.clear();
    m_membership.shrink_to_fit();
    m_adjust = false;
    return ok;
}

bool CColorAdjust::ProcessRows(int first, int end)
{
    ImageBuffer16 src = RowsView(*m_pSource, first, end);
    ImageBuffer16 dst = RowsView(*m_pDestination, first, end);
    if (m_params.mode != 0) {
        CWhiteBalance wb;
        wb.SetSource(&src);
        wb.SetDestination(&dst);
        wb.SetParams(&m_balance);
        wb.SetParent(this, 0, 0);
        if (!wb.Run())
            return false;
    } else {
        if (m_pDestination != m_pSource)
            std::memcpy(dst.data, src.data, PixelCount(src) * 8);
        const uint16_t* t0 = m_tables.data();
        const uint16_t* t1 = t0 + kToneLutSize;
        const uint16_t* t2 = t1 + kToneLutSize;
        RgbToHsl16(Pixels16(dst), PixelCount(dst));
        uint16_t* p = Pixels16(dst);
        for (size_t i = 0, n = PixelCount(dst); i < n; ++i, p += 4) {
            p[2] = t0[p[2]];
            p[1] = t1[p[1]];
            p[0] = t2[p[0]];
        }
        HslToRgb16(Pixels16(dst), PixelCount(dst));
    }
    if (m_params.rangeOn && !m_membership.empty()) {
        const uint16_t* s = Pixels16(src);
        uint16_t* d = Pixels16(dst);
        for (size_t i = 0, n = PixelCount(dst); i < n; ++i, s += 4, d += 4) {
            uint16_t hsl[4] = {s[0], s[1], s[2], s[3]};
            RgbToHsl16(hsl, 1);
            const int64_t m = m_membership[hsl[2]];
            if (m == 0) {
                d[0] = s[0], d[1] = s[1], d[2] = s[2];
                continue;
            }
            const int64_t w = std::min<int64_t>(int64_t(hsl[1]) * m / 20000, 255);
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<uint16_t>((int64_t(s[c]) * (255 - w) + int64_t(d[c]) * w) / 255);
        }
    }
    return true;
}

void BuildRangeLut(int a, int b, int c, int d, int offset, uint8_t* table)
{
    for (int i = 0; i < kToneLutSize; ++i) {
        const int h = (i + offset) % 65536; // a negative sum stays negative and lies below a
        table[i] = h < a ? 0 : static_cast<uint8_t>(TrapezoidMembership(a, b, c, d, h));
    }
}

int TrapezoidMembership(int a, int b, int c, int d, int v)
{
    if (v < a)
        return 0;
    if (v < b)
        return static_cast<int>(int64_t(v - a) * 255 / (b - a));
    if (v < c)
        return 255;
    if (v < d)
        return static_cast<int>(255 - int64_t(v - c) * 255 / (d - c));
    return 0;
}

void RgbToHueLightness16(int blue, int green, int red, int& hue, int& lightness)
{
    const int mx = std::max({red, green, blue}), mn = std::min({red, green, blue});
    lightness = (mx + mn) / 2;
    if (mx == mn) {
        hue = 0;
        return;
    }
    const double diff = mx - mn;
    double h;
    if (red == mx)
        h = (green - blue) * 10922 / diff;
    else if (green == mx)
        h = (blue - red) * 10922 / diff + 21760;
    else
        h = (red - green) * 10922 / diff + 43520;
    int v = static_cast<int>(h); // truncated toward zero
    if (v < 0)
        v += 65536;
    hue = v & 0xFFFF;
}
