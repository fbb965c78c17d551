#include "imaging/TextRender.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr const char* kPinnedFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class TextRender : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        platform::PinFontFile(kPinnedFont);
        // Drop a font cached before the pin.
        SharedTextResources().font.reset();
    }
    static void TearDownTestSuite() { platform::PinFontFile(""); }

    void TearDown() override
    {
        for (ImageBuffer8* image : {&out, &expected})
            FreeImageBuffer(*image);
    }

    static int Width(const char16_t* text, int height = kDefaultTextHeight)
    {
        platform::FontSpec wanted;
        wanted.face = u"Tahoma";
        wanted.height = height;
        return platform::Font::Create(wanted)->MeasureText(text).width;
    }

    // The cell height the platform font gives for a requested height (rounding may add one).
    static int LineHeight(int height = kDefaultTextHeight)
    {
        platform::FontSpec wanted;
        wanted.face = u"Tahoma";
        wanted.height = height;
        return platform::Font::Create(wanted)->MeasureText(u"x").height;
    }

    static bool HasInk(const ImageBuffer8& image)
    {
        for (uint32_t i = 0; i < image.byteSize; ++i)
            if (image.data[i])
                return true;
        return false;
    }

    static bool FourEqualBytes(const ImageBuffer8& image)
    {
        for (uint32_t i = 0; i < image.pixelCount; ++i) {
            const uint8_t* p = image.data + size_t(i) * 4;
            if (p[0] != p[1] || p[1] != p[2] || p[2] != p[3])
                return false;
        }
        return true;
    }

    static bool SameImage(const ImageBuffer8& a, const ImageBuffer8& b)
    {
        return a.width == b.width && a.height == b.height &&
               std::memcmp(a.data, b.data, a.byteSize) == 0;
    }

    ImageBuffer8 out;
    ImageBuffer8 expected;
    std::lock_guard<platform::CriticalSection> guard{SharedTextResources().lock};
};

} // namespace

TEST_F(TextRender, OneLineIsACoverageImageOfItsMeasure)
{
    bool truncated = true;
    ASSERT_EQ(RenderText(u"Hello", out, nullptr, 0, 500, &truncated), 1);
    EXPECT_FALSE(truncated);
    EXPECT_EQ(out.width, Width(u"Hello"));
    EXPECT_EQ(out.height, LineHeight());
    EXPECT_TRUE(HasInk(out));
    EXPECT_TRUE(FourEqualBytes(out));

    // Empty text: a zeroed image 1 pixel wide, as high as the height argument.
    ASSERT_EQ(RenderText(u"", out, nullptr, 9, 100, nullptr), 1);
    EXPECT_EQ(out.width, 1);
    EXPECT_EQ(out.height, 9);
    EXPECT_FALSE(HasInk(out));
    ASSERT_EQ(RenderText(u"", out, nullptr, 0, 100, nullptr), 1);
    EXPECT_EQ(out.height, 0);
}

TEST_F(TextRender, FontIsCachedByFaceAndHeight)
{
    ASSERT_EQ(RenderText(u"a", out, u"Tahoma", 14, 0, nullptr), 1);
    const platform::Font* first = SharedTextResources().font.get();
    ASSERT_EQ(RenderText(u"b", out, u"TAHOMA", 14, 0, nullptr), 1);
    EXPECT_EQ(SharedTextResources().font.get(), first) << "faces compare without case";
    ASSERT_EQ(RenderText(u"b", out, u"Tahoma", 16, 0, nullptr), 1);
    EXPECT_EQ(SharedTextResources().fontHeight, 16);
    EXPECT_EQ(out.height, LineHeight(16));
}

TEST_F(TextRender, TooWideTextIsCut)
{
    const char16_t* text = u"A rather long line of text for a small field";
    bool truncated = false;

    // Below 32 pixels the text becomes "..".
    ASSERT_EQ(RenderText(text, out, nullptr, 0, 20, &truncated), 1);
    EXPECT_TRUE(truncated);
    ASSERT_EQ(RenderText(u"..", expected, nullptr, 0, 0, nullptr), 1);
    EXPECT_TRUE(SameImage(out, expected));

    // From 32 up: the longest head plus ".." narrower than the limit.
    const int limit = 80;
    ASSERT_EQ(RenderText(text, out, nullptr, 0, limit, &truncated), 1);
    EXPECT_TRUE(truncated);
    EXPECT_LT(out.width, limit);
    std::u16string head(text);
    size_t k = head.size() - 2;
    while (k > 1 && Width((head.substr(0, k) + u"..").c_str()) >= limit)
        --k;
    ASSERT_EQ(RenderText((head.substr(0, k) + u"..").c_str(), expected, nullptr, 0, 0, nullptr), 1);
    EXPECT_TRUE(SameImage(out, expected));
    EXPECT_GE(Width((head.substr(0, k + 1) + u"..").c_str()), limit) << "the head is the longest";

    // A text exactly as wide as the limit counts as too wide.
    const int exact = Width(u"Hello");
    ASSERT_EQ(RenderText(u"Hello", out, nullptr, 0, exact, &truncated), 1);
    EXPECT_TRUE(truncated);
}

TEST_F(TextRender, TallTooWideTextRetriesAtTwelve)
{
    const char16_t* text = u"Too wide for sixty pixels at any size";
    bool truncated = false;
    ASSERT_EQ(RenderText(text, out, nullptr, 18, 60, &truncated), 1);
    EXPECT_EQ(out.height, LineHeight(12));
    EXPECT_TRUE(truncated);
    ASSERT_EQ(RenderText(text, expected, nullptr, 12, 60, nullptr), 1);
    EXPECT_TRUE(SameImage(out, expected));
    // A text that fits keeps its height.
    ASSERT_EQ(RenderText(u"ok", out, nullptr, 18, 60, &truncated), 1);
    EXPECT_EQ(out.height, LineHeight(18));
    EXPECT_FALSE(truncated);
}

TEST_F(TextRender, NeverLargerThanTheTextBitmap)
{
    const std::u16string longText(400, u'W');
    ASSERT_EQ(RenderText(longText.c_str(), out, nullptr, 0, 0, nullptr), 1);
    EXPECT_EQ(out.width, kTextBitmapWidth);
    ASSERT_EQ(RenderText(u"Big", out, nullptr, 400, 0, nullptr), 1);
    EXPECT_EQ(out.height, kTextBitmapHeight);
}

TEST_F(TextRender, LockedVariantTakesTheLockItself)
{
    ASSERT_EQ(RenderTextLocked(u"Hi", out, nullptr, 0, 0, nullptr), 1);  // re-entrant lock
    EXPECT_EQ(out.width, Width(u"Hi"));
}

TEST_F(TextRender, GivenFontWidensItalicAndBold)
{
    struct Case { int weight; bool italic; };
    for (Case c : {Case{400, false}, Case{400, true}, Case{700, false}, Case{700, true}}) {
        SCOPED_TRACE(testing::Message() << "weight " << c.weight << " italic " << c.italic);
        platform::FontSpec wanted;
        wanted.face = u"Tahoma";
        wanted.height = 14;
        wanted.weight = c.weight;
        wanted.italic = c.italic;
        auto font = platform::Font::Create(wanted);
        ASSERT_TRUE(font);
        int width = font->MeasureText(u"Sample").width;
        if (c.italic)
            width += width / 3;
        if (c.weight > 699)
            width += 6;
        ASSERT_EQ(RenderTextWithFont(*font, u"Sample", out, 0), 1);
        EXPECT_EQ(out.width, width);
        EXPECT_TRUE(HasInk(out));
        ASSERT_EQ(RenderTextWithFont(*font, u"Sample text that is long", out, 10), 1);
        ASSERT_EQ(RenderTextWithFont(*font, u"..", expected, 0), 1);
        EXPECT_TRUE(SameImage(out, expected)) << "below 32 pixels only .. is left";
    }
    // Two characters too wide for 40 pixels leave no head to keep: a single space is shown.
    platform::FontSpec big;
    big.face = u"Tahoma";
    big.height = 60;
    auto font = platform::Font::Create(big);
    ASSERT_EQ(RenderTextWithFont(*font, u"WW", out, 40), 1);
    EXPECT_EQ(out.width, font->MeasureText(u" ").width);
}

TEST_F(TextRender, WrapBreaksAtSpacesAndBetweenCjkCharacters)
{
    // Two words and a wrap width that holds either one: the break comes at the space, and the
    // second line starts with its word, not with the blank.
    const int wrap = std::max(Width(u"abcd"), Width(u" efgh")) + 1;
    ASSERT_GE(Width(u"abcd e"), wrap);
    ASSERT_EQ(RenderWrappedText(out, u"abcd efgh", wrap, 0), 1);
    ImageBuffer8 first, second;
    ASSERT_EQ(RenderText(u"abcd", first, nullptr, 0, 0, nullptr), 1);
    ASSERT_EQ(RenderText(u"efgh", second, nullptr, 0, 0, nullptr), 1);
    const int line = LineHeight();
    EXPECT_EQ(out.height, 2 * line);
    EXPECT_EQ(out.width, std::max(first.width, second.width));
    for (int y = 0; y < line; ++y) {
        EXPECT_EQ(0, std::memcmp(out.data + size_t(y) * out.width * 4,
                                 first.data + size_t(y) * first.width * 4, size_t(first.width) * 4));
        EXPECT_EQ(0, std::memcmp(out.data + size_t(y + line) * out.width * 4,
                                 second.data + size_t(y) * second.width * 4, size_t(second.width) * 4));
    }
    FreeImageBuffer(first);
    FreeImageBuffer(second);

    // A word without break points is cut one character before the width is reached.
    const int narrow = Width(u"abc") + 1;
    ASSERT_EQ(RenderWrappedText(out, u"abcdefgh", narrow, 0), 1);
    EXPECT_GE(out.height, 3 * LineHeight());
    EXPECT_LT(out.width, narrow);

    // Every character above 512 allows a break: one CJK character a line.
    const int one = Width(u"\u65E5") + 1;
    ASSERT_EQ(RenderWrappedText(out, u"\u65E5\u672C\u8A9E", one, 0), 1);
    EXPECT_EQ(out.height, 3 * LineHeight());
}

TEST_F(TextRender, WrappedTextLinesAndEscapes)
{
    struct Case { const char16_t* text; int lines; };
    const Case cases[] = {
        {u"one", 1},
        {u"one\\ntwo", 2},            // escape decoded into a line break
        {u"one\r\n\r\ntwo\nthree", 3},  // a run of line ends is one break
        {u"one\\\\ntwo", 1},          // an escaped backslash is no break
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "lines " << c.lines);
        ASSERT_EQ(RenderWrappedText(out, c.text, 0, 0), 1);
        EXPECT_EQ(out.height, c.lines * LineHeight());
        EXPECT_TRUE(FourEqualBytes(out));
    }
    // Missing or empty text: a 1 x 1 image.
    ASSERT_EQ(RenderWrappedText(out, u"", 0, 0), 1);
    EXPECT_EQ(out.width, 1);
    EXPECT_EQ(out.height, 1);
    ASSERT_EQ(RenderWrappedText(out, nullptr, 50, 0), 1);
    EXPECT_EQ(out.height, 1);
    // Only the first 4095 characters count: 5000 short lines give 4095 / 2 + 1 of them.
    std::u16string many;
    for (int i = 0; i < 5000; ++i)
        many += u"x\n";
    ASSERT_EQ(RenderWrappedText(out, many.c_str(), 0, 1), 1);
    EXPECT_EQ(out.height, 2048 * LineHeight(1));
}

TEST(TextRenderWords, WordCharacterClasses)
{
    struct Case { char16_t c; bool word; };
    const Case cases[] = {
        {u' ', false}, {u'!', true}, {u'9', true}, {u':', false}, {u'@', false}, {u'A', true},
        {u'Z', true},  {u'[', false}, {u'_', false}, {u'a', true}, {u'z', true}, {u'{', false},
        {u'~', false}, {127, true},  {u'\u00E9', true}, {512, true}, {513, false},
        {u'\u65E5', false}, {u'\t', false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsWordCharacter(c.c), c.word) << int(c.c);
}
