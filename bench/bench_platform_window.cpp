// Text and present costs the render thread pays every frame.
#include "platform/Font.h"
#include "platform/Window.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace platform;

namespace {

std::shared_ptr<Font> PinnedFont(int height)
{
    PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    auto font = Font::Create({ u"Tahoma", height, 400, false });
    PinFontFile("");
    return font;
}

// A typical widget label, glyphs already cached.
void BM_FontRenderCoverageLabel(benchmark::State& state)
{
    auto font = PinnedFont(14);
    for (auto _ : state)
        benchmark::DoNotOptimize(font->RenderCoverage(u"Brightness / Contrast"));
}
BENCHMARK(BM_FontRenderCoverageLabel);

// Creating a font (the text cache replaces it when the face or height changes).
void BM_FontCreate(benchmark::State& state)
{
    PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    for (auto _ : state)
        benchmark::DoNotOptimize(Font::Create({ u"Tahoma", 14, 400, false }));
    PinFontFile("");
}
BENCHMARK(BM_FontCreate);

// One 64 x 64 tile from a full-HD back buffer into the headless surface.
void BM_PresentTile(benchmark::State& state)
{
    struct Quiet : WindowListener {
        void OnEvent(Window&, const WindowEvent&) override { }
    } listener;
    WindowOptions options;
    options.width = 1920;
    options.height = 1080;
    auto window = Window::Create(BackendKind::Headless, options, &listener);
    std::vector<uint8_t> back(size_t(1920) * 1080 * 4, 0x80);
    BitmapView view { back.data(), 1920, 1080, 1920 * 4 };
    for (auto _ : state)
        window->Present(view, { 640, 320, 704, 384 }, { 640, 320 });
}
BENCHMARK(BM_PresentTile);

} // namespace
