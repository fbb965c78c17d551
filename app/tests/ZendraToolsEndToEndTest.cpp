// The tools and panels end to end under a private X server, driven by xdotool: a photo of flat
// patches opened from the command line with the paint and fill colours in the settings; a free
// paint stroke at softness 0 (the screenshot's pixels on its centre line exact), Esc, Ctrl+Z and
// Ctrl+Y; a blank layer set to multiply from its blend menu and a second stroke on it; the
// background row, a rectangle selection, Delete with the colour picker confirmed; the first
// history row, then the last; a save as PNG whose pixels match the same steps done here on a
// CZDDoc (within the save's dithering, away from the strokes' and selection's edges).
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace testx;

constexpr int kPatch = 300;
const uint8_t kColours[6][3] = {{200, 40, 30}, {30, 160, 60}, {40, 60, 210}, {230, 200, 40}, {120, 120, 120}, {250, 250, 250}};
// Paint and fill colours as the settings hold them (16 bits, B G R A).
const uint16_t kPaint[4] = {0x8000, 0x1000, 0xF000, 0xFFFF};
const uint16_t kFill[4] = {0x4000, 0xC000, 0x2000, 0xFFFF};
constexpr int kBrush = 20;
// The strokes (image points, left to right on one row) and the selection.
constexpr int kStrokeLeft = 100, kStrokeRight = 800, kStroke1Y = 150, kStroke2Y = 480;
constexpr int kSelLeft = 450, kSelTop = 300, kSelRight = 650, kSelBottom = 420;

bool WriteFixture(const fs::path& path)
{
    ImageBuffer8 image;
    if (!AllocImage8(image, 3 * kPatch, 2 * kPatch))
        return false;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* c = kColours[x / kPatch + 3 * (y / kPatch)];
            uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
            p[0] = c[2];
            p[1] = c[1];
            p[2] = c[0];
            p[3] = 255;
        }
    const bool ok = CodecSaveImage8(image, path.u16string().c_str(), false) != 0;
    FreeImageBuffer(image);
    return ok;
}

size_t Count(const std::string& output, const std::string& what)
{
    size_t n = 0;
    for (size_t at = output.find(what); at != std::string::npos; at = output.find(what, at + 1))
        ++n;
    return n;
}

uint32_t ShotPixel(const Screenshot& s, int x, int y)
{
    if (x < 0 || y < 0 || x >= s.width || y >= s.height)
        return 0xFFFFFFFFu;
    const uint8_t* p = s.rgb.data() + (size_t(y) * s.width + x) * 3;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

std::string LastSum(const std::string& output)
{
    const size_t at = output.rfind("zendra: tab ");
    if (at == std::string::npos)
        return {};
    const size_t end = output.find('\n', at);
    const std::string line = output.substr(at, end - at);
    return line.substr(line.rfind(' ') + 1);
}

struct Canvas {
    int left = 0, top = 0;
    double zoom = 0;
};

bool LastCanvas(const std::string& output, Canvas& c)
{
    const size_t at = output.rfind("zendra: canvas picture ");
    if (at == std::string::npos)
        return false;
    int l, t, r, b, wl, wt, wr, wb;
    double z;
    if (std::sscanf(output.c_str() + at, "zendra: canvas picture %d,%d,%d,%d zoom %lf window %d,%d,%d,%d", &l, &t, &r,
                    &b, &z, &wl, &wt, &wr, &wb) != 9)
        return false;
    c = {wl, wt, z};
    return true;
}

// Distance of (x, y) to the stroke on row y0.
double StrokeDistance(int x, int y, int y0)
{
    const double cx = std::clamp(x, kStrokeLeft, kStrokeRight);
    return std::hypot(x - cx, double(y - y0));
}

// Where a pointer a pixel off, or the brush's soft rim, leaves the pixel open.
bool NearAnEdge(int x, int y)
{
    const double r = kBrush / 2.0;
    for (int y0 : {kStroke1Y, kStroke2Y})
        if (std::abs(StrokeDistance(x, y, y0) - r) <= 3)
            return true;
    // Along the patches' borders the dither carries a rim's different error far down.
    if (std::abs(x - kPatch) <= 1 || std::abs(x - 2 * kPatch) <= 1 || std::abs(y - kPatch) <= 1)
        return true;
    const bool inX = x >= kSelLeft - 3 && x < kSelRight + 3, inY = y >= kSelTop - 3 && y < kSelBottom + 3;
    return (inY && (std::abs(x - kSelLeft) <= 3 || std::abs(x - kSelRight) <= 3)) ||
           (inX && (std::abs(y - kSelTop) <= 3 || std::abs(y - kSelBottom) <= 3));
}

// The steps done directly: stroke one on the background, the selection filled there, a blank
// multiply layer with stroke two.
bool Expected(const fs::path& fixture, CZDDoc& doc)
{
    if (!doc.OpenImage(fixture.u16string()))
        return false;
    ImageBuffer16 blank;
    if (!AllocImage16(blank, doc.width, doc.height))
        return false;
    std::memset(blank.data, 0, blank.byteSize);
    const int added = doc.AddLayer(blank, u"Layer 1");
    FreeImageBuffer(blank);
    if (!added || doc.LayerCount() != 2)
        return false;
    doc.layers[1]->blendMode = kBlendMultiply;
    const double r = kBrush / 2.0;
    for (int y = 0; y < doc.height; ++y)
        for (int x = 0; x < doc.width; ++x) {
            uint16_t* bg = doc.layers[0]->pixels.data + (size_t(y) * doc.width + x) * 4;
            uint16_t* top = doc.layers[1]->pixels.data + (size_t(y) * doc.width + x) * 4;
            if (StrokeDistance(x, y, kStroke1Y) < r)
                std::memcpy(bg, kPaint, 8);
            if (x >= kSelLeft && x < kSelRight && y >= kSelTop && y < kSelBottom)
                std::memcpy(bg, kFill, 8);
            if (StrokeDistance(x, y, kStroke2Y) < r)
                std::memcpy(top, kPaint, 8);
        }
    return true;
}

} // namespace

TEST(ZendraToolsEndToEnd, StrokesUndoLayerBlendSelectionFillHistoryRowsAndSave)
{
    BuildGammaTables();
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    zendratest::Home home; // Editor\AutoWizard 0
    home.SetDword(u"FreePaintTool", u"R", kPaint[2]);
    home.SetDword(u"FreePaintTool", u"G", kPaint[1]);
    home.SetDword(u"FreePaintTool", u"B", kPaint[0]);
    home.SetDword(u"PaintSettings", u"PaintSize_FreePaintTool", kBrush);
    home.SetDword(u"PaintSettings", u"PaintSoft_FreePaintTool", 0);
    home.SetDword(u"Editor", u"FillR", kFill[2]);
    home.SetDword(u"Editor", u"FillG", kFill[1]);
    home.SetDword(u"Editor", u"FillB", kFill[0]);
    const fs::path fixture = home.root / "fixture.png", saved = home.root / "saved.png";
    ASSERT_TRUE(WriteFixture(fixture));
    const auto env = zendratest::ProgramEnvironment(xvfb, home, {{"ZENDRA_REPORT_PIXELS", "1"},
                                                      {"ZENDRA_CHOOSER", "builtin"},
                                                      {"ZENDRA_TEST", "1"},
                                                      {"ZENDRA_SAVE_TILE", "105"}});
    zendratest::Killable program;
    int out = -1;
    ASSERT_TRUE(program.Start({zendratest::kProgram, "--backend=sdl", "o", fixture.string()}, env, out));
    std::string output;
    auto drain = [&](int ms) {
        std::string more;
        ReadUntil(out, "\x01never", std::chrono::milliseconds(ms), more);
        output += more;
    };
    auto waitFor = [&](const std::function<bool()>& done, int seconds) {
        for (int i = 0; i < seconds * 4 && !done(); ++i)
            drain(250);
        return done();
    };
    ASSERT_TRUE(ReadUntil(out, "zendra: photo shown", std::chrono::seconds(60), output)) << output;
    const std::string opened = LastSum(output);
    const std::string id = zendratest::FindWindow(xvfb);
    ASSERT_FALSE(id.empty());
    const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
    ASSERT_GT(g.width, 0);
    Canvas c;
    ASSERT_TRUE(LastCanvas(output, c)) << output;
    auto at = [&](int x, int y) { return std::to_string(g.x + x) + " " + std::to_string(g.y + y); };
    // An image point on the screen (the whole picture is shown, from its top-left).
    auto image = [&](int x, int y) {
        return std::to_string(g.x + c.left + int((x + 0.5) * c.zoom)) + " " +
               std::to_string(g.y + c.top + int((y + 0.5) * c.zoom));
    };
    auto xdo = [&](const std::string& commands) { zendratest::Xdo(xvfb, commands); };
    auto key = [&](const std::string& keys) { xdo("windowfocus --sync " + id + " sleep 0.2 key " + keys); };
    auto stroke = [&](int y) {
        const size_t before = Count(output, "* kind 13 tag 16 name Paint ");
        xdo("mousemove " + image(kStrokeLeft, y) + " sleep 0.3 mousedown 1 sleep 0.2 mousemove " +
            image((2 * kStrokeLeft + kStrokeRight) / 3, y) + " sleep 0.1 mousemove " +
            image((kStrokeLeft + 2 * kStrokeRight) / 3, y) + " sleep 0.1 mousemove " + image(kStrokeRight, y) +
            " sleep 0.3 mouseup 1");
        EXPECT_TRUE(waitFor([&] { return Count(output, "* kind 13 tag 16 name Paint ") > before; }, 20)) << output;
        drain(1000);
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    // Free paint from the tool page, one stroke: one step, tagged with the tool.
    xdo("mousemove " + at(769, 146) + " sleep 0.3 click 1 sleep 0.8");
    stroke(kStroke1Y);
    EXPECT_EQ(Count(output.substr(output.rfind("zendra: tab ")), " name Paint "), 1u) << "one stroke, one row";
    const std::string painted = LastSum(output);
    ASSERT_NE(painted, opened);
    Screenshot shot;
    ASSERT_TRUE(TakeScreenshot(xvfb.Display(), shot));
    {
        // The paint colour as the canvas shows a flat area of it.
        ImageBuffer16 flat;
        ImageBuffer8 shown;
        ASSERT_TRUE(AllocImage16(flat, 4, 4));
        for (uint32_t k = 0; k < flat.pixelCount; ++k)
            std::memcpy(flat.data + size_t(k) * 4, kPaint, 8);
        ASSERT_TRUE(ResizeImage16To8(flat, shown, 4, 4, 1));
        const uint32_t want = uint32_t(shown.data[2]) << 16 | uint32_t(shown.data[1]) << 8 | shown.data[0];
        for (int x : {200, 450, 700}) {
            const int sx = g.x + c.left + int((x + 0.5) * c.zoom), sy = g.y + c.top + int((kStroke1Y + 0.5) * c.zoom);
            EXPECT_EQ(ShotPixel(shot, sx, sy), want) << "the stroke's centre line at image x " << x;
            const int below = g.y + c.top + int((kStroke1Y + 40 + 0.5) * c.zoom);
            const uint8_t* f = kColours[x / kPatch];
            EXPECT_EQ(ShotPixel(shot, sx, below), uint32_t(f[0]) << 16 | uint32_t(f[1]) << 8 | f[2]) << "beside it";
        }
        FreeImageBuffer(flat);
        FreeImageBuffer(shown);
    }

    // Esc leaves the tool; Ctrl+Z gives the photo as opened, Ctrl+Y the stroke again.
    key("Escape");
    key("ctrl+z");
    ASSERT_TRUE(waitFor([&] { return LastSum(output) == opened; }, 20)) << output;
    key("ctrl+y");
    ASSERT_TRUE(waitFor([&] { return LastSum(output) == painted; }, 20)) << output;

    // A blank layer from the layer panel, multiply from its blend menu.
    xdo("mousemove " + at(856, 202) + " sleep 0.3 click 1 sleep 1 mousemove " + at(768, 226) +
        " sleep 0.3 click 1 sleep 0.8 mousemove " + at(700, 227) + " sleep 0.3 click 1 sleep 1.2");
    key("Return");
    ASSERT_TRUE(waitFor([&] { return output.find(" name New layer ") != std::string::npos; }, 20)) << output;
    drain(800);
    xdo("mousemove " + at(882, 225) + " sleep 0.3 click 1 sleep 1 mousemove " + at(897, 287) + " sleep 0.3 click 1");
    ASSERT_TRUE(waitFor([&] { return output.find("kind 32 tag 0 name Blend mode") != std::string::npos; }, 20))
        << output;
    drain(800);
    // The second stroke, on the new layer.
    xdo("mousemove " + at(769, 146) + " sleep 0.3 click 1 sleep 0.8");
    stroke(kStroke2Y);
    key("Escape");

    // The background row, a rectangle selection, Delete: the colour picker, OK.
    xdo("mousemove " + at(853, 284) + " sleep 0.3 click 1 sleep 0.8 mousemove " + at(829, 117) +
        " sleep 0.3 click 1 sleep 0.6 mousemove " + image(kSelLeft, kSelTop) + " sleep 0.3 mousedown 1 sleep 0.2 mousemove " +
        image((kSelLeft + kSelRight) / 2, (kSelTop + kSelBottom) / 2) + " sleep 0.1 mousemove " +
        image(kSelRight, kSelBottom) + " sleep 0.3 mouseup 1 sleep 0.8");
    key("Delete");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the picker fades in
    xdo("mousemove " + at(472, 454) + " sleep 0.3 click 1");
    ASSERT_TRUE(waitFor([&] { return output.find(" name Delete selection ") != std::string::npos; }, 20)) << output;
    drain(1000);
    const std::string last = LastSum(output);

    // The history panel: the first row gives the photo as opened, the last row everything back.
    xdo("mousemove " + at(856, 441) + " sleep 0.3 click 1 sleep 1 mousemove " + at(822, 261) + " sleep 0.3 click 1");
    EXPECT_TRUE(waitFor([&] { return LastSum(output) == opened; }, 20)) << output;
    Screenshot rows;
    if (TakeScreenshot(xvfb.Display(), rows) && std::getenv("ZENDRA_SHOTS")) {
        ImageBuffer8 png;
        if (AllocImage8(png, rows.width, rows.height)) {
            for (uint32_t k = 0; k < png.pixelCount; ++k) {
                png.data[k * 4] = rows.rgb[k * 3 + 2];
                png.data[k * 4 + 1] = rows.rgb[k * 3 + 1];
                png.data[k * 4 + 2] = rows.rgb[k * 3];
                png.data[k * 4 + 3] = 255;
            }
            CodecSaveImage8(png, (fs::path(std::getenv("ZENDRA_SHOTS")) / "tools-history.png").u16string().c_str(), false);
            FreeImageBuffer(png);
        }
    }
    const size_t stepRows = Count(output.substr(output.rfind("zendra: tab ")), "zendra: step ");
    xdo("mousemove " + at(822, 261 + 20 * int(stepRows - 1)) + " sleep 0.3 click 1");
    ASSERT_TRUE(waitFor([&] { return LastSum(output) == last; }, 20)) << "row " << stepRows - 1 << "\n" << output;

    // Saved as PNG through the canvas strip's save button and the path question.
    xdo("mousemove " + at(261, 93) + " sleep 0.3 click 1");
    ASSERT_TRUE(waitFor([&] { return output.find("zendra: asking for a path to save") != std::string::npos; }, 20))
        << output;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    key("ctrl+a BackSpace");
    xdo("type --delay 15 '" + saved.string() + "'");
    key("Return");
    ASSERT_TRUE(waitFor([&] { return fs::exists(saved); }, 30)) << output;
    drain(1500);

    CZDDoc doc;
    ASSERT_TRUE(Expected(fixture, doc));
    ImageBuffer16 flat;
    ImageBuffer8 want, got;
    ASSERT_TRUE(doc.Flatten(flat, 0xFFFFFFFFFFFFFFFFull));
    ASSERT_TRUE(ConvertImage16To8Dithered(flat, want));
    ASSERT_TRUE(CodecLoadImage8(got, saved.u16string().c_str()));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    // The saved picture is dithered: a pixel is within one step of the same steps done here.
    int wrong = 0, checked = 0;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            if (NearAnEdge(x, y))
                continue;
            ++checked;
            const uint8_t* a = got.data + (size_t(y) * got.width + x) * 4;
            const uint8_t* b = want.data + (size_t(y) * want.width + x) * 4;
            bool same = true;
            for (int k = 0; k < 3; ++k)
                same = same && std::abs(int(a[k]) - int(b[k])) <= 1;
            if (!same && ++wrong <= 5)
                ADD_FAILURE() << "saved pixel " << x << "," << y << " is " << int(a[2]) << "," << int(a[1]) << ","
                              << int(a[0]) << ", the steps give " << int(b[2]) << "," << int(b[1]) << "," << int(b[0]);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(checked, 500000);
    FreeImageBuffer(flat);
    FreeImageBuffer(want);
    FreeImageBuffer(got);
    program.KillHard();
    close(out);
}
