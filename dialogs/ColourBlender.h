// Two bars split into three shares (percent) by two draggable dividers. CRGBBlender shows the
// shares as dark red, green and blue bands (the tone dialog's monochrome weights); CColorBlender
// shows a from colour, a gradient and a to colour (the graduated filter's transition). The end
// of a drag that changed the shares posts MSG_BLENDER_CHANGED {0, 0} to the parent.
//
// Threads: input and share changes on the UI thread, drawing on the render thread. Shares and
// divider positions are atomics; the colours change under the sprite lock.
#pragma once

#include "ui/Sprite.h"

#include <array>
#include <atomic>

constexpr int32_t MSG_BLENDER_CHANGED = 10003;

struct BlenderShares {
    int32_t first, middle, last;
};

class CRGBBlender : public CMessageSprite {
public:
    static constexpr int kHotDistance = 7;

    CRGBBlender();
    ~CRGBBlender() override;

    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnCaptureReleased() override;
    void ReleaseResources(int flag) override;

    // Shares that do not add up to 100 are scaled to it; three zeros (or a negative share) give
    // the defaults.
    static BlenderShares Normalise(BlenderShares s, BlenderShares defaults);
    // Sets the shares, normalised, and marks the bar for drawing (UI thread).
    void SetShares(int32_t first, int32_t middle, int32_t last);
    BlenderShares Shares() const { return {m_first.load(), m_middle.load(), m_last.load()}; }
    BlenderShares Defaults() const { return m_defaults; }
    int Dragging() const { return m_dragging.load(); }
    int HotDivider() const { return m_hot; }
    int DividerX(int i) const { return i == 1 ? m_x1.load() : m_x2.load(); }

protected:
    // The bands between the dividers at x1 and x2 (each row of the sprite's image).
    virtual void DrawBands(int x1, int x2);
    // Divider positions for the shares at the sprite's width.
    void Positions(int& x1, int& x2) const;

    ImageBuffer8 m_handle{};
    BlenderShares m_defaults{31, 60, 9};

private:
    void EndDrag(bool tell);

    std::atomic<int32_t> m_dragging{0};
    int32_t m_hot = -1;
    std::atomic<int32_t> m_x1{0};
    std::atomic<int32_t> m_x2{0};
    std::atomic<int32_t> m_first{31};
    std::atomic<int32_t> m_middle{60};
    std::atomic<int32_t> m_last{9};
    bool m_changed = false; // the running drag moved a divider
};

class CColorBlender : public CRGBBlender {
public:
    CColorBlender();
    // B, G, R, A in 16 bits (UI thread; taken under the sprite lock).
    void SetColours(const uint16_t from[4], const uint16_t to[4]);
    std::array<uint16_t, 4> From() const;
    std::array<uint16_t, 4> To() const;

protected:
    void DrawBands(int x1, int x2) override;
    int OnDraw(uint32_t time) override;

private:
    uint16_t m_from[4] = {0, 0, 0, 0};
    uint16_t m_to[4] = {0, 0, 0, 0};
};
