// Windows icon files (format code 4): one picture of the icon directory per decode, with the
// AND mask as alpha; writes single-picture icons.
#pragma once

#include "raster/Raster.h"

class CRasterStream;

class CRasterICO : public CRaster {
public:
    CRasterICO() : CRaster(RasterFormatICO) {}
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};
