#include "algorithms/HdrMerge.h"

#include "algorithms/AutoLevel.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct Tables {
    int dark, bright;
    double k;
};

// Stored weights are limited to the scale of 256 and, together, to 256, so the middle
// exposure's share never goes negative.
Tables TablesOf(const HdrMergeParams& p)
{
    Tables t;
    t.dark = std::clamp(p.weightDark, 0, 256);
    t.bright = std::clamp(p.weightBright, 0, 256 - t.dark);
    t.k = std::clamp(p.strength, -1000000, 1000000) / 20000.0;
    return t;
}

int T1(const Tables& t, int i)
{
    return std::clamp(t.dark + static_cast<int>((i - 32768) * t.k), 0, 255);
}

int T2(const Tables& t, int i)
{
    return std::clamp(static_cast<int>((i - 32768) * t.k) - t.bright + 256, 0, 255);
}

} // namespace

std::array<int, 3> HdrWeights(const HdrMergeParams& params, int m)
{
    const Tables t = TablesOf(params);
    const int t1 = T1(t, m), t2 = T2(t, m);
    return {t1, std::max(0, t2 - t1), 256 - t2};
}

void CHDRMerge::BuildTables()
{
    const Tables t = TablesOf(m_params);
    m_t1.resize(65536);
    m_t2.resize(65536);
    for (int i = 0; i < 65536; ++i) {
        m_t1[i] = static_cast<uint8_t>(T1(t, i));
        m_t2[i] = static_cast<uint8_t>(T2(t, i));
    }
}

bool CHDRMerge::BuildWeightIndex(int width, int height)
{
    const ImageBuffer8* wp = m_params.weightPicture;
    if (!wp || !wp->data || wp->width <= 0 || wp->height <= 0)
        return false;
    Plane8 grey{}, blurred{};
    if (!AllocPlane8(grey, wp->width, wp->height))
        return false;
    for (size_t i = 0, n = size_t(wp->width) * wp->height; i < n; ++i) {
        const uint8_t* p = wp->data + i * 4;
        grey.data[i] = static_cast<uint8_t>((6 * p[1] + 3 * p[2] + p[0]) / 10);
    }
    bool ok = true;
    const Plane8* use = &grey;
    if (m_params.radius > 0) {
        CGaussBlur blur;
        ok = blur.BlurPlane8(std::min(m_params.radius, 1000), grey, blurred) != 0;
        use = &blurred;
    }
    if (ok) {
        // The weight picture may be smaller than the reference: positions are held inside it.
        try {
            m_weightIndex.resize(size_t(width) * height);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (ok) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* g = use->data + size_t(std::min(y, wp->height - 1)) * wp->width;
            uint16_t* out = m_weightIndex.data() + size_t(y) * width;
            for (int x = 0; x < width; ++x)
                out[x] = SrgbDecodeTable[g[std::min(x, wp->width - 1)]];
        }
        m_indexWidth = width;
        m_indexHeight = height;
    }
    FreePlane8(grey);
    FreePlane8(blurred);
    return ok;
}

int CHDRMerge::Merge(const ImageBuffer16& source, ImageBuffer16& destination)
{
    BuildGammaTables();
    BuildTables();
    if (!source.data || source.width <= 0 || source.height <= 0)
        return 0;
    if (&source != &destination && !CopyImage16(destination, source))
        return 0;
    const int w = source.width, h = source.height;
    if (!BuildWeightIndex(w, h))
        return 0;
    const bool three = m_params.count == 3;
    const int slots[3] = {0, 1, 2};
    auto rows = [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint16_t* d = Row16(destination, y);
            const uint16_t* m = m_weightIndex.data() + size_t(y) * w;
            for (int x = 0; x < w; ++x, d += 4) {
                const int t1 = m_t1[m[x]], t2 = m_t2[m[x]];
                const int weight[3] = {t1, std::max(0, t2 - t1), 256 - t2};
                uint64_t acc[3] = {0, 0, 0}, sum = 0;
                for (int s : slots) {
                    if (s == 1 && !three)
                        continue;
                    const ImageBuffer8* pic = m_params.slots[s];
                    uint8_t px[4];
                    if (!pic || !SampleAligned(*pic, x, y, px, m_params.transforms[s]))
                        continue;
                    const int B = SrgbDecodeTable[px[0]], G = SrgbDecodeTable[px[1]], R = SrgbDecodeTable[px[2]];
                    const int R2 = std::min(65535, static_cast<int>(0.715146 * R + 0.284856 * G));
                    const int B2 = std::min(65535, static_cast<int>(0.958839 * B + 0.041166 * G));
                    acc[0] += uint64_t(weight[s]) * B2;
                    acc[1] += uint64_t(weight[s]) * G;
                    acc[2] += uint64_t(weight[s]) * R2;
                    sum += weight[s];
                }
                if (sum)
                    for (int c = 0; c < 3; ++c)
                        d[c] = static_cast<uint16_t>(acc[c] / sum);
            }
        }
        return true;
    };
    // Blocks of 200 rows, so the progress of every 200th row goes out in order.
    for (int y0 = 0; y0 < h; y0 += 200) {
        SetProgress(static_cast<int>(int64_t(100) * y0 / h));
        const int y1 = std::min(h, y0 + 200);
        if (!ParallelRows(y1 - y0, int64_t(w) * 12, [&](int a, int b) { return rows(y0 + a, y0 + b); }))
            return 0;
    }
    return 1;
}

int CHDRMerge::Run()
{
    if (Params())
        std::memcpy(static_cast<void*>(&m_params), Params(), sizeof m_params);
    if (!Source() || !Destination() || !Merge(*Source(), *Destination()))
        return 0;
    // A failed stretch keeps the merged picture; the merge itself succeeded.
    CAutoLevel context;
    ImageBuffer16 stretched{};
    if (AutoContrast(*Destination(), stretched, 1) && stretched.data)
        CopyImage16(*Destination(), stretched);
    FreeImageBuffer(stretched);
    return 1;
}
