// The render window: the program's one platform window, whose client area the program draws
// itself. It keeps a logical back buffer (client size / display scale), a map of dirty 64 x 64
// tiles, the top-level sprites and five member sprites; a render thread updates the sprite tree,
// composes the dirty tiles and presents them every 30 ms. Its input side (mouse, keys, focus,
// modal stack, capture, accelerators, drops) is in RenderInput.cpp.
#pragma once

#include "algorithms/AlgorithmThread.h"
#include "imaging/ImageBuffer.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/Window.h"
#include "ui/Sprite.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <memory>
#include <thread>
#include <vector>

// Where a popup menu opens: x of its left edge and the two directions it draws in.
struct MenuPlacement {
    int x = 0;
    bool downwards = true;
    bool rightwards = true;
};
// The direction rules of a tracked menu in a logical client area.
MenuPlacement PlacePopupMenu(int menuWidth, int menuHeight, bool downwards, bool rightwards, int x, int y,
                             int logicalWidth, int logicalHeight);

class CFrame;
class CSProgress;
class CSTip;
class CSFocusIndicate;
class CDialogBaseLayer;

// Accelerators, the capture and the focus hold the sprite with its ticket: a new sprite at a
// recycled address never inherits the old one's keys, capture or focus.
struct Accelerator {
    CMessageSprite* sprite = nullptr;
    int32_t ticket = 0;
    uint32_t key = 0;
    int32_t shift = 0;
    int32_t ctrl = 0;
    int32_t alt = 0;
};

struct RenderWindowOptions {
    platform::BackendKind backend = platform::BackendKind::Headless;
    platform::WindowOptions window;
    // Tests that pump RenderFrame themselves leave the thread off.
    bool startRenderThread = true;
    bool maximize = true;
};

constexpr int kFramePeriodMs = 30;
constexpr int kFullRedrawEvery = 333;
constexpr uint32_t kCaptureTimerId = 99;
// Frames in a row with nothing to draw after which the render thread sleeps until asked.
constexpr int kQuietFramesBeforeSleep = 3;
// Window message: retired sprites whose frame fence may have passed (wParam, lParam unused).
constexpr uint32_t WM_SPRITE_RETIRED = 0x501;

class CRenderWindow : public platform::WindowListener, public CAlgorithmHost {
public:
    CRenderWindow();
    ~CRenderWindow() override;
    CRenderWindow(const CRenderWindow&) = delete;
    CRenderWindow& operator=(const CRenderWindow&) = delete;

    // Creates the platform window and runs the creation and initialisation steps: 1 when the
    // window stands, 0 when it was refused (the "errinit" box has been shown).
    int Open(const RenderWindowOptions& options);
    // The end of the window: stops the render thread and workers, then closes the platform window.
    void Destroy();
    platform::Window* PlatformWindow() const { return m_platform.get(); }

    // ---- overridable steps ----
    virtual int OnCreate();
    virtual int OnInitDialog();
    virtual void OnLayout(int logicalWidth, int logicalHeight);
    virtual void OnFocusMoved(int x, int y);
    // Text input through the input method is on exactly while the focus wants it.
    int TextInputOn() const { return m_textInputOn ? 1 : 0; }
    // The user asked to close the window (title bar button, window manager).
    virtual void OnCloseRequest();
    // Window messages other than sprite messages (WM_SPRITE_BUTTON and the program's own).
    virtual void OnWindowMessage(uint32_t /*message*/, uintptr_t /*wParam*/, intptr_t /*lParam*/) {}
    // Timers other than the capture timer.
    virtual void OnWindowTimer(uint32_t /*id*/) {}

    // ---- output ----
    void SetWindowReady(int ready) { m_windowReady.store(ready, std::memory_order_release); }
    int WindowReady() const { return m_windowReady.load(std::memory_order_acquire); }
    // One frame: update, compose the dirty tiles and present them. Nonzero when the frame had
    // something to do (a sprite changed, a tile was composed, or another frame was asked for).
    int RenderFrame(uint32_t time);
    // Asks the render thread for a frame soon (any thread): it sleeps while nothing changes.
    void RequestFrame();
    // Asks for a frame in `ms` milliseconds (a caret's next blink), even while nothing else
    // moves; any thread.
    void RequestFrameIn(uint32_t ms);
    // Frames the render thread has finished (the retire fence counts these).
    uint64_t FramesDone() const { return m_framesDone.load(std::memory_order_acquire); }
    // Times the render thread went to sleep and woke up again (tests of idleness).
    uint64_t RenderSleeps() const { return m_renderSleeps.load(std::memory_order_acquire); }
    bool RenderThreadSleeping() const { return m_renderSleeping.load(std::memory_order_acquire); }
    void ComposeTile(const SRect& tile);
    // Adds a composed rectangle of the back buffer to this frame's present list (enlarged to
    // window pixels first at display scale 1.5 and 2); PresentFrame shows the list as one update.
    void PresentRect(const SRect& rect);
    void PresentFrame();
    void InvalidateWindowRect(int left, int top, int right, int bottom);
    void InvalidateAll();
    void SortDrawList();
    void BeginBusy(SRect rect);
    void EndBusy();
    void ShowTooltip(int x, int y, const char16_t* text, bool rightAligned, bool opaque = false);
    void ShowTooltipImage(int x, int y, const ImageBuffer8& image);
    void HideTooltip();
    // Opens a built menu: the menu (its own part builds its items and keeps owner and anchor)
    // is placed as a full-height column at the chosen x and pushed on the modal stack.
    MenuPlacement TrackPopupMenu(CPopupSprite* menu, int menuWidth, int menuHeight, bool downwards,
                                 bool rightwards, int x, int y);
    void PlayClickWave();
    void PlayFadeEffect(const ImageBuffer8* image, int left, int top, int right, int bottom);
    int CopyBackBufferRect(SRect rect, ImageBuffer8& image);
    void FinishTopLevelSprite(CSprite* sprite);
    // Appends a created top-level sprite (under RenderLock); it is published from then on.
    void AddTopLevel(CSprite* sprite);
    // Takes a sprite out of the top-level and draw lists at once, under RenderLock.
    void ForgetTopLevel(CSprite* sprite);
    // ForgetTopLevel and the sprite's area marked for redrawing: when it returns the render
    // thread no longer reaches the sprite. The owner keeps it (a dialog on the stack).
    void Withdraw(CSprite* sprite);
    // Takes a withdrawn sprite to be released and freed on the UI thread after the render
    // thread's next frame. False when the window cannot take it (the caller frees it).
    bool QueueRetired(CSprite* sprite);
    // Frees the retired sprites whose fence has passed (all of them with `all`); UI thread.
    void FreeRetired(bool all);
    size_t RetiredCount() const;
    // True on the thread that opened the window.
    bool OnUiThread() const;
    // A sprite was hidden (UI thread): the focus marker goes when its target is inside it.
    void OnSpriteHidden(CSprite* sprite);
    int PhysicalToLogicalX(int x) const;
    int PhysicalToLogicalY(int y) const;
    SPoint PhysicalToLogicalPoint(SPoint p) const;
    void SetCursor(platform::StandardCursor cursor);

    // ---- input (RenderInput.cpp) ----
    CMessageSprite* SpriteFromPoint(int x, int y);
    void SetCapture(CMessageSprite* sprite);
    void ReleaseCapture(CMessageSprite* sprite);
    CMessageSprite* SetFocus(CMessageSprite* sprite, bool fromKeyboard);
    CMessageSprite* Focus() const;
    void UpdateFocusIndicator(bool fromKeyboard);
    void CycleFocus(bool backwards);
    void AddAccelerator(CMessageSprite* sprite, uint32_t key, int shift, int ctrl);
    void RemoveAccelerators(CSprite* sprite);
    int DispatchAccelerator(uint32_t key);
    void PushModal(CPopupSprite* popup);
    void PopModal(CPopupSprite* popup);
    int IsInTopModal(const CSprite* sprite) const;
    CPopupSprite* TopModal() const { return m_modal.empty() ? nullptr : m_modal.back(); }
    int QueryDropFiles(SPoint logical);
    int DropFilesAt(const std::vector<platform::String16>* files, int x, int y);
    // Drops every reference of the input side to a sprite that is going away.
    void ForgetInputSprite(CSprite* sprite);
    std::vector<CMessageSprite*> CaptureList() const;

    // ---- sprite messages ----
    // Queues a record for the UI thread; 0 (record not taken) when the window cannot post.
    int QueueSpriteMessage(SpriteMessage* record);
    int OnSpriteMessage(SpriteMessage* record);
    size_t PendingMessageCount() const;

    // ---- worker threads ----
    void RegisterThreadExitEvent(platform::Event* event);
    void UnregisterThreadExitEvent(platform::Event* event);

    // CAlgorithmHost
    void PostAlgorithmMessage(CMessageSprite* listener, int p1, int p2) override;
    bool IsRenderWindowLive() override;
    void RegisterWorkerExitEvent(platform::Event* event) override { RegisterThreadExitEvent(event); }
    void UnregisterWorkerExitEvent(platform::Event* event) override { UnregisterThreadExitEvent(event); }

    // platform::WindowListener
    void OnEvent(platform::Window& window, const platform::WindowEvent& event) override;
    platform::HitArea HitTest(platform::Point client) override;

    // ---- state for owners and tests ----
    double DisplayScale() const { return m_scale; }
    int LogicalWidth() const { return m_logicalWidth.load(std::memory_order_acquire); }
    int LogicalHeight() const { return m_logicalHeight.load(std::memory_order_acquire); }
    int ClientWidth() const { return m_clientWidth.load(std::memory_order_acquire); }
    int ClientHeight() const { return m_clientHeight.load(std::memory_order_acquire); }
    int WindowActive() const { return m_windowActive.load(std::memory_order_acquire); }
    platform::CriticalSection& RenderLock() { return m_renderLock; }
    const ImageBuffer8& BackBuffer() const { return m_backBuffer; }
    uint8_t TileDirty(int column, int row) const;
    // Marks every tile clean, as presenting them would (benchmarks and tests of invalidation).
    void ClearDirtyTiles();
    // Tiles presented since the window opened; frames that composed anything.
    uint64_t PresentedTiles() const { return m_presentedTiles.load(std::memory_order_acquire); }
    uint64_t PresentedFrames() const { return m_presentedFrames.load(std::memory_order_acquire); }
    // Calls of the platform's present (one per frame that composed anything), and the parts of
    // the last one (render thread, or the test pumping RenderFrame).
    uint64_t PresentCalls() const { return m_presentCalls.load(std::memory_order_acquire); }
    const std::vector<platform::PresentRect>& LastPresentParts() const { return m_presentParts; }
    std::vector<CSprite*> TopLevelSprites();
    CFrame* Frame() const { return m_frame.get(); }
    CSProgress* BusyIndicator() const { return m_busy.get(); }
    CSTip* Tooltip() const { return m_tip.get(); }
    CSFocusIndicate* FocusMarker() const { return m_focusMarker.get(); }
    CDialogBaseLayer* DialogBaseLayer() const { return m_baseLayer.get(); }

protected:
    // Mouse and key handlers of the platform events.
    void OnMouseEvent(const platform::WindowEvent& event);
    void OnWheel(const platform::WindowEvent& event);
    void OnKeyDown(const platform::WindowEvent& event);
    void OnKeyUp(const platform::WindowEvent& event);
    void OnChar(const platform::WindowEvent& event);
    void OnTimer(uint32_t id);
    void OnSize(const platform::WindowEvent& event);
    void OnActivate(bool active);
    void HandleSetCursor();
    void PlaceTooltip(int x, int y, int width, int height);
    bool KeyTargetOk(CMessageSprite* sprite) const;

private:
    struct TileMap;
    void RenderThreadProc();
    void OnDestroy();
    void MarkAllTiles();
    TileMap* CurrentTiles() const { return m_tiles.load(std::memory_order_acquire); }
    void EnsureTileMap(int columns, int rows);
    void CleanTopLevelList();
    void FreePendingMessages();

    std::unique_ptr<platform::Window> m_platform;
    platform::CriticalSection m_renderLock;
    mutable platform::CriticalSection m_drawListLock;
    // Held while the back buffer is copied to the screen, outside RenderLock; a compose into the
    // back buffer from the UI thread (the snapshot behind a dimmed dialog) takes it too.
    platform::CriticalSection m_presentLock;
    mutable platform::CriticalSection m_messageLock;
    platform::CriticalSection m_exitEventsLock;

    std::unique_ptr<CSFocusIndicate> m_focusMarker;
    std::vector<CPopupSprite*> m_modal;
    std::deque<SpriteMessage*> m_pending;
    std::unique_ptr<CDialogBaseLayer> m_baseLayer;
    double m_scale = 1.0;
    std::atomic<int> m_clientWidth{0}, m_clientHeight{0};
    std::atomic<int> m_logicalWidth{0}, m_logicalHeight{0};
    ImageBuffer8 m_scaledBlock;
    // At display scales other than 1: the window-pixel image the present list is copied from.
    ImageBuffer8 m_scaledBack;
    std::vector<platform::PresentRect> m_presentParts;
    bool m_textInputOn = false;
    void UpdateTextInput();
    bool m_presentPending = false;
    std::atomic<int> m_windowReady{0};
    std::vector<Accelerator> m_accelerators;
    struct Held {
        CMessageSprite* sprite;
        int32_t ticket;
    };
    // Alive when the ticket still names the pointer.
    static bool HeldAlive(const Held& h);
    int CaptureIndex(const CSprite* sprite) const;
    void HideFocusMarker();
    std::vector<platform::Event*> m_threadExitEvents;
    std::unique_ptr<CSProgress> m_busy;
    ImageBuffer8 m_backBuffer;
    // Sized from the back buffer (at least 200 x 200 tiles); a smaller map replaced by a larger
    // one is kept until the window goes, because the UI thread marks tiles without a lock.
    std::atomic<TileMap*> m_tiles{nullptr};
    std::vector<std::unique_ptr<TileMap>> m_allTileMaps;
    std::vector<CSprite*> m_topLevel;
    std::vector<CSprite*> m_drawList;
    // The sprites a frame composes, with their areas, checked once per frame under RenderLock
    // (a top-level sprite cannot go away while it is held).
    struct ComposeEntry { CSprite* sprite; SRect area; };
    std::vector<ComposeEntry> m_composeList;
    bool m_composeListReady = false;
    void BuildComposeList();
    void ComposeWithoutEffectsLocked();
    std::unique_ptr<CFrame> m_frame;
    std::unique_ptr<CSTip> m_tip;
    std::atomic<int> m_windowActive{0};
    // Written on the UI thread; the render thread only compares with it (a caret's blink).
    std::atomic<CMessageSprite*> m_focus{nullptr};
    std::atomic<int32_t> m_focusTicket{0};
    std::vector<Held> m_capture;
    bool m_captureTimerOn = false;
    void UpdateCaptureTimer();

    // Input side.
    uint32_t m_lastKey = 0;
    uint32_t m_lastKeyTime = 0;
    bool m_inReleaseCapture = false;

    // Render thread.
    std::unique_ptr<platform::Thread> m_renderThread;
    platform::Event m_renderExit{platform::Event::Reset::Manual, false};
    platform::Event m_wake{platform::Event::Reset::Auto, false};
    std::atomic<bool> m_stopRender{false};
    int m_frameCount = 0;
    std::atomic<uint64_t> m_presentedTiles{0};
    std::atomic<uint64_t> m_presentCalls{0};
    std::atomic<uint64_t> m_presentedFrames{0};
    // Frame fence and idleness.
    std::atomic<uint64_t> m_framesStarted{0};
    std::atomic<uint64_t> m_framesDone{0};
    std::atomic<bool> m_frameRequested{false};
    std::atomic<uint64_t> m_frameDueAt{UINT64_MAX};
    std::atomic<bool> m_renderSleeping{false};
    std::atomic<uint64_t> m_renderSleeps{0};
    std::atomic<bool> m_inFrameLoop{false};
    // Retired sprites, each with the first frame that must finish before it is freed.
    struct Retired {
        CSprite* sprite;
        uint64_t fence;
    };
    mutable std::mutex m_retireLock;
    std::vector<Retired> m_retired;
    std::atomic<bool> m_retirePosted{false};
    void PostRetiredCheck();
    std::atomic<bool> m_destroyed{false};
    bool m_opened = false;
    bool m_startThread = true;
    platform::BackendKind m_backend = platform::BackendKind::Headless;
    std::thread::id m_uiThread;
};
