#include "album/PhotoDatabase.h"
#include "album/PhotoRecordBuilder.h"
#include "album/tests/AlbumTestUtil.h"
#include "imaging/ImageCodec/ImageInfo.h"

#include <cmath>
#include <cstring>
#include <filesystem>

using namespace albumtest;
using platform::String16;

namespace {

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<String16> Paths(PhotoDatabase& db)
{
    std::vector<String16> out;
    db.ForEachRecord([&](PhotoRecord& r) {
        out.push_back(r.Path());
        return true;
    });
    return out;
}

} // namespace

TEST(PhotoDatabase, HashOfPaths)
{
    struct Case { String16 path; uint32_t hash; };
    const Case cases[] = {
        { u"abc", 830641931u },          // the three letters hashed as capitals
        { u"ABC", 830641931u },
        { u"A", 272663170u },
        { u"/photos/IMG_0001.jpg", 1377335414u },
        { u"", 0u },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.path));
        EXPECT_EQ(HashPhotoPath(c.path), c.hash);
    }
    // Only the first 1024 characters count.
    String16 longA(1024, u'x'), longB = longA + u"tail";
    EXPECT_EQ(HashPhotoPath(longA), HashPhotoPath(longB));
    EXPECT_NE(HashPhotoPath(longA.substr(1)), HashPhotoPath(longA));
    // No locale rules: only a-z change.
    EXPECT_EQ(UpperCasePhotoPath(u"/été/a_z.jpg"), u"/éTé/A_Z.JPG");
}

TEST(PhotoDatabase, FindComparesWholePathWithoutCaseAndKeepsTheQuery)
{
    PhotoDatabase db;
    auto run = Concat({ MakeRecord(u"/Photos/Img.JPG"), MakeRecord(u"/Photos/Img.JPG2"), MakeRecord(u"/a/b.png") });
    ASSERT_TRUE(db.ReplaceRun(run.data(), run.size(), run.size()));
    struct Case { String16 query; const char16_t* found; };
    const Case cases[] = {
        { u"/photos/img.jpg", u"/Photos/Img.JPG" },    // small letters find the stored real case
        { u"/PHOTOS/IMG.JPG", u"/Photos/Img.JPG" },
        { u"/Photos/Img.JPG2", u"/Photos/Img.JPG2" },
        { u"/Photos/Img.JP", nullptr },                // a prefix is not the path
        { u"/Photos/Img.JPGX", nullptr },              // nor a longer one
        { u"/a/b.pnG", u"/a/b.png" },
        { u"", nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.query));
        String16 query = c.query;
        platform::ScopedLock hold(db.lock);
        PhotoRecord* r = db.FindPhotoRecord(query);
        EXPECT_EQ(query, c.query);
        if (!c.found) {
            EXPECT_EQ(r, nullptr);
            continue;
        }
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Path(), c.found);
    }
}

TEST(PhotoDatabase, WalksStopAtDamagedRecords)
{
    using namespace photorecord;
    auto good = MakeRecord(u"/x/good.jpg", u"", true);
    struct Case { const char* why; std::function<void(std::vector<uint8_t>&)> damage; };
    const Case cases[] = {
        { "size 0", [](auto& r) { Put<uint16_t>(r.data() + kSizeAndSeen, 0); } },
        { "size below the head", [](auto& r) { Put<uint16_t>(r.data() + kSizeAndSeen, 100); } },
        { "size past the end", [](auto& r) { Put<uint16_t>(r.data() + kSizeAndSeen, 0x7000); } },
        { "size not head plus texts", [](auto& r) { Put<uint16_t>(r.data() + kTagBytes, 2); } },
        { "odd text length", [](auto& r) { Put<uint16_t>(r.data() + kPathBytes, uint16_t(Get<uint16_t>(r.data() + kPathBytes) - 1)); Put<uint16_t>(r.data() + kTagBytes, 1); } },
        { "no marker", [](auto& r) { r[0] = 0; } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        auto bad = MakeRecord(u"/x/bad.jpg", u"", true);
        c.damage(bad);
        auto run = Concat({ good, bad, MakeRecord(u"/x/after.jpg", u"", true) });
        PhotoDatabase db;
        ASSERT_TRUE(db.ReplaceRun(run.data(), run.size(), run.size() + 1024));
        EXPECT_EQ(Paths(db), std::vector<String16>{ u"/x/good.jpg" });
        platform::ScopedLock hold(db.lock);
        EXPECT_EQ(db.FindPhotoRecord(u"/x/after.jpg"), nullptr);
        EXPECT_NE(db.FindPhotoRecord(u"/x/good.jpg"), nullptr);
        // A damaged run is not compacted: the database stays as it was.
        EXPECT_EQ(db.CompactPhotoDatabase(), 0);
        EXPECT_EQ(db.Used(), run.size());
        db.ClearSeenFlags();
        EXPECT_EQ(std::memcmp(db.Buffer() + good.size(), bad.data(), bad.size()), 0);

        // Loading the same run from a file keeps only the sound part.
        TempFolder dir;
        std::vector<uint8_t> file{ 3 };
        file.insert(file.end(), run.begin(), run.end());
        testutil::WriteAll(dir / "PhotoScan.db", file);
        PhotoDatabase loaded;
        ASSERT_EQ(loaded.LoadPhotoDatabase(U16(dir.path())), 1);
        EXPECT_EQ(loaded.Used(), good.size());
        EXPECT_EQ(loaded.Capacity(), run.size() + kPhotoDatabaseGrowth);
    }
}

TEST(PhotoDatabase, LoadAndSaveFileCases)
{
    auto run = Concat({ MakeRecord(u"/p/a.jpg", u"sea"), MakeRecord(u"/p/B.tif") });
    struct Case { const char* why; std::vector<uint8_t> file; bool present; size_t used, capacity; };
    std::vector<uint8_t> v3{ 3 };
    v3.insert(v3.end(), run.begin(), run.end());
    std::vector<uint8_t> v2 = v3;
    v2[0] = 2;
    const Case cases[] = {
        { "no file", {}, false, 0, kPhotoDatabaseEmptyCapacity },
        { "empty file", {}, true, 0, kPhotoDatabaseEmptyCapacity },
        { "just the version byte", { 3 }, true, 0, kPhotoDatabaseGrowth },
        { "version 2", v2, true, 0, kPhotoDatabaseEmptyCapacity },
        { "two records", v3, true, run.size(), run.size() + kPhotoDatabaseGrowth },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TempFolder dir;
        if (c.present)
            testutil::WriteAll(dir / "PhotoScan.db", c.file);
        PhotoDatabase db;
        ASSERT_EQ(db.LoadPhotoDatabase(U16(dir.path())), 1);
        ASSERT_NE(db.Buffer(), nullptr);
        EXPECT_EQ(db.Used(), c.used);
        EXPECT_EQ(db.Capacity(), c.capacity);
        EXPECT_EQ(db.Path(), U16(dir / "PhotoScan.db"));
    }

    // A version-2 file is replaced by version 3 at the next save that has records.
    TempFolder dir;
    testutil::WriteAll(dir / "PhotoScan.db", v2);
    PhotoDatabase db;
    ASSERT_EQ(db.LoadPhotoDatabase(U16(dir.path())), 1);
    EXPECT_EQ(db.SavePhotoDatabase(), 0); // nothing to write: an empty file
    EXPECT_EQ(std::filesystem::file_size(dir / "PhotoScan.db"), 0u);
    for (size_t pos = 0; pos < run.size();) {
        const PhotoRecord& r = *reinterpret_cast<const PhotoRecord*>(run.data() + pos);
        ASSERT_TRUE(db.AppendPhotoRecord(r));
        pos += r.Size();
    }
    EXPECT_EQ(db.SavePhotoDatabase(), 1);
    EXPECT_EQ(testutil::ReadAll(dir / "PhotoScan.db"), v3);
    // No temporary file is left behind.
    EXPECT_EQ(dir.CountEntries(), 1u);

    PhotoDatabase none;
    EXPECT_EQ(none.SavePhotoDatabase(), 0);
}

TEST(PhotoDatabase, ReadOnlyFileIsNeitherReplacedNorEmptied)
{
    auto run = Concat({ MakeRecord(u"/p/a.jpg", u"sea") });
    std::vector<uint8_t> file{ 3 };
    file.insert(file.end(), run.begin(), run.end());
    // A full database and an empty one (whose save writes an empty file) both leave it alone.
    for (bool withRecords : { true, false }) {
        SCOPED_TRACE(withRecords ? "records" : "empty");
        TempFolder dir;
        testutil::WriteAll(dir / "PhotoScan.db", file);
        PhotoDatabase db;
        ASSERT_EQ(db.LoadPhotoDatabase(U16(dir.path())), 1);
        if (withRecords) {
            auto more = MakeRecord(u"/p/b.jpg");
            ASSERT_TRUE(db.AppendPhotoRecord(AsRecord(more)));
        } else {
            db.FreePhotoDatabase();
            ASSERT_TRUE(db.ReplaceRun(nullptr, 0, 16));
        }
        std::filesystem::permissions(dir / "PhotoScan.db", std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::group_read |
                                                               std::filesystem::perms::others_read);
        EXPECT_EQ(db.SavePhotoDatabase(), 0);
        EXPECT_EQ(testutil::ReadAll(dir / "PhotoScan.db"), file);
        EXPECT_EQ(dir.CountEntries(), 1u) << "no temporary file left";
        std::filesystem::permissions(dir / "PhotoScan.db", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        EXPECT_EQ(db.SavePhotoDatabase(), withRecords ? 1 : 0) << "writable again";
    }
}

TEST(PhotoDatabase, AppendGrowsTheBuffer)
{
    auto small = MakeRecord(u"/p/x.jpg");
    auto big = MakeRecord(String16(1000, u'q'), String16(1000, u't')); // 4152 bytes
    struct Case { const char* why; size_t startCapacity; size_t fill; const std::vector<uint8_t>* record; size_t capacity; };
    const Case cases[] = {
        { "no buffer", 0, 0, &small, kPhotoDatabaseGrowth },
        { "fits", 1024, 0, &small, 1024 },
        { "doubles", 1024, 1000, &small, 2048 },
        { "doubles until it fits", 1024, 0, &big, 8192 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        PhotoDatabase db;
        std::vector<uint8_t> filler;
        if (c.fill)
            filler = MakeRecord(String16((c.fill - kPhotoRecordHeadSize) / 2, u'f'));
        if (c.startCapacity) {
            ASSERT_TRUE(db.ReplaceRun(filler.data(), filler.size(), c.startCapacity));
        }
        ASSERT_TRUE(db.AppendPhotoRecord(AsRecord(*c.record)));
        EXPECT_EQ(db.Capacity(), c.capacity);
        EXPECT_EQ(db.Used(), filler.size() + c.record->size());
        EXPECT_EQ(std::memcmp(db.Buffer() + filler.size(), c.record->data(), c.record->size()), 0);
    }
    // A record that is not whole in itself is refused.
    auto broken = small;
    broken[0] = 1;
    PhotoDatabase db;
    EXPECT_FALSE(db.AppendPhotoRecord(AsRecord(broken)));
    EXPECT_EQ(db.Used(), 0u);
}

TEST(PhotoDatabase, CompactionKeepsSeenRecordsInOrder)
{
    PhotoDatabase db;
    const bool seen[5] = { true, false, true, true, false };
    std::vector<uint8_t> run;
    for (int i = 0; i < 5; ++i) {
        auto r = MakeRecord(u"/p/" + platform::IntToText(i) + u".jpg", i == 2 ? u"tag" : u"", seen[i]);
        run.insert(run.end(), r.begin(), r.end());
    }
    ASSERT_TRUE(db.ReplaceRun(run.data(), run.size(), 4096));
    EXPECT_EQ(db.CompactPhotoDatabase(), 1);
    EXPECT_EQ(Paths(db), (std::vector<String16>{ u"/p/0.jpg", u"/p/2.jpg", u"/p/3.jpg" }));
    EXPECT_EQ(db.Capacity(), 4096u);
    db.ForEachRecord([](PhotoRecord& r) {
        EXPECT_TRUE(r.Seen());
        return true;
    });
    db.ClearSeenFlags();
    db.ForEachRecord([](PhotoRecord& r) {
        EXPECT_FALSE(r.Seen());
        return true;
    });
    EXPECT_EQ(db.CompactPhotoDatabase(), 1);
    EXPECT_EQ(db.Used(), 0u);
    EXPECT_EQ(db.CompactPhotoDatabase(), 1); // nothing to do
}

TEST(PhotoDatabase, RecordTexts)
{
    PhotoDatabase db;
    const String16 longTags(1100, u'k');
    auto run = Concat({ MakeRecord(u"/p/One.jpg", u"sea beach"), MakeRecord(u"/p/two.jpg"), MakeRecord(u"/p/3.jpg", longTags) });
    ASSERT_TRUE(db.ReplaceRun(run.data(), run.size(), run.size()));
    platform::ScopedLock hold(db.lock);
    std::vector<char16_t> path(1024, u'#'), tags(1024, u'#');
    const PhotoRecord* first = reinterpret_cast<const PhotoRecord*>(db.Buffer());
    ASSERT_EQ(db.GetPhotoRecordTexts(first, path.data(), tags.data()), first);
    EXPECT_EQ(String16(path.data()), u"/p/One.jpg");
    EXPECT_EQ(String16(tags.data()), u"sea beach");
    EXPECT_EQ(path[1023], 0);

    const PhotoRecord* second = reinterpret_cast<const PhotoRecord*>(db.Buffer() + first->Size());
    ASSERT_EQ(db.GetPhotoRecordTexts(second, path.data(), tags.data()), second);
    EXPECT_EQ(String16(tags.data()), u"");
    const PhotoRecord* third = reinterpret_cast<const PhotoRecord*>(db.Buffer() + first->Size() + second->Size());
    ASSERT_EQ(db.GetPhotoRecordTexts(third, path.data(), tags.data()), third);
    EXPECT_EQ(String16(tags.data()), longTags.substr(0, 1023));

    // Not a record of the run: inside a record, or past the end.
    const PhotoRecord* inside = reinterpret_cast<const PhotoRecord*>(db.Buffer() + 4);
    EXPECT_EQ(db.GetPhotoRecordTexts(inside, path.data(), tags.data()), nullptr);
    EXPECT_EQ(path[0], 0);
    const PhotoRecord* past = reinterpret_cast<const PhotoRecord*>(db.Buffer() + db.Used());
    EXPECT_EQ(db.GetPhotoRecordTexts(past, path.data(), nullptr), nullptr);
}

TEST(PhotoDatabase, SplitTags)
{
    struct Case { String16 text; std::vector<String16> words; };
    std::vector<Case> cases = {
        { u"  Sea sea   Beach  ", { u"Sea", u"Beach" } },
        { u"", {} },
        { u"     ", {} },
        { String16(40, u'w'), { String16(33, u'w') } },
        { u"ab AB aB x", { u"ab", u"x" } },
        { u"\u00e9t\u00e9 \u00c9T\u00c9", { u"\u00e9t\u00e9", u"\u00c9T\u00c9" } }, // only A-Z fold
    };
    Case many;
    for (int i = 0; i < 17; ++i) {
        String16 w = u"w" + platform::IntToText(i);
        many.text += w + u" ";
        if (i < 16)
            many.words.push_back(w);
    }
    cases.push_back(many);
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.text));
        TagSlot slots[kMaxTagSlots];
        const int n = SplitTags(c.text, slots);
        ASSERT_EQ(n, int(c.words.size()));
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(String16(slots[i].text), c.words[size_t(i)]);
    }
}

TEST(PhotoRecordBuilder, FieldsFromExif)
{
    struct Case {
        const char* why;
        std::string args;
        std::function<void(const PhotoRecord&)> check;
    };
    const Case cases[] = {
        { "exposure", "-ISO=100 -FNumber=2.8 -ExposureTime=1/250 -Make=Zcam", [](const PhotoRecord& r) {
              EXPECT_EQ(r.IsoDiv50(), 2);
              EXPECT_EQ(r.FNumberX10(), 28);
              EXPECT_EQ(r.ExposureNum(), 1);
              EXPECT_EQ(r.ExposureDen(), 250);
              EXPECT_TRUE(r.HasCameraData());
          } },
        { "north west", "-GPSLatitude=10.5 -GPSLatitudeRef=N -GPSLongitude='20 0 36' -GPSLongitudeRef=W",
          [](const PhotoRecord& r) {
              EXPECT_NEAR(r.Latitude(), 10.5, 1e-9);
              EXPECT_NEAR(r.Longitude(), 20.01, 1e-9); // west is positive in the record
          } },
        { "south east", "-GPSLatitude=10.5 -GPSLatitudeRef=S -GPSLongitude='20 0 36' -GPSLongitudeRef=E",
          [](const PhotoRecord& r) {
              EXPECT_NEAR(r.Latitude(), -10.5, 1e-9);
              EXPECT_NEAR(r.Longitude(), -20.01, 1e-9);
          } },
        { "no position", "-Make=Zcam", [](const PhotoRecord& r) {
              EXPECT_EQ(r.Latitude(), 0.0);
              EXPECT_EQ(r.Longitude(), 0.0);
          } },
        { "digitized date wins", "-Make=Z '-DateTimeOriginal=2011:02:03 04:05:06' '-CreateDate=2019:12:31 23:00:00'",
          [](const PhotoRecord& r) {
              EXPECT_EQ(r.Year(), 2019);
              EXPECT_EQ(r.Month(), 12);
              EXPECT_EQ(r.Day(), 31);
              EXPECT_EQ(r.DateBits() >> 24, 0u);
          } },
        { "digitized of year 0 falls back", "-Make=Z '-DateTimeOriginal=2011:02:03 04:05:06' '-CreateDate=0000:00:00 00:00:00'",
          [](const PhotoRecord& r) {
              EXPECT_EQ(r.Year(), 2011);
              EXPECT_EQ(r.Month(), 2);
              EXPECT_EQ(r.Day(), 3);
          } },
        { "no camera data, no date", "", [](const PhotoRecord& r) {
              EXPECT_EQ(r.DateBits(), 0u);
              EXPECT_EQ(r.ExifBits(), 0);
              EXPECT_EQ(r.IsoDiv50(), 0);
              EXPECT_EQ(r.Maker()[0], 0);
          } },
        { "exif bits", "-ColorSpace#=65535 -MeteringMode#=5 -EXIF:Flash#=25 -Model=M1", [](const PhotoRecord& r) {
              EXPECT_EQ(r.ExifBits() & 3, 2);         // uncalibrated
              EXPECT_EQ((r.ExifBits() >> 2) & 15, 5);
              EXPECT_EQ(r.ExifBits() >> 6, 25 & 3);
              EXPECT_TRUE(r.HasCameraData());
          } },
        { "maker and model cut", "-Make=ABCDEFGHIJKLMNOPQRSTUVWXYZ '-Model=0123456789012345678901234567890123456789'",
          [](const PhotoRecord& r) {
              EXPECT_EQ(std::string(r.Maker()), "ABCDEFGHIJKLMNO");
              EXPECT_EQ(std::string(r.Model()), "0123456789012345678901234567890");
          } },
    };
    TempFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string file = dir / "Photo.JPG";
        MakePhoto(file, c.args, "40x30");
        PhotoRecordBuffer buf;
        ASSERT_EQ(BuildPhotoRecord(U16(file), buf), 1);
        const PhotoRecord& r = buf.Record();
        EXPECT_EQ(r.Marker(), kPhotoRecordMarker);
        EXPECT_TRUE(r.Seen());
        EXPECT_EQ(r.Size(), kPhotoRecordHeadSize + 2 * U16(file).size());
        EXPECT_EQ(r.Path(), U16(file)); // real case kept
        EXPECT_EQ(r.PathHash(), HashPhotoPath(U16(file)));
        EXPECT_EQ(r.TypeCode(), 1);
        EXPECT_EQ(r.Width(), 40);
        EXPECT_EQ(r.Height(), 30);
        EXPECT_EQ(r.FileLength(), std::filesystem::file_size(file));
        EXPECT_EQ(r.LastWriteLow(), 0u);
        EXPECT_EQ(r.OpenCount(), 0u);
        c.check(r);
        std::filesystem::remove(file);
    }
}

TEST(PhotoRecordBuilder, OneByteFieldsStopAtTheirLargestValue)
{
    // ISO / 50 and the f-number x 10 each have one byte: past it they keep 255, never wrap.
    struct Case { const char* args; int iso; int fnumber; };
    const Case cases[] = {
        { "-ISO=12749 -FNumber=25.4", 254, 254 },
        { "-ISO=12750 -FNumber=25.5", 255, 255 },
        { "-ISO=12800 -FNumber=32", 255, 255 },
        { "-ISO=16000 -FNumber=64", 255, 255 },
        { "-ISO=65534 -FNumber=1.4", 255, 14 },
    };
    TempFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string file = dir / "Photo.JPG";
        MakePhoto(file, c.args);
        PhotoRecordBuffer buf;
        ASSERT_EQ(BuildPhotoRecord(U16(file), buf), 1);
        EXPECT_EQ(buf.Record().IsoDiv50(), c.iso);
        EXPECT_EQ(buf.Record().FNumberX10(), c.fnumber);
        std::filesystem::remove(file);
    }
}

TEST(PhotoRecordBuilder, TagsTypesAndRefusals)
{
    TempFolder dir;
    const std::string jpg = dir / "tagged.jpg";
    MakePhoto(jpg, "-Make=Zcam");
    ImageInfo info;
    ASSERT_EQ(info.AddTag(U16(jpg).c_str(), u"Sea"), 1);
    ASSERT_EQ(info.AddTag(U16(jpg).c_str(), u"Beach"), 1);
    PhotoRecordBuffer buf;
    ASSERT_EQ(BuildPhotoRecord(U16(jpg), buf), 1);
    EXPECT_EQ(buf.Record().Tags(), u"Sea Beach");
    EXPECT_EQ(buf.Record().Size(), kPhotoRecordHeadSize + 2 * U16(jpg).size() + 2 * 9);

    struct Case { std::string name; bool picture; int result; int type; };
    const Case cases[] = {
        { "p.png", true, 1, 4 },
        { "p.tif", true, 1, 5 },
        { "p.bmp", true, 1, 2 },
        { "broken.jpg", false, 0, 0 },   // not a picture: no record
        { "gone.jpg", false, 0, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.name;
        if (c.picture) {
            MakePhoto(path);
        } else if (c.name != "gone.jpg")
            testutil::WriteAll(path, { 'n', 'o', 't' });
        ASSERT_EQ(BuildPhotoRecord(U16(path), buf), c.result);
        if (c.result) {
            EXPECT_EQ(buf.Record().TypeCode(), c.type);
        }
    }
    // A path longer than a record holds is refused, not cut.
    EXPECT_EQ(BuildPhotoRecord(String16(1024, u'a') + u".jpg", buf), 0);
}

TEST(PhotoDatabase, OpenCountRisesByTwoBelowTheLimit)
{
    struct Case { uint32_t before, after; };
    const Case cases[] = { { 0, 2 }, { 0x7FFFFFFEu, 0x80000000u }, { 0x7FFFFFFFu, 0x7FFFFFFFu }, { 0x80000000u, 0x80000000u } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        auto r = MakeRecord(u"/p/Open.jpg");
        photorecord::Put<uint32_t>(r.data() + photorecord::kOpenCount, c.before);
        PhotoDatabase db;
        ASSERT_TRUE(db.ReplaceRun(r.data(), r.size(), r.size()));
        EXPECT_TRUE(db.RaiseOpenCount(u"/p/open.JPG"));
        EXPECT_FALSE(db.RaiseOpenCount(u"/p/other.jpg"));
        platform::ScopedLock hold(db.lock);
        EXPECT_EQ(db.FindPhotoRecord(u"/p/Open.jpg")->OpenCount(), c.after);
    }
}
