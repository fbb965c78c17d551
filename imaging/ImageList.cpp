// Owned lists of 8-bit images (skin strips, icon sets).
#include "imaging/ImageBuffer.h"

namespace {

// Takes ownership of a heap record; on failure the record is deleted and the result is 0.
int Adopt(ImageList8& list, ImageBuffer8* image)
{
    try {
        list.items.push_back(image);
    } catch (...) {
        DeleteImage8(image);
        return 0;
    }
    return 1;
}

} // namespace

int AppendImageCopy8(ImageList8& list, const ImageBuffer8& image)
{
    ImageBuffer8* copy = new (std::nothrow) ImageBuffer8;
    if (!copy)
        return 0;
    // An empty image gives an empty copy; running out of memory for the pixels is a failure
    // rather than a silently empty frame.
    if (image.data && !CopyImage8(*copy, image)) {
        delete copy;
        return 0;
    }
    return Adopt(list, copy);
}

int AppendImageList8(ImageList8& list, const ImageList8& other)
{
    if (&list == &other) {
        const size_t n = list.size();
        for (size_t i = 0; i < n; ++i)
            if (!AppendImageCopy8(list, *list.items[i]))
                return 0;
        return 1;
    }
    for (const ImageBuffer8* image : other.items)
        if (!AppendImageCopy8(list, *image))
            return 0;
    return 1;
}

int ResizeImageList8(ImageList8& list, int width, int first, int last)
{
    const int count = int(list.size());
    if (last < 0 || last > count)
        last = count;
    if (first < 0)
        first = 0;
    for (int i = first; i < last; ++i) {
        ImageBuffer8& image = *list.items[size_t(i)];
        if (!image.data || image.width <= 0)
            return 0;
        const int64_t height = int64_t(width) * image.height / image.width;
        if (height > INT32_MAX)
            return 0;
        ImageBuffer8 resized;
        const int ok = ResizeImage8(image, resized, width, int(height), 2) && CopyImage8(image, resized);
        FreeImageBuffer(resized);
        if (!ok)
            return 0;
    }
    return 1;
}

void ClearImageList8(ImageList8& list)
{
    for (ImageBuffer8* image : list.items)
        DeleteImage8(image);
    list.items.clear();
}

void FreeImageList8(ImageList8& list)
{
    ClearImageList8(list);
    list.items.shrink_to_fit();
}
