// The keyboard-focus marker: a top-level sprite placed over the focused sprite's focus
// rectangle, bright after a move by keyboard and fading to a faint mark.
#pragma once

#include "ui/Sprite.h"

class CSFocusIndicate : public CSprite {
public:
    ~CSFocusIndicate() override;
    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;

    void SetTarget(CMessageSprite* target) { m_target.store(target, std::memory_order_release); }
    CMessageSprite* Target() const { return m_target.load(std::memory_order_acquire); }

private:
    ImageBuffer8 m_kbd;
    std::atomic<CMessageSprite*> m_target{nullptr};
};
