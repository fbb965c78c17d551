// The font cache, glyph coverage queries, fallback faces for other scripts, and the choice of
// the dialog face by its base units.
#include "platform/DialogTemplate.h"
#include "platform/Font.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <thread>

using namespace platform;

namespace {

FontSpec Spec(const char16_t* face, int height, int weight = 400, bool italic = false)
{
    FontSpec s;
    s.face = face;
    s.height = height;
    s.weight = weight;
    s.italic = italic;
    return s;
}

// Coverage bytes of one character drawn alone (one byte a pixel).
std::vector<uint8_t> Coverage(const Font& font, char32_t c)
{
    std::u16string text;
    if (c >= 0x10000) {
        text.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
        text.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
        text.push_back(char16_t(c));
    }
    const CoverageBitmap bmp = font.RenderCoverage(text);
    std::vector<uint8_t> out;
    for (size_t i = 0; i < bmp.bgra.size(); i += 4)
        out.push_back(bmp.bgra[i]);
    out.push_back(uint8_t(bmp.width)); // a box of another width is another picture
    return out;
}

size_t Inked(const std::vector<uint8_t>& cov)
{
    size_t n = 0;
    for (size_t i = 0; i + 1 < cov.size(); ++i)
        n += cov[i] > 64;
    return n;
}

} // namespace

TEST(FontCache, SameRequestSameFont)
{
    ClearFontCache();
    const auto a = Font::Create(Spec(u"Tahoma", 14));
    ASSERT_TRUE(a);
    EXPECT_EQ(Font::Create(Spec(u"Tahoma", 14)), a);
    struct Case {
        const char* name;
        FontSpec spec;
    };
    const Case others[] = {
        { "height", Spec(u"Tahoma", 15) },
        { "em size", Spec(u"Tahoma", -14) },
        { "weight", Spec(u"Tahoma", 14, 700) },
        { "italic", Spec(u"Tahoma", 14, 400, true) },
        { "face", Spec(u"DejaVu Sans Mono", 14) },
    };
    for (const Case& c : others) {
        const auto b = Font::Create(c.spec);
        ASSERT_TRUE(b) << c.name;
        EXPECT_NE(b, a) << c.name;
        EXPECT_EQ(Font::Create(c.spec), b) << c.name;
        EXPECT_EQ(b->Spec().height, c.spec.height) << c.name;
    }
    EXPECT_EQ(FontCacheSize(), 1 + std::size(others));
    EXPECT_EQ(Font::Create(Spec(u"Tahoma", 14)), a);
    EXPECT_NE(Font::CreateUncached(Spec(u"Tahoma", 14)), a);

    // Pinning another file must not hand out fonts of the old file.
    PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf");
    const auto pinned = Font::Create(Spec(u"Tahoma", 14));
    PinFontFile("");
    ASSERT_TRUE(pinned);
    EXPECT_NE(pinned, a);
    EXPECT_NE(pinned->FilePath().find("DejaVuSansMono.ttf"), std::string::npos);
    EXPECT_EQ(Font::Create(Spec(u"Tahoma", 14))->FilePath(), a->FilePath());
    EXPECT_EQ(a->MeasureText(u"keeps working").height, a->Metrics().height);
}

TEST(FontCache, HoldsABoundedNumberOfFonts)
{
    ClearFontCache();
    const auto first = Font::Create(Spec(u"Tahoma", 8));
    ASSERT_TRUE(first);
    const int firstHeight = first->Metrics().height;
    for (int h = 9; h < 9 + 80; ++h)
        ASSERT_TRUE(Font::Create(Spec(u"Tahoma", h)));
    EXPECT_LE(FontCacheSize(), 64u);
    EXPECT_NE(Font::Create(Spec(u"Tahoma", 8)), first) << "the oldest went first";
    EXPECT_EQ(first->MeasureText(u"x").height, firstHeight) << "a dropped font stays usable for its holders";
}

TEST(FontCache, ThreadsAskingTogetherShareOneFont)
{
    ClearFontCache();
    std::vector<std::shared_ptr<Font>> got(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < got.size(); ++i)
        threads.emplace_back([&got, i] {
            for (int round = 0; round < 20; ++round) {
                auto f = Font::Create(Spec(u"Tahoma", 13 + round % 3));
                // Glyphs drawn from several threads at once through one font, CJK included.
                f->RenderCoverage(u"ab\u65e5");
                if (round % 3 == 0)
                    got[i] = f;
            }
        });
    for (auto& t : threads)
        t.join();
    for (const auto& f : got)
        EXPECT_EQ(f, got[0]);
    EXPECT_EQ(FontCacheSize(), 3u);
}

TEST(FontFallback, CjkTextRendersWithoutBoxes)
{
    ClearFontCache();
    const auto font = Font::Create(Spec(u"Tahoma", 16));
    ASSERT_TRUE(font);
    const std::u16string text = u"\u65e5\u672c\u8a9e\u306e\u5199\u771f \ud55c\uad6d\uc5b4 \u4e2d\u6587";
    ASSERT_FALSE(font->HasGlyph(0x65E5, false)) << "the Latin face itself has no CJK";
    EXPECT_TRUE(font->CanRender(text));
    // A code point no font has (unassigned) gives the face's missing-glyph box.
    ASSERT_FALSE(font->HasGlyph(0x0378));
    EXPECT_FALSE(font->CanRender(u"ab\u0378"));
    const std::vector<uint8_t> box = Coverage(*font, 0x0378);
    std::vector<std::vector<uint8_t>> seen;
    for (char16_t c : text) {
        if (c == u' ')
            continue;
        EXPECT_TRUE(font->HasGlyph(c)) << std::hex << int(c);
        const std::vector<uint8_t> cov = Coverage(*font, c);
        EXPECT_NE(cov, box) << "U+" << std::hex << int(c) << " drawn as a box";
        EXPECT_GT(Inked(cov), 12u) << std::hex << int(c);
        for (const auto& other : seen)
            EXPECT_NE(cov, other) << "two characters with one picture: U+" << std::hex << int(c);
        seen.push_back(cov);
    }
    const std::vector<std::string> files = font->FallbackFiles();
    ASSERT_FALSE(files.empty());
    std::cout << "fallback faces for \"" << Utf16ToUtf8(text) << "\":";
    for (const std::string& f : files)
        std::cout << " " << f;
    std::cout << "\n";
    // Latin glyphs still come from the face itself.
    EXPECT_TRUE(font->HasGlyph(U'A', false));
    EXPECT_EQ(font->MeasureText(u"AV").width, Font::CreateUncached(Spec(u"Tahoma", 16))->MeasureText(u"AV").width);
}

TEST(FontFallback, LineBreaksNeedNoGlyphAndPinningTurnsFallbackOff)
{
    const auto font = Font::Create(Spec(u"Tahoma", 14));
    ASSERT_TRUE(font);
    EXPECT_TRUE(font->CanRender(u"two\r\nlines\tand \u00e9\u00fc\u0416\u03a9"));
    EXPECT_TRUE(font->CanRender(u""));
    EXPECT_FALSE(font->CanRender(u"\U000F0000")); // private use, plane 15
    PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    const auto pinned = Font::Create(Spec(u"Tahoma", 14));
    PinFontFile("");
    ASSERT_TRUE(pinned);
    EXPECT_FALSE(pinned->HasGlyph(0x65E5));
    EXPECT_TRUE(pinned->FallbackFiles().empty());
}

// The templates were laid out for 6 x 13 dialog base units (8-point "MS Shell Dlg"). Of the
// candidate faces that have every letter of the Latin, Cyrillic and Greek texts, the dialog
// face is the one with the closest base units (width first: a unit more there widens every
// dialog by a sixth).
TEST(DialogFace, ClosestToTheDesignedBaseUnits)
{
    ClearFontCache();
    const char16_t* const kCandidates[]
        = { u"DejaVu Sans", u"DejaVu Sans Condensed", u"Liberation Sans", u"Noto Sans" };
    const std::u16string scripts = u"AZaz\u00e9\u00df\u0141\u0416\u044f\u0401\u03a9\u03c9\u03ac";
    String16 best;
    int bestScore = 1 << 30;
    for (const char16_t* face : kCandidates) {
        const auto font = Font::Create(Spec(face, -11)); // 8 points at 96 pixels per inch
        ASSERT_TRUE(font);
        // fontconfig substitutes a missing family; only a face that is really there counts.
        const std::string file = font->FilePath();
        std::string wanted = Utf16ToUtf8(face);
        std::erase(wanted, ' ');
        const bool present = file.find(wanted) != std::string::npos;
        bool covers = present;
        for (char16_t c : scripts)
            covers = covers && font->HasGlyph(c, false);
        const DialogBaseUnits u = MeasureDialogBaseUnits(*font);
        const int letters = font->MeasureText(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ").width;
        std::cout << Utf16ToUtf8(face) << ": " << (present ? file : "not installed") << ", 52 letters " << letters
                  << " px, base units " << u.width << "x" << u.height << (covers ? "" : ", not counted") << "\n";
        if (!covers)
            continue;
        const int score = 4 * std::abs(u.width - 6) + std::abs(u.height - 13);
        if (score < bestScore) {
            bestScore = score;
            best = face;
        }
    }
    EXPECT_EQ(best, kDialogFace);
    const auto chosen = Font::Create(Spec(kDialogFace, -11));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(MeasureDialogBaseUnits(*chosen).width, 6);
}
