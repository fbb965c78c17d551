#include "app/PluginExchange.h"

#include "imaging/DocStream.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace platform;

namespace {

uint16_t Clamp16(double v)
{
    if (!(v > 0))
        return 0;
    return v >= 65535 ? 65535 : uint16_t(v); // truncated
}

// sRGB-encoded sample -> linear.
struct DecodeTable {
    uint16_t v[65536];
    DecodeTable()
    {
        for (int s = 0; s < 65536; ++s) {
            const double x = s / 65535.0;
            const double y = x < 0.0404499 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
            v[s] = Clamp16(y * 65535);
        }
    }
};

// Linear -> sRGB-encoded sample, the same formula for every value, kept as a table.
struct EncodeTable {
    uint16_t v[65536];
    EncodeTable()
    {
        for (int s = 0; s < 65536; ++s) {
            const double x = s / 65535.0;
            const double y = x < 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
            v[s] = Clamp16(y * 65535);
        }
    }
};

const DecodeTable& Decode()
{
    static const DecodeTable table;
    return table;
}

const EncodeTable& Encode()
{
    static const EncodeTable table;
    return table;
}

constexpr size_t kHeaderBytes = 9;

} // namespace

Srgb16Pixel InternalToSrgb16(const uint16_t* bgra)
{
    const double b = bgra[0], g = bgra[1], r = bgra[2];
    const uint16_t r2 = Clamp16(r + (r - g) * 0.39832);
    const uint16_t b2 = Clamp16(b + (b - g) * 0.0429289);
    const EncodeTable& e = Encode();
    return {e.v[r2], e.v[bgra[1]], e.v[b2], bgra[3]};
}

int ReadPluginImage(const std::u16string& path, ImageBuffer16& image)
{
    FreeImageBuffer(image);
    const DecodeTable& d = Decode();
    File file;
    uint8_t head[kHeaderBytes];
    if (!file.Open(path, FileMode::Read) || !file.ReadExact(head, sizeof head))
        return 0;
    const uint64_t width = GetU32(head), height = GetU32(head + 4);
    const unsigned channels = head[8];
    if ((channels != 3 && channels != 4) || width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return 0;
    // Both below 2^31: the products below stay far inside 64 bits.
    const uint64_t pixels = width * height;
    if (pixels * 8 > UINT32_MAX) // what one ImageBuffer16 can hold
        return 0;
    const uint64_t rowBytes = width * channels * 2;
    const int64_t size = file.Size();
    if (size < 0 || uint64_t(size) < kHeaderBytes + rowBytes * height)
        return 0;
    if (!AllocImage16(image, int(width), int(height)))
        return 0;
    std::vector<uint8_t> row(rowBytes);
    for (uint64_t y = 0; y < height; ++y) {
        if (!file.ReadExact(row.data(), row.size())) {
            FreeImageBuffer(image);
            return 0;
        }
        uint16_t* out = image.data + y * width * 4;
        const uint8_t* in = row.data();
        for (uint64_t x = 0; x < width; ++x, in += channels * 2, out += 4) {
            const double r = d.v[GetU16(in)], g = d.v[GetU16(in + 2)], b = d.v[GetU16(in + 4)];
            out[0] = Clamp16(0.958839 * b + 0.041166 * g);
            out[1] = uint16_t(g);
            out[2] = Clamp16(0.715146 * r + 0.284856 * g);
            out[3] = channels == 4 ? GetU16(in + 6) : 0xFFFF;
        }
    }
    file.Close();
    // The host gets its picture back in a new file of this name.
    DeleteFile(path);
    return 1;
}

int WritePluginImage(const std::u16string& path, const ImageBuffer16& image)
{
    if (!image.data || image.width <= 0 || image.height <= 0)
        return 0;
    AtomicFileWriter writer;
    if (!writer.Open(path))
        return 0;
    uint8_t head[kHeaderBytes];
    PutU32(head, uint32_t(image.width));
    PutU32(head + 4, uint32_t(image.height));
    head[8] = 4;
    if (!writer.Write(head, sizeof head))
        return 0;
    std::vector<uint8_t> row(size_t(image.width) * 8);
    for (int y = 0; y < image.height; ++y) {
        const uint16_t* in = image.data + size_t(y) * image.width * 4;
        uint8_t* out = row.data();
        for (int x = 0; x < image.width; ++x, in += 4, out += 8) {
            const Srgb16Pixel p = InternalToSrgb16(in);
            PutU16(out, p.r);
            PutU16(out + 2, p.g);
            PutU16(out + 4, p.b);
            PutU16(out + 6, p.a);
        }
        if (!writer.Write(row.data(), row.size()))
            return 0;
    }
    return writer.Commit() ? 1 : 0;
}
