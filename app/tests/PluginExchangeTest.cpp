#include "app/PluginExchange.h"

#include "imaging/DocStream.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

using namespace platform;
using platform::test::TestFolder;

namespace {

std::vector<uint8_t> Exchange(uint32_t w, uint32_t h, uint8_t c, const std::vector<uint16_t>& samples)
{
    std::vector<uint8_t> b(9 + samples.size() * 2);
    PutU32(b.data(), w);
    PutU32(b.data() + 4, h);
    b[8] = c;
    for (size_t i = 0; i < samples.size(); ++i)
        PutU16(b.data() + 9 + 2 * i, samples[i]);
    return b;
}

std::vector<uint8_t> Bytes(const std::u16string& path)
{
    std::vector<uint8_t> b;
    ReadWholeFile(path, b);
    return b;
}

} // namespace

TEST(PluginExchangeTest, BlackAndWhiteThreeChannelsBecomeOpaqueAndComeBackWithFourChannels)
{
    TestFolder folder;
    const auto path = folder.Path(u"exchange.bin");
    ASSERT_TRUE(WriteWholeFileAtomic(path, Exchange(2, 1, 3, {0, 0, 0, 65535, 65535, 65535})));
    ImageBuffer16 img;
    ASSERT_EQ(ReadPluginImage(path, img), 1);
    EXPECT_FALSE(PathExists(path)) << "deleted after a complete read";
    ASSERT_EQ(img.width, 2);
    ASSERT_EQ(img.height, 1);
    const std::vector<uint16_t> got(img.data, img.data + 8);
    EXPECT_EQ(got, (std::vector<uint16_t>{0, 0, 0, 0xFFFF, 65535, 65535, 65535, 0xFFFF}));

    ASSERT_EQ(WritePluginImage(path, img), 1);
    const std::vector<uint8_t> back = Bytes(path);
    // The curve gives 1.055 - 0.055 a hair below 1 and the result is truncated: white goes
    // back as 65534, within the truncations the exchange allows.
    EXPECT_EQ(back, Exchange(2, 1, 4, {0, 0, 0, 0xFFFF, 65534, 65534, 65534, 0xFFFF}));
    FreeImageBuffer(img);
}

TEST(PluginExchangeTest, RoundTripsKeepGreyAndColourWithinTheTruncations)
{
    TestFolder folder;
    const auto path = folder.Path(u"exchange.bin");
    const uint16_t greys[] = {0, 1, 1000, 12345, 32768, 50000, 65534, 65535};
    for (uint8_t channels : {uint8_t(3), uint8_t(4)}) {
        std::vector<uint16_t> samples;
        const uint32_t w = 8, h = 3;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint16_t v = greys[x];
                if (y == 0) // grey
                    samples.insert(samples.end(), {v, v, v});
                else // colours: each channel from a different grey
                    samples.insert(samples.end(), {v, greys[(x + 3 * y) % 8], greys[(x + 5) % 8]});
                if (channels == 4)
                    samples.push_back(uint16_t(x * 9000 + y));
            }
        ASSERT_TRUE(WriteWholeFileAtomic(path, Exchange(w, h, channels, samples)));
        ImageBuffer16 img;
        ASSERT_EQ(ReadPluginImage(path, img), 1);
        ASSERT_EQ(WritePluginImage(path, img), 1);
        const std::vector<uint8_t> back = Bytes(path);
        ASSERT_EQ(back.size(), 9 + size_t(w) * h * 8);
        EXPECT_EQ(back[8], 4);
        for (uint32_t i = 0; i < w * h; ++i) {
            const size_t inStep = channels;
            uint16_t out[4];
            for (int k = 0; k < 4; ++k)
                out[k] = GetU16(back.data() + 9 + 8 * i + 2 * k);
            const uint16_t* in = &samples[i * inStep];
            if (i < w) {
                EXPECT_TRUE(out[0] == out[1] && out[1] == out[2]) << "grey stays grey, pixel " << i;
            }
            // The two conversions lose at most the truncations: a few units in the darks, where
            // the linear values are coarsest, more in the lights.
            for (int k = 0; k < 3; ++k) {
                const int tolerance = in[k] < 1000 ? 40 : 80;
                EXPECT_LE(std::abs(int(out[k]) - int(in[k])), tolerance) << "pixel " << i << " channel " << k;
            }
            EXPECT_EQ(out[3], channels == 4 ? in[3] : 0xFFFF);
        }
        FreeImageBuffer(img);
    }
}

TEST(PluginExchangeTest, MalformedFilesAreRefusedAndKept)
{
    TestFolder folder;
    const auto path = folder.Path(u"exchange.bin");
    std::vector<uint8_t> shortRows = Exchange(4, 2, 4, std::vector<uint16_t>(4 * 2 * 4, 100));
    shortRows.resize(shortRows.size() - 1);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"C = 7", Exchange(1, 1, 7, std::vector<uint16_t>(7, 1))},
        {"C = 0", Exchange(1, 1, 0, {})},
        {"width 0", Exchange(0, 5, 4, {})},
        {"height 0", Exchange(5, 0, 4, {})},
        {"width 2^31", Exchange(0x80000000u, 1, 4, std::vector<uint16_t>(16, 1))},
        {"4 GiB of pixels announced", Exchange(65536, 65536, 4, std::vector<uint16_t>(16, 1))},
        {"short rows", shortRows},
        {"header only", Exchange(2, 2, 3, {})},
        {"header cut", {1, 0, 0, 0, 1}},
        {"empty", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteWholeFileAtomic(path, c.bytes));
        ImageBuffer16 img;
        EXPECT_EQ(ReadPluginImage(path, img), 0);
        EXPECT_EQ(img.data, nullptr);
        EXPECT_EQ(Bytes(path), c.bytes) << "the host's file is kept";
    }
    ImageBuffer16 img;
    EXPECT_EQ(ReadPluginImage(folder.Path(u"missing.bin"), img), 0);
}

TEST(PluginExchangeTest, AFailedWriteIsReportedAndLeavesNoPartialFile)
{
    TestFolder folder;
    ImageBuffer16 img;
    ASSERT_EQ(AllocImage16(img, 3, 2), 1);
    std::fill(img.data, img.data + 24, uint16_t(0x8000));
    // A folder that does not exist, and a picture without pixels.
    EXPECT_EQ(WritePluginImage(folder.Path(u"no/such/folder/x.bin"), img), 0);
    EXPECT_FALSE(PathExists(folder.Path(u"no")));
    ImageBuffer16 empty;
    EXPECT_EQ(WritePluginImage(folder.Path(u"empty.bin"), empty), 0);
    EXPECT_FALSE(PathExists(folder.Path(u"empty.bin")));
    FreeImageBuffer(img);
}

TEST(PluginExchangeTest, InternalToSrgbMatchesTheFormula)
{
    // R' = R + (R - G) x 0.39832, B' = B + (B - G) x 0.0429289, then the sRGB curve.
    const uint16_t bgra[4] = {30000, 20000, 10000, 1234};
    const Srgb16Pixel p = InternalToSrgb16(bgra);
    auto encode = [](double v) {
        const double x = v / 65535;
        const double y = x < 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
        return uint16_t(std::min(65535.0, y * 65535));
    };
    EXPECT_EQ(p.r, encode(uint16_t(10000 + (10000 - 20000) * 0.39832)));
    EXPECT_EQ(p.g, encode(20000));
    EXPECT_EQ(p.b, encode(uint16_t(30000 + (30000 - 20000) * 0.0429289)));
    EXPECT_EQ(p.a, 1234);
    // Clamped at both ends before the curve.
    const uint16_t red[4] = {0, 0, 65535, 65535};
    EXPECT_EQ(InternalToSrgb16(red).r, encode(65535));
    const uint16_t green[4] = {0, 65535, 0, 65535};
    EXPECT_EQ(InternalToSrgb16(green).r, 0);
}
