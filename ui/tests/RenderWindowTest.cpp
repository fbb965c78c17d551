// The render window on the headless backend: sprite-message delivery, the frame loop's
// accounting, inactive dimming, display scales, resizes, tooltips, the real render thread on the
// manual clock, and the window's end.
#include "ui/Effects.h"
#include "ui/Frame.h"
#include "ui/FocusIndicate.h"
#include "ui/Progress.h"
#include "ui/TicketRegistry.h"
#include "ui/Tip.h"
#include "ui/TileScale.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Counts deliveries in a place that outlives the sprite.
struct Deliveries {
    std::vector<std::pair<const void*, int>> log;
};

class RecordingSprite : public CMessageSprite {
public:
    RecordingSprite(Deliveries& d) : m_d(d) { SetFlags(SF_INPUT); }
    int OnSpriteMessage(SpriteMessage* m) override
    {
        m_d.log.push_back({this, int(m->param1)});
        return CMessageSprite::OnSpriteMessage(m);
    }

private:
    Deliveries& m_d;
};

TestSprite* AddTopLevel(CRenderWindow& w, SRect r, uint32_t colour, int z = 10, bool input = true)
{
    auto* s = new TestSprite(colour, input);
    s->SetAutoDelete(1);
    EXPECT_TRUE(s->Create(nullptr, &w, 0, z, r.left, r.top, r.right, r.bottom));
    w.AddTopLevel(s);
    return s;
}

} // namespace

TEST(RenderWindowStart, MissingMemberImagesRefuseTheWindow)
{
    static const char16_t* missing = nullptr;
    const char16_t* const cases[] = {u"title.png", u"tip.png", u"tippoint.png", u"kbd.png"};
    for (const char16_t* name : cases) {
        missing = name;
        SetUiImageSource([](UiImageFolder f, const char16_t* n, ImageBuffer8& out) {
            if (std::u16string_view(n) == missing)
                return 0;
            return DrawnUiImage(f, n, out);
        });
        CRenderWindow window;
        RenderWindowOptions o;
        o.startRenderThread = false;
        o.maximize = false;
        EXPECT_EQ(window.Open(o), 0) << platform::Utf16ToUtf8(name);
        EXPECT_EQ(g_pLiveRenderWindow.load(), nullptr);
    }
    SetUiImageSource(nullptr);
    ResetSharedUiImages();
}

TEST(SpriteMessages, NothingReachesADestroyedOrReplacedRecipient)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    Deliveries d;
    alignas(RecordingSprite) unsigned char storage[sizeof(RecordingSprite)];
    auto* first = new (storage) RecordingSprite(d);
    ASSERT_TRUE(first->Create(nullptr, t.window.get(), 0, 0, 0, 0, 0, 0));
    EXPECT_TRUE(first->PostSpriteMessage(MSG_COMMAND, 1, 0, nullptr));
    first->~RecordingSprite();
    // A new sprite at the same address before the queue is pumped.
    auto* second = new (storage) RecordingSprite(d);
    ASSERT_TRUE(second->Create(nullptr, t.window.get(), 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(t.window->PendingMessageCount(), 1u);
    t.Pump();
    EXPECT_TRUE(d.log.empty()) << "the record named the first sprite's ticket";
    EXPECT_EQ(t.window->PendingMessageCount(), 0u) << "the record is freed all the same";
    EXPECT_TRUE(second->PostSpriteMessage(MSG_COMMAND, 2, 0, nullptr));
    t.Pump();
    ASSERT_EQ(d.log.size(), 1u);
    EXPECT_EQ(d.log[0].second, 2);
    second->~RecordingSprite();
    EXPECT_EQ(PostSpriteMessage(reinterpret_cast<CMessageSprite*>(storage), MSG_COMMAND, 3, 0, nullptr), 0)
        << "posting to a dead sprite is refused at once";
}

TEST(SpriteMessages, FourThreadsOfAThousandPostsArriveOnceInOrder)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    Deliveries d;
    RecordingSprite target(d);
    ASSERT_TRUE(target.Create(nullptr, t.window.get(), 0, 0, 0, 0, 0, 0));
    std::vector<std::thread> threads;
    std::atomic<int> refused{0};
    for (int th = 0; th < 4; ++th)
        threads.emplace_back([&, th] {
            for (int i = 0; i < 1000; ++i)
                if (!::PostSpriteMessage(&target, MSG_COMMAND, th * 10000 + i, 0, nullptr))
                    ++refused;
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(refused.load(), 0);
    t.Pump();
    ASSERT_EQ(d.log.size(), 4000u);
    int next[4] = {0, 0, 0, 0};
    for (const auto& [who, p] : d.log) {
        const int th = p / 10000, i = p % 10000;
        ASSERT_EQ(i, next[th]) << "thread " << th << " out of order or repeated";
        ++next[th];
    }
    EXPECT_EQ(t.window->PendingMessageCount(), 0u);
}

TEST(SpriteMessages, RefreshReachesEveryInputLevelOneMessageLater)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    Deliveries d;
    RecordingSprite root(d);
    root.Create(nullptr, t.window.get(), 0, 0, 0, 0, 10, 10);
    std::vector<RecordingSprite*> level1, level2;
    for (int i = 0; i < 2; ++i) {
        auto* c = new RecordingSprite(d);
        c->SetAutoDelete(1);
        c->Create(&root, nullptr, 0, 0, 0, 0, 5, 5);
        root.AddChild(c);
        level1.push_back(c);
        auto* g = new RecordingSprite(d);
        g->SetAutoDelete(1);
        g->Create(c, nullptr, 0, 0, 0, 0, 2, 2);
        c->AddChild(g);
        level2.push_back(g);
    }
    auto* plain = new CSprite; // takes no sprite messages: gets nothing
    plain->SetAutoDelete(1);
    plain->Create(&root, nullptr, 0, 0, 0, 0, 1, 1);
    root.AddChild(plain);
    root.PostSpriteMessage(MSG_REFRESH, 0, 0, nullptr);
    t.Pump();
    ASSERT_EQ(d.log.size(), 5u);
    EXPECT_EQ(d.log[0].first, &root);
    EXPECT_EQ(d.log[1].first, level1[0]);
    EXPECT_EQ(d.log[2].first, level1[1]);
    EXPECT_EQ(d.log[3].first, level2[0]);
    EXPECT_EQ(d.log[4].first, level2[1]);
    root.ReleaseResources(1);
}

TEST(RenderFrame, FullFrameFirstThenNothingUntilThe333rd)
{
    UiTestWindow t(640, 480);
    ASSERT_TRUE(t.opened);
    const uint64_t tiles = 10 * 8;
    t.Frame();
    EXPECT_EQ(t.window->PresentedTiles(), tiles) << "first frame draws everything";
    for (int frame = 2; frame <= 332; ++frame) {
        t.Frame();
        ASSERT_EQ(t.window->PresentedTiles(), tiles) << "idle frame " << frame << " presented something";
    }
    t.Frame(); // the 333rd
    EXPECT_EQ(t.window->PresentedTiles(), 2 * tiles);
    t.Frame();
    EXPECT_EQ(t.window->PresentedTiles(), 2 * tiles);
}

TEST(RenderFrame, ChangedSpriteRedrawsOnlyItsTiles)
{
    UiTestWindow t(640, 480);
    ASSERT_TRUE(t.opened);
    TestSprite* s = AddTopLevel(*t.window, {70, 70, 130, 100}, 0xFF102030);
    t.Frame();
    const uint64_t before = t.window->PresentedTiles();
    s->SetColour(0xFF405060);
    t.Frame();
    EXPECT_EQ(t.window->PresentedTiles() - before, 2u) << "columns 1-2 of row 1";
    EXPECT_EQ(t.SurfacePixel(100, 80), 0x405060u);
    // Hiding on the UI thread (outside Update) is drawn in the very next frame.
    s->SetVisible(0);
    t.Frame();
    EXPECT_EQ(t.SurfacePixel(100, 80) & 0xFFFFFF, t.SurfacePixel(100, 200) & 0xFFFFFF);
}

// Each frame reaches the window as one list of its dirty tiles (a row's neighbours joined),
// never as their bounding box; an idle frame presents nothing.
TEST(RenderFrame, OnePresentPerFrameWithTheDirtyTilesOnly)
{
    struct Case { int dpi; int clientW, clientH; double scale; };
    const Case cases[] = {{96, 640, 480, 1.0}, {144, 960, 720, 1.5}, {192, 1280, 960, 2.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        UiTestWindow t(c.clientW, c.clientH, c.dpi);
        ASSERT_TRUE(t.opened);
        TestSprite* a = AddTopLevel(*t.window, {70, 70, 130, 100}, 0xFF102030);    // tiles (1..2, 1)
        TestSprite* b = AddTopLevel(*t.window, {520, 400, 540, 420}, 0xFF405060);  // tile (8, 6)
        t.Frame();
        const uint64_t calls = t.window->PresentCalls();
        EXPECT_EQ(t.window->LastPresentParts().size(), 8u) << "first frame: the 8 full rows of tiles";
        t.Frame();
        EXPECT_EQ(t.window->PresentCalls(), calls) << "idle";
        a->SetColour(0xFF203040);
        b->SetColour(0xFF506070);
        t.Frame();
        EXPECT_EQ(t.window->PresentCalls(), calls + 1);
        const auto k = [&](int v) { return int(v * c.scale); };
        const std::vector<platform::PresentRect> expected = {
            {{k(64), k(64), k(192), k(128)}, {k(64), k(64)}},
            {{k(512), k(384), k(576), k(448)}, {k(512), k(384)}},
        };
        ASSERT_EQ(t.window->LastPresentParts().size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(t.window->LastPresentParts()[i].source, expected[i].source) << i;
            EXPECT_EQ(t.window->LastPresentParts()[i].dest, expected[i].dest) << i;
        }
        EXPECT_EQ(t.SurfacePixel(k(100), k(80)), 0x203040u);
        EXPECT_EQ(t.SurfacePixel(k(530), k(410)), 0x506070u);
    }
}

TEST(RenderFrame, InactiveWindowDrawsNewTilesAtHalfBrightness)
{
    UiTestWindow t(320, 240);
    ASSERT_TRUE(t.opened);
    AddTopLevel(*t.window, {100, 100, 164, 164}, 0xFFC86433); // B 0x33, G 0x64, R 0xC8
    t.Frame();
    EXPECT_EQ(t.SurfacePixel(120, 120), 0xC86433u);
    t.Input().InjectActivate(false);
    t.Pump();
    t.Frame();
    EXPECT_EQ(t.SurfacePixel(120, 120), 0x643219u);
    t.Input().InjectActivate(true);
    t.Pump();
    t.Frame();
    EXPECT_EQ(t.SurfacePixel(120, 120), 0xC86433u);
}

TEST(RenderFrame, ResizeReallocatesAndRedrawsEverything)
{
    UiTestWindow t(320, 240);
    ASSERT_TRUE(t.opened);
    t.Frame();
    t.Frame();
    const uint64_t before = t.window->PresentedTiles();
    t.Input().InjectResize(400, 300);
    t.Pump();
    t.Frame();
    EXPECT_EQ(t.window->BackBuffer().width, 400);
    EXPECT_EQ(t.window->BackBuffer().height, 300);
    EXPECT_EQ(t.window->PresentedTiles() - before, 7u * 5u);
    EXPECT_EQ(t.window->Frame()->Width(), 400) << "the frame is laid out to the new size";
}

TEST(RenderFrame, WindowsWiderThanTheFixedTileMapStayInBounds)
{
    UiTestWindow t(13000, 70);
    ASSERT_TRUE(t.opened);
    AddTopLevel(*t.window, {12900, 0, 13000, 70}, 0xFF204060);
    t.Frame();
    EXPECT_EQ(t.window->PresentedTiles(), uint64_t((13000 + 63) / 64) * 2);
    EXPECT_EQ(t.SurfacePixel(12950, 10), 0x204060u);
}

TEST(TileScale, ThreeHalvesRule)
{
    // A 2 x 2 back buffer: one group.
    ImageBuffer8 back, block;
    AllocImage8(back, 2, 2);
    const uint8_t px[4][4] = {{10, 20, 30, 200}, {50, 60, 70, 210}, {90, 100, 110, 220}, {130, 140, 151, 230}};
    std::memcpy(back.data, px, 16);
    ASSERT_TRUE(ScaleTileBlock(back, {0, 0, 2, 2}, 1.5, block));
    auto at = [&](int x, int y) { const uint8_t* p = block.data + (size_t(y) * block.width + x) * 4; return std::array<int, 4>{p[0], p[1], p[2], p[3]}; };
    auto avg = [](int a, int b) { return (a + b) >> 1; };
    EXPECT_EQ(at(0, 0), (std::array<int, 4>{10, 20, 30, 200})) << "corners whole";
    EXPECT_EQ(at(2, 0), (std::array<int, 4>{50, 60, 70, 210}));
    EXPECT_EQ(at(0, 2), (std::array<int, 4>{90, 100, 110, 220}));
    EXPECT_EQ(at(2, 2), (std::array<int, 4>{130, 140, 151, 230}));
    EXPECT_EQ(at(1, 0), (std::array<int, 4>{avg(10, 50), avg(20, 60), avg(30, 70), 0})) << "edges colour only";
    EXPECT_EQ(at(1, 2), (std::array<int, 4>{avg(90, 130), avg(100, 140), avg(110, 151), 0}));
    const int lb = avg(10, 90), rb = avg(50, 130);
    EXPECT_EQ(at(0, 1), (std::array<int, 4>{lb, avg(20, 100), avg(30, 110), 0}));
    EXPECT_EQ(at(2, 1), (std::array<int, 4>{rb, avg(60, 140), avg(70, 151), 0}));
    EXPECT_EQ(at(1, 1)[0], avg(lb, rb));
    FreeImageBuffer(back);
    FreeImageBuffer(block);
}

TEST(TileScale, DoubleRuleUsesNeighboursAndEdgeRepeats)
{
    ImageBuffer8 back, block;
    AllocImage8(back, 2, 2);
    const uint8_t px[4][4] = {{10, 20, 30, 255}, {50, 60, 70, 255}, {90, 100, 110, 255}, {130, 140, 150, 255}};
    std::memcpy(back.data, px, 16);
    ASSERT_TRUE(ScaleTileBlock(back, {0, 0, 2, 2}, 2.0, block));
    auto b = [&](int x, int y) { return int(block.data[(size_t(y) * block.width + x) * 4]); };
    // Pixel (0,0): every neighbour is itself.
    EXPECT_EQ(b(0, 0), 10);
    EXPECT_EQ(b(1, 1), 10);
    // Pixel (1,1) = 130: up 50, left 90, up-left 10.
    EXPECT_EQ(b(3, 3), 130);
    EXPECT_EQ(b(3, 2), (50 + 130) >> 1);
    EXPECT_EQ(b(2, 3), (90 + 130) >> 1);
    EXPECT_EQ(b(2, 2), (10 + 50 + 90 + 130) >> 2);
    // Pixel (1,0) = 50: up is itself (top edge), left 10.
    EXPECT_EQ(b(3, 0), 50);
    EXPECT_EQ(b(2, 1), (10 + 50) >> 1);
    EXPECT_EQ(b(2, 0), (10 + 50 + 10 + 50) >> 2);
    FreeImageBuffer(back);
    FreeImageBuffer(block);
}

TEST(TileScale, WindowPresentsTilesAsEnlargedBlocks)
{
    struct Case { int dpi; int clientW, clientH; double scale; int block; };
    const Case cases[] = {{144, 960, 720, 1.5, 96}, {192, 1280, 960, 2.0, 128}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        UiTestWindow t(c.clientW, c.clientH, c.dpi);
        ASSERT_TRUE(t.opened);
        EXPECT_EQ(t.window->DisplayScale(), c.scale);
        // Two opaque sprites meeting at the tile border x = 64.
        AddTopLevel(*t.window, {0, 0, 64, 64}, 0xFF0000C0);
        AddTopLevel(*t.window, {64, 0, 128, 64}, 0xFF00C000);
        t.Frame();
        EXPECT_EQ(t.window->LogicalWidth(), 640);
        EXPECT_EQ(t.window->BackBuffer().width, 640);
        EXPECT_EQ(t.SurfacePixel(c.block - 1, 10), 0x0000C0u) << "last pixel of the first block";
        EXPECT_EQ(t.SurfacePixel(c.block + 1, 10) & 0x00FF00, 0x00C000u) << "inside the second block";
        EXPECT_EQ(t.SurfacePixel(c.block + 1, c.block - 1) & 0x00FF00, 0x00C000u);
    }
}

TEST(Tooltip, PlacementKeepsTheTipInsideTheRightAndBottomEdges)
{
    UiTestWindow t(640, 480);
    ASSERT_TRUE(t.opened);
    CSTip& tip = *t.window->Tooltip();
    t.window->ShowTooltip(635, 100, u"Hello", false);
    ASSERT_TRUE(tip.IsVisible());
    EXPECT_EQ(tip.Rect().right, 640) << "moved left to end at the logical right edge";
    EXPECT_EQ(tip.Width(), tip.TextWidth() + 8);
    EXPECT_EQ(tip.Height(), tip.TextHeight() + 8);
    t.window->ShowTooltip(300, 100, u"Hello", true);
    EXPECT_EQ(tip.Rect().right, 300) << "right-aligned ends at x";
    t.window->ShowTooltip(10, 478, u"Hello", false);
    EXPECT_EQ(tip.Rect().bottom, 480);
    t.window->ShowTooltip(-20, 5, u"Hello", false);
    EXPECT_EQ(tip.Rect().left, -20) << "no clamp at the left";
    const int layouts = tip.LayoutCount();
    t.window->ShowTooltip(10, 10, u"Hello", false);
    EXPECT_EQ(tip.LayoutCount(), layouts) << "the same text is not laid out again";
    t.window->ShowTooltip(10, 10, u"One\r\n\r\nTwo", false);
    const int twoLines = tip.TextHeight();
    t.window->ShowTooltip(10, 10, u"One\r\nTwo", false);
    EXPECT_EQ(tip.TextHeight(), twoLines) << "runs of line breaks are one break";
    t.window->ShowTooltip(10, 10, u"One", false);
    EXPECT_EQ(tip.TextHeight() * 2, twoLines);
    t.window->HideTooltip();
    EXPECT_FALSE(tip.IsVisible());
}

TEST(RenderThread, DrawsOnTheManualClockAndIdlesWithoutPresenting)
{
    UiTestWindow t(320, 240, 96, true);
    ASSERT_TRUE(t.opened);
    TestSprite* s = AddTopLevel(*t.window, {0, 0, 64, 64}, 0xFF112233);
    auto waitFor = [&](auto cond) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!cond() && std::chrono::steady_clock::now() < end) {
            t.clock.Advance(30);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return cond();
    };
    ASSERT_TRUE(waitFor([&] { return t.SurfacePixel(10, 10) == 0x112233u; }));
    // Let the frames that were already under way finish, then count an idle stretch.
    for (int i = 0; i < 10; ++i) {
        t.clock.Advance(30);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    const uint64_t idle = t.window->PresentedTiles();
    for (int i = 0; i < 20; ++i) {
        t.clock.Advance(30);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    EXPECT_EQ(t.window->PresentedTiles(), idle);
    s->SetColour(0xFF445566);
    ASSERT_TRUE(waitFor([&] { return t.SurfacePixel(10, 10) == 0x445566u; }));
}

TEST(RenderWindowEnd, DestroyJoinsTheRenderThreadAndWaitsForWorkers)
{
    UiTestWindow t(320, 240, 96, true);
    ASSERT_TRUE(t.opened);
    platform::Event workerEnded(platform::Event::Reset::Manual);
    t.window->RegisterThreadExitEvent(&workerEnded);
    std::thread worker([&] {
        while (g_pLiveRenderWindow.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        workerEnded.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    t.window->Destroy();
    const auto took = std::chrono::steady_clock::now() - start;
    worker.join();
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(g_pRenderWindow.load(), nullptr);
    EXPECT_TRUE(workerEnded.IsSet());
}

TEST(RenderFrame, OpaqueDimmedLayerHidesWhatLiesBelowWithTheSamePixels)
{
    UiTestWindow t(320, 240);
    ASSERT_TRUE(t.opened);
    AddTopLevel(*t.window, {10, 10, 200, 200}, 0x80C86433);
    t.Frame();
    CDialogBaseLayer& layer = *t.window->DialogBaseLayer();
    {
        platform::ScopedLock lock(t.window->RenderLock());
        layer.SetSnapshot(t.window->BackBuffer());
    }
    const uint8_t* snap = layer.Image().data;
    const uint32_t expected = uint32_t(snap[(50 * 320 + 50) * 4]) * 0x010101u;
    layer.SetVisible(1);
    t.Frame();
    EXPECT_EQ(t.SurfacePixel(50, 50), expected);
    layer.SetVisible(0);
    t.Frame();
    EXPECT_NE(t.SurfacePixel(50, 50), expected) << "hidden again: the sprites below show";
}

TEST(RenderWindowStart, TheFirstLayoutComesWithoutASizeEvent)
{
    UiTestWindow t(500, 300);
    ASSERT_TRUE(t.opened);
    EXPECT_EQ(t.window->Frame()->Rect(), (SRect{0, 0, 500, 300}));
    EXPECT_EQ(t.window->DialogBaseLayer()->Rect(), (SRect{0, 0, 500, 300}));
}

TEST(SpriteMessages, AlgorithmProgressTravelsThroughTheTicketCheckedQueue)
{
    UiTestWindow t;
    ASSERT_TRUE(t.opened);
    EXPECT_EQ(GetAlgorithmHost(), t.window.get());
    EXPECT_TRUE(t.window->IsRenderWindowLive());
    Deliveries d;
    auto* listener = new RecordingSprite(d);
    ASSERT_TRUE(listener->Create(nullptr, t.window.get(), 0, 0, 0, 0, 0, 0));
    g_pAlgorithmListener.store(listener);
    PostAlgorithmMessage(40, 0);
    PostAlgorithmMessage(kAlgorithmJobDone + 3, kAlgorithmCancelled);
    t.Pump();
    ASSERT_EQ(d.log.size(), 2u);
    EXPECT_EQ(d.log[0].second, 40);
    EXPECT_EQ(d.log[1].second, kAlgorithmJobDone + 3);
    PostAlgorithmMessage(50, 0);
    delete listener; // gone before the UI thread gets to it
    t.Pump();
    EXPECT_EQ(d.log.size(), 2u);
    g_pAlgorithmListener.store(nullptr);
}

TEST(PopupMenu, DirectionRules)
{
    struct Case { int w, h; bool down, right; int x, y; int lw, lh; MenuPlacement expected; const char* why; };
    const Case cases[] = {
        {150, 200, true, true, 100, 990, 800, 1000, {100, false, true}, "10 px above the bottom: opens upwards"},
        {150, 200, true, true, 100, 100, 800, 1000, {100, true, true}, "room below"},
        {150, 200, false, true, 100, 150, 800, 1000, {100, true, true}, "upwards asked, too close to the top"},
        {150, 200, false, true, 100, 500, 800, 1000, {100, false, true}, "upwards with room"},
        {150, 900, true, true, 100, 400, 800, 1000, {100, true, true}, "no room either way: more room below"},
        {150, 200, true, true, 700, 100, 800, 1000, {550, true, false}, "rightwards without room: leftwards"},
        {150, 200, true, false, 100, 100, 800, 1000, {100, true, true}, "leftwards without room: rightwards at x"},
        {150, 200, true, false, 400, 100, 800, 1000, {250, true, false}, "leftwards with room"},
    };
    for (const Case& c : cases) {
        const MenuPlacement p = PlacePopupMenu(c.w, c.h, c.down, c.right, c.x, c.y, c.lw, c.lh);
        EXPECT_EQ(p.x, c.expected.x) << c.why;
        EXPECT_EQ(p.downwards, c.expected.downwards) << c.why;
        EXPECT_EQ(p.rightwards, c.expected.rightwards) << c.why;
    }
}
