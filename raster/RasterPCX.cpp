#include "raster/RasterPCX.h"

#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"

#include <cstring>

using namespace rasterio;

namespace {

class BufferedIn {
public:
    explicit BufferedIn(CRasterStream* stream) : s(stream) {}
    int Get()
    {
        if (pos == fill) {
            fill = s->Read(buf, 1, sizeof buf);
            pos = 0;
            if (fill == 0)
                return -1;
        }
        return buf[pos++];
    }

private:
    CRasterStream* s;
    uint8_t buf[16384];
    size_t pos = 0, fill = 0;
};

void WriteRun(std::vector<uint8_t>& out, uint8_t value, int count)
{
    if (count == 1 && value < 0xC0) {
        out.push_back(value);
    } else {
        out.push_back(static_cast<uint8_t>(0xC0 + count));
        out.push_back(value);
    }
}

} // namespace

void PrasterPackValue(std::vector<uint8_t>& out, int value, PcxPackState& st)
{
    if (value != st.last && st.count > 0) {
        WriteRun(out, static_cast<uint8_t>(st.last), st.count);
        st.count = 0;
    }
    if (st.count == 63) {
        out.push_back(0xFF);
        out.push_back(static_cast<uint8_t>(value));
        st.count = 0;
    }
    if (value == -2)
        out.push_back(0);
    st.last = value < 0 ? static_cast<uint8_t>(value) : value;
    ++st.count;
}

void PrasterPackPlane(std::vector<uint8_t>& out, const uint8_t* bytes, size_t length)
{
    size_t i = 0;
    while (i < length) {
        size_t run = 1;
        while (i + run < length && run < 63 && bytes[i + run] == bytes[i])
            ++run;
        WriteRun(out, bytes[i], static_cast<int>(run));
        i += run;
    }
}

bool CRasterPCX::Decode(CRasterStream* stream)
{
    if (!stream)
        return false;
    uint8_t h[128];
    if (!ReadExact(stream, h, sizeof h)) {
        SetLastError("Can't read PCX image");
        return false;
    }
    if (h[0] != 10) {
        SetLastError("Error: Not a PCX file");
        return false;
    }
    if (h[2] != 1) {
        SetLastError("PCX file has unknown encoding scheme");
        return false;
    }
    const int bpp = h[3];
    const int64_t width = int64_t(U16(h + 8)) - U16(h + 4) + 1;
    const int64_t height = int64_t(U16(h + 10)) - U16(h + 6) + 1;
    const int planes = h[65];
    const uint32_t bytesPerLine = U16(h + 66);
    xDpi = U16(h + 12);
    yDpi = U16(h + 14);
    if (planes > 4) {
        SetLastError("Can't handle image with more than 4 planes");
        return false;
    }
    const bool colour = bpp == 8 && (planes == 3 || planes == 4);
    const bool planar = !colour && planes > 1;
    if (planar && bpp > 1) {
        SetLastError("Can't handle more than 1 bit per pixel");
        return false;
    }
    // Each plane line must hold a whole row of pixels.
    const bool bppOk = bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8;
    if (width <= 0 || height <= 0 || planes < 1 || !bppOk ||
        uint64_t(bytesPerLine) * 8 < uint64_t(width) * bpp) {
        SetLastError("corrupted PCX");
        return false;
    }
    const int imageBits = colour ? 24 : planar ? 4 : bpp;
    if (!Create(static_cast<int32_t>(width), static_cast<int32_t>(height), imageBits, RasterFormatPCX) ||
        (planes == 4 && colour && !CreateAlphaPlane())) {
        SetLastError("Can't allocate memory");
        return false;
    }
    SetHorizontalDpi(U16(h + 12));
    SetVerticalDpi(U16(h + 14));
    if (EscapeRequested()) {
        SetLastError("Cancelled");
        return false;
    }

    // Expand line by line; a run may carry over into the next line but not past the image.
    BufferedIn in(stream);
    const size_t lineBytes = size_t(planes) * bytesPerLine;
    uint64_t left = uint64_t(lineBytes) * height;
    std::vector<uint8_t> line(lineBytes);
    int pendingCount = 0;
    uint8_t pendingValue = 0;
    const int32_t w = Width();
    for (int32_t y = 0; y < height; ++y) {
        for (size_t i = 0; i < lineBytes;) {
            if (pendingCount > 0) {
                line[i++] = pendingValue;
                --pendingCount;
                continue;
            }
            const int b = in.Get();
            if (b < 0) {
                SetLastError("corrupted PCX");
                return false;
            }
            if (b <= 0xBF) {
                line[i++] = static_cast<uint8_t>(b);
                --left;
                continue;
            }
            const int v = in.Get();
            if (v < 0) {
                SetLastError("corrupted PCX");
                return false;
            }
            pendingCount = b & 0x3F;
            if (uint64_t(pendingCount) > left) {
                SetLastError("repeat count spans end of image");
                return false;
            }
            left -= pendingCount;
            pendingValue = static_cast<uint8_t>(v);
        }
        uint8_t* row = Row(static_cast<int32_t>(height - 1 - y));
        if (colour) {
            const uint8_t* r = line.data();
            const uint8_t* g = r + bytesPerLine;
            const uint8_t* b = g + bytesPerLine;
            for (int32_t x = 0; x < w; ++x) {
                row[x * 3] = b[x];
                row[x * 3 + 1] = g[x];
                row[x * 3 + 2] = r[x];
            }
            if (planes == 4)
                std::memcpy(alpha + size_t(height - 1 - y) * w, b + bytesPerLine, w);
        } else if (!planar) {
            if (bpp == 2) {
                for (int32_t x = 0; x < w; ++x)
                    WritePixelIndex(x, height - 1 - y, (line[x / 4] >> (6 - 2 * (x % 4))) & 3);
            } else {
                // 1, 4 and 8 bits are packed the same way as the picture's own rows.
                const size_t bytes = (size_t(w) * bpp + 7) / 8;
                std::memcpy(row, line.data(), bytes);
            }
        } else {
            for (int32_t x = 0; x < w; ++x) {
                uint8_t index = 0;
                for (int p = 0; p < planes; ++p)
                    index |= ((line[p * bytesPerLine + x / 8] >> (7 - x % 8)) & 1) << p;
                WritePixelIndex(x, height - 1 - y, index);
            }
        }
    }

    // Palette: the header's 16 colours, the 256 after the data for 8-bit, black and white for 1-bit.
    if (!colour) {
        if (bpp == 8) {
            int marker = in.Get();
            uint8_t map[768];
            bool ok = marker == 12;
            for (size_t i = 0; ok && i < sizeof map; ++i) {
                const int c = in.Get();
                ok = c >= 0;
                map[i] = static_cast<uint8_t>(c);
            }
            if (!ok) {
                SetLastError("bad color map signature");
                return false;
            }
            ReplacePalette(map, 256);
        } else if (bpp == 1 && planes == 1) {
            WritePaletteEntry(0, 0, 0, 0);
            WritePaletteEntry(1, 255, 255, 255);
        } else {
            ReplacePalette(h + 16, 16);
        }
    }
    return true;
}

bool CRasterPCX::Encode(CRasterStream* stream)
{
    if (!stream || !dib)
        return false;
    const int bits = BitsPerPixel();
    const int32_t w = Width(), h = Height();
    if (w > 0x10000 || h > 0x10000)
        return false;
    const bool wide = bits >= 8;
    const bool hasPalette = PaletteCount() > 0;
    int planes;
    if (wide)
        planes = hasPalette ? 1 : (alpha ? 4 : 3);
    else
        planes = PaletteCount() == 16 ? 4 : 1;
    uint32_t bytesPerLine = wide ? uint32_t(w) : (uint32_t(w) + 7) / 8;
    bytesPerLine += bytesPerLine & 1;

    uint8_t hd[128] = {};
    hd[0] = 10;
    hd[1] = 5;
    hd[2] = 1;
    hd[3] = wide ? 8 : 1;
    Put16(hd + 8, uint32_t(w - 1));
    Put16(hd + 10, uint32_t(h - 1));
    Put16(hd + 12, uint32_t(xDpi));
    Put16(hd + 14, uint32_t(yDpi));
    if (bits == 1) {
        std::memset(hd + 19, 255, 3);
    } else if (PaletteCount() == 16) {
        for (uint32_t i = 0; i < 16; ++i) {
            const RGBQUAD c = ReadPaletteEntry(i);
            hd[16 + i * 3] = c.rgbRed;
            hd[17 + i * 3] = c.rgbGreen;
            hd[18 + i * 3] = c.rgbBlue;
        }
    }
    hd[65] = static_cast<uint8_t>(planes);
    Put16(hd + 66, bytesPerLine);
    hd[68] = hasPalette ? 0 : 1;
    if (stream->Write(hd, 1, sizeof hd) != sizeof hd) {
        SetLastError("cannot write PCX header");
        return false;
    }

    std::vector<uint8_t> data;
    const int marker = (w & 1) ? -2 : -1;
    for (int32_t y = h - 1; y >= 0; --y) {
        const uint8_t* row = Row(y);
        if (bits == 24) {
            for (int p = 0; p < planes; ++p) {
                PcxPackState st;
                for (int32_t x = 0; x < w; ++x) {
                    const int v = p == 3 ? alpha[size_t(y) * w + x] * alphaMax / 255 : row[x * 3 + 2 - p];
                    PrasterPackValue(data, v, st);
                }
                PrasterPackValue(data, marker, st);
            }
        } else if (bits == 8) {
            PcxPackState st;
            for (int32_t x = 0; x < w; ++x)
                PrasterPackValue(data, row[x], st);
            PrasterPackValue(data, marker, st);
        } else {
            const bool invert = bits == 1 && CompareColorsByLuminance(ReadPaletteEntry(0), ReadPaletteEntry(1)) == 1;
            std::vector<uint8_t> plane(bytesPerLine);
            for (int p = 0; p < planes; ++p) {
                std::fill(plane.begin(), plane.end(), 0);
                for (int32_t x = 0; x < w; ++x) {
                    int index = ReadPixelIndex(x, y);
                    if (invert)
                        index = 1 - index;
                    if ((index >> p) & 1)
                        plane[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                }
                PrasterPackPlane(data, plane.data(), plane.size());
            }
        }
    }
    if (bits == 8) {
        data.push_back(12);
        for (uint32_t i = 0; i < 256; ++i) {
            const RGBQUAD c = ReadPaletteEntry(i);
            data.push_back(c.rgbRed);
            data.push_back(c.rgbGreen);
            data.push_back(c.rgbBlue);
        }
    }
    Writer out(stream);
    out.Bytes(data);
    return out.Ok();
}
