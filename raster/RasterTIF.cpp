// TIFF pages: true-colour kinds through libtiff's RGBA reader, palette and grey kinds strip by
// strip into palette images. libtiff never reports to anyone: its handlers are silent and its
// failures become this codec's own texts.
#include "raster/RasterTIF.h"

#include "raster/RasterStream.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Failures travel as their text to the end of the operation.
struct TiffFailure {
    const char* text;
};

tmsize_t StreamRead(thandle_t h, void* buffer, tmsize_t size)
{
    if (size <= 0)
        return 0;
    return static_cast<tmsize_t>(static_cast<CRasterStream*>(h)->Read(buffer, 1, static_cast<size_t>(size)));
}

tmsize_t StreamWrite(thandle_t h, void* buffer, tmsize_t size)
{
    if (size <= 0)
        return 0;
    return static_cast<tmsize_t>(static_cast<CRasterStream*>(h)->Write(buffer, 1, static_cast<size_t>(size)));
}

toff_t StreamSeek(thandle_t h, toff_t offset, int origin)
{
    auto* stream = static_cast<CRasterStream*>(h);
    // libtiff's offsets are unsigned; from the current position or the end they wrap to
    // negative steps.
    if (!stream->Seek(static_cast<int64_t>(offset), origin))
        return static_cast<toff_t>(-1); // a failed seek must not look like a seek to 0
    return origin == SEEK_SET ? offset : static_cast<toff_t>(stream->Tell());
}

int StreamClose(thandle_t)
{
    return 0; // the stream belongs to the caller
}

toff_t StreamSize(thandle_t h)
{
    int64_t size = static_cast<CRasterStream*>(h)->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

// libtiff 4.5 refuses every uncompressed tile it reads through its own buffer (it compares the
// buffer's rounded size with the tile's size); "mapped" files take another path. Memory streams
// lend their block. A file is read whole into memory instead of being mapped from disk: a mapped
// file that shrinks (removable media, another program) would kill the program with SIGBUS.
int StreamMap(thandle_t h, void** base, toff_t* size)
{
    auto* stream = static_cast<CRasterStream*>(h);
    if (auto* memory = dynamic_cast<CRasterMemStream*>(stream)) {
        const int64_t length = memory->Size();
        uint8_t* block = memory->DetachBuffer(false);
        if (!block || length <= 0)
            return 0;
        *base = block;
        *size = static_cast<toff_t>(length);
        return 1;
    }
    auto* file = dynamic_cast<CRasterFileStream*>(stream);
    if (!file)
        return 0;
    const int64_t length = file->Size();
    const int64_t position = file->Tell();
    if (length <= 0 || uint64_t(length) > CRaster::MaxBlockBytes.load() || position < 0)
        return 0;
    auto* copy = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length)));
    if (!copy)
        return 0;
    const bool read = file->Seek(0, SEEK_SET) &&
                      file->Read(copy, 1, static_cast<size_t>(length)) == static_cast<size_t>(length);
    file->Seek(position, SEEK_SET);
    if (!read) {
        std::free(copy);
        return 0;
    }
    *base = copy;
    *size = static_cast<toff_t>(length);
    return 1;
}

void StreamUnmap(thandle_t h, void* base, toff_t)
{
    if (base && dynamic_cast<CRasterFileStream*>(static_cast<CRasterStream*>(h)))
        std::free(base);
}

void Silent(const char*, const char*, va_list) {}

int SilentExt(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

void SilenceLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(Silent);
        TIFFSetWarningHandler(Silent);
    });
}

int Luminance(RGBQUAD c)
{
    return (c.rgbRed * 30 + c.rgbGreen * 59 + c.rgbBlue * 11) / 100;
}

int32_t ToInt(float v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<int32_t>(std::clamp(v, -2147483520.0f, 2147483520.0f));
}

} // namespace

TIFF* TiffOpenStream(CRasterStream* stream, const char* mode)
{
    if (!stream)
        return nullptr;
    SilenceLibrary();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, SilentExt, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, SilentExt, nullptr);
    // A hostile strip or directory size must not make libtiff allocate beyond our own limit.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(CRaster::MaxBlockBytes.load()));
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", mode, static_cast<thandle_t>(stream), StreamRead, StreamWrite,
                                  StreamSeek, StreamClose, StreamSize, StreamMap, StreamUnmap, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

CRasterTIF::~CRasterTIF()
{
    CloseHandle();
}

void CRasterTIF::CloseHandle()
{
    if (handle)
        TIFFClose(handle);
    handle = nullptr;
    multiPage = false;
    pagesWritten = 0;
}

namespace {

class TiffReader {
public:
    explicit TiffReader(TIFF* tif) : tif(tif) {}
    ~TiffReader()
    {
        if (tif)
            TIFFClose(tif);
    }
    TIFF* tif;
};

void Check(bool ok, const char* text)
{
    if (!ok)
        throw TiffFailure{text};
}

void DecodeTrueColour(CRaster& image, TIFF* tif, uint32_t width, uint32_t length)
{
    uint64_t count = uint64_t(width) * length;
    std::vector<uint32_t> raster;
    try {
        raster.resize(count);
    } catch (const std::bad_alloc&) {
        throw TiffFailure{"No space for raster buffer"};
    }
    // The reader premultiplies unassociated alpha, which the alpha plane does not want: naming
    // the sample associated (in memory only) makes it hand the colours over as stored.
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 &&
        extra[0] == EXTRASAMPLE_UNASSALPHA) {
        std::vector<uint16_t> associated(extra, extra + extraCount);
        associated[0] = EXTRASAMPLE_ASSOCALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, extraCount, associated.data());
    }
    Check(TIFFReadRGBAImage(tif, width, length, raster.data(), 1) != 0, "Corrupted TIFF file!");
    const bool withAlpha = image.alpha != nullptr;
    for (uint32_t y = 0; y < length; ++y) {
        Check(!image.EscapeRequested(), "Cancelled");
        const uint32_t* src = raster.data() + size_t(y) * width;
        uint8_t* dst = image.Row(static_cast<int32_t>(y));
        uint8_t* a = withAlpha ? image.alpha + size_t(y) * width : nullptr;
        for (uint32_t x = 0; x < width; ++x, dst += 3) {
            uint32_t v = src[x];
            unsigned r = TIFFGetR(v), g = TIFFGetG(v), b = TIFFGetB(v), al = TIFFGetA(v);
            dst[0] = static_cast<uint8_t>(b);
            dst[1] = static_cast<uint8_t>(g);
            dst[2] = static_cast<uint8_t>(r);
            if (a)
                a[x] = static_cast<uint8_t>(al);
        }
    }
}

// libtiff's RGBA reader cannot handle 16-bit separated (CMYK) samples: read the rows here and
// convert their high bytes the way the reader converts 8-bit CMYK.
void DecodeCmyk16(CRaster& image, TIFF* tif, uint32_t width, uint32_t length, uint16_t samples, uint16_t planar)
{
    Check(!TIFFIsTiled(tif) && planar == PLANARCONFIG_CONTIG, "Unsupported TIFF format");
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    Check(lineSize > 0 && uint64_t(lineSize) >= uint64_t(width) * samples * 2 &&
              uint64_t(lineSize) <= CRaster::MaxBlockBytes.load(),
          "Corrupted TIFF file!");
    std::vector<uint16_t> line((static_cast<size_t>(lineSize) + 1) / 2);
    const bool withAlpha = image.alpha != nullptr;
    for (uint32_t row = 0; row < length; ++row) {
        Check(!image.EscapeRequested(), "Cancelled");
        Check(TIFFReadScanline(tif, line.data(), row, 0) >= 0, "Corrupted TIFF file!");
        const int32_t y = static_cast<int32_t>(length - 1 - row);
        uint8_t* dst = image.Row(y);
        uint8_t* a = withAlpha ? image.alpha + size_t(y) * width : nullptr;
        for (uint32_t x = 0; x < width; ++x, dst += 3) {
            const uint16_t* p = line.data() + size_t(x) * samples;
            const unsigned k = 255 - (p[3] >> 8);
            dst[0] = static_cast<uint8_t>(k * (255 - (p[2] >> 8)) / 255);
            dst[1] = static_cast<uint8_t>(k * (255 - (p[1] >> 8)) / 255);
            dst[2] = static_cast<uint8_t>(k * (255 - (p[0] >> 8)) / 255);
            if (a)
                a[x] = samples > 4 ? static_cast<uint8_t>(p[4] >> 8) : 255;
        }
    }
}

// Samples libtiff's RGBA reader does not take: 32- and 64-bit floating point, 32-bit unsigned.
// Grey (with alpha) becomes an 8-bit grey picture, RGB (with alpha) a 24-bit one; floating
// point values run from SMinSampleValue to SMaxSampleValue (0 to 1 when absent), as the writers
// of such files (ImageMagick among them) store them.
bool WideSamples(uint16_t bits, uint16_t format)
{
    return (format == SAMPLEFORMAT_IEEEFP && (bits == 32 || bits == 64)) || (format == SAMPLEFORMAT_UINT && bits == 32);
}

void DecodeWideSamples(CRaster& image, TIFF* tif, uint32_t width, uint32_t length, uint16_t samples, uint16_t bits,
                       uint16_t format, uint16_t photometric, uint16_t planar)
{
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const uint16_t colours = grey ? 1 : 3;
    const bool withAlpha = samples > colours;
    const bool tiled = TIFFIsTiled(tif);
    Check(!tiled || planar == PLANARCONFIG_CONTIG, "Unsupported TIFF format");
    double low = 0, high = 1;
    if (format == SAMPLEFORMAT_IEEEFP) {
        double value = 0;
        if (TIFFGetField(tif, TIFFTAG_SMINSAMPLEVALUE, &value) && std::isfinite(value))
            low = value;
        if (TIFFGetField(tif, TIFFTAG_SMAXSAMPLEVALUE, &value) && std::isfinite(value))
            high = value;
        if (!(high > low))
            low = 0, high = 1;
    }
    const size_t bytes = bits / 8;
    auto level = [&](const uint8_t* p) -> uint8_t {
        double v;
        if (format == SAMPLEFORMAT_UINT) {
            uint32_t u;
            std::memcpy(&u, p, 4);
            return static_cast<uint8_t>(u >> 24);
        }
        if (bits == 32) {
            float f;
            std::memcpy(&f, p, 4);
            v = f;
        } else {
            std::memcpy(&v, p, 8);
        }
        v = (v - low) / (high - low);
        if (!(v > 0)) // NaN too
            return 0;
        return v >= 1 ? 255 : static_cast<uint8_t>(v * 255 + 0.5);
    };
    const uint64_t perLine = planar == PLANARCONFIG_CONTIG ? uint64_t(width) * samples * bytes : uint64_t(width) * bytes;
    const tmsize_t lineSize = tiled ? tmsize_t(perLine) : TIFFScanlineSize(tif);
    Check(lineSize > 0 && uint64_t(lineSize) >= perLine && uint64_t(lineSize) <= CRaster::MaxBlockBytes.load(),
          "Corrupted TIFF file!");
    std::vector<uint8_t> line(static_cast<size_t>(lineSize));
    // Tiles are read a band of whole rows at a time.
    uint32_t tileWidth = 0, tileLength = 0;
    std::vector<uint8_t> band, tile;
    if (tiled) {
        const tmsize_t tileBytes = TIFFTileSize(tif);
        Check(TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) && TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength) &&
                  tileWidth > 0 && tileLength > 0 && tileBytes > 0 &&
                  uint64_t(tileBytes) >= uint64_t(tileWidth) * tileLength * samples * bytes &&
                  uint64_t(tileBytes) <= CRaster::MaxBlockBytes.load() &&
                  perLine * std::min(tileLength, length) <= CRaster::MaxBlockBytes.load(),
              "Corrupted TIFF file!");
        tile.resize(static_cast<size_t>(tileBytes));
        band.resize(static_cast<size_t>(perLine * std::min(tileLength, length)));
    }
    auto readLine = [&](uint32_t row, uint16_t plane) {
        if (!tiled)
            return TIFFReadScanline(tif, line.data(), row, plane) >= 0;
        const uint32_t inBand = row % tileLength;
        if (inBand == 0) {
            std::fill(band.begin(), band.end(), 0);
            const uint64_t rows = std::min<uint64_t>(tileLength, length - row);
            const uint64_t tileLine = uint64_t(tileWidth) * samples * bytes;
            for (uint32_t col = 0; col < width; col += tileWidth) {
                if (TIFFReadTile(tif, tile.data(), col, row, 0, 0) < 0)
                    return false;
                const uint64_t offset = uint64_t(col) * samples * bytes;
                const size_t n = static_cast<size_t>(std::min(tileLine, perLine - offset));
                for (uint64_t r = 0; r < rows; ++r)
                    std::memcpy(band.data() + r * perLine + offset, tile.data() + r * tileLine, n);
            }
        }
        std::memcpy(line.data(), band.data() + uint64_t(inBand) * perLine, static_cast<size_t>(perLine));
        return true;
    };
    const uint16_t planes = planar == PLANARCONFIG_CONTIG ? 1 : samples;
    // The levels of every sample, row by row. Separate planes come one after the other (and
    // compressed strips read forwards only), so then the whole picture's levels are gathered
    // before any row is made.
    const uint64_t levelRows = planes == 1 ? 1 : length;
    Check(uint64_t(width) * samples * levelRows <= CRaster::MaxBlockBytes.load(), "No space for raster buffer");
    std::vector<uint8_t> levels(static_cast<size_t>(uint64_t(width) * samples * levelRows));
    auto gather = [&](uint32_t row, uint16_t plane) {
        Check(!image.EscapeRequested(), "Cancelled");
        Check(readLine(row, plane), "Corrupted TIFF file!");
        uint8_t* out = levels.data() + (planes == 1 ? 0 : size_t(row) * width * samples);
        for (uint32_t x = 0; x < width; ++x)
            if (planes == 1)
                for (uint16_t s = 0; s < samples; ++s)
                    out[size_t(x) * samples + s] = level(&line[(size_t(x) * samples + s) * bytes]);
            else
                out[size_t(x) * samples + plane] = level(&line[size_t(x) * bytes]);
    };
    for (uint16_t plane = 1; plane < planes; ++plane)
        for (uint32_t row = 0; row < length; ++row)
            gather(row, plane);
    for (uint32_t row = 0; row < length; ++row) {
        gather(row, 0);
        const uint8_t* rowLevels = levels.data() + (planes == 1 ? 0 : size_t(row) * width * samples);
        const int32_t y = static_cast<int32_t>(length - 1 - row);
        uint8_t* dst = image.Row(y);
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* v = &rowLevels[size_t(x) * samples];
            if (grey) {
                dst[x] = photometric == PHOTOMETRIC_MINISWHITE ? static_cast<uint8_t>(255 - v[0]) : v[0];
            } else {
                dst[3 * x] = v[2];
                dst[3 * x + 1] = v[1];
                dst[3 * x + 2] = v[0];
            }
            if (withAlpha && image.alpha)
                image.alpha[size_t(y) * width + x] = v[colours];
        }
    }
}

void ApplyOrientation(CRaster& image, uint16_t orientation)
{
    switch (orientation) {
    case 2: image.Mirror(); break;
    case 3: image.Flip(); image.Mirror(); break;
    case 4: image.Flip(); break;
    case 5: image.TurnRight(); image.Mirror(); break;
    case 6: image.TurnRight(); break;
    case 7: image.TurnLeft(); image.Mirror(); break;
    case 8: image.TurnLeft(); break;
    default: break;
    }
}

void DecodeIndexed(CRaster& image, TIFF* tif, uint32_t width, uint32_t length, uint16_t samples, uint16_t bits,
                   uint16_t photometric, uint32_t rowsPerStrip)
{
    const uint32_t entries = image.PaletteCount();
    RGBQUAD* palette = image.PaletteEntries();
    Check(palette != nullptr, "Unable to allocate TIFF palette");
    if ((photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) && image.BitsPerPixel() == 1) {
        const uint8_t white = photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0;
        palette[white] = RGBQUAD{255, 255, 255, 0};
        palette[1 - white] = RGBQUAD{0, 0, 0, 0};
    } else if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) {
        const uint32_t step = 255 / (entries - 1);
        for (uint32_t i = 0; i < entries; ++i) {
            auto v = static_cast<uint8_t>(i * step);
            if (photometric == PHOTOMETRIC_MINISWHITE)
                v = static_cast<uint8_t>(255 - v);
            palette[i] = RGBQUAD{v, v, v, 0};
        }
    } else if (photometric == PHOTOMETRIC_PALETTE) {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) && red && green && blue) {
            const uint32_t used = std::min<uint32_t>(entries, 1u << std::min<uint16_t>(bits, 16));
            bool wide = false;
            for (uint32_t i = 0; i < used; ++i)
                wide = wide || red[i] > 255 || green[i] > 255 || blue[i] > 255;
            auto level = [&](uint16_t v) { return static_cast<uint8_t>(wide ? v * 255u / 65535u : v); };
            for (uint32_t i = 0; i < used; ++i)
                palette[i] = RGBQUAD{level(blue[i]), level(green[i]), level(red[i]), 0};
        }
    }

    const uint64_t lineBytes = (uint64_t(samples) * bits * width + 7) / 8;
    // Rows come a strip at a time, or a band of tiles at a time gathered into whole rows.
    const bool tiled = TIFFIsTiled(tif);
    uint32_t tileWidth = 0, bandRows = rowsPerStrip;
    if (tiled) {
        uint32_t tileLength = 0;
        Check(TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) && TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength) &&
                  tileWidth > 0 && tileLength > 0 && (uint64_t(tileWidth) * samples * bits) % 8 == 0,
              "Corrupted TIFF file!");
        bandRows = std::min(tileLength, length);
    }
    const uint64_t stripBytes = lineBytes * bandRows;
    Check(stripBytes <= CRaster::MaxBlockBytes.load(), "Corrupted TIFF file!");
    std::vector<uint8_t> strip, tile;
    uint64_t tileLine = 0;
    try {
        strip.resize(static_cast<size_t>(stripBytes));
        if (tiled) {
            const tmsize_t tileBytes = TIFFTileSize(tif);
            tileLine = static_cast<uint64_t>(TIFFTileRowSize(tif));
            Check(tileBytes > 0 && uint64_t(tileBytes) <= CRaster::MaxBlockBytes.load() && tileLine > 0 &&
                      tileLine * bandRows <= uint64_t(tileBytes),
                  "Corrupted TIFF file!");
            tile.resize(static_cast<size_t>(tileBytes));
        }
    } catch (const std::bad_alloc&) {
        throw TiffFailure{"Corrupted TIFF file!"};
    }
    for (uint32_t start = 0; start < length; start += std::min(bandRows, length - start)) {
        Check(!image.EscapeRequested(), "Cancelled");
        const uint32_t rows = std::min(bandRows, length - start);
        // A short strip or tile leaves zeros, not the previous band's rows.
        std::fill(strip.begin(), strip.end(), 0);
        if (!tiled) {
            tmsize_t got = TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, start, 0), strip.data(),
                                                static_cast<tmsize_t>(rows * lineBytes));
            Check(got >= 0, "Corrupted TIFF file!");
        }
        for (uint64_t col = 0; tiled && col < width; col += tileWidth) {
            Check(TIFFReadTile(tif, tile.data(), static_cast<uint32_t>(col), start, 0, 0) >= 0, "Corrupted TIFF file!");
            // Tile widths are multiples of 16 pixels, so every tile starts on a byte.
            const uint64_t offset = col * samples * bits / 8;
            const size_t bytes = static_cast<size_t>(std::min(tileLine, lineBytes - offset));
            for (uint32_t r = 0; r < rows; ++r)
                std::memcpy(strip.data() + r * lineBytes + offset, tile.data() + r * tileLine, bytes);
        }
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* src = strip.data() + r * lineBytes;
            const int32_t y = static_cast<int32_t>(length - 1 - (start + r));
            uint8_t* dst = image.Row(y);
            if (samples == 1 && bits == 16) {
                const auto* wide = reinterpret_cast<const uint16_t*>(src);
                for (uint32_t x = 0; x < width; ++x)
                    dst[x] = static_cast<uint8_t>(wide[x] >> 8);
            } else if (samples == 1) {
                std::memcpy(dst, src, static_cast<size_t>(std::min<uint64_t>(lineBytes, image.rowStride)));
            } else if (bits == 16) {
                // libtiff's RGBA reader drops the alpha of 16-bit grey + alpha: read the high bytes.
                const auto* wide = reinterpret_cast<const uint16_t*>(src);
                for (uint32_t x = 0; x < width; ++x) {
                    image.WritePixelIndex(x, y, static_cast<uint8_t>(wide[2 * x] >> 8));
                    image.SetAlphaValue(x, y, static_cast<uint8_t>(wide[2 * x + 1] >> 8));
                }
            } else {
                for (uint32_t x = 0; x < width; ++x) {
                    image.WritePixelIndex(x, y, src[2 * x]);
                    image.SetAlphaValue(x, y, src[2 * x + 1]);
                }
            }
        }
    }
}

} // namespace

bool CRasterTIF::Decode(CRasterStream* stream)
{
    if (!stream)
        return false;
    try {
        TiffReader reader(TiffOpenStream(stream, "rb"));
        TIFF* tif = reader.tif;
        Check(tif != nullptr, "Error encountered while opening TIFF file");

        frameCount = 0;
        while (frameCount < 65535 && TIFFSetDirectory(tif, static_cast<tdir_t>(frameCount)))
            ++frameCount;
        Check(frame >= 0 && frame <= 65535 && TIFFSetDirectory(tif, static_cast<tdir_t>(frame)),
              "Error: page not present in TIFF file");

        uint16_t compression = 1, samples = 1, bits = 1, photometric = 0, orientation = 1, planar = 1;
        uint16_t sampleFormat = SAMPLEFORMAT_UINT;
        uint32_t width = 0, length = 0, rowsPerStrip = 0xFFFFFFFF;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
        TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
        float xRes = 0, yRes = 0, xPos = 0, yPos = 0;
        // The unit is not consulted: the value is taken as dots per inch.
        if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xRes) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yRes)) {
            SetHorizontalDpi(ToInt(xRes));
            SetVerticalDpi(ToInt(yRes));
        }
        if (TIFFGetField(tif, TIFFTAG_XPOSITION, &xPos) && TIFFGetField(tif, TIFFTAG_YPOSITION, &yPos)) {
            xOffset = ToInt(xPos);
            yOffset = ToInt(yPos);
        }
        transparentIndex = -1;
        if (rowsPerStrip > length) {
            rowsPerStrip = length;
            if (!TIFFIsTiled(tif)) // a tiled file has no strips to resize
                TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        }
        Check(width > 0 && length > 0 && width <= 0x7FFFFFFF && length <= 0x7FFFFFFF && rowsPerStrip > 0,
              "Corrupted TIFF file!");

        bool trueColour = (photometric == PHOTOMETRIC_RGB && bits >= 8) || photometric == PHOTOMETRIC_SEPARATED ||
                          photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_LOGL ||
                          photometric == PHOTOMETRIC_LOGLUV;
        // The strip path reads packed 1-, 4-, 8- and 16-bit samples of contiguous strips or
        // tiles; anything else (2-bit grey, float samples, separate planes, ...) goes through
        // the RGBA reader rather than being read as bytes it is not.
        const bool stripReadable = planar == PLANARCONFIG_CONTIG &&
                                   (bits == 1 || bits == 4 || bits == 8 || bits == 16) &&
                                   (samples == 1 || (samples == 2 && (bits == 8 || bits == 16)));
        if (!trueColour && !stripReadable)
            trueColour = true;
        int depth = 24;
        if (!trueColour) {
            const bool grey = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
            depth = grey && bits == 1 ? 1 : bits == 4 ? 4 : 8;
            if (bits == 1 && !grey)
                depth = 1;
        }
        // Floating point and 32-bit samples in grey or RGB, with or without alpha.
        const bool greyPhotometric = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
        const bool wide = WideSamples(bits, sampleFormat) &&
                          ((greyPhotometric && (samples == 1 || samples == 2)) ||
                           (photometric == PHOTOMETRIC_RGB && (samples == 3 || samples == 4)));
        if (wide) {
            depth = greyPhotometric ? 8 : 24;
            trueColour = false;
        }
        Check(!EscapeRequested(), "Cancelled");
        Check(Create(static_cast<int32_t>(width), static_cast<int32_t>(length), depth, RasterFormatTIF) != nullptr,
              "No space for raster buffer");
        // Grey + alpha of any depth, or colour + alpha.
        if (samples == 4 || samples == 2)
            Check(CreateAlphaPlane() != nullptr, "No space for raster buffer");
        uint16_t inkSet = INKSET_CMYK;
        TIFFGetField(tif, TIFFTAG_INKSET, &inkSet);
        if (wide) {
            if (depth == 8)
                MakeGreyPalette();
            DecodeWideSamples(*this, tif, width, length, samples, bits, sampleFormat, photometric, planar);
            ApplyOrientation(*this, orientation);
        } else if (photometric == PHOTOMETRIC_SEPARATED && bits == 16 && samples >= 4 && inkSet == INKSET_CMYK) {
            DecodeCmyk16(*this, tif, width, length, samples, planar);
            ApplyOrientation(*this, orientation);
        } else if (trueColour) {
            DecodeTrueColour(*this, tif, width, length);
        } else {
            DecodeIndexed(*this, tif, width, length, samples, bits, photometric, rowsPerStrip);
            ApplyOrientation(*this, orientation);
        }
        return true;
    } catch (const TiffFailure& failure) {
        SetLastError(failure.text);
    } catch (const std::bad_alloc&) {
        SetLastError("No space for raster buffer");
    }
    return false;
}

bool CRasterTIF::EncodePage(bool multiPageFile, int page, int pageCount)
{
    TIFF* tif = handle;
    const int32_t w = Width(), h = Height();
    const bool withAlpha = alpha != nullptr;
    int bitsPerPixel = BitsPerPixel();
    uint16_t samples = bitsPerPixel == 24 ? 3 : 1;
    if (bitsPerPixel == 24 && withAlpha) {
        bitsPerPixel = 32;
        samples = 4;
    }
    const uint16_t bitsPerSample = static_cast<uint16_t>(bitsPerPixel / samples);

    uint16_t photometric;
    if (bitsPerPixel == 1) {
        photometric = PHOTOMETRIC_MINISWHITE;
        RGBQUAD* p = PaletteEntries();
        if (Luminance(p[0]) < Luminance(p[1])) {
            // Bit 0 must be the lighter colour: swap the entries and invert the pixels, which
            // keeps the same picture (the caller's too, which this image shows).
            std::swap(p[0], p[1]);
            for (uint32_t i = 0; i < header.biSizeImage; ++i)
                pixels[i] = static_cast<uint8_t>(~pixels[i]);
        }
    } else if (bitsPerPixel <= 8) {
        photometric = HasGreyPalette() ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;
    } else {
        photometric = PHOTOMETRIC_RGB;
    }
    if (bitsPerPixel == 8 && withAlpha)
        samples = 2;

    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(h));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(xDpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(yDpi));
    if (multiPageFile) {
        char name[32];
        std::snprintf(name, sizeof name, "Page %d", page);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page), static_cast<uint16_t>(pageCount));
        TIFFSetField(tif, TIFFTAG_PAGENAME, name);
    } else {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    }
    if (photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> red(256, 0), green(256, 0), blue(256, 0);
        const RGBQUAD* p = PaletteEntries();
        for (uint32_t i = 0; i < std::min(PaletteCount(), 256u); ++i) {
            red[i] = static_cast<uint16_t>(p[i].rgbRed * 257);
            green[i] = static_cast<uint16_t>(p[i].rgbGreen * 257);
            blue[i] = static_cast<uint16_t>(p[i].rgbBlue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    switch (bitsPerPixel) {
    case 1: TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4); break;
    case 8: TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS); break;
    default:
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        if (bitsPerPixel >= 24) {
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, static_cast<int>(jpegQuality)); // refused under LZW
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8u);
        }
        break;
    }

    std::vector<uint8_t> row(std::max<size_t>(rowStride, size_t(w) * 4) + 8);
    for (int32_t y = h - 1; y >= 0; --y) {
        const uint8_t* src = Row(y);
        const uint8_t* a = withAlpha ? alpha + size_t(y) * size_t(w) : nullptr;
        if (bitsPerPixel <= 8 && samples == 1) {
            std::memcpy(row.data(), src, rowStride);
        } else if (samples == 2) {
            for (int32_t x = 0; x < w; ++x) {
                row[2 * x] = src[x];
                row[2 * x + 1] = a[x];
            }
        } else if (bitsPerPixel == 24) {
            for (int32_t x = 0; x < w; ++x) {
                row[3 * x] = src[3 * x + 2];
                row[3 * x + 1] = src[3 * x + 1];
                row[3 * x + 2] = src[3 * x];
            }
        } else {
            for (int32_t x = 0; x < w; ++x) {
                row[4 * x] = src[3 * x + 2];
                row[4 * x + 1] = src[3 * x + 1];
                row[4 * x + 2] = src[3 * x];
                row[4 * x + 3] = a[x];
            }
        }
        if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(h - 1 - y), 0) < 0)
            return false;
    }
    return true;
}

bool CRasterTIF::Encode(CRasterStream* stream, bool append)
{
    try {
        Check(stream != nullptr, "invalid file pointer");
        Check(dib != nullptr, "Error saving TIFF file");
        if (!handle)
            handle = TiffOpenStream(stream, "w+b");
        Check(handle != nullptr, "initialization fail");
        if (append || pagesWritten > 0)
            multiPage = true;
        ++pagesWritten;
        Check(EncodePage(multiPage, pagesWritten, pagesWritten), "Error saving TIFF file");
        if (append) {
            Check(TIFFWriteDirectory(handle) != 0, "Error saving TIFF directory");
            return true;
        }
        // Flushing writes the last directory; a stream that refused bytes fails the save.
        Check(TIFFFlush(handle) != 0, "Error saving TIFF file");
        CloseHandle();
        return true;
    } catch (const TiffFailure& failure) {
        SetLastError(failure.text);
    } catch (const std::bad_alloc&) {
        SetLastError("Error saving TIFF file");
    }
    CloseHandle();
    return false;
}
