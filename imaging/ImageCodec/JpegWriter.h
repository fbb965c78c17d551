// Writing 8-bit images as JPEG files or bytes through the codec library's encoder, decoding
// such bytes again, and lossless turns of JPEG files.
#pragma once

#include <cstddef>
#include <cstdint>

struct ImageBuffer8;
class CRaster;

// Quality argument: above 100 chroma is kept at full resolution (4:4:4) and quality % 100 is
// used; then 0 becomes 100 and 1 becomes 2 for files (0, the library's lowest, in memory).
// Up to 100 chroma is subsampled 2 x 2.
class JpegWriter {
public:
    // Custom luminance table, 64 values in natural order; absent while the first value is 0.
    uint32_t lumaQuantTable[64] = {};

    int SaveFile(const char16_t* path, const ImageBuffer8& image, int quality) const;
    // The buffer must be null on entry; the caller frees it with free(), also after a failure.
    int EncodeToMemory(uint8_t*& buffer, int64_t& size, const ImageBuffer8& image, int quality) const;

private:
    void Configure(CRaster& raster, int quality, bool forFile) const;
};

int ImageToRaster24(const ImageBuffer8& image, CRaster& raster);
int DecodeJpegMemory(const uint8_t* data, size_t length, ImageBuffer8& image);
// Encoders the metadata write-back knows, by MIME type: the index, or -1.
int FindEncoderClsid(const char* mimeType);
// turn 1 = 90 degrees clockwise, 2 = 180, 3 = 270. 1 on success; 0 when the picture's size
// does not allow a lossless turn (the caller shows "errorllr") or the file cannot be written.
int RotateJpegLossless(const char16_t* path, int turn);
