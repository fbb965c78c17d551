// The raw temporary image that batch printing hands from one step to the next: u32 LE width,
// u32 LE height, then B, G, R bytes row by row from the top (no alpha).
#include "imaging/ImageBuffer.h"
#include "platform/File.h"

#include <memory>

namespace {

constexpr uint32_t kMaxRawSide = 65535;

} // namespace

int WriteRawImage8(const ImageBuffer8& image, const char16_t* path)
{
    if (!image.data || image.width <= 0 || image.height <= 0 || !path)
        return 0;
    platform::File file;
    if (!file.Open(path, platform::FileMode::CreateAlways))
        return 0;
    const size_t rowBytes = size_t(image.width) * 3;
    std::unique_ptr<uint8_t[]> row(AllocNoThrow(int64_t(rowBytes)));
    if (!row)
        return 0;
    uint8_t header[8];
    for (int i = 0; i < 4; ++i) {
        header[i] = uint8_t(uint32_t(image.width) >> (8 * i));
        header[4 + i] = uint8_t(uint32_t(image.height) >> (8 * i));
    }
    if (!file.Write(header, 8))
        return 0;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = image.data + size_t(y) * size_t(image.width) * 4;
        for (int x = 0; x < image.width; ++x) {
            row[size_t(x) * 3 + 0] = src[x * 4 + 0];
            row[size_t(x) * 3 + 1] = src[x * 4 + 1];
            row[size_t(x) * 3 + 2] = src[x * 4 + 2];
        }
        if (!file.Write(row.get(), rowBytes))
            return 0;
    }
    // A close that reports an error is a failed write.
    return file.Close() ? 1 : 0;
}

int ReadRawImage8(ImageBuffer8& image, const char16_t* path)
{
    platform::File file;
    if (!path || !file.Open(path, platform::FileMode::Read))
        return 0;
    // Whatever the record held is gone; a failed read leaves it empty rather than a record
    // whose size no longer matches its pixels.
    FreeImageBuffer(image);
    uint8_t header[8];
    if (!file.ReadExact(header, 8))
        return 0;
    uint32_t width = 0;
    uint32_t height = 0;
    for (int i = 0; i < 4; ++i) {
        width |= uint32_t(header[i]) << (8 * i);
        height |= uint32_t(header[4 + i]) << (8 * i);
    }
    if (width == 0 || height == 0 || width > kMaxRawSide || height > kMaxRawSide)
        return 0;
    // A header that promises more rows than the file holds is refused before the image is
    // allocated, so a damaged file cannot ask for gigabytes.
    const int64_t fileSize = file.Size();
    if (fileSize < 0 || fileSize - 8 < int64_t(width) * height * 3)
        return 0;
    if (!AllocImage8(image, int(width), int(height)))
        return 0;
    const size_t rowBytes = size_t(width) * 3;
    std::unique_ptr<uint8_t[]> row(AllocNoThrow(int64_t(rowBytes)));
    if (!row) {
        FreeImageBuffer(image);
        return 0;
    }
    for (uint32_t y = 0; y < height; ++y) {
        if (!file.ReadExact(row.get(), rowBytes)) {
            FreeImageBuffer(image);
            return 0;
        }
        uint8_t* dst = image.data + size_t(y) * size_t(width) * 4;
        for (uint32_t x = 0; x < width; ++x) {
            dst[x * 4 + 0] = row[size_t(x) * 3 + 0];
            dst[x * 4 + 1] = row[size_t(x) * 3 + 1];
            dst[x * 4 + 2] = row[size_t(x) * 3 + 2];
            dst[x * 4 + 3] = 255;
        }
    }
    return 1;
}
