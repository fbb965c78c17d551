#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Text, Utf8Utf16RoundTrip)
{
    const char16_t* cases[] = {
        u"",
        u"abc",
        u"Fotos/Überblick ÄÖÜ",
        u"日本語の写真.jpg",
        u"\U0001F4F7 camera",         // outside the BMP: a surrogate pair
        u"a\U00010000z\U0010FFFF",    // the first and the last supplementary code points
    };
    for (const char16_t* c : cases) {
        String16 s(c);
        EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
    }
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F4F7"), "\xF0\x9F\x93\xB7");
}

TEST(Text, InvalidInputBecomesReplacement)
{
    struct Case { std::string utf8; String16 expected; };
    const Case cases[] = {
        {"\xFF", u"\uFFFD"},
        {"a\xC3", u"a\uFFFD"},             // truncated sequence
        {"\xC0\xAF", u"\uFFFD"},           // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD"},       // encoded surrogate
        {"\xC3(x", u"\uFFFD(x"},           // bad continuation resumes at the next byte
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.expected) << c.utf8;
    EXPECT_EQ(Utf16ToUtf8(String16(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Text, CopyIntoFixedBufferAlwaysTerminates)
{
    struct Case { const char16_t* src; size_t capacity; String16 expected; };
    const Case cases[] = {
        {u"abc", 8, u"abc"},
        {u"abcdef", 4, u"abc"},                 // cut to capacity - 1
        {u"abc", 4, u"abc"},                    // exactly fits
        {u"", 1, u""},
        {u"ab\U0001F4F7", 4, u"ab"},            // the pair would be split: left out whole
        {u"ab\U0001F4F7", 5, u"ab\U0001F4F7"},
    };
    for (const Case& c : cases) {
        char16_t buf[8];
        std::fill(std::begin(buf), std::end(buf), u'#');
        size_t n = CopyText(buf, c.capacity, c.src);
        EXPECT_EQ(n, c.expected.size());
        EXPECT_EQ(String16(buf), c.expected);
        EXPECT_EQ(buf[n], 0);
        for (size_t i = c.capacity; i < 8; ++i)
            EXPECT_EQ(buf[i], u'#') << "wrote past the capacity";
    }
    char16_t untouched[1] = {u'#'};
    EXPECT_EQ(CopyText(untouched, 0, u"x"), 0u);
    EXPECT_EQ(untouched[0], u'#');

    char16_t fixed[4];
    CopyText(fixed, u"toolong");
    EXPECT_EQ(BufferView(fixed), u"too");
    // A record field without a terminator ends at its capacity.
    char16_t full[3] = {u'a', u'b', u'c'};
    EXPECT_EQ(BufferView(full), u"abc");
}

TEST(Text, AsciiCaseInsensitiveCompare)
{
    struct Case { const char16_t* a; const char16_t* b; int sign; };
    const Case cases[] = {
        {u"Photo.JPG", u"photo.jpg", 0},
        {u"abc", u"abd", -1},
        {u"ABD", u"abc", 1},
        {u"ab", u"abc", -1},
        {u"Über", u"über", -1},  // only ASCII letters fold: U+00DC < U+00FC
        {u"[", u"a", -1},        // '[' sorts before letters once they are lowered
    };
    for (const Case& c : cases) {
        int r = CompareNoCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << Utf16ToUtf8(c.a) << " vs " << Utf16ToUtf8(c.b);
        EXPECT_EQ(EqualsNoCase(c.a, c.b), c.sign == 0);
    }
    EXPECT_TRUE(EndsWithNoCase(u"IMG_1.JpEg", u".jpeg"));
    EXPECT_FALSE(EndsWithNoCase(u"eg", u".jpeg"));
    EXPECT_EQ(AsciiUpper(u"ab\u00e9z"), u"AB\u00e9Z");
    EXPECT_EQ(AsciiLower(u"AB\u00c9Z"), u"ab\u00c9z");
}

TEST(Text, IntegersAndText)
{
    EXPECT_EQ(IntToText(0), u"0");
    EXPECT_EQ(IntToText(-42), u"-42");
    EXPECT_EQ(IntToText(INT64_MIN), u"-9223372036854775808");
    EXPECT_EQ(UIntToText(UINT64_MAX), u"18446744073709551615");
    EXPECT_EQ(UIntToText(255, 16, true), u"FF");

    struct Strict { const char16_t* text; bool ok; int64_t value; };
    const Strict strict[] = {
        {u"123", true, 123},
        {u"-9223372036854775808", true, INT64_MIN},
        {u"+7", true, 7},
        {u"9223372036854775808", false, 0},
        {u"", false, 0},
        {u"-", false, 0},
        {u"12x", false, 0},
        {u" 1", false, 0},
    };
    for (const Strict& c : strict) {
        int64_t v = -1;
        EXPECT_EQ(TextToInt(c.text, v), c.ok) << Utf16ToUtf8(c.text);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
    uint64_t u = 0;
    EXPECT_TRUE(TextToUInt(u"ff", u, 16));
    EXPECT_EQ(u, 255u);
    EXPECT_FALSE(TextToUInt(u"18446744073709551616", u));

    struct Lenient { const char16_t* text; int32_t value; };
    const Lenient lenient[] = {
        {u"  42abc", 42}, {u"-17", -17}, {u"abc", 0}, {u"", 0},
        {u"99999999999", INT32_MAX}, {u"-2147483648", INT32_MIN}, {u"-99999999999", INT32_MIN},
    };
    for (const Lenient& c : lenient)
        EXPECT_EQ(ParseIntPrefix(c.text), c.value) << Utf16ToUtf8(c.text);
}
