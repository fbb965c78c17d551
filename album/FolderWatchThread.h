// Watches the folder the album shows (not its sub-folders) and posts MSG_ALBUM_REFRESH to the
// album page for every change notification. The folder page moves the watch with SetWatchPath.
#pragma once

#include "album/AlbumMessages.h"
#include "platform/Sync.h"
#include "platform/Text.h"
#include "platform/Thread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace platform {
class FolderWatch;
}

constexpr size_t kWatchPathMaxChars = 511;

class CFolderWatchThread : public platform::Thread {
public:
    CFolderWatchThread() = default;
    ~CFolderWatchThread() override;

    // Set before Start.
    AlbumMessageSink* target = nullptr;

    // Moves the watch when the path differs from the watched one (exact comparison). A path
    // too long for the watch is not cut to another folder: the thread goes idle instead.
    // true when the watch restarts.
    bool SetWatchPath(platform::StringView16 path);
    platform::String16 WatchPath() const;

    // Starts the loop (again after a Stop); the watched path is kept.
    bool Start();
    // Ends the thread (a wait for changes ends at once) and waits for it at most timeoutMs;
    // false when it still runs then. The album page's owner calls this before the page goes.
    bool Stop(uint32_t timeoutMs = platform::kInfinite);

protected:
    int Run() override;

private:
    // Waits, without polling, for a new path or the stop; false on the stop.
    bool TakeRestart(platform::String16& path);
    mutable std::mutex m_mutex;
    std::condition_variable m_changed; // a new path or the stop
    platform::String16 m_watchPath;
    bool m_restart = false;
    platform::FolderWatch* m_current = nullptr; // the watch being waited on, under m_mutex
    std::atomic<bool> m_stop{false};
};
