// Pictures pasted from the clipboard: the DIB layouts other programs write (24 and 32 bits,
// bottom-up and top-down, masks, V5 headers), the alpha rule, and hostile headers whose sizes,
// offsets or masks do not fit the block.
#include "ui/ClipboardUi.h"

#include "imaging/ColourTables.h"
#include "platform/Clipboard.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Dib {
    uint32_t headerSize = 40;
    int32_t width = 0, height = 0;
    uint16_t bitCount = 32;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t coloursUsed = 0;
    std::vector<uint8_t> afterHeader; // masks, colour table
    std::vector<uint8_t> pixels;

    std::vector<uint8_t> Bytes(bool setImageSize = true) const
    {
        std::vector<uint8_t> b(headerSize, 0);
        auto put32 = [&](size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
        put32(0, headerSize);
        put32(4, uint32_t(width));
        put32(8, uint32_t(height));
        b[12] = 1;
        b[14] = uint8_t(bitCount);
        b[15] = uint8_t(bitCount >> 8);
        put32(16, compression);
        put32(20, setImageSize ? (imageSize ? imageSize : uint32_t(pixels.size())) : 0);
        put32(32, coloursUsed);
        b.insert(b.end(), afterHeader.begin(), afterHeader.end());
        b.insert(b.end(), pixels.begin(), pixels.end());
        return b;
    }
};

// B, G, R, A of the decoded pixel.
std::vector<int> Px(const ImageBuffer8& p, int x, int y)
{
    const uint8_t* q = p.data + (size_t(y) * p.width + x) * 4;
    return {q[0], q[1], q[2], q[3]};
}

ClipboardImageResult Decode(const std::vector<uint8_t>& b, ImageBuffer8& out, uint32_t format = 8)
{
    return DecodeClipboardDib(b.data(), b.size(), format, out);
}

} // namespace

TEST(ClipboardImage, ReadsTheLayoutsOtherProgramsWrite)
{
    ImageBuffer8 out;
    {
        // 24 bits, 3 x 2, bottom-up: rows of 9 bytes padded to 12.
        Dib d;
        d.width = 3;
        d.height = 2;
        d.bitCount = 24;
        for (int row = 0; row < 2; ++row) {
            for (int x = 0; x < 3; ++x)
                for (int c = 0; c < 3; ++c)
                    d.pixels.push_back(uint8_t(row * 100 + x * 10 + c));
            d.pixels.insert(d.pixels.end(), {0xEE, 0xEE, 0xEE});
        }
        ASSERT_EQ(Decode(d.Bytes(), out), ClipboardImageResult::Read);
        EXPECT_EQ(out.width, 3);
        EXPECT_EQ(Px(out, 0, 0), (std::vector<int>{100, 101, 102, 255})) << "the last row in the block is the top";
        EXPECT_EQ(Px(out, 2, 1), (std::vector<int>{20, 21, 22, 255}));
        // Without the image size the pixels follow the header.
        ASSERT_EQ(DecodeClipboardDib(d.Bytes(false).data(), d.Bytes(false).size(), 8, out), ClipboardImageResult::Read);
        EXPECT_EQ(Px(out, 2, 1), (std::vector<int>{20, 21, 22, 255}));
    }
    {
        // 32 bits top-down with varying alpha: upright, alpha kept.
        Dib d;
        d.width = 2;
        d.height = -2;
        d.pixels = {1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255, 10, 11, 12, 7};
        ASSERT_EQ(Decode(d.Bytes(), out), ClipboardImageResult::Read);
        EXPECT_EQ(Px(out, 0, 0), (std::vector<int>{1, 2, 3, 0}));
        EXPECT_EQ(Px(out, 1, 0), (std::vector<int>{4, 5, 6, 128}));
        EXPECT_EQ(Px(out, 1, 1), (std::vector<int>{10, 11, 12, 7}));
    }
    {
        // 32 bits whose alpha bytes are all 0: opaque.
        Dib d;
        d.width = 2;
        d.height = 1;
        d.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
        ASSERT_EQ(Decode(d.Bytes(), out), ClipboardImageResult::Read);
        EXPECT_EQ(Px(out, 0, 0)[3], 255);
        EXPECT_EQ(Px(out, 1, 0)[3], 255);
    }
    {
        // Masks after a 40-byte header (R, G, B in the usual bytes; then swapped red and blue),
        // the pixels right after them: opaque, channels where the masks say.
        for (bool swapped : {false, true}) {
            Dib d;
            d.width = 1;
            d.height = 1;
            d.compression = 3;
            const uint32_t masks[3] = {swapped ? 0xFFu : 0xFF0000u, 0xFF00u, swapped ? 0xFF0000u : 0xFFu};
            d.afterHeader.resize(12);
            std::memcpy(d.afterHeader.data(), masks, 12);
            d.pixels = {10, 20, 30, 40};
            ASSERT_EQ(DecodeClipboardDib(d.Bytes(false).data(), d.Bytes(false).size(), 8, out),
                      ClipboardImageResult::Read);
            EXPECT_EQ(Px(out, 0, 0), swapped ? (std::vector<int>{30, 20, 10, 255}) : (std::vector<int>{10, 20, 30, 255}));
        }
    }
    {
        // A V5 header (124 bytes): the pixels start at the header size.
        Dib d;
        d.headerSize = 124;
        d.width = 1;
        d.height = 1;
        d.pixels = {9, 8, 7, 200};
        const std::vector<uint8_t> b = d.Bytes(false);
        ASSERT_EQ(DecodeClipboardDib(b.data(), b.size(), kCfDibV5, out), ClipboardImageResult::Read);
        EXPECT_EQ(Px(out, 0, 0), (std::vector<int>{9, 8, 7, 255}));
    }
    FreeImageBuffer(out);
}

TEST(ClipboardImage, HostileHeadersAreRefusedInsideTheBlock)
{
    auto base = [] {
        Dib d;
        d.width = 2;
        d.height = 2;
        d.pixels.assign(16, 0x55);
        return d;
    };
    struct Case {
        const char* what;
        Dib dib;
        bool setImageSize;
        ClipboardImageResult expected;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto change, bool setImageSize, ClipboardImageResult expected) {
        Dib d = base();
        change(d);
        cases.push_back({what, d, setImageSize, expected});
    };
    add("16 bits", [](Dib& d) { d.bitCount = 16; }, true, ClipboardImageResult::Unsupported);
    add("8 bits", [](Dib& d) { d.bitCount = 8; }, true, ClipboardImageResult::Unsupported);
    add("width 0", [](Dib& d) { d.width = 0; }, true, ClipboardImageResult::NoPicture);
    add("header size beyond the block", [](Dib& d) { d.headerSize = 40; d.pixels.clear(); d.imageSize = 0; },
        false, ClipboardImageResult::Damaged);
    add("image size beyond the block", [](Dib& d) { d.imageSize = 0xFFFFFFF0u; }, true, ClipboardImageResult::Damaged);
    add("rows beyond the block", [](Dib& d) { d.height = 3; }, true, ClipboardImageResult::Damaged);
    add("height of INT_MIN", [](Dib& d) { d.height = INT_MIN; }, true, ClipboardImageResult::Damaged);
    add("width and height overflowing 32 bits", [](Dib& d) { d.width = 0x10000; d.height = 0x10000; }, true,
        ClipboardImageResult::Damaged);
    add("stride overflowing 32 bits", [](Dib& d) { d.width = 0x40000001; d.height = 1; }, true,
        ClipboardImageResult::Damaged);
    add("colour table beyond the block", [](Dib& d) { d.coloursUsed = 0x40000000u; }, false,
        ClipboardImageResult::Damaged);
    add("masks beyond the block", [](Dib& d) { d.compression = 3; d.pixels.resize(8); d.height = 1; d.width = 1; },
        false, ClipboardImageResult::Damaged);
    add("JPEG inside", [](Dib& d) { d.compression = 4; }, true, ClipboardImageResult::Damaged);
    add("masks on 24 bits", [](Dib& d) { d.compression = 3; d.bitCount = 24; }, true, ClipboardImageResult::Damaged);
    for (Case& c : cases) {
        ImageBuffer8 out;
        std::vector<uint8_t> b = c.dib.Bytes(c.setImageSize);
        if (std::string(c.what) == "header size beyond the block")
            b.resize(36), b[0] = 40; // a header cut short
        EXPECT_EQ(Decode(b, out), c.expected) << c.what;
        EXPECT_EQ(out.data, nullptr) << c.what;
    }
    // A header size larger than the block itself.
    Dib d = base();
    std::vector<uint8_t> b = d.Bytes();
    b[0] = 0xFF;
    b[1] = 0xFF;
    ImageBuffer8 out;
    EXPECT_EQ(Decode(b, out), ClipboardImageResult::Damaged);
}

TEST(ClipboardImage, ReadsTheClipboardsPictureAsAWorkingPicture)
{
    BuildGammaTables();
    platform::SetSystemClipboard(platform::Clipboard::CreateInProcess());
    ImageBuffer16 out;
    EXPECT_EQ(ReadClipboardImageBlock(out), ClipboardImageResult::NoPicture);
    // A file list alone is no picture.
    ASSERT_TRUE(platform::SystemClipboard().SetFiles({u"/tmp/a.jpg"}, platform::kDropEffectCopy));
    EXPECT_EQ(ReadClipboardImageBlock(out), ClipboardImageResult::NoPicture);

    ImageBuffer8 picture;
    ASSERT_TRUE(AllocImage8(picture, 2, 1));
    const uint8_t px[8] = {0, 0, 255, 255, 255, 255, 255, 255};
    std::memcpy(picture.data, px, 8);
    ASSERT_EQ(CopyImageToClipboard(picture), 1);
    ASSERT_EQ(ReadClipboardImageBlock(out), ClipboardImageResult::Read);
    ASSERT_EQ(out.width, 2);
    ImageBuffer16 expected;
    ASSERT_TRUE(AllocImage16(expected, 2, 1));
    ASSERT_TRUE(ConvertPixels8To16(picture, expected));
    EXPECT_EQ(std::memcmp(out.data, expected.data, 16), 0) << "the picture in working colour";
    EXPECT_EQ(out.data[3], 0xFFFF);
    FreeImageBuffer(expected);
    FreeImageBuffer(out);
    FreeImageBuffer(picture);
    platform::SetSystemClipboard(platform::Clipboard::CreateInProcess());
}
