// Check box and radio button state, drawing and notification.
#include "ui/CheckBox.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "platform/Text.h"
#include "ui/UiSeams.h"

#include <cstring>

CSCheckBox::~CSCheckBox()
{
    FreeImageBuffer(m_captionImage);
}

void CSCheckBox::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_captionImage);
    }
    CSprite::ReleaseResources(flag);
}

int CSCheckBox::SetCaption(const char16_t* text, const SRect& rect)
{
    if (!text)
        return 1;
    m_caption = text;
    ImageBuffer8 img;
    if (!RenderWrappedText(img, text, rect.Width() - 35, 0))
        return 0;
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_captionImage);
    m_captionImage = img;
    return 1;
}

void CSCheckBox::GetText(char16_t* buffer, int capacity, int)
{
    CopyTextBounded(buffer, capacity, m_checked.load() ? u"1" : u"0");
}

void CSCheckBox::SetText(const char16_t* text)
{
    m_checked.store(text && platform::ParseIntPrefix(text) != 0 ? 1 : 0);
    SetAllDirty(1);
}

void CSCheckBox::Notify()
{
    CSprite* parent = Parent();
    if (parent && (parent->Flags() & SF_INPUT))
        if (auto* m = dynamic_cast<CMessageSprite*>(parent))
            ::PostSpriteMessage(m, MSG_CHECK, Id(), m_checked.load(), this);
}

void CSCheckBox::Toggle()
{
    m_checked.store(m_checked.load() ? 0 : 1);
    SetAllDirty(1);
    Notify();
}

void CSRatioButton::Toggle()
{
    if (m_checked.load())
        return; // clearing the others of a group is the parent's work
    m_checked.store(1);
    SetAllDirty(1);
    Notify();
}

void CSCheckBox::OnLButtonDown(int, int, uint32_t)
{
    if (Enabled())
        Toggle();
}

void CSCheckBox::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    if (key == platform::vk::Space && Enabled())
        Toggle();
}

void CSCheckBox::Draw(int firstFrame, bool alwaysCaption)
{
    std::memset(m_image.data, 0, m_image.byteSize);
    const ImageList8* frames = SharedIconFrames();
    const size_t frame = size_t(firstFrame + (m_checked.load() ? 1 : 0) + (Enabled() ? 0 : 2));
    if (frames && frame < frames->size())
        BlendImage8(m_image, *(*frames)[frame], 2, 2, true, 256);
    if (m_captionImage.data && (alwaysCaption || !m_caption.empty()))
        FillThroughMask8(m_image, m_captionImage, 28, 4, Enabled() ? 0xEBEBEB : 0x404040);
    InvalidateRect(0, 0, 0, 0, 1);
}

int CSCheckBox::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    Draw(0, false);
    return 1;
}

int CSRatioButton::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    Draw(6, true);
    return 1;
}
