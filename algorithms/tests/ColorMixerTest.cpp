#include "algorithms/AutoLevel.h"
#include "algorithms/ColorMixer.h"
#include "algorithms/tests/ColourTestSupport.h"
#include "imaging/ColourTables.h"

#include <climits>

namespace {

ColorMixerParams Mixer() { return ColorMixerParams{}; }

TEST(ColorMixer, RgbModeTable)
{
    struct Case {
        const char* why;
        int row, col, value;
        Bgra in, out;
    };
    const Case cases[] = {
        {"defaults keep the pixel", 0, 0, 100, {1000, 2000, 3000, 7}, {1000, 2000, 3000, 7}},
        {"red from red 200 doubles red", 0, 0, 200, {1000, 2000, 3000, 7}, {1000, 2000, 6000, 7}},
        {"doubling is limited to white", 0, 0, 200, {1000, 2000, 40000, 7}, {1000, 2000, 65535, 7}},
        {"constant -100 makes the red output 0", 0, 3, -100, {1000, 2000, 3000, 7}, {1000, 2000, 0, 7}},
        {"constant 50 on blue adds half of white", 2, 3, 50, {1000, 2000, 3000, 7}, {1000 + 32767, 2000, 3000, 7}},
        {"green from blue 50: integer division", 1, 2, 50, {1001, 2000, 3000, 7}, {1001, 2500, 3000, 7}},
        {"stored weight far above the slider is limited to 200", 0, 0, INT_MAX, {1000, 2000, 3000, 7}, {1000, 2000, 6000, 7}},
        {"stored constant far below the slider gives 0, not a wrap", 0, 3, INT_MIN, {1000, 2000, 3000, 7}, {1000, 2000, 0, 7}},
        {"negative weight limited to -200", 1, 0, -5000, {0, 30000, 10000, 7}, {0, 10000, 10000, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ColorMixerParams p = Mixer();
        p.rows[c.row][c.col] = c.value;
        ScopedImage src(Pixels({c.in})), dst;
        ASSERT_EQ(RunOnce<CColorMixer>(p, *src, *dst), 1);
        ExpectPixel(PixelAt(*dst, 0), c.out);
    }
}

TEST(ColorMixer, LuminanceModeReplacesOnlyY)
{
    ScopedImage src(Photo(40, 30, 3)), dst;
    ColorMixerParams p = Mixer();
    p.luminanceMode = 1;
    p.rows[3][0] = 60, p.rows[3][1] = 30, p.rows[3][2] = 10, p.rows[3][3] = 5;
    ASSERT_EQ(RunOnce<CColorMixer>(p, *src, *dst), 1);
    ScopedImage expect;
    ASSERT_TRUE(CopyImage16(*expect, *src));
    RgbToYCbCr16(*expect);
    for (size_t i = 0; i < PixelCount(*src); ++i) {
        const uint16_t* s = Pixels16(*src) + i * 4;
        const int64_t y = (int64_t(s[2]) * 60 + s[1] * 30 + s[0] * 10) / 100 + 5 * 65535 / 100;
        Pixels16(*expect)[i * 4 + 2] = ClampU16(y);
    }
    YCbCrToRgb16(*expect);
    EXPECT_TRUE(SameImage(*expect, *dst));
}

TEST(ColorMixer, ReportsProgressAndRefusesLongRecords)
{
    ScopedImage src(Pixels({{1, 2, 3, 4}})), dst;
    ColorMixerParams p = Mixer();
    CColorMixer m;
    ASSERT_EQ(RunWith(m, &p, *src, *dst), 1);
    EXPECT_EQ(m.LastReported(), 100);
    p.size = 73;
    EXPECT_EQ(RunOnce<CColorMixer>(p, *src, *dst), 0);
}

int HueOf(Bgra c)
{
    uint16_t p[4] = {c.b, c.g, c.r, c.a};
    RgbToHsl16(p, 1);
    return p[2];
}

TEST(ColorAdjust, HueSaturationLightness)
{
    ScopedImage src(Pixels({{0, 0, 60000, 9}, {10000, 30000, 50000, 9}, {5000, 40000, 20000, 9}})), dst;
    ColorAdjustParams p;
    p.hue = 100;
    ASSERT_EQ(RunOnce<CColorAdjust>(p, *src, *dst), 1);
    const Bgra red = PixelAt(*dst, 0);
    EXPECT_EQ(HueOf(red), 32768) << "red turns cyan";
    EXPECT_LT(red.r, 100);
    EXPECT_NEAR(red.g, red.b, 5); // HSL round trip
    EXPECT_EQ(red.a, 9);

    p.hue = 5000; // a stored value far outside the slider: limited to 100, never a negative index
    ScopedImage dst2;
    ASSERT_EQ(RunOnce<CColorAdjust>(p, *src, *dst2), 1);
    EXPECT_TRUE(SameImage(*dst, *dst2));

    p = ColorAdjustParams{};
    p.saturation = -100;
    ASSERT_EQ(RunOnce<CColorAdjust>(p, *src, *dst), 1);
    for (int x = 0; x < 3; ++x) {
        const Bgra o = PixelAt(*dst, x);
        EXPECT_EQ(o.r, o.g) << x;
        EXPECT_EQ(o.g, o.b) << x;
    }
    p.saturation = 0;
    p.lightness = 50;
    ASSERT_EQ(RunOnce<CColorAdjust>(p, *src, *dst), 1);
    for (int x = 0; x < 3; ++x) {
        const Bgra s = PixelAt(*src, x), o = PixelAt(*dst, x);
        EXPECT_GT(o.r + o.g + o.b, s.r + s.g + s.b) << "lightness 50 brightens " << x;
    }
}

TEST(ColorAdjust, NoChangeAndEmptyRangeGiveExactCopies)
{
    ScopedImage src(Photo(30, 20, 2));
    struct Case {
        const char* why;
        ColorAdjustParams p;
    };
    std::vector<Case> cases;
    ColorAdjustParams p;
    cases.push_back({"all HSL values 0", p});
    p.mode = 1;
    cases.push_back({"balance 0, 0, 0", p});
    p = ColorAdjustParams{};
    p.hue = 40;
    p.saturation = 30;
    p.rangeOn = 1;
    cases.push_back({"a range that covers no hue", p});
    p.range[0] = 70000, p.range[1] = -3, p.range[2] = 5, p.range[3] = INT_MIN;
    cases.push_back({"a hostile range is kept on the axis and in order", p});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedImage dst;
        ASSERT_EQ(RunOnce<CColorAdjust>(c.p, *src, *dst), 1);
        EXPECT_TRUE(SameImage(*src, *dst));
    }
}

TEST(ColorAdjust, RangeLimitsTheEffectToItsHues)
{
    // Saturated red, saturated blue, and a weakly saturated red.
    ScopedImage src(Pixels({{0, 0, 60000, 1}, {60000, 0, 0, 1}, {30000, 30000, 36000, 1}})), full, dst;
    ColorAdjustParams p;
    p.lightness = -60;
    ASSERT_EQ(RunOnce<CColorAdjust>(p, *src, *full), 1);
    p.rangeOn = 1;
    // Around red: the trapezoid 60000..65535 wraps past 0 with the offset.
    p.range[0] = 60000, p.range[1] = 63000, p.range[2] = 68000, p.range[3] = 70000;
    p.range[2] = 65535, p.range[3] = 65535;
    p.rangeOffset = 65536 - 4000; // hue 0 lands at 61536, inside the full part
    p.range[0] = 55000, p.range[1] = 60000, p.range[2] = 65000, p.range[3] = 65535;
    ASSERT_EQ(RunOnce<CColorAdjust>(p, *src, *dst), 1);
    EXPECT_EQ(PixelAt(*dst, 0).r, PixelAt(*full, 0).r) << "saturated red gets the full effect";
    EXPECT_EQ(PixelAt(*dst, 1).b, 60000) << "blue lies outside the range";
    const Bgra weak = PixelAt(*dst, 2);
    // Saturation of the weak red is below 20000: partial weight.
    uint16_t hsl[4] = {30000, 30000, 36000, 1};
    RgbToHsl16(hsl, 1);
    const int64_t w = std::min<int64_t>(int64_t(hsl[1]) * 255 / 20000, 255);
    ASSERT_LT(w, 255);
    EXPECT_EQ(weak.r, (36000 * (255 - w) + int64_t(PixelAt(*full, 2).r) * w) / 255);
}

TEST(ColorAdjust, BalanceTintsThroughTheWhiteBalance)
{
    ScopedImage src(Uniform(4, 4, {30000, 30000, 30000, 5})), dst;
    ColorAdjustParams p;
    p.mode = 1;
    p.balanceRed = 50; // reference red (178 * 256): red is the colour cast, so red goes down
    ASSERT_EQ(RunOnce<CColorAdjust>(p, *src, *dst), 1);
    const Bgra o = PixelAt(*dst, 1, 1);
    EXPECT_LT(o.r, 30000);
    EXPECT_GT(o.g, 30000);
    EXPECT_EQ(o.a, 5);
    // The same through the white balance directly.
    WhiteBalanceParams wb{128 * 256, 128 * 256, 178 * 256, WhiteBalanceGiven};
    ScopedImage direct;
    ASSERT_EQ(RunOnce<CWhiteBalance>(wb, *src, *direct), 1);
    EXPECT_TRUE(SameImage(*dst, *direct));
}

TEST(HueHelpers, HueLightnessTable)
{
    struct Case {
        int b, g, r, hue, light;
    };
    const Case cases[] = {
        {65535, 0, 0, 43520, 32767}, // pure blue
        {0, 0, 65535, 0, 32767},     // red
        {0, 65535, 0, 21760, 32767}, // green
        {5000, 5000, 5000, 0, 5000}, // grey: hue 0
        {10000, 0, 65535, 65536 - 1666, 32767}, // red with some blue wraps below 65536
        {0, 65535, 65535, 10922, 32767},        // yellow: a sixth of the circle
    };
    for (const Case& c : cases) {
        int hue = -1, light = -1;
        RgbToHueLightness16(c.b, c.g, c.r, hue, light);
        EXPECT_EQ(hue, c.hue) << c.b << "," << c.g << "," << c.r;
        EXPECT_EQ(light, c.light);
    }
}

TEST(HueHelpers, TrapezoidAndRangeTable)
{
    struct Case {
        int a, b, c, d, v, m;
    };
    const Case cases[] = {
        {100, 200, 300, 400, 100, 0},   {100, 200, 300, 400, 150, 127}, {100, 200, 300, 400, 200, 255},
        {100, 200, 300, 400, 299, 255}, {100, 200, 300, 400, 301, 253}, {100, 200, 300, 400, 350, 128},
        {100, 200, 300, 400, 399, 3},   {100, 200, 300, 400, 400, 0},   {100, 100, 300, 300, 100, 255},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrapezoidMembership(c.a, c.b, c.c, c.d, c.v), c.m) << c.v;

    std::vector<uint8_t> t(65536, 77);
    BuildRangeLut(0, 1000, 2000, 3000, 500, t.data());
    EXPECT_EQ(t[0], 127);      // h = 500
    EXPECT_EQ(t[1500], 255);   // h = 2000 (c is exclusive of the full part)
    EXPECT_EQ(t[2500], 0);     // h = 3000
    EXPECT_EQ(t[65035], 0);    // h wraps to 0
    EXPECT_EQ(t[65535], 127); // h wraps to 499
    BuildRangeLut(0, 1000, 2000, 3000, -500, t.data());
    EXPECT_EQ(t[0], 0) << "a negative sum stays below the trapezoid";
    EXPECT_EQ(t[1500], 255);
}

TEST(WhiteBalance, GivenReferenceGains)
{
    ScopedImage src(Pixels({{1000, 1000, 1000, 3}, {20000, 30000, 40000, 3}})), dst;
    WhiteBalanceParams neutral{32768, 32768, 32768, WhiteBalanceGiven};
    ASSERT_EQ(RunOnce<CWhiteBalance>(neutral, *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst)) << "a grey reference has gain 1";

    // Blue 1000 is first raised to 1193; lum = (3*32768 + 6*32768 + 1193) / 10 = 29610.
    for (uint16_t mode : {uint16_t(WhiteBalanceGiven), uint16_t(2), uint16_t(777)}) {
        WhiteBalanceParams wb{1000, 32768, 32768, mode};
        ASSERT_EQ(RunOnce<CWhiteBalance>(wb, *src, *dst), 1);
        EXPECT_EQ(PixelAt(*dst, 0).b, static_cast<uint16_t>(1000 * (29610.0 / 1193) + 0.5)) << mode;
        EXPECT_EQ(PixelAt(*dst, 0).g, static_cast<uint16_t>(1000 * (29610.0 / 32768) + 0.5)) << mode;
    }
    // Above 58000 the reference is halved first; gains stay the same ratios.
    WhiteBalanceParams bright{60000, 60000, 60000, WhiteBalanceGiven};
    ASSERT_EQ(RunOnce<CWhiteBalance>(bright, *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst));
}

uint16_t Ramp(int x, int, int c) { return c == 3 ? 65535 : static_cast<uint16_t>(8000 + x * 150); }

TEST(WhiteBalance, AutomaticOnAGreyRampOnlyLevels)
{
    ScopedImage src(MakeImage(200, 3, Ramp)), dst, levelled;
    ASSERT_EQ(AutoLevel(0, *src, *levelled), 1);
    for (uint16_t mode : {uint16_t(WhiteBalanceAuto), uint16_t(WhiteBalanceAutoStrong)}) {
        WhiteBalanceParams wb{0, 0, 0, mode};
        CWhiteBalance w;
        ASSERT_EQ(RunWith(w, &wb, *src, *dst), 1);
        EXPECT_EQ(w.m_block.red, w.m_block.green);
        EXPECT_EQ(w.m_block.blue, w.m_block.green);
        EXPECT_TRUE(SameImage(*dst, *levelled)) << mode;
    }
}

TEST(WhiteBalance, AutomaticRemovesACast)
{
    // A picture with a blue cast: the estimate finds it and the gains lower blue against red.
    ScopedImage src(Photo(120, 80, 4)), dst;
    for (size_t i = 0; i < PixelCount(*src); ++i) {
        uint16_t* p = Pixels16(*src) + i * 4;
        const uint16_t grey = static_cast<uint16_t>(8000 + (i * 40000) / PixelCount(*src));
        p[1] = grey, p[2] = grey, p[0] = static_cast<uint16_t>(grey * 13 / 10);
    }
    WhiteBalanceParams wb{0, 0, 0, WhiteBalanceAuto};
    CWhiteBalance w;
    ASSERT_EQ(RunWith(w, &wb, *src, *dst), 1);
    int64_t sb = 0, sr = 0;
    for (size_t i = 0; i < PixelCount(*dst); ++i)
        sb += Pixels16(*dst)[i * 4], sr += Pixels16(*dst)[i * 4 + 2];
    EXPECT_LT(std::llabs(sb - sr), (sb + sr) / 50);
}

TEST(SpotMetering, SpotFactorAndAutomaticFallback)
{
    EXPECT_DOUBLE_EQ(CSpotMetering::SpotFactor(5000), 2.5) << "limited to 10000";
    EXPECT_DOUBLE_EQ(CSpotMetering::SpotFactor(25000), 1.0);
    EXPECT_DOUBLE_EQ(CSpotMetering::SpotFactor(90000), 0.5) << "limited to 50000";
    ScopedImage src(Pixels({{4000, 4000, 4000, 1}, {0, 0, 0, 1}})), dst;
    SpotMeteringParams spot{5000, 5000, 5000, 65535};
    ASSERT_EQ(RunOnce<CSpotMetering>(spot, *src, *dst), 1);
    EXPECT_EQ(PixelAt(*dst, 0).r, 10000);
    EXPECT_EQ(PixelAt(*dst, 0).b, 10000);
    ScopedImage ramp(MakeImage(200, 2, Ramp)), levelled;
    ASSERT_EQ(AutoLevel(0, *ramp, *levelled), 1);
    SpotMeteringParams none{5000, 5000, 5000, 0};
    ASSERT_EQ(RunOnce<CSpotMetering>(none, *ramp, *dst), 1);
    EXPECT_TRUE(SameImage(*dst, *levelled));
}

TEST(ColorMixerAdjustAndBalance, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Photo(1000, 920, 7));
    ColorMixerParams mix = Mixer();
    mix.rows[0][1] = 40, mix.rows[2][3] = -7;
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CColorMixer>(mix, s, d); });
    mix.luminanceMode = 1;
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CColorMixer>(mix, s, d); });
    ColorAdjustParams adj;
    adj.hue = 30, adj.saturation = 40, adj.lightness = -20, adj.rangeOn = 1;
    adj.range[0] = 0, adj.range[1] = 5000, adj.range[2] = 20000, adj.range[3] = 30000;
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CColorAdjust>(adj, s, d); });
    adj.mode = 1, adj.balanceBlue = -30;
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CColorAdjust>(adj, s, d); });
    for (uint16_t mode : {uint16_t(WhiteBalanceAuto), uint16_t(WhiteBalanceAutoStrong), uint16_t(WhiteBalanceGiven)}) {
        const WhiteBalanceParams wb{20000, 30000, 40000, mode};
        ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CWhiteBalance>(wb, s, d); });
    }
    for (uint16_t measured : {uint16_t(0), uint16_t(65535)}) {
        const SpotMeteringParams spot{9000, 12000, 15000, measured};
        ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CSpotMetering>(spot, s, d); });
    }
}

} // namespace
