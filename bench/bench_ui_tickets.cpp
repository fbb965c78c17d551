// The ticket registry with the album's load: 100,000 item tickets (a big folder scrolled through)
// beside the window's few hundred sprites. One frame asks 5,100 liveness questions (the visible
// cells, their loader answers and the sprites a frame touches); the folder's end gives all
// 100,000 tickets back.
#include "ui/TicketRegistry.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kItems = 100000;
constexpr int kChecksPerFrame = 5100;

struct Item {
    int64_t payload[4];
};

} // namespace

static void BM_TicketLivenessFrame(benchmark::State& state)
{
    std::vector<Item> items(kItems);
    std::vector<int32_t> tickets(kItems);
    for (int i = 0; i < kItems; ++i)
        tickets[size_t(i)] = RegisterTicket(&items[size_t(i)]);
    // The visible stretch sits somewhere in the middle; the sprites were registered first.
    const int first = kItems / 2;
    int sink = 0;
    for (auto _ : state) {
        for (int i = 0; i < kChecksPerFrame; ++i)
            sink += IsPointerAlive(&items[size_t(first + i)]);
        benchmark::DoNotOptimize(sink);
    }
    state.counters["checks/frame"] = kChecksPerFrame;
    for (int32_t t : tickets)
        ReleaseTicket(t);
}
BENCHMARK(BM_TicketLivenessFrame)->Unit(benchmark::kMicrosecond);

static void BM_TicketMessageChecks(benchmark::State& state)
{
    std::vector<Item> items(kItems);
    std::vector<int32_t> tickets(kItems);
    for (int i = 0; i < kItems; ++i)
        tickets[size_t(i)] = RegisterTicket(&items[size_t(i)]);
    const int first = kItems / 2;
    int sink = 0;
    for (auto _ : state) {
        for (int i = 0; i < kChecksPerFrame; ++i)
            sink += IsTicketFor(tickets[size_t(first + i)], &items[size_t(first + i)]);
        benchmark::DoNotOptimize(sink);
    }
    for (int32_t t : tickets)
        ReleaseTicket(t);
}
BENCHMARK(BM_TicketMessageChecks)->Unit(benchmark::kMicrosecond);

static void BM_TicketRelease100k(benchmark::State& state)
{
    std::vector<Item> items(kItems);
    std::vector<int32_t> tickets(kItems);
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kItems; ++i)
            tickets[size_t(i)] = RegisterTicket(&items[size_t(i)]);
        state.ResumeTiming();
        // Argument 1: newest first, as a list emptied from its end gives them back.
        if (state.range(0))
            for (size_t i = tickets.size(); i-- > 0;)
                ReleaseTicket(tickets[i]);
        else
            for (int32_t t : tickets)
                ReleaseTicket(t);
    }
    // Whatever the last compaction left behind goes with the next release of the next run.
    ReleaseTicket(0);
}
BENCHMARK(BM_TicketRelease100k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
