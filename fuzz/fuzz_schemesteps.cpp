// Step records come back from history steps and scheme files, where anything may have happened
// to them. The first byte picks the step id (an assigned one, or with 0xFF the next two bytes as
// any id), the rest is the stored block. A block that reads must write back to bytes that read
// and write again the same, and its replay must never crash; a replay that succeeds leaves a
// picture (of the input's size where the step keeps it).
#include "algorithms/SchemeSteps.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

ImageBuffer16 Source()
{
    ImageBuffer16 img{};
    AllocImage16(img, 12, 9);
    for (int i = 0; i < 12 * 9 * 4; ++i)
        img.data[i] = static_cast<uint16_t>(i * 2654435761u >> 8);
    return img;
}

int CopyAsNested(void*, const platform::String16&, ImageBuffer16& input, ImageBuffer16& output, CAlgorithm*, int, int)
{
    return CopyImage16(output, input);
}

bool KeepsSize(uint16_t id)
{
    switch (id) {
    case SchemeStepRotateRight:
    case SchemeStepRotateLeft:
    case SchemeStepFreeRotate:
    case SchemeStepBarrelDistort:
    case SchemeStepImageSize: return false;
    default: return true;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const bool tables = (BuildGammaTables(), true);
    (void)tables;
    static const std::vector<uint16_t> ids = [] {
        std::vector<uint16_t> v;
        for (const SchemeStepRow& row : SchemeStepTable())
            if (v.empty() || v.back() != row.id)
                v.push_back(row.id);
        return v;
    }();
    uint16_t id;
    size_t at = 1;
    if (data[0] == 0xFF) {
        if (size < 3)
            return 0;
        id = static_cast<uint16_t>(data[1] | data[2] << 8);
        at = 3;
    } else {
        id = ids[data[0] % ids.size()];
    }
    // A copy of exactly the block, so that a read past its end shows.
    const std::vector<uint8_t> block(data + at, data + size);

    SchemeStepRecord record;
    if (ReadSchemeStep(id, block.data(), block.size(), record) != StepReadResult::Ok)
        return 0;
    std::vector<uint8_t> written, again;
    if (!WriteSchemeStep(id, record, written))
        std::abort();
    SchemeStepRecord reread;
    if (ReadSchemeStep(id, written.data(), written.size(), reread) != StepReadResult::Ok ||
        !WriteSchemeStep(id, reread, again) || again != written)
        std::abort();

    ImageBuffer16 src = Source(), dst{};
    SchemeReplay how;
    how.nestedScheme = CopyAsNested;
    bool replay = true;
    if (const auto* size = std::get_if<ImageSizeParams>(&record)) {
        // Explore the rules, not the allocator: large targets are checked but not resampled.
        int w = 0, h = 0;
        replay = ImageSizeReplayTarget(*size, src.width, src.height, w, h) && int64_t(w) * h <= 4096;
    }
    if (replay && ReplaySchemeStep(id, record, src, dst, how)) {
        if (!dst.data || (KeepsSize(id) && (dst.width != src.width || dst.height != src.height)))
            std::abort();
    }
    FreeImageBuffer(src);
    FreeImageBuffer(dst);
    return 0;
}
