// Free rotation, lens distortion, free transform and mesh warp of a 24-megapixel 16-bit
// picture over 1 and 8 helper threads. Built into zendra_bench_opencv (ZENDRA_WITH_OPENCV),
// OpenCV's warpAffine / remap / warpPerspective with cubic interpolation run on the same
// picture for comparison; their maps are built outside the timing.
#include "algorithms/AlgorithmThread.h"
#include "algorithms/Chromakey.h"
#include "algorithms/FreeRotate.h"
#include "algorithms/InOutMatting.h"
#include "algorithms/MeshTransform.h"
#include "algorithms/ShapeTransform.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

#ifdef ZENDRA_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kW = 6000;
constexpr int kH = 4000;
constexpr double kAngle = 0.2;
constexpr double kLens = 0.3;
constexpr int kCell = 32;

const ImageBuffer16& Photo()
{
    static ImageBuffer16 image = [] {
        ImageBuffer16 img{};
        AllocImage16(img, kW, kH);
        std::mt19937 rng(2);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                uint16_t* p = img.data + (size_t(y) * kW + x) * 4;
                const uint32_t n = rng();
                p[0] = uint16_t((x * 10 + (n & 0x3FF)) & 0xFFFF);
                p[1] = uint16_t((y * 15 + ((n >> 10) & 0x3FF)) & 0xFFFF);
                p[2] = uint16_t(((x + y) * 6 + ((n >> 20) & 0x3FF)) & 0xFFFF);
                p[3] = 0xFFFF;
            }
        return img;
    }();
    return image;
}

void Helpers(int helpers)
{
    if (theAlgorithmThread.HelperCount() != helpers || !theAlgorithmThread.IsRunning()) {
        theAlgorithmThread.StopWorker();
        theAlgorithmThread.StartWorker(helpers);
    }
}

void Rate(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(double(kW) * kH / 1e6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

template <class Alg, class Params>
void RunAlgorithm(benchmark::State& state, const Params& params)
{
    Helpers(int(state.range(0)));
    Photo();
    ImageBuffer16 out{};
    for (auto _ : state) {
        Alg alg;
        alg.SetSource(const_cast<ImageBuffer16*>(&Photo()));
        alg.SetDestination(&out);
        alg.SetParams(&params);
        benchmark::DoNotOptimize(alg.Run());
    }
    Rate(state);
    FreeImageBuffer(out);
}

void BM_Rotate(benchmark::State& state)
{
    RotateParams p;
    p.angle = kAngle;
    RunAlgorithm<CRotate>(state, p);
}

void BM_BarrelDistort(benchmark::State& state)
{
    BarrelDistortParams p;
    p.coefficient = kLens;
    RunAlgorithm<CBarrelDistort>(state, p);
}

ShapeTransformParams TransformQuad()
{
    ShapeTransformParams p;
    InitShapeTransformParams(p);
    p.x0 = 300, p.y0 = 100, p.x1 = 5800, p.y1 = 0, p.x2 = 0, p.y2 = 3900, p.x3 = 5999, p.y3 = 3700;
    p.outputWidth = kW;
    p.outputHeight = kH;
    p.step = 1;
    return p;
}

void BM_ShapeTransform(benchmark::State& state)
{
    RunAlgorithm<CShapeTransform>(state, TransformQuad());
}

// Every node displaced, so every cell is resampled.
std::unique_ptr<double[]> WarpMesh(int& columns, int& rows)
{
    columns = (kW + kCell - 1) / kCell;
    rows = (kH + kCell - 1) / kCell;
    std::unique_ptr<double[]> n(new double[size_t(columns) * rows * 2]);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            n[2 * (size_t(i) * columns + j)] = 6 * std::sin(i * 0.05);
            n[2 * (size_t(i) * columns + j) + 1] = 4 * std::cos(j * 0.07);
        }
    return n;
}

void BM_MeshWarp(benchmark::State& state)
{
    Helpers(int(state.range(0)));
    Photo();
    ImageBuffer16 out{};
    CMeshTransform mesh;
    int columns, rows;
    mesh.SetMesh(WarpMesh(columns, rows), columns, rows, kCell);
    mesh.SetSource(const_cast<ImageBuffer16*>(&Photo()));
    mesh.SetDestination(&out);
    for (auto _ : state)
        benchmark::DoNotOptimize(mesh.Run());
    Rate(state);
    FreeImageBuffer(out);
}

// A 12-megapixel green screen with a subject in the middle third, for the key and the matting.
constexpr int kKeyW = 4000, kKeyH = 3000;
const ImageBuffer16& GreenScreen()
{
    static ImageBuffer16 image = [] {
        ImageBuffer16 img{};
        AllocImage16(img, kKeyW, kKeyH);
        std::mt19937 rng(3);
        for (int y = 0; y < kKeyH; ++y)
            for (int x = 0; x < kKeyW; ++x) {
                uint16_t* p = img.data + (size_t(y) * kKeyW + x) * 4;
                const bool subject = std::hypot(x - kKeyW / 2, y - kKeyH / 2) < kKeyH / 3;
                const int n = int(rng() & 0x1FF);
                p[0] = uint16_t((subject ? 9000 : 3000) + n);
                p[1] = uint16_t((subject ? 18000 : 40000) + n);
                p[2] = uint16_t((subject ? 41000 : 3000) + n);
                p[3] = 0xFFFF;
            }
        return img;
    }();
    return image;
}

void KeyRate(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(double(kKeyW) * kKeyH / 1e6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void BM_Chromakey(benchmark::State& state)
{
    Helpers(int(state.range(0)));
    GreenScreen();
    ChromakeyParams p;
    InitChromakeyParams(p);
    p.samples[0][0] = 3000, p.samples[0][1] = 40000, p.samples[0][2] = 3000;
    p.sampleCount = 1;
    ImageBuffer16 out{};
    for (auto _ : state) {
        CChromakey key;
        key.SetSource(const_cast<ImageBuffer16*>(&GreenScreen()));
        key.SetDestination(&out);
        key.SetParams(&p);
        benchmark::DoNotOptimize(key.Run());
    }
    KeyRate(state);
    FreeImageBuffer(out);
}

// Trimap: a ring of 40 pixels unknown around the subject's edge.
void BM_InOutMatting(benchmark::State& state)
{
    Helpers(int(state.range(0)));
    GreenScreen();
    Plane8 inside{}, outside{};
    AllocPlane8(inside, kKeyW, kKeyH);
    AllocPlane8(outside, kKeyW, kKeyH);
    for (int y = 0; y < kKeyH; ++y)
        for (int x = 0; x < kKeyW; ++x) {
            const double r = std::hypot(x - kKeyW / 2, y - kKeyH / 2) - kKeyH / 3;
            inside.data[size_t(y) * kKeyW + x] = r < -20 ? 255 : 0;
            outside.data[size_t(y) * kKeyW + x] = r > 20 ? 0 : 255;
        }
    InOutMattingParams p;
    p.inside = &inside;
    p.outside = &outside;
    ImageBuffer16 out{};
    for (auto _ : state) {
        state.PauseTiming();
        CopyImage16(out, GreenScreen());
        state.ResumeTiming();
        CInOutMatting matting;
        matting.SetSource(const_cast<ImageBuffer16*>(&GreenScreen()));
        matting.SetDestination(&out);
        matting.SetParams(&p);
        benchmark::DoNotOptimize(matting.Run());
    }
    KeyRate(state);
    FreeImageBuffer(out);
    FreePlane8(inside);
    FreePlane8(outside);
}

BENCHMARK(BM_Chromakey)->Arg(1)->Arg(8)->ArgName("helpers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InOutMatting)->Arg(1)->Arg(8)->ArgName("helpers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate)->Arg(1)->Arg(8)->ArgName("helpers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BarrelDistort)->Arg(1)->Arg(8)->ArgName("helpers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShapeTransform)->Arg(1)->Arg(8)->ArgName("helpers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MeshWarp)->Arg(1)->Arg(8)->ArgName("helpers")->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef ZENDRA_WITH_OPENCV
const cv::Mat& PhotoMat()
{
    static cv::Mat m(kH, kW, CV_16UC4, const_cast<uint16_t*>(Photo().data));
    return m;
}

void BM_OpenCV_WarpAffineCubic(benchmark::State& state)
{
    cv::setNumThreads(int(state.range(0)));
    const double s = std::sin(kAngle), c = std::cos(kAngle);
    const int W = int(std::fabs(kW * c) + std::fabs(kH * s)), H = int(std::fabs(kH * c) + std::fabs(kW * s));
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(kW / 2.f, kH / 2.f), -kAngle * 180 / CV_PI, 1.0);
    m.at<double>(0, 2) += W / 2.0 - kW / 2.0;
    m.at<double>(1, 2) += H / 2.0 - kH / 2.0;
    cv::Mat out;
    for (auto _ : state)
        cv::warpAffine(PhotoMat(), out, m, cv::Size(W, H), cv::INTER_CUBIC, cv::BORDER_CONSTANT);
    Rate(state);
}

void BM_OpenCV_RemapLensCubic(benchmark::State& state)
{
    cv::setNumThreads(int(state.range(0)));
    cv::Mat mx(kH, kW, CV_32FC1), my(kH, kW, CV_32FC1);
    const double d = std::sqrt(double(kW) * kW + double(kH) * kH);
    for (int i = 0; i < kH; ++i)
        for (int j = 0; j < kW; ++j) {
            const double u = (j - kW / 2.0) / d, v = (i - kH / 2.0) / d;
            const double m = (1 + kLens * (u * u + v * v)) * (1 - kLens / 5) * d;
            mx.at<float>(i, j) = float(u * m + kW / 2.0);
            my.at<float>(i, j) = float(v * m + kH / 2.0);
        }
    cv::Mat out;
    for (auto _ : state)
        cv::remap(PhotoMat(), out, mx, my, cv::INTER_CUBIC, cv::BORDER_CONSTANT);
    Rate(state);
}

void BM_OpenCV_WarpPerspectiveCubic(benchmark::State& state)
{
    cv::setNumThreads(int(state.range(0)));
    const ShapeTransformParams p = TransformQuad();
    const cv::Point2f from[4] = {{0, 0}, {kW - 1.f, 0}, {0, kH - 1.f}, {kW - 1.f, kH - 1.f}};
    const cv::Point2f to[4] = {{float(p.x0), float(p.y0)}, {float(p.x1), float(p.y1)}, {float(p.x2), float(p.y2)},
                               {float(p.x3), float(p.y3)}};
    cv::Mat m = cv::getPerspectiveTransform(from, to), out;
    for (auto _ : state)
        cv::warpPerspective(PhotoMat(), out, m, cv::Size(kW, kH), cv::INTER_CUBIC, cv::BORDER_CONSTANT);
    Rate(state);
}

void BM_OpenCV_RemapMeshCubic(benchmark::State& state)
{
    cv::setNumThreads(int(state.range(0)));
    int columns, rows;
    auto n = WarpMesh(columns, rows);
    cv::Mat mx(kH, kW, CV_32FC1), my(kH, kW, CV_32FC1);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int i = std::min(y / kCell, rows - 2), j = std::min(x / kCell, columns - 2);
            const double fy = double(y - i * kCell) / kCell, fx = double(x - j * kCell) / kCell;
            auto at = [&](int a, int b, int k) { return n[2 * (size_t(a) * columns + b) + k]; };
            double D[2];
            for (int k = 0; k < 2; ++k)
                D[k] = (at(i, j, k) * (1 - fx) + at(i, j + 1, k) * fx) * (1 - fy) +
                       (at(i + 1, j, k) * (1 - fx) + at(i + 1, j + 1, k) * fx) * fy;
            mx.at<float>(y, x) = float(x + D[0]);
            my.at<float>(y, x) = float(y + D[1]);
        }
    cv::Mat out;
    for (auto _ : state)
        cv::remap(PhotoMat(), out, mx, my, cv::INTER_CUBIC, cv::BORDER_CONSTANT);
    Rate(state);
}

BENCHMARK(BM_OpenCV_WarpAffineCubic)->Arg(1)->Arg(8)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenCV_RemapLensCubic)->Arg(1)->Arg(8)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenCV_WarpPerspectiveCubic)->Arg(1)->Arg(8)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenCV_RemapMeshCubic)->Arg(1)->Arg(8)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

} // namespace
