#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/RawDecoder.h"

#include "imaging/tests/DngBuilder.h"
#include "platform/Text.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <gtest/gtest.h>

using namespace testutil;

namespace {

std::u16string Wide(const char16_t* text) { return text ? std::u16string(text) : u"<null>"; }

// Mean green of a column, to see where the bright sensor rows ended up.
double ColumnMean(const ImageBuffer16& image, int x)
{
    double sum = 0;
    for (int y = 0; y < image.height; ++y)
        sum += image.data[(size_t(y) * image.width + x) * 4 + 1];
    return sum / image.height;
}

// Moves the strip of IFD0 (the preview of a DNG made with a preview) to the end of the file, as
// cameras place the big blocks after the directories, so that a cut file keeps its directories.
bool MovePreviewToEnd(std::vector<uint8_t>& file)
{
    auto u16 = [&](size_t at) { return uint32_t(file[at] | file[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (file.size() < 8 || file[0] != 'I')
        return false;
    const size_t ifd = u32(4);
    uint32_t offset = 0, length = 0;
    size_t offsetField = 0;
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (u16(e) == 273 && u16(e + 2) == 4 && u32(e + 4) == 1)
            offsetField = e + 8, offset = u32(e + 8);
        if (u16(e) == 279)
            length = u16(e + 2) == 4 ? u32(e + 8) : u16(e + 8);
    }
    if (!offsetField || !length || size_t(offset) + length > file.size())
        return false;
    const uint32_t moved = uint32_t(file.size());
    file.insert(file.end(), file.begin() + offset, file.begin() + offset + length);
    for (int i = 0; i < 4; ++i)
        file[offsetField + i] = uint8_t(moved >> (8 * i));
    return true;
}

double RowMean(const ImageBuffer16& image, int y)
{
    double sum = 0;
    for (int x = 0; x < image.width; ++x)
        sum += image.data[(size_t(y) * image.width + x) * 4 + 1];
    return sum / image.width;
}

} // namespace

TEST(RawDecoder, ExtensionsLibRawIsGiven)
{
    struct Case { const char* path; int expected; };
    const Case cases[] = {
        { "photo.NEF", 1 }, { "a/b.cr2", 1 }, { "x.Dng", 1 }, { "x.srw", 1 },
        { "x.nrw", 0 }, { "x.bay", 0 }, { "noext", 0 }, { "dir.nef/file", 0 }, { "x.jpg", 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsLibRawExtension(c.path) != 0, c.expected != 0) << c.path;
}

TEST(RawDecoder, FourDecimalFractions)
{
    EXPECT_EQ(RawFraction10000(-0.67), -6699); // truncation toward zero after adding 0.5
    EXPECT_EQ(RawFraction10000(0.005), 50);
    EXPECT_EQ(RawFraction10000(5.6), 56000);
    EXPECT_EQ(RawFraction10000(1e12), 0);
}

TEST(RawDecoder, DecodesGeneratedDngUpright)
{
    struct Case { int orientation; int width, height; };
    for (Case c : { Case { 1, 64, 48 }, Case { 6, 48, 64 }, Case { 8, 48, 64 }, Case { 3, 64, 48 } }) {
        SCOPED_TRACE(c.orientation);
        TempFolder dir;
        std::string path = dir / "shot.dng";
        DngSpec dng;
        dng.orientation = c.orientation;
        ASSERT_TRUE(WriteDng(path, dng));

        ImageBuffer16 image;
        {
            platform::ScopedLock lock(RawDecoderLock);
            ASSERT_EQ(DecodeRaw16(path.c_str(), image), 1);
        }
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        bool opaque = true;
        for (uint32_t i = 0; i < image.pixelCount; ++i)
            opaque = opaque && image.data[i * 4 + 3] == 0xFFFF;
        EXPECT_TRUE(opaque);
        // The bright sensor top is the picture's top (1), right (6: turned clockwise),
        // left (8) or bottom (3).
        switch (c.orientation) {
        case 1: EXPECT_GT(RowMean(image, 1), 4 * RowMean(image, image.height - 2)); break;
        case 3: EXPECT_GT(RowMean(image, image.height - 2), 4 * RowMean(image, 1)); break;
        case 6: EXPECT_GT(ColumnMean(image, image.width - 2), 4 * ColumnMean(image, 1)); break;
        case 8: EXPECT_GT(ColumnMean(image, 1), 4 * ColumnMean(image, image.width - 2)); break;
        }
        FreeImageBuffer(image);
    }
}

TEST(RawDecoder, ReadsShootingDataWithoutDecoding)
{
    TempFolder dir;
    std::string path = dir / "shot.dng";
    DngSpec dng;
    dng.orientation = 6;
    ASSERT_TRUE(WriteDng(path, dng));

    ImageInfo info;
    {
        platform::ScopedLock lock(RawDecoderLock);
        ASSERT_EQ(ReadRawInfo(path.c_str(), info), 1);
    }
    EXPECT_EQ(Wide(info.make), u"Zcam");
    EXPECT_EQ(Wide(info.model), u"Z 1");
    EXPECT_EQ(info.width, 48);
    EXPECT_EQ(info.height, 64);
    EXPECT_EQ(info.isoSpeedRatings, kExifUnsetShort);
    EXPECT_EQ(info.gpsLatitudeRef, 0);
    EXPECT_EQ(info.gpsLatitude[0], ExifRational());

    // Through ImageInfo::ReadFile, with a name in capitals.
    std::string upper = dir / "SHOT.DNG";
    std::rename(path.c_str(), upper.c_str());
    // The same object read a JPEG before: nothing of it may stay.
    std::string jpeg = dir / "earlier.jpg";
    ASSERT_TRUE(Convert("-size 8x8 xc:red", jpeg));
    ASSERT_EQ(Shell("exiftool -overwrite_original -Artist=Ann -GPSLatitude=1 -GPSLatitudeRef=N " + Quote(jpeg)), 0);
    ImageInfo viaFile;
    ASSERT_EQ(viaFile.ReadFile(platform::Utf8ToUtf16(jpeg).c_str()), 1);
    ASSERT_EQ(Wide(viaFile.artist), u"Ann");
    ASSERT_EQ(viaFile.ReadFile(platform::Utf8ToUtf16(upper).c_str()), 1);
    EXPECT_EQ(Wide(viaFile.make), u"Zcam");
    EXPECT_EQ(viaFile.artist, nullptr);
    EXPECT_EQ(viaFile.gpsLatitudeRef, 0);
    EXPECT_TRUE(viaFile.properties.empty());
}

TEST(RawDecoder, PreviewBlocks)
{
    TempFolder dir;
    struct Case { DngPreview preview; int kind; };
    for (Case c : { Case { DngPreview::None, -1 }, Case { DngPreview::Rgb, kRawPreviewBitmap },
                    Case { DngPreview::Jpeg, kRawPreviewJpeg } }) {
        SCOPED_TRACE(c.kind);
        std::string path = dir / ("p" + std::to_string(c.kind) + ".dng");
        DngSpec dng;
        dng.preview = c.preview;
        ASSERT_TRUE(WriteDng(path, dng));
        platform::ScopedLock lock(RawDecoderLock);
        uint32_t length = 99;
        int kind = 99;
        uint8_t* block = RawThumbnail(path.c_str(), length, kind);
        if (c.kind < 0) {
            EXPECT_EQ(block, nullptr);
            continue;
        }
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(kind, c.kind);
        if (kind == kRawPreviewBitmap) {
            ASSERT_EQ(length, 4u + 3 * 16 * 12);
            EXPECT_EQ(block[0] | block[1] << 8, 16);
            EXPECT_EQ(block[2] | block[3] << 8, 12);
            EXPECT_EQ(block[4], 250); // first pixel's red
        } else {
            ASSERT_GT(length, 4u);
            EXPECT_EQ(block[0], 0xFF);
            EXPECT_EQ(block[1], 0xD8);
        }
        delete[] block;
    }
}

TEST(RawDecoder, UnsupportedNamesFailEverywhere)
{
    TempFolder dir;
    std::string path = dir / "shot.nrw";
    ASSERT_TRUE(WriteDng(path, DngSpec()));
    platform::ScopedLock lock(RawDecoderLock);
    ImageBuffer16 image;
    EXPECT_EQ(DecodeRaw16(path.c_str(), image), 0);
    EXPECT_EQ(image.data, nullptr);
    uint32_t length = 0;
    int kind = 0;
    EXPECT_EQ(RawThumbnail(path.c_str(), length, kind), nullptr);
    ImageInfo info;
    EXPECT_EQ(ReadRawInfo(path.c_str(), info), 0);
    EXPECT_EQ(ReadRawInfo((dir / "missing.dng").c_str(), info), 0);
    std::string junk = dir / "junk.cr2";
    WriteAll(junk, std::vector<uint8_t>(300, 0x42));
    EXPECT_EQ(DecodeRaw16(junk.c_str(), image), 0);
    EXPECT_EQ(RawThumbnail(junk.c_str(), length, kind), nullptr);
}

TEST(RawDecoder, FlashFiredIsBitZeroOfTheExifFlashCode)
{
    // 16 is "off, did not fire" and 24 "auto, did not fire": neither fired.
    struct Case { int code; int fired; };
    const Case cases[] = { { 0, 0 }, { 1, 1 }, { 16, 0 }, { 24, 0 }, { 25, 1 }, { 9, 1 }, { 32, 0 }, { 89, 1 } };
    TempFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::string path = dir / "flash.dng";
        ASSERT_TRUE(WriteDng(path, DngSpec()));
        ASSERT_EQ(Shell("exiftool -q -overwrite_original -ExifIFD:Flash#=" + std::to_string(c.code) + " " + Quote(path)), 0);
        ImageInfo info;
        platform::ScopedLock lock(RawDecoderLock);
        ASSERT_EQ(ReadRawInfo(path.c_str(), info), 1);
        EXPECT_EQ(info.flash, c.fired);
    }
}

TEST(RawDecoder, CutFilesFailInsteadOfDecodingMadeUpRows)
{
    // A DNG with a JPEG preview (IFD0) and the sensor data in a sub-IFD, cut at several places:
    // two bytes before the end of the sensor rows, in their middle, at their start, inside the
    // directories. None may come out as a picture; the whole file still decodes.
    TempFolder dir;
    const std::string whole = dir / "whole.dng";
    DngSpec dng;
    dng.width = 256;
    dng.height = 192;
    dng.preview = DngPreview::Jpeg;
    ASSERT_TRUE(WriteDng(whole, dng));
    const std::vector<uint8_t> bytes = ReadAll(whole);
    uint64_t start = 0, length = 0;
    {
        TIFF* tif = TIFFOpen(whole.c_str(), "rc"); // strips as stored, not chopped
        ASSERT_NE(tif, nullptr);
        uint16_t count = 0;
        uint64_t* sub = nullptr;
        uint64_t* offsets = nullptr;
        uint64_t* counts = nullptr;
        ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_SUBIFD, &count, &sub) && count == 1);
        ASSERT_TRUE(TIFFSetSubDirectory(tif, sub[0]));
        ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) && TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts));
        start = offsets[0];
        length = counts[0];
        TIFFClose(tif);
    }
    ASSERT_EQ(length, uint64_t(256 * 192 * 2));
    ASSERT_LE(start + length, bytes.size());

    platform::ScopedLock lock(RawDecoderLock);
    ImageBuffer16 image;
    ASSERT_EQ(DecodeRaw16(whole.c_str(), image), 1) << "the whole file";
    FreeImageBuffer(image);
    for (uint64_t cut : { start + length - 2, start + length / 2, start + 2, uint64_t(300) }) {
        SCOPED_TRACE(cut);
        const std::string path = dir / ("cut-" + std::to_string(cut) + ".dng");
        WriteAll(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)));
        EXPECT_EQ(DecodeRaw16(path.c_str(), image), 0);
        EXPECT_EQ(image.data, nullptr);
        FreeImageBuffer(image);
    }

    // The preview moved behind everything else and cut: the sensor data is whole and still
    // decodes, but the preview (thumbnails, quick loads) is refused rather than shown half grey.
    std::vector<uint8_t> moved = bytes;
    ASSERT_TRUE(MovePreviewToEnd(moved));
    const std::string withPreview = dir / "preview-last.dng";
    WriteAll(withPreview, moved);
    uint32_t previewLength = 0;
    int kind = -1;
    uint8_t* preview = RawThumbnail(withPreview.c_str(), previewLength, kind);
    ASSERT_NE(preview, nullptr) << "the whole file's preview";
    EXPECT_EQ(kind, kRawPreviewJpeg);
    delete[] preview;
    for (size_t cut : { size_t(2), size_t(100) }) {
        SCOPED_TRACE(cut);
        const std::string path = dir / ("preview-cut-" + std::to_string(cut) + ".dng");
        WriteAll(path, std::vector<uint8_t>(moved.begin(), moved.end() - std::ptrdiff_t(cut)));
        EXPECT_EQ(RawThumbnail(path.c_str(), previewLength, kind), nullptr);
        EXPECT_EQ(DecodeRaw16(path.c_str(), image), 1) << "the sensor data is whole";
        FreeImageBuffer(image);
    }
}
