// The visual variants dialog end to end under a private X server, driven by xdotool: a photo of
// flat patches opened from the command line, the dialog from the exposure menu, the tile one
// contrast step to the right clicked, OK, a save as PNG whose pixels equal CVisual::ApplyTables
// run here with that step and the strength the dialog printed.
#include "algorithms/Visual.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

using namespace testx;

constexpr int kPatch = 200;
const uint8_t kColours[6][3] = {{200, 40, 30}, {30, 160, 60}, {40, 60, 210}, {230, 200, 40}, {120, 120, 120}, {20, 20, 20}};

// 600 x 400: three by two flat patches.
bool WriteFixture(const fs::path& path)
{
    ImageBuffer8 image;
    if (!AllocImage8(image, 3 * kPatch, 2 * kPatch))
        return false;
    for (int y = 0; y < int(image.height); ++y)
        for (int x = 0; x < int(image.width); ++x) {
            const uint8_t* c = kColours[x / kPatch + 3 * (y / kPatch)];
            uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
            p[0] = c[2]; // BGRA
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

struct GridReport {
    int left = 0, top = 0, right = 0, bottom = 0, pitch = 0, strength = 0, okX = 0, okY = 0;
};

bool LastGrid(const std::string& output, GridReport& r)
{
    const size_t at = output.rfind("zendra: visual grid ");
    return at != std::string::npos &&
           std::sscanf(output.c_str() + at, "zendra: visual grid %d,%d,%d,%d pitch %d strength %d ok %d,%d", &r.left,
                       &r.top, &r.right, &r.bottom, &r.pitch, &r.strength, &r.okX, &r.okY) == 8;
}

} // namespace

TEST(ZendraVisualVariantsEndToEnd, ATileClickedAndOkSavesWhatApplyTablesGives)
{
    BuildGammaTables();
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    zendratest::Home home; // Editor\AutoWizard 0
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
    const std::string id = zendratest::FindWindow(xvfb);
    ASSERT_FALSE(id.empty());
    const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
    ASSERT_GT(g.width, 0);
    auto at = [&](int x, int y) { return std::to_string(g.x + x) + " " + std::to_string(g.y + y); };
    auto xdo = [&](const std::string& commands) { zendratest::Xdo(xvfb, commands); };
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    // The exposure menu, then its "Visual exposure".
    xdo("mousemove " + at(100, 223) + " sleep 0.3 click 1 sleep 1 mousemove " + at(263, 335) + " sleep 0.3 click 1");
    ASSERT_TRUE(waitFor([&] { return output.find("zendra: visual grid ") != std::string::npos; }, 30)) << output;
    GridReport grid;
    ASSERT_TRUE(LastGrid(output, grid)) << output;
    ASSERT_GT(grid.pitch, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the first tiles drawn
    // The tile one contrast step to the right of the middle; the glide takes about ten frames.
    const int cx = (grid.left + grid.right) / 2 + grid.pitch, cy = (grid.top + grid.bottom) / 2;
    xdo("mousemove " + at(cx, cy) + " sleep 0.4 click 1 sleep 2");
    xdo("mousemove " + at(grid.okX, grid.okY) + " sleep 0.3 click 1");
    ASSERT_TRUE(waitFor([&] { return output.find("name Visual changes") != std::string::npos; }, 30)) << output;
    drain(1000);

    // Saved as PNG: ApplyTables with one contrast step on the fixture, flattened over white, dithered.
    xdo("mousemove " + at(261, 93) + " sleep 0.3 click 1");
    ASSERT_TRUE(waitFor([&] { return Count(output, "zendra: asking for a path to save") >= 1; }, 20)) << output;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    xdo("key ctrl+a BackSpace");
    xdo("type --delay 15 '" + saved.string() + "'");
    xdo("key Return");
    ASSERT_TRUE(waitFor([&] { return fs::exists(saved); }, 30)) << output;
    drain(1500);

    CZDDoc doc;
    ASSERT_TRUE(doc.OpenImage(fixture.u16string()));
    CZDLayer* layer = doc.GetCurrentLayer();
    ASSERT_NE(layer, nullptr);
    CVisual visual;
    visual.m_params.contrastSteps = 1;
    visual.m_params.strength = grid.strength;
    ImageBuffer16 result{};
    ASSERT_TRUE(visual.ApplyTables(layer->pixels, result));
    ASSERT_TRUE(CopyImage16(layer->pixels, result));
    FreeImageBuffer(result);
    ImageBuffer16 flat;
    ImageBuffer8 want, got;
    ASSERT_TRUE(doc.Flatten(flat, 0xFFFFFFFFFFFFFFFFull));
    ASSERT_TRUE(ConvertImage16To8Dithered(flat, want));
    ASSERT_TRUE(CodecLoadImage8(got, saved.u16string().c_str()));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    EXPECT_EQ(std::memcmp(got.data, want.data, want.byteSize), 0) << "the saved pixels";
    // And the step changed the picture.
    ImageBuffer8 opened;
    ASSERT_TRUE(CodecLoadImage8(opened, fixture.u16string().c_str()));
    EXPECT_NE(std::memcmp(got.data, opened.data, opened.byteSize), 0) << "one contrast step changes the photo";
    FreeImageBuffer(opened);
    FreeImageBuffer(flat);
    FreeImageBuffer(want);
    FreeImageBuffer(got);
    program.KillHard();
    close(out);
}
