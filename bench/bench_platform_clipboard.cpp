// Clipboard picture conversions another program waits for: a 12-megapixel photo as PNG
// (image/png) and as a DIB, and the PNG read back.
#include "platform/Clipboard.h"

#include <benchmark/benchmark.h>

#include <cmath>

using namespace platform;

namespace {

// Smooth gradients with some texture, closer to a photo than noise or a flat fill.
const ClipboardPicture& Photo()
{
    static const ClipboardPicture picture = [] {
        ClipboardPicture p;
        p.width = 4000;
        p.height = 3000;
        p.bgra.resize(size_t(p.width) * p.height * 4);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                uint8_t* q = &p.bgra[(size_t(y) * p.width + x) * 4];
                q[0] = uint8_t(128 + 100 * std::sin(x * 0.01 + y * 0.003));
                q[1] = uint8_t((x * y) >> 9);
                q[2] = uint8_t(x ^ y);
                q[3] = 255;
            }
        return p;
    }();
    return picture;
}

void BM_ClipboardPngEncode12Mp(benchmark::State& state)
{
    size_t bytes = 0;
    for (auto _ : state)
        bytes = EncodePicturePng(Photo()).size();
    state.counters["png_MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_ClipboardPngEncode12Mp)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ClipboardPngDecode12Mp(benchmark::State& state)
{
    const std::vector<uint8_t> png = EncodePicturePng(Photo());
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodePicturePng(png));
}
BENCHMARK(BM_ClipboardPngDecode12Mp)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ClipboardDib12Mp(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildDibBlock(Photo()));
}
BENCHMARK(BM_ClipboardDib12Mp)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
