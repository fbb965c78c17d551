#include "platform/Window.h"
#include "platform/Clock.h"
#include "platform/WindowBackend.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <cstdlib>
#include <thread>

using namespace platform;

namespace {

class Recorder : public WindowListener {
public:
    std::vector<WindowEvent> events;
    std::function<void(Window&, const WindowEvent&)> onEvent;

    void OnEvent(Window& window, const WindowEvent& e) override
    {
        events.push_back(e);
        if (onEvent)
            onEvent(window, e);
    }

    std::vector<WindowEvent> Take(EventKind kind) const
    {
        std::vector<WindowEvent> out;
        for (const auto& e : events)
            if (e.kind == kind)
                out.push_back(e);
        return out;
    }
};

// A headless window on a manual clock.
class HeadlessWindow : public ::testing::Test {
protected:
    ManualTickSource clock { 1000 };
    ScopedTickSource scoped { clock };
    Recorder rec;
    std::unique_ptr<Window> window;
    HeadlessControl* input = nullptr;

    void SetUp() override
    {
        WindowOptions options;
        options.width = 64;
        options.height = 48;
        window = Window::Create(BackendKind::Headless, options, &rec);
        ASSERT_TRUE(window);
        input = window->Headless();
        ASSERT_TRUE(input);
        window->Show();
        window->PumpPending();
        rec.events.clear();
    }

    void TearDown() override { window.reset(); }
};

} // namespace

TEST_F(HeadlessWindow, PostedMessagesFromManyThreadsArriveOnceInOrder)
{
    constexpr int kThreads = 4, kEach = 1000;
    std::vector<std::vector<intptr_t>> seen(kThreads);
    int total = 0;
    rec.onEvent = [&](Window&, const WindowEvent& e) {
        if (e.kind == EventKind::Message && e.message == 0x8001) {
            seen[e.wParam].push_back(e.lParam);
            ++total;
        }
    };
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([this, t] {
            for (int i = 0; i < kEach; ++i)
                ASSERT_TRUE(window->PostMessage(0x8001, static_cast<uintptr_t>(t), i));
        });
    }
    EXPECT_TRUE(window->RunModalLoop([&] { return total == kThreads * kEach; }));
    for (auto& p : posters)
        p.join();
    window->PumpPending();
    EXPECT_EQ(total, kThreads * kEach); // nothing twice
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), size_t(kEach));
        for (int i = 0; i < kEach; ++i)
            ASSERT_EQ(seen[t][i], i) << "thread " << t;
    }
}

TEST_F(HeadlessWindow, TimersFireByTheInjectedClock)
{
    window->SetTimer(1, 100);
    window->SetTimer(2, 250);
    window->SetTimer(3, 1); // below the minimum: 10 ms
    auto fired = [&] {
        window->PumpPending();
        std::vector<uint32_t> ids;
        for (const auto& e : rec.Take(EventKind::Timer))
            ids.push_back(e.timerId);
        rec.events.clear();
        return ids;
    };
    window->KillTimer(3);
    EXPECT_TRUE(fired().empty());
    clock.Advance(99);
    EXPECT_TRUE(fired().empty()) << "real time passing must not matter";
    clock.Advance(1);
    EXPECT_EQ(fired(), (std::vector<uint32_t> { 1 }));
    EXPECT_TRUE(fired().empty());
    // Late by several periods: each timer fires once, the earliest due first.
    clock.Advance(1000);
    EXPECT_EQ(fired(), (std::vector<uint32_t> { 1, 2 }));
    clock.Advance(100);
    EXPECT_EQ(fired(), (std::vector<uint32_t> { 1 }));
    // Setting an existing id restarts its period.
    window->SetTimer(1, 500);
    clock.Advance(400);
    {
        const auto ids = fired();
        EXPECT_EQ(std::count(ids.begin(), ids.end(), 1u), 0);
    }
    window->KillTimer(2);
    clock.Advance(100);
    EXPECT_EQ(fired(), (std::vector<uint32_t> { 1 }));

    window->SetTimer(7, 5);
    clock.Advance(9);
    EXPECT_TRUE(fired().empty());
    clock.Advance(1);
    EXPECT_EQ(fired(), (std::vector<uint32_t> { 7 }));
}

TEST_F(HeadlessWindow, ModalLoopWaitsForATimerOnTheInjectedClock)
{
    // The clock moves on another thread while the loop sleeps.
    window->SetTimer(5, 300);
    std::thread mover([&] {
        for (int i = 0; i < 4; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            clock.Advance(100);
        }
    });
    int timers = 0;
    rec.onEvent = [&](Window&, const WindowEvent& e) { timers += e.kind == EventKind::Timer; };
    EXPECT_TRUE(window->RunModalLoop([&] { return timers == 1; }));
    mover.join();
    EXPECT_GE(clock.NowMs(), 1300u);
}

TEST_F(HeadlessWindow, NestedModalLoopEndsOnItsConditionAndStillDeliversMessages)
{
    enum : uint32_t { kOpenDialog = 0x9000, kWork, kCloseDialog, kAfter };
    std::vector<std::pair<uint32_t, int>> log; // message, loop depth
    int depth = 1;
    bool dialogDone = false;
    bool innerResult = false;
    std::thread worker;
    rec.onEvent = [&](Window& w, const WindowEvent& e) {
        if (e.kind != EventKind::Message && e.kind != EventKind::Timer)
            return;
        log.push_back({ e.kind == EventKind::Timer ? 0u : e.message, depth });
        if (e.kind == EventKind::Timer && depth == 2 && !worker.joinable()) {
            // Timers come only when no message waits, so the other thread starts driving the
            // dialog once the timer has been seen inside it: work, then the closing message.
            w.KillTimer(11);
            worker = std::thread([&w] {
                for (int i = 0; i < 3; ++i)
                    w.PostMessage(kWork, 0, i);
                w.PostMessage(kCloseDialog);
                w.PostMessage(kAfter);
            });
        }
        if (e.kind == EventKind::Message && e.message == kOpenDialog) {
            ++depth;
            w.SetTimer(11, 50);
            clock.Advance(50);
            innerResult = w.RunModalLoop([&] { return dialogDone; });
            worker.join();
            --depth;
        }
        if (e.kind == EventKind::Message && e.message == kCloseDialog)
            dialogDone = true;
    };
    window->PostMessage(kOpenDialog);
    bool afterSeen = false;
    auto outer = [&] {
        for (auto& [m, d] : log)
            afterSeen |= m == kAfter;
        return afterSeen;
    };
    EXPECT_TRUE(window->RunModalLoop(outer));
    EXPECT_TRUE(innerResult);
    int work = 0, timersInside = 0;
    for (auto& [m, d] : log) {
        if (m == kWork) {
            ++work;
            EXPECT_EQ(d, 2);
        }
        if (m == 0)
            timersInside += d == 2;
        if (m == kAfter) {
            EXPECT_EQ(d, 1) << "the inner loop ends as soon as its condition holds";
        }
    }
    EXPECT_EQ(work, 3);
    EXPECT_EQ(timersInside, 1);
}

TEST_F(HeadlessWindow, LoopsEndOnQuitAndOnDestroy)
{
    bool innerReturned = false, innerResult = true;
    rec.onEvent = [&](Window& w, const WindowEvent& e) {
        if (e.kind == EventKind::Message && e.message == 1) {
            w.PostMessage(2);
            innerResult = w.RunModalLoop([] { return false; });
            innerReturned = true;
        }
        if (e.kind == EventKind::Message && e.message == 2)
            w.PostQuit(3);
    };
    window->PostMessage(1);
    EXPECT_FALSE(window->RunModalLoop([] { return false; }));
    EXPECT_TRUE(innerReturned);
    EXPECT_FALSE(innerResult);
    EXPECT_TRUE(window->QuitPosted());
    EXPECT_EQ(window->QuitCode(), 3);

    window->Destroy();
    EXPECT_TRUE(window->IsDestroyed());
    EXPECT_FALSE(window->PostMessage(4));
    EXPECT_FALSE(window->PumpPending());
}

TEST_F(HeadlessWindow, CloseIsAskedNotDone)
{
    rec.onEvent = [&](Window& w, const WindowEvent& e) {
        if (e.kind == EventKind::Close)
            w.Destroy();
    };
    input->InjectClose();
    EXPECT_FALSE(window->RunModalLoop([] { return false; }));
    EXPECT_EQ(rec.Take(EventKind::Close).size(), 1u);
}

TEST_F(HeadlessWindow, KeysArriveWithVirtualKeysAndFlags)
{
    struct Step {
        uint32_t key;
        bool down;
        bool extended;
    };
    struct Expect {
        EventKind kind;
        uint32_t keyOrChar;
        uint32_t flags;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<Expect> expected;
    };
    const uint32_t up = kKeyWasDown | kKeyReleased;
    const Case cases[] = {
        { "letter", { { 'A', true, false }, { 'A', false, false } },
            { { EventKind::KeyDown, 'A', 0 }, { EventKind::KeyUp, 'A', up } } },
        { "held key repeats with the previous-state bit", { { 'B', true, false }, { 'B', true, false } },
            { { EventKind::KeyDown, 'B', 0 }, { EventKind::KeyDown, 'B', kKeyWasDown } } },
        { "tab, enter, escape, backspace also come as characters",
            { { vk::Tab, true, false }, { vk::Return, true, false }, { vk::Escape, true, false },
                { vk::Back, true, false } },
            { { EventKind::KeyDown, 9, 0 }, { EventKind::Char, 9, 0 }, { EventKind::KeyDown, 13, 0 },
                { EventKind::Char, 13, 0 }, { EventKind::KeyDown, 27, 0 }, { EventKind::Char, 27, 0 },
                { EventKind::KeyDown, 8, 0 }, { EventKind::Char, 8, 0 } } },
        { "ctrl+letter gives a control character; ctrl is in the flags",
            { { vk::Control, true, false }, { 'C', true, false } },
            { { EventKind::KeyDown, vk::Control, kKeyControlDown }, { EventKind::KeyDown, 'C', kKeyControlDown },
                { EventKind::Char, 3, kKeyControlDown } } },
        { "alt is in the flags, alt+letter is no control character",
            { { vk::Menu, true, false }, { vk::Control, true, false }, { 'Q', true, false },
                { vk::F1 + 3, true, false } },
            { { EventKind::KeyDown, vk::Menu, kKeyAltDown },
                { EventKind::KeyDown, vk::Control, kKeyAltDown | kKeyControlDown },
                { EventKind::KeyDown, 'Q', kKeyAltDown | kKeyControlDown },
                { EventKind::KeyDown, vk::F1 + 3, kKeyAltDown | kKeyControlDown } } },
        { "shift is in the flags", { { vk::Shift, true, false }, { 'R', true, false } },
            { { EventKind::KeyDown, vk::Shift, kKeyShiftDown }, { EventKind::KeyDown, 'R', kKeyShiftDown } } },
        { "arrows are extended keys", { { vk::Left, true, true }, { vk::Down, false, true } },
            { { EventKind::KeyDown, 37, kKeyExtended }, { EventKind::KeyUp, 40, kKeyExtended | up } } },
        { "digits", { { '7', true, false } }, { { EventKind::KeyDown, '7', 0 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rec.events.clear();
        for (const Step& s : c.steps)
            input->InjectKey(s.key, s.down, s.extended);
        window->PumpPending();
        ASSERT_EQ(rec.events.size(), c.expected.size());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const WindowEvent& e = rec.events[i];
            EXPECT_EQ(e.kind, c.expected[i].kind) << i;
            EXPECT_EQ(
                e.kind == EventKind::Char ? uint32_t(e.character) : e.virtualKey, c.expected[i].keyOrChar)
                << i;
            EXPECT_EQ(e.keyFlags, c.expected[i].flags) << i;
            EXPECT_EQ(e.repeatCount, 1u);
        }
        // Leave every key up for the next case (and check the released state).
        for (uint32_t k : { uint32_t('A'), uint32_t('B'), vk::Control, vk::Menu, vk::Shift, uint32_t('C'),
                 uint32_t('Q'), uint32_t('R') })
            input->InjectKey(k, false, false);
        window->PumpPending();
        EXPECT_FALSE(window->IsKeyDown(vk::Control));
    }
}

TEST_F(HeadlessWindow, TextInputComesAsUtf16Characters)
{
    // AltGr text (e.g. '@' and the euro sign) arrives from the input method as text.
    input->InjectKey(vk::Menu, true, true);
    input->InjectText(u"@\u20AC\U0001F4F7");
    input->InjectKey(vk::Menu, false, true);
    window->PumpPending();
    auto chars = rec.Take(EventKind::Char);
    ASSERT_EQ(chars.size(), 4u);
    EXPECT_EQ(chars[0].character, u'@');
    EXPECT_EQ(chars[1].character, u'\u20AC');
    EXPECT_EQ(chars[2].character, char16_t(0xD83D));
    EXPECT_EQ(chars[3].character, char16_t(0xDCF7));

    // Alt proper makes a letter a shortcut, not text; with Ctrl (Windows' AltGr) it is text.
    struct Case {
        bool ctrl;
        bool extendedAlt;
        size_t expectedChars;
    };
    for (const Case& c : { Case { false, false, 0 }, Case { true, false, 1 }, Case { false, true, 1 } }) {
        rec.events.clear();
        if (c.ctrl)
            input->InjectKey(vk::Control, true, false);
        input->InjectKey(vk::Menu, true, c.extendedAlt);
        input->InjectText(u"x");
        input->InjectKey(vk::Menu, false, c.extendedAlt);
        input->InjectKey(vk::Control, false, false);
        input->InjectText(u"y");
        window->PumpPending();
        auto got = rec.Take(EventKind::Char);
        ASSERT_EQ(got.size(), c.expectedChars + 1) << c.ctrl << c.extendedAlt;
        EXPECT_EQ(got.back().character, u'y') << "text comes again once Alt is up";
    }
}

TEST_F(HeadlessWindow, MouseButtonsFlagsDoubleClicksAndWheel)
{
    input->InjectKey(vk::Shift, true, false);
    input->InjectMouseMove({ 10, 12 });
    input->InjectButton(MouseButton::Left, true, { 10, 12 });
    input->InjectMouseMove({ 11, 12 });
    input->InjectButton(MouseButton::Left, false, { 11, 12 });
    input->InjectWheel(-240, { 11, 12 });
    window->PumpPending();
    auto moves = rec.Take(EventKind::MouseMove);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].keyFlags, kMouseShift);
    EXPECT_EQ(moves[1].keyFlags, kMouseShift | kMouseLButton);
    EXPECT_EQ(moves[1].pos, (Point { 11, 12 }));
    auto downs = rec.Take(EventKind::ButtonDown);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].button, MouseButton::Left);
    EXPECT_EQ(downs[0].keyFlags, kMouseShift | kMouseLButton);
    auto ups = rec.Take(EventKind::ButtonUp);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].keyFlags, kMouseShift);
    auto wheels = rec.Take(EventKind::MouseWheel);
    ASSERT_EQ(wheels.size(), 1u);
    EXPECT_EQ(wheels[0].wheelDelta, -240);
    EXPECT_EQ(window->CursorPos(), (Point { 11, 12 }));
    input->InjectKey(vk::Shift, false, false);
    window->PumpPending();

    // Double clicks by the injected clock: within 500 ms and 2 pixels, same button.
    struct Click {
        MouseButton button;
        Point pos;
        uint64_t after;
        EventKind expected;
    };
    const Click clicks[] = {
        { MouseButton::Left, { 30, 30 }, 1000, EventKind::ButtonDown },
        { MouseButton::Left, { 31, 29 }, 300, EventKind::ButtonDoubleClick },
        { MouseButton::Left, { 31, 29 }, 100, EventKind::ButtonDown }, // no triple click
        { MouseButton::Left, { 31, 29 }, 501, EventKind::ButtonDown }, // too late
        { MouseButton::Left, { 35, 29 }, 100, EventKind::ButtonDown }, // too far
        { MouseButton::Right, { 35, 29 }, 100, EventKind::ButtonDown }, // other button
        { MouseButton::Right, { 35, 29 }, 100, EventKind::ButtonDoubleClick },
    };
    for (const Click& c : clicks) {
        clock.Advance(c.after);
        rec.events.clear();
        input->InjectButton(c.button, true, c.pos);
        input->InjectButton(c.button, false, c.pos);
        window->PumpPending();
        ASSERT_EQ(rec.events.size(), 2u);
        EXPECT_EQ(rec.events[0].kind, c.expected);
        EXPECT_EQ(rec.events[0].button, c.button);
        EXPECT_EQ(rec.events[1].kind, EventKind::ButtonUp);
    }
}

TEST_F(HeadlessWindow, PresentWritesTheRectangleIntoTheSurface)
{
    // A 10 x 8 back buffer with a distinct value per pixel.
    const int bw = 10, bh = 8;
    std::vector<uint8_t> back(size_t(bw) * bh * 4);
    for (int y = 0; y < bh; ++y)
        for (int x = 0; x < bw; ++x)
            for (int c = 0; c < 4; ++c)
                back[(size_t(y) * bw + x) * 4 + c] = uint8_t(y * 16 + x + c * 100 + 1);
    BitmapView view { back.data(), bw, bh, bw * 4 };

    struct Case {
        const char* name;
        Rect source;
        Point dest;
    };
    const Case cases[] = {
        { "inside", { 2, 1, 6, 4 }, { 20, 30 } },
        { "clipped at the surface's right and bottom", { 0, 0, 10, 8 }, { 60, 44 } },
        { "negative destination cuts, not shifts", { 0, 0, 10, 8 }, { -3, -2 } },
        { "source larger than the buffer", { 5, 5, 50, 50 }, { 0, 0 } },
        { "empty", { 3, 3, 3, 7 }, { 1, 1 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int w = 0, h = 0;
        std::vector<uint8_t> before = input->ReadSurface(w, h);
        // Any thread may present.
        std::thread([&] { window->Present(view, c.source, c.dest); }).join();
        std::vector<uint8_t> after = input->ReadSurface(w, h);
        ASSERT_EQ(w, 64);
        ASSERT_EQ(h, 48);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int sx = x - c.dest.x + c.source.left, sy = y - c.dest.y + c.source.top;
                const bool inside = sx >= c.source.left && sx < c.source.right && sy >= c.source.top
                    && sy < c.source.bottom && sx >= 0 && sy >= 0 && sx < bw && sy < bh;
                for (int ch = 0; ch < 4; ++ch) {
                    const size_t i = (size_t(y) * w + x) * 4 + ch;
                    const uint8_t want = inside ? back[(size_t(sy) * bw + sx) * 4 + ch] : before[i];
                    ASSERT_EQ(after[i], want) << x << "," << y;
                }
            }
        }
    }
}

TEST_F(HeadlessWindow, StatesActivationCaptureCursorsAndDrops)
{
    input->SetMonitors({ { 0, 0, 1280, 1024 }, { 1280, 0, 2560, 1024 } }, { 0, 0, 1280, 1000 }, 144);
    EXPECT_EQ(window->Monitors().size(), 2u);
    EXPECT_EQ(window->WorkArea(), (Rect { 0, 0, 1280, 1000 }));
    unsetenv("ZENDRA_DPI");
    EXPECT_EQ(window->LogicalDpi(), 144);
    setenv("ZENDRA_DPI", "192", 1);
    EXPECT_EQ(window->LogicalDpi(), 192);
    unsetenv("ZENDRA_DPI");

    window->Maximize();
    window->PumpPending();
    EXPECT_EQ(window->State(), WindowState::Maximized);
    EXPECT_EQ(window->ClientWidth(), 1280);
    EXPECT_EQ(window->ClientHeight(), 1000);
    ASSERT_FALSE(rec.Take(EventKind::Size).empty());
    EXPECT_EQ(rec.Take(EventKind::Size).back().state, WindowState::Maximized);
    window->Restore();
    window->PumpPending();
    EXPECT_EQ(window->ClientWidth(), 64);
    window->SetMinimumSize(100, 80);
    input->InjectResize(50, 50);
    window->PumpPending();
    EXPECT_EQ(window->ClientWidth(), 100);
    EXPECT_EQ(window->ClientHeight(), 80);

    EXPECT_TRUE(window->IsActive());
    window->SetCapture();
    EXPECT_TRUE(input->MouseCaptured());
    input->InjectKey(vk::Shift, true, false);
    window->PumpPending();
    EXPECT_TRUE(window->IsKeyDown(vk::Shift));
    rec.events.clear();
    input->InjectActivate(false);
    window->PumpPending();
    EXPECT_FALSE(window->IsActive());
    EXPECT_FALSE(window->HasCapture());
    EXPECT_FALSE(input->MouseCaptured());
    EXPECT_FALSE(window->IsKeyDown(vk::Shift)) << "keys are released with the focus";
    ASSERT_EQ(rec.events.size(), 2u);
    EXPECT_EQ(rec.events[0].kind, EventKind::CaptureLost);
    EXPECT_EQ(rec.events[1].kind, EventKind::Activate);
    EXPECT_FALSE(rec.events[1].active);

    window->SetCursor(StandardCursor::IBeam);
    EXPECT_EQ(input->CurrentStandardCursor(), StandardCursor::IBeam);
    EXPECT_FALSE(input->CursorIsCustom());
    window->SetCursor(CustomCursor {});
    EXPECT_TRUE(input->CursorIsCustom());
    window->SetTextInputPosition({ 12, 34 });
    EXPECT_EQ(input->TextInputPosition(), (Point { 12, 34 }));

    rec.events.clear();
    input->InjectDropFiles({ u"/tmp/a.jpg", u"/tmp/\u00FC.png" }, { 5, 6 });
    window->PumpPending();
    auto drops = rec.Take(EventKind::DropFiles);
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].files, (std::vector<String16> { u"/tmp/a.jpg", u"/tmp/\u00FC.png" }));
    EXPECT_EQ(drops[0].pos, (Point { 5, 6 }));
}

TEST(WindowBackendChoice, CommandLineBeatsEnvironment)
{
    struct Case {
        std::vector<const char*> args;
        const char* env;
        BackendKind expected;
    };
    const Case cases[] = {
        { {}, nullptr, BackendKind::Sdl },
        { {}, "headless", BackendKind::Headless },
        { {}, "bogus", BackendKind::Sdl },
        { { "--backend=headless" }, nullptr, BackendKind::Headless },
        { { "--backend=sdl" }, "headless", BackendKind::Sdl },
        { { "--backend=nothing" }, "headless", BackendKind::Headless },
        { { "o", "/tmp/x.jpg" }, nullptr, BackendKind::Sdl },
    };
    for (const Case& c : cases) {
        std::vector<char*> argv { const_cast<char*>("zendra") };
        for (const char* a : c.args)
            argv.push_back(const_cast<char*>(a));
        if (c.env)
            setenv("ZENDRA_BACKEND", c.env, 1);
        else
            unsetenv("ZENDRA_BACKEND");
        EXPECT_EQ(ChooseBackend(int(argv.size()), argv.data()), c.expected) << (c.env ? c.env : "-");
    }
    unsetenv("ZENDRA_BACKEND");
}

TEST(SdlTranslation, VirtualKeys)
{
    struct Case {
        SDL_Scancode scancode;
        SDL_Keycode keycode;
        uint32_t expected;
        bool extended;
    };
    const Case cases[] = {
        { SDL_SCANCODE_A, SDLK_a, 'A', false },
        { SDL_SCANCODE_Q, SDLK_a, 'A', false }, // AZERTY: the key labelled A
        { SDL_SCANCODE_F, 0x0430, 'F', false }, // Cyrillic layout: position decides
        { SDL_SCANCODE_1, SDLK_AMPERSAND, '1', false },
        { SDL_SCANCODE_0, SDLK_0, '0', false },
        { SDL_SCANCODE_TAB, SDLK_TAB, 9, false },
        { SDL_SCANCODE_RETURN, SDLK_RETURN, 13, false },
        { SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 13, true },
        { SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 27, false },
        { SDL_SCANCODE_LEFT, SDLK_LEFT, 37, true },
        { SDL_SCANCODE_UP, SDLK_UP, 38, true },
        { SDL_SCANCODE_RIGHT, SDLK_RIGHT, 39, true },
        { SDL_SCANCODE_DOWN, SDLK_DOWN, 40, true },
        { SDL_SCANCODE_F1, SDLK_F1, 112, false },
        { SDL_SCANCODE_F12, SDLK_F12, 123, false },
        { SDL_SCANCODE_F13, SDLK_F13, 124, false },
        { SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, vk::Shift, false },
        { SDL_SCANCODE_RCTRL, SDLK_RCTRL, vk::Control, true },
        { SDL_SCANCODE_RALT, SDLK_RALT, vk::Menu, true },
        { SDL_SCANCODE_DELETE, SDLK_DELETE, vk::Delete, true },
        { SDL_SCANCODE_KP_5, SDLK_KP_5, vk::Numpad0 + 5, false },
        { SDL_SCANCODE_MINUS, SDLK_MINUS, vk::OemMinus, false },
        { SDL_SCANCODE_MUTE, SDLK_MUTE, 0, false },
    };
    for (const Case& c : cases) {
        bool extended = !c.extended;
        EXPECT_EQ(VirtualKeyFromSdl(c.scancode, c.keycode, extended), c.expected)
            << SDL_GetScancodeName(c.scancode);
        EXPECT_EQ(extended, c.extended) << SDL_GetScancodeName(c.scancode);
    }
}

TEST(SdlTranslation, XftDpiFromTheResourceString)
{
    struct Case {
        const char* resources;
        int expected;
    };
    const Case cases[] = {
        { nullptr, 0 },
        { "", 0 },
        { "Xft.dpi:\t96\n", 96 },
        { "Xcursor.size:\t24\nXft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n", 144 },
        { "Xft.dpi: 120.4", 120 },
        { "Xft.dpi:\t0\n", 0 },
        { "Xft.dpi:\tabc\n", 0 },
        { "NotXft.dpi:\t200\n", 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseXftDpi(c.resources), c.expected) << (c.resources ? c.resources : "null");
}

TEST(SdlTranslation, FrameAreasBecomeHitTestAnswers)
{
    const std::pair<HitArea, SDL_HitTestResult> cases[] = {
        { HitArea::Client, SDL_HITTEST_NORMAL },
        { HitArea::Caption, SDL_HITTEST_DRAGGABLE },
        { HitArea::Left, SDL_HITTEST_RESIZE_LEFT },
        { HitArea::Right, SDL_HITTEST_RESIZE_RIGHT },
        { HitArea::Top, SDL_HITTEST_RESIZE_TOP },
        { HitArea::Bottom, SDL_HITTEST_RESIZE_BOTTOM },
        { HitArea::TopLeft, SDL_HITTEST_RESIZE_TOPLEFT },
        { HitArea::TopRight, SDL_HITTEST_RESIZE_TOPRIGHT },
        { HitArea::BottomLeft, SDL_HITTEST_RESIZE_BOTTOMLEFT },
        { HitArea::BottomRight, SDL_HITTEST_RESIZE_BOTTOMRIGHT },
    };
    for (const auto& [area, expected] : cases)
        EXPECT_EQ(SdlHitTestFor(area), int(expected)) << int(area);
}

TEST(SdlTranslation, CursorPlanes)
{
    // One pixel of each kind in the first byte: AND 0011, XOR 0101 ->
    // black, white, transparent, inverted.
    CustomCursor cursor;
    cursor.andPlane[0] = 0x30;
    cursor.xorPlane[0] = 0x50;
    uint8_t data[128], mask[128];
    SdlCursorPlanes(cursor, data, mask);
    // SDL: black d1 m1, white d0 m1, transparent d0 m0, inverted d1 m0.
    EXPECT_EQ(data[0] & 0xF0, 0x90);
    EXPECT_EQ(mask[0] & 0xF0, 0xC0);
    // An all-zero cursor is solid black.
    EXPECT_EQ(data[127], 0xFF);
    EXPECT_EQ(mask[127], 0xFF);
}

TEST_F(HeadlessWindow, PresentOfSeveralPartsCopiesEachApart)
{
    std::vector<uint8_t> back(size_t(64) * 48 * 4, 0x77);
    const BitmapView view { back.data(), 64, 48, 64 * 4 };
    const std::vector<PresentRect> parts { { { 0, 0, 8, 8 }, { 0, 0 } }, { { 56, 40, 64, 48 }, { 56, 40 } },
        { { 0, 0, 4, 4 }, { 100, 100 } } }; // the last one is off the window
    std::thread([&] { window->Present(view, parts); }).join();
    int w = 0, h = 0;
    const std::vector<uint8_t> surface = input->ReadSurface(w, h);
    auto at = [&](int x, int y) { return surface[(size_t(y) * w + x) * 4]; };
    EXPECT_EQ(at(0, 0), 0x77);
    EXPECT_EQ(at(7, 7), 0x77);
    EXPECT_EQ(at(63, 47), 0x77);
    EXPECT_EQ(at(56, 40), 0x77);
    EXPECT_EQ(at(8, 8), 0) << "between the parts";
    EXPECT_EQ(at(30, 20), 0);
    EXPECT_EQ(at(55, 47), 0);
}

TEST_F(HeadlessWindow, AnActivatingPressComesAfterTheActivation)
{
    input->InjectActivate(false);
    window->PumpPending();
    rec.events.clear();
    // The window system told the press first.
    input->InjectMouseMove({ 10, 10 });
    input->InjectButton(MouseButton::Left, true, { 10, 10 });
    input->InjectActivate(true);
    input->InjectButton(MouseButton::Left, false, { 10, 10 });
    window->PumpPending();
    ASSERT_EQ(rec.events.size(), 4u);
    EXPECT_EQ(rec.events[0].kind, EventKind::Activate);
    EXPECT_TRUE(rec.events[0].active);
    EXPECT_EQ(rec.events[1].kind, EventKind::MouseMove);
    EXPECT_EQ(rec.events[2].kind, EventKind::ButtonDown);
    EXPECT_EQ(rec.events[3].kind, EventKind::ButtonUp);
}

TEST(WindowInputOrder, ActivationMovesBeforeThePointerInputJustAheadOfIt)
{
    using K = RawInput::Kind;
    auto make = [](K kind, bool flag) {
        RawInput r;
        r.kind = kind;
        r.active = flag;
        r.down = flag;
        return r;
    };
    struct Case {
        const char* name;
        bool active;
        std::vector<std::pair<K, bool>> in;
        std::vector<std::pair<K, bool>> out;
    };
    const Case cases[] = {
        { "press then activation", false, { { K::Button, true }, { K::Focus, true } },
            { { K::Focus, true }, { K::Button, true } } },
        { "move and press then activation", false,
            { { K::Key, true }, { K::MouseMove, false }, { K::Button, true }, { K::Focus, true } },
            { { K::Key, true }, { K::Focus, true }, { K::MouseMove, false }, { K::Button, true } } },
        { "already active: kept", true, { { K::Button, true }, { K::Focus, true } },
            { { K::Button, true }, { K::Focus, true } } },
        { "a deactivation is never moved", false, { { K::Button, true }, { K::Focus, false } },
            { { K::Button, true }, { K::Focus, false } } },
        { "after losing the focus in the same batch", true,
            { { K::Focus, false }, { K::Button, true }, { K::Focus, true } },
            { { K::Focus, false }, { K::Focus, true }, { K::Button, true } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::deque<RawInput> input;
        for (auto [kind, flag] : c.in)
            input.push_back(make(kind, flag));
        OrderActivationFirst(input, c.active);
        ASSERT_EQ(input.size(), c.out.size());
        for (size_t i = 0; i < input.size(); ++i) {
            EXPECT_EQ(input[i].kind, c.out[i].first) << i;
            EXPECT_EQ(input[i].kind == K::Focus ? input[i].active : input[i].down, c.out[i].second) << i;
        }
    }
}

TEST_F(HeadlessWindow, PostsThroughAPosterFailOnceTheWindowIsGone)
{
    auto poster = window->Poster();
    EXPECT_TRUE(poster->PostMessage(0x8100, 1, 2));
    window->PumpPending();
    ASSERT_EQ(rec.Take(EventKind::Message).size(), 1u);
    // Threads keep posting while the window goes.
    std::atomic<bool> stop { false };
    std::atomic<int> failed { 0 };
    std::vector<std::thread> posters;
    for (int i = 0; i < 4; ++i) {
        posters.emplace_back([&] {
            while (!stop.load())
                failed += poster->PostMessage(0x8101) ? 0 : 1;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    window.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    for (auto& t : posters)
        t.join();
    EXPECT_GT(failed.load(), 0);
    EXPECT_FALSE(poster->PostMessage(0x8102));
}

TEST_F(HeadlessWindow, ClientSizeIsReadWholeFromAnotherThread)
{
    const std::pair<int, int> sizes[] = { { 64, 48 }, { 300, 20 }, { 20, 300 } };
    std::atomic<bool> stop { false };
    std::atomic<int> torn { 0 }, reads { 0 };
    std::thread reader([&] {
        while (!stop.load()) {
            int w = 0, h = 0;
            window->ClientSize(w, h);
            const bool known = std::any_of(std::begin(sizes), std::end(sizes),
                [&](const std::pair<int, int>& s) { return s.first == w && s.second == h; });
            torn += known ? 0 : 1;
            ++reads;
        }
    });
    for (int i = 0; i < 300 || reads.load() < 1000; ++i) {
        input->InjectResize(sizes[i % 3].first, sizes[i % 3].second);
        window->PumpPending();
    }
    input->InjectResize(64, 48);
    window->PumpPending();
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(window->ClientWidth(), 64);
    EXPECT_EQ(window->ClientHeight(), 48);
}

TEST_F(HeadlessWindow, TextInputSwitchScreenRectangleAndMove)
{
    EXPECT_FALSE(window->TextInputActive());
    EXPECT_FALSE(input->TextInputActive());
    window->StartTextInput();
    EXPECT_TRUE(input->TextInputActive());
    window->StopTextInput();
    EXPECT_FALSE(input->TextInputActive());

    const Rect start = window->ScreenRect();
    EXPECT_EQ(start.Width(), 64);
    window->MoveTo({ 300, 200, 400, 260 });
    window->PumpPending();
    EXPECT_EQ(window->ScreenRect(), (Rect { 300, 200, 400, 260 }));
    EXPECT_EQ(window->ClientWidth(), 100);
    EXPECT_EQ(window->ClientHeight(), 60);
    window->MoveTo({ 10, 10, 10, 50 }); // empty: ignored
    EXPECT_EQ(window->ScreenRect(), (Rect { 300, 200, 400, 260 }));
    input->InjectMouseMove({ 5, 6 });
    window->PumpPending();
    EXPECT_EQ(window->CursorScreenPos(), (Point { 305, 206 }));
}
