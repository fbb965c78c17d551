// The comparison decode of the JPEG benchmarks: tjDecompress2 of a whole picture to B, G, R, A
// into memory fresh from malloc.
#pragma once

#include "platform/Memory.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

// largePages: the block is advised for large pages first, as the program's pictures are.
inline bool TjDecompressFresh(tjhandle handle, const std::vector<uint8_t>& bytes, int width, int height,
                              bool largePages = false)
{
    const size_t outBytes = size_t(width) * height * 4;
    auto* out = static_cast<uint8_t*>(std::malloc(outBytes));
    if (out && largePages)
        platform::AdviseLargePages(out, outBytes);
    const bool ok = out && tjDecompress2(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), out, width,
                                         0, height, TJPF_BGRA, 0) == 0;
    benchmark::DoNotOptimize(out);
    std::free(out);
    return ok;
}
