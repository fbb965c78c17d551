// Item lists: layout per view mode (tiny widths included), selection modes with Shift, Ctrl and
// ranges, the rubber band, keys, pictures, gliding, drawing only the cells in view, refills and
// stale messages, and the thumbnail loaders' locks.
#include "album/HelpLoaderThread.h"
#include "imaging/Draw8.h"
#include "ui/DialogSprite.h"
#include "ui/ItemList.h"
#include "ui/TicketRegistry.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>

namespace {

struct Posted {
    int32_t code;
    intptr_t p1, p2;
};

// A parent that keeps every message with both parameters.
class Owner : public CMessageSprite {
public:
    Owner() { SetFlags(SF_INPUT); }
    int OnSpriteMessage(SpriteMessage* m) override
    {
        posted.push_back({m->code, m->param1, m->param2});
        return CMessageSprite::OnSpriteMessage(m);
    }
    std::vector<Posted> posted;
};

struct ListFixture {
    UiTestWindow t;
    Owner* owner;
    CListSprite* list;

    explicit ListFixture(int items = 6, int width = 340, int height = 260)
    {
        g_bAnimation.store(0);
        owner = new Owner;
        owner->SetAutoDelete(1);
        EXPECT_TRUE(owner->Create(nullptr, t.window.get(), 0, 10, 0, 0, 640, 480));
        t.window->AddTopLevel(owner);
        list = new CListSprite;
        list->SetAutoDelete(1);
        EXPECT_TRUE(list->Create(owner, nullptr, 5, 1, 0, 0, width, height));
        owner->AddChild(list);
        list->SetPos(0, 0, width, height);
        for (int i = 0; i < items; ++i)
            list->AddItem((u"Item " + std::u16string(1, char16_t(u'A' + i % 26))).c_str(), nullptr, i);
        list->Layout(true);
    }
    std::set<int> Selected() const
    {
        std::set<int> s;
        for (int i = 0; i < list->ItemCount(); ++i)
            if (list->GetItem(i)->selected)
                s.insert(i);
        return s;
    }
    void Select(const std::set<int>& which)
    {
        for (int i = 0; i < list->ItemCount(); ++i)
            list->GetItem(i)->selected = which.count(i) ? 1 : 0;
    }
    std::vector<Posted> Take(int32_t code)
    {
        t.Pump();
        std::vector<Posted> out;
        for (const Posted& p : owner->posted)
            if (p.code == code)
                out.push_back(p);
        owner->posted.clear();
        return out;
    }
    // A click at the centre of an item's cell (current place, scroll-adjusted).
    void Click(int index, uint32_t flags)
    {
        const CListItem* item = list->GetItem(index);
        const int x = item->currentX + item->cellWidth / 2, y = item->currentY - list->ScrollOffset() + item->cellHeight / 2;
        list->OnLButtonDown(x, y, flags);
        list->OnLButtonUp(x, y, flags);
    }
};

ImageBuffer8 Solid(int w, int h, uint8_t b, uint8_t g, uint8_t r)
{
    ImageBuffer8 im;
    EXPECT_TRUE(AllocImage8(im, w, h));
    for (uint32_t i = 0; i < im.pixelCount; ++i) {
        uint8_t* p = im.data + size_t(i) * 4;
        p[0] = b, p[1] = g, p[2] = r, p[3] = 255;
    }
    return im;
}

const uint8_t* Pixel(const ImageBuffer8& im, int x, int y)
{
    return im.data + (size_t(y) * im.width + x) * 4;
}

} // namespace

TEST(ItemList, LayoutPerModeAndAtTinyWidths)
{
    struct Case { int mode, width, columns, cellW, cellH, content; };
    const Case cases[] = {
        {3, 340, 3, 110, 130, 390},  // 7 items: three rows of three, item 4 in the middle
        {3, 50, 1, 110, 130, 910},   // narrower than a cell: still one column
        {3, 0, 1, 110, 130, 910},
        {2, 470, 2, 240, 60, 240},   // the last column may reach 10 pixels past the view
        {4, 410, 2, 210, 230, 920},
        {4, 1, 1, 210, 230, 1610},
        {1, 300, 1, 298, 20, 140},
        {1, 2, 12, 1, 20, 20},       // a view of two pixels: one-pixel cells instead of a division by 0
        {1, 0, 10, 1, 20, 20},
    };
    for (const Case& c : cases) {
        ListFixture f(7, std::max(c.width, 0), 200);
        f.list->SetViewMode(c.mode);
        f.list->Layout(true);
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " width " << c.width);
        EXPECT_EQ(f.list->Columns(), c.columns);
        EXPECT_EQ(f.list->CellWidth(), c.cellW);
        EXPECT_EQ(f.list->CellHeight(), c.cellH);
        EXPECT_EQ(f.list->ContentHeight(), c.content);
        const CListItem* fifth = f.list->GetItem(4);
        EXPECT_EQ(fifth->targetX, c.cellW * (4 % c.columns));
        EXPECT_EQ(fifth->targetY, c.cellH * (4 / c.columns));
        EXPECT_EQ(fifth->currentX, fifth->targetX); // snapped
    }
    ListFixture f(7, 340);
    f.list->SetViewMode(9); // unknown modes keep the cell size
    EXPECT_EQ(f.list->CellWidth(), 110);
}

TEST(ItemList, SelectionModesAndRanges)
{
    struct Case { std::set<int> before; int index, mode; std::set<int> after; int messages; };
    const Case cases[] = {
        {{1, 4}, 3, 1, {1, 2, 3, 4}, 1},  // range from the first selected before
        {{1, 4}, 3, 2, {1, 3, 4}, 1},     // toggle on
        {{1, 4}, 4, 2, {1}, 1},           // toggle off
        {{1, 4}, 3, 0, {3}, 1},
        {{3}, 3, 0, {3}, 0},              // already selected: nothing, no message
        {{3}, 3, 3, {3}, 1},              // forced single: reported again
        {{4}, 2, 1, {2, 3, 4}, 1},        // nothing before: up to the first selected after
        {{}, 2, 1, {2}, 1},               // nothing selected: only the index
        {{0, 5}, 2, 1, {0, 1, 2, 5}, 1},
        {{1, 4}, 6, 0, {}, 1},            // past the end: deselects, {-1, null}
        {{1, 4}, 9, 2, {}, 1},
        {{1, 4}, -1, 1, {}, 1},
    };
    for (const Case& c : cases) {
        ListFixture f(6);
        f.Select(c.before);
        f.list->SelectItem(c.index, c.mode);
        SCOPED_TRACE(testing::Message() << "index " << c.index << " mode " << c.mode);
        EXPECT_EQ(f.Selected(), c.after);
        const std::vector<Posted> m = f.Take(MSG_LIST_SELECT);
        ASSERT_EQ(int(m.size()), c.messages);
        if (!m.empty()) {
            const bool inside = c.index >= 0 && c.index < 6;
            EXPECT_EQ(m[0].p1, inside ? c.index : -1);
            EXPECT_EQ(m[0].p2, inside ? reinterpret_cast<intptr_t>(f.list->GetItem(c.index)) : 0);
        }
    }
    ListFixture single(6);
    single.list->m_multiSelection = 0; // every mode acts as a single selection
    single.Select({1, 4});
    single.list->SelectItem(3, 2);
    EXPECT_EQ(single.Selected(), std::set<int>{3});
}

TEST(ItemList, ClicksWithShiftAndCtrl)
{
    struct Case { std::set<int> before; int item; uint32_t flags; std::set<int> after; int messages; };
    const Case cases[] = {
        {{2}, 2, 0, {2}, 0},                               // plain click on a selected item: no message
        {{2}, 2, CListSprite::kKeyControl, {}, 1},         // Ctrl-click deselects it and reports
        {{2}, 4, CListSprite::kKeyControl, {2, 4}, 1},
        {{}, 4, CListSprite::kKeyShift, {4}, 1},           // Shift with nothing selected: only the item
        {{1}, 4, CListSprite::kKeyShift, {1, 2, 3, 4}, 1},
        {{1, 5}, 3, 0, {3}, 1},
    };
    for (const Case& c : cases) {
        ListFixture f(6);
        f.Select(c.before);
        f.Click(c.item, c.flags);
        SCOPED_TRACE(testing::Message() << "item " << c.item << " flags " << c.flags);
        EXPECT_EQ(f.Selected(), c.after);
        EXPECT_EQ(int(f.Take(MSG_LIST_SELECT).size()), c.messages);
        EXPECT_EQ(f.list->PressState(), 0);
    }
    // A click on empty space (the gap under the last row) clears the selection.
    ListFixture f(4);
    f.Select({0, 3});
    f.list->OnLButtonDown(300, 250, 0);
    f.list->OnLButtonUp(300, 250, 0);
    EXPECT_TRUE(f.Selected().empty());
    const std::vector<Posted> m = f.Take(MSG_LIST_SELECT);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].p1, -1);
    EXPECT_EQ(m[0].p2, 0);
}

TEST(ItemList, DragScrollsAndASidewaysDragBecomesABand)
{
    ListFixture f(30, 340, 260); // 10 rows of 130: 1300 of content
    f.list->OnLButtonDown(100, 200, 0);
    f.list->OnMouseMove(110, 80, 0); // less than 50 sideways: the content follows
    EXPECT_EQ(f.list->ScrollOffset(), 120);
    EXPECT_EQ(f.list->PressState(), 1);
    f.list->OnMouseMove(100, 200, 0);
    EXPECT_EQ(f.list->ScrollOffset(), 0);
    f.list->OnMouseMove(160, 150, 0); // 60 sideways: a rubber band from the press
    EXPECT_EQ(f.list->PressState(), 2);
    // Cell centres lie at x 55, 165, 275 and y 65, 195, ...; the band spans the press and the
    // pointer, right and bottom edges excluded.
    struct Case { int x, y; std::set<int> selected; };
    const Case cases[] = {
        {160, 150, {}},              // (100,150)-(160,200): no centre x in 100..159
        {20, 10, {0, 3}},            // (20,10)-(100,200)
        {170, 60, {1, 4}},           // (100,60)-(170,200)
        {280, 0, {1, 2, 4, 5}},      // (100,0)-(280,200)
        {165, 195, {}},              // (100,195)-(165,200): x 165 on the excluded right edge
        {166, 196, {}},              // (100,196)-(166,200): y 195 lies above the band
        {166, 195, {4}},             // (100,195)-(166,200): the centre (165,195) just inside
    };
    for (const Case& c : cases) {
        f.list->OnMouseMove(c.x, c.y, 0);
        EXPECT_EQ(f.Selected(), c.selected) << c.x << "," << c.y;
    }
    EXPECT_EQ(f.list->ScrollOffset(), 0);
    f.list->OnLButtonUp(166, 195, 0);
    EXPECT_EQ(f.list->PressState(), 0);
    EXPECT_TRUE(f.list->Band().IsEmpty());
}

TEST(ItemList, KeysMoveTheCursorAndEnterActivates)
{
    ListFixture f(10, 340, 260); // 3 columns, page = 260 * 3 / 130 = 6 items
    struct Case { uint32_t key; int current; };
    const Case fromNone[] = {{37, 9}, {38, 9}, {33, 9}, {39, 0}, {40, 0}, {34, 0}, {36, 0}, {35, 9}};
    for (const Case& c : fromNone) {
        f.list->SetCurrentItem(-1);
        f.list->OnKeyDown(c.key, 1, 0);
        EXPECT_EQ(f.list->CurrentItem(), c.current) << c.key;
    }
    const Case walk[] = {{36, 0}, {40, 3}, {39, 4}, {34, 9}, {33, 3}, {38, 0}, {37, 0}, {35, 9}, {40, 9}};
    for (const Case& c : walk) {
        f.list->OnKeyDown(c.key, 1, 0);
        EXPECT_EQ(f.list->CurrentItem(), c.current) << c.key;
    }
    EXPECT_TRUE(f.Selected().empty()); // moves never select
    EXPECT_EQ(f.list->ScrollOffset(), 520 - 260); // the last row is in view
    // Enter with Shift selects without activating; plain Enter does both.
    f.t.Input().InjectKey(platform::vk::Shift, true);
    f.t.Pump();
    f.owner->posted.clear();
    f.list->OnKeyDown(13, 1, 0);
    EXPECT_EQ(f.Selected(), std::set<int>{9});
    EXPECT_EQ(f.Take(MSG_LIST_ACTIVATE).size(), 0u);
    f.t.Input().InjectKey(platform::vk::Shift, false);
    f.t.Pump();
    f.list->SetCurrentItem(2);
    f.list->OnKeyDown(13, 1, 0);
    f.t.Pump();
    std::vector<Posted> all = f.owner->posted;
    f.owner->posted.clear();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].code, MSG_LIST_SELECT);
    EXPECT_EQ(all[1].code, MSG_LIST_ACTIVATE);
    EXPECT_EQ(all[1].p1, 2);
    // Space with Ctrl toggles.
    f.t.Input().InjectKey(platform::vk::Control, true);
    f.t.Pump();
    f.list->OnKeyDown(32, 1, 0);
    EXPECT_TRUE(f.Selected().empty());
    f.t.Input().InjectKey(platform::vk::Control, false);
    f.t.Pump();
    // A double click on empty space activates nothing: {-1, null}.
    f.owner->posted.clear();
    f.list->OnLButtonDblClk(300, 250, 0);
    const std::vector<Posted> a = f.Take(MSG_LIST_ACTIVATE);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].p1, -1);
    EXPECT_EQ(a[0].p2, 0);
    // An empty list ignores keys.
    ListFixture empty(0);
    empty.list->OnKeyDown(39, 1, 0);
    empty.list->OnKeyDown(13, 1, 0);
    EXPECT_EQ(empty.list->CurrentItem(), -1);
    EXPECT_TRUE(empty.Take(MSG_LIST_SELECT).empty());
}

TEST(ItemList, RemoveAllClearsTheCursorAndStaleMessagesFindNothing)
{
    ListFixture f(8);
    f.list->SetCurrentItem(7);
    f.list->SelectItem(7, 0);
    const std::vector<Posted> m = f.Take(MSG_LIST_SELECT);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(f.list->ItemFromMessage(m[0].p1, m[0].p2), f.list->GetItem(7));
    f.list->RemoveAll();
    EXPECT_EQ(f.list->CurrentItem(), -1);
    EXPECT_EQ(f.list->ItemCount(), 0);
    EXPECT_EQ(f.list->ContentHeight(), 0);
    // The message posted before the refill names an item that is gone.
    for (int i = 0; i < 3; ++i)
        f.list->AddItem(u"new", nullptr, i);
    f.list->Layout(true);
    EXPECT_EQ(f.list->ItemFromMessage(m[0].p1, m[0].p2), nullptr);
    EXPECT_EQ(f.list->ItemFromMessage(1, reinterpret_cast<intptr_t>(f.list->GetItem(2))), nullptr);
    // Enter and Space with no cursor select nothing; moves start afresh.
    f.list->OnKeyDown(13, 1, 0);
    f.list->OnKeyDown(32, 1, 0);
    EXPECT_TRUE(f.Take(MSG_LIST_SELECT).empty());
    f.list->EnsureItemVisible(7); // past the end: nothing
    EXPECT_EQ(f.list->ScrollOffset(), 0);
    f.list->OnKeyDown(39, 1, 0);
    EXPECT_EQ(f.list->CurrentItem(), 0);
    EXPECT_EQ(f.list->GetNextSelected(nullptr), nullptr);
}

TEST(ItemList, GetPictureCropsResizesCachesAndLightensOwnBorders)
{
    CListItem own;
    own.image = Solid(300, 200, 40, 80, 120);
    // Mark the centred 200 x 200 square: columns 50..249 blue-ish, the outer bands red.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            if (x < 50 || x >= 250)
                std::memcpy(own.image.data + (size_t(y) * 300 + x) * 4, "\x00\x00\xFF\xFF", 4);
    const ImageBuffer8* p = own.GetPicture(100, true);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->width, 100);
    EXPECT_EQ(p->height, 100);
    // Inside: the square's colour; the border lightened to (3c + 256) / 4.
    EXPECT_EQ(Pixel(*p, 50, 50)[0], 40);
    EXPECT_EQ(Pixel(*p, 50, 50)[2], 120);
    EXPECT_EQ(Pixel(*p, 0, 50)[0], (3 * 40 + 256) / 4);
    EXPECT_EQ(Pixel(*p, 99, 99)[2], (3 * 120 + 256) / 4);
    const uint8_t* before = p->data;
    EXPECT_EQ(own.GetPicture(100, true)->data, before); // same size: the cache
    const ImageBuffer8* wide = own.GetPicture(200, false);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->width, 200);
    EXPECT_EQ(wide->height, 133);
    EXPECT_EQ(own.GetPicture(0, true), nullptr);

    ImageBuffer8 shared = Solid(60, 40, 10, 20, 30);
    CListItem borrowed;
    borrowed.fallback = &shared;
    const ImageBuffer8* q = borrowed.GetPicture(100, true); // smaller than asked: a copy
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->width, 60);
    EXPECT_EQ(Pixel(*q, 0, 0)[0], 10); // a borrowed picture keeps its border
    CListItem none;
    EXPECT_EQ(none.GetPicture(100, true), nullptr);
    FreeImageBuffer(shared);
}

TEST(ItemList, CaptionsAreBoundedAndSortIgnoresCase)
{
    CListItem item;
    const std::u16string longText(70, u'x');
    item.SetCaption(longText.c_str());
    EXPECT_EQ(std::u16string(item.Caption()), std::u16string(61, u'x') + u"..");
    ListFixture f(0);
    for (const char16_t* c : {u"delta", u"Bravo", u"alpha", u"Charlie", u"bravo"})
        f.list->AddItem(c, nullptr, 0);
    f.list->Sort();
    std::u16string order;
    for (int i = 0; i < f.list->ItemCount(); ++i)
        order += std::u16string(f.list->GetItem(i)->Caption()) + u" ";
    EXPECT_EQ(order, u"alpha Bravo bravo Charlie delta ");
    EXPECT_EQ(f.list->GetItem(4)->targetY, 130);
}

TEST(ItemList, GlidingIsSeededAndStraightMovesJump)
{
    // Two lists with the same seed glide alike; without animation everything snaps.
    auto glide = [](uint32_t seed) {
        ListFixture f(9, 340, 260);
        f.list->SeedGlide(seed);
        f.list->SetPos(0, 0, 560, 260); // 5 columns now; cells glide from the 3-column places
        std::vector<int> xs;
        for (int step = 0; step < 3; ++step) {
            f.list->MoveItemsStep();
            xs.push_back(f.list->GetItem(8)->currentX);
            xs.push_back(f.list->GetItem(8)->currentY);
        }
        return xs;
    };
    EXPECT_EQ(glide(7), glide(7));

    ListFixture f(9, 340, 260);
    f.list->SetPos(0, 0, 560, 260);
    // Item 3 moves from (0,130) to (330,0): row and column change, it glides part of the way.
    // Item 5 moves from (220,130) to (0,130): its y stays, so it jumps at once.
    const int moving = f.list->MoveItemsStep();
    EXPECT_GT(moving, 0);
    const CListItem* three = f.list->GetItem(3);
    const CListItem* five = f.list->GetItem(5);
    EXPECT_GT(three->currentX, 0);
    EXPECT_LT(three->currentX, 330);
    EXPECT_EQ(five->currentX, 0);
    EXPECT_EQ(five->currentY, 130);
    int steps = 1;
    while (f.list->MoveItemsStep() && steps < 100)
        ++steps;
    EXPECT_LT(steps, 100);
    EXPECT_EQ(three->currentX, 330);
    EXPECT_EQ(three->currentY, 0);

    f.list->m_animation = 0;
    f.list->SetPos(0, 0, 340, 260);
    EXPECT_EQ(f.list->MoveItemsStep(), 0);
    EXPECT_EQ(three->currentX, three->targetX);
    EXPECT_EQ(three->currentY, three->targetY);
}

TEST(ItemList, DrawsOnlyTheCellsInViewAndAnEmptyListBlack)
{
    ListFixture empty(0, 200, 150);
    empty.t.Frame();
    EXPECT_EQ(empty.t.SurfacePixel(100, 75), 0u); // opaque black, BGR 0

    ListFixture f(1000, 340, 260); // 3 columns; two rows in view
    ImageBuffer8 picture = Solid(120, 90, 0, 200, 0);
    f.list->GetItem(4)->fallback = &picture;
    f.t.Frame();
    EXPECT_EQ(f.list->CellsDrawnLastFrame(), 6);
    EXPECT_TRUE(f.list->ScrollBarWidget().IsVisible());
    EXPECT_NE(f.list->GetItem(5)->captionImage.data, nullptr);
    // The picture of item 4 (cell 110..220 x 130..260) sits centred, bottom 20 above the cell's.
    int w = 0, h = 0;
    const std::vector<uint8_t> s = f.t.Input().ReadSurface(w, h);
    const uint8_t* green = &s[(size_t(130 + 130 - 20 - 10) * w + 165) * 4];
    EXPECT_GT(green[1], 120);
    EXPECT_LT(green[0], 40);
    // A wheel notch scrolls 120 pixels: three rows touch the view now.
    f.list->OnMouseWheel(10, 10, -120);
    EXPECT_EQ(f.list->ScrollOffset(), 120);
    f.t.Frame();
    EXPECT_EQ(f.list->CellsDrawnLastFrame(), 9);
    f.list->OnMouseWheel(10, 10, -1200);
    f.t.Frame();
    EXPECT_EQ(f.list->CellsDrawnLastFrame(), 9);
    EXPECT_EQ(f.list->GetItem(5)->captionImage.data, nullptr); // out of view: dropped
    // The scroll bar's position message moves the content to the bar.
    CSScrollBar& bar = f.list->ScrollBarWidget();
    bar.m_position.store(130 * 300);
    SpriteMessage m;
    m.code = MSG_SCROLL_POS;
    m.sender = &bar;
    f.list->OnSpriteMessage(&m);
    EXPECT_EQ(f.list->ScrollOffset(), 130 * 300);
    f.t.Frame();
    EXPECT_EQ(f.list->CellsDrawnLastFrame(), 6);
    m.code = MSG_SCROLL_LINE_UP;
    f.list->OnSpriteMessage(&m);
    EXPECT_EQ(f.list->ScrollOffset(), 130 * 300 - 4);
    f.list->RemoveAll();
    FreeImageBuffer(picture);
}

TEST(ItemList, HoverRisesToTheTopAndTellsTheList)
{
    ListFixture f(3);
    f.list->SetCurrentItem(1);
    std::vector<int> levels;
    for (int i = 0; i < 14; ++i) {
        f.t.Frame();
        levels.push_back(f.list->GetItem(1)->hoverLevel);
    }
    EXPECT_EQ(levels.front(), 64);
    EXPECT_EQ(levels[1], 78);
    EXPECT_EQ(levels.back(), 220);
    f.list->SetCurrentItem(-1);
    f.t.Frame();
    EXPECT_EQ(f.list->GetItem(1)->hoverLevel, 110);
}

// ---- the thumbnail loaders ----------------------------------------------------------------

namespace {

struct UiTickets : AlbumTicketRegistry {
    bool IsTicketAlive(uint32_t ticket) const override { return ::IsTicketAlive(int32_t(ticket)) != 0; }
};

struct LoaderLocks {
    platform::CriticalSection first, second;
    LoaderLocks() { SetThumbnailLoaderLocks(&first, &second); }
    ~LoaderLocks() { SetThumbnailLoaderLocks(nullptr, nullptr); }
};

bool HeldElsewhere(platform::CriticalSection& lock)
{
    bool free = false;
    std::thread probe([&] {
        free = lock.TryLock();
        if (free)
            lock.Unlock();
    });
    probe.join();
    return !free;
}

} // namespace

TEST(ItemList, RemoveAllTakesTheListLockThenFirstThenSecondLoader)
{
    ListFixture f(5);
    LoaderLocks locks;
    struct Case { const char* held; };
    for (const Case c : {Case{"first"}, Case{"second"}}) {
        SCOPED_TRACE(c.held);
        for (int i = f.list->ItemCount(); i < 5; ++i)
            f.list->AddItem(u"again", nullptr, i);
        platform::CriticalSection& held = std::string(c.held) == "first" ? locks.first : locks.second;
        held.Lock(); // a loader copying a picture
        std::atomic<bool> done{false};
        std::thread ui([&] {
            f.list->RemoveAll();
            done.store(true);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        EXPECT_FALSE(done.load()); // it waits for the loader
        EXPECT_TRUE(HeldElsewhere(f.list->Lock())); // with the list's lock held first
        if (&held == &locks.second)
            EXPECT_TRUE(HeldElsewhere(locks.first)); // and the first loader's before the second
        else
            EXPECT_FALSE(HeldElsewhere(locks.second));
        held.Unlock();
        ui.join();
        EXPECT_TRUE(done.load());
        EXPECT_EQ(f.list->ItemCount(), 0);
    }
}

TEST(ItemList, LoadersWriteIntoLiveItemsOnlyWhileTheListRefills)
{
    // The real loaders, as the album wires them, serving requests into list items while the
    // list deletes and refills them. Every request ends in the fallback picture (the paths are
    // not pictures), copied under the loader's lock only while the item's ticket lives.
    UiTickets tickets;
    CHelpLoaderThread thumb, full;
    thumb.tickets = full.tickets = &tickets;
    thumb.passOn = &full;
    ImageBuffer8 grey = Solid(64, 64, 90, 90, 90);
    ASSERT_TRUE(thumb.SetFallbackImage(grey));
    ASSERT_TRUE(full.SetFallbackImage(grey));
    SetThumbnailLoaderLocks(&thumb.queueLock, &full.queueLock);
    ListFixture f(0);
    ASSERT_TRUE(thumb.Start());
    ASSERT_TRUE(full.Start());
    int served = 0;
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 40; ++i)
            f.list->AddItem(u"photo", nullptr, i);
        f.list->Layout(true);
        for (int i = 0; i < 40; ++i) {
            CListItem* item = f.list->GetItem(i);
            LoaderRequest r;
            r.ticket = uint32_t(item->LoaderTicket());
            r.targetImage = &item->image;
            r.path = u"/nonexistent/folder-" + platform::String16(1, char16_t(u'a' + i % 26));
            (i % 2 ? full : thumb).QueueRequest(r);
        }
        f.t.Frame(); // the render side reads the pictures under the same locks
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
        for (int i = 0; i < f.list->ItemCount(); ++i) {
            const ImageBuffer8* p = f.list->GetItem(i)->GetPicture(100, true);
            served += p != nullptr;
        }
        f.list->RemoveAll();
    }
    thumb.Stop();
    full.Stop();
    SetThumbnailLoaderLocks(nullptr, nullptr);
    EXPECT_GT(served, 0); // some pictures arrived before their items went
    FreeImageBuffer(grey);
}

TEST(ItemList, KeysWalkOnFromTheClickedItemAfterAScrollBarDrag)
{
    ListFixture f(40000, 340, 260); // 3 columns of 130-pixel rows
    // The pointer rests on item 4, then the scroll bar is dragged far down (the list sees no
    // move over its cells meanwhile) and an item there is clicked.
    const CListItem* four = f.list->GetItem(4);
    f.list->OnMouseMove(four->currentX + 20, four->currentY - f.list->ScrollOffset() + 20, 0);
    ASSERT_EQ(f.list->CurrentItem(), 4);
    const int clicked = 39797;
    const CListItem* target = f.list->GetItem(clicked);
    // What the bar's drag reports: a position message from the bar.
    CSScrollBar& bar = f.list->ScrollBarWidget();
    bar.m_position.store(target->currentY - 60);
    SpriteMessage drag;
    drag.sender = &bar;
    drag.code = MSG_SCROLL_POS;
    f.list->OnSpriteMessage(&drag);
    const int scrolled = f.list->ScrollOffset();
    ASSERT_GT(scrolled, 1000000);
    f.Click(clicked, 0);
    EXPECT_EQ(f.Selected(), std::set<int>{clicked});
    struct Case { uint32_t key; int current; };
    const Case keys[] = {{39, clicked + 1}, {37, clicked}, {40, clicked + 3}};
    for (const Case& c : keys) {
        f.list->OnKeyDown(c.key, 1, 0);
        EXPECT_EQ(f.list->CurrentItem(), c.current) << c.key;
    }
    EXPECT_GE(f.list->ScrollOffset(), scrolled - 130) << "the view jumped away from the clicked item";
}
