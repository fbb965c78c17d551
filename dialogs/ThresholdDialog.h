// Black and white threshold (template 166): the method menu and three sliders; previewed from
// the start. History step 24.
#pragma once

#include "algorithms/Threshold.h"
#include "dialogs/FilterDialog.h"

class CThresholdDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 166;
    static constexpr uint16_t kStepId = SchemeStepThreshold;
    static constexpr int32_t kMethodButtonId = 1069;
    static constexpr int32_t kThresholdId = 1128, kTransitionId = 1129, kAreaId = 1130;
    static constexpr int32_t kMenuFirst = 200; // 200..203 the four methods

    ~CThresholdDlg() override;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;

    void ShowModeMenu();
    void UpdateMode();
    CSMenu& ModeMenu() { return m_menu; }

    CThreshold m_algorithm;
    ThresholdParams m_params;
    int32_t m_mode = 0;

private:
    CSButton* m_methodButton = nullptr;
    CSMenu m_menu;
};
