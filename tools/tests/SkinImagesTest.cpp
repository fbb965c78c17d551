// The generated pictures: sizes and frame layouts the widgets rely on, and no empty frame (a
// glyph drawn outside its frame would leave one empty and spill into its neighbour).
#include "tools/SkinImages.h"

#include "platform/File.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

namespace {

std::string Name(const tools::SkinImage& s)
{
    return platform::Utf16ToUtf8(s.name);
}

// Draws the picture of that name; false when there is none.
bool RenderByName(const char16_t* name, ImageBuffer8& out)
{
    for (const tools::SkinImage& i : tools::SkinImages())
        if (std::u16string(i.name) == name)
            return tools::RenderSkinImage(i, out);
    return false;
}

} // namespace

TEST(SkinImagesTest, EveryPictureHasItsSizeAndNoEmptyFrame)
{
    // Frame widths and counts that other code indexes.
    const std::map<std::string, std::pair<int, int>> frames = {
        {"checkbox.png", {20, 4}}, {"expand.png", {16, 2}},     {"ratio.png", {20, 4}},
        {"indicator.png", {12, 10}}, {"digi.png", {20, 11}},    {"smalldigi.png", {5, 11}},
        {"messagebox.png", {64, 4}}, {"picviewtool.png", {28, 5}}, {"mpanel.png", {40, 1}},
        {"menuicon.png", {16, 29}}, {"adjust.png", {80, 4}},   {"wizard.png", {50, 17}},
        {"editview.png", {38, 11}},    {"selection.png", {16, 4}},
    };
    size_t seen = 0;
    for (const tools::SkinImage& s : tools::SkinImages()) {
        SCOPED_TRACE(Name(s));
        ImageBuffer8 im;
        ASSERT_TRUE(tools::RenderSkinImage(s, im));
        EXPECT_EQ(im.width, s.width);
        EXPECT_EQ(im.height, s.height);
        EXPECT_TRUE(s.inBasic || s.inSkin);
        int frameWidth = s.frameWidth ? s.frameWidth : s.width;
        EXPECT_EQ(s.width % frameWidth, 0);
        auto it = frames.find(Name(s));
        if (it != frames.end()) {
            ++seen;
            EXPECT_EQ(frameWidth, it->second.first);
            EXPECT_GE(s.width / frameWidth, it->second.second);
        }
        for (int f = 0; f < s.width / frameWidth; ++f) {
            int ink = 0;
            for (int y = 0; y < im.height; ++y)
                for (int x = f * frameWidth; x < (f + 1) * frameWidth; ++x)
                    ink += im.data[(size_t(y) * im.width + x) * 4 + 3] > 64;
            // The first panel-button frame is the plain (invisible) background on purpose, the
            // blank cursor is blank, and no tool uses the tool strip's frames 5, 11 and 17.
            const bool spareToolFrame = Name(s) == "toolbar.png" && (f == 5 || f == 11 || f == 17);
            if (!(Name(s) == "mpanel.png" && f == 0) && Name(s) != "cursor138.png" && !spareToolFrame) {
                EXPECT_GT(ink, 0) << "frame " << f;
            }
        }
        FreeImageBuffer(im);
    }
    EXPECT_EQ(seen, frames.size());
}

TEST(SkinImagesTest, MaskPicturesCarryCoverageInRed)
{
    // Pictures the program inks or scales through their red byte: red follows alpha, so
    // anti-aliased edges stay soft.
    // The small digits are drawn pixel by pixel: they have no soft edge.
    const std::pair<const char16_t*, bool> masks[] = {{u"digi.png", true}, {u"smalldigi.png", false}, {u"btn.png", true}};
    for (const auto& [name, soft] : masks) {
        SCOPED_TRACE(platform::Utf16ToUtf8(name));
        ImageBuffer8 im;
        ASSERT_TRUE(RenderByName(name, im));
        int partial = 0;
        for (uint32_t i = 0; i < im.pixelCount; ++i) {
            EXPECT_EQ(im.data[i * 4 + 2], im.data[i * 4 + 3]);
            partial += im.data[i * 4 + 2] > 0 && im.data[i * 4 + 2] < 255;
        }
        EXPECT_EQ(partial > 0, soft);
        FreeImageBuffer(im);
    }
}

TEST(SkinImagesTest, InkedIndicatorFramesAreCoverage)
{
    // Frames 6 and 7 of the indicator strip (16 and 17 of the icon strip: the sub-menu arrow and
    // the check mark) are coverage; the others are blended pictures.
    ImageBuffer8 im;
    ASSERT_TRUE(RenderByName(u"indicator.png", im));
    int softInked = 0, softBlended = 0;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) {
            const uint8_t* p = im.data + (size_t(y) * im.width + x) * 4;
            bool soft = p[3] > 0 && p[3] < 255;
            if (x >= 72 && x < 96) {
                EXPECT_EQ(p[2], p[3]) << x << "," << y;
                softInked += soft;
            } else if (soft && p[2] > p[3]) {
                ++softBlended; // straight colour: lighter than its alpha at soft edges
            }
        }
    EXPECT_GT(softInked, 0);
    EXPECT_GT(softBlended, 0);
    FreeImageBuffer(im);
}

TEST(SkinImagesTest, ContactSheetShowsEveryPictureAtThreeScales)
{
    ImageBuffer8 a, b;
    tools::SkinCanvas ca(10, 4), cb(30, 20);
    ca.FillRoundRect(0, 0, 10, 4, 0, tools::Grey(255));
    cb.FillRoundRect(0, 0, 30, 20, 0, tools::Grey(255));
    ASSERT_TRUE(ca.ToImage(a));
    ASSERT_TRUE(cb.ToImage(b));
    ImageBuffer8 sheet;
    ASSERT_TRUE(tools::BuildContactSheet({{u"a", &a}, {u"b", &b}}, sheet));
    // Label column, then scale 1, 1.5, 2 with gaps, then the light patch.
    EXPECT_GE(sheet.width, 150 + 30 + 45 + 60 + 3 * 16 + 30);
    EXPECT_GE(sheet.height, 16 + 40 + 3 * 8);
    // The widest row's scale-2 copy of b is white.
    int x = 150 + 30 + 16 + 45 + 16 + 59, y = 8 + 16 + 8 + 39;
    EXPECT_EQ(sheet.data[(size_t(y) * sheet.width + x) * 4 + 1], 255);
    FreeImageBuffer(a);
    FreeImageBuffer(b);
    FreeImageBuffer(sheet);
}

TEST(SkinImagesTest, TiledPicturesRepeatAPlainBand)
{
    // Pictures stretched with TileFrame8 from their middle (split 0): the repeated band of rows
    // and of columns must be uniform across, or a stretched frame shows stripes. The band is
    // max(10, (size - 30) / 2) wide, starting at (size - band) / 2.
    for (const char16_t* name : {u"frame.png", u"btn.png", u"roundframe.png", u"tip.png", u"scrollbar.png"}) {
        SCOPED_TRACE(platform::Utf16ToUtf8(name));
        ImageBuffer8 im;
        ASSERT_TRUE(RenderByName(name, im));
        auto px = [&](int x, int y) {
            const uint8_t* p = im.data + (size_t(y) * im.width + x) * 4;
            return uint32_t(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24));
        };
        int bh = std::max(10, (im.height - 30) / 2), sy = (im.height - bh) / 2;
        int bw = std::max(10, (im.width - 30) / 2), sx = (im.width - bw) / 2;
        for (int x = 0; x < im.width; ++x)
            for (int y = sy + 1; y < std::min(im.height, sy + bh); ++y)
                EXPECT_EQ(px(x, y), px(x, sy)) << "row band at " << x << "," << y;
        for (int y = 0; y < im.height; ++y)
            for (int x = sx + 1; x < std::min(im.width, sx + bw); ++x)
                EXPECT_EQ(px(x, y), px(sx, y)) << "column band at " << x << "," << y;
        FreeImageBuffer(im);
    }
    // The dialog's title bar (25 rows and its rule) lies in the frame's top corner.
    for (const tools::SkinImage& i : tools::SkinImages()) {
        if (std::u16string(i.name) == u"frame.png") {
            EXPECT_GE((i.height - std::max(10, (i.height - 30) / 2)) / 2, 30);
        }
    }
}

TEST(SkinImagesTest, ProgramFolderHoldsEveryPictureWhereItIsLookedFor)
{
    // Where the widgets look: basic/ for what the UI resources and most widgets load, skin/ for
    // the pictures looked for there only (a start without them fails), both for the rest.
    const std::string program = std::string(ZENDRA_BINARY_DIR) + "/zendra/";
    const std::pair<const char*, const char*> wanted[] = {
        {"basic", "frame.png"},      {"basic", "btn.png"},        {"basic", "roundframe.png"}, {"basic", "tabtitlebk.png"},
        {"basic", "scrollbar.png"},  {"basic", "digi.png"},       {"basic", "smalldigi.png"},  {"basic", "checkbox.png"},
        {"basic", "expand.png"},     {"basic", "ratio.png"},      {"basic", "indicator.png"},  {"basic", "menuicon.png"},
        {"basic", "mpanel.png"},     {"basic", "defwndicon.png"}, {"basic", "tip.png"},        {"basic", "tippoint.png"},
        {"basic", "kbd.png"},        {"basic", "sliderbar.png"},  {"basic", "slider.png"},     {"basic", "propedit.png"},
        {"basic", "picviewtool.png"}, {"skin", "menuicon.png"},   {"skin", "maintabframe.png"}, {"skin", "about.png"},
        {"skin", "title.png"},       {"skin", "messagebox.png"},  {"skin", "close.png"},       {"skin", "restore.png"},
        {"skin", "maximal.png"},     {"skin", "minimal.png"},     {"skin", "help.png"},        {"skin", "left.png"},
        {"skin", "right.png"},       {"skin", "add.png"},         {"skin", "sub.png"},         {"skin", "menucopy.png"},
        {"skin", "menucut.png"},     {"skin", "menupaste.png"},   {"skin", "menuundo.png"},    {"skin", "menuredo.png"},
        {"skin", "editview.png"},    {"skin", "selection.png"},   {"basic", "cursor138.png"},
    };
    for (const auto& [folder, name] : wanted) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(platform::ReadWholeFile(platform::Utf8ToUtf16(program + folder + "/" + name), bytes))
            << folder << "/" << name << " (build the zendra_resources target)";
        EXPECT_GT(bytes.size(), 8u);
    }
    std::vector<uint8_t> sheet;
    EXPECT_TRUE(platform::ReadWholeFile(platform::Utf8ToUtf16(program + "contact-sheet.png"), sheet));
}
