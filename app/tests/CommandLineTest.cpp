#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(std::u16string_view s)
{
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

} // namespace

TEST(CommandLineTest, Grammar)
{
    const std::u16string longPath = u"/" + std::u16string(511, u'a');  // 512 characters
    const std::u16string fitting = u"/" + std::u16string(510, u'a');   // 511
    struct Case {
        std::u16string line;
        int mode;
        std::u16string path;
        bool opens;
        int result;
    };
    const std::vector<Case> cases = {
        {u"", 0, u"", false, 0},
        {u"o \"/p/a b.jpg\"", 0, u"/p/a b.jpg", true, 1},
        {u"o /p/a.jpg", 0, u"/p/a.jpg", true, 1},
        {u"o    \"/p/a b.jpg\" trailing", 0, u"/p/a b.jpg", true, 1},
        {u"o", 0, u"", false, 1},
        {u"i0 /x/ex.bin", 1, u"/x/ex.bin", false, 1},
        {u"i3 /p", 4, u"/p", false, 1},
        {u"i4 \"/p q\"", 5, u"/p q", false, 1},
        {u"i7", 8, u"", false, 0},
        {u"i7 /p", 8, u"", false, 0},
        {u"i", -47, u"", false, 0},
        {u"ix /p", 73, u"", false, 0},
        {u"\"/x y\"", 10, u"", false, 1},
        {u"\"", 10, u"", false, 1},
        {u"foo bar.jpg", 0, u"bar.jpg", false, 1},
        {u"/home/user/a.jpg", 0, u"", false, 1},
        {u"o " + fitting, 0, fitting, true, 1},
        {u"o " + longPath, 0, u"", false, 0},
        {u"i0 " + longPath, 1, u"", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.line).substr(0, 40));
        CommandLineRequest r;
        r.path[0] = u'z'; // reset by the parse
        EXPECT_EQ(ParseCommandLine(c.line, r), c.result);
        EXPECT_EQ(r.PluginMode, c.mode);
        EXPECT_EQ(std::u16string(r.path), c.path);
        EXPECT_EQ(r.FileToOpen() != nullptr, c.opens);
        if (c.opens) {
            EXPECT_EQ(r.FileToOpen(), r.path);
        }
    }
}

TEST(CommandLineTest, RebuiltFromArgumentsAndTheUninstallRun)
{
    struct Case {
        std::vector<const char*> argv;
        std::u16string line;
        bool uninstall;
    };
    const std::vector<Case> cases = {
        {{"zendra"}, u"", false},
        {{"zendra", "o", "/p/a b.jpg"}, u"o \"/p/a b.jpg\"", false},
        {{"zendra", "--backend=headless", "o", "/usr/share/a.jpg", "--sample=lists"}, u"o /usr/share/a.jpg", false},
        {{"zendra", "i0", ""}, u"i0 \"\"", false},
        {{"zendra", "/u"}, u"/u", true},
        {{"zendra", "--backend=headless", "/u"}, u"/u", true},
        {{"zendra", "/u", "x"}, u"/u x", true},
        {{"zendra", "o", "/u"}, u"o /u", false},
        {{"zendra", "o", "/home/user/a.jpg"}, u"o /home/user/a.jpg", false},
        {{"zendra", "/u x"}, u"\"/u x\"", false},
        {{"zendra", "/usr"}, u"/usr", false},
        {{"zendra", "--", "o", "--odd name.jpg"}, u"o \"--odd name.jpg\"", false},
        {{"zendra", "o", "/p/\xC3\xA4.jpg"}, u"o /p/\u00E4.jpg", false},
    };
    for (const Case& c : cases) {
        const std::u16string line = BuildCommandLine(int(c.argv.size()), c.argv.data());
        EXPECT_EQ(line, c.line) << Utf8(c.line);
        EXPECT_EQ(IsUninstallRun(line), c.uninstall) << Utf8(c.line);
    }
    // What the rebuilt line gives when parsed: the quoting rule and the grammar agree.
    const char* argv[] = {"zendra", "o", "/p/my photo.jpg"};
    CommandLineRequest r;
    ASSERT_EQ(ParseCommandLine(BuildCommandLine(3, argv), r), 1);
    EXPECT_EQ(std::u16string(r.FileToOpen()), u"/p/my photo.jpg");
}

TEST(CommandLineTest, ArgumentsWithADoubleQuoteKeepTheirExactPath)
{
    const std::string tooLong = "/" + std::string(520, 'q') + "\"";
    struct Case {
        std::vector<const char*> argv;
        int result;
        int mode;
        std::u16string path;
        bool opens;
    };
    const std::vector<Case> cases = {
        // The grammar would stop at the quote and name "/p/a" (or "/p/say "): another file.
        {{"zendra", "o", "/p/a\"b.jpg"}, 1, 0, u"/p/a\"b.jpg", true},
        {{"zendra", "o", "/p/say \"hi\".jpg"}, 1, 0, u"/p/say \"hi\".jpg", true},
        {{"zendra", "--backend=sdl", "o", "\"q\".jpg"}, 1, 0, u"\"q\".jpg", true},
        {{"zendra", "i0", "/x/\"ex\""}, 1, 1, u"/x/\"ex\"", false},
        {{"zendra", "o", tooLong.c_str()}, 0, 0, u"", false},
        // Without a quote in the path's arguments the grammar's own result stands.
        {{"zendra", "o", "/p/a b.jpg"}, 1, 0, u"/p/a b.jpg", true},
        {{"zendra", "i7", "/p/\"x\""}, 0, 8, u"", false},
        {{"zendra", "\"x", "/p/\"y\""}, 1, 10, u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argv.back());
        CommandLineRequest r;
        EXPECT_EQ(ParseArguments(int(c.argv.size()), c.argv.data(), r), c.result);
        EXPECT_EQ(r.PluginMode, c.mode);
        EXPECT_EQ(std::u16string(r.path), c.path);
        EXPECT_EQ(r.FileToOpen() != nullptr, c.opens);
    }
}

TEST(CommandLineTest, HelpAndVersionAreFoundAmongTheOptionsOnly)
{
    struct Case {
        std::vector<const char*> argv;
        std::string_view option;
    };
    const std::vector<Case> cases = {
        {{"zendra", "--help"}, "--help"},
        {{"zendra", "--backend=headless", "--version", "o", "/a.jpg"}, "--version"},
        {{"zendra", "o", "/a.jpg", "--help"}, "--help"},
        {{"zendra", "--", "o", "--help"}, ""},
        {{"zendra", "-h"}, ""},
        {{"zendra", "o", "/--help"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InfoOption(int(c.argv.size()), c.argv.data()), c.option) << c.argv.back();
}
