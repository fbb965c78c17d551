// Breadcrumb bar: segments from the current node up, squeezed to three at narrow widths,
// highlight levels, chevrons, selection and the sibling list.
#include "ui/TagBar.h"

#include "imaging/TextRender.h"
#include "ui/RenderWindow.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kHoverLevel = 100;
constexpr int kPressLevel = 160;
constexpr int kLevelStep = 10;

} // namespace

CSTreeTag::CSTreeTag()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
}

CSTreeTag::~CSTreeTag()
{
    m_menu.Close(0);
    m_menu.ReleaseResources(1);
    FreeSegments();
}

int CSTreeTag::OnCreate()
{
    // The sibling menu: a top-level sprite of the window, shown while the pointer rests.
    if (!m_menu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    return 1;
}

std::u16string CSTreeTag::GetNodeText(const CTreeNode* node)
{
    if (!node || !node->HasText())
        return u" ";
    return node->Text();
}

void CSTreeTag::FreeSegments()
{
    platform::ScopedLock lock(m_lock);
    for (Segment& s : m_segments)
        FreeImageBuffer(s.text);
    m_segments.clear();
}

int CSTreeTag::SegmentCount() const
{
    platform::ScopedLock lock(m_lock);
    return int(m_segments.size());
}

CSTreeTag::Segment CSTreeTag::SegmentAt(int index) const
{
    platform::ScopedLock lock(m_lock);
    if (index < 0 || index >= int(m_segments.size()))
        return {};
    const Segment& s = m_segments[index];
    Segment copy;
    copy.node = s.node;
    copy.width = s.width;
    copy.x = s.x;
    copy.level = s.level;
    return copy;
}

void CSTreeTag::Rebuild()
{
    // Built apart, then swapped in under the lock: the render thread never sees a half list.
    std::vector<Segment> built;
    for (CTreeNode* n = m_current; n; n = n->parent) {
        Segment s;
        s.node = n;
        const std::u16string text = GetNodeText(n);
        if (!RenderTextLocked(text.c_str(), s.text, nullptr, 0, 1024, nullptr))
            continue;
        s.width = s.text.width + 10;
        built.push_back(s);
    }
    const int barWidth = Width();
    int visible = 0;
    int64_t total = 0;
    for (const Segment& s : built) {
        total += s.width;
        if (total <= barWidth)
            ++visible;
        else
            break;
    }
    const int count = int(built.size());
    if (visible < 3 && count > visible) {
        const int first = std::min(count, 3);
        int excess = -barWidth;
        for (int i = 0; i < first; ++i)
            excess += built[i].width;
        while (excess > 0) {
            int widest = 0;
            for (int i = 1; i < first; ++i)
                if (built[i].width > built[widest].width)
                    widest = i;
            if (built[widest].width <= 4)
                break; // nothing left to narrow
            built[widest].width -= 4;
            excess -= 4;
        }
        visible = first;
    }
    {
        platform::ScopedLock lock(m_lock);
        for (Segment& s : m_segments)
            FreeImageBuffer(s.text);
        m_segments.swap(built);
        m_visible = m_current ? visible : 0;
        if (m_hovered.load() >= int(m_segments.size()))
            m_hovered.store(-1);
        if (m_pressed.load() >= int(m_segments.size()))
            m_pressed.store(-1);
    }
    SetAllDirty(1);
}

void CSTreeTag::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    SetAllDirty(1);
    Rebuild();
}

int CSTreeTag::SegmentFromPoint(int x, int y) const
{
    platform::ScopedLock lock(m_lock);
    if (x < 0 || y < 0 || x >= Width() || y >= Height() || m_visible <= 0)
        return -1;
    for (int i = 0; i < std::min(m_visible, int(m_segments.size())); ++i) {
        const Segment& s = m_segments[i];
        if (x > s.x && x < s.x + s.width)
            return i;
    }
    return -1;
}

void CSTreeTag::AnimateSegments()
{
    const int hovered = m_hovered.load(), pressed = m_pressed.load();
    bool changed = false;
    for (int i = 0; i < int(m_segments.size()); ++i) {
        Segment& s = m_segments[i];
        const int before = s.level;
        if (i >= m_visible) {
            s.level = 0;
        } else {
            if (i == pressed && i != 0)
                s.level = std::max(s.level, kPressLevel);
            else if (i != 0)
                s.level = std::min(s.level, kHoverLevel);
            if (i == hovered) {
                if (s.level < kHoverLevel) {
                    s.level += kLevelStep;
                    if (s.level >= kHoverLevel) {
                        s.level = kHoverLevel;
                        PostSpriteMessage(MSG_TAG_HOVER, i, reinterpret_cast<intptr_t>(s.node), this);
                    }
                }
            } else if (s.level > 0 && i != pressed) {
                s.level = std::max(0, s.level - kLevelStep);
            }
        }
        changed |= s.level != before;
    }
    if (changed)
        SetAllDirty(1);
}

int CSTreeTag::OnDraw(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    AnimateSegments();
    if (!AllDirty() || !m_image.data)
        return 0;
    std::memset(m_image.data, 0, m_image.byteSize);
    const int w = m_image.width, h = m_image.height;
    auto put = [&](int x, int y, int grey) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        uint8_t* p = m_image.data + (size_t(y) * w + x) * 4;
        p[0] = p[1] = p[2] = uint8_t(grey);
        p[3] = 255;
    };
    if (m_current) {
        int x = 0;
        for (int i = std::min(m_visible, int(m_segments.size())) - 1; i >= 0; --i) {
            Segment& s = m_segments[i];
            s.x = x;
            const bool squeezed = s.text.width > s.width - 10;
            const int columns = squeezed ? std::max(0, s.width - 18) : s.text.width;
            const int top = (h - 14) / 2;
            for (int ty = 0; ty < s.text.height; ++ty)
                for (int tx = 0; tx < std::min(columns, s.text.width); ++tx) {
                    const int c = s.text.data[(size_t(ty) * s.text.width + tx) * 4 + 2];
                    const int grey = std::min(255, s.level + c / 2);
                    if (grey > 0 && c > 0)
                        put(s.x + tx, top + ty, grey);
                }
            const int mark = std::min(s.level + 128, 255);
            if (squeezed) {
                const int dotY = top + s.text.height - 1;
                put(s.x + columns + 4, dotY, mark);
                put(s.x + columns + 8, dotY, mark);
            }
            if (i != 0) {
                const int cx = s.x + s.width - 7, cy = (h - 6) / 2;
                for (int r : {0, 1, 4, 5})
                    for (int dx : {0, 1})
                        put(cx + dx, cy + r, mark);
                for (int r : {2, 3})
                    for (int dx : {2, 3})
                        put(cx + dx, cy + r, mark);
            }
            x += s.width;
        }
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CSTreeTag::ReleaseResources(int flag)
{
    FreeSegments();
    m_visible = 0;
    CSprite::ReleaseResources(flag);
}

void CSTreeTag::OnMouseMove(int x, int y, uint32_t flags)
{
    if (CMessageSprite* child = ChildFromPoint(x, y)) {
        const SRect r = child->Rect();
        child->OnMouseMove(x - r.left, y - r.top, flags);
    }
    const int segment = SegmentFromPoint(x, y);
    if (segment < 0) {
        m_hovered.store(-1);
        m_pressed.store(-1);
        if (m_window) {
            m_window->ReleaseCapture(this);
            m_window->SetCursor(platform::StandardCursor::Arrow);
        }
        return;
    }
    if (segment != m_hovered.load()) {
        m_hovered.store(segment);
        if (m_window)
            m_window->SetCapture(this);
    }
    if (m_hovered.load() != m_pressed.load())
        m_pressed.store(-1);
    if (m_window)
        m_window->SetCursor(segment != 0 ? platform::StandardCursor::Hand : platform::StandardCursor::Arrow);
}

void CSTreeTag::OnLButtonDown(int x, int y, uint32_t)
{
    const int segment = SegmentFromPoint(x, y);
    if (segment != m_pressed.load()) {
        m_pressed.store(segment);
        SetAllDirty(1);
    }
}

void CSTreeTag::OnLButtonUp(int, int, uint32_t)
{
    const int pressed = m_pressed.load();
    if (pressed > 0) {
        CTreeNode* node = SegmentAt(pressed).node;
        auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
        if (node && parent && (parent->Flags() & SF_INPUT)) {
            ::PostSpriteMessage(parent, MSG_TAG_SELECT, 0, reinterpret_cast<intptr_t>(node), this);
            if (m_window)
                m_window->PlayClickWave();
        }
    }
    SetAllDirty(1);
    m_pressed.store(-1);
}

std::vector<CSTreeTag::SiblingItem> CSTreeTag::BuildSiblingList(CTreeNode* node)
{
    std::vector<SiblingItem> items;
    if (!node || !node->parent || node->parent->children.size() < 2)
        return items;
    int own = 0;
    const auto& siblings = node->parent->children;
    for (size_t k = 0; k < siblings.size(); ++k) {
        if (siblings[k] == node) {
            own = int(k) + 1;
            continue;
        }
        char16_t text[64];
        CopyTextBounded(text, 64, GetNodeText(siblings[k]).c_str());
        items.push_back({int32_t(k) + 1, text, false});
    }
    items.push_back({0, u"", true});
    char16_t text[64];
    CopyTextBounded(text, 64, GetNodeText(node).c_str());
    items.push_back({own, text, false});
    m_siblingParent = node->parent;
    return items;
}

int CSTreeTag::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_TAG_HOVER) {
        // The node must still be one of the bar's segments: a rebuild may have replaced it.
        auto* node = reinterpret_cast<CTreeNode*>(message->param2);
        const int index = int(message->param1);
        const Segment segment = SegmentAt(index);
        if (segment.node == node && node) {
            const std::vector<SiblingItem> items = BuildSiblingList(node);
            if (!items.empty() && m_window && m_menu.Window()) {
                m_menu.Close(0);
                m_menu.ReleaseResources(0);
                for (const SiblingItem& item : items)
                    m_menu.AddItem(nullptr, item.separator ? 0 : item.id, item.separator ? nullptr : item.text.c_str(),
                                   nullptr);
                const SPoint corner = LocalToWindowPoint({segment.x, Height()});
                m_menu.Track(this, corner.x, corner.y, true, true);
                m_hovered.store(-1); // the menu takes over from here
            }
        }
        return 1;
    }
    if (message && message->code == MSG_MENU_COMMAND && m_siblingParent) {
        const intptr_t k = message->param1;
        auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
        if (parent && (parent->Flags() & SF_INPUT) && k >= 1 && k <= intptr_t(m_siblingParent->children.size()))
            ::PostSpriteMessage(parent, MSG_TAG_SELECT, 0,
                                reinterpret_cast<intptr_t>(m_siblingParent->children[size_t(k - 1)]), this);
        return 1;
    }
    return CMessageSprite::OnSpriteMessage(message);
}
