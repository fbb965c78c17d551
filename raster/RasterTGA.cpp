#include "raster/RasterTGA.h"

#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"

#include <cstring>

using namespace rasterio;

namespace {

// Reads the stream through a small buffer; Get() returns false once the data is used up.
class BufferedIn {
public:
    explicit BufferedIn(CRasterStream* stream) : s(stream) {}
    bool Get(uint8_t* out, size_t n)
    {
        for (size_t i = 0; i < n; ++i) {
            if (pos == fill) {
                fill = s->Read(buf, 1, sizeof buf);
                pos = 0;
                if (fill == 0)
                    return false;
            }
            out[i] = buf[pos++];
        }
        return true;
    }

private:
    CRasterStream* s;
    uint8_t buf[16384];
    size_t pos = 0, fill = 0;
};

} // namespace

bool CRasterTGA::Decode(CRasterStream* stream)
{
    if (!stream)
        return false;
    uint8_t h[18];
    if (!ReadExact(stream, h, sizeof h)) {
        SetLastError("Not a TGA");
        return false;
    }
    const uint8_t idLength = h[0], mapType = h[1], imageType = h[2];
    const uint16_t mapFirst = U16(h + 3), mapLength = U16(h + 5);
    const uint8_t mapEntryBits = h[7];
    const int32_t width = U16(h + 12), height = U16(h + 14);
    const uint8_t depth = h[16], descriptor = h[17];
    const bool rle = imageType >= 9;
    const int baseType = rle ? imageType - 8 : imageType;
    if (imageType < 1 || (imageType > 3 && imageType < 9) || imageType > 11) {
        SetLastError("Unknown TGA image type");
        return false;
    }
    // Colour-mapped and grey pictures carry 8-bit indexes; true colour 15 to 32 bits.
    const bool depthOk = baseType == 2 ? (depth == 15 || depth == 16 || depth == 24 || depth == 32) : depth == 8;
    if (!depthOk || width == 0 || height == 0 || (mapType == 1 && mapEntryBits != 15 && mapEntryBits != 16 &&
                                                  mapEntryBits != 24 && mapEntryBits != 32)) {
        SetLastError("corrupted TGA");
        return false;
    }
    // 8-bit indexes cannot reach a colour map that starts at entry 256 or later: such a picture
    // has no colours to show.
    if (baseType == 1 && mapType == 1 && mapFirst >= 256) {
        SetLastError("Unsupported TGA colour map");
        return false;
    }
    if (!stream->Seek(idLength, 1)) {
        SetLastError("corrupted TGA");
        return false;
    }
    if (!Create(width, height, depth, RasterFormatTGA)) {
        SetLastError("TGA Create failed");
        return false;
    }
    const bool hasAlpha = depth == 16 || depth == 32;
    if (hasAlpha && !CreateAlphaPlane()) {
        SetLastError("TGA Create failed");
        return false;
    }
    if (EscapeRequested()) {
        SetLastError("Cancelled");
        return false;
    }

    BufferedIn in(stream);
    auto word16 = [](const uint8_t* p, uint8_t alphaBits) {
        const uint16_t w = U16(p);
        RGBQUAD c{static_cast<uint8_t>((w & 0x1F) << 3), static_cast<uint8_t>((w >> 2) & 0xF8),
                  static_cast<uint8_t>((w >> 7) & 0xF8), 0};
        // The attribute bit is alpha only when the descriptor says the pixel has one.
        c.rgbReserved = alphaBits ? ((w & 0x8000) ? 255 : 0) : 255;
        return c;
    };

    // The colour map, read by its own entry size; only the first 256 entries can be used.
    if (mapType == 1) {
        const size_t entryBytes = (mapEntryBits + 7) / 8;
        RGBQUAD* pal = depth == 8 ? PaletteEntries() : nullptr;
        for (uint32_t i = 0; i < mapLength; ++i) {
            uint8_t e[4];
            if (!in.Get(e, entryBytes)) {
                SetLastError("corrupted TGA");
                return false;
            }
            const uint32_t index = mapFirst + i;
            if (!pal || index >= 256)
                continue;
            pal[index] = entryBytes == 2 ? word16(e, 0) : RGBQUAD{e[0], e[1], e[2], 0};
            pal[index].rgbReserved = 0;
        }
    }
    if (baseType == 3)
        MakeGreyPalette();

    const size_t pixelBytes = (depth + 7) / 8;
    const uint8_t alphaBits = descriptor & 0x0F;
    const bool topOrigin = descriptor & 0x20;
    std::vector<uint8_t> line(static_cast<size_t>(width) * pixelBytes);
    // Run-length packets may run on into the next row.
    int packetLeft = 0;
    bool packetRepeat = false;
    uint8_t packetValue[4] = {};
    for (int32_t i = 0; i < height; ++i) {
        if (EscapeRequested()) {
            SetLastError("Cancelled");
            return false;
        }
        bool ok = true;
        if (!rle) {
            ok = in.Get(line.data(), line.size());
        } else {
            for (int32_t x = 0; x < width && ok; ++x) {
                if (packetLeft == 0) {
                    uint8_t head;
                    if (!(ok = in.Get(&head, 1)))
                        break;
                    packetRepeat = head & 0x80;
                    packetLeft = (head & 0x7F) + 1;
                    if (packetRepeat && !(ok = in.Get(packetValue, pixelBytes)))
                        break;
                }
                uint8_t* dst = &line[static_cast<size_t>(x) * pixelBytes];
                if (packetRepeat)
                    std::memcpy(dst, packetValue, pixelBytes);
                else if (!(ok = in.Get(dst, pixelBytes)))
                    break;
                --packetLeft;
            }
        }
        if (!ok) {
            SetLastError("corrupted TGA");
            return false;
        }
        const int32_t y = topOrigin ? height - 1 - i : i;
        uint8_t* row = Row(y);
        uint8_t* a = alpha ? alpha + static_cast<size_t>(y) * width : nullptr;
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = &line[static_cast<size_t>(x) * pixelBytes];
            switch (pixelBytes) {
            case 1:
                row[x] = p[0];
                break;
            case 2: {
                const RGBQUAD c = word16(p, alphaBits);
                row[x * 3] = c.rgbBlue;
                row[x * 3 + 1] = c.rgbGreen;
                row[x * 3 + 2] = c.rgbRed;
                if (a)
                    a[x] = c.rgbReserved;
                break;
            }
            default:
                std::memcpy(row + x * 3, p, 3);
                if (a)
                    a[x] = p[3];
                break;
            }
        }
    }
    if ((descriptor & 0x10) && !Mirror()) {
        SetLastError("TGA Create failed");
        return false;
    }
    return true;
}

bool CRasterTGA::Encode(CRasterStream* stream)
{
    if (!stream || !dib)
        return false;
    const int bpp = BitsPerPixel();
    if (bpp < 8) {
        SetLastError("Bit depth must be 8 or 24");
        return false;
    }
    const bool withAlpha = bpp == 24 && alpha;
    const int32_t w = Width(), h = Height();
    uint8_t hd[18] = {};
    hd[1] = PaletteCount() ? 1 : 0;
    hd[2] = bpp == 8 ? 1 : 2;
    if (bpp == 8) {
        Put16(hd + 5, 256);
        hd[7] = 24;
    }
    Put16(hd + 12, static_cast<uint32_t>(w));
    Put16(hd + 14, static_cast<uint32_t>(h));
    hd[16] = withAlpha ? 32 : static_cast<uint8_t>(bpp);
    // Sizes above 65535 do not fit the header.
    if (w > 0xFFFF || h > 0xFFFF)
        return false;
    Writer out(stream);
    out.Bytes(hd, sizeof hd);
    if (bpp == 8) {
        uint8_t map[256 * 3] = {};
        const RGBQUAD* pal = PaletteEntries();
        for (uint32_t i = 0; i < 256 && i < PaletteCount(); ++i) {
            map[i * 3] = pal[i].rgbBlue;
            map[i * 3 + 1] = pal[i].rgbGreen;
            map[i * 3 + 2] = pal[i].rgbRed;
        }
        out.Bytes(map, sizeof map);
    }
    std::vector<uint8_t> line;
    for (int32_t y = 0; y < h && out.Good(); ++y) {
        const uint8_t* row = Row(y);
        if (!withAlpha) {
            out.Bytes(row, static_cast<size_t>(w) * (bpp / 8));
            continue;
        }
        line.resize(static_cast<size_t>(w) * 4);
        const uint8_t* a = alpha + static_cast<size_t>(y) * w;
        for (int32_t x = 0; x < w; ++x) {
            std::memcpy(&line[x * 4], row + x * 3, 3);
            line[x * 4 + 3] = static_cast<uint8_t>(a[x] * alphaMax / 255);
        }
        out.Bytes(line);
    }
    return out.Ok();
}
