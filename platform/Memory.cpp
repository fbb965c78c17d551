#include "platform/Memory.h"

#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace platform {

size_t MemoryPageSize()
{
    static const size_t size = [] {
        const long s = sysconf(_SC_PAGESIZE);
        return s > 0 ? static_cast<size_t>(s) : size_t(4096);
    }();
    return size;
}

bool PopulatePagesForWrite(void* begin, size_t bytes)
{
    return bytes == 0 || madvise(begin, bytes, MADV_POPULATE_WRITE) == 0;
}

bool AdviseLargePages(void* begin, size_t bytes)
{
    constexpr uintptr_t kLarge = uintptr_t(2) << 20;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(begin) + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(kLarge - 1);
    if (end <= start)
        return false;
    return madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE) == 0;
}

bool IsPageResident(const void* address)
{
    const uintptr_t page = MemoryPageSize();
    void* start = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(address) & ~(page - 1));
    unsigned char resident = 0;
    return mincore(start, page, &resident) == 0 && (resident & 1) != 0;
}

} // namespace platform
