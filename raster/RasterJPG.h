// JPEG files through libjpeg (6b interface): full decode, the fast DC-only decode for
// thumbnails, and a baseline JFIF encoder with quality, chroma subsampling and luma table.
#pragma once

#include "raster/Raster.h"

class CRasterJPG : public CRaster {
public:
    CRasterJPG() : CRaster(RasterFormatJPG) {}
    bool Decode(CRasterStream* stream);
    // Every 8 x 8 block of the full-size result holds the block's DC colour: a cheap picture
    // to sample thumbnails from.
    bool DecodeJpegPreview(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};
