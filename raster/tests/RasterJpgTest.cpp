#include "raster/RasterJPG.h"
#include "RasterTestUtil.h"

#include <cmath>
#include <cstring>
#include <tuple>

using namespace rastertest;

namespace {

struct Marker { uint8_t code; std::vector<uint8_t> body; };

// The markers before the first scan.
std::vector<Marker> HeaderMarkers(const std::vector<uint8_t>& jpeg)
{
    std::vector<Marker> markers;
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        uint8_t code = jpeg[pos + 1];
        size_t length = size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
        if (pos + 2 + length > jpeg.size())
            break;
        markers.push_back({code, std::vector<uint8_t>(jpeg.begin() + pos + 4, jpeg.begin() + pos + 2 + length)});
        if (code == 0xDA)
            break;
        pos += 2 + length;
    }
    return markers;
}

const Marker* Find(const std::vector<Marker>& markers, uint8_t code)
{
    for (const Marker& m : markers)
        if (m.code == code)
            return &m;
    return nullptr;
}

// Accepts only `limit` bytes, as a full disk would.
class LimitedStream : public CRasterMemStream {
public:
    explicit LimitedStream(size_t limit) : limit(limit) { Open(); }
    size_t Write(const void* buffer, size_t itemSize, size_t count) override
    {
        size_t room = limit > written ? limit - written : 0;
        size_t n = std::min(count, room / itemSize);
        written += n * itemSize;
        return n ? CRasterMemStream::Write(buffer, itemSize, n) : 0;
    }
    size_t limit, written = 0;
};

} // namespace

TEST(RasterJpg, DecodesWhatImageMagickWritesExactlyAsDjpeg)
{
    TempFolder dir;
    struct Case { const char* name; const char* options; int bits; };
    const Case cases[] = {
        {"420", "-sampling-factor 2x2 -quality 85", 24},
        {"444", "-sampling-factor 1x1 -quality 92", 24},
        {"422", "-sampling-factor 2x1 -quality 70", 24},
        {"progressive", "-interlace JPEG -quality 80", 24},
        {"grey", "-colorspace Gray -quality 90", 8},
        {"restart", "-define jpeg:restart-interval=1 -quality 75", 24},
        {"optimised", "-define jpeg:optimize-coding=true -quality 60", 24},
    };
    for (const Case& c : cases) {
        for (auto [w, h] : {std::pair{37, 29}, std::pair{16, 16}, std::pair{1, 9}}) {
            SCOPED_TRACE(testing::Message() << c.name << " " << w << "x" << h);
            std::string jpg = dir / (std::string(c.name) + std::to_string(w) + ".jpg");
            std::string ppm = jpg + ".pnm";
            ASSERT_EQ(Shell(std::string(kConvert) + " -size " + std::to_string(w) + "x" + std::to_string(h) +
                          " -seed 4 plasma: " + c.options + " " + jpg), 0);
            ASSERT_EQ(Shell("djpeg -outfile " + ppm + " " + jpg), 0);
            CRaster image(0);
            ASSERT_TRUE(DecodeBytes(image, ReadFile(jpg), RasterFormatJPG)) << image.lastError;
            EXPECT_EQ(image.BitsPerPixel(), c.bits);
            EXPECT_EQ(image.formatCode, 2u);
            if (c.bits == 8) {
                EXPECT_TRUE(image.HasGreyPalette());
            }
            EXPECT_EQ(MaxDifference(image, ReadPnm(ppm)), 0);
        }
    }
}

TEST(RasterJpg, CmykComponentsScaleByTheFourth)
{
    TempFolder dir;
    std::string jpg = dir / "cmyk.jpg";
    ASSERT_EQ(Shell(std::string(kConvert) + " -size 24x16 -seed 2 plasma: -colorspace CMYK -quality 95 " + jpg), 0);
    CRaster image(0);
    ASSERT_TRUE(DecodeBytes(image, ReadFile(jpg), RasterFormatJPG)) << image.lastError;
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_LE(MaxDifference(image, ConvertToRgba(jpg, 24, 16, "-colorspace sRGB")), 2);

    // The conversion itself, on a 1 x 1 file whose stored components are known.
    std::string one = dir / "one.jpg";
    for (auto [k, red, blue] : {std::tuple{255, 255, 128}, std::tuple{0, 0, 0}}) {
        SCOPED_TRACE(k);
        // ImageMagick stores Adobe (inverted) CMYK: 255 - C, 255 - M, 255 - Y, 255 - K.
        ASSERT_EQ(Shell(std::string(kConvert) + " -size 1x1 xc:'cmyk(0,255,127," + std::to_string(255 - k) +
                      ")' -quality 100 -sampling-factor 1x1 " + one), 0);
        CRaster px(0);
        ASSERT_TRUE(DecodeBytes(px, ReadFile(one), RasterFormatJPG));
        RGBQUAD c = px.ReadPixelColour(0, 0);
        EXPECT_NEAR(c.rgbRed, red, 2);
        EXPECT_NEAR(c.rgbGreen, 0, 2);
        EXPECT_NEAR(c.rgbBlue, blue, 2);
    }
}

TEST(RasterJpg, ResolutionFromTheJfifDensity)
{
    CRaster source(8, 8, 24, RasterFormatJPG);
    std::vector<uint8_t> jpeg = EncodeBytes(source, RasterFormatJPG);
    ASSERT_GT(jpeg.size(), 20u);
    ASSERT_EQ(std::memcmp(&jpeg[6], "JFIF", 5), 0);
    EXPECT_EQ(jpeg[13], 1); // unit: dots per inch
    EXPECT_EQ(jpeg[15], 72);
    EXPECT_EQ(jpeg[17], 72);
    struct Case { uint8_t unit; uint16_t xd, yd; int xDpi, yDpi; };
    const Case cases[] = {{2, 100, 40, 254, 101}, {1, 300, 300, 300, 300}, {0, 1, 1, 1, 1}, {2, 1000, 1, 2540, 2}};
    for (const Case& c : cases) {
        std::vector<uint8_t> patched = jpeg;
        patched[13] = c.unit;
        patched[14] = uint8_t(c.xd >> 8), patched[15] = uint8_t(c.xd);
        patched[16] = uint8_t(c.yd >> 8), patched[17] = uint8_t(c.yd);
        CRaster image(0);
        ASSERT_TRUE(DecodeBytes(image, patched, RasterFormatJPG));
        EXPECT_EQ(image.xDpi, c.xDpi);
        EXPECT_EQ(image.yDpi, c.yDpi);
        EXPECT_EQ(image.header.biXPelsPerMeter, int32_t(std::floor(c.xDpi * 10000.0 / 254 + 0.5)));
    }
}

TEST(RasterJpg, DamagedInput)
{
    CRaster source(64, 48, 24, 0);
    FillPattern(source);
    std::vector<uint8_t> jpeg = EncodeBytes(source, RasterFormatJPG);
    ASSERT_FALSE(jpeg.empty());

    // Cut inside the entropy-coded data: the library ends it and the decode succeeds.
    CRaster cut(0);
    EXPECT_TRUE(DecodeBytes(cut, std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3), RasterFormatJPG));
    EXPECT_EQ(cut.Width(), 64);

    struct Case { std::vector<uint8_t> bytes; const char* error; };
    const Case cases[] = {
        {{}, "Empty input file"},
        {{0x12, 0x34, 0x56}, "Not a JPEG file: starts with 0x12 0x34"},
        {std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 30), nullptr}, // header cut short
    };
    for (const Case& c : cases) {
        CRaster image(4, 4, 24, 0);
        uint8_t* block = image.dib;
        EXPECT_FALSE(DecodeBytes(image, c.bytes, RasterFormatJPG));
        if (c.error) {
            EXPECT_STREQ(image.lastError, c.error);
        } else {
            EXPECT_STRNE(image.lastError, "");
        }
        EXPECT_EQ(image.dib, block); // the caller's picture stays
    }

    // A cancelled decode fails without a text of its own.
    CRasterJPG codec;
    codec.escape = 1;
    codec.SetLastError("untouched");
    CRasterMemStream stream(jpeg.data(), jpeg.size());
    EXPECT_FALSE(codec.Decode(&stream));
    EXPECT_STREQ(codec.lastError, "untouched");

    // Refused before any allocation: a picture beyond the block limit.
    std::vector<uint8_t> huge = jpeg;
    for (size_t i = 2; i + 9 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF; // 65535 x 65535
            break;
        }
    CRaster image(0);
    EXPECT_FALSE(DecodeBytes(image, huge, RasterFormatJPG));
}

TEST(RasterJpg, DcOnlyDecodeFillsEveryBlockWithItsDcColour)
{
    TempFolder dir;
    for (const char* sampling : {"2x2", "1x1"}) {
        for (const char* colour : {"", "-colorspace Gray"}) {
            SCOPED_TRACE(testing::Message() << sampling << " " << colour);
            std::string jpg = dir / "dc.jpg";
            ASSERT_EQ(Shell(std::string(kConvert) + " -size 45x30 -seed 9 plasma: " + colour + " -sampling-factor " +
                          sampling + " " + jpg), 0);
            ASSERT_EQ(Shell("djpeg -scale 1/8 -outfile " + jpg + ".pnm " + jpg), 0);
            Rgba small = ReadPnm(jpg + ".pnm");
            ASSERT_EQ(small.width, 6);
            std::vector<uint8_t> bytes = ReadFile(jpg);
            CRasterMemStream stream(bytes.data(), bytes.size());
            CRasterJPG preview;
            ASSERT_TRUE(preview.DecodeJpegPreview(&stream)) << preview.lastError;
            ASSERT_EQ(preview.Width(), 45);
            ASSERT_EQ(preview.Height(), 30);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 45; ++x) {
                    RGBQUAD c = preview.ReadPixelColour(x, 29 - y);
                    const uint8_t* e = small.At(x / 8, y / 8);
                    ASSERT_EQ(c.rgbRed, e[0]) << x << "," << y;
                    ASSERT_EQ(c.rgbGreen, e[1]) << x << "," << y;
                    ASSERT_EQ(c.rgbBlue, e[2]) << x << "," << y;
                }
        }
    }

    // A picture made of flat 8 x 8 blocks: the preview matches the full decode.
    CRaster blocks(32, 24, 24, 0);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x)
            blocks.WritePixelColour(x, y, RGBQUAD{uint8_t(x / 8 * 60), uint8_t(y / 8 * 100), 128, 0});
    blocks.chromaSubsampling = 0;
    blocks.jpegQuality = 95;
    std::vector<uint8_t> jpeg = EncodeBytes(blocks, RasterFormatJPG);
    CRasterMemStream a(jpeg.data(), jpeg.size()), b(jpeg.data(), jpeg.size());
    CRasterJPG full, preview;
    ASSERT_TRUE(full.Decode(&a));
    ASSERT_TRUE(preview.DecodeJpegPreview(&b));
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
            RGBQUAD f = full.ReadPixelColour(x, y), p = preview.ReadPixelColour(x, y);
            ASSERT_NEAR(f.rgbRed, p.rgbRed, 3);
            ASSERT_NEAR(f.rgbGreen, p.rgbGreen, 3);
            ASSERT_NEAR(f.rgbBlue, p.rgbBlue, 3);
        }
}

TEST(RasterJpg, EncoderSamplingComponentsAndTables)
{
    TempFolder dir;
    CRaster colour(40, 24, 24, 0);
    FillPattern(colour);
    struct Case { uint8_t subsampling; int lumaH, lumaV; };
    for (Case c : {Case{1, 2, 2}, Case{0, 1, 1}}) {
        SCOPED_TRACE(int(c.subsampling));
        colour.chromaSubsampling = c.subsampling;
        colour.jpegQuality = 95;
        std::vector<uint8_t> jpeg = EncodeBytes(colour, RasterFormatJPG);
        auto markers = HeaderMarkers(jpeg);
        ASSERT_NE(Find(markers, 0xE0), nullptr);
        const Marker* sof = Find(markers, 0xC0); // baseline
        ASSERT_NE(sof, nullptr);
        ASSERT_EQ(sof->body[5], 3);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(sof->body[6 + 3 * k], k + 1);                             // ids 1, 2, 3
            EXPECT_EQ(sof->body[7 + 3 * k], k == 0 ? (c.lumaH << 4 | c.lumaV) : 0x11);
            EXPECT_EQ(sof->body[8 + 3 * k], k == 0 ? 0 : 1);                    // tables 0, 1, 1
        }
        // What we write, an independent decoder reads as our picture.
        WriteFile(dir / "ours.jpg", jpeg);
        ASSERT_EQ(Shell("djpeg -outfile " + (dir / "ours.ppm") + " " + (dir / "ours.jpg")), 0);
        EXPECT_LE(MaxDifference(colour, ReadPnm(dir / "ours.ppm")), c.subsampling ? 60 : 12);
        CRaster back(0);
        ASSERT_TRUE(DecodeBytes(back, jpeg, RasterFormatJPG));
        EXPECT_EQ(MaxDifference(back, ReadPnm(dir / "ours.ppm")), 0);
    }

    CRaster grey(17, 5, 8, 0);
    grey.MakeGreyPalette();
    FillPattern(grey);
    for (uint8_t sub : {0, 1}) {
        grey.chromaSubsampling = sub;
        std::vector<uint8_t> jpeg = EncodeBytes(grey, RasterFormatJPG);
        auto markers = HeaderMarkers(jpeg);
        const Marker* sof = Find(markers, 0xC0);
        ASSERT_NE(sof, nullptr);
        EXPECT_EQ(sof->body[5], 1);
        CRaster back(0);
        ASSERT_TRUE(DecodeBytes(back, jpeg, RasterFormatJPG));
        EXPECT_EQ(back.BitsPerPixel(), 8);
        int worst = 0;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 17; ++x)
                worst = std::max(worst, std::abs(back.ReadPixelIndex(x, y) - grey.ReadPixelIndex(x, y)));
        EXPECT_LE(worst, 24);
    }

    struct Refused { int bits; bool ramp; };
    for (Refused r : {Refused{8, false}, Refused{4, true}, Refused{1, false}}) {
        CRaster image(4, 4, r.bits, 0);
        if (r.ramp)
            image.MakeGreyPalette();
        else
            image.WritePaletteEntry(1, 1, 2, 3);
        EXPECT_TRUE(EncodeBytes(image, RasterFormatJPG).empty());
        EXPECT_STREQ(image.lastError, "JPEG can save only RGB or GreyScale images");
    }

    // A custom luminance table is scaled by the quality like the library's own.
    uint32_t table[64];
    std::fill(std::begin(table), std::end(table), 16u);
    for (auto [quality, expected] : {std::pair{50, 16}, std::pair{75, 8}, std::pair{25, 32}}) {
        colour.lumaQuantTable = table;
        colour.jpegQuality = uint8_t(quality);
        std::vector<uint8_t> jpeg = EncodeBytes(colour, RasterFormatJPG);
        auto markers = HeaderMarkers(jpeg);
        const Marker* dqt = Find(markers, 0xDB);
        ASSERT_NE(dqt, nullptr);
        ASSERT_EQ(dqt->body[0], 0); // table 0, 8-bit values
        for (int i = 1; i <= 64; ++i)
            ASSERT_EQ(dqt->body[i], expected) << "quality " << quality;
    }
}

TEST(RasterJpg, WriteFailuresAreReported)
{
    CRaster image(64, 64, 24, 0);
    image.jpegQuality = 100;
    uint32_t state = 7;
    for (uint32_t i = 0; i < image.header.biSizeImage; ++i)
        image.pixels[i] = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    const size_t full = EncodeBytes(image, RasterFormatJPG).size();
    ASSERT_GT(full, 4096u);
    // Nothing taken, a short first block, and only the last partial block refused.
    for (size_t limit : {size_t(0), size_t(100), full - 1}) {
        SCOPED_TRACE(limit);
        LimitedStream stream(limit);
        EXPECT_FALSE(image.Encode(&stream, RasterFormatJPG));
        EXPECT_STREQ(image.lastError, "Output file write error --- out of disk space?");
    }
    CRasterJPG codec;
    EXPECT_FALSE(codec.Encode(nullptr));
    EXPECT_FALSE(codec.Decode(nullptr));
}
