#include "app/AppData.h"
#include "app/CrashStatus.h"
#include "ui/Registry.h"

#include "imaging/DocStream.h"
#include "imaging/HistoryStore.h"
#include "imaging/tests/DocumentTestUtil.h"
#include "platform/Calendar.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/Settings.h"
#include "platform/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

using namespace platform;
using platform::test::ScopedEnv;
using platform::test::TestFolder;

namespace {

// Every folder the application data reads goes to a fresh test folder: data, config, pictures,
// the private temporary folder and both settings files.
class AppDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.Set("HOME", folder.Native());
        env.Set("XDG_DATA_HOME", folder.Native() + "/data");
        env.Set("XDG_CONFIG_HOME", folder.Native() + "/config");
        env.Set("TMPDIR", folder.Native() + "/tmp");
        CreateFolders(folder.Path(u"tmp"));
        CreateFolders(folder.Path(u"Pictures"));
        SetSettingsFiles(folder.Path(u"user.txt"), folder.Path(u"machine.txt"));
        theAppData.~AppData();
        new (&theAppData) AppData();
        SetAppDataMessageSink([this](const std::u16string& text) { messages.push_back(text); });
        config = folder.Path(u"config.dat");
        CopyText(theAppData.configPath, config);
    }
    void TearDown() override
    {
        SetSaveJournalFolder({});
        SetAppDataMessageSink(nullptr);
        SetSettingsFiles(DefaultUserSettingsFile(), DefaultMachineSettingsFile());
    }

    std::vector<uint8_t> ConfigBytes()
    {
        std::vector<uint8_t> b;
        ReadWholeFile(config, b);
        return b;
    }
    void WriteConfig(const std::vector<uint8_t>& b) { ASSERT_TRUE(WriteWholeFileAtomic(config, b)); }
    String16 Pictures() { return folder.Path(u"Pictures"); }
    String16 StartFolder() { return String16(BufferView(theAppData.albumStartFolder)); }

    TestFolder folder;
    ScopedEnv env;
    String16 config;
    std::vector<std::u16string> messages;
};

FavouriteFolder Favourite(const char16_t* name, const char16_t* path, uint8_t fill)
{
    FavouriteFolder f;
    CopyText(f.name, name);
    CopyText(f.path, path);
    std::memset(f.extra, fill, sizeof f.extra);
    return f;
}

void PutU16At(std::vector<uint8_t>& b, size_t at, uint16_t v) { PutU16(b.data() + at, v); }

std::u16string TextAt(const std::vector<uint8_t>& b, size_t at, size_t units)
{
    std::u16string s;
    for (size_t i = 0; i < units; ++i)
        s += char16_t(GetU16(b.data() + at + 2 * i));
    return s;
}

} // namespace

TEST_F(AppDataTest, ConfigFileBytesForTwoFavouritesAStartFolderAndOneScanFolder)
{
    const String16 start = folder.Path(u"x");
    ASSERT_TRUE(CreateFolder(start));
    ASSERT_TRUE(theAppData.AddFavourite(Favourite(u"Holiday", u"/p/holiday", 0xA5)));
    ASSERT_TRUE(theAppData.AddFavourite(Favourite(u"Work", u"/p/work", 0x3C)));
    CopyText(theAppData.albumStartFolder, start);
    ScanFolderEntry scan;
    CopyText(scan.path, u"/p/scan");
    theAppData.scanFolders.push_back(scan);
    theAppData.Save();
    EXPECT_TRUE(messages.empty());

    const std::vector<uint8_t> b = ConfigBytes();
    const size_t L = start.size();
    ASSERT_EQ(b.size(), 1 + 2 + 2 * 2624 + 2 + 2 * L + 2 + 2048);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(GetU16(&b[1]), 2);
    // First favourite: name at 3, path at 3 + 64, opaque bytes at 3 + 2112.
    EXPECT_EQ(TextAt(b, 3, 8), std::u16string(u"Holiday\0", 8));
    EXPECT_EQ(GetU16(&b[3 + 62]), 0) << "name padded with zeros";
    EXPECT_EQ(TextAt(b, 3 + 64, 11), std::u16string(u"/p/holiday\0", 11));
    EXPECT_EQ(b[3 + 2112], 0xA5);
    EXPECT_EQ(b[3 + 2623], 0xA5);
    EXPECT_EQ(TextAt(b, 3 + 2624, 5), std::u16string(u"Work\0", 5));
    EXPECT_EQ(b[3 + 2624 + 2112], 0x3C);
    const size_t atL = 3 + 2 * 2624;
    EXPECT_EQ(GetU16(&b[atL]), L);
    EXPECT_EQ(TextAt(b, atL + 2, L), start) << "no terminator";
    const size_t atM = atL + 2 + 2 * L;
    EXPECT_EQ(GetU16(&b[atM]), 1);
    EXPECT_EQ(TextAt(b, atM + 2, 8), std::u16string(u"/p/scan\0", 8));

    AppData back;
    CopyText(back.configPath, config);
    ASSERT_EQ(back.Load(), 1);
    ASSERT_EQ(back.favourites.size(), 2u);
    EXPECT_EQ(String16(BufferView(back.favourites[1].path)), u"/p/work");
    EXPECT_EQ(back.favourites[0].extra[511], 0xA5);
    EXPECT_EQ(String16(BufferView(back.albumStartFolder)), start);
    ASSERT_EQ(back.scanFolders.size(), 1u);
    EXPECT_EQ(String16(BufferView(back.scanFolders[0].path)), u"/p/scan");
}

TEST_F(AppDataTest, DamagedConfigFiles)
{
    const String16 start = folder.Path(u"start");
    ASSERT_TRUE(CreateFolder(start));
    // A good file: 2 favourites, the start folder, 2 scan folders.
    std::vector<uint8_t> good;
    {
        AppData a;
        CopyText(a.configPath, config);
        a.AddFavourite(Favourite(u"a", u"/a", 1));
        a.AddFavourite(Favourite(u"b", u"/b", 2));
        CopyText(a.albumStartFolder, start);
        ScanFolderEntry s;
        CopyText(s.path, u"/s1");
        a.scanFolders.push_back(s);
        CopyText(s.path, u"/s2");
        a.scanFolders.push_back(s);
        a.Save();
        good = ConfigBytes();
    }
    const size_t atL = 3 + 2 * 2624;
    const size_t atM = atL + 2 + 2 * start.size();

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int result;
        size_t favourites;
        bool startKept; // else the Pictures folder
        size_t scans;
    };
    auto with = [&](auto change) {
        std::vector<uint8_t> b = good;
        change(b);
        return b;
    };
    const std::vector<Case> cases = {
        {"good", good, 1, 2, true, 2},
        {"0 bytes", {}, 1, 0, false, 0},
        {"N = 257", with([](auto& b) { PutU16At(b, 1, 257); }), 0, 0, false, 0},
        {"N = 256 with fewer records", with([](auto& b) { PutU16At(b, 1, 256); }), 1, 0, false, 0},
        {"start folder gone", with([&](auto& b) { PutU16At(b, atL + 2, u'X'); }), 1, 2, false, 2},
        {"truncated inside a favourite", with([](auto& b) { b.resize(3 + 2624 + 100); }), 1, 0, false, 0},
        {"truncated inside a scan record", with([&](auto& b) { b.resize(atM + 2 + 2048 + 10); }), 1, 2, true, 1},
        {"L = 1024", with([&](auto& b) { PutU16At(b, atL, 1024); }), 1, 0, false, 0},
        {"L beyond the file", with([&](auto& b) { b.resize(atL + 2 + 4); }), 1, 0, false, 0},
        {"M larger than the records", with([&](auto& b) { PutU16At(b, atM, 9); }), 1, 2, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteConfig(c.bytes);
        AppData a;
        CopyText(a.configPath, config);
        ASSERT_EQ(a.Load(), c.result);
        if (c.result == 0)
            continue;
        EXPECT_EQ(a.favourites.size(), c.favourites);
        EXPECT_EQ(String16(BufferView(a.albumStartFolder)), c.startKept ? start : Pictures());
        EXPECT_EQ(a.scanFolders.size(), c.scans);
    }

    // A missing file: the defaults, written at once.
    DeleteFile(config);
    AppData fresh;
    CopyText(fresh.configPath, config);
    ASSERT_EQ(fresh.Load(), 1);
    EXPECT_EQ(String16(BufferView(fresh.albumStartFolder)), Pictures());
    const std::vector<uint8_t> b = ConfigBytes();
    ASSERT_EQ(b.size(), 1 + 2 + 2 + 2 * Pictures().size() + 2);
}

TEST_F(AppDataTest, AStartFolderThatIsGoneKeepsFavouritesAndScanFoldersByteForByte)
{
    // The album writes the shown folder as the start folder; deleting that folder must not cost
    // the user the favourites and the scan folders at the next start.
    const String16 start = folder.Path(u"shown");
    ASSERT_TRUE(CreateFolder(start));
    std::vector<FavouriteFolder> favourites;
    for (int i = 0; i < 3; ++i) {
        FavouriteFolder f = Favourite(i == 1 ? u"" : u"name", u"/photos/f", uint8_t(0x10 + i));
        f.path[10] = char16_t(u'0' + i);
        favourites.push_back(f);
    }
    theAppData.favourites = favourites;
    CopyText(theAppData.albumStartFolder, start);
    ScanFolderEntry scan;
    CopyText(scan.path, u"/photos/");
    theAppData.scanFolders = {scan, scan};
    theAppData.Save();
    const std::vector<uint8_t> before = ConfigBytes();
    ASSERT_TRUE(RemoveFolder(start));

    AppData next;
    CopyText(next.configPath, config);
    ASSERT_EQ(next.Load(), 1);
    EXPECT_EQ(String16(BufferView(next.albumStartFolder)), Pictures());
    ASSERT_EQ(next.favourites.size(), 3u);
    EXPECT_EQ(next.scanFolders.size(), 2u);
    next.Save();
    const std::vector<uint8_t> after = ConfigBytes();
    const size_t records = 3 + 3 * kFavouriteFolderBytes;
    ASSERT_GE(after.size(), records);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + records, after.begin()))
        << "every favourite record, reserved bytes included, is written back as read";
    const size_t scansBefore = before.size() - 2 * kScanFolderEntryBytes - 2;
    const size_t scansAfter = after.size() - 2 * kScanFolderEntryBytes - 2;
    EXPECT_TRUE(std::equal(before.begin() + scansBefore, before.end(), after.begin() + scansAfter));
}

TEST_F(AppDataTest, FavouritesAreCappedAndAFailedSaveIsReportedAndKeepsTheOldFile)
{
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(theAppData.AddFavourite(Favourite(u"f", u"/f", 0)));
    EXPECT_FALSE(theAppData.AddFavourite(Favourite(u"one more", u"/g", 0)));
    // Even a list grown behind AddFavourite's back is saved as one that loads.
    theAppData.favourites.push_back(Favourite(u"past", u"/h", 0));
    theAppData.Save();
    std::vector<uint8_t> b = ConfigBytes();
    EXPECT_EQ(GetU16(&b[1]), 256);
    AppData back;
    CopyText(back.configPath, config);
    EXPECT_EQ(back.Load(), 1);

    // A config path in a folder that does not exist: the message, nothing written.
    CopyText(theAppData.configPath, folder.Path(u"missing/config.dat"));
    theAppData.Save();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], kAppDataWriteFailedText);
    EXPECT_EQ(ConfigBytes(), b) << "the last good file is untouched";
}

TEST_F(AppDataTest, InitFindsItsFoldersAndReadsTheEditionFlag)
{
    ASSERT_EQ(InitAppData(), 1);
    const String16 data = folder.Path(u"data/Zendra/");
    EXPECT_EQ(String16(BufferView(theAppData.dataFolder)), data);
    EXPECT_EQ(String16(BufferView(theAppData.configPath)), data + u"config.dat");
    EXPECT_TRUE(IsRegularFile(data + u"config.dat")) << "a first start writes the defaults";
    EXPECT_EQ(String16(BufferView(theAppData.programFolder)), ProgramFolder() + u"/");
    char16_t path[1024] = {};
    EXPECT_EQ(ReadRegistryString(u"Program", u"Path", nullptr, path, 1024, 1), 1);
    EXPECT_EQ(String16(BufferView(path)), ProgramPath());
    EXPECT_EQ(theAppData.EditionFlag.load(), 0);
    EXPECT_EQ(VersionDisplayOffsetTenths, 5);

    ASSERT_TRUE(platform::test::WriteText(
        folder.Path(u"machine.txt"),
        "; Zendra settings 1\n[\"Software\\\\Velmora\\\\Zendra\\\\Version\"]\n\"Kestrune\"=dword:00000001\n"));
    SetSettingsFiles(folder.Path(u"user.txt"), folder.Path(u"machine.txt"));
    ASSERT_EQ(InitAppData(), 1);
    EXPECT_EQ(theAppData.EditionFlag.load(), 1);
    EXPECT_EQ(VersionDisplayOffsetTenths, 34);

    // 257 favourites announced: start-up fails.
    std::vector<uint8_t> bad = {1, 0x01, 0x01};
    ASSERT_TRUE(WriteWholeFileAtomic(data + u"config.dat", bad));
    EXPECT_EQ(InitAppData(), 0);

    // No parent for the data folder (the user data folder is a file).
    env.Set("XDG_DATA_HOME", folder.Native() + "/plainfile");
    ASSERT_TRUE(platform::test::WriteText(folder.Path(u"plainfile"), "x"));
    EXPECT_EQ(InitAppData(), 0);
}

TEST_F(AppDataTest, TempNamesAreUniqueWithinOneSecondAndDeletedAtTheEnd)
{
    const String16 tmp = PrivateTempFolder();
    ASSERT_FALSE(tmp.empty());
    const int64_t now = 1700000000;
    const String16 a = theAppData.MakeTempFileName(u"his", now);
    const String16 b = theAppData.MakeTempFileName(u"his", now);
    EXPECT_EQ(a, JoinPath(tmp, u"his1700000000.zdtmp"));
    EXPECT_EQ(b, JoinPath(tmp, u"his1700000001.zdtmp")) << "same second, already handed out";
    EXPECT_FALSE(PathExists(a)) << "nothing is created";
    // A name taken on disk by someone else is passed over too.
    ASSERT_TRUE(platform::test::WriteText(JoinPath(tmp, u"his1700000002.zdtmp"), "other"));
    EXPECT_EQ(theAppData.MakeTempFileName(u"his", now), JoinPath(tmp, u"his1700000003.zdtmp"));
    // Negative numbers once the 32 bits run over, as the signed low word gives them.
    EXPECT_EQ(theAppData.MakeTempFileName(u"pagemem", 0x80000000LL), JoinPath(tmp, u"pagemem-2147483648.zdtmp"));
    // Through the adapter the history store uses.
    const String16 viaAdapter = AppDataTempFileNames().MakeTempFileName(u"filter");
    EXPECT_EQ(theAppData.tempNames.back(), String16(FileNamePart(viaAdapter)));
    EXPECT_EQ(theAppData.tempNames.size(), 5u);

    ASSERT_TRUE(platform::test::WriteText(a, "mine"));
    ASSERT_TRUE(platform::test::WriteText(JoinPath(tmp, u"keep.zdtmp"), "not this run's"));
    DeleteRunTempFiles();
    EXPECT_FALSE(PathExists(a));
    EXPECT_TRUE(PathExists(JoinPath(tmp, u"keep.zdtmp")));
    EXPECT_TRUE(PathExists(JoinPath(tmp, u"his1700000002.zdtmp"))) << "never handed out";
}

TEST_F(AppDataTest, StaleTempFilesAroundMidnight)
{
    const String16 tmp = PrivateTempFolder();
    ASSERT_FALSE(tmp.empty());
    // "Now" is 12:00 local time on some day; the files are stamped so that their UTC dates fall
    // where the rule looks: the UTC date turned into local midnight.
    CalendarTime noon{2026, 3, 18, 12, 0, 0};
    int64_t now = 0;
    ASSERT_TRUE(UnixFromLocalCalendar(noon, now));
    // The moment whose UTC calendar date is `days` before today's local date, at hh:mm UTC.
    auto utcDaysBack = [&](int days, int hour, int minute) {
        CalendarTime today;
        CalendarFromUnix(now, true, today);
        // Noon local is the same UTC date in every zone within +-11 hours.
        std::tm t{};
        t.tm_year = today.year - 1900;
        t.tm_mon = today.month - 1;
        t.tm_mday = today.day - days;
        t.tm_hour = hour;
        t.tm_min = minute;
        return int64_t(timegm(&t));
    };
    struct Case {
        const char16_t* name;
        int64_t when;
        bool folder;
        bool kept;
    };
    const std::vector<Case> cases = {
        {u"now.zdtmp", now, false, true},
        {u"yesterday-2359.zdtmp", utcDaysBack(1, 23, 59), false, true},
        {u"yesterday-0001.zdtmp", utcDaysBack(1, 0, 1), false, true},
        {u"twodays-2359.zdtmp", utcDaysBack(2, 23, 59), false, false},
        {u"twodays-0001.zdtmp", utcDaysBack(2, 0, 1), false, false},
        {u"threedays.zdtmp", utcDaysBack(3, 12, 0), false, false},
        {u"tomorrow.zdtmp", utcDaysBack(-1, 12, 0), false, true},
        {u"old.txt", utcDaysBack(3, 12, 0), false, true},
        {u"x.zdtmp", utcDaysBack(3, 12, 0), true, true},
    };
    for (const Case& c : cases) {
        const String16 p = JoinPath(tmp, c.name);
        if (c.folder)
            ASSERT_TRUE(CreateFolder(p));
        else
            ASSERT_TRUE(platform::test::WriteText(p, "x"));
        ASSERT_TRUE(SetLastWriteTime(p, FileTimeFromUnix(c.when)));
    }
    DeleteStaleTempFiles(now);
    for (const Case& c : cases)
        EXPECT_EQ(PathExists(JoinPath(tmp, c.name)), c.kept) << Utf16ToUtf8(c.name);
}

TEST_F(AppDataTest, StaleRuleUsesTheUtcDateAtLocalMidnight)
{
    // In a zone far east of UTC the UTC date of a file lags its local date: a file written at
    // 01:00 local on the 16th has the UTC date 15th, and at 12:00 on the 17th it counts as two
    // days old.
    // A zone string that needs no time-zone database: nine hours east of UTC, no summer time.
    // The zone is read again once TZ is back (destroyed after `zone`).
    struct ZoneReset {
        ~ZoneReset() { tzset(); }
    } reset;
    ScopedEnv zone;
    zone.Set("TZ", "JST-9");
    tzset();
    const String16 tmp = PrivateTempFolder();
    int64_t now = 0, written = 0;
    ASSERT_TRUE(UnixFromLocalCalendar(CalendarTime{2026, 3, 17, 12, 0, 0}, now));
    ASSERT_TRUE(UnixFromLocalCalendar(CalendarTime{2026, 3, 16, 1, 0, 0}, written));
    const String16 p = JoinPath(tmp, u"early.zdtmp");
    ASSERT_TRUE(platform::test::WriteText(p, "x"));
    ASSERT_TRUE(SetLastWriteTime(p, FileTimeFromUnix(written)));
    const String16 q = JoinPath(tmp, u"late.zdtmp");
    ASSERT_TRUE(platform::test::WriteText(q, "x"));
    int64_t lateWritten = 0;
    ASSERT_TRUE(UnixFromLocalCalendar(CalendarTime{2026, 3, 16, 10, 0, 0}, lateWritten));
    ASSERT_TRUE(SetLastWriteTime(q, FileTimeFromUnix(lateWritten)));
    DeleteStaleTempFiles(now);
    EXPECT_FALSE(PathExists(p)) << "UTC date 15th: two days before the 17th";
    EXPECT_TRUE(PathExists(q)) << "UTC date 16th: one day";
}


// Three days on (the clock moved, the files as they were): the clean-up keeps what a crash
// needs, what a running program holds and what this run named; recovery then still works.
TEST_F(AppDataTest, StaleCleanupLeavesCrashedAndRunningHistoriesAndRecoveryFollows)
{
    const String16 tmp = PrivateTempFolder();
    ASSERT_FALSE(tmp.empty());
    const String16 status = DefaultCrashStatusPath();
    const int64_t now = int64_t(std::time(nullptr));
    CZDDoc expected;
    {
        // A run that crashes with one edited tab.
        CZDDoc doc;
        AddOwned(doc, PatternImage16(6, 4, 5), u"bg");
        CopyText(doc.path, u"/photos/crashed.jpg");
        HistoryStore store;
        ASSERT_EQ(store.Init(&doc, JoinPath(tmp, u"hisCrash.zdtmp")), 1);
        ASSERT_EQ(store.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
        doc.layers[0]->pixels.data[1] = 1234;
        ASSERT_EQ(store.AddStep(kHistoryLayer, 0, u"edit", false, 0, nullptr, 0), 1);
        ASSERT_TRUE(expected.CopyFrom(doc));
        CrashStatusFile file(status);
        ASSERT_EQ(file.WriteCrashStatus({&store}), 1);
    }
    // A running program's history (held), this run's own, and one nobody wants.
    CZDDoc liveDoc;
    AddOwned(liveDoc, PatternImage16(2, 2, 1), u"bg");
    HistoryStore live;
    ASSERT_EQ(live.Init(&liveDoc, JoinPath(tmp, u"hisLive.zdtmp")), 1);
    const String16 mine = theAppData.MakeTempFileName(u"his");
    ASSERT_TRUE(platform::test::WriteText(mine, "this run"));
    ASSERT_TRUE(platform::test::WriteText(JoinPath(tmp, u"hisStale.zdtmp"), "x"));

    DeleteStaleTempFiles(now + 3 * 86400);
    EXPECT_TRUE(PathExists(JoinPath(tmp, u"hisCrash.zdtmp"))) << "named by the crash's status file";
    EXPECT_TRUE(PathExists(JoinPath(tmp, u"hisLive.zdtmp"))) << "held by a running program";
    EXPECT_TRUE(PathExists(mine)) << "this run's";
    EXPECT_FALSE(PathExists(JoinPath(tmp, u"hisStale.zdtmp")));

    struct Host : ICrashRecoveryHost {
        std::unique_ptr<CZDDoc> doc;
        bool AskCrashFound() override { return true; }
        bool OpenRecovered(const std::u16string&, CZDDoc& d, RecoveredHistory&) override
        {
            doc = std::make_unique<CZDDoc>();
            return doc->CopyFrom(d);
        }
    } host;
    CrashStatusFile next(status);
    const CrashRecoveryResult r = RecoverFromCrash(next, host);
    EXPECT_EQ(r.tabsOpened, 1);
    ASSERT_TRUE(host.doc);
    EXPECT_TRUE(SameImage(host.doc->layers[0]->pixels, expected.layers[0]->pixels));
    EXPECT_EQ(next.DeleteCrashStatus(), 1);
    // A status file that cannot be read might name anything: nothing is cleaned up then.
    const String16 huge = CrashStatusPathFor(status, 3);
    {
        File big;
        ASSERT_TRUE(big.Open(huge, FileMode::CreateNew));
        ASSERT_TRUE(big.SetSize(int64_t(300) << 20)); // sparse: no disk used
    }
    DeleteStaleTempFiles(now + 3 * 86400);
    EXPECT_TRUE(PathExists(JoinPath(tmp, u"hisCrash.zdtmp")));
    ASSERT_TRUE(DeleteFile(huge));
    // Without a status file naming it and with nobody holding it, it is stale like any other.
    DeleteStaleTempFiles(now + 3 * 86400);
    EXPECT_FALSE(PathExists(JoinPath(tmp, u"hisCrash.zdtmp")));
}

TEST_F(AppDataTest, InitNotesSavesInFlightAndRemovesWhatKilledRunsLeft)
{
    const String16 tmp = PrivateTempFolder();
    const std::string journal = ToNativePath(tmp) + "/saves";
    const std::string photo = folder.Native() + "/photo.jpg";
    ASSERT_TRUE(platform::test::WriteText(FromNativePath(photo), "photo"));
    // A run killed in the middle of a save, ten seconds ago.
    ASSERT_EQ(InitAppData(), 1);
    const pid_t child = fork();
    if (child == 0) {
        static AtomicFileWriter w; // never destroyed: _exit runs no clean-up
        _exit(w.Open(FromNativePath(photo)) && w.Write("half", 4) ? 0 : 1);
    }
    int exitStatus = 1;
    waitpid(child, &exitStatus, 0);
    ASSERT_EQ(exitStatus, 0);
    std::vector<std::string> left;
    for (const char* folderName : {"/", "/saves/"}) {
        const std::string where = (folderName[1] ? journal : folder.Native()) + "/";
        std::vector<FileInfo> entries;
        ListFolder(FromNativePath(where), u"*", entries);
        for (const FileInfo& e : entries)
            if (Utf16ToUtf8(e.name).find(std::to_string(child)) != std::string::npos)
                left.push_back(where + Utf16ToUtf8(e.name));
    }
    ASSERT_EQ(left.size(), 2u) << "the hidden file beside the photo and its note";
    const struct timespec past[2] = {{time(nullptr) - 10, 0}, {time(nullptr) - 10, 0}};
    for (const std::string& p : left)
        ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), past, AT_SYMLINK_NOFOLLOW), 0);

    ASSERT_EQ(InitAppData(), 1);
    for (const std::string& p : left) {
        struct stat st {};
        EXPECT_NE(lstat(p.c_str(), &st), 0) << p << " removed";
    }
    EXPECT_EQ(platform::test::ReadText(FromNativePath(photo)), "photo");
}

TEST_F(AppDataTest, RegistryFunctions)
{
    EXPECT_EQ(ReadRegistryDword(u"Program", u"Animation", 1, 1), 1u) << "missing: the default";
    EXPECT_EQ(WriteRegistryDword(u"Program", u"Animation", 0), 1);
    EXPECT_EQ(ReadRegistryDword(u"Program", u"Animation", 1, 1), 0u);
    EXPECT_EQ(ReadRegistryDword(u"Program", u"Animation", 1, 0), 1u) << "the machine's values are apart";

    char16_t buf[64] = u"untouched";
    EXPECT_EQ(ReadRegistryString(u"Program", u"Language", u"", buf, 64, 1), 0);
    EXPECT_EQ(String16(BufferView(buf)), u"") << "the default is copied first";
    ASSERT_EQ(WriteRegistryString(u"Program", u"Language", u"Deutsch.txt"), 1);
    EXPECT_EQ(ReadRegistryString(u"Program", u"Language", u"", buf, 64, 1), 1);
    EXPECT_EQ(String16(BufferView(buf)), u"Deutsch.txt");

    ASSERT_EQ(WriteRegistryString(u"Program", u"Long", u"abcdefgh"), 1);
    char16_t small[5] = {};
    EXPECT_EQ(ReadRegistryString(u"Program", u"Long", nullptr, small, 5, 1), 1);
    EXPECT_EQ(String16(BufferView(small)), u"ab..");

    // 2048 characters and the terminator: 4098 bytes, over the limit.
    const String16 big(2048, u'x');
    ASSERT_EQ(WriteRegistryString(u"Program", u"Big", big.c_str()), 1);
    std::vector<char16_t> large(4096);
    EXPECT_EQ(ReadRegistryString(u"Program", u"Big", u"default", large.data(), 4096, 1), 0);
    EXPECT_EQ(String16(large.data()), u"default");
    // A path of 1024 characters (what "Last Path" may hold) reads back whole.
    const String16 path(1024, u'y');
    ASSERT_EQ(WriteRegistryString(u"Last Path", u"Open", path.c_str()), 1);
    EXPECT_EQ(ReadRegistryString(u"Last Path", u"Open", u"default", large.data(), 4096, 1), 1);
    EXPECT_EQ(String16(large.data()), path);
    const String16 fits(2047, u'z');
    ASSERT_EQ(WriteRegistryString(u"Program", u"Fits", fits.c_str()), 1);
    EXPECT_EQ(ReadRegistryString(u"Program", u"Fits", u"default", large.data(), 4096, 1), 1);

    // The machine scope is only read: writes go to the user's file, and no machine file appears.
    EXPECT_EQ(ReadRegistryDword(u"Version", u"Kestrune", 7, 0), 7u);
    EXPECT_FALSE(PathExists(folder.Path(u"machine.txt")));
    EXPECT_TRUE(Settings(SettingsScope::Machine).IsReadOnly());
}
