// Picture sizes from headers, read before any decode: they must agree with what the decoders
// deliver, and a tiny file that claims a huge picture gives its claim without anything of that
// size being allocated.
#include "raster/Raster.h"
#include "raster/RasterStream.h"
#include "raster/tests/RasterTestUtil.h"

#include "platform/tests/MetafileTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace rastertest;

namespace {

bool SizeOf(std::vector<uint8_t> bytes, int format, int32_t& w, int32_t& h)
{
    CRasterMemStream stream(bytes.data(), bytes.size());
    return CRaster::ReadSize(&stream, format, w, h);
}

} // namespace

TEST(RasterSize, HeadersAgreeWithTheDecoders)
{
    TempFolder dir;
    struct Case { const char* file; const char* options; int format; int w, h; };
    const Case cases[] = {
        { "a.bmp", "", RasterFormatBMP, 37, 23 },
        { "core.bmp", "-define bmp:format=bmp2", RasterFormatBMP, 37, 23 },
        { "topdown.bmp", "-define bmp:top-down=true", RasterFormatBMP, 37, 23 },
        { "a.gif", "", RasterFormatGIF, 37, 23 },
        { "a.jpg", "", RasterFormatJPG, 37, 23 },
        { "progressive.jpg", "-interlace JPEG", RasterFormatJPG, 37, 23 },
        { "exif.jpg", "-set comment hello", RasterFormatJPG, 37, 23 },
        { "a.png", "", RasterFormatPNG, 37, 23 },
        { "a.ico", "", RasterFormatICO, 37, 23 },
        { "a.tif", "", RasterFormatTIF, 37, 23 },
        { "tiled.tif", "-define tiff:tile-geometry=16x16", RasterFormatTIF, 37, 23 },
        { "a.tga", "", RasterFormatTGA, 37, 23 },
        { "a.pcx", "", RasterFormatPCX, 37, 23 },
        { "a.wbmp", "", RasterFormatWBMP, 37, 23 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir / c.file;
        ASSERT_EQ(Shell(std::string(kConvert) + " -size 37x23 gradient:red-blue " + c.options + " '" + path + "'"), 0);
        int32_t w = 0, h = 0;
        ASSERT_TRUE(CRaster::ReadSize(path.c_str(), c.format, w, h));
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
        CRaster decoded;
        ASSERT_TRUE(decoded.Load(path.c_str(), c.format));
        EXPECT_EQ(decoded.Width(), w);
        EXPECT_EQ(decoded.Height(), h);
    }
    // A placeable metafile: its frame at 96 pixels per inch, as the decoder draws it.
    int32_t w = 0, h = 0;
    ASSERT_TRUE(SizeOf(RedLeftHalfMetafile(200, 100, 100), RasterFormatWMF, w, h));
    EXPECT_EQ(w, 192);
    EXPECT_EQ(h, 96);
    EXPECT_TRUE(SizeOf(RedLeftHalfMetafile(6000, 3000, 100), RasterFormatWMF, w, h));
    EXPECT_EQ(w, 4000);
    EXPECT_EQ(h, 2000);
}

TEST(RasterSize, TinyFilesClaimingHugePicturesGiveTheirClaimCheaply)
{
    TempFolder dir;
    int32_t w = 0, h = 0;
    const std::vector<uint8_t> tiff = TinyTiffClaiming(16000, 16000);
    EXPECT_LT(tiff.size(), 800u);
    ASSERT_TRUE(SizeOf(tiff, RasterFormatTIF, w, h));
    EXPECT_EQ(w, 16000);
    EXPECT_EQ(h, 16000);

    const std::string small = dir / "small.jpg";
    ASSERT_EQ(Shell(std::string(kConvert) + " -size 8x8 xc:gray '" + small + "'"), 0);
    const std::vector<uint8_t> jpeg = JpegClaiming(ReadFile(small), 20000, 20000);
    ASSERT_TRUE(SizeOf(jpeg, RasterFormatJPG, w, h));
    EXPECT_EQ(w, 20000);
    EXPECT_EQ(h, 20000);

    // Not pictures at all, and headers without a positive size.
    const std::vector<uint8_t> zeros(4096, 0);
    for (int format = 0; format < RasterFormatCount; ++format)
        EXPECT_FALSE(SizeOf(zeros, format, w, h)) << format;
    EXPECT_FALSE(SizeOf(TinyTiffClaiming(0, 5), RasterFormatTIF, w, h));
    EXPECT_FALSE(SizeOf(JpegClaiming(ReadFile(small), 0, 8), RasterFormatJPG, w, h));
    const std::vector<uint8_t> whole = ReadFile(small);
    EXPECT_FALSE(SizeOf(std::vector<uint8_t>(whole.begin(), whole.begin() + 20), RasterFormatJPG, w, h)) << "cut before its frame";
    EXPECT_FALSE(SizeOf({}, RasterFormatPNG, w, h));
    EXPECT_FALSE(CRaster::ReadSize((dir / "missing.png").c_str(), RasterFormatPNG, w, h));
}
