// The popup menu of the toolkit: items with hot letter, label, icon, shortcut or sub-menu
// arrow, tip, enabled and checked states; placed by the render window as a modal popup; fades
// and slides its items in, follows the pointer and the keys with a sliding highlight bar,
// scrolls when taller than the window, and on a choice fades out and posts MSG_MENU_COMMAND
// {command id, 0} to its owner. Items are freed when it closes: owners rebuild it each time.
#pragma once

#include "imaging/ImageBuffer.h"
#include "ui/ScrollBar.h"

#include <atomic>
#include <vector>

// The menu icons, cut from the skin's "menuicon.png" by the program's start-up; every page's
// menus take their item icons from here.
extern ImageList8 theMenuIcons;

class CSMenu;

struct MenuItem {
    char16_t hotKey[32] = {};
    char16_t label[64] = {};
    char16_t shortcut[10] = {};
    char16_t iconFile[32] = {};
    char16_t tip[512] = {};
    const ImageBuffer8* iconImage = nullptr; // the caller's
    int32_t commandId = 0;
    ImageBuffer8 iconPicture;
    ImageBuffer8 labelPicture;
    ImageBuffer8 rightPicture;
    int32_t enabled = 1;
    int32_t checked = 0;
    int32_t separator = 0;
    int32_t height = 20;
    CSMenu* subMenu = nullptr;
    int32_t targetY = 0;
    int32_t currentY = 0;
};

class CSMenu : public CPopupSprite {
public:
    static constexpr int kOpening = 1, kClosingChosen = 2, kClosingNone = 3;

    CSMenu();
    ~CSMenu() override;

    int AddItem(const char16_t* hotKey, int32_t commandId, const char16_t* label, const ImageBuffer8* icon);
    int AddItemEx(const char16_t* hotKey, int32_t commandId, const char16_t* label, const char16_t* iconFile,
                  const char16_t* shortcut, int32_t unused, CSMenu* subMenu);
    int FindItem(const char16_t* hotKey, int32_t commandId) const;
    void EnableItem(int32_t commandId, int enabled);
    void CheckItem(int32_t commandId, int checked);
    void SetItemTip(int32_t commandId, const char16_t* text);

    int Measure();
    // Measures, places through the render window and shows the menu for `owner` at the window
    // point (x, y). 0 when it cannot be shown.
    int Track(CMessageSprite* owner, int x, int y, bool downwards, bool rightwards);
    void Close(int animated);
    void Hide();
    void SetCurrent(int index);
    void Activate(int index);
    void Choose(int index, int animated);
    void ChooseByLetter(uint32_t key);
    int ItemY(int index) const;
    int ItemFromPoint(int x, int y) const;
    void UpdateScrollBar();

    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseWheel(int x, int y, int delta) override;
    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnRButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    void OnCaptureReleased() override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void OnPopup() override;

    // Read by tests and the owner.
    int Count() const { return int(m_items.size()); }
    const MenuItem& Item(int i) const { return *m_items[size_t(i)]; }
    int Current() const { return m_current; }
    int Scroll() const { return m_scroll; }
    int ContentWidth() const { return m_contentWidth; }
    int ContentHeight() const { return m_contentHeight; }
    int IconColumn() const { return m_iconColumn; }
    SRect Panel() const { return {m_panelLeft, m_panelTop, m_panelRight, m_panelBottom}; }
    int BarY() const { return m_barY; }
    int BarHeight() const { return m_barHeight; }
    int BarTargetY() const { return m_barTargetY; }
    int BarTargetHeight() const { return m_barTargetHeight; }
    int AnimState() const { return m_animState.load(); }
    CSScrollBar& ScrollBar() { return m_scrollBar; }
    CSMenu* OpenSubMenu() const { return m_openSub; }

    int32_t m_opensUpward = 0;
    int32_t m_anchorY = 0;
    int32_t m_closeWhenLeft = 0;
    CSMenu* m_parentMenu = nullptr;
    CMessageSprite* m_owner = nullptr;

private:
    bool Usable(int i) const;
    SRect HitRect() const;
    bool InHit(int x, int y) const;
    void DrawItem(MenuItem& item, int y, bool fill, int opacity, bool clip);
    void PanelPixel(uint8_t* p, int x, int alpha) const;
    int StepAnimation();
    void FreeItems();
    void EndAfterClose();
    int MaxScroll() const;

    std::vector<MenuItem*> m_items;
    CSMenu* m_openSub = nullptr;
    int32_t m_openSubItem = -1;
    int32_t m_iconColumn = 20;
    // The highlight bar's place and the current item: set on the UI thread, animated and read by
    // the render thread.
    std::atomic<int32_t> m_barTargetY{-100}, m_barY{-100}, m_barTargetHeight{20}, m_barHeight{20};
    std::atomic<int32_t> m_current{-1};
    int32_t m_scroll = 0;
    int32_t m_panelLeft = 0, m_panelTop = 0, m_panelRight = 0, m_panelBottom = 0;
    CSScrollBar m_scrollBar;
    int32_t m_chosen = -1;
    int32_t m_contentWidth = 0, m_contentHeight = 0;
    int32_t m_chosenCommand = 0;
    int32_t m_ownerTicket = 0;
};
