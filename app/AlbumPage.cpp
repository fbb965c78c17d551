#include "app/AlbumPage.h"

#include "imaging/Draw8.h"
#include "platform/Clipboard.h"
#include "ui/RenderWindow.h"
#include "ui/StaticText.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kButtonWidth = 220, kButtonHeight = 34, kButtonGap = 10;
constexpr int kTextTop = 70;

int ButtonsTop(int height)
{
    return std::max(kTextTop + 90, height / 2 - 40);
}

} // namespace

CSAlbumPage::CSAlbumPage()
    : CSTabPage(UiText(u"Album"))
{
    SetFlags(Flags() | SF_ALBUMPAGE);
}

CSAlbumPage::~CSAlbumPage()
{
    if (m_window)
        m_window->RemoveAccelerators(this);
    // The buttons are members: out of the child list before the base's release.
    for (CSButton* b : {&m_open, &m_settings, &m_about})
        RemoveChild(b);
}

int CSAlbumPage::OnCreate()
{
    struct Spec { CSButton& button; int32_t id; const char16_t* caption; };
    const Spec specs[] = {{m_open, kOpenButton, UiText(u"albumOpenPhoto")},
                          {m_settings, kSettingsButton, UiText(u"menuSettings")},
                          {m_about, kAboutButton, UiText(u"menuAbout")}};
    for (const Spec& s : specs) {
        if (!s.button.Create(this, nullptr, s.id, 1, 0, 0, kButtonWidth, kButtonHeight) ||
            !s.button.Setup(s.caption, nullptr, 0, 0, 0, kButtonWidth, kButtonHeight))
            return 0;
        AddChild(&s.button);
    }
    PlaceButtons(Width(), Height());
    if (m_window)
        m_window->AddAccelerator(this, 'C', 0, 1);
    return m_menu.Create(nullptr, m_window, 0, 200, 0, 0, 100, 100);
}

void CSAlbumPage::OnRButtonDown(int x, int y, uint32_t flags)
{
    if (ChildFromPoint(x, y) || !m_window) {
        CSTabPage::OnRButtonDown(x, y, flags);
        return;
    }
    m_menu.ReleaseResources(0);
    m_menu.AddItemEx(u"O", kOpenButton, UiText(u"albumOpenPhoto"), nullptr, nullptr, 0, nullptr);
    m_menu.AddItem(nullptr, 0, nullptr, nullptr);
    m_menu.AddItemEx(u"S", kSettingsButton, UiText(u"menuSettings"), nullptr, nullptr, 0, nullptr);
    m_menu.AddItemEx(u"A", kAboutButton, UiText(u"menuAbout"), nullptr, nullptr, 0, nullptr);
    const SPoint p = LocalToWindowPoint({x, y});
    m_menu.Track(this, p.x, p.y, true, true);
}

void CSAlbumPage::OnKeyDown(uint32_t key, uint32_t, uint32_t flags)
{
    // Ctrl+C (its accelerator): the page's text on the clipboard other programs paste from. A
    // plain C typed while the page has the focus does nothing.
    const bool ctrlOnly = (flags & (platform::kKeyControlDown | platform::kKeyShiftDown | platform::kKeyAltDown)) ==
                          platform::kKeyControlDown;
    if (key == 'C' && ctrlOnly && platform::SystemClipboard().SetText(UiText(u"albumNotYet"))) {
        std::printf("zendra: copied the album text\n");
        std::fflush(stdout);
    }
}

void CSAlbumPage::PlaceButtons(int width, int height)
{
    const int x = (width - kButtonWidth) / 2;
    int y = ButtonsTop(height);
    for (CSButton* b : {&m_open, &m_settings, &m_about}) {
        b->SetPos(x, y, kButtonWidth, kButtonHeight);
        y += kButtonHeight + kButtonGap;
    }
}

void CSAlbumPage::SetPos(int x, int y, int width, int height)
{
    CSTabPage::SetPos(x, y, width, height);
    PlaceButtons(width, height);
}

void CSAlbumPage::ShowNotice(const std::u16string& line)
{
    m_notice = line.substr(0, 255);
    SetAllDirty(1);
}

int CSAlbumPage::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    const int w = m_image.width, h = m_image.height;
    FillRect8(m_image, {0, 0, w, h}, 0x202020, 255);
    const int top = ButtonsTop(h) - 110;
    DrawTextInRect(m_image, UiText(u"albumNotYet"), 22, 0xE0E0E0, 1, 1, 0, top, w, top + 34);
    DrawTextInRect(m_image, UiText(u"albumNotYetHint"), 14, 0x9A9A9A, 1, 1, 0, top + 40, w, top + 64);
    if (!m_notice.empty()) {
        const int y = ButtonsTop(h) + 3 * (kButtonHeight + kButtonGap) + 20;
        DrawTextInRect(m_image, m_notice.c_str(), 14, 0x7FA7D8, 1, 1, 0, y, w, y + 24);
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

int CSAlbumPage::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_MENU_COMMAND) {
        std::printf("zendra: menu command %d\n", int(m->param1));
        std::fflush(stdout);
    }
    if (m && (m->code == MSG_COMMAND || m->code == MSG_MENU_COMMAND)) {
        const std::function<void()>* action = m->param1 == kOpenButton       ? &onOpenPhoto
                                              : m->param1 == kSettingsButton ? &onSettings
                                              : m->param1 == kAboutButton    ? &onAbout
                                                                             : nullptr;
        if (action && *action)
            (*action)();
    }
    return CSTabPage::OnSpriteMessage(m);
}

void CSAlbumPage::ReleaseResources(int flag)
{
    for (CSButton* b : {&m_open, &m_settings, &m_about}) {
        RemoveChild(b);
        b->ReleaseResources(flag);
    }
    m_menu.ReleaseResources(flag);
    CSTabPage::ReleaseResources(flag);
}
