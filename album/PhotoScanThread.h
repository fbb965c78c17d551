// The background scan that brings the photo database up to date with the scan folders: load
// "PhotoScan.db", walk every folder, keep unchanged records, rebuild changed ones, drop the gone
// ones, save, and tell the search page.
#pragma once

#include "album/AlbumMessages.h"
#include "album/PhotoDatabase.h"
#include "album/PhotoRecordBuilder.h"
#include "platform/File.h"
#include "platform/Thread.h"

#include <atomic>
#include <functional>
#include <vector>

class CPhotoScanThread : public platform::Thread {
public:
    enum State : int { kNotRun = 0, kScanning = 1, kDone = 2 };

    explicit CPhotoScanThread(PhotoDatabase& database = thePhotoDatabase) : m_database(database) {}
    ~CPhotoScanThread() override;

    // Set before Start. The scan folders are asked for once, at the start of the scan (a copy:
    // the scope dialog may replace the list meanwhile); each ends in a separator.
    AlbumMessageSink* target = nullptr;
    platform::String16 dataFolder;
    std::function<std::vector<platform::String16>()> scanFolders;

    std::atomic<int> state{kNotRun};
    std::atomic<int> builtCount{0};

    // Starts the scan (again after a Stop).
    bool Start();
    // Asks the scan to end and waits for it at most timeoutMs (the owner's "window gone"); false
    // when it still runs then (a file being read is finished first).
    bool Stop(uint32_t timeoutMs = platform::kInfinite);
    // The same without waiting (for the thread itself, or an owner that joins later).
    void RequestStop() { m_stop.store(true, std::memory_order_release); }
    bool StopRequested() const { return m_stop.load(std::memory_order_acquire); }

    // Builds a photo's record and counts it (the tag editors call this as well).
    int BuildRecord(platform::StringView16 path, PhotoRecordBuffer& out);
    void ScanFolders();
    void ScanFolder(const platform::String16& folder);

protected:
    int Run() override;

private:
    void ScanFile(const platform::String16& fullPath, platform::FileTime lastWrite);
    PhotoDatabase& m_database;
    std::atomic<bool> m_stop{false};
    int m_depth = 0;
};

extern CPhotoScanThread thePhotoScanThread;
