#include "app/CrashStatus.h"

#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/HistoryStore.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Path.h"

#include <cstring>

using namespace platform;

std::u16string DefaultCrashStatusPath()
{
    const String16 folder = PrivateTempFolder();
    return folder.empty() ? String16() : JoinPath(folder, kCrashStatusFileName);
}

bool BuildCrashStatus(const std::vector<const HistoryStore*>& pages, std::vector<uint8_t>& out)
{
    out.clear();
    if (pages.size() > 0xFFFF)
        return false;
    uint8_t word[2];
    PutU16(word, uint16_t(pages.size()));
    out.insert(out.end(), word, word + 2);
    for (const HistoryStore* page : pages) {
        if (!page || page->steps.size() > 0xFFFF)
            return false;
        uint8_t path[kCrashStatusPathBytes];
        if (TextLength(page->path, 512) >= 512)
            return false;
        PutText16(path, page->path, 512);
        out.insert(out.end(), path, path + sizeof path);
        // Steps undone past the current one are left out: recovery replays to the last step
        // written, and the user must get back what was on screen, not what they undid.
        size_t count = page->steps.size();
        if (page->current >= 0 && size_t(page->current) + 1 < count)
            count = size_t(page->current) + 1;
        PutU16(word, uint16_t(count));
        out.insert(out.end(), word, word + 2);
        for (size_t i = 0; i < count; ++i) {
            const HistoryStep& step = page->steps[i];
            uint8_t record[HistoryStepRecord::kSize];
            if (!WriteHistoryStepRecord(step, record))
                return false;
            out.insert(out.end(), record, record + sizeof record);
        }
    }
    return true;
}

CrashStatusFile::CrashStatusFile(std::u16string path) : m_path(std::move(path)) {}

bool CrashStatusFile::Acquire()
{
    if (m_file.IsOpen())
        return true;
    if (m_path.empty())
        return false;
    // A file that another running program holds is its own; a crash leftover is taken over.
    // The file may be deleted between our open and our lock: then lock the new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        File file;
        if (!file.Open(m_path, FileMode::OpenAlways))
            return false;
        if (!file.TryLock(true))
            return false;
        if (file.IsAt(m_path)) {
            m_file = std::move(file);
            return true;
        }
    }
    return false;
}

int CrashStatusFile::WriteCrashStatus(const std::vector<const HistoryStore*>& pages)
{
    if (pages.empty())
        return DeleteCrashStatus();
    std::vector<uint8_t> bytes;
    if (!BuildCrashStatus(pages, bytes) || !Acquire())
        return 0;
    // The new content over the old, then the old tail cut off: a crash in between leaves a file
    // whose count still describes what precedes the tail.
    return m_file.Seek(0) && m_file.Write(bytes.data(), bytes.size()) && m_file.SetSize(int64_t(bytes.size()))
               ? 1
               : 0;
}

int CrashStatusFile::DeleteCrashStatus()
{
    if (!m_file.IsOpen()) {
        if (m_path.empty() || !PathExists(m_path))
            return 1;
        // Not ours unless we can take it: a running program's file stays.
        if (!Acquire())
            return 0;
    }
    // Deleted while still locked, so nobody takes the old file for a crash leftover.
    const bool deleted = DeleteFile(m_path);
    m_file.Close();
    return deleted ? 1 : 0;
}

namespace {

// Reads and rebuilds one tab; false when the file ended inside it.
bool RecoverTab(File& file, ICrashRecoveryHost& host, CrashRecoveryResult& result)
{
    uint8_t pathBytes[kCrashStatusPathBytes];
    uint8_t word[2];
    if (!file.ReadExact(pathBytes, sizeof pathBytes) || !file.ReadExact(word, 2))
        return false;
    const uint16_t steps = GetU16(word);
    // The whole tab must be there before anything is read into a store.
    const int64_t pos = file.Tell(), size = file.Size();
    if (pos < 0 || size < pos || uint64_t(size - pos) < uint64_t(steps) * HistoryStepRecord::kSize)
        return false;
    HistoryStore store;
    store.steps.reserve(steps);
    for (uint16_t i = 0; i < steps; ++i) {
        uint8_t record[HistoryStepRecord::kSize];
        if (!file.ReadExact(record, sizeof record))
            return false;
        HistoryStep step;
        ReadHistoryStepRecord(record, step);
        store.steps.push_back(std::move(step));
    }
    char16_t dataPath[512] = {};
    GetText16(pathBytes, dataPath, 512);
    const size_t length = TextLength(dataPath, 512);
    CZDDoc doc;
    // A tab without steps or whose history cannot be replayed is skipped; the next one follows.
    if (steps == 0 || length == 0 || length >= 512 ||
        !store.Reopen(&doc, std::u16string(dataPath, length)) || !store.GoToStep(steps - 1, false)) {
        ++result.tabsSkipped;
        return true;
    }
    if (host.OpenRecovered(std::u16string(doc.path, TextLength(doc.path, 1024)), doc))
        ++result.tabsOpened;
    else
        ++result.tabsSkipped;
    store.Clear();
    return true;
}

} // namespace

CrashRecoveryResult RecoverFromCrash(const std::u16string& path, ICrashRecoveryHost& host)
{
    CrashRecoveryResult result;
    File file;
    if (path.empty() || !file.Open(path, FileMode::Read))
        return result;
    // A running program holds its file locked: that is no crash. A file deleted while we took
    // the lock is no longer anyone's.
    if (!file.TryLock(true) || !file.IsAt(path))
        return result;
    result.found = true;
    result.asked = true;
    if (!host.AskCrashFound())
        return result; // kept: asked about again at the next start
    uint8_t word[2];
    if (file.ReadExact(word, 2)) {
        const uint16_t tabs = GetU16(word);
        // As many tabs as the file holds, however many it announces.
        for (uint16_t t = 0; t < tabs; ++t)
            if (!RecoverTab(file, host, result))
                break;
    }
    result.fileDeleted = DeleteFile(path);
    file.Close();
    return result;
}
