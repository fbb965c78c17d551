#include "fuzz/RasterFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return FuzzRasterFormat(data, size, RasterFormatWBMP);
}
