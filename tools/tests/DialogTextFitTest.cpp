// Every caption and control text of every shipped dialog fits its place in every shipped
// language, laid out the way the program lays templates out: dialog units to pixels with the
// base units of the template's font at 96 pixels per inch, texts in the default UI font.
#include "tools/DialogTemplateSource.h"

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Font.h"
#include "platform/Path.h"
#include "ui/StringTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kProgram = std::string(ZENDRA_BINARY_DIR) + "/zendra";
constexpr int kTextHeight = 14; // the renderer's default height
constexpr const char16_t* kTextFace = u"Tahoma";

struct BaseUnits {
    int width = 0, height = 0;
};

BaseUnits Measure(const tools::DialogSource& d)
{
    int points = d.points > 0x7FFF ? 65536 - d.points : d.points;
    auto font = platform::Font::Create({d.face, -int(std::trunc(points * 96.0 / 72 + 0.5)), d.weight, d.italic != 0});
    if (!font)
        return {};
    int extent = font->MeasureText(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ").width;
    return {(extent / 26 + 1) / 2, font->Metrics().height};
}

int ToPixels(int units, int base, double factor)
{
    return int(std::trunc(units * base * factor + 0.5));
}

// Lines of a greedy word wrap at the width.
int WrappedLines(const platform::Font& font, const std::u16string& text, int width)
{
    int lines = 1;
    std::u16string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t space = text.find(u' ', at);
        std::u16string word = text.substr(at, space == std::u16string::npos ? std::u16string::npos : space - at);
        std::u16string tryLine = line.empty() ? word : line + u" " + word;
        if (!line.empty() && font.MeasureText(tryLine).width > width) {
            ++lines;
            line = word;
        } else {
            line = tryLine;
        }
        at = space == std::u16string::npos ? text.size() : space + 1;
    }
    return lines;
}

} // namespace

TEST(DialogTextFitTest, EveryTextFitsInEveryLanguage)
{
    std::vector<std::string> tables = {kProgram + "/basic/resource.txt"};
    std::vector<platform::FileInfo> files;
    ASSERT_TRUE(platform::ListFolder(platform::Utf8ToUtf16(kProgram + "/basic/Localize"), u"*.txt", files));
    for (const platform::FileInfo& f : files)
        tables.push_back(kProgram + "/basic/Localize/" + platform::Utf16ToUtf8(f.name));
    std::vector<platform::FileInfo> dialogs;
    ASSERT_TRUE(platform::ListFolder(platform::Utf8ToUtf16(kProgram + "/dialogs"), u"*.res", dialogs));
    ASSERT_GE(dialogs.size(), 5u);

    auto font = platform::Font::Create({kTextFace, kTextHeight, 400, false});
    ASSERT_TRUE(font);
    int checked = 0;
    for (const std::string& tablePath : tables) {
        StringTable table;
        ASSERT_EQ(table.Parse(platform::Utf8ToUtf16(tablePath).c_str()), 1);
        for (const platform::FileInfo& f : dialogs) {
            SCOPED_TRACE(tablePath + " " + platform::Utf16ToUtf8(f.name));
            std::vector<uint8_t> bytes;
            tools::DialogSource d;
            ASSERT_TRUE(platform::ReadWholeFile(platform::Utf8ToUtf16(kProgram + "/dialogs/") + f.name, bytes));
            ASSERT_TRUE(tools::ReadDialogTemplate(bytes, d));
            BaseUnits base = Measure(d);
            ASSERT_GT(base.width, 0);
            int dialogWidth = ToPixels(d.cx, base.width, 0.25);
            // The caption sits beside the 16-pixel title icon and before the close button.
            std::u16string caption = table.LookupText(d.caption.c_str());
            EXPECT_LE(font->MeasureText(caption).width, dialogWidth - 40 - 16)
                << "caption " << platform::Utf16ToUtf8(caption);
            for (const tools::DialogItemSource& it : d.items) {
                if (it.text.empty())
                    continue;
                bool typed = it.text.size() > 2 && it.text[0] == u'#';
                std::u16string text = table.LookupText((typed ? it.text.substr(2) : it.text).c_str());
                int w = ToPixels(it.cx, base.width, 0.25), h = ToPixels(it.cy, base.height, 0.125);
                std::string what = platform::Utf16ToUtf8(text) + " in control " + std::to_string(it.id);
                if (typed) {
                    // Check boxes and radio buttons wrap their caption to the width less 35 and
                    // draw it 4 pixels down.
                    int lines = WrappedLines(*font, text, w - 35);
                    EXPECT_LE(lines * font->Metrics().height + 4, h) << what;
                } else if (it.classOrdinal == 0x80) {
                    // Buttons cut a caption that reaches their width less 20.
                    EXPECT_LT(font->MeasureText(text).width, w - 20) << what;
                } else {
                    EXPECT_LE(WrappedLines(*font, text, w) * font->Metrics().height, h) << what;
                }
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 20);
}

TEST(DialogTextFitTest, BaseUnitsOfTheShippedFont)
{
    // "MS Shell Dlg" 8 points maps to the sans face at 11 pixels: base units near 6 x 13, as
    // on the system the templates were designed for.
    tools::DialogSource d;
    d.face = u"MS Shell Dlg";
    d.points = 8;
    BaseUnits b = Measure(d);
    EXPECT_GE(b.width, 5);
    EXPECT_LE(b.width, 8);
    EXPECT_GE(b.height, 12);
    EXPECT_LE(b.height, 15);
    d.points = 0xFFF8; // a negative size is used by its magnitude
    BaseUnits same = Measure(d);
    EXPECT_EQ(same.width, b.width);
    EXPECT_EQ(same.height, b.height);
}
