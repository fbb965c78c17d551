#include "platform/FileSystem.h"

#include "platform/FileInternal.h"
#include "platform/Folders.h"
#include "platform/Path.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

void FillInfo(const struct stat& st, std::string_view name, FileInfo& out)
{
    out.name = FromNativePath(name);
    out.isDirectory = S_ISDIR(st.st_mode);
    out.isHidden = !name.empty() && name[0] == '.';
    out.isReadOnly = (st.st_mode & S_IWUSR) == 0;
    out.size = out.isDirectory ? 0 : static_cast<uint64_t>(st.st_size);
    out.lastWrite = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

// stat, and lstat for a dangling link.
bool StatPath(const std::string& native, struct stat& st)
{
    return stat(native.c_str(), &st) == 0 || lstat(native.c_str(), &st) == 0;
}

std::string NativeName(const std::string& native)
{
    std::string trimmed = native;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

} // namespace

bool GetFileInfo(StringView16 path, FileInfo& out)
{
    std::string native = ToNativePath(path);
    struct stat st {};
    if (native.empty() || !StatPath(native, st))
        return false;
    FillInfo(st, NativeName(native), out);
    return true;
}

bool PathExists(StringView16 path)
{
    struct stat st {};
    std::string native = ToNativePath(path);
    return !native.empty() && lstat(native.c_str(), &st) == 0;
}

bool IsDirectory(StringView16 path)
{
    struct stat st {};
    std::string native = ToNativePath(path);
    return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(StringView16 path)
{
    struct stat st {};
    std::string native = ToNativePath(path);
    return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SetLastWriteTime(StringView16 path, FileTime time)
{
    int64_t rel = time - kFileTimeUnixEpoch;
    int64_t sec = rel / 10000000;
    int64_t rest = rel % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --sec;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(sec);
    times[1].tv_nsec = static_cast<long>(rest * 100);
    return utimensat(AT_FDCWD, ToNativePath(path).c_str(), times, 0) == 0;
}

bool SetReadOnly(StringView16 path, bool readOnly)
{
    std::string native = ToNativePath(path);
    struct stat st {};
    if (stat(native.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    return chmod(native.c_str(), mode) == 0;
}

bool MatchesPattern(StringView16 name, StringView16 pattern)
{
    if (pattern == u"*" || pattern == u"*.*")
        return true;
    // Greedy match with one backtrack point: the last '*' seen.
    size_t n = 0, p = 0;
    size_t starP = StringView16::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || AsciiToLower(pattern[p]) == AsciiToLower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP != StringView16::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

FolderLister::~FolderLister()
{
    Close();
}

bool FolderLister::Open(StringView16 folder, StringView16 pattern)
{
    Close();
    std::string native = ToNativePath(folder);
    if (native.empty())
        return false;
    DIR* dir = opendir(native.c_str());
    if (!dir)
        return false;
    m_dir = dir;
    m_dirFd = dirfd(dir);
    m_pattern = String16(pattern.empty() ? StringView16(u"*") : pattern);
    return true;
}

bool FolderLister::Next(FileInfo& out)
{
    if (!m_dir)
        return false;
    for (;;) {
        errno = 0;
        dirent* e = readdir(static_cast<DIR*>(m_dir));
        if (!e)
            return false;
        std::string_view name(e->d_name);
        if (name == "." || name == "..")
            continue;
        String16 name16 = FromNativePath(name);
        if (!MatchesPattern(name16, m_pattern))
            continue;
        struct stat st {};
        if (fstatat(m_dirFd, e->d_name, &st, 0) != 0 && fstatat(m_dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // vanished since the listing
        FillInfo(st, name, out);
        return true;
    }
}

void FolderLister::Close()
{
    if (m_dir)
        closedir(static_cast<DIR*>(m_dir));
    m_dir = nullptr;
    m_dirFd = -1;
}

bool ListFolder(StringView16 folder, StringView16 pattern, std::vector<FileInfo>& out)
{
    FolderLister lister;
    if (!lister.Open(folder, pattern))
        return false;
    std::vector<FileInfo> entries;
    FileInfo info;
    while (lister.Next(info))
        entries.push_back(info);
    std::sort(entries.begin(), entries.end(), [](const FileInfo& a, const FileInfo& b) { return a.name < b.name; });
    out = std::move(entries);
    return true;
}

bool CreateFolder(StringView16 path)
{
    std::string native = ToNativePath(path);
    if (native.empty())
        return false;
    if (mkdir(native.c_str(), 0777) == 0)
        return true;
    struct stat st {};
    return errno == EEXIST && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolders(StringView16 path)
{
    std::string native = ToNativePath(path);
    if (native.empty())
        return false;
    for (size_t pos = 1; pos <= native.size(); ++pos) {
        if (pos < native.size() && native[pos] != '/')
            continue;
        std::string part = native.substr(0, pos);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    return IsDirectory(path);
}

bool DeleteFile(StringView16 path)
{
    std::string native = ToNativePath(path);
    struct stat st {};
    if (native.empty() || lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return unlink(native.c_str()) == 0;
}

bool RemoveFolder(StringView16 path)
{
    std::string native = ToNativePath(path);
    return !native.empty() && rmdir(native.c_str()) == 0;
}

namespace {

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*)
{
    int r = (type == FTW_DP) ? rmdir(path) : unlink(path);
    return r == 0 ? 0 : -1;
}

bool DeleteTreeNative(const std::string& native)
{
    struct stat st {};
    if (native.empty() || lstat(native.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        return unlink(native.c_str()) == 0;
    return nftw(native.c_str(), RemoveEntry, 32, FTW_DEPTH | FTW_PHYS) == 0;
}

bool CopyFileNative(const std::string& from, const std::string& to, bool failIfExists)
{
    File src;
    if (!src.Open(FromNativePath(from), FileMode::Read))
        return false;
    struct stat st {};
    if (fstat(src.Descriptor(), &st) != 0)
        return false;
    if (failIfExists) {
        struct stat dst {};
        if (lstat(to.c_str(), &dst) == 0) {
            errno = EEXIST;
            return false;
        }
    }
    AtomicFileWriter w;
    if (!w.Open(FromNativePath(to)))
        return false;
    std::vector<uint8_t> buf(1 << 20);
    for (;;) {
        int64_t n = src.Read(buf.data(), buf.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!w.Write(buf.data(), static_cast<size_t>(n)))
            return false;
    }
    fchmod(w.Descriptor(), st.st_mode & 07777);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(w.Descriptor(), times);
    return w.Commit(!failIfExists);
}

// Folders are copied entry by entry into a destination that must not exist yet.
bool CopyTreeNative(const std::string& from, const std::string& to)
{
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        std::string target(4096, '\0');
        ssize_t n = readlink(from.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size())
            return false;
        target.resize(static_cast<size_t>(n));
        return symlink(target.c_str(), to.c_str()) == 0;
    }
    if (!S_ISDIR(st.st_mode))
        return CopyFileNative(from, to, true);
    if (mkdir(to.c_str(), st.st_mode & 07777) != 0)
        return false;
    DIR* dir = opendir(from.c_str());
    if (!dir)
        return false;
    bool ok = true;
    while (dirent* e = readdir(dir)) {
        std::string_view name(e->d_name);
        if (name == "." || name == "..")
            continue;
        if (!CopyTreeNative(from + "/" + e->d_name, to + "/" + e->d_name)) {
            ok = false;
            break;
        }
    }
    closedir(dir);
    return ok;
}

bool MoveNative(const std::string& from, const std::string& to, bool failIfExists)
{
    if (RenameInto(from, to, !failIfExists))
        return true;
    if (errno != EXDEV)
        return false;
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0) {
        if (failIfExists || S_ISDIR(st.st_mode)) {
            errno = EEXIST;
            return false;
        }
    }
    // Across file systems: copy whole, then remove the source; a failed copy leaves the source.
    struct stat src {};
    if (lstat(from.c_str(), &src) != 0)
        return false;
    bool copied = S_ISREG(src.st_mode) ? CopyFileNative(from, to, failIfExists) : CopyTreeNative(from, to);
    if (!copied) {
        int e = errno;
        if (!S_ISREG(src.st_mode))
            DeleteTreeNative(to);
        errno = e;
        return false;
    }
    return DeleteTreeNative(from);
}

} // namespace

bool DeleteTree(StringView16 path)
{
    return DeleteTreeNative(ToNativePath(path));
}

bool CopyFile(StringView16 from, StringView16 to, bool failIfExists)
{
    std::string src = ToNativePath(from);
    std::string dst = ToNativePath(to);
    if (src.empty() || dst.empty())
        return false;
    return CopyFileNative(src, dst, failIfExists);
}

bool MoveFile(StringView16 from, StringView16 to, bool failIfExists)
{
    std::string src = ToNativePath(from);
    std::string dst = ToNativePath(to);
    if (src.empty() || dst.empty())
        return false;
    return MoveNative(src, dst, failIfExists);
}

// ---- Trash ----

String16 HomeTrashFolder()
{
    String16 data = UserDataFolder();
    return data.empty() ? String16() : JoinPath(data, u"Trash");
}

namespace {

std::string PercentEncode(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

// A trash folder with files/ and info/, private to the user.
bool PrepareTrash(const std::string& trash)
{
    for (const std::string& d : {trash, trash + "/files", trash + "/info"}) {
        if (mkdir(d.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        struct stat st {};
        if (lstat(d.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
            return false;
    }
    return true;
}

// Moves (or, with allowCopy, copies then deletes) source into trash; infoPath is what the
// .trashinfo records (absolute for the home trash, relative to the top folder otherwise).
bool TrashInto(const std::string& trash, const std::string& source, const std::string& infoPath, bool allowCopy)
{
    if (!PrepareTrash(trash))
        return false;
    std::string base = NativeName(source);
    char date[32];
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    strftime(date, sizeof(date), "%Y-%m-%dT%H:%M:%S", &local);
    std::string info = "[Trash Info]\nPath=" + PercentEncode(infoPath) + "\nDeletionDate=" + date + "\n";

    for (int n = 1; n < 10000; ++n) {
        std::string name = n == 1 ? base : base + "." + std::to_string(n);
        std::string infoFile = trash + "/info/" + name + ".trashinfo";
        // The info file is made first and exclusively: it reserves the name.
        int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
        written = (::close(fd) == 0) && written;
        if (!written) {
            unlink(infoFile.c_str());
            return false;
        }
        std::string target = trash + "/files/" + name;
        if (RenameInto(source, target, false))
            return true;
        int e = errno;
        if (e == EEXIST) {
            unlink(infoFile.c_str()); // a stray file without info; try the next name
            continue;
        }
        if (e == EXDEV && allowCopy && MoveNative(source, target, true))
            return true;
        unlink(infoFile.c_str());
        errno = e;
        return false;
    }
    return false;
}

// The top folder of the file system that holds path: the last ancestor on the same device.
std::string MountTop(const std::string& absolute, dev_t device)
{
    std::string top = absolute;
    for (;;) {
        size_t slash = top.rfind('/');
        if (slash == std::string::npos || top == "/")
            return "/";
        std::string parent = slash == 0 ? "/" : top.substr(0, slash);
        struct stat st {};
        if (stat(parent.c_str(), &st) != 0 || st.st_dev != device)
            return top;
        if (parent == "/")
            return "/";
        top = parent;
    }
}

} // namespace

bool MoveToTrash(StringView16 path)
{
    std::string native = ToNativePath(path);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    struct stat st {};
    if (native.empty() || lstat(native.c_str(), &st) != 0)
        return false;
    // An absolute path with the folders resolved; the last part is kept (a link is trashed
    // as the link).
    size_t slash = native.rfind('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : native.substr(0, slash));
    std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    char* realFolder = realpath(folder.c_str(), nullptr);
    if (!realFolder)
        return false;
    std::string absolute = std::string(realFolder) + (std::string(realFolder) == "/" ? "" : "/") + name;
    free(realFolder);
    if (name == "." || name == "..")
        return false;

    std::string homeTrash = ToNativePath(HomeTrashFolder());
    if (homeTrash.empty())
        return false;
    CreateFolders(FromNativePath(homeTrash));
    struct stat trashSt {};
    bool sameDevice = stat(homeTrash.c_str(), &trashSt) == 0 && trashSt.st_dev == st.st_dev;
    if (sameDevice)
        return TrashInto(homeTrash, absolute, absolute, false);

    std::string top = MountTop(absolute, st.st_dev);
    std::string topTrash = (top == "/" ? std::string() : top) + "/.Trash-" + std::to_string(getuid());
    std::string relative = absolute.substr(top == "/" ? 1 : top.size() + 1);
    if (TrashInto(topTrash, absolute, relative, false))
        return true;
    return TrashInto(homeTrash, absolute, absolute, true);
}

} // namespace platform
