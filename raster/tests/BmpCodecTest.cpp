#include "raster/RasterBMP.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

using namespace codectest;

namespace {

struct BmpVariant {
    const char* name;
    const char* options;  // convert options and output prefix
    int fileBits;
    int imageBits;
};

const BmpVariant kVariants[] = {
    {"1 bit", "-monochrome BMP3:", 1, 1},
    {"4 bit", "-colors 16 -type palette -compress none BMP3:", 4, 4},
    {"8 bit", "-colors 200 -type palette -compress none BMP3:", 8, 8},
    {"8 bit RLE", "-colors 200 -type palette -compress RLE BMP3:", 8, 8},
    {"24 bit", "-type truecolor BMP3:", 24, 24},
    {"24 bit core header", "-type truecolor BMP2:", 24, 24},
    {"32 bit bit fields", "-type truecolormatte BMP:", 32, 24},
};

} // namespace

TEST(BmpCodec, DecodesImageMagickVariants)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 37, 23);
    ASSERT_FALSE(src.empty());
    for (const BmpVariant& v : kVariants) {
        SCOPED_TRACE(v.name);
        const std::string file = dir / "v.bmp";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + "'" + file + "'"));
        std::vector<uint8_t> bytes = ReadFile(file);
        ASSERT_GT(bytes.size(), 30u);
        EXPECT_EQ(rasterio::U32(&bytes[14]) == 12 ? bytes[24] : bytes[28], v.fileBits);
        CRasterBMP img;
        ASSERT_TRUE(DecodeBytes(bytes, img)) << img.lastError;
        EXPECT_EQ(img.Width(), 37);
        EXPECT_EQ(img.Height(), 23);
        EXPECT_EQ(img.BitsPerPixel(), v.imageBits);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(file, dir), 37, 0, false));
    }
}

// 16-bit pixels keep the top bits of each field (green 63 of 5-6-5 becomes 252); without bit
// fields they are 5-5-5.
TEST(BmpCodec, Decodes16BitFields)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 21, 9);
    for (const char* subtype : {"RGB565", "RGB555"}) {
        SCOPED_TRACE(subtype);
        const std::string file = dir / "v16.bmp";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' -define bmp:subtype=" + subtype + " BMP:'" + file + "'"));
        CRasterBMP img;
        ASSERT_TRUE(DecodeFile(file, img)) << img.lastError;
        // ImageMagick widens with repeated top bits; we keep the plain shift, so allow the gap.
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(file, dir), 21, 7, false));
    }
    // One hand-made 5-6-5 pixel of full green, and one 5-5-5 pixel without bit fields.
    auto oneByOne = [](uint16_t bits, uint16_t pixel, uint32_t compression, bool masks) {
        std::vector<uint8_t> f(14 + 40 + (masks ? 12 : 0) + 4, 0);
        f[0] = 'B';
        f[1] = 'M';
        rasterio::Put32(&f[10], static_cast<uint32_t>(f.size() - 4));
        rasterio::Put32(&f[14], 40);
        rasterio::Put32(&f[18], 1);
        rasterio::Put32(&f[22], 1);
        rasterio::Put16(&f[26], 1);
        rasterio::Put16(&f[28], bits);
        rasterio::Put32(&f[30], compression);
        if (masks) {
            rasterio::Put32(&f[54], 0xF800);
            rasterio::Put32(&f[58], 0x07E0);
            rasterio::Put32(&f[62], 0x001F);
        }
        rasterio::Put16(&f[f.size() - 4], pixel);
        return f;
    };
    CRasterBMP green;
    ASSERT_TRUE(DecodeBytes(oneByOne(16, 0x07E0, 3, true), green));
    EXPECT_EQ(green.ReadPixelColour(0, 0), (RGBQUAD{0, 252, 0, 0}));
    CRasterBMP plain;
    ASSERT_TRUE(DecodeBytes(oneByOne(16, 0x7C1F, 0, false), plain));
    EXPECT_EQ(plain.ReadPixelColour(0, 0), (RGBQUAD{248, 0, 248, 0}));
}

TEST(BmpCodec, TopDownResourceAndResolution)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 13, 7);
    const std::string file = dir / "b.bmp";
    ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' -type truecolor BMP3:'" + file + "'"));
    std::vector<uint8_t> bottomUp = ReadFile(file);
    rasterio::Put32(&bottomUp[38], 2835);
    rasterio::Put32(&bottomUp[42], 2835);
    CRasterBMP normal;
    ASSERT_TRUE(DecodeBytes(bottomUp, normal));
    EXPECT_EQ(normal.xDpi, 72);
    EXPECT_EQ(normal.yDpi, 72);

    // The same picture stored top-down with a negative height.
    std::vector<uint8_t> topDown = bottomUp;
    const uint32_t offset = rasterio::U32(&topDown[10]);
    const size_t stride = ((13 * 24 + 31) / 32) * 4;
    for (int y = 0; y < 7; ++y)
        std::copy_n(&bottomUp[offset + (6 - y) * stride], stride, &topDown[offset + y * stride]);
    rasterio::Put32(&topDown[22], static_cast<uint32_t>(-7));
    rasterio::Put32(&topDown[38], 0);
    rasterio::Put32(&topDown[42], 0);
    CRasterBMP flipped;
    ASSERT_TRUE(DecodeBytes(topDown, flipped));
    EXPECT_EQ(flipped.Height(), 7);
    EXPECT_EQ(OurRgba(flipped), OurRgba(normal));
    EXPECT_EQ(flipped.xDpi, 0);

    // A bitmap resource: no file header, pixels right after the info header.
    std::vector<uint8_t> resource(bottomUp.begin() + 14, bottomUp.end());
    CRasterBMP res;
    ASSERT_TRUE(DecodeBytes(resource, res));
    EXPECT_EQ(OurRgba(res), OurRgba(normal));
}

TEST(BmpCodec, RunLengthCodes)
{
    // RLE8 on 6 x 2: a run, a delta over two pixels, a literal of three, end of line, end.
    const uint8_t rle8[] = {2, 7, 0, 2, 2, 0, 0, 3, 1, 2, 3, 0, 0, 0, 2, 9, 0, 1};
    CRaster img(6, 2, 8, 0);
    std::fill_n(img.pixels, img.rowStride * 2, 0xEE);
    BmpExpandRle(rle8, sizeof rle8, 8, img.pixels, img.rowStride, 6, 2);
    // The delta skips x = 2 and 3, which keep their old bytes; the third literal byte falls off.
    const uint8_t row0[] = {7, 7, 0xEE, 0xEE, 1, 2};
    EXPECT_EQ(std::vector<uint8_t>(img.Row(0), img.Row(0) + 6), std::vector<uint8_t>(row0, row0 + 6));
    EXPECT_EQ(img.Row(1)[0], 9);
    EXPECT_EQ(img.Row(1)[1], 9);
    EXPECT_EQ(img.Row(1)[2], 0xEE);

    // RLE4: a delta to x = 1, then a run of three alternating 0xAB starting with the high nibble.
    const uint8_t rle4[] = {0, 2, 1, 0, 3, 0xAB, 0, 3, 0x12, 0x30, 0, 1};
    CRaster four(8, 1, 4, 0);
    BmpExpandRle(rle4, sizeof rle4, 4, four.pixels, four.rowStride, 8, 1);
    const uint8_t want[] = {0, 0xA, 0xB, 0xA, 1, 2, 3, 0};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(four.ReadPixelIndex(x, 0), want[x]) << x;
    // Runs and deltas that leave the picture are dropped, not written.
    const uint8_t wild[] = {255, 1, 0, 2, 255, 255, 40, 2, 0, 0, 0, 200, 1};
    BmpExpandRle(wild, sizeof wild, 4, four.pixels, four.rowStride, 8, 1);
}

TEST(BmpCodec, WritesFilesImageMagickReads)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 19, 11);
    for (const char* depth : {"-monochrome", "-colors 16 -type palette -compress none", "-colors 100 -type palette -compress none", "-type truecolor"}) {
        SCOPED_TRACE(depth);
        const std::string in = dir / "in.bmp";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + depth + " BMP3:'" + in + "'"));
        CRasterBMP img;
        ASSERT_TRUE(DecodeFile(in, img));
        bool ok = false;
        std::vector<uint8_t> out = EncodeBytes<CRasterBMP>(img, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(out.size(), img.BlockSize() + 14);
        WriteFile(dir / "out.bmp", out);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(dir / "out.bmp", dir), 19, 0, false));
    }
}

TEST(BmpCodec, MalformedFilesFailWithTheirText)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 8, 8);
    ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' -colors 16 -type palette -compress none BMP3:'" + dir / "p.bmp" + "'"));
    const std::vector<uint8_t> good = ReadFile(dir / "p.bmp");
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* error;
    };
    auto patch = [&](size_t at, uint32_t value, int size) {
        std::vector<uint8_t> b = good;
        if (size == 2)
            rasterio::Put16(&b[at], value);
        else
            rasterio::Put32(&b[at], value);
        return b;
    };
    const Case cases[] = {
        {"empty", {}, "Not a BMP"},
        {"truncated info header", std::vector<uint8_t>(good.begin(), good.begin() + 30), "Error reading BMP info"},
        {"zero width", patch(18, 0, 4), "Error reading BMP info"},
        {"bit count 7", patch(28, 7, 2), "Error reading BMP info"},
        {"huge picture", patch(18, 0x7FFFFFFF, 4), "Can't allocate memory"},
        {"4-bit with RLE8", patch(30, 1, 4), "compression type not supported"},
        {"info size 1", patch(14, 1, 4), "Error reading BMP info"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRasterBMP img;
        EXPECT_FALSE(DecodeBytes(c.bytes, img));
        EXPECT_STREQ(img.lastError, c.error);
    }
    std::vector<uint8_t> b24 = good;
    rasterio::Put16(&b24[28], 24);
    rasterio::Put32(&b24[30], 1);
    CRasterBMP img;
    EXPECT_FALSE(DecodeBytes(b24, img));
    EXPECT_STREQ(img.lastError, "unknown compression");
    // A huge colours-used count and a pixel offset past the end: there are no pixels to show.
    std::vector<uint8_t> odd = patch(46, 0xFFFFFFF0u, 4);
    rasterio::Put32(&odd[10], 0x7FFFFFF0u);
    CRasterBMP cleared;
    EXPECT_FALSE(DecodeBytes(odd, cleared));
    EXPECT_STREQ(cleared.lastError, "Error reading BMP data");
}

// Pixel data shorter than the header announces is refused, before the picture is allocated.
TEST(BmpCodec, ShortPixelDataIsRefusedBeforeAllocating)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 8, 8);
    struct Variant { const char* name; const char* options; };
    const Variant variants[] = {
        {"4 bit", "-colors 16 -type palette -compress none BMP3:"},
        {"24 bit", "-type truecolor BMP3:"},
        {"32 bit fields", "-type truecolormatte BMP:"},
        {"16 bit fields", "-define bmp:subtype=RGB565 BMP:"},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + "'" + dir / "s.bmp" + "'"));
        std::vector<uint8_t> good = ReadFile(dir / "s.bmp");
        CRasterBMP whole;
        ASSERT_TRUE(DecodeBytes(good, whole)) << whole.lastError;
        std::vector<uint8_t> cut(good.begin(), good.end() - 1);
        CRasterBMP img;
        EXPECT_FALSE(DecodeBytes(cut, img));
        EXPECT_STREQ(img.lastError, "Error reading BMP data");
        EXPECT_EQ(img.dib, nullptr) << "nothing allocated";
    }
    // A few bytes announcing a 30000 x 30000 picture fail at once, even with room for the block.
    std::vector<uint8_t> tiny(14 + 40 + 16, 0);
    tiny[0] = 'B';
    tiny[1] = 'M';
    rasterio::Put32(&tiny[10], 54);
    rasterio::Put32(&tiny[14], 40);
    rasterio::Put32(&tiny[18], 30000);
    rasterio::Put32(&tiny[22], 30000);
    rasterio::Put16(&tiny[26], 1);
    rasterio::Put16(&tiny[28], 24);
    const uint64_t limit = CRaster::MaxBlockBytes.load();
    CRaster::MaxBlockBytes = uint64_t(4) << 30;
    CRasterBMP huge;
    EXPECT_FALSE(DecodeBytes(tiny, huge));
    CRaster::MaxBlockBytes = limit;
    EXPECT_STREQ(huge.lastError, "Error reading BMP data");
    EXPECT_EQ(huge.dib, nullptr);
}

// Alpha from a bit-field mask: in V4 and V5 headers, with 32- and 16-bit pixels.
TEST(BmpCodec, AlphaBitFieldMaskKeepsTheAlpha)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 19, 11, true);
    struct Variant { const char* name; const char* options; int tolerance; };
    const Variant variants[] = {
        {"32 bit V5", "-type truecolormatte BMP:", 0},
        {"32 bit V4", "-type truecolormatte -define bmp:format=bmp4 BMP:", 0},
        {"16 bit ARGB4444", "-define bmp:subtype=ARGB4444 BMP:", 17},
        {"16 bit ARGB1555", "-define bmp:subtype=ARGB1555 BMP:", 8},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const std::string file = dir / "a.bmp";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + "'" + file + "'"));
        std::vector<uint8_t> bytes = ReadFile(file);
        ASSERT_GE(rasterio::U32(&bytes[14]), 56u) << "a header with an alpha mask";
        CRasterBMP img;
        ASSERT_TRUE(DecodeBytes(bytes, img)) << img.lastError;
        ASSERT_NE(img.alpha, nullptr);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(file, dir), 19, v.tolerance, true));
    }
    // A hand-made V4 pixel: half-transparent red.
    std::vector<uint8_t> f(14 + 108 + 4, 0);
    f[0] = 'B';
    f[1] = 'M';
    rasterio::Put32(&f[10], 14 + 108);
    rasterio::Put32(&f[14], 108);
    rasterio::Put32(&f[18], 1);
    rasterio::Put32(&f[22], 1);
    rasterio::Put16(&f[26], 1);
    rasterio::Put16(&f[28], 32);
    rasterio::Put32(&f[30], 3);
    rasterio::Put32(&f[54], 0x00FF0000);
    rasterio::Put32(&f[58], 0x0000FF00);
    rasterio::Put32(&f[62], 0x000000FF);
    rasterio::Put32(&f[66], 0xFF000000);
    rasterio::Put32(&f[122], 0x80FF0000);
    CRasterBMP one;
    ASSERT_TRUE(DecodeBytes(f, one)) << one.lastError;
    ASSERT_NE(one.alpha, nullptr);
    EXPECT_EQ(one.GetAlphaValue(0, 0), 0x80);
    EXPECT_EQ(one.ReadPixelColour(0, 0).rgbRed, 255);
}

TEST(BmpCodec, ReachedThroughFormatDispatch)
{
    CRaster img(5, 3, 24, RasterFormatBMP);
    img.WritePixelColour(4, 2, RGBQUAD{1, 2, 3, 0});
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    ASSERT_TRUE(img.Encode(buffer, size, RasterFormatBMP));
    CRasterMemStream stream(buffer, static_cast<size_t>(size));
    CRaster back;
    ASSERT_TRUE(back.Decode(&stream, RasterFormatBMP));
    EXPECT_EQ(back.ReadPixelColour(4, 2), (RGBQUAD{1, 2, 3, 0}));
    std::free(buffer);
}
