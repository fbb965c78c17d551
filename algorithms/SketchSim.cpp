#include "algorithms/SketchSim.h"

#include "algorithms/AlgorithmRandom.h"
#include "algorithms/AlgorithmThread.h"
#include "algorithms/ColourOps.h"
#include "algorithms/GaussBlur.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <new>

int SketchLevelStep(int v)
{
    v = std::clamp(v, 0, 100);
    return static_cast<int>(std::pow(2.0, (100 - v) * 4 / 100.0 + 2) + 0.5);
}

CSketchSim::~CSketchSim()
{
    Release();
}

void CSketchSim::Release()
{
    FreePlane8(m_luminance);
    FreeImageBuffer(m_edges);
    m_texture.clear();
    m_texture.shrink_to_fit();
}

int CSketchSim::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    m_use = m_params;
    m_use.levelStep = ClampField(m_use.levelStep, 1, 256);
    m_use.detail = ClampField(m_use.detail, 1, 5);
    if (!CopyUnlessSame(*m_pDestination, *m_pSource))
        return 0;
    int ok = BuildPencilTexture() && SmoothLuminance();
    if (ok && !IsAlgorithmCancelled())
        ok = BuildEdgeShares() && DrawStrokes() && (IsAlgorithmCancelled() || FinishTone());
    Release();
    return ok ? 1 : 0;
}

int CSketchSim::BuildPencilTexture()
{
    const ImageBuffer16& src = *m_pSource;
    const int N = std::max(300, static_cast<int>(0.15 * std::max(src.width, src.height)));
    try {
        m_texture.assign(size_t(N) * N, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    m_textureSide = N;
    SeedAlgorithmRand(10);
    const double e = 0.2 / N, f = (N / 2) * e;
    for (int k = 0; k < N; ++k) {
        const int h = AlgorithmRand() % N;
        const int l = AlgorithmRand();
        const int c = AlgorithmRand();
        double m = (l % 100 - 50) / 1000.0 - f;
        double o = k;
        const int t = c % 8 + 28;
        for (int i = 0; i < N; ++i) {
            const int r = ((static_cast<int>(N + o) % N) + N) % N;
            const int col = (h + i) % N;
            const double q = std::abs(o) - std::floor(std::abs(o));
            uint8_t& a = m_texture[size_t(r) * N + col];
            uint8_t& b = m_texture[size_t((r + 1) % N) * N + col];
            a = static_cast<uint8_t>(a + static_cast<int>((1 - q) * t + 0.5));
            b = static_cast<uint8_t>(b + static_cast<int>(q * t + 0.5));
            o += m;
            m += e;
        }
    }
    for (uint8_t& x : m_texture)
        if (x) {
            const int v = x + AlgorithmRand() % 16 - 8;
            x = static_cast<uint8_t>(v < 0 ? 128 : std::min(v, 255));
        }
    return 1;
}

int CSketchSim::SmoothLuminance()
{
    const ImageBuffer16& src = *m_pSource;
    Plane8 g{};
    if (!ConvertImage16ToGrey8(src, g))
        return 0;
    if (!CopyPlane8(m_luminance, g)) {
        FreePlane8(g);
        return 0;
    }
    const int W = src.width, H = src.height;
    if (m_use.detail < 5) {
        const int r = 5 - m_use.detail;
        ParallelRows(H, int64_t(W) * (2 * r + 1) * (2 * r + 1), [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                for (int x = 0; x < W; ++x) {
                    const int c = g.data[size_t(y) * W + x];
                    int64_t sw = 0, sv = 0;
                    for (int yy = std::max(0, y - r); yy <= std::min(H - 1, y + r); ++yy) {
                        const uint8_t* row = g.data + size_t(yy) * W;
                        for (int xx = std::max(0, x - r); xx <= std::min(W - 1, x + r); ++xx) {
                            const int w = 64 - std::abs(row[xx] - c);
                            if (w > 0)
                                sw += w, sv += int64_t(w) * row[xx];
                        }
                    }
                    if (sw > 0)
                        m_luminance.data[size_t(y) * W + x] = static_cast<uint8_t>(sv / sw);
                }
            }
            return true;
        });
    }
    SetProgress(10);
    FreePlane8(g);
    return 1;
}

int CSketchSim::DirectionalEdges()
{
    const int W = m_luminance.width, H = m_luminance.height;
    if (!AllocImage8(m_edges, W, H))
        return 0;
    std::fill(m_edges.data, m_edges.data + size_t(W) * H * 4, uint8_t(0));
    const uint8_t* L = m_luminance.data;
    for (int y = 1; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x) {
            auto at = [&](int dx, int dy) { return int(L[size_t(y + dy) * W + x + dx]); };
            const int UL = at(-1, -1), U = at(0, -1), UR = at(1, -1), Lf = at(-1, 0), Rt = at(1, 0), DL = at(-1, 1),
                      D = at(0, 1), DR = at(1, 1);
            uint8_t* e = m_edges.data + (size_t(y) * W + x) * 4;
            e[0] = static_cast<uint8_t>(std::min(255, std::abs((UL + U + UR) - (DL + D + DR))));
            e[1] = static_cast<uint8_t>(std::min(255, std::abs((UL + Lf + DL) - (UR + Rt + DR))));
            e[2] = static_cast<uint8_t>(std::min(255, std::abs((UL + U + Lf) - (Rt + D + DR))));
            e[3] = static_cast<uint8_t>(std::min(255, std::abs((DL + Lf + D) - (UR + Rt + U))));
        }
    for (size_t i = 0, n = size_t(W) * H; i < n; ++i) {
        const uint8_t* e = m_edges.data + i * 4;
        m_luminance.data[i] = static_cast<uint8_t>(m_luminance.data[i] * (255 - std::max(e[0], e[1]) / 5) / 255);
    }
    return 1;
}

namespace {

void NormaliseShares(ImageBuffer8& e)
{
    uint8_t* p = e.data;
    for (size_t i = 0, n = size_t(e.width) * e.height; i < n; ++i, p += 4) {
        const int sum = p[0] + p[1] + p[2] + p[3];
        if (sum)
            for (int k = 0; k < 4; ++k)
                p[k] = static_cast<uint8_t>(p[k] * 255 / sum);
    }
}

} // namespace

int CSketchSim::BuildEdgeShares()
{
    if (!DirectionalEdges())
        return 0;
    NormaliseShares(m_edges);
    CGaussBlur blur;
    blur.SetParent(this, 10, 20);
    ImageBuffer8 blurred{};
    if (!blur.BlurImage8(1.0, m_edges, blurred)) {
        FreeImageBuffer(blurred);
        return 0;
    }
    FreeImageBuffer(m_edges);
    m_edges = blurred;
    NormaliseShares(m_edges);
    return 1;
}

int CSketchSim::DrawStrokes()
{
    ImageBuffer16& dst = *m_pDestination;
    if (!AllocImage16(dst, m_pSource->width, m_pSource->height))
        return 0;
    std::fill(Pixels16(dst), Pixels16(dst) + PixelCount(dst) * 4, uint16_t(65535));
    const int s = m_use.levelStep;
    int done = 0;
    for (int lo = 0; lo < 256; lo += s) {
        const int hi = std::min(lo + s, 256);
        for (int k = 0; k < 4; ++k)
            StrokePass(lo, hi, k);
        ++done;
        SetProgress(20 + 80 * std::min(done * s, 256) / 256);
        if (IsAlgorithmCancelled())
            return 1;
    }
    return 1;
}

void CSketchSim::StrokePass(int lo, int hi, int k)
{
    ImageBuffer16& dst = *m_pDestination;
    const int W = dst.width, H = dst.height, N = m_textureSide;
    const int t = AlgorithmRand() % N;
    const int u0 = AlgorithmRand() % N;
    ParallelRows(H, W, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const uint8_t* L = m_luminance.data + size_t(y) * W;
            const uint8_t* E = m_edges.data + size_t(y) * W * 4;
            uint16_t* p = Row16(dst, y);
            for (int x = 0; x < W; ++x, p += 4) {
                const int dark = 256 - L[x];
                if (dark <= lo)
                    continue;
                const int P = static_cast<int>(E[x * 4 + k] * std::min(dark - lo, hi - lo) / 255.0 + 0.5);
                if (!P)
                    continue;
                int row, col;
                switch (k) {
                case 0:
                    row = (u0 + y) % N, col = (x + t) % N;
                    break;
                case 1:
                    row = (x + t) % N, col = (y + t) % N;
                    break;
                case 2:
                    row = (u0 + x + y) % N, col = (x - y + H + t) % N;
                    break;
                default:
                    row = (W + u0 + y - x) % N, col = (x + y + t) % N;
                    break;
                }
                const int64_t d = int64_t(m_texture[size_t(row) * N + col]) * P * 1800 / 255;
                const uint16_t v = ClampU16(p[2] - d);
                p[0] = p[1] = p[2] = v;
            }
        }
        return true;
    });
}

int CSketchSim::FinishTone()
{
    ImageBuffer16& dst = *m_pDestination;
    const int W = dst.width, H = dst.height;
    const size_t n = PixelCount(dst);
    int64_t hist[256] = {};
    for (size_t i = 0; i < n; ++i)
        ++hist[Pixels16(dst)[i * 4 + 1] >> 8];
    int b = 0;
    for (int64_t sum = 0; b < 128 && sum * 20 < int64_t(n);)
        sum += hist[b++];
    const double black = 256.0 * b;
    uint8_t* L = m_luminance.data;
    for (size_t i = 0; i < n; ++i) {
        uint16_t* p = Pixels16(dst) + i * 4;
        const double x = std::clamp((p[1] - black) / (65535 - black), 0.0, 1.0);
        const uint16_t v = static_cast<uint16_t>(x * 65535);
        p[0] = p[1] = p[2] = v;
        L[i] = SrgbEncodeTable[v];
    }
    Plane8 blurred{};
    CGaussBlur blur;
    blur.SetParent(this, 0, 0);
    if (!blur.BlurPlane8(8, m_luminance, blurred)) {
        FreePlane8(blurred);
        return 0;
    }
    std::vector<uint8_t> w(n);
    for (size_t i = 0; i < n; ++i) {
        const int m = blurred.data[i];
        w[i] = static_cast<uint8_t>(m == 0 || m >= 128 ? 0 : 256 - 2 * m);
    }
    FreePlane8(blurred);
    for (size_t i = 0; i < n; ++i)
        if (w[i]) {
            uint16_t* p = Pixels16(dst) + i * 4;
            p[0] = p[1] = p[2] = static_cast<uint16_t>((255 - w[i]) * p[1] / 255);
        }
    for (int y = 1; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x) {
            const size_t i = size_t(y) * W + x;
            if (!w[i])
                continue;
            static const int k[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
            int64_t sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    sum += k[dy + 1][dx + 1] * Row16(dst, y + dy)[(x + dx) * 4 + 2];
            uint16_t* p = Row16(dst, y) + x * 4;
            p[1] = static_cast<uint16_t>((w[i] * (sum / 16) + (255 - w[i]) * int64_t(p[1])) / 255);
        }
    for (size_t i = 0; i < n; ++i) {
        uint16_t* p = Pixels16(dst) + i * 4;
        p[0] = p[2] = p[1];
    }
    if (m_use.colourful) {
        std::vector<uint16_t> grey(n);
        for (size_t i = 0; i < n; ++i)
            grey[i] = Pixels16(dst)[i * 4 + 1];
        if (!CopyImage16(dst, *m_pSource))
            return 0;
        RgbToYCbCr16(dst);
        for (size_t i = 0; i < n; ++i)
            Pixels16(dst)[i * 4 + 2] = grey[i];
        YCbCrToRgb16(dst);
    } else {
        for (size_t i = 0; i < n; ++i)
            Pixels16(dst)[i * 4 + 3] = 65535;
    }
    return 1;
}
