// GIF files (format code 1): reads GIF87a and GIF89a one frame at a time, including the
// "true colour" kind built from many small images with their own tables; writes GIF89a with
// run-length codes, 24-bit pictures as a mosaic of 17 x 15 cells so that no colour is lost.
#pragma once

#include "raster/Raster.h"

#include <cstdint>
#include <vector>

class CRasterStream;
namespace rasterio {
class ByteReader;
class Writer;
}

class CRasterGIF : public CRaster {
public:
    CRasterGIF() : CRaster(RasterFormatGIF) {}
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream);

    char comment[256] = {};
    uint16_t loopCount = 0;
    uint8_t disposalMethod = 0;
    // The graphic control block as read or to be written.
    uint8_t controlFlags = 0;
    uint16_t controlDelay = 0;
    uint8_t controlTransparent = 0;

private:
    enum class BlockResult { Continue, Stop, Fail };
    struct DecodeState;

    bool GifDecodeExtension(rasterio::ByteReader& in, bool apply);
    int GifCountFrames(rasterio::ByteReader in);
    BlockResult GifDecodeImage(rasterio::ByteReader& in, DecodeState& st);

    void GifEncodeHeader(rasterio::Writer& out) const;
    bool controlRead = false;  // a graphic control extension was applied since the last image

    void GifEncodeControl(rasterio::Writer& out) const;
    void GifEncodeComment(rasterio::Writer& out) const;
    void GifEncodeImage(rasterio::Writer& out, bool localTable) const;
    bool GifEncodeTrueColor(rasterio::Writer& out);
};
