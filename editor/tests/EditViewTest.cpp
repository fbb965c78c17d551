// The canvas: zoom steps, fit, mapping, zoom sources, scroll bars, panning, input routing to the
// current tool, and the picture on the real render path (composed on the UI thread, copied by
// the frame).
#include "editor/EditView.h"

#include "EditorTestUtil.h"
#include "editor/CanvasCommands.h"
#include "imaging/ColourTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>
#include <random>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

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

TEST(CanvasRender, ZoomStepsAndChangesRecomposeTheSamePictureAsAFreshCanvas)
{
    // Zoom steps change the view's size back and forth (the buffers are reused when large
    // enough): after each step the picture equals the one a fresh canvas composes at that
    // zoom and origin. The histogram stays for a view that only moved and follows a change of
    // the layer's pixels.
    CZDDoc doc;
    AddOwned(doc, MakeImage16(900, 700, [](int x, int y, int c) {
                 return uint16_t(c == 3 ? 65535 : (x * 61 + y * 37 + c * 9000) % 65536);
             }),
             u"Background");
    AddOwned(doc, SolidImage16(300, 200, 0x8000, 0x2000, 0xF000, 0xC000), u"top");
    doc.layers[1]->blendMode = kBlendScreen;
    doc.layers[1]->opacity = 150;
    CanvasFixture f(640, 480);
    f.Show(doc);
    auto same = [&](const char* when) {
        CanvasFixture fresh(640, 480);
        fresh.view->SetDocument(&doc, nullptr);
        fresh.view->SetZoom(f.view->Zoom());
        fresh.view->SetOrigin(f.view->Visible().left, f.view->Visible().top);
        const ImageBuffer8& a = f.view->ViewBuffer();
        const ImageBuffer8& b = fresh.view->ViewBuffer();
        ASSERT_EQ(RectText(f.view->PictureRect()), RectText(fresh.view->PictureRect())) << when;
        ASSERT_EQ(a.width, f.view->PictureRect().Width()) << when;
        ASSERT_EQ(a.height, f.view->PictureRect().Height()) << when;
        ASSERT_EQ(a.byteSize, uint32_t(a.width) * uint32_t(a.height) * 4u) << when;
        ASSERT_EQ(a.width, b.width);
        ASSERT_EQ(a.height, b.height);
        EXPECT_EQ(std::memcmp(a.data, b.data, a.byteSize), 0) << when << " at zoom " << f.view->Zoom();
    };
    same("fit");
    const int ups[] = {1, 1, 1, 0, 0, 0, 0, 1};
    for (int up : ups) {
        f.view->StepZoom(up, 450, 350);
        same(up ? "after a step up" : "after a step down");
    }
    f.view->SetOrigin(100, 80);
    same("after a pan");

    std::vector<uint8_t> before(f.view->HistogramPicture().data,
                                f.view->HistogramPicture().data + f.view->HistogramPicture().byteSize);
    f.view->SetOrigin(120, 90);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), f.view->HistogramPicture().data)) << "a pan keeps it";
    {
        CZDLayer& top = *doc.layers[1];
        std::lock_guard guard(top.lock);
        for (uint32_t i = 0; i < top.pixels.pixelCount; ++i)
            top.pixels.data[size_t(i) * 4 + 1] = 0xFFFF;
    }
    doc.modified = 1;
    f.t.Frame();
    f.t.Pump();
    ASSERT_EQ(f.view->HistogramPicture().byteSize, before.size());
    EXPECT_FALSE(std::equal(before.begin(), before.end(), f.view->HistogramPicture().data))
        << "the histogram follows the current layer's pixels";
    same("after the change");
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

TEST(CanvasThreads, TheOutlineWakesTheRenderThreadOnlyWhileThereIsASelection)
{
    // The marching outline asks for a frame each second; without a selection the render thread
    // sleeps until something changes (the idle program's budget).
    CZDDoc doc;
    OneLayer(doc, 400, 300);
    doc.selection = MakePlane(400, 300, [](int x, int) { return uint8_t(x < 200 ? 255 : 0); });
    CanvasFixture f(640, 480, 0, true);
    ASSERT_TRUE(f.t.opened);
    CRenderWindow& w = *f.t.window;
    f.view->SetDocument(&doc, nullptr);
    f.view->FitToWindow();
    auto pumpFor = [&](std::chrono::milliseconds span, const std::function<bool()>& until) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            f.t.Pump();
            if (until && until())
                return true;
            // The window's clock follows the real one, which the render thread sleeps on.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            f.t.clock.Advance(5);
        }
        return false;
    };
    ASSERT_TRUE(pumpFor(std::chrono::milliseconds(5000), [&] { return f.view->OutlineLevel() == 255; }));
    ASSERT_TRUE(pumpFor(std::chrono::milliseconds(5000), [&] { return w.RenderThreadSleeping(); }));
    uint64_t sleeps = w.RenderSleeps();
    EXPECT_TRUE(pumpFor(std::chrono::milliseconds(3000), [&] { return w.RenderSleeps() >= sleeps + 2; }))
        << "no frame for the outline with a selection";
    {
        std::lock_guard guard(doc.lock);
        FreePlane8(doc.selection);
        doc.selection = Plane8{};
    }
    doc.modified = 1;
    f.view->FitToWindow();
    ASSERT_TRUE(pumpFor(std::chrono::milliseconds(5000), [&] { return !f.view->SelectionPanel().IsVisible(); }));
    // One more wake may still be due from the last outline frame.
    pumpFor(std::chrono::milliseconds(1200), nullptr);
    ASSERT_TRUE(pumpFor(std::chrono::milliseconds(5000), [&] { return w.RenderThreadSleeping(); }));
    sleeps = w.RenderSleeps();
    pumpFor(std::chrono::milliseconds(2200), nullptr);
    EXPECT_EQ(w.RenderSleeps(), sleeps) << "the render thread woke without a selection";
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

TEST(CanvasThreads, TheRenderThreadDrawsWhileTheUiThreadComposes)
{
    // The UI thread pans, zooms, edits pixels and the selection, switches tools and handles the
    // canvas's requests, while the render thread copies the view, draws the outline and the
    // tool's overlay. Under the thread sanitizer this shows any access outside the locks; here
    // the picture must come out right at the end.
    CZDDoc doc;
    OneLayer(doc, 1200, 900, 0x1000, 0x3000, 0xC000);
    AddOwned(doc, SolidImage16(400, 300, 0xFFFF, 0x8000, 0x0000, 0xFFFF), u"top");
    doc.layers[1]->blendMode = kBlendMultiply;
    doc.layers[1]->opacity = 200;
    doc.selection = MakePlane(1200, 900, [](int x, int y) { return uint8_t(x > 300 && y > 200 && x < 700 ? 255 : 0); });
    CanvasFixture f(640, 480, 0, true);
    ASSERT_TRUE(f.t.opened);
    f.view->SetDocument(&doc, nullptr);
    f.view->FitToWindow();
    RecordingTool tool;
    std::mt19937 random(5);
    for (int i = 0; i < 240; ++i) {
        f.t.clock.Advance(30);
        switch (random() % 7) {
        case 0: f.view->SetOrigin(int(random() % 900), int(random() % 700)); break;
        case 1: f.view->StepZoom(int(random() % 2), int(random() % 1200), int(random() % 900)); break;
        case 2: {
            CZDLayer& top = *doc.layers[1];
            std::lock_guard docGuard(doc.lock);
            std::lock_guard guard(top.lock);
            top.pixels.data[size_t(random() % top.pixels.pixelCount) * 4] = uint16_t(random());
            doc.modified = 1;
            break;
        }
        case 3: {
            std::lock_guard guard(doc.lock);
            doc.selection.data[size_t(random() % doc.selection.byteSize)] ^= 0xFF;
            doc.modified = 1;
            break;
        }
        case 4: f.view->SetTool(random() % 2 ? &tool : nullptr); break;
        case 5: f.view->FitToWindow(); break;
        default: break;
        }
        f.t.Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    f.view->SetTool(nullptr);
    {
        std::lock_guard guard(doc.layers[1]->lock);
        doc.layers[1]->visible = 0;
    }
    {
        std::lock_guard guard(doc.lock);
        FreePlane8(doc.selection);
        doc.selection = Plane8{};
    }
    doc.modified = 1;
    f.view->FitToWindow();
    uint8_t bottom8[4];
    const uint16_t bottom[4] = {0x1000, 0x3000, 0xC000, 0xFFFF};
    ConvertPixel16To8(bottom, bottom8);
    const uint32_t want = uint32_t(bottom8[0]) | uint32_t(bottom8[1]) << 8 | uint32_t(bottom8[2]) << 16;
    const SRect p = f.view->GetMapping().picture;
    bool shown = false;
    for (int i = 0; i < 500 && !shown; ++i) {
        f.t.clock.Advance(30);
        f.t.Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        shown = f.t.SurfacePixel((p.left + p.right) / 2, (p.top + p.bottom) / 2) == want;
    }
    EXPECT_TRUE(shown) << "the last composition reaches the screen";
}
