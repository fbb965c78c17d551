// Film adjustment (template 136): exposure, dynamic range, colour temperature, colour boost,
// grain and sharpness; previewed from the start. History step 1.
#pragma once

#include "algorithms/FilmAdjust.h"
#include "dialogs/FilterDialog.h"

class CFilmFilter : public CFilterDialog {
public:
    static constexpr int kTemplateId = 136;
    static constexpr uint16_t kStepId = SchemeStepFilmAdjust;
    static constexpr int32_t kExposureId = 1024, kRangeId = 1025, kTemperatureId = 1026, kBoostId = 1033,
                             kGrainId = 1027, kSharpnessId = 1028;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;

    CAFilmAdjust m_algorithm;
    FilmAdjustParams m_params;
};

// The slider handler the film and brightness/contrast dialogs share: a changed slider restarts
// the preview. Nonzero when the message was a slider change.
int FilterSliderChanged(CFilterDialog& dialog, SpriteMessage* message);
