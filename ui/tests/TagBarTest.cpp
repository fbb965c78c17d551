// Breadcrumb bar and tree nodes: layout and squeeze at narrow widths, selection by press and
// release, hover levels and the sibling list, chevrons.
#include "imaging/TextRender.h"
#include "ui/TagBar.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

namespace {

// Root > Pictures > Holiday (with siblings Work and Family) > Beach.
struct Path {
    CTreeNode root{u"Root"};
    CTreeNode* pictures;
    CTreeNode* holiday;
    CTreeNode* beach;
    Path()
    {
        pictures = root.AddChild(new CTreeNode(u"Pictures"));
        pictures->AddChild(new CTreeNode(u"Work"));
        holiday = pictures->AddChild(new CTreeNode(u"Holiday in the mountains"));
        pictures->AddChild(new CTreeNode(u"Family"));
        beach = holiday->AddChild(new CTreeNode(u"Beach"));
    }
};

struct TagFixture {
    UiTestWindow t;
    TestSprite* parent;
    CSTreeTag* bar;
    Path path;

    explicit TagFixture(int width)
    {
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 620, 100));
        t.window->AddTopLevel(parent);
        bar = new CSTreeTag;
        bar->SetAutoDelete(1);
        EXPECT_TRUE(bar->Create(parent, nullptr, 5, 1, 0, 0, width, 24));
        parent->AddChild(bar);
        bar->SetCurrentNode(path.beach);
        bar->Rebuild();
        t.Frame();
    }
    int Centre(int i) { const auto s = bar->SegmentAt(i); return s.x + s.width / 2; }
    std::vector<intptr_t> Selections()
    {
        t.Pump();
        std::vector<intptr_t> v;
        for (size_t i = 0; i < parent->codes.size(); ++i)
            if (parent->codes[i] == MSG_TAG_SELECT)
                v.push_back(1);
        return v;
    }
};

int TextWidth(const char16_t* text)
{
    ImageBuffer8 img;
    RenderTextLocked(text, img, nullptr, 0, 1024, nullptr);
    const int w = img.width;
    FreeImageBuffer(img);
    return w;
}

} // namespace

TEST(TagBar, SegmentsFitOrAreSqueezedToThree)
{
    const int natural[4] = {TextWidth(u"Beach") + 10, TextWidth(u"Holiday in the mountains") + 10,
                            TextWidth(u"Pictures") + 10, TextWidth(u"Root") + 10};
    const int all = std::accumulate(natural, natural + 4, 0);
    const int three = natural[0] + natural[1] + natural[2];
    struct Case { int width; int visible; bool squeezed; };
    const Case cases[] = {
        {all + 20, 4, false},
        {all - 1, 3, false},          // the root no longer fits; three fit as they are
        {natural[0] + natural[1], 3, true}, // fewer than three fit: the widest is narrowed
        {30, 3, true},                 // far too narrow: still three
    };
    for (const Case& c : cases) {
        TagFixture f(c.width);
        EXPECT_EQ(f.bar->VisibleCount(), c.visible) << c.width;
        EXPECT_EQ(f.bar->SegmentCount(), 4);
        int sum = 0;
        for (int i = 0; i < 3; ++i)
            sum += f.bar->SegmentAt(i).width;
        if (c.squeezed) {
            EXPECT_LE(sum, c.width) << c.width;
            EXPECT_LT(sum, three);
            // The long middle segment gives way first.
            EXPECT_LT(f.bar->SegmentAt(1).width, natural[1]);
        } else {
            EXPECT_EQ(sum, three);
        }
        // Drawn right to left: the current node ends the bar's path at the right.
        const auto s0 = f.bar->SegmentAt(0), s1 = f.bar->SegmentAt(1);
        EXPECT_EQ(s1.x + s1.width, s0.x) << c.width;
    }
    TagFixture none(200);
    none.bar->SetCurrentNode(nullptr);
    none.bar->Rebuild();
    EXPECT_EQ(none.bar->VisibleCount(), 0);
    EXPECT_EQ(none.bar->SegmentFromPoint(5, 5), -1);
}

TEST(TagBar, PressAndReleaseSelectAncestorsOnly)
{
    struct Case { const char* name; int pressOn, releaseMoveTo; int selections; };
    const Case cases[] = {
        {"ancestor", 1, 1, 1},
        {"the current node", 0, 0, 0},
        {"moved off before release", 1, 2, 0},
    };
    for (const Case& c : cases) {
        TagFixture f(600);
        const int x = f.Centre(c.pressOn);
        f.bar->OnMouseMove(x, 12, 0);
        f.bar->OnLButtonDown(x, 12, 0);
        const int to = f.Centre(c.releaseMoveTo);
        f.bar->OnMouseMove(to, 12, 0);
        f.bar->OnLButtonUp(to, 12, 0);
        EXPECT_EQ(int(f.Selections().size()), c.selections) << c.name;
        if (c.selections) {
            EXPECT_EQ(f.parent->params.back(), 0) << c.name;
        }
    }
}

TEST(TagBar, RestingOnASegmentListsItsSiblings)
{
    TagFixture f(600);
    f.bar->OnMouseMove(f.Centre(1), 12, 0); // "Holiday", two siblings
    for (int frame = 1; frame <= 10; ++frame) {
        f.t.Frame();
        EXPECT_EQ(f.bar->SegmentAt(1).level, std::min(100, frame * 10)) << frame;
    }
    f.t.Pump();
    EXPECT_EQ(f.bar->Hovered(), -1); // the list took over
    EXPECT_EQ(f.bar->SiblingParent(), f.path.pictures);
    // The menu opened under the segment: the siblings, a separator, the node itself.
    CSMenu& menu = f.bar->SiblingMenu();
    EXPECT_TRUE(menu.IsVisible());
    ASSERT_EQ(menu.Count(), 4);
    EXPECT_EQ(menu.Item(0).commandId, 1);
    EXPECT_EQ(menu.Item(1).commandId, 3);
    EXPECT_TRUE(menu.Item(2).separator);
    EXPECT_EQ(menu.Item(3).commandId, 2);
    EXPECT_EQ(menu.m_owner, f.bar);
    menu.Close(0);

    const auto items = f.bar->BuildSiblingList(f.path.holiday);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].id, 1);
    EXPECT_EQ(items[0].text, u"Work");
    EXPECT_EQ(items[1].id, 3);
    EXPECT_TRUE(items[2].separator);
    EXPECT_EQ(items[3].id, 2);
    EXPECT_TRUE(f.bar->BuildSiblingList(f.path.beach).empty()); // an only child
    EXPECT_TRUE(f.bar->BuildSiblingList(&f.path.root).empty());

    // A command k selects the k-th child of the listed parent; others are ignored.
    struct Cmd { intptr_t id; int selections; };
    const Cmd cmds[] = {{3, 1}, {0, 1}, {4, 1}, {1, 2}};
    for (const Cmd& c : cmds) {
        SpriteMessage m;
        m.code = MSG_MENU_COMMAND;
        m.param1 = c.id;
        f.bar->OnSpriteMessage(&m);
        EXPECT_EQ(int(f.Selections().size()), c.selections) << c.id;
    }
}

TEST(TagBar, ChevronsFollowEveryAncestor)
{
    TagFixture f(600);
    const auto s1 = f.bar->SegmentAt(1);
    const int cx = s1.x + s1.width - 7, cy = (24 - 6) / 2;
    auto alpha = [&](int x, int y) {
        platform::ScopedLock lock(f.bar->Lock());
        return f.bar->Image().data[(size_t(y) * f.bar->Image().width + x) * 4 + 3];
    };
    struct Case { int dx, dy; bool ink; };
    const Case cases[] = {{0, 0, true}, {1, 5, true}, {2, 2, true}, {3, 3, true}, {2, 0, false}, {0, 2, false}};
    for (const Case& c : cases)
        EXPECT_EQ(alpha(cx + c.dx, cy + c.dy) == 255, c.ink) << c.dx << "," << c.dy;
    // No chevron after the current node.
    const auto s0 = f.bar->SegmentAt(0);
    EXPECT_EQ(alpha(s0.x + s0.width - 7, cy), 0);
}

TEST(TreeNode, ClearingFreesChildrenAndText)
{
    CTreeNode root(u"r");
    CTreeNode* a = root.AddChild(new CTreeNode(u"a"));
    a->AddChild(new CTreeNode(u"b"));
    a->expanded = 1;
    EXPECT_EQ(a->parent, &root);
    root.RemoveChildren();
    EXPECT_TRUE(root.children.empty());
    EXPECT_TRUE(root.HasText());
    root.AddChild(new CTreeNode);
    root.expanded = 1;
    root.Clear();
    EXPECT_FALSE(root.HasText());
    EXPECT_EQ(root.expanded, 0);
    EXPECT_TRUE(root.children.empty());
}
