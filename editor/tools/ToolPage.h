// The tool page of an editor tab: the grid of tool buttons in the side stack, and the one place
// where the canvas's current tool changes.
#pragma once

#include "ui/Panel.h"
#include "ui/TabFrame.h"

class CSEditView;
class CTool;

class CSToolPage : public CSTabPage {
public:
    static constexpr int32_t kGridId = 1;
    static constexpr int32_t kNoToolId = 99999;
    static constexpr int32_t kMsgUpdateButtons = 101;

    CSToolPage();
    ~CSToolPage() override;

    // The canvas whose tool this page switches; set by the tab before creation.
    void SetCanvas(CSEditView* canvas) { m_canvas = canvas; }
    CSEditView* Canvas() const { return m_canvas; }
    CPanelSprite& Grid() { return m_grid; }

    // Ends the old tool (refused, with its busy value, while it is busy), installs the new one
    // and activates it; a refused activation leaves no tool. 0 when the switch was made.
    int SetCurrentTool(CTool* tool);
    // Free crop only with one layer; move and free transform only on an added layer.
    void UpdateToolButtons();

    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void ReleaseResources(int flag) override;

private:
    CPanelSprite m_grid;
    ImageBuffer8 m_noToolIcon;
    CSEditView* m_canvas = nullptr;
    uint32_t m_frames = 0;
};
