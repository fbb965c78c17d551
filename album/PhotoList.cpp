#include "album/PhotoList.h"

#include "album/HelpLoaderThread.h"
#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "platform/Calendar.h"
#include "platform/Format.h"
#include "platform/Path.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>
#include <ctime>

// ---------------------------------------------------------------------------------------------
// Items, keys and texts

CPhotoItem::CPhotoItem()
{
    info.Reset();
}

CPhotoItem::~CPhotoItem()
{
    info.FreeStrings();
}

uint32_t MinuteStamp(const SystemTime& t)
{
    if (t.year == 0)
        return 0;
    return ((uint32_t(t.year) * 365u + uint32_t(t.month) * 31u + t.day) * 24u + t.hour) * 60u + t.minute;
}

namespace {

int FoldedCompare(const char16_t* a, const char16_t* b)
{
    for (;; ++a, ++b) {
        char16_t x = *a, y = *b;
        if (x >= u'a' && x <= u'z')
            x = char16_t(x - 32);
        if (y >= u'a' && y <= u'z')
            y = char16_t(y - 32);
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            return 0;
    }
}

// Folders in front, by caption; then ties of the key by caption, then by path (exact), so
// that the order is total and std::sort sees a strict weak order.
int CompareTail(const CPhotoItem* a, const CPhotoItem* b)
{
    if (int c = FoldedCompare(a->caption, b->caption))
        return c;
    const std::u16string_view pa(a->path), pb(b->path);
    return pa < pb ? -1 : pa > pb ? 1 : 0;
}

int CompareFolders(const CPhotoItem* a, const CPhotoItem* b, bool* decided)
{
    *decided = true;
    if (a->IsFolder() != b->IsFolder())
        return a->IsFolder() ? -1 : 1;
    if (a->IsFolder())
        return CompareTail(a, b);
    *decided = false;
    return 0;
}

uint32_t DateKey(const ImageInfo& info)
{
    if (uint32_t k = MinuteStamp(info.dateTimeDigitized))
        return k;
    if (uint32_t k = MinuteStamp(info.dateTimeOriginal))
        return k;
    return MinuteStamp(info.fileTime) / 2;
}

} // namespace

int ComparePhotoItemsByName(const CPhotoItem* a, const CPhotoItem* b)
{
    bool decided;
    const int c = CompareFolders(a, b, &decided);
    return decided ? c : CompareTail(a, b);
}

int ComparePhotoItemsByDate(const CPhotoItem* a, const CPhotoItem* b)
{
    bool decided;
    const int c = CompareFolders(a, b, &decided);
    if (decided)
        return c;
    const uint32_t ka = DateKey(a->info), kb = DateKey(b->info);
    if (ka != kb)
        return ka < kb ? -1 : 1;
    return CompareTail(a, b);
}

int ComparePhotoItemsByModified(const CPhotoItem* a, const CPhotoItem* b)
{
    bool decided;
    const int c = CompareFolders(a, b, &decided);
    if (decided)
        return c;
    const uint32_t ka = MinuteStamp(a->info.fileTime), kb = MinuteStamp(b->info.fileTime);
    if (ka != kb)
        return ka > kb ? -1 : 1;
    return CompareTail(a, b);
}

platform::String16 PhotoCaptionOf(platform::StringView16 path, bool folder)
{
    platform::StringView16 name = platform::FileNamePart(path);
    if (folder)
        return platform::String16(name);
    const size_t dot = name.rfind(u'.');
    if (dot != platform::StringView16::npos && dot > 0)
        name = name.substr(0, dot);
    return platform::String16(name);
}

SystemTime UtcSystemTime(platform::FileTime time)
{
    SystemTime t;
    platform::CalendarTime c;
    if (time == 0 || !platform::CalendarFromUnix(platform::FileTimeToUnixSeconds(time), false, c))
        return t;
    t.year = uint16_t(c.year);
    t.month = uint16_t(c.month);
    t.day = uint16_t(c.day);
    t.hour = uint16_t(c.hour);
    t.minute = uint16_t(c.minute);
    t.second = uint16_t(c.second);
    t.dayOfWeek = uint16_t(c.weekday);
    return t;
}

SystemTime UtcToLocalSystemTime(const SystemTime& utc)
{
    if (utc.year == 0)
        return utc;
    std::tm tm{};
    tm.tm_year = utc.year - 1900;
    tm.tm_mon = utc.month - 1;
    tm.tm_mday = utc.day;
    tm.tm_hour = utc.hour;
    tm.tm_min = utc.minute;
    tm.tm_sec = utc.second;
    const time_t seconds = timegm(&tm);
    platform::CalendarTime c;
    if (!platform::CalendarFromUnix(int64_t(seconds), true, c))
        return utc;
    SystemTime t;
    t.year = uint16_t(c.year);
    t.month = uint16_t(c.month);
    t.day = uint16_t(c.day);
    t.hour = uint16_t(c.hour);
    t.minute = uint16_t(c.minute);
    t.second = uint16_t(c.second);
    t.dayOfWeek = uint16_t(c.weekday);
    t.milliseconds = utc.milliseconds;
    return t;
}

platform::String16 PhotoDateLine(const ImageInfo& info)
{
    // EXIF dates carry no zone: printed as recorded. File times are shown in local time.
    SystemTime t = info.dateTimeDigitized.year ? info.dateTimeDigitized
                 : info.dateTimeOriginal.year  ? info.dateTimeOriginal
                                               : UtcToLocalSystemTime(info.fileTime);
    if (t.year == 0)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d/%d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
    return platform::Utf8ToUtf16(text);
}

// ---------------------------------------------------------------------------------------------
// The loaders' view of sprites

void SpriteAlbumSink::SetSprite(CMessageSprite* sprite)
{
    m_sprite = sprite;
    m_ticket = sprite ? TicketOfPointer(sprite) : 0;
}

bool SpriteAlbumSink::Post(uint32_t msg, uintptr_t param1, intptr_t param2)
{
    if (!m_sprite)
        return false;
    if (!m_ticket)
        m_ticket = TicketOfPointer(m_sprite);
    if (!m_ticket || !::IsTicketAlive(m_ticket))
        return false;
    return ::PostSpriteMessage(m_sprite, int32_t(msg), intptr_t(param1), param2, nullptr) != 0;
}

bool SpriteTicketRegistry::IsTicketAlive(uint32_t ticket) const
{
    return ticket != 0 && ::IsTicketAlive(int32_t(ticket)) != 0;
}

SpriteTicketRegistry& TheSpriteTicketRegistry()
{
    static SpriteTicketRegistry registry;
    return registry;
}

// ---------------------------------------------------------------------------------------------
// The list

CSPhotoList::CSPhotoList()
    : m_sink(this), m_loader(&theThumbLoader)
{
    m_captionMargin = 20;
}

CSPhotoList::~CSPhotoList()
{
    {
        platform::ScopedLock lock(m_lock);
        ThumbnailLoaderLock loaders;
        DeleteSetAside();
    }
    FreeImageBuffer(m_exifBadge);
    FreeImageList8(m_typeBadges);
    FreeImageBuffer(m_filePlaceholder);
    FreeImageBuffer(m_folderPlaceholder);
}

CListItem* CSPhotoList::CreateItem()
{
    return new CPhotoItem;
}

int CSPhotoList::OnCreate()
{
    if (!CListSprite::OnCreate())
        return 0;
    if (!LoadUiImage(UiImageFolder::Skin, u"folderthumb.png", m_folderPlaceholder) ||
        !LoadUiImage(UiImageFolder::Skin, u"unknownthumb.png", m_filePlaceholder) ||
        !LoadUiImageStrip(UiImageFolder::Skin, u"imgtype.png", 20, m_typeBadges) || m_typeBadges.size() < 8 ||
        !LoadUiImage(UiImageFolder::Skin, u"exif.png", m_exifBadge))
        return 0;
    m_sink.SetSprite(this);
    if (m_loader)
        m_loader->SetFallbackImage(m_filePlaceholder);
    return 1;
}

void CSPhotoList::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        ThumbnailLoaderLock loaders;
        DeleteSetAside();
    }
    CListSprite::ReleaseResources(flag);
}

CPhotoItem* CSPhotoList::AddPhotoItem(int32_t typeCode, platform::StringView16 path)
{
    if (path.empty() || path.size() >= kPhotoPathCapacity)
        return nullptr; // never cut to another file's name
    const platform::String16 caption = PhotoCaptionOf(path, typeCode == PHOTO_TYPE_FOLDER);
    const int index = AddItem(caption.c_str(), nullptr, 0);
    if (index < 0)
        return nullptr;
    platform::ScopedLock lock(m_lock);
    auto* item = static_cast<CPhotoItem*>(m_items[size_t(index)]);
    item->fallback = typeCode == PHOTO_TYPE_FOLDER ? &m_folderPlaceholder : &m_filePlaceholder;
    item->ticket = uint32_t(item->LoaderTicket());
    item->typeCode = typeCode;
    std::copy(path.begin(), path.end(), item->path);
    item->path[path.size()] = 0;
    return item;
}

void CSPhotoList::BeginRefill()
{
    platform::ScopedLock lock(m_lock);
    for (CListItem* item : m_items)
        m_setAside.push_back(static_cast<CPhotoItem*>(item));
    m_items.clear();
    m_current.store(-1);
    m_pressState = 0;
    m_band = {};
}

int CSPhotoList::ReuseOrAddItem(int32_t typeCode, platform::StringView16 path, const SystemTime& lastWrite)
{
    {
        platform::ScopedLock lock(m_lock);
        for (auto it = m_setAside.begin(); it != m_setAside.end(); ++it) {
            CPhotoItem* item = *it;
            if (item->typeCode != typeCode || platform::StringView16(item->path) != path)
                continue; // exact: a case-only rename is another file
            {
                ThumbnailLoaderLock loaders;
                item->info.fileTime = lastWrite;
                FreeImageBuffer(item->cachedPicture);
            }
            item->needsRedraw = 1;
            m_items.push_back(item);
            m_setAside.erase(it);
            return 1;
        }
    }
    CPhotoItem* item = AddNewItem(typeCode, path);
    if (!item)
        return 0;
    ThumbnailLoaderLock loaders;
    item->info.fileTime = lastWrite;
    return 1;
}

void CSPhotoList::DeleteSetAside()
{
    for (CPhotoItem* item : m_setAside) {
        item->Clear();
        delete item; // releases its ticket: a late answer finds nothing
    }
    m_setAside.clear();
}

void CSPhotoList::EndRefill()
{
    {
        platform::ScopedLock lock(m_lock);
        ThumbnailLoaderLock loaders;
        DeleteSetAside();
    }
    UpdateScrollBar();
    Redraw();
}

void CSPhotoList::SetSortOrder(int order)
{
    if (order == m_sortOrder)
        return;
    m_sortOrder = order;
    Sort();
}

void CSPhotoList::Sort()
{
    int (*compare)(const CPhotoItem*, const CPhotoItem*) = nullptr;
    switch (m_sortOrder) {
    case kSortByName: compare = ComparePhotoItemsByName; break;
    case kSortByDate: compare = ComparePhotoItemsByDate; break;
    case kSortByModified: compare = ComparePhotoItemsByModified; break;
    default: break;
    }
    {
        platform::ScopedLock lock(m_lock);
        if (m_items.size() < 2 || !compare)
            return;
        // The keys read `info`, which the loaders write.
        ThumbnailLoaderLock loaders;
        std::sort(m_items.begin(), m_items.end(), [compare](const CListItem* a, const CListItem* b) {
            return compare(static_cast<const CPhotoItem*>(a), static_cast<const CPhotoItem*>(b)) < 0;
        });
    }
    Layout(true);
    Redraw();
}

int CSPhotoList::IndexOfTicket(uint32_t ticket) const
{
    platform::ScopedLock lock(m_lock);
    for (size_t i = 0; i < m_items.size(); ++i)
        if (static_cast<const CPhotoItem*>(m_items[i])->ticket == ticket)
            return int(i);
    return -1;
}

int CSPhotoList::DrawItem(int index)
{
    const int drawn = CListSprite::DrawItem(index);
    if (!drawn)
        return 0;
    auto* item = static_cast<CPhotoItem*>(m_items[size_t(index)]);
    if (item->thumbRequested || item->caption[0] == u'.' || !m_loader)
        return drawn;
    bool needs;
    {
        ThumbnailLoaderLock loaders;
        needs = item->image.pixelCount == 0 && item->cachedPicture.pixelCount > 0;
    }
    if (!needs)
        return drawn;
    LoaderRequest request;
    request.ticket = item->ticket;
    request.kind = 1;
    request.targetImage = &item->image;
    request.requester = &m_sink;
    request.itemInfo = &item->info;
    request.answerParam = item->ticket;
    request.path = item->path;
    if (m_loader->QueueRequest(request)) {
        item->thumbRequested = 1;
        m_requestsSent.fetch_add(1);
    }
    return drawn;
}

void CSPhotoList::DrawItemCaption(int index, const SRect& cell, const SRect& picture)
{
    auto* item = static_cast<CPhotoItem*>(m_items[size_t(index)]);
    const int g = item->selected ? 234 : 183;
    const uint32_t grey = uint32_t(g) << 16 | uint32_t(g) << 8 | uint32_t(g);
    const int badgeOpacity = item->selected ? 256 : 200;
    const DrawRect cellClip{cell.left, cell.top, cell.right, cell.bottom};
    const ImageBuffer8& cap = item->captionImage;
    if (cap.data) {
        const int h = cap.height, w = cap.width;
        const bool badge = item->typeCode > 0 && item->typeCode <= int(m_typeBadges.size());
        const int r = cell.right - 8;
        int x, y;
        if (m_viewMode == 2) {
            x = cell.left + 58;
            y = cell.top + 2;
            if (badge)
                BlendImage8(m_image, *m_typeBadges[size_t(item->typeCode - 1)], x, y + h, false, badgeOpacity, cellClip);
        } else {
            x = cell.left + 8;
            y = cell.bottom - h - 4;
            const int width = w + (badge ? 22 : 0);
            if (width < r - x)
                x += (r - width - x) / 2;
            if (badge) {
                BlendImage8(m_image, *m_typeBadges[size_t(item->typeCode - 1)], x, y, false, badgeOpacity, cellClip);
                x += 22;
            }
        }
        if (w < r - x) {
            FillThroughMask8(m_image, cap, x, y, grey, {x, y, r, y + 16});
        } else if (r - x - 8 > 0) {
            FillThroughMask8(m_image, cap, x, y, grey, {x, y, r - 8, y + 16});
            // Two dots where the caption is cut.
            for (int dx : {r - 6, r - 2}) {
                const int py = y + h - 1;
                if (dx >= 0 && dx < m_image.width && py >= 0 && py < m_image.height) {
                    uint8_t* p = m_image.data + (size_t(py) * m_image.width + dx) * 4;
                    p[0] = p[1] = p[2] = uint8_t(g);
                    p[3] = 255;
                }
            }
        }
        if (m_viewMode == 2 && !item->IsFolder()) {
            platform::String16 line;
            {
                ThumbnailLoaderLock loaders;
                line = PhotoDateLine(item->info);
            }
            ImageBuffer8 text;
            if (!line.empty() && RenderTextLocked(line.c_str(), text, nullptr, 13, std::max(1, r - x), nullptr))
                FillThroughMask8(m_image, text, x, y + h + 16, grey, cellClip);
            FreeImageBuffer(text);
        }
    }
    if (m_viewMode == 3 || m_viewMode == 4) {
        item->exifBadgeRect = {picture.left, picture.top, picture.left + m_exifBadge.width,
                               picture.top + m_exifBadge.height};
        bool camera;
        {
            ThumbnailLoaderLock loaders;
            camera = item->info.fNumber.denominator != 0 || item->info.exposureTime.denominator != 0;
        }
        if (showExifBadge == 1 && camera)
            BlendImage8(m_image, m_exifBadge, picture.left, picture.top, true, 100);
    } else {
        item->exifBadgeRect = {};
    }
}

bool CSPhotoList::ExifBadgeAt(int x, int y, int* index) const
{
    const int i = ItemAt(x, y);
    if (i < 0)
        return false;
    platform::ScopedLock lock(m_lock);
    if (size_t(i) >= m_items.size())
        return false;
    const SRect r = static_cast<const CPhotoItem*>(m_items[size_t(i)])->exifBadgeRect;
    if (r.right <= r.left || x < r.left || x >= r.right || y < r.top || y >= r.bottom)
        return false;
    if (index)
        *index = i;
    return true;
}

int CSPhotoList::OnSetCursor(int x, int y)
{
    if (ChildFromPoint(x, y))
        return CListSprite::OnSetCursor(x, y);
    if (m_window)
        m_window->SetCursor(ExifBadgeAt(x, y) ? platform::StandardCursor::Hand : platform::StandardCursor::Arrow);
    return 1;
}

int CSPhotoList::OnSpriteMessage(SpriteMessage* message)
{
    if (message->code == int32_t(MSG_THUMB_LOADED) && ::IsTicketAlive(int32_t(message->param1))) {
        {
        platform::ScopedLock lock(m_lock);
        for (CListItem* base : m_items) {
            auto* item = static_cast<CPhotoItem*>(base);
            if (item->ticket != uint32_t(message->param1))
                continue;
            ThumbnailLoaderLock loaders;
            item->needsRedraw = 1;
            item->thumbRequested = 0;
            FreeImageBuffer(item->cachedPicture);
            break;
        }
        }
        Redraw();
    }
    return CListSprite::OnSpriteMessage(message);
}
