// Threshold dialog (see the header).
#include "dialogs/ThresholdDialog.h"

#include "dialogs/SliderDialogSupport.h"
#include "ui/UiSeams.h"

namespace {

constexpr const char16_t* kModeKeys[4] = {u"TM_fix", u"TM_adaptive", u"TM_Diffuse", u"TM_Halftone"};

} // namespace

CThresholdDlg::~CThresholdDlg()
{
    m_menu.Close(0);
    m_menu.ReleaseResources(1);
}

int CThresholdDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    m_methodButton = dynamic_cast<CSButton*>(GetControl(kMethodButtonId));
    if (!m_methodButton)
        return 0;
    m_methodButton->m_dropDownMark = 1;
    if (!m_menu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    const ThresholdParams defaults;
    const SliderSetup sliders[] = {
        {kThresholdId, 0, 100, defaults.level, 1, nullptr},
        {kTransitionId, 0, 100, defaults.transition, 1, nullptr},
        {kAreaId, 0, 100, defaults.adaptiveArea, 1, nullptr},
    };
    if (!SetUpSliders(*this, sliders, std::size(sliders)))
        return 0;
    UpdateMode();
    RestartPreview();
    return 1;
}

void CThresholdDlg::UpdateMode()
{
    if (m_methodButton)
        m_methodButton->SetText(UiText(kModeKeys[m_mode & 3]));
    // Disabled sliders keep their values: the record stores them all the same.
    if (CSliderSprite* s = FindSlider(*this, kAreaId))
        s->SetEnabled(m_mode == 1);
    for (int32_t id : {kThresholdId, kTransitionId})
        if (CSliderSprite* s = FindSlider(*this, id))
            s->SetEnabled(m_mode == 0 || m_mode == 1);
}

void CThresholdDlg::ShowModeMenu()
{
    if (!m_methodButton || !m_window)
        return;
    m_menu.Close(0);
    m_menu.ReleaseResources(0);
    for (int i = 0; i < 4; ++i) {
        m_menu.AddItem(nullptr, kMenuFirst + i, UiText(kModeKeys[i]), nullptr);
        m_menu.CheckItem(kMenuFirst + i, i == m_mode);
    }
    const SRect b = m_methodButton->LocalToWindowRect({0, 0, m_methodButton->Width(), m_methodButton->Height()});
    m_menu.Track(this, b.left, b.bottom, true, true);
}

int CThresholdDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        if (message->code == MSG_SLIDER_CHANGED) {
            RestartPreview();
        } else if (message->code == MSG_COMMAND && message->param1 == kMethodButtonId) {
            ShowModeMenu();
        } else if (message->code == MSG_MENU_COMMAND && message->param1 >= kMenuFirst &&
                   message->param1 < kMenuFirst + 4) {
            m_mode = int32_t(message->param1 - kMenuFirst);
            UpdateMode();
            RestartPreview();
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CThresholdDlg::StartJob()
{
    UpdateData(1);
    m_params.method = m_mode;
    m_params.level = SliderValue(*this, kThresholdId);
    m_params.transition = SliderValue(*this, kTransitionId);
    m_params.adaptiveArea = SliderValue(*this, kAreaId);
    StartPreviewJob(&m_algorithm, &m_params, sizeof m_params);
}

void CThresholdDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisThreshold", kStepId, SchemeStepRecord(m_params));
}
