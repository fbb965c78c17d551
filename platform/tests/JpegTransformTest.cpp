#include "platform/ImageMetadata.h"
#include "platform/JpegImage.h"
#include "platform/JpegTransform.h"

#include "platform/tests/ImageFileTestUtil.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace testutil;

namespace {

Bitmap32 Decode(const std::string& path)
{
    Bitmap32 b;
    EXPECT_TRUE(DecodeJpegFile(path, b));
    return b;
}

} // namespace

TEST(JpegTransform, MatchesJpegtranAndDropsOrientation)
{
    struct Case { JpegTurn turn; const char* jpegtran; uint32_t width, height; };
    const Case cases[] = {
        { JpegTurn::Clockwise90, "-rotate 90", 48, 64 },
        { JpegTurn::Half, "-rotate 180", 64, 48 },
        { JpegTurn::Clockwise270, "-rotate 270", 48, 64 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jpegtran);
        TempFolder dir;
        std::string path = dir / "photo.jpg";
        std::string reference = dir / "reference.jpg";
        ASSERT_TRUE(Convert("-size 64x48 plasma:fractal -seed 7 -sampling-factor 2x2", path));
        ASSERT_EQ(Shell("exiftool -overwrite_original -Orientation#=6 -Make=Zcam -ExifImageWidth=64"
                      " -ExifImageHeight=48 " + Quote(path)), 0);
        ASSERT_EQ(Shell(std::string("jpegtran -perfect -copy all ") + c.jpegtran + " -outfile "
                      + Quote(reference) + " " + Quote(path)), 0);

        ASSERT_TRUE(RotateJpegFileLossless(path, c.turn));
        Bitmap32 ours = Decode(path);
        Bitmap32 theirs = Decode(reference);
        EXPECT_EQ(ours.width, c.width);
        EXPECT_EQ(ours.height, c.height);
        EXPECT_EQ(ours.pixels, theirs.pixels);
        EXPECT_EQ(ExifTool("-Orientation", path), "");
        EXPECT_EQ(ExifTool("-Make", path), "Zcam");
        EXPECT_EQ(ExifTool("-ExifImageWidth", path), std::to_string(c.width));
        EXPECT_EQ(dir.CountEntries(), 2u);
    }
}

TEST(JpegTransform, EmbeddedThumbnailTurnsWithThePicture)
{
    TempFolder dir;
    std::string path = dir / "photo.jpg";
    std::string thumb = dir / "thumb.jpg";
    ASSERT_TRUE(Convert("-size 64x48 plasma:fractal -seed 5", path));
    // Red top half, blue bottom half: after a clockwise turn red is on the right.
    ASSERT_TRUE(Convert("-size 32x12 xc:red -size 32x12 xc:blue -append -quality 95", thumb));
    ASSERT_EQ(Shell("exiftool -overwrite_original '-ThumbnailImage<=" + thumb + "' " + Quote(path)), 0);
    ASSERT_TRUE(RotateJpegFileLossless(path, JpegTurn::Clockwise90));
    ImageMetadata meta;
    ASSERT_TRUE(meta.ReadFile(path));
    const PropertyItem* item = meta.Find(kPropertyThumbnailData);
    ASSERT_NE(item, nullptr);
    Bitmap32 turned;
    ASSERT_TRUE(DecodeJpeg(item->value.data(), item->value.size(), turned));
    ASSERT_EQ(turned.height, 32u);
    ASSERT_GE(turned.width, 16u);
    const uint8_t* left = &turned.pixels[(16 * turned.width + 1) * 4];
    const uint8_t* right = &turned.pixels[(16 * turned.width + turned.width - 2) * 4];
    EXPECT_GT(left[0], 200);  // blue
    EXPECT_GT(right[2], 200); // red
}

TEST(JpegTransform, FourQuarterTurnsRestoreThePixels)
{
    TempFolder dir;
    std::string path = dir / "photo.jpg";
    ASSERT_TRUE(Convert("-size 48x32 plasma:fractal -seed 3", path));
    Bitmap32 before = Decode(path);
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(RotateJpegFileLossless(path, JpegTurn::Clockwise90));
    EXPECT_EQ(Decode(path).pixels, before.pixels);
}

TEST(JpegTransform, RefusesSizesThatCannotTurnLosslessly)
{
    TempFolder dir;
    // 50 x 37 with 2x2 chroma: partial 16-pixel blocks at the right and bottom edges.
    std::string odd = dir / "odd.jpg";
    ASSERT_TRUE(Convert("-size 50x37 plasma:fractal -sampling-factor 2x2", odd));
    std::vector<uint8_t> before = ReadAll(odd);
    for (JpegTurn turn : { JpegTurn::Clockwise90, JpegTurn::Half, JpegTurn::Clockwise270 })
        EXPECT_FALSE(RotateJpegFileLossless(odd, turn));
    EXPECT_EQ(ReadAll(odd), before);

    std::string text = dir / "text.jpg";
    WriteAll(text, { 'n', 'o', 'p', 'e' });
    EXPECT_FALSE(RotateJpegFileLossless(text, JpegTurn::Half));
    EXPECT_FALSE(RotateJpegFileLossless(dir / "missing.jpg", JpegTurn::Half));
    EXPECT_EQ(dir.CountEntries(), 2u);
}

TEST(JpegImage, DecodesFullAndScaled)
{
    TempFolder dir;
    std::string path = dir / "red.jpg";
    ASSERT_TRUE(Convert("-size 80x40 'xc:rgb(200,30,10)' -quality 95", path));
    std::vector<uint8_t> bytes = ReadAll(path);
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(ReadJpegSize(bytes.data(), bytes.size(), w, h));
    EXPECT_EQ(w, 80u);
    EXPECT_EQ(h, 40u);

    struct Case { int denom; uint32_t width, height; };
    for (Case c : { Case { 1, 80, 40 }, Case { 2, 40, 20 }, Case { 8, 10, 5 } }) {
        Bitmap32 b;
        ASSERT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), b, c.denom));
        EXPECT_EQ(b.width, c.width);
        EXPECT_EQ(b.height, c.height);
        ASSERT_EQ(b.pixels.size(), size_t(c.width) * c.height * 4);
        // B, G, R, A order, opaque.
        EXPECT_NEAR(b.pixels[0], 10, 4);
        EXPECT_NEAR(b.pixels[1], 30, 4);
        EXPECT_NEAR(b.pixels[2], 200, 4);
        EXPECT_EQ(b.pixels[3], 255);
    }

    Bitmap32 b;
    EXPECT_FALSE(DecodeJpeg(bytes.data(), 20, b));      // cut inside the header
    EXPECT_FALSE(DecodeJpeg(bytes.data(), bytes.size(), b, 3));
    std::vector<uint8_t> noise(500, 0x5A);
    EXPECT_FALSE(DecodeJpeg(noise.data(), noise.size(), b));
    EXPECT_FALSE(ReadJpegSize(noise.data(), noise.size(), w, h));
}

TEST(JpegImage, DecodesCmykAndGrey)
{
    TempFolder dir;
    std::string cmyk = dir / "cmyk.jpg";
    std::string grey = dir / "grey.jpg";
    ASSERT_TRUE(Convert("-size 16x16 'xc:rgb(0,0,255)' -colorspace CMYK -quality 95", cmyk));
    ASSERT_TRUE(Convert("-size 16x16 'xc:rgb(100,100,100)' -colorspace Gray -quality 95", grey));
    Bitmap32 b = Decode(cmyk);
    ASSERT_EQ(b.width, 16u);
    EXPECT_NEAR(b.pixels[0], 255, 6);
    EXPECT_NEAR(b.pixels[1], 0, 6);
    EXPECT_NEAR(b.pixels[2], 0, 6);
    b = Decode(grey);
    ASSERT_EQ(b.width, 16u);
    EXPECT_NEAR(b.pixels[0], 100, 3);
    EXPECT_EQ(b.pixels[0], b.pixels[2]);
    EXPECT_EQ(b.pixels[3], 255);
}
