// String-table sources: compiling, the line checks, and the language comparison.
#include "tools/StringSource.h"

#include <gtest/gtest.h>

namespace {

StringTable Table(const std::string& source)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(tools::CompileStringSource(source, bytes, error)) << error;
    StringTable t;
    EXPECT_EQ(t.ParseBytes(bytes), 1);
    return t;
}

} // namespace

TEST(StringSourceTest, CompiledFileIsWhatTheProgramReads)
{
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(tools::CompileStringSource("; comment\n\n\"title\"=\"Zendra\"\r\n\"umlaut\"=\"Größe\"\n", bytes, error));
    // Byte-order mark, the marker, CR LF.
    ASSERT_GE(bytes.size(), 28u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(bytes[2], '[');
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(bytes[24], '\r');
    EXPECT_EQ(bytes[26], '\n');
    StringTable t;
    ASSERT_EQ(t.ParseBytes(bytes), 1);
    EXPECT_EQ(t.Count(), 2u);
    EXPECT_EQ(std::u16string(t.LookupText(u"umlaut")), u"Größe");
}

TEST(StringSourceTest, BadLinesStopTheBuild)
{
    struct Case {
        const char* source;
        const char* error;
    };
    const Case cases[] = {
        {"\"key\"=\"\"\n", "line 1: not a"},
        {"\"ok\"=\"fine\"\n\"a\"=\"b\"\n", "line 2: not a"}, // too short: the program would skip it
        {"\"ok\"=\"fine\"\n  \"indented\"=\"x\"\n", "line 2: not a"},
        {"\"key\" = \"x\"\n", "line 1: not a"},
        {"\"dup\"=\"one\"\n\"dup\"=\"two\"\n", "line 2: key defined twice"},
        {"text without quotes\n", "line 1: not a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_FALSE(tools::CompileStringSource(c.source, bytes, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    std::string longLine = "\"long\"=\"" + std::string(1100, 'x') + "\"\n";
    EXPECT_FALSE(tools::CompileStringSource(longLine, bytes, error));
}

TEST(StringSourceTest, Placeholders)
{
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"plain", ""},          {u"%d of %s", "ds"},    {u"100%% done", ""}, {u"%.1f and %-08ld", "fd"},
        {u"%I64d %c %%%s", "dcs"}, {u"ends in %", ""},   {u"%5.2g", "g"},
    };
    for (const auto& [text, kinds] : cases)
        EXPECT_EQ(tools::Placeholders(text), kinds) << std::string(kinds);
}

TEST(StringSourceTest, LanguageMustMatchEnglish)
{
    StringTable english = Table("\"title\"=\"Zendra\"\n\"count\"=\"Layer %d\"\n\"ask\"=\"Version %.1f: %s\"\n");
    struct Case {
        const char* name;
        std::string language;
        bool ok;
        const char* error;
    };
    const Case cases[] = {
        {"complete", "\"title\"=\"Zendra\"\n\"count\"=\"Ebene %d\"\n\"ask\"=\"Version %.1f: %s\"\n", true, ""},
        {"missing key", "\"title\"=\"Zendra\"\n\"count\"=\"Ebene %d\"\n", false, "missing key: ask\n"},
        {"extra key", "\"title\"=\"Zendra\"\n\"count\"=\"Ebene %d\"\n\"ask\"=\"V %.1f %s\"\n\"more\"=\"mehr\"\n", false,
         "key not in the English table: more\n"},
        {"swapped placeholders", "\"title\"=\"Zendra\"\n\"count\"=\"Ebene %d\"\n\"ask\"=\"%s: Version %.1f\"\n", false,
         "placeholders differ: ask\n"},
        {"lost placeholder", "\"title\"=\"Zendra\"\n\"count\"=\"Ebene\"\n\"ask\"=\"Version %.1f: %s\"\n", false,
         "placeholders differ: count\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringTable language = Table(c.language);
        std::string error;
        EXPECT_EQ(tools::CompareLanguage(english, language, error), c.ok);
        EXPECT_EQ(error, c.error);
    }
}
