// Text and present costs the render thread pays every frame.
#include "platform/Clock.h"
#include "platform/Font.h"
#include "platform/Thread.h"
#include "platform/Window.h"
#include "platform/tests/TestXServer.h"

#include <benchmark/benchmark.h>

#include <cstring>
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

// Presenting to a real window on a private 1920 x 1080 X server (Xvfb), by each path the SDL
// backend has: X shared memory, plain X image requests (a remote display), and SDL's window
// surface (not X11). Each beside a memcpy of the same bytes between two back buffers.
namespace {

enum class Path { Shm, PutImage, Sdl };
enum class Shape { Tile, Frame, Scattered16 };
constexpr int kW = 1920, kH = 1080;

std::vector<PresentRect> PartsOf(Shape shape)
{
    std::vector<PresentRect> parts;
    auto tile = [&](int x, int y) { parts.push_back({ { x, y, x + 64, y + 64 }, { x, y } }); };
    switch (shape) {
    case Shape::Tile:
        tile(640, 320);
        break;
    case Shape::Frame:
        parts.push_back({ { 0, 0, kW, kH }, { 0, 0 } });
        break;
    case Shape::Scattered16:
        for (int i = 0; i < 16; ++i) // a 4 x 4 spread over the whole window
            tile(64 + (i % 4) * 576, 32 + (i / 4) * 320);
        break;
    }
    return parts;
}

bool StartXServer()
{
    static testx::XServer* server = nullptr;
    if (!server) {
        server = new testx::XServer(); // kept to the end of the process
        if (!server->Start("1920x1080x24"))
            return false;
        setenv("DISPLAY", server->Name().c_str(), 1);
    }
    return server->Display() >= 0;
}

struct Quiet : WindowListener {
    void OnEvent(Window&, const WindowEvent&) override { }
};

void BM_Present(benchmark::State& state, Path path, Shape shape)
{
    if (!StartXServer()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    setenv("ZENDRA_X11_PRESENT", path == Path::Sdl ? "0" : "1", 1);
    setenv("ZENDRA_X11_SHM", path == Path::Shm ? "1" : "0", 1);
    Quiet listener;
    WindowOptions options;
    options.width = kW;
    options.height = kH;
    options.borderless = true;
    auto window = Window::Create(BackendKind::Sdl, options, &listener);
    unsetenv("ZENDRA_X11_PRESENT");
    unsetenv("ZENDRA_X11_SHM");
    if (!window) {
        state.SkipWithError("no window");
        return;
    }
    window->Show();
    for (int i = 0; i < 20; ++i) {
        window->PumpPending();
        SleepMs(5);
    }
    std::vector<uint8_t> back(size_t(kW) * kH * 4, 0x80);
    const BitmapView view { back.data(), kW, kH, kW * 4 };
    const std::vector<PresentRect> parts = PartsOf(shape);
    for (auto _ : state) {
        window->Present(view, parts);
        back[0] ^= 1;
    }
    window->Destroy();
}

void BM_MemcpySameBytes(benchmark::State& state, Shape shape)
{
    std::vector<uint8_t> from(size_t(kW) * kH * 4, 0x80), to(size_t(kW) * kH * 4);
    const std::vector<PresentRect> parts = PartsOf(shape);
    for (auto _ : state) {
        for (const PresentRect& p : parts) {
            for (int y = p.source.top; y < p.source.bottom; ++y)
                std::memcpy(&to[(size_t(y) * kW + p.dest.x) * 4], &from[(size_t(y) * kW + p.source.left) * 4],
                    size_t(p.source.Width()) * 4);
        }
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK_CAPTURE(BM_Present, Tile_Shm, Path::Shm, Shape::Tile)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Present, Tile_PutImage, Path::PutImage, Shape::Tile)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Present, Tile_SdlSurface, Path::Sdl, Shape::Tile)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MemcpySameBytes, Tile, Shape::Tile)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Present, Frame_Shm, Path::Shm, Shape::Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Present, Frame_PutImage, Path::PutImage, Shape::Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Present, Frame_SdlSurface, Path::Sdl, Shape::Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MemcpySameBytes, Frame, Shape::Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Present, Scattered16_Shm, Path::Shm, Shape::Scattered16)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Present, Scattered16_PutImage, Path::PutImage, Shape::Scattered16)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Present, Scattered16_SdlSurface, Path::Sdl, Shape::Scattered16)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MemcpySameBytes, Scattered16, Shape::Scattered16)->Unit(benchmark::kMicrosecond);

} // namespace
