#include "algorithms/PurpleFringe.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

int FringeEdgePlane(const Plane8& G, Plane8& E, double divisor)
{
    const int w = G.width, h = G.height;
    if (!G.data || !AllocPlane8(E, w, h))
        return 0;
    std::memset(E.data, 0, static_cast<size_t>(w) * h);
    for (int y = 1; y < h - 1; ++y) {
        const uint8_t* a = G.data + static_cast<size_t>(y - 1) * w;
        const uint8_t* m = a + w;
        const uint8_t* b = m + w;
        uint8_t* out = E.data + static_cast<size_t>(y) * w;
        for (int x = 1; x < w - 1; ++x) {
            const int v = std::abs(a[x - 1] + a[x] + a[x + 1] - b[x - 1] - b[x] - b[x + 1]);
            const int hz = std::abs(a[x - 1] + m[x - 1] + b[x - 1] - a[x + 1] - m[x + 1] - b[x + 1]);
            const int e = std::max(v, hz);
            out[x] = static_cast<uint8_t>(std::min(255, divisor > 1 ? static_cast<int>(e / divisor) : e));
        }
    }
    return 1;
}

void BuildHueMembership(uint16_t h0, uint8_t* table)
{
    const uint16_t h1 = static_cast<uint16_t>(h0 + 0x8000);
    auto circ = [](int v, int h) {
        const int d = std::abs(v - h);
        return std::min(d, 65536 - d);
    };
    for (int v = 0; v < 65536; ++v) {
        const int dist = std::min(circ(v, h0), circ(v, h1));
        table[v] = static_cast<uint8_t>(dist <= 3999 ? 255 : dist > 7999 ? 0 : (8000 - dist) * 255 / 4000);
    }
}

CPurpleFringe::~CPurpleFringe()
{
    FreePlane8(m_mask);
    FreeImageBuffer(m_hsl);
}

int CPurpleFringe::Run()
{
    if (!m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    if (!CopyParamRecord(m_params, m_pParams))
        return 0;
    m_params.redAmount = ClampField<int32_t>(m_params.redAmount, -100, 100);
    m_params.blueAmount = ClampField<int32_t>(m_params.blueAmount, -100, 100);
    m_cancelled = false;
    // The destination holds the picture as it was until a band writes its finished rows, so a
    // cancel never leaves hue and saturation numbers where colours belong.
    if (!CopyImage16(*m_pDestination, *m_pSource))
        return 0;
    if (m_params.mode != 0)
        return ShiftChannels() && DesaturateEdges() ? 1 : 0;
    if (!BuildFringeMask())
        return 0;
    if (m_cancelled)
        return 1;
    SetProgress(30);
    SetSubRange(30, 100);
    const int ok = SplitIntoBands(0, 0) ? RunBands() : 0;
    SetProgressWindow(SavedLow(), SavedHigh());
    return ok;
}

int CPurpleFringe::BuildFringeMask()
{
    const ImageBuffer16& src = *m_pSource;
    Plane8 grey{}, edges{}, grown{};
    auto done = [&](int r) {
        FreePlane8(grey);
        FreePlane8(edges);
        FreePlane8(grown);
        return r;
    };
    if (!ConvertImage16ToGrey8(src, grey) || !FringeEdgePlane(grey, edges, 1))
        return done(0);
    SetProgress(5);
    if (IsAlgorithmCancelled()) {
        m_cancelled = true;
        return done(1);
    }
    if (!ExpandMask(edges, grown, 2) || !FeatherMask(2.0, grown, m_mask))
        return done(0);
    SetProgress(10);
    SetProgress(15);
    if (IsAlgorithmCancelled()) {
        m_cancelled = true;
        return done(1);
    }
    uint16_t fringe[4];
    std::memcpy(fringe, m_params.fringe, sizeof fringe);
    RgbToHsl16(fringe, 1);
    static thread_local uint8_t membership[65536]; // read by the helpers below while this thread waits
    BuildHueMembership(fringe[2], membership);
    if (!CopyImage16(m_hsl, src))
        return done(0);
    const int w = m_hsl.width;
    const uint8_t* table = membership;
    // Rows are independent: shared among the helpers.
    const bool ok = ParallelRows(m_hsl.height, static_cast<int64_t>(w) * 64, [&](int y0, int y1) {
        uint16_t* px = Row16(m_hsl, y0);
        const size_t n = static_cast<size_t>(y1 - y0) * w;
        RgbToHsl16(px, n);
        uint8_t* m = m_mask.data + static_cast<size_t>(y0) * w;
        for (size_t i = 0; i < n; ++i)
            m[i] = static_cast<uint8_t>(m[i] * table[px[i * 4 + 2]] / 255);
        return true;
    });
    if (!ok) {
        m_cancelled = IsAlgorithmCancelled() != 0;
        return done(m_cancelled ? 1 : 0);
    }
    SetProgress(20);
    return done(1);
}

int CPurpleFringe::ProcessBand(BandTask& task)
{
    if (m_params.mode != 0)
        return 1;
    const int w = m_hsl.width;
    for (int y = task.first; y < task.end; ++y) {
        const uint16_t* s = Row16(m_hsl, y);
        const uint8_t* m = m_mask.data + static_cast<size_t>(y) * w;
        uint16_t* d = Row16(*task.bandDest, y - task.firstWithMargin);
        for (int x = 0; x < w; ++x) {
            d[x * 4 + 0] = s[x * 4 + 0];
            d[x * 4 + 1] = static_cast<uint16_t>((255 - m[x]) * s[x * 4 + 1] / 255);
            d[x * 4 + 2] = s[x * 4 + 2];
            d[x * 4 + 3] = s[x * 4 + 3];
        }
        HslToRgb16(d, static_cast<size_t>(w));
    }
    return 1;
}

int CPurpleFringe::ShiftChannels()
{
    const ImageBuffer16& src = *m_pSource;
    ImageBuffer16& dst = *m_pDestination;
    const int w = src.width, h = src.height;
    const double D = std::sqrt(double(w) * w + double(h) * h), cx = w / 2, cy = h / 2;
    struct Pass { int amount, channel, progressBase; };
    for (const Pass& pass : {Pass{m_params.redAmount, 2, 0}, Pass{m_params.blueAmount, 0, 40}}) {
        if (pass.amount == 0)
            continue;
        const double k = pass.amount / 10000.0;
        for (int y = 0; y < h; ++y) {
            if (y % 200 == 0) {
                if (IsAlgorithmCancelled())
                    return 1;
                SetProgress(pass.progressBase + 40 * y / h);
            }
            uint16_t* out = Row16(dst, y);
            for (int x = 0; x < w; ++x) {
                const double u = (x - cx) / D, v = (y - cy) / D;
                const double f = 1 + k * std::pow(std::sqrt(u * u + v * v), 0.6);
                const double sx = u * f * D + cx, sy = v * f * D + cy;
                const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
                const int ix2 = sx < 0 ? ix - 1 : ix + 1, iy2 = sy < 0 ? iy - 1 : iy + 1;
                const int fx = static_cast<int>(256 * std::abs(sx - ix)), fy = static_cast<int>(256 * std::abs(sy - iy));
                auto at = [&](int px, int py) {
                    return static_cast<int>(
                        Row16(src, std::clamp(py, 0, h - 1))[std::clamp(px, 0, w - 1) * 4 + pass.channel]);
                };
                const int row0 = ((256 - fx) * at(ix, iy) + fx * at(ix2, iy)) >> 8;
                const int row1 = ((256 - fx) * at(ix, iy2) + fx * at(ix2, iy2)) >> 8;
                out[x * 4 + pass.channel] = static_cast<uint16_t>(((256 - fy) * row0 + fy * row1) >> 8);
            }
        }
    }
    return 1;
}

int CPurpleFringe::DesaturateEdges()
{
    Plane8 grey{}, edges{};
    const int ok = ConvertImage16ToGrey8(*m_pSource, grey) && FringeEdgePlane(grey, edges, 2.5);
    FreePlane8(grey);
    if (!ok) {
        FreePlane8(edges);
        return 0;
    }
    SetProgress(90);
    uint16_t* d = Pixels16(*m_pDestination);
    for (size_t i = 0, n = PixelCount(*m_pDestination); i < n; ++i) {
        const int g = edges.data[i];
        if (g == 0)
            continue;
        uint16_t* p = d + i * 4;
        const int64_t Y = (p[0] + 3 * p[2] + 6 * p[1]) / 10;
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<uint16_t>((Y * g + p[c] * (255 - g)) / 255);
    }
    FreePlane8(edges);
    SetProgress(100);
    return 1;
}
