// Windows bitmap files (format code 0): file header optional, core and longer info headers,
// 1/4/8-bit palettes with RLE8 and RLE4, 16- and 32-bit bit fields, 24-bit.
#pragma once

#include "raster/Raster.h"

class CRasterStream;

class CRasterBMP : public CRaster {
public:
    CRasterBMP() : CRaster(RasterFormatBMP) {}
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};

// RLE8 (bitsPerPixel 8) and RLE4 (4) bitmap data into bottom-up rows of an image of the given
// size; writes outside the picture are dropped. Shared with the fuzz-free unit tests.
void BmpExpandRle(const uint8_t* data, size_t size, int bitsPerPixel, uint8_t* pixels,
                  uint32_t rowStride, int32_t width, int32_t height);
