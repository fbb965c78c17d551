// Binary dialog templates: fonts in both forms, items with ordinals and strings, layout from
// dialog units, refusal of cut or inflated data, and a dialog built from a template.
#include "ui/DialogTemplate.h"
#include "ui/CheckBox.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Writes templates the way the resource compiler lays them out.
struct TemplateWriter {
    std::vector<uint8_t> b;
    void U16(uint16_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
    void U32(uint32_t v) { U16(uint16_t(v)); U16(uint16_t(v >> 16)); }
    void Str(std::u16string_view s) { for (char16_t c : s) U16(c); U16(0); }
    void Align() { while (b.size() % 4) b.push_back(0); }

    struct Item { uint16_t classOrdinal; std::u16string className, text; int id; int16_t x, y, cx, cy; };

    static std::vector<uint8_t> Extended(uint32_t style, uint16_t points, uint16_t weight, uint8_t italic,
                                         std::u16string face, std::u16string caption, const std::vector<Item>& items,
                                         int16_t cx = 200, int16_t cy = 100)
    {
        TemplateWriter w;
        w.U16(1); w.U16(0xFFFF); w.U32(0); w.U32(0); w.U32(style);
        w.U16(uint16_t(items.size())); w.U16(0); w.U16(0); w.U16(uint16_t(cx)); w.U16(uint16_t(cy));
        w.U16(0); w.U16(0); w.Str(caption);
        if (style & DS_SETFONT) {
            w.U16(points); w.U16(weight); w.b.push_back(italic); w.b.push_back(1); w.Str(face);
        }
        for (const Item& it : items) {
            w.Align();
            w.U32(0); w.U32(0); w.U32(0x50000000);
            w.U16(uint16_t(it.x)); w.U16(uint16_t(it.y)); w.U16(uint16_t(it.cx)); w.U16(uint16_t(it.cy));
            w.U32(uint32_t(it.id));
            if (it.classOrdinal) { w.U16(0xFFFF); w.U16(it.classOrdinal); } else w.Str(it.className);
            w.Str(it.text);
            w.U16(0);
        }
        return w.b;
    }

    static std::vector<uint8_t> Classic(uint32_t style, uint16_t points, std::u16string face)
    {
        TemplateWriter w;
        w.U32(style); w.U32(0); w.U16(0); w.U16(0); w.U16(0); w.U16(100); w.U16(50);
        w.U16(0); w.U16(0); w.Str(u"Classic");
        if (style & DS_SETFONT) { w.U16(points); w.Str(face); }
        return w.b;
    }
};

std::vector<TemplateWriter::Item> SampleItems()
{
    return {{0x82, u"", u"Label", -1, 7, 7, 100, 10},
            {0x80, u"", u"#CdlgHighlight", 10, 7, 20, 100, 12},
            {0, u"msctls_trackbar32", u"", 20, 7, 36, 100, 12},
            {0x80, u"", u"OK", 1, 90, 80, 50, 14}};
}

} // namespace

TEST(DialogTemplate, FontsOfBothForms)
{
    struct Case { std::vector<uint8_t> bytes; int points, weight, italic; std::u16string face; const char* why; };
    const Case cases[] = {
        {TemplateWriter::Extended(DS_SETFONT, 9, 700, 1, u"Segoe UI", u"A", {}), 9, 700, 1, u"Segoe UI", "extended with font"},
        {TemplateWriter::Extended(0, 0, 0, 0, u"", u"A", {}), 8, 400, 0, u"Tahoma", "no DS_SETFONT: Tahoma 8"},
        {TemplateWriter::Classic(DS_SETFONT, 10, u"Arial"), 10, 0, 0, u"Arial", "classic: weight 0, not italic"},
        {TemplateWriter::Extended(DS_SETFONT, 0xFFF8, 400, 0, u"Tahoma", u"A", {}), 8, 400, 0, u"Tahoma", "0xFFF8 is 8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        DialogTemplateFont f;
        ASSERT_TRUE(ReadDialogTemplateFont(c.bytes.data(), c.bytes.size(), f));
        EXPECT_EQ(f.pointSize, c.points);
        EXPECT_EQ(f.weight, c.weight);
        EXPECT_EQ(f.italic, c.italic);
        EXPECT_EQ(f.face, c.face);
        EXPECT_EQ(f.hasMenu, 0);
    }
}

TEST(DialogTemplate, ItemsAndLayoutFromDialogUnits)
{
    const auto bytes = TemplateWriter::Extended(DS_SETFONT, 8, 400, 0, u"Tahoma", u"dlgCaption", SampleItems());
    DialogTemplate t;
    ASSERT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), t));
    ASSERT_EQ(t.items.size(), 4u);
    EXPECT_EQ(t.items[0].className, u"Static");
    EXPECT_EQ(t.items[1].className, u"Button");
    EXPECT_EQ(t.items[2].className, u"msctls_trackbar32");
    EXPECT_EQ(t.items[3].id, 1);
    EXPECT_EQ(t.caption, u"dlgCaption");
    DialogBaseUnits b;
    ASSERT_TRUE(MeasureDialogBaseUnits(t.font, 96.0, b));
    EXPECT_GT(b.width, 3);
    EXPECT_GT(b.height, 10);
    DialogLayout layout;
    ASSERT_TRUE(LayoutDialogTemplate(t, 96.0, layout));
    EXPECT_EQ(layout.clientWidth, int(200 * b.width * 0.25 + 0.5));
    EXPECT_EQ(layout.clientHeight, int(100 * b.height * 0.125 + 0.5));
    const DialogControlRecord& ok = layout.records[3];
    EXPECT_EQ(ok.rect.left, int(90 * b.width * 0.25 + 0.5));
    EXPECT_EQ(ok.rect.top, int(80 * b.height * 0.125 + 0.5) + 30) << "moved below the title bar";
    EXPECT_EQ(ok.rect.Width(), int(50 * b.width * 0.25 + 0.5));
    EXPECT_EQ(layout.records[1].typeLetter, 'C');
    EXPECT_EQ(layout.records[2].kind, DialogControlRecord::Trackbar);
}

TEST(DialogTemplate, CutOrInflatedDataIsRefused)
{
    const auto good = TemplateWriter::Extended(DS_SETFONT, 8, 400, 0, u"Tahoma", u"Caption", SampleItems());
    for (size_t n = 0; n < good.size(); ++n) {
        DialogTemplate t;
        EXPECT_FALSE(ParseDialogTemplate(good.data(), n, t)) << "cut at " << n;
    }
    auto inflated = good;
    inflated[16] = 0xFF; // item count 0x..FF
    inflated[17] = 0xFF;
    DialogTemplate t;
    EXPECT_FALSE(ParseDialogTemplate(inflated.data(), inflated.size(), t));
    EXPECT_FALSE(ParseDialogTemplate(nullptr, 100, t));
    // A font of 2621 points (a damaged size word) parses but is not laid out.
    const auto huge = TemplateWriter::Extended(DS_SETFONT, 2621, 400, 0, u"Tahoma", u"C", {});
    ASSERT_TRUE(ParseDialogTemplate(huge.data(), huge.size(), t));
    DialogLayout layout;
    EXPECT_FALSE(LayoutDialogTemplate(t, 96.0, layout));
}

TEST(DialogTemplate, DialogFromATemplateBuildsItsControls)
{
    UiTestWindow w;
    ASSERT_TRUE(w.opened);
    auto items = SampleItems();
    items.erase(items.begin() + 2); // no slider factory here
    const auto bytes = TemplateWriter::Extended(DS_SETFONT, 8, 400, 0, u"Tahoma", u"Viewing", items);
    CDialogSprite d;
    ASSERT_TRUE(d.CreateFromTemplate(300, bytes.data(), bytes.size(), 0, 0, 0, 0));
    EXPECT_NE(dynamic_cast<CSCheckBox*>(d.GetControl(10)), nullptr);
    EXPECT_NE(dynamic_cast<CSButton*>(d.GetControl(1)), nullptr);
    EXPECT_EQ(std::u16string_view(d.Caption()), u"Viewing");
    CDialogSprite withSlider;
    const auto sliderBytes = TemplateWriter::Extended(DS_SETFONT, 8, 400, 0, u"Tahoma", u"S", SampleItems());
    EXPECT_FALSE(withSlider.CreateFromTemplate(301, sliderBytes.data(), sliderBytes.size(), 0, 0, 0, 0))
        << "a slider needs its factory";
}
