// Parameter records of the colour, tone and effect algorithms come back from history steps and
// scheme files, where anything may have happened to them. The first byte picks the algorithm,
// the rest is its record: a run must never crash, and a run that succeeds leaves a picture of
// the source's size. The packed sharpen step is unpacked from the same bytes.
#include "algorithms/AddSomething.h"
#include "algorithms/ColorMixer.h"
#include "algorithms/EnhanceDynamic.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/GradientFilter.h"
#include "algorithms/SketchSim.h"
#include "algorithms/Starlight.h"
#include "algorithms/Threshold.h"
#include "algorithms/ToneMaker.h"
#include "algorithms/Visual.h"
#include "algorithms/WhiteBalance.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

ImageBuffer16 Source()
{
    ImageBuffer16 img{};
    AllocImage16(img, 12, 9);
    for (int i = 0; i < 12 * 9 * 4; ++i)
        img.data[i] = static_cast<uint16_t>(i * 2654435761u >> 8);
    return img;
}

template <class Alg>
int RunRecord(Alg& alg, const void* record, ImageBuffer16& src, ImageBuffer16& dst)
{
    alg.SetSource(&src);
    alg.SetDestination(&dst);
    alg.SetParams(record);
    return alg.Run();
}

template <class Alg>
int Run(const void* record, ImageBuffer16& src, ImageBuffer16& dst)
{
    Alg alg;
    return RunRecord(alg, record, src, dst);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const bool tables = (BuildGammaTables(), true);
    (void)tables;
    // Records are read by their size word: keep room behind the bytes for any size it names.
    alignas(8) uint8_t record[70000] = {};
    const size_t length = std::min(size - 1, sizeof record);
    std::memcpy(record, data + 1, length);
    ImageBuffer16 src = Source(), dst{};
    int ok = 0;
    ToneTable curve;
    SharpenParams sharpen;
    switch (data[0] % 16) {
    case 0: ok = Run<CColorMixer>(record, src, dst); break;
    case 1: ok = Run<CColorAdjust>(record, src, dst); break;
    case 2: ok = Run<CToneMaker>(record, src, dst); break;
    case 3: ok = Run<CColorContrast>(record, src, dst); break;
    case 4: ok = Run<CThreshold>(record, src, dst); break;
    case 5:
        if (UnpackSharpenStep(record, length, sharpen, curve)) {
            CSharpen s;
            s.SetCurve(curve.data());
            ok = RunRecord(s, &sharpen, src, dst);
        }
        break;
    case 6: ok = Run<CAFilmAdjust>(record, src, dst); break;
    case 7: ok = Run<CEnhanceDynamic>(record, src, dst); break;
    case 8: ok = Run<CVisual>(record, src, dst); break;
    case 9: ok = Run<CGradientFilter>(record, src, dst); break;
    case 10: ok = Run<CAddSomething>(record, src, dst); break;
    case 11: ok = Run<CSketchSim>(record, src, dst); break;
    case 12: ok = Run<CWhiteBalance>(record, src, dst); break;
    case 13: ok = Run<CSpotMetering>(record, src, dst); break;
    case 14: {
        Plane8 shape{};
        AllocPlane8(shape, 128, 128);
        std::memset(shape.data, 0, 128 * 128);
        std::memset(shape.data + 64 * 128, 255, 128);
        CStarlight s;
        s.SetRayShape(&shape);
        ok = RunRecord(s, record, src, dst);
        FreePlane8(shape);
        break;
    }
    default: {
        ToneMakerParams p;
        CToneMaker t;
        std::memcpy(&p, record, sizeof p);
        ok = t.BuildTables(p);
        break;
    }
    }
    if (ok && data[0] % 16 != 15 && (dst.width != src.width || dst.height != src.height))
        std::abort();
    FreeImageBuffer(src);
    FreeImageBuffer(dst);
    return 0;
}
