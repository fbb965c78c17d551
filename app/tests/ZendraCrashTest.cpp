// Crash recovery of the whole program under a private X server: a run opens one photo from the
// command line and a second from the album's grid (its cell, then the edit button), turns the second a quarter, and is killed with SIGKILL. The next run asks
// "crashfound"; Yes brings both tabs back with the exact pixels of their last history step, the
// turned one with its undo step, both unsaved.
// The program's test hook ZENDRA_REPORT_PIXELS prints a checksum of every document it shows
// ("zendra: tab <path> <w>x<h> <sum>"); a screenshot is scaled and could not prove exactness.
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/Text.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

using namespace testx;
using zendratest::Killable;

std::string MakePhoto(const fs::path& path, int w, int h, int seed)
{
    ImageBuffer8 image;
    if (!AllocImage8(image, w, h))
        return {};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.data + (size_t(y) * w + x) * 4;
            p[0] = uint8_t(x * 7 + seed);
            p[1] = uint8_t(y * 5 + seed * 3);
            p[2] = uint8_t((x ^ y) + seed);
            p[3] = 255;
        }
    const bool ok = CodecSaveImage8(image, path.u16string().c_str(), false) != 0;
    FreeImageBuffer(image);
    return ok ? path.string() : std::string();
}

// The last "zendra: tab <path> <size> <sum>" line of each path in the output.
std::map<std::string, std::string> LastSums(const std::string& output)
{
    std::map<std::string, std::string> sums;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find("zendra: tab ");
        if (at == std::string::npos)
            continue;
        std::istringstream fields(line.substr(at + 12));
        std::string path, size, sum;
        if (fields >> path >> size >> sum)
            sums[path] = size + " " + sum;
    }
    return sums;
}

// Reads the output for a while, collecting it.
void Drain(int fd, std::string& all, int ms)
{
    std::string more;
    ReadUntil(fd, "\x01never", std::chrono::milliseconds(ms), more);
    all += more;
}

} // namespace

TEST(ZendraCrash, KilledRunComesBackWithTheExactPixelsOfEachTabsLastStep)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    // The server ends with its last client: a watcher keeps it up across the kill.
    Child keeper;
    ASSERT_TRUE(keeper.Start({"xev", "-display", xvfb.Name(), "-root"}, Environment({}), -1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    zendratest::Home home;
    const fs::path photos = home.Pictures();
    const std::string a = MakePhoto(photos / "a.jpg", 320, 240, 1);
    const std::string b = MakePhoto(photos / "b.png", 200, 150, 2);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    const auto env = zendratest::ProgramEnvironment(xvfb, home, {{"ZENDRA_REPORT_PIXELS", "1"}, {"ZENDRA_CHOOSER", "builtin"}});

    std::map<std::string, std::string> before;
    std::string opened;
    {
        Killable first;
        int out = -1;
        ASSERT_TRUE(first.Start({zendratest::kProgram, "--backend=sdl", "o", a}, env, out));
        std::string output;
        // The photo's tab is there once the program says it is shown (a busy machine may take
        // seconds after the first frame).
        ASSERT_TRUE(ReadUntil(out, "zendra: photo shown", std::chrono::seconds(60), output)) << output;
        const std::string id = zendratest::FindWindow(xvfb);
        ASSERT_FALSE(id.empty());
        const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
        ASSERT_GT(g.width, 0);
        ASSERT_EQ(LastSums(output).count(a), 1u) << output;

        // The album's tab (the strip's first, from x 150), then b's cell in the grid (after ".."
        // and a: the third cell, 110 x 130 each, the grid at (300, 70) of the page at (13, 74)),
        // then the edit button (the panel's third, 140-210).
        auto click = [&](int x, int y) {
            zendratest::Xdo(xvfb, "mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.3 click 1 sleep 0.5");
        };
        // A busy machine may drop a click (the tab's cross-fade, the press before the window
        // is active): try again until the photo is shown.
        for (int attempt = 0; attempt < 3 && !LastSums(output).count(b); ++attempt) {
            click(g.x + 3 + 150 + 40, g.y + 40 + 16);
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            click(g.x + 13 + 300 + 2 * 110 + 55, g.y + 74 + 70 + 65);
            click(g.x + 13 + 300 + 175, g.y + 74 + 35);
            for (int i = 0; i < 20 && !LastSums(output).count(b); ++i)
                Drain(out, output, 250);
        }
        for (int i = 0; i < 240 && !LastSums(output).count(b); ++i)
            Drain(out, output, 250);
        ASSERT_EQ(LastSums(output).count(b), 1u) << output;
        opened = LastSums(output)[b];

        // A quarter turn of b: its last step is no longer the open step.
        zendratest::Xdo(xvfb, "windowfocus --sync " + id + " sleep 0.2 key ctrl+r");
        for (int i = 0; i < 240 && LastSums(output)[b] == opened; ++i)
            Drain(out, output, 250);
        before = LastSums(output);
        ASSERT_NE(before[b], opened) << output;
        EXPECT_EQ(before[b].substr(0, 7), "150x200") << "turned";
        // The turned picture was shown after its step was in the crash-status file: end without
        // warning at once.
        first.KillHard();
        close(out);
    }

    Killable second;
    int out = -1;
    ASSERT_TRUE(second.Start({zendratest::kProgram, "--backend=sdl"}, env, out));
    std::string output;
    // The "crashfound" question: Yes (to the window, which has the keyboard once focused) once
    // the program says it asks; the box takes the key from its own loop.
    ASSERT_TRUE(ReadUntil(out, "zendra: asking whether to recover", std::chrono::seconds(60), output)) << output;
    std::string id;
    for (int i = 0; i < 300 && id.empty(); ++i) {
        id = zendratest::FindWindow(xvfb);
        if (id.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_FALSE(id.empty()) << output;
    zendratest::Xdo(xvfb, "windowfocus --sync " + id + " key y");
    for (int i = 0; i < 240 && output.find("zendra: recovered ") == std::string::npos; ++i)
        Drain(out, output, 250);
    const std::map<std::string, std::string> after = LastSums(output);
    ASSERT_EQ(after.size(), 2u) << output;
    EXPECT_EQ(after.at(a), before.at(a)) << "the photo as opened";
    EXPECT_EQ(after.at(b), before.at(b)) << "the photo after its turn";
    // The recovered tab (the last, shown) keeps its undo step: Ctrl+Z gives the photo as opened.
    zendratest::Xdo(xvfb, "windowfocus --sync " + id + " sleep 0.2 key ctrl+z");
    for (int i = 0; i < 240 && LastSums(output)[b] != opened; ++i)
        Drain(out, output, 250);
    EXPECT_EQ(LastSums(output)[b], opened) << output;

    // A normal close ends with 0 once both recovered tabs, unsaved, were let go.
    const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = output.find(what); at != std::string::npos; at = output.find(what, at + 1))
            ++n;
        return n;
    };
    // Each answer once the program says it asks.
    const size_t asked = count("zendra: asked ");
    zendratest::Xdo(xvfb, "mousemove " + std::to_string(g.x + g.width - 19) + " " + std::to_string(g.y + 15) +
                              " sleep 0.3 click 1");
    for (int i = 0; i < 240 && count("zendra: asked ") == asked; ++i)
        Drain(out, output, 250);
    ASSERT_GT(count("zendra: asked "), asked) << output;
    zendratest::Xdo(xvfb, "windowfocus --sync " + id + " key y");
    for (size_t tab = 1; tab <= 2; ++tab) {
        for (int i = 0; i < 240 && count("zendra: asking to close unsaved") < tab; ++i)
            Drain(out, output, 250);
        ASSERT_EQ(count("zendra: asking to close unsaved"), tab) << output;
        zendratest::Xdo(xvfb, "windowfocus --sync " + id + " key n"); // close without saving
    }
    int status = 0;
    ASSERT_TRUE(second.WaitExit(60, status)) << "zendra did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    close(out);
}
