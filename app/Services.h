// The program's background threads, started in one place once the main window exists and
// stopped in reverse order, each within a limit of its own, before main returns: the server
// thread, the algorithm worker with its helpers, and the album's photo scan, folder watch and
// two thumbnail loaders (the album page asks for those once it exists).
//
// A stop that does not end within its limit leaves a thread running that may still use the
// window, the pages or the documents: nothing of those may be freed then. The program's
// onStuck writes what must be kept and ends the process on the spot.
#pragma once

#include "platform/Sync.h"
#include "platform/Text.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CAlgorithmThread;
class CFolderWatchThread;
class CHelpLoaderThread;
class CPhotoScanThread;
class CServerThread;
struct AlbumMessageSink;
struct AlbumTicketRegistry;
struct ImageBuffer8;

// How long each stop may take, in milliseconds.
struct ServiceLimits {
    // The server thread's queue may finish for this long (0: its network waits are cancelled at
    // once), then it has `server` to end.
    uint32_t serverGrace = 0;
    uint32_t server = 1000;
    uint32_t algorithm = 3000; // the running job is cancelled first
    uint32_t scan = 1000; // the file being read is finished
    uint32_t watch = 500;
    uint32_t loader = 2000; // one thumbnail's decode
};

// The album's threads and what they are given before they start.
struct AlbumThreadSetup {
    CPhotoScanThread* scan = nullptr;
    AlbumMessageSink* scanTarget = nullptr;
    platform::String16 dataFolder;
    std::vector<platform::String16> scanFolders; // copied here, on the UI thread
    CFolderWatchThread* watch = nullptr;
    AlbumMessageSink* watchTarget = nullptr;
    CHelpLoaderThread* thumbLoader = nullptr; // answers first, passes large JPEGs on
    CHelpLoaderThread* fullLoader = nullptr;
    AlbumTicketRegistry* tickets = nullptr;
    platform::String16 skinFolder;
    const ImageBuffer8* fallback = nullptr; // the picture of files that cannot be read
};

class CServices {
public:
    CServices() = default;
    // Stops what still runs, as Stop does.
    ~CServices();
    CServices(const CServices&) = delete;
    CServices& operator=(const CServices&) = delete;

    ServiceLimits limits;
    // Called with the name of a thread that did not end within its limit; the program ends the
    // process there. Without it, Stop goes on with the others and returns false.
    std::function<void(const char* name)> onStuck;

    // The server thread, settled by the caller (CServerThread::Settle).
    bool StartServer(CServerThread& server);
    // The algorithm worker and its helpers (helpers < 0: one for each processor, at most 8).
    bool StartAlgorithmWorker(CAlgorithmThread& worker, int helpers = -1);
    // The main window's start-up: theServerThread, then theAlgorithmThread. false as soon as
    // one cannot be started (what did start is stopped by Stop).
    bool StartAfterWindow();
    // The album's threads, in this order: the loaders (first before second, and their locks
    // handed to the item lists), the scan at idle priority, the watch. Those not given are left.
    bool StartAlbum(const AlbumThreadSetup& album);

    // Stops every started thread, the last started first, each within its limit. true when
    // all ended; a thread that did not is reported to onStuck and stays in the list.
    bool Stop();

    // The running services' names, in start order.
    std::vector<std::string> Running() const;
    struct StopRecord {
        std::string name;
        long long ms = 0;
        bool ended = false;
    };
    // The last Stop, in stop order.
    const std::vector<StopRecord>& LastStop() const { return m_lastStop; }

private:
    struct Entry {
        std::string name;
        uint32_t limitMs;
        std::function<bool(uint32_t limitMs)> stop;
    };
    // Runs start(); on success the thread joins the list with its stop.
    bool Add(std::string name, uint32_t limitMs, const std::function<bool()>& start,
             std::function<bool(uint32_t)> stop);

    std::vector<Entry> m_started;
    std::vector<StopRecord> m_lastStop;
};
