#include "platform/Folders.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;
using namespace platform::test;

TEST(Folders, KnownFoldersFollowTheEnvironment)
{
    TestFolder home;
    ScopedEnv env;
    env.Set("HOME", home.Native());
    env.Unset("XDG_DATA_HOME");
    env.Unset("XDG_CONFIG_HOME");
    EXPECT_EQ(HomeFolder(), home.Path());
    EXPECT_EQ(UserDataFolder(), home.Path(u".local/share"));
    EXPECT_EQ(UserConfigFolder(), home.Path(u".config"));
    EXPECT_EQ(PicturesFolder(), home.Path(u"Pictures"));

    env.Set("XDG_DATA_HOME", "/elsewhere/data/");
    env.Set("XDG_CONFIG_HOME", "relative/config"); // not absolute: ignored
    EXPECT_EQ(UserDataFolder(), u"/elsewhere/data");
    EXPECT_EQ(UserConfigFolder(), home.Path(u".config"));

    // The Pictures folder from the user-dirs file, in both of its forms.
    ASSERT_TRUE(CreateFolders(home.Path(u".config")));
    ASSERT_TRUE(WriteText(home.Path(u".config/user-dirs.dirs"),
                          "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                          "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"));
    EXPECT_EQ(PicturesFolder(), home.Path(u"Bilder"));
    ASSERT_TRUE(WriteText(home.Path(u".config/user-dirs.dirs"), "XDG_PICTURES_DIR=\"/srv/photos/\"\n"));
    EXPECT_EQ(PicturesFolder(), u"/srv/photos");
    ASSERT_TRUE(WriteText(home.Path(u".config/user-dirs.dirs"), "XDG_PICTURES_DIR=\"$HOME/\"\n")); // switched off
    EXPECT_EQ(PicturesFolder(), home.Path(u"Pictures"));
}

TEST(Folders, ProgramFolderIsWhereTheExecutableIs)
{
    String16 path = ProgramPath();
    EXPECT_EQ(FileNamePart(path), u"platform_tests");
    EXPECT_EQ(ProgramFolder(), ParentFolder(path));
    EXPECT_TRUE(IsDirectory(ProgramFolder()));
}

TEST(Folders, InstalledProgramFindsItsFolderUnderShare)
{
    struct Case { const char16_t* program; const char16_t* folder; };
    const Case cases[] = {
        {u"/work/build/zendra/zendra", u"/work/build/zendra"},
        {u"/usr/bin/zendra", u"/usr/share/zendra"},
        {u"/opt/my photos/bin/zendra", u"/opt/my photos/share/zendra"},
        {u"/bin/zendra", u"/share/zendra"},
        {u"/home/u/bin2/zendra", u"/home/u/bin2"},
        {u"/home/u/bin/x/zendra", u"/home/u/bin/x"},
        {u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgramFolderOf(c.program), c.folder) << Utf16ToUtf8(c.program);
}

namespace {

unsigned ModeOf(const String16& path)
{
    struct stat st {};
    if (lstat(ToNativePath(path).c_str(), &st) != 0)
        return 0xFFFF;
    return st.st_mode & 07777;
}

} // namespace

TEST(Folders, PrivateTempFolderIsCreatedClosed)
{
    TestFolder root;
    ScopedEnv env;
    env.Set("XDG_RUNTIME_DIR", root.Native() + "/run");
    env.Set("TMPDIR", root.Native() + "/tmp");
    env.Set("XDG_CACHE_HOME", root.Native() + "/cache");
    ASSERT_TRUE(CreateFolder(root.Path(u"run")));
    ASSERT_TRUE(CreateFolder(root.Path(u"tmp")));
    umask(0022);

    String16 temp = PrivateTempFolder();
    EXPECT_EQ(temp, root.Path(u"tmp/zendra-" + IntToText(getuid())));
    EXPECT_EQ(ModeOf(temp), 0700u);
    EXPECT_EQ(PrivateTempFolder(), temp) << "the same folder again";

    // One that others can read is not used; the cache folder is, and when that is not usable
    // either, the runtime folder.
    ASSERT_EQ(chmod(ToNativePath(temp).c_str(), 0755), 0);
    String16 cached = PrivateTempFolder();
    EXPECT_EQ(cached, root.Path(u"cache/zendra/tmp"));
    EXPECT_EQ(ModeOf(cached), 0700u);
    ASSERT_EQ(chmod(ToNativePath(cached).c_str(), 0755), 0);
    String16 fallback = PrivateTempFolder();
    EXPECT_EQ(fallback, root.Path(u"run/zendra"));
    EXPECT_EQ(ModeOf(fallback), 0700u);

    // Nor a link to a folder, even a private one.
    ASSERT_TRUE(DeleteTree(fallback));
    ASSERT_TRUE(CreateFolder(root.Path(u"target")));
    ASSERT_EQ(chmod((root.Native() + "/target").c_str(), 0700), 0);
    ASSERT_EQ(symlink((root.Native() + "/target").c_str(), ToNativePath(fallback).c_str()), 0);
    EXPECT_EQ(PrivateTempFolder(), u"");

    // Nor a folder that belongs to someone else (only root can set that up).
    if (getuid() == 0) {
        ASSERT_TRUE(DeleteFile(fallback));
        ASSERT_TRUE(CreateFolder(fallback));
        ASSERT_EQ(chmod(ToNativePath(fallback).c_str(), 0700), 0);
        ASSERT_EQ(chown(ToNativePath(fallback).c_str(), 12345, 12345), 0);
        EXPECT_EQ(PrivateTempFolder(), u"");
    }
}

TEST(Folders, PrivateTempFolderWithoutTmpdirLivesInTheCacheFolder)
{
    // The crash-status file lives there: it must be on disk and survive a reboot, so neither
    // /tmp nor the runtime folder.
    TestFolder root;
    ScopedEnv env;
    env.Unset("TMPDIR");
    env.Set("XDG_CACHE_HOME", root.Native() + "/cache");
    env.Set("XDG_RUNTIME_DIR", root.Native() + "/run");
    umask(0022);

    String16 temp = PrivateTempFolder();
    EXPECT_EQ(temp, root.Path(u"cache/zendra/tmp"));
    EXPECT_EQ(ModeOf(temp), 0700u);
    EXPECT_EQ(ModeOf(root.Path(u"cache/zendra")), 0700u);

    // The same when TMPDIR names a place that cannot hold the folder.
    for (const std::string& bad : {root.Native() + "/missing/deeper", std::string("/proc/self")}) {
        env.Set("TMPDIR", bad);
        EXPECT_EQ(PrivateTempFolder(), temp) << bad;
    }
}

TEST(Folders, UniqueTempFilesUnderConcurrentRequests)
{
    TestFolder root;
    ScopedEnv env;
    env.Set("TMPDIR", root.Native());
    constexpr int kThreads = 8;
    constexpr int kEach = 50;
    std::vector<std::vector<String16>> made(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&made, t] {
            for (int i = 0; i < kEach; ++i)
                made[t].push_back(CreateUniqueTempFile(u"his", u".zdtmp"));
        });
    for (std::thread& t : threads)
        t.join();

    std::set<String16> all;
    for (const auto& list : made)
        for (const String16& p : list) {
            ASSERT_FALSE(p.empty());
            EXPECT_EQ(ParentFolder(p), root.Path(u"zendra-" + IntToText(getuid())));
            EXPECT_TRUE(FileNamePart(p).starts_with(u"his"));
            EXPECT_TRUE(p.ends_with(u".zdtmp"));
            EXPECT_EQ(ModeOf(p), 0600u);
            all.insert(p);
        }
    EXPECT_EQ(all.size(), size_t(kThreads * kEach));

    // A name that exists already is never handed out again.
    std::vector<FileInfo> listed;
    ASSERT_TRUE(ListFolder(root.Path(u"zendra-" + IntToText(getuid())), u"his*.zdtmp", listed));
    EXPECT_EQ(listed.size(), all.size());
}

TEST(Folders, DiskSpace)
{
    TestFolder dir;
    DiskSpace space;
    ASSERT_TRUE(GetDiskSpace(dir.Path(), space));
    EXPECT_GT(space.total, 0u);
    EXPECT_LE(space.freeToUser, space.totalFree);
    EXPECT_LE(space.totalFree, space.total);
    EXPECT_FALSE(GetDiskSpace(dir.Path(u"missing"), space));
}

TEST(Folders, MountInfoParsing)
{
    // Lines as the kernel writes them: blanks escaped as \040, optional fields before "-".
    const char* text =
        "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
        "23 22 0:21 / /proc rw,nosuid shared:12 - proc proc rw\n"
        "24 22 0:5 / /dev rw shared:2 - devtmpfs udev rw\n"
        "30 22 8:3 / /home rw,relatime shared:30 - ext4 /dev/sda3 rw\n"
        "31 22 8:17 / /media/anna/CAM\\040CARD rw,nosuid shared:40 - vfat /dev/sdb1 rw\n"
        "32 22 0:50 / /mnt/nas rw - nfs4 server:/export rw\n"
        "33 22 8:2 /var/lib/x /srv/bound rw - ext4 /dev/sda2 rw\n"
        "34 22 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
        "35 22 0:30 / /run/user/1000 rw - tmpfs tmpfs rw\n"
        "bad line\n"
        "36 22 8:33 / /data\\134x rw - xfs /dev/sdc1 rw";
    std::vector<Volume> v = ParseMountInfo(text);
    std::vector<String16> points;
    for (const Volume& x : v)
        points.push_back(x.mountPoint);
    EXPECT_EQ(points, (std::vector<String16>{u"/", u"/home", u"/media/anna/CAM CARD", u"/mnt/nas", u"/data\\x"}));
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[0].device, u"/dev/sda2");
    EXPECT_EQ(v[0].fileSystem, u"ext4");
    EXPECT_EQ(v[2].major, 8u);
    EXPECT_EQ(v[2].minor, 17u);
    EXPECT_FALSE(v[1].removable);
    EXPECT_TRUE(v[2].removable);

    Volume found;
    ASSERT_TRUE(VolumeOfPath(u"/home/anna/x.jpg", v, found));
    EXPECT_EQ(found.mountPoint, u"/home");
    ASSERT_TRUE(VolumeOfPath(u"/homework/x.jpg", v, found));
    EXPECT_EQ(found.mountPoint, u"/") << "a prefix of a name is not a folder";
    ASSERT_TRUE(VolumeOfPath(u"/media/anna/CAM CARD", v, found));
    EXPECT_TRUE(found.removable);
    EXPECT_FALSE(VolumeOfPath(u"relative", v, found));

    // The running system always shows its root.
    bool root = false;
    for (const Volume& x : ListVolumes())
        root = root || x.mountPoint == u"/";
    EXPECT_TRUE(root);
}

TEST(Folders, RootIsListedWhereMountInfoLeavesItOut)
{
    // A chroot whose folder is no mount point: the kernel lists only what lies below the new root.
    struct Case {
        const char* text;
        std::vector<String16> points;
    } cases[] = {
        { "", { u"/" } },
        { "23 22 0:21 / /proc rw - proc proc rw\n", { u"/" } },
        { "30 22 8:3 / /home rw - ext4 /dev/sda3 rw\n", { u"/", u"/home" } },
        { "22 1 8:2 /srv/chroot / rw - ext4 /dev/sda2 rw\n30 22 8:3 / /home rw - ext4 /dev/sda3 rw\n",
          { u"/", u"/home" } },
    };
    for (const Case& c : cases) {
        std::vector<Volume> v = ParseMountInfo(c.text);
        std::vector<String16> points;
        for (const Volume& x : v)
            points.push_back(x.mountPoint);
        EXPECT_EQ(points, c.points) << c.text;
        Volume found;
        EXPECT_TRUE(VolumeOfPath(u"/usr/share/x.jpg", v, found)) << c.text;
    }
    // A root bind-mounted from a sub-folder keeps its device.
    EXPECT_EQ(ParseMountInfo(cases[3].text)[0].device, u"/dev/sda2");
}
