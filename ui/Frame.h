// The main window's own frame: border and title band drawn from the skin, the close, maximise
// and minimise buttons, and the hit zones by which the window is moved and resized.
#pragma once

#include "ui/Button.h"

class CFrame : public CMessageSprite {
public:
    static constexpr int kBorder = 8;
    static constexpr int kTitleBand = 32;
    static constexpr int kTopBand = 64;
    static constexpr int kMinWidth = 980, kMinHeight = 610;

    CFrame();
    ~CFrame() override;
    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    int HasContentIn(const SRect& own) override;
    void ReleaseResources(int flag) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnSetCursor(int x, int y) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnLButtonDblClk(int x, int y, uint32_t flags) override;

    // Zone = horizontal part + 4 x vertical part (0 near edge, 1 between, 2 far edge).
    static int ZoneAt(int x, int y, int width, int height);
    // What the window system should do at a logical point (move, resize or nothing).
    platform::HitArea HitAreaAt(int x, int y) const;
    void ToggleMaximised();
    // The window rectangle (screen pixels) a drag in `zone` asks for with the pointer at
    // `cursor`: edges follow the pointer while the window stays above 980 x 610, the title band
    // (zone 3) keeps the press point (logical, times the display scale) under the pointer.
    static platform::Rect DraggedWindowRect(platform::Rect window, platform::Point cursor, int zone, int pressX,
                                            int pressY, double scale);
    // Follows the window's real state (a window manager may refuse or undo a maximise).
    void SyncMaximised(bool maximised);
    int Maximised() const { return m_maximised.load(); }
    int StoredZone() const { return m_zone; }
    int Dragging() const { return m_dragging; }
    CSButton& CloseButton() { return m_close; }
    CSButton& MaximiseButton() { return m_maximise; }
    CSButton& MinimiseButton() { return m_minimise; }

private:
    ImageBuffer8 m_title;
    CSButton m_close, m_maximise, m_minimise;
    int m_zone = 5;
    int m_dragging = 0;
    std::atomic<int> m_maximised{1};
    int m_pressX = 0, m_pressY = 0;
};
