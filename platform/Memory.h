// Memory pages: asking the kernel to map a block's pages ahead of their first write, and
// whether a page is in memory already.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

size_t MemoryPageSize();

// Maps the pages of [begin, begin + bytes) for writing without changing their contents (zero
// pages of a new block stay zero). False when the kernel cannot do it (before Linux 5.14).
bool PopulatePagesForWrite(void* begin, size_t bytes);

// Whether the page holding address is in memory.
bool IsPageResident(const void* address);

} // namespace platform
