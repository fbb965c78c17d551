// Decode and encode throughput of the BMP, TGA, PCX and GIF codecs on a 2000 x 1500 photo-like
// picture, with ImageMagick decoding the same files (process start included) for scale.
#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;

// Smooth gradients with fine noise, as in a photograph.
CRaster& Picture(int bits)
{
    static CRaster colour(kWidth, kHeight, 24, RasterFormatBMP);
    static CRaster palette(kWidth, kHeight, 8, RasterFormatBMP);
    static bool made = [] {
        CRaster& img = colour;
        std::mt19937 rng(1);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = img.Row(y);
            for (int x = 0; x < kWidth; ++x) {
                const uint32_t n = rng();
                row[x * 3] = static_cast<uint8_t>(x / 8 + (n & 7));
                row[x * 3 + 1] = static_cast<uint8_t>(y / 6 + ((n >> 3) & 7));
                row[x * 3 + 2] = static_cast<uint8_t>((x + y) / 14 + ((n >> 6) & 7));
            }
        }
        for (int i = 0; i < 256; ++i)
            palette.WritePaletteEntry(i, static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2));
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                palette.Row(y)[x] = static_cast<uint8_t>((x / 40 + y / 30) & 0xFF);
        return true;
    }();
    (void)made;
    return bits == 8 ? palette : colour;
}

std::vector<uint8_t> Encoded(int format, int bits)
{
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    if (!Picture(bits).Encode(buffer, size, format))
        return {};
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

void Decode(benchmark::State& state, int format, int bits)
{
    std::vector<uint8_t> file = Encoded(format, bits);
    for (auto _ : state) {
        CRasterMemStream stream(file.data(), file.size());
        CRaster img;
        if (!img.Decode(&stream, format))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.RowData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * (bits / 8));
}

void Encode(benchmark::State& state, int format, int bits)
{
    for (auto _ : state) {
        uint8_t* buffer = nullptr;
        int64_t size = 0;
        if (!Picture(bits).Encode(buffer, size, format))
            state.SkipWithError("encode failed");
        std::free(buffer);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * (bits / 8));
}

void ImageMagickDecode(benchmark::State& state, int format, int bits, const char* extension)
{
    const std::string path = (std::filesystem::temp_directory_path() / ("zd_bench_codec." + std::string(extension))).string();
    std::vector<uint8_t> file = Encoded(format, bits);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    const std::string cmd = "/usr/bin/convert '" + path + "' null: 2>/dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("convert failed");
    std::remove(path.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * (bits / 8));
}

} // namespace

BENCHMARK_CAPTURE(Decode, bmp24, RasterFormatBMP, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagickDecode, bmp24, RasterFormatBMP, 24, "bmp")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, tga24, RasterFormatTGA, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagickDecode, tga24, RasterFormatTGA, 24, "tga")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, pcx24, RasterFormatPCX, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagickDecode, pcx24, RasterFormatPCX, 24, "pcx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, gif8, RasterFormatGIF, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagickDecode, gif8, RasterFormatGIF, 8, "gif")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Decode, gif24mosaic, RasterFormatGIF, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagickDecode, gif24mosaic, RasterFormatGIF, 24, "gif")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Encode, bmp24, RasterFormatBMP, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, pcx24, RasterFormatPCX, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, gif8, RasterFormatGIF, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, gif24mosaic, RasterFormatGIF, 24)->Unit(benchmark::kMillisecond);
