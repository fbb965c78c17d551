// The image class library: CRaster holds one picture as a packed bottom-up bitmap block
// (40-byte info header, palette, padded rows) with an optional alpha plane, and dispatches
// decode and encode to the format classes by format code.
//
// Adding a format class (the codecs live beside this file, one .h/.cpp pair each):
//   1. class CRasterXXX : public CRaster, whose default constructor is CRaster(code), with
//      bool Decode(CRasterStream* stream) and bool Encode(CRasterStream* stream)
//      (a null stream gives false). A decoder works on its own fresh object; on failure it
//      leaves the reason in lastError (SetLastError) and returns false. An encoder works on a
//      ghost of the caller's image (ShareMemoryOf) and must not free or replace what it shows.
//   2. In raster/RasterFormats.cpp include the header and replace the format's `{}` row of
//      kCodecs with CodecRow<CRasterXXX>(multiFrame). multiFrame = true hands the caller's
//      `frame` to the decoder and its `frameCount` back on failure (GIF, ICO, TIF).
// Nothing else needs to change.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdio>

static_assert(std::endian::native == std::endian::little, "the bitmap block is little-endian");

// The packed-bitmap records, with fixed-width fields so that the block is the same 40 + 4n bytes
// that BMP and ICO files carry.
struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

inline bool operator==(const RGBQUAD& a, const RGBQUAD& b)
{
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed &&
           a.rgbReserved == b.rgbReserved;
}

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

enum CRasterFormat : int {
    RasterFormatBMP = 0,
    RasterFormatGIF = 1,
    RasterFormatJPG = 2,
    RasterFormatPNG = 3,
    RasterFormatICO = 4,
    RasterFormatTIF = 5,
    RasterFormatTGA = 6,
    RasterFormatPCX = 7,
    RasterFormatWBMP = 8,
    RasterFormatWMF = 9,
};
constexpr int RasterFormatCount = 10;

struct RasterRect {
    int32_t left, top, right, bottom;
};

class CRasterStream;

// Settings and state that Copy, CopySettings, ShareMemoryOf and TakeOver move as one unit.
struct RasterInfo {
    uint32_t rowStride;
    uint8_t* pixels;
    class CRaster* sharedWith;
    uint32_t formatCode;
    char lastError[256];
    int32_t progress;
    int32_t escape; // set from another thread: read and write it through atomic_ref
    int32_t transparentIndex;
    RGBQUAD transparentColor;
    uint8_t jpegQuality;
    int32_t frame;
    int32_t frameCount;
    uint32_t frameDelay;
    int32_t xDpi, yDpi;
    RasterRect selectionBox;
    uint8_t alphaMax;
    bool paletteAlphaOn;
    bool enabled;
    int32_t xOffset, yOffset;
    uint8_t chromaSubsampling;
    const uint32_t* lumaQuantTable; // 64 values in natural order; not owned
};

class CRaster : public RasterInfo {
public:
    explicit CRaster(int formatCode = 0);
    CRaster(int32_t width, int32_t height, int bitsPerPixel, int formatCode);
    CRaster(const CRaster& source, bool copyPixels, bool copySelection, bool copyAlpha);
    CRaster(const CRaster&) = delete;
    CRaster& operator=(const CRaster&) = delete;
    virtual ~CRaster();

    // Largest block Create allocates. Decoders of outside data refuse anything larger instead
    // of trying; fuzz targets lower it so that they explore parsing rather than allocation.
    static std::atomic<uint64_t> MaxBlockBytes;
    // Destroy keeps the last big blocks for the next Create of about the same size; this frees
    // them (for instance before the program idles in the background).
    static void ReleaseSpareBlocks();

    void InitDefaults(int formatCode);
    // Zero-filled. Null for sizes that are not positive or whose block exceeds MaxBlockBytes.
    uint8_t* Create(int32_t width, int32_t height, int bitsPerPixel, int formatCode);
    bool Destroy();
    void Copy(const CRaster& source, bool copyPixels = true, bool copySelection = true,
              bool copyAlpha = true);
    void CopySettings(const CRaster& source);
    void TakeOver(CRaster& from);
    void ShareMemoryOf(CRaster& from);
    void DeleteSelectionPlane();

    bool IsValid() const { return dib != nullptr; }
    int32_t Width() const { return header.biWidth; }
    int32_t Height() const { return header.biHeight; }
    int BitsPerPixel() const { return header.biBitCount; }
    uint32_t PaletteCount() const { return header.biClrUsed; }

    bool Contains(int64_t x, int64_t y) const
    {
        return x >= 0 && y >= 0 && x < header.biWidth && y < header.biHeight;
    }
    uint8_t* RowData() const;
    uint8_t* Row(int32_t y) const { return pixels + static_cast<size_t>(y) * rowStride; }
    uint32_t BlockSize() const;
    int ColourKind() const;

    uint8_t ReadPixelIndex(int64_t x, int64_t y) const;
    void WritePixelIndex(int64_t x, int64_t y, uint8_t index);
    RGBQUAD ReadPixelColour(int64_t x, int64_t y) const;
    void WritePixelColour(int64_t x, int64_t y, RGBQUAD colour);
    void WritePixelColour(int64_t x, int64_t y, uint32_t colourRef); // 0x00BBGGRR
    RGBQUAD TransparentColour() const;
    void SetHorizontalDpi(int32_t dpi);
    void SetVerticalDpi(int32_t dpi);

    uint8_t* CreateAlphaPlane();
    void DeleteAlphaPlane();
    void SetAlphaValue(uint8_t level);
    void SetAlphaValue(int64_t x, int64_t y, uint8_t level);
    uint8_t GetAlphaValue(int64_t x, int64_t y) const;
    bool FlipAlphaPlane();
    bool MirrorAlphaPlane();
    bool HasPaletteAlpha() const;

    bool Decode(CRasterStream* stream, int formatCode);
    bool Decode(std::FILE* file, int formatCode);
    bool Encode(CRasterStream* stream, int formatCode);
    bool Encode(std::FILE* file, int formatCode);
    // Into a new block the caller frees with free(); buffer must be null on entry.
    bool Encode(uint8_t*& buffer, int64_t& size, int formatCode);
    bool Load(const char* path, int formatCode);
    // The picture's width and height from the file's header, without decoding or allocating
    // anything of the picture's size (the size question comes before the pixels). The stream
    // position is undefined afterwards. False for a header that gives no positive size.
    static bool ReadSize(CRasterStream* stream, int formatCode, int32_t& width, int32_t& height);
    static bool ReadSize(const char* path, int formatCode, int32_t& width, int32_t& height);
    // Writes a temporary file beside the target and renames it over the target only when the
    // whole encode succeeded, so a failed save never destroys an existing file.
    bool Save(const char* path, int formatCode);

    // Palette
    RGBQUAD* PaletteEntries() const;
    uint32_t PaletteByteSize() const { return header.biClrUsed * 4; }
    RGBQUAD ReadPaletteEntry(uint32_t index) const;
    bool ReadPaletteEntry(uint32_t index, uint8_t& red, uint8_t& green, uint8_t& blue) const;
    void ReplacePalette(uint32_t count, const uint8_t* red, const uint8_t* green,
                        const uint8_t* blue);
    void ReplacePalette(const uint8_t* rgbTriples, uint32_t count);
    void ReplacePalette(const RGBQUAD* entries, uint32_t count);
    void WritePaletteEntry(uint32_t index, uint8_t red, uint8_t green, uint8_t blue,
                           uint8_t reserved = 0);
    void WritePaletteEntry(uint32_t index, RGBQUAD colour);
    void MakeGreyPalette();
    bool HasGreyPalette() const;
    uint8_t NearestPaletteIndex(RGBQUAD colour) const;
    void ExchangePaletteEntries(uint8_t a, uint8_t b);
    void SwapRedBlue(uint8_t* buffer, uint32_t length) const;

    // Transforms
    bool Flip();
    bool Mirror();
    bool TurnLeft(CRaster* destination = nullptr);
    bool TurnRight(CRaster* destination = nullptr);
    bool Rescale(int32_t newWidth, int32_t newHeight, int mode = 0);

    static RGBQUAD ColourToHsl(RGBQUAD colour);
    static RGBQUAD HslToColour(RGBQUAD hsl);

    // Codec helpers
    void SetLastError(const char* text);
    bool EscapeRequested() const
    {
        return std::atomic_ref<int32_t>(const_cast<int32_t&>(escape)).load(std::memory_order_relaxed) != 0;
    }
    void SetProgress(int32_t value)
    {
        std::atomic_ref<int32_t>(progress).store(value, std::memory_order_relaxed);
    }

    uint8_t* dib = nullptr;
    BITMAPINFOHEADER header{};
    uint8_t* selection = nullptr;
    uint8_t* alpha = nullptr;

private:
    void ForgetBlock();
    bool TurnQuarter(CRaster* destination, bool clockwise);
    void SyncBlockHeader();
};

int CompareColorsByLuminance(RGBQUAD a, RGBQUAD b);

// A cursor over the stored rows of one image, for codecs that fill or read rows in sequence.
class ImageRowCursor {
public:
    explicit ImageRowCursor(CRaster& image);
    uint8_t* MoveToTop();
    uint8_t* MoveTo(int32_t row);
    void CopyIn(const uint8_t* source, size_t count);
    void CopyOut(uint8_t* target) const;
    bool StepDown();
    uint8_t* Current() const { return row; }
    int32_t y = 0;
    int32_t x = 0;

private:
    CRaster& image;
    uint8_t* row = nullptr;
};
