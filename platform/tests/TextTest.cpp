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
