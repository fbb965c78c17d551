// Channel mixer dialog (see the header).
#include "dialogs/ColorMixerDialog.h"

#include "dialogs/SliderDialogSupport.h"
#include "ui/UiSeams.h"

namespace {

constexpr const char16_t* kRowKeys[4] = {u"dlgRed", u"dlgGreen", u"dlgBlue", u"dlgY"};

} // namespace

CColorMixerDlg::~CColorMixerDlg()
{
    m_menu.Close(0);
    m_menu.ReleaseResources(1);
}

int CColorMixerDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    m_params = Defaults();
    for (int i = 0; i < 4; ++i) {
        const SliderSetup s{kSourceFirstId + i, -200, 200, 0, 1, nullptr};
        if (!SetUpSliders(*this, &s, 1))
            return 0;
    }
    m_outputButton = dynamic_cast<CSButton*>(GetControl(kOutputButtonId));
    if (!m_outputButton)
        return 0;
    m_outputButton->m_dropDownMark = 1;
    if (!m_menu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    ShowRow();
    return 1;
}

void CColorMixerDlg::ShowRow()
{
    if (m_outputButton)
        m_outputButton->SetText(UiText(kRowKeys[m_row]));
    for (int i = 0; i < 4; ++i)
        if (CSliderSprite* slider = FindSlider(*this, kSourceFirstId + i))
            slider->SetValue(m_params.rows[m_row][i], 1);
}

void CColorMixerDlg::ReadRow()
{
    for (int i = 0; i < 4; ++i)
        m_params.rows[m_row][i] = SliderValue(*this, kSourceFirstId + i);
}

void CColorMixerDlg::ShowOutputMenu()
{
    if (!m_outputButton || !m_window)
        return;
    m_menu.Close(0);
    m_menu.ReleaseResources(0);
    m_menu.AddItem(nullptr, kMenuColour, UiText(u"dlgCMRGB"), nullptr);
    m_menu.CheckItem(kMenuColour, m_params.luminanceMode == 0);
    m_menu.AddItem(nullptr, kMenuMonochrome, UiText(u"dlgCMYUV"), nullptr);
    m_menu.CheckItem(kMenuMonochrome, m_params.luminanceMode != 0);
    m_menu.AddItem(nullptr, 0, nullptr, nullptr);
    for (int r = 0; r < 4; ++r) {
        m_menu.AddItem(nullptr, kMenuRowFirst + r, UiText(kRowKeys[r]), nullptr);
        m_menu.CheckItem(kMenuRowFirst + r, r == m_row);
    }
    const SRect b = m_outputButton->LocalToWindowRect({0, 0, m_outputButton->Width(), m_outputButton->Height()});
    m_menu.Track(this, b.left, b.bottom, true, true);
}

void CColorMixerDlg::ChooseMenu(int32_t id)
{
    const int mode = m_params.luminanceMode != 0 ? 1 : 0;
    if (id == kMenuColour || id == kMenuMonochrome) {
        const int wanted = id == kMenuMonochrome ? 1 : 0;
        if (wanted == mode)
            return;
        m_params.luminanceMode = wanted;
        m_row = wanted ? kMonochromeRow : 0;
        ShowRow();
        RestartPreview();
        return;
    }
    const int row = id - kMenuRowFirst;
    if (row < 0 || row > 3 || row == m_row)
        return;
    m_row = row;
    const int wanted = row == kMonochromeRow ? 1 : 0;
    if (wanted != mode) {
        m_params.luminanceMode = wanted;
        RestartPreview();
    }
    ShowRow();
}

int CColorMixerDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        if (message->code == MSG_SLIDER_CHANGED) {
            ReadRow();
            RestartPreview();
        } else if (message->code == MSG_COMMAND && message->param1 == kOutputButtonId) {
            ShowOutputMenu();
        } else if (message->code == MSG_MENU_COMMAND && message->param1 >= kMenuColour &&
                   message->param1 <= kMenuRowFirst + 3) {
            ChooseMenu(int32_t(message->param1));
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CColorMixerDlg::StartJob()
{
    UpdateData(1);
    // The worker gets a copy: a slider moved meanwhile changes only the dialog's record.
    StartPreviewJob(&m_algorithm, &m_params, sizeof m_params);
}

int CColorMixerDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    // Neutral again: colour output with the identity rows. The monochrome row would show
    // sliders that no longer drive the output, so the red row is shown instead.
    m_params = Defaults();
    if (m_row == kMonochromeRow)
        m_row = 0;
    ShowRow();
    return 1;
}

void CColorMixerDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisColorMix", kStepId, SchemeStepRecord(m_params));
}
