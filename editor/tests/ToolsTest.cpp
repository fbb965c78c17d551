// The tool set, the tool page and switch, the selection tools and the brushes, on a canvas of a
// headless test window.
#include "editor/tests/EditorTestUtil.h"
#include "editor/EditorHost.h"
#include "editor/tools/BrushTools.h"
#include "editor/tools/MoveTool.h"
#include "editor/tools/SelectTools.h"
#include "editor/tools/ToolPage.h"
#include "editor/tools/ToolSet.h"
#include "imaging/HistoryStore.h"
#include "ui/Registry.h"
#include "ui/UiSeams.h"

#include <string>
#include <vector>

namespace {

int g_toolbarFrames = 18;

// The tool bar with a chosen number of frames; "no.png"; anything else as the canvas has it.
int ToolTestImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::u16string n = name;
    if (n == u"toolbar.png" || n == u"no.png") {
        const int w = n == u"no.png" ? 24 : 24 * g_toolbarFrames;
        if (!AllocImage8(out, w, 24))
            return 0;
        std::memset(out.data, 0xA0, out.byteSize);
        return 1;
    }
    return CanvasTestImages(folder, name, out);
}

// Counts the questions and answers each with OK.
struct CountingHost : IEditorHost {
    int* boxes = nullptr;
    int LaunchMode() override { return 0; }
    int CloseTab(CSTabPage*) override { return 0; }
    void ShowAbout() override {}
    int OnHelpInfo() override { return 0; }
    int ShowSettings() override { return 0; }
    CMessageSprite* AlbumRefreshTarget() override { return nullptr; }
    void EndActiveTool() override {}
    CSEditPage* ActiveEditPage() override { return nullptr; }
    int SelectPage(CSTabPage*) override { return 0; }
    int ReturnPluginImage(const ImageBuffer16&) override { return 0; }
    int Ask(const char16_t*, int, int) override { return ++*boxes, 1; }
};

std::vector<std::string> g_log;
void RecordLog(const char* line)
{
    g_log.push_back(line);
}

struct ToolFixture {
    ScopedSettings settings;
    CanvasFixture f;
    CZDDoc doc;
    HistoryStore history;
    CSToolPage* page = nullptr;

    explicit ToolFixture(int w = 60, int h = 40)
    {
        SetUiImageSource(&ToolTestImages);
        g_toolbarFrames = 18;
        EXPECT_EQ(CreateTools(&RecordLog), 1);
        AddOwned(doc, SolidImage16(w, h, 1000, 2000, 3000), u"background");
        doc.layers[0]->placement = 0;
        doc.SetCurrentLayer(0);
        EXPECT_EQ(history.Init(&doc, platform::Utf8ToUtf16(settings.folder + "/history.dat")), 1);
        EXPECT_EQ(history.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
        f.Show(doc, &history);
        f.view->SetZoom(1);
        page = new CSToolPage;
        page->SetAutoDelete(1);
        page->SetCanvas(f.view);
        page->SetTitle(u"tools");
        EXPECT_TRUE(page->Create(f.parent, nullptr, 9, 980, 0, 1200, 120, 2));
        f.parent->AddChild(page);
        f.view->hooks.endTool = [this] { page->SetCurrentTool(nullptr); };
    }
    ~ToolFixture()
    {
        page->SetCurrentTool(nullptr);
        SetUiImageSource(&CanvasTestImages);
        history.Destroy();
    }
    // Canvas point (relative to the picture area) of an image point.
    SPoint At(int x, int y) const
    {
        CPolygonSelTool probe;
        probe.view = f.view;
        return probe.ImageToView(x, y);
    }
};

uint8_t SelAt(const CZDDoc& doc, int x, int y)
{
    return doc.selection.data ? doc.selection.data[size_t(y) * doc.selection.width + x] : 0;
}

} // namespace

TEST(ToolSet, CreateToolsLogsEveryToolAndStopsAtAMissingIconFrame)
{
    CanvasFixture f;
    SetUiImageSource(&ToolTestImages);
    g_log.clear();
    g_toolbarFrames = 18;
    ASSERT_EQ(CreateTools(&RecordLog), 1);
    const std::vector<std::string> full = {
        "Create tools", "Create tools - Image List OK", "Create tools - Polygon OK", "Create tools - ColorRange OK",
        "Create tools - Crop OK", "Create tools - Free Crop OK", "Create tools - Shape Change OK",
        "Create tools - Repair OK", "Create tools - Redeye OK", "Create tools - Move OK", "Create tools - Transform OK",
        "Create tools - Text OK", "Create tools - Free select OK", "Create tools - Rect sel OK",
        "Create tools - Round OK", "Create tools - Free Paint OK", "Create tools - Camera OK"};
    EXPECT_EQ(g_log, full);
    ASSERT_EQ(theToolList.size(), 15u);
    EXPECT_EQ(theToolList[0]->toolId, kToolPolygonSelect);
    EXPECT_EQ(theToolList[14]->toolId, kToolCamera);
    EXPECT_EQ(IsTool(FindTool(kToolMove)), 1);
    EXPECT_EQ(IsTool(nullptr), 0);
    // The brushes carry their option panel; the selection tools none.
    EXPECT_NE(FindTool(kToolFreePaint)->optionPanel, nullptr);
    EXPECT_EQ(FindTool(kToolRectSelect)->optionPanel, nullptr);

    // A short strip: 13 frames (0-12) end the start right after crop (free crop needs 13).
    g_log.clear();
    g_toolbarFrames = 13;
    EXPECT_EQ(CreateTools(&RecordLog), 0);
    ASSERT_FALSE(g_log.empty());
    EXPECT_EQ(g_log.back(), "Create tools - Crop OK");
    EXPECT_TRUE(theToolList.empty());
    g_toolbarFrames = 18;
    ASSERT_EQ(CreateTools(&RecordLog), 1);
    ReleaseToolPanels();
    EXPECT_TRUE(theToolList.empty());
    SetUiImageSource(&CanvasTestImages);
}

namespace {
// Refuses once and counts its calls.
class RefusingTool : public CTool {
public:
    int Activate() override { ++activated; return 0; }
    void Deactivate() override { ++deactivated; }
    int IsBusy() override { return busy; }
    int activated = 0, deactivated = 0;
};
} // namespace

TEST(ToolPage, ButtonsAndTheToolSwitch)
{
    ToolFixture t;
    CPanelSprite& grid = t.page->Grid();
    EXPECT_EQ(grid.ItemCount(), 16) << "fifteen tools and the no-tool button";
    ASSERT_NE(grid.FindItem(CSToolPage::kNoToolId), nullptr);
    EXPECT_EQ(grid.FindItem(CSToolPage::kNoToolId)->enabled, 0);
    const SRect move = grid.FindItem(kToolMove)->rect;
    EXPECT_EQ(move.left, 60);
    EXPECT_EQ(move.top, 60);

    // Accepted: checked, no-tool button enabled.
    CTool* rect = FindTool(kToolRectSelect);
    EXPECT_EQ(t.page->SetCurrentTool(rect), 0);
    EXPECT_EQ(t.f.view->CurrentTool(), rect);
    EXPECT_EQ(grid.FindItem(kToolRectSelect)->checked, 1);
    EXPECT_EQ(grid.FindItem(CSToolPage::kNoToolId)->enabled, 1);

    // Refused: deactivated once, nothing current, nothing checked.
    RefusingTool refusing;
    EXPECT_EQ(t.page->SetCurrentTool(&refusing), 0);
    EXPECT_EQ(refusing.activated, 1);
    EXPECT_EQ(refusing.deactivated, 1);
    EXPECT_EQ(t.f.view->CurrentTool(), nullptr);
    EXPECT_EQ(grid.FindItem(kToolRectSelect)->checked, 0);
    EXPECT_EQ(grid.FindItem(CSToolPage::kNoToolId)->enabled, 0);

    // A busy tool keeps its place and answers with its busy value.
    t.f.view->SetTool(&refusing);
    refusing.busy = 7;
    EXPECT_EQ(t.page->SetCurrentTool(rect), 7);
    EXPECT_EQ(t.f.view->CurrentTool(), &refusing);
    refusing.busy = 0;
    t.page->SetCurrentTool(nullptr);

    // A pending tool refuses with one box.
    int boxes = 0;
    CountingHost host;
    host.boxes = &boxes;
    SetEditorHost(&host);
    EXPECT_EQ(t.page->SetCurrentTool(FindTool(kToolCrop)), 0);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(t.f.view->CurrentTool(), nullptr);
    // The move tool refuses on the background layer without selection.
    boxes = 0;
    t.page->SetCurrentTool(FindTool(kToolMove));
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(t.f.view->CurrentTool(), nullptr);
    SetEditorHost(nullptr);

    // Button states follow the document: one layer, the background current.
    t.page->UpdateToolButtons();
    EXPECT_EQ(grid.FindItem(kToolFreeCrop)->enabled, 1);
    EXPECT_EQ(grid.FindItem(kToolMove)->enabled, 0);
    EXPECT_EQ(grid.FindItem(kToolTransform)->enabled, 0);
    AddOwned(t.doc, SolidImage16(10, 10, 0, 0, 0), u"added");
    t.doc.SetCurrentLayer(1);
    t.page->UpdateToolButtons();
    EXPECT_EQ(grid.FindItem(kToolFreeCrop)->enabled, 0);
    EXPECT_EQ(grid.FindItem(kToolMove)->enabled, 1);
    EXPECT_EQ(grid.FindItem(kToolTransform)->enabled, 1);
}

TEST(ToolShared, ClipRectToLayer)
{
    CZDLayer layer;
    AllocImage16(layer.pixels, 20, 20);
    layer.x = 10;
    layer.y = 10;
    struct Case {
        ZDRect in, out;
    };
    const Case cases[] = {
        {{5, 5, 40, 40}, {0, 0, 20, 20}},
        {{12, 15, 18, 25}, {2, 5, 8, 15}},
        {{0, 0, 5, 5}, {0, 0, 0, 0}},     // wholly before: empty at the corner
        {{50, 50, 60, 60}, {40, 40, 40, 40}}, // wholly after: empty, left at most right
    };
    for (const Case& c : cases) {
        const ZDRect r = ClipRectToLayer(layer, c.in);
        EXPECT_EQ(r.left, c.out.left);
        EXPECT_EQ(r.top, c.out.top);
        EXPECT_EQ(r.right, std::max(c.out.left, c.out.right));
        EXPECT_EQ(r.bottom, std::max(c.out.top, c.out.bottom));
    }
}

// ---- selection tools ----

TEST(SelectionTools, ShiftConstraintOfAPolygonCorner)
{
    CPolygonSelTool tool;
    tool.points = {{100, 100}};
    EXPECT_EQ(tool.Constrain({130, 105}, false).y, 105) << "only with Shift";
    struct Case {
        SPoint in, out;
    };
    const Case cases[] = {{{130, 105}, {130, 100}}, {{105, 130}, {100, 130}}, {{130, 80}, {130, 70}},
                          {{130, 130}, {130, 130}}, {{70, 110}, {70, 130}}};
    for (const Case& c : cases) {
        const SPoint p = tool.Constrain(c.in, true);
        EXPECT_EQ(p.x, c.out.x) << c.in.x << "," << c.in.y;
        EXPECT_EQ(p.y, c.out.y) << c.in.x << "," << c.in.y;
    }
    tool.mode = kSelectAdd;
    EXPECT_EQ(tool.Constrain({130, 105}, true).y, 105) << "only in replace mode";
}

TEST(SelectionTools, RectangleAndEllipseShapesAndMasks)
{
    ToolFixture t(40, 30);
    auto* rect = static_cast<CRectSelTool*>(FindTool(kToolRectSelect));
    ASSERT_EQ(t.page->SetCurrentTool(rect), 0);
    const SPoint a = t.At(10, 10), b = t.At(20, 14);
    rect->OnButtonDown(1, a.x, a.y, 0);
    rect->OnMouseMove(1, a.x, a.y, b.x, b.y);
    ASSERT_EQ(rect->points.size(), 5u);
    EXPECT_EQ(rect->points[1].x, 20);
    EXPECT_EQ(rect->points[2].y, 14);
    rect->OnButtonUp(1, b.x, b.y, 0);
    ASSERT_NE(t.doc.selection.data, nullptr);
    EXPECT_EQ(SelAt(t.doc, 15, 12), 255);
    EXPECT_EQ(SelAt(t.doc, 5, 5), 0);
    EXPECT_EQ(SelAt(t.doc, 25, 12), 0);
    EXPECT_EQ(rect->capture, 0);

    // Ellipse box (10,10)-(20,14): n = 10 + 4 + 2 outline points, centre full, box corner empty.
    auto* round = static_cast<CRoundSelTool*>(FindTool(kToolRoundSelect));
    ASSERT_EQ(t.page->SetCurrentTool(round), 0);
    EXPECT_EQ(EllipseOutline(10, 10, 20, 14).size(), 16u);
    Plane8 mask;
    ASSERT_EQ(BuildEllipseMask(mask, 40, 30, 10, 10, 20, 14), 1);
    EXPECT_EQ(mask.data[12 * 40 + 15], 255);
    EXPECT_EQ(mask.data[10 * 40 + 10], 0);
    int partial = 0;
    for (uint32_t i = 0; i < mask.byteSize; ++i)
        partial += mask.data[i] > 0 && mask.data[i] < 255;
    EXPECT_GT(partial, 0) << "sub-samples give soft edges";
    FreePlane8(mask);
    // A zero-width drag selects nothing.
    const SPoint c = t.At(5, 5), d = t.At(5, 20);
    round->OnButtonDown(1, c.x, c.y, 0);
    round->OnMouseMove(1, c.x, c.y, d.x, d.y);
    round->OnButtonUp(1, d.x, d.y, 0);
    EXPECT_EQ(t.doc.selection.data, nullptr) << "dropped by the new shape; the empty one adds nothing";
    EXPECT_FALSE(t.doc.masks.empty()) << "the old selection is kept as \"Lastarea\"";
}

TEST(SelectionTools, TheThreeModes)
{
    ToolFixture t(40, 30);
    auto* rect = static_cast<CRectSelTool*>(FindTool(kToolRectSelect));
    ASSERT_EQ(t.page->SetCurrentTool(rect), 0);
    auto drag = [&](int32_t mode, int x0, int y0, int x1, int y1) {
        rect->mode = mode;
        const SPoint a = t.At(x0, y0), b = t.At(x1, y1);
        rect->OnButtonDown(1, a.x, a.y, 0);
        rect->OnMouseMove(1, a.x, a.y, b.x, b.y);
        rect->OnButtonUp(1, b.x, b.y, 0);
    };
    // Subtract with no selection leaves none; add with none makes the shape the selection.
    drag(kSelectSubtract, 5, 5, 15, 15);
    EXPECT_EQ(t.doc.selection.data, nullptr);
    drag(kSelectAdd, 5, 5, 15, 15);
    ASSERT_NE(t.doc.selection.data, nullptr);
    EXPECT_EQ(SelAt(t.doc, 10, 10), 255);
    // Add a second rectangle: both selected.
    drag(kSelectAdd, 20, 5, 30, 15);
    EXPECT_EQ(SelAt(t.doc, 10, 10), 255);
    EXPECT_EQ(SelAt(t.doc, 25, 10), 255);
    // Subtract the first: the second stays.
    drag(kSelectSubtract, 4, 4, 16, 16);
    EXPECT_EQ(SelAt(t.doc, 10, 10), 0);
    EXPECT_EQ(SelAt(t.doc, 25, 10), 255);
    // Replace: only the new shape.
    drag(kSelectReplace, 0, 20, 10, 28);
    EXPECT_EQ(SelAt(t.doc, 25, 10), 0);
    EXPECT_EQ(SelAt(t.doc, 5, 24), 255);
    // Modes come from the keys only while no shape is drawn.
    rect->ModeFromKeys(true, false);
    EXPECT_EQ(rect->mode, kSelectAdd);
    rect->ModeFromKeys(true, true);
    EXPECT_EQ(rect->mode, kSelectAdd) << "both keys keep the mode";
    rect->tracking = 1;
    rect->ModeFromKeys(false, true);
    EXPECT_EQ(rect->mode, kSelectAdd) << "not while drawing";
    rect->tracking = 0;
}

TEST(SelectionTools, PolygonClosesNearTheFirstCornerAndKeepsToTheDocument)
{
    ToolFixture t(40, 30);
    auto* poly = static_cast<CPolygonSelTool*>(FindTool(kToolPolygonSelect));
    ASSERT_EQ(t.page->SetCurrentTool(poly), 0);
    poly->Reset();
    // Two corners and a double click: nothing selected.
    for (SPoint p : {SPoint{5, 5}, SPoint{30, 5}}) {
        const SPoint v = t.At(p.x, p.y);
        poly->OnButtonDown(1, v.x, v.y, 0);
    }
    poly->OnDoubleClick(1, 0, 0, 0);
    EXPECT_EQ(t.doc.selection.data, nullptr);
    // A triangle reaching far outside the picture, closed by a click beside the first corner.
    for (SPoint p : {SPoint{-500, -500}, SPoint{35, 2}, SPoint{35, 900}}) {
        const SPoint v = t.At(p.x, p.y);
        poly->OnButtonDown(1, v.x, v.y, 0);
    }
    // Right click removes the last corner; put it back.
    poly->OnButtonDown(0, 0, 0, 0);
    EXPECT_EQ(poly->points.size(), 2u);
    const SPoint back = t.At(35, 900);
    poly->OnButtonDown(1, back.x, back.y, 0);
    const SPoint first = t.At(-500, -500);
    poly->OnButtonDown(1, first.x + 1, first.y + 2, 0);
    ASSERT_NE(t.doc.selection.data, nullptr);
    EXPECT_EQ(t.doc.selection.width, 40);
    EXPECT_EQ(SelAt(t.doc, 34, 20), 255);
    EXPECT_EQ(SelAt(t.doc, 38, 20), 0);
    EXPECT_TRUE(poly->points.empty());
}

// ---- brushes ----

TEST(Brushes, StampSizesAndShapes)
{
    struct Case {
        int size, softness, n;
    };
    const Case cases[] = {{8, 50, 14}, {8, 0, 9}, {1, 0, 2}, {512, 80, 1025}, {512, 79, 1018}, {100, 100, 226}};
    for (const Case& c : cases) {
        BrushRecord b;
        b.size = c.size;
        b.softness = c.softness;
        ASSERT_EQ(BuildBrushStamp(b), 1);
        EXPECT_EQ(b.stamp.width, c.n) << c.size << "/" << c.softness;
        // The centre is the highest byte; a hard disc is full there and empty in the corner.
        const int mid = c.n / 2;
        const uint8_t centre = b.stamp.data[size_t(mid) * c.n + mid];
        if (c.size > 1) {
            EXPECT_GT(centre, 200) << c.size << "/" << c.softness;
        }
        if (c.softness == 0 && c.size > 1) {
            EXPECT_EQ(centre, 255) << c.size;
            EXPECT_EQ(b.stamp.data[0], 0) << c.size;
        }
    }
    // Softness 0: a hard disc with a one-pixel rim.
    BrushRecord hard;
    hard.size = 8;
    hard.softness = 0;
    BuildBrushStamp(hard);
    int rim = 0;
    for (uint32_t i = 0; i < hard.stamp.byteSize; ++i)
        rim += hard.stamp.data[i] > 0 && hard.stamp.data[i] < 255;
    EXPECT_GT(rim, 0);
    EXPECT_LT(rim, 40);
    EXPECT_EQ(BrushMaxSize(3000, 2000), 250);
    EXPECT_EQ(BrushMaxSize(7, 7), 0);
}

TEST(Brushes, SettingsAreClampedAndSizeKeysStep)
{
    ToolFixture t(400, 300);
    auto* paint = static_cast<CFreePaintTool*>(FindTool(kToolFreePaint));
    // Hostile values: clamped into what the stamp can be built from.
    WriteRegistryDword(u"PaintSettings", u"PaintSize_FreePaintTool", 999);
    WriteRegistryDword(u"PaintSettings", u"PaintSoft_FreePaintTool", 100000);
    WriteRegistryDword(u"PaintSettings", u"PaintOpacity_FreePaintTool", 0);
    ASSERT_EQ(t.page->SetCurrentTool(paint), 0);
    EXPECT_EQ(paint->brush.size, 37) << "BrushMaxSize of 400 x 300";
    EXPECT_EQ(paint->brush.softness, 100);
    EXPECT_EQ(paint->brush.opacity, 1);
    paint->brush.size = 8;
    std::vector<int> up, down;
    for (int i = 0; i < 6; ++i) {
        paint->OnKey('+', 0);
        up.push_back(paint->brush.size);
    }
    EXPECT_EQ(up, (std::vector<int>{11, 15, 20, 27, 36, 37})) << "capped by BrushMaxSize";
    paint->brush.size = 8;
    for (int i = 0; i < 5; ++i) {
        paint->OnKey('z', 0);
        down.push_back(paint->brush.size);
    }
    EXPECT_EQ(down, (std::vector<int>{5, 3, 2, 1, 1}));
    paint->OnKey(45, 1);
    EXPECT_EQ(paint->brush.size, 1) << "Insert (virtual key 45) is no size key";
    t.page->SetCurrentTool(nullptr);
    EXPECT_EQ(ReadRegistryDword(u"PaintSettings", u"PaintSize_FreePaintTool", 0, 1), 1u);
    // Missing values: the defaults.
    ScopedSettings fresh;
    ASSERT_EQ(t.page->SetCurrentTool(paint), 0);
    EXPECT_EQ(paint->brush.size, 8);
    EXPECT_EQ(paint->brush.softness, 50);
    EXPECT_EQ(paint->brush.opacity, 100);
}

namespace {
// A tool that only builds the stroke mask.
class MaskOnlyTool : public CPaintTool {
public:
    void ApplyStroke() override {}
    void EndStroke() override {}
};
} // namespace

TEST(Brushes, SweptSegmentKeepsTheMaximumWithoutBuildUp)
{
    MaskOnlyTool tool;
    tool.brush.size = 5;
    tool.brush.softness = 0;
    BuildBrushStamp(tool.brush);
    AllocPlane8(tool.strokeMask, 40, 30);
    std::memset(tool.strokeMask.data, 0, tool.strokeMask.byteSize);
    tool.StrokeSegment(10, 10, 20, 10);
    auto at = [&](int x, int y) { return int(tool.strokeMask.data[y * 40 + x]); };
    EXPECT_EQ(at(15, 10), 255);
    EXPECT_EQ(at(10, 10), 255);
    EXPECT_EQ(at(15, 14), 0);
    EXPECT_EQ(at(25, 10), 0);
    std::vector<uint8_t> once(tool.strokeMask.data, tool.strokeMask.data + tool.strokeMask.byteSize);
    tool.StrokeSegment(10, 10, 20, 10);
    tool.StrokeSegment(20, 10, 10, 10);
    EXPECT_EQ(once, std::vector<uint8_t>(tool.strokeMask.data, tool.strokeMask.data + tool.strokeMask.byteSize));
    // Opacity 50 halves the core.
    std::memset(tool.strokeMask.data, 0, tool.strokeMask.byteSize);
    tool.brush.opacity = 50;
    tool.StrokeSegment(10, 10, 20, 10);
    EXPECT_EQ(at(15, 10), 127);
    // Dabs of a huge stamp keep inside the mask and set the painted flag.
    tool.brush.size = 512;
    tool.brush.softness = 80;
    tool.brush.opacity = 100;
    BuildBrushStamp(tool.brush);
    tool.segmentRect = {0, 0, -1, -1};
    tool.StrokeSegment(1, 1, 3, 2);
    EXPECT_EQ(tool.painted, 1);
    EXPECT_GT(at(0, 0), 200);
    EXPECT_GT(at(39, 29), 200) << "the stamp reaches the far corner, clipped to the mask";
    // A dab centred outside the mask paints nothing.
    std::memset(tool.strokeMask.data, 0, tool.strokeMask.byteSize);
    tool.StrokeSegment(-5, -5, -5, -5);
    EXPECT_EQ(at(0, 0), 0);
}

TEST(Brushes, FreePaintIsOpaqueAtFullCoverageAndUndoesExactly)
{
    ToolFixture t(60, 40);
    // A transparent added layer over the background.
    AddOwned(t.doc, SolidImage16(60, 40, 0, 0, 0, 0), u"paint");
    t.doc.SetCurrentLayer(1);
    ASSERT_EQ(t.history.AddStep(kHistoryDocument, -1, u"layer", false, 0, nullptr, 0), 1);
    auto* paint = static_cast<CFreePaintTool*>(FindTool(kToolFreePaint));
    WriteRegistryDword(u"FreePaintTool", u"R", 50000);
    WriteRegistryDword(u"FreePaintTool", u"G", 10000);
    WriteRegistryDword(u"FreePaintTool", u"B", 300);
    WriteRegistryDword(u"PaintSettings", u"PaintSize_FreePaintTool", 6);
    WriteRegistryDword(u"PaintSettings", u"PaintSoft_FreePaintTool", 0);
    ASSERT_EQ(t.page->SetCurrentTool(paint), 0);
    EXPECT_EQ(paint->colour[2], 50000);
    const size_t stepsBefore = t.history.steps.size();
    const SPoint a = t.At(10, 20), b = t.At(40, 20);
    paint->OnMouseMove(0, a.x - 1, a.y, a.x, a.y);
    paint->OnButtonDown(1, a.x, a.y, 0);
    paint->OnMouseMove(1, a.x, a.y, b.x, b.y);
    paint->OnButtonUp(1, b.x, b.y, 0);
    const uint16_t* p = PixelAt(t.doc.layers[1]->pixels, 25, 20);
    EXPECT_EQ(p[0], 300);
    EXPECT_EQ(p[1], 10000);
    EXPECT_EQ(p[2], 50000);
    EXPECT_EQ(p[3], 65535) << "m x 65535 / 255 at full coverage";
    EXPECT_EQ(PixelAt(t.doc.layers[1]->pixels, 25, 30)[3], 0) << "outside the stroke";
    ASSERT_EQ(t.history.steps.size(), stepsBefore + 1) << "one stroke, one step";
    EXPECT_EQ(t.history.steps.back().kind, kHistoryRectangle);
    EXPECT_EQ(t.history.steps.back().tag, kToolFreePaint) << "the history panel keeps the tool for its own steps";
    EXPECT_GT(t.history.steps.back().beforeLength, 0u) << "the backup went in as the before-block";
    t.page->SetCurrentTool(nullptr);
    EXPECT_EQ(ReadRegistryDword(u"FreePaintTool", u"R", 0, 1), 50000u);
    // Undo gives back the transparent layer exactly; redo the paint.
    const uint64_t quick = t.history.beforeBlockUndos;
    ASSERT_EQ(t.history.GoToStep(int(stepsBefore) - 1, StepReplay::SkipIfCurrent), 1);
    EXPECT_EQ(t.history.beforeBlockUndos, quick + 1);
    ASSERT_EQ(t.doc.LayerCount(), 2);
    EXPECT_EQ(PixelAt(t.doc.layers[1]->pixels, 25, 20)[3], 0);
    EXPECT_EQ(PixelAt(t.doc.layers[1]->pixels, 25, 20)[2], 0);
    ASSERT_EQ(t.history.GoToStep(int(stepsBefore), StepReplay::SkipIfCurrent), 1);
    EXPECT_EQ(PixelAt(t.doc.layers[1]->pixels, 25, 20)[2], 50000);
}

TEST(Brushes, CloneSetsItsSourceThenCopiesFromTheOffset)
{
    ToolFixture t(60, 40);
    // Left half dark, right half bright.
    ImageBuffer16& px = t.doc.layers[0]->pixels;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            for (int c = 0; c < 3; ++c)
                px.data[(size_t(y) * 60 + x) * 4 + c] = x >= 30 ? 60000 : 1000;
    auto* clone = static_cast<CCameraTool*>(FindTool(kToolCamera));
    WriteRegistryDword(u"PaintSettings", u"PaintSize_CameraTool", 4);
    WriteRegistryDword(u"PaintSettings", u"PaintSoft_CameraTool", 0);
    ASSERT_EQ(t.page->SetCurrentTool(clone), 0);
    const size_t steps = t.history.steps.size();
    const SPoint src = t.At(45, 20), dst = t.At(10, 20);
    clone->OnButtonDown(1, src.x, src.y, 0);
    clone->OnButtonUp(1, src.x, src.y, 0);
    EXPECT_EQ(clone->anchorX, 45);
    EXPECT_EQ(t.history.steps.size(), steps) << "the first click only sets the source";
    clone->OnButtonDown(1, dst.x, dst.y, 0);
    clone->OnButtonUp(1, dst.x, dst.y, 0);
    EXPECT_EQ(clone->offsetX, 35);
    EXPECT_EQ(clone->offsetY, 0);
    EXPECT_EQ(PixelAt(px, 10, 20)[2], 60000);
    EXPECT_EQ(PixelAt(px, 20, 20)[2], 1000);
    EXPECT_EQ(t.history.steps.size(), steps + 1);
    clone->OnButtonDown(0, 0, 0, 0);
    EXPECT_EQ(clone->offsetX, 0);
    EXPECT_EQ(clone->anchorX, -1);
}

TEST(Brushes, RepairAndRedEyeFailuresLeaveTheLayerAndRecordNothing)
{
    ToolFixture t(60, 40);
    int asked = 0;
    t.f.view->dialogs.runAlgorithm = [](CAlgorithm&, const void*, const char16_t*, ImageBuffer16&) { return 0; };
    CountingHost host;
    host.boxes = &asked;
    SetEditorHost(&host);
    ImageBuffer16 before;
    CopyImage16(before, t.doc.layers[0]->pixels);
    for (int32_t id : {kToolRepair, kToolRedeye}) {
        auto* tool = static_cast<CPaintTool*>(FindTool(id));
        ASSERT_EQ(t.page->SetCurrentTool(tool), 0);
        const size_t steps = t.history.steps.size();
        asked = 0;
        const SPoint a = t.At(20, 20), b = t.At(30, 20);
        tool->OnButtonDown(1, a.x, a.y, 0);
        tool->OnMouseMove(1, a.x, a.y, b.x, b.y);
        EXPECT_GT(PixelAt(t.doc.layers[0]->pixels, 25, 20)[1], 30000) << id << ": marked green";
        tool->OnButtonUp(1, b.x, b.y, 0);
        EXPECT_EQ(std::memcmp(before.data, t.doc.layers[0]->pixels.data, before.byteSize), 0) << id;
        EXPECT_EQ(t.history.steps.size(), steps) << id;
        EXPECT_EQ(asked, id == kToolRepair ? 1 : 0) << id << ": repair says it failed";
        t.page->SetCurrentTool(nullptr);
    }
    // A repair stroke cut by a capture loss is cancelled: layer back, no step, no fill run.
    int runs = 0;
    t.f.view->dialogs.runAlgorithm = [&](CAlgorithm&, const void*, const char16_t*, ImageBuffer16&) {
        ++runs;
        return 1;
    };
    auto* repair = static_cast<CPaintTool*>(FindTool(kToolRepair));
    ASSERT_EQ(t.page->SetCurrentTool(repair), 0);
    const size_t steps = t.history.steps.size();
    const SPoint a = t.At(20, 20), b = t.At(30, 20);
    repair->OnButtonDown(1, a.x, a.y, 0);
    repair->OnMouseMove(1, a.x, a.y, b.x, b.y);
    repair->OnCaptureLost();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(std::memcmp(before.data, t.doc.layers[0]->pixels.data, before.byteSize), 0);
    EXPECT_EQ(t.history.steps.size(), steps);
    t.page->SetCurrentTool(nullptr);
    SetEditorHost(nullptr);
    FreeImageBuffer(before);
}

TEST(Brushes, AHiddenLayerRefusesAndADeletedLayerEndsTheTool)
{
    ToolFixture t(20, 20);
    AddOwned(t.doc, SolidImage16(20, 20, 0, 0, 0, 0), u"top");
    t.doc.SetCurrentLayer(1);
    t.doc.layers[1]->visible = 0;
    int asked = 0;
    CountingHost host;
    host.boxes = &asked;
    SetEditorHost(&host);
    auto* paint = FindTool(kToolFreePaint);
    t.page->SetCurrentTool(paint);
    EXPECT_EQ(t.f.view->CurrentTool(), nullptr);
    EXPECT_EQ(asked, 1) << "\"paintinvisible\"";
    SetEditorHost(nullptr);
    t.doc.layers[1]->visible = 1;
    ASSERT_EQ(t.page->SetCurrentTool(paint), 0);
    t.doc.DeleteLayer(1);
    const SPoint a = t.At(5, 5);
    paint->OnButtonDown(1, a.x, a.y, 0);
    EXPECT_EQ(t.f.view->CurrentTool(), nullptr);
}

// ---- move tool ----

namespace {

// A selection of the document's size: 255 in [left, right) x [top, bottom).
void SelectRect(CZDDoc& doc, int left, int top, int right, int bottom)
{
    FreePlane8(doc.selection);
    doc.selection = MakePlane(doc.width, doc.height,
                              [=](int x, int y) { return uint8_t(x >= left && x < right && y >= top && y < bottom ? 255 : 0); });
}

int SelectedCount(const CZDDoc& doc)
{
    int n = 0;
    for (uint32_t i = 0; doc.selection.data && i < doc.selection.byteSize; ++i)
        n += doc.selection.data[i] != 0;
    return n;
}

void Drag(ToolFixture& t, CTool* tool, SPoint from, SPoint to)
{
    const SPoint a = t.At(from.x, from.y), b = t.At(to.x, to.y);
    tool->OnButtonDown(1, a.x, a.y, 0);
    tool->OnMouseMove(1, a.x, a.y, b.x, b.y);
    tool->OnButtonUp(1, b.x, b.y, 0);
}

std::vector<uint16_t> Bytes(const ImageBuffer16& img)
{
    return std::vector<uint16_t>(img.data, img.data + size_t(img.pixelCount) * 4);
}

} // namespace

TEST(MoveTool, ShiftPlane8KeepsWhatLandsInside)
{
    Plane8 source = MakePlane(4, 3, [](int x, int y) { return uint8_t(1 + x + 4 * y); });
    struct Case {
        int dx, dy;
        int x, y;
        uint8_t expected;
    };
    const Case cases[] = {
        {0, 0, 3, 2, 12}, {1, 0, 0, 1, 0}, {1, 0, 1, 1, 5}, {-1, 1, 0, 1, 2},
        {-1, 1, 0, 0, 0}, {3, 2, 3, 2, 1}, {4, 0, 3, 0, 0}, {0, -3, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Plane8 destination = MakePlane(4, 3, [](int, int) { return uint8_t(99); });
        ShiftPlane8(source, destination, c.dx, c.dy);
        EXPECT_EQ(destination.data[c.y * 4 + c.x], c.expected) << c.dx << "," << c.dy << " at " << c.x << "," << c.y;
        FreePlane8(destination);
    }
    FreePlane8(source);
}

TEST(MoveTool, TheModeFollowsLayerAndSelection)
{
    struct Case {
        bool added, selection, opaqueUnderSelection;
        int mode;
        int layersWhileCurrent;
    };
    const Case cases[] = {
        {false, false, false, kMoveNothing, 1},
        {false, true, false, kMoveSelection, 1},
        {true, false, false, kMoveLayer, 2},
        {true, true, false, kMoveSelection, 2},
        {true, true, true, kMoveLifted, 3},
    };
    for (const Case& c : cases) {
        ToolFixture t(60, 40);
        if (c.added) {
            AddOwned(t.doc, SolidImage16(10, 10, 100, 200, 300), u"added");
            t.doc.SetCurrentLayer(1);
        }
        if (c.selection)
            c.opaqueUnderSelection ? SelectRect(t.doc, 25, 15, 30, 25) : SelectRect(t.doc, 0, 0, 10, 10);
        int boxes = 0;
        CountingHost host;
        host.boxes = &boxes;
        SetEditorHost(&host);
        auto* move = static_cast<CMoveTool*>(FindTool(kToolMove));
        t.page->SetCurrentTool(move);
        SetEditorHost(nullptr);
        EXPECT_EQ(boxes, c.mode == kMoveNothing ? 1 : 0) << c.mode;
        EXPECT_EQ(t.f.view->CurrentTool(), c.mode == kMoveNothing ? nullptr : move);
        EXPECT_EQ(move->moveMode, c.mode);
        EXPECT_EQ(t.doc.LayerCount(), c.layersWhileCurrent) << c.mode;
        t.page->SetCurrentTool(nullptr);
    }
}

TEST(MoveTool, SelectionOutlineMovesAndComesBackFromTheEdge)
{
    ToolFixture t(60, 40);
    const std::vector<uint16_t> before = Bytes(t.doc.layers[0]->pixels);
    SelectRect(t.doc, 50, 10, 58, 20);
    const size_t steps = t.history.steps.size();
    auto* move = FindTool(kToolMove);
    ASSERT_EQ(t.page->SetCurrentTool(move), 0);
    Drag(t, move, {52, 12}, {57, 14});
    EXPECT_EQ(SelAt(t.doc, 55, 12), 255);
    EXPECT_EQ(SelAt(t.doc, 54, 12), 0);
    EXPECT_EQ(SelectedCount(t.doc), 5 * 10) << "three columns pushed past the edge";
    Drag(t, move, {57, 14}, {52, 12});
    EXPECT_EQ(SelectedCount(t.doc), 8 * 10) << "back while the tool is current";
    EXPECT_EQ(SelAt(t.doc, 50, 10), 255);
    Drag(t, move, {52, 12}, {57, 12});
    t.page->SetCurrentTool(nullptr);
    EXPECT_EQ(Bytes(t.doc.layers[0]->pixels), before) << "only the outline moves";
    EXPECT_EQ(t.history.steps.size(), steps) << "no step";
    // After leaving, the cut-off part is gone.
    ASSERT_EQ(t.page->SetCurrentTool(move), 0);
    Drag(t, move, {57, 12}, {52, 12});
    t.page->SetCurrentTool(nullptr);
    EXPECT_EQ(SelectedCount(t.doc), 5 * 10);
}

TEST(MoveTool, WholeLayerMovesNudgesAndUndoes)
{
    ToolFixture t(60, 40);
    AddOwned(t.doc, SolidImage16(10, 10, 100, 200, 300), u"added");
    t.doc.SetCurrentLayer(1);
    ASSERT_EQ(t.history.AddStep(kHistoryDocument, -1, u"layer", false, 0, nullptr, 0), 1);
    const int base = t.history.current;
    auto* move = FindTool(kToolMove);
    ASSERT_EQ(t.page->SetCurrentTool(move), 0);
    Drag(t, move, {30, 20}, {35, 23});
    EXPECT_EQ(t.doc.layers[1]->x, 30);
    EXPECT_EQ(t.doc.layers[1]->y, 18);
    EXPECT_EQ(move->OnKey(37, 1), 1);
    EXPECT_EQ(move->OnKey(40, 1), 1);
    EXPECT_EQ(move->OnKey('a', 0), 0);
    EXPECT_EQ(t.doc.layers[1]->x, 29);
    EXPECT_EQ(t.doc.layers[1]->y, 19);
    t.page->SetCurrentTool(nullptr);
    ASSERT_EQ(t.history.current, base + 1);
    EXPECT_EQ(t.history.steps.back().kind, kHistoryAttributes);
    EXPECT_EQ(std::u16string(t.history.steps.back().name), std::u16string(UiText(u"hisMove")));
    ASSERT_EQ(t.history.GoToStep(base, StepReplay::SkipIfCurrent), 1);
    EXPECT_EQ(t.doc.layers[1]->x, 25);
    EXPECT_EQ(t.doc.layers[1]->y, 15);
    ASSERT_EQ(t.history.GoToStep(base + 1, StepReplay::SkipIfCurrent), 1);
    EXPECT_EQ(t.doc.layers[1]->x, 29);

    // A move beyond the 16-bit offsets is taken back with a message, the layer where it was.
    int boxes = 0;
    CountingHost host;
    host.boxes = &boxes;
    SetEditorHost(&host);
    ASSERT_EQ(t.page->SetCurrentTool(move), 0);
    auto* tool = static_cast<CMoveTool*>(move);
    const SPoint a = t.At(30, 20);
    tool->OnButtonDown(1, a.x, a.y, 0);
    tool->MoveLayer({30 + 40000, 20});
    tool->OnButtonUp(1, a.x, a.y, 0);
    t.page->SetCurrentTool(nullptr);
    SetEditorHost(nullptr);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(t.doc.layers[1]->x, 29);
    EXPECT_EQ(t.doc.layers[1]->y, 19);
}

TEST(MoveTool, LiftedPixelsMoveLeaveTheUnselectedAlphaAndUndo)
{
    ToolFixture t(60, 40);
    AddOwned(t.doc, SolidImage16(10, 10, 100, 200, 300), u"added"); // at (25, 15)
    t.doc.SetCurrentLayer(1);
    ASSERT_EQ(t.history.AddStep(kHistoryDocument, -1, u"layer", false, 0, nullptr, 0), 1);
    const int base = t.history.current;
    const std::vector<uint16_t> original = Bytes(t.doc.layers[1]->pixels);
    // The left half of the layer, one pixel half selected.
    SelectRect(t.doc, 20, 15, 30, 25);
    t.doc.selection.data[16 * 60 + 26] = 128;
    auto* move = static_cast<CMoveTool*>(FindTool(kToolMove));
    ASSERT_EQ(t.page->SetCurrentTool(move), 0);
    ASSERT_EQ(move->moveMode, kMoveLifted);
    ASSERT_EQ(t.doc.LayerCount(), 3);
    EXPECT_EQ(std::u16string(t.doc.layers[2]->name), u"Temp");
    EXPECT_EQ(t.doc.current, 2);
    EXPECT_EQ(t.doc.layers[2]->x, 25) << "the box of selected visible pixels";
    EXPECT_EQ(t.doc.layers[2]->pixels.width, 5);
    const uint32_t f = 128u * 65535 / 255;
    EXPECT_EQ(PixelAt(t.doc.layers[2]->pixels, 1, 1)[3], f);
    EXPECT_EQ(PixelAt(t.doc.layers[1]->pixels, 1, 1)[3], 65535 - f) << "1 - s/255 of the alpha stays";
    EXPECT_EQ(PixelAt(t.doc.layers[1]->pixels, 0, 0)[3], 0);
    EXPECT_EQ(PixelAt(t.doc.layers[1]->pixels, 5, 0)[3], 65535);

    Drag(t, move, {27, 20}, {47, 21});
    EXPECT_EQ(t.doc.layers[2]->x, 45);
    EXPECT_EQ(SelAt(t.doc, 45, 15), 0);
    EXPECT_EQ(SelAt(t.doc, 46, 16), 255);
    EXPECT_EQ(SelAt(t.doc, 46, 17), 128) << "the selection moves with the pixels";
    t.page->SetCurrentTool(nullptr);
    ASSERT_EQ(t.doc.LayerCount(), 2);
    ASSERT_EQ(t.history.current, base + 1);
    EXPECT_EQ(t.history.steps.back().kind, kHistoryLayer);
    EXPECT_EQ(t.history.steps.back().layerIndex, 1);
    const CZDLayer& merged = *t.doc.layers[1];
    EXPECT_EQ(merged.x, 26) << "the content of both";
    EXPECT_EQ(merged.y, 15);
    ASSERT_EQ(merged.pixels.width, 24);
    ASSERT_EQ(merged.pixels.height, 11);
    auto at = [&](int x, int y) { return PixelAt(merged.pixels, x - merged.x, y - merged.y); };
    EXPECT_EQ(at(45, 16)[2], 300);
    EXPECT_EQ(at(45, 16)[3], 65535);
    EXPECT_EQ(at(46, 17)[3], f);
    EXPECT_EQ(at(26, 16)[3], 65535 - f);
    EXPECT_EQ(at(26, 15)[3], 0);
    EXPECT_EQ(at(32, 20)[3], 65535);
    // Undo gives back the layer exactly.
    ASSERT_EQ(t.history.GoToStep(base, StepReplay::Force), 1);
    ASSERT_EQ(t.doc.LayerCount(), 2);
    EXPECT_EQ(Bytes(t.doc.layers[1]->pixels), original);
    EXPECT_EQ(t.doc.layers[1]->x, 25);
}

TEST(MoveTool, LeavingALiftWithoutAMoveChangesNothing)
{
    ToolFixture t(60, 40);
    // Alpha values that a lift and merge back would round.
    AddOwned(t.doc, MakeImage16(10, 10, [](int x, int y, int c) { return uint16_t(c == 3 ? 1000 + 3001 * (x + y) : 4000 * c + x); }),
             u"added");
    t.doc.SetCurrentLayer(1);
    const std::vector<uint16_t> original = Bytes(t.doc.layers[1]->pixels);
    const size_t steps = t.history.steps.size();
    SelectRect(t.doc, 20, 15, 30, 25);
    t.doc.selection.data[17 * 60 + 27] = 77;
    auto* move = static_cast<CMoveTool*>(FindTool(kToolMove));
    ASSERT_EQ(t.page->SetCurrentTool(move), 0);
    ASSERT_EQ(move->moveMode, kMoveLifted);
    // Moved and brought back to where it started.
    Drag(t, move, {27, 20}, {33, 22});
    Drag(t, move, {33, 22}, {27, 20});
    t.page->SetCurrentTool(nullptr);
    ASSERT_EQ(t.doc.LayerCount(), 2);
    EXPECT_EQ(t.doc.current, 1);
    EXPECT_EQ(Bytes(t.doc.layers[1]->pixels), original);
    EXPECT_EQ(t.history.steps.size(), steps);
    EXPECT_EQ(SelAt(t.doc, 27, 17), 77);
}
