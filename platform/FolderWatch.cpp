#include "platform/FolderWatch.h"

#include "platform/Path.h"

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <climits>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace platform {

FolderWatch::FolderWatch()
    : m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

FolderWatch::~FolderWatch()
{
    Close();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void FolderWatch::Interrupt()
{
    const uint64_t one = 1;
    if (m_wakeFd >= 0 && ::write(m_wakeFd, &one, sizeof one) < 0) {
    }
}

bool FolderWatch::Open(StringView16 folder)
{
    Close();
    std::string native = ToNativePath(folder);
    if (native.empty())
        return false;
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return false;
    // Names (create, delete, rename) and last writes, as a folder's change notification gives.
    const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE |
                          IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    int wd = inotify_add_watch(fd, native.c_str(), mask);
    if (wd < 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_watch = wd;
    m_gone = false;
    return true;
}

FolderWatch::Result FolderWatch::Wait(uint32_t timeoutMs)
{
    if (m_fd < 0 || m_gone)
        return Result::Failed;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        int r = poll(p, 2, left > 0 ? static_cast<int>(std::min<long long>(left, INT_MAX)) : 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return Result::Failed;
        if (r == 0)
            return Result::Timeout;
        if (p[1].revents) {
            uint64_t count = 0;
            if (::read(m_wakeFd, &count, sizeof count) < 0) {
            }
            return Result::Interrupted;
        }
        break;
    }
    // Take everything that is pending: one report for the whole burst.
    bool any = false;
    alignas(inotify_event) char buf[16384];
    for (;;) {
        ssize_t n = read(m_fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
            if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
                m_gone = true;
            if (!(e->mask & IN_IGNORED))
                any = true;
            off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    if (any)
        return Result::Changed;
    return m_gone ? Result::Failed : Result::Timeout;
}

void FolderWatch::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_watch = -1;
    m_gone = false;
}

} // namespace platform
