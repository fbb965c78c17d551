// Transparent sprites that show a picture they do not own, or whatever a drawer paints into
// them each frame (tool overlays, the compare dialog); and the tool cursor overlay, which
// disappears when its tool stops refreshing it.
#pragma once

#include "ui/Sprite.h"

class ISOverlayDraw {
public:
    virtual ~ISOverlayDraw() = default;
    // Called on the render thread with the overlay's own image.
    virtual void DrawOverlay(ImageBuffer8& image, uint32_t time) = 0;
};

class CSOverlay : public CSprite {
public:
    // Both under the sprite lock: the render thread draws them.
    void SetContent(const ImageBuffer8* picture, ISOverlayDraw* drawer);
    // With a picture: moves the sprite so that its hot spot lies on (x, y).
    void MoveImageTo(int x, int y);
    // With a picture: stores the hot spot and drops picture and drawer.
    void ClearContent(int hotX, int hotY);
    int OnDraw(uint32_t time) override;

    const ImageBuffer8* Picture() const { return m_picture; }
    int HotX() const { return m_hotX; }
    int HotY() const { return m_hotY; }

protected:
    const ImageBuffer8* m_picture = nullptr; // not owned
    ISOverlayDraw* m_drawer = nullptr;       // not owned
    int32_t m_hotX = 0, m_hotY = 0;
};

class CCursorSprite : public CSOverlay {
public:
    static constexpr int kFramesKept = 30;
    int OnDraw(uint32_t time) override;
    int FrameCount() const { return m_frames; }

private:
    int32_t m_frames = 0;
};
