#include "platform/FileReplace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool CopyAll(int from, int to)
{
    std::vector<char> buf(1 << 16);
    for (;;) {
        ssize_t n = ::read(from, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(to, buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
    }
}

} // namespace

bool ReplaceFileVia(const std::string& path, bool copyOriginal,
                    const std::function<bool(const std::string& tempPath)>& write)
{
    struct stat original {};
    if (::stat(path.c_str(), &original) != 0 || !S_ISREG(original.st_mode))
        return false;

    std::string::size_type slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "." + name + ".XXXXXX";
    std::vector<char> templ(temp.begin(), temp.end());
    templ.push_back('\0');
    int fd = ::mkstemp(templ.data());
    if (fd < 0)
        return false;
    temp.assign(templ.data());

    bool ok = true;
    if (copyOriginal) {
        int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ok = in >= 0 && CopyAll(in, fd);
        if (in >= 0)
            ::close(in);
    }
    ok = ::close(fd) == 0 && ok;
    ok = ok && write(temp);
    if (ok) {
        int sync = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        ok = sync >= 0 && ::fsync(sync) == 0;
        if (sync >= 0)
            ::close(sync);
    }
    ok = ok && ::chmod(temp.c_str(), original.st_mode & 07777) == 0;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

} // namespace platform
