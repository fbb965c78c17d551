// Reading and writing preset files.
#include "batch/PresetList.h"

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Path.h"

#include <cstring>

namespace {
// No preset list comes near this; a larger file is not a preset file.
constexpr uint64_t kMaxPresetFileBytes = 64u << 20;
}

PresetList::PresetList(const PresetFileKind& kind)
    : programFolder(platform::ProgramFolder()), m_fileName(kind.fileName), m_recordSize(kind.recordSize)
{
}

bool PresetList::BuildPath()
{
    if (!m_folderPath.empty())
        return true;
    const platform::String16 config = platform::UserConfigFolder();
    if (config.empty() || !platform::CreateFolders(config))
        return false;
    const platform::String16 folder = platform::JoinPath(config, kPresetFolderName);
    if (!platform::CreateFolder(folder))
        return false;
    m_folderPath = folder;
    m_filePath = platform::JoinPath(folder, m_fileName);
    return true;
}

bool PresetList::ParsePresetFile(std::span<const uint8_t> file, size_t recordSize, std::vector<uint8_t>& records)
{
    records.clear();
    if (file.empty())
        return true;
    // A one-byte file gives a size of just that byte.
    size_t r = file[0];
    if (file.size() >= 2)
        r |= size_t(file[1]) << 8;
    if (r > recordSize)
        return false;
    if (r == 0)
        return true;
    const size_t count = (file.size() - std::min<size_t>(file.size(), 2)) / r;
    records.assign(count * recordSize, 0);
    for (size_t i = 0; i < count; ++i)
        std::memcpy(records.data() + i * recordSize, file.data() + 2 + i * r, r);
    return true;
}

bool PresetList::Load()
{
    if (!BuildPath())
        return false;
    std::vector<uint8_t> file;
    if (!platform::ReadWholeFile(m_filePath, file, kMaxPresetFileBytes)) {
        // The program folder's file stands in until the user saves a list of their own; with
        // neither, the list stays as it is.
        if (programFolder.empty() ||
            !platform::ReadWholeFile(platform::JoinPath(programFolder, m_fileName), file, kMaxPresetFileBytes))
            return true;
    }
    std::vector<uint8_t> records;
    if (!ParsePresetFile(file, m_recordSize, records))
        return false;
    m_records = std::move(records);
    return true;
}

bool PresetList::Save()
{
    if (m_filePath.empty())
        return false;
    std::vector<uint8_t> out(2 + m_records.size());
    out[0] = uint8_t(m_recordSize);
    out[1] = uint8_t(m_recordSize >> 8);
    if (!m_records.empty())
        std::memcpy(out.data() + 2, m_records.data(), m_records.size());
    return platform::WriteWholeFileAtomic(m_filePath, out);
}

bool PresetList::Append(std::span<const uint8_t> record)
{
    if (record.size() > m_recordSize)
        return false;
    const size_t at = m_records.size();
    m_records.resize(at + m_recordSize, 0);
    if (!record.empty())
        std::memcpy(m_records.data() + at, record.data(), record.size());
    return true;
}

void PresetList::Remove(size_t i)
{
    if (i < Count())
        m_records.erase(m_records.begin() + i * m_recordSize, m_records.begin() + (i + 1) * m_recordSize);
}
