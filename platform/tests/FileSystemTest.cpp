#include "platform/FileSystem.h"
#include "platform/Folders.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <ctime>
#include <sys/stat.h>

using namespace platform;
using namespace platform::test;

TEST(FileSystem, WildcardPatterns)
{
    struct Case { const char16_t* name; const char16_t* pattern; bool match; };
    const Case cases[] = {
        {u"IMG_0001.JPG", u"*.jpg", true},
        {u"img.jpeg", u"*.jpg", false},
        {u"a.jpg.png", u"*.jpg", false},
        {u"x.zdtmp", u"*.zdtmp", true},
        {u"noext", u"*.*", true},            // "*.*" is everything, as on Windows
        {u"abc", u"a?c", true},
        {u"ac", u"a?c", false},
        {u"his123.zdtmp", u"his*.zdtmp", true},
        {u"aXbXc", u"a*b*c", true},
        {u"aXbX", u"a*b*c", false},
        {u"mississippi", u"*sip*", true},
        {u"", u"*", true},
        {u"a", u"", false},
        {u"Ü.jpg", u"ü.jpg", false},        // only ASCII letters fold
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << Utf16ToUtf8(c.name) << " ~ " << Utf16ToUtf8(c.pattern);
}

TEST(FileSystem, ListFolderWithPatternAndAttributes)
{
    TestFolder dir;
    for (const char16_t* name : {u"a.JPG", u"b.jpg", u"c.jpeg", u"d.png", u".hidden.jpg"})
        ASSERT_TRUE(WriteText(dir.Path(name), "1234"));
    ASSERT_TRUE(CreateFolder(dir.Path(u"e.jpg")));
    ASSERT_TRUE(SetReadOnly(dir.Path(u"b.jpg"), true));

    std::vector<FileInfo> found;
    ASSERT_TRUE(ListFolder(dir.Path(), u"*.jpg", found));
    std::vector<String16> names;
    for (const FileInfo& f : found)
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<String16>{u".hidden.jpg", u"a.JPG", u"b.jpg", u"e.jpg"}));

    for (const FileInfo& f : found) {
        EXPECT_EQ(f.isHidden, f.name == u".hidden.jpg") << Utf16ToUtf8(f.name);
        EXPECT_EQ(f.isDirectory, f.name == u"e.jpg") << Utf16ToUtf8(f.name);
        EXPECT_EQ(f.isReadOnly, f.name == u"b.jpg") << Utf16ToUtf8(f.name);
        EXPECT_EQ(f.size, f.isDirectory ? 0u : 4u);
        EXPECT_GT(f.lastWrite, FileTimeFromUnix(1600000000));
    }

    ASSERT_TRUE(ListFolder(dir.Path(), u"*", found));
    EXPECT_EQ(found.size(), 6u) << "'.' and '..' are not listed";

    FolderLister lister;
    EXPECT_FALSE(lister.Open(dir.Path(u"missing")));
    FileInfo info;
    EXPECT_FALSE(lister.Next(info));
    EXPECT_FALSE(ListFolder(dir.Path(u"a.JPG"), u"*", found)) << "a file is no folder";
}

TEST(FileSystem, FileTimesRoundTrip)
{
    TestFolder dir;
    String16 path = dir.Path(u"old.zdtmp");
    ASSERT_TRUE(WriteText(path, "x"));
    const FileTime threeDaysAgo = FileTimeFromUnix(time(nullptr) - 3 * 86400, 123456700);
    ASSERT_TRUE(SetLastWriteTime(path, threeDaysAgo));
    FileInfo info;
    ASSERT_TRUE(GetFileInfo(path, info));
    EXPECT_EQ(info.lastWrite, threeDaysAgo);
    EXPECT_EQ(info.name, u"old.zdtmp");
    EXPECT_EQ(FileTimeToUnixSeconds(FileTimeFromUnix(-5, 500000000)), -5);
    EXPECT_EQ(FileTimeToUnixSeconds(FileTimeFromUnix(0)), 0);
    EXPECT_EQ(FileTimeFromUnix(0), kFileTimeUnixEpoch);
    EXPECT_FALSE(GetFileInfo(dir.Path(u"missing"), info));
    EXPECT_FALSE(SetLastWriteTime(dir.Path(u"missing"), threeDaysAgo));
}

TEST(FileSystem, FoldersCreateAndDelete)
{
    TestFolder dir;
    EXPECT_TRUE(CreateFolder(dir.Path(u"one")));
    EXPECT_TRUE(CreateFolder(dir.Path(u"one"))) << "an existing folder is fine";
    EXPECT_FALSE(CreateFolder(dir.Path(u"missing/two"))) << "the parent must exist";
    ASSERT_TRUE(WriteText(dir.Path(u"file"), "x"));
    EXPECT_FALSE(CreateFolder(dir.Path(u"file"))) << "a file stands there";
    EXPECT_TRUE(CreateFolders(dir.Path(u"a/b/c")));
    EXPECT_TRUE(IsDirectory(dir.Path(u"a/b/c")));
    ASSERT_TRUE(WriteText(dir.Path(u"a/b/c/f"), "x"));

    EXPECT_FALSE(DeleteFile(dir.Path(u"a"))) << "not a file";
    EXPECT_FALSE(RemoveFolder(dir.Path(u"a"))) << "not empty";
    EXPECT_TRUE(DeleteTree(dir.Path(u"a")));
    EXPECT_FALSE(PathExists(dir.Path(u"a")));
    EXPECT_TRUE(DeleteFile(dir.Path(u"file")));
    EXPECT_FALSE(DeleteFile(dir.Path(u"file")));
    EXPECT_TRUE(RemoveFolder(dir.Path(u"one")));
}

TEST(FileSystem, DeleteTreeDoesNotFollowLinks)
{
    TestFolder dir;
    ASSERT_TRUE(CreateFolders(dir.Path(u"keep")));
    ASSERT_TRUE(WriteText(dir.Path(u"keep/precious"), "x"));
    ASSERT_TRUE(CreateFolders(dir.Path(u"gone")));
    ASSERT_EQ(symlink((dir.Native() + "/keep").c_str(), (dir.Native() + "/gone/link").c_str()), 0);
    EXPECT_TRUE(DeleteTree(dir.Path(u"gone")));
    EXPECT_EQ(ReadText(dir.Path(u"keep/precious")), "x");
}

TEST(FileSystem, CopyAndMove)
{
    TestFolder dir;
    String16 src = dir.Path(u"src.jpg");
    ASSERT_TRUE(WriteText(src, "pixels"));
    ASSERT_EQ(chmod((dir.Native() + "/src.jpg").c_str(), 0604), 0);
    const FileTime stamp = FileTimeFromUnix(1500000000);
    ASSERT_TRUE(SetLastWriteTime(src, stamp));

    ASSERT_TRUE(CopyFile(src, dir.Path(u"copy.jpg"), true));
    EXPECT_EQ(ReadText(dir.Path(u"copy.jpg")), "pixels");
    FileInfo info;
    ASSERT_TRUE(GetFileInfo(dir.Path(u"copy.jpg"), info));
    EXPECT_EQ(info.lastWrite, stamp);
    struct stat st {};
    ASSERT_EQ(stat((dir.Native() + "/copy.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);

    ASSERT_TRUE(WriteText(dir.Path(u"other.jpg"), "other"));
    EXPECT_FALSE(CopyFile(src, dir.Path(u"other.jpg"), true));
    EXPECT_EQ(ReadText(dir.Path(u"other.jpg")), "other");
    EXPECT_TRUE(CopyFile(src, dir.Path(u"other.jpg"), false));
    EXPECT_EQ(ReadText(dir.Path(u"other.jpg")), "pixels");
    EXPECT_FALSE(CopyFile(dir.Path(u"missing"), dir.Path(u"x"), false));
    EXPECT_FALSE(PathExists(dir.Path(u"x")));

    ASSERT_TRUE(WriteText(dir.Path(u"third.jpg"), "third"));
    EXPECT_FALSE(MoveFile(dir.Path(u"third.jpg"), dir.Path(u"other.jpg"), true));
    EXPECT_EQ(ReadText(dir.Path(u"other.jpg")), "pixels");
    EXPECT_TRUE(MoveFile(dir.Path(u"third.jpg"), dir.Path(u"other.jpg"), false));
    EXPECT_EQ(ReadText(dir.Path(u"other.jpg")), "third");
    EXPECT_FALSE(PathExists(dir.Path(u"third.jpg")));

    ASSERT_TRUE(CreateFolders(dir.Path(u"f/g")));
    EXPECT_TRUE(MoveFile(dir.Path(u"f"), dir.Path(u"h"), true));
    EXPECT_TRUE(IsDirectory(dir.Path(u"h/g")));
}

namespace {

std::string TrashInfo(const TestFolder& home, const std::string& name)
{
    return ReadText(FromNativePath(home.Native() + "/data/Trash/info/" + name + ".trashinfo"));
}

} // namespace

TEST(FileSystem, MoveToTrashFollowsTheFreedesktopLayout)
{
    TestFolder home;
    ScopedEnv env;
    env.Set("XDG_DATA_HOME", home.Native() + "/data");
    ASSERT_TRUE(CreateFolders(home.Path(u"photos/sub dir")));
    ASSERT_TRUE(WriteText(home.Path(u"photos/sub dir/a b.jpg"), "first"));
    ASSERT_TRUE(WriteText(home.Path(u"photos/a b.jpg"), "second"));

    ASSERT_TRUE(MoveToTrash(home.Path(u"photos/sub dir/a b.jpg")));
    ASSERT_TRUE(MoveToTrash(home.Path(u"photos/a b.jpg")));
    EXPECT_FALSE(PathExists(home.Path(u"photos/a b.jpg")));
    EXPECT_EQ(HomeTrashFolder(), home.Path(u"data/Trash"));

    // Both kept under different names, each with its info file.
    EXPECT_EQ(ReadText(home.Path(u"data/Trash/files/a b.jpg")), "first");
    EXPECT_EQ(ReadText(home.Path(u"data/Trash/files/a b.jpg.2")), "second");
    std::string info = TrashInfo(home, "a b.jpg");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + home.Native() + "/photos/sub%20dir/a%20b.jpg\nDeletionDate=", 0), 0u) << info;
    // DeletionDate=YYYY-MM-DDThh:mm:ss
    size_t at = info.find("DeletionDate=");
    ASSERT_NE(at, std::string::npos);
    std::string date = info.substr(at + 13, 19);
    EXPECT_EQ(date.size(), 19u);
    EXPECT_EQ(date[4], '-');
    EXPECT_EQ(date[10], 'T');
    EXPECT_EQ(date[16], ':');
    EXPECT_NE(TrashInfo(home, "a b.jpg.2").find("/photos/a%20b.jpg\n"), std::string::npos);

    // Folders go to the trash too.
    EXPECT_TRUE(MoveToTrash(home.Path(u"photos/sub dir")));
    EXPECT_TRUE(IsDirectory(home.Path(u"data/Trash/files/sub dir")));
    EXPECT_FALSE(MoveToTrash(home.Path(u"photos/missing.jpg")));
}

namespace {

// A folder on a second file system (the shared-memory one), or empty when there is none.
std::string OtherFileSystemFolder(const TestFolder& here)
{
    struct stat a {}, b {};
    if (stat("/dev/shm", &b) != 0 || stat(here.Native().c_str(), &a) != 0 || a.st_dev == b.st_dev)
        return std::string();
    std::string tmpl = "/dev/shm/zendra-test-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        return std::string();
    return tmpl;
}

} // namespace

TEST(FileSystem, AcrossFileSystems)
{
    TestFolder home;
    std::string other = OtherFileSystemFolder(home);
    if (other.empty())
        GTEST_SKIP() << "no second file system to move across";
    String16 far = FromNativePath(other);

    // Files and folders are copied, then the source goes; a refused move leaves both sides.
    ASSERT_TRUE(WriteText(JoinPath(far, u"a.jpg"), "pixels"));
    ASSERT_TRUE(SetLastWriteTime(JoinPath(far, u"a.jpg"), FileTimeFromUnix(1400000000)));
    ASSERT_TRUE(MoveFile(JoinPath(far, u"a.jpg"), home.Path(u"a.jpg"), true));
    EXPECT_EQ(ReadText(home.Path(u"a.jpg")), "pixels");
    EXPECT_FALSE(PathExists(JoinPath(far, u"a.jpg")));
    FileInfo info;
    ASSERT_TRUE(GetFileInfo(home.Path(u"a.jpg"), info));
    EXPECT_EQ(info.lastWrite, FileTimeFromUnix(1400000000));

    ASSERT_TRUE(WriteText(JoinPath(far, u"b.jpg"), "b"));
    ASSERT_TRUE(WriteText(home.Path(u"b.jpg"), "kept"));
    EXPECT_FALSE(MoveFile(JoinPath(far, u"b.jpg"), home.Path(u"b.jpg"), true));
    EXPECT_EQ(ReadText(home.Path(u"b.jpg")), "kept");
    EXPECT_EQ(ReadText(JoinPath(far, u"b.jpg")), "b");

    ASSERT_TRUE(CreateFolders(JoinPath(far, u"album/sub")));
    ASSERT_TRUE(WriteText(JoinPath(far, u"album/sub/c.jpg"), "c"));
    ASSERT_EQ(symlink("sub/c.jpg", (other + "/album/link").c_str()), 0);
    ASSERT_TRUE(MoveFile(JoinPath(far, u"album"), home.Path(u"album"), true));
    EXPECT_EQ(ReadText(home.Path(u"album/sub/c.jpg")), "c");
    EXPECT_EQ(ReadText(home.Path(u"album/link")), "c") << "the link came along as a link";
    EXPECT_FALSE(PathExists(JoinPath(far, u"album")));

    // The trash of the other file system is used, with a path relative to its top.
    ScopedEnv env;
    env.Set("XDG_DATA_HOME", home.Native() + "/data");
    std::string topTrash = "/dev/shm/.Trash-" + std::to_string(getuid());
    bool trashExisted = PathExists(FromNativePath(topTrash));
    String16 name = u"trash me " + FromNativePath(other.substr(other.rfind('/') + 1));
    ASSERT_TRUE(WriteText(JoinPath(far, name), "t"));
    ASSERT_TRUE(MoveToTrash(JoinPath(far, name)));
    EXPECT_FALSE(PathExists(JoinPath(far, name)));
    String16 trashed = FromNativePath(topTrash) + u"/files/" + name;
    String16 infoFile = FromNativePath(topTrash) + u"/info/" + name + u".trashinfo";
    EXPECT_EQ(ReadText(trashed), "t");
    std::string relative = other.substr(std::string("/dev/shm/").size()) + "/" + ToNativePath(name);
    std::string encoded;
    for (char c : relative)
        encoded += c == ' ' ? std::string("%20") : std::string(1, c);
    EXPECT_NE(ReadText(infoFile).find("\nPath=" + encoded + "\n"), std::string::npos) << ReadText(infoFile);
    DeleteFile(trashed);
    DeleteFile(infoFile);
    if (!trashExisted)
        DeleteTree(FromNativePath(topTrash));
    DeleteTree(far);
}
