#include "algorithms/SketchSim.h"
#include "algorithms/tests/ColourTestSupport.h"

#include <climits>

namespace {

SketchParams Sketch(int step, int colourful, int detail)
{
    SketchParams p;
    p.levelStep = step, p.colourful = colourful, p.detail = detail;
    return p;
}

// White paper with a dark square and a mid-grey disc, with a little texture as a photo has
// (a perfectly flat area has no edge direction to hatch along).
ImageBuffer16 Drawing(int w, int h)
{
    ImageBuffer16 img = Uniform(w, h, {65535, 65535, 65535, 1234});
    std::mt19937 rng(3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = Row16(img, y) + x * 4;
            const uint16_t n = static_cast<uint16_t>(rng() % 1500);
            if (x > w / 8 && x < w / 2 && y > h / 4 && y < 3 * h / 4)
                p[0] = 2000 + n, p[1] = 3000 + n, p[2] = 6000 + n;
            else if ((x - 3 * w / 4) * (x - 3 * w / 4) + (y - h / 2) * (y - h / 2) < (h / 4) * (h / 4))
                p[0] = 9000 + n, p[1] = 12000 + n, p[2] = 20000 + n;
        }
    return img;
}

TEST(PencilSketch, SliderToLevelStep)
{
    struct Case {
        int slider, step;
    };
    for (const Case& c : {Case{75, 8}, Case{100, 4}, Case{0, 64}, Case{50, 16}, Case{-20, 64}})
        EXPECT_EQ(SketchLevelStep(c.slider), c.step) << c.slider;
}

TEST(PencilSketch, SameInputSameDrawing)
{
    ScopedImage src(Drawing(160, 120)), a, b;
    ASSERT_EQ(RunOnce<CSketchSim>(Sketch(8, 0, 2), *src, *a), 1);
    ASSERT_EQ(RunOnce<CSketchSim>(Sketch(8, 0, 2), *src, *b), 1);
    EXPECT_TRUE(SameImage(*a, *b));
}

TEST(PencilSketch, WhiteStaysWhiteAndDarkIsDrawn)
{
    ScopedImage white(Uniform(80, 60, {65535, 65535, 65535, 7})), out;
    ASSERT_EQ(RunOnce<CSketchSim>(Sketch(8, 0, 2), *white, *out), 1);
    for (size_t i = 0; i < PixelCount(*out); ++i)
        ASSERT_EQ(Pixels16(*out)[i * 4 + 1], 65535);

    ScopedImage src(Drawing(200, 160));
    for (int step : {256, 4}) {
        SCOPED_TRACE(step);
        ScopedImage dst;
        ASSERT_EQ(RunOnce<CSketchSim>(Sketch(step, 0, 5), *src, *dst), 1);
        double inSquare = 0, paper = 0;
        int ns = 0, np = 0;
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 200; ++x) {
                const Bgra o = PixelAt(*dst, x, y);
                ASSERT_EQ(o.r, o.g);
                ASSERT_EQ(o.b, o.g);
                ASSERT_EQ(o.a, 65535);
                if (x > 40 && x < 90 && y > 55 && y < 105)
                    inSquare += o.g, ++ns;
                else if (y < 30)
                    paper += o.g, ++np;
            }
        EXPECT_LT(inSquare / ns, 0.6 * paper / np);
        EXPECT_GT(paper / np, 60000);
    }
}

TEST(PencilSketch, ColourfulPutsTheDrawnGreyUnderTheColours)
{
    ScopedImage src(Drawing(120, 90)), grey, dst;
    ASSERT_EQ(RunOnce<CSketchSim>(Sketch(16, 0, 3), *src, *grey), 1);
    ASSERT_EQ(RunOnce<CSketchSim>(Sketch(16, 1, 3), *src, *dst), 1);
    ScopedImage y;
    ASSERT_TRUE(CopyImage16(*y, *dst));
    RgbToYCbCr16(*y);
    int checked = 0, coloured = 0;
    for (size_t i = 0; i < PixelCount(*y); ++i) {
        const uint16_t* d = Pixels16(*dst) + i * 4;
        ASSERT_EQ(d[3], 1234) << "alpha stays";
        coloured += d[0] != d[2];
        if (std::min({d[0], d[1], d[2]}) == 0 || std::max({d[0], d[1], d[2]}) == 65535)
            continue; // clipped by the conversion back
        ++checked;
        EXPECT_NEAR(Pixels16(*y)[i * 4 + 2], Pixels16(*grey)[i * 4 + 1], 300);
    }
    EXPECT_GT(checked, 100);
    EXPECT_GT(coloured, 100);
}

TEST(PencilSketch, HostileRecordsAreBounded)
{
    ScopedImage src(Drawing(64, 48)), dst, ref;
    struct Case {
        SketchParams hostile, bounded;
    };
    const Case cases[] = {
        {Sketch(0, 0, INT_MIN), Sketch(1, 0, 1)},
        {Sketch(INT_MAX, INT_MIN, INT_MAX), Sketch(256, 1, 5)},
        {Sketch(INT_MIN, 0, 0), Sketch(1, 0, 1)},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(RunOnce<CSketchSim>(c.hostile, *src, *dst), 1);
        ASSERT_EQ(RunOnce<CSketchSim>(c.bounded, *src, *ref), 1);
        EXPECT_TRUE(SameImage(*dst, *ref));
    }
}

TEST(PencilSketch, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Photo(1000, 920, 50));
    for (int colourful : {0, 1})
        ExpectHelpersAgree(*src, [&](ImageBuffer16& s, ImageBuffer16& d) {
            return RunOnce<CSketchSim>(Sketch(32, colourful, 3), s, d);
        });
}

} // namespace
