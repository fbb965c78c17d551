#include "algorithms/FilmAdjust.h"

#include "algorithms/ColourOps.h"
#include "algorithms/EnhanceDynamic.h"
#include "algorithms/ToneLut.h"
#include "imaging/ColourTables.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {

// The row's grain noise: bytes 128 +- sqrt(rand mod 2g), from the run seed and the row alone.
void NoiseRow(uint32_t seed, int y, int grain, const std::vector<int>& roots, std::vector<int>& out)
{
    RowRand rng(seed, y);
    for (int& v : out) {
        int n = roots[rng.Next() % (2 * grain)];
        if (rng.Next() & 1)
            n = -n;
        v = 128 + n;
    }
}

} // namespace

void FilmSoften5x5(const ImageBuffer16& src, ImageBuffer16& dst)
{
    const int W = src.width, H = src.height;
    const uint16_t* base = Pixels16(src);
    auto row = [&](int y) { return base + size_t(std::clamp(y, 0, H - 1)) * W * 4; };
    for (int y = 0; y < H; ++y) {
        const uint16_t* r[5] = {row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2)};
        uint16_t* o = Row16(dst, y);
        for (int x = 0; x < W; ++x) {
            const bool inner = x >= 2 && x < W - 2;
            const int xm2 = (inner ? x - 2 : std::max(x - 2, 0)) * 4, xm1 = (inner ? x - 1 : std::max(x - 1, 0)) * 4;
            const int xp1 = (inner ? x + 1 : std::min(x + 1, W - 1)) * 4, xp2 = (inner ? x + 2 : std::min(x + 2, W - 1)) * 4;
            const int xc = x * 4;
            for (int c = 0; c < 3; ++c) {
                const uint32_t sum = r[0][xc + c] + r[1][xm1 + c] + 2u * r[1][xc + c] + r[1][xp1 + c] + r[2][xm2 + c] +
                                     2u * r[2][xm1 + c] + 4u * r[2][xc + c] + 2u * r[2][xp1 + c] + r[2][xp2 + c] +
                                     r[3][xm1 + c] + 2u * r[3][xc + c] + r[3][xp1 + c] + r[4][xc + c];
                o[xc + c] = static_cast<uint16_t>(sum / 20);
            }
            o[xc + 3] = r[2][xc + 3];
        }
    }
}

int CAFilmAdjust::BuildCurves()
{
    m_built = false;
    try {
        m_curves.assign(5 * size_t(65536), 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    uint16_t* T[5];
    for (int k = 0; k < 5; ++k) {
        T[k] = m_curves.data() + size_t(k) * 65536;
        BuildToneLut(T[k], ToneLutIdentity, 0, 0);
    }
    const FilmAdjustParams& p = m_use;
    const int q = std::abs(p.temperature) / 4 + 1000;
    const double up = 1000.0 / q, down = q / 1000.0;
    BuildToneLut(T[0], ToneLutBrightness, p.temperature > 0 ? up : down, 40000);
    BuildToneLut(T[2], ToneLutBrightness, p.temperature > 0 ? down : up, 40000);
    const double c = std::pow(2.69, p.exposure / 10.0);
    for (int k = 2; k >= 0; --k)
        BuildToneLut(T[k], ToneLutBrightness, c, 50000);
    if (p.dynamicRange < 0) {
        const double f = std::pow(2.69, -p.dynamicRange / 300.0);
        for (int k = 2; k >= 0; --k)
            BuildToneLut(T[k], ToneLutContrast, f, 5000);
    }
    for (int k = 3; k < 5; ++k) {
        if (p.colourBoost < 0)
            BuildToneLut(T[k], ToneLutContrast, (p.colourBoost + 50) / 50.0, 1000);
        else
            BuildToneLut(T[k], ToneLutSine, -(p.colourBoost / 400.0), 0);
    }
    m_built = true;
    return 1;
}

int CAFilmAdjust::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    FilmAdjustParams& u = m_use;
    u = m_params;
    u.exposure = ClampField(u.exposure, -10, 10);
    u.dynamicRange = ClampField(u.dynamicRange, -70, 30);
    u.temperature = ClampField(u.temperature, -1500, 1500);
    u.colourBoost = ClampField(u.colourBoost, -50, 50);
    u.grain = ClampField(u.grain, 0, 100);
    u.sharpness = ClampField(u.sharpness, -50, 50);
    if (!u.exposure && !u.dynamicRange && !u.temperature && !u.colourBoost && !u.grain && !u.sharpness) {
        SetProgress(100);
        return CopyUnlessSame(*m_pDestination, *m_pSource) ? 1 : 0;
    }
    if (!m_fixedSeed)
        m_seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // Without curves the bands would store nothing: fail and leave the destination alone.
    if (!BuildCurves())
        return 0;
    // The nested shadows/highlights step needs the whole picture.
    const int bandRows = u.dynamicRange > 0 ? m_pSource->height : 0;
    m_direct = u.dynamicRange <= 0 && u.sharpness == 0;
    if (m_direct && m_pDestination != m_pSource &&
        !AllocImage16(*m_pDestination, m_pSource->width, m_pSource->height))
        return 0;
    const int ok = SplitIntoBands(m_direct ? 0 : 2, bandRows) ? RunBands() : 0;
    if (m_direct && BandsSkipped() && m_pDestination != m_pSource)
        CopyImage16(*m_pDestination, *m_pSource); // cancelled: no unwritten rows left behind
    m_curves.clear();
    m_curves.shrink_to_fit();
    m_built = false;
    return ok;
}

int CAFilmAdjust::ProcessBand(BandTask& task)
{
    if (!m_built)
        return 0;
    if (m_direct) {
        ImageBuffer16 src = RowsView(*m_pSource, task.first, task.end);
        ImageBuffer16 dst = RowsView(*m_pDestination, task.first, task.end);
        BandTask direct = task;
        direct.firstWithMargin = task.first;
        direct.bandSource = &src;
        direct.bandDest = &dst;
        return ProcessRows(direct);
    }
    return ProcessRows(task);
}

int CAFilmAdjust::ProcessRows(BandTask& task)
{
    ImageBuffer16& dst = *task.bandDest;
    if (!CopyUnlessSame(dst, *task.bandSource))
        return 0;
    MapPixelsBgr(Pixels16(dst), PixelCount(dst), Curve(2), Curve(1), Curve(0));
    if (m_use.colourBoost) {
        RgbToYCbCr16(dst);
        const uint16_t* t3 = Curve(3);
        const uint16_t* t4 = Curve(4);
        uint16_t* p = Pixels16(dst);
        for (size_t i = 0, n = PixelCount(dst); i < n; ++i, p += 4) {
            p[0] = t4[p[0]];
            p[1] = t3[p[1]];
        }
        YCbCrToRgb16(dst);
    }
    if (m_use.dynamicRange > 0) {
        ImageBuffer16 copy{};
        if (!CopyImage16(copy, dst))
            return 0;
        EnhanceDynamicParams e;
        e.factor = 2.0, e.mode = 2, e.shadows = 60, e.highlights = 60, e.radius = 20;
        e.enhance = 3 * m_use.dynamicRange;
        CEnhanceDynamic nested;
        nested.SetParent(this, 20, 80);
        nested.SetSource(&copy);
        nested.SetDestination(&dst);
        nested.SetParams(&e);
        const int ok = nested.Run();
        FreeImageBuffer(copy);
        if (!ok)
            return 0;
    }
    if (m_use.sharpness) {
        ImageBuffer16 copy{};
        if (!CopyImage16(copy, dst))
            return 0;
        FilmSoften5x5(copy, dst);
        const int64_t s = m_use.sharpness;
        const uint16_t* c = Pixels16(copy);
        uint16_t* p = Pixels16(dst);
        for (size_t i = 0, n = PixelCount(dst) * 4; i < n; i += 4)
            for (int ch = 0; ch < 3; ++ch)
                p[i + ch] = ClampU16(c[i + ch] + ((int64_t(c[i + ch]) - p[i + ch]) * s) / 30);
        FreeImageBuffer(copy);
    }
    if (m_use.grain)
        AddGrain(task);
    return 1;
}

void CAFilmAdjust::AddGrain(BandTask& task)
{
    ImageBuffer16& dst = *task.bandDest;
    const int W = dst.width, H = m_pSource->height, g = m_use.grain;
    if (W < 3 || H < 3)
        return;
    std::vector<int> roots(2 * size_t(g));
    for (int v = 0; v < 2 * g; ++v)
        roots[v] = static_cast<int>(std::sqrt(static_cast<double>(v)));
    std::vector<int> rows[3] = {std::vector<int>(W), std::vector<int>(W), std::vector<int>(W)};
    const int first = std::max(task.first, 1), end = std::min(task.end, H - 1);
    if (first >= end)
        return;
    NoiseRow(m_seed, first - 1, g, roots, rows[1]);
    NoiseRow(m_seed, first, g, roots, rows[2]);
    for (int y = first; y < end; ++y) {
        std::swap(rows[0], rows[1]);
        std::swap(rows[1], rows[2]);
        NoiseRow(m_seed, y + 1, g, roots, rows[2]);
        const int* up = rows[0].data();
        const int* mid = rows[1].data();
        const int* down = rows[2].data();
        uint16_t* p = Row16(dst, y - task.firstWithMargin);
        for (int x = 1; x < W - 1; ++x) {
            const int sum = 12 * mid[x] + mid[x - 1] + mid[x + 1] + up[x - 1] + up[x] + up[x + 1] + down[x - 1] +
                            down[x] + down[x + 1];
            const int64_t n = sum / 20 - 128;
            const int64_t lum = Luma10(p + x * 4);
            const int64_t delta = (n * (65535 - lum / 2)) / 255;
            for (int c = 0; c < 3; ++c)
                p[x * 4 + c] = ClampU16(p[x * 4 + c] + delta);
        }
    }
}
