// A grid or strip of icon buttons drawn as one sprite: tool grids, view-mode buttons, the side
// panels of the editor pages and the buttons of the save and wizard dialogs. Items glow while
// hovered, show their tooltips, and report presses, clicks and double clicks to the parent.
//
// Pointer, event by event (messages go to the parent, sender the panel):
//   button down on an item            -> MSG_PANEL_PRESS {id, item}
//   button up on the same item        -> MSG_PANEL_CLICK {id, (y << 16) | x within the item}
//   capture lost while pressed        -> MSG_PANEL_PRESS {id, 0}
//   double click anywhere             -> MSG_PANEL_DBLCLK {id of the last pressed item, 0}
//
// Items change under the panel's lock; the render thread draws them under the same lock.
#pragma once

#include "ui/Sprite.h"

#include <memory>
#include <vector>

struct PanelItem {
    static constexpr int kLabelCapacity = 32;
    static constexpr int kTooltipCapacity = 256;
    static constexpr uint8_t kNoBox = 3;

    SRect rect{};
    uint8_t kind = 0;
    char16_t label[kLabelCapacity] = {};
    ImageBuffer8 icon;
    ImageBuffer8 labelImage;
    char16_t tooltip[kTooltipCapacity] = {};
    int32_t id = 0;
    uint8_t hoverLevel = 0;
    uint8_t enabled = 1;
    uint8_t checked = 0;
    uint8_t visible = 1;

    PanelItem() = default;
    PanelItem(const PanelItem&) = delete;
    PanelItem& operator=(const PanelItem&) = delete;
    ~PanelItem();
};

class CPanelSprite : public CMessageSprite {
public:
    static constexpr int kHoverNone = -1;
    static constexpr int kHoverPanel = 1000;

    CPanelSprite();
    ~CPanelSprite() override;

    int AddItem(int32_t id, uint8_t kind, const char16_t* label, const char16_t* tooltip,
                const ImageBuffer8* icon, int left, int top, int right, int bottom);
    // The first item with the id (and its index), null when none. Call under Lock() when the
    // item is used beyond a glance.
    PanelItem* FindItem(int32_t id, int* index = nullptr);
    void SetItemIcon(int32_t id, const ImageBuffer8* icon);
    void SetItemChecked(int32_t id, int checked);
    void EnableItem(int32_t id, int enabled);
    void ShowItem(int32_t id, int visible);
    void SetLastItemImage(const ImageBuffer8& image);
    void UncheckAll();
    int ItemCount() const;

    virtual void DrawItem(int index);
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnLButtonDblClk(int x, int y, uint32_t flags) override;
    void OnCaptureReleased() override;
    int CanFocus() override { return 0; }
    int OnSpriteMessage(SpriteMessage* message) override;
    // The render thread asks the UI thread to show an item's tip (param1 the item).
    static constexpr int32_t kMsgShowTip = 10141;

    int Hover() const { return m_hover.load(); }
    int Pressed() const { return m_pressed.load(); }
    int LastPressed() const { return m_lastPressed.load(); }

    std::atomic<int32_t> m_background{1};
    std::atomic<int32_t> m_layoutMode{0};

protected:
    void PostToParent(int32_t code, intptr_t p1, intptr_t p2);
    void HideTip();

    std::vector<std::unique_ptr<PanelItem>> m_items;
    std::atomic<int32_t> m_hover{kHoverNone};
    std::atomic<int32_t> m_pressed{-1};
    std::atomic<int32_t> m_lastPressed{-1};
};

// The same panel under its own name for the save and wizard dialogs.
class CMetroPanel : public CPanelSprite {};
