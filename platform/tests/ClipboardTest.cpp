// Clipboard blocks and the in-process clipboard (no screen needed).
#include "platform/Clipboard.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace platform;

namespace {

ClipboardPicture Picture3x2()
{
    ClipboardPicture p;
    p.width = 3;
    p.height = 2;
    // Row 0 then row 1, B G R A.
    p.bgra = { 1, 2, 3, 255, 4, 5, 6, 128, 7, 8, 9, 0, //
        10, 11, 12, 255, 13, 14, 15, 64, 16, 17, 18, 255 };
    return p;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

// A DIB header of 40 bytes with these fields; rows to be appended.
std::vector<uint8_t> DibHeader(int32_t w, int32_t h, uint16_t bits, uint32_t compression)
{
    std::vector<uint8_t> b(40, 0);
    Put32(b, 0, 40);
    Put32(b, 4, uint32_t(w));
    Put32(b, 8, uint32_t(h));
    b[12] = 1;
    b[14] = uint8_t(bits);
    Put32(b, 16, compression);
    return b;
}

} // namespace

TEST(ClipboardBlocks, PictureBlockIsABottomUpDib)
{
    const ClipboardPicture p = Picture3x2();
    const std::vector<uint8_t> dib = BuildDibBlock(p);
    ASSERT_EQ(dib.size(), 40u + 24u);
    EXPECT_EQ(Le32(dib, 0), 40u);
    EXPECT_EQ(Le32(dib, 4), 3u);
    EXPECT_EQ(Le32(dib, 8), 2u);
    EXPECT_EQ(dib[12] | (dib[13] << 8), 1);
    EXPECT_EQ(dib[14] | (dib[15] << 8), 32);
    EXPECT_EQ(Le32(dib, 16), 0u);
    EXPECT_EQ(Le32(dib, 20), 24u);
    for (size_t i = 24; i < 40; ++i)
        EXPECT_EQ(dib[i], 0) << i;
    // The first row in the block is the picture's bottom row.
    EXPECT_TRUE(std::equal(dib.begin() + 40, dib.begin() + 52, p.bgra.begin() + 12));
    EXPECT_TRUE(std::equal(dib.begin() + 52, dib.end(), p.bgra.begin()));
    const auto back = ReadDibBlock(dib);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bgra, p.bgra);

    ClipboardPicture bad = p;
    bad.bgra.pop_back();
    EXPECT_TRUE(BuildDibBlock(bad).empty());
    bad = ClipboardPicture {};
    EXPECT_TRUE(BuildDibBlock(bad).empty());
}

TEST(ClipboardBlocks, ForeignDibs)
{
    // 24-bit, 2 x 2, bottom-up, rows padded to 8 bytes.
    std::vector<uint8_t> dib24 = DibHeader(2, 2, 24, 0);
    const uint8_t rows24[] = { 1, 2, 3, 4, 5, 6, 0, 0, /* bottom */ 7, 8, 9, 10, 11, 12, 0, 0 /* top */ };
    dib24.insert(dib24.end(), std::begin(rows24), std::end(rows24));
    // 32-bit top-down with the fourth byte 0 everywhere (opaque, as many programs write it).
    std::vector<uint8_t> dib32 = DibHeader(1, -2, 32, 0);
    dib32.insert(dib32.end(), { 1, 2, 3, 0, 4, 5, 6, 0 });
    // 32-bit bit fields with red in the low byte.
    std::vector<uint8_t> fields = DibHeader(1, 1, 32, 3);
    fields.insert(fields.end(), { 0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0 });
    fields.insert(fields.end(), { 30, 20, 10, 99 });
    struct Case {
        const char* name;
        std::vector<uint8_t> block;
        int w, h;
        std::vector<uint8_t> bgra;
    };
    const Case cases[] = {
        { "24-bit", dib24, 2, 2, { 7, 8, 9, 255, 10, 11, 12, 255, 1, 2, 3, 255, 4, 5, 6, 255 } },
        { "32-bit top-down, no alpha", dib32, 1, 2, { 1, 2, 3, 255, 4, 5, 6, 255 } },
        { "bit fields", fields, 1, 1, { 10, 20, 30, 255 } },
    };
    for (const Case& c : cases) {
        const auto p = ReadDibBlock(c.block);
        ASSERT_TRUE(p) << c.name;
        EXPECT_EQ(p->width, c.w) << c.name;
        EXPECT_EQ(p->height, c.h) << c.name;
        EXPECT_EQ(p->bgra, c.bgra) << c.name;
    }

    std::vector<uint8_t> shortRows = dib24;
    shortRows.resize(shortRows.size() - 1);
    std::vector<uint8_t> huge = DibHeader(70000, 70000, 32, 0);
    huge.resize(200, 0);
    std::vector<uint8_t> minHeight = DibHeader(1, INT32_MIN, 32, 0);
    minHeight.resize(100, 0);
    std::vector<uint8_t> fieldsInShortHeader = fields;
    Put32(fieldsInShortHeader, 0, 42);
    fieldsInShortHeader.resize(48);
    std::vector<uint8_t> headerPastEnd = dib32;
    Put32(headerPastEnd, 0, 1000);
    const std::vector<uint8_t> refused[] = {
        {},
        std::vector<uint8_t>(39, 0),
        shortRows,
        huge,
        minHeight,
        headerPastEnd,
        fieldsInShortHeader,
        DibHeader(0, 1, 32, 0),
        DibHeader(1, 1, 8, 0), // palette pictures are not read
        DibHeader(1, 1, 32, 1), // RLE
    };
    for (size_t i = 0; i < std::size(refused); ++i)
        EXPECT_FALSE(ReadDibBlock(refused[i])) << i;
}

TEST(ClipboardBlocks, FileListBlock)
{
    const std::vector<String16> paths { u"/s/a.jpg", u"/s/\u00fc b.jpg" };
    const std::vector<uint8_t> block = BuildDropFilesBlock(paths);
    // length in characters: "/s/a.jpg\0/s/ü b.jpg\0\0" = 9 + 11 + 1
    ASSERT_EQ(block.size(), 21u * 2 + 28);
    EXPECT_EQ(Le32(block, 0), 20u);
    EXPECT_EQ(Le32(block, 4), 0u);
    EXPECT_EQ(Le32(block, 8), 0u);
    EXPECT_EQ(Le32(block, 12), 0u);
    EXPECT_EQ(Le32(block, 16), 2u);
    EXPECT_EQ(block[20], '/');
    for (size_t i = block.size() - 12; i < block.size(); ++i)
        EXPECT_EQ(block[i], 0);
    const auto back = ReadDropFilesBlock(block);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, paths);

    // An 8-bit list at a later offset.
    std::vector<uint8_t> narrow(24, 0);
    Put32(narrow, 0, 24);
    for (char c : std::string("/x/\xc3\xa9.png"))
        narrow.push_back(uint8_t(c));
    narrow.insert(narrow.end(), { 0, 0 });
    const auto narrowPaths = ReadDropFilesBlock(narrow);
    ASSERT_TRUE(narrowPaths);
    ASSERT_EQ(narrowPaths->size(), 1u);
    EXPECT_EQ((*narrowPaths)[0], u"/x/\u00e9.png");

    std::vector<uint8_t> unterminated = block;
    unterminated.resize(block.size() - 12); // cut inside the double zero
    std::vector<uint8_t> offsetPast = block;
    Put32(offsetPast, 0, uint32_t(block.size()));
    std::vector<uint8_t> offsetInHeader = block;
    Put32(offsetInHeader, 0, 8);
    std::vector<uint8_t> oddTail(20, 0);
    Put32(oddTail, 0, 20);
    Put32(oddTail, 16, 1);
    oddTail.insert(oddTail.end(), { 'a', 0, 0 }); // a wide list ending in half a character
    for (const auto& bad : { unterminated, offsetPast, offsetInHeader, oddTail, std::vector<uint8_t>(19, 0) })
        EXPECT_FALSE(ReadDropFilesBlock(bad));
}

TEST(ClipboardBlocks, UriLists)
{
    const std::vector<String16> paths { u"/home/u/My Photos/\u00e9t\u00e9 100%.jpg", u"/tmp/a#b?c.png" };
    const std::string list = BuildUriList(paths);
    EXPECT_EQ(list,
        "file:///home/u/My%20Photos/%C3%A9t%C3%A9%20100%25.jpg\r\n"
        "file:///tmp/a%23b%3Fc.png\r\n");
    EXPECT_EQ(ReadUriList(list), paths);
    const std::string foreign = "# comment\r\n"
                                "http://example.org/x.jpg\n"
                                "file://otherhost/x.jpg\n"
                                "file://localhost/a/b.jpg\n"
                                "file:///bad%zz.jpg\n"
                                "file:///nul%00.jpg\n"
                                "file:///cut%2\n"
                                "file:///back%5Cslash.jpg\n"
                                "file:///back\\slash.jpg\n"
                                "file:///c.jpg";
    EXPECT_EQ(ReadUriList(foreign + std::string("\nfile:///raw\0nul.jpg", 20)), (std::vector<String16> { u"/a/b.jpg", u"/c.jpg" }));
}

TEST(ClipboardBlocks, PngRoundTripKeepsEveryByte)
{
    const ClipboardPicture p = Picture3x2();
    const std::vector<uint8_t> png = EncodePicturePng(p);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG", 4), 0);
    const auto back = DecodePicturePng(png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 3);
    EXPECT_EQ(back->height, 2);
    EXPECT_EQ(back->bgra, p.bgra);
    std::vector<uint8_t> damaged = png;
    damaged.resize(png.size() / 2);
    EXPECT_FALSE(DecodePicturePng(damaged));
    EXPECT_FALSE(DecodePicturePng({}));
}

TEST(ClipboardFormats, RegisteredNamesShareNumbers)
{
    const uint32_t a = RegisterClipboardFormat(u"Preferred DropEffect");
    EXPECT_GE(a, kFirstRegisteredFormat);
    EXPECT_EQ(RegisterClipboardFormat(u"preferred dropeffect"), a);
    const uint32_t b = RegisterClipboardFormat(u"Zendra Layer");
    EXPECT_NE(b, a);
    EXPECT_EQ(ClipboardFormatName(b), u"Zendra Layer");
    EXPECT_EQ(ClipboardFormatName(kCfDib), u"");
    EXPECT_EQ(ClipboardFormatName(0xFFFF), u"");
    EXPECT_EQ(RegisterClipboardFormat(u""), 0u);
}

TEST(InProcessClipboard, TypedContents)
{
    auto cb = Clipboard::CreateInProcess();
    EXPECT_FALSE(cb->GetText());
    EXPECT_FALSE(cb->HasFormat(kCfUnicodeText));

    ASSERT_TRUE(cb->SetFiles({ u"/s/a.jpg", u"/s/b.jpg" }, kDropEffectMove));
    EXPECT_TRUE(cb->HasFormat(kCfHdrop));
    uint32_t effect = 0;
    auto files = cb->GetFiles(&effect);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->size(), 2u);
    EXPECT_EQ(effect, kDropEffectMove);
    const auto effectBlock = cb->GetData(RegisterClipboardFormat(kPreferredDropEffect));
    ASSERT_TRUE(effectBlock);
    EXPECT_EQ(*effectBlock, (std::vector<uint8_t> { 2, 0, 0, 0 }));

    // Setting empties first: the list and its effect go with the text.
    ASSERT_TRUE(cb->SetText(u"caf\u00e9 \U0001F4F7"));
    EXPECT_FALSE(cb->HasFormat(kCfHdrop));
    EXPECT_FALSE(cb->GetFiles());
    EXPECT_EQ(cb->GetText(), String16(u"caf\u00e9 \U0001F4F7"));

    ASSERT_TRUE(cb->SetPicture(Picture3x2()));
    const auto picture = cb->GetPicture();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->bgra, Picture3x2().bgra);
    EXPECT_FALSE(cb->SetPicture(ClipboardPicture {}));

    ASSERT_TRUE(cb->Empty());
    EXPECT_FALSE(cb->HasFormat(kCfDib));
    EXPECT_FALSE(cb->SetContents({ { 0, { 1 } } })) << "format 0 is no format";
}

TEST(InProcessClipboard, SystemClipboardCanBeReplaced)
{
    SetSystemClipboard(Clipboard::CreateInProcess());
    ASSERT_TRUE(SystemClipboard().SetText(u"one"));
    SetSystemClipboard(Clipboard::CreateInProcess());
    EXPECT_FALSE(SystemClipboard().GetText());
    SetSystemClipboard(nullptr);
    EXPECT_TRUE(SystemClipboard().SetText(u"two"));
}
