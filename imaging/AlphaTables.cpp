#include "imaging/AlphaTables.h"

#include <atomic>
#include <mutex>

namespace {

// The contents never change, so they are computed once into static storage; Build and Free
// only publish and withdraw the pointer.
AlphaTables g_tables;
std::once_flag g_filled;
std::atomic<const AlphaTables*> g_published{nullptr};

void Fill()
{
    for (int a = 0; a < 256; ++a)
        for (int x = 0; x < 256; ++x) {
            g_tables.t1[a][x] = uint8_t((a * x + 127) / 255);
            g_tables.t2[a][x] = uint8_t(((255 - a) * x + 127) / 255);
        }
}

} // namespace

int BuildAlphaTables()
{
    std::call_once(g_filled, Fill);
    g_published.store(&g_tables, std::memory_order_release);
    return 1;
}

void FreeAlphaTables()
{
    g_published.store(nullptr, std::memory_order_release);
}

const AlphaTables* GetAlphaTables()
{
    return g_published.load(std::memory_order_acquire);
}
