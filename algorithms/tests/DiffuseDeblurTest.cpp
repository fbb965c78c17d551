#include "algorithms/DiffuseFilter.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/IterAntiBlur.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

int RunDiffuse(const DiffuseParams& p, ImageBuffer16& src, ImageBuffer16& dst)
{
    CDiffuseFilter f;
    f.SetSource(&src);
    f.SetDestination(&dst);
    f.SetParams(&p);
    return f.Run();
}

TEST(DiffuseGlow, RampTable)
{
    std::vector<uint16_t> t(65536);
    DiffuseParams p;
    p.mode = 1;
    p.highlight = 0;
    CDiffuseFilter::BuildToneRamp(p, t.data());
    EXPECT_EQ(t[54999], 0);
    EXPECT_EQ(t[55000], 0);
    EXPECT_EQ(t[57500], 2500 * 65535 / 5000);
    EXPECT_EQ(t[60000], 65535);
    p.mode = 0;
    p.highlight = 100; // end 45535
    p.shadow = 100;    // start 3000
    CDiffuseFilter::BuildToneRamp(p, t.data());
    EXPECT_EQ(t[2999], 0);
    EXPECT_EQ(t[10000], 7000 * 65535 / 42535);
    EXPECT_EQ(t[45535], 65535);
    p.highlight = 400; // the ramp would end before it starts: a step, no division by zero
    CDiffuseFilter::BuildToneRamp(p, t.data());
    EXPECT_EQ(t[2999], 0);
    EXPECT_EQ(t[3000], 65535);
}

TEST(DiffuseGlow, AmountsAndModes)
{
    ScopedImage src(Noise(23, 17, 2)), dst, ramped, blurred;
    DiffuseParams p;
    p.mode = 0;
    p.radius = 3.0;
    p.amount = 0;
    ASSERT_EQ(RunDiffuse(p, *src, *dst), 1);
    EXPECT_TRUE(SameImage(*src, *dst)) << "amount 0 returns the source";

    p.amount = 100;
    p.highlight = 50;
    p.shadow = 20;
    ASSERT_EQ(RunDiffuse(p, *src, *dst), 1);
    std::vector<uint16_t> t(65536);
    CDiffuseFilter::BuildToneRamp(p, t.data());
    ASSERT_TRUE(CopyImage16(*ramped, *src));
    for (size_t i = 0; i < PixelCount(*ramped); ++i)
        for (int c = 0; c < 3; ++c)
            Pixels16(*ramped)[i * 4 + c] = t[Pixels16(*ramped)[i * 4 + c]];
    CGaussBlur blur;
    ASSERT_EQ(blur.BlurImage16(3.0, *ramped, *blurred), 1);
    for (size_t i = 0; i < PixelCount(*dst); ++i) {
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(Pixels16(*dst)[i * 4 + c], Pixels16(*blurred)[i * 4 + c]) << "amount 100: the blurred ramp";
        ASSERT_EQ(Pixels16(*dst)[i * 4 + 3], Pixels16(*src)[i * 4 + 3]) << "alpha stays the source's";
    }

    // Highlight diffusion adds the glow of the tones above 55000 only.
    ScopedImage dark(MakeImage(12, 9, [](int x, int y, int c) -> uint16_t { return static_cast<uint16_t>(c == 3 ? 65535 : 1000 * (x + y)); }));
    DiffuseParams g;
    g.mode = 1;
    g.radius = 2;
    g.amount = 100;
    ASSERT_EQ(RunDiffuse(g, *dark, *dst), 1);
    EXPECT_TRUE(SameImage(*dark, *dst));

    DiffuseParams big;
    big.size = 33;
    EXPECT_EQ(RunDiffuse(big, *src, *dst), 0);
}

TEST(DiffuseGlow, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Noise(1000, 900, 4)), a, b;
    DiffuseParams p;
    p.mode = 0;
    p.radius = 6.5;
    p.amount = 60;
    p.highlight = 10;
    {
        WorkerScope scope(0);
        ASSERT_EQ(RunDiffuse(p, *src, *a), 1);
    }
    {
        WorkerScope scope(8);
        ASSERT_EQ(RunDiffuse(p, *src, *b), 1);
    }
    EXPECT_TRUE(SameImage(*a, *b));
}

const int32_t kSmall[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};

IterAntiBlurParams SmallKernel(int iterations)
{
    IterAntiBlurParams p;
    p.weights = kSmall;
    p.width = p.height = 3;
    p.centreX = p.centreY = 1;
    p.divisor = 16;
    p.iterations = iterations;
    p.banded = 1;
    p.clampMode = 2;
    return p;
}

TEST(DeblurTiles, TileLayout)
{
    CDeblurForDlg d;
    d.m_rect = {0, 0, 801, 300};
    ASSERT_EQ(d.SplitIntoTiles(), 3);
    EXPECT_EQ(d.Tiles()[0], (CDeblurForDlg::Tile{0, 0, 267, 300}));
    EXPECT_EQ(d.Tiles()[2], (CDeblurForDlg::Tile{534, 0, 801, 300}));
    d.m_rect = {10, 20, 10 + 802, 20 + 401};
    ASSERT_EQ(d.SplitIntoTiles(), 4 * 3) << "267-wide tiles leave a last, one-pixel one";
    EXPECT_EQ(d.Tiles()[2], (CDeblurForDlg::Tile{544, 20, 811, 220}));
    EXPECT_EQ(d.Tiles().back(), (CDeblurForDlg::Tile{811, 420, 812, 421}));
}

TEST(DeblurTiles, SmallPicturesAndRectangles)
{
    ScopedImage narrow(Noise(99, 500, 1)), dst;
    IterAntiBlurParams p = SmallKernel(3);
    CDeblurForDlg d;
    d.SetSource(&*narrow);
    d.SetDestination(&*dst);
    d.SetParams(&p);
    ASSERT_EQ(d.Run(), 1);
    EXPECT_TRUE(SameImage(*narrow, *dst)) << "under 100 pixels a side: unchanged";

    // One tile: only the rectangle changes, and it equals the deblur of its padded tile.
    ScopedImage src(Noise(120, 110, 2));
    CDeblurForDlg one;
    one.m_rect = {30, 40, 80, 70};
    one.SetSource(&*src);
    one.SetDestination(&*dst);
    one.SetParams(&p);
    ASSERT_EQ(one.Run(), 1);
    int changed = 0;
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 120; ++x) {
            const bool inside = x >= 30 && x < 80 && y >= 40 && y < 70;
            if (!inside) {
                ASSERT_EQ(GetPixel16(*dst, x, y), GetPixel16(*src, x, y)) << x << "," << y;
            }
            changed += inside && GetPixel16(*dst, x, y) != GetPixel16(*src, x, y);
        }
    EXPECT_GT(changed, 0);
}

TEST(DeblurTiles, HelpersDoNotChangeTheResult)
{
    ScopedImage src(Noise(420, 120, 3)), a, b;
    IterAntiBlurParams p = SmallKernel(3);
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        CDeblurForDlg d;
        d.SetSource(&*src);
        d.SetDestination(k == 0 ? &*a : &*b);
        d.SetParams(&p);
        ASSERT_EQ(d.Run(), 1);
    }
    EXPECT_TRUE(SameImage(*a, *b));
}

} // namespace

namespace {

TEST(IterAntiBlurBands, HelpersDoNotChangeTheResult)
{
    // 300 rows in bands of 128 with mirrored margins, computed here or on eight helpers.
    ScopedImage src(Noise(40, 300, 6)), a, b;
    IterAntiBlurParams p = SmallKernel(3);
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        CIterAntiBlur ab;
        ab.SetSource(&*src);
        ab.SetDestination(k == 0 ? &*a : &*b);
        ab.SetParams(&p);
        ASSERT_EQ(ab.Run(), 1);
    }
    EXPECT_TRUE(SameImage(*a, *b));
}

} // namespace
