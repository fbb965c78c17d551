// Row and pixel pointers into the image records, whatever pointer type the record keeps.
#pragma once

#include "imaging/ImageBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

inline uint16_t* Pixels16(const ImageBuffer16& img)
{
    return static_cast<uint16_t*>(static_cast<void*>(img.data));
}

inline uint16_t* Row16(const ImageBuffer16& img, int y)
{
    return Pixels16(img) + static_cast<size_t>(y) * static_cast<size_t>(img.width) * 4;
}

inline bool HasPixels(const ImageBuffer16& img)
{
    return img.data != nullptr;
}

inline uint16_t* PlaneData16(const Plane16& p)
{
    return static_cast<uint16_t*>(static_cast<void*>(p.data));
}

inline uint8_t* PlaneData8(const Plane8& p)
{
    return static_cast<uint8_t*>(static_cast<void*>(p.data));
}

inline uint16_t ClampU16(int64_t v)
{
    return static_cast<uint16_t>(std::clamp<int64_t>(v, 0, 65535));
}

inline size_t PixelCount(const ImageBuffer16& img)
{
    return static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
}
