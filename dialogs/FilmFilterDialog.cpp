// Film adjustment dialog (see the header).
#include "dialogs/FilmFilterDialog.h"

#include "dialogs/SliderDialogSupport.h"

int FilterSliderChanged(CFilterDialog& dialog, SpriteMessage* message)
{
    if (!message || message->code != MSG_SLIDER_CHANGED)
        return 0;
    dialog.RestartPreview();
    return 1;
}

int CFilmFilter::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    const SliderSetup sliders[] = {
        {kExposureId, -10, 10, 0, 10, u"Ev"}, // shown in steps, stored in tenths
        {kRangeId, -70, 30, 0, 1, nullptr},
        {kTemperatureId, -1500, 1500, 0, 1, u"K"},
        {kBoostId, -50, 50, 0, 1, nullptr},
        {kGrainId, 0, 100, 0, 1, nullptr},
        {kSharpnessId, -50, 50, 0, 1, nullptr},
    };
    if (!SetUpSliders(*this, sliders, std::size(sliders)))
        return 0;
    RestartPreview();
    return 1;
}

int CFilmFilter::OnSpriteMessage(SpriteMessage* message)
{
    FilterSliderChanged(*this, message);
    return CFilterDialog::OnSpriteMessage(message);
}

void CFilmFilter::StartJob()
{
    UpdateData(1);
    // The exposure slider's stored value is the record's tenths of a step.
    m_params.exposure = SliderStoredValue(*this, kExposureId);
    m_params.dynamicRange = SliderValue(*this, kRangeId);
    m_params.temperature = SliderValue(*this, kTemperatureId);
    m_params.colourBoost = SliderValue(*this, kBoostId);
    m_params.grain = SliderValue(*this, kGrainId);
    m_params.sharpness = SliderValue(*this, kSharpnessId);
    StartPreviewJob(&m_algorithm, &m_params, sizeof m_params);
}

void CFilmFilter::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisFilmAdjust", kStepId, SchemeStepRecord(m_params));
}
