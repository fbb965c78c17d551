// The restoration and frequency filters: the transforms beside FFTW (when built with
// ZENDRA_BENCH_FFTW), noise reduction on a noisy 24-megapixel photo beside OpenCV's
// fastNlMeansDenoisingColored (run as a whole python3 process on the same picture, skipped when
// python3 with cv2 is missing), megapixels per second of the other filters at 1 and 8 helpers,
// and the JPEG size search beside a plain quality bisection with libjpeg.
#include "algorithms/AlgorithmThread.h"
#include "algorithms/Defog.h"
#include "algorithms/Descreen.h"
#include "algorithms/JpegOptimize.h"
#include "algorithms/LensBlur.h"
#include "algorithms/NoiseReduction.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/PurpleFringe.h"
#include "algorithms/SkinClean.h"
#include "algorithms/Transforms.h"
#include "imaging/ColourTables.h"
#include "imaging/ImageCodec/JpegWriter.h"

#include "bench/BenchHelpers.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifdef ZENDRA_BENCH_FFTW
#include <fftw3.h>
#endif

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

void Megapixels(benchmark::State& state, int64_t pixelsPerRun)
{
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(pixelsPerRun) / 1e6 * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

// A clean photo-like 8-bit picture: gradients, discs and stripes of several sizes, soft texture.
ImageBuffer8 CleanPhoto8(int w, int h)
{
    ImageBuffer8 img{};
    AllocImage8(img, w, h);
    std::mt19937 rng(3);
    struct Disc { int x, y, r; uint8_t c[3]; };
    std::vector<Disc> discs;
    for (int i = 0; i < 60; ++i)
        discs.push_back({static_cast<int>(rng() % w), static_cast<int>(rng() % h), static_cast<int>(20 + rng() % (h / 8)),
                         {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())}});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.data + (static_cast<size_t>(y) * w + x) * 4;
            int c[3] = {40 + 150 * x / w, 60 + 120 * y / h, 90 + 60 * (x + y) / (w + h)};
            for (const Disc& d : discs)
                if ((x - d.x) * (x - d.x) + (y - d.y) * (y - d.y) < d.r * d.r)
                    for (int k = 0; k < 3; ++k)
                        c[k] = (c[k] + 2 * d.c[k]) / 3;
            const int texture = static_cast<int>(6 * std::sin(x * 0.05) * std::cos(y * 0.07));
            for (int k = 0; k < 3; ++k)
                p[k] = static_cast<uint8_t>(std::clamp(c[k] + texture, 0, 255));
            p[3] = 255;
        }
    return img;
}

ImageBuffer8 AddNoise8(const ImageBuffer8& clean, double sigma)
{
    ImageBuffer8 out{};
    CopyImage8(out, clean);
    std::mt19937 rng(9);
    std::normal_distribution<double> n(0, sigma);
    for (size_t i = 0; i < clean.pixelCount; ++i)
        for (int c = 0; c < 3; ++c)
            out.data[i * 4 + c] = static_cast<uint8_t>(std::clamp(std::lround(clean.data[i * 4 + c] + n(rng)), 0L, 255L));
    return out;
}

double Psnr8(const ImageBuffer8& a, const ImageBuffer8& b)
{
    double se = 0;
    for (size_t i = 0; i < a.pixelCount; ++i)
        for (int c = 0; c < 3; ++c) {
            const double d = double(a.data[i * 4 + c]) - b.data[i * 4 + c];
            se += d * d;
        }
    const double mse = se / (3.0 * a.pixelCount);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

const ImageBuffer16& Photo16()
{
    static ImageBuffer16 img = [] {
        BuildGammaTables();
        ImageBuffer8 p8 = CleanPhoto8(kWidth, kHeight);
        ImageBuffer8 noisy = AddNoise8(p8, 4);
        ImageBuffer16 out{};
        ConvertImage8To16(out, noisy, kConvertSrgb);
        FreeImageBuffer(p8);
        FreeImageBuffer(noisy);
        return out;
    }();
    return img;
}

// ---- transforms -------------------------------------------------------------------------

// Argument: 0 own, 1 FFTW. 128 x 128 forward and inverse Fourier transforms (camera-shake tiles).
void BM_Fft2D128(benchmark::State& state)
{
    std::vector<double> data(128 * 128);
    std::mt19937 rng(1);
    for (double& v : data)
        v = rng() % 256;
    if (state.range(0) == 0) {
        SquareTransform t;
        t.Allocate(7);
        std::vector<Complex> spectrum(128 * 128);
        for (auto _ : state) {
            std::copy(data.begin(), data.end(), t.Data());
            t.Fft2D(spectrum.data());
            t.InverseFft2D(spectrum.data());
            benchmark::DoNotOptimize(t.Data()[5]);
        }
        return;
    }
#ifdef ZENDRA_BENCH_FFTW
    fftw_complex* buf = fftw_alloc_complex(128 * 128);
    fftw_plan fwd = fftw_plan_dft_2d(128, 128, buf, buf, FFTW_FORWARD, FFTW_MEASURE);
    fftw_plan inv = fftw_plan_dft_2d(128, 128, buf, buf, FFTW_BACKWARD, FFTW_MEASURE);
    for (auto _ : state) {
        for (int i = 0; i < 128 * 128; ++i)
            buf[i][0] = data[i], buf[i][1] = 0;
        fftw_execute(fwd);
        fftw_execute(inv);
        benchmark::DoNotOptimize(buf[5][0]);
    }
    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
    fftw_free(buf);
#else
    state.SkipWithError("built without FFTW");
#endif
}
BENCHMARK(BM_Fft2D128)->Arg(0)->Arg(1)->ArgNames({"fftw"})->Unit(benchmark::kMicrosecond);

// Argument: 0 own, 1 FFTW. 256 x 256 forward and inverse cosine transforms (descreen tiles).
void BM_Dct2D256(benchmark::State& state)
{
    std::vector<double> data(256 * 256);
    std::mt19937 rng(2);
    for (double& v : data)
        v = rng() % 256;
    if (state.range(0) == 0) {
        SquareTransform t;
        t.Allocate(8);
        for (auto _ : state) {
            std::copy(data.begin(), data.end(), t.Data());
            t.Dct2D(true);
            t.Dct2D(false);
            benchmark::DoNotOptimize(t.Data()[5]);
        }
        return;
    }
#ifdef ZENDRA_BENCH_FFTW
    double* buf = fftw_alloc_real(256 * 256);
    fftw_plan fwd = fftw_plan_r2r_2d(256, 256, buf, buf, FFTW_REDFT10, FFTW_REDFT10, FFTW_MEASURE);
    fftw_plan inv = fftw_plan_r2r_2d(256, 256, buf, buf, FFTW_REDFT01, FFTW_REDFT01, FFTW_MEASURE);
    for (auto _ : state) {
        std::copy(data.begin(), data.end(), buf);
        fftw_execute(fwd);
        fftw_execute(inv);
        benchmark::DoNotOptimize(buf[5]);
    }
    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
    fftw_free(buf);
#else
    state.SkipWithError("built without FFTW");
#endif
}
BENCHMARK(BM_Dct2D256)->Arg(0)->Arg(1)->ArgNames({"fftw"})->Unit(benchmark::kMicrosecond);

// ---- noise reduction against OpenCV ----------------------------------------------------------

struct NoisePair {
    ImageBuffer8 clean{}, noisy{};
    std::string cleanPath, noisyPath;
};

// Raw files: u32 width, u32 height, then B, G, R bytes.
void WriteRaw(const ImageBuffer8& img, const std::string& path)
{
    std::ofstream f(path, std::ios::binary);
    const uint32_t w = static_cast<uint32_t>(img.width), h = static_cast<uint32_t>(img.height);
    f.write(reinterpret_cast<const char*>(&w), 4);
    f.write(reinterpret_cast<const char*>(&h), 4);
    std::vector<char> row(static_cast<size_t>(w) * 3);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = static_cast<char>(img.data[(static_cast<size_t>(y) * w + x) * 4 + c]);
        f.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

const NoisePair& Noisy24()
{
    static NoisePair pair = [] {
        BuildGammaTables();
        NoisePair p;
        p.clean = CleanPhoto8(kWidth, kHeight);
        p.noisy = AddNoise8(p.clean, 10);
        const char* tmp = std::getenv("TMPDIR");
        const std::string dir = tmp ? tmp : "/tmp";
        p.cleanPath = dir + "/zd_nr_clean.raw";
        p.noisyPath = dir + "/zd_nr_noisy.raw";
        WriteRaw(p.clean, p.cleanPath);
        WriteRaw(p.noisy, p.noisyPath);
        return p;
    }();
    return pair;
}

// Arguments: helper threads. Strength 50, normal style, chroma pass on (the dialog's defaults).
void BM_NoiseReduction24MP(benchmark::State& state)
{
    UseHelpers(static_cast<int>(state.range(0)));
    const NoisePair& p = Noisy24();
    ImageBuffer16 src{}, dst{};
    ConvertImage8To16(src, p.noisy, kConvertSrgb);
    NoiseReductionParams params;
    params.strength = 50;
    params.chromaPass = 1;
    params.style = 1;
    for (auto _ : state) {
        CNoiseReduction nr;
        nr.SetSource(&src);
        nr.SetDestination(&dst);
        nr.SetParams(&params);
        benchmark::DoNotOptimize(nr.Run());
    }
    ImageBuffer8 out{};
    ConvertImage16To8(dst, out);
    const double before = Psnr8(p.noisy, p.clean), after = Psnr8(out, p.clean);
    state.counters["PSNR_in"] = before;
    state.counters["PSNR_out"] = after;
    state.counters["PSNR_gain"] = after - before;
    Megapixels(state, static_cast<int64_t>(kWidth) * kHeight);
    FreeImageBuffer(out);
    FreeImageBuffer(src);
    FreeImageBuffer(dst);
}
BENCHMARK(BM_NoiseReduction24MP)->Arg(1)->Arg(8)->ArgNames({"helpers"})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// OpenCV's fastNlMeansDenoisingColored with its defaults on the same noisy picture, as a whole
// python3 process (timed inside and as a process); the PSNR is measured here.
void BM_NoiseReductionOpenCV24MP(benchmark::State& state)
{
    const NoisePair& p = Noisy24();
    std::string script = __FILE__; // the script lies beside this file
    script = script.substr(0, script.find_last_of('/') + 1) + "nr_opencv_compare.py";
    const std::string outPath = p.noisyPath + ".cv";
    const std::string timePath = p.noisyPath + ".time";
    const std::string cmd = "/usr/bin/python3 " + script + " " + p.noisyPath + " " + outPath + " " + timePath + " 2>/dev/null";
    if (std::system("/usr/bin/python3 -c 'import cv2' 2>/dev/null") != 0) {
        state.SkipWithError("python3 with cv2 is missing");
        return;
    }
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("the OpenCV script failed");
            return;
        }
    std::ifstream f(outPath, std::ios::binary);
    uint32_t w = 0, h = 0;
    f.read(reinterpret_cast<char*>(&w), 4);
    f.read(reinterpret_cast<char*>(&h), 4);
    ImageBuffer8 out{};
    AllocImage8(out, static_cast<int>(w), static_cast<int>(h));
    std::vector<char> row(static_cast<size_t>(w) * 3);
    for (uint32_t y = 0; y < h; ++y) {
        f.read(row.data(), static_cast<std::streamsize>(row.size()));
        for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                out.data[(static_cast<size_t>(y) * w + x) * 4 + c] = static_cast<uint8_t>(row[x * 3 + c]);
    }
    double inside = 0;
    std::ifstream t(timePath);
    t >> inside;
    const double before = Psnr8(p.noisy, p.clean), after = Psnr8(out, p.clean);
    state.counters["PSNR_in"] = before;
    state.counters["PSNR_out"] = after;
    state.counters["PSNR_gain"] = after - before;
    state.counters["denoise_s"] = inside;
    FreeImageBuffer(out);
}
BENCHMARK(BM_NoiseReductionOpenCV24MP)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the other filters, megapixels per second at 1 and 8 helpers ------------------------------

template <class Algo, class Params>
void RunFilter(benchmark::State& state, const Params& params)
{
    UseHelpers(static_cast<int>(state.range(0)));
    const ImageBuffer16& src = Photo16();
    ImageBuffer16 dst{};
    for (auto _ : state) {
        Algo a;
        a.SetSource(const_cast<ImageBuffer16*>(&src));
        a.SetDestination(&dst);
        a.SetParams(&params);
        benchmark::DoNotOptimize(a.Run());
    }
    Megapixels(state, static_cast<int64_t>(src.width) * src.height);
    FreeImageBuffer(dst);
}

void BM_Defog(benchmark::State& state)
{
    DefogParams p;
    p.amount = 50;
    RunFilter<CDefog>(state, p);
}

void BM_Descreen(benchmark::State& state)
{
    DescreenParams p; // medium, strength 50, luminance only: the dialog's defaults
    RunFilter<CDescreen>(state, p);
}

void BM_PurpleFringe(benchmark::State& state)
{
    PurpleFringeParams p;
    RunFilter<CPurpleFringe>(state, p);
}

void BM_SkinClean(benchmark::State& state)
{
    SkinCleanParams p;
    p.skin[0] = 20000, p.skin[1] = 30000, p.skin[2] = 45000; // a colour the test photo holds
    RunFilter<CSkinClean>(state, p);
}

void BM_LensBlur(benchmark::State& state)
{
    static Plane8 disc = [] {
        Plane8 d{};
        AllocPlane8(d, 128, 128);
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
                d.data[y * 128 + x] = (x - 64) * (x - 64) + (y - 64) * (y - 64) <= 62 * 62 ? 255 : 0;
        return d;
    }();
    LensBlurParams p;
    p.shape = &disc;
    p.radius = static_cast<double>(state.range(1));
    p.highlight = 30;
    RunFilter<CLensBlur>(state, p);
}

BENCHMARK(BM_Defog)->Arg(1)->Arg(8)->ArgNames({"helpers"})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Descreen)->Arg(1)->Arg(8)->ArgNames({"helpers"})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PurpleFringe)->Arg(1)->Arg(8)->ArgNames({"helpers"})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SkinClean)->Arg(1)->Arg(8)->ArgNames({"helpers"})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LensBlur)->ArgsProduct({{1, 8}, {5, 20}})->ArgNames({"helpers", "radius"})->Iterations(1)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- JPEG: 500 KB on a 24-megapixel photo --------------------------------------------------------

const ImageBuffer8& Photo8()
{
    static ImageBuffer8 img = [] {
        ImageBuffer8 clean = CleanPhoto8(kWidth, kHeight);
        ImageBuffer8 grain = AddNoise8(clean, 3);
        FreeImageBuffer(clean);
        return grain;
    }();
    return img;
}

void BM_JpegTargetOptimize(benchmark::State& state)
{
    const ImageBuffer8& src = Photo8();
    ImageBuffer8 work{};
    CJpegOptimize opt;
    JpegSaveOptions o;
    InitJpegSaveOptions(o);
    o.quality = 90;
    o.chroma = 0;
    o.targetPolicy = 2;
    o.targetKB = 500;
    o.outputFlags = JpegOutputEstimate;
    for (auto _ : state) {
        opt.SetPictures(&src, &work);
        benchmark::DoNotOptimize(opt.Run(o));
    }
    state.counters["KB"] = static_cast<double>(opt.m_encodedSize) / 1024;
    state.counters["quality"] = opt.m_chosenQuality;
    state.counters["PSNR"] = Psnr8(work, src);
    FreeImageBuffer(work);
}
BENCHMARK(BM_JpegTargetOptimize)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A plain bisection over libjpeg's quality for the same target, then one decode for the PSNR.
void BM_JpegTargetBisection(benchmark::State& state)
{
    const ImageBuffer8& src = Photo8();
    ImageBuffer8 decoded{};
    int64_t bestSize = 0;
    int best = 1;
    for (auto _ : state) {
        JpegWriter w;
        int lo = 1, hi = 100;
        best = 1;
        while (lo <= hi) {
            const int q = (lo + hi) / 2;
            uint8_t* bytes = nullptr;
            int64_t size = 0;
            w.EncodeToMemory(bytes, size, src, q);
            std::free(bytes);
            if (size <= 500 * 1024) {
                best = q;
                lo = q + 1;
            } else {
                hi = q - 1;
            }
        }
        uint8_t* bytes = nullptr;
        w.EncodeToMemory(bytes, bestSize, src, best);
        DecodeJpegMemory(bytes, static_cast<size_t>(bestSize), decoded);
        std::free(bytes);
    }
    state.counters["KB"] = static_cast<double>(bestSize) / 1024;
    state.counters["quality"] = best;
    state.counters["PSNR"] = Psnr8(decoded, src);
    FreeImageBuffer(decoded);
}
BENCHMARK(BM_JpegTargetBisection)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
