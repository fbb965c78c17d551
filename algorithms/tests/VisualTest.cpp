#include "algorithms/Visual.h"
#include "algorithms/tests/ColourTestSupport.h"

#include <climits>

namespace {

VisualParams Steps(int contrast, int exposure, int r, int g, int b, int strength)
{
    VisualParams p;
    p.contrastSteps = contrast, p.exposureSteps = exposure, p.redSteps = r, p.greenSteps = g, p.blueSteps = b;
    p.strength = strength;
    return p;
}

TEST(Visual, StepTable)
{
    struct Case {
        const char* why;
        VisualParams p;
        Bgra in, out;
    };
    const Case cases[] = {
        {"exposure +1, strength 30: factor 1.3", Steps(0, 1, 0, 0, 0, 30), {10000, 10000, 10000, 3}, {13000, 13000, 13000, 3}},
        {"exposure -2, strength 30: factor 0.7225", Steps(0, -2, 0, 0, 0, 30), {10000, 10000, 10000, 3}, {7225, 7225, 7225, 3}},
        {"red +1, strength 10: red 33468 / 32978, others 32768 / 32978", Steps(0, 0, 1, 0, 0, 10),
         {10000, 10000, 10000, 3}, {9936, 9936, 10149, 3}},
        {"stored steps beyond 100 are limited: factor 31, roll-off 620000 over the whole range", Steps(0, 100000, 0, 0, 0, 30), {100, 100, 100, 3}, {428, 428, 428, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedImage src(Pixels({c.in})), dst;
        ASSERT_EQ(RunOnce<CVisual>(c.p, *src, *dst), 1);
        ExpectPixel(PixelAt(*dst, 0), c.out);
    }
}

TEST(Visual, VariantsMoveInTheNamedDirection)
{
    ScopedImage src(Photo(60, 40, 40));
    auto mean = [](const ImageBuffer16& img, int c) {
        double s = 0;
        for (size_t i = 0; i < PixelCount(img); ++i)
            s += Pixels16(img)[i * 4 + c];
        return s / PixelCount(img);
    };
    auto spread = [](const ImageBuffer16& img) {
        double s = 0;
        for (size_t i = 0; i < PixelCount(img); ++i)
            s += std::abs(Pixels16(img)[i * 4 + 1] - 32768.0);
        return s;
    };
    ScopedImage brighter, more, bluer;
    ASSERT_EQ(RunOnce<CVisual>(Steps(0, 2, 0, 0, 0, 20), *src, *brighter), 1);
    ASSERT_EQ(RunOnce<CVisual>(Steps(2, 0, 0, 0, 0, 20), *src, *more), 1);
    ASSERT_EQ(RunOnce<CVisual>(Steps(0, 0, 0, 0, 3, 20), *src, *bluer), 1);
    EXPECT_GT(mean(*brighter, 1), mean(*src, 1) * 1.2);
    EXPECT_GT(spread(*more), spread(*src) * 1.05);
    EXPECT_GT(mean(*bluer, 0), mean(*src, 0));
    EXPECT_LT(mean(*bluer, 2), mean(*src, 2));
}

TEST(Visual, TablesAreReusedAndRebuiltWhenTheCountsChange)
{
    ScopedImage src(Pixels({{10000, 10000, 10000, 1}})), a, b;
    CVisual v;
    v.m_params = Steps(0, 0, 0, 0, 0, 30);
    ASSERT_EQ(v.ApplyTables(*src, *a), 1);
    EXPECT_TRUE(SameImage(*src, *a));
    EXPECT_FALSE(v.HasTables()) << "no steps: no tables";
    v.m_params = Steps(0, 1, 0, 0, 0, 30);
    ASSERT_EQ(v.ApplyTables(*src, *a), 1);
    EXPECT_EQ(PixelAt(*a, 0).g, 13000);
    ASSERT_EQ(v.ApplyTables(*src, *b), 1);
    EXPECT_TRUE(SameImage(*a, *b));
    v.m_params = Steps(0, -2, 0, 0, 0, 30);
    ASSERT_EQ(v.ApplyTables(*src, *b), 1);
    EXPECT_EQ(PixelAt(*b, 0).g, 7225) << "new counts, new tables";
}

TEST(Visual, HostileColourStepsNeverDivideByZero)
{
    ScopedImage src(Photo(30, 20, 41)), dst;
    for (const VisualParams& p : {Steps(0, 0, INT_MIN, INT_MIN, INT_MIN, INT_MAX), Steps(INT_MAX, INT_MIN, -100, 0, 0, 100),
                                  Steps(INT_MIN, 0, 100, 100, -100, 100)}) {
        ASSERT_EQ(RunOnce<CVisual>(p, *src, *dst), 1);
    }
}

// Slow rows: signals after its first band, then takes its time in each.
class SlowVisual : public CVisual {
protected:
    bool ProcessRows(int first, int end) override
    {
        const bool ok = CVisual::ProcessRows(first, end);
        m_started.Set();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        return ok;
    }

public:
    platform::Event m_started{platform::Event::Reset::Manual, false};
};

TEST(Visual, CancelledRunLeavesTheSourcePicture)
{
    WorkerScope scope(1);
    ScopedImage src(Photo(1000, 2000, 44)), dst;
    SlowVisual v;
    const VisualParams p = Steps(0, 2, 0, 0, 0, 30);
    ASSERT_EQ(StartAlgorithm(&v, &*src, &*dst, &p, 7), 1);
    ASSERT_TRUE(v.m_started.Wait(5000));
    theAlgorithmThread.Cancel();
    auto msgs = scope.host.PumpUntil(1007);
    ASSERT_FALSE(msgs.empty());
    ASSERT_EQ(msgs.back().p2, kAlgorithmCancelled);
    ASSERT_TRUE(theAlgorithmThread.WaitIdle(5000));
    EXPECT_TRUE(SameImage(*src, *dst)) << "no band's unwritten rows are left behind";
}

TEST(Visual, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Photo(1000, 920, 42));
    const VisualParams p = Steps(1, -1, 2, 0, -1, 15);
    ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) { return RunOnce<CVisual>(p, s, d); });
}

} // namespace
