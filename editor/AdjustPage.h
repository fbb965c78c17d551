// The command panel on the left of an editor tab: the "menu" button and the four category
// buttons (transform, exposure, colour, enhancement), each popping up its menu; and
// BuildEditorMenu, which fills every editor menu from its type, with the enable and check
// states of that moment (the menus are rebuilt each time they open).
#pragma once

#include "ui/Menu.h"
#include "ui/Panel.h"
#include "ui/TabFrame.h"

class CSEditPage;
class CZDDoc;

// The menu types of BuildEditorMenu.
enum EditorMenuType : int {
    kMenuTransform = 1,
    kMenuExposure = 2,
    kMenuColor = 3,
    kMenuEnhancement = 4,
    kMenuSelection = 6,
    kMenuProgram = 7,
    kMenuFile = 20,
    kMenuEdit = 21,
    kMenuBlendModes = 25,
};

// Empties the menu and fills it by type. `subMenus` are the nested menus the type may use (the
// enhancement menu three, the selection menu one), `subMenuCount` how many there are; `doc` is
// the tab's document or null. An unknown type leaves the menu empty.
void BuildEditorMenu(CSMenu& menu, int type, CSMenu* const* subMenus, int subMenuCount, CZDDoc* doc);

class CSAdjustPage : public CSTabPage {
public:
    static constexpr int32_t kMenuButton = 1001;
    static constexpr int kSubMenus = 16;
    static constexpr int32_t kButtonPanelId = 1;
    static constexpr int32_t kFirstMenuId = 100;

    CSAdjustPage();
    ~CSAdjustPage() override;

    // The tab that owns the panel and receives its commands.
    void SetEditPage(CSEditPage* page) { m_page = page; }

    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void ReleaseResources(int flag) override;

    int CreateButtons();
    // Builds the main menu and opens it at the "menu" button's top-right corner.
    void ShowMainMenu();
    // Builds the category menu of button `type` and opens it at that button's top-right corner.
    void ShowCategoryMenu(int type);

    CPanelSprite& Buttons() { return m_buttons; }
    CSMenu& MainMenu() { return m_mainMenu; }
    CSMenu& SubMenu(int i) { return m_subMenus[i]; }

private:
    SRect ButtonWindowRect(int32_t id);

    CPanelSprite m_buttons;
    ImageBuffer8 m_background;
    ImageList8 m_icons;
    ImageBuffer8 m_menuIcon;
    CSMenu m_mainMenu;
    CSMenu m_subMenus[kSubMenus];
    CSEditPage* m_page = nullptr;
    bool m_menusMade = false;
};
