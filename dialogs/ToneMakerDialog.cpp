// Tone dialog (see the header).
#include "dialogs/ToneMakerDialog.h"

#include "dialogs/DialogSupport.h"
#include "dialogs/SliderDialogSupport.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/ColorPicker.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char16_t* kToneKeys[3] = {u"dlgShadow", u"dlgMid", u"dlgHigh"};

} // namespace

// ---------------------------------------------------------------------------------------------
// CTonePanel

int CTonePanel::OnDraw(uint32_t time)
{
    platform::ScopedLock lock(m_lock);
    const int drawn = CPanelSprite::OnDraw(time);
    if (!drawn || !m_strip.data || !m_image.data)
        return drawn;
    BlendImage8(m_image, m_strip, m_stripRect.left, m_stripRect.top, false, 256);
    return drawn;
}

void CTonePanel::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_strip);
    }
    CPanelSprite::ReleaseResources(flag);
}

void CTonePanel::SetStrip(ImageBuffer8& strip, const SRect& where)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_strip);
        m_strip = strip;
        m_stripRect = where;
    }
    strip = ImageBuffer8{};
    SetAllDirty(1);
}

ImageBuffer8 CTonePanel::StripCopy() const
{
    platform::ScopedLock lock(m_lock);
    ImageBuffer8 copy{};
    if (m_strip.data && AllocImage8(copy, m_strip.width, m_strip.height))
        std::memcpy(copy.data, m_strip.data, m_strip.byteSize);
    return copy;
}

SRect CTonePanel::StripRect() const
{
    platform::ScopedLock lock(m_lock);
    return m_stripRect;
}

// ---------------------------------------------------------------------------------------------
// CToneMakerDlg

CToneMakerDlg::CToneMakerDlg() : m_pickColour(&PickColor) {}

CToneMakerDlg::~CToneMakerDlg()
{
    StopJob();
    CToneMakerDlg::ReleaseResources(1);
    for (ImageBuffer8& s : m_swatches)
        FreeImageBuffer(s);
}

void CToneMakerDlg::ReleaseResources(int flag)
{
    // Member sprites leave the child list before they go.
    if (m_panelBuilt) {
        RemoveChild(&m_panel);
        m_panel.ReleaseResources(flag);
        m_panelBuilt = false;
    }
    if (m_barBuilt) {
        RemoveChild(&m_bar);
        m_bar.ReleaseResources(flag);
        m_barBuilt = false;
    }
    CFilterDialog::ReleaseResources(flag);
}

bool CToneMakerDlg::BuildStrip(const uint16_t colours[3][4], int width, int height, ImageBuffer8& out)
{
    if (width <= 0 || height <= 0)
        return false;
    CToneMaker maker;
    ToneMakerParams p;
    std::copy(colours[0], colours[0] + 4, p.shadow);
    std::copy(colours[1], colours[1] + 4, p.midtone);
    std::copy(colours[2], colours[2] + 4, p.highlight);
    if (!maker.BuildTables(p))
        return false;
    if (!AllocImage8(out, width, height))
        return false;
    // Column x shows grey level x * 255 / (width - 1) after the tint.
    const int span = std::max(1, width - 1);
    for (int x = 0; x < width; ++x) {
        const uint16_t g = SrgbDecodeTable[x * 255 / span];
        const uint8_t px[4] = {SrgbEncodeTable[maker.Table(2)[g]], SrgbEncodeTable[maker.Table(1)[g]],
                               SrgbEncodeTable[maker.Table(0)[g]], 255};
        for (int y = 0; y < height; ++y)
            std::memcpy(out.data + (size_t(y) * size_t(width) + size_t(x)) * 4, px, 4);
    }
    return true;
}

void CToneMakerDlg::RebuildStrip()
{
    const int w = m_panel.Width(), h = m_panel.Height();
    const SRect r{1, 1, w - 1, h - 51};
    ImageBuffer8 strip{};
    // Tables that cannot be built: no strip is drawn.
    if (!BuildStrip(m_colours, r.Width(), r.Height(), strip))
        FreeImageBuffer(strip);
    m_panel.SetStrip(strip, r);
}

int CToneMakerDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    CSprite* panelPlace = GetControl(kPanelPlaceId);
    CSprite* barPlace = GetControl(kBarPlaceId);
    if (!panelPlace || !barPlace)
        return 0;
    const SRect p = panelPlace->Rect();
    if (!m_panel.Create(this, nullptr, kPanelId, 2, p.left, p.top, p.right, p.bottom))
        return 0;
    AddChild(&m_panel);
    m_panelBuilt = true;
    const int w = p.Width(), h = p.Height();
    for (int i = 0; i < 3; ++i) {
        const int left = i * w / 3 + (i > 0 ? 1 : 0);
        const int right = (i + 1) * w / 3 - (i < 2 ? 1 : 0);
        if (!m_panel.AddItem(kToneButtonFirst + i, 1, UiText(kToneKeys[i]), u"", nullptr, left, h - 49, right, h))
            return 0;
    }
    const SliderSetup sliders[] = {
        {kOpacityId, 0, 100, 100, 1, nullptr},
        {kAmountId, 0, 100, 20, 1, nullptr},
    };
    if (!SetUpSliders(*this, sliders, std::size(sliders)))
        return 0;
    const SRect b = barPlace->Rect();
    if (!m_bar.Create(this, nullptr, kBarId, 2, b.left, b.top, b.right, b.bottom))
        return 0;
    AddChild(&m_bar);
    m_barBuilt = true;
    m_bar.SetShares(31, 60, 9);
    std::memcpy(m_colours, kDefaultColours, sizeof m_colours);
    UpdateSwatches();
    RestartPreview();
    return 1;
}

void CToneMakerDlg::UpdateSwatches()
{
    for (int i = 0; i < 3; ++i) {
        ImageBuffer8& s = m_swatches[i];
        if (!s.data && !AllocImage8(s, 40, 10))
            continue;
        uint8_t px[4];
        ConvertPixel16To8(m_colours[i], px);
        px[3] = 255;
        for (uint32_t k = 0; k < s.pixelCount; ++k)
            std::memcpy(s.data + size_t(k) * 4, px, 4);
        m_panel.SetItemIcon(kToneButtonFirst + i, &s);
    }
    RebuildStrip();
}

void CToneMakerDlg::PickToneColour(int index)
{
    if (index < 0 || index > 2)
        return;
    uint16_t colour[4];
    std::copy(m_colours[index], m_colours[index] + 4, colour);
    // Cancel leaves the colour as it was.
    if (m_pickColour && m_pickColour(colour))
        std::copy(colour, colour + 4, m_colours[index]);
    UpdateSwatches();
    UpdateData(1);
    RestartPreview();
}

int CToneMakerDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        if (message->code == MSG_COMMAND && message->param1 == kHelpId) {
            DialogMessage(u"refColorTip", kMbInformation, kMbOk);
        } else if (message->code == MSG_SLIDER_CHANGED) {
            RestartPreview();
        } else if (message->code == MSG_PANEL_CLICK && message->param1 >= kToneButtonFirst &&
                   message->param1 < kToneButtonFirst + 3) {
            PickToneColour(int(message->param1 - kToneButtonFirst));
        } else if (message->code == MSG_BLENDER_CHANGED) {
            UpdateData(1);
            RestartPreview();
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CToneMakerDlg::FillRecord()
{
    UpdateData(1);
    const BlenderShares s = CRGBBlender::Normalise(m_bar.Shares(), m_bar.Defaults());
    m_params.size = sizeof(ToneMakerParams);
    m_params.redWeight = s.first;
    m_params.greenWeight = s.middle;
    m_params.blueWeight = s.last;
    m_params.desaturation = SliderValue(*this, kOpacityId);
    m_params.toning = SliderValue(*this, kAmountId);
    std::copy(m_colours[0], m_colours[0] + 4, m_params.shadow);
    std::copy(m_colours[1], m_colours[1] + 4, m_params.midtone);
    std::copy(m_colours[2], m_colours[2] + 4, m_params.highlight);
}

void CToneMakerDlg::StartJob()
{
    FillRecord();
    StartPreviewJob(&m_algorithm, &m_params, sizeof m_params);
}

void CToneMakerDlg::OnOK()
{
    FillRecord();
    CFilterDialog::OnOK();
    if (Result() != 1)
        return;
    RecordHistoryStep(u"hisToneMaker", kStepId, SchemeStepRecord(m_params));
}
