// Advanced sharpening dialog (see the header).
#include "dialogs/SharpenDialog.h"

#include "dialogs/DialogSupport.h"
#include "dialogs/SliderDialogSupport.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

namespace {

struct PresetRow {
    int32_t id;
    const char16_t* key;
};
constexpr PresetRow kPresets[] = {
    {CSharpenDlg::kPresetPixel, u"dlgspSharpenPixel"},
    {CSharpenDlg::kPresetCcd, u"dlgspSharpenCCD"},
    {CSharpenDlg::kPresetContrast, u"dlgspSharenContrast"},
    {CSharpenDlg::kPresetTexture, u"dlgspSharpenTexture"},
};

} // namespace

CSharpenDlg::CSharpenDlg() = default;

CSharpenDlg::~CSharpenDlg()
{
    // The job reads this dialog's curve copy: it ends before the members go.
    StopJob();
    CSharpenDlg::ReleaseResources(1);
}

void CSharpenDlg::ReleaseResources(int flag)
{
    if (m_menuBuilt) {
        m_menu.Close(0);
        m_menu.ReleaseResources(1);
        m_menuBuilt = false;
    }
    if (m_curveBuilt) {
        RemoveChild(&m_curve);
        m_curve.ReleaseResources(flag);
        m_curveBuilt = false;
    }
    CFilterDialog::ReleaseResources(flag);
}

int CSharpenDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    m_radiusSlider = FindSlider(*this, kRadiusId);
    m_amountSlider = FindSlider(*this, kAmountId);
    m_unitsButton = dynamic_cast<CSButton*>(GetControl(kUnitsId));
    m_presetButton = dynamic_cast<CSButton*>(GetControl(kPresetId));
    CSprite* place = GetControl(kCurvePlaceId);
    if (!m_radiusSlider || !m_amountSlider || !m_unitsButton || !m_presetButton || !place)
        return 0;
    m_amountSlider->SetRange(0, 100, 50, 1, u"");
    m_unitsButton->m_dropDownMark = 1;
    m_presetButton->m_dropDownMark = 1;
    // The box square, at the bottom of its place.
    SRect b = place->Rect();
    if (b.Height() > b.Width())
        b.top = b.bottom - b.Width();
    if (!m_curve.Create(this, nullptr, kCurveBoxId, 2, b.left, b.top, b.right, b.bottom))
        return 0;
    AddChild(&m_curve);
    m_curveBuilt = true;
    m_curve.SetBitMode(kCurveEdit16Bit, kCurveEdit16Bit);
    SetCurvePreset(0);
    if (!m_menu.Create(nullptr, m_window, kPresetMenuId, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    m_menuBuilt = true;
    UpdateUnits();
    RestartPreview();
    if (m_mode != 0)
        ::PostSpriteMessage(this, MSG_MENU_COMMAND, kPresetContrast, 0, nullptr);
    return 1;
}

void CSharpenDlg::UpdateUnits()
{
    if (!m_radiusSlider)
        return;
    if (m_pixelUnits)
        m_radiusSlider->SetRange(1, 320, 5, 10, u"");
    else
        m_radiusSlider->SetRange(1, 60, 1, 1, u"%");
    if (m_unitsButton)
        m_unitsButton->SetText(UiText(m_pixelUnits ? u"dlginpixel" : u"dlginpercent"));
    SetAllDirty(1);
}

void CSharpenDlg::SetCurvePreset(int preset)
{
    if (preset <= 2) {
        m_curve.SetPoints({MakeCurvePoint(0, 0, kPointEnd), MakeCurvePoint(8000, 16000, kPointFree),
                           MakeCurvePoint(32767, 16000, kPointFree), MakeCurvePoint(65535, 0, kPointEnd)});
    } else if (preset == 3) {
        // Differences of 2000 and more get no sharpening: only fine texture is lifted.
        m_curve.SetPoints({MakeCurvePoint(0, 0, kPointEnd), MakeCurvePoint(500, 2000, kPointFree),
                           MakeCurvePoint(2000, 0, kPointFree), MakeCurvePoint(65535, 0, kPointEnd)});
    }
    m_curve.RebuildLookupTable(true);
}

void CSharpenDlg::ShowPresetMenu()
{
    if (!m_presetButton || !m_window || !m_menuBuilt)
        return;
    m_menu.Close(0);
    m_menu.ReleaseResources(0);
    for (const PresetRow& p : kPresets)
        m_menu.AddItem(nullptr, p.id, UiText(p.key), nullptr);
    const SRect b = m_presetButton->LocalToWindowRect({0, 0, m_presetButton->Width(), m_presetButton->Height()});
    m_menu.Track(this, b.right, b.top, true, true);
}

void CSharpenDlg::SelectPreset(int id)
{
    switch (id) {
    case kPresetPixel:
    case kPresetTexture:
        m_pixelUnits = 1;
        m_radiusSlider->SetValue(0.5, 1);
        m_amountSlider->SetValue(50, 1);
        SetCurvePreset(id == kPresetPixel ? 0 : 3);
        UpdateUnits();
        break;
    case kPresetCcd:
        m_pixelUnits = 1;
        SetCurvePreset(1);
        UpdateUnits();
        m_radiusSlider->SetValue(1.0, 1);
        m_amountSlider->SetValue(40, 1);
        break;
    case kPresetContrast:
        m_pixelUnits = 0;
        SetCurvePreset(2);
        UpdateUnits();
        m_radiusSlider->SetValue(25, 1);
        m_amountSlider->SetValue(5, 1);
        break;
    default: return;
    }
    RestartPreview();
}

int CSharpenDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && m_curveBuilt) {
        const intptr_t p1 = message->param1;
        switch (message->code) {
        case MSG_COMMAND:
            if (p1 == kPresetId) {
                ShowPresetMenu();
            } else if (p1 == kUnitsId) {
                m_pixelUnits = m_pixelUnits ? 0 : 1;
                UpdateUnits();
                RestartPreview();
            }
            break;
        case MSG_MENU_COMMAND:
            if (p1 >= kPresetPixel && p1 <= kPresetTexture) {
                SelectPreset(int(p1));
                return 1;
            }
            break;
        case MSG_SLIDER_CHANGED:
        case MSG_CURVE_CHANGED: RestartPreview(); break;
        default: break;
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CSharpenDlg::StartJob()
{
    UpdateData(1);
    const ImageBuffer16* target = TargetImage();
    if (!target || !m_radiusSlider || !m_amountSlider)
        return;
    const int32_t divisor = std::max(1, m_radiusSlider->Divisor());
    double radius = double(m_radiusSlider->Value()) / divisor;
    if (!m_pixelUnits)
        radius = radius * std::min(target->width, target->height) / 300.0;
    if (radius == 0)
        radius = 0.1;
    m_params.radius = radius;
    m_params.amount = SliderValue(*this, kAmountId);
    m_params.curveSlot = 0;
    m_jobCurve.assign(m_curve.LookupTable(), m_curve.LookupTable() + CCurveBox::kTableSize);
    m_sharpen.SetCurve(m_jobCurve.data());
    StartPreviewJob(&m_sharpen, &m_params, sizeof m_params);
}

int CSharpenDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    m_pixelUnits = 1;
    m_amountSlider->SetValue(50, 0);
    SetCurvePreset(0);
    UpdateUnits(); // the radius back to 0.5 pixel
    UpdateData(1);
    RestartPreview();
    return 1;
}

SharpenStep CSharpenDlg::StepRecord() const
{
    SharpenParams p = m_params;
    p.curveSlot = 0;
    return MakeSharpenStep(p, m_curve.LookupTable());
}

void CSharpenDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisAdvSharpen", kStepId, SchemeStepRecord(StepRecord()));
}

int RunSharpenDialog(int mode)
{
    CSharpenDlg dialog;
    if (!CreateDialogFromTemplate(dialog, CSharpenDlg::kTemplateId))
        return 0;
    dialog.m_mode = mode;
    return dialog.DoModal();
}
