#include "raster/RasterPCX.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

using namespace codectest;

TEST(PcxCodec, DecodesImageMagickVariants)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 37, 23, true);
    ASSERT_FALSE(src.empty());
    struct Variant {
        const char* options;
        int planes;
        int imageBits;
    };
    const Variant variants[] = {
        {"-alpha off -type truecolor", 3, 24},
        {"-type truecolormatte", 4, 24},
        {"-alpha off -colors 200 -type palette", 1, 8},
        {"-alpha off -colors 16 -type palette", 1, 8},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.options);
        const std::string file = dir / "v.pcx";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + " PCX:'" + file + "'"));
        std::vector<uint8_t> bytes = ReadFile(file);
        ASSERT_EQ(bytes[65], v.planes);
        CRasterPCX img;
        ASSERT_TRUE(DecodeBytes(bytes, img)) << img.lastError;
        EXPECT_EQ(img.BitsPerPixel(), v.imageBits);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(file, dir), 37));
    }
}

// Every depth we write reads back the same here and in ImageMagick.
TEST(PcxCodec, WritesFilesImageMagickReads)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 19, 11, true);
    struct Variant {
        const char* options;  // to make the picture we then write
        int planes;
        int bitsPerPlane;
    };
    const Variant variants[] = {
        {"-alpha off -type truecolor BMP3:", 3, 8},
        {"-alpha off -colors 100 -type palette -compress none BMP3:", 1, 8},
        {"-alpha off -colors 16 -type palette -compress none BMP3:", 4, 1},
        {"-alpha off -monochrome BMP3:", 1, 1},
        {"-type truecolormatte TGA:", 4, 8},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.options);
        const std::string in = dir / "in.img";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + "'" + in + "'"));
        CRaster img;
        std::FILE* f = std::fopen(in.c_str(), "rb");
        ASSERT_TRUE(f);
        ASSERT_TRUE(img.Decode(f, std::string(v.options).find("TGA") != std::string::npos ? RasterFormatTGA : RasterFormatBMP))
            << img.lastError;
        std::fclose(f);
        bool ok = false;
        std::vector<uint8_t> out = EncodeBytes<CRasterPCX>(img, &ok);
        ASSERT_TRUE(ok);
        ASSERT_GT(out.size(), 128u);
        EXPECT_EQ(out[65], v.planes);
        EXPECT_EQ(out[3], v.bitsPerPlane);
        WriteFile(dir / "out.pcx", out);
        // ImageMagick 6 shows a set bit of a one-plane 1-bit PCX as black, unlike the format's
        // own reading (0 black, 1 white) that every other reader keeps; only our read-back checks it.
        if (v.planes != 1 || v.bitsPerPlane != 1) {
            EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(dir / "out.pcx", dir), 19));
        }
        CRasterPCX back;
        ASSERT_TRUE(DecodeBytes(out, back)) << back.lastError;
        EXPECT_TRUE(SameRgba(OurRgba(back), OurRgba(img), 19));
    }
}

TEST(PcxCodec, OddWidthPadsEveryPlaneLine)
{
    CRaster img(3, 1, 24, RasterFormatPCX);
    const RGBQUAD colours[] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
    for (int x = 0; x < 3; ++x)
        img.WritePixelColour(x, 0, colours[x]);
    bool ok = false;
    std::vector<uint8_t> out = EncodeBytes<CRasterPCX>(img, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(rasterio::U16(&out[66]), 4u);
    // Red plane 3, 6, 9, pad; green 2, 5, 8, pad; blue 1, 4, 7, pad.
    const std::vector<uint8_t> data(out.begin() + 128, out.end());
    EXPECT_EQ(data, (std::vector<uint8_t>{3, 6, 9, 0, 2, 5, 8, 0, 1, 4, 7, 0}));
    CRasterPCX back;
    ASSERT_TRUE(DecodeBytes(out, back));
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(back.ReadPixelColour(x, 0), colours[x]);
}

// A white-black palette is written inverted, so that it reads back black-white and looks the same.
TEST(PcxCodec, OneBitPaletteWhiteFirstIsInverted)
{
    CRaster img(10, 2, 1, RasterFormatPCX);
    img.WritePaletteEntry(0, 255, 255, 255);
    img.WritePaletteEntry(1, 0, 0, 0);
    for (int x = 0; x < 10; ++x)
        img.WritePixelIndex(x, 1, x % 3 == 0);
    bool ok = false;
    std::vector<uint8_t> out = EncodeBytes<CRasterPCX>(img, &ok);
    ASSERT_TRUE(ok);
    CRasterPCX back;
    ASSERT_TRUE(DecodeBytes(out, back));
    EXPECT_EQ(back.ReadPaletteEntry(0), (RGBQUAD{0, 0, 0, 0}));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(back.ReadPixelColour(x, y), img.ReadPixelColour(x, y)) << x << "," << y;
            EXPECT_EQ(back.ReadPixelIndex(x, y), 1 - img.ReadPixelIndex(x, y));
        }
}

TEST(PcxCodec, PackValueRunsAndLineEnds)
{
    std::vector<uint8_t> out;
    PcxPackState st;
    for (int i = 0; i < 70; ++i)
        PrasterPackValue(out, 5, st);
    PrasterPackValue(out, 0xC5, st);
    PrasterPackValue(out, 7, st);
    PrasterPackValue(out, -2, st);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 5, 0xC7, 5, 0xC1, 0xC5, 7, 0}));
    std::vector<uint8_t> plane;
    const uint8_t bytes[] = {1, 1, 1, 0xD0, 2};
    PrasterPackPlane(plane, bytes, sizeof bytes);
    EXPECT_EQ(plane, (std::vector<uint8_t>{0xC3, 1, 0xC1, 0xD0, 2}));
}

TEST(PcxCodec, MalformedFilesFailWithTheirText)
{
    CRaster img(4, 4, 8, RasterFormatPCX);
    std::vector<uint8_t> good = EncodeBytes<CRasterPCX>(img);
    ASSERT_GT(good.size(), 128u + 769);
    auto with = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> b = good;
        b[at] = v;
        return b;
    };
    // 4 x 4 zero indexes: each row is one run 0xC4 0 (bytes per line 4).
    std::vector<uint8_t> spans(good.begin(), good.begin() + 128);
    spans.insert(spans.end(), {0xC4, 0, 0xC4, 0, 0xC4, 0, 0xC5, 0});
    std::vector<uint8_t> badMarker = good;
    badMarker[good.size() - 769] = 13;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* error;
    };
    const Case cases[] = {
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 100), "Can't read PCX image"},
        {"manufacturer", with(0, 11), "Error: Not a PCX file"},
        {"encoding", with(2, 0), "PCX file has unknown encoding scheme"},
        {"5 planes", with(65, 5), "Can't handle image with more than 4 planes"},
        {"2 planes of 8 bits", with(65, 2), "Can't handle more than 1 bit per pixel"},
        {"truncated data", std::vector<uint8_t>(good.begin(), good.begin() + 131), "corrupted PCX"},
        {"repeat past the end", spans, "repeat count spans end of image"},
        {"colour map marker", badMarker, "bad color map signature"},
        {"line too short", with(66, 2), "corrupted PCX"},
        {"window inverted", with(8, 0xFF), "corrupted PCX"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRasterPCX bad;
        EXPECT_FALSE(DecodeBytes(c.bytes, bad));
        EXPECT_STREQ(bad.lastError, c.error);
    }
}
