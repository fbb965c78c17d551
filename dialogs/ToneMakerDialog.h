// Tone (template 161): towards monochrome with red, green and blue weights on a weight bar and
// an opacity, tinted towards three reference colours for shadows, midtones and highlights.
// History step 21.
#pragma once

#include "algorithms/ToneMaker.h"
#include "dialogs/ColourBlender.h"
#include "dialogs/FilterDialog.h"
#include "ui/Panel.h"

#include <array>
#include <functional>

// The tone panel: the preview strip above three buttons. The strip (a grey ramp through the
// reference colours' tables) is built on the UI thread when a colour changes and kept; the
// render thread only copies it in.
class CTonePanel : public CPanelSprite {
public:
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    // Takes the strip over (UI thread, under the panel's lock).
    void SetStrip(ImageBuffer8& strip, const SRect& where);
    ImageBuffer8 StripCopy() const;
    SRect StripRect() const;

private:
    ImageBuffer8 m_strip{};
    SRect m_stripRect{};
};

class CToneMakerDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 161;
    static constexpr uint16_t kStepId = SchemeStepToneMaker;
    static constexpr int32_t kOpacityId = 1062;
    static constexpr int32_t kAmountId = 1118;
    static constexpr int32_t kHelpId = 1116;
    static constexpr int32_t kBarPlaceId = 1115;
    static constexpr int32_t kPanelPlaceId = 1117;
    static constexpr int32_t kPanelId = 9990;
    static constexpr int32_t kBarId = 9991;
    static constexpr int32_t kToneButtonFirst = 9001; // 9001..9003 shadows, midtones, highlights
    static constexpr uint16_t kDefaultColours[3][4] = {
        {15000, 15000, 15000, 65535}, {32768, 32768, 32768, 65535}, {50000, 50000, 50000, 65535}};

    CToneMakerDlg();
    ~CToneMakerDlg() override;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    void ReleaseResources(int flag) override;

    void UpdateSwatches();
    void PickToneColour(int index);
    // The grey ramp through the reference colours' tables, `width` x `height`; false when the
    // tables cannot be built.
    static bool BuildStrip(const uint16_t colours[3][4], int width, int height, ImageBuffer8& out);
    void FillRecord();

    CTonePanel& TonePanel() { return m_panel; }
    CRGBBlender& WeightBar() { return m_bar; }
    std::array<uint16_t, 4> Colour(int i) const { return {m_colours[i][0], m_colours[i][1], m_colours[i][2], m_colours[i][3]}; }

    // The colour chooser (PickColor); tests put their own here.
    std::function<int(uint16_t colour[4])> m_pickColour;

    CToneMaker m_algorithm;
    ToneMakerParams m_params;

private:
    void RebuildStrip();

    CTonePanel m_panel;
    uint16_t m_colours[3][4] = {};
    ImageBuffer8 m_swatches[3] = {};
    CRGBBlender m_bar;
    bool m_panelBuilt = false;
    bool m_barBuilt = false;
};
