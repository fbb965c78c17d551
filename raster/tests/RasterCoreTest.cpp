#include "raster/Raster.h"
#include "raster/RasterStream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

TEST(RasterCore, DefaultsOfANewImage)
{
    CRaster image(RasterFormatJPG);
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.jpegQuality, 75);
    EXPECT_EQ(image.xDpi, 72);
    EXPECT_EQ(image.yDpi, 72);
    EXPECT_EQ(image.header.biXPelsPerMeter, 2835);
    EXPECT_EQ(image.header.biYPelsPerMeter, 2835);
    EXPECT_EQ(image.transparentIndex, -1);
    EXPECT_EQ(image.chromaSubsampling, 1);
    EXPECT_EQ(image.lumaQuantTable, nullptr);
    EXPECT_EQ(image.alphaMax, 255);
    EXPECT_EQ(image.formatCode, 2u);
    EXPECT_EQ(image.header.biSize, 40u);
}

TEST(RasterCore, CreateNormalisesDepthAndLaysOutTheBlock)
{
    struct Case { int32_t w, h; int bits; int wantBits; uint32_t stride, entries; };
    const Case cases[] = {
        {10, 10, 16, 24, 32, 0},
        {3, 1, 1, 1, 4, 2},
        {33, 2, 1, 1, 8, 2},
        {9, 3, 2, 4, 8, 16},
        {5, 2, 8, 8, 8, 256},
        {5, 2, 32, 24, 16, 0},
        {1, 1, 0, 1, 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bits);
        CRaster image(RasterFormatPNG);
        ASSERT_NE(image.Create(c.w, c.h, c.bits, RasterFormatPNG), nullptr);
        EXPECT_EQ(image.BitsPerPixel(), c.wantBits);
        EXPECT_EQ(image.rowStride, c.stride);
        EXPECT_EQ(image.PaletteCount(), c.entries);
        EXPECT_EQ(image.header.biSizeImage, c.stride * uint32_t(c.h));
        EXPECT_EQ(image.BlockSize(), 40 + 4 * c.entries + c.stride * c.h);
        EXPECT_EQ(image.RowData(), image.dib + 40 + 4 * c.entries);
        EXPECT_EQ(image.pixels, image.RowData());
        // The block carries its own copy of the header, and everything else starts at zero.
        BITMAPINFOHEADER inBlock;
        std::memcpy(&inBlock, image.dib, 40);
        EXPECT_EQ(inBlock.biWidth, c.w);
        EXPECT_EQ(inBlock.biBitCount, c.wantBits);
        for (uint32_t i = 40; i < image.BlockSize(); ++i)
            ASSERT_EQ(image.dib[i], 0) << "byte " << i;
    }
}

TEST(RasterCore, CreateRefusesSizesThatCannotBeAllocatedSafely)
{
    struct Case { int32_t w, h; int bits; };
    const Case cases[] = {
        {0, 10, 24}, {10, 0, 24}, {-5, 10, 8}, {10, -5, 8},
        {0x7FFFFFFF, 0x7FFFFFFF, 24},       // image size overflows 32 and 64 bits naively
        {65535, 65535, 24},                 // fits 64 bits, beyond the block limit
        {0x40000000, 1, 24},                // stride beyond 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        CRaster image(0);
        EXPECT_EQ(image.Create(c.w, c.h, c.bits, 0), nullptr);
        EXPECT_FALSE(image.IsValid());
        EXPECT_EQ(image.RowData(), nullptr);
        EXPECT_EQ(image.ReadPixelIndex(0, 0), 0);
        image.WritePixelIndex(0, 0, 1); // must not crash
    }
}

TEST(RasterCore, PackedIndexesReadAndWriteTheirOwnBitsOnly)
{
    CRaster four(3, 1, 4, 0);
    four.pixels[0] = 0xAB;
    EXPECT_EQ(four.ReadPixelIndex(0, 0), 0xA);
    EXPECT_EQ(four.ReadPixelIndex(1, 0), 0xB);
    four.WritePixelIndex(1, 0, 0xF3); // only the low 4 bits count
    EXPECT_EQ(four.pixels[0], 0xA3);
    four.WritePixelIndex(2, 0, 7);
    EXPECT_EQ(four.pixels[1], 0x70);

    CRaster one(10, 2, 1, 0);
    one.WritePixelIndex(0, 1, 1);
    one.WritePixelIndex(9, 1, 3);
    EXPECT_EQ(one.Row(1)[0], 0x80);
    EXPECT_EQ(one.Row(1)[1], 0x40);
    EXPECT_EQ(one.ReadPixelIndex(9, 1), 1);
    EXPECT_EQ(one.ReadPixelIndex(8, 1), 0);
    one.WritePixelIndex(0, 1, 0);
    EXPECT_EQ(one.Row(1)[0], 0x00);
    EXPECT_EQ(one.Row(0)[0], 0x00); // other row untouched
}

TEST(RasterCore, ReadsOutsideTheImage)
{
    CRaster rgb(4, 4, 24, 0);
    rgb.transparentColor = RGBQUAD{1, 2, 3, 4};
    EXPECT_EQ(rgb.ReadPixelColour(-1, 0), (RGBQUAD{1, 2, 3, 4}));
    EXPECT_EQ(rgb.ReadPixelColour(4, 0), (RGBQUAD{1, 2, 3, 4}));
    rgb.transparentIndex = 3; // no palette: still the colour
    EXPECT_EQ(rgb.ReadPixelColour(0, 4), (RGBQUAD{1, 2, 3, 4}));

    CRaster pal(4, 4, 8, 0);
    pal.WritePaletteEntry(3, 10, 20, 30, 40);
    pal.transparentIndex = 3;
    EXPECT_EQ(pal.ReadPixelColour(9, 9), (RGBQUAD{30, 20, 10, 40}));
    EXPECT_EQ(pal.ReadPixelIndex(9, 9), 3);
    pal.transparentIndex = 999; // a corrupt index names no entry
    EXPECT_EQ(pal.ReadPixelColour(9, 9), pal.transparentColor);
}

TEST(RasterCore, ColoursInsideTheImage)
{
    CRaster rgb(2, 1, 24, 0);
    rgb.transparentColor.rgbReserved = 9;
    rgb.WritePixelColour(1, 0, uint32_t(0x00332211)); // 0x00BBGGRR
    EXPECT_EQ(rgb.pixels[3], 0x33);
    EXPECT_EQ(rgb.pixels[4], 0x22);
    EXPECT_EQ(rgb.pixels[5], 0x11);
    EXPECT_EQ(rgb.ReadPixelColour(1, 0), (RGBQUAD{0x33, 0x22, 0x11, 9}));

    CRaster pal(2, 1, 1, 0);
    pal.WritePaletteEntry(1, 255, 255, 255);
    pal.WritePixelColour(0, 0, RGBQUAD{250, 250, 250, 0});
    EXPECT_EQ(pal.ReadPixelIndex(0, 0), 1);
    EXPECT_EQ(pal.ReadPixelColour(0, 0), (RGBQUAD{255, 255, 255, 0}));
}

TEST(RasterCore, AlphaPlane)
{
    CRaster image(3, 2, 24, 0);
    EXPECT_EQ(image.ColourKind(), 2);
    uint8_t* plane = image.CreateAlphaPlane();
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(image.ColourKind(), 4);
    image.SetAlphaValue(255);
    image.SetAlphaValue(2, 1, 7);
    image.SetAlphaValue(3, 1, 8); // outside: ignored
    EXPECT_EQ(image.GetAlphaValue(2, 1), 7);
    EXPECT_EQ(image.GetAlphaValue(3, 1), 0);
    ASSERT_TRUE(image.FlipAlphaPlane());
    EXPECT_EQ(image.GetAlphaValue(2, 0), 7);
    ASSERT_TRUE(image.MirrorAlphaPlane());
    EXPECT_EQ(image.GetAlphaValue(0, 0), 7);
    image.CreateAlphaPlane(); // replaces with zeros
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.GetAlphaValue(x, y), 0);
    image.DeleteAlphaPlane();
    EXPECT_FALSE(image.FlipAlphaPlane());

    CRaster empty(0);
    EXPECT_EQ(empty.CreateAlphaPlane(), nullptr);

    CRaster pal(2, 2, 8, 0);
    EXPECT_EQ(pal.ColourKind(), 1);
    EXPECT_FALSE(pal.HasPaletteAlpha());
    pal.WritePaletteEntry(200, 1, 1, 1, 5);
    EXPECT_TRUE(pal.HasPaletteAlpha());
}

TEST(RasterCore, CopyTakeOverAndGhosts)
{
    CRaster source(5, 3, 8, RasterFormatGIF);
    source.WritePaletteEntry(4, 1, 2, 3);
    source.WritePixelIndex(4, 2, 4);
    source.CreateAlphaPlane();
    source.SetAlphaValue(4, 2, 99);
    source.SetHorizontalDpi(300);
    source.jpegQuality = 90;

    CRaster full(source, true, true, true);
    EXPECT_EQ(full.ReadPixelIndex(4, 2), 4);
    EXPECT_EQ(full.ReadPaletteEntry(4), (RGBQUAD{3, 2, 1, 0}));
    EXPECT_EQ(full.GetAlphaValue(4, 2), 99);
    EXPECT_EQ(full.xDpi, 300);
    EXPECT_EQ(full.jpegQuality, 90);
    EXPECT_NE(full.dib, source.dib);
    EXPECT_NE(full.alpha, source.alpha);

    CRaster paletteOnly(source, false, false, false);
    EXPECT_EQ(paletteOnly.ReadPixelIndex(4, 2), 0);
    EXPECT_EQ(paletteOnly.ReadPaletteEntry(4), (RGBQUAD{3, 2, 1, 0}));
    EXPECT_EQ(paletteOnly.alpha, nullptr);

    // A ghost shows the source and frees nothing; writes through it reach the source.
    {
        CRaster ghost(0);
        ghost.ShareMemoryOf(source);
        EXPECT_EQ(ghost.dib, source.dib);
        ghost.WritePixelIndex(0, 0, 4);
        EXPECT_FALSE(ghost.Destroy());
        // A copy of a ghost owns its own block.
        CRaster copyOfGhost(ghost, true, true, true);
        EXPECT_EQ(copyOfGhost.sharedWith, nullptr);
        EXPECT_TRUE(copyOfGhost.Destroy());
    }
    EXPECT_EQ(source.ReadPixelIndex(0, 0), 4);
    EXPECT_EQ(source.GetAlphaValue(4, 2), 99);

    uint8_t* block = source.dib;
    CRaster target(2, 2, 24, 0);
    target.TakeOver(source);
    EXPECT_EQ(target.dib, block);
    EXPECT_EQ(target.Width(), 5);
    EXPECT_EQ(target.GetAlphaValue(4, 2), 99);
    EXPECT_EQ(source.dib, nullptr);
    EXPECT_EQ(source.alpha, nullptr);
    EXPECT_FALSE(source.Destroy());

    CRaster settings(0);
    settings.CopySettings(target);
    EXPECT_EQ(settings.jpegQuality, 90);
    EXPECT_EQ(settings.dib, nullptr);
}

TEST(RasterCore, DispatchRefusesUnknownCodesAndLeavesTheImage)
{
    CRaster image(4, 4, 24, 0);
    uint8_t* block = image.dib;
    CRasterMemStream stream;
    ASSERT_TRUE(stream.Open());
    for (int code : {-1, 10, 1000}) {
        image.lastError[0] = 0;
        EXPECT_FALSE(image.Decode(&stream, code));
        EXPECT_STREQ(image.lastError, "Unsupported operation for this format");
        EXPECT_EQ(image.dib, block);
        EXPECT_FALSE(image.Encode(&stream, code));
        EXPECT_STREQ(image.lastError, "Unsupported operation for this format");
    }
    uint8_t sentinel = 0;
    uint8_t* buffer = &sentinel;
    int64_t size = -7;
    image.lastError[0] = 0;
    EXPECT_FALSE(image.Encode(buffer, size, RasterFormatBMP));
    EXPECT_EQ(buffer, &sentinel);
    EXPECT_EQ(size, -7);
    EXPECT_STREQ(image.lastError, "");
}

TEST(RasterCore, MissingFilesFailWithoutText)
{
    CRaster image(0);
    image.SetLastError("before");
    EXPECT_FALSE(image.Load("/nonexistent/folder/x.png", RasterFormatPNG));
    EXPECT_STREQ(image.lastError, "before");
    CRaster small(1, 1, 24, 0);
    EXPECT_FALSE(small.Save("/nonexistent/folder/x.png", RasterFormatPNG));
}

TEST(RasterCore, FailedSaveKeepsTheExistingFile)
{
    auto dir = std::filesystem::temp_directory_path() / ("zd_raster_save_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto path = dir / "keep.bin";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fputs("original", f);
        std::fclose(f);
    }
    CRaster image(1, 1, 24, 0);
    EXPECT_FALSE(image.Save(path.c_str(), 42));
    EXPECT_EQ(std::filesystem::file_size(path), 8u);
    // No temporary file stays behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
    std::filesystem::remove_all(dir);
}

TEST(RasterStreams, MemoryStreamGrowsInPagesAndReadsBack)
{
    CRasterMemStream stream;
    EXPECT_EQ(stream.Size(), -1);
    EXPECT_TRUE(stream.Eof());
    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(stream.Open());
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    EXPECT_EQ(stream.Write(data.data(), 1, 5000), 5000u);
    EXPECT_EQ(stream.Capacity(), 8192);
    EXPECT_EQ(stream.Size(), 5000);
    EXPECT_TRUE(stream.Seek(6000, 0));
    uint8_t buf[16];
    EXPECT_EQ(stream.Read(buf, 1, 16), 0u);
    EXPECT_NE(stream.Error(), 0);
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_FALSE(stream.Seek(-1, 0));
    EXPECT_FALSE(stream.Seek(0, 3));

    // Whole items only.
    ASSERT_TRUE(stream.Seek(-3, 2));
    uint32_t word = 0;
    EXPECT_EQ(stream.Read(&word, 4, 1), 0u);
    EXPECT_EQ(stream.Tell(), 5000);
    ASSERT_TRUE(stream.Seek(10, 0));
    EXPECT_EQ(stream.GetC(), uint8_t(10 * 7));
    EXPECT_EQ(stream.Read(buf, 2, 3), 3u);
    EXPECT_EQ(buf[0], uint8_t(11 * 7));

    // Writing past the end leaves zeros in the gap.
    ASSERT_TRUE(stream.Seek(5100, 0));
    EXPECT_TRUE(stream.PutC(0xEE));
    EXPECT_EQ(stream.Size(), 5101);
    ASSERT_TRUE(stream.Seek(5000, 0));
    std::vector<uint8_t> gap(101);
    EXPECT_EQ(stream.Read(gap.data(), 1, 101), 101u);
    for (size_t i = 0; i < 100; ++i)
        ASSERT_EQ(gap[i], 0);
    EXPECT_EQ(gap[100], 0xEE);

    uint8_t* block = stream.DetachBuffer(true);
    stream.Close();
    EXPECT_EQ(block[5100], 0xEE); // survives the close
    std::free(block);
}

TEST(RasterStreams, MemoryStreamNeverFreesCallerBytes)
{
    uint8_t bytes[4] = {1, 2, 3, 4};
    {
        CRasterMemStream stream(bytes, sizeof bytes);
        EXPECT_EQ(stream.Size(), 4);
        EXPECT_EQ(stream.GetC(), 1);
        // Growing over the caller's bytes moves them into a block of the stream's own.
        ASSERT_TRUE(stream.Seek(0, 2));
        EXPECT_EQ(stream.Write("xyz", 1, 3), 3u);
        ASSERT_TRUE(stream.Seek(0, 0));
        uint8_t out[7];
        EXPECT_EQ(stream.Read(out, 1, 7), 7u);
        EXPECT_EQ(out[3], 4);
        EXPECT_EQ(out[6], 'z');
    }
    EXPECT_EQ(bytes[0], 1);
}

TEST(RasterStreams, FileStreamLeavesTheCallersFileOpen)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        CRasterFileStream stream(f);
        EXPECT_EQ(stream.Write("abcdef", 1, 6), 6u);
        EXPECT_TRUE(stream.PutC('g'));
        EXPECT_EQ(stream.Size(), 7);
        EXPECT_EQ(stream.Tell(), 7);
        EXPECT_TRUE(stream.Seek(2, 0));
        EXPECT_EQ(stream.GetC(), 'c');
        EXPECT_TRUE(stream.Close());
    }
    // Still open: usable after the stream is gone.
    EXPECT_EQ(std::fseek(f, 0, SEEK_SET), 0);
    EXPECT_EQ(std::fgetc(f), 'a');
    std::fclose(f);

    CRasterFileStream none;
    EXPECT_EQ(none.Size(), -1);
    EXPECT_EQ(none.Error(), -1);
    EXPECT_TRUE(none.Eof());
    EXPECT_EQ(none.GetC(), -1);
    EXPECT_FALSE(none.Seek(0, 0));
    EXPECT_TRUE(none.Close());
}

TEST(RasterCore, RowCursorWalksStoredRowsTopDown)
{
    CRaster image(3, 3, 8, 0);
    ImageRowCursor cursor(image);
    EXPECT_EQ(cursor.Current(), image.Row(0));
    EXPECT_EQ(cursor.MoveToTop(), image.Row(2));
    const uint8_t top[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    cursor.CopyIn(top, sizeof top); // at most rowStride (4) bytes
    EXPECT_EQ(image.Row(2)[3], 4);
    EXPECT_EQ(image.Row(1)[0], 0);
    EXPECT_TRUE(cursor.StepDown());
    EXPECT_EQ(cursor.y, 1);
    EXPECT_TRUE(cursor.StepDown());
    EXPECT_FALSE(cursor.StepDown()); // below row 0
    EXPECT_EQ(cursor.Current(), nullptr);
    EXPECT_EQ(cursor.MoveTo(7), nullptr); // out of range: unchanged
    EXPECT_EQ(cursor.MoveTo(2), image.Row(2));
    uint8_t out[4];
    cursor.CopyOut(out);
    EXPECT_EQ(out[0], 1);
}

// A resolution a file states may be absurd: the pixels-per-metre field keeps the largest it can.
TEST(RasterCore, HugeResolutionsStayInTheirFields)
{
    struct Case { int32_t dpi; int32_t pelsPerMetre; };
    const Case cases[] = {
        {72, 2835}, {0, 0}, {300, 11811}, {INT32_MAX, INT32_MAX}, {-2147483520, INT32_MIN}, {100000000, INT32_MAX},
    };
    for (const Case& c : cases) {
        CRaster image(2, 2, 24, RasterFormatBMP);
        image.SetHorizontalDpi(c.dpi);
        image.SetVerticalDpi(c.dpi);
        EXPECT_EQ(image.xDpi, c.dpi);
        EXPECT_EQ(image.header.biXPelsPerMeter, c.pelsPerMetre) << c.dpi;
        EXPECT_EQ(image.header.biYPelsPerMeter, c.pelsPerMetre) << c.dpi;
    }
}
