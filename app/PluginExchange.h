// The exchange file of host mode: a host program hands a picture over in it and gets the result
// back in a new file of the same name. Little-endian:
//   u32 width, u32 height, u8 C (3: R, G, B; 4: R, G, B, A), then rows top-down, pixels left
//   to right, C unsigned 16-bit samples each, sRGB-encoded, alpha linear (0xFFFF opaque).
// Inside the program pictures are ImageBuffer16: linear light, Adobe RGB primaries, B, G, R, A.
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <string>

struct Srgb16Pixel {
    uint16_t r = 0, g = 0, b = 0, a = 0;
};

// One internal pixel (B, G, R, A) as the exchange file stores it.
Srgb16Pixel InternalToSrgb16(const uint16_t* bgra);

// Reads the whole picture into image and deletes the file. 0 when the file cannot be opened,
// is not a well-formed exchange file (C not 3 or 4, an empty or impossible size, fewer bytes
// than the size needs) or the picture cannot be allocated: the file is then kept and image
// left empty.
int ReadPluginImage(const std::u16string& path, ImageBuffer16& image);

// Writes the picture with C = 4 (a new file put in place whole). 0 when any write, the flush or
// the rename failed; the caller reports it and keeps running.
int WritePluginImage(const std::u16string& path, const ImageBuffer16& image);
