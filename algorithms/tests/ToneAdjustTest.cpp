#include "algorithms/AutoLevel.h"
#include "algorithms/ToneAdjust.h"
#include "algorithms/ToneLut.h"
#include "algorithms/tests/AlgorithmTestSupport.h"
#include "imaging/ColourTables.h"

#include <gtest/gtest.h>

namespace {

// One row of pixels whose B, G and R all hold the given values; alpha 0x1234.
ImageBuffer16 Grey(const std::vector<uint16_t>& values)
{
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, static_cast<int>(values.size()), 1));
    for (size_t i = 0; i < values.size(); ++i) {
        uint16_t* p = Row16(img, 0) + i * 4;
        p[0] = p[1] = p[2] = values[i];
        p[3] = 0x1234;
    }
    return img;
}

int RunBC(int brightness, int contrast, const ImageBuffer16& src, ImageBuffer16& dst, uint16_t size = 12)
{
    CBrightnessContrast bc;
    BrightnessContrastParams p;
    p.size = size;
    p.brightness = brightness;
    p.contrast = contrast;
    bc.SetSource(const_cast<ImageBuffer16*>(&src));
    bc.SetDestination(&dst);
    bc.SetParams(&p);
    return bc.Run();
}

TEST(BrightnessContrast, DocumentedValues)
{
    struct Case { int brightness, contrast; uint16_t in, out; const char* why; };
    const Case cases[] = {
        {100, 0, 10000, 20000, "+100 doubles"},
        {100, 0, 65535, 65535, "the roll-off keeps the top"},
        {50, 0, 10000, 15000, "factor 1.5: a real division"},
        {-100, 0, 10000, 5000, "-100 halves"},
        {-50, 0, 10000, 7500, "factor 0.75"},
        {0, -100, 20000, 32768, "contrast -100 flattens the middle"},
        {0, -100, 45536, 32768, "upper end of the flat zone"},
        {0, -100, 0, 1, "0 becomes 1"},
        {0, 100, 40000, 47232, "contrast +100 doubles the distance"},
        {500, 0, 10000, 20000, "stored brightness is limited to 100"},
        {0, -900, 20000, 32768, "stored contrast is limited to -100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedImage src(Grey({c.in})), dst;
        ASSERT_EQ(RunBC(c.brightness, c.contrast, *src, *dst), 1);
        EXPECT_EQ(Row16(*dst, 0)[0], c.out);
        EXPECT_EQ(Row16(*dst, 0)[2], c.out);
        EXPECT_EQ(Row16(*dst, 0)[3], 0x1234);
    }
}

TEST(BrightnessContrast, NoChangeCopiesAndRecordsAreBounded)
{
    ScopedImage src(Grey({1, 30000, 65535})), dst;
    ASSERT_EQ(RunBC(0, 0, *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst));
    EXPECT_EQ(RunBC(100, 0, *src, *dst, 13), 0) << "a size word above 12 is refused";

    // A shorter record leaves the later field at its previous value.
    CBrightnessContrast bc;
    bc.m_params.contrast = -100;
    BrightnessContrastParams p;
    p.size = 8;
    p.brightness = 0;
    p.contrast = 77; // not copied
    ScopedImage one(Grey({20000}));
    bc.SetSource(&*one);
    bc.SetDestination(&*dst);
    bc.SetParams(&p);
    ASSERT_EQ(bc.Run(), 1);
    EXPECT_EQ(bc.m_params.size, 12);
    EXPECT_EQ(bc.m_params.contrast, -100);
    EXPECT_EQ(Row16(*dst, 0)[0], 32768);
}

uint16_t Gradient(int x, int y, int c)
{
    return static_cast<uint16_t>((x * 37 + y * 101 + c * 9000) * 7 % 65536);
}

TEST(Curve, ModesMapTheRightChannels)
{
    ToneTable tables(3 * kToneLutSize);
    for (int i = 0; i < kToneLutSize; ++i) {
        tables[i] = static_cast<uint16_t>(65535 - i);               // R (or the single curve)
        tables[kToneLutSize + i] = static_cast<uint16_t>(i / 2);     // G
        tables[2 * kToneLutSize + i] = static_cast<uint16_t>(i);     // B
    }
    ScopedImage src(MakeImage(5, 3, Gradient));
    for (int mode : {0, 1, 2, 3, 4, 5}) {
        SCOPED_TRACE(mode);
        ScopedImage dst;
        CCurve curve;
        CurveParams p;
        p.mode = mode;
        p.entries = mode >= 1 && mode <= 3 ? 3 * kToneLutSize : kToneLutSize;
        p.tables = tables.data();
        curve.SetSource(&*src);
        curve.SetDestination(&*dst);
        curve.SetParams(&p);
        ASSERT_EQ(curve.Run(), 1);
        ScopedImage expect;
        ASSERT_TRUE(CopyImage16(*expect, *src));
        if (mode == 4)
            RgbToYCbCr16(*expect);
        for (size_t i = 0; i < PixelCount(*src); ++i) {
            uint16_t* e = Pixels16(*expect) + i * 4;
            if (mode == 0) {
                for (int c = 0; c < 3; ++c)
                    e[c] = static_cast<uint16_t>(65535 - e[c]);
            } else if (mode >= 1 && mode <= 3) {
                e[2] = static_cast<uint16_t>(65535 - e[2]);
                e[1] = static_cast<uint16_t>(e[1] / 2);
            } else if (mode == 4) {
                e[2] = static_cast<uint16_t>(65535 - e[2]);
            }
        }
        if (mode == 4)
            YCbCrToRgb16(*expect);
        EXPECT_TRUE(SameImage(*dst, *expect));
    }
}

TEST(Curve, ShortTablesAreRefused)
{
    ToneTable one(kToneLutSize);
    ScopedImage src(MakeImage(2, 2, Gradient)), dst;
    CCurve curve;
    CurveParams p;
    p.mode = 2;
    p.entries = kToneLutSize; // three curves needed
    p.tables = one.data();
    curve.SetSource(&*src);
    curve.SetDestination(&*dst);
    curve.SetParams(&p);
    EXPECT_EQ(curve.Run(), 0);
    p.tables = nullptr;
    p.mode = 0;
    EXPECT_EQ(curve.Run(), 0);
}

TEST(HsbCurve, NeutralTablesOnlyRoundTripAndHueShiftTurnsHalfway)
{
    ToneTable t(3 * kToneLutSize, 32768);
    ScopedImage src(MakeImage(6, 4, Gradient)), dst, expect;
    CHSBCurve hsb;
    hsb.SetSource(&*src);
    hsb.SetDestination(&*dst);
    hsb.SetParams(t.data());
    ASSERT_EQ(hsb.Run(), 1);
    ASSERT_TRUE(CopyImage16(*expect, *src));
    RgbToHsl16(Pixels16(*expect), PixelCount(*expect));
    HslToRgb16(Pixels16(*expect), PixelCount(*expect));
    EXPECT_TRUE(SameImage(*dst, *expect));

    struct Case { uint16_t h, s, l; int shift, sat, bri; uint16_t eh, es, el; const char* why; };
    const Case cases[] = {
        {1000, 30000, 20000, 0, 32768, 32768, 33768, 30000, 20000, "shift entry 0 turns by half, wrapping below 0"},
        {60000, 30000, 20000, 65535, 32768, 32768, 27231, 30000, 20000, "wraps past the top of the circle"},
        {100, 40000, 20000, 32768, 65535, 32768, 100, 65535, 20000, "saturation 199 % is limited"},
        {100, 45000, 20000, 32768, 32768, 49152, 100, 45000, 30000, "brightness 150 % on a saturated colour"},
        {100, 5000, 20000, 32768, 32768, 49152, 100, 5000, 20000, "greys keep their lightness"},
        {100, 25000, 20000, 32768, 32768, 49152, 100, 25000, 25019, "half weight: w = 128"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ToneTable tab(3 * kToneLutSize, 32768);
        tab[c.h] = static_cast<uint16_t>(c.shift);
        tab[kToneLutSize + c.h] = static_cast<uint16_t>(c.sat);
        tab[2 * kToneLutSize + c.h] = static_cast<uint16_t>(c.bri);
        uint16_t px[4] = {c.l, c.s, c.h, 7};
        ApplyHsbCurvePixel(px, tab.data());
        EXPECT_EQ(px[2], c.eh);
        EXPECT_EQ(px[1], c.es);
        EXPECT_EQ(px[0], c.el);
        EXPECT_EQ(px[3], 7);
    }
}

TEST(AutoLevels, SearchLimitsAndThreshold)
{
    std::vector<uint32_t> h(65536, 0);
    int lo, hi;
    h[20000] = 100;
    FindLevels(h.data(), 0, lo, hi);
    EXPECT_EQ(lo, 20000);
    EXPECT_EQ(hi, 40000) << "the white point never falls below 40000";
    std::fill(h.begin(), h.end(), 0);
    h[35000] = 10;
    FindLevels(h.data(), 0, lo, hi);
    EXPECT_EQ(lo, 30000) << "the black point stops at 30000";
    // 1,000,000 pixels at 2 per mille: T = 2000; more than 2000 at or below bin 12 first.
    std::fill(h.begin(), h.end(), 0);
    h[10] = 1500;
    h[11] = 500;  // 2000: not more than T
    h[12] = 1;    // 2001
    h[60000] = 2000;
    h[59999] = 1;
    FindLevels(h.data(), 2000, lo, hi);
    EXPECT_EQ(lo, 12);
    EXPECT_EQ(hi, 59999);
}

TEST(AutoLevels, ResultsOnSmallPictures)
{
    ScopedImage grey(Grey({20000, 20000, 20000})), dst;
    ASSERT_EQ(AutoLevel(2.0, *grey, *dst), 1);
    EXPECT_EQ(Row16(*dst, 0)[0], 0) << "a uniform grey is its own black point";
    EXPECT_EQ(Row16(*dst, 0)[3], 0x1234);

    // Per channel: B spans 1000..30000, R spans 5000..50000; linear levels stretch each.
    ScopedImage img(MakeImage(4, 1, [](int x, int, int c) -> uint16_t {
        const uint16_t b[4] = {1000, 2000, 3000, 30000}, r[4] = {5000, 6000, 7000, 50000};
        return c == 0 ? b[x] : c == 2 ? r[x] : c == 1 ? 40000 : 0xABCD;
    }));
    ASSERT_EQ(AutoLevelLinear(0.0, *img, *dst), 1);
    EXPECT_EQ(Row16(*dst, 0)[0], 0);                                      // B black point 1000
    EXPECT_EQ(Row16(*dst, 0)[4], (2000 - 1000) * 65535 / 39000);          // B white point stops at 40000
    EXPECT_EQ(Row16(*dst, 0)[2], 0);                                      // R black point 5000
    EXPECT_EQ(Row16(*dst, 0)[14], 65535);                                 // R white point 50000
    EXPECT_EQ(Row16(*dst, 0)[6], static_cast<uint16_t>((6000 - 5000) * 65535.0 / 45000));
    EXPECT_EQ(Row16(*dst, 0)[3], 0xABCD);

    // Luminance: one curve for all three channels; the linear form ignores its clip argument.
    ScopedImage a, b;
    ScopedImage pic(MakeImage(30, 20, Gradient));
    ASSERT_EQ(AutoContrastLinear(*pic, *a, 0), 1);
    ASSERT_EQ(AutoContrastLinear(*pic, *b, 500), 1);
    EXPECT_TRUE(SameImage(*a, *b));
    ASSERT_EQ(AutoContrast(*pic, *a, 0), 1);
    ASSERT_EQ(AutoContrast(*pic, *b, 500), 1);
    EXPECT_FALSE(SameImage(*a, *b));
    for (size_t i = 0; i < PixelCount(*pic); ++i)
        ASSERT_EQ(Pixels16(*a)[i * 4 + 3], Pixels16(*pic)[i * 4 + 3]);

    ImageBuffer16 empty{};
    EXPECT_EQ(AutoLevel(2, empty, *dst), 0);
}

TEST(ToneAdjust, SameResultWithAndWithoutHelpers)
{
    // 1000 x 900 is the smallest picture that is split.
    ScopedImage src(MakeImage(1000, 900, Gradient));
    ToneTable tables(3 * kToneLutSize);
    for (int i = 0; i < 3 * kToneLutSize; ++i)
        tables[i] = static_cast<uint16_t>((i * 7) & 0xFFFF);
    ScopedImage results[2][3];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        CCurve curve;
        CurveParams p;
        p.mode = 1;
        p.entries = 3 * kToneLutSize;
        p.tables = tables.data();
        curve.SetSource(&*src);
        curve.SetDestination(&*results[k][0]);
        curve.SetParams(&p);
        ASSERT_EQ(curve.Run(), 1);
        CHSBCurve hsb;
        hsb.SetSource(&*src);
        hsb.SetDestination(&*results[k][1]);
        hsb.SetParams(tables.data());
        ASSERT_EQ(hsb.Run(), 1);
        p.mode = 4;
        curve.SetDestination(&*results[k][2]);
        ASSERT_EQ(curve.Run(), 1);
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(SameImage(*results[0][i], *results[1][i])) << i;
}

// The tone algorithms spread their pixel loops (and histograms) over the helpers; the bytes must
// not depend on it, in place or into another picture.
TEST(ToneAlgorithms, HelpersDoNotChangeResults)
{
    ScopedImage src(Noise(1100, 700, 5));
    constexpr int kRuns = 7;
    ScopedImage out[2][kRuns];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        ASSERT_EQ(RunBC(40, -30, *src, *out[k][0]), 1);
        ASSERT_TRUE(CopyImage16(*out[k][1], *src));
        ASSERT_EQ(RunBC(-60, 70, *out[k][1], *out[k][1]), 1);
        ASSERT_EQ(AutoLevel(2.0, *src, *out[k][2]), 1);
        ASSERT_EQ(AutoLevelLinear(5.0, *src, *out[k][3]), 1);
        ASSERT_EQ(AutoContrast(*src, *out[k][4], 3), 1);
        ASSERT_EQ(AutoContrastLinear(*src, *out[k][5], 3), 1);
        ASSERT_TRUE(CopyImage16(*out[k][6], *src));
        ASSERT_EQ(AutoLevel(1.0, *out[k][6], *out[k][6]), 1);
    }
    for (int i = 0; i < kRuns; ++i)
        EXPECT_TRUE(SameImage(*out[0][i], *out[1][i])) << i;
    // Not the identity: the runs changed pixels.
    EXPECT_FALSE(SameImage(*src, *out[0][0]));
    EXPECT_FALSE(SameImage(*src, *out[0][2]));
}

} // namespace
