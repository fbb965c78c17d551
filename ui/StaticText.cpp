// Static labels (grey text, or gradient rules when very thin) and DrawTextInRect.
#include "ui/StaticText.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"

#include <cstring>

CSStaticText::~CSStaticText()
{
    FreeImageBuffer(m_textImage);
}

void CSStaticText::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_textImage);
    }
    CSprite::ReleaseResources(flag);
}

int CSStaticText::Create(CSprite* parent, int32_t id, const char16_t* text, int left, int top, int right,
                         int bottom)
{
    if (text)
        m_text = text;
    m_fontHeight = 0;
    if (!m_text.empty()) {
        ImageBuffer8 img;
        if (!RenderWrappedText(img, m_text.c_str(), right - left, 0))
            return 0;
        m_textImage = img;
    }
    return CSprite::Create(parent, nullptr, id, 2, left, top, right, bottom);
}

int CSStaticText::SetTextResult(const char16_t* text)
{
    m_text = text ? text : u"";
    ImageBuffer8 img;
    if (!m_text.empty() && !RenderWrappedText(img, m_text.c_str(), Width(), m_fontHeight))
        return 0;
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_textImage);
        m_textImage = img;
    }
    SetAllDirty(1);
    return 1;
}

void CSStaticText::GetText(char16_t* buffer, int capacity, int)
{
    CopyTextBounded(buffer, capacity, m_text.c_str());
}

int CSStaticText::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return AllDirty() ? 1 : 0;
    std::memset(m_image.data, 0, m_image.byteSize);
    const int w = m_image.width, h = m_image.height;
    if (w >= 5 && h >= 5) {
        if (m_textImage.data && !m_text.empty())
            FillThroughMask8(m_image, m_textImage, 0, (h - m_textImage.height) / 2, 0xA0A0A0);
    } else if (h < 5) {
        // A horizontal rule, fading to black.
        DrawGradientLine8(m_image, 0x808080, 0x000000, 0, 0, 0, w, 0, 4.0);
        if (h > 1)
            DrawGradientLine8(m_image, 0x808080, 0x000000, 0, 0, 1, w, 1, 4.0);
    } else {
        DrawGradientLine8(m_image, 0x808080, 0x000000, 0, 0, 0, 0, h, 1.0);
        if (w > 1)
            DrawGradientLine8(m_image, 0x808080, 0x000000, 0, 1, 0, 1, h, 1.0);
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

int DrawTextInRect(ImageBuffer8& target, const char16_t* text, int fontHeight, uint32_t colour, int alignX,
                   int alignY, int left, int top, int right, int bottom)
{
    ImageBuffer8 img;
    if (!RenderTextLocked(text, img, nullptr, fontHeight, right - left, nullptr))
        return 0;
    auto place = [](int align, int start, int extent, int size) {
        return align == 1 ? start + (extent - size) / 2 : align == 2 ? start + extent - size : start;
    };
    const int x = place(alignX, left, right - left, img.width);
    const int y = place(alignY, top, bottom - top, img.height);
    FillThroughMask8(target, img, x, y, colour, {left, top, right, bottom});
    FreeImageBuffer(img);
    return 1;
}
