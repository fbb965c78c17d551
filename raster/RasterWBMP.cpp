#include "raster/RasterWBMP.h"

#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"

#include <vector>

namespace {

// The format's multi-byte integer: 7 bits a byte, high bit set on all but the last. Values
// below 128 are the single bytes older writers put there.
bool ReadMultiByte(CRasterStream* s, uint32_t& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        const int b = s->GetC();
        if (b < 0)
            return false;
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80))
            return true;
    }
    return false;
}

void WriteMultiByte(std::vector<uint8_t>& out, uint32_t value)
{
    if (value >= 128)
        out.push_back(static_cast<uint8_t>(0x80 | (value >> 7)));
    out.push_back(static_cast<uint8_t>(value & 0x7F));
}

} // namespace

bool CRasterWBMP::Decode(CRasterStream* stream)
{
    if (!stream)
        return false;
    const int type = stream->GetC();
    const int fixed = stream->GetC();
    uint32_t width = 0, height = 0;
    if (type < 0 || fixed < 0 || !ReadMultiByte(stream, width) || !ReadMultiByte(stream, height)) {
        SetLastError("Not a WBMP");
        return false;
    }
    if (type != 0) {
        SetLastError("Unsupported WBMP type");
        return false;
    }
    if (width == 0 || height == 0 || (fixed & 0x80)) {
        SetLastError("Corrupted WBMP");
        return false;
    }
    if (!Create(static_cast<int32_t>(width), static_cast<int32_t>(height), 1, RasterFormatWBMP)) {
        SetLastError("WBMP Create failed");
        return false;
    }
    WritePaletteEntry(0, 0, 0, 0);
    WritePaletteEntry(1, 255, 255, 255);
    const size_t bytes = (width + 7) / 8;
    for (int32_t y = Height() - 1; y >= 0; --y)
        if (stream->Read(Row(y), 1, bytes) != bytes)
            break;  // a short file leaves the remaining rows black
    return true;
}

bool CRasterWBMP::Encode(CRasterStream* stream)
{
    if (!stream || !dib)
        return false;
    if (BitsPerPixel() != 1 || Width() > 255 || Height() > 255) {
        SetLastError("Can't save this image as WBMP");
        return false;
    }
    std::vector<uint8_t> out = {0, 0};
    WriteMultiByte(out, static_cast<uint32_t>(Width()));
    WriteMultiByte(out, static_cast<uint32_t>(Height()));
    const size_t bytes = (static_cast<size_t>(Width()) + 7) / 8;
    for (int32_t y = Height() - 1; y >= 0; --y)
        out.insert(out.end(), Row(y), Row(y) + bytes);
    rasterio::Writer w(stream);
    w.Bytes(out);
    return w.Ok();
}
