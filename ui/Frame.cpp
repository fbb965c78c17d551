// The self-drawn window frame. Moving and resizing are left to the window system through the
// hit zones (the platform's hit test), so a drag never fights the window manager.
#include "ui/Frame.h"

#include "imaging/Draw8.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

CFrame::CFrame()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
}

CFrame::~CFrame()
{
    // The buttons are members: released here, never deleted.
    CFrame::ReleaseResources(1);
}

int CFrame::OnCreate()
{
    if (!LoadUiImage(UiImageFolder::Skin, u"title.png", m_title))
        return 0;
    struct Spec { CSButton& button; int id; const char16_t* icon; };
    const Spec specs[] = {{m_close, 4, u"close.png"}, {m_maximise, 3, u"restore.png"}, {m_minimise, 2, u"minimal.png"}};
    for (const Spec& s : specs) {
        if (!s.button.Create(this, m_window, s.id, 2, 0, 0, 21, 15))
            return 0;
        if (!s.button.Setup(nullptr, s.icon, 0, 0, 0, 21, 15))
            return 0;
        AddChild(&s.button);
    }
    return 1;
}

void CFrame::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_title);
    }
    CSprite::ReleaseResources(flag);
}

void CFrame::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    m_close.SetPos(width - 29, 8, 21, 15);
    m_maximise.SetPos(width - 51, 8, 21, 15);
    m_minimise.SetPos(width - 73, 8, 21, 15);
}

int CFrame::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    if (const ImageBuffer8* frame = SharedUiImage(u"frame.png"))
        TileFrame8(m_image, *frame, 0, 0);
    if (m_title.data)
        BlendImage8(m_image, m_title, 2, -2, true, 256);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

int CFrame::HasContentIn(const SRect& r)
{
    if (!m_image.data)
        return 0;
    const int w = m_image.width, h = m_image.height;
    if (r.left >= kBorder && r.right <= w - kBorder && r.top >= kTopBand && r.bottom <= h - kBorder)
        return 0;
    return 1;
}

void CFrame::ToggleMaximised()
{
    platform::Window* window = m_window ? m_window->PlatformWindow() : nullptr;
    if (m_maximised.load()) {
        if (window)
            window->Restore();
        m_maximise.SetIcon(u"maximal.png");
        m_maximised.store(0);
    } else {
        if (window)
            window->Maximize();
        m_maximise.SetIcon(u"restore.png");
        m_maximised.store(1);
    }
}

void CFrame::SyncMaximised(bool maximised)
{
    if ((m_maximised.load() != 0) == maximised)
        return;
    m_maximised.store(maximised ? 1 : 0);
    m_maximise.SetIcon(maximised ? u"restore.png" : u"maximal.png");
}

int CFrame::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_COMMAND) {
        platform::Window* window = m_window ? m_window->PlatformWindow() : nullptr;
        switch (message->param1) {
        case 2:
            if (window)
                window->Minimize();
            break;
        case 3:
            ToggleMaximised();
            break;
        case 4:
            if (m_window)
                m_window->OnCloseRequest();
            break;
        default:
            break;
        }
    }
    return CMessageSprite::OnSpriteMessage(message);
}

int CFrame::ZoneAt(int x, int y, int width, int height)
{
    auto part = [](int v, int extent) {
        if (v > extent - kBorder)
            return 2; // the far edge wins when both apply
        if (v < kBorder)
            return 0;
        return 1;
    };
    return part(x, width) + 4 * part(y, height);
}

platform::HitArea CFrame::HitAreaAt(int x, int y) const
{
    using platform::HitArea;
    if (m_maximised.load())
        return HitArea::Client;
    const SRect r = Rect();
    if (x < r.left || y < r.top || x >= r.right || y >= r.bottom)
        return HitArea::Client;
    // Buttons in the title band stay clickable.
    for (const CSButton* b : {&m_close, &m_maximise, &m_minimise}) {
        const SRect br = b->Rect();
        if (x >= br.left && x < br.right && y >= br.top && y < br.bottom)
            return HitArea::Client;
    }
    switch (ZoneAt(x - r.left, y - r.top, r.Width(), r.Height())) {
    case 0: return HitArea::TopLeft;
    case 1: return HitArea::Top;
    case 2: return HitArea::TopRight;
    case 4: return HitArea::Left;
    case 6: return HitArea::Right;
    case 8: return HitArea::BottomLeft;
    case 9: return HitArea::Bottom;
    case 10: return HitArea::BottomRight;
    case 5: return y - r.top < kTitleBand ? HitArea::Caption : HitArea::Client;
    default: return HitArea::Client;
    }
}

int CFrame::OnSetCursor(int x, int y)
{
    if (ChildFromPoint(x, y))
        return CMessageSprite::OnSetCursor(x, y);
    int zone = ZoneAt(x, y, Width(), Height());
    if (m_maximised.load()) {
        if (zone == 5 && y < kTitleBand)
            m_zone = 3;
        return 0;
    }
    if (zone == 5 && y < kTitleBand)
        zone = 3;
    m_zone = zone;
    using platform::StandardCursor;
    StandardCursor cursor;
    switch (zone) {
    case 0: case 10: cursor = StandardCursor::SizeNWSE; break;
    case 2: case 8: cursor = StandardCursor::SizeNESW; break;
    case 1: case 9: cursor = StandardCursor::SizeNS; break;
    case 4: case 6: cursor = StandardCursor::SizeWE; break;
    default: return 0;
    }
    if (m_window)
        m_window->SetCursor(cursor);
    return 1;
}

void CFrame::OnLButtonDown(int x, int y, uint32_t flags)
{
    if (ChildFromPoint(x, y)) {
        CMessageSprite::OnLButtonDown(x, y, flags);
        return;
    }
    if (m_window)
        m_window->SetCapture(this);
    m_pressX = x;
    m_pressY = y;
    m_dragging = 1;
}

void CFrame::OnMouseMove(int x, int y, uint32_t flags)
{
    // Buttons see every move (also the leave, through their own capture).
    CMessageSprite::OnMouseMove(x, y, flags);
    platform::Window* window = m_window ? m_window->PlatformWindow() : nullptr;
    // A maximised window stays where the window system put it.
    if (!m_dragging || !window || m_maximised.load())
        return;
    const platform::Rect now = window->ScreenRect();
    const platform::Rect r = DraggedWindowRect(now, window->CursorScreenPos(), m_zone, m_pressX, m_pressY,
                                               m_window->DisplayScale());
    if (!(r == now))
        window->MoveTo(r);
}

platform::Rect CFrame::DraggedWindowRect(platform::Rect r, platform::Point cursor, int zone, int pressX,
                                         int pressY, double scale)
{
    const int cx = cursor.x, cy = cursor.y;
    if (zone == 3) {
        // The press point stays under the pointer.
        const int w = r.Width(), h = r.Height();
        r.left = cx - int(pressX * scale + 0.5);
        r.top = cy - int(pressY * scale + 0.5);
        r.right = r.left + w;
        r.bottom = r.top + h;
        return r;
    }
    const int h = zone % 4, v = zone / 4;
    if (h == 0 && r.right - cx > kMinWidth)
        r.left = cx;
    if (h == 2 && cx - r.left > kMinWidth)
        r.right = cx;
    if (v == 0 && r.bottom - cy > kMinHeight)
        r.top = cy;
    if (v == 2 && cy - r.top > kMinHeight)
        r.bottom = cy;
    return r;
}

void CFrame::OnLButtonUp(int x, int y, uint32_t flags)
{
    if (!m_dragging) {
        CMessageSprite::OnLButtonUp(x, y, flags);
        return;
    }
    if (m_window)
        m_window->ReleaseCapture(this);
    m_dragging = 0;
}

void CFrame::OnLButtonDblClk(int x, int y, uint32_t flags)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        child->OnLButtonUp(x - r.left, y - r.top, flags);
        return;
    }
    if (m_zone == 3 || (ZoneAt(x, y, Width(), Height()) == 5 && y < kTitleBand))
        ToggleMaximised();
}
