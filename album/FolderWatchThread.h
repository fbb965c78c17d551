// Watches the folder the album shows (not its sub-folders) and posts MSG_ALBUM_REFRESH to the
// album page for every change notification. The folder page moves the watch with SetWatchPath.
#pragma once

#include "album/AlbumMessages.h"
#include "platform/Sync.h"
#include "platform/Text.h"
#include "platform/Thread.h"

#include <atomic>
#include <mutex>

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

    // Ends the thread and waits for it; the album page calls this before it goes.
    void Stop();

protected:
    int Run() override;

private:
    bool TakeRestart(platform::String16& path);
    mutable std::mutex m_mutex;
    platform::String16 m_watchPath;
    bool m_restart = false;
    std::atomic<bool> m_stop{false};
};
