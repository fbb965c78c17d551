// Curve box: the table in both bit modes (identity, smooth points met exactly, points that meet
// after 8-bit encoding), adding, dragging and deleting points with their limits and messages,
// the histogram, and the drawing.
#include "dialogs/CurveBox.h"
#include "imaging/ColourTables.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

struct BoxFixture {
    UiTestWindow t;
    TestSprite* parent;
    CCurveBox* box;

    // A 200 x 200 box: plot (12, 7, 192, 187), 180 pixels each way.
    explicit BoxFixture(int bitMode = kCurveEdit16Bit)
    {
        BuildGammaTables();
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 400, 400));
        t.window->AddTopLevel(parent);
        box = new CCurveBox;
        box->SetAutoDelete(1);
        EXPECT_TRUE(box->Create(parent, nullptr, 9990, 1, 0, 0, 200, 200));
        parent->AddChild(box);
        box->SetPos(0, 0, 200, 200);
        box->SetBitMode(bitMode, bitMode);
        SetPoints({{0, 0, kPointEnd}, {65535, 65535, kPointEnd}});
    }
    void SetPoints(std::initializer_list<std::array<int, 3>> list)
    {
        std::vector<CurvePoint> points;
        for (const auto& p : list)
            points.push_back(MakeCurvePoint(p[0], p[1], p[2]));
        box->SetPoints(points);
        box->RebuildLookupTable(true);
    }
    SPoint At(int index) const { return box->PointPosition(box->Points()[size_t(index)]); }
    int Changes()
    {
        t.Pump();
        return int(std::count(parent->codes.begin(), parent->codes.end(), MSG_CURVE_CHANGED));
    }
    void Click(int x, int y, int releaseX, int releaseY)
    {
        box->OnMouseMove(x, y, 0);
        box->OnLButtonDown(x, y, 0);
        box->OnLButtonUp(releaseX, releaseY, 0);
    }
    void Drag(int index, int toX, int toY)
    {
        const SPoint p = At(index);
        box->OnMouseMove(p.x, p.y, 0);
        ASSERT_EQ(box->HitIndex(), index);
        box->OnLButtonDown(p.x, p.y, 0);
        ASSERT_EQ(box->Dragging(), 1);
        box->OnMouseMove(toX, toY, 0);
        box->OnLButtonUp(toX, toY, 0);
    }
};

int MaxDifferenceFromIdentity(const uint16_t* table)
{
    int worst = 0;
    for (int i = 0; i < 65536; ++i)
        worst = std::max(worst, std::abs(int(table[i]) - i));
    return worst;
}

} // namespace

TEST(CurveBox, IdentityInBothBitModesAndAnEmptyTableBelowTwoPoints)
{
    for (int mode : {kCurveEdit16Bit, kCurveEdit8Bit})
        for (int smooth : {1, 0}) {
            SCOPED_TRACE(testing::Message() << "bit mode " << mode << " smooth " << smooth);
            BoxFixture f(mode);
            f.box->SetSmooth(smooth);
            f.box->RebuildLookupTable(true);
            EXPECT_EQ(MaxDifferenceFromIdentity(f.box->LookupTable()), 0);
            f.SetPoints({{20000, 30000, kPointEnd}});
            EXPECT_TRUE(std::all_of(f.box->LookupTable(), f.box->LookupTable() + 65536, [](uint16_t v) { return v == 0; }));
        }
}

TEST(CurveBox, SmoothCurvesMeetTheirPointsAndStayInRange)
{
    struct Case {
        int bitMode;
        std::vector<std::array<int, 3>> points;
        int tolerance; // at the points: exact in 16-bit, the 8-bit encoding's step in 8-bit
    };
    const Case cases[] = {
        {kCurveEdit16Bit, {{0, 0, 3}, {32768, 40000, 4}, {65535, 65535, 3}}, 0},
        {kCurveEdit16Bit, {{0, 0, 3}, {8000, 60000, 4}, {20000, 1000, 4}, {65535, 65535, 3}}, 0},
        {kCurveEdit16Bit, {{0, 30000, 3}, {30000, 65535, 4}, {31000, 0, 4}, {65535, 20000, 3}}, 0},
        {kCurveEdit8Bit, {{0, 0, 3}, {10000, 30000, 4}, {65535, 65535, 3}}, 300},
    };
    for (const Case& c : cases) {
        BoxFixture f(c.bitMode);
        std::vector<CurvePoint> points;
        for (const auto& p : c.points)
            points.push_back(MakeCurvePoint(p[0], p[1], p[2]));
        f.box->SetPoints(points);
        f.box->RebuildLookupTable(true);
        const uint16_t* table = f.box->LookupTable();
        for (const auto& p : c.points)
            if (p[0] < 65535) {
                EXPECT_NEAR(table[p[0]], p[1], c.tolerance) << "at " << p[0];
            }
        EXPECT_EQ(table[65535], c.points.back()[1]);
        // A straight build of the same points is the linear interpolation.
        if (c.bitMode == kCurveEdit16Bit) {
            f.box->SetSmooth(0);
            f.box->RebuildLookupTable(true);
            const auto& a = c.points[0];
            const auto& b = c.points[1];
            const int mid = (a[0] + b[0]) / 2;
            const double t = double(mid - a[0]) / (b[0] - a[0]);
            EXPECT_EQ(f.box->LookupTable()[mid], int((1 - t) * a[1] + t * b[1] + 0.5));
        }
    }
}

TEST(CurveBox, PointsThatMeetInEightBitsMergeWithoutHarmingTheRestOfTheCurve)
{
    // Two inputs 100 apart that encode to the same 8-bit value.
    int x1 = -1;
    for (int x = 30000; x < 65000 && x1 < 0; ++x)
        if (SrgbEncodeTable[x] == SrgbEncodeTable[x + 100])
            x1 = x;
    ASSERT_GE(x1, 0);
    BoxFixture with(kCurveEdit8Bit), without(kCurveEdit8Bit);
    with.SetPoints({{0, 0, 3}, {x1, 20000, 4}, {x1 + 100, 30000, 4}, {65535, 65535, 3}});
    without.SetPoints({{0, 0, 3}, {x1 + 100, 30000, 4}, {65535, 65535, 3}});
    for (int i = 0; i < 65536; i += 7)
        ASSERT_EQ(with.box->LookupTable()[i], without.box->LookupTable()[i]) << "the later point stands for both, at " << i;
}

TEST(CurveBox, ClickAddsAPointOnTheCurveInValueOrderOnlyWithinLimits)
{
    BoxFixture f;
    // The diagonal's middle: x 102 -> input 32767, on the curve at row 187 - 90.
    f.Click(102, 97, 104, 99);
    ASSERT_EQ(f.box->Points().size(), 3u);
    const CurvePoint& added = f.box->Points()[1];
    EXPECT_EQ(added.kind, kPointFree);
    EXPECT_EQ(added.x, f.box->InputFromX(104));
    EXPECT_EQ(added.y, added.x) << "on the curve, not at the pointer";
    EXPECT_EQ(f.Changes(), 0) << "adding posts nothing";

    struct Case {
        const char* what;
        int x, y, releaseX, releaseY;
    };
    const Case refused[] = {
        {"released 4 pixels away", 60, 187 - 48, 64, 187 - 48},
        {"off the curve", 60, 40, 60, 40},
        {"on the added point: a drag, not a click on the curve", 103, 96, 103, 96},
    };
    for (const Case& c : refused) {
        f.Click(c.x, c.y, c.releaseX, c.releaseY);
        EXPECT_EQ(f.box->Points().size(), 3u) << c.what;
    }
    // Ten points at most.
    f.SetPoints({{0, 0, 3}, {6000, 6000, 4}, {12000, 12000, 4}, {18000, 18000, 4}, {24000, 24000, 4},
                 {30000, 30000, 4}, {42000, 42000, 4}, {48000, 48000, 4}, {54000, 54000, 4}, {65535, 65535, 3}});
    const int x = 12 + 180 * 36000 / 65535;
    f.Click(x, 187 - 180 * 36000 / 65535, x, 187 - 180 * 36000 / 65535);
    EXPECT_EQ(f.box->Points().size(), 10u);
    EXPECT_NE(f.box->HitIndex(), -2) << "a full box offers no place on the curve";
}

TEST(CurveBox, DragsStopAtTheNeighboursAndEndPointsSlideAlongTheBorder)
{
    struct Case {
        const char* what;
        int index, toX, toY;
        int x, y; // expected point
    };
    // Points: (0,0) end, (30000,30000) free, (40000,50000) horizontal, (50000, 20000) vertical,
    // (65535,65535) end.
    const Case cases[] = {
        {"free point towards its right neighbour", 1, 190, 20, 39900, -1},
        {"free point towards its left neighbour", 1, 0, 187, 100, 0},
        {"horizontal only", 2, 20, 20, 30100, 50000},
        {"vertical only", 3, 12, 7, 50000, 65535},
        {"first end point above the diagonal: up the left edge", 0, 20, 50, 0, -1},
        {"first end point below the diagonal: along the bottom", 0, 20, 186, -1, 0},
        {"last end point below the diagonal: down the right edge", 4, 191, 150, 65535, -1},
        {"last end point above the diagonal: along the top", 4, 150, 8, -1, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BoxFixture f;
        f.SetPoints({{0, 0, 3}, {30000, 30000, 4}, {40000, 50000, 1}, {50000, 20000, 2}, {65535, 65535, 3}});
        f.Drag(c.index, c.toX, c.toY);
        const CurvePoint& p = f.box->Points()[size_t(c.index)];
        if (c.x >= 0) {
            EXPECT_EQ(p.x, c.x);
        }
        if (c.y >= 0) {
            EXPECT_EQ(p.y, c.y);
        }
        EXPECT_EQ(f.Changes(), 1) << "one message at the end of the drag";
        EXPECT_EQ(f.box->Dragging(), 0);
        EXPECT_EQ(f.box->LookupTable()[std::min(p.x, 65535)], std::clamp(p.y, 0, 65535)) << "the table follows";
    }
}

TEST(CurveBox, RightClickDeletesInnerPointsOnlyAndLosingTheCaptureEndsADrag)
{
    BoxFixture f;
    f.SetPoints({{0, 0, 3}, {30000, 40000, 4}, {65535, 65535, 3}});
    for (int index : {0, 2}) {
        const SPoint p = f.At(index);
        f.box->OnMouseMove(p.x, p.y, 0);
        f.box->OnRButtonDown(p.x, p.y, 0);
    }
    EXPECT_EQ(f.box->Points().size(), 3u) << "end points stay";
    EXPECT_EQ(f.Changes(), 0);
    const SPoint inner = f.At(1);
    f.box->OnMouseMove(inner.x, inner.y, 0);
    f.box->OnRButtonDown(inner.x, inner.y, 0);
    EXPECT_EQ(f.box->Points().size(), 2u);
    EXPECT_EQ(f.Changes(), 1);
    EXPECT_EQ(MaxDifferenceFromIdentity(f.box->LookupTable()), 0);

    const SPoint end = f.At(1);
    f.box->OnMouseMove(end.x, end.y, 0);
    f.box->OnLButtonDown(end.x, end.y, 0);
    f.box->OnMouseMove(end.x, end.y + 30, 0);
    f.box->OnCaptureReleased();
    EXPECT_EQ(f.box->Dragging(), 0);
    EXPECT_EQ(f.Changes(), 2);
}

TEST(CurveBox, HistogramCountsLuminanceAndChannelsAndTheBoxDraws)
{
    BoxFixture f;
    ImageBuffer16 picture{};
    ASSERT_TRUE(AllocImage16(picture, 8, 2));
    for (uint32_t i = 0; i < picture.pixelCount; ++i) {
        uint16_t* p = picture.data + size_t(i) * 4;
        p[0] = 1000; // B
        p[1] = 20000;
        p[2] = i < 8 ? 65535 : 0; // R
        p[3] = 0xFFFF;
    }
    f.box->SetHistogramSource(&picture);
    f.box->ComputeHistogram();
    EXPECT_EQ(f.box->Histogram(1)[65535 >> 4], 8u);
    EXPECT_EQ(f.box->Histogram(1)[0], 8u);
    EXPECT_EQ(f.box->Histogram(2)[20000 >> 4], 16u);
    EXPECT_EQ(f.box->Histogram(3)[1000 >> 4], 16u);
    EXPECT_EQ(f.box->Histogram(0)[((3 * 65535 + 6 * 20000 + 1000) / 10) >> 4], 8u);
    // 16 pixels are too few for a scale over 180 columns: the box draws without a histogram.
    f.t.Frame();
    const ImageBuffer8& image = f.box->Image();
    ASSERT_NE(image.data, nullptr);
    auto px = [&](int x, int y) {
        const uint8_t* p = image.data + (size_t(y) * size_t(image.width) + size_t(x)) * 4;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    EXPECT_EQ(px(0, 100), 0xFFC8C8C8u) << "outline";
    EXPECT_EQ(px(100, 2), 0xFF000000u) << "black above the outline";
    EXPECT_EQ(px(5, 7) & 0xFFFFFF, 0xFFFFFFu) << "the left ramp's top is white";
    EXPECT_EQ(px(5, 180) & 0xFF, px(5, 180) >> 8 & 0xFF) << "grey";
    // The diagonal of the identity curve in the 16-bit trace.
    EXPECT_EQ(px(102, 98), 0xFFE6E6E6u);
    FreeImageBuffer(picture);
}
