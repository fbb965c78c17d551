// The breadcrumb bar: the path from a tree node up to its root as text segments separated by
// chevrons, the node itself at the right end. Pressing an ancestor selects it (MSG_TAG_SELECT
// {0, node} to the parent); resting on a segment asks for its siblings (MSG_TAG_HOVER to itself).
//
// The owner sets the current node and calls Rebuild on the UI thread; the render thread draws
// the segments, so Rebuild swaps them under the bar's lock.
#pragma once

#include "ui/Menu.h"
#include "ui/Sprite.h"
#include "ui/TreeNode.h"

#include <vector>

class CSTreeTag : public CMessageSprite {
public:
    struct Segment {
        CTreeNode* node = nullptr;
        ImageBuffer8 text;
        int32_t width = 0;
        int32_t x = 0;
        int32_t level = 0;
    };

    CSTreeTag();
    ~CSTreeTag() override;

    virtual std::u16string GetNodeText(const CTreeNode* node);
    void SetCurrentNode(CTreeNode* node) { m_current = node; }
    CTreeNode* CurrentNode() const { return m_current; }
    void Rebuild();
    int SegmentFromPoint(int x, int y) const;

    // The sibling list for a segment's node: its parent's children, the node itself last after
    // a separator, as 1-based command ids. Empty when the node has no parent or no sibling.
    struct SiblingItem { int32_t id; std::u16string text; bool separator; };
    std::vector<SiblingItem> BuildSiblingList(CTreeNode* node);

    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    int VisibleCount() const { return m_visible; }
    int SegmentCount() const;
    Segment SegmentAt(int index) const; // text image not included
    int Hovered() const { return m_hovered.load(); }
    int PressedSegment() const { return m_pressed.load(); }
    CTreeNode* SiblingParent() const { return m_siblingParent; }
    CSMenu& SiblingMenu() { return m_menu; }

protected:
    void FreeSegments();
    void AnimateSegments();

    CTreeNode* m_current = nullptr;
    CTreeNode* m_siblingParent = nullptr;
    std::vector<Segment> m_segments;
    int32_t m_visible = 0;
    std::atomic<int32_t> m_hovered{-1};
    std::atomic<int32_t> m_pressed{-1};
    CSMenu m_menu;
};
