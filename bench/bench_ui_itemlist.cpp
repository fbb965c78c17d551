// An item list of 100,000 thumbnail cells with captions in a 1920 x 1080 window: the layout, a
// wheel notch with the frame after it, a scroll-thumb drag with its frame (each drag step lands
// on cells never drawn before: captions rendered, pictures resized), the number of cells drawn
// a frame, and the heap bytes an item record takes at 10,000, 50,000 and 100,000 items.
#include "imaging/ImageBuffer.h"
#include "platform/Clock.h"
#include "ui/DrawnUiImages.h"
#include "ui/ItemList.h"
#include "ui/RenderWindow.h"

#include "bench/BenchUiWindow.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kItems = 100000;

// 64 different 160 x 120 pictures, shared by the items as their fallback picture (what a photo
// list shows before its loaders fill the items), so every drawn cell still resizes one.
const std::vector<ImageBuffer8>& Thumbnails()
{
    static std::vector<ImageBuffer8> pictures = [] {
        std::vector<ImageBuffer8> v(64);
        for (int i = 0; i < 64; ++i) {
            AllocImage8(v[i], 160, 120);
            for (int y = 0; y < 120; ++y)
                for (int x = 0; x < 160; ++x) {
                    uint8_t* p = v[i].data + (size_t(y) * 160 + x) * 4;
                    p[0] = uint8_t(x + i * 4), p[1] = uint8_t(y * 2 + i), p[2] = uint8_t(i * 9), p[3] = 255;
                }
        }
        return v;
    }();
    return pictures;
}

void AddItems(CListSprite& list, int count)
{
    const std::vector<ImageBuffer8>& pictures = Thumbnails();
    char16_t caption[32];
    for (int i = 0; i < count; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "Photo %06d.jpg", i + 1);
        int k = 0;
        for (; text[k]; ++k)
            caption[k] = char16_t(text[k]);
        caption[k] = 0;
        const int index = list.AddItem(caption, nullptr, i);
        if (index >= 0)
            list.GetItem(index)->fallback = &pictures[size_t(i) % pictures.size()];
    }
}

struct ListWindow {
    platform::ManualTickSource clock{100000};
    platform::ScopedTickSource scoped{clock};
    CRenderWindow window;
    CListSprite* list = nullptr;

    ListWindow()
    {
        SetUiImageSource(&DrawnUiImage);
        ResetSharedUiImages();
        if (!OpenBenchWindow(window))
            return;
        auto* l = new CListSprite;
        l->SetAutoDelete(1);
        if (!l->Create(nullptr, &window, 1, 10, 0, 0, 1920, 1080))
            return;
        window.AddTopLevel(l);
        l->SetPos(0, 0, 1920, 1080);
        l->m_animation = 0; // frames below measure scrolling, not the glide
        AddItems(*l, kItems);
        l->SetViewMode(3);
        list = l;
        Frame();
    }
    void Frame()
    {
        clock.Advance(30);
        window.RenderFrame(platform::GetTickCount32());
    }
};

} // namespace

static void BM_ItemListLayout100k(benchmark::State& state)
{
    ListWindow w;
    if (!w.list) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state)
        w.list->Layout(true);
    state.counters["items"] = w.list->ItemCount();
    state.counters["columns"] = w.list->Columns();
}
BENCHMARK(BM_ItemListLayout100k)->Unit(benchmark::kMillisecond);

// A wheel notch and the whole window frame after it (draw, compose, present), bouncing
// between the ends of the content.
static void BM_ItemListWheelFrame100k(benchmark::State& state)
{
    ListWindow w;
    if (!w.list) {
        state.SkipWithError("no window");
        return;
    }
    int delta = -120;
    int64_t drawn = 0, frames = 0;
    for (auto _ : state) {
        w.list->OnMouseWheel(10, 10, delta);
        const int offset = w.list->ScrollOffset();
        if (offset == 0 || offset >= w.list->ContentHeight() - 1080)
            delta = -delta;
        w.Frame();
        drawn += w.list->CellsDrawnLastFrame();
        ++frames;
    }
    state.counters["cells_drawn"] = frames ? double(drawn) / double(frames) : 0;
    state.counters["items"] = w.list->ItemCount();
}
BENCHMARK(BM_ItemListWheelFrame100k)->Unit(benchmark::kMillisecond);

// The thumb pressed once and dragged: every step moves the pointer along the bar by 37 pixels
// (wrapping), the bar posts its position, the list scrolls and the frame draws.
static void BM_ItemListThumbDragFrame100k(benchmark::State& state)
{
    ListWindow w;
    if (!w.list) {
        state.SkipWithError("no window");
        return;
    }
    CSScrollBar& bar = w.list->ScrollBarWidget();
    bar.OnLButtonDown(8, CSScrollBar::kArrow, platform::kMouseLButton); // on the thumb at the top
    int along = CSScrollBar::kArrow;
    int64_t drawn = 0, frames = 0;
    int64_t moved = 0;
    for (auto _ : state) {
        along = CSScrollBar::kArrow + (along - CSScrollBar::kArrow + 37) % bar.TrackLength();
        const int before = w.list->ScrollOffset();
        bar.OnMouseMove(8, along, platform::kMouseLButton);
        w.window.PlatformWindow()->PumpPending(); // delivers the bar's position message
        w.Frame();
        moved += w.list->ScrollOffset() != before;
        drawn += w.list->CellsDrawnLastFrame();
        ++frames;
    }
    state.counters["cells_drawn"] = frames ? double(drawn) / double(frames) : 0;
    state.counters["frames_moved"] = frames ? double(moved) / double(frames) : 0;
}
BENCHMARK(BM_ItemListThumbDragFrame100k)->Unit(benchmark::kMillisecond);

// Heap bytes of the item records (captions, the records and the list's array; pictures are the
// shared fallbacks, drawn pictures are dropped when cells leave the view).
static void BM_ItemListRecordBytes(benchmark::State& state)
{
    const int count = int(state.range(0));
    double perItem = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto list = std::make_unique<CListSprite>();
        AddItems(*list, count);
        list->Layout(true);
        const size_t after = mallinfo2().uordblks;
        perItem = double(after - before) / count;
        list->RemoveAll();
    }
    state.counters["bytes_per_item"] = perItem;
    state.counters["items"] = count;
}
BENCHMARK(BM_ItemListRecordBytes)->Arg(10000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
