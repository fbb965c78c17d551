// Starting and stopping the program's background threads in one place.
#include "app/Services.h"

#include "album/FolderWatchThread.h"
#include "album/HelpLoaderThread.h"
#include "album/PhotoScanThread.h"
#include "algorithms/AlgorithmThread.h"
#include "app/ServerThread.h"
#include "ui/ItemList.h"

#include <chrono>

CServices::~CServices()
{
    Stop();
}

bool CServices::Add(std::string name, uint32_t limitMs, const std::function<bool()>& start,
                    std::function<bool(uint32_t)> stop)
{
    if (!start())
        return false;
    m_started.push_back({std::move(name), limitMs, std::move(stop)});
    return true;
}

bool CServices::StartServer(CServerThread& server)
{
    const uint32_t grace = limits.serverGrace;
    return Add("server thread", grace + limits.server, [&server] { return server.Start(); },
               [&server, grace](uint32_t limitMs) { return server.Stop(grace, limitMs - grace); });
}

bool CServices::StartAlgorithmWorker(CAlgorithmThread& worker, int helpers)
{
    return Add("algorithm worker", limits.algorithm, [&worker, helpers] { return worker.StartWorker(helpers); },
               [&worker](uint32_t limitMs) { return worker.StopWorker(limitMs, true); });
}

bool CServices::StartAfterWindow()
{
    return StartServer(theServerThread) && StartAlgorithmWorker(theAlgorithmThread);
}

bool CServices::StartAlbum(const AlbumThreadSetup& album)
{
    if (album.thumbLoader && album.fullLoader) {
        // The item lists take both loaders' locks, first before second, around their items.
        SetThumbnailLoaderLocks(&album.thumbLoader->queueLock, &album.fullLoader->queueLock);
        album.thumbLoader->passOn = album.fullLoader;
    }
    for (CHelpLoaderThread* loader : {album.thumbLoader, album.fullLoader}) {
        if (!loader)
            continue;
        loader->tickets = album.tickets;
        loader->skinFolder = album.skinFolder;
        if (album.fallback && !loader->SetFallbackImage(*album.fallback))
            return false;
        const char* name = loader == album.thumbLoader ? "first thumbnail loader" : "second thumbnail loader";
        if (!Add(name, limits.loader, [loader] { return loader->Start(); },
                 [loader](uint32_t limitMs) { return loader->Stop(limitMs); }))
            return false;
    }
    if (CPhotoScanThread* scan = album.scan) {
        scan->target = album.scanTarget;
        scan->dataFolder = album.dataFolder;
        // The scan works on the list as it is now; the scope dialog may replace the original.
        scan->scanFolders = [folders = album.scanFolders] { return folders; };
        scan->SetPriority(platform::ThreadPriority::Idle);
        if (!Add("photo scan", limits.scan, [scan] { return scan->Start(); },
                 [scan](uint32_t limitMs) { return scan->Stop(limitMs); }))
            return false;
    }
    if (CFolderWatchThread* watch = album.watch) {
        watch->target = album.watchTarget;
        if (!Add("folder watch", limits.watch, [watch] { return watch->Start(); },
                 [watch](uint32_t limitMs) { return watch->Stop(limitMs); }))
            return false;
    }
    return true;
}

bool CServices::Stop()
{
    using Clock = std::chrono::steady_clock;
    m_lastStop.clear();
    bool allEnded = true;
    std::vector<Entry> stuck;
    while (!m_started.empty()) {
        Entry entry = std::move(m_started.back());
        m_started.pop_back();
        const Clock::time_point start = Clock::now();
        const bool ended = entry.stop(entry.limitMs);
        m_lastStop.push_back(
            {entry.name, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), ended});
        if (ended)
            continue;
        allEnded = false;
        if (onStuck)
            onStuck(entry.name.c_str());
        stuck.insert(stuck.begin(), std::move(entry));
    }
    // Still running: a later Stop tries again.
    m_started = std::move(stuck);
    return allEnded;
}

std::vector<std::string> CServices::Running() const
{
    std::vector<std::string> names;
    for (const Entry& e : m_started)
        names.push_back(e.name);
    return names;
}
