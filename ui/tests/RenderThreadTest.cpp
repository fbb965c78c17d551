// The toolkit's two threads on a private X server, with the real render thread: a dialog closed
// while the render thread composes its tiles, a sprite retired while it animates, an
// invalidation that comes while its tile is composed, a stalled X server during a present,
// keys, capture and focus of a sprite at a recycled address, the tab strip's close button under
// a slow pointer, and a window that sleeps when nothing moves.
#include "platform/Sync.h"
#include "ui/Button.h"
#include "ui/DialogSprite.h"
#include "ui/TabFrame.h"
#include "ui/TicketRegistry.h"
#include "LiveWindow.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <new>
#include <sstream>

using namespace std::chrono_literals;

// SDL opens libdbus, which keeps an allocation to the end of the process; not ours to fix.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

struct AnimationOff {
    AnimationOff() : saved(g_bAnimation.exchange(0)) {}
    ~AnimationOff() { g_bAnimation.store(saved); }
    int saved;
};

// A sprite whose composing can be held up from the test: the render thread then sits in the
// middle of a frame, holding RenderLock, with later tiles still to compose.
class HoldingSprite : public TestSprite {
public:
    using TestSprite::TestSprite;
    // The next compose of this sprite waits until released (or the limit passes).
    void HoldNextCompose() { m_hold.store(true); }
    bool WaitHolding(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!m_holding.load() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(1ms);
        return m_holding.load();
    }
    void Release() { m_release.store(true); }
    std::function<void()> whileHeld; // runs on the render thread inside the hold

    int HasContentIn(const SRect&) override
    {
        if (m_hold.exchange(false)) {
            m_holding.store(true);
            if (whileHeld)
                whileHeld();
            const auto end = std::chrono::steady_clock::now() + m_limit;
            while (!m_release.exchange(false) && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(1ms);
            m_holding.store(false);
        }
        return 1;
    }
    std::chrono::milliseconds m_limit{300};

private:
    std::atomic<bool> m_hold{false}, m_holding{false}, m_release{false};
};

TestSprite* AddLiveTop(CRenderWindow& w, TestSprite* s, SRect r, int z)
{
    s->SetAutoDelete(1);
    EXPECT_TRUE(s->Create(nullptr, &w, 0, z, r.left, r.top, r.right, r.bottom));
    w.AddTopLevel(s);
    return s;
}

uint32_t BackPixel(CRenderWindow& w, int x, int y)
{
    platform::ScopedLock lock(w.RenderLock());
    const ImageBuffer8& b = w.BackBuffer();
    if (!b.data || x >= b.width || y >= b.height)
        return 0;
    const uint8_t* p = b.data + (size_t(y) * b.width + x) * 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

// A window whose posted messages run a step of the test on the UI thread (inside a modal loop).
class ScriptedWindow : public CRenderWindow {
public:
    static constexpr uint32_t kStep = 0x7F01;
    std::function<void()> step;
    void OnWindowMessage(uint32_t message, uintptr_t, intptr_t) override
    {
        if (message == kStep && step)
            step();
    }
};

// A dialog control that asks the window for its top-level list while it is destroyed, as any
// control may do from its destructor: the dialog's end must not hold the dialog's lock then.
class AskingControl : public TestSprite {
public:
    explicit AskingControl(CRenderWindow* w) : TestSprite(0xFF505050, true), m_window(w) {}
    ~AskingControl() override { asked = m_window->TopLevelSprites().size(); }
    static inline std::atomic<size_t> asked{0};

private:
    CRenderWindow* m_window;
};

} // namespace

TEST(RenderThread, DialogClosedWhileTheRenderThreadComposesItsTilesDoesNotDeadlock)
{
    live::Watchdog watchdog(30s, "closing a dialog during a frame");
    AnimationOff anim;
    auto* scripted = new ScriptedWindow;
    live::Window lw(640, 480, scripted);
    ASSERT_TRUE(lw.opened) << "no window on the private X server";
    CRenderWindow& w = *lw.window;
    // The held sprite lies in the first tile row, the dialog below it: in the frame, the dialog's
    // tiles come after the hold.
    auto* slow = static_cast<HoldingSprite*>(AddLiveTop(w, new HoldingSprite(0xFF303030, false), {0, 0, 64, 64}, 5));
    CDialogSprite dialog;
    ASSERT_TRUE(dialog.CreateFromRecords(300, {}, u"Question", 240, 100, 0, 0, 0, 0));
    ASSERT_GE(dialog.Rect().top, 128);
    auto* control = new AskingControl(&w);
    control->SetAutoDelete(1);
    ASSERT_TRUE(control->Create(&dialog, &w, 77, 0, 20, 50, 120, 80));
    dialog.AddChild(control);
    bool stepped = false;
    scripted->step = [&] {
        // The frame starts with the dialog on screen and stops in its first tile...
        slow->HoldNextCompose();
        w.InvalidateAll();
        ASSERT_TRUE(slow->WaitHolding(5s));
        // ...while the user answers: the dialog ends (after its 100 ms pause) with the render
        // thread still inside the frame, the dialog's tiles yet to come.
        dialog.SetResult(1);
        stepped = true;
    };
    slow->m_limit = 500ms;
    std::thread poster([&] {
        std::this_thread::sleep_for(300ms);
        w.PlatformWindow()->PostMessage(ScriptedWindow::kStep, 0, 0);
    });
    const int result = dialog.DoModal();
    poster.join();
    EXPECT_TRUE(stepped);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(lw.WaitFrames(3)) << "the render thread goes on drawing";
    EXPECT_GT(AskingControl::asked.load(), 0u);
    watchdog.Done();
}

namespace {

// Counts every call the render thread makes into it after its destruction has begun.
class WatchedSprite : public TestSprite {
public:
    WatchedSprite(std::atomic<bool>& dying, std::atomic<int>& late) : TestSprite(0xFF0000FF, true), m_dying(dying), m_late(late) {}
    ~WatchedSprite() override
    {
        m_dying.store(true);
        // Several frames long: a render thread that can still reach this sprite will.
        std::this_thread::sleep_for(150ms);
    }
    int OnDraw(uint32_t t) override
    {
        if (m_dying.load())
            ++m_late;
        SetAllDirty(1); // animates: redrawn every frame
        return TestSprite::OnDraw(t);
    }
    int HasContentIn(const SRect&) override
    {
        if (m_dying.load())
            ++m_late;
        return 1;
    }

private:
    std::atomic<bool>& m_dying;
    std::atomic<int>& m_late;
};

} // namespace

TEST(RenderThread, RetiredAnimatingSpriteIsNeverDrawnOnceItsDestructionBegins)
{
    live::Watchdog watchdog(30s, "retiring sprites");
    live::Window lw;
    ASSERT_TRUE(lw.opened);
    CRenderWindow& w = *lw.window;
    struct Case { bool child; const char* what; };
    for (const Case c : {Case{false, "top-level"}, Case{true, "child of a shown panel"}}) {
        SCOPED_TRACE(c.what);
        std::atomic<bool> dying{false};
        std::atomic<int> late{0};
        TestSprite* panel = nullptr;
        auto* s = new WatchedSprite(dying, late);
        s->SetAutoDelete(1);
        if (c.child) {
            panel = AddLiveTop(w, new TestSprite(0xFF202020, false), {0, 0, 300, 300}, 3);
            ASSERT_TRUE(s->Create(panel, &w, 0, 0, 40, 40, 200, 200));
            panel->AddChild(s);
        } else {
            ASSERT_TRUE(s->Create(nullptr, &w, 0, 10, 40, 40, 200, 200));
            w.AddTopLevel(s);
        }
        ASSERT_TRUE(lw.WaitFrames(3));
        EXPECT_TRUE(s->IsPublished());
        const uint64_t framesBefore = w.FramesDone();
        s->Retire();
        // Freed on this thread once a frame has passed, when the window's message comes.
        EXPECT_TRUE(lw.PumpUntil([&] { return dying.load(); }, 5s)) << "never freed";
        EXPECT_GT(w.FramesDone(), framesBefore) << "freed before the render thread's next frame";
        EXPECT_TRUE(lw.WaitFrames(3));
        EXPECT_EQ(late.load(), 0) << "the render thread drew the sprite while it was being destroyed";
        if (panel)
            panel->Retire();
    }
    watchdog.Done();
}

TEST(RenderThreadDeath, DeletingAPublishedSpriteInPlaceStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            UiTestWindow t;
            auto* s = new TestSprite;
            s->Create(nullptr, t.window.get(), 42, 10, 0, 0, 50, 50);
            t.window->AddTopLevel(s);
            delete s;
        },
        "published sprite \\(id 42\\) was deleted in place");
    // Taken out first, the same sprite may go: it is no longer published.
    UiTestWindow t;
    auto* s = new TestSprite;
    ASSERT_TRUE(s->Create(nullptr, t.window.get(), 43, 10, 0, 0, 50, 50));
    t.window->AddTopLevel(s);
    t.window->Withdraw(s);
    EXPECT_FALSE(s->IsPublished());
    delete s;
}

TEST(RenderThread, SpriteHiddenWhileItsTileIsComposedGoesAtTheNextFrame)
{
    live::Watchdog watchdog(30s, "an invalidation during a compose");
    live::Window lw;
    ASSERT_TRUE(lw.opened);
    CRenderWindow& w = *lw.window;
    // Tile (1, 1): a grey ground, a red square over it, and above both a clear sprite whose
    // compose the test holds, after the red square is already in the back buffer.
    AddLiveTop(w, new TestSprite(0xFF404040, false), {64, 64, 128, 128}, 1);
    TestSprite* red = AddLiveTop(w, new TestSprite(0xFF0000FF, false), {80, 80, 112, 112}, 2);
    auto* top = static_cast<HoldingSprite*>(AddLiveTop(w, new HoldingSprite(0x00000000, false), {64, 64, 128, 128}, 3));
    ASSERT_TRUE(lw.WaitFrames(3));
    ASSERT_EQ(BackPixel(w, 96, 96), 0x0000FFu) << "the red square is drawn";
    top->HoldNextCompose();
    w.InvalidateWindowRect(64, 64, 128, 128);
    ASSERT_TRUE(top->WaitHolding(5s));
    // The UI thread hides the square now: its area is marked while the tile is being composed.
    red->SetVisible(0);
    top->Release();
    EXPECT_TRUE(lw.WaitFrames(4));
    EXPECT_EQ(BackPixel(w, 96, 96), 0x404040u) << "the hidden square stayed on screen";
    watchdog.Done();
}

namespace {

// The private X server's process: our own child named Xvfb.
pid_t XServerProcess()
{
    DIR* d = opendir("/proc");
    if (!d)
        return -1;
    pid_t found = -1;
    while (dirent* e = readdir(d)) {
        const pid_t pid = std::atoi(e->d_name);
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(Xvfb)") == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == getpid())
            found = pid;
    }
    closedir(d);
    return found;
}

} // namespace

TEST(RenderThread, StalledXServerDuringAPresentHoldsUpOnlyTheRenderThread)
{
    live::Watchdog watchdog(30s, "a present to a stalled X server");
    live::Window lw;
    ASSERT_TRUE(lw.opened);
    CRenderWindow& w = *lw.window;
    TestSprite* s = AddLiveTop(w, new TestSprite(0xFF00FF00, false), {0, 0, 640, 480}, 1);
    ASSERT_TRUE(lw.WaitFrames(3));
    const pid_t server = XServerProcess();
    ASSERT_GT(server, 0);
    const uint64_t presents = w.PresentCalls();
    ASSERT_EQ(kill(server, SIGSTOP), 0);
    s->SetColour(0xFF00FFFF); // a whole window of new pixels goes out
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (w.PresentCalls() == presents && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms); // well inside the present now
    // The UI thread needs RenderLock (a popup, a resize) while the present waits for the server.
    bool got = false;
    const auto lockEnd = std::chrono::steady_clock::now() + 1s;
    while (!got && std::chrono::steady_clock::now() < lockEnd) {
        got = w.RenderLock().TryLock();
        if (!got)
            std::this_thread::sleep_for(5ms);
    }
    if (got)
        w.RenderLock().Unlock();
    kill(server, SIGCONT);
    EXPECT_GT(w.PresentCalls(), presents) << "no present was started";
    EXPECT_TRUE(got) << "RenderLock was held through the present";
    EXPECT_TRUE(lw.WaitFrames(2));
    watchdog.Done();
}

TEST(RenderThread, KeysCaptureAndFocusDoNotPassToANewSpriteAtARecycledAddress)
{
    live::Watchdog watchdog(30s, "recycled addresses");
    live::Window lw;
    ASSERT_TRUE(lw.opened);
    CRenderWindow& w = *lw.window;
    alignas(TestSprite) unsigned char storage[sizeof(TestSprite)];
    auto* old = new (storage) TestSprite(0xFF808080, true, true);
    ASSERT_TRUE(old->Create(nullptr, &w, 1, 10, 100, 100, 200, 200));
    w.AddAccelerator(old, 'K', 0, 0);
    w.SetFocus(old, false);
    w.SetCapture(old);
    const int32_t oldTicket = old->Ticket();
    // Destroyed where the UI thread's lists are not cleaned (another thread): the records stay.
    std::thread([old] { old->~TestSprite(); }).join();
    auto* fresh = new (storage) TestSprite(0xFF808080, true, true);
    ASSERT_TRUE(fresh->Create(nullptr, &w, 2, 10, 100, 100, 200, 200));
    ASSERT_EQ(static_cast<void*>(fresh), static_cast<void*>(storage));
    ASSERT_NE(fresh->Ticket(), oldTicket);
    lw.Key('K');
    lw.Move(150, 150);
    lw.Pump();
    EXPECT_TRUE(fresh->keys.empty()) << "the old sprite's accelerator fired on the new one";
    EXPECT_TRUE(fresh->events.empty()) << "the old sprite's capture reached the new one";
    EXPECT_NE(w.Focus(), fresh) << "the old sprite's focus passed to the new one";
    lw.Key(platform::vk::Space);
    EXPECT_TRUE(fresh->keys.empty()) << "the old sprite's focus passed to the new one";
    fresh->~TestSprite();
    watchdog.Done();
}

namespace {

// A strip that shows a close button on the hovered tab, as the main window's strip does.
class ClosingStrip : public CSTabFrame {
public:
    CSButton close;
    int closes = 0;
    int flips = 0;

    int OnCreate() override
    {
        if (!CSTabFrame::OnCreate() || !close.Create(this, m_window, 11, 1, 0, 0, 16, 16) ||
            !close.Setup(nullptr, u"close.png", 0, 0, 0, 16, 16))
            return 0;
        close.SetVisible(0);
        AddChild(&close);
        return 1;
    }
    void OnMouseMove(int x, int y, uint32_t flags) override
    {
        const int before = m_hovered.load();
        CSTabFrame::OnMouseMove(x, y, flags);
        const int now = m_hovered.load();
        if (now == before)
            return;
        const bool wasShown = close.IsVisible() != 0;
        close.SetVisible(0);
        if (now >= 0) {
            int start = 0, end = 0;
            GetTabExtent(now, &start, &end);
            close.SetPos(end + m_stripLeft - m_scrollTarget.load() - 20, 8, 16, 16);
            close.SetVisible(1);
        }
        if (wasShown != (close.IsVisible() != 0))
            ++flips;
    }
    int OnSpriteMessage(SpriteMessage* m) override
    {
        if (m && m->code == MSG_COMMAND && m->sender == &close) {
            ++closes;
            return 1;
        }
        return CSTabFrame::OnSpriteMessage(m);
    }
    void ReleaseResources(int flag) override
    {
        RemoveChild(&close);
        close.ReleaseResources(flag);
        CSTabFrame::ReleaseResources(flag);
    }
    ~ClosingStrip() override { ClosingStrip::ReleaseResources(1); }
};

class PlainPage : public CSTabPage {
public:
    using CSTabPage::CSTabPage;
};

// The strip's own pictures, plain; everything else from the drawn stand-ins.
int StripImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::u16string n(name);
    if (n != u"roundframe.png" && n != u"tabtitlebk.png" && n != u"left.png" && n != u"right.png")
        return DrawnUiImage(folder, name, out);
    if (!AllocImage8(out, 24, n == u"tabtitlebk.png" ? 24 : 16))
        return 0;
    const uint32_t colour = n == u"roundframe.png" ? 0xFF101010 : 0xFF303030;
    for (uint32_t i = 0; i < out.pixelCount; ++i)
        std::memcpy(out.data + size_t(i) * 4, &colour, 4);
    return 1;
}

} // namespace

TEST(RenderThread, CloseButtonOfTheHoveredTabStaysUnderASlowPointerAndTakesTheClick)
{
    live::Watchdog watchdog(30s, "the close button");
    AnimationOff anim;
    live::Window lw;
    ASSERT_TRUE(lw.opened);
    CRenderWindow& w = *lw.window;
    SetUiImageSource(&StripImages);
    ResetSharedUiImages();
    TestSprite* ground = AddLiveTop(w, new TestSprite(0xFF202020, true), {0, 0, 640, 480}, 1);
    auto* strip = new ClosingStrip;
    strip->SetAutoDelete(1);
    ASSERT_TRUE(strip->Create(ground, &w, 5, 0, 0, 600, 300, 1));
    ground->AddChild(strip);
    strip->SetPos(0, 0, 600, 300);
    for (const char16_t* title : {u"First", u"Second", u"Third"}) {
        auto* page = new PlainPage(title);
        page->SetAutoDelete(1);
        ASSERT_GE(strip->AddPage(page), 0);
    }
    ASSERT_TRUE(lw.WaitFrames(3));
    int start = 0, end = 0;
    strip->GetTabExtent(1, &start, &end);
    const int y = 16;
    // Onto the second tab, then right one pixel at a time across the whole close button.
    lw.Move(strip->StripLeft() + start + 5, y);
    ASSERT_EQ(strip->Hovered(), 1);
    ASSERT_TRUE(strip->close.IsVisible());
    const SRect button = strip->close.Rect();
    const int flipsBefore = strip->flips;
    for (int x = button.left - 4; x < button.right + 2; ++x) {
        lw.Move(x, y);
        EXPECT_EQ(strip->Hovered(), 1) << "x " << x;
        EXPECT_TRUE(strip->close.IsVisible()) << "x " << x;
        if (x % 4 == 0)
            lw.WaitFrames(1);
    }
    EXPECT_EQ(strip->flips, flipsBefore) << "the button came and went under the pointer";
    // A click on the button's middle closes; the tab is not selected instead.
    const int cx = (button.left + button.right) / 2, cy = (button.top + button.bottom) / 2;
    lw.Move(cx, cy);
    lw.Button(cx, cy, true);
    lw.Button(cx, cy, false);
    EXPECT_TRUE(lw.PumpUntil([&] { return strip->closes > 0; }, 3s));
    EXPECT_EQ(strip->closes, 1);
    EXPECT_EQ(strip->Selected(), 0);
    watchdog.Done();
}

TEST(RenderThread, WindowWithNothingMovingSleepsAndWakesForAChange)
{
    live::Watchdog watchdog(30s, "an idle window");
    live::Window lw;
    ASSERT_TRUE(lw.opened);
    CRenderWindow& w = *lw.window;
    TestSprite* s = AddLiveTop(w, new TestSprite(0xFF00FF00, false), {0, 0, 100, 100}, 1);
    ASSERT_TRUE(lw.WaitFrames(2));
    ASSERT_TRUE(lw.PumpUntil([&] { return w.RenderThreadSleeping(); }, 3s)) << "the render thread never slept";
    const uint64_t frames = w.FramesDone(), presents = w.PresentCalls(), sleeps = w.RenderSleeps();
    lw.PumpUntil([] { return false; }, 1500ms);
    EXPECT_EQ(w.FramesDone(), frames) << "frames while nothing changed";
    EXPECT_EQ(w.PresentCalls(), presents);
    EXPECT_EQ(w.RenderSleeps(), sleeps) << "the render thread woke with nothing to do";
    // A change from the UI thread wakes it for the frame that shows it.
    s->SetColour(0xFF0000FF);
    EXPECT_TRUE(lw.PumpUntil([&] { return w.PresentCalls() > presents; }, 3s));
    EXPECT_TRUE(lw.PumpUntil([&] { return BackPixel(w, 50, 50) == 0x0000FFu; }, 3s));
    watchdog.Done();
}
