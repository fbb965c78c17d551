// The plain pixel containers every subsystem keeps pictures in: 8-bit and 16-bit BGRA images,
// 8-bit and 16-bit single-channel planes, lists of 8-bit images, and the small shared helpers
// that live beside them. Records are plain data: copying one never copies pixels, and whoever
// embeds one frees it with FreeImageBuffer/FreePlane8. Every operation reports failure by
// returning 0 and never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

// Pixels are B, G, R, A bytes, sRGB-encoded, alpha 255 opaque. Rows are unpadded.
struct ImageBuffer8 {
    uint8_t* raw = nullptr;   // owned allocation
    uint8_t* data = nullptr;  // first 16-byte boundary after raw
    int32_t width = 0;
    int32_t height = 0;
    uint32_t byteSize = 0;    // width * height * 4
    uint32_t pixelCount = 0;  // width * height
};

// Pixels are four uint16_t B, G, R, A in linear light with Adobe RGB primaries, alpha 0xFFFF
// opaque.
struct ImageBuffer16 {
    uint8_t* raw = nullptr;
    uint16_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t byteSize = 0;    // width * height * 8
    uint32_t pixelCount = 0;
};

// One byte a pixel: 0 not selected / transparent, 255 fully selected / opaque.
struct Plane8 {
    uint8_t* raw = nullptr;
    uint8_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t byteSize = 0;    // width * height
};

struct Plane16 {
    uint8_t* raw = nullptr;
    uint16_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t byteSize = 0;    // width * height * 2
    uint32_t pixelCount = 0;
};

// Owned list of heap 8-bit images (frames of a skin strip, icon sets). The destructor frees
// what is left, so a list that goes out of scope cannot leak.
struct ImageList8 {
    std::vector<ImageBuffer8*> items;

    ImageList8() = default;
    ImageList8(const ImageList8&) = delete;
    ImageList8& operator=(const ImageList8&) = delete;
    ~ImageList8();

    size_t size() const { return items.size(); }
    ImageBuffer8* operator[](size_t i) const { return items[i]; }
};

// ---- shared helpers -------------------------------------------------------------------------

// Largest allocation AllocNoThrow hands out. Records keep byte counts in 32 bits, so image
// allocations are further limited to what fits there.
inline constexpr uint64_t kMaxAllocBytes = uint64_t(1) << 34;

// Array allocation that returns null instead of throwing. A negative or overflowing count, or
// one above kMaxAllocBytes, fails. Free with delete[].
template <class T = uint8_t>
T* AllocNoThrow(int64_t count)
{
    if (count < 0 || uint64_t(count) > kMaxAllocBytes / sizeof(T))
        return nullptr;
    return new (std::nothrow) T[size_t(count)];
}

// Copies a NUL-terminated UTF-16 text into a buffer of `capacity` characters. A source of
// capacity - 1 characters or more keeps its first capacity - 3 characters followed by "..".
// A null source gives an empty text. Nothing is written for capacity <= 0.
void CopyTextBounded(char16_t* destination, int capacity, const char16_t* source);

// ---- record life ----------------------------------------------------------------------------

void ClearImageBuffer(ImageBuffer8& image);
void ClearImageBuffer(ImageBuffer16& image);
void FreeImageBuffer(ImageBuffer8& image);
void FreeImageBuffer(ImageBuffer16& image);

// Same size with pixels present: keeps memory and contents. Otherwise (re)allocates; pixels
// are not cleared. On failure the record is empty and the result 0.
int AllocImage8(ImageBuffer8& image, int width, int height);
int AllocImage16(ImageBuffer16& image, int width, int height);
int AllocPlane8(Plane8& plane, int width, int height);
int AllocPlane16(Plane16& plane, int width, int height);

// Frees the pixels; width and height stay.
void FreePlane8(Plane8& plane);
void FreePlane16(Plane16& plane);

// Frees the pixels and deletes the heap record.
void DeleteImage8(ImageBuffer8* image);

// ---- copies ---------------------------------------------------------------------------------

// 0 on an empty source (destination untouched). A destination of equal byte size is reused
// and takes the source's width and height.
int CopyImage8(ImageBuffer8& destination, const ImageBuffer8& source);
int CopyImage16(ImageBuffer16& destination, const ImageBuffer16& source);
int CopyPlane8(Plane8& destination, const Plane8& source);
int CopyPlane16(Plane16& destination, const Plane16& source);

// Channel 0 B, 1 G, 2 R, 3 A of every pixel into a plane of the image's size.
int ExtractChannel16(Plane16& plane, const ImageBuffer16& image, int channel);

// ---- geometry and resampling of 8-bit images -------------------------------------------------

// Destination becomes source height x source width, turned 90 degrees clockwise.
int RotateImage8Right(ImageBuffer8& destination, const ImageBuffer8& source);

// Box-sampling resize with samples x samples samples per output pixel, optionally of a source
// rectangle (right == left means the whole image). A new width or height of 0 counts as 1.
int ResizeImage8(const ImageBuffer8& source, ImageBuffer8& destination, int newWidth, int newHeight,
                 int samples, int left = 0, int top = 0, int right = 0, int bottom = 0);

// The same sampling over 16-bit pixels, then converted to 8-bit sRGB for display.
int ResizeImage16To8(const ImageBuffer16& source, ImageBuffer8& destination, int newWidth,
                     int newHeight, int samples, int left = 0, int top = 0, int right = 0,
                     int bottom = 0);

// Bilinear resize with 8-bit weights into a destination already allocated to newWidth x
// newHeight. sourceWidth/sourceHeight of -1 mean the source's own. The weights add up to 255,
// so white comes out as 253; callers rely on that.
int ResizeImage8Bilinear(const ImageBuffer8& source, ImageBuffer8& destination, int newWidth,
                         int newHeight, int sourceWidth = -1, int sourceHeight = -1);

// Gaussian blur, radius 1..16, into a destination made the source's size. The result is darker
// than the source for small radii; callers brighten it themselves.
int BlurImage8(const ImageBuffer8& source, ImageBuffer8& destination, int radius);

// ---- plane arithmetic (selection add and subtract) ------------------------------------------

int UnionPlane8(Plane8& plane, const Plane8& mask);
int SubtractPlane8(Plane8& plane, const Plane8& mask);
int ResizePlane8(const Plane8& source, Plane8& destination, int newWidth, int newHeight);

// ---- image lists ----------------------------------------------------------------------------

int AppendImageList8(ImageList8& list, const ImageList8& other);
int AppendImageCopy8(ImageList8& list, const ImageBuffer8& image);
int ResizeImageList8(ImageList8& list, int width, int first, int last);
void ClearImageList8(ImageList8& list);
void FreeImageList8(ImageList8& list);

// ---- raw temporary image file ----------------------------------------------------------------

// u32 LE width, u32 LE height, then width x 3 bytes B, G, R a row from the top. Paths are
// UTF-16, as the program keeps them.
int WriteRawImage8(const ImageBuffer8& image, const char16_t* path);
int ReadRawImage8(ImageBuffer8& image, const char16_t* path);
