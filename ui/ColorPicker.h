// The colour picker: a hue and saturation wheel, a lightness bar, sixteen swatches and the
// current colour's patch. Colours are the working 16-bit B, G, R, A (linear light).
#pragma once

#include "ui/DialogSprite.h"

#include <cstdint>

class CColorPickerDlg : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 144;
    static constexpr int32_t kSeparatorId = 1057, kSystemPickerId = 1064;

    explicit CColorPickerDlg(const uint16_t colour[4]);
    int Create();
    int OnInitDialog() override;
    int OnDraw(uint32_t time) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    // Hue and saturation of a dialog point; false outside the wheel (clamp: up to 5 pixels
    // beyond the rim count as the rim).
    bool WheelPointToHS(int x, int y, bool clamp, uint16_t& hue, uint16_t& saturation) const;
    void ChooseSwatch(int index);

    const uint16_t* Colour() const { return m_colour; }
    const uint16_t* Hsl() const { return m_hsl; }
    static const uint16_t kSwatches[16][3]; // red, green, blue
    SRect SwatchRect(int index) const;
    int WheelCentreX() const { return m_cx; }
    int WheelCentreY() const { return m_cy; }
    int WheelRadius() const { return m_radius; }
    SRect Bar() const { return m_bar; }

private:
    void UpdateFromHsl();
    void UpdateHsl();

    uint16_t m_colour[4] = {};
    uint16_t m_hsl[4] = {}; // L, S, H, A in the B, G, R, A slots
    int32_t m_cx = 0, m_cy = 0, m_radius = 0;
    SRect m_bar{}, m_patch{};
    SRect m_swatchArea{};
};

// Lets the user choose a colour. OK: the colour becomes the choice with alpha 65535 and the
// result is 1. Cancel, close, or a dialog that cannot be shown: the colour is left exactly as
// it was and the result is 0 (callers never receive a half-made colour).
int PickColor(uint16_t colour[4]);
