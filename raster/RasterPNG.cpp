// libpng reports errors by longjmp to the setjmp in DecodePng/EncodePng; the frames in
// between hold only plain data, so nothing with a destructor is skipped.
//
// Transparency: palette files keep theirs in the palette (a transparent index, or alpha in the
// reserved bytes); every other kind of transparency (alpha channels of any depth, colour keys)
// becomes an alpha plane, so nothing of it is lost on the way in.
#include "raster/RasterPNG.h"

#include "raster/RasterStream.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Largest ancillary chunk (text, colour profile, ...) that is read.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t(16) << 20;

// libpng allocates a chunk's whole length before reading it: a damaged length field would cost
// gigabytes. The chunk headers are checked first: a chunk other than the picture data that is
// larger than kMaxChunkBytes or than what is left of the file is refused.
bool ChunkLengthsAreSane(CRasterStream* stream)
{
    const int64_t start = stream->Tell();
    const int64_t size = stream->Size();
    if (start < 0 || size < 0)
        return true; // nothing to check against; libpng's own limits apply
    bool sane = true;
    int64_t at = start + 8; // after the signature
    for (int chunks = 0; chunks < 100000 && at + 8 <= size; ++chunks) {
        uint8_t head[8];
        if (!stream->Seek(at, SEEK_SET) || stream->Read(head, 1, 8) != 8)
            break;
        const uint64_t length = (uint64_t(head[0]) << 24) | (uint64_t(head[1]) << 16) | (uint64_t(head[2]) << 8) | head[3];
        const bool pictureData = std::memcmp(head + 4, "IDAT", 4) == 0;
        const uint64_t left = uint64_t(size - at - 8);
        if (!pictureData && (length > kMaxChunkBytes || length > left)) {
            sane = false;
            break;
        }
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            break;
        at += 12 + int64_t(length);
    }
    stream->Seek(start, SEEK_SET);
    return sane;
}

void ReadData(png_structp png, png_bytep data, size_t length)
{
    auto* stream = static_cast<CRasterStream*>(png_get_io_ptr(png));
    if (stream->Read(data, 1, length) != length)
        png_error(png, "Read Error");
}

void WriteData(png_structp png, png_bytep data, size_t length)
{
    auto* stream = static_cast<CRasterStream*>(png_get_io_ptr(png));
    if (stream->Write(data, 1, length) != length)
        png_error(png, "Write Error");
}

void FlushData(png_structp png)
{
    auto* stream = static_cast<CRasterStream*>(png_get_io_ptr(png));
    if (!stream->Flush())
        png_error(png, "Flush Error");
}

void DecodeError(png_structp png, png_const_charp message)
{
    auto* image = static_cast<CRaster*>(png_get_error_ptr(png));
    image->SetLastError(message);
    png_longjmp(png, 1);
}

// The encoder reports one text of its own; libpng's message is not kept.
void EncodeError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void Warning(png_structp, png_const_charp) {}

enum class RowKind { Packed, TwoBit, Bgr, Bgra };

void StoreRow(CRaster& image, RowKind kind, const uint8_t* src, size_t srcBytes, int32_t fileRow)
{
    const int32_t y = image.Height() - 1 - fileRow;
    uint8_t* dst = image.Row(y);
    const int32_t w = image.Width();
    switch (kind) {
    case RowKind::Packed:
        std::memcpy(dst, src, std::min<size_t>(srcBytes, image.rowStride));
        break;
    case RowKind::TwoBit:
        // 2-bit pixels widen to nibbles: pixel x to the high nibble for even x.
        for (int32_t x = 0; x < w; ++x) {
            uint8_t v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
            uint8_t& b = dst[x >> 1];
            b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
        }
        break;
    case RowKind::Bgr:
        std::memcpy(dst, src, size_t(w) * 3);
        break;
    case RowKind::Bgra: {
        uint8_t* a = image.alpha + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            a[x] = src[3];
        }
        break;
    }
    }
}

bool DecodePng(CRaster& image, CRasterStream* stream)
{
    if (!stream)
        return false;
    if (!ChunkLengthsAreSane(stream)) {
        image.SetLastError("Damaged PNG chunk");
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &image, DecodeError, Warning);
    if (!png) {
        image.SetLastError("Failed to create PNG structure");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        image.SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    uint8_t* volatile buffer = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::free(buffer);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, stream, ReadData);
    // A chunk whose length field is damaged must not make libpng allocate gigabytes for it:
    // no text or profile chunk of a picture comes near this.
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    const bool hasKey = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        png_error(png, "Image too large");

    RowKind kind;
    int bits;
    if (colourType == PNG_COLOR_TYPE_PALETTE || (colourType == PNG_COLOR_TYPE_GRAY && !hasKey)) {
        if (depth == 16)
            png_set_strip_16(png);
        bits = depth == 16 ? 8 : depth;
        kind = depth == 2 ? RowKind::TwoBit : RowKind::Packed;
    } else {
        if (depth == 16)
            png_set_strip_16(png);
        if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
            png_set_expand_gray_1_2_4_to_8(png);
            png_set_gray_to_rgb(png);
        }
        if (hasKey)
            png_set_tRNS_to_alpha(png);
        png_set_bgr(png);
        bits = 24;
        kind = (colourType & PNG_COLOR_MASK_ALPHA) || hasKey ? RowKind::Bgra : RowKind::Bgr;
    }
    const int passes = interlace != PNG_INTERLACE_NONE ? png_set_interlace_handling(png) : 1;
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const size_t neededBytes = kind == RowKind::Bgra ? size_t(width) * 4
                               : kind == RowKind::Bgr ? size_t(width) * 3
                                                      : (size_t(width) * (depth == 16 ? 8 : depth) + 7) / 8;
    if (rowBytes < neededBytes)
        png_error(png, "Unexpected row layout");

    if (!image.Create(static_cast<int32_t>(width), static_cast<int32_t>(height), bits, RasterFormatPNG))
        png_error(png, "Image too large");
    if (kind == RowKind::Bgra) {
        if (!image.CreateAlphaPlane())
            png_error(png, "Insufficient memory");
        png_color_16p background = nullptr;
        if (png_get_bKGD(png, info, &background)) {
            // 16-bit files store 16-bit background samples: keep their high bytes.
            int shift = depth == 16 ? 8 : 0;
            bool grey = !(colourType & PNG_COLOR_MASK_COLOR);
            auto level = [&](png_uint_16 v) { return static_cast<uint8_t>(v >> shift); };
            image.transparentColor = grey ? RGBQUAD{level(background->gray), level(background->gray), level(background->gray), 0}
                                          : RGBQUAD{level(background->blue), level(background->green), level(background->red), 0};
        }
    }

    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count)) {
            uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(count), image.PaletteCount());
            for (uint32_t i = 0; i < n; ++i)
                image.WritePaletteEntry(i, palette[i].red, palette[i].green, palette[i].blue);
        }
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        if (hasKey && png_get_tRNS(png, info, &alphas, &alphaCount, nullptr) && alphaCount > 0) {
            RGBQUAD* entries = image.PaletteEntries();
            uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(alphaCount), image.PaletteCount());
            for (uint32_t i = 0; i < n; ++i)
                entries[i].rgbReserved = alphas[i];
            if (alphaCount == 1 && alphas[0] == 0) {
                image.transparentIndex = 0;
            } else {
                image.paletteAlphaOn = true;
                for (uint32_t i = n; i < image.PaletteCount(); ++i)
                    entries[i].rgbReserved = 255;
            }
        }
    } else if (bits <= 8) {
        if (depth == 2) {
            for (uint8_t i = 0; i < 4; ++i)
                image.WritePaletteEntry(i, uint8_t(i * 85), uint8_t(i * 85), uint8_t(i * 85));
        } else {
            image.MakeGreyPalette();
        }
    }

    if (image.EscapeRequested())
        png_longjmp(png, 1);
    // Interlaced files are gathered whole, so every pass combines with the file's own
    // earlier passes (not with rows already converted for storage).
    const size_t bufferRows = passes > 1 ? height : 1;
    buffer = static_cast<uint8_t*>(std::malloc(rowBytes * bufferRows + 16));
    if (!buffer)
        png_error(png, "Insufficient memory");
    if (passes > 1)
        std::memset(buffer, 0, rowBytes * bufferRows);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            if (image.EscapeRequested())
                png_longjmp(png, 1);
            uint8_t* row = buffer + (passes > 1 ? rowBytes * y : 0);
            png_read_row(png, row, nullptr);
            if (passes == 1)
                StoreRow(image, kind, row, rowBytes, static_cast<int32_t>(y));
        }
    if (passes > 1)
        for (png_uint_32 y = 0; y < height; ++y)
            StoreRow(image, kind, buffer + rowBytes * y, rowBytes, static_cast<int32_t>(y));
    std::free(buffer);
    buffer = nullptr;
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool EncodePng(CRaster& image, CRasterStream* stream)
{
    if (!stream || !image.dib)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &image, EncodeError, Warning);
    if (!png) {
        image.SetLastError("Failed to create PNG structure");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        image.SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    const int32_t w = image.Width(), h = image.Height();
    const uint32_t entries = image.PaletteCount();
    const bool palette = entries != 0;
    const bool keyed = image.transparentIndex >= 0;
    const bool withAlpha = !palette && (image.alpha || keyed);
    const size_t rowBytes = withAlpha ? size_t(w) * 4 : image.rowStride;
    uint8_t* volatile row = static_cast<uint8_t*>(std::malloc(rowBytes));
    if (!row) {
        png_destroy_write_struct(&png, &info);
        image.SetLastError("Error saving PNG file");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        std::free(row);
        png_destroy_write_struct(&png, &info);
        image.SetLastError("Error saving PNG file");
        return false;
    }
    png_set_write_fn(png, stream, WriteData, FlushData);

    if (palette) {
        int32_t index = image.transparentIndex;
        const bool validIndex = index >= 0 && static_cast<uint32_t>(index) < entries;
        if (validIndex && index != 0) {
            // A one-entry transparency chunk can only name entry 0: move the colour there.
            // The pixels move with it, so the picture (and the caller's, shared) stays the same.
            image.ExchangePaletteEntries(0, static_cast<uint8_t>(index));
            image.transparentIndex = 0;
            if (image.sharedWith)
                image.sharedWith->transparentIndex = 0;
        }
        png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), image.BitsPerPixel(),
                     PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_color colours[256];
        png_byte alphas[256];
        const RGBQUAD* p = image.PaletteEntries();
        for (uint32_t i = 0; i < entries; ++i) {
            colours[i] = png_color{p[i].rgbRed, p[i].rgbGreen, p[i].rgbBlue};
            alphas[i] = p[i].rgbReserved;
        }
        png_set_PLTE(png, info, colours, static_cast<int>(entries));
        if (image.paletteAlphaOn) {
            png_set_tRNS(png, info, alphas, static_cast<int>(entries), nullptr);
        } else if (validIndex) {
            png_byte zero = 0;
            png_set_tRNS(png, info, &zero, 1, nullptr);
        }
    } else {
        png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                     withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    }
    png_write_info(png, info);

    // The colour key of a 24-bit image is applied per row, not into the caller's plane.
    const RGBQUAD key = image.TransparentColour();
    for (int32_t y = h - 1; y >= 0; --y) {
        const uint8_t* src = image.Row(y);
        if (palette) {
            std::memcpy(row, src, rowBytes);
        } else if (withAlpha) {
            const uint8_t* a = image.alpha ? image.alpha + size_t(y) * size_t(w) : nullptr;
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* s = src + 3 * size_t(x);
                uint8_t* d = row + 4 * size_t(x);
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
                unsigned level = a ? a[x] * unsigned(image.alphaMax) / 255 : 255;
                if (keyed && s[0] == key.rgbBlue && s[1] == key.rgbGreen && s[2] == key.rgbRed &&
                    image.transparentColor.rgbReserved == key.rgbReserved)
                    level = 0;
                d[3] = static_cast<uint8_t>(level);
            }
        } else {
            for (int32_t x = 0; x < w; ++x) {
                row[3 * x] = src[3 * x + 2];
                row[3 * x + 1] = src[3 * x + 1];
                row[3 * x + 2] = src[3 * x];
            }
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    std::free(row);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool CRasterPNG::Decode(CRasterStream* stream)
{
    return DecodePng(*this, stream);
}

bool CRasterPNG::Encode(CRasterStream* stream)
{
    return EncodePng(*this, stream);
}
