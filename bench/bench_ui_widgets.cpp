// Widget frame costs at 1920 x 1080 logical, scale 1, one thread: a 200-item menu opening,
// scrolled by the wheel and closing (the slowest frame is what counts), and typing into an edit
// field holding 4096 characters (which tiles go out each frame).
#include "platform/Clock.h"
#include "ui/DialogSprite.h"
#include "ui/DrawnUiImages.h"
#include "ui/EditField.h"
#include "ui/Menu.h"
#include "ui/RenderWindow.h"

#include "bench/BenchUiWindow.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

namespace {

class Panel : public CMessageSprite {
public:
    Panel() { SetFlags(SF_INPUT); }
    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        for (uint32_t i = 0; i < m_image.pixelCount; ++i) {
            uint8_t* p = m_image.data + size_t(i) * 4;
            p[0] = p[1] = p[2] = 0x26;
            p[3] = 255;
        }
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
};

struct BenchWindow {
    platform::ManualTickSource clock{100000};
    platform::ScopedTickSource scoped{clock};
    CRenderWindow window;
    Panel* panel = nullptr;
    bool ok = false;

    BenchWindow()
    {
        SetUiImageSource(&DrawnUiImage);
        ok = OpenBenchWindow(window);
        if (!ok)
            return;
        panel = new Panel;
        panel->SetAutoDelete(1);
        panel->Create(nullptr, &window, 0, 10, 0, 0, 1920, 1080);
        window.AddTopLevel(panel);
        Frame();
    }
    // One frame; its wall time in milliseconds.
    double Frame()
    {
        clock.Advance(16);
        const auto start = std::chrono::steady_clock::now();
        window.RenderFrame(platform::GetTickCount32());
        window.PlatformWindow()->PumpPending();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
};

} // namespace

static void BM_Menu200OpenScrollClose(benchmark::State& state)
{
    BenchWindow b;
    if (!b.ok) {
        state.SkipWithError("no window");
        return;
    }
    g_bAnimation.store(1);
    CSMenu menu;
    menu.Create(nullptr, &b.window, 0, 200, 0, 0, 100, 100);
    menu.SetVisible(0);
    b.window.AddTopLevel(&menu);
    double worst = 0, total = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i) {
            const std::u16string label = u"Command number " + std::u16string(1, char16_t(u'A' + i % 26));
            menu.AddItemEx(nullptr, 100 + i, label.c_str(), nullptr, i % 10 == 0 ? u"Ctrl+K" : nullptr, 0, nullptr);
        }
        menu.Track(b.panel, 600, 1000, true, true); // flips up, scrolled to its end
        auto frame = [&] {
            const double ms = b.Frame();
            worst = std::max(worst, ms);
            total += ms;
            ++frames;
        };
        for (int i = 0; i < 6; ++i)
            frame(); // opening
        for (int i = 0; i < 30; ++i) {
            menu.OnMouseWheel(50, 500, 120);
            frame();
        }
        menu.OnKeyDown(platform::vk::Escape, 1, 0);
        for (int i = 0; i < 8 && menu.IsVisible(); ++i)
            frame();
        if (menu.IsVisible())
            menu.Close(0);
    }
    state.counters["worst frame ms"] = worst;
    state.counters["mean frame ms"] = frames ? total / double(frames) : 0;
    state.counters["frames"] = double(frames);
    b.window.ForgetTopLevel(&menu);
}
BENCHMARK(BM_Menu200OpenScrollClose)->Unit(benchmark::kMillisecond)->Iterations(20);

static void BM_EditTyping4096(benchmark::State& state)
{
    BenchWindow b;
    if (!b.ok) {
        state.SkipWithError("no window");
        return;
    }
    auto* edit = new CEditSprite;
    edit->SetAutoDelete(1);
    edit->Create(b.panel, nullptr, 5, 2, 200, 300, 900, 324);
    edit->Setup(nullptr);
    b.panel->AddChild(edit);
    std::u16string text;
    for (int i = 0; i < 4095; ++i)
        text.push_back(char16_t(u'a' + i % 26));
    edit->SetText(text.c_str());
    b.Frame();
    b.Frame();
    // The edit covers columns 3..14 of row 4 and possibly row 5: at most 24 tiles.
    const SRect r = edit->LocalToWindowRect({0, 0, edit->Width(), edit->Height()});
    const int editTiles = ((r.right - 1) / 64 - r.left / 64 + 1) * ((r.bottom - 1) / 64 - r.top / 64 + 1);
    const uint64_t before = b.window.PresentedTiles();
    int64_t frames = 0, framesBeyondEdit = 0;
    bool insert = true;
    for (auto _ : state) {
        if (insert)
            edit->OnChar(u'x', 1, 0);
        else
            edit->OnKeyDown(platform::vk::Back, 1, 0);
        insert = !insert;
        const uint64_t tilesBefore = b.window.PresentedTiles();
        b.Frame();
        // More tiles than the edit covers can only come from elsewhere (the window's periodic
        // full redraw).
        if (b.window.PresentedTiles() - tilesBefore > uint64_t(editTiles))
            ++framesBeyondEdit;
        ++frames;
    }
    state.counters["frames beyond edit"] = double(framesBeyondEdit);
    state.counters["tiles/frame"] = double(b.window.PresentedTiles() - before) / double(std::max<int64_t>(frames, 1));
    state.counters["edit tiles"] = editTiles;
}
BENCHMARK(BM_EditTyping4096)->Unit(benchmark::kMicrosecond);
