// Range selector: hue strip, shift handle and four ordered markers.
#include "ui/RangeSelector.h"

#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

CRangeSelector::CRangeSelector()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
}

void CRangeSelector::ResetRange()
{
    std::copy(std::begin(kDefaults), std::end(kDefaults), m_markers);
    UpdateGeometry();
    SetAllDirty(1);
}

int CRangeSelector::OnCreate()
{
    BuildGammaTables(); // the strip's colours go through them

    ResetRange();
    return 1;
}

void CRangeSelector::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    UpdateGeometry();
    SetAllDirty(1);
}

// Marker and handle rectangles follow the values; kept here as well as in the drawing so that
// the pointer finds them before the first frame.
void CRangeSelector::UpdateGeometry()
{
    const int w = Width(), h = Height();
    m_strip = {8, 8, w - 8, h - 8};
    const int span = m_strip.Width();
    for (int i = 0; i < 4; ++i) {
        const int x = m_strip.left + int(int64_t(span) * m_markers[i] / 65535);
        m_markerRects[i] = {x - 7, m_strip.bottom - 7, x + 5, m_strip.bottom + 5};
    }
    const int s = int(int64_t(m_strip.right - 8) * m_shift / 65536);
    m_handleRect = {s + 1, 1, s + 13, 13};
}

void CRangeSelector::ColorAt(uint8_t* bgra, int value) const
{
    // A non-negative modulo: values below the shift wrap to the end of the circle.
    const int hue = ((value - m_shift) % 65536 + 65536) % 65536;
    uint16_t px[4] = {32768, 65535, uint16_t(hue), uint16_t(Enabled() ? 65535 : 20000)};
    HslToRgb16(px, 1);
    ConvertPixel16To8(px, bgra);
}

int CRangeSelector::ValueFromX(int x) const
{
    const int span = m_strip.Width();
    if (span <= 0)
        return kMinimum;
    return kMinimum + int(int64_t(x - m_strip.left) * (kMaximum - kMinimum) / span);
}

int CRangeSelector::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    UpdateGeometry();
    const int a = Enabled() ? 255 : 128;
    const int w = m_image.width, h = m_image.height;
    std::memset(m_image.data, 0, m_image.byteSize);
    DrawRectOutline8(m_image, 0xE6E6E6, a, 7, 7, w - 7, h - 7);
    const int span = m_strip.right - 8;
    if (span > 0)
        for (int x = 8; x <= w - 9; ++x) {
            uint8_t c[4];
            ColorAt(c, kMinimum + int(int64_t(kMaximum - kMinimum) * (x - 8) / span));
            for (int y = 8; y <= h - 9; ++y)
                std::memcpy(m_image.data + (size_t(y) * w + x) * 4, c, 4);
        }
    const ImageList8* icons = SharedIconFrames();
    auto frame = [&](size_t i) -> const ImageBuffer8* {
        return icons && i < icons->size() ? (*icons)[i] : nullptr;
    };
    const int s = m_handleRect.left - 1;
    if (const ImageBuffer8* handle = frame(15))
        BlendImage8(m_image, *handle, s + 1, 1, true, a);
    DrawRectOutline8(m_image, 0xFF0000, a, s + 2, 0, s + 13, 2);
    for (int i : {0, 3, 1, 2})
        if (const ImageBuffer8* icon = frame(i == 0 || i == 3 ? 12 : 13))
            BlendImage8(m_image, *icon, m_markerRects[i].left, m_markerRects[i].top, true, a);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

int CRangeSelector::HitTest(int x, int y) const
{
    auto in = [&](const SRect& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
    for (int i : {2, 1, 0, 3})
        if (in(m_markerRects[i]))
            return i;
    if (in(m_handleRect))
        return kShiftHandle;
    if (in(m_strip)) {
        const int v = ValueFromX(x);
        if (v > m_markers[0] && v < m_markers[3])
            return kWholeRange;
    }
    return -1;
}

void CRangeSelector::OnMouseMove(int x, int y, uint32_t)
{
    if (!Enabled())
        return;
    if (m_drag >= 0) {
        if (DragTo(x))
            SetAllDirty(1);
        return;
    }
    m_hover = HitTest(x, y);
    if (m_window)
        m_window->SetCursor(m_hover < 0 ? platform::StandardCursor::Arrow
                            : m_hover == kWholeRange ? platform::StandardCursor::SizeWE
                                                      : platform::StandardCursor::Hand);
}

void CRangeSelector::OnLButtonDown(int x, int y, uint32_t flags)
{
    if (!Enabled() || m_drag >= 0)
        return;
    OnMouseMove(x, y, flags);
    if (m_hover < 0)
        return;
    if (m_window)
        m_window->SetCapture(this);
    m_drag = m_hover;
    m_press = {x, y};
    m_pressMarker0Left = m_markerRects[0].left;
}

void CRangeSelector::OnLButtonUp(int x, int, uint32_t)
{
    if (!Enabled())
        return;
    if (m_drag >= 0) {
        if (DragTo(x))
            SetAllDirty(1);
        auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
        if (parent && (parent->Flags() & SF_INPUT))
            ::PostSpriteMessage(parent, MSG_RANGE_CHANGED, Id(), 0, this);
    }
    m_drag = -1;
    m_hover = -1;
    if (m_window)
        m_window->ReleaseCapture(this);
}

void CRangeSelector::OnCaptureReleased()
{
    m_drag = -1;
    m_hover = -1;
}

int CRangeSelector::DragTo(int x)
{
    const int span = m_strip.Width();
    if (span <= 0)
        return 0;
    const int32_t before[5] = {m_markers[0], m_markers[1], m_markers[2], m_markers[3], m_shift};
    if (m_drag == kShiftHandle) {
        m_shift = int(std::clamp<int64_t>(int64_t(x - m_strip.left) * 65536 / span, 0, 65535));
    } else if (m_drag >= 0 && m_drag < 4) {
        const int i = m_drag;
        int64_t v = int64_t(x - m_strip.left) * 65535 / span;
        v = std::max<int64_t>(v, i == 0 ? 0 : m_markers[i - 1]);
        v = std::min<int64_t>(v, i == 3 ? 65535 : m_markers[i + 1]);
        m_markers[i] = int32_t(v);
    } else if (m_drag == kWholeRange) {
        const int left0 = m_markerRects[0].left;
        int newLeft = m_pressMarker0Left + (x - m_press.x);
        const int highest = m_strip.right + (left0 - m_markerRects[3].left) - 7;
        newLeft = std::max(newLeft, m_strip.left - 7);
        newLeft = std::min(newLeft, highest);
        const int move = newLeft - left0;
        if (move == 0)
            return 0;
        for (int i = 0; i < 4; ++i) {
            // Rounded up, so the value maps back onto the same pixel and the markers keep
            // their distances.
            const int64_t v = kMinimum + (int64_t(m_markerRects[i].left + move - m_strip.left + 7) *
                                              (kMaximum - kMinimum) + span - 1) / span;
            m_markers[i] = int32_t(std::clamp<int64_t>(v, 0, 65535));
        }
    } else {
        return 0;
    }
    UpdateGeometry();
    const int32_t after[5] = {m_markers[0], m_markers[1], m_markers[2], m_markers[3], m_shift};
    return std::memcmp(before, after, sizeof before) != 0;
}
