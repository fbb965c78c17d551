// Message box: template 132 built in code, icons from the skin's "messagebox.png", the box
// growing downwards for long texts, Y and N as keys in the Yes/No form.
#include "ui/MessageBox.h"

#include "imaging/Draw8.h"
#include "ui/Button.h"
#include "ui/RenderWindow.h"
#include "ui/StaticText.h"
#include "ui/ToolkitControls.h"
#include "ui/UiSeams.h"

platform::DialogTemplateData MessageBoxTemplate()
{
    return CodeDialogTemplate(292, 94, u"title",
                              {{u"Button", u"OK", 1, 119, 73, 50, 14},
                               {u"Button", u"Yes", 6, 79, 73, 50, 14},
                               {u"Button", u"No", 7, 156, 73, 50, 14},
                               {u"Static", u"", CSMessageDlg::kTextId, 63, 7, 222, 34}});
}

CSMessageDlg::~CSMessageDlg()
{
    ClearImageList8(m_icons);
}

int CSMessageDlg::Create(const char16_t* text, int kind, int buttons)
{
    const auto layout = platform::DialogTemplate::FromData(kTemplateId, MessageBoxTemplate());
    if (!layout || !CreateFromTemplate(*layout, 0, 0, 0, 0))
        return 0;
    // The skin's strip only: a box without its icons is not shown at all.
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"messagebox.png", 64, m_icons))
        return 0;
    CopyTextBounded(m_text, kTextCapacity, text);
    m_buttons = buttons;
    m_kind = kind;
    return 1;
}

int CSMessageDlg::OnInitDialog()
{
    auto* label = dynamic_cast<CSStaticText*>(GetControl(kTextId));
    if (!label)
        return 0;
    if (label->SetTextResult(m_text))
        label->SetAllDirty(1);
    const struct { int32_t id; bool shown; } buttons[] = {
        {1, m_buttons == kMbOk}, {6, m_buttons == kMbYesNo}, {7, m_buttons == kMbYesNo}};
    for (const auto& b : buttons)
        if (CSprite* s = GetControl(b.id)) {
            s->SetVisible(b.shown ? 1 : 0);
            if (!b.shown)
                s->DiscardImage();
        }
    if (m_buttons == kMbYesNo && m_window) {
        m_window->AddAccelerator(this, 'Y', 0, 0);
        m_window->AddAccelerator(this, 'N', 0, 0);
    }
    int textHeight = 0;
    {
        platform::ScopedLock lock(label->Lock());
        textHeight = label->TextImage().height;
    }
    const SRect lr = label->Rect();
    if (textHeight > lr.Height() - 10) {
        const int d = textHeight + 10 - lr.Height();
        const SRect r = Rect();
        SetPos(r.left, r.top, r.Width(), r.Height() + d);
        label->SetPos(lr.left, lr.top, lr.Width(), lr.Height() + d);
        for (int32_t id : {1, 6, 7})
            if (CSprite* s = GetControl(id)) {
                const SRect br = s->Rect();
                s->SetPos(br.left, br.top + d, br.Width(), br.Height());
            }
    }
    return 1;
}

int CSMessageDlg::OnDraw(uint32_t time)
{
    const int drew = CDialogSprite::OnDraw(time);
    if (!AllDirty())
        return drew;
    platform::ScopedLock lock(m_lock);
    if (!m_image.data)
        return drew;
    // A kind outside 0..3 draws no icon rather than some other frame or none at random.
    if (m_kind >= 0 && m_kind <= 3 && m_kind < int(m_icons.items.size()) && m_icons.items[size_t(m_kind)])
        BlendImage8(m_image, *m_icons.items[size_t(m_kind)], 10, 40, false, 256);
    if (CSprite* ok = GetControl(1)) {
        const int y = ok->Rect().top - 10;
        if (y >= 0 && y < m_image.height && m_image.width > 20)
            DrawGradientLine8(m_image, 0x808080, 0x000000, 1, 10, y, m_image.width - 10, y, 4.0);
    }
    return drew;
}

void CSMessageDlg::SetInitialFocus()
{
    // Yes is the default button of the question: Enter answers it, as users expect.
    if (m_buttons == kMbYesNo && m_window)
        if (auto* yes = dynamic_cast<CMessageSprite*>(GetControl(6))) {
            m_window->SetFocus(yes, false);
            return;
        }
    CDialogSprite::SetInitialFocus();
}

void CSMessageDlg::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    if (m_buttons != kMbYesNo)
        return;
    if (key == platform::vk::Return) {
        if (UpdateData(1))
            SetResult(6);
    } else if (key == 'N' || key == 'n') {
        if (UpdateData(1))
            SetResult(7);
    } else if (key == 'Y' || key == 'y') {
        if (UpdateData(1))
            SetResult(6);
    }
}

int CSMessageDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_COMMAND && (message->param1 == 6 || message->param1 == 7)) {
        if (UpdateData(1))
            SetResult(int(message->param1));
    }
    return CDialogSprite::OnSpriteMessage(message);
}

int SpriteMessageBox(const char16_t* text, int kind, int buttons)
{
    CSMessageDlg box;
    if (!box.Create(text, kind, buttons))
        return -1;
    return box.DoModal();
}

void InstallSpriteMessageBox()
{
    SetDialogMessageBox([](const char16_t* text) { return SpriteMessageBox(text, kMbError, kMbOk); });
}
