// A ".set" preset file may be anything: every list's reader must end, keep whole records only,
// and what it read must write out and read back the same.
#include "batch/PresetList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    for (const PresetFileKind& kind : { kLockRatioPresets, kGpsNamePresets, kPaperSizePresets, kJpegSavePresets }) {
        std::vector<uint8_t> records;
        if (!PresetList::ParsePresetFile(std::span<const uint8_t>(data, size), kind.recordSize, records))
            continue;
        if (records.size() % kind.recordSize != 0 || records.size() > size * kind.recordSize)
            std::abort();
        std::vector<uint8_t> written{ uint8_t(kind.recordSize), uint8_t(kind.recordSize >> 8) };
        written.insert(written.end(), records.begin(), records.end());
        std::vector<uint8_t> again;
        if (!PresetList::ParsePresetFile(written, kind.recordSize, again) || again != records)
            std::abort();
    }
    return 0;
}
