// Wireless bitmaps (format code 8): type 0, black and white, rows from the top.
#pragma once

#include "raster/Raster.h"

class CRasterStream;

class CRasterWBMP : public CRaster {
public:
    CRasterWBMP() : CRaster(RasterFormatWBMP) {}
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};
