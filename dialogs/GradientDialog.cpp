// Graduated filter dialog (see the header).
#include "dialogs/GradientDialog.h"

#include "dialogs/SliderDialogSupport.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/CheckBox.h"
#include "ui/ColorPicker.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint16_t kBlack[4] = {0, 0, 0, 65535};
constexpr uint16_t kStartTo[4] = {65525, 65525, 65525, 65535};
constexpr uint16_t kWhite[4] = {65535, 65535, 65535, 65535};
constexpr uint16_t kRed[4] = {0, 0, 65535, 65535};
constexpr uint16_t kBlue[4] = {65535, 0, 0, 65535};

} // namespace

CGradientDlg::CGradientDlg() : m_pickColour(&PickColor) {}

CGradientDlg::~CGradientDlg()
{
    StopJob();
    CGradientDlg::ReleaseResources(1);
    for (ImageBuffer8& s : m_swatches)
        FreeImageBuffer(s);
}

void CGradientDlg::ReleaseResources(int flag)
{
    if (m_barBuilt) {
        RemoveChild(&m_bar);
        m_bar.ReleaseResources(flag);
        m_barBuilt = false;
    }
    if (m_panelBuilt) {
        RemoveChild(&m_panel);
        m_panel.ReleaseResources(flag);
        m_panelBuilt = false;
    }
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_preview);
    }
    CFilterDialog::ReleaseResources(flag);
}

void CGradientDlg::SetStartValues(int exposure)
{
    m_mode = 1;
    m_bar.SetColours(kBlack, kStartTo);
    std::memcpy(m_stored[0], kRed, sizeof kRed);
    std::memcpy(m_stored[1], kBlue, sizeof kBlue);
    m_bar.SetShares(33, 33, 33);
    if (CSliderSprite* s = FindSlider(*this, kExposureId))
        s->SetValue(exposure / 10.0, 1);
    if (CSliderSprite* s = FindSlider(*this, kAmountId))
        s->SetValue(50, 1);
    if (CSliderSprite* s = FindSlider(*this, kRotateId))
        s->SetValue(0, 1);
}

int CGradientDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    const SliderSetup sliders[] = {
        {kExposureId, -10, 10, -10, 10, u"Ev"},
        {kAmountId, 1, 100, 50, 1, nullptr},
        {kRotateId, 0, 360, 0, 1, nullptr},
    };
    if (!SetUpSliders(*this, sliders, std::size(sliders)))
        return 0;
    CSprite* preview = GetControl(kPreviewPlaceId);
    CSprite* barPlace = GetControl(kBarPlaceId);
    CSprite* panelPlace = GetControl(kPanelPlaceId);
    if (!preview || !barPlace || !panelPlace || !dynamic_cast<CSCheckBox*>(GetControl(kBlackWhiteId)) ||
        !dynamic_cast<CSCheckBox*>(GetControl(kColourGradientId)))
        return 0;
    m_previewRect = preview->Rect();
    const SRect b = barPlace->Rect();
    if (!m_bar.Create(this, nullptr, kBarId, 2, b.left, b.top, b.right, b.bottom))
        return 0;
    AddChild(&m_bar);
    m_barBuilt = true;
    const SRect p = panelPlace->Rect();
    if (!m_panel.Create(this, nullptr, kPanelId, 2, p.left, p.top, p.right, p.bottom))
        return 0;
    AddChild(&m_panel);
    m_panelBuilt = true;
    m_panel.m_background.store(0);
    const int w = p.Width(), h = p.Height();
    if (!m_panel.AddItem(kFromButtonId, 1, UiText(u"GradientFrom"), u"", nullptr, 0, 0, w / 2, h) ||
        !m_panel.AddItem(kToButtonId, 1, UiText(u"GradientTo"), u"", nullptr, w / 2, 0, w, h))
        return 0;
    m_mode = 1;
    m_bar.SetColours(kBlack, kStartTo);
    m_bar.SetShares(33, 33, 33);
    UpdateControls();
    RestartPreview();
    return 1;
}

void CGradientDlg::UpdateControls()
{
    const std::array<uint16_t, 4> colours[2] = {m_bar.From(), m_bar.To()};
    for (int i = 0; i < 2; ++i) {
        ImageBuffer8& s = m_swatches[i];
        if (!s.data && !AllocImage8(s, 30, 10))
            continue;
        uint8_t px[4];
        ConvertPixel16To8(colours[i].data(), px);
        px[3] = 255;
        for (uint32_t k = 0; k < s.pixelCount; ++k)
            std::memcpy(s.data + size_t(k) * 4, px, 4);
        m_panel.SetItemIcon(kFromButtonId + i, &s);
    }
    if (auto* r = dynamic_cast<CSCheckBox*>(GetControl(kBlackWhiteId)))
        r->SetText(m_mode == 1 ? u"1" : u"0");
    if (auto* r = dynamic_cast<CSCheckBox*>(GetControl(kColourGradientId)))
        r->SetText(m_mode == 1 ? u"0" : u"1");
    if (CSliderSprite* s = FindSlider(*this, kExposureId)) {
        s->SetEnabled(m_mode == 1);
        s->SetAllDirty(1);
    }
    m_panel.EnableItem(kFromButtonId, m_mode == 0);
    m_panel.EnableItem(kToButtonId, m_mode == 0);
    m_panel.SetAllDirty(1);
    SetAllDirty(1);
}

void CGradientDlg::SetMode(int mode)
{
    if (mode == 1) {
        // Only a switch from the colour gradient keeps its pair: choosing black and white again
        // must not overwrite the user's colours with black and white.
        if (m_mode == 0) {
            const std::array<uint16_t, 4> from = m_bar.From(), to = m_bar.To();
            std::copy(from.begin(), from.end(), m_stored[0]);
            std::copy(to.begin(), to.end(), m_stored[1]);
        }
        m_mode = 1;
        m_bar.SetColours(kBlack, kWhite);
    } else {
        m_mode = 0;
        m_bar.SetColours(m_stored[0], m_stored[1]);
    }
    UpdateControls();
    RestartPreview();
}

void CGradientDlg::PickGradientColour(int index)
{
    if (m_mode == 1 || index < 0 || index > 1)
        return;
    std::array<uint16_t, 4> from = m_bar.From(), to = m_bar.To();
    uint16_t* colour = index == 0 ? from.data() : to.data();
    if (m_pickColour && m_pickColour(colour)) {
        m_bar.SetColours(from.data(), to.data());
        std::copy(colour, colour + 4, m_stored[index]);
    }
    UpdateControls();
    UpdateData(1);
    RestartPreview();
}

int CGradientDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        if (message->code == MSG_SLIDER_CHANGED || message->code == MSG_BLENDER_CHANGED) {
            UpdateData(1);
            RestartPreview();
        } else if (message->code == MSG_PANEL_CLICK &&
                   (message->param1 == kFromButtonId || message->param1 == kToButtonId)) {
            PickGradientColour(int(message->param1 - kFromButtonId));
        } else if (message->code == MSG_CHECK && message->param1 == kBlackWhiteId) {
            SetMode(1);
        } else if (message->code == MSG_CHECK && message->param1 == kColourGradientId) {
            SetMode(0);
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CGradientDlg::FillRecord()
{
    UpdateData(1);
    const BlenderShares s = CRGBBlender::Normalise(m_bar.Shares(), m_bar.Defaults());
    const std::array<uint16_t, 4> from = m_bar.From(), to = m_bar.To();
    m_params.size = sizeof(GradientParams);
    m_params.mode = m_mode;
    m_params.exposureBias = SliderStoredValue(*this, kExposureId) / 10.0;
    std::copy(from.begin(), from.end(), m_params.colour1);
    std::copy(to.begin(), to.end(), m_params.colour2);
    m_params.amount = SliderValue(*this, kAmountId);
    m_params.angle = SliderValue(*this, kRotateId);
    m_params.start = s.first;
    m_params.end = s.first + s.middle;
}

bool CGradientDlg::DrawDisc(int w, int h, const GradientParams& r, int e, ImageBuffer8& out)
{
    const int radius = std::min(w, h) / 2 - 5;
    if (radius <= 0 || !AllocImage8(out, w, h))
        return false;
    const double theta = r.angle * 3.14159265359 / 180;
    const double st = std::sin(theta), ct = std::cos(theta);
    double light = 0xDC, dark = 0x64;
    if (r.mode == 1 && e != 0) {
        const double f = e < 0 ? 1 + e / 20.0 : 1 + e / 10.0;
        light = std::min(255.0, light * f);
        dark = std::min(255.0, dark * f);
    }
    uint8_t from[4], to[4];
    ConvertPixel16To8(r.colour1, from);
    ConvertPixel16To8(r.colour2, to);
    const int start = r.start, middle = r.end - r.start;
    const int k = std::min(255, r.mode == 1 ? r.amount * 3 / 2 : r.amount);
    const double cx = w / 2, cy = h / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = out.data + (size_t(y) * size_t(w) + size_t(x)) * 4;
            const int checker = int((x / 10 + y / 10) % 2 ? dark : light);
            const double d = std::hypot(x - cx, y - cy);
            p[3] = 255;
            if (std::abs(d - radius) < 1.5) {
                p[0] = p[1] = p[2] = 0x40;
                continue;
            }
            if (d > radius) {
                p[0] = p[1] = p[2] = uint8_t(checker);
                continue;
            }
            const double P = ((x - cx) / radius * st + (y - cy) / radius * ct + 1) * 50;
            for (int c = 0; c < 3; ++c) {
                int colour;
                if (P < start) {
                    colour = from[c];
                } else if (P < start + middle) {
                    const int t = int((P - start) * 255 / middle);
                    colour = (from[c] * (255 - t) + to[c] * t) / 255;
                } else {
                    colour = to[c];
                }
                p[c] = uint8_t((checker * (255 - k) + colour * k) / 255);
            }
        }
    return true;
}

void CGradientDlg::BuildPreviewDisc()
{
    FillRecord();
    ImageBuffer8 disc{};
    if (!DrawDisc(m_previewRect.Width(), m_previewRect.Height(), m_params, SliderStoredValue(*this, kExposureId), disc))
        FreeImageBuffer(disc);
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_preview);
        m_preview = disc;
    }
    SetAllDirty(1);
    m_bar.SetAllDirty(1);
}

ImageBuffer8 CGradientDlg::PreviewCopy() const
{
    platform::ScopedLock lock(m_lock);
    ImageBuffer8 copy{};
    if (m_preview.data && AllocImage8(copy, m_preview.width, m_preview.height))
        std::memcpy(copy.data, m_preview.data, m_preview.byteSize);
    return copy;
}

void CGradientDlg::StartJob()
{
    BuildPreviewDisc();
    StartPreviewJob(&m_algorithm, &m_params, sizeof m_params);
}

int CGradientDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    SetStartValues(0);
    UpdateControls();
    return 1;
}

void CGradientDlg::OnOK()
{
    FillRecord();
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisGradient", kStepId, SchemeStepRecord(m_params));
}

int CGradientDlg::OnDraw(uint32_t time)
{
    const bool full = AllDirty() != 0;
    const int drawn = CFilterDialog::OnDraw(time);
    if (!full || !drawn || !m_image.data || !m_preview.data)
        return drawn;
    BlendImage8(m_image, m_preview, m_previewRect.left, m_previewRect.top, false, 256);
    InvalidateRect(0, 0, 0, 0, 1);
    return drawn;
}
