#include "raster/RasterPNG.h"
#include "RasterTestUtil.h"

#include <zlib.h>

#include <cstring>

using namespace rastertest;

namespace {

// Alpha as the image carries it: its plane, its palette's reserved bytes or its transparent index.
int AlphaAt(const CRaster& image, int x, int y)
{
    if (image.alpha)
        return image.GetAlphaValue(x, y);
    if (image.PaletteCount() && image.paletteAlphaOn)
        return image.ReadPixelColour(x, y).rgbReserved;
    if (image.PaletteCount() && image.transparentIndex >= 0 && image.ReadPixelIndex(x, y) == image.transparentIndex)
        return 0;
    return 255;
}

int MaxDifferenceWithAlpha(const CRaster& image, const Rgba& expected)
{
    if (image.Width() != expected.width || image.Height() != expected.height)
        return 1000;
    int worst = MaxDifference(image, expected);
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x)
            worst = std::max(worst, std::abs(AlphaAt(image, x, image.Height() - 1 - y) - expected.At(x, y)[3]));
    return worst;
}

struct Chunk { std::string type; std::vector<uint8_t> data; };

std::vector<Chunk> Chunks(const std::vector<uint8_t>& png)
{
    std::vector<Chunk> chunks;
    for (size_t p = 8; p + 12 <= png.size();) {
        size_t n = size_t(png[p]) << 24 | size_t(png[p + 1]) << 16 | size_t(png[p + 2]) << 8 | png[p + 3];
        if (p + 12 + n > png.size())
            break;
        chunks.push_back({std::string(png.begin() + p + 4, png.begin() + p + 8),
                          std::vector<uint8_t>(png.begin() + p + 8, png.begin() + p + 8 + n)});
        p += 12 + n;
    }
    return chunks;
}

const Chunk* FindChunk(const std::vector<Chunk>& chunks, const std::string& type)
{
    for (const Chunk& c : chunks)
        if (c.type == type)
            return &c;
    return nullptr;
}

// A minimal PNG writer for fixtures ImageMagick will not produce (palette alpha, colour keys).
class PngBuilder {
public:
    PngBuilder(uint32_t w, uint32_t h, uint8_t depth, uint8_t colourType) : width(w), height(h)
    {
        std::vector<uint8_t> ihdr;
        Put32(ihdr, w);
        Put32(ihdr, h);
        ihdr.insert(ihdr.end(), {depth, colourType, 0, 0, 0});
        Add("IHDR", ihdr);
    }
    void Add(const std::string& type, const std::vector<uint8_t>& data)
    {
        Put32(bytes, uint32_t(data.size()));
        std::vector<uint8_t> body(type.begin(), type.end());
        body.insert(body.end(), data.begin(), data.end());
        bytes.insert(bytes.end(), body.begin(), body.end());
        Put32(bytes, uint32_t(crc32(0, body.data(), uInt(body.size()))));
    }
    // Rows already packed, each preceded by its filter byte 0.
    std::vector<uint8_t> Finish(const std::vector<std::vector<uint8_t>>& rows)
    {
        std::vector<uint8_t> raw;
        for (auto& r : rows) {
            raw.push_back(0);
            raw.insert(raw.end(), r.begin(), r.end());
        }
        uLongf size = compressBound(uLong(raw.size()));
        std::vector<uint8_t> z(size);
        compress(z.data(), &size, raw.data(), uLong(raw.size()));
        z.resize(size);
        Add("IDAT", z);
        Add("IEND", {});
        return bytes;
    }
    static void Put32(std::vector<uint8_t>& v, uint32_t x)
    {
        v.insert(v.end(), {uint8_t(x >> 24), uint8_t(x >> 16), uint8_t(x >> 8), uint8_t(x)});
    }
    std::vector<uint8_t> bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint32_t width, height;
};

class FailingStream : public CRasterMemStream {
public:
    FailingStream() { Open(); }
    size_t Write(const void*, size_t, size_t) override { return 0; }
};

} // namespace

TEST(RasterPng, DecodesEveryKindImageMagickWrites)
{
    TempFolder dir;
    struct Case { const char* options; int depth, colourType, bits; bool alphaPlane; int tolerance; };
    const Case cases[] = {
        {"-monochrome -define png:color-type=3", 1, 3, 1, false, 0},
        {"-colors 2 +dither -define png:color-type=3", 2, 3, 4, false, 0},
        {"-colors 9 +dither -define png:color-type=3", 4, 3, 4, false, 0},
        {"-colors 200 -define png:color-type=3", 8, 3, 8, false, 0},
        {"-colorspace Gray -define png:bit-depth=1 -define png:color-type=0", 1, 0, 1, false, 0},
        {"-colorspace Gray -define png:bit-depth=2 -define png:color-type=0", 2, 0, 4, false, 0},
        {"-colorspace Gray -define png:bit-depth=4 -define png:color-type=0", 4, 0, 4, false, 0},
        {"-colorspace Gray -define png:bit-depth=8 -define png:color-type=0", 8, 0, 8, false, 0},
        {"-colorspace Gray -define png:bit-depth=16 -define png:color-type=0", 16, 0, 8, false, 1},
        {"-define png:bit-depth=8 -define png:color-type=2", 8, 2, 24, false, 0},
        {"-define png:bit-depth=16 -define png:color-type=2", 16, 2, 24, false, 1},
        {"-colorspace Gray -alpha set -channel A -fx 'i/w' +channel -define png:bit-depth=8 -define png:color-type=4", 8, 4, 24, true, 0},
        {"-colorspace Gray -alpha set -channel A -fx 'i/w' +channel -define png:bit-depth=16 -define png:color-type=4", 16, 4, 24, true, 1},
        {"-alpha set -channel A -fx 'j/h' +channel -define png:bit-depth=8 -define png:color-type=6", 8, 6, 24, true, 0},
        {"-alpha set -channel A -fx 'j/h' +channel -define png:bit-depth=16 -define png:color-type=6", 16, 6, 24, true, 1},
    };
    for (const Case& c : cases) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.options << (interlaced ? " interlaced" : ""));
            std::string png = dir / "in.png";
            ASSERT_EQ(Shell(std::string(kConvert) + " -size 21x11 -seed 3 plasma: " + c.options +
                            (interlaced ? " -interlace PNG " : " ") + png), 0);
            std::vector<uint8_t> bytes = ReadFile(png);
            auto chunks = Chunks(bytes);
            const Chunk* ihdr = FindChunk(chunks, "IHDR");
            ASSERT_NE(ihdr, nullptr);
            ASSERT_EQ(ihdr->data[8], c.depth) << "the oracle wrote another depth";
            ASSERT_EQ(ihdr->data[9], c.colourType);
            ASSERT_EQ(ihdr->data[12], interlaced ? 1 : 0);
            CRaster image(0);
            ASSERT_TRUE(DecodeBytes(image, bytes, RasterFormatPNG)) << image.lastError;
            EXPECT_EQ(image.BitsPerPixel(), c.bits);
            EXPECT_EQ(image.alpha != nullptr, c.alphaPlane);
            EXPECT_EQ(image.formatCode, 3u);
            EXPECT_LE(MaxDifferenceWithAlpha(image, ConvertToRgba(png, 21, 11)), c.tolerance);
        }
    }
}

TEST(RasterPng, TwoBitGreyWidensToNibblesWithFourGreys)
{
    // Pixels 0, 1, 2, 3, 3, 2, 1 in one 2-bit row.
    PngBuilder b(7, 1, 2, 0);
    std::vector<uint8_t> png = b.Finish({{0x1B, 0xE4}});
    CRaster image(0);
    ASSERT_TRUE(DecodeBytes(image, png, RasterFormatPNG)) << image.lastError;
    ASSERT_EQ(image.BitsPerPixel(), 4);
    const int expected[7] = {0, 1, 2, 3, 3, 2, 1};
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(image.ReadPixelIndex(x, 0), expected[x]) << x;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(image.ReadPaletteEntry(i), (RGBQUAD{uint8_t(85 * i), uint8_t(85 * i), uint8_t(85 * i), 0}));
}

TEST(RasterPng, TransparencyChunks)
{
    const std::vector<uint8_t> plte = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    struct Case { std::vector<uint8_t> trns; int transparentIndex; bool paletteAlpha; std::vector<int> reserved; };
    const Case cases[] = {
        {{0}, 0, false, {0, 0, 0, 0}},
        {{255, 0}, -1, true, {255, 0, 255, 255}},      // entries beyond the chunk become opaque
        {{10, 128, 200}, -1, true, {10, 128, 200, 255}},
        {{7}, -1, true, {7, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trns.size());
        PngBuilder b(4, 1, 8, 3);
        b.Add("PLTE", plte);
        b.Add("tRNS", c.trns);
        CRaster image(0);
        ASSERT_TRUE(DecodeBytes(image, b.Finish({{0, 1, 2, 3}}), RasterFormatPNG)) << image.lastError;
        EXPECT_EQ(image.transparentIndex, c.transparentIndex);
        EXPECT_EQ(image.paletteAlphaOn, c.paletteAlpha);
        EXPECT_EQ(image.alpha, nullptr);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(image.ReadPaletteEntry(i).rgbReserved, c.reserved[i]) << i;
        EXPECT_EQ(image.ReadPaletteEntry(1), (RGBQUAD{0, 255, 0, uint8_t(c.reserved[1])})); // colours untouched
    }

    // Colour keys of grey and RGB files: the keyed pixels become transparent in an alpha plane.
    PngBuilder grey(3, 1, 8, 0);
    grey.Add("tRNS", {0, 77});
    CRaster g(0);
    ASSERT_TRUE(DecodeBytes(g, grey.Finish({{10, 77, 200}}), RasterFormatPNG)) << g.lastError;
    ASSERT_NE(g.alpha, nullptr);
    EXPECT_EQ(g.GetAlphaValue(0, 0), 255);
    EXPECT_EQ(g.GetAlphaValue(1, 0), 0);
    EXPECT_EQ(g.ReadPixelColour(2, 0), (RGBQUAD{200, 200, 200, 0}));

    PngBuilder rgb(2, 1, 8, 2);
    rgb.Add("tRNS", {0, 1, 0, 2, 0, 3});
    rgb.Add("bKGD", {0, 40, 0, 50, 0, 60});
    CRaster r(0);
    ASSERT_TRUE(DecodeBytes(r, rgb.Finish({{1, 2, 3, 1, 2, 4}}), RasterFormatPNG)) << r.lastError;
    ASSERT_NE(r.alpha, nullptr);
    EXPECT_EQ(r.GetAlphaValue(0, 0), 0);
    EXPECT_EQ(r.GetAlphaValue(1, 0), 255);
    EXPECT_EQ(r.ReadPixelColour(0, 0), (RGBQUAD{3, 2, 1, 0}));
    EXPECT_EQ(r.transparentColor, (RGBQUAD{60, 50, 40, 0}));
}

TEST(RasterPng, WhatWeWriteReadsTheSameInImageMagickAndHere)
{
    TempFolder dir;
    struct Case { const char* name; int bits; int alphaMode; };
    // alphaMode: 0 none, 1 alpha plane, 2 transparent index, 3 palette alpha
    const Case cases[] = {
        {"1 bit", 1, 0}, {"4 bit", 4, 0}, {"8 bit", 8, 0}, {"24 bit", 24, 0}, {"24 bit alpha", 24, 1},
        {"8 bit keyed", 8, 2}, {"4 bit palette alpha", 4, 3}, {"24 bit keyed", 24, 2}, {"1 bit keyed", 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image(19, 9, c.bits, RasterFormatPNG);
        for (uint32_t i = 0; i < image.PaletteCount(); ++i)
            image.WritePaletteEntry(i, uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 5), c.alphaMode == 3 ? uint8_t(i * 16) : 0);
        image.paletteAlphaOn = c.alphaMode == 3;
        FillPattern(image, 5);
        if (c.alphaMode == 1) {
            image.CreateAlphaPlane();
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 19; ++x)
                    image.SetAlphaValue(x, y, uint8_t(x * 13 + y));
        }
        if (c.alphaMode == 2) {
            image.transparentIndex = image.PaletteCount() ? 1 : 0;
            image.transparentColor = image.ReadPixelColour(3, 4);
        }
        CRaster before(image, true, true, true);
        std::vector<uint8_t> png = EncodeBytes(image, RasterFormatPNG);
        ASSERT_FALSE(png.empty()) << image.lastError;
        auto chunks = Chunks(png);
        for (const Chunk& ch : chunks)
            EXPECT_TRUE(ch.type == "IHDR" || ch.type == "PLTE" || ch.type == "tRNS" || ch.type == "IDAT" || ch.type == "IEND") << ch.type;
        WriteFile(dir / "out.png", png);

        // The expected picture, from the image as it was before the encode.
        Rgba expected;
        expected.width = 19;
        expected.height = 9;
        expected.data.resize(19 * 9 * 4);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 19; ++x) {
                RGBQUAD col = before.ReadPixelColour(x, 8 - y);
                uint8_t* e = &expected.data[(y * 19 + x) * 4];
                e[0] = col.rgbRed, e[1] = col.rgbGreen, e[2] = col.rgbBlue;
                e[3] = uint8_t(AlphaAt(before, x, 8 - y));
                if (c.alphaMode == 2 && !before.PaletteCount() && col == before.transparentColor)
                    e[3] = 0;
            }
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 19; ++x) {
                ASSERT_EQ(image.ReadPixelColour(x, y), before.ReadPixelColour(x, y)) << "the encode changed the picture";
                ASSERT_EQ(image.GetAlphaValue(x, y), before.GetAlphaValue(x, y));
            }
        // Colours under alpha 0 are nobody's business.
        Rgba seen = ConvertToRgba(dir / "out.png", 19, 9);
        ASSERT_EQ(seen.width, 19);
        Rgba visible = expected;
        for (size_t i = 0; i < seen.data.size(); i += 4)
            if (visible.data[i + 3] == 0) {
                std::memset(&seen.data[i], 0, 3);
                std::memset(&visible.data[i], 0, 3);
            }
        EXPECT_EQ(seen.data, visible.data);

        CRaster back(0);
        ASSERT_TRUE(DecodeBytes(back, png, RasterFormatPNG)) << back.lastError;
        EXPECT_EQ(back.BitsPerPixel(), c.bits);
        EXPECT_EQ(MaxDifferenceWithAlpha(back, expected), 0);
        if (c.alphaMode == 2 && c.bits == 24) {
            EXPECT_EQ(image.alpha, nullptr) << "the colour key must not leave a plane behind";
        }
    }
}

TEST(RasterPng, TransparentIndexMovesToEntryZero)
{
    CRaster image(6, 2, 8, RasterFormatPNG);
    for (int i = 0; i < 8; ++i)
        image.WritePaletteEntry(i, uint8_t(i * 30), 0, 0);
    for (int x = 0; x < 6; ++x) {
        image.WritePixelIndex(x, 0, uint8_t(x));
        image.WritePixelIndex(x, 1, 5);
    }
    image.transparentIndex = 5;
    std::vector<uint8_t> png = EncodeBytes(image, RasterFormatPNG);
    ASSERT_FALSE(png.empty());
    // The caller's image: entries and pixels exchanged, index 0 transparent, the same picture.
    EXPECT_EQ(image.transparentIndex, 0);
    EXPECT_EQ(image.ReadPaletteEntry(0).rgbRed, 150);
    EXPECT_EQ(image.ReadPaletteEntry(5).rgbRed, 0);
    EXPECT_EQ(image.ReadPixelIndex(0, 1), 0);
    EXPECT_EQ(image.ReadPixelIndex(0, 0), 5);
    EXPECT_EQ(image.ReadPixelIndex(5, 0), 0);
    auto chunks = Chunks(png);
    const Chunk* trns = FindChunk(chunks, "tRNS");
    ASSERT_NE(trns, nullptr);
    EXPECT_EQ(trns->data, std::vector<uint8_t>{0});
    CRaster back(0);
    ASSERT_TRUE(DecodeBytes(back, png, RasterFormatPNG));
    EXPECT_EQ(back.transparentIndex, 0);
    EXPECT_EQ(back.ReadPixelIndex(3, 1), 0);
}

TEST(RasterPng, FailuresKeepTheirTexts)
{
    CRaster source(40, 30, 24, 0);
    FillPattern(source);
    std::vector<uint8_t> png = EncodeBytes(source, RasterFormatPNG);
    ASSERT_FALSE(png.empty());

    std::vector<uint8_t> badCrc = png;
    badCrc[29] ^= 0xFF; // inside the IHDR checksum
    std::vector<uint8_t> huge = PngBuilder(0x7FFFFFFF, 0x7FFFFFFF, 8, 2).Finish({});
    std::vector<uint8_t> zero = PngBuilder(0, 5, 8, 2).Finish({});

    struct Case { const char* name; std::vector<uint8_t> bytes; const char* error; };
    const Case cases[] = {
        {"not a png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, "Not a PNG file"},
        {"empty", {}, "Read Error"},
        {"cut in the data", std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2), "Read Error"},
        {"bad checksum", badCrc, "IHDR: CRC error"},
        {"huge", huge, nullptr},
        {"zero width", zero, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRaster image(2, 2, 8, 0);
        uint8_t* block = image.dib;
        EXPECT_FALSE(DecodeBytes(image, c.bytes, RasterFormatPNG));
        if (c.error) {
            EXPECT_STREQ(image.lastError, c.error);
        } else {
            EXPECT_STRNE(image.lastError, "");
        }
        EXPECT_EQ(image.dib, block);
    }

    FailingStream full;
    EXPECT_FALSE(source.Encode(&full, RasterFormatPNG));
    EXPECT_STREQ(source.lastError, "Error saving PNG file");

    CRasterPNG codec;
    codec.escape = 1;
    codec.SetLastError("untouched");
    CRasterMemStream stream(png.data(), png.size());
    EXPECT_FALSE(codec.Decode(&stream));
    EXPECT_STREQ(codec.lastError, "untouched");
    EXPECT_FALSE(codec.Decode(nullptr));
    EXPECT_FALSE(codec.Encode(nullptr));
}

// libpng allocates a chunk's whole length before reading it: a damaged length is refused first.
TEST(RasterPng, DamagedChunkLengthsAreRefusedBeforeAllocating)
{
    CRaster source(6, 4, 24, 0);
    FillPattern(source);
    const std::vector<uint8_t> png = EncodeBytes(source, RasterFormatPNG);
    ASSERT_GT(png.size(), 33u);
    // A tEXt chunk right after IHDR, announcing length bytes, holding the given text.
    auto withText = [&](uint32_t length, const std::string& text) {
        std::vector<uint8_t> out(png.begin(), png.begin() + 33);
        const uint8_t head[8] = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length),
                                 't', 'E', 'X', 't'};
        out.insert(out.end(), head, head + 8);
        out.insert(out.end(), text.begin(), text.end());
        const uint32_t crc = uint32_t(crc32(crc32(0, head + 4, 4), reinterpret_cast<const Bytef*>(text.data()), uInt(text.size())));
        const uint8_t c[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
        out.insert(out.end(), c, c + 4);
        out.insert(out.end(), png.begin() + 33, png.end());
        return out;
    };
    const std::string text("Comment\0hello", 13);
    CRaster good(0);
    ASSERT_TRUE(DecodeBytes(good, withText(uint32_t(text.size()), text), RasterFormatPNG)) << good.lastError;
    EXPECT_EQ(good.Width(), 6);
    for (uint32_t length : {0x7E000000u, 0x7FFFFFFFu, 20u << 20, uint32_t(png.size() + 100)}) {
        SCOPED_TRACE(length);
        CRaster image(0);
        EXPECT_FALSE(DecodeBytes(image, withText(length, text), RasterFormatPNG));
        EXPECT_STREQ(image.lastError, "Damaged PNG chunk");
    }
}
