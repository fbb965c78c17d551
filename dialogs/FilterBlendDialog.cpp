// The blend popup of the filter dialogs (see the header).
#include "dialogs/FilterBlendDialog.h"

#include "dialogs/BlendModeMenu.h"
#include "ui/UiSeams.h"

CFilterBlendDlg::~CFilterBlendDlg()
{
    m_menu.Close(0);
    m_menu.ReleaseResources(1);
}

int CFilterBlendDlg::OnInitDialog()
{
    BindControl(kOpacityId, &m_opacity, kBindRange, 100, 0);
    m_modeButton = dynamic_cast<CSButton*>(GetControl(kModeButtonId));
    if (!m_modeButton)
        return 0;
    m_modeButton->m_dropDownMark = 1;
    if (!m_menu.Window() && !m_menu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    UpdateData(0);
    UpdateModeButton();
    return 1;
}

void CFilterBlendDlg::UpdateModeButton()
{
    if (m_modeButton)
        m_modeButton->SetText(UiText(BlendMenuKey(m_blendMode)));
}

void CFilterBlendDlg::ShowModeMenu()
{
    if (!m_modeButton || !m_window)
        return;
    m_menu.Close(0);
    m_menu.ReleaseResources(0);
    BuildBlendModeMenu(m_menu);
    const SRect r = m_modeButton->LocalToWindowRect({0, 0, m_modeButton->Width(), m_modeButton->Height()});
    m_menu.Track(this, r.right, r.top, true, false);
}

int CFilterBlendDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_COMMAND && message->param1 == kModeButtonId)
        ShowModeMenu();
    if (message && message->code == MSG_MENU_COMMAND && message->param1 >= kBlendMenuBase &&
        message->param1 < kBlendMenuBase + 100) {
        m_blendMode = uint16_t(message->param1 - kBlendMenuBase);
        UpdateModeButton();
    }
    return CDialogSprite::OnSpriteMessage(message);
}
