// The raw temporary image that batch printing hands from one step to the next: u32 LE width,
// u32 LE height, then B, G, R bytes row by row from the top (no alpha).
#include "imaging/ImageBuffer.h"
#include "platform/Text.h"

#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenFile(const char16_t* path, const char* mode)
{
    if (!path)
        return nullptr;
    return File(std::fopen(platform::Utf16ToUtf8(path).c_str(), mode));
}

constexpr uint32_t kMaxRawSide = 65535;

} // namespace

int WriteRawImage8(const ImageBuffer8& image, const char16_t* path)
{
    if (!image.data || image.width <= 0 || image.height <= 0)
        return 0;
    File file = OpenFile(path, "wb");
    if (!file)
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
    if (std::fwrite(header, 1, 8, file.get()) != 8)
        return 0;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = image.data + size_t(y) * size_t(image.width) * 4;
        for (int x = 0; x < image.width; ++x) {
            row[size_t(x) * 3 + 0] = src[x * 4 + 0];
            row[size_t(x) * 3 + 1] = src[x * 4 + 1];
            row[size_t(x) * 3 + 2] = src[x * 4 + 2];
        }
        if (std::fwrite(row.get(), 1, rowBytes, file.get()) != rowBytes)
            return 0;
    }
    // A write that only fails when the buffer is flushed is still a failed write.
    return std::fclose(file.release()) == 0 ? 1 : 0;
}

int ReadRawImage8(ImageBuffer8& image, const char16_t* path)
{
    File file = OpenFile(path, "rb");
    if (!file)
        return 0;
    image.width = 0;
    image.height = 0;
    uint8_t header[8];
    if (std::fread(header, 1, 8, file.get()) != 8)
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
    const int64_t pixelBytes = int64_t(width) * height * 3;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return 0;
    const long fileSize = std::ftell(file.get());
    if (fileSize < 0 || int64_t(fileSize) - 8 < pixelBytes || std::fseek(file.get(), 8, SEEK_SET) != 0)
        return 0;
    if (!AllocImage8(image, int(width), int(height)))
        return 0;
    const size_t rowBytes = size_t(width) * 3;
    std::unique_ptr<uint8_t[]> row(AllocNoThrow(int64_t(rowBytes)));
    if (!row)
        return 0;
    for (uint32_t y = 0; y < height; ++y) {
        if (std::fread(row.get(), 1, rowBytes, file.get()) != rowBytes)
            return 0;
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
