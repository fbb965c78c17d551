#include "raster/RasterICO.h"

#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"

#include <cstring>
#include <vector>

using namespace rasterio;

bool CRasterICO::Decode(CRasterStream* stream)
{
    // Every way out says why.
    auto fail = [this](const char* text) {
        SetLastError(text);
        return false;
    };
    if (!stream)
        return fail("Can't open icon for reading");
    uint8_t head[6];
    if (!ReadExact(stream, head, sizeof head) || U16(head) != 0 || U16(head + 2) != 1)
        return fail("Not an icon file");
    const uint32_t count = U16(head + 4);
    frameCount = static_cast<int32_t>(count);
    std::vector<uint8_t> dir(size_t(count) * 16);
    if (!ReadExact(stream, dir.data(), dir.size()))
        return fail("Error reading icon directory");
    if (frame < 0 || uint32_t(frame) >= count)
        return fail("Icon not present in file");
    const uint8_t* e = &dir[size_t(frame) * 16];
    // A size byte of 0 stands for 256.
    const int32_t width = e[0] ? e[0] : 256;
    const int32_t height = e[1] ? e[1] : 256;
    const uint32_t offset = U32(e + 12);

    // The bitmap's own info header knows the depth best; PNG-compressed entries are not bitmaps.
    uint8_t info[40];
    if (!stream->Seek(offset, 0) || !ReadExact(stream, info, sizeof info))
        return fail("Error reading icon image");
    if (std::memcmp(info, "\x89PNG", 4) == 0)
        return fail("Unsupported icon format (PNG)");
    const uint32_t infoSize = U32(info);
    if (infoSize < 40 || infoSize > 4096)
        return fail("Error reading icon image");
    // The rows are laid out by this depth: any other (2, 3, 16 bits ...) would be read as
    // another depth's rows and show as garbage, so it is refused. (The directory's colour count
    // and bit count are often 0 or wrong and do not count.)
    const uint32_t depth = U16(info + 14);
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32)
        return fail("Unsupported icon format");
    if (!Create(width, height, static_cast<int>(depth), RasterFormatICO))
        return fail("Can't allocate memory");
    if (!stream->Seek(int64_t(offset) + infoSize, 0))
        return fail("Error reading icon image");

    const uint32_t fileColours = U32(info + 32);
    uint32_t entries = PaletteCount();
    if (fileColours > 0 && fileColours < entries)
        entries = fileColours;
    if (entries && stream->Read(PaletteEntries(), 4, entries) != entries)
        return fail("Error reading icon image");
    for (uint32_t i = 0; i < entries; ++i)
        PaletteEntries()[i].rgbReserved = 0;

    const size_t pixelCount = size_t(width) * height;
    if (depth == 32) {
        std::vector<uint8_t> bgra(pixelCount * 4);
        const size_t got = stream->Read(bgra.data(), 1, bgra.size());
        if (!alpha && !CreateAlphaPlane())
            return fail("Can't allocate memory");
        for (size_t i = 0; i < got / 4; ++i) {
            uint8_t* px = pixels + (i / width) * rowStride + (i % width) * 3;
            std::memcpy(px, &bgra[i * 4], 3);
            alpha[i] = bgra[i * 4 + 3];
        }
    } else {
        stream->Read(pixels, 1, size_t(rowStride) * height);
    }

    // AND mask: a set bit makes the pixel transparent.
    const bool madeHere = !alpha;
    if (madeHere) {
        if (!CreateAlphaPlane())
            return fail("Can't allocate memory");
        SetAlphaValue(255);
    }
    const size_t maskStride = ((size_t(width) + 31) / 32) * 4;
    std::vector<uint8_t> mask(maskStride);
    bool anySet = false;
    for (int32_t y = 0; y < height; ++y) {
        if (stream->Read(mask.data(), 1, maskStride) != maskStride)
            break;
        for (int32_t x = 0; x < width; ++x)
            if ((mask[x / 8] >> (7 - x % 8)) & 1) {
                alpha[size_t(y) * width + x] = 0;
                anySet = true;
            }
    }
    if (madeHere && !anySet)
        DeleteAlphaPlane();
    return true;
}

bool CRasterICO::Encode(CRasterStream* stream)
{
    if (!stream || !dib)
        return false;
    const int32_t w = Width(), h = Height();
    if (w > 255 || h > 255) {
        SetLastError("Can't save this image as icon");
        return false;
    }
    const int bits = BitsPerPixel();
    if (bits <= 8 && PaletteCount() == 0)
        return false;
    const int fileBits = (bits == 24 && alpha) ? 32 : bits;
    const uint32_t paletteBytes = PaletteByteSize();
    const uint32_t pixelBytes = fileBits == 32 ? uint32_t(w) * h * 4 : rowStride * uint32_t(h);
    const uint32_t maskStride = ((uint32_t(w) + 31) / 32) * 4;
    const uint32_t maskBytes = maskStride * uint32_t(h);

    std::vector<uint8_t> out(6 + 16 + 40);
    Put16(&out[2], 1);
    Put16(&out[4], 1);
    uint8_t* e = &out[6];
    e[0] = static_cast<uint8_t>(w);
    e[1] = static_cast<uint8_t>(h);
    e[2] = static_cast<uint8_t>(PaletteCount());
    Put16(e + 6, uint32_t(fileBits));
    Put32(e + 8, 40 + paletteBytes + pixelBytes + maskBytes);
    Put32(e + 12, 22);
    uint8_t* info = &out[22];
    Put32(info, 40);
    Put32(info + 4, uint32_t(w));
    Put32(info + 8, uint32_t(h) * 2);
    Put16(info + 12, 1);
    Put16(info + 14, uint32_t(fileBits));
    Put32(info + 20, pixelBytes);
    const uint8_t* pal = reinterpret_cast<const uint8_t*>(PaletteEntries());
    if (paletteBytes)
        out.insert(out.end(), pal, pal + paletteBytes);
    if (fileBits == 32) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* px = Row(y) + x * 3;
                out.insert(out.end(), px, px + 3);
                out.push_back(alpha[size_t(y) * w + x]);
            }
    } else {
        out.insert(out.end(), pixels, pixels + pixelBytes);
    }
    const bool paletteAlpha = HasPaletteAlpha();
    const bool keyed = transparentIndex != -1;
    const RGBQUAD key = TransparentColour();
    for (int32_t y = 0; y < h; ++y) {
        std::vector<uint8_t> mask(maskStride, 0);
        for (int32_t x = 0; x < w; ++x) {
            bool clear = alpha && alpha[size_t(y) * w + x] == 0;
            if (!clear && paletteAlpha)
                clear = ReadPaletteEntry(ReadPixelIndex(x, y)).rgbReserved == 0;
            if (!clear && keyed) {
                const RGBQUAD c = ReadPixelColour(x, y);
                clear = c.rgbRed == key.rgbRed && c.rgbGreen == key.rgbGreen && c.rgbBlue == key.rgbBlue;
            }
            if (clear)
                mask[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), mask.begin(), mask.end());
    }
    Writer wr(stream);
    wr.Bytes(out);
    return wr.Ok();
}
