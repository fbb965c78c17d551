// The base of widgets that glow while the pointer is over them (lists, trees, edit fields,
// sliders, scroll bars): the hover is tracked through the render window's capture, so the
// widget sees the move that leaves it, and its opacity eases between two levels.
#pragma once

#include "ui/Sprite.h"

class CMoveOverSprite : public CDialogControl {
public:
    CMoveOverSprite();

    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    // The opacity easing; subclasses call it first from their own OnDraw. 1 when it changed.
    int OnDraw(uint32_t time) override;

    // One easing step from `opacity` toward the level of the hover state.
    static int EaseOpacity(int opacity, int hovered, int normal, int hover);

    int Hovered() const { return m_hovered.load(std::memory_order_acquire); }

    int32_t m_normalOpacity = 192;
    int32_t m_hoverOpacity = 255;

protected:
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }
    // Sends a sprite message to the parent when it takes them; 1 when posted.
    int PostToParent(int32_t code, intptr_t param1, intptr_t param2);

    std::atomic<int32_t> m_hovered{0};
};
