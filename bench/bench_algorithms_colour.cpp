// Throughput of the colour, tone and effect algorithms on a 24-megapixel 16-bit picture with 1
// and 8 helper threads, beside one pass of the 8-to-16 conversion (the floor every per-pixel
// table algorithm should reach). Built with ZENDRA_WITH_OPENCV, the unsharp mask and the colour
// matrix also run OpenCV's equivalents on the same pixels in the same process.
#include "algorithms/AddSomething.h"
#include "algorithms/AlgorithmRandom.h"
#include "algorithms/AlgorithmThread.h"
#include "algorithms/ColorMixer.h"
#include "algorithms/EnhanceDynamic.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/GradientFilter.h"
#include "algorithms/RedEye.h"
#include "algorithms/SketchSim.h"
#include "algorithms/Starlight.h"
#include "algorithms/Threshold.h"
#include "algorithms/ToneMaker.h"
#include "algorithms/Visual.h"
#include "imaging/ColourTables.h"

#include "bench/BenchHelpers.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#ifdef ZENDRA_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kW = 6000;
constexpr int kH = 4000;
constexpr double kMegapixels = double(kW) * kH / 1e6;

// A night-and-colour test card: gradients with grain, saturated patches for the hue work, a red
// pupil for the red-eye box and small bright lamps for the star filter.
const ImageBuffer16& Source()
{
    static ImageBuffer16 image = [] {
        BuildGammaTables();
        ImageBuffer16 img{};
        AllocImage16(img, kW, kH);
        std::mt19937 rng(2);
        for (int y = 0; y < kH; ++y) {
            uint16_t* p = img.data + size_t(y) * kW * 4;
            for (int x = 0; x < kW; ++x, p += 4) {
                const uint32_t n = rng();
                const int patch = ((x / 500) + (y / 500)) % 3;
                const int base = 4000 + (x + y) * 5;
                p[0] = static_cast<uint16_t>(std::min(65535, base / (patch == 0 ? 1 : 3) + int(n & 0x7FF)));
                p[1] = static_cast<uint16_t>(std::min(65535, base / (patch == 1 ? 1 : 3) + int((n >> 11) & 0x7FF)));
                p[2] = static_cast<uint16_t>(std::min(65535, base / (patch == 2 ? 1 : 3) + int((n >> 22) & 0x3FF)));
                p[3] = 0xFFFF;
            }
        }
        for (int k = 0; k < 400; ++k) {
            const int cx = 10 + int(rng() % (kW - 20)), cy = 10 + int(rng() % (kH - 20));
            for (int y = cy - 1; y <= cy + 1; ++y)
                for (int x = cx - 1; x <= cx + 1; ++x) {
                    uint16_t* p = img.data + (size_t(y) * kW + x) * 4;
                    p[0] = p[1] = p[2] = 65535;
                }
        }
        for (int y = 1950; y < 2050; ++y)
            for (int x = 2950; x < 3050; ++x) {
                uint16_t* p = img.data + (size_t(y) * kW + x) * 4;
                p[0] = 2000, p[1] = 2500, p[2] = 16000;
            }
        return img;
    }();
    return image;
}

void Rate(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

template <class Alg, class Params>
int Run(Alg& alg, const Params& p, ImageBuffer16& out)
{
    alg.SetSource(const_cast<ImageBuffer16*>(&Source()));
    alg.SetDestination(&out);
    alg.SetParams(&p);
    return alg.Run();
}

const uint16_t* SharpenCurve()
{
    // The one-click sharpen: rises to 16000 at 8000, flat to half scale, then down to 0.
    static ToneTable curve = [] {
        ToneTable t(kToneLutSize);
        for (int i = 0; i < kToneLutSize; ++i)
            t[i] = static_cast<uint16_t>(i < 8000 ? i * 2 : (i < 32767 ? 16000 : 16000 - int64_t(i - 32767) * 16000 / 32768));
        return t;
    }();
    return curve.data();
}

const Plane8* RayShape()
{
    static Plane8 shape = [] {
        Plane8 p{};
        AllocPlane8(p, 128, 128);
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
                p.data[y * 128 + x] = (std::abs(x - 64) <= 2 || std::abs(y - 64) <= 2 || std::abs(x - y) <= 1) ? 255 : 0;
        return p;
    }();
    return &shape;
}

const Plane8* EyeMask()
{
    static Plane8 mask = [] {
        Plane8 p{};
        AllocPlane8(p, kW, kH);
        std::memset(p.data, 0, size_t(kW) * kH);
        for (int y = 1900; y < 2100; ++y)
            std::memset(p.data + size_t(y) * kW + 2900, 255, 200);
        return p;
    }();
    return &mask;
}

// Each case at the dialog's defaults, or a typical setting where the defaults change nothing.
const std::vector<std::pair<const char*, std::function<int(ImageBuffer16&)>>>& Cases()
{
    static const std::vector<std::pair<const char*, std::function<int(ImageBuffer16&)>>> cases = {
        {"ColorMixer", [](ImageBuffer16& o) { ColorMixerParams p; p.rows[0][1] = 20, p.rows[0][0] = 80, p.rows[2][2] = 110; CColorMixer a; return Run(a, p, o); }},
        {"ColorMixerLuminance", [](ImageBuffer16& o) { ColorMixerParams p; p.luminanceMode = 1; CColorMixer a; return Run(a, p, o); }},
        {"ColorAdjustHSL", [](ImageBuffer16& o) { ColorAdjustParams p; p.hue = 10, p.saturation = 20, p.lightness = 5; CColorAdjust a; return Run(a, p, o); }},
        {"ColorAdjustBalance", [](ImageBuffer16& o) { ColorAdjustParams p; p.mode = 1, p.balanceRed = 10; CColorAdjust a; return Run(a, p, o); }},
        {"WhiteBalanceAuto", [](ImageBuffer16& o) { WhiteBalanceParams p{}; CWhiteBalance a; return Run(a, p, o); }},
        {"SpotMetering", [](ImageBuffer16& o) { SpotMeteringParams p{20000, 20000, 20000, 65535}; CSpotMetering a; return Run(a, p, o); }},
        {"FilmAdjust", [](ImageBuffer16& o) { FilmAdjustParams p; p.exposure = 3, p.temperature = 300, p.colourBoost = 20, p.grain = 20, p.sharpness = 10; CAFilmAdjust a; return Run(a, p, o); }},
        {"FilmAdjustDynamic", [](ImageBuffer16& o) { FilmAdjustParams p; p.dynamicRange = 20; CAFilmAdjust a; return Run(a, p, o); }},
        {"Threshold", [](ImageBuffer16& o) { ThresholdParams p; CThreshold a; return Run(a, p, o); }},
        {"ThresholdAdaptive", [](ImageBuffer16& o) { ThresholdParams p; p.method = 1; CThreshold a; return Run(a, p, o); }},
        {"Sharpen", [](ImageBuffer16& o) { SharpenParams p; CSharpen a; a.SetCurve(SharpenCurve()); return Run(a, p, o); }},
        {"ToneMaker", [](ImageBuffer16& o) { ToneMakerParams p; p.desaturation = 30, p.toning = 60; p.shadow[0] = 30000, p.shadow[1] = 20000, p.shadow[2] = 10000; p.highlight[2] = 40000, p.highlight[1] = 30000, p.highlight[0] = 20000; p.midtone[0] = p.midtone[1] = p.midtone[2] = 20000; CToneMaker a; return Run(a, p, o); }},
        {"ColorContrast", [](ImageBuffer16& o) { ColorContrastParams p; p.amount = 50; CColorContrast a; return Run(a, p, o); }},
        {"ShadowsHighlightsCurve", [](ImageBuffer16& o) { EnhanceDynamicParams p; p.mode = 0; CEnhanceDynamic a; return Run(a, p, o); }},
        {"ShadowsHighlightsBlend", [](ImageBuffer16& o) { EnhanceDynamicParams p; p.mode = 1; CEnhanceDynamic a; return Run(a, p, o); }},
        {"ShadowsHighlightsLocal", [](ImageBuffer16& o) { EnhanceDynamicParams p; CEnhanceDynamic a; return Run(a, p, o); }},
        {"Visual", [](ImageBuffer16& o) { VisualParams p; p.exposureSteps = 1, p.redSteps = 1; CVisual a; return Run(a, p, o); }},
        {"GradientFilter", [](ImageBuffer16& o) { GradientParams p; p.amount = 80, p.angle = 20; CGradientFilter a; return Run(a, p, o); }},
        {"FilmLook", [](ImageBuffer16& o) { AddSomethingParams p; p.grain = 20, p.fade = 30, p.scratches = 20, p.darkCorners = 50, p.centreX = p.centreY = 50; CAddSomething a; return Run(a, p, o); }},
        {"PencilSketch", [](ImageBuffer16& o) { SketchParams p; CSketchSim a; return Run(a, p, o); }},
        {"StarFilter", [](ImageBuffer16& o) { StarlightParams p; CStarlight a; a.SetRayShape(RayShape()); return Run(a, p, o); }},
        {"RedEye", [](ImageBuffer16& o) { RedEyeParams p; p.mask = EyeMask(); CRedEye a; return Run(a, p, o); }},
    };
    return cases;
}

// Arguments: case index, helper threads.
void BM_Colour(benchmark::State& state)
{
    const auto& c = Cases()[size_t(state.range(0))];
    state.SetLabel(c.first);
    UseHelpers(static_cast<int>(state.range(1)));
    Source();
    ImageBuffer16 out{};
    for (auto _ : state)
        if (!c.second(out))
            state.SkipWithError("run failed");
    Rate(state);
    FreeImageBuffer(out);
}
BENCHMARK(BM_Colour)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 21, 1), {0, 1, 8}})
    ->ArgNames({"case", "helpers"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor for per-pixel table work: one pass of the 8-to-16 conversion of the same size.
void BM_ColourFloor8To16(benchmark::State& state)
{
    BuildGammaTables();
    ImageBuffer8 src{};
    AllocImage8(src, kW, kH);
    for (size_t i = 0; i < size_t(kW) * kH * 4; ++i)
        src.data[i] = static_cast<uint8_t>(i * 7);
    ImageBuffer16 dst{};
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertImage8To16(dst, src, kConvertSrgb));
    Rate(state);
    FreeImageBuffer(dst);
    FreeImageBuffer(src);
}
BENCHMARK(BM_ColourFloor8To16)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef ZENDRA_WITH_OPENCV
// OpenCV's unsharp mask: GaussianBlur + addWeighted on the same 16-bit BGRA pixels.
void BM_OpenCVUnsharp(benchmark::State& state)
{
    cv::setNumThreads(static_cast<int>(state.range(0)));
    cv::Mat src(kH, kW, CV_16UC4, const_cast<uint16_t*>(Source().data));
    cv::Mat blurred, out;
    for (auto _ : state) {
        cv::GaussianBlur(src, blurred, cv::Size(0, 0), 0.8);
        cv::addWeighted(src, 1.6, blurred, -0.6, 0, out);
        benchmark::DoNotOptimize(out.data);
    }
    Rate(state);
}
BENCHMARK(BM_OpenCVUnsharp)->Arg(1)->Arg(8)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();

// OpenCV's colour matrix: transform with a 3x3 matrix on 16-bit three-channel pixels.
void BM_OpenCVTransform(benchmark::State& state)
{
    cv::setNumThreads(static_cast<int>(state.range(0)));
    cv::Mat bgra(kH, kW, CV_16UC4, const_cast<uint16_t*>(Source().data)), bgr, out;
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    const cv::Matx33f m(1.1f, 0, 0, 0, 1, 0, 0, 0.2f, 0.8f);
    for (auto _ : state) {
        cv::transform(bgr, out, m);
        benchmark::DoNotOptimize(out.data);
    }
    Rate(state);
}
BENCHMARK(BM_OpenCVTransform)->Arg(1)->Arg(8)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

} // namespace
