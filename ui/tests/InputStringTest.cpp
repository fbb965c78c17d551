// String input: typed answers, Cancel, the limits of the caller's buffer, placement flips and
// filters.
#include "ui/EditField.h"
#include "ui/InputString.h"
#include "ui/Slider.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct InputFixture {
    UiTestWindow t;
    InputFixture()
    {
        g_bAnimation.store(0);
        t.Frame();
    }
    ~InputFixture() { g_bAnimation.store(1); }
    void Key(uint32_t k)
    {
        t.Input().InjectKey(k, true);
        t.Input().InjectKey(k, false);
    }
};

} // namespace

TEST(InputString, AnswersLimitsAndCancel)
{
    struct Case { const char* what; const char16_t* initial; int capacity; const char16_t* typed; bool cancel; int result; const char16_t* buffer; };
    const Case cases[] = {
        {"type over the selection-less text", u"Layer 1", 32, u"x", false, 1, u"Layer 1x"},
        {"select all and replace", u"Layer 1", 32, u"\x01Sky", false, 1, u"Sky"},
        {"limit: capacity 5 holds 4", u"", 5, u"abcdefgh", false, 1, u"abcd"},
        {"unterminated initial text read within the capacity, cut to the maximum", u"abcde", 5, u"", false, 1, u"abcd"},
        {"full-length answer comes back whole", u"", 4, u"xyz", false, 1, u"xyz"},
        {"cancel leaves the buffer", u"keep", 32, u"zzz", true, 0, u"keep"},
        {"non-ASCII", u"", 32, u"\u00e9t\u00e9", false, 1, u"\u00e9t\u00e9"},
    };
    for (const Case& c : cases) {
        InputFixture f;
        std::vector<char16_t> buffer(size_t(c.capacity) + 4, u'#'); // guard past the capacity
        const std::u16string initial(c.initial);
        std::copy(initial.begin(), initial.end(), buffer.begin());
        if (int(initial.size()) < c.capacity)
            buffer[initial.size()] = 0;
        f.t.clock.Advance(500);
        std::u16string typed(c.typed);
        for (char16_t ch : typed) {
            if (ch == 1) {
                f.t.Input().InjectKey(platform::vk::Control, true);
                f.Key('A');
                f.t.Input().InjectKey(platform::vk::Control, false);
            } else {
                f.t.Input().InjectText(std::u16string(1, ch));
            }
        }
        f.Key(c.cancel ? platform::vk::Escape : platform::vk::Return);
        const int result = InputString(buffer.data(), c.capacity, u"Rename", u"New name:", -1, 0);
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(std::u16string(buffer.data()), std::u16string(c.buffer)) << c.what;
        for (size_t i = size_t(c.capacity); i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], u'#') << c.what << ": nothing written past the capacity";
    }
}

TEST(InputString, PlacementFlipsAtTheWindowEdges)
{
    const SRect dialog{0, 0, 240, 160};
    struct Case { int x, y; SRect expected; };
    const Case cases[] = {
        {100, 100, {100, 100, 340, 260}},
        {500, 100, {260, 100, 500, 260}},  // past the right edge: to the left of the point
        {100, 400, {100, 240, 340, 400}},  // past the bottom: above the point
        {500, 400, {260, 240, 500, 400}},
        {400, 320, {400, 320, 640, 480}},  // exactly touching both edges stays
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlaceNextToPoint(dialog, c.x, c.y, 640, 480), c.expected) << c.x << "," << c.y;

    // The real dialog ends up there too.
    InputFixture f;
    CSStringDialog d;
    ASSERT_TRUE(d.Create(nullptr, nullptr, u"", 8));
    const SRect r = PlaceNextToPoint(d.Rect(), 630, 470, f.t.window->LogicalWidth(), f.t.window->LogicalHeight());
    EXPECT_EQ(r.right, 630);
    EXPECT_EQ(r.bottom, 470);
    EXPECT_EQ(std::u16string(d.Caption()), u"");
}

TEST(InputString, FiltersOfTheDialog)
{
    struct Case { int filter; const char16_t* allowed; const char16_t* typed; const char16_t* result; };
    const Case cases[] = {
        {1, nullptr, u"a:b?c", u"abc"},
        {2, nullptr, u"a:b", u"a:b"},   // no set: everything
        {2, u"ab", u"a:bc", u"ab"},
        {3, nullptr, u"\u00e9a", u"a"},
    };
    for (const Case& c : cases) {
        InputFixture f;
        CSStringDialog d;
        ASSERT_TRUE(d.Create(u"Folder", u"Name:", u"", 32));
        d.m_filter = c.filter;
        d.m_allowed = c.allowed;
        f.t.clock.Advance(500);
        f.t.Input().InjectText(c.typed);
        f.Key(platform::vk::Return);
        ASSERT_EQ(d.DoModal(), 1);
        EXPECT_EQ(d.ResultText(), std::u16string(c.result)) << c.filter;
    }
}

TEST(InputString, SliderTypedEntryGoesThroughTheDialog)
{
    InputFixture f;
    auto* parent = new TestSprite(0xFF202020, true);
    parent->SetAutoDelete(1);
    ASSERT_TRUE(parent->Create(nullptr, f.t.window.get(), 0, 10, 0, 0, 600, 400));
    f.t.window->AddTopLevel(parent);
    auto* slider = new CSliderSprite;
    slider->SetAutoDelete(1);
    ASSERT_TRUE(slider->Create(parent, nullptr, 5, 1, 10, 10, 295, 30));
    parent->AddChild(slider);
    slider->SetRange(0, 1000, 0, 100, u"");
    CSliderSprite::SetTypedEntry(nullptr); // the dialog
    f.t.clock.Advance(500);
    f.t.Input().InjectKey(platform::vk::Control, true);
    f.Key('A');
    f.t.Input().InjectKey(platform::vk::Control, false);
    f.t.Input().InjectText(u"1/4");
    f.Key(platform::vk::Return);
    ::PostSpriteMessage(slider, MSG_COMMAND, CSliderSprite::kValueId, 0, nullptr);
    f.t.Pump();
    EXPECT_EQ(slider->Value(), 25);
}
