#include "app/MainTabFrame.h"

#include "album/AlbumPage.h"
#include "editor/EditPage.h"
#include "imaging/ImageCodec/ImageType.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>

bool IsAlbumPage(const CSprite* page)
{
    return page && (page->Flags() & SF_ALBUMPAGE) == SF_ALBUMPAGE;
}

bool IsEditPage(const CSprite* page)
{
    return page && (page->Flags() & SF_EDITPAGE) != 0;
}

CSMainTabFrame::CSMainTabFrame() = default;

CSMainTabFrame::~CSMainTabFrame()
{
    // The buttons are members: out of the child list before the base's release runs.
    RemoveChild(&m_close);
    RemoveChild(&m_goAlbum);
    FreeImageBuffer(m_frameImage);
}

int CSMainTabFrame::Create(CSprite* parent, CRenderWindow* window, int32_t id, int left, int top, int right,
                           int bottom, int32_t zLevel)
{
    // The picture first: without it the strip has nothing to draw its frame with.
    FreeImageBuffer(m_frameImage);
    if (!LoadUiImage(UiImageFolder::Skin, u"maintabframe.png", m_frameImage))
        return 0;
    if (!CSTabFrame::Create(parent, window, id, left, top, right, bottom, zLevel))
        return 0;
    m_stripLeft = 8;
    m_stripRight = (right - left) - 50;
    return 1;
}

int CSMainTabFrame::OnCreate()
{
    if (!CSTabFrame::OnCreate())
        return 0;
    if (!m_goAlbum.Create(this, m_window, kGoAlbumButton, 1, 45, 6, 145, 26) ||
        !m_goAlbum.Setup(UiText(u"Go Album"), nullptr, 0, 45, 6, 145, 26))
        return 0;
    m_goAlbum.SetVisible(0);
    AddChild(&m_goAlbum);
    if (!m_close.Create(this, m_window, kCloseButton, 1, 0, 0, kCloseSize, kCloseSize) ||
        !m_close.Setup(nullptr, u"close.png", 0, 0, 0, kCloseSize, kCloseSize))
        return 0;
    m_close.SetVisible(0);
    AddChild(&m_close);
    return 1;
}

void CSMainTabFrame::SetPos(int x, int y, int width, int height)
{
    CSTabFrame::SetPos(x, y, width, height);
    {
        platform::ScopedLock lock(m_lock);
        m_stripLeft = 150;
        m_stripRight = width - 50;
    }
    UpdateScrollButtons();
}

void CSMainTabFrame::GetTabExtent(int index, int* start, int* end)
{
    // Outside the tabs both ends are -1, so no caller reads an unset value.
    platform::ScopedLock lock(m_lock);
    if (index < 0 || index >= int(m_pages.size())) {
        if (start)
            *start = -1;
        if (end)
            *end = -1;
        return;
    }
    int s = 0;
    for (int i = 0; i < index; ++i)
        s += m_pages[i]->HeaderImage().width + kTabExtra;
    if (start)
        *start = s;
    if (end)
        *end = s + m_pages[index]->HeaderImage().width + kTabExtra;
}

void CSMainTabFrame::UpdateScrollButtons()
{
    CSTabFrame::UpdateScrollButtons();
    if (PageCount() == 0 || !m_albumButtonAllowed)
        return;
    int start = 0, end = 0;
    GetTabExtent(0, &start, &end);
    const bool show = end <= m_scroll;
    if (show != (m_goAlbum.IsVisible() != 0))
        m_goAlbum.SetVisible(show ? 1 : 0);
}

void CSMainTabFrame::HideAlbumButton()
{
    m_albumButtonAllowed = 0;
    m_goAlbum.SetVisible(0);
}

const ImageBuffer8* CSMainTabFrame::GetTabBackground()
{
    return m_frameImage.data ? &m_frameImage : CSTabFrame::GetTabBackground();
}

int CSMainTabFrame::SelectPage(CSTabPage* page, int force)
{
    const int result = CSTabFrame::SelectPage(page, force);
    if (result) {
        m_stripRedrawPending.store(1);
        SetAllDirty(1);
        // The hover picture of a tab would now cover its own page with a stale copy.
        if (m_window)
            m_window->HideTooltip();
    }
    return result;
}

void CSMainTabFrame::RemovePage(CSTabPage* page)
{
    if (PageCount() >= 3 && IsAlbumPage(PageAt(0)))
        m_previous.store(0);
    // The hovered index would name another page after the removal.
    m_hovered.store(-1);
    HoverChanged(-1);
    CSTabFrame::RemovePage(page);
}

void CSMainTabFrame::HoverChanged(int hovered)
{
    if (m_closeShown) {
        m_close.SetVisible(0);
        m_closeShown = 0;
    }
    if (m_window)
        m_window->HideTooltip();
    CSTabPage* page = PageAt(hovered);
    if (!IsEditPage(page))
        return;
    int start = 0, end = 0;
    GetTabExtent(hovered, &start, &end);
    m_close.SetPos(end + m_stripLeft - m_scroll - 20, 8, kCloseSize, kCloseSize);
    m_close.SetVisible(1);
    m_closeShown = 1;
    auto* edit = static_cast<CSEditPage*>(page);
    if (hovered != m_selected.load() && edit->preview.data && m_window) {
        const SPoint p = LocalToWindowPoint({m_stripLeft + start - m_scroll, 40});
        m_window->ShowTooltipImage(p.x, p.y, edit->preview);
    }
}

void CSMainTabFrame::OnMouseMove(int x, int y, uint32_t flags)
{
    const int before = m_hovered.load();
    CSTabFrame::OnMouseMove(x, y, flags);
    const int now = m_hovered.load();
    if (now != before)
        HoverChanged(now);
}

int CSMainTabFrame::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_COMMAND && m->sender == &m_goAlbum) {
        if (PageCount() > 0 && m_selected.load() != 0) {
            SelectPage(PageAt(0), 0);
            m_scroll = 0;
            m_scrollTarget = 0;
            UpdateScrollButtons();
            StartSlide();
        }
        return 1;
    }
    if (m && m->code == MSG_COMMAND && m->sender == &m_close) {
        // The hovered index is checked again now: a page may have gone since the hover.
        const int hovered = m_hovered.load();
        CSTabPage* page = PageAt(hovered);
        m_close.SetVisible(0);
        m_closeShown = 0;
        m_hovered.store(-1);
        if (page && IsEditPage(page) && !IsAlbumPage(page) && closeTab) {
            closeTab(page);
            if (writeCrashStatus)
                writeCrashStatus();
        }
        return 1;
    }
    return CSTabFrame::OnSpriteMessage(m);
}

int CSMainTabFrame::OnDropFiles(int x, int y, const std::vector<platform::String16>* files)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        if (const int taken = child->OnDropFiles(x - r.left, y - r.top, files))
            return taken;
        // A page that takes drops keeps them (the album takes every drop on it); on an editor
        // page a dropped photo opens as on the strip.
        if (FindPage(dynamic_cast<CSTabPage*>(child)) < 0)
            return 0;
    }
    if (!files)
        return 0;
    for (const platform::String16& path : *files) {
        if (path.empty() || path.size() > 511)
            continue;
        if (ImageTypeFromExtension(path.c_str()) == kImageTypeOther)
            continue;
        if (openImage)
            openImage(path);
    }
    return 1;
}

int CSMainTabFrame::HasContentIn(const SRect& own)
{
    if (m_switchEffect.load())
        return 1;
    if (!m_image.data)
        return 0;
    const int w = Width(), h = Height();
    const bool inside = own.left >= 10 && own.right <= w - 10 && own.top >= m_stripBottom + 10 && own.bottom <= h - 10;
    return inside ? 0 : 1;
}

void CSMainTabFrame::ReleaseResources(int flag)
{
    FreeImageBuffer(m_frameImage);
    RemoveChild(&m_goAlbum);
    RemoveChild(&m_close);
    m_goAlbum.ReleaseResources(flag);
    m_close.ReleaseResources(flag);
    CSTabFrame::ReleaseResources(flag);
}
