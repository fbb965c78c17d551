// What the history, layer and mask panels share: a 30-pixel column of buttons at the left and
// the panel's list filling the rest, over a plain dark page.
#pragma once

#include "ui/Panel.h"
#include "ui/TabFrame.h"

class CSColumnPanelPage : public CSTabPage {
public:
    static constexpr int kColumnWidth = 30;

    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    // Takes the list and the buttons out, then the page's own release.
    void ReleaseResources(int flag) override;

    CPanelSprite& Buttons() { return m_buttons; }

protected:
    // The list is the derived page's member: only its address is kept here.
    explicit CSColumnPanelPage(CSprite& list);

    CPanelSprite m_buttons;

private:
    CSprite& m_columnList;
};
