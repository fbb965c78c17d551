#include "album/PhotoScanThread.h"
#include "album/tests/AlbumTestUtil.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/tests/DngBuilder.h"
#include "platform/FileSystem.h"

#include <chrono>
#include <filesystem>

using namespace albumtest;
using platform::String16;
namespace fs = std::filesystem;

namespace {

struct ScanRun {
    std::vector<Message> messages;
    int state;
    int built;
};

// One scan as the program runs it: load, scan, compact, save, tell the target.
ScanRun RunScan(PhotoDatabase& db, const std::string& dataFolder, std::vector<String16> folders,
                bool stopInside = false)
{
    QueueSink sink;
    CPhotoScanThread scan(db);
    scan.target = &sink;
    scan.dataFolder = U16(dataFolder);
    scan.scanFolders = [&] {
        if (stopInside)
            scan.RequestStop();
        return folders;
    };
    EXPECT_TRUE(scan.Start());
    EXPECT_TRUE(scan.Join(60000));
    return { sink.Take(), scan.state.load(), scan.builtCount.load() };
}

std::vector<String16> RecordPaths(PhotoDatabase& db)
{
    std::vector<String16> out;
    db.ForEachRecord([&](PhotoRecord& r) {
        out.push_back(r.Path());
        return true;
    });
    std::sort(out.begin(), out.end());
    return out;
}

size_t OffsetOf(PhotoDatabase& db, const String16& path)
{
    platform::ScopedLock hold(db.lock);
    PhotoRecord* r = db.FindPhotoRecord(path);
    return r ? size_t(r->head - db.Buffer()) : SIZE_MAX;
}

} // namespace

TEST(PhotoScanThread, ScansARealTreeAndFollowsChanges)
{
    TempFolder data, tree;
    const std::string root = tree.path();
    fs::create_directories(root + "/sub/deep");
    fs::create_directories(root + "/.dot");
    fs::create_directories(root + "/Hidden Photos");
    MakePhoto(root + "/A.jpg", "-Make=Zcam -ISO=200");
    MakePhoto(root + "/sub/b.png");
    MakePhoto(root + "/sub/deep/c.tif");
    MakePhoto(root + "/.dot/d.jpg");              // folders starting with a dot are not scanned
    MakePhoto(root + "/Hidden Photos/e.JPEG");
    testutil::WriteAll(root + "/notes.txt", { 'x' }); // not a picture type
    testutil::WriteAll(root + "/broken.jpg", { 'x' }); // a picture type that cannot be read
    ASSERT_TRUE(testutil::WriteDng(root + "/sub/f.dng", testutil::DngSpec{}));
    fs::create_directory_symlink(root, root + "/sub/loop"); // a loop back to the top
    const std::vector<String16> folders{ U16(root + "/") };
    const std::vector<String16> expected{ U16(root + "/A.jpg"), U16(root + "/Hidden Photos/e.JPEG"),
                                          U16(root + "/sub/b.png"), U16(root + "/sub/deep/c.tif"),
                                          U16(root + "/sub/f.dng") };
    const std::string dbFile = data / "PhotoScan.db";

    PhotoDatabase db;
    ScanRun first = RunScan(db, data.path(), folders);
    ASSERT_EQ(first.messages.size(), 1u);
    EXPECT_EQ(first.messages[0].msg, MSG_SCAN_STATE);
    EXPECT_EQ(first.messages[0].param1, kScanStateDone);
    EXPECT_EQ(first.state, CPhotoScanThread::kDone);
    EXPECT_EQ(first.built, 5);
    EXPECT_EQ(RecordPaths(db), expected);
    std::vector<uint8_t> saved = testutil::ReadAll(dbFile);
    ASSERT_EQ(saved.size(), db.Used() + 1);
    EXPECT_EQ(saved[0], 3);
    EXPECT_TRUE(std::equal(saved.begin() + 1, saved.end(), db.Buffer()));
    {
        platform::ScopedLock hold(db.lock);
        PhotoRecord* a = db.FindPhotoRecord(U16(root + "/a.JPG"));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->IsoDiv50(), 4);
        platform::FileInfo fi;
        ASSERT_TRUE(platform::GetFileInfo(U16(root + "/A.jpg"), fi));
        EXPECT_EQ(a->LastWriteLow(), uint32_t(uint64_t(fi.lastWrite)));
        EXPECT_EQ(db.FindPhotoRecord(U16(root + "/sub/f.dng"))->TypeCode(), 8);
    }

    // Nothing changed: nothing is built, and the file is not even written again.
    ASSERT_TRUE(platform::SetLastWriteTime(U16(dbFile), platform::FileTimeFromUnix(1600000000)));
    PhotoDatabase again;
    ScanRun second = RunScan(again, data.path(), folders);
    EXPECT_EQ(second.built, 0);
    EXPECT_EQ(testutil::ReadAll(dbFile), saved);
    platform::FileInfo dbInfo;
    ASSERT_TRUE(platform::GetFileInfo(U16(dbFile), dbInfo));
    EXPECT_EQ(platform::FileTimeToUnixSeconds(dbInfo.lastWrite), 1600000000);

    // A touched photo whose texts kept their lengths is rebuilt in place.
    const size_t offsetB = OffsetOf(again, U16(root + "/sub/b.png"));
    ASSERT_TRUE(platform::SetLastWriteTime(U16(root + "/sub/b.png"), platform::FileTimeFromUnix(1700000000)));
    ScanRun touched = RunScan(again, data.path(), folders);
    EXPECT_EQ(touched.built, 1);
    EXPECT_EQ(OffsetOf(again, U16(root + "/sub/b.png")), offsetB);
    EXPECT_EQ(again.Used(), saved.size() - 1);

    // A grown tag text gives a new record at the end; the old one goes.
    ImageInfo info;
    ASSERT_EQ(info.AddTag(U16(root + "/A.jpg").c_str(), u"Holiday"), 1);
    ScanRun tagged = RunScan(again, data.path(), folders);
    EXPECT_EQ(tagged.built, 1);
    EXPECT_EQ(RecordPaths(again), expected);
    String16 last;
    again.ForEachRecord([&](PhotoRecord& r) {
        last = r.Path();
        return true;
    });
    EXPECT_EQ(last, U16(root + "/A.jpg"));
    {
        platform::ScopedLock hold(again.lock);
        EXPECT_EQ(again.FindPhotoRecord(U16(root + "/A.jpg"))->Tags(), u"Holiday");
    }

    // Deleted photos leave the records and the file.
    fs::remove(root + "/sub/deep/c.tif");
    fs::remove(root + "/Hidden Photos/e.JPEG");
    ScanRun deleted = RunScan(again, data.path(), folders);
    EXPECT_EQ(deleted.built, 0);
    const std::vector<String16> remaining{ U16(root + "/A.jpg"), U16(root + "/sub/b.png"), U16(root + "/sub/f.dng") };
    EXPECT_EQ(RecordPaths(again), remaining);
    PhotoDatabase reloaded;
    ASSERT_EQ(reloaded.LoadPhotoDatabase(U16(data.path())), 1);
    EXPECT_EQ(RecordPaths(reloaded), remaining);
}

TEST(PhotoScanThread, NoFoldersAndStoppedScansLeaveTheFile)
{
    TempFolder data, tree;
    MakePhoto(tree / "a.jpg");
    PhotoDatabase db;
    RunScan(db, data.path(), { U16(tree.path()) });
    const std::string dbFile = data / "PhotoScan.db";
    const auto bytes = testutil::ReadAll(dbFile);
    ASSERT_GT(bytes.size(), 1u);
    ASSERT_TRUE(platform::SetLastWriteTime(U16(dbFile), platform::FileTimeFromUnix(1600000000)));
    fs::remove(tree / "a.jpg");

    struct Case { const char* why; std::vector<String16> folders; bool stop; size_t messages; int state; };
    const Case cases[] = {
        { "no scan folder", {}, false, 1, CPhotoScanThread::kDone },
        { "closed during the scan", { U16(tree.path()) }, true, 0, CPhotoScanThread::kScanning },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        PhotoDatabase again;
        ScanRun run = RunScan(again, data.path(), c.folders, c.stop);
        ASSERT_EQ(run.messages.size(), c.messages);
        if (c.messages) {
            EXPECT_EQ(run.messages[0].param1, kScanStateDone);
        }
        EXPECT_EQ(run.state, c.state);
        EXPECT_EQ(again.RecordCount(), 1u); // the loaded record stays in memory
        EXPECT_EQ(testutil::ReadAll(dbFile), bytes);
        platform::FileInfo fi;
        ASSERT_TRUE(platform::GetFileInfo(U16(dbFile), fi));
        EXPECT_EQ(platform::FileTimeToUnixSeconds(fi.lastWrite), 1600000000);
    }
}

TEST(PhotoScanThread, SkipsPathsTooLongForARecord)
{
    TempFolder data, tree;
    // Nested folders until the path passes 1023 characters.
    std::string deep = tree.path();
    while (deep.size() < 1010)
        deep += "/" + std::string(60, 'd');
    fs::create_directories(deep);
    MakePhoto(deep + "/short.jpg");                       // still fits
    MakePhoto(deep + "/" + std::string(40, 'n') + ".jpg"); // does not
    PhotoDatabase db;
    ScanRun run = RunScan(db, data.path(), { U16(tree.path()) });
    const bool shortFits = U16(deep + "/short.jpg").size() <= kPhotoTextMaxChars;
    EXPECT_EQ(run.built, shortFits ? 1 : 0);
    for (const String16& p : RecordPaths(db))
        EXPECT_LE(p.size(), kPhotoTextMaxChars);
}

TEST(PhotoScanThread, TheBufferMayMoveDuringTheScan)
{
    TempFolder data, tree;
    std::vector<String16> expected;
    for (int i = 0; i < 24; ++i) {
        const std::string path = tree / ("p" + std::to_string(i) + ".png");
        MakePhoto(path);
        expected.push_back(U16(path));
    }
    std::sort(expected.begin(), expected.end());
    PhotoDatabase db;
    RunScan(db, data.path(), { U16(tree.path()) });
    // Every photo changed, so each one is rebuilt while the records keep moving.
    for (const String16& p : expected)
        ASSERT_TRUE(platform::SetLastWriteTime(p, platform::FileTimeFromUnix(1650000000)));

    QueueSink sink;
    CPhotoScanThread scan(db);
    scan.target = &sink;
    scan.dataFolder = U16(data.path());
    scan.scanFolders = [&] { return std::vector<String16>{ U16(tree.path()) }; };
    std::atomic<bool> done{ false };
    // The UI thread compacting again and again (as a tag drop does), here keeping every record,
    // so the buffer moves under the scan while the records stay.
    std::thread ui([&] {
        while (!done.load()) {
            {
                platform::ScopedLock hold(db.lock);
                db.ForEachRecord([](PhotoRecord& r) {
                    r.SetSeen(true);
                    return true;
                });
                db.CompactPhotoDatabase();
            }
            std::this_thread::yield();
        }
    });
    ASSERT_TRUE(scan.Start());
    ASSERT_TRUE(scan.Join(60000));
    done = true;
    ui.join();
    EXPECT_EQ(scan.state.load(), CPhotoScanThread::kDone);
    EXPECT_EQ(scan.builtCount.load(), 24);
    EXPECT_EQ(RecordPaths(db), expected); // rebuilt in place: no second record of a photo
    db.ForEachRecord([](PhotoRecord& r) {
        EXPECT_EQ(r.LastWriteLow(), uint32_t(uint64_t(platform::FileTimeFromUnix(1650000000))));
        return true;
    });
}

TEST(PhotoScanThread, AStopDuringTheScanEndsItWithinItsLimit)
{
    TempFolder data, tree;
    MakePhoto(tree / "0.jpg");
    for (int i = 1; i < 3000; ++i)
        fs::copy_file(tree / "0.jpg", tree / (std::to_string(i) + ".jpg"));
    PhotoDatabase db;
    QueueSink sink;
    CPhotoScanThread scan(db);
    scan.target = &sink;
    scan.dataFolder = U16(data.path());
    scan.scanFolders = [&] { return std::vector<String16>{ U16(tree.path()) }; };
    ASSERT_TRUE(scan.Start());
    // Well inside the folder (a loaded machine under a sanitizer builds a few records a second).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (scan.builtCount.load() < 20 && std::chrono::steady_clock::now() < until)
        platform::SleepMs(5);
    ASSERT_GE(scan.builtCount.load(), 20);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(scan.Stop(1000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_LT(scan.builtCount.load(), 3000) << "stopped inside the folder";
    EXPECT_EQ(scan.state.load(), CPhotoScanThread::kScanning) << "a scan cut short is not done";
    EXPECT_EQ(sink.Count(), 0u);
    EXPECT_FALSE(fs::exists(data / "PhotoScan.db"));
}
