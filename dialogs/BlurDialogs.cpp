// Blur, diffuse glow and starlight dialogs (see the header).
#include "dialogs/BlurDialogs.h"

#include "dialogs/SliderDialogSupport.h"
#include "ui/CheckBox.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>

namespace {

// The pixel/percent radius slider the blur and sharpen dialogs share.
void SetRadiusUnits(CSliderSprite* slider, CSButton* button, uint32_t pixelUnits)
{
    if (slider) {
        if (pixelUnits)
            slider->SetRange(1, 320, 5, 10, u"");
        else
            slider->SetRange(1, 60, 1, 1, u"%");
    }
    if (button)
        button->SetText(UiText(pixelUnits ? u"dlginpixel" : u"dlginpercent"));
}

void CheckRadio(CDialogSprite& d, int32_t id, bool checked)
{
    if (auto* r = dynamic_cast<CSCheckBox*>(d.GetControl(id)))
        r->SetText(checked ? u"1" : u"0");
}

int ShorterSide(const ImageBuffer16* image)
{
    return image ? std::min(image->width, image->height) : 0;
}

} // namespace

// ---- Gaussian blur ----------------------------------------------------------------------------

int CAdvBlurDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    m_radiusSlider = FindSlider(*this, kRadiusId);
    m_unitsButton = dynamic_cast<CSButton*>(GetControl(kUnitsId));
    if (!m_radiusSlider || !m_unitsButton)
        return 0;
    m_unitsButton->m_dropDownMark = 1;
    UpdateUnits();
    UpdateData(1);
    RestartPreview();
    return 1;
}

void CAdvBlurDlg::UpdateUnits()
{
    SetRadiusUnits(m_radiusSlider, m_unitsButton, m_pixelUnits);
    SetAllDirty(1);
}

int CAdvBlurDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && m_radiusSlider) {
        if (message->code == MSG_COMMAND && message->param1 == kUnitsId) {
            m_pixelUnits = m_pixelUnits ? 0 : 1;
            UpdateUnits();
            RestartPreview();
        } else if (message->code == MSG_SLIDER_CHANGED) {
            RestartPreview();
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CAdvBlurDlg::StartJob()
{
    UpdateData(1);
    if (!m_radiusSlider || !TargetImage())
        return;
    double sigma = double(m_radiusSlider->Value()) / std::max(1, m_radiusSlider->Divisor());
    if (!m_pixelUnits)
        sigma = sigma * ShorterSide(TargetImage()) / 300.0;
    m_sigma = sigma == 0 ? 0.1 : sigma;
    StartPreviewJob(&m_blur, &m_sigma, sizeof m_sigma);
}

int CAdvBlurDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    m_pixelUnits = 1;
    UpdateUnits();
    m_radiusSlider->SetValue(0.5, 1);
    UpdateData(1);
    RestartPreview();
    return 1;
}

void CAdvBlurDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisAdvBlur", kStepId, SchemeStepRecord(BlurStep{m_sigma}));
}

// ---- diffuse glow -------------------------------------------------------------------------------

int CDiffuseDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    const SliderSetup sliders[] = {
        {kRadiusId, 0, 250, 30, 10, u"%"},
        {kAmountId, 0, 100, 0, 1, nullptr},
        {kHighlightId, 0, 100, 0, 1, nullptr},
        {kShadowId, 0, 100, 0, 1, nullptr},
    };
    if (!SetUpSliders(*this, sliders, std::size(sliders)))
        return 0;
    // The notifications start the first preview.
    FindSlider(*this, kAmountId)->SetValue(35, 1);
    FindSlider(*this, kHighlightId)->SetValue(0, 1);
    FindSlider(*this, kShadowId)->SetValue(0, 1);
    UpdateModeControls();
    return 1;
}

void CDiffuseDlg::UpdateModeControls()
{
    CheckRadio(*this, kNormalId, m_mode == 0);
    CheckRadio(*this, kHighlightModeId, m_mode == 1);
    if (CSliderSprite* s = FindSlider(*this, kShadowId)) {
        s->SetEnabled(m_mode == 0);
        s->SetAllDirty(1);
    }
    SetAllDirty(1);
}

int CDiffuseDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        if (message->code == MSG_CHECK && (message->param1 == kNormalId || message->param1 == kHighlightModeId)) {
            m_mode = message->param1 == kHighlightModeId ? 1 : 0;
            UpdateModeControls();
            RestartPreview();
        } else if (message->code == MSG_SLIDER_CHANGED) {
            RestartPreview();
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CDiffuseDlg::StartJob()
{
    UpdateData(1);
    if (!TargetImage())
        return;
    m_params = DiffuseParams{};
    m_params.mode = uint8_t(m_mode);
    const double radius = SliderStoredValue(*this, kRadiusId) / 10.0 * ShorterSide(TargetImage()) / 300.0;
    m_params.radius = radius == 0 ? 0.1 : radius; // as the blur does
    m_params.amount = SliderValue(*this, kAmountId);
    m_params.highlight = SliderValue(*this, kHighlightId);
    m_params.shadow = SliderValue(*this, kShadowId); // sent also in highlight mode
    StartPreviewJob(&m_diffuse, &m_params, sizeof m_params);
}

int CDiffuseDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    FindSlider(*this, kRadiusId)->SetValue(3.0, 1);
    FindSlider(*this, kAmountId)->SetValue(35, 1);
    FindSlider(*this, kHighlightId)->SetValue(0, 1);
    FindSlider(*this, kShadowId)->SetValue(0, 1);
    return 1;
}

void CDiffuseDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisDiffuse", kStepId, SchemeStepRecord(m_params));
}

// ---- starlight ----------------------------------------------------------------------------------

CStarlightDlg::CStarlightDlg() = default;

CStarlightDlg::~CStarlightDlg()
{
    // The job reads the shape plane.
    StopJob();
    CStarlightDlg::ReleaseResources(1);
    FreePlane8(m_shapePlane);
}

void CStarlightDlg::ReleaseResources(int flag)
{
    if (m_panelBuilt) {
        RemoveChild(&m_panel);
        m_panel.ReleaseResources(flag);
        m_panelBuilt = false;
    }
    CFilterDialog::ReleaseResources(flag);
}

int CStarlightDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    const SliderSetup sliders[] = {
        {kRadiusId, 1, 64, 32, 1, nullptr},
        {kHighlightId, 0, 100, 0, 1, nullptr},
        {kAmountId, 0, 100, 0, 1, nullptr},
        {kRotationId, 0, 360, 0, 1, nullptr},
    };
    if (!SetUpSliders(*this, sliders, std::size(sliders)))
        return 0;
    FindSlider(*this, kHighlightId)->SetValue(50, 1);
    FindSlider(*this, kAmountId)->SetValue(50, 1);
    CSprite* place = GetControl(kShapePlaceId);
    if (!place)
        return 0;
    const SRect p = place->Rect();
    if (!m_panel.Create(this, nullptr, kShapePanelId, 2, p.left, p.top, p.right, p.bottom))
        return 0;
    AddChild(&m_panel);
    m_panelBuilt = true;
    m_panel.m_background.store(0);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"starlight.png", kShapeFrame, m_shapes) &&
        !LoadUiImageStrip(UiImageFolder::Basic, u"starlight.png", kShapeFrame, m_shapes))
        return 0;
    if (m_shapes.size() < size_t(kShapes))
        return 0;
    BuildShapeIcons();
    if (m_icons.size() < size_t(kShapes))
        return 0;
    const int s = m_iconSize;
    for (int i = 0; i < kShapes; ++i)
        if (!m_panel.AddItem(i, 2, u"", u"", m_icons[size_t(i)], i * s, 0, (i + 1) * s, s))
            return 0;
    UpdateShapeControls();
    UpdateData(1);
    RestartPreview();
    return 1;
}

void CStarlightDlg::BuildShapeIcons()
{
    for (ImageBuffer8* i : m_icons.items) {
        FreeImageBuffer(*i);
        delete i;
    }
    m_icons.items.clear();
    m_iconSize = std::min(m_panel.Width() / kShapes, m_panel.Height());
    const int side = std::max(1, m_iconSize - 4);
    for (int i = 0; i < kShapes && size_t(i) < m_shapes.size(); ++i) {
        auto* icon = new (std::nothrow) ImageBuffer8{};
        if (!icon)
            return;
        if (!ResizeImage8(*m_shapes[size_t(i)], *icon, side, side, 3)) {
            delete icon;
            return;
        }
        m_icons.items.push_back(icon);
    }
}

void CStarlightDlg::UpdateShapeControls()
{
    for (int i = 0; i < kShapes; ++i)
        m_panel.SetItemChecked(i, i == m_selectedShape);
    CheckRadio(*this, kOriginalId, m_colourful == 0);
    CheckRadio(*this, kColourfulId, m_colourful == 1);
    m_panel.SetAllDirty(1);
    SetAllDirty(1);
}

int CStarlightDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && m_panelBuilt) {
        const intptr_t p1 = message->param1;
        if (message->code == MSG_PANEL_CLICK && message->sender == &m_panel) {
            if (p1 >= 0 && p1 < kShapes) {
                m_selectedShape = int32_t(p1);
                UpdateShapeControls();
                RestartPreview();
            }
            return 1;
        }
        if (message->code == MSG_CHECK && (p1 == kOriginalId || p1 == kColourfulId)) {
            m_colourful = p1 == kColourfulId ? 1 : 0;
            UpdateShapeControls();
            RestartPreview();
        } else if (message->code == MSG_SLIDER_CHANGED) {
            RestartPreview();
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CStarlightDlg::StartJob()
{
    UpdateData(1);
    if (m_selectedShape < 0 || size_t(m_selectedShape) >= m_shapes.size())
        return;
    const ImageBuffer8& frame = *m_shapes[size_t(m_selectedShape)];
    if (m_shapePlane.width != frame.width || m_shapePlane.height != frame.height) {
        FreePlane8(m_shapePlane);
        if (!AllocPlane8(m_shapePlane, frame.width, frame.height))
            return;
    }
    for (uint32_t i = 0; i < m_shapePlane.byteSize; ++i)
        m_shapePlane.data[i] = frame.data[size_t(i) * 4 + 1];
    m_params = StarlightParams{};
    m_params.radius = SliderValue(*this, kRadiusId);
    m_params.amount = SliderValue(*this, kAmountId);
    m_params.density = SliderValue(*this, kHighlightId);
    m_params.rotation = SliderValue(*this, kRotationId) * 3.1415926536 * 2 / 360 + 3.1415926536;
    m_params.colourMode = int32_t(m_colourful);
    m_starlight.SetRayShape(&m_shapePlane);
    StartPreviewJob(&m_starlight, &m_params, sizeof m_params);
}

int CStarlightDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    FindSlider(*this, kRadiusId)->SetValue(32, 1);
    FindSlider(*this, kRotationId)->SetValue(0, 1);
    FindSlider(*this, kHighlightId)->SetValue(50, 1);
    FindSlider(*this, kAmountId)->SetValue(50, 1);
    return 1;
}

void CStarlightDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    // No record: a scheme cannot replay the ray shape.
    RecordHistoryStep(u"hisStarlight", 0, nullptr, 0);
}
