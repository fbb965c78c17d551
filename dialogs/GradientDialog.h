// Graduated filter (template 176): one side of the picture darkened or brightened (black and
// white, an exposure bias) or tinted from one colour to another, with a transition band set on a
// colour bar, at an angle, shown on a preview disc. History step 31.
#pragma once

#include "algorithms/GradientFilter.h"
#include "dialogs/ColourBlender.h"
#include "dialogs/FilterDialog.h"
#include "ui/Panel.h"

#include <array>
#include <atomic>
#include <functional>

class CGradientDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 176;
    static constexpr uint16_t kStepId = SchemeStepGradient;
    static constexpr int32_t kBlackWhiteId = 1150, kColourGradientId = 1151;
    static constexpr int32_t kExposureId = 1164, kAmountId = 1118, kRotateId = 1149;
    static constexpr int32_t kPanelPlaceId = 1165, kBarPlaceId = 1168, kPreviewPlaceId = 1099;
    static constexpr int32_t kBarId = 9990, kPanelId = 9991;
    static constexpr int32_t kFromButtonId = 9001, kToButtonId = 9002;

    CGradientDlg();
    ~CGradientDlg() override;

    int OnDraw(uint32_t time) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;
    void ReleaseResources(int flag) override;

    void UpdateControls();
    void PickGradientColour(int index);
    // The preview disc for the current controls, into the dialog's preview image.
    void BuildPreviewDisc();
    void FillRecord();
    void SetMode(int mode);

    // The disc for w x h (nothing drawn, false, when the disc has no radius or no memory).
    static bool DrawDisc(int w, int h, const GradientParams& record, int exposureTenths, ImageBuffer8& out);

    int Mode() const { return m_mode; }
    CColorBlender& Bar() { return m_bar; }
    CPanelSprite& ColourPanel() { return m_panel; }
    SRect PreviewRect() const { return m_previewRect; }
    ImageBuffer8 PreviewCopy() const;
    std::array<uint16_t, 4> StoredColour(int i) const
    {
        return {m_stored[i][0], m_stored[i][1], m_stored[i][2], m_stored[i][3]};
    }

    // The colour chooser (PickColor); tests put their own here.
    std::function<int(uint16_t colour[4])> m_pickColour;

    CGradientFilter m_algorithm;
    GradientParams m_params;

private:
    void SetStartValues(int exposure);

    SRect m_previewRect{};
    CColorBlender m_bar;
    CPanelSprite m_panel;
    int32_t m_mode = 1;
    ImageBuffer8 m_swatches[2] = {};
    uint16_t m_stored[2][4] = {{0, 0, 65535, 65535}, {65535, 0, 0, 65535}};
    ImageBuffer8 m_preview{}; // under the dialog's lock
    bool m_barBuilt = false;
    bool m_panelBuilt = false;
};
