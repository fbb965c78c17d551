// Curve box (see the header): table build, input, drawing.
#include "dialogs/CurveBox.h"

#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/RenderWindow.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// A curve's points in the units of one build (16-bit values or 8-bit encoded ones), strictly
// ascending in x. Points that meet (in 8-bit space points 100 units apart can) merge: a later
// point takes the earlier one's place, except that the first point stays.
struct Knots {
    std::vector<double> x, y, m;
    std::vector<int> source; // index of the point each knot came from
};

Knots MakeKnots(const std::vector<CurvePoint>& points, bool encode)
{
    Knots k;
    for (size_t i = 0; i < points.size(); ++i) {
        const double x = encode ? SrgbEncodeTable[std::clamp(points[i].x, 0, 65535)] : points[i].x;
        const double y = encode ? SrgbEncodeTable[std::clamp(points[i].y, 0, 65535)] : points[i].y;
        if (!k.x.empty() && x <= k.x.back()) {
            if (k.x.size() == 1)
                continue;
            k.x.pop_back();
            k.y.pop_back();
            k.source.pop_back();
            if (x <= k.x.back())
                continue; // out of order: skipped
        }
        k.x.push_back(x);
        k.y.push_back(y);
        k.source.push_back(int(i));
    }
    return k;
}

// Tangents in output units per input unit: three-point ends, central differences inside.
void ComputeTangents(Knots& k)
{
    const size_t n = k.x.size();
    k.m.assign(n, 1.0);
    if (n < 3)
        return;
    const auto& x = k.x;
    const auto& y = k.y;
    k.m[0] = 1.5 * (y[1] - y[0]) / (x[1] - x[0]) - 0.5 * (y[2] - y[0]) / (x[2] - x[0]);
    k.m[n - 1] = 1.5 * (y[n - 1] - y[n - 2]) / (x[n - 1] - x[n - 2]) -
                 0.5 * (y[n - 1] - y[n - 3]) / (x[n - 1] - x[n - 3]);
    for (size_t i = 1; i + 1 < n; ++i)
        k.m[i] = (y[i + 1] - y[i - 1]) / (x[i + 1] - x[i - 1]);
}

double Hermite(const Knots& k, size_t i, double a)
{
    const double x0 = k.x[i], x1 = k.x[i + 1];
    const double t = (a - x0) / (x1 - x0), s = 1 - t;
    return (1 + 2 * t) * s * s * k.y[i] + s * s * (a - x0) * k.m[i] + (1 + 2 * s) * t * t * k.y[i + 1] +
           t * t * (a - x1) * k.m[i + 1];
}

uint16_t ToEntry(double v)
{
    v += 0.5;
    if (!(v > 0))
        return 0;
    if (v >= 65535)
        return 65535;
    return uint16_t(v);
}

uint32_t WithAlpha(uint32_t colour) { return colour | 0xFF000000u; }

} // namespace

double SrgbEncodeExact(double v)
{
    return v < 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

double SrgbDecodeExact(double u)
{
    return u < 0.0404499 ? u / 12.92 : std::pow((u + 0.055) / 1.055, 2.4);
}

void InitCurvePoint(CurvePoint& point) { point = CurvePoint{}; }

CurvePoint MakeCurvePoint(int32_t x, int32_t y, int32_t kind)
{
    CurvePoint p;
    p.x = x;
    p.y = y;
    p.kind = kind;
    return p;
}

CCurveBox::CCurveBox()
{
    SetFlags(0x1 | SF_INPUT);
    BuildGammaTables();
    m_table.assign(kTableSize, 0);
}

// The plot follows the box's size; placed here as well as in the drawing so that the pointer
// finds it before the first frame.
int CCurveBox::OnCreate()
{
    platform::ScopedLock lock(m_lock);
    m_plot = {12, 7, Width() - 8, Height() - 13};
    PlaceMarkers();
    SetAllDirty(1);
    return 1;
}

void CCurveBox::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    platform::ScopedLock lock(m_lock);
    m_plot = {12, 7, width - 8, height - 13};
    PlaceMarkers();
    SetAllDirty(1);
}

void CCurveBox::SetBitMode(int bitMode, int scaleMode)
{
    {
        platform::ScopedLock lock(m_lock);
        m_bitMode = bitMode == kCurveEdit8Bit ? kCurveEdit8Bit : kCurveEdit16Bit;
        m_scaleMode = scaleMode == kCurveEdit8Bit ? kCurveEdit8Bit : kCurveEdit16Bit;
    }
    RebuildLookupTable(true);
}

int CCurveBox::ValueFromX(int x) const
{
    const int m = m_scaleMode == kCurveEdit8Bit ? 255 : 65535;
    const SRect& p = m_plot;
    if (x < p.left || p.right <= p.left)
        return 0;
    if (x < p.right)
        return int(int64_t(x - p.left) * m / (p.right - p.left));
    return m;
}

int CCurveBox::ValueFromY(int y) const
{
    const int m = m_scaleMode == kCurveEdit8Bit ? 255 : 65535;
    const SRect& p = m_plot;
    if (y < p.top)
        return m;
    if (y >= p.bottom || p.bottom <= p.top)
        return 0;
    return int(int64_t(p.bottom - y) * m / (p.bottom - p.top));
}

namespace {

int ScaleToInput(int value, int bitMode, int scaleMode)
{
    if (bitMode != kCurveEdit8Bit)
        return scaleMode == kCurveEdit8Bit ? value * 257 : value;
    const int v8 = scaleMode == kCurveEdit8Bit ? value : value * 255 / 65535;
    return SrgbDecodeTable[std::clamp(v8, 0, 255)];
}

} // namespace

int CCurveBox::InputFromX(int x) const { return ScaleToInput(ValueFromX(x), m_bitMode, m_scaleMode); }

int CCurveBox::OutputFromY(int y) const { return ScaleToInput(ValueFromY(y), m_bitMode, m_scaleMode); }

SPoint CCurveBox::PointPosition(const CurvePoint& point) const
{
    const SRect& p = m_plot;
    const int x = std::clamp(point.x, 0, 65535), y = std::clamp(point.y, 0, 65535);
    if (m_bitMode == kCurveEdit8Bit)
        return {p.left + (p.right - p.left) * SrgbEncodeTable[x] / 255,
                p.bottom - (p.bottom - p.top) * SrgbEncodeTable[y] / 255};
    return {p.left + int(int64_t(x) * (p.right - p.left) / 65535),
            p.bottom - int(int64_t(y) * (p.bottom - p.top) / 65535)};
}

void CCurveBox::PlaceMarkers()
{
    for (CurvePoint& point : m_points) {
        const SPoint c = PointPosition(point);
        point.marker = {c.x - 5, c.y - 5, c.x + 5, c.y + 5};
    }
}

void CCurveBox::RebuildLookupTable(bool lock)
{
    if (lock)
        m_lock.Lock();
    std::fill(m_table.begin(), m_table.end(), uint16_t(0));
    if (m_points.size() >= 2) {
        const CurvePoint& last = m_points.back();
        std::fill(m_table.begin() + std::clamp(last.x, 0, 65535), m_table.end(),
                  uint16_t(std::clamp(last.y, 0, 65535)));
        if (m_bitMode == kCurveEdit8Bit)
            BuildLookupTable8();
        else
            BuildLookupTable16();
    }
    PlaceMarkers();
    if (lock) {
        SetAllDirty(1);
        m_lock.Unlock();
    }
}

void CCurveBox::BuildLookupTable16()
{
    Knots k = MakeKnots(m_points, false);
    const size_t n = k.x.size();
    if (n < 2)
        return;
    const bool smooth = m_smooth && n >= 3;
    if (smooth) {
        ComputeTangents(k);
        for (size_t i = 0; i < n; ++i)
            m_points[size_t(k.source[i])].tangent = k.m[i];
    }
    for (size_t i = 0; i + 1 < n; ++i) {
        const int from = int(k.x[i]), to = int(k.x[i + 1]);
        for (int a = std::max(from, 0); a < to && a < kTableSize; ++a) {
            double v;
            if (smooth) {
                v = std::clamp(Hermite(k, i, a), 0.0, 65535.0);
            } else {
                const double t = (a - k.x[i]) / (k.x[i + 1] - k.x[i]);
                v = (1 - t) * k.y[i] + t * k.y[i + 1];
            }
            m_table[size_t(a)] = ToEntry(v);
        }
    }
}

void CCurveBox::BuildLookupTable8()
{
    Knots k = MakeKnots(m_points, true);
    const size_t n = k.x.size();
    double t8[256] = {};
    if (n >= 1) {
        const int last = int(k.x[n - 1]);
        // Past the last point the curve keeps the last point's output (a last point on the right
        // border makes this the plain "255 from there").
        for (int c = last; c < 256; ++c)
            t8[c] = k.y[n - 1];
        const bool smooth = m_smooth && n >= 3;
        if (smooth) {
            ComputeTangents(k);
            for (size_t i = 0; i < n; ++i)
                m_points[size_t(k.source[i])].tangent = k.m[i];
        }
        for (size_t i = 0; i + 1 < n; ++i) {
            const int from = int(k.x[i]), to = int(k.x[i + 1]);
            for (int c = from; c <= to && c < 256; ++c) {
                if (smooth) {
                    if (c < to)
                        t8[c] = Hermite(k, i, c);
                } else {
                    const double t = (c - k.x[i]) / (k.x[i + 1] - k.x[i]);
                    t8[c] = (1 - t) * k.y[i] + t * k.y[i + 1];
                }
            }
        }
    }
    // Each 16-bit input is encoded, looked up between the two 8-bit entries around it, and the
    // result decoded: sampling at e x 255 keeps the straight diagonal the identity.
    for (int i = 0; i < kTableSize; ++i) {
        const double p = SrgbEncodeExact(i / 65535.0) * 255;
        const int c = std::clamp(int(p), 0, 255);
        const double f = p - c;
        const double v = c <= 254 ? (1 - f) * t8[c] + f * t8[c + 1] : t8[255];
        m_table[size_t(i)] = ToEntry(SrgbDecodeExact(v / 255) * 65535);
    }
}

void CCurveBox::ComputeHistogram()
{
    platform::ScopedLock lock(m_lock);
    for (auto& h : m_histograms)
        h.fill(0);
    m_histogramPixels = 0;
    const ImageBuffer16* s = m_histogramSource;
    if (!s || !s->data || s->width <= 0 || s->height <= 0)
        return;
    const size_t count = size_t(s->width) * size_t(s->height);
    const uint16_t* p = s->data;
    for (size_t i = 0; i < count; ++i, p += 4) {
        const uint32_t b = p[0], g = p[1], r = p[2];
        const uint32_t l = (3 * r + 6 * g + b) / 10;
        ++m_histograms[0][l >> 4];
        ++m_histograms[1][r >> 4];
        ++m_histograms[2][g >> 4];
        ++m_histograms[3][b >> 4];
    }
    m_histogramPixels = count;
    SetAllDirty(1);
}

void CCurveBox::SetPoints(const std::vector<CurvePoint>& points)
{
    platform::ScopedLock lock(m_lock);
    m_points = points;
    PlaceMarkers();
    m_hitIndex = -1;
    m_dragging = 0;
    SetAllDirty(1);
}

void CCurveBox::SetChannel(int channel)
{
    platform::ScopedLock lock(m_lock);
    m_channel = std::clamp(channel, 0, 4);
    SetAllDirty(1);
}

void CCurveBox::SetSmooth(int smooth)
{
    platform::ScopedLock lock(m_lock);
    m_smooth = smooth ? 1 : 0;
}

void CCurveBox::SetHistogramColour(uint32_t colour)
{
    platform::ScopedLock lock(m_lock);
    m_histogramColour = colour;
    SetAllDirty(1);
}

void CCurveBox::SetChannelTables(uint16_t* tables)
{
    platform::ScopedLock lock(m_lock);
    m_channelTables = tables;
    SetAllDirty(1);
}

void CCurveBox::SetHistogramSource(const ImageBuffer16* source)
{
    platform::ScopedLock lock(m_lock);
    m_histogramSource = source;
}

void CCurveBox::SetLookupTable(const uint16_t* table)
{
    platform::ScopedLock lock(m_lock);
    std::copy(table, table + kTableSize, m_table.begin());
    SetAllDirty(1);
}

// ---- input ----

void CCurveBox::OnMouseMove(int x, int y, uint32_t keyFlags)
{
    if (m_dragging && m_hitIndex >= 0 && size_t(m_hitIndex) < m_points.size()) {
        MovePoint(m_hitIndex, x, y);
    } else {
        m_hitIndex = -1;
        const SRect& p = m_plot;
        if (x >= p.left - 5 && x < p.right + 5 && y >= p.top - 5 && y < p.bottom + 5) {
            for (size_t i = 0; i < m_points.size(); ++i) {
                const SRect& r = m_points[i].marker;
                if (x >= r.left - 4 && x < r.right + 4 && y >= r.top - 4 && y < r.bottom + 4) {
                    m_hitIndex = int32_t(i);
                    break;
                }
            }
            if (m_hitIndex == -1 && int(m_points.size()) < kMaxPoints) {
                const int X = InputFromX(x), Y = OutputFromY(y);
                const int tolerance = m_bitMode == kCurveEdit8Bit && X < 30000 ? 400 : 2000;
                if (std::abs(Y - int(m_table[size_t(std::clamp(X, 0, 65535))])) < tolerance)
                    m_hitIndex = -2;
            }
        }
    }
    CMessageSprite::OnMouseMove(x, y, keyFlags);
}

int CCurveBox::OnSetCursor(int, int)
{
    if (!m_window)
        return 0;
    if (m_hitIndex == -2) {
        static platform::CustomCursor addPoint;
        static const bool loaded = LoadProgramCursor(kAddPointCursor, 15, 15, addPoint) != 0;
        if (loaded && m_window->PlatformWindow()) {
            m_window->PlatformWindow()->SetCursor(addPoint);
            return 1;
        }
        m_window->SetCursor(platform::StandardCursor::Cross);
    } else if (m_hitIndex >= 0 || m_dragging) {
        m_window->SetCursor(platform::StandardCursor::SizeAll);
    } else {
        m_window->SetCursor(platform::StandardCursor::Arrow);
    }
    return 1;
}

void CCurveBox::OnLButtonDown(int x, int y, uint32_t)
{
    if (m_dragging)
        return;
    m_press = {-1000, -1000};
    if (m_hitIndex >= 0 && size_t(m_hitIndex) < m_points.size()) {
        m_dragging = 1;
        if (m_window)
            m_window->SetCapture(this);
    } else if (m_hitIndex == -2) {
        m_press = {x, y};
    }
}

void CCurveBox::PostChanged()
{
    auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
    if (parent)
        ::PostSpriteMessage(parent, MSG_CURVE_CHANGED, 0, 0, this);
}

void CCurveBox::OnLButtonUp(int x, int y, uint32_t)
{
    if (m_dragging) {
        m_dragging = 0;
        if (m_window)
            m_window->ReleaseCapture(this);
        PostChanged();
        return;
    }
    const SPoint press = m_press;
    m_press = {-1000, -1000};
    if (std::abs(press.x - x) > 3 || std::abs(press.y - y) > 3 || int(m_points.size()) >= kMaxPoints)
        return;
    // Inserted by value: the points stay ascending and kMinSpacing apart.
    const int X = InputFromX(x);
    size_t at = 0;
    while (at < m_points.size() && m_points[at].x <= X)
        ++at;
    if (at == 0 || at == m_points.size())
        return;
    if (X - m_points[at - 1].x < kMinSpacing || m_points[at].x - X < kMinSpacing)
        return;
    platform::ScopedLock lock(m_lock);
    m_points.insert(m_points.begin() + std::ptrdiff_t(at),
                    MakeCurvePoint(X, m_table[size_t(std::clamp(X, 0, 65535))], kPointFree));
    RebuildLookupTable(false);
    SetAllDirty(1);
}

void CCurveBox::OnRButtonDown(int, int, uint32_t)
{
    if (m_dragging || m_hitIndex < 1 || size_t(m_hitIndex) >= m_points.size() ||
        m_points[size_t(m_hitIndex)].kind == kPointEnd)
        return;
    {
        platform::ScopedLock lock(m_lock);
        m_points.erase(m_points.begin() + m_hitIndex);
        m_hitIndex = -1;
        RebuildLookupTable(false);
        SetAllDirty(1);
    }
    PostChanged();
}

void CCurveBox::OnCaptureReleased()
{
    if (!m_dragging)
        return;
    m_dragging = 0;
    PostChanged();
}

void CCurveBox::MovePoint(int index, int x, int y)
{
    if (index < 0 || size_t(index) >= m_points.size())
        return;
    const size_t i = size_t(index);
    const int lo = i > 0 ? m_points[i - 1].x + kMinSpacing : 0;
    const int hi = i + 1 < m_points.size() ? m_points[i + 1].x - kMinSpacing : 65535;
    int X = InputFromX(x);
    X = std::min(std::max(X, lo), hi);
    const int Y = std::clamp(OutputFromY(y), 0, 65535);
    CurvePoint moved = m_points[i];
    switch (moved.kind) {
    case kPointHorizontal: moved.x = X; break;
    case kPointVertical: moved.y = Y; break;
    case kPointFree:
        moved.x = X;
        moved.y = Y;
        break;
    case kPointEnd:
        if (i == 0) {
            // Along the bottom edge below the diagonal, up the left edge above it.
            if (X > Y) {
                moved.x = X;
                moved.y = 0;
            } else {
                moved.x = 0;
                moved.y = Y;
            }
        } else {
            // Along the top edge above the diagonal, down the right edge below it.
            if (X < Y) {
                moved.x = X;
                moved.y = 65535;
            } else {
                moved.x = 65535;
                moved.y = Y;
            }
        }
        break;
    default: return; // fixed
    }
    platform::ScopedLock lock(m_lock);
    m_points[i].x = moved.x;
    m_points[i].y = moved.y;
    RebuildLookupTable(false);
    SetAllDirty(1);
}

// ---- drawing (render thread, under the lock) ----

void CCurveBox::SetPixel(int x, int y, uint32_t colour)
{
    if (x < 0 || y < 0 || x >= m_image.width || y >= m_image.height)
        return;
    uint8_t* p = m_image.data + (size_t(y) * size_t(m_image.width) + size_t(x)) * 4;
    p[0] = uint8_t(colour);
    p[1] = uint8_t(colour >> 8);
    p[2] = uint8_t(colour >> 16);
    p[3] = uint8_t(colour >> 24);
}

void CCurveBox::FillBackground()
{
    const int w = m_image.width, h = m_image.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel(x, y, 0xFF000000u);
    // The outline (0, 5, W-6, H-1), corners included.
    for (int x = 0; x <= w - 6; ++x) {
        SetPixel(x, 5, 0xFFC8C8C8u);
        SetPixel(x, h - 1, 0xFFC8C8C8u);
    }
    for (int y = 5; y <= h - 1; ++y) {
        SetPixel(0, y, 0xFFC8C8C8u);
        SetPixel(w - 6, y, 0xFFC8C8C8u);
    }
}

int CCurveBox::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    const int w = m_image.width, h = m_image.height;
    FillBackground();
    const SRect p = m_plot;
    const int pw = p.right - p.left, ph = p.bottom - p.top;
    if (pw <= 0 || ph <= 0) {
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
    auto grey = [](int v) { return 0xFF000000u | uint32_t(v) * 0x010101u; };
    for (int y = 6; y <= h - 19; ++y) {
        const int v = ValueFromY(y);
        const int g = m_scaleMode == kCurveEdit8Bit ? v : SrgbEncodeTable[std::clamp(v, 0, 65535)];
        for (int x = 1; x <= 10; ++x)
            SetPixel(x, y, grey(g));
    }
    for (int x = 11; x <= w - 7; ++x) {
        const int v = ValueFromX(x);
        const int g = m_bitMode == kCurveEdit16Bit && m_scaleMode == kCurveEdit16Bit
                          ? SrgbEncodeTable[std::clamp(v, 0, 65535)]
                          : std::clamp(v, 0, 255);
        for (int y = h - 11; y <= h - 2; ++y)
            SetPixel(x, y, grey(g));
    }
    // Grid: quarter lines dashed, the half line solid.
    DrawPen pen;
    const int xs[3] = {p.left + pw / 4, (p.left + p.right) / 2, p.right - pw / 4};
    const int ys[3] = {p.top + ph / 4, (p.top + p.bottom) / 2, p.bottom - ph / 4};
    for (int i = 0; i < 3; ++i) {
        MovePenTo8(pen, xs[i], p.top);
        DrawLineTo8(m_image, pen, 0x808080, 10, i != 1, 255, xs[i], p.bottom);
        MovePenTo8(pen, p.left, ys[i]);
        DrawLineTo8(m_image, pen, 0x808080, 10, i != 1, 255, p.right, ys[i]);
    }
    // Histogram; none when the source is too small to give the columns a scale.
    const uint64_t scale = m_histogramSource ? m_histogramPixels * 10 / uint64_t(pw) : 0;
    if (scale > 0) {
        const auto& bins = m_histograms[size_t(m_channel & 3)];
        int previous = -1;
        for (int c = 0; c < pw; ++c) {
            const int b = m_bitMode == kCurveEdit16Bit ? c * kHistogramBins / pw
                                                       : SrgbDecodeTable[c * 255 / pw] >> 4;
            int from = previous + 1;
            if (b < from)
                from = std::max(b - 10, 0);
            uint64_t sum = 0;
            for (int k = from; k <= b && k < kHistogramBins; ++k)
                sum += bins[size_t(k)];
            previous = b;
            const int height = int(std::min<uint64_t>(sum * uint64_t(ph) / scale, uint64_t(ph)));
            for (int k = 0; k < height; ++k)
                SetPixel(p.left + c, p.bottom - 1 - k, m_histogramColour);
        }
    }
    DrawCurvesAndPoints();
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CCurveBox::DrawCurvesAndPoints()
{
    uint32_t own = 0xFFE6E6E6u;
    if (m_channelTables) {
        auto table = [&](int i) { return m_channelTables + size_t(i) * kTableSize; };
        switch (m_channel) {
        case 1:
            DrawCurve(table(2), 0xFF008000u);
            DrawCurve(table(3), 0xFF000080u);
            own = 0xFFF00000u;
            break;
        case 2:
            DrawCurve(table(1), 0xFF800000u);
            DrawCurve(table(3), 0xFF0000C0u);
            own = 0xFF00F000u;
            break;
        case 3:
            DrawCurve(table(1), 0xFF800000u);
            DrawCurve(table(2), 0xFF008000u);
            own = 0xFF4040FFu;
            break;
        default: break;
        }
    }
    DrawCurve(m_table.data(), own);
    const ImageList8* icons = SharedIconFrames();
    for (const CurvePoint& point : m_points) {
        const SPoint c = PointPosition(point);
        const size_t frame = point.kind == kPointEnd ? 11 : 10;
        if (icons && frame < icons->size() && (*icons)[frame])
            BlendImage8(m_image, *(*icons)[frame], c.x - 5, c.y - 5, true, 256);
        else
            DrawRectOutline8(m_image, 0xE6E6E6, 255, c.x - 4, c.y - 4, c.x + 4, c.y + 4);
    }
}

void CCurveBox::DrawCurve(const uint16_t* table, uint32_t colour)
{
    const SRect p = m_plot;
    const int pw = p.right - p.left, ph = p.bottom - p.top;
    if (!table || pw <= 0 || ph <= 0)
        return;
    if (m_bitMode == kCurveEdit8Bit) {
        uint8_t b[256] = {};
        for (int v = 0; v < kTableSize; ++v)
            b[SrgbEncodeTable[v]] = SrgbEncodeTable[table[v]];
        DrawPen pen;
        MovePenTo8(pen, p.left, p.bottom - b[0] * ph / 255);
        for (int k = 5; k <= 255; k += 5)
            DrawLineTo8(m_image, pen, colour & 0xFFFFFF, 15, true, 255, p.left + pw * k / 255,
                        p.bottom - b[k] * ph / 255);
        return;
    }
    int previous = -1;
    for (int x = p.left; x < p.right; ++x) {
        const int y = p.bottom - int(int64_t(table[ValueFromX(x)]) * ph / 65535);
        SetPixel(x, y, WithAlpha(colour));
        if (previous >= 0)
            for (int r = std::min(previous, y) + 1; r < std::max(previous, y); ++r)
                SetPixel(x, r, WithAlpha(colour));
        previous = y;
    }
}
