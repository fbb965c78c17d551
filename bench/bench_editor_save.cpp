// Paging an inactive editor tab out and in, and saving its document as JPEG and PNG, on the
// editor's 24-megapixel document of three layers. Each beside its floor in the same run:
// page-out and page-in beside a memcpy of the same pixel bytes into fresh memory; a save beside
// its parts timed apart (flatten over white, dithered conversion to 8 bits, encoder, the write).
#include "batch/SavePanel.h"
#include "bench/BenchDocument.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/DocumentStream.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "platform/File.h"
#include "raster/Raster.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace benchdoc;

namespace {

constexpr uint64_t kWhite = 0xFFFFFFFFFFFFFFFFull;

std::u16string BenchPath(const char* name)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "zendra-bench-save";
    std::filesystem::create_directories(folder);
    const std::string s = (folder / name).string();
    return std::u16string(s.begin(), s.end());
}

size_t PixelBytes(const CZDDoc& doc)
{
    size_t bytes = 0;
    for (int i = 0; i < doc.LayerCount(); ++i)
        bytes += doc.GetLayer(i)->pixels.byteSize;
    return bytes;
}

void SetBytes(benchmark::State& state, size_t bytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["MB"] = double(bytes) / 1e6;
}

// The paged copy the page-in benchmarks read, written once.
const std::u16string& PagedCopy()
{
    static const std::u16string path = [] {
        std::u16string p = BenchPath("paged.zpage");
        if (!PageOutDocument(Document24(), p))
            p.clear();
        return p;
    }();
    return path;
}

} // namespace

// A tab's page-out: the whole document with exact pixels into its private file, then the
// document emptied. The page-in that brings it back is outside the timing.
static void BM_PageOut24MP(benchmark::State& state)
{
    const std::u16string& source = PagedCopy();
    const std::u16string path = BenchPath("out.zpage");
    CZDDoc doc;
    if (source.empty() || !PageInDocument(doc, source)) {
        state.SkipWithError("no paged copy");
        return;
    }
    const size_t bytes = PixelBytes(doc);
    for (auto _ : state) {
        if (!PageOutDocument(doc, path)) {
            state.SkipWithError("page-out failed");
            break;
        }
        doc.Clear();
        state.PauseTiming();
        if (!PageInDocument(doc, path))
            state.SkipWithError("page-in failed");
        state.ResumeTiming();
    }
    SetBytes(state, bytes);
}
BENCHMARK(BM_PageOut24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// A tab's page-in into the emptied document.
static void BM_PageIn24MP(benchmark::State& state)
{
    const std::u16string& source = PagedCopy();
    CZDDoc doc;
    if (source.empty()) {
        state.SkipWithError("no paged copy");
        return;
    }
    size_t bytes = 0;
    for (auto _ : state) {
        if (!PageInDocument(doc, source)) {
            state.SkipWithError("page-in failed");
            break;
        }
        state.PauseTiming();
        bytes = PixelBytes(doc);
        doc.Clear();
        state.ResumeTiming();
    }
    SetBytes(state, bytes);
}
BENCHMARK(BM_PageIn24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// Floor of both: the layers' bytes copied into memory allocated for the copy (its page faults
// included, as a page-in meets them too).
static void BM_PageMemcpy24MP(benchmark::State& state)
{
    const CZDDoc& doc = Document24();
    const size_t bytes = PixelBytes(doc);
    for (auto _ : state) {
        std::vector<std::unique_ptr<uint8_t[]>> copies;
        for (int i = 0; i < doc.LayerCount(); ++i) {
            const ImageBuffer16& p = doc.GetLayer(i)->pixels;
            copies.emplace_back(new uint8_t[p.byteSize]);
            std::memcpy(copies.back().get(), p.data, p.byteSize);
        }
        benchmark::DoNotOptimize(copies.back().get());
        state.PauseTiming();
        copies.clear();
        state.ResumeTiming();
    }
    SetBytes(state, bytes);
}
BENCHMARK(BM_PageMemcpy24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same copy into memory touched before the timing: the floor without the page faults, which
// on a virtual machine's first touch of memory can cost more than the copy.
static void BM_PageMemcpyTouched24MP(benchmark::State& state)
{
    const CZDDoc& doc = Document24();
    const size_t bytes = PixelBytes(doc);
    std::vector<std::unique_ptr<uint8_t[]>> copies;
    for (int i = 0; i < doc.LayerCount(); ++i) {
        const ImageBuffer16& p = doc.GetLayer(i)->pixels;
        copies.emplace_back(new uint8_t[p.byteSize]);
        std::memset(copies.back().get(), 0, p.byteSize);
    }
    for (auto _ : state) {
        for (int i = 0; i < doc.LayerCount(); ++i) {
            const ImageBuffer16& p = doc.GetLayer(i)->pixels;
            std::memcpy(copies[size_t(i)].get(), p.data, p.byteSize);
        }
        benchmark::DoNotOptimize(copies.back().get());
    }
    SetBytes(state, bytes);
}
BENCHMARK(BM_PageMemcpyTouched24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

namespace {

int SaveType(int64_t arg) { return arg == 0 ? kImageTypeJpeg : kImageTypePng; }
const char* SaveName(int64_t arg) { return arg == 0 ? "save.jpg" : "save.png"; }

// The encoders as the save panel calls them: JPEG quality 95 without chroma subsampling, PNG
// with its alpha.
bool Encode(const ImageBuffer8& picture, int type, std::vector<uint8_t>& out)
{
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    bool ok = false;
    if (type == kImageTypeJpeg) {
        ok = JpegWriter().EncodeToMemory(buffer, size, picture, 195) != 0;
    } else {
        CRaster raster;
        ok = ImageToRaster8(picture, raster, true) && raster.Encode(buffer, size, RasterFormatPNG);
    }
    ok = ok && buffer && size > 0;
    if (ok)
        out.assign(buffer, buffer + size);
    std::free(buffer);
    return ok;
}

} // namespace

// The whole save of the document as the panel's other-formats tile does it (no metadata):
// argument 0 JPEG, 1 PNG.
static void BM_SaveDocument24MP(benchmark::State& state)
{
    BuildGammaTables();
    const CZDDoc& doc = Document24();
    const int type = SaveType(state.range(0));
    const std::u16string path = BenchPath(SaveName(state.range(0)));
    for (auto _ : state) {
        ImageBuffer8 picture;
        if (!FlattenForSave(doc, picture) || !WritePictureAs(picture, path, type, nullptr)) {
            FreeImageBuffer(picture);
            state.SkipWithError("save failed");
            break;
        }
        state.PauseTiming();
        FreeImageBuffer(picture);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveDocument24MP)->ArgName("png")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Its parts apart: first argument 0 flatten over white, 1 dithered conversion, 2 encoder,
// 3 writing the encoded bytes; second argument 0 JPEG, 1 PNG (the same flatten and conversion).
static void BM_SavePart24MP(benchmark::State& state)
{
    BuildGammaTables();
    const CZDDoc& doc = Document24();
    const int part = int(state.range(0));
    const int type = SaveType(state.range(1));
    const std::u16string path = BenchPath(SaveName(state.range(1)));
    ImageBuffer16 flat;
    ImageBuffer8 picture;
    std::vector<uint8_t> bytes;
    if (!doc.Flatten(flat, kWhite) || !ConvertImage16To8Dithered(flat, picture) || !Encode(picture, type, bytes)) {
        FreeImageBuffer(flat);
        FreeImageBuffer(picture);
        state.SkipWithError("parts failed");
        return;
    }
    for (auto _ : state) {
        bool ok = true;
        if (part == 0) {
            ImageBuffer16 out;
            ok = doc.Flatten(out, kWhite) != 0;
            state.PauseTiming();
            FreeImageBuffer(out);
            state.ResumeTiming();
        } else if (part == 1) {
            ImageBuffer8 out;
            ok = ConvertImage16To8Dithered(flat, out) != 0;
            state.PauseTiming();
            FreeImageBuffer(out);
            state.ResumeTiming();
        } else if (part == 2) {
            std::vector<uint8_t> out;
            ok = Encode(picture, type, out);
        } else {
            ok = platform::WriteWholeFileAtomic(path, bytes);
        }
        if (!ok) {
            state.SkipWithError("part failed");
            break;
        }
    }
    state.counters["encoded_MB"] = double(bytes.size()) / 1e6;
    FreeImageBuffer(flat);
    FreeImageBuffer(picture);
}
BENCHMARK(BM_SavePart24MP)
    ->ArgNames({"part", "png"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
