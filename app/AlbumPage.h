// The album's tab. The album itself (folder tree, photo list, preview, search) comes later;
// until then the page says so and offers what a user needs now: open a photo, the settings and
// the about box. The notice line of the update service shows as a line of text.
#pragma once

#include "ui/Button.h"
#include "ui/Menu.h"
#include "ui/TabFrame.h"

#include <functional>
#include <string>

// Tab pages that carry these flags are the album: never closed, never an editor.
inline constexpr uint32_t SF_ALBUMPAGE = 0xC000;

class CSAlbumPage : public CSTabPage {
public:
    enum : int32_t { kOpenButton = 31, kSettingsButton = 32, kAboutButton = 33 };

    CSAlbumPage();
    ~CSAlbumPage() override;

    // The notice line of the service's last notice, shown under the buttons.
    void ShowNotice(const std::u16string& line);
    const std::u16string& Notice() const { return m_notice; }

    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void ReleaseResources(int flag) override;
    // A right click opens the page's menu (the buttons' commands); Ctrl+C copies the page's text.
    void OnRButtonDown(int x, int y, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    int ShowFocusMark() override { return 0; }

    // What the buttons do; the main window fills them in.
    std::function<void()> onOpenPhoto, onSettings, onAbout;

    CSButton& OpenButton() { return m_open; }
    CSButton& SettingsButton() { return m_settings; }
    CSButton& AboutButton() { return m_about; }

private:
    void PlaceButtons(int width, int height);

    std::u16string m_notice;
    CSButton m_open, m_settings, m_about;
    CSMenu m_menu;
};
