// The brightness and contrast dialog end to end under a private X server, driven by xdotool: a
// photo of flat patches opened from the command line, the dialog from the exposure menu, its
// slider dragged (the after view's pixels at the patches' centres exact), OK, a save as PNG whose
// pixels equal the algorithm run here with the record the tab printed; then the dialog again,
// Apply, a second change and Cancel: a second save gives the same bytes as the first.
#include "algorithms/SchemeSteps.h"
#include "algorithms/ToneAdjust.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <variant>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace testx;

constexpr int kPatch = 300;
const uint8_t kColours[6][3] = {{200, 40, 30}, {30, 160, 60}, {40, 60, 210}, {230, 200, 40}, {120, 120, 120}, {250, 250, 250}};

// 900 x 600: three by two flat patches.
bool WriteFixture(const fs::path& path)
{
    ImageBuffer8 image;
    if (!AllocImage8(image, 3 * kPatch, 2 * kPatch))
        return false;
    for (int y = 0; y < int(image.height); ++y)
        for (int x = 0; x < int(image.width); ++x) {
            const uint8_t* c = kColours[x / kPatch + 3 * (y / kPatch)];
            uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
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

struct Preview {
    int left = 0, top = 0, sourceLeft = 0, sourceTop = 0;
    double zoom = 0;
};

// The last "zendra: preview shown l,t,r,b source l,t,r,b zoom Z" line.
bool LastPreview(const std::string& output, Preview& p)
{
    const size_t at = output.rfind("zendra: preview shown ");
    if (at == std::string::npos)
        return false;
    int l, t, r, b, sl, st, sr, sb;
    double z;
    if (std::sscanf(output.c_str() + at, "zendra: preview shown %d,%d,%d,%d source %d,%d,%d,%d zoom %lf", &l, &t, &r,
                    &b, &sl, &st, &sr, &sb, &z) != 9)
        return false;
    p = {l, t, sl, st, z};
    return true;
}

// The payload of the last step line of the given tag, as bytes.
std::vector<uint8_t> LastPayload(const std::string& output, unsigned tag)
{
    const std::string key = " tag " + std::to_string(tag) + " ";
    const size_t at = output.rfind(key);
    if (at == std::string::npos)
        return {};
    const size_t payload = output.find(" payload ", at);
    const size_t end = output.find('\n', at);
    if (payload == std::string::npos || payload > end)
        return {};
    const std::string hex = output.substr(payload + 9, end - payload - 9);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The fixture as the editor opens it, run through the brightness and contrast of the record.
bool RunDirectly(const fs::path& fixture, const BrightnessContrastParams& params, CZDDoc& doc)
{
    if (!doc.OpenImage(fixture.u16string()))
        return false;
    CZDLayer* layer = doc.GetCurrentLayer();
    ImageBuffer16 source;
    if (!layer || !CopyImage16(source, layer->pixels))
        return false;
    CBrightnessContrast algorithm;
    algorithm.SetSource(&source);
    algorithm.SetDestination(&layer->pixels);
    algorithm.SetParams(&params);
    const int ran = algorithm.Run();
    FreeImageBuffer(source);
    return ran > 0;
}

} // namespace

TEST(ZendraDialogEndToEnd, BrightnessContrastPreviewOkSaveAndApplyThenCancelKeepTheFile)
{
    BuildGammaTables();
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    zendratest::Home home; // Editor\AutoWizard 0
    const fs::path fixture = home.root / "fixture.png", saved = home.root / "saved.png",
                   again = home.root / "again.png";
    ASSERT_TRUE(WriteFixture(fixture));
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
    const std::string id = zendratest::FindWindow(xvfb);
    ASSERT_FALSE(id.empty());
    const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
    ASSERT_GT(g.width, 0);
    auto at = [&](int x, int y) { return std::to_string(g.x + x) + " " + std::to_string(g.y + y); };
    auto xdo = [&](const std::string& commands) { zendratest::Xdo(xvfb, commands); };
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    auto openDialog = [&] {
        // The exposure menu, then its "Brightness and contrast".
        xdo("mousemove " + at(100, 223) + " sleep 0.3 click 1 sleep 1 mousemove " + at(263, 365) +
            " sleep 0.3 click 1 sleep 2");
    };
    // Drags a slider's thumb (at its neutral place) to the right; returns once the previews stop.
    auto drag = [&](int y, int to) {
        const size_t before = Count(output, "zendra: preview shown");
        xdo("mousemove " + at(117, y) + " sleep 0.3 mousedown 1 sleep 0.2 mousemove " + at((117 + to) / 2, y) +
            " sleep 0.2 mousemove " + at(to, y) + " sleep 0.3 mouseup 1");
        EXPECT_TRUE(waitFor([&] { return Count(output, "zendra: preview shown") > before; }, 30)) << output;
        for (size_t n = 0; n != Count(output, "zendra: preview shown");) {
            n = Count(output, "zendra: preview shown");
            drain(1500);
        }
    };
    auto save = [&](const fs::path& path, size_t questions) {
        // The canvas strip's save button; the path question starts with the photo's own path.
        xdo("mousemove " + at(261, 93) + " sleep 0.3 click 1");
        EXPECT_TRUE(waitFor([&] { return Count(output, "zendra: asking for a path to save") >= questions; }, 20))
            << output;
        std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // the question fades in
        xdo("key ctrl+a BackSpace");
        xdo("type --delay 15 '" + path.string() + "'");
        xdo("key Return");
        EXPECT_TRUE(waitFor([&] { return fs::exists(path); }, 30)) << output;
        drain(1500);
    };

    openDialog();
    drag(151, 165);
    Preview view;
    ASSERT_TRUE(LastPreview(output, view)) << output;
    Screenshot shot;
    ASSERT_TRUE(TakeScreenshot(xvfb.Display(), shot));
    xdo("mousemove " + at(47, 567) + " sleep 0.3 click 1"); // OK
    ASSERT_TRUE(waitFor([&] { return output.find(" tag 18 ") != std::string::npos; }, 20)) << output;
    drain(1000);
    const std::vector<uint8_t> record = LastPayload(output, 18);
    SchemeStepRecord read;
    ASSERT_EQ(ReadSchemeStep(18, record.data(), record.size(), read), StepReadResult::Ok) << output;
    const BrightnessContrastParams* params = std::get_if<BrightnessContrastParams>(&read);
    ASSERT_NE(params, nullptr);
    EXPECT_GT(params->brightness, 0) << "the drag to the right brightens";
    EXPECT_EQ(params->contrast, 0);

    CZDDoc doc;
    ASSERT_TRUE(RunDirectly(fixture, *params, doc));
    const ImageBuffer16& direct = doc.GetCurrentLayer()->pixels;
    // The after view at each patch's centre: the direct result shown the way the view shows it.
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 3; ++i) {
            const int px = kPatch / 2 + kPatch * i, py = kPatch / 2 + kPatch * j;
            ImageBuffer16 flat;
            ImageBuffer8 shown;
            ASSERT_TRUE(AllocImage16(flat, 4, 4));
            for (uint32_t k = 0; k < flat.pixelCount; ++k)
                std::memcpy(flat.data + size_t(k) * 4, direct.data + (size_t(py) * direct.width + px) * 4, 8);
            ASSERT_TRUE(ResizeImage16To8(flat, shown, 4, 4, 1));
            const uint8_t* b = shown.data; // BGRA
            const uint32_t want = uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
            const uint8_t* c = kColours[i + 3 * j];
            const uint32_t opened = uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
            const int sx = g.x + view.left + int((px - view.sourceLeft + 0.5) * view.zoom);
            const int sy = g.y + view.top + int((py - view.sourceTop + 0.5) * view.zoom);
            EXPECT_EQ(ShotPixel(shot, sx, sy), want) << "patch " << i << "," << j << " at " << sx << "," << sy;
            if (i + 3 * j < 5) { // the near-white patch may reach white
                EXPECT_NE(want, opened) << "patch " << i << "," << j << " changes";
            }
            FreeImageBuffer(flat);
            FreeImageBuffer(shown);
        }

    // Saved as PNG: the direct result flattened over white, dithered.
    save(saved, 1);
    ImageBuffer16 flat;
    ImageBuffer8 want, got;
    ASSERT_TRUE(doc.Flatten(flat, 0xFFFFFFFFFFFFFFFFull)); // opaque white
    ASSERT_TRUE(ConvertImage16To8Dithered(flat, want));
    ASSERT_TRUE(CodecLoadImage8(got, saved.u16string().c_str()));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    EXPECT_EQ(std::memcmp(got.data, want.data, want.byteSize), 0) << "the saved pixels";
    FreeImageBuffer(flat);
    FreeImageBuffer(want);
    FreeImageBuffer(got);
    const std::string afterOk = LastSum(output);

    // Again: a change applied, a second change, Cancel: the photo is as the OK left it.
    openDialog();
    drag(151, 150);
    xdo("mousemove " + at(212, 567) + " sleep 0.3 click 1 sleep 1.5"); // Apply
    drag(207, 150);
    xdo("mousemove " + at(128, 567) + " sleep 0.3 click 1"); // Cancel
    drain(2000);
    save(again, 2);
    EXPECT_EQ(LastSum(output), afterOk) << "the tab shows the photo as the OK left it";
    const std::string first = ReadBytes(saved);
    EXPECT_FALSE(first.empty());
    EXPECT_TRUE(ReadBytes(again) == first) << "the second file is byte-identical to the first";

    program.KillHard();
    close(out);
}
