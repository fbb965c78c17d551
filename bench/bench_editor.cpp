// The editor's canvas at 1920 x 1080 on a 24-megapixel document of three layers (the
// background; two half-size layers in multiply and screen at opacity 128): a pan step and a
// wheel-zoom step at fit and at 100 % (the composition on the UI thread plus the render
// thread's copy), to be read beside the picture viewer's frame (BM_PicViewFrame24MP/0 of
// bench_ui_containers.cpp) in the same run. Then one layer composed into the view per blend
// mode, beside memcpy, a plain 16-bit alpha blend and `vips composite2` on one thread.
#include "bench/BenchDocument.h"
#include "bench/BenchHelpers.h"
#include "bench/BenchUiWindow.h"
#include "editor/EditView.h"
#include "editor/ViewRender.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "platform/Clock.h"
#include "ui/DrawnUiImages.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace benchdoc;

namespace {

constexpr int kScreenW = 1920, kScreenH = 1080;

// A canvas of 1920 x 1080 on the benchmark window, showing the document at fit.
struct CanvasBench {
    platform::ManualTickSource clock{100000};
    platform::ScopedTickSource scoped{clock};
    CRenderWindow window;
    CSEditView* view = nullptr;
    bool ok = false;
    uint32_t time = 1;

    explicit CanvasBench(int helpers)
    {
        UseHelpers(helpers);
        BuildGammaTables();
        SetUiImageSource(&CanvasBenchImages);
        ResetSharedUiImages();
        CZDDoc& doc = Document24();
        if (doc.LayerCount() != 3 || !OpenBenchWindow(window))
            return;
        view = new CSEditView;
        view->SetAutoDelete(1);
        if (!view->Create(nullptr, &window, 1, 10, 0, 0, kScreenW, kScreenH)) {
            delete view;
            view = nullptr;
            return;
        }
        window.AddTopLevel(view);
        view->SetPos(0, 0, kScreenW, kScreenH);
        view->SetDocument(&doc, nullptr);
        view->FitToWindow();
        Frame();
        ok = view->ViewBuffer().data != nullptr;
    }
    // The render thread's part: the canvas copies its view buffer into its image.
    void Frame()
    {
        time += 33;
        benchmark::DoNotOptimize(view->Update(time));
    }
    void Counters(benchmark::State& state) const
    {
        const VisibleRegion v = view->Visible();
        state.counters["zoom"] = view->Zoom();
        state.counters["shown_mpix"] = double(v.Width()) * v.Height() / 1e6;
        state.counters["screen_mpix"] = double(view->PictureRect().Width()) * view->PictureRect().Height() / 1e6;
    }
};

} // namespace

// A pan step: the origin moves by 16 image pixels and back, each step composed and copied.
// First argument 0: at fit (the whole picture is shown, so the step recomposes the same
// region); 1: at 100 %, from the middle of the picture. Second: helper threads (0: the UI
// thread alone, which is the work a step costs whatever the load of the machine).
static void BM_CanvasPanStep24MP(benchmark::State& state)
{
    CanvasBench b(int(state.range(1)));
    if (!b.ok) {
        state.SkipWithError("no window or canvas");
        return;
    }
    if (state.range(0) == 1) {
        b.view->SetZoom(1.0);
        b.view->SetOrigin(kWidth / 2 - kScreenW / 2, kHeight / 2 - kScreenH / 2);
    }
    int step = 16;
    for (auto _ : state) {
        const VisibleRegion v = b.view->Visible();
        b.view->SetOrigin(v.left + step, v.top + step);
        b.Frame();
        step = -step;
    }
    b.Counters(state);
}
BENCHMARK(BM_CanvasPanStep24MP)
    ->ArgNames({"at100", "helpers"})
    ->ArgsProduct({{0, 1}, {0, 8}})
    ->Unit(benchmark::kMillisecond);

// A wheel-zoom step about the picture's centre, up and down in turn. First argument 0: from
// fit (0.26: up to 0.333, down to 0.25); 1: from 100 % (up to 1.5, down to 1). Second: helper
// threads.
static void BM_CanvasWheelStep24MP(benchmark::State& state)
{
    CanvasBench b(int(state.range(1)));
    if (!b.ok) {
        state.SkipWithError("no window or canvas");
        return;
    }
    if (state.range(0) == 1)
        b.view->SetZoom(1.0);
    int up = 1;
    for (auto _ : state) {
        b.view->StepZoom(up, kWidth / 2, kHeight / 2);
        b.Frame();
        up = !up;
    }
    b.Counters(state);
}
BENCHMARK(BM_CanvasWheelStep24MP)
    ->ArgNames({"at100", "helpers"})
    ->ArgsProduct({{0, 1}, {0, 8}})
    ->Unit(benchmark::kMillisecond);

namespace {

// The composite of the screen's size and the layer it shows at 100 %.
struct CompositeCase {
    ImageBuffer16 composite, board, layer;
    CompositeCase()
    {
        BuildGammaTables();
        AllocImage16(board, kScreenW, kScreenH);
        FillCheckerboard(board, 0, kScreenH);
        AllocImage16(composite, kScreenW, kScreenH);
        // Half transparent in places, as a cut-out layer is.
        layer = MakeLayer(kWidth, kHeight, 99, 0xFFFF);
        if (layer.data)
            for (uint32_t i = 0; i < layer.pixelCount; i += 3)
                layer.data[size_t(i) * 4 + 3] = 0x8000;
    }
    ~CompositeCase()
    {
        FreeImageBuffer(composite);
        FreeImageBuffer(board);
        FreeImageBuffer(layer);
    }
    bool Ok() const { return composite.data && board.data && layer.data; }
    void Reset() { std::memcpy(composite.data, board.data, composite.byteSize); }
};

void SetRate(benchmark::State& state)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * kScreenW * kScreenH);
    state.counters["MPix/s"] =
        benchmark::Counter(double(kScreenW) * kScreenH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

// One layer into a 1920 x 1080 view at 100 % (nearest sample) per blend mode; the second
// argument is the number of helper threads (0: the calling thread alone). The reset of the
// composite is outside the timing.
static void BM_CompositeLayerMode(benchmark::State& state)
{
    CompositeCase c;
    if (!c.Ok()) {
        state.SkipWithError("allocation");
        return;
    }
    UseHelpers(int(state.range(1)));
    CZDLayer layer;
    layer.pixels = c.layer;
    layer.blendMode = uint8_t(state.range(0));
    layer.opacity = 200;
    const VisibleRegion visible{1000, 1000, 1000 + kScreenW, 1000 + kScreenH};
    for (auto _ : state) {
        state.PauseTiming();
        c.Reset();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ComposeLayerIntoView(c.composite, layer, visible, 1.0));
    }
    layer.pixels = ImageBuffer16{};
    SetRate(state);
}
BENCHMARK(BM_CompositeLayerMode)
    ->ArgNames({"mode", "helpers"})
    ->ArgsProduct({{0, 1, 2, 5, 6, 7, 8, 9, 10}, {0}})
    ->Args({0, 8})
    ->Args({5, 8})
    ->Args({9, 8})
    ->Unit(benchmark::kMillisecond);

// The same at zoom 0.5 (2 x 2 average) for the normal mode, one thread.
static void BM_CompositeLayerAverage(benchmark::State& state)
{
    CompositeCase c;
    if (!c.Ok()) {
        state.SkipWithError("allocation");
        return;
    }
    UseHelpers(0);
    CZDLayer layer;
    layer.pixels = c.layer;
    layer.opacity = 200;
    const VisibleRegion visible{0, 0, 2 * kScreenW, 2 * kScreenH};
    for (auto _ : state) {
        state.PauseTiming();
        c.Reset();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ComposeLayerIntoView(c.composite, layer, visible, 0.5));
    }
    layer.pixels = ImageBuffer16{};
    SetRate(state);
}
BENCHMARK(BM_CompositeLayerAverage)->Unit(benchmark::kMillisecond);

// Floor: the composite's bytes copied.
static void BM_CompositeMemcpy(benchmark::State& state)
{
    CompositeCase c;
    if (!c.Ok()) {
        state.SkipWithError("allocation");
        return;
    }
    for (auto _ : state) {
        std::memcpy(c.composite.data, c.board.data, c.composite.byteSize);
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BM_CompositeMemcpy)->Unit(benchmark::kMillisecond);

// Reference: a plain 16-bit alpha blend of the same rows (no tables, no modes), one thread:
// P + (T - P) x a / 255 with a = (T's alpha >> 8) x opacity / 255.
static void BM_PlainAlphaBlend16(benchmark::State& state)
{
    CompositeCase c;
    if (!c.Ok()) {
        state.SkipWithError("allocation");
        return;
    }
    const uint32_t opacity = 200;
    for (auto _ : state) {
        state.PauseTiming();
        c.Reset();
        state.ResumeTiming();
        for (int y = 0; y < kScreenH; ++y) {
            uint16_t* p = c.composite.data + size_t(y) * kScreenW * 4;
            const uint16_t* t = c.layer.data + (size_t(y + 1000) * kWidth + 1000) * 4;
            for (int x = 0; x < kScreenW; ++x, p += 4, t += 4) {
                const int32_t a = int32_t((uint32_t(t[3]) >> 8) * opacity / 255u);
                for (int k = 0; k < 3; ++k)
                    p[k] = uint16_t(int32_t(p[k]) + (int32_t(t[k]) - int32_t(p[k])) * a / 255);
            }
        }
        benchmark::ClobberMemory();
    }
    SetRate(state);
}
BENCHMARK(BM_PlainAlphaBlend16)->Unit(benchmark::kMillisecond);

namespace {

std::filesystem::path VipsDir()
{
    auto d = std::filesystem::temp_directory_path() / "zd-bench-editor";
    std::filesystem::create_directories(d);
    return d;
}

// vips pictures are larger than the view, so that its start-up weighs little.
constexpr int kVipsW = 3000, kVipsH = 2000;

// A 16-bit binary PPM (vips reads it as 16-bit RGB).
bool WritePpm16(const std::filesystem::path& path, uint32_t seed)
{
    ImageBuffer16 img = MakeLayer(kVipsW, kVipsH, seed, 0xFFFF);
    if (!img.data)
        return false;
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << kVipsW << " " << kVipsH << "\n65535\n";
    std::vector<unsigned char> row(size_t(kVipsW) * 6);
    for (int y = 0; y < kVipsH; ++y) {
        const uint16_t* p = img.data + size_t(y) * kVipsW * 4;
        for (int x = 0; x < kVipsW; ++x)
            for (int k = 0; k < 3; ++k) {
                const uint16_t v = p[size_t(x) * 4 + size_t(2 - k)];
                row[size_t(x) * 6 + size_t(k) * 2] = uint8_t(v >> 8);
                row[size_t(x) * 6 + size_t(k) * 2 + 1] = uint8_t(v);
            }
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size()));
    }
    FreeImageBuffer(img);
    return bool(out);
}

int Run(const std::string& command)
{
    return std::system(command.c_str());
}

} // namespace

// `vips composite2` on one thread over 3000 x 2000 16-bit pictures of the same kind (the top with
// a constant half alpha), in vips's own uncompressed format; the wall time of a plain `vips copy`
// of the base is subtracted (start-up and file traffic), and both are reported. Argument: the
// blend mode in this program's numbering.
static void BM_VipsComposite2(benchmark::State& state)
{
    if (Run("command -v vips >/dev/null 2>&1") != 0) {
        state.SkipWithError("vips not installed (libvips-tools): no comparison");
        return;
    }
    const char* names[11] = {"over", "darken", "lighten", nullptr, nullptr, "multiply",
                             "screen", "overlay", "hard-light", "soft-light", "difference"};
    const char* name = names[state.range(0)];
    const std::filesystem::path d = VipsDir();
    const std::string base = (d / "base.v").string(), top = (d / "top.v").string(), out = (d / "out.v").string();
    static bool prepared = false;
    if (!prepared) {
        if (!WritePpm16(d / "base.ppm", 5) || !WritePpm16(d / "top.ppm", 6) ||
            Run("vips bandjoin_const " + (d / "base.ppm").string() + " " + base + " 65535") != 0 ||
            Run("vips bandjoin_const " + (d / "top.ppm").string() + " " + top + " 32768") != 0) {
            state.SkipWithError("could not prepare the pictures");
            return;
        }
        prepared = true;
    }
    const std::string env = "VIPS_CONCURRENCY=1 ";
    const std::string composite = env + "vips composite2 " + base + " " + top + " " + out + " " + name;
    const std::string copy = env + "vips copy " + base + " " + out;
    std::vector<double> composites, copies;
    for (auto _ : state) {
        const TimedRun a = TimeRun([&] { Run(composite); });
        state.PauseTiming();
        const TimedRun b = TimeRun([&] { Run(copy); });
        state.ResumeTiming();
        composites.push_back(a.real);
        copies.push_back(b.real);
    }
    const double net = std::max(1e-6, Median(composites) - Median(copies));
    state.counters["copy_ms"] = Median(copies) * 1e3;
    state.counters["net_ms"] = net * 1e3;
    state.counters["net_MPix/s"] = double(kVipsW) * kVipsH / 1e6 / net;
}
BENCHMARK(BM_VipsComposite2)
    ->ArgName("mode")
    ->DenseRange(0, 2)
    ->DenseRange(5, 10)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
