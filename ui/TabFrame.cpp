// Tab frames and pages: strip layout, highlight slide, scroll arrows, switching with an optional
// cross-fade, and page headers built from an icon and a title.
#include "ui/TabFrame.h"

#include "imaging/AlphaTables.h"
#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "ui/DialogSprite.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kTabPad = 20;
constexpr int kPlateHeight = 24;
constexpr int kHeaderTextHeight = 14;
constexpr int kHeaderMaxWidth = 168;
constexpr uint32_t kFadeTicks = 2500;

// Draws a sprite and its shown children into `target` with the sprite's top-left at (dx, dy);
// the snapshot of a page is taken this way, away from the window's back buffer.
void ComposeInto(CSprite& sprite, ImageBuffer8& target, int dx, int dy)
{
    platform::ScopedLock lock(sprite.Lock());
    const ImageBuffer8& img = sprite.Image();
    if (img.data && target.data) {
        const int x0 = std::max(0, dx), y0 = std::max(0, dy);
        const int x1 = std::min(target.width, dx + img.width);
        const int y1 = std::min(target.height, dy + img.height);
        const int opacity = sprite.Opacity();
        for (int y = y0; y < y1 && x0 < x1; ++y)
            BlendRowOver(target.data + (size_t(y) * target.width + x0) * 4,
                         img.data + (size_t(y - dy) * img.width + (x0 - dx)) * 4, x1 - x0, opacity);
    }
    for (CSprite* child : sprite.Children()) {
        if (!IsPointerAlive(child) || !child->IsVisible() || child->Detached())
            continue;
        const SRect r = child->Rect();
        ComposeInto(*child, target, dx + r.left, dy + r.top);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CSTabPage

CSTabPage::CSTabPage(const char16_t* title)
{
    SetFlags(0x103);
    SetEnabled(1);
    SetTitle(title);
}

CSTabPage::~CSTabPage()
{
    FreeImageBuffer(m_header);
}

int CSTabPage::Create(CSprite* parent, CRenderWindow* window, int32_t id, int left, int top,
                      int right, int bottom, int32_t zLevel)
{
    if (!CSprite::Create(parent, window, id, zLevel, left, top, right, bottom))
        return 0;
    return BuildHeaderImage();
}

void CSTabPage::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_header);
    }
    CSprite::ReleaseResources(flag);
}

void CSTabPage::SetTitle(const char16_t* text)
{
    CopyTextBounded(m_title, kTitleCapacity, text ? text : u"");
}

int CSTabPage::BuildHeaderImage()
{
    static constexpr char16_t kIconPrefix[] = u"icon:[";
    constexpr size_t kPrefixLength = 6;
    ImageBuffer8 icon;
    const char16_t* text = m_title;
    if (std::memcmp(m_title, kIconPrefix, kPrefixLength * sizeof(char16_t)) == 0) {
        const char16_t* name = m_title + kPrefixLength;
        const char16_t* close = name;
        while (*close && *close != u']')
            ++close;
        const size_t nameLength = size_t(close - name);
        if (!*close || nameLength >= kTitleCapacity)
            return 0;
        char16_t iconName[kTitleCapacity] = {};
        std::copy(name, close, iconName);
        if (!LoadSkinOrBasicImage(iconName, icon))
            return 0;
        text = close + 1;
    }
    ImageBuffer8 coverage;
    if (*text) {
        const int maxWidth = kHeaderMaxWidth - (icon.data ? icon.width : 0);
        if (!RenderTextLocked(text, coverage, nullptr, kHeaderTextHeight, std::max(1, maxWidth), nullptr)) {
            FreeImageBuffer(icon);
            return 0;
        }
    }
    if (!icon.data && !coverage.data)
        return 0;
    const int iconWidth = icon.data ? icon.width : 0;
    const int gap = icon.data && coverage.data ? 5 : 0;
    const int textWidth = coverage.data ? coverage.width : 0;
    const int width = iconWidth + gap + textWidth;
    const int height = std::max(icon.data ? icon.height : 0, coverage.data ? coverage.height : 0);
    ImageBuffer8 header;
    const int ok = AllocImage8(header, width, height);
    if (ok) {
        std::memset(header.data, 0, header.byteSize);
        for (int y = 0; y < height; ++y) {
            uint8_t* row = header.data + size_t(y) * width * 4;
            if (y < (icon.data ? icon.height : 0))
                std::memcpy(row, icon.data + size_t(y) * icon.width * 4, size_t(iconWidth) * 4);
            if (coverage.data && y < coverage.height)
                for (int x = 0; x < textWidth; ++x) {
                    uint8_t* p = row + size_t(iconWidth + gap + x) * 4;
                    p[0] = p[1] = p[2] = 235;
                    p[3] = coverage.data[(size_t(y) * coverage.width + x) * 4 + 2];
                }
        }
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_header);
        m_header = header;
        header = {};
    }
    FreeImageBuffer(icon);
    FreeImageBuffer(coverage);
    return ok;
}

// ---------------------------------------------------------------------------------------------
// CSTabFrame

CSTabFrame::CSTabFrame()
{
    SetFlags(0x3);
    SetEnabled(1);
}

CSTabFrame::~CSTabFrame()
{
    m_pages.clear();
    FreeImageBuffer(m_oldSnapshot);
    FreeImageBuffer(m_newSnapshot);
    // The buttons are members: take them out of the child list so no release deletes them.
    RemoveChild(&m_leftButton);
    RemoveChild(&m_rightButton);
    m_leftButton.ReleaseResources(1);
    m_rightButton.ReleaseResources(1);
}

int CSTabFrame::Create(CSprite* parent, CRenderWindow* window, int32_t id, int left, int top,
                       int right, int bottom, int32_t zLevel)
{
    if (!CSprite::Create(parent, window, id, zLevel, left, top, right, bottom))
        return 0;
    m_stripLeft = 8;
    m_stripRight = (right - left) - 50;
    return 1;
}

int CSTabFrame::OnCreate()
{
    struct Spec { CSButton& button; int id; const char16_t* icon; };
    const Spec specs[] = {{m_leftButton, 2, u"left.png"}, {m_rightButton, 3, u"right.png"}};
    for (const Spec& s : specs) {
        if (!s.button.Create(this, m_window, s.id, 1, 0, 0, 20, 20))
            return 0;
        if (!s.button.Setup(nullptr, s.icon, 0, 0, 0, 20, 20))
            return 0;
        s.button.SetVisible(0);
        AddChild(&s.button);
    }
    return 1;
}

const ImageBuffer8* CSTabFrame::GetTabBackground()
{
    return SharedUiImage(u"roundframe.png");
}

void CSTabFrame::GetTabExtent(int index, int* start, int* end)
{
    if (index < 0) {
        if (start)
            *start = -1;
        if (end)
            *end = -1;
        return;
    }
    platform::ScopedLock lock(m_lock);
    if (index >= int(m_pages.size()))
        return;
    int s = 0;
    for (int i = 0; i < index; ++i)
        s += m_pages[i]->HeaderImage().width + kTabPad;
    if (start)
        *start = s;
    if (end)
        *end = s + m_pages[index]->HeaderImage().width + kTabPad;
}

int CSTabFrame::FindPage(const CSTabPage* page) const
{
    platform::ScopedLock lock(m_lock);
    auto it = std::find(m_pages.begin(), m_pages.end(), page);
    return it == m_pages.end() ? -1 : int(it - m_pages.begin());
}

CSTabPage* CSTabFrame::PageAt(int index) const
{
    platform::ScopedLock lock(m_lock);
    return index >= 0 && index < int(m_pages.size()) ? m_pages[index] : nullptr;
}

CSTabPage* CSTabFrame::GetSelectedPage() const
{
    return PageAt(m_selected.load());
}

int CSTabFrame::PageCount() const
{
    platform::ScopedLock lock(m_lock);
    return int(m_pages.size());
}

void CSTabFrame::StartSlide()
{
    m_animState.fetch_or(kSlide);
    m_slidePending.store(1);
    if (m_window)
        m_window->RequestFrame();
}

void CSTabFrame::HidePage(CSprite* page)
{
    if (page)
        page->SetVisible(0); // invalidates its area and discards its image
}

int CSTabFrame::AddPage(CSTabPage* page)
{
    if (!page)
        return -1;
    const int known = FindPage(page);
    if (known >= 0)
        return known;
    const int w = Width(), h = Height();
    {
        platform::ScopedLock lock(m_lock); // the render thread's fade reads the area
        m_pageArea = m_stripBottom > 32 ? SRect{10, 5, w - 10, h - 40} : SRect{10, 34, w - 10, h - 10};
    }
    const int id = m_nextPageId++;
    if (!page->Create(this, nullptr, id, m_pageArea.left, m_pageArea.top, m_pageArea.right,
                      m_pageArea.bottom, 2))
        return -1;
    int index;
    {
        platform::ScopedLock lock(m_lock);
        m_pages.push_back(page);
        AddChild(page);
        index = int(m_pages.size()) - 1;
    }
    if (index == 0) {
        SelectPage(page, 0);
    } else {
        HidePage(page);
        StartSlide();
    }
    return index;
}

int CSTabFrame::RenderPageImage(ImageBuffer8& snapshot, CSTabPage* page)
{
    const SRect area = m_pageArea;
    if (area.Width() <= 0 || area.Height() <= 0 || !AllocImage8(snapshot, area.Width(), area.Height()))
        return 0;
    for (uint32_t i = 0; i < snapshot.pixelCount; ++i) {
        uint8_t* p = snapshot.data + size_t(i) * 4;
        p[0] = p[1] = p[2] = 0;
        p[3] = 255;
    }
    platform::ScopedLock lock(m_lock);
    page->Update(0);
    ComposeInto(*page, snapshot, 0, 0);
    page->DiscardHiddenImages();
    return 1;
}

int CSTabFrame::SelectPage(CSTabPage* page, int force)
{
    const int index = FindPage(page);
    if (index < 0)
        return 0;
    if (!m_switchingAllowed.load() && !force)
        return 0;
    if (index == m_selected.load())
        return 1;
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_newSnapshot);
    }
    if (!page->OnPageEnter())
        return 0;
    const bool animate = g_bAnimation.load() != 0;
    CSTabPage* oldPage = nullptr;
    int old = m_selected.load();
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_oldSnapshot);
        if (old < 0 || old >= int(m_pages.size()))
            old = -1;
        if (old >= 0) {
            oldPage = m_pages[old];
            if (animate && !RenderPageImage(m_oldSnapshot, oldPage))
                FreeImageBuffer(m_oldSnapshot);
            oldPage->OnPageLeave();
        }
    }
    m_previous.store(m_selected.load());
    m_selected.store(index);
    if (animate && oldPage) {
        // Without a picture of the new page there is nothing to fade to: switch at once.
        platform::ScopedLock lock(m_lock);
        if (!RenderPageImage(m_newSnapshot, page)) {
            FreeImageBuffer(m_newSnapshot);
            FreeImageBuffer(m_oldSnapshot);
        }
    }
    StartSlide();
    bool faded = false;
    if (m_oldSnapshot.data && m_newSnapshot.data) {
        faded = true;
        m_switchEffect.store(1);
        m_direction.store(old > index ? 1 : 0);
        m_stripRedrawPending.store(1);
        if (PageCount() >= 2 && !(m_animState.load() & kFade)) {
            const uint32_t now = platform::GetTickCount32();
            m_startTick.store(now);
            m_endTick.store(now + kFadeTicks);
            m_fadeLevel.store(64);
            m_animState.fetch_or(kFade);
            if (m_window)
                m_window->RequestFrame(); // the render thread runs the fade
        }
        // The render thread ends the fade; wait for it, but never past the limit.
        for (int waited = 0; m_animState.load() != 0 && waited < m_fadeWaitLimitMs; waited += 50) {
            if (m_fadeWaitStep)
                m_fadeWaitStep();
            else
                platform::SleepMs(50);
        }
        if (m_animState.load() != 0) {
            platform::ScopedLock lock(m_lock);
            m_animState.store(0);
            FreeImageBuffer(m_oldSnapshot);
            FreeImageBuffer(m_newSnapshot);
            m_stripRedrawPending.store(0);
            m_slidePending.store(1);
        }
        m_fadeLevel.store(255);
        PostSpriteMessage(MSG_REFRESH, 0, 0, this);
    }
    // After a fade the render thread has hidden it already, unless the wait ran out.
    if (oldPage && (!faded || oldPage->IsVisible()))
        HidePage(oldPage);
    if (old >= 0) {
        auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
        if (parent && (parent->Flags() & SF_INPUT))
            ::PostSpriteMessage(parent, MSG_TAB_CHANGED, index, reinterpret_cast<intptr_t>(page), this);
    }
    page->SetVisible(1);
    page->SetAllDirty(1);
    return 1;
}

void CSTabFrame::SelectIndexAfterRemoval(int removed)
{
    // The previous page when it is still another valid page, else a neighbour.
    const int count = PageCount();
    const int previous = m_previous.load();
    int replacement;
    if (previous >= 0 && previous < count && previous != removed)
        replacement = previous;
    else if (removed > 0)
        replacement = removed - 1;
    else
        replacement = count > 1 ? 1 : -1;
    if (replacement >= 0)
        SelectPage(PageAt(replacement), 1);
}

void CSTabFrame::RemovePage(CSTabPage* page)
{
    const int index = FindPage(page);
    if (index < 0)
        return;
    const bool wasSelected = index == m_selected.load();
    if (wasSelected)
        SelectIndexAfterRemoval(index);
    {
        platform::ScopedLock lock(m_lock);
        m_pages.erase(m_pages.begin() + index);
        page->SetFinished(1);
        page->SetAutoDelete(1);
        page->SetDetached(1);
        ReleaseTicket(page->Ticket());
        RemoveChild(page);
        // Both indices keep naming the same pages after the removal.
        auto renumber = [index](std::atomic<int32_t>& v) {
            const int n = v.load();
            if (n == index)
                v.store(-1);
            else if (n > index)
                v.store(n - 1);
        };
        renumber(m_selected);
        renumber(m_previous);
    }
    StartSlide();
}

int CSTabFrame::TabFromPoint(int x, int y) const
{
    if (!m_switchingAllowed.load())
        return -1;
    auto* self = const_cast<CSTabFrame*>(this);
    const int count = PageCount();
    // Input reads where the strip is going, never the slide the render thread is drawing.
    const int scroll = m_scrollTarget.load();
    for (int i = 0; i < count; ++i) {
        int start = 0, end = 0;
        self->GetTabExtent(i, &start, &end);
        const int s = std::max(m_stripLeft, m_stripLeft + start - scroll);
        const int e = std::min(m_stripRight, m_stripLeft + end - scroll);
        if (m_stripTop < y && y < m_stripBottom && s < x && x < e)
            return i;
    }
    return -1;
}

void CSTabFrame::ScrollTabs(bool toLeft)
{
    const int count = PageCount();
    if (count < 2)
        return;
    int lastStart = 0, last = 0;
    GetTabExtent(count - 1, &lastStart, &last);
    bool moved = false;
    int target = m_scrollTarget.load();
    for (int i = 0; i < count && !moved; ++i) {
        int s = 0, e = 0;
        GetTabExtent(i, &s, &e);
        if (toLeft) {
            if (s < target && target <= e) {
                target = s;
                moved = true;
            }
            continue;
        }
        if (last <= (m_stripRight - m_stripLeft) + target || s > target)
            break;
        if (e > target) {
            // Never past the start of the last tab: the strip would show no tab at all.
            moved = std::min(e, lastStart) > target;
            target = std::max(target, std::min(e, lastStart));
            break;
        }
        if (s >= target)
            break;
    }
    m_scrollTarget.store(target);
    if (moved)
        StartSlide();
    else
        UpdateScrollButtons();
}

void CSTabFrame::UpdateScrollButtons()
{
    const int count = PageCount();
    int lastStart = 0, last = 0;
    if (count > 0)
        GetTabExtent(count - 1, &lastStart, &last);
    const int target = m_scrollTarget.load();
    const bool showLeft = target > 0;
    const bool showRight = count >= 3 && last > (m_stripRight - m_stripLeft) + target && target < lastStart;
    for (auto [button, show] : {std::pair{&m_leftButton, showLeft}, std::pair{&m_rightButton, showRight}}) {
        if (show == (button->IsVisible() != 0))
            continue;
        button->SetVisible(show ? 1 : 0);
    }
}

void CSTabFrame::SetPos(int x, int y, int width, int height)
{
    SetAllDirty(1);
    {
        platform::ScopedLock lock(m_lock);
        m_stripRight = width - 50;
        m_stripLeft = 8;
        SetRect({x, y, x + width, y + height});
        m_pageArea = m_stripBottom <= 32 ? SRect{10, 34, width - 10, height - 10}
                                         : SRect{10, 10, width - 10, height - 40};
    }
    m_leftButton.SetPos(width - 45, m_stripTop + 6, 20, 20);
    m_rightButton.SetPos(width - 25, m_stripTop + 6, 20, 20);
    std::vector<CSTabPage*> pages;
    {
        platform::ScopedLock lock(m_lock);
        pages = m_pages;
    }
    for (CSTabPage* p : pages)
        p->SetPos(m_pageArea.left, m_pageArea.top, m_pageArea.Width(), m_pageArea.Height());
    UpdateScrollButtons();
}

SRect CSTabFrame::GetFocusRect()
{
    return LocalToWindowRect({m_stripLeft - 8, m_stripTop + 2, m_stripRight + 8, m_stripBottom - 2});
}

int CSTabFrame::OnDraw(uint32_t time)
{
    int drew = 0;
    if (AllDirty()) {
        const ImageBuffer8* background = GetTabBackground();
        if (!background || !m_image.data)
            return 0;
        TileFrame8(m_image, *background, 0, 0);
        m_slidePending.store(1);
        m_stripRedrawPending.store(1);
        InvalidateRect(0, 0, 0, 0, 1);
        drew = 1;
        if (m_switchEffect.load() && !(m_animState.load() & kFade)) {
            m_switchEffect.store(0);
            if (CSTabPage* page = GetSelectedPage())
                ::PostSpriteMessage(page, MSG_REFRESH, 0, 0, nullptr);
        }
    }
    const uint32_t start = m_startTick.load(), end = m_endTick.load();
    if ((m_animState.load() & kSlide) || m_slidePending.load()) {
        int level = 256;
        if (end != start) {
            const double f = double(int32_t(time - start)) / double(int32_t(end - start));
            level = int(std::clamp(f, 0.0, 1.0) * 256);
        }
        DrawTabStrip(level);
        m_slidePending.store(0);
        drew = 1;
    }
    if ((m_animState.load() & kFade) || m_stripRedrawPending.load()) {
        if (m_animState.load() & kFade) {
            std::vector<CSTabPage*> pages;
            {
                platform::ScopedLock lock(m_lock);
                pages = m_pages;
            }
            for (CSTabPage* p : pages)
                if (p->IsVisible())
                    HidePage(p);
        }
        DrawPageFade();
        m_stripRedrawPending.store(0);
        drew = 1;
    }
    if (m_animState.load() != 0 && (int32_t(time - end) > 0 || m_fadeLevel.load() >= 255)) {
        m_animState.store(0);
        DrawTabStrip(255);
        // The arrows are shown or hidden on the UI thread, which owns them.
        ::PostSpriteMessage(this, kMsgAnimationEnded, 0, 0, this);
    }
    return drew;
}

void CSTabFrame::DrawTabStrip(int level)
{
    platform::ScopedLock lock(m_lock);
    if (!m_image.data || m_image.height < m_stripBottom || m_stripLeft < 1)
        return;
    const int w = m_image.width;
    const int left = m_stripLeft, right = std::min(m_stripRight, w);
    const int top = std::max(0, m_stripTop), bottom = m_stripBottom;
    if (right <= left)
        return;
    for (int y = top; y < bottom; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(m_image.data + size_t(y) * w * 4);
        std::fill(row + left, row + right, row[left - 1]);
    }
    InvalidateRect(left, top, right, bottom, 1);

    int s = -1, e = -1;
    GetTabExtent(m_selected.load(), &s, &e);
    // The drawn slide: only this thread writes these; input reads the targets instead.
    const int target = m_scrollTarget.load();
    if (level >= 255) {
        m_highlightStart = s;
        m_highlightEnd = e;
        m_scroll = target;
    } else {
        m_highlightStart = (m_highlightStart + s) / 2;
        m_highlightEnd = (m_highlightEnd + e) / 2;
        m_scroll = (m_scroll + target) / 2;
    }
    const int scroll = m_scroll.load();
    const DrawRect clip{left, top, right, bottom};
    const int plateWidth = std::abs(m_highlightEnd - m_highlightStart);
    const ImageBuffer8* plateFrame = SharedUiImage(u"tabtitlebk.png");
    if (plateWidth > 0 && plateFrame && m_selected.load() >= 0) {
        ImageBuffer8 plate;
        if (AllocImage8(plate, plateWidth, kPlateHeight)) {
            TileFrame8(plate, *plateFrame, 0, 0);
            BlendImage8(m_image, plate, std::min(m_highlightStart.load(), m_highlightEnd.load()) - scroll + left,
                        m_stripTop + (32 - kPlateHeight) / 2, false, 256, clip);
            FreeImageBuffer(plate);
        }
    }
    const int selected = m_selected.load(), hovered = m_hovered.load();
    for (int i = 0; i < int(m_pages.size()); ++i) {
        const ImageBuffer8& header = m_pages[i]->HeaderImage();
        if (!header.data)
            continue;
        int ts = 0, te = 0;
        GetTabExtent(i, &ts, &te);
        const int x = left + ts + (te - ts - header.width) / 2 - scroll;
        const int y = m_stripTop + (32 - header.height) / 2;
        if (x + header.width <= left || x >= right)
            continue;
        const int shift = i == hovered && i != selected ? 8 : 9;
        for (int hy = 0; hy < header.height; ++hy) {
            const int fy = y + hy;
            if (fy < 0 || fy >= m_image.height)
                continue;
            for (int hx = std::max(0, left - x); hx < header.width && x + hx < right; ++hx) {
                const uint8_t* hp = header.data + (size_t(hy) * header.width + hx) * 4;
                const int v = (hp[2] * hp[3]) >> shift;
                uint8_t* fp = m_image.data + (size_t(fy) * w + x + hx) * 4;
                for (int c = 0; c < 3; ++c)
                    fp[c] = uint8_t(std::min(235, fp[c] + v));
                fp[3] = 255;
            }
        }
    }
}

void CSTabFrame::DrawPageFade()
{
    platform::ScopedLock lock(m_lock);
    const SRect a = m_pageArea;
    InvalidateRect(a.left, a.top, a.right, a.bottom, 1);
    if (!(m_animState.load() & kFade))
        return;
    auto fits = [&](const ImageBuffer8& s) {
        return s.data && s.width == a.Width() && s.height == a.Height();
    };
    if (fits(m_oldSnapshot) && fits(m_newSnapshot) && m_image.data && a.right <= m_image.width &&
        a.bottom <= m_image.height && a.left >= 0 && a.top >= 0) {
        if (m_direction.load() == 0)
            BlendPages(m_oldSnapshot, m_newSnapshot, a.left, a.top, a.right, a.bottom);
        else
            BlendPages(m_newSnapshot, m_oldSnapshot, a.left, a.top, a.right, a.bottom);
        const int level = m_fadeLevel.load() + 32;
        if (level > 252) {
            m_fadeLevel.store(255);
            m_animState.store(0);
        } else {
            m_fadeLevel.store(level);
        }
        return;
    }
    m_animState.store(0);
    FreeImageBuffer(m_oldSnapshot);
    FreeImageBuffer(m_newSnapshot);
    m_stripRedrawPending.store(0);
}

void CSTabFrame::BlendPages(const ImageBuffer8& first, const ImageBuffer8& second, int left,
                            int top, int right, int bottom)
{
    const bool swapped = m_direction.load() == 1;
    const ImageBuffer8& p = swapped ? second : first;
    const ImageBuffer8& q = swapped ? first : second;
    const int level = m_fadeLevel.load();
    const int w = m_image.width;
    for (int r = top; r < bottom; ++r) {
        const uint8_t* pp = p.data + size_t(r - top) * p.width * 4;
        const uint8_t* qp = q.data + size_t(r - top) * q.width * 4;
        uint8_t* t = m_image.data + (size_t(r) * w + left) * 4;
        for (int x = 0; x < right - left; ++x, pp += 4, qp += 4, t += 4) {
            for (int c = 0; c < 3; ++c)
                t[c] = uint8_t((pp[c] * (255 - level) + qp[c] * level) / 255);
            t[3] = 255;
        }
    }
}

void CSTabFrame::ReleaseResources(int flag)
{
    // The buttons are members; the release of the children must not delete them.
    RemoveChild(&m_leftButton);
    RemoveChild(&m_rightButton);
    m_leftButton.ReleaseResources(flag);
    m_rightButton.ReleaseResources(flag);
    CSprite::ReleaseResources(flag);
    platform::ScopedLock lock(m_lock);
    m_pages.clear();
    FreeImageBuffer(m_oldSnapshot);
    FreeImageBuffer(m_newSnapshot);
}

void CSTabFrame::OnMouseMove(int x, int y, uint32_t flags)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        // A child lying on the hovered tab (a derived strip's close button) keeps that tab
        // hovered and the capture with it: letting go there would take the hover away, and
        // with it whatever the hover showed under the pointer, at every other move.
        const int t = TabFromPoint(x, y);
        if (m_window && (t < 0 || t != m_hovered.load()))
            m_window->ReleaseCapture(this);
        const SRect r = child->Rect();
        child->OnMouseMove(x - r.left, y - r.top, flags);
        return;
    }
    const int t = TabFromPoint(x, y);
    const int before = m_hovered.load();
    if (t < 0 && m_window)
        m_window->ReleaseCapture(this);
    if (before >= 0) {
        m_hovered.store(t);
    } else if (t >= 0) {
        m_hovered.store(t);
        if (m_window)
            m_window->SetCapture(this);
    }
    if (m_hovered.load() != before) {
        OnSetCursor(x, y);
        StartSlide();
    }
}

void CSTabFrame::OnLButtonDown(int x, int y, uint32_t flags)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        child->OnLButtonDown(x - r.left, y - r.top, flags);
        return;
    }
    m_pressed = TabFromPoint(x, y);
}

void CSTabFrame::OnLButtonUp(int x, int y, uint32_t flags)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        child->OnLButtonUp(x - r.left, y - r.top, flags);
        return;
    }
    const int t = TabFromPoint(x, y);
    const int pressed = m_pressed;
    m_pressed = -1;
    if (t < 0 || t != pressed)
        return;
    SelectPage(PageAt(t), 0);
    if (m_window) {
        m_window->ReleaseCapture(this);
        m_window->PlayClickWave();
    }
}

int CSTabFrame::OnSetCursor(int x, int y)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        return child->OnSetCursor(x - r.left, y - r.top);
    }
    const int t = TabFromPoint(x, y);
    if (t >= 0 && t != m_selected.load()) {
        if (m_window)
            m_window->SetCursor(platform::StandardCursor::Hand);
        return 1;
    }
    return 0;
}

void CSTabFrame::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    const int count = PageCount();
    const int current = m_selected.load();
    int next = current;
    if (key == 37 || key == 38)
        next = current - 1;
    else if (key == 39 || key == 40)
        next = current + 1;
    next = std::clamp(next, 0, std::max(0, count - 1));
    if (count > 0 && next != current)
        SelectPage(PageAt(next), 0);
}

int CSTabFrame::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == kMsgAnimationEnded && message->sender == this) {
        UpdateScrollButtons();
        return 1;
    }
    if (message && message->code == MSG_COMMAND &&
        (message->sender == &m_leftButton || message->sender == &m_rightButton)) {
        ScrollTabs(message->sender == &m_leftButton);
        return 1;
    }
    return CMessageSprite::OnSpriteMessage(message);
}

// ---------------------------------------------------------------------------------------------
// CSVerticalTabFrame

void CSVerticalTabFrame::SetPos(int x, int y, int width, int height)
{
    {
        platform::ScopedLock lock(m_lock);
        m_stripTop = height - 35;
        m_stripBottom = height - 3;
    }
    CSTabFrame::SetPos(x, y, width, height);
}
