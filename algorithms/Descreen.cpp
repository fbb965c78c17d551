#include "algorithms/Descreen.h"

#include "algorithms/PixelAccess.h"
#include "algorithms/Transforms.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kTile = 256, kCore = 192, kMargin = 32;

} // namespace

int DescreenCutoff(int patternSize)
{
    switch (patternSize) {
    case 0: return 85;
    case 1: return 51;
    case 2: return 21;
    default: return 256;
    }
}

void DescreenZoneMeans(const double* c, double* m1, double* m2)
{
    double sum[kTile] = {}, count[kTile] = {};
    for (int r = 0; r < kTile; ++r)
        for (int col = 0; col < kTile; ++col) {
            const int z = (r + col) / 2;
            sum[z] += std::abs(c[r * kTile + col]);
            count[z] += 1;
        }
    for (int z = 0; z < kTile; ++z)
        m1[z] = count[z] > 0 ? sum[z] / count[z] : 0;
    double sum2[kTile] = {}, count2[kTile] = {};
    for (int r = 0; r < kTile; ++r)
        for (int col = 0; col < kTile; ++col) {
            const int z = (r + col) / 2;
            const double a = std::abs(c[r * kTile + col]);
            if (a < 4 * m1[z]) {
                sum2[z] += a;
                count2[z] += 1;
            }
        }
    for (int z = 0; z < kTile; ++z)
        m2[z] = count2[z] > 0 ? sum2[z] / count2[z] : 0;
}

void SuppressPeaks(double* c, int patternSize, int strength)
{
    const int Z = DescreenCutoff(patternSize);
    if (Z >= kTile)
        return;
    double m1[kTile], m2[kTile];
    DescreenZoneMeans(c, m1, m2);
    const double d = std::clamp(strength, 0, 100);
    const double h = (100 - d) / 40 + 1;
    for (int r = 0; r < kTile; ++r)
        for (int col = 0; col < kTile; ++col) {
            const int z = (r + col) / 2;
            double& v = c[r * kTile + col];
            const double a = std::abs(v);
            if (z <= Z || a < m2[z] || a == 0)
                continue;
            // A zone whose typical level is 0 makes any nonzero coefficient a peak.
            const double q = m2[z] > 0 ? a / m2[z] : HUGE_VAL;
            if (q > 1.8 * h)
                v = 0;
            else if (q > h)
                v = v / (1 + (d / 10) * (q - h));
        }
}

int ReflectColumn(int x, int width)
{
    if (width <= 1)
        return 0;
    const int period = 2 * (width - 1);
    int m = x % period;
    if (m < 0)
        m += period;
    return m < width ? m : period - m;
}

int CDescreen::Run()
{
    if (!m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    if (!CopyParamRecord(m_params, m_pParams))
        return 0;
    if (!AllocImage16(*m_pDestination, m_pSource->width, m_pSource->height))
        return 0;
    return SplitIntoBands(kMargin, kTile) ? RunBands() : 0;
}

int CDescreen::ProcessBand(BandTask& task)
{
    const ImageBuffer16& S = *task.bandSource;
    ImageBuffer16& D = *task.bandDest;
    const int w = S.width, hb = S.height;
    if (w <= 0 || hb <= 0)
        return 1;
    std::memcpy(D.data, S.data, PixelCount(S) * 8);
    const bool lumaOnly = m_params.luminanceOnly != 0;
    if (lumaOnly)
        RgbToYCbCr16(D);
    const int channels = lumaOnly ? 1 : 3;
    const int slot[3] = {2, 1, 0}; // Y (red slot) alone, or red, green, blue
    // The band's 8-bit samples before any tile is written: every tile reads the picture as it
    // was, so the overlapping columns do not feed filtered values into the next tile.
    std::vector<uint8_t> samples;
    try {
        samples.resize(static_cast<size_t>(w) * hb * channels);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    for (int y = 0; y < hb; ++y) {
        const uint16_t* row = Row16(D, y);
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < channels; ++ch)
                samples[(static_cast<size_t>(ch) * hb + y) * w + x] = SrgbEncodeTable[row[x * 4 + slot[ch]]];
    }
    SquareTransform blocks[3];
    for (int ch = 0; ch < channels; ++ch)
        if (!blocks[ch].Allocate(8))
            return 0;
    const int tiles = (w + kCore - 1) / kCore;
    int cols[kTile];
    for (int t = 0; t < tiles; ++t) {
        const int x0 = kCore * t - kMargin;
        for (int i = 0; i < kTile; ++i)
            cols[i] = ReflectColumn(x0 + i, w);
        for (int ch = 0; ch < channels; ++ch) {
            SquareTransform& b = blocks[ch];
            const uint8_t* plane = samples.data() + static_cast<size_t>(ch) * hb * w;
            for (int m = 0; m < kTile; ++m) {
                const uint8_t* src = plane + static_cast<size_t>(std::min(m, hb - 1)) * w;
                double* out = b.Row(m);
                for (int i = 0; i < kTile; ++i)
                    out[i] = src[cols[i]];
            }
            b.Dct2D(true);
            SuppressPeaks(b.Data(), m_params.patternSize, m_params.strength);
            b.Dct2D(false);
            for (int j = 0; j < std::min(hb, kTile); ++j) {
                uint16_t* row = Row16(D, j);
                const double* in = b.Row(j);
                for (int i = std::max(0, -x0); i < kTile && x0 + i < w; ++i) {
                    const int v = std::clamp(static_cast<int>(in[i] + 0.5), 0, 255);
                    row[(x0 + i) * 4 + slot[ch]] = SrgbDecodeTable[v];
                }
            }
        }
    }
    if (lumaOnly)
        YCbCrToRgb16(D);
    for (size_t i = 0, n = PixelCount(D); i < n; ++i)
        Pixels16(D)[i * 4 + 3] = Pixels16(S)[i * 4 + 3];
    return 1;
}
