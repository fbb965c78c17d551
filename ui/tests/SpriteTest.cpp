// The sprite base: blending of a child over its parent, effective opacity, invalidation into
// own and window tiles, hit testing of children and the default forwarding.
#include "ui/RenderWindow.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <set>

namespace {

int T1(int a, int x) { return (a * x + 127) / 255; }
int T2(int a, int x) { return ((255 - a) * x + 127) / 255; }

uint32_t Bgra(int b, int g, int r, int a) { return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24; }

uint32_t PixelOf(const ImageBuffer8& img, int x, int y)
{
    uint32_t v;
    std::memcpy(&v, img.data + (size_t(y) * img.width + x) * 4, 4);
    return v;
}

struct Tables {
    Tables() { BuildAlphaTables(); }
};

// Parent and child drawn once, then composed into a fresh target.
struct Tree {
    TestSprite parent;
    TestSprite* child;
    ImageBuffer8 target;

    Tree(uint32_t parentColour, int parentOpacity, uint32_t childColour, int childOpacity)
        : parent(parentColour)
    {
        child = new TestSprite(childColour);
        child->SetAutoDelete(1);
        EXPECT_TRUE(parent.Create(nullptr, nullptr, 1, 0, 0, 0, 8, 8));
        EXPECT_TRUE(child->Create(&parent, nullptr, 2, 0, 2, 2, 6, 6));
        parent.AddChild(child);
        parent.SetOpacity(parentOpacity);
        child->SetOpacity(childOpacity);
        parent.Update(1);
        AllocImage8(target, 8, 8);
        std::memset(target.data, 0, target.byteSize);
        parent.Compose(target, {0, 0, 8, 8});
    }
    ~Tree() { FreeImageBuffer(target); }
};

} // namespace

TEST(SpriteCompose, ChildOverParentFollowsTheBlendTables)
{
    Tables tables;
    struct Case { int pb, pg, pr, pa; int cb, cg, cr, ca; int parentOpacity, childOpacity; const char* why; };
    const Case cases[] = {
        {10, 20, 30, 255, 200, 100, 50, 128, 255, 255, "half-transparent child over an opaque parent"},
        {10, 20, 30, 255, 200, 100, 50, 255, 255, 255, "opaque child replaces, alpha included"},
        {10, 20, 30, 255, 200, 100, 50, 0, 255, 255, "transparent child leaves the parent"},
        {10, 20, 30, 255, 200, 100, 50, 255, 255, 128, "child opacity 128 blends with 128"},
        {10, 20, 30, 255, 200, 100, 50, 255, 128, 128, "128 under 128 blends with 64"},
        {10, 20, 30, 255, 201, 99, 3, 77, 200, 100, "odd values where rounding goes wrong"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Tree tree(Bgra(c.pb, c.pg, c.pr, c.pa), c.parentOpacity, Bgra(c.cb, c.cg, c.cr, c.ca), c.childOpacity);
        // The parent over an empty (zero) target, with its own effective opacity.
        const int kp = T1(c.parentOpacity, c.pa);
        int db = 0, dg = 0, dr = 0, da = 0;
        if (kp == 255) {
            db = c.pb; dg = c.pg; dr = c.pr; da = c.pa;
        } else if (kp > 0) {
            db = T1(kp, c.pb); dg = T1(kp, c.pg); dr = T1(kp, c.pr);
        }
        EXPECT_EQ(PixelOf(tree.target, 0, 0), Bgra(db, dg, dr, da)) << "outside the child";
        const int a = c.parentOpacity * c.childOpacity / 255;
        const int k = T1(a, c.ca);
        uint32_t expected;
        if (k == 0)
            expected = Bgra(db, dg, dr, da);
        else if (k == 255)
            expected = Bgra(c.cb, c.cg, c.cr, c.ca);
        else
            expected = Bgra(T1(k, c.cb) + T2(k, db), T1(k, c.cg) + T2(k, dg), T1(k, c.cr) + T2(k, dr), da);
        for (int y = 2; y < 6; ++y)
            for (int x = 2; x < 6; ++x)
                ASSERT_EQ(PixelOf(tree.target, x, y), expected) << x << "," << y;
        EXPECT_EQ(PixelOf(tree.target, 6, 6), Bgra(db, dg, dr, da)) << "right and bottom are exclusive";
    }
}

TEST(SpriteCompose, EffectiveOpacityMultipliesDownTheTree)
{
    struct Case { int parent, child, grandchild, expectChild, expectGrandchild; };
    const Case cases[] = {
        {255, 255, 255, 255, 255}, {128, 128, 255, 64, 64}, {255, 0, 255, 0, 0},
        {0, 255, 255, 0, 0}, {200, 100, 255, 78, 78}, {255, 128, 128, 128, 64},
    };
    for (const Case& c : cases) {
        CSprite parent, child, grandchild;
        parent.Create(nullptr, nullptr, 0, 0, 0, 0, 1, 1);
        child.Create(&parent, nullptr, 0, 0, 0, 0, 1, 1);
        grandchild.Create(&child, nullptr, 0, 0, 0, 0, 1, 1);
        parent.SetOpacity(c.parent);
        child.SetOpacity(c.child);
        grandchild.SetOpacity(c.grandchild);
        EXPECT_EQ(parent.GetEffectiveOpacity(), c.parent);
        EXPECT_EQ(child.GetEffectiveOpacity(), c.expectChild) << c.parent << " x " << c.child;
        EXPECT_EQ(grandchild.GetEffectiveOpacity(), c.expectGrandchild);
    }
}

TEST(SpriteCompose, ChildOutsideTheParentImageIsNeverComposed)
{
    Tables tables;
    TestSprite parent(Bgra(1, 2, 3, 255));
    auto* child = new TestSprite(Bgra(200, 200, 200, 255));
    child->SetAutoDelete(1);
    parent.Create(nullptr, nullptr, 0, 0, 0, 0, 10, 10);
    child->Create(&parent, nullptr, 0, 0, 20, 20, 30, 30);
    parent.AddChild(child);
    parent.Update(1);
    ImageBuffer8 target;
    AllocImage8(target, 40, 40);
    std::memset(target.data, 0, target.byteSize);
    for (int ty = 0; ty < 40; ty += 8)
        for (int tx = 0; tx < 40; tx += 8)
            parent.Compose(target, {tx, ty, tx + 8, ty + 8});
    EXPECT_EQ(PixelOf(target, 25, 25), 0u);
    EXPECT_EQ(PixelOf(target, 5, 5), Bgra(1, 2, 3, 255));
    FreeImageBuffer(target);
}

TEST(SpriteInvalidate, TileRangesOfOwnAndWindowMaps)
{
    struct Case { SRect r; std::set<std::pair<int, int>> own, window; const char* why; };
    // A 200 x 100 top-level sprite at (64, 0): own map 4 x 2 tiles.
    const Case cases[] = {
        {{70, 10, 130, 20}, {{1, 0}, {2, 0}}, {{2, 0}, {3, 0}}, "inside"},
        {{0, 0, 0, 0}, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}},
         {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 1}}, "empty means whole"},
        {{-50, -50, -10, -10}, {}, {}, "wholly before the map"},
        {{256, 0, 300, 10}, {}, {}, "starts past the map's last column"},
        {{250, 0, 300, 10}, {{3, 0}}, {{4, 0}, {5, 0}}, "starts in the last column, window unclamped"},
        {{190, 90, 400, 300}, {{2, 1}, {3, 1}},
         {{3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 2},
          {3, 3}, {4, 3}, {5, 3}, {6, 3}, {7, 3}, {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}},
         "overhanging the bottom-right corner"},
    };
    CRenderWindow window;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CSprite s;
        ASSERT_TRUE(s.Create(nullptr, &window, 0, 0, 64, 0, 264, 100));
        s.Update(1); // marks every tile (all-dirty)
        s.Update(1); // clean
        window.ClearDirtyTiles();
        s.InvalidateRect(c.r.left, c.r.top, c.r.right, c.r.bottom, 1);
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 4; ++col)
                EXPECT_EQ(s.TileAt(col, row), c.own.count({col, row}) ? 1 : 0) << "own " << col << "," << row;
        for (int row = 0; row < 8; ++row)
            for (int col = 0; col < 10; ++col)
                EXPECT_EQ(window.TileDirty(col, row), c.window.count({col, row}) ? 1 : 0)
                    << "window " << col << "," << row;
    }
}

TEST(SpriteInvalidate, ZeroSizedSpriteHasNoBuffersAndInvalidatesNothing)
{
    CRenderWindow window;
    CSprite s;
    ASSERT_TRUE(s.Create(nullptr, &window, 0, 0, 10, 10, 10, 50));
    EXPECT_EQ(s.Image().data, nullptr);
    window.ClearDirtyTiles();
    s.InvalidateRect(0, 0, 0, 0, 1);
    s.InvalidateRect(0, 0, 5, 5, 1);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            EXPECT_EQ(window.TileDirty(col, row), 0);
}

TEST(SpriteInvalidate, HidingFreesDescendantImagesAndShowingRedraws)
{
    TestSprite parent;
    auto* child = new TestSprite;
    child->SetAutoDelete(1);
    parent.Create(nullptr, nullptr, 0, 0, 0, 0, 20, 20);
    child->Create(&parent, nullptr, 0, 0, 0, 0, 10, 10);
    parent.AddChild(child);
    parent.Update(1);
    ASSERT_NE(child->Image().data, nullptr);
    parent.SetVisible(0);
    EXPECT_EQ(parent.Image().data, nullptr);
    EXPECT_EQ(child->Image().data, nullptr);
    const int draws = child->draws;
    parent.SetVisible(1);
    EXPECT_EQ(parent.AllDirty(), 1);
    parent.Update(1);
    EXPECT_NE(child->Image().data, nullptr);
    EXPECT_EQ(child->draws, draws + 1) << "the rebuilt child image is drawn again";
}

TEST(SpriteInput, ChildFromPointEdgesAndSkippedChildren)
{
    TestSprite parent;
    parent.Create(nullptr, nullptr, 0, 0, 0, 0, 100, 100);
    auto add = [&](SRect r, bool input) {
        auto* c = new TestSprite(0xFF000000, input);
        c->SetAutoDelete(1);
        c->Create(&parent, nullptr, 0, 0, r.left, r.top, r.right, r.bottom);
        parent.AddChild(c);
        return c;
    };
    TestSprite* a = add({10, 10, 50, 50}, true);
    TestSprite* b = add({40, 40, 80, 80}, true);
    TestSprite* hidden = add({0, 85, 10, 95}, true);
    hidden->SetVisible(0);
    TestSprite* detached = add({20, 85, 30, 95}, true);
    detached->SetDetached(1);
    add({40, 85, 50, 95}, false);
    struct Case { int x, y; CMessageSprite* expected; const char* why; };
    const Case cases[] = {
        {10, 10, a, "left and top are inclusive"}, {39, 39, a, "inside the first only"},
        {49, 49, b, "overlap: the later child wins"}, {50, 50, b, "outside the first, inside the second"},
        {79, 79, b, "last pixel"}, {80, 80, nullptr, "right and bottom are exclusive"},
        {9, 10, nullptr, "one left of the first"}, {5, 90, nullptr, "hidden child"},
        {25, 90, nullptr, "detached child"}, {45, 90, nullptr, "child that takes no input"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parent.ChildFromPoint(c.x, c.y), c.expected) << c.why;
    parent.SetVisible(0);
    EXPECT_EQ(parent.ChildFromPoint(20, 20), nullptr) << "a hidden parent has no child under any point";
}

TEST(SpriteInput, CaptureDeliveredButtonsAreNotForwardedButMovesAre)
{
    TestSprite parent;
    auto* child = new TestSprite;
    child->SetAutoDelete(1);
    parent.Create(nullptr, nullptr, 0, 0, 0, 0, 100, 100);
    child->Create(&parent, nullptr, 0, 0, 10, 20, 60, 70);
    parent.AddChild(child);
    parent.OnLButtonDown(15, 25, kCaptureDelivery);
    parent.OnLButtonUp(15, 25, kCaptureDelivery);
    EXPECT_TRUE(child->events.empty());
    parent.OnMouseMove(15, 25, kCaptureDelivery);
    parent.OnLButtonDown(15, 25, 0);
    ASSERT_EQ(child->events.size(), 2u);
    EXPECT_EQ(child->events[0].kind, 'M');
    EXPECT_EQ(child->events[0].x, 5);
    EXPECT_EQ(child->events[0].y, 5);
    EXPECT_EQ(child->events[0].flags, kCaptureDelivery);
    EXPECT_EQ(child->events[1].kind, 'D');
    EXPECT_EQ(parent.QueryDropFiles(90, 90), 0);
    EXPECT_EQ(parent.OnSetCursor(90, 90), 1) << "no child: the arrow is set and the call handled";
}

TEST(SpriteCompose, RowBlendMatchesTheTablesAtEveryWidth)
{
    Tables tables;
    const AlphaTables& t = *GetAlphaTables();
    struct Case { uint32_t src, dst; int opacity; const char* why; };
    const Case cases[] = {
        {0xFF0000FF, 0x80FF8040, 255, "opaque source replaces, alpha included"},
        {0x00FFFFFF, 0x80FF8040, 255, "transparent source keeps the target"},
        {0x7F3366CC, 0xFF102030, 255, "half alpha: where rounding goes wrong"},
        {0xFF3366CC, 0x40102030, 128, "opaque source at half opacity keeps the target alpha"},
        {0x01FFFFFF, 0xFF000000, 200, "a weight that rounds to zero"},
        {0xFEFFFFFF, 0xFF000000, 255, "a weight just below full"},
    };
    for (int width : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 64})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.why << ", width " << width);
            const size_t n = size_t(width);
            std::vector<uint32_t> src(n), dst(n), ref(n);
            for (int i = 0; i < width; ++i) {
                // Mix the case with its neighbours so a group of four holds different weights.
                src[size_t(i)] = i % 3 == 1 ? cases[(i + 1) % 6].src : c.src;
                dst[size_t(i)] = c.dst + uint32_t(i) * 0x010203;
            }
            ref = dst;
            for (int i = 0; i < width; ++i) {
                uint8_t* d = reinterpret_cast<uint8_t*>(&ref[size_t(i)]);
                const uint8_t* s = reinterpret_cast<const uint8_t*>(&src[size_t(i)]);
                const int k = t.t1[c.opacity][s[3]];
                if (k == 0)
                    continue;
                if (k == 255) {
                    std::memcpy(d, s, 4);
                    continue;
                }
                for (int ch = 0; ch < 3; ++ch)
                    d[ch] = uint8_t(t.t1[k][s[ch]] + t.t2[k][d[ch]]);
            }
            BlendRowOver(reinterpret_cast<uint8_t*>(dst.data()), reinterpret_cast<const uint8_t*>(src.data()), width, c.opacity);
            for (int i = 0; i < width; ++i)
                ASSERT_EQ(dst[size_t(i)], ref[size_t(i)]) << "pixel " << i;
        }
}

TEST(SpriteInput, PropagateStateChoosesItsChildOnce)
{
    TestSprite parent;
    parent.Create(nullptr, nullptr, 0, 0, 0, 0, 100, 100);
    std::vector<TestSprite*> kids;
    for (int i = 0; i < 3; ++i) {
        auto* c = new TestSprite(0xFF000000, i != 2); // the last takes no input
        c->SetAutoDelete(1);
        c->Create(&parent, nullptr, 0, 0, 0, 0, 10, 10);
        parent.AddChild(c);
        kids.push_back(c);
    }
    EXPECT_EQ(parent.PropagateState(5), 1);
    EXPECT_EQ(parent.State(), 5);
    EXPECT_EQ(kids[0]->State(), 5);
    EXPECT_EQ(kids[1]->State(), 5);
    EXPECT_EQ(kids[2]->State(), 0) << "no input flag: not part of the propagation";
    // From now on only the remembered child (the last input child) follows.
    parent.PropagateState(9);
    EXPECT_EQ(kids[0]->State(), 5);
    EXPECT_EQ(kids[1]->State(), 9);
    parent.SetAllDirty(0);
    parent.PropagateState(9);
    EXPECT_EQ(parent.AllDirty(), 0) << "the same value changes nothing";
}
