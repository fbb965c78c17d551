// The weight and transition bars (see the header).
#include "dialogs/ColourBlender.h"

#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdlib>

CRGBBlender::CRGBBlender() { SetFlags(SF_INPUT); }

CRGBBlender::~CRGBBlender() { FreeImageBuffer(m_handle); }

void CRGBBlender::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(Lock());
        FreeImageBuffer(m_handle);
    }
    CMessageSprite::ReleaseResources(flag);
}

int CRGBBlender::OnCreate()
{
    ImageBuffer8 handle{};
    if (!LoadUiImage(UiImageFolder::Skin, u"rgbblend.png", handle))
        return 0;
    // A damaged picture of another size would be drawn off the divider: refused.
    if (handle.width != 16 || handle.height < 1 || handle.height > 64) {
        FreeImageBuffer(handle);
        return 0;
    }
    platform::ScopedLock lock(Lock());
    FreeImageBuffer(m_handle);
    m_handle = handle;
    return 1;
}

BlenderShares CRGBBlender::Normalise(BlenderShares s, BlenderShares defaults)
{
    if (s.first < 0 || s.middle < 0 || s.last < 0)
        return defaults;
    const int64_t total = int64_t(s.first) + s.middle + s.last;
    if (total == 100)
        return s;
    // Nothing to scale: the defaults (a division by zero otherwise).
    if (total == 0)
        return defaults;
    BlenderShares n;
    n.first = int32_t(int64_t(s.first) * 100 / total);
    n.middle = int32_t(int64_t(s.middle) * 100 / total);
    n.last = std::max(0, 100 - n.first - n.middle);
    return n;
}

void CRGBBlender::SetShares(int32_t first, int32_t middle, int32_t last)
{
    const BlenderShares n = Normalise({first, middle, last}, m_defaults);
    m_first.store(n.first);
    m_middle.store(n.middle);
    m_last.store(n.last);
    SetAllDirty(1);
}

void CRGBBlender::Positions(int& x1, int& x2) const
{
    const BlenderShares n = Normalise(Shares(), m_defaults);
    const int w = Width();
    x1 = w * n.first / 100;
    x2 = w * (n.first + n.middle) / 100;
}

void CRGBBlender::DrawBands(int x1, int x2)
{
    for (int y = 0; y < m_image.height; ++y) {
        uint8_t* row = m_image.data + size_t(y) * size_t(m_image.width) * 4;
        for (int x = 0; x < m_image.width; ++x) {
            uint8_t* p = row + size_t(x) * 4;
            p[0] = x >= x2 ? 0x5A : 0;
            p[1] = x >= x1 && x < x2 ? 0x5A : 0;
            p[2] = x < x1 ? 0x5A : 0;
            p[3] = 0xFF;
        }
    }
}

int CRGBBlender::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    const int w = m_image.width, h = m_image.height;
    if (w <= 0 || h <= 0)
        return 0;
    int x1 = 0, x2 = 0;
    // While dragging the positions follow the pointer, not the rounded shares.
    if (m_dragging.load()) {
        x1 = m_x1.load();
        x2 = m_x2.load();
    } else {
        Positions(x1, x2);
        m_x1.store(x1);
        m_x2.store(x2);
    }
    DrawBands(x1, x2);
    if (m_handle.data)
        for (int x : {x1, x2})
            BlendImage8(m_image, m_handle, x - 8, (h - m_handle.height) / 2, false, 256);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CRGBBlender::OnMouseMove(int x, int y, uint32_t flags)
{
    const int w = Width();
    if (m_dragging.load() && w > 0) {
        const int f = std::clamp(x, 0, w);
        const int32_t first = m_first.load(), last = m_last.load();
        if (m_hot == 1) {
            const int x1 = std::min(m_x2.load(), f);
            m_x1.store(x1);
            const int32_t nf = x1 * 100 / w;
            m_first.store(nf);
            m_middle.store(std::max(0, 100 - last - nf));
            m_changed = m_changed || nf != first;
        } else if (m_hot == 2) {
            const int x2 = std::max(m_x1.load(), f);
            m_x2.store(x2);
            const int32_t nl = (w - x2) * 100 / w;
            m_last.store(nl);
            m_middle.store(std::max(0, 100 - first - nl));
            m_changed = m_changed || nl != last;
        }
        SetAllDirty(1);
    } else if (!m_dragging.load()) {
        int x1 = 0, x2 = 0;
        Positions(x1, x2);
        m_hot = std::abs(x - x1) <= kHotDistance ? 1 : std::abs(x - x2) <= kHotDistance ? 2 : -1;
        if (m_window)
            m_window->SetCursor(m_hot > 0 ? platform::StandardCursor::SizeWE : platform::StandardCursor::Arrow);
    }
    CMessageSprite::OnMouseMove(x, y, flags);
}

void CRGBBlender::OnLButtonDown(int x, int y, uint32_t flags)
{
    if (m_dragging.load())
        return;
    OnMouseMove(x, y, flags);
    if (m_hot < 0 || Width() <= 0)
        return;
    int x1 = 0, x2 = 0;
    Positions(x1, x2);
    m_x1.store(x1);
    m_x2.store(x2);
    m_changed = false;
    m_dragging.store(1);
    if (m_window) {
        m_window->SetCursor(platform::StandardCursor::Arrow);
        m_window->SetCapture(this);
    }
}

void CRGBBlender::EndDrag(bool tell)
{
    m_dragging.store(0);
    SetAllDirty(1);
    if (!tell)
        return;
    auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
    if (parent && (parent->Flags() & SF_INPUT))
        ::PostSpriteMessage(parent, MSG_BLENDER_CHANGED, 0, 0, this);
}

void CRGBBlender::OnLButtonUp(int x, int y, uint32_t flags)
{
    if (!m_dragging.load())
        return;
    OnMouseMove(x, y, flags);
    // Not dragging any more before the capture goes, so its loss does not end the drag twice.
    m_dragging.store(0);
    if (m_window) {
        m_window->SetCursor(platform::StandardCursor::Arrow);
        m_window->ReleaseCapture(this);
    }
    EndDrag(true);
}

void CRGBBlender::OnCaptureReleased()
{
    // A drag cut short that already moved a divider still tells the owner, so that its record
    // and the bar agree.
    if (m_dragging.load())
        EndDrag(m_changed);
}

// ---------------------------------------------------------------------------------------------

CColorBlender::CColorBlender()
{
    m_defaults = {33, 33, 34};
    SetShares(33, 33, 34);
}

void CColorBlender::SetColours(const uint16_t from[4], const uint16_t to[4])
{
    {
        platform::ScopedLock lock(Lock());
        std::copy(from, from + 4, m_from);
        std::copy(to, to + 4, m_to);
    }
    SetAllDirty(1);
}

std::array<uint16_t, 4> CColorBlender::From() const
{
    platform::ScopedLock lock(Lock());
    return {m_from[0], m_from[1], m_from[2], m_from[3]};
}

std::array<uint16_t, 4> CColorBlender::To() const
{
    platform::ScopedLock lock(Lock());
    return {m_to[0], m_to[1], m_to[2], m_to[3]};
}

void CColorBlender::DrawBands(int x1, int x2)
{
    uint8_t from[4], to[4];
    ConvertPixel16To8(m_from, from);
    ConvertPixel16To8(m_to, to);
    for (int y = 0; y < m_image.height; ++y) {
        uint8_t* row = m_image.data + size_t(y) * size_t(m_image.width) * 4;
        for (int x = 0; x < m_image.width; ++x) {
            uint8_t* p = row + size_t(x) * 4;
            if (x < x1) {
                std::copy(from, from + 3, p);
            } else if (x >= x2) {
                std::copy(to, to + 3, p);
            } else {
                const int d = (x - x1) * 256 / (x2 - x1);
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t((from[c] * (256 - d) + to[c] * d) >> 8);
            }
            p[3] = 0xFF;
        }
    }
}

int CColorBlender::OnDraw(uint32_t time)
{
    const int drawn = CRGBBlender::OnDraw(time);
    if (!drawn)
        return 0;
    const int w = m_image.width, h = m_image.height;
    auto frame = [&](int x, int y) {
        uint8_t* p = m_image.data + (size_t(y) * size_t(w) + size_t(x)) * 4;
        p[0] = p[1] = p[2] = 0xE6;
        p[3] = 0xFF;
    };
    for (int x = 0; x < w; ++x) {
        frame(x, 0);
        frame(x, h - 1);
    }
    for (int y = 0; y < h; ++y) {
        frame(0, y);
        frame(w - 1, y);
    }
    return drawn;
}
