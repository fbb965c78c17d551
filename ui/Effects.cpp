// Click ripple, fade-out and the dimmed dialog background.
#include "ui/Effects.h"

#include "platform/Clock.h"
#include "ui/RenderWindow.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// ---- click ripple ---------------------------------------------------------------------------

int CClickWave::Create(CSprite* parent, CRenderWindow* window, int32_t id, int left, int top,
                       int right, int bottom, int32_t zLevel)
{
    const uint32_t now = platform::GetTickCount32();
    m_startTick.store(now);
    m_endTick.store(now + kDurationMs);
    return CSprite::Create(parent, window, id, zLevel, left, top, right, bottom);
}

int CClickWave::Update(uint32_t now)
{
    platform::ScopedLock lock(m_lock);
    if (!EnsureBuffers() || !m_image.data)
        return 0;
    const uint32_t start = m_startTick.load(), end = m_endTick.load();
    const int64_t span = std::max<int64_t>(1, TickDelta(start, end));
    const int64_t elapsed = std::clamp<int64_t>(TickDelta(start, now), 0, span);
    const double p = double(elapsed) / double(span);
    int g = uint8_t(255 - int(256 * p));
    if (elapsed >= span) {
        InvalidateRect(0, 0, 0, 0, 1);
        if (m_window)
            m_window->FinishTopLevelSprite(this);
        else
            SetFinished(1);
        g = 0;
    }
    const int outer = OuterRadius(g), inner = outer - 20;
    const double cx = m_image.width / 2, cy = m_image.height / 2;
    for (int y = 0; y < m_image.height; ++y)
        for (int x = 0; x < m_image.width; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            uint8_t* px = m_image.data + (size_t(y) * m_image.width + x) * 4;
            if (d > inner && d < outer) {
                px[0] = px[1] = px[2] = 255;
                px[3] = uint8_t(g >> 2);
            } else {
                std::memset(px, 0, 4);
            }
        }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

// ---- fade-out -------------------------------------------------------------------------------

namespace {

// Multiplies B, G and R by `factor`, saturating.
void Brighten(ImageBuffer8& img, int factor)
{
    for (uint32_t i = 0; i < img.pixelCount; ++i)
        for (int c = 0; c < 3; ++c) {
            uint8_t& v = img.data[size_t(i) * 4 + c];
            v = uint8_t(std::min(255, v * factor));
        }
}

} // namespace

CSFadeEffect::~CSFadeEffect()
{
    FreeImageBuffer(m_snapshot);
}

void CSFadeEffect::SetSnapshot(const ImageBuffer8& image, bool forceOpaque)
{
    if (!image.data || image.width <= 0 || image.height <= 0)
        return;
    platform::ScopedLock lock(m_lock);
    if (!AllocImage8(m_snapshot, image.width + 20, image.height + 20))
        return;
    std::memset(m_snapshot.data, 0, m_snapshot.byteSize);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* s = image.data + (size_t(y) * image.width + x) * 4;
            uint8_t* d = m_snapshot.data + (size_t(y + 10) * m_snapshot.width + x + 10) * 4;
            for (int c = 0; c < 3; ++c)
                d[c] = uint8_t((3 * s[c] + 255) / 4);
            d[3] = forceOpaque ? 255 : s[3];
        }
}

int CSFadeEffect::Update(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    if (!EnsureBuffers())
        return 0;
    int opacity = Opacity();
    opacity = m_firstCall ? opacity - 1 : opacity - 24;
    m_firstCall = false;
    if (opacity < 0 || m_frames > 11) {
        SetOpacity(0);
        InvalidateRect(0, 0, 0, 0, 1);
        if (m_window)
            m_window->FinishTopLevelSprite(this);
        else
            SetFinished(1);
        return 1;
    }
    SetOpacity(opacity);
    if (m_snapshot.data && m_image.data) {
        if (m_frames == 0) {
            ImageBuffer8 blurred;
            if (BlurImage8(m_snapshot, blurred, 1)) {
                Brighten(blurred, 3);
                if (blurred.width == m_image.width && blurred.height == m_image.height)
                    std::memcpy(m_image.data, blurred.data, m_image.byteSize);
            }
            FreeImageBuffer(blurred);
        } else {
            ImageBuffer8 half, blurred;
            if (ResizeImage8(m_snapshot, half, std::max(1, m_snapshot.width / 2),
                             std::max(1, m_snapshot.height / 2), 1) &&
                BlurImage8(half, blurred, 2)) {
                Brighten(blurred, 4);
                ResizeImage8Bilinear(blurred, m_snapshot, m_snapshot.width, m_snapshot.height);
            }
            FreeImageBuffer(half);
            FreeImageBuffer(blurred);
            if (m_snapshot.width == m_image.width && m_snapshot.height == m_image.height)
                std::memcpy(m_image.data, m_snapshot.data, m_image.byteSize);
        }
    }
    ++m_frames;
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

// ---- dimmed dialog background ---------------------------------------------------------------

void CDialogBaseLayer::SetSnapshot(const ImageBuffer8& image)
{
    platform::ScopedLock lock(m_lock);
    ImageBuffer8 copy;
    if (!CopyImage8(copy, image))
        return;
    FreeImageBuffer(m_image);
    m_image = copy;
    for (uint32_t i = 0; i < m_image.pixelCount; ++i) {
        uint8_t* p = m_image.data + size_t(i) * 4;
        const uint8_t g = uint8_t(((6 * p[1] + 3 * p[2] + p[0]) / 10) / 2);
        p[0] = p[1] = p[2] = g;
        p[3] = 255;
    }
    SetAllDirty(1);
}

int CDialogBaseLayer::Update(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    if (m_image.data && AllDirty()) {
        InvalidateRect(0, 0, 0, 0, 1);
        SetAllDirty(0);
        return 1;
    }
    return 0;
}

int CDialogBaseLayer::IsOpaqueIn(const SRect& r)
{
    return m_image.data && GetEffectiveOpacity() == 255 && r.left >= 0 && r.top >= 0 &&
                   r.right <= m_image.width && r.bottom <= m_image.height
               ? 1
               : 0;
}
