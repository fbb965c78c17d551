// The running program under a private X server, driven by xdotool: a right click on the album's
// grid opens the photo menu, an entry is chosen by a click and reported; then the close question
// is answered with N (the program goes on), and again with Y (it ends with exit code 0).
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace testx;

} // namespace

TEST(ZendraMenu, MenuChoiceIsReportedAndTheCloseQuestionsAnswerComesBack)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    zendratest::Home home;
    home.Pictures();
    int outPipe[2];
    ASSERT_EQ(pipe(outPipe), 0);
    Child zendra;
    ASSERT_TRUE(zendra.Start({zendratest::kProgram, "--backend=sdl"},
                             zendratest::ProgramEnvironment(xvfb, home, {{"ZENDRA_CHOOSER", "builtin"}}), outPipe[1]));
    close(outPipe[1]);
    std::string output;
    ASSERT_TRUE(ReadUntil(outPipe[0], " ms", std::chrono::seconds(60), output)) << output;

    const std::string id = zendratest::FindWindow(xvfb);
    ASSERT_FALSE(id.empty());
    const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
    ASSERT_GT(g.width, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // Right click on the album's grid (at (300, 70) of the page at (13, 74)), clear of its
    // cells: the photo menu opens downwards at the pointer, its first item 1 pixel below the
    // anchor; "Rotate as Exif" (always enabled) is the fourth item after the first separator:
    // 3 items of 20, a separator of 10, 3 items of 20 above it.
    const int mx = g.x + 13 + 300 + 400, my = g.y + 74 + 70 + 5;
    zendratest::Xdo(xvfb, "mousemove " + std::to_string(mx) + " " + std::to_string(my) + " sleep 0.3 click 3 sleep 0.8");
    zendratest::Xdo(xvfb, "mousemove " + std::to_string(mx + 40) + " " + std::to_string(my + 1 + 130 + 10) + " sleep 0.3 click 1");
    std::string got;
    EXPECT_TRUE(ReadUntil(outPipe[0], "menu command", std::chrono::seconds(20), got)) << got;
    ASSERT_TRUE(ReadUntil(outPipe[0], "\n", std::chrono::seconds(5), got)) << got;
    EXPECT_NE(got.find("menu command 106"), std::string::npos) << got;
    std::this_thread::sleep_for(std::chrono::milliseconds(800));

    struct Case { const char* key; int result; };
    const Case cases[] = {{"n", 7}, {"y", 6}};
    const int cx = g.x + g.width - 29 + 10, cy = g.y + 8 + 7;
    for (const Case& c : cases) {
        // On a busy machine the click can come while the last box is still fading out: ask
        // again until the answer is reported (at most three times).
        std::string answer;
        bool answered = false;
        for (int attempt = 0; attempt < 3 && !answered; ++attempt) {
            zendratest::Xdo(xvfb, "windowfocus --sync " + id + " mousemove " + std::to_string(cx) + " " +
                                      std::to_string(cy) + " sleep 0.3 click 1");
            std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the box fades in
            zendratest::Xdo(xvfb, std::string("key ") + c.key);
            answered = ReadUntil(outPipe[0], "message box result", std::chrono::seconds(10), answer);
        }
        EXPECT_TRUE(answered) << answer;
        ASSERT_TRUE(ReadUntil(outPipe[0], "\n", std::chrono::seconds(5), answer)) << answer;
        EXPECT_NE(answer.find("message box result " + std::to_string(c.result)), std::string::npos) << answer;
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    close(outPipe[0]);
    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status)) << "zendra did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
