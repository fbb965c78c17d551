#include "batch/JpegPresets.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstring>

static_assert(kJpegPresetOptions + sizeof(JpegSaveOptions) == kJpegPresetRecordSize);
static_assert(kJpegSavePresets.recordSize == kJpegPresetRecordSize);

namespace {

constexpr size_t kSlotsOffset = offsetof(JpegSaveOptions, sourceSlot);

void ZeroSlots(JpegSaveOptions& o)
{
    std::memset(reinterpret_cast<uint8_t*>(&o) + kSlotsOffset, 0, sizeof o - kSlotsOffset);
}

} // namespace

std::u16string JpegPresetName(std::span<const uint8_t> record)
{
    std::u16string name;
    const size_t chars = std::min(kJpegPresetNameLength - 1, record.size() / 2);
    for (size_t i = 0; i < chars; ++i) {
        const char16_t c = char16_t(record[2 * i] | (record[2 * i + 1] << 8));
        if (c == 0)
            break;
        name.push_back(c);
    }
    return name;
}

JpegSaveOptions StoredJpegOptions(const JpegSaveOptions& options)
{
    JpegSaveOptions o = options;
    o.deriveTable = 0;
    o.smoothing = 0;
    o.outputFlags = 0;
    std::memset(o.path, 0, sizeof o.path);
    ZeroSlots(o);
    return o;
}

bool ReadJpegPresetOptions(std::span<const uint8_t> record, JpegSaveOptions& options)
{
    if (record.size() < kJpegPresetRecordSize)
        return false;
    JpegSaveOptions o;
    std::memcpy(&o, record.data() + kJpegPresetOptions, sizeof o);
    o = StoredJpegOptions(o);
    // A file may hold anything: every value the encoder reads is brought into its range.
    o.version = 2;
    o.quality = std::clamp(o.quality, 1, 100);
    if (o.chroma > 2)
        o.chroma = 2;
    if (o.reserved9 > 2)
        o.reserved9 = 2;
    o.deblock = o.deblock ? 1 : 0;
    if (o.limitMode > 4)
        o.limitMode = 0;
    o.limitValue = std::max(o.limitValue, 0);
    if (o.targetPolicy > 2)
        o.targetPolicy = 0;
    o.targetKB = std::max(o.targetKB, 0);
    options = o;
    return true;
}

std::vector<uint8_t> MakeJpegPresetRecord(const std::u16string& name, const JpegSaveOptions& options)
{
    std::vector<uint8_t> record(kJpegPresetRecordSize, 0);
    const size_t chars = std::min(name.size(), kJpegPresetNameLength - 1);
    for (size_t i = 0; i < chars; ++i) {
        record[2 * i] = uint8_t(name[i]);
        record[2 * i + 1] = uint8_t(name[i] >> 8);
    }
    const JpegSaveOptions stored = StoredJpegOptions(options);
    std::memcpy(record.data() + kJpegPresetOptions, &stored, sizeof stored);
    return record;
}

int FindSameJpegPreset(const PresetList& list, const JpegSaveOptions& options)
{
    if (list.RecordSize() < kJpegPresetRecordSize)
        return -1;
    const JpegSaveOptions wanted = StoredJpegOptions(options);
    for (size_t i = 0; i < list.Count(); ++i) {
        JpegSaveOptions stored;
        std::memcpy(&stored, list.Record(i).data() + kJpegPresetOptions, sizeof stored);
        ZeroSlots(stored);
        if (std::memcmp(&stored, &wanted, sizeof stored) == 0)
            return int(i);
    }
    return -1;
}

int FindJpegPresetByName(const PresetList& list, const std::u16string& name, bool ignoreCase)
{
    for (size_t i = 0; i < list.Count(); ++i) {
        const std::u16string n = JpegPresetName(list.Record(i));
        if (ignoreCase ? platform::EqualsNoCase(n, name) : n == name)
            return int(i);
    }
    return -1;
}

JpegPresetStore StoreJpegPreset(PresetList& list, const std::u16string& name, const JpegSaveOptions& options,
                                size_t* index)
{
    const int same = FindJpegPresetByName(list, name, true);
    if (same >= 0) {
        const std::u16string own = JpegPresetName(list.Record(size_t(same)));
        const std::vector<uint8_t> record = MakeJpegPresetRecord(own, options);
        std::copy(record.begin(), record.end(), list.Record(size_t(same)).begin());
        if (index)
            *index = size_t(same);
        return JpegPresetStore::Replaced;
    }
    if (list.Count() >= kMaxJpegPresets || !list.Append(MakeJpegPresetRecord(name, options)))
        return JpegPresetStore::Full;
    if (index)
        *index = list.Count() - 1;
    return JpegPresetStore::Appended;
}

bool ParseJpegPresetFile(std::span<const uint8_t> file, std::vector<JpegPresetEntry>& presets)
{
    presets.clear();
    std::vector<uint8_t> records;
    if (!PresetList::ParsePresetFile(file, kJpegPresetRecordSize, records))
        return false;
    const size_t count = std::min(records.size() / kJpegPresetRecordSize, kMaxJpegPresets);
    for (size_t i = 0; i < count; ++i) {
        const std::span<const uint8_t> record(records.data() + i * kJpegPresetRecordSize, kJpegPresetRecordSize);
        JpegPresetEntry entry;
        entry.name = JpegPresetName(record);
        if (!ReadJpegPresetOptions(record, entry.options))
            return false;
        presets.push_back(std::move(entry));
    }
    return true;
}
