// The hover base's easing, the scroll bar's thumb maths, hit parts, paging, dragging and arrow
// repeat, and the slider's value mapping, stepping, drawing and typed entry.
#include "ui/ScrollBar.h"
#include "ui/Slider.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace {

int Count(const TestSprite& s, int code)
{
    return int(std::count(s.codes.begin(), s.codes.end(), code));
}

template <class W>
struct WidgetFixture {
    UiTestWindow t;
    TestSprite* parent;
    W* widget;

    WidgetFixture(int left, int top, int right, int bottom, bool parentTakesMessages = true)
    {
        parent = new TestSprite(0xFF202020, parentTakesMessages);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 600, 400));
        t.window->AddTopLevel(parent);
        widget = new W;
        widget->SetAutoDelete(1);
        EXPECT_TRUE(widget->Create(parent, nullptr, 5, 1, left, top, right, bottom));
        parent->AddChild(widget);
        t.Frame();
        t.Pump();
    }
    void Deliver() { t.Pump(); }
};

} // namespace

TEST(MoveOver, OpacityEasesAThirdOfTheWayPerFrame)
{
    struct Case { int opacity, hovered, expected; };
    const Case cases[] = {
        {0, 0, 192},     // no level yet: the normal level
        {0, 1, 213},     // normal, then a third of the way up
        {192, 1, 213},
        {213, 1, 227},
        {255, 0, 234},   // leaving: a third of the way down
        {234, 0, 220},
        {192, 0, 192},   // at its level: unchanged
        {255, 1, 255},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMoveOverSprite::EaseOpacity(c.opacity, c.hovered, 192, 255), c.expected)
            << c.opacity << " hovered " << c.hovered;
    // The walk back down converges and stops (no endless redraw).
    int o = 255, frames = 0;
    for (int next; (next = CMoveOverSprite::EaseOpacity(o, 0, 192, 255)) != o; o = next)
        ++frames;
    EXPECT_LE(o, 194);
    EXPECT_LT(frames, 20);
}

TEST(ScrollBar, ThumbMathsTable)
{
    struct Case { int track; int32_t minimum, maximum, page, position; bool shown; int start, end; };
    const Case cases[] = {
        {100, 0, 1000, 100, 0, true, 15, 25},
        {100, 0, 1000, 100, 900, true, 105, 115},
        {100, 0, 1000, 100, 950, true, 110, 115},         // end held at the track's end
        {100, 0, 1000, 100, 5000, true, 115, 115},        // start beyond: both at the end
        {100, 0, 1000, 100, -50, true, 15, 20},           // start not below the track
        {100, 0, 1000, 2000, 0, true, 15, 115},           // page larger than the range
        {100, 0, INT32_MAX, INT32_MAX, 0, true, 15, 115}, // no 32-bit overflow
        {100, 0, INT32_MAX, 1, INT32_MAX - 1, true, 114, 115},
        {100, 5, 5, 10, 0, false, 0, 0},                  // empty range: no thumb
        {100, 10, 5, 10, 0, false, 0, 0},
        {0, 0, 1000, 100, 0, false, 0, 0},                // no track at all
        {-10, 0, 1000, 100, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        const CSScrollBar::Thumb t = CSScrollBar::ComputeThumb(c.track, c.minimum, c.maximum, c.page, c.position);
        EXPECT_EQ(t.shown, c.shown) << c.maximum << " " << c.position;
        if (c.shown) {
            EXPECT_EQ(t.start, c.start) << c.maximum << " " << c.page << " " << c.position;
            EXPECT_EQ(t.end, c.end) << c.maximum << " " << c.page << " " << c.position;
        }
    }
}

TEST(ScrollBar, DrawnThumbKeepsAGrabbableLength)
{
    // {track, computed start, end} -> drawn start, end (arrow area of 15 included).
    struct Case { int track, start, end, wantStart, wantEnd; };
    const Case cases[] = {
        {600, 15, 16, 15, 23},    // a list of 100,000 rows: one pixel becomes eight
        {600, 300, 300, 300, 308},
        {600, 612, 615, 607, 615}, // at the end it grows backwards, staying on the track
        {600, 615, 615, 607, 615},
        {600, 15, 40, 15, 40},    // long enough already
        {5, 15, 16, 15, 20},      // a track shorter than the minimum: the whole track
    };
    for (const Case& c : cases) {
        CSScrollBar::Thumb t;
        t.shown = true;
        t.start = c.start;
        t.end = c.end;
        const CSScrollBar::Thumb w = CSScrollBar::WidenThumb(t, c.track);
        EXPECT_EQ(w.start, c.wantStart) << c.track << " " << c.start << " " << c.end;
        EXPECT_EQ(w.end, c.wantEnd) << c.track << " " << c.start << " " << c.end;
    }
    EXPECT_FALSE(CSScrollBar::WidenThumb(CSScrollBar::Thumb{}, 600).shown);
}

TEST(ScrollBar, HitPartsValueFromPointAndOrientation)
{
    WidgetFixture<CSScrollBar> f(100, 10, 116, 140); // vertical, length 130, track 100
    CSScrollBar& b = *f.widget;
    EXPECT_FALSE(b.IsHorizontal());
    b.m_maximum = 1000;
    b.m_page = 100;
    b.m_position = 400;
    b.SetAllDirty(1);
    f.t.Frame();
    EXPECT_EQ(b.ThumbStart(), 55);
    EXPECT_EQ(b.ThumbEnd(), 65);

    struct Hit { int y, part, zone; };
    const Hit hits[] = {{0, 1, -1}, {14, 1, -1}, {15, -1, 1}, {54, -1, 1}, {55, -1, 0},
                        {65, -1, 0}, {66, -1, 2}, {115, -1, 2}, {116, 2, -1}, {129, 2, -1}};
    for (const Hit& h : hits) {
        EXPECT_EQ(b.HitPart(5, h.y), h.part) << h.y;
        if (h.zone >= 0) {
            EXPECT_EQ(b.ClickZone(), h.zone) << h.y;
        }
    }
    struct Value { int y, value; };
    const Value values[] = {{-20, 0}, {0, 0}, {15, 0}, {16, 10}, {65, 500}, {115, 1000}, {500, 1000}};
    for (const Value& v : values)
        EXPECT_EQ(b.ValueFromPoint(5, v.y), v.value) << v.y;

    // A bar too short for its arrows has no track and never divides by zero.
    b.SetPos(100, 10, 16, 20);
    EXPECT_EQ(b.TrackLength(), -10);
    EXPECT_EQ(b.ValueFromPoint(5, 10), 0);

    // More than 20 pixels wide: horizontal, measured along x.
    b.SetPos(0, 0, 130, 16);
    EXPECT_TRUE(b.IsHorizontal());
    EXPECT_EQ(b.ValueFromPoint(65, 5), 500);
    EXPECT_EQ(b.HitPart(3, 8), 1);
    EXPECT_EQ(b.HitPart(125, 8), 2);
}

TEST(ScrollBar, PagingAndDraggingStayInTheRangeAndPostPositions)
{
    WidgetFixture<CSScrollBar> f(100, 10, 116, 140);
    CSScrollBar& b = *f.widget;
    b.m_maximum = 1000;
    b.m_page = 300;
    b.m_position = 100;
    b.SetAllDirty(1);
    f.t.Frame(); // thumb 25..55

    struct Press { int y; int32_t expected; };
    const Press presses[] = {
        {100, 400}, {100, 700}, {100, 700}, // after the thumb: + page, held at maximum - page
        {20, 400}, {20, 100}, {20, 0}, {20, 0},
    };
    int posts = 0;
    for (const Press& p : presses) {
        const int32_t before = b.m_position.load();
        b.SetAllDirty(1);
        f.t.Frame();
        b.OnLButtonDown(5, p.y, platform::kMouseLButton);
        b.OnLButtonUp(5, p.y, 0);
        f.Deliver();
        EXPECT_EQ(b.m_position.load(), p.expected) << p.y << " from " << before;
        if (p.expected != before)
            ++posts;
        EXPECT_EQ(Count(*f.parent, MSG_SCROLL_POS), posts);
    }

    // Drag the thumb (now at 15..45) by 50 pixels: 500 values further; far out: maximum - page.
    b.SetAllDirty(1);
    f.t.Frame();
    b.OnLButtonDown(5, 20, platform::kMouseLButton);
    ASSERT_TRUE(b.Dragging());
    b.OnMouseMove(5, 70, platform::kMouseLButton);
    EXPECT_EQ(b.m_position.load(), 500);
    b.OnMouseMove(5, 900, platform::kMouseLButton);
    EXPECT_EQ(b.m_position.load(), 700);
    b.OnMouseMove(5, -900, platform::kMouseLButton);
    EXPECT_EQ(b.m_position.load(), 0);
    b.OnLButtonUp(5, 0, 0);
    EXPECT_FALSE(b.Dragging());

    // An empty range ignores track presses.
    b.m_maximum = 0;
    b.m_position = 0;
    f.Deliver();
    const int before = Count(*f.parent, MSG_SCROLL_POS);
    b.OnLButtonDown(5, 100, platform::kMouseLButton);
    b.OnLButtonDown(5, 60, platform::kMouseLButton);
    f.Deliver();
    EXPECT_EQ(b.m_position.load(), 0);
    EXPECT_FALSE(b.Dragging());
    EXPECT_EQ(Count(*f.parent, MSG_SCROLL_POS), before);
}

TEST(ScrollBar, HeldArrowStepsAtMostEvery200MsAcrossAllBars)
{
    CSScrollBar::ResetLineStepClock();
    WidgetFixture<CSScrollBar> f(100, 10, 116, 140);
    auto* second = new CSScrollBar;
    second->SetAutoDelete(1);
    ASSERT_TRUE(second->Create(f.parent, nullptr, 6, 1, 200, 10, 216, 140));
    f.parent->AddChild(second);
    f.widget->m_maximum = 1000;
    second->m_maximum = 1000;

    f.widget->OnLButtonDown(5, 125, platform::kMouseLButton); // end arrow
    second->OnLButtonDown(5, 3, platform::kMouseLButton);     // start arrow
    EXPECT_EQ(f.widget->PressedPart(), 2);
    EXPECT_EQ(second->PressedPart(), 1);
    for (int i = 0; i < 34; ++i) // 34 frames of 30 ms: about a second
        f.t.Frame();
    f.Deliver();
    const int down = Count(*f.parent, MSG_SCROLL_LINE_DOWN), up = Count(*f.parent, MSG_SCROLL_LINE_UP);
    // One step per 210 ms at 30 ms frames, whichever bar takes it.
    EXPECT_GE(down + up, 4);
    EXPECT_LE(down + up, 5);
    EXPECT_GE(down, 1);

    f.widget->OnLButtonUp(5, 125, 0);
    second->OnCaptureReleased();
    EXPECT_EQ(f.widget->PressedPart(), -1);
    EXPECT_EQ(second->PressedPart(), -1);
    f.Deliver();
    const int total = Count(*f.parent, MSG_SCROLL_LINE_DOWN) + Count(*f.parent, MSG_SCROLL_LINE_UP);
    for (int i = 0; i < 20; ++i)
        f.t.Frame();
    f.Deliver();
    EXPECT_EQ(Count(*f.parent, MSG_SCROLL_LINE_DOWN) + Count(*f.parent, MSG_SCROLL_LINE_UP), total);
}

TEST(ScrollBar, ThumbPixelsAndPressedArrowLightening)
{
    WidgetFixture<CSScrollBar> f(100, 10, 116, 140);
    CSScrollBar& b = *f.widget;
    b.m_maximum = 100;
    b.m_page = 20;
    b.m_position = 50;
    b.OnLButtonDown(5, 125, platform::kMouseLButton);
    b.SetAllDirty(1);
    f.t.Frame();
    platform::ScopedLock lock(b.Lock());
    const ImageBuffer8& img = b.Image();
    ASSERT_TRUE(img.data);
    auto px = [&](int x, int y) { return img.data + (size_t(y) * img.width + x) * 4; };
    // Thumb rows 65..84, columns 2..13.
    for (int y : {65, 75, 84})
        for (int x = 2; x <= 13; ++x)
            EXPECT_EQ(px(x, y)[0], 235) << x << "," << y;
    for (int y : {64, 85})
        EXPECT_NE(px(7, y)[0], 235) << y;
    EXPECT_NE(px(1, 70)[0], 235);
    EXPECT_NE(px(14, 70)[0], 235);
    // The pressed end arrow: every covered pixel opaque and brightened towards 235.
    int covered = 0;
    for (int y = 115; y < 130; ++y)
        for (int x = 0; x < 16; ++x)
            if (px(x, y)[3]) {
                ++covered;
                EXPECT_EQ(px(x, y)[3], 255);
                EXPECT_GE(px(x, y)[0], 117);
            }
    EXPECT_GT(covered, 0);
}

// ---- slider ----------------------------------------------------------------------------------

namespace {
struct SliderFixture : WidgetFixture<CSliderSprite> {
    // 285 wide: track 20..220, 200 pixels.
    SliderFixture() : WidgetFixture<CSliderSprite>(10, 10, 295, 30) {}
    std::u16string Caption() { return widget->ValueButton().Caption(); }
};
} // namespace

TEST(Slider, SetValueRoundsHalvesAwayFromZeroAndClamps)
{
    SliderFixture f;
    CSliderSprite& s = *f.widget;
    struct Case { int32_t minimum, maximum, divisor; double shown; int32_t stored; const char16_t* text; };
    const Case cases[] = {
        {0, 1000, 10, 2.45, 25, u"2.5"},
        {-1000, 1000, 10, -2.45, -25, u"-2.5"},
        {0, 1000, 10, -2.45, 0, u"0"},
        {0, 100, 1, 37, 37, u"37"},
        {0, 100, 1, 1e12, 100, u"100"},
        {0, 100, 1, -1e300, 0, u"0"},
        {50, 10, 1, 30, 50, u"50"},        // minimum above maximum: the minimum wins
        {0, 100, 0, 42, 42, u"42"},        // a zero divisor counts as 1 for the maths
        {INT32_MIN, INT32_MAX, 1, 3e9, INT32_MAX, u"2147483647"},
    };
    for (const Case& c : cases) {
        s.SetRange(c.minimum, c.maximum, 0, c.divisor, u"");
        s.SetValue(c.shown, 1);
        EXPECT_EQ(s.Value(), c.stored) << c.shown;
        if (c.divisor != 0) {
            EXPECT_EQ(f.Caption(), std::u16string(c.text)) << c.shown;
        }
    }
    f.Deliver();
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), int(std::size(cases)));
    EXPECT_EQ(f.parent->params.back(), INT32_MAX);

    // Unchanged without notify: nothing; with notify: the message all the same.
    s.SetRange(0, 100, 40, 1, u"");
    s.SetValue(40, 0);
    s.SetValue(40, 1);
    f.Deliver();
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), int(std::size(cases)) + 1);
}

TEST(Slider, UnitLabelsAndDataExchange)
{
    SliderFixture f;
    CSliderSprite& s = *f.widget;
    struct Case { const char16_t* unit; int32_t divisor, value; const char16_t* caption; const char16_t* stored; };
    const Case cases[] = {
        {u"", 1, 37, u"37", u""},
        {u"px", 1, 37, u"37px", u"px"},
        {u"%", 100, 50, u"0.5%", u"%"},
        {u"pixels!!", 1, 3, u"3pixel..", u"pixel.."}, // 8 characters: 5 and ".."
        {u"\u00b0", 1, 90, u"90\u00b0", u"\u00b0"},
    };
    for (const Case& c : cases) {
        s.SetRange(0, 1000, c.value, c.divisor, c.unit);
        EXPECT_EQ(std::u16string(s.Unit()), std::u16string(c.stored));
        EXPECT_EQ(f.Caption(), std::u16string(c.caption));
    }
    // A null unit keeps the label.
    s.SetRange(0, 1000, 4, 1, nullptr);
    EXPECT_EQ(f.Caption(), u"4\u00b0");

    char16_t buffer[16];
    s.GetText(buffer, 16, 0);
    EXPECT_EQ(std::u16string(buffer), u"4");
    struct Text { const char16_t* text; int32_t value; };
    const Text texts[] = {{u"12", 12}, {u"  7abc", 7}, {u"5000", 1000}, {u"-3", 0}, {u"x", 0}};
    for (const Text& t : texts) {
        s.SetText(t.text);
        EXPECT_EQ(s.Value(), t.value) << std::string(t.text, t.text + 2);
    }
    f.Deliver();
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), int(std::size(texts)));
}

TEST(Slider, ValueToXAndBackAtTheEndsAndWithZeroRange)
{
    SliderFixture f;
    CSliderSprite& s = *f.widget;
    const int tw = s.ThumbWidth();
    ASSERT_GT(tw, 0);
    const int span = 200 - tw;
    struct Case { int32_t minimum, maximum, value; int x; };
    const Case cases[] = {
        {0, 100, 0, 20 + tw / 2},
        {0, 100, 100, 20 + span + tw / 2},
        {0, 100, 50, 20 + span / 2 + tw / 2},
        {0, 100, -40, 20 + tw / 2},          // clamped to the track
        {0, 100, 400, 20 + span + tw / 2},
        {7, 7, 7, 20 + tw / 2},              // zero range: the start, no division
        {INT32_MIN, INT32_MAX, INT32_MAX, 20 + span + tw / 2},
    };
    for (const Case& c : cases) {
        s.SetRange(c.minimum, c.maximum, c.value, 1, u"");
        EXPECT_EQ(s.ValueToX(c.value), c.x) << c.minimum << ".." << c.maximum << " " << c.value;
    }
    s.SetRange(0, 100, 0, 1, u"");
    EXPECT_EQ(s.XToValue(20 + tw / 2), 0);
    EXPECT_EQ(s.XToValue(20 + span + tw / 2), 100);
    EXPECT_EQ(s.XToValue(20 + tw / 2 - span), -100); // not clamped
    s.SetRange(7, 7, 7, 1, u"");
    EXPECT_EQ(s.XToValue(150), 7);

    // A slider too narrow for its track maps everything to the start.
    s.SetPos(10, 10, 60, 20);
    s.SetRange(0, 100, 50, 1, u"");
    EXPECT_EQ(s.XToValue(40), 0);
    EXPECT_EQ(s.ValueToX(50), 20 + tw / 2);
    EXPECT_EQ(s.Step(), 1);
}

TEST(Slider, StepsFromButtonsWheelAndKeys)
{
    SliderFixture f;
    CSliderSprite& s = *f.widget;
    struct Case { int32_t minimum, maximum, divisor, step; };
    const Case cases[] = {{0, 100, 1, 1}, {0, 10000, 1, 50}, {0, 10000, 10, 5}, {0, 1000, 100, 1}, {5, 5, 1, 1}};
    for (const Case& c : cases) {
        s.SetRange(c.minimum, c.maximum, 0, c.divisor, u"");
        EXPECT_EQ(s.Step(), c.step) << c.maximum << "/" << c.divisor;
    }

    s.SetRange(0, 10000, 100, 1, u"");
    struct Action { const char* what; int32_t expected; };
    const Action actions[] = {{"wheel toward user", 150}, {"wheel away", 100}, {"right", 150},
                              {"left", 100}, {"plus", 150}, {"minus", 100}};
    for (const Action& a : actions) {
        const std::string w = a.what;
        if (w == "wheel toward user") s.OnMouseWheel(30, 10, -120);
        if (w == "wheel away") s.OnMouseWheel(30, 10, 120);
        if (w == "right") s.OnKeyDown(platform::vk::Right, 1, 0);
        if (w == "left") s.OnKeyDown(platform::vk::Left, 1, 0);
        if (w == "plus") s.PlusButton().Click();
        if (w == "minus") s.MinusButton().Click();
        f.Deliver();
        EXPECT_EQ(s.Value(), a.expected) << a.what;
    }
    s.OnKeyDown(platform::vk::Up, 1, 0);
    EXPECT_EQ(s.Value(), 100);
    const int messages = Count(*f.parent, MSG_SLIDER_CHANGED);
    EXPECT_EQ(messages, int(std::size(actions)));

    // Disabled: no mouse, wheel, keys or buttons; the track at half opacity, no thumb.
    s.SetEnabled(0);
    s.OnMouseWheel(30, 10, -120);
    s.OnKeyDown(platform::vk::Right, 1, 0);
    s.OnLButtonDown(100, 10, platform::kMouseLButton);
    s.OnLButtonUp(100, 10, 0);
    ::PostSpriteMessage(&s, MSG_COMMAND, CSliderSprite::kPlusId, 0, nullptr);
    f.Deliver();
    EXPECT_EQ(s.Value(), 100);
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), messages);
    s.SetAllDirty(1);
    f.t.Frame();
    EXPECT_EQ(s.ThumbRect().Width(), 0);
}

TEST(Slider, TrackJumpDragAndRelease)
{
    SliderFixture f;
    CSliderSprite& s = *f.widget;
    s.SetRange(0, 100, 0, 1, u"");
    s.SetAllDirty(1);
    f.t.Frame();
    const int tw = s.ThumbWidth();
    const int span = 200 - tw;
    // A press on the track jumps there.
    s.OnLButtonDown(20 + tw / 2 + span / 2, 10, platform::kMouseLButton);
    f.Deliver();
    EXPECT_EQ(s.Value(), 50);
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), 1);
    s.SetAllDirty(1);
    f.t.Frame();
    const SRect thumb = s.ThumbRect();
    EXPECT_EQ(thumb.Width(), tw);
    EXPECT_EQ((thumb.left + thumb.right) / 2, s.ValueToX(50));

    // Drag 40 pixels right: 20 values on the full 200-pixel track; no messages until release.
    const int x0 = thumb.left + 1;
    s.OnLButtonDown(x0, 10, platform::kMouseLButton);
    ASSERT_TRUE(s.Dragging());
    s.OnMouseMove(x0 + 40, 10, platform::kMouseLButton);
    EXPECT_EQ(s.Value(), 70);
    s.OnMouseMove(x0 + 100, 10, platform::kMouseLButton);
    EXPECT_EQ(s.Value(), 100);
    f.Deliver();
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), 1);
    s.OnLButtonUp(x0 + 20, 10, platform::kMouseLButton);
    f.Deliver();
    EXPECT_EQ(s.Value(), 60);
    EXPECT_FALSE(s.Dragging());
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), 2);

    // A drag ended by the capture loss keeps the value and reports it once.
    s.SetAllDirty(1);
    f.t.Frame();
    const int x1 = s.ThumbRect().left + 1;
    s.OnLButtonDown(x1, 10, platform::kMouseLButton);
    s.OnMouseMove(x1 - 20, 10, platform::kMouseLButton);
    s.OnCaptureReleased();
    f.Deliver();
    EXPECT_EQ(s.Value(), 50);
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), 3);
    EXPECT_EQ(f.parent->params.back(), 50);
}

namespace {
const char16_t* g_typed = u"";
int g_errors = 0;
int TypeText(CSliderSprite*, const char16_t*, const char16_t*, const char16_t*, char16_t* out, int capacity)
{
    CopyTextBounded(out, capacity, g_typed);
    return 1;
}
void CountError(const char16_t*) { ++g_errors; }
} // namespace

TEST(Slider, TypedEntryTakesNumbersAndFractions)
{
    SliderFixture f;
    CSliderSprite& s = *f.widget;
    CSliderSprite::SetTypedEntry(&TypeText);
    CSliderSprite::SetErrorBox(&CountError);
    g_errors = 0;
    struct Case { int32_t divisor; const char16_t* typed; int32_t stored; int errors; };
    const Case cases[] = {
        {100, u"1/2", 50, 0},
        {100, u"0.25", 25, 0},
        {1, u"5000", 1000, 0},  // beyond the maximum: the maximum, still reported
        {1, u"-7", 0, 0},
        {1, u"abc", 0, 1},      // not a number: the error box, value kept
        {1, u"1/0", 0, 1},
        {1, u"3 4", 0, 1},
    };
    int reported = 0;
    for (const Case& c : cases) {
        s.SetRange(0, 1000, 0, c.divisor, u"");
        g_typed = c.typed;
        g_errors = 0;
        ::PostSpriteMessage(&s, MSG_COMMAND, CSliderSprite::kValueId, 0, nullptr);
        f.Deliver();
        f.Deliver();
        EXPECT_EQ(s.Value(), c.stored) << std::string(c.typed, c.typed + 3);
        EXPECT_EQ(g_errors, c.errors);
        if (!c.errors)
            ++reported;
    }
    EXPECT_EQ(Count(*f.parent, MSG_SLIDER_CHANGED), reported);
    CSliderSprite::SetTypedEntry(nullptr);
    CSliderSprite::SetErrorBox(nullptr);
}
