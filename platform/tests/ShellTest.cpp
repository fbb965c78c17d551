#include "platform/Shell.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace platform;

namespace {

// A stand-in opener: writes its arguments, one a line, to a file, then exits with the status
// given by the environment-free script body.
std::string WriteOpener(const std::string& folder, const std::string& body)
{
    const std::string path = folder + "/opener.sh";
    std::ofstream(path) << "#!/bin/sh\n"
                        << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << folder << "/args.txt'\n"
                        << body << "\n";
    chmod(path.c_str(), 0700);
    return path;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct OpenerReset {
    ~OpenerReset() { SetShellOpener(""); }
};

} // namespace

TEST(ShellOpen, PassesTheTargetAsOneArgumentWithoutAShell)
{
    test::TestFolder folder;
    OpenerReset reset;
    SetShellOpener(WriteOpener(folder.Native(), "exit 0"));
    struct Case {
        std::u16string target;
        std::string argument; // what the opener receives
    };
    const Case cases[] = {
        { u"/home/u/My Pictures/help; rm -rf ~.pdf", "/home/u/My Pictures/help; rm -rf ~.pdf" },
        { u"/tmp/$(touch x)`id`'\"*.pdf", "/tmp/$(touch x)`id`'\"*.pdf" },
        { u"https://example.org/a?b=1&c=\u00e9\\d", "https://example.org/a?b=1&c=\xc3\xa9\\d" },
        { u"/p/Tarnwick\\2.pdf", "/p/Tarnwick\\2.pdf" }, // a backslash belongs to the name
        { u"-version", "./-version" },
    };
    for (const Case& c : cases) {
        const ShellOpenResult r = ShellOpen(c.target);
        EXPECT_EQ(r.status, ShellOpenStatus::Opened) << c.argument;
        EXPECT_TRUE(r.Succeeded());
        EXPECT_GT(r.LegacyCode(), 32);
        EXPECT_EQ(ReadAll(folder.Native() + "/args.txt"), c.argument + "\n");
    }
}

TEST(ShellOpen, FailuresAreReported)
{
    test::TestFolder folder;
    OpenerReset reset;
    SetShellOpener(WriteOpener(folder.Native(), "exit 4"));
    ShellOpenResult r = ShellOpen(u"/tmp/none.pdf");
    EXPECT_EQ(r.status, ShellOpenStatus::Failed);
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_FALSE(r.Succeeded());
    EXPECT_EQ(r.LegacyCode(), 4);

    SetShellOpener(WriteOpener(folder.Native(), "kill -9 $$"));
    r = ShellOpen(u"/tmp/none.pdf");
    EXPECT_EQ(r.status, ShellOpenStatus::Failed);
    EXPECT_EQ(r.exitCode, 128 + 9);
    EXPECT_LT(r.LegacyCode(), 32);

    SetShellOpener(folder.Native() + "/no-such-opener");
    r = ShellOpen(u"/tmp/none.pdf");
    EXPECT_EQ(r.status, ShellOpenStatus::NotStarted);
    EXPECT_NE(r.error, 0);
    EXPECT_EQ(r.LegacyCode(), 2);

    EXPECT_EQ(ShellOpen(u"").status, ShellOpenStatus::BadTarget);
    EXPECT_EQ(ShellOpenUtf8(std::string("a\0b", 3)).status, ShellOpenStatus::BadTarget);
}

TEST(ShellOpen, ASlowOpenerDoesNotBlockTheCaller)
{
    test::TestFolder folder;
    OpenerReset reset;
    SetShellOpener(WriteOpener(folder.Native(), "sleep 2; exit 0"));
    const auto start = std::chrono::steady_clock::now();
    const ShellOpenResult r = ShellOpen(u"/tmp/none.pdf", 100);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.status, ShellOpenStatus::StillRunning);
    EXPECT_TRUE(r.Succeeded());
    EXPECT_LT(took, std::chrono::milliseconds(1500));
}

TEST(ShellOpen, TheDesktopOpenerReportsAMissingFile)
{
    // The real xdg-open (installed by the set-up) refuses a file that is not there.
    const ShellOpenResult r = ShellOpen(u"/nonexistent-zendra-folder/help.pdf");
    EXPECT_EQ(r.status, ShellOpenStatus::Failed);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_LT(r.LegacyCode(), 32);
}
