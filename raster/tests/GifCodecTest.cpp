#include "raster/GifLzw.h"
#include "raster/RasterGIF.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

using namespace codectest;

namespace {

// RGBA of a decoded GIF with the transparent index (if any) fully transparent.
std::vector<uint8_t> GifRgba(const CRaster& img)
{
    std::vector<uint8_t> out = OurRgba(img);
    if (img.BitsPerPixel() <= 8 && img.transparentIndex >= 0) {
        size_t i = 0;
        for (int32_t y = img.Height() - 1; y >= 0; --y)
            for (int32_t x = 0; x < img.Width(); ++x, i += 4)
                if (img.ReadPixelIndex(x, y) == img.transparentIndex)
                    out[i + 3] = 0;
    }
    return out;
}

struct GifBlocks {
    std::vector<std::pair<int, int>> imageSizes;
    std::vector<int> transparency;  // control flags bit 0 of each image's control block
};

// Walks a GIF's blocks independently of the decoder.
GifBlocks Blocks(const std::vector<uint8_t>& f)
{
    GifBlocks out;
    size_t p = 13;
    if (f[10] & 0x80)
        p += 3u * (2u << (f[10] & 7));
    auto skipSub = [&]() {
        while (p < f.size() && f[p] != 0)
            p += f[p] + 1;
        ++p;
    };
    while (p < f.size()) {
        const uint8_t b = f[p++];
        if (b == 0x3B)
            break;
        if (b == 0x21) {
            if (f[p] == 0xF9)
                out.transparency.push_back(f[p + 2] & 1);
            ++p;
            skipSub();
        } else if (b == 0x2C) {
            out.imageSizes.emplace_back(rasterio::U16(&f[p + 4]), rasterio::U16(&f[p + 6]));
            const uint8_t flags = f[p + 8];
            p += 9;
            if (flags & 0x80)
                p += 3u * (2u << (flags & 7));
            ++p;  // code size
            skipSub();
        }
    }
    return out;
}

// A GIF written byte by byte: a screen with a global table and background index, then images
// with their own table, position, disposal and indexes (LZW with a clear code every two pixels,
// so that the code width stays at its start).
struct HandGifImage {
    int left, top, width, height;
    std::vector<std::array<uint8_t, 3>> table; // empty: the global table
    int disposal;
    std::vector<uint8_t> indexes;
};

std::vector<uint8_t> HandGif(int screenW, int screenH, const std::vector<std::array<uint8_t, 3>>& global, int background,
                             const std::vector<HandGifImage>& images)
{
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    auto put16 = [&](int v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    auto table = [&](const std::vector<std::array<uint8_t, 3>>& t) {
        int bits = 1;
        while ((1u << bits) < t.size())
            ++bits;
        for (size_t i = 0; i < (1u << bits); ++i)
            for (int c = 0; c < 3; ++c)
                out.push_back(i < t.size() ? t[i][c] : 0);
        return bits;
    };
    put16(screenW);
    put16(screenH);
    const size_t flagsAt = out.size();
    out.insert(out.end(), {0, uint8_t(background), 0});
    out[flagsAt] = uint8_t(0x80 | (table(global) - 1));
    for (const HandGifImage& image : images) {
        out.insert(out.end(), {0x21, 0xF9, 4, uint8_t(image.disposal << 2), 10, 0, 0, 0});
        out.push_back(0x2C);
        put16(image.left);
        put16(image.top);
        put16(image.width);
        put16(image.height);
        const size_t at = out.size();
        out.push_back(0);
        if (!image.table.empty())
            out[at] = uint8_t(0x80 | (table(image.table) - 1));
        const int clear = 4, end = 5, width = 3;
        std::vector<int> codes;
        for (size_t i = 0; i < image.indexes.size(); ++i) {
            if (i % 2 == 0)
                codes.push_back(clear);
            codes.push_back(image.indexes[i]);
        }
        codes.push_back(end);
        std::vector<uint8_t> packed;
        uint32_t bits = 0;
        int count = 0;
        for (int code : codes) {
            bits |= uint32_t(code) << count;
            count += width;
            for (; count >= 8; count -= 8, bits >>= 8)
                packed.push_back(uint8_t(bits));
        }
        if (count)
            packed.push_back(uint8_t(bits));
        out.push_back(2);
        for (size_t i = 0; i < packed.size(); i += 255) {
            const size_t n = std::min<size_t>(255, packed.size() - i);
            out.push_back(uint8_t(n));
            out.insert(out.end(), packed.begin() + std::ptrdiff_t(i), packed.begin() + std::ptrdiff_t(i + n));
        }
        out.push_back(0);
    }
    out.push_back(0x3B);
    return out;
}

} // namespace

TEST(GifCodec, DecodesImageMagickVariants)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 37, 23);
    ASSERT_FALSE(src.empty());
    struct Variant {
        const char* options;
        int bits;
    };
    const Variant variants[] = {
        {"-colors 200", 8},
        {"-colors 16", 4},
        {"-monochrome", 1},
        {"-colors 200 -interlace GIF", 8},
        {"-colors 9 -interlace GIF", 4},
        {"-alpha set -channel A -fx 'i>10?1:0' +channel -colors 50", 0},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.options);
        const std::string file = dir / "v.gif";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + " GIF:'" + file + "'"));
        CRasterGIF img;
        ASSERT_TRUE(DecodeFile(file, img));
        EXPECT_EQ(img.frameCount, 1);
        if (v.bits)
            EXPECT_EQ(img.BitsPerPixel(), v.bits);
        else
            EXPECT_GE(img.transparentIndex, 0);
        EXPECT_TRUE(SameRgba(GifRgba(img), OracleRgba(file, dir), 37));
    }
    // An interlaced file gives the same picture as its plain twin.
    ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' -colors 100 GIF:'" + dir / "p.gif" + "'"));
    ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' -colors 100 -interlace GIF GIF:'" + dir / "i.gif" + "'"));
    CRasterGIF plain, interlaced;
    ASSERT_TRUE(DecodeFile(dir / "p.gif", plain));
    ASSERT_TRUE(DecodeFile(dir / "i.gif", interlaced));
    EXPECT_EQ(OurRgba(plain), OurRgba(interlaced));
}

// Frames by number; with "leave in place" each frame is drawn over the ones before, the way
// ImageMagick coalesces them. Frame 0 keeps its own (absent) transparency even though a later
// frame has one.
TEST(GifCodec, AnimationFramesCountAndComposition)
{
    TempDir dir;
    const std::string file = dir / "anim.gif";
    ASSERT_TRUE(Shell(std::string(kConvert) + " -dispose None -delay 10 -size 20x10 xc:red"
                      " \\( -size 6x4 xc:blue -repage 20x10+3+2 \\) \\( -size 5x5 xc:green -repage 20x10+10+5 \\)"
                      " \\( -size 4x4 xc:yellow -repage 20x10+0+0 \\)"
                      " \\( -size 6x6 xc:none -fill black -draw 'point 2,2' -repage 20x10+14+1 \\) +map '" + file + "'"));
    for (int frame = 0; frame < 5; ++frame) {
        SCOPED_TRACE(frame);
        CRasterGIF img;
        img.frame = frame;
        ASSERT_TRUE(DecodeFile(file, img));
        EXPECT_EQ(img.frameCount, 5);
        EXPECT_EQ(img.Width(), 20);
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + file + "' -coalesce '" + dir / "c%d.png" + "'"));
        EXPECT_TRUE(SameRgba(GifRgba(img), OracleRgba(dir / ("c" + std::to_string(frame) + ".png"), dir), 20, 0, false));
        if (frame == 0) {
            EXPECT_EQ(img.transparentIndex, -1);
        }
    }
    CRasterGIF past;
    past.frame = 5;
    EXPECT_FALSE(DecodeFile(file, past));
    EXPECT_EQ(past.frameCount, 5);
    EXPECT_STREQ(past.lastError, "Frame not present in GIF file");
}

TEST(GifCodec, TransparentPaletteFillsWithWhite)
{
    // 64-entry global table, a 2 x 1 image of indexes 3 and 5.
    auto make = [](bool transparent) {
        std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x85, 0, 0};
        f.resize(f.size() + 64 * 3, 10);
        if (transparent)
            f.insert(f.end(), {0x21, 0xF9, 4, 1, 0, 0, 3, 0});
        f.insert(f.end(), {0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 6});
        GifRunLengthCoder coder(7);
        coder.Pixel(3);
        coder.Pixel(5);
        std::vector<uint8_t> data = coder.Finish();
        f.insert(f.end(), data.begin(), data.end());
        f.insert(f.end(), {0, 0x3B});
        return f;
    };
    CRasterGIF with, without;
    ASSERT_TRUE(DecodeBytes(make(true), with));
    ASSERT_TRUE(DecodeBytes(make(false), without));
    EXPECT_EQ(with.transparentIndex, 3);
    EXPECT_EQ(without.transparentIndex, -1);
    EXPECT_EQ(with.BitsPerPixel(), 8);
    EXPECT_EQ(with.ReadPaletteEntry(63), (RGBQUAD{10, 10, 10, 0}));
    EXPECT_EQ(with.ReadPaletteEntry(64), (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(with.ReadPaletteEntry(255), (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(without.ReadPaletteEntry(64), (RGBQUAD{0, 0, 0, 0}));
    EXPECT_EQ(with.ReadPixelIndex(1, 0), 5);
}

TEST(GifCodec, PalettePicturesRoundTripAndImageMagickReadsThem)
{
    TempDir dir;
    const std::string src = MakeSource(dir, 21, 13);
    struct Variant {
        const char* options;
        int bits;
        uint8_t flags;
    };
    const Variant variants[] = {
        {"-colors 150 -type palette -compress none", 8, 0xF7},
        {"-colors 16 -type palette -compress none", 4, 0xB3},
        {"-monochrome", 1, 0x80},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.options);
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' " + v.options + " BMP3:'" + dir / "in.bmp" + "'"));
        CRaster img;
        ASSERT_TRUE(img.Load((dir / "in.bmp").c_str(), RasterFormatBMP));
        ASSERT_EQ(img.BitsPerPixel(), v.bits);
        img.transparentIndex = 1;
        bool ok = false;
        std::vector<uint8_t> out = EncodeBytes<CRasterGIF>(img, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(out[10], v.flags);
        CRasterGIF back;
        ASSERT_TRUE(DecodeBytes(out, back));
        EXPECT_EQ(back.BitsPerPixel(), v.bits);
        EXPECT_EQ(back.transparentIndex, 1);
        for (int32_t y = 0; y < 13; ++y)
            for (int32_t x = 0; x < 21; ++x)
                ASSERT_EQ(back.ReadPixelIndex(x, y), img.ReadPixelIndex(x, y)) << x << "," << y;
        for (uint32_t i = 0; i < img.PaletteCount(); ++i)
            ASSERT_EQ(back.ReadPaletteEntry(i), img.ReadPaletteEntry(i)) << i;
        WriteFile(dir / "out.gif", out);
        EXPECT_TRUE(SameRgba(GifRgba(back), OracleRgba(dir / "out.gif", dir), 21));
    }
}

// 24-bit pictures become cells of 17 x 15 with their own tables and read back exactly, also
// when one cell spans the whole width or height.
TEST(GifCodec, TrueColourMosaicRoundTrips)
{
    TempDir dir;
    struct Size {
        int w, h;
        std::vector<std::pair<int, int>> cells;
    };
    const Size sizes[] = {
        {40, 20, {{17, 15}, {17, 15}, {6, 15}, {17, 5}, {17, 5}, {6, 5}}},
        {10, 40, {{10, 15}, {10, 15}, {10, 10}}},
        {1, 20, {{1, 15}, {1, 5}}},
        {35, 1, {{17, 1}, {17, 1}, {1, 1}}},
    };
    for (const Size& s : sizes) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        const std::string src = MakeSource(dir, s.w, s.h);
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + src + "' -type truecolor BMP3:'" + dir / "in.bmp" + "'"));
        CRaster img;
        ASSERT_TRUE(img.Load((dir / "in.bmp").c_str(), RasterFormatBMP));
        bool ok = false;
        std::vector<uint8_t> out = EncodeBytes<CRasterGIF>(img, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(out[10], 0x11);
        EXPECT_EQ(Blocks(out).imageSizes, s.cells);
        CRasterGIF back;
        ASSERT_TRUE(DecodeBytes(out, back));
        EXPECT_EQ(back.BitsPerPixel(), 24);
        EXPECT_EQ(OurRgba(back), OurRgba(img));
        WriteFile(dir / "out.gif", out);
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + dir / "out.gif" + "' -coalesce '" + dir / "f%d.png" + "'"));
        const std::string last = dir / ("f" + std::to_string(s.cells.size() - 1) + ".png");
        EXPECT_TRUE(SameRgba(OurRgba(img), OracleRgba(last, dir), s.w, 0, false));
    }
}

TEST(GifCodec, FailuresAndTexts)
{
    CRasterGIF notGif;
    EXPECT_FALSE(DecodeBytes({'G', 'I', 'F', '9', '8', 'a', 1, 0, 1, 0, 0, 0, 0}, notGif));
    EXPECT_STREQ(notGif.lastError, "Not a GIF file");
    // Header and global table only: no frames.
    std::vector<uint8_t> empty = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
    CRasterGIF noFrames;
    EXPECT_FALSE(DecodeBytes(empty, noFrames));
    EXPECT_EQ(noFrames.frameCount, 0);
    EXPECT_STREQ(noFrames.lastError, "Frame not present in GIF file");
    CRasterGIF noStream;
    EXPECT_FALSE(noStream.Decode(nullptr));
    EXPECT_STREQ(noStream.lastError, "Can't open GIF for reading");
    // A truncated image leaves the rest of the frame cleared but still decodes.
    CRaster img(30, 30, 8, RasterFormatGIF);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            img.WritePixelIndex(x, y, static_cast<uint8_t>(x * 7 + y));
    std::vector<uint8_t> out = EncodeBytes<CRasterGIF>(img);
    out.resize(out.size() / 2 + 400);
    CRasterGIF cut;
    ASSERT_TRUE(DecodeBytes(out, cut));
    EXPECT_EQ(cut.ReadPixelIndex(0, 29), img.ReadPixelIndex(0, 29));
    EXPECT_EQ(cut.ReadPixelIndex(29, 0), 0);

    CRasterGIF codec;
    codec.ShareMemoryOf(img);
    EXPECT_FALSE(codec.Encode(nullptr));
    EXPECT_STREQ(codec.lastError, "Can't open GIF for writing");
}

// Blocks other readers accept must not end the reading: an XMP application extension before
// the image, and an image without any colour table (its indexes kept as 8 bits).
TEST(GifCodec, ApplicationDataAndMissingTables)
{
    auto image = [](const std::vector<uint8_t>& pixels, int minCode) {
        std::vector<uint8_t> f = {0x2C, 0, 0, 0, 0, 3, 0, 1, 0, 0, static_cast<uint8_t>(minCode)};
        GifRunLengthCoder coder(minCode + 1);
        for (uint8_t p : pixels)
            coder.Pixel(p);
        std::vector<uint8_t> data = coder.Finish();
        f.insert(f.end(), data.begin(), data.end());
        f.push_back(0);
        return f;
    };
    std::vector<uint8_t> xmp = {'G', 'I', 'F', '8', '9', 'a', 3, 0, 1, 0, 0x80, 0, 0, 1, 2, 3, 4, 5, 6};
    const char id[] = "XMP DataXMP";
    xmp.insert(xmp.end(), {0x21, 0xFF, 11});
    xmp.insert(xmp.end(), id, id + 11);
    xmp.insert(xmp.end(), {5, 'h', 'e', 'l', 'l', 'o', 2, 'x', 'y', 0});
    std::vector<uint8_t> img = image({1, 0, 1}, 2);
    xmp.insert(xmp.end(), img.begin(), img.end());
    xmp.push_back(0x3B);
    CRasterGIF withXmp;
    ASSERT_TRUE(DecodeBytes(xmp, withXmp));
    ASSERT_EQ(withXmp.Width(), 3);
    EXPECT_EQ(withXmp.ReadPixelColour(0, 0), (RGBQUAD{6, 5, 4, 0}));
    EXPECT_EQ(withXmp.ReadPixelColour(1, 0), (RGBQUAD{3, 2, 1, 0}));

    std::vector<uint8_t> bare = {'G', 'I', 'F', '8', '7', 'a', 3, 0, 1, 0, 0, 0, 0};
    img = image({200, 7, 255}, 8);
    bare.insert(bare.end(), img.begin(), img.end());
    bare.push_back(0x3B);
    CRasterGIF noTable;
    ASSERT_TRUE(DecodeBytes(bare, noTable));
    EXPECT_EQ(noTable.BitsPerPixel(), 8);
    EXPECT_EQ(noTable.ReadPixelIndex(0, 0), 200);
    EXPECT_EQ(noTable.ReadPixelIndex(2, 0), 255);
}

// LZW index codes hold 2 to 8 bits; a file claiming another size is refused, not decoded as noise.
TEST(GifCodec, LzwCodeSizeOutsideTwoToEightFails)
{
    for (int minCode : {0, 1, 2, 8, 9, 11, 12, 200}) {
        SCOPED_TRACE(minCode);
        std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
        f.insert(f.end(), {0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, static_cast<uint8_t>(minCode)});
        const int width = std::clamp(minCode, 2, 12) + 1;
        GifRunLengthCoder coder(width);
        coder.Pixel(1);
        coder.Pixel(0);
        std::vector<uint8_t> data = coder.Finish();
        f.insert(f.end(), data.begin(), data.end());
        f.insert(f.end(), {0, 0x3B});
        CRasterGIF img;
        const bool valid = minCode >= 2 && minCode <= 8;
        EXPECT_EQ(DecodeBytes(f, img), valid);
        if (valid) {
            EXPECT_EQ(img.ReadPixelIndex(0, 0), 1);
            EXPECT_EQ(img.ReadPixelIndex(1, 0), 0);
        } else {
            EXPECT_STREQ(img.lastError, "Bad LZW code size in GIF image");
        }
    }
}

// Frames with their own colour tables drawn over the earlier ones ("leave in place"), and a
// first frame smaller than the screen, land where ImageMagick puts them when it coalesces.
TEST(GifCodec, LocalTablesAndFramePositionsOnTheScreen)
{
    TempDir dir;
    struct Case { const char* name; const char* frames; int count; };
    const Case cases[] = {
        {"local tables", "-dispose None -delay 10 -size 20x10 gradient:red-blue"
                         " \\( -size 6x4 gradient:yellow-green -repage 20x10+3+2 \\)"
                         " \\( -size 5x5 gradient:white-purple -repage 20x10+12+4 \\)", 3},
        {"small first frame", "-dispose None -delay 10 \\( -size 8x5 xc:orange -repage 20x10+6+3 \\)"
                              " \\( -size 4x4 xc:navy -repage 20x10+1+1 \\)", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir / "f.gif";
        ASSERT_TRUE(Shell(std::string(kConvert) + " " + c.frames + " '" + file + "'"));
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + file + "' -coalesce '" + dir / "c%d.png" + "'"));
        for (int frame = 0; frame < c.count; ++frame) {
            SCOPED_TRACE(frame);
            CRasterGIF img;
            img.frame = frame;
            ASSERT_TRUE(DecodeFile(file, img)) << img.lastError;
            EXPECT_EQ(img.frameCount, c.count);
            ASSERT_EQ(img.Width(), 20);
            ASSERT_EQ(img.Height(), 10);
            EXPECT_TRUE(SameRgba(GifRgba(img), OracleRgba(dir / ("c" + std::to_string(frame) + ".png"), dir), 20, 0, true));
        }
    }
}

// An image smaller than the screen, with its own colour table, shown alone: what no image covers
// is the screen's background colour, the global table's entry at the background index (taken as
// an index of the image's own table it filled the whole screen with the image's colour). The
// image itself lands where ImageMagick puts it; ImageMagick fills the rest with a colour of its
// own (white, or black when asked for none), so only the image's place is compared with it.
TEST(GifCodec, WhatNoImageCoversIsTheScreensBackgroundColour)
{
    TempDir dir;
    const std::vector<std::array<uint8_t, 3>> global = {{{255, 255, 255}}, {{0, 0, 0}}};
    const std::vector<std::array<uint8_t, 3>> redFirst = {{{255, 0, 0}}, {{0, 255, 0}}, {{0, 0, 255}}, {{255, 255, 0}}};
    const std::vector<std::array<uint8_t, 3>> withBlack = {{{255, 0, 0}}, {{0, 0, 0}}, {{0, 0, 255}}, {{255, 255, 0}}};
    struct Case { const char* name; int background; std::vector<std::array<uint8_t, 3>> table; int disposal; };
    const Case cases[] = {
        {"own table, background white (index 0), not in the table", 0, redFirst, 2},
        {"own table, background black (index 1), not in the table", 1, redFirst, 0},
        {"own table holding the background colour", 1, withBlack, 0},
        {"the global table", 1, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Red with blue stripes (white with black ones in the global table).
        std::vector<uint8_t> indexes(48);
        for (size_t i = 0; i < indexes.size(); ++i)
            indexes[i] = uint8_t(i % 3 != 2 ? 0 : c.table.empty() ? 1 : 2);
        const std::string file = dir / "sub.gif";
        WriteFile(file, HandGif(20, 12, global, c.background, {{5, 3, 8, 6, c.table, c.disposal, indexes}}));
        CRasterGIF img;
        ASSERT_TRUE(DecodeFile(file, img)) << img.lastError;
        ASSERT_EQ(img.Width(), 20);
        ASSERT_EQ(img.Height(), 12);
        const std::string oracle = dir / "o.rgba";
        ASSERT_TRUE(Shell(std::string(kConvert) + " '" + file + "' -coalesce -depth 8 rgba:'" + oracle + "'"));
        const std::vector<uint8_t> theirs = ReadFile(oracle), ours = GifRgba(img);
        ASSERT_EQ(theirs.size(), ours.size());
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 20; ++x) {
                const size_t i = (size_t(y) * 20 + x) * 4;
                const bool inside = x >= 5 && x < 13 && y >= 3 && y < 9;
                for (int ch = 0; ch < 3; ++ch) {
                    const int want = inside ? theirs[i + ch] : global[size_t(c.background)][size_t(ch)];
                    ASSERT_EQ(ours[i + ch], want) << x << "," << y << " channel " << ch;
                }
            }
    }

    // A later image with its own table (not kept over the one before) stands on the background
    // colour too, not on a screen of its own colour.
    const std::string file = dir / "second.gif";
    WriteFile(file, HandGif(20, 12, global, 0,
                            {{0, 0, 20, 12, {}, 0, std::vector<uint8_t>(240, 1)}, {5, 3, 8, 6, redFirst, 0, std::vector<uint8_t>(48, 0)}}));
    CRasterGIF second;
    second.frame = 1;
    ASSERT_TRUE(DecodeFile(file, second)) << second.lastError;
    const RGBQUAD outside = second.ReadPixelColour(0, 0), inside = second.ReadPixelColour(6, 5);
    EXPECT_EQ(int(outside.rgbRed) + outside.rgbGreen + outside.rgbBlue, 3 * 255) << "the screen's white";
    EXPECT_EQ(inside.rgbRed, 255);
    EXPECT_EQ(inside.rgbGreen, 0);
}
