#include "platform/Settings.h"

#include "platform/Folders.h"
#include "platform/Text.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include "platform/Thread.h"

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace platform;
using namespace platform::test;

namespace {

const char16_t* kProgram = u"Software\\Velmora\\Zendra\\Program";
const char16_t* kEditor = u"Software\\Velmora\\Zendra\\Editor";

} // namespace

TEST(Settings, DwordAndStringRoundTrip)
{
    TestFolder dir;
    String16 file = dir.Path(u"config/zendra/settings.txt"); // folders made on the first write
    const String16 tricky = u"C:\\Fotos \"Urlaub\"\n\tline2 \U0001F4F7 " + String16(1, char16_t(0xD800)) + u" end";
    {
        SettingsStore store(file, false);
        uint32_t d = 77;
        String16 s = u"unchanged";
        EXPECT_FALSE(store.ReadDword(kProgram, u"Animation", d)) << "nothing there yet";
        EXPECT_FALSE(store.ReadString(kProgram, u"Language", s));
        EXPECT_EQ(d, 77u);
        EXPECT_EQ(s, u"unchanged");

        ASSERT_TRUE(store.WriteDword(kProgram, u"Animation", 0));
        ASSERT_TRUE(store.WriteDword(kProgram, u"LastCheckVersion", 0xFFFFFFFFu));
        ASSERT_TRUE(store.WriteString(kProgram, u"Path", tricky));
        ASSERT_TRUE(store.WriteString(kEditor, u"Empty", u""));
        ASSERT_TRUE(store.WriteDword(kEditor, u"AutoWizard", 1));
        ASSERT_TRUE(store.WriteDword(kEditor, u"AutoWizard", 0)); // replaced
    }
    SettingsStore again(file, false);
    uint32_t d = 5;
    String16 s;
    ASSERT_TRUE(again.ReadDword(kProgram, u"Animation", d));
    EXPECT_EQ(d, 0u);
    ASSERT_TRUE(again.ReadDword(kProgram, u"LastCheckVersion", d));
    EXPECT_EQ(d, 0xFFFFFFFFu);
    ASSERT_TRUE(again.ReadString(kProgram, u"Path", s));
    EXPECT_EQ(s, tricky);
    ASSERT_TRUE(again.ReadString(kEditor, u"Empty", s));
    EXPECT_EQ(s, u"");
    ASSERT_TRUE(again.ReadDword(kEditor, u"AutoWizard", d));
    EXPECT_EQ(d, 0u);

    // Names compare as the registry's do, without regard to case.
    ASSERT_TRUE(again.ReadDword(u"SOFTWARE\\velmora\\ZENDRA\\program", u"animation", d));
    EXPECT_TRUE(again.KeyExists(u"software\\velmora\\zendra\\editor"));
    EXPECT_FALSE(again.KeyExists(u"Software\\Velmora\\Zendra\\Album"));

    // A value of the other type is not read.
    EXPECT_FALSE(again.ReadString(kProgram, u"Animation", s));
    EXPECT_FALSE(again.ReadDword(kProgram, u"Path", d));
    ASSERT_TRUE(again.DeleteValue(kProgram, u"Path"));
    EXPECT_FALSE(again.ReadString(kProgram, u"Path", s));
    EXPECT_FALSE(again.DeleteValue(kProgram, u"Path"));
    EXPECT_FALSE(again.LastLoadWasDamaged());
}

TEST(Settings, DamagedFileReadsAsEmptyAndIsKeptAside)
{
    const std::string cases[] = {
        std::string("\x00\x01\x02garbage", 10),
        "; Zendra settings 1\n[\"Software\\\\Velmora\\\\Zendra\\\\Program\"]\n\"Animation\"=dword:0000",   // cut short
        "; Zendra settings 1\n[\"Software\\\\Velmora\"]\n\"Language\"=\"no closing quote\n",
        "; Zendra settings 1\n\"Animation\"=dword:00000001\n",                                         // value before a key
        "; Zendra settings 1\n[\"K\"]\n\"A\"=dword:0000000G\n",
        "; Zendra settings 1\n[\"K\"]\n\"A\"=\"bad \xC3\x28 utf-8\"\n",
        "; Zendra settings 1\n[\"K\"]\n\"A\"=\"bad escape \\q\"\n",
        "; Zendra settings 1\n[\"K\"]\n\"A\"=\"short escape \\u12\"\n",
        "; Zendra settings 1\n[\"\"]\n",                                                                // empty key name
        "; Zendra settings 2\n",
        "[\"K\"]\n\"A\"=dword:00000001\n",                                                             // no header
    };
    for (const std::string& content : cases) {
        TestFolder dir;
        String16 file = dir.Path(u"settings.txt");
        File f;
        ASSERT_TRUE(f.Open(file, FileMode::CreateAlways));
        ASSERT_TRUE(f.Write(content.data(), content.size()));
        f.Close();

        SettingsStore store(file, false);
        uint32_t d = 9;
        EXPECT_FALSE(store.ReadDword(u"K", u"A", d));
        EXPECT_FALSE(store.ReadDword(kProgram, u"Animation", d));
        EXPECT_TRUE(store.LastLoadWasDamaged()) << content;
        EXPECT_EQ(ReadText(dir.Path(u"settings.txt.bad")), content) << "the damaged file is kept as it was";

        // The store works on: a write makes a fresh, sound file.
        ASSERT_TRUE(store.WriteDword(kProgram, u"Animation", 1));
        EXPECT_FALSE(store.LastLoadWasDamaged());
        SettingsStore reread(file, false);
        ASSERT_TRUE(reread.ReadDword(kProgram, u"Animation", d));
        EXPECT_EQ(d, 1u);
        EXPECT_EQ(ReadText(dir.Path(u"settings.txt.bad")), content);
    }
}

TEST(Settings, MachineScopeIsReadOnly)
{
    TestFolder dir;
    String16 file = dir.Path(u"settings.txt");
    {
        SettingsStore writer(file, false);
        ASSERT_TRUE(writer.WriteDword(u"Software\\Velmora\\Zendra\\Version", u"Kestrune", 1));
    }
    std::string before = ReadText(file);
    SettingsStore machine(file, true);
    uint32_t d = 0;
    ASSERT_TRUE(machine.ReadDword(u"Software\\Velmora\\Zendra\\Version", u"Kestrune", d));
    EXPECT_EQ(d, 1u);
    EXPECT_FALSE(machine.WriteDword(u"Software\\Velmora\\Zendra\\Version", u"Kestrune", 0));
    EXPECT_FALSE(machine.WriteString(kProgram, u"Language", u"x"));
    EXPECT_FALSE(machine.DeleteValue(u"Software\\Velmora\\Zendra\\Version", u"Kestrune"));
    EXPECT_EQ(ReadText(file), before);

    // A damaged machine file is read as empty but left where it is.
    ASSERT_TRUE(WriteText(file, "nonsense"));
    SettingsStore damaged(file, true);
    EXPECT_FALSE(damaged.ReadDword(u"Software\\Velmora\\Zendra\\Version", u"Kestrune", d));
    EXPECT_TRUE(damaged.LastLoadWasDamaged());
    EXPECT_EQ(ReadText(file), "nonsense");
    EXPECT_FALSE(PathExists(dir.Path(u"settings.txt.bad")));

    // A missing machine file is simply empty.
    SettingsStore missing(dir.Path(u"none.txt"), true);
    EXPECT_FALSE(missing.ReadDword(kProgram, u"x", d));
    EXPECT_FALSE(missing.LastLoadWasDamaged());
}

TEST(Settings, FailedWriteKeepsThePreviousValues)
{
    TestFolder dir;
    ASSERT_TRUE(WriteText(dir.Path(u"blocker"), "a file where a folder should be"));
    SettingsStore store(dir.Path(u"blocker/settings.txt"), false);
    EXPECT_FALSE(store.WriteDword(kProgram, u"Animation", 1));
    uint32_t d = 0;
    EXPECT_FALSE(store.ReadDword(kProgram, u"Animation", d)) << "a failed write must not show as stored";

    // The disk fills up during a write: the old file and the old values stay.
    String16 file = dir.Path(u"settings.txt");
    SettingsStore good(file, false);
    ASSERT_TRUE(good.WriteDword(kProgram, u"Animation", 1));
    std::string before = ReadText(file);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool wrote = good.WriteString(kProgram, u"Big", String16(4000, u'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(wrote);
    String16 s;
    EXPECT_FALSE(good.ReadString(kProgram, u"Big", s));
    ASSERT_TRUE(good.ReadDword(kProgram, u"Animation", d));
    EXPECT_EQ(d, 1u);
    EXPECT_EQ(ReadText(file), before);
    std::vector<FileInfo> left;
    ASSERT_TRUE(ListFolder(dir.Path(), u"*", left));
    EXPECT_EQ(left.size(), 2u) << "only the blocker and the settings file";
}

namespace {

// The checks of a settings file that exists but cannot be read, as an ordinary user meets it.
// Returns the first failure, empty when every check holds.
std::string CheckUnreadableFileIsLeftAlone(const String16& file)
{
    {
        SettingsStore writer(file, false);
        if (!writer.WriteDword(kProgram, u"Animation", 1))
            return "the first write failed";
    }
    if (chmod(ToNativePath(file).c_str(), 0) != 0)
        return "chmod 0 failed";
    SettingsStore store(file, false);
    uint32_t d = 7;
    if (store.ReadDword(kProgram, u"Animation", d))
        return "a file without read permission was read";
    if (store.LastLoadWasDamaged())
        return "an unreadable file was taken as damaged";
    if (store.WriteDword(kProgram, u"Other", 2))
        return "an unreadable file was written over";
    if (chmod(ToNativePath(file).c_str(), 0600) != 0)
        return "chmod 0600 failed";
    if (!store.ReadDword(kProgram, u"Animation", d) || d != 1)
        return "the values are gone";
    if (PathExists(file + u".bad"))
        return "the file was set aside";
    return "";
}

} // namespace

TEST(Settings, UnreadableFileIsNeverWrittenOver)
{
    TestFolder dir;
    const String16 file = dir.Path(u"settings.txt");
    if (getuid() != 0) {
        EXPECT_EQ(CheckUnreadableFileIsLeftAlone(file), "");
        return;
    }
    // Permissions do not bind the administrator: the checks run in a child turned ordinary user.
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(chown(dir.Native().c_str(), kNobody, kNobody), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        const bool dropped = setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
        const std::string failure = dropped ? CheckUnreadableFileIsLeftAlone(file) : "cannot become an ordinary user";
        const std::string report = failure.empty() ? "ok" : failure;
        if (write(fds[1], report.data(), report.size()) < 0) {
        }
        _exit(0);
    }
    close(fds[1]);
    std::string report;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        report.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(report, "ok");
}

TEST(Settings, SeesChangesFromAnotherWriter)
{
    TestFolder dir;
    String16 file = dir.Path(u"settings.txt");
    SettingsStore a(file, false), b(file, false);
    ASSERT_TRUE(a.WriteDword(kProgram, u"One", 1));
    uint32_t d = 0;
    ASSERT_TRUE(b.ReadDword(kProgram, u"One", d));
    ASSERT_TRUE(b.WriteDword(kProgram, u"Two", 2));
    ASSERT_TRUE(a.WriteDword(kProgram, u"Three", 3)); // must not drop b's value
    SettingsStore c(file, false);
    for (auto [name, value] : {std::pair{u"One", 1u}, {u"Two", 2u}, {u"Three", 3u}}) {
        ASSERT_TRUE(c.ReadDword(kProgram, name, d)) << Utf16ToUtf8(name);
        EXPECT_EQ(d, value);
    }
}

TEST(Settings, ConcurrentWritersAndReaders)
{
    TestFolder dir;
    SettingsStore store(dir.Path(u"settings.txt"), false);
    constexpr int kThreads = 4;
    constexpr int kEach = 10;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                String16 name = u"t" + IntToText(t) + u"_" + IntToText(i);
                if (!store.WriteDword(kEditor, name, static_cast<uint32_t>(t * 100 + i)))
                    ++failures;
                String16 s;
                store.ReadString(kEditor, name, s); // readers run between the writes
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    SettingsStore reread(dir.Path(u"settings.txt"), false);
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kEach; ++i) {
            uint32_t d = 0;
            ASSERT_TRUE(reread.ReadDword(kEditor, u"t" + IntToText(t) + u"_" + IntToText(i), d));
            EXPECT_EQ(d, static_cast<uint32_t>(t * 100 + i));
        }
}

TEST(Settings, TextFormat)
{
    const std::string text =
        "; Zendra settings 1\r\n"
        "; a comment\n"
        "\n"
        "[\"Software\\\\Velmora\\\\Zendra\\\\Program\"]\n"
        "\"Animation\"=dword:0000000a\n"
        "\"Language\"=\"Fran\xC3\xA7" "ais.txt\"\n"
        "\"Lone\"=\"\\uD800\\u0001\"\n";
    SettingsData data;
    ASSERT_TRUE(ParseSettingsText(text, data));
    const SettingsValues& program = data.at(kProgram);
    EXPECT_EQ(program.at(u"Animation").dword, 10u);
    EXPECT_EQ(program.at(u"Language").text, u"Français.txt");
    EXPECT_EQ(program.at(u"Lone").text, String16(u"\xD800\x0001", 2));

    // What is written reads back the same.
    SettingsData again;
    ASSERT_TRUE(ParseSettingsText(FormatSettingsText(data), again));
    EXPECT_EQ(again, data);
    EXPECT_NE(FormatSettingsText(data).find("[\"Software\\\\Velmora\\\\Zendra\\\\Program\"]\n\"Animation\"=dword:0000000A\n"),
              std::string::npos);

    SettingsData empty;
    EXPECT_TRUE(ParseSettingsText("", empty)) << "an empty file is an empty store";
    EXPECT_TRUE(empty.empty());
}

TEST(Settings, ProgramStoresCanBePointedAtAFolder)
{
    TestFolder dir;
    SetSettingsFiles(dir.Path(u"user.txt"), dir.Path(u"machine.txt"));
    ASSERT_TRUE(Settings(SettingsScope::User).WriteString(kProgram, u"Language", u"Deutsch.txt"));
    EXPECT_FALSE(Settings(SettingsScope::Machine).WriteString(kProgram, u"Language", u"x"));
    EXPECT_TRUE(IsRegularFile(dir.Path(u"user.txt")));
    EXPECT_FALSE(PathExists(dir.Path(u"machine.txt")));
    SetSettingsFiles(DefaultUserSettingsFile(), DefaultMachineSettingsFile());
    EXPECT_TRUE(Settings(SettingsScope::User).File().ends_with(u"/zendra/settings.txt"));
    EXPECT_EQ(Settings(SettingsScope::Machine).File(), JoinPath(ProgramFolder(), u"settings.txt"));
}

TEST(Settings, StoresOfSeveralProgramsOnOneFileLoseNoWrite)
{
    // Each store stands for another running instance: its own cache and its own lock, one file.
    TestFolder dir;
    const String16 file = dir.Path(u"settings.txt");
    constexpr int kStores = 4;
    constexpr int kEach = 12;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kStores; ++t) {
        threads.emplace_back([&, t] {
            SettingsStore store(file, false);
            for (int i = 0; i < kEach; ++i)
                if (!store.WriteDword(kEditor, u"s" + IntToText(t) + u"_" + IntToText(i), static_cast<uint32_t>(t * 100 + i)))
                    ++failures;
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    SettingsStore reread(file, false);
    int missing = 0;
    for (int t = 0; t < kStores; ++t)
        for (int i = 0; i < kEach; ++i) {
            uint32_t d = 0;
            if (!reread.ReadDword(kEditor, u"s" + IntToText(t) + u"_" + IntToText(i), d) || d != static_cast<uint32_t>(t * 100 + i))
                ++missing;
        }
    EXPECT_EQ(missing, 0) << "values written by one instance were dropped by another's write";
    EXPECT_FALSE(PathExists(dir.Path(u"settings.txt.bad")));
}

TEST(Settings, WriteWaitsWhileAnotherInstanceHoldsTheLock)
{
    TestFolder dir;
    const String16 file = dir.Path(u"settings.txt");
    // Another instance in the middle of its write holds the lock on the folder.
    const int held = open(dir.Native().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        SettingsStore store(file, false);
        EXPECT_TRUE(store.WriteDword(kProgram, u"Animation", 1));
        done = true;
    });
    SleepMs(200);
    EXPECT_FALSE(done.load()) << "the write did not wait for the other instance";
    EXPECT_FALSE(PathExists(file));
    close(held); // the other instance is done
    writer.join();
    EXPECT_TRUE(done.load());
    uint32_t d = 0;
    SettingsStore reread(file, false);
    ASSERT_TRUE(reread.ReadDword(kProgram, u"Animation", d));
    EXPECT_EQ(d, 1u);
}

TEST(Settings, OneBadLineCostsOnlyItself)
{
    const std::string content =
        "; Zendra settings 1\n"
        "[\"K\"]\n"
        "\"A\"=dword:00000001\n"
        "\"Broken\"=dword:0000000G\n"
        "\"B\"=\"two\"\n"
        "stray text\n"
        "[\"unclosed\"\n"
        "\"Lost\"=dword:00000005\n"
        "[\"L\"]\n"
        "\"C\"=dword:00000003\n";
    TestFolder dir;
    String16 file = dir.Path(u"settings.txt");
    ASSERT_TRUE(WriteText(file, content));

    SettingsStore store(file, false);
    uint32_t d = 0;
    String16 text;
    ASSERT_TRUE(store.ReadDword(u"K", u"A", d));
    EXPECT_EQ(d, 1u);
    ASSERT_TRUE(store.ReadString(u"K", u"B", text));
    EXPECT_EQ(text, u"two");
    ASSERT_TRUE(store.ReadDword(u"L", u"C", d));
    EXPECT_EQ(d, 3u);
    EXPECT_FALSE(store.ReadDword(u"K", u"Broken", d));
    EXPECT_FALSE(store.ReadDword(u"K", u"Lost", d)) << "a value under a bad section line has no key";
    EXPECT_TRUE(store.LastLoadWasDamaged());
    EXPECT_EQ(ReadText(dir.Path(u"settings.txt.bad")), content);

    // The next write keeps the good lines.
    ASSERT_TRUE(store.WriteDword(u"K", u"New", 7));
    SettingsStore reread(file, false);
    for (auto [key, name, want] : {std::tuple{u"K", u"A", 1u}, {u"L", u"C", 3u}, {u"K", u"New", 7u}}) {
        ASSERT_TRUE(reread.ReadDword(key, name, d)) << platform::Utf16ToUtf8(name);
        EXPECT_EQ(d, want);
    }
    ASSERT_TRUE(reread.ReadString(u"K", u"B", text));
    EXPECT_FALSE(reread.LastLoadWasDamaged());
}
