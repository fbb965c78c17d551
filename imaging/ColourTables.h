// The gamma tables between 8-bit sRGB and the 16-bit linear Adobe RGB working space, and the
// conversions between the containers. The tables are plain global arrays so other subsystems'
// pixel loops can index them directly; they are built once at start-up and only read after.
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>

extern uint16_t SrgbDecodeTable[256];     // 8-bit sRGB -> 16-bit linear
extern uint8_t SrgbEncodeTable[65536];    // 16-bit linear -> 8-bit sRGB
extern uint16_t AdobeDecodeTable[256];    // 8-bit Adobe RGB -> 16-bit linear

// Fills the three tables. Safe to call again; the contents never change.
void BuildGammaTables();

// Conversion modes of ConvertImage8To16.
enum : int {
    kConvertSrgb = 1,   // 8-bit data is sRGB: decode and change primaries
    kConvertAdobe = 2,  // 8-bit data is Adobe RGB: decode only
};

// Whole-image conversions: 1 on success, 0 on an empty source, an unknown mode or a failed
// allocation.
int ConvertImage8To16(ImageBuffer16& destination, const ImageBuffer8& source, int mode);
int ConvertImage16To8(const ImageBuffer16& source, ImageBuffer8& destination);
// With error diffusion: what goes to files and printers.
int ConvertImage16To8Dithered(const ImageBuffer16& source, ImageBuffer8& destination);
int ConvertImage16ToGrey8(const ImageBuffer16& source, Plane8& plane);

// Pixel loops into a destination that already holds at least the source's pixel count;
// a smaller destination is left alone and the result is 0.
int ConvertPixels8To16(const ImageBuffer8& source, ImageBuffer16& destination);
int ConvertPixels8To16Linear(const ImageBuffer8& source, ImageBuffer16& destination);
int ConvertPixels16To8(const ImageBuffer16& source, ImageBuffer8& destination);
void ConvertPixel16To8(const uint16_t* pixel16, uint8_t* pixel8);
// The 8-to-16 loop of one run of `count` pixels, in a mode of ConvertImage8To16.
void ConvertRow8To16(const uint8_t* source8, uint16_t* destination16, size_t count, int mode);

// In place on 16-bit pixels: back from the working primaries to sRGB primaries (G, A kept).
void ConvertPrimaries16(ImageBuffer16& image);

// In place: treats the bytes as Adobe RGB and re-encodes them as sRGB.
void AdobeRgbToSrgb8(ImageBuffer8& image);

// In place integer YCbCr: Y in the R slot, Cb in the G slot, Cr in the B slot.
void RgbToYCbCr8(ImageBuffer8& image);
void YCbCrToRgb8(ImageBuffer8& image);
void RgbToYCbCr16(ImageBuffer16& image);
// The same 8-bit pair on one run of pixels (out may be the input).
void RgbToYCbCrRow8(uint8_t* pixels, size_t count);
void YCbCrToRgbRow8(const uint8_t* pixels, uint8_t* out, size_t count);
void YCbCrToRgb16(ImageBuffer16& image);

// In place HSL on `count` BGRA 16-bit pixels: H in the R slot, S in the G slot, L in the B slot.
void RgbToHsl16(uint16_t* pixels, size_t count);
void HslToRgb16(uint16_t* pixels, size_t count);
