// The two thumbnail loaders of the photo lists. The first answers quickly (from the preview a
// camera embeds in a large JPEG) and passes such photos on to the second, which decodes them for
// a sharp thumbnail. Every write into an item, and every answer, happens only while the item's
// ticket is alive, under the loader's queue lock; files are read and decoded without it (the
// render thread takes the lock to draw the list).
#pragma once

#include "album/AlbumMessages.h"
#include "imaging/ImageBuffer.h"
#include "platform/Sync.h"
#include "platform/Text.h"
#include "platform/Thread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>

class ImageInfo;

constexpr int kThumbnailSize = 200;
constexpr int kMiniThumbnailSize = 64;

struct LoaderRequest {
    uint32_t ticket = 0;
    uint8_t kind = 1;                    // 1 only when the target is empty, 2 load again
    ImageBuffer8* targetImage = nullptr; // the item's thumbnail, written by the loader
    AlbumMessageSink* requester = nullptr;
    ImageInfo* itemInfo = nullptr;       // filled once when still empty
    uint32_t answerParam = 0;
    platform::String16 path;             // at most 1023 characters
};

class CHelpLoaderThread : public platform::Thread {
public:
    CHelpLoaderThread() = default;
    ~CHelpLoaderThread() override;

    // Set before Start. passOn: where full-pass requests go (theFullLoader for theThumbLoader).
    AlbumTicketRegistry* tickets = nullptr;
    CHelpLoaderThread* passOn = nullptr;
    platform::String16 skinFolder;
    // Reads a photo's facts for an item that has none yet (ImageInfo::ReadFile when empty;
    // 1 on success). Called without the queue lock.
    std::function<int(const platform::String16& path, ImageInfo& info)> readPhotoFacts;

    // Guards the queue and every write into a requester's objects. Owners release an item's
    // ticket and free the item only while holding the queue locks of both loaders.
    platform::CriticalSection queueLock;

    // Appends at the back. false for a request that cannot be served (no target, a path too
    // long for the album's buffers).
    bool QueueRequest(const LoaderRequest& request);
    size_t QueueLength();
    // The loader keeps its own copy, so the list that owns the original may go first.
    bool SetFallbackImage(const ImageBuffer8& image);

    // Starts the loop (again after a Stop).
    bool Start();
    // Ends the thread after the request it works on and waits for it at most timeoutMs; false
    // when it still runs then (a decode of one file is not interrupted).
    bool Stop(uint32_t timeoutMs = platform::kInfinite);

    int ProcessRequest(const LoaderRequest& request);
    // wantsFull: set when a quick preview was delivered and the full decode should follow.
    int LoadRequest(const LoaderRequest& request, bool full, bool* wantsFull = nullptr);
    int MakeFolderThumbnail(const platform::String16& folder, ImageBuffer8& out);
    static int DrawMiniThumbnail(int index, const ImageBuffer8& small, ImageBuffer8& picture);

protected:
    int Run() override;

private:
    bool Alive(uint32_t ticket) const { return tickets && tickets->IsTicketAlive(ticket); }
    std::deque<LoaderRequest> m_queue;
    std::condition_variable_any m_ready; // a request or the stop, under queueLock
    ImageBuffer8 m_folderImage;
    ImageBuffer8 m_fallbackImage;
    std::atomic<bool> m_stop{false};
};

extern CHelpLoaderThread theThumbLoader;
extern CHelpLoaderThread theFullLoader;
