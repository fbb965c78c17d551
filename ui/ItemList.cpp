// Item lists: layout, gliding, selection, scrolling, keys and the cell drawing.
#include "ui/ItemList.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/RenderWindow.h"
#include "ui/LockOrder.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <string>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>

namespace {

std::atomic<platform::CriticalSection*> g_loaderLockFirst{nullptr};
std::atomic<platform::CriticalSection*> g_loaderLockSecond{nullptr};

constexpr int kClickSlop = 5;
constexpr int kBandDistance = 50;
constexpr int kLineStep = 4;
constexpr uint32_t kKeyEnter = 0x0D, kKeySpace = 0x20, kKeyPageUp = 33, kKeyPageDown = 34, kKeyEnd = 35,
                   kKeyHome = 36, kKeyLeft = 37, kKeyUp = 38, kKeyRight = 39, kKeyDown = 40;

struct CellSize {
    int width, height;
};

// Cell sizes of modes 2 to 4; mode 1 follows the view width.
constexpr CellSize kModeCells[] = {{0, 20}, {240, 60}, {110, 130}, {210, 230}};

char16_t FoldCase(char16_t c)
{
    if (c < 128)
        return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    return char16_t(std::towlower(wint_t(c)));
}

bool CaptionLess(const CListItem* a, const CListItem* b)
{
    const char16_t* p = a->caption;
    const char16_t* q = b->caption;
    for (; *p && *q; ++p, ++q) {
        const char16_t x = FoldCase(*p), y = FoldCase(*q);
        if (x != y)
            return x < y;
    }
    return *p == 0 && *q != 0;
}

// Each of B, G, R of the one-pixel border moves a quarter of the way toward white.
void LightenBorder(ImageBuffer8& picture)
{
    const int w = picture.width, h = picture.height;
    auto lighten = [&](int x, int y) {
        uint8_t* p = picture.data + (size_t(y) * w + x) * 4;
        for (int c = 0; c < 3; ++c)
            p[c] = uint8_t((3 * p[c] + 256) / 4);
    };
    for (int x = 0; x < w; ++x) {
        lighten(x, 0);
        if (h > 1)
            lighten(x, h - 1);
    }
    for (int y = 1; y < h - 1; ++y) {
        lighten(0, y);
        if (w > 1)
            lighten(w - 1, y);
    }
}

// What FillRect8 does with opaque black at alpha 255, row by row: opaque and transparent
// pixels become opaque black, half-transparent ones darken by their alpha.
void FillOpaqueBlack(ImageBuffer8& image, const SRect& r)
{
    const int x0 = std::max(r.left, 0), x1 = std::min(r.right, image.width);
    const int y0 = std::max(r.top, 0), y1 = std::min(r.bottom, image.height);
    for (int y = y0; y < y1; ++y) {
        uint8_t* d = image.data + (size_t(y) * image.width + x0) * 4;
        for (int x = x0; x < x1; ++x, d += 4) {
            if (d[3] == 255 || d[3] == 0) {
                d[0] = d[1] = d[2] = 0;
                d[3] = 255;
            } else {
                for (int c = 0; c < 3; ++c)
                    d[c] = uint8_t(d[c] - d[c] * d[3] / 255);
            }
        }
    }
}

SRect Intersect(const SRect& a, const SRect& b)
{
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

} // namespace

void SetThumbnailLoaderLocks(platform::CriticalSection* first, platform::CriticalSection* second)
{
    if (first)
        first->SetRank(lockorder::kFirstLoader);
    if (second)
        second->SetRank(lockorder::kSecondLoader);
    g_loaderLockFirst.store(first);
    g_loaderLockSecond.store(second);
}

ThumbnailLoaderLock::ThumbnailLoaderLock()
    : m_first(g_loaderLockFirst.load()), m_second(g_loaderLockSecond.load())
{
    if (m_first)
        m_first->Lock();
    if (m_second)
        m_second->Lock();
}

ThumbnailLoaderLock::~ThumbnailLoaderLock()
{
    if (m_second)
        m_second->Unlock();
    if (m_first)
        m_first->Unlock();
}

// ---------------------------------------------------------------------------------------------
// CListItem

CListItem::CListItem() = default;

CListItem::~CListItem()
{
    CListItem::Clear();
    FreeImageBuffer(image);
    FreeImageBuffer(cachedPicture);
    FreeImageBuffer(captionImage);
    if (m_ticket)
        ReleaseTicket(m_ticket);
}

void CListItem::Clear()
{
    for (ImageBuffer8* extra : extraImages)
        DeleteImage8(extra);
    extraImages.clear();
}

void CListItem::FreeCachedImages()
{
    FreeImageBuffer(captionImage);
    FreeImageBuffer(cachedPicture);
}

void CListItem::SetCaption(const char16_t* text)
{
    CopyTextBounded(caption, kCaptionCapacity, text);
}

int32_t CListItem::LoaderTicket()
{
    if (!m_ticket)
        m_ticket = RegisterTicket(this);
    return m_ticket;
}

const ImageBuffer8* CListItem::GetPicture(int size, bool crop)
{
    if (size <= 0)
        return nullptr;
    if (cachedPicture.data && std::max(cachedPicture.width, cachedPicture.height) == size)
        return &cachedPicture;
    bool own;
    {
        // The loaders write `image` under their locks.
        ThumbnailLoaderLock loaders;
        own = image.pixelCount > 0;
        const ImageBuffer8* source = own ? &image : fallback && fallback->pixelCount ? fallback : nullptr;
        if (!source)
            return nullptr;
        const int w = source->width, h = source->height;
        const int longer = std::max(w, h), shorter = std::min(w, h);
        int ok;
        if (longer <= size) {
            ok = CopyImage8(cachedPicture, *source);
        } else if (crop && shorter > size) {
            const int left = (w - shorter) / 2, top = (h - shorter) / 2;
            ok = ResizeImage8(*source, cachedPicture, size, size, 2, left, top, left + shorter, top + shorter);
        } else {
            const int nw = w >= h ? size : std::max(1, int(int64_t(w) * size / h));
            const int nh = w >= h ? std::max(1, int(int64_t(h) * size / w)) : size;
            ok = ResizeImage8(*source, cachedPicture, nw, nh, 2);
        }
        if (!ok) {
            FreeImageBuffer(cachedPicture);
            return nullptr;
        }
    }
    if (own)
        LightenBorder(cachedPicture);
    return &cachedPicture;
}

// ---------------------------------------------------------------------------------------------
// CListSprite

CListSprite::CListSprite()
{
    m_normalOpacity = 255;
    m_hoverOpacity = 255;
    SetOpacity(255);
}

CListSprite::~CListSprite()
{
    RemoveChild(&m_scrollBar); // a member: released here, never deleted
    m_scrollBar.ReleaseResources(1);
    {
        platform::ScopedLock lock(m_lock);
        ThumbnailLoaderLock loaders;
        DeleteItems(); // normally gone with ReleaseResources already
    }
    FreeImageBuffer(m_selectedFrame);
    FreeImageBuffer(m_plainFrame);
}

int CListSprite::OnCreate()
{
    if (!m_scrollBar.Create(this, m_window, 1, 3, 0, 0, kScrollBarWidth, 100))
        return 0;
    m_scrollBar.SetVisible(0);
    AddChild(&m_scrollBar);
    return 1;
}

CListItem* CListSprite::CreateItem()
{
    return new (std::nothrow) CListItem;
}

int CListSprite::AddItem(const char16_t* caption, const ImageBuffer8* picture, int32_t value)
{
    CListItem* item = CreateItem();
    if (!item)
        return -1;
    item->SetCaption(caption);
    item->value = value;
    if (picture && picture->pixelCount && !CopyImage8(item->image, *picture)) {
        delete item;
        return -1;
    }
    platform::ScopedLock lock(m_lock);
    m_items.push_back(item);
    return int(m_items.size()) - 1;
}

void CListSprite::DeleteItems()
{
    for (CListItem* item : m_items) {
        item->Clear();
        delete item;
    }
    m_items.clear();
}

void CListSprite::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        ThumbnailLoaderLock loaders;
        DeleteItems();
        m_current.store(-1);
    }
    if (flag) {
        RemoveChild(&m_scrollBar);
        m_scrollBar.ReleaseResources(flag);
        CSprite::ReleaseResources(flag);
    }
}

void CListSprite::RemoveAll()
{
    {
        platform::ScopedLock lock(m_lock);
        ThumbnailLoaderLock loaders;
        DeleteItems();
        // An index kept across a refill would name whatever item comes to stand there.
        m_current.store(-1);
        m_pressState = 0;
        m_band = {};
        m_contentHeight = 0;
        m_scroll.store(0);
    }
    UpdateScrollBar();
    Redraw();
}

CListItem* CListSprite::GetItem(int index) const
{
    platform::ScopedLock lock(m_lock);
    return index >= 0 && index < int(m_items.size()) ? m_items[index] : nullptr;
}

int CListSprite::ItemCount() const
{
    platform::ScopedLock lock(m_lock);
    return int(m_items.size());
}

int CListSprite::GetFirstSelected() const
{
    platform::ScopedLock lock(m_lock);
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->selected)
            return int(i);
    return -1;
}

CListItem* CListSprite::GetNextSelected(const CListItem* item) const
{
    platform::ScopedLock lock(m_lock);
    size_t start = 0;
    if (item) {
        const auto it = std::find(m_items.begin(), m_items.end(), item);
        if (it != m_items.end())
            start = size_t(it - m_items.begin()) + 1;
    }
    for (size_t i = start; i < m_items.size(); ++i)
        if (m_items[i]->selected)
            return m_items[i];
    return nullptr;
}

CListItem* CListSprite::ItemFromMessage(intptr_t index, intptr_t item) const
{
    platform::ScopedLock lock(m_lock);
    if (index < 0 || index >= intptr_t(m_items.size()))
        return nullptr;
    CListItem* live = m_items[size_t(index)];
    return reinterpret_cast<intptr_t>(live) == item ? live : nullptr;
}

void CListSprite::Sort()
{
    {
        platform::ScopedLock lock(m_lock);
        if (m_items.size() < 2)
            return;
        std::stable_sort(m_items.begin(), m_items.end(), CaptionLess);
    }
    Layout(true);
    Redraw();
}

void CListSprite::SetViewMode(int mode)
{
    {
        platform::ScopedLock lock(m_lock);
        m_viewMode = mode;
    }
    Layout(false);
    {
        platform::ScopedLock lock(m_lock);
        for (CListItem* item : m_items)
            item->FreeCachedImages();
        m_scroll.store(0);
    }
    UpdateScrollBar();
    Redraw();
}

void CListSprite::Layout(bool snap)
{
    {
        platform::ScopedLock lock(m_lock);
        const int width = Width();
        if (m_viewMode == 1) {
            // At least one pixel: a view two pixels wide or less would give no cell at all.
            m_cellWidth = std::max(1, width - 2);
            m_cellHeight = kModeCells[0].height;
        } else if (m_viewMode >= 2 && m_viewMode <= 4) {
            m_cellWidth = kModeCells[m_viewMode - 1].width;
            m_cellHeight = kModeCells[m_viewMode - 1].height;
        }
        const int cellW = std::max(1, m_cellWidth);
        m_columns = std::max(1, (width + 10) / cellW);
        const int64_t rows = (int64_t(m_items.size()) + m_columns - 1) / m_columns;
        m_contentHeight = int(std::min<int64_t>(rows * m_cellHeight, INT_MAX));
        for (size_t i = 0; i < m_items.size(); ++i) {
            CListItem* item = m_items[i];
            item->targetX = int(m_cellWidth * int64_t(i % size_t(m_columns)));
            item->targetY = int(std::min<int64_t>(m_cellHeight * int64_t(i / size_t(m_columns)), INT_MAX - m_cellHeight));
            item->cellWidth = m_cellWidth;
            item->cellHeight = m_cellHeight;
            if (snap) {
                item->currentX = item->targetX;
                item->currentY = item->targetY;
            }
        }
        FreeImageBuffer(m_selectedFrame);
    }
    UpdateScrollBar();
}

int CListSprite::ClampedOffset(int64_t offset) const
{
    offset = std::min<int64_t>(offset, int64_t(m_contentHeight) - Height());
    return int(std::max<int64_t>(offset, 0));
}

void CListSprite::ScrollTo(int64_t offset)
{
    m_scroll.store(ClampedOffset(offset));
    Redraw();
    UpdateScrollBar();
}

void CListSprite::UpdateScrollBar()
{
    const int view = Height();
    const int offset = ClampedOffset(m_scroll.load());
    m_scroll.store(offset);
    const bool shown = view > 0 && view < m_contentHeight;
    if (shown) {
        m_scrollBar.m_minimum.store(0);
        m_scrollBar.m_maximum.store(m_contentHeight);
        m_scrollBar.m_page.store(view);
        m_scrollBar.m_position.store(offset);
        m_scrollBar.SetAllDirty(1);
    }
    if (shown != (m_scrollBar.IsVisible() != 0))
        m_scrollBar.SetVisible(shown ? 1 : 0);
}

void CListSprite::EnsureItemVisible(int index)
{
    int64_t offset = m_scroll.load();
    {
        platform::ScopedLock lock(m_lock);
        if (index < 0 || index >= int(m_items.size()))
            return;
        const int64_t y = m_items[index]->targetY;
        if (y < offset)
            offset = y;
        if (y + m_cellHeight > offset + Height())
            offset = y + m_cellHeight - Height();
    }
    const int clamped = ClampedOffset(offset);
    if (clamped == m_scroll.load())
        return;
    m_scroll.store(clamped);
    Redraw();
    UpdateScrollBar();
}

void CListSprite::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    Redraw();
    m_scrollBar.SetPos(width - kScrollBarWidth, 0, kScrollBarWidth, height);
    m_scroll.store(0);
    Layout(false);
}

// ---- selection ------------------------------------------------------------------------------

void CListSprite::Redraw()
{
    // Under the lock: the frame reads and clears the mark under it, so a mark set between the
    // two would be lost and the change shown a frame late, or not until the next one.
    platform::ScopedLock lock(m_lock);
    SetAllDirty(1);
}

void CListSprite::DeselectAllLocked()
{
    for (CListItem* item : m_items)
        if (item->selected) {
            item->selected = 0;
            item->needsRedraw = 1;
        }
}

void CListSprite::PostToOwner(int32_t code, int index)
{
    CListItem* item = GetItem(index);
    PostToParent(code, item ? index : -1, reinterpret_cast<intptr_t>(item));
}

void CListSprite::SelectItem(int index, int mode)
{
    if (!m_multiSelection)
        mode = 0;
    {
        platform::ScopedLock lock(m_lock);
        const int count = int(m_items.size());
        if (index < 0 || index >= count) {
            // Nothing to select there: the selection is cleared rather than a missing item touched.
            DeselectAllLocked();
        } else if (mode == 0 || mode == 3) {
            if (mode == 0 && m_items[index]->selected)
                return;
            DeselectAllLocked();
            m_items[index]->selected = 1;
            m_items[index]->needsRedraw = 1;
        } else if (mode == 1) {
            int from = index, to = index;
            int before = -1;
            for (int i = 0; i < index && before < 0; ++i)
                if (m_items[i]->selected)
                    before = i;
            if (before >= 0) {
                from = before;
            } else {
                for (int i = index + 1; i < count; ++i)
                    if (m_items[i]->selected) {
                        to = i - 1;
                        break;
                    }
            }
            for (int i = from; i <= to; ++i)
                if (!m_items[i]->selected) {
                    m_items[i]->selected = 1;
                    m_items[i]->needsRedraw = 1;
                }
        } else {
            m_items[index]->selected = m_items[index]->selected ? 0 : 1;
            m_items[index]->needsRedraw = 1;
        }
    }
    PostToOwner(MSG_LIST_SELECT, index);
}

void CListSprite::SelectInBand()
{
    {
        platform::ScopedLock lock(m_lock);
        const int offset = m_scroll.load();
        for (CListItem* item : m_items) {
            const int64_t cx = int64_t(item->currentX) + item->cellWidth / 2;
            const int64_t cy = int64_t(item->currentY) - offset + item->cellHeight / 2;
            const int inside = cx >= m_band.left && cx < m_band.right && cy >= m_band.top && cy < m_band.bottom;
            if (item->selected != inside) {
                item->selected = inside;
                item->needsRedraw = 1;
            }
        }
    }
    Redraw();
}

int CListSprite::ItemAt(int x, int y) const
{
    platform::ScopedLock lock(m_lock);
    const int64_t cy = int64_t(y) + m_scroll.load();
    for (size_t i = 0; i < m_items.size(); ++i) {
        const CListItem* item = m_items[i];
        if (x >= item->currentX + 5 && x < int64_t(item->currentX) + item->cellWidth - 5 &&
            cy >= item->currentY + 5 && cy < int64_t(item->currentY) + item->cellHeight - 5)
            return int(i);
    }
    return -1;
}

// ---- drawing --------------------------------------------------------------------------------

int CListSprite::MoveItemsStep()
{
    if (!m_animation) {
        for (CListItem* item : m_items) {
            item->currentX = item->targetX;
            item->currentY = item->targetY;
        }
        return 0;
    }
    const int offset = m_scroll.load();
    int moving = 0;
    for (CListItem* item : m_items) {
        if (item->currentX == item->targetX && item->currentY == item->targetY)
            continue;
        ++moving;
        const int top = item->currentY - offset;
        if (top < Height() && top + item->cellHeight > 0)
            InvalidateRect(item->currentX, top, item->currentX + item->cellWidth, top + item->cellHeight, 1);
        if (std::abs(item->currentX - item->targetX) <= 3 || std::abs(item->currentY - item->targetY) <= 3) {
            item->currentX = item->targetX;
            item->currentY = item->targetY;
        } else {
            const int64_t k = int64_t(m_glideRandom() % 10) + 3;
            item->currentX = int((item->currentX * k + int64_t(item->targetX) * 8) / (k + 8));
            item->currentY = int((item->currentY * k + int64_t(item->targetY) * 8) / (k + 8));
        }
        item->needsRedraw = 1;
    }
    return moving;
}

void CListSprite::ClearBackground()
{
    if (!m_image.data)
        return;
    const uint32_t black = 0xFF000000;
    const size_t row = size_t(m_image.width) * 4;
    for (int x = 0; x < m_image.width; ++x)
        std::memcpy(m_image.data + size_t(x) * 4, &black, 4);
    for (int y = 1; y < m_image.height; ++y)
        std::memcpy(m_image.data + y * row, m_image.data, row);
    m_plainBlack = true;
}

int CListSprite::PictureSize() const
{
    return m_viewMode == 2 ? 50 : m_viewMode == 4 ? 200 : 100;
}

int CListSprite::PrepareCellFrame()
{
    if (m_plainFrame.data && m_plainFrame.width == m_cellWidth && m_plainFrame.height == m_cellHeight &&
        m_selectedFrame.data)
        return 1;
    const ImageBuffer8* frame = SharedUiImage(u"roundframe.png");
    if (!frame || !frame->data || m_cellWidth <= 0 || m_cellHeight <= 0)
        return 0;
    if (!AllocImage8(m_plainFrame, m_cellWidth, m_cellHeight))
        return 0;
    TileFrame8(m_plainFrame, *frame, 0, 0);
    if (!CopyImage8(m_selectedFrame, m_plainFrame))
        return 0;
    const int h = m_cellHeight;
    for (int y = 0; y < h && h - y - 40 > 0; ++y) {
        const int add = (h - y - 40) * 128 / h;
        uint8_t* p = m_selectedFrame.data + size_t(y) * m_selectedFrame.width * 4;
        for (int x = 0; x < m_selectedFrame.width; ++x, p += 4)
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(std::min(255, p[c] + add));
    }
    return 1;
}

void CListSprite::StepHover(int index)
{
    CListItem* item = m_items[index];
    const int old = item->hoverLevel;
    int level = old;
    if (index == m_current.load()) {
        if (level < kHoverTop)
            level += 14;
        level = std::min(kHoverTop, std::max(64, level));
        if (level == kHoverTop && old < kHoverTop)
            ::PostSpriteMessage(this, MSG_LIST_HOVER, 1, reinterpret_cast<intptr_t>(item), nullptr);
    } else {
        level /= 2;
        if (old == kHoverTop)
            ::PostSpriteMessage(this, MSG_LIST_HOVER, 0, reinterpret_cast<intptr_t>(item), nullptr);
    }
    if (level != old) {
        item->hoverLevel = uint8_t(level);
        if (!item->selected)
            item->needsRedraw = 1;
    }
}

int CListSprite::DrawItem(int index)
{
    CListItem* item = m_items[index];
    const int viewW = m_image.width, viewH = m_image.height;
    const SRect cell{item->currentX, item->currentY - m_scroll.load(), item->currentX + item->cellWidth,
                     item->currentY - m_scroll.load() + item->cellHeight};
    item->inView = 1;
    if (cell.left >= viewW || cell.top >= viewH || cell.right <= 0 || cell.bottom <= 0) {
        if (item->captionImage.data || item->cachedPicture.data)
            item->FreeCachedImages();
        item->inView = 0;
        return 0;
    }
    if (!item->captionImage.data) {
        bool cut = false;
        const int maxWidth = std::max(1, item->cellWidth - m_captionMargin - 16);
        if (!RenderTextLocked(item->caption[0] ? item->caption : u" ", item->captionImage, nullptr,
                              m_viewMode == 4 ? 14 : 13, maxWidth, &cut))
            return 0;
        item->captionCut = cut ? 1 : 0;
    }
    // Darkening a cell that was just cleared to black changes nothing: skipped on full redraws
    // of the plain background while no cell glides over another.
    if (!m_fullRedrawOnBlack)
        FillRect8(m_image, {cell.left, cell.top, cell.right, cell.bottom}, 0x000000, 128);
    if (!PrepareCellFrame())
        return 0;
    if (item->selected)
        BlendImage8(m_image, m_selectedFrame, cell.left, cell.top, false, 256);
    else if (item->hoverLevel)
        BlendImage8(m_image, m_plainFrame, cell.left, cell.top, false, item->hoverLevel);

    const ImageBuffer8* picture = m_viewMode == 1 ? nullptr : item->GetPicture(PictureSize(), m_viewMode != 4);
    if (picture && picture->data) {
        const int pw = picture->width, ph = picture->height;
        SRect pr;
        if (m_viewMode == 2) {
            pr.left = cell.left + 4 + (50 - pw) / 2;
            pr.top = cell.top + (item->cellHeight - ph) / 2;
        } else {
            pr.left = cell.left + (item->cellWidth - pw) / 2;
            pr.top = cell.bottom - 20 - ph;
        }
        pr.right = pr.left + pw;
        pr.bottom = pr.top + ph;
        const int opacity = item->selected ? 255 : 200;
        if (!item->selected)
            FillOpaqueBlack(m_image, pr);
        BlendImage8(m_image, *picture, pr.left, pr.top, false, opacity == 255 ? 256 : opacity);
        if (m_viewMode != 2) {
            // A reflection of the picture's last lines under it, fading out.
            const int x0 = std::max(0, cell.left + 3), x1 = std::min(viewW, cell.right - 3);
            for (int i = 0; i < 15 && x0 < x1; ++i) {
                const int to = cell.bottom - 20 + i, from = cell.bottom - 20 - i;
                if (to < 0 || to >= viewH || from < 0 || from >= viewH)
                    continue;
                const int f = (160 - i * 160 / 15) * opacity / 255;
                const uint8_t* s = m_image.data + (size_t(from) * viewW + x0) * 4;
                uint8_t* d = m_image.data + (size_t(to) * viewW + x0) * 4;
                for (int x = x0; x < x1; ++x, s += 4, d += 4) {
                    d[0] = uint8_t(s[0] * f / 256);
                    d[1] = uint8_t(s[1] * f / 256);
                    d[2] = uint8_t(s[2] * f / 256);
                    d[3] = 255;
                }
            }
        }
        DrawItemCaption(index, cell, pr);
    }
    InvalidateRect(cell.left, cell.top, cell.right, cell.bottom, 1);
    return 1;
}

void CListSprite::DrawItemCaption(int index, const SRect& cell, const SRect&)
{
    CListItem* item = m_items[index];
    const ImageBuffer8& text = item->captionImage;
    if (!text.data || !m_image.data)
        return;
    const int g = (item->selected ? 255 : 200) * 235 / 256;
    SRect room{cell.left + 8, cell.bottom - text.height - 4, cell.right - 8, 0};
    if (m_viewMode == 2) {
        room.left = cell.left + 58;
        room.top = cell.top + 2;
    }
    room.bottom = room.top + std::min(16, text.height);
    const SRect clip = Intersect(room, {0, 0, m_image.width, m_image.height});
    if (clip.IsEmpty())
        return;
    const uint32_t grey = uint32_t(g) * 0x010101;
    if (text.width < room.Width()) {
        const int x = m_viewMode == 2 ? room.left : room.left + (room.Width() - text.width) / 2;
        FillThroughMask8(m_image, text, x, room.top, grey, {clip.left, clip.top, clip.right, clip.bottom});
        return;
    }
    // Too wide: as much as fits up to 16 pixels before the right edge, then two dots.
    const int end = std::min(cell.right - 16, m_image.width);
    for (int ty = 0; ty < text.height; ++ty) {
        const int y = room.top + ty;
        if (y < clip.top || y >= clip.bottom)
            continue;
        for (int tx = 0; tx < text.width; ++tx) {
            const int x = room.left + tx;
            if (x < 0 || x >= end)
                continue;
            const int c = text.data[(size_t(ty) * text.width + tx) * 4 + 2];
            if (!c)
                continue;
            uint8_t* p = m_image.data + (size_t(y) * m_image.width + x) * 4;
            for (int k = 0; k < 3; ++k)
                p[k] = uint8_t(p[k] + (g - p[k]) * c / 256);
            p[3] = 255;
        }
    }
    const int dotY = clip.bottom - 1;
    for (const int x : {cell.right - 14, cell.right - 10})
        if (x >= 0 && x < m_image.width && dotY >= 0 && dotY < m_image.height) {
            uint8_t* p = m_image.data + (size_t(dotY) * m_image.width + x) * 4;
            p[0] = p[1] = p[2] = uint8_t(g);
            p[3] = 255;
        }
}

int CListSprite::OnDraw(uint32_t time)
{
    CMoveOverSprite::OnDraw(time);
    platform::ScopedLock lock(m_lock);
    m_cellsDrawn = 0;
    m_fullRedrawOnBlack = false;
    if (!m_image.data)
        return 0;
    const bool gliding = MoveItemsStep() != 0;
    if (gliding)
        SetAllDirty(1);
    const bool all = AllDirty() != 0;
    if (all) {
        m_plainBlack = false;
        ClearBackground();
        m_fullRedrawOnBlack = m_plainBlack && !gliding;
        InvalidateRect(0, 0, 0, 0, 1);
        if (m_cellWidth <= 0 || m_items.empty())
            return 1;
        for (CListItem* item : m_items)
            item->needsRedraw = 1;
    }
    int drew = all ? 1 : 0;
    for (int i = 0; i < int(m_items.size()); ++i) {
        StepHover(i);
        CListItem* item = m_items[i];
        if (!item->needsRedraw)
            continue;
        if (DrawItem(i)) {
            ++m_cellsDrawn;
            drew = 1;
        }
        item->needsRedraw = 0;
    }
    if (all && m_pressState == 2 && !m_band.IsEmpty()) {
        FillRect8(m_image, {m_band.left, m_band.top, m_band.right, m_band.bottom}, 0xE6E6E6, 64);
        DrawPen pen;
        DrawRectLines8(m_image, pen, 0x808080, 10, false, m_band.left, m_band.top, m_band.right, m_band.bottom);
    }
    return drew;
}

// ---- scrolling and input --------------------------------------------------------------------

int CListSprite::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->sender == &m_scrollBar) {
        int64_t offset = m_scroll.load();
        if (message->code == MSG_SCROLL_LINE_UP)
            offset = std::max<int64_t>(0, offset - kLineStep);
        else if (message->code == MSG_SCROLL_LINE_DOWN && offset < int64_t(m_contentHeight) - Height())
            offset += kLineStep;
        else if (message->code == MSG_SCROLL_POS)
            offset = m_scrollBar.m_position.load();
        ScrollTo(offset);
    }
    return CMoveOverSprite::OnSpriteMessage(message);
}

void CListSprite::OnMouseWheel(int, int, int delta)
{
    if (!m_image.data)
        return;
    ScrollTo(int64_t(m_scroll.load()) - int16_t(delta));
}

bool CListSprite::OnBar(int x, int y) const
{
    const SRect r = m_scrollBar.Rect();
    return m_scrollBar.IsVisible() && x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void CListSprite::OnMouseMove(int x, int y, uint32_t keyFlags)
{
    if (m_pressState == 0) {
        CMoveOverSprite::OnMouseMove(x, y, keyFlags); // the bar under the point, the hover capture
        if (OnBar(x, y)) {
            // The bar takes its own capture; ours beneath it would come back when the bar lets
            // go and take the next press, wherever the pointer has gone by then.
            m_hovered.store(0);
            if (m_window)
                m_window->ReleaseCapture(this);
            return;
        }
    }
    const bool inside = Inside(x, y);
    if (m_pressState == 1) {
        if (std::abs(x - m_press.x) < kBandDistance) {
            ScrollTo(int64_t(m_press.y) + m_pressScroll - y);
        } else {
            platform::ScopedLock lock(m_lock);
            m_pressState = 2;
        }
    }
    if (m_pressState == 2) {
        {
            platform::ScopedLock lock(m_lock);
            m_band = {std::min(m_press.x, x), std::min(m_press.y, y), std::max(m_press.x, x), std::max(m_press.y, y)};
        }
        SelectInBand();
    }
    if (!inside) {
        if (m_window)
            m_window->HideTooltip();
        return;
    }
    const int index = ItemAt(x, y);
    if (index == m_current.load())
        return;
    m_current.store(index);
    if (m_window && index >= 0) {
        // The caption is copied under the list's lock; the tip is shown after it (the tip is
        // another sprite, and a sprite lock never holds another top-level sprite's).
        std::u16string caption;
        SPoint p{};
        {
            platform::ScopedLock lock(m_lock);
            const CListItem* item = m_items[index];
            if (item->captionCut) {
                caption = item->caption;
                p = LocalToWindowPoint({item->currentX, item->currentY - m_scroll.load() + item->cellHeight});
            }
        }
        if (!caption.empty())
            m_window->ShowTooltip(p.x, p.y, caption.c_str(), false);
        else
            m_window->HideTooltip();
    }
    Redraw();
}

void CListSprite::OnLButtonDown(int x, int y, uint32_t keyFlags)
{
    if (m_window)
        m_window->HideTooltip();
    if (OnBar(x, y)) {
        const SRect r = m_scrollBar.Rect();
        m_scrollBar.OnLButtonDown(x - r.left, y - r.top, keyFlags);
        return;
    }
    {
        platform::ScopedLock lock(m_lock);
        m_pressState = 1;
        m_press = {x, y};
        m_band = {};
        m_pressScroll = m_scroll.load();
    }
    if (m_window)
        m_window->SetCapture(this);
    if (!(keyFlags & kCaptureDelivery))
        CMessageSprite::OnLButtonDown(x, y, keyFlags);
}

void CListSprite::OnLButtonUp(int x, int y, uint32_t keyFlags)
{
    if (m_pressState == 0 && OnBar(x, y)) {
        const SRect r = m_scrollBar.Rect();
        m_scrollBar.OnLButtonUp(x - r.left, y - r.top, keyFlags);
        return;
    }
    if (m_pressState && std::abs(x - m_press.x) < kClickSlop && std::abs(y - m_press.y) < kClickSlop) {
        const int index = ItemAt(x, y);
        if (keyFlags & kKeyControl)
            SelectItem(index, 2);
        else
            SelectItem(index, (keyFlags & kKeyShift) ? 1 : 0);
        // The keys walk on from the clicked item (the pointer may not have moved onto it: after
        // a drag of the scroll bar the cursor was still where the drag began).
        if (index >= 0) {
            m_current.store(index);
            Redraw();
        }
    }
    const bool hadBand = m_pressState == 2;
    {
        platform::ScopedLock lock(m_lock);
        m_pressState = 0;
        m_band = {};
    }
    if (hadBand)
        Redraw();
    if (m_window)
        m_window->ReleaseCapture(this);
    if (!(keyFlags & kCaptureDelivery))
        CMessageSprite::OnLButtonUp(x, y, keyFlags);
}

void CListSprite::OnCaptureReleased()
{
    platform::ScopedLock lock(m_lock);
    if (m_pressState == 2)
        Redraw();
    m_pressState = 0;
    m_band = {};
}

void CListSprite::OnLButtonDblClk(int x, int y, uint32_t)
{
    if (OnBar(x, y))
        return;
    PostToOwner(MSG_LIST_ACTIVATE, ItemAt(x, y));
}

void CListSprite::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    const int count = ItemCount();
    if (count == 0)
        return;
    platform::Window* w = m_window ? m_window->PlatformWindow() : nullptr;
    const int mode = w && w->IsKeyDown(platform::vk::Control) ? 2 : w && w->IsKeyDown(platform::vk::Shift) ? 1 : 0;
    int current = m_current.load();
    if (current >= count)
        current = -1; // left over from a longer list
    const int page = std::max(1, m_cellHeight > 0 ? Height() * m_columns / m_cellHeight : 1);
    int next;
    switch (key) {
    case kKeyEnter:
    case kKeySpace:
        if (current < 0)
            return;
        SelectItem(current, mode);
        if (key == kKeyEnter && mode == 0)
            PostToOwner(MSG_LIST_ACTIVATE, current);
        return;
    case kKeyPageUp: next = current < 0 ? count - 1 : std::max(0, current - page); break;
    case kKeyPageDown: next = current < 0 ? 0 : std::min(count - 1, current + page); break;
    case kKeyEnd:
        if (current == count - 1)
            return;
        next = count - 1;
        break;
    case kKeyHome:
        if (current == 0)
            return;
        next = 0;
        break;
    case kKeyLeft: next = current < 0 ? count - 1 : std::max(0, current - 1); break;
    case kKeyUp: next = current < 0 ? count - 1 : std::max(0, current - m_columns); break;
    case kKeyRight: next = current < 0 ? 0 : std::min(count - 1, current + 1); break;
    case kKeyDown: next = current < 0 ? 0 : std::min(count - 1, current + m_columns); break;
    default: return;
    }
    m_current.store(next);
    EnsureItemVisible(next);
    Redraw();
}
