// The filter dialogs' blend popup (template 192): the opacity slider and the blend-mode button
// with its menu.
#pragma once

#include "ui/Button.h"
#include "ui/DialogSprite.h"
#include "ui/Menu.h"

class CFilterBlendDlg : public CDialogSprite {
public:
    static constexpr int kTemplateId = 192;
    static constexpr int32_t kOpacityId = 1118;
    static constexpr int32_t kModeButtonId = 1207;

    ~CFilterBlendDlg() override;

    int OnInitDialog() override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void UpdateModeButton();
    void ShowModeMenu();
    CSMenu& ModeMenu() { return m_menu; }

    uint16_t m_blendMode = 0;
    int32_t m_opacity = 100;

private:
    CSButton* m_modeButton = nullptr;
    CSMenu m_menu;
};
