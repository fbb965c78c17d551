#include "copyhelper/CopyHelper.h"

#include "platform/tests/ImageFileTestUtil.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

using testutil::TempFolder;
namespace fs = std::filesystem;

TEST(CopyHelper, ParseQuotedArgument)
{
    struct Case { std::string text; const char* arg; bool found; size_t restAt; bool tooLong; };
    const std::string big(2000, 'p');
    const Case cases[] = {
        { "\"a b\" \"c\"", "a b", true, 5, false },         // blanks inside quotes stay
        { "  \"\"\"x\" rest", "x", true, 7, false },        // blanks and a run of quotes skipped
        { "\"unclosed", "unclosed", false, 0, false },      // copied, but no argument
        { "", "", false, 0, false },
        { "   ", "", false, 0, false },
        { "\"" + big + "\"", "", false, 0, true },          // never written past the buffer
        { "\"" + std::string(1023, 'q') + "\"", nullptr, true, 1025, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        char buffer[kHelperPathBytes];
        std::memset(buffer, 0, sizeof(buffer));
        bool tooLong = true;
        const char* rest = parse_quoted_arg(c.text.c_str(), buffer, tooLong);
        EXPECT_EQ(rest != nullptr, c.found);
        EXPECT_EQ(tooLong, c.tooLong);
        if (c.arg) {
            EXPECT_STREQ(buffer, c.arg);
        } else {
            EXPECT_EQ(std::string(buffer), std::string(1023, 'q'));
        }
        if (rest) {
            EXPECT_EQ(size_t(rest - c.text.c_str()), c.restAt);
        }
    }
}

TEST(CopyHelper, CopiesAndRefusals)
{
    TempFolder dir;
    struct Case { const char* why; size_t bytes; };
    const Case sizes[] = { { "empty", 0 }, { "one block", 4096 }, { "three blocks", 3 * 4096 }, { "odd", 5000 } };
    for (const Case& c : sizes) {
        SCOPED_TRACE(c.why);
        std::vector<uint8_t> data(c.bytes);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = uint8_t(i * 7 + 3);
        testutil::WriteAll(dir / "src file", data);
        testutil::WriteAll(dir / "dst file", { 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9 });
        const std::string line = "\"" + dir / "src file" + "\" \"" + dir / "dst file" + "\"";
        EXPECT_EQ(HelperMain(line.c_str(), false), 1);
        EXPECT_EQ(testutil::ReadAll(dir / "dst file"), data);
    }

    testutil::WriteAll(dir / "keep", { 1, 2, 3 });
    struct Refusal { const char* why; std::string line; HelperResult result; };
    const std::string src = dir / "keep";
    const Refusal refusals[] = {
        { "no argument", "", HelperResult::Failed },
        { "source unclosed", "\"" + src, HelperResult::Failed },
        { "only one path", "\"" + src + "\"", HelperResult::Failed },
        { "destination unclosed", "\"" + src + "\" \"" + dir / "new", HelperResult::Failed },
        { "missing source", "\"" + dir / "none" + "\" \"" + dir / "new" + "\"", HelperResult::Failed },
        { "folder that does not exist", "\"" + src + "\" \"" + dir / "no/such/new" + "\"", HelperResult::Failed },
        { "destination too long", "\"" + src + "\" \"" + dir.path() + "/" + std::string(1100, 'l') + "\"", HelperResult::Failed },
        { "the same file", "\"" + src + "\" \"" + src + "\"", HelperResult::Copied },
        { "the same file by another name", "\"" + src + "\" \"" + dir.path() + "/./keep\"", HelperResult::Copied },
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.why);
        char source[kHelperPathBytes];
        bool tooLong;
        const char* rest = parse_quoted_arg(r.line.c_str(), source, tooLong);
        const HelperResult got = rest ? copy_file_blocks(rest, source) : HelperResult::Failed;
        EXPECT_EQ(got, r.result);
        EXPECT_FALSE(fs::exists(dir / "new"));
        EXPECT_EQ(testutil::ReadAll(src), (std::vector<uint8_t>{ 1, 2, 3 })); // never emptied
    }
    // A hard link is the same file too.
    fs::create_hard_link(src, dir / "link");
    EXPECT_EQ(CopyOneFile(src, dir / "link"), HelperResult::Copied);
    EXPECT_EQ(testutil::ReadAll(src), (std::vector<uint8_t>{ 1, 2, 3 }));
}

TEST(CopyHelper, ProgramReportsFailuresOnStandardError)
{
    TempFolder dir;
    testutil::WriteAll(dir / "s.zdscm", { 5, 6, 7 });
    const std::string helper = MARROWBY_PATH;
    struct Case { const char* why; std::string args; bool copied; };
    const Case cases[] = {
        { "two arguments", testutil::Quote(dir / "s.zdscm") + " " + testutil::Quote(dir / "d.zdscm"), true },
        { "one quoted command line", testutil::Quote("\"" + dir / "s.zdscm" + "\" \"" + dir / "d.zdscm" + "\""), true },
        { "one path", testutil::Quote(dir / "s.zdscm"), false },
        { "unwritable place", testutil::Quote(dir / "s.zdscm") + " " + testutil::Quote(dir / "no/d.zdscm"), false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        fs::remove(dir / "d.zdscm");
        const std::string out = testutil::Output("ZENDRA_BACKEND=headless " + testutil::Quote(helper) + " " + c.args + " 2>&1; echo \"exit=$?\"");
        EXPECT_NE(out.find("exit=1"), std::string::npos) << out;
        EXPECT_EQ(fs::exists(dir / "d.zdscm"), c.copied);
        EXPECT_EQ(out.find("Failed to write files") != std::string::npos, !c.copied) << out;
    }
}

TEST(CopyHelper, RaisedRightsOnlyWhenNeeded)
{
    TempFolder dir;
    EXPECT_TRUE(FolderIsWritable(dir.path()));
    EXPECT_FALSE(FolderIsWritable(dir / "missing"));
    EXPECT_EQ(dir.CountEntries(), 0u); // the probe leaves nothing behind
    EXPECT_EQ(CopyHelperArguments("/opt/z/marrowby", "/tmp/a b", "/opt/z/Schemes/a b", true),
              (std::vector<std::string>{ "/opt/z/marrowby", "/tmp/a b", "/opt/z/Schemes/a b" }));
    EXPECT_EQ(CopyHelperArguments("/opt/z/marrowby", "/tmp/a", "/opt/z/Schemes/a", false),
              (std::vector<std::string>{ "pkexec", "/opt/z/marrowby", "/tmp/a", "/opt/z/Schemes/a" }));
    EXPECT_EQ(HelperCommandLine("/a b", "/c"), "\"/a b\" \"/c\"");
    EXPECT_EQ(HelperCommandLine("/a\"b", "/c"), "");
}
