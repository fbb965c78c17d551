#include "algorithms/AntiShakeBlur.h"

#include "algorithms/TileFilter.h"
#include "algorithms/ImageSize.h"
#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kTile = 128, kCore = 96, kMargin = 16;

inline int At(const Plane8& p, int x, int y)
{
    return p.data[static_cast<size_t>(y) * p.width + x];
}

// Grey plane of the source reduced by factor (1 = full size); false when too small or failing.
bool ReducedGrey(const ImageBuffer16& src, int factor, Plane8& grey)
{
    const int w = src.width / factor, h = src.height / factor;
    if (w < 1 || h < 1)
        return false;
    if (factor == 1)
        return ConvertImage16ToGrey8(src, grey) != 0;
    ImageBuffer16 small{};
    CImageSize sizer;
    const bool ok = sizer.AreaAverage(src, small, w, h) && ConvertImage16ToGrey8(small, grey);
    FreeImageBuffer(small);
    return ok;
}

} // namespace

void CAntiShakeBlur::FindPoints(const Plane8& P)
{
    m_points.clear();
    const int w = P.width, h = P.height;
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            int lo = 255, hi = 0, S = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int v = At(P, x + dx, y + dy);
                    lo = std::min(lo, v), hi = std::max(hi, v), S += v;
                }
            if (hi - lo < (S / 9) * 80 / 512 + 10)
                continue;
            const int b1 = (5 * lo + 3 * hi) / 8, b2 = (3 * lo + 5 * hi) / 8;
            const int c = At(P, x, y);
            if (!(c < b1 || c > b2))
                continue;
            const bool bright = c > b2;
            int other = 0;
            bool inside = false;
            for (int dy = -1; dy <= 1 && !inside; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    if (!dx && !dy)
                        continue;
                    const int v = At(P, x + dx, y + dy);
                    if (v >= b1 && v <= b2) {
                        inside = true;
                        break;
                    }
                    other += bright ? v < b1 : v > b2;
                }
            if (inside || other < 5)
                continue;
            m_points.push_back({6 * x + 3, 6 * y + 3, bright, bright ? hi : lo, bright ? lo : hi});
        }
}

void CAntiShakeBlur::RefinePoints(const Plane8& Q, int width, int height)
{
    const int w2 = Q.width, h2 = Q.height;
    std::vector<ShakePoint> refined;
    static const int kOffsets[8][2] = {{-2, 0}, {2, 0}, {0, -2}, {0, 2}, {-2, -2}, {2, -2}, {-2, 2}, {2, 2}};
    for (const ShakePoint& p : m_points) {
        const int X = p.x / 2, Y = p.y / 2;
        const int c0 = X < 8 ? 2 : X - 6, c1 = std::min(w2 - 2, X + 6);
        const int r0 = Y < 8 ? 2 : Y - 6, r1 = std::min(h2 - 2, Y + 6);
        int best = 0, bx = 0, by = 0, winMax = 0, winMin = 255;
        bool bestBright = false;
        for (int i = r0; i < r1; ++i)
            for (int j = c0; j < c1; ++j) {
                const int centre = At(Q, j, i);
                int E = centre, F = centre;
                for (const auto& o : kOffsets) {
                    const int v = At(Q, j + o[0], i + o[1]);
                    E = std::max(E, v), F = std::min(F, v);
                }
                if (E - F <= 79)
                    continue;
                winMax = std::max(winMax, E), winMin = std::min(winMin, F);
                const int G = (E + F) >> 1;
                const bool bright = G < centre;
                int n = 0;
                for (const auto& o : kOffsets) {
                    const int v = At(Q, j + o[0], i + o[1]);
                    n += bright ? v < G : v >= G; // a sample equal to G counts as above it
                }
                const int score = n >= 3 ? (E - F) * n : 0;
                if (score > best) {
                    best = score, bx = 2 * j + 1, by = 2 * i + 1, bestBright = bright;
                }
            }
        if (best > 0 && bx > 26 && bx < width - 26 && by > 26 && by < height - 26)
            refined.push_back({bx, by, bestBright, bestBright ? winMax : winMin, bestBright ? winMin : winMax});
    }
    m_points.swap(refined);
}

int CAntiShakeBlur::EstimateKernel(const Plane8& P)
{
    constexpr int K = kKernelSide;
    std::vector<double> A(K * K, 0.0);
    for (const ShakePoint& p : m_points) {
        // The border rule keeps every read inside; a point from elsewhere is checked again.
        if (p.x - 26 < 0 || p.y - 26 < 0 || p.x + 25 >= P.width || p.y + 25 >= P.height)
            continue;
        for (int y = p.y - 24; y < p.y + 24; ++y)
            for (int x = p.x - 24; x < p.x + 24; ++x) {
                int r = 8 * At(P, x, y);
                for (int dy = -2; dy <= 2; dy += 2)
                    for (int dx = -2; dx <= 2; dx += 2)
                        if (dx || dy)
                            r -= At(P, x + dx, y + dy);
                if (!p.bright)
                    r = -r;
                if (r > 0)
                    A[(y - p.y + 24) * K + (x - p.x + 24)] += r;
            }
    }
    const double f = *std::max_element(A.begin(), A.end());
    double low = 0, high = f, b = 0;
    for (int trial = 0; trial < 33; ++trial) {
        b = (low + high) / 2;
        const auto count = std::count_if(A.begin(), A.end(), [&](double v) { return v > b; });
        if (count == 76)
            break;
        if (count > 75)
            low = b;
        else
            high = b;
    }
    m_kernel.assign(K * K, 0.0);
    double sum = 0;
    if (f > b) {
        for (int i = 0; i < K * K; ++i)
            if (A[i] >= b) {
                m_kernel[i] = (A[i] - b) / (f - b);
                sum += m_kernel[i];
            }
    }
    m_magnitude.assign(kTile * kTile, 0.0);
    if (!(sum > 0)) {
        m_kernel.assign(K * K, 0.0); // no response: no frequency passes the test, tiles stay
        return 1;
    }
    for (double& v : m_kernel)
        v /= sum;
    SquareTransform block;
    if (!block.Allocate(kTileExponent))
        return 0;
    std::fill(block.Data(), block.Data() + kTile * kTile, 0.0);
    for (int r = 0; r < K; ++r)
        for (int c = 0; c < K; ++c)
            block.Row(40 + r)[40 + c] = m_kernel[r * K + c];
    std::vector<Complex> spectrum(kTile * kTile);
    if (!block.Fft2D(spectrum.data()))
        return 0;
    for (int i = 0; i < kTile * kTile; ++i)
        m_magnitude[i] = std::sqrt(spectrum[i].re * spectrum[i].re + spectrum[i].im * spectrum[i].im);
    return 1;
}

int CAntiShakeBlur::Run()
{
    if (!m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    const ImageBuffer16& src = *m_pSource;
    m_points.clear();
    Plane8 grey{};
    auto fail = [&] {
        FreePlane8(grey);
        return 0;
    };
    if (!ReducedGrey(src, 6, grey))
        return fail();
    SetProgress(3);
    FindPoints(grey);
    if (m_points.empty() || !ReducedGrey(src, 2, grey))
        return fail();
    RefinePoints(grey, src.width, src.height);
    if (m_points.empty())
        return fail();
    SetProgress(5);
    if (!ReducedGrey(src, 1, grey) || !EstimateKernel(grey))
        return fail();
    FreePlane8(grey);
    if (!AllocImage16(*m_pDestination, src.width, src.height))
        return 0;
    SetProgress(8);
    SetSubRange(8, 100);
    const int ok = SplitIntoBands(kMargin, kTile) ? RunBands() : 0;
    SetProgressWindow(SavedLow(), SavedHigh());
    return ok;
}

void CAntiShakeBlur::DeconvolveTile(SquareTransform& tile, std::vector<Complex>& X) const
{
    tile.Fft2D(X.data());
    for (int i = 0; i < kTile * kTile; ++i) {
        const double k = m_magnitude[i];
        if (k > 0.3) {
            X[i].re /= k;
            X[i].im /= k;
        }
    }
    tile.InverseFft2D(X.data());
}

int CAntiShakeBlur::ProcessBand(BandTask& task)
{
    const ImageBuffer16& S = *task.bandSource;
    ImageBuffer16& D = *task.bandDest;
    const int wb = S.width, hb = S.height;
    std::memcpy(D.data, S.data, PixelCount(S) * 8);
    // Pictures lower than a tile are left as they are. The last band of a taller picture is
    // filled below its last row like any other, so its rows are deblurred too.
    if (m_pSource->height < kTile || wb <= 0 || hb <= 0)
        return 1;
    RgbToYCbCr16(D);
    std::vector<Complex> scratch;
    try {
        scratch.resize(kTile * kTile);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const int luma = 2;
    if (!FilterBandTiles(D, kTileExponent, kCore, kMargin, &luma, 1, [&](SquareTransform& tile) {
            DeconvolveTile(tile, scratch);
            return true;
        }))
        return 0;
    YCbCrToRgb16(D);
    for (size_t i = 0, n = PixelCount(D); i < n; ++i)
        Pixels16(D)[i * 4 + 3] = Pixels16(S)[i * 4 + 3];
    return 1;
}
