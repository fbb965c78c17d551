#include "imaging/Document.h"

#include "DocumentTestUtil.h"

#include <gtest/gtest.h>

TEST(BlendChannels, KernelTable)
{
    struct Case { uint8_t mode; uint16_t a, b, want; };
    const Case cases[] = {
        {kBlendDarken, 100, 200, 100},
        {kBlendLighten, 100, 200, 200},
        {kBlendMultiply, 0xFFFF, 0xFFFF, 0xFFFE},
        {kBlendMultiply, 0x1234, 0, 0},
        {kBlendScreen, 0xFFFF, 0x1234, 0xFFFF},
        {kBlendScreen, 0, 0x1234, 0x1234},
        {kBlendOverlay, 0x4000, 0x8000, 0x4000},
        {kBlendOverlay, 0xFFFF, 0xFFFF, 0xFFFF},
        {kBlendHardLight, 0x8000, 0x4000, 0x4000},
        {kBlendSoftLight, 0x1234, 0, 0},
        {kBlendSoftLight, 0x8000, 0, 0},
        {kBlendSoftLight, 0x7FFF, 0xFFFF, 0xFFFF},
        {kBlendSoftLight, 0, 0xFFFF, 0xFFFF},
        {kBlendDifference, 100, 300, 200},
        {kBlendDifference, 300, 100, 200},
    };
    for (const Case& c : cases) {
        const uint16_t base[4] = {c.a, c.a, c.a, 0x1111};
        const uint16_t top[4] = {c.b, c.b, c.b, 0x2222};
        uint16_t out[4] = {0, 0, 0, 0x7777};
        BlendChannels16(base, top, out, c.mode);
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(out[ch], c.want) << "mode " << int(c.mode) << " a " << c.a << " b " << c.b;
        EXPECT_EQ(out[3], 0x7777) << "the caller decides the alpha";
    }
    for (uint8_t mode : {0, 3, 4, 11, 200}) {
        const uint16_t base[4] = {1, 2, 3, 4}, top[4] = {5, 6, 7, 8};
        uint16_t out[4] = {};
        BlendChannels16(base, top, out, mode);
        EXPECT_EQ(std::memcmp(out, top, 8), 0) << "normal copies the top pixel whole";
        EXPECT_EQ(std::u16string(BlendModeKey(mode)), u"bmnormal");
    }
    EXPECT_EQ(std::u16string(BlendModeKey(kBlendDifference)), u"bmdif");
}

TEST(BlendLayer, OpaqueLayerReplacesWhatLiesBelowAndOpacityWeights)
{
    struct Case { uint8_t opacity; uint16_t alpha; uint16_t want; };
    // Below: 0x8000 grey; layer: black.
    const Case cases[] = {
        {255, 0xFFFF, 0},       // full weight: nothing of the grey remains
        {0, 0xFFFF, 0x8000},
        {255, 0x00FF, 0x8000},  // alpha high byte 0
        {128, 0xFFFF, 0x8000 - ((0x8000 * 129) >> 8)},
    };
    for (const Case& c : cases) {
        CZDDoc doc;
        AddOwned(doc, SolidImage16(2, 2, 0x8000, 0x8000, 0x8000, 0xFFFF), u"bg");
        AddOwned(doc, SolidImage16(2, 2, 0, 0, 0, c.alpha), u"top");
        doc.layers[1]->opacity = c.opacity;
        ImageBuffer16 flat;
        ASSERT_EQ(doc.Flatten(flat, MakePixel64(1, 2, 3, 0xFFFF)), 1);
        EXPECT_EQ(PixelAt(flat, 1, 1)[0], c.want) << int(c.opacity) << " " << c.alpha;
        EXPECT_EQ(PixelAt(flat, 1, 1)[3], 0xFFFF) << "composite alpha unchanged";
        FreeImageBuffer(flat);
    }
}

TEST(BlendLayer, LayerOutsideTheCanvasIsClipped)
{
    CZDDoc doc;
    AddOwned(doc, SolidImage16(4, 3, 0, 0, 0, 0xFFFF), u"bg");
    AddOwned(doc, SolidImage16(3, 3, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), u"top");
    doc.layers[1]->x = -2;
    doc.layers[1]->y = 2;
    doc.layers[0]->visible = 0;
    ImageBuffer16 flat;
    ASSERT_EQ(doc.Flatten(flat, MakePixel64(7, 7, 7, 7)), 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(PixelAt(flat, x, y)[0], (x == 0 && y == 2) ? 0xFFFF : 7) << x << "," << y;
    FreeImageBuffer(flat);
}

TEST(BlendLayer, LayerStartingLeftOfOrAboveTheCanvasLandsInPlace)
{
    // The top rows and left columns of the layer fall outside the picture; nothing may be
    // addressed before its start.
    struct Case { int x, y; };
    const Case cases[] = {{-2, -1}, {-1, 0}, {1, -2}, {-3, -3}, {0, -1}};
    for (const Case& c : cases) {
        CZDDoc doc;
        AddOwned(doc, SolidImage16(5, 4, 0, 0, 0, 0xFFFF), u"bg");
        ImageBuffer16 top = MakeImage16(4, 4, [](int x, int y, int ch) {
            return uint16_t(ch == 3 ? 0xFFFF : 1000 + 10 * y + x);
        });
        AddOwned(doc, top, u"top");
        doc.layers[1]->x = c.x;
        doc.layers[1]->y = c.y;
        ImageBuffer16 flat;
        ASSERT_EQ(doc.Flatten(flat, MakePixel64(7, 7, 7, 7)), 1);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const int lx = x - c.x, ly = y - c.y;
                const bool inside = lx >= 0 && lx < 4 && ly >= 0 && ly < 4;
                EXPECT_EQ(PixelAt(flat, x, y)[0], inside ? 1000 + 10 * ly + lx : 0)
                    << c.x << "," << c.y << " at " << x << "," << y;
            }
        FreeImageBuffer(flat);
    }
}

TEST(Document, AddDeleteAndCurrentLayer)
{
    CZDDoc doc;
    EXPECT_EQ(doc.current, -1);
    doc.SetCurrentLayer(3);
    EXPECT_EQ(doc.current, -1);
    AddOwned(doc, SolidImage16(301, 201, 1, 1, 1, 0xFFFF), u"background");
    EXPECT_EQ(doc.width, 301);
    EXPECT_EQ(doc.height, 201);
    EXPECT_EQ(doc.layers[0]->placement, 0);
    EXPECT_EQ(doc.modified, 0);
    AddOwned(doc, SolidImage16(100, 50, 2, 2, 2, 0xFFFF), u"two");
    EXPECT_EQ(doc.layers[1]->x, 100);
    EXPECT_EQ(doc.layers[1]->y, 75);
    EXPECT_EQ(doc.layers[1]->placement, 1);
    EXPECT_EQ(doc.modified, 1);
    AddOwned(doc, SolidImage16(400, 300, 3, 3, 3, 0xFFFF), u"big");
    EXPECT_EQ(doc.layers[2]->x, -49) << "centred, truncated toward zero";
    EXPECT_EQ(doc.layers[2]->y, -49);
    EXPECT_EQ(doc.current, 2);
    EXPECT_NE(doc.layers[1]->id, doc.layers[2]->id);

    doc.SetCurrentLayer(-5);
    EXPECT_EQ(doc.current, 0);
    doc.SetCurrentLayer(99);
    EXPECT_EQ(doc.current, 2);
    doc.DeleteLayer(2);
    EXPECT_EQ(doc.current, 1) << "deleting the current top layer";
    AddOwned(doc, SolidImage16(1, 1, 4, 4, 4, 0xFFFF), u"three");
    EXPECT_EQ(doc.current, 2);
    doc.DeleteLayer(0);
    EXPECT_EQ(doc.current, 1) << "deleting below the current one";
    doc.DeleteLayer(7);
    EXPECT_EQ(doc.LayerCount(), 2);
    AddOwned(doc, SolidImage16(1, 1, 5, 5, 5, 0xFFFF), u"inserted", 0);
    EXPECT_EQ(doc.current, 0);
    EXPECT_EQ(doc.layers[0]->pixels.data[0], 5);
    EXPECT_EQ(doc.FindLayerByImage(&doc.layers[1]->pixels), 1);
    EXPECT_EQ(doc.FindLayerByImage(nullptr), -1);

    const char16_t longName[] = u"a name that is much longer than thirty-one units";
    AddOwned(doc, SolidImage16(1, 1, 5, 5, 5, 0xFFFF), longName);
    EXPECT_EQ(std::u16string(doc.layers.back()->name), u"a name that is much longer th..");
    EXPECT_EQ(CreateLayerByType(2), nullptr);
    EXPECT_EQ(CreateLayerByType(1)->type, 1u);
}

TEST(Document, ContentBoundsAndRect)
{
    CZDLayer layer;
    EXPECT_EQ(layer.GetRect().right, 0);
    layer.pixels = SolidImage16(5, 4, 0, 0, 0, 0);
    layer.x = 10;
    layer.y = 20;
    ZDRect empty = layer.GetContentBounds();
    EXPECT_EQ(empty.left, 5);
    EXPECT_EQ(empty.top, 4);
    EXPECT_GE(empty.left, empty.right);
    layer.pixels.data[(2 * 5 + 3) * 4 + 3] = 1;
    ZDRect b = layer.GetContentBounds();
    EXPECT_EQ(b.left, 3);
    EXPECT_EQ(b.top, 2);
    EXPECT_EQ(b.right, 4);
    EXPECT_EQ(b.bottom, 3);
    ZDRect r = layer.GetRect();
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.bottom, 24);
}

TEST(Document, MergeDown)
{
    // Fully transparent upper: deleted, lower untouched.
    {
        CZDDoc doc;
        AddOwned(doc, PatternImage16(4, 4), u"bg");
        AddOwned(doc, SolidImage16(2, 2, 9, 9, 9, 0), u"clear");
        ImageBuffer16 before = PatternImage16(4, 4);
        ASSERT_EQ(doc.MergeDown(1), 1);
        EXPECT_EQ(doc.LayerCount(), 1);
        EXPECT_TRUE(SameImage(doc.layers[0]->pixels, before));
        FreeImageBuffer(before);
    }
    // Transparent non-bottom lower: the lower goes, the upper stays as it was.
    {
        CZDDoc doc;
        AddOwned(doc, PatternImage16(6, 6), u"bg");
        AddOwned(doc, SolidImage16(2, 2, 0, 0, 0, 0), u"clear");
        AddOwned(doc, PatternImage16(2, 2, 5), u"top");
        const uint32_t topId = doc.layers[2]->id;
        ASSERT_EQ(doc.MergeDown(2), 1);
        ASSERT_EQ(doc.LayerCount(), 2);
        EXPECT_EQ(doc.layers[1]->id, topId);
    }
    // Onto the bottom: never grows it; an opaque normal upper wins where it covers.
    {
        CZDDoc doc;
        AddOwned(doc, SolidImage16(4, 4, 100, 100, 100, 0xFFFF), u"bg");
        AddOwned(doc, SolidImage16(4, 4, 500, 600, 700, 0xFFFF), u"top");
        doc.layers[1]->x = 2;
        doc.layers[1]->y = -1;
        const uint32_t bgId = doc.layers[0]->id;
        ASSERT_EQ(doc.MergeDown(1), 1);
        ASSERT_EQ(doc.LayerCount(), 1);
        const CZDLayer& m = *doc.layers[0];
        EXPECT_EQ(m.pixels.width, 4);
        EXPECT_EQ(m.pixels.height, 4);
        EXPECT_EQ(m.id, bgId);
        EXPECT_EQ(doc.current, 0);
        EXPECT_EQ(PixelAt(m.pixels, 3, 0)[2], 700);
        EXPECT_EQ(PixelAt(m.pixels, 1, 0)[2], 100);
        EXPECT_EQ(PixelAt(m.pixels, 3, 3)[2], 100);
    }
    // Between two added layers: the union, with the upper opacity applied where only it covers.
    {
        CZDDoc doc;
        AddOwned(doc, SolidImage16(10, 10, 0, 0, 0, 0xFFFF), u"bg");
        AddOwned(doc, SolidImage16(2, 2, 1000, 1000, 1000, 0xFFFF), u"low");
        AddOwned(doc, SolidImage16(2, 2, 3000, 3000, 3000, 0xFFFF), u"up");
        doc.layers[1]->x = 0;
        doc.layers[1]->y = 0;
        doc.layers[2]->x = 1;
        doc.layers[2]->y = 1;
        doc.layers[2]->opacity = 51; // a fifth
        ASSERT_EQ(doc.MergeDown(2), 1);
        ASSERT_EQ(doc.LayerCount(), 2);
        const CZDLayer& m = *doc.layers[1];
        EXPECT_EQ(m.x, 0);
        EXPECT_EQ(m.pixels.width, 3);
        EXPECT_EQ(std::u16string(m.name), u"low");
        EXPECT_EQ(PixelAt(m.pixels, 0, 0)[0], 1000);
        EXPECT_EQ(PixelAt(m.pixels, 0, 0)[3], 0xFFFF);
        EXPECT_EQ(PixelAt(m.pixels, 2, 0)[3], 0) << "neither covers: transparent";
        EXPECT_EQ(PixelAt(m.pixels, 2, 2)[0], 3000);
        EXPECT_EQ(PixelAt(m.pixels, 2, 2)[3], 0xFFFF / 5) << "only the upper: its opacity kept";
        // Both: au = 13107, al = 65535, ao = 65535, s = 13107 -> 1000 + (2000 * 0.2)
        EXPECT_EQ(PixelAt(m.pixels, 1, 1)[0], 1400);
        EXPECT_EQ(PixelAt(m.pixels, 1, 1)[3], 0xFFFF);
    }
}

TEST(Document, CopyFromIsDeep)
{
    CZDDoc doc;
    AddOwned(doc, PatternImage16(5, 4), u"bg");
    auto text = std::make_unique<CTextLayer>();
    text->pixels = PatternImage16(2, 2, 3);
    text->text[0] = u'T';
    text->style[5] = 42;
    doc.layers.push_back(std::move(text));
    doc.selection = PatternPlane(5, 4);
    auto mask = std::make_unique<MaskItem>();
    mask->plane = PatternPlane(3, 3, 1);
    mask->x = -1;
    mask->name[0] = u'M';
    doc.masks.push_back(std::move(mask));
    doc.current = 1;
    doc.path[0] = u'p';

    CZDDoc copy;
    ASSERT_EQ(copy.CopyFrom(doc), 1);
    ASSERT_EQ(copy.LayerCount(), 2);
    EXPECT_TRUE(SameImage(copy.layers[0]->pixels, doc.layers[0]->pixels));
    EXPECT_NE(copy.layers[0]->pixels.data, doc.layers[0]->pixels.data);
    ASSERT_EQ(copy.layers[1]->type, 1u);
    EXPECT_EQ(static_cast<CTextLayer&>(*copy.layers[1]).text[0], u'T');
    EXPECT_EQ(static_cast<CTextLayer&>(*copy.layers[1]).style[5], 42);
    EXPECT_TRUE(SamePlane(copy.selection, doc.selection));
    ASSERT_EQ(copy.masks.size(), 1u);
    EXPECT_TRUE(SamePlane(copy.masks[0]->plane, doc.masks[0]->plane));
    EXPECT_EQ(copy.masks[0]->x, -1);
    EXPECT_EQ(copy.current, 1);
    EXPECT_EQ(copy.path[0], u'p');
    EXPECT_EQ(copy.width, 5);
    // The same document: history steps name its layers by id, and must find them in the copy.
    EXPECT_EQ(copy.layers[0]->id, doc.layers[0]->id);
    EXPECT_EQ(copy.layers[1]->id, doc.layers[1]->id);
}

TEST(Document, PlaceMaskItemClipsOnEverySide)
{
    Plane8 canvas;
    AllocPlane8(canvas, 4, 3);
    std::memset(canvas.data, 9, 12);
    MaskItem item;
    AllocPlane8(item.plane, 3, 3);
    for (int i = 0; i < 9; ++i)
        item.plane.data[i] = uint8_t(i + 1);
    item.x = -1;
    item.y = 1;
    PlaceMaskItem(canvas, item);
    const uint8_t want[12] = {0, 0, 0, 0, 2, 3, 0, 0, 5, 6, 0, 0};
    EXPECT_EQ(std::memcmp(canvas.data, want, 12), 0);
    item.x = 10;
    PlaceMaskItem(canvas, item);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(canvas.data[i], 0);
    FreePlane8(canvas);
}

TEST(Document, LuminanceAndChromaRepair)
{
    const uint8_t bgr8[3] = {10, 20, 30};
    EXPECT_EQ(PixelLuminance8(bgr8), (90 + 120 + 10) / 10);
    const uint16_t bgr16[3] = {1000, 2000, 60000};
    EXPECT_EQ(PixelLuminance16(bgr16), (180000 + 12000 + 1000) / 10);

    // Chroma repeated over 2 x 2 blocks gets interpolated; a fine pattern stays.
    ImageBuffer8 img;
    AllocImage8(img, 8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint8_t* p = img.data + (y * 8 + x) * 4;
            const bool warm = (x / 2) % 2 == 0;
            p[0] = warm ? 40 : 200;
            p[1] = 100;
            p[2] = warm ? 200 : 40;
            p[3] = 255;
        }
    ImageBuffer8 before;
    CopyImage8(before, img);
    RepairJpegChroma(img);
    // Column 1 sits between warm column 0 and cool column 2: now in between.
    const uint8_t* mid = img.data + (2 * 8 + 1) * 4;
    EXPECT_GT(mid[0], 60);
    EXPECT_LT(mid[0], 180);

    ImageBuffer8 fine;
    AllocImage8(fine, 8, 8);
    for (int i = 0; i < 64; ++i) {
        uint8_t* p = fine.data + i * 4;
        const bool warm = i % 2 == 0;
        p[0] = warm ? 40 : 200;
        p[1] = 100;
        p[2] = warm ? 200 : 40;
        p[3] = 255;
    }
    ImageBuffer8 fineBefore;
    CopyImage8(fineBefore, fine);
    RepairJpegChroma(fine);
    int maxDiff = 0;
    for (int i = 0; i < 256; ++i)
        maxDiff = std::max(maxDiff, std::abs(int(fine.data[i]) - int(fineBefore.data[i])));
    EXPECT_LE(maxDiff, 3) << "only the colour-space round trip's rounding";
    FreeImageBuffer(img);
    FreeImageBuffer(before);
    FreeImageBuffer(fine);
    FreeImageBuffer(fineBefore);
}
