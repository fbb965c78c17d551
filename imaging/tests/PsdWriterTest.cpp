#include "imaging/PsdWriter.h"

#include "imaging/DocStream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::filesystem::path TempDir()
{
    auto d = std::filesystem::temp_directory_path() / "zd-psd-test";
    std::filesystem::create_directories(d);
    return d;
}

std::u16string U16(const std::filesystem::path& p)
{
    std::string s = p.string();
    return std::u16string(s.begin(), s.end());
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t BE32(const std::vector<uint8_t>& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}
uint16_t BE16(const std::vector<uint8_t>& b, size_t at) { return uint16_t((b[at] << 8) | b[at + 1]); }

} // namespace

TEST(PsdWriter, OddSizedLayerHasThePaddedLayoutByteForByte)
{
    // 3 x 3: n = 9, a = 12.
    std::vector<uint8_t> px(9 * 4);
    for (int i = 0; i < 9; ++i) {
        px[4 * i + 0] = uint8_t(10 + i); // B
        px[4 * i + 1] = uint8_t(20 + i); // G
        px[4 * i + 2] = uint8_t(30 + i); // R
        px[4 * i + 3] = uint8_t(200 + i);
    }
    auto path = TempDir() / "three.psd";
    std::filesystem::remove(path);
    ASSERT_EQ(WritePsdLayerFile(U16(path), px.data(), 3, 3), 1);
    auto f = ReadAll(path);
    ASSERT_EQ(f.size(), 26u + 4 + 4 + 4 + 176 + 2 + 36);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "8BPS");
    EXPECT_EQ(BE16(f, 4), 1);
    EXPECT_EQ(BE16(f, 12), 4);
    EXPECT_EQ(BE32(f, 14), 3u);
    EXPECT_EQ(BE32(f, 18), 3u);
    EXPECT_EQ(BE16(f, 22), 8);
    EXPECT_EQ(BE16(f, 24), 3);
    EXPECT_EQ(BE32(f, 26), 0u);
    EXPECT_EQ(BE32(f, 30), 0u);
    EXPECT_EQ(BE32(f, 34), 176u);
    EXPECT_EQ(BE32(f, 38), 168u);
    EXPECT_EQ(BE16(f, 42), 0xFFFF);
    const size_t rec = 44;
    EXPECT_EQ(BE32(f, rec + 8), 3u);
    EXPECT_EQ(BE32(f, rec + 12), 3u);
    EXPECT_EQ(BE16(f, rec + 16), 4);
    const int16_t ids[4] = {-1, 0, 1, 2};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(int16_t(BE16(f, rec + 18 + 6 * c)), ids[c]);
        EXPECT_EQ(BE32(f, rec + 20 + 6 * c), 12u);
    }
    EXPECT_EQ(std::string(f.begin() + rec + 42, f.begin() + rec + 50), "8BIMnorm");
    EXPECT_EQ(f[rec + 50], 255);
    EXPECT_EQ(f[rec + 52], 0x20);
    EXPECT_EQ(BE32(f, rec + 54), 60u);
    EXPECT_EQ(BE32(f, rec + 58), 0u);
    EXPECT_EQ(BE32(f, rec + 62), 40u);
    EXPECT_EQ(BE32(f, rec + 66), 0x0000FFFFu);
    EXPECT_EQ(BE32(f, rec + 102), 0x0000FFFFu);
    EXPECT_EQ(f[rec + 106], 5);
    EXPECT_EQ(std::string(f.begin() + rec + 107, f.begin() + rec + 112), "Layer");
    // Channel blocks: alpha, red, green, blue; 2 bytes compression, 9 data, 1 pad.
    const int byteOf[4] = {3, 2, 1, 0};
    for (int c = 0; c < 4; ++c) {
        size_t at = rec + 118 + 12 * c;
        EXPECT_EQ(BE16(f, at), 0);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(f[at + 2 + i], px[4 * i + byteOf[c]]) << "channel " << c << " pixel " << i;
        EXPECT_EQ(f[at + 11], 0);
    }
    EXPECT_EQ(BE32(f, rec + 118 + 48), 0u) << "no global layer mask";
    // Merged: red, green, blue, alpha planes.
    const size_t merged = rec + 118 + 48 + 4;
    EXPECT_EQ(BE16(f, merged), 0);
    const int mergedByte[4] = {2, 1, 0, 3};
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(f[merged + 2 + 9 * c + i], px[4 * i + mergedByte[c]]);
}

TEST(PsdWriter, IndependentReaderSeesTheSamePixelsAndTransparency)
{
    const int w = 4, h = 2;
    std::vector<uint8_t> px(w * h * 4);
    for (int i = 0; i < w * h; ++i) {
        px[4 * i + 0] = uint8_t(i * 30);
        px[4 * i + 1] = uint8_t(255 - i * 20);
        px[4 * i + 2] = uint8_t(i * 10 + 5);
        px[4 * i + 3] = i == 0 ? 0 : i == 1 ? 128 : 255;
    }
    auto path = TempDir() / "read.psd";
    auto out = TempDir() / "read.txt";
    ASSERT_EQ(WritePsdLayerFile(U16(path), px.data(), w, h), 1);
    // [0] is the merged image, [1] the layer. Readers take the merged colour as matted against
    // white, so only its opaque pixels keep their colour as they are; the layer keeps all.
    for (int index : {0, 1}) {
        std::string cmd = "/usr/bin/convert '" + path.string() + "[" + std::to_string(index) +
                          "]' -depth 8 txt:'" + out.string() + "' 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::ifstream in(out);
        std::string line;
        std::getline(in, line); // header
        int seen = 0;
        while (std::getline(in, line)) {
            int x, y, r, g, b, a;
            ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d: (%d,%d,%d,%d)", &x, &y, &r, &g, &b, &a), 6) << line;
            const uint8_t* p = &px[(y * w + x) * 4];
            EXPECT_EQ(a, p[3]) << index << ": " << line;
            if (p[3] == 255 || (index == 1 && p[3] != 0)) {
                EXPECT_EQ(r, p[2]) << index << ": " << line;
                EXPECT_EQ(g, p[1]) << index << ": " << line;
                EXPECT_EQ(b, p[0]) << index << ": " << line;
            }
            ++seen;
        }
        EXPECT_EQ(seen, w * h);
    }
}

TEST(PsdWriter, RefusesWhatItCannotWriteAndLeavesNoFile)
{
    std::vector<uint8_t> px(4, 255);
    auto path = TempDir() / "none.psd";
    std::filesystem::remove(path);
    EXPECT_EQ(WritePsdLayerFile(U16(path), px.data(), 0, 1), 0);
    EXPECT_EQ(WritePsdLayerFile(U16(path), px.data(), 30001, 1), 0);
    EXPECT_EQ(WritePsdLayerFile(U16(TempDir() / "no-dir" / "x.psd"), px.data(), 1, 1), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

#include "imaging/ColourTables.h"
#include "imaging/ImageBuffer.h"

TEST(PsdWriter, LayerIsStoredAsDitheredSrgbWithItsAlpha)
{
    BuildGammaTables();
    ImageBuffer16 img;
    AllocImage16(img, 5, 3);
    for (uint32_t i = 0; i < img.pixelCount; ++i) {
        img.data[4 * i + 0] = uint16_t(i * 3000);
        img.data[4 * i + 1] = uint16_t(60000 - i * 1000);
        img.data[4 * i + 2] = uint16_t(i * 4000);
        img.data[4 * i + 3] = i == 2 ? 0x80FF : 0xFFFF;
    }
    ImageBuffer8 want;
    ASSERT_EQ(ConvertImage16To8Dithered(img, want), 1);
    auto path = TempDir() / "layer16.psd";
    std::filesystem::remove(path);
    CPSDLayerSave saver;
    ASSERT_EQ(saver.SaveFile(U16(path), img), 1);
    auto f = ReadAll(path);
    const size_t n = 15, merged = f.size() - 4 * n;
    const int mergedByte[4] = {2, 1, 0, 3};
    for (int c = 0; c < 4; ++c)
        for (size_t i = 0; i < n; ++i)
            EXPECT_EQ(f[merged + c * n + i], want.data[4 * i + mergedByte[c]]) << c << " " << i;
    EXPECT_EQ(f[merged + 3 * n + 2], 0x80);
    EXPECT_EQ(f[merged + 3 * n + 0], 255);
    ImageBuffer16 empty;
    EXPECT_EQ(saver.SaveFile(U16(TempDir() / "empty.psd"), empty), 0);
    FreeImageBuffer(img);
    FreeImageBuffer(want);
}
