#include "raster/RasterWMF.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

using namespace codectest;

namespace {

// A placeable metafile whose frame is frameW x frameH units at unitsPerInch, the left half
// filled red without an outline.
std::vector<uint8_t> Metafile(int16_t frameW, int16_t frameH, uint16_t unitsPerInch)
{
    std::vector<uint16_t> w;
    auto rec = [&](uint16_t function, std::vector<uint16_t> params) {
        const uint32_t size = 3 + static_cast<uint32_t>(params.size());
        w.push_back(size & 0xFFFF);
        w.push_back(size >> 16);
        w.push_back(function);
        w.insert(w.end(), params.begin(), params.end());
    };
    rec(0x020B, {0, 0});
    rec(0x020C, {uint16_t(frameH), uint16_t(frameW)});
    rec(0x02FC, {0, 0x00FF, 0x0000, 0});
    rec(0x012D, {0});
    rec(0x02FA, {5, 0, 0, 0, 0});
    rec(0x012D, {1});
    rec(0x041B, {uint16_t(frameH), uint16_t(frameW / 2), 0, 0});
    rec(0x0000, {});
    const uint32_t words = 9 + static_cast<uint32_t>(w.size());
    std::vector<uint16_t> head = {1, 9, 0x0300, uint16_t(words & 0xFFFF), uint16_t(words >> 16), 2, 8, 0, 0};
    std::vector<uint16_t> placeable = {0xCDD7, 0x9AC6, 0, 0, 0, uint16_t(frameW), uint16_t(frameH), unitsPerInch, 0, 0};
    uint16_t sum = 0;
    for (uint16_t v : placeable)
        sum ^= v;
    placeable.push_back(sum);
    std::vector<uint8_t> bytes;
    for (const auto* part : {&placeable, &head, &w})
        for (uint16_t v : *part) {
            bytes.push_back(v & 0xFF);
            bytes.push_back(v >> 8);
        }
    return bytes;
}

} // namespace

TEST(WmfCodec, PlaysAtScreenResolution)
{
    // 2 x 1 inches at 96 pixels per inch.
    CRaster img;
    std::vector<uint8_t> wmf = Metafile(200, 100, 100);
    CRasterMemStream stream(wmf.data(), wmf.size());
    ASSERT_TRUE(img.Decode(&stream, RasterFormatWMF)) << img.lastError;
    EXPECT_EQ(img.Width(), 192);
    EXPECT_EQ(img.Height(), 96);
    EXPECT_EQ(img.BitsPerPixel(), 24);
    EXPECT_EQ(img.ReadPixelColour(5, 90), (RGBQUAD{0, 0, 255, 0}));   // top left: red
    EXPECT_EQ(img.ReadPixelColour(90, 5), (RGBQUAD{0, 0, 255, 0}));
    EXPECT_EQ(img.ReadPixelColour(100, 50), (RGBQUAD{255, 255, 255, 0}));  // window colour

    // 100 x 1 inches keeps its proportions within 4000 pixels.
    CRasterWMF wide;
    ASSERT_TRUE(DecodeBytes(Metafile(10000, 100, 100), wide));
    EXPECT_EQ(wide.Width(), 4000);
    EXPECT_EQ(wide.Height(), 40);
}

TEST(WmfCodec, FailuresAndTexts)
{
    const std::vector<uint8_t> good = Metafile(200, 100, 100);
    auto with = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> b = good;
        b[at] = v;
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* error;
    };
    std::vector<uint8_t> emf(good.size(), 0);
    emf[0] = 1;  // an enhanced metafile header record
    const Case cases[] = {
        {"empty", {}, "corrupted WMF"},
        {"enhanced metafile", emf, "corrupted WMF"},
        {"checksum", with(20, good[20] ^ 1), "corrupted WMF"},
        {"units per inch 0", with(14, 0), "corrupted WMF"},
        {"metafile type 3", with(22, 3), "corrupted WMF"},
        {"longer than the file", std::vector<uint8_t>(good.begin(), good.end() - 2), "corrupted WMF"},
        {"no width", Metafile(0, 100, 100), "empty WMF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRasterWMF img;
        EXPECT_FALSE(DecodeBytes(c.bytes, img));
        EXPECT_STREQ(img.lastError, c.error);
    }
    CRaster picture(4, 4, 24, RasterFormatWMF);
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    EXPECT_FALSE(picture.Encode(buffer, size, RasterFormatWMF));
    EXPECT_STREQ(picture.lastError, "Save WMF not supported");
    EXPECT_EQ(buffer, nullptr);
}
