// Document stream, history and opening speed on photo-sized documents. Rates are wall-clock
// (the file system is part of the cost) and counted in the document's 16-bit pixel bytes.
#include "bench/BenchHelpers.h"
#include "bench/BenchJpeg.h"
#include "imaging/ColourTables.h"
#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/DocumentGeometry.h"
#include "imaging/HistoryStore.h"
#include "imaging/ImageCodec/ImageLoad.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

std::u16string U16(const std::filesystem::path& p)
{
    std::string s = p.string();
    return std::u16string(s.begin(), s.end());
}

std::filesystem::path BenchDir()
{
    auto d = std::filesystem::temp_directory_path() / "zd-bench-document";
    std::filesystem::create_directories(d);
    return d;
}

// Two canvas-size layers of photo-like noise, the upper one translucent in places.
CZDDoc& TwoLayerDocument()
{
    static CZDDoc* doc = [] {
        auto* d = new CZDDoc;
        for (int l = 0; l < 2; ++l) {
            ImageBuffer16 img;
            AllocImage16(img, kWidth, kHeight);
            uint32_t seed = 12345 + l;
            for (uint32_t i = 0; i < img.pixelCount; ++i) {
                seed = seed * 1664525u + 1013904223u;
                uint16_t* p = img.data + size_t(i) * 4;
                p[0] = uint16_t(seed >> 8);
                p[1] = uint16_t((seed >> 4) + i);
                p[2] = uint16_t(seed >> 16);
                p[3] = l == 1 && (i % 7) == 0 ? 0x8000 : 0xFFFF;
            }
            d->AddLayer(img, l == 0 ? u"background" : u"upper");
            FreeImageBuffer(img);
        }
        return d;
    }();
    return *doc;
}

long ReadStatusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0)
            return std::atol(line.c_str() + n + 1);
    return -1;
}

void ResetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void StreamWrite(benchmark::State& state, PixelStreamMode mode)
{
    CZDDoc& doc = TwoLayerDocument();
    const auto path = BenchDir() / "write.bin";
    uint64_t bytes = 0;
    for (auto _ : state) {
        CDocFileStream f;
        f.Open(U16(path), CDocFileStream::Mode::Create);
        f.pixelMode = mode;
        if (!doc.Serialize(f, false, true) || !f.Close())
            state.SkipWithError("write failed");
        bytes = std::filesystem::file_size(path);
    }
    // Throughput counted in the document's 16-bit pixel bytes, so both variants compare.
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * int64_t(kWidth) * kHeight * 8);
    state.counters["file_MB"] = double(bytes) / 1e6;
}

void StreamRead(benchmark::State& state, PixelStreamMode mode)
{
    CZDDoc& doc = TwoLayerDocument();
    const auto path = BenchDir() / "read.bin";
    {
        CDocFileStream f;
        f.Open(U16(path), CDocFileStream::Mode::Create);
        f.pixelMode = mode;
        doc.Serialize(f, false, true);
        f.Close();
    }
    CZDDoc back;
    for (auto _ : state) {
        CDocFileStream f;
        f.Open(U16(path), CDocFileStream::Mode::Read);
        f.pixelMode = mode;
        if (!back.Serialize(f, true, true))
            state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * int64_t(kWidth) * kHeight * 8);
    std::filesystem::remove(path);
}

void BM_ProjectStreamWrite(benchmark::State& s) { StreamWrite(s, PixelStreamMode::Packed); }
void BM_ProjectStreamRead(benchmark::State& s) { StreamRead(s, PixelStreamMode::Packed); }
void BM_ExactStreamWrite(benchmark::State& s) { StreamWrite(s, PixelStreamMode::Exact); }
void BM_ExactStreamRead(benchmark::State& s) { StreamRead(s, PixelStreamMode::Exact); }

// The project file (packed colour, zlib alpha) written to a file, beside zlib's own compress()
// of the same planes (the upper layer's alpha, the only plane the document has), alternating in
// one loop; medians (zlib into buffers touched beforehand). MB/s are counted in the document's 16-bit pixel bytes for the file and in
// plane bytes for zlib; zlib_share is zlib's time over the file's.
void BM_ProjectFileBesideZlib(benchmark::State& state)
{
    CZDDoc& doc = TwoLayerDocument();
    const auto path = BenchDir() / "project.bin";
    std::vector<std::vector<uint8_t>> planes;
    for (const auto& layer : doc.layers) {
        const ImageBuffer16& px = layer->pixels;
        std::vector<uint8_t> plane(px.pixelCount);
        bool translucent = false;
        for (uint32_t i = 0; i < px.pixelCount; ++i) {
            plane[i] = uint8_t(px.data[size_t(i) * 4 + 3] >> 8);
            translucent |= px.data[size_t(i) * 4 + 3] != 0xFFFF;
        }
        if (translucent)
            planes.push_back(std::move(plane));
    }
    // zlib writes into buffers made (and touched) once: its figure is the compression alone.
    std::vector<std::vector<uint8_t>> outputs;
    for (const auto& plane : planes)
        outputs.emplace_back(compressBound(uLong(plane.size())), 1);
    std::vector<double> fileSeconds, zlibSeconds;
    double planeBytes = 0, fileBytes = 0;
    for (auto _ : state) {
        const TimedRun file = TimeRun([&] {
            CDocFileStream f;
            f.Open(U16(path), CDocFileStream::Mode::Create);
            f.pixelMode = PixelStreamMode::Packed;
            if (!doc.Serialize(f, false, true) || !f.Close())
                state.SkipWithError("write failed");
        });
        const TimedRun zlib = TimeRun([&] {
            planeBytes = 0;
            for (size_t k = 0; k < planes.size(); ++k) {
                const auto& plane = planes[k];
                uLongf size = uLongf(outputs[k].size());
                if (compress(outputs[k].data(), &size, plane.data(), uLong(plane.size())) != Z_OK)
                    state.SkipWithError("compress failed");
                planeBytes += double(plane.size());
            }
        });
        fileBytes = double(std::filesystem::file_size(path));
        fileSeconds.push_back(file.real);
        zlibSeconds.push_back(zlib.real);
        state.SetIterationTime(file.real);
    }
    const double pixelBytes = 2.0 * kWidth * kHeight * 8;
    state.counters["file_ms"] = 1000 * Median(fileSeconds);
    state.counters["file_MBps"] = pixelBytes / 1e6 / Median(fileSeconds);
    state.counters["file_out_MBps"] = fileBytes / 1e6 / Median(fileSeconds);
    state.counters["zlib_ms"] = 1000 * Median(zlibSeconds);
    state.counters["zlib_MBps"] = planeBytes / 1e6 / Median(zlibSeconds);
    state.counters["zlib_share"] = Median(zlibSeconds) / Median(fileSeconds);
    std::filesystem::remove(path);
}

void BM_HistoryAddWholeDocumentStep(benchmark::State& state)
{
    CZDDoc& doc = TwoLayerDocument();
    HistoryStore store;
    store.Init(&doc, U16(BenchDir() / "his-add.zdtmp"));
    store.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0);
    for (auto _ : state) {
        // Undo to the first step so every new step overwrites the same place in the file.
        store.current = 0;
        if (!store.AddStep(kHistoryDocument, -1, u"step", false, 0, nullptr, 0))
            state.SkipWithError("AddStep failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * int64_t(kWidth) * kHeight * 8);
    std::filesystem::remove(BenchDir() / "his-add.zdtmp");
}

void BM_HistoryGoBackFiveSteps(benchmark::State& state)
{
    CZDDoc& source = TwoLayerDocument();
    CZDDoc doc;
    doc.CopyFrom(source);
    HistoryStore store;
    store.Init(&doc, U16(BenchDir() / "his-back.zdtmp"));
    store.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0);
    for (int i = 0; i < 5; ++i) {
        doc.layers[1]->pixels.data[i] ^= 0x1234;
        store.AddStep(kHistoryLayer, 1, u"paint", false, 0, nullptr, 0);
    }
    for (auto _ : state) {
        // Back from step 5 to step 0, then forward again (untimed).
        if (!store.GoToStep(0, StepReplay::SkipIfCurrent))
            state.SkipWithError("GoToStep failed");
        state.PauseTiming();
        store.GoToStep(5, StepReplay::SkipIfCurrent);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * int64_t(kWidth) * kHeight * 8);
    std::filesystem::remove(BenchDir() / "his-back.zdtmp");
}

// The 24-megapixel test photo (made once), with the tables and the helpers (argument 0) set
// up; an empty path when it cannot be made.
std::filesystem::path PreparePhoto(benchmark::State& state)
{
    BuildGammaTables();
    UseHelpers(int(state.range(0)));
    const auto path = BenchDir() / "photo24.jpg";
    if (std::filesystem::exists(path))
        return path;
    std::string cmd = "/usr/bin/convert -size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                      " plasma:fractal -quality 90 '" + path.string() + "' 2>/dev/null";
    if (std::system(cmd.c_str()) == 0)
        return path;
    state.SkipWithError("cannot make the test photo");
    return {};
}

// Opening a 24-megapixel JPEG: the peak resident memory above what the document itself holds,
// in full-size 16-bit copies (192 MB each).
// Argument: helper threads (the conversions after the decode run on them).
void BM_OpenPhoto24MP(benchmark::State& state)
{
    const auto path = PreparePhoto(state);
    if (path.empty())
        return;
    const double copyBytes = double(kWidth) * kHeight * 8;
    double extraCopies = 0;
    for (auto _ : state) {
        CZDDoc doc;
        ResetPeakRss();
        const long before = ReadStatusKb("VmRSS:");
        if (!doc.OpenImage(U16(path)))
            state.SkipWithError("open failed");
        const long peak = ReadStatusKb("VmHWM:");
        extraCopies = (double(peak - before) * 1024 - copyBytes) / copyBytes;
    }
    state.counters["peak_extra_16bit_copies"] = extraCopies;
}

// Opening the 24-megapixel JPEG as a document beside tjDecompress2 of the same file into fresh
// memory, alternating in one loop; medians of wall-clock and of process CPU time (all threads).
// The open reads the file (in the page cache), tjDecompress2 decodes the bytes already read.
// tj_large: tjDecompress2 into memory advised for large pages, as the program's pictures are;
// before: the road before the one-go conversion (decode, repair in place, convert).
// Argument: helper threads.
void BM_OpenPhotoBesideTjDecompress2(benchmark::State& state)
{
    const auto path = PreparePhoto(state);
    if (path.empty())
        return;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tjhandle handle = tjInitDecompress();
    std::vector<double> openReal, openCpu, tjReal, tjCpu, beforeReal, beforeCpu, tjLargeReal, tjLargeCpu;
    for (auto _ : state) {
        const TimedRun open = TimeRun([&] {
            CZDDoc doc;
            if (!doc.OpenImage(U16(path)))
                state.SkipWithError("open failed");
        });
        const TimedRun tj = TimeRun([&] {
            if (!TjDecompressFresh(handle, bytes, kWidth, kHeight))
                state.SkipWithError("tjDecompress2 failed");
        });
        // The same decode into memory advised for large pages, as the program's pictures are.
        const TimedRun tjLarge = TimeRun([&] {
            if (!TjDecompressFresh(handle, bytes, kWidth, kHeight, true))
                state.SkipWithError("tjDecompress2 failed");
        });
        tjLargeReal.push_back(tjLarge.real), tjLargeCpu.push_back(tjLarge.cpu);
        // The road before the one-go conversion: decode, repair in place, convert.
        const TimedRun before = TimeRun([&] {
            ImageBuffer8 picture;
            ImageBuffer16 layer;
            if (!LoadImage8(U16(path).c_str(), picture))
                state.SkipWithError("decode failed");
            RepairJpegChroma(picture);
            ConvertImage8To16(layer, picture, kConvertSrgb);
            FreeImageBuffer(picture);
            FreeImageBuffer(layer);
        });
        beforeReal.push_back(before.real), beforeCpu.push_back(before.cpu);
        openReal.push_back(open.real), openCpu.push_back(open.cpu);
        tjReal.push_back(tj.real), tjCpu.push_back(tj.cpu);
        state.SetIterationTime(open.real);
    }
    tjDestroy(handle);
    state.counters["open_ms"] = 1000 * Median(openReal);
    state.counters["tj_ms"] = 1000 * Median(tjReal);
    state.counters["ratio"] = Median(openReal) / Median(tjReal);
    state.counters["open_cpu_ms"] = 1000 * Median(openCpu);
    state.counters["tj_cpu_ms"] = 1000 * Median(tjCpu);
    state.counters["cpu_ratio"] = Median(openCpu) / Median(tjCpu);
    state.counters["tj_large_ms"] = 1000 * Median(tjLargeReal);
    state.counters["tj_large_cpu_ms"] = 1000 * Median(tjLargeCpu);
    state.counters["before_ms"] = 1000 * Median(beforeReal);
    state.counters["before_cpu_ms"] = 1000 * Median(beforeCpu);
}

} // namespace

BENCHMARK(BM_OpenPhotoBesideTjDecompress2)->Arg(0)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(BM_ProjectFileBesideZlib)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ProjectStreamWrite)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ProjectStreamRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExactStreamWrite)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExactStreamRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_HistoryAddWholeDocumentStep)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_HistoryGoBackFiveSteps)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_OpenPhoto24MP)->Arg(0)->Arg(8)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

namespace {
void BM_RotateDocumentRight(benchmark::State& state)
{
    CZDDoc doc;
    doc.CopyFrom(TwoLayerDocument());
    for (auto _ : state)
        RotateDocumentRight(doc);
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * int64_t(kWidth) * kHeight * 8);
}
// What the turn, undo and the exact stream are held against: a plain copy of the same two layers
// into fresh memory (as a turn and a restore both allocate the new pixels).
void BM_MemcpyTwoLayersFresh(benchmark::State& state)
{
    CZDDoc& doc = TwoLayerDocument();
    const size_t bytes = size_t(kWidth) * kHeight * 8;
    for (auto _ : state)
        for (int i = 0; i < 2; ++i) {
            ImageBuffer16 copy;
            if (!AllocImage16(copy, kWidth, kHeight))
                state.SkipWithError("no memory");
            std::memcpy(copy.data, doc.layers[size_t(i)]->pixels.data, bytes);
            benchmark::DoNotOptimize(copy.data);
            FreeImageBuffer(copy);
        }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * int64_t(bytes));
}
} // namespace
BENCHMARK(BM_MemcpyTwoLayersFresh)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_RotateDocumentRight)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
