#include "imaging/DecodeTextEscapes.h"
#include "imaging/ReadTextLine.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TextEscapes, DecodeTable)
{
    struct Case { std::u16string source, expected; };
    const Case cases[] = {
        {u"a\\nb", u"a\nb"},
        {u"a\\rb", u"a\rb"},
        {u"a\\tb", u"a b"},       // any other escaped character becomes a space
        {u"a\\\\b", u"a\\b"},
        {u"ab\\", u"ab"},         // a final lone backslash ends the text
        {u"\\\\\\n", u"\\\n"},
        {u"", u""},
        {u"plain", u"plain"},
    };
    for (const Case& c : cases) {
        std::vector<char16_t> out(c.source.size() + 1, u'#');
        EXPECT_EQ(DecodeTextEscapes(c.source.c_str(), out.data()), 0);
        EXPECT_EQ(std::u16string(out.data()), c.expected);
    }
}

TEST(TextLines, SplitsAtRunsOfLineEnds)
{
    struct Case { std::u16string text; std::vector<std::u16string> lines; };
    const Case cases[] = {
        {u"one\r\ntwo", {u"one", u"two"}},
        {u"one\n\n\r\ntwo\n", {u"one", u"two"}},   // a run of CR and LF is one line end
        {u"\nlead", {u"", u"lead"}},
        {u"", {}},
        {u"single", {u"single"}},
    };
    for (const Case& c : cases) {
        std::vector<std::u16string> got;
        size_t pos = 0;
        std::u16string line;
        while (ReadTextLine(c.text, pos, line))
            got.push_back(line);
        EXPECT_EQ(got, c.lines);
    }
    // 1500 characters are read as 1023 and 477.
    const std::u16string longText(1500, u'x');
    size_t pos = 0;
    std::u16string line;
    ASSERT_TRUE(ReadTextLine(longText, pos, line));
    EXPECT_EQ(line.size(), 1023u);
    ASSERT_TRUE(ReadTextLine(longText, pos, line));
    EXPECT_EQ(line.size(), 477u);
    EXPECT_FALSE(ReadTextLine(longText, pos, line));
}
