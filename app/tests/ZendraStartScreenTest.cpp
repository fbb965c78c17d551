// The program's start under a private X server: the render thread draws the frame and the start
// screen, a click on a button shows the busy ring, the settings dialog from its compiled template
// takes a tick and OK (seen in the program's output and on the screen), and the close button
// ends the program.
#include "platform/DialogTemplate.h"
#include "platform/Text.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace testx;

struct Seen {
    size_t card = 0;   // the start card's grey 0x262626
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
            s.card += r == 0x26 && g == 0x26 && b == 0x26;
            s.accent += std::abs(r - 70) < 12 && std::abs(g - 130) < 12 && std::abs(b - 200) < 12;
            s.light += r > 150 && g > 150 && b > 150;
        }
    return s;
}

} // namespace

TEST(ZendraStartScreen, DrawsTheCardShowsTheRingRunsADialogAndClosesByItsButton)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    const std::string displayName = xvfb.Name();
    int outPipe[2] = {-1, -1};
    Child zendra;
    ASSERT_TRUE(zendratest::StartOn(xvfb, zendra, outPipe[0]));
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
    const std::string geometry = RunCapture(xdo + " getwindowgeometry --shell " + id);
    auto field = [&](const char* name) {
        const size_t p = geometry.find(std::string(name) + "=");
        return p == std::string::npos ? -1 : std::atoi(geometry.c_str() + p + std::strlen(name) + 1);
    };
    const int wx = field("X"), wy = field("Y"), ww = field("WIDTH"), wh = field("HEIGHT");
    ASSERT_GT(ww, 0) << geometry;
    EXPECT_EQ(ww, shownW);
    EXPECT_EQ(wh, shownH);

    // The card sits in the middle: 420 x 340, buttons 220 x 34 at 150, 194, 238 and 282 from its top.
    const int cardX = wx + (ww - 420) / 2, cardY = wy + (wh - 340) / 2;
    Screenshot shot;
    Seen card;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (TakeScreenshot(xvfb.Display(), shot)) {
            card = Count(shot, cardX, cardY, cardX + 420, cardY + 340);
            if (card.card > 40000)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_GT(card.card, 40000u) << "the start card is not on the screen";
    EXPECT_GT(card.accent, 60u) << "the title mark";
    EXPECT_GT(Count(shot, wx, wy, wx + 200, wy + 30).light, 30u) << "the title band's text";

    // "Show the busy ring": the ring appears beside the card.
    const int bx = cardX + 210, by = cardY + 167;
    std::system((xdo + " mousemove " + std::to_string(bx) + " " + std::to_string(by) + " sleep 0.3 click 1 >/dev/null 2>&1").c_str());
    size_t ring = 0;
    for (int attempt = 0; attempt < 20 && ring < 500; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (TakeScreenshot(xvfb.Display(), shot))
            ring = Count(shot, cardX + 420 + 32, cardY + 100, cardX + 420 + 128, cardY + 196).light;
    }
    EXPECT_GT(ring, 500u) << "no busy ring after the click";
    std::system((xdo + " mousemove " + std::to_string(bx) + " " + std::to_string(by) + " sleep 0.3 click 1 >/dev/null 2>&1").c_str());

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
    clickAt(cardX + 210, cardY + 255);
    std::this_thread::sleep_for(std::chrono::milliseconds(800)); // the fade-in
    // The box is not ticked at first (the screen's state is 0), then a click ticks it.
    ASSERT_TRUE(TakeScreenshot(xvfb.Display(), shot));
    EXPECT_LT(Count(shot, dx + animate.left, dy + animate.top, dx + animate.left + 24, dy + animate.bottom).accent, 20u)
        << "ticked before the click";
    clickAt(dx + animate.left + 10, dy + (animate.top + animate.bottom) / 2);
    size_t ticked = 0;
    for (int attempt = 0; attempt < 20 && ticked < 60; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (TakeScreenshot(xvfb.Display(), shot))
            ticked = Count(shot, dx + animate.left, dy + animate.top, dx + animate.left + 24, dy + animate.bottom).accent;
    }
    EXPECT_GE(ticked, 60u) << "the check box does not show its tick";
    // The dialog's texts come from the string table: "Settings" in the title band is light text.
    EXPECT_GT(Count(shot, dx, dy - 30, dx + 120, dy - 8).light, 30u) << "the dialog's caption";
    clickAt(dx + (ok.left + ok.right) / 2, dy + (ok.top + ok.bottom) / 2);
    std::string result;
    EXPECT_TRUE(ReadUntil(outPipe[0], "settings", std::chrono::seconds(20), result)) << result;
    ReadUntil(outPipe[0], "\n", std::chrono::seconds(2), result);
    EXPECT_NE(result.find("dialog result 1, settings 1 1 0 1"), std::string::npos) << result;
    close(outPipe[0]);

    // The frame's close button (21 x 15 at width - 29, 8) ends the program.
    const int cx = wx + ww - 29 + 10, cy = wy + 8 + 7;
    std::system((xdo + " mousemove " + std::to_string(cx) + " " + std::to_string(cy) + " sleep 0.3 click 1 >/dev/null 2>&1").c_str());
    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status)) << "zendra did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
