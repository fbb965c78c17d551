// Palette access and search.
#include "raster/Raster.h"

#include <algorithm>
#include <cstring>

RGBQUAD* CRaster::PaletteEntries() const
{
    if (!dib || header.biClrUsed == 0)
        return nullptr;
    return reinterpret_cast<RGBQUAD*>(dib + header.biSize);
}

RGBQUAD CRaster::ReadPaletteEntry(uint32_t index) const
{
    const RGBQUAD* p = PaletteEntries();
    if (!p || index >= header.biClrUsed)
        return RGBQUAD{0, 0, 0, 0};
    return p[index];
}

bool CRaster::ReadPaletteEntry(uint32_t index, uint8_t& red, uint8_t& green, uint8_t& blue) const
{
    const RGBQUAD* p = PaletteEntries();
    if (!p || index >= header.biClrUsed)
        return false;
    red = p[index].rgbRed;
    green = p[index].rgbGreen;
    blue = p[index].rgbBlue;
    return true;
}

void CRaster::ReplacePalette(uint32_t count, const uint8_t* red, const uint8_t* green,
                             const uint8_t* blue)
{
    RGBQUAD* p = PaletteEntries();
    if (!p || !red)
        return;
    if (!green)
        green = red;
    if (!blue)
        blue = green;
    uint32_t n = std::min(count, header.biClrUsed);
    for (uint32_t i = 0; i < n; ++i) {
        p[i].rgbRed = red[i];
        p[i].rgbGreen = green[i];
        p[i].rgbBlue = blue[i];
    }
}

void CRaster::ReplacePalette(const uint8_t* rgbTriples, uint32_t count)
{
    RGBQUAD* p = PaletteEntries();
    if (!p || !rgbTriples)
        return;
    uint32_t n = std::min(count, header.biClrUsed);
    for (uint32_t i = 0; i < n; ++i) {
        p[i].rgbRed = rgbTriples[3 * i];
        p[i].rgbGreen = rgbTriples[3 * i + 1];
        p[i].rgbBlue = rgbTriples[3 * i + 2];
    }
}

void CRaster::ReplacePalette(const RGBQUAD* entries, uint32_t count)
{
    RGBQUAD* p = PaletteEntries();
    if (!p || !entries)
        return;
    std::memcpy(p, entries, std::min<uint64_t>(4ull * count, PaletteByteSize()));
}

void CRaster::WritePaletteEntry(uint32_t index, uint8_t red, uint8_t green, uint8_t blue,
                                uint8_t reserved)
{
    WritePaletteEntry(index, RGBQUAD{blue, green, red, reserved});
}

void CRaster::WritePaletteEntry(uint32_t index, RGBQUAD colour)
{
    RGBQUAD* p = PaletteEntries();
    if (p && index < header.biClrUsed)
        p[index] = colour;
}

void CRaster::MakeGreyPalette()
{
    RGBQUAD* p = PaletteEntries();
    if (!p || header.biClrUsed < 2)
        return;
    uint32_t step = 255 / (header.biClrUsed - 1);
    for (uint32_t i = 0; i < header.biClrUsed; ++i) {
        auto v = static_cast<uint8_t>(i * step);
        p[i] = RGBQUAD{v, v, v, 0};
    }
}

bool CRaster::HasGreyPalette() const
{
    const RGBQUAD* p = PaletteEntries();
    if (!p)
        return false;
    for (uint32_t i = 0; i < header.biClrUsed; ++i)
        if (p[i].rgbBlue != i || p[i].rgbGreen != i || p[i].rgbRed != i)
            return false;
    return true;
}

uint8_t CRaster::NearestPaletteIndex(RGBQUAD c) const
{
    const RGBQUAD* p = PaletteEntries();
    if (!p)
        return 0;
    uint32_t n = std::min(header.biClrUsed, 256u);
    for (uint32_t i = 0; i < n; ++i)
        if (p[i].rgbBlue == c.rgbBlue && p[i].rgbGreen == c.rgbGreen && p[i].rgbRed == c.rgbRed)
            return static_cast<uint8_t>(i);
    int best = 200000;
    uint32_t bestIndex = 0;
    for (uint32_t i = 0; i < n; ++i) {
        int db = p[i].rgbBlue - c.rgbBlue, dg = p[i].rgbGreen - c.rgbGreen,
            dr = p[i].rgbRed - c.rgbRed;
        int d = db * db + dg * dg + dr * dr;
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return static_cast<uint8_t>(bestIndex);
}

void CRaster::ExchangePaletteEntries(uint8_t a, uint8_t b)
{
    RGBQUAD* p = PaletteEntries();
    if (!p || a >= header.biClrUsed || b >= header.biClrUsed)
        return;
    std::swap(p[a], p[b]);
    if (a == b)
        return;
    for (int32_t y = 0; y < Height(); ++y)
        for (int32_t x = 0; x < Width(); ++x) {
            uint8_t i = ReadPixelIndex(x, y);
            if (i == a)
                WritePixelIndex(x, y, b);
            else if (i == b)
                WritePixelIndex(x, y, a);
        }
}

void CRaster::SwapRedBlue(uint8_t* buffer, uint32_t length) const
{
    if (!buffer || header.biClrUsed)
        return;
    uint32_t n = std::min(length, rowStride);
    for (uint32_t i = 0; i + 2 < n; i += 3)
        std::swap(buffer[i], buffer[i + 2]);
}

int CompareColorsByLuminance(RGBQUAD a, RGBQUAD b)
{
    int la = (a.rgbRed * 30 + a.rgbGreen * 59 + a.rgbBlue * 11) / 100;
    int lb = (b.rgbRed * 30 + b.rgbGreen * 59 + b.rgbBlue * 11) / 100;
    if (la == lb)
        return 0;
    return lb < la ? 1 : -1;
}
