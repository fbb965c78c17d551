#include "raster/RasterTGA.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

using namespace codectest;

TEST(TgaCodec, DecodesImageMagickVariants)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 37, 23, true);
    ASSERT_FALSE(src.empty());
    struct Variant {
        const char* options;
        int type;
        int imageBits;
        bool alpha;
    };
    const Variant variants[] = {
        {"-alpha off -colors 50 -type palette", 1, 8, false},
        {"-alpha off -colors 50 -type palette -compress RLE", 9, 8, false},
        {"-alpha off -type truecolor", 2, 24, false},
        {"-alpha off -type truecolor -compress RLE", 10, 24, false},
        {"-alpha off -type grayscale", 3, 8, false},
        {"-alpha off -type grayscale -compress RLE", 11, 8, false},
        {"-type truecolormatte", 2, 24, true},
        {"-type truecolormatte -compress RLE", 10, 24, true},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.options);
        const std::string file = dir / "v.tga";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + " TGA:'" + file + "'"));
        std::vector<uint8_t> bytes = ReadFile(file);
        ASSERT_EQ(bytes[2], v.type);
        CRasterTGA img;
        ASSERT_TRUE(DecodeBytes(bytes, img)) << img.lastError;
        EXPECT_EQ(img.BitsPerPixel(), v.imageBits);
        EXPECT_EQ(img.alpha != nullptr, v.alpha);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(file, dir, "-auto-orient"), 37));
    }
}

namespace {

std::vector<uint8_t> TgaHeader(uint8_t type, uint16_t w, uint16_t h, uint8_t depth, uint8_t descriptor,
                               uint8_t mapType = 0, uint16_t mapLength = 0, uint8_t mapBits = 0)
{
    std::vector<uint8_t> f(18, 0);
    f[1] = mapType;
    f[2] = type;
    rasterio::Put16(&f[5], mapLength);
    f[7] = mapBits;
    rasterio::Put16(&f[12], w);
    rasterio::Put16(&f[14], h);
    f[16] = depth;
    f[17] = descriptor;
    return f;
}

} // namespace

// Origin bits: top-left rows land from the top with their alpha; right-to-left rows are mirrored.
TEST(TgaCodec, OriginBitsAndSixteenBitPixels)
{
    std::vector<uint8_t> f = TgaHeader(2, 2, 2, 32, 0x28);
    const uint8_t px[] = {1, 2, 3, 10, 4, 5, 6, 20,   // top row
                          7, 8, 9, 30, 11, 12, 13, 40};  // bottom row
    f.insert(f.end(), px, px + sizeof px);
    CRasterTGA top;
    ASSERT_TRUE(DecodeBytes(f, top));
    EXPECT_EQ(top.ReadPixelColour(0, 1), (RGBQUAD{1, 2, 3, 0}));
    EXPECT_EQ(top.GetAlphaValue(0, 1), 10);
    EXPECT_EQ(top.ReadPixelColour(1, 0), (RGBQUAD{11, 12, 13, 0}));
    EXPECT_EQ(top.GetAlphaValue(1, 0), 40);

    f[17] = 0x38;  // also right-to-left
    CRasterTGA mirrored;
    ASSERT_TRUE(DecodeBytes(f, mirrored));
    EXPECT_EQ(mirrored.ReadPixelColour(1, 1), (RGBQUAD{1, 2, 3, 0}));
    EXPECT_EQ(mirrored.GetAlphaValue(1, 1), 10);

    // 16-bit 5-5-5: bit 15 is alpha only when the descriptor announces an attribute bit.
    std::vector<uint8_t> s = TgaHeader(2, 2, 1, 16, 0x01);
    const uint8_t words[] = {0x1F, 0x80, 0x00, 0x7C};  // blue with alpha bit, red without
    s.insert(s.end(), words, words + 4);
    CRasterTGA sixteen;
    ASSERT_TRUE(DecodeBytes(s, sixteen));
    EXPECT_EQ(sixteen.ReadPixelColour(0, 0), (RGBQUAD{248, 0, 0, 0}));
    EXPECT_EQ(sixteen.GetAlphaValue(0, 0), 255);
    EXPECT_EQ(sixteen.ReadPixelColour(1, 0), (RGBQUAD{0, 0, 248, 0}));
    EXPECT_EQ(sixteen.GetAlphaValue(1, 0), 0);
    s[17] = 0;
    CRasterTGA noAttr;
    ASSERT_TRUE(DecodeBytes(s, noAttr));
    EXPECT_EQ(noAttr.GetAlphaValue(1, 0), 255);
}

// A colour map of 16-bit entries is read by its own size, and a run-length packet that runs over
// the end of a row continues on the next one.
TEST(TgaCodec, SixteenBitColourMapAndPacketsAcrossRows)
{
    std::vector<uint8_t> f = TgaHeader(9, 3, 2, 8, 0x20, 1, 2, 16);
    const uint8_t map[] = {0x00, 0x7C, 0xE0, 0x03};  // red, green
    f.insert(f.end(), map, map + 4);
    const uint8_t packets[] = {0x83, 1, 0x01, 0, 1};  // four of index 1, then literals 0 and 1
    f.insert(f.end(), packets, packets + sizeof packets);
    CRasterTGA img;
    ASSERT_TRUE(DecodeBytes(f, img)) << img.lastError;
    EXPECT_EQ(img.ReadPaletteEntry(0), (RGBQUAD{0, 0, 248, 0}));
    EXPECT_EQ(img.ReadPaletteEntry(1), (RGBQUAD{0, 248, 0, 0}));
    const uint8_t want[2][3] = {{1, 1, 1}, {1, 0, 1}};  // top row, then bottom
    for (int r = 0; r < 2; ++r)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(img.ReadPixelIndex(x, 1 - r), want[r][x]) << x << "," << r;
}

TEST(TgaCodec, WritesFilesImageMagickReadsAndRoundTrips)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 19, 11, true);
    for (const char* variant : {"-alpha off -colors 60 -type palette", "-alpha off -type truecolor", "-type truecolormatte"}) {
        SCOPED_TRACE(variant);
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + variant + " TGA:'" + dir / "in.tga" + "'"));
        CRasterTGA img;
        ASSERT_TRUE(DecodeFile(dir / "in.tga", img));
        bool ok = false;
        std::vector<uint8_t> out = EncodeBytes<CRasterTGA>(img, &ok);
        ASSERT_TRUE(ok);
        WriteFile(dir / "out.tga", out);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(dir / "out.tga", dir, "-auto-orient"), 19));
        CRasterTGA back;
        ASSERT_TRUE(DecodeBytes(out, back));
        if (img.BitsPerPixel() == 8) {
            EXPECT_EQ(std::vector<uint8_t>(img.pixels, img.pixels + img.rowStride * 11),
                      std::vector<uint8_t>(back.pixels, back.pixels + back.rowStride * 11));
            for (uint32_t i = 0; i < 256; ++i)
                ASSERT_EQ(img.ReadPaletteEntry(i), back.ReadPaletteEntry(i)) << i;
        }
        EXPECT_EQ(OurRgba(back), OurRgba(img));
    }
    CRaster four(4, 4, 4, RasterFormatTGA);
    CRasterTGA codec;
    codec.ShareMemoryOf(four);
    CRasterMemStream stream;
    stream.Open();
    EXPECT_FALSE(codec.Encode(&stream));
    EXPECT_STREQ(codec.lastError, "Bit depth must be 8 or 24");
}

TEST(TgaCodec, MalformedFilesFailWithTheirText)
{
    std::vector<uint8_t> good = TgaHeader(2, 4, 4, 24, 0);
    good.resize(18 + 4 * 4 * 3, 0x55);
    auto with = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> b = good;
        b[at] = v;
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* error;
    };
    const Case cases[] = {
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 10), "Not a TGA"},
        {"type 4", with(2, 4), "Unknown TGA image type"},
        {"type 12", with(2, 12), "Unknown TGA image type"},
        {"truncated pixels", std::vector<uint8_t>(good.begin(), good.end() - 5), "corrupted TGA"},
        {"truncated RLE", std::vector<uint8_t>{0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 24, 0, 0x8F}, "corrupted TGA"},
        {"depth 12", with(16, 12), "corrupted TGA"},
        {"zero width", with(12, 0), "corrupted TGA"},
        {"truncated colour map", TgaHeader(1, 2, 2, 8, 0, 1, 200, 24), "corrupted TGA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRasterTGA img;
        EXPECT_FALSE(DecodeBytes(c.bytes, img));
        EXPECT_STREQ(img.lastError, c.error);
    }
    // A colour map that starts where 8-bit indexes cannot reach leaves nothing to show.
    for (uint16_t first : {uint16_t(256), uint16_t(300), uint16_t(0xFFFF)}) {
        std::vector<uint8_t> f = TgaHeader(1, 2, 1, 8, 0, 1, 2, 24);
        rasterio::Put16(&f[3], first);
        f.insert(f.end(), {0, 0, 255, 0, 255, 0, 0, 1});
        CRasterTGA img;
        EXPECT_FALSE(DecodeBytes(f, img)) << first;
        EXPECT_STREQ(img.lastError, "Unsupported TGA colour map");
    }
    // Starting at 255 it is still usable: index 255 is its first colour.
    std::vector<uint8_t> edge = TgaHeader(1, 1, 1, 8, 0, 1, 2, 24);
    rasterio::Put16(&edge[3], 255);
    edge.insert(edge.end(), {0, 0, 255, 0, 255, 0, 255});
    CRasterTGA usable;
    ASSERT_TRUE(DecodeBytes(edge, usable)) << usable.lastError;
    EXPECT_EQ(usable.ReadPixelColour(0, 0), (RGBQUAD{0, 0, 255, 0}));
    // Largest header sizes still fail cleanly rather than allocate without bound.
    CRaster::MaxBlockBytes = 1 << 20;
    CRasterTGA big;
    EXPECT_FALSE(DecodeBytes(TgaHeader(2, 0xFFFF, 0xFFFF, 32, 0), big));
    EXPECT_STREQ(big.lastError, "TGA Create failed");
    CRaster::MaxBlockBytes = uint64_t(1) << 30;
}
