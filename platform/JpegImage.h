// JPEG decoding into 32-bit B, G, R, A pixels (alpha 255), the form the program's 8-bit
// images use. libjpeg does the work; a scale of 1/2, 1/4 or 1/8 comes from the DCT for free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct Bitmap32 {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels; // top row first, 4 * width bytes a row
};

// Largest picture decoded here: bounds the memory a damaged or hostile header can ask for.
constexpr uint64_t kMaxJpegPixels = 400'000'000;

// Largest image file read whole into memory (the decoders and exiv2 take at most this).
constexpr uint64_t kMaxImageFileBytes = 0x7FFFFFFF;

// A whole file (path in the file system's form) through the platform's checked open: regular
// files only, the size checked against maxBytes before anything is allocated.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxBytes = kMaxImageFileBytes);

// CMYK samples as libjpeg hands them back, four a pixel, into B, G, R, A (alpha 255). Without
// Adobe's marker the inks are stored uninverted. `in` and `out` may be the same row.
void CmykToBgra(const uint8_t* in, uint8_t* out, uint32_t pixels, bool adobeInverted);

// Header only: the picture's size. False when the data is no JPEG.
bool ReadJpegSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height);

// Decodes at 1 / scaleDenom of the size (1, 2, 4 or 8; the size is rounded up).
bool DecodeJpeg(const uint8_t* data, size_t size, Bitmap32& out, int scaleDenom = 1);
bool DecodeJpegFile(const std::string& path, Bitmap32& out, int scaleDenom = 1);

} // namespace platform
