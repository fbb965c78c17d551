// Sprite dialogs: building controls from template records, the modal loop, drawing (frame, title
// shading, alpha cap), fading, data exchange and the title drag.
#include "ui/DialogSprite.h"

#include "imaging/AlphaTables.h"
#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "platform/Clock.h"
#include "platform/DialogTemplate.h"
#include "platform/Format.h"
#include "platform/Thread.h"
#include "ui/CheckBox.h"
#include "ui/RenderWindow.h"
#include "ui/StaticText.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

std::atomic<int> g_nModalDepth{160};
std::atomic<int> g_bAnimation{1};

namespace {

std::atomic<DialogControlFactory> g_factories[256];
std::atomic<DialogMessageBox> g_messageBox{nullptr};

constexpr int kTitleHeight = 25;
constexpr int kRecordOffset = 30;

int ShowDialogMessage(const char16_t* text)
{
    DialogMessageBox box = g_messageBox.load();
    if (!box) {
        WriteUiLog(text);
        return -1;
    }
    return box(text);
}

// The text of a string-table key, or the text itself.
const char16_t* Localise(const char16_t* text)
{
    return UiText(text);
}

} // namespace

uint8_t DialogControlKind(const char16_t* className)
{
    if (!className)
        return DialogControlRecord::Other;
    const std::u16string_view c(className);
    if (c == u"Static")
        return DialogControlRecord::Static;
    if (c == u"Button")
        return DialogControlRecord::Button;
    if (c == u"Edit")
        return DialogControlRecord::Edit;
    if (c == u"ListBox")
        return DialogControlRecord::ListBox;
    if (c.find(u"trackbar") != std::u16string_view::npos)
        return DialogControlRecord::Trackbar;
    return DialogControlRecord::Other;
}

void SetDialogControlText(DialogControlRecord& record, const char16_t* windowText)
{
    record.typeLetter = 0;
    if (!windowText)
        windowText = u"";
    if (windowText[0] == u'#' && std::char_traits<char16_t>::length(windowText) > 2) {
        record.typeLetter = uint8_t(windowText[1]);
        CopyTextBounded(record.text, 256, windowText + 2);
    } else {
        CopyTextBounded(record.text, 256, windowText);
    }
}

void SetDialogControlFactory(uint8_t kind, DialogControlFactory factory)
{
    g_factories[kind].store(factory);
}

void SetDialogMessageBox(DialogMessageBox box)
{
    g_messageBox.store(box);
}

CDialogSprite::CDialogSprite()
{
    SetFlags(0x1 | SF_INPUT | SF_NO_MOUSE_FOCUS | SF_DIM_POPUP);
    SetEnabled(1);
    SetOpacity(0);
}

CDialogSprite::~CDialogSprite()
{
    CDialogSprite::ReleaseResources(1);
    FreeImageBuffer(m_titleIcon);
    FreeImageBuffer(m_captionImage);
}

int CDialogSprite::CreateFromRecords(int32_t templateId, std::vector<DialogControlRecord> records,
                                     const char16_t* caption, int clientWidth, int clientHeight, int left,
                                     int top, int right, int bottom)
{
    m_records = std::move(records);
    m_width = clientWidth;
    m_height = clientHeight + kTitleHeight;
    CRenderWindow* window = g_pRenderWindow.load();
    if (left == right) {
        // Centred in the logical client area: the window's own rectangle is already logical here.
        const int lw = window ? window->LogicalWidth() : m_width;
        const int lh = window ? window->LogicalHeight() : m_height;
        left = (lw - m_width) / 2;
        top = (lh - m_height) / 2;
        right = left + m_width;
        bottom = top + m_height;
    }
    if (!CSprite::Create(nullptr, window, templateId, g_nModalDepth.load(), left, top, right, bottom))
        return 0;
    CopyTextBounded(m_caption, 256, Localise(caption ? caption : u""));
    {
        ImageBuffer8 img;
        if (m_caption[0] && RenderTextLocked(m_caption, img, nullptr, 0, std::max(1, m_width - 40), nullptr)) {
            FreeImageBuffer(m_captionImage);
            m_captionImage = img;
        }
    }
    if (!m_titleIcon.data)
        LoadUiImage(UiImageFolder::Basic, u"defwndicon.png", m_titleIcon);
    if (!CreateControls())
        return 0;
    if (!m_close.Create(this, nullptr, 2, 2, m_width - 27, 7, m_width - 7, 27) ||
        !m_close.Setup(nullptr, u"close.png", 0, m_width - 27, 7, m_width - 7, 27))
        return 0;
    AddChild(&m_close);
    if (CSprite* first = GetControl(1); first && m_window)
        if (auto* m = dynamic_cast<CMessageSprite*>(first))
            m_window->SetFocus(m, true);
    SetVisible(0);
    return 1;
}

int CDialogSprite::CreateControls()
{
    for (size_t i = 0; i < m_records.size(); ++i) {
        DialogControlRecord& r = m_records[i];
        char16_t text[256];
        CopyTextBounded(text, 256, Localise(r.text));
        CSprite* made = nullptr;
        const SRect& rc = r.rect;
        switch (r.kind) {
        case DialogControlRecord::Static: {
            auto* s = new CSStaticText;
            s->SetAutoDelete(1);
            if (!s->Create(this, 1000 + int32_t(i), text, rc.left, rc.top, rc.right, rc.bottom)) {
                delete s;
                return 0;
            }
            made = s;
            break;
        }
        case DialogControlRecord::Button: {
            if (r.typeLetter == 'C' || r.typeLetter == 'R') {
                CSCheckBox* box = r.typeLetter == 'C' ? new CSCheckBox : new CSRatioButton;
                box->SetAutoDelete(1);
                if (!box->Create(this, nullptr, r.controlId, 2, rc.left, rc.top, rc.right, rc.bottom) ||
                    !box->SetCaption(text, rc)) {
                    delete box;
                    return 0;
                }
                made = box;
            } else {
                auto* b = new CSButton;
                b->SetAutoDelete(1);
                if (!b->Create(this, nullptr, r.controlId, 2, rc.left, rc.top, rc.right, rc.bottom) ||
                    !b->Setup(text, nullptr, 0, rc.left, rc.top, rc.right, rc.bottom)) {
                    delete b;
                    return 0;
                }
                made = b;
            }
            break;
        }
        case DialogControlRecord::Edit:
        case DialogControlRecord::ListBox:
        case DialogControlRecord::Trackbar: {
            DialogControlFactory factory = g_factories[r.kind].load();
            if (!factory)
                return 0;
            made = factory(*this, r);
            if (!made)
                return 0;
            break;
        }
        default:
            return 0;
        }
        AddChild(made);
        r.sprite = made;
    }
    return 1;
}

CSprite* CDialogSprite::GetControl(int32_t id) const
{
    for (const DialogControlRecord& r : m_records)
        if (r.controlId == id)
            return r.sprite;
    return nullptr;
}

void CDialogSprite::BindControl(int32_t id, void* variable, int type, int maximum, int minimum)
{
    for (DialogControlRecord& r : m_records)
        if (r.controlId == id) {
            m_bindings.push_back({&r, variable, type, maximum, minimum});
            return;
        }
}

int CDialogSprite::UpdateData(int save)
{
    for (const ControlBinding& b : m_bindings) {
        auto* control = b.record ? dynamic_cast<CDialogControl*>(b.record->sprite) : nullptr;
        if (!control)
            return 0;
        if (save) {
            std::u16string buffer(4096, u'\0');
            control->GetText(buffer.data(), 4096, 0);
            buffer.resize(std::char_traits<char16_t>::length(buffer.c_str()));
            const int32_t value = platform::ParseIntPrefix(buffer);
            switch (b.type) {
            case kBindInt:
                *static_cast<int32_t*>(b.variable) = value;
                break;
            case kBindString:
                *static_cast<std::u16string*>(b.variable) = buffer;
                break;
            case kBindUnsigned:
                if (value < 0) {
                    ShowDialogMessage(UiText(u"dlgUpdateUINT"));
                    return 0;
                }
                *static_cast<uint32_t*>(b.variable) = uint32_t(value);
                break;
            case kBindRange:
                if (value < b.minimum || value > b.maximum) {
                    // A localised format goes through the checked formatter. The shipped text
                    // names the range only (other screens format it with two numbers); a text
                    // that also shows the refused value is taken as well. One that fits neither
                    // shows its plain text.
                    char16_t message[128];
                    const char16_t* format = UiText(u"dlgUpdateRange");
                    if (!platform::FormatToBuffer(message, format, b.minimum, b.maximum, value) &&
                        !platform::FormatToBuffer(message, format, b.minimum, b.maximum))
                        CopyTextBounded(message, 128, format);
                    ShowDialogMessage(message);
                    return 0;
                }
                *static_cast<int32_t*>(b.variable) = value;
                break;
            default:
                break;
            }
        } else {
            char16_t text[32];
            switch (b.type) {
            case kBindString:
                control->SetText(static_cast<std::u16string*>(b.variable)->c_str());
                break;
            case kBindUnsigned:
                platform::FormatToBuffer(text, u"%u", *static_cast<uint32_t*>(b.variable));
                control->SetText(text);
                break;
            case kBindInt:
            case kBindRange:
                platform::FormatToBuffer(text, u"%d", *static_cast<int32_t*>(b.variable));
                control->SetText(text);
                break;
            default:
                break;
            }
        }
    }
    return 1;
}

void CDialogSprite::OnCommand(int id)
{
    if (id == 1)
        OnOK();
    else if (id == 2)
        OnCancel();
}

void CDialogSprite::OnOK()
{
    if (UpdateData(1))
        m_result.store(1);
}

void CDialogSprite::SetInitialFocus()
{
    if (CSprite* first = GetControl(1); first && m_window)
        if (auto* m = dynamic_cast<CMessageSprite*>(first))
            m_window->SetFocus(m, false);
}

int CDialogSprite::DoModal()
{
    CRenderWindow* window = m_window;
    bool pushed = false;
    if (OnInitDialog() && window && window->PlatformWindow()) {
        window->PushModal(this);
        g_nModalDepth.fetch_add(1);
        pushed = true;
        window->AddAccelerator(this, platform::vk::Escape, 0, 0);
        SetInitialFocus();
        if (g_bAnimation.load()) {
            const uint32_t now = platform::GetTickCount32();
            m_startTick.store(now);
            m_endTick.store(now + 500);
            m_animState.store(kFadingIn);
        } else {
            m_animState.store(kNone);
            SetOpacity(255);
            SetAllDirty(1);
        }
        m_result.store(0);
        // The platform loop checks the condition before each dispatch, so the message that
        // follows the result stays queued for the outer loop.
        platform::Window& pw = *window->PlatformWindow();
        pw.RunModalLoop([this] { return m_result.load() != 0; });
        // A quit or the window's end stops the loop: the dialog counts as cancelled, and the
        // quit stays posted for the loop outside.
        if (m_result.load() == 0)
            m_result.store(2);
        if (m_fadeOutOnClose && g_bAnimation.load()) {
            const SRect r = Rect();
            window->PlayFadeEffect(nullptr, r.left, r.top, r.right, r.bottom);
        }
        platform::SleepMs(100);
    }
    SetVisible(0);
    // No lock of ours is held here: popping takes RenderLock and touches other sprites.
    if (window && pushed) {
        // Withdrawn from the window: once this returns the render thread no longer reaches the
        // dialog, so its owner may destroy it (it usually lives on the caller's stack).
        window->PopModal(this);
        window->RemoveAccelerators(this);
    }
    if (pushed)
        g_nModalDepth.fetch_sub(1);
    ReleaseTicket(m_ticket);
    m_ticket = 0;
    ReleaseResources(0);
    return m_result.load();
}

void CDialogSprite::StepFade(uint32_t time)
{
    const uint32_t start = m_startTick.load(), end = m_endTick.load();
    // 64-bit signed time, clamped: a clock before the start counts as the start.
    const int64_t span = std::max<int64_t>(1, int64_t(int32_t(end - start)));
    const int64_t elapsed = std::clamp<int64_t>(int64_t(int32_t(time - start)), 0, span + 1);
    const int64_t progress = elapsed * 255 / span;
    if (progress > 254) {
        if (m_result.load())
            SetOpacity(0);
        else {
            m_animState.store(kNone);
            SetOpacity(255);
        }
        SetAllDirty(1);
        return;
    }
    SetOpacity(m_animState.load() == kFadingIn ? int(progress) : 255 - int(progress));
    SetAllDirty(1);
}

int CDialogSprite::OnDraw(uint32_t time)
{
    if (m_animState.load() != kNone)
        StepFade(time);
    if (m_frameTimerPeriod > 0) {
        if (++m_frameCounter % m_frameTimerPeriod == 0)
            ::PostSpriteMessage(this, MSG_DIALOG_TIMER, m_frameTimerPeriod, 0, nullptr);
        // A timer counted in frames keeps the frames coming while the dialog is up.
        if (m_window)
            m_window->RequestFrame();
    }
    if (!AllDirty() || !m_image.data)
        return 0;
    const ImageBuffer8* frame = SharedUiImage(u"frame.png");
    if (!frame)
        return 0;
    TileFrame8(m_image, *frame, 0, 0);
    int captionX = 10;
    if (m_titleIcon.data) {
        BlendImage8(m_image, m_titleIcon, 7, 5 + (kTitleHeight - m_titleIcon.height) / 2, true, 256);
        captionX = m_titleIcon.width + 10;
    }
    if (m_captionImage.data)
        FillThroughMask8(m_image, m_captionImage, captionX, 9, 0xEBEBEB);
    if (const AlphaTables* t = GetAlphaTables())
        for (int y = 0; y < m_image.height && 3 * y < 93; ++y) {
            const int f = 3 * y / 2;
            uint8_t* row = m_image.data + size_t(y) * m_image.width * 4;
            for (int x = 0; x < m_image.width; ++x) {
                uint8_t* p = row + x * 4;
                const int a = p[3], g = p[1];
                if (a == 0 || g >= 32)
                    continue;
                const int k = (((255 - g) * a) / 256 * f) / 256;
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t(t->t2[k][p[c]] + t->t1[k][255]);
            }
        }
    if (m_image.pixelCount < 200000 || m_translucent)
        for (uint32_t i = 0; i < m_image.pixelCount; ++i)
            m_image.data[size_t(i) * 4 + 3] = std::min<uint8_t>(m_image.data[size_t(i) * 4 + 3], 220);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CDialogSprite::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        for (DialogControlRecord& r : m_records)
            if (r.sprite) {
                r.sprite->SetFinished(1);
                r.sprite->SetAutoDelete(1);
            }
        m_bindings.clear();
    }
    // The controls are released outside the dialog's lock (CSprite::ReleaseResources takes them
    // out of the list under it first).
    CSprite::ReleaseResources(flag);
    platform::ScopedLock lock(m_lock);
    for (DialogControlRecord& r : m_records)
        r.sprite = nullptr;
    m_records.clear();
}

void CDialogSprite::OnMouseMove(int x, int y, uint32_t flags)
{
    if (m_titleDragging) {
        const SPoint w = LocalToWindowPoint({x, y});
        if (m_window && w.x >= 0 && w.y >= 0 && w.x < m_window->LogicalWidth() && w.y < m_window->LogicalHeight()) {
            InvalidateRect(0, 0, 0, 0, 1);
            SetPos(w.x - m_dragPoint.x, w.y - m_dragPoint.y, Width(), Height());
        }
        return;
    }
    if (ChildFromPoint(x, y))
        CMessageSprite::OnMouseMove(x, y, flags);
    else if (m_window)
        m_window->SetCursor(platform::StandardCursor::Arrow);
}

void CDialogSprite::OnLButtonDown(int x, int y, uint32_t flags)
{
    if (!ChildFromPoint(x, y) && y < 40 && y >= 0 && x >= 0 && x < Width()) {
        if (m_window)
            m_window->SetCapture(this);
        m_dragPoint = {x, y};
        m_titleDragging = 1;
        return;
    }
    CMessageSprite::OnLButtonDown(x, y, flags);
}

void CDialogSprite::OnLButtonUp(int x, int y, uint32_t flags)
{
    if (m_titleDragging) {
        m_titleDragging = 0;
        if (m_window)
            m_window->ReleaseCapture(this);
        return;
    }
    CMessageSprite::OnLButtonUp(x, y, flags);
}

void CDialogSprite::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    if (key == platform::vk::Return)
        OnOK();
    else if (key == platform::vk::Escape)
        OnCancel();
}

int CDialogSprite::OnSetCursor(int x, int y)
{
    if (ChildFromPoint(x, y))
        return CMessageSprite::OnSetCursor(x, y);
    if (m_window)
        m_window->SetCursor(platform::StandardCursor::Arrow);
    return 1;
}

int CDialogSprite::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_COMMAND)
        OnCommand(int(message->param1));
    return CPopupSprite::OnSpriteMessage(message);
}

void CDialogSprite::OnPopup()
{
    if (m_window)
        m_window->HideTooltip();
    SetVisible(1);
    SetAllDirty(1);
}

int CDialogSprite::CreateFromTemplate(int32_t templateId, const uint8_t* data, size_t size, int left, int top,
                                      int right, int bottom)
{
    std::unique_ptr<platform::DialogTemplate> t
        = platform::DialogTemplate::FromBytes(uint16_t(templateId), data, size);
    if (!t)
        return 0;
    return CreateFromTemplate(*t, left, top, right, bottom);
}

int CDialogSprite::CreateFromTemplate(platform::DialogTemplate& t, int left, int top, int right, int bottom)
{
    if (!t.ApplyTemplateFont(96.0))
        return 0;
    std::vector<DialogControlRecord> records;
    records.reserve(t.Items().size());
    for (size_t i = 0; i < t.Items().size(); ++i) {
        const platform::DialogTemplateItem& item = t.Items()[i];
        DialogControlRecord r;
        const platform::String16 className = item.ClassName();
        r.kind = DialogControlKind(className.c_str());
        const platform::String16 text = item.text.isOrdinal ? platform::String16() : item.text.text;
        SetDialogControlText(r, text.c_str());
        r.controlId = int32_t(item.id);
        // The records include the title bar: the client area starts kRecordOffset down.
        const platform::PixelRect p = t.ItemRect(i);
        r.rect = {p.left, p.top + kRecordOffset, p.right, p.bottom + kRecordOffset};
        records.push_back(r);
    }
    return CreateFromRecords(int32_t(t.Id()), std::move(records), t.Data().caption.c_str(), t.ClientWidth(),
                             t.ClientHeight(), left, top, right, bottom);
}
