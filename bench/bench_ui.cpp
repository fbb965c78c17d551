// The sprite engine's frame costs at 1920 x 1080 logical, scale 1, one thread: a full recompose of
// a realistic tree, one hovered button's frame, an idle frame, and a 40-character label.
#include "imaging/AlphaTables.h"
#include "imaging/TextRender.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "ui/Button.h"
#include "ui/DrawnUiImages.h"
#include "ui/Effects.h"
#include "ui/RenderWindow.h"

#include "bench/BenchUiWindow.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// A filled sprite with its own alpha, like a panel, a picture or a translucent overlay.
class FillSprite : public CMessageSprite {
public:
    explicit FillSprite(uint32_t bgra) : m_colour(bgra) { SetFlags(SF_INPUT); }
    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        for (uint32_t i = 0; i < m_image.pixelCount; ++i)
            std::memcpy(m_image.data + size_t(i) * 4, &m_colour, 4);
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }

private:
    uint32_t m_colour;
};

class BenchPopup : public CPopupSprite {
public:
    BenchPopup() { SetFlags(SF_INPUT | SF_DIM_POPUP); }
    int WantsDimmedBackground() override { return 1; }
    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        for (uint32_t i = 0; i < m_image.pixelCount; ++i) {
            uint8_t* p = m_image.data + size_t(i) * 4;
            p[0] = p[1] = p[2] = 0x30;
            p[3] = 235;
        }
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
};

struct BenchWindow {
    platform::ManualTickSource clock{100000};
    platform::ScopedTickSource scoped{clock};
    CRenderWindow window;
    bool ok = false;

    BenchWindow()
    {
        SetUiImageSource(&DrawnUiImage);
        ok = OpenBenchWindow(window);
        if (ok)
            Frame();
    }
    void Frame()
    {
        clock.Advance(30);
        window.RenderFrame(platform::GetTickCount32());
    }
};

} // namespace

static void BM_FullRecompose1080p(benchmark::State& state)
{
    BenchWindow b;
    if (!b.ok) {
        state.SkipWithError("no window");
        return;
    }
    // 60 sprites: big panels, rows of tiles, small translucent overlays; some nested.
    const uint8_t alphas[] = {255, 255, 200, 128, 64, 255};
    const int opacities[] = {255, 255, 255, 200, 128, 255, 96};
    for (int i = 0; i < 60; ++i) {
        const uint8_t a = alphas[i % 6];
        const uint32_t colour = uint32_t(40 + i * 3) | uint32_t(60 + i * 2) << 8 | uint32_t(80 + i) << 16 | uint32_t(a) << 24;
        auto* s = new FillSprite(colour);
        s->SetAutoDelete(1);
        const int x = (i % 10) * 190 + 10, y = (i / 10) * 170 + 60;
        const int w = i % 7 == 0 ? 380 : 170, h = i % 5 == 0 ? 300 : 150;
        s->Create(nullptr, &b.window, 0, 10 + i % 4, x, y, x + w, y + h);
        s->SetOpacity(opacities[i % 7]);
        b.window.AddTopLevel(s);
    }
    b.Frame();
    // Argument 1: a dialog is open over the dimmed layer (which hides everything below it).
    BenchPopup dialog;
    dialog.Create(nullptr, &b.window, 0, 160, 660, 340, 1260, 740);
    if (state.range(0))
        b.window.PushModal(&dialog);
    b.Frame();
    const uint64_t calls = b.window.PresentCalls();
    for (auto _ : state) {
        b.window.InvalidateAll();
        b.Frame();
    }
    state.counters["tiles/frame"] = double((1920 + 63) / 64 * ((1080 + 63) / 64));
    state.counters["presents/frame"] = double(b.window.PresentCalls() - calls) / double(state.iterations());
    state.counters["rects/present"] = double(b.window.LastPresentParts().size());
    if (state.range(0))
        b.window.PopModal(&dialog);
    b.Frame();
}
BENCHMARK(BM_FullRecompose1080p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

static void BM_HoveredButtonFrame(benchmark::State& state)
{
    BenchWindow b;
    if (!b.ok) {
        state.SkipWithError("no window");
        return;
    }
    auto* panel = new FillSprite(0xFF262626);
    panel->SetAutoDelete(1);
    panel->Create(nullptr, &b.window, 0, 10, 100, 100, 700, 500);
    b.window.AddTopLevel(panel);
    auto* button = new CSButton;
    button->SetAutoDelete(1);
    button->Create(panel, nullptr, 1, 0, 40, 40, 160, 72);
    button->Setup(u"Open picture", nullptr, 0, 40, 40, 160, 72);
    panel->AddChild(button);
    b.Frame();
    button->m_hovered.store(1);
    int level = 0;
    for (auto _ : state) {
        // Each frame the hover level moves one step, so the button redraws and its tiles go out.
        button->m_hoverLevel.store(level);
        level = (level + 1) % 6;
        b.Frame();
    }
}
BENCHMARK(BM_HoveredButtonFrame)->Unit(benchmark::kMicrosecond);

static void BM_IdleFrame(benchmark::State& state)
{
    BenchWindow b;
    if (!b.ok) {
        state.SkipWithError("no window");
        return;
    }
    const uint64_t before = b.window.PresentedTiles();
    for (auto _ : state)
        b.Frame();
    state.counters["tiles presented"] = double(b.window.PresentedTiles() - before);
}
BENCHMARK(BM_IdleFrame)->Unit(benchmark::kMicrosecond);

static void BM_Label40Characters(benchmark::State& state)
{
    ImageBuffer8 out;
    const char16_t* text = u"Adjust the white balance of this photo.";
    for (auto _ : state) {
        RenderTextLocked(text, out, nullptr, 0, 1024, nullptr);
        benchmark::DoNotOptimize(out.data);
    }
    FreeImageBuffer(out);
}
BENCHMARK(BM_Label40Characters)->Unit(benchmark::kMicrosecond);

// The real render thread on the real clock, 10 s with nothing changing: how many tiles go out
// (only the periodic full redraw) and how much processor time the process takes.
static void BM_IdleTenSecondsRenderThread(benchmark::State& state)
{
    SetUiImageSource(&DrawnUiImage);
    setenv("ZENDRA_DPI", "96", 1);
    for (auto _ : state) {
        CRenderWindow window;
        RenderWindowOptions o;
        o.window.width = 1920;
        o.window.height = 1080;
        o.maximize = false;
        o.startRenderThread = true;
        if (!window.Open(o)) {
            state.SkipWithError("no window");
            return;
        }
        window.PlatformWindow()->PumpPending();
        window.SetWindowReady(1);
        platform::SleepMs(1000); // the first full frame
        const uint64_t tiles = window.PresentedTiles();
        const uint64_t frames = window.PresentedFrames();
        const std::clock_t cpu = std::clock();
        platform::SleepMs(10000);
        state.counters["tiles presented"] = double(window.PresentedTiles() - tiles);
        state.counters["frames presenting"] = double(window.PresentedFrames() - frames);
        state.counters["cpu ms"] = double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC;
        window.Destroy();
    }
}
BENCHMARK(BM_IdleTenSecondsRenderThread)->Iterations(1)->Unit(benchmark::kSecond);

// References for the ratios: one 1080p frame copied, and one 1080p layer blended through the
// tables pixel by pixel (the per-pixel form of the toolkit blend).
static void BM_Reference1080pCopy(benchmark::State& state)
{
    std::vector<uint8_t> a(size_t(1920) * 1080 * 4, 7), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
    }
}
BENCHMARK(BM_Reference1080pCopy)->Unit(benchmark::kMillisecond);

static void BM_Reference1080pTableBlend(benchmark::State& state)
{
    BuildAlphaTables();
    const AlphaTables& t = *GetAlphaTables();
    std::vector<uint8_t> s(size_t(1920) * 1080 * 4), d(s.size(), 90);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = uint8_t(i * 37 + 11);
    for (auto _ : state) {
        for (size_t i = 0; i < s.size(); i += 4) {
            const int k = t.t1[200][s[i + 3]];
            for (int c = 0; c < 3; ++c)
                d[i + c] = uint8_t(t.t1[k][s[i + c]] + t.t2[k][d[i + c]]);
        }
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK(BM_Reference1080pTableBlend)->Unit(benchmark::kMillisecond);
