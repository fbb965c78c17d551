#include "algorithms/Descreen.h"

#include "algorithms/PixelAccess.h"
#include "algorithms/TileFilter.h"
#include "algorithms/Transforms.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
    if (S.width <= 0 || S.height <= 0)
        return 1;
    std::memcpy(D.data, S.data, PixelCount(S) * 8);
    const bool lumaOnly = m_params.luminanceOnly != 0;
    if (lumaOnly)
        RgbToYCbCr16(D);
    const int slots[3] = {2, 1, 0}; // Y (red slot) alone, or red, green, blue
    const bool ok = FilterBandTiles(D, 8, kCore, kMargin, slots, lumaOnly ? 1 : 3, [&](SquareTransform& b) {
        b.Dct2D(true);
        SuppressPeaks(b.Data(), m_params.patternSize, m_params.strength);
        b.Dct2D(false);
        return true;
    });
    if (!ok)
        return 0;
    if (lumaOnly)
        YCbCrToRgb16(D);
    for (size_t i = 0, n = PixelCount(D); i < n; ++i)
        Pixels16(D)[i * 4 + 3] = Pixels16(S)[i * 4 + 3];
    return 1;
}
