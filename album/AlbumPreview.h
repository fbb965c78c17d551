// The album's preview: one photo large over the album page. It grows out of its grid cell into a
// darkened view, fits the view (never enlarged), zooms with the wheel in fixed steps around the
// pointer, is dragged when larger than the view, and steps to the previous or next photo of its
// list (arrow keys, a click near the left or right edge, a horizontal swipe) with a short
// cross-fade. Escape, a right click or a click beside the picture closes it.
//
// Threads: the photos are decoded on the preview's own decode thread into a new picture, which
// the UI thread swaps in under the sprite's lock; a failed decode keeps the picture shown. The
// render thread draws the view and runs the cross-fade in OnDraw under the same lock.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Sync.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "ui/Sprite.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CSAlbumPreview : public CMessageSprite {
public:
    static constexpr int32_t kId = 109;
    static constexpr int32_t kZLevel = 4;
    static constexpr int kPathMax = 1023;
    // animState
    static constexpr int kShowing = 0, kOpening = 1, kFading = 2, kFadeDone = 98, kSwitching = 99;
    // hoverZone
    static constexpr int kZoneOutside = -1, kZonePrevious = 0, kZoneNext = 1, kZoneDrag = 10, kZoneWhole = 11;
    static constexpr int kZoomStepCount = 16;
    static const double kZoomSteps[kZoomStepCount];
    // Cursor resources of the edge zones.
    static constexpr int kCursorPrevious = 201, kCursorNext = 202;
    // Private sprite message: a decode finished (param1 = request number).
    static constexpr int32_t kMsgDecoded = 11302;

    // Decodes a whole photo; 1 on success. The default is LoadImage8. Runs on the decode thread.
    using PictureLoader = std::function<int(const char16_t* path, ImageBuffer8& out)>;

    CSAlbumPreview();
    ~CSAlbumPreview() override;

    void SetPictureLoader(PictureLoader loader);

    void ClearPaths();
    void AddPath(const char16_t* path);
    // Makes the first entry equal to the path (exact comparison) the current photo and loads it,
    // waiting with the busy indicator. 1 when it was loaded; without an entry nothing happens.
    int OpenAt(const char16_t* path);
    // The rectangle where the picture would show fitted into the area less one pixel a side.
    SRect FitRect(int left, int top, int right, int bottom) const;
    // Shows the preview over `view` (page coordinates), grows the picture from `from` to `to`,
    // fits it, takes the capture and the focus.
    void Open(const SRect& from, const SRect& to, const SRect& view);
    void Close();
    // Starts the step to the next (or previous) photo, wrapping; the cross-fade starts when the
    // photo has been decoded. 0 when there is nothing to step to.
    int Step(bool forward);
    // Waits until no decode is running and takes its answer; 1 when a picture was swapped in.
    int WaitForDecode();

    void Fit();
    void SetOrigin(int x, int y);
    // One wheel notch at the view point: forward zooms in. 1 when the zoom changed.
    int ZoomAt(int x, int y, bool forward);
    // The zoom step above or below a zoom (no change past the ends).
    static double NextZoomStep(double zoom, bool up);

    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void OnMouseWheel(int x, int y, int delta) override;
    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnLButtonUp(int x, int y, uint32_t keyFlags) override;
    void OnRButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    void OnCaptureReleased() override;
    int OnSetCursor(int x, int y) override;
    int CanFocus() override { return 1; }
    int ShowFocusMark() override { return 0; }
    int OnSpriteMessage(SpriteMessage* message) override;
    void ReleaseResources(int flag) override;

    // ---- state for the album page and tests ----
    const std::vector<platform::String16>& Paths() const { return m_paths; }
    int Index() const { return m_index; }
    double Zoom() const { return m_zoom; }
    SRect VisibleRect() const;
    SRect PictureRect() const;
    int AnimState() const { return m_animState.load(); }
    int FadeStep() const { return m_fadeStep.load(); }
    int HoverZone() const { return m_hoverZone; }
    int PictureWidth() const;
    int PictureHeight() const;
    bool HasPicture() const;
    // The first pixel's B, G, R, A of the picture (tests tell photos apart by it).
    uint32_t PicturePixel(int x, int y) const;
    bool IsDragging() const { return m_dragging; }

    // Pause of each opening frame and of the close (ms).
    int32_t m_framePauseMs = 30;

private:
    struct DecodeRequest {
        uint32_t number = 0;
        platform::String16 path;
    };
    void DecodeLoop();
    void StopDecodeThread();
    void StartDecode(uint32_t number, const platform::String16& path);
    int TakeDecoded(uint32_t number);
    void SwapIn(ImageBuffer8& picture, int newIndex, bool crossFade);
    void DrawView(ImageBuffer8& target);
    void PlaceView(int x, int y);
    SPoint PicturePoint(int x, int y) const;
    void UpdateHover(int x, int y);

    std::vector<platform::String16> m_paths;
    int m_index = 0;
    ImageBuffer8 m_picture;      // under Lock()
    double m_zoom = 1.0;
    SRect m_visible{};
    SRect m_view{};
    SRect m_pictureRect{};
    std::atomic<int32_t> m_animState{kShowing};
    SRect m_animRect{};
    std::atomic<int32_t> m_animWeight{0};
    int m_hoverZone = kZoneOutside;
    bool m_dragging = false;
    SPoint m_dragStart{};
    bool m_pressed = false;
    SPoint m_pressPoint{};
    ImageBuffer8 m_oldView;      // under Lock()
    ImageBuffer8 m_newView;      // under Lock()
    std::atomic<int32_t> m_fadeStep{0};
    std::atomic<int32_t> m_viewDirty{1};

    // The decode thread and its one-slot queue (a newer step replaces a waiting one).
    PictureLoader m_loader;
    std::thread m_decodeThread;
    std::mutex m_decodeMutex;
    std::condition_variable m_decodeWake;
    std::condition_variable m_decodeDone;
    bool m_decodeStop = false;
    bool m_decodeBusy = false;
    bool m_hasRequest = false;
    DecodeRequest m_request;
    uint32_t m_lastRequest = 0;
    int m_requestedIndex = -1;
    uint32_t m_doneNumber = 0;
    int m_doneResult = 0;
    ImageBuffer8 m_decoded;      // under m_decodeMutex
    bool m_answerPending = false;
};
