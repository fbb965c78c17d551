// The album preview: a 24-megapixel JPEG to its first screen in a 1920 x 1080 view (the decode on
// the preview's thread, then the fitted view drawn), next to `vipsthumbnail -s 1920x1080` of the
// same file in the same run (goal: at most 1.5 times); and one cross-fade frame at 1920 x 1080
// (goal: under 16 ms).
#include "album/AlbumPreview.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "BenchUiWindow.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A 1920 x 1080 window without a render thread; frames are pumped here.
struct PreviewWindow {
    CRenderWindow window;
    bool open = OpenBenchWindow(window);
    uint32_t time = 1000;
    void Frame()
    {
        time += 30;
        window.RenderFrame(time);
        window.PlatformWindow()->PumpPending();
    }
};

const std::string& PreviewPhoto()
{
    static const std::string path = [] {
        const std::string folder = (fs::temp_directory_path() / ("zdbench-preview-" + std::to_string(::getpid()))).string();
        fs::create_directories(folder);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(fs::path(PreviewPhoto()).parent_path(), ec);
        });
        // 6000 x 4000 with smooth gradients and fine texture, quality 90, like a camera's file.
        ImageBuffer8 image;
        AllocImage8(image, 6000, 4000);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
                const int n = (x * 7 + y * 13) % 23;
                p[0] = uint8_t((x * 255 / image.width + n) & 0xFF);
                p[1] = uint8_t((y * 255 / image.height + n) & 0xFF);
                p[2] = uint8_t(((x + y) * 255 / (image.width + image.height)) ^ (n * 3));
                p[3] = 255;
            }
        const std::string file = folder + "/photo24.jpg";
        JpegWriter writer;
        writer.SaveFile(platform::Utf8ToUtf16(file).c_str(), image, 90);
        FreeImageBuffer(image);
        return file;
    }();
    return path;
}

// Open on a 1920 x 1080 preview: the decode thread reads the file, the UI side swaps it in and
// fits it, one frame draws the view.
void BM_PreviewFirstScreen24MP(benchmark::State& state)
{
    PreviewWindow t;
    auto* preview = new CSAlbumPreview;
    preview->SetAutoDelete(1);
    preview->m_framePauseMs = 0;
    if (!preview->Create(nullptr, &t.window, CSAlbumPreview::kId, 10, 0, 0, 1920, 1080)) {
        state.SkipWithError("no preview");
        return;
    }
    t.window.AddTopLevel(preview);
    const std::u16string path = platform::Utf8ToUtf16(PreviewPhoto());
    preview->AddPath(path.c_str());
    for (auto _ : state) {
        if (!preview->OpenAt(path.c_str())) {
            state.SkipWithError("cannot decode");
            break;
        }
        preview->Open({0, 0, 10, 10}, preview->FitRect(0, 0, 1920, 1080), {0, 0, 1920, 1080});
        t.Frame();
        state.PauseTiming();
        preview->Close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PreviewFirstScreen24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_VipsThumbnail1920x1080(benchmark::State& state)
{
    if (std::system("command -v vipsthumbnail >/dev/null 2>&1") != 0) {
        state.SkipWithError("vipsthumbnail not installed (libvips-tools): no comparison");
        return;
    }
    const std::string out = fs::path(PreviewPhoto()).parent_path().string() + "/vips.jpg";
    const std::string cmd = "vipsthumbnail '" + PreviewPhoto() + "' -s 1920x1080 -o '" + out + "' >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("vipsthumbnail failed");
}
BENCHMARK(BM_VipsThumbnail1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One frame of the cross-fade: the blend of two 1920 x 1080 views on the render side.
void BM_PreviewCrossFadeFrame(benchmark::State& state)
{
    PreviewWindow t;
    auto* preview = new CSAlbumPreview;
    preview->SetAutoDelete(1);
    preview->m_framePauseMs = 0;
    preview->SetPictureLoader([](const char16_t* path, ImageBuffer8& out) {
        if (!AllocImage8(out, 3000, 2000))
            return 0;
        std::fill(out.data, out.data + out.byteSize, uint8_t(path[1] == u'a' ? 40 : 220));
        return 1;
    });
    if (!preview->Create(nullptr, &t.window, CSAlbumPreview::kId, 10, 0, 0, 1920, 1080)) {
        state.SkipWithError("no preview");
        return;
    }
    t.window.AddTopLevel(preview);
    preview->AddPath(u"/a");
    preview->AddPath(u"/b");
    preview->OpenAt(u"/a");
    preview->Open({0, 0, 10, 10}, preview->FitRect(0, 0, 1920, 1080), {0, 0, 1920, 1080});
    t.Frame();
    int64_t frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (preview->AnimState() != CSAlbumPreview::kFading) {
            preview->Step(true);
            preview->WaitForDecode();
        }
        state.ResumeTiming();
        platform::ScopedLock lock(preview->Lock());
        benchmark::DoNotOptimize(preview->OnDraw(0));
        ++frames;
    }
    state.counters["frames"] = double(frames);
}
BENCHMARK(BM_PreviewCrossFadeFrame)->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace
