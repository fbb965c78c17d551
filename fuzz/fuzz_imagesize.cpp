// The picture-size readers on untrusted headers: the first byte picks the format, the rest is
// the file. They must never read past the data nor take long, whatever the header claims.
#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int format = data[0] % RasterFormatCount;
    std::vector<uint8_t> copy(data + 1, data + size);
    CRasterMemStream stream(copy.data(), copy.size());
    int32_t width = 0, height = 0;
    if (CRaster::ReadSize(&stream, format, width, height) && (width <= 0 || height <= 0))
        __builtin_trap();
    return 0;
}
