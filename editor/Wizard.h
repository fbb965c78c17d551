// The auto wizard: picture tiles of the problems a photo may show (exposure, colour, sharpness,
// noise, lens errors, portrait) and three single entries; a group tile opens into its choices,
// a choice closes the dialog, and the editor turns the choice into a command.
#pragma once

#include "ui/DialogSprite.h"
#include "ui/Panel.h"

#include <vector>

class CSEditPage;

class CWizardDlg : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 187;
    static constexpr int32_t kFrameId = 1123;
    static constexpr int32_t kAfterOpenId = 1011;
    static constexpr int32_t kPanelId = 9990;

    CWizardDlg();
    ~CWizardDlg() override;

    int OnInitDialog() override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void ReleaseResources(int flag) override;

    int BuildTiles();
    void ShowGroup(int group);

    // The group tiles and their choices in the order they were added.
    const std::vector<int32_t>& GroupItems() const { return m_groupItems; }
    CMetroPanel& Panel() { return m_panel; }
    int Choice() const { return m_choice; }
    uint32_t ShowAfterOpening() const { return m_showAfterOpening; }

private:
    int AddTile(int32_t id, int cellLeft, int cellTop, int cellRight, int cellBottom);
    int AddChoice(int32_t id, int frame, const char16_t* tipKey, const SRect& rect);

    CMetroPanel m_panel;
    ImageList8 m_icons;
    std::vector<int32_t> m_groupItems;
    uint32_t m_showAfterOpening = 0;
    int m_choice = -1;
    int m_cellWidth = 0, m_cellHeight = 0;
    bool m_panelMade = false;
};

// The cells of a tile (left, top, right, bottom in the 12 x 8 grid); false for an unknown id.
bool WizardTileCells(int32_t id, int cells[4]);
// Where choice `id` lies in the tile of its group (tile in panel pixels).
SRect WizardChoiceRect(int32_t id, const SRect& tile, int cellWidth, int cellHeight);

// Where the wizard's template is read from (the program's "dialogs" folder when empty).
void SetWizardDialogFolder(const platform::String16& folder);
// Runs the wizard from its template; the dialog's result (1 a choice or OK, 2 Cancel, 0 when
// it could not be shown) and the choice.
int RunWizardDialog(int& choice);
// The wizard's hand-over: runs it for the tab and posts the chosen command to the tab
// (MSG_MENU_COMMAND, from `sender`); choice 32 opens the sharpen dialog in its second mode.
void RunAutoWizard(CSEditPage& page, CSprite* sender);
