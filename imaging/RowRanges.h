// Image-wide pixel loops split into row ranges. The algorithm layer lends its helper threads
// through SetRowRangeRunner when it is linked in; without it every range runs on the caller.
#pragma once

#include <cstdint>
#include <type_traits>

using RowRangeFn = bool (*)(void* context, int first, int end);
// Runs fn over ranges that together cover [0, rows); false when a range failed or did not run.
using RowRangeRunner = bool (*)(int rows, int64_t workPerRow, RowRangeFn fn, void* context);

void SetRowRangeRunner(RowRangeRunner runner);
bool RunRowRangesWith(int rows, int64_t workPerRow, RowRangeFn fn, void* context);

// fn(first, end) must write only its own rows, so the result never depends on the split.
template <class Fn>
bool RunRowRanges(int rows, int64_t workPerRow, Fn&& fn)
{
    using Callable = std::remove_reference_t<Fn>;
    return RunRowRangesWith(
        rows, workPerRow, [](void* c, int first, int end) { return (*static_cast<Callable*>(c))(first, end); },
        static_cast<void*>(&fn));
}
