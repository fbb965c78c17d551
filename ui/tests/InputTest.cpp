// Input dispatch through the headless backend: the repeat filter, focus cycling, the modal
// stack, capture and its 32-pixel release, display-scale conversion, accelerators and the
// focus marker.
#include "ui/FocusIndicate.h"
#include "ui/Frame.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TestSprite* AddTop(CRenderWindow& w, SRect r, bool focusable, int z = 10)
{
    auto* s = new TestSprite(0xFF505050, true, focusable);
    s->SetAutoDelete(1);
    EXPECT_TRUE(s->Create(nullptr, &w, 0, z, r.left, r.top, r.right, r.bottom));
    w.AddTopLevel(s);
    return s;
}

TestSprite* AddChild(CSprite& parent, SRect r, bool focusable)
{
    auto* s = new TestSprite(0xFF707070, true, focusable);
    s->SetAutoDelete(1);
    EXPECT_TRUE(s->Create(&parent, nullptr, 0, 0, r.left, r.top, r.right, r.bottom));
    parent.AddChild(s);
    return s;
}

class TestPopup : public CPopupSprite {
public:
    TestPopup() { SetFlags(SF_INPUT); }
    void OnLButtonDown(int x, int y, uint32_t f) override { clicks.push_back({x, y}); CPopupSprite::OnLButtonDown(x, y, f); }
    std::vector<SPoint> clicks;
};

void Click(UiTestWindow& t, int x, int y)
{
    t.Input().InjectMouseMove({x, y});
    t.Input().InjectButton(platform::MouseButton::Left, true, {x, y});
    t.Input().InjectButton(platform::MouseButton::Left, false, {x, y});
    t.Pump();
}

void Key(UiTestWindow& t, uint32_t vk)
{
    t.Input().InjectKey(vk, true);
    t.Input().InjectKey(vk, false);
    t.Pump();
}

} // namespace

TEST(InputKeys, HeldKeyRepeatsAtMostEvery100Ms)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* s = AddTop(*t.window, {10, 100, 50, 140}, true);
    t.Frame();
    t.window->SetFocus(s, true);
    struct Step { uint32_t key; int advance; bool delivered; };
    const Step steps[] = {
        {'A', 0, true}, {'A', 50, false}, {'A', 70, true},          // 0, 50, 120 ms
        {'A', 200, true}, {'B', 10, true}, {'A', 10, true}, {'B', 10, true}, // alternating
    };
    size_t expected = 0;
    for (const Step& st : steps) {
        t.clock.Advance(st.advance);
        Key(t, st.key);
        if (st.delivered)
            ++expected;
        ASSERT_EQ(s->keys.size(), expected) << "key " << char(st.key) << " after " << st.advance << " ms";
    }
}

TEST(InputFocus, TabCyclesAndWraps)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* s1 = AddTop(*t.window, {10, 100, 50, 140}, true);
    AddTop(*t.window, {60, 100, 100, 140}, false); // takes input but no focus
    TestSprite* s2 = AddTop(*t.window, {110, 100, 150, 140}, true);
    TestSprite* s3 = AddTop(*t.window, {160, 100, 200, 140}, true);
    t.Frame();
    CFrame& frame = *t.window->Frame();
    t.window->SetFocus(s1, false);
    struct Step { bool shift; CMessageSprite* expected; };
    const Step steps[] = {
        {false, s2}, {false, s3},
        {false, &frame.CloseButton()}, // after the last: the first of the order (the frame's buttons come first)
        {true, s3},                    // Shift+Tab before the first: the last
        {true, s2}, {true, s1},
    };
    for (const Step& st : steps) {
        t.clock.Advance(200);
        if (st.shift)
            t.Input().InjectKey(platform::vk::Shift, true);
        Key(t, platform::vk::Tab);
        if (st.shift)
            t.Input().InjectKey(platform::vk::Shift, false);
        t.Pump();
        EXPECT_EQ(t.window->Focus(), st.expected);
    }
}

TEST(InputFocus, MarkerOpacityByKeyboardMouseAndNoMarkFlag)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* plain = AddTop(*t.window, {10, 100, 60, 150}, true);
    TestSprite* quiet = AddTop(*t.window, {100, 100, 150, 150}, true);
    quiet->SetFlags(quiet->Flags() | SF_NO_MOUSE_FOCUS);
    t.Frame();
    CSFocusIndicate& marker = *t.window->FocusMarker();
    struct Case { int x, y; TestSprite* sprite; int opacity; };
    const Case byMouse[] = {{20, 110, plain, 32}, {120, 110, quiet, 0}};
    for (const Case& c : byMouse) {
        Click(t, c.x, c.y);
        EXPECT_EQ(t.window->Focus(), c.sprite);
        EXPECT_EQ(marker.Opacity(), c.opacity);
        EXPECT_TRUE(marker.IsVisible());
        EXPECT_EQ(marker.Rect(), c.sprite->Rect()) << "the marker surrounds the focused sprite";
    }
    t.window->SetFocus(plain, true);
    t.window->SetFocus(quiet, true);
    EXPECT_EQ(marker.Opacity(), 255) << "reached by keyboard: full opacity even with the no-mark flag";
    // The marker fades by 12 a frame down to 32.
    for (int i = 0; i < 30; ++i)
        t.Frame();
    EXPECT_EQ(marker.Opacity(), 32);
}

TEST(InputFocus, ClickFocusesTheDeepestFocusableDescendant)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* panel = AddTop(*t.window, {100, 100, 300, 300}, false);
    TestSprite* group = AddChild(*panel, {10, 10, 150, 150}, false);
    TestSprite* field = AddChild(*group, {20, 20, 60, 40}, true);
    t.Frame();
    Click(t, 135, 135); // panel (100) + group (10) + field (20) + 5
    EXPECT_EQ(t.window->Focus(), field);
    ASSERT_FALSE(field->events.empty());
    EXPECT_EQ(field->events.front().x, 5);
    EXPECT_EQ(field->events.front().y, 5);
    Click(t, 250, 250);
    EXPECT_EQ(t.window->Focus(), field) << "a click on a sprite that cannot focus keeps the focus";
}

TEST(InputModal, DialogTakesEveryClickAndOnlyItsSpritesGetKeys)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* outside = AddTop(*t.window, {10, 100, 60, 150}, true);
    TestPopup popup;
    ASSERT_TRUE(popup.Create(nullptr, t.window.get(), 0, 160, 200, 100, 400, 300));
    TestSprite* inside = AddChild(popup, {10, 10, 60, 40}, true);
    TestSprite* inside2 = AddChild(popup, {10, 50, 60, 80}, true);
    t.window->PushModal(&popup);
    t.Frame();
    EXPECT_EQ(t.window->Focus(), &popup);
    Click(t, 20, 110);
    ASSERT_EQ(popup.clicks.size(), 1u);
    EXPECT_EQ(popup.clicks[0].x, 20 - 200) << "the dialog sees a point outside its rectangle";
    EXPECT_TRUE(outside->events.empty());
    // Tab cycles only inside the dialog.
    Key(t, platform::vk::Tab);
    EXPECT_EQ(t.window->Focus(), inside);
    t.clock.Advance(200);
    Key(t, platform::vk::Tab);
    EXPECT_EQ(t.window->Focus(), inside2);
    t.clock.Advance(200);
    Key(t, platform::vk::Tab);
    EXPECT_EQ(t.window->Focus(), inside);
    // A focus outside the dialog receives no keys.
    t.window->SetFocus(outside, true);
    t.clock.Advance(200);
    Key(t, 'X');
    EXPECT_TRUE(outside->keys.empty());
    t.window->PopModal(&popup);
    EXPECT_EQ(t.window->Focus(), nullptr);
    EXPECT_EQ(popup.Detached(), 1);
    t.Frame(); // leaves the top-level list
    for (CSprite* s : t.window->TopLevelSprites())
        EXPECT_NE(s, &popup);
}

TEST(InputCapture, CapturedSpriteKeepsMovesUntilThePointerIs32PixelsAway)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* s = AddTop(*t.window, {100, 100, 200, 200}, false);
    TestSprite* other = AddTop(*t.window, {250, 100, 300, 200}, false);
    t.Frame();
    t.window->SetCapture(s);
    struct Step { int x, y; bool tick, released; };
    const Step steps[] = {
        {260, 150, false, false}, // over another sprite, 60 px outside: moves still go to the captor
        {220, 150, true, false},  // 20 px outside at the tick: kept
        {231, 150, true, false},  // 31 px: kept
        {240, 150, true, true},   // 40 px: released at the tick
    };
    for (const Step& st : steps) {
        const size_t before = s->events.size();
        t.Input().InjectMouseMove({st.x, st.y});
        t.Pump();
        if (!s->captureReleased) {
            ASSERT_EQ(s->events.size(), before + 1);
            EXPECT_EQ(s->events.back().flags & kCaptureDelivery, kCaptureDelivery);
            EXPECT_EQ(s->events.back().x, st.x - 100);
        }
        if (st.tick) {
            t.clock.Advance(1000);
            t.Pump();
        }
        EXPECT_EQ(s->captureReleased, st.released ? 1 : 0) << st.x;
    }
    EXPECT_TRUE(other->events.empty());
    EXPECT_TRUE(t.window->CaptureList().empty());
}

TEST(InputScale, ClickAtScaleTwoReachesTheLogicalPoint)
{
    UiTestWindow t(1280, 960, 192);
    ASSERT_TRUE(t.opened);
    TestSprite* s = AddTop(*t.window, {90, 40, 110, 60}, false);
    t.Frame();
    Click(t, 200, 100);
    ASSERT_FALSE(s->events.empty());
    const auto& down = s->events[1];
    EXPECT_EQ(down.kind, 'D');
    EXPECT_EQ(down.x, 10);
    EXPECT_EQ(down.y, 10);
}

TEST(InputKeys, AcceleratorsFireTogetherAndKeepTheKeyFromTheFocus)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* a = AddTop(*t.window, {10, 100, 50, 140}, true);
    TestSprite* b = AddTop(*t.window, {60, 100, 100, 140}, true);
    TestSprite* focus = AddTop(*t.window, {110, 100, 150, 140}, true);
    t.window->AddAccelerator(a, 'S', 0, 1);
    t.window->AddAccelerator(b, 'S', 0, 1);
    t.window->AddAccelerator(b, 'S', 0, 1); // identical: kept once
    t.Frame();
    t.window->SetFocus(focus, true);
    t.Input().InjectKey(platform::vk::Control, true);
    Key(t, 'S');
    t.Input().InjectKey(platform::vk::Control, false);
    t.Pump();
    EXPECT_EQ(a->keys.size(), 1u);
    EXPECT_EQ(b->keys.size(), 1u);
    EXPECT_EQ(focus->keys, std::vector<uint32_t>{platform::vk::Control}) << "S went to the accelerators only";
    t.clock.Advance(200);
    Key(t, 'S'); // without Ctrl: no accelerator, the focus gets it
    EXPECT_EQ(a->keys.size(), 1u);
    EXPECT_EQ(focus->keys.back(), uint32_t('S'));
    t.window->RemoveAccelerators(a);
    t.clock.Advance(200);
    t.Input().InjectKey(platform::vk::Control, true);
    Key(t, 'S');
    EXPECT_EQ(a->keys.size(), 1u);
    EXPECT_EQ(b->keys.size(), 2u);
}

TEST(InputActivation, InactiveWindowIgnoresTheMouseButNotKeys)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* s = AddTop(*t.window, {100, 100, 200, 200}, true);
    t.Frame();
    t.window->SetFocus(s, true);
    t.Input().InjectActivate(false);
    t.Pump();
    Click(t, 150, 150);
    EXPECT_TRUE(s->events.empty());
    Key(t, 'K');
    EXPECT_EQ(s->keys.size(), 1u);
}

TEST(InputMouse, WheelAndDropsReachTheSpriteUnderThePointInItsCoordinates)
{
    UiTestWindow t(1280, 960, 192); // scale 2: window pixels halve
    ASSERT_TRUE(t.opened);
    TestSprite* s = AddTop(*t.window, {100, 100, 200, 200}, false);
    t.Frame();
    t.window->SetCapture(AddTop(*t.window, {0, 300, 10, 310}, false)); // the wheel ignores captures
    t.Input().InjectWheel(-240, {300, 260});
    t.Input().InjectDropFiles({u"/tmp/a.jpg", u"/tmp/b.png"}, {220, 220});
    t.Input().InjectWheel(120, {100, 100}); // logical (50, 50): nobody there
    t.Pump();
    ASSERT_EQ(s->events.size(), 2u);
    EXPECT_EQ(s->events[0].kind, 'W');
    EXPECT_EQ(s->events[0].x, 50);
    EXPECT_EQ(s->events[0].y, 30);
    EXPECT_EQ(int(s->events[0].flags), -240);
    EXPECT_EQ(s->events[1].kind, 'F');
    EXPECT_EQ(s->events[1].x, 10);
    EXPECT_EQ(s->events[1].flags, 2u);
}

namespace {

// An edit-type control: it asks for the input method while it has the focus.
class TestEditSprite : public TestSprite {
public:
    TestEditSprite() : TestSprite(0xFF303030, true, true) {}
    int WantsTextInput() override { return 1; }
};

TestEditSprite* AddEdit(CRenderWindow& w, SRect r)
{
    auto* s = new TestEditSprite;
    s->SetAutoDelete(1);
    EXPECT_TRUE(s->Create(nullptr, &w, 0, 10, r.left, r.top, r.right, r.bottom));
    w.AddTopLevel(s);
    return s;
}

} // namespace

// Text input is on exactly while an edit-type sprite has the focus, however the focus moves
// (click, Tab, a modal popup, the focused sprite going away).
TEST(InputFocus, TextInputOnlyWhileAnEditHasTheFocus)
{
    for (int dpi : {96, 192}) {
        SCOPED_TRACE(dpi);
        UiTestWindow t(640, 480, dpi);
        ASSERT_TRUE(t.opened);
        const double scale = t.window->DisplayScale();
        // Clicks come in window pixels.
        auto click = [&](int x, int y) { Click(t, int(x * scale), int(y * scale)); };
        TestSprite* plain = AddTop(*t.window, {10, 100, 60, 150}, true);
        TestEditSprite* edit = AddEdit(*t.window, {100, 100, 300, 124});
        TestEditSprite* edit2 = AddEdit(*t.window, {100, 200, 300, 224});
        t.Frame();
        EXPECT_FALSE(t.Input().TextInputActive()) << "off at the start";
        struct Step { const char* how; std::function<void()> act; bool on; CMessageSprite* focus; };
        const Step steps[] = {
            {"click the edit", [&] { click(150, 110); }, true, edit},
            {"click the plain sprite", [&] { click(20, 110); }, false, plain},
            {"Tab to the edit", [&] { t.window->SetFocus(plain, true); Key(t, platform::vk::Tab); }, true, edit},
            {"Tab on to the second edit", [&] { t.clock.Advance(200); Key(t, platform::vk::Tab); }, true, edit2},
            {"focus nowhere", [&] { t.window->SetFocus(nullptr, false); }, false, nullptr},
        };
        for (const Step& s : steps) {
            s.act();
            t.clock.Advance(200);
            EXPECT_EQ(t.window->Focus(), s.focus) << s.how;
            EXPECT_EQ(t.Input().TextInputActive(), s.on) << s.how;
            EXPECT_EQ(t.window->TextInputOn(), s.on ? 1 : 0) << s.how;
        }
        click(150, 210);
        ASSERT_TRUE(t.Input().TextInputActive());
        EXPECT_EQ(t.Input().TextInputPosition(), (platform::Point{int(100 * scale), int(224 * scale)}))
            << "the candidate window under the field, in window pixels";
        // A modal popup takes the focus, and gives it back to nobody when it closes.
        TestPopup popup;
        ASSERT_TRUE(popup.Create(nullptr, t.window.get(), 0, 160, 200, 200, 400, 400));
        t.window->PushModal(&popup);
        EXPECT_FALSE(t.Input().TextInputActive()) << "popup";
        t.window->PopModal(&popup);
        t.window->SetFocus(edit, false);
        EXPECT_TRUE(t.Input().TextInputActive());
        // The focused edit is destroyed.
        edit->ReleaseResources(1);
        t.window->ForgetInputSprite(edit);
        EXPECT_FALSE(t.Input().TextInputActive()) << "focused edit gone";
        t.Frame();
    }
}

TEST(InputFocus, MarkerShowsOnSmallControlsAndGoesWithItsTarget)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    struct Case { SRect r; const char* what; };
    const Case cases[] = {{{10, 100, 40, 120}, "a 30 x 20 button"}, {{100, 100, 116, 116}, "a 16 x 16 check box"},
                          {{200, 100, 400, 300}, "a large list"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestSprite* s = AddTop(*t.window, c.r, true);
        t.window->SetFocus(s, true);
        t.Frame();
        CSFocusIndicate& marker = *t.window->FocusMarker();
        ASSERT_TRUE(marker.IsVisible());
        platform::ScopedLock lock(marker.Lock());
        const ImageBuffer8& img = marker.Image();
        ASSERT_NE(img.data, nullptr);
        ASSERT_EQ(img.width, c.r.Width());
        // The edge is drawn in the accent colour; the inside stays clear.
        for (const SPoint p : {SPoint{0, 0}, SPoint{img.width - 1, img.height / 2}, SPoint{img.width / 2, img.height - 1}}) {
            const uint8_t* px = img.data + (size_t(p.y) * img.width + p.x) * 4;
            EXPECT_EQ(px[3], 255) << p.x << "," << p.y;
        }
        EXPECT_EQ(img.data[(size_t(img.height / 2) * img.width + img.width / 2) * 4 + 3], 0);
    }
    // Hiding the focused sprite's parent takes the marker away (the UI thread watches it).
    TestSprite* panel = AddTop(*t.window, {10, 300, 200, 400}, false);
    TestSprite* field = AddChild(*panel, {10, 10, 60, 30}, true);
    t.window->SetFocus(field, true);
    t.Frame();
    ASSERT_TRUE(t.window->FocusMarker()->IsVisible());
    panel->SetVisible(0);
    EXPECT_FALSE(t.window->FocusMarker()->IsVisible());
}

TEST(InputCapture, OneSecondCheckRunsOnlyWhileACaptureOrATipIsUp)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    TestSprite* s = AddTop(*t.window, {10, 10, 100, 100}, true);
    platform::Window& w = t.Platform();
    EXPECT_FALSE(w.TimerSet(kCaptureTimerId)) << "an idle window runs no timer";
    t.window->SetCapture(s);
    EXPECT_TRUE(w.TimerSet(kCaptureTimerId));
    t.window->ReleaseCapture(s);
    EXPECT_FALSE(w.TimerSet(kCaptureTimerId));
    t.window->ShowTooltip(50, 50, u"A tip", false);
    EXPECT_TRUE(w.TimerSet(kCaptureTimerId));
    t.window->HideTooltip();
    EXPECT_FALSE(w.TimerSet(kCaptureTimerId));
}
