// Panel sprites: glow levels and the tooltip, message sequences, the item boxes, icon and label
// placement, the background ramp and label wrapping.
#include "ui/Panel.h"
#include "ui/Tip.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct PanelFixture {
    UiTestWindow t;
    TestSprite* parent;
    CPanelSprite* panel;
    ImageBuffer8 icon;

    PanelFixture()
    {
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 600, 400));
        t.window->AddTopLevel(parent);
        panel = new CPanelSprite;
        panel->SetAutoDelete(1);
        EXPECT_TRUE(panel->Create(parent, nullptr, 4, 1, 50, 50, 350, 150));
        parent->AddChild(panel);
        EXPECT_TRUE(AllocImage8(icon, 16, 16));
        for (uint32_t i = 0; i < icon.pixelCount; ++i)
            std::memcpy(icon.data + size_t(i) * 4, "\x00\x00\xFF\xFF", 4); // opaque red
        // Three 100 x 50 items in a row; the third has no tooltip.
        EXPECT_TRUE(panel->AddItem(11, 0, nullptr, u"First", &icon, 0, 0, 100, 50));
        EXPECT_TRUE(panel->AddItem(12, 0, nullptr, u"Second", &icon, 100, 0, 200, 50));
        EXPECT_TRUE(panel->AddItem(13, 0, nullptr, nullptr, &icon, 200, 0, 300, 50));
    }
    ~PanelFixture() { FreeImageBuffer(icon); }

    struct Msg { int code; intptr_t p1; };
    std::vector<Msg> Messages()
    {
        t.Pump();
        std::vector<Msg> v;
        for (size_t i = 0; i < parent->codes.size(); ++i)
            if (parent->codes[i] >= MSG_PANEL_CLICK && parent->codes[i] <= MSG_PANEL_DBLCLK)
                v.push_back({parent->codes[i], parent->params[i]});
        return v;
    }
    uint32_t Pixel(int x, int y)
    {
        platform::ScopedLock lock(panel->Lock());
        uint32_t p = 0;
        std::memcpy(&p, panel->Image().data + (size_t(y) * panel->Image().width + x) * 4, 4);
        return p;
    }
    int Level(int id) { return panel->FindItem(id)->hoverLevel; }
};

} // namespace

TEST(Panel, GlowRisesAndFallsInFourFramesThenTheTooltipShows)
{
    PanelFixture f;
    CSTip& tip = *f.t.window->Tooltip();
    f.panel->OnMouseMove(50, 25, 0);
    EXPECT_EQ(f.panel->Hover(), 0);
    const int rising[] = {32, 64, 96, 128, 128};
    for (int i = 0; i < 5; ++i) {
        f.t.Frame();
        f.t.Pump(); // the tip is shown on the UI thread, when the frame's request arrives
        EXPECT_EQ(f.Level(11), rising[i]) << i;
        EXPECT_EQ(tip.IsVisible() != 0, i >= 3) << i;
    }
    EXPECT_EQ(std::u16string(tip.Text()), u"First");
    f.panel->OnMouseMove(150, 25, 0); // onto the next item: the tip goes, the glow moves
    EXPECT_FALSE(tip.IsVisible());
    const int falling[] = {96, 64, 32, 0};
    for (int i = 0; i < 4; ++i) {
        f.t.Frame();
        EXPECT_EQ(f.Level(11), falling[i]) << i;
        EXPECT_EQ(f.Level(12), rising[i]) << i;
    }
    // An item without a tooltip shows none.
    f.panel->OnMouseMove(250, 25, 0);
    for (int i = 0; i < 5; ++i)
        f.t.Frame();
    EXPECT_FALSE(tip.IsVisible());
    f.panel->OnMouseMove(400, 25, 0); // outside the panel
    EXPECT_EQ(f.panel->Hover(), -1);
}

TEST(Panel, PointerSequencesSendPressesClicksAndDoubleClicks)
{
    struct Step { char kind; int x, y; };
    struct Expect { int code; intptr_t p1; };
    struct Case {
        const char* name;
        bool disableFirst;
        std::vector<Step> steps;
        std::vector<Expect> messages;
    };
    const Case cases[] = {
        {"click", false, {{'D', 30, 20}, {'U', 30, 20}}, {{MSG_PANEL_PRESS, 11}, {MSG_PANEL_CLICK, 11}}},
        {"release on another item", false, {{'D', 30, 20}, {'M', 150, 20}, {'U', 150, 20}}, {{MSG_PANEL_PRESS, 11}}},
        {"leave with the button held", false, {{'D', 30, 20}, {'M', 500, 20}}, {{MSG_PANEL_PRESS, 11}, {MSG_PANEL_PRESS, 11}}},
        {"disabled item", true, {{'D', 30, 20}, {'U', 30, 20}}, {{MSG_PANEL_PRESS, 11}}},
        {"double click on the empty part", false, {{'D', 130, 20}, {'U', 130, 20}, {'C', 320, 80}},
         {{MSG_PANEL_PRESS, 12}, {MSG_PANEL_CLICK, 12}, {MSG_PANEL_DBLCLK, 12}}},
        {"double click before any press", false, {{'C', 30, 20}}, {}},
    };
    for (const Case& c : cases) {
        PanelFixture f;
        if (c.disableFirst)
            f.panel->EnableItem(11, 0);
        for (const Step& s : c.steps) {
            if (s.kind == 'D')
                f.panel->OnLButtonDown(s.x, s.y, 0);
            else if (s.kind == 'U')
                f.panel->OnLButtonUp(s.x, s.y, 0);
            else if (s.kind == 'M')
                f.panel->OnMouseMove(s.x, s.y, 0);
            else
                f.panel->OnLButtonDblClk(s.x, s.y, 0);
        }
        const auto got = f.Messages();
        ASSERT_EQ(got.size(), c.messages.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].code, c.messages[i].code) << c.name << " " << i;
            EXPECT_EQ(got[i].p1, c.messages[i].p1) << c.name << " " << i;
        }
    }
}

TEST(Panel, ClickPacksTheReleasePoint)
{
    // The recording parent keeps param1 only; read param2 through a parent of our own.
    struct Parent : TestSprite {
        int OnSpriteMessage(SpriteMessage* m) override
        {
            if (m->code == MSG_PANEL_CLICK)
                packed.push_back(uint32_t(m->param2));
            if (m->code == MSG_PANEL_PRESS)
                pressItems.push_back(m->param2);
            return TestSprite::OnSpriteMessage(m);
        }
        std::vector<uint32_t> packed;
        std::vector<intptr_t> pressItems;
    };
    UiTestWindow t;
    auto* parent = new Parent;
    parent->SetAutoDelete(1);
    ASSERT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 600, 400));
    t.window->AddTopLevel(parent);
    auto* panel = new CPanelSprite;
    panel->SetAutoDelete(1);
    ASSERT_TRUE(panel->Create(parent, nullptr, 4, 1, 0, 0, 300, 100));
    parent->AddChild(panel);
    ASSERT_TRUE(panel->AddItem(5, 0, u"A", nullptr, nullptr, 100, 20, 200, 80));
    panel->OnLButtonDown(137, 61, 0);
    panel->OnLButtonUp(137, 61, 0);
    panel->OnLButtonDown(150, 30, 0);
    panel->OnMouseMove(350, 30, 0);
    t.Pump();
    ASSERT_EQ(parent->packed.size(), 1u);
    EXPECT_EQ(parent->packed[0], (41u << 16) + 37u);
    ASSERT_EQ(parent->pressItems.size(), 3u);
    EXPECT_EQ(parent->pressItems[0], reinterpret_cast<intptr_t>(panel->FindItem(5)));
    EXPECT_EQ(parent->pressItems[2], 0);
}

TEST(Panel, BoxesIconsAndLabelsFollowTheItemState)
{
    PanelFixture f;
    f.panel->m_background.store(0);
    f.panel->SetItemChecked(11, 1);
    f.panel->EnableItem(13, 0);
    f.panel->OnLButtonDown(130, 45, 0); // item 12 pressed
    f.t.Frame();
    struct Case { const char* name; int x, y; uint32_t bgra; };
    const Case cases[] = {
        {"checked box", 2, 2, 0xFF000000u | 0x8A8A8Au},      // 160 * 220 / 255 = 138
        {"pressed box", 102, 2, 0xFF000000u | 0xA5A5A5u},    // 192 * 220 / 255 = 165
        {"disabled: no box", 202, 2, 0x00000000u},
        {"disabled icon at half", 250, 25, 0x00000000u},
    };
    for (const Case& c : cases) {
        const uint32_t p = f.Pixel(c.x, c.y);
        if (std::string(c.name) == "disabled icon at half") {
            EXPECT_NEAR(int((p >> 16) & 0xFF), 128, 2) << c.name;
            EXPECT_NEAR(int(p >> 24), 128, 2) << c.name;
        } else {
            EXPECT_EQ(p, c.bgra) << c.name;
        }
    }
    const uint32_t icon = f.Pixel(50, 25); // the checked item's icon at 255 of 256
    EXPECT_GE(int((icon >> 16) & 0xFF), 254);
    EXPECT_LE(int(icon & 0xFF), 2);
    // The glow box of a hovered item stays below the checked grey.
    PanelFixture g;
    g.panel->OnMouseMove(150, 25, 0);
    for (int i = 0; i < 5; ++i)
        g.t.Frame();
    EXPECT_EQ(g.Pixel(102, 2) & 0xFF, 128u * 220 / 255);
}

TEST(Panel, BackgroundRampsInTheLowestThirtyPercent)
{
    PanelFixture f;
    f.panel->UncheckAll();
    f.t.Frame();
    const int h = f.panel->Height(); // 100
    struct Case { int y, v; };
    const Case cases[] = {{60, 0}, {70, 0}, {71, 2}, {85, 30}, {99, 58}};
    for (const Case& c : cases)
        EXPECT_EQ(f.Pixel(295, c.y), 0xFF000000u | uint32_t(c.v) * 0x010101u) << c.y << " of " << h;
}

TEST(Panel, IconAndLabelShareTheItemByLayoutMode)
{
    struct Case { int mode, width, height; bool iconDrawn; int iconX, iconY; };
    // Label "Crop" at 14 pixels: the icon sits beside it in a wide item, above it in a tall one.
    const Case cases[] = {
        {0, 200, 40, true, -1, 12},   // beside, vertically centred
        {0, 40, 100, true, 12, -1},   // above, horizontally centred
        {1, 40, 100, false, 0, 0},    // beside or nothing
        {2, 200, 30, false, 0, 0},    // above or nothing
    };
    for (const Case& c : cases) {
        PanelFixture f;
        CPanelSprite* p = f.panel;
        f.panel->m_background.store(0);
        f.panel->m_layoutMode.store(c.mode);
        f.panel->SetPos(0, 0, 300, 100);
        ASSERT_TRUE(p->AddItem(99, PanelItem::kNoBox, u"Crop", nullptr, &f.icon, 0, 0, c.width, c.height));
        for (int id : {11, 12, 13})
            p->ShowItem(id, 0);
        f.t.Frame();
        int minX = 1000, minY = 1000, count = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const uint32_t px = f.Pixel(x, y);
                if (((px >> 16) & 0xFF) > 200 && (px & 0xFF) < 50) { // red icon pixels
                    minX = std::min(minX, x);
                    minY = std::min(minY, y);
                    ++count;
                }
            }
        EXPECT_EQ(count > 0, c.iconDrawn) << c.mode << " " << c.width;
        if (c.iconDrawn && c.iconX >= 0) {
            EXPECT_EQ(minX, c.iconX) << c.mode;
        }
        if (c.iconDrawn && c.iconY >= 0) {
            EXPECT_EQ(minY, c.iconY) << c.mode;
        }
    }
}

TEST(Panel, LabelsAreBoundedAndWrapped)
{
    PanelFixture f;
    ASSERT_TRUE(f.panel->AddItem(20, 0, u"Short", nullptr, nullptr, 0, 0, 200, 60));
    ASSERT_TRUE(f.panel->AddItem(21, 0, u"A rather long label here", nullptr, nullptr, 0, 0, 60, 60));
    ASSERT_TRUE(f.panel->AddItem(22, 0, u"This label runs well past thirty-one", nullptr, nullptr, 0, 0, 60, 60));
    const int oneLine = f.panel->FindItem(20)->labelImage.height;
    EXPECT_GE(f.panel->FindItem(21)->labelImage.height, oneLine + 12);
    EXPECT_LE(f.panel->FindItem(21)->labelImage.width, 50);
    EXPECT_EQ(std::u16string(f.panel->FindItem(22)->label), u"This label runs well past thi..");
    int index = 0;
    EXPECT_EQ(f.panel->FindItem(21, &index)->id, 21);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(f.panel->FindItem(77, &index), nullptr);
    EXPECT_EQ(index, -1);
    f.panel->SetItemChecked(77, 1); // unknown ids do nothing
    f.panel->SetItemIcon(11, nullptr);
    EXPECT_EQ(f.panel->FindItem(11)->icon.data, nullptr);
}
