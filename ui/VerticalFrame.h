// A column of tab pages stacked as collapsible panels, each under a 20-pixel title row. A click
// on a title opens or closes its panel; when the open panels do not fit the column, those of the
// lowest priority close first (priority 1000 and above never closes to make room).
#pragma once

#include "ui/TabFrame.h"

#include <vector>

class CSVerticalFrames : public CMessageSprite {
public:
    static constexpr int kTitleHeight = 20;
    static constexpr int kHoverPanel = 1000;
    static constexpr int kKeepPriority = 1000;
    // Layout modes besides a panel index.
    static constexpr int kFillByPriority = -1;
    static constexpr int kPlaceOnly = -2;

    struct Panel {
        CSTabPage* page = nullptr;
        uint8_t expanded = 0;
        int32_t contentHeight = 0;
        int32_t titleY = 0;
        int32_t priority = 0;
    };

    CSVerticalFrames();

    int AddPanel(CSTabPage* page, int priority, int contentHeight);
    int FindPanel(const CSTabPage* page) const;
    void Layout(int mode);
    int PanelCount() const;
    Panel PanelAt(int index) const;
    int Hovered() const { return m_hovered.load(); }
    int PressedTitle() const { return m_pressed.load(); }

    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;

protected:
    int TitleFromPoint(int x, int y) const;

    std::vector<Panel> m_panels;
    std::atomic<int32_t> m_hovered{-1};
    std::atomic<int32_t> m_pressed{-1};
};
