#include "album/FolderWatchThread.h"
#include "album/tests/AlbumTestUtil.h"

#include <filesystem>

using namespace albumtest;
namespace fs = std::filesystem;

TEST(FolderWatchThread, MessagesOnChangesAndAfterAPathChange)
{
    TempFolder first, second;
    QueueSink sink;
    CFolderWatchThread watch;
    watch.target = &sink;
    ASSERT_TRUE(watch.Start());

    // Idle without a path: changes anywhere say nothing.
    testutil::WriteAll(first / "early.jpg", { 1 });
    platform::SleepMs(300);
    EXPECT_EQ(sink.Count(), 0u);

    EXPECT_TRUE(watch.SetWatchPath(albumtest::U16(first.path())));
    EXPECT_FALSE(watch.SetWatchPath(albumtest::U16(first.path()))); // the same text: no restart
    EXPECT_TRUE(watch.SetWatchPath(platform::AsciiUpper(albumtest::U16(first.path())))); // other case: another folder
    EXPECT_TRUE(watch.SetWatchPath(albumtest::U16(first.path())));
    platform::SleepMs(400); // the thread has taken the path

    struct Case { const char* why; std::function<void()> change; };
    const Case cases[] = {
        { "create", [&] { testutil::WriteAll(first / "new.jpg", { 1, 2 }); } },
        { "rename", [&] { fs::rename(first / "new.jpg", first / "renamed.jpg"); } },
        { "write", [&] { testutil::WriteAll(first / "renamed.jpg", { 3 }); } },
        { "delete", [&] { fs::remove(first / "renamed.jpg"); } },
        { "folder", [&] { fs::create_directory(first / "sub"); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        sink.Take();
        c.change();
        ASSERT_TRUE(sink.WaitFor(1, 3000));
        for (const Message& m : sink.Take()) {
            EXPECT_EQ(m.msg, MSG_ALBUM_REFRESH);
            EXPECT_EQ(m.param1, 0u);
            EXPECT_EQ(m.param2, 0);
        }
    }
    // Changes inside a sub-folder are not watched.
    platform::SleepMs(200);
    sink.Take();
    testutil::WriteAll(first / "sub/inner.jpg", { 1 });
    platform::SleepMs(600);
    EXPECT_EQ(sink.Count(), 0u);

    // The watch moves: the old folder is quiet, the new one speaks.
    EXPECT_TRUE(watch.SetWatchPath(albumtest::U16(second.path())));
    platform::SleepMs(1500);
    sink.Take();
    testutil::WriteAll(first / "old.jpg", { 1 });
    platform::SleepMs(600);
    EXPECT_EQ(sink.Count(), 0u);
    testutil::WriteAll(second / "new.jpg", { 1 });
    EXPECT_TRUE(sink.WaitFor(1, 3000));

    // A missing folder leaves the thread idle; ending it is prompt even then.
    EXPECT_TRUE(watch.SetWatchPath(u"/no/such/folder"));
    platform::SleepMs(300);
    const auto start = std::chrono::steady_clock::now();
    watch.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_FALSE(watch.IsRunning());
}

TEST(FolderWatchThread, AStopEndsTheThreadWithinItsLimitWhateverItWaitsFor)
{
    TempFolder dir;
    struct Case { const char* why; platform::String16 path; };
    const Case cases[] = {
        { "watching a folder", albumtest::U16(dir.path()) },
        { "idle without a path", u"" },
        { "idle after a missing folder", u"/no/such/folder" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        QueueSink sink;
        CFolderWatchThread watch;
        watch.target = &sink;
        ASSERT_TRUE(watch.Start());
        if (!c.path.empty())
            watch.SetWatchPath(c.path);
        platform::SleepMs(200);
        // The wait for changes (a minute) is interrupted, not waited out; the limit leaves room
        // for a loaded machine.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(watch.Stop(5000));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));
        EXPECT_FALSE(watch.IsRunning());
    }
    // A path too long for the watch is not cut to some other folder.
    CFolderWatchThread idle;
    EXPECT_TRUE(idle.SetWatchPath(platform::String16(600, u'a')));
    EXPECT_EQ(idle.WatchPath(), u"");
}
