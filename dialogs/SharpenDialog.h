// Advanced sharpening (template 167): an unsharp mask whose radius is given in pixels or in
// percent of the picture's shorter side, an amount, and a curve box that sets the strength by
// the size of the local difference; four presets. History step 25 (record + curve, 296 bytes).
// Opened with mode 1 (the auto wizard) it switches to the local-contrast preset at once.
#pragma once

#include "algorithms/Threshold.h"
#include "dialogs/CurveBox.h"
#include "dialogs/FilterDialog.h"
#include "ui/Button.h"
#include "ui/Menu.h"
#include "ui/Slider.h"

#include <vector>

class CSharpenDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 167;
    static constexpr uint16_t kStepId = SchemeStepSharpen;
    static constexpr int32_t kRadiusId = 1130, kAmountId = 1118, kUnitsId = 1132, kPresetId = 1052,
                             kCurvePlaceId = 1123;
    static constexpr int32_t kCurveBoxId = 9990, kPresetMenuId = 9991;
    static constexpr int32_t kPresetPixel = 201, kPresetCcd = 202, kPresetContrast = 203, kPresetTexture = 204;

    CSharpenDlg();
    ~CSharpenDlg() override;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;
    void ReleaseResources(int flag) override;

    // Radius slider for the current units; every call resets its value (0.5 pixel or 1 %).
    void UpdateUnits();
    // 0-2 the standard curve, 3 the texture curve, above 3 the points stay; the table is rebuilt.
    void SetCurvePreset(int preset);
    void ShowPresetMenu();
    // The 296-byte record of the last job's parameters and the curve now in the box.
    SharpenStep StepRecord() const;

    CCurveBox& Curve() { return m_curve; }
    CSMenu& PresetMenu() { return m_menu; }

    int32_t m_mode = 0;
    CSharpen m_sharpen;
    SharpenParams m_params;
    uint32_t m_pixelUnits = 1;

private:
    void SelectPreset(int id);

    CSliderSprite* m_radiusSlider = nullptr;
    CSliderSprite* m_amountSlider = nullptr;
    CSButton* m_unitsButton = nullptr;
    CSButton* m_presetButton = nullptr;
    CCurveBox m_curve;
    CSMenu m_menu;
    std::vector<uint16_t> m_jobCurve; // the job's own copy: the box may change while it runs
    bool m_curveBuilt = false;
    bool m_menuBuilt = false;
};

// The editor's opener: mode 0 from the menu, 1 from the wizard.
int RunSharpenDialog(int mode);
