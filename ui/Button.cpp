// Button drawing from its hover state, and its pointer and key handling.
#include "ui/Button.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

CSButton::CSButton()
{
    SetFlags(0x103);
    SetEnabled(1);
}

CSButton::~CSButton()
{
    FreeImageBuffer(m_icon);
    FreeImageBuffer(m_captionImage);
    FreeImageBuffer(m_face);
}

void CSButton::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_icon);
        FreeImageBuffer(m_captionImage);
        FreeImageBuffer(m_face);
    }
    CSprite::ReleaseResources(flag);
}

int CSButton::RenderCaption(const char16_t* text, int maxWidth)
{
    ImageBuffer8 image;
    bool cut = false;
    if (!RenderTextLocked(text, image, nullptr, m_captionFontHeight, maxWidth, &cut))
        return 0;
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_captionImage);
        m_captionImage = image;
    }
    if (cut)
        CopyTextBounded(m_tooltip, kTooltipMax, text);
    return 1;
}

int CSButton::WidthForCaption(const char16_t* caption, int fontHeight)
{
    if (!caption || !caption[0])
        return 0;
    ImageBuffer8 image;
    if (!RenderTextLocked(caption, image, nullptr, fontHeight, 0, nullptr))
        return 0;
    const int width = image.width;
    FreeImageBuffer(image);
    // Setup cuts a caption that reaches the width less 20.
    return width + 21;
}

int CSButton::BuildFace(int width, int height)
{
    const ImageBuffer8* face = SharedUiImage(u"btn.png");
    platform::ScopedLock lock(m_lock);
    if (width <= 0 || height <= 0) {
        FreeImageBuffer(m_face);
        return 1;
    }
    if (!face || !AllocImage8(m_face, width, height))
        return 0;
    TileFrame8(m_face, *face, 0, 0);
    return 1;
}

int CSButton::Setup(const char16_t* caption, const char16_t* iconName, int iconAboveCaption,
                    int left, int top, int right, int bottom)
{
    if (caption && caption[0]) {
        CopyTextBounded(m_caption, kCaptionMax, caption);
        if (!RenderCaption(caption, m_fitCaption ? (right - left) - 20 : 100000))
            return 0;
    }
    m_iconAboveCaption = iconAboveCaption;
    if (iconName) {
        ImageBuffer8 icon;
        if (!LoadSkinOrBasicImage(iconName, icon))
            return 0;
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_icon);
        m_icon = icon;
    }
    return BuildFace(right - left, bottom - top);
}

void CSButton::SetText(const char16_t* text)
{
    if (!text) {
        SetAllDirty(1);
        return;
    }
    if (std::char_traits<char16_t>::length(text) == std::char_traits<char16_t>::length(m_caption) &&
        std::char_traits<char16_t>::compare(text, m_caption, std::char_traits<char16_t>::length(text)) == 0)
        return;
    CopyTextBounded(m_caption, kCaptionMax, text);
    if (!RenderCaption(text, m_fitCaption ? Width() - 10 : 100000))
        return;
    SetAllDirty(1);
}

void CSButton::SetIcon(const char16_t* name)
{
    ImageBuffer8 icon;
    if (!LoadSkinOrBasicImage(name, icon))
        return;
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_icon);
    m_icon = icon;
    SetAllDirty(1);
}

void CSButton::SetTooltip(const char16_t* text)
{
    CopyTextBounded(m_tooltip, kTooltipMax, text);
}

void CSButton::DropFace()
{
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_face);
}

void CSButton::SetPos(int x, int y, int width, int height)
{
    const int oldWidth = Width();
    CSprite::SetPos(x, y, width, height);
    BuildFace(width, height);
    if (width != oldWidth && m_caption[0]) {
        char16_t saved[kTooltipMax];
        std::memcpy(saved, m_tooltip, sizeof saved);
        RenderCaption(m_caption, m_fitCaption ? width - 10 : 100000);
        std::memcpy(m_tooltip, saved, sizeof saved); // the tooltip is not touched here
    }
}

int CSButton::OnDraw(uint32_t)
{
    int level = m_hoverLevel.load();
    const int before = level;
    const bool hovered = m_hovered.load() != 0;
    if (!Enabled()) {
        level = 0;
    } else if (hovered && (m_pressed.load() || m_checked.load())) {
        level = 14;
    } else if (hovered) {
        if (level > 6) {
            level = 6;
        } else if (level < 6) {
            ++level;
            // The tooltip belongs to the UI thread; this runs on the render thread, so ask.
            if (level == 6 && m_tooltip[0])
                ::PostSpriteMessage(this, kMsgShowTooltip, 0, 0, this);
        }
    } else if (level > 0 && !m_checked.load()) {
        --level;
    }
    m_hoverLevel.store(level);
    if (level != before)
        SetAllDirty(1);
    if (!AllDirty() || !m_image.data)
        return 0;

    const int factor = FaceFactor(level);
    const uint8_t fb = uint8_t(m_faceColour), fg = uint8_t(m_faceColour >> 8), fr = uint8_t(m_faceColour >> 16);
    const bool face = m_face.data && m_face.width == m_image.width && m_face.height == m_image.height;
    for (uint32_t i = 0; i < m_image.pixelCount; ++i) {
        uint8_t* p = m_image.data + size_t(i) * 4;
        p[0] = fb;
        p[1] = fg;
        p[2] = fr;
        p[3] = uint8_t(face ? std::min(255, (m_face.data[size_t(i) * 4 + 2] * factor) >> 8) : factor / 4);
    }
    const int W = m_image.width, H = m_image.height;
    const bool hasIcon = m_icon.data != nullptr, hasCaption = m_captionImage.data != nullptr;
    const int iw = hasIcon ? m_icon.width : 0, ih = hasIcon ? m_icon.height : 0;
    const int cw = hasCaption ? m_captionImage.width : 0, ch = hasCaption ? m_captionImage.height : 0;
    int ix, iy, cx, cy;
    if (!m_iconAboveCaption) {
        ix = (W - iw - (hasCaption ? cw + 4 : 0)) / 2;
        iy = (H - ih) / 2;
        cx = (W - cw - (hasIcon ? iw + 4 : 0)) / 2 + (hasIcon ? iw + 4 : 0);
        cy = (H - ch) / 2;
    } else {
        ix = (W - iw) / 2;
        iy = (H - ih - (hasCaption ? ch + 4 : 0)) / 2;
        cx = (W - cw) / 2;
        cy = (H - ch - (hasIcon ? ih + 4 : 0)) / 2 + (hasIcon ? ih + 4 : 0);
    }
    if (hasIcon)
        BlendImage8(m_image, m_icon, ix, iy, true, Enabled() ? 256 : 128);
    if (hasCaption) {
        const uint32_t ink = !Enabled() ? 0x808080 : m_pressed.load() ? 0xFFFFFF : hovered ? 0xEBEBEB : 0xC8C8C8;
        FillThroughMask8(m_image, m_captionImage, cx, cy, ink);
    }
    if (m_dropDownMark)
        if (const ImageList8* frames = SharedIconFrames(); frames && frames->size() > 5)
            BlendImage8(m_image, *(*frames)[5], W - 16, (H - 16) / 2, true, 256);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CSButton::OnMouseMove(int x, int y, uint32_t)
{
    if (!Enabled()) {
        if (m_window)
            m_window->ReleaseCapture(this);
        m_hovered.store(0);
        m_pressed.store(0);
        return;
    }
    if (!Inside(x, y)) {
        m_hovered.store(0);
        if (m_tooltip[0] && m_window)
            m_window->HideTooltip();
        if (!m_pressed.load() && m_window)
            m_window->ReleaseCapture(this);
    } else if (!m_hovered.load()) {
        m_hovered.store(1);
        if (m_window)
            m_window->SetCapture(this);
    }
    OnSetCursor(x, y);
}

void CSButton::OnLButtonDown(int x, int y, uint32_t)
{
    if (Inside(x, y) && Enabled()) {
        m_pressed.store(1);
        SetAllDirty(1);
    }
}

void CSButton::OnLButtonUp(int x, int y, uint32_t)
{
    if (Inside(x, y) && Enabled()) {
        if (m_pressed.load()) {
            m_pressed.store(0);
            Click();
            if (m_window)
                m_window->PlayClickWave();
        }
        if (m_window && m_window->PlatformWindow())
            m_window->PlatformWindow()->ReleaseCapture();
    } else {
        m_pressed.store(0);
    }
    m_hovered.store(0);
}

void CSButton::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    if (key != platform::vk::Return || !Enabled() || !IsVisible())
        return;
    const CSprite* p = Parent();
    if (p && IsPointerAlive(p) && !p->IsShown())
        return;
    Click();
}

int CSButton::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == kMsgShowTooltip) {
        if (m_tooltip[0] && m_window && m_hovered.load()) {
            const SPoint p = LocalToWindowPoint({Width(), Height()});
            m_window->ShowTooltip(p.x, p.y, m_tooltip, false);
        }
        return 1;
    }
    return CDialogControl::OnSpriteMessage(message);
}

int CSButton::OnSetCursor(int x, int y)
{
    if ((!m_pressed.load() && !Inside(x, y)) || !Enabled())
        return 0;
    if (m_window)
        m_window->SetCursor(platform::StandardCursor::Hand);
    return 1;
}

void CSButton::Click()
{
    if (m_checkButton) {
        m_checked.store(m_checked.load() ? 0 : 1);
        SetAllDirty(1);
    }
    CSprite* parent = Parent();
    if (parent && (parent->Flags() & SF_INPUT)) {
        if (auto* m = dynamic_cast<CMessageSprite*>(parent))
            ::PostSpriteMessage(m, MSG_COMMAND, Id(), 0, this);
    } else if (m_window && m_window->PlatformWindow()) {
        m_window->PlatformWindow()->PostMessage(WM_SPRITE_BUTTON, uintptr_t(Id()), 0);
    }
}
