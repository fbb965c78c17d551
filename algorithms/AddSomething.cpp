#include "algorithms/AddSomething.h"

#include "algorithms/AlgorithmRandom.h"
#include "algorithms/ColourOps.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace {

// Positions on pictures wider or taller than 32767 pixels need more than one draw's range.
int WideRand()
{
    return (AlgorithmRand() << 15) | AlgorithmRand();
}

} // namespace

void CAddSomething::FadeRange(int mode, int channel, int& lo, int& hi)
{
    static const int ranges[2][3][2] = {{{4000, 58000}, {6000, 59000}, {8000, 60000}},
                                        {{500, 47000}, {5000, 50000}, {6000, 60000}}};
    lo = ranges[mode ? 1 : 0][channel][0];
    hi = ranges[mode ? 1 : 0][channel][1];
}

int CAddSomething::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    AddSomethingParams& u = m_use;
    u = m_params;
    u.grain = ClampField(u.grain, 0, 200);
    u.fade = ClampField(u.fade, 0, 100);
    u.baseMode = u.baseMode ? 1 : 0;
    u.scratches = ClampField(u.scratches, 0, 100);
    u.darkCorners = ClampField(u.darkCorners, 0, 100);
    u.centreX = ClampField(u.centreX, 0, 100);
    u.centreY = ClampField(u.centreY, 0, 100);
    const ImageBuffer16& src = *m_pSource;
    if (m_pDestination != m_pSource && !AllocImage16(*m_pDestination, src.width, src.height))
        return 0;
    for (int c = 0; c < 3; ++c)
        FadeRange(u.baseMode, c, m_fadeLo[c], m_fadeHi[c]);
    m_cx = int(int64_t(src.width) * u.centreX / 100);
    m_cy = int(int64_t(src.height) * u.centreY / 100);
    m_r0 = std::min(src.width, src.height) / 2.5;
    // Pixels well inside half the radius are never darkened: no square root for them.
    m_innerSq = 0.25 * m_r0 * m_r0 * (1 - 1e-9);
    // The random draws in the order of the steps: the grain's row seed, then the scratches.
    // The picture then goes through fade, grain, scratches and corners in one pass.
    m_grainSeed = u.grain > 0 ? static_cast<uint32_t>(WideRand()) : 0;
    SetProgress(20);
    m_mask.reset();
    if (!AddScratches())
        return 0;
    SetProgress(50);
    const bool ok = ParallelRows(src.height, src.width * 3, [&](int first, int end) {
        for (int y = first; y < end; ++y)
            ProcessRow(y);
        return true;
    });
    m_mask.reset();
    if (!ok)
        return 0;
    SetProgress(100);
    return 1;
}

void CAddSomething::ProcessRow(int y)
{
    const ImageBuffer16& src = *m_pSource;
    const int W = src.width;
    const uint16_t* s = Row16(src, y);
    uint16_t* p = Row16(*m_pDestination, y);
    if (p != s)
        std::memcpy(p, s, size_t(W) * 8);
    const uint8_t* mask = m_mask ? m_mask.get() + size_t(y) * W : nullptr;
    RowRand rng(m_grainSeed, y);
    for (int x = 0; x < W; ++x, p += 4) {
        Fade(p);
        AddGrain(p, rng);
        if (mask && mask[x]) {
            const int64_t k = mask[x], colour = m_use.baseMode == 1 ? 0 : 65535;
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint16_t>((p[c] * (255 - k) + colour * k) / 255);
        }
        DarkenCorners(p, x, y);
    }
}

void CAddSomething::Fade(uint16_t* p) const
{
    const int64_t f = m_use.fade;
    if (f <= 0)
        return;
    const int64_t l = (6 * p[1] + 3 * p[2] + p[0]) / 10;
    for (int c = 0; c < 3; ++c) {
        const int64_t lo = m_fadeLo[c], hi = m_fadeHi[c];
        p[c] = static_cast<uint16_t>(((100 - f) * p[c] + f * (lo + (hi - lo) * l / 65535)) / 100);
    }
}

void CAddSomething::AddGrain(uint16_t* p, RowRand& rng) const
{
    const int g = m_use.grain;
    if (g <= 0)
        return;
    const double span = 80.0 * g;
    const int c = rng.Wide() % (160 * g) - 80 * g; // one 15-bit draw would favour the dark end
    const double r = std::abs(c) / span;
    int64_t v = static_cast<int64_t>(r * r * span + 0.5);
    if (c < 0)
        v = -v;
    for (int ch = 0; ch < 3; ++ch)
        p[ch] = ClampU16(p[ch] + v);
}

int CAddSomething::AddScratches()
{
    const int s = m_use.scratches;
    if (s <= 0)
        return 1;
    const int W = m_pSource->width, H = m_pSource->height;
    m_mask.reset(new (std::nothrow) uint8_t[PixelCount(*m_pSource)]());
    if (!m_mask)
        return 0;
    uint8_t* mask = m_mask.get();
    auto at = [&](int x, int y) -> uint8_t& { return mask[size_t(y) * W + x]; };
    if (m_use.baseMode == 1) {
        const int64_t count = int64_t(H) * s * W / 10000000 + s / 10;
        const int rows = std::min(H, 65536);
        std::vector<int> dash(rows);
        std::vector<int64_t> prefix(size_t(rows) + 1, 0);
        for (int64_t line = 0; line < count; ++line) {
            const double x = (WideRand() % (3 * int64_t(W))) / 3.0;
            const int k = AlgorithmRand() % 100;
            if (!(x > 1 && x < W - 1) || k == 0)
                continue;
            const int period = 10000 / k;
            for (int y = 0; y < rows; ++y)
                dash[y] = AlgorithmRand() % period < 100 ? 255 : 0;
            const int col = static_cast<int>(x);
            const double frac = x - col;
            std::vector<int64_t>& sum = prefix; // sum[y] = dash[0] + ... + dash[y - 1]
            for (int y = 0; y < rows; ++y)
                sum[y + 1] = sum[y] + dash[y];
            for (int y = 0; y < rows; ++y) {
                const int top = std::max(0, y - 5), bottom = std::min(rows, y + 5);
                const int64_t e = (sum[bottom] - sum[top]) / (bottom - top);
                uint8_t& a = at(col, y);
                uint8_t& b = at(col + 1, y);
                a = std::max<uint8_t>(a, static_cast<uint8_t>(static_cast<int>(e * (1 - frac)) / 2));
                b = std::max<uint8_t>(b, static_cast<uint8_t>(static_cast<int>(e * frac) / 2));
            }
        }
    } else {
        const int64_t count = int64_t(H) * s * W / 1000000 + s / 5;
        const int L = std::max(1, (H + W) / 30);
        std::vector<int> t(L + 1);
        for (int i = 0; i <= L; ++i)
            t[i] = static_cast<int>(std::pow(double(i) / L, 3) * L + 2);
        for (int64_t seg = 0; seg < count; ++seg) {
            const int x0 = WideRand() % W;
            int x1 = t[AlgorithmRand() % L];
            x1 = AlgorithmRand() % 2 == 0 ? x0 - x1 : x0 + x1;
            const int y0 = WideRand() % H;
            int y1 = t[AlgorithmRand() % L];
            y1 = AlgorithmRand() % 2 == 0 ? y0 - y1 : y0 + y1;
            const double k = (AlgorithmRand() % 100) / 120.0;
            const double w = (AlgorithmRand() % 10 + 1) * 0.0625;
            if (x0 == x1 && y0 == y1)
                continue;
            const double dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
            for (int y = std::max(0, std::min(y0, y1)); y <= std::min(H - 1, std::max(y0, y1)); ++y)
                for (int x = std::max(0, std::min(x0, x1)); x <= std::min(W - 1, std::max(x0, x1)); ++x) {
                    const double d = std::abs(dy * (x - x0) - dx * (y - y0)) / len;
                    if (d <= w + 0.5)
                        at(x, y) = static_cast<uint8_t>(
                            std::min(255.0, std::max(0.0, (128 - static_cast<int>((d - w) * 255)) * k)));
                }
        }
    }
    return 1;
}

void CAddSomething::DarkenCorners(uint16_t* p, int x, int y) const
{
    const int v = m_use.darkCorners;
    if (v <= 0 || m_r0 <= 0)
        return;
    const double d2 = double(x - m_cx) * (x - m_cx) + double(y - m_cy) * (y - m_cy);
    if (d2 < m_innerSq)
        return;
    const double q = std::sqrt(d2) / m_r0;
    if (q <= 0.5)
        return;
    const double k = std::min(1.0, (q - 0.5) / 2.5);
    const int h = std::min(230, v * static_cast<int>(k * 256) / 60);
    if (h == 0)
        return; // the 8-bit round trip alone would shift the value
    for (int c = 0; c < 3; ++c)
        p[c] = SrgbDecodeTable[(SrgbEncodeTable[p[c]] * (256 - h)) >> 8];
}
