// Picture viewer and its tool bar: fit, zoom steps about a point, panning with limits, the
// overview, the zoom badge and the caption.
#include "ui/PictureView.h"

#include "imaging/AlphaTables.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kKeyLeft = 37, kKeyUp = 38, kKeyRight = 39, kKeyDown = 40, kKeyControl = 17;
constexpr uint32_t kKeyAdd = 107, kKeySubtract = 109, kKeyPlus = 187, kKeyMinus = 189;
constexpr int kClickSlop = 5;

int Trunc(double v)
{
    if (!(v == v))
        return 0;
    return int(std::clamp(v, -2147483647.0, 2147483647.0));
}

} // namespace

const double CSPicView::kZoomSteps[16] = {0.1, 0.25, 0.333333333, 0.5, 0.66666666666, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20};

double CSPicView::MenuZoom(int command)
{
    static const double zooms[] = {8.0, 4.0, 2.0, 1.0, 0.666667, 0.5, 0.333333, 0.25, 0.1};
    return command >= 2 && command <= 10 ? zooms[command - 2] : 0.0;
}

// ---------------------------------------------------------------------------------------------
// CSToolBar

CSToolBar::CSToolBar()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
    m_buttons.reserve(kMaxButtons);
}

CSToolBar::~CSToolBar()
{
    FreeImageList8(m_strip);
}

void CSToolBar::AddButton(int frameIndex, const char16_t* tooltip, int gap)
{
    if (int(m_buttons.size()) >= kMaxButtons)
        return;
    ToolBarButton b;
    b.frameIndex = frameIndex;
    CopyTextBounded(b.tooltip, 128, tooltip ? tooltip : u"");
    b.gap = gap;
    m_buttons.push_back(b);
}

int CSToolBar::Build()
{
    if (!m_strip.size() && !LoadUiImageStrip(UiImageFolder::Skin, u"picviewtool.png", kFrameWidth, m_strip) &&
        !LoadUiImageStrip(UiImageFolder::Basic, u"picviewtool.png", kFrameWidth, m_strip))
        return 0;
    for (ToolBarButton& r : m_buttons) {
        if (r.button)
            continue;
        if (r.frameIndex < 0 || r.frameIndex >= int(m_strip.size()))
            return 0;
        auto* b = new CSButton;
        b->SetAutoDelete(1);
        if (!b->Create(this, m_window, r.frameIndex + 1, 1, 0, 0, 20, 20) ||
            !b->Setup(r.caption[0] ? r.caption : nullptr, nullptr, 1, 0, 0, 20, 20) ||
            !CopyImage8(b->m_icon, *m_strip.items[r.frameIndex])) {
            b->ReleaseResources(1);
            delete b;
            return 0;
        }
        b->m_checkButton = r.check;
        b->SetTooltip(r.tooltip);
        r.button = b;
        AddChild(b);
    }
    // Laid out now, in the bar's own rectangle: they must not wait for the first resize.
    const SRect r = Rect();
    SetPos(r.left, r.top, r.Width(), r.Height());
    return 1;
}

int CSToolBar::GetLength() const
{
    int total = 0;
    for (const ToolBarButton& r : m_buttons)
        total += 30 + (r.gap ? 10 : 0);
    return total;
}

void CSToolBar::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    SetAllDirty(1);
    const bool row = width > height;
    int at = 0;
    for (ToolBarButton& r : m_buttons) {
        if (r.gap)
            at += 10;
        if (r.button) {
            if (row)
                r.button->SetPos(at, 0, height, height);
            else
                r.button->SetPos(0, at, width, width);
        }
        at += row ? height : width;
    }
    m_total = at;
}

void CSToolBar::ReleaseResources(int flag)
{
    m_buttons.clear();
    FreeImageList8(m_strip);
    CSprite::ReleaseResources(flag);
}

int CSToolBar::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_COMMAND && message->sender && message->sender->Parent() == this) {
        auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
        if (parent && (parent->Flags() & SF_INPUT))
            ::PostSpriteMessage(parent, MSG_COMMAND, (intptr_t(Id()) << 16) + message->param1, 0, this);
    }
    return CMessageSprite::OnSpriteMessage(message);
}

// ---------------------------------------------------------------------------------------------
// CSPicView

CSPicView::CSPicView()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
}

CSPicView::~CSPicView()
{
    RemoveChild(&m_toolBar);
    m_toolBar.ReleaseResources(1);
    m_zoomMenu.Close(0);
    m_zoomMenu.ReleaseResources(1);
    FreeImageBuffer(m_badge);
    FreeImageBuffer(m_captionImage);
}

int CSPicView::OnCreate()
{
    BuildGammaTables(); // 16-bit pictures are shown through them

    m_toolBar.AddButton(0, UiText(u"zoomin"), 0);
    m_toolBar.AddButton(1, UiText(u"zoomout"), 0);
    m_toolBar.AddButton(3, UiText(u"realsize"), 1);
    m_toolBar.AddButton(4, UiText(u"bestfit"), 0);
    if (!m_toolBar.Create(this, m_window, 1, 2, 4, 4, 4 + m_toolBar.GetLength(), 34) || !m_toolBar.Build())
        return 0;
    AddChild(&m_toolBar);
    // The zoom menu: a top-level sprite of the window, shown when the badge is pressed.
    if (!m_zoomMenu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_zoomMenu.SetVisible(0);
    const SRect r = Rect();
    m_area = {4, 35, r.Width() - 4, r.Height() - 4};
    return 1;
}

void FillZoomStepMenu(CSMenu& menu)
{
    menu.Close(0);
    menu.ReleaseResources(0);
    menu.AddItem(u"F", 1, UiText(u"bestfit"), nullptr);
    menu.AddItem(nullptr, 0, nullptr, nullptr);
    static constexpr const char16_t* kLabels[] = {u"800%", u"400%", u"200%", u"100%", u"67%",
                                                  u"50%",  u"33%",  u"25%",  u"10%"};
    for (int i = 0; i < 9; ++i)
        menu.AddItem(nullptr, 2 + i, kLabels[i], nullptr);
}

void CSPicView::OpenZoomMenu()
{
    if (!m_window || !m_zoomMenu.Window())
        return;
    FillZoomStepMenu(m_zoomMenu);
    const SPoint corner = LocalToWindowPoint({m_badgeRect.right, m_badgeRect.bottom});
    m_zoomMenu.Track(this, corner.x, corner.y, true, false);
}

void CSPicView::PictureSize(int& w, int& h) const
{
    w = m_picture8 ? m_picture8->width : m_picture16 ? m_picture16->width : 0;
    h = m_picture8 ? m_picture8->height : m_picture16 ? m_picture16->height : 0;
}

void CSPicView::PostToParent(intptr_t p1, intptr_t p2)
{
    auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
    if (parent && (parent->Flags() & SF_INPUT))
        ::PostSpriteMessage(parent, MSG_VIEW_CHANGED, p1, p2, this);
}

void CSPicView::NotifyViewChanged()
{
    if (m_zoom >= 0.1)
        PostToParent(kViewMoved, 0);
}

void CSPicView::SetImage8(const ImageBuffer8* picture, const char16_t* caption)
{
    const bool has = picture && picture->data && picture->width > 0 && picture->height > 0;
    SetPicture(has ? picture : nullptr, nullptr, 8, caption);
}

void CSPicView::SetImage16(const ImageBuffer16* picture, const char16_t* caption)
{
    const bool has = picture && picture->data && picture->width > 0 && picture->height > 0;
    SetPicture(nullptr, has ? picture : nullptr, 16, caption);
}

// One of the two pictures becomes the shown one; a null or empty picture clears only the slot
// it was given for (8 or 16 bits).
void CSPicView::SetPicture(const ImageBuffer8* picture8, const ImageBuffer16* picture16, int slot,
                           const char16_t* caption)
{
    {
        platform::ScopedLock lock(m_lock);
        if (picture8 || picture16) {
            m_picture8 = picture8;
            m_picture16 = picture16;
            PictureSize(m_pictureWidth, m_pictureHeight);
            FitToView();
        } else if (slot == 8) {
            m_picture8 = nullptr;
        } else {
            m_picture16 = nullptr;
        }
        CopyTextBounded(m_caption, 64, caption ? caption : u"");
        FreeImageBuffer(m_captionImage);
    }
    SetAllDirty(1);
    m_needsBadge.store(1);
}

void CSPicView::FitToView()
{
    int pw, ph;
    PictureSize(pw, ph);
    if (pw <= 0 || ph <= 0)
        return;
    const double aw = std::max(1, m_area.Width()), ah = std::max(1, m_area.Height());
    m_zoom = std::min({aw / pw, ah / ph, 1.0});
    ScrollTo(0, 0);
    NotifyViewChanged();
    m_needsBadge.store(1);
}

void CSPicView::ScrollTo(int x, int y)
{
    platform::ScopedLock lock(m_lock);
    int pw, ph;
    PictureSize(pw, ph);
    const double zoom = m_zoom > 0 ? m_zoom : 1.0;
    x = std::max(0, x);
    y = std::max(0, y);
    int right = x + Trunc(std::max(0, m_area.Width()) / zoom);
    int bottom = y + Trunc(std::max(0, m_area.Height()) / zoom);
    if (right > pw) {
        x = std::max(0, x - (right - pw));
        right = pw;
    }
    if (bottom > ph) {
        y = std::max(0, y - (bottom - ph));
        bottom = ph;
    }
    m_source = {x, y, right, bottom};
    SetAllDirty(1);
}

SPoint CSPicView::ViewToImage(int x, int y) const
{
    if (!OnShown(x, y) || m_zoom <= 0)
        return {0, 0};
    const int px = m_source.left + Trunc((x - m_shown.left) / m_zoom + 0.5);
    const int py = m_source.top + Trunc((y - m_shown.top) / m_zoom + 0.5);
    return {std::min(px, m_source.right - 1), std::min(py, m_source.bottom - 1)};
}

SPoint CSPicView::ShownCentreInPicture() const
{
    return ViewToImage((m_shown.left + m_shown.right) / 2, (m_shown.top + m_shown.bottom) / 2);
}

void CSPicView::StepZoom(bool in, int x, int y)
{
    if (m_zoomLock)
        return;
    const double old = m_zoom;
    double zoom = old;
    if (in) {
        if (old < 0.1) {
            zoom = 0.1;
        } else if (old < 20) {
            for (int i = 1; i < 16; ++i)
                if (kZoomSteps[i] > old) {
                    zoom = kZoomSteps[i];
                    break;
                }
        }
    } else {
        if (old > 20) {
            zoom = 20;
        } else if (old > 0.1) {
            for (int i = 15; i >= 0; --i)
                if (kZoomSteps[i] < old) {
                    zoom = kZoomSteps[i];
                    break;
                }
        }
    }
    if (zoom == old)
        return;
    m_zoom = zoom;
    const int ox = x - Trunc(m_area.Width() / (2 * zoom));
    const int oy = y - Trunc(m_area.Height() / (2 * zoom));
    NotifyViewChanged();
    ScrollTo(ox, oy);
    m_needsBadge.store(1);
}

void CSPicView::SetZoom(double zoom)
{
    if (m_zoomLock && zoom != 1.0)
        return;
    if (!(zoom > 0) || zoom == m_zoom)
        return;
    const SPoint p = ShownCentreInPicture();
    const double old = m_zoom;
    const int ox = p.x - Trunc(Trunc((p.x - m_source.left) * old) / zoom);
    const int oy = p.y - Trunc(Trunc((p.y - m_source.top) * old) / zoom);
    m_zoom = zoom;
    NotifyViewChanged();
    ScrollTo(ox, oy);
    m_needsBadge.store(1);
}

void CSPicView::SyncWith(const CSPicView* other)
{
    if (!other || other == this || !(other->m_zoom > 0))
        return;
    m_zoom = other->m_zoom;
    ScrollTo(other->m_source.left, other->m_source.top);
    m_needsBadge.store(1);
}

void CSPicView::NavigatorJump(int x, int y)
{
    const SRect n = m_navigator;
    if (n.IsEmpty() || x < n.left || x >= n.right || y < n.top || y >= n.bottom)
        return;
    int pw, ph;
    PictureSize(pw, ph);
    const int nw = n.Width(), nh = n.Height();
    const int ox = int((int64_t(x - n.left) * pw + nw / 2) / nw) - Trunc(m_area.Width() / m_zoom + 0.5) / 2;
    const int oy = int((int64_t(y - n.top) * ph + nh / 2) / nh) - Trunc(m_area.Height() / m_zoom + 0.5) / 2;
    NotifyViewChanged();
    ScrollTo(ox, oy);
    if (m_zoomLock)
        PostToParent(kViewDragEnded, 0);
}

void CSPicView::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    SetAllDirty(1);
    m_toolBar.SetPos(4, 4, m_toolBar.GetLength(), 30);
    {
        platform::ScopedLock lock(m_lock);
        m_area = {4, 35, width - 4, height - 4};
        FreeImageBuffer(m_captionImage);
    }
    ScrollTo(m_source.left, m_source.top);
}

SRect CSPicView::GetFocusRect()
{
    if (!HasPicture())
        return {};
    return LocalToWindowRect(m_area);
}

void CSPicView::BuildZoomBadge()
{
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_badge);
    if (!HasPicture())
        return;
    char16_t text[16] = {};
    char narrow[16];
    std::snprintf(narrow, sizeof narrow, "%d%%", Trunc(m_zoom * 100 + 0.5));
    for (int i = 0; narrow[i] && i < 15; ++i)
        text[i] = char16_t(narrow[i]);
    ImageBuffer8 coverage;
    if (!RenderTextLocked(text, coverage, nullptr, 0, 200, nullptr))
        return;
    const ImageBuffer8* frame = SharedUiImage(u"roundframe.png");
    if (frame && AllocImage8(m_badge, coverage.width + 20, 24)) {
        TileFrame8(m_badge, *frame, 0, 0);
        FillThroughMask8(m_badge, coverage, 10, (24 - coverage.height) / 2, 0xDCDCDC);
    }
    FreeImageBuffer(coverage);
}

void CSPicView::DrawCaption()
{
    if (!m_caption[0] || !HasPicture())
        return;
    const int room = Width() - m_toolBar.Width() - 70;
    if (room < 1)
        return;
    if (!m_captionImage.data || m_captionImage.width > room) {
        FreeImageBuffer(m_captionImage);
        if (!RenderTextLocked(m_caption, m_captionImage, nullptr, 14, room, nullptr))
            return;
    }
    FillThroughMask8(m_image, m_captionImage, m_toolBar.Width() + 8 + (room - m_captionImage.width) / 2,
                     (35 - m_captionImage.height) / 2, 0x808080);
}

int CSPicView::OnDraw(uint32_t)
{
    if (m_needsBadge.exchange(0)) {
        BuildZoomBadge();
        SetAllDirty(1);
    }
    if (AllDirty() && m_image.data) {
        std::memset(m_image.data, 0, m_image.byteSize);
        m_needsRender.store(1);
        DrawCaption();
        if (HasPicture() && m_badge.data) {
            const int bx = m_image.width - m_badge.width - 4, by = (36 - m_badge.height) / 2;
            BlendImage8(m_image, m_badge, bx, by, true, 256);
            m_badgeRect = {bx, by, bx + m_badge.width, by + m_badge.height};
        }
        InvalidateRect(0, 0, 0, 0, 1);
    }
    if (!m_needsRender.exchange(0))
        return 0;
    RenderView();
    return 1;
}

void CSPicView::RenderView()
{
    platform::ScopedLock lock(m_lock);
    if (!HasPicture() || !m_image.data)
        return;
    int pw, ph;
    PictureSize(pw, ph);
    if (pw != m_pictureWidth || ph != m_pictureHeight) {
        m_pictureWidth = pw;
        m_pictureHeight = ph;
        ScrollTo(m_source.left, m_source.top);
        PostSpriteMessage(MSG_REFRESH, 0, 0, this);
        return;
    }
    int w = m_source.Width(), h = m_source.Height();
    if (w <= 0 || h <= 0)
        return;
    if (std::fabs(m_zoom - 1) > 1e-10) {
        w = std::max(1, Trunc(w * m_zoom + 0.5));
        h = std::max(1, Trunc(h * m_zoom + 0.5));
    }
    const int samples = m_zoom < 1 ? 2 : 1;
    ImageBuffer8 view;
    const SRect s = m_source;
    const int ok = m_picture8 ? ResizeImage8(*m_picture8, view, w, h, samples, s.left, s.top, s.right, s.bottom)
                              : ResizeImage16To8(*m_picture16, view, w, h, samples, s.left, s.top, s.right, s.bottom);
    if (!ok)
        return;
    const int x = m_area.left + (m_area.Width() - view.width) / 2;
    const int y = m_area.top + (m_area.Height() - view.height) / 2;
    m_shown = {x, y, x + view.width, y + view.height};
    BlendImage8(m_image, view, x, y, true, 256);
    FreeImageBuffer(view);
    if (int64_t(s.Width()) * s.Height() < int64_t(pw) * ph / 2)
        DrawNavigator();
    else
        m_navigator = {};
    InvalidateRect(m_area.left, m_area.top, m_area.right, m_area.bottom, 1);
}

void CSPicView::DrawNavigator()
{
    m_navigator = {};
    if (m_area.Width() < kNavigatorMinArea || m_area.Height() < kNavigatorMinArea)
        return;
    int pw, ph;
    PictureSize(pw, ph);
    const int bw = pw > ph ? 150 : std::max(3, pw * 150 / ph);
    const int bh = pw > ph ? std::max(3, ph * 150 / pw) : 150;
    const int right = m_area.right - 1, top = m_area.top + 1;
    const SRect n{right - bw, top, right, top + bh};
    m_navigator = n;
    const SRect v{n.left + int(int64_t(bw) * m_source.left / pw), n.top + int(int64_t(bh) * m_source.top / ph),
                  n.left + int(int64_t(bw) * m_source.right / pw), n.top + int(int64_t(bh) * m_source.bottom / ph)};
    ImageBuffer8 thumb;
    const int ok = m_picture8 ? ResizeImage8(*m_picture8, thumb, bw - 2, bh - 2, 2)
                              : ResizeImage16To8(*m_picture16, thumb, bw - 2, bh - 2, 2);
    if (!ok)
        return;
    for (int y = std::max(0, n.top); y < std::min(m_image.height, n.bottom); ++y)
        for (int x = std::max(0, n.left); x < std::min(m_image.width, n.right); ++x) {
            uint8_t* p = m_image.data + (size_t(y) * m_image.width + x) * 4;
            const bool border = y == n.top || y == n.bottom - 1 || x == n.left || x == n.right - 1;
            const bool inside = x >= v.left && x < v.right && y >= v.top && y < v.bottom;
            for (int c = 0; c < 4; ++c)
                p[c] = uint8_t(border ? (p[c] + 512) / 3 : inside ? (p[c] + 255) / 2 : p[c] / 2);
        }
    BlendImage8(m_image, thumb, n.left + 1, n.top + 1, true, 128);
    FreeImageBuffer(thumb);
    const int cx = (v.left + v.right) / 2, cy = (v.top + v.bottom) / 2;
    if (cx >= 0 && cy >= 0 && cx < m_image.width && cy < m_image.height)
        std::memcpy(m_image.data + (size_t(cy) * m_image.width + cx) * 4, "\0\0\0\xFF", 4);
}

void CSPicView::OnMouseWheel(int x, int y, int delta)
{
    if (!OnShown(x, y) || m_dragging || int16_t(delta) == 0)
        return;
    const SPoint p = ViewToImage(x, y);
    StepZoom(int16_t(delta) > 0, p.x, p.y);
}

void CSPicView::OnMouseMove(int x, int y, uint32_t flags)
{
    if (m_dragging) {
        NotifyViewChanged();
        // The same rounding on both axes, so a diagonal drag does not drift.
        ScrollTo(m_dragAnchor.x - Trunc((x - m_shown.left) / m_zoom + 0.5),
                 m_dragAnchor.y - Trunc((y - m_shown.top) / m_zoom + 0.5));
        return;
    }
    if (!OnShown(x, y) && !(flags & kCaptureDelivery))
        if (CMessageSprite* child = ChildFromPoint(x, y)) {
            const SRect r = child->Rect();
            child->OnMouseMove(x - r.left, y - r.top, flags);
            return;
        }
    OnSetCursor(x, y);
}

void CSPicView::OnLButtonDown(int x, int y, uint32_t flags)
{
    const SRect n = m_navigator, b = m_badgeRect;
    if (HasPicture() && OnShown(x, y) && !m_dragging) {
        int pw, ph;
        PictureSize(pw, ph);
        if (!n.IsEmpty() && x >= n.left && x < n.right && y >= n.top && y < n.bottom) {
            NavigatorJump(x, y);
        } else if (m_source.left != 0 || m_source.top != 0 || m_source.right != pw || m_source.bottom != ph) {
            m_dragging = 1;
            if (m_window)
                m_window->SetCapture(this);
            m_dragAnchor = ViewToImage(x, y);
        }
        m_pressPoint = {x, y};
        return;
    }
    if (HasPicture() && x >= b.left && x < b.right && y >= b.top && y < b.bottom) {
        OpenZoomMenu();
        return;
    }
    if (!(flags & kCaptureDelivery))
        if (CMessageSprite* child = ChildFromPoint(x, y)) {
            const SRect r = child->Rect();
            child->OnLButtonDown(x - r.left, y - r.top, flags);
        }
}

void CSPicView::OnLButtonUp(int x, int y, uint32_t flags)
{
    const bool click = std::abs(x - m_pressPoint.x) < kClickSlop && std::abs(y - m_pressPoint.y) < kClickSlop;
    const bool wasDragging = m_dragging != 0;
    if (click && m_clickReporting && OnShown(x, y)) {
        const SPoint p = ViewToImage(x, y);
        PostToParent(kViewClicked, intptr_t((uint32_t(p.y) << 16) + uint32_t(p.x)));
    } else if (!click && wasDragging) {
        PostToParent(kViewDragEnded, 0);
    }
    if (wasDragging) {
        m_dragging = 0;
        if (m_window)
            m_window->ReleaseCapture(this);
        return;
    }
    if (!(flags & kCaptureDelivery))
        if (CMessageSprite* child = ChildFromPoint(x, y)) {
            const SRect r = child->Rect();
            child->OnLButtonUp(x - r.left, y - r.top, flags);
        }
}

int CSPicView::OnSetCursor(int x, int y)
{
    if (!m_window)
        return 0;
    const SRect n = m_navigator, b = m_badgeRect;
    if (HasPicture() && OnShown(x, y)) {
        int pw, ph;
        PictureSize(pw, ph);
        if (!n.IsEmpty() && x >= n.left && x < n.right && y >= n.top && y < n.bottom) {
            m_window->SetCursor(platform::StandardCursor::Cross);
            return 1;
        }
        if (m_hasCustomCursor) {
            m_window->SetCursor(m_customCursor);
            return 1;
        }
        const bool whole = m_source.left == 0 && m_source.top == 0 && m_source.right == pw && m_source.bottom == ph;
        if (!whole) {
            m_window->SetCursor(platform::StandardCursor::SizeAll);
            return 1;
        }
    } else if (HasPicture() && x >= b.left && x < b.right && y >= b.top && y < b.bottom) {
        m_window->SetCursor(platform::StandardCursor::Hand);
        return 1;
    }
    return CMessageSprite::OnSetCursor(x, y);
}

void CSPicView::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    if (!HasPicture() || !(m_zoom > 0))
        return;
    const int step = Trunc(50 / m_zoom);
    int dx = 0, dy = 0;
    switch (key) {
    case kKeyLeft: dx = -step; break;
    case kKeyRight: dx = step; break;
    case kKeyUp: dy = -step; break;
    case kKeyDown: dy = step; break;
    default: break;
    }
    if (dx || dy) {
        NotifyViewChanged();
        ScrollTo(m_source.left + dx, m_source.top + dy);
        return;
    }
    const bool ctrl = m_window && m_window->PlatformWindow() && m_window->PlatformWindow()->IsKeyDown(kKeyControl);
    if (!ctrl)
        return;
    if (key == kKeyAdd || key == kKeyPlus || key == kKeySubtract || key == kKeyMinus) {
        const SPoint p = ShownCentreInPicture();
        StepZoom(key == kKeyAdd || key == kKeyPlus, p.x, p.y);
    }
}

int CSPicView::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_COMMAND) {
        const SPoint p = ShownCentreInPicture();
        switch (message->param1) {
        case kCmdZoomIn: StepZoom(true, p.x, p.y); break;
        case kCmdZoomOut: StepZoom(false, p.x, p.y); break;
        case kCmdRealSize:
            m_zoom = 1.0;
            NotifyViewChanged();
            m_needsBadge.store(1);
            ScrollTo(0, 0);
            break;
        case kCmdBestFit: FitToView(); break;
        default: break;
        }
    } else if (message && message->code == MSG_MENU_COMMAND) {
        if (message->param1 == 1)
            FitToView();
        else if (const double z = MenuZoom(int(message->param1)); z > 0)
            SetZoom(z);
    }
    return CMessageSprite::OnSpriteMessage(message);
}
