// Stored parameter records of the restoration filters (history steps, scheme files, JPEG
// presets) as they come from a file: the first byte picks the filter, the rest is laid over its
// record, which runs on a small fixed picture. Files are never written: the JPEG options are
// forced to estimate only.
#include "algorithms/AlgorithmThread.h"
#include "algorithms/Defog.h"
#include "algorithms/Descreen.h"
#include "algorithms/JpegOptimize.h"
#include "algorithms/NoiseReduction.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/PurpleFringe.h"
#include "algorithms/SkinClean.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

ImageBuffer16 Picture(int w, int h)
{
    ImageBuffer16 img{};
    AllocImage16(img, w, h);
    uint32_t s = 12345;
    for (size_t i = 0; i < PixelCount(img) * 4; ++i) {
        s = s * 1103515245u + 12345u;
        Pixels16(img)[i] = static_cast<uint16_t>(s >> 8);
    }
    return img;
}

template <class Algo, class Record>
void RunRecord(const uint8_t* data, size_t size, int w, int h)
{
    Record rec;
    std::memcpy(static_cast<void*>(&rec), data, std::min(size, sizeof rec));
    static ImageBuffer16 src = Picture(w, h);
    ImageBuffer16 dst{};
    Algo a;
    a.SetSource(&src);
    a.SetDestination(&dst);
    a.SetParams(&rec);
    a.Run();
    FreeImageBuffer(dst);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool tables = (BuildGammaTables(), true);
    (void)tables;
    if (size < 1)
        return 0;
    const uint8_t which = data[0] % 6;
    ++data, --size;
    switch (which) {
    case 0:
        RunRecord<CNoiseReduction, NoiseReductionParams>(data, size, 260, 14);
        break;
    case 1:
        RunRecord<CDefog, DefogParams>(data, size, 37, 23);
        break;
    case 2:
        RunRecord<CPurpleFringe, PurpleFringeParams>(data, size, 31, 19);
        break;
    case 3:
        RunRecord<CSkinClean, SkinCleanParams>(data, size, 29, 21);
        break;
    case 4:
        RunRecord<CDescreen, DescreenParams>(data, size, 21, 9);
        break;
    default: {
        JpegSaveOptions o;
        std::memcpy(static_cast<void*>(&o), data, std::min(size, sizeof o));
        o.outputFlags = static_cast<uint8_t>((o.outputFlags & ~JpegOutputWrite) | JpegOutputEstimate);
        o.limitValue = std::max(o.limitValue, 0) % 5000; // keeps a run short; any mode still applies
        ImageBuffer8 src{}, work{};
        AllocImage8(src, 23, 17);
        for (uint32_t i = 0; i < src.byteSize; ++i)
            src.data[i] = static_cast<uint8_t>(i * 37);
        CJpegOptimize opt;
        opt.SetPictures(&src, &work);
        opt.Run(o);
        FreeImageBuffer(src);
        FreeImageBuffer(work);
        break;
    }
    }
    return 0;
}
