// Edit field: records, layout, caret and selection, filter, clipboard, undo and redo, drawing.
#include "ui/EditField.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "platform/Clipboard.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kAreaLeft = 5, kAreaTop = 4, kLineHeight = 20, kCaretHeight = 14;
constexpr uint32_t kBlinkMs = 350;

bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }
bool IsWordChar(char16_t c) { return c > 32 && c != u'.' && c != u',' && c != u';' && c != u'/' && c != u'-'; }
} // namespace

CEditSprite::CEditSprite()
{
    m_normalOpacity = 220;
    m_hoverOpacity = 255;
}

CEditSprite::~CEditSprite()
{
    FreeChars();
    m_menu.Close(0);
}

void CEditSprite::FreeChars()
{
    platform::ScopedLock lock(m_lock);
    for (EditChar& c : m_chars)
        FreeImageBuffer(c.glyph);
    m_chars.clear();
}

void CEditSprite::ReleaseResources(int flag)
{
    FreeChars();
    if (flag)
        m_menu.ReleaseResources(flag);
    CMoveOverSprite::ReleaseResources(flag);
}

int CEditSprite::Setup(const char16_t* text)
{
    m_maxLength = kTextCapacity;
    if (text && !LoadText(text))
        return 0;
    if (!m_menu.Create(nullptr, g_pRenderWindow.load(), 100, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    return 1;
}

bool CEditSprite::RenderGlyph(EditChar& record)
{
    record.hasGlyph = 0;
    if (IsLineBreak(record.character))
        return true;
    const char16_t one[2] = {record.character, 0};
    ImageBuffer8 glyph;
    if (!RenderTextLocked(one, glyph, nullptr, 0, 100000, nullptr) || !glyph.data)
        return false;
    record.glyph = glyph;
    record.hasGlyph = 1;
    return true;
}

void CEditSprite::LayoutChars()
{
    platform::ScopedLock lock(m_lock);
    int x = 0, y = 0;
    for (EditChar& c : m_chars) {
        c.x = x;
        c.y = y;
        if (c.hasGlyph)
            x += c.glyph.width + 1;
        else if (c.character == u'\n' && m_multiLine) {
            y += kLineHeight;
            x = 0;
        }
    }
}

int CEditSprite::LoadText(const char16_t* text)
{
    FreeChars();
    const int capacity = std::clamp(m_maxLength, 1, kTextCapacity);
    std::vector<char16_t> copy(size_t(capacity) + 1, 0);
    CopyTextBounded(copy.data(), capacity, text);
    std::vector<EditChar> records;
    for (int i = 0; copy[i]; ++i) {
        EditChar r;
        r.character = copy[i];
        if (!RenderGlyph(r)) {
            for (EditChar& done : records)
                FreeImageBuffer(done.glyph);
            return 0;
        }
        records.push_back(r);
    }
    {
        platform::ScopedLock lock(m_lock);
        m_chars.swap(records);
    }
    LayoutChars();
    const int old = m_caret.load();
    m_caret.store(Length());
    if (old != Length())
        ScrollToCaret();
    return 1;
}

int CEditSprite::SetTextChecked(const char16_t* text)
{
    const int ok = LoadText(text ? text : u"");
    m_selStart = m_selEnd = -1;
    m_caret.store(Length());
    m_scrollX.store(0);
    m_scrollY = 0;
    SetAllDirty(1);
    return ok;
}

const char16_t* CEditSprite::GetText()
{
    const int n = std::min(Length(), kTextCapacity);
    for (int i = 0; i < n; ++i)
        m_text[i] = m_chars[size_t(i)].character;
    m_text[n] = 0;
    return m_text;
}

void CEditSprite::GetText(char16_t* buffer, int capacity, int)
{
    if (buffer && capacity > 0)
        CopyTextBounded(buffer, capacity, GetText());
}

bool CEditSprite::Accepts(char16_t c) const
{
    switch (m_filter) {
    case kFilterFileName:
        return !std::char_traits<char16_t>::find(u"\\/*|?:\"'<>", 10, c);
    case kFilterAllowed:
        for (int i = 0; i < 256 && m_allowed[i]; ++i)
            if (m_allowed[i] == c)
                return true;
        return false;
    case kFilterAscii:
        return c < 128;
    default:
        return true;
    }
}

void CEditSprite::InsertChar(char16_t c, int recordUndo)
{
    if (Length() >= std::min(m_maxLength, kTextCapacity))
        return;
    EditChar r;
    r.character = c;
    if (!RenderGlyph(r))
        return;
    const int caret = std::clamp(m_caret.load(), 0, Length());
    {
        platform::ScopedLock lock(m_lock);
        m_chars.insert(m_chars.begin() + caret, r);
    }
    LayoutChars();
    m_caret.store(caret + 1);
    ScrollToCaret();
    if (recordUndo) {
        m_undo.push_back({caret, 0, c});
        m_redo.clear();
    }
    SetAllDirty(1);
}

void CEditSprite::DeleteChar(int index, int recordUndo)
{
    if (index < 0 || index >= Length())
        return;
    if (recordUndo) {
        m_undo.push_back({index, 1, m_chars[size_t(index)].character});
        m_redo.clear();
    }
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_chars[size_t(index)].glyph);
        m_chars.erase(m_chars.begin() + index);
    }
    if (m_selStart >= 0) {
        if (index < m_selStart) {
            --m_selStart;
            --m_selEnd;
        } else if (index < m_selEnd) {
            --m_selEnd;
        }
        if (m_selEnd <= m_selStart)
            m_selStart = m_selEnd = -1;
    }
    if (m_caret.load() > index)
        m_caret.store(m_caret.load() - 1);
    LayoutChars();
    SetAllDirty(1);
}

void CEditSprite::DeleteSelection()
{
    if (m_selStart < 0)
        return;
    const int start = m_selStart;
    m_caret.store(start);
    while (m_selStart >= 0 && start < Length())
        DeleteChar(start, 1);
    m_selStart = m_selEnd = -1;
    m_caret.store(std::min(start, Length()));
    ScrollToCaret();
}

void CEditSprite::SetSelection(int start, int end)
{
    if (start > end)
        std::swap(start, end);
    if (start == end)
        start = end = -1;
    m_selStart = start;
    m_selEnd = end;
}

void CEditSprite::MoveCaret(int index, int extend, int clear)
{
    if (clear && !extend)
        m_selStart = m_selEnd = -1;
    index = std::clamp(index, 0, Length());
    const int caret = m_caret.load();
    if (index == caret)
        return;
    if (extend) {
        // The selection runs from its anchor (where it began) to the new caret, so it grows and
        // shrinks as on every desktop.
        if (m_selStart < 0)
            m_anchor = caret;
        SetSelection(m_anchor, index);
    }
    m_caret.store(index);
    ScrollToCaret();
    SetAllDirty(1);
}

void CEditSprite::SelectAll()
{
    SetSelection(0, Length());
    m_anchor = 0;
    SetAllDirty(1);
}

void CEditSprite::Copy()
{
    if (m_selStart < 0)
        return;
    platform::String16 text;
    for (int i = m_selStart; i < m_selEnd && i < Length() && int(text.size()) < kTextCapacity; ++i)
        text.push_back(m_chars[size_t(i)].character);
    platform::SystemClipboard().SetText(text);
}

void CEditSprite::Changed()
{
    PostToParent(MSG_EDIT_CHANGED, Length(), 0);
}

void CEditSprite::Cut()
{
    if (!Enabled())
        return;
    Copy();
    DeleteSelection();
    Changed();
}

void CEditSprite::Paste()
{
    if (!Enabled())
        return;
    // Unicode text only; every character passes the filter and the limit like a typed one.
    std::optional<platform::String16> text = platform::SystemClipboard().GetText();
    if (!text)
        return;
    DeleteSelection();
    const int limit = std::min(m_maxLength, kTextCapacity);
    for (char16_t c : *text) {
        if (Length() >= limit - 1)
            break;
        if (IsLineBreak(c) && !m_multiLine)
            continue;
        if (c < 32 && !IsLineBreak(c))
            continue;
        if (!Accepts(c))
            continue;
        InsertChar(c, 1);
    }
    Changed();
}

void CEditSprite::Undo()
{
    if (m_undo.empty() || !Enabled())
        return;
    EditUndoStep step = m_undo.back();
    m_undo.pop_back();
    std::deque<EditUndoStep> keep;
    keep.swap(m_redo); // InsertChar/DeleteChar without recording leave the queues alone
    if (step.kind == 0) {
        DeleteChar(step.index, 0);
    } else {
        m_selStart = m_selEnd = -1;
        m_caret.store(std::clamp(step.index, 0, Length()));
        InsertChar(step.character, 0);
    }
    keep.swap(m_redo);
    step.kind = step.kind ? 0 : 1;
    m_redo.push_back(step);
    Changed();
    SetAllDirty(1);
}

void CEditSprite::Redo()
{
    if (m_redo.empty() || !Enabled())
        return;
    EditUndoStep step = m_redo.back();
    m_redo.pop_back();
    // Kind here is the opposite of the undo step: 1 means the undo deleted an insertion.
    if (step.kind == 1) {
        m_selStart = m_selEnd = -1;
        m_caret.store(std::clamp(step.index, 0, Length()));
        InsertChar(step.character, 0);
    } else {
        DeleteChar(step.index, 0);
    }
    step.kind = step.kind ? 0 : 1;
    m_undo.push_back(step);
    Changed();
    SetAllDirty(1);
}

int CEditSprite::CaretX() const
{
    const int n = Length();
    const int caret = std::clamp(m_caret.load(), 0, n);
    if (n == 0)
        return 0;
    if (caret < n)
        return std::max(0, m_chars[size_t(caret)].x - 1);
    const EditChar& last = m_chars[size_t(n - 1)];
    if (m_multiLine && last.character == u'\n')
        return 0;
    return last.x + (last.hasGlyph ? last.glyph.width : 0) + 1;
}

void CEditSprite::ScrollToCaret()
{
    const int area = AreaWidth();
    if (area <= 0)
        return;
    const int c = CaretX();
    const int r = c - m_scrollX.load();
    if (r < 0)
        m_scrollX.store(c);
    else if (r > area)
        m_scrollX.store(std::max(0, c - area + 10));
}

int CEditSprite::CaretFromPoint(int x, int y) const
{
    const int n = Length();
    const int tx = x - kAreaLeft + m_scrollX.load() + 5;
    const int ty = y - kAreaTop + m_scrollY;
    int previous = INT32_MIN;
    for (int i = 0; i < n; ++i) {
        const EditChar& c = m_chars[size_t(i)];
        if (i > 0 && m_chars[size_t(i - 1)].y != c.y)
            previous = INT32_MIN; // a new line starts at its left edge
        const int width = c.hasGlyph ? c.glyph.width : 0;
        const bool lastOnLine = i == n - 1 || m_chars[size_t(i + 1)].y != c.y;
        const int boundary = c.x + (lastOnLine ? width : width / 2);
        const bool inBand = ty >= c.y && ty < c.y + kLineHeight;
        if (inBand && tx > previous && tx <= boundary)
            return i;
        if (inBand && lastOnLine && tx > boundary)
            return (c.character == u'\n' || i == n - 1) ? (c.character == u'\n' ? i : n) : i + 1;
        previous = boundary;
    }
    if (n == 0 || ty >= m_chars[size_t(n - 1)].y)
        return n;
    return -1;
}

bool CEditSprite::ShiftDown() const
{
    return m_window && m_window->PlatformWindow() && m_window->PlatformWindow()->IsKeyDown(platform::vk::Shift);
}

bool CEditSprite::ControlDown() const
{
    return m_window && m_window->PlatformWindow() && m_window->PlatformWindow()->IsKeyDown(platform::vk::Control);
}

int CEditSprite::WordStep(int from, int direction) const
{
    const int n = Length();
    int i = from;
    auto word = [&](int k) { return IsWordChar(m_chars[size_t(k)].character); };
    if (direction > 0) {
        while (i < n && word(i))
            ++i;
        while (i < n && !word(i))
            ++i;
    } else {
        while (i > 0 && !word(i - 1))
            --i;
        while (i > 0 && word(i - 1))
            --i;
    }
    return i;
}

void CEditSprite::OnChar(uint32_t character, uint32_t, uint32_t)
{
    if (!Enabled())
        return;
    switch (character) {
    case 1: SelectAll(); return;
    case 3: Copy(); return;
    case 22: Paste(); return;
    case 24: Cut(); return;
    case 25: Redo(); return;
    case 26: Undo(); return;
    default: break;
    }
    if (character < 32 || character == 127 || character > 0xFFFF)
        return;
    const char16_t c = char16_t(character);
    if (!Accepts(c))
        return;
    DeleteSelection();
    InsertChar(c, 1);
    Changed();
}

void CEditSprite::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    const bool shift = ShiftDown();
    const int caret = m_caret.load();
    switch (key) {
    case platform::vk::Back:
        if (!Enabled())
            return;
        if (m_selStart >= 0) {
            DeleteSelection();
        } else if (caret > 0) {
            DeleteChar(caret - 1, 1);
            ScrollToCaret();
        } else {
            return;
        }
        Changed();
        return;
    case platform::vk::Delete:
        if (!Enabled())
            return;
        if (m_selStart >= 0)
            DeleteSelection();
        else if (caret < Length())
            DeleteChar(caret, 1);
        else
            return;
        Changed();
        return;
    case platform::vk::Return:
        if (auto* parent = dynamic_cast<CMessageSprite*>(Parent()))
            parent->OnKeyDown(key, 1, 0);
        return;
    case platform::vk::Home:
        MoveCaret(0, shift, 1);
        return;
    case platform::vk::End:
        MoveCaret(Length(), shift, 1);
        return;
    case platform::vk::Left:
    case platform::vk::Right: {
        const int direction = key == platform::vk::Left ? -1 : 1;
        if (!shift && m_selStart >= 0) {
            // Without Shift an arrow collapses the selection to its side.
            const int to = direction < 0 ? m_selStart : m_selEnd;
            m_selStart = m_selEnd = -1;
            m_caret.store(to);
            ScrollToCaret();
            SetAllDirty(1);
            return;
        }
        const int to = ControlDown() ? WordStep(caret, direction) : caret + direction;
        MoveCaret(to, shift, 1);
        return;
    }
    default:
        return;
    }
}

void CEditSprite::OnLButtonDown(int x, int y, uint32_t)
{
    if (!Enabled())
        return;
    const int index = CaretFromPoint(x, y);
    if (index < 0)
        return;
    if (ShiftDown()) {
        MoveCaret(index, 1, 0);
    } else {
        m_selStart = m_selEnd = -1;
        m_caret.store(index);
        m_anchor = index;
    }
    m_pressIndex = index;
    m_selecting = 1;
    SetAllDirty(1);
}

void CEditSprite::OnMouseMove(int x, int y, uint32_t keyFlags)
{
    if (m_selecting) {
        if (keyFlags & platform::kMouseLButton) {
            const int index = CaretFromPoint(x, y);
            if (index >= 0 && index != m_caret.load()) {
                SetSelection(m_anchor, index);
                m_caret.store(index);
                ScrollToCaret();
                SetAllDirty(1);
            }
            return;
        }
        m_selecting = 0;
    }
    OnSetCursor(x, y);
    CMoveOverSprite::OnMouseMove(x, y, keyFlags);
}

void CEditSprite::OnLButtonUp(int x, int y, uint32_t)
{
    if (!Enabled())
        return;
    if (m_selecting && CaretFromPoint(x, y) == m_pressIndex && !ShiftDown()) {
        m_selStart = m_selEnd = -1;
        SetAllDirty(1);
    }
    m_selecting = 0;
}

void CEditSprite::OnLButtonDblClk(int, int, uint32_t)
{
    SelectAll();
    m_caret.store(Length());
    ScrollToCaret();
}

void CEditSprite::OnRButtonDown(int x, int y, uint32_t keyFlags)
{
    const bool inArea = x >= kAreaLeft && y >= kAreaTop && x < Width() - 5 && y < Height() - 4;
    if (!inArea) {
        if (!(keyFlags & kCaptureDelivery))
            CMoveOverSprite::OnRButtonDown(x, y, keyFlags);
        return;
    }
    if (!m_window || !m_menu.Window())
        return;
    m_menu.Close(0);
    m_menu.ReleaseResources(0);
    const char16_t* ctrl = UiText(u"Ctrl");
    struct Entry { const char16_t* hot; int id; const char16_t* key; const char16_t* icon; char16_t letter; };
    const Entry entries[] = {
        {u"C", kCmdCopy, u"Copy", u"menucopy.png", u'C'}, {u"T", kCmdCut, u"Cut", u"menucut.png", u'X'},
        {u"P", kCmdPaste, u"Paste", u"menupaste.png", u'V'}, {nullptr, 0, nullptr, nullptr, 0},
        {u"U", kCmdUndo, u"Undo", u"menuundo.png", u'Z'}, {u"R", kCmdRedo, u"Redo", u"menuredo.png", u'Y'},
        {nullptr, 0, nullptr, nullptr, 0}, {nullptr, kCmdSelectAll, u"SelectAll", nullptr, u'A'},
        {nullptr, kCmdReset, u"EditReset", nullptr, 0}};
    for (const Entry& e : entries) {
        if (!e.id) {
            m_menu.AddItem(nullptr, 0, nullptr, nullptr);
            continue;
        }
        platform::String16 shortcut;
        if (e.letter) {
            shortcut = ctrl;
            shortcut += u'+';
            shortcut += e.letter;
        }
        // A skin without the icon still gets its menu, without the picture.
        ImageBuffer8 probe;
        const bool hasIcon = e.icon && LoadSkinOrBasicImage(e.icon, probe);
        FreeImageBuffer(probe);
        m_menu.AddItemEx(e.hot, e.id, UiText(e.key), hasIcon ? e.icon : nullptr,
                         shortcut.empty() ? nullptr : shortcut.c_str(), 0, nullptr);
    }
    m_menu.EnableItem(kCmdUndo, m_undo.empty() ? 0 : 1);
    m_menu.EnableItem(kCmdRedo, m_redo.empty() ? 0 : 1);
    // A disabled edit offers nothing that would change it.
    if (!Enabled())
        for (int id : {kCmdCut, kCmdPaste, kCmdUndo, kCmdRedo, kCmdReset})
            m_menu.EnableItem(id, 0);
    const SPoint p = LocalToWindowPoint({x, y});
    m_menu.Track(this, p.x, p.y, true, true);
}

int CEditSprite::OnSetCursor(int x, int y)
{
    const bool inArea = x >= kAreaLeft && y >= kAreaTop && x < Width() - 5 && y < Height() - 4;
    if (m_window)
        m_window->SetCursor(inArea && Enabled() ? platform::StandardCursor::IBeam : platform::StandardCursor::Arrow);
    return 1;
}

int CEditSprite::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_FOCUS) {
        // Text input (input methods, composed characters) follows the focus through
        // WantsTextInput: the render window switches it on every focus change.
        m_hasFocus = message->param1 ? 1 : 0;
        SetAllDirty(1);
    } else if (message && message->code == MSG_MENU_COMMAND) {
        switch (message->param1) {
        case kCmdCopy: Copy(); break;
        case kCmdCut: Cut(); break;
        case kCmdPaste: Paste(); break;
        case kCmdUndo: Undo(); break;
        case kCmdRedo: Redo(); break;
        case kCmdSelectAll: SelectAll(); break;
        case kCmdReset:
            if (Enabled())
                SetTextChecked(u"");
            break;
        default: break;
        }
        if (m_window)
            m_window->SetFocus(this, false);
    }
    return CMoveOverSprite::OnSpriteMessage(message);
}

int CEditSprite::OnDraw(uint32_t time)
{
    CMoveOverSprite::OnDraw(time);
    const int n = Length();
    const int caret = std::clamp(m_caret.load(), 0, n);
    bool showCaret = false;
    const uint32_t phase = time / kBlinkMs;
    // Only the focused field blinks: it asks for the frame of its next blink itself, so the
    // render thread may sleep in between; an unfocused field is not redrawn by the clock.
    const bool focused = m_window && m_window->Focus() == this;
    if (phase != m_blinkPhase) {
        m_blinkPhase = phase;
        showCaret = (phase & 1) && focused;
        if (focused)
            SetAllDirty(1);
    }
    if (focused)
        m_window->RequestFrameIn(kBlinkMs - time % kBlinkMs);
    if (!AllDirty())
        return 0;
    const ImageBuffer8* frame = SharedUiImage(u"roundframe.png");
    platform::ScopedLock lock(m_lock);
    if (!m_image.data || !frame)
        return 0;
    std::memset(m_image.data, 0, m_image.byteSize);
    TileFrame8(m_image, *frame, 0, 0);
    const DrawRect area{kAreaLeft, kAreaTop, m_image.width - 5, m_image.height - 4};
    if (area.right <= area.left || area.bottom <= area.top) {
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
    const uint32_t colour = Enabled() ? 0xEBEBEB : 0x808080;
    const int sx = m_scrollX.load(), sy = m_scrollY;
    for (int i = 0; i < n; ++i) {
        const EditChar& c = m_chars[size_t(i)];
        if (!c.hasGlyph)
            continue;
        const int gx = area.left + c.x - sx, gy = area.top + c.y - sy;
        if (gx >= area.right || gx + c.glyph.width + 1 <= area.left)
            continue; // off the visible stretch
        if (i >= m_selStart && i < m_selEnd) {
            const int l = std::max(gx, area.left), r = std::min(gx + c.glyph.width + 1, area.right);
            const int t = std::max(gy, area.top), b = std::min(gy + c.glyph.height, area.bottom);
            for (int y = t; y < b; ++y)
                for (int x = l; x < r; ++x) {
                    uint8_t* p = m_image.data + (size_t(y) * m_image.width + x) * 4;
                    for (int k = 0; k < 3; ++k)
                        p[k] = uint8_t(std::min(255, p[k] + 64));
                    p[3] = 255;
                }
        }
        FillThroughMask8(m_image, c.glyph, gx, gy, colour, area);
    }
    if (showCaret && Enabled()) {
        const int cx = area.left + CaretX() - sx;
        const int cy = area.top + (n ? (caret < n ? m_chars[size_t(caret)].y : m_chars[size_t(n - 1)].y) : 0) - sy;
        if (cx >= area.left && cx < area.right)
            for (int y = std::max(cy, area.top); y < std::min(cy + kCaretHeight, area.bottom); ++y) {
                uint8_t* p = m_image.data + (size_t(y) * m_image.width + cx) * 4;
                p[0] = ColourBlue(colour);
                p[1] = ColourGreen(colour);
                p[2] = ColourRed(colour);
                p[3] = 255;
            }
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}
