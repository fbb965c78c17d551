// Starts the program's platform test pattern (--platform-demo) on a private X server, looks at
// the screen and closes it with a key.
#include "platform/tests/TestXServer.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

namespace {

using namespace testx;

const std::string kProgram = std::string(ZENDRA_BINARY_DIR) + "/zendra/zendra";
// System libraries that SDL initialises leak a little at exit (libdbus); not ours to fix.
const std::string kLeakSuppressions = std::string(ZENDRA_SOURCE_DIR) + "/app/tests/system-leaks.supp";

struct Findings {
    size_t red = 0, green = 0, blue = 0, yellow = 0, white = 0, grey = 0;
    bool PatternSeen() const { return red > 5000 && green > 5000 && blue > 5000 && yellow > 5000; }
    bool TextSeen() const { return white > 50 && grey > 20; }
};

Findings Look(const Screenshot& shot)
{
    Findings f;
    for (size_t i = 0; i + 2 < shot.rgb.size(); i += 3) {
        const int r = shot.rgb[i], g = shot.rgb[i + 1], b = shot.rgb[i + 2];
        f.red += r == 255 && g == 0 && b == 0;
        f.green += r == 0 && g == 255 && b == 0;
        f.blue += r == 0 && g == 0 && b == 255;
        f.yellow += r == 255 && g == 255 && b == 0;
        f.white += r >= 250 && g >= 250 && b >= 250;
        // Anti-aliased text edges: white over black gives greys.
        f.grey += r == g && g == b && r >= 40 && r <= 200;
    }
    return f;
}

// What a window manager sends when the user clicks the close button: WM_DELETE_WINDOW.
bool AskWindowToClose(const std::string& displayName, unsigned long window)
{
    ::Display* d = XOpenDisplay(displayName.c_str());
    if (!d)
        return false;
    XEvent ev {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, window, False, NoEventMask, &ev) != 0;
    XSync(d, False);
    XCloseDisplay(d);
    return sent;
}

} // namespace

TEST(ZendraScreen, ShowsPatternAndTextUnderXvfbAndEndsOnEscapeOrClose)
{
    // Both ways out: the Escape key, and the window manager's close request (the close button).
    for (const bool byEscape : { true, false }) {
        SCOPED_TRACE(byEscape ? "Escape" : "close request");
        XServer xvfb;
        ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
        const int display = xvfb.Display();
        const std::string displayName = xvfb.Name();

        int outPipe[2];
        ASSERT_EQ(pipe(outPipe), 0);
        std::string lsan = "suppressions=" + kLeakSuppressions;
        if (const char* old = std::getenv("LSAN_OPTIONS"))
            lsan = std::string(old) + ":" + lsan;
        Child zendra;
        ASSERT_TRUE(zendra.Start({ kProgram, "--backend=sdl", "--platform-demo" },
            Environment({ { "DISPLAY", displayName }, { "ZENDRA_BACKEND", "sdl" }, { "LSAN_OPTIONS", lsan } }),
            outPipe[1]));
        close(outPipe[1]);
        std::string output;
        const bool presented = ReadUntil(outPipe[0], "zendra: presented", std::chrono::seconds(60), output);
        close(outPipe[0]);
        ASSERT_TRUE(presented) << "no first present; output: " << output;

        // The screen may lag the present by a moment: look a few times.
        Screenshot shot;
        Findings seen;
        for (int attempt = 0; attempt < 40; ++attempt) {
            if (TakeScreenshot(display, shot)) {
                seen = Look(shot);
                if (seen.PatternSeen() && seen.TextSeen())
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        EXPECT_EQ(shot.width, 1280);
        EXPECT_EQ(shot.height, 1024);
        EXPECT_TRUE(seen.PatternSeen()) << "red " << seen.red << " green " << seen.green << " blue " << seen.blue
                                        << " yellow " << seen.yellow;
        EXPECT_TRUE(seen.TextSeen()) << "white " << seen.white << " grey " << seen.grey;

        const std::string xdo = "env DISPLAY=" + displayName + " xdotool";
        const std::string found
            = RunCapture(xdo + " search --onlyvisible --name '^Zendra$' 2>/dev/null | head -n 1");
        ASSERT_FALSE(found.empty()) << "window not found";
        const std::string id = found.substr(0, found.find('\n'));
        if (byEscape) {
            // Typed through the X server's test extension into the focused window.
            std::system((xdo + " windowfocus --sync " + id + " >/dev/null 2>&1").c_str());
            std::system((xdo + " key Escape >/dev/null 2>&1").c_str());
        } else {
            ASSERT_TRUE(AskWindowToClose(displayName, std::stoul(id)));
        }

        int status = 0;
        ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status)) << "zendra did not end";
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

TEST(ZendraScreen, HeadlessRunDrawsOnceAndEnds)
{
    int outPipe[2];
    ASSERT_EQ(pipe(outPipe), 0);
    Child zendra;
    ASSERT_TRUE(zendra.Start(
        { kProgram }, Environment({ { "ZENDRA_BACKEND", "headless" }, { "DISPLAY", "" } }), outPipe[1]));
    close(outPipe[1]);
    std::string output;
    EXPECT_TRUE(ReadUntil(outPipe[0], "zendra: presented 640x480", std::chrono::seconds(30), output))
        << output;
    close(outPipe[0]);
    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
