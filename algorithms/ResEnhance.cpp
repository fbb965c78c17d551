#include "algorithms/ResEnhance.h"

#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

std::vector<ResWindow> BuildResWindowTable()
{
    std::vector<ResWindow> t;
    int sum = 0;
    for (int a = 2; sum < 256 && t.size() < 32; ++a) {
        t.push_back({static_cast<int8_t>(sum), static_cast<int8_t>(a / -4), static_cast<int8_t>((a + 2) / 4),
                     static_cast<int8_t>((a + 1) / -4), static_cast<int8_t>((a + 3) / 4)});
        sum += (a - 1) / 2 + 1;
    }
    return t;
}

ResWindow ResWindowForStrength(double s)
{
    const double r2 = 2 * s * s;
    const int r = r2 >= 8 ? 8 : std::max(3, static_cast<int>(r2));
    const std::vector<ResWindow> t = BuildResWindowTable();
    for (const ResWindow& w : t)
        if (w.sum >= r)
            return w;
    return t.back();
}

void ResEdgeMap(const uint8_t* g, int w, int h, uint8_t* edge)
{
    std::memset(edge, 0, static_cast<size_t>(w) * h);
    for (int y = 1; y + 1 < h; ++y) {
        const uint8_t* a = g + static_cast<size_t>(y - 1) * w;
        const uint8_t* b = a + w;
        const uint8_t* c = b + w;
        uint8_t* e = edge + static_cast<size_t>(y) * w;
        for (int x = 1; x + 1 < w; ++x) {
            const int gx = (a[x - 1] + b[x - 1] + c[x - 1]) - (a[x + 1] + b[x + 1] + c[x + 1]);
            const int gy = (a[x - 1] + a[x] + a[x + 1]) - (c[x - 1] + c[x] + c[x + 1]);
            const int m = std::max(std::abs(gx), std::abs(gy));
            e[x] = static_cast<uint8_t>(m <= 16 ? 0 : m <= 255 ? (m - 16) * 255 / 240 : 253);
        }
    }
}

int CResEnhance::Run()
{
    if (m_pParams)
        std::memcpy(&m_strength, m_pParams, sizeof m_strength);
    if (!m_pSource || !m_pSource->data || !m_pDestination || !(m_strength == m_strength))
        return 0;
    m_window = ResWindowForStrength(m_strength);
    if (SplitIntoBands(16, 0) == 0)
        return 0;
    // The success flag, not 1: a band that failed leaves rows unchanged.
    return RunBands();
}

int CResEnhance::Enhance(double strength, const ImageBuffer16& source, ImageBuffer16& destination)
{
    SetSource(const_cast<ImageBuffer16*>(&source));
    SetDestination(&destination);
    SetParams(&strength);
    return Run();
}

int CResEnhance::ProcessBand(BandTask& task)
{
    const ImageBuffer16& S = *task.bandSource;
    ImageBuffer16& D = *task.bandDest;
    const int W = S.width, H = S.height;
    Plane8 grey{};
    ImageBuffer16 ycc{};
    std::unique_ptr<uint8_t[]> edge(new (std::nothrow) uint8_t[static_cast<size_t>(W) * H]);
    std::unique_ptr<uint16_t[]> colMin(new (std::nothrow) uint16_t[W]), colMax(new (std::nothrow) uint16_t[W]);
    bool ok = edge && colMin && colMax && ConvertImage16ToGrey8(S, grey) && CopyImage16(ycc, S);
    if (ok) {
        ResEdgeMap(grey.data, W, H, edge.get());
        RgbToYCbCr16(ycc);
        ok = &D == &ycc || CopyImage16(D, ycc);
    }
    if (ok) {
        // Rows are judged against the picture, not the band, so the result does not depend on
        // how the picture was cut: the picture's own edge rows never count as inner pixels.
        const int imageTop = task.firstWithMargin, imageH = m_pSource->height;
        const ResWindow w = m_window;
        const int yFirst = std::max(-w.top, -imageTop - w.top);
        const int yEnd = std::min(H - w.bottom, imageH - imageTop - w.bottom);
        for (int r : {-imageTop, imageH - 1 - imageTop})
            if (r >= 0 && r < H)
                std::memset(edge.get() + static_cast<size_t>(r) * W, 0, W);
        for (int y = yFirst; y < yEnd; ++y) {
            for (int x = 0; x < W; ++x) {
                uint16_t lo = 65535, hi = 0;
                for (int r = y + w.top; r < y + w.bottom; ++r) {
                    const uint16_t v = Row16(ycc, r)[x * 4 + 2];
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
                colMin[x] = lo;
                colMax[x] = hi;
            }
            const uint16_t* in = Row16(ycc, y);
            uint16_t* out = Row16(D, y);
            const uint8_t* e = edge.get() + static_cast<size_t>(y) * W;
            for (int x = -w.left; x < W - w.right; ++x) {
                int t = 65535, u = 0;
                for (int c = x + w.left; c < x + w.right; ++c) {
                    t = std::min<int>(t, colMin[c]);
                    u = std::max<int>(u, colMax[c]);
                }
                const int64_t o = ((e[x] * 144) >> 8) + 64;
                const int64_t v = in[x * 4 + 2];
                int64_t nv = ((255 - o) * v + (v + (((v - ((t + u) >> 1)) * 500) >> 8)) * o) >> 8;
                nv = std::clamp<int64_t>(nv, t, u);
                out[x * 4 + 2] = static_cast<uint16_t>(nv);
            }
        }
        YCbCrToRgb16(D);
    }
    FreePlane8(grey);
    FreeImageBuffer(ycc);
    return ok ? 1 : 0;
}
