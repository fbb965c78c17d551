// The busy ring, four samples a pixel with one square root and one arc tangent each; meant for
// small sprites.
#include "ui/Progress.h"

#include "imaging/Draw8.h"
#include "platform/Format.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double kPi = 3.14159265359;
}

int ProgressRingSample(double u, double v, int radius, int a, int b)
{
    const double r = radius;
    const double d = std::sqrt(u * u + v * v);
    // atan of the quotient: opposite points share an angle, so patterns repeat every 180
    // degrees; v = 0 gives atan(+-inf).
    const double q = v == 0 ? (u >= 0 ? INFINITY : -INFINITY) : u / v;
    const int theta = int((std::atan(q) + kPi) * 180 / kPi);
    if (d < 0.5 * r)
        return d > 0.37 * r && d < 0.4 * r && (theta - b + 360) % 180 > 10 ? 192 : 0;
    if (d < 0.75 * r) {
        const int m = (a + theta) % 180;
        return m >= 11 && m <= 169 ? 144 : 0;
    }
    return d > 0.8 * r && d < r && (theta - b + 360) % 180 > 10 ? 96 : 0;
}

CSProgress::CSProgress()
{
    SetFlags(0x3);
    SetEnabled(1);
}

CSProgress::~CSProgress()
{
    FreeImageBuffer(m_percent);
}

int CSProgress::OnDraw(uint32_t t)
{
    if (!m_image.data)
        return 0;
    const int radius = std::min(m_image.width, m_image.height) / 2;
    const int a = int(t / 100);
    const int b = int((t / 50) % 360);
    std::memset(m_image.data, 0, m_image.byteSize);
    for (int i = 0; i < 2 * radius; ++i)
        for (int j = 0; j < 2 * radius; ++j) {
            const double y0 = i - radius, x0 = j - radius;
            const int sum = ProgressRingSample(y0 + 0.5, x0 + 0.5, radius, a, b) +
                            ProgressRingSample(y0 + 0.5, x0, radius, a, b) +
                            ProgressRingSample(y0, x0 + 0.5, radius, a, b) +
                            ProgressRingSample(y0, x0, radius, a, b);
            uint8_t* p = m_image.data + (size_t(i) * m_image.width + j) * 4;
            p[0] = p[1] = p[2] = 255;
            p[3] = uint8_t(sum / 4);
        }
    if (m_showPercent && m_percent.data)
        BlendImage8(m_image, m_percent, (2 * radius - m_percent.width) / 2,
                    (2 * radius - m_percent.height) / 2, true, 256);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CSProgress::SetPercent(int value)
{
    if (value == m_lastValue || !IsVisible())
        return;
    FreeImageBuffer(m_percent);
    m_showPercent = uint32_t(value) <= 99 ? 1 : 0;
    m_lastValue = value;
    ImageBuffer8 temp;
    if (!AllocImage8(temp, 42, 27))
        return;
    std::memset(temp.data, 0, temp.byteSize);
    char16_t text[16];
    platform::FormatToBuffer(text, u"%02d", value);
    const ImageList8* digits = SharedDigitStrip();
    int x = 0;
    for (const char16_t* c = text; *c && digits; ++c) {
        int frame = -1;
        if (*c >= u'0' && *c <= u'9')
            frame = *c - u'0';
        else if (*c == u'+')
            frame = 10;
        if (frame < 0 || size_t(frame) >= digits->size())
            continue;
        // Grey 220 ink; the coverage's alpha becomes the pixel's.
        const ImageBuffer8& f = *(*digits)[size_t(frame)];
        for (int y = 0; y < std::min(f.height, temp.height); ++y)
            for (int fx = 0; fx < f.width && x + fx < temp.width; ++fx) {
                const uint8_t cov = f.data[(size_t(y) * f.width + fx) * 4 + 2];
                uint8_t* d = temp.data + (size_t(y) * temp.width + x + fx) * 4;
                if (cov) {
                    d[0] = d[1] = d[2] = 220;
                    d[3] = std::max(d[3], cov);
                }
            }
        x += 20;
    }
    platform::ScopedLock lock(m_lock);
    const int w = m_image.width ? m_image.width : Width();
    const int h = m_image.height ? m_image.height : Height();
    const int s = std::min(w, h) * 16 / 50;
    if (s < 54) {
        ResizeImage8(temp, m_percent, s, s / 2, 2);
    } else {
        CopyImage8(m_percent, temp);
    }
    FreeImageBuffer(temp);
    SetAllDirty(1);
}

void CSProgress::Show(int show)
{
    if (!show) {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_percent);
        m_showPercent = 0;
    }
    SetVisible(show);
}
