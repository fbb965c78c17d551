// Hue curves dialog (see the header).
#include "dialogs/HsbCurveDialog.h"

#include "dialogs/CurveDialog.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/RenderWindow.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr const char16_t* kCurveKeys[3] = {u"dlgHue", u"dlgSat", u"dlgLumin"};

int Luminance(const uint16_t* bgra) { return (3 * bgra[2] + 6 * bgra[1] + bgra[0]) / 10; }

// One pixel of lightness, saturation and hue (the RgbToHsl16 scale) as 8-bit BGRA.
uint32_t HslColour(int lightness, int saturation, int hue)
{
    uint16_t p[4] = {uint16_t(std::clamp(lightness, 0, 65535)), uint16_t(std::clamp(saturation, 0, 65535)),
                     uint16_t(hue & 0xFFFF), 65535};
    HslToRgb16(p, 1);
    uint8_t c[4];
    ConvertPixel16To8(p, c);
    return 0xFF000000u | uint32_t(c[2]) << 16 | uint32_t(c[1]) << 8 | c[0];
}

std::vector<CurvePoint> DefaultPoints()
{
    std::vector<CurvePoint> points;
    for (int i = 0; i < CHSBCurveBox::kPoints; ++i)
        points.push_back(MakeCurvePoint(i < 12 ? i * 65536 / 12 : 65535, 0x8000, kPointVertical));
    return points;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CHSBCurveBox

void CHSBCurveBox::SetPos(int x, int y, int width, int height)
{
    CCurveBox::SetPos(x, y, width, height);
    platform::ScopedLock lock(m_lock);
    m_plot = {7, 7, width - 8, height - 18};
    PlaceMarkers();
    SetAllDirty(1);
}

void CHSBCurveBox::SetHsbCurve(int curve, uint16_t* tables)
{
    platform::ScopedLock lock(m_lock);
    m_hsbCurve = std::clamp(curve, 0, 2);
    m_hsbTables = tables;
    SetAllDirty(1);
}

void CHSBCurveBox::MovePoint(int index, int x, int y)
{
    CCurveBox::MovePoint(index, x, y);
    // The hue axis is a circle: both ends carry one value.
    const int last = int(m_points.size()) - 1;
    if (last <= 0 || (index != 0 && index != last))
        return;
    platform::ScopedLock lock(m_lock);
    if (index == 0)
        m_points[size_t(last)].y = m_points[0].y;
    else
        m_points[0].y = m_points[size_t(last)].y;
    RebuildLookupTable(false);
    SetAllDirty(1);
}

std::array<uint16_t, 4> CHSBCurveBox::PointColour(const CurvePoint& point) const
{
    int l = 0x8000, s = 65535, h = point.x;
    if (m_hsbCurve == 0)
        h = point.x + point.y - 0x8000; // the shifted hue, round the circle
    else if (m_hsbCurve == 1)
        s = point.y;
    else
        l = point.y / 3;
    uint16_t p[4] = {uint16_t(std::clamp(l, 0, 65535)), uint16_t(std::clamp(s, 0, 65535)), uint16_t(h & 0xFFFF), 65535};
    HslToRgb16(p, 1);
    return {p[0], p[1], p[2], p[3]};
}

int CHSBCurveBox::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    const int w = m_image.width, h = m_image.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel(x, y, 0xFF000000u);
    for (int x = 5; x <= w - 6; ++x) {
        SetPixel(x, 5, 0xFFC8C8C8u);
        SetPixel(x, h - 6, 0xFFC8C8C8u);
    }
    for (int y = 5; y <= h - 6; ++y) {
        SetPixel(5, y, 0xFFC8C8C8u);
        SetPixel(w - 6, y, 0xFFC8C8C8u);
    }
    const SRect p = m_plot;
    const int pw = p.right - p.left, ph = p.bottom - p.top;
    if (pw > 0 && ph > 0) {
        for (int x = p.left; x <= p.right; ++x) {
            const uint32_t c = HslColour(20000, 65535, (x - p.left) * 65535 / pw);
            for (int y = p.bottom + 1; y <= p.bottom + 10; ++y)
                SetPixel(x, y, c);
        }
        DrawPen pen;
        for (int d = 1; d <= 11; ++d) {
            const int x = p.left + pw * d / 12;
            MovePenTo8(pen, x, p.top);
            DrawLineTo8(m_image, pen, d % 2 ? 0x464646 : 0x646464, 10, d % 2 != 0, 255, x, p.bottom);
        }
        for (int e = 1; e <= 3; ++e) {
            const int y = p.top + ph * e / 4;
            MovePenTo8(pen, p.left, y);
            DrawLineTo8(m_image, pen, e % 2 ? 0x464646 : 0x646464, 10, e % 2 != 0, 255, p.right, y);
        }
        if (m_hsbTables)
            for (int t = 0; t < 3; ++t)
                if (t != m_hsbCurve)
                    DrawCurve(m_hsbTables + size_t(t) * kTableSize, 0xFF808080u);
        DrawCurve(m_table.data(), 0xFFF0F0F0u);
        for (size_t i = 0; i < m_points.size(); ++i) {
            const SPoint c = PointPosition(m_points[i]);
            const int r = i % 2 == 0 ? 4 : 3;
            const std::array<uint16_t, 4> colour = PointColour(m_points[i]);
            uint8_t fill[4];
            ConvertPixel16To8(colour.data(), fill);
            const uint32_t f = 0xFF000000u | uint32_t(fill[2]) << 16 | uint32_t(fill[1]) << 8 | fill[0];
            for (int y = c.y - r; y <= c.y + r; ++y)
                for (int x = c.x - r; x <= c.x + r; ++x)
                    SetPixel(x, y, x == c.x - r || x == c.x + r || y == c.y - r || y == c.y + r ? 0xFFE6E6E6u : f);
        }
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// CHSBCurveDlg

CHSBCurveDlg::CHSBCurveDlg() = default;

CHSBCurveDlg::~CHSBCurveDlg()
{
    // The job reads this dialog's table copy: it ends before the members go.
    StopJob();
    CHSBCurveDlg::ReleaseResources(1);
    m_menu.Close(0);
    m_menu.ReleaseResources(1);
    FreeImageBuffer(m_pickerIcon);
}

void CHSBCurveDlg::ReleaseResources(int flag)
{
    m_box.SetHsbCurve(m_box.HsbCurve(), nullptr);
    m_box.SetChannelTables(nullptr);
    if (m_boxBuilt) {
        RemoveChild(&m_box);
        m_box.ReleaseResources(flag);
        m_boxBuilt = false;
    }
    if (m_toolsBuilt) {
        RemoveChild(&m_tools);
        m_tools.ReleaseResources(flag);
        m_toolsBuilt = false;
    }
    CFilterDialog::ReleaseResources(flag);
    m_tables.reset();
    m_jobTables.reset();
}

int CHSBCurveDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    CSprite* boxPlace = GetControl(kBoxPlaceId);
    CSprite* panelPlace = GetControl(kPanelPlaceId);
    m_curveButton = dynamic_cast<CSButton*>(GetControl(kCurveButtonId));
    if (!boxPlace || !panelPlace || !m_curveButton)
        return 0;
    const SRect b = boxPlace->Rect();
    if (!m_box.Create(this, nullptr, kBoxId, 2, b.left, b.top, b.right, b.bottom))
        return 0;
    AddChild(&m_box);
    m_boxBuilt = true;
    m_box.SetPos(b.left, b.top, b.Width(), b.Height());
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"curvetool.png", 24, m_toolIcons) &&
        !LoadUiImageStrip(UiImageFolder::Basic, u"curvetool.png", 24, m_toolIcons))
        return 0;
    if (m_toolIcons.size() < 5 || !m_toolIcons[4])
        return 0;
    const SRect p = panelPlace->Rect();
    if (!m_tools.Create(this, nullptr, kToolPanelId, 2, p.left, p.top, p.left + 30, p.top + 30))
        return 0;
    AddChild(&m_tools);
    m_toolsBuilt = true;
    if (!m_tools.AddItem(kToolPicker, 2, u"", u"", m_toolIcons[4], 0, 0, 30, 30))
        return 0;
    if (!m_menu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    m_curveButton->m_dropDownMark = 1;
    m_box.SetBitMode(kCurveEdit16Bit, kCurveEdit16Bit);
    m_savedViewMode = ViewMode();
    m_tables.reset(new (std::nothrow) uint16_t[size_t(3) * kTableSize]);
    m_jobTables.reset(new (std::nothrow) uint16_t[size_t(3) * kTableSize]);
    if (!m_tables || !m_jobTables)
        return 0;
    Reset();
    return 1;
}

std::vector<CurvePoint> CHSBCurveDlg::StoredList(int curve) const
{
    std::vector<CurvePoint> points;
    for (const CurvePoint& p : m_stored[size_t(curve)]) {
        if (p.kind == kPointFixed)
            break;
        points.push_back(p);
    }
    return points;
}

void CHSBCurveDlg::Reset()
{
    if (!m_tables)
        return;
    m_box.SetSmooth(1);
    m_box.SetHistogramSource(nullptr);
    const std::vector<CurvePoint> defaults = DefaultPoints();
    for (auto& s : m_stored) {
        s.fill(CurvePoint{});
        std::copy(defaults.begin(), defaults.end(), s.begin());
    }
    {
        platform::ScopedLock lock(m_box.Lock());
        std::fill(m_tables.get(), m_tables.get() + size_t(3) * kTableSize, uint16_t(0x8000));
    }
    m_box.SetHsbCurve(1, m_tables.get());
    m_box.SetPoints(StoredList(1));
    m_box.RebuildLookupTable(true);
    UpdatePanel();
}

void CHSBCurveDlg::SelectCurve(int channel, bool save)
{
    const int curve = std::clamp(channel - 5, 0, 2);
    if (save) {
        auto& s = m_stored[size_t(m_box.HsbCurve())];
        s.fill(CurvePoint{});
        const auto& points = m_box.Points();
        for (size_t i = 0; i < points.size() && i < s.size(); ++i)
            s[i] = points[i];
    }
    m_box.SetHsbCurve(curve, m_tables.get());
    m_box.SetPoints(StoredList(curve));
    m_box.RebuildLookupTable(true);
}

void CHSBCurveDlg::CopyBoxTableToCurve()
{
    if (!m_tables)
        return;
    platform::ScopedLock lock(m_box.Lock());
    std::memcpy(m_tables.get() + size_t(m_box.HsbCurve()) * kTableSize, m_box.LookupTable(),
                sizeof(uint16_t) * kTableSize);
    m_box.SetAllDirty(1);
}

void CHSBCurveDlg::UpdatePanel()
{
    m_tools.SetItemChecked(kToolPicker, m_pickMode);
    if (m_curveButton)
        m_curveButton->SetText(UiText(kCurveKeys[m_box.HsbCurve()]));
    if (Luminance(m_picked) != 0 && m_toolIcons.size() > 4 && m_toolIcons[4]) {
        // The picker's icon carries a swatch of the picked colour.
        FreeImageBuffer(m_pickerIcon);
        if (CopyImage8(m_pickerIcon, *m_toolIcons[4])) {
            uint8_t c[4];
            ConvertPixel16To8(m_picked, c);
            for (int y = 0; y < 8 && y < m_pickerIcon.height; ++y)
                for (int x = 0; x < 8 && x < m_pickerIcon.width; ++x) {
                    uint8_t* q = m_pickerIcon.data + (size_t(y) * size_t(m_pickerIcon.width) + size_t(x)) * 4;
                    q[0] = c[0];
                    q[1] = c[1];
                    q[2] = c[2];
                    q[3] = 255;
                }
            m_tools.SetItemIcon(kToolPicker, &m_pickerIcon);
        }
    }
    UpdateMarker();
}

void CHSBCurveDlg::UpdateMarker()
{
    int x = -1;
    if (Luminance(m_picked) != 0) {
        // The hue on the RgbToHsl16 scale, the one the tables are indexed by.
        uint16_t hsl[4] = {m_picked[0], m_picked[1], m_picked[2], m_picked[3]};
        RgbToHsl16(hsl, 1);
        const SRect b = m_box.Rect();
        x = b.left + 6 + (b.Width() - 13) * hsl[2] / 65535;
    }
    m_markerX.store(x);
    SetAllDirty(1);
}

void CHSBCurveDlg::ShowCurveMenu()
{
    if (!m_curveButton || !m_window)
        return;
    m_menu.Close(0);
    m_menu.ReleaseResources(0);
    for (int i = 0; i < 3; ++i) {
        m_menu.AddItem(nullptr, kMenuCurveFirst + i, UiText(kCurveKeys[i]), nullptr);
        m_menu.CheckItem(kMenuCurveFirst + i, i == m_box.HsbCurve());
    }
    const SRect b = m_curveButton->LocalToWindowRect({0, 0, m_curveButton->Width(), m_curveButton->Height()});
    m_menu.Track(this, b.left, b.bottom, true, true);
}

int CHSBCurveDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        const intptr_t p1 = message->param1;
        switch (message->code) {
        case MSG_COMMAND:
            if (p1 == kCurveButtonId) {
                ShowCurveMenu();
            } else if (p1 == kResetId) {
                Reset();
                RestartPreview();
            }
            break;
        case MSG_MENU_COMMAND:
            if (p1 >= kMenuCurveFirst && p1 < kMenuCurveFirst + 3) {
                SelectCurve(int(p1 - 200), true);
                UpdatePanel();
            }
            break;
        case MSG_PANEL_CLICK:
            if (p1 == kToolPicker && message->sender == &m_tools) {
                SetPickMode(!m_pickMode);
                UpdatePanel();
            }
            break;
        case MSG_VIEW_CHANGED:
            if (p1 == CSPicView::kViewClicked && m_pickMode) {
                SetPickMode(false);
                const int x = int(message->param2 & 0xFFFF), y = int((message->param2 >> 16) & 0xFFFF);
                const std::array<uint16_t, 4> c = SampleDiscAverage(BackupImage(), kPickRadius, x, y);
                std::copy(c.begin(), c.end(), m_picked);
                UpdatePanel();
            }
            break;
        case MSG_CURVE_CHANGED:
            if (message->sender == &m_box) {
                CopyBoxTableToCurve();
                RestartPreview();
            }
            break;
        default: break;
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CHSBCurveDlg::StartJob()
{
    if (!m_tables || !m_jobTables)
        return;
    UpdateData(1);
    // The job gets its own copy: the dialog's tables may change while it runs.
    {
        platform::ScopedLock lock(m_box.Lock());
        std::memcpy(m_jobTables.get(), m_tables.get(), sizeof(uint16_t) * 3 * kTableSize);
    }
    StartPreviewJob(&m_algorithm, m_jobTables.get(), 0);
}

int CHSBCurveDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    Reset();
    return 1;
}

void CHSBCurveDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1 || !m_tables)
        return;
    RecordHistoryStep(u"hisHSBCurve", kStepId, SchemeStepRecord(MakeHsbCurveStep(m_tables.get())));
}

int CHSBCurveDlg::OnDraw(uint32_t time)
{
    const bool full = AllDirty() != 0;
    const int drawn = CFilterDialog::OnDraw(time);
    const int x = m_markerX.load();
    if (!full || !drawn || x < 0 || !m_image.data)
        return drawn;
    // Where the picked colour's hue lies, led to the picker's button.
    const SRect b = m_box.Rect();
    const SRect p = m_tools.Rect();
    const ImageList8* icons = SharedIconFrames();
    if (icons && icons->size() > 12 && (*icons)[12])
        BlendImage8(m_image, *(*icons)[12], x - 6, b.bottom + 1, true, 256);
    const int middle = std::max(b.bottom + 13, (b.bottom + p.top) / 2);
    const int button = p.left + 8;
    auto pixel = [&](int px, int py) {
        if (px < 0 || py < 0 || px >= m_image.width || py >= m_image.height)
            return;
        uint8_t* q = m_image.data + (size_t(py) * size_t(m_image.width) + size_t(px)) * 4;
        q[0] = q[1] = q[2] = 0xE6;
        q[3] = 255;
    };
    for (int y = b.bottom + 13; y <= middle; ++y)
        pixel(x, y);
    for (int xx = std::min(x, button); xx <= std::max(x, button); ++xx)
        pixel(xx, middle);
    for (int y = middle; y < p.top; ++y)
        pixel(button, y);
    InvalidateRect(0, 0, 0, 0, 1);
    return drawn;
}
