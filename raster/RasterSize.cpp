// Picture sizes from file headers: enough of each format to know what a decode would
// allocate, read before anything of that size is.
#include "raster/Raster.h"

#include "platform/File.h"
#include "platform/Metafile.h"
#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"
#include "raster/RasterTIF.h"

#include <cstring>
#include <tiffio.h>

using namespace rasterio;

namespace {

uint16_t B16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t B32(const uint8_t* p) { return uint32_t(B16(p)) << 16 | B16(p + 2); }

bool Positive(int64_t w, int64_t h, int32_t& width, int32_t& height)
{
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX)
        return false;
    width = int32_t(w);
    height = int32_t(h);
    return true;
}

// The frame of a JPEG: markers are walked by their lengths up to the first start-of-frame;
// the entropy-coded data is never reached.
bool JpegSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    uint8_t b[9];
    if (!ReadExact(s, b, 2) || b[0] != 0xFF || b[1] != 0xD8)
        return false;
    for (int markers = 0; markers < 100000; ++markers) {
        int c = s->GetC();
        if (c != 0xFF)
            return false;
        do
            c = s->GetC(); // fill bytes
        while (c == 0xFF);
        if (c < 0)
            return false;
        if (c == 0x01 || (c >= 0xD0 && c <= 0xD8))
            continue; // markers without a length
        if (c == 0xD9 || c == 0xDA)
            return false; // image data before any frame
        if (!ReadExact(s, b, 2))
            return false;
        const uint16_t length = B16(b);
        if (length < 2)
            return false;
        const bool frame = c >= 0xC0 && c <= 0xCF && c != 0xC4 && c != 0xC8 && c != 0xCC;
        if (frame) {
            if (length < 8 || !ReadExact(s, b, 5))
                return false;
            return Positive(B16(b + 3), B16(b + 1), width, height);
        }
        if (!s->Seek(length - 2, SEEK_CUR))
            return false;
    }
    return false;
}

bool PngSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    static const uint8_t kSignature[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    uint8_t b[24];
    if (!ReadExact(s, b, sizeof b) || std::memcmp(b, kSignature, 8) != 0 || std::memcmp(b + 12, "IHDR", 4) != 0)
        return false;
    // PNG limits both sides to 2^31 - 1.
    return B32(b + 16) <= INT32_MAX && B32(b + 20) <= INT32_MAX && Positive(B32(b + 16), B32(b + 20), width, height);
}

bool TiffSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    // "m": the file is not taken into memory for this.
    TIFF* tif = TiffOpenStream(s, "rm");
    if (!tif)
        return false;
    uint32_t w = 0, h = 0;
    const bool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFClose(tif);
    return ok && Positive(w, h, width, height);
}

bool BmpSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    uint8_t b[14];
    if (!ReadExact(s, b, 14))
        return false;
    // Without the "BM" file header (a bitmap resource) the information header comes first.
    if (b[0] == 'B' && b[1] == 'M' && !ReadExact(s, b, 12))
        return false;
    const uint32_t size = U32(b);
    if (size == 12)
        return Positive(U16(b + 4), U16(b + 6), width, height);
    if (size < 40)
        return false;
    const int64_t h = I32(b + 8);
    return Positive(I32(b + 4), h < 0 ? -h : h, width, height);
}

bool IcoSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    uint8_t b[8];
    if (!ReadExact(s, b, 8) || U16(b) != 0 || U16(b + 2) != 1 || U16(b + 4) == 0)
        return false;
    return Positive(b[6] ? b[6] : 256, b[7] ? b[7] : 256, width, height);
}

bool TgaSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    uint8_t b[18];
    return ReadExact(s, b, sizeof b) && Positive(U16(b + 12), U16(b + 14), width, height);
}

bool PcxSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    uint8_t b[12];
    if (!ReadExact(s, b, sizeof b) || b[0] != 10)
        return false;
    return Positive(int64_t(U16(b + 8)) - U16(b + 4) + 1, int64_t(U16(b + 10)) - U16(b + 6) + 1, width, height);
}

bool WbmpSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    uint8_t b[4];
    return ReadExact(s, b, sizeof b) && b[0] == 0 && Positive(b[2], b[3], width, height);
}

bool WmfSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    // The placeable header: the picture's frame at screen resolution, limited to 4000 a side.
    uint8_t b[22];
    if (!ReadExact(s, b, sizeof b) || U32(b) != 0x9AC6CDD7)
        return false;
    const int64_t units = U16(b + 14);
    if (units < 1 || units > 2540)
        return false;
    int64_t w = (int64_t(I16(b + 10)) - I16(b + 6)) * platform::kMetafileScreenDpi / units;
    int64_t h = (int64_t(I16(b + 12)) - I16(b + 8)) * platform::kMetafileScreenDpi / units;
    if (w > 4000 && h > 0) {
        h = h * 4000 / w;
        w = 4000;
    }
    if (h > 4000 && w > 0) {
        w = w * 4000 / h;
        h = 4000;
    }
    return Positive(w, h, width, height);
}

bool GifSize(CRasterStream* s, int32_t& width, int32_t& height)
{
    // The logical screen: the largest picture a frame of the file can make.
    uint8_t b[10];
    return ReadExact(s, b, sizeof b) && std::memcmp(b, "GIF8", 4) == 0 && Positive(U16(b + 6), U16(b + 8), width, height);
}

} // namespace

bool CRaster::ReadSize(CRasterStream* stream, int formatCode, int32_t& width, int32_t& height)
{
    width = height = 0;
    if (!stream)
        return false;
    switch (formatCode) {
    case RasterFormatBMP: return BmpSize(stream, width, height);
    case RasterFormatGIF: return GifSize(stream, width, height);
    case RasterFormatJPG: return JpegSize(stream, width, height);
    case RasterFormatPNG: return PngSize(stream, width, height);
    case RasterFormatICO: return IcoSize(stream, width, height);
    case RasterFormatTIF: return TiffSize(stream, width, height);
    case RasterFormatTGA: return TgaSize(stream, width, height);
    case RasterFormatPCX: return PcxSize(stream, width, height);
    case RasterFormatWBMP: return WbmpSize(stream, width, height);
    case RasterFormatWMF: return WmfSize(stream, width, height);
    default: return false;
    }
}

bool CRaster::ReadSize(const char* path, int formatCode, int32_t& width, int32_t& height)
{
    width = height = 0;
    std::FILE* file = path ? platform::OpenFileStream(path, platform::FileMode::Read) : nullptr;
    if (!file)
        return false;
    CRasterFileStream stream(file);
    const bool ok = ReadSize(&stream, formatCode, width, height);
    std::fclose(file);
    return ok;
}
