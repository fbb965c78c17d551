// "jpgsave.set" may be anything: its reader must end, offer at most the menu's 100 presets, hand
// the encoder values in their ranges with no picture references or run fields, and a preset
// written back from what it read must read back the same.
#include "batch/JpegPresets.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    std::vector<JpegPresetEntry> presets;
    if (!ParseJpegPresetFile(std::span<const uint8_t>(data, size), presets))
        return 0;
    if (presets.size() > kMaxJpegPresets)
        std::abort();
    PresetList list(kJpegSavePresets);
    for (const JpegPresetEntry& p : presets) {
        const JpegSaveOptions& o = p.options;
        if (p.name.size() > 31 || o.version != 2 || o.quality < 1 || o.quality > 100 || o.chroma > 2 ||
            o.reserved9 > 2 || o.deriveTable || o.smoothing || o.limitMode > 4 || o.limitValue < 0 ||
            o.targetPolicy > 2 || o.targetKB < 0 || o.outputFlags || o.path[0] || o.sourceSlot || o.workSlot)
            std::abort();
        const std::vector<uint8_t> record = MakeJpegPresetRecord(p.name, o);
        JpegSaveOptions again;
        if (!ReadJpegPresetOptions(record, again) || std::memcmp(&again, &o, sizeof o) != 0 ||
            JpegPresetName(record) != p.name)
            std::abort();
        if (list.Count() < kMaxJpegPresets && !list.Append(record))
            std::abort();
        if (FindSameJpegPreset(list, o) < 0)
            std::abort();
    }
    return 0;
}
