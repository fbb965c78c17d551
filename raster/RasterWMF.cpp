#include "raster/RasterWMF.h"

#include "platform/Metafile.h"
#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"

#include <cstring>
#include <vector>

using namespace rasterio;

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr int64_t kMaxSide = 4000;

// The placeable header and the metafile behind it, with the picture size at screen resolution.
bool WmfReadPlaceable(CRasterStream* stream, std::vector<uint8_t>& file, int64_t& width, int64_t& height)
{
    uint8_t head[22 + 18];
    if (!ReadExact(stream, head, sizeof head) || U32(head) != kPlaceableKey)
        return false;
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= U16(head + 2 * i);
    const int64_t units = U16(head + 14);
    if (sum != U16(head + 20) || units < 1 || units > 2540)
        return false;
    const uint8_t* meta = head + 22;
    const uint16_t type = U16(meta);
    const uint64_t bytes = uint64_t(U32(meta + 6)) * 2;
    const int64_t streamSize = stream->Size();
    if ((type != 1 && type != 2) || bytes < 18 || streamSize < 22 || bytes > uint64_t(streamSize) - 22)
        return false;
    file.assign(head, head + sizeof head);
    file.resize(22 + bytes);
    if (!ReadExact(stream, file.data() + sizeof head, file.size() - sizeof head))
        return false;
    const int64_t dpi = platform::kMetafileScreenDpi;
    width = (int64_t(I16(head + 10)) - I16(head + 6)) * dpi / units;
    height = (int64_t(I16(head + 12)) - I16(head + 8)) * dpi / units;
    return true;
}

} // namespace

bool CRasterWMF::Decode(CRasterStream* stream)
{
    if (!stream)
        return false;
    // Enhanced metafiles (the other kind the format code covers) have no player here.
    std::vector<uint8_t> file;
    int64_t width = 0, height = 0;
    if (!WmfReadPlaceable(stream, file, width, height)) {
        SetLastError("corrupted WMF");
        return false;
    }
    if (EscapeRequested()) {
        SetLastError("Cancelled");
        return false;
    }
    if (width <= 0 || height <= 0) {
        SetLastError("empty WMF");
        return false;
    }
    if (width > kMaxSide) {
        height = height * kMaxSide / width;
        width = kMaxSide;
    }
    if (height > kMaxSide) {
        width = width * kMaxSide / height;
        height = kMaxSide;
    }
    if (width <= 0 || height <= 0) {
        SetLastError("empty WMF");
        return false;
    }
    std::vector<uint8_t> bgr;
    if (!platform::RenderWindowsMetafile(file.data(), file.size(), int(width), int(height),
                                         platform::kWindowColour, bgr)) {
        SetLastError("corrupted WMF");
        return false;
    }
    if (EscapeRequested()) {
        SetLastError("Cancelled");
        return false;
    }
    if (!Create(int32_t(width), int32_t(height), 24, RasterFormatWMF))
        return false;
    for (int32_t y = 0; y < Height(); ++y)
        std::memcpy(Row(Height() - 1 - y), &bgr[size_t(y) * width * 3], size_t(width) * 3);
    return true;
}

bool CRasterWMF::Encode(CRasterStream*)
{
    SetLastError("Save WMF not supported");
    return false;
}
