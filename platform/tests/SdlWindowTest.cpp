// The SDL2 backend on a private X server: real X input typed through the test extension,
// messages posted from another thread, presenting from another thread.
#include "platform/Path.h"
#include "platform/Window.h"
#include "platform/WindowBackend.h"
#include "platform/tests/TestXServer.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>

// SDL opens libdbus, which keeps an allocation to the end of the process; not ours to fix.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

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

// Pumps until the condition holds or the time is up.
bool PumpFor(Window& window, std::chrono::milliseconds limit, const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    window.RunModalLoop([&] { return done() || std::chrono::steady_clock::now() > end; });
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
