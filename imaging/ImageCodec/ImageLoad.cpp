#include "imaging/ImageCodec/ImageLoad.h"

#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ImageCodec/RawDecoder.h"
#include "platform/File.h"
#include "platform/ImageMetadata.h"
#include "platform/JpegImage.h"
#include "platform/Path.h"
#include "raster/Raster.h"
#include "raster/RasterJPG.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The file system's own bytes of a path (never Utf16ToUtf8: a name that is no valid UTF-8
// must reach the file it names).
std::string Native(const char16_t* path)
{
    return path ? platform::ToNativePath(platform::StringView16(path)) : std::string();
}

// Embedded thumbnails are used above this many pixels when more than 120 are asked for.
constexpr uint64_t kThumbnailPixelThreshold = 2'000'000;
constexpr int kEmbeddedWorkingSize = 120;

// Frees a RAW preview block inside RawDecoderLock, as it was made.
struct RawPreview {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    int kind = 0;
    int flip = 0; // how the photo is turned to stand upright (previews are stored as the sensor)
    ~RawPreview() { delete[] data; }
};

bool ReadRawPreview(const char16_t* path, RawPreview& preview)
{
    preview.data = RawThumbnail(Native(path).c_str(), preview.length, preview.kind, &preview.flip);
    return preview.data != nullptr;
}

// Largest DCT scale that still leaves at least the wanted size on both sides.
int JpegScaleFor(uint32_t width, uint32_t height, int wantWidth, int wantHeight)
{
    for (int d : { 8, 4, 2 })
        if (width / d >= uint32_t(std::max(wantWidth, 1)) && height / d >= uint32_t(std::max(wantHeight, 1)))
            return d;
    return 1;
}

uint8_t* AllocateJpegRows(void* context, uint32_t width, uint32_t height, size_t& stride)
{
    auto& image = *static_cast<ImageBuffer8*>(context);
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF || !AllocImage8(image, int(width), int(height)))
        return nullptr;
    stride = size_t(width) * 4;
    return image.data;
}

// The codec library decodes straight into the new image; the caller's image is only replaced
// once the whole picture is in.
int DecodeJpegScaled(const uint8_t* data, size_t length, int scale, ImageBuffer8& image)
{
    ImageBuffer8 decoded;
    if (!data || !DecodeJpegBgra(data, length, scale, &AllocateJpegRows, &decoded)) {
        FreeImageBuffer(decoded);
        return 0;
    }
    FreeImageBuffer(image);
    image = decoded;
    return 1;
}

// A JPEG file as the thumbnail paths see it before decoding: bytes, size, embedded thumbnail.
struct JpegSource {
    std::vector<uint8_t> bytes;
    uint32_t width = 0;
    uint32_t height = 0;
    bool Open(const char16_t* path)
    {
        return platform::ReadFileBytes(Native(path), bytes) && platform::ReadJpegSize(bytes.data(), bytes.size(), width, height);
    }
    // How the stored picture (and its embedded thumbnail) is turned to stand upright.
    int Orientation() const { return platform::ReadJpegOrientation(bytes.data(), bytes.size()); }
    const std::vector<uint8_t>* Thumbnail()
    {
        if (!metaRead) {
            metaRead = true;
            if (!meta.ReadMemory(bytes.data(), bytes.size()))
                return nullptr;
        }
        const platform::PropertyItem* item = meta.Find(platform::kPropertyThumbnailData);
        return item && !item->value.empty() ? &item->value : nullptr;
    }

private:
    platform::ImageMetadata meta;
    bool metaRead = false;
};

// The decoder's own thumbnail of a fitted size: the embedded one when it is good enough (or
// when asked to take it), else the picture decoded at a DCT scale and resized.
int JpegThumbnailImage(JpegSource& source, int fitWidth, int fitHeight, bool preferEmbedded, ImageBuffer8& out)
{
    ImageBuffer8 decoded;
    int ok = 0;
    if (const std::vector<uint8_t>* thumb = source.Thumbnail()) {
        ok = DecodeJpegScaled(thumb->data(), thumb->size(), 1, decoded);
        // Taken at its own aspect: thumbnails of other aspect ratios carry bars, and squeezing
        // them into the picture's shape first would distort what is left after trimming.
        if (ok && preferEmbedded)
            FitSize(decoded.width, decoded.height, std::max(fitWidth, fitHeight), fitWidth, fitHeight);
        if (ok && !preferEmbedded && std::max(decoded.width, decoded.height) < std::max(fitWidth, fitHeight)) {
            FreeImageBuffer(decoded);
            ok = 0;
        }
        // Cameras pad thumbnails of other aspect ratios with black bars; they are no part of
        // the picture. (The embedded-thumbnail path trims after its own fitting.)
        if (ok && !preferEmbedded) {
            ok = TrimThumbnailBorders(decoded);
            if (ok && (decoded.width != fitWidth || decoded.height != fitHeight)) {
                ImageBuffer8 fitted;
                ok = FitImage8(decoded, fitted, std::max(fitWidth, fitHeight));
                FreeImageBuffer(decoded);
                decoded = fitted;
                if (ok)
                    fitWidth = decoded.width, fitHeight = decoded.height;
            }
        }
    }
    if (!ok) {
        int scale = JpegScaleFor(source.width, source.height, fitWidth, fitHeight);
        ok = DecodeJpegScaled(source.bytes.data(), source.bytes.size(), scale, decoded);
    }
    if (ok)
        ok = ResizeImage8(decoded, out, fitWidth, fitHeight, 2);
    FreeImageBuffer(decoded);
    return ok;
}

// The EXIF orientation of a JPEG file, from its first 256 KB (where the EXIF block sits).
int JpegFileOrientation(const char16_t* path)
{
    platform::File file;
    if (!file.OpenNative(Native(path), platform::FileMode::Read))
        return 1;
    std::vector<uint8_t> head(256 * 1024);
    size_t got = 0;
    for (int64_t n; got < head.size() && (n = file.Read(head.data() + got, head.size() - got)) > 0;)
        got += size_t(n);
    return platform::ReadJpegOrientation(head.data(), got);
}

bool TooLarge(const CRaster& raster)
{
    return raster.Width() > kMaxCodecSide || raster.Height() > kMaxCodecSide;
}

void MarkRefused(ImageBuffer8& image)
{
    FreeImageBuffer(image);
    image.width = image.height = kRefusedPictureSide;
}

} // namespace

// ---- bridge ---------------------------------------------------------------------------------

int ImageFromRaster8(ImageBuffer8& image, const CRaster& raster)
{
    const int w = raster.Width(), h = raster.Height();
    if (!raster.IsValid() || w <= 0 || h <= 0 || !AllocImage8(image, w, h))
        return 0;
    uint8_t* out = image.data;
    if (raster.PaletteCount() > 0) {
        // An alpha plane beside the indexes (grey or palette TIFF with alpha) gives each pixel
        // its own alpha; palette alpha (PNG tRNS with several entries) beats the single
        // transparent index.
        const bool paletteAlpha = raster.paletteAlphaOn;
        for (int ty = 0; ty < h; ++ty) {
            const int y = h - 1 - ty;
            const uint8_t* alpha = raster.alpha ? raster.alpha + size_t(y) * size_t(w) : nullptr;
            for (int x = 0; x < w; ++x, out += 4) {
                RGBQUAD c = raster.ReadPixelColour(x, y);
                out[0] = c.rgbBlue;
                out[1] = c.rgbGreen;
                out[2] = c.rgbRed;
                if (alpha)
                    out[3] = alpha[x];
                else if (paletteAlpha)
                    out[3] = c.rgbReserved;
                else
                    out[3] = raster.transparentIndex >= 0 && raster.ReadPixelIndex(x, y) == raster.transparentIndex ? 0 : 255;
            }
        }
        return 1;
    }
    if (raster.BitsPerPixel() != 24)
        return 0;
    for (int ty = 0; ty < h; ++ty) {
        const int y = h - 1 - ty;
        const uint8_t* row = raster.Row(y);
        const uint8_t* alpha = raster.alpha ? raster.alpha + size_t(y) * size_t(w) : nullptr;
        for (int x = 0; x < w; ++x, out += 4) {
            out[0] = row[x * 3];
            out[1] = row[x * 3 + 1];
            out[2] = row[x * 3 + 2];
            out[3] = alpha ? alpha[x] : 255;
        }
    }
    return 1;
}

int ImageToRaster8(const ImageBuffer8& image, CRaster& raster, bool withAlpha)
{
    if (!image.data || image.width <= 0 || image.height <= 0)
        return 0;
    if (!raster.Create(image.width, image.height, 24, raster.formatCode))
        return 0;
    if (withAlpha && !raster.CreateAlphaPlane())
        return 0;
    const int w = image.width, h = image.height;
    for (int ty = 0; ty < h; ++ty) {
        const int y = h - 1 - ty;
        const uint8_t* in = image.data + size_t(ty) * w * 4;
        uint8_t* row = raster.Row(y);
        uint8_t* alpha = withAlpha ? raster.alpha + size_t(y) * size_t(w) : nullptr;
        for (int x = 0; x < w; ++x, in += 4) {
            row[x * 3] = in[0];
            row[x * 3 + 1] = in[1];
            row[x * 3 + 2] = in[2];
            if (alpha)
                alpha[x] = in[3];
        }
    }
    raster.SetHorizontalDpi(72);
    raster.SetVerticalDpi(72);
    return 1;
}

int CodecLoadImage8(ImageBuffer8& image, const char16_t* path)
{
    int format = CodecFormatFromExtension(path);
    CRaster raster;
    if (format < 0 || !raster.Load(Native(path).c_str(), format) || !raster.IsValid())
        return 0;
    if (TooLarge(raster)) {
        MarkRefused(image);
        return 0;
    }
    if (!ImageFromRaster8(image, raster))
        return 0;
    return format == RasterFormatJPG ? OrientImage8(image, JpegFileOrientation(path)) : 1;
}

int CodecSaveImage8(const ImageBuffer8& image, const char16_t* path, bool withAlpha)
{
    CRaster raster;
    if (!ImageToRaster8(image, raster, withAlpha))
        return 0;
    return SaveRasterFile(raster, path, CodecFormatFromExtension(path));
}

int SaveRasterFile(CRaster& raster, const char16_t* path, int format)
{
    std::string target = Native(path);
    if (!platform::MayReplaceFile(target, false))
        return 0;
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    bool ok = raster.Encode(buffer, size, format) && buffer && size > 0;
    if (ok) {
        platform::AtomicFileWriter writer;
        ok = writer.OpenNative(target) && writer.Write(buffer, size_t(size)) && writer.Commit();
    }
    std::free(buffer);
    return ok ? 1 : 0;
}

// ---- whole files ----------------------------------------------------------------------------

int CopyBitmap32ToImage8(const platform::Bitmap32& bitmap, ImageBuffer8& image)
{
    if (bitmap.width == 0 || bitmap.height == 0 || bitmap.width > 0x7FFFFFFF || bitmap.height > 0x7FFFFFFF)
        return 0;
    if (bitmap.pixels.size() != size_t(bitmap.width) * bitmap.height * 4)
        return 0;
    if (!AllocImage8(image, int(bitmap.width), int(bitmap.height)))
        return 0;
    std::memcpy(image.data, bitmap.pixels.data(), bitmap.pixels.size());
    return 1;
}

int FlipImage8(ImageBuffer8& image, int flip)
{
    flip &= 7;
    if (flip == 0 || !image.data)
        return 1;
    const int iw = image.width, ih = image.height;
    const int ow = (flip & 4) ? ih : iw, oh = (flip & 4) ? iw : ih;
    ImageBuffer8 turned;
    if (!AllocImage8(turned, ow, oh))
        return 0;
    const auto* in = reinterpret_cast<const uint32_t*>(image.data);
    auto* out = reinterpret_cast<uint32_t*>(turned.data);
    // The source pixel of output (orow, ocol) is base + orow * rowStep + ocol * colStep: bit 2
    // swaps which output axis walks the source's rows, bits 1 and 0 run them backwards.
    const int64_t rowSign = (flip & 2) ? -1 : 1, colSign = (flip & 1) ? -1 : 1;
    const int64_t base = ((flip & 2) ? int64_t(ih - 1) * iw : 0) + ((flip & 1) ? iw - 1 : 0);
    const int64_t rowStep = (flip & 4) ? colSign : rowSign * iw;
    const int64_t colStep = (flip & 4) ? rowSign * iw : colSign;
    // In tiles, so that a quarter turn reads the source's rows a few cache lines at a time.
    constexpr int kTile = 64;
    for (int ty = 0; ty < oh; ty += kTile)
        for (int tx = 0; tx < ow; tx += kTile) {
            const int rowEnd = std::min(oh, ty + kTile), colEnd = std::min(ow, tx + kTile);
            for (int orow = ty; orow < rowEnd; ++orow) {
                const uint32_t* from = in + base + orow * rowStep + tx * colStep;
                uint32_t* to = out + size_t(orow) * ow + tx;
                for (int ocol = tx; ocol < colEnd; ++ocol, from += colStep)
                    *to++ = *from;
            }
        }
    FreeImageBuffer(image);
    image = turned;
    return 1;
}

int OrientImage8(ImageBuffer8& image, int orientation)
{
    // EXIF orientation as a flip code (the table LibRaw and dcraw use for the same tag).
    static const int kFlip[9] = { 0, 0, 1, 3, 2, 4, 6, 7, 5 };
    return FlipImage8(image, orientation >= 1 && orientation <= 8 ? kFlip[orientation] : 0);
}

int LoadJpegImage8(const uint8_t* data, size_t length, ImageBuffer8& image)
{
    return data ? DecodeJpegScaled(data, length, 1, image) : 0;
}

int LoadJpegImage8(const char16_t* path, ImageBuffer8& image)
{
    // A photo stands as it was taken: the EXIF orientation is applied on load.
    std::vector<uint8_t> bytes;
    return platform::ReadFileBytes(Native(path), bytes) && DecodeJpegScaled(bytes.data(), bytes.size(), 1, image)
        && OrientImage8(image, platform::ReadJpegOrientation(bytes.data(), bytes.size()));
}

int LoadImage8(const char16_t* path, ImageBuffer8& image)
{
    switch (ImageTypeFromExtension(path)) {
    case kImageTypeJpeg:
        return LoadJpegImage8(path, image);
    case kImageTypeRaw: {
        platform::ScopedLock lock(RawDecoderLock);
        RawPreview preview;
        if (!ReadRawPreview(path, preview))
            return 0;
        const int ok = preview.kind == kRawPreviewJpeg ? LoadJpegImage8(preview.data, preview.length, image)
                                                       : RawBitmapPreviewToImage8(preview.data, preview.length, image);
        return ok && FlipImage8(image, preview.flip);
    }
    default:
        return CodecLoadImage8(image, path);
    }
}

int ReadImageFileSize(const char16_t* path, int& width, int& height)
{
    width = height = 0;
    const int type = ImageTypeFromExtension(path);
    if (type == kImageTypeRaw) {
        platform::ScopedLock lock(RawDecoderLock);
        return ReadRawSize(Native(path).c_str(), width, height);
    }
    const int format = type == kImageTypeJpeg ? int(RasterFormatJPG) : CodecFormatFromExtension(path);
    int32_t w = 0, h = 0;
    if (format < 0 || !CRaster::ReadSize(Native(path).c_str(), format, w, h))
        return 0;
    width = w;
    height = h;
    return 1;
}

// ---- thumbnails -----------------------------------------------------------------------------

void FitSize(int width, int height, int size, int& newWidth, int& newHeight)
{
    if (width > height) {
        newWidth = size;
        newHeight = int(int64_t(size) * height / width);
    } else {
        newHeight = size;
        newWidth = height > 0 ? int(int64_t(size) * width / height) : 0;
    }
}

int FitImage8(const ImageBuffer8& source, ImageBuffer8& destination, int size)
{
    if (!source.data || source.width <= 0 || source.height <= 0 || size <= 0)
        return 0;
    int w, h;
    FitSize(source.width, source.height, size, w, h);
    return ResizeImage8(source, destination, w, h, 2);
}

int TrimThumbnailBorders(ImageBuffer8& image)
{
    const int w = image.width, h = image.height;
    if (!image.data || w <= 0 || h <= 0)
        return 0;
    auto px = [&](int x, int y) { return image.data + (size_t(y) * w + x) * 4; };
    auto blackRow = [&](int y) { return px(w / 4, y)[1] == 0 && px(3 * w / 4, y)[2] == 0; };
    auto blackColumn = [&](int x) { return px(x, h / 4)[1] == 0 && px(x, 3 * h / 4)[2] == 0; };
    int top = 0, bottom = h - 1, left = 0, right = w - 1;
    while (top < h / 4 && blackRow(top))
        ++top;
    while (bottom > h - h / 4 && blackRow(bottom))
        --bottom;
    while (left < w / 4 && blackColumn(left))
        ++left;
    while (right > w - w / 4 && blackColumn(right))
        --right;
    if (top == 0 && bottom == h - 1 && left == 0 && right == w - 1)
        return 1;
    ImageBuffer8 cut;
    const int cw = right - left + 1, ch = bottom - top + 1;
    if (!AllocImage8(cut, cw, ch))
        return 0;
    for (int y = 0; y < ch; ++y)
        std::memcpy(cut.data + size_t(y) * cw * 4, px(left, top + y), size_t(cw) * 4);
    FreeImageBuffer(image);
    image = cut;
    return 1;
}

int LoadJpegThumbnailFast(const char16_t* path, int size, ImageBuffer8& image)
{
    JpegSource source;
    if (size <= 0 || !source.Open(path))
        return 0;
    ImageBuffer8 decoded;
    int ok;
    if (source.width < uint32_t(8 * size) && source.height < uint32_t(8 * size)) {
        ok = DecodeJpegScaled(source.bytes.data(), source.bytes.size(), 1, decoded);
    } else {
        // One value per 8 x 8 block: the DC coefficients, as the DCT hands them out at 1/8.
        ok = DecodeJpegScaled(source.bytes.data(), source.bytes.size(), 8, decoded);
    }
    ok = ok && FitImage8(decoded, image, size) && OrientImage8(image, source.Orientation());
    FreeImageBuffer(decoded);
    return ok;
}

// The embedded-thumbnail decision for an opened picture; -1 when the caller must decode the
// JPEG itself.
static int ReadEmbeddedThumbnail(const char16_t* path, int type, int size, ImageBuffer8& image)
{
    if (type == kImageTypeJpeg) {
        JpegSource source;
        if (!source.Open(path) || source.width == 0 || source.height == 0)
            return 0;
        int working = size;
        int result = 1;
        if (uint64_t(source.width) * source.height > kThumbnailPixelThreshold && size > kEmbeddedWorkingSize) {
            if (!source.Thumbnail())
                return -1;
            working = kEmbeddedWorkingSize;
            result = 2;
        }
        if (source.width >= uint32_t(working) || source.height >= uint32_t(working)) {
            int fw, fh;
            FitSize(int(source.width), int(source.height), working, fw, fh);
            if (!JpegThumbnailImage(source, fw, fh, result == 2, image))
                return 0;
        } else if (!DecodeJpegScaled(source.bytes.data(), source.bytes.size(), 1, image)) {
            return 0;
        }
        if (result == 2) {
            ImageBuffer8 copy;
            int ok = TrimThumbnailBorders(image) && CopyImage8(copy, image) && FitImage8(copy, image, size);
            FreeImageBuffer(copy);
            if (!ok)
                return 0;
        }
        // The embedded thumbnail is stored the way the picture is: both stand up here.
        return OrientImage8(image, source.Orientation()) ? result : 0;
    }
    // Other formats: the codec library decodes, the picture is scaled to the fitted size.
    ImageBuffer8 picture;
    if (!CodecLoadImage8(picture, path)) {
        FreeImageBuffer(picture);
        return 0;
    }
    int ok;
    if (picture.width >= size || picture.height >= size) {
        ok = FitImage8(picture, image, size);
    } else {
        ok = CopyImage8(image, picture);
    }
    FreeImageBuffer(picture);
    return ok ? 1 : 0;
}

int LoadThumbnailPlatform(const char16_t* path, int size, ImageBuffer8& image)
{
    if (size <= 0)
        return 0;
    int result = ReadEmbeddedThumbnail(path, ImageTypeFromExtension(path), size, image);
    if (result == -1)
        return LoadJpegThumbnailFast(path, size, image);
    if (result == 0) {
        ImageBuffer8 whole;
        int ok = LoadImage8(path, whole) && FitImage8(whole, image, size);
        FreeImageBuffer(whole);
        return ok;
    }
    return result;
}

// Scales raster to fit within size x size and hands it over as an 8-bit image.
static int RasterThumbnail(CRaster& raster, int size, ImageBuffer8& image)
{
    int w, h;
    FitSize(raster.Width(), raster.Height(), size, w, h);
    if (!raster.Rescale(std::max(w, 1), std::max(h, 1), 0))
        return 0;
    return ImageFromRaster8(image, raster);
}

int LoadThumbnail(const char16_t* path, int size, ImageBuffer8& image, bool fast)
{
    if (size <= 0)
        return 0;
    switch (ImageTypeFromExtension(path)) {
    case kImageTypeTga: {
        CRaster raster;
        if (!raster.Load(Native(path).c_str(), RasterFormatTGA) || raster.Width() <= 0 || raster.Height() <= 0)
            return 0;
        return RasterThumbnail(raster, size, image);
    }
    case kImageTypeRaw: {
        platform::ScopedLock lock(RawDecoderLock);
        RawPreview preview;
        if (!ReadRawPreview(path, preview))
            return 0;
        if (preview.kind == kRawPreviewJpeg)
            return RawJpegPreviewThumbnail(preview.data, preview.length, size, image) && FlipImage8(image, preview.flip);
        CRaster raster;
        if (!RawBitmapPreviewToRaster(preview.data, preview.length, raster))
            return 0;
        return RasterThumbnail(raster, size, image) && FlipImage8(image, preview.flip);
    }
    case kImageTypeJpeg:
        if (fast)
            return LoadJpegThumbnailFast(path, size, image);
        return LoadThumbnailPlatform(path, size, image);
    default:
        return LoadThumbnailPlatform(path, size, image);
    }
}

// ---- RAW previews ---------------------------------------------------------------------------

int RawJpegPreviewThumbnail(const uint8_t* data, uint32_t length, int size, ImageBuffer8& image)
{
    uint32_t w = 0, h = 0;
    if (!data || size <= 0 || !platform::ReadJpegSize(data, length, w, h) || w == 0 || h == 0)
        return 0;
    int fw, fh;
    FitSize(int(w), int(h), size, fw, fh);
    ImageBuffer8 decoded;
    int ok = DecodeJpegScaled(data, length, JpegScaleFor(w, h, fw, fh), decoded)
        && ResizeImage8(decoded, image, fw, fh, 2);
    FreeImageBuffer(decoded);
    return ok;
}

namespace {

// The bitmap preview's size, when the length matches it exactly (checked in 64 bits).
bool BitmapPreviewSize(const uint8_t* data, uint32_t length, int& width, int& height)
{
    if (!data || length < 4)
        return false;
    width = data[0] | data[1] << 8;
    height = data[2] | data[3] << 8;
    return width > 0 && height > 0 && uint64_t(length) == 4 + 3 * uint64_t(width) * uint64_t(height);
}

} // namespace

int RawBitmapPreviewToImage8(const uint8_t* data, uint32_t length, ImageBuffer8& image)
{
    int w, h;
    if (!BitmapPreviewSize(data, length, w, h) || !AllocImage8(image, w, h))
        return 0;
    const uint8_t* in = data + 4;
    uint8_t* out = image.data;
    for (size_t i = 0; i < size_t(w) * h; ++i, in += 3, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 255;
    }
    return 1;
}

int RawBitmapPreviewToRaster(const uint8_t* data, uint32_t length, CRaster& raster)
{
    int w, h;
    if (!BitmapPreviewSize(data, length, w, h) || !raster.Create(w, h, 24, raster.formatCode))
        return 0;
    const uint8_t* in = data + 4;
    for (int ty = 0; ty < h; ++ty) {
        uint8_t* row = raster.Row(h - 1 - ty);
        for (int x = 0; x < w; ++x, in += 3) {
            row[x * 3] = in[2];
            row[x * 3 + 1] = in[1];
            row[x * 3 + 2] = in[0];
        }
    }
    return 1;
}
