#include "algorithms/X2Enlarge.h"

#include "algorithms/AlgorithmRandom.h"
#include "algorithms/ImageSize.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/X3Enlarge.h"

#include <cstring>

int C2XEnlarge::Run()
{
    if (!m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    if (!AllocImage16(*m_pDestination, 2 * m_pSource->width, 2 * m_pSource->height))
        return 0;
    if (SplitIntoBands(3, 128) == 0)
        return 0;
    return RunBands();
}

int C2XEnlarge::ProcessBand(BandTask& task)
{
    const ImageBuffer16& S = *task.bandSource;
    ImageBuffer16 tripled{}, reduced{};
    SeedAlgorithmRand(m_grainSeed + static_cast<uint32_t>(task.first));
    CX3Enlarge x3;
    x3.SetParent(this, 0, 0);
    x3.m_params.grainAmount = 40;
    CImageSize area;
    area.SetParent(this, 0, 0);
    area.m_params.areaValue = 100;
    area.m_params.sharpenAmount = 50;
    bool ok = x3.Enlarge(S, tripled) && area.AreaAverage(tripled, reduced, 2 * S.width, 2 * S.height);
    if (ok) {
        const int skip = 2 * (task.first - task.firstWithMargin);
        ImageBuffer16& dst = *m_pDestination;
        for (int r = 2 * task.first; r < 2 * task.end; ++r)
            std::memcpy(Row16(dst, r), Row16(reduced, skip + r - 2 * task.first), static_cast<size_t>(dst.width) * 8);
    }
    FreeImageBuffer(tripled);
    FreeImageBuffer(reduced);
    // The rows went straight into the destination: the band buffer has nothing to store.
    if (task.bandDest && task.bandDest != m_pDestination)
        FreeImageBuffer(*task.bandDest);
    return ok ? 1 : 0;
}
