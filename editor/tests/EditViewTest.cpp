// The canvas: zoom steps, fit, mapping, zoom sources, scroll bars, panning, input routing to the
// current tool, and the picture on the real render path (composed on the UI thread, copied by
// the frame).
#include "editor/EditView.h"

#include "EditorTestUtil.h"
#include "editor/CanvasCommands.h"
#include "imaging/ColourTables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A document with one opaque layer of w x h in one colour.
void OneLayer(CZDDoc& doc, int w, int h, uint16_t b = 0x2000, uint16_t g = 0x4000, uint16_t r = 0x8000)
{
    AddOwned(doc, SolidImage16(w, h, b, g, r), u"Background");
}

std::string RectText(const SRect& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

std::string RegionText(const VisibleRegion& v)
{
    return std::to_string(v.left) + "," + std::to_string(v.top) + "," + std::to_string(v.right) + "," +
           std::to_string(v.bottom);
}

} // namespace

TEST(CanvasZoom, StepsThroughTheTable)
{
    struct Case {
        double from;
        int up;
        double want;
    };
    const Case cases[] = {
        {9, 1, 9},       {20, 1, 20},   {10, 1, 10},    {0.05, 1, 0.1},         {1, 1, 1.5},
        {0.21, 1, 0.25}, {0.25, 1, 0.333333333},        {0.1, 0, 0.1},          {12, 0, 9},
        {20, 0, 9},      {1, 0, 0.66666666666},         {0.25, 0, 0.1},         {0.11, 0, 0.1},
    };
    CZDDoc doc;
    OneLayer(doc, 400, 300);
    CanvasFixture f;
    f.Show(doc);
    for (const Case& c : cases) {
        f.view->SetZoom(c.from);
        ASSERT_EQ(f.view->Zoom(), c.from);
        f.view->StepZoom(c.up, 200, 150);
        EXPECT_EQ(f.view->Zoom(), c.want) << (c.up ? "up" : "down") << " from " << c.from;
    }
    // Stepping never reaches the table's 10 and 20: up ends at 9.
    f.view->SetZoom(5);
    for (int i = 0; i < 10; ++i)
        f.view->StepZoom(1, 200, 150);
    EXPECT_EQ(f.view->Zoom(), 9);
}

TEST(CanvasZoom, FitPlacesThePictureInTheMiddleOfTheArea)
{
    struct Case {
        int cw, ch, iw, ih;
        double zoom;
        const char* visible;
        const char* picture;
        bool bars;
    };
    const Case cases[] = {
        // Area 980 x 640; 970 x 630 after the margin: the height decides.
        {1000, 700, 4000, 3000, 0.21, "0,0,4000,3000", "70,45,910,675", false},
        // Smaller than the area: never enlarged.
        {1000, 700, 200, 100, 1.0, "0,0,200,100", "390,310,590,410", false},
        // Wide and flat: the width decides.
        {1000, 700, 1940, 100, 0.5, "0,0,1940,100", "5,335,975,385", false},
    };
    for (const Case& c : cases) {
        CZDDoc doc;
        OneLayer(doc, c.iw, c.ih);
        CanvasFixture f(c.cw, c.ch);
        f.Show(doc);
        EXPECT_DOUBLE_EQ(f.view->Zoom(), c.zoom) << c.iw << "x" << c.ih;
        EXPECT_EQ(RegionText(f.view->Visible()), c.visible);
        EXPECT_EQ(RectText(f.view->PictureRect()), c.picture);
        EXPECT_EQ(f.view->HorizontalBar().IsVisible() != 0, c.bars);
        EXPECT_EQ(f.view->VerticalBar().IsVisible() != 0, c.bars);
        const SRect p = f.view->PictureRect();
        EXPECT_EQ(f.view->ViewBuffer().width, p.Width());
        EXPECT_EQ(f.view->ViewBuffer().height, p.Height());
    }
}

TEST(CanvasZoom, ATinyAreaKeepsTheZoomPositive)
{
    CZDDoc doc;
    OneLayer(doc, 400, 300);
    for (const auto& size : {std::pair{30, 60}, std::pair{25, 45}, std::pair{10, 10}}) {
        CanvasFixture f(size.first, size.second);
        f.Show(doc);
        EXPECT_GT(f.view->Zoom(), 0.0) << size.first << "x" << size.second;
        EXPECT_TRUE(std::isfinite(f.view->Zoom()));
        f.view->StepZoom(1, 0, 0);
        f.t.Frame();
        EXPECT_GT(f.view->Zoom(), 0.0);
    }
}

TEST(CanvasZoom, ScreenToImageAtFit)
{
    CZDDoc doc;
    OneLayer(doc, 4000, 3000);
    CanvasFixture f;
    f.Show(doc);
    struct Case {
        int clamp, x, y, ix, iy;
    };
    const Case cases[] = {
        {1, 60, 100, 0, 0},       // left of the picture
        {1, 500, 700, 0, 0},      // below it
        {1, 70, 45, 0, 0},        // its top-left pixel
        {1, 909, 674, 3995, 2995},
        {1, 490, 360, 2000, 1500},
        {0, 1000, 45, 4429, 0},   // unclamped: beyond the picture
        {0, 0, 0, -332, -213},
    };
    for (const Case& c : cases) {
        const SPoint p = f.view->ScreenToImage(c.clamp, c.x, c.y);
        EXPECT_EQ(p.x, c.ix) << c.x << "," << c.y << " clamp " << c.clamp;
        EXPECT_EQ(p.y, c.iy) << c.x << "," << c.y << " clamp " << c.clamp;
    }
}

TEST(CanvasZoom, SetZoomKeepsTheCentreAndTheBadgeFollows)
{
    CZDDoc doc;
    OneLayer(doc, 4000, 3000);
    CanvasFixture f;
    f.Show(doc);
    EXPECT_EQ(f.view->BadgeText(), u"21%");
    // The zoom menu's "200%" (command 4).
    PostSpriteMessage(f.view, MSG_MENU_COMMAND, 4, 0, nullptr);
    f.t.Pump();
    EXPECT_EQ(f.view->Zoom(), 2.0);
    EXPECT_EQ(RegionText(f.view->Visible()), "1755,1340,2245,1660");
    EXPECT_EQ(f.view->BadgeText(), u"200%");
    EXPECT_TRUE(f.view->HorizontalBar().IsVisible());
    EXPECT_EQ(f.view->HorizontalBar().m_maximum.load(), 4000);
    EXPECT_EQ(f.view->HorizontalBar().m_page.load(), 490);
    EXPECT_EQ(f.view->HorizontalBar().m_position.load(), 1755);
    // The menu's first item fits again; the bars go.
    PostSpriteMessage(f.view, MSG_MENU_COMMAND, 1, 0, nullptr);
    f.t.Pump();
    EXPECT_DOUBLE_EQ(f.view->Zoom(), 0.21);
    EXPECT_FALSE(f.view->HorizontalBar().IsVisible());
}

TEST(CanvasZoom, TheWheelZoomsAboutThePointUnderThePointer)
{
    CZDDoc doc;
    OneLayer(doc, 4000, 3000);
    CanvasFixture f;
    f.Show(doc);
    f.view->SetZoom(1);
    const SPoint under = f.view->ScreenToImage(1, 300, 200);
    f.t.Input().InjectWheel(120, {300, 200});
    f.t.Pump();
    EXPECT_EQ(f.view->Zoom(), 1.5);
    const VisibleRegion v = f.view->Visible();
    EXPECT_LE(std::abs((v.left + v.right) / 2 - under.x), 1);
    EXPECT_LE(std::abs((v.top + v.bottom) / 2 - under.y), 1);
    f.t.Input().InjectWheel(-120, {300, 200});
    f.t.Pump();
    EXPECT_EQ(f.view->Zoom(), 1.0);
}

TEST(CanvasZoom, ScrollBarMessagesMoveTheOrigin)
{
    CZDDoc doc;
    OneLayer(doc, 4000, 3000);
    CanvasFixture f;
    f.Show(doc);
    f.view->SetZoom(2);
    const VisibleRegion before = f.view->Visible();
    PostSpriteMessage(f.view, MSG_SCROLL_LINE_DOWN, 0, 0, &f.view->VerticalBar());
    f.t.Pump();
    EXPECT_EQ(f.view->Visible().top, before.top + 8);
    PostSpriteMessage(f.view, MSG_SCROLL_LINE_UP, 0, 0, &f.view->HorizontalBar());
    f.t.Pump();
    EXPECT_EQ(f.view->Visible().left, before.left - 8);
    f.view->HorizontalBar().m_position = 100;
    PostSpriteMessage(f.view, MSG_SCROLL_POS, 0, 0, &f.view->HorizontalBar());
    f.t.Pump();
    EXPECT_EQ(f.view->Visible().left, 100);
    f.view->HorizontalBar().m_position = 3900;
    PostSpriteMessage(f.view, MSG_SCROLL_POS, 0, 0, &f.view->HorizontalBar());
    f.t.Pump();
    EXPECT_EQ(f.view->Visible().right, 4000) << "held at the picture's edge";
}

TEST(CanvasInput, SpaceDragPansEvenWithATool)
{
    CZDDoc doc;
    OneLayer(doc, 4000, 3000);
    CanvasFixture f;
    f.Show(doc);
    f.view->SetZoom(1);
    RecordingTool tool;
    f.view->SetTool(&tool);
    const VisibleRegion start = f.view->Visible();
    f.Key(platform::vk::Space, true);
    f.t.Input().InjectMouseMove({500, 400});
    f.t.Input().InjectButton(platform::MouseButton::Left, true, {500, 400});
    f.t.Pump();
    EXPECT_EQ(f.view->Panning(), 1);
    f.t.Input().InjectMouseMove({400, 350});
    f.t.Pump();
    EXPECT_EQ(f.view->Visible().left, start.left + 100);
    EXPECT_EQ(f.view->Visible().top, start.top + 50);
    f.t.Input().InjectButton(platform::MouseButton::Left, false, {400, 350});
    f.t.Pump();
    f.Key(platform::vk::Space, false);
    EXPECT_EQ(f.view->Panning(), 0);
    for (const std::string& name : tool.Names())
        EXPECT_TRUE(name != "down" && name != "up" && name != "move") << "the tool saw " << name;
    // Without Space the tool has the press and nothing pans.
    f.Click(500, 400);
    EXPECT_EQ(f.view->Panning(), 0);
    ASSERT_FALSE(tool.calls.empty());
    f.view->SetTool(nullptr);
}

TEST(CanvasInput, NoPanningWhenThePictureFits)
{
    CZDDoc doc;
    OneLayer(doc, 200, 100);
    CanvasFixture f;
    f.Show(doc);
    f.t.Input().InjectMouseMove({490, 360});
    f.t.Input().InjectButton(platform::MouseButton::Left, true, {490, 360});
    f.t.Pump();
    EXPECT_EQ(f.view->Panning(), 0);
    f.t.Input().InjectButton(platform::MouseButton::Left, false, {490, 360});
    f.t.Pump();
    EXPECT_FALSE(f.t.Input().CursorIsCustom());
    EXPECT_EQ(f.t.Input().CurrentStandardCursor(), platform::StandardCursor::Arrow);
}

TEST(CanvasInput, RoutingToTheTool)
{
    CZDDoc doc;
    OneLayer(doc, 4000, 3000);
    CanvasFixture f;
    f.Show(doc);
    f.view->SetZoom(1);
    RecordingTool tool;
    int ended = 0;
    f.view->hooks.endTool = [&] { ++ended; };
    f.view->SetTool(&tool);
    EXPECT_EQ(tool.view, f.view);
    EXPECT_TRUE(f.view->Overlay().IsVisible());
    struct Case {
        const char* what;
        std::function<void(CSEditView&)> act;
        std::string call; // "" = the tool hears nothing
        int a, b, c;
    };
    const Case cases[] = {
        // Points reach the tool relative to the canvas area (0, 40).
        {"left press", [](CSEditView& v) { v.OnLButtonDown(300, 240, platform::kMouseLButton); }, "down", 1, 300, 200},
        {"left release", [](CSEditView& v) { v.OnLButtonUp(310, 250, 0); }, "up", 1, 310, 210},
        {"right press", [](CSEditView& v) { v.OnRButtonDown(300, 240, 0); }, "down", 0, 300, 200},
        {"right release", [](CSEditView& v) { v.OnRButtonUp(300, 240, 0); }, "up", 0, 300, 200},
        {"double click", [](CSEditView& v) { v.OnLButtonDblClk(300, 240, 0); }, "dbl", 1, 300, 200},
        {"press on the button strip", [](CSEditView& v) { v.OnLButtonDown(10, 10, 0); }, "", 0, 0, 0},
        {"key 45", [](CSEditView& v) { v.OnKeyDown(45, 1, 0); }, "key", 45, 1, 0},
        {"key 40 (arrow)", [](CSEditView& v) { v.OnKeyDown(40, 1, 0); }, "key", 40, 1, 0},
        {"key 65 is no tool key", [](CSEditView& v) { v.OnKeyDown(65, 1, 0); }, "", 0, 0, 0},
        {"key 27 ends the tool", [](CSEditView& v) { v.OnKeyDown(27, 1, 0); }, "", 0, 0, 0},
        {"Shift down", [](CSEditView& v) { v.OnKeyDown(16, 1, 0); }, "mod", 16, 0, 0},
        {"Ctrl up", [](CSEditView& v) { v.OnKeyUp(17, 0); }, "mod", 17, 0, 0},
        {"character", [](CSEditView& v) { v.OnChar('a', 1, 0); }, "key", 'a', 0, 0},
        {"control character", [](CSEditView& v) { v.OnChar(8, 1, 0); }, "", 0, 0, 0},
        {"capture lost", [](CSEditView& v) { v.OnCaptureReleased(); }, "lost", 0, 0, 0},
    };
    for (const Case& c : cases) {
        tool.calls.clear();
        c.act(*f.view);
        if (c.call.empty()) {
            EXPECT_TRUE(tool.calls.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(tool.calls.size(), 1u) << c.what;
        EXPECT_EQ(tool.calls[0].what, c.call) << c.what;
        EXPECT_EQ(tool.calls[0].a, c.a) << c.what;
        EXPECT_EQ(tool.calls[0].b, c.b) << c.what;
        EXPECT_EQ(tool.calls[0].c, c.c) << c.what;
    }
    EXPECT_EQ(ended, 1) << "Esc ends the tool through the tab";
    // With the capture field set the tool hears presses over the strip too.
    tool.calls.clear();
    tool.capture = 1;
    f.view->OnLButtonDown(10, 10, 0);
    ASSERT_EQ(tool.Names(), std::vector<std::string>{"down"});
    EXPECT_EQ(tool.calls[0].c, -30);
    tool.capture = 0;
    // Moves: the previous point and the pressed state; a consumed move becomes the last point.
    tool.calls.clear();
    tool.consume = 1;
    f.view->OnLButtonDown(100, 140, platform::kMouseLButton);
    f.view->OnMouseMove(110, 150, platform::kMouseLButton);
    f.view->OnMouseMove(120, 160, 0);
    ASSERT_EQ(tool.calls.size(), 3u);
    EXPECT_EQ(tool.calls[1].what, "move");
    EXPECT_EQ(tool.calls[1].a, 1);
    EXPECT_EQ(tool.calls[1].b, 100);
    EXPECT_EQ(tool.calls[1].c, 100);
    EXPECT_EQ(tool.calls[1].d, 110 * 10000 + 110);
    EXPECT_EQ(tool.calls[2].a, 0) << "a move without buttons ends the press";
    EXPECT_EQ(tool.calls[2].b, 110);
    EXPECT_EQ(f.view->Panning(), 0) << "a consumed press never pans";
    // Panel messages: a sender-less algorithm message goes to the tool; the view's own do not.
    tool.calls.clear();
    PostSpriteMessage(f.view, 11101, 50, 0, nullptr);
    PostSpriteMessage(f.view, MSG_MENU_COMMAND, 16500, 0, nullptr);
    f.t.Pump();
    ASSERT_EQ(tool.Names(), (std::vector<std::string>{"panel", "panel"}));
    EXPECT_EQ(tool.calls[1].b, 16500) << "unknown menu commands go to the tool";
    f.view->SetTool(nullptr);
    EXPECT_FALSE(f.view->Overlay().IsVisible());
    EXPECT_EQ(f.view->CurrentTool(), nullptr);
}

TEST(CanvasInput, DeleteWithoutAToolAsksToFillTheSelection)
{
    CZDDoc doc;
    OneLayer(doc, 40, 30);
    doc.selection = MakePlane(40, 30, [](int x, int) { return uint8_t(x < 10 ? 255 : 0); });
    CanvasFixture f;
    f.Show(doc);
    int asked = 0;
    f.view->dialogs.pickColor = [&](uint16_t*) {
        ++asked;
        return 0;
    };
    f.t.window->SetFocus(f.view, false);
    f.Key(platform::vk::Delete, true);
    f.Key(platform::vk::Delete, false);
    EXPECT_EQ(asked, 1);
    // A tool that takes Delete keeps it.
    RecordingTool tool;
    tool.consume = 1;
    f.view->SetTool(&tool);
    f.t.clock.Advance(500); // a new press, not a held key's repeat
    f.Key(platform::vk::Delete, true);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(tool.Names(), std::vector<std::string>{"key"});
    f.view->SetTool(nullptr);
}

TEST(CanvasRender, ThePictureReachesTheScreenThroughTheFrame)
{
    CZDDoc doc;
    OneLayer(doc, 400, 300, 0x1000, 0x3000, 0xC000);
    // A half-transparent top layer over the right half: checkerboard-free, blended.
    AddOwned(doc, SolidImage16(200, 300, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), u"white");
    doc.layers[1]->x = 200;
    doc.layers[1]->y = 0;
    doc.layers[1]->opacity = 128;
    CanvasFixture f;
    f.Show(doc);
    f.t.Frame();
    const SRect p = f.view->PictureRect();
    ASSERT_EQ(RectText(p), "290,210,690,510");
    uint8_t left[4], right[4];
    const uint16_t bottom[4] = {0x1000, 0x3000, 0xC000, 0xFFFF};
    ConvertPixel16To8(bottom, left);
    uint16_t mixed[4];
    for (int c = 0; c < 3; ++c)
        mixed[c] = uint16_t(bottom[c] + (0xFFFF - bottom[c]) * 128 / 255);
    mixed[3] = 0xFFFF;
    ConvertPixel16To8(mixed, right);
    auto bgr = [](const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; };
    EXPECT_EQ(f.t.SurfacePixel(p.left + 10, p.top + 10), bgr(left));
    EXPECT_EQ(f.t.SurfacePixel(p.right - 10, p.top + 10), bgr(right));
    EXPECT_EQ(f.t.SurfacePixel(p.left - 5, p.top + 10), 0x1E1E1Eu) << "the canvas around the picture";
    // A change to the document shows on the next frames: the render thread asks, the UI thread
    // composes.
    const uint64_t renders = f.view->RenderCount();
    {
        std::lock_guard guard(doc.layers[1]->lock);
        doc.layers[1]->visible = 0;
    }
    doc.modified = 1;
    f.t.Frame();
    f.t.Pump();
    f.t.Frame();
    EXPECT_EQ(f.view->RenderCount(), renders + 1);
    EXPECT_EQ(doc.modified.load(), 0);
    EXPECT_EQ(f.t.SurfacePixel(p.right - 10, p.top + 10), bgr(left));
}

TEST(CanvasRender, ASelectionShowsItsOutlineAndThePanel)
{
    CZDDoc doc;
    OneLayer(doc, 400, 300);
    doc.selection = MakePlane(400, 300, [](int x, int y) { return uint8_t(x >= 100 && x < 200 && y >= 100 && y < 150 ? 255 : 0); });
    CanvasFixture f;
    f.Show(doc);
    f.t.Frame();
    const SRect p = f.view->PictureRect();
    EXPECT_EQ(f.view->OutlineLevel(), 255);
    // The corner of the selection shows black or white, never the picture's colour.
    const uint32_t corner = f.t.SurfacePixel(p.left + 100, p.top + 100);
    EXPECT_TRUE(corner == 0xFFFFFFu || corner == 0) << std::hex << corner;
    // The selection panel: 20 pixels above the selection's top-left corner.
    ASSERT_TRUE(f.view->SelectionPanel().IsVisible());
    const SRect panel = f.view->SelectionPanel().Rect();
    EXPECT_EQ(panel.left, p.left + 100);
    EXPECT_EQ(panel.top, p.top + 100 - 20);
    EXPECT_EQ(panel.Width(), 80);
    EXPECT_EQ(f.view->SelectionPanel().Opacity(), 192);
    // A non-selection tool hides it; a selection tool leaves it.
    RecordingTool plain, selecting;
    selecting.group = kToolGroupSelection;
    f.view->SetTool(&plain);
    EXPECT_FALSE(f.view->SelectionPanel().IsVisible());
    f.view->SetTool(&selecting);
    EXPECT_TRUE(f.view->SelectionPanel().IsVisible());
    f.view->SetTool(nullptr);
    // Dropping the selection hides the panel after the recomposition.
    f.view->OnPanelClick(CSEditView::kDropSelectionButton);
    EXPECT_EQ(doc.selection.data, nullptr);
    f.t.Frame();
    f.t.Pump();
    EXPECT_FALSE(f.view->SelectionPanel().IsVisible());
}

TEST(CanvasRender, HostModeStripHasTheApplyButtonOnly)
{
    struct Case {
        int host;
        std::vector<int32_t> present, absent;
    };
    const Case cases[] = {
        {0, {1, 2, 3, 4, 11, 12, 13, 15, 21, 22, 31}, {99}},
        {1, {1, 2, 3, 4, 21, 31, 99}, {11, 12, 13, 15, 22}},
    };
    for (const Case& c : cases) {
        CanvasFixture f(1000, 700, c.host);
        for (int32_t id : c.present)
            EXPECT_NE(f.view->TopPanel().FindItem(id), nullptr) << "host " << c.host << " id " << id;
        for (int32_t id : c.absent)
            EXPECT_EQ(f.view->TopPanel().FindItem(id), nullptr) << "host " << c.host << " id " << id;
        // The badge and the histogram keep to the right edge.
        EXPECT_EQ(RectText(f.view->TopPanel().FindItem(31)->rect), "921,1,999,39");
        EXPECT_EQ(RectText(f.view->TopPanel().FindItem(21)->rect), "790,1,920,39");
    }
}
