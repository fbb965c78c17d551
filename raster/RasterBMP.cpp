#include "raster/RasterBMP.h"

#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"

#include <cmath>
#include <cstring>

using namespace rasterio;

namespace {

// One channel of a bit-field pixel: the mask's bits moved to the top of a byte (a 6-bit green of
// 63 gives 252). Positions come from the mask itself, so any order and width is safe.
struct FieldChannel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit FieldChannel(uint32_t m) : mask(m)
    {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        while (bits + shift < 32 && ((m >> (shift + bits)) & 1))
            ++bits;
    }
    uint8_t Value(uint32_t pixel) const
    {
        if (!bits)
            return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<uint8_t>(v >> (bits - 8));
        return static_cast<uint8_t>(v << (8 - bits));
    }
};

// Info-header sizes beyond the ones in use are still read, but nothing this large is a bitmap.
constexpr uint32_t kMaxInfoSize = 4096;

} // namespace

void BmpExpandRle(const uint8_t* data, size_t size, int bpp, uint8_t* pixels, uint32_t rowStride,
                  int32_t width, int32_t height)
{
    int64_t x = 0, row = 0;
    size_t i = 0;
    auto put = [&](int64_t px, uint8_t value) {
        if (px < 0 || px >= width || row < 0 || row >= height)
            return;
        uint8_t* line = pixels + static_cast<size_t>(row) * rowStride;
        if (bpp == 8) {
            line[px] = value;
        } else {
            uint8_t& b = line[px >> 1];
            b = (px & 1) ? static_cast<uint8_t>((b & 0xF0) | (value & 0x0F))
                         : static_cast<uint8_t>((b & 0x0F) | (value << 4));
        }
    };
    while (i + 1 < size) {
        const uint8_t count = data[i++];
        const uint8_t code = data[i++];
        if (count > 0) {
            for (int k = 0; k < count; ++k, ++x)
                put(x, bpp == 8 ? code : ((k & 1) ? code & 0x0F : code >> 4));
            continue;
        }
        if (code == 0) {
            ++row;
            x = 0;
        } else if (code == 1) {
            return;
        } else if (code == 2) {
            if (i + 1 >= size)
                return;
            x += data[i++];
            row += data[i++];
        } else {
            // Absolute run of `code` pixels, padded to a 16-bit boundary.
            const size_t bytes = bpp == 8 ? code : (code + 1) / 2;
            for (int k = 0; k < code; ++k, ++x) {
                const size_t at = i + (bpp == 8 ? k : k / 2);
                if (at >= size)
                    return;
                put(x, bpp == 8 ? data[at] : ((k & 1) ? data[at] & 0x0F : data[at] >> 4));
            }
            i += bytes + (bytes & 1);
        }
    }
}

bool CRasterBMP::Decode(CRasterStream* stream)
{
    if (!stream)
        return false;
    const int64_t start = stream->Tell();
    uint8_t fileHeader[14];
    const size_t got = stream->Read(fileHeader, 1, sizeof fileHeader);
    if (got == 0) {
        SetLastError("Not a BMP");
        return false;
    }
    uint32_t pixelOffset = 0;
    if (got == sizeof fileHeader && fileHeader[0] == 'B' && fileHeader[1] == 'M') {
        pixelOffset = U32(fileHeader + 10);
    } else if (!stream->Seek(start, 0)) {
        SetLastError("Not a BMP");
        return false;
    }

    // Info header: 12-byte core form or 40 bytes and more.
    const int64_t infoStart = stream->Tell();
    uint8_t info[40] = {};
    if (!ReadExact(stream, info, 4)) {
        SetLastError("Error reading BMP info");
        return false;
    }
    const uint32_t infoSize = U32(info);
    int64_t width, height;
    uint32_t planes, bitCount, compression = 0, clrUsed = 0;
    int32_t xPels = 0, yPels = 0;
    bool core = false;
    if (infoSize == 12) {
        core = true;
        if (!ReadExact(stream, info + 4, 8)) {
            SetLastError("Error reading BMP info");
            return false;
        }
        width = I16(info + 4);
        height = I16(info + 6);
        planes = U16(info + 8);
        bitCount = U16(info + 10);
    } else {
        if (infoSize < 40 || infoSize > kMaxInfoSize || !ReadExact(stream, info + 4, 36)) {
            SetLastError("Error reading BMP info");
            return false;
        }
        width = I32(info + 4);
        height = I32(info + 8);
        planes = U16(info + 12);
        bitCount = U16(info + 14);
        compression = U32(info + 16);
        xPels = I32(info + 24);
        yPels = I32(info + 28);
        clrUsed = U32(info + 32);
    }
    (void)planes;
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    const bool knownDepth = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
                            bitCount == 24 || bitCount == 32;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX || !knownDepth) {
        SetLastError("Error reading BMP info");
        return false;
    }

    // Where the pixels start, and whether the file holds as many as the header announces: a small
    // file announcing a huge picture is refused before anything is allocated for it.
    const bool fieldMasks = (bitCount == 16 || bitCount == 32) && (compression == 3 || compression == 6);
    const uint32_t maskBytes = compression == 6 || infoSize >= 56 ? 16 : 12;
    const int64_t afterInfo = infoStart + infoSize + (fieldMasks && infoSize == 40 ? maskBytes : 0);
    const uint32_t entrySize = core ? 3 : 4;
    const uint64_t fileEntries = bitCount <= 8 && clrUsed == 0 ? (1u << bitCount) : clrUsed;
    if (compression == 0 || fieldMasks) {
        const uint64_t fileStride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
        const int64_t streamSize = stream->Size();
        const int64_t dataStart = pixelOffset != 0 ? start + pixelOffset
                                                   : afterInfo + static_cast<int64_t>(fileEntries) * entrySize;
        // Pictures too large for a block are refused by Create below, as before.
        const bool fitsBlock = static_cast<uint64_t>(height) <= CRaster::MaxBlockBytes.load() / fileStride;
        if (fitsBlock && streamSize >= 0 &&
            (dataStart > streamSize ||
             static_cast<uint64_t>(streamSize - dataStart) < fileStride * static_cast<uint64_t>(height))) {
            SetLastError("Error reading BMP data");
            return false;
        }
    }

    if (!Create(static_cast<int32_t>(width), static_cast<int32_t>(height), static_cast<int>(bitCount),
                RasterFormatBMP)) {
        SetLastError("Can't allocate memory");
        return false;
    }
    header.biXPelsPerMeter = xPels;
    header.biYPelsPerMeter = yPels;
    std::memcpy(dib, &header, sizeof header);
    xDpi = static_cast<int32_t>(std::floor(xPels * 254.0 / 10000.0 + 0.5));
    yDpi = static_cast<int32_t>(std::floor(yPels * 254.0 / 10000.0 + 0.5));
    if (EscapeRequested()) {
        SetLastError("Cancelled");
        return false;
    }

    // Bit-field masks sit right after the first 40 bytes of the info header; the alpha mask
    // follows them in the larger headers (V4, V5) and with alpha bit fields.
    uint32_t masks[4] = {0x7C00, 0x3E0, 0x1F, 0};
    if (fieldMasks) {
        uint8_t m[16];
        if (!stream->Seek(infoStart + 40, 0) || !ReadExact(stream, m, maskBytes)) {
            SetLastError("Error reading BMP info");
            return false;
        }
        for (uint32_t k = 0; k < maskBytes / 4; ++k)
            masks[k] = U32(m + 4 * k);
    } else if (bitCount == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
    }
    if (masks[3] && !CreateAlphaPlane()) {
        SetLastError("Can't allocate memory");
        return false;
    }

    // Palette right after the info header; entries beyond the image's are skipped.
    if (!stream->Seek(afterInfo, 0)) {
        SetLastError("Error reading BMP info");
        return false;
    }
    if (bitCount <= 8) {
        const uint32_t take = fileEntries < PaletteCount() ? static_cast<uint32_t>(fileEntries) : PaletteCount();
        std::vector<uint8_t> raw(static_cast<size_t>(take) * entrySize);
        const size_t n = stream->Read(raw.data(), entrySize, take);
        RGBQUAD* pal = PaletteEntries();
        for (size_t k = 0; k < n; ++k)
            pal[k] = RGBQUAD{raw[k * entrySize], raw[k * entrySize + 1], raw[k * entrySize + 2], 0};
        if (EscapeRequested()) {
            SetLastError("Cancelled");
            return false;
        }
    }
    if (pixelOffset != 0) {
        if (!stream->Seek(start + pixelOffset, 0))
            return true;  // no pixel data: the picture stays cleared
    } else if (fileEntries > 0) {
        stream->Seek(afterInfo + static_cast<int64_t>(fileEntries) * entrySize, 0);
    }

    const uint64_t imageBytes = static_cast<uint64_t>(rowStride) * header.biHeight;
    const int32_t w = header.biWidth, h = header.biHeight;
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
        if (compression == 0) {
            stream->Read(pixels, 1, static_cast<size_t>(imageBytes));
        } else if ((compression == 1 && bitCount == 8) || (compression == 2 && bitCount == 4)) {
            // A run-length stream is at most about twice its picture; anything longer is junk.
            std::vector<uint8_t> data = ReadRest(stream, imageBytes * 2 + 4096 + 2ull * h);
            BmpExpandRle(data.data(), data.size(), bitCount, pixels, rowStride, w, h);
        } else {
            SetLastError("compression type not supported");
            return false;
        }
        break;
    case 16:
    case 32: {
        if (compression != 0 && compression != 3 && compression != 6) {
            SetLastError("unknown compression");
            return false;
        }
        const size_t bytesPer = bitCount / 8;
        const size_t srcStride = bitCount == 16 ? ((static_cast<size_t>(w) + 1) / 2) * 4 : static_cast<size_t>(w) * 4;
        std::vector<uint8_t> line;
        line.resize(srcStride);
        const FieldChannel red(masks[0]), green(masks[1]), blue(masks[2]), opacity(masks[3]);
        for (int32_t y = 0; y < h; ++y) {
            std::memset(line.data(), 0, srcStride);
            if (stream->Read(line.data(), 1, srcStride) == 0)
                break;
            uint8_t* out = Row(y);
            uint8_t* a = alpha ? alpha + static_cast<size_t>(y) * static_cast<size_t>(w) : nullptr;
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = &line[x * bytesPer];
                const uint32_t v = bytesPer == 2 ? U16(p) : U32(p);
                out[x * 3] = blue.Value(v);
                out[x * 3 + 1] = green.Value(v);
                out[x * 3 + 2] = red.Value(v);
                if (a)
                    a[x] = opacity.bits >= 8 ? opacity.Value(v)
                                             : static_cast<uint8_t>(((v & opacity.mask) >> opacity.shift) * 255 /
                                                                    ((1u << opacity.bits) - 1));
            }
        }
        break;
    }
    case 24:
        if (compression != 0) {
            SetLastError("unknown compression");
            return false;
        }
        stream->Read(pixels, 1, static_cast<size_t>(imageBytes));
        break;
    }
    if (topDown && !Flip()) {
        SetLastError("Can't allocate memory");
        return false;
    }
    return true;
}

bool CRasterBMP::Encode(CRasterStream* stream)
{
    if (!stream || !dib)
        return false;
    std::memcpy(dib, &header, sizeof header);
    const uint32_t fileSize = BlockSize() + 14;
    uint8_t fileHeader[14] = {'B', 'M'};
    Put32(fileHeader + 2, fileSize);
    Put32(fileHeader + 10, 14 + 40 + PaletteByteSize());
    Writer out(stream);
    out.Bytes(fileHeader, sizeof fileHeader);
    out.Bytes(dib, BlockSize());
    return out.Ok();
}
