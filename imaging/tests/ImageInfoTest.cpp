#include "imaging/DocStream.h"
#include "imaging/ImageCodec/ImageInfo.h"

#include "platform/ImageMetadata.h"
#include "platform/Text.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace testutil;

namespace {

std::u16string Wide(const char16_t* text) { return text ? std::u16string(text) : u"<null>"; }
std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

struct Photo {
    TempFolder dir;
    std::string path;
    explicit Photo(const std::string& exiftoolArgs, const std::string& name = "photo.jpg") : path(dir / name)
    {
        EXPECT_TRUE(Convert("-size 32x24 gradient:white-black", path));
        if (!exiftoolArgs.empty()) {
            EXPECT_EQ(Shell("exiftool -overwrite_original " + exiftoolArgs + " " + Quote(path)), 0);
        }
    }
    std::u16string Path() const { return U16(path); }
};

} // namespace

TEST(ImageInfo, ColourSpaceOfUncalibratedFiles)
{
    struct Case { const char* args; uint16_t expected; };
    const Case cases[] = {
        { "-ColorSpace#=65535 -Make=Zcam", 2 },      // camera files in Adobe RGB say "uncalibrated"
        { "-ColorSpace#=65535", kColorSpaceUncalibrated },
        { "-ColorSpace#=1 -Make=Zcam", 1 },
        { "", kExifUnsetShort },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Photo photo(c.args);
        ImageInfo info;
        ASSERT_EQ(info.ReadFile(photo.Path().c_str()), 1);
        EXPECT_EQ(info.colorSpace, c.expected);
        EXPECT_EQ(info.width, 32);
        EXPECT_EQ(info.height, 24);
        EXPECT_EQ(Wide(info.fileName), u"photo.jpg");
        EXPECT_GT(info.fileSize, 0u);
        EXPECT_GE(info.fileTime.year, 2020);
    }
}

TEST(ImageInfo, ExposureFromApexValuesOnlyWhenMissing)
{
    Photo both("-ExposureTime=1/200 -ShutterSpeedValue#=3 -FNumber=2.8 -ApertureValue#=6");
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(both.Path().c_str()), 1);
    EXPECT_EQ(info.exposureTime, (ExifRational { 1, 200 }));
    EXPECT_EQ(double(info.fNumber.numerator) / info.fNumber.denominator, 2.8);

    Photo apexOnly("-ShutterSpeedValue#=0.005 -ApertureValue#=4"); // APEX 7.64386 and 4
    ASSERT_EQ(info.ReadFile(apexOnly.Path().c_str()), 1);
    EXPECT_EQ(info.exposureTime, (ExifRational { 50, 10000 }));
    EXPECT_EQ(info.fNumber, (ExifRational { 40000, 10000 }));
}

TEST(ImageInfo, MetadataBytesCountOnlyItemsThatFillAField)
{
    // JPEG size targets subtract these bytes: each item that fills a field adds its length
    // + 12; orientation, DateTime, the maker note, tag 41483, unknown items and APEX values
    // that come after the real value add nothing.
    struct Item { uint32_t id; uint16_t type; uint32_t length; };
    struct Case { const char* name; std::vector<Item> items; uint32_t bytes; };
    const Case cases[] = {
        { "text", { { kTagMake, 2, 5 } }, 17 },
        { "orientation", { { kTagOrientation, 3, 2 } }, 0 },
        { "DateTime", { { kTagDateTime, 2, 20 } }, 0 },
        { "DateTimeOriginal", { { kTagDateTimeOriginal, 2, 20 } }, 32 },
        { "41483", { { kTagExposureIndex, 5, 8 } }, 0 },
        { "maker note", { { kTagMakerNote, 7, 40 } }, 0 },
        { "user comment", { { kTagUserComment, 7, 10 } }, 22 },
        { "unknown", { { 40000, 7, 10 } }, 0 },
        { "colour space", { { kTagColorSpace, 3, 2 } }, 14 },
        { "GPS latitude", { { kTagGpsLatitude, 5, 24 } }, 36 },
        { "GPS latitude of two values", { { kTagGpsLatitude, 5, 16 } }, 0 },
        { "time, then APEX", { { kTagExposureTime, 5, 8 }, { kTagShutterSpeedValue, 10, 8 } }, 20 },
        { "APEX, then time", { { kTagShutterSpeedValue, 10, 8 }, { kTagExposureTime, 5, 8 } }, 40 },
        { "aperture only", { { kTagApertureValue, 5, 8 } }, 20 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageInfo info;
        for (const Item& item : c.items) {
            std::vector<uint8_t> value(item.length, 1);
            if (item.type == 2)
                value.back() = 0;
            ASSERT_TRUE(info.AddProperty(item.id, item.type, value.data(), item.length));
        }
        DecodeExifFields(info);
        EXPECT_EQ(info.metadataBytes, c.bytes);
        EXPECT_EQ(info.GetMetadataSize(1), c.bytes + 256);
    }
}

TEST(ImageInfo, ReadsFieldsAndKeepsItems)
{
    Photo photo("-Make=Zcam '-Model=Z 1' -Artist=Ann -ISO=800 -ExposureCompensation=-0.7 -EXIF:Flash#=16"
                " -GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=9.25 -GPSLongitudeRef=W"
                " '-DateTimeOriginal=2013:07:04 18:30:05' -Orientation#=8 -StandardOutputSensitivity=100");
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(photo.Path().c_str()), 1);
    EXPECT_EQ(Wide(info.make), u"Zcam");
    EXPECT_EQ(Wide(info.model), u"Z 1");
    EXPECT_EQ(Wide(info.artist), u"Ann");
    EXPECT_EQ(info.isoSpeedRatings, 800);
    EXPECT_EQ(info.flash, 16);
    EXPECT_LT(info.exposureBiasValue.numerator, 0);
    EXPECT_EQ(info.gpsLatitudeRef, 'N');
    EXPECT_EQ(info.gpsLongitudeRef, 'W');
    EXPECT_EQ(info.gpsLatitude[0], (ExifRational { 48, 1 }));
    EXPECT_EQ(info.gpsLatitude[1], (ExifRational { 30, 1 }));
    EXPECT_EQ(info.dateTimeOriginal, (SystemTime { 2013, 7, 0, 4, 18, 30, 5, 0 }));
    EXPECT_EQ(info.orientation, 8);
    // LONG items (34865) are not kept; skipped layout tags neither.
    EXPECT_EQ(info.FindProperty(34865), nullptr);
    EXPECT_EQ(info.FindProperty(282), nullptr);
    ASSERT_NE(info.FindProperty(271), nullptr);
    EXPECT_EQ(info.FindProperty(271)->kind, 5u);
    EXPECT_EQ(info.FindProperty(2)->count, 3u);
    EXPECT_GT(info.metadataBytes, 0u);
}

TEST(ImageInfo, ParsesExifDates)
{
    struct Case { const char* text; SystemTime expected; };
    const Case cases[] = {
        { "2013:07:04 18:30:05", { 2013, 7, 0, 4, 18, 30, 5, 0 } },
        { "2013::07  04 18:30:05", { 2013, 7, 0, 4, 18, 30, 5, 0 } }, // runs of separators
        { "1979:07:04 18:30:05", {} },
        { "2013:13:04 18:30:05", {} },
        { "2013:07:04 18:75:05", {} },
        { "2101:01:01 00:00:00", {} },
        { "    :  :     :  :  ", {} },
        { "", {} },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseExifDateTime(c.text), c.expected) << c.text;
    std::string longToken(80, '1');
    EXPECT_EQ(ParseExifDateTime(longToken.c_str()), SystemTime());
}

TEST(ImageInfo, BigItemsAndThumbnail)
{
    // A TIFF can carry items beyond a JPEG segment's 64 KB.
    TempFolder dir;
    std::string path = dir / "big.tif";
    ASSERT_TRUE(Convert("-size 8x8 xc:gray", path));
    std::string big(70000, 'x');
    std::string thumb = dir / "thumb.jpg";
    ASSERT_TRUE(Convert("-size 16x12 xc:blue", thumb));
    ASSERT_EQ(Shell("exiftool -overwrite_original -ImageDescription=" + big + " -Artist=Bo " + Quote(path)), 0);
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U16(path).c_str()), 1);
    EXPECT_EQ(info.FindProperty(270), nullptr);
    EXPECT_EQ(info.imageDescription, nullptr);
    EXPECT_EQ(Wide(info.artist), u"Bo");

    Photo photo("'-ThumbnailImage<=" + thumb + "'");
    ImageInfo withThumb;
    ASSERT_EQ(withThumb.ReadFile(photo.Path().c_str()), 1);
    const ExifProperty* t = withThumb.FindProperty(kTagThumbnailData);
    ASSERT_NE(t, nullptr);
    EXPECT_GT(t->length, 255u); // kept in a heap copy
    EXPECT_EQ(t->Value()[0], 0xFF);
    EXPECT_EQ(t->Value()[t->length], 0);
    // Only thumbnail data: nothing counts for the output size.
    ImageInfo onlyThumb;
    ASSERT_TRUE(onlyThumb.AddProperty(kTagThumbnailData, 1, std::vector<uint8_t>(5000, 7).data(), 5000));
    EXPECT_EQ(onlyThumb.GetMetadataSize(2), 256u);
    EXPECT_EQ(onlyThumb.GetMetadataSize(1), 256u);
    EXPECT_EQ(onlyThumb.GetMetadataSize(7), 256u);
    ASSERT_TRUE(onlyThumb.AddProperty(271, 2, reinterpret_cast<const uint8_t*>("Zcam"), 5));
    EXPECT_EQ(onlyThumb.GetMetadataSize(2), 256u + 17);
}

TEST(ImageInfo, SaveAppliesEditedFieldsAndKeepsColourSpace)
{
    Photo photo("-ColorSpace#=2 -Make=Zcam -ISO=100 -ShutterSpeedValue#=5");
    std::vector<uint8_t> scan = JpegScanData(ReadAll(photo.path));
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(photo.Path().c_str()), 1);
    delete[] info.artist;
    info.artist = new char16_t[] { u'Z', u'\u00F6', u'e', 0 };
    info.exposureBiasValue = ExifSRational { -7, 10 };
    info.isoSpeedRatings = kExifUnsetShort;          // unset fields are removed
    info.dateTimeOriginal = SystemTime { 2020, 2, 0, 29, 23, 59, 58, 0 };
    ASSERT_EQ(SaveImageProperties(photo.Path().c_str(), info), 1);

    EXPECT_EQ(ExifTool("-Artist", photo.path), "Zöe");
    EXPECT_EQ(ExifTool("-ExposureCompensation", photo.path), "-0.7");
    EXPECT_EQ(ExifTool("-ISO", photo.path), "");
    EXPECT_EQ(ExifTool("-ShutterSpeedValue", photo.path), "");
    EXPECT_EQ(ExifTool("-DateTimeOriginal", photo.path), "2020:02:29 23:59:58");
    EXPECT_EQ(ExifTool("-ColorSpace", photo.path), "2"); // metadata-only: the colour space stays
    EXPECT_EQ(JpegScanData(ReadAll(photo.path)), scan);

    ImageInfo again;
    ASSERT_EQ(again.ReadFile(photo.Path().c_str()), 1);
    EXPECT_EQ(Wide(again.artist), u"Zöe");
    EXPECT_EQ(again.exposureBiasValue, (ExifSRational { -7, 10 }));

    // Types without metadata support are refused.
    EXPECT_EQ(SaveImageProperties(u"/tmp/x.bmp", info), 0);
}

TEST(ImageInfo, RewritesKeepDatesTheProgramCannotShow)
{
    // A scan dated before 1980 reads as "no date"; adding a keyword must not delete its date,
    // while a readable date that the user cleared is removed.
    Photo photo("'-DateTimeOriginal=1975:06:01 12:00:00' '-ModifyDate=2019:03:04 05:06:07'");
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(photo.Path().c_str()), 1);
    EXPECT_EQ(info.dateTimeOriginal.year, 0);
    EXPECT_EQ(info.dateTime.year, 2019);
    ASSERT_EQ(info.AddTag(photo.Path().c_str(), u"slides"), 1);
    EXPECT_EQ(ExifTool("-DateTimeOriginal", photo.path), "1975:06:01 12:00:00");
    EXPECT_EQ(ExifTool("-ModifyDate", photo.path), "2019:03:04 05:06:07");

    ASSERT_EQ(info.ReadFile(photo.Path().c_str()), 1);
    info.dateTime = SystemTime();
    ASSERT_EQ(SaveImageProperties(photo.Path().c_str(), info), 1);
    EXPECT_EQ(ExifTool("-ModifyDate", photo.path), "");
    EXPECT_EQ(ExifTool("-DateTimeOriginal", photo.path), "1975:06:01 12:00:00");
    EXPECT_EQ(ExifTool("-u -IFD0:Exif_0xcf61", photo.path), "slides");
}

TEST(ImageInfo, WriteBackPutsKeptItemsIntoTheSavedFile)
{
    TempFolder dir;
    Photo original("-Make=Zcam -GPSLatitude=10 -GPSLatitudeRef=S -ColorSpace#=2");
    std::string thumb = dir / "t.jpg";
    ASSERT_TRUE(Convert("-size 16x12 xc:blue", thumb));
    ASSERT_EQ(Shell("exiftool -overwrite_original '-ThumbnailImage<=" + thumb + "' " + Quote(original.path)), 0);
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(original.Path().c_str()), 1);
    ASSERT_NE(info.FindProperty(kTagThumbnailData), nullptr);

    std::string saved = dir / "saved.jpg";
    ASSERT_TRUE(Convert("-size 20x10 xc:red", saved));
    ASSERT_EQ(info.WriteBack(U16(saved).c_str()), 1);
    EXPECT_EQ(ExifTool("-Make", saved), "Zcam");
    EXPECT_EQ(ExifTool("-GPSLatitudeRef", saved), "S");
    EXPECT_EQ(ExifTool("-ColorSpace", saved), "1"); // the program wrote sRGB pixels
    EXPECT_EQ(ExifTool("-ThumbnailLength", saved), "");

    EXPECT_EQ(info.WriteBack(u"/nonexistent/file.bmp"), 1); // nothing to do for other types
    EXPECT_EQ(info.WriteBack(U16(dir / "missing.jpg").c_str()), 0);
}

TEST(ImageInfo, WriteBackIntoATiffKeepsItsPictureLayout)
{
    // The items of a grey 16-bit LZW TIFF put into the colour 8-bit TIFF saved from it: the
    // saved file's own layout tags (bits, compression, colour model) must stay, or it no
    // longer decodes as what was saved.
    TempFolder dir;
    std::string source = dir / "source.tif";
    std::string saved = dir / "saved.tif";
    ASSERT_TRUE(Convert("-size 24x16 gradient:white-black -colorspace Gray -depth 16 -compress LZW", source));
    ASSERT_EQ(Shell("exiftool -overwrite_original -Make=Zcam " + Quote(source)), 0);
    ASSERT_TRUE(Convert("-size 20x10 gradient:red-blue -depth 8 -compress None", saved));
    std::string pixels = Output("/usr/bin/convert " + Quote(saved) + " rgba:- | md5sum");
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U16(source).c_str()), 1);
    ASSERT_NE(info.FindProperty(258), nullptr); // BitsPerSample is among the kept items
    ASSERT_EQ(info.WriteBack(U16(saved).c_str()), 1);
    EXPECT_EQ(ExifTool("-Make", saved), "Zcam");
    EXPECT_EQ(ExifTool("-BitsPerSample", saved), "8 8 8");
    EXPECT_EQ(ExifTool("-Compression", saved), "1");
    EXPECT_EQ(Output("/usr/bin/convert " + Quote(saved) + " rgba:- | md5sum"), pixels);
}

TEST(ImageInfo, AddTag)
{
    struct Case { const char* existing; const char16_t* keyword; int result; const char* after; };
    const Case cases[] = {
        { "", u"sea", 1, "sea" },
        { "Beach sea", u"beach", 0, "Beach sea" },        // already there, any case
        { "Beach sea", u"dunes", 1, "Beach sea dunes" },
        { "Beach", u"two words", 0, "Beach" },             // not a single keyword: not added
        { "Beach", u"abcdefghijklmnopqrstuvwxyzabcdefg", 0, "Beach" }, // 33 characters
        { "", u"", 0, "" },
        { "\xC3\x89t\xC3\xA9 plage", u"\u00E9T\u00C9", 0, "\xC3\x89t\xC3\xA9 plage" }, // accents too
        { "\xC5\x92uvre", u"\u0153UVRE", 0, "\xC5\x92uvre" },
        { "Beach", u"abcdefghijklmnopqrstuvwxyzabcdef", 1, "Beach abcdefghijklmnopqrstuvwxyzabcdef" }, // 32
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.existing);
        Photo photo("");
        if (*c.existing) {
            // exiftool cannot create unknown tags; write it the way the program does.
            platform::ImageMetadata meta;
            ASSERT_TRUE(meta.ReadFile(photo.path));
            std::vector<uint8_t> v(c.existing, c.existing + std::strlen(c.existing) + 1);
            ASSERT_TRUE(meta.Set(platform::PropertyItem { kTagPhotoTags, 2, v }));
            ASSERT_TRUE(meta.WriteFile(photo.path));
        }
        std::vector<uint8_t> before = ReadAll(photo.path);
        ImageInfo info;
        EXPECT_EQ(info.AddTag(photo.Path().c_str(), c.keyword), c.result);
        EXPECT_EQ(ExifTool("-u -IFD0:Exif_0xcf61", photo.path), c.after);
        if (!c.result)
            EXPECT_EQ(ReadAll(photo.path), before);
        else
            EXPECT_EQ(JpegScanData(ReadAll(photo.path)), JpegScanData(before));
    }
    // The tag holds at most 255 bytes: a keyword that would make it longer is refused rather
    // than cut off, also where characters outside ASCII take two bytes each.
    const std::string e120 = [] { std::string s; for (int i = 0; i < 120; ++i) s += "\xC3\xA9"; return s; }();
    const Case limits[] = {
        { nullptr, u"dunes", 1, nullptr }, // 249 + 1 + 5 = 255
        { nullptr, u"dunes", 0, nullptr }, // 250 + 1 + 5 = 256
        { nullptr, u"dunes", 1, nullptr }, // 240 bytes + 1 + 5 = 246 bytes (126 characters)
        { nullptr, u"dunesdunesdunes", 0, nullptr }, // 256 bytes (136 characters)
    };
    const std::string existing[] = { std::string(249, 'x'), std::string(250, 'x'), e120, e120 };
    for (size_t i = 0; i < std::size(limits); ++i) {
        SCOPED_TRACE(i);
        Photo photo("");
        platform::ImageMetadata meta;
        ASSERT_TRUE(meta.ReadFile(photo.path));
        std::vector<uint8_t> v(existing[i].begin(), existing[i].end());
        v.push_back(0);
        ASSERT_TRUE(meta.Set(platform::PropertyItem { kTagPhotoTags, 2, v }));
        ASSERT_TRUE(meta.WriteFile(photo.path));
        std::vector<uint8_t> before = ReadAll(photo.path);
        ImageInfo info;
        EXPECT_EQ(info.AddTag(photo.Path().c_str(), limits[i].keyword), limits[i].result);
        std::string expected = limits[i].result ? existing[i] + " " + platform::Utf16ToUtf8(limits[i].keyword) : existing[i];
        EXPECT_EQ(ExifTool("-u -IFD0:Exif_0xcf61", photo.path), expected);
        ImageInfo again;
        ASSERT_EQ(again.ReadFile(photo.Path().c_str()), 1);
        EXPECT_EQ(Wide(again.photoTags), U16(expected));
        if (!limits[i].result) {
            EXPECT_EQ(ReadAll(photo.path), before);
        }
    }

    // Only JPEG files take tags.
    TempFolder dir;
    std::string png = dir / "p.png";
    ASSERT_TRUE(Convert("-size 4x4 xc:red", png));
    ImageInfo info;
    EXPECT_EQ(info.AddTag(U16(png).c_str(), u"sea"), 0);
}

TEST(ImageInfo, CopyFromDuplicatesTextsNotItems)
{
    Photo photo("-Make=Zcam -Artist=Ann -Orientation#=6");
    ImageInfo a;
    ASSERT_EQ(a.ReadFile(photo.Path().c_str()), 1);
    ImageInfo b;
    b.CopyFrom(a);
    EXPECT_EQ(Wide(b.make), u"Zcam");
    EXPECT_NE(b.make, a.make);
    EXPECT_TRUE(b.properties.empty());
    EXPECT_EQ(b.orientation, 0);
    EXPECT_EQ(b.metadataBytes, 0u);
    EXPECT_EQ(b.width, 32);
    EXPECT_EQ(Wide(b.fileName), u"photo.jpg");
}

TEST(ImageInfo, TextsFromOtherProgramsAndOldCameras)
{
    const uint8_t utf8[] = { 'Z', 0xC3, 0xB6, 'e', 0 };
    const uint8_t cp1252[] = { 'Z', 0xF6, 'e', ' ', 0x80, 0 };
    char16_t* a = DecodeExifText(utf8, sizeof utf8);
    char16_t* b = DecodeExifText(cp1252, sizeof cp1252);
    EXPECT_EQ(Wide(a), u"Zöe");
    EXPECT_EQ(Wide(b), u"Zöe €");
    delete[] a;
    delete[] b;
}

TEST(ImageInfo, MakerNoteIso)
{
    // Nikon: "Nikon\0", version, then a TIFF header of its own (here big-endian) at offset 10.
    std::vector<uint8_t> nikon = { 'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,
                                   0, 1,                               // one entry
                                   0, 2, 0, 3, 0, 0, 0, 2, 0, 0, 0x01, 0x90 }; // ISO 0, 400
    EXPECT_EQ(ParseMakerNote(nikon.data(), nikon.size(), -1, true), 400);

    // Headerless little-endian note: tag 4 points (from the EXIF block) at shot information
    // whose third SHORT is the base ISO code: 2^(160/32 - 4) x 50 = 100.
    std::vector<uint8_t> canon(14 + 60, 0);
    canon[0] = 1;                                   // one entry
    canon[2] = 4; canon[4] = 3; canon[6] = 30;      // tag 4, SHORT, 30 values
    uint32_t at = 1000 + 14;                        // note at 1000 in the EXIF block
    std::memcpy(&canon[10], &at, 4);
    canon[14 + 4] = 160;
    EXPECT_EQ(ParseMakerNote(canon.data(), canon.size(), 1000, true), 100);
    EXPECT_EQ(ParseMakerNote(canon.data(), canon.size(), 2000, true), 0xFFFF); // points outside
    EXPECT_EQ(ParseMakerNote(canon.data(), canon.size(), -1, true), 0xFFFF);   // base unknown

    const std::vector<uint8_t> nothing[] = {
        { 'K', 'D', 'K', 0, 0, 0, 0, 0, 0, 0, 0, 0 },
        std::vector<uint8_t>(40, 0),                                        // zero entries
        { 0, 200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 },                     // too many entries
        { 'N', 'i', 'k', 'o', 'n', 0, 2, 0, 0, 0, 'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xF0 },
        { 1, 2, 3 },
    };
    for (const auto& note : nothing)
        EXPECT_EQ(ParseMakerNote(note.data(), note.size(), 0, false), 0xFFFF);
}

TEST(ImageInfo, PropertyRecordsInProjectFiles)
{
    ImageInfo info;
    ASSERT_TRUE(info.AddProperty(271, 2, reinterpret_cast<const uint8_t*>("Zcam"), 5));
    const uint8_t iso[] = { 0x90, 0x01 };
    ASSERT_TRUE(info.AddProperty(34855, 3, iso, 2));
    std::vector<uint8_t> big(3000, 0xAB);
    ASSERT_TRUE(info.AddProperty(37500, 7, big.data(), uint32_t(big.size())));

    CDocMemStream out;
    ASSERT_EQ(info.SerializeProperties(out, false), 1);
    std::vector<uint8_t> bytes = out.Bytes();
    ASSERT_EQ(bytes.size(), size_t(3 * 18 + 5 + 2 + 3000));
    // id, kind, type, count, length, little-endian.
    const uint8_t first[] = { 0x0F, 1, 0, 0, 5, 0, 0, 0, 2, 0, 5, 0, 0, 0, 5, 0, 0, 0, 'Z' };
    EXPECT_EQ(std::memcmp(bytes.data(), first, sizeof first), 0);

    ImageInfo back;
    CDocMemStream in(bytes);
    ASSERT_EQ(back.SerializeProperties(in, true), 1);
    ASSERT_EQ(back.properties.size(), 3u);
    EXPECT_EQ(Wide(back.make), u"Zcam");
    EXPECT_EQ(back.isoSpeedRatings, 400);
    EXPECT_EQ(back.properties[2]->length, 3000u);
    EXPECT_EQ(back.properties[2]->Value()[2999], 0xAB);

    // Cut inside the last record: the complete ones before it stay.
    for (size_t cut : { bytes.size() - 1, size_t(18 + 5 + 18 + 2 + 10) }) {
        ImageInfo partial;
        CDocMemStream shortStream(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)));
        ASSERT_EQ(partial.SerializeProperties(shortStream, true), 1);
        EXPECT_EQ(partial.properties.size(), 2u);
        EXPECT_EQ(partial.isoSpeedRatings, 400);
    }
    // A record claiming more than 256,000 bytes ends the list.
    std::vector<uint8_t> huge = { 1, 0, 0, 0, 5, 0, 0, 0, 2, 0, 1, 0, 0, 0, 0x01, 0xE8, 0x03, 0 };
    huge.resize(huge.size() + 300000, 'x');
    ImageInfo none;
    CDocMemStream hugeStream(huge);
    ASSERT_EQ(none.SerializeProperties(hugeStream, true), 1);
    EXPECT_TRUE(none.properties.empty());
}

TEST(ImageInfo, PicturesWithoutMetadataContainer)
{
    TempFolder dir;
    std::string bmp = dir / "p.bmp";
    ASSERT_TRUE(Convert("-size 12x7 xc:red -type TrueColor", bmp));
    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U16(bmp).c_str()), 1);
    EXPECT_EQ(info.width, 12);
    EXPECT_EQ(info.height, 7);
    EXPECT_EQ(Wide(info.fileName), u"p.bmp");
    EXPECT_EQ(info.ReadFile(U16(dir / "missing.bmp").c_str()), 0);
    EXPECT_EQ(info.ReadFile(nullptr), 0);
}

TEST(ImageInfo, IsoFromTheMakerNoteWhenTheTagIsMissing)
{
    // A little-endian EXIF block: IFD0 (Make, Exif IFD pointer), the Exif IFD with only a
    // maker note, and the note: one entry, tag 4 with 30 SHORTs whose third is the base ISO
    // code 160 (2^(160/32 - 4) x 50 = 100), its offset counted from the EXIF block.
    std::vector<uint8_t> tiff;
    auto u16 = [&](uint16_t v) { tiff.push_back(uint8_t(v)); tiff.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(uint16_t(v)); u16(uint16_t(v >> 16)); };
    tiff = { 'I', 'I' };
    u16(42);
    u32(8);
    u16(2);                                   // IFD0 at 8: two entries
    u16(271); u16(2); u32(6); u32(38);        // Make -> "Canon\0" at 38
    u16(34665); u16(4); u32(1); u32(44);      // Exif IFD at 44
    u32(0);
    tiff.insert(tiff.end(), { 'C', 'a', 'n', 'o', 'n', 0 });
    u16(1);                                   // Exif IFD at 44: one entry
    const uint32_t noteAt = 62, noteLength = 18 + 60;
    u16(37500); u16(7); u32(noteLength); u32(noteAt);
    u32(0);
    u16(1);                                   // the note at 62
    u16(4); u16(3); u32(30); u32(noteAt + 18);
    u32(0);
    std::vector<uint8_t> shotInfo(60, 0);
    shotInfo[0] = 60;                         // the array's size in bytes, as Canon writes it
    shotInfo[4] = 160;
    tiff.insert(tiff.end(), shotInfo.begin(), shotInfo.end());
    ASSERT_EQ(tiff.size(), size_t(noteAt + noteLength));

    TempFolder dir;
    std::string plain = dir / "plain.jpg";
    ASSERT_TRUE(Convert("-size 8x8 xc:gray", plain));
    std::vector<uint8_t> jpeg = ReadAll(plain);
    std::vector<uint8_t> file = { 0xFF, 0xD8, 0xFF, 0xE1 };
    uint16_t segment = uint16_t(2 + 6 + tiff.size());
    file.push_back(uint8_t(segment >> 8));
    file.push_back(uint8_t(segment));
    file.insert(file.end(), { 'E', 'x', 'i', 'f', 0, 0 });
    file.insert(file.end(), tiff.begin(), tiff.end());
    file.insert(file.end(), jpeg.begin() + 2, jpeg.end());
    std::string path = dir / "canon.jpg";
    WriteAll(path, file);

    ImageInfo info;
    ASSERT_EQ(info.ReadFile(U16(path).c_str()), 1);
    EXPECT_EQ(Wide(info.make), u"Canon");
    EXPECT_EQ(info.isoSpeedRatings, 100);
    const ExifProperty* note = info.FindProperty(kTagMakerNote);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->length, noteLength);

    // A kept note goes into a saved file with the other items, and edits keep it too.
    std::string saved = dir / "saved.jpg";
    ASSERT_TRUE(Convert("-size 8x8 xc:white", saved));
    ASSERT_EQ(info.WriteBack(U16(saved).c_str()), 1);
    EXPECT_EQ(ExifTool("-Make", saved), "Canon");
    ImageInfo reread;
    ASSERT_EQ(reread.ReadFile(U16(saved).c_str()), 1);
    ASSERT_NE(reread.FindProperty(kTagMakerNote), nullptr);
    EXPECT_EQ(reread.FindProperty(kTagMakerNote)->length, noteLength);
    EXPECT_EQ(ExifTool("-Canon:BaseISO", path), "100");
    ASSERT_EQ(reread.AddTag(U16(path).c_str(), u"lens"), 1);
    EXPECT_EQ(ExifTool("-u -IFD0:Exif_0xcf61", path), "lens");
    // The camera's own note survives the rewrite, offsets and all.
    EXPECT_EQ(ExifTool("-Canon:BaseISO", path), "100");
    platform::ImageMetadata meta;
    ASSERT_TRUE(meta.ReadFile(path));
    const platform::PropertyItem* rewritten = meta.Find(kTagMakerNote);
    ASSERT_NE(rewritten, nullptr);
    EXPECT_EQ(ParseMakerNote(rewritten->value.data(), rewritten->value.size(), meta.MakerNoteOffset(), meta.LittleEndian()), 100);
}

// Metadata-only rewrites touch only what they must, and every rewrite leaves a JPEG that other
// programs accept: no mandatory EXIF tag missing.
TEST(ImageInfo, RewritesKeepTextsAndColourSpaceAndLeaveValidExif)
{
    const std::string longText(3000, 'd');
    struct Case {
        const char* what;
        int (*rewrite)(ImageInfo&, const std::u16string&);
        const char* colourSpace;
    };
    const Case cases[] = {
        {"keyword", [](ImageInfo& i, const std::u16string& p) { return i.AddTag(p.c_str(), u"sea"); }, "2"},
        {"properties", [](ImageInfo& i, const std::u16string& p) { return SaveImageProperties(p.c_str(), i); }, "2"},
        {"saved pixels", [](ImageInfo& i, const std::u16string& p) { return i.WriteBack(p.c_str()); }, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Photo photo("-ColorSpace#=2 -Make=Zcam '-ImageDescription=" + longText + "'");
        ImageInfo info;
        ASSERT_EQ(info.ReadFile(photo.Path().c_str()), 1);
        ASSERT_EQ(c.rewrite(info, photo.Path()), 1);
        EXPECT_EQ(ExifTool("-ColorSpace", photo.path), c.colourSpace);
        EXPECT_EQ(ExifTool("-ImageDescription", photo.path).size(), longText.size()) << "cut";
        const std::string check = Output("exiftool -validate -warning -a " + Quote(photo.path) + " 2>&1");
        EXPECT_EQ(check.find("Missing required"), std::string::npos) << check;
        EXPECT_EQ(ExifTool("-ExifImageWidth", photo.path), "32");
        EXPECT_EQ(ExifTool("-ExifImageHeight", photo.path), "24");
    }
}
