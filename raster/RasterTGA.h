// Truevision TGA files (format code 6): colour-mapped, true-colour and grey pictures, plain or
// run-length coded, any origin.
#pragma once

#include "raster/Raster.h"

class CRasterStream;

class CRasterTGA : public CRaster {
public:
    CRasterTGA() : CRaster(RasterFormatTGA) {}
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};
