#include "raster/Raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

void FillRandom(CRaster& image, unsigned seed)
{
    std::mt19937 rng(seed);
    int entries = image.PaletteCount();
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            if (entries)
                image.WritePixelIndex(x, y, uint8_t(rng() % entries));
            else
                image.WritePixelColour(x, y, RGBQUAD{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
        }
    for (int i = 0; i < entries; ++i)
        image.WritePaletteEntry(i, uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
    if (image.alpha)
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.Width(); ++x)
                image.SetAlphaValue(x, y, uint8_t(rng()));
}

// Pixel colours and alpha, compared picture to picture.
void ExpectSamePicture(const CRaster& a, const CRaster& b)
{
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    ASSERT_EQ(a.BitsPerPixel(), b.BitsPerPixel());
    ASSERT_EQ(a.alpha != nullptr, b.alpha != nullptr);
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            ASSERT_EQ(a.ReadPixelColour(x, y), b.ReadPixelColour(x, y)) << x << "," << y;
            ASSERT_EQ(a.GetAlphaValue(x, y), b.GetAlphaValue(x, y)) << x << "," << y;
        }
}

} // namespace

TEST(RasterTransform, FlipMirrorAndTurnsAtEveryDepth)
{
    for (int bits : {1, 4, 8, 24}) {
        for (bool withAlpha : {false, true}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, alpha " << withAlpha);
            CRaster image(7, 5, bits, 0);
            if (withAlpha)
                image.CreateAlphaPlane();
            FillRandom(image, bits * 10 + withAlpha);
            CRaster original(image, true, true, true);

            ASSERT_TRUE(image.Flip());
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 7; ++x) {
                    ASSERT_EQ(image.ReadPixelColour(x, y), original.ReadPixelColour(x, 4 - y));
                    ASSERT_EQ(image.GetAlphaValue(x, y), original.GetAlphaValue(x, 4 - y));
                }
            ASSERT_TRUE(image.Flip());
            ExpectSamePicture(image, original);

            ASSERT_TRUE(image.Mirror());
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 7; ++x) {
                    ASSERT_EQ(image.ReadPixelColour(x, y), original.ReadPixelColour(6 - x, y));
                    ASSERT_EQ(image.GetAlphaValue(x, y), original.GetAlphaValue(6 - x, y));
                }
            ASSERT_TRUE(image.Mirror());
            ExpectSamePicture(image, original);

            // Turning right equals three turns left; four turns give the start back.
            CRaster right(0);
            ASSERT_TRUE(image.TurnRight(&right));
            ExpectSamePicture(image, original); // a destination leaves the source alone
            EXPECT_EQ(right.Width(), 5);
            EXPECT_EQ(right.Height(), 7);
            for (int i = 0; i < 3; ++i)
                ASSERT_TRUE(image.TurnLeft());
            ExpectSamePicture(image, right);
            ASSERT_TRUE(image.TurnLeft());
            ExpectSamePicture(image, original);
        }
    }
}

TEST(RasterTransform, QuarterTurnsOfATwoPixelRow)
{
    const RGBQUAD a{10, 20, 30, 0}, b{40, 50, 60, 0};
    CRaster row(2, 1, 24, 0);
    row.WritePixelColour(0, 0, a);
    row.WritePixelColour(1, 0, b);
    CRaster left(0), right(0);
    ASSERT_TRUE(row.TurnLeft(&left));
    ASSERT_TRUE(row.TurnRight(&right));
    // Stored row 1 is the top.
    EXPECT_EQ(left.ReadPixelColour(0, 1), b);
    EXPECT_EQ(left.ReadPixelColour(0, 0), a);
    EXPECT_EQ(right.ReadPixelColour(0, 1), a);
    EXPECT_EQ(right.ReadPixelColour(0, 0), b);

    CRaster empty(0);
    EXPECT_FALSE(empty.Flip());
    EXPECT_FALSE(empty.Mirror());
    EXPECT_FALSE(empty.TurnLeft());
    EXPECT_FALSE(empty.Rescale(2, 2, 0));
}

TEST(RasterTransform, RescaleModes)
{
    CRaster image(4, 4, 24, 0);
    FillRandom(image, 7);
    CRaster original(image, true, true, true);
    EXPECT_TRUE(image.Rescale(4, 4, 0));
    ExpectSamePicture(image, original);
    EXPECT_FALSE(image.Rescale(0, 4, 0));
    EXPECT_FALSE(image.Rescale(4, 0, 1));

    // Shrinking by 2: each output pixel is the truncated mean of its 2 x 2 block.
    ASSERT_TRUE(image.Rescale(2, 2, 0));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            int sum[3] = {0, 0, 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    RGBQUAD c = original.ReadPixelColour(2 * x + dx, 2 * y + dy);
                    sum[0] += c.rgbBlue, sum[1] += c.rgbGreen, sum[2] += c.rgbRed;
                }
            RGBQUAD got = image.ReadPixelColour(x, y);
            EXPECT_EQ(got.rgbBlue, sum[0] / 4);
            EXPECT_EQ(got.rgbGreen, sum[1] / 4);
            EXPECT_EQ(got.rgbRed, sum[2] / 4);
        }

    // Enlarging takes the bilinear path: pixel (1, 0) of 8 x 8 lies halfway between two sources.
    CRaster big(original, true, true, true);
    ASSERT_TRUE(big.Rescale(8, 8, 0));
    RGBQUAD p0 = original.ReadPixelColour(0, 0), p1 = original.ReadPixelColour(1, 0);
    EXPECT_EQ(big.ReadPixelColour(0, 0), p0);
    EXPECT_EQ(big.ReadPixelColour(1, 0).rgbRed, static_cast<uint8_t>((p0.rgbRed + p1.rgbRed) * 0.5f));

    // Any other mode repeats the nearest source pixel.
    CRaster nearest(original, true, true, true);
    ASSERT_TRUE(nearest.Rescale(8, 8, 3));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(nearest.ReadPixelColour(x, y), original.ReadPixelColour(x / 2, y / 2));
}

TEST(RasterTransform, AreaAverageMatchesAnExactAverageAtOddRatios)
{
    struct Case { int w, h, nw, nh; };
    const Case cases[] = {{6, 6, 4, 4}, {17, 9, 5, 4}, {100, 37, 7, 3}, {31, 64, 30, 63}, {9, 9, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " -> " << c.nw << "x" << c.nh);
        CRaster image(c.w, c.h, 24, 0);
        FillRandom(image, c.w * c.h);
        CRaster original(image, true, true, true);
        image.CreateAlphaPlane();
        ASSERT_TRUE(image.Rescale(c.nw, c.nh, 0));
        ASSERT_NE(image.alpha, nullptr);
        double xs = double(c.w) / c.nw, ys = double(c.h) / c.nh;
        for (int y = 0; y < c.nh; ++y)
            for (int x = 0; x < c.nw; ++x)
                for (int ch = 0; ch < 3; ++ch) {
                    // Exact coverage-weighted mean of the source area of this output pixel.
                    double sum = 0, area = 0;
                    for (int sy = 0; sy < c.h; ++sy)
                        for (int sx = 0; sx < c.w; ++sx) {
                            double ox = std::max(0.0, std::min(sx + 1.0, (x + 1) * xs) - std::max(double(sx), x * xs));
                            double oy = std::max(0.0, std::min(sy + 1.0, (y + 1) * ys) - std::max(double(sy), y * ys));
                            if (ox * oy <= 0)
                                continue;
                            const uint8_t* p = original.Row(sy) + 3 * sx;
                            sum += ox * oy * p[ch];
                            area += ox * oy;
                        }
                    int got = image.Row(y)[3 * x + ch];
                    ASSERT_NEAR(got, sum / area, 2.5) << x << "," << y << " channel " << ch;
                }
    }
}

TEST(RasterTransform, PalettePicturesRescaleToNearestEntries)
{
    CRaster image(4, 4, 8, 0);
    image.WritePaletteEntry(0, 0, 0, 0);
    image.WritePaletteEntry(1, 255, 255, 255);
    image.WritePaletteEntry(2, 128, 128, 128);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            image.WritePixelIndex(x, y, x < 2 ? 0 : 1);
    ASSERT_TRUE(image.Rescale(3, 3, 0)); // bilinear even though it shrinks
    EXPECT_EQ(image.ReadPixelIndex(0, 0), 0);
    EXPECT_EQ(image.ReadPixelIndex(1, 0), 2); // between black and white
    EXPECT_EQ(image.ReadPixelIndex(2, 0), 1);
}

TEST(RasterPalette, SearchAndExchange)
{
    CRaster image(3, 1, 8, 0);
    image.WritePaletteEntry(0, 9, 9, 9);
    image.WritePaletteEntry(1, 100, 100, 100);
    image.WritePaletteEntry(2, 100, 100, 100);
    image.WritePaletteEntry(3, 110, 100, 100);
    image.WritePaletteEntry(4, 90, 100, 100);
    // All others stay black (0, 0, 0).
    EXPECT_EQ(image.NearestPaletteIndex(RGBQUAD{100, 100, 100, 0}), 1); // first exact
    EXPECT_EQ(image.NearestPaletteIndex(RGBQUAD{100, 100, 105, 0}), 1); // first of equals
    EXPECT_EQ(image.NearestPaletteIndex(RGBQUAD{100, 100, 106, 0}), 3);
    EXPECT_EQ(image.NearestPaletteIndex(RGBQUAD{1, 1, 1, 0}), 5);       // first black entry

    image.WritePixelIndex(0, 0, 1);
    image.WritePixelIndex(1, 0, 4);
    image.WritePixelIndex(2, 0, 7);
    image.ExchangePaletteEntries(1, 4);
    EXPECT_EQ(image.ReadPixelIndex(0, 0), 4);
    EXPECT_EQ(image.ReadPixelIndex(1, 0), 1);
    EXPECT_EQ(image.ReadPixelIndex(2, 0), 7);
    EXPECT_EQ(image.ReadPaletteEntry(1), (RGBQUAD{100, 100, 90, 0}));
    EXPECT_EQ(image.ReadPixelColour(0, 0), (RGBQUAD{100, 100, 100, 0})); // same picture

    // Grey palettes: only the exact identity ramp counts.
    struct GreyCase { int bits; bool ramp; bool grey; };
    for (GreyCase c : {GreyCase{1, true, false}, GreyCase{4, true, false}, GreyCase{8, true, true},
                       GreyCase{8, false, false}, GreyCase{24, true, false}}) {
        CRaster g(2, 2, c.bits, 0);
        if (c.ramp)
            g.MakeGreyPalette();
        EXPECT_EQ(g.HasGreyPalette(), c.grey) << c.bits;
    }
    CRaster sixteen(2, 2, 4, 0);
    sixteen.MakeGreyPalette();
    EXPECT_EQ(sixteen.ReadPaletteEntry(15), (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(sixteen.ReadPaletteEntry(1), (RGBQUAD{17, 17, 17, 0}));
    EXPECT_EQ(sixteen.ReadPaletteEntry(16), (RGBQUAD{0, 0, 0, 0})); // beyond: zero
    uint8_t r, g, b;
    EXPECT_FALSE(sixteen.ReadPaletteEntry(16, r, g, b));

    const uint8_t reds[2] = {1, 2};
    sixteen.ReplacePalette(2, reds, nullptr, nullptr);
    EXPECT_EQ(sixteen.ReadPaletteEntry(1), (RGBQUAD{2, 2, 2, 0}));
    const uint8_t triples[6] = {1, 2, 3, 4, 5, 6};
    sixteen.ReplacePalette(triples, 2);
    EXPECT_EQ(sixteen.ReadPaletteEntry(1), (RGBQUAD{6, 5, 4, 0}));
    std::vector<RGBQUAD> many(300, RGBQUAD{7, 7, 7, 7});
    sixteen.ReplacePalette(many.data(), 300); // only the 16 entries are written
    EXPECT_EQ(sixteen.ReadPaletteEntry(15), (RGBQUAD{7, 7, 7, 7}));

    EXPECT_EQ(CompareColorsByLuminance(RGBQUAD{0, 0, 255, 0}, RGBQUAD{0, 255, 0, 0}), -1);
    EXPECT_EQ(CompareColorsByLuminance(RGBQUAD{0, 255, 0, 0}, RGBQUAD{0, 0, 255, 0}), 1);
    EXPECT_EQ(CompareColorsByLuminance(RGBQUAD{1, 0, 0, 0}, RGBQUAD{0, 0, 0, 0}), 0);
}

TEST(RasterColour, HslConversions)
{
    struct Case { RGBQUAD rgb; int h, s, l; };
    const Case cases[] = {
        {{0, 0, 255, 0}, 0, 255, 128},     // red
        {{255, 255, 255, 0}, 170, 0, 255}, // white
        {{255, 0, 0, 0}, 170, 255, 128},   // blue
        {{0, 255, 0, 0}, 85, 255, 128},    // green
        {{0, 0, 0, 0}, 170, 0, 0},
        {{128, 0, 255, 0}, 235, 255, 128}, // red-magenta: hue wraps below 0
    };
    for (const Case& c : cases) {
        RGBQUAD hsl = CRaster::ColourToHsl(c.rgb);
        EXPECT_EQ(hsl.rgbRed, c.h) << int(c.rgb.rgbRed) << "," << int(c.rgb.rgbGreen) << "," << int(c.rgb.rgbBlue);
        EXPECT_EQ(hsl.rgbGreen, c.s);
        EXPECT_EQ(hsl.rgbBlue, c.l);
        EXPECT_EQ(hsl.rgbReserved, 0);
    }
    for (int hue : {0, 100, 255}) {
        EXPECT_EQ(CRaster::HslToColour(RGBQUAD{255, 0, uint8_t(hue), 0}), (RGBQUAD{255, 255, 255, 0}));
        EXPECT_EQ(CRaster::HslToColour(RGBQUAD{0, 0, uint8_t(hue), 0}), (RGBQUAD{0, 0, 0, 0}));
        EXPECT_EQ(CRaster::HslToColour(RGBQUAD{0, 255, uint8_t(hue), 0}), (RGBQUAD{0, 0, 0, 0}));
    }
    // Round trips stay close for saturated and muted colours alike.
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
        RGBQUAD c{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
        RGBQUAD back = CRaster::HslToColour(CRaster::ColourToHsl(c));
        ASSERT_NEAR(back.rgbRed, c.rgbRed, 12);
        ASSERT_NEAR(back.rgbGreen, c.rgbGreen, 12);
        ASSERT_NEAR(back.rgbBlue, c.rgbBlue, 12);
    }
}

TEST(RasterTransform, ResolutionSurvivesEveryTransform)
{
    using Op = bool (*)(CRaster&);
    const Op ops[] = {
        [](CRaster& i) { return i.Flip(); },
        [](CRaster& i) { return i.Mirror(); },
        [](CRaster& i) { return i.TurnLeft(); },
        [](CRaster& i) { return i.TurnRight(); },
        [](CRaster& i) { return i.Rescale(3, 2, 0); },
        [](CRaster& i) { return i.Rescale(9, 9, 1); },
    };
    for (Op op : ops) {
        CRaster image(5, 4, 24, 0);
        image.SetHorizontalDpi(300);
        image.SetVerticalDpi(150);
        ASSERT_TRUE(op(image));
        EXPECT_EQ(image.xDpi, 300);
        EXPECT_EQ(image.header.biXPelsPerMeter, 11811);
        BITMAPINFOHEADER inBlock;
        std::memcpy(&inBlock, image.dib, sizeof inBlock);
        EXPECT_EQ(inBlock.biYPelsPerMeter, 5906);
        EXPECT_EQ(inBlock.biWidth, image.Width());
    }
}
