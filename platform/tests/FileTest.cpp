#include "platform/File.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace platform;
using namespace platform::test;

TEST(File, WriteSeekReadAndSize)
{
    TestFolder dir;
    String16 path = dir.Path(u"data.bin");
    File f;
    ASSERT_TRUE(f.Open(path, FileMode::CreateNew));
    ASSERT_TRUE(f.Write("0123456789", 10));
    EXPECT_EQ(f.Size(), 10);
    ASSERT_TRUE(f.Close());

    ASSERT_TRUE(f.Open(path, FileMode::ReadWrite));
    ASSERT_TRUE(f.Seek(-3, SeekFrom::End));
    EXPECT_EQ(f.Tell(), 7);
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, sizeof(buf)), 3);
    EXPECT_EQ(std::string(buf, 3), "789");
    EXPECT_EQ(f.Read(buf, sizeof(buf)), 0) << "end of file";
    ASSERT_TRUE(f.Seek(2));
    ASSERT_TRUE(f.Write("ab", 2));
    ASSERT_TRUE(f.SetSize(6));
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(ReadText(path), "01ab45");

    // OpenAlways keeps, CreateAlways empties.
    ASSERT_TRUE(f.Open(path, FileMode::OpenAlways));
    EXPECT_EQ(f.Size(), 6);
    ASSERT_TRUE(f.Open(path, FileMode::CreateAlways));
    EXPECT_EQ(f.Size(), 0);
}

TEST(File, OffsetsAndSizesBeyondFourGigabytes)
{
    TestFolder dir;
    File f;
    ASSERT_TRUE(f.Open(dir.Path(u"big.bin"), FileMode::CreateAlways));
    const int64_t far = (int64_t(5) << 30) + 17; // sparse: takes no real space
    ASSERT_TRUE(f.Seek(far));
    ASSERT_TRUE(f.Write("x", 1));
    EXPECT_EQ(f.Size(), far + 1);
    EXPECT_EQ(f.Tell(), far + 1);
    ASSERT_TRUE(f.Close());
    ASSERT_TRUE(f.Open(dir.Path(u"big.bin"), FileMode::Read));
    ASSERT_TRUE(f.Seek(-1, SeekFrom::End));
    char c = 0;
    ASSERT_TRUE(f.ReadExact(&c, 1));
    EXPECT_EQ(c, 'x');
}

TEST(File, FailuresAreReturnValues)
{
    TestFolder dir;
    String16 existing = dir.Path(u"exists.txt");
    ASSERT_TRUE(WriteText(existing, "abc"));
    ASSERT_TRUE(CreateFolder(dir.Path(u"folder")));
    ASSERT_EQ(mkfifo((dir.Native() + "/pipe.jpg").c_str(), 0600), 0);

    struct OpenCase { String16 path; FileMode mode; int error; };
    const OpenCase opens[] = {
        {dir.Path(u"missing.txt"), FileMode::Read, ENOENT},
        {dir.Path(u"missing.txt"), FileMode::ReadWrite, ENOENT},
        {dir.Path(u"no/such/folder.txt"), FileMode::CreateAlways, ENOENT},
        {existing, FileMode::CreateNew, EEXIST},
        {dir.Path(u"folder"), FileMode::Read, EISDIR},
        {dir.Path(u"pipe.jpg"), FileMode::Read, EINVAL},   // refused at once, not waited on
        {u"/dev/zero", FileMode::Read, EINVAL},            // endless: never a file to read
        {u"", FileMode::Read, ENOENT},
    };
    for (const OpenCase& c : opens) {
        File f;
        EXPECT_FALSE(f.Open(c.path, c.mode)) << Utf16ToUtf8(c.path);
        EXPECT_EQ(f.LastError(), c.error) << Utf16ToUtf8(c.path);
        EXPECT_FALSE(f.IsOpen());
    }

    char buf[4];
    File closed;
    EXPECT_EQ(closed.Read(buf, 4), -1);
    EXPECT_FALSE(closed.Write("x", 1));
    EXPECT_FALSE(closed.Seek(0));
    EXPECT_EQ(closed.Tell(), -1);
    EXPECT_EQ(closed.Size(), -1);
    EXPECT_FALSE(closed.SetSize(0));
    EXPECT_EQ(closed.LastError(), EBADF);

    File readOnly;
    ASSERT_TRUE(readOnly.Open(existing, FileMode::Read));
    EXPECT_FALSE(readOnly.Write("x", 1));
    EXPECT_FALSE(readOnly.Seek(-1)) << "before the start";
    EXPECT_FALSE(readOnly.SetSize(-1));
    EXPECT_FALSE(readOnly.ReadExact(buf, 4)) << "only 3 bytes there";

    File writeOnly;
    ASSERT_TRUE(writeOnly.Open(dir.Path(u"w.txt"), FileMode::CreateAlways));
    EXPECT_EQ(writeOnly.Read(buf, 1), -1);
    EXPECT_EQ(ReadText(existing), "abc");
}

TEST(File, ReadWholeFileHonoursTheLimit)
{
    TestFolder dir;
    ASSERT_TRUE(WriteText(dir.Path(u"a"), "12345"));
    std::vector<uint8_t> data{9};
    EXPECT_FALSE(ReadWholeFile(dir.Path(u"a"), data, 4));
    EXPECT_EQ(data, std::vector<uint8_t>{9}) << "left alone on failure";
    ASSERT_TRUE(ReadWholeFile(dir.Path(u"a"), data, 5));
    EXPECT_EQ(data.size(), 5u);
    EXPECT_FALSE(ReadWholeFile(dir.Path(u"missing"), data));
}

namespace {

size_t CountEntries(const TestFolder& dir)
{
    std::vector<FileInfo> all;
    ListFolder(dir.Path(), u"*", all);
    return all.size();
}

} // namespace

TEST(AtomicFileWriter, ReplacesWholeAndKeepsPermissions)
{
    TestFolder dir;
    String16 path = dir.Path(u"settings.txt");
    ASSERT_TRUE(WriteText(path, "old contents"));
    ASSERT_EQ(chmod((dir.Native() + "/settings.txt").c_str(), 0640), 0);

    AtomicFileWriter w;
    ASSERT_TRUE(w.Open(path));
    ASSERT_TRUE(w.Write("new", 3));
    EXPECT_EQ(ReadText(path), "old contents") << "nothing changes before the commit";
    ASSERT_TRUE(w.Commit());
    EXPECT_EQ(ReadText(path), "new");
    struct stat st {};
    ASSERT_EQ(stat((dir.Native() + "/settings.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(CountEntries(dir), 1u) << "no temporary file left";

    // A new file.
    ASSERT_TRUE(WriteWholeFileAtomic(dir.Path(u"fresh.txt"), std::vector<uint8_t>{'o', 'k'}));
    EXPECT_EQ(ReadText(dir.Path(u"fresh.txt")), "ok");
}

TEST(AtomicFileWriter, FailureLeavesTheOriginal)
{
    TestFolder dir;
    String16 path = dir.Path(u"photo.jpg");
    ASSERT_TRUE(WriteText(path, "original"));

    {   // Dropped without commit.
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.Write("partial", 7));
    }
    EXPECT_EQ(ReadText(path), "original");
    EXPECT_EQ(CountEntries(dir), 1u);

    {   // The disk fills up in the middle: the file size limit makes write() fail as ENOSPC would.
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        AtomicFileWriter w;
        bool opened = w.Open(path);
        std::vector<char> big(64 * 1024, 'z');
        bool wrote = opened && w.Write(big.data(), big.size());
        bool later = w.Write("more", 4);
        bool committed = w.Commit();
        setrlimit(RLIMIT_FSIZE, &old);
        ASSERT_TRUE(opened);
        EXPECT_FALSE(wrote);
        EXPECT_FALSE(later) << "a spoilt file stays spoilt";
        EXPECT_FALSE(committed);
        EXPECT_EQ(w.LastError(), EFBIG);
    }
    EXPECT_EQ(ReadText(path), "original");
    EXPECT_EQ(CountEntries(dir), 1u);

    {   // The rename cannot happen: a folder stands at the target.
        ASSERT_TRUE(CreateFolder(dir.Path(u"taken")));
        ASSERT_TRUE(WriteText(dir.Path(u"taken/inside"), "keep"));
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(dir.Path(u"taken")));
        ASSERT_TRUE(w.Write("x", 1));
        EXPECT_FALSE(w.Commit());
        EXPECT_TRUE(IsDirectory(dir.Path(u"taken")));
        EXPECT_EQ(ReadText(dir.Path(u"taken/inside")), "keep");
    }
    EXPECT_EQ(CountEntries(dir), 2u);

    {   // No-replace commit refuses an existing target.
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.Write("x", 1));
        EXPECT_FALSE(w.Commit(false));
        EXPECT_EQ(w.LastError(), EEXIST);
    }
    EXPECT_EQ(ReadText(path), "original");
    EXPECT_EQ(CountEntries(dir), 2u);

    // A folder that does not exist.
    AtomicFileWriter w;
    EXPECT_FALSE(w.Open(dir.Path(u"nowhere/file")));
    EXPECT_FALSE(w.Commit());
}

TEST(AtomicFileWriter, ThroughALinkReplacesTheLinkedFile)
{
    TestFolder dir;
    ASSERT_TRUE(WriteText(dir.Path(u"real.txt"), "old"));
    ASSERT_EQ(symlink((dir.Native() + "/real.txt").c_str(), (dir.Native() + "/link.txt").c_str()), 0);
    ASSERT_TRUE(WriteWholeFileAtomic(dir.Path(u"link.txt"), std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(ReadText(dir.Path(u"real.txt")), "new");
    struct stat st {};
    ASSERT_EQ(lstat((dir.Native() + "/link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(File, AdvisoryLockIsSeenByEveryOtherOpenUntilClosed)
{
    TestFolder folder;
    const String16 path = folder.Path(u"locked");
    File owner, other;
    ASSERT_TRUE(owner.Open(path, FileMode::OpenAlways));
    ASSERT_TRUE(owner.TryLock(true));
    ASSERT_TRUE(other.Open(path, FileMode::Read));
    EXPECT_FALSE(other.TryLock(true)) << "another open of the same file";
    EXPECT_FALSE(other.TryLock(false));
    EXPECT_TRUE(owner.IsAt(path));
    ASSERT_TRUE(owner.Unlock());
    EXPECT_TRUE(other.TryLock(false)) << "shared once the owner let go";
    ASSERT_TRUE(other.Unlock());
    ASSERT_TRUE(owner.TryLock(true));
    owner.Close();
    EXPECT_TRUE(other.TryLock(true)) << "closing releases the lock";

    // A file deleted (or replaced) after it was opened is no longer the one the path names.
    ASSERT_TRUE(DeleteFile(path));
    EXPECT_FALSE(other.IsAt(path));
    ASSERT_TRUE(WriteText(path, "new"));
    EXPECT_FALSE(other.IsAt(path));
    File closed;
    EXPECT_FALSE(closed.TryLock(true));
}

TEST(AtomicFileWriter, ReadOnlyTargetsAreRefused)
{
    TestFolder dir;
    const std::string native = dir.Native();
    ASSERT_TRUE(WriteText(dir.Path(u"real.txt"), "keep"));
    ASSERT_EQ(symlink((native + "/real.txt").c_str(), (native + "/link.txt").c_str()), 0);
    struct Case { const char* name; mode_t mode; bool replaced; };
    // Run as root too: the mode bits decide, not what root could force.
    const Case cases[] = {
        {"real.txt", 0444, false},
        {"real.txt", 0400, false},
        {"link.txt", 0444, false}, // through a link the linked file's bits count
        {"real.txt", 0200, true},
        {"real.txt", 0644, true},
        {"new.txt", 0, true}, // a new file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.mode));
        ASSERT_TRUE(WriteText(dir.Path(u"real.txt"), "keep"));
        ASSERT_EQ(chmod((native + "/real.txt").c_str(), c.mode ? c.mode : 0644), 0);
        AtomicFileWriter w;
        const bool opened = w.Open(dir.Path(Utf8ToUtf16(c.name)));
        EXPECT_EQ(opened, c.replaced);
        if (!opened) {
            EXPECT_EQ(w.LastError(), EACCES);
        } else {
            ASSERT_TRUE(w.Write("new", 3));
            ASSERT_TRUE(w.Commit());
        }
        chmod((native + "/real.txt").c_str(), 0644);
        const std::string target = std::string(c.name) == "new.txt" ? "new.txt" : "real.txt";
        EXPECT_EQ(ReadText(dir.Path(Utf8ToUtf16(target))), c.replaced ? "new" : "keep");
        std::remove((native + "/new.txt").c_str());
        EXPECT_EQ(CountEntries(dir), 2u) << "no temporary file left";
    }
}

TEST(AtomicFileWriter, ALockedNewFileIsNeverAtTheTargetUnlocked)
{
    TestFolder dir;
    const String16 path = dir.Path(u"status");
    File held;
    for (const char* text : {"first", "second"}) {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.Write(text, std::strlen(text)));
        ASSERT_TRUE(w.LockNew());
        File next;
        ASSERT_TRUE(w.Commit(true, &next));
        ASSERT_TRUE(next.IsOpen()) << "kept open";
        EXPECT_TRUE(next.IsAt(path));
        File other;
        ASSERT_TRUE(other.Open(path, FileMode::Read));
        EXPECT_FALSE(other.TryLock(false)) << "locked from the first moment at the target";
        EXPECT_EQ(ReadText(path), text);
        held = std::move(next); // the old one goes only now
    }
    held.Close();
    File other;
    ASSERT_TRUE(other.Open(path, FileMode::Read));
    EXPECT_TRUE(other.TryLock(true));
    EXPECT_EQ(CountEntries(dir), 1u);
}

namespace {

// A temporary file left the way a killed save leaves it: a child process opens a writer, writes
// and ends without commit or clean-up. Returns the child's id (no longer running).
pid_t KilledSave(const String16& target)
{
    const pid_t child = fork();
    if (child == 0) {
        static AtomicFileWriter w; // never destroyed: _exit runs no clean-up
        if (!w.Open(target) || !w.Write("half", 4))
            _exit(1);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? child : -1;
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(AtomicFileWriter, JournalRemovesWhatKilledSavesLeftAndNothingElse)
{
    TestFolder dir;
    const std::string photos = dir.Native() + "/photos", journal = dir.Native() + "/saves";
    ASSERT_EQ(mkdir(photos.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(journal.c_str(), 0700), 0);
    SetSaveJournalFolder(FromNativePath(journal));
    struct Off { ~Off() { SetSaveJournalFolder({}); } } off;
    const String16 photo = FromNativePath(photos + "/a.jpg");
    ASSERT_TRUE(WriteText(photo, "photo"));

    // A save that ends either way leaves no note.
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(photo));
        EXPECT_EQ(Names(journal).size(), 1u) << "noted while in flight";
        ASSERT_TRUE(w.Write("photo", 5));
        ASSERT_TRUE(w.Commit());
    }
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(photo));
    }
    EXPECT_TRUE(Names(journal).empty());

    // Two killed saves.
    const pid_t dead1 = KilledSave(photo);
    const pid_t dead2 = KilledSave(FromNativePath(photos + "/b.png"));
    ASSERT_GT(dead1, 0);
    ASSERT_GT(dead2, 0);
    ASSERT_EQ(Names(photos).size(), 3u);
    ASSERT_EQ(Names(journal).size(), 2u);
    // Notes that must not lead to a removal: a running program's save in flight, a note that
    // names a user's file, one that names a folder of the temporary form.
    const std::string live = std::to_string(getppid()) + "-1";
    const std::string liveFile = photos + "/.c.jpg." + live + ".tmp";
    ASSERT_TRUE(WriteText(FromNativePath(liveFile), "in flight"));
    ASSERT_EQ(symlink(liveFile.c_str(), (journal + "/" + live).c_str()), 0);
    const std::string user = photos + "/user.jpg";
    ASSERT_TRUE(WriteText(FromNativePath(user), "mine"));
    ASSERT_EQ(symlink(user.c_str(), (journal + "/" + std::to_string(dead1) + "-77").c_str()), 0);
    const std::string folder = photos + "/.d.jpg." + std::to_string(dead1) + "-78.tmp";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(symlink(folder.c_str(), (journal + "/" + std::to_string(dead1) + "-78").c_str()), 0);
    // A file of the temporary form that no note names (a user's, or another program's).
    const std::string unnoted = photos + "/.e.jpg." + std::to_string(dead2) + "-9.tmp";
    ASSERT_TRUE(WriteText(FromNativePath(unnoted), "unnoted"));

    // A run that started before the killed saves removes nothing: they may be its own.
    const int64_t now = int64_t(time(nullptr));
    EXPECT_EQ(RemoveKilledSaveFiles(now - 60), 0u);
    EXPECT_EQ(Names(photos).size(), 7u);

    EXPECT_EQ(RemoveKilledSaveFiles(now + 2), 2u);
    const std::vector<std::string> left = {".c.jpg." + live + ".tmp",
                                           ".d.jpg." + std::to_string(dead1) + "-78.tmp",
                                           ".e.jpg." + std::to_string(dead2) + "-9.tmp",
                                           "a.jpg", "user.jpg"};
    EXPECT_EQ(Names(photos), left);
    EXPECT_EQ(ReadText(photo), "photo");
    EXPECT_EQ(Names(journal).size(), 3u) << "the notes that removed nothing stay";
    EXPECT_FALSE(PathExists(FromNativePath(photos + "/b.png")));
}

TEST(AtomicFileWriter, SavesOnSeveralThreadsLeaveNoNotes)
{
    TestFolder dir;
    const std::string journal = dir.Native() + "/saves";
    ASSERT_EQ(mkdir(journal.c_str(), 0700), 0);
    SetSaveJournalFolder(FromNativePath(journal));
    struct Off { ~Off() { SetSaveJournalFolder({}); } } off;
    std::vector<std::thread> threads;
    std::atomic<int> written{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                const std::string text = std::to_string(t) + "-" + std::to_string(i);
                if (WriteWholeFileAtomic(dir.Path(Utf8ToUtf16("f" + std::to_string(t))),
                                         std::vector<uint8_t>(text.begin(), text.end())))
                    ++written;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(written.load(), 100);
    EXPECT_TRUE(Names(journal).empty());
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(ReadText(dir.Path(Utf8ToUtf16("f" + std::to_string(t)))), std::to_string(t) + "-24");
}
