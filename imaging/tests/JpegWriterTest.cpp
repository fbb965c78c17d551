#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/JpegWriter.h"

#include "platform/Text.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testutil;

namespace {

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

struct Image8 : ImageBuffer8 {
    ~Image8() { FreeImageBuffer(*this); }
};

void Fill(ImageBuffer8& image, int w, int h)
{
    ASSERT_TRUE(AllocImage8(image, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.data + (size_t(y) * w + x) * 4;
            p[0] = uint8_t(x * 7);
            p[1] = uint8_t(y * 5);
            p[2] = uint8_t((x ^ y) * 3);
            p[3] = 255;
        }
}

struct JpegFacts {
    int lumaH = 0, lumaV = 0;
    std::vector<int> lumaTable; // natural order is not needed: zigzag order as stored
};

// Reads the sampling factors of the first component and quantisation table 0.
JpegFacts Inspect(const std::vector<uint8_t>& f)
{
    JpegFacts facts;
    for (size_t i = 2; i + 4 <= f.size();) {
        if (f[i] != 0xFF)
            break;
        uint8_t m = f[i + 1];
        size_t len = size_t(f[i + 2]) << 8 | f[i + 3];
        if (m == 0xDB && i + 4 + 65 <= f.size() && (f[i + 4] & 0x0F) == 0 && (f[i + 4] >> 4) == 0)
            for (int k = 0; k < 64; ++k)
                facts.lumaTable.push_back(f[i + 5 + k]);
        if (m == 0xC0 && i + 12 < f.size()) {
            facts.lumaH = f[i + 11] >> 4;
            facts.lumaV = f[i + 11] & 15;
        }
        if (m == 0xDA)
            break;
        i += 2 + len;
    }
    return facts;
}

// Quantisation table 0 of libjpeg's standard luminance table at a quality (the first entry).
int StandardFirstEntry(int quality)
{
    int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    int v = (16 * scale + 50) / 100;
    return v < 1 ? 1 : v > 255 ? 255 : v;
}

} // namespace

TEST(JpegWriter, QualityAndChromaRules)
{
    TempFolder dir;
    Image8 image;
    Fill(image, 32, 16);
    struct Case { int quality; int expectQuality; int samp; };
    const Case cases[] = {
        { 195, 95, 1 }, { 200, 100, 1 }, { 100, 100, 2 }, { 0, 100, 2 },
        { 1, 2, 2 }, { 101, 2, 1 }, { 75, 75, 2 },
    };
    JpegWriter writer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quality);
        std::string path = dir / "q.jpg";
        ASSERT_EQ(writer.SaveFile(U16(path).c_str(), image, c.quality), 1);
        JpegFacts facts = Inspect(ReadAll(path));
        EXPECT_EQ(facts.lumaH, c.samp);
        EXPECT_EQ(facts.lumaV, c.samp);
        ASSERT_EQ(facts.lumaTable.size(), 64u);
        EXPECT_EQ(facts.lumaTable[0], StandardFirstEntry(c.expectQuality));
    }
    // In memory, 1 is the library's lowest quality (0, taken as 1).
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    ASSERT_EQ(writer.EncodeToMemory(buffer, size, image, 1), 1);
    JpegFacts memory = Inspect(std::vector<uint8_t>(buffer, buffer + size));
    EXPECT_EQ(memory.lumaTable[0], StandardFirstEntry(1));
    Image8 decoded;
    EXPECT_EQ(DecodeJpegMemory(buffer, size_t(size), decoded), 1);
    EXPECT_EQ(decoded.width, 32);
    std::free(buffer);
    // The optimiser's in-memory encodes follow the same rules as files, except for 1.
    const Case memoryCases[] = { { 0, 100, 2 }, { 195, 95, 1 }, { 101, 1, 1 }, { 60, 60, 2 } };
    for (const Case& c : memoryCases) {
        SCOPED_TRACE(c.quality);
        buffer = nullptr;
        ASSERT_EQ(writer.EncodeToMemory(buffer, size, image, c.quality), 1);
        JpegFacts facts = Inspect(std::vector<uint8_t>(buffer, buffer + size));
        std::free(buffer);
        EXPECT_EQ(facts.lumaH, c.samp);
        EXPECT_EQ(facts.lumaV, c.samp);
        ASSERT_EQ(facts.lumaTable.size(), 64u);
        EXPECT_EQ(facts.lumaTable[0], StandardFirstEntry(c.expectQuality));
    }
    buffer = reinterpret_cast<uint8_t*>(1);
    EXPECT_EQ(writer.EncodeToMemory(buffer, size, image, 90), 0); // buffer must be null
}

TEST(JpegWriter, CustomLumaTable)
{
    TempFolder dir;
    Image8 image;
    Fill(image, 16, 16);
    JpegWriter writer;
    std::string path = dir / "t.jpg";
    writer.lumaQuantTable[0] = 0;
    for (int i = 1; i < 64; ++i)
        writer.lumaQuantTable[i] = 99;
    ASSERT_EQ(writer.SaveFile(U16(path).c_str(), image, 50), 1);
    EXPECT_EQ(Inspect(ReadAll(path)).lumaTable[0], 16); // standard table in force
    for (uint32_t& v : writer.lumaQuantTable)
        v = 16;
    ASSERT_EQ(writer.SaveFile(U16(path).c_str(), image, 50), 1);
    std::vector<int> table = Inspect(ReadAll(path)).lumaTable;
    EXPECT_EQ(table, std::vector<int>(64, 16));
}

TEST(JpegWriter, RefusesWhatItCannotWrite)
{
    TempFolder dir;
    Image8 image;
    Fill(image, 8, 8);
    JpegWriter writer;
    EXPECT_EQ(writer.SaveFile(U16(dir / "x.png").c_str(), image, 90), 0);
    EXPECT_EQ(dir.CountEntries(), 0u);
    Image8 empty;
    EXPECT_EQ(writer.SaveFile(U16(dir / "x.jpg").c_str(), empty, 90), 0);
    EXPECT_EQ(writer.SaveFile(U16(dir / "no/such/folder.jpg").c_str(), image, 90), 0);

    Image8 wide;
    Fill(wide, 30000, 10);
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    ASSERT_EQ(writer.EncodeToMemory(buffer, size, wide, 50), 1);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    Image8 decoded;
    EXPECT_EQ(DecodeJpegMemory(bytes.data(), bytes.size(), decoded), 0);
    const uint8_t junk[] = { 1, 2, 3, 4 };
    EXPECT_EQ(DecodeJpegMemory(junk, sizeof junk, decoded), 0);
}

TEST(JpegWriter, SavingOverAPhotoReplacesItWholeOrNotAtAll)
{
    struct Saver {
        const char* name;
        std::function<int(const std::u16string&, const ImageBuffer8&)> save;
    };
    const Saver savers[] = {
        { "photo.jpg", [](const std::u16string& p, const ImageBuffer8& i) { return JpegWriter().SaveFile(p.c_str(), i, 90); } },
        { "photo.png", [](const std::u16string& p, const ImageBuffer8& i) { return CodecSaveImage8(i, p.c_str(), false); } },
    };
    Image8 image;
    Fill(image, 200, 150);
    for (const Saver& s : savers) {
        SCOPED_TRACE(s.name);
        TempFolder dir;
        std::string path = dir / s.name;
        std::string link = dir / ("link" + std::string(std::strchr(s.name, '.')));
        ASSERT_TRUE(Convert("-size 8x8 xc:red", path));
        ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
        ASSERT_EQ(::symlink(s.name, link.c_str()), 0);

        // Saved through a link: the linked photo is replaced, keeps its permissions, and the
        // link stays a link.
        ASSERT_EQ(s.save(U16(link), image), 1);
        struct stat st {};
        ASSERT_EQ(::lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(Output("/usr/bin/identify -format %wx%h " + Quote(path)), "200x150");
        EXPECT_EQ(dir.CountEntries(), 2u);

        // A save that cannot be written completely leaves the photo as it was.
        std::vector<uint8_t> before = ReadAll(path);
        int saved;
        {
            FileSizeLimit limit(64);
            saved = s.save(U16(path), image);
        }
        EXPECT_EQ(saved, 0);
        EXPECT_EQ(ReadAll(path), before);
        EXPECT_EQ(dir.CountEntries(), 2u);

        // A read-only photo is not saved over (the folder would allow the rename).
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        EXPECT_EQ(s.save(U16(path), image), 0);
        EXPECT_EQ(ReadAll(path), before);
        EXPECT_EQ(dir.CountEntries(), 2u);
    }
}

TEST(JpegWriter, EncodersAndLosslessTurns)
{
    EXPECT_EQ(FindEncoderClsid("image/jpeg"), 0);
    EXPECT_EQ(FindEncoderClsid("image/png"), 1);
    EXPECT_EQ(FindEncoderClsid("image/tiff"), 2);
    EXPECT_EQ(FindEncoderClsid("image/gif"), -1);

    TempFolder dir;
    std::string path = dir / "r.jpg";
    ASSERT_TRUE(Convert("-size 32x16 gradient:red-blue -sampling-factor 2x2", path));
    ASSERT_EQ(RotateJpegLossless(U16(path).c_str(), 1), 1);
    EXPECT_EQ(ExifTool("-ImageWidth", path), "16");
    EXPECT_EQ(RotateJpegLossless(U16(path).c_str(), 4), 0);
    std::string odd = dir / "odd.jpg";
    ASSERT_TRUE(Convert("-size 33x17 gradient:red-blue -sampling-factor 2x2", odd));
    EXPECT_EQ(RotateJpegLossless(U16(odd).c_str(), 3), 0);
}
