#include "album/FolderWatchThread.h"
#include "album/tests/AlbumTestUtil.h"

#include <filesystem>
#include <string>

using namespace albumtest;
namespace fs = std::filesystem;

namespace {

// Drops messages until none has come for a while: the late reports of earlier changes must not
// count for the next check.
void Settle(QueueSink& sink)
{
    sink.Take();
    for (int i = 0; i < 40 && sink.WaitFor(1, 300); ++i)
        sink.Take();
}

// Changes the folder until the thread reports one: it has taken its path and watches it. No
// fixed sleep, so a loaded machine only makes this slower.
bool WatchIsLive(QueueSink& sink, const fs::path& folder)
{
    Settle(sink);
    for (int i = 0; i < 60; ++i) {
        testutil::WriteAll(folder / ("probe" + std::to_string(i) + ".jpg"), { 1 });
        if (sink.WaitFor(1, 250)) {
            Settle(sink);
            return true;
        }
    }
    return false;
}

} // namespace

TEST(FolderWatchThread, MessagesOnChangesAndAfterAPathChange)
{
    TempFolder first, second;
    QueueSink sink;
    CFolderWatchThread watch;
    watch.target = &sink;
    ASSERT_TRUE(watch.Start());

    // Idle without a path: changes anywhere say nothing (a window to see a wrong report in).
    testutil::WriteAll(first / "early.jpg", { 1 });
    platform::SleepMs(300);
    EXPECT_EQ(sink.Count(), 0u);

    EXPECT_TRUE(watch.SetWatchPath(albumtest::U16(first.path())));
    EXPECT_FALSE(watch.SetWatchPath(albumtest::U16(first.path()))); // the same text: no restart
    EXPECT_TRUE(watch.SetWatchPath(platform::AsciiUpper(albumtest::U16(first.path())))); // other case: another folder
    EXPECT_TRUE(watch.SetWatchPath(albumtest::U16(first.path())));
    ASSERT_TRUE(WatchIsLive(sink, first.path()));

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
        Settle(sink);
        c.change();
        ASSERT_TRUE(sink.WaitFor(1, 10000));
        for (const Message& m : sink.Take()) {
            EXPECT_EQ(m.msg, MSG_ALBUM_REFRESH);
            EXPECT_EQ(m.param1, 0u);
            EXPECT_EQ(m.param2, 0);
        }
    }
    // Changes inside a sub-folder are not watched; the watch is still live afterwards.
    Settle(sink);
    testutil::WriteAll(first / "sub/inner.jpg", { 1 });
    platform::SleepMs(600);
    EXPECT_EQ(sink.Count(), 0u);
    EXPECT_TRUE(WatchIsLive(sink, first.path()));

    // The watch moves: the new folder speaks, then the old one is quiet.
    EXPECT_TRUE(watch.SetWatchPath(albumtest::U16(second.path())));
    ASSERT_TRUE(WatchIsLive(sink, second.path()));
    testutil::WriteAll(first / "old.jpg", { 1 });
    platform::SleepMs(600);
    EXPECT_EQ(sink.Count(), 0u);
    testutil::WriteAll(second / "new.jpg", { 1 });
    EXPECT_TRUE(sink.WaitFor(1, 10000));

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
