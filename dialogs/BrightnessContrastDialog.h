// Brightness and contrast (template 157): two sliders; the preview starts at the first change.
// History step 18.
#pragma once

#include "algorithms/ToneAdjust.h"
#include "dialogs/FilterDialog.h"

class CBrightnessContrastDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 157;
    static constexpr uint16_t kStepId = SchemeStepBrightnessContrast;
    static constexpr int32_t kBrightnessId = 1100, kContrastId = 1101;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;

    CBrightnessContrast m_algorithm;
    BrightnessContrastParams m_params;
};
