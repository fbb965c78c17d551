#include "algorithms/TileFilter.h"

#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <new>
#include <vector>

int ReflectColumn(int x, int width)
{
    if (width <= 1)
        return 0;
    const int period = 2 * (width - 1);
    int m = x % period;
    if (m < 0)
        m += period;
    return m < width ? m : period - m;
}

bool FilterBandTilesImpl(ImageBuffer16& D, int exponent, int core, int margin, const int* slots, int channels,
                         bool (*filter)(void*, SquareTransform&), void* context)
{
    const int w = D.width, hb = D.height, side = 1 << exponent;
    if (w <= 0 || hb <= 0)
        return true;
    // The band's samples before any tile is written: every tile reads the picture as it was,
    // so the overlapping columns do not feed filtered values into the next tile.
    std::vector<uint8_t> samples;
    std::vector<int> cols;
    try {
        samples.resize(static_cast<size_t>(w) * hb * channels);
        cols.resize(side);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < hb; ++y) {
        const uint16_t* row = Row16(D, y);
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < channels; ++ch)
                samples[(static_cast<size_t>(ch) * hb + y) * w + x] = SrgbEncodeTable[row[x * 4 + slots[ch]]];
    }
    SquareTransform block;
    if (!block.Allocate(exponent))
        return false;
    const int tiles = (w + core - 1) / core;
    for (int t = 0; t < tiles; ++t) {
        const int x0 = core * t - margin;
        for (int i = 0; i < side; ++i)
            cols[i] = ReflectColumn(x0 + i, w);
        for (int ch = 0; ch < channels; ++ch) {
            const uint8_t* plane = samples.data() + static_cast<size_t>(ch) * hb * w;
            for (int m = 0; m < side; ++m) {
                const uint8_t* src = plane + static_cast<size_t>(std::min(m, hb - 1)) * w;
                double* out = block.Row(m);
                for (int i = 0; i < side; ++i)
                    out[i] = src[cols[i]];
            }
            if (!filter(context, block))
                return false;
            for (int j = 0; j < std::min(hb, side); ++j) {
                uint16_t* row = Row16(D, j);
                const double* in = block.Row(j);
                for (int i = std::max(0, -x0); i < side && x0 + i < w; ++i)
                    row[(x0 + i) * 4 + slots[ch]] = SrgbDecodeTable[std::clamp(static_cast<int>(in[i] + 0.5), 0, 255)];
            }
        }
    }
    return true;
}
