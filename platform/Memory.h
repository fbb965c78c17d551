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

// Asks the kernel to back the 2 MiB-aligned part of [begin, begin + bytes) with large pages:
// a picture's first writes then fault once per 2 MiB instead of once per 4 KiB page. Contents
// are unchanged; false when the kernel does not take the advice (the block still works).
bool AdviseLargePages(void* begin, size_t bytes);

// Whether the page holding address is in memory.
bool IsPageResident(const void* address);

} // namespace platform
