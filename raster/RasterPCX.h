// ZSoft PCX files (format code 7): 1, 2, 4 and 8 bits in one plane, 1-bit planar pictures of up
// to 4 planes, and 3 or 4 planes of 8 bits (colour with alpha).
#pragma once

#include "raster/Raster.h"

#include <cstdint>
#include <vector>

class CRasterStream;

class CRasterPCX : public CRaster {
public:
    CRasterPCX() : CRaster(RasterFormatPCX) {}
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};

// Run-length packing of one line of values (bytes, or the line-end markers -1 for an even and
// -2 for an odd width, which pads with one 0 byte). State starts at zero for every line.
struct PcxPackState {
    int last = 0;
    int count = 0;
};
void PrasterPackValue(std::vector<uint8_t>& out, int value, PcxPackState& state);
void PrasterPackPlane(std::vector<uint8_t>& out, const uint8_t* bytes, size_t length);
