#include "platform/DialogTemplate.h"

#include "platform/File.h"
#include "platform/Path.h"

#include <cmath>

namespace platform {
namespace {

// Little-endian reader that fails at the end of the data instead of reading past it.
class Reader {
public:
    Reader(const uint8_t* data, size_t size)
        : data_(data)
        , size_(size)
    {
    }

    size_t Pos() const { return pos_; }

    bool U8(uint8_t& v)
    {
        if (size_ - pos_ < 1)
            return false;
        v = data_[pos_++];
        return true;
    }
    bool U16(uint16_t& v)
    {
        if (size_ - pos_ < 2)
            return false;
        v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool I16(int16_t& v)
    {
        uint16_t u = 0;
        if (!U16(u))
            return false;
        v = static_cast<int16_t>(u);
        return true;
    }
    bool U32(uint32_t& v)
    {
        uint16_t lo = 0, hi = 0;
        if (!U16(lo) || !U16(hi))
            return false;
        v = lo | (uint32_t(hi) << 16);
        return true;
    }
    bool Skip(size_t n)
    {
        if (size_ - pos_ < n)
            return false;
        pos_ += n;
        return true;
    }
    bool Bytes(size_t n, std::vector<uint8_t>& out)
    {
        if (size_ - pos_ < n)
            return false;
        out.assign(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return true;
    }
    // Items start on 4-byte boundaries counted from the template's start; the padding may be
    // missing after the last item.
    void Align4() { pos_ = std::min(size_, (pos_ + 3) & ~size_t(3)); }

    bool String(String16& out)
    {
        out.clear();
        for (;;) {
            uint16_t c = 0;
            if (!U16(c))
                return false;
            if (c == 0)
                return true;
            out.push_back(static_cast<char16_t>(c));
        }
    }
    // 0 = absent, 0xFFFF n = ordinal, else a zero-terminated string.
    bool Name(TemplateName& out)
    {
        out = TemplateName {};
        uint16_t first = 0;
        if (size_ - pos_ < 2)
            return false;
        first = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        if (first == 0)
            return Skip(2);
        if (first == 0xFFFF) {
            Skip(2);
            out.isOrdinal = true;
            return U16(out.ordinal);
        }
        return String(out.text);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

bool ParseRect(Reader& r, DialogUnitsRect& rect)
{
    return r.I16(rect.x) && r.I16(rect.y) && r.I16(rect.cx) && r.I16(rect.cy);
}

bool ParseItem(Reader& r, bool extended, DialogTemplateItem& item)
{
    r.Align4();
    if (extended) {
        if (!r.U32(item.helpId) || !r.U32(item.exStyle) || !r.U32(item.style) || !ParseRect(r, item.rect)
            || !r.U32(item.id))
            return false;
    } else {
        uint16_t id = 0;
        if (!r.U32(item.style) || !r.U32(item.exStyle) || !ParseRect(r, item.rect) || !r.U16(id))
            return false;
        item.id = id;
    }
    uint16_t extra = 0;
    if (!r.Name(item.windowClass) || !r.Name(item.text) || !r.U16(extra))
        return false;
    // The classic form counts the size word itself in a nonzero count.
    size_t skip = extra;
    if (!extended && extra >= 2)
        skip = extra - 2u;
    return r.Bytes(skip, item.creationData);
}

int PixelsOf(int dialogUnits, int baseUnit, double scale)
{
    return static_cast<int>(std::trunc(dialogUnits * baseUnit * scale + 0.5));
}

} // namespace

String16 DialogTemplateItem::ClassName() const
{
    if (!windowClass.isOrdinal)
        return windowClass.text;
    switch (windowClass.ordinal) {
    case 0x80:
        return u"Button";
    case 0x81:
        return u"Edit";
    case 0x82:
        return u"Static";
    case 0x83:
        return u"ListBox";
    case 0x84:
        return u"ScrollBar";
    case 0x85:
        return u"ComboBox";
    default:
        return {};
    }
}

bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplateData& out)
{
    if (!data || size < 4 || size > kMaxTemplateBytes)
        return false;
    Reader r(data, size);
    DialogTemplateData t;
    uint16_t word0 = 0, word1 = 0;
    r.U16(word0);
    r.U16(word1);
    t.extended = word1 == 0xFFFF;
    if (t.extended && word0 != 1)
        return false;
    uint16_t count = 0;
    if (t.extended) {
        if (!r.U32(t.helpId) || !r.U32(t.exStyle) || !r.U32(t.style))
            return false;
    } else {
        t.style = word0 | (uint32_t(word1) << 16);
        if (!r.U32(t.exStyle))
            return false;
    }
    if (!r.U16(count) || !ParseRect(r, t.rect))
        return false;
    if (count > kMaxTemplateItems)
        return false;
    if (!r.Name(t.menu) || !r.Name(t.windowClass))
        return false;
    TemplateName caption;
    if (!r.Name(caption) || caption.isOrdinal)
        return false;
    t.caption = caption.text;
    t.font.hasMenu = t.menu.Empty() ? 0 : 1;
    if (t.style & kDsSetFont) {
        uint16_t points = 0;
        if (!r.U16(points))
            return false;
        // A size above 0x7FFF is a negative number; its magnitude is meant.
        t.font.pointSize = points > 0x7FFF ? 65536 - points : points;
        if (t.extended) {
            uint16_t weight = 0;
            uint8_t italic = 0, charset = 0;
            if (!r.U16(weight) || !r.U8(italic) || !r.U8(charset))
                return false;
            t.font.weight = weight;
            t.font.italic = italic ? 1 : 0;
            t.font.charset = charset;
        } else {
            t.font.weight = 0;
            t.font.italic = 0;
        }
        if (!r.String(t.font.face))
            return false;
    }
    t.items.resize(count);
    for (DialogTemplateItem& item : t.items)
        if (!ParseItem(r, t.extended, item))
            return false;
    out = std::move(t);
    return true;
}

DialogBaseUnits MeasureDialogBaseUnits(const Font& font)
{
    DialogBaseUnits units;
    units.height = font.Metrics().height;
    const int extent = font.MeasureText(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ").width;
    units.width = (extent / 26 + 1) / 2;
    return units;
}

PixelRect DialogUnitsToPixels(const DialogUnitsRect& r, DialogBaseUnits units)
{
    PixelRect p;
    p.left = PixelsOf(r.x, units.width, 0.25);
    p.top = PixelsOf(r.y, units.height, 0.125);
    p.right = p.left + PixelsOf(r.cx, units.width, 0.25);
    p.bottom = p.top + PixelsOf(r.cy, units.height, 0.125);
    return p;
}

FrameInsets WindowFrameAdjustment(uint32_t style, uint32_t exStyle, bool hasMenu)
{
    // Classic Windows metrics at 96 dpi: border 1, fixed (dialog) frame 3, sizing frame 4,
    // caption 18 plus the border under it, menu bar 19, client and window edges 2 each.
    FrameInsets f;
    int frame = 0;
    if (style & kWsThickFrame)
        frame = 4;
    else if ((style & kWsDlgFrame) || (exStyle & kWsExDlgModalFrame) || (style & kDsModalFrame))
        frame = 3;
    else if (style & kWsBorder)
        frame = 1;
    if (exStyle & kWsExWindowEdge)
        frame = std::max(frame, 2);
    if (exStyle & kWsExClientEdge)
        frame += 2;
    f.left = f.right = f.top = f.bottom = frame;
    if ((style & kWsCaption) == kWsCaption)
        f.top += 18;
    if (hasMenu)
        f.top += 19;
    return f;
}

String16 DialogFaceFor(StringView16 templateFace)
{
    static const char16_t* const kWindowsDialogFaces[]
        = { u"MS Shell Dlg", u"MS Shell Dlg 2", u"Tahoma", u"MS Sans Serif", u"Segoe UI", u"" };
    for (const char16_t* f : kWindowsDialogFaces)
        if (EqualsNoCase(templateFace, f))
            return kDialogFace;
    return String16(templateFace);
}

std::unique_ptr<DialogTemplate> DialogTemplate::FromBytes(uint16_t id, const uint8_t* data, size_t size)
{
    std::unique_ptr<DialogTemplate> t(new DialogTemplate());
    t->id_ = id;
    if (!ParseDialogTemplate(data, size, t->data_))
        return nullptr;
    return t;
}

std::unique_ptr<DialogTemplate> DialogTemplate::FromData(uint16_t id, DialogTemplateData data)
{
    if (data.items.size() > kMaxTemplateItems)
        return nullptr;
    std::unique_ptr<DialogTemplate> t(new DialogTemplate());
    t->id_ = id;
    t->data_ = std::move(data);
    return t;
}

std::unique_ptr<DialogTemplate> DialogTemplate::Load(StringView16 folder, uint16_t id)
{
    String16 name = IntToText(id);
    name += u".res";
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(JoinPath(folder, name), bytes, kMaxTemplateBytes))
        return nullptr;
    return FromBytes(id, bytes.data(), bytes.size());
}

bool DialogTemplate::ApplyTemplateFont(double pixelsPerInch)
{
    if (data_.font.pointSize < 0 || data_.font.pointSize > kMaxTemplatePointSize || !(pixelsPerInch >= 1)
        || pixelsPerInch > 960)
        return false;
    FontSpec request;
    request.face = DialogFaceFor(data_.font.face);
    request.height = -static_cast<int>(std::trunc(data_.font.pointSize * pixelsPerInch / 72.0 + 0.5));
    // Weight 0 is "the default weight".
    request.weight = data_.font.weight > 0 ? data_.font.weight : 400;
    request.italic = data_.font.italic != 0;
    if (request.height == 0)
        request.height = -1;
    return SetFont(request);
}

bool DialogTemplate::SetFont(const FontSpec& request)
{
    std::shared_ptr<Font> font = Font::Create(request);
    if (!font)
        return false;
    font_ = std::move(font);
    units_ = MeasureDialogBaseUnits(*font_);
    Layout();
    return true;
}

void DialogTemplate::Layout()
{
    clientWidth_ = PixelsOf(data_.rect.cx, units_.width, 0.25);
    clientHeight_ = PixelsOf(data_.rect.cy, units_.height, 0.125);
    itemRects_.clear();
    for (const DialogTemplateItem& item : data_.items)
        itemRects_.push_back(DialogUnitsToPixels(item.rect, units_));
}

PixelRect DialogTemplate::WindowRect() const
{
    const FrameInsets f = WindowFrameAdjustment(data_.style, data_.exStyle, data_.font.hasMenu != 0);
    return { -f.left, -f.top, clientWidth_ + f.right, clientHeight_ + f.bottom };
}

PixelRect DialogTemplate::ItemRect(size_t index) const
{
    return index < itemRects_.size() ? itemRects_[index] : PixelRect {};
}

} // namespace platform
