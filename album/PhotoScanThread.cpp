// The scan thread's walk over the scan folders.
#include "album/PhotoScanThread.h"

#include "imaging/ImageCodec/ImageType.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <cstring>
#include <filesystem>
#include <system_error>

CPhotoScanThread thePhotoScanThread;

namespace {
// Deeper trees than this are not real photo folders but a mistake (or a mount loop).
constexpr int kMaxScanDepth = 64;

bool IsLinkedFolder(const platform::String16& path)
{
    std::error_code ec;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(platform::ToNativePath(path), ec));
}
} // namespace

CPhotoScanThread::~CPhotoScanThread()
{
    Stop();
}

bool CPhotoScanThread::Start()
{
    if (IsRunning())
        return false;
    m_stop.store(false, std::memory_order_release);
    return Thread::Start();
}

bool CPhotoScanThread::Stop(uint32_t timeoutMs)
{
    m_stop.store(true, std::memory_order_release);
    return Join(timeoutMs);
}

int CPhotoScanThread::BuildRecord(platform::StringView16 path, PhotoRecordBuffer& out)
{
    if (!BuildPhotoRecord(path, out))
        return 0;
    builtCount.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

int CPhotoScanThread::Run()
{
    platform::SetCurrentThreadPriority(platform::ThreadPriority::Idle);
    if (!m_database.LoadPhotoDatabase(dataFolder)) {
        m_database.FreePhotoDatabase();
        state = kNotRun;
        if (target)
            target->Post(MSG_SCAN_STATE, kScanStateNoDatabase, 0);
        return 1;
    }
    ScanFolders();
    // A scan cut short leaves the state at "scanning", so nobody saves a half-seen database.
    if (!StopRequested()) {
        state = kDone;
        if (target)
            target->Post(MSG_SCAN_STATE, kScanStateDone, 0);
    }
    return 1;
}

void CPhotoScanThread::ScanFolders()
{
    state = kScanning;
    builtCount = 0;
    const std::vector<platform::String16> folders = scanFolders ? scanFolders() : std::vector<platform::String16>{};
    if (folders.empty())
        return;
    const size_t usedBefore = m_database.Used();
    m_database.ClearSeenFlags();
    for (const platform::String16& folder : folders) {
        m_depth = 0;
        ScanFolder(platform::WithTrailingSeparator(folder));
        if (StopRequested())
            return;
    }
    m_database.CompactPhotoDatabase();
    // Nothing built, nothing dropped: the run is the loaded file's byte for byte (a saved run
    // holds only seen records), so an unchanged rescan costs no write. Open counts raised
    // meanwhile are saved by the main window at shutdown, as always.
    if (builtCount.load() == 0 && usedBefore > 0 && m_database.Used() == usedBefore)
        return;
    m_database.SavePhotoDatabase();
}

void CPhotoScanThread::ScanFolder(const platform::String16& folder)
{
    if (StopRequested() || m_depth > kMaxScanDepth)
        return;
    platform::FolderLister lister;
    if (!lister.Open(folder, u"*.*"))
        return;
    platform::FileInfo entry;
    while (!StopRequested() && lister.Next(entry)) {
        platform::String16 full = folder + entry.name;
        // Paths too long for a record are skipped, never cut; a folder needs room for its
        // separator as well.
        if (full.size() + (entry.isDirectory ? 1 : 0) > kPhotoTextMaxChars)
            continue;
        if (entry.isDirectory) {
            if (entry.name.empty() || entry.name[0] == u'.')
                continue;
            // Linked folders are not followed: they may loop back or leave the chosen tree.
            if (IsLinkedFolder(full))
                continue;
            ++m_depth;
            ScanFolder(full + u'/');
            --m_depth;
            continue;
        }
        if (ImageTypeFromExtension(full.c_str()) == kImageTypeOther)
            continue;
        ScanFile(full, entry.lastWrite);
    }
}

void CPhotoScanThread::ScanFile(const platform::String16& fullPath, platform::FileTime lastWrite)
{
    const uint32_t low = uint32_t(uint64_t(lastWrite));
    {
        platform::ScopedLock hold(m_database.lock);
        if (PhotoRecord* old = m_database.FindPhotoRecord(fullPath); old && old->LastWriteLow() == low) {
            old->SetSeen(true);
            return;
        }
    }
    PhotoRecordBuffer fresh;
    if (!BuildRecord(fullPath, fresh))
        return;
    PhotoRecord& record = fresh.Record();
    record.SetLastWriteLow(low);
    record.SetSeen(true);
    // Looked up again: the file was read without the lock, and the buffer may have moved.
    platform::ScopedLock hold(m_database.lock);
    PhotoRecord* old = m_database.FindPhotoRecord(fullPath);
    // The photo was edited, not replaced: its open counter carries over.
    if (old)
        record.SetOpenCount(old->OpenCount());
    if (old && old->TagBytes() == record.TagBytes() && old->PathBytes() == record.PathBytes()) {
        std::memcpy(old, &record, record.Size());
    } else {
        m_database.AppendPhotoRecord(record);
    }
}
