// Number and fraction reading, rational texts, choices and committed values of the property list.
#include "ui/PropertyList.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <numeric>

namespace {

constexpr size_t kMaxNumberText = 255;

// The leading decimal number of a text as the C library reads it (spaces, sign, digits, point,
// exponent); 0 when there is none.
double LeadingNumber(const std::u16string& text)
{
    std::string narrow;
    for (char16_t c : text)
        narrow += c < 128 ? char(c) : '?';
    return std::strtod(narrow.c_str(), nullptr);
}

std::u16string Widen(const char* s)
{
    std::u16string out;
    while (*s)
        out += char16_t(*s++);
    return out;
}

// A whole number with nothing after it but spaces; false on overflow or any other character.
bool ParseInteger(const std::u16string& text, int64_t& out)
{
    size_t i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9')
        return false;
    int64_t v = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        v = v * 10 + (text[i] - u'0');
        if (v > (int64_t(1) << 40))
            return false;
    }
    while (i < text.size() && text[i] == u' ')
        ++i;
    if (i != text.size())
        return false;
    out = negative ? -v : v;
    return true;
}

} // namespace

int ParseNumberOrFraction(const char16_t* text, double& out)
{
    if (!text || !*text || *text > u'9')
        return 0;
    std::u16string s(text);
    if (s.size() > kMaxNumberText)
        s.resize(kMaxNumberText);
    const size_t slash = s.find(u'/');
    const double numerator = LeadingNumber(s.substr(0, slash));
    double denominator = 1;
    if (slash != std::u16string::npos) {
        const size_t next = s.find(u'/', slash + 1);
        denominator = LeadingNumber(s.substr(slash + 1, next == std::u16string::npos ? next : next - slash - 1));
    }
    if (!(std::fabs(denominator) >= 1e-8))
        return 0;
    out = numerator / denominator;
    return 1;
}

void SimplifyRational(int64_t& numerator, int64_t& denominator)
{
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    const int64_t g = std::gcd(numerator, denominator);
    if (g > 1) {
        numerator /= g;
        denominator /= g;
    }
}

std::u16string RationalText(int64_t numerator, int64_t denominator)
{
    if (denominator == 0)
        return u"";
    if (double(numerator) / double(denominator) > 1) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.1f", double(numerator) / double(denominator));
        return Widen(buffer);
    }
    if (numerator == 0)
        return u"0";
    SimplifyRational(numerator, denominator);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%lld/%lld", static_cast<long long>(numerator), static_cast<long long>(denominator));
    return Widen(buffer);
}

std::u16string RationalText(double value)
{
    if (!std::isfinite(value))
        return u"";
    if (value > 1)
        return RationalText(int64_t(std::llround(value * 10)), 10);
    // Half away from zero on both sides, so -0.00005 and 0.00005 mirror each other.
    const double scaled = value * 10000;
    const int64_t numerator = int64_t(scaled < 0 ? -std::floor(-scaled + 0.5) : std::floor(scaled + 0.5));
    return RationalText(numerator, 10000);
}

int CPropItem::SetChoices(const char16_t* text)
{
    choices.clear();
    std::u16string s(text ? text : u"");
    if (s.size() > 1024)
        s.resize(1024);
    size_t at = 0;
    while (at < s.size()) {
        const size_t bar = s.find(u'|', at);
        const std::u16string segment = s.substr(at, bar == std::u16string::npos ? bar : bar - at);
        const size_t caret = segment.find(u'^');
        if (caret == std::u16string::npos)
            break;
        Choice c{};
        CopyTextBounded(c.label, 64, segment.substr(0, caret).c_str());
        c.value = int32_t(std::clamp(LeadingNumber(segment.substr(caret + 1)), -2147483648.0, 2147483647.0));
        choices.push_back(c);
        if (bar == std::u16string::npos)
            break;
        at = bar + 1;
    }
    return int(choices.size());
}

CPropItem::Commit CPropItem::CommitText(const char16_t* text)
{
    const std::u16string s(text ? text : u"");
    if (kind == kUnsigned || kind == kSigned) {
        int64_t v = 0;
        if (!ParseInteger(s, v))
            return Commit::NotANumber;
        if (v < minimum || v > maximum)
            return Commit::OutOfRange;
        value = Widen(std::to_string(v).c_str());
        return Commit::Ok;
    }
    if (kind == kRational) {
        double v = 0;
        if (!ParseNumberOrFraction(s.c_str(), v) || !std::isfinite(v))
            return Commit::NotANumber;
        value = RationalText(v);
        return Commit::Ok;
    }
    value = s;
    return Commit::Ok;
}

// ---------------------------------------------------------------------------------------------
// The grid

CPropItem::~CPropItem()
{
    FreeImageBuffer(valueImage);
}

void CPropItem::Clear()
{
    choices.clear();
    CTreeNode::Clear();
}

namespace {

constexpr int kIndent = 12;

std::u16string Format(const char* format, auto... values)
{
    char text[96];
    std::snprintf(text, sizeof text, format, values...);
    return Widen(text);
}

// A user-visible text with a "%d" pair filled in: at most two integer conversions, nothing else
// of the text read as a format.
std::u16string FormatRange(const char16_t* format, int32_t a, int32_t b)
{
    std::u16string out;
    int used = 0;
    for (const char16_t* p = format; p && *p; ++p) {
        if (p[0] == u'%' && p[1] == u'd' && used < 2) {
            out += Widen(std::to_string(used++ ? b : a).c_str());
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

void PaintCoverage(ImageBuffer8& target, const ImageBuffer8& coverage, int x, int y, uint32_t colour,
                   const DrawRect& clip)
{
    if (coverage.data && clip.left < clip.right && clip.top < clip.bottom)
        FillThroughMask8(target, coverage, x, y, colour & 0xFFFFFF, clip);
}

} // namespace

CSPropertyList::CSPropertyList()
{
    m_clickRipple = 0;
}

CSPropertyList::~CSPropertyList()
{
    RemoveChild(&m_editor);
    m_editor.ReleaseResources(1);
    m_menu.Close(0);
    m_menu.ReleaseResources(1);
    {
        platform::ScopedLock lock(m_lock);
        m_rows.clear();
    }
    m_items.Clear();
    FreeImageBuffer(m_editIcon);
}

int CSPropertyList::OnCreate()
{
    if (!CSTree::OnCreate())
        return 0;
    // The edit icon is a decoration: a skin without it still edits.
    LoadUiImage(UiImageFolder::Basic, u"propedit.png", m_editIcon);
    if (!m_editor.Create(this, m_window, 1, 1, 0, 0, 100, 24))
        return 0;
    m_editor.SetVisible(0);
    m_editor.Setup(u"");
    AddChild(&m_editor);
    if (!m_menu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    SetRoot(&m_items);
    return 1;
}

void CSPropertyList::ReleaseResources(int flag)
{
    RemoveChild(&m_editor);
    m_editor.ReleaseResources(flag);
    m_menu.ReleaseResources(flag);
    CSTree::ReleaseResources(flag);
}

bool CSPropertyList::HoldsItem(const CTreeNode* item) const
{
    platform::ScopedLock lock(m_lock);
    for (const TreeRow& row : m_rows)
        if (row.node == item)
            return true;
    return false;
}

CPropItem* CSPropertyList::NewItem(int32_t id, const char16_t* label, int32_t kind, CTreeNode* parent)
{
    auto* item = new (std::nothrow) CPropItem;
    if (!item)
        return nullptr;
    item->SetText(label ? label : u"");
    item->label = label ? label : u"";
    item->id = id;
    item->kind = kind;
    platform::ScopedLock lock(m_lock);
    (parent ? parent : &m_items)->AddChild(item);
    return item;
}

CTreeNode* CSPropertyList::AddGroup(const char16_t* label, CTreeNode* parent)
{
    auto* group = new (std::nothrow) CTreeNode(label ? label : u"");
    if (!group)
        return nullptr;
    group->expanded = 1;
    platform::ScopedLock lock(m_lock);
    return (parent ? parent : &m_items)->AddChild(group);
}

void CSPropertyList::RemoveAll()
{
    EndEditor();
    {
        // Rows point into the items: both go together under the lock.
        platform::ScopedLock lock(m_lock);
        m_edited = nullptr;
        m_editMode = kEditNone;
        m_rows.clear();
        m_items.RemoveChildren();
        m_selected.store(-1);
    }
    Rebuild();
}

int CSPropertyList::AddUIntProperty(int32_t id, uint32_t value, const char16_t* label, CTreeNode* parent,
                                    uint32_t unknownValue, bool showUnknown)
{
    const bool unknown = value == unknownValue;
    if (unknown && !showUnknown)
        return 0;
    CPropItem* item = NewItem(id, label, CPropItem::kUnsigned, parent);
    if (!item)
        return 0;
    item->value = Format("%u", value);
    item->minimum = 0;
    item->maximum = 0xFFFFFE;
    item->known = unknown ? 0 : 1;
    return 1;
}

int CSPropertyList::AddIntProperty(int32_t id, int32_t value, const char16_t* label, CTreeNode* parent,
                                   int32_t unknownValue, bool showUnknown)
{
    const bool unknown = value == unknownValue;
    if (unknown && !showUnknown)
        return 0;
    CPropItem* item = NewItem(id, label, CPropItem::kSigned, parent);
    if (!item)
        return 0;
    item->value = Format("%d", value);
    item->minimum = -2147483647;
    item->maximum = 2147483647;
    item->known = unknown ? 0 : 1;
    return 1;
}

int CSPropertyList::AddTextProperty(int32_t id, const char16_t* text, const char16_t* label, CTreeNode* parent,
                                    bool showEmpty)
{
    const bool empty = !text || !*text;
    if (empty && !showEmpty)
        return 0;
    CPropItem* item = NewItem(id, label, CPropItem::kText, parent);
    if (!item)
        return 0;
    char16_t bounded[256];
    CopyTextBounded(bounded, 256, text);
    item->value = bounded;
    item->minimum = 255;
    item->maximum = CEditSprite::kFilterAscii;
    item->known = empty ? 0 : 1;
    return 1;
}

int CSPropertyList::AddDateProperty(int32_t id, const PropDate& d, const char16_t* label, CTreeNode* parent,
                                    bool showUnknown)
{
    const bool unknown = d.year == 0;
    if (unknown && !showUnknown)
        return 0;
    CPropItem* item = NewItem(id, label, CPropItem::kText, parent);
    if (!item)
        return 0;
    item->minimum = 255;
    item->maximum = CEditSprite::kFilterAscii;
    if (unknown)
        item->value = UiText(u"Unknown");
    else if (d.hour == 0)
        item->value = Format("%d-%02d-%02d", d.year, d.month, d.day);
    else
        item->value = Format("%d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute, d.second);
    item->known = unknown ? 0 : 1;
    return 1;
}

int CSPropertyList::AddRationalProperty(int32_t id, const char16_t* label, CTreeNode* parent, bool showUnknown,
                                        int32_t numerator, int32_t denominator)
{
    const bool unknown = denominator == 0;
    if (unknown && !showUnknown)
        return 0;
    CPropItem* item = NewItem(id, label, CPropItem::kRational, parent);
    if (!item)
        return 0;
    item->value = unknown ? std::u16string() : RationalText(numerator, denominator);
    item->known = unknown ? 0 : 1;
    return 1;
}

int CSPropertyList::AddChoiceProperty(int32_t id, const char16_t* label, const char16_t* choices, int32_t selected,
                                      CTreeNode* parent, bool showUnset)
{
    if (selected == -1 && !showUnset)
        return 0;
    CPropItem* item = NewItem(id, label, CPropItem::kChoice, parent);
    if (!item)
        return 0;
    item->SetChoices(choices);
    item->selectedChoice = selected;
    return 1;
}

int CSPropertyList::RenderValue(CPropItem* item, int width)
{
    if (item->valueImage.data)
        return 1;
    std::u16string shown = UiText(u"Unknown");
    if (item->kind == CPropItem::kChoice) {
        for (const CPropItem::Choice& c : item->choices)
            if (c.value == item->selectedChoice)
                shown = c.label;
    } else if (item->known) {
        shown = item->value;
    }
    bool cut = false;
    if (!RenderTextLocked(shown.empty() ? u" " : shown.c_str(), item->valueImage, nullptr, 0,
                          std::max(1, width - m_labelColumn - 40), &cut))
        return 0;
    item->valueCut = cut;
    return 1;
}

int CSPropertyList::DrawRow(int index)
{
    TreeRow& row = m_rows[size_t(index)];
    auto* item = dynamic_cast<CPropItem*>(row.node);
    const int h = m_rowHeight, top = index * h - m_scroll.load();
    if (!item || !item->children.empty()) {
        BrightenBand(index * h, 45, h);
        return CSTree::DrawRow(index);
    }
    const int W = m_image.width, L = m_labelColumn;
    if (top >= m_image.height)
        return 1;
    if (top + h <= 0)
        return 0;
    if (!RenderValue(item, W))
        return 0;
    if (!item->textImage.data &&
        !RenderTextLocked(item->label.empty() ? u" " : item->label.c_str(), item->textImage, nullptr, 0, 4096, nullptr))
        return 0;
    row.rowStartX = 0;
    row.textFits = item->valueCut ? 0 : 1;
    if (index == m_selected.load())
        BrightenBand(index * h, 20, h);
    const uint32_t grey = 0xFF808080;
    const uint32_t valueColour = !item->enabled ? grey : item->editMark ? 0xFFEBEBEB : 0xFFC8C8C8;
    const uint32_t labelColour = item->enabled ? valueColour : grey;
    const int depth = row.depth;
    int x = depth * kIndent + 16;
    if (item->icon && item->icon->data) {
        BlendImage8(m_image, *item->icon, x, top + (h - item->icon->height) / 2, true, 256);
        x += item->icon->width + 4;
    }
    const ImageBuffer8& labelText = item->textImage;
    PaintCoverage(m_image, labelText, x, top + (h - labelText.height) / 2, labelColour,
                  {std::max(0, x), std::max(0, top), std::min(L, W), std::min(top + h, m_image.height)});
    DrawGradientLine8(m_image, 0x202020, 0x181818, 1, L + 1, top, L + 1, top + h, 2.0);
    const int valueX = L + depth * kIndent + 22, valueY = top + (h - item->valueImage.height) / 2;
    PaintCoverage(m_image, item->valueImage, valueX, valueY, valueColour,
                  {std::max(0, L + depth * kIndent + 17), std::max(0, top), W, std::min(top + h, m_image.height)});
    item->valueAt = {valueX, valueY};
    if (item->editMark && m_editIcon.data)
        BlendImage8(m_image, m_editIcon, W - 32, top + (h - m_editIcon.height) / 2, true, 256);
    const int bottom = top + h - 1;
    if (bottom >= 0 && bottom < m_image.height)
        FillRect8(m_image, {0, bottom, W, bottom + 1}, 0x202020, 255);
    return 0;
}

void CSPropertyList::EndEditor()
{
    if (!m_activeEditor)
        return;
    m_activeEditor->SetVisible(0);
    m_activeEditor->Invalidate();
    m_activeEditor->DiscardImage();
}

CPropItem* CSPropertyList::BeginEdit(int row)
{
    auto* item = row >= 0 ? dynamic_cast<CPropItem*>(Row(row).node) : nullptr;
    if (item && item == m_edited && m_activeEditor)
        return item;
    if (m_edited) {
        EndEditor();
        CommitEdit();
        m_edited = nullptr;
        m_activeEditor = nullptr;
        m_editMode = kEditNone;
    }
    if (!item)
        return nullptr;
    int mode = kEditRefused;
    int filter = CEditSprite::kFilterAny;
    const char16_t* allowed = u"";
    int maxLength = CEditSprite::kTextCapacity;
    switch (item->kind) {
    case CPropItem::kUnsigned:
    case CPropItem::kSigned: {
        const bool fullRange = item->kind == CPropItem::kUnsigned
                                   ? item->minimum == 0 && item->maximum == 0xFFFFFE
                                   : (item->minimum == -2147483647 || item->minimum == 0) && item->maximum == 2147483647;
        if (fullRange) {
            mode = kEditText;
            filter = CEditSprite::kFilterAllowed;
            allowed = u"0123456789-+";
        }
        break;
    }
    case CPropItem::kRational:
        mode = kEditText;
        filter = CEditSprite::kFilterAllowed;
        allowed = u"0123456789-+./";
        break;
    case CPropItem::kText:
        mode = kEditText;
        filter = item->maximum == CEditSprite::kFilterAllowed ? CEditSprite::kFilterAny : item->maximum;
        if (item->minimum > 0 && item->minimum < 4096)
            maxLength = item->minimum;
        break;
    case CPropItem::kChoice: mode = kEditChoice; break;
    default: break;
    }
    const int rowIndex = row;
    const int depth = Row(rowIndex).depth;
    const int x = m_labelColumn + depth * kIndent + 1, y = rowIndex * m_rowHeight - m_scroll.load() - 2;
    if (mode == kEditText) {
        m_editor.m_filter = filter;
        CopyTextBounded(m_editor.m_allowed, 257, allowed);
        m_editor.m_maxLength = maxLength;
        m_editor.SetPos(x, y, std::max(1, Width() - 17 - x), m_rowHeight + 4);
        m_editor.SetVisible(1);
        m_editor.SetAllDirty(1);
        m_editor.SetText(item->value.c_str());
        m_activeEditor = &m_editor;
        m_editor.PropagateState(1);
    } else if (mode == kEditChoice && m_menu.Window()) {
        m_menu.Close(0);
        m_menu.ReleaseResources(0);
        for (const CPropItem::Choice& c : item->choices)
            m_menu.AddItem(nullptr, c.value + kChoiceBase, c.label, nullptr);
        const SPoint p = LocalToWindowPoint({x, y});
        m_menu.Track(this, p.x, p.y, true, true);
    }
    m_editMode = mode;
    m_edited = item;
    return item;
}

int CSPropertyList::ShowError(const char16_t* text)
{
    return m_errorBox ? m_errorBox(text, kMbError, kMbOk) : SpriteMessageBox(text, kMbError, kMbOk);
}

int CSPropertyList::CommitEdit()
{
    PostToParent(MSG_PROP_COMMIT, 0, reinterpret_cast<intptr_t>(m_edited));
    CPropItem* item = m_edited;
    if (!item || !m_activeEditor || m_editMode != kEditText)
        return 1;
    if (item->kind != CPropItem::kUnsigned && item->kind != CPropItem::kSigned && item->kind != CPropItem::kRational &&
        item->kind != CPropItem::kText)
        return 0;
    char16_t text[256];
    m_activeEditor->GetText(text, 256, 0);
    switch (item->CommitText(text)) {
    case CPropItem::Commit::NotANumber: ShowError(UiText(u"propUpdateErr")); return 0;
    case CPropItem::Commit::OutOfRange:
        ShowError(FormatRange(UiText(u"dlgUpdateRange"), item->minimum, item->maximum).c_str());
        return 0;
    case CPropItem::Commit::Ok: break;
    }
    FreeImageBuffer(item->valueImage);
    item->known = 1;
    SetAllDirty(1);
    return 1;
}

int CSPropertyList::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_MENU_COMMAND && m_edited && m_editMode == kEditChoice &&
        m_edited->kind == CPropItem::kChoice) {
        const int32_t k = int32_t(message->param1);
        CPropItem* item = m_edited;
        item->selectedChoice = k - kChoiceBase;
        FreeImageBuffer(item->valueImage);
        item->known = 1;
        for (const CPropItem::Choice& c : item->choices)
            if (c.value + kChoiceBase == k)
                item->value = c.label;
        CommitEdit();
        m_edited = nullptr;
        m_editMode = kEditNone;
        SetAllDirty(1);
    }
    return CSTree::OnSpriteMessage(message);
}

void CSPropertyList::OnLButtonDown(int x, int y, uint32_t flags)
{
    const SRect bar = m_scrollBar.Rect();
    const bool onBar = m_scrollBar.IsVisible() && x >= bar.left && x < bar.right && y >= bar.top && y < bar.bottom;
    const int row = onBar ? -1 : RowAt(x, y);
    auto* item = row >= 0 ? dynamic_cast<CPropItem*>(Row(row).node) : nullptr;
    const bool editable = item && item->enabled && item->editMark && x >= m_labelColumn;
    if (!editable) {
        BeginEdit(-1);
        CSTree::OnLButtonDown(x, y, flags);
        return;
    }
    SetSelection(row, true, true);
    if (m_edited)
        BeginEdit(-1);
    else
        BeginEdit(row);
    if (!(flags & kCaptureDelivery))
        CMessageSprite::OnLButtonDown(x, y, flags);
}

void CSPropertyList::OnMouseMove(int x, int y, uint32_t flags)
{
    CSTree::OnMouseMove(x, y, flags);
    if (!m_window)
        return;
    const int row = RowAt(x, y);
    auto* item = row >= 0 ? dynamic_cast<CPropItem*>(Row(row).node) : nullptr;
    if (item && item->enabled && item->valueCut && item != m_edited && x >= m_labelColumn) {
        const SPoint p = LocalToWindowPoint({item->valueAt.x - 4, item->valueAt.y - 4});
        m_window->ShowTooltip(p.x, p.y, item->value.c_str(), false, true);
    } else if (item) {
        m_window->HideTooltip();
    }
}

int CSPropertyList::OnSetCursor(int x, int y)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        return child->OnSetCursor(x - r.left, y - r.top);
    }
    const int row = RowAt(x, y);
    const CTreeNode* node = Row(row).node;
    auto* item = dynamic_cast<const CPropItem*>(node);
    const bool hand = node && ((item && item->editMark && item->enabled) || !node->children.empty());
    if (m_window)
        m_window->SetCursor(hand ? platform::StandardCursor::Hand : platform::StandardCursor::Arrow);
    return hand ? 1 : 0;
}
