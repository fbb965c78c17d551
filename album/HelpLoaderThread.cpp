// The loader loop, the two passes and the folder picture with its small thumbnails.
#include "album/HelpLoaderThread.h"

#include "album/PhotoRecord.h"
#include "imaging/Draw8.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageType.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <cstring>

CHelpLoaderThread theThumbLoader;
CHelpLoaderThread theFullLoader;

CHelpLoaderThread::~CHelpLoaderThread()
{
    Stop();
    FreeImageBuffer(m_folderImage);
    FreeImageBuffer(m_fallbackImage);
}

bool CHelpLoaderThread::Start()
{
    if (IsRunning())
        return false;
    m_stop.store(false, std::memory_order_release);
    return Thread::Start();
}

bool CHelpLoaderThread::Stop(uint32_t timeoutMs)
{
    {
        platform::ScopedLock hold(queueLock);
        m_stop.store(true, std::memory_order_release);
    }
    m_ready.notify_all();
    return Join(timeoutMs);
}

bool CHelpLoaderThread::QueueRequest(const LoaderRequest& request)
{
    if (!request.targetImage || request.path.empty() || request.path.size() > kPhotoTextMaxChars)
        return false;
    {
        platform::ScopedLock hold(queueLock);
        m_queue.push_back(request);
    }
    m_ready.notify_one();
    return true;
}

size_t CHelpLoaderThread::QueueLength()
{
    platform::ScopedLock hold(queueLock);
    return m_queue.size();
}

bool CHelpLoaderThread::SetFallbackImage(const ImageBuffer8& image)
{
    platform::ScopedLock hold(queueLock);
    return CopyImage8(m_fallbackImage, image) != 0;
}

int CHelpLoaderThread::Run()
{
    platform::SetCurrentThreadPriority(platform::ThreadPriority::BelowNormal);
    for (;;) {
        LoaderRequest request;
        {
            // Asleep until a request or the stop comes: no polling while the queue is empty.
            std::unique_lock<platform::CriticalSection> hold(queueLock);
            m_ready.wait(hold, [this] { return m_stop.load(std::memory_order_acquire) || !m_queue.empty(); });
            if (m_stop.load(std::memory_order_acquire))
                break;
            // The request stays at the front while it is worked on.
            request = m_queue.front();
        }
        bool wanted;
        {
            platform::ScopedLock hold(queueLock);
            wanted = Alive(request.ticket) && request.targetImage &&
                     (request.kind == 2 || request.targetImage->pixelCount == 0);
        }
        if (wanted)
            ProcessRequest(request);
        platform::ScopedLock hold(queueLock);
        m_queue.pop_front();
    }
    return 1;
}

int CHelpLoaderThread::ProcessRequest(const LoaderRequest& request)
{
    if (request.kind != 1 && request.kind != 2)
        return 0;
    bool wantsFull = false;
    const int delivered = LoadRequest(request, request.kind == 2, &wantsFull);
    if (delivered && request.requester) {
        platform::ScopedLock hold(queueLock);
        if (Alive(request.ticket))
            request.requester->Post(MSG_THUMB_LOADED, request.answerParam, reinterpret_cast<intptr_t>(this));
    }
    // The full pass is queued only after the quick answer is posted, so the owner always hears
    // the preview before the decoded picture.
    if (wantsFull && passOn) {
        LoaderRequest again;
        again.ticket = request.ticket;
        again.kind = 2;
        again.targetImage = request.targetImage;
        again.requester = request.requester;
        again.answerParam = request.ticket;
        again.path = request.path;
        passOn->QueueRequest(again);
    }
    return delivered;
}

static bool InfoIsEmpty(const ImageInfo& info)
{
    return info.height == 0 && info.fNumber.denominator == 0 && info.exposureTime.denominator == 0;
}

int CHelpLoaderThread::LoadRequest(const LoaderRequest& request, bool full, bool* wantsFull)
{
    if (!request.targetImage)
        return 0;
    const int type = ImageTypeFromExtension(request.path.c_str());
    ImageBuffer8 picture;
    int loaded;
    if (type == kImageTypeOther)
        loaded = MakeFolderThumbnail(request.path, picture);
    else
        loaded = LoadThumbnail(request.path.c_str(), kThumbnailSize, picture, full);

    if (!loaded || picture.pixelCount == 0) {
        platform::ScopedLock hold(queueLock);
        if (Alive(request.ticket)) {
            if (m_fallbackImage.pixelCount) {
                CopyImage8(*request.targetImage, m_fallbackImage);
            } else if (AllocImage8(*request.targetImage, kThumbnailSize, kThumbnailSize)) {
                // A neutral grey square where the picture would be.
                std::memset(request.targetImage->data, 0x80, request.targetImage->byteSize);
                for (uint32_t i = 3; i < request.targetImage->byteSize; i += 4)
                    request.targetImage->data[i] = 0xFF;
            }
        }
        FreeImageBuffer(picture);
        return 0;
    }

    // The item's facts, when it has none yet, are read before the lock is taken: under it only
    // the finished picture and facts are copied into the item.
    ImageInfo info;
    bool haveInfo = false;
    if (request.itemInfo && type != kImageTypeOther) {
        bool wanted;
        {
            platform::ScopedLock hold(queueLock);
            wanted = Alive(request.ticket) && InfoIsEmpty(*request.itemInfo);
        }
        if (wanted)
            haveInfo = (readPhotoFacts ? readPhotoFacts(request.path, info) : info.ReadFile(request.path.c_str())) == 1;
    }
    int result = 0;
    {
        platform::ScopedLock hold(queueLock);
        if (Alive(request.ticket)) {
            result = CopyImage8(*request.targetImage, picture);
            if (haveInfo && InfoIsEmpty(*request.itemInfo))
                request.itemInfo->CopyFrom(info);
        }
    }
    if (wantsFull)
        *wantsFull = loaded == 2 && type != kImageTypeRaw;
    FreeImageBuffer(picture);
    return result;
}

int CHelpLoaderThread::MakeFolderThumbnail(const platform::String16& folder, ImageBuffer8& out)
{
    if (m_folderImage.pixelCount == 0) {
        const platform::String16 skin = platform::JoinPath(platform::JoinPath(skinFolder, u"skin"), u"folderthumb.png");
        if (!CodecLoadImage8(m_folderImage, skin.c_str()) || m_folderImage.pixelCount == 0)
            return 0;
    }
    if (!CopyImage8(out, m_folderImage))
        return 0;
    platform::FolderLister lister;
    if (!lister.Open(folder, u"*.*"))
        return 1;
    const platform::String16 base = platform::WithTrailingSeparator(folder);
    int filled = 0;
    platform::FileInfo entry;
    while (filled < 4 && lister.Next(entry)) {
        if (entry.isDirectory)
            continue;
        const platform::String16 path = base + entry.name;
        const int t = ImageTypeFromExtension(path.c_str());
        if (t == kImageTypeOther || t == kImageTypeRaw)
            continue;
        ImageBuffer8 small;
        if (LoadThumbnail(path.c_str(), kMiniThumbnailSize, small, false) && small.pixelCount &&
            DrawMiniThumbnail(filled, small, out))
            ++filled;
        FreeImageBuffer(small);
    }
    return 1;
}

int CHelpLoaderThread::DrawMiniThumbnail(int index, const ImageBuffer8& small, ImageBuffer8& picture)
{
    if (picture.pixelCount == 0 || picture.width < 198 || picture.height < 198)
        return 1;
    const int w = small.width, h = small.height;
    if (w > kMiniThumbnailSize || h > kMiniThumbnailSize || w > 3 * h || h > 3 * w)
        return 0;
    if (index > 4)
        return 1;
    int left = 130 - 24 * index;
    int top = 57 + 16 * index;
    if (w > h)
        top += (kMiniThumbnailSize - h) / 2;
    else
        left += (kMiniThumbnailSize - w) / 2;
    BlendImage8(picture, small, left, top, false, 256);
    return 1;
}
