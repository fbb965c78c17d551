// PNG files through libpng, over the library's own streams.
#pragma once

#include "raster/Raster.h"

class CRasterPNG : public CRaster {
public:
    CRasterPNG() : CRaster(RasterFormatPNG) {}
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};
