#include "platform/DialogTemplate.h"

#include "TestFolder.h"

#include "platform/File.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace platform;

namespace {

// Writes template bytes field by field, the way the resource compiler lays them out.
class Writer {
public:
    Writer& U8(uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    Writer& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    Writer& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    Writer& Str(std::u16string_view s)
    {
        for (char16_t c : s)
            U16(c);
        return U16(0);
    }
    Writer& Ordinal(uint16_t n) { return U16(0xFFFF).U16(n); }
    Writer& Align4()
    {
        while (bytes.size() % 4)
            bytes.push_back(0);
        return *this;
    }
    std::vector<uint8_t> bytes;
};

constexpr uint32_t kChild = 0x40000000, kVisible = 0x10000000, kTabStop = 0x00010000;

struct SampleControl {
    uint16_t classOrdinal; // 0 = the name below
    const char16_t* className;
    const char16_t* text;
    uint32_t id;
    uint32_t style;
    int16_t x, y, cx, cy;
};

const SampleControl kSample[] = {
    { 0x82, nullptr, u"dlgSettings", 1001, kChild | kVisible, 7, 7, 120, 9 },
    { 0x80, nullptr, u"#CdlgAnimation", 1002, kChild | kVisible | kTabStop | 0x3, 7, 20, 120, 10 },
    { 0x81, nullptr, u"", 1003, kChild | kVisible | kTabStop | 0x80, 7, 34, 80, 12 },
    { 0, u"msctls_trackbar32", u"", 1004, kChild | kVisible | kTabStop, 7, 50, 150, 15 },
    { 0x80, nullptr, u"OK", 1, kChild | kVisible | kTabStop | 0x1, 96, 70, 50, 14 },
    { 0x80, nullptr, u"Cancel", 2, kChild | kVisible | kTabStop, 150, 70, 50, 14 },
};

// An extended template with DS_SETFONT, a caption, the sample controls and, on the trackbar,
// 3 bytes of creation data.
std::vector<uint8_t> SampleTemplate(uint16_t pointSize = 8, uint32_t style = kDsSetFont | kDsModalFrame | kWsCaption)
{
    Writer w;
    w.U16(1).U16(0xFFFF).U32(0).U32(0).U32(style);
    w.U16(uint16_t(std::size(kSample))).U16(0).U16(0).U16(210).U16(90);
    w.U16(0); // no menu
    w.U16(0); // default class
    w.Str(u"dlgSettingsCaption");
    if (style & kDsSetFont)
        w.U16(pointSize).U16(400).U8(0).U8(1).Str(u"MS Shell Dlg");
    for (const SampleControl& c : kSample) {
        w.Align4();
        w.U32(0).U32(0).U32(c.style);
        w.U16(uint16_t(c.x)).U16(uint16_t(c.y)).U16(uint16_t(c.cx)).U16(uint16_t(c.cy));
        w.U32(c.id);
        if (c.classOrdinal)
            w.Ordinal(c.classOrdinal);
        else
            w.Str(c.className);
        w.Str(c.text);
        if (c.id == 1004)
            w.U16(3).U8(9).U8(8).U8(7);
        else
            w.U16(0);
    }
    return w.bytes;
}

} // namespace

TEST(DialogTemplate, ListsTheControlsOfASampleTemplate)
{
    const std::vector<uint8_t> bytes = SampleTemplate();
    auto t = DialogTemplate::FromBytes(208, bytes.data(), bytes.size());
    ASSERT_TRUE(t);
    const DialogTemplateData& d = t->Data();
    EXPECT_TRUE(d.extended);
    EXPECT_EQ(d.caption, u"dlgSettingsCaption");
    EXPECT_EQ(d.rect.cx, 210);
    EXPECT_EQ(d.rect.cy, 90);
    EXPECT_EQ(d.font.pointSize, 8);
    EXPECT_EQ(d.font.weight, 400);
    EXPECT_EQ(d.font.charset, 1);
    EXPECT_EQ(d.font.face, u"MS Shell Dlg");
    EXPECT_EQ(d.font.hasMenu, 0);
    ASSERT_EQ(t->Items().size(), std::size(kSample));
    const char16_t* const kClasses[] = { u"Static", u"Button", u"Edit", u"msctls_trackbar32", u"Button", u"Button" };
    ASSERT_TRUE(t->ApplyTemplateFont(96.0));
    std::cout << "template " << t->Id() << " \"" << Utf16ToUtf8(d.caption) << "\" " << d.rect.cx << "x" << d.rect.cy
              << " DLU, font " << Utf16ToUtf8(d.font.face) << " " << d.font.pointSize << " pt -> "
              << t->CurrentFont()->FilePath() << ", base units " << t->BaseUnits().width << "x"
              << t->BaseUnits().height << ", client " << t->ClientWidth() << "x" << t->ClientHeight() << " px\n";
    for (size_t i = 0; i < t->Items().size(); ++i) {
        const DialogTemplateItem& item = t->Items()[i];
        const SampleControl& c = kSample[i];
        EXPECT_EQ(item.ClassName(), kClasses[i]) << i;
        EXPECT_EQ(item.text.text, c.text) << i;
        EXPECT_EQ(item.id, c.id) << i;
        EXPECT_EQ(item.style, c.style) << i;
        EXPECT_EQ(item.rect.x, c.x);
        EXPECT_EQ(item.rect.y, c.y);
        EXPECT_EQ(item.rect.cx, c.cx);
        EXPECT_EQ(item.rect.cy, c.cy);
        EXPECT_EQ(item.creationData.size(), c.id == 1004 ? 3u : 0u) << i;
        const PixelRect p = t->ItemRect(i);
        std::cout << "  " << Utf16ToUtf8(item.ClassName()) << " \"" << Utf16ToUtf8(item.text.text) << "\" id "
                  << item.id << " style 0x" << std::hex << item.style << std::dec << " DLU (" << item.rect.x << ","
                  << item.rect.y << " " << item.rect.cx << "x" << item.rect.cy << ") px (" << p.left << "," << p.top
                  << " " << p.Width() << "x" << p.Height() << ")\n";
    }
    EXPECT_EQ(t->Items()[4].creationData.size(), 0u);
    EXPECT_EQ(t->Items()[3].creationData, (std::vector<uint8_t> { 9, 8, 7 }));
}

TEST(DialogTemplate, FontFields)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int points, weight, italic;
        std::u16string face;
    };
    Writer classic;
    classic.U32(kDsSetFont).U32(0).U16(0).U16(0).U16(0).U16(100).U16(50).U16(0).U16(0).Str(u"c");
    classic.U16(9).Str(u"Arial");
    Writer classicNoFont;
    classicNoFont.U32(0).U32(0).U16(0).U16(0).U16(0).U16(100).U16(50).U16(0).U16(0).Str(u"c");
    const Case cases[] = {
        { "extended 8 pt", SampleTemplate(8), 8, 400, 0, u"MS Shell Dlg" },
        { "size 0xFFF8", SampleTemplate(0xFFF8), 8, 400, 0, u"MS Shell Dlg" },
        { "no DS_SETFONT", SampleTemplate(8, kDsModalFrame), 8, 400, 0, u"Tahoma" },
        { "classic", classic.bytes, 9, 0, 0, u"Arial" },
        { "classic without font", classicNoFont.bytes, 8, 400, 0, u"Tahoma" },
    };
    for (const Case& c : cases) {
        DialogTemplateData d;
        ASSERT_TRUE(ParseDialogTemplate(c.bytes.data(), c.bytes.size(), d)) << c.name;
        EXPECT_EQ(d.font.pointSize, c.points) << c.name;
        EXPECT_EQ(d.font.weight, c.weight) << c.name;
        EXPECT_EQ(d.font.italic, c.italic) << c.name;
        EXPECT_EQ(d.font.face, c.face) << c.name;
    }
    // A menu (ordinal or name) sets has-menu.
    Writer menu;
    menu.U16(1).U16(0xFFFF).U32(0).U32(0).U32(0).U16(0).U16(0).U16(0).U16(10).U16(10).Ordinal(7).U16(0).Str(u"");
    DialogTemplateData d;
    ASSERT_TRUE(ParseDialogTemplate(menu.bytes.data(), menu.bytes.size(), d));
    EXPECT_EQ(d.font.hasMenu, 1);
    EXPECT_EQ(d.menu.ordinal, 7);
}

TEST(DialogTemplate, DamagedTemplatesAreRefused)
{
    const std::vector<uint8_t> good = SampleTemplate();
    DialogTemplateData d;
    // Every cut short of the last item's end is refused (the last item's padding is optional).
    for (size_t n = 0; n + 1 < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(n));
        EXPECT_FALSE(ParseDialogTemplate(cut.data(), cut.size(), d)) << n;
    }
    struct Patch {
        const char* name;
        size_t offset;
        uint16_t value;
    };
    const Patch patches[] = {
        { "version 2", 0, 2 },
        { "more items than there are", 16, 7 },
        { "item count over the limit", 16, 0xFFFF },
    };
    for (const Patch& p : patches) {
        std::vector<uint8_t> bad = good;
        bad[p.offset] = uint8_t(p.value);
        bad[p.offset + 1] = uint8_t(p.value >> 8);
        EXPECT_FALSE(ParseDialogTemplate(bad.data(), bad.size(), d)) << p.name;
    }
    // Creation data longer than the rest of the template.
    std::vector<uint8_t> bad = good;
    for (size_t i = 0; i + 1 < bad.size(); ++i)
        if (bad[i] == 3 && bad[i + 1] == 0 && bad[i + 2] == 9) {
            bad[i + 1] = 0x40;
            break;
        }
    EXPECT_FALSE(ParseDialogTemplate(bad.data(), bad.size(), d)) << "creation data past the end";
    EXPECT_FALSE(ParseDialogTemplate(nullptr, 0, d));
    EXPECT_TRUE(d.items.empty()) << "a refused template leaves the output alone";
}

TEST(DialogTemplate, DialogUnitsToPixels)
{
    struct Case {
        DialogUnitsRect dlu;
        DialogBaseUnits units;
        PixelRect px;
    };
    const Case cases[] = {
        { { 7, 7, 50, 14 }, { 6, 13 }, { 11, 11, 11 + 75, 11 + 23 } }, // 11.375 and 22.75 round to 11 and 23
        { { 0, 0, 1, 1 }, { 6, 13 }, { 0, 0, 2, 2 } }, // 1.5 rounds up, 1.625 to 2
        { { 2, 4, 210, 90 }, { 7, 14 }, { 4, 7, 4 + 368, 7 + 158 } },
        { { -4, -8, 4, 8 }, { 6, 13 }, { -5, -12, -5 + 6, -12 + 13 } },
    };
    for (const Case& c : cases) {
        const PixelRect p = DialogUnitsToPixels(c.dlu, c.units);
        EXPECT_EQ(p.left, c.px.left);
        EXPECT_EQ(p.top, c.px.top);
        EXPECT_EQ(p.right, c.px.right);
        EXPECT_EQ(p.bottom, c.px.bottom);
    }
}

TEST(DialogTemplate, FrameAdjustment)
{
    struct Case {
        uint32_t style, exStyle;
        bool menu;
        FrameInsets want;
    };
    const Case cases[] = {
        { 0, 0, false, { 0, 0, 0, 0 } },
        { kWsCaption | kDsModalFrame, 0, false, { 3, 21, 3, 3 } },
        { kWsCaption | kWsThickFrame, 0, true, { 4, 41, 4, 4 } },
        { kWsBorder, kWsExClientEdge, false, { 3, 3, 3, 3 } },
    };
    for (const Case& c : cases) {
        const FrameInsets f = WindowFrameAdjustment(c.style, c.exStyle, c.menu);
        EXPECT_EQ(f.left, c.want.left);
        EXPECT_EQ(f.top, c.want.top);
        EXPECT_EQ(f.right, c.want.right);
        EXPECT_EQ(f.bottom, c.want.bottom);
    }
}

TEST(DialogTemplate, LoadsByIdFromAFolder)
{
    test::TestFolder folder;
    const std::vector<uint8_t> bytes = SampleTemplate();
    ASSERT_TRUE(WriteWholeFileAtomic(folder.Path(u"208.res"), bytes));
    const std::vector<uint8_t> junk { 1, 0, 0xFF, 0xFF, 0 };
    ASSERT_TRUE(WriteWholeFileAtomic(folder.Path(u"209.res"), junk));
    auto t = DialogTemplate::Load(folder.Path(), 208);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Id(), 208);
    EXPECT_EQ(t->Items().size(), std::size(kSample));
    EXPECT_FALSE(DialogTemplate::Load(folder.Path(), 209)) << "damaged";
    EXPECT_FALSE(DialogTemplate::Load(folder.Path(), 210)) << "missing";
}

TEST(DialogTemplate, LayoutFollowsTheFont)
{
    PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    const std::vector<uint8_t> bytes = SampleTemplate();
    auto t = DialogTemplate::FromBytes(208, bytes.data(), bytes.size());
    ASSERT_TRUE(t);
    ASSERT_TRUE(t->ApplyTemplateFont(96.0));
    PinFontFile("");
    EXPECT_EQ(t->CurrentFont()->Spec().height, -11); // 8 points at 96 pixels per inch
    const DialogBaseUnits u = t->BaseUnits();
    EXPECT_EQ(u.height, t->CurrentFont()->Metrics().height);
    const int letters = t->CurrentFont()->MeasureText(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ").width;
    EXPECT_EQ(u.width, (letters / 26 + 1) / 2);
    EXPECT_EQ(t->ClientWidth(), static_cast<int>(210 * u.width * 0.25 + 0.5));
    EXPECT_EQ(t->ClientHeight(), static_cast<int>(90 * u.height * 0.125 + 0.5));
    const PixelRect ok = t->ItemRect(4);
    EXPECT_EQ(ok.left, static_cast<int>(96 * u.width * 0.25 + 0.5));
    const PixelRect w = t->WindowRect();
    EXPECT_EQ(w.Width(), t->ClientWidth() + 6);
    EXPECT_EQ(w.Height(), t->ClientHeight() + 24);

    FontSpec bigger;
    bigger.face = u"DejaVu Sans";
    bigger.height = -22;
    ASSERT_TRUE(t->SetFont(bigger));
    EXPECT_GT(t->BaseUnits().width, u.width);
    EXPECT_GT(t->ClientWidth(), static_cast<int>(210 * u.width * 0.25 + 0.5));
}

TEST(DialogTemplate, WindowsDialogFacesMapToTheDialogFace)
{
    for (const char16_t* face : { u"MS Shell Dlg", u"ms shell dlg 2", u"Tahoma", u"Segoe UI" })
        EXPECT_EQ(DialogFaceFor(face), kDialogFace) << Utf16ToUtf8(face);
    EXPECT_EQ(DialogFaceFor(u"Courier New"), u"Courier New");
}

// A damaged size word (the fuzzer found 2621 points) parses but is not laid out; sizes up to
// 144 points are, and so are odd resolutions within reason.
TEST(DialogTemplate, FontSizeAndResolutionLimits)
{
    struct Case {
        uint16_t points;
        double pixelsPerInch;
        bool laidOut;
    };
    const Case cases[] = {
        { 8, 96.0, true },   { 144, 96.0, true },  { 145, 96.0, false }, { 2621, 96.0, false },
        { 0xFFF8, 96.0, true }, // -8: its magnitude
        { 8, 0.0, false },   { 8, -96.0, false },  { 8, 961.0, false },  { 8, 960.0, true },
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = SampleTemplate(c.points);
        auto t = DialogTemplate::FromBytes(208, bytes.data(), bytes.size());
        ASSERT_TRUE(t) << c.points;
        EXPECT_EQ(t->ApplyTemplateFont(c.pixelsPerInch), c.laidOut) << c.points << " pt at " << c.pixelsPerInch;
        EXPECT_EQ(t->CurrentFont() != nullptr, c.laidOut) << c.points << " pt at " << c.pixelsPerInch;
    }
}
