#include "raster/RasterTIF.h"
#include "RasterTestUtil.h"

#include <tiffio.h>

#include <cstring>

using namespace rastertest;

namespace {

struct TiffTags {
    bool ok = false;
    uint16_t photometric = 0, samples = 1, bits = 1, compression = 1, planar = 1, subfile = 0;
    uint32_t rowsPerStrip = 0;
    int pages = 0;
    bool tiled = false;
};

// Reads the first directory's tags straight through libtiff, to check what a file holds.
TiffTags ReadTags(const std::string& path)
{
    TiffTags t;
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return t;
    t.ok = true;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &t.samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &t.bits);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &t.compression);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &t.planar);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &t.rowsPerStrip);
    uint32_t subfile = 0;
    TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &subfile);
    t.subfile = uint16_t(subfile);
    t.tiled = TIFFIsTiled(tif);
    t.pages = TIFFNumberOfDirectories(tif);
    TIFFClose(tif);
    return t;
}

int MaxDifferenceWithAlpha(const CRaster& image, const Rgba& expected)
{
    int worst = MaxDifference(image, expected, true);
    return worst;
}

class FailingStream : public CRasterMemStream {
public:
    FailingStream() { Open(); }
    size_t Write(const void*, size_t, size_t) override { return 0; }
};

} // namespace

TEST(RasterTif, DecodesWhatImageMagickWrites)
{
    TempFolder dir;
    struct Case { const char* name; const char* options; uint16_t photometric, samples, bits; int depth; bool alpha; int tolerance; };
    const Case cases[] = {
        {"rgb lzw", "-compress LZW", 2, 3, 8, 24, false, 0},
        {"rgb zip", "-compress Zip", 2, 3, 8, 24, false, 0},
        {"rgb 16", "-depth 16", 2, 3, 16, 24, false, 1},
        {"rgba", "-alpha set -channel A -fx 'i/w' +channel", 2, 4, 8, 24, true, 0},
        {"grey 8", "-colorspace Gray", 1, 1, 8, 8, false, 0},
        {"grey 16", "-colorspace Gray -depth 16", 1, 1, 16, 8, false, 1},
        {"grey 4", "-colorspace Gray -depth 4", 1, 1, 4, 4, false, 0},
        {"grey 2", "-colorspace Gray -depth 2", 1, 1, 2, 24, false, 0},
        {"grey alpha", "-colorspace Gray -alpha set -channel A -fx 'j/h' +channel", 1, 2, 8, 8, true, 0},
        {"bilevel", "-monochrome -depth 1", 1, 1, 1, 1, false, 0},
        {"bilevel g4", "-monochrome -depth 1 -compress Group4", 0, 1, 1, 1, false, 0},
        {"palette", "-colors 40 -type Palette", 3, 1, 8, 8, false, 0},
        {"palette 4", "-colors 9 -type Palette -depth 4", 3, 1, 4, 4, false, 0},
        {"tiled", "-compress LZW -define tiff:tile-geometry=16x16", 2, 3, 8, 24, false, 0},
        {"tiled plain", "-compress None -define tiff:tile-geometry=16x16", 2, 3, 8, 24, false, 0},
        // Grey, palette and grey + alpha tiles, with a clipped tile at the right edge.
        {"grey alpha tiled", "-colorspace Gray -alpha set -channel A -fx 'j/h' +channel "
                             "-define tiff:tile-geometry=16x16", 1, 2, 8, 8, true, 0},
        {"palette 4 tiled", "-colors 9 -type Palette -depth 4 -compress LZW -define tiff:tile-geometry=16x16",
         3, 1, 4, 4, false, 0},
        {"bilevel tiled", "-monochrome -depth 1 -define tiff:tile-geometry=16x16", 1, 1, 1, 1, false, 0},
        // Alpha beside 16-bit grey and in separate planes is kept.
        {"grey alpha 16", "-colorspace Gray -alpha set -channel A -fx 'j/h' +channel -depth 16", 1, 2, 16, 8, true, 1},
        {"rgba planar", "-alpha set -channel A -fx 'i/w' +channel -interlace Plane", 2, 4, 8, 24, true, 0},
        {"planar", "-interlace Plane", 2, 3, 8, 24, false, 0},
        {"cmyk", "-colorspace CMYK", 5, 4, 8, 24, true, 2},
        {"cmyk 16", "-colorspace CMYK -depth 16", 5, 4, 16, 24, true, 2},
        {"cmyk 16 zip", "-colorspace CMYK -depth 16 -compress Zip", 5, 4, 16, 24, true, 2},
        {"jpeg", "-compress JPEG -quality 90", 6, 3, 8, 24, false, 3},
        // Floating point and 32-bit samples, which libtiff's RGBA reader does not take.
        {"float rgb", "-define quantum:format=floating-point -depth 32 -compress Zip", 2, 3, 32, 24, false, 1},
        {"float rgba", "-alpha set -channel A -fx 'i/w' +channel -define quantum:format=floating-point -depth 32 "
                       "-compress Zip", 2, 4, 32, 24, true, 1},
        {"float grey", "-colorspace Gray -define quantum:format=floating-point -depth 32 -compress LZW", 1, 1, 32, 8, false, 1},
        {"float grey alpha", "-colorspace Gray -alpha set -channel A -fx 'j/h' +channel "
                             "-define quantum:format=floating-point -depth 32 -compress Zip", 1, 2, 32, 8, true, 1},
        {"float tiled", "-define quantum:format=floating-point -depth 32 -compress Zip -define tiff:tile-geometry=16x16",
         2, 3, 32, 24, false, 1},
        {"float planar", "-define quantum:format=floating-point -depth 32 -compress Zip -interlace Plane", 2, 3, 32, 24, false, 1},
        {"double", "-define quantum:format=floating-point -depth 64 -compress Zip", 2, 3, 64, 24, false, 1},
        {"uint 32", "-depth 32 -compress Zip", 2, 3, 32, 24, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string tif = dir / "in.tif";
        ASSERT_EQ(Shell(std::string(kConvert) + " -size 37x21 -seed 6 plasma: -depth 8 " + c.options + " " + tif), 0);
        TiffTags tags = ReadTags(tif);
        ASSERT_TRUE(tags.ok);
        ASSERT_EQ(tags.samples, c.samples) << "the oracle wrote another layout";
        ASSERT_EQ(tags.bits, c.bits);
        ASSERT_EQ(tags.tiled, std::string(c.name).find("tiled") != std::string::npos);
        if (c.photometric != 6) {
            ASSERT_EQ(tags.photometric, c.photometric);
        }
        CRaster image(0);
        ASSERT_TRUE(DecodeBytes(image, ReadFile(tif), RasterFormatTIF)) << image.lastError;
        EXPECT_EQ(image.BitsPerPixel(), c.depth);
        EXPECT_EQ(image.alpha != nullptr, c.alpha);
        EXPECT_EQ(image.frameCount, 1);
        EXPECT_EQ(image.formatCode, 5u);
        if (std::string(c.name).rfind("cmyk", 0) == 0) {
            EXPECT_LE(MaxDifference(image, ConvertToRgba(tif, 37, 21, "-colorspace sRGB")), c.tolerance);
        } else {
            EXPECT_LE(MaxDifferenceWithAlpha(image, ConvertToRgba(tif, 37, 21)), c.tolerance);
        }
        // Read from the file itself (the way photos are loaded) it is the same picture.
        CRaster loaded(0);
        ASSERT_TRUE(loaded.Load(tif.c_str(), RasterFormatTIF)) << loaded.lastError;
        ASSERT_EQ(loaded.BlockSize(), image.BlockSize());
        EXPECT_EQ(std::memcmp(loaded.dib, image.dib, image.BlockSize()), 0);
        EXPECT_EQ(loaded.alpha != nullptr, c.alpha);
        if (loaded.alpha && image.alpha) {
            EXPECT_EQ(std::memcmp(loaded.alpha, image.alpha, size_t(image.Width()) * image.Height()), 0);
        }
    }
}

TEST(RasterTif, PagesResolutionAndPaletteRamps)
{
    TempFolder dir;
    std::string multi = dir / "multi.tif";
    ASSERT_EQ(Shell(std::string(kConvert) + " -size 9x5 xc:red xc:lime xc:blue " + multi), 0);
    std::vector<uint8_t> bytes = ReadFile(multi);
    for (int frame : {0, 1, 2}) {
        CRaster image(0);
        image.frame = frame;
        ASSERT_TRUE(DecodeBytes(image, bytes, RasterFormatTIF)) << image.lastError;
        EXPECT_EQ(image.frameCount, 3);
        RGBQUAD c = image.ReadPixelColour(4, 2);
        EXPECT_EQ(c.rgbRed, frame == 0 ? 255 : 0);
        EXPECT_EQ(c.rgbGreen, frame == 1 ? 255 : 0);
        EXPECT_EQ(c.rgbBlue, frame == 2 ? 255 : 0);
    }
    for (int frame : {5, 3, -1}) {
        CRaster image(0);
        image.frame = frame;
        EXPECT_FALSE(DecodeBytes(image, bytes, RasterFormatTIF));
        EXPECT_STREQ(image.lastError, "Error: page not present in TIFF file");
        EXPECT_EQ(image.frameCount, 3);
    }

    struct Res { const char* options; int dpi; };
    for (Res r : {Res{"-units PixelsPerInch -density 299.9", 299}, Res{"-units PixelsPerCentimeter -density 118", 118},
                  Res{"-units PixelsPerInch -density 600x300", 600}}) {
        SCOPED_TRACE(r.options);
        std::string tif = dir / "res.tif";
        ASSERT_EQ(Shell(std::string(kConvert) + " -size 4x4 xc:gray " + r.options + " " + tif), 0);
        CRaster image(0);
        ASSERT_TRUE(DecodeBytes(image, ReadFile(tif), RasterFormatTIF));
        EXPECT_EQ(image.xDpi, r.dpi);
    }
    // No resolution tags: the defaults stay.
    CRaster plain(3, 2, 24, 0);
    CRasterMemStream stream;
    stream.Open();
    TIFF* tif = TiffOpenStream(&stream, "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 3u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    uint8_t rows[2] = {0x80, 0x40}; // a dark pixel at x 0 of row 0 and x 1 of row 1
    TIFFWriteScanline(tif, &rows[0], 0, 0);
    TIFFWriteScanline(tif, &rows[1], 1, 0);
    TIFFClose(tif);
    CRaster bilevel(0);
    ASSERT_TRUE(stream.Seek(0, 0));
    ASSERT_TRUE(bilevel.Decode(&stream, RasterFormatTIF)) << bilevel.lastError;
    EXPECT_EQ(bilevel.xDpi, 72);
    EXPECT_EQ(bilevel.ReadPaletteEntry(0), (RGBQUAD{255, 255, 255, 0})); // min-is-white: 0 is white
    EXPECT_EQ(bilevel.ReadPaletteEntry(1), (RGBQUAD{0, 0, 0, 0}));
    EXPECT_EQ(bilevel.ReadPixelIndex(0, 1), 1); // the top row is stored last
    EXPECT_EQ(bilevel.ReadPixelIndex(1, 0), 1);
    EXPECT_EQ(bilevel.ReadPixelIndex(2, 0), 0);
}

TEST(RasterTif, OrientationTagsTurnTheStripPictures)
{
    TempFolder dir;
    const char* orientations[] = {"TopLeft", "TopRight", "BottomRight", "BottomLeft",
                                  "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(orientations[i]);
        std::string tif = dir / "orient.tif";
        ASSERT_EQ(Shell(std::string(kConvert) + " -size 7x4 -seed 2 plasma: -depth 8 -colorspace Gray -orient " +
                        orientations[i] + " " + tif), 0);
        CRaster image(0);
        ASSERT_TRUE(DecodeBytes(image, ReadFile(tif), RasterFormatTIF)) << image.lastError;
        int w = i < 4 ? 7 : 4, h = i < 4 ? 4 : 7;
        EXPECT_EQ(MaxDifference(image, ConvertToRgba(tif, w, h, "-auto-orient")), 0);
    }
}

TEST(RasterTif, WhatWeWriteReadsTheSameInImageMagickAndHere)
{
    TempFolder dir;
    struct Case { const char* name; int bits; bool grey; bool alpha; uint16_t photometric, samples, compression; };
    const Case cases[] = {
        {"1 bit", 1, false, false, PHOTOMETRIC_MINISWHITE, 1, COMPRESSION_CCITTFAX4},
        {"4 bit palette", 4, false, false, PHOTOMETRIC_PALETTE, 1, COMPRESSION_LZW},
        {"8 bit palette", 8, false, false, PHOTOMETRIC_PALETTE, 1, COMPRESSION_PACKBITS},
        {"8 bit grey", 8, true, false, PHOTOMETRIC_MINISBLACK, 1, COMPRESSION_PACKBITS},
        {"8 bit grey alpha", 8, true, true, PHOTOMETRIC_MINISBLACK, 2, COMPRESSION_PACKBITS},
        {"8 bit palette alpha", 8, false, true, PHOTOMETRIC_PALETTE, 2, COMPRESSION_PACKBITS},
        {"24 bit", 24, false, false, PHOTOMETRIC_RGB, 3, COMPRESSION_LZW},
        {"24 bit alpha", 24, false, true, PHOTOMETRIC_RGB, 4, COMPRESSION_LZW},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image(23, 11, c.bits, RasterFormatTIF);
        if (c.grey)
            image.MakeGreyPalette();
        else
            for (uint32_t i = 0; i < image.PaletteCount(); ++i)
                image.WritePaletteEntry(i, uint8_t(i * 41), uint8_t(i * 7), uint8_t(255 - i * 3));
        if (c.bits == 1) {
            image.WritePaletteEntry(0, 0, 0, 0);
            image.WritePaletteEntry(1, 255, 255, 255);
        }
        FillPattern(image, 3);
        if (c.alpha) {
            image.CreateAlphaPlane();
            for (int y = 0; y < 11; ++y)
                for (int x = 0; x < 23; ++x)
                    image.SetAlphaValue(x, y, uint8_t(x * 11 + y * 3));
        }
        image.SetHorizontalDpi(150);
        image.SetVerticalDpi(75);
        CRaster before(image, true, true, true);
        std::string tif = dir / "out.tif";
        ASSERT_TRUE(image.Save(tif.c_str(), RasterFormatTIF)) << image.lastError;
        TiffTags tags = ReadTags(tif);
        ASSERT_TRUE(tags.ok);
        EXPECT_EQ(tags.photometric, c.photometric);
        EXPECT_EQ(tags.samples, c.samples);
        EXPECT_EQ(tags.compression, c.compression);
        EXPECT_EQ(tags.subfile, 0);
        EXPECT_EQ(tags.pages, 1);
        if (c.bits == 24) {
            EXPECT_EQ(tags.rowsPerStrip, 8u);
        }

        Rgba expected;
        expected.width = 23;
        expected.height = 11;
        for (int y = 10; y >= 0; --y)
            for (int x = 0; x < 23; ++x) {
                RGBQUAD col = before.ReadPixelColour(x, y);
                expected.data.insert(expected.data.end(), {col.rgbRed, col.rgbGreen, col.rgbBlue,
                                                           uint8_t(c.alpha ? before.GetAlphaValue(x, y) : 255)});
            }
        // The encode may reorder the palette, never change the picture.
        EXPECT_EQ(MaxDifference(image, expected, true), 0);
        CRaster back(0);
        ASSERT_TRUE(back.Load(tif.c_str(), RasterFormatTIF)) << back.lastError;
        EXPECT_EQ(MaxDifference(back, expected, true), 0);
        EXPECT_EQ(back.xDpi, 150);
        EXPECT_EQ(back.yDpi, 75);
        if (!c.alpha) { // an alpha sample without ExtraSamples is ours to read, not every reader's
            EXPECT_EQ(MaxDifference(back, ConvertToRgba(tif, 23, 11)), 0);
        }
    }
}

TEST(RasterTif, OneBitPaletteIsWrittenLighterFirst)
{
    CRaster image(10, 2, 1, 0);
    image.WritePaletteEntry(0, 0, 0, 0);
    image.WritePaletteEntry(1, 255, 255, 255);
    image.WritePixelIndex(3, 1, 1);
    std::vector<uint8_t> bytes = EncodeBytes(image, RasterFormatTIF);
    ASSERT_FALSE(bytes.empty()) << image.lastError;
    // The caller's image now has white first and inverted bits: the same picture.
    EXPECT_EQ(image.ReadPaletteEntry(0), (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(image.ReadPixelIndex(3, 1), 0);
    EXPECT_EQ(image.ReadPixelIndex(4, 1), 1);
    CRaster back(0);
    ASSERT_TRUE(DecodeBytes(back, bytes, RasterFormatTIF));
    EXPECT_EQ(back.ReadPixelColour(3, 1), (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(back.ReadPixelColour(4, 1), (RGBQUAD{0, 0, 0, 0}));
}

TEST(RasterTif, AppendedPagesMakeOneFile)
{
    TempFolder dir;
    CRasterMemStream stream;
    ASSERT_TRUE(stream.Open());
    CRasterTIF writer;
    for (int page = 0; page < 3; ++page) {
        ASSERT_NE(writer.Create(5 + page, 4, 24, RasterFormatTIF), nullptr);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5 + page; ++x)
                writer.WritePixelColour(x, y, RGBQUAD{uint8_t(page * 100), 0, 0, 0});
        ASSERT_TRUE(writer.Encode(&stream, page < 2)) << writer.lastError;
    }
    std::vector<uint8_t> bytes(stream.DetachBuffer(false), stream.DetachBuffer(false) + stream.Size());
    WriteFile(dir / "pages.tif", bytes);
    TiffTags tags = ReadTags(dir / "pages.tif");
    EXPECT_EQ(tags.pages, 3);
    EXPECT_EQ(tags.subfile, FILETYPE_PAGE);
    for (int frame = 0; frame < 3; ++frame) {
        CRaster image(0);
        image.frame = frame;
        ASSERT_TRUE(DecodeBytes(image, bytes, RasterFormatTIF)) << image.lastError;
        EXPECT_EQ(image.Width(), 5 + frame);
        EXPECT_EQ(image.ReadPixelColour(0, 0).rgbBlue, frame * 100);
    }
    EXPECT_EQ(Shell(std::string(kConvert) + " " + (dir / "pages.tif") + "[2] " + (dir / "p.png")), 0);
}

TEST(RasterTif, FailuresKeepTheirTexts)
{
    CRaster source(30, 20, 8, 0);
    source.MakeGreyPalette();
    FillPattern(source);
    std::vector<uint8_t> tif = EncodeBytes(source, RasterFormatTIF);
    ASSERT_FALSE(tif.empty());

    struct Case { const char* name; std::vector<uint8_t> bytes; const char* error; };
    std::vector<uint8_t> damaged = tif;
    // PackBits strips begin right after the 8-byte header: a count byte that overruns the row.
    for (size_t i = 8; i < 40 && i < damaged.size(); ++i)
        damaged[i] = 0x7F;
    const Case cases[] = {
        {"not a tiff", {'P', 'K', 3, 4, 0, 0, 0, 0}, "Error encountered while opening TIFF file"},
        {"empty", {}, "Error encountered while opening TIFF file"},
        {"header only", std::vector<uint8_t>(tif.begin(), tif.begin() + 8), "Error encountered while opening TIFF file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image(2, 2, 8, 0);
        uint8_t* block = image.dib;
        EXPECT_FALSE(DecodeBytes(image, c.bytes, RasterFormatTIF));
        EXPECT_STREQ(image.lastError, c.error);
        EXPECT_EQ(image.dib, block);
    }
    CRaster image(0);
    if (DecodeBytes(image, damaged, RasterFormatTIF)) {
        EXPECT_EQ(image.Width(), 30); // decoded what was there, no more
    } else {
        EXPECT_STREQ(image.lastError, "Corrupted TIFF file!");
    }

    CRasterTIF codec;
    codec.escape = 1;
    CRasterMemStream stream(tif.data(), tif.size());
    EXPECT_FALSE(codec.Decode(&stream));
    EXPECT_STREQ(codec.lastError, "Cancelled");

    CRasterTIF writer;
    writer.Create(4, 4, 24, RasterFormatTIF);
    EXPECT_FALSE(writer.Encode(nullptr));
    EXPECT_STREQ(writer.lastError, "invalid file pointer");
    FailingStream full;
    EXPECT_FALSE(source.Encode(&full, RasterFormatTIF));
    EXPECT_STREQ(source.lastError, "initialization fail");
}
