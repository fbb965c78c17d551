// File types by extension: the program's ImageType codes and the codec library's formats.
#pragma once

#include <cstdint>

enum ImageTypeCode : int {
    kImageTypeOther = -1,
    kImageTypeJpeg = 1,
    kImageTypeBmp = 2,
    kImageTypeGif = 3,
    kImageTypePng = 4,
    kImageTypeTiff = 5,
    kImageTypeTga = 6,
    kImageTypePcx = 7,
    kImageTypeRaw = 8,
};

constexpr int kRasterFormatTga = 6;

// The type from the text after the last dot of the last path component, any case; -1 for
// other extensions, no dot, or an empty or null name. Both '/' and '\' end a component.
int ImageTypeFromExtension(const char16_t* path);
// The codec library's format code (jpg 2, bmp 0, gif 1, png 3, tif 5, tga 6, pcx 7), else -1.
int CodecFormatFromExtension(const char16_t* path);

// Width and height of a picture the codec library reads, from its header (path in the file
// system's form); false when it cannot.
bool ReadCodecImageSize(const char* path, int format, int& width, int& height);
