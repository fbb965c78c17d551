// The sprite base classes: every element of the user interface is a sprite with a rectangle in
// its parent's coordinates, an own BGRA image redrawn when it changes, owned children and a
// z-level. CSprite draws and keeps the tree, CAnimationSprite adds a timed animation,
// CMessageSprite input, focus and sprite messages; CDialogControl and CPopupSprite build on it.
//
// Threads: the render thread runs Update, OnDraw and Compose; the UI thread creates, changes
// and destroys sprites. Flags shared by both are atomics; the rectangle, the images and the
// child list change only under the sprite's lock (parent before child).
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Sync.h"
#include "platform/Text.h"
#include "platform/Window.h"
#include "ui/SpriteMessage.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

class CRenderWindow;

using SRect = platform::Rect;   // left, top inclusive; right, bottom exclusive
using SPoint = platform::Point;

// Sprite flags.
constexpr uint32_t SF_INPUT = 0x2;           // takes input, focus and sprite messages
constexpr uint32_t SF_NO_MOUSE_FOCUS = 0x8;  // a focus received by mouse shows no mark
constexpr uint32_t SF_DIM_POPUP = 0x20;      // a popup that may ask for the dimmed base layer

// Added to the key flags of a mouse event delivered because the sprite holds the capture.
constexpr uint32_t kCaptureDelivery = 0x40000000;

constexpr int kTileSize = 64;

// The toolkit's 8-bit blend of a row of source pixels over target pixels at an opacity; the
// results equal the AlphaTables formula t1[k][s] + t2[k][d] with k = t1[opacity][s.alpha].
void BlendRowOver(uint8_t* __restrict target, const uint8_t* __restrict source, int count, int opacity);

class CSprite {
public:
    CSprite();
    virtual ~CSprite();
    CSprite(const CSprite&) = delete;
    CSprite& operator=(const CSprite&) = delete;

    virtual int Update(uint32_t time);
    virtual void SetPos(int x, int y, int width, int height);
    virtual SRect GetFocusRect(); // window coordinates; empty = the whole sprite
    virtual int OnCreate() { return 1; }
    virtual int HasContentIn(const SRect& /*own*/) { return 1; }
    // 1 when every pixel of the own rectangle is opaque (alpha 255); the compose pass then
    // skips whatever lies below. Called with the sprite's lock held.
    virtual int IsOpaqueIn(const SRect& /*own*/) { return 0; }
    virtual int OnDraw(uint32_t /*time*/) { return 0; }
    virtual void ReleaseResources(int flag);

    int Create(CSprite* parent, CRenderWindow* window, int32_t id, int32_t zLevel, int left,
               int top, int right, int bottom);
    // Appends a created child under this sprite's lock; the child is owned from then on.
    void AddChild(CSprite* child);
    // Takes the child out of the list (under the lock) without releasing it.
    void RemoveChild(CSprite* child);

    // ---- lifetime (ui/README.md, "Retiring sprites") ----
    // A sprite in the window's top-level list, or in the child list of a published sprite, is
    // published: the render thread may be drawing it. A published sprite made with new is
    // never deleted in place: its owner calls Retire(), which takes it out of its list (under
    // the parent's lock or RenderLock) and lets the window free it on the UI thread after the
    // render thread's next frame. Call it on the UI thread, holding no sprite lock. A sprite
    // that was never published (or whose window is gone) is freed at once.
    void Retire();
    // Published as described above (checked in debug builds when a sprite is destroyed).
    bool IsPublished() const;
    // Where the sprite is listed: kNotListed, kChildListed, kTopLevelListed.
    static constexpr int kNotListed = 0, kChildListed = 1, kTopLevelListed = 2;
    int Listed() const { return m_listed.load(std::memory_order_acquire); }
    void SetListed(int where) { m_listed.store(where, std::memory_order_release); }

    void SetVisible(int visible);
    int IsVisible() const { return m_visible.load(std::memory_order_acquire); }
    int IsShown() const;
    void InvalidateRect(int left, int top, int right, int bottom, int value);
    void Invalidate() { InvalidateRect(0, 0, 0, 0, 1); }
    int EnsureBuffers();
    void Compose(ImageBuffer8& target, const SRect& windowRect);
    uint8_t GetEffectiveOpacity() const;

    SRect LocalToParentRect(const SRect& r) const;
    SRect LocalToWindowRect(const SRect& r) const;
    SPoint LocalToWindowPoint(SPoint p) const;
    SRect WindowToLocalRect(const SRect& r) const;
    SPoint WindowToLocalPoint(SPoint p) const;

    void DiscardImage();
    void DiscardHiddenImages();

    // ---- fields (accessors where the other thread reads them) ----
    platform::CriticalSection& Lock() const { return m_lock; }
    CRenderWindow* Window() const { return m_window; }
    CSprite* Parent() const { return m_parent; }
    const std::vector<CSprite*>& Children() const { return m_children; }
    SRect Rect() const;
    void SetRect(const SRect& r);
    int Width() const { SRect r = Rect(); return r.Width(); }
    int Height() const { SRect r = Rect(); return r.Height(); }
    int32_t Ticket() const { return m_ticket; }
    int32_t Id() const { return m_id; }
    uint32_t Flags() const { return m_flags.load(std::memory_order_acquire); }
    void SetFlags(uint32_t f) { m_flags.store(f, std::memory_order_release); }
    int32_t ZLevel() const { return m_zLevel.load(std::memory_order_acquire); }
    void SetZLevel(int32_t z) { m_zLevel.store(z, std::memory_order_release); }
    int Opacity() const { return m_opacity.load(std::memory_order_acquire); }
    void SetOpacity(int o) { m_opacity.store(o < 0 ? 0 : o > 255 ? 255 : o, std::memory_order_release); }
    int AllDirty() const { return m_allDirty.load(std::memory_order_acquire); }
    // Marks (or clears) the whole own image for redrawing; marking asks the window for a frame.
    void SetAllDirty(int v = 1);
    int Finished() const { return m_finished.load(std::memory_order_acquire); }
    void SetFinished(int v) { m_finished.store(v, std::memory_order_release); }
    int AutoDelete() const { return m_autoDelete; }
    void SetAutoDelete(int v) { m_autoDelete = v; }
    int Detached() const { return m_detached.load(std::memory_order_acquire); }
    void SetDetached(int v) { m_detached.store(v, std::memory_order_release); }
    // The own image and tile map; read or change them under Lock().
    ImageBuffer8& Image() { return m_image; }
    const Plane8& TileMap() const { return m_tileMap; }
    uint8_t TileAt(int column, int row) const;

protected:
    mutable platform::CriticalSection m_lock;
    // Guards the tile map's storage only (the bytes are marked atomically): a leaf lock, so that
    // invalidation passes up the tree without taking any sprite's lock.
    mutable std::mutex m_tileLock;
    CRenderWindow* m_window = nullptr;
    CSprite* m_parent = nullptr;
    std::vector<CSprite*> m_children;
    std::atomic<int32_t> m_visible{1};
    std::atomic<int32_t> m_allDirty{1};
    Plane8 m_tileMap;
    ImageBuffer8 m_image;
    int32_t m_ticket = 0;
    std::atomic<uint32_t> m_flags{0};
    int32_t m_id = 0;
    // Written under m_lock; read without it. A read that races a move may mix old and new
    // edges, which every user clips against the image, so it never reaches outside memory.
    std::atomic<int32_t> m_left{0}, m_top{0}, m_right{0}, m_bottom{0};
    std::atomic<int32_t> m_zLevel{0};
    std::atomic<int32_t> m_opacity{255};
    std::atomic<int32_t> m_finished{0};
    int32_t m_autoDelete = 0;
    std::atomic<int32_t> m_detached{0};
    std::atomic<int32_t> m_listed{kNotListed};

private:
    void FreeBuffers();
    void MarkTiles(int left, int top, int right, int bottom, uint8_t value, bool* anyCovered);
};

class CAnimationSprite : public CSprite {
public:
    // Animation states.
    static constexpr int kNone = 0, kFadingIn = 1, kFadingOut = 2;

protected:
    std::atomic<uint32_t> m_startTick{0};
    std::atomic<uint32_t> m_endTick{0};
    std::atomic<int32_t> m_animState{kNone};
    std::atomic<int32_t> m_animValue{0};
};

class CMessageSprite : public CAnimationSprite {
public:
    virtual void OnMouseWheel(int x, int y, int delta);
    virtual void OnMouseMove(int x, int y, uint32_t keyFlags);
    virtual void OnLButtonDown(int x, int y, uint32_t keyFlags);
    virtual void OnLButtonUp(int x, int y, uint32_t keyFlags);
    virtual void OnRButtonDown(int x, int y, uint32_t keyFlags);
    virtual void OnRButtonUp(int x, int y, uint32_t keyFlags);
    virtual void OnLButtonDblClk(int x, int y, uint32_t keyFlags);
    virtual void OnChar(uint32_t /*character*/, uint32_t /*repeat*/, uint32_t /*flags*/) {}
    virtual void OnKeyDown(uint32_t /*key*/, uint32_t /*repeat*/, uint32_t /*flags*/) {}
    virtual void OnKeyUp(uint32_t /*key*/, uint32_t /*flags*/) {}
    virtual int OnNotify(int /*code*/, intptr_t /*p1*/, intptr_t /*p2*/) { return 0; }
    virtual int CanFocus() { return 0; }
    virtual int ShowFocusMark() { return CanFocus(); }
    // Edit-type controls answer 1: while such a sprite has the focus the window takes text
    // through the input method (composition, candidate window at its caret).
    virtual int WantsTextInput() { return 0; }
    virtual void OnCaptureReleased() {}
    virtual int OnSetCursor(int x, int y);
    virtual int OnSpriteMessage(SpriteMessage* message);
    virtual int QueryDropFiles(int x, int y);
    virtual int OnDropFiles(int x, int y, const std::vector<platform::String16>* files);

    CMessageSprite* ChildFromPoint(int x, int y) const;
    int PropagateState(int state);
    int PostSpriteMessage(int32_t code, intptr_t param1, intptr_t param2, CSprite* sender);
    void CollectFocusable(std::vector<CMessageSprite*>& list);

    int State() const { return m_state.load(std::memory_order_acquire); }
    int Enabled() const { return m_enabled.load(std::memory_order_acquire); }
    void SetEnabled(int e) { m_enabled.store(e, std::memory_order_release); }

protected:
    std::atomic<int32_t> m_state{0};
    int32_t m_propagationChild = -1;
    std::atomic<int32_t> m_enabled{1};

private:
    template <class F>
    bool ForwardToChild(int x, int y, F&& call) const;
};

class CDialogControl : public CMessageSprite {
public:
    virtual void GetText(char16_t* buffer, int capacity, int flag);
    virtual void SetText(const char16_t* /*text*/) {}
};

class CPopupSprite : public CMessageSprite {
public:
    virtual void OnPopup();
    // A dialog with flag SF_DIM_POPUP that wants the greyed window behind it.
    virtual int WantsDimmedBackground() { return 0; }
};

// The render window that sprites and posters find globally (null before and after its life).
extern std::atomic<CRenderWindow*> g_pRenderWindow;
extern std::atomic<CRenderWindow*> g_pLiveRenderWindow;
