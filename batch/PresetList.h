// Preset files (".set"): a u16 record size, then fixed-size records to the end of the file.
// Each dialog's PresetList reads its file from the per-user preset folder, or from the program
// folder when the user has none yet, and writes only the per-user file.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <span>
#include <vector>

// The lists and their record sizes.
struct PresetFileKind {
    const char16_t* fileName;
    uint16_t recordSize;
};
constexpr PresetFileKind kLockRatioPresets{ u"lockratio.set", 72 };
constexpr PresetFileKind kGpsNamePresets{ u"gpsname.set", 344 };
constexpr PresetFileKind kPaperSizePresets{ u"papersize.set", 80 };
constexpr PresetFileKind kJpegSavePresets{ u"jpgsave.set", 2432 };

// The per-user preset folder's name inside the user's configuration folder.
constexpr const char16_t* kPresetFolderName = u"Velmora Softwares";

class PresetList {
public:
    explicit PresetList(const PresetFileKind& kind);

    // The program folder read when the per-user file is missing; the running program's folder
    // unless set.
    platform::String16 programFolder;

    // Builds (and creates) the per-user folder once. false without a configuration folder.
    bool BuildPath();
    // false (and the list as it was) when the path cannot be built, the file's record size is
    // larger than the list's, or the file cannot be read. No file anywhere is no error.
    bool Load();
    // Replaces the per-user file in one rename. false when it cannot be written.
    bool Save();

    size_t RecordSize() const { return m_recordSize; }
    size_t Count() const { return m_records.size() / m_recordSize; }
    std::span<uint8_t> Record(size_t i) { return { m_records.data() + i * m_recordSize, m_recordSize }; }
    std::span<const uint8_t> Record(size_t i) const { return { m_records.data() + i * m_recordSize, m_recordSize }; }
    // Appends a record of the list's size (shorter input is zero-filled, longer refused).
    bool Append(std::span<const uint8_t> record);
    void Remove(size_t i);
    void Clear() { m_records.clear(); }

    const platform::String16& FolderPath() const { return m_folderPath; }
    const platform::String16& FilePath() const { return m_filePath; }

    // The parse itself: false when the size field is larger than recordSize; otherwise the
    // whole records, each zero-extended to recordSize. A size field of 0 gives no records.
    static bool ParsePresetFile(std::span<const uint8_t> file, size_t recordSize, std::vector<uint8_t>& records);

private:
    const char16_t* m_fileName;
    size_t m_recordSize;
    std::vector<uint8_t> m_records;
    platform::String16 m_folderPath;
    platform::String16 m_filePath;
};
