// Colour picker: wheel geometry, clicks on wheel, bar and swatches, and the caller's colour on
// OK and on Cancel.
#include "ui/ColorPicker.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

namespace {

struct PickerFixture {
    UiTestWindow t;
    PickerFixture()
    {
        g_bAnimation.store(0);
        t.Frame();
    }
    ~PickerFixture() { g_bAnimation.store(1); }
    void Key(uint32_t k)
    {
        t.Input().InjectKey(k, true);
        t.Input().InjectKey(k, false);
    }
};

} // namespace

TEST(ColorPicker, WheelGeometryTable)
{
    PickerFixture f;
    const uint16_t start[4] = {0, 0, 65535, 65535};
    CColorPickerDlg d(start);
    ASSERT_TRUE(d.Create());
    ASSERT_TRUE(d.OnInitDialog());
    const int cx = d.WheelCentreX(), cy = d.WheelCentreY(), r = d.WheelRadius();
    ASSERT_GT(r, 20);
    struct Case { int dx, dy; bool clamp; bool inside; int hue, saturation; };
    const Case cases[] = {
        {0, 0, false, true, 65536 - 16383, 0},      // centre: dx 0 and dy 0 count as downwards
        {r, 0, false, true, 0, 65535},              // right: hue 0, full saturation
        {0, -r, false, true, 16383, 65535},         // up (screen y smaller): a quarter turn
        {-r, 0, false, true, 32767, 65535},
        {0, r, false, true, 65536 - 16383, 65535},  // down: three quarters
        {r / 2, 0, false, true, 0, 32767},
        {r + 3, 0, false, false, 0, 0},             // outside without clamp
        {r + 3, 0, true, true, 0, 65535},           // within 5 of the rim with clamp: the rim
        {r + 6, 0, true, false, 0, 0},
    };
    for (const Case& c : cases) {
        uint16_t hue = 1, sat = 1;
        const bool inside = d.WheelPointToHS(cx + c.dx, cy + c.dy, c.clamp, hue, sat);
        EXPECT_EQ(inside, c.inside) << c.dx << "," << c.dy;
        if (c.inside) {
            EXPECT_NEAR(hue, c.hue, 2) << c.dx << "," << c.dy;
            EXPECT_NEAR(sat, c.saturation, 2) << c.dx << "," << c.dy;
        }
    }
}

TEST(ColorPicker, ClicksOnWheelBarAndSwatches)
{
    PickerFixture f;
    const uint16_t start[4] = {1000, 2000, 3000, 65535};
    CColorPickerDlg d(start);
    ASSERT_TRUE(d.Create());
    ASSERT_TRUE(d.OnInitDialog());
    // The rim on the right: pure red at lightness one half.
    d.OnLButtonDown(d.WheelCentreX() + d.WheelRadius() - 1, d.WheelCentreY(), 0);
    EXPECT_GT(d.Colour()[2], 60000);
    EXPECT_LT(d.Colour()[1], 3000);
    EXPECT_LT(d.Colour()[0], 3000);
    // The top of the bar: black; the bottom: white.
    const SRect bar = d.Bar();
    d.OnLButtonDown((bar.left + bar.right) / 2, bar.top + 1, 0);
    EXPECT_EQ(d.Colour()[0] + d.Colour()[1] + d.Colour()[2], 0);
    d.OnLButtonDown((bar.left + bar.right) / 2, bar.bottom - 2, 0);
    EXPECT_GT(d.Colour()[0], 64000); // the last row is one step short of white
    struct Swatch { int index; uint16_t b, g, r; };
    const Swatch swatches[] = {{0, 65535, 65535, 65535}, {1, 0, 0, 0}, {4, 65535, 0, 0}, {10, 32767, 32767, 65535}, {15, 32767, 65535, 65535}};
    for (const Swatch& s : swatches) {
        const SRect rc = d.SwatchRect(s.index);
        d.OnLButtonDown((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2, 0);
        EXPECT_EQ(d.Colour()[0], s.b) << s.index;
        EXPECT_EQ(d.Colour()[1], s.g) << s.index;
        EXPECT_EQ(d.Colour()[2], s.r) << s.index;
    }
}

TEST(ColorPicker, CancelLeavesTheCallersColourAndOkGivesTheChoice)
{
    struct Case { uint32_t key; int result; uint16_t alpha; };
    const Case cases[] = {{platform::vk::Escape, 0, 1234}, {platform::vk::Return, 1, 65535}};
    for (const Case& c : cases) {
        PickerFixture f;
        uint16_t colour[4] = {100, 200, 300, 1234};
        f.t.clock.Advance(500);
        f.Key(c.key);
        EXPECT_EQ(PickColor(colour), c.result);
        EXPECT_EQ(colour[0], 100);
        EXPECT_EQ(colour[1], 200);
        EXPECT_EQ(colour[2], 300);
        EXPECT_EQ(colour[3], c.alpha);
    }
}
