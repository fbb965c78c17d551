// Slider: value mapping, stepping, drawing from "sliderbar.png"/"slider.png", drag, wheel,
// keys and typed entry through the value button. All maths is 64-bit and clamped; a zero
// range, an empty track or a zero divisor never divides by zero.
#include "ui/Slider.h"

#include "imaging/Draw8.h"
#include "ui/InputString.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Typed entry at the slider's top-right corner, in window coordinates.
int AskValue(CSliderSprite* slider, const char16_t* initial, const char16_t* prompt, const char16_t* caption,
             char16_t* result, int capacity)
{
    CopyTextBounded(result, capacity, initial);
    const SPoint corner = slider->LocalToWindowPoint({slider->Width(), 0});
    return InputString(result, capacity, caption, prompt, corner.x, corner.y);
}

void ShowFormatError(const char16_t* text)
{
    SpriteMessageBox(text, kMbError, kMbOk);
}

CSliderSprite::TypedEntry g_typedEntry = &AskValue;
CSliderSprite::ErrorBox g_errorBox = &ShowFormatError;

bool In(const SRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// A number ("2.5", "-3") or a fraction ("1/2"); the whole text must be used.
bool ParseNumberText(const char16_t* text, double& out)
{
    char narrow[64];
    int n = 0;
    for (; text[n] && n < 63; ++n) {
        if (text[n] > 0x7F)
            return false;
        narrow[n] = char(text[n]);
    }
    if (text[n])
        return false;
    narrow[n] = 0;
    char* end = nullptr;
    const double a = std::strtod(narrow, &end);
    if (end == narrow)
        return false;
    while (*end == ' ')
        ++end;
    if (*end == '/') {
        const char* start = end + 1;
        const double b = std::strtod(start, &end);
        if (end == start || b == 0)
            return false;
        while (*end == ' ')
            ++end;
        if (*end)
            return false;
        out = a / b;
        return std::isfinite(out);
    }
    if (*end)
        return false;
    out = a;
    return std::isfinite(out);
}

void Utf16FromAscii(const char* s, char16_t* out, int capacity)
{
    int i = 0;
    for (; s[i] && i < capacity - 1; ++i)
        out[i] = char16_t(static_cast<unsigned char>(s[i]));
    out[i] = 0;
}

// printf with %ls-free formats: the localised prompt carries %g twice.
void FormatPrompt(const char16_t* format, double a, double b, char16_t* out, int capacity)
{
    char narrowFormat[256];
    int n = 0;
    for (; format[n] && n < 255; ++n)
        narrowFormat[n] = format[n] < 0x80 ? char(format[n]) : '?';
    narrowFormat[n] = 0;
    // Only %g/%f conversions are accepted from the text table; anything else is shown as is.
    int conversions = 0;
    bool safe = true;
    for (const char* p = narrowFormat; *p; ++p) {
        if (*p != '%')
            continue;
        if (p[1] == '%') { ++p; continue; }
        const char* q = p + 1;
        while (*q == '.' || (*q >= '0' && *q <= '9'))
            ++q;
        if (*q != 'g' && *q != 'f')
            safe = false;
        ++conversions;
        p = q;
    }
    char buffer[256];
    if (safe && conversions <= 2)
        std::snprintf(buffer, sizeof buffer, narrowFormat, a, b);
    else
        std::snprintf(buffer, sizeof buffer, "%s", narrowFormat);
    Utf16FromAscii(buffer, out, capacity);
}

} // namespace

void CSliderSprite::SetTypedEntry(TypedEntry entry) { g_typedEntry = entry ? entry : &AskValue; }
void CSliderSprite::SetErrorBox(ErrorBox box) { g_errorBox = box ? box : &ShowFormatError; }

CSliderSprite::CSliderSprite() = default;

CSliderSprite::~CSliderSprite()
{
    // The buttons are members: released here, never deleted.
    CSliderSprite::ReleaseResources(1);
}

void CSliderSprite::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_track);
        FreeImageBuffer(m_bar);
        FreeImageBuffer(m_thumb);
    }
    CMoveOverSprite::ReleaseResources(flag);
}

int CSliderSprite::OnCreate()
{
    struct Spec { CSButton& button; int id; const char16_t* icon; };
    const Spec specs[] = {{m_valueButton, kValueId, nullptr}, {m_plus, kPlusId, u"add.png"},
                          {m_minus, kMinusId, u"sub.png"}};
    for (const Spec& s : specs) {
        s.button.m_fitCaption = s.icon ? 1 : 0;
        if (!s.button.Create(this, m_window, s.id, 2, 0, 0, 20, 20))
            return 0;
        if (!s.button.Setup(s.icon ? nullptr : u"0", s.icon, 0, 0, 0, 20, 20))
            return 0;
        if (s.icon)
            s.button.DropFace();
        AddChild(&s.button);
    }
    ImageBuffer8 bar, thumb;
    if (!LoadUiImage(UiImageFolder::Basic, u"sliderbar.png", bar))
        return 0;
    if (!LoadUiImage(UiImageFolder::Basic, u"slider.png", thumb)) {
        FreeImageBuffer(bar);
        return 0;
    }
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_bar);
        FreeImageBuffer(m_thumb);
        m_bar = bar;
        m_thumb = thumb;
        m_thumbWidth.store(thumb.width);
    }
    const SRect r = Rect();
    SetPos(r.left, r.top, r.Width(), r.Height());
    UpdateValueText();
    return 1;
}

void CSliderSprite::SetPos(int x, int y, int width, int height)
{
    CMoveOverSprite::SetPos(x, y, width, height);
    if (m_minus.Parent() == this)
        m_minus.SetPos(2, 2, 16, 16);
    if (m_plus.Parent() == this)
        m_plus.SetPos(width - 63, 2, 18, 18);
    if (m_valueButton.Parent() == this)
        m_valueButton.SetPos(width - 40, 0, 35, 20);
    SetAllDirty(1);
}

void CSliderSprite::SetRange(int32_t minimum, int32_t maximum, int32_t value, int32_t divisor,
                             const char16_t* unit)
{
    m_minimum.store(minimum);
    m_maximum.store(maximum);
    m_value.store(value);
    m_divisor.store(divisor);
    if (unit)
        CopyTextBounded(m_unit, kUnitCapacity, unit);
    UpdateValueText();
    SetAllDirty(1);
}

void CSliderSprite::StoreClamped(int64_t value)
{
    value = std::min<int64_t>(value, m_maximum.load());
    value = std::max<int64_t>(value, m_minimum.load()); // the minimum wins
    m_value.store(int32_t(value));
}

void CSliderSprite::NotifyParent()
{
    PostToParent(MSG_SLIDER_CHANGED, m_value.load(), m_divisor.load());
}

void CSliderSprite::SetValue(double shown, int notify)
{
    const double scaled = shown * SafeDivisor();
    int64_t stored;
    if (std::isnan(scaled))
        stored = m_value.load();
    else if (scaled >= 9.0e18)
        stored = INT64_MAX;
    else if (scaled <= -9.0e18)
        stored = INT64_MIN;
    else
        stored = std::llround(scaled); // halves away from zero
    const int32_t old = m_value.load();
    StoreClamped(stored);
    if (m_value.load() == old && !notify)
        return;
    UpdateValueText();
    SetAllDirty(1);
    if (notify)
        NotifyParent();
}

void CSliderSprite::UpdateValueText()
{
    if (!IsPointerAlive(&m_valueButton) || m_valueButton.Parent() != this)
        return;
    char unit[kUnitCapacity * 4] = {};
    {
        int o = 0;
        for (int i = 0; m_unit[i] && o < int(sizeof unit) - 4; ++i) {
            const char16_t c = m_unit[i];
            if (c < 0x80) {
                unit[o++] = char(c);
            } else if (c < 0x800) {
                unit[o++] = char(0xC0 | (c >> 6));
                unit[o++] = char(0x80 | (c & 0x3F));
            } else {
                unit[o++] = char(0xE0 | (c >> 12));
                unit[o++] = char(0x80 | ((c >> 6) & 0x3F));
                unit[o++] = char(0x80 | (c & 0x3F));
            }
        }
    }
    char text[64];
    const int32_t divisor = m_divisor.load();
    if (divisor == 1)
        std::snprintf(text, sizeof text, "%d%s", m_value.load(), unit);
    else
        std::snprintf(text, sizeof text, "%g%s", double(m_value.load()) / SafeDivisor(), unit);
    m_valueButton.SetText(platform::Utf8ToUtf16(text).c_str());
}

int CSliderSprite::ValueToX(int32_t value) const
{
    const int tw = m_thumbWidth.load();
    const int64_t span = int64_t(TrackWidth()) - tw;
    const int64_t range = int64_t(m_maximum.load()) - m_minimum.load();
    int64_t offset = 0;
    if (range != 0 && span > 0)
        offset = std::clamp<int64_t>((int64_t(value) - m_minimum.load()) * span / range, 0, span);
    return int(offset + tw / 2 + TrackLeft());
}

int CSliderSprite::XToValue(int x) const
{
    const int tw = m_thumbWidth.load();
    const int64_t span = int64_t(TrackWidth()) - tw;
    const int64_t minimum = m_minimum.load();
    if (span <= 0)
        return int(minimum);
    const int64_t range = int64_t(m_maximum.load()) - minimum;
    const int64_t v = (int64_t(x) - tw / 2 - TrackLeft()) * range / span + minimum;
    return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int32_t CSliderSprite::Step() const
{
    const int track = TrackWidth();
    if (track <= 0)
        return 1;
    const double step = (double(m_maximum.load()) - m_minimum.load()) / track / SafeDivisor();
    if (!(step >= 1))
        return 1;
    return step >= 2147483647.0 ? INT32_MAX : int32_t(step);
}

void CSliderSprite::StepBy(int direction)
{
    const int64_t next = int64_t(m_value.load()) + int64_t(direction) * Step();
    SetValue(double(next) / SafeDivisor(), 1);
}

double CSliderSprite::DragValue(int x) const
{
    const int track = TrackWidth();
    if (track <= 0)
        return m_dragStartValue;
    return (double(m_maximum.load()) - m_minimum.load()) * (x - m_dragStartX) / track / SafeDivisor() +
           m_dragStartValue;
}

SRect CSliderSprite::ThumbRect() const
{
    return {m_thumbLeft.load(), m_thumbTop.load(), m_thumbRight.load(), m_thumbBottom.load()};
}

void CSliderSprite::GetText(char16_t* buffer, int capacity, int)
{
    if (!buffer || capacity <= 0)
        return;
    CopyTextBounded(buffer, capacity, platform::IntToText(m_value.load()).c_str());
}

void CSliderSprite::SetText(const char16_t* text)
{
    StoreClamped(text ? platform::ParseIntPrefix(text) : 0);
    UpdateValueText();
    SetAllDirty(1);
    NotifyParent();
}

int CSliderSprite::OnDraw(uint32_t time)
{
    CMoveOverSprite::OnDraw(time);
    if (!AllDirty())
        return 0;
    platform::ScopedLock lock(m_lock);
    if (!m_image.data)
        return 0;
    SetAllDirty(0);
    std::memset(m_image.data, 0, m_image.byteSize);
    const int w = m_image.width;
    const int trackImageWidth = w - 45;
    if (trackImageWidth > 0) {
        if (!m_track.data || m_track.width != trackImageWidth || m_track.height != 20) {
            if (!AllocImage8(m_track, trackImageWidth, 20))
                return 0;
            std::memset(m_track.data, 0, m_track.byteSize);
            if (m_bar.data)
                TileFrame8(m_track, m_bar, 25, 5);
        }
        BlendImage8(m_image, m_track, 0, 0, true, Enabled() ? 256 : 128);
    }
    const int left = TrackLeft();
    const int p = ValueToX(m_value.load());
    if (p > left) {
        for (int y = 3; y <= 16 && y < m_image.height; ++y)
            for (int x = left; x < p && x < w; ++x) {
                const int alpha = (x - left) * 128 / (p - left);
                if (alpha <= 0)
                    continue;
                FillRect8(m_image, {x, y, x + 1, y + 1}, 0xFFFFFF, alpha);
            }
    }
    const int tw = m_thumb.width;
    if (Enabled() && m_thumb.data) {
        BlendImage8(m_image, m_thumb, p - tw / 2, 3, true, 256);
        m_thumbLeft.store(p - tw / 2);
        m_thumbTop.store(3);
        m_thumbRight.store(p - tw / 2 + tw);
        m_thumbBottom.store(17);
    } else {
        m_thumbLeft.store(0);
        m_thumbTop.store(0);
        m_thumbRight.store(0);
        m_thumbBottom.store(0);
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CSliderSprite::OnLButtonDown(int x, int y, uint32_t keyFlags)
{
    if (!Enabled())
        return;
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        child->OnLButtonDown(x - r.left, y - r.top, keyFlags);
        return;
    }
    const SRect thumb = ThumbRect();
    if (thumb.Width() > 0 && In(thumb, x, y)) {
        m_dragging = 1;
        m_dragStartX = x;
        m_dragStartValue = double(m_value.load()) / SafeDivisor();
        return;
    }
    const SRect track{TrackLeft(), 0, Width() - 65, 20};
    if (In(track, x, y))
        SetValue(double(XToValue(x)) / SafeDivisor(), 1);
}

void CSliderSprite::OnMouseMove(int x, int y, uint32_t keyFlags)
{
    if (!Enabled())
        return;
    CMoveOverSprite::OnMouseMove(x, y, keyFlags);
    if (m_hovered.load()) {
        if (m_dragging)
            SetValue(DragValue(x), 0);
        if (m_window) {
            const bool overThumb = m_dragging || In(ThumbRect(), x, y);
            m_window->SetCursor(overThumb ? platform::StandardCursor::SizeAll : platform::StandardCursor::Arrow);
        }
    }
}

void CSliderSprite::OnLButtonUp(int x, int y, uint32_t keyFlags)
{
    if (!Enabled())
        return;
    if (m_dragging) {
        SetValue(DragValue(x), 1);
        m_dragging = 0;
        if (m_window)
            m_window->SetCursor(platform::StandardCursor::Arrow);
        return;
    }
    if (keyFlags & kCaptureDelivery)
        return;
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        child->OnLButtonUp(x - r.left, y - r.top, keyFlags);
    }
}

void CSliderSprite::OnCaptureReleased()
{
    if (!m_dragging)
        return;
    m_dragging = 0;
    StoreClamped(m_value.load());
    UpdateValueText();
    SetAllDirty(1);
    NotifyParent();
}

void CSliderSprite::OnMouseWheel(int, int, int delta)
{
    if (!Enabled())
        return;
    StepBy(int16_t(delta) > 0 ? -1 : 1);
}

void CSliderSprite::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    if (!Enabled())
        return;
    if (key == platform::vk::Left)
        StepBy(-1);
    else if (key == platform::vk::Right)
        StepBy(1);
}

void CSliderSprite::OpenTypedEntry()
{
    char initialNarrow[32];
    std::snprintf(initialNarrow, sizeof initialNarrow, "%g", double(m_value.load()) / SafeDivisor());
    char16_t initial[32];
    Utf16FromAscii(initialNarrow, initial, 32);
    char16_t prompt[256];
    FormatPrompt(UiText(u"sliderInputTip"), double(m_minimum.load()) / SafeDivisor(),
                 double(m_maximum.load()) / SafeDivisor(), prompt, 256);
    if (!g_typedEntry)
        return;
    char16_t result[32] = {};
    if (!g_typedEntry(this, initial, prompt, UiText(u"sliderInputValue"), result, 32) || !result[0])
        return;
    double value = 0;
    if (ParseNumberText(result, value))
        SetValue(value, 1);
    else if (g_errorBox)
        g_errorBox(UiText(u"sliderInputFormat"));
}

int CSliderSprite::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_COMMAND && Enabled()) {
        if (message->param1 == kMinusId)
            StepBy(-1);
        else if (message->param1 == kPlusId)
            StepBy(1);
        else if (message->param1 == kValueId)
            OpenTypedEntry();
    }
    return CMoveOverSprite::OnSpriteMessage(message);
}
