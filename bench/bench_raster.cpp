// JPEG and PNG coding of the image class library, timed beside the JPEG library's own tools
// (djpeg, cjpeg) on the same files in the same run; the ratio counters are ours / theirs.
#include "raster/RasterJPG.h"
#include "raster/RasterStream.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A photo-like picture: smooth gradients, edges and some grain, so the coders see real work.
void FillPhoto(CRaster& image)
{
    uint32_t state = 12345;
    for (int32_t y = 0; y < image.Height(); ++y) {
        uint8_t* row = image.Row(y);
        for (int32_t x = 0; x < image.Width(); ++x) {
            state = state * 1664525u + 1013904223u;
            int grain = int(state >> 28) - 8;
            double fx = x / 300.0, fy = y / 250.0;
            int r = int(128 + 100 * std::sin(fx) * std::cos(fy)) + grain;
            int g = int(128 + 90 * std::sin(fx * 0.7 + fy)) + grain;
            int b = ((x / 64 + y / 64) % 2 ? 180 : 70) + grain;
            row[3 * x] = uint8_t(std::clamp(b, 0, 255));
            row[3 * x + 1] = uint8_t(std::clamp(g, 0, 255));
            row[3 * x + 2] = uint8_t(std::clamp(r, 0, 255));
        }
    }
}

struct Fixture {
    std::filesystem::path dir;
    CRaster photo{6000, 4000, 24, RasterFormatJPG};
    CRaster small{2000, 1500, 24, RasterFormatPNG};
    std::vector<uint8_t> jpeg;
    std::vector<uint8_t> png;
    std::string jpegPath, ppmPath;

    Fixture()
    {
        dir = std::filesystem::temp_directory_path() / ("zd_bench_raster_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        FillPhoto(photo);
        FillPhoto(small);
        photo.jpegQuality = 90;
        jpeg = Encode(photo, RasterFormatJPG);
        png = Encode(small, RasterFormatPNG);
        jpegPath = (dir / "photo.jpg").string();
        ppmPath = (dir / "photo.ppm").string();
        std::ofstream(jpegPath, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
        // The same picture as cjpeg's input.
        std::ofstream ppm(ppmPath, std::ios::binary);
        ppm << "P6\n6000 4000\n255\n";
        std::vector<uint8_t> rgb(6000 * 3);
        for (int32_t y = photo.Height() - 1; y >= 0; --y) {
            const uint8_t* row = photo.Row(y);
            for (int x = 0; x < 6000; ++x) {
                rgb[3 * x] = row[3 * x + 2];
                rgb[3 * x + 1] = row[3 * x + 1];
                rgb[3 * x + 2] = row[3 * x];
            }
            ppm.write(reinterpret_cast<const char*>(rgb.data()), rgb.size());
        }
    }
    ~Fixture() { std::filesystem::remove_all(dir); }

    static std::vector<uint8_t> Encode(CRaster& image, int code)
    {
        uint8_t* buffer = nullptr;
        int64_t size = 0;
        if (!image.Encode(buffer, size, code))
            std::abort();
        std::vector<uint8_t> bytes(buffer, buffer + size);
        std::free(buffer);
        return bytes;
    }
};

Fixture& Data()
{
    static Fixture fixture;
    return fixture;
}

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double TimeTool(const std::string& command)
{
    auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        std::abort();
    return Seconds(start);
}

// Page faults taken by the calling thread (RUSAGE_THREAD) or by all threads (RUSAGE_SELF).
long MinorFaults(int who = RUSAGE_THREAD)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_minflt;
}

// CPU seconds of every thread of this process (RUSAGE_SELF) or of the waited-for children.
double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct DecodeCost {
    double seconds = 0;
    double cpu = 0; // all threads, helpers included
    long faults = 0; // in the decoding thread
    long processFaults = 0; // helpers included
};

// cold: without the big blocks earlier pictures left behind, as for the first picture decoded.
DecodeCost TimeDecode(bool dcOnly, bool cold = false)
{
    Fixture& d = Data();
    if (cold)
        CRaster::ReleaseSpareBlocks();
    long faults = MinorFaults(), processFaults = MinorFaults(RUSAGE_SELF);
    double cpu = CpuSeconds(RUSAGE_SELF);
    auto start = Clock::now();
    CRasterMemStream stream(d.jpeg.data(), d.jpeg.size());
    CRasterJPG image;
    bool ok = dcOnly ? image.DecodeJpegPreview(&stream) : image.Decode(&stream);
    DecodeCost cost{Seconds(start), CpuSeconds(RUSAGE_SELF) - cpu, MinorFaults() - faults,
                    MinorFaults(RUSAGE_SELF) - processFaults};
    if (!ok)
        std::abort();
    return cost;
}

// Each iteration times ours and the tool's on the same file, back to back. djpeg streams its
// rows out; our decode fills a new full-size picture in memory, so djpeg is timed twice: into
// /dev/null (decode only) and into a file in memory (tmpfs), which also pays for fresh pages.
void JpegDecodeVsDjpeg(benchmark::State& state, bool dcOnly, bool cold)
{
    Fixture& d = Data();
    const std::string scale = dcOnly ? "-scale 1/8 " : "";
    const std::string toNull = "djpeg " + scale + "-outfile /dev/null " + d.jpegPath;
    const std::string shmFile = "/dev/shm/zd_bench_" + std::to_string(getpid()) + ".ppm";
    const std::string toMemory = "djpeg " + scale + "-outfile " + shmFile + " " + d.jpegPath;
    double ours = 0, theirs = 0, theirsToMemory = 0, oursCpu = 0, theirsCpu = 0;
    long faults = 0, processFaults = 0;
    for (auto _ : state) {
        DecodeCost cost = TimeDecode(dcOnly, cold);
        double o = cost.seconds;
        faults += cost.faults;
        processFaults += cost.processFaults;
        oursCpu += cost.cpu;
        double childCpu = CpuSeconds(RUSAGE_CHILDREN);
        double t = TimeTool(toNull);
        theirsCpu += CpuSeconds(RUSAGE_CHILDREN) - childCpu; // the shell's start included
        std::remove(shmFile.c_str());
        double m = TimeTool(toMemory);
        std::remove(shmFile.c_str());
        ours += o;
        theirs += t;
        theirsToMemory += m;
        state.SetIterationTime(o);
    }
    state.counters["ours_ms"] = 1000 * ours / state.iterations();
    state.counters["page_faults"] = double(faults) / double(state.iterations());
    state.counters["page_faults_all_threads"] = double(processFaults) / double(state.iterations());
    state.counters["ours_cpu_ms"] = 1000 * oursCpu / state.iterations();
    state.counters["djpeg_null_cpu_ms"] = 1000 * theirsCpu / state.iterations();
    state.counters["djpeg_null_ms"] = 1000 * theirs / state.iterations();
    state.counters["djpeg_shm_ms"] = 1000 * theirsToMemory / state.iterations();
    state.counters["ratio_null"] = ours / theirs;
    state.counters["ratio_shm"] = ours / theirsToMemory;
}

// Warm: the picture of the previous iteration was destroyed, as when stepping through photos.
void BM_JpegDecodeFull(benchmark::State& state) { JpegDecodeVsDjpeg(state, false, false); }
void BM_JpegDecodeFullCold(benchmark::State& state) { JpegDecodeVsDjpeg(state, false, true); }
void BM_JpegDecodeDcOnly(benchmark::State& state)
{
    JpegDecodeVsDjpeg(state, true, false);
    // Against our own full decode as well: what the DC-only path saves.
    state.counters["vs_full_decode"] = TimeDecode(true).seconds / TimeDecode(false).seconds;
}
void BM_JpegDecodeDcOnlyCold(benchmark::State& state) { JpegDecodeVsDjpeg(state, true, true); }

void BM_JpegEncodeVsCjpeg(benchmark::State& state)
{
    Fixture& d = Data();
    const std::string tool = "cjpeg -quality 90 -sample 2x2 -outfile /dev/null " + d.ppmPath;
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        CRasterMemStream stream;
        stream.Open();
        if (!d.photo.Encode(&stream, RasterFormatJPG))
            std::abort();
        double o = Seconds(start);
        double t = TimeTool(tool);
        ours += o;
        theirs += t;
        state.SetIterationTime(o);
    }
    state.counters["ours_ms"] = 1000 * ours / state.iterations();
    state.counters["cjpeg_ms"] = 1000 * theirs / state.iterations();
    state.counters["ratio"] = ours / theirs;
}

void BM_PngDecode(benchmark::State& state)
{
    Fixture& d = Data();
    for (auto _ : state) {
        CRasterMemStream stream(d.png.data(), d.png.size());
        CRaster image(0);
        if (!image.Decode(&stream, RasterFormatPNG))
            std::abort();
    }
    state.counters["megapixels_per_s"] =
        benchmark::Counter(3.0 * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_PngEncode(benchmark::State& state)
{
    Fixture& d = Data();
    for (auto _ : state) {
        CRasterMemStream stream;
        stream.Open();
        if (!d.small.Encode(&stream, RasterFormatPNG))
            std::abort();
    }
    state.counters["megapixels_per_s"] =
        benchmark::Counter(3.0 * state.iterations(), benchmark::Counter::kIsRate);
}

// The same picture through a plain libpng writer (default compression level and filters, RGB
// rows, into memory): what our encoder should cost at most.
void AppendToVector(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

std::vector<uint8_t> PlainLibpngEncode(const CRaster& image)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const int32_t w = image.Width(), h = image.Height();
    std::vector<uint8_t> row(size_t(w) * 3);
    if (setjmp(png_jmpbuf(png)))
        std::abort();
    png_set_write_fn(png, &out, AppendToVector, FlushNothing);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = h - 1; y >= 0; --y) {
        const uint8_t* src = const_cast<CRaster&>(image).Row(y);
        for (int32_t x = 0; x < w; ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Ours and the plain writer alternately in one run; ratio = ours / plain.
void BM_PngEncodeVsPlainLibpng(benchmark::State& state)
{
    Fixture& d = Data();
    double ours = 0, plain = 0;
    size_t oursBytes = 0, plainBytes = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        CRasterMemStream stream;
        stream.Open();
        if (!d.small.Encode(&stream, RasterFormatPNG))
            std::abort();
        oursBytes = size_t(stream.Size());
        auto t1 = Clock::now();
        plainBytes = PlainLibpngEncode(d.small).size();
        auto t2 = Clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        plain += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
    }
    state.counters["ours_ms"] = 1000 * ours / state.iterations();
    state.counters["libpng_ms"] = 1000 * plain / state.iterations();
    state.counters["ratio"] = ours / plain;
    state.counters["ours_bytes"] = double(oursBytes);
    state.counters["libpng_bytes"] = double(plainBytes);
}

} // namespace

BENCHMARK(BM_PngEncodeVsPlainLibpng)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_JpegDecodeFull)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_JpegDecodeFullCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_JpegDecodeDcOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_JpegDecodeDcOnlyCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_JpegEncodeVsCjpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngEncode)->Unit(benchmark::kMillisecond);
