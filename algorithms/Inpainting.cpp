#include "algorithms/Inpainting.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ImageSize.h"
#include "algorithms/PixelAccess.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr uint64_t kNoBest = UINT32_MAX;

bool AnyAbove(const Plane8& p, int v)
{
    for (size_t i = 0, n = size_t(p.width) * p.height; i < n; ++i)
        if (p.data[i] > v)
            return true;
    return false;
}

} // namespace

int EstimatePatchSize(const Plane8& mask)
{
    Plane8 two{}, blurred{};
    if (!mask.data || !AllocPlane8(two, mask.width, mask.height))
        return 8;
    for (size_t i = 0, n = size_t(mask.width) * mask.height; i < n; ++i)
        two.data[i] = mask.data[i] >= 128 ? 255 : 0;
    auto thick = [&](int sigma, bool& failed) {
        CGaussBlur blur;
        failed = !blur.BlurPlane8(sigma, two, blurred);
        return !failed && AnyAbove(blurred, 229);
    };
    int result = 8, large = 0;
    bool failed = false;
    for (int sigma = 8;;) {
        const bool above = thick(sigma, failed);
        if (failed) {
            result = sigma;
            break;
        }
        if (!above) {
            if (sigma == 8)
                result = 8;
            else
                large = sigma;
            break;
        }
        sigma *= 2;
        if (sigma >= 64) {
            large = 64;
            break;
        }
    }
    if (large) {
        int small = large / 2, m = (small + large) / 2;
        for (;;) {
            const bool above = thick(m, failed);
            if (failed)
                break;
            (above ? small : large) = m;
            m = (small + large) / 2;
            if (large - small <= 1)
                break;
        }
        result = m;
    }
    FreePlane8(two);
    FreePlane8(blurred);
    return result;
}

void CImageInpainting::Reduce(int rx0, int ry0, int rx1, int ry1)
{
    const int f = m_reduction;
    for (int y = ry0; y < ry1; ++y)
        for (int x = rx0; x < rx1; ++x) {
            uint32_t sum[4] = {0, 0, 0, 0};
            for (int dy = 0; dy < f; ++dy) {
                const uint16_t* p = Row16(*m_dst, y * f + dy) + size_t(x) * f * 4;
                for (int k = 0; k < f * 4; ++k)
                    sum[k & 3] += p[k];
            }
            uint16_t* o = Row16(m_reduced, y) + size_t(x) * 4;
            for (int c = 0; c < 4; ++c)
                o[c] = static_cast<uint16_t>(sum[c] / unsigned(f * f));
        }
}

InpaintBlock* CImageInpainting::NextBlock(bool recount)
{
    const int s = m_step, W = m_window;
    InpaintBlock* best = nullptr;
    for (InpaintBlock& b : m_blocks) {
        if (b.done)
            continue;
        if (recount) {
            int front = 0;
            bool allKnown = true;
            for (int i = 0; i < W; ++i) {
                const int y = b.y0 - s + i;
                if (y < 0 || y >= m_h)
                    continue; // outside the picture: nothing to count or fill
                for (int j = 0; j < W; ++j) {
                    const int x = b.x0 - s + j;
                    if (x < 0 || x >= m_w)
                        continue;
                    front += m_front[size_t(y) * m_w + x] != 0;
                    allKnown = allKnown && m_known[size_t(y) * m_w + x] != 0;
                }
            }
            b.frontCount = front;
            if (allKnown) {
                b.done = 1;
                b.frontCount = 0;
            }
        }
        if (b.frontCount > 0 && (!best || b.frontCount > best->frontCount))
            best = &b;
    }
    return best;
}

bool CImageInpainting::Valid(int cx, int cy) const
{
    const int W = m_window, x = cx - m_sumX, y = cy - m_sumY, sw = m_sumW + 1;
    auto at = [&](int a, int b) { return m_unknownSum[size_t(b) * sw + a]; };
    return at(x + W, y + W) - at(x, y + W) - at(x + W, y) + at(x, y) == 0;
}

namespace {

// Sum from 1 of the colour differences over the target pixels marked for comparison (alpha
// 255), window against picture at (x, y), stopping with twice the best once it passes it.
uint64_t WindowScore(const uint16_t* target, int w, const ImageBuffer16& picture, int x, int y, uint64_t best)
{
    uint64_t sum = 1;
    const int rows = std::min(w, picture.height - y), columns = std::min(w, picture.width - x);
    for (int i = 0; i < rows; ++i) {
        const uint16_t* t = target + size_t(i) * w * 4;
        const uint16_t* d = Row16(picture, y + i) + size_t(x) * 4;
        for (int j = 0; j < columns; ++j, t += 4, d += 4) {
            if (t[3] != 255)
                continue;
            sum += (std::abs(int(t[0]) - d[0]) + std::abs(int(t[1]) - d[1]) + std::abs(int(t[2]) - d[2])) / 100;
            if (sum > best)
                return 2 * best;
        }
    }
    return sum;
}

} // namespace

uint64_t CImageInpainting::FullScore(int cx, int cy, uint64_t best) const
{
    return Valid(cx, cy) ? WindowScore(m_target.data(), m_window, *m_dst, cx, cy, best) : 0;
}

uint64_t CImageInpainting::ReducedScore(int cx, int cy, uint64_t best) const
{
    const int f = m_reduction;
    return Valid(cx, cy) ? WindowScore(m_reducedTarget.data(), m_reducedWindow, m_reduced, cx / f, cy / f, best) : 0;
}

bool CImageInpainting::FillBlock(InpaintBlock& b)
{
    const int s = m_step, W = m_window, p = m_params.patchSize, f = m_reduction;
    for (int i = 0; i < W; ++i)
        for (int j = 0; j < W; ++j) {
            uint16_t* t = m_target.data() + (size_t(i) * W + j) * 4;
            const int x = b.x0 - s + j, y = b.y0 - s + i;
            if (x < 0 || y < 0 || x >= m_w || y >= m_h) {
                std::fill_n(t, 4, 0); // beyond the picture: never compared
                continue;
            }
            std::copy_n(Row16(*m_dst, y) + size_t(x) * 4, 4, t);
            const size_t k = size_t(y) * m_w + x;
            if (m_front[k])
                t[3] = 255;
            else if (!m_known[k])
                t[3] = 128;
        }
    if (f > 1) {
        ImageBuffer16 window{}, reduced{};
        if (!AllocImage16(window, W, W))
            return false;
        std::copy(m_target.begin(), m_target.end(), Pixels16(window));
        CImageSize resize;
        const bool ok = resize.ResizeBilinear(window, reduced, W / f, W / f) && reduced.data;
        if (ok)
            m_reducedTarget.assign(Pixels16(reduced), Pixels16(reduced) + PixelCount(reduced) * 4);
        FreeImageBuffer(window);
        FreeImageBuffer(reduced);
        if (!ok)
            return false;
        m_reducedWindow = W / f;
    }
    const int cx0 = std::max(b.x0 - 4 * p, 0), cx1 = std::min(b.x1 + 4 * p, m_w) - W;
    const int cy0 = std::max(b.y0 - 4 * p, 0), cy1 = std::min(b.y1 + 4 * p, m_h) - W;
    if (cy1 <= cy0 || cx1 <= cx0)
        return false;
    // Unknown counts over every window the search (refinement included) may test.
    m_sumX = std::max(cx0 - f, 0), m_sumY = std::max(cy0 - f, 0);
    m_sumW = std::max(cx1, std::min(cx1 + f + 1, m_w - W)) + W - m_sumX;
    const int sumH = std::max(cy1, std::min(cy1 + f + 1, m_h - W)) + W - m_sumY;
    try {
        m_unknownSum.assign(size_t(m_sumW + 1) * (sumH + 1), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < sumH; ++y) {
        int32_t run = 0;
        for (int x = 0; x < m_sumW; ++x) {
            run += m_known[size_t(m_sumY + y) * m_w + m_sumX + x] == 0;
            m_unknownSum[size_t(y + 1) * (m_sumW + 1) + x + 1] = m_unknownSum[size_t(y) * (m_sumW + 1) + x + 1] + run;
        }
    }
    uint64_t best = kNoBest;
    int bx = -1, by = -1;
    const int stride = f > 1 ? f : 1;
    for (int cy = cy0; cy < cy1; cy += stride)
        for (int cx = cx0; cx < cx1; cx += stride) {
            const uint64_t score = f > 1 ? ReducedScore(cx, cy, best) : FullScore(cx, cy, best);
            if (score > 0 && score < best)
                best = score, bx = cx, by = cy;
        }
    if (bx < 0)
        return false;
    best = kNoBest;
    int fx = bx, fy = by;
    for (int cy = std::max(by - f, 0); cy < std::min(by + f + 1, m_h - W); ++cy)
        for (int cx = std::max(bx - f, 0); cx < std::min(bx + f + 1, m_w - W); ++cx) {
            if (cx < m_sumX || cy < m_sumY || cx + W > m_sumX + m_sumW || cy + W > m_sumY + sumH)
                continue;
            const uint64_t score = FullScore(cx, cy, best);
            if (score > 0 && score < best)
                best = score, fx = cx, fy = cy;
        }
    PastePatch(fx, fy, b);
    return true;
}

void CImageInpainting::PastePatch(int bx, int by, const InpaintBlock& b)
{
    const int s = m_step, W = m_window;
    const uint8_t* mask = m_params.mask->data;
    for (int i = 0; i < W; ++i)
        for (int j = 0; j < W; ++j) {
            const int tx = b.x0 - s + j, ty = b.y0 - s + i;
            if (tx < 0 || ty < 0 || tx >= m_w || ty >= m_h)
                continue;
            const size_t k = size_t(ty) * m_w + tx;
            const int m = mask[k];
            if (m == 0)
                continue;
            const int u = m_weight[size_t(i) * W + j] * m / 255;
            if (u == 0)
                continue;
            const uint16_t* c = Row16(*m_dst, by + i) + size_t(bx + j) * 4;
            uint16_t* t = Row16(*m_dst, ty) + size_t(tx) * 4;
            for (int ch = 0; ch < 3; ++ch)
                t[ch] = static_cast<uint16_t>((u * c[ch] + (255 - u) * t[ch]) / 255);
            m_front[k] = m_known[k] = 255;
        }
    if (m_reduction > 1) {
        const int f = m_reduction;
        Reduce(std::max(b.x0 / f - 1, 0), std::max(b.y0 / f - 1, 0), std::min(b.x1 / f + 2, m_w / f),
               std::min(b.y1 / f + 2, m_h / f));
    }
}

int CImageInpainting::PaddedRun(const ImageBuffer16& source, ImageBuffer16& destination)
{
    const int p = m_params.patchSize, w = source.width, h = source.height;
    ImageBuffer16 padded{};
    Plane8 mask{};
    if (!AllocImage16(padded, w + 2 * p, h + 2 * p) || !AllocPlane8(mask, w + 2 * p, h + 2 * p)) {
        FreeImageBuffer(padded);
        FreePlane8(mask);
        return 0;
    }
    for (size_t i = 0; i < PixelCount(padded); ++i) {
        uint16_t* px = Pixels16(padded) + i * 4;
        px[0] = px[1] = px[2] = 0;
        px[3] = 65535;
    }
    std::memset(mask.data, 0, size_t(mask.width) * mask.height);
    for (int y = 0; y < h; ++y) {
        std::copy_n(Row16(source, y), size_t(w) * 4, Row16(padded, y + p) + size_t(p) * 4);
        std::copy_n(m_params.mask->data + size_t(y) * w, w, mask.data + size_t(y + p) * mask.width + p);
    }
    SetProgress(10);
    InpaintingParams nestedParams = m_params;
    nestedParams.mask = &mask;
    ImageBuffer16 out{};
    CImageInpainting nested;
    nested.SetParent(this, 10, 100);
    nested.SetSource(&padded);
    nested.SetDestination(&out);
    nested.SetParams(&nestedParams);
    int ok = nested.Run();
    if (ok && m_params.feather)
        // The softened mask is the caller's result too.
        for (int y = 0; y < h; ++y)
            std::copy_n(mask.data + size_t(y + p) * mask.width + p, w, m_params.mask->data + size_t(y) * w);
    if (ok) {
        ok = CopyImage16(destination, source);
        for (int y = 0; ok && y < h; ++y)
            std::copy_n(Row16(out, y + p) + size_t(p) * 4, size_t(w) * 4, Row16(destination, y));
    }
    FreeImageBuffer(padded);
    FreeImageBuffer(out);
    FreePlane8(mask);
    return ok;
}

int CImageInpainting::Run()
{
    if (Params())
        m_params = *static_cast<const InpaintingParams*>(Params());
    const ImageBuffer16* src = Source();
    ImageBuffer16* dst = Destination();
    Plane8* mask = m_params.mask;
    const int p = m_params.patchSize;
    if (!src || !dst || src == dst || !src->data || !mask || !mask->data || p < 1)
        return 0;
    const int w = src->width, h = src->height;
    if (mask->width != w || mask->height != h)
        return 0;
    m_w = w, m_h = h, m_src = src, m_dst = dst;
    m_left = w, m_top = h, m_right = 0, m_bottom = 0, m_count = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (mask->data[size_t(y) * w + x]) {
                m_left = std::min(m_left, x), m_right = std::max(m_right, x);
                m_top = std::min(m_top, y), m_bottom = std::max(m_bottom, y);
                ++m_count;
            }
    int s = p / 5;
    if (int64_t(w) * h < 3 * m_count)
        return 0;
    const int a = p / 2 + p / 5;
    if (m_count > 0 && (m_left < a || m_right > w - a || m_top < a || m_bottom > h - a))
        return PaddedRun(*src, *dst);
    SetProgress(1);
    s = std::clamp(s, 2, 8);
    m_step = s;
    if (m_params.feather) {
        Plane8 soft{};
        if (!FeatherMask(s * 0.25, *mask, soft) || !soft.data) {
            FreePlane8(soft);
            return 0;
        }
        std::copy_n(soft.data, size_t(w) * h, mask->data);
        FreePlane8(soft);
    }
    Plane8 fill{}, blurred{};
    try {
        m_known.resize(size_t(w) * h);
        m_front.assign(size_t(w) * h, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!AllocPlane8(fill, w, h))
        return 0;
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        m_known[i] = mask->data[i] < 128 ? 255 : 0;
        fill.data[i] = mask->data[i] >= 128 ? 255 : 0;
    }
    const bool blurredOk = FeatherMask(s / 1.3, fill, blurred) != 0 && blurred.data;
    if (blurredOk)
        for (size_t i = 0; i < size_t(w) * h; ++i)
            m_front[i] = fill.data[i] ? 0 : (blurred.data[i] ? 255 : 0);
    FreePlane8(fill);
    FreePlane8(blurred);
    if (!blurredOk && m_count > 0)
        return 0;
    SetProgress(3);
    if (!CopyImage16(*dst, *src))
        return 0;
    SetProgress(4);
    m_reduction = p < 12 ? 1 : (p <= 24 ? 2 : 3);
    if (m_reduction > 1) {
        if (!AllocImage16(m_reduced, w / m_reduction, h / m_reduction))
            return 0;
        Reduce(0, 0, w / m_reduction, h / m_reduction);
    }
    // Grid centred on the bounds; an area one pixel wide or high still gets its blocks.
    m_blocks.clear();
    if (m_count > 0) {
        const int columns = std::max(1, (p - 1 + m_right - m_left) / p);
        const int rows = std::max(1, (p - 1 + m_bottom - m_top) / p);
        const int ox = m_left - (p * columns - (m_right - m_left)) / 2;
        const int oy = m_top - (p * rows - (m_bottom - m_top)) / 2;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                m_blocks.push_back({ox + c * p, oy + r * p, ox + c * p + p, oy + r * p + p, 0, 0});
    }
    const int W = p + 2 * s;
    m_window = W;
    try {
        m_weight.resize(size_t(W) * W);
        m_target.resize(size_t(W) * W * 4);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    auto ramp = [&](int i) { return i < s ? 255 * i / s : (i <= p + s ? 255 : (W - i) * 255 / s); };
    for (int i = 0; i < W; ++i)
        for (int j = 0; j < W; ++j)
            m_weight[size_t(i) * W + j] = static_cast<uint8_t>(ramp(j) * ramp(i) / 255);
    SetProgress(5);
    const int n = static_cast<int>(m_blocks.size());
    InpaintBlock* block = NextBlock(true);
    for (int k = 0; block;) {
        if (!FillBlock(*block))
            return 0;
        block->done = 1;
        ++k;
        SetProgress(5 + 95 * k / std::max(1, n));
        if (IsAlgorithmCancelled())
            return 1;
        block = NextBlock(false);
        if (!block)
            block = NextBlock(true);
    }
    return 1;
}
