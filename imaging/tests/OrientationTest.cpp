// Photos stand the way they were taken: the EXIF orientation of a JPEG (and LibRaw's flip of
// a RAW file) is applied when the picture is loaded, whole or as a thumbnail, and a picture the
// program saves says Orientation 1. ImageMagick's -auto-orient is the independent judge.
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "platform/ImageMetadata.h"
#include "platform/Path.h"

#include "imaging/tests/DngBuilder.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testutil;

namespace {

struct Image8 : ImageBuffer8 {
    ~Image8() { FreeImageBuffer(*this); }
    const uint8_t* At(int x, int y) const { return data + (size_t(y) * width + x) * 4; }
};

std::u16string U16(const std::string& s) { return platform::FromNativePath(s); }

// A 48 x 32 photo with a red block at its stored top left and a blue one at its stored bottom
// right, on grey, with the EXIF Orientation set.
std::string MakeTurnedPhoto(const TempFolder& dir, int orientation, const std::string& name = "")
{
    const std::string path = dir / (name.empty() ? "o" + std::to_string(orientation) + ".jpg" : name);
    if (!Convert("-size 48x32 xc:gray -fill red -draw 'rectangle 0,0 15,9' -fill blue -draw 'rectangle 36,24 47,31' "
                 "-type TrueColor -quality 95",
                 path))
        return {};
    if (Shell("exiftool -overwrite_original -n -Orientation=" + std::to_string(orientation) + " " + Quote(path)) != 0)
        return {};
    return path;
}

// The largest difference of any channel between our picture and ImageMagick's auto-oriented
// one; -1 when the sizes differ.
int DifferenceFromOracle(const ImageBuffer8& image, const TempFolder& dir, const std::string& path,
                         const std::string& resize = "")
{
    const std::string raw = dir / "oracle.rgb";
    if (Shell("/usr/bin/convert " + Quote(path) + " -auto-orient " + resize + " -depth 8 rgb:" + Quote(raw)) != 0)
        return -1;
    const std::vector<uint8_t> rgb = ReadAll(raw);
    if (rgb.size() != size_t(image.width) * image.height * 3)
        return -1;
    int worst = 0;
    for (size_t i = 0; i < size_t(image.width) * image.height; ++i)
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(image.data[i * 4 + 2 - c]) - int(rgb[i * 3 + c])));
    return worst;
}

} // namespace

TEST(Orientation, ReadFromTheJpegsOwnExifBlock)
{
    TempFolder dir;
    for (int o = 1; o <= 8; ++o) {
        const std::vector<uint8_t> bytes = ReadAll(MakeTurnedPhoto(dir, o));
        EXPECT_EQ(platform::ReadJpegOrientation(bytes.data(), bytes.size()), o);
    }
    // None, out of range, cut: 1.
    const std::string plain = dir / "plain.jpg";
    ASSERT_TRUE(Convert("-size 8x8 xc:gray", plain));
    std::vector<uint8_t> bytes = ReadAll(plain);
    EXPECT_EQ(platform::ReadJpegOrientation(bytes.data(), bytes.size()), 1);
    bytes = ReadAll(MakeTurnedPhoto(dir, 6));
    EXPECT_EQ(platform::ReadJpegOrientation(bytes.data(), 40), 1);
    ASSERT_EQ(Shell("exiftool -overwrite_original -n -Orientation=9 " + Quote(dir / "o6.jpg")), 0);
    bytes = ReadAll(dir / "o6.jpg");
    EXPECT_EQ(platform::ReadJpegOrientation(bytes.data(), bytes.size()), 1);
}

TEST(Orientation, EveryOrientationLoadsUprightAsImageMagickTurnsIt)
{
    TempFolder dir;
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        const std::string path = MakeTurnedPhoto(dir, o);
        ASSERT_FALSE(path.empty());
        Image8 whole;
        ASSERT_EQ(LoadImage8(U16(path).c_str(), whole), 1);
        EXPECT_EQ(whole.width, o >= 5 ? 32 : 48);
        EXPECT_LE(DifferenceFromOracle(whole, dir, path), 2);
        // Through the codec library's road too (print and batch previews).
        Image8 codec;
        ASSERT_EQ(CodecLoadImage8(codec, U16(path).c_str()), 1);
        EXPECT_LE(DifferenceFromOracle(codec, dir, path), 3);
        // Thumbnails, the fast one and the ordinary one.
        for (bool fast : {true, false}) {
            Image8 thumb;
            ASSERT_GE(LoadThumbnail(U16(path).c_str(), 24, thumb, fast), 1) << fast;
            EXPECT_EQ(thumb.width, o >= 5 ? 16 : 24) << fast;
            EXPECT_EQ(thumb.height, o >= 5 ? 24 : 16) << fast;
            // Red stays in the picture's upright top left corner (ImageMagick's, after turning).
            Image8 upright;
            ASSERT_EQ(LoadImage8(U16(path).c_str(), upright), 1);
            const uint8_t* shouldBeRed = upright.At(1, 1);
            const uint8_t* thumbCorner = thumb.At(0, 0);
            EXPECT_NEAR(thumbCorner[2], shouldBeRed[2], 40) << fast;
            EXPECT_NEAR(thumbCorner[0], shouldBeRed[0], 40) << fast;
        }
    }
}

TEST(Orientation, EmbeddedThumbnailsOfLargePhotosStandUpToo)
{
    // Above 2,000,000 pixels the embedded EXIF thumbnail is used; it is stored the way the
    // picture is, so it is turned with it.
    TempFolder dir;
    const std::string path = dir / "big.jpg";
    const std::string small = dir / "small.jpg";
    ASSERT_TRUE(Convert("-size 2000x1200 xc:gray -fill red -draw 'rectangle 0,0 600,400' -type TrueColor -quality 60", path));
    ASSERT_TRUE(Convert("-size 160x96 xc:gray -fill red -draw 'rectangle 0,0 48,32' -type TrueColor", small));
    ASSERT_EQ(Shell("exiftool -overwrite_original -n -Orientation=8 '-ThumbnailImage<=" + small + "' " + Quote(path)), 0);
    Image8 thumb;
    ASSERT_EQ(LoadThumbnail(U16(path).c_str(), 200, thumb, false), 2);
    EXPECT_EQ(thumb.width, 120);
    EXPECT_EQ(thumb.height, 200);
    // Orientation 8: the stored top left is the upright bottom left.
    EXPECT_GT(thumb.At(2, thumb.height - 3)[2], 200);
    EXPECT_LT(thumb.At(2, thumb.height - 3)[0], 60);
    EXPECT_LT(thumb.At(thumb.width - 3, 2)[2], 200);
}

TEST(Orientation, TheDocumentOpensUprightAndASaveSaysOrientationOne)
{
    TempFolder dir;
    const std::string path = MakeTurnedPhoto(dir, 6);
    BuildGammaTables();
    CZDDoc doc;
    ASSERT_EQ(doc.OpenImage(U16(path)), 1);
    EXPECT_EQ(doc.width, 32);
    EXPECT_EQ(doc.height, 48);

    // The editor's save: pixels as they stand, then the kept metadata written back.
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U16(path).c_str()), 1);
    EXPECT_EQ(info.orientation, 6) << "the file's own facts stay as they are";
    Image8 upright;
    ASSERT_EQ(LoadImage8(U16(path).c_str(), upright), 1);
    const std::string saved = dir / "saved.jpg";
    JpegWriter writer;
    ASSERT_EQ(writer.SaveFile(U16(saved).c_str(), upright, 95), 1);
    ASSERT_EQ(info.WriteBack(U16(saved).c_str()), 1);
    EXPECT_EQ(ExifTool("-Orientation", saved), "1");
    Image8 again;
    ASSERT_EQ(LoadImage8(U16(saved).c_str(), again), 1);
    EXPECT_EQ(again.width, 32);
    // Orientation 6 turned a quarter clockwise: the stored top left (red) is the upright top
    // right, the stored bottom right (blue) the upright bottom left.
    EXPECT_GT(again.At(28, 3)[2], 200);
    EXPECT_LT(again.At(28, 3)[0], 60);
    EXPECT_GT(again.At(3, 44)[0], 200);
    EXPECT_LT(again.At(3, 44)[2], 60);
}

TEST(Orientation, RotateAsExifStillTurnsTheFileItselfLosslessly)
{
    // The album's command: a landscape-stored JPEG with Orientation 6 is turned a quarter
    // clockwise without recompression and loses its Orientation; it then loads exactly as
    // before, now without being turned on load.
    TempFolder dir;
    const std::string path = MakeTurnedPhoto(dir, 6);
    Image8 before;
    ASSERT_EQ(LoadImage8(U16(path).c_str(), before), 1);
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U16(path).c_str()), 1);
    ASSERT_EQ(info.orientation, 6);
    ASSERT_GT(info.width, info.height) << "stored wider than high";
    ASSERT_EQ(RotateJpegLossless(U16(path).c_str(), 1), 1);
    const std::vector<uint8_t> bytes = ReadAll(path);
    EXPECT_EQ(platform::ReadJpegOrientation(bytes.data(), bytes.size()), 1);
    Image8 after;
    ASSERT_EQ(LoadImage8(U16(path).c_str(), after), 1);
    ASSERT_EQ(after.width, before.width);
    ASSERT_EQ(after.height, before.height);
    EXPECT_EQ(std::memcmp(after.data, before.data, size_t(after.width) * after.height * 4), 0);
}

TEST(Orientation, RawPreviewsStandLikeTheDecodedPhoto)
{
    TempFolder dir;
    const std::string path = dir / "turned.dng";
    DngSpec dng;
    dng.orientation = 6;
    dng.preview = DngPreview::Jpeg;
    ASSERT_TRUE(WriteDng(path, dng));
    Image8 whole, thumb;
    ASSERT_EQ(LoadImage8(U16(path).c_str(), whole), 1);
    EXPECT_EQ(whole.width, 12);
    EXPECT_EQ(whole.height, 16);
    ASSERT_EQ(LoadThumbnail(U16(path).c_str(), 8, thumb, false), 1);
    EXPECT_EQ(thumb.width, 6);
    EXPECT_EQ(thumb.height, 8);
    // The preview's rows brighten in green downwards; turned a quarter clockwise they run from
    // right to left.
    EXPECT_GT(whole.At(0, 8)[1], whole.At(11, 8)[1] + 40);
}
