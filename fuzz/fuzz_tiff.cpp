// TIFF decoder over arbitrary bytes, first and second page; what decodes is encoded again.
#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Explore parsing, not allocation of giant pictures.
    CRaster::MaxBlockBytes = 16u << 20;
    for (int frame : {0, 1}) {
        CRasterMemStream stream(const_cast<uint8_t*>(data), size);
        CRaster image(0);
        image.frame = frame;
        if (image.Decode(&stream, RasterFormatTIF) && image.Width() * int64_t(image.Height()) < 100000) {
            uint8_t* buffer = nullptr;
            int64_t length = 0;
            if (image.Encode(buffer, length, RasterFormatTIF))
                std::free(buffer);
        }
    }
    return 0;
}
