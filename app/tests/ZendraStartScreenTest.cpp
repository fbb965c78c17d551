// The program's start under a private X server: the render thread draws the frame, the tab strip
// and the album's page, the album's Settings button runs the settings dialog from its compiled
// template, which takes a click on its first box and OK (seen in the program's output and on the
// screen), and the close button asks and then ends the program.
#include "platform/DialogTemplate.h"
#include "platform/Text.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

using namespace testx;

struct Seen {
    size_t card = 0;   // the album grid's black background
    size_t accent = 0; // the muted blue of the title mark
    size_t light = 0;  // near-white: text, the busy ring's bands
};

Seen Count(const Screenshot& shot, int x0, int y0, int x1, int y1)
{
    Seen s;
    for (int y = y0; y < y1 && y < shot.height; ++y)
        for (int x = x0; x < x1 && x < shot.width; ++x) {
            const size_t i = (size_t(y) * shot.width + x) * 3;
            const int r = shot.rgb[i], g = shot.rgb[i + 1], b = shot.rgb[i + 2];
            s.card += r == 0 && g == 0 && b == 0;
            s.accent += std::abs(r - 70) < 12 && std::abs(g - 130) < 12 && std::abs(b - 200) < 12;
            s.light += r > 150 && g > 150 && b > 150;
        }
    return s;
}

} // namespace

TEST(ZendraStartScreen, DrawsTheAlbumPageRunsTheSettingsDialogAndClosesByItsButton)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    const std::string displayName = xvfb.Name();
    int outPipe[2] = {-1, -1};
    Child zendra;
    zendratest::Home home;
    home.Pictures();
    ASSERT_TRUE(zendratest::StartOn(xvfb, zendra, outPipe[0], {}, &home));
    std::string output;
    ASSERT_TRUE(ReadUntil(outPipe[0], " ms", std::chrono::seconds(60), output)) << output;
    int shownW = 0, shownH = 0, ms = -1;
    const size_t at = output.find("presented ");
    ASSERT_NE(at, std::string::npos) << output;
    ASSERT_EQ(std::sscanf(output.c_str() + at, "presented %dx%d in %d ms", &shownW, &shownH, &ms), 3) << output;
    std::printf("first frame after %d ms\n", ms);

    const std::string xdo = "env DISPLAY=" + displayName + " xdotool";
    const std::string id = zendratest::FindWindow(xvfb);
    ASSERT_FALSE(id.empty());
    const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
    const int wx = g.x, wy = g.y, ww = g.width, wh = g.height;
    ASSERT_GT(ww, 0);
    EXPECT_EQ(ww, shownW);
    EXPECT_EQ(wh, shownH);

    // The album page fills the strip's page area: (3, 40) + (10, 34), down to 10 above the
    // strip's bottom; its grid lies at (300, 70) of the page, black where no cell is.
    const int px = wx + 13, py = wy + 74, pw = ww - 6 - 20, ph = wh - 45 - 44;
    Screenshot shot;
    Seen card;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (TakeScreenshot(xvfb.Display(), shot)) {
            card = Count(shot, px + 300, py + 70, px + pw, py + ph);
            if (card.card > 40000)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_GT(card.card, 40000u) << "the album page is not on the screen";
    EXPECT_GT(Count(shot, wx, wy, wx + 200, wy + 30).light, 30u) << "the title band's text";
    // The album's tab at the strip's start (x 150 of the strip) carries its light title and the
    // accent line of the current tab.
    const Seen tab = Count(shot, wx + 3 + 150, wy + 40, wx + 3 + 150 + 120, wy + 40 + 32);
    EXPECT_GT(tab.light, 20u) << "the album tab's title";
    EXPECT_GT(tab.accent, 20u) << "the current tab's mark";
    // "Settings..." is the first entry of the album menu's program sub-menu: the menu button is
    // the tool panel's first (0-70 at (300, 0) of the page); the menu opens at (75, 35) of the
    // panel, its second row (at 21-40) opens the sub-menu beside it, 170 pixels to the right.
    const int menuX = px + 300 + 35, menuY = py + 35;
    const int programX = px + 300 + 75 + 40, programY = py + 35 + 1 + 30;
    const int settingsX = px + 300 + 75 + 170 + 40, settingsY = programY;

    // "Open a dialog": the settings dialog from its compiled template in the program folder,
    // laid out here the way the program lays it out (the template's font at 96 pixels per inch,
    // a 25-pixel title bar, controls 30 pixels down), centred in the window.
    auto t = platform::DialogTemplate::Load(platform::Utf8ToUtf16(std::string(ZENDRA_BINARY_DIR) + "/zendra/dialogs"),
                                            208);
    ASSERT_TRUE(t) << "no compiled template 208";
    ASSERT_TRUE(t->ApplyTemplateFont(96.0));
    auto controlAt = [&](uint32_t id) {
        for (size_t i = 0; i < t->Items().size(); ++i)
            if (t->Items()[i].id == id)
                return t->ItemRect(i);
        ADD_FAILURE() << "no control " << id;
        return platform::PixelRect{};
    };
    auto clickAt = [&](int x, int y) {
        std::system((xdo + " mousemove " + std::to_string(x) + " " + std::to_string(y) +
                     " sleep 0.3 click 1 sleep 0.3 >/dev/null 2>&1").c_str());
    };
    const int dw = t->ClientWidth(), dh = t->ClientHeight() + 25;
    const int dx = wx + (ww - dw) / 2, dy = wy + (wh - dh) / 2 + 30;
    const platform::PixelRect animate = controlAt(1219), ok = controlAt(1);
    clickAt(menuX, menuY);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::system((xdo + " mousemove " + std::to_string(programX) + " " + std::to_string(programY) +
                 " sleep 1.2 >/dev/null 2>&1").c_str());
    clickAt(settingsX, settingsY);
    std::this_thread::sleep_for(std::chrono::milliseconds(800)); // the fade-in
    // Animations are on by default, so the box is ticked at first; a click clears it.
    size_t ticked = 0;
    for (int attempt = 0; attempt < 20 && ticked < 60; ++attempt) {
        if (TakeScreenshot(xvfb.Display(), shot))
            ticked = Count(shot, dx + animate.left, dy + animate.top, dx + animate.left + 24, dy + animate.bottom).accent;
        if (ticked < 60)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_GE(ticked, 60u) << "the check box does not show its tick";
    clickAt(dx + animate.left + 10, dy + (animate.top + animate.bottom) / 2);
    for (int attempt = 0; attempt < 20 && ticked >= 20; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (TakeScreenshot(xvfb.Display(), shot))
            ticked = Count(shot, dx + animate.left, dy + animate.top, dx + animate.left + 24, dy + animate.bottom).accent;
    }
    EXPECT_LT(ticked, 20u) << "the click does not clear the tick";
    // The dialog's texts come from the string table: "Settings" in the title band is light text.
    EXPECT_GT(Count(shot, dx, dy - 30, dx + 120, dy - 8).light, 30u) << "the dialog's caption";
    clickAt(dx + (ok.left + ok.right) / 2, dy + (ok.top + ok.bottom) / 2);
    std::string result;
    EXPECT_TRUE(ReadUntil(outPipe[0], "settings result", std::chrono::seconds(20), result)) << result;
    ReadUntil(outPipe[0], "\n", std::chrono::seconds(2), result);
    EXPECT_NE(result.find("settings result 1, animation 0"), std::string::npos) << result;

    // The frame's close button (21 x 15 at width - 29, 8) asks; Yes ends the program.
    const int cx = wx + ww - 29 + 10, cy = wy + 8 + 7;
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    std::system((xdo + " mousemove " + std::to_string(cx) + " " + std::to_string(cy) + " sleep 0.3 click 1 >/dev/null 2>&1").c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::system((xdo + " key y >/dev/null 2>&1").c_str());
    EXPECT_TRUE(ReadUntil(outPipe[0], "message box result 6", std::chrono::seconds(20), result)) << result;
    close(outPipe[0]);
    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status)) << "zendra did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
