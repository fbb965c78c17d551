#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageStrip.h"
#include "imaging/ImageCodec/ImageType.h"
#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include "imaging/tests/DngBuilder.h"
#include "platform/Text.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <cstring>
#include <gtest/gtest.h>
#include <png.h>

using namespace testutil;

namespace {

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

// Frees the image at the end of a test, whatever happens.
struct Image8 : ImageBuffer8 {
    ~Image8() { FreeImageBuffer(*this); }
    const uint8_t* At(int x, int y) const { return data + (size_t(y) * width + x) * 4; }
};

void ExpectColour(const uint8_t* px, int r, int g, int b, int tolerance)
{
    EXPECT_NEAR(px[2], r, tolerance);
    EXPECT_NEAR(px[1], g, tolerance);
    EXPECT_NEAR(px[0], b, tolerance);
}

} // namespace

TEST(ImageType, ByExtension)
{
    struct Case { const char16_t* path; int type; int format; };
    const Case cases[] = {
        { u"a/B.JPG", 1, 2 }, { u"x.Jpeg", 1, 2 }, { u"x.CR2", 8, -1 }, { u"x.bmp", 2, 0 },
        { u"x.gif", 3, 1 }, { u"x.png", 4, 3 }, { u"x.tif", 5, 5 }, { u"x.tiff", 5, 5 },
        { u"x.tga", 6, 6 }, { u"x.pcx", 7, 7 }, { u"x.nrw", 8, -1 }, { u"x.bay", 8, -1 },
        { u"x.psd", -1, -1 }, { u"dir.jpg\\name", -1, -1 }, { u"dir.jpg/name", -1, -1 },
        { u"name", -1, -1 }, { u"", -1, -1 }, { nullptr, -1, -1 }, { u"x.", -1, -1 },
        { u"x.ico", -1, 4 }, { u"x.WBMP", -1, 8 },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ImageTypeFromExtension(c.path), c.type) << (c.path ? platform::Utf16ToUtf8(c.path) : "null");
        EXPECT_EQ(CodecFormatFromExtension(c.path), c.format);
    }
    // A long path keeps its extension (no bounded copy that would cut it).
    std::u16string longPath = u"/" + std::u16string(3000, u'd') + u"/photo.jpeg";
    EXPECT_EQ(ImageTypeFromExtension(longPath.c_str()), 1);
    EXPECT_EQ(CodecFormatFromExtension(longPath.c_str()), 2);
}

TEST(ImageLoad, EveryFormatLoadsWholeAndAsThumbnail)
{
    TempFolder dir;
    // A codec that cannot read its format fails here; nothing is skipped.
    const char* const cases[] = { "jpg", "bmp", "gif", "png", "tif", "tga", "pcx", "ico" };
    for (const char* ext : cases) {
        SCOPED_TRACE(ext);
        std::string path = dir / (std::string("picture.") + ext);
        ASSERT_TRUE(Convert("-size 40x30 'xc:rgb(220,40,30)' -type TrueColor", path));
        Image8 whole;
        ASSERT_EQ(LoadImage8(U16(path).c_str(), whole), 1);
        EXPECT_EQ(whole.width, 40);
        EXPECT_EQ(whole.height, 30);
        ExpectColour(whole.At(20, 15), 220, 40, 30, 6);
        EXPECT_EQ(whole.At(20, 15)[3], 255);
        for (bool fast : { false, true }) {
            Image8 thumb;
            EXPECT_GE(LoadThumbnail(U16(path).c_str(), 16, thumb, fast), 1);
            EXPECT_EQ(thumb.width, 16);
            EXPECT_EQ(thumb.height, 12);
            if (thumb.data)
                ExpectColour(thumb.At(8, 6), 220, 40, 30, 8);
        }
    }
    for (DngPreview preview : { DngPreview::Rgb, DngPreview::Jpeg }) {
        std::string path = dir / (preview == DngPreview::Rgb ? "rgb.dng" : "jpeg.dng");
        DngSpec dng;
        dng.preview = preview;
        ASSERT_TRUE(WriteDng(path, dng));
        Image8 whole;
        ASSERT_EQ(LoadImage8(U16(path).c_str(), whole), 1);
        EXPECT_EQ(whole.width, 16);
        EXPECT_EQ(whole.height, 12);
        EXPECT_NEAR(whole.At(0, 0)[2], 250, 8); // red, top row first
        Image8 thumb;
        ASSERT_EQ(LoadThumbnail(U16(path).c_str(), 8, thumb, true), 1);
        EXPECT_EQ(thumb.width, 8);
        EXPECT_EQ(thumb.height, 6);
    }
    // Two-colour WBMP: the left half black.
    std::string wbmp = dir / "picture.wbmp";
    ASSERT_TRUE(Convert("-size 40x30 xc:white -fill black -draw 'rectangle 0,0 19,29'", wbmp));
    Image8 whole;
    ASSERT_EQ(LoadImage8(U16(wbmp).c_str(), whole), 1);
    ASSERT_EQ(whole.width, 40);
    ExpectColour(whole.At(5, 15), 0, 0, 0, 0);
    ExpectColour(whole.At(30, 15), 255, 255, 255, 0);
    for (bool fast : { false, true }) {
        Image8 thumb;
        ASSERT_GE(LoadThumbnail(U16(wbmp).c_str(), 16, thumb, fast), 1);
        EXPECT_EQ(thumb.width, 16);
        EXPECT_EQ(thumb.height, 12);
    }
}

TEST(ImageLoad, EmbeddedThumbnailForLargeJpegs)
{
    TempFolder dir;
    // 2000 x 1001 is just above two million pixels.
    std::string photo = dir / "big.jpg";
    std::string plain = dir / "plain.jpg";
    std::string thumb = dir / "thumb.jpg";
    ASSERT_TRUE(Convert("-size 2000x1001 'xc:rgb(20,40,200)'", photo));
    ASSERT_EQ(Shell("cp " + Quote(photo) + " " + Quote(plain)), 0);
    // An orange 160 x 120 thumbnail with 16 black rows at the top and the bottom (whole
    // blocks, so they stay exactly black through JPEG).
    ASSERT_TRUE(Convert("-size 160x88 'xc:rgb(250,160,20)' -bordercolor black -border 0x16 -quality 100", thumb));
    ASSERT_EQ(Shell("exiftool -overwrite_original '-ThumbnailImage<=" + thumb + "' " + Quote(photo)), 0);

    Image8 image;
    ASSERT_EQ(LoadThumbnail(U16(photo).c_str(), 200, image, false), 2);
    // Taken at 120 x 90, the 12 black rows at each end trimmed (66 left), fitted to 200 wide.
    EXPECT_EQ(image.width, 200);
    EXPECT_GE(image.height, 108);
    EXPECT_LE(image.height, 114);
    ExpectColour(image.At(100, 1), 250, 160, 20, 40);
    ExpectColour(image.At(100, image.height - 2), 250, 160, 20, 40);

    // No embedded thumbnail: the picture itself, decoded at 1/8.
    Image8 fromPicture;
    ASSERT_EQ(LoadThumbnail(U16(plain).c_str(), 200, fromPicture, false), 1);
    EXPECT_EQ(fromPicture.width, 200);
    EXPECT_EQ(fromPicture.height, 100);
    ExpectColour(fromPicture.At(100, 50), 20, 40, 200, 8);

    // Asked for 120 or less: the embedded thumbnail is large enough; its bars are trimmed.
    Image8 small;
    ASSERT_EQ(LoadThumbnail(U16(photo).c_str(), 100, small, false), 1);
    EXPECT_EQ(small.width, 100);
    EXPECT_LE(small.height, 58);
    ExpectColour(small.At(50, 1), 250, 160, 20, 40);
    // Larger than the embedded thumbnail and below two million pixels: the picture itself.
    std::string medium = dir / "medium.jpg";
    ASSERT_TRUE(Convert("-size 1000x500 'xc:rgb(20,40,200)'", medium));
    ASSERT_EQ(Shell("exiftool -overwrite_original '-ThumbnailImage<=" + thumb + "' " + Quote(medium)), 0);
    Image8 large;
    ASSERT_EQ(LoadThumbnail(U16(medium).c_str(), 300, large, false), 1);
    EXPECT_EQ(large.width, 300);
    EXPECT_EQ(large.height, 150);
    ExpectColour(large.At(150, 75), 20, 40, 200, 8);
}

TEST(ImageLoad, FastJpegThumbnail)
{
    TempFolder dir;
    struct Case { int width, height, size, outWidth, outHeight; };
    const Case cases[] = {
        { 1000, 800, 200, 200, 160 }, // both sides below 8 x 200: full decode
        { 1700, 850, 200, 200, 100 }, // 1/8 decode
        { 300, 600, 50, 25, 50 },
    };
    for (const Case& c : cases) {
        std::string path = dir / ("p" + std::to_string(c.width) + ".jpg");
        ASSERT_TRUE(Convert("-size " + std::to_string(c.width) + "x" + std::to_string(c.height)
                            + " gradient:red-blue", path));
        Image8 image;
        ASSERT_EQ(LoadJpegThumbnailFast(U16(path).c_str(), c.size, image), 1);
        EXPECT_EQ(image.width, c.outWidth);
        EXPECT_EQ(image.height, c.outHeight);
        EXPECT_GT(image.At(0, 0)[2], 200);                     // red at the top
        EXPECT_GT(image.At(0, image.height - 1)[0], 200);      // blue at the bottom
    }
    Image8 none;
    EXPECT_EQ(LoadJpegThumbnailFast(U16(dir / "missing.jpg").c_str(), 100, none), 0);
    EXPECT_EQ(none.data, nullptr);
}

TEST(ImageLoad, TrimThumbnailBorders)
{
    struct Case { int top, bottom, left, right; int expectWidth, expectHeight; };
    const Case cases[] = {
        { 10, 10, 0, 0, 80, 40 },
        { 0, 0, 0, 0, 80, 60 },
        { 0, 0, 5, 7, 68, 60 },
        { 30, 30, 30, 30, 41, 31 }, // mostly black: at most a quarter from each side
    };
    for (const Case& c : cases) {
        Image8 image;
        ASSERT_TRUE(AllocImage8(image, 80, 60));
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x) {
                bool black = y < c.top || y >= 60 - c.bottom || x < c.left || x >= 80 - c.right;
                uint8_t* p = image.data + (size_t(y) * 80 + x) * 4;
                p[0] = black ? 0 : 30;
                p[1] = black ? 0 : 90;
                p[2] = black ? 0 : 200;
                p[3] = 255;
            }
        ASSERT_EQ(TrimThumbnailBorders(image), 1);
        EXPECT_EQ(image.width, c.expectWidth);
        EXPECT_EQ(image.height, c.expectHeight);
    }
}

TEST(ImageLoad, RawBitmapPreviewBlocks)
{
    // 2 x 1: red, then green.
    const uint8_t good[] = { 2, 0, 1, 0, 255, 0, 0, 0, 255, 0 };
    Image8 image;
    ASSERT_EQ(RawBitmapPreviewToImage8(good, sizeof good, image), 1);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 1);
    const uint8_t expected[] = { 0, 0, 255, 255, 0, 255, 0, 255 };
    EXPECT_EQ(std::memcmp(image.data, expected, 8), 0);

    // Two rows: the first data row is the picture's top, the codec image's last stored row.
    const uint8_t tall[] = { 1, 0, 2, 0, 255, 0, 0, 0, 0, 255 };
    CRaster raster;
    ASSERT_EQ(RawBitmapPreviewToRaster(tall, sizeof tall, raster), 1);
    EXPECT_EQ(raster.Row(1)[2], 255); // red on top
    EXPECT_EQ(raster.Row(0)[0], 255); // blue at the bottom

    // Lengths that do not match 4 + 3 x w x h, including a size whose product overflows 32 bits.
    std::vector<uint8_t> wrong(good, good + sizeof good);
    wrong.push_back(0);
    const uint8_t huge[] = { 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3 };
    Image8 none;
    CRaster noRaster;
    EXPECT_EQ(RawBitmapPreviewToImage8(wrong.data(), uint32_t(wrong.size()), none), 0);
    EXPECT_EQ(RawBitmapPreviewToRaster(wrong.data(), uint32_t(wrong.size()), noRaster), 0);
    EXPECT_EQ(RawBitmapPreviewToImage8(huge, 0xFFFFFFFDu, none), 0);
    EXPECT_EQ(RawBitmapPreviewToImage8(good, 3, none), 0);
    EXPECT_EQ(none.data, nullptr);
}

TEST(ImageLoad, OversizedPictureIsRefused)
{
    TempFolder dir;
    std::string path = dir / "wide.bmp";
    // Written by hand: ImageMagick's own limits refuse such a width.
    const uint32_t w = 25000, h = 4, stride = w * 3, pixels = stride * h;
    std::vector<uint8_t> bmp(54 + pixels, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&bmp[at], &v, 4); };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, uint32_t(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, pixels);
    WriteAll(path, bmp);
    Image8 image;
    EXPECT_EQ(CodecLoadImage8(image, U16(path).c_str()), 0);
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.width, kRefusedPictureSide);
    EXPECT_EQ(image.height, kRefusedPictureSide);
    image.width = image.height = 0;
}

TEST(ImageLoad, RasterBridgeKeepsRowsAndAlpha)
{
    Image8 source;
    ASSERT_TRUE(AllocImage8(source, 3, 2));
    for (uint32_t i = 0; i < source.pixelCount; ++i) {
        source.data[i * 4] = uint8_t(i * 10);
        source.data[i * 4 + 1] = uint8_t(i * 20);
        source.data[i * 4 + 2] = uint8_t(i * 30);
        source.data[i * 4 + 3] = uint8_t(100 + i);
    }
    CRaster raster;
    ASSERT_EQ(ImageToRaster8(source, raster, true), 1);
    EXPECT_EQ(raster.Row(1)[0], 0);            // top row stored last
    EXPECT_EQ(raster.Row(0)[0], 30);
    EXPECT_EQ(raster.xDpi, 72);
    Image8 back;
    ASSERT_EQ(ImageFromRaster8(back, raster), 1);
    EXPECT_EQ(std::memcmp(back.data, source.data, source.byteSize), 0);

    CRaster opaque;
    ASSERT_EQ(ImageToRaster8(source, opaque, false), 1);
    Image8 noAlpha;
    ASSERT_EQ(ImageFromRaster8(noAlpha, opaque), 1);
    EXPECT_EQ(noAlpha.data[3], 255);

    // Palette picture: the transparent index gives alpha 0.
    CRaster palette;
    ASSERT_NE(palette.Create(2, 1, 8, RasterFormatGIF), nullptr);
    palette.WritePaletteEntry(0, 10, 20, 30);
    palette.WritePaletteEntry(1, 40, 50, 60);
    palette.WritePixelIndex(0, 0, 0);
    palette.WritePixelIndex(1, 0, 1);
    palette.transparentIndex = 1;
    Image8 indexed;
    ASSERT_EQ(ImageFromRaster8(indexed, palette), 1);
    const uint8_t expected[] = { 30, 20, 10, 255, 60, 50, 40, 0 };
    EXPECT_EQ(std::memcmp(indexed.data, expected, 8), 0);

    Image8 empty;
    CRaster none;
    EXPECT_EQ(ImageToRaster8(empty, none, false), 0);
}

TEST(ImageLoad, StripsAndSingleFiles)
{
    TempFolder dir;
    std::string strip = dir / "strip.bmp";
    // Three 16-pixel frames (red, green, blue) and 2 columns left over.
    ASSERT_TRUE(Convert("-size 16x10 xc:red -size 16x10 xc:lime -size 18x10 xc:blue +append -type TrueColor", strip));
    ImageList8 list;
    ASSERT_EQ(LoadImageStrip8(list, U16(strip).c_str(), 16), 1);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->width, 16);
    EXPECT_EQ(list[0]->data[2], 255);
    EXPECT_EQ(list[1]->data[1], 255);
    EXPECT_EQ(list[2]->data[0], 255);
    EXPECT_EQ(LoadImageStrip8(list, U16(strip).c_str(), 16), 0); // list must be empty
    ASSERT_EQ(AppendImageStrip8(list, U16(strip).c_str(), 25), 1);
    EXPECT_EQ(list.size(), 5u);
    ASSERT_EQ(AppendImageFile8(list, U16(strip).c_str()), 1);
    EXPECT_EQ(list.size(), 6u);
    EXPECT_EQ(list[5]->width, 50);
    EXPECT_EQ(AppendImageFile8(list, U16(dir / "missing.bmp").c_str()), 0);
    EXPECT_EQ(list.size(), 6u);
}

TEST(ImageLoad, TransparencySurvivesLoading)
{
    TempFolder dir;
    struct Case { const char* name; const char* args; int format; int alpha; };
    const Case cases[] = {
        { "rgba.png", "-size 6x4 'xc:rgba(255,0,0,0.5)' PNG32:", RasterFormatPNG, 128 },
        { "clear.gif", "-size 6x4 xc:none", RasterFormatGIF, 0 },
        { "opaque.png", "-size 6x4 xc:red PNG24:", RasterFormatPNG, 255 },
        // Grey and palette TIFFs carry alpha as a second sample beside the index.
        { "grey-alpha.tif", "-size 6x4 'xc:graya(40%,0.5)' -depth 8", RasterFormatTIF, 128 },
        { "grey-alpha-16.tif", "-size 6x4 'xc:graya(40%,0.5)' -depth 16", RasterFormatTIF, 128 },
        { "palette-alpha.tif", "-size 6x4 gradient:red-blue -alpha set -channel A -fx i/w +channel -type PaletteAlpha",
          RasterFormatTIF, 85 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir / c.name;
        std::string args = c.args;
        std::string prefix;
        if (size_t colon = args.rfind(' '); colon != std::string::npos && args.back() == ':') {
            prefix = args.substr(colon + 1);
            args = args.substr(0, colon);
        }
        ASSERT_EQ(Shell("/usr/bin/convert " + args + " " + prefix + Quote(path)), 0);
        Image8 image;
        ASSERT_EQ(LoadImage8(U16(path).c_str(), image), 1);
        EXPECT_NEAR(image.At(2, 2)[3], c.alpha, 2);
    }

    // A palette whose entries carry several alpha levels (ImageMagick only writes one level).
    std::string path = dir / "levels.png";
    png_image png {};
    png.version = PNG_IMAGE_VERSION;
    png.width = 2;
    png.height = 1;
    png.format = PNG_FORMAT_RGBA_COLORMAP;
    png.colormap_entries = 2;
    const uint8_t colours[] = { 0, 0, 255, 64, 255, 0, 0, 255 };
    const uint8_t indices[] = { 0, 1 };
    ASSERT_NE(png_image_write_to_file(&png, path.c_str(), 0, indices, 0, colours), 0);
    Image8 image;
    ASSERT_EQ(LoadImage8(U16(path).c_str(), image), 1);
    EXPECT_EQ(image.At(0, 0)[3], 64);
    EXPECT_EQ(image.At(0, 0)[0], 255);
    EXPECT_EQ(image.At(1, 0)[3], 255);
    EXPECT_EQ(image.At(1, 0)[2], 255);
}

TEST(ImageLoad, ThinPicturesStillGetAThumbnail)
{
    // The short side of a strip scales to less than a pixel; it still needs one.
    struct Case { const char* name; const char* size; bool fast; int width, height; };
    const Case cases[] = {
        { "strip.png", "1200x4", false, 200, 1 },
        { "strip.jpg", "4x1600", true, 1, 200 },
        { "strip.jpg", "1200x4", false, 200, 1 },
        { "strip.tga", "1200x4", false, 200, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.size);
        TempFolder dir;
        std::string path = dir / c.name;
        ASSERT_TRUE(Convert(std::string("-size ") + c.size + " xc:orange", path));
        Image8 thumb;
        EXPECT_GT(LoadThumbnail(U16(path).c_str(), 200, thumb, c.fast), 0);
        EXPECT_EQ(thumb.width, c.width);
        EXPECT_EQ(thumb.height, c.height);
    }
}
