// Files: an open file with 64-bit sizes and offsets, file facts (times, attributes), and
// whole-file replacement through a temporary file. Every failure is a return value; the
// reason is in LastError() (an errno value).
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// File times are 100-nanosecond intervals since 1601-01-01 UTC, the unit the program's
// records store.
using FileTime = int64_t;
constexpr int64_t kFileTimeUnixEpoch = 116444736000000000; // 1970-01-01 as a FileTime
inline FileTime FileTimeFromUnix(int64_t seconds, int64_t nanoseconds = 0)
{
    return kFileTimeUnixEpoch + seconds * 10000000 + nanoseconds / 100;
}
// Whole seconds since 1970, rounded down.
inline int64_t FileTimeToUnixSeconds(FileTime t)
{
    int64_t d = t - kFileTimeUnixEpoch;
    return d >= 0 ? d / 10000000 : -((-d + 9999999) / 10000000);
}

enum class FileMode {
    Read,          // existing file, read only
    ReadWrite,     // existing file, read and write
    CreateAlways,  // write; created, or emptied when it exists
    CreateNew,     // write; fails when the file exists
    OpenAlways,    // read and write; created when missing, kept when it exists
};

enum class SeekFrom { Begin, Current, End };

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Only regular files: folders, pipes and devices are refused. New files get mode 0666 less
    // the umask.
    bool Open(StringView16 path, FileMode mode);
    bool IsOpen() const { return m_fd >= 0; }
    // false when closing reported an error (data may not have reached the disk).
    bool Close();

    // Bytes read (0 at the end), or -1.
    int64_t Read(void* buffer, size_t size);
    // true only when exactly size bytes were read.
    bool ReadExact(void* buffer, size_t size);
    // true only when all bytes were written.
    bool Write(const void* data, size_t size);
    bool Seek(int64_t offset, SeekFrom from = SeekFrom::Begin);
    // The current position, or -1.
    int64_t Tell();
    // The file's size, or -1.
    int64_t Size();
    bool SetSize(int64_t size);
    // Pushes written data to the disk.
    bool Sync();

    // An advisory lock on the whole file (flock), taken without waiting: false when another open
    // of the file, in this process or another, holds a conflicting lock. Closing the file or the
    // end of the process releases it.
    bool TryLock(bool exclusive = true);
    bool Unlock();
    // Whether path still names this open file (same device and inode). A lock taken on a file
    // that was deleted or replaced meanwhile guards nothing.
    bool IsAt(StringView16 path);

    int LastError() const { return m_error; }
    int Descriptor() const { return m_fd; }

private:
    friend class AtomicFileWriter; // adopts the descriptor of the file it created
    bool Fail(int error);
    int m_fd = -1;
    int m_error = 0;
};

// Whole files.
bool ReadWholeFile(StringView16 path, std::vector<uint8_t>& out, uint64_t maxBytes = UINT64_MAX);
// Replaces the file atomically (see AtomicFileWriter).
bool WriteWholeFileAtomic(StringView16 path, std::span<const uint8_t> data);

// Whether a save may replace the file at nativePath (UTF-8): a regular file that this process
// may write and that is not marked read-only (no write bit at all) — renaming over a protected
// photo would bypass its protection. A missing file passes unless mustExist.
bool MayReplaceFile(const std::string& nativePath, bool mustExist);

// Writes a new version of a file beside it, then puts it in place with one rename, so that
// readers see the old or the new file, never a half-written one. Until Commit succeeds the
// original is untouched; a writer that is dropped without Commit removes its temporary file.
// The new file keeps the permission bits of the file it replaces. A target marked read-only
// (see MayReplaceFile) is refused at Open with EACCES: the rename would bypass its protection.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Open(StringView16 path);
    // The same with a path already in the file system's form (UTF-8, '/' only), taken as is.
    bool OpenNative(const std::string& nativePath);
    // A failed write spoils the whole file: Commit will fail.
    bool Write(const void* data, size_t size);
    // An advisory lock (File::TryLock, exclusive) on the new file before it is put in place, for
    // a file whose lock tells other programs it is in use: it is never at the target unlocked.
    bool LockNew();
    // Flushes, syncs and renames over the target; false (and the original untouched) on any
    // failure. Without replaceExisting it fails when the target exists, and never replaces it.
    // With keepOpen the new file stays open there (with its lock) instead of being closed.
    bool Commit(bool replaceExisting = true, File* keepOpen = nullptr);
    // Drops the new version.
    void Abandon();
    int LastError() const { return m_error; }
    // The new file's descriptor while open, to set its times or permissions before Commit.
    int Descriptor() const { return m_file.Descriptor(); }
    // The temporary file's native path while open (for tests and diagnostics).
    const std::string& TempPath() const { return m_tempPath; }

private:
    void Unjournal();
    File m_file;
    std::string m_target;
    std::string m_tempPath;
    std::string m_journalEntry;
    bool m_failed = false;
    int m_error = 0;
};

// Saves killed in the middle leave their hidden temporary file (".<name>.<pid>-<n>.tmp") beside
// the target. With a journal folder set, every AtomicFileWriter notes its temporary file there
// (a symbolic link named "<pid>-<n>" to it) until it is committed or dropped, so that a later run
// can remove exactly the files that a killed one left, wherever it was saving. Empty: no journal
// (the default; tools and helpers keep none). Set once at start, before other threads write.
void SetSaveJournalFolder(StringView16 folder);
// Removes the temporary files noted in the journal by programs that are no longer running, when
// both the note and the file are older than runStart (seconds since 1970) and the file still has
// the exact name the note was made for; a file that does not match stays. The number removed.
size_t RemoveKilledSaveFiles(int64_t runStart);

} // namespace platform
