#include "algorithms/AutoLevel.h"

#include "algorithms/Algorithm.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/ToneLut.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

bool CopyInto(const ImageBuffer16& source, ImageBuffer16& destination)
{
    return &source == &destination || CopyImage16(destination, source);
}

// Histograms over row parts on the helpers, added up afterwards: counts do not depend on the
// split. bins(pixel, hist) adds one pixel.
constexpr int kHistogramParts = 8;

template <class Bins>
bool CountPixels(const ImageBuffer16& image, uint32_t* hist, size_t histSize, Bins&& bins)
{
    const int parts = std::min(kHistogramParts, std::max(1, image.height));
    std::unique_ptr<uint32_t[]> partial(new (std::nothrow) uint32_t[size_t(parts) * histSize]());
    if (!partial)
        return false;
    const int rowsPerPart = (image.height + parts - 1) / parts;
    const bool ok = ParallelRows(parts, int64_t(rowsPerPart) * image.width, [&](int p0, int p1) {
        for (int part = p0; part < p1; ++part) {
            uint32_t* h = partial.get() + size_t(part) * histSize;
            const int y0 = std::min(image.height, part * rowsPerPart);
            const int y1 = std::min(image.height, y0 + rowsPerPart);
            const uint16_t* s = Row16(image, y0);
            for (size_t i = 0, n = size_t(y1 - y0) * image.width; i < n; ++i, s += 4)
                bins(s, h);
        }
        return true;
    });
    if (!ok)
        return false;
    for (int part = 0; part < parts; ++part)
        for (size_t i = 0; i < histSize; ++i)
            hist[i] += partial[size_t(part) * histSize + i];
    return true;
}

// Maps every pixel's three colour channels through its channel's table (alpha kept).
bool MapChannels(ImageBuffer16& image, const uint16_t* tb, const uint16_t* tg, const uint16_t* tr)
{
    return ParallelRows(image.height, image.width, [&](int y0, int y1) {
        uint16_t* d = Row16(image, y0);
        for (size_t i = 0, n = size_t(y1 - y0) * image.width; i < n; ++i, d += 4) {
            d[0] = tb[d[0]];
            d[1] = tg[d[1]];
            d[2] = tr[d[2]];
        }
        return true;
    });
}

int LevelPerChannel(double clip, const ImageBuffer16& source, ImageBuffer16& destination, int shape)
{
    if (!source.data || !CopyInto(source, destination))
        return 0;
    std::unique_ptr<uint32_t[]> hist(new (std::nothrow) uint32_t[3 * 65536]());
    std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[3 * 65536]);
    if (!hist || !table)
        return 0;
    const size_t n = PixelCount(source);
    if (!CountPixels(source, hist.get(), 3 * 65536, [](const uint16_t* s, uint32_t* h) {
            ++h[s[0]];
            ++h[65536 + s[1]];
            ++h[2 * 65536 + s[2]];
        }))
        return 0;
    const int64_t T = static_cast<int64_t>(static_cast<double>(n) * clip / 1000);
    for (int c = 0; c < 3; ++c) {
        int lo, hi;
        FindLevels(hist.get() + c * 65536, T, lo, hi);
        BuildToneLut(table.get() + c * 65536, ToneLutIdentity | shape, lo, hi);
    }
    return MapChannels(destination, table.get(), table.get() + 65536, table.get() + 2 * 65536) ? 1 : 0;
}

int LevelOnLuminance(const ImageBuffer16& source, ImageBuffer16& destination, uint64_t clip, int shape)
{
    if (!source.data || !CopyInto(source, destination))
        return 0;
    std::unique_ptr<uint32_t[]> hist(new (std::nothrow) uint32_t[65536]());
    std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[65536]);
    if (!hist || !table)
        return 0;
    const size_t n = PixelCount(source);
    if (!CountPixels(source, hist.get(), 65536,
                     [](const uint16_t* s, uint32_t* h) { ++h[(3u * s[2] + 6u * s[1] + s[0]) / 10]; }))
        return 0;
    // 64-bit: N x clip overflows 32 bits on large pictures.
    const int64_t T = static_cast<int64_t>((static_cast<uint64_t>(n) * clip) / 1000);
    int lo, hi;
    FindLevels(hist.get(), T, lo, hi);
    BuildToneLut(table.get(), ToneLutIdentity | shape, lo, hi);
    return MapChannels(destination, table.get(), table.get(), table.get()) ? 1 : 0;
}

} // namespace

void FindLevels(const uint32_t* h, int64_t T, int& lo, int& hi)
{
    int64_t sum = 0;
    lo = 0;
    while (lo < 30000) {
        sum += h[lo];
        if (sum > T)
            break;
        ++lo;
    }
    sum = 0;
    hi = 65535;
    while (hi > 40000) {
        sum += h[hi];
        if (sum > T)
            break;
        --hi;
    }
}

int AutoLevel(double clip, const ImageBuffer16& source, ImageBuffer16& destination)
{
    return LevelPerChannel(clip, source, destination, ToneLutLevelsGamma);
}

int AutoLevelLinear(double clip, const ImageBuffer16& source, ImageBuffer16& destination)
{
    return LevelPerChannel(clip, source, destination, ToneLutLevelsLinear);
}

int AutoContrast(const ImageBuffer16& source, ImageBuffer16& destination, unsigned clip)
{
    return LevelOnLuminance(source, destination, clip, ToneLutLevelsGamma);
}

int AutoContrastLinear(const ImageBuffer16& source, ImageBuffer16& destination, unsigned)
{
    return LevelOnLuminance(source, destination, 2, ToneLutLevelsLinear);
}
