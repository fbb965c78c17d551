#include "algorithms/WhiteBalance.h"

#include "algorithms/AutoLevel.h"
#include "algorithms/ColourOps.h"
#include "algorithms/ToneLut.h"
#include "imaging/ColourTables.h"
#include "platform/Sync.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

int CWhiteBalance::Run()
{
    if (m_pParams)
        std::memcpy(&m_block, m_pParams, sizeof m_block);
    if (!m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    switch (m_block.mode) {
    case WhiteBalanceAuto:
        // A failed levels step leaves nothing sound to apply gains to.
        if (!EstimateNeutral())
            return 0;
        ApplyGains();
        return 1;
    case WhiteBalanceAutoStrong: {
        if (!EstimateNeutral())
            return 0;
        const int lum = (3 * m_block.red + 6 * m_block.green + m_block.blue) / 10;
        m_block.red = static_cast<uint16_t>((m_block.red + lum) / 2);
        m_block.blue = static_cast<uint16_t>((m_block.blue + lum) / 2);
        ApplyGains();
        return 1;
    }
    default: // 65535 and any other value: the caller's reference
        if (!CopyUnlessSame(*m_pDestination, *m_pSource))
            return 0;
        ApplyGains();
        return 1;
    }
}

int CWhiteBalance::EstimateNeutral()
{
    if (!AutoLevel(0, *m_pSource, *m_pDestination))
        return 0;
    const ImageBuffer16& img = *m_pDestination;
    const size_t n = PixelCount(img);
    std::unique_ptr<uint8_t[]> plane(new (std::nothrow) uint8_t[n]);
    if (!plane)
        return 0;
    // Integer sums in any order give the same totals: the rows go to the helpers.
    struct Tally {
        int64_t hist[256] = {};
        int64_t sum[3] = {};
        int64_t counted = 0;
    } total;
    platform::CriticalSection merge;
    ParallelRows(img.height, img.width, [&](int first, int end) {
        Tally t;
        const uint16_t* p = Row16(img, first);
        uint8_t* out = plane.get() + size_t(first) * img.width;
        for (size_t i = 0, count = size_t(img.width) * (end - first); i < count; ++i, p += 4) {
            const int64_t B = p[0], G = p[1], R = p[2];
            t.sum[0] += B, t.sum[1] += G, t.sum[2] += R;
            const int64_t s = R + G + B;
            if (static_cast<uint32_t>(s - 38001) > 114998u) {
                out[i] = 255;
                continue;
            }
            const int64_t r = R * 256 / s, g = G * 256 / s, b = B * 256 / s;
            const int64_t d = std::min<int64_t>((std::llabs(g - b) + std::llabs(r - g) + std::llabs(b - r)) / 2, 255);
            ++t.hist[d];
            ++t.counted;
            out[i] = static_cast<uint8_t>(d);
        }
        platform::ScopedLock lock(merge);
        for (int k = 0; k < 256; ++k)
            total.hist[k] += t.hist[k];
        for (int c = 0; c < 3; ++c)
            total.sum[c] += t.sum[c];
        total.counted += t.counted;
        return true;
    });
    const int64_t* hist = total.hist;
    const int64_t* sum = total.sum;
    const int64_t counted = total.counted;
    if (n == 0)
        return 1;
    uint16_t mean[4] = {static_cast<uint16_t>(sum[0] / int64_t(n)), static_cast<uint16_t>(sum[1] / int64_t(n)),
                        static_cast<uint16_t>(sum[2] / int64_t(n)), 0};
    m_block.blue = mean[0], m_block.green = mean[1], m_block.red = mean[2];
    if (counted > 12) {
        uint16_t hsl[4] = {mean[0], mean[1], mean[2], 0};
        RgbToHsl16(hsl, 1);
        const int64_t quota = (hsl[2] >= 65 && hsl[2] <= 113) ? counted / 12 : counted / 6;
        int64_t acc = 0;
        int k = 0;
        while (k < 256 && acc < quota)
            acc += hist[k++];
        int64_t s2[3] = {}, m = 0;
        const uint16_t* p = Pixels16(img);
        for (size_t i = 0; i < n; ++i, p += 4)
            if (plane[i] <= k) {
                s2[0] += p[0], s2[1] += p[1], s2[2] += p[2];
                ++m;
            }
        if (m > 0) {
            m_block.blue = static_cast<uint16_t>(s2[0] / m);
            m_block.green = static_cast<uint16_t>(s2[1] / m);
            m_block.red = static_cast<uint16_t>(s2[2] / m);
        }
    }
    return 1;
}

void CWhiteBalance::ApplyGains()
{
    int ref[3] = {m_block.blue, m_block.green, m_block.red};
    for (int& v : ref)
        if (v < 4096)
            v += (4096 - v) / 16;
    if (ref[0] > 58000 || ref[1] > 58000 || ref[2] > 58000)
        for (int& v : ref)
            v /= 2;
    const int lum = std::max(1, (3 * ref[2] + 6 * ref[1] + ref[0]) / 10);
    const double exponent = m_block.mode == WhiteBalanceAutoStrong ? 1.4 : 1.0;
    ToneTable t(3 * size_t(kToneLutSize));
    for (int c = 0; c < 3; ++c)
        BuildToneLut(t.data() + c * kToneLutSize, ToneLutIdentity | ToneLutBrightness,
                     std::pow(double(lum) / ref[c], exponent), 20000);
    MapImageBgr(*m_pDestination, t.data(), t.data() + kToneLutSize, t.data() + 2 * kToneLutSize);
}

double CSpotMetering::SpotFactor(int luminance)
{
    return 25000.0 / std::clamp(luminance, 10000, 50000);
}

int CSpotMetering::Run()
{
    if (m_pParams)
        std::memcpy(&m_block, m_pParams, sizeof m_block);
    if (!m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    if (!m_block.measured)
        return AutoLevel(0, *m_pSource, *m_pDestination) ? 1 : 0;
    if (!CopyUnlessSame(*m_pDestination, *m_pSource))
        return 0;
    const int d = (3 * m_block.red + 6 * m_block.green + m_block.blue) / 10;
    ToneTable t(kToneLutSize);
    BuildToneLut(t.data(), ToneLutIdentity | ToneLutBrightness, SpotFactor(d), 40000);
    MapImageBgr(*m_pDestination, t.data(), t.data(), t.data());
    return 1;
}
