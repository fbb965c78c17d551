// Vertical frames: panel layout by priority, title rows, open and close by click.
#include "ui/VerticalFrame.h"

#include "imaging/Draw8.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <numeric>

namespace {

constexpr int kMargin = 8;

} // namespace

CSVerticalFrames::CSVerticalFrames()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
}

int CSVerticalFrames::FindPanel(const CSTabPage* page) const
{
    platform::ScopedLock lock(m_lock);
    for (size_t i = 0; i < m_panels.size(); ++i)
        if (m_panels[i].page == page)
            return int(i);
    return -1;
}

int CSVerticalFrames::PanelCount() const
{
    platform::ScopedLock lock(m_lock);
    return int(m_panels.size());
}

CSVerticalFrames::Panel CSVerticalFrames::PanelAt(int index) const
{
    platform::ScopedLock lock(m_lock);
    return index >= 0 && index < int(m_panels.size()) ? m_panels[index] : Panel{};
}

int CSVerticalFrames::AddPanel(CSTabPage* page, int priority, int contentHeight)
{
    if (!page)
        return -1;
    platform::ScopedLock lock(m_lock);
    const int known = FindPanel(page);
    if (known >= 0)
        return known;
    if (!page->Create(this, m_window, int(m_panels.size()) + 1, 0, 0, 100, 100, 2))
        return -1;
    page->SetVisible(0);
    AddChild(page);
    m_panels.push_back({page, 0, std::max(0, contentHeight), 0, priority});
    Layout(kFillByPriority);
    return int(m_panels.size()) - 1;
}

void CSVerticalFrames::Layout(int mode)
{
    platform::ScopedLock lock(m_lock);
    const int count = int(m_panels.size());
    const bool named = mode >= 0 && mode < count;
    if (mode >= count)
        return;
    const int fullRoom = Height() - kTitleHeight * count - 2 * kMargin;
    int64_t sum = 0;
    for (const Panel& p : m_panels)
        if (p.expanded)
            sum += p.contentHeight;
    if (named && !m_panels[mode].expanded)
        sum += m_panels[mode].contentHeight;

    if (mode != kPlaceOnly) {
        while (sum > fullRoom) {
            int victim = -1;
            for (int i = 0; i < count; ++i) {
                const Panel& p = m_panels[i];
                if (!p.expanded || i == mode || p.priority >= kKeepPriority)
                    continue;
                if (victim < 0 || p.priority < m_panels[victim].priority)
                    victim = i;
            }
            if (victim < 0)
                break;
            m_panels[victim].expanded = 0;
            sum -= m_panels[victim].contentHeight;
        }
    }
    if (named && !m_panels[mode].expanded) {
        int64_t room = fullRoom;
        for (const Panel& p : m_panels)
            if (p.expanded)
                room -= p.contentHeight;
        if (room - m_panels[mode].contentHeight < 1)
            return;
        m_panels[mode].expanded = 1;
    }
    if (mode == kFillByPriority) {
        // Exactly the panels that fit, highest priority first; equal priorities in list order.
        std::vector<int> order(count);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return m_panels[a].priority > m_panels[b].priority; });
        int64_t room = fullRoom;
        for (int i : order) {
            Panel& p = m_panels[i];
            p.expanded = p.contentHeight < room ? 1 : 0;
            if (p.expanded)
                room -= p.contentHeight;
        }
    }
    const int width = Width();
    int y = kMargin;
    for (Panel& p : m_panels) {
        p.titleY = y;
        y += kTitleHeight;
        if (p.expanded) {
            p.page->SetPos(kMargin, y, std::max(0, width - 2 * kMargin), p.contentHeight);
            p.page->SetVisible(1);
            p.page->SetAllDirty(1);
            y += p.contentHeight;
        } else if (p.page->IsVisible()) {
            p.page->SetVisible(0);
        }
    }
    SetAllDirty(1);
}

void CSVerticalFrames::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    SetAllDirty(1);
    Layout(kFillByPriority);
}

int CSVerticalFrames::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    if (const ImageBuffer8* frame = SharedUiImage(u"roundframe.png"))
        TileFrame8(m_image, *frame, 0, 0);
    const int w = m_image.width, h = m_image.height;
    const int hovered = m_hovered.load(), pressed = m_pressed.load();
    for (int i = 0; i < int(m_panels.size()); ++i) {
        const Panel& p = m_panels[i];
        const int alpha = i == pressed ? 255 : i == hovered ? 230 : 200;
        for (int y = std::max(0, p.titleY); y < std::min(h, p.titleY + kTitleHeight); ++y) {
            const int k = y - p.titleY;
            const int grey = k < 2 ? 64 : 64 * k / (kTitleHeight - 2);
            const uint32_t px = uint32_t(alpha) << 24 | uint32_t(grey) * 0x010101u;
            uint32_t* row = reinterpret_cast<uint32_t*>(m_image.data + size_t(y) * w * 4);
            for (int x = kMargin; x <= w - kMargin - 1 && x < w; ++x)
                row[x] = px;
        }
        const ImageBuffer8& header = p.page->HeaderImage();
        if (header.data) {
            const int x = kMargin + (w - 2 * kMargin - header.width) / 2;
            const int y = p.titleY + (kTitleHeight - header.height) / 2;
            BlendImage8(m_image, header, x, y, false, alpha);
        }
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

int CSVerticalFrames::TitleFromPoint(int x, int y) const
{
    platform::ScopedLock lock(m_lock);
    const int w = Width();
    for (size_t i = 0; i < m_panels.size(); ++i) {
        const int top = m_panels[i].titleY;
        if (x >= kMargin && x < w - kMargin && y >= top && y < top + kTitleHeight)
            return int(i);
    }
    return -1;
}

void CSVerticalFrames::OnMouseMove(int x, int y, uint32_t flags)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        m_hovered.store(kHoverPanel);
        m_pressed.store(-1);
        if (m_window)
            m_window->ReleaseCapture(this);
        const SRect r = child->Rect();
        child->OnMouseMove(x - r.left, y - r.top, flags);
        return;
    }
    const int before = m_hovered.load();
    if (x >= 0 && y >= 0 && x < Width() && y < Height()) {
        if (m_window)
            m_window->SetCapture(this);
        const int title = TitleFromPoint(x, y);
        m_hovered.store(title >= 0 ? title : kHoverPanel);
        if (title < 0) {
            m_pressed.store(-1);
            CMessageSprite::OnSetCursor(x, y);
        } else if (m_window) {
            m_window->SetCursor(platform::StandardCursor::Hand);
        }
    } else {
        if (m_window)
            m_window->ReleaseCapture(this);
        m_hovered.store(-1);
        m_pressed.store(-1);
    }
    if (m_hovered.load() != before)
        SetAllDirty(1);
}

void CSVerticalFrames::OnLButtonDown(int x, int y, uint32_t flags)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        if (!(flags & kCaptureDelivery)) {
            const SRect r = child->Rect();
            child->OnLButtonDown(x - r.left, y - r.top, flags);
        }
        return;
    }
    const int hovered = m_hovered.load();
    if (hovered >= 0 && hovered != kHoverPanel) {
        m_pressed.store(hovered);
        SetAllDirty(1);
    }
}

void CSVerticalFrames::OnLButtonUp(int x, int y, uint32_t flags)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        if (!(flags & kCaptureDelivery)) {
            const SRect r = child->Rect();
            child->OnLButtonUp(x - r.left, y - r.top, flags);
        }
        return;
    }
    const int pressed = m_pressed.load();
    if (pressed >= 0 && pressed == m_hovered.load()) {
        bool expanded;
        {
            platform::ScopedLock lock(m_lock);
            expanded = pressed < int(m_panels.size()) && m_panels[pressed].expanded;
            if (expanded)
                m_panels[pressed].expanded = 0;
        }
        Layout(expanded ? kPlaceOnly : pressed);
    }
    m_pressed.store(-1);
    SetAllDirty(1);
}
