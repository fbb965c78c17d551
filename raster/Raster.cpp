// CRaster core: the bitmap block and its planes, pixel access, creation and hand-over.
#include "raster/Raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <mutex>

std::atomic<uint64_t> CRaster::MaxBlockBytes{uint64_t(1) << 30};

namespace {

// A fresh block costs a page fault per 4 KiB on its first write: about a third of a 24-megapixel
// JPEG decode. Big pictures tend to follow one another (stepping through photos, previews for
// thumbnails), so Destroy keeps the last few big blocks and Create hands one of about the right
// size out again, zero-filled like a new one.
constexpr size_t kSpareMinBytes = size_t(8) << 20;
constexpr size_t kSpareMaxBytes = size_t(128) << 20; // two such blocks at most stay behind
constexpr int kSpareSlots = 2;

struct SpareBlock {
    uint8_t* block = nullptr;
    size_t size = 0;
};

std::mutex spareMutex;
SpareBlock spares[kSpareSlots]; // guarded by spareMutex; spares[0] is the newest

uint8_t* AllocateBlock(size_t size)
{
    if (size >= kSpareMinBytes && size <= kSpareMaxBytes) {
        uint8_t* reused = nullptr;
        {
            std::lock_guard<std::mutex> lock(spareMutex);
            for (SpareBlock& spare : spares) {
                // At most a quarter larger, so that a small picture does not pin a big block.
                if (spare.block && spare.size >= size && spare.size - size <= size / 4) {
                    reused = spare.block;
                    spare = SpareBlock{};
                    break;
                }
            }
        }
        if (reused) {
            std::memset(reused, 0, size);
            return reused;
        }
    }
    return static_cast<uint8_t*>(std::calloc(1, size));
}

void ReleaseBlock(uint8_t* block)
{
    if (!block)
        return;
    // The allocator's own record of the size: the header may have changed since Create.
    const size_t size = malloc_usable_size(block);
    if (size >= kSpareMinBytes && size <= kSpareMaxBytes) {
        std::unique_lock<std::mutex> lock(spareMutex);
        uint8_t* oldest = spares[kSpareSlots - 1].block;
        for (int i = kSpareSlots - 1; i > 0; --i)
            spares[i] = spares[i - 1];
        spares[0] = SpareBlock{block, size};
        lock.unlock();
        std::free(oldest);
        return;
    }
    std::free(block);
}

} // namespace

void CRaster::ReleaseSpareBlocks()
{
    SpareBlock released[kSpareSlots];
    {
        std::lock_guard<std::mutex> lock(spareMutex);
        for (int i = 0; i < kSpareSlots; ++i) {
            released[i] = spares[i];
            spares[i] = SpareBlock{};
        }
    }
    for (SpareBlock& spare : released)
        std::free(spare.block);
}

CRaster::CRaster(int formatCode)
{
    InitDefaults(formatCode);
}

CRaster::CRaster(int32_t width, int32_t height, int bitsPerPixel, int formatCode)
{
    InitDefaults(formatCode);
    Create(width, height, bitsPerPixel, formatCode);
}

CRaster::CRaster(const CRaster& source, bool copyPixels, bool copySelection, bool copyAlpha)
{
    InitDefaults(static_cast<int>(source.formatCode));
    Copy(source, copyPixels, copySelection, copyAlpha);
}

CRaster::~CRaster()
{
    Destroy();
}

void CRaster::InitDefaults(int code)
{
    static_cast<RasterInfo&>(*this) = RasterInfo{};
    dib = nullptr;
    selection = nullptr;
    alpha = nullptr;
    header = BITMAPINFOHEADER{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    formatCode = static_cast<uint32_t>(code);
    jpegQuality = 75;
    alphaMax = 255;
    transparentIndex = -1;
    enabled = true;
    chromaSubsampling = 1;
    lumaQuantTable = nullptr;
    SetHorizontalDpi(72);
    SetVerticalDpi(72);
}

void CRaster::SetLastError(const char* text)
{
    std::snprintf(lastError, sizeof lastError, "%s", text ? text : "");
}

// Drops the pointers of a ghost without freeing what they show.
void CRaster::ForgetBlock()
{
    dib = nullptr;
    pixels = nullptr;
    selection = nullptr;
    alpha = nullptr;
    sharedWith = nullptr;
}

bool CRaster::Destroy()
{
    if (!dib || sharedWith)
        return false;
    std::free(selection);
    std::free(alpha);
    ReleaseBlock(dib);
    selection = nullptr;
    alpha = nullptr;
    dib = nullptr;
    pixels = nullptr;
    return true;
}

uint8_t* CRaster::Create(int32_t width, int32_t height, int bitsPerPixel, int code)
{
    Destroy();
    // A ghost that gets a picture of its own stops showing its source's.
    if (sharedWith)
        ForgetBlock();
    dib = nullptr;
    pixels = nullptr;

    int bits = bitsPerPixel <= 1 ? 1 : bitsPerPixel <= 4 ? 4 : bitsPerPixel <= 8 ? 8 : 24;
    uint32_t entries = bits == 24 ? 0 : (1u << bits);
    uint64_t stride = width > 0 ? ((uint64_t(width) * bits + 31) / 32) * 4 : 0;
    uint64_t imageSize = height > 0 ? stride * uint64_t(height) : 0;

    formatCode = static_cast<uint32_t>(code);
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bits);
    header.biCompression = 0;
    header.biClrUsed = entries;
    header.biClrImportant = 0;
    rowStride = static_cast<uint32_t>(stride);
    header.biSizeImage = static_cast<uint32_t>(imageSize);

    // Sizes come from file headers: refuse what is empty, negative or too big before allocating.
    uint64_t blockSize = sizeof(BITMAPINFOHEADER) + 4ull * entries + imageSize;
    if (width <= 0 || height <= 0 || stride > UINT32_MAX || imageSize > UINT32_MAX ||
        blockSize > MaxBlockBytes.load(std::memory_order_relaxed)) {
        rowStride = 0;
        header.biSizeImage = 0;
        return nullptr;
    }
    uint8_t* block = AllocateBlock(blockSize);
    if (!block)
        return nullptr;

    std::free(selection);
    selection = nullptr;
    selectionBox = RasterRect{width, 0, 0, height};
    std::free(alpha);
    alpha = nullptr;

    dib = block;
    std::memcpy(dib, &header, sizeof header);
    pixels = dib + sizeof(BITMAPINFOHEADER) + 4 * entries;
    return dib;
}

void CRaster::SyncBlockHeader()
{
    if (dib && !sharedWith)
        std::memcpy(dib, &header, sizeof header);
}

void CRaster::Copy(const CRaster& source, bool copyPixels, bool copySelection, bool copyAlpha)
{
    if (&source == this)
        return;
    // Keep our own planes out of the record copy: Create frees them.
    uint8_t* ownDib = dib;
    uint8_t* ownPixels = pixels;
    CRaster* ownShared = sharedWith;
    static_cast<RasterInfo&>(*this) = static_cast<const RasterInfo&>(source);
    pixels = ownPixels;
    sharedWith = ownShared;
    dib = ownDib;
    Create(source.header.biWidth, source.header.biHeight, source.header.biBitCount,
           static_cast<int>(source.formatCode));
    // The copy owns its block; it is nobody's ghost even when the source is one.
    sharedWith = nullptr;
    if (!dib)
        return;
    header.biXPelsPerMeter = source.header.biXPelsPerMeter;
    header.biYPelsPerMeter = source.header.biYPelsPerMeter;
    SyncBlockHeader();
    if (copyPixels && source.dib) {
        std::memcpy(dib, source.dib, BlockSize());
        // The source's block carries its own header copy; ours must describe our block.
        SyncBlockHeader();
    } else if (source.dib) {
        uint32_t n = std::min(std::min(PaletteCount(), source.PaletteCount()), 256u);
        if (n)
            std::memcpy(PaletteEntries(), source.PaletteEntries(), 4 * n);
    }
    size_t planeSize = size_t(Width()) * size_t(Height());
    if (copySelection && source.selection) {
        selection = static_cast<uint8_t*>(std::malloc(planeSize));
        if (selection)
            std::memcpy(selection, source.selection, planeSize);
    }
    if (copyAlpha && source.alpha) {
        alpha = static_cast<uint8_t*>(std::malloc(planeSize));
        if (alpha)
            std::memcpy(alpha, source.alpha, planeSize);
    }
}

void CRaster::CopySettings(const CRaster& source)
{
    if (dib || &source == this)
        return;
    static_cast<RasterInfo&>(*this) = static_cast<const RasterInfo&>(source);
    pixels = nullptr;
    sharedWith = nullptr;
}

void CRaster::TakeOver(CRaster& from)
{
    if (&from == this)
        return;
    if (sharedWith) {
        ForgetBlock();
    } else {
        ReleaseBlock(dib);
        std::free(selection);
        std::free(alpha);
    }
    header = from.header;
    static_cast<RasterInfo&>(*this) = static_cast<const RasterInfo&>(from);
    dib = from.dib;
    selection = from.selection;
    alpha = from.alpha;

    from.header = BITMAPINFOHEADER{};
    static_cast<RasterInfo&>(from) = RasterInfo{};
    from.dib = nullptr;
    from.selection = nullptr;
    from.alpha = nullptr;
}

void CRaster::ShareMemoryOf(CRaster& from)
{
    if (&from == this)
        return;
    Destroy();
    header = from.header;
    static_cast<RasterInfo&>(*this) = static_cast<const RasterInfo&>(from);
    dib = from.dib;
    selection = from.selection;
    alpha = from.alpha;
    sharedWith = &from;
}

void CRaster::DeleteSelectionPlane()
{
    if (!sharedWith)
        std::free(selection);
    selection = nullptr;
    selectionBox = RasterRect{header.biWidth, 0, 0, header.biHeight};
}

uint8_t* CRaster::RowData() const
{
    return dib ? dib + header.biSize + PaletteByteSize() : nullptr;
}

uint32_t CRaster::BlockSize() const
{
    return header.biSize + PaletteByteSize() + header.biSizeImage;
}

int CRaster::ColourKind() const
{
    if (alpha)
        return 4;
    return header.biBitCount <= 8 ? 1 : 2;
}

uint8_t CRaster::ReadPixelIndex(int64_t x, int64_t y) const
{
    if (!dib || header.biClrUsed == 0)
        return 0;
    if (!Contains(x, y))
        return transparentIndex != -1 ? static_cast<uint8_t>(transparentIndex) : 0;
    const uint8_t* row = Row(static_cast<int32_t>(y));
    switch (header.biBitCount) {
    case 8: return row[x];
    case 4: {
        uint8_t b = row[x >> 1];
        return (x & 1) ? (b & 0x0F) : (b >> 4);
    }
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    default: return 0;
    }
}

void CRaster::WritePixelIndex(int64_t x, int64_t y, uint8_t index)
{
    if (!dib || header.biClrUsed == 0 || !Contains(x, y))
        return;
    uint8_t* row = Row(static_cast<int32_t>(y));
    switch (header.biBitCount) {
    case 8: row[x] = index; break;
    case 4: {
        uint8_t& b = row[x >> 1];
        if (x & 1)
            b = static_cast<uint8_t>((b & 0xF0) | (index & 0x0F));
        else
            b = static_cast<uint8_t>((b & 0x0F) | ((index & 0x0F) << 4));
        break;
    }
    case 1: {
        uint8_t& b = row[x >> 3];
        uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
        b = (index & 1) ? (b | mask) : (b & ~mask);
        break;
    }
    default: break;
    }
}

RGBQUAD CRaster::ReadPixelColour(int64_t x, int64_t y) const
{
    if (dib && Contains(x, y)) {
        if (header.biClrUsed) {
            uint8_t index = ReadPixelIndex(x, y);
            // A 1- or 4-bit index always fits; an 8-bit one fits the 256 entries.
            return PaletteEntries()[index];
        }
        const uint8_t* p = Row(static_cast<int32_t>(y)) + x * 3;
        return RGBQUAD{p[0], p[1], p[2], transparentColor.rgbReserved};
    }
    return TransparentColour();
}

void CRaster::WritePixelColour(int64_t x, int64_t y, RGBQUAD colour)
{
    if (!dib || !Contains(x, y))
        return;
    if (header.biClrUsed) {
        WritePixelIndex(x, y, NearestPaletteIndex(colour));
        return;
    }
    uint8_t* p = Row(static_cast<int32_t>(y)) + x * 3;
    p[0] = colour.rgbBlue;
    p[1] = colour.rgbGreen;
    p[2] = colour.rgbRed;
}

void CRaster::WritePixelColour(int64_t x, int64_t y, uint32_t colourRef)
{
    RGBQUAD c{static_cast<uint8_t>(colourRef >> 16), static_cast<uint8_t>(colourRef >> 8),
              static_cast<uint8_t>(colourRef), 0};
    WritePixelColour(x, y, c);
}

RGBQUAD CRaster::TransparentColour() const
{
    // An index beyond the palette (a corrupt file) names no entry.
    if (dib && header.biBitCount < 24 && transparentIndex >= 0 &&
        static_cast<uint32_t>(transparentIndex) < header.biClrUsed)
        return PaletteEntries()[transparentIndex];
    return transparentColor;
}

namespace {

// Pixels per metre of a resolution a file states; a huge one is kept at the largest there is.
int32_t PelsPerMetre(int32_t dpi)
{
    const double v = std::floor(dpi * 10000.0 / 254.0 + 0.5);
    return static_cast<int32_t>(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
}

} // namespace

void CRaster::SetHorizontalDpi(int32_t dpi)
{
    xDpi = dpi;
    header.biXPelsPerMeter = PelsPerMetre(dpi);
    SyncBlockHeader();
}

void CRaster::SetVerticalDpi(int32_t dpi)
{
    yDpi = dpi;
    header.biYPelsPerMeter = PelsPerMetre(dpi);
    SyncBlockHeader();
}

// ---- Alpha plane

uint8_t* CRaster::CreateAlphaPlane()
{
    if (!dib)
        return nullptr;
    DeleteAlphaPlane();
    alpha = static_cast<uint8_t*>(std::calloc(size_t(Width()) * size_t(Height()), 1));
    return alpha;
}

void CRaster::DeleteAlphaPlane()
{
    // A ghost's plane belongs to the image it shows, unless the ghost made it itself.
    if (!sharedWith || alpha != sharedWith->alpha)
        std::free(alpha);
    alpha = nullptr;
}

void CRaster::SetAlphaValue(uint8_t level)
{
    if (alpha)
        std::memset(alpha, level, size_t(Width()) * size_t(Height()));
}

void CRaster::SetAlphaValue(int64_t x, int64_t y, uint8_t level)
{
    if (alpha && Contains(x, y))
        alpha[size_t(y) * size_t(Width()) + size_t(x)] = level;
}

uint8_t CRaster::GetAlphaValue(int64_t x, int64_t y) const
{
    if (!alpha || !Contains(x, y))
        return 0;
    return alpha[size_t(y) * size_t(Width()) + size_t(x)];
}

namespace {

// Replaces the image's alpha plane by a new one that fill(from, to, w, h) makes from the old;
// false when there is no plane or no memory for the new one (the old one then stays).
template <class Fill>
bool ReplaceAlphaPlane(CRaster& image, Fill fill)
{
    if (!image.alpha)
        return false;
    size_t w = size_t(image.Width()), h = size_t(image.Height());
    auto* plane = static_cast<uint8_t*>(std::malloc(std::max<size_t>(w * h, 1)));
    if (!plane)
        return false;
    fill(image.alpha, plane, w, h);
    image.DeleteAlphaPlane();
    image.alpha = plane;
    return true;
}

} // namespace

bool CRaster::FlipAlphaPlane()
{
    return ReplaceAlphaPlane(*this, [](const uint8_t* from, uint8_t* to, size_t w, size_t h) {
        for (size_t y = 0; y < h; ++y)
            std::memcpy(to + y * w, from + (h - 1 - y) * w, w);
    });
}

bool CRaster::MirrorAlphaPlane()
{
    return ReplaceAlphaPlane(*this, [](const uint8_t* from, uint8_t* to, size_t w, size_t h) {
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x)
                to[y * w + x] = from[y * w + (w - 1 - x)];
    });
}

bool CRaster::HasPaletteAlpha() const
{
    const RGBQUAD* p = PaletteEntries();
    if (!p)
        return false;
    for (uint32_t i = 0; i < header.biClrUsed; ++i)
        if (p[i].rgbReserved)
            return true;
    return false;
}

// ---- Row cursor

ImageRowCursor::ImageRowCursor(CRaster& image) : image(image)
{
    row = image.dib ? image.Row(0) : nullptr;
}

uint8_t* ImageRowCursor::MoveToTop()
{
    y = image.Height() - 1;
    row = image.dib && y >= 0 ? image.Row(y) : nullptr;
    return row;
}

uint8_t* ImageRowCursor::MoveTo(int32_t n)
{
    if (image.dib && n >= 0 && n < image.Height()) {
        y = n;
        row = image.Row(n);
    }
    return row;
}

void ImageRowCursor::CopyIn(const uint8_t* source, size_t count)
{
    if (row)
        std::memcpy(row, source, std::min<size_t>(count, image.rowStride));
}

void ImageRowCursor::CopyOut(uint8_t* target) const
{
    if (row)
        std::memcpy(target, row, image.rowStride);
}

bool ImageRowCursor::StepDown()
{
    if (y < 0)
        return false;
    --y;
    row = y >= 0 && image.dib ? image.Row(y) : nullptr;
    return row != nullptr;
}
