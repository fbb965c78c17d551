// The running program under a private X server, driven by xdotool: a right click on the start
// card opens a menu, its first entry is chosen by a click, the message box it opens is answered
// with Y, then again with N, and the program reports each choice on its output.
#include "platform/tests/TestXServer.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace testx;

const std::string kProgram = std::string(ZENDRA_BINARY_DIR) + "/zendra/zendra";
const std::string kLeakSuppressions = std::string(ZENDRA_SOURCE_DIR) + "/app/tests/system-leaks.supp";

} // namespace

TEST(ZendraMenu, MenuChoiceOpensAMessageBoxWhoseAnswerComesBack)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    int outPipe[2];
    ASSERT_EQ(pipe(outPipe), 0);
    std::string lsan = "suppressions=" + kLeakSuppressions;
    if (const char* old = std::getenv("LSAN_OPTIONS"))
        lsan = std::string(old) + ":" + lsan;
    Child zendra;
    ASSERT_TRUE(zendra.Start({kProgram, "--backend=sdl"},
                             Environment({{"DISPLAY", xvfb.Name()}, {"ZENDRA_BACKEND", "sdl"}, {"LSAN_OPTIONS", lsan}}),
                             outPipe[1]));
    close(outPipe[1]);
    std::string output;
    ASSERT_TRUE(ReadUntil(outPipe[0], " ms", std::chrono::seconds(60), output)) << output;

    const std::string xdo = "env DISPLAY=" + xvfb.Name() + " xdotool";
    const std::string found = RunCapture(xdo + " search --onlyvisible --name '^Zendra$' 2>/dev/null | head -n 1");
    ASSERT_FALSE(found.empty());
    const std::string id = found.substr(0, found.find('\n'));
    const std::string geometry = RunCapture(xdo + " getwindowgeometry --shell " + id);
    auto field = [&](const char* name) {
        const size_t p = geometry.find(std::string(name) + "=");
        return p == std::string::npos ? -1 : std::atoi(geometry.c_str() + p + std::strlen(name) + 1);
    };
    const int wx = field("X"), wy = field("Y"), ww = field("WIDTH"), wh = field("HEIGHT");
    ASSERT_GT(ww, 0) << geometry;
    const int cardX = wx + (ww - 420) / 2, cardY = wy + (wh - 340) / 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    struct Case { const char* key; int result; };
    const Case cases[] = {{"y", 6}, {"n", 7}};
    for (const Case& c : cases) {
        // Right click on the card, clear of its buttons: the menu opens downwards at the pointer.
        const int mx = cardX + 30, my = cardY + 20;
        std::system((xdo + " mousemove " + std::to_string(mx) + " " + std::to_string(my) +
                     " sleep 0.3 click 3 sleep 0.8 >/dev/null 2>&1").c_str());
        // The first item lies 1 pixel below the anchor, 20 high.
        std::system((xdo + " mousemove " + std::to_string(mx + 40) + " " + std::to_string(my + 11) +
                     " sleep 0.3 click 1 >/dev/null 2>&1").c_str());
        std::string got;
        EXPECT_TRUE(ReadUntil(outPipe[0], "menu command", std::chrono::seconds(20), got)) << got;
        ASSERT_TRUE(ReadUntil(outPipe[0], "\n", std::chrono::seconds(5), got)) << got;
        EXPECT_NE(got.find("menu command 5"), std::string::npos) << got;
        std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // the box fades in
        std::system((xdo + " key " + c.key + " >/dev/null 2>&1").c_str());
        std::string answer;
        EXPECT_TRUE(ReadUntil(outPipe[0], "message box result", std::chrono::seconds(20), answer)) << answer;
        ASSERT_TRUE(ReadUntil(outPipe[0], "\n", std::chrono::seconds(5), answer)) << answer;
        EXPECT_NE(answer.find("message box result " + std::to_string(c.result)), std::string::npos) << answer;
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    close(outPipe[0]);

    const int cx = wx + ww - 29 + 10, cy = wy + 8 + 7;
    std::system((xdo + " mousemove " + std::to_string(cx) + " " + std::to_string(cy) + " sleep 0.3 click 1 >/dev/null 2>&1").c_str());
    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status)) << "zendra did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
