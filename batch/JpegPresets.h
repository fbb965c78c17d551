// The JPEG presets of "jpgsave.set": a UTF-16 name of 32 characters, then the options record the
// encoder takes. Stored presets never carry what belongs to one run: the adaptive-table byte,
// the blur, the output flags and path, and the picture slots (bytes 2088 on) are written as
// zeros, and a reader ignores whatever a file holds there.
#pragma once

#include "algorithms/JpegOptimize.h"
#include "batch/PresetList.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr size_t kJpegPresetRecordSize = 2432;
constexpr size_t kJpegPresetNameOffset = 0;
constexpr size_t kJpegPresetNameLength = 32; // characters, the terminator included
constexpr size_t kJpegPresetOptions = 64;
// The preset menu numbers its items 400 + index; more than 100 could not be chosen.
constexpr size_t kMaxJpegPresets = 100;

// The preset's name (at most 31 characters, up to its first zero).
std::u16string JpegPresetName(std::span<const uint8_t> record);
// The options of a record with every run-only field cleared and each value brought into its
// range; false when the record is shorter than a preset.
bool ReadJpegPresetOptions(std::span<const uint8_t> record, JpegSaveOptions& options);
// The options as a preset stores them (run-only fields zero).
JpegSaveOptions StoredJpegOptions(const JpegSaveOptions& options);
// A whole record: the name cut to 31 characters, the options as stored.
std::vector<uint8_t> MakeJpegPresetRecord(const std::u16string& name, const JpegSaveOptions& options);

// The first preset whose stored options equal these options as they would be stored (the
// picture slots compared as zeros on both sides); -1 when none.
int FindSameJpegPreset(const PresetList& list, const JpegSaveOptions& options);
// The first preset of that name: exactly, or without regard to letter case; -1 when none.
int FindJpegPresetByName(const PresetList& list, const std::u16string& name, bool ignoreCase);

enum class JpegPresetStore {
    Replaced, // a preset of that name (any letter case) took the options, keeping its own name
    Appended,
    Full,     // the list holds kMaxJpegPresets already: nothing changed
};
JpegPresetStore StoreJpegPreset(PresetList& list, const std::u16string& name, const JpegSaveOptions& options,
                                size_t* index = nullptr);

// The whole reader of a preset file's bytes as the dialogs use it: the records (PresetList's
// rules), then for each at most the first kMaxJpegPresets their names and options. false when
// the file is refused.
struct JpegPresetEntry {
    std::u16string name;
    JpegSaveOptions options;
};
bool ParseJpegPresetFile(std::span<const uint8_t> file, std::vector<JpegPresetEntry>& presets);
