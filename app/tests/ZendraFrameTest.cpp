// The main window's own frame under a private X server without a window manager: a double click
// on the title asks the window system to restore or maximise (seen as _NET_WM_STATE requests on
// the root window), a drag on the title moves the window by the pointer's travel, and the
// program's clipboard is the X11 one (a photo copied in the grid is a file list for xclip).
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <cstdio>

namespace {

using namespace testx;

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

} // namespace

TEST(ZendraFrame, TitleDoubleClickAsksForMaximiseAndTitleDragMovesTheWindow)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    const std::string displayName = xvfb.Name();
    // Requests to the window manager go to the root window; xev listening there sees them (line
    // buffered: its output goes to a pipe).
    int evPipe[2];
    ASSERT_EQ(pipe(evPipe), 0);
    Child xev;
    ASSERT_TRUE(xev.Start({"stdbuf", "-oL", "xev", "-display", displayName, "-root", "-event", "substructure"}, Environment({}),
                          evPipe[1]));
    close(evPipe[1]);
    std::string events;
    // It prints nothing until an event comes: give it time to select its events.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    int outPipe[2] = {-1, -1};
    Child zendra;
    zendratest::Home home;
    const std::filesystem::path photo = home.Pictures() / "p.jpg";
    ASSERT_EQ(std::system(("convert -size 64x48 gradient:white-black " + photo.string()).c_str()), 0);
    ASSERT_TRUE(zendratest::StartOn(xvfb, zendra, outPipe[0], {}, &home));
    std::string output;
    ASSERT_TRUE(ReadUntil(outPipe[0], " ms", std::chrono::seconds(60), output)) << output;

    const std::string xdo = "env DISPLAY=" + displayName + " xdotool";
    const std::string id = zendratest::FindWindow(xvfb);
    ASSERT_FALSE(id.empty());
    auto geometry = [&](int& x, int& y) {
        const std::string g = RunCapture(xdo + " getwindowgeometry --shell " + id);
        auto field = [&](const char* name) {
            const size_t p = g.find(std::string("\n") + name + "=");
            return p == std::string::npos ? -1 : std::atoi(g.c_str() + p + std::strlen(name) + 2);
        };
        x = field("X");
        y = field("Y");
    };
    int wx = 0, wy = 0;
    geometry(wx, wy);
    ASSERT_GE(wx, 0);
    const std::string kState = "(_NET_WM_STATE)";
    const size_t before = CountOf(events, kState);
    auto run = [&](const std::string& commands) {
        std::system((xdo + " " + commands + " >/dev/null 2>&1").c_str());
    };
    auto at = [](int x, int y) { return std::to_string(x) + " " + std::to_string(y); };
    // The window was asked to open maximised; without a window manager it stays where it is, so
    // the first double click asks to restore, the second to maximise again.
    for (int request = 1; request <= 2; ++request) {
        run("mousemove " + at(wx + 300, wy + 12) + " sleep 0.3 click --repeat 2 --delay 80 1 sleep 0.3");
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (CountOf(events, kState) < before + request && Clock::now() < end) {
            std::string more;
            ReadUntil(evPipe[0], kState, std::chrono::milliseconds(200), more);
            events += more;
        }
        EXPECT_EQ(CountOf(events, kState), before + request) << "double click " << request;
        if (request == 1) {
            // Restored: a drag on the title by (40, 30) moves the window by as much.
            run("mousemove " + at(wx + 300, wy + 12) + " sleep 0.3 mousedown 1 sleep 0.1 mousemove " +
                at(wx + 320, wy + 20) + " sleep 0.1 mousemove " + at(wx + 340, wy + 42) + " sleep 0.3 mouseup 1 sleep 0.3");
            int nx = 0, ny = 0;
            for (int attempt = 0; attempt < 20; ++attempt) {
                geometry(nx, ny);
                if (nx == wx + 40 && ny == wy + 30)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            EXPECT_EQ(nx, wx + 40);
            EXPECT_EQ(ny, wy + 30);
            std::printf("title drag moved the window from (%d, %d) to (%d, %d)\n", wx, wy, nx, ny);
            wx = nx;
            wy = ny;
            // The release ended the drag: moving the pointer alone no longer moves the window.
            run("mousemove " + at(wx + 500, wy + 300) + " sleep 0.3");
            geometry(nx, ny);
            EXPECT_EQ(nx, wx);
            EXPECT_EQ(ny, wy);
        }
    }
    close(evPipe[0]);

    // Ctrl+C on the album's grid copies the selected photo (its cell after ".." at (300, 70) of
    // the page at (13, 74)) as a file list other programs (xclip, file managers) paste.
    run("mousemove " + at(wx + 13 + 300 + 110 + 55, wy + 74 + 70 + 65) + " sleep 0.3 click 1 sleep 0.5");
    run("windowfocus --sync " + id + " sleep 0.2 key ctrl+c");
    std::string copied;
    EXPECT_TRUE(ReadUntil(outPipe[0], "copied 1 files", std::chrono::seconds(10), copied)) << copied;
    const std::string pasted =
        RunCapture("env DISPLAY=" + displayName + " xclip -o -selection clipboard -t text/uri-list 2>&1");
    EXPECT_NE(pasted.find("file://" + photo.string()), std::string::npos) << pasted;

    // The frame's close button (21 x 15 at width - 29, 8) asks; Yes ends the program.
    const std::string g = RunCapture(xdo + " getwindowgeometry --shell " + id);
    const size_t wp = g.find("WIDTH=");
    ASSERT_NE(wp, std::string::npos);
    const int ww = std::atoi(g.c_str() + wp + 6);
    run("mousemove " + at(wx + ww - 29 + 10, wy + 8 + 7) + " sleep 0.3 click 1 sleep 1.2 key y");
    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status)) << "zendra did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    close(outPipe[0]);
}
