#include "algorithms/ToneMaker.h"
#include "algorithms/tests/ColourTestSupport.h"
#include "imaging/ColourTables.h"

#include <climits>
#include <cmath>

namespace {

void SetColour(uint16_t* c, int b, int g, int r)
{
    c[0] = static_cast<uint16_t>(b), c[1] = static_cast<uint16_t>(g), c[2] = static_cast<uint16_t>(r), c[3] = 0;
}

TEST(ToneMaker, ZoneLimitsAndWeights)
{
    const ToneZones z = SplitToneZones();
    EXPECT_EQ(z.z64, 3334);
    EXPECT_EQ(z.z120, 12206);
    EXPECT_EQ(z.z160, 22840);
    EXPECT_EQ(z.z192, 34244);
    struct Case {
        int i, s, m, h;
    };
    const Case cases[] = {
        {0, 256, 0, 0},
        {2634, 256, 0, 0},                      // z64 - 700: the midtone starts here
        {3334, 256, 700 * 256 / 9572, 0},       // z64
        {12905, 1, 256, 0},                     // the shadow's last step; the midtone is full from z120
        {12906, 0, 256, 0},                     // z120 + 700
        {18840, 0, 256, 0},                     // z160 - 4000: the highlight starts
        {30000, 0, 138, 185},
        {38244, 0, 0, 256},                     // z192 + 4000
        {65535, 0, 0, 256},
    };
    for (const Case& c : cases) {
        int s, m, h;
        ToneZoneWeights(z, c.i, s, m, h);
        EXPECT_EQ(s, c.s) << c.i;
        EXPECT_EQ(m, c.m) << c.i;
        EXPECT_EQ(h, c.h) << c.i;
    }
}

TEST(ToneMaker, TablesKeepBlackAndWhiteAndTintTheTop)
{
    ToneMakerParams p;
    SetColour(p.shadow, 20000, 30000, 40000);
    SetColour(p.midtone, 30000, 30000, 30000);
    SetColour(p.highlight, 20000, 20000, 40000); // lum 26000: red ratio 1.54, green and blue 0.77
    CToneMaker t;
    ASSERT_EQ(t.BuildTables(p), 1);
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_EQ(t.Table(ch)[0], 0) << ch;
    EXPECT_EQ(t.Table(0)[65535], 65535) << "a ratio of at least 1 fades back to white";
    EXPECT_EQ(t.Table(1)[65535], static_cast<uint16_t>(65535 * (20000.0 / 26000)));
    EXPECT_EQ(t.Table(2)[65535], static_cast<uint16_t>(65535 * (20000.0 / 26000)));
    // Midtones with a neutral colour stay, shadows tint toward red.
    EXPECT_EQ(t.Table(1)[16000], 16000);
    EXPECT_GT(t.Table(0)[1000], 1000);
    EXPECT_LT(t.Table(2)[1000], 1000);
}

TEST(ToneMaker, DocumentedRuns)
{
    ScopedImage src(Photo(50, 40, 5));
    ToneMakerParams p;
    {
        SCOPED_TRACE("desaturation and toning 0 copy");
        ScopedImage dst;
        ASSERT_EQ(RunOnce<CToneMaker>(p, *src, *dst), 1);
        EXPECT_TRUE(SameImage(*src, *dst));
    }
    {
        SCOPED_TRACE("desaturation 100, toning 0: grey of the weighted luminance");
        p.desaturation = 100;
        ScopedImage dst;
        ASSERT_EQ(RunOnce<CToneMaker>(p, *src, *dst), 1);
        for (size_t i = 0; i < PixelCount(*src); ++i) {
            const uint16_t* s = Pixels16(*src) + i * 4;
            const uint16_t* o = Pixels16(*dst) + i * 4;
            const int64_t g = (int64_t(s[2]) * 30 + int64_t(s[1]) * 60 + int64_t(s[0]) * 10) / 100;
            ASSERT_EQ(o[0], g);
            ASSERT_EQ(o[1], g);
            ASSERT_EQ(o[2], g);
            ASSERT_EQ(o[3], s[3]);
        }
    }
    {
        SCOPED_TRACE("toning 100 with neutral colours changes nothing");
        p.desaturation = 0;
        p.toning = 100;
        SetColour(p.shadow, 9000, 9000, 9000);
        SetColour(p.midtone, 30000, 30000, 30000);
        SetColour(p.highlight, 50000, 50000, 50000);
        ScopedImage dst;
        ASSERT_EQ(RunOnce<CToneMaker>(p, *src, *dst), 1);
        EXPECT_TRUE(SameImage(*src, *dst));
    }
}

TEST(ToneMaker, HostileRecordsAreBounded)
{
    ScopedImage src(Uniform(8, 8, {65535, 65535, 65535, 3})), dst, ref;
    struct Case {
        const char* why;
        int32_t w, desat, tone;
    };
    const Case cases[] = {
        {"huge weights and desaturation", INT_MAX, INT_MAX, 100},
        {"negative percentages", INT_MIN, INT_MIN, INT_MIN},
        {"toning above 100", 100, 100, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ToneMakerParams p;
        p.redWeight = p.greenWeight = p.blueWeight = c.w;
        p.desaturation = c.desat;
        p.toning = c.tone;
        SetColour(p.shadow, 0, 0, 0); // black zone colours have no ratio
        SetColour(p.highlight, 0, 0, 1);
        ASSERT_EQ(RunOnce<CToneMaker>(p, *src, *dst), 1);
        ToneMakerParams q = p;
        q.redWeight = q.greenWeight = q.blueWeight = ClampField(c.w, 0, 100);
        q.desaturation = ClampField(c.desat, 0, 100);
        q.toning = ClampField(c.tone, 0, 100);
        ASSERT_EQ(RunOnce<CToneMaker>(q, *src, *ref), 1);
        EXPECT_TRUE(SameImage(*dst, *ref));
        EXPECT_EQ(PixelAt(*dst, 3, 3).a, 3);
    }
}

TEST(ColorContrast, GreyIsKeptAndColourIsPushedAway)
{
    ScopedImage grey(Photo(60, 50, 6));
    for (size_t i = 0; i < PixelCount(*grey); ++i) {
        uint16_t* p = Pixels16(*grey) + i * 4;
        p[0] = p[2] = p[1];
    }
    for (int amount : {0, 150, -80}) {
        ColorContrastParams p;
        p.amount = amount;
        ScopedImage dst;
        ASSERT_EQ(RunOnce<CColorContrast>(p, *grey, *dst), 1);
        EXPECT_TRUE(SameImage(*grey, *dst)) << amount;
    }
    // A saturated patch inside dull surroundings gets more saturated.
    ScopedImage src(Uniform(300, 300, {25000, 27000, 30000, 65535})); // sigma 6
    for (int y = 145; y < 155; ++y)
        for (int x = 145; x < 155; ++x) {
            uint16_t* p = Row16(*src, y) + x * 4;
            p[0] = 10000, p[1] = 20000, p[2] = 40000;
        }
    ColorContrastParams p;
    p.amount = 100;
    ScopedImage dst;
    ASSERT_EQ(RunOnce<CColorContrast>(p, *src, *dst), 1);
    uint16_t before[4] = {10000, 20000, 40000, 0};
    uint16_t after[4];
    std::memcpy(after, Row16(*dst, 150) + 150 * 4, 8);
    RgbToHsl16(before, 1);
    RgbToHsl16(after, 1);
    EXPECT_GT(after[1], before[1] + 1000);
}

TEST(ToneMakerAndContrast, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Photo(1000, 920, 8));
    ToneMakerParams t;
    t.desaturation = 40, t.toning = 70;
    SetColour(t.shadow, 30000, 20000, 10000);
    SetColour(t.midtone, 20000, 30000, 20000);
    SetColour(t.highlight, 10000, 30000, 40000);
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CToneMaker>(t, s, d); });
    ColorContrastParams c;
    c.amount = 60;
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CColorContrast>(c, s, d); });
}

} // namespace
