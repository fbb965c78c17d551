// The folder watch loop: asleep until a path is given, then one message per notification. A new
// path or the stop interrupts the wait for changes, so neither waits for a time-out.
#include "album/FolderWatchThread.h"

#include "platform/FolderWatch.h"

CFolderWatchThread::~CFolderWatchThread()
{
    Stop();
}

bool CFolderWatchThread::Start()
{
    if (IsRunning())
        return false;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_stop.store(false, std::memory_order_release);
        m_restart = !m_watchPath.empty();
    }
    return Thread::Start();
}

bool CFolderWatchThread::Stop(uint32_t timeoutMs)
{
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_stop.store(true, std::memory_order_release);
        if (m_current)
            m_current->Interrupt();
    }
    m_changed.notify_all();
    return Join(timeoutMs);
}

bool CFolderWatchThread::SetWatchPath(platform::StringView16 path)
{
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (path == m_watchPath)
            return false;
        m_watchPath = path.size() <= kWatchPathMaxChars ? platform::String16(path) : platform::String16();
        m_restart = true;
        if (m_current)
            m_current->Interrupt();
    }
    m_changed.notify_all();
    return true;
}

platform::String16 CFolderWatchThread::WatchPath() const
{
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_watchPath;
}

bool CFolderWatchThread::TakeRestart(platform::String16& path)
{
    std::unique_lock<std::mutex> hold(m_mutex);
    m_changed.wait(hold, [this] { return m_restart || m_stop.load(std::memory_order_acquire); });
    if (m_stop.load(std::memory_order_acquire))
        return false;
    m_restart = false;
    path = m_watchPath;
    return true;
}

int CFolderWatchThread::Run()
{
    platform::SetCurrentThreadPriority(platform::ThreadPriority::Idle);
    platform::String16 path;
    while (TakeRestart(path)) {
        platform::FolderWatch watch;
        if (path.empty() || !watch.Open(path))
            continue;
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            if (m_stop.load(std::memory_order_acquire))
                return 1;
            m_current = &watch;
        }
        for (;;) {
            // Long waits cost nothing: a new path and the stop interrupt them.
            const platform::FolderWatch::Result r = watch.Wait(60000);
            if (m_stop.load(std::memory_order_acquire) || r == platform::FolderWatch::Result::Failed)
                break;
            if (r == platform::FolderWatch::Result::Changed && target)
                target->Post(MSG_ALBUM_REFRESH, 0, 0);
            // Checked after changes too, so a folder that never rests cannot pin the watch.
            std::lock_guard<std::mutex> hold(m_mutex);
            if (m_restart)
                break;
        }
        std::lock_guard<std::mutex> hold(m_mutex);
        m_current = nullptr;
    }
    return 1;
}
