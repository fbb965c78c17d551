// The main window's tab strip: the album's tab first (when there is an album), one tab per
// opened photo after it. Its own frame picture, wider tabs, a "Go Album" button while the album's
// tab is scrolled away, a close button that follows the mouse over editor tabs, a picture of an
// inactive editor tab while the mouse is over it, and dropped image files open as new tabs.
#pragma once

#include "platform/Text.h"
#include "ui/Button.h"
#include "ui/TabFrame.h"

#include <functional>
#include <vector>

class CSMainTabFrame : public CSTabFrame {
public:
    enum : int32_t { kGoAlbumButton = 10, kCloseButton = 11 };
    static constexpr int kTabExtra = 65;
    static constexpr int kCloseSize = 16;

    CSMainTabFrame();
    ~CSMainTabFrame() override;

    // Tab span 8 .. width - 50 and the frame picture; 0 when "maintabframe.png" is missing.
    int Create(CSprite* parent, CRenderWindow* window, int32_t id, int left, int top, int right, int bottom,
               int32_t zLevel) override;
    void SetPos(int x, int y, int width, int height) override;
    int OnCreate() override;
    int HasContentIn(const SRect& own) override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnDropFiles(int x, int y, const std::vector<platform::String16>* files) override;
    const ImageBuffer8* GetTabBackground() override;
    // Switches pages (in the place of the base's switch); the strip is redrawn after a switch.
    int SelectPage(CSTabPage* page, int force) override;
    void GetTabExtent(int index, int* start, int* end) override;
    void UpdateScrollButtons() override;

    // With three or more pages and the album first, removing the current page shows the album.
    void RemovePage(CSTabPage* page);
    // Launch modes: "Go Album" never shows.
    void HideAlbumButton();

    // The main window's operations the strip starts.
    std::function<int(const platform::String16& path)> openImage;
    std::function<int(CSTabPage* page)> closeTab;
    std::function<void()> writeCrashStatus;

    CSButton& GoAlbumButton() { return m_goAlbum; }
    CSButton& CloseButton() { return m_close; }
    int CloseButtonShown() const { return m_closeShown; }
    int AlbumButtonAllowed() const { return m_albumButtonAllowed; }

private:
    void HoverChanged(int hovered);

    ImageBuffer8 m_frameImage;
    CSButton m_goAlbum;
    CSButton m_close;
    int32_t m_albumButtonAllowed = 1;
    int32_t m_closeShown = 0;
};

// The album page is the one whose flags carry these bits.
bool IsAlbumPage(const CSprite* page);
bool IsEditPage(const CSprite* page);
