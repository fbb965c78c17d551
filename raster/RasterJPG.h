// JPEG files through libjpeg (6b interface): full decode, the fast DC-only decode for
// thumbnails, and a baseline JFIF encoder with quality, chroma subsampling and luma table.
#pragma once

#include "raster/Raster.h"

#include <cstddef>
#include <cstdint>

class CRasterJPG : public CRaster {
public:
    CRasterJPG() : CRaster(RasterFormatJPG) {}
    bool Decode(CRasterStream* stream);
    // Every 8 x 8 block of the full-size result holds the block's DC colour: a cheap picture
    // to sample thumbnails from.
    bool DecodeJpegPreview(CRasterStream* stream);
    bool Encode(CRasterStream* stream);
};

// Largest picture DecodeJpegBgra makes: bounds what a damaged or hostile header can ask for.
constexpr uint64_t kMaxJpegBgraPixels = 400'000'000;

// Gives DecodeJpegBgra its rows once the output size is known: returns the top row and sets
// the distance between rows (at least 4 * width), or nullptr to refuse the picture.
using JpegBgraAllocate = uint8_t* (*)(void* context, uint32_t width, uint32_t height, size_t& stride);

// Decodes a JPEG held in memory straight into 32-bit B, G, R, A rows (alpha 255), top row
// first, at 1 / scaleDenom of its size (1, 2, 4 or 8; rounded up). Grey comes out as equal
// B, G, R; CMYK as the colour it prints. Every row of the block is written on success; on
// failure the block may hold part of the picture.
bool DecodeJpegBgra(const uint8_t* data, size_t size, int scaleDenom, JpegBgraAllocate allocate, void* context);
