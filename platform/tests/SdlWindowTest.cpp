// The SDL2 backend on a private X server: real X input typed through the test extension,
// messages posted from another thread, presenting from another thread.
#include "platform/Path.h"
#include "platform/Window.h"
#include "platform/WindowBackend.h"
#include "platform/X11Present.h"
#include "platform/tests/TestXServer.h"
#include "platform/tests/XReadback.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>

// SDL opens libdbus, which keeps an allocation to the end of the process, and libwmf's gd device
// loses a few bytes per ellipse or text it draws, which no call of its API frees; neither is ours
// to fix. One list for the whole test program (the metafile tests live beside this file).
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\nleak:libwmf-0.2.so\n"; }

using namespace platform;

namespace {

class Recorder : public WindowListener {
public:
    std::vector<WindowEvent> events;
    void OnEvent(Window&, const WindowEvent& e) override { events.push_back(e); }

    size_t Count(EventKind kind) const
    {
        return static_cast<size_t>(std::count_if(
            events.begin(), events.end(), [kind](const WindowEvent& e) { return e.kind == kind; }));
    }
    bool HasKeyDown(uint32_t key, uint32_t flagsMask, uint32_t flags) const
    {
        return std::any_of(events.begin(), events.end(), [&](const WindowEvent& e) {
            return e.kind == EventKind::KeyDown && e.virtualKey == key && (e.keyFlags & flagsMask) == flags;
        });
    }
    bool HasChar(char16_t c) const
    {
        return std::any_of(events.begin(), events.end(),
            [&](const WindowEvent& e) { return e.kind == EventKind::Char && e.character == c; });
    }
};

// Pumps until the condition holds or the time is up. An idle loop sleeps until something
// happens: a timer of its own wakes it to look at the clock.
bool PumpFor(Window& window, std::chrono::milliseconds limit, const std::function<bool()>& done)
{
    constexpr uint32_t kPumpTimer = 0x7E57;
    const auto end = std::chrono::steady_clock::now() + limit;
    window.SetTimer(kPumpTimer, 10);
    window.RunModalLoop([&] { return done() || std::chrono::steady_clock::now() > end; });
    window.KillTimer(kPumpTimer);
    return done();
}

// One X server for the whole suite: SDL stays initialised for the life of the process and
// keeps its connection, so every window of the process must live on the same display.
class SdlOnXvfb : public ::testing::Test {
protected:
    static inline testx::XServer* xserver = nullptr;
    static inline std::string oldDisplay;
    static inline bool hadDisplay = false;
    Recorder rec;
    std::unique_ptr<Window> window;

    static void SetUpTestSuite()
    {
        xserver = new testx::XServer();
        if (!xserver->Start())
            return;
        if (const char* d = std::getenv("DISPLAY")) {
            hadDisplay = true;
            oldDisplay = d;
        }
        setenv("DISPLAY", xserver->Name().c_str(), 1);
    }

    static void TearDownTestSuite()
    {
        delete xserver;
        xserver = nullptr;
        if (hadDisplay)
            setenv("DISPLAY", oldDisplay.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

    void SetUp() override
    {
        ASSERT_GE(xserver->Display(), 0) << "Xvfb did not start";
        WindowOptions options;
        options.title = u"ZendraSdlTest";
        options.width = 200;
        options.height = 150;
        window = Window::Create(BackendKind::Sdl, options, &rec);
        ASSERT_TRUE(window) << "no SDL window on " << xserver->Name();
        window->Show();
        window->PumpPending();
    }

    void TearDown() override { window.reset(); }

    std::string Xdotool(const std::string& args)
    {
        return testx::RunCapture("env DISPLAY=" + xserver->Name() + " xdotool " + args + " 2>/dev/null");
    }
};

} // namespace

TEST_F(SdlOnXvfb, PostFromAnotherThreadWakesTheLoop)
{
    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        window->PostMessage(0x8123, 7, -9);
    });
    const bool got
        = PumpFor(*window, std::chrono::seconds(10), [&] { return rec.Count(EventKind::Message) > 0; });
    poster.join();
    ASSERT_TRUE(got);
    for (const auto& e : rec.events) {
        if (e.kind == EventKind::Message) {
            EXPECT_EQ(e.message, 0x8123u);
            EXPECT_EQ(e.wParam, 7u);
            EXPECT_EQ(e.lParam, -9);
        }
    }
}

TEST_F(SdlOnXvfb, PresentFromAnotherThreadReachesTheScreen)
{
    const int w = 200, h = 150;
    std::vector<uint8_t> back(size_t(w) * h * 4);
    for (size_t i = 0; i < back.size(); i += 4) {
        back[i] = 30; // B
        back[i + 1] = 200; // G
        back[i + 2] = 10; // R
        back[i + 3] = 255;
    }
    BitmapView view { back.data(), w, h, w * 4 };
    std::thread([&] { window->Present(view, { 0, 0, 100, 150 }, { 50, 0 }); }).join();

    // The UI thread copies it to the screen when its loop runs.
    size_t seen = 0;
    for (int attempt = 0; attempt < 40 && seen != 100u * 150u; ++attempt) {
        PumpFor(*window, std::chrono::milliseconds(100), [] { return false; });
        testx::Screenshot shot;
        if (!testx::TakeScreenshot(xserver->Display(), shot))
            continue;
        seen = 0;
        for (size_t i = 0; i + 2 < shot.rgb.size(); i += 3)
            seen += shot.rgb[i] == 10 && shot.rgb[i + 1] == 200 && shot.rgb[i + 2] == 30;
    }
    EXPECT_EQ(seen, 100u * 150u) << "exactly the presented rectangle";
}

TEST_F(SdlOnXvfb, TypedKeysAndClicksArriveAsVirtualKeys)
{
    const std::string found = Xdotool("search --onlyvisible --name '^ZendraSdlTest$'");
    ASSERT_FALSE(found.empty());
    const std::string id = found.substr(0, found.find('\n'));
    Xdotool("windowfocus --sync " + id);
    PumpFor(*window, std::chrono::seconds(5), [&] { return window->IsActive(); });

    // xdotool runs beside the loop; the loop keeps pumping while it types.
    std::atomic<bool> typed { false };
    std::thread typist([&] {
        Xdotool("key shift+a Escape Left F5 ctrl+c");
        Xdotool("mousemove --window " + id + " 20 30");
        Xdotool("click 1");
        Xdotool("click --repeat 2 --delay 80 3");
        Xdotool("click 4");
        typed = true;
    });
    PumpFor(*window, std::chrono::seconds(20),
        [&] { return typed.load() && rec.Count(EventKind::MouseWheel) > 0; });
    typist.join();
    PumpFor(*window, std::chrono::milliseconds(200), [] { return false; });

    EXPECT_TRUE(window->IsActive());
    EXPECT_TRUE(rec.HasKeyDown(vk::Shift, 0, 0));
    EXPECT_TRUE(rec.HasKeyDown('A', kKeyExtended, 0));
    EXPECT_TRUE(rec.HasChar(u'A')) << "shifted letter comes as text";
    EXPECT_TRUE(rec.HasKeyDown(vk::Escape, 0, 0));
    EXPECT_TRUE(rec.HasChar(27));
    EXPECT_TRUE(rec.HasKeyDown(vk::Left, kKeyExtended, kKeyExtended));
    EXPECT_TRUE(rec.HasKeyDown(vk::F1 + 4, 0, 0));
    EXPECT_TRUE(rec.HasKeyDown('C', 0, 0));
    EXPECT_TRUE(rec.HasChar(3)) << "ctrl+c";
    EXPECT_FALSE(rec.HasChar(u'c')) << "ctrl+c is no text";

    bool leftDown = false, rightDouble = false, wheelUp = false;
    for (const auto& e : rec.events) {
        if (e.kind == EventKind::ButtonDown && e.button == MouseButton::Left) {
            leftDown = true;
            EXPECT_EQ(e.pos, (Point { 20, 30 }));
            EXPECT_EQ(e.keyFlags, kMouseLButton);
        }
        rightDouble |= e.kind == EventKind::ButtonDoubleClick && e.button == MouseButton::Right;
        wheelUp |= e.kind == EventKind::MouseWheel && e.wheelDelta == 120;
    }
    EXPECT_TRUE(leftDown);
    EXPECT_TRUE(rightDouble);
    EXPECT_TRUE(wheelUp);
    EXPECT_FALSE(window->IsKeyDown(vk::Shift));
    EXPECT_FALSE(window->IsKeyDown(vk::Control));
}

TEST_F(SdlOnXvfb, WakeFromAnotherThreadEndsTheBackendsWait)
{
    // The window's loop sleeps in the backend's wait; a post from another thread must end that
    // sleep at once (the window's own loop also polls, which would hide a lost wake-up).
    auto backend = CreateSdlBackend();
    WindowOptions options;
    options.title = u"ZendraWakeTest";
    options.width = 40;
    options.height = 30;
    ASSERT_TRUE(backend->Open(options, nullptr));
    std::vector<RawInput> out;
    for (int i = 0; i < 20; ++i)
        backend->Wait(10, out); // whatever opening brought
    for (int round = 0; round < 3; ++round) {
        std::thread waker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            backend->Wake();
        });
        const auto start = std::chrono::steady_clock::now();
        backend->Wait(15000, out);
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        waker.join();
        EXPECT_LT(waited.count(), 5000) << "round " << round;
    }
    backend->Close();
}

TEST_F(SdlOnXvfb, DroppedFilesKeepNamesThatAreNotUtf8)
{
    // What SDL hands over for a drop: the paths as the file system's bytes. A name in an old
    // 8-bit encoding must come back out as the same bytes, or the file cannot be opened.
    const std::string names[] = { "/tmp/Fotos/Urlaub \xC3\xBC.jpg", "/tmp/Fotos/caf\xE9.jpg" };
    auto push = [](Uint32 type, const char* file) {
        SDL_Event e {};
        e.type = type;
        e.drop.file = file ? SDL_strdup(file) : nullptr;
        e.drop.windowID = 0;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    };
    push(SDL_DROPBEGIN, nullptr);
    for (const std::string& n : names)
        push(SDL_DROPFILE, n.c_str());
    push(SDL_DROPCOMPLETE, nullptr);
    ASSERT_TRUE(PumpFor(*window, std::chrono::seconds(10), [&] { return rec.Count(EventKind::DropFiles) > 0; }));
    for (const auto& e : rec.events) {
        if (e.kind != EventKind::DropFiles)
            continue;
        ASSERT_EQ(e.files.size(), 2u);
        EXPECT_EQ(e.files[0], u"/tmp/Fotos/Urlaub \u00FC.jpg");
        for (size_t i = 0; i < 2; ++i)
            EXPECT_EQ(ToNativePath(e.files[i]), names[i]) << i;
    }
}

namespace {

constexpr uint32_t kGreen = 0x14A03C; // 0xRRGGBB as the screen reads
constexpr uint32_t kBlue = 0x1E28C8;

std::vector<uint8_t> Solid(int w, int h, uint32_t rgb)
{
    std::vector<uint8_t> px(size_t(w) * h * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = rgb & 0xFF;
        px[i + 1] = (rgb >> 8) & 0xFF;
        px[i + 2] = (rgb >> 16) & 0xFF;
        px[i + 3] = 255;
    }
    return px;
}

bool AllAre(const std::vector<uint32_t>& px, uint32_t rgb)
{
    return !px.empty() && std::all_of(px.begin(), px.end(), [rgb](uint32_t p) { return p == rgb; });
}

using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

long MsSince(SteadyClock::time_point t)
{
    return static_cast<long>(std::chrono::duration_cast<Ms>(SteadyClock::now() - t).count());
}

// A self-drawn frame as the program's frame sprite does it: the top band is the caption, a thin
// left border resizes through the window system; a press on the caption drags the window with
// MoveTo while the mouse is captured, a double click there maximises.
class FrameRecorder : public Recorder {
public:
    bool dragging = false;
    Point press;
    int maximiseAsks = 0;

    HitArea HitTest(Point p) override
    {
        if (p.x < 8)
            return HitArea::Left;
        return p.y < 32 ? HitArea::Caption : HitArea::Client;
    }

    void OnEvent(Window& w, const WindowEvent& e) override
    {
        Recorder::OnEvent(w, e);
        if (e.kind == EventKind::ButtonDoubleClick && e.pos.y < 32)
            ++maximiseAsks;
        if (e.kind == EventKind::ButtonDown && e.button == MouseButton::Left && e.pos.y < 32) {
            dragging = true;
            press = e.pos;
            w.SetCapture();
        } else if (e.kind == EventKind::MouseMove && dragging) {
            const Point p = w.CursorScreenPos();
            const Rect r = w.ScreenRect();
            const int left = p.x - press.x, top = p.y - press.y;
            w.MoveTo({ left, top, left + r.Width(), top + r.Height() });
        } else if (e.kind == EventKind::ButtonUp && dragging) {
            dragging = false;
            w.ReleaseCapture();
        }
    }
};

} // namespace

TEST_F(SdlOnXvfb, PresentReachesTheScreenWhileTheUiThreadIsBlocked)
{
    PumpFor(*window, Ms(200), [] { return false; });
    const Rect at = window->ScreenRect();
    ASSERT_FALSE(at.IsEmpty());
    std::vector<uint8_t> tile = Solid(64, 64, kGreen);
    const BitmapView view { tile.data(), 64, 64, 64 * 4 };

    std::atomic<bool> blocked { false };
    std::atomic<long> seenAtMs { -1 };
    SteadyClock::time_point sleepStart;
    std::thread render([&] {
        while (!blocked.load())
            std::this_thread::sleep_for(Ms(1));
        window->Present(view, { 0, 0, 64, 64 }, { 20, 30 });
        while (MsSince(sleepStart) < 2000) {
            if (AllAre(testx::ReadScreen(xserver->Name(), at.left + 20, at.top + 30, 64, 64), kGreen)) {
                seenAtMs = MsSince(sleepStart);
                return;
            }
            std::this_thread::sleep_for(Ms(2));
        }
    });
    sleepStart = SteadyClock::now();
    blocked = true;
    std::this_thread::sleep_for(Ms(300)); // the UI thread is busy: nobody pumps
    const long sleptMs = MsSince(sleepStart);
    render.join();
    ASSERT_GE(seenAtMs.load(), 0) << "the tile never reached the screen";
    EXPECT_LT(seenAtMs.load(), sleptMs) << "the tile waited for the UI thread";
    std::printf("tile on screen %ld ms into a %ld ms block of the UI thread\n", seenAtMs.load(), sleptMs);
}

TEST_F(SdlOnXvfb, PresentedPartsAreCopiedApartInEachMode)
{
    struct Case {
        const char* shm;
        X11Presenter::Mode mode;
    };
    const Case cases[] = { { "1", X11Presenter::Mode::SharedMemory }, { "0", X11Presenter::Mode::PutImage } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shm);
        setenv("ZENDRA_X11_SHM", c.shm, 1);
        const int w = 240, h = 160;
        SDL_Window* sdl = SDL_CreateWindow("ZendraPresentModes", 20, 20, w, h, SDL_WINDOW_SHOWN);
        ASSERT_TRUE(sdl);
        auto presenter = X11Presenter::Create(sdl, w, h);
        unsetenv("ZENDRA_X11_SHM");
        ASSERT_TRUE(presenter);
        EXPECT_EQ(presenter->CurrentMode(), c.mode);
        int x = 0, y = 0;
        SDL_GetWindowPosition(sdl, &x, &y);

        std::vector<uint8_t> blue = Solid(w, h, kBlue), green = Solid(w, h, kGreen);
        presenter->Present({ blue.data(), w, h, w * 4 }, std::vector<PresentRect> { { { 0, 0, w, h }, { 0, 0 } } });
        // Two tiles in opposite corners, as one frame: the area between them stays as it was.
        const std::vector<PresentRect> corners { { { 0, 0, 64, 64 }, { 0, 0 } },
            { { w - 64, h - 64, w, h }, { w - 64, h - 64 } } };
        presenter->Present({ green.data(), w, h, w * 4 }, corners);
        EXPECT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), x, y, 64, 64), kGreen));
        EXPECT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), x + w - 64, y + h - 64, 64, 64), kGreen));
        EXPECT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), x + 64, y + 64, w - 128, h - 128), kBlue));
        EXPECT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), x + 64, y, w - 64, 64), kBlue));

        // A larger window keeps what was shown and takes tiles in its new part.
        SDL_SetWindowSize(sdl, w + 40, h + 30);
        presenter->Resize(w + 40, h + 30);
        std::vector<uint8_t> big = Solid(w + 40, h + 30, kGreen);
        presenter->Present({ big.data(), w + 40, h + 30, (w + 40) * 4 },
            std::vector<PresentRect> { { { w, h, w + 40, h + 30 }, { w, h } } });
        presenter->Repaint();
        EXPECT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), x + w, y + h, 40, 30), kGreen));
        EXPECT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), x, y, 64, 64), kGreen));
        EXPECT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), x + 64, y + 64, 32, 32), kBlue));
        presenter.reset();
        SDL_DestroyWindow(sdl);
    }
}

TEST_F(SdlOnXvfb, DestroyWaitsForPresentsAndLaterPostsFail)
{
    std::vector<uint8_t> frame = Solid(200, 150, kGreen);
    const BitmapView view { frame.data(), 200, 150, 200 * 4 };
    auto poster = window->Poster();
    std::atomic<int> presents { 0 };
    std::atomic<bool> postFailed { false };
    std::thread render([&] {
        const std::vector<PresentRect> parts { { { 0, 0, 100, 150 }, { 0, 0 } }, { { 100, 0, 200, 150 }, { 100, 0 } } };
        while (!postFailed.load()) {
            window->Present(view, parts);
            ++presents;
            if (!poster->PostMessage(0x8001))
                postFailed = true;
        }
    });
    while (presents.load() < 20)
        std::this_thread::sleep_for(Ms(1));
    window->Destroy();
    render.join();
    EXPECT_TRUE(postFailed.load());
    EXPECT_FALSE(window->PostMessage(0x8002));
    window.reset();
    EXPECT_FALSE(poster->PostMessage(0x8003)) << "the window object is gone";
}

TEST_F(SdlOnXvfb, CaptionPressesReachTheProgramAndItsDragMovesTheWindow)
{
    window.reset();
    FrameRecorder frame;
    WindowOptions options;
    options.title = u"ZendraFrameTest";
    options.width = 300;
    options.height = 200;
    options.borderless = true;
    auto framed = Window::Create(BackendKind::Sdl, options, &frame);
    ASSERT_TRUE(framed);
    framed->Show();
    PumpFor(*framed, Ms(200), [] { return false; });
    const Rect at = framed->ScreenRect();
    ASSERT_EQ(at.Width(), 300);

    // Run xdotool beside the loop, which keeps pumping.
    auto drive = [&](const std::string& commands, const std::function<bool()>& until) {
        std::atomic<bool> done { false };
        std::thread t([&] {
            Xdotool(commands);
            done = true;
        });
        PumpFor(*framed, std::chrono::seconds(10), [&] { return done.load() && until(); });
        t.join();
        PumpFor(*framed, Ms(150), [] { return false; });
    };
    auto at_ = [&](int x, int y) { return std::to_string(at.left + x) + " " + std::to_string(at.top + y); };

    // A double click on the title arrives, so the frame can maximise.
    drive("mousemove " + at_(150, 10) + " click --repeat 2 --delay 80 1", [&] { return frame.maximiseAsks > 0; });
    EXPECT_EQ(frame.maximiseAsks, 1);
    // The left border belongs to the window system (a resize), the client area to the program.
    frame.events.clear();
    drive("mousemove " + at_(3, 100) + " click 1 mousemove " + at_(150, 100) + " click 1",
        [&] { return frame.Count(EventKind::ButtonUp) > 0; });
    bool borderPress = false, clientPress = false;
    for (const auto& e : frame.events) {
        borderPress |= e.kind == EventKind::ButtonDown && e.pos.x == 3;
        clientPress |= e.kind == EventKind::ButtonDown && e.pos == Point { 150, 100 };
    }
    EXPECT_FALSE(borderPress);
    EXPECT_TRUE(clientPress);

    // Dragging the title by (120, 80) moves the window by as much.
    drive("mousemove " + at_(150, 10) + " mousedown 1 mousemove " + at_(270, 90) + " mouseup 1",
        [&] { return !frame.dragging && framed->ScreenRect().left != at.left; });
    const Rect moved = framed->ScreenRect();
    EXPECT_EQ(moved, (Rect { at.left + 120, at.top + 80, at.right + 120, at.bottom + 80 }));
    const std::string geometry = Xdotool("search --name '^ZendraFrameTest$' getwindowgeometry");
    EXPECT_NE(geometry.find("Position: " + std::to_string(moved.left) + "," + std::to_string(moved.top)),
        std::string::npos)
        << geometry;
    std::printf("caption double click -> %d maximise request(s); title drag moved the window from (%d, %d) to "
                "(%d, %d); xdotool: %s",
        frame.maximiseAsks, at.left, at.top, moved.left, moved.top, geometry.c_str());

    // A dialog moving and sizing the main window.
    framed->MoveTo({ 50, 60, 50 + 320, 60 + 240 });
    PumpFor(*framed, std::chrono::seconds(5), [&] { return framed->ClientWidth() == 320; });
    EXPECT_EQ(framed->ScreenRect(), (Rect { 50, 60, 370, 300 }));
    EXPECT_EQ(framed->ClientHeight(), 240);
}

TEST_F(SdlOnXvfb, PointerAndDropPointAreAskedLive)
{
    PumpFor(*window, Ms(100), [] { return false; });
    const Rect at = window->ScreenRect();
    // Nobody pumps between the move and the questions: SDL's own idea of the pointer is old.
    Xdotool("mousemove " + std::to_string(at.left + 33) + " " + std::to_string(at.top + 44));
    EXPECT_EQ(window->CursorScreenPos(), (Point { at.left + 33, at.top + 44 }));
    auto push = [](Uint32 type, const char* file) {
        SDL_Event e {};
        e.type = type;
        e.drop.file = file ? SDL_strdup(file) : nullptr;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    };
    push(SDL_DROPBEGIN, nullptr);
    push(SDL_DROPFILE, "/tmp/a.jpg");
    push(SDL_DROPCOMPLETE, nullptr);
    ASSERT_TRUE(PumpFor(*window, std::chrono::seconds(10), [&] { return rec.Count(EventKind::DropFiles) > 0; }));
    for (const auto& e : rec.events) {
        if (e.kind == EventKind::DropFiles) {
            EXPECT_EQ(e.pos, (Point { 33, 44 }));
        }
    }
}

TEST_F(SdlOnXvfb, TextInputOnlyWhileAskedAndCharactersWithoutIt)
{
    EXPECT_FALSE(window->TextInputActive());
    EXPECT_FALSE(SDL_IsTextInputActive()) << "no input method while no edit field has the focus";
    window->StartTextInput();
    EXPECT_TRUE(SDL_IsTextInputActive());
    window->StopTextInput();
    EXPECT_FALSE(SDL_IsTextInputActive());

    const std::string found = Xdotool("search --onlyvisible --name '^ZendraSdlTest$'");
    ASSERT_FALSE(found.empty());
    Xdotool("windowfocus --sync " + found.substr(0, found.find('\n')));
    PumpFor(*window, std::chrono::seconds(5), [&] { return window->IsActive(); });
    // A layout with letters beyond ASCII (a key symbol xdotool had to map on the fly would be
    // gone again before the key is read).
    testx::RunCapture("setxkbmap -display " + xserver->Name() + " de 2>&1");
    PumpFor(*window, Ms(200), [] { return false; });
    std::atomic<bool> typed { false };
    std::thread typist([&] {
        Xdotool("key odiaeresis shift+2 ctrl+x");
        typed = true;
    });
    PumpFor(*window, std::chrono::seconds(10), [&] { return typed.load() && rec.HasChar(24); });
    typist.join();
    testx::RunCapture("setxkbmap -display " + xserver->Name() + " us 2>&1");
    EXPECT_TRUE(rec.HasChar(u'\u00F6')) << "a key symbol beyond ASCII";
    EXPECT_TRUE(rec.HasChar(u'"')) << "Shift applied by the (German) layout";
    EXPECT_TRUE(rec.HasChar(24)) << "ctrl+x as its control character";
    EXPECT_FALSE(rec.HasChar(u'x'));
}

TEST_F(SdlOnXvfb, AnExposedWindowIsRedrawnFromWhatWasPresented)
{
    PumpFor(*window, Ms(100), [] { return false; });
    const Rect at = window->ScreenRect();
    std::vector<uint8_t> frame = Solid(200, 150, kGreen);
    window->Present({ frame.data(), 200, 150, 200 * 4 }, { 0, 0, 200, 150 }, { 0, 0 });
    ASSERT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), at.left, at.top, 200, 150), kGreen));

    const std::string found = Xdotool("search --onlyvisible --name '^ZendraSdlTest$'");
    ASSERT_FALSE(found.empty());
    const std::string id = found.substr(0, found.find('\n'));
    Xdotool("windowunmap --sync " + id);
    PumpFor(*window, Ms(100), [] { return false; });
    EXPECT_FALSE(AllAre(testx::ReadScreen(xserver->Name(), at.left, at.top, 200, 150), kGreen)) << "unmapped";
    Xdotool("windowmap --sync " + id);
    EXPECT_TRUE(PumpFor(*window, std::chrono::seconds(5), [&] {
        return AllAre(testx::ReadScreen(xserver->Name(), at.left, at.top, 200, 150), kGreen);
    })) << "the program presented nothing new, the window redrew itself";
}

TEST_F(SdlOnXvfb, AnExposedWindowIsRedrawnWhileTheUiThreadIsBlocked)
{
    PumpFor(*window, Ms(100), [] { return false; });
    const Rect at = window->ScreenRect();
    std::vector<uint8_t> frame = Solid(200, 150, kGreen);
    const BitmapView view { frame.data(), 200, 150, 200 * 4 };
    window->Present(view, { 0, 0, 200, 150 }, { 0, 0 });
    const std::string found = Xdotool("search --onlyvisible --name '^ZendraSdlTest$'");
    ASSERT_FALSE(found.empty());
    const std::string id = found.substr(0, found.find('\n'));

    std::atomic<bool> blocked { false }, unmappedBlack { false };
    std::atomic<long> restoredAtMs { -1 };
    SteadyClock::time_point sleepStart;
    std::thread render([&] {
        while (!blocked.load())
            std::this_thread::sleep_for(Ms(1));
        Xdotool("windowunmap --sync " + id);
        unmappedBlack = !AllAre(testx::ReadScreen(xserver->Name(), at.left, at.top, 200, 150), kGreen);
        Xdotool("windowmap --sync " + id);
        // The next frame has one small tile; the uncovered rest comes with it.
        while (MsSince(sleepStart) < 3000) {
            window->Present(view, { 0, 0, 8, 8 }, { 0, 0 });
            if (AllAre(testx::ReadScreen(xserver->Name(), at.left, at.top, 200, 150), kGreen)) {
                restoredAtMs = MsSince(sleepStart);
                return;
            }
            std::this_thread::sleep_for(Ms(30));
        }
    });
    sleepStart = SteadyClock::now();
    blocked = true;
    std::this_thread::sleep_for(Ms(600)); // busy: no expose reaches the UI thread's loop
    const long sleptMs = MsSince(sleepStart);
    render.join();
    EXPECT_TRUE(unmappedBlack.load());
    ASSERT_GE(restoredAtMs.load(), 0);
    EXPECT_LT(restoredAtMs.load(), sleptMs);
}

TEST_F(SdlOnXvfb, PresentingToAWindowGoneBehindItsBackIsNotFatal)
{
    unsigned long id = 0;
    testx::PlainWindow* plain = testx::OpenPlainWindow(xserver->Name(), 30, 40, 120, 80, id);
    ASSERT_TRUE(plain);
    auto presenter = X11Presenter::CreateForXWindow(xserver->Name().c_str(), id, 120, 80);
    ASSERT_TRUE(presenter);
    std::vector<uint8_t> frame = Solid(120, 80, kGreen);
    const BitmapView view { frame.data(), 120, 80, 120 * 4 };
    presenter->Present(view, std::vector<PresentRect> { { { 0, 0, 120, 80 }, { 0, 0 } } });
    EXPECT_TRUE(AllAre(testx::ReadScreen(xserver->Name(), 30, 40, 120, 80), kGreen));
    EXPECT_FALSE(presenter->HadError());

    testx::ClosePlainWindow(plain); // the window goes with its owner's connection
    presenter->Present(view, std::vector<PresentRect> { { { 0, 0, 64, 64 }, { 0, 0 } } });
    presenter->Resize(200, 100);
    presenter->Repaint();
    EXPECT_TRUE(presenter->HadError());
    presenter.reset();

    // The process's other connections still report their errors as before: SDL's window lives on.
    PumpFor(*window, Ms(50), [] { return false; });
    EXPECT_TRUE(window->PostMessage(0x8200));
}
