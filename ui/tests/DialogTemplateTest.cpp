// Binary dialog templates: fonts in both forms, items with ordinals and strings, layout from
// dialog units, refusal of cut or inflated data, and a dialog built from a template.
#include "platform/DialogTemplate.h"
#include "ui/CheckBox.h"
#include "ui/DialogSprite.h"
#include "UiTestWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t DS_SETFONT = platform::kDsSetFont;

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
        platform::DialogTemplateData d;
        ASSERT_TRUE(platform::ParseDialogTemplate(c.bytes.data(), c.bytes.size(), d));
        const platform::DialogTemplateFont& f = d.font;
        EXPECT_EQ(f.pointSize, c.points);
        EXPECT_EQ(f.weight, c.weight);
        EXPECT_EQ(f.italic, c.italic);
        EXPECT_EQ(f.face, c.face);
        EXPECT_EQ(f.hasMenu, 0);
    }
}

// The sprite dialog takes its control rectangles from the hidden platform dialog, moved below
// the title bar, and its kinds and texts from the items.
TEST(DialogTemplate, ControlsAtTheLaidOutRectangles)
{
    UiTestWindow w;
    ASSERT_TRUE(w.opened);
    auto items = SampleItems();
    items.erase(items.begin() + 2); // no slider factory here
    const auto bytes = TemplateWriter::Extended(DS_SETFONT, 8, 400, 0, u"Tahoma", u"dlgCaption", items);
    auto t = platform::DialogTemplate::FromBytes(300, bytes.data(), bytes.size());
    ASSERT_TRUE(t);
    ASSERT_EQ(t->Items().size(), 3u);
    EXPECT_EQ(t->Items()[0].ClassName(), u"Static");
    EXPECT_EQ(t->Items()[1].ClassName(), u"Button");
    ASSERT_TRUE(t->ApplyTemplateFont(96.0));
    const platform::DialogBaseUnits b = t->BaseUnits();
    EXPECT_GT(b.width, 3);
    EXPECT_GT(b.height, 10);
    EXPECT_EQ(t->ClientWidth(), int(200 * b.width * 0.25 + 0.5));
    EXPECT_EQ(t->ClientHeight(), int(100 * b.height * 0.125 + 0.5));

    CDialogSprite d;
    ASSERT_TRUE(d.CreateFromTemplate(*t, 0, 0, 0, 0));
    struct Expect { int32_t id; int x, y, cx, cy; };
    const Expect expected[] = {{10, 7, 20, 100, 12}, {1, 90, 80, 50, 14}};
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.id);
        CSprite* c = d.GetControl(e.id);
        ASSERT_NE(c, nullptr);
        const SRect r = c->Rect();
        EXPECT_EQ(r.left, int(e.x * b.width * 0.25 + 0.5));
        EXPECT_EQ(r.top, int(e.y * b.height * 0.125 + 0.5) + 30) << "moved below the title bar";
        EXPECT_EQ(r.Width(), int(e.cx * b.width * 0.25 + 0.5));
        EXPECT_EQ(r.Height(), int(e.cy * b.height * 0.125 + 0.5));
    }
}

TEST(DialogTemplate, CutInflatedOrHugeFontTemplatesMakeNoDialog)
{
    UiTestWindow w;
    ASSERT_TRUE(w.opened);
    auto items = SampleItems();
    items.erase(items.begin() + 2);
    const auto good = TemplateWriter::Extended(DS_SETFONT, 8, 400, 0, u"Tahoma", u"Caption", items);
    for (size_t n = 0; n < good.size(); n += 3) {
        CDialogSprite d;
        EXPECT_FALSE(d.CreateFromTemplate(300, good.data(), n, 0, 0, 0, 0)) << "cut at " << n;
    }
    auto inflated = good;
    inflated[16] = 0xFF; // item count 0xFFFF
    inflated[17] = 0xFF;
    CDialogSprite d1, d2, d3;
    EXPECT_FALSE(d1.CreateFromTemplate(300, inflated.data(), inflated.size(), 0, 0, 0, 0));
    EXPECT_FALSE(d2.CreateFromTemplate(300, nullptr, 100, 0, 0, 0, 0));
    // A font of 2621 points (a damaged size word) parses but is not laid out.
    const auto huge = TemplateWriter::Extended(DS_SETFONT, 2621, 400, 0, u"Tahoma", u"C", {});
    platform::DialogTemplateData parsed;
    ASSERT_TRUE(platform::ParseDialogTemplate(huge.data(), huge.size(), parsed));
    EXPECT_FALSE(d3.CreateFromTemplate(300, huge.data(), huge.size(), 0, 0, 0, 0));
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
