// JPEG decoder over arbitrary bytes: the full decode and the DC-only decode.
#include "raster/RasterJPG.h"
#include "raster/RasterStream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Explore parsing, not allocation of giant pictures.
    CRaster::MaxBlockBytes = 16u << 20;
    for (bool preview : {false, true}) {
        CRasterMemStream stream(const_cast<uint8_t*>(data), size);
        CRaster image(0);
        if (preview) {
            CRasterJPG codec;
            codec.DecodeJpegPreview(&stream);
        } else {
            image.Decode(&stream, RasterFormatJPG);
        }
    }
    return 0;
}
