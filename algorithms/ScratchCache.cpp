#include "algorithms/ScratchCache.h"

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct Spare {
    void* data;
    size_t size;
};

struct Cache {
    std::mutex lock;
    std::vector<Spare> spares; // oldest first
    size_t bytes = 0;
};

// Never destroyed: a block given back during static destruction, or by a helper thread still
// running at exit, must find the cache alive. What it holds stays reachable for leak checkers.
Cache& TheCache()
{
    static Cache* cache = new Cache;
    return *cache;
}

// Sizes are rounded up so near sizes share blocks: to 64 KiB steps, and within an eighth
// above a megabyte.
size_t RoundedSize(size_t bytes)
{
    size_t step = size_t{64} << 10;
    if (bytes > (size_t{1} << 20)) {
        size_t top = size_t{1} << 20;
        while (top < bytes / 8)
            top <<= 1;
        step = top;
    }
    return (bytes + step - 1) / step * step;
}

} // namespace

ScratchBlock::ScratchBlock(size_t bytes)
{
    Take(bytes);
}

ScratchBlock::ScratchBlock(ScratchBlock&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
{
}

ScratchBlock& ScratchBlock::operator=(ScratchBlock&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

bool ScratchBlock::Take(size_t bytes)
{
    Reset();
    if (bytes == 0)
        return true;
    const size_t want = RoundedSize(bytes);
    {
        // The smallest spare that fits and is not more than twice the need, so a small run
        // never holds on to a picture-sized block.
        Cache& c = TheCache();
        std::lock_guard<std::mutex> hold(c.lock);
        size_t best = c.spares.size();
        for (size_t i = 0; i < c.spares.size(); ++i)
            if (c.spares[i].size >= want && c.spares[i].size <= 2 * want &&
                (best == c.spares.size() || c.spares[i].size < c.spares[best].size))
                best = i;
        if (best < c.spares.size()) {
            m_data = c.spares[best].data;
            m_size = c.spares[best].size;
            c.bytes -= m_size;
            c.spares.erase(c.spares.begin() + static_cast<std::ptrdiff_t>(best));
            return true;
        }
    }
    m_data = std::aligned_alloc(64, want);
    m_size = m_data ? want : 0;
    return m_data != nullptr;
}

void ScratchBlock::Reset()
{
    if (!m_data)
        return;
    Spare back{std::exchange(m_data, nullptr), std::exchange(m_size, 0)};
    if (back.size > kScratchCacheBytes) {
        std::free(back.data);
        return;
    }
    std::vector<void*> drop;
    {
        Cache& c = TheCache();
        std::lock_guard<std::mutex> hold(c.lock);
        c.spares.push_back(back);
        c.bytes += back.size;
        size_t oldest = 0;
        for (; oldest < c.spares.size() &&
               (c.bytes > kScratchCacheBytes || static_cast<int>(c.spares.size() - oldest) > kScratchCacheBlocks);
             ++oldest) {
            c.bytes -= c.spares[oldest].size;
            drop.push_back(c.spares[oldest].data);
        }
        c.spares.erase(c.spares.begin(), c.spares.begin() + static_cast<std::ptrdiff_t>(oldest));
    }
    for (void* p : drop) // outside the lock: freeing a large block returns pages to the system
        std::free(p);
}

void ReleaseScratch()
{
    std::vector<Spare> all;
    {
        Cache& c = TheCache();
        std::lock_guard<std::mutex> hold(c.lock);
        all.swap(c.spares);
        c.bytes = 0;
    }
    for (const Spare& s : all)
        std::free(s.data);
}

size_t ScratchCachedBytes()
{
    Cache& c = TheCache();
    std::lock_guard<std::mutex> hold(c.lock);
    return c.bytes;
}

int ScratchCachedBlocks()
{
    Cache& c = TheCache();
    std::lock_guard<std::mutex> hold(c.lock);
    return static_cast<int>(c.spares.size());
}
