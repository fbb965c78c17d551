// Channel mixer (template 158): one output row at a time on four sliders (red, green and blue
// source percent and a constant), colour or monochrome output. History step 19.
#pragma once

#include "algorithms/ColorMixer.h"
#include "dialogs/FilterDialog.h"

class CColorMixerDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 158;
    static constexpr uint16_t kStepId = SchemeStepColorMixer;
    static constexpr int32_t kOutputButtonId = 1102;
    static constexpr int32_t kSourceFirstId = 1103; // 1103..1106: red, green, blue, constant
    static constexpr int32_t kMenuColour = 200, kMenuMonochrome = 201, kMenuRowFirst = 202; // 202..205
    static constexpr int kMonochromeRow = 3;

    ~CColorMixerDlg() override;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;

    void ShowOutputMenu();
    // Shows row r on the sliders, each with its change message (which restarts the preview).
    void ShowRow();
    // The four sliders into row r.
    void ReadRow();
    static ColorMixerParams Defaults() { return ColorMixerParams{}; }

    int Row() const { return m_row; }
    CSMenu& OutputMenu() { return m_menu; }

    CColorMixer m_algorithm;
    ColorMixerParams m_params;

private:
    void ChooseMenu(int32_t id);

    int32_t m_row = 0;
    CSButton* m_outputButton = nullptr;
    CSMenu m_menu;
};
