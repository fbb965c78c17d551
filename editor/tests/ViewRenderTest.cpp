// The view's composition: blend modes, the checkerboard, sampling at zoom 1, 2 and 0.5, layers
// offset into the document, the outline and the histogram.
#include "editor/ViewRender.h"

#include "EditorTestUtil.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A composite of w x h filled with the checkerboard.
ImageBuffer16 Board(int w, int h)
{
    ImageBuffer16 c;
    AllocImage16(c, w, h);
    FillCheckerboard(c, 0, h);
    return c;
}

struct LayerOnBoard {
    CZDLayer layer;
    ImageBuffer16 composite;
    ~LayerOnBoard() { FreeImageBuffer(composite); }
};

} // namespace

TEST(BlendModes, ValuesPerMode)
{
    struct Case {
        uint8_t mode;
        uint16_t base, top, want;
    };
    const Case cases[] = {
        {kBlendNormal, 40000, 30000, 30000},    {kBlendDarken, 40000, 30000, 30000},
        {kBlendLighten, 40000, 30000, 40000},   {3, 40000, 30000, 30000},
        {4, 40000, 30000, 30000},               {kBlendMultiply, 40000, 30000, 18311},
        {kBlendScreen, 40000, 30000, 51689},    {kBlendOverlay, 40000, 30000, 37844},
        {kBlendHardLight, 40000, 30000, 36621}, {kBlendSoftLight, 40000, 30000, 44340},
        {kBlendSoftLight, 20000, 30000, 38752}, {kBlendDifference, 40000, 30000, 10000},
        {11, 40000, 30000, 30000},              {200, 40000, 30000, 30000},
        // Soft light above the middle grey with a top whose square root exceeds 0.25: the
        // square root of the top, whatever the base.
        {kBlendSoftLight, 65535, 30000, 44340}, {kBlendSoftLight, 32769, 30000, 44340},
        // Extremes: no wrap-around in the 32-bit products.
        {kBlendMultiply, 65535, 65535, 65534},  {kBlendScreen, 0, 0, 0},
        {kBlendOverlay, 65535, 65535, 65535},   {kBlendHardLight, 65535, 65535, 65535},
        {kBlendSoftLight, 0, 65535, 65535},     {kBlendSoftLight, 65535, 0, 0},
    };
    for (const Case& c : cases) {
        const uint16_t base[4] = {c.base, c.base, c.base, 0x1111};
        const uint16_t top[4] = {c.top, c.top, c.top, 0x2222};
        uint16_t shared[4] = {0, 0, 0, 0x7777}, view[4] = {0, 0, 0, 0x7777};
        BlendChannels16(base, top, shared, c.mode);
        BlendViewPixel(base, top, view, c.mode);
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_EQ(shared[ch], c.want) << "mode " << int(c.mode) << " base " << c.base << " top " << c.top;
            EXPECT_EQ(view[ch], c.want) << "view kernel, mode " << int(c.mode);
        }
        EXPECT_EQ(view[3], 0x7777) << "the blend gives colour only";
    }
}

TEST(BlendModes, ViewKernelAgreesWithTheSharedBlendEverywhere)
{
    // Flattening, merging and the canvas must show the same picture: the specialised kernels
    // of the view give exactly BlendChannels16's values.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(0, 65535);
    for (uint8_t mode = 0; mode <= 12; ++mode)
        for (int i = 0; i < 20000; ++i) {
            uint16_t base[4], top[4];
            for (int c = 0; c < 4; ++c) {
                base[c] = uint16_t(value(random));
                top[c] = uint16_t(value(random));
            }
            if (i < 4) // the corners of the range
                for (int c = 0; c < 3; ++c) {
                    base[c] = (i & 1) ? 65535 : 0;
                    top[c] = (i & 2) ? 65535 : 0;
                }
            uint16_t a[4] = {}, b[4] = {};
            BlendChannels16(base, top, a, mode);
            BlendViewPixel(base, top, b, mode);
            ASSERT_EQ(std::memcmp(a, b, 6), 0) << "mode " << int(mode) << " base " << base[0] << " top " << top[0];
        }
}

TEST(ViewComposite, CheckerboardUnderHalfOpaqueRed)
{
    // An opaque red layer at opacity 128 over the checkerboard, zoom 1: light square (0, 0)
    // and dark square (8, 0).
    CZDLayer layer;
    layer.pixels = SolidImage16(16, 16, 0, 0, 65535);
    layer.opacity = 128;
    ImageBuffer16 c = Board(16, 16);
    EXPECT_EQ(PixelAt(c, 0, 0)[0], kCheckerLight);
    EXPECT_EQ(PixelAt(c, 8, 0)[0], kCheckerDark);
    EXPECT_EQ(PixelAt(c, 8, 8)[0], kCheckerLight);
    EXPECT_EQ(PixelAt(c, 7, 8)[3], 0xFFFF);
    ASSERT_EQ(ComposeLayerIntoView(c, layer, {0, 0, 16, 16}, 1.0), 1);
    const uint16_t* light = PixelAt(c, 0, 0);
    EXPECT_EQ(light[2], 63615);
    EXPECT_EQ(light[1], 30720);
    EXPECT_EQ(light[0], 30720);
    EXPECT_EQ(light[3], 0xFFFF) << "the composite's alpha stays";
    const uint16_t* dark = PixelAt(c, 8, 0);
    EXPECT_EQ(dark[2], 41120 + (65535 - 41120) * 128 / 255);
    EXPECT_EQ(dark[1], 41120 - 41120 * 128 / 255);
    FreeImageBuffer(c);
}

TEST(ViewComposite, OffsetLayerCoversExactlyItsRectangleAtEveryZoom)
{
    // A 2 x 2 layer at (3, 3) of a 10 x 10 document.
    struct Case {
        double zoom;
        int size;             // composite side
        int first, last;      // screen rows and columns that change
    };
    const Case cases[] = {{1.0, 10, 3, 4}, {2.0, 20, 6, 9}, {0.5, 5, 2, 2}};
    for (const Case& k : cases) {
        CZDLayer layer;
        layer.pixels = SolidImage16(2, 2, 1000, 2000, 3000);
        layer.x = 3;
        layer.y = 3;
        ImageBuffer16 c = Board(k.size, k.size), before = Board(k.size, k.size);
        ComposeLayerIntoView(c, layer, {0, 0, 10, 10}, k.zoom);
        for (int y = 0; y < k.size; ++y)
            for (int x = 0; x < k.size; ++x) {
                const bool inside = x >= k.first && x <= k.last && y >= k.first && y <= k.last;
                const bool changed = std::memcmp(PixelAt(c, x, y), PixelAt(before, x, y), 8) != 0;
                EXPECT_EQ(changed, inside) << "zoom " << k.zoom << " at " << x << "," << y;
            }
        FreeImageBuffer(c);
        FreeImageBuffer(before);
    }
}

TEST(ViewComposite, HalfZoomAveragesTwoByTwoAndDoubleZoomRepeats)
{
    // Pixel (x, y) of a 4 x 4 layer holds 1000 x + 100 y in every channel, alpha opaque.
    CZDLayer layer;
    layer.pixels = MakeImage16(4, 4, [](int x, int y, int c) { return uint16_t(c == 3 ? 65535 : 1000 * x + 100 * y); });
    ImageBuffer16 half = Board(2, 2);
    ComposeLayerIntoView(half, layer, {0, 0, 4, 4}, 0.5);
    // Screen (1, 0) averages layer (2..3, 0..1): (2000 + 3000 + 2100 + 3100) / 4.
    EXPECT_EQ(PixelAt(half, 1, 0)[0], (2000 + 3000 + 2100 + 3100) >> 2);
    // Screen (0, 1) averages layer (0..1, 2..3).
    EXPECT_EQ(PixelAt(half, 0, 1)[1], (200 + 1200 + 300 + 1300) >> 2);
    ImageBuffer16 twice = Board(8, 8);
    ComposeLayerIntoView(twice, layer, {0, 0, 4, 4}, 2.0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(PixelAt(twice, x, y)[2], 1000 * (x / 2) + 100 * (y / 2)) << x << "," << y;
    // The 2 x 2 average also averages alpha: half-transparent edges weigh half.
    CZDLayer edge;
    edge.pixels = MakeImage16(2, 2, [](int x, int, int c) { return uint16_t(c == 3 ? (x ? 65535 : 0) : 0); });
    ImageBuffer16 one = Board(1, 1);
    ComposeLayerIntoView(one, edge, {0, 0, 2, 2}, 0.5);
    // Alpha 32767 at opacity 255: a = 255 x 32767 / 65535 = 127 over the light square.
    EXPECT_EQ(PixelAt(one, 0, 0)[0], kCheckerLight - kCheckerLight * 127 / 255);
    FreeImageBuffer(half);
    FreeImageBuffer(twice);
    FreeImageBuffer(one);
}

TEST(ViewComposite, HiddenWeightlessOrOutsideLayersLeaveTheCompositeAlone)
{
    struct Case {
        const char* what;
        uint8_t opacity;
        uint16_t alpha;
        int x;
    };
    const Case cases[] = {{"opacity 0", 0, 0xFFFF, 0},
                          {"alpha below 256 at zoom 1", 255, 0x00FF, 0},
                          {"right of the region", 255, 0xFFFF, 10},
                          {"left of the region", 255, 0xFFFF, -4}};
    for (const Case& k : cases) {
        CZDLayer layer;
        layer.pixels = SolidImage16(4, 4, 0, 0, 0, k.alpha);
        layer.opacity = k.opacity;
        layer.x = k.x;
        ImageBuffer16 c = Board(10, 10), before = Board(10, 10);
        ComposeLayerIntoView(c, layer, {0, 0, 10, 10}, 1.0);
        EXPECT_EQ(std::memcmp(c.data, before.data, c.byteSize), 0) << k.what;
        FreeImageBuffer(c);
        FreeImageBuffer(before);
    }
}

TEST(ViewComposite, WidePicturesKeepTheirLayers)
{
    // Wider than 4000 screen pixels: the tables grow with the picture, the layer is drawn.
    CZDLayer layer;
    layer.pixels = SolidImage16(2600, 2, 0, 0, 0);
    ImageBuffer16 c = Board(5200, 2);
    ComposeLayerIntoView(c, layer, {0, 0, 2600, 2}, 2.0);
    EXPECT_EQ(PixelAt(c, 5199, 1)[0], 0);
    EXPECT_EQ(PixelAt(c, 4500, 0)[2], 0);
    FreeImageBuffer(c);
}

TEST(ViewComposite, SampleTablePairsStopAtTheLastColumn)
{
    std::vector<SamplePair> t;
    // 5 screen columns over image columns 2..7 of a layer at offset 3, 4 wide.
    BuildSampleTable(t, 5, 2, 7, 3, 4);
    // f = x * 5 / 5 + 2 - 3 = x - 1.
    const SamplePair want[] = {{-1, -1}, {0, 1}, {1, 2}, {2, 3}, {3, 3}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(t[size_t(i)].first, want[i].first) << i;
        EXPECT_EQ(t[size_t(i)].second, want[i].second) << i;
    }
}

TEST(SelectionOutline, EdgesOfTheSelectionAboveHalfItsLevel)
{
    struct Case {
        const char* what;
        uint8_t value;
        int outlinePixels;
    };
    // A 4 x 4 square in the middle of an 8 x 8 selection, zoom 1.
    const Case cases[] = {{"opaque square", 255, 12}, {"faint square", 2, 12}, {"level 1: no outline", 1, 0}};
    for (const Case& k : cases) {
        Plane8 sel = MakePlane(8, 8, [&](int x, int y) { return uint8_t(x >= 2 && x < 6 && y >= 2 && y < 6 ? k.value : 0); });
        Plane8 outline;
        const int level = BuildOutlinePlane(sel, {0, 0, 8, 8}, 1.0, 8, 8, outline);
        EXPECT_EQ(level, k.value) << k.what;
        int count = 0;
        for (uint32_t i = 0; outline.data && i < outline.byteSize; ++i)
            count += outline.data[i];
        EXPECT_EQ(count, k.outlinePixels) << k.what;
        if (k.outlinePixels) {
            EXPECT_EQ(outline.data[2 * 8 + 2], 1) << "corner";
            EXPECT_EQ(outline.data[3 * 8 + 3], 0) << "inside";
        }
        FreePlane8(sel);
        FreePlane8(outline);
    }
}

TEST(SelectionOutline, AStaleOutlineIsDroppedWhenTheLevelFalls)
{
    Plane8 strong = MakePlane(4, 4, [](int, int) { return uint8_t(255); });
    Plane8 faint = MakePlane(4, 4, [](int, int) { return uint8_t(1); });
    Plane8 outline;
    BuildOutlinePlane(strong, {0, 0, 4, 4}, 1.0, 4, 4, outline);
    ASSERT_NE(outline.data, nullptr);
    BuildOutlinePlane(faint, {0, 0, 4, 4}, 1.0, 4, 4, outline);
    EXPECT_EQ(outline.data, nullptr) << "no outline of the previous selection stays";
    FreePlane8(strong);
    FreePlane8(faint);
}

TEST(SelectionOutline, StripesMoveWithThePhase)
{
    Plane8 outline = MakePlane(8, 1, [](int, int) { return uint8_t(1); });
    ImageBuffer8 target;
    AllocImage8(target, 8, 1);
    std::memset(target.data, 100, target.byteSize);
    DrawOutlineStripes(target, 0, 0, outline, 255, 0);
    // Full strength: white for x 0..3, black for 4..7.
    EXPECT_EQ(target.data[0], 255);
    EXPECT_EQ(target.data[3 * 4], 255);
    EXPECT_EQ(target.data[4 * 4], 0);
    std::memset(target.data, 100, target.byteSize);
    DrawOutlineStripes(target, 0, 0, outline, 255, 1);
    EXPECT_EQ(target.data[3 * 4], 0) << "one pixel further on";
    std::memset(target.data, 100, target.byteSize);
    DrawOutlineStripes(target, 0, 0, outline, 128, 0);
    EXPECT_EQ(target.data[0], (127 * 100 + 127) / 255 + 128);
    EXPECT_EQ(target.data[4 * 4], (127 * 100 + 127) / 255);
    FreePlane8(outline);
    FreeImageBuffer(target);
}

TEST(Histogram, BarsOfAUniformGreyAndTooFewPixels)
{
    struct Case {
        int w, h;
        bool drawn;
    };
    const Case cases[] = {{40, 40, true}, {40, 25, false}};
    for (const Case& k : cases) {
        // Grey 0x8000: every colour bin 64, luminance (10 x 32768) / 5120 = 64.
        ImageBuffer16 grey = SolidImage16(k.w, k.h, 0x8000, 0x8000, 0x8000);
        ImageBuffer8 picture;
        ASSERT_EQ(BuildHistogramPicture(grey, 38, picture), 1);
        ASSERT_EQ(picture.width, 128);
        ASSERT_EQ(picture.height, 38);
        int coloured = 0;
        for (uint32_t i = 0; i < picture.pixelCount; ++i)
            coloured += picture.data[i * 4] != 0 ? 1 : 0;
        if (!k.drawn) {
            EXPECT_EQ(coloured, 0) << "fewer than 1280 pixels: empty";
        } else {
            // All four bars of bin 64 reach the top: each colour gets 80 and loses 116 under the
            // luminance bar, 220 modulo 256; the other columns stay black.
            const uint8_t* p = picture.data + (size_t(20) * 128 + 64) * 4;
            EXPECT_EQ(p[0], 220);
            EXPECT_EQ(p[1], 220);
            EXPECT_EQ(p[2], 220);
            EXPECT_EQ(p[3], 255);
            EXPECT_EQ(picture.data[(size_t(20) * 128 + 63) * 4], 0);
            EXPECT_EQ(picture.data[(size_t(20) * 128 + 63) * 4 + 3], 255);
        }
        FreeImageBuffer(grey);
        FreeImageBuffer(picture);
    }
}
