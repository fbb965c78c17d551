#include "algorithms/AutoLevel.h"

#include "algorithms/PixelAccess.h"
#include "algorithms/ToneLut.h"

#include <memory>
#include <new>

namespace {

bool CopyInto(const ImageBuffer16& source, ImageBuffer16& destination)
{
    return &source == &destination || CopyImage16(destination, source);
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
    const uint16_t* s = Pixels16(source);
    for (size_t i = 0; i < n; ++i, s += 4)
        for (int c = 0; c < 3; ++c)
            ++hist[c * 65536 + s[c]];
    const int64_t T = static_cast<int64_t>(static_cast<double>(n) * clip / 1000);
    for (int c = 0; c < 3; ++c) {
        int lo, hi;
        FindLevels(hist.get() + c * 65536, T, lo, hi);
        BuildToneLut(table.get() + c * 65536, ToneLutIdentity | shape, lo, hi);
    }
    uint16_t* d = Pixels16(destination);
    for (size_t i = 0; i < n; ++i, d += 4)
        for (int c = 0; c < 3; ++c)
            d[c] = table[c * 65536 + d[c]];
    return 1;
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
    const uint16_t* s = Pixels16(source);
    for (size_t i = 0; i < n; ++i, s += 4)
        ++hist[(3u * s[2] + 6u * s[1] + s[0]) / 10];
    // 64-bit: N x clip overflows 32 bits on large pictures.
    const int64_t T = static_cast<int64_t>((static_cast<uint64_t>(n) * clip) / 1000);
    int lo, hi;
    FindLevels(hist.get(), T, lo, hi);
    BuildToneLut(table.get(), ToneLutIdentity | shape, lo, hi);
    uint16_t* d = Pixels16(destination);
    for (size_t i = 0; i < n; ++i, d += 4) {
        d[0] = table[d[0]];
        d[1] = table[d[1]];
        d[2] = table[d[2]];
    }
    return 1;
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
