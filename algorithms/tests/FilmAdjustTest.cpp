#include "algorithms/EnhanceDynamic.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/ToneLut.h"
#include "algorithms/tests/ColourTestSupport.h"
#include "imaging/ConvolutionKernel.h"

#include <climits>
#include <cmath>

namespace {

TEST(EnhanceDynamic, AnchorCurveTable)
{
    std::vector<uint16_t> t(65536);
    CEnhanceDynamic::BuildAnchorTable(50, 50, t.data());
    struct Case {
        int in, out;
    };
    for (const Case& c : {Case{0, 0}, Case{8000, 13000}, Case{32768, 32768}, Case{57355, 52536}, Case{65535, 65535}})
        EXPECT_EQ(t[c.in], c.out) << c.in;
    for (int i = 1; i < 65536; ++i)
        ASSERT_GE(t[i], t[i - 1]) << "the curve rises everywhere";
    CEnhanceDynamic::BuildAnchorTable(50, 0, t.data());
    EXPECT_EQ(t[57355], 57536) << "highlights 0 is not the identity";
}

EnhanceDynamicParams Dyn(int mode, int shadows, int highlights)
{
    EnhanceDynamicParams p;
    p.mode = mode, p.shadows = shadows, p.highlights = highlights;
    return p;
}

TEST(EnhanceDynamic, NothingToDoGivesACopy)
{
    ScopedImage src(Photo(60, 40, 11));
    for (int mode : {0, 1, 2, 7}) {
        ScopedImage dst;
        const int h = mode == 7 ? 50 : 0;
        ASSERT_EQ(RunOnce<CEnhanceDynamic>(Dyn(mode, 0, h), *src, *dst), 1);
        EXPECT_TRUE(SameImage(*src, *dst)) << mode;
    }
}

TEST(EnhanceDynamic, BlendedCurvesByLuminance)
{
    struct Case {
        const char* why;
        uint16_t grey;
        int curve; // 1 shadow curve, 2 highlight curve, 0 none
    };
    const Case cases[] = {{"deep shadow", 3000, 1}, {"middle", 20000, 0}, {"highlight", 50000, 2}};
    ToneTable t1(65536), t2(65536);
    BuildToneLut(t1.data(), ToneLutIdentity | ToneLutBrightness, 60 / 20.0, 50000);
    BuildToneLut(t2.data(), ToneLutIdentity | ToneLutBrightness, 25.0 / (40 + 25), 32768);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedImage src(Uniform(30, 30, {c.grey, c.grey, c.grey, 6})), dst;
        ASSERT_EQ(RunOnce<CEnhanceDynamic>(Dyn(1, 60, 40), *src, *dst), 1);
        const uint16_t want = c.curve == 1 ? t1[c.grey] : (c.curve == 2 ? t2[c.grey] : c.grey);
        EXPECT_EQ(PixelAt(*dst, 15, 15).g, want);
        EXPECT_EQ(PixelAt(*dst, 15, 15).a, 6);
    }
}

TEST(EnhanceDynamic, LocalToneMapStretchesToAboutFourPerMille)
{
    ScopedImage src(Photo(300, 200, 12)), dst;
    ASSERT_EQ(RunOnce<CEnhanceDynamic>(Dyn(2, 50, 50), *src, *dst), 1);
    int64_t black = 0, white = 0;
    const size_t values = PixelCount(*dst) * 3;
    for (size_t i = 0; i < PixelCount(*dst); ++i)
        for (int c = 0; c < 3; ++c) {
            black += Pixels16(*dst)[i * 4 + c] == 0;
            white += Pixels16(*dst)[i * 4 + c] == 65535;
        }
    EXPECT_NEAR(double(black) / values, 0.004, 0.003);
    EXPECT_NEAR(double(white) / values, 0.004, 0.003);
    // A given factor does not stretch; radius 0 reads the unblurred grey.
    EnhanceDynamicParams p = Dyn(2, 50, 50);
    p.factor = 2.0, p.radius = 0;
    ScopedImage a, b;
    ASSERT_EQ(RunOnce<CEnhanceDynamic>(p, *src, *a), 1);
    p.radius = 30;
    ASSERT_EQ(RunOnce<CEnhanceDynamic>(p, *src, *b), 1);
    EXPECT_FALSE(SameImage(*a, *b));
}

TEST(EnhanceDynamic, HostileRecordsAreBounded)
{
    ScopedImage src(Photo(80, 50, 13)), dst, ref;
    EnhanceDynamicParams p = Dyn(2, INT_MAX, INT_MIN);
    p.radius = INT_MAX, p.enhance = INT_MAX, p.factor = std::nan("");
    ASSERT_EQ(RunOnce<CEnhanceDynamic>(p, *src, *dst), 1);
    EnhanceDynamicParams q = Dyn(2, 100, 0);
    q.radius = 100, q.enhance = 100, q.factor = 0;
    ASSERT_EQ(RunOnce<CEnhanceDynamic>(q, *src, *ref), 1);
    EXPECT_TRUE(SameImage(*dst, *ref));
    for (int mode : {0, 1}) {
        p.mode = q.mode = mode;
        ASSERT_EQ(RunOnce<CEnhanceDynamic>(p, *src, *dst), 1);
        ASSERT_EQ(RunOnce<CEnhanceDynamic>(q, *src, *ref), 1);
        EXPECT_TRUE(SameImage(*dst, *ref)) << mode;
    }
    p.size = 41;
    EXPECT_EQ(RunOnce<CEnhanceDynamic>(p, *src, *dst), 0);
}

FilmAdjustParams Film(int e, int d, int t, int b, int g, int s)
{
    FilmAdjustParams p;
    p.exposure = e, p.dynamicRange = d, p.temperature = t, p.colourBoost = b, p.grain = g, p.sharpness = s;
    return p;
}

TEST(FilmAdjust, ZeroRecordCopiesAndReportsDone)
{
    ScopedImage src(Photo(40, 30, 14)), dst;
    CAFilmAdjust f;
    FilmAdjustParams p;
    ASSERT_EQ(RunWith(f, &p, *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst));
    EXPECT_EQ(f.LastReported(), 100);
}

TEST(FilmAdjust, CurveValues)
{
    struct Case {
        const char* why;
        FilmAdjustParams p;
        Bgra in, out;
    };
    const Case cases[] = {
        {"exposure 10 multiplies by 2.69", Film(10, 0, 0, 0, 0, 0), {10000, 10000, 10000, 1}, {26900, 26900, 26900, 1}},
        {"exposure -10 divides by 2.69 below the roll-off", Film(-10, 0, 0, 0, 0, 0), {5380, 5380, 5380, 1}, {2000, 2000, 2000, 1}},
        {"temperature 400: red / 1.1, blue x 1.1", Film(0, 0, 400, 0, 0, 0), {10000, 10000, 10000, 1}, {11000, 10000, 9091, 1}},
        {"temperature -400: the other way", Film(0, 0, -400, 0, 0, 0), {10000, 10000, 10000, 1}, {9091, 10000, 11000, 1}},
        {"stored exposure 99 is limited to 10", Film(99, 0, 0, 0, 0, 0), {10000, 10000, 10000, 1}, {26900, 26900, 26900, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedImage src(Pixels({c.in})), dst;
        ASSERT_EQ(RunOnce<CAFilmAdjust>(c.p, *src, *dst), 1);
        ExpectPixel(PixelAt(*dst, 0), c.out, 1);
    }
    // Colour boost on a grey pixel keeps it grey; on a coloured one it widens Cb/Cr.
    ScopedImage src(Pixels({{20000, 20000, 20000, 1}, {10000, 20000, 40000, 1}})), dst;
    ASSERT_EQ(RunOnce<CAFilmAdjust>(Film(0, 0, 0, 50, 0, 0), *src, *dst), 1);
    EXPECT_NEAR(PixelAt(*dst, 0).r, 20000, 20);
    EXPECT_GT(PixelAt(*dst, 1).r - PixelAt(*dst, 1).b, 30000);
}

uint16_t Edge(int x, int, int c) { return c == 3 ? 65535 : (x < 6 ? 15000 : 45000); }

TEST(FilmAdjust, SharpnessReachesTheBorderRowsAndNegativeBlurs)
{
    ScopedImage src(MakeImage(12, 5, Edge)), sharp, soft;
    ASSERT_EQ(RunOnce<CAFilmAdjust>(Film(0, 0, 0, 0, 0, 30), *src, *sharp), 1);
    ASSERT_EQ(RunOnce<CAFilmAdjust>(Film(0, 0, 0, 0, 0, -30), *src, *soft), 1);
    for (int y : {0, 4}) {
        EXPECT_GT(PixelAt(*sharp, 6, y).g, 45000) << "top and bottom rows are sharpened too";
        EXPECT_LT(PixelAt(*sharp, 5, y).g, 15000);
        EXPECT_LT(PixelAt(*soft, 6, y).g, 45000);
        EXPECT_GT(PixelAt(*soft, 5, y).g, 15000);
    }
    EXPECT_EQ(PixelAt(*sharp, 0, 2).g, 15000) << "flat areas stay";
}

TEST(FilmAdjust, SoftenMatchesTheGeneralConvolution)
{
    static const int32_t kWeights[25] = {0, 0, 1, 0, 0, 0, 1, 2, 1, 0, 1, 2, 4, 2, 1, 0, 1, 2, 1, 0, 0, 0, 1, 0, 0};
    ConvolutionKernel k;
    k.weights = kWeights, k.divisor = 20, k.width = 5, k.height = 5, k.centreX = 2, k.centreY = 2;
    for (const auto& size : {std::pair{1, 1}, std::pair{2, 7}, std::pair{5, 5}, std::pair{37, 23}}) {
        ScopedImage src(Noise(size.first, size.second, 9)), expect, got;
        ASSERT_TRUE(k.ApplyImage16(*src, *expect));
        ASSERT_TRUE(AllocImage16(*got, size.first, size.second));
        FilmSoften5x5(*src, *got);
        EXPECT_TRUE(SameImage(*expect, *got)) << size.first << "x" << size.second;
    }
}

TEST(FilmAdjust, GrainIsSeedableAndKeepsTheMean)
{
    ScopedImage src(Uniform(200, 150, {30000, 30000, 30000, 65535})), a, b, c;
    const FilmAdjustParams p = Film(0, 0, 0, 0, 60, 0);
    CAFilmAdjust f1, f2, f3;
    f1.SetGrainSeed(5);
    f2.SetGrainSeed(5);
    ASSERT_EQ(RunWith(f1, &p, *src, *a), 1);
    ASSERT_EQ(RunWith(f2, &p, *src, *b), 1);
    ASSERT_EQ(RunWith(f3, &p, *src, *c), 1);
    EXPECT_TRUE(SameImage(*a, *b));
    EXPECT_FALSE(SameImage(*a, *c)) << "unseeded runs differ";
    double sum = 0, sq = 0;
    int n = 0;
    for (int y = 1; y < 149; ++y)
        for (int x = 1; x < 199; ++x, ++n) {
            const double v = PixelAt(*a, x, y).g;
            sum += v, sq += v * v;
        }
    const double mean = sum / n, sd = std::sqrt(sq / n - mean * mean);
    EXPECT_NEAR(mean, 30000, 300);
    EXPECT_GT(sd, 100);
    EXPECT_EQ(PixelAt(*a, 0, 0).g, 30000) << "the picture's border gets no grain";
}

TEST(FilmAdjust, DynamicRangeRunsTheShadowsHighlightsStep)
{
    ScopedImage src(Photo(90, 60, 15)), viaFilm, direct;
    ASSERT_EQ(RunOnce<CAFilmAdjust>(Film(0, 20, 0, 0, 0, 0), *src, *viaFilm), 1);
    EnhanceDynamicParams e;
    e.factor = 2.0, e.mode = 2, e.shadows = 60, e.highlights = 60, e.radius = 20, e.enhance = 60;
    ASSERT_EQ(RunOnce<CEnhanceDynamic>(e, *src, *direct), 1);
    EXPECT_TRUE(SameImage(*viaFilm, *direct));
}

TEST(FilmAdjust, HostileRecordsAreBounded)
{
    ScopedImage src(Photo(50, 40, 16)), dst, ref;
    const FilmAdjustParams hostile[] = {
        Film(INT_MAX, INT_MIN, INT_MAX, INT_MIN, INT_MIN, INT_MAX),
        Film(INT_MIN, -71, INT_MIN, INT_MAX, 0, INT_MIN),
    };
    for (const FilmAdjustParams& h : hostile) {
        FilmAdjustParams q = h;
        q.exposure = ClampField(h.exposure, -10, 10), q.dynamicRange = ClampField(h.dynamicRange, -70, 30);
        q.temperature = ClampField(h.temperature, -1500, 1500), q.colourBoost = ClampField(h.colourBoost, -50, 50);
        q.grain = ClampField(h.grain, 0, 100), q.sharpness = ClampField(h.sharpness, -50, 50);
        CAFilmAdjust f1, f2;
        f1.SetGrainSeed(3), f2.SetGrainSeed(3);
        ASSERT_EQ(RunWith(f1, &h, *src, *dst), 1);
        ASSERT_EQ(RunWith(f2, &q, *src, *ref), 1);
        EXPECT_TRUE(SameImage(*dst, *ref));
    }
}

TEST(FilmAndDynamic, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Photo(1000, 920, 17));
    for (const FilmAdjustParams& p : {Film(4, -30, 600, 25, 40, 20), Film(-3, 15, -300, -20, 10, -10)}) {
        ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) {
            CAFilmAdjust f;
            f.SetGrainSeed(77);
            return RunWith(f, &p, s, d);
        });
    }
    for (int mode : {0, 1, 2})
        ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) {
            return RunOnce<CEnhanceDynamic>(Dyn(mode, 40, 70), s, d);
        });
}

} // namespace
