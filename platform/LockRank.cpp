// The debug check of lock ranks (Sync.h): each thread keeps the ranked locks it holds, with
// their ranks, in acquisition order; a new lock must rank above all of them.
#include "platform/Sync.h"

#include <cstdio>
#include <cstdlib>

namespace platform::lockrank {

namespace {

struct Held {
    const void* lock;
    uint32_t rank;
};

// Deep enough for a sprite tree's update (one lock per level) and the window's locks above it.
constexpr size_t kMaxHeld = 64;

struct HeldStack {
    Held entries[kMaxHeld];
    size_t count = 0;
};

thread_local HeldStack t_held;

} // namespace

void BeforeLock(const void* lock, uint32_t rank)
{
    const HeldStack& s = t_held;
    for (size_t i = 0; i < s.count; ++i)
        if (s.entries[i].lock == lock)
            return; // taken again by its owner
    for (size_t i = 0; i < s.count; ++i)
        if (s.entries[i].rank >= rank) {
            std::fprintf(stderr, "lock order broken: taking a lock of rank %u while holding one of rank %u\n",
                         unsigned(rank), unsigned(s.entries[i].rank));
            std::fflush(stderr);
            std::abort();
        }
}

void Locked(const void* lock, uint32_t rank)
{
    HeldStack& s = t_held;
    if (s.count < kMaxHeld)
        s.entries[s.count] = {lock, rank};
    ++s.count;
}

void Unlocked(const void* lock)
{
    HeldStack& s = t_held;
    if (s.count == 0)
        return;
    // Usually the innermost; a lock released out of order is taken out where it stands.
    const size_t limit = s.count < kMaxHeld ? s.count : kMaxHeld;
    for (size_t i = limit; i-- > 0;)
        if (s.entries[i].lock == lock) {
            for (size_t j = i; j + 1 < limit; ++j)
                s.entries[j] = s.entries[j + 1];
            --s.count;
            return;
        }
    --s.count; // an entry past the end of the record
}

size_t HeldCount()
{
    return t_held.count;
}

} // namespace platform::lockrank
