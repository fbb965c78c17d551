#include "imaging/ImageCodec/JpegWriter.h"

#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageType.h"
#include "platform/JpegTransform.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include <cstring>
#include <string>

namespace {

struct QualitySetting {
    int quality;
    bool fullChroma;
};

QualitySetting MapQuality(int quality, bool forFile)
{
    QualitySetting s { quality, false };
    if (s.quality > 100) {
        s.fullChroma = true;
        s.quality %= 100;
    }
    if (s.quality == 0)
        s.quality = 100;
    else if (s.quality == 1)
        s.quality = forFile ? 2 : 0;
    if (s.quality < 0)
        s.quality = 0;
    return s;
}

} // namespace

int ImageToRaster24(const ImageBuffer8& image, CRaster& raster)
{
    return ImageToRaster8(image, raster, false);
}

void JpegWriter::Configure(CRaster& raster, int quality, bool forFile) const
{
    QualitySetting s = MapQuality(quality, forFile);
    raster.chromaSubsampling = s.fullChroma ? 0 : 1;
    raster.lumaQuantTable = lumaQuantTable[0] ? lumaQuantTable : nullptr;
    raster.jpegQuality = uint8_t(s.quality);
}

int JpegWriter::SaveFile(const char16_t* path, const ImageBuffer8& image, int quality) const
{
    if (!image.data || image.width <= 0 || image.height <= 0 || ImageTypeFromExtension(path) != kImageTypeJpeg)
        return 0;
    CRaster raster(RasterFormatJPG);
    if (!ImageToRaster24(image, raster))
        return 0;
    Configure(raster, quality, true);
    return SaveRasterFile(raster, path, RasterFormatJPG);
}

int JpegWriter::EncodeToMemory(uint8_t*& buffer, int64_t& size, const ImageBuffer8& image, int quality) const
{
    if (buffer || !image.data || image.width <= 0 || image.height <= 0)
        return 0;
    CRaster raster(RasterFormatJPG);
    if (!ImageToRaster24(image, raster))
        return 0;
    Configure(raster, quality, false);
    return raster.Encode(buffer, size, RasterFormatJPG) ? 1 : 0;
}

int DecodeJpegMemory(const uint8_t* data, size_t length, ImageBuffer8& image)
{
    if (!data || length == 0)
        return 0;
    CRasterMemStream stream(const_cast<uint8_t*>(data), length);
    CRaster raster(RasterFormatJPG);
    if (!raster.Decode(&stream, RasterFormatJPG) || !raster.IsValid())
        return 0;
    if (raster.Width() > kMaxCodecSide || raster.Height() > kMaxCodecSide)
        return 0;
    return ImageFromRaster8(image, raster);
}

int FindEncoderClsid(const char* mimeType)
{
    static const char* const kEncoders[] = { "image/jpeg", "image/png", "image/tiff" };
    if (!mimeType)
        return -1;
    for (int i = 0; i < 3; ++i)
        if (std::strcmp(mimeType, kEncoders[i]) == 0)
            return i;
    return -1;
}

int RotateJpegLossless(const char16_t* path, int turn)
{
    if (!path || turn < 1 || turn > 3)
        return 0;
    std::string native = platform::ToNativePath(platform::StringView16(path));
    return platform::RotateJpegFileLossless(native, static_cast<platform::JpegTurn>(turn)) ? 1 : 0;
}
