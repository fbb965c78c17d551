#include "algorithms/ContentAwareScale.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/RecordCopy.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

// Edge energy of an inner pixel of an 8-bit plane with row stride `stride`.
int Energy(const uint8_t* L, int stride, int x, int y)
{
    auto at = [&](int dx, int dy) { return int(L[size_t(y + dy) * stride + x + dx]); };
    const int gx = std::abs((at(-1, 0) + at(-1, -1) + at(-1, 1)) - (at(1, 0) + at(1, -1) + at(1, 1))) / 3;
    const int gy = std::abs((at(0, -1) + at(-1, -1) + at(1, -1)) - (at(0, 1) + at(-1, 1) + at(1, 1))) / 3;
    return std::max(gx, gy);
}

template <class T>
std::vector<T> Transposed(const std::vector<T>& v, int w, int h)
{
    std::vector<T> out(v.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[size_t(x) * h + y] = v[size_t(y) * w + x];
    return out;
}

// One output line from `n2` half-resolution map entries: removed runs are split between their
// kept neighbours, each pixel averaged with its share; the leading run's first half is dropped.
template <class MapAt, class Src, class Dst>
void CarveLine(MapAt order, int n2, int e, Src src, Dst dst, int length)
{
    auto removed = [&](int c) {
        const int m = order(c);
        return m > 0 && m < e;
    };
    auto average = [&](int first, int count, uint16_t* out) {
        for (int ch = 0; ch < 4; ++ch) {
            int64_t sum = 0;
            for (int k = 0; k < count; ++k)
                sum += src(first + k)[ch];
            out[ch] = static_cast<uint16_t>(sum / count);
        }
    };
    int c = 0, written = 0, before = 0;
    while (c < n2 && removed(c))
        ++before, ++c;
    while (c < n2 && written < length) {
        average(2 * c - before, before + 1, dst(written++));
        if (written >= length)
            break;
        int run = 0;
        while (c + 1 + run < n2 && removed(c + 1 + run))
            ++run;
        const int after = std::max(0, std::min(run, n2 - written / 2 - 2));
        average(2 * c + 1, after + 1, dst(written++));
        before = run;
        c += 1 + run;
    }
}

} // namespace

void CContentAwareScale::FreeSeamMaps()
{
    m_verticalMap = {};
    m_horizontalMap = {};
    m_verticalComplete = m_horizontalComplete = false;
}

bool CContentAwareScale::BuildSeams(std::vector<uint8_t> L, std::vector<uint8_t> E, std::vector<uint8_t> A, int w,
                                    int h, int stopWidth, std::vector<uint16_t>& map, int progressBase)
{
    std::vector<uint32_t> cost;
    std::vector<uint16_t> column; // original column of each current position
    std::vector<int> path;
    try {
        cost.resize(size_t(w) * h);
        map.assign(size_t(w) * h, 0);
        column.resize(size_t(w) * h);
        path.resize(size_t(h));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            column[size_t(y) * w + x] = static_cast<uint16_t>(x);
    int cur = w;
    while (cur > stopWidth) {
        // Cheapest path costs, row by row.
        for (int x = 0; x < cur; ++x)
            cost[x] = E[x];
        for (int y = 1; y < h; ++y) {
            const uint32_t* up = cost.data() + size_t(y - 1) * w;
            uint32_t* row = cost.data() + size_t(y) * w;
            const uint8_t* e = E.data() + size_t(y) * w;
            for (int x = 0; x < cur; ++x) {
                uint32_t m = up[x];
                if (x > 0)
                    m = std::min(m, up[x - 1]);
                if (x + 1 < cur)
                    m = std::min(m, up[x + 1]);
                row[x] = e[x] + m;
            }
        }
        const uint32_t* last = cost.data() + size_t(h - 1) * w;
        int c = int(std::min_element(last, last + cur) - last);
        const uint16_t order = static_cast<uint16_t>(w - cur + 1);
        for (int y = h - 1; y >= 0; --y) {
            path[y] = c;
            uint8_t* l = L.data() + size_t(y) * w;
            uint8_t* e = E.data() + size_t(y) * w;
            uint16_t* col = column.data() + size_t(y) * w;
            map[size_t(y) * w + col[c]] = order;
            std::copy(l + c + 1, l + cur, l + c);
            std::copy(e + c + 1, e + cur, e + c);
            std::copy(col + c + 1, col + cur, col + c);
            if (!A.empty()) {
                uint8_t* a = A.data() + size_t(y) * w;
                std::copy(a + c + 1, a + cur, a + c);
            }
            if (y == 0)
                break;
            const uint32_t* k = cost.data() + size_t(y - 1) * w;
            if (cur == 1) {
                // Nothing else to move to.
            } else if (c == 0) {
                if (!(k[c] < k[c + 1]))
                    c = c + 1;
            } else if (c == cur - 1) {
                if (k[c - 1] < k[c])
                    c = c - 1;
            } else if (k[c - 1] < k[c]) {
                c = k[c - 1] < k[c + 1] ? c - 1 : c + 1;
            } else if (k[c] >= k[c + 1]) {
                c = c + 1;
            }
        }
        --cur;
        // Energy beside the path, from the shifted luminance; the plane's border stays. The
        // protection is applied again, or paths passing beside a protected area would wear it
        // away one column at a time.
        for (int y = 0; y < h - 1; ++y)
            for (int x : {path[y] - 1, path[y]})
                if (x >= 1 && x <= cur - 2 && y >= 1 && y <= h - 2) {
                    const size_t i = size_t(y) * w + x;
                    const int e = Energy(L.data(), w, x, y), a = A.empty() ? 0 : A[i];
                    E[i] = static_cast<uint8_t>(((255 - a) * e + 255 * a) / 255);
                }
        if (cur % 100 == 0) {
            SetProgress(progressBase - static_cast<int>(int64_t(cur) * 45 / w));
            if (IsAlgorithmCancelled())
                return false;
        }
    }
    return true;
}

int CContentAwareScale::Prepare(const ImageBuffer16& source, int width, int height)
{
    FreeSeamMaps();
    const int w2 = source.width / 2, h2 = source.height / 2;
    // Order numbers are 16-bit: half sizes beyond 65535 would wrap them.
    if (w2 < 1 || h2 < 1 || w2 > 65535 || h2 > 65535)
        return 0;
    m_w2 = w2;
    m_h2 = h2;
    std::vector<uint8_t> L, E;
    try {
        L.resize(size_t(w2) * h2);
        E.assign(size_t(w2) * h2, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    for (int y = 0; y < h2; ++y)
        for (int x = 0; x < w2; ++x) {
            int sum = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const uint16_t* p = Row16(source, 2 * y + dy) + (2 * x + dx) * 4;
                    sum += (3 * p[2] + 6 * p[1] + p[0]) / 10;
                }
            L[size_t(y) * w2 + x] = static_cast<uint8_t>(sum >> 10);
        }
    for (int y = 1; y < h2 - 1; ++y)
        for (int x = 1; x < w2 - 1; ++x)
            E[size_t(y) * w2 + x] = static_cast<uint8_t>(std::min(255, Energy(L.data(), w2, x, y)));
    const Plane8* mask = m_protect;
    std::vector<uint8_t> A;
    if (mask && mask->data && mask->width == source.width && mask->height == source.height) {
        A.resize(size_t(w2) * h2);
        for (int y = 0; y < h2; ++y)
            for (int x = 0; x < w2; ++x) {
                const int a = A[size_t(y) * w2 + x] = mask->data[size_t(2 * y) * mask->width + 2 * x];
                uint8_t& e = E[size_t(y) * w2 + x];
                e = static_cast<uint8_t>(((255 - a) * e + 255 * a) / 255);
            }
    }
    SetProgress(10);
    if (IsAlgorithmCancelled())
        return 1;
    if (!BuildSeams(L, E, A, w2, h2, std::max(0, width / 2), m_verticalMap, 55))
        return 0;
    m_verticalComplete = width / 2 <= 0;
    if (IsAlgorithmCancelled())
        return 1;
    SetProgress(55);
    std::vector<uint16_t> transposedMap;
    if (!BuildSeams(Transposed(L, w2, h2), Transposed(E, w2, h2), A.empty() ? A : Transposed(A, w2, h2), h2, w2,
                    std::max(0, height / 2), transposedMap, 100))
        return 0;
    m_horizontalMap = Transposed(transposedMap, h2, w2);
    m_horizontalComplete = height / 2 <= 0;
    SetProgress(100);
    return 1;
}

int CContentAwareScale::Resize(const ImageBuffer16& source, ImageBuffer16& destination)
{
    const int W = source.width, H = source.height, w2 = m_w2, h2 = m_h2;
    ImageBuffer16 out{};
    const bool columns = m_params.width < W;
    const int outW = columns ? m_params.width : W, outH = columns ? H : m_params.height;
    const std::vector<uint16_t>& map = columns ? m_verticalMap : m_horizontalMap;
    if (map.size() != size_t(w2) * h2 || !AllocImage16(out, outW, outH))
        return 0;
    std::fill_n(Pixels16(out), PixelCount(out) * 4, 0);
    bool ok;
    if (columns) {
        const int e = w2 - m_params.width / 2;
        ok = ParallelRows(H, int64_t(W) * 2, [&](int y0, int y1) {
            for (int i = y0; i < y1; ++i) {
                const uint16_t* m = map.data() + size_t(std::min(h2 - 1, i / 2)) * w2;
                const uint16_t* s = Row16(source, i);
                uint16_t* d = Row16(out, i);
                CarveLine([&](int c) { return int(m[c]); }, w2, e, [&](int p) { return s + size_t(p) * 4; },
                          [&](int p) { return d + size_t(p) * 4; }, outW);
            }
            return true;
        });
    } else {
        const int e = h2 - m_params.height / 2;
        ok = ParallelRows(W, int64_t(H) * 2, [&](int x0, int x1) {
            for (int i = x0; i < x1; ++i) {
                const int k = std::min(w2 - 1, i / 2);
                CarveLine([&](int c) { return int(map[size_t(c) * w2 + k]); }, h2, e,
                          [&](int p) { return Row16(source, p) + size_t(i) * 4; },
                          [&](int p) { return Row16(out, p) + size_t(i) * 4; }, outH);
            }
            return true;
        });
    }
    if (!ok) {
        FreeImageBuffer(out);
        return 0;
    }
    FreeImageBuffer(destination);
    destination = out;
    return 1;
}

int CContentAwareScale::Run()
{
    CopyRecordAtMost(m_params, Params());
    ImageBuffer16* src = Source();
    ImageBuffer16* dst = Destination();
    if (!src || !src->data || src->width <= 0 || src->height <= 0)
        return 0;
    const ContentAwareScaleParams& p = m_params;
    if (p.prepareOnly)
        return Prepare(*src, 0, 0);
    if (!dst)
        return 0;
    if (p.width == src->width && p.height == src->height) {
        SetProgress(100);
        return src == dst || CopyImage16(*dst, *src) ? 1 : 0;
    }
    // Only reductions, of at least one pixel left.
    if (p.width < 1 || p.height < 1 || p.width > src->width || p.height > src->height)
        return 0;
    if (!(m_verticalComplete && m_horizontalComplete) && !Prepare(*src, p.width, p.height))
        return 0;
    if (src->width / 2 != m_w2 || src->height / 2 != m_h2)
        return 0;
    return Resize(*src, *dst);
}
