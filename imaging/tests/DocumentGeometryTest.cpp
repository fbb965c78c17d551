#include "imaging/DocumentGeometry.h"

#include "DocumentTestUtil.h"

#include <gtest/gtest.h>

namespace {

// A 300 x 200 canvas, a 50 x 20 layer at (10, 30), a canvas-size mask and a small mask.
void BuildTurnDocument(CZDDoc& doc)
{
    AddOwned(doc, PatternImage16(300, 200, 1), u"bg");
    AddOwned(doc, PatternImage16(50, 20, 2), u"layer");
    doc.layers[1]->x = 10;
    doc.layers[1]->y = 30;
    doc.selection = PatternPlane(300, 200, 3);
    auto full = std::make_unique<MaskItem>();
    full->plane = PatternPlane(300, 200, 4);
    doc.masks.push_back(std::move(full));
    auto small = std::make_unique<MaskItem>();
    small->plane = PatternPlane(7, 5, 5);
    small->x = 100;
    small->y = -2;
    doc.masks.push_back(std::move(small));
}

} // namespace

TEST(Geometry, ImageTurnsFollowTheirPixelMaps)
{
    ImageBuffer16 src = PatternImage16(3, 2);
    struct Case { const char* name; int (*op)(ImageBuffer16&); int w, h; std::function<std::pair<int, int>(int, int)> from; };
    const Case cases[] = {
        {"right", RotateImage16Right, 2, 3, [](int x, int y) { return std::pair{y, 2 - 1 - x}; }},
        {"left", RotateImage16Left, 2, 3, [](int x, int y) { return std::pair{3 - 1 - y, x}; }},
        {"horizontal", FlipImage16Horizontal, 3, 2, [](int x, int y) { return std::pair{2 - x, y}; }},
        {"vertical", FlipImage16Vertical, 3, 2, [](int x, int y) { return std::pair{x, 1 - y}; }},
    };
    for (const Case& c : cases) {
        ImageBuffer16 img;
        CopyImage16(img, src);
        ASSERT_EQ(c.op(img), 1) << c.name;
        ASSERT_EQ(img.width, c.w) << c.name;
        ASSERT_EQ(img.height, c.h) << c.name;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                auto [sx, sy] = c.from(x, y);
                EXPECT_EQ(std::memcmp(PixelAt(img, x, y), PixelAt(src, sx, sy), 8), 0) << c.name << " " << x << "," << y;
            }
        FreeImageBuffer(img);
    }
    ImageBuffer16 empty;
    EXPECT_EQ(RotateImage16Right(empty), 0);

    ImageBuffer16 crop;
    CopyImage16(crop, src);
    ASSERT_EQ(CropImage16(crop, ZDRect{2, 1, 1, 0}), 1) << "corners in any order, inclusive";
    EXPECT_EQ(crop.width, 2);
    EXPECT_EQ(crop.height, 2);
    EXPECT_EQ(std::memcmp(PixelAt(crop, 0, 1), PixelAt(src, 1, 1), 8), 0);
    ASSERT_EQ(CropImage16(crop, ZDRect{-5, -5, 0, 0}), 1) << "clipped to the image";
    EXPECT_EQ(crop.width, 1);
    EXPECT_EQ(CropImage16(crop, ZDRect{5, 5, 9, 9}), 0);
    EXPECT_EQ(crop.width, 1) << "unchanged on failure";
    FreeImageBuffer(crop);
    FreeImageBuffer(src);
}

TEST(Geometry, QuarterTurnsOfEverySizeAndTileEdge)
{
    struct Size { int w, h; };
    const Size sizes[] = { {1, 1}, {1, 70}, {70, 1}, {32, 32}, {33, 31}, {65, 97}, {100, 64} };
    for (const Size sz : sizes) {
        for (bool right : { true, false }) {
            SCOPED_TRACE(std::to_string(sz.w) + "x" + std::to_string(sz.h) + (right ? " right" : " left"));
            auto from = [&](int x, int y) {
                return right ? std::pair{y, sz.h - 1 - x} : std::pair{sz.w - 1 - y, x};
            };
            ImageBuffer16 src = PatternImage16(sz.w, sz.h, 7), img;
            CopyImage16(img, src);
            ASSERT_EQ(right ? RotateImage16Right(img) : RotateImage16Left(img), 1);
            ASSERT_EQ(img.width, sz.h);
            ASSERT_EQ(img.height, sz.w);
            Plane8 plane = PatternPlane(sz.w, sz.h, 8), turned;
            CopyPlane8(turned, plane);
            ASSERT_EQ(right ? RotatePlane8Right(turned) : RotatePlane8Left(turned), 1);
            ASSERT_EQ(turned.width, sz.h);
            int wrong = 0;
            for (int y = 0; y < sz.w; ++y)
                for (int x = 0; x < sz.h; ++x) {
                    auto [sx, sy] = from(x, y);
                    wrong += std::memcmp(PixelAt(img, x, y), PixelAt(src, sx, sy), 8) != 0;
                    wrong += turned.data[size_t(y) * sz.h + x] != plane.data[size_t(sy) * sz.w + sx];
                }
            EXPECT_EQ(wrong, 0);
            FreeImageBuffer(src);
            FreeImageBuffer(img);
            FreePlane8(plane);
            FreePlane8(turned);
        }
    }
}

TEST(Geometry, DocumentRotationMovesLayersAndMasks)
{
    CZDDoc doc;
    BuildTurnDocument(doc);
    ASSERT_EQ(RotateDocumentRight(doc), 1);
    EXPECT_EQ(doc.width, 200);
    EXPECT_EQ(doc.height, 300);
    EXPECT_EQ(doc.layers[1]->pixels.width, 20);
    EXPECT_EQ(doc.layers[1]->pixels.height, 50);
    EXPECT_EQ(doc.layers[1]->x, 150);
    EXPECT_EQ(doc.layers[1]->y, 10);
    EXPECT_EQ(doc.layers[0]->x, 0);
    EXPECT_EQ(doc.masks[0]->x, 0);
    EXPECT_EQ(doc.masks[0]->y, 0);
    EXPECT_EQ(doc.masks[1]->x, 200 - (-2) - 5);
    EXPECT_EQ(doc.masks[1]->y, 100);
    EXPECT_EQ(doc.selection.width, 200);
}

TEST(Geometry, FourTurnsEitherWayAndTwoMirrorsRestoreEverything)
{
    CZDDoc original;
    BuildTurnDocument(original);
    struct Case { const char* name; int (*op)(CZDDoc&); int times; };
    const Case cases[] = {
        {"right", RotateDocumentRight, 4},
        {"left", RotateDocumentLeft, 4},
        {"horizontal", FlipDocumentHorizontal, 2},
        {"vertical", FlipDocumentVertical, 2},
    };
    for (const Case& c : cases) {
        CZDDoc doc;
        ASSERT_EQ(doc.CopyFrom(original), 1);
        for (int i = 0; i < c.times; ++i)
            ASSERT_EQ(c.op(doc), 1) << c.name;
        EXPECT_EQ(doc.width, 300) << c.name;
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(SameImage(doc.layers[i]->pixels, original.layers[i]->pixels)) << c.name;
            EXPECT_EQ(doc.layers[i]->x, original.layers[i]->x) << c.name;
            EXPECT_EQ(doc.layers[i]->y, original.layers[i]->y) << c.name;
            EXPECT_TRUE(SamePlane(doc.masks[i]->plane, original.masks[i]->plane)) << c.name;
            EXPECT_EQ(doc.masks[i]->x, original.masks[i]->x) << c.name;
            EXPECT_EQ(doc.masks[i]->y, original.masks[i]->y) << c.name;
        }
        EXPECT_TRUE(SamePlane(doc.selection, original.selection)) << c.name;
    }
    // One mirror of a 10-wide layer at x 0 on a 100-wide canvas.
    CZDDoc doc;
    AddOwned(doc, PatternImage16(100, 10), u"bg");
    AddOwned(doc, PatternImage16(10, 10), u"l");
    doc.layers[1]->x = 0;
    ASSERT_EQ(FlipDocumentHorizontal(doc), 1);
    EXPECT_EQ(doc.layers[1]->x, 90);
}

TEST(Geometry, CropDocument)
{
    {
        CZDDoc doc;
        BuildTurnDocument(doc);
        ASSERT_EQ(CropDocument(doc, ZDRect{299, 199, 0, 0}), 1);
        EXPECT_EQ(doc.width, 300);
        EXPECT_EQ(doc.LayerCount(), 2);
    }
    {
        // The layer spans x 10..59; a crop from x 59 overlaps it by one column: deleted.
        CZDDoc doc;
        BuildTurnDocument(doc);
        doc.current = 1;
        ASSERT_EQ(CropDocument(doc, ZDRect{59, 0, 299, 199}), 1);
        EXPECT_EQ(doc.LayerCount(), 1);
        EXPECT_EQ(doc.current, 0) << "the current layer index stays valid";
        EXPECT_EQ(doc.width, 241);
        EXPECT_EQ(doc.height, 200);
        ASSERT_EQ(doc.masks.size(), 2u);
        EXPECT_EQ(doc.masks[1]->x, 100 - 59);
        EXPECT_EQ(doc.masks[1]->plane.height, 3) << "rows above the canvas are cut";
        EXPECT_EQ(doc.masks[1]->y, 0);
    }
    {
        CZDDoc doc;
        BuildTurnDocument(doc);
        ASSERT_EQ(CropDocument(doc, ZDRect{20, 35, 29, 44}), 1);
        EXPECT_EQ(doc.width, 10);
        EXPECT_EQ(doc.layers[1]->x, 0);
        EXPECT_EQ(doc.layers[1]->pixels.width, 10);
        ImageBuffer16 expect = PatternImage16(50, 20, 2);
        EXPECT_EQ(std::memcmp(PixelAt(doc.layers[1]->pixels, 0, 0), PixelAt(expect, 10, 5), 8), 0);
        EXPECT_EQ(doc.masks.size(), 1u) << "the small mask lies outside";
        FreeImageBuffer(expect);
    }
    {
        // Beyond the canvas: clipped, so the canvas never outgrows the background.
        CZDDoc doc;
        BuildTurnDocument(doc);
        ASSERT_EQ(CropDocument(doc, ZDRect{250, 150, 400, 400}), 1);
        EXPECT_EQ(doc.width, 50);
        EXPECT_EQ(doc.height, 50);
        EXPECT_EQ(doc.layers[0]->pixels.width, 50);
    }
    {
        CZDDoc doc;
        AddOwned(doc, PatternImage16(10, 10), u"bg");
        EXPECT_EQ(CropDocument(doc, ZDRect{3, 3, 3, 9}), 0) << "no layer left";
        EXPECT_EQ(doc.current, -1) << "no layer, no current layer";
        doc.selection = PatternPlane(10, 10);
        std::memset(doc.selection.data, 0, 100);
        doc.selection.data[0] = 255;
        CZDDoc fresh;
        AddOwned(fresh, PatternImage16(10, 10), u"bg");
        fresh.selection = PatternPlane(10, 10);
        std::memset(fresh.selection.data, 0, 100);
        fresh.selection.data[0] = 255;
        ASSERT_EQ(CropDocument(fresh, ZDRect{2, 2, 8, 8}), 1);
        EXPECT_EQ(fresh.selection.data, nullptr) << "an all-zero selection is dropped";
    }
}

TEST(Geometry, ResizeCanvasFillsAndMoves)
{
    CZDDoc doc;
    BuildTurnDocument(doc);
    const uint64_t fill = MakePixel64(1, 2, 3, 0xFFFF);
    ASSERT_EQ(ResizeCanvas(doc, 320, 230, 10, 10, fill), 1);
    EXPECT_EQ(doc.width, 320);
    EXPECT_EQ(doc.layers[0]->x, 0);
    EXPECT_EQ(doc.layers[0]->pixels.width, 320);
    EXPECT_EQ(PixelAt(doc.layers[0]->pixels, 5, 5)[2], 3);
    EXPECT_EQ(PixelAt(doc.layers[0]->pixels, 315, 220)[0], 1);
    ImageBuffer16 old = PatternImage16(300, 200, 1);
    EXPECT_EQ(std::memcmp(PixelAt(doc.layers[0]->pixels, 10, 10), PixelAt(old, 0, 0), 8), 0);
    EXPECT_EQ(std::memcmp(PixelAt(doc.layers[0]->pixels, 309, 209), PixelAt(old, 299, 199), 8), 0);
    EXPECT_EQ(doc.layers[1]->x, 20);
    EXPECT_EQ(doc.masks[1]->y, 8);
    EXPECT_EQ(doc.selection.width, 320);
    EXPECT_EQ(doc.selection.data[0], 0);
    EXPECT_EQ(doc.modified, 1);
    EXPECT_EQ(ResizeCanvas(doc, 0, 5, 0, 0, fill), 0);
    EXPECT_EQ(ResizeCanvas(doc, 320, 230, 99, 99, fill), 1);
    EXPECT_EQ(doc.layers[1]->x, 20) << "same size changes nothing";
    FreeImageBuffer(old);
}

TEST(Geometry, QuadCrop)
{
    CZDDoc doc;
    AddOwned(doc, PatternImage16(20, 12), u"bg");
    doc.selection = PatternPlane(20, 12);
    doc.masks.push_back(std::make_unique<MaskItem>());
    QuadCrop q;
    const int32_t tiny[4][2] = {{0, 0}, {4, 0}, {0, 10}, {4, 10}};
    EXPECT_EQ(q.ApplyToDocument(doc, tiny), 0);
    EXPECT_EQ(doc.width, 20);

    // The whole image as the quadrilateral: integer positions give the source pixels back.
    const int32_t whole[4][2] = {{0, 0}, {20, 0}, {0, 12}, {20, 12}};
    ImageBuffer16 src = PatternImage16(20, 12);
    ASSERT_EQ(q.ApplyToDocument(doc, whole), 1);
    EXPECT_EQ(doc.width, 20);
    EXPECT_EQ(doc.height, 12);
    EXPECT_EQ(q.outputWidth, 20);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 18; ++x) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(PixelAt(doc.layers[0]->pixels, x, y)[c], PixelAt(src, x, y)[c]) << x << "," << y;
            EXPECT_EQ(PixelAt(doc.layers[0]->pixels, x, y)[3], 0xFFFF);
        }
    EXPECT_EQ(doc.selection.data, nullptr);
    EXPECT_TRUE(doc.masks.empty());

    CZDDoc one;
    AddOwned(one, PatternImage16(1, 30), u"thin");
    const int32_t tall[4][2] = {{0, 0}, {10, 0}, {0, 10}, {10, 10}};
    EXPECT_EQ(q.ApplyToDocument(one, tall), 0) << "a source narrower than 2 pixels";
    FreeImageBuffer(src);
}

TEST(Geometry, PolygonFill)
{
    Plane8 plane;
    AllocPlane8(plane, 12, 12);
    const PolygonPoint tri[] = {{1, 1}, {10, 1}, {1, 10}, {1, 1}};
    ASSERT_EQ(FillPolygonMask(tri, 4, plane), 0);
    EXPECT_EQ(plane.data[3 * 12 + 3], 255) << "interior";
    EXPECT_EQ(plane.data[11 * 12 + 11], 0) << "outside";
    EXPECT_EQ(plane.data[0], 0);
    int partial = 0;
    for (int i = 0; i < 144; ++i) {
        const int v = plane.data[i];
        if (v != 0 && v != 255) {
            EXPECT_EQ((v - 3) % 28, 0) << v;
            ++partial;
        }
    }
    EXPECT_GT(partial, 5) << "edges get intermediate coverage";
    EXPECT_EQ(FillPolygonMask(tri, 3, plane), kFillPolygonFailed);
    const PolygonPoint open[] = {{1, 1}, {10, 1}, {1, 10}, {2, 2}};
    EXPECT_EQ(FillPolygonMask(open, 4, plane), kFillPolygonFailed);
    // Points far outside the plane are clipped, not written.
    const PolygonPoint big[] = {{-50, -50}, {500, -50}, {500, 500}, {-50, 500}, {-50, -50}};
    ASSERT_EQ(FillPolygonMask(big, 5, plane), 0);
    EXPECT_EQ(plane.data[5 * 12 + 5], 255);
    Plane8 none;
    EXPECT_EQ(FillPolygonMask(tri, 4, none), kFillPolygonFailed);
    FreePlane8(plane);
}

TEST(Geometry, PolygonCoverageOfASquare)
{
    // Square with corners (2, 2) and (6, 6): samples at -0.33, 0 and +0.33 of each pixel; a
    // crossing at or left of a sample counts, an edge covers its upper end but not its lower.
    Plane8 plane;
    AllocPlane8(plane, 9, 9);
    const PolygonPoint square[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}};
    ASSERT_EQ(FillPolygonMask(square, 5, plane), 0);
    struct Cell { int x, y, inside; };
    const Cell cells[] = {
        {4, 4, 9}, {3, 3, 9},              // interior
        {2, 4, 6}, {6, 4, 3},              // left edge, right edge
        {4, 2, 6}, {4, 6, 3},              // top edge, bottom edge
        {2, 2, 4}, {6, 2, 2}, {2, 6, 2}, {6, 6, 1}, // corners
        {1, 4, 0}, {7, 4, 0}, {4, 1, 0}, {4, 7, 0}, {0, 0, 0},
    };
    for (const Cell& c : cells) {
        const int want = c.inside == 0 ? 0 : c.inside == 9 ? 255 : 28 * c.inside + 3;
        EXPECT_EQ(plane.data[c.y * 9 + c.x], want) << c.x << "," << c.y;
    }
    FreePlane8(plane);
}
