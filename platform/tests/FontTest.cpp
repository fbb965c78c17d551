#include "platform/Font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace platform;

namespace {

constexpr const char* kPinned = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class PinnedFont : public ::testing::Test {
protected:
    void SetUp() override { PinFontFile(kPinned); }
    void TearDown() override { PinFontFile(""); }
};

size_t CountCovered(const CoverageBitmap& c)
{
    size_t n = 0;
    for (size_t i = 0; i < c.bgra.size(); i += 4)
        n += c.bgra[i] != 0;
    return n;
}

} // namespace

TEST(FontLookup, WindowsFacesMapToDejaVuSans)
{
    for (const char16_t* face : { u"Tahoma", u"MS Shell Dlg", u"arial", u"Segoe UI", u"" }) {
        const std::string file = FindFontFile(face, 400, false);
        EXPECT_NE(file.find("DejaVuSans.ttf"), std::string::npos) << Utf16ToUtf8(face) << " -> " << file;
    }
    EXPECT_NE(FindFontFile(u"Tahoma", 700, false).find("DejaVuSans-Bold"), std::string::npos);
    EXPECT_NE(FindFontFile(u"Tahoma", 400, true).find("DejaVuSans-Oblique"), std::string::npos);
    EXPECT_NE(FindFontFile(u"Courier New", 400, false).find("Mono"), std::string::npos);
}

TEST_F(PinnedFont, PinnedFileServesEveryFace)
{
    auto font = Font::Create({ u"Some Face That Does Not Exist", 14, 700, true });
    ASSERT_TRUE(font);
    EXPECT_EQ(font->FilePath(), kPinned);
}

TEST_F(PinnedFont, MetricsFollowTheRequestedHeight)
{
    for (int height : { 10, 14, 20, 33 }) {
        auto font = Font::Create({ u"Tahoma", height, 400, false });
        ASSERT_TRUE(font) << height;
        const FontMetrics m = font->Metrics();
        EXPECT_EQ(m.height, m.ascent + m.descent);
        EXPECT_NEAR(m.height, height, 1) << height;
        EXPECT_GT(m.ascent, m.descent);
        EXPECT_GT(m.averageCharWidth, 0);
        EXPECT_LT(m.averageCharWidth, height);
        EXPECT_GE(m.maxCharWidth, m.averageCharWidth);
    }
    // A negative height asks for the em size, so the cell is taller than the request.
    auto em = Font::Create({ u"Tahoma", -20, 400, false });
    ASSERT_TRUE(em);
    EXPECT_GT(em->Metrics().height, 20);
    EXPECT_FALSE(Font::Create({ u"Tahoma", 0, 400, false }));
}

TEST_F(PinnedFont, Extents)
{
    auto font = Font::Create({ u"Tahoma", 14, 400, false });
    ASSERT_TRUE(font);
    const TextExtent abc = font->MeasureText(u"abc");
    EXPECT_GT(abc.width, 0);
    EXPECT_EQ(abc.height, font->Metrics().height);
    EXPECT_EQ(font->MeasureText(u"").width, 0);
    // Advances add up: the extent of a concatenation is the sum of the parts.
    EXPECT_EQ(font->MeasureText(u"abcabc").width, 2 * abc.width);
    EXPECT_GT(font->MeasureText(u"WWW").width, font->MeasureText(u"iii").width);
    // A character outside the BMP counts once, not as two surrogate halves.
    EXPECT_GT(font->MeasureText(u"\U0001F4F7").width, 0);
    EXPECT_LT(font->MeasureText(u"\U0001F4F7").width, font->MeasureText(u"\uFFFD\uFFFD").width);
    EXPECT_GT(font->MeasureText(u"a\xD800z").width, font->MeasureText(u"az").width); // lone surrogate shown

    auto bold = Font::Create({ u"Tahoma", 14, 700, false });
    ASSERT_TRUE(bold);
    EXPECT_GT(bold->MeasureText(u"abcdef").width, font->MeasureText(u"abcdef").width);
}

TEST_F(PinnedFont, CoverageOfHgIsNonEmptyAndRepeats)
{
    auto font = Font::Create({ u"Tahoma", 16, 400, false });
    ASSERT_TRUE(font);
    const CoverageBitmap first = font->RenderCoverage(u"Hg");
    ASSERT_GT(first.width, 0);
    ASSERT_EQ(first.bgra.size(), size_t(first.width) * first.height * 4);
    EXPECT_GT(CountCovered(first), 20u);
    bool fullPixel = false, partialPixel = false;
    for (size_t i = 0; i < first.bgra.size(); i += 4) {
        EXPECT_TRUE(first.bgra[i] == first.bgra[i + 1] && first.bgra[i] == first.bgra[i + 2]
            && first.bgra[i] == first.bgra[i + 3]);
        fullPixel |= first.bgra[i] == 255;
        partialPixel |= first.bgra[i] > 0 && first.bgra[i] < 255;
    }
    EXPECT_TRUE(fullPixel);
    EXPECT_TRUE(partialPixel) << "anti-aliased edges expected";

    // The descender of 'g' reaches below the baseline: some coverage in the descent rows.
    const int ascent = font->Metrics().ascent;
    size_t below = 0;
    for (int y = ascent; y < first.height; ++y)
        for (int x = 0; x < first.width; ++x)
            below += first.bgra[(size_t(y) * first.width + x) * 4] != 0;
    EXPECT_GT(below, 0u);

    // A new font object from the same file gives the same bytes.
    auto again = Font::Create({ u"Arial", 16, 400, false });
    ASSERT_TRUE(again);
    const CoverageBitmap second = again->RenderCoverage(u"Hg");
    EXPECT_EQ(second.width, first.width);
    EXPECT_EQ(second.height, first.height);
    EXPECT_TRUE(second.bgra == first.bgra);
}

TEST_F(PinnedFont, DrawTextPaintsColourAndClips)
{
    auto font = Font::Create({ u"Tahoma", 14, 400, false });
    ASSERT_TRUE(font);
    const int w = 40, h = 20;
    std::vector<uint8_t> pixels(size_t(w) * h * 4, 0);
    BitmapView view { pixels.data(), w, h, w * 4 };
    // Partly outside on the left and the top: nothing is written outside, no crash.
    font->DrawText(view, -3, -2, u"Hg", 0x00FF0000);
    font->DrawText(view, 30, 5, u"WWWWW", 0x00FF0000);
    size_t red = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        EXPECT_EQ(pixels[i], 0); // blue stays 0 for pure red text over black
        EXPECT_EQ(pixels[i + 1], 0);
        if (pixels[i + 2] == 255) {
            ++red;
            EXPECT_EQ(pixels[i + 3], 255);
        }
    }
    EXPECT_GT(red, 5u);

    // Drawn at (x, y) the text matches its coverage picture placed there.
    std::vector<uint8_t> white(size_t(w) * h * 4, 0);
    BitmapView wv { white.data(), w, h, w * 4 };
    font->DrawText(wv, 2, 1, u"Hg", 0x00FFFFFF);
    const CoverageBitmap cov = font->RenderCoverage(u"Hg");
    for (int y = 0; y < cov.height && y + 1 < h; ++y)
        for (int x = 0; x < cov.width && x + 2 < w; ++x)
            ASSERT_EQ(white[(size_t(y + 1) * w + x + 2) * 4], cov.bgra[(size_t(y) * cov.width + x) * 4])
                << x << "," << y;
}

TEST_F(PinnedFont, ConcurrentDrawingGivesTheSameBytes)
{
    auto font = Font::Create({ u"Tahoma", 18, 400, false });
    ASSERT_TRUE(font);
    const CoverageBitmap expected = font->RenderCoverage(u"Zendra Hg 123");
    // Glyphs made for the first time on several threads at once: one font shared by all, whose
    // cache starts empty, and one font object of the same kind per thread.
    auto cold = Font::Create({ u"Tahoma", 18, 400, false });
    ASSERT_TRUE(cold);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches { 0 };
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            auto same = Font::Create({ u"Tahoma", 18, 400, false });
            if (!same || same->RenderCoverage(u"Zendra Hg 123").bgra != expected.bgra)
                ++mismatches;
            if (cold->RenderCoverage(u"Zendra Hg 123").bgra != expected.bgra)
                ++mismatches;
            auto own = Font::Create({ u"Tahoma", 12 + t, 400, t % 2 == 1 });
            for (int i = 0; i < 50; ++i) {
                if (font->RenderCoverage(u"Zendra Hg 123").bgra != expected.bgra)
                    ++mismatches;
                if (own)
                    own->MeasureText(u"other text \u00E9\u00FC");
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(mismatches.load(), 0);
}
