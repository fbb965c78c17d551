#include "fuzz/RasterFuzz.h"

// The first byte picks the frame, so that later frames and their composition are reached too.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    return FuzzRasterFormat(data + 1, size - 1, RasterFormatGIF, data[0] % 4);
}
