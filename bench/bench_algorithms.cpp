// Throughput of the Gaussian blur and the resizers on a 24-megapixel 16-bit picture, over 1 to 8
// helper threads. Built with ZENDRA_WITH_OPENCV (the separately configured zendra_bench_opencv
// target), the same operations of OpenCV run on the same BGRA picture for comparison.
#include "algorithms/AlgorithmThread.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ImageSize.h"

#include "bench/BenchHelpers.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#ifdef ZENDRA_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo-like picture: smooth gradients with fine noise, so no path is all zeros.
const ImageBuffer16& Picture()
{
    static ImageBuffer16 image = [] {
        ImageBuffer16 img{};
        AllocImage16(img, kWidth, kHeight);
        std::mt19937 rng(1);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint16_t* p = img.data + (static_cast<size_t>(y) * kWidth + x) * 4;
                const uint32_t n = rng();
                p[0] = static_cast<uint16_t>((x * 10 + (n & 0x3FF)) & 0xFFFF);
                p[1] = static_cast<uint16_t>((y * 15 + ((n >> 10) & 0x3FF)) & 0xFFFF);
                p[2] = static_cast<uint16_t>(((x + y) * 6 + ((n >> 20) & 0x3FF)) & 0xFFFF);
                p[3] = 0xFFFF;
            }
        return img;
    }();
    return image;
}

void Megapixels(benchmark::State& state, int64_t pixelsPerRun)
{
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(pixelsPerRun) / 1e6 * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

// Arguments: sigma, helper threads.
void BM_GaussBlur(benchmark::State& state)
{
    UseHelpers(static_cast<int>(state.range(1)));
    Picture(); // made once, outside the timing
    ImageBuffer16 out{};
    CGaussBlur blur;
    // One untimed run first: the result picture's first writes are not the blur's cost (OpenCV's
    // case below warms its pictures the same way).
    blur.BlurImage16(static_cast<double>(state.range(0)), Picture(), out);
    for (auto _ : state)
        benchmark::DoNotOptimize(blur.BlurImage16(static_cast<double>(state.range(0)), Picture(), out));
    Megapixels(state, static_cast<int64_t>(kWidth) * kHeight);
    FreeImageBuffer(out);
}
BENCHMARK(BM_GaussBlur)
    ->ArgsProduct({{2, 10, 30}, {1, 2, 4, 8}})
    ->ArgNames({"sigma", "helpers"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime() // CPU column: all threads, less sensitive to a loaded machine
    ->UseRealTime();

enum Kind { Cubic = 0, Area = 1 };

// Arguments: kind, target percent (50 or 200), helper threads.
void BM_Resize(benchmark::State& state)
{
    UseHelpers(static_cast<int>(state.range(2)));
    Picture();
    const int w = static_cast<int>(kWidth * state.range(1) / 100), h = static_cast<int>(kHeight * state.range(1) / 100);
    // The result picture is made and touched once outside the timing, as a caller resizing
    // repeatedly into the same picture has it; a first run would otherwise time the kernel
    // handing out 96 to 384 MB of fresh pages.
    ImageBuffer16 out{};
    AllocImage16(out, w, h);
    std::memset(out.data, 0, out.byteSize);
    CImageSize is;
    for (auto _ : state) {
        if (state.range(0) == Cubic)
            benchmark::DoNotOptimize(is.ResizeCubic(Picture(), out, w, h, 0.33f, 0.73f));
        else
            benchmark::DoNotOptimize(is.AreaAverage(Picture(), out, w, h));
    }
    Megapixels(state, static_cast<int64_t>(kWidth) * kHeight);
    FreeImageBuffer(out);
}
BENCHMARK(BM_Resize)
    ->ArgsProduct({{Cubic, Area}, {50, 200}, {1, 2, 4, 8}})
    ->ArgNames({"area", "percent", "helpers"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime() // CPU column: all threads, less sensitive to a loaded machine
    ->UseRealTime();

#ifdef ZENDRA_WITH_OPENCV
const cv::Mat& PictureMat()
{
    static cv::Mat m(kHeight, kWidth, CV_16UC4, const_cast<uint16_t*>(Picture().data));
    return m;
}

// Arguments: sigma, OpenCV threads.
void BM_OpenCvGaussianBlur(benchmark::State& state)
{
    cv::setNumThreads(static_cast<int>(state.range(1)));
    PictureMat();
    cv::Mat out;
    const double sigma = static_cast<double>(state.range(0));
    for (auto _ : state)
        cv::GaussianBlur(PictureMat(), out, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
    Megapixels(state, static_cast<int64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_OpenCvGaussianBlur)
    ->ArgsProduct({{2, 10, 30}, {1, 8}})
    ->ArgNames({"sigma", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same three steps our large-sigma blur takes: block means by the same factor (INTER_AREA),
// the Gaussian at the reduced sigma, bilinear back to the full size.
void BM_OpenCvReduceBlurEnlarge(benchmark::State& state)
{
    cv::setNumThreads(static_cast<int>(state.range(1)));
    PictureMat();
    const double sigma = static_cast<double>(state.range(0));
    const int b = GaussReduction(sigma);
    cv::Mat reduced, blurred, out;
    auto run = [&] {
        cv::resize(PictureMat(), reduced, cv::Size(kWidth / b, kHeight / b), 0, 0, cv::INTER_AREA);
        cv::GaussianBlur(reduced, blurred, cv::Size(0, 0), sigma / b, sigma / b, cv::BORDER_REPLICATE);
        cv::resize(blurred, out, cv::Size(kWidth, kHeight), 0, 0, cv::INTER_LINEAR);
    };
    run(); // untimed: the pictures' first writes (a fault per 4 KiB page here) are not the work
    for (auto _ : state)
        run();
    Megapixels(state, static_cast<int64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_OpenCvReduceBlurEnlarge)
    ->ArgsProduct({{10, 30}, {1, 8}})
    ->ArgNames({"sigma", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_OpenCvResize(benchmark::State& state)
{
    cv::setNumThreads(static_cast<int>(state.range(2)));
    PictureMat();
    const int w = static_cast<int>(kWidth * state.range(1) / 100), h = static_cast<int>(kHeight * state.range(1) / 100);
    cv::Mat out(h, w, CV_16UC4, cv::Scalar::all(0)); // made outside the timing, as ours
    for (auto _ : state)
        cv::resize(PictureMat(), out, cv::Size(w, h), 0, 0, state.range(0) == Cubic ? cv::INTER_CUBIC : cv::INTER_AREA);
    Megapixels(state, static_cast<int64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_OpenCvResize)
    ->ArgsProduct({{Cubic, Area}, {50, 200}, {1, 8}})
    ->ArgNames({"area", "percent", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
#endif

} // namespace
