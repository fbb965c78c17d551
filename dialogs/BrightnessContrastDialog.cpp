// Brightness and contrast dialog (see the header).
#include "dialogs/BrightnessContrastDialog.h"

#include "dialogs/FilmFilterDialog.h"
#include "dialogs/SliderDialogSupport.h"

int CBrightnessContrastDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    const SliderSetup sliders[] = {
        {kBrightnessId, -100, 100, 0, 1, nullptr},
        {kContrastId, -100, 100, 0, 1, nullptr},
    };
    return SetUpSliders(*this, sliders, std::size(sliders)) ? 1 : 0;
}

int CBrightnessContrastDlg::OnSpriteMessage(SpriteMessage* message)
{
    FilterSliderChanged(*this, message);
    return CFilterDialog::OnSpriteMessage(message);
}

void CBrightnessContrastDlg::StartJob()
{
    if (!UpdateData(1))
        return;
    m_params.brightness = SliderValue(*this, kBrightnessId);
    m_params.contrast = SliderValue(*this, kContrastId);
    StartPreviewJob(&m_algorithm, &m_params, sizeof m_params);
}

int CBrightnessContrastDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    // Back to neutral without a slider message: the applied picture is already the preview.
    for (int32_t id : {kBrightnessId, kContrastId})
        if (CSliderSprite* slider = FindSlider(*this, id))
            slider->SetValue(0, 0);
    m_params.brightness = m_params.contrast = 0;
    return 1;
}

void CBrightnessContrastDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisBricon", kStepId, SchemeStepRecord(m_params));
}
