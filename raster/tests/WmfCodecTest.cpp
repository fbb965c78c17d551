#include "platform/tests/MetafileTestUtil.h"
#include "raster/RasterWMF.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

using namespace codectest;

TEST(WmfCodec, PlaysAtScreenResolution)
{
    // 2 x 1 inches at 96 pixels per inch.
    CRaster img;
    std::vector<uint8_t> wmf = RedLeftHalfMetafile(200, 100, 100);
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
    ASSERT_TRUE(DecodeBytes(RedLeftHalfMetafile(10000, 100, 100), wide));
    EXPECT_EQ(wide.Width(), 4000);
    EXPECT_EQ(wide.Height(), 40);
}

TEST(WmfCodec, FailuresAndTexts)
{
    const std::vector<uint8_t> good = RedLeftHalfMetafile(200, 100, 100);
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
        {"no width", RedLeftHalfMetafile(0, 100, 100), "empty WMF"},
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
