// Tree view: rows of the expanded nodes, keyboard walk, expand and collapse, the gliding
// selection bar, wheel scrolling with its limits, selection messages.
#include "ui/DialogSprite.h"
#include "ui/Tree.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Root children A (children A1, A2), B, C (child C1); 20-pixel rows.
struct TreeFixture {
    UiTestWindow t;
    TestSprite* parent;
    CSTree* tree;
    CTreeNode root;
    CTreeNode *a, *b, *c;

    explicit TreeFixture(int height = 200)
    {
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 600, 400));
        t.window->AddTopLevel(parent);
        tree = new CSTree;
        tree->SetAutoDelete(1);
        EXPECT_TRUE(tree->Create(parent, nullptr, 7, 1, 0, 0, 300, height));
        parent->AddChild(tree);
        a = root.AddChild(new CTreeNode(u"A"));
        a->AddChild(new CTreeNode(u"A1"));
        a->AddChild(new CTreeNode(u"A2"));
        b = root.AddChild(new CTreeNode(u"B"));
        c = root.AddChild(new CTreeNode(u"C"));
        c->AddChild(new CTreeNode(u"C1"));
        tree->SetRoot(&root);
    }
    std::string Rows() const
    {
        std::string s;
        for (int i = 0; i < tree->RowCount(); ++i) {
            const char16_t* text = tree->Row(i).node->Text();
            while (*text)
                s += char(*text++);
            s += ' ';
        }
        return s;
    }
    int Count(int code)
    {
        t.Pump();
        return int(std::count(parent->codes.begin(), parent->codes.end(), code));
    }
};

} // namespace

TEST(Tree, RowsFollowTheExpandedNodes)
{
    TreeFixture f;
    EXPECT_EQ(f.Rows(), "A B C ");
    f.a->expanded = 1;
    f.tree->Rebuild();
    EXPECT_EQ(f.Rows(), "A A1 A2 B C ");
    EXPECT_EQ(f.tree->Row(1).depth, 2);
    EXPECT_EQ(f.tree->Row(0).depth, 1); // the root's children start one step in
    f.a->expanded = 0;
    f.tree->Rebuild();
    EXPECT_EQ(f.Rows(), "A B C ");
    EXPECT_EQ(f.a->children[0]->textImage.data, nullptr); // dropped with the collapse
}

TEST(Tree, KeyboardWalk)
{
    TreeFixture f(60); // three rows a page
    f.c->expanded = 1;
    f.a->expanded = 1;
    f.tree->Rebuild(); // A A1 A2 B C C1
    struct Case { uint32_t key; int expected; };
    const Case cases[] = {
        {38, 5},  // Up with nothing selected: the last row
        {40, 0},  // Down past the last: the first
        {40, 1}, {34, 4}, {34, 5}, {33, 2}, {36, 0}, {35, 5}, {38, 4}, {65, 4},
    };
    for (const Case& c : cases) {
        f.tree->OnKeyDown(c.key, 1, 0);
        EXPECT_EQ(f.tree->Selected(), c.expected) << c.key;
    }
    // The selected row is kept in view.
    const int y = f.tree->Selected() * 20 - f.tree->ScrollOffset();
    EXPECT_GE(y, 0);
    EXPECT_LE(y, 60 - 10);
}

TEST(Tree, PlusAndMinusExpandAndCollapseTheSelectedNode)
{
    TreeFixture f;
    f.tree->SetSelection(0, true, false);
    struct Case { uint32_t key; int expanded; int messages; };
    const Case cases[] = {{107, 1, 1}, {187, 1, 1}, {109, 0, 2}, {189, 0, 2}, {107, 1, 3}};
    for (const Case& c : cases) {
        f.tree->OnKeyDown(c.key, 1, 0);
        EXPECT_EQ(f.a->expanded, c.expanded) << c.key;
        EXPECT_EQ(f.Count(MSG_TREE_EXPAND), c.messages) << c.key;
    }
    f.tree->SetSelection(1, true, false); // B has no children
    f.tree->OnKeyDown(107, 1, 0);
    EXPECT_EQ(f.b->expanded, 0);
    f.tree->OnKeyDown(8, 1, 0);
    EXPECT_EQ(f.Count(MSG_TREE_BACK), 1);
}

TEST(Tree, SelectionBarGlidesHalfWayEachFrame)
{
    g_bAnimation.store(1);
    TreeFixture f;
    f.a->expanded = 1;
    f.c->expanded = 1;
    f.tree->Rebuild();
    f.tree->SetSelection(0, true, false);
    f.t.Frame();
    EXPECT_EQ(f.tree->BarY(), 0);
    f.tree->SetSelection(5, true, true); // from 0 to 100
    std::vector<int> ys;
    for (int i = 0; i < 8; ++i) {
        f.t.Frame();
        ys.push_back(f.tree->BarY());
    }
    const std::vector<int> expected = {50, 75, 87, 93, 96, 98, 99, 100};
    EXPECT_EQ(ys, expected);
    g_bAnimation.store(0);
    f.tree->SetSelection(0, true, true);
    f.t.Frame();
    EXPECT_EQ(f.tree->BarY(), 0);
}

TEST(Tree, SelectionMessagesAndOutOfRangeRows)
{
    TreeFixture f;
    struct Case { int row; int selected; int messages; };
    const Case cases[] = {{1, 1, 1}, {1, 1, 1}, {2, 2, 2}, {7, -1, 3}, {-1, -1, 3}};
    for (const Case& c : cases) {
        f.tree->SetSelection(c.row, true, true);
        EXPECT_EQ(f.tree->Selected(), c.selected) << c.row;
        EXPECT_EQ(f.Count(MSG_TREE_SELECT), c.messages) << c.row;
    }
    f.tree->m_selectionBar = 0; // without the bar a repeated selection is reported again
    f.tree->SetSelection(1, true, true);
    f.tree->SetSelection(1, true, true);
    EXPECT_EQ(f.Count(MSG_TREE_SELECT), 5);
    f.tree->SelectNode(f.c, true);
    EXPECT_EQ(f.tree->GetSelectedNode(), f.c);
}

TEST(Tree, WheelAndDragScrollWithinTheContent)
{
    TreeFixture f(100);
    for (int i = 0; i < 30; ++i)
        f.root.AddChild(new CTreeNode(u"row"));
    f.tree->Rebuild(); // 33 rows: 660 pixels of content, 560 of scroll
    f.t.Frame();
    struct Case { int delta; int offset; };
    const Case cases[] = {{120, 0}, {-120, 120}, {-240, 360}, {-1200, 560}, {120, 440}};
    for (const Case& c : cases) {
        f.tree->OnMouseWheel(10, 10, c.delta);
        EXPECT_EQ(f.tree->ScrollOffset(), c.offset) << c.delta;
    }
    EXPECT_TRUE(f.tree->Scroll().shown);
    EXPECT_EQ(f.tree->Scroll().maximum, 660);
    EXPECT_EQ(f.tree->Scroll().position, 440);
    // A drag scrolls with the pointer; a release near the press still clicks.
    f.tree->OnLButtonDown(100, 50, 0);
    f.tree->OnMouseMove(100, 10, 0);
    EXPECT_EQ(f.tree->ScrollOffset(), 480);
    f.tree->OnMouseMove(100, 52, 0);
    f.tree->OnLButtonUp(100, 52, 0);
    EXPECT_EQ(f.tree->Selected(), (52 + f.tree->ScrollOffset()) / 20);
    TreeFixture low(30); // too low for a scroll bar
    EXPECT_FALSE(low.tree->Scroll().shown);
}

TEST(FlatSimpleList, ItemsStartAtTheLeftAndClearEmptiesTheList)
{
    UiTestWindow t;
    auto* list = new CFlatSimpleList;
    list->SetAutoDelete(1);
    ASSERT_TRUE(list->Create(nullptr, t.window.get(), 3, 10, 0, 0, 200, 100));
    t.window->AddTopLevel(list);
    EXPECT_EQ(list->AddItem(u"One", nullptr), 0);
    EXPECT_EQ(list->AddItem(u"Two", nullptr), 1);
    EXPECT_EQ(list->AddItem(nullptr, nullptr), 2);
    EXPECT_EQ(list->RowCount(), 3);
    t.Frame();
    EXPECT_EQ(list->Row(0).depth, 0);
    EXPECT_EQ(list->RowAt(30, 25), 1);
    list->SetSelection(2, true, false);
    list->Clear();
    EXPECT_EQ(list->RowCount(), 0);
    EXPECT_EQ(list->Selected(), -1);
    list->OnKeyDown(40, 1, 0); // no rows: keys do nothing
    EXPECT_EQ(list->Selected(), -1);
    EXPECT_EQ(list->AddItem(u"Again", nullptr), 0);
    EXPECT_EQ(list->RowCount(), 1);
}

TEST(Tree, ScrollBarFollowsTheContentAndMovesIt)
{
    TreeFixture f(100);
    CSScrollBar& bar = f.tree->ScrollBarWidget();
    EXPECT_FALSE(bar.IsVisible()); // three rows fit
    for (int i = 0; i < 30; ++i)
        f.root.AddChild(new CTreeNode(u"row"));
    f.tree->Rebuild();
    f.tree->SetPos(0, 0, 300, 100);
    EXPECT_TRUE(bar.IsVisible());
    EXPECT_EQ(bar.Rect().left, 283);
    EXPECT_EQ(bar.m_maximum.load(), 660);
    EXPECT_EQ(bar.m_page.load(), 100);
    struct Case { int32_t code; int barPosition; int offset; };
    const Case cases[] = {
        {MSG_SCROLL_LINE_DOWN, 0, 5}, {MSG_SCROLL_LINE_DOWN, 0, 10}, {MSG_SCROLL_LINE_UP, 0, 5},
        {MSG_SCROLL_POS, 300, 300}, {MSG_SCROLL_POS, 9000, 560}, {MSG_SCROLL_LINE_DOWN, 0, 560},
    };
    for (const Case& c : cases) {
        if (c.code == MSG_SCROLL_POS)
            bar.m_position.store(c.barPosition);
        SpriteMessage m;
        m.code = c.code;
        m.sender = &bar;
        f.tree->OnSpriteMessage(&m);
        EXPECT_EQ(f.tree->ScrollOffset(), c.offset) << c.code;
        EXPECT_EQ(bar.m_position.load(), c.offset) << c.code;
    }
    TreeFixture low(30);
    EXPECT_FALSE(low.tree->ScrollBarWidget().IsVisible());
}
