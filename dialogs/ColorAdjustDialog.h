// Colour adjustment (template 159): a colour balance on three sliders or hue, saturation and
// lightness on three others, optionally only within a hue range. History step 20.
#pragma once

#include "algorithms/ColorMixer.h"
#include "dialogs/FilterDialog.h"
#include "ui/CheckBox.h"
#include "ui/RangeSelector.h"

#include <atomic>

class CColorAdjDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 159;
    static constexpr uint16_t kStepId = SchemeStepColorAdjust;
    static constexpr int32_t kBalanceModeId = 1104;
    static constexpr int32_t kHslModeId = 1105;
    static constexpr int32_t kRangeCheckId = 1106;
    static constexpr int32_t kRedCyanId = 1109, kGreenMagentaId = 1108, kBlueYellowId = 1110;
    static constexpr int32_t kHueId = 1111, kSaturationId = 1112, kLightnessId = 1113;
    static constexpr int32_t kRangeSelectorId = 9999;
    // Slider ids in record order.
    static constexpr int32_t kSliderIds[6] = {kRedCyanId, kGreenMagentaId, kBlueYellowId,
                                              kHueId,     kSaturationId,   kLightnessId};

    ~CColorAdjDlg() override;

    int OnDraw(uint32_t time) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;
    void ReleaseResources(int flag) override;

    void UpdateEnables();
    // Controls into the record, as a job starts with it.
    void FillRecord();

    int Mode() const { return m_mode.load(); }
    CRangeSelector& RangeSelector() { return m_range; }
    // The swatch rectangles beside the balance sliders: left red, green, blue, right cyan,
    // magenta, yellow (dialog coordinates).
    SRect SwatchRect(int i) const;

    CColorAdjust m_algorithm;
    ColorAdjustParams m_params;

private:
    CRangeSelector m_range;
    bool m_rangeBuilt = false;
    uint32_t m_rangeFlag = 0;
    std::atomic<int32_t> m_mode{0}; // 1 colour balance, 0 hue/saturation/lightness; read by OnDraw
};
