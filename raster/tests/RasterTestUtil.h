// Helpers for codec tests: a temporary folder, the oracle tools, raw pixel files.
#pragma once

#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace rastertest {

// ImageMagick by full path: /usr/local/bin/convert is not the real one.
inline const char* kConvert = "/usr/bin/convert";

class TempFolder {
public:
    TempFolder()
    {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() /
               ("zd_raster_" + std::to_string(getpid()) + "_" + (info ? info->name() : "x"));
        std::filesystem::create_directories(path);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

inline int Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool DecodeBytes(CRaster& image, std::vector<uint8_t> bytes, int code)
{
    CRasterMemStream stream(bytes.data(), bytes.size());
    return image.Decode(&stream, code);
}

inline std::vector<uint8_t> EncodeBytes(CRaster& image, int code)
{
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    if (!image.Encode(buffer, size, code))
        return {};
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// Pixels as an independent tool sees them: 8-bit RGBA, top row first.
struct Rgba {
    int width = 0, height = 0;
    std::vector<uint8_t> data;
    const uint8_t* At(int x, int yFromTop) const { return &data[(size_t(yFromTop) * width + x) * 4]; }
};

inline Rgba ConvertToRgba(const std::string& file, int width, int height, const std::string& options = "")
{
    Rgba out;
    std::string raw = file + ".rgba";
    if (Shell(std::string(kConvert) + " " + options + " '" + file + "' -depth 8 RGBA:'" + raw + "'") != 0)
        return out;
    out.data = ReadFile(raw);
    std::remove(raw.c_str());
    if (out.data.size() == size_t(width) * height * 4) {
        out.width = width;
        out.height = height;
    }
    return out;
}

// Reads a binary PPM (P6) or PGM (P5) as written by djpeg.
inline Rgba ReadPnm(const std::string& file)
{
    Rgba out;
    std::vector<uint8_t> bytes = ReadFile(file);
    if (bytes.size() < 2 || bytes[0] != 'P')
        return out;
    int channels = bytes[1] == '6' ? 3 : 1;
    size_t pos = 2;
    int values[3] = {0, 0, 0};
    for (int& v : values) {
        while (pos < bytes.size() && std::isspace(bytes[pos]))
            ++pos;
        while (pos < bytes.size() && std::isdigit(bytes[pos]))
            v = v * 10 + (bytes[pos++] - '0');
    }
    ++pos; // the single white-space byte after the maximum
    size_t n = size_t(values[0]) * values[1];
    if (bytes.size() < pos + n * channels)
        return out;
    out.width = values[0];
    out.height = values[1];
    out.data.resize(n * 4);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = &bytes[pos + i * channels];
        out.data[i * 4 + 0] = p[0];
        out.data[i * 4 + 1] = channels == 3 ? p[1] : p[0];
        out.data[i * 4 + 2] = channels == 3 ? p[2] : p[0];
        out.data[i * 4 + 3] = 255;
    }
    return out;
}

// The largest difference of red, green, blue (and alpha when asked) over the picture.
inline int MaxDifference(const CRaster& image, const Rgba& expected, bool withAlpha = false)
{
    if (image.Width() != expected.width || image.Height() != expected.height)
        return 1000;
    int worst = 0;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) {
            RGBQUAD c = image.ReadPixelColour(x, image.Height() - 1 - y);
            const uint8_t* e = expected.At(x, y);
            int d = std::max({std::abs(c.rgbRed - e[0]), std::abs(c.rgbGreen - e[1]), std::abs(c.rgbBlue - e[2])});
            if (withAlpha) {
                int a = image.alpha ? image.GetAlphaValue(x, image.Height() - 1 - y) : 255;
                // Colours under full transparency are nobody's business.
                d = a == 0 && e[3] == 0 ? 0 : std::max(d, std::abs(a - e[3]));
            }
            worst = std::max(worst, d);
        }
    return worst;
}

// A picture with edges, gradients and noise, so codec faults show in the pixels.
inline void FillPattern(CRaster& image, unsigned seed = 1)
{
    uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            state = state * 1664525u + 1013904223u;
            if (image.PaletteCount()) {
                image.WritePixelIndex(x, y, uint8_t((x * 7 + y * 3 + (state >> 29)) % image.PaletteCount()));
            } else {
                RGBQUAD c{uint8_t(x * 255 / std::max(1, image.Width() - 1)),
                          uint8_t(y * 255 / std::max(1, image.Height() - 1)),
                          uint8_t((x / 4 + y / 4) % 2 ? 220 : 30), 0};
                image.WritePixelColour(x, y, c);
            }
        }
}

inline void PutLe16(std::vector<uint8_t>& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void PutLe32(std::vector<uint8_t>& b, uint32_t v)
{
    PutLe16(b, uint16_t(v));
    PutLe16(b, uint16_t(v >> 16));
}

// A few hundred bytes of TIFF whose directory claims an RGB picture of width x height in one
// uncompressed strip of 64 bytes.
inline std::vector<uint8_t> TinyTiffClaiming(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> b = { 'I', 'I', 42, 0 };
    PutLe32(b, 8);
    struct Entry { uint16_t tag, type; uint32_t count, value; };
    const uint32_t bitsAt = 8 + 2 + 10 * 12 + 4, stripAt = bitsAt + 8;
    const Entry entries[] = {
        { 256, 4, 1, width }, { 257, 4, 1, height }, { 258, 3, 3, bitsAt }, { 259, 3, 1, 1 }, { 262, 3, 1, 2 },
        { 273, 4, 1, stripAt }, { 277, 3, 1, 3 }, { 278, 4, 1, height }, { 279, 4, 1, 64 }, { 284, 3, 1, 1 },
    };
    PutLe16(b, 10);
    for (const Entry& e : entries) {
        PutLe16(b, e.tag);
        PutLe16(b, e.type);
        PutLe32(b, e.count);
        PutLe32(b, e.value);
    }
    PutLe32(b, 0);
    for (int i = 0; i < 3; ++i)
        PutLe16(b, 8);
    PutLe16(b, 0);
    b.resize(b.size() + 64, 0x80);
    return b;
}

// A real JPEG whose frame header is changed to claim width x height.
inline std::vector<uint8_t> JpegClaiming(std::vector<uint8_t> jpeg, uint16_t width, uint16_t height)
{
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = uint8_t(height >> 8);
            jpeg[i + 6] = uint8_t(height);
            jpeg[i + 7] = uint8_t(width >> 8);
            jpeg[i + 8] = uint8_t(width);
            break;
        }
    return jpeg;
}

} // namespace rastertest
