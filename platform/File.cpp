#include "platform/File.h"

#include "platform/FileInternal.h"
#include "platform/Path.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

File::~File()
{
    Close();
}

File::File(File&& other) noexcept : m_fd(other.m_fd), m_error(other.m_error)
{
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_error = other.m_error;
        other.m_fd = -1;
    }
    return *this;
}

bool File::Fail(int error)
{
    m_error = error;
    return false;
}

bool File::Open(StringView16 path, FileMode mode)
{
    Close();
    m_error = 0;
    int flags = O_CLOEXEC;
    switch (mode) {
    case FileMode::Read: flags |= O_RDONLY; break;
    case FileMode::ReadWrite: flags |= O_RDWR; break;
    case FileMode::CreateAlways: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case FileMode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    case FileMode::OpenAlways: flags |= O_RDWR | O_CREAT; break;
    }
    if (path.empty())
        return Fail(ENOENT);
    std::string native = ToNativePath(path);
    int fd;
    // Non-blocking only for the open itself: a pipe must not hang the caller here.
    do {
        fd = ::open(native.c_str(), flags | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(errno);
    // Only regular files: a folder, a pipe or a device under a photo's name is refused.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int e = S_ISDIR(st.st_mode) ? EISDIR : (st.st_mode != 0 ? EINVAL : errno);
        ::close(fd);
        return Fail(e);
    }
    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0)
        fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    m_fd = fd;
    return true;
}

bool File::Close()
{
    if (m_fd < 0)
        return true;
    int r = ::close(m_fd);
    m_fd = -1;
    // After close the descriptor is gone even when it reports EINTR; do not retry.
    if (r != 0 && errno != EINTR)
        return Fail(errno);
    return true;
}

int64_t File::Read(void* buffer, size_t size)
{
    if (m_fd < 0) {
        Fail(EBADF);
        return -1;
    }
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        Fail(errno);
        return -1;
    }
    return n;
}

bool File::ReadExact(void* buffer, size_t size)
{
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        int64_t n = Read(p + done, size - done);
        if (n < 0)
            return false;
        if (n == 0)
            return Fail(0); // the file ended early
        done += static_cast<size_t>(n);
    }
    return true;
}

bool File::Write(const void* data, size_t size)
{
    if (m_fd < 0)
        return Fail(EBADF);
    const auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(m_fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(errno);
        }
        if (n == 0)
            return Fail(EIO);
        done += static_cast<size_t>(n);
    }
    return true;
}

bool File::Seek(int64_t offset, SeekFrom from)
{
    if (m_fd < 0)
        return Fail(EBADF);
    int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
    if (lseek(m_fd, static_cast<off_t>(offset), whence) < 0)
        return Fail(errno);
    return true;
}

int64_t File::Tell()
{
    if (m_fd < 0) {
        Fail(EBADF);
        return -1;
    }
    off_t pos = lseek(m_fd, 0, SEEK_CUR);
    if (pos < 0)
        Fail(errno);
    return pos;
}

int64_t File::Size()
{
    if (m_fd < 0) {
        Fail(EBADF);
        return -1;
    }
    struct stat st {};
    if (fstat(m_fd, &st) != 0) {
        Fail(errno);
        return -1;
    }
    return st.st_size;
}

bool File::SetSize(int64_t size)
{
    if (m_fd < 0)
        return Fail(EBADF);
    if (size < 0)
        return Fail(EINVAL);
    if (ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        return Fail(errno);
    return true;
}

bool File::Sync()
{
    if (m_fd < 0)
        return Fail(EBADF);
    if (fsync(m_fd) != 0)
        return Fail(errno);
    return true;
}

bool File::TryLock(bool exclusive)
{
    if (m_fd < 0)
        return Fail(EBADF);
    int r;
    do {
        r = flock(m_fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    return r == 0 || Fail(errno);
}

bool File::Unlock()
{
    if (m_fd < 0)
        return Fail(EBADF);
    return flock(m_fd, LOCK_UN) == 0 || Fail(errno);
}

bool File::IsAt(StringView16 path)
{
    if (m_fd < 0)
        return Fail(EBADF);
    struct stat mine {}, named {};
    if (fstat(m_fd, &mine) != 0)
        return Fail(errno);
    if (stat(ToNativePath(path).c_str(), &named) != 0)
        return Fail(errno);
    return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

bool ReadWholeFile(StringView16 path, std::vector<uint8_t>& out, uint64_t maxBytes)
{
    File f;
    if (!f.Open(path, FileMode::Read))
        return false;
    int64_t size = f.Size();
    if (size < 0 || static_cast<uint64_t>(size) > maxBytes)
        return false;
    std::vector<uint8_t> data;
    // The size is a hint only: the file may change while it is read.
    uint8_t chunk[65536];
    for (;;) {
        int64_t n = f.Read(chunk, sizeof(chunk));
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (data.size() + static_cast<uint64_t>(n) > maxBytes)
            return false;
        data.insert(data.end(), chunk, chunk + n);
    }
    out = std::move(data);
    return true;
}

bool WriteWholeFileAtomic(StringView16 path, std::span<const uint8_t> data)
{
    AtomicFileWriter w;
    return w.Open(path) && w.Write(data.data(), data.size()) && w.Commit();
}

bool MayReplaceFile(const std::string& nativePath, bool mustExist)
{
    struct stat st {};
    if (nativePath.empty())
        return false;
    if (::stat(nativePath.c_str(), &st) != 0)
        return errno == ENOENT && !mustExist;
    return S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 && ::access(nativePath.c_str(), W_OK) == 0;
}

namespace {

std::atomic<uint32_t> g_tempCounter{0};

std::mutex g_journalLock;
std::string g_journalFolder; // native, absolute; empty: no journal

// A new, exclusively created file beside target: ".<name>.<pid>-<n>.tmp"; serial gets n.
int CreateSibling(const std::string& target, std::string& tempPath, uint32_t& serial)
{
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.size() > 200)
        name.resize(200); // stay inside the file system's name limit
    for (int attempt = 0; attempt < 100; ++attempt) {
        serial = g_tempCounter.fetch_add(1);
        tempPath = folder + "." + name + "." + std::to_string(getpid()) + "-" + std::to_string(serial) + ".tmp";
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string AbsoluteNative(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char here[4096];
    if (!getcwd(here, sizeof here))
        return {};
    return std::string(here) + "/" + path;
}

// The journal entry "<pid>-<n>" pointing at a writer's temporary file; empty without a journal.
std::string JournalAdd(const std::string& tempPath, uint32_t serial)
{
    std::string folder;
    {
        std::lock_guard guard(g_journalLock);
        folder = g_journalFolder;
    }
    if (folder.empty())
        return {};
    const std::string target = AbsoluteNative(tempPath);
    const std::string entry = folder + "/" + std::to_string(getpid()) + "-" + std::to_string(serial);
    // A save goes on without its note: the note only helps a later run clean up after a kill.
    if (target.empty() || symlink(target.c_str(), entry.c_str()) != 0)
        return {};
    return entry;
}

// Digits only, at least one, no sign; false on overflow.
bool ParseNumber(const std::string& text, uint64_t& out)
{
    if (text.empty() || text.size() > 19)
        return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + uint64_t(c - '0');
    }
    return true;
}

bool ProcessRunning(pid_t pid)
{
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

} // namespace

void SetSaveJournalFolder(StringView16 folder)
{
    std::lock_guard guard(g_journalLock);
    g_journalFolder = folder.empty() ? std::string() : AbsoluteNative(ToNativePath(folder));
    while (g_journalFolder.size() > 1 && g_journalFolder.back() == '/')
        g_journalFolder.pop_back();
}

size_t RemoveKilledSaveFiles(int64_t runStart)
{
    std::string folder;
    {
        std::lock_guard guard(g_journalLock);
        folder = g_journalFolder;
    }
    if (folder.empty())
        return 0;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir))
        names.emplace_back(e->d_name);
    closedir(dir);

    size_t removed = 0;
    for (const std::string& name : names) {
        // Only notes of the form "<pid>-<n>".
        const size_t dash = name.find('-');
        uint64_t pid = 0, serial = 0;
        if (dash == std::string::npos || !ParseNumber(name.substr(0, dash), pid) ||
            !ParseNumber(name.substr(dash + 1), serial) || pid > uint64_t(INT32_MAX) || serial > UINT32_MAX)
            continue;
        const std::string entry = folder + "/" + name;
        struct stat note {};
        if (lstat(entry.c_str(), &note) != 0 || !S_ISLNK(note.st_mode) || note.st_mtim.tv_sec >= runStart)
            continue;
        // A running program's save is in flight (our own number belongs to an earlier process).
        if (pid_t(pid) != getpid() && ProcessRunning(pid_t(pid)))
            continue;
        std::string target(4096, '\0');
        const ssize_t n = readlink(entry.c_str(), target.data(), target.size() - 1);
        if (n <= 0)
            continue;
        target.resize(size_t(n));
        // The note must name a temporary file of that writer exactly: ".<name>.<pid>-<n>.tmp".
        const size_t slash = target.rfind('/');
        const std::string file = slash == std::string::npos ? target : target.substr(slash + 1);
        const std::string tail = "." + std::to_string(pid) + "-" + std::to_string(serial) + ".tmp";
        if (target[0] != '/' || file.size() <= tail.size() + 1 || file[0] != '.' ||
            file.compare(file.size() - tail.size(), tail.size(), tail) != 0)
            continue;
        struct stat st {};
        if (lstat(target.c_str(), &st) == 0) {
            // Anything else at that name now (a folder, a link, a newer file) is not ours to remove.
            if (!S_ISREG(st.st_mode) || st.st_mtim.tv_sec >= runStart || unlink(target.c_str()) != 0)
                continue;
            ++removed;
        } else if (errno != ENOENT) {
            continue;
        }
        unlink(entry.c_str());
    }
    return removed;
}

bool RenameInto(const std::string& from, const std::string& to, bool replaceExisting)
{
    if (replaceExisting)
        return rename(from.c_str(), to.c_str()) == 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the no-replace rename: a hard link fails on an existing name too.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    // Neither is supported (FAT): check, then rename; a race here can only lose to a writer
    // that appears in the same instant.
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

AtomicFileWriter::~AtomicFileWriter()
{
    Abandon();
}

bool AtomicFileWriter::Open(StringView16 path)
{
    return OpenNative(ToNativePath(path));
}

bool AtomicFileWriter::OpenNative(const std::string& nativePath)
{
    Abandon();
    m_failed = false;
    m_error = 0;
    m_target = nativePath;
    if (m_target.empty() || m_target.back() == '/') {
        m_error = EINVAL;
        return false;
    }
    // Replacing a symbolic link replaces the file it points to, not the link.
    struct stat lst {};
    if (lstat(m_target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = realpath(m_target.c_str(), nullptr)) {
            m_target = real;
            free(real);
        }
    }
    // A protected file stays as it is (see MayReplaceFile): as root, or with a writable folder,
    // the rename would go through where the user marked the file read-only.
    struct stat st {};
    const bool exists = stat(m_target.c_str(), &st) == 0;
    if (exists && S_ISREG(st.st_mode) && ((st.st_mode & 0222) == 0 || ::access(m_target.c_str(), W_OK) != 0)) {
        m_error = EACCES;
        return false;
    }
    uint32_t serial = 0;
    int fd = CreateSibling(m_target, m_tempPath, serial);
    if (fd < 0) {
        m_error = errno;
        m_tempPath.clear();
        return false;
    }
    m_journalEntry = JournalAdd(m_tempPath, serial);
    // Keep the permissions of the file being replaced.
    if (exists && S_ISREG(st.st_mode))
        fchmod(fd, st.st_mode & 07777);
    m_file.Close();
    m_file.m_fd = fd;
    return true;
}

bool AtomicFileWriter::Write(const void* data, size_t size)
{
    if (m_failed || !m_file.IsOpen()) {
        m_failed = true;
        return false;
    }
    if (!m_file.Write(data, size)) {
        m_failed = true;
        m_error = m_file.LastError();
        return false;
    }
    return true;
}

bool AtomicFileWriter::LockNew()
{
    if (m_tempPath.empty() || !m_file.IsOpen())
        return false;
    if (!m_file.TryLock(true)) {
        m_error = m_file.LastError();
        return false;
    }
    return true;
}

bool AtomicFileWriter::Commit(bool replaceExisting, File* keepOpen)
{
    if (m_tempPath.empty() || !m_file.IsOpen() || m_failed) {
        Abandon();
        return false;
    }
    bool ok = m_file.Sync();
    if (!ok)
        m_error = m_file.LastError();
    if (!keepOpen && !m_file.Close() && ok) {
        ok = false;
        m_error = m_file.LastError();
    }
    if (ok && !RenameInto(m_tempPath, m_target, replaceExisting)) {
        ok = false;
        m_error = errno;
    }
    if (!ok) {
        Abandon();
        return false;
    }
    m_tempPath.clear();
    Unjournal();
    if (keepOpen)
        *keepOpen = std::move(m_file);
    // Make the rename itself durable.
    size_t slash = m_target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : m_target.substr(0, slash));
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void AtomicFileWriter::Abandon()
{
    m_file.Close();
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    Unjournal();
}

void AtomicFileWriter::Unjournal()
{
    if (!m_journalEntry.empty()) {
        unlink(m_journalEntry.c_str());
        m_journalEntry.clear();
    }
}

} // namespace platform
