// Tone-curve dialog (see the header).
#include "dialogs/CurveDialog.h"

#include "algorithms/ToneLut.h"
#include "dialogs/DialogSupport.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr const char16_t* kChannelKeys[CCurveDlg::kChannels] = {u"channelRGB", u"channelR", u"channelG",
                                                                 u"channelB", u"channelY"};
// Histogram colours by channel (BGRA as 0xAARRGGBB).
constexpr uint32_t kHistogramColours[CCurveDlg::kChannels] = {0xFF404040u, 0xFF500000u, 0xFF005000u, 0xFF000050u,
                                                               0xFF404040u};

struct ToolItem {
    int32_t id;
    int icon;
    int left;
    uint8_t kind;
    const char16_t* tipKey;
};
constexpr ToolItem kTools[] = {
    {CCurveDlg::kTool8Bit, 0, 0, 2, u"8bitTip"},       {CCurveDlg::kTool16Bit, 1, 30, 2, u"16bitTip"},
    {CCurveDlg::kToolStraight, 2, 70, 2, nullptr},     {CCurveDlg::kToolSmooth, 3, 100, 2, nullptr},
    {CCurveDlg::kToolAutoLevels, 5, 140, 1, u"Autocurve"}, {CCurveDlg::kToolEqualise, 6, 170, 1, u"Adaptivecurve"},
    {CCurveDlg::kToolPicker, 4, 210, 2, nullptr},
};
constexpr int kPickerItemCentre = 225;

int Luminance(const uint16_t* bgra) { return (3 * bgra[2] + 6 * bgra[1] + bgra[0]) / 10; }

void IdentityTable(uint16_t* table)
{
    for (int i = 0; i < kToneLutSize; ++i)
        table[i] = uint16_t(i);
}

} // namespace

std::array<uint16_t, 4> SampleDiscAverage(const ImageBuffer16& picture, int radius, int x, int y)
{
    std::array<uint16_t, 4> out{};
    if (!picture.data || radius <= 0)
        return out;
    uint64_t sum[4] = {};
    uint64_t count = 0;
    for (int row = y - radius; row < y + radius; ++row) {
        if (row < 0 || row >= picture.height)
            continue;
        for (int col = x - radius; col < x + radius; ++col) {
            if (col < 0 || col >= picture.width)
                continue;
            const int dx = col - x, dy = row - y;
            if (dx * dx + dy * dy >= radius * radius)
                continue;
            const uint16_t* p = picture.data + (size_t(row) * size_t(picture.width) + size_t(col)) * 4;
            if (p[3] == 0)
                continue;
            for (int c = 0; c < 4; ++c)
                sum[c] += p[c];
            ++count;
        }
    }
    if (count == 0)
        return out;
    for (int c = 0; c < 4; ++c)
        out[size_t(c)] = uint16_t(sum[c] / count);
    if (out[3] == 0)
        out = {};
    return out;
}

CCurveDlg::CCurveDlg() = default;

CCurveDlg::~CCurveDlg()
{
    // The job reads this dialog's table copy: it ends before the members go, and the box and the
    // panel leave the child list before they do.
    StopJob();
    CCurveDlg::ReleaseResources(1);
    m_channelMenu.Close(0);
    m_channelMenu.ReleaseResources(1);
    FreeImageBuffer(m_pickerIcon);
}

void CCurveDlg::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_box.Lock());
        m_box.SetChannelTables(nullptr);
    }
    m_tables.reset();
    CFilterDialog::ReleaseResources(flag);
}

std::array<uint16_t, 4> CCurveDlg::PickedColour() const
{
    return {m_picked[0], m_picked[1], m_picked[2], m_picked[3]};
}

int CCurveDlg::OnInitDialog()
{
    if (!CFilterDialog::OnInitDialog())
        return 0;
    CSprite* boxPlace = GetControl(kBoxPlaceId);
    CSprite* panelPlace = GetControl(kPanelPlaceId);
    m_channelButton = dynamic_cast<CSButton*>(GetControl(kChannelButtonId));
    if (!boxPlace || !panelPlace || !m_channelButton)
        return 0;
    // The box: the placement made square, at its bottom.
    SRect b = boxPlace->Rect();
    b.top = b.bottom - b.Width();
    if (!m_box.Create(this, nullptr, kBoxId, 2, b.left, b.top, b.right, b.bottom))
        return 0;
    AddChild(&m_box);
    m_boxBuilt = true;
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"curvetool.png", 24, m_toolIcons) &&
        !LoadUiImageStrip(UiImageFolder::Basic, u"curvetool.png", 24, m_toolIcons))
        return 0;
    if (m_toolIcons.size() < 7)
        return 0;
    const SRect p = panelPlace->Rect();
    if (!m_tools.Create(this, nullptr, kToolPanelId, 2, p.left, p.top, p.left + 240, p.top + 30))
        return 0;
    AddChild(&m_tools);
    m_toolsBuilt = true;
    for (const ToolItem& t : kTools)
        if (!m_tools.AddItem(t.id, t.kind, u"", t.tipKey ? UiText(t.tipKey) : u"", m_toolIcons[size_t(t.icon)],
                             t.left, 0, t.left + 30, 30))
            return 0;
    if (!m_channelMenu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_channelMenu.SetVisible(0);
    m_channelButton->m_dropDownMark = 1;
    m_box.SetBitMode(kCurveEdit8Bit, kCurveEdit8Bit);
    m_savedViewMode = ViewMode();
    m_tables.reset(new (std::nothrow) uint16_t[size_t(kChannels) * kToneLutSize]);
    m_jobTables.reset(new (std::nothrow) uint16_t[size_t(3) * kToneLutSize]);
    if (!m_tables || !m_jobTables)
        return 0;
    Reset();
    RestartPreview();
    return 1;
}

void CCurveDlg::StoreDefaultPoints(int channel)
{
    auto& s = m_stored[size_t(channel)];
    s.fill(CurvePoint{});
    s[0] = MakeCurvePoint(0, 0, kPointEnd);
    s[1] = MakeCurvePoint(65535, 65535, kPointEnd);
}

std::vector<CurvePoint> CCurveDlg::StoredList(int channel) const
{
    std::vector<CurvePoint> points;
    for (const CurvePoint& p : m_stored[size_t(channel)]) {
        if (p.kind == kPointFixed)
            break;
        points.push_back(p);
    }
    return points;
}

void CCurveDlg::Reset()
{
    if (!m_tables)
        return;
    m_box.SetSmooth(1);
    m_box.SetHistogramSource(&BackupImage());
    m_box.ComputeHistogram();
    for (int c = 0; c < kChannels; ++c)
        StoreDefaultPoints(c);
    {
        platform::ScopedLock lock(m_box.Lock());
        for (int c = 0; c < kChannels; ++c)
            IdentityTable(m_tables.get() + size_t(c) * kToneLutSize);
    }
    m_box.SetChannelTables(m_tables.get());
    m_box.SetChannel(0);
    m_box.SetPoints(StoredList(0));
    m_box.SetHistogramColour(CCurveBox::kDefaultHistogramColour);
    m_box.RebuildLookupTable(true);
    UpdatePanel();
}

void CCurveDlg::SelectChannel(int channel, bool save)
{
    channel = std::clamp(channel, 0, kChannels - 1);
    if (save) {
        auto& s = m_stored[size_t(m_box.Channel())];
        s.fill(CurvePoint{});
        const auto& points = m_box.Points();
        for (size_t i = 0; i < points.size() && i < s.size(); ++i)
            s[i] = points[i];
    }
    m_box.SetChannel(channel);
    m_box.SetPoints(StoredList(channel));
    m_box.SetHistogramColour(kHistogramColours[channel]);
    m_box.RebuildLookupTable(true);
    UpdateMarker();
}

void CCurveDlg::CopyBoxTableToChannel()
{
    if (!m_tables)
        return;
    platform::ScopedLock lock(m_box.Lock());
    std::memcpy(m_tables.get() + size_t(m_box.Channel()) * kToneLutSize, m_box.LookupTable(),
                sizeof(uint16_t) * kToneLutSize);
    m_box.SetAllDirty(1);
}

void CCurveDlg::UpdatePanel()
{
    m_tools.SetItemChecked(kTool8Bit, m_box.BitMode() == kCurveEdit8Bit);
    m_tools.SetItemChecked(kTool16Bit, m_box.BitMode() == kCurveEdit16Bit);
    m_tools.SetItemChecked(kToolStraight, !m_box.Smooth());
    m_tools.SetItemChecked(kToolSmooth, m_box.Smooth());
    m_tools.SetItemChecked(kToolPicker, m_pickMode);
    if (m_channelButton)
        m_channelButton->SetText(UiText(kChannelKeys[m_box.Channel()]));
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

void CCurveDlg::UpdateMarker()
{
    int x = -1;
    const int lum = Luminance(m_picked);
    if (lum != 0) {
        const int channel = m_box.Channel();
        const int v = channel == 1 ? m_picked[2] : channel == 2 ? m_picked[1] : channel == 3 ? m_picked[0] : lum;
        const SRect b = m_box.Rect();
        const int span = b.Width() - 20;
        x = m_box.BitMode() == kCurveEdit8Bit ? b.left + 12 + SrgbEncodeTable[v] * span / 255
                                              : b.left + 12 + int(int64_t(v) * span / 65535);
    }
    if (m_markerX.exchange(x) != x)
        SetAllDirty(1);
}

int CCurveDlg::OnDraw(uint32_t time)
{
    const bool full = AllDirty() != 0;
    const int drawn = CFilterDialog::OnDraw(time);
    const int x = m_markerX.load();
    if (!full || !drawn || x < 0 || !m_image.data)
        return drawn;
    // Where the picked colour lies on the input axis, led to the picker's button.
    const SRect b = m_box.Rect();
    const SRect p = m_tools.Rect();
    const ImageList8* icons = SharedIconFrames();
    if (icons && icons->size() > 12 && (*icons)[12])
        BlendImage8(m_image, *(*icons)[12], x - 6, b.bottom + 1, true, 256);
    const int middle = std::max(b.bottom + 13, (b.bottom + p.top) / 2);
    const int button = p.left + kPickerItemCentre;
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

void CCurveDlg::ShowChannelMenu()
{
    if (!m_channelButton || !m_window)
        return;
    m_channelMenu.Close(0);
    m_channelMenu.ReleaseResources(0);
    for (int i = 0; i < kChannels; ++i) {
        m_channelMenu.AddItem(nullptr, kMenuChannelFirst + i, UiText(kChannelKeys[i]), nullptr);
        m_channelMenu.CheckItem(kMenuChannelFirst + i, i == m_box.Channel());
    }
    const SRect b = m_channelButton->LocalToWindowRect({0, 0, m_channelButton->Width(), m_channelButton->Height()});
    m_channelMenu.Track(this, b.left, b.bottom, true, true);
}

void CCurveDlg::AutoCurveFor(int channel, int levels)
{
    const ImageBuffer16& source = BackupImage();
    std::vector<uint32_t> bins(kToneLutSize, 0);
    uint64_t samples = 0;
    if (source.data) {
        const size_t count = size_t(source.width) * size_t(source.height);
        const uint16_t* p = source.data;
        for (size_t i = 0; i < count; ++i, p += 4) {
            switch (channel) {
            case 0:
                ++bins[p[0]];
                ++bins[p[1]];
                ++bins[p[2]];
                samples += 3;
                break;
            case 1: ++bins[p[2]], ++samples; break;
            case 2: ++bins[p[1]], ++samples; break;
            case 3: ++bins[p[0]], ++samples; break;
            default: ++bins[size_t(Luminance(p))], ++samples; break;
            }
        }
    }
    uint16_t* table = m_tables.get() + size_t(channel) * kToneLutSize;
    int black = 0, white = 65535;
    platform::ScopedLock lock(m_box.Lock());
    if (levels) {
        const uint64_t clip = samples / 300;
        if (clip > 0) {
            uint64_t sum = 0;
            while (black < 4000) {
                sum += bins[size_t(black)];
                if (sum > clip)
                    break;
                ++black;
                if (sum == clip)
                    break;
            }
            sum = 0;
            while (white > 40000) {
                sum += bins[size_t(white)];
                if (sum > clip)
                    break;
                --white;
                if (sum == clip)
                    break;
            }
        }
        BuildToneLut(table, m_box.BitMode() == kCurveEdit16Bit ? 0x105 : 0x106, black, white);
    } else {
        // Equalising: 64 buckets, each lifted by the same share so that empty ranges keep some
        // slope; sums in 64 bits (three samples a pixel overflow 32 bits on large photos).
        const uint64_t lift = 15 * samples / 640;
        const uint64_t total = samples + 64 * lift;
        int64_t base = 0;
        for (int k = 0; k < 64; ++k) {
            uint64_t bucket = lift;
            for (int v = 0; v < 1024; ++v)
                bucket += bins[size_t(k * 1024 + v)];
            const int64_t slope = total ? int64_t(bucket * 65535 / total) : 1024;
            for (int v = 0; v < 1024; ++v)
                table[k * 1024 + v] = uint16_t(std::clamp<int64_t>(base + slope * v / 1024, 0, 65535));
            base += slope;
        }
    }
    auto& s = m_stored[size_t(channel)];
    s.fill(CurvePoint{});
    s[0] = MakeCurvePoint(black, 0, kPointEnd);
    s[1] = MakeCurvePoint(white, 65535, kPointEnd);
}

void CCurveDlg::AutoCurve(int levels)
{
    if (!m_tables)
        return;
    const int shown = m_box.Channel();
    if (shown >= 1 && shown <= 3)
        for (int other = 1; other <= 3; ++other)
            if (other != shown)
                AutoCurveFor(other, levels);
    AutoCurveFor(shown, levels);
    m_box.SetPoints(StoredList(shown));
    m_box.SetLookupTable(ChannelTable(shown));
    UpdateData(1);
    RestartPreview();
}

int CCurveDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && m_tables) {
        const intptr_t p1 = message->param1;
        switch (message->code) {
        case MSG_COMMAND:
            if (p1 == kChannelButtonId) {
                ShowChannelMenu();
            } else if (p1 == kResetId) {
                Reset();
                RestartPreview();
            }
            break;
        case MSG_MENU_COMMAND:
            if (p1 >= kMenuChannelFirst && p1 < kMenuChannelFirst + kChannels) {
                const int channel = int(p1 - kMenuChannelFirst);
                const bool changed = channel != m_box.Channel();
                SelectChannel(channel, true);
                UpdatePanel();
                // The preview applies the shown channel's mode, as the OK step records it.
                if (changed)
                    RestartPreview();
            }
            break;
        case MSG_PANEL_CLICK:
            if (message->sender != &m_tools)
                break;
            switch (p1) {
            case kTool8Bit:
            case kTool16Bit:
                // Asked even when the mode stays: Yes discards every curve.
                if (DialogMessage(u"bitmodeChangeWarning", kMbQuestion, kMbYesNo) == 6) {
                    const int mode = p1 == kTool8Bit ? kCurveEdit8Bit : kCurveEdit16Bit;
                    Reset();
                    m_box.SetBitMode(mode, mode);
                    RestartPreview();
                }
                UpdatePanel();
                break;
            case kToolStraight:
            case kToolSmooth:
                m_box.SetSmooth(p1 == kToolSmooth);
                m_box.RebuildLookupTable(true);
                CopyBoxTableToChannel();
                RestartPreview();
                UpdatePanel();
                break;
            case kToolPicker:
                SetPickMode(!m_pickMode);
                UpdatePanel();
                break;
            case kToolAutoLevels:
            case kToolEqualise:
                AutoCurve(p1 == kToolAutoLevels ? 1 : 0);
                UpdatePanel();
                break;
            default: break;
            }
            break;
        case MSG_VIEW_CHANGED:
            if (p1 == CSPicView::kViewClicked && m_pickMode) {
                SetPickMode(false);
                const int x = int(message->param2 & 0xFFFF), y = int((message->param2 >> 16) & 0xFFFF);
                const std::array<uint16_t, 4> c = SampleDiscAverage(BackupImage(), kPickRadius, x, y);
                std::copy(c.begin(), c.end(), m_picked);
                UpdatePanel();
                SetAllDirty(1);
            }
            break;
        case MSG_CURVE_CHANGED:
            if (message->sender == &m_box) {
                CopyBoxTableToChannel();
                RestartPreview();
            }
            break;
        default: break;
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

void CCurveDlg::StartJob()
{
    if (!m_tables || !m_jobTables)
        return;
    UpdateData(1);
    // The job gets its own copy: the dialog's tables may change while it runs.
    const int mode = m_box.Channel();
    const int first = mode >= 1 && mode <= 3 ? 1 : mode;
    const int count = mode >= 1 && mode <= 3 ? 3 : 1;
    std::memcpy(m_jobTables.get(), m_tables.get() + size_t(first) * kToneLutSize,
                sizeof(uint16_t) * size_t(count) * kToneLutSize);
    m_params = CurveParams{};
    m_params.mode = mode;
    m_params.entries = count * kToneLutSize;
    m_params.tables = m_jobTables.get();
    StartPreviewJob(&m_algorithm, &m_params, sizeof m_params);
}

int CCurveDlg::Apply()
{
    if (!CFilterDialog::Apply())
        return 0;
    // The applied picture is the new before: every curve starts again from the identity.
    Reset();
    return 1;
}

void CCurveDlg::OnOK()
{
    CFilterDialog::OnOK();
    if (Result() != 1 || !m_tables)
        return;
    const int mode = m_box.Channel();
    const int first = mode >= 1 && mode <= 3 ? 1 : mode;
    RecordHistoryStep(u"hisCurve", kStepId,
                      SchemeStepRecord(MakeCurveStep(mode, m_tables.get() + size_t(first) * kToneLutSize)));
}
