// Hover tracking through the capture, and the opacity easing a third of the way per frame.
#include "ui/MoveOverSprite.h"

#include "ui/RenderWindow.h"

CMoveOverSprite::CMoveOverSprite()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
    SetOpacity(0); // no level chosen yet
}

void CMoveOverSprite::OnMouseMove(int x, int y, uint32_t keyFlags)
{
    CMessageSprite::OnMouseMove(x, y, keyFlags); // the child under the point first
    if (Inside(x, y)) {
        if (!m_hovered.load()) {
            m_hovered.store(1);
            if (m_window)
                m_window->SetCapture(this);
        }
    } else {
        m_hovered.store(0);
        if (m_window)
            m_window->ReleaseCapture(this);
    }
}

int CMoveOverSprite::EaseOpacity(int opacity, int hovered, int normal, int hover)
{
    if (opacity == 0)
        opacity = normal;
    if (hovered && opacity < hover)
        return (hover + 2 * opacity) / 3;
    if (!hovered && opacity > normal)
        return (normal + 2 * opacity) / 3;
    return opacity;
}

int CMoveOverSprite::OnDraw(uint32_t)
{
    const int old = Opacity();
    const int eased = EaseOpacity(old, m_hovered.load(), m_normalOpacity, m_hoverOpacity);
    if (eased == old)
        return 0;
    SetOpacity(eased);
    InvalidateRect(0, 0, 0, 0, 1);
    SetAllDirty(1);
    return 1;
}

int CMoveOverSprite::PostToParent(int32_t code, intptr_t param1, intptr_t param2)
{
    CSprite* parent = Parent();
    if (!parent || !(parent->Flags() & SF_INPUT))
        return 0;
    auto* target = dynamic_cast<CMessageSprite*>(parent);
    return target ? ::PostSpriteMessage(target, code, param1, param2, this) : 0;
}
