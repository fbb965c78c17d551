#include "platform/Format.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Format, MatchingFormatsProduceText)
{
    struct Case { std::optional<String16> got; const char16_t* expected; };
    const String16 name = u"Bild \U0001F4F7";
    const Case cases[] = {
        {Format(u"%08d %s\r\n", 1234, u"Album Init OK"), u"00001234 Album Init OK\r\n"},
        {Format(u"%d/%u/%x/%X", -5, 7u, 255, 0xABCDu), u"-5/7/ff/ABCD"},
        {Format(u"%u %x", -1, -1), u"4294967295 ffffffff"},     // a 32-bit argument stays 32 bits
        {Format(u"%lld %I64d", int64_t(-1) << 40, uint64_t(1) << 40), u"-1099511627776 1099511627776"},
        {Format(u"%.2f|%6.1f|%-6.1f|%+d", 3.14159, 2.25, 2.25, 3), u"3.14|   2.2|2.2   |+3"},
        {Format(u"[%5s][%-5s][%.2s]", String16(u"ab"), u"ab", u"abc"), u"[   ab][ab   ][ab]"},
        {Format(u"%s.%s", name, StringView16(u"jpg")), u"Bild \U0001F4F7.jpg"},
        {Format(u"%c%c", u'\u00e9', 65), u"\u00e9A"},
        {Format(u"100%% %s", u"done"), u"100% done"},
        {Format(u"?q=%f%c,%f%c", 48.5, u'N', 11.25, u'E'), u"?q=48.500000N,11.250000E"},
        {Format(u"no placeholders"), u"no placeholders"},
        {Format(u"%s", static_cast<const char16_t*>(nullptr)), u""},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.got.has_value()) << Utf16ToUtf8(c.expected);
        EXPECT_EQ(*c.got, String16(c.expected));
    }
}

TEST(Format, MismatchedFormatsAreRefused)
{
    struct Case { std::optional<String16> got; const char* why; };
    const Case cases[] = {
        {Format(u"%s", 5), "integer for text"},
        {Format(u"%d", u"five"), "text for integer"},
        {Format(u"%d", 1.5), "double for integer"},
        {Format(u"%f", 2), "integer for double"},
        {Format(u"%c", u"x"), "text for a character"},
        {Format(u"%d %d", 1), "too few arguments"},
        {Format(u"%d", 1, 2), "too many arguments"},
        {Format(u"text", 1), "argument without placeholder"},
        {Format(u"%n", 1), "%n"},
        {Format(u"%p", 1), "%p"},
        {Format(u"%*d", 5, 1), "star width"},
        {Format(u"%.*s", 2, u"ab"), "star precision"},
        {Format(u"%q", 1), "unknown conversion"},
        {Format(u"50%", 1), "a lone percent at the end"},
        {Format(u"%99999d", 1), "a width too large"},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(c.got.has_value()) << c.why;
}

TEST(Format, RefusalProducesNothing)
{
    String16 out = u"kept";
    const FormatArg args[] = {FormatArg(1)};
    EXPECT_FALSE(FormatText(out, u"%d then %s", args));
    EXPECT_EQ(out, u"kept");
    EXPECT_TRUE(FormatText(out, u" %d", args));
    EXPECT_EQ(out, u"kept 1");

    char16_t buf[6] = u"xxxxx";
    EXPECT_FALSE(FormatToBuffer(buf, u"%s", 3));
    EXPECT_EQ(buf[0], 0);
    // A text that fits the format but not the buffer is cut, not refused.
    EXPECT_TRUE(FormatToBuffer(buf, u"%d", 1234567));
    EXPECT_EQ(String16(buf), u"12345");
}

TEST(Format, EveryConversionTakesOnlyItsOwnKindOfArgument)
{
    // Each conversion against one argument of each kind: accepted exactly where it fits.
    enum Fits : unsigned { kInt = 1, kUnsigned = 2, kDouble = 4, kText = 8, kChar = 16 };
    struct Conversion {
        const char16_t* format;
        unsigned fits;
    };
    const Conversion conversions[] = {
        {u"%d", kInt | kUnsigned}, {u"%i", kInt | kUnsigned}, {u"%u", kInt | kUnsigned},
        {u"%x", kInt | kUnsigned}, {u"%X", kInt | kUnsigned}, {u"%o", kInt | kUnsigned},
        {u"%ld", kInt | kUnsigned}, {u"%I64u", kInt | kUnsigned}, {u"%hd", kInt | kUnsigned},
        {u"%f", kDouble}, {u"%F", kDouble}, {u"%e", kDouble}, {u"%E", kDouble},
        {u"%g", kDouble}, {u"%G", kDouble}, {u"%lf", kDouble}, {u"%10.3f", kDouble},
        {u"%s", kText}, {u"%ls", kText}, {u"%-20.5s", kText},
        {u"%c", kChar | kInt | kUnsigned},
        // Never accepted: writes, pointers, unknown or narrow-text conversions, positions.
        {u"%n", 0}, {u"%p", 0}, {u"%a", 0}, {u"%S", 0}, {u"%C", 0}, {u"%Z", 0}, {u"%1$d", 0},
        {u"%*d", 0}, {u"%.*f", 0}, {u"%I32d", 0}, {u"%.99999f", 0}, {u"%l", 0}, {u"%-", 0}, {u"%I64", 0},
    };
    const String16 text = u"t";
    const FormatArg args[] = {FormatArg(-3), FormatArg(3u), FormatArg(2.5), FormatArg(text), FormatArg(u'c')};
    const unsigned kinds[] = {kInt, kUnsigned, kDouble, kText, kChar};
    for (const Conversion& c : conversions) {
        for (size_t k = 0; k < std::size(args); ++k) {
            String16 out = u"before";
            const bool accepted = FormatText(out, c.format, std::span<const FormatArg>(&args[k], 1));
            EXPECT_EQ(accepted, (c.fits & kinds[k]) != 0) << Utf16ToUtf8(c.format) << " with argument kind " << k;
            if (!accepted) {
                EXPECT_EQ(out, u"before") << Utf16ToUtf8(c.format);
            }
        }
        // A fitting placeholder still needs exactly one argument.
        String16 out;
        EXPECT_FALSE(FormatText(out, c.format, std::span<const FormatArg>())) << Utf16ToUtf8(c.format);
    }
}
