// Containers of the sprite toolkit at 1920 x 1080: the picture viewer on a 24-megapixel picture
// (fit, 1:1, a zoom step; one frame each) beside a plain resample of the same visible area, and
// one frame of a tab frame's cross-fade.
#include "imaging/ImageBuffer.h"
#include "platform/Clock.h"
#include "ui/DialogSprite.h"
#include "ui/DrawnUiImages.h"
#include "ui/PictureView.h"
#include "ui/RenderWindow.h"
#include "ui/TabFrame.h"
#include "ui/Tree.h"

#include "bench/BenchUiWindow.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int BenchImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    if (std::u16string(name) == u"picviewtool.png") {
        if (!AllocImage8(out, 6 * 28, 28))
            return 0;
        std::memset(out.data, 0x80, out.byteSize);
        return 1;
    }
    return DrawnUiImage(folder, name, out);
}

struct ContainerWindow {
    platform::ManualTickSource clock{100000};
    platform::ScopedTickSource scoped{clock};
    CRenderWindow window;
    bool ok = false;

    ContainerWindow()
    {
        SetUiImageSource(&BenchImages);
        ResetSharedUiImages();
        ok = OpenBenchWindow(window);
        if (ok) {
        }
    }
};

// 6000 x 4000 with a gradient, so the resampler does real work.
const ImageBuffer8& Picture24()
{
    static ImageBuffer8 picture;
    if (!picture.data && AllocImage8(picture, 6000, 4000))
        for (int y = 0; y < 4000; ++y)
            for (int x = 0; x < 6000; ++x) {
                uint8_t* p = picture.data + (size_t(y) * 6000 + x) * 4;
                p[0] = uint8_t(x);
                p[1] = uint8_t(y);
                p[2] = uint8_t(x ^ y);
                p[3] = 255;
            }
    return picture;
}

} // namespace

// Argument: 0 fit, 1 zoom 1:1, 2 one step in from fit (0.333).
static void BM_PicViewFrame24MP(benchmark::State& state)
{
    ContainerWindow w;
    const ImageBuffer8& picture = Picture24();
    if (!w.ok || !picture.data) {
        state.SkipWithError("no window or picture");
        return;
    }
    auto* view = new CSPicView;
    view->SetAutoDelete(1);
    if (!view->Create(nullptr, &w.window, 1, 10, 0, 0, 1920, 1080)) {
        state.SkipWithError("view");
        return;
    }
    w.window.AddTopLevel(view);
    view->SetPos(0, 0, 1920, 1080);
    view->SetImage8(&picture, u"24 MP");
    const double zooms[] = {0.0, 1.0, 0.333333333};
    if (state.range(0) > 0)
        view->SetZoom(zooms[state.range(0)]);
    for (auto _ : state) {
        view->SetAllDirty(1);
        benchmark::DoNotOptimize(view->Update(1));
    }
    const SRect s = view->Source();
    state.counters["zoom"] = view->Zoom();
    state.counters["source_mpix"] = double(s.Width()) * s.Height() / 1e6;
}
BENCHMARK(BM_PicViewFrame24MP)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The same visible areas resampled by the plain resizer: the floor of the viewer's frame.
static void BM_PlainResampleVisibleArea(benchmark::State& state)
{
    const ImageBuffer8& picture = Picture24();
    // Area 1912 x 1041: fit 0.26 (whole picture), 1:1 (1912 x 1041 source), 0.333 (5736 x 3123).
    struct Case { int left, top, right, bottom, w, h, samples; };
    const Case cases[] = {{0, 0, 6000, 4000, 1561, 1041, 2},
                          {0, 0, 1912, 1041, 1912, 1041, 1},
                          {132, 438, 5868, 3561, 1912, 1041, 2}};
    const Case& c = cases[state.range(0)];
    ImageBuffer8 out;
    for (auto _ : state)
        benchmark::DoNotOptimize(ResizeImage8(picture, out, c.w, c.h, c.samples, c.left, c.top, c.right, c.bottom));
    FreeImageBuffer(out);
}
BENCHMARK(BM_PlainResampleVisibleArea)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// One frame of a tab frame's cross-fade over a 1900 x 1000 page area.
static void BM_TabFadeFrame(benchmark::State& state)
{
    ContainerWindow w;
    if (!w.ok) {
        state.SkipWithError("no window");
        return;
    }
    auto* frame = new CSTabFrame;
    frame->SetAutoDelete(1);
    frame->Create(nullptr, &w.window, 1, 0, 0, 1920, 1080, 10);
    w.window.AddTopLevel(frame);
    frame->SetPos(0, 0, 1920, 1080);
    for (int i = 0; i < 2; ++i) {
        auto* p = new CSTabPage(i ? u"Second" : u"First");
        p->SetAutoDelete(1);
        frame->AddPage(p);
    }
    g_bAnimation.store(1);
    frame->m_fadeWaitLimitMs = 0; // the switch returns at once; the frames below run the blend
    ImageBuffer8 a, b;
    AllocImage8(a, 1900, 1036);
    AllocImage8(b, 1900, 1036);
    std::memset(a.data, 0x20, a.byteSize);
    std::memset(b.data, 0xC0, b.byteSize);
    for (auto _ : state)
        frame->BlendPages(a, b, 10, 34, 1910, 1070);
    FreeImageBuffer(a);
    FreeImageBuffer(b);
}
BENCHMARK(BM_TabFadeFrame)->Unit(benchmark::kMillisecond);

// A tree of 20,000 nodes: 200 expanded folders of 99 photos each.
struct BenchTree {
    ContainerWindow w;
    CTreeNode root;
    CSTree* tree = nullptr;

    BenchTree()
    {
        if (!w.ok)
            return;
        for (int f = 0; f < 200; ++f) {
            CTreeNode* folder = root.AddChild(new CTreeNode(u"Folder"));
            folder->expanded = 1;
            for (int i = 0; i < 99; ++i)
                folder->AddChild(new CTreeNode(u"Photo name"));
        }
        tree = new CSTree;
        tree->SetAutoDelete(1);
        tree->Create(nullptr, &w.window, 1, 10, 0, 0, 400, 1000);
        w.window.AddTopLevel(tree);
        tree->SetRoot(&root);
    }
    ~BenchTree()
    {
        if (tree)
            tree->ReleaseResources(1); // the rows point into the nodes, which go first
    }
};

// Rebuilding the rows after the nodes changed.
static void BM_TreeRebuild20k(benchmark::State& state)
{
    BenchTree b;
    if (!b.tree) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state)
        b.tree->Rebuild();
    state.counters["rows"] = b.tree->RowCount();
}
BENCHMARK(BM_TreeRebuild20k)->Unit(benchmark::kMillisecond);

// One frame after a wheel notch, bouncing between the ends.
static void BM_TreeWheelFrame20k(benchmark::State& state)
{
    BenchTree b;
    if (!b.tree) {
        state.SkipWithError("no window");
        return;
    }
    b.tree->Update(1);
    int delta = -120;
    for (auto _ : state) {
        b.tree->OnMouseWheel(10, 10, delta);
        if (b.tree->ScrollOffset() == 0 || b.tree->ScrollOffset() >= 20000 * 20 - 1000)
            delta = -delta;
        benchmark::DoNotOptimize(b.tree->Update(1));
    }
}
BENCHMARK(BM_TreeWheelFrame20k)->Unit(benchmark::kMillisecond);
