// The editor's brush tools on a 24-megapixel document of three layers (6000 x 4000 background,
// two 3000 x 2000 layers), the canvas 1920 x 1080 at fit:
// - a free-paint stroke event (segment, ApplyStroke, recomposition, copy) at brush sizes 8, 100
//   and 512, softness 80, beside the recomposition and copy alone (the anchor);
// - undo of one stroke through its before-block, beside the replay from the nearest
//   whole-document step (the anchor: the same store with before-blocks off).
#include "bench/BenchDocument.h"
#include "bench/BenchHelpers.h"
#include "bench/BenchUiWindow.h"
#include "editor/EditView.h"
#include "editor/tools/BrushTools.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/HistoryStore.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Settings.h"
#include "ui/DrawnUiImages.h"
#include "ui/Registry.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

using namespace benchdoc;

namespace {

constexpr int kScreenW = 1920, kScreenH = 1080;

// Background, multiply and screen layers at opacity 128, apart a little.
void BuildDocument(CZDDoc& d)
{
    BuildDocument24(d);
    d.SetCurrentLayer(0);
}

std::u16string TempData(const char* name)
{
    const std::string p = (std::filesystem::temp_directory_path() / name).string();
    return std::u16string(p.begin(), p.end());
}

// Paints a rectangle of the layer as a stroke would and records it with its backup.
void RecordStroke(HistoryStore& store, CZDDoc& doc, const int32_t (&rect)[4], uint16_t value)
{
    CZDLayer& layer = *doc.layers[0];
    ImageBuffer16 backup;
    CopyImage16(backup, layer.pixels);
    for (int y = rect[1]; y < rect[3]; ++y)
        for (int x = rect[0]; x < rect[2]; ++x)
            layer.pixels.data[(size_t(y) * layer.pixels.width + x) * 4 + 2] = value;
    store.AddStep(kHistoryRectangle, 0, u"Paint", false, 16, rect, sizeof rect, &backup);
    FreeImageBuffer(backup);
}

} // namespace

// Undo of the last of five strokes (a 512-pixel brush dragged over 1500 x 300 pixels), redo
// untimed. Argument 1: through its before-block; 0: the full replay (anchor).
static void BM_StrokeUndo24MP(benchmark::State& state)
{
    CZDDoc doc;
    BuildDocument(doc);
    HistoryStore store;
    if (doc.LayerCount() != 3 || !store.Init(&doc, TempData("zd-bench-stroke-undo.zdtmp")) ||
        !store.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0)) {
        state.SkipWithError("no document or history");
        return;
    }
    for (int i = 0; i < 5; ++i) {
        const int32_t rect[4] = {400 + 300 * i, 1000 + 200 * i, 400 + 300 * i + 2012, 1000 + 200 * i + 812};
        RecordStroke(store, doc, rect, uint16_t(1000 * i));
    }
    store.useBeforeBlocks = state.range(0) != 0;
    const int last = store.current;
    for (auto _ : state) {
        if (!store.GoToStep(last - 1, StepReplay::Force)) {
            state.SkipWithError("undo failed");
            break;
        }
        state.PauseTiming();
        store.GoToStep(last, StepReplay::SkipIfCurrent);
        state.ResumeTiming();
    }
    state.counters["quick_undos"] = double(store.beforeBlockUndos);
    store.Release();
    std::filesystem::remove(std::filesystem::path(std::u16string(store.path)));
}
BENCHMARK(BM_StrokeUndo24MP)->ArgName("before_block")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

namespace {

struct StrokeBench {
    platform::ManualTickSource clock{100000};
    platform::ScopedTickSource scoped{clock};
    CRenderWindow window;
    CZDDoc doc;
    CSEditView* view = nullptr;
    CFreePaintTool tool;
    bool ok = false;
    uint32_t time = 1;

    explicit StrokeBench(int size)
    {
        UseHelpers(8);
        BuildGammaTables();
        SetUiImageSource(&CanvasBenchImages);
        ResetSharedUiImages();
        platform::SetSettingsFiles(TempData("zd-bench-tools-user.txt"), TempData("zd-bench-tools-machine.txt"));
        WriteRegistryDword(u"PaintSettings", u"PaintSize_FreePaintTool", uint32_t(size));
        WriteRegistryDword(u"PaintSettings", u"PaintSoft_FreePaintTool", 80);
        BuildDocument(doc);
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
        tool.view = view;
        // The largest brush is held to the document's maximum (500 here).
        ok = view->ViewBuffer().data != nullptr && tool.Activate() &&
             tool.brush.size == std::min(size, BrushMaxSize(doc.width, doc.height));
    }
    ~StrokeBench()
    {
        if (ok)
            tool.Deactivate();
    }
    void Frame()
    {
        time += 33;
        benchmark::DoNotOptimize(view->Update(time));
    }
};

} // namespace

// One stroke event: the pointer moves 6 canvas pixels along a circle with the button held.
// Arguments: brush size; 1 the stroke event, 0 the recomposition and copy alone (anchor).
static void BM_StrokeEvent24MP(benchmark::State& state)
{
    StrokeBench b(int(state.range(0)));
    if (!b.ok) {
        state.SkipWithError("no window, canvas or tool");
        return;
    }
    const bool stroke = state.range(1) != 0;
    const SRect area = b.view->CanvasArea();
    const int cx = area.Width() / 2, cy = area.Height() / 2;
    double angle = 0;
    int lastX = cx + 300, lastY = cy;
    b.tool.OnMouseMove(0, lastX - 1, lastY, lastX, lastY);
    if (stroke)
        b.tool.OnButtonDown(1, lastX, lastY, 0);
    for (auto _ : state) {
        angle += 0.02;
        const int x = cx + int(300 * std::cos(angle)), y = cy + int(300 * std::sin(angle));
        if (stroke)
            b.tool.OnMouseMove(1, lastX, lastY, x, y);
        b.view->RenderView();
        b.Frame();
        lastX = x;
        lastY = y;
    }
    state.counters["brush"] = b.tool.brush.size;
    // The stroke's rectangle so far: proof that the events painted.
    state.counters["stroke_mpix"] =
        b.tool.strokeRect.IsEmpty() ? 0.0 : double(b.tool.strokeRect.right - b.tool.strokeRect.left) *
                                                 (b.tool.strokeRect.bottom - b.tool.strokeRect.top) / 1e6;
    if (stroke)
        b.tool.OnButtonUp(1, lastX, lastY, 0);
}
BENCHMARK(BM_StrokeEvent24MP)
    ->ArgNames({"size", "stroke"})
    ->ArgsProduct({{8, 100, 512}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
