// Flips, mirrors, quarter turns and resampling. Each builds a new picture and hands it over,
// so a failed allocation leaves the image as it was.
#include "raster/Raster.h"

#include <algorithm>
#include <cstring>
#include <vector>

bool CRaster::Flip()
{
    if (!dib)
        return false;
    CRaster flipped(*this, false, false, true);
    if (!flipped.dib || (alpha && !flipped.alpha))
        return false;
    int32_t h = Height();
    for (int32_t i = 0; i < h; ++i)
        std::memcpy(flipped.Row(i), Row(h - 1 - i), rowStride);
    if (flipped.alpha && !flipped.FlipAlphaPlane())
        return false;
    TakeOver(flipped);
    return true;
}

bool CRaster::Mirror()
{
    if (!dib)
        return false;
    CRaster mirrored(*this, false, false, true);
    if (!mirrored.dib || (alpha && !mirrored.alpha))
        return false;
    int32_t w = Width(), h = Height();
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = Row(y);
        uint8_t* dst = mirrored.Row(y);
        switch (BitsPerPixel()) {
        case 8:
            for (int32_t x = 0; x < w; ++x)
                dst[x] = src[w - 1 - x];
            break;
        case 24:
            for (int32_t x = 0; x < w; ++x)
                std::memcpy(dst + 3 * x, src + 3 * (w - 1 - x), 3);
            break;
        default:
            for (int32_t x = 0; x < w; ++x)
                mirrored.WritePixelIndex(x, y, ReadPixelIndex(w - 1 - x, y));
            break;
        }
    }
    if (mirrored.alpha && !mirrored.MirrorAlphaPlane())
        return false;
    TakeOver(mirrored);
    return true;
}

bool CRaster::TurnQuarter(CRaster* destination, bool clockwise)
{
    if (!dib)
        return false;
    int32_t w = Width(), h = Height();
    CRaster turned(static_cast<int>(formatCode));
    turned.CopySettings(*this);
    if (!turned.Create(h, w, BitsPerPixel(), static_cast<int>(formatCode)))
        return false;
    // The resolution stays with its axis name, as xDpi and yDpi do in the copied record.
    turned.header.biXPelsPerMeter = header.biXPelsPerMeter;
    turned.header.biYPelsPerMeter = header.biYPelsPerMeter;
    turned.SyncBlockHeader();
    if (uint32_t n = std::min(std::min(PaletteCount(), turned.PaletteCount()), 256u))
        std::memcpy(turned.PaletteEntries(), PaletteEntries(), 4 * n);
    if (alpha && !turned.CreateAlphaPlane())
        return false;
    bool indexed = PaletteCount() != 0;
    // Left: new (x, y) = old (y, h - 1 - x). Right: new (x, y) = old (w - 1 - y, x).
    for (int32_t ny = 0; ny < w; ++ny)
        for (int32_t nx = 0; nx < h; ++nx) {
            int32_t ox = clockwise ? w - 1 - ny : ny;
            int32_t oy = clockwise ? nx : h - 1 - nx;
            if (indexed)
                turned.WritePixelIndex(nx, ny, ReadPixelIndex(ox, oy));
            else
                turned.WritePixelColour(nx, ny, ReadPixelColour(ox, oy));
            if (alpha)
                turned.SetAlphaValue(nx, ny, GetAlphaValue(ox, oy));
        }
    (destination ? destination : this)->TakeOver(turned);
    return true;
}

bool CRaster::TurnLeft(CRaster* destination)
{
    return TurnQuarter(destination, false);
}

bool CRaster::TurnRight(CRaster* destination)
{
    return TurnQuarter(destination, true);
}

namespace {

// Area average of a 24-bit picture that shrinks in both directions, in integer thousandths.
void AreaAverage(const CRaster& src, CRaster& dst, float xScale, float yScale)
{
    int32_t w = src.Width(), h = src.Height();
    int32_t nw = dst.Width(), nh = dst.Height();
    const int64_t nScale = std::max<int64_t>(1, static_cast<int64_t>(1000 * xScale * yScale));
    const size_t rowValues = 3 * size_t(nw);
    std::vector<int64_t> current(rowValues + 3, 0), carry(rowValues + 3, 0);

    float fEndY = yScale - 1;
    int32_t j = 0;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* in = src.Row(y);
        uint8_t* out = j < nh ? dst.Row(j) : nullptr;
        float fEndX = xScale - 1;
        size_t i = 0;
        // Float steps can overshoot by one split at a row's end: never past the slack of 3.
        auto split = [&](int32_t x) { return x >= fEndX && i < rowValues; };
        if (y < fEndY) {
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = in + 3 * size_t(x);
                if (!split(x)) {
                    for (int c = 0; c < 3; ++c)
                        current[i + c] += 1000 * p[c];
                } else {
                    int64_t wX = static_cast<int64_t>((x - fEndX) * 1000);
                    for (int c = 0; c < 3; ++c) {
                        current[i + c] += (1000 - wX) * p[c];
                        current[i + c + 3] += wX * p[c];
                    }
                    i += 3;
                    fEndX += xScale;
                }
            }
            continue;
        }
        int64_t wY = static_cast<int64_t>((y - fEndY) * 1000);
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = in + 3 * size_t(x);
            if (!split(x)) {
                for (int c = 0; c < 3; ++c) {
                    current[i + c] += (1000 - wY) * p[c];
                    carry[i + c] += wY * p[c];
                }
            } else {
                int64_t wX = static_cast<int64_t>((x - fEndX) * 1000);
                for (int c = 0; c < 3; ++c) {
                    current[i + c] += (1000 - wY) * (1000 - wX) * p[c] / 1000;
                    if (out)
                        out[i + c] = static_cast<uint8_t>(current[i + c] / nScale);
                    carry[i + c] += wY * (1000 - wX) * p[c] / 1000;
                    current[i + c + 3] += (1000 - wY) * wX * p[c] / 1000;
                    carry[i + c + 3] = wY * wX * p[c] / 1000;
                }
                i += 3;
                fEndX += xScale;
            }
        }
        for (; i < rowValues && out; ++i)
            out[i] = static_cast<uint8_t>(current[i] / nScale);
        std::swap(current, carry);
        carry[0] = carry[1] = carry[2] = 0;
        ++j;
        fEndY += yScale;
    }
    if (j < nh) {
        uint8_t* out = dst.Row(j);
        for (size_t i = 0; i < rowValues; ++i)
            out[i] = static_cast<uint8_t>(current[i] / nScale);
    }
}

} // namespace

bool CRaster::Rescale(int32_t newWidth, int32_t newHeight, int mode)
{
    if (!dib || newWidth <= 0 || newHeight <= 0)
        return false;
    int32_t w = Width(), h = Height();
    if (newWidth == w && newHeight == h)
        return true;
    float xScale = static_cast<float>(w) / newWidth;
    float yScale = static_cast<float>(h) / newHeight;

    CRaster scaled(static_cast<int>(formatCode));
    scaled.CopySettings(*this);
    if (!scaled.Create(newWidth, newHeight, BitsPerPixel(), static_cast<int>(formatCode)))
        return false;
    scaled.header.biXPelsPerMeter = header.biXPelsPerMeter;
    scaled.header.biYPelsPerMeter = header.biYPelsPerMeter;
    scaled.SyncBlockHeader();
    if (uint32_t n = std::min(std::min(PaletteCount(), scaled.PaletteCount()), 256u))
        std::memcpy(scaled.PaletteEntries(), PaletteEntries(), 4 * n);

    if (mode != 0) {
        for (int32_t y = 0; y < newHeight; ++y) {
            SetProgress(static_cast<int32_t>(100ll * y / newHeight));
            if (EscapeRequested())
                break;
            for (int32_t x = 0; x < newWidth; ++x)
                scaled.WritePixelColour(x, y, ReadPixelColour(static_cast<int64_t>(x * xScale),
                                                              static_cast<int64_t>(y * yScale)));
        }
    } else if (BitsPerPixel() == 24 && newWidth < w && newHeight < h) {
        AreaAverage(*this, scaled, xScale, yScale);
    } else {
        for (int32_t y = 0; y < newHeight; ++y) {
            SetProgress(static_cast<int32_t>(100ll * y / newHeight));
            if (EscapeRequested())
                break;
            float fY = y * yScale;
            int32_t y0 = std::min(h - 1, static_cast<int32_t>(fY));
            int32_t y1 = std::min(h - 1, y0 + 1);
            float dy = fY - static_cast<float>(static_cast<int32_t>(fY));
            for (int32_t x = 0; x < newWidth; ++x) {
                float fX = x * xScale;
                int32_t x0 = std::min(w - 1, static_cast<int32_t>(fX));
                int32_t x1 = std::min(w - 1, x0 + 1);
                float dx = fX - static_cast<float>(static_cast<int32_t>(fX));
                RGBQUAD a = ReadPixelColour(x0, y0), b = ReadPixelColour(x1, y0);
                RGBQUAD c = ReadPixelColour(x0, y1), d = ReadPixelColour(x1, y1);
                auto mix = [&](uint8_t v00, uint8_t v10, uint8_t v01, uint8_t v11) {
                    float v = (v00 * (1 - dy) + v01 * dy) * (1 - dx) + (v10 * (1 - dy) + v11 * dy) * dx;
                    return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
                };
                RGBQUAD out{mix(a.rgbBlue, b.rgbBlue, c.rgbBlue, d.rgbBlue),
                            mix(a.rgbGreen, b.rgbGreen, c.rgbGreen, d.rgbGreen),
                            mix(a.rgbRed, b.rgbRed, c.rgbRed, d.rgbRed), 0};
                scaled.WritePixelColour(x, y, out);
            }
        }
    }

    if (alpha) {
        if (!scaled.CreateAlphaPlane())
            return false;
        for (int32_t y = 0; y < newHeight; ++y)
            for (int32_t x = 0; x < newWidth; ++x)
                scaled.SetAlphaValue(x, y, GetAlphaValue(static_cast<int64_t>(x * xScale),
                                                         static_cast<int64_t>(y * yScale)));
    }
    TakeOver(scaled);
    return true;
}
