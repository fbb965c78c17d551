// A page with the two long views side by side: a tree of 20,000 nodes (200 expanded folders of
// 99 photos) and an item list of 100,000 captioned cells whose thumbnails are drawn on demand.
// Reached with `zendra --sample=lists`; a tab page, so the main tab frame can hold it too.
//
// Every thumbnail and every tree row carries its index as a strip of light and dark blocks, so
// a screenshot tells exactly which cell or row stands where (the end-to-end test reads them).
#pragma once

#include "ui/ItemList.h"
#include "ui/TabFrame.h"
#include "ui/Tree.h"

#include <string>

// The index strip: a leading light block, 17 index bits (highest first), an odd-parity block.
namespace liststrip {
constexpr int kBits = 19;
constexpr int kIndexBits = 17;
// Block pattern of an index: kBits entries of 0 or 1.
void Encode(int index, int bits[kBits]);
// The index, or -1 when the pattern is not a strip.
int Decode(const int bits[kBits]);

// Where the strips sit. List: inside a 100 x 100 thumbnail, blocks 4 x 6 from (12, 84).
constexpr int kListLeft = 12, kListTop = 84, kListBlock = 4, kListHeight = 6;
// Tree: blocks 4 x 10, ending 8 pixels before the scroll bar, 5 pixels below the row top.
constexpr int kTreeBlock = 4, kTreeTop = 5, kTreeHeight = 10, kTreeRightGap = 8;
} // namespace liststrip

class CListSamplePage : public CSTabPage {
public:
    static constexpr int kFolders = 200, kPhotosPerFolder = 99; // 20,000 nodes
    static constexpr int kListItems = 100000;
    static constexpr int kMargin = 8, kTreeWidth = 320;

    CListSamplePage();
    ~CListSamplePage() override;

    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;

    CSTree* Tree() const { return m_tree; }
    CListSprite* List() const { return m_list; }
    // "tree x y w h content N; list x y w h content N" in window coordinates.
    std::string DescribeLayout() const;

private:
    CTreeNode m_root;
    CSTree* m_tree = nullptr;
    CListSprite* m_list = nullptr;
};
