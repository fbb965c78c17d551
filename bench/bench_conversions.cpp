// Whole-picture loops that used to run on the caller alone, on a 24-megapixel photo with 0 and 8
// helper threads: the colour conversions (each beside a memcpy of the bytes it writes;
// destinations reused, so both run on warm memory; ratio = conversion / memcpy), brightness and
// contrast, automatic levels, nearest resize, the 5 x 5 kernel.
#include "algorithms/AlgorithmThread.h"
#include "algorithms/AutoLevel.h"
#include "algorithms/ImageSize.h"
#include "algorithms/ToneAdjust.h"
#include "imaging/ColourTables.h"
#include "imaging/ConvolutionKernel.h"

#include "bench/BenchHelpers.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
using Clock = std::chrono::steady_clock;

struct Pictures {
    ImageBuffer8 photo8{}, out8{};
    ImageBuffer16 photo16{}, out16{};
    Pictures()
    {
        BuildGammaTables();
        AllocImage8(photo8, kWidth, kHeight);
        AllocImage8(out8, kWidth, kHeight);
        AllocImage16(out16, kWidth, kHeight);
        std::mt19937 rng(1);
        // Smooth gradients with grain: the dither has real errors to spread.
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = photo8.data + (size_t(y) * kWidth + x) * 4;
                const uint32_t n = rng();
                p[0] = uint8_t((x / 24 + (n & 7)) & 255);
                p[1] = uint8_t((y / 16 + ((n >> 3) & 7)) & 255);
                p[2] = uint8_t(((x + y) / 40 + ((n >> 6) & 7)) & 255);
                p[3] = 255;
            }
        ConvertImage8To16(photo16, photo8, kConvertSrgb);
        std::memset(out8.data, 1, out8.byteSize);
        std::memset(out16.data, 1, size_t(out16.pixelCount) * 8);
    }
};

Pictures& Data()
{
    static Pictures p;
    return p;
}

template <class Convert>
void PairWithMemcpy(benchmark::State& state, void* to, const void* from, size_t bytes, Convert&& convert)
{
    UseHelpers(int(state.range(0)));
    double ours = 0, copy = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (!convert())
            state.SkipWithError("conversion failed");
        const auto t1 = Clock::now();
        std::memcpy(to, from, bytes);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        copy += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    state.counters["ms"] = 1000 * ours / state.iterations();
    state.counters["memcpy_ms"] = 1000 * copy / state.iterations();
    state.counters["ratio"] = ours / copy;
}

// Argument: helper threads.
void BM_Convert8To16(benchmark::State& state)
{
    Pictures& d = Data();
    static std::vector<uint8_t> scratch(size_t(kWidth) * kHeight * 8);
    PairWithMemcpy(state, d.out16.data, scratch.data(), scratch.size(),
                   [&] { return ConvertPixels8To16(d.photo8, d.out16) == 1; });
}

void BM_Convert8To16Linear(benchmark::State& state)
{
    Pictures& d = Data();
    static std::vector<uint8_t> scratch(size_t(kWidth) * kHeight * 8);
    PairWithMemcpy(state, d.out16.data, scratch.data(), scratch.size(),
                   [&] { return ConvertPixels8To16Linear(d.photo8, d.out16) == 1; });
}

void BM_Convert16To8Dithered(benchmark::State& state)
{
    Pictures& d = Data();
    static std::vector<uint8_t> scratch(size_t(kWidth) * kHeight * 4);
    // The dithered conversion allocates its destination; keep one and let it be reused.
    static ImageBuffer8 out{};
    PairWithMemcpy(state, d.out8.data, scratch.data(), scratch.size(),
                   [&] { return ConvertImage16To8Dithered(d.photo16, out) == 1; });
}

void Rate(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void BM_BrightnessContrast(benchmark::State& state)
{
    Pictures& d = Data();
    UseHelpers(int(state.range(0)));
    BrightnessContrastParams p;
    p.brightness = 30;
    p.contrast = 20;
    CBrightnessContrast bc;
    bc.SetSource(&d.photo16);
    bc.SetDestination(&d.out16);
    bc.SetParams(&p);
    for (auto _ : state)
        if (bc.Run() != 1)
            state.SkipWithError("failed");
    Rate(state);
}

void BM_AutoLevel(benchmark::State& state)
{
    Pictures& d = Data();
    UseHelpers(int(state.range(0)));
    for (auto _ : state)
        if (AutoLevel(2.0, d.photo16, d.out16) != 1)
            state.SkipWithError("failed");
    Rate(state);
}

void BM_ResizeNearest(benchmark::State& state)
{
    Pictures& d = Data();
    UseHelpers(int(state.range(0)));
    static ImageBuffer16 out{};
    for (auto _ : state) {
        CImageSize is;
        if (is.ResizeNearest(d.photo16, out, kWidth * 3 / 4, kHeight * 3 / 4) != 1)
            state.SkipWithError("failed");
    }
    Rate(state);
}

void BM_Kernel5x5(benchmark::State& state)
{
    static const int32_t weights[25] = { 1, 2, 2, 2, 1, 2, 4, 4, 4, 2, 2, 4, 8, 4, 2, 2, 4, 4, 4, 2, 1, 2, 2, 2, 1 };
    const ConvolutionKernel kernel{ weights, 68, 5, 5, 2, 2 };
    Pictures& d = Data();
    UseHelpers(int(state.range(0)));
    for (auto _ : state)
        if (kernel.ApplyImage8(d.photo8, d.out8) != 1)
            state.SkipWithError("failed");
    Rate(state);
}

} // namespace

BENCHMARK(BM_Convert8To16)->Arg(0)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Convert8To16Linear)->Arg(0)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Convert16To8Dithered)->Arg(0)->Arg(2)->Arg(4)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_BrightnessContrast)->Arg(0)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutoLevel)->Arg(0)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeNearest)->Arg(0)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kernel5x5)->Arg(0)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
