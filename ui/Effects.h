// The render window's effect sprites: the click ripple, the bright fade-out of a closing area,
// and the greyed layer behind modal dialogs.
#pragma once

#include "ui/Sprite.h"

class CClickWave : public CAnimationSprite {
public:
    static constexpr uint32_t kDurationMs = 500;
    int Create(CSprite* parent, CRenderWindow* window, int32_t id, int left, int top, int right,
               int bottom, int32_t zLevel);
    int Update(uint32_t now) override;
    // Outer radius of the ring at a fade value g (255 at the start, 0 at the end).
    static int OuterRadius(int fade) { return (255 - fade) * 90 / 256 + 10; }
};

class CSFadeEffect : public CSprite {
public:
    ~CSFadeEffect() override;
    void SetSnapshot(const ImageBuffer8& image, bool forceOpaque);
    int Update(uint32_t now) override;
    int FrameCount() const { return m_frames; }

private:
    ImageBuffer8 m_snapshot;
    int m_frames = 0;
    bool m_firstCall = true;
};

class CDialogBaseLayer : public CMessageSprite {
public:
    // The back buffer turned into opaque grey at half brightness.
    void SetSnapshot(const ImageBuffer8& image);
    int Update(uint32_t now) override;
    // The greyed snapshot is opaque everywhere it has pixels.
    int IsOpaqueIn(const SRect& own) override;
};

// Milliseconds from start to now on the 32-bit tick clock, as a signed 64-bit value (a clock
// that wrapped between the two still gives the small positive difference).
inline int64_t TickDelta(uint32_t start, uint32_t now)
{
    return int64_t(int32_t(now - start));
}
