#include "algorithms/MeshTransform.h"

#include "algorithms/PixelAccess.h"

#include <algorithm>
#include <cmath>

void CMeshTransform::SetMesh(std::unique_ptr<double[]> nodes, int columns, int rows, int cellSize)
{
    platform::ScopedLock lock(m_meshLock);
    m_nodes = std::shared_ptr<const double[]>(nodes.release());
    m_columns = columns;
    m_rows = rows;
    m_cellSize = cellSize;
}

void CMeshTransform::WarpCell(const ImageBuffer16& source, ImageBuffer16& work, const double* nodes, int columns,
                              int s, int i, int j)
{
    const int w = source.width, h = source.height;
    const int64_t x0 = int64_t(j) * s, y0 = int64_t(i) * s;
    const double* c = nodes + 2 * (int64_t(i) * columns + j);
    const double* d = c + 2;
    const double* e = c + 2 * int64_t(columns);
    const double* f = e + 2;
    const int hEnd = static_cast<int>(std::min<int64_t>(s, h - y0));
    const int kEnd = static_cast<int>(std::min<int64_t>(s, w - x0));
    static const uint16_t kOutside[4] = {0, 0, 0, 0};
    auto at = [&](int64_t x, int64_t y) {
        return x >= 0 && y >= 0 && x < w && y < h ? Row16(source, int(y)) + x * 4 : kOutside;
    };
    for (int hh = 0; hh < hEnd; ++hh) {
        uint16_t* out = Row16(work, int(y0 + hh)) + x0 * 4;
        for (int k = 0; k < kEnd; ++k, out += 4) {
            double D[2];
            for (int a = 0; a < 2; ++a)
                D[a] = ((k * d[a] + (s - k) * c[a]) / s * (s - hh) + (k * f[a] + (s - k) * e[a]) / s * hh) / s;
            const double X = double(x0 + k) + D[0], Y = double(y0 + hh) + D[1];
            // Beyond one pixel outside every neighbour is transparent (also for NaN).
            if (!(X > -1 && Y > -1 && X < w && Y < h)) {
                std::fill_n(out, 4, 0);
                continue;
            }
            const double fx = std::floor(X), fy = std::floor(Y);
            const int wx = static_cast<int>((X - fx) * 256), wy = static_cast<int>((Y - fy) * 256);
            const int64_t xi = static_cast<int64_t>(fx), yi = static_cast<int64_t>(fy);
            const uint16_t *p00 = at(xi, yi), *p10 = at(xi + 1, yi), *p01 = at(xi, yi + 1), *p11 = at(xi + 1, yi + 1);
            for (int ch = 0; ch < 4; ++ch) {
                const int top = (p00[ch] * (256 - wx) + p10[ch] * wx) >> 8;
                const int bottom = (p01[ch] * (256 - wx) + p11[ch] * wx) >> 8;
                out[ch] = static_cast<uint16_t>((top * (256 - wy) + bottom * wy) >> 8);
            }
        }
    }
}

int CMeshTransform::Run()
{
    std::shared_ptr<const double[]> nodes;
    int columns, rows, s;
    {
        platform::ScopedLock lock(m_meshLock);
        nodes = m_nodes;
        columns = m_columns;
        rows = m_rows;
        s = m_cellSize;
    }
    ImageBuffer16* src = Source();
    ImageBuffer16* dst = Destination();
    if (!nodes || !src || !dst || !src->data || s <= 0 || columns < 0 || rows < 0)
        return 0;
    ImageBuffer16 work{};
    if (!CopyImage16(work, *src))
        return 0;
    // A mesh larger than the picture only draws the cells that start inside it.
    const int cellRows = static_cast<int>(std::min<int64_t>(rows - 1, (src->height + int64_t(s) - 1) / s));
    const int cellColumns = static_cast<int>(std::min<int64_t>(columns - 1, (src->width + int64_t(s) - 1) / s));
    const double* n = nodes.get();
    auto moved = [&](int i, int j) {
        for (int64_t node : {int64_t(i) * columns + j, int64_t(i) * columns + j + 1, int64_t(i + 1) * columns + j,
                             int64_t(i + 1) * columns + j + 1})
            if (n[2 * node] != 0 || n[2 * node + 1] != 0)
                return true;
        return false;
    };
    // Cell rows write disjoint picture rows and read only the source.
    const bool ok = cellRows <= 0 || cellColumns <= 0 ||
                    ParallelRows(cellRows, int64_t(src->width) * s, [&](int i0, int i1) {
                        for (int i = i0; i < i1; ++i)
                            for (int j = 0; j < cellColumns; ++j)
                                if (moved(i, j))
                                    WarpCell(*src, work, n, columns, s, i, j);
                        return true;
                    });
    const int result = ok && CopyImage16(*dst, work) ? 1 : 0;
    FreeImageBuffer(work);
    return result;
}
