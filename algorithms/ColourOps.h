// Small pixel helpers shared by the colour and tone algorithms: row views, table mapping and a
// parallel pixel loop whose result does not depend on how rows are shared out.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/PixelAccess.h"

#include <cstdint>

// A record that borrows rows [first, end) of an image; it owns nothing and is never freed.
inline ImageBuffer16 RowsView(const ImageBuffer16& img, int first, int end)
{
    ImageBuffer16 v{};
    v.data = Row16(img, first);
    v.width = img.width;
    v.height = end - first;
    v.pixelCount = static_cast<uint32_t>(static_cast<size_t>(img.width) * static_cast<size_t>(end - first));
    v.byteSize = v.pixelCount * 8;
    return v;
}

// B through tb, G through tg, R through tr; alpha kept.
inline void MapPixelsBgr(uint16_t* p, size_t count, const uint16_t* tb, const uint16_t* tg, const uint16_t* tr)
{
    for (size_t i = 0; i < count; ++i, p += 4) {
        p[0] = tb[p[0]];
        p[1] = tg[p[1]];
        p[2] = tr[p[2]];
    }
}

// Maps the whole image in place over the helper threads.
inline bool MapImageBgr(ImageBuffer16& img, const uint16_t* tb, const uint16_t* tg, const uint16_t* tr)
{
    return ParallelRows(img.height, img.width, [&](int first, int end) {
        MapPixelsBgr(Row16(img, first), static_cast<size_t>(img.width) * (end - first), tb, tg, tr);
        return true;
    });
}

// Destination becomes a copy of the source unless they are the same picture.
inline bool CopyUnlessSame(ImageBuffer16& destination, const ImageBuffer16& source)
{
    return &destination == &source || (destination.data && destination.data == source.data) ||
           CopyImage16(destination, source) != 0;
}

// Luminance of the program: (3 R + 6 G + B) / 10.
inline int Luma10(const uint16_t* p)
{
    return (3 * p[2] + 6 * p[1] + p[0]) / 10;
}

// The runtime-style generator (0..32767) as a local value: grain drawn row by row from a seed of
// its own, so rows can go to any thread without touching that thread's generator.
struct RowRand {
    uint32_t state;
    RowRand(uint32_t seed, int row) : state(seed ^ (static_cast<uint32_t>(row) * 0x9E3779B1u)) {}
    int Next()
    {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
    int Wide() { return (Next() << 15) | Next(); } // 0 .. 2^30 - 1
};

// An algorithm whose bands read the source rows and write the destination rows directly, with
// no band copies: for per-pixel work that needs no neighbours. The bands still go to the
// helpers, report progress and stop on cancel like any band run.
class CRowAlgorithm : public CAlgorithm {
public:
    int PrepareBand(BandTask&, ImageBuffer16&, ImageBuffer16&) override { return kBandDirect; }
    int ProcessBand(BandTask& task) override { return ProcessRows(task.first, task.end) ? 1 : 0; }

protected:
    // Rows [first, end) of the source into the same rows of the destination.
    virtual bool ProcessRows(int first, int end) = 0;
    // Sizes the destination like the source (its pixels are then written by the rows) and runs
    // the rows in bands.
    int RunRows()
    {
        if (!m_pSource || !m_pDestination || !m_pSource->data)
            return 0;
        if (m_pDestination != m_pSource && !AllocImage16(*m_pDestination, m_pSource->width, m_pSource->height))
            return 0;
        const int ok = SplitIntoBands(0, 0) ? RunBands() : 0;
        // Skipped bands left their rows unwritten: a cancelled run leaves the source's picture
        // (and reports whatever the band run reports).
        if (BandsSkipped() && m_pDestination != m_pSource)
            CopyImage16(*m_pDestination, *m_pSource);
        return ok;
    }
};
