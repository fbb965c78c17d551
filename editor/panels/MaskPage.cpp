#include "editor/panels/MaskPage.h"

#include "editor/CanvasCommands.h"
#include "editor/EditorHost.h"
#include "imaging/Draw8.h"
#include "ui/MessageBox.h"
#include "ui/SpriteMessage.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>
#include <mutex>

// ---------------------------------------------------------------------------------------------
// Pieces

int MakeMaskPreview(int W, int H, const MaskItem& item, ImageBuffer8& out)
{
    FreeImageBuffer(out);
    if (W <= 0 || H <= 0 || !item.plane.data)
        return 0;
    const int pw = W > H ? 40 : std::max(1, int(int64_t(W) * 40 / H));
    const int ph = W > H ? std::max(1, int(int64_t(H) * 40 / W)) : 40;
    // Sample tables: two entries per preview pixel, -1 where the point misses the plane.
    std::vector<int> xs(size_t(pw) * 2), ys(size_t(ph) * 2);
    for (int i = 0; i < pw * 2; ++i) {
        const int64_t v = int64_t(i) * W / (2 * pw) - item.x;
        xs[size_t(i)] = v >= 0 && v < item.plane.width ? int(v) : -1;
    }
    for (int i = 0; i < ph * 2; ++i) {
        const int64_t v = int64_t(i) * H / (2 * ph) - item.y;
        ys[size_t(i)] = v >= 0 && v < item.plane.height ? int(v) : -1;
    }
    if (!AllocImage8(out, pw, ph))
        return 0;
    for (int py = 0; py < ph; ++py)
        for (int px = 0; px < pw; ++px) {
            int sum = 0, count = 0;
            for (int k = 0; k < 4; ++k) {
                const int x = xs[size_t(px * 2 + (k & 1))], y = ys[size_t(py * 2 + (k >> 1))];
                if (x < 0 || y < 0)
                    continue;
                sum += item.plane.data[size_t(y) * item.plane.width + size_t(x)];
                ++count;
            }
            uint8_t* o = out.data + (size_t(py) * pw + px) * 4;
            if (count) {
                o[0] = o[1] = o[2] = uint8_t(sum / count);
                o[3] = 255;
            } else {
                o[0] = o[1] = o[2] = o[3] = 0;
            }
        }
    return 1;
}

std::u16string StoredMaskName(const char16_t* name)
{
    if (!name)
        return {};
    std::u16string s(name, platform::TextLength(name, 4096));
    if (s.size() > 30)
        s = s.substr(0, 29) + u"..";
    return s;
}

// ---------------------------------------------------------------------------------------------
// The list

CSMaskList::CSMaskList()
{
    m_rowHeight = 50;
    m_selectionBar = 0;
}

void CSMaskList::Rebuild()
{
    Clear();
    m_maskOfRow.clear();
    if (!m_model)
        return;
    CZDDoc& doc = m_model->Document();
    {
        platform::ScopedLock lock(m_lock);
        for (size_t i = 0; i < doc.masks.size(); ++i) {
            MaskItem& mask = *doc.masks[i];
            // Previews follow the document's size: remade on every refresh.
            if (!MakeMaskPreview(doc.width, doc.height, mask, mask.preview))
                continue;
            auto* node = new (std::nothrow) CMaskNode;
            if (!node || !CopyImage8(node->preview, mask.preview)) {
                delete node;
                continue;
            }
            node->SetText(mask.name);
            node->icon = &node->preview;
            Items().children.push_back(node);
            m_maskOfRow.push_back(int(i));
        }
        if (!m_root)
            m_root = &Items();
    }
    CSTree::Rebuild();
}

int CSMaskList::MaskIndexOfRow(int row) const
{
    if (!m_model || row < 0 || row >= int(m_maskOfRow.size()))
        return -1;
    const int index = m_maskOfRow[size_t(row)];
    return index < int(m_model->Document().masks.size()) ? index : -1;
}

int CSMaskList::DrawRow(int index)
{
    const int y = index * m_rowHeight - m_scroll.load();
    const int viewW = m_image.width, viewH = m_image.height;
    if (y >= viewH)
        return 1;
    if (y + m_rowHeight <= 0)
        return 0;
    CTreeNode* node = m_rows[size_t(index)].node;
    if (index == m_selected.load())
        BrightenBand(index * m_rowHeight, 64, m_rowHeight);
    DrawRectOutline8(m_image, 0x808080, 255, 4, y + 4, 47, y + 47);
    if (node->icon && node->icon->data)
        BlendImage8(m_image, *node->icon, 5 + (40 - node->icon->width) / 2, y + 5 + (40 - node->icon->height) / 2,
                    true, 256);
    if (node->textImage.data)
        FillThroughMask8(m_image, node->textImage, 50, y + 5, 0xDCDCDC, {0, 0, viewW, viewH});
    TreeRow& row = m_rows[size_t(index)];
    row.textX = 50;
    row.textTop = y + 5;
    row.textFits = node->textImage.width <= viewW - 50 ? 1 : 0;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The page

CSMaskPage::CSMaskPage()
    : CSColumnPanelPage(m_list)
{
}

CSMaskPage::~CSMaskPage()
{
    FreeImageList8(m_icons);
}

void CSMaskPage::SetModel(CEditorDocument* model)
{
    m_model = model;
    m_list.SetModel(model);
}

int CSMaskPage::OnCreate()
{
    const SRect r = Rect();
    const int w = std::max(kColumnWidth + 1, r.Width()), h = std::max(1, r.Height());
    if (!m_list.Create(this, m_window, kListId, 2, kColumnWidth, 0, w, h))
        return 0;
    AddChild(&m_list);
    FreeImageList8(m_icons);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"layertool.png", kFrameWidth, m_icons) || m_icons.size() < 8)
        return 0;
    if (!m_buttons.Create(this, m_window, kColumnId, 2, 0, 0, kColumnWidth, h))
        return 0;
    AddChild(&m_buttons);
    struct Button {
        int32_t id;
        const char16_t* tip;
        int frame;
        SRect rect;
    };
    static const Button buttons[] = {{kToSelectionButton, u"mask2sel", 6, {0, 0, 30, 30}},
                                     {kToMaskButton, u"sel2mask", 7, {0, 30, 30, 60}},
                                     {kDeleteButton, u"del sel", 1, {0, 60, 30, 90}},
                                     {kMoreButton, u"more...", 5, {0, 128, 30, 168}}};
    for (const Button& b : buttons)
        if (!m_buttons.AddItem(b.id, 0, nullptr, UiText(b.tip), m_icons[size_t(b.frame)], b.rect.left, b.rect.top,
                               b.rect.right, b.rect.bottom))
            return 0;
    SetPos(r.left, r.top, r.Width(), r.Height());
    Refresh();
    return 1;
}

int CSMaskPage::Say(const char16_t* key, int kind, int buttons)
{
    return messageBox ? messageBox(UiText(key), kind, buttons) : EditorAsk(UiText(key), kind, buttons);
}

int CSMaskPage::Refresh()
{
    if (!m_model)
        return 0;
    m_list.Rebuild();
    UpdateButtons();
    return 1;
}

void CSMaskPage::UpdateButtons()
{
    if (!m_model)
        return;
    const bool selected = m_list.Selected() >= 0 && m_list.Selected() < m_list.RowCount();
    const bool selection = m_model->Document().selection.data != nullptr;
    const struct {
        int32_t id;
        bool on;
    } states[] = {{kToSelectionButton, selected}, {kDeleteButton, selected}, {kToMaskButton, selection}};
    bool changed = false;
    for (const auto& s : states) {
        const PanelItem* item = m_buttons.FindItem(s.id);
        if (item && (item->enabled != 0) != s.on) {
            m_buttons.EnableItem(s.id, s.on ? 1 : 0);
            changed = true;
        }
    }
    if (changed)
        m_buttons.SetAllDirty(1);
}

int CSMaskPage::StoreSelection(const char16_t* name)
{
    if (!m_model)
        return 0;
    // The stored mask is built whole before it replaces one of the same name (the model side).
    const int ok = StoreSelectionMask(m_model->Document(), StoredMaskName(name).c_str());
    Refresh();
    return ok;
}

int CSMaskPage::SelectionToMask()
{
    if (!m_model || !m_model->Document().selection.data)
        return 0;
    const int ok = selectionToMask ? selectionToMask() : 0;
    Refresh();
    return ok;
}

int CSMaskPage::MaskToSelection(int row)
{
    if (!m_model)
        return 0;
    CZDDoc& doc = m_model->Document();
    const int index = m_list.MaskIndexOfRow(row);
    if (index < 0)
        return 0;
    const MaskItem& mask = *doc.masks[size_t(index)];
    // Checked before anything is dropped: a mask of another canvas size keeps the mask and the
    // current selection as they are.
    if (mask.storedWidth != doc.width || mask.storedHeight != doc.height) {
        Say(u"failedmaskbycavaschanged", kMbError, kMbOk);
        return 0;
    }
    // The new plane is made first (the mask itself may be replaced by "Lastarea" below).
    Plane8 fresh;
    if (!AllocPlane8(fresh, doc.width, doc.height))
        return 0;
    PlaceMaskItem(fresh, mask);
    if (doc.selection.data)
        StoreLastArea(doc);
    Plane8 old;
    {
        std::lock_guard guard(doc.lock);
        old = doc.selection;
        doc.selection = fresh;
    }
    FreePlane8(old);
    m_model->Changed(EditorChange::Selection);
    Refresh();
    return 1;
}

void CSMaskPage::DeleteMask(int row)
{
    if (!m_model)
        return;
    CZDDoc& doc = m_model->Document();
    const int index = m_list.MaskIndexOfRow(row);
    if (index < 0)
        return;
    {
        std::lock_guard guard(doc.lock);
        doc.masks.erase(doc.masks.begin() + index);
    }
    Refresh();
}

int CSMaskPage::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->sender == &m_list && m->code == MSG_TREE_SELECT) {
        UpdateButtons();
    } else if (m && m->sender == &m_list && m->code == MSG_TREE_DBLCLK) {
        MaskToSelection(int(m->param1));
    } else if (m && m->code == MSG_PANEL_CLICK && m->sender == &m_buttons) {
        switch (int(m->param1)) {
        case kDeleteButton: DeleteMask(m_list.Selected()); break;
        case kToSelectionButton: MaskToSelection(m_list.Selected()); break;
        case kToMaskButton: SelectionToMask(); break;
        default: break;
        }
    }
    return CSTabPage::OnSpriteMessage(m);
}
