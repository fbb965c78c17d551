#include "platform/ImageMetadata.h"

#include "platform/tests/ImageFileTestUtil.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace platform;
using namespace testutil;

namespace {

std::string Text(const PropertyItem* item)
{
    if (!item)
        return "<none>";
    std::string s(item->value.begin(), item->value.end());
    return s.substr(0, s.find('\0'));
}

PropertyItem Ascii(uint32_t id, const std::string& text)
{
    PropertyItem item { id, kPropertyAscii, {} };
    item.value.assign(text.begin(), text.end());
    item.value.push_back(0);
    return item;
}

std::string PixelHash(const std::string& file)
{
    return Output("/usr/bin/convert " + Quote(file) + " rgba:- 2>/dev/null | md5sum");
}

// A photo as cameras write them: camera tags, exposure, GPS, an orientation, an
// Interoperability IFD (whose tag 1 would collide with GPSLatitudeRef) and a thumbnail.
struct CameraJpeg {
    TempFolder dir;
    std::string path = dir / "photo.jpg";
    std::string thumb = dir / "thumb.jpg";
    CameraJpeg()
    {
        EXPECT_TRUE(Convert("-size 64x48 gradient:red-blue", path));
        EXPECT_TRUE(Convert("-size 32x24 xc:green", thumb));
        EXPECT_EQ(Shell("exiftool -overwrite_original -Make=Zcam '-Model=Z 1' -ExposureTime=1/200"
                      " -GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=9.25 -GPSLongitudeRef=E"
                      " -Orientation#=6 -InteropIndex=R98 -ISO=400 '-ThumbnailImage<=" + thumb + "' "
                      + Quote(path)), 0);
    }
};

} // namespace

TEST(ImageMetadata, ReadsCameraJpegIntoFlatIdSpace)
{
    CameraJpeg photo;
    ImageMetadata meta;
    ASSERT_TRUE(meta.ReadFile(photo.path));
    EXPECT_EQ(meta.Width(), 64u);
    EXPECT_EQ(meta.Height(), 48u);
    EXPECT_EQ(Text(meta.Find(271)), "Zcam");
    EXPECT_EQ(Text(meta.Find(272)), "Z 1");
    EXPECT_EQ(Text(meta.Find(1)), "N"); // GPS ref, not the Interoperability index "R98"
    EXPECT_EQ(Text(meta.Find(3)), "E");

    const PropertyItem* exposure = meta.Find(33434);
    ASSERT_NE(exposure, nullptr);
    EXPECT_EQ(exposure->type, kPropertyRational);
    EXPECT_EQ(exposure->value, (std::vector<uint8_t> { 1, 0, 0, 0, 200, 0, 0, 0 })); // little-endian 1/200

    const PropertyItem* latitude = meta.Find(2);
    ASSERT_NE(latitude, nullptr);
    ASSERT_EQ(latitude->value.size(), 24u);
    uint32_t degrees[2];
    std::memcpy(degrees, latitude->value.data(), 8);
    EXPECT_EQ(double(degrees[0]) / degrees[1], 48.0);

    const PropertyItem* orientation = meta.Find(kPropertyOrientation);
    ASSERT_NE(orientation, nullptr);
    EXPECT_EQ(orientation->type, kPropertyShort);
    EXPECT_EQ(orientation->value, (std::vector<uint8_t> { 6, 0 }));

    const PropertyItem* thumb = meta.Find(kPropertyThumbnailData);
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->value, ReadAll(photo.thumb));
    // Thumbnail IFD entries are not listed under ids of their own.
    EXPECT_EQ(meta.Find(513), nullptr);
    EXPECT_EQ(meta.Find(514), nullptr);
}

TEST(ImageMetadata, WriteBackChangesOnlyMetadata)
{
    CameraJpeg photo;
    std::vector<uint8_t> scanBefore = JpegScanData(ReadAll(photo.path));
    ASSERT_FALSE(scanBefore.empty());

    ImageMetadata meta;
    ASSERT_TRUE(meta.ReadFile(photo.path));
    ASSERT_TRUE(meta.Set(Ascii(53089, "beach sea")));
    ASSERT_TRUE(meta.Set(Ascii(271, "Othercam")));
    ASSERT_TRUE(meta.Remove(kPropertyOrientation));
    ASSERT_TRUE(meta.WriteFile(photo.path));

    EXPECT_EQ(ExifTool("-Make", photo.path), "Othercam");
    EXPECT_EQ(ExifTool("-u -IFD0:Exif_0xcf61", photo.path), "beach sea");
    EXPECT_EQ(ExifTool("-Orientation", photo.path), "");
    EXPECT_EQ(ExifTool("-ExposureTime", photo.path), "0.005");
    EXPECT_EQ(ExifTool("-GPSLatitudeRef", photo.path), "N");
    EXPECT_EQ(JpegScanData(ReadAll(photo.path)), scanBefore);
    EXPECT_EQ(photo.dir.CountEntries(), 2u); // no temporary file left behind

    ImageMetadata again;
    ASSERT_TRUE(again.ReadFile(photo.path));
    EXPECT_EQ(Text(again.Find(53089)), "beach sea");
    EXPECT_EQ(again.Find(kPropertyOrientation), nullptr);
    ASSERT_NE(again.Find(kPropertyThumbnailData), nullptr);
    EXPECT_EQ(again.Find(kPropertyThumbnailData)->value, ReadAll(photo.thumb));

    // Dropping the thumbnail removes it from the file.
    ASSERT_TRUE(again.Remove(kPropertyThumbnailData));
    ASSERT_TRUE(again.WriteFile(photo.path));
    EXPECT_EQ(ExifTool("-ThumbnailLength", photo.path), "");
    EXPECT_EQ(JpegScanData(ReadAll(photo.path)), scanBefore);
}

TEST(ImageMetadata, WritesPngAndTiffWithoutTouchingPixels)
{
    for (const char* ext : { "png", "tif" }) {
        SCOPED_TRACE(ext);
        TempFolder dir;
        std::string path = dir / (std::string("picture.") + ext);
        ASSERT_TRUE(Convert("-size 40x30 gradient:yellow-navy", path));
        std::string pixels = PixelHash(path);

        ImageMetadata meta;
        ASSERT_TRUE(meta.ReadFile(path));
        ASSERT_TRUE(meta.Set(Ascii(271, "Zcam")));
        ASSERT_TRUE(meta.Set(Ascii(53089, "holiday")));
        PropertyItem iso { 34855, kPropertyShort, { 0x90, 0x01 } };
        ASSERT_TRUE(meta.Set(iso));
        ASSERT_TRUE(meta.WriteFile(path));

        EXPECT_EQ(ExifTool("-Make", path), "Zcam");
        EXPECT_EQ(ExifTool("-ISO", path), "400");
        EXPECT_EQ(PixelHash(path), pixels);

        ImageMetadata again;
        ASSERT_TRUE(again.ReadFile(path));
        EXPECT_EQ(Text(again.Find(53089)), "holiday");
        ASSERT_NE(again.Find(34855), nullptr);
        EXPECT_EQ(again.Find(34855)->value, iso.value);
    }
}

TEST(ImageMetadata, RefusesWhatCannotBeStoredOrWritten)
{
    TempFolder dir;
    std::string text = dir / "notes.jpg";
    std::vector<uint8_t> content { 'n', 'o', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e' };
    WriteAll(text, content);

    ImageMetadata meta;
    EXPECT_FALSE(meta.ReadFile(text));
    EXPECT_FALSE(meta.ReadFile(dir / "missing.jpg"));
    EXPECT_FALSE(meta.Set(PropertyItem { 34855, kPropertyShort, { 1, 2, 3 } })); // not whole SHORTs
    EXPECT_FALSE(meta.Set(PropertyItem { 271, 0, { 1 } }));                      // no such type
    EXPECT_FALSE(meta.Set(PropertyItem { kPropertyThumbnailData, kPropertyByte, { 1 } }));
    EXPECT_FALSE(meta.Remove(271));

    ASSERT_TRUE(meta.Set(Ascii(271, "Zcam")));
    EXPECT_FALSE(meta.WriteFile(text));
    EXPECT_EQ(ReadAll(text), content);
    EXPECT_EQ(dir.CountEntries(), 1u);
    EXPECT_FALSE(meta.WriteFile(dir / "missing.jpg"));
    EXPECT_EQ(dir.CountEntries(), 1u);
}
