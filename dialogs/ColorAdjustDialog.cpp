// Colour adjustment dialog (see the header).
#include "dialogs/ColorAdjustDialog.h"

#include "dialogs/SliderDialogSupport.h"

#include <algorithm>

CColorAdjDlg::~CColorAdjDlg()
{
    // The range selector is a member: it leaves the child list before it goes.
    StopJob();
    CColorAdjDlg::ReleaseResources(1);
}

void CColorAdjDlg::ReleaseResources(int flag)
{
    if (m_rangeBuilt) {
        RemoveChild(&m_range);
        m_range.ReleaseResources(flag);
        m_rangeBuilt = false;
    }
    CFilterDialog::ReleaseResources(flag);
}

int CColorAdjDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    m_mode.store(0);
    m_rangeFlag = 0;
    m_params = ColorAdjustParams{};
    for (int32_t id : kSliderIds) {
        const SliderSetup s{id, -100, 100, 0, 1, nullptr};
        if (!SetUpSliders(*this, &s, 1))
            return 0;
    }
    CSprite* check = GetControl(kRangeCheckId);
    if (!check || !dynamic_cast<CSCheckBox*>(GetControl(kBalanceModeId)) ||
        !dynamic_cast<CSCheckBox*>(GetControl(kHslModeId)))
        return 0;
    BindControl(kRangeCheckId, &m_rangeFlag, kBindUnsigned, 0, 0);
    const SRect c = check->Rect();
    const int top = c.bottom + 10;
    if (!m_range.Create(this, nullptr, kRangeSelectorId, 2, c.left + 20, top, c.right - 10, top + 32))
        return 0;
    AddChild(&m_range);
    m_rangeBuilt = true;
    UpdateData(0);
    UpdateEnables();
    return 1;
}

void CColorAdjDlg::UpdateEnables()
{
    const int mode = m_mode.load();
    for (int i = 0; i < 6; ++i)
        if (CSliderSprite* s = FindSlider(*this, kSliderIds[i])) {
            s->SetEnabled((i < 3) == (mode == 1));
            s->SetAllDirty(1);
        }
    if (auto* r = dynamic_cast<CSCheckBox*>(GetControl(kBalanceModeId)))
        r->SetText(mode == 1 ? u"1" : u"0");
    if (auto* r = dynamic_cast<CSCheckBox*>(GetControl(kHslModeId)))
        r->SetText(mode == 1 ? u"0" : u"1");
    m_range.SetEnabled(m_rangeFlag ? 1 : 0);
    m_range.SetAllDirty(1);
    SetAllDirty(1);
}

int CColorAdjDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        if (message->code == MSG_SLIDER_CHANGED || message->code == MSG_RANGE_CHANGED) {
            UpdateData(1);
            RestartPreview();
        } else if (message->code == MSG_CHECK &&
                   (message->param1 == kBalanceModeId || message->param1 == kHslModeId ||
                    message->param1 == kRangeCheckId)) {
            if (message->param1 == kBalanceModeId)
                m_mode.store(1);
            else if (message->param1 == kHslModeId)
                m_mode.store(0);
            else
                UpdateData(1);
            UpdateEnables();
            RestartPreview();
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CColorAdjDlg::FillRecord()
{
    UpdateData(1);
    m_params.size = sizeof(ColorAdjustParams);
    m_params.mode = m_mode.load();
    int32_t* values[6] = {&m_params.balanceRed, &m_params.balanceGreen, &m_params.balanceBlue,
                          &m_params.hue,        &m_params.saturation,   &m_params.lightness};
    for (int i = 0; i < 6; ++i)
        *values[i] = SliderValue(*this, kSliderIds[i]);
    m_params.rangeOn = m_rangeFlag ? 1 : 0;
    for (int i = 0; i < 4; ++i)
        m_params.range[i] = m_range.m_markers[i];
    m_params.rangeOffset = m_range.m_shift;
}

void CColorAdjDlg::StartJob()
{
    FillRecord();
    StartPreviewJob(&m_algorithm, &m_params, sizeof m_params);
}

int CColorAdjDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    // Neutral again without a slider message: the applied picture is already the preview.
    for (int32_t id : kSliderIds)
        if (CSliderSprite* s = FindSlider(*this, id))
            if (s->Value() != 0)
                s->SetValue(0, 0);
    FillRecord();
    return 1;
}

void CColorAdjDlg::OnOK()
{
    // The record as the controls stand, also when no preview ran yet.
    FillRecord();
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisAdjColor", kStepId, SchemeStepRecord(m_params));
}

SRect CColorAdjDlg::SwatchRect(int i) const
{
    const int32_t ids[3] = {kRedCyanId, kGreenMagentaId, kBlueYellowId};
    CSprite* slider = GetControl(ids[i % 3]);
    if (!slider)
        return {};
    const SRect s = slider->Rect();
    return i < 3 ? SRect{s.left - 25, s.top, s.left - 5, s.bottom} : SRect{s.right + 5, s.top, s.right + 25, s.bottom};
}

int CColorAdjDlg::OnDraw(uint32_t time)
{
    const bool full = AllDirty() != 0;
    const int drawn = CFilterDialog::OnDraw(time);
    if (!full || !drawn || !m_image.data)
        return drawn;
    // Red, green, blue against cyan, magenta, yellow; dimmed while the balance is not in use.
    const uint8_t v = m_mode.load() == 1 ? 200 : 64;
    const uint8_t colours[6][3] = {{0, 0, v}, {0, v, 0}, {v, 0, 0}, {v, v, 0}, {v, 0, v}, {0, v, v}}; // B, G, R
    for (int i = 0; i < 6; ++i) {
        const SRect r = SwatchRect(i);
        for (int y = std::max(0, r.top); y < std::min(r.bottom, m_image.height); ++y)
            for (int x = std::max(0, r.left); x < std::min(r.right, m_image.width); ++x) {
                uint8_t* p = m_image.data + (size_t(y) * size_t(m_image.width) + size_t(x)) * 4;
                p[0] = colours[i][0];
                p[1] = colours[i][1];
                p[2] = colours[i][2];
                p[3] = 255;
            }
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return drawn;
}
