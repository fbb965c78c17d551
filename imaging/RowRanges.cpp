#include "imaging/RowRanges.h"

#include <atomic>

namespace {
std::atomic<RowRangeRunner> g_runner{nullptr};
}

void SetRowRangeRunner(RowRangeRunner runner)
{
    g_runner.store(runner, std::memory_order_release);
}

bool RunRowRangesWith(int rows, int64_t workPerRow, RowRangeFn fn, void* context)
{
    if (rows <= 0)
        return true;
    if (RowRangeRunner runner = g_runner.load(std::memory_order_acquire))
        return runner(rows, workPerRow, fn, context);
    return fn(context, 0, rows);
}
