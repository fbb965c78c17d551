#include "imaging/ImageCodec/ImageStrip.h"

#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"

#include <cstring>
#include <new>

int LoadImageStrip8(ImageList8& list, const char16_t* path, int frameWidth)
{
    if (!list.items.empty() || frameWidth <= 0)
        return 0;
    ImageBuffer8 strip;
    if (!CodecLoadImage8(strip, path)) {
        FreeImageBuffer(strip);
        return 0;
    }
    const int frames = strip.width / frameWidth;
    int ok = 1;
    for (int f = 0; f < frames && ok; ++f) {
        ImageBuffer8* frame = new (std::nothrow) ImageBuffer8;
        if (!frame || !AllocImage8(*frame, frameWidth, strip.height)) {
            delete frame;
            ok = 0;
            break;
        }
        for (int y = 0; y < strip.height; ++y)
            std::memcpy(frame->data + size_t(y) * frameWidth * 4,
                        strip.data + (size_t(y) * strip.width + size_t(f) * frameWidth) * 4, size_t(frameWidth) * 4);
        list.items.push_back(frame);
    }
    FreeImageBuffer(strip);
    return ok;
}

int AppendImageStrip8(ImageList8& list, const char16_t* path, int frameWidth)
{
    ImageList8 strip;
    int ok = LoadImageStrip8(strip, path, frameWidth) && AppendImageList8(list, strip);
    FreeImageList8(strip);
    return ok;
}

int AppendImageFile8(ImageList8& list, const char16_t* path)
{
    ImageBuffer8* image = new (std::nothrow) ImageBuffer8;
    if (!image)
        return 0;
    if (!CodecLoadImage8(*image, path)) {
        FreeImageBuffer(*image);
        delete image;
        return 0;
    }
    list.items.push_back(image);
    return 1;
}
