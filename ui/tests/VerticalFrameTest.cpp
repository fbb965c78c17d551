// Vertical frames: layouts per mode, priorities that never close, clicks on titles, drawing of
// the title rows.
#include "ui/VerticalFrame.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct FramesFixture {
    UiTestWindow t;
    CSVerticalFrames* frames;
    std::vector<CSTabPage*> pages;

    explicit FramesFixture(int height)
    {
        frames = new CSVerticalFrames;
        frames->SetAutoDelete(1);
        EXPECT_TRUE(frames->Create(nullptr, t.window.get(), 3, 10, 0, 0, 200, height));
        t.window->AddTopLevel(frames);
    }
    void Add(int priority, int height)
    {
        auto* p = new CSTabPage(u"Panel");
        p->SetAutoDelete(1);
        EXPECT_EQ(frames->AddPanel(p, priority, height), int(pages.size()));
        pages.push_back(p);
    }
    std::string Open() const
    {
        std::string s;
        for (int i = 0; i < frames->PanelCount(); ++i)
            s += frames->PanelAt(i).expanded ? '1' : '0';
        return s;
    }
    void ClickTitle(int index)
    {
        const int y = frames->PanelAt(index).titleY + 10;
        frames->OnMouseMove(100, y, 0);
        frames->OnLButtonDown(100, y, 0);
        frames->OnLButtonUp(100, y, 0);
    }
};

} // namespace

TEST(VerticalFrames, LayoutsPerMode)
{
    struct Case {
        const char* name;
        int height;
        std::vector<std::pair<int, int>> panels; // priority, content height
        std::vector<int> clicks;                  // titles clicked in turn
        const char* open;
    };
    // Three panels leave 300 - 60 - 16 = 224 pixels of room in a 300-pixel column.
    const Case cases[] = {
        {"fill by priority", 300, {{10, 100}, {20, 100}, {5, 50}}, {}, "110"},
        {"opening closes the lowest priority", 300, {{10, 100}, {20, 100}, {5, 50}}, {2}, "011"},
        {"closing one leaves the others", 300, {{10, 100}, {20, 100}, {5, 50}}, {1}, "100"},
        {"priority 1000 never closes", 300, {{1000, 100}, {1000, 100}, {5, 30}}, {2}, "110"},
        {"equal priorities open in list order", 300, {{7, 100}, {7, 100}, {9, 30}}, {}, "101"},
        {"opening closes the lower of the others", 300, {{7, 100}, {7, 90}, {9, 60}}, {1}, "011"},
        {"no room at all", 60, {{1, 10}, {2, 10}}, {}, "00"},
        {"a panel exactly as tall as the room stays closed", 236, {{1, 50}, {2, 180}}, {}, "10"},
    };
    for (const Case& c : cases) {
        FramesFixture f(c.height);
        for (auto [priority, height] : c.panels)
            f.Add(priority, height);
        for (int click : c.clicks)
            f.ClickTitle(click);
        EXPECT_EQ(f.Open(), c.open) << c.name;
        // Titles and open pages are stacked from y 8 in list order.
        int y = 8;
        for (int i = 0; i < f.frames->PanelCount(); ++i) {
            const auto p = f.frames->PanelAt(i);
            EXPECT_EQ(p.titleY, y) << c.name << " " << i;
            y += 20;
            EXPECT_EQ(f.pages[i]->IsVisible() != 0, p.expanded != 0) << c.name << " " << i;
            if (p.expanded) {
                const SRect r = f.pages[i]->Rect();
                EXPECT_EQ(r.top, y) << c.name;
                EXPECT_EQ(r.left, 8) << c.name;
                EXPECT_EQ(r.Width(), 184) << c.name;
                EXPECT_EQ(r.Height(), p.contentHeight) << c.name;
                y += p.contentHeight;
            }
        }
    }
}

TEST(VerticalFrames, APanelThatCannotFitStaysClosedAndTheOthersKeepTheirPlace)
{
    FramesFixture f(300);
    f.Add(1, 100);
    f.Add(1000, 100);
    f.Add(2, 200);
    EXPECT_EQ(f.Open(), "110");
    const SRect before = f.pages[0]->Rect();
    f.ClickTitle(2);
    EXPECT_EQ(f.Open(), "010");
    // Closed on the way but not placed again until the next layout.
    EXPECT_TRUE(f.pages[0]->IsVisible());
    EXPECT_EQ(f.pages[0]->Rect().top, before.top);
    f.frames->SetPos(0, 0, 200, 300);
    EXPECT_EQ(f.Open(), "110");
    f.frames->SetPos(0, 0, 200, 500); // room 424: all fit
    EXPECT_EQ(f.Open(), "111");
}

TEST(VerticalFrames, AddingAPageTwiceKeepsOneEntry)
{
    FramesFixture f(300);
    f.Add(1, 50);
    EXPECT_EQ(f.frames->AddPanel(f.pages[0], 9, 80), 0);
    EXPECT_EQ(f.frames->PanelCount(), 1);
    EXPECT_EQ(f.frames->PanelAt(0).contentHeight, 50);
    EXPECT_EQ(f.pages[0]->Id(), 1);
    CSTabPage bad(u"icon:[nothing.png]x");
    EXPECT_EQ(f.frames->AddPanel(&bad, 1, 10), -1);
    EXPECT_EQ(f.frames->PanelCount(), 1);
}

TEST(VerticalFrames, TitleRowsShowHoverAndPress)
{
    FramesFixture f(300);
    f.Add(1, 50);
    f.Add(1, 50);
    const int y0 = f.frames->PanelAt(0).titleY, y1 = f.frames->PanelAt(1).titleY;
    f.frames->OnMouseMove(100, y1 + 5, 0);
    EXPECT_EQ(f.frames->Hovered(), 1);
    f.frames->OnLButtonDown(100, y1 + 5, 0);
    EXPECT_EQ(f.frames->PressedTitle(), 1);
    f.t.Frame();
    auto pixel = [&](int x, int y) {
        platform::ScopedLock lock(f.frames->Lock());
        uint32_t p = 0;
        std::memcpy(&p, f.frames->Image().data + (size_t(y) * f.frames->Image().width + x) * 4, 4);
        return p;
    };
    struct Case { int x, y; uint32_t expected; };
    const Case cases[] = {
        {8, y0, 0xC8404040u},                 // plain title, first row grey 64
        {8, y0 + 9, 0xC8000000u | 0x202020u}, // row 9: 64 * 9 / 18 = 32
        {8, y1 + 1, 0xFF404040u},             // pressed title
        {191, y0 + 19, 0xC8000000u | 0x434343u}, // last column, last row: 64 * 19 / 18 = 67
    };
    for (const Case& c : cases)
        EXPECT_EQ(pixel(c.x, c.y), c.expected) << c.x << " " << c.y;
    f.frames->OnMouseMove(100, y0 + 5, 0); // moved to the other title: release there gives nothing
    f.frames->OnLButtonUp(100, y0 + 5, 0);
    EXPECT_EQ(f.Open(), "11");
    f.frames->OnMouseMove(500, 5, 0);
    EXPECT_EQ(f.frames->Hovered(), -1);
}
