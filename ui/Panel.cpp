// Panel sprites: items with glow, box, icon and label, laid out beside or above each other.
#include "ui/Panel.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/RenderWindow.h"

#include <algorithm>
#include <string>
#include <cstring>

namespace {

constexpr int kGlowStep = 32;
constexpr int kGlowFull = 128;

} // namespace

PanelItem::~PanelItem()
{
    FreeImageBuffer(icon);
    FreeImageBuffer(labelImage);
}

CPanelSprite::CPanelSprite()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
}

CPanelSprite::~CPanelSprite()
{
    platform::ScopedLock lock(m_lock);
    m_items.clear();
}

int CPanelSprite::AddItem(int32_t id, uint8_t kind, const char16_t* label, const char16_t* tooltip,
                          const ImageBuffer8* icon, int left, int top, int right, int bottom)
{
    auto item = std::make_unique<PanelItem>();
    item->rect = {left, top, right, bottom};
    item->kind = kind;
    item->id = id;
    CopyTextBounded(item->label, PanelItem::kLabelCapacity, label ? label : u"");
    CopyTextBounded(item->tooltip, PanelItem::kTooltipCapacity, tooltip ? tooltip : u"");
    if (item->label[0]) {
        const int maxWidth = std::max(1, item->rect.Width() - 10);
        bool cut = false;
        if (!RenderTextLocked(item->label, item->labelImage, nullptr, 0, maxWidth, &cut))
            return 0;
        if (cut) {
            FreeImageBuffer(item->labelImage);
            if (!RenderWrappedText(item->labelImage, item->label, maxWidth, 12))
                return 0;
        }
    }
    if (icon && icon->data && !CopyImage8(item->icon, *icon))
        return 0;
    platform::ScopedLock lock(m_lock);
    m_items.push_back(std::move(item));
    SetAllDirty(1);
    return 1;
}

int CPanelSprite::ItemCount() const
{
    platform::ScopedLock lock(m_lock);
    return int(m_items.size());
}

PanelItem* CPanelSprite::FindItem(int32_t id, int* index)
{
    platform::ScopedLock lock(m_lock);
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->id == id) {
            if (index)
                *index = int(i);
            return m_items[i].get();
        }
    if (index)
        *index = -1;
    return nullptr;
}

void CPanelSprite::SetItemIcon(int32_t id, const ImageBuffer8* icon)
{
    platform::ScopedLock lock(m_lock);
    PanelItem* item = FindItem(id);
    if (!item)
        return;
    FreeImageBuffer(item->icon);
    if (icon && icon->data)
        CopyImage8(item->icon, *icon);
    SetAllDirty(1);
}

void CPanelSprite::SetItemChecked(int32_t id, int checked)
{
    platform::ScopedLock lock(m_lock);
    if (PanelItem* item = FindItem(id)) {
        item->checked = checked ? 1 : 0;
        SetAllDirty(1);
    }
}

void CPanelSprite::EnableItem(int32_t id, int enabled)
{
    platform::ScopedLock lock(m_lock);
    PanelItem* item = FindItem(id);
    if (item && item->enabled != (enabled ? 1 : 0)) {
        item->enabled = enabled ? 1 : 0;
        SetAllDirty(1);
    }
}

void CPanelSprite::ShowItem(int32_t id, int visible)
{
    platform::ScopedLock lock(m_lock);
    if (PanelItem* item = FindItem(id)) {
        item->visible = visible ? 1 : 0;
        SetAllDirty(1);
    }
}

void CPanelSprite::SetLastItemImage(const ImageBuffer8& image)
{
    platform::ScopedLock lock(m_lock);
    if (m_items.empty())
        return;
    PanelItem& item = *m_items.back();
    FreeImageBuffer(item.icon);
    if (image.data)
        CopyImage8(item.icon, image);
    SetAllDirty(1);
}

void CPanelSprite::UncheckAll()
{
    platform::ScopedLock lock(m_lock);
    for (auto& item : m_items)
        item->checked = 0;
    SetAllDirty(1);
}

int CPanelSprite::OnDraw(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    const int hover = m_hover.load();
    for (size_t i = 0; i < m_items.size(); ++i) {
        PanelItem& item = *m_items[i];
        const int before = item.hoverLevel;
        if (int(i) != hover) {
            item.hoverLevel = uint8_t(before <= kGlowStep ? 0 : before - kGlowStep);
        } else if (before < kGlowFull) {
            item.hoverLevel = uint8_t(std::min(kGlowFull, before + kGlowStep));
            // The tip is the UI thread's: asked for here, shown when the message arrives.
            if (item.hoverLevel == kGlowFull && item.tooltip[0] && int(i) != m_pressed.load() && m_window)
                ::PostSpriteMessage(this, kMsgShowTip, int(i), 0, this);
        }
        if (item.hoverLevel != before)
            SetAllDirty(1);
    }
    if (!AllDirty() || !m_image.data)
        return 0;
    const int w = m_image.width, h = m_image.height;
    if (m_background.load()) {
        for (int y = 0; y < h; ++y) {
            const int v = std::max(0, int(200u * unsigned(y) / unsigned(h)) - 140);
            const uint32_t px = 0xFF000000u | uint32_t(v) << 16 | uint32_t(v) << 8 | uint32_t(v);
            uint32_t* row = reinterpret_cast<uint32_t*>(m_image.data + size_t(y) * w * 4);
            std::fill(row, row + w, px);
        }
    } else {
        std::memset(m_image.data, 0, m_image.byteSize);
    }
    for (size_t i = 0; i < m_items.size(); ++i)
        DrawItem(int(i));
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CPanelSprite::DrawItem(int index)
{
    platform::ScopedLock lock(m_lock);
    if (index < 0 || index >= int(m_items.size()) || !m_image.data)
        return;
    PanelItem& item = *m_items[index];
    if (!item.visible)
        return;
    int box = -1, alpha;
    if (item.checked) {
        box = 160;
        alpha = 255;
    } else if (!item.enabled) {
        alpha = 0;
    } else if (index == m_pressed.load()) {
        box = 192;
        alpha = 255;
    } else {
        box = item.hoverLevel ? item.hoverLevel : -1;
        alpha = 230;
    }
    const SRect r = item.rect;
    if (box >= 0 && item.kind != PanelItem::kNoBox) {
        const int v = box * 220 / 255;
        const DrawRect clipped{std::max(0, r.left), std::max(0, r.top), std::min(m_image.width, r.right),
                               std::min(m_image.height, r.bottom)};
        if (clipped.left < clipped.right && clipped.top < clipped.bottom)
            for (int y = clipped.top; y < clipped.bottom; ++y) {
                uint32_t* row = reinterpret_cast<uint32_t*>(m_image.data + size_t(y) * m_image.width * 4);
                std::fill(row + clipped.left, row + clipped.right,
                          0xFF000000u | uint32_t(v) << 16 | uint32_t(v) << 8 | uint32_t(v));
            }
    }
    const int iw = r.Width(), ih = r.Height();
    const ImageBuffer8& label = item.labelImage;
    const ImageBuffer8& icon = item.icon;
    const bool hasLabel = label.data && label.width <= iw && label.height <= ih;
    bool hasIcon = icon.data && icon.width <= iw && icon.height <= ih;
    enum { kAlone, kBeside, kAbove } place = kAlone;
    if (hasIcon && hasLabel) {
        const bool beside = icon.width + label.width + 10 < iw;
        const bool above = icon.height + label.height + 10 < ih;
        const int mode = m_layoutMode.load();
        if (mode != 2 && beside)
            place = kBeside;
        else if (mode != 1 && above)
            place = kAbove;
        else
            hasIcon = false;
    }
    int ix = 0, iy = 0;
    if (hasIcon) {
        if (place == kBeside) {
            ix = r.left + (iw - icon.width - label.width - 10) / 2;
            iy = r.top + (ih - icon.height) / 2;
        } else if (place == kAbove) {
            ix = r.left + (iw - icon.width) / 2;
            iy = r.top + (ih - icon.height - label.height - 10) / 2;
        } else {
            ix = r.left + (iw - icon.width) / 2;
            iy = r.top + (ih - icon.height) / 2;
        }
        BlendImage8(m_image, icon, ix, iy, true, int(unsigned(alpha + 256) / 2));
    }
    if (hasLabel) {
        int lx, ly;
        if (hasIcon && place == kBeside) {
            lx = ix + icon.width + 10;
            ly = r.top + (ih - label.height) / 2;
        } else if (hasIcon && place == kAbove) {
            lx = r.left + (iw - label.width) / 2;
            ly = iy + icon.height + 10;
        } else {
            lx = r.left + (iw - label.width) / 2;
            ly = r.top + (ih - label.height) / 2;
        }
        const uint32_t g = std::min(255u, unsigned(alpha + 256) / 2);
        FillThroughMask8(m_image, label, lx, ly, g << 16 | g << 8 | g);
    }
}

void CPanelSprite::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        m_items.clear();
    }
    CSprite::ReleaseResources(flag);
}

void CPanelSprite::PostToParent(int32_t code, intptr_t p1, intptr_t p2)
{
    auto* parent = dynamic_cast<CMessageSprite*>(m_parent);
    if (parent && (parent->Flags() & SF_INPUT))
        ::PostSpriteMessage(parent, code, p1, p2, this);
}

int CPanelSprite::OnSpriteMessage(SpriteMessage* message)
{
    if (!message || message->code != kMsgShowTip)
        return CMessageSprite::OnSpriteMessage(message);
    const int index = int(message->param1);
    std::u16string text;
    SPoint p{};
    {
        platform::ScopedLock lock(m_lock);
        // Still the hovered item, still fully lit, not pressed meanwhile.
        if (index != m_hover.load() || index == m_pressed.load() || index < 0 || index >= int(m_items.size()))
            return 1;
        const PanelItem& item = *m_items[size_t(index)];
        if (item.hoverLevel != kGlowFull || !item.tooltip[0])
            return 1;
        text = item.tooltip;
        p = LocalToWindowPoint({item.rect.right, item.rect.bottom});
    }
    if (m_window)
        m_window->ShowTooltip(p.x, p.y, text.c_str(), false);
    return 1;
}

void CPanelSprite::HideTip()
{
    if (m_window)
        m_window->HideTooltip();
}

void CPanelSprite::OnMouseMove(int x, int y, uint32_t)
{
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) {
        if (m_window)
            m_window->ReleaseCapture(this);
        m_hover.store(kHoverNone);
        m_pressed.store(-1);
        HideTip();
        SetAllDirty(1);
        return;
    }
    const int before = m_hover.load();
    int hover = kHoverPanel;
    bool enabledButton = false;
    {
        platform::ScopedLock lock(m_lock);
        for (size_t i = 0; i < m_items.size(); ++i) {
            const PanelItem& item = *m_items[i];
            const SRect& r = item.rect;
            if (item.visible && x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
                hover = int(i);
                enabledButton = item.enabled && item.kind != PanelItem::kNoBox;
            }
        }
    }
    m_hover.store(hover);
    if (hover != before)
        HideTip();
    if (hover == kHoverPanel) {
        HideTip();
        if (m_pressed.load() != kHoverPanel)
            m_pressed.store(-1);
        if (m_window)
            m_window->ReleaseCapture(this);
    } else {
        if (m_window)
            m_window->SetCapture(this);
        if (enabledButton) {
            if (m_window)
                m_window->SetCursor(platform::StandardCursor::Hand);
            return;
        }
    }
    CMessageSprite::OnSetCursor(x, y);
}

void CPanelSprite::OnLButtonDown(int x, int y, uint32_t flags)
{
    OnMouseMove(x, y, flags);
    const int hover = m_hover.load();
    if (hover < 0 || hover == kHoverPanel)
        return;
    int32_t id = 0;
    PanelItem* item = nullptr;
    {
        platform::ScopedLock lock(m_lock);
        if (hover >= int(m_items.size()))
            return;
        item = m_items[hover].get();
        id = item->id;
    }
    m_pressed.store(hover);
    m_lastPressed.store(hover);
    PostToParent(MSG_PANEL_PRESS, id, reinterpret_cast<intptr_t>(item));
    SetAllDirty(1);
}

void CPanelSprite::OnLButtonUp(int x, int y, uint32_t)
{
    const int pressed = m_pressed.load();
    bool click = false;
    int32_t id = 0;
    uint32_t packed = 0;
    {
        platform::ScopedLock lock(m_lock);
        if (pressed >= 0 && pressed < int(m_items.size()) && pressed == m_hover.load()) {
            const PanelItem& item = *m_items[pressed];
            if (item.enabled && item.visible && m_parent && (m_parent->Flags() & SF_INPUT)) {
                click = true;
                id = item.id;
                // Packed as unsigned 32 bits: a release left of or above the item stays in its half.
                packed = (uint32_t(y - item.rect.top) << 16) + (uint32_t(x - item.rect.left) & 0xFFFFu);
            }
        }
    }
    m_pressed.store(-1);
    m_hover.store(kHoverNone);
    if (click) {
        PostToParent(MSG_PANEL_CLICK, id, intptr_t(packed));
        if (m_window)
            m_window->PlayClickWave();
    }
    SetAllDirty(1);
}

void CPanelSprite::OnCaptureReleased()
{
    const int pressed = m_pressed.load();
    if (pressed >= 0 && pressed != kHoverPanel) {
        int32_t id = 0;
        {
            platform::ScopedLock lock(m_lock);
            const int hover = m_hover.load();
            // The hovered item is -1 by now when the pointer left; the press belongs to the
            // pressed item either way.
            const int which = hover >= 0 && hover < int(m_items.size()) ? hover : pressed;
            if (which < int(m_items.size()))
                id = m_items[which]->id;
        }
        PostToParent(MSG_PANEL_PRESS, id, 0);
    }
    m_pressed.store(-1);
    m_hover.store(kHoverNone);
    SetAllDirty(1);
}

void CPanelSprite::OnLButtonDblClk(int, int, uint32_t)
{
    const int last = m_lastPressed.load();
    if (last < 0 || last == kHoverPanel)
        return;
    int32_t id = 0;
    {
        platform::ScopedLock lock(m_lock);
        if (last >= int(m_items.size()))
            return;
        id = m_items[last]->id;
    }
    PostToParent(MSG_PANEL_DBLCLK, id, 0);
}
