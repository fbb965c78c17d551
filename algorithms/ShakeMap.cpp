#include "algorithms/ShakeMap.h"

#include "algorithms/GaussBlur.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {

bool GreyPlane(const ImageBuffer8& picture, Plane8& grey)
{
    if (!AllocPlane8(grey, picture.width, picture.height))
        return false;
    for (size_t i = 0, n = size_t(picture.width) * picture.height; i < n; ++i) {
        const uint8_t* p = picture.data + i * 4;
        grey.data[i] = static_cast<uint8_t>((6 * p[1] + 3 * p[2] + p[0]) / 10);
    }
    return true;
}

constexpr uint64_t kFirstShiftBest = 2147483647;
constexpr uint64_t kFirstFineBest = 536870911;
constexpr uint64_t kFirstBlockBest = 100000000;

} // namespace

int RegionMean8(const Plane8& grey, int x0, int y0, int x1, int y1)
{
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, grey.width), y1 = std::min(y1, grey.height);
    if (!grey.data || x1 <= x0 || y1 <= y0)
        return 0;
    uint64_t sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            sum += grey.data[size_t(y) * grey.width + x];
    return static_cast<int>(sum / (uint64_t(x1 - x0) * uint64_t(y1 - y0)));
}

int MeanGrey8(const ImageBuffer8& picture)
{
    const size_t n = size_t(std::max(0, picture.width)) * size_t(std::max(0, picture.height));
    if (!picture.data || n == 0)
        return 0;
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = picture.data + i * 4;
        sum += (6 * p[1] + 3 * p[2] + p[0]) / 10;
    }
    return static_cast<int>(sum / n);
}

int CheckPhotoPair(const ImageBuffer8& a, const ImageBuffer8& b, int sizeOnly)
{
    if (a.width != b.width || a.height != b.height)
        return 0;
    if (sizeOnly)
        return 1;
    if (!a.data || !b.data || a.width < 1 || a.height < 1)
        return 0;
    Plane8 ga{}, gb{};
    int ok = GreyPlane(a, ga) && GreyPlane(b, gb) ? 1 : 0;
    if (ok) {
        const int W = a.width, H = a.height, hw = W / 2, hh = H / 2;
        // A picture one pixel wide or high has no left or top half: that half counts as 0.
        const int da = RegionMean8(ga, 0, 0, hw, H) - RegionMean8(ga, hw, 0, W, H);
        const int db = RegionMean8(gb, 0, 0, hw, H) - RegionMean8(gb, hw, 0, W, H);
        const int ta = RegionMean8(ga, 0, 0, W, hh) - RegionMean8(ga, 0, hh, W, H);
        const int tb = RegionMean8(gb, 0, 0, W, hh) - RegionMean8(gb, 0, hh, W, H);
        ok = std::abs(da - db) <= 16 && std::abs(ta - tb) <= 16 ? 1 : 0;
    }
    FreePlane8(ga);
    FreePlane8(gb);
    return ok;
}

bool CShakeMap::BuildDetailPlane(const ImageBuffer8& picture, Planes& out)
{
    Plane8 g{}, s{}, q{}, h{};
    bool ok = GreyPlane(picture, g);
    CGaussBlur blur;
    ok = ok && blur.BlurPlane8(32, g, s) && AllocPlane8(h, g.width, g.height);
    if (ok) {
        for (size_t i = 0, n = size_t(g.width) * g.height; i < n; ++i)
            h.data[i] = static_cast<uint8_t>(std::clamp(int(g.data[i]) - int(s.data[i]) + 128, 0, 255));
        ok = ResizePlane8(h, q, g.width / 4, g.height / 4) != 0;
    }
    if (ok) {
        try {
            out.full.assign(h.data, h.data + size_t(h.width) * h.height);
            out.quarter.assign(q.data, q.data + size_t(q.width) * q.height);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        out.w = g.width, out.h = g.height, out.w4 = q.width, out.h4 = q.height;
    }
    FreePlane8(g);
    FreePlane8(s);
    FreePlane8(q);
    FreePlane8(h);
    return ok;
}

void CShakeMap::FindGlobalShift()
{
    m_shiftX = m_shiftY = 0;
    if (m_params.tripod)
        return;
    const int W4 = m_a.w4, H4 = m_a.h4;
    const uint8_t *A = m_a.quarter.data(), *B = m_b.quarter.data();
    const int x0 = 3 * W4 / 7, x1 = W4 - 3 * W4 / 7, y0 = 3 * H4 / 7, y1 = H4 - 3 * H4 / 7;
    uint64_t best = kFirstShiftBest;
    int bx = 0, by = 0;
    auto trial = [&](int dx, int dy) {
        // Candidates whose window leaves B's plane are skipped.
        if (x0 + dx < 0 || y0 + dy < 0 || x1 + dx > W4 || y1 + dy > H4)
            return;
        uint64_t sum = 0;
        for (int y = y0; y < y1 && sum <= best; ++y) {
            const uint8_t* a = A + size_t(y) * W4;
            const uint8_t* b = B + size_t(y + dy) * W4 + dx;
            for (int x = x0; x < x1; ++x)
                sum += std::abs(int(a[x]) - int(b[x]));
        }
        if (sum < best)
            best = sum, bx = dx, by = dy;
    };
    const int R = std::max(W4, H4) * 8 / 100;
    for (int dy = -R; dy <= R; dy += 3)
        for (int dx = -R; dx <= R; dx += 3)
            trial(dx, dy);
    SetProgress(25);
    const int cx = bx, cy = by;
    best = kFirstShiftBest;
    for (int dy = cy - 1; dy <= cy + 1; ++dy)
        for (int dx = cx - 1; dx <= cx + 1; ++dx)
            trial(dx, dy);
    SetProgress(35);

    const int W = m_a.w, H = m_a.h, t = std::max(1, std::max(W, H) / 256);
    const uint8_t *FA = m_a.full.data(), *FB = m_b.full.data();
    uint64_t fine = kFirstFineBest;
    int X = 4 * bx, Y = 4 * by, sx = 4 * bx, sy = 4 * by;
    for (int ty = -5; ty <= 5; ++ty)
        for (int tx = -5; tx <= 5; ++tx) {
            const int cxo = sx + tx, cyo = sy + ty;
            const int rx0 = std::max(0, -cxo), rx1 = std::min(W, W - cxo);
            const int ry0 = std::max(0, -cyo), ry1 = std::min(H, H - cyo);
            uint64_t sum = 0;
            for (int y = ry0; y < ry1 && sum <= fine; y += t) {
                const uint8_t* a = FA + size_t(y) * W;
                const uint8_t* b = FB + size_t(y + cyo) * W + cxo;
                for (int x = rx0; x < rx1; x += t)
                    sum += uint64_t(std::abs(int(a[x]) - int(b[x]))) * uint64_t(std::abs(int(a[x]) - 128));
            }
            if (sum < fine)
                fine = sum, X = cxo, Y = cyo;
        }
    m_shiftX = X;
    m_shiftY = Y;
}

void CShakeMap::BuildBlockGrid()
{
    m_blocks.clear();
    const int W = m_a.w, H = m_a.h;
    const int c = std::min(W, H) / 60, m = c + 64;
    const int sx = (W - 2 * m) / 15, sy = (H - 2 * m) / 15;
    const uint8_t* p = m_a.full.data();
    for (int i = 0; i < 15; ++i)
        for (int j = 0; j < 15; ++j) {
            BlockMatch b{j, i, j * sx - c, i * sy - c, j * sx + c, i * sy + c, 0, 0, 0};
            if (b.left < 0 || b.top < 0 || b.right > W || b.bottom > H || b.right <= b.left || b.bottom <= b.top)
                continue;
            int horizontal = 0, vertical = 0;
            for (int y = b.top; y < b.bottom; ++y)
                for (int x = b.left; x < b.right; ++x) {
                    const int v = p[size_t(y) * W + x];
                    if (x + 1 < b.right && std::abs(p[size_t(y) * W + x + 1] - v) > 12)
                        ++horizontal;
                    if (y + 1 < b.bottom && std::abs(p[size_t(y + 1) * W + x] - v) > 12)
                        ++vertical;
                }
            if (horizontal >= 12 && vertical >= 12) {
                b.measure = uint32_t(std::min<int64_t>(int64_t(horizontal) * vertical, UINT32_MAX));
                m_blocks.push_back(b);
            }
        }
}

void CShakeMap::MatchBlocks()
{
    const int r = m_params.tripod ? 4 : 16;
    const int W = m_a.w, H = m_a.h, W4 = m_a.w4, H4 = m_a.h4;
    const size_t n = m_blocks.size();
    for (size_t i = 0; i < n; ++i) {
        SetProgress(40 + static_cast<int>(50 * i / n));
        BlockMatch& b = m_blocks[i];
        const int l4 = b.left / 4, t4 = b.top / 4, r4 = b.right / 4, b4 = b.bottom / 4;
        const int cx = m_shiftX / 4, cy = m_shiftY / 4;
        uint64_t best = kFirstBlockBest;
        int bx = cx, by = cy;
        for (int oy = -r; oy <= r; ++oy)
            for (int ox = -r; ox <= r; ++ox) {
                const int mx = cx + ox, my = cy + oy;
                if (l4 + mx < 0 || t4 + my < 0 || r4 + mx >= W4 || b4 + my >= H4)
                    continue;
                uint64_t sum = 0;
                for (int y = t4; y < b4 && sum <= best; ++y) {
                    const uint8_t* a = m_a.quarter.data() + size_t(y) * W4;
                    const uint8_t* q = m_b.quarter.data() + size_t(y + my) * W4 + mx;
                    for (int x = l4; x < r4; ++x)
                        sum += std::abs(int(a[x]) - int(q[x]));
                }
                if (sum < best)
                    best = sum, bx = mx, by = my;
            }
        best = kFirstBlockBest;
        for (int dy = 4 * by - 4; dy <= 4 * by + 4; ++dy)
            for (int dx = 4 * bx - 4; dx <= 4 * bx + 4; ++dx) {
                if (b.left + dx < 0 || b.top + dy < 0 || b.right + dx >= W || b.bottom + dy >= H)
                    continue;
                uint64_t sum = 0;
                for (int y = b.top; y < b.bottom; ++y) {
                    const uint8_t* a = m_a.full.data() + size_t(y) * W;
                    const uint8_t* q = m_b.full.data() + size_t(y + dy) * W + dx;
                    for (int x = b.left; x < b.right; ++x)
                        sum += std::abs(int(a[x]) - int(q[x]));
                }
                if (sum < best)
                    best = sum, b.dx = dx, b.dy = dy;
            }
        b.measure = uint32_t(best);
    }
}

void CShakeMap::SelectBelow(double limit)
{
    std::stable_sort(m_blocks.begin(), m_blocks.end(),
                     [](const BlockMatch& x, const BlockMatch& y) { return x.measure < y.measure; });
    size_t below = 0;
    for (const BlockMatch& b : m_blocks)
        below += b.measure < limit;
    if (below > 0)
        m_used = below - 1;
}

void CShakeMap::SelectByError()
{
    m_used = m_blocks.size();
    if (m_blocks.size() < 10)
        return;
    double sq = 0;
    for (const BlockMatch& b : m_blocks)
        sq += double(b.measure) * b.measure;
    SelectBelow(std::sqrt(sq / double(m_blocks.size())));
}

bool CShakeMap::FitTransform()
{
    const BlockMatch* table[15][15] = {};
    const size_t used = std::min(m_used, m_blocks.size());
    for (size_t i = 0; i < used; ++i)
        table[m_blocks[i].row][m_blocks[i].col] = &m_blocks[i];
    auto centre = [](const BlockMatch& b, double& cx, double& cy, double& u, double& v) {
        cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
        u = cx + b.dx, v = cy + b.dy;
    };
    // Weighted least-squares slopes of u and v over the position along each row or column.
    auto slopes = [&](bool rows, double& su, double& sv) {
        double A = 0, D = 0, N = 0;
        for (int k = 0; k < 15; ++k) {
            std::vector<const BlockMatch*> line;
            for (int l = 0; l < 15; ++l)
                if (const BlockMatch* b = rows ? table[k][l] : table[l][k])
                    line.push_back(b);
            if (line.size() < 4)
                continue;
            double mp = 0, mu = 0, mv = 0;
            for (const BlockMatch* b : line) {
                double cx, cy, u, v;
                centre(*b, cx, cy, u, v);
                mp += rows ? cx : cy, mu += u, mv += v;
            }
            const double n = double(line.size());
            mp /= n, mu /= n, mv /= n;
            double spp = 0, spu = 0, spv = 0;
            for (const BlockMatch* b : line) {
                double cx, cy, u, v;
                centre(*b, cx, cy, u, v);
                const double p = (rows ? cx : cy) - mp;
                spp += p * p, spu += p * (u - mu), spv += p * (v - mv);
            }
            if (spp == 0)
                continue;
            A += spu / spp * n, D += spv / spp * n, N += n;
        }
        if (N == 0)
            return false;
        su = A / N, sv = D / N;
        return true;
    };
    AlignTransform t;
    if (!slopes(true, t.a, t.d) || !slopes(false, t.b, t.e))
        return false;
    double c = 0, f = 0;
    for (size_t i = 0; i < used; ++i) {
        double cx, cy, u, v;
        centre(m_blocks[i], cx, cy, u, v);
        c += u - t.a * cx - t.b * cy;
        f += v - t.d * cx - t.e * cy;
    }
    t.c = c / double(used), t.f = f / double(used);
    t.valid = 1;
    m_transform = t;
    return true;
}

void CShakeMap::SelectByResidual()
{
    if (m_blocks.size() < 10)
        return;
    const AlignTransform& t = m_transform;
    for (BlockMatch& b : m_blocks) {
        const double cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
        const double u = cx + b.dx, v = cy + b.dy;
        const int pu = static_cast<int>(std::clamp(t.a * cx + t.b * cy + t.c + 0.5, -1e9, 1e9));
        const int pv = static_cast<int>(std::clamp(t.d * cx + t.e * cy + t.f + 0.5, -1e9, 1e9));
        b.measure = static_cast<uint32_t>(std::min(4e9, std::sqrt((pu - u) * (pu - u) + (pv - v) * (pv - v))));
    }
    m_used = m_blocks.size();
    SelectBelow(16.0);
}

int CShakeMap::Run()
{
    if (Params())
        m_params = *static_cast<const ShakeMapParams*>(Params());
    m_transform = AlignTransform{};
    const ImageBuffer8 *A = m_params.reference, *B = m_params.other;
    if (!A || !B || !A->data || !B->data || A->width < 1024 || A->height < 1024 || A->width != B->width ||
        A->height != B->height)
        return 0;
    if (!BuildDetailPlane(*A, m_a) || !BuildDetailPlane(*B, m_b))
        return 0;
    SetProgress(5);
    FindGlobalShift();
    SetProgress(40);
    BuildBlockGrid();
    MatchBlocks();
    SetProgress(90);
    m_used = m_blocks.size();
    SelectByError();
    if (FitTransform()) {
        SelectByResidual();
        if (FitTransform()) {
            SetProgress(100);
            return 1;
        }
    }
    m_transform = AlignTransform{};
    return m_params.tripod ? 1 : 0;
}
