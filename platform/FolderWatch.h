// Watching one folder (not its sub-folders) for files and folders created, deleted, renamed or
// written, in the way a change notification is waited for and then re-armed: every wait that
// sees changes reports them once, however many arrived together.
#pragma once

#include "platform/Text.h"

#include <cstdint>

namespace platform {

class FolderWatch {
public:
    enum class Result { Changed, Timeout, Failed, Interrupted };

    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // false when the folder is missing or cannot be watched.
    bool Open(StringView16 folder);
    bool IsOpen() const { return m_fd >= 0; }
    // Waits up to timeoutMs for changes and takes all that are pending. Failed when not open,
    // or once the folder itself was deleted or moved away (that change is reported first).
    // Interrupted when Interrupt came first.
    Result Wait(uint32_t timeoutMs);
    void Close();
    // Ends the current Wait at once, or the next one when none runs (any thread).
    void Interrupt();

private:
    int m_fd = -1;
    int m_watch = -1;
    int m_wakeFd = -1; // eventfd: Interrupt's signal, for the object's whole life
    bool m_gone = false;
};

} // namespace platform
