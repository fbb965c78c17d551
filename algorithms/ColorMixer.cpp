#include "algorithms/ColorMixer.h"

#include "algorithms/ColourOps.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

int64_t Mix(const int32_t* row, int64_t r, int64_t g, int64_t b)
{
    return (r * row[0] + g * row[1] + b * row[2]) / 100 + (int64_t(row[3]) * 65535) / 100;
}

} // namespace

int CColorMixer::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination)
        return 0;
    // Stored records are unbounded: keep every weight to the slider range.
    int32_t rows[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            rows[i][j] = ClampField(m_params.rows[i][j], -200, 200);
    const ImageBuffer16& src = *m_pSource;
    ImageBuffer16& dst = *m_pDestination;
    if (!CopyUnlessSame(dst, src))
        return 0;
    const bool lumaMode = m_params.luminanceMode != 0;
    const bool ok = ParallelRows(dst.height, dst.width * 4, [&](int first, int end) {
        uint16_t* p = Row16(dst, first);
        const size_t n = static_cast<size_t>(dst.width) * (end - first);
        if (!lumaMode) {
            for (size_t i = 0; i < n; ++i, p += 4) {
                const int64_t b = p[0], g = p[1], r = p[2];
                p[2] = ClampU16(Mix(rows[0], r, g, b));
                p[1] = ClampU16(Mix(rows[1], r, g, b));
                p[0] = ClampU16(Mix(rows[2], r, g, b));
            }
            return true;
        }
        // The destination still holds the source's pixels here; mix Y from them.
        std::vector<uint16_t> y(n);
        for (size_t i = 0; i < n; ++i)
            y[i] = ClampU16(Mix(rows[3], p[i * 4 + 2], p[i * 4 + 1], p[i * 4]));
        ImageBuffer16 view = RowsView(dst, first, end);
        RgbToYCbCr16(view);
        for (size_t i = 0; i < n; ++i)
            p[i * 4 + 2] = y[i];
        YCbCrToRgb16(view);
        return true;
    });
    if (!ok)
        return 0;
    SetProgress(100);
    return 1;
}

CColorAdjust::CColorAdjust() = default;

int CColorAdjust::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination)
        return 0;
    if (!CopyUnlessSame(*m_pDestination, *m_pSource))
        return 0;
    ColorAdjustParams& p = m_params;
    if (p.mode != 0) {
        const int r = ClampField(p.balanceRed, -100, 100), g = ClampField(p.balanceGreen, -100, 100),
                  b = ClampField(p.balanceBlue, -100, 100);
        if (r == 0 && g == 0 && b == 0)
            return 1;
        m_balance.red = static_cast<uint16_t>((128 + r) * 256);
        m_balance.green = static_cast<uint16_t>((128 + g) * 256);
        m_balance.blue = static_cast<uint16_t>((128 + b) * 256);
        m_balance.mode = WhiteBalanceGiven;
    } else {
        const int hue = ClampField(p.hue, -100, 100), sat = ClampField(p.saturation, -100, 100),
                  light = ClampField(p.lightness, -100, 100);
        if (hue == 0 && sat == 0 && light == 0)
            return 1;
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
    int ok = SplitIntoBands(0, 0) ? RunBands() : 0;
    m_tables.clear();
    m_tables.shrink_to_fit();
    m_membership.clear();
    m_membership.shrink_to_fit();
    m_adjust = false;
    return ok;
}

int CColorAdjust::ProcessBand(BandTask& task)
{
    ImageBuffer16& src = *task.bandSource;
    ImageBuffer16& dst = *task.bandDest;
    if (m_params.mode != 0) {
        CWhiteBalance wb;
        wb.SetSource(&src);
        wb.SetDestination(&dst);
        wb.SetParams(&m_balance);
        wb.SetParent(this, 0, 0);
        if (!wb.Run())
            return 0;
    } else {
        if (!CopyUnlessSame(dst, src))
            return 0;
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
    return 1;
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
