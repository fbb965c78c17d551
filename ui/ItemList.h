// Item lists: a grid of equal cells, each a picture with a caption, in four view modes. Cells
// glide to new places when the layout changes; single, range and toggle selection, a rubber
// band, a keyboard cursor, drag-to-scroll, the wheel and a vertical scroll bar.
//
// The album's photo grid derives from CListSprite and its thumbnail loaders write pictures into
// the items' `image` (a loader request's target) under their own locks. So the list takes those
// locks, the first loader's before the second's, around deleting items and reading an item's
// image, and the item array itself changes only under the list's lock (render thread reads it).
#pragma once

#include "platform/Sync.h"
#include "ui/MoveOverSprite.h"
#include "ui/ScrollBar.h"

#include <cstdint>
#include <random>
#include <vector>

// The two thumbnail loaders' locks (theThumbLoader.queueLock, theFullLoader.queueLock), set by
// whoever starts the loaders; null (the default) takes nothing.
void SetThumbnailLoaderLocks(platform::CriticalSection* first, platform::CriticalSection* second);

// Holds both loader locks, first before second, released in reverse.
class ThumbnailLoaderLock {
public:
    ThumbnailLoaderLock();
    ~ThumbnailLoaderLock();
    ThumbnailLoaderLock(const ThumbnailLoaderLock&) = delete;
    ThumbnailLoaderLock& operator=(const ThumbnailLoaderLock&) = delete;

private:
    platform::CriticalSection* m_first;
    platform::CriticalSection* m_second;
};

class CListItem {
public:
    static constexpr int kCaptionCapacity = 64;

    CListItem();
    virtual ~CListItem();
    CListItem(const CListItem&) = delete;
    CListItem& operator=(const CListItem&) = delete;

    // Frees the extra images.
    virtual void Clear();
    // The picture at `size` (longer side), cropped to a centred square when asked; null when
    // there is none. Kept as the cached picture until the size changes. Render thread.
    virtual const ImageBuffer8* GetPicture(int size, bool crop);
    // Drops the caption image and the cached picture (the own image stays).
    void FreeCachedImages();

    void SetCaption(const char16_t* text);
    const char16_t* Caption() const { return caption; }

    // A ticket for loader requests (the loaders answer only while it is alive), registered on
    // the first call; released when the item is deleted, which the list does under both loader
    // locks.
    int32_t LoaderTicket();

    char16_t caption[kCaptionCapacity] = {};
    ImageBuffer8 image;                       // own picture; the loaders' target
    const ImageBuffer8* fallback = nullptr;   // not owned
    ImageBuffer8 cachedPicture;
    ImageBuffer8 captionImage;
    std::vector<ImageBuffer8*> extraImages;   // owned, for derived items
    int32_t selected = 0;
    int32_t captionCut = 0;
    int32_t needsRedraw = 1;
    int32_t targetX = -100, targetY = -100;
    int32_t currentX = -100, currentY = -100;
    int32_t cellWidth = 100, cellHeight = 100;
    uint8_t hoverLevel = 0;
    int32_t inView = 0;
    int32_t value = 0;

private:
    int32_t m_ticket = 0;
};

class CListSprite : public CMoveOverSprite {
public:
    static constexpr int kScrollBarWidth = 17;
    static constexpr int kHoverTop = 220;
    // Mouse key flags.
    static constexpr uint32_t kKeyShift = 4, kKeyControl = 8;

    CListSprite();
    ~CListSprite() override;

    // ---- the owner's operations (UI thread) ----
    // Index of the new item, or -1 when it cannot be made or the picture not copied. Does not
    // lay out: SetViewMode, Layout or Sort follow.
    virtual int AddItem(const char16_t* caption, const ImageBuffer8* picture, int32_t value);
    virtual void Sort();
    virtual CListItem* CreateItem();
    void SetViewMode(int mode);
    void Layout(bool snap);
    void RemoveAll();
    // Mode 0 single, 1 range, 2 toggle, 3 single even when already selected.
    void SelectItem(int index, int mode);
    void SelectInBand();
    void EnsureItemVisible(int index);
    void UpdateScrollBar();

    CListItem* GetItem(int index) const;
    int ItemCount() const;
    int GetFirstSelected() const;
    CListItem* GetNextSelected(const CListItem* item) const;
    int ItemAt(int x, int y) const;
    // The item a message named, or null when the list no longer holds it at that index (the
    // list was refilled between posting and delivery).
    CListItem* ItemFromMessage(intptr_t index, intptr_t item) const;
    // Where the glide's random steps come from; tests seed it.
    void SeedGlide(uint32_t seed) { m_glideRandom.seed(seed); }

    // ---- drawing (render thread) ----
    virtual int MoveItemsStep();
    virtual int DrawItem(int index);
    virtual void DrawItemCaption(int index, const SRect& cell, const SRect& picture);
    virtual void ClearBackground();
    void StepHover(int index);
    int PrepareCellFrame();

    // ---- sprite ----
    void SetPos(int x, int y, int width, int height) override;
    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseWheel(int x, int y, int delta) override;
    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnLButtonUp(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDblClk(int x, int y, uint32_t keyFlags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    void OnCaptureReleased() override;
    int OnSpriteMessage(SpriteMessage* message) override;

    // ---- state for owners and tests ----
    int ViewMode() const { return m_viewMode; }
    int Columns() const { return m_columns; }
    int ContentHeight() const { return m_contentHeight; }
    int CellWidth() const { return m_cellWidth; }
    int CellHeight() const { return m_cellHeight; }
    int ScrollOffset() const { return m_scroll.load(); }
    int CurrentItem() const { return m_current.load(); }
    void SetCurrentItem(int index) { m_current.store(index); }
    int PressState() const { return m_pressState; }
    SRect Band() const { return m_band; }
    CSScrollBar& ScrollBarWidget() { return m_scrollBar; }
    // Cells drawn by the last OnDraw (only those in view are).
    int CellsDrawnLastFrame() const { return m_cellsDrawn; }

    int32_t m_captionMargin = 0;
    int32_t m_animation = 1;
    int32_t m_multiSelection = 1;

protected:
    int PictureSize() const;
    void DeleteItems();
    int ClampedOffset(int64_t offset) const;
    void ScrollTo(int64_t offset);
    bool OnBar(int x, int y) const;
    void PostToOwner(int32_t code, int index);
    void DeselectAllLocked();
    void Redraw();

    std::vector<CListItem*> m_items;
    int32_t m_viewMode = 3;
    int32_t m_contentHeight = 0;
    int32_t m_columns = 1;
    int32_t m_cellWidth = 110;
    int32_t m_cellHeight = 130;
    ImageBuffer8 m_selectedFrame;
    ImageBuffer8 m_plainFrame;
    std::atomic<int32_t> m_scroll{0};
    CSScrollBar m_scrollBar;
    std::atomic<int32_t> m_current{-1};
    int32_t m_pressState = 0;
    SPoint m_press{};
    SRect m_band{};
    int32_t m_pressScroll = 0;
    int32_t m_cellsDrawn = 0;
    bool m_plainBlack = false;        // set by the base ClearBackground
    bool m_fullRedrawOnBlack = false; // this frame redraws everything on it, nothing gliding
    std::minstd_rand m_glideRandom{1};
};
