// Tree view: rows from the expanded nodes, selection with glide, scrolling, keys and drawing.
#include "ui/Tree.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/DialogSprite.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdlib>
#include <array>
#include <cstring>

namespace {

constexpr int kIndent = 12;
constexpr int kClickSlop = 5;
constexpr uint32_t kKeyBack = 8, kKeyPageUp = 33, kKeyPageDown = 34, kKeyEnd = 35, kKeyHome = 36,
                   kKeyUp = 38, kKeyDown = 40, kKeyAdd = 107, kKeySubtract = 109, kKeyPlus = 187,
                   kKeyMinus = 189;

int Depth(const CTreeNode* node)
{
    int d = 0;
    for (const CTreeNode* p = node->parent; p; p = p->parent)
        ++d;
    return d;
}

bool RenderNodeText(CTreeNode* node)
{
    if (node->textImage.data)
        return true;
    const char16_t* text = node->Text();
    return RenderTextLocked(text && *text ? text : u" ", node->textImage, nullptr, 0, 4096, nullptr) != 0;
}

} // namespace

CSTree::CSTree()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
}

int CSTree::OnCreate()
{
    if (!m_scrollBar.Create(this, m_window, 9, 2, 0, 0, 17, 100))
        return 0;
    m_scrollBar.SetVisible(0);
    AddChild(&m_scrollBar);
    if (const ImageList8* icons = SharedIconFrames(); icons && icons->size() > 5) {
        m_collapsedIcon = (*icons)[4];
        m_expandedIcon = (*icons)[5];
    }
    return 1;
}

CSTree::~CSTree()
{
    RemoveChild(&m_scrollBar); // a member: released here, never deleted
    m_scrollBar.ReleaseResources(1);
    platform::ScopedLock lock(m_lock);
    m_rows.clear();
}

void CSTree::DropTextImages(CTreeNode* node)
{
    for (CTreeNode* child : node->children)
        DropTextImages(child);
    FreeImageBuffer(node->textImage);
}

void CSTree::AppendRows(CTreeNode* node)
{
    if (node != m_root && !node->expanded) {
        platform::ScopedLock lock(m_lock);
        for (CTreeNode* child : node->children)
            DropTextImages(child);
        return;
    }
    for (CTreeNode* child : node->children) {
        TreeRow row;
        row.node = child;
        row.depth = child->parent ? Depth(child->parent) + 1 : 0;
        {
            platform::ScopedLock lock(m_lock);
            if (!RenderNodeText(child))
                continue;
            m_rows.push_back(row);
        }
        AppendRows(child);
    }
}

void CSTree::SetRoot(CTreeNode* root)
{
    m_root = root;
    Rebuild();
    SetSelection(-1, true, false);
}

void CSTree::Rebuild()
{
    {
        platform::ScopedLock lock(m_lock);
        m_rows.clear();
        m_hovered = -1;
        m_hoveredExpander = -1;
    }
    if (m_root)
        AppendRows(m_root);
    SetAllDirty(1);
    UpdateScrollBar();
}

int CSTree::RowCount() const
{
    platform::ScopedLock lock(m_lock);
    return int(m_rows.size());
}

TreeRow CSTree::Row(int index) const
{
    platform::ScopedLock lock(m_lock);
    return index >= 0 && index < int(m_rows.size()) ? m_rows[index] : TreeRow{};
}

void CSTree::PostToParent(int32_t code, intptr_t p1, intptr_t p2, bool withSender)
{
    auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
    if (parent && (parent->Flags() & SF_INPUT))
        ::PostSpriteMessage(parent, code, p1, p2, withSender ? this : nullptr);
}

void CSTree::SetSelection(int row, bool ensureVisible, bool glide)
{
    const int count = RowCount();
    // A row that does not exist deselects instead of reaching past the rows.
    if (row >= count)
        row = -1;
    if (row < 0) {
        if (m_selected.load() < 0)
            return;
        {
            platform::ScopedLock lock(m_lock);
            m_selected.store(-1);
            m_barY = m_glideStartY = -100;
        }
        PostToParent(MSG_TREE_SELECT, -1, 0);
        SetAllDirty(1);
        return;
    }
    if (row == m_selected.load() && m_selectionBar)
        return;
    CTreeNode* node;
    {
        platform::ScopedLock lock(m_lock);
        const int from = glide && m_selected.load() >= 0 ? m_selected.load() : row;
        m_barY = m_glideStartY = from * m_rowHeight;
        m_selected.store(row);
        node = m_rows[row].node;
    }
    PostToParent(MSG_TREE_SELECT, row, reinterpret_cast<intptr_t>(node));
    SetAllDirty(1);
    if (ensureVisible)
        EnsureVisible(row);
}

void CSTree::SelectNode(CTreeNode* node, bool ensureVisible)
{
    int found = -1;
    {
        platform::ScopedLock lock(m_lock);
        for (size_t i = 0; i < m_rows.size() && found < 0; ++i)
            if (m_rows[i].node == node)
                found = int(i);
    }
    SetSelection(found, ensureVisible, true);
}

CTreeNode* CSTree::GetSelectedNode()
{
    const int selected = m_selected.load();
    if (selected < 0)
        return nullptr;
    if (selected >= RowCount()) {
        SetSelection(-1, false, false);
        return nullptr;
    }
    return Row(selected).node;
}

void CSTree::ToggleExpand(int row)
{
    CTreeNode* node = Row(row).node;
    if (!node)
        return;
    node->expanded = node->expanded ? 0 : 1;
    PostToParent(MSG_TREE_EXPAND, row, reinterpret_cast<intptr_t>(node));
    SetAllDirty(1);
}

int CSTree::RowAt(int x, int y) const
{
    if (m_rowHeight <= 0 || y < 0)
        return -1;
    const int row = (y + m_scroll.load()) / m_rowHeight;
    platform::ScopedLock lock(m_lock);
    if (row < 0 || row >= int(m_rows.size()) || x < m_rows[row].rowStartX)
        return -1;
    return row;
}

int CSTree::ClampedOffset(int64_t offset) const
{
    const int64_t content = int64_t(RowCount()) * m_rowHeight;
    offset = std::min<int64_t>(offset, content - Height());
    return int(std::max<int64_t>(offset, 0));
}

void CSTree::UpdateScrollBar()
{
    const int view = Height();
    if (view <= 32) {
        m_scrollState.shown = false;
        if (m_scrollBar.IsVisible())
            m_scrollBar.SetVisible(0);
        return;
    }
    const int content = RowCount() * m_rowHeight;
    m_scrollState.shown = view < content;
    m_scroll.store(ClampedOffset(m_scroll.load()));
    m_scrollState.maximum = content;
    m_scrollState.page = view;
    m_scrollState.position = m_scroll.load();
    m_scrollBar.m_minimum.store(0);
    m_scrollBar.m_maximum.store(content);
    m_scrollBar.m_page.store(view);
    m_scrollBar.m_position.store(m_scrollState.position);
    if (m_scrollState.shown != (m_scrollBar.IsVisible() != 0))
        m_scrollBar.SetVisible(m_scrollState.shown ? 1 : 0);
    m_scrollBar.SetAllDirty(1);
    // Under the lock, so the frame that clears the mark cannot swallow it.
    platform::ScopedLock lock(m_lock);
    SetAllDirty(1);
}

void CSTree::EnsureVisible(int row)
{
    const int view = Height();
    const int y = row * m_rowHeight - m_scroll.load();
    if (y >= 0 && y <= view - m_rowHeight / 2)
        return;
    m_scroll.store(ClampedOffset(int64_t(m_scroll.load()) + y - view / 2));
    UpdateScrollBar();
}

void CSTree::ScrollBy(int pixels)
{
    m_scroll.store(ClampedOffset(int64_t(m_scroll.load()) + pixels));
    SetAllDirty(1);
    UpdateScrollBar();
}

void CSTree::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    m_scrollBar.SetPos(width - 17, 0, 17, height);
    SetAllDirty(1);
    UpdateScrollBar();
}

void CSTree::ReleaseResources(int flag)
{
    RemoveChild(&m_scrollBar);
    m_scrollBar.ReleaseResources(flag);
    CSprite::ReleaseResources(flag);
    platform::ScopedLock lock(m_lock);
    m_rows.clear();
}

void CSTree::BrightenBand(int y, int amount, int height)
{
    if (height > m_rowHeight && m_rowHeight > 0)
        amount = amount * (256 - std::min(256, (height - m_rowHeight) * 256 / m_rowHeight)) / 256;
    if (!m_image.data || amount <= 0)
        return;
    const int w = m_image.width;
    const int top = std::max(0, y - m_scroll.load()), bottom = std::min(m_image.height, y - m_scroll.load() + height);
    for (int line = top; line < bottom; ++line) {
        uint8_t* p = m_image.data + (size_t(line) * w + 1) * 4;
        for (int x = 1; x < w - 1; ++x, p += 4) {
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(std::min(255, p[c] + amount));
            p[3] = 255;
        }
    }
}

int CSTree::OnDraw(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    const int selected = m_selected.load();
    const int target = selected * m_rowHeight;
    int glow = 0;
    if (m_barY != target && selected >= 0) {
        if (g_bAnimation.load()) {
            const int d = std::abs(m_barY - target);
            const int span = std::abs(m_glideStartY - target);
            glow = span > 0 ? 256 - d * 256 / span : 0;
            if (d > 1) {
                m_barY = (m_barY + target) / 2;
            } else {
                m_barY = target;
                glow = 0;
            }
        } else {
            m_barY = target;
        }
        SetAllDirty(1);
    } else if (selected < 0) {
        m_barY = target;
    }
    if (!AllDirty() || !m_image.data)
        return 0;
    std::memset(m_image.data, 0, m_image.byteSize);
    InvalidateRect(0, 0, 0, 0, 1);
    for (int i = 0; i < int(m_rows.size()); ++i)
        if (DrawRow(i))
            break;
    if (m_selectionBar && selected >= 0) {
        BrightenBand(m_barY, 128, m_rowHeight);
        if (glow > 0) {
            const int h = m_rowHeight + m_rowHeight * glow / 256;
            BrightenBand(target - glow / 3, 160, h);
            BrightenBand(target + glow / 3, 160, h);
        }
    }
    return 1;
}

int CSTree::DrawRow(int index)
{
    TreeRow& row = m_rows[index];
    const int viewH = m_image.height, viewW = m_image.width;
    const int rowTop = index * m_rowHeight - m_scroll.load();
    if (!RenderNodeText(row.node))
        return 0;
    const ImageBuffer8& text = row.node->textImage;
    const int textTop = rowTop + (m_rowHeight - text.height) / 2;
    const int textBottom = rowTop + m_rowHeight - (m_rowHeight - text.height) / 2;
    if (textBottom <= 0 || textTop >= viewH)
        return textTop > viewH;
    int x = row.depth * kIndent;
    if (x > viewW)
        return 0;
    row.rowStartX = x;
    if (!m_expandedIcon || !m_collapsedIcon) {
        x += 16;
        row.rowStartX = x;
    } else if (!row.node->children.empty()) {
        const ImageBuffer8& icon = row.node->expanded ? *m_expandedIcon : *m_collapsedIcon;
        BlendImage8(m_image, icon, x, rowTop + (m_rowHeight - icon.height) / 2, true,
                    index == m_hoveredExpander ? 256 : 192);
        row.expanderDrawn = 1;
        x += icon.width + 1;
    } else {
        x += m_collapsedIcon->width;
        row.rowStartX = x;
    }
    row.xAfterExpander = x;
    if (row.node->icon && row.node->icon->data) {
        BlendImage8(m_image, *row.node->icon, x, rowTop + (m_rowHeight - row.node->icon->height) / 2, true, 256);
        row.iconDrawn = 1;
        x += row.node->icon->width + 1;
    }
    row.textX = x + 4;
    row.textTop = std::max(0, textTop);
    for (int ty = 0; ty < text.height; ++ty) {
        const int y = textTop + ty;
        if (y < 0 || y >= viewH)
            continue;
        for (int tx = 0; tx < text.width && row.textX + tx < viewW; ++tx) {
            const int grey = text.data[(size_t(ty) * text.width + tx) * 4 + 2] * 235 / 256;
            if (grey)
                std::memcpy(m_image.data + (size_t(y) * viewW + row.textX + tx) * 4,
                            std::array<uint8_t, 4>{uint8_t(grey), uint8_t(grey), uint8_t(grey), 255}.data(), 4);
        }
    }
    if (index == m_hovered && index != m_selected.load() && m_hoveredExpander != index) {
        const int y = textTop + text.height - 1;
        const int end = std::min(viewW, row.textX + text.width);
        if (y >= 0 && y < viewH)
            for (int ux = row.textX; ux < end; ++ux)
                std::memcpy(m_image.data + (size_t(y) * viewW + ux) * 4, "\x75\x75\x75\xFF", 4);
        row.textFits = row.textX + text.width < viewW ? 1 : 0;
    }
    DrawRowExtra(index, rowTop);
    return textTop > viewH;
}

void CSTree::OnMouseWheel(int, int, int delta)
{
    if (!m_image.data)
        return;
    ScrollBy(-int(int16_t(delta)));
}

static bool CSTreeOnBar(CSScrollBar& bar, int x, int y)
{
    const SRect r = bar.Rect();
    return bar.IsVisible() && x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void CSTree::OnMouseMove(int x, int y, uint32_t flags)
{
    if (!m_pressed && CSTreeOnBar(m_scrollBar, x, y)) {
        const SRect r = m_scrollBar.Rect();
        m_scrollBar.OnMouseMove(x - r.left, y - r.top, flags);
        return;
    }
    if (m_pressed) {
        m_scroll.store(ClampedOffset(int64_t(m_press.y) + m_pressScroll - y));
        SetAllDirty(1);
        UpdateScrollBar();
        return;
    }
    const bool inside = x >= 0 && y >= 0 && x < Width() && y < Height();
    if (!inside) {
        if (m_window)
            m_window->HideTooltip();
        return;
    }
    const int row = RowAt(x, y);
    if (row != m_hovered) {
        m_hovered = row;
        SetAllDirty(1);
    }
    const TreeRow r = Row(row);
    const int expander = row >= 0 && x > r.rowStartX && x < r.xAfterExpander && r.expanderDrawn ? row : -1;
    if (expander != m_hoveredExpander) {
        m_hoveredExpander = expander;
        SetAllDirty(1);
    }
    if (m_window) {
        if (row >= 0 && !r.textFits && r.node && r.node->Text()) {
            const SPoint p = LocalToWindowPoint({r.textX - 4, r.textTop - 4});
            m_window->ShowTooltip(p.x, p.y, r.node->Text(), false);
        } else {
            m_window->HideTooltip();
        }
        m_window->SetCursor(row >= 0 && expander < 0 ? platform::StandardCursor::Hand
                                                     : platform::StandardCursor::Arrow);
    }
}

void CSTree::OnLButtonDown(int x, int y, uint32_t flags)
{
    if (CSTreeOnBar(m_scrollBar, x, y)) {
        const SRect r = m_scrollBar.Rect();
        m_scrollBar.OnLButtonDown(x - r.left, y - r.top, flags);
        return;
    }
    if (m_window)
        m_window->HideTooltip();
    auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
    const int row = RowAt(x, y);
    const int within = m_rowHeight > 0 ? (y + m_scroll.load()) % m_rowHeight : 0;
    if (parent && parent->OnNotify(881, row, intptr_t(x) + (intptr_t(within) << 16)))
        return;
    m_press = {x, y};
    m_pressScroll = m_scroll.load();
    m_pressed = 1;
    if (m_window)
        m_window->SetCapture(this);
}

void CSTree::OnLButtonUp(int x, int y, uint32_t)
{
    if (m_pressed && std::abs(x - m_press.x) < kClickSlop && std::abs(y - m_press.y) < kClickSlop) {
        const int row = RowAt(x, y);
        const TreeRow r = Row(row);
        const bool onExpander = row >= 0 && r.expanderDrawn && x > r.rowStartX && x < r.xAfterExpander;
        if (onExpander) {
            ToggleExpand(row);
        } else if (row >= 0) {
            SetSelection(row, true, true);
            if (m_clickRipple && m_window)
                m_window->PlayClickWave();
        } else if (m_clearOnEmptyClick) {
            SetSelection(-1, true, true);
        }
    }
    m_pressed = 0;
    if (m_window)
        m_window->ReleaseCapture(this);
}

int CSTree::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->sender == &m_scrollBar) {
        const int maxOffset = std::max(0, RowCount() * m_rowHeight - Height());
        int offset = m_scroll.load();
        if (message->code == MSG_SCROLL_LINE_UP)
            offset = std::max(0, offset - m_rowHeight / 4);
        else if (message->code == MSG_SCROLL_LINE_DOWN && offset < maxOffset)
            offset += m_rowHeight / 4;
        else if (message->code == MSG_SCROLL_POS)
            offset = m_scrollBar.m_position.load();
        m_scroll.store(ClampedOffset(offset));
        SetAllDirty(1);
        UpdateScrollBar();
    }
    return CDialogControl::OnSpriteMessage(message);
}

void CSTree::OnLButtonDblClk(int, int y, uint32_t)
{
    if (m_rowHeight <= 0)
        return;
    const int row = (y + m_scroll.load()) / m_rowHeight;
    CTreeNode* node = Row(row).node;
    if (row >= 0 && node)
        PostToParent(MSG_TREE_DBLCLK, row, reinterpret_cast<intptr_t>(node));
}

void CSTree::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    const int count = RowCount();
    if (count == 0)
        return;
    const int selected = m_selected.load();
    const int page = m_rowHeight > 0 ? Height() / m_rowHeight : 1;
    int row = -2;
    switch (key) {
    case kKeyBack: PostToParent(MSG_TREE_BACK, 0, 0, false); return;
    case kKeyPageUp: row = std::max(0, selected - page); break;
    case kKeyPageDown: row = std::min(count - 1, selected + page); break;
    case kKeyEnd: row = count - 1; break;
    case kKeyHome: row = 0; break;
    case kKeyUp: row = selected <= 0 ? count - 1 : selected - 1; break;
    case kKeyDown: row = selected + 1 >= count ? 0 : selected + 1; break;
    case kKeyAdd:
    case kKeyPlus:
    case kKeySubtract:
    case kKeyMinus: {
        CTreeNode* node = Row(selected).node;
        const bool expand = key == kKeyAdd || key == kKeyPlus;
        if (node && !node->children.empty() && (node->expanded != 0) != expand)
            ToggleExpand(selected);
        return;
    }
    default: return;
    }
    SetSelection(row, true, true);
}

// ---------------------------------------------------------------------------------------------
// CFlatSimpleList

CFlatSimpleList::~CFlatSimpleList()
{
    {
        platform::ScopedLock lock(m_lock);
        m_rows.clear();
    }
    m_items.Clear();
}

int CFlatSimpleList::AddItem(const char16_t* text, const ImageBuffer8* icon)
{
    auto* node = new (std::nothrow) CTreeNode(text ? text : u"");
    if (!node)
        return -1;
    node->icon = icon;
    {
        platform::ScopedLock lock(m_lock);
        m_items.children.push_back(node); // no parent pointer: depth 0
    }
    const int index = int(m_items.children.size()) - 1;
    if (m_root != &m_items)
        SetRoot(&m_items);
    else
        Rebuild();
    return index;
}

void CFlatSimpleList::Clear()
{
    {
        // Rows point into the items: both go together under the lock.
        platform::ScopedLock lock(m_lock);
        m_rows.clear();
        m_items.Clear();
        if (!m_root)
            m_root = &m_items;
        m_selected.store(-1);
    }
    Rebuild();
}

int CFlatSimpleList::OnDraw(uint32_t time)
{
    const bool redraw = AllDirty() != 0;
    const int drew = CSTree::OnDraw(time);
    platform::ScopedLock lock(m_lock);
    if (redraw && m_image.data)
        DrawRectOutline8(m_image, 0xFFFFFF, 64, 0, 0, m_image.width, m_image.height);
    return drew;
}
