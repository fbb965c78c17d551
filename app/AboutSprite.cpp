#include "app/AboutSprite.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "ui/DialogSprite.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <cstring>
#include <string>

platform::String16 AboutVersionText(int offsetTenths)
{
    const int whole = (84 - offsetTenths) / 10;
    platform::String16 text = u"version ";
    for (char c : std::to_string(whole))
        text += char16_t(c);
    text += u".0 for Linux";
    return text;
}

CAboutSprite::~CAboutSprite()
{
    FreeImageBuffer(m_picture);
    FreeImageBuffer(m_versionImage);
}

int CAboutSprite::OnCreate()
{
    if (!LoadUiImage(UiImageFolder::Skin, u"about.png", m_picture))
        return 0;
    const platform::String16 text = AboutVersionText(m_offsetTenths);
    if (!RenderTextLocked(text.c_str(), m_versionImage, nullptr, 14, 400, nullptr))
        return 0;
    const int w = m_picture.width, h = m_picture.height;
    const int lw = m_window ? m_window->LogicalWidth() : w, lh = m_window ? m_window->LogicalHeight() : h;
    SetPos((lw - w) / 2, (lh - h) / 2, w, h);
    return 1;
}

int CAboutSprite::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    std::memset(m_image.data, 0, m_image.byteSize);
    BlendImage8(m_image, m_picture, 0, 0, true, 256);
    if (m_versionImage.data)
        FillThroughMask8(m_image, m_versionImage, kTextRight - m_versionImage.width, kTextTop, kTextColour);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CAboutSprite::OnInput()
{
    if (platform::GetTickCount32() - m_shownTick > kGuardMs)
        m_closed.store(1);
}

void CAboutSprite::Run()
{
    CRenderWindow* window = m_window;
    if (!window || !window->PlatformWindow())
        return;
    m_shownTick = platform::GetTickCount32();
    m_closed.store(0);
    window->PushModal(this);
    window->SetFocus(this, false);
    SetVisible(1);
    SetAllDirty(1);
    // Keys reach the focus, which is the box: the window's own handlers deliver them.
    window->PlatformWindow()->RunModalLoop([this] { return m_closed.load() != 0; });
    if (g_bAnimation.load()) {
        const SRect r = Rect();
        window->PlayFadeEffect(&m_picture, r.left, r.top, r.right, r.bottom);
    }
    platform::SleepMs(100);
    SetVisible(0);
    window->PopModal(this);
    ReleaseTicket(m_ticket);
    m_ticket = 0;
}

void CAboutSprite::ReleaseResources(int flag)
{
    FreeImageBuffer(m_picture);
    FreeImageBuffer(m_versionImage);
    CPopupSprite::ReleaseResources(flag);
}
