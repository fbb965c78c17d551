// Windows metafiles (format code 9): placeable metafiles are played into a 24-bit picture at
// screen resolution. Enhanced metafiles cannot be played here and fail; nothing is written.
#pragma once

#include "raster/Raster.h"

class CRasterStream;

class CRasterWMF : public CRaster {
public:
    CRasterWMF() : CRaster(RasterFormatWMF) {}
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};
