// Property values: numbers and fractions, rational texts, choice lists, committed integers with
// their range.
#include "ui/PropertyList.h"

#include <gtest/gtest.h>

#include <string>

TEST(PropertyValues, NumbersAndFractions)
{
    struct Case { const char16_t* text; int ok; double value; };
    const Case cases[] = {
        {u"7", 1, 7},          {u"-3/4", 1, -0.75},  {u"1/250", 1, 0.004}, {u" 2.5", 1, 2.5},
        {u"3/0", 0, 0},        {u"x", 0, 0},         {u"", 0, 0},          {u"1/1e-9", 0, 0},
        {u"6/4/9", 1, 1.5},    {u"1e2/4", 1, 25},    {u"/4", 1, 0},        {u"-", 1, 0},
    };
    for (const Case& c : cases) {
        double v = -99;
        const int ok = ParseNumberOrFraction(c.text, v);
        EXPECT_EQ(ok, c.ok) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
        if (ok) {
            EXPECT_DOUBLE_EQ(v, c.value);
        }
    }
}

TEST(PropertyValues, RationalTexts)
{
    struct Case { double value; const char16_t* text; };
    const Case cases[] = {
        {0.004, u"1/250"}, {2.5, u"2.5"}, {0, u"0"}, {0.5, u"1/2"}, {1, u"1/1"},
        {-0.00005, u"-1/10000"}, {0.00005, u"1/10000"}, {-0.25, u"-1/4"}, {0.00004, u"0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RationalText(c.value), c.text) << c.value;
    EXPECT_EQ(RationalText(int64_t(10), int64_t(-4)), u"-5/2");
    EXPECT_EQ(RationalText(int64_t(3), int64_t(-12)), u"-1/4");
    EXPECT_EQ(RationalText(int64_t(3), int64_t(0)), u"");
}

TEST(PropertyValues, ChoicesStopAtTheFirstBadSegment)
{
    CPropItem item;
    EXPECT_EQ(item.SetChoices(u"Auto^0|Manual^1|Bracket^2"), 3);
    EXPECT_EQ(item.choices[1].value, 1);
    EXPECT_EQ(std::u16string(item.choices[2].label), u"Bracket");
    EXPECT_EQ(item.SetChoices(u"On^1|broken|Off^0"), 1);
    EXPECT_EQ(item.SetChoices(u""), 0);
    EXPECT_EQ(item.SetChoices(u"A label that is far longer than sixty-three characters, surely it is^5"), 1);
    EXPECT_EQ(std::u16string(item.choices[0].label).size(), 63u);
    EXPECT_EQ(item.choices[0].value, 5);
}

TEST(PropertyValues, CommittedIntegersAreCheckedAgainstTheRange)
{
    struct Case { int kind, minimum, maximum; const char16_t* text; CPropItem::Commit result; const char16_t* stored; };
    const Case cases[] = {
        {1, 0, 0xFFFFFE, u"42", CPropItem::Commit::Ok, u"42"},
        {1, 0, 0xFFFFFE, u"16777215", CPropItem::Commit::OutOfRange, u"old"},
        {3, -2147483647, 2147483647, u"-17", CPropItem::Commit::Ok, u"-17"},
        {3, -2147483647, 2147483647, u"99999999999999999999", CPropItem::Commit::NotANumber, u"old"},
        {3, -2147483647, 2147483647, u"12abc", CPropItem::Commit::NotANumber, u"old"},
        {3, 0, 10, u"abc", CPropItem::Commit::NotANumber, u"old"},
        {3, 0, 10, u"-1", CPropItem::Commit::OutOfRange, u"old"},
        {4, 0, 0, u"0.004", CPropItem::Commit::Ok, u"1/250"},
        {4, 0, 0, u"1/0", CPropItem::Commit::NotANumber, u"old"},
        {6, 0, 0, u"2024:05:01", CPropItem::Commit::Ok, u"2024:05:01"},
    };
    for (const Case& c : cases) {
        CPropItem item;
        item.kind = c.kind;
        item.minimum = c.minimum;
        item.maximum = c.maximum;
        item.value = u"old";
        EXPECT_EQ(item.CommitText(c.text), c.result) << c.kind;
        EXPECT_EQ(item.value, c.stored) << c.kind;
    }
}
