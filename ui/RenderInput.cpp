// The input side of the render window: platform events become sprite calls in logical
// coordinates; the keyboard focus, the modal stack, mouse capture, accelerators, the repeat
// filter, the one-second capture/tooltip timer and dropped files. All of it runs on the UI thread.
#include "ui/RenderWindow.h"

#include "platform/Clock.h"
#include "ui/Effects.h"
#include "ui/FocusIndicate.h"
#include "ui/Frame.h"
#include "ui/TicketRegistry.h"
#include "ui/Tip.h"

#include <algorithm>

namespace {

constexpr uint32_t kKeyRepeatFilterMs = 100;
constexpr int kCaptureSlack = 32;

bool ParentShown(const CSprite* s)
{
    const CSprite* p = s->Parent();
    return !p || !IsPointerAlive(p) || p->IsShown();
}

} // namespace

void CRenderWindow::OnEvent(platform::Window&, const platform::WindowEvent& e)
{
    using platform::EventKind;
    switch (e.kind) {
    case EventKind::Message:
        if (e.message == WM_SPRITE_MESSAGE)
            OnSpriteMessage(reinterpret_cast<SpriteMessage*>(e.lParam));
        else if (e.message == WM_SPRITE_RETIRED) {
            FreeRetired(false);
            return; // nothing on screen changed
        } else
            OnWindowMessage(e.message, e.wParam, e.lParam);
        break;
    case EventKind::Timer:
        // A timer's handler asks for the frames it needs itself (SetAllDirty, InvalidateRect):
        // a timer alone does not wake the render thread.
        OnTimer(e.timerId);
        return;
    case EventKind::MouseMove:
    case EventKind::ButtonDown:
    case EventKind::ButtonUp:
    case EventKind::ButtonDoubleClick:
        OnMouseEvent(e);
        break;
    case EventKind::MouseWheel:
        OnWheel(e);
        break;
    case EventKind::KeyDown:
        OnKeyDown(e);
        break;
    case EventKind::KeyUp:
        OnKeyUp(e);
        break;
    case EventKind::Char:
        OnChar(e);
        break;
    case EventKind::Activate:
        OnActivate(e.active);
        break;
    case EventKind::Size:
        OnSize(e);
        break;
    case EventKind::Close:
        OnCloseRequest();
        break;
    case EventKind::DropFiles:
        if (!e.files.empty()) {
            const SPoint p = PhysicalToLogicalPoint(e.pos);
            DropFilesAt(&e.files, p.x, p.y);
        }
        break;
    case EventKind::CaptureLost:
        break; // the capture list keeps its sprites; the one-second timer sorts them out
    }
    // Whatever the event changed (a hover, a state read in OnDraw) shows in the next frames;
    // the render thread goes back to sleep when nothing moves.
    RequestFrame();
}

platform::HitArea CRenderWindow::HitTest(platform::Point client)
{
    if (!m_frame)
        return platform::HitArea::Client;
    const SPoint p = PhysicalToLogicalPoint(client);
    return m_frame->HitAreaAt(p.x, p.y);
}

// ---- mouse ----------------------------------------------------------------------------------

void CRenderWindow::OnMouseEvent(const platform::WindowEvent& e)
{
    using platform::EventKind;
    using platform::MouseButton;
    if (!WindowActive())
        return;
    using Handler = void (CMessageSprite::*)(int, int, uint32_t);
    Handler handler = nullptr;
    bool leftDown = false;
    switch (e.kind) {
    case EventKind::MouseMove:
        handler = &CMessageSprite::OnMouseMove;
        break;
    case EventKind::ButtonDown:
        if (e.button == MouseButton::Left) {
            handler = &CMessageSprite::OnLButtonDown;
            leftDown = true;
        } else if (e.button == MouseButton::Right) {
            handler = &CMessageSprite::OnRButtonDown;
        }
        break;
    case EventKind::ButtonUp:
        if (e.button == MouseButton::Left)
            handler = &CMessageSprite::OnLButtonUp;
        else if (e.button == MouseButton::Right)
            handler = &CMessageSprite::OnRButtonUp;
        break;
    case EventKind::ButtonDoubleClick:
        if (e.button == MouseButton::Left)
            handler = &CMessageSprite::OnLButtonDblClk;
        else if (e.button == MouseButton::Right)
            handler = &CMessageSprite::OnRButtonDown;
        break;
    default:
        break;
    }
    if (!handler)
        return;
    const SPoint p = PhysicalToLogicalPoint(e.pos);
    CMessageSprite* hit = SpriteFromPoint(p.x, p.y);
    if (m_capture.empty()) {
        if (hit && IsPointerAlive(hit)) {
            const SPoint l = hit->WindowToLocalPoint(p);
            (hit->*handler)(l.x, l.y, e.keyFlags);
        }
    } else {
        const std::vector<Held> captured = m_capture;
        const size_t count = m_capture.size();
        for (const Held& h : captured) {
            if (!HeldAlive(h))
                continue;
            const SPoint l = h.sprite->WindowToLocalPoint(p);
            (h.sprite->*handler)(l.x, l.y, e.keyFlags | kCaptureDelivery);
            if (m_capture.size() != count)
                break;
        }
    }
    if (leftDown && hit && IsPointerAlive(hit)) {
        CMessageSprite* deepest = hit;
        SPoint l = hit->WindowToLocalPoint(p);
        while (CMessageSprite* child = deepest->ChildFromPoint(l.x, l.y)) {
            const SRect r = child->Rect();
            l = {l.x - r.left, l.y - r.top};
            deepest = child;
        }
        if (deepest->CanFocus() && ParentShown(deepest) && deepest->IsVisible())
            SetFocus(deepest, false);
    }
    if (e.kind == EventKind::MouseMove)
        HandleSetCursor();
}

void CRenderWindow::OnWheel(const platform::WindowEvent& e)
{
    if (!WindowActive())
        return;
    // The platform hands wheel positions in client coordinates already.
    const SPoint p = PhysicalToLogicalPoint(e.pos);
    CMessageSprite* s = SpriteFromPoint(p.x, p.y);
    if (s && IsPointerAlive(s)) {
        const SPoint l = s->WindowToLocalPoint(p);
        s->OnMouseWheel(l.x, l.y, e.wheelDelta);
    }
}

void CRenderWindow::HandleSetCursor()
{
    if (!WindowActive() || !m_platform)
        return;
    const SPoint p = PhysicalToLogicalPoint(m_platform->CursorPos());
    if (m_capture.empty()) {
        CMessageSprite* s = SpriteFromPoint(p.x, p.y);
        if (s && IsPointerAlive(s)) {
            const SPoint l = s->WindowToLocalPoint(p);
            if (s->OnSetCursor(l.x, l.y))
                return;
        }
    } else {
        const std::vector<Held> captured = m_capture;
        for (const Held& h : captured)
            if (HeldAlive(h)) {
                const SPoint l = h.sprite->WindowToLocalPoint(p);
                if (h.sprite->OnSetCursor(l.x, l.y))
                    return;
            }
    }
    SetCursor(platform::StandardCursor::Arrow);
}

CMessageSprite* CRenderWindow::SpriteFromPoint(int x, int y)
{
    platform::ScopedLock lock(m_drawListLock);
    if (CPopupSprite* top = TopModal(); top && IsPointerAlive(top) && top->Enabled())
        return top;
    for (auto it = m_drawList.rbegin(); it != m_drawList.rend(); ++it) {
        CSprite* s = *it;
        if (!IsPointerAlive(s) || !(s->Flags() & SF_INPUT) || !ParentShown(s) || !s->IsVisible() || s->Detached())
            continue;
        const SRect r = s->Rect();
        if (x < r.left || x >= r.right || y < r.top || y >= r.bottom)
            continue;
        auto* m = dynamic_cast<CMessageSprite*>(s);
        if (m && m->Enabled())
            return m;
    }
    return nullptr;
}

bool CRenderWindow::HeldAlive(const Held& h)
{
    return h.sprite && IsTicketFor(h.ticket, h.sprite);
}

int CRenderWindow::CaptureIndex(const CSprite* sprite) const
{
    for (size_t i = 0; i < m_capture.size(); ++i)
        if (m_capture[i].sprite == sprite)
            return int(i);
    return -1;
}

std::vector<CMessageSprite*> CRenderWindow::CaptureList() const
{
    std::vector<CMessageSprite*> list;
    for (const Held& h : m_capture)
        list.push_back(h.sprite);
    return list;
}

void CRenderWindow::SetCapture(CMessageSprite* sprite)
{
    if (!sprite || CaptureIndex(sprite) >= 0)
        return;
    m_capture.push_back({sprite, sprite->Ticket()});
    if (m_platform)
        m_platform->SetCapture();
    UpdateCaptureTimer();
}

void CRenderWindow::ReleaseCapture(CMessageSprite* sprite)
{
    if (m_inReleaseCapture)
        return;
    const int index = CaptureIndex(sprite);
    if (index < 0)
        return;
    m_inReleaseCapture = true;
    if (m_capture.size() == 1 && m_platform)
        m_platform->ReleaseCapture();
    const Held held = m_capture[size_t(index)];
    m_capture.erase(m_capture.begin() + index);
    if (HeldAlive(held))
        sprite->OnCaptureReleased();
    m_inReleaseCapture = false;
    UpdateCaptureTimer();
}

// The one-second check runs only while it has something to watch: a capture or a tooltip.
void CRenderWindow::UpdateCaptureTimer()
{
    if (!m_platform)
        return;
    const bool want = !m_capture.empty() || (m_tip && m_tip->IsVisible());
    if (want == m_captureTimerOn)
        return;
    m_captureTimerOn = want;
    if (want)
        m_platform->SetTimer(kCaptureTimerId, 1000);
    else
        m_platform->KillTimer(kCaptureTimerId);
}

// ---- focus ----------------------------------------------------------------------------------

CMessageSprite* CRenderWindow::Focus() const
{
    // Checked against the ticket taken with it: a new sprite at the old one's address is not
    // the focus.
    CMessageSprite* focus = m_focus.load(std::memory_order_acquire);
    return focus && IsTicketFor(m_focusTicket.load(std::memory_order_acquire), focus) ? focus : nullptr;
}

CMessageSprite* CRenderWindow::SetFocus(CMessageSprite* sprite, bool fromKeyboard)
{
    CMessageSprite* previous = m_focus.load();
    const int32_t previousTicket = m_focusTicket;
    if (sprite == previous && (!sprite || sprite->Ticket() == previousTicket))
        return previous;
    m_focus.store(sprite);
    m_focusTicket = sprite ? sprite->Ticket() : 0;
    if (previous && IsTicketFor(previousTicket, previous)) {
        previous->SetAllDirty(1);
        ::PostSpriteMessage(previous, MSG_FOCUS, 0, 0, sprite);
    }
    if (sprite) {
        sprite->SetAllDirty(1);
        ::PostSpriteMessage(sprite, MSG_FOCUS, 1, 0, sprite);
    }
    UpdateFocusIndicator(fromKeyboard);
    return previous;
}

void CRenderWindow::UpdateFocusIndicator(bool fromKeyboard)
{
    CSFocusIndicate* marker = m_focusMarker.get();
    if (!marker)
        return;
    CMessageSprite* focus = HeldAlive({m_focus.load(), m_focusTicket.load()}) ? m_focus.load() : nullptr;
    if (focus) {
        SRect r = focus->GetFocusRect();
        if (r.left == r.right)
            r = focus->LocalToWindowRect({0, 0, focus->Width(), focus->Height()});
        marker->SetPos(r.left, r.top, r.Width(), r.Height());
        OnFocusMoved(r.left, r.bottom >= LogicalHeight() - 30 ? r.bottom - 40 : r.bottom);
    }
    if (focus && focus->ShowFocusMark()) {
        marker->SetOpacity(fromKeyboard ? 255 : (focus->Flags() & SF_NO_MOUSE_FOCUS) ? 0 : 32);
        if (!marker->IsVisible())
            marker->SetVisible(1);
        marker->SetAllDirty(1);
    } else if (marker->IsVisible()) {
        HideFocusMarker();
    }
    marker->SetTarget(focus);
    UpdateTextInput();
}

// The marker's target is watched here, on the UI thread that owns it; the render thread never
// looks at the target.
void CRenderWindow::HideFocusMarker()
{
    CSFocusIndicate* marker = m_focusMarker.get();
    if (!marker || !marker->IsVisible())
        return;
    marker->SetOpacity(0);
    marker->SetVisible(0);
}

void CRenderWindow::OnSpriteHidden(CSprite* sprite)
{
    CSFocusIndicate* marker = m_focusMarker.get();
    if (!marker || sprite == marker || !marker->IsVisible() || !OnUiThread())
        return;
    const CMessageSprite* target = marker->Target();
    for (const CSprite* s = target; s; s = s->Parent())
        if (s == sprite) {
            HideFocusMarker();
            return;
        }
}

void CRenderWindow::UpdateTextInput()
{
    platform::Window* window = m_platform.get();
    if (!window)
        return;
    CMessageSprite* focus = HeldAlive({m_focus.load(), m_focusTicket.load()}) ? m_focus.load() : nullptr;
    const bool want = focus && focus->WantsTextInput();
    if (want) {
        // The candidate window goes under the field, in window pixels.
        const SRect r = focus->LocalToWindowRect({0, 0, focus->Width(), focus->Height()});
        window->SetTextInputPosition({int(r.left * m_scale), int(r.bottom * m_scale)});
    }
    if (want == m_textInputOn)
        return;
    m_textInputOn = want;
    if (want)
        window->StartTextInput();
    else
        window->StopTextInput();
}

void CRenderWindow::CycleFocus(bool backwards)
{
    std::vector<CMessageSprite*> order;
    if (CPopupSprite* top = TopModal(); top && IsPointerAlive(top)) {
        top->CollectFocusable(order);
    } else {
        for (CSprite* s : TopLevelSprites()) {
            auto* m = dynamic_cast<CMessageSprite*>(s);
            if (!m || !IsPointerAlive(m))
                continue;
            if ((m->Flags() & SF_INPUT) && m->IsShown() && m->CanFocus())
                order.push_back(m);
            m->CollectFocusable(order);
        }
    }
    if (order.empty())
        return;
    CMessageSprite* focus = Focus();
    auto it = std::find(order.begin(), order.end(), focus);
    CMessageSprite* next;
    if (!focus || it == order.end()) {
        next = backwards ? order.back() : order.front();
    } else {
        const size_t i = size_t(it - order.begin());
        next = backwards ? order[(i + order.size() - 1) % order.size()] : order[(i + 1) % order.size()];
    }
    SetFocus(next, true);
}

// ---- keys -----------------------------------------------------------------------------------

bool CRenderWindow::KeyTargetOk(CMessageSprite* s) const
{
    return s && s == m_focus.load() && IsTicketFor(m_focusTicket.load(), s) && ParentShown(s) && s->IsVisible() &&
           (m_modal.empty() || IsInTopModal(s));
}

void CRenderWindow::OnKeyDown(const platform::WindowEvent& e)
{
    const uint32_t now = platform::GetTickCount32();
    if (e.virtualKey == m_lastKey && now - m_lastKeyTime < kKeyRepeatFilterMs)
        return;
    m_lastKey = e.virtualKey;
    m_lastKeyTime = now;
    if (e.virtualKey == platform::vk::Tab) {
        CycleFocus(m_platform && m_platform->IsKeyDown(platform::vk::Shift));
        return;
    }
    // A key that fired an accelerator stops there, so Escape closing a dialog does not also
    // reach the focused field.
    if (DispatchAccelerator(e.virtualKey))
        return;
    if (CMessageSprite* focus = Focus(); KeyTargetOk(focus))
        focus->OnKeyDown(e.virtualKey, std::max<uint32_t>(e.repeatCount, 1), e.keyFlags);
}

void CRenderWindow::OnKeyUp(const platform::WindowEvent& e)
{
    if (CMessageSprite* focus = Focus(); KeyTargetOk(focus))
        focus->OnKeyUp(e.virtualKey, e.keyFlags);
}

void CRenderWindow::OnChar(const platform::WindowEvent& e)
{
    if (CMessageSprite* focus = Focus(); KeyTargetOk(focus))
        focus->OnChar(e.character, std::max<uint32_t>(e.repeatCount, 1), e.keyFlags);
}

void CRenderWindow::AddAccelerator(CMessageSprite* sprite, uint32_t key, int shift, int ctrl)
{
    if (!sprite)
        return;
    const Accelerator a{sprite, sprite->Ticket(), key, shift ? 1 : 0, ctrl ? 1 : 0, 0};
    for (const Accelerator& x : m_accelerators)
        if (x.sprite == a.sprite && x.ticket == a.ticket && x.key == a.key && x.shift == a.shift && x.ctrl == a.ctrl)
            return;
    m_accelerators.push_back(a);
}

void CRenderWindow::RemoveAccelerators(CSprite* sprite)
{
    if (!sprite || !(sprite->Flags() & SF_INPUT))
        return;
    // The list belongs to the UI thread. A sprite the render thread frees (a finished popup)
    // leaves its records behind; they name a dead ticket's pointer and are skipped.
    if (m_uiThread != std::thread::id() && std::this_thread::get_id() != m_uiThread)
        return;
    std::erase_if(m_accelerators, [&](const Accelerator& a) { return a.sprite == sprite; });
}

int CRenderWindow::DispatchAccelerator(uint32_t key)
{
    if (!m_platform)
        return 0;
    const int shift = m_platform->IsKeyDown(platform::vk::Shift) ? 1 : 0;
    const int ctrl = m_platform->IsKeyDown(platform::vk::Control) ? 1 : 0;
    // AltGr arrives as the right Alt alone, so it counts as Alt here and fires nothing, as
    // Ctrl+Alt did on the original.
    const int alt = m_platform->IsKeyDown(platform::vk::Menu) ? 1 : 0;
    int fired = 0;
    const std::vector<Accelerator> records = m_accelerators; // a handler may add or remove
    for (const Accelerator& a : records) {
        CMessageSprite* s = a.sprite;
        // The ticket, not the address: a new sprite where an old one was gets none of its keys.
        if (!IsTicketFor(a.ticket, s) || !ParentShown(s) || !s->IsVisible() || !s->CanFocus())
            continue;
        if (a.key != key || a.shift != shift || a.ctrl != ctrl || a.alt != alt)
            continue;
        if (!m_modal.empty() && !IsInTopModal(s))
            continue;
        // The handler gets the modifiers the record matched.
        s->OnKeyDown(key, 1,
                     (shift ? platform::kKeyShiftDown : 0) | (ctrl ? platform::kKeyControlDown : 0) |
                         (alt ? platform::kKeyAltDown : 0));
        fired = 1;
    }
    return fired;
}

// ---- modal stack ----------------------------------------------------------------------------

void CRenderWindow::PushModal(CPopupSprite* popup)
{
    if (!popup)
        return;
    if ((popup->Flags() & SF_DIM_POPUP) && popup->WantsDimmedBackground() && m_baseLayer &&
        !m_baseLayer->IsVisible()) {
        platform::ScopedLock lock(m_renderLock);
        // The render thread may be presenting the back buffer outside RenderLock.
        platform::ScopedLock presentLock(m_presentLock);
        if (m_backBuffer.data) {
            ComposeWithoutEffectsLocked();
            m_baseLayer->SetSnapshot(m_backBuffer);
            m_baseLayer->SetVisible(1);
        }
    }
    {
        platform::ScopedLock lock(m_renderLock);
        if (std::find(m_topLevel.begin(), m_topLevel.end(), popup) != m_topLevel.end())
            popup->SetDetached(0);
        else
            m_topLevel.push_back(popup);
        popup->SetListed(CSprite::kTopLevelListed);
    }
    m_modal.push_back(popup);
    popup->OnPopup();
    SetFocus(popup, false);
    m_capture.clear();
    UpdateCaptureTimer();
}

void CRenderWindow::PopModal(CPopupSprite* popup)
{
    std::erase(m_modal, popup);
    if (!m_modal.empty()) {
        SetFocus(m_modal.back(), false);
    } else if (CMessageSprite* old = Focus()) {
        const int32_t ticket = m_focusTicket;
        m_focus.store(nullptr);
        m_focusTicket = 0;
        if (IsTicketFor(ticket, old)) {
            old->SetAllDirty(1);
            ::PostSpriteMessage(old, MSG_FOCUS, 0, 0, nullptr);
        }
        UpdateFocusIndicator(false);
    }
    m_capture.clear();
    UpdateCaptureTimer();
    if (popup) {
        popup->SetDetached(1);
        // Out of the lists now rather than at the end of the next frame: its owner may destroy
        // it as soon as this returns (a dialog on the stack).
        Withdraw(popup);
    }
    if (m_modal.empty() && m_baseLayer && m_baseLayer->IsVisible())
        m_baseLayer->SetVisible(0);
}

int CRenderWindow::IsInTopModal(const CSprite* sprite) const
{
    const CPopupSprite* top = TopModal();
    if (!top || !sprite)
        return 0;
    for (const CSprite* s = sprite; s; s = s->Parent())
        if (s == top)
            return 1;
    return 0;
}

void CRenderWindow::ForgetInputSprite(CSprite* sprite)
{
    // The input lists belong to the UI thread; a sprite deleted by the render thread (an
    // effect that finished) never took input, and stale entries are checked for life anyway.
    if (!OnUiThread())
        return;
    if (Focus() == sprite) {
        m_focus.store(nullptr);
        m_focusTicket = 0;
        UpdateTextInput();
    }
    std::erase_if(m_capture, [&](const Held& h) { return h.sprite == sprite; });
    UpdateCaptureTimer();
    std::erase(m_modal, sprite);
    if (m_focusMarker && m_focusMarker->Target() == sprite) {
        HideFocusMarker();
        m_focusMarker->SetTarget(nullptr);
    }
}

// ---- drops, timer, size, activation ---------------------------------------------------------

int CRenderWindow::QueryDropFiles(SPoint p)
{
    CMessageSprite* s = SpriteFromPoint(p.x, p.y);
    if (!s || !IsPointerAlive(s))
        return 0;
    const SPoint l = s->WindowToLocalPoint(p);
    return s->QueryDropFiles(l.x, l.y);
}

int CRenderWindow::DropFilesAt(const std::vector<platform::String16>* files, int x, int y)
{
    CMessageSprite* s = SpriteFromPoint(x, y);
    if (!files || !s || !IsPointerAlive(s))
        return 0;
    const SPoint l = s->WindowToLocalPoint({x, y});
    return s->OnDropFiles(l.x, l.y, files);
}

void CRenderWindow::OnTimer(uint32_t id)
{
    if (id != kCaptureTimerId) {
        OnWindowTimer(id);
        return;
    }
    if (!m_platform)
        return;
    const SPoint c = PhysicalToLogicalPoint(m_platform->CursorPos());
    const std::vector<Held> captured = m_capture;
    for (const Held& h : captured) {
        CMessageSprite* s = h.sprite;
        if (!HeldAlive(h)) {
            std::erase_if(m_capture, [&](const Held& x) { return x.sprite == s && x.ticket == h.ticket; });
            continue;
        }
        // Rectangles are read without the sprite's lock (atomic edges): no lock is needed here.
        const SRect r = s->LocalToWindowRect({0, 0, s->Width(), s->Height()});
        const bool keep = s->IsVisible() && c.x >= r.left - kCaptureSlack && c.x < r.right + kCaptureSlack &&
                          c.y >= r.top - kCaptureSlack && c.y < r.bottom + kCaptureSlack;
        if (!keep)
            ReleaseCapture(s);
    }
    if (m_tip && m_tip->IsVisible()) {
        const SRect r = m_tip->Rect();
        const int half = r.Width() / 2 + 100;
        const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
        if (!(cx > c.x - half && cx < c.x + half && cy > c.y - 200 && cy < c.y + 200))
            HideTooltip();
    }
    UpdateCaptureTimer();
}

void CRenderWindow::OnSize(const platform::WindowEvent& e)
{
    if (e.state == platform::WindowState::Minimized || e.width <= 0 || e.height <= 0 || LogicalWidth() == 0)
        return;
    // The same truncation the frame loop uses, so the layout matches the next back buffer.
    const int lw = int(e.width / m_scale), lh = int(e.height / m_scale);
    m_clientWidth.store(e.width);
    m_clientHeight.store(e.height);
    m_logicalWidth.store(lw);
    m_logicalHeight.store(lh);
    if (m_frame)
        m_frame->SyncMaximised(e.state == platform::WindowState::Maximized);
    {
        platform::ScopedLock lock(m_renderLock);
        OnLayout(lw, lh);
    }
    UpdateFocusIndicator(false);
}

void CRenderWindow::OnActivate(bool active)
{
    m_windowActive.store(active ? 1 : 0);
    InvalidateAll();
}
