// The folder watch loop: idle until a path is given, then one message per notification.
#include "album/FolderWatchThread.h"

#include "platform/FolderWatch.h"

CFolderWatchThread::~CFolderWatchThread()
{
    Stop();
}

void CFolderWatchThread::Stop()
{
    m_stop.store(true, std::memory_order_release);
    Join();
}

bool CFolderWatchThread::SetWatchPath(platform::StringView16 path)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    if (path == m_watchPath)
        return false;
    m_watchPath = path.size() <= kWatchPathMaxChars ? platform::String16(path) : platform::String16();
    m_restart = true;
    return true;
}

platform::String16 CFolderWatchThread::WatchPath() const
{
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_watchPath;
}

bool CFolderWatchThread::TakeRestart(platform::String16& path)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    if (!m_restart)
        return false;
    m_restart = false;
    path = m_watchPath;
    return true;
}

int CFolderWatchThread::Run()
{
    platform::SetCurrentThreadPriority(platform::ThreadPriority::Idle);
    while (!m_stop.load(std::memory_order_acquire)) {
        platform::String16 path;
        if (!TakeRestart(path)) {
            platform::SleepMs(100);
            continue;
        }
        platform::FolderWatch watch;
        if (path.empty() || !watch.Open(path))
            continue;
        for (;;) {
            const platform::FolderWatch::Result r = watch.Wait(1000);
            if (m_stop.load(std::memory_order_acquire))
                return 1;
            if (r == platform::FolderWatch::Result::Failed)
                break;
            if (r == platform::FolderWatch::Result::Changed && target)
                target->Post(MSG_ALBUM_REFRESH, 0, 0);
            // Checked after changes too, so a folder that never rests cannot pin the watch.
            std::lock_guard<std::mutex> hold(m_mutex);
            if (m_restart)
                break;
        }
        watch.Close();
    }
    return 1;
}
