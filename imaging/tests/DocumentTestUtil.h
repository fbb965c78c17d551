// Small documents for the document, stream, history and geometry tests.
#pragma once

#include "imaging/Document.h"

#include <cstring>
#include <functional>
#include <string>

// An image whose pixels come from f(x, y, channel).
inline ImageBuffer16 MakeImage16(int w, int h, const std::function<uint16_t(int, int, int)>& f)
{
    ImageBuffer16 img;
    AllocImage16(img, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                img.data[(size_t(y) * w + x) * 4 + c] = f(x, y, c);
    return img;
}

inline ImageBuffer16 SolidImage16(int w, int h, uint16_t b, uint16_t g, uint16_t r, uint16_t a)
{
    return MakeImage16(w, h, [=](int, int, int c) { const uint16_t v[4] = {b, g, r, a}; return v[c]; });
}

// Distinct values per position so that moved or mirrored pixels show.
inline ImageBuffer16 PatternImage16(int w, int h, int seed = 0)
{
    return MakeImage16(w, h, [=](int x, int y, int c) {
        return uint16_t((x * 977 + y * 131 + c * 4099 + seed * 7919) & 0xFFFF);
    });
}

inline const uint16_t* PixelAt(const ImageBuffer16& img, int x, int y)
{
    return img.data + (size_t(y) * img.width + x) * 4;
}

inline bool SameImage(const ImageBuffer16& a, const ImageBuffer16& b)
{
    return a.width == b.width && a.height == b.height &&
           (a.pixelCount == 0 || std::memcmp(a.data, b.data, size_t(a.pixelCount) * 8) == 0);
}

inline Plane8 PatternPlane(int w, int h, int seed = 0)
{
    Plane8 p;
    AllocPlane8(p, w, h);
    for (int i = 0; i < w * h; ++i)
        p.data[i] = uint8_t(i * 37 + seed);
    return p;
}

inline bool SamePlane(const Plane8& a, const Plane8& b)
{
    if (!a.data || !b.data)
        return !a.data && !b.data;
    return a.width == b.width && a.height == b.height &&
           std::memcmp(a.data, b.data, size_t(a.width) * a.height) == 0;
}

// Adds a copy of img and frees img.
inline void AddOwned(CZDDoc& doc, ImageBuffer16 img, const char16_t* name, int index = -1)
{
    doc.AddLayer(img, name, index);
    FreeImageBuffer(img);
}
