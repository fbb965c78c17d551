// Scroll bar: thumb maths, drawing from "scrollbar.png", arrows with a shared 200 ms repeat,
// paging and thumb dragging.
#include "ui/ScrollBar.h"

#include "imaging/Draw8.h"
#include "platform/Clock.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

namespace {
std::atomic<uint32_t> g_lastLineStep{0};
std::atomic<int> g_lineStepTaken{0};
} // namespace

void CSScrollBar::ResetLineStepClock()
{
    g_lineStepTaken.store(0);
    g_lastLineStep.store(0);
}

CSScrollBar::CSScrollBar()
{
    m_normalOpacity = 100;
    m_hoverOpacity = 255;
}

CSScrollBar::Thumb CSScrollBar::ComputeThumb(int track, int32_t minimum, int32_t maximum,
                                             int32_t page, int32_t position)
{
    Thumb t;
    if (maximum <= minimum || track <= 0)
        return t;
    const int64_t range = int64_t(maximum) - minimum;
    int64_t s = int64_t(track) * position / range;
    int64_t e = int64_t(track) * (int64_t(position) + page) / range;
    s = std::max<int64_t>(s, 0);
    e = std::max<int64_t>(e, 0);
    if (s > track)
        e = track;
    e = std::min<int64_t>(e, track);
    // A position beyond the range would put the start past the end; keep it on the track.
    s = std::min<int64_t>(s, track);
    t.shown = true;
    t.start = int(s) + kArrow;
    t.end = int(e) + kArrow;
    return t;
}

CSScrollBar::Thumb CSScrollBar::WidenThumb(Thumb t, int track)
{
    if (!t.shown || t.end - t.start >= kMinThumb)
        return t;
    const int room = std::min(kMinThumb, track);
    t.end = std::max(t.end, t.start + room);
    if (t.end > track + kArrow) {
        t.end = track + kArrow;
        t.start = t.end - room;
    }
    return t;
}

int CSScrollBar::HitPart(int x, int y)
{
    const int a = Along(x, y);
    if (a < kArrow)
        return 1;
    if (a > Length() - kArrow)
        return 2;
    m_clickZone = a < m_thumbStart.load() ? 1 : a > m_thumbEnd.load() ? 2 : 0;
    return -1;
}

int CSScrollBar::ValueFromPoint(int x, int y) const
{
    const int track = TrackLength();
    const int32_t minimum = m_minimum.load(), maximum = m_maximum.load();
    if (track <= 0)
        return minimum;
    const int64_t along = std::clamp<int64_t>(int64_t(Along(x, y)) - kArrow, 0, track);
    const int64_t v = minimum + (int64_t(maximum) - minimum) * along / track;
    return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void CSScrollBar::SetPositionAndPost(int64_t value)
{
    const int32_t v = int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    if (v == m_position.load())
        return;
    m_position.store(v);
    SetAllDirty(1);
    PostToParent(MSG_SCROLL_POS, 0, 0);
}

int CSScrollBar::OnDraw(uint32_t time)
{
    CMoveOverSprite::OnDraw(time);

    const int pressed = m_pressedPart.load();
    if ((pressed == 1 || pressed == 2) && Parent() && (Parent()->Flags() & SF_INPUT)) {
        const uint32_t now = platform::GetTickCount32();
        if (!g_lineStepTaken.load() || now - g_lastLineStep.load() > kRepeatMs) {
            g_lastLineStep.store(now);
            g_lineStepTaken.store(1);
            PostToParent(pressed == 1 ? MSG_SCROLL_LINE_UP : MSG_SCROLL_LINE_DOWN, 0, 0);
        }
    }
    if (!AllDirty())
        return 0;

    const ImageBuffer8* skin = SharedUiImage(u"scrollbar.png");
    platform::ScopedLock lock(m_lock);
    ImageBuffer8& img = m_image;
    if (!img.data)
        return 0;
    InvalidateRect(0, 0, 0, 0, 1);
    SetAllDirty(0);
    std::memset(img.data, 0, img.byteSize);
    const bool horizontal = img.width > 20;
    if (skin && skin->data) {
        if (!horizontal) {
            TileFrame8(img, *skin, 0, 0);
        } else {
            ImageBuffer8 upright, turned;
            if (AllocImage8(upright, img.height, img.width)) {
                TileFrame8(upright, *skin, 0, 0);
                if (RotateImage8Right(turned, upright) && turned.width == img.width && turned.height == img.height)
                    std::copy(turned.data, turned.data + size_t(img.width) * img.height * 4, img.data);
            }
            FreeImageBuffer(upright);
            FreeImageBuffer(turned);
        }
    }

    const int length = horizontal ? img.width : img.height;
    const Thumb t = WidenThumb(ComputeThumb(length - 2 * kArrow, m_minimum.load(), m_maximum.load(),
                                            m_page.load(), m_position.load()),
                               length - 2 * kArrow);
    m_thumbStart.store(t.start);
    m_thumbEnd.store(t.end);
    auto grey = [&](int x, int y, int value) {
        uint8_t* p = img.data + (size_t(y) * img.width + x) * 4;
        p[0] = p[1] = p[2] = uint8_t(value);
    };
    if (t.shown) {
        for (int a = t.start; a < t.end && a < length; ++a) {
            if (horizontal)
                for (int y = 2; y <= img.height - 3; ++y)
                    grey(a, y, 235);
            else
                for (int x = 2; x <= img.width - 3; ++x)
                    grey(x, a, 235);
        }
    }
    if (pressed == 1 || pressed == 2) {
        const int from = pressed == 1 ? 0 : std::max(0, length - kArrow);
        const int to = pressed == 1 ? std::min(kArrow, length) : length;
        for (int a = from; a < to; ++a) {
            const int across = horizontal ? img.height : img.width;
            for (int b = 0; b < across; ++b) {
                const int x = horizontal ? a : b, y = horizontal ? b : a;
                uint8_t* p = img.data + (size_t(y) * img.width + x) * 4;
                if (p[3] == 0)
                    continue;
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t((p[c] + 235) / 2);
                p[3] = 255;
            }
        }
    }
    return 1;
}

void CSScrollBar::OnMouseMove(int x, int y, uint32_t keyFlags)
{
    const bool leftDown = (keyFlags & platform::kMouseLButton) != 0;
    if (m_dragging && leftDown) {
        const int64_t minimum = m_minimum.load();
        const int64_t top = int64_t(m_maximum.load()) - m_page.load();
        int64_t v = int64_t(ValueFromPoint(x, y)) + (int64_t(m_dragStartPosition) - m_dragStartValue);
        v = std::max(minimum, std::min(top, v));
        SetPositionAndPost(v);
        return;
    }
    CMoveOverSprite::OnMouseMove(x, y, keyFlags);
    if (m_hovered.load()) {
        m_hoveredPart = HitPart(x, y);
        if (m_hoveredPart == -1 && m_hoveredPart != m_pressedPart.load() && m_pressedPart.load() != -1) {
            m_pressedPart.store(-1);
            SetAllDirty(1);
        }
        OnSetCursor(x, y);
    }
    if (!m_hovered.load() || (m_dragging && !leftDown))
        m_dragging = 0;
}

void CSScrollBar::OnLButtonDown(int x, int y, uint32_t)
{
    const int part = HitPart(x, y);
    m_hoveredPart = part;
    if (part != m_pressedPart.load()) {
        m_pressedPart.store(part);
        SetAllDirty(1);
    }
    if (part != -1)
        return; // the repeat in OnDraw steps
    const int64_t minimum = m_minimum.load(), maximum = m_maximum.load();
    if (maximum <= minimum)
        return;
    const int64_t page = m_page.load(), position = m_position.load();
    if (m_clickZone == 1) {
        SetPositionAndPost(std::max(minimum, position - page));
    } else if (m_clickZone == 2) {
        // Never below the minimum either, when the page is larger than the range.
        SetPositionAndPost(std::max(minimum, std::min(maximum - page, position + page)));
    } else {
        m_dragging = 1;
        m_dragStartValue = ValueFromPoint(x, y);
        m_dragStartPosition = m_position.load();
    }
}

void CSScrollBar::OnLButtonUp(int, int, uint32_t)
{
    OnCaptureReleased();
}

void CSScrollBar::OnCaptureReleased()
{
    m_dragging = 0;
    if (m_pressedPart.load() != -1) {
        m_pressedPart.store(-1);
        SetAllDirty(1);
    }
}

int CSScrollBar::OnSetCursor(int x, int y)
{
    if (!Inside(x, y))
        return CMessageSprite::OnSetCursor(x, y);
    if (m_window) {
        const int a = Along(x, y);
        const bool arrow = a < kArrow || a > Length() - kArrow;
        m_window->SetCursor(arrow ? platform::StandardCursor::Hand : platform::StandardCursor::Arrow);
    }
    return 1;
}
