// PNG decoder over arbitrary bytes; what decodes is encoded again.
#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Explore parsing, not allocation of giant pictures.
    CRaster::MaxBlockBytes = 16u << 20;
    CRasterMemStream stream(const_cast<uint8_t*>(data), size);
    CRaster image(0);
    if (image.Decode(&stream, RasterFormatPNG) && image.Width() * int64_t(image.Height()) < 100000) {
        uint8_t* buffer = nullptr;
        int64_t length = 0;
        if (image.Encode(buffer, length, RasterFormatPNG))
            std::free(buffer);
    }
    return 0;
}
