// Popup menu: building, measuring, the opening and closing animation, the highlight bar,
// pointer, wheel and keys, sub-menus and scrolling.
#include "ui/Menu.h"

#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/DialogSprite.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>


ImageList8 theMenuIcons;

namespace {

bool SameText(const char16_t* a, const char16_t* b)
{
    return std::u16string_view(a) == std::u16string_view(b);
}

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

void CopyFixed(char16_t* destination, int capacity, const char16_t* source)
{
    // Plain copy cut to the field: labels and names are short and must not gain "..".
    int i = 0;
    if (source)
        for (; i < capacity - 1 && source[i]; ++i)
            destination[i] = source[i];
    destination[i] = 0;
}

} // namespace

CSMenu::CSMenu()
{
    SetFlags(0x1B);
    SetEnabled(1);
}

CSMenu::~CSMenu()
{
    // The scroll bar is a member: released here, while it still exists, never deleted.
    CSMenu::ReleaseResources(1);
}

void CSMenu::FreeItems()
{
    platform::ScopedLock lock(m_lock);
    for (MenuItem* item : m_items) {
        FreeImageBuffer(item->iconPicture);
        FreeImageBuffer(item->labelPicture);
        FreeImageBuffer(item->rightPicture);
        delete item;
    }
    m_items.clear();
}

int CSMenu::OnCreate()
{
    if (!m_scrollBar.Create(this, m_window, 1, 2, 0, 0, 17, 100))
        return 0;
    m_scrollBar.SetVisible(0);
    AddChild(&m_scrollBar);
    return 1;
}

void CSMenu::ReleaseResources(int flag)
{
    // Sub-menus are other top-level sprites: listed under our lock, released after it.
    std::vector<CSMenu*> subs;
    {
        platform::ScopedLock lock(m_lock);
        for (MenuItem* item : m_items)
            if (item->subMenu && item->subMenu != this)
                subs.push_back(item->subMenu);
    }
    for (CSMenu* sub : subs)
        sub->ReleaseResources(flag);
    FreeItems();
    m_animState.store(kNone);
    if (flag)
        CPopupSprite::ReleaseResources(flag);
}

int CSMenu::FindItem(const char16_t* hotKey, int32_t commandId) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        const MenuItem& item = *m_items[i];
        if (hotKey && item.hotKey[0] && SameText(item.hotKey, hotKey))
            return int(i);
        if (commandId != 0 && item.commandId == commandId)
            return int(i);
    }
    return -1;
}

int CSMenu::AddItem(const char16_t* hotKey, int32_t commandId, const char16_t* label, const ImageBuffer8* icon)
{
    auto* item = new (std::nothrow) MenuItem;
    if (!item)
        return 0;
    if ((!hotKey || !hotKey[0]) && commandId == 0) {
        item->separator = 1;
        item->height = 10;
    } else {
        if (FindItem(hotKey && hotKey[0] ? hotKey : nullptr, commandId) >= 0) {
            delete item;
            return 0;
        }
        CopyFixed(item->hotKey, 32, hotKey);
        CopyFixed(item->label, 64, label);
        item->commandId = commandId;
        item->iconImage = icon;
    }
    platform::ScopedLock lock(m_lock);
    m_items.push_back(item);
    return 1;
}

int CSMenu::AddItemEx(const char16_t* hotKey, int32_t commandId, const char16_t* label, const char16_t* iconFile,
                      const char16_t* shortcut, int32_t, CSMenu* subMenu)
{
    const int before = Count();
    if (!AddItem(hotKey, commandId, label, nullptr) || Count() == before)
        return 0;
    MenuItem& item = *m_items.back();
    CopyFixed(item.iconFile, 32, iconFile);
    CopyFixed(item.shortcut, 10, shortcut);
    item.subMenu = subMenu;
    if (subMenu)
        subMenu->m_parentMenu = this;
    return 1;
}

void CSMenu::EnableItem(int32_t commandId, int enabled)
{
    for (MenuItem* item : m_items)
        if (item->commandId == commandId) {
            item->enabled = enabled & 0xFF;
            return;
        }
}

void CSMenu::CheckItem(int32_t commandId, int checked)
{
    for (MenuItem* item : m_items)
        if (item->commandId == commandId) {
            item->checked = checked & 0xFF;
            return;
        }
}

void CSMenu::SetItemTip(int32_t commandId, const char16_t* text)
{
    for (MenuItem* item : m_items)
        if (item->commandId == commandId) {
            item->tip[0] = 0;
            if (!text)
                return;
            const size_t n = std::char_traits<char16_t>::length(text);
            if (n < 511) {
                std::copy(text, text + n + 1, item->tip);
            } else {
                std::copy(text, text + 509, item->tip);
                item->tip[509] = u'.';
                item->tip[510] = u'.';
                item->tip[511] = 0;
            }
            return;
        }
}

int CSMenu::Measure()
{
    m_contentWidth = 0;
    m_contentHeight = 2;
    m_iconColumn = 20;
    int widest = 0;
    for (MenuItem* item : m_items) {
        if (item->label[0] && !item->labelPicture.data &&
            !RenderTextLocked(item->label, item->labelPicture, nullptr, 0, 100000, nullptr))
            return 0;
        if (item->iconFile[0] && !item->iconPicture.data && !LoadSkinOrBasicImage(item->iconFile, item->iconPicture))
            return 0;
        if (item->iconImage && item->iconImage->data && !CopyImage8(item->iconPicture, *item->iconImage))
            return 0;
        if (item->shortcut[0] && !item->rightPicture.data &&
            !RenderTextLocked(item->shortcut, item->rightPicture, nullptr, 0, 100000, nullptr))
            return 0;
        if (item->subMenu) {
            const ImageList8* frames = SharedIconFrames();
            if (!frames || frames->items.size() <= 16 || !frames->items[16] ||
                !CopyImage8(item->rightPicture, *frames->items[16]))
                return 0;
        }
        int width = item->label[0] ? item->labelPicture.width + 13 : 5;
        if (item->rightPicture.data)
            width += item->rightPicture.width + 50;
        if (item->iconPicture.data && item->iconPicture.width > m_iconColumn)
            m_iconColumn = item->iconPicture.width + 8;
        widest = std::max(widest, width);
        m_contentHeight += item->height;
    }
    m_contentWidth = widest + 5 + m_iconColumn;
    return 1;
}

int CSMenu::Track(CMessageSprite* owner, int x, int y, bool downwards, bool rightwards)
{
    if (!m_window || !Measure())
        return 0;
    const MenuPlacement p = PlacePopupMenu(m_contentWidth, m_contentHeight, downwards, rightwards, x, y,
                                           m_window->LogicalWidth(), m_window->LogicalHeight());
    m_owner = owner;
    m_anchorY = y;
    m_opensUpward = p.downwards ? 0 : 1;
    SetVisible(1);
    m_window->TrackPopupMenu(this, m_contentWidth, m_contentHeight, downwards, rightwards, x, y);
    return 1;
}

int CSMenu::ItemY(int index) const
{
    if (index < 0 || index >= Count())
        return -100;
    int y = m_panelTop + 1 - m_scroll;
    for (int i = 0; i < index; ++i)
        y += m_items[size_t(i)]->height;
    return y;
}

int CSMenu::MaxScroll() const
{
    return std::max(0, m_panelTop + m_contentHeight - m_panelBottom);
}

void CSMenu::OnPopup()
{
    SetOpacity(64);
    SetDetached(0);
    m_barY = m_barTargetY = -100;
    m_barHeight = m_barTargetHeight = 20;
    m_current = -1;
    m_chosen = -1;
    m_animState.store(kOpening);
    SetEnabled(1);
    SetAllDirty(1);
    const int width = Width(), height = Height();
    m_panelLeft = 0;
    m_panelRight = width;
    if (m_opensUpward) {
        m_panelBottom = m_anchorY;
        m_panelTop = m_anchorY - m_contentHeight;
        m_scroll = 0;
        if (m_panelTop < 20) {
            m_panelTop = 20;
            m_scroll = 20 - (m_anchorY - m_contentHeight);
        }
    } else {
        m_panelTop = m_anchorY;
        m_panelBottom = std::min(m_anchorY + m_contentHeight + 2, height - 20);
        m_scroll = 0;
    }
    const int k = Count() <= 10 ? 4 : 2;
    for (int i = 0; i < Count(); ++i) {
        MenuItem& item = *m_items[size_t(i)];
        item.targetY = ItemY(i);
        item.currentY = int(std::clamp<int64_t>(m_anchorY + int64_t(k) * (item.targetY - m_anchorY), -100000, 100000));
    }
    m_scrollBar.SetPos(m_panelRight - 18, m_panelTop + 1, 17, std::max(0, m_panelBottom - m_panelTop - 2));
    UpdateScrollBar();
    SetVisible(1);
    SetAllDirty(1);
}

void CSMenu::UpdateScrollBar()
{
    const int page = m_panelBottom - m_panelTop;
    m_scrollBar.SetVisible(page < m_contentHeight && m_animState.load() != kClosingChosen ? 1 : 0);
    m_scrollBar.m_minimum = 0;
    m_scrollBar.m_maximum = m_contentHeight;
    m_scrollBar.m_page = page;
    m_scrollBar.m_position = m_scroll;
    m_scrollBar.SetAllDirty(1);
    for (int i = 0; i < Count(); ++i)
        m_items[size_t(i)]->targetY = ItemY(i);
}

void CSMenu::PanelPixel(uint8_t* p, int x, int alpha) const
{
    const int grey = x < m_iconColumn ? std::max(0, 235 - x) : 235;
    p[0] = p[1] = p[2] = uint8_t(grey);
    p[3] = uint8_t(alpha);
}

void CSMenu::DrawItem(MenuItem& item, int y, bool fill, int opacity, bool clip)
{
    ImageBuffer8& img = m_image;
    if (!img.data)
        return;
    if (fill) {
        const int alpha = opacity * 240 >> 8;
        for (int row = std::max(0, y); row < std::min(img.height, y + item.height); ++row) {
            uint8_t* line = img.data + size_t(row) * img.width * 4;
            for (int x = 0; x < img.width; ++x)
                PanelPixel(line + x * 4, x, alpha);
        }
    } else if (y > m_panelBottom || y + item.height < m_panelTop) {
        return;
    }
    DrawRect clipRect{};
    if (clip)
        clipRect = {m_panelLeft + 1, m_panelTop + 1, m_panelRight - 1, m_panelBottom - 1};
    if (clip && (clipRect.right <= clipRect.left || clipRect.bottom <= clipRect.top))
        return;
    const uint32_t ink = item.enabled ? 0x404040 : 0x969696;
    if (item.checked) {
        const ImageList8* frames = SharedIconFrames();
        if (frames && frames->items.size() > 17 && frames->items[17]) {
            const ImageBuffer8& mark = *frames->items[17];
            FillThroughMask8(img, mark, (m_iconColumn - mark.width - 2) / 2 + 2, y + (item.height - mark.height) / 2,
                             item.enabled ? 0x000000 : 0xC0C0C0);
        }
    } else if (item.iconPicture.data) {
        BlendImage8(img, item.iconPicture, (m_iconColumn - item.iconPicture.width - 2) / 2 + 2,
                    y + (item.height - item.iconPicture.height) / 2, false, item.enabled ? 256 : 64, clipRect);
    }
    if (item.labelPicture.data)
        FillThroughMask8(img, item.labelPicture, m_iconColumn + 8, y + (item.height - item.labelPicture.height) / 2,
                         ink, clipRect);
    if (item.rightPicture.data)
        FillThroughMask8(img, item.rightPicture, img.width - item.rightPicture.width - 4,
                         y + (item.height - item.rightPicture.height) / 2, ink, clipRect);
    if (item.separator) {
        const int row = y + item.height / 2;
        if (row >= 0 && row < img.height && img.width > 0) {
            uint8_t* line = img.data + size_t(row) * img.width * 4;
            for (int x = 0; x < img.width; ++x) {
                const int t = x * 272 / img.width, d = 263 - t;
                if (d < 1 || d > 254)
                    continue;
                const int v = ((705 - d) * 85) >> 8;
                uint8_t* p = line + x * 4;
                p[0] = p[1] = p[2] = uint8_t(v);
                p[3] = 240;
            }
        }
    }
}

void CSMenu::EndAfterClose()
{
    // Shared end of every close: hidden, popped, items freed, sub-menus and parents closed.
    SetVisible(0);
    InvalidateRect(0, 0, 0, 0, 1);
    if (m_window)
        m_window->PopModal(this);
    ReleaseResources(0);
    m_current = -1;
    CSMenu* sub = m_openSub;
    m_openSub = nullptr;
    m_openSubItem = -1;
    if (sub && IsPointerAlive(sub))
        sub->Close(0);
    if (m_parentMenu && IsPointerAlive(m_parentMenu))
        m_parentMenu->Close(0);
    platform::ScopedLock lock(m_lock);
    if (m_image.data)
        std::memset(m_image.data, 0, m_image.byteSize);
}

int CSMenu::StepAnimation()
{
    const int state = m_animState.load();
    auto finishClose = [&] {
        SetOpacity(0);
        ::PostSpriteMessage(this, MSG_MENU_CLOSED, state == kClosingChosen ? 1 : 0, 0, nullptr);
        m_animState.store(kNone);
        SetAllDirty(1);
    };
    if (!g_bAnimation.load()) {
        if (state == kOpening) {
            SetOpacity(255);
            m_animState.store(kNone);
            SetAllDirty(1);
        } else {
            finishClose();
        }
        return 1;
    }
    if (state == kOpening && Opacity() >= 255) {
        m_animState.store(kNone);
        SetAllDirty(1);
        return 1;
    }
    if (state != kOpening && Opacity() <= 0) {
        finishClose();
        return 1;
    }
    platform::ScopedLock lock(m_lock);
    if (m_image.data)
        std::memset(m_image.data, 0, m_image.byteSize);
    for (int i = 0; i < Count(); ++i) {
        MenuItem& item = *m_items[size_t(i)];
        if (std::abs(item.currentY - item.targetY) >= 4)
            item.currentY = (item.currentY + 2 * item.targetY) / 3;
        if (item.currentY + item.height > 0 && item.currentY < m_image.height) {
            const int opacity = state == kClosingChosen && i != m_chosen ? 64 : 255;
            DrawItem(item, item.currentY, true, opacity, false);
        }
    }
    if (Count() == 1) {
        SetOpacity(state == kOpening ? 255 : 0);
    } else if (state == kOpening) {
        const int o = (Opacity() + 255) / 2;
        SetOpacity(o >= 240 ? 255 : o);
    } else {
        const int o = Opacity() - 64;
        SetOpacity(o < 15 ? 0 : o);
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

namespace {
// Private to the menu: show the tip of item param1 at bar height param2 (posted by the frame).
constexpr int32_t kMsgShowTip = 11003;
} // namespace

int CSMenu::OnDraw(uint32_t)
{
    if (m_animState.load() != kNone) {
        StepAnimation();
        if (m_animState.load() != kNone)
            return 1;
    }
    const CSprite* parent = Parent();
    if ((parent && IsPointerAlive(parent) && !parent->IsShown()) || !IsVisible())
        return 1;
    const int targetY = m_barTargetY, targetHeight = m_barTargetHeight;
    if (m_barY != targetY || m_barHeight != targetHeight) {
        auto approach = [](std::atomic<int32_t>& v, int target) {
            int next = (v + 2 * target) / 3;
            if (std::abs(next - target) < 3)
                next = target;
            v = next;
        };
        approach(m_barY, targetY);
        approach(m_barHeight, targetHeight);
        const int current = m_current;
        // The tip is shown by the UI thread: this thread holds the menu's lock, which ranks
        // with the tip's and below the window's.
        if (m_barY == targetY && m_barHeight == targetHeight && targetY >= 0 && current >= 0 && current < Count())
            ::PostSpriteMessage(this, kMsgShowTip, current, targetY, nullptr);
        SetAllDirty(1);
    }
    if (!AllDirty())
        return 0;
    platform::ScopedLock lock(m_lock);
    ImageBuffer8& img = m_image;
    if (!img.data)
        return 0;
    for (int y = 0; y < img.height; ++y) {
        uint8_t* line = img.data + size_t(y) * img.width * 4;
        if (y < m_panelTop || y >= m_panelBottom) {
            std::memset(line, 0, size_t(img.width) * 4);
            continue;
        }
        const bool edgeRow = y == m_panelTop || y == m_panelBottom - 1;
        for (int x = 0; x < img.width; ++x)
            PanelPixel(line + x * 4, x, edgeRow || x == 0 || x == img.width - 1 ? 255 : 240);
    }
    for (int i = 0; i < Count(); ++i)
        DrawItem(*m_items[size_t(i)], ItemY(i), false, 255, true);
    const int barY = m_barY, barHeight = m_barHeight;
    if (img.width > 2)
        for (int y = std::max(0, barY); y < std::min(img.height, barY + barHeight); ++y) {
            uint8_t* line = img.data + size_t(y) * img.width * 4;
            for (int x = 1; x <= img.width - 2; ++x) {
                const int dark = 64 - (50 * x) / img.width;
                uint8_t* p = line + x * 4;
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t(std::max(0, p[c] - dark));
            }
        }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

bool CSMenu::Usable(int i) const
{
    return i >= 0 && i < Count() && m_items[size_t(i)]->enabled && !m_items[size_t(i)]->separator;
}

SRect CSMenu::HitRect() const
{
    const int grow = m_closeWhenLeft ? 20 : 0;
    return {m_panelLeft - grow, m_panelTop - grow, m_panelRight + grow, m_panelBottom + grow};
}

bool CSMenu::InHit(int x, int y) const
{
    const SRect r = HitRect();
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

int CSMenu::ItemFromPoint(int x, int y) const
{
    if (!InHit(x, y))
        return -1;
    for (int i = 0; i < Count(); ++i) {
        const MenuItem& item = *m_items[size_t(i)];
        if (item.targetY <= y && y < item.targetY + item.height)
            return i;
    }
    return -1;
}

void CSMenu::SetCurrent(int index)
{
    if (index == m_current)
        return;
    if (m_window)
        m_window->HideTooltip();
    m_current = index;
    if (index < 0 || index >= Count()) {
        m_barTargetY = -100;
        m_barTargetHeight = 0;
        SetAllDirty(1);
        return;
    }
    MenuItem& item = *m_items[size_t(index)];
    if (item.subMenu && item.subMenu != this) {
        if (m_openSub && m_openSub != item.subMenu && IsPointerAlive(m_openSub))
            m_openSub->Hide();
        if (m_openSub != item.subMenu) {
            m_openSub = item.subMenu;
            m_openSubItem = index;
            const SPoint p = LocalToWindowPoint({Width() + 1, item.targetY});
            m_openSub->Track(m_owner, p.x, p.y, true, true);
        }
    } else if (m_openSub && std::abs(index - m_openSubItem) > 1) {
        if (IsPointerAlive(m_openSub))
            m_openSub->Hide();
        m_openSub = nullptr;
        m_openSubItem = -1;
    }
    const int y = ItemY(index);
    if (y == m_barTargetY && m_barTargetHeight == (Usable(index) ? item.height : 0))
        return;
    if (Usable(index)) {
        m_barTargetY = y;
        m_barTargetHeight = item.height;
    } else {
        m_barTargetY = y + item.height / 2;
        m_barTargetHeight = 0;
    }
    SetAllDirty(1);
}

void CSMenu::Activate(int index)
{
    if (!Usable(index))
        return;
    if (m_items[size_t(index)]->subMenu) {
        SetCurrent(index);
        return;
    }
    Choose(index, 1);
    if (m_window)
        m_window->PlayClickWave();
}

void CSMenu::Choose(int index, int animated)
{
    if (animated) {
        platform::ScopedLock lock(m_lock);
        if (index < 0 || index >= Count())
            return;
        m_animState.store(kClosingChosen);
        m_chosen = index;
        // The command is kept by value: the items are freed before the owner reads the message.
        m_chosenCommand = m_items[size_t(index)]->commandId;
        m_scrollBar.SetVisible(0);
        for (int i = 0; i < Count(); ++i)
            m_items[size_t(i)]->targetY += (i - index) * 8;
        return;
    }
    if (m_owner && m_chosen >= 0)
        ::PostSpriteMessage(m_owner, MSG_MENU_COMMAND, m_chosenCommand, 0, this);
    m_chosen = -1;
    EndAfterClose();
}

void CSMenu::Close(int animated)
{
    if (!IsVisible())
        return;
    if (m_window)
        m_window->HideTooltip();
    if (animated) {
        platform::ScopedLock lock(m_lock);
        m_animState.store(kClosingNone);
        m_scrollBar.SetVisible(0);
        return;
    }
    SetEnabled(0);
    SetAllDirty(1);
    m_chosen = -1;
    EndAfterClose();
}

void CSMenu::Hide()
{
    {
        platform::ScopedLock lock(m_lock);
        SetVisible(0);
        InvalidateRect(0, 0, 0, 0, 1);
    }
    if (m_window)
        m_window->PopModal(this);
    m_current = -1;
    if (m_openSub && IsPointerAlive(m_openSub))
        m_openSub->Hide();
    m_openSub = nullptr;
    m_openSubItem = -1;
}

void CSMenu::ChooseByLetter(uint32_t key)
{
    if (key == 0 || key > 0xFFFF)
        return;
    const char16_t wanted = FoldAscii(char16_t(key));
    for (CSMenu* menu = this; menu; menu = menu->m_parentMenu) {
        for (int i = 0; i < menu->Count(); ++i)
            if (menu->Usable(i) && menu->m_items[size_t(i)]->hotKey[0] &&
                FoldAscii(menu->m_items[size_t(i)]->hotKey[0]) == wanted) {
                menu->Activate(i);
                return;
            }
        if (menu->m_parentMenu && !IsPointerAlive(menu->m_parentMenu))
            break;
    }
}

void CSMenu::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    const int n = Count();
    const int c = m_current;
    auto forward = [&](int from) {
        for (int i = std::max(0, from); i < n; ++i)
            if (Usable(i))
                return i;
        return -1;
    };
    auto backward = [&](int from) {
        for (int i = std::min(from, n - 1); i >= 0; --i)
            if (Usable(i))
                return i;
        return -1;
    };
    int next;
    switch (key) {
    case platform::vk::Return: Activate(c); return;
    case platform::vk::Escape: Close(1); return;
    case platform::vk::Home: next = forward(0); break;
    case platform::vk::End: next = backward(n - 1); break;
    case platform::vk::Down: next = forward(c < n - 1 ? std::max(0, c + 1) : 0); break;
    case platform::vk::Up: {
        // With nothing highlighted Up starts from the bottom, like a wrap from the top.
        int from = c - 1;
        if (from < 0)
            from = n - 1;
        next = backward(from);
        break;
    }
    default: ChooseByLetter(key); return;
    }
    SetCurrent(next);
}

void CSMenu::OnMouseMove(int x, int y, uint32_t keyFlags)
{
    if (m_animState.load() != kNone)
        return;
    if (m_scrollBar.IsVisible()) {
        const SRect sr = m_scrollBar.Rect();
        if ((x >= sr.left && x < sr.right && y >= sr.top && y < sr.bottom) || m_scrollBar.Dragging()) {
            m_scrollBar.OnMouseMove(x - sr.left, y - sr.top, keyFlags);
            return;
        }
    }
    if (!InHit(x, y)) {
        if (m_parentMenu && IsPointerAlive(m_parentMenu) && m_parentMenu->IsVisible()) {
            const SPoint w = LocalToWindowPoint({x, y});
            const SPoint p = m_parentMenu->WindowToLocalPoint(w);
            m_parentMenu->OnMouseMove(p.x, p.y, keyFlags);
            return;
        }
        if (m_openSub && IsPointerAlive(m_openSub) && m_openSub->IsVisible()) {
            const SPoint p = m_openSub->WindowToLocalPoint(LocalToWindowPoint({x, y}));
            if (m_openSub->InHit(p.x, p.y)) {
                m_openSub->OnMouseMove(p.x, p.y, keyFlags);
                return;
            }
        }
        if (m_closeWhenLeft) {
            Close(1);
            return;
        }
    }
    const int i = ItemFromPoint(x, y);
    if (i >= 0)
        SetCurrent(i);
    if (m_window)
        m_window->SetCursor(Usable(i) ? platform::StandardCursor::Hand : platform::StandardCursor::Arrow);
    CPopupSprite::OnMouseMove(x, y, keyFlags);
}

void CSMenu::OnLButtonDown(int x, int y, uint32_t keyFlags)
{
    if (m_scrollBar.IsVisible()) {
        const SRect sr = m_scrollBar.Rect();
        if (x >= sr.left && x < sr.right && y >= sr.top && y < sr.bottom) {
            m_scrollBar.OnLButtonDown(x - sr.left, y - sr.top, keyFlags);
            return;
        }
    }
    if (m_openSub && IsPointerAlive(m_openSub) && m_openSub->IsVisible()) {
        const SPoint p = m_openSub->WindowToLocalPoint(LocalToWindowPoint({x, y}));
        if (m_openSub->InHit(p.x, p.y) && p.y >= m_openSub->m_panelTop && p.y <= m_openSub->m_panelBottom) {
            m_openSub->OnLButtonDown(p.x, p.y, keyFlags);
            return;
        }
    }
    if (InHit(x, y) && y >= m_panelTop && y <= m_panelBottom) {
        Activate(ItemFromPoint(x, y));
        return;
    }
    if (m_parentMenu && IsPointerAlive(m_parentMenu) && m_parentMenu->IsVisible()) {
        const SPoint p = m_parentMenu->WindowToLocalPoint(LocalToWindowPoint({x, y}));
        m_parentMenu->OnLButtonDown(p.x, p.y, keyFlags);
        return;
    }
    // A click outside closes the menu; it is not passed on to what lies below.
    Close(0);
    if (m_window)
        m_window->InvalidateAll();
}

void CSMenu::OnRButtonDown(int x, int y, uint32_t)
{
    if (m_animState.load() != kNone && y >= m_panelTop && y < m_panelBottom)
        return;
    if (InHit(x, y) && y >= m_panelTop && y < m_panelBottom)
        return;
    Close(0);
    if (m_window)
        m_window->InvalidateAll();
}

void CSMenu::OnMouseWheel(int, int, int delta)
{
    if (int16_t(delta) <= 0)
        m_scroll = std::min(m_scroll + 20, MaxScroll());
    else
        m_scroll = std::max(m_scroll - 20, 0);
    UpdateScrollBar();
    SetAllDirty(1);
}

void CSMenu::OnCaptureReleased()
{
    if (m_animState.load() == kNone)
        Close(0);
}

int CSMenu::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        switch (message->code) {
        case MSG_SCROLL_LINE_UP:
            if (m_scroll > 0)
                m_scroll = std::max(0, m_scroll - 4);
            UpdateScrollBar();
            SetAllDirty(1);
            break;
        case MSG_SCROLL_LINE_DOWN:
            if (m_scroll < m_panelTop + m_contentHeight - m_panelBottom - 2)
                m_scroll += 4;
            UpdateScrollBar();
            SetAllDirty(1);
            break;
        case MSG_SCROLL_POS:
            m_scroll = std::clamp(m_scrollBar.m_position.load(), 0, MaxScroll());
            UpdateScrollBar();
            SetAllDirty(1);
            break;
        case kMsgShowTip: {
            const int item = int(message->param1);
            if (IsVisible() && m_window && item == m_current && item < Count() && m_items[size_t(item)]->tip[0]) {
                const SRect r = LocalToWindowRect({0, 0, Width(), Height()});
                const bool right = r.right > m_window->LogicalWidth() - 200;
                const SPoint p = LocalToWindowPoint({right ? 0 : Width(), int(message->param2)});
                m_window->ShowTooltip(p.x, p.y, m_items[size_t(item)]->tip, right);
            }
            break;
        }
        case MSG_MENU_CLOSED:
            if (message->param1)
                Choose(0, 0);
            else
                Close(0);
            break;
        default:
            break;
        }
    }
    return CPopupSprite::OnSpriteMessage(message);
}
