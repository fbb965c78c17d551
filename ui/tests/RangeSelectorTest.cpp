// Range selector: marker drags with their limits, the whole range, the shift handle, the hue
// modulo and the disabled state.
#include "ui/RangeSelector.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

namespace {

struct RangeFixture {
    UiTestWindow t;
    TestSprite* parent;
    CRangeSelector* range;

    RangeFixture()
    {
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 600, 200));
        t.window->AddTopLevel(parent);
        range = new CRangeSelector;
        range->SetAutoDelete(1);
        // Strip from 8 to 524: 516 pixels wide.
        EXPECT_TRUE(range->Create(parent, nullptr, 42, 1, 0, 0, 532, 60));
        parent->AddChild(range);
        range->SetPos(0, 0, 532, 60);
    }
    int MarkerX(int i) const { return 8 + int(int64_t(516) * range->m_markers[i] / 65535); }
    void Drag(int fromX, int fromY, int toX)
    {
        range->OnMouseMove(fromX, fromY, 0);
        range->OnLButtonDown(fromX, fromY, 0);
        range->OnMouseMove(toX, fromY, 0);
        range->OnLButtonUp(toX, fromY, 0);
    }
    int RangeMessages()
    {
        t.Pump();
        return int(std::count(parent->codes.begin(), parent->codes.end(), MSG_RANGE_CHANGED));
    }
};

} // namespace

TEST(RangeSelector, MarkerDragsStayOrderedAndInside)
{
    struct Case { int marker; int toX; int expected[4]; };
    const Case cases[] = {
        {1, 500, {35000, 43000, 43000, 46000}},   // stops at marker 2
        {3, 700, {35000, 39000, 43000, 65535}},   // beyond the strip: the maximum
        {0, -40, {0, 39000, 43000, 46000}},
        {2, 8, {35000, 39000, 39000, 46000}},     // stops at marker 1
        {0, 8 + 258, {32767, 39000, 43000, 46000}},
    };
    for (const Case& c : cases) {
        RangeFixture f;
        const int y = f.range->Strip().bottom - 1;
        const SRect r = f.range->MarkerRect(c.marker);
        // Grab the marker away from its neighbours' icons.
        f.range->OnMouseMove(r.left + 6, y, 0);
        ASSERT_EQ(f.range->HoverTarget(), c.marker) << c.marker;
        f.Drag(r.left + 6, y, c.toX);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(f.range->m_markers[i], c.expected[i]) << c.marker << " " << i;
        EXPECT_EQ(f.RangeMessages(), 1);
        EXPECT_EQ(f.parent->params.back(), 42);
        EXPECT_EQ(f.range->DragTarget(), -1);
    }
}

TEST(RangeSelector, TheWholeRangeMovesTogetherAndStopsAtTheEnd)
{
    RangeFixture f;
    f.range->m_markers[0] = 10000;
    f.range->m_markers[1] = 15000;
    f.range->m_markers[2] = 20000;
    f.range->m_markers[3] = 30000;
    f.range->SetPos(0, 0, 532, 60);
    int before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = f.range->MarkerRect(i).left;
    const int between = (f.MarkerX(0) + f.MarkerX(3)) / 2;
    f.range->OnMouseMove(between, 20, 0);
    ASSERT_EQ(f.range->HoverTarget(), CRangeSelector::kWholeRange);
    f.Drag(between, 20, between + 50);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.range->MarkerRect(i).left - before[i], 50) << i;
    // Far to the right: marker 3 stops at the strip's end, the pixel distances stay.
    f.Drag(f.MarkerX(0) + 20, 20, 2000);
    EXPECT_EQ(f.range->MarkerRect(3).left + 7, f.range->Strip().right);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(f.range->MarkerRect(3).left - f.range->MarkerRect(i).left, before[3] - before[i]) << i;
    EXPECT_EQ(f.range->m_markers[3], 65535);
    // A press outside the range does nothing.
    f.range->OnMouseMove(12, 20, 0);
    EXPECT_EQ(f.range->HoverTarget(), -1);
    f.range->OnLButtonDown(12, 20, 0);
    EXPECT_EQ(f.range->DragTarget(), -1);
}

TEST(RangeSelector, ShiftHandleAndHueModulo)
{
    RangeFixture f;
    f.Drag(3, 5, 8 + 129); // a quarter of the strip
    EXPECT_EQ(f.range->m_shift, 129 * 65536 / 516);
    f.Drag(f.range->m_shift * 508 / 65536 + 5, 5, 9000);
    EXPECT_EQ(f.range->m_shift, 65535);
    struct Case { int shift, value, sameAs; };
    // The hue wraps: value - shift below zero is the same colour as the value one circle on.
    const Case cases[] = {{1000, 0, 64536}, {40000, 100, 25636}, {0, 65535, 65535}};
    for (const Case& c : cases) {
        f.range->m_shift = c.shift;
        uint8_t a[4], b[4];
        f.range->ColorAt(a, c.value);
        f.range->m_shift = 0;
        f.range->ColorAt(b, c.sameAs);
        EXPECT_EQ(std::memcmp(a, b, 4), 0) << c.value;
    }
    uint8_t red[4];
    f.range->ColorAt(red, 0);
    EXPECT_GT(red[2], 200);
    EXPECT_LT(red[1], 40);
}

TEST(RangeSelector, DisabledSelectorIgnoresThePointer)
{
    RangeFixture f;
    f.range->SetEnabled(0);
    const SRect r = f.range->MarkerRect(1);
    f.Drag(r.left + 6, f.range->Strip().bottom - 1, 500);
    EXPECT_EQ(f.range->m_markers[1], 39000);
    EXPECT_EQ(f.RangeMessages(), 0);
    uint8_t c[4];
    f.range->ColorAt(c, 0);
    EXPECT_LT(c[3], 100); // the strip at alpha 20000
}
