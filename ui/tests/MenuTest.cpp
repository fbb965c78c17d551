// Menus: building rules, the keyboard walk over separators and disabled items, highlight
// collapse, upward opening with scroll and wheel, separator pixels, the choice and its
// messages, hot letters through parent menus, tips.
#include "ui/DialogSprite.h"
#include "ui/Menu.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

struct MenuFixture {
    UiTestWindow t;
    TestSprite* owner;
    CSMenu* menu;

    MenuFixture()
    {
        g_bAnimation.store(0);
        owner = new TestSprite(0xFF202020, true);
        owner->SetAutoDelete(1);
        EXPECT_TRUE(owner->Create(nullptr, t.window.get(), 0, 10, 0, 0, 640, 480));
        t.window->AddTopLevel(owner);
        menu = NewMenu();
        t.Frame();
    }
    ~MenuFixture()
    {
        // An owner takes its member menu out of the window before destroying it.
        for (CSMenu* m : menus) {
            t.window->Withdraw(m);
            delete m;
        }
        g_bAnimation.store(1);
    }
    std::vector<CSMenu*> menus; // owned like an owner's member menu: never auto-deleted
    CSMenu* NewMenu()
    {
        auto* m = new CSMenu;
        menus.push_back(m);
        EXPECT_TRUE(m->Create(nullptr, t.window.get(), 0, 200, 0, 0, 100, 100));
        m->SetVisible(0);
        t.window->AddTopLevel(m);
        return m;
    }
    void Settle()
    {
        for (int i = 0; i < 8; ++i) {
            t.Frame();
            t.Pump();
        }
    }
};

// A(1), separator, B(2, disabled), C(3), separator, D(4).
void BuildWalkMenu(CSMenu& m)
{
    m.AddItem(u"A", 1, u"Alpha", nullptr);
    m.AddItem(nullptr, 0, nullptr, nullptr);
    m.AddItem(u"B", 2, u"Beta", nullptr);
    m.AddItem(u"C", 3, u"Gamma", nullptr);
    m.AddItem(nullptr, 0, nullptr, nullptr);
    m.AddItem(u"D", 4, u"Delta", nullptr);
    m.EnableItem(2, 0);
}

} // namespace

TEST(Menu, BuildingRulesAndTips)
{
    MenuFixture f;
    CSMenu& m = *f.menu;
    EXPECT_TRUE(m.AddItem(u"C", 1, u"Copy", nullptr));
    EXPECT_FALSE(m.AddItem(u"C", 9, u"Again by letter", nullptr));
    EXPECT_FALSE(m.AddItem(u"X", 1, u"Again by id", nullptr));
    EXPECT_TRUE(m.AddItem(nullptr, 0, nullptr, nullptr));
    EXPECT_TRUE(m.AddItem(nullptr, 0, nullptr, nullptr)); // separators are never duplicates
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m.Item(1).height, 10);
    EXPECT_EQ(m.Item(0).height, 20);
    EXPECT_EQ(m.FindItem(u"C", 0), 0);
    EXPECT_EQ(m.FindItem(nullptr, 1), 0);
    EXPECT_EQ(m.FindItem(u"c", 0), -1);

    struct Tip { size_t length; size_t stored; bool dots; };
    const Tip tips[] = {{0, 0, false}, {10, 10, false}, {510, 510, false}, {511, 511, true}, {600, 511, true}};
    for (const Tip& tip : tips) {
        std::u16string text(tip.length, u't');
        m.SetItemTip(1, text.c_str());
        const std::u16string got = m.Item(0).tip;
        EXPECT_EQ(got.size(), tip.stored) << tip.length;
        if (tip.dots) {
            EXPECT_EQ(got.substr(509), u"..");
        }
    }
    m.SetItemTip(1, nullptr);
    EXPECT_EQ(m.Item(0).tip[0], 0);
}

TEST(Menu, KeyboardWalkSkipsSeparatorsAndDisabledItems)
{
    MenuFixture f;
    BuildWalkMenu(*f.menu);
    ASSERT_TRUE(f.menu->Track(f.owner, 100, 50, true, true));
    f.Settle();
    struct Step { uint32_t key; int current; };
    const Step steps[] = {
        {platform::vk::Down, 0}, {platform::vk::Down, 3}, {platform::vk::Down, 5},
        {platform::vk::Down, 0},  // wraps to the top
        {platform::vk::Up, 5},    // wraps to the bottom
        {platform::vk::Up, 3}, {platform::vk::Up, 0},
        {platform::vk::End, 5}, {platform::vk::Home, 0},
    };
    for (const Step& s : steps) {
        f.menu->OnKeyDown(s.key, 1, 0);
        EXPECT_EQ(f.menu->Current(), s.current) << "key " << s.key;
    }
    // Up with nothing highlighted starts from the bottom.
    f.menu->SetCurrent(-1);
    f.menu->OnKeyDown(platform::vk::Up, 1, 0);
    EXPECT_EQ(f.menu->Current(), 5);
}

TEST(Menu, HighlightCollapsesOnSeparatorsAndDisabledItemsAndEnterDoesNothing)
{
    MenuFixture f;
    BuildWalkMenu(*f.menu);
    ASSERT_TRUE(f.menu->Track(f.owner, 100, 50, true, true));
    f.Settle();
    CSMenu& m = *f.menu;
    struct Case { int index; bool collapsed; };
    const Case cases[] = {{0, false}, {1, true}, {2, true}, {3, false}, {4, true}};
    for (const Case& c : cases) {
        m.SetCurrent(c.index);
        const int y = m.ItemY(c.index), h = m.Item(c.index).height;
        EXPECT_EQ(m.BarTargetHeight(), c.collapsed ? 0 : h) << c.index;
        EXPECT_EQ(m.BarTargetY(), c.collapsed ? y + h / 2 : y) << c.index;
    }
    m.SetCurrent(2);
    m.OnKeyDown(platform::vk::Return, 1, 0);
    f.Settle();
    EXPECT_TRUE(m.IsVisible());
    EXPECT_EQ(std::count(f.owner->codes.begin(), f.owner->codes.end(), MSG_MENU_COMMAND), 0);
    // The bar slides to its target a third... two thirds of the way per frame, then snaps.
    m.SetCurrent(5);
    const int target = m.BarTargetY();
    f.t.Frame();
    EXPECT_NE(m.BarY(), target);
    f.Settle();
    EXPECT_EQ(m.BarY(), target);
}

TEST(Menu, ChoiceClosesThenPostsTheCommandIdToTheOwner)
{
    struct Case { const char* what; int how; int command; };
    const Case cases[] = {{"enter", 0, 3}, {"hot letter", 1, 4}, {"click", 2, 1}, {"escape", 3, 0}, {"click outside", 4, 0}};
    for (const Case& c : cases) {
        MenuFixture f;
        BuildWalkMenu(*f.menu);
        ASSERT_TRUE(f.menu->Track(f.owner, 100, 50, true, true));
        f.Settle();
        CSMenu& m = *f.menu;
        switch (c.how) {
        case 0: m.SetCurrent(3); m.OnKeyDown(platform::vk::Return, 1, 0); break;
        case 1: m.OnKeyDown('d', 1, 0); break;
        case 2: m.OnLButtonDown(20, m.ItemY(0) + 5, platform::kMouseLButton); break;
        case 3: m.OnKeyDown(platform::vk::Escape, 1, 0); break;
        case 4: m.OnLButtonDown(m.Width() + 200, 300, platform::kMouseLButton); break;
        }
        f.Settle();
        EXPECT_FALSE(m.IsVisible()) << c.what;
        EXPECT_EQ(m.Count(), 0) << c.what << ": items freed on close";
        EXPECT_EQ(f.t.window->TopModal(), nullptr) << c.what;
        const auto it = std::find(f.owner->codes.begin(), f.owner->codes.end(), MSG_MENU_COMMAND);
        if (c.command) {
            ASSERT_NE(it, f.owner->codes.end()) << c.what;
            EXPECT_EQ(f.owner->params[size_t(it - f.owner->codes.begin())], c.command) << c.what;
        } else {
            EXPECT_EQ(it, f.owner->codes.end()) << c.what;
        }
    }
}

TEST(Menu, HotLetterInASubMenuFallsBackToTheParent)
{
    MenuFixture f;
    CSMenu* sub = f.NewMenu();
    sub->AddItem(u"X", 20, u"Extra", nullptr);
    f.menu->AddItem(u"A", 1, u"Alpha", nullptr);
    f.menu->AddItemEx(u"S", 2, u"More", nullptr, nullptr, 0, sub);
    ASSERT_TRUE(f.menu->Track(f.owner, 100, 50, true, true));
    f.Settle();
    f.menu->SetCurrent(1); // opens the sub-menu
    f.Settle();
    ASSERT_EQ(f.menu->OpenSubMenu(), sub);
    EXPECT_TRUE(sub->IsVisible());
    EXPECT_GT(sub->Rect().left, f.menu->Rect().left);
    sub->OnKeyDown('a', 1, 0);
    f.Settle();
    EXPECT_FALSE(sub->IsVisible());
    EXPECT_FALSE(f.menu->IsVisible());
    const auto it = std::find(f.owner->codes.begin(), f.owner->codes.end(), MSG_MENU_COMMAND);
    ASSERT_NE(it, f.owner->codes.end());
    EXPECT_EQ(f.owner->params[size_t(it - f.owner->codes.begin())], 1);
}

TEST(Menu, UpwardOpeningTallerThanTheRoomScrollsToItsEnd)
{
    MenuFixture f;
    for (int i = 0; i < 200; ++i) {
        const std::u16string label = u"Item " + std::u16string(1, char16_t(u'A' + i % 26));
        f.menu->AddItem(nullptr, 100 + i, label.c_str(), nullptr);
    }
    ASSERT_TRUE(f.menu->Track(f.owner, 100, 460, true, true)); // no room below: it flips up
    f.Settle();
    CSMenu& m = *f.menu;
    EXPECT_EQ(m.ContentHeight(), 2 + 200 * 20);
    EXPECT_TRUE(m.m_opensUpward);
    const SRect panel = m.Panel();
    EXPECT_EQ(panel.top, 20);
    EXPECT_EQ(panel.bottom, 460);
    const int expectedScroll = 20 - (460 - m.ContentHeight());
    EXPECT_EQ(m.Scroll(), expectedScroll);
    EXPECT_TRUE(m.ScrollBar().IsVisible());
    // The last item ends at the panel's bottom.
    EXPECT_LE(m.ItemY(199) + 20, panel.bottom + 2);
    EXPECT_GE(m.ItemY(199) + 20, panel.bottom - 2);

    struct Wheel { int delta; int scroll; };
    const Wheel wheels[] = {{-120, expectedScroll}, {120, expectedScroll - 20}, {120, expectedScroll - 40}, {-120, expectedScroll - 20}};
    for (const Wheel& w : wheels) {
        m.OnMouseWheel(50, 200, w.delta);
        EXPECT_EQ(m.Scroll(), w.scroll) << w.delta;
        EXPECT_EQ(m.ScrollBar().m_position.load(), w.scroll);
    }
    for (int i = 0; i < 1000; ++i)
        m.OnMouseWheel(50, 200, 120);
    EXPECT_EQ(m.Scroll(), 0);
}

TEST(Menu, SeparatorAndPanelPixels)
{
    MenuFixture f;
    BuildWalkMenu(*f.menu);
    ASSERT_TRUE(f.menu->Track(f.owner, 100, 50, true, true));
    f.Settle();
    CSMenu& m = *f.menu;
    m.SetCurrent(-1);
    f.Settle();
    platform::ScopedLock lock(m.Lock());
    const ImageBuffer8& img = m.Image();
    ASSERT_TRUE(img.data);
    const int row = m.ItemY(1) + 5;
    for (int x = 0; x < img.width; ++x) {
        const uint8_t* p = img.data + (size_t(row) * img.width + x) * 4;
        const int d = 263 - x * 272 / img.width;
        if (d >= 1 && d <= 254) {
            EXPECT_EQ(p[0], ((705 - d) * 85) >> 8) << x;
            EXPECT_EQ(p[3], 240) << x;
        }
    }
    // Panel: the icon column shades 235 - x; the border is opaque; outside the panel clear.
    const int inner = m.ItemY(0) + 1;
    const uint8_t* p5 = img.data + (size_t(inner) * img.width + 5) * 4;
    EXPECT_EQ(p5[0], 230);
    EXPECT_EQ(p5[3], 240);
    const uint8_t* edge = img.data + (size_t(inner) * img.width + 0) * 4;
    EXPECT_EQ(edge[3], 255);
    const uint8_t* above = img.data + (size_t(m.Panel().top - 1) * img.width + 5) * 4;
    EXPECT_EQ(above[3], 0);
}
