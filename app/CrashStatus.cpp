#include "app/CrashStatus.h"

#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/HistoryStore.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace platform;

std::u16string DefaultCrashStatusPath()
{
    const String16 folder = PrivateTempFolder();
    return folder.empty() ? String16() : JoinPath(folder, kCrashStatusFileName);
}

std::u16string CrashStatusPathFor(const std::u16string& basePath, int n)
{
    if (n <= 1 || basePath.empty())
        return basePath;
    const size_t slash = basePath.find_last_of(u'/');
    const size_t dot = basePath.find_last_of(u'.');
    const size_t cut = dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash + 1)
                           ? dot
                           : basePath.size();
    return basePath.substr(0, cut) + u"-" + IntToText(n) + basePath.substr(cut);
}

std::vector<std::u16string> ListCrashStatusFiles(const std::u16string& basePath)
{
    std::vector<std::u16string> found;
    if (basePath.empty())
        return found;
    for (int n = 1; n <= kMaxCrashStatusFiles; ++n) {
        std::u16string path = CrashStatusPathFor(basePath, n);
        if (IsRegularFile(path))
            found.push_back(std::move(path));
    }
    return found;
}

bool CrashStatusDataFiles(const std::u16string& basePath, std::vector<std::u16string>& paths)
{
    paths.clear();
    for (const std::u16string& status : ListCrashStatusFiles(basePath)) {
        // Real lists are a few kilobytes a tab; a file past this is not read whole.
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(status, bytes, uint64_t(256) << 20))
            return false;
        if (bytes.size() < 2)
            continue;
        const size_t tabs = GetU16(bytes.data());
        size_t pos = 2;
        for (size_t t = 0; t < tabs && bytes.size() - pos >= kCrashStatusPathBytes + 2; ++t) {
            char16_t path[512] = {};
            GetText16(bytes.data() + pos, path, 512);
            const size_t length = TextLength(path, 512);
            if (length > 0 && length < 512)
                paths.emplace_back(path, length);
            const uint64_t steps = GetU16(bytes.data() + pos + kCrashStatusPathBytes);
            pos += kCrashStatusPathBytes + 2;
            const uint64_t skip = steps * HistoryStepRecord::kSize;
            if (skip > bytes.size() - pos)
                break;
            pos += size_t(skip);
        }
    }
    return true;
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

CrashStatusFile::CrashStatusFile(std::u16string basePath) : m_base(std::move(basePath)) {}

// One whole new version: written beside the target, locked, then renamed over it. The first
// write claims a name nobody has (the rename refuses an existing target, so two programs
// starting together never share one); later ones replace this program's own file.
bool CrashStatusFile::Put(const std::vector<uint8_t>& bytes)
{
    const bool claim = !m_file.IsOpen();
    for (int n = 1; n <= (claim ? kMaxCrashStatusFiles : 1); ++n) {
        const std::u16string path = claim ? CrashStatusPathFor(m_base, n) : m_path;
        if (claim && PathExists(path))
            continue; // another program's, running or crashed
        AtomicFileWriter writer;
        File fresh;
        if (!writer.Open(path) || !writer.Write(bytes.data(), bytes.size()) || !writer.LockNew() ||
            !writer.Commit(!claim, &fresh)) {
            m_error = writer.LastError() ? writer.LastError() : EIO;
            if (claim && m_error == EEXIST)
                continue; // taken in the meantime
            return false;
        }
        m_file = std::move(fresh); // the old version's lock goes only now
        m_path = path;
        m_error = 0;
        return true;
    }
    m_error = EEXIST;
    return false;
}

int CrashStatusFile::WriteCrashStatus(const std::vector<const HistoryStore*>& pages)
{
    if (pages.empty())
        return DeleteCrashStatus();
    std::vector<uint8_t> bytes;
    if (m_base.empty() || !BuildCrashStatus(pages, bytes)) {
        m_error = EINVAL;
        return 0;
    }
    if (!Put(bytes))
        return 0;
    DropTakenOver();
    return 1;
}

void CrashStatusFile::DropTakenOver()
{
    // Deleted while still locked, so nobody takes them for a crash's leftovers in between.
    for (CrashLeftover& left : m_takenOver) {
        DeleteFile(left.path);
        left.file.Close();
    }
    m_takenOver.clear();
}

int CrashStatusFile::DeleteCrashStatus()
{
    DropTakenOver();
    if (!m_file.IsOpen())
        return 1;
    const bool deleted = DeleteFile(m_path);
    m_file.Close();
    m_path.clear();
    return deleted ? 1 : 0;
}

void CrashStatusFile::TakeOver(std::vector<CrashLeftover> leftovers)
{
    for (CrashLeftover& left : leftovers) {
        if (!m_file.IsOpen() && left.file.IsOpen()) {
            m_file = std::move(left.file);
            m_path = left.path;
        } else {
            m_takenOver.push_back(std::move(left));
        }
    }
}

namespace {

// Reads and rebuilds one tab; false when the file ended inside it (its whole records are
// still taken).
bool RecoverTab(File& file, ICrashRecoveryHost& host, CrashRecoveryResult& result)
{
    uint8_t pathBytes[kCrashStatusPathBytes];
    uint8_t word[2];
    if (!file.ReadExact(pathBytes, sizeof pathBytes) || !file.ReadExact(word, 2))
        return false;
    const int64_t pos = file.Tell(), size = file.Size();
    if (pos < 0 || size < pos)
        return false;
    const uint64_t whole = uint64_t(size - pos) / HistoryStepRecord::kSize;
    const uint16_t announced = GetU16(word);
    const uint16_t steps = uint16_t(std::min<uint64_t>(announced, whole));
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
        return steps == announced;
    }
    RecoveredHistory history{std::u16string(dataPath, length), std::move(store.steps)};
    // The data file is the tab's from here on.
    store.Release();
    if (host.OpenRecovered(std::u16string(doc.path, TextLength(doc.path, 1024)), doc, history))
        ++result.tabsOpened;
    else
        ++result.tabsSkipped;
    return steps == announced;
}

} // namespace

CrashRecoveryResult RecoverFromCrash(CrashStatusFile& status, ICrashRecoveryHost& host)
{
    CrashRecoveryResult result;
    std::vector<CrashLeftover> leftovers;
    for (const std::u16string& path : ListCrashStatusFiles(status.BasePath())) {
        if (path == status.Path())
            continue;
        File file;
        // A running program holds its file locked: that is no crash. A file deleted while we
        // took the lock is no longer anyone's.
        if (!file.Open(path, FileMode::Read) || !file.TryLock(true) || !file.IsAt(path))
            continue;
        leftovers.push_back({path, std::move(file)});
    }
    if (leftovers.empty())
        return result;
    result.found = true;
    result.files = int(leftovers.size());
    result.asked = true;
    if (!host.AskCrashFound())
        return result; // kept: asked about again at the next start
    for (CrashLeftover& left : leftovers) {
        uint8_t word[2];
        if (!left.file.Seek(0) || !left.file.ReadExact(word, 2))
            continue;
        const uint16_t tabs = GetU16(word);
        // As many tabs as the file holds, however many it announces.
        for (uint16_t t = 0; t < tabs; ++t)
            if (!RecoverTab(left.file, host, result))
                break;
    }
    if (result.tabsOpened > 0) {
        status.TakeOver(std::move(leftovers));
        return result;
    }
    bool deleted = true;
    for (CrashLeftover& left : leftovers)
        deleted = DeleteFile(left.path) && deleted;
    result.fileDeleted = deleted;
    return result;
}
