// The blur family's filter dialogs: Gaussian blur with its radius in pixels or percent
// (template 169, step 27), diffuse glow in normal or highlight mode (170, step 28) and star rays
// on highlights with six ray shapes (172, a step without record).
#pragma once

#include "algorithms/DiffuseFilter.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/Starlight.h"
#include "dialogs/FilterDialog.h"
#include "ui/Button.h"
#include "ui/Panel.h"
#include "ui/Slider.h"

class CAdvBlurDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 169;
    static constexpr uint16_t kStepId = SchemeStepBlur;
    static constexpr int32_t kRadiusId = 1130, kUnitsId = 1132;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;

    // The radius slider for the units; resets it to 0.5 pixel or 1 %.
    void UpdateUnits();

    CGaussBlur m_blur;
    double m_sigma = 0; // the whole record
    uint32_t m_pixelUnits = 1;

private:
    CSliderSprite* m_radiusSlider = nullptr;
    CSButton* m_unitsButton = nullptr;
};

class CDiffuseDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 170;
    static constexpr uint16_t kStepId = SchemeStepDiffuse;
    static constexpr int32_t kNormalId = 1137, kHighlightModeId = 1041, kRadiusId = 1130, kAmountId = 1118,
                             kHighlightId = 1140, kShadowId = 1141;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;

    void UpdateModeControls();

    CDiffuseFilter m_diffuse;
    DiffuseParams m_params;
    uint32_t m_mode = 0; // 0 normal, 1 highlight diffusion
};

class CStarlightDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 172;
    static constexpr int32_t kRadiusId = 1130, kHighlightId = 1140, kAmountId = 1118, kShapePlaceId = 1121,
                             kRotationId = 1149, kOriginalId = 1150, kColourfulId = 1151;
    static constexpr int32_t kShapePanelId = 9990;
    static constexpr int kShapes = 6;
    static constexpr int kShapeFrame = 128;

    CStarlightDlg();
    ~CStarlightDlg() override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;
    void ReleaseResources(int flag) override;

    void BuildShapeIcons();
    void UpdateShapeControls();

    CPanelSprite& ShapePanel() { return m_panel; }
    const ImageList8& Shapes() const { return m_shapes; }
    const Plane8& ShapePlane() const { return m_shapePlane; }
    int IconSize() const { return m_iconSize; }

    int32_t m_selectedShape = 4;
    uint32_t m_colourful = 0;
    CStarlight m_starlight;
    StarlightParams m_params;

private:
    CPanelSprite m_panel;
    ImageList8 m_shapes; // the frames of "starlight.png"
    ImageList8 m_icons;
    int32_t m_iconSize = 0;
    Plane8 m_shapePlane{};
    bool m_panelBuilt = false;
};
