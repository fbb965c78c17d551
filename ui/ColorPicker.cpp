// Colour picker: template 144 in code, wheel and bar drawn per pixel, swatches drawn by the
// dialog itself and hit-tested there.
#include "ui/ColorPicker.h"

#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/ToolkitControls.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const uint16_t CColorPickerDlg::kSwatches[16][3] = {
    {65535, 65535, 65535}, {0, 0, 0}, {65535, 0, 0}, {0, 65535, 0}, {0, 0, 65535}, {0, 65535, 65535},
    {65535, 0, 65535}, {65535, 65535, 0}, {32767, 32767, 32767}, {16384, 16384, 16384}, {65535, 32767, 32767},
    {32767, 65535, 32767}, {32767, 32767, 65535}, {32767, 65535, 65535}, {65535, 32767, 65535},
    {65535, 65535, 32767}};

namespace {

void ToBgra8(const uint16_t* colour, uint8_t* out)
{
    uint16_t c[4] = {colour[0], colour[1], colour[2], 65535};
    ConvertPixel16To8(c, out);
}

void HslColour(uint16_t h, uint16_t s, uint16_t l, uint8_t* out)
{
    uint16_t p[4] = {l, s, h, 65535};
    HslToRgb16(p, 1);
    ToBgra8(p, out);
}

} // namespace

CColorPickerDlg::CColorPickerDlg(const uint16_t colour[4])
{
    std::copy(colour, colour + 4, m_colour);
}

int CColorPickerDlg::Create()
{
    DialogLayout layout;
    if (!LayoutDialogTemplate(CodeDialogTemplate(165, 201, u"colorpicker",
                                                 {{u"Button", u"OK", 1, 46, 175, 50, 14},
                                                  {u"Button", u"Cancel", 2, 100, 175, 58, 14},
                                                  {u"Static", u"", kSeparatorId, 6, 150, 152, 1}}),
                              96.0, layout))
        return 0;
    return CreateFromRecords(kTemplateId, std::move(layout.records), u"colorpicker", layout.clientWidth,
                             layout.clientHeight, 0, 0, 0, 0);
}

int CColorPickerDlg::OnInitDialog()
{
    const int w = Width();
    CSprite* separator = GetControl(kSeparatorId);
    const int s = separator ? separator->Rect().top : Height() - 60;
    m_cx = (w - 40) / 2;
    m_cy = s / 2 - 10;
    m_radius = std::max(1, m_cx - 20);
    m_bar = {w - 40, 40, w - 20, s - 20};
    m_patch = {10, s + 8, 40, s + 38};
    m_swatchArea = {m_cx - 64, s - 40, m_cx + 64, s - 8};
    UpdateHsl();
    SetAllDirty(1);
    return 1;
}

SRect CColorPickerDlg::SwatchRect(int index) const
{
    const int col = index % 8, row = index / 8;
    const int x = m_swatchArea.left + 16 * col, y = m_swatchArea.top + 16 * row;
    return {x + 2, y + 2, x + 14, y + 14};
}

void CColorPickerDlg::UpdateHsl()
{
    std::copy(m_colour, m_colour + 4, m_hsl);
    RgbToHsl16(m_hsl, 1);
}

void CColorPickerDlg::UpdateFromHsl()
{
    uint16_t p[4] = {m_hsl[0], m_hsl[1], m_hsl[2], m_colour[3]};
    HslToRgb16(p, 1);
    std::copy(p, p + 3, m_colour);
    SetAllDirty(1);
}

void CColorPickerDlg::ChooseSwatch(int index)
{
    if (index < 0 || index >= 16)
        return;
    m_colour[0] = kSwatches[index][2];
    m_colour[1] = kSwatches[index][1];
    m_colour[2] = kSwatches[index][0];
    m_colour[3] = 65535;
    UpdateHsl();
    SetAllDirty(1);
}

bool CColorPickerDlg::WheelPointToHS(int x, int y, bool clamp, uint16_t& hue, uint16_t& saturation) const
{
    const double dx = x - m_cx, dy = m_cy - y;
    double d = std::sqrt(dx * dx + dy * dy);
    const double r = m_radius;
    if (!clamp && d > r)
        return false;
    if (clamp) {
        if (d > r + 5)
            return false;
        d = std::min(d, r);
    }
    saturation = uint16_t(std::min(65535.0, d / r * 65535));
    double angle;
    if (dx == 0)
        angle = dy > 0 ? 1.570796325 : -1.570796325;
    else
        angle = std::atan(dy / dx) + (dx < 0 ? 3.14159265 : 0);
    hue = uint16_t((65536 + int64_t(angle * 65535 / 6.2831853)) % 65536);
    return true;
}

int CColorPickerDlg::OnDraw(uint32_t time)
{
    const int drew = CDialogSprite::OnDraw(time);
    if (!AllDirty())
        return drew;
    platform::ScopedLock lock(m_lock);
    ImageBuffer8& img = m_image;
    if (!img.data || m_radius <= 0)
        return drew;
    auto pixel = [&](int x, int y) -> uint8_t* {
        if (x < 0 || y < 0 || x >= img.width || y >= img.height)
            return nullptr;
        return img.data + (size_t(y) * img.width + x) * 4;
    };
    int markerX = m_cx, markerY = m_cy;
    double best = 1000000;
    const double r = m_radius;
    for (int y = m_cy - m_radius; y < m_cy + m_radius; ++y)
        for (int x = m_cx - m_radius; x < m_cx + m_radius; ++x) {
            uint8_t* p = pixel(x, y);
            if (!p)
                continue;
            const double d = std::hypot(double(x - m_cx), double(m_cy - y));
            const int coverage = d < r - 1 ? 255 : d < r ? int((r - d) * 255) : 0;
            if (coverage <= 0)
                continue;
            uint8_t c[4] = {0, 0, 0, 255};
            uint16_t hue = 0, sat = 0;
            if (WheelPointToHS(x, y, false, hue, sat)) {
                HslColour(hue, sat, 32768, c);
                const double distance = std::abs(int(hue) - int(m_hsl[2])) + std::abs(int(sat) - int(m_hsl[1]));
                if (distance < best) {
                    best = distance;
                    markerX = x;
                    markerY = y;
                }
            }
            for (int k = 0; k < 3; ++k)
                p[k] = uint8_t(p[k] + coverage * (c[k] - p[k]) / 255);
            p[3] = 255;
        }
    DrawRectOutline8(img, 0xE6E6E6, 255, m_bar.left, m_bar.top, m_bar.right, m_bar.bottom);
    int barMarker = m_bar.top + 1;
    double barBest = 1000000;
    const int span = m_bar.bottom - m_bar.top - 2;
    for (int y = m_bar.top + 1; y <= m_bar.bottom - 2 && span > 0; ++y) {
        const uint16_t l = uint16_t(int64_t(y - m_bar.top - 1) * 65535 / span);
        uint8_t c[4];
        HslColour(m_hsl[2], m_hsl[1], l, c);
        for (int x = m_bar.left + 1; x <= m_bar.right - 2; ++x)
            if (uint8_t* p = pixel(x, y)) {
                std::memcpy(p, c, 3);
                p[3] = 255;
            }
        if (std::abs(int(l) - int(m_hsl[0])) < barBest) {
            barBest = std::abs(int(l) - int(m_hsl[0]));
            barMarker = y;
        }
    }
    DrawRectOutline8(img, 0xE6E6E6, 255, m_patch.left - 1, m_patch.top - 1, m_patch.right + 1, m_patch.bottom + 1);
    uint8_t patch[4];
    ToBgra8(m_colour, patch);
    for (int y = m_patch.top; y < m_patch.bottom; ++y)
        for (int x = m_patch.left; x < m_patch.right; ++x)
            if (uint8_t* p = pixel(x, y)) {
                std::memcpy(p, patch, 3);
                p[3] = 255;
            }
    for (int i = 0; i < 16; ++i) {
        const SRect s = SwatchRect(i);
        const uint16_t c16[4] = {kSwatches[i][2], kSwatches[i][1], kSwatches[i][0], 65535};
        uint8_t c[4];
        ToBgra8(c16, c);
        DrawRectOutline8(img, 0xE6E6E6, 255, s.left, s.top, s.right, s.bottom);
        for (int y = s.top + 1; y < s.bottom - 1; ++y)
            for (int x = s.left + 1; x < s.right - 1; ++x)
                if (uint8_t* p = pixel(x, y)) {
                    std::memcpy(p, c, 3);
                    p[3] = 255;
                }
    }
    if (const ImageList8* frames = SharedIconFrames(); frames && frames->items.size() > 11 && frames->items[11]) {
        BlendImage8(img, *frames->items[11], markerX - 5, markerY - 5, false, 256);
        BlendImage8(img, *frames->items[11], (m_bar.left + m_bar.right) / 2 - 5, barMarker - 5, false, 256);
    }
    return drew;
}

void CColorPickerDlg::OnLButtonDown(int x, int y, uint32_t flags)
{
    uint16_t hue = 0, sat = 0;
    if (WheelPointToHS(x, y, true, hue, sat)) {
        m_hsl[2] = hue;
        m_hsl[1] = sat;
        m_hsl[0] = 32768;
    } else if (x >= m_bar.left - 5 && x < m_bar.right + 5 && y >= m_bar.top - 5 && y < m_bar.bottom + 5) {
        const int span = std::max(1, m_bar.bottom - m_bar.top - 2);
        m_hsl[0] = uint16_t(std::clamp<int64_t>(int64_t(y - m_bar.top - 1) * 65535 / span, 0, 65535));
    } else {
        for (int i = 0; i < 16; ++i) {
            const SRect s = SwatchRect(i);
            if (x >= s.left && x < s.right && y >= s.top && y < s.bottom) {
                ChooseSwatch(i);
                return;
            }
        }
        CDialogSprite::OnLButtonDown(x, y, flags);
        return;
    }
    UpdateFromHsl();
}

int CColorPickerDlg::OnSpriteMessage(SpriteMessage* message)
{
    return CDialogSprite::OnSpriteMessage(message);
}

int PickColor(uint16_t colour[4])
{
    CColorPickerDlg dialog(colour);
    if (!dialog.Create())
        return 0;
    if (dialog.DoModal() != 1)
        return 0;
    std::copy(dialog.Colour(), dialog.Colour() + 3, colour);
    colour[3] = 65535;
    return 1;
}
