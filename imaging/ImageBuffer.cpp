// Record life, copies and plane arithmetic of the pixel containers.
#include "imaging/ImageBuffer.h"

#include "platform/Memory.h"

#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr uint32_t kLargePageMinBytes = uint32_t(8) << 20;

// Byte counts live in 32-bit fields and every allocation adds 16 bytes for the alignment, so
// anything whose total does not fit there is refused before asking for memory.
bool ByteCountFor(int width, int height, int bytesPerPixel, uint32_t& byteCount)
{
    if (width < 0 || height < 0)
        return false;
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * uint64_t(bytesPerPixel);
    if (bytes + 16 > std::numeric_limits<uint32_t>::max() || bytes + 16 > kMaxAllocBytes)
        return false;
    byteCount = uint32_t(bytes);
    return true;
}

uint8_t* AlignedStart(uint8_t* raw)
{
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(raw) & ~uintptr_t(15)) + 16);
}

template <class Record>
void ZeroRecord(Record& r)
{
    r = Record{};
}

template <class Record>
void FreeRecord(Record& r)
{
    if (r.data)
        delete[] r.raw;
    ZeroRecord(r);
}

// Shared by the four Alloc functions: keep when the size matches and pixels are there, else
// free and allocate afresh.
template <class Record>
int AllocRecord(Record& r, int width, int height, int bytesPerPixel)
{
    if (r.data && r.width == width && r.height == height)
        return 1;
    FreeRecord(r);
    uint32_t bytes = 0;
    if (!ByteCountFor(width, height, bytesPerPixel, bytes))
        return 0;
    uint8_t* raw = AllocNoThrow(int64_t(bytes) + 16);
    if (!raw)
        return 0;
    // Fresh pages cost a fault each on their first write, which on a photo-sized picture
    // costs more than the work that fills it; large pages fault 512 times less often.
    if (bytes >= kLargePageMinBytes)
        platform::AdviseLargePages(raw, size_t(bytes) + 16);
    r.raw = raw;
    r.data = reinterpret_cast<decltype(r.data)>(AlignedStart(raw));
    r.width = width;
    r.height = height;
    r.byteSize = bytes;
    return 1;
}

} // namespace

ImageList8::~ImageList8()
{
    FreeImageList8(*this);
}

void CopyTextBounded(char16_t* destination, int capacity, const char16_t* source)
{
    if (!destination || capacity <= 0)
        return;
    if (!source) {
        destination[0] = 0;
        return;
    }
    size_t length = 0;
    while (source[length])
        ++length;
    if (length < size_t(capacity - 1)) {
        std::memcpy(destination, source, length * sizeof(char16_t));
        destination[length] = 0;
        return;
    }
    // The result is always capacity - 1 characters: the head of the text, then "..". Tiny
    // capacities keep as much of ".." as fits.
    const int keep = capacity - 3 > 0 ? capacity - 3 : 0;
    std::memcpy(destination, source, size_t(keep) * sizeof(char16_t));
    int at = keep;
    while (at < capacity - 1)
        destination[at++] = u'.';
    destination[at] = 0;
}

void ClearImageBuffer(ImageBuffer8& image) { ZeroRecord(image); }
void ClearImageBuffer(ImageBuffer16& image) { ZeroRecord(image); }
void FreeImageBuffer(ImageBuffer8& image) { FreeRecord(image); }
void FreeImageBuffer(ImageBuffer16& image) { FreeRecord(image); }

int AllocImage8(ImageBuffer8& image, int width, int height)
{
    if (!AllocRecord(image, width, height, 4))
        return 0;
    image.pixelCount = uint32_t(uint64_t(width) * uint64_t(height));
    return 1;
}

int AllocImage16(ImageBuffer16& image, int width, int height)
{
    if (!AllocRecord(image, width, height, 8))
        return 0;
    image.pixelCount = uint32_t(uint64_t(width) * uint64_t(height));
    return 1;
}

int AllocPlane8(Plane8& plane, int width, int height)
{
    return AllocRecord(plane, width, height, 1);
}

int AllocPlane16(Plane16& plane, int width, int height)
{
    if (!AllocRecord(plane, width, height, 2))
        return 0;
    plane.pixelCount = uint32_t(uint64_t(width) * uint64_t(height));
    return 1;
}

void FreePlane8(Plane8& plane)
{
    delete[] plane.raw;
    plane.raw = nullptr;
    plane.data = nullptr;
}

void FreePlane16(Plane16& plane)
{
    delete[] plane.raw;
    plane.raw = nullptr;
    plane.data = nullptr;
}

void DeleteImage8(ImageBuffer8* image)
{
    if (!image)
        return;
    FreeImageBuffer(*image);
    delete image;
}

namespace {

template <class Image>
int CopyImageRecord(Image& destination, const Image& source, int (*alloc)(Image&, int, int))
{
    if (!source.data)
        return 0;
    if (&destination == &source)
        return 1;
    if (destination.data && destination.byteSize == source.byteSize) {
        // Render and preview paths copy into the same record every frame: reuse its memory
        // even when the shape differs.
        destination.width = source.width;
        destination.height = source.height;
        destination.pixelCount = source.pixelCount;
    } else if (!alloc(destination, source.width, source.height)) {
        return 0;
    }
    destination.byteSize = source.byteSize;
    std::memcpy(destination.data, source.data, source.byteSize);
    return 1;
}

template <class Plane>
int CopyPlaneRecord(Plane& destination, const Plane& source, int (*alloc)(Plane&, int, int))
{
    if (!source.data)
        return 0;
    if (&destination == &source)
        return 1;
    if (!alloc(destination, source.width, source.height))
        return 0;
    std::memcpy(destination.data, source.data, source.byteSize);
    return 1;
}

} // namespace

int CopyImage8(ImageBuffer8& destination, const ImageBuffer8& source)
{
    return CopyImageRecord(destination, source, &AllocImage8);
}

int CopyImage16(ImageBuffer16& destination, const ImageBuffer16& source)
{
    return CopyImageRecord(destination, source, &AllocImage16);
}

int CopyPlane8(Plane8& destination, const Plane8& source)
{
    return CopyPlaneRecord(destination, source, &AllocPlane8);
}

int CopyPlane16(Plane16& destination, const Plane16& source)
{
    return CopyPlaneRecord(destination, source, &AllocPlane16);
}

int ExtractChannel16(Plane16& plane, const ImageBuffer16& image, int channel)
{
    if (!image.data || channel < 0 || channel > 3)
        return 0;
    if (!AllocPlane16(plane, image.width, image.height))
        return 0;
    const uint16_t* src = image.data + channel;
    uint16_t* dst = plane.data;
    for (uint32_t i = 0; i < image.pixelCount; ++i)
        dst[i] = src[size_t(i) * 4];
    return 1;
}

int RotateImage8Right(ImageBuffer8& destination, const ImageBuffer8& source)
{
    if (!source.data)
        return 0;
    ImageBuffer8 rotated;
    ImageBuffer8& out = &destination == &source ? rotated : destination;
    if (!AllocImage8(out, source.height, source.width))
        return 0;
    const uint32_t* src = reinterpret_cast<const uint32_t*>(source.data);
    uint32_t* dst = reinterpret_cast<uint32_t*>(out.data);
    const int srcW = source.width;
    const int srcH = source.height;
    // Destination row i is source column i read from the bottom up.
    for (int i = 0; i < srcW; ++i) {
        uint32_t* row = dst + size_t(i) * size_t(srcH);
        for (int j = 0; j < srcH; ++j)
            row[j] = src[size_t(srcH - 1 - j) * size_t(srcW) + size_t(i)];
    }
    if (&out == &rotated) {
        FreeImageBuffer(destination);
        destination = rotated;
    }
    return 1;
}

int UnionPlane8(Plane8& plane, const Plane8& mask)
{
    if (!mask.data)
        return 0;
    if (!plane.data || plane.width != mask.width || plane.height != mask.height)
        return CopyPlane8(plane, mask);
    uint8_t* p = plane.data;
    const uint8_t* m = mask.data;
    for (uint32_t i = 0; i < plane.byteSize; ++i) {
        if (m[i])
            p[i] = uint8_t(p[i] + (255 - p[i]) * m[i] / 255);
    }
    return 1;
}

int SubtractPlane8(Plane8& plane, const Plane8& mask)
{
    if (!mask.data)
        return 0;
    // Taking something away from no selection leaves no selection.
    if (!plane.data)
        return 1;
    if (plane.width != mask.width || plane.height != mask.height)
        return 0;
    uint8_t* p = plane.data;
    const uint8_t* m = mask.data;
    for (uint32_t i = 0; i < plane.byteSize; ++i) {
        if (m[i])
            p[i] = uint8_t(p[i] - p[i] * m[i] / 255);
    }
    return 1;
}
