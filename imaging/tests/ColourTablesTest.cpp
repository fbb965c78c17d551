#include "imaging/ColourTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

namespace {

class ColourTables : public testing::Test {
protected:
    static void SetUpTestSuite() { BuildGammaTables(); }

    static void Pixel8(ImageBuffer8& image, int i, uint8_t b, uint8_t g, uint8_t r, uint8_t a)
    {
        uint8_t* p = image.data + size_t(i) * 4;
        p[0] = b; p[1] = g; p[2] = r; p[3] = a;
    }
};

} // namespace

TEST_F(ColourTables, TableEndsAndRoundTripOfEveryLevel)
{
    EXPECT_EQ(SrgbDecodeTable[0], 0);
    EXPECT_EQ(SrgbDecodeTable[255], 64955);
    EXPECT_EQ(AdobeDecodeTable[0], 0);
    EXPECT_EQ(AdobeDecodeTable[255], 64974);
    EXPECT_EQ(SrgbEncodeTable[0], 0);
    EXPECT_EQ(SrgbEncodeTable[65535], 255);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(SrgbEncodeTable[SrgbDecodeTable[i]], i) << "level " << i;
        if (i > 0) {
            EXPECT_GT(SrgbDecodeTable[i], SrgbDecodeTable[i - 1]) << "level " << i;
            EXPECT_GE(AdobeDecodeTable[i], AdobeDecodeTable[i - 1]) << "level " << i;
        }
    }
    for (int j = 1; j < 65536; ++j)
        ASSERT_GE(SrgbEncodeTable[j], SrgbEncodeTable[j - 1]) << "entry " << j;
    // Independent check of one entry in the linear segment and one on the curve.
    EXPECT_EQ(SrgbDecodeTable[5], uint16_t(5.0 / 256 / 12.92 * 65536 + 0.5));
    EXPECT_EQ(SrgbDecodeTable[128], uint16_t(std::pow((0.5 + 0.055) / 1.055, 2.4) * 65536 + 0.5));
}

TEST_F(ColourTables, EightToSixteenAndBack)
{
    struct Case { uint8_t b, g, r, a; uint16_t b16, g16, r16, a16; uint8_t b8, g8, r8, a8; };
    const Case cases[] = {
        // Pure red: R = trunc(0.715146 * 64955) = 46452; back R' = 64954, which encodes to 255.
        {0, 0, 255, 255, 0, 0, 46452, 0xFFFF, 0, 0, 255, 255},
        // Alpha 128 -> 0x8000 -> 128; white decodes to 64955 (1/256 scaling).
        {255, 255, 255, 128, 64955, 64955, 64955, 0x8000, 255, 255, 255, 128},
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        // Pure blue: B = trunc(0.958839 * 64955) = 62281.
        {255, 0, 0, 1, 62281, 0, 0, 256, 255, 0, 0, 1},
    };
    const int n = int(std::size(cases));
    ImageBuffer8 in, out;
    ImageBuffer16 mid;
    ASSERT_EQ(AllocImage8(in, n, 1), 1);
    for (int i = 0; i < n; ++i)
        Pixel8(in, i, cases[i].b, cases[i].g, cases[i].r, cases[i].a);
    ASSERT_EQ(ConvertImage8To16(mid, in, kConvertSrgb), 1);
    ASSERT_EQ(ConvertImage16To8(mid, out), 1);
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        const uint16_t* p = mid.data + i * 4;
        EXPECT_EQ(p[0], cases[i].b16);
        EXPECT_EQ(p[1], cases[i].g16);
        EXPECT_EQ(p[2], cases[i].r16);
        EXPECT_EQ(p[3], cases[i].a16);
        const uint8_t* q = out.data + i * 4;
        EXPECT_EQ(q[0], cases[i].b8);
        EXPECT_EQ(q[1], cases[i].g8);
        EXPECT_EQ(q[2], cases[i].r8);
        EXPECT_EQ(q[3], cases[i].a8);
    }
    // 16-bit alpha keeps its high byte: 0x80FF -> 128.
    uint16_t p16[4] = {0, 0, 0, 0x80FF};
    uint8_t p8[4];
    ConvertPixel16To8(p16, p8);
    EXPECT_EQ(p8[3], 128);

    // Mode 2 decodes without the change of primaries.
    ASSERT_EQ(ConvertImage8To16(mid, in, kConvertAdobe), 1);
    EXPECT_EQ(mid.data[2], SrgbDecodeTable[255]);
    EXPECT_EQ(ConvertImage8To16(mid, in, 3), 0);
    EXPECT_EQ(ConvertImage8To16(mid, ImageBuffer8{}, kConvertSrgb), 0);
    FreeImageBuffer(in);
    FreeImageBuffer(out);
    FreeImageBuffer(mid);
}

TEST_F(ColourTables, EveryGreyAndEveryPrimaryLevelRoundTrips)
{
    ImageBuffer8 in, out;
    ImageBuffer16 mid;
    ASSERT_EQ(AllocImage8(in, 256, 4), 1);
    for (int v = 0; v < 256; ++v) {
        const uint8_t u = uint8_t(v);
        Pixel8(in, v, u, u, u, 255);          // grey
        Pixel8(in, 256 + v, 0, 0, u, 255);    // red ramp
        Pixel8(in, 512 + v, u, 0, 0, 255);    // blue ramp
        Pixel8(in, 768 + v, 0, u, 0, 255);    // green ramp
    }
    ASSERT_EQ(ConvertImage8To16(mid, in, kConvertSrgb), 1);
    for (int v = 0; v < 256; ++v) {
        const uint16_t* g = mid.data + v * 4;
        EXPECT_TRUE(g[0] == g[1] && g[1] == g[2]) << "grey " << v << " keeps equal channels";
    }
    ASSERT_EQ(ConvertImage16To8(mid, out), 1);
    for (uint32_t i = 0; i < in.byteSize; ++i)
        ASSERT_EQ(out.data[i], in.data[i]) << "byte " << i;
    FreeImageBuffer(in);
    FreeImageBuffer(out);
    FreeImageBuffer(mid);
}

TEST_F(ColourTables, UnmixClampsAndOutOfRangeDestinationsAreRefused)
{
    // Saturated 16-bit red next to zero green overshoots 65535 and is clamped; a value below
    // green undershoots 0 and is clamped.
    ImageBuffer16 image;
    ASSERT_EQ(AllocImage16(image, 2, 1), 1);
    const uint16_t px[8] = {0, 0, 60000, 0xFFFF, 100, 60000, 100, 0xFFFF};
    std::copy(px, px + 8, image.data);
    ImageBuffer16 primaries;
    ASSERT_EQ(CopyImage16(primaries, image), 1);
    ConvertPrimaries16(primaries);
    EXPECT_EQ(primaries.data[2], 65535);  // 60000 + 60000 * 0.39832 > 65535
    EXPECT_EQ(primaries.data[6], 0);      // 100 - 59900 * 0.39832 < 0
    EXPECT_EQ(primaries.data[4], 0);      // 100 - 59900 * 0.0429289 < 0
    EXPECT_EQ(primaries.data[5], 60000);  // green untouched

    ImageBuffer8 small;
    ASSERT_EQ(AllocImage8(small, 1, 1), 1);
    EXPECT_EQ(ConvertPixels16To8(image, small), 0);
    ImageBuffer16 small16;
    ASSERT_EQ(AllocImage16(small16, 1, 1), 1);
    ImageBuffer8 two;
    ASSERT_EQ(AllocImage8(two, 2, 1), 1);
    EXPECT_EQ(ConvertPixels8To16(two, small16), 0);
    FreeImageBuffer(image);
    FreeImageBuffer(primaries);
    FreeImageBuffer(small);
    FreeImageBuffer(small16);
    FreeImageBuffer(two);
}

TEST_F(ColourTables, DitheringMixesNeighbouringLevels)
{
    // A grey halfway between two 8-bit levels (equal channels need no primaries change).
    const uint16_t lo = SrgbDecodeTable[100], hi = SrgbDecodeTable[101];
    const uint16_t mid16 = uint16_t((lo + hi) / 2);
    ImageBuffer16 image;
    ASSERT_EQ(AllocImage16(image, 16, 16), 1);
    for (uint32_t i = 0; i < image.pixelCount; ++i) {
        uint16_t* p = image.data + i * 4;
        p[0] = p[1] = p[2] = mid16;
        p[3] = 0xFFFF;
    }
    ImageBuffer8 out;
    ASSERT_EQ(ConvertImage16To8Dithered(image, out), 1);
    std::set<int> levels;
    int plainLevel = -1;
    for (uint32_t i = 0; i < out.pixelCount; ++i) {
        levels.insert(out.data[i * 4 + 1]);
        EXPECT_EQ(out.data[i * 4 + 3], 255);
    }
    plainLevel = SrgbEncodeTable[mid16];
    EXPECT_EQ(levels, (std::set<int>{100, 101}));
    // The first pixel has received no error yet: it is the plain encoding.
    EXPECT_EQ(out.data[1], plainLevel);
    FreeImageBuffer(image);
    FreeImageBuffer(out);
}

TEST_F(ColourTables, DitheringSpreadsOnlyFromInnerPixels)
{
    // 2 x 2 grey image: only pixel (0,0) passes its error on, 2/5 right, 2/5 down, 1/5
    // diagonally; the others are encoded as they stand.
    const uint16_t v = uint16_t(SrgbDecodeTable[100] + 40);
    ImageBuffer16 image;
    ASSERT_EQ(AllocImage16(image, 2, 2), 1);
    for (uint32_t i = 0; i < 4; ++i) {
        uint16_t* p = image.data + i * 4;
        p[0] = p[1] = p[2] = v;
        p[3] = 0x1234;
    }
    ImageBuffer8 out;
    ASSERT_EQ(ConvertImage16To8Dithered(image, out), 1);
    const int level0 = SrgbEncodeTable[v];
    const int e = int(v) - int(SrgbDecodeTable[level0]);
    const int expected[4] = {
        level0,
        SrgbEncodeTable[v + 2 * e / 5],
        SrgbEncodeTable[v + 2 * e / 5],
        SrgbEncodeTable[v + e / 5],
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(out.data[i * 4 + 0], expected[i]) << "pixel " << i;
        EXPECT_EQ(out.data[i * 4 + 3], 0x12) << "alpha is never diffused";
    }
    // A value whose error would push the neighbours past 65535 is clamped, not wrapped.
    for (uint32_t i = 0; i < 4; ++i) {
        uint16_t* p = image.data + i * 4;
        p[0] = p[1] = p[2] = 65535;
    }
    ASSERT_EQ(ConvertImage16To8Dithered(image, out), 1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(out.data[i * 4 + 2], 255);
    FreeImageBuffer(image);
    FreeImageBuffer(out);
}

TEST_F(ColourTables, GreyPlaneAndAdobeConversion)
{
    ImageBuffer16 image;
    ASSERT_EQ(AllocImage16(image, 2, 1), 1);
    const uint16_t px[8] = {1000, 2000, 3000, 0xFFFF, 65535, 65535, 65535, 0};
    std::copy(px, px + 8, image.data);
    Plane8 grey;
    ASSERT_EQ(ConvertImage16ToGrey8(image, grey), 1);
    EXPECT_EQ(grey.data[0], SrgbEncodeTable[(3 * 3000 + 6 * 2000 + 1000) / 10]);
    EXPECT_EQ(grey.data[1], 255);

    // Adobe RGB white and black map to sRGB white and black; a saturated Adobe green lies
    // outside sRGB and clamps red and blue to 0.
    ImageBuffer8 adobe;
    ASSERT_EQ(AllocImage8(adobe, 3, 1), 1);
    Pixel8(adobe, 0, 255, 255, 255, 7);
    Pixel8(adobe, 1, 0, 0, 0, 9);
    Pixel8(adobe, 2, 0, 255, 0, 255);
    AdobeRgbToSrgb8(adobe);
    EXPECT_GE(adobe.data[0], 254);
    EXPECT_GE(adobe.data[2], 254);
    EXPECT_EQ(adobe.data[3], 7);
    EXPECT_EQ(adobe.data[4], 0);
    EXPECT_EQ(adobe.data[7], 9);
    EXPECT_EQ(adobe.data[8], 0);
    EXPECT_EQ(adobe.data[9], 255);
    EXPECT_EQ(adobe.data[10], 0);
    FreeImageBuffer(image);
    FreePlane8(grey);
    FreeImageBuffer(adobe);
}

TEST_F(ColourTables, YCbCrRoundTripAndGrey)
{
    std::mt19937 rng(7);
    ImageBuffer8 image, original;
    ASSERT_EQ(AllocImage8(image, 64, 4), 1);
    for (uint32_t i = 0; i < image.byteSize; ++i)
        image.data[i] = uint8_t(rng());
    const uint8_t greys[4] = {0, 77, 128, 255};  // the first four pixels
    for (int i = 0; i < 4; ++i)
        Pixel8(image, i, greys[i], greys[i], greys[i], 200);
    ASSERT_EQ(CopyImage8(original, image), 1);
    RgbToYCbCr8(image);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(image.data[i * 4 + 1], 128) << "Cb of grey";
        EXPECT_EQ(image.data[i * 4 + 0], 128) << "Cr of grey";
    }
    YCbCrToRgb8(image);
    for (uint32_t i = 0; i < image.byteSize; ++i)
        ASSERT_NEAR(image.data[i], original.data[i], 4) << "byte " << i;

    ImageBuffer16 wide;
    ASSERT_EQ(ConvertImage8To16(wide, original, kConvertAdobe), 1);
    ImageBuffer16 wideOriginal;
    ASSERT_EQ(CopyImage16(wideOriginal, wide), 1);
    RgbToYCbCr16(wide);
    YCbCrToRgb16(wide);
    for (uint32_t i = 0; i < wide.pixelCount * 4; ++i)
        ASSERT_NEAR(wide.data[i], wideOriginal.data[i], 4 * 256) << "value " << i;
    FreeImageBuffer(image);
    FreeImageBuffer(original);
    FreeImageBuffer(wide);
    FreeImageBuffer(wideOriginal);
}

TEST_F(ColourTables, HslOfGreyAndOfColours)
{
    // Every grey level: H = S = 0, L = the grey, and back.
    std::vector<uint16_t> px(65536 * 4);
    for (uint32_t v = 0; v < 65536; ++v) {
        px[v * 4 + 0] = px[v * 4 + 1] = px[v * 4 + 2] = uint16_t(v);
        px[v * 4 + 3] = 0x4321;
    }
    std::vector<uint16_t> hsl = px;
    RgbToHsl16(hsl.data(), 65536);
    for (uint32_t v = 0; v < 65536; ++v) {
        ASSERT_EQ(hsl[v * 4 + 2], 0) << v;
        ASSERT_EQ(hsl[v * 4 + 1], 0) << v;
        ASSERT_EQ(hsl[v * 4 + 0], v) << v;
        ASSERT_EQ(hsl[v * 4 + 3], 0x4321);
    }
    HslToRgb16(hsl.data(), 65536);
    EXPECT_EQ(hsl, px);

    struct Case { uint16_t b, g, r; uint16_t h, s, l; };
    const Case cases[] = {
        {0, 0, 65535, 0, 65535, 32767},          // red: hue 0
        {0, 65535, 0, 21845, 65535, 32767},      // green: hue 1/3
        {65535, 0, 0, 43690, 65535, 32767},      // blue: hue 2/3
    };
    for (const Case& c : cases) {
        uint16_t p[4] = {c.b, c.g, c.r, 0};
        RgbToHsl16(p, 1);
        EXPECT_EQ(p[2], c.h);
        EXPECT_EQ(p[1], c.s);
        EXPECT_EQ(p[0], c.l);
        HslToRgb16(p, 1);
        EXPECT_NEAR(p[0], c.b, 2);
        EXPECT_NEAR(p[1], c.g, 2);
        EXPECT_NEAR(p[2], c.r, 2);
    }
}

namespace {

// Error diffusion as first described: the whole image copied, its primaries converted, then
// errors spread into the copy with a clamp at every addition.
std::vector<uint8_t> ReferenceDither(const ImageBuffer16& source)
{
    ImageBuffer16 work;
    EXPECT_EQ(CopyImage16(work, source), 1);
    ConvertPrimaries16(work);
    const int w = work.width, h = work.height;
    std::vector<uint8_t> out(size_t(w) * h * 4);
    auto at = [&](int x, int y) { return work.data + (size_t(y) * w + x) * 4; };
    auto add = [](uint16_t& v, int d) { v = uint16_t(std::clamp(int(v) + d, 0, 65535)); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = at(x, y);
            uint8_t* o = out.data() + (size_t(y) * w + x) * 4;
            for (int c = 0; c < 3; ++c)
                o[c] = SrgbEncodeTable[p[c]];
            o[3] = uint8_t(p[3] >> 8);
            if (x == w - 1 || y == h - 1)
                continue;
            for (int c = 0; c < 3; ++c) {
                const int e = int(p[c]) - int(SrgbDecodeTable[o[c]]);
                add(at(x + 1, y)[c], 2 * e / 5);
                add(at(x, y + 1)[c], 2 * e / 5);
                add(at(x + 1, y + 1)[c], e / 5);
            }
        }
    FreeImageBuffer(work);
    return out;
}

} // namespace

TEST_F(ColourTables, DitheringMatchesWholeCopyReference)
{
    struct Size { int w, h; };
    std::mt19937 rng(3);
    // Odd and even heights: rows are worked in pairs, a last row may be alone.
    const Size sizes[] = {{1, 1}, {1, 9}, {9, 1}, {3, 2}, {5, 4}, {17, 13}, {64, 3}, {2, 10}};
    for (Size s : sizes) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
        ImageBuffer16 image;
        ASSERT_EQ(AllocImage16(image, s.w, s.h), 1);
        for (uint32_t i = 0; i < image.pixelCount * 4; ++i)
            image.data[i] = uint16_t(i % 7 == 0 ? 65535 : i % 11 == 0 ? 0 : rng());  // clamps too
        ImageBuffer8 out;
        ASSERT_EQ(ConvertImage16To8Dithered(image, out), 1);
        EXPECT_EQ(std::vector<uint8_t>(out.data, out.data + out.byteSize), ReferenceDither(image));
        FreeImageBuffer(image);
        FreeImageBuffer(out);
    }
}

TEST_F(ColourTables, YCbCrExactValuesInTheirSlots)
{
    // Y goes to the R slot, Cb to the G slot, Cr to the B slot; shifts of negative values round
    // down. Round trips alone would not see swapped slots or a changed factor.
    struct Case { uint16_t in[3], ycc[3], back[3]; };  // B, G, R memory order
    const Case cases8[] = {
        {{10, 200, 50}, {68, 58, 133}, {9, 200, 48}},
        {{255, 0, 0}, {107, 255, 29}, {253, 1, 0}},
        {{0, 0, 255}, {255, 85, 76}, {0, 1, 254}},
        {{0, 255, 0}, {21, 43, 149}, {0, 255, 0}},
    };
    ImageBuffer8 image;
    ASSERT_EQ(AllocImage8(image, int(std::size(cases8)), 1), 1);
    for (size_t i = 0; i < std::size(cases8); ++i)
        Pixel8(image, int(i), uint8_t(cases8[i].in[0]), uint8_t(cases8[i].in[1]),
               uint8_t(cases8[i].in[2]), uint8_t(40 + i));
    RgbToYCbCr8(image);
    for (size_t i = 0; i < std::size(cases8); ++i) {
        SCOPED_TRACE(testing::Message() << "8-bit case " << i);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(image.data[i * 4 + c], cases8[i].ycc[c]) << "slot " << c;
        EXPECT_EQ(image.data[i * 4 + 3], 40 + i) << "alpha unchanged";
    }
    YCbCrToRgb8(image);
    for (size_t i = 0; i < std::size(cases8); ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(image.data[i * 4 + c], cases8[i].back[c]) << "8-bit case " << i << " slot " << c;

    // The way back clamps at both ends: Y 255, Cb 255, Cr 255 and Y 0, Cb 0, Cr 0.
    Pixel8(image, 0, 255, 255, 255, 0);
    Pixel8(image, 1, 0, 0, 0, 0);
    YCbCrToRgb8(image);
    EXPECT_EQ(image.data[0], 255);
    EXPECT_EQ(image.data[1], 121);
    EXPECT_EQ(image.data[2], 255);
    EXPECT_EQ(image.data[4], 0);
    EXPECT_EQ(image.data[5], 136);
    EXPECT_EQ(image.data[6], 0);
    FreeImageBuffer(image);

    const Case cases16[] = {
        {{1000, 40000, 20000}, {25947, 16615, 29567}, {983, 39989, 19994}},
        {{65535, 0, 0}, {27430, 65535, 7487}, {65469, 34, 0}},
    };
    ImageBuffer16 wide;
    ASSERT_EQ(AllocImage16(wide, int(std::size(cases16)), 1), 1);
    for (size_t i = 0; i < std::size(cases16); ++i) {
        std::copy(cases16[i].in, cases16[i].in + 3, wide.data + i * 4);
        wide.data[i * 4 + 3] = 0x1234;
    }
    RgbToYCbCr16(wide);
    for (size_t i = 0; i < std::size(cases16); ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(wide.data[i * 4 + c], cases16[i].ycc[c]) << "16-bit case " << i << " slot " << c;
    YCbCrToRgb16(wide);
    for (size_t i = 0; i < std::size(cases16); ++i) {
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(wide.data[i * 4 + c], cases16[i].back[c]) << "16-bit case " << i << " slot " << c;
        EXPECT_EQ(wide.data[i * 4 + 3], 0x1234);
    }
    FreeImageBuffer(wide);
}

TEST_F(ColourTables, AdobeToSrgbOfMidColours)
{
    // Through the XYZ matrices; mid colours away from the clamps show a swapped channel or a
    // wrong matrix entry (values worked out from the formulas independently).
    struct Case { uint8_t in[3], out[3]; };  // B, G, R memory order
    const Case cases[] = {
        {{50, 100, 200}, {42, 100, 227}},
        {{180, 30, 90}, {185, 24, 104}},
        {{128, 128, 128}, {129, 129, 129}},
    };
    ImageBuffer8 image;
    ASSERT_EQ(AllocImage8(image, int(std::size(cases)), 1), 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        Pixel8(image, int(i), cases[i].in[0], cases[i].in[1], cases[i].in[2], uint8_t(i));
    AdobeRgbToSrgb8(image);
    for (size_t i = 0; i < std::size(cases); ++i) {
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(image.data[i * 4 + c], cases[i].out[c]) << "case " << i << " slot " << c;
        EXPECT_EQ(image.data[i * 4 + 3], i);
    }
    FreeImageBuffer(image);
}
