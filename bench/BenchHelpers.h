// Shared by the benchmarks that run on the algorithm helpers.
#pragma once

#include "algorithms/AlgorithmThread.h"

// Restarts the worker with `helpers` helper threads when it runs with another number.
inline void UseHelpers(int helpers)
{
    if (theAlgorithmThread.HelperCount() != helpers || !theAlgorithmThread.IsRunning()) {
        theAlgorithmThread.StopWorker();
        theAlgorithmThread.StartWorker(helpers);
    }
}

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

// Wall-clock and process CPU seconds (every thread) of one call.
struct TimedRun {
    double real = 0, cpu = 0;
};

template <class Fn>
TimedRun TimeRun(Fn&& fn)
{
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    fn();
    const std::clock_t c1 = std::clock();
    const auto t1 = std::chrono::steady_clock::now();
    return { std::chrono::duration<double>(t1 - t0).count(), double(c1 - c0) / CLOCKS_PER_SEC };
}

inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}
