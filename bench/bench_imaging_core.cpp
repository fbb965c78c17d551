// Pixel throughput of the image core on a 24-megapixel photo (6000 x 4000).
#include "imaging/ColourTables.h"
#include "imaging/ConvolutionKernel.h"
#include "imaging/ImageBuffer.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const ImageBuffer8& Photo8()
{
    static ImageBuffer8 image = [] {
        ImageBuffer8 img;
        AllocImage8(img, kWidth, kHeight);
        std::mt19937 rng(1);
        for (uint32_t i = 0; i < img.byteSize; i += 4) {
            const uint32_t v = rng();
            img.data[i] = uint8_t(v);
            img.data[i + 1] = uint8_t(v >> 8);
            img.data[i + 2] = uint8_t(v >> 16);
            img.data[i + 3] = 255;
        }
        return img;
    }();
    return image;
}

const ImageBuffer16& Photo16()
{
    static ImageBuffer16 image = [] {
        BuildGammaTables();
        ImageBuffer16 img;
        ConvertImage8To16(img, Photo8(), kConvertSrgb);
        return img;
    }();
    return image;
}

void SetRate(benchmark::State& state, double megapixelsPerCall)
{
    state.counters["MP/s"] = benchmark::Counter(megapixelsPerCall * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

constexpr double kMegapixels = double(kWidth) * kHeight / 1e6;

void BM_ConvertImage8To16(benchmark::State& state)
{
    BuildGammaTables();
    const ImageBuffer8& src = Photo8();
    ImageBuffer16 dst;
    for (auto _ : state) {
        ConvertImage8To16(dst, src, kConvertSrgb);
        benchmark::DoNotOptimize(dst.data);
    }
    SetRate(state, kMegapixels);
    FreeImageBuffer(dst);
}

void BM_ConvertImage16To8Dithered(benchmark::State& state)
{
    const ImageBuffer16& src = Photo16();
    ImageBuffer8 dst;
    for (auto _ : state) {
        ConvertImage16To8Dithered(src, dst);
        benchmark::DoNotOptimize(dst.data);
    }
    SetRate(state, kMegapixels);
    FreeImageBuffer(dst);
}

// Display path: a quarter-size copy with 2 x 2 samples.
void BM_ResizeImage8(benchmark::State& state)
{
    const ImageBuffer8& src = Photo8();
    ImageBuffer8 dst;
    for (auto _ : state) {
        ResizeImage8(src, dst, kWidth / 4, kHeight / 4, 2);
        benchmark::DoNotOptimize(dst.data);
    }
    SetRate(state, kMegapixels);
    FreeImageBuffer(dst);
}

void BM_BlurImage8(benchmark::State& state)
{
    const ImageBuffer8& src = Photo8();
    ImageBuffer8 dst;
    const int radius = int(state.range(0));
    for (auto _ : state) {
        BlurImage8(src, dst, radius);
        benchmark::DoNotOptimize(dst.data);
    }
    SetRate(state, kMegapixels);
    FreeImageBuffer(dst);
}

// The JPEG optimiser's 5 x 5 smoothing kernel.
void BM_ConvolutionKernel5x5(benchmark::State& state)
{
    static const int32_t weights[25] = {1, 2, 2, 2, 1, 2, 4, 4, 4, 2, 2, 4, 8, 4, 2,
                                        2, 4, 4, 4, 2, 1, 2, 2, 2, 1};
    const ConvolutionKernel kernel{weights, 68, 5, 5, 2, 2};
    const ImageBuffer8& src = Photo8();
    ImageBuffer8 dst;
    AllocImage8(dst, kWidth, kHeight);
    for (auto _ : state) {
        kernel.ApplyImage8(src, dst);
        benchmark::DoNotOptimize(dst.data);
    }
    SetRate(state, kMegapixels);
    FreeImageBuffer(dst);
}

} // namespace

BENCHMARK(BM_ConvertImage8To16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertImage16To8Dithered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeImage8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurImage8)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvolutionKernel5x5)->Unit(benchmark::kMillisecond);
