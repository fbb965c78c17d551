// Tab frames: tab extents, first page, switching with and without the fade, removal renumbering,
// keys and clicks, scroll arrows, headers and the bottom strip.
#include "ui/DialogSprite.h"
#include "ui/TabFrame.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Icons "w<N>.png" are N x 16 pixels of opaque red; the strip pictures are plain; everything
// else comes from the drawn stand-ins.
int TestImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    std::u16string n(name);
    int width = 0;
    if (n.size() > 5 && n[0] == u'w' && n.ends_with(u".png")) {
        for (size_t i = 1; i < n.size() - 4; ++i)
            width = width * 10 + (n[i] - u'0');
    } else if (n == u"roundframe.png" || n == u"tabtitlebk.png" || n == u"left.png" || n == u"right.png") {
        width = 24;
    }
    if (width <= 0)
        return DrawnUiImage(folder, name, out);
    if (!AllocImage8(out, width, n == u"tabtitlebk.png" ? 24 : 16))
        return 0;
    const uint32_t colour = n == u"roundframe.png" ? 0xFF101010 : n == u"tabtitlebk.png" ? 0xFF303030 : 0xFF0000FF;
    for (uint32_t i = 0; i < out.pixelCount; ++i)
        std::memcpy(out.data + size_t(i) * 4, &colour, 4);
    return 1;
}

class TestPage : public CSTabPage {
public:
    TestPage(const char16_t* title, uint32_t colour) : CSTabPage(title), m_colour(colour) {}
    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        for (uint32_t i = 0; i < m_image.pixelCount; ++i)
            std::memcpy(m_image.data + size_t(i) * 4, &m_colour, 4);
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
    int OnPageEnter() override { ++enters; return refuse ? 0 : 1; }
    void OnPageLeave() override { ++leaves; }
    int enters = 0, leaves = 0;
    bool refuse = false;

private:
    uint32_t m_colour;
};

struct AnimationSetting {
    explicit AnimationSetting(int on) : saved(g_bAnimation.load()) { g_bAnimation.store(on); }
    ~AnimationSetting() { g_bAnimation.store(saved); }
    int saved;
};

template <class Frame = CSTabFrame>
struct TabFixture {
    UiTestWindow t;
    TestSprite* parent;
    Frame* frame;
    std::vector<TestPage*> pages;

    explicit TabFixture(int width = 400, int height = 300)
    {
        SetUiImageSource(&TestImages);
        ResetSharedUiImages();
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 600, 460));
        t.window->AddTopLevel(parent);
        frame = new Frame;
        frame->SetAutoDelete(1);
        EXPECT_TRUE(frame->Create(parent, nullptr, 5, 20, 20, 20 + width, 20 + height, 1));
        parent->AddChild(frame);
        frame->SetPos(20, 20, width, height);
        frame->m_fadeWaitStep = [this] { t.Frame(); };
    }
    // Pages whose headers are icons of the given widths; each page keeps a distinct colour.
    void AddPages(std::initializer_list<int> widths)
    {
        for (int w : widths) {
            const std::u16string title = u"icon:[w" + Digits(w) + u".png]";
            auto* p = new TestPage(title.c_str(), 0xFF000000u | uint32_t(40 * (pages.size() + 1)));
            p->SetAutoDelete(1);
            EXPECT_GE(frame->AddPage(p), 0);
            pages.push_back(p);
        }
    }
    static std::u16string Digits(int v)
    {
        std::u16string s;
        for (char c : std::to_string(v))
            s += char16_t(c);
        return s;
    }
    int TabChangedCount()
    {
        t.Pump();
        return int(std::count(parent->codes.begin(), parent->codes.end(), MSG_TAB_CHANGED));
    }
    std::vector<int> VisiblePages()
    {
        std::vector<int> v;
        for (size_t i = 0; i < pages.size(); ++i)
            if (frame->FindPage(pages[i]) >= 0 && pages[i]->IsVisible())
                v.push_back(frame->FindPage(pages[i]));
        return v;
    }
};

} // namespace

TEST(TabFrame, TabExtentsAddHeaderWidthAndPadding)
{
    TabFixture<> f;
    f.AddPages({30, 50, 7});
    struct Case { int index, start, end; };
    const Case cases[] = {{0, 0, 50}, {1, 50, 120}, {2, 120, 147}, {-1, -1, -1}, {-5, -1, -1}};
    for (const Case& c : cases) {
        int s = 99, e = 99;
        f.frame->GetTabExtent(c.index, &s, &e);
        EXPECT_EQ(s, c.start) << c.index;
        EXPECT_EQ(e, c.end) << c.index;
    }
    int s = 99, e = 99;
    f.frame->GetTabExtent(3, &s, &e); // past the end: nothing written
    EXPECT_EQ(s, 99);
    EXPECT_EQ(e, 99);
}

TEST(TabFrame, FirstPageIsSelectedQuietlyAndLaterPagesStartHidden)
{
    AnimationSetting anim(1);
    TabFixture<> f;
    f.AddPages({20, 20, 20});
    EXPECT_EQ(f.frame->Selected(), 0);
    EXPECT_EQ(f.frame->Previous(), -1);
    EXPECT_EQ(f.TabChangedCount(), 0);
    EXPECT_EQ(f.VisiblePages(), std::vector<int>{0});
    EXPECT_EQ(f.pages[0]->Id(), 1000);
    EXPECT_EQ(f.pages[2]->Id(), 1002);
    const SRect area = f.frame->PageArea();
    EXPECT_EQ(area.left, 10);
    EXPECT_EQ(area.top, 34);
    EXPECT_EQ(area.right, 390);
    EXPECT_EQ(area.bottom, 290);
    EXPECT_EQ(f.frame->AddPage(f.pages[1]), 1); // already there
    EXPECT_EQ(f.frame->PageCount(), 3);
}

TEST(TabFrame, SwitchWithoutAnimationIsImmediate)
{
    AnimationSetting anim(0);
    TabFixture<> f;
    f.AddPages({20, 20, 20});
    EXPECT_EQ(f.frame->SelectPage(f.pages[2], 0), 1);
    EXPECT_EQ(f.frame->Selected(), 2);
    EXPECT_EQ(f.frame->Previous(), 0);
    EXPECT_EQ(f.VisiblePages(), std::vector<int>{2});
    EXPECT_EQ(f.pages[0]->leaves, 1);
    EXPECT_EQ(f.TabChangedCount(), 1);
    EXPECT_EQ(f.parent->params.back(), 2);
    EXPECT_EQ(f.frame->SelectPage(f.pages[2], 0), 1); // already selected: nothing posted
    EXPECT_EQ(f.TabChangedCount(), 1);

    f.pages[1]->refuse = true;
    EXPECT_EQ(f.frame->SelectPage(f.pages[1], 0), 0);
    EXPECT_EQ(f.frame->Selected(), 2);
    EXPECT_EQ(f.pages[2]->leaves, 0);

    f.frame->m_switchingAllowed.store(0);
    EXPECT_EQ(f.frame->SelectPage(f.pages[0], 0), 0);
    EXPECT_EQ(f.frame->SelectPage(f.pages[0], 1), 1);
    EXPECT_EQ(f.frame->Selected(), 0);
}

TEST(TabFrame, AnimatedSwitchFadesOnePageIntoTheOther)
{
    AnimationSetting anim(1);
    TabFixture<> f;
    f.AddPages({20, 20});
    f.t.Frame();
    const SRect area = f.frame->PageArea();
    std::vector<int> levels;
    std::vector<uint32_t> pixels;
    f.frame->m_fadeWaitStep = [&] {
        f.t.Frame();
        levels.push_back(f.frame->FadeLevel());
        platform::ScopedLock lock(f.frame->Lock());
        uint32_t p = 0;
        std::memcpy(&p, f.frame->Image().data + (size_t(area.top + 5) * f.frame->Image().width + area.left + 5) * 4, 4);
        pixels.push_back(p & 0xFF);
    };
    EXPECT_EQ(f.frame->SelectPage(f.pages[1], 0), 1);
    const std::vector<int> expected = {96, 128, 160, 192, 224, 255};
    EXPECT_EQ(levels, expected);
    EXPECT_EQ(f.frame->AnimationState(), 0);
    EXPECT_EQ(f.frame->Direction(), 0);
    // Blue of page 0 is 40, of page 1 is 80: the blend runs from old to new.
    ASSERT_GE(pixels.size(), 5u);
    const int blended[] = {40, 80};
    for (size_t i = 0; i + 1 < 6 && i < pixels.size(); ++i) {
        const int level = 64 + 32 * int(i);
        EXPECT_EQ(int(pixels[i]), (blended[0] * (255 - level) + blended[1] * level) / 255) << i;
    }
    EXPECT_EQ(f.TabChangedCount(), 1);
    EXPECT_EQ(f.VisiblePages(), std::vector<int>{1});

    // Back to the left: the direction flag is set and the blend still starts at the old page.
    pixels.clear();
    levels.clear();
    EXPECT_EQ(f.frame->SelectPage(f.pages[0], 0), 1);
    EXPECT_EQ(f.frame->Direction(), 1);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(int(pixels[0]), (80 * (255 - 64) + 40 * 64) / 255);
}

TEST(TabFrame, AFadeTheRenderThreadNeverEndsFinishesByTheDeadline)
{
    AnimationSetting anim(1);
    TabFixture<> f;
    f.AddPages({20, 20});
    int steps = 0;
    f.frame->m_fadeWaitStep = [&] { ++steps; };
    f.frame->m_fadeWaitLimitMs = 200;
    EXPECT_EQ(f.frame->SelectPage(f.pages[1], 0), 1);
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(f.frame->AnimationState(), 0);
    EXPECT_EQ(f.frame->FadeLevel(), 255);
    EXPECT_EQ(f.VisiblePages(), std::vector<int>{1});
    EXPECT_EQ(f.TabChangedCount(), 1);
    f.t.Frame(); // nothing left to blend
    EXPECT_EQ(f.frame->AnimationState(), 0);
}

TEST(TabFrame, RemovingPagesKeepsIndicesOnTheSamePages)
{
    AnimationSetting anim(0);
    struct Case {
        const char* name;
        std::vector<int> selections; // after the first page
        int remove;
        int selected, previous; // after removal, as page numbers of the original list (-1 none)
    };
    const Case cases[] = {
        {"selected, previous valid and left", {3, 1}, 1, 3, -1},
        {"selected, previous right of it", {3}, 3, 0, -1},
        {"selected, previous lies right", {1, 3, 2}, 2, 3, -1},
        {"not selected, below selected", {2}, 1, 2, 0},
        {"not selected, above selected", {1}, 3, 1, 0},
        {"the previous page itself", {2, 1}, 2, 1, -1},
        {"first page while selected", {}, 0, 1, -1},
    };
    for (const Case& c : cases) {
        TabFixture<> f;
        f.AddPages({20, 20, 20, 20});
        for (int s : c.selections)
            f.frame->SelectPage(f.pages[s], 0);
        TestPage* removed = f.pages[c.remove];
        f.frame->RemovePage(removed);
        EXPECT_EQ(f.frame->PageCount(), 3) << c.name;
        EXPECT_EQ(f.frame->FindPage(removed), -1) << c.name;
        EXPECT_EQ(f.frame->GetSelectedPage(), f.pages[c.selected]) << c.name;
        EXPECT_TRUE(f.pages[c.selected]->IsVisible()) << c.name;
        EXPECT_EQ(f.frame->PageAt(f.frame->Previous()), c.previous < 0 ? nullptr : f.pages[c.previous]) << c.name;
        EXPECT_TRUE(removed->Detached()) << c.name;
        removed->ReleaseResources(1);
        delete removed;
    }
}

TEST(TabFrame, ArrowKeysStepWithoutWrapping)
{
    AnimationSetting anim(0);
    TabFixture<> f;
    f.AddPages({20, 20, 20});
    struct Case { uint32_t key; int expected; };
    const Case cases[] = {{37, 0}, {38, 0}, {39, 1}, {40, 2}, {39, 2}, {40, 2}, {65, 2}, {37, 1}, {38, 0}};
    for (const Case& c : cases) {
        f.frame->OnKeyDown(c.key, 1, 0);
        EXPECT_EQ(f.frame->Selected(), c.expected) << c.key;
    }
}

TEST(TabFrame, ClickSelectsOnlyWhenPressAndReleaseHitTheSameTab)
{
    AnimationSetting anim(0);
    TabFixture<> f;
    f.AddPages({30, 30, 30}); // tabs at 8..58, 58..108, 108..158 of the strip
    struct Case { int downX, upX; bool allowed; int expected; };
    const Case cases[] = {
        {80, 80, true, 1},   // same tab
        {80, 130, true, 1},  // pressed on one, released on another
        {130, 130, false, 1}, // switching off: no tab reacts
        {130, 130, true, 2},
        {58, 58, true, 2},    // the border between two tabs belongs to neither
    };
    for (const Case& c : cases) {
        f.frame->m_switchingAllowed.store(c.allowed ? 1 : 0);
        f.frame->OnLButtonDown(c.downX, 16, 0);
        f.frame->OnLButtonUp(c.upX, 16, 0);
        EXPECT_EQ(f.frame->Selected(), c.expected) << c.downX << " " << c.upX;
    }
    EXPECT_EQ(f.frame->TabFromPoint(30, 0), -1);  // on the strip's top edge
    EXPECT_EQ(f.frame->TabFromPoint(30, 31), 0);
    EXPECT_EQ(f.frame->TabFromPoint(30, 32), -1);
    f.frame->m_switchingAllowed.store(0);
    EXPECT_EQ(f.frame->TabFromPoint(30, 16), -1);
    EXPECT_EQ(f.frame->OnSetCursor(30, 16), 0);
    f.frame->m_switchingAllowed.store(1);
    EXPECT_EQ(f.frame->OnSetCursor(30, 16), 1); // another tab: hand
    EXPECT_EQ(f.frame->OnSetCursor(130, 16), 0); // the selected one
}

TEST(TabFrame, ScrollArrowsFollowTheHiddenTabs)
{
    AnimationSetting anim(0);
    struct Case { int width; std::initializer_list<int> tabs; bool right; };
    const Case cases[] = {
        {120, {80, 80}, false},      // two tabs never scroll, however narrow
        {120, {80, 80, 80}, true},
        {500, {80, 80, 80}, false},  // all fit
    };
    for (const Case& c : cases) {
        TabFixture<> f(c.width, 200);
        f.AddPages(c.tabs);
        f.frame->UpdateScrollButtons();
        EXPECT_EQ(f.frame->RightButton().IsVisible() != 0, c.right) << c.width;
        EXPECT_FALSE(f.frame->LeftButton().IsVisible());
    }
    TabFixture<> f(120, 200); // strip 8..70, 62 wide; tabs 0..100, 100..200, 200..300
    f.AddPages({80, 80, 80});
    f.frame->ScrollTabs(false);
    EXPECT_EQ(f.frame->ScrollTarget(), 100);
    f.t.Frame();
    f.t.Pump(); // the arrows follow on the UI thread when the slide's end is reported
    EXPECT_EQ(f.frame->Scroll(), 100);
    EXPECT_TRUE(f.frame->LeftButton().IsVisible());
    f.frame->ScrollTabs(false);
    EXPECT_EQ(f.frame->ScrollTarget(), 200);
    f.t.Frame();
    f.t.Pump();
    EXPECT_FALSE(f.frame->RightButton().IsVisible()); // the last tab starts at the strip's left end
    f.frame->ScrollTabs(false); // never past the last tab's start
    EXPECT_EQ(f.frame->ScrollTarget(), 200);
    f.frame->ScrollTabs(true);
    EXPECT_EQ(f.frame->ScrollTarget(), 100);
    f.frame->ScrollTabs(true);
    EXPECT_EQ(f.frame->ScrollTarget(), 0);
    // A click on the scrolled strip hits the tab under the point.
    f.frame->ScrollTabs(false);
    f.t.Frame();
    EXPECT_EQ(f.frame->TabFromPoint(20, 16), 1);
}

TEST(TabFrame, HighlightSlidesHalfWayEachFrame)
{
    AnimationSetting anim(0);
    TabFixture<> f;
    f.AddPages({30, 30, 30});
    f.t.Frame();
    EXPECT_EQ(f.frame->HighlightStart(), 0);
    EXPECT_EQ(f.frame->HighlightEnd(), 50);
    f.frame->SelectPage(f.pages[2], 0);
    f.t.Frame(); // the slide uses the old ticks, which lie in the past: it jumps
    EXPECT_EQ(f.frame->HighlightStart(), 100);
    EXPECT_EQ(f.frame->HighlightEnd(), 150);
    EXPECT_EQ(f.frame->AnimationState(), 0);
}

TEST(TabPage, HeadersFromIconAndTitle)
{
    TabFixture<> f;
    struct Case { const char16_t* title; bool ok; int iconWidth; bool text; };
    const Case cases[] = {
        {u"icon:[w12.png]Photos", true, 12, true},
        {u"icon:[w12.png]", true, 12, false},
        {u"Photos", true, 0, true},
        {u"icon:[w12.pngPhotos", false, 0, false},     // no closing bracket
        {u"icon:[missing.png]Photos", false, 0, false},
        {u"", false, 0, false},
    };
    for (const Case& c : cases) {
        auto* p = new TestPage(c.title, 0xFF000000);
        const int index = f.frame->AddPage(p);
        EXPECT_EQ(index >= 0, c.ok) << std::string(c.title, c.title + std::char_traits<char16_t>::length(c.title));
        if (index < 0) {
            p->ReleaseResources(1);
            delete p;
            continue;
        }
        p->SetAutoDelete(1);
        const ImageBuffer8& h = p->HeaderImage();
        ASSERT_TRUE(h.data);
        if (c.iconWidth) {
            EXPECT_EQ(h.data[0], 255); // the icon's blue
            EXPECT_EQ(h.data[3], 255);
        }
        if (c.iconWidth && c.text) {
            EXPECT_GT(h.width, c.iconWidth + 5);
            for (int x = c.iconWidth; x < c.iconWidth + 5; ++x)
                for (int y = 0; y < h.height; ++y)
                    EXPECT_EQ(h.data[(size_t(y) * h.width + x) * 4 + 3], 0);
        }
        if (c.iconWidth && !c.text) {
            EXPECT_EQ(h.width, c.iconWidth);
        }
        if (c.text) {
            int inked = 0;
            for (int x = c.iconWidth ? c.iconWidth + 5 : 0; x < h.width; ++x)
                for (int y = 0; y < h.height; ++y) {
                    const uint8_t* px = h.data + (size_t(y) * h.width + x) * 4;
                    if (px[3] > 0) {
                        EXPECT_EQ(px[0], 235);
                        ++inked;
                    }
                }
            EXPECT_GT(inked, 10);
        }
    }
    CSTabPage longTitle(u"A title far longer than the tab has room to keep");
    EXPECT_EQ(std::u16string(longTitle.Title()), u"A title far longer than the t..");
}

TEST(TabFrame, BottomStripMovesStripAndPageArea)
{
    TabFixture<CSVerticalTabFrame> f(400, 300);
    f.AddPages({30, 30, 30});
    EXPECT_EQ(f.frame->StripTop(), 265);
    EXPECT_EQ(f.frame->StripBottom(), 297);
    const SRect a = f.frame->PageArea();
    EXPECT_EQ(a.top, 5); // the area AddPage gives
    EXPECT_EQ(a.bottom, 260);
    f.frame->SetPos(20, 20, 400, 300);
    EXPECT_EQ(f.frame->PageArea().top, 10);
    EXPECT_EQ(f.frame->PageArea().bottom, 260);
    EXPECT_EQ(f.frame->TabFromPoint(30, 280), 0);
    EXPECT_EQ(f.frame->TabFromPoint(30, 16), -1);
    EXPECT_EQ(f.frame->RightButton().Rect().top, 271);
}
