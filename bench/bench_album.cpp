// How fast the album's engines run: the photo scan over a tree of 10,000 small JPEGs with EXIF
// (first scan, an unchanged rescan next to `find -printf '%T@'` over the same tree, a rescan after
// touching 1%), PhotoScan.db load and save of 100,000 records, and 200-pixel thumbnails of
// 24-megapixel JPEGs through the two loaders next to vipsthumbnail with as many processes.
#include "album/HelpLoaderThread.h"
#include "album/PhotoDatabase.h"
#include "album/PhotoScanThread.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "platform/FileSystem.h"
#include "platform/ImageMetadata.h"
#include "platform/Text.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::String16;

constexpr int kTreePhotos = 10000;
constexpr int kPhotosPerFolder = 100;
constexpr int kDbRecords = 100000;
constexpr int kBigPhotos = 8;

std::string BenchFolder()
{
    static const std::string folder = [] {
        std::string f = (fs::temp_directory_path() / ("zdbench-album-" + std::to_string(::getpid()))).string();
        fs::create_directories(f);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(BenchFolder(), ec);
        });
        return f;
    }();
    return folder;
}

void FillPicture(ImageBuffer8& image, int w, int h)
{
    AllocImage8(image, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = image.data + (size_t(y) * w + x) * 4;
            const double detail = 20 * std::sin(x * 0.05) * std::cos(y * 0.07);
            px[0] = uint8_t(std::clamp(60 + 120.0 * y / h + detail, 0.0, 255.0));
            px[1] = uint8_t(std::clamp(90 + 100.0 * x / w - detail, 0.0, 255.0));
            px[2] = uint8_t(std::clamp(200 - 150.0 * x / w + detail, 0.0, 255.0));
            px[3] = 255;
        }
}

platform::PropertyItem Ascii(uint32_t id, const std::string& text)
{
    platform::PropertyItem item;
    item.id = id;
    item.type = platform::kPropertyAscii;
    item.value.assign(text.begin(), text.end());
    item.value.push_back(0);
    return item;
}

// 100 folders of 100 small JPEGs that carry camera EXIF, made once.
const std::string& PhotoTree()
{
    static const std::string root = [] {
        const std::string r = BenchFolder() + "/tree";
        const std::string model = BenchFolder() + "/model.jpg";
        ImageBuffer8 image;
        FillPicture(image, 160, 120);
        JpegWriter().SaveFile(platform::Utf8ToUtf16(model).c_str(), image, 85);
        FreeImageBuffer(image);
        platform::ImageMetadata meta;
        meta.ReadFile(model);
        meta.Set(Ascii(271, "Zcam"));
        meta.Set(Ascii(272, "Z 1"));
        meta.Set(Ascii(36867, "2019:05:07 10:00:00"));
        meta.WriteFile(model);
        for (int i = 0; i < kTreePhotos; ++i) {
            const std::string folder = r + "/f" + std::to_string(i / kPhotosPerFolder);
            if (i % kPhotosPerFolder == 0)
                fs::create_directories(folder);
            fs::copy_file(model, folder + "/IMG_" + std::to_string(i) + ".jpg");
        }
        return r;
    }();
    return root;
}

std::string DataFolder(const char* name)
{
    const std::string d = BenchFolder() + "/" + name;
    fs::create_directories(d);
    return d;
}

// One scan as the thread does it (on this thread, without the idle priority, so the figure is
// the work and not the scheduler): load, walk, compact, save.
int ScanOnce(const std::string& dataFolder)
{
    PhotoDatabase db;
    CPhotoScanThread scan(db);
    scan.dataFolder = platform::Utf8ToUtf16(dataFolder);
    const String16 root = platform::Utf8ToUtf16(PhotoTree() + "/");
    scan.scanFolders = [&] { return std::vector<String16>{ root }; };
    db.LoadPhotoDatabase(scan.dataFolder);
    scan.ScanFolders();
    if (db.RecordCount() != size_t(kTreePhotos))
        return -1;
    return scan.builtCount.load();
}

void BM_ScanFirst(benchmark::State& state)
{
    const std::string data = DataFolder("first");
    PhotoTree();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(data + "/PhotoScan.db");
        state.ResumeTiming();
        if (ScanOnce(data) != kTreePhotos) {
            state.SkipWithError("scan built the wrong number of records");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kTreePhotos);
}

void BM_ScanUnchanged(benchmark::State& state)
{
    const std::string data = DataFolder("unchanged");
    ScanOnce(data);
    for (auto _ : state)
        if (ScanOnce(data) != 0)
            state.SkipWithError("an unchanged rescan built records");
    state.SetItemsProcessed(state.iterations() * kTreePhotos);
}

void BM_ScanTouchedOnePercent(benchmark::State& state)
{
    const std::string data = DataFolder("touched");
    ScanOnce(data);
    static int64_t stamp = 1700000000; // the benchmark may call this more than once
    for (auto _ : state) {
        state.PauseTiming();
        ++stamp;
        int touched = 0;
        for (int i = 0; i < kTreePhotos; i += 100)
            touched += platform::SetLastWriteTime(platform::Utf8ToUtf16(PhotoTree() + "/f" + std::to_string(i / kPhotosPerFolder) +
                                                             "/IMG_" + std::to_string(i) + ".jpg"),
                                       platform::FileTimeFromUnix(stamp));
        if (touched != kTreePhotos / 100) {
            state.SkipWithError("cannot set file times");
            break;
        }
        state.ResumeTiming();
        const int built = ScanOnce(data);
        if (built != kTreePhotos / 100) {
            state.SkipWithError(("the touched photos were not all rebuilt: " + std::to_string(built)).c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kTreePhotos);
}

// The floor for an unchanged rescan: list the tree and read each file's times.
void BM_FindPrintfTimes(benchmark::State& state)
{
    const std::string cmd = "find '" + PhotoTree() + "' -printf '%T@\\n' > /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("find failed");
    state.SetItemsProcessed(state.iterations() * kTreePhotos);
}

// 100,000 records of typical paths and tags.
const std::string& BigDatabase()
{
    static const std::string data = [] {
        const std::string d = DataFolder("big");
        PhotoDatabase db;
        db.LoadPhotoDatabase(platform::Utf8ToUtf16(d));
        for (int i = 0; i < kDbRecords; ++i) {
            const String16 path = u"/home/user/Pictures/2019/Holiday " + platform::IntToText(i / 500) + u"/IMG_" +
                                  platform::IntToText(i) + u".JPG";
            const String16 tags = (i % 4 == 0) ? String16(u"sea beach family") : String16();
            std::vector<uint8_t> r(kPhotoRecordHeadSize + 2 * (path.size() + tags.size()), 0);
            photorecord::Put<uint32_t>(r.data() + photorecord::kMarker, kPhotoRecordMarker);
            photorecord::Put<uint16_t>(r.data() + photorecord::kSizeAndSeen, uint16_t(r.size() | kPhotoRecordSeenBit));
            photorecord::Put<uint32_t>(r.data() + photorecord::kPathHash, HashPhotoPath(path));
            photorecord::Put<uint16_t>(r.data() + photorecord::kPathBytes, uint16_t(2 * path.size()));
            photorecord::Put<uint16_t>(r.data() + photorecord::kTagBytes, uint16_t(2 * tags.size()));
            for (size_t k = 0; k < path.size(); ++k)
                photorecord::Put<uint16_t>(r.data() + kPhotoRecordHeadSize + 2 * k, path[k]);
            for (size_t k = 0; k < tags.size(); ++k)
                photorecord::Put<uint16_t>(r.data() + kPhotoRecordHeadSize + 2 * (path.size() + k), tags[k]);
            db.AppendPhotoRecord(*reinterpret_cast<const PhotoRecord*>(r.data()));
        }
        db.SavePhotoDatabase();
        return d;
    }();
    return data;
}

void BM_DatabaseLoad100k(benchmark::State& state)
{
    const String16 data = platform::Utf8ToUtf16(BigDatabase());
    for (auto _ : state) {
        PhotoDatabase db;
        db.LoadPhotoDatabase(data);
        if (db.Used() == 0)
            state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(state.iterations() * kDbRecords);
}

void BM_DatabaseSave100k(benchmark::State& state)
{
    PhotoDatabase db;
    db.LoadPhotoDatabase(platform::Utf8ToUtf16(BigDatabase()));
    for (auto _ : state)
        if (!db.SavePhotoDatabase())
            state.SkipWithError("save failed");
    state.SetItemsProcessed(state.iterations() * kDbRecords);
}

void BM_DatabaseFind(benchmark::State& state)
{
    PhotoDatabase db;
    db.LoadPhotoDatabase(platform::Utf8ToUtf16(BigDatabase()));
    const String16 last = u"/home/user/Pictures/2019/Holiday 199/img_99999.jpg";
    for (auto _ : state) {
        platform::ScopedLock hold(db.lock);
        benchmark::DoNotOptimize(db.FindPhotoRecord(last));
    }
}

// 24-megapixel JPEGs with the 160 x 120 EXIF preview cameras embed.
const std::vector<std::string>& BigPhotos()
{
    static const std::vector<std::string> photos = [] {
        std::vector<std::string> out;
        const std::string first = BenchFolder() + "/big0.jpg";
        ImageBuffer8 image;
        FillPicture(image, 6000, 4000);
        JpegWriter().SaveFile(platform::Utf8ToUtf16(first).c_str(), image, 90);
        FreeImageBuffer(image);
        const std::string thumb = BenchFolder() + "/thumb.jpg";
        std::system(("convert '" + first + "' -resize 160x120 '" + thumb + "' >/dev/null 2>&1 && exiftool -q "
                     "-overwrite_original '-ThumbnailImage<=" + thumb + "' '" + first + "' >/dev/null 2>&1").c_str());
        for (int i = 0; i < kBigPhotos; ++i) {
            const std::string p = BenchFolder() + "/big" + std::to_string(i) + ".jpg";
            if (i)
                fs::copy_file(first, p);
            out.push_back(p);
        }
        return out;
    }();
    return photos;
}

struct CountingSink : AlbumMessageSink {
    std::atomic<int> answers{0};
    bool Post(uint32_t, uintptr_t, intptr_t) override
    {
        answers.fetch_add(1);
        return true;
    }
};
struct AllAlive : AlbumTicketRegistry {
    bool IsTicketAlive(uint32_t) const override { return true; }
};

// Both passes of every photo: the quick one from the embedded preview, the full one decoding
// the picture on the second loader.
void BM_LoadersThumbnails24MP(benchmark::State& state)
{
    const auto& photos = BigPhotos();
    AllAlive tickets;
    for (auto _ : state) {
        CountingSink sink;
        CHelpLoaderThread thumb, full;
        thumb.tickets = full.tickets = &tickets;
        thumb.passOn = &full;
        std::vector<ImageBuffer8> targets(photos.size());
        for (size_t i = 0; i < photos.size(); ++i) {
            LoaderRequest r;
            r.ticket = uint32_t(i + 1);
            r.targetImage = &targets[i];
            r.requester = &sink;
            r.answerParam = r.ticket;
            r.path = platform::Utf8ToUtf16(photos[i]);
            thumb.QueueRequest(r);
        }
        thumb.Start();
        full.Start();
        while (sink.answers.load() < int(2 * photos.size()))
            platform::SleepMs(1);
        thumb.Stop();
        full.Stop();
        for (auto& t : targets) {
            if (std::max(t.width, t.height) != kThumbnailSize)
                state.SkipWithError("thumbnail of the wrong size");
            FreeImageBuffer(t);
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(photos.size()));
}

// The same files through vipsthumbnail, two processes at a time like the two loaders.
void BM_Vipsthumbnail24MPTwoProcesses(benchmark::State& state)
{
    if (std::system("command -v vipsthumbnail >/dev/null 2>&1") != 0) {
        state.SkipWithError("vipsthumbnail not installed (libvips-tools): no comparison");
        return;
    }
    std::string list;
    for (const std::string& p : BigPhotos())
        list += "'" + p + "' ";
    const std::string cmd = "printf '%s\\n' " + list + "| xargs -P 2 -n 1 -I{} vipsthumbnail {} -s 200 -o '" +
                            BenchFolder() + "/vips_%s.jpg'";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("vipsthumbnail failed");
    state.SetItemsProcessed(state.iterations() * int64_t(BigPhotos().size()));
}

} // namespace

BENCHMARK(BM_ScanFirst)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ScanUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanTouchedOnePercent)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindPrintfTimes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DatabaseLoad100k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DatabaseSave100k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DatabaseFind)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadersThumbnails24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Vipsthumbnail24MPTwoProcesses)->Unit(benchmark::kMillisecond)->UseRealTime();
