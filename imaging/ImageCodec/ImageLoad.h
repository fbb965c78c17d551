// Loading image files into 8-bit B, G, R, A images, whole or as thumbnails made as fast as
// the file allows (embedded EXIF thumbnail, DCT-scaled JPEG decode, RAW preview), and the
// bridge between ImageBuffer8 and the codec library's CRaster. Paths are UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>

struct ImageBuffer8;
class CRaster;
namespace platform {
struct Bitmap32;
}

// Pictures above this on a side are refused by the codec-library paths.
constexpr int kMaxCodecSide = 20000;
// The size a refused picture leaves in the record (no pixels).
constexpr int kRefusedPictureSide = 65536;

int CodecLoadImage8(ImageBuffer8& image, const char16_t* path);
int CodecSaveImage8(const ImageBuffer8& image, const char16_t* path, bool withAlpha);
// Encodes the raster in a codec-library format and puts the file at path in one rename once
// it is completely on disk (a file it replaces keeps its permission bits). 1 on success.
int SaveRasterFile(CRaster& raster, const char16_t* path, int format);
int ImageFromRaster8(ImageBuffer8& image, const CRaster& raster);
int ImageToRaster8(const ImageBuffer8& image, CRaster& raster, bool withAlpha);

int LoadImage8(const char16_t* path, ImageBuffer8& image);
// The size a whole load (or a document's open) of the file gives, read from its header before
// anything of that size is decoded or allocated: the large-photo question comes first. 1 when
// known. Takes RawDecoderLock itself for RAW files.
int ReadImageFileSize(const char16_t* path, int& width, int& height);
// JPEG decoding (the platform decoder) from a file or from bytes in memory.
int LoadJpegImage8(const char16_t* path, ImageBuffer8& image);
int LoadJpegImage8(const uint8_t* data, size_t length, ImageBuffer8& image);
int CopyBitmap32ToImage8(const platform::Bitmap32& bitmap, ImageBuffer8& image);

// Turns a picture stored the way a camera held it upright: EXIF Orientation 1 to 8 (2 mirrored,
// 3 half turn, 4 flipped, 5 transposed, 6 a quarter clockwise, 7 transversed, 8 a quarter
// anticlockwise). JPEG photos open, and show in thumbnails and previews, turned this way; the
// file itself is not touched. 0 only when the turned copy cannot be allocated.
int OrientImage8(ImageBuffer8& image, int orientation);
// The same with LibRaw's flip code (bit 2 swaps rows and columns, bit 1 turns rows over, bit 0
// columns), as RAW files and their previews carry it.
int FlipImage8(ImageBuffer8& image, int flip);

// Result 0 failure, 1 done, 2 made from the embedded EXIF thumbnail.
int LoadThumbnail(const char16_t* path, int size, ImageBuffer8& image, bool fast);
int LoadThumbnailPlatform(const char16_t* path, int size, ImageBuffer8& image);
int LoadJpegThumbnailFast(const char16_t* path, int size, ImageBuffer8& image);
void FitSize(int width, int height, int size, int& newWidth, int& newHeight);
int FitImage8(const ImageBuffer8& source, ImageBuffer8& destination, int size);
// Removes black bars around an embedded thumbnail; 0 only when the cut copy fails.
int TrimThumbnailBorders(ImageBuffer8& image);

int RawJpegPreviewThumbnail(const uint8_t* data, uint32_t length, int size, ImageBuffer8& image);
int RawBitmapPreviewToImage8(const uint8_t* data, uint32_t length, ImageBuffer8& image);
int RawBitmapPreviewToRaster(const uint8_t* data, uint32_t length, CRaster& raster);
