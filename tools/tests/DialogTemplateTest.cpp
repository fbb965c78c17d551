// Dialog templates: the text form, and the binary form read back field by field.
#include "tools/DialogTemplateSource.h"

#include "platform/File.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An independent reader of the extended template, written from the layout itself.
struct ReadItem {
    uint32_t helpId, exStyle, style;
    int16_t x, y, cx, cy;
    uint32_t id;
    uint16_t classOrdinal; // 0 when the class is a name
    std::u16string className, text;
    uint16_t extra;
    size_t offset;
};
struct ReadDialog {
    uint16_t version, signature;
    uint32_t helpId, exStyle, style;
    uint16_t count;
    int16_t x, y, cx, cy;
    uint16_t menu, windowClass;
    std::u16string caption, face;
    uint16_t points, weight;
    uint8_t italic, charset;
    std::vector<ReadItem> items;
    size_t size;
};

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& b) : m_b(b) {}
    uint8_t U8()
    {
        EXPECT_LT(m_at, m_b.size());
        return m_at < m_b.size() ? m_b[m_at++] : 0;
    }
    uint16_t U16() { return uint16_t(U8() | (U8() << 8)); }
    uint32_t U32() { return U16() | (uint32_t(U16()) << 16); }
    std::u16string Text()
    {
        std::u16string s;
        for (char16_t c; (c = U16()) != 0 && m_at < m_b.size();)
            s.push_back(c);
        return s;
    }
    void Align4() { m_at = (m_at + 3) & ~size_t(3); }
    size_t At() const { return m_at; }

private:
    const std::vector<uint8_t>& m_b;
    size_t m_at = 0;
};

ReadDialog Read(const std::vector<uint8_t>& bytes)
{
    Reader r(bytes);
    ReadDialog d{};
    d.version = r.U16();
    d.signature = r.U16();
    d.helpId = r.U32();
    d.exStyle = r.U32();
    d.style = r.U32();
    d.count = r.U16();
    d.x = int16_t(r.U16());
    d.y = int16_t(r.U16());
    d.cx = int16_t(r.U16());
    d.cy = int16_t(r.U16());
    d.menu = r.U16();
    d.windowClass = r.U16();
    d.caption = r.Text();
    if (d.style & 0x40) {
        d.points = r.U16();
        d.weight = r.U16();
        d.italic = r.U8();
        d.charset = r.U8();
        d.face = r.Text();
    }
    for (int i = 0; i < d.count; ++i) {
        r.Align4();
        ReadItem it{};
        it.offset = r.At();
        it.helpId = r.U32();
        it.exStyle = r.U32();
        it.style = r.U32();
        it.x = int16_t(r.U16());
        it.y = int16_t(r.U16());
        it.cx = int16_t(r.U16());
        it.cy = int16_t(r.U16());
        it.id = r.U32();
        uint16_t first = r.U16();
        if (first == 0xFFFF)
            it.classOrdinal = r.U16();
        else if (first != 0) {
            it.className.push_back(first);
            it.className += r.Text();
        }
        it.text = r.Text();
        it.extra = r.U16();
        d.items.push_back(it);
    }
    d.size = r.At();
    return d;
}

std::vector<uint8_t> Compile(const std::string& text)
{
    tools::DialogSource d;
    std::string error;
    EXPECT_TRUE(tools::ParseDialogSource(text, d, error)) << error;
    return tools::CompileDialogTemplate(d);
}

} // namespace

TEST(DialogTemplateTest, HeaderAndItemsReadBackFieldByField)
{
    std::vector<uint8_t> bytes = Compile(
        "; test\r\n"
        "dialog 300\r\n"
        "caption \"cap Key\"\r\n"
        "font \"MS Shell Dlg\" 9 700 1\n"
        "size 200 100\n"
        "exstyle 0x10\n"
        "control Button 1 10 20 50 14 \"OK\" default\n"
        "control msctls_trackbar32 77 1 2 100 15 \"ab\"\n"
        "control Static -1 -5 3 0 1 \"\" blackframe\n"
        "control Edit 1003 7 37 140 14 \"x\" style 0x50000000 exstyle 0x200\n");
    ReadDialog d = Read(bytes);
    EXPECT_EQ(d.version, 1);
    EXPECT_EQ(d.signature, 0xFFFF);
    EXPECT_EQ(d.helpId, 0u);
    EXPECT_EQ(d.exStyle, 0x10u);
    EXPECT_EQ(d.style, tools::kDefaultDialogStyle);
    EXPECT_EQ(d.count, 4);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 200);
    EXPECT_EQ(d.cy, 100);
    EXPECT_EQ(d.menu, 0);
    EXPECT_EQ(d.windowClass, 0);
    EXPECT_EQ(d.caption, u"cap Key");
    EXPECT_EQ(d.points, 9);
    EXPECT_EQ(d.weight, 700);
    EXPECT_EQ(d.italic, 1);
    EXPECT_EQ(d.charset, 1);
    EXPECT_EQ(d.face, u"MS Shell Dlg");
    EXPECT_EQ(d.size, bytes.size());
    // The fixed header offsets a reader relies on.
    EXPECT_EQ(bytes[16] | (bytes[17] << 8), 4);
    EXPECT_EQ(int16_t(bytes[22] | (bytes[23] << 8)), 200);
    EXPECT_EQ(int16_t(bytes[24] | (bytes[25] << 8)), 100);

    struct Expect {
        uint32_t style, exStyle;
        int16_t x, y, cx, cy;
        uint32_t id;
        uint16_t ordinal;
        std::u16string className, text;
    };
    const Expect expected[] = {
        {0x50010001, 0, 10, 20, 50, 14, 1, 0x80, u"", u"OK"},
        {0x50010000, 0, 1, 2, 100, 15, 77, 0, u"msctls_trackbar32", u"ab"},
        {0x50000007, 0, -5, 3, 0, 1, 0xFFFFFFFF, 0x82, u"", u""},
        {0x50000000, 0x200, 7, 37, 140, 14, 1003, 0x81, u"", u"x"},
    };
    ASSERT_EQ(d.items.size(), std::size(expected));
    for (size_t i = 0; i < d.items.size(); ++i) {
        SCOPED_TRACE(i);
        const ReadItem& it = d.items[i];
        const Expect& e = expected[i];
        EXPECT_EQ(it.offset % 4, 0u);
        EXPECT_EQ(it.helpId, 0u);
        EXPECT_EQ(it.style, e.style);
        EXPECT_EQ(it.exStyle, e.exStyle);
        EXPECT_EQ(it.x, e.x);
        EXPECT_EQ(it.y, e.y);
        EXPECT_EQ(it.cx, e.cx);
        EXPECT_EQ(it.cy, e.cy);
        EXPECT_EQ(it.id, e.id);
        EXPECT_EQ(it.classOrdinal, e.ordinal);
        EXPECT_EQ(it.className, e.className);
        EXPECT_EQ(it.text, e.text);
        EXPECT_EQ(it.extra, 0);
        // Item fields at their fixed offsets.
        EXPECT_EQ(int16_t(bytes[it.offset + 12] | (bytes[it.offset + 13] << 8)), e.x);
        EXPECT_EQ(uint32_t(bytes[it.offset + 20] | (bytes[it.offset + 21] << 8) | (bytes[it.offset + 22] << 16) |
                           (uint32_t(bytes[it.offset + 23]) << 24)),
                  e.id);
    }
}

TEST(DialogTemplateTest, WithoutSetFontThereIsNoFontBlock)
{
    ReadDialog d = Read(Compile("dialog 5\nsize 10 10\nstyle 0x80C80080\ncontrol Button 1 0 0 5 5 \"OK\"\n"));
    EXPECT_EQ(d.style, 0x80C80080u);
    EXPECT_EQ(d.face, u"");
    ASSERT_EQ(d.items.size(), 1u);
    EXPECT_EQ(d.items[0].text, u"OK");
}

TEST(DialogTemplateTest, BadSourcesAreRefusedWithTheLine)
{
    struct Case {
        const char* text;
        const char* error; // start of the message
    };
    const Case cases[] = {
        {"size 10 10\n", "a dialog needs"},
        {"dialog 5\n", "a dialog needs"},
        {"dialog 0\nsize 1 1\n", "line 1"},
        {"dialog 70000\nsize 1 1\n", "line 1"},
        {"dialog 5\nsize 1 1\ncaption \"open\n", "line 3: unclosed quote"},
        {"dialog 5\nsize 1 1\ncontrol Button 1 0 0 5 5\n", "line 3: control needs"},
        {"dialog 5\nsize 1 1\ncontrol Button x 0 0 5 5 \"a\"\n", "line 3: bad control"},
        {"dialog 5\nsize 1 1\ncontrol Button 1 0 0 -5 5 \"a\"\n", "line 3: bad control"},
        {"dialog 5\nsize 1 1\ncontrol Button 1 0 0 5 5 a\n", "line 3: control text must be quoted"},
        {"dialog 5\nsize 1 1\ncontrol Button 1 0 0 5 5 \"a\" sparkly\n", "line 3: unknown control word"},
        {"dialog 5\nsize 1 1\nfont \"X\" 8 2000\n", "line 3: font weight"},
        {"dialog 5\nsize 1 1\nwhatever\n", "line 3: not understood"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        tools::DialogSource d;
        std::string error;
        EXPECT_FALSE(tools::ParseDialogSource(c.text, d, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
}

TEST(DialogTemplateTest, ShippedSettingsTemplate)
{
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(platform::ReadWholeFile(platform::Utf8ToUtf16(std::string(ZENDRA_BINARY_DIR) + "/zendra/dialogs/208.res"),
                                        bytes))
        << "build the zendra_resources target";
    ReadDialog d = Read(bytes);
    EXPECT_EQ(d.caption, u"dlgSettings");
    EXPECT_EQ(d.face, u"MS Shell Dlg");
    EXPECT_EQ(d.points, 8);
    EXPECT_EQ(d.cx, 228);
    EXPECT_EQ(d.cy, 134);
    struct Expect {
        uint32_t id;
        std::u16string text;
        int16_t x, y, cx, cy;
        uint16_t ordinal;
    };
    const Expect expected[] = {
        {1219, u"#CdlgAnimation", 6, 6, 222, 24, 0x80}, {1221, u"#CdlgRAWfilm", 6, 28, 222, 24, 0x80},
        {1229, u"#CdlgSetDbClk", 6, 49, 222, 24, 0x80}, {1220, u"#CdlgWizardSet", 6, 71, 222, 24, 0x80},
        {0xFFFFFFFF, u"", 6, 96, 216, 1, 0x82},         {1, u"OK", 48, 108, 50, 14, 0x80},
        {2, u"Cancel", 102, 108, 64, 14, 0x80},
    };
    ASSERT_EQ(d.items.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d.items[i].id, expected[i].id);
        EXPECT_EQ(d.items[i].text, expected[i].text);
        EXPECT_EQ(d.items[i].x, expected[i].x);
        EXPECT_EQ(d.items[i].y, expected[i].y);
        EXPECT_EQ(d.items[i].cx, expected[i].cx);
        EXPECT_EQ(d.items[i].cy, expected[i].cy);
        EXPECT_EQ(d.items[i].classOrdinal, expected[i].ordinal);
    }
}

TEST(DialogTemplateTest, LibraryReaderMatchesTheCompiler)
{
    tools::DialogSource source;
    std::string error;
    ASSERT_TRUE(tools::ParseDialogSource("dialog 9\ncaption \"c\"\nfont \"F\" 8 700 1\nsize 30 40\n"
                                         "control Button 1 1 2 3 4 \"OK\" default\n"
                                         "control msctls_trackbar32 7 5 6 7 8 \"\"\n",
                                         source, error));
    std::vector<uint8_t> bytes = tools::CompileDialogTemplate(source);
    tools::DialogSource back;
    ASSERT_TRUE(tools::ReadDialogTemplate(bytes, back));
    EXPECT_EQ(back.caption, u"c");
    EXPECT_EQ(back.face, u"F");
    EXPECT_EQ(back.weight, 700);
    ASSERT_EQ(back.items.size(), 2u);
    EXPECT_EQ(back.items[1].className, u"msctls_trackbar32");
    EXPECT_EQ(back.items[1].id, 7);
    EXPECT_EQ(tools::CompileDialogTemplate(back), bytes);
    // Every cut of the template is refused, never read past its end.
    for (size_t n = 0; n < bytes.size(); ++n) {
        tools::DialogSource cut;
        EXPECT_FALSE(tools::ReadDialogTemplate(std::span<const uint8_t>(bytes.data(), n), cut)) << n;
    }
}
