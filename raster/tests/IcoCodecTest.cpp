#include "raster/RasterICO.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

using namespace codectest;

// ImageMagick writes 32-bit icons; its second picture is asked for by frame.
TEST(IcoCodec, DecodesEveryPictureOfAnImageMagickIcon)
{
    TempDir dir;
    const std::string file = dir / "two.ico";
    ASSERT_TRUE(Shell(std::string(kConvert) + " -size 16x16 gradient:red-blue \\( -size 8x8 gradient:yellow-green -alpha set -channel A -fx 'i>3?1:0' \\) '" + file + "'"));
    for (int frame : {0, 1}) {
        SCOPED_TRACE(frame);
        CRasterICO img;
        img.frame = frame;
        ASSERT_TRUE(DecodeFile(file, img));
        EXPECT_EQ(img.frameCount, 2);
        EXPECT_EQ(img.Width(), frame ? 8 : 16);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(file + "[" + std::to_string(frame) + "]", dir), img.Width()));
    }
    CRasterICO missing;
    missing.frame = 2;
    EXPECT_FALSE(DecodeFile(file, missing));
    EXPECT_EQ(missing.frameCount, 2);
    // Through the dispatch the caller learns the count as well.
    CRaster viaDispatch;
    viaDispatch.frame = 5;
    std::FILE* f = std::fopen(file.c_str(), "rb");
    ASSERT_TRUE(f);
    EXPECT_FALSE(viaDispatch.Decode(f, RasterFormatICO));
    std::fclose(f);
    EXPECT_EQ(viaDispatch.frameCount, 2);
}

// Palette icons we write, with a transparent colour turned into mask bits.
TEST(IcoCodec, WritesIconsImageMagickReads)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 23, 14, true);
    struct Variant {
        const char* options;
        int bits;
    };
    const Variant variants[] = {
        {"-alpha off -monochrome BMP3:", 1},
        {"-alpha off -colors 16 -type palette -compress none BMP3:", 4},
        {"-alpha off -colors 150 -type palette -compress none BMP3:", 8},
        {"-alpha off -type truecolor BMP3:", 24},
        {"-type truecolormatte TGA:", 32},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.options);
        const std::string in = dir / "in.img";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + "'" + in + "'"));
        CRaster img;
        std::FILE* f = std::fopen(in.c_str(), "rb");
        ASSERT_TRUE(f);
        ASSERT_TRUE(img.Decode(f, v.bits == 32 ? RasterFormatTGA : RasterFormatBMP));
        std::fclose(f);
        if (v.bits == 8)
            img.transparentIndex = img.ReadPixelIndex(0, 0);
        bool ok = false;
        std::vector<uint8_t> out = EncodeBytes<CRasterICO>(img, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(rasterio::U16(&out[12]), v.bits);
        WriteFile(dir / "out.ico", out);
        std::vector<uint8_t> want = OurRgba(img);
        if (v.bits == 8) {
            // Every pixel of the transparent colour turns fully transparent.
            const RGBQUAD key = img.TransparentColour();
            for (size_t i = 0; i < want.size(); i += 4)
                if (want[i] == key.rgbRed && want[i + 1] == key.rgbGreen && want[i + 2] == key.rgbBlue)
                    want[i + 3] = 0;
        }
        EXPECT_TRUE(SameRgba(want, OracleRgba(dir / "out.ico", dir), 23));
        CRasterICO back;
        ASSERT_TRUE(DecodeBytes(out, back));
        EXPECT_EQ(back.BitsPerPixel(), v.bits == 32 ? 24 : v.bits);
        EXPECT_TRUE(SameRgba(OurRgba(back), want, 23));
        // No mask bit and no alpha: no alpha plane comes back.
        EXPECT_EQ(back.alpha != nullptr, v.bits == 8 || v.bits == 32);
    }
}

TEST(IcoCodec, RefusesWhatItCannotReadOrWrite)
{
    CRaster big(256, 16, 24, RasterFormatICO);
    CRasterICO codec;
    codec.ShareMemoryOf(big);
    CRasterMemStream stream;
    stream.Open();
    EXPECT_FALSE(codec.Encode(&stream));
    EXPECT_STREQ(codec.lastError, "Can't save this image as icon");

    CRaster small(4, 4, 8, RasterFormatICO);
    std::vector<uint8_t> good = EncodeBytes<CRasterICO>(small);
    ASSERT_FALSE(good.empty());
    auto with = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> b = good;
        b[at] = v;
        return b;
    };
    std::vector<uint8_t> png = good;
    const uint8_t signature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::copy(std::begin(signature), std::end(signature), png.begin() + 22);
    struct Case {
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const Case bad[] = {
        {{}, "Not an icon file"},
        {with(2, 2), "Not an icon file"},                                                 // a cursor
        {with(0, 1), "Not an icon file"},                                                 // reserved
        {std::vector<uint8_t>(good.begin(), good.begin() + 10), "Error reading icon directory"}, // cut in the directory
        {std::vector<uint8_t>(good.begin(), good.begin() + 30), "Error reading icon image"}, // directory, no bitmap
        {with(18, 0xF0), "Error reading icon image"},                                     // bitmap offset past the end
        {with(22, 0x89), "Error reading icon image"},                                     // not a bitmap header
        {png, "Unsupported icon format (PNG)"},
        {with(22 + 14, 3), "Unsupported icon format"},  // a bitmap of 3 bits a pixel: no layout we read
        {with(22 + 14, 2), "Unsupported icon format"},
        {with(22 + 14, 16), "Unsupported icon format"},
        {with(22 + 14, 0), "Unsupported icon format"},
    };
    for (const Case& b : bad) {
        SCOPED_TRACE(b.text);
        CRasterICO img;
        EXPECT_FALSE(DecodeBytes(b.bytes, img));
        EXPECT_STREQ(img.lastError, b.text);
    }
    // ImageMagick refuses the 3-bit bitmap too ("improper image header").
    TempDir dir;
    WriteFile(dir / "three.ico", with(22 + 14, 3));
    EXPECT_FALSE(Shell(std::string(kConvert) + " '" + dir / "three.ico" + "' txt:- >/dev/null"));

    CRasterICO second;
    second.frame = 1;
    EXPECT_FALSE(DecodeBytes(good, second));
    EXPECT_STREQ(second.lastError, "Icon not present in file");
    CRasterICO noStream;
    EXPECT_FALSE(noStream.Decode(nullptr));
    EXPECT_STREQ(noStream.lastError, "Can't open icon for reading");
}

// The directory's colour count is 0 in many 4-bit icons and its size byte 0 means 256: the
// bitmap's own header decides the depth.
TEST(IcoCodec, DepthFromBitmapHeaderAndSize256)
{
    CRaster four(6, 3, 4, RasterFormatICO);
    four.WritePaletteEntry(5, 10, 20, 30);
    four.WritePixelIndex(4, 1, 5);
    std::vector<uint8_t> file = EncodeBytes<CRasterICO>(four);
    ASSERT_FALSE(file.empty());
    file[6 + 2] = 0;  // colour count
    CRasterICO img;
    ASSERT_TRUE(DecodeBytes(file, img));
    EXPECT_EQ(img.BitsPerPixel(), 4);
    EXPECT_EQ(img.ReadPixelColour(4, 1), (RGBQUAD{30, 20, 10, 0}));

    // A 256 x 1 24-bit icon written by hand.
    std::vector<uint8_t> wide = {0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 0, 24, 0};
    const uint32_t stride = 256 * 3, mask = 32;
    std::vector<uint8_t> rest(8 + 40 + stride + mask, 0);
    rasterio::Put32(&rest[0], 40 + stride + mask);
    rasterio::Put32(&rest[4], 22);
    rasterio::Put32(&rest[8], 40);
    rasterio::Put32(&rest[12], 256);
    rasterio::Put32(&rest[16], 2);
    rasterio::Put16(&rest[20], 1);
    rasterio::Put16(&rest[22], 24);
    rest[8 + 40 + 255 * 3 + 2] = 200;  // red of the last pixel
    wide.insert(wide.end(), rest.begin(), rest.end());
    CRasterICO big;
    ASSERT_TRUE(DecodeBytes(wide, big));
    EXPECT_EQ(big.Width(), 256);
    EXPECT_EQ(big.ReadPixelColour(255, 0), (RGBQUAD{0, 0, 200, 0}));
}
