// The engine's own widgets: button face and hover table, clicks and their messages, the busy
// ring's percentage, the click ripple, the fade-out, the dimmed dialog layer and the frame's
// hit zones.
#include "ui/Button.h"
#include "ui/Effects.h"
#include "ui/Frame.h"
#include "ui/Progress.h"
#include "ui/StaticText.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class RecordingWindow : public CRenderWindow {
public:
    void OnWindowMessage(uint32_t message, uintptr_t wParam, intptr_t) override
    {
        if (message == WM_SPRITE_BUTTON)
            buttonIds.push_back(int(wParam));
    }
    std::vector<int> buttonIds;
};

struct ButtonFixture {
    UiTestWindow t;
    TestSprite* parent;
    CSButton* button;

    explicit ButtonFixture(bool parentTakesMessages = true)
    {
        parent = new TestSprite(0xFF202020, parentTakesMessages);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 100, 100, 400, 300));
        t.window->AddTopLevel(parent);
        button = new CSButton;
        button->SetAutoDelete(1);
        EXPECT_TRUE(button->Create(parent, nullptr, 7, 0, 20, 20, 120, 50));
        EXPECT_TRUE(button->Setup(u"OK", nullptr, 0, 20, 20, 120, 50));
        parent->AddChild(button);
        t.Frame();
    }
    // Window point of a button-local point.
    SPoint At(int x, int y) { return button->LocalToWindowPoint({x, y}); }
    void Move(int x, int y) { const SPoint p = At(x, y); t.Input().InjectMouseMove(p); t.Pump(); }
    void Button(bool down, int x, int y)
    {
        const SPoint p = At(x, y);
        t.Input().InjectButton(platform::MouseButton::Left, down, p);
        t.Pump();
    }
};

int CommandCount(const TestSprite& s)
{
    return int(std::count(s.codes.begin(), s.codes.end(), MSG_COMMAND));
}

} // namespace

TEST(Button, FaceAlphaFollowsTheHoverLevelTable)
{
    const int expected[] = {68, 97, 125, 154, 182, 211, 240};
    for (int level = 0; level <= 6; ++level)
        EXPECT_EQ(CSButton::FaceFactor(level), expected[level]);
    EXPECT_EQ(CSButton::FaceFactor(14), 468);

    ButtonFixture f;
    CSButton& b = *f.button;
    auto checkFace = [&](int level) {
        platform::ScopedLock lock(b.Lock());
        const int factor = CSButton::FaceFactor(level);
        // The caption is inked over the middle rows; the face shows alone in the top and
        // bottom three rows.
        const int w = b.Image().width, h = b.Image().height;
        for (int y : {0, 1, 2, h - 3, h - 2, h - 1})
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(y) * w + x;
                const int red = b.m_face.data[i * 4 + 2];
                const int alpha = std::min(255, (red * factor) >> 8);
                ASSERT_EQ(b.Image().data[i * 4 + 3], alpha) << "level " << level << " at " << x << "," << y;
            }
    };
    checkFace(0);
    f.Move(50, 15);
    EXPECT_EQ(b.m_hovered.load(), 1);
    for (int level = 1; level <= 6; ++level) {
        f.t.Frame();
        ASSERT_EQ(b.HoverLevel(), level);
        checkFace(level);
    }
    f.t.Frame();
    EXPECT_EQ(b.HoverLevel(), 6) << "stays at 6 while hovered";
    f.Button(true, 50, 15);
    f.t.Frame();
    EXPECT_EQ(b.HoverLevel(), 14);
    checkFace(14);
}

TEST(Button, ClicksPostCommandsOnlyForReleasesInside)
{
    ButtonFixture f;
    struct Step { char what; int x, y; int commands; const char* why; };
    const Step steps[] = {
        {'m', 50, 15, 0, "enter"}, {'d', 50, 15, 0, "press"}, {'u', 50, 15, 1, "release inside clicks"},
        {'m', 50, 15, 1, "enter again"}, {'d', 50, 15, 1, "press"}, {'m', 150, 15, 1, "leave while pressed"},
        {'u', 150, 15, 1, "release outside: no click"},
        {'m', 50, 15, 1, "enter"}, {'d', 50, 15, 1, "press"}, {'m', 150, 15, 1, "leave"},
        {'m', 50, 15, 1, "back in"}, {'u', 50, 15, 2, "release inside after coming back clicks"},
    };
    for (const Step& s : steps) {
        if (s.what == 'm')
            f.Move(s.x, s.y);
        else
            f.Button(s.what == 'd', s.x, s.y);
        f.t.Pump();
        ASSERT_EQ(CommandCount(*f.parent), s.commands) << s.why;
    }
    EXPECT_EQ(f.parent->params.back(), 7) << "param1 is the button id";
    // Enter on a focused button clicks; a disabled one ignores mouse and Enter.
    f.t.window->SetFocus(f.button, true);
    f.t.clock.Advance(200);
    f.t.Input().InjectKey(platform::vk::Return, true);
    f.t.Pump();
    f.t.Pump();
    EXPECT_EQ(CommandCount(*f.parent), 3);
    f.button->SetEnabled(0);
    f.t.clock.Advance(200);
    f.t.Input().InjectKey(platform::vk::Return, false);
    f.t.Input().InjectKey(platform::vk::Return, true);
    f.Move(50, 15);
    f.Button(true, 50, 15);
    f.Button(false, 50, 15);
    f.t.Pump();
    EXPECT_EQ(CommandCount(*f.parent), 3);
    f.t.Frame();
    EXPECT_EQ(f.button->HoverLevel(), 0);
}

TEST(Button, CheckButtonTogglesAndKeepsItsLevel)
{
    ButtonFixture f;
    f.button->m_checkButton = 1;
    f.Move(50, 15);
    f.Button(true, 50, 15);
    f.Button(false, 50, 15);
    EXPECT_EQ(f.button->m_checked.load(), 1);
    f.t.Frame();
    const int level = f.button->HoverLevel();
    f.Move(250, 100); // leave
    for (int i = 0; i < 10; ++i)
        f.t.Frame();
    EXPECT_EQ(f.button->HoverLevel(), level) << "a checked button keeps its level";
    f.button->Click();
    EXPECT_EQ(f.button->m_checked.load(), 0);
}

TEST(Button, WithoutAMessageParentTheWindowGetsWmSpriteButton)
{
    auto* window = new RecordingWindow;
    UiTestWindow t(640, 480, 96, false, window);
    ASSERT_TRUE(t.opened);
    CSButton b;
    ASSERT_TRUE(b.Create(nullptr, window, 42, 10, 10, 10, 90, 40));
    ASSERT_TRUE(b.Setup(u"Go", nullptr, 0, 10, 10, 90, 40));
    b.Click();
    t.Pump();
    EXPECT_EQ(window->buttonIds, std::vector<int>{42});
}

TEST(Button, LongCaptionIsCutAndBecomesTheTooltip)
{
    ButtonFixture f;
    const char16_t* longText = u"A caption far too long for a button this narrow";
    CSButton b;
    ASSERT_TRUE(b.Create(f.parent, nullptr, 1, 0, 0, 0, 60, 24));
    ASSERT_TRUE(b.Setup(longText, nullptr, 0, 0, 0, 60, 24));
    EXPECT_EQ(std::u16string_view(b.Tooltip()), longText);
    EXPECT_LE(b.CaptionImage().width, 40);
    const int layouts = b.CaptionImage().width;
    b.SetText(b.Caption());
    EXPECT_EQ(b.CaptionImage().width, layouts);
    b.SetAllDirty(0);
    b.SetText(nullptr);
    EXPECT_EQ(b.AllDirty(), 1) << "null only redraws";
}

TEST(Progress, PercentageImageByValueAndSize)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    CSProgress& p = *t.window->BusyIndicator();
    struct Case { int side; int value; bool shows; int w, h; };
    const Case cases[] = {
        {100, 5, true, 32, 16}, {100, 99, true, 32, 16}, {100, 100, false, 0, 0}, {100, -3, false, 0, 0},
        {169, 50, true, 42, 27}, {168, 51, true, 53, 26}, {200, 0, true, 42, 27},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        p.Show(0);
        p.ResetPercent();
        p.SetPos(0, 0, c.side, c.side + 20);
        p.Show(1);
        p.SetPercent(c.value);
        EXPECT_EQ(p.ShowsPercent(), c.shows ? 1 : 0);
        if (c.shows) {
            EXPECT_EQ(p.PercentImage().width, c.w);
            EXPECT_EQ(p.PercentImage().height, c.h);
        }
    }
    // Same value again changes nothing; hidden rings take no value; hide-show keeps the value.
    p.SetPercent(7);
    p.SetAllDirty(0);
    p.SetPercent(7);
    EXPECT_EQ(p.AllDirty(), 0);
    p.Show(0);
    p.SetPercent(8);
    EXPECT_EQ(p.ShowsPercent(), 0);
    p.Show(1);
    p.SetPercent(7);
    EXPECT_EQ(p.ShowsPercent(), 0) << "the last value is kept across hide and show";
    p.SetPercent(9);
    EXPECT_EQ(p.ShowsPercent(), 1);
}

TEST(Progress, RingBandsAtTheirRadii)
{
    const int r = 100;
    // Points on the diagonal u = v at distance d: the angle comes out as 224 (the truncated
    // value of atan(1) + pi with the rounded pi).
    struct Case { double d; int a, b; int value; const char* why; };
    const Case cases[] = {
        {38.5, 0, 0, 192, "inner band"}, {30, 0, 0, 0, "inside the inner band"},
        {60, 0, 0, 144, "middle band"}, {90, 0, 0, 96, "outer band"},
        {78, 0, 0, 0, "between middle and outer"}, {101, 0, 0, 0, "outside"},
        {90, 0, 224, 0, "outer gap turned onto the point"}, {38.5, 0, 220, 0, "inner gap, 5 degrees off"},
        {38.5, 0, 213, 192, "just past the inner gap"},
        {60, 135, 0, 0, "middle gap turned onto the point"}, {60, 125, 0, 144, "just before the middle gap"},
        {0.5, 0, 0, 0, "centre"}, {90, 0, 44, 0, "the pattern repeats every 180 degrees"},
    };
    for (const Case& c : cases) {
        const double u = c.d / std::sqrt(2.0);
        EXPECT_EQ(ProgressRingSample(u, u, r, c.a, c.b), c.value) << c.why;
    }
    EXPECT_EQ(ProgressRingSample(0, 90, r, 0, 0), 0) << "on the horizontal axis the outer band has its gap";
    EXPECT_EQ(ProgressRingSample(90, 0, r, 0, 90), 96) << "v = 0: atan of an infinite quotient (angle 270)";
}

TEST(Effects, ClickWaveGrowsAndFinishesAfter500Ms)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    auto* wave = new CClickWave;
    wave->SetAutoDelete(1);
    ASSERT_TRUE(wave->Create(nullptr, t.window.get(), 0, 0, 0, 200, 200, 205));
    t.window->AddTopLevel(wave);
    const uint32_t start = platform::GetTickCount32();
    EXPECT_EQ(CClickWave::OuterRadius(255), 10);
    EXPECT_EQ(CClickWave::OuterRadius(0), 99);
    wave->Update(start);
    auto alphaAt = [&](int x, int y) { return wave->Image().data[(size_t(y) * 200 + x) * 4 + 3]; };
    EXPECT_EQ(alphaAt(105, 100), 255 >> 2) << "a ring of radius 10 at the start";
    EXPECT_EQ(alphaAt(100 + 50, 100), 0);
    wave->Update(start + 250);
    EXPECT_EQ(wave->Finished(), 0);
    wave->Update(start + 500);
    EXPECT_EQ(wave->Finished(), 1);
    // A clock that wrapped between start and now still ends the wave on time.
    CClickWave wrapped;
    ASSERT_TRUE(wrapped.Create(nullptr, nullptr, 0, 0, 0, 50, 50, 205));
    wrapped.Update(platform::GetTickCount32() + 100);
    EXPECT_EQ(wrapped.Finished(), 0);
    t.Frame(); // removes and frees the finished wave
}

TEST(Effects, FadeEndsAfterTwelveUpdates)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    t.Frame();
    t.window->PlayFadeEffect(nullptr, 100, 100, 200, 150);
    CSFadeEffect* fade = nullptr;
    for (CSprite* s : t.window->TopLevelSprites())
        if (auto* f = dynamic_cast<CSFadeEffect*>(s))
            fade = f;
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->Rect(), (SRect{90, 90, 210, 160}));
    std::vector<int> opacities;
    for (int i = 0; i < 13 && !fade->Finished(); ++i) {
        fade->Update(platform::GetTickCount32());
        opacities.push_back(fade->Opacity());
    }
    EXPECT_EQ(opacities.front(), 254);
    EXPECT_EQ(opacities[1], 230);
    EXPECT_EQ(fade->Finished(), 1);
    EXPECT_EQ(opacities.back(), 0);
    EXPECT_EQ(opacities.size(), 12u) << "eleven drawn frames, then the end";
    t.Frame();
}

TEST(Effects, DialogBaseLayerIsHalfBrightGrey)
{
    CDialogBaseLayer layer;
    ImageBuffer8 snap;
    AllocImage8(snap, 2, 1);
    const uint8_t px[8] = {10, 200, 100, 0, 255, 255, 255, 128};
    std::memcpy(snap.data, px, 8);
    layer.SetSnapshot(snap);
    const uint8_t* p = layer.Image().data;
    const int g0 = ((6 * 200 + 3 * 100 + 10) / 10) / 2;
    EXPECT_EQ(p[0], g0);
    EXPECT_EQ(p[1], g0);
    EXPECT_EQ(p[2], g0);
    EXPECT_EQ(p[3], 255);
    EXPECT_EQ(p[4], 127);
    EXPECT_EQ(p[7], 255);
    FreeImageBuffer(snap);
}

TEST(FrameSprite, HitZonesAndWindowAreas)
{
    struct Case { int x, y; int zone; };
    const int w = 1000, h = 700;
    const Case cases[] = {
        {0, 0, 0}, {500, 3, 1}, {995, 2, 2}, {3, 300, 4}, {500, 300, 5}, {993, 300, 6},
        {2, 695, 8}, {500, 693, 9}, {999, 699, 10}, {7, 7, 0}, {8, 8, 5},
        {992, 300, 5}, // "above width - 8" is strict
    };
    for (const Case& c : cases)
        EXPECT_EQ(CFrame::ZoneAt(c.x, c.y, w, h), c.zone) << c.x << "," << c.y;

    UiTestWindow t(w, h);
    ASSERT_TRUE(t.opened);
    t.Frame();
    CFrame& frame = *t.window->Frame();
    EXPECT_EQ(frame.Maximised(), 0) << "the window opened restored, and the frame knows it";
    frame.ToggleMaximised();
    t.Pump();
    EXPECT_EQ(frame.Maximised(), 1);
    EXPECT_EQ(frame.HitAreaAt(500, 10), platform::HitArea::Client) << "maximised: the window system does nothing";
    frame.ToggleMaximised();
    t.Pump();
    t.Frame();
    EXPECT_EQ(frame.Maximised(), 0);
    struct Area { int x, y; platform::HitArea area; };
    const Area areas[] = {
        {500, 10, platform::HitArea::Caption}, {500, 300, platform::HitArea::Client},
        {2, 2, platform::HitArea::TopLeft}, {frame.Width() - 2, 300, platform::HitArea::Right},
        {frame.CloseButton().Rect().left + 3, 12, platform::HitArea::Client},
    };
    for (const Area& a : areas)
        EXPECT_EQ(frame.HitAreaAt(a.x, a.y), a.area) << a.x << "," << a.y;
    // The buttons sit at y 8 from the right edge, 21 x 15.
    EXPECT_EQ(frame.CloseButton().Rect(), (SRect{frame.Width() - 29, 8, frame.Width() - 8, 23}));
    EXPECT_EQ(frame.MinimiseButton().Rect().left, frame.Width() - 73);
    // Its content: only the border and the top band.
    EXPECT_EQ(frame.HasContentIn({8, 64, 100, 100}), 0);
    EXPECT_EQ(frame.HasContentIn({7, 64, 100, 100}), 1);
    EXPECT_EQ(frame.HasContentIn({8, 63, 100, 100}), 1);
}

TEST(StaticText, RulesAndLabels)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    struct Case { SRect r; const char16_t* text; int rows; int columns; const char* why; };
    // rows/columns: how many rows (or columns) of the image carry ink.
    const Case cases[] = {
        {{0, 0, 200, 2}, u"ignored", 2, 0, "a 2-pixel horizontal rule: two lines, no text"},
        {{0, 0, 200, 1}, u"ignored", 1, 0, "a 1-pixel rule: one line"},
        {{0, 0, 2, 100}, u"ignored", 0, 2, "a vertical rule: two columns"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CSStaticText label;
        ASSERT_TRUE(label.Create(nullptr, 5, c.text, c.r.left, c.r.top, c.r.right, c.r.bottom));
        label.Update(1);
        const ImageBuffer8& img = label.Image();
        ASSERT_NE(img.data, nullptr);
        int inkRows = 0, inkColumns = 0;
        for (int y = 0; y < img.height; ++y) {
            bool any = false;
            for (int x = 0; x < img.width; ++x)
                any |= img.data[(size_t(y) * img.width + x) * 4 + 3] != 0;
            inkRows += any;
        }
        for (int x = 0; x < img.width; ++x) {
            bool any = false;
            for (int y = 0; y < img.height; ++y)
                any |= img.data[(size_t(y) * img.width + x) * 4 + 3] != 0;
            inkColumns += any;
        }
        if (c.rows) {
            EXPECT_EQ(inkRows, c.rows);
        }
        if (c.columns) {
            EXPECT_EQ(inkColumns, c.columns);
        }
    }
    CSStaticText label;
    ASSERT_TRUE(label.Create(nullptr, 7, u"Grey label", 0, 0, 200, 24));
    label.Update(1);
    char16_t buffer[64];
    label.GetText(buffer, 64, 0);
    EXPECT_EQ(std::u16string_view(buffer), u"Grey label");
    int grey = 0;
    for (uint32_t i = 0; i < label.Image().pixelCount; ++i)
        grey += label.Image().data[size_t(i) * 4 + 3] != 0;
    EXPECT_GT(grey, 20);
}

TEST(StaticText, DrawTextInRectAlignsAndClips)
{
    BuildAlphaTables();
    struct Case { int alignX, alignY; const char* why; };
    ImageBuffer8 target;
    AllocImage8(target, 300, 60);
    auto inkSpan = [&](int& left, int& right, int& top, int& bottom) {
        left = 1 << 30; right = -1; top = 1 << 30; bottom = -1;
        for (int y = 0; y < target.height; ++y)
            for (int x = 0; x < target.width; ++x)
                if (target.data[(size_t(y) * target.width + x) * 4 + 2]) {
                    left = std::min(left, x); right = std::max(right, x);
                    top = std::min(top, y); bottom = std::max(bottom, y);
                }
    };
    int spans[3][4];
    for (int a = 0; a < 3; ++a) {
        std::memset(target.data, 0, target.byteSize);
        ASSERT_TRUE(DrawTextInRect(target, u"Align", 0, 0xFFFFFF, a, a, 20, 10, 280, 50));
        inkSpan(spans[a][0], spans[a][1], spans[a][2], spans[a][3]);
        EXPECT_GE(spans[a][0], 20);
        EXPECT_LE(spans[a][1], 279);
        EXPECT_GE(spans[a][2], 10);
        EXPECT_LE(spans[a][3], 49);
    }
    EXPECT_LT(spans[0][0], spans[1][0]) << "start left of centre";
    EXPECT_LT(spans[1][0], spans[2][0]) << "centre left of end";
    EXPECT_LT(spans[0][2], spans[2][2]) << "top above bottom";
    FreeImageBuffer(target);
}

TEST(FrameSprite, DraggedWindowRectangles)
{
    const platform::Rect win{100, 50, 1300, 850}; // 1200 x 800 on the screen
    struct Case { int zone; platform::Point cursor; int pressX, pressY; double scale; platform::Rect expected; const char* why; };
    const Case cases[] = {
        {3, {400, 70}, 200, 10, 1.0, {200, 60, 1400, 860}, "title: the press point stays under the pointer"},
        {3, {400, 70}, 200, 10, 1.5, {100, 55, 1300, 855}, "title at 1.5: the press point in window pixels"},
        {3, {-50, -5}, 200, 10, 2.0, {-450, -25, 750, 775}, "title: off the screen's left is allowed"},
        {0, {150, 80}, 0, 0, 1.0, {150, 80, 1300, 850}, "top-left corner follows"},
        {4, {330, 400}, 0, 0, 1.0, {100, 50, 1300, 850}, "left edge: 970 wide would be too narrow"},
        {4, {319, 400}, 0, 0, 1.0, {319, 50, 1300, 850}, "left edge: 981 wide is allowed"},
        {4, {320, 400}, 0, 0, 1.0, {100, 50, 1300, 850}, "left edge: 980 wide is not"},
        {6, {1500, 400}, 0, 0, 1.0, {100, 50, 1500, 850}, "right edge follows"},
        {10, {1081, 661}, 0, 0, 1.0, {100, 50, 1081, 661}, "bottom-right: 981 x 611"},
        {10, {1080, 660}, 0, 0, 1.0, {100, 50, 1300, 850}, "bottom-right: 980 x 610 is refused"},
        {1, {700, 239}, 0, 0, 1.0, {100, 239, 1300, 850}, "top edge: 611 high"},
        {1, {700, 240}, 0, 0, 1.0, win, "top edge: 610 high is refused"},
        {9, {700, 2000}, 0, 0, 1.0, {100, 50, 1300, 2000}, "bottom edge follows"},
        {5, {700, 400}, 0, 0, 1.0, win, "inside: unchanged"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CFrame::DraggedWindowRect(win, c.cursor, c.zone, c.pressX, c.pressY, c.scale), c.expected) << c.why;
}

// A press on the title band drags the window with the pointer until the release; a double click
// there asks the window system to maximise, a second one to restore.
TEST(FrameSprite, TitleDragMovesTheWindowAndDoubleClickMaximises)
{
    UiTestWindow t(1000, 700);
    ASSERT_TRUE(t.opened);
    t.Frame();
    CFrame& frame = *t.window->Frame();
    ASSERT_EQ(frame.Maximised(), 0);
    platform::Window& w = t.Platform();
    w.MoveTo({200, 100, 1200, 800});
    t.Pump();
    t.Input().InjectMouseMove({300, 12});
    t.Pump();
    EXPECT_EQ(frame.StoredZone(), 3);
    t.Input().InjectButton(platform::MouseButton::Left, true, {300, 12});
    t.Pump();
    EXPECT_EQ(frame.Dragging(), 1);
    EXPECT_TRUE(t.Input().MouseCaptured());
    t.Input().InjectMouseMove({340, 2}); // the pointer at (540, 102) on the screen
    t.Pump();
    EXPECT_EQ(w.ScreenRect(), (platform::Rect{240, 90, 1240, 790}));
    t.Input().InjectButton(platform::MouseButton::Left, false, {300, 12});
    t.Pump();
    EXPECT_EQ(frame.Dragging(), 0);
    EXPECT_FALSE(t.Input().MouseCaptured());
    t.Input().InjectMouseMove({400, 12});
    t.Pump();
    EXPECT_EQ(w.ScreenRect(), (platform::Rect{240, 90, 1240, 790})) << "no drag after the release";

    struct Step { platform::WindowState state; int flag; };
    const Step steps[] = {{platform::WindowState::Maximized, 1}, {platform::WindowState::Normal, 0}};
    for (const Step& s : steps) {
        t.clock.Advance(2000);
        frame.OnLButtonDblClk(400, 12, 0);
        t.Pump();
        EXPECT_EQ(w.State(), s.state);
        EXPECT_EQ(frame.Maximised(), s.flag);
    }
    // Not on the title band: nothing.
    frame.OnMouseMove(400, 300, 0);
    frame.OnSetCursor(400, 300);
    frame.OnLButtonDblClk(400, 300, 0);
    t.Pump();
    EXPECT_EQ(w.State(), platform::WindowState::Normal);
}

TEST(Button, WidthForCaptionShowsTheWholeCaptionAndOnePixelLessCutsIt)
{
    ButtonFixture f;
    for (const char16_t* caption : {u"Nach links drehen", u"Nach rechts drehen", u"R\u00fcckg\u00e4ngig", u"OK"}) {
        const int width = CSButton::WidthForCaption(caption);
        ASSERT_GT(width, 20);
        CSButton whole, cut;
        ASSERT_TRUE(whole.Create(f.parent, nullptr, 1, 0, 0, 0, width, 30));
        ASSERT_TRUE(whole.Setup(caption, nullptr, 0, 0, 0, width, 30));
        EXPECT_EQ(std::u16string_view(whole.Tooltip()), u"") << "cut at its own width";
        ASSERT_TRUE(cut.Create(f.parent, nullptr, 2, 0, 0, 0, width - 1, 30));
        ASSERT_TRUE(cut.Setup(caption, nullptr, 0, 0, 0, width - 1, 30));
        EXPECT_EQ(std::u16string_view(cut.Tooltip()), caption) << "the width is the narrowest";
    }
}

namespace {

class DimmingPopup : public CPopupSprite {
public:
    DimmingPopup() { SetFlags(SF_INPUT | SF_DIM_POPUP); }
    int WantsDimmedBackground() override { return 1; }
};

} // namespace

TEST(Effects, DimmedPictureBehindADialogHasNoClickRingInIt)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    auto* ground = new TestSprite(0xFF406080, true);
    ground->SetAutoDelete(1);
    ASSERT_TRUE(ground->Create(nullptr, t.window.get(), 0, 1, 0, 0, 640, 480));
    t.window->AddTopLevel(ground);
    t.Frame();
    // A click (a menu item, say) starts the ring; the dialog it opens comes a frame later.
    t.Input().InjectMouseMove({300, 200});
    t.Pump();
    t.window->PlayClickWave();
    t.Frame();
    t.Frame();
    auto differs = [](const ImageBuffer8& img, int left, int top, int right, int bottom, const uint8_t* ref) {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                n += std::memcmp(img.data + (size_t(y) * img.width + x) * 4, ref, 3) != 0;
        return n;
    };
    {
        platform::ScopedLock lock(t.window->RenderLock());
        const ImageBuffer8& back = t.window->BackBuffer();
        const uint8_t ground3[3] = {0x80, 0x60, 0x40};
        ASSERT_GT(differs(back, 200, 100, 400, 300, ground3), 0) << "the ring is in the back buffer";
    }
    DimmingPopup popup;
    ASSERT_TRUE(popup.Create(nullptr, t.window.get(), 0, 160, 100, 100, 200, 150));
    t.window->PushModal(&popup);
    CDialogBaseLayer& layer = *t.window->DialogBaseLayer();
    ASSERT_TRUE(layer.IsVisible());
    {
        platform::ScopedLock lock(layer.Lock());
        const ImageBuffer8& dim = layer.Image();
        ASSERT_NE(dim.data, nullptr);
        const uint8_t grey = uint8_t(((6 * 0x60 + 3 * 0x40 + 0x80) / 10) / 2);
        const uint8_t expected[3] = {grey, grey, grey};
        EXPECT_EQ(differs(dim, 200, 100, 400, 300, expected), 0) << "the ring stays in the dimmed picture";
    }
    t.window->PopModal(&popup);
}
