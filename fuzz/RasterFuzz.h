// Shared body of the image codec fuzz targets: decode through the format dispatch, and when that
// works write the picture back in the same format, so that both directions see odd pictures.
#pragma once

#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

inline int FuzzRasterFormat(const uint8_t* data, size_t size, int format, int frame = 0)
{
    // Keep pictures small so that the fuzzer explores parsing rather than allocation.
    CRaster::MaxBlockBytes = 1 << 20;
    std::vector<uint8_t> copy(data, data + size);
    CRasterMemStream stream(copy.data(), copy.size());
    CRaster img;
    img.frame = frame;
    if (img.Decode(&stream, format) && int64_t(img.Width()) * img.Height() <= (1 << 18)) {
        uint8_t* buffer = nullptr;
        int64_t length = 0;
        if (img.Encode(buffer, length, format))
            std::free(buffer);
    }
    return 0;
}
