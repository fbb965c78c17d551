// Format dispatch: from a format code to the format class that decodes or encodes it.
// A format joins by one row of kCodecs (see the top of Raster.h).
#include "raster/Raster.h"
#include "raster/RasterJPG.h"
#include "raster/RasterPNG.h"
#include "raster/RasterStream.h"
#include "raster/RasterTIF.h"
#include "raster/RasterBMP.h"
#include "raster/RasterGIF.h"
#include "raster/RasterICO.h"
#include "raster/RasterPCX.h"
#include "raster/RasterTGA.h"
#include "raster/RasterWBMP.h"
#include "raster/RasterWMF.h"

#include "platform/File.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct RasterCodec {
    bool (*decode)(CRaster& image, CRasterStream* stream) = nullptr;
    bool (*encode)(CRaster& image, CRasterStream* stream) = nullptr;
};

// The decoder always starts from a fresh object with the defaults, so a failed decode leaves
// the caller's image as it was.
template <class Codec, bool MultiFrame>
bool DecodeAs(CRaster& image, CRasterStream* stream)
{
    Codec codec;
    if constexpr (MultiFrame)
        codec.frame = image.frame;
    if (codec.Decode(stream)) {
        image.TakeOver(codec);
        return true;
    }
    std::memcpy(image.lastError, codec.lastError, sizeof image.lastError);
    image.lastError[sizeof image.lastError - 1] = 0;
    if constexpr (MultiFrame)
        image.frameCount = codec.frameCount;
    return false;
}

// The encoder works on a ghost: it sees (and may reorder) the caller's pixels and palette.
template <class Codec>
bool EncodeAs(CRaster& image, CRasterStream* stream)
{
    Codec codec;
    codec.ShareMemoryOf(image);
    if (codec.Encode(stream))
        return true;
    std::memcpy(image.lastError, codec.lastError, sizeof image.lastError);
    image.lastError[sizeof image.lastError - 1] = 0;
    return false;
}

template <class Codec>
constexpr RasterCodec CodecRow(bool multiFrame)
{
    return multiFrame ? RasterCodec{DecodeAs<Codec, true>, EncodeAs<Codec>}
                      : RasterCodec{DecodeAs<Codec, false>, EncodeAs<Codec>};
}

const RasterCodec kCodecs[RasterFormatCount] = {
    /* 0 BMP  */ CodecRow<CRasterBMP>(false),
    /* 1 GIF  */ CodecRow<CRasterGIF>(true),
    /* 2 JPG  */ CodecRow<CRasterJPG>(false),
    /* 3 PNG  */ CodecRow<CRasterPNG>(false),
    /* 4 ICO  */ CodecRow<CRasterICO>(true),
    /* 5 TIF  */ CodecRow<CRasterTIF>(true),
    /* 6 TGA  */ CodecRow<CRasterTGA>(false),
    /* 7 PCX  */ CodecRow<CRasterPCX>(false),
    /* 8 WBMP */ CodecRow<CRasterWBMP>(false),
    /* 9 WMF  */ CodecRow<CRasterWMF>(false),
};

const char kUnsupported[] = "Unsupported operation for this format";

const RasterCodec* CodecFor(int code)
{
    if (code < 0 || code >= RasterFormatCount)
        return nullptr;
    return &kCodecs[code];
}

} // namespace

bool CRaster::Decode(CRasterStream* stream, int code)
{
    const RasterCodec* codec = CodecFor(code);
    if (!codec || !codec->decode) {
        SetLastError(kUnsupported);
        return false;
    }
    return codec->decode(*this, stream);
}

bool CRaster::Decode(std::FILE* file, int code)
{
    CRasterFileStream stream(file);
    return Decode(&stream, code);
}

bool CRaster::Encode(CRasterStream* stream, int code)
{
    const RasterCodec* codec = CodecFor(code);
    if (!codec || !codec->encode) {
        SetLastError(kUnsupported);
        return false;
    }
    return codec->encode(*this, stream);
}

bool CRaster::Encode(std::FILE* file, int code)
{
    CRasterFileStream stream(file);
    return Encode(&stream, code);
}

bool CRaster::Encode(uint8_t*& buffer, int64_t& size, int code)
{
    if (buffer)
        return false;
    CRasterMemStream stream;
    if (!stream.Open())
        return false;
    if (!Encode(&stream, code))
        return false;
    size = stream.Size();
    buffer = stream.DetachBuffer(true);
    return true;
}

bool CRaster::Load(const char* path, int code)
{
    std::FILE* file = path ? platform::OpenFileStream(path, platform::FileMode::Read) : nullptr;
    if (!file)
        return false;
    bool ok = Decode(file, code);
    std::fclose(file);
    return ok;
}

bool CRaster::Save(const char* path, int code)
{
    // Encoded in memory first, then written beside the target and renamed over it after a
    // sync: a failed encode or a full disk leaves the old picture as it was, and the new file
    // keeps the old one's permissions (a symbolic link keeps pointing at the replaced file).
    if (!path || !platform::MayReplaceFile(path, false))
        return false;
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    if (!Encode(buffer, size, code))
        return false;
    platform::AtomicFileWriter writer;
    bool ok = writer.OpenNative(path) && writer.Write(buffer, size_t(size)) && writer.Commit();
    std::free(buffer);
    return ok;
}
