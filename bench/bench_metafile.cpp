// The metafile player's worst cases: files of a hundred bytes whose shapes lie far outside the
// picture (gd walked their whole extent: a minute each before the guard), and files that fill
// the largest picture (4000 x 4000) until the drawing limit stops them. Each must take well
// under a second; the empty picture of that size shows what the picture itself costs.
#include "platform/Metafile.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

struct Record {
    uint16_t function;
    std::vector<uint16_t> params;
};

uint16_t C(int v) { return static_cast<uint16_t>(static_cast<int16_t>(v)); }

std::vector<uint8_t> Metafile(int16_t frame, uint16_t unitsPerInch, const std::vector<Record>& records)
{
    std::vector<uint16_t> w;
    for (const Record& r : records) {
        const uint32_t size = 3 + static_cast<uint32_t>(r.params.size());
        w.insert(w.end(), {uint16_t(size & 0xFFFF), uint16_t(size >> 16), r.function});
        w.insert(w.end(), r.params.begin(), r.params.end());
    }
    w.insert(w.end(), {3, 0, 0});
    const uint32_t words = 9 + static_cast<uint32_t>(w.size());
    std::vector<uint16_t> head = {1, 9, 0x0300, uint16_t(words & 0xFFFF), uint16_t(words >> 16), 4, 8, 0, 0};
    std::vector<uint16_t> placeable = {0xCDD7, 0x9AC6, 0, 0, 0, uint16_t(frame), uint16_t(frame), unitsPerInch, 0, 0};
    uint16_t sum = 0;
    for (uint16_t v : placeable)
        sum ^= v;
    placeable.push_back(sum);
    std::vector<uint8_t> bytes;
    for (const auto* part : {&placeable, &head, &w})
        for (uint16_t v : *part)
            bytes.insert(bytes.end(), {uint8_t(v & 0xFF), uint8_t(v >> 8)});
    return bytes;
}

// A window of one unit, a red brush: every coordinate is thousands of pictures away.
std::vector<Record> FarOut(Record shape)
{
    return {{0x020C, {1, 1}}, {0x02FC, {0, 0x00FF, 0, 0}}, {0x012D, {0}}, shape};
}

void Play(benchmark::State& state, const std::vector<uint8_t>& wmf, int side)
{
    std::vector<uint8_t> bgr;
    for (auto _ : state) {
        const bool played = platform::RenderWindowsMetafile(wmf.data(), wmf.size(), side, side, 0xFFFFFF, bgr);
        benchmark::DoNotOptimize(played);
        state.counters["played"] = played;
    }
    state.counters["bytes"] = double(wmf.size());
}

const int kFar = 30000;

void BM_WmfFarPolygon(benchmark::State& state)
{
    Play(state, Metafile(1000, 96, FarOut({0x0324, {3, C(-kFar), C(-kFar), C(kFar), C(-kFar), 0, C(kFar)}})), 1000);
}
void BM_WmfFarRectangle(benchmark::State& state)
{
    Play(state, Metafile(1000, 96, FarOut({0x041B, {C(kFar), C(kFar), C(-kFar), C(-kFar)}})), 1000);
}
void BM_WmfFarPie(benchmark::State& state)
{
    Play(state, Metafile(1000, 96, FarOut({0x081A, {0, 1, 0, 0, C(kFar), C(kFar), C(-kFar), C(-kFar)}})), 1000);
}
void BM_WmfEmpty4000(benchmark::State& state)
{
    Play(state, Metafile(4000, 96, {{0x020C, {4000, 4000}}}), 4000);
}
// Full-frame shapes repeated until the drawing limit refuses the file.
void BM_WmfFillsToTheLimit4000(benchmark::State& state)
{
    std::vector<Record> records = {{0x020C, {4000, 4000}}, {0x02FC, {0, 0x00FF, 0, 0}}, {0x012D, {0}}};
    const auto function = static_cast<uint16_t>(state.range(0));
    for (int i = 0; i < 2000; ++i) {
        if (function == 0x061C)
            records.push_back({function, {500, 500, 4000, 4000, 0, 0}});
        else if (function == 0x0324)
            records.push_back({function, {3, 0, 0, 4000, 0, 4000, 4000}});
        else
            records.push_back({function, {4000, 4000, 0, 0}});
    }
    Play(state, Metafile(4000, 96, records), 4000);
}

// Shapes that cannot be cut but may reach four pictures beyond a small one (a circle the window
// crops), with a solid pen, repeated until the drawing limit refuses the file.
void BM_WmfReachingShapesToTheLimit256(benchmark::State& state)
{
    std::vector<Record> records = {{0x020C, {100, 100}}, {0x02FC, {0, 0x00FF, 0, 0}}, {0x012D, {0}},
                                   {0x02FA, {0, 3, 0, 0xFF00, 0}}, {0x012D, {1}}};
    const auto function = static_cast<uint16_t>(state.range(0));
    for (int i = 0; i < 2000; ++i) {
        if (function == 0x061C)
            records.push_back({function, {50, 50, 480, 480, C(-380), C(-380)}});
        else if (function == 0x081A)
            records.push_back({function, {0, 1, 0, C(-1), 480, 480, C(-380), C(-380)}});
        else
            records.push_back({function, {480, 480, C(-380), C(-380)}});
    }
    Play(state, Metafile(256, 96, records), 256);
}

} // namespace

BENCHMARK(BM_WmfFarPolygon)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WmfFarRectangle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WmfFarPie)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WmfEmpty4000)->Unit(benchmark::kMillisecond)->Iterations(3);
// Rectangles, rounded rectangles, polygons, ellipses.
BENCHMARK(BM_WmfFillsToTheLimit4000)->Arg(0x041B)->Arg(0x061C)->Arg(0x0324)->Arg(0x0418)->Unit(benchmark::kMillisecond)->Iterations(3);
// Ellipses, rounded rectangles, pies.
BENCHMARK(BM_WmfReachingShapesToTheLimit256)->Arg(0x0418)->Arg(0x061C)->Arg(0x081A)->Unit(benchmark::kMillisecond)->Iterations(3);
