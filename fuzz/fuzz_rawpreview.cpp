// RAW preview blocks: a bitmap with its own width and height in front, or JPEG bytes. The
// first byte picks which reader sees the rest.
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "raster/Raster.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 22))
        return 0;
    const uint8_t* block = data + 1;
    const uint32_t length = uint32_t(size - 1);
    ImageBuffer8 image;
    switch (data[0] % 3) {
    case 0:
        RawBitmapPreviewToImage8(block, length, image);
        break;
    case 1: {
        CRaster raster;
        RawBitmapPreviewToRaster(block, length, raster);
        break;
    }
    default:
        RawJpegPreviewThumbnail(block, length, 64, image);
        break;
    }
    FreeImageBuffer(image);
    return 0;
}
