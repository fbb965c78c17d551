#include "platform/Folders.h"

#include "platform/Path.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

namespace {

// An environment value when it is an absolute path (the XDG rules ignore relative ones).
std::string AbsoluteEnv(const char* name)
{
    const char* v = getenv(name);
    if (!v || v[0] != '/')
        return std::string();
    std::string s(v);
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string NativeHome()
{
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty())
        return home;
    struct passwd pw {};
    struct passwd* result = nullptr;
    std::string buf(16384, '\0');
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return std::string();
}

std::string XdgFolder(const char* variable, const char* fallbackUnderHome)
{
    std::string v = AbsoluteEnv(variable);
    if (!v.empty())
        return v;
    std::string home = NativeHome();
    return home.empty() ? std::string() : home + "/" + fallbackUnderHome;
}

} // namespace

String16 HomeFolder()
{
    return FromNativePath(NativeHome());
}

String16 UserDataFolder()
{
    return FromNativePath(XdgFolder("XDG_DATA_HOME", ".local/share"));
}

String16 UserConfigFolder()
{
    return FromNativePath(XdgFolder("XDG_CONFIG_HOME", ".config"));
}

String16 PicturesFolder()
{
    std::string home = NativeHome();
    std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
    if (!config.empty()) {
        std::ifstream in(config + "/user-dirs.dirs");
        std::string line;
        while (std::getline(in, line)) {
            // XDG_PICTURES_DIR="$HOME/Pictures" or an absolute path in quotes.
            const std::string key = "XDG_PICTURES_DIR=\"";
            size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
                continue;
            size_t end = line.rfind('"');
            if (end <= start + key.size())
                continue;
            std::string value = line.substr(start + key.size(), end - start - key.size());
            if (value.rfind("$HOME", 0) == 0)
                value = home + value.substr(5);
            while (value.size() > 1 && value.back() == '/')
                value.pop_back();
            // "$HOME/" means the folder is switched off; an empty or relative value is not valid.
            if (!value.empty() && value[0] == '/' && value != home)
                return FromNativePath(value);
        }
    }
    return home.empty() ? String16() : FromNativePath(home + "/Pictures");
}

String16 ProgramPath()
{
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size())
        return String16();
    buf.resize(static_cast<size_t>(n));
    return FromNativePath(buf);
}

String16 ProgramFolderOf(StringView16 programPath)
{
    if (programPath.empty())
        return String16();
    String16 folder = ParentFolder(programPath);
    // Installed: PREFIX/bin/zendra finds its data in PREFIX/share/zendra, whether that is there
    // or not (a missing folder is then reported by the start, not looked for elsewhere).
    if (FileNamePart(folder) == u"bin")
        return JoinPath(ParentFolder(folder), u"share/zendra");
    return folder;
}

String16 ProgramFolder()
{
    return ProgramFolderOf(ProgramPath());
}

namespace {

// Creates the folder 0700 or accepts an existing one that is a real folder, ours, and closed
// to everyone else.
bool EnsurePrivateFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

std::atomic<uint64_t> g_tempSerial{0};

} // namespace

String16 PrivateTempFolder()
{
    // An explicit TMPDIR wins (tests and users who want it elsewhere). Otherwise the cache
    // folder: it is on disk (history data and paged-out pictures are large) and, unlike /tmp
    // and the runtime folder, it survives a reboot, so the crash-status file and the paged-out
    // pictures it points to are still there after a power loss. The runtime folder serves when
    // the first place is unusable.
    // A TMPDIR that cannot be used (missing, read-only, not ours) falls back to the cache folder.
    std::string tmp = AbsoluteEnv("TMPDIR");
    if (!tmp.empty()) {
        std::string path = tmp + "/zendra-" + std::to_string(getuid());
        if (EnsurePrivateFolder(path))
            return FromNativePath(path);
    }
    std::string cache = XdgFolder("XDG_CACHE_HOME", ".cache");
    if (!cache.empty()) {
        mkdir(cache.c_str(), 0700); // a new account may have no cache folder yet
        if (EnsurePrivateFolder(cache + "/zendra") && EnsurePrivateFolder(cache + "/zendra/tmp"))
            return FromNativePath(cache + "/zendra/tmp");
    }
    std::string runtime = AbsoluteEnv("XDG_RUNTIME_DIR");
    if (!runtime.empty() && EnsurePrivateFolder(runtime + "/zendra"))
        return FromNativePath(runtime + "/zendra");
    return String16();
}

String16 CreateUniqueTempFile(StringView16 prefix, StringView16 suffix)
{
    String16 folder = PrivateTempFolder();
    if (folder.empty())
        return String16();
    std::string base = ToNativePath(folder) + "/" + ToNativePath(prefix) + std::to_string(getpid()) + "-";
    std::string tail = ToNativePath(suffix);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string path = base + std::to_string(g_tempSerial.fetch_add(1)) + tail;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return FromNativePath(path);
        }
        if (errno != EEXIST)
            return String16();
    }
    return String16();
}

bool GetDiskSpace(StringView16 path, DiskSpace& out)
{
    struct statvfs vs {};
    std::string native = ToNativePath(path);
    if (native.empty() || statvfs(native.c_str(), &vs) != 0)
        return false;
    uint64_t unit = vs.f_frsize ? vs.f_frsize : vs.f_bsize;
    out.freeToUser = static_cast<uint64_t>(vs.f_bavail) * unit;
    out.total = static_cast<uint64_t>(vs.f_blocks) * unit;
    out.totalFree = static_cast<uint64_t>(vs.f_bfree) * unit;
    return true;
}

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

bool IsNetworkFileSystem(std::string_view fs)
{
    return fs == "nfs" || fs == "nfs4" || fs == "cifs" || fs == "smb3" || fs == "smbfs" || fs == "fuse.sshfs" ||
           fs == "9p" || fs == "fuse.gvfsd-fuse";
}

bool UnderRemovableRoot(std::string_view mountPoint)
{
    for (std::string_view root : {"/media/", "/run/media/", "/mnt/removable/"})
        if (mountPoint.substr(0, root.size()) == root)
            return true;
    return false;
}

} // namespace

std::vector<Volume> ParseMountInfo(std::string_view text)
{
    std::vector<Volume> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;

        std::vector<std::string_view> f;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && line[i] == ' ')
                ++i;
            size_t j = line.find(' ', i);
            if (j == std::string_view::npos)
                j = line.size();
            if (j > i)
                f.push_back(line.substr(i, j - i));
            i = j;
        }
        // id parent major:minor root mount-point options [optional...] - type source super-options
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        if (f.size() < 6 || dash + 2 >= f.size())
            continue;
        Volume v;
        std::string_view devnum = f[2];
        size_t colon = devnum.find(':');
        if (colon == std::string_view::npos)
            continue;
        v.major = static_cast<uint32_t>(std::strtoul(std::string(devnum.substr(0, colon)).c_str(), nullptr, 10));
        v.minor = static_cast<uint32_t>(std::strtoul(std::string(devnum.substr(colon + 1)).c_str(), nullptr, 10));
        std::string root = Unescape(f[3]);
        std::string mountPoint = Unescape(f[4]);
        std::string fs = Unescape(f[dash + 1]);
        std::string source = Unescape(f[dash + 2]);
        bool block = source.rfind("/dev/", 0) == 0 && fs != "squashfs" && source.rfind("/dev/loop", 0) != 0;
        bool network = IsNetworkFileSystem(fs);
        // The root always counts; other mounts only when they show a whole file system
        // (bind mounts of a single folder or file are left out).
        if (mountPoint != "/" && (!(block || network) || root != "/"))
            continue;
        v.mountPoint = FromNativePath(mountPoint);
        v.device = FromNativePath(source);
        v.fileSystem = FromNativePath(fs);
        v.removable = UnderRemovableRoot(mountPoint);
        out.push_back(std::move(v));
    }
    // In a chroot or some containers "/" is no mount point of its own and the kernel leaves it
    // out, but the folder tree always starts from it.
    bool hasRoot = false;
    for (const Volume& v : out)
        hasRoot = hasRoot || v.mountPoint == u"/";
    if (!hasRoot) {
        Volume root;
        root.mountPoint = u"/";
        out.insert(out.begin(), std::move(root));
    }
    return out;
}

namespace {

std::string ReadSmallFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The kernel marks removable media on the disk (a partition's parent); USB disks often are not
// marked, so a device below a USB controller counts as removable too.
bool DeviceIsRemovable(uint32_t major, uint32_t minor)
{
    std::string link = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    char* real = realpath(link.c_str(), nullptr);
    if (!real)
        return false;
    std::string dev(real);
    free(real);
    if (dev.find("/usb") != std::string::npos)
        return true;
    for (const std::string& d : {dev, dev.substr(0, dev.rfind('/'))}) {
        std::string v = ReadSmallFile(d + "/removable");
        if (!v.empty() && v[0] == '1')
            return true;
    }
    return false;
}

} // namespace

std::vector<Volume> ListVolumes()
{
    std::vector<Volume> volumes = ParseMountInfo(ReadSmallFile("/proc/self/mountinfo"));
    for (Volume& v : volumes) {
        // A root the kernel did not list still has a device: the one "/" lives on.
        struct stat st {};
        if (v.mountPoint == u"/" && v.device.empty() && stat("/", &st) == 0) {
            v.major = major(st.st_dev);
            v.minor = minor(st.st_dev);
        }
        if (!v.removable && v.device.rfind(u"/dev/", 0) == 0)
            v.removable = DeviceIsRemovable(v.major, v.minor);
    }
    return volumes;
}

bool VolumeOfPath(StringView16 path, const std::vector<Volume>& volumes, Volume& out)
{
    String16 p(path);
    for (char16_t& c : p)
        if (c == u'\\')
            c = u'/';
    size_t best = 0;
    bool found = false;
    for (const Volume& v : volumes) {
        const String16& m = v.mountPoint;
        bool inside = m == u"/" ? (!p.empty() && p[0] == u'/')
                                : (p.compare(0, m.size(), m) == 0 && (p.size() == m.size() || p[m.size()] == u'/'));
        if (inside && (!found || m.size() > best)) {
            best = m.size();
            out = v;
            found = true;
        }
    }
    return found;
}

} // namespace platform
