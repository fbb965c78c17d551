// The album's grid on a folder of 10,000 photos: listing it (the facts of each file and the
// database lookup) and sorting it in the three orders, against `find -printf '%T@'` listing the
// same folder with its times; and a refill after one added file, which must ask the loader for
// that one file only.
#include "BenchUiWindow.h"
#include "album/AlbumPhotoList.h"
#include "album/HelpLoaderThread.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "ui/DialogSprite.h"
#include "ui/DrawnUiImages.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kFolderPhotos = 10000;

int AlbumBenchImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::u16string n = name;
    const int w = n == u"imgtype.png" ? 160 : n == u"exif.png" ? 26 : n == u"camera.png" ? 160 : 200;
    const int h = n == u"imgtype.png" ? 16 : n == u"exif.png" ? 12 : n == u"camera.png" ? 120 : 200;
    if (n != u"imgtype.png" && n != u"exif.png" && n != u"camera.png" && n != u"folderthumb.png" &&
        n != u"unknownthumb.png")
        return DrawnUiImage(folder, name, out);
    return AllocImage8(out, w, h);
}

const std::string& PhotoFolder()
{
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        const std::string f = std::string(tmp ? tmp : "/tmp") + "/zendra-bench-album-pages";
        if (!std::filesystem::exists(f + "/IMG_09999.jpg")) {
            std::filesystem::create_directories(f);
            for (int i = 0; i < kFolderPhotos; ++i) {
                char name[64];
                std::snprintf(name, sizeof name, "/IMG_%05d.jpg", i);
                std::FILE* file = std::fopen((f + name).c_str(), "wb");
                if (file)
                    std::fclose(file);
            }
        }
        return f;
    }();
    return folder;
}

struct Grid {
    CRenderWindow window;
    CMessageSprite* parent = nullptr;
    CSAlbumPhotoList* list = nullptr;
    CHelpLoaderThread loader; // never started: its queue is counted
    bool ok = false;
    Grid()
    {
        SetUiImageSource(&AlbumBenchImage);
        g_bAnimation.store(0);
        if (!OpenBenchWindow(window))
            return;
        parent = new CMessageSprite;
        parent->SetAutoDelete(1);
        parent->Create(nullptr, &window, 0, 10, 0, 0, 1920, 1080);
        window.AddTopLevel(parent);
        list = new CSAlbumPhotoList;
        list->SetAutoDelete(1);
        list->SetLoader(&loader);
        ok = list->Create(parent, nullptr, 102, 2, 300, 70, 1920, 1080) != 0;
        parent->AddChild(list);
        list->SetPos(300, 70, 1620, 1010);
    }
    ~Grid() { SetUiImageSource(nullptr); }
    void List(bool refill)
    {
        std::vector<platform::FileInfo> entries;
        platform::ListFolder(platform::Utf8ToUtf16(PhotoFolder()), u"*", entries);
        const platform::String16 base = platform::Utf8ToUtf16(PhotoFolder() + "/");
        if (refill)
            list->BeginRefill();
        else
            list->RemoveAll();
        for (const platform::FileInfo& e : entries) {
            if (refill)
                list->ReuseOrAddItem(1, base + e.name, UtcSystemTime(e.lastWrite));
            else
                list->AddItemWithRecord(1, base + e.name);
        }
        if (refill)
            list->EndRefill();
    }
};

void BM_GridListAndSortThreeOrders(benchmark::State& state)
{
    PhotoFolder();
    Grid grid;
    if (!grid.ok) {
        state.SkipWithError("no grid");
        return;
    }
    for (auto _ : state) {
        grid.List(false);
        for (int order : {2, 1, 0})
            grid.list->SetSortOrder(order);
    }
    state.SetItemsProcessed(state.iterations() * kFolderPhotos);
}

void BM_FindPrintfFolder(benchmark::State& state)
{
    const std::string cmd = "find '" + PhotoFolder() + "' -printf '%T@\\n' > /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("find failed");
    state.SetItemsProcessed(state.iterations() * kFolderPhotos);
}

// A refill after one file was added: the listed items keep their pictures, so only the new
// file's cell asks the loader (counted as "requests").
void BM_GridRefillAfterOneAddedFile(benchmark::State& state)
{
    Grid grid;
    if (!grid.ok) {
        state.SkipWithError("no grid");
        return;
    }
    grid.List(false);
    // Every listed item has its picture already, as after a first screen of thumbnails.
    for (int i = 0; i < grid.list->ItemCount(); ++i)
        AllocImage8(grid.list->PhotoItem(i)->image, 8, 8);
    const std::string added = PhotoFolder() + "/AAA_added.jpg";
    int requests = 0;
    for (auto _ : state) {
        std::FILE* f = std::fopen(added.c_str(), "wb");
        if (f)
            std::fclose(f);
        const int before = grid.list->RequestsSent();
        grid.List(true);
        grid.list->SetSortOrder(1);
        grid.list->SetSortOrder(0);
        grid.window.RenderFrame(0);
        requests = grid.list->RequestsSent() - before;
        state.PauseTiming();
        std::remove(added.c_str());
        grid.List(true);
        grid.window.RenderFrame(0);
        state.ResumeTiming();
    }
    state.counters["requests"] = requests;
}

} // namespace

BENCHMARK(BM_GridListAndSortThreeOrders)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindPrintfFolder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GridRefillAfterOneAddedFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
