// The photo grid of the album: an item list whose items are files and folders with their
// photo facts. Thumbnails are asked of the loaders for the cells that are drawn, each item once
// until its picture arrives; badges of the file type and of camera data; a date line in the
// details view; three sort orders that keep folders in front; and a refill that lists a folder
// again without losing the thumbnails already loaded.
//
// Locks: the list's sprite lock, then theThumbLoader's queue lock, then theFullLoader's. The
// loaders write an item's `image` and `info` under their queue lock after testing its ticket;
// the list reads them under both queue locks and deletes items only while holding both.
#pragma once

#include "album/AlbumMessages.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "ui/ItemList.h"

#include <cstdint>
#include <vector>

class CHelpLoaderThread;

constexpr int32_t PHOTO_TYPE_FOLDER = -2;
constexpr size_t kPhotoPathCapacity = 1024;

enum PhotoSortOrder : int32_t { kSortByName = 0, kSortByDate = 1, kSortByModified = 2 };

class CPhotoItem : public CListItem {
public:
    CPhotoItem();
    ~CPhotoItem() override;

    bool IsFolder() const { return typeCode == PHOTO_TYPE_FOLDER; }
    bool IsPhoto() const { return typeCode != PHOTO_TYPE_FOLDER; }

    uint32_t ticket = 0;
    char16_t path[kPhotoPathCapacity] = {};
    int32_t typeCode = 0;
    ImageInfo info;           // written by the loaders under their lock
    SRect exifBadgeRect{};    // render thread
    // Set when a thumbnail was asked for; cleared when the answer comes, so an item is asked
    // for once however often it is drawn meanwhile.
    int32_t thumbRequested = 0;
};

// Minutes as a comparison key; 0 when the year is 0.
uint32_t MinuteStamp(const SystemTime& t);
// Strict weak orders: folders first (by caption), then the order's key, then the caption
// (ASCII case folded), then the path.
int ComparePhotoItemsByName(const CPhotoItem* a, const CPhotoItem* b);
int ComparePhotoItemsByDate(const CPhotoItem* a, const CPhotoItem* b);
int ComparePhotoItemsByModified(const CPhotoItem* a, const CPhotoItem* b);
// The caption of a path: the file name without its extension; a folder keeps its whole name.
platform::String16 PhotoCaptionOf(platform::StringView16 path, bool folder);
// The details view's date line: the capture date as recorded, else the file time in local time.
platform::String16 PhotoDateLine(const ImageInfo& info);
// The file time of a file system entry as a calendar time in UTC (all zero for 0).
SystemTime UtcSystemTime(platform::FileTime time);
SystemTime UtcToLocalSystemTime(const SystemTime& utc);

// Answers of the loaders reach a sprite through the sprite message queue, only while it lives;
// requests are alive while their item's ticket is.
class SpriteAlbumSink : public AlbumMessageSink {
public:
    explicit SpriteAlbumSink(CMessageSprite* sprite = nullptr) : m_sprite(sprite) {}
    void SetSprite(CMessageSprite* sprite);
    bool Post(uint32_t msg, uintptr_t param1, intptr_t param2) override;

private:
    CMessageSprite* m_sprite;
    int32_t m_ticket = 0;
};

class SpriteTicketRegistry : public AlbumTicketRegistry {
public:
    bool IsTicketAlive(uint32_t ticket) const override;
};
// The one the program's loaders use.
SpriteTicketRegistry& TheSpriteTicketRegistry();

class CSPhotoList : public CListSprite {
public:
    CSPhotoList();
    ~CSPhotoList() override;

    // ---- listing (UI thread) ----
    CPhotoItem* AddPhotoItem(int32_t typeCode, platform::StringView16 path);
    void BeginRefill();
    // 1 when the entry is listed (taken back or added).
    int ReuseOrAddItem(int32_t typeCode, platform::StringView16 path, const SystemTime& lastWrite);
    void EndRefill();
    void SetSortOrder(int order);
    int SortOrder() const { return m_sortOrder; }
    CPhotoItem* PhotoItem(int index) const { return static_cast<CPhotoItem*>(GetItem(index)); }
    int IndexOfTicket(uint32_t ticket) const;

    // Where thumbnail requests go (theThumbLoader by default; tests give their own).
    void SetLoader(CHelpLoaderThread* loader) { m_loader = loader; }
    // Requests sent so far (for tests and the benchmark).
    int RequestsSent() const { return m_requestsSent.load(); }

    // How a refill adds an entry it did not have (a plain AddPhotoItem here).
    virtual CPhotoItem* AddNewItem(int32_t typeCode, platform::StringView16 path) { return AddPhotoItem(typeCode, path); }

    // ---- CListSprite ----
    CListItem* CreateItem() override;
    void Sort() override;
    int DrawItem(int index) override;
    void DrawItemCaption(int index, const SRect& cell, const SRect& picture) override;
    int OnCreate() override;
    void ReleaseResources(int flag) override;
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    int32_t showExifBadge = 1;

protected:
    bool ExifBadgeAt(int x, int y, int* index = nullptr) const;
    // Frees set-aside items; call with the list lock and both loader locks held.
    void DeleteSetAside();

    ImageBuffer8 m_folderPlaceholder;
    ImageBuffer8 m_filePlaceholder;
    ImageList8 m_typeBadges;
    ImageBuffer8 m_exifBadge;
    int32_t m_sortOrder = kSortByName;
    std::vector<CPhotoItem*> m_setAside;
    SpriteAlbumSink m_sink;
    CHelpLoaderThread* m_loader;
    std::atomic<int> m_requestsSent{0};
};
