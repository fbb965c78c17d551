// Free rotation, lens distortion, free transform and mesh warp of a 24-megapixel 16-bit
// picture over 1 and 8 helper threads. Built into zendra_bench_opencv (ZENDRA_WITH_OPENCV),
// OpenCV's warpAffine / remap / warpPerspective with cubic interpolation run on the same
// picture for comparison; their maps are built outside the timing.
#include "algorithms/AlgorithmThread.h"
#include "algorithms/Chromakey.h"
#include "algorithms/ContentAwareScale.h"
#include "algorithms/FreeRotate.h"
#include "algorithms/HdrMerge.h"
#include "algorithms/InOutMatting.h"
#include "algorithms/Inpainting.h"
#include "algorithms/MeshTransform.h"
#include "algorithms/ShakeMap.h"
#include "algorithms/ShapeTransform.h"

#include "bench/BenchHelpers.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifdef ZENDRA_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif
#ifdef ZENDRA_WITH_OPENCV_PHOTO
#include <opencv2/photo.hpp>
#endif
#ifdef ZENDRA_WITH_OPENCV_VIDEO
#include <opencv2/video.hpp>
#endif
#ifdef ZENDRA_WITH_LQR
#include <lqr.h>
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

void Rate(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(double(kW) * kH / 1e6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

template <class Alg, class Params>
void RunAlgorithm(benchmark::State& state, const Params& params)
{
    UseHelpers(int(state.range(0)));
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
    UseHelpers(int(state.range(0)));
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
    UseHelpers(int(state.range(0)));
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
    UseHelpers(int(state.range(0)));
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

// A 3000 x 2000 scene a person can judge after carving: sky, ground and three textured discs.
constexpr int kSceneW = 3000, kSceneH = 2000, kCarvedW = 2400;
const ImageBuffer16& Scene()
{
    static ImageBuffer16 image = [] {
        ImageBuffer16 img{};
        AllocImage16(img, kSceneW, kSceneH);
        std::mt19937 rng(4);
        const int discs[3][3] = {{700, 1200, 300}, {1600, 900, 220}, {2400, 1300, 350}};
        for (int y = 0; y < kSceneH; ++y)
            for (int x = 0; x < kSceneW; ++x) {
                uint16_t* p = img.data + (size_t(y) * kSceneW + x) * 4;
                const int n = int(rng() % 600);
                int b, g, r;
                if (y < 1000) { // sky
                    b = 50000 - y * 10, g = 30000 - y * 5, r = 12000;
                } else { // grass
                    b = 3000 + n, g = 20000 + ((x / 7 + y / 5) % 3) * 1500 + n, r = 6000 + n;
                }
                for (const auto& d : discs)
                    if (std::hypot(x - d[0], y - d[1]) < d[2]) {
                        const bool ring = (int(std::hypot(x - d[0], y - d[1])) / 25) % 2;
                        b = ring ? 8000 : 30000, g = ring ? 10000 : 25000, r = ring ? 50000 : 40000;
                    }
                p[0] = uint16_t(b), p[1] = uint16_t(g), p[2] = uint16_t(r), p[3] = 0xFFFF;
            }
        return img;
    }();
    return image;
}

#ifdef ZENDRA_BENCH_OUTPUT_DIR
// Pictures side by side as an 8-bit PPM (16-bit values scaled down), for a person to compare.
void WriteSideBySide(const std::string& name, const std::vector<const ImageBuffer16*>& pictures)
{
    int W = 0, H = 0;
    for (const ImageBuffer16* p : pictures)
        W += p->width + 16, H = std::max(H, p->height);
    std::FILE* f = std::fopen((std::string(ZENDRA_BENCH_OUTPUT_DIR) + "/" + name).c_str(), "wb");
    if (!f)
        return;
    std::fprintf(f, "P6\n%d %d\n255\n", W, H);
    std::vector<uint8_t> row(size_t(W) * 3);
    for (int y = 0; y < H; ++y) {
        std::fill(row.begin(), row.end(), 255);
        int x0 = 0;
        for (const ImageBuffer16* p : pictures) {
            if (y < p->height)
                for (int x = 0; x < p->width; ++x) {
                    const uint16_t* s = p->data + (size_t(y) * p->width + x) * 4;
                    for (int c = 0; c < 3; ++c)
                        row[size_t(x0 + x) * 3 + c] = uint8_t(s[2 - c] >> 8);
                }
            x0 += p->width + 16;
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
}
#endif

// An 8-bit BGRA picture as a PPM for the outside tools; false when it cannot be written.
bool WritePpm8(const std::string& name, const ImageBuffer8& img)
{
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "P6\n%d %d\n255\n", img.width, img.height);
    std::vector<uint8_t> row(size_t(img.width) * 3);
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x)
            for (int c = 0; c < 3; ++c)
                row[size_t(x) * 3 + c] = img.data[(size_t(y) * img.width + x) * 4 + 2 - c];
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

ImageBuffer16 g_carved{}, g_lqrCarved{};

// Preparation of the full removal order and one resize to 80 % of the width.
void BM_ContentAwareScale(benchmark::State& state)
{
    UseHelpers(int(state.range(0)));
    Scene();
    for (auto _ : state) {
        CContentAwareScale scale;
        ContentAwareScaleParams p;
        p.width = kCarvedW;
        p.height = kSceneH;
        scale.SetSource(const_cast<ImageBuffer16*>(&Scene()));
        scale.SetDestination(&g_carved);
        scale.SetParams(&p);
        benchmark::DoNotOptimize(scale.Run());
    }
    state.counters["MP/s"] = benchmark::Counter(double(kSceneW) * kSceneH / 1e6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ContentAwareScale)->Arg(1)->Arg(8)->ArgName("helpers")->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef ZENDRA_WITH_LQR
// liblqr in-process, 16-bit, four channels (alpha marked), the same 20 % of the width removed.
void BM_Liblqr_Resize(benchmark::State& state)
{
    Scene();
    std::vector<uint16_t> buffer(Scene().data, Scene().data + size_t(kSceneW) * kSceneH * 4);
    for (auto _ : state) {
        LqrCarver* carver = lqr_carver_new_ext(buffer.data(), kSceneW, kSceneH, 4, LQR_COLDEPTH_16I);
        lqr_carver_set_preserve_input_image(carver);
        lqr_carver_set_alpha_channel(carver, 3);
        lqr_carver_init(carver, 1, 0.0f);
        lqr_carver_resize(carver, kCarvedW, kSceneH);
        state.PauseTiming();
        FreeImageBuffer(g_lqrCarved);
        AllocImage16(g_lqrCarved, lqr_carver_get_width(carver), lqr_carver_get_height(carver));
        lqr_carver_scan_reset(carver);
        int x, y;
        void* rgb;
        while (lqr_carver_scan_ext(carver, &x, &y, &rgb))
            std::copy_n(static_cast<const uint16_t*>(rgb), 4, g_lqrCarved.data + (size_t(y) * g_lqrCarved.width + x) * 4);
        state.ResumeTiming();
        lqr_carver_destroy(carver);
    }
#ifdef ZENDRA_BENCH_OUTPUT_DIR
    if (g_carved.data)
        WriteSideBySide("content_aware_ours_vs_liblqr.ppm", {&Scene(), &g_carved, &g_lqrCarved});
#endif
}
BENCHMARK(BM_Liblqr_Resize)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// Three bracketed 8-bit exposures of the scene, one stop apart, as the merge takes them.
struct Brackets {
    ImageBuffer8 exposures[3];
    Brackets()
    {
        const double gain[3] = {0.5, 1.0, 2.0};
        for (int k = 0; k < 3; ++k) {
            AllocImage8(exposures[k], kSceneW, kSceneH);
            for (size_t i = 0; i < size_t(kSceneW) * kSceneH; ++i)
                for (int c = 0; c < 4; ++c)
                    exposures[k].data[i * 4 + c] =
                        c == 3 ? 255 : uint8_t(std::min(255.0, (Scene().data[i * 4 + c] >> 8) * gain[k]));
        }
    }
};
const Brackets& Exposures()
{
    static Brackets b;
    return b;
}

void BM_HdrMerge(benchmark::State& state)
{
    UseHelpers(int(state.range(0)));
    const Brackets& b = Exposures();
    HdrMergeParams p;
    p.count = 3;
    for (int k = 0; k < 3; ++k)
        p.slots[k] = &b.exposures[k];
    p.weightPicture = &b.exposures[1];
    p.weightDark = 128, p.weightMid = 77, p.weightBright = 51;
    ImageBuffer16 out{};
    for (auto _ : state) {
        CHDRMerge merge;
        merge.SetSource(const_cast<ImageBuffer16*>(&Scene()));
        merge.SetDestination(&out);
        merge.SetParams(&p);
        benchmark::DoNotOptimize(merge.Run());
    }
    state.counters["MP/s"] = benchmark::Counter(double(kSceneW) * kSceneH / 1e6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
    FreeImageBuffer(out);
}
BENCHMARK(BM_HdrMerge)->Arg(1)->Arg(8)->ArgName("helpers")->Unit(benchmark::kMillisecond)->UseRealTime();

// A 200 x 200 hole in the middle of the 3000 x 2000 scene (over the grass and a disc's rim).
constexpr int kHoleX = 1450, kHoleY = 1000, kHole = 200;
ImageBuffer16 g_inpainted{}, g_teleaInpainted{};

void BM_Inpainting(benchmark::State& state)
{
    Scene();
    Plane8 mask{};
    AllocPlane8(mask, kSceneW, kSceneH);
    for (auto _ : state) {
        state.PauseTiming();
        for (int y = 0; y < kSceneH; ++y)
            for (int x = 0; x < kSceneW; ++x)
                mask.data[size_t(y) * kSceneW + x] =
                    x >= kHoleX && x < kHoleX + kHole && y >= kHoleY && y < kHoleY + kHole ? 255 : 0;
        state.ResumeTiming();
        InpaintingParams p;
        p.mask = &mask;
        p.patchSize = EstimatePatchSize(mask);
        p.feather = 1;
        CImageInpainting inpaint;
        inpaint.SetSource(const_cast<ImageBuffer16*>(&Scene()));
        inpaint.SetDestination(&g_inpainted);
        inpaint.SetParams(&p);
        benchmark::DoNotOptimize(inpaint.Run());
        state.counters["patch"] = p.patchSize;
    }
    FreePlane8(mask);
}
BENCHMARK(BM_Inpainting)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef ZENDRA_WITH_OPENCV_PHOTO
void BM_OpenCV_InpaintTelea(benchmark::State& state)
{
    cv::setNumThreads(8);
    cv::Mat bgra(kSceneH, kSceneW, CV_16UC4, const_cast<uint16_t*>(Scene().data)), bgr8, out;
    bgra.convertTo(bgr8, CV_8U, 1.0 / 257);
    cv::cvtColor(bgr8, bgr8, cv::COLOR_BGRA2BGR);
    cv::Mat mask = cv::Mat::zeros(kSceneH, kSceneW, CV_8U);
    mask(cv::Rect(kHoleX, kHoleY, kHole, kHole)).setTo(255);
    for (auto _ : state)
        cv::inpaint(bgr8, mask, out, 3, cv::INPAINT_TELEA);
    // Crops around the hole: the original, ours, OpenCV's.
    const int m = 150, cw = kHole + 2 * m;
    ImageBuffer16 crops[3];
    for (auto& c : crops)
        AllocImage16(c, cw, cw);
    for (int y = 0; y < cw; ++y)
        for (int x = 0; x < cw; ++x) {
            const int sx = kHoleX - m + x, sy = kHoleY - m + y;
            const size_t si = (size_t(sy) * kSceneW + sx) * 4, di = (size_t(y) * cw + x) * 4;
            std::copy_n(Scene().data + si, 4, crops[0].data + di);
            if (g_inpainted.data)
                std::copy_n(g_inpainted.data + si, 4, crops[1].data + di);
            const cv::Vec3b v = out.at<cv::Vec3b>(sy, sx);
            for (int c = 0; c < 3; ++c)
                crops[2].data[di + c] = uint16_t(v[c] * 257);
            crops[2].data[di + 3] = 65535;
        }
#ifdef ZENDRA_BENCH_OUTPUT_DIR
    WriteSideBySide("inpainting_source_ours_telea.ppm", {&crops[0], &crops[1], &crops[2]});
#endif
    for (auto& c : crops)
        FreeImageBuffer(c);
}
BENCHMARK(BM_OpenCV_InpaintTelea)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

#ifdef ZENDRA_WITH_OPENCV_PHOTO
void BM_OpenCV_MergeMertens(benchmark::State& state)
{
    cv::setNumThreads(int(state.range(0)));
    const Brackets& b = Exposures();
    std::vector<cv::Mat> images;
    for (const ImageBuffer8& e : b.exposures) {
        cv::Mat bgra(kSceneH, kSceneW, CV_8UC4, e.data), bgr;
        cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
        images.push_back(bgr);
    }
    auto mertens = cv::createMergeMertens();
    cv::Mat fused;
    for (auto _ : state)
        mertens->process(images, fused);
}
BENCHMARK(BM_OpenCV_MergeMertens)->Arg(1)->Arg(8)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

#ifdef ZENDRA_BENCH_OUTPUT_DIR
// enfuse as a whole process on the three exposures written as PPM (writing is outside the
// timing); skipped when enfuse is missing.
void BM_Enfuse_Process(benchmark::State& state)
{
    if (std::system("command -v enfuse > /dev/null 2>&1") != 0) {
        state.SkipWithError("enfuse not installed");
        return;
    }
    const std::string dir = ZENDRA_BENCH_OUTPUT_DIR;
    const Brackets& b = Exposures();
    std::string inputs;
    for (int k = 0; k < 3; ++k) {
        const std::string name = dir + "/bracket" + std::to_string(k) + ".ppm";
        if (!WritePpm8(name, b.exposures[k])) {
            state.SkipWithError("cannot write the exposures");
            return;
        }
        inputs += " '" + name + "'";
    }
    const std::string command = "enfuse -o '" + dir + "/enfused.tif'" + inputs + " > /dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("enfuse failed");
}
BENCHMARK(BM_Enfuse_Process)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
#endif

// A pair made with a known transform: the other photo shows the scene turned by 0.3 degrees
// and shifted by (13, -7). Residual = largest error of the found map at the grid of test points.
constexpr double kPairAngle = 0.3 * 3.14159265358979 / 180, kPairTx = 13, kPairTy = -7;
struct AlignPair {
    ImageBuffer8 reference{}, other{};
    AlignPair()
    {
        AllocImage8(reference, kSceneW, kSceneH);
        AllocImage8(other, kSceneW, kSceneH);
        const double cs = std::cos(kPairAngle), sn = std::sin(kPairAngle);
        std::mt19937 rng(9);
        for (int y = 0; y < kSceneH; ++y)
            for (int x = 0; x < kSceneW; ++x) {
                const uint16_t* s = Scene().data + (size_t(y) * kSceneW + x) * 4;
                uint8_t* r = reference.data + (size_t(y) * kSceneW + x) * 4;
                for (int c = 0; c < 3; ++c)
                    r[c] = uint8_t(std::clamp(int(s[c] >> 8) + int(rng() % 21) - 10, 0, 255));
                r[3] = 255;
            }
        for (int v = 0; v < kSceneH; ++v)
            for (int u = 0; u < kSceneW; ++u) {
                const double du = u - kPairTx, dv = v - kPairTy;
                const int x = int(std::lround(du * cs + dv * sn)), y = int(std::lround(-du * sn + dv * cs));
                uint8_t* o = other.data + (size_t(v) * kSceneW + u) * 4;
                const uint8_t* r = reference.data + (size_t(std::clamp(y, 0, kSceneH - 1)) * kSceneW + std::clamp(x, 0, kSceneW - 1)) * 4;
                std::copy_n(r, 4, o);
            }
    }
};
const AlignPair& Pair()
{
    static AlignPair p;
    return p;
}

double Residual(const double m[6])
{
    const double cs = std::cos(kPairAngle), sn = std::sin(kPairAngle);
    double worst = 0;
    for (int y = 200; y < kSceneH; y += 400)
        for (int x = 200; x < kSceneW; x += 400) {
            const double u = x * cs - y * sn + kPairTx, v = x * sn + y * cs + kPairTy;
            worst = std::max(worst, std::hypot(m[0] * x + m[1] * y + m[2] - u, m[3] * x + m[4] * y + m[5] - v));
        }
    return worst;
}

void BM_ShakeMap(benchmark::State& state)
{
    Pair();
    ShakeMapParams p;
    p.reference = &Pair().reference;
    p.other = &Pair().other;
    CShakeMap map;
    int ok = 0;
    for (auto _ : state) {
        map.SetParams(&p);
        ok = map.Run();
    }
    const AlignTransform& t = map.m_transform;
    const double m[6] = {t.a, t.b, t.c, t.d, t.e, t.f};
    state.counters["residual_px"] = ok ? Residual(m) : -1;
}
BENCHMARK(BM_ShakeMap)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef ZENDRA_WITH_OPENCV_VIDEO
// ECC with an affine model on the grey pictures, as cv2.findTransformECC is usually called.
void BM_OpenCV_FindTransformECC(benchmark::State& state)
{
    cv::setNumThreads(8);
    cv::Mat a(kSceneH, kSceneW, CV_8UC4, Pair().reference.data), b(kSceneH, kSceneW, CV_8UC4, Pair().other.data);
    cv::Mat ga, gb;
    cv::cvtColor(a, ga, cv::COLOR_BGRA2GRAY);
    cv::cvtColor(b, gb, cv::COLOR_BGRA2GRAY);
    cv::Mat warp;
    for (auto _ : state) {
        warp = cv::Mat::eye(2, 3, CV_32F);
        cv::findTransformECC(ga, gb, warp, cv::MOTION_AFFINE,
                             cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 50, 1e-5), cv::noArray(), 5);
    }
    // ECC maps template (reference) coordinates into the input (other) photo, as ours does.
    const double m[6] = {warp.at<float>(0, 0), warp.at<float>(0, 1), warp.at<float>(0, 2),
                         warp.at<float>(1, 0), warp.at<float>(1, 1), warp.at<float>(1, 2)};
    state.counters["residual_px"] = Residual(m);
}
BENCHMARK(BM_OpenCV_FindTransformECC)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
#endif

#ifdef ZENDRA_BENCH_OUTPUT_DIR
// hugin's align_image_stack as a whole process on the pair written as PPM; time only.
void BM_AlignImageStack_Process(benchmark::State& state)
{
    if (std::system("command -v align_image_stack > /dev/null 2>&1") != 0) {
        state.SkipWithError("align_image_stack not installed");
        return;
    }
    const std::string dir = ZENDRA_BENCH_OUTPUT_DIR;
    std::string inputs;
    int k = 0;
    for (const ImageBuffer8* img : {&Pair().reference, &Pair().other}) {
        const std::string name = dir + "/pair" + std::to_string(k++) + ".ppm";
        if (!WritePpm8(name, *img))
            return;
        inputs += " '" + name + "'";
    }
    const std::string command = "cd '" + dir + "' && align_image_stack -a aligned_ -p pair.pto" + inputs + " > /dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("align_image_stack failed");
}
BENCHMARK(BM_AlignImageStack_Process)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
#endif

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
