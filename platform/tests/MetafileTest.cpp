#include "platform/Metafile.h"
#include "platform/tests/MetafileTestUtil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(Metafile, PlaysPlaceableMetafileStretchedOverBitmap)
{
    std::vector<uint8_t> wmf = RedLeftHalfMetafile();
    std::vector<uint8_t> bgr;
    ASSERT_TRUE(platform::RenderWindowsMetafile(wmf.data(), wmf.size(), 192, 96, 0xFFFFFF, bgr));
    ASSERT_EQ(bgr.size(), 192u * 96 * 3);
    auto px = [&](int x, int y) {
        const uint8_t* p = &bgr[(static_cast<size_t>(y) * 192 + x) * 3];
        return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    };
    EXPECT_EQ(px(10, 10), 0xFF0000u);
    EXPECT_EQ(px(90, 90), 0xFF0000u);
    EXPECT_EQ(px(110, 10), 0xFFFFFFu);
    EXPECT_EQ(px(185, 90), 0xFFFFFFu);
}

TEST(Metafile, RefusesGarbageAndBadSizes)
{
    std::vector<uint8_t> bgr;
    std::vector<uint8_t> junk(100, 0x41);
    EXPECT_FALSE(platform::RenderWindowsMetafile(junk.data(), junk.size(), 10, 10, 0xFFFFFF, bgr));
    std::vector<uint8_t> wmf = RedLeftHalfMetafile();
    EXPECT_FALSE(platform::RenderWindowsMetafile(wmf.data(), wmf.size(), 0, 10, 0xFFFFFF, bgr));
    EXPECT_FALSE(platform::RenderWindowsMetafile(nullptr, 0, 10, 10, 0xFFFFFF, bgr));
    // Records that run past the end of the file are refused before libwmf sees them.
    std::vector<uint8_t> cut(wmf.begin(), wmf.end() - 8);
    EXPECT_FALSE(platform::RenderWindowsMetafile(cut.data(), cut.size(), 10, 10, 0xFFFFFF, bgr));
    EXPECT_TRUE(bgr.empty());
}

// A pen far wider than the picture is narrowed, so that it draws in bounded time and memory.
TEST(Metafile, HugePenIsLimitedToTheWindow)
{
    std::vector<uint8_t> wmf = RedLeftHalfMetafile();
    // The pen record follows the placeable header (22), the metafile header (18), and the
    // window origin, window extent, brush and select records (10 + 10 + 14 + 8 bytes).
    const size_t pen = 22 + 18 + 10 + 10 + 14 + 8;
    ASSERT_EQ(wmf[pen + 4], 0xFA);
    wmf[pen + 6] = 0;    // solid instead of the null pen
    wmf[pen + 8] = 0x30; // width 0x7530 = 30000 units
    wmf[pen + 9] = 0x75;
    std::vector<uint8_t> bgr;
    ASSERT_TRUE(platform::RenderWindowsMetafile(wmf.data(), wmf.size(), 192, 96, 0xFFFFFF, bgr));
    EXPECT_EQ(bgr.size(), 192u * 96 * 3);
}
