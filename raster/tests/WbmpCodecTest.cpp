#include "raster/RasterWBMP.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

using namespace codectest;

// Widths from 128 on need the format's multi-byte integers, which ImageMagick writes.
TEST(WbmpCodec, ReadsAndWritesWithImageMagick)
{
    TempDir dir;
    for (int width : {13, 200}) {
        SCOPED_TRACE(width);
        const std::string src = MakeSource(dir, width, 9);
        const std::string file = dir / "v.wbmp";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' -monochrome WBMP:'" + file + "'"));
        CRasterWBMP img;
        ASSERT_TRUE(DecodeFile(file, img)) << img.lastError;
        EXPECT_EQ(img.Width(), width);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(file, dir), width));
        bool ok = false;
        std::vector<uint8_t> out = EncodeBytes<CRasterWBMP>(img, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(out, ReadFile(file));
        WriteFile(dir / "out.wbmp", out);
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(dir / "out.wbmp", dir), width));
    }
}

TEST(WbmpCodec, EncoderLayoutAndLimits)
{
    CRaster img(100, 50, 1, RasterFormatWBMP);
    img.WritePixelIndex(0, 49, 1);  // top-left pixel white
    bool ok = false;
    std::vector<uint8_t> out = EncodeBytes<CRasterWBMP>(img, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(out.size(), 4u + 50 * 13);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5), (std::vector<uint8_t>{0, 0, 100, 50, 0x80}));

    CRaster wide(300, 2, 1, RasterFormatWBMP);
    CRaster grey(4, 4, 8, RasterFormatWBMP);
    for (CRaster* bad : {&wide, &grey}) {
        CRasterWBMP codec;
        codec.ShareMemoryOf(*bad);
        CRasterMemStream stream;
        stream.Open();
        EXPECT_FALSE(codec.Encode(&stream));
        EXPECT_STREQ(codec.lastError, "Can't save this image as WBMP");
    }
}

TEST(WbmpCodec, MalformedFilesFailWithTheirText)
{
    struct Case {
        std::vector<uint8_t> bytes;
        const char* error;
    };
    const Case cases[] = {
        {{0, 0, 5}, "Not a WBMP"},
        {{0, 0, 0x81, 0x81, 0x81, 0x81, 0x81}, "Not a WBMP"},
        {{1, 0, 5, 5}, "Unsupported WBMP type"},
        {{0, 0, 0, 5}, "Corrupted WBMP"},
        {{0, 0, 5, 0}, "Corrupted WBMP"},
        {{0, 0, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0x7F}, "WBMP Create failed"},
    };
    for (const Case& c : cases) {
        CRasterWBMP img;
        EXPECT_FALSE(DecodeBytes(c.bytes, img));
        EXPECT_STREQ(img.lastError, c.error);
    }
}
