// Reading the binary dialog templates with a reader that cannot pass the end of the data, and
// laying them out at 96 pixels per inch with the template's own font.
#include "ui/DialogTemplate.h"

#include "platform/Font.h"

#include <algorithm>
#include <cmath>

namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Seek(size_t at)
    {
        if (at > m_size)
            return Fail();
        m_pos = at;
        return true;
    }
    bool Align4() { return Seek((m_pos + 3) & ~size_t(3)); }
    bool U16(uint16_t& v)
    {
        if (m_pos + 2 > m_size)
            return Fail();
        v = uint16_t(m_data[m_pos] | m_data[m_pos + 1] << 8);
        m_pos += 2;
        return true;
    }
    bool U32(uint32_t& v)
    {
        uint16_t lo = 0, hi = 0;
        if (!U16(lo) || !U16(hi))
            return false;
        v = uint32_t(lo) | uint32_t(hi) << 16;
        return true;
    }
    bool U8(uint8_t& v)
    {
        if (m_pos + 1 > m_size)
            return Fail();
        v = m_data[m_pos++];
        return true;
    }
    bool Skip(size_t n) { return Seek(m_pos + n); }
    // A zero-terminated UTF-16 string.
    bool String(std::u16string& s)
    {
        s.clear();
        for (;;) {
            uint16_t c = 0;
            if (!U16(c))
                return false;
            if (c == 0)
                return true;
            s.push_back(char16_t(c));
        }
    }
    // Absent (0), an ordinal (0xFFFF then 16 bits) or a string.
    bool SzOrOrd(std::u16string& s, int& ordinal, bool& present)
    {
        ordinal = -1;
        present = true;
        uint16_t first = 0;
        const size_t start = m_pos;
        if (!U16(first))
            return false;
        if (first == 0) {
            present = false;
            s.clear();
            return true;
        }
        if (first == 0xFFFF) {
            uint16_t ord = 0;
            if (!U16(ord))
                return false;
            ordinal = ord;
            s.clear();
            return true;
        }
        return Seek(start) && String(s);
    }
    size_t Pos() const { return m_pos; }
    size_t Size() const { return m_size; }

private:
    bool Fail() { m_pos = m_size; return false; }
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

std::u16string ClassFromOrdinal(int ordinal)
{
    switch (ordinal) {
    case 0x80: return u"Button";
    case 0x81: return u"Edit";
    case 0x82: return u"Static";
    case 0x83: return u"ListBox";
    case 0x84: return u"ScrollBar";
    case 0x85: return u"ComboBox";
    default: return u"#" + std::u16string(1, char16_t(u'0' + (ordinal & 7)));
    }
}

bool IsExtended(const uint8_t* data, size_t size, bool fontRule)
{
    if (size < 4)
        return false;
    const uint16_t w0 = uint16_t(data[0] | data[1] << 8), w1 = uint16_t(data[2] | data[3] << 8);
    return fontRule ? (w0 == 1 && w1 == 0xFFFF) : w1 == 0xFFFF;
}

// Header up to the end of the font; leaves the reader at the first item's alignment point.
bool ReadHeader(Reader& r, bool extended, DialogTemplate& t, uint16_t& count)
{
    uint16_t cx = 0, cy = 0;
    if (extended) {
        if (!r.Seek(8) || !r.U32(t.exStyle) || !r.U32(t.style) || !r.U16(count) || !r.Skip(4) || !r.U16(cx) ||
            !r.U16(cy))
            return false;
    } else {
        if (!r.Seek(0) || !r.U32(t.style) || !r.U32(t.exStyle) || !r.U16(count) || !r.Skip(4) || !r.U16(cx) ||
            !r.U16(cy))
            return false;
    }
    t.cx = int16_t(cx);
    t.cy = int16_t(cy);
    t.items.clear();
    std::u16string menu, cls;
    int ord = 0;
    bool present = false;
    if (!r.SzOrOrd(menu, ord, present))
        return false;
    t.font.hasMenu = present ? 1 : 0;
    if (!r.SzOrOrd(cls, ord, present) || !r.String(t.caption))
        return false;
    if (t.style & DS_SETFONT) {
        uint16_t points = 0;
        if (!r.U16(points))
            return false;
        // A size stored as a negative 16-bit number means its magnitude.
        t.font.pointSize = points > 0x7FFF ? 65536 - points : points;
        if (extended) {
            uint16_t weight = 0;
            uint8_t italic = 0, charset = 0;
            if (!r.U16(weight) || !r.U8(italic) || !r.U8(charset))
                return false;
            t.font.weight = weight;
            t.font.italic = italic ? 1 : 0;
        } else {
            t.font.weight = 0;
            t.font.italic = 0;
        }
        if (!r.String(t.font.face))
            return false;
    } else {
        const int hasMenu = t.font.hasMenu;
        t.font = DialogTemplateFont{};
        t.font.hasMenu = hasMenu;
    }
    return true;
}

} // namespace

bool ReadDialogTemplateFont(const uint8_t* data, size_t size, DialogTemplateFont& out)
{
    if (!data)
        return false;
    DialogTemplate t;
    Reader r(data, size);
    uint16_t count = 0;
    if (!ReadHeader(r, IsExtended(data, size, true), t, count))
        return false;
    out = t.font;
    return true;
}

bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate& out)
{
    if (!data || size < 26)
        return false;
    DialogTemplate t;
    t.extended = IsExtended(data, size, false);
    Reader r(data, size);
    uint16_t count = 0;
    if (!ReadHeader(r, t.extended, t, count))
        return false;
    // Every item takes at least 24 (extended) or 18 bytes: a count the data cannot hold is refused
    // before anything is built for it.
    if (size_t(count) * (t.extended ? 24u : 18u) > size)
        return false;
    t.items.resize(count);
    for (DialogTemplateItem& item : t.items) {
        if (!r.Align4())
            return false;
        uint16_t x = 0, y = 0, cx = 0, cy = 0;
        uint32_t id = 0, exStyle = 0;
        if (t.extended) {
            if (!r.Skip(4) || !r.U32(exStyle) || !r.U32(item.style) || !r.U16(x) || !r.U16(y) || !r.U16(cx) ||
                !r.U16(cy) || !r.U32(id))
                return false;
        } else {
            uint16_t id16 = 0;
            if (!r.U32(item.style) || !r.U32(exStyle) || !r.U16(x) || !r.U16(y) || !r.U16(cx) || !r.U16(cy) ||
                !r.U16(id16))
                return false;
            id = id16;
        }
        item.x = int16_t(x);
        item.y = int16_t(y);
        item.cx = int16_t(cx);
        item.cy = int16_t(cy);
        item.id = int32_t(id);
        int ord = 0;
        bool present = false;
        if (!r.SzOrOrd(item.className, ord, present))
            return false;
        if (ord >= 0)
            item.className = ClassFromOrdinal(ord);
        if (!r.SzOrOrd(item.text, ord, present))
            return false;
        uint16_t extra = 0;
        if (!r.U16(extra) || !r.Skip(extra))
            return false;
    }
    out = std::move(t);
    return true;
}

bool MeasureDialogBaseUnits(const DialogTemplateFont& font, double factor, DialogBaseUnits& out)
{
    // A dialog font of a few hundred points is damage, and the font layer would render glyphs
    // of that size; refuse it.
    if (font.pointSize < 1 || font.pointSize > kMaxDialogPointSize || factor <= 0 || factor > 960)
        return false;
    platform::FontSpec spec;
    spec.face = font.face;
    spec.height = -int(font.pointSize * factor / 72 + 0.5);
    spec.weight = font.weight > 0 ? font.weight : 400;
    spec.italic = font.italic != 0;
    std::shared_ptr<platform::Font> f = platform::Font::Create(spec);
    if (!f)
        return false;
    out.height = f->Metrics().height;
    const int extent = f->MeasureText(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ").width;
    out.width = (extent / 26 + 1) / 2;
    return out.width > 0 && out.height > 0;
}

bool LayoutDialogTemplate(const DialogTemplate& t, double factor, DialogLayout& out)
{
    DialogBaseUnits b;
    if (!MeasureDialogBaseUnits(t.font, factor, b))
        return false;
    out.clientWidth = DluToPixelsX(t.cx, b);
    out.clientHeight = DluToPixelsY(t.cy, b);
    out.caption = t.caption;
    out.records.clear();
    for (const DialogTemplateItem& item : t.items) {
        DialogControlRecord r;
        r.kind = DialogControlKind(item.className.c_str());
        SetDialogControlText(r, item.text.c_str());
        r.controlId = item.id;
        const int x = DluToPixelsX(item.x, b), y = DluToPixelsY(item.y, b);
        r.rect = {x, y + 30, x + DluToPixelsX(item.cx, b), y + 30 + DluToPixelsY(item.cy, b)};
        out.records.push_back(r);
    }
    return true;
}

int CDialogSprite::CreateFromTemplate(int32_t templateId, const uint8_t* data, size_t size, int left, int top,
                                      int right, int bottom)
{
    DialogTemplate t;
    DialogLayout layout;
    if (!ParseDialogTemplate(data, size, t) || !LayoutDialogTemplate(t, 96.0, layout))
        return 0;
    return CreateFromRecords(templateId, std::move(layout.records), layout.caption.c_str(), layout.clientWidth,
                             layout.clientHeight, left, top, right, bottom);
}
