// The tree view: the expanded part of a node tree as rows, indented by depth, with expanders,
// icons, a hover underline, a selection bar that glides to a new row, drag-to-scroll, the wheel
// and keyboard walking. The tree owns its rows, never the nodes; the owner rebuilds after
// changing the nodes (expanding only flips the flag and tells the parent).
//
// The vertical scroll bar (child id 9) mirrors ScrollState, the range the tree keeps.
#pragma once

#include "ui/ScrollBar.h"
#include "ui/Sprite.h"
#include "ui/TreeNode.h"

#include <vector>

struct TreeRow {
    CTreeNode* node = nullptr;
    int32_t depth = 0;
    uint8_t iconDrawn = 0;
    uint8_t expanderDrawn = 0;
    int32_t xAfterExpander = 0;
    int32_t rowStartX = 0;
    uint8_t textFits = 1;
    int32_t textX = 0;
    int32_t textTop = 0;
};

class CSTree : public CDialogControl {
public:
    // What a scroll bar shows: the content, the page and the offset, all in pixels.
    struct ScrollState {
        int32_t maximum = 0;
        int32_t page = 0;
        int32_t position = 0;
        bool shown = false;
    };

    CSTree();
    ~CSTree() override;

    void SetRoot(CTreeNode* root);
    void Rebuild();
    void SetSelection(int row, bool ensureVisible, bool glide);
    void SelectNode(CTreeNode* node, bool ensureVisible);
    CTreeNode* GetSelectedNode();
    void ToggleExpand(int row);
    int RowAt(int x, int y) const;
    void EnsureVisible(int row);
    void UpdateScrollBar();
    void ScrollBy(int pixels);

    virtual int DrawRow(int row);
    virtual void DrawRowExtra(int /*row*/, int /*rowTop*/) {}
    void BrightenBand(int y, int amount, int height);

    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseWheel(int x, int y, int delta) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnLButtonDblClk(int x, int y, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    void OnCaptureReleased() override { m_pressed = 0; }
    int OnSpriteMessage(SpriteMessage* message) override;

    int RowCount() const;
    TreeRow Row(int index) const;
    int Selected() const { return m_selected.load(); }
    int ScrollOffset() const { return m_scroll.load(); }
    int BarY() const { return m_barY; }
    const ScrollState& Scroll() const { return m_scrollState; }
    CSScrollBar& ScrollBarWidget() { return m_scrollBar; }

    int32_t m_rowHeight = 20;
    int32_t m_clickRipple = 1;
    int32_t m_selectionBar = 1;
    int32_t m_clearOnEmptyClick = 0;

protected:
    void AppendRows(CTreeNode* node);
    void PostToParent(int32_t code, intptr_t p1, intptr_t p2, bool withSender = true);
    int ClampedOffset(int64_t offset) const;
    static void DropTextImages(CTreeNode* node);

    CTreeNode* m_root = nullptr;
    std::vector<TreeRow> m_rows;
    const ImageBuffer8* m_expandedIcon = nullptr;
    const ImageBuffer8* m_collapsedIcon = nullptr;
    std::atomic<int32_t> m_scroll{0};
    std::atomic<int32_t> m_selected{-1};
    int32_t m_barY = -100;
    int32_t m_hovered = -1;
    int32_t m_hoveredExpander = -1;
    int32_t m_glideStartY = -100;
    ScrollState m_scrollState;
    int32_t m_pressScroll = 0;
    SPoint m_press{};
    int32_t m_pressed = 0;
    CSScrollBar m_scrollBar;
};

// A one-level list of text rows with optional icons, owning its items. The items have no parent
// pointer, so they start at x 0 without an expander.
class CFlatSimpleList : public CSTree {
public:
    CFlatSimpleList() = default;
    ~CFlatSimpleList() override;

    // Index of the new item, or -1 when it cannot be made.
    int AddItem(const char16_t* text, const ImageBuffer8* icon);
    void Clear();
    int OnDraw(uint32_t time) override;
    CTreeNode& Items() { return m_items; }

private:
    CTreeNode m_items;
};
