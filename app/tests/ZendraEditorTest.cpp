// The editor tab end to end under a private X server, driven by xdotool: a photo of flat patches
// opened from the command line (the wizard cancelled), turned from the transform menu (the
// screenshot's pixels at the patches' centres exact), undone and redone, a picture pasted from
// the clipboard (xclip), a Space-drag pan at 200 %, the quick sharpen from the enhancement menu,
// and a save as PNG through the built-in path question. The saved pixels equal the same steps
// done here on a CZDDoc; a second save answered No leaves the file; the close asks nothing.
#include "algorithms/Threshold.h"
#include "dialogs/CurveBox.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/DocumentGeometry.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace testx;

constexpr int kPatch = 300;
const uint8_t kColours[6][3] = {{200, 40, 30}, {30, 160, 60}, {40, 60, 210}, {230, 200, 40}, {120, 120, 120}, {250, 250, 250}};

// 900 x 600: three by two flat patches; or a flat picture of one colour.
bool WritePicture(const fs::path& path, int w, int h, const uint8_t* flat)
{
    ImageBuffer8 image;
    if (!AllocImage8(image, w, h))
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* c = flat ? flat : kColours[x / kPatch + 3 * (y / kPatch)];
            uint8_t* p = image.data + (size_t(y) * w + x) * 4;
            p[0] = c[2]; // the buffers are BGRA
            p[1] = c[1];
            p[2] = c[0];
            p[3] = 255;
        }
    const bool ok = CodecSaveImage8(image, path.u16string().c_str(), false) != 0;
    FreeImageBuffer(image);
    return ok;
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Canvas {
    int left = 0, top = 0;
    double zoom = 0;
};

// The last "zendra: canvas picture ... zoom Z window l,t,r,b" line.
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

// The checksum of the last "zendra: tab" line.
std::string LastSum(const std::string& output)
{
    const size_t at = output.rfind("zendra: tab ");
    if (at == std::string::npos)
        return {};
    const size_t end = output.find('\n', at);
    const std::string line = output.substr(at, end - at);
    return line.substr(line.rfind(' ') + 1);
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

// The steps of the run done directly: opened, turned right, the pasted picture as a new layer
// above, the quick sharpen on it, flattened over white, dithered.
bool ExpectedPicture(const fs::path& fixture, const fs::path& pasted, ImageBuffer8& out)
{
    CZDDoc doc;
    if (!doc.OpenImage(fixture.u16string()) || !RotateDocumentRight(doc))
        return false;
    ImageBuffer8 paste8;
    ImageBuffer16 paste16;
    if (!CodecLoadImage8(paste8, pasted.u16string().c_str()))
        return false;
    const bool converted = AllocImage16(paste16, paste8.width, paste8.height) && ConvertPixels8To16(paste8, paste16);
    FreeImageBuffer(paste8);
    const bool added = converted && doc.AddLayer(paste16, u"paste", doc.current + 1);
    FreeImageBuffer(paste16);
    if (!added)
        return false;
    CCurveBox box;
    box.SetPoints({MakeCurvePoint(0, 0, kPointEnd), MakeCurvePoint(8000, 16000, kPointFree),
                   MakeCurvePoint(32767, 16000, kPointFree), MakeCurvePoint(65535, 0, kPointEnd)});
    box.RebuildLookupTable(false);
    CZDLayer* layer = doc.GetCurrentLayer();
    ImageBuffer16 source;
    if (!layer || !CopyImage16(source, layer->pixels))
        return false;
    SharpenParams params{};
    CSharpen sharpen;
    sharpen.SetCurve(box.LookupTable());
    sharpen.SetSource(&source);
    sharpen.SetDestination(&layer->pixels);
    sharpen.SetParams(&params);
    const int ran = sharpen.Run();
    FreeImageBuffer(source);
    ImageBuffer16 flat;
    if (!ran || !doc.Flatten(flat, 0xFFFFFFFFFFFFFFFFull)) // opaque white
        return false;
    const bool ok = ConvertImage16To8Dithered(flat, out) != 0;
    FreeImageBuffer(flat);
    return ok;
}

} // namespace

TEST(ZendraEditor, EditsThroughMenusKeysAndClipboardSaveTheSamePixelsAsTheStepsDoneDirectly)
{
    BuildGammaTables();
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    zendratest::Home home(false); // the wizard shows: this run cancels it
    const fs::path fixture = home.root / "fixture.png", pasted = home.root / "paste.png",
                   saved = home.root / "saved.png";
    const uint8_t cyan[3] = {20, 220, 220};
    ASSERT_TRUE(WritePicture(fixture, 900, 600, nullptr));
    ASSERT_TRUE(WritePicture(pasted, 120, 80, cyan));
    const auto env = zendratest::ProgramEnvironment(xvfb, home, {{"ZENDRA_REPORT_PIXELS", "1"},
                                                      {"ZENDRA_CHOOSER", "builtin"},
                                                      // The save panel goes straight to its "other formats" tile.
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
    auto at = [&](int x, int y) { return std::to_string(g.x + x) + " " + std::to_string(g.y + y); };
    auto xdo = [&](const std::string& commands) { zendratest::Xdo(xvfb, commands); };

    // The wizard is up over the tab: Esc cancels it, nothing changes.
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    xdo("windowfocus --sync " + id + " sleep 0.2 key Escape sleep 1");

    // Rotate right from the transform menu (its hot key R once the menu is open).
    xdo("mousemove " + at(100, 163) + " sleep 0.3 click 1 sleep 1 key r");
    ASSERT_TRUE(waitFor([&] { return output.find("name Rotate right") != std::string::npos; }, 20)) << output;
    drain(1500);
    const std::string turned = LastSum(output);
    ASSERT_NE(turned, opened);
    Canvas c;
    ASSERT_TRUE(LastCanvas(output, c)) << output;
    Screenshot shot;
    ASSERT_TRUE(TakeScreenshot(xvfb.Display(), shot));
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 3; ++i) {
            // Turned right, the fixture's (x, y) is at (599 - y, x).
            const double x = 599 - (kPatch / 2 + kPatch * j) + 0.5, y = kPatch / 2 + kPatch * i + 0.5;
            const int sx = g.x + c.left + int(x * c.zoom), sy = g.y + c.top + int(y * c.zoom);
            const uint8_t* want = kColours[i + 3 * j];
            EXPECT_EQ(ShotPixel(shot, sx, sy), uint32_t(want[0]) << 16 | uint32_t(want[1]) << 8 | want[2])
                << "patch " << i << "," << j << " at " << sx << "," << sy;
        }

    // Ctrl+Z gives the photo as opened, Ctrl+Y the turned one.
    xdo("windowfocus --sync " + id + " sleep 0.2 key ctrl+z");
    ASSERT_TRUE(waitFor([&] { return LastSum(output) == opened; }, 20)) << output;
    xdo("windowfocus --sync " + id + " sleep 0.2 key ctrl+y");
    ASSERT_TRUE(waitFor([&] { return LastSum(output) == turned; }, 20)) << output;

    // A picture on the clipboard from xclip, pasted as a layer.
    Child xclip;
    ASSERT_TRUE(xclip.Start({"xclip", "-display", xvfb.Name(), "-selection", "clipboard", "-t", "image/png", "-i",
                             "-quiet", pasted.string()},
                            Environment({}), -1));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    xdo("windowfocus --sync " + id + " sleep 0.2 key ctrl+v");
    ASSERT_TRUE(waitFor([&] { return output.find("name Paste") != std::string::npos; }, 20)) << output;
    drain(1000);

    // 200 % (1:1, then two steps in), then a Space-drag: the picture moves with the pointer.
    xdo("mousemove " + at(203, 104) + " sleep 0.3 click 1 sleep 0.6 mousemove " + at(203, 83) +
        " sleep 0.3 click 1 sleep 0.6 click 1 sleep 1.2 mousemove " + at(900, 300) + " sleep 0.5");
    Screenshot before;
    ASSERT_TRUE(TakeScreenshot(xvfb.Display(), before));
    xdo("windowfocus --sync " + id + " mousemove " + at(500, 400) + " sleep 0.2 keydown space sleep 0.2 mousedown 1 sleep 0.1 mousemove " +
        at(440, 360) + " sleep 0.1 mousemove " + at(380, 320) + " sleep 0.2 mouseup 1 sleep 0.1 keyup space sleep 0.3 mousemove " +
        at(900, 300) + " sleep 1");
    Screenshot panned;
    ASSERT_TRUE(TakeScreenshot(xvfb.Display(), panned));
    int moved = 0;
    for (int y = 140; y <= 480; y += 20)
        for (int x = 220; x <= 580; x += 20) {
            ASSERT_EQ(ShotPixel(panned, g.x + x, g.y + y), ShotPixel(before, g.x + x + 120, g.y + y + 80))
                << "panned by the drag at " << x << "," << y;
            moved += ShotPixel(panned, g.x + x, g.y + y) != ShotPixel(before, g.x + x, g.y + y);
        }
    EXPECT_GT(moved, 0) << "the picture moved";

    // The quick sharpen from the enhancement menu's sharpen sub-menu.
    xdo("mousemove " + at(100, 463) + " sleep 0.3 click 1 sleep 1 mousemove " + at(210, 262) + " sleep 0.2 mousemove " +
        at(216, 263) + " sleep 0.8 mousemove " + at(300, 263) + " sleep 0.1 mousemove " + at(397, 264) +
        " sleep 0.2 click 1");
    ASSERT_TRUE(waitFor([&] { return output.find(" tag 25 ") != std::string::npos; }, 30)) << output;
    drain(1000);
    ASSERT_TRUE(LastCanvas(output, c));
    EXPECT_NEAR(c.zoom, 2.0, 1e-6) << "the sharpen keeps the zoom";

    // Save as PNG through the built-in path question (the canvas strip's save button).
    auto save = [&](size_t questions) {
        xdo("mousemove " + at(261, 93) + " sleep 0.3 click 1");
        EXPECT_TRUE(waitFor([&] { return Count(output, "zendra: asking for a path to save") >= questions; }, 20)) << output;
        std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // the question fades in
        // The question starts with the photo's own path: replaced by the typed one.
        xdo("key ctrl+a BackSpace");
        xdo("type --delay 15 '" + saved.string() + "'");
        xdo("key Return");
    };
    save(1);
    ASSERT_TRUE(waitFor([&] { return fs::exists(saved); }, 30)) << output;
    drain(1500);
    ImageBuffer8 got, want;
    ASSERT_TRUE(CodecLoadImage8(got, saved.u16string().c_str()));
    ASSERT_TRUE(ExpectedPicture(fixture, pasted, want));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    EXPECT_EQ(std::memcmp(got.data, want.data, want.byteSize), 0) << "the saved pixels";
    FreeImageBuffer(got);
    FreeImageBuffer(want);
    const std::string first = ReadBytes(saved);

    // Saved again to that name, answered No: the file stays.
    save(2);
    ASSERT_TRUE(waitFor([&] { return Count(output, "zendra: asked ") >= 1; }, 20)) << output;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // the question fades in
    xdo("windowfocus --sync " + id + " sleep 0.2 key n");
    drain(1500);
    EXPECT_EQ(ReadBytes(saved), first);

    // The close asks nothing about the tab: what is on screen is on disk. (The window asks
    // whether to close the program: Yes.)
    xdo("mousemove " + at(g.width - 19, 15) + " sleep 0.3 click 1");
    ASSERT_TRUE(waitFor([&] { return Count(output, "zendra: asked ") >= 2; }, 20)) << output;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    xdo("windowfocus --sync " + id + " sleep 0.2 key y");
    int status = 0;
    if (!program.WaitExit(30, status)) {
        drain(200);
        FAIL() << "zendra did not end\n" << output;
    }
    drain(200);
    EXPECT_EQ(Count(output, "zendra: asking to close unsaved"), 0u) << output;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    close(out);
}
