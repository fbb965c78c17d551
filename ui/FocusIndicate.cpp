// The focus marker's fade and its hiding when the focused sprite goes out of sight.
#include "ui/FocusIndicate.h"

#include "imaging/Draw8.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

CSFocusIndicate::~CSFocusIndicate()
{
    FreeImageBuffer(m_kbd);
}

int CSFocusIndicate::OnCreate()
{
    return LoadUiImage(UiImageFolder::Basic, u"kbd.png", m_kbd);
}

void CSFocusIndicate::ReleaseResources(int flag)
{
    FreeImageBuffer(m_kbd);
    CSprite::ReleaseResources(flag);
}

void CSFocusIndicate::SetPos(int x, int y, int width, int height)
{
    InvalidateRect(0, 0, 0, 0, 1);
    SetOpacity(255);
    SetAllDirty(1);
    SetRect({x, y, x + width, y + height});
}

int CSFocusIndicate::OnDraw(uint32_t)
{
    const int opacity = Opacity();
    if (opacity > 32) {
        SetOpacity(std::max(32, opacity - 12));
        SetAllDirty(1);
    }
    // The target is never looked at here: the render window hides the marker on the UI thread
    // when the target goes, is hidden or loses its parent's showing (OnSpriteHidden).
    if (!AllDirty())
        return 0;
    if (m_image.data) {
        std::memset(m_image.data, 0, m_image.byteSize);
        // A one-pixel accent frame on every size, so that the focus shows on small controls
        // (buttons, check boxes, fields) too; the corner mark where there is room for it.
        const int w = m_image.width, h = m_image.height;
        if (w >= 3 && h >= 3) {
            auto put = [&](int x, int y) {
                uint8_t* p = m_image.data + (size_t(y) * w + x) * 4;
                p[0] = 200, p[1] = 130, p[2] = 70, p[3] = 255; // (70, 130, 200)
            };
            for (int x = 0; x < w; ++x) {
                put(x, 0);
                put(x, h - 1);
            }
            for (int y = 1; y + 1 < h; ++y) {
                put(0, y);
                put(w - 1, y);
            }
        }
        if (w > 40 && h > 40 && m_kbd.data)
            BlendImage8(m_image, m_kbd, 1, 1, true, 256);
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}
