// Overlay and cursor sprites.
#include "ui/Overlay.h"

#include "imaging/Draw8.h"

#include <cstring>

void CSOverlay::SetContent(const ImageBuffer8* picture, ISOverlayDraw* drawer)
{
    platform::ScopedLock lock(m_lock);
    m_picture = picture;
    m_drawer = drawer;
}

void CSOverlay::MoveImageTo(int x, int y)
{
    const ImageBuffer8* picture = m_picture;
    if (!picture || !picture->data)
        return;
    InvalidateRect(0, 0, 0, 0, 1);
    SetPos(x - m_hotX, y - m_hotY, picture->width, picture->height);
    SetAllDirty(1);
}

void CSOverlay::ClearContent(int hotX, int hotY)
{
    if (!m_picture)
        return;
    m_hotX = hotX;
    m_hotY = hotY;
    {
        platform::ScopedLock lock(m_lock);
        m_picture = nullptr;
        m_drawer = nullptr;
    }
    SetAllDirty(1);
}

int CSOverlay::OnDraw(uint32_t time)
{
    if (!AllDirty())
        return 0;
    platform::ScopedLock lock(m_lock);
    if (!m_image.data)
        return 0;
    std::memset(m_image.data, 0, m_image.byteSize);
    if (m_picture && m_picture->data)
        BlendImage8(m_image, *m_picture, 0, 0, true, 256);
    else if (m_drawer)
        m_drawer->DrawOverlay(m_image, time);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

int CCursorSprite::OnDraw(uint32_t time)
{
    if (m_picture) {
        if (++m_frames > kFramesKept) {
            ClearContent(0, 0);
            m_frames = 0;
        }
    }
    return CSOverlay::OnDraw(time);
}
