#include "editor/panels/LayerPage.h"

#include "batch/SavePanel.h"

#include "editor/AdjustPage.h"
#include "editor/CanvasCommands.h"
#include "editor/EditorHost.h"
#include "editor/panels/HistoryPage.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "platform/Format.h"
#include "platform/Text.h"
#include "ui/ClipboardUi.h"
#include "ui/InputString.h"
#include "ui/RenderWindow.h"
#include "ui/SpriteMessage.h"
#include "ui/StaticText.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr int kBlendMenuFirst = 23000, kBlendMenuLast = 23099;

} // namespace

// ---------------------------------------------------------------------------------------------
// Row pieces

SPoint LayerThumbnailSize(int w, int h)
{
    if (w <= 0 || h <= 0)
        return {1, 1};
    // A very wide or tall document still gets one pixel on its short side.
    if (w > h)
        return {40, std::max(1, int(int64_t(h) * 40 / w))};
    return {std::max(1, int(int64_t(w) * 40 / h)), 40};
}

int MakeLayerThumbnail(int W, int H, const CZDLayer& layer, ImageBuffer8& out)
{
    const SPoint size = LayerThumbnailSize(W, H);
    const int tw = size.x, th = size.y;
    ImageBuffer16 work;
    if (!AllocImage16(work, tw, th))
        return 0;
    const ImageBuffer16& px = layer.pixels;
    for (int ty = 0; ty < th; ++ty)
        for (int tx = 0; tx < tw; ++tx) {
            const int64_t sx = int64_t(tx) * W / tw - layer.x, sy = int64_t(ty) * H / th - layer.y;
            uint64_t sum[4] = {};
            int inside = 0;
            for (int k = 0; k < 4; ++k) {
                const int64_t x = sx + (k & 1), y = sy + (k >> 1);
                if (!px.data || x < 0 || y < 0 || x >= px.width || y >= px.height)
                    continue;
                const uint16_t* p = px.data + (size_t(y) * px.width + size_t(x)) * 4;
                for (int c = 0; c < 4; ++c)
                    sum[c] += p[c];
                ++inside;
            }
            const int checker = ((tx / 5 + ty / 5) % 2 == 0) ? 30000 : 60000;
            const int m = inside ? int(sum[3] / inside / 256) : 0;
            uint16_t* o = work.data + (size_t(ty) * tw + tx) * 4;
            for (int c = 0; c < 3; ++c) {
                const int average = inside ? int(sum[c] / inside) : 0;
                o[c] = uint16_t(m == 0 ? checker : m == 255 ? average : (m * average + (256 - m) * checker) / 256);
            }
            o[3] = 0xFFFF;
        }
    FreeImageBuffer(out);
    const int ok = AllocImage8(out, tw, th) && ConvertPixels16To8(work, out);
    FreeImageBuffer(work);
    if (!ok)
        FreeImageBuffer(out);
    return ok;
}

int OpacityFromBarX(int x)
{
    const int v = (x - CSLayerList::kBarLeft) * 255 / (CSLayerList::kBarRight - CSLayerList::kBarLeft);
    return std::clamp(v, 0, 255);
}

std::u16string NewLayerName(const char16_t* format, int count)
{
    // A translation is outside data: its placeholders are checked against the one number.
    if (std::optional<platform::String16> text = platform::Format(format ? format : u"", count))
        return std::u16string(text->c_str());
    std::optional<platform::String16> plain = platform::Format(u"%d", count);
    return plain ? std::u16string(plain->c_str()) : std::u16string();
}

// ---------------------------------------------------------------------------------------------
// The list

CSLayerList::CSLayerList()
{
    m_rowHeight = kRowHeight;
    m_selectionBar = 0;
}

CSLayerList::~CSLayerList()
{
    FreeImageBuffer(m_eye);
    FreeImageBuffer(m_arrow);
}

int CSLayerList::OnCreate()
{
    if (!CFlatSimpleList::OnCreate())
        return 0;
    FreeImageBuffer(m_eye);
    FreeImageBuffer(m_arrow);
    if (!LoadUiImage(UiImageFolder::Skin, u"eye.png", m_eye) || !LoadUiImage(UiImageFolder::Basic, u"right.png", m_arrow))
        return 0;
    return 1;
}

void CSLayerList::ReleaseResources(int flag)
{
    if (m_window && m_menuMade)
        m_window->ForgetTopLevel(&m_blendMenu);
    m_blendMenu.ReleaseResources(flag);
    CFlatSimpleList::ReleaseResources(flag);
}

int CSLayerList::LayerIndexOfRow(int row) const
{
    if (!m_model || row < 0)
        return -1;
    const int n = m_model->Document().LayerCount();
    return row < n ? n - 1 - row : -1;
}

int CSLayerList::Rebuild()
{
    if (!m_model)
        return 0;
    CZDDoc& doc = m_model->Document();
    Clear();
    {
        platform::ScopedLock lock(m_lock);
        for (int i = doc.LayerCount() - 1; i >= 0; --i) {
            auto* node = new (std::nothrow) CLayerNode;
            if (!node)
                break;
            node->SetText(doc.layers[size_t(i)]->name);
            node->layer = doc.layers[size_t(i)].get();
            Items().children.push_back(node);
        }
        if (!m_root)
            m_root = &Items();
    }
    CSTree::Rebuild();
    if (doc.current >= 0 && doc.current < doc.LayerCount()) {
        ++ownSelections;
        SetSelection(doc.LayerCount() - 1 - doc.current, true, true);
    }
    return 1;
}

int CSLayerList::DrawRow(int index)
{
    const int rowTop = index * m_rowHeight - m_scroll.load();
    const int viewW = m_image.width, viewH = m_image.height;
    if (rowTop >= viewH)
        return 1;
    if (rowTop + m_rowHeight <= 0 || !m_model)
        return 0;
    TreeRow& row = m_rows[size_t(index)];
    auto* node = static_cast<CLayerNode*>(row.node);
    CZDDoc& doc = m_model->Document();
    // The UI thread may be deleting layers: the row is checked against the document under its
    // lock, and a stale row waits for the next refresh.
    std::lock_guard docGuard(doc.lock);
    const int n = doc.LayerCount();
    if (int(m_rows.size()) != n || doc.layers[size_t(n - 1 - index)].get() != node->layer)
        return 0;
    CZDLayer& layer = *node->layer;
    std::lock_guard layerGuard(layer.lock);
    if (!node->thumbnail.data && !MakeLayerThumbnail(doc.width, doc.height, layer, node->thumbnail))
        return 0;
    const int y = rowTop;
    if (index == m_selected.load())
        BrightenBand(index * m_rowHeight, 64, m_rowHeight);
    DrawRectOutline8(m_image, 0x808080, 255, 4, y + 4, 47, y + 47);
    const ImageBuffer8& thumb = node->thumbnail;
    BlendImage8(m_image, thumb, 5 + (40 - thumb.width) / 2, y + 5 + (40 - thumb.height) / 2, true, 256);
    BlendImage8(m_image, m_eye, 50, y + 5, true, layer.visible ? 256 : 100);
    node->eye = {50, y + 5, 70, y + 21};
    const ImageBuffer8& name = node->textImage;
    int nameTop = y + 25;
    if (layer.placement) {
        char16_t caption[32];
        CopyTextBounded(caption, 32, UiText(BlendModeKey(layer.blendMode)));
        DrawTextInRect(m_image, caption, 12, 0xC8C8C8, 0, 1, 80, y + 5, viewW - 30, y + 21);
        BlendImage8(m_image, m_arrow, viewW - 30, y + 5, true, 256);
        node->caption = {80, y + 5, viewW - 30, y + 21};
        DrawRectOutline8(m_image, 0xDCDCDC, 255, kBarLeft, y + 21, kBarRight + 1, y + 30);
        FillRect8(m_image, {51, y + 22, 51 + OpacityBarFill(layer.opacity), y + 29}, 0xC0C0C0, 255);
        node->bar = {kBarLeft, y + 21, kBarRight, y + 29};
        nameTop = y + 33;
    } else {
        node->caption = node->bar = SRect{};
    }
    if (name.data)
        FillThroughMask8(m_image, name, 50, nameTop, 0xDCDCDC, {0, 0, viewW, viewH});
    row.textX = 50;
    row.textTop = nameTop;
    row.textFits = name.width <= viewW - 55 ? 1 : 0;
    return 0;
}

int CSLayerList::RecordAttributes(const char16_t* key)
{
    return m_model ? m_model->RecordStep(kHistoryAttributes, -1, UiText(key), false, 0, nullptr, 0) : 0;
}

void CSLayerList::ToggleVisible(int row)
{
    const int index = LayerIndexOfRow(row);
    if (index < 0)
        return;
    CZDDoc& doc = m_model->Document();
    CZDLayer& layer = *doc.layers[size_t(index)];
    {
        std::lock_guard guard(doc.lock);
        layer.visible = layer.visible ? 0 : 1;
    }
    doc.modified = 1;
    RecordAttributes(u"hisHideShowLayer");
}

void CSLayerList::SetOpacityAt(int row, int x)
{
    const int index = LayerIndexOfRow(row);
    if (index < 0 || index == 0)
        return;
    CZDDoc& doc = m_model->Document();
    CZDLayer& layer = *doc.layers[size_t(index)];
    const int opacity = OpacityFromBarX(x);
    if (opacity == layer.opacity)
        return;
    {
        std::lock_guard guard(doc.lock);
        layer.opacity = uint8_t(opacity);
    }
    doc.modified = 1;
    RecordAttributes(u"hisLayerOpacity");
}

void CSLayerList::SetBlendMode(int row, int mode)
{
    const int index = LayerIndexOfRow(row);
    if (index < 0 || mode < 0 || mode > 255)
        return;
    CZDDoc& doc = m_model->Document();
    CZDLayer& layer = *doc.layers[size_t(index)];
    if (layer.blendMode == mode)
        return;
    {
        std::lock_guard guard(doc.lock);
        layer.blendMode = uint8_t(mode);
    }
    doc.modified = 1;
    SetAllDirty(1);
    RecordAttributes(u"hisChangeBlendMode");
}

void CSLayerList::ShowBlendMenu(int row)
{
    const int index = LayerIndexOfRow(row);
    if (index <= 0 || !m_window)
        return;
    // Made on first use: a top-level popup is not created while the tree is being built.
    if (!m_menuMade) {
        if (!m_blendMenu.Create(nullptr, m_window, CSLayerPage::kMenuId, 201, 0, 0, 100, 100))
            return;
        m_blendMenu.SetVisible(0);
        m_menuMade = true;
    }
    CZDDoc& doc = m_model->Document();
    m_blendMenu.ReleaseResources(0);
    BuildEditorMenu(m_blendMenu, kMenuBlendModes, nullptr, 0, &doc);
    m_blendMenu.CheckItem(kBlendMenuFirst + doc.layers[size_t(index)]->blendMode, 1);
    // The menu acts on the row it was opened for, wherever the pointer is when it is chosen.
    m_menuRow = row;
    const int rowTop = row * m_rowHeight - m_scroll.load();
    const SPoint corner = LocalToWindowPoint({Width() - 30 + m_arrow.width, rowTop + 5});
    if (!m_blendMenu.Track(this, corner.x, corner.y, true, false))
        m_menuRow = -1;
}

void CSLayerList::OnMouseMove(int x, int y, uint32_t flags)
{
    CFlatSimpleList::OnMouseMove(x, y, flags);
    if (m_pressed || (ScrollBarWidget().IsVisible() && x >= Width() - 17))
        return;
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return;
    const int row = RowAt(x, y);
    m_zone = kNone;
    TreeRow r;
    SRect eye{}, bar{}, caption{};
    {
        platform::ScopedLock lock(m_lock);
        if (row >= 0 && row < int(m_rows.size())) {
            r = m_rows[size_t(row)];
            auto* node = static_cast<CLayerNode*>(r.node);
            eye = node->eye;
            bar = node->bar;
            caption = node->caption;
        }
    }
    auto in = [x, y](const SRect& s, int left, int right) {
        return s.right > s.left && x >= s.left - left && x < s.right + right && y >= s.top && y < s.bottom;
    };
    if (row >= 0) {
        if (in(eye, 0, 0))
            m_zone = kEye;
        if (in(caption, 0, 16))
            m_zone = kCaption;
        if (in(bar, 3, 3))
            m_zone = kBar;
    }
    if (m_window) {
        if (row != m_tipRow) {
            m_tipRow = row;
            if (row >= 0 && r.node && !r.textFits && r.node->Text()) {
                const SPoint p = LocalToWindowPoint({0, (row + 1) * m_rowHeight - m_scroll.load()});
                m_window->ShowTooltip(p.x, p.y, r.node->Text(), false);
            } else {
                m_window->HideTooltip();
            }
        }
        m_window->SetCursor(m_zone != kNone ? platform::StandardCursor::Hand : platform::StandardCursor::Arrow);
    }
}

void CSLayerList::OnLButtonDown(int x, int y, uint32_t flags)
{
    OnMouseMove(x, y, flags);
    const int row = RowAt(x, y);
    if (m_zone != kNone && row >= 0) {
        switch (m_zone) {
        case kEye: ToggleVisible(row); break;
        case kCaption: ShowBlendMenu(row); break;
        case kBar: SetOpacityAt(row, x); break;
        default: break;
        }
        return;
    }
    EndEditorTool();
    CFlatSimpleList::OnLButtonDown(x, y, flags);
}

int CSLayerList::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_MENU_COMMAND && m->param1 >= kBlendMenuFirst && m->param1 <= kBlendMenuLast) {
        const int row = m_menuRow;
        m_menuRow = -1;
        SetBlendMode(row, int(m->param1 - kBlendMenuFirst));
    }
    return CFlatSimpleList::OnSpriteMessage(m);
}

// ---------------------------------------------------------------------------------------------
// The page

CSLayerPage::CSLayerPage()
    : CSColumnPanelPage(m_list)
{
}

CSLayerPage::~CSLayerPage()
{
    FreeImageList8(m_icons);
}

void CSLayerPage::SetModel(CEditorDocument* model)
{
    m_model = model;
    m_list.SetModel(model);
}

int CSLayerPage::OnCreate()
{
    const SRect r = Rect();
    const int w = std::max(kColumnWidth + 1, r.Width()), h = std::max(1, r.Height());
    if (!m_list.Create(this, m_window, kListId, 2, kColumnWidth, 0, w, h))
        return 0;
    AddChild(&m_list);
    FreeImageList8(m_icons);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"layertool.png", kFrameWidth, m_icons) || m_icons.size() < 10 ||
        !ResizeImageList8(m_icons, 12, 8, 9))
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
    static const Button buttons[] = {{kNewButton, u"new layer", 0, {0, 0, 30, 28}},
                                     {kDeleteButton, u"del layer", 1, {0, 28, 30, 56}},
                                     {kMergeButton, u"merge layer", 2, {0, 56, 30, 84}},
                                     {kRenameButton, u"edit layer", 3, {0, 84, 30, 112}},
                                     {kSaveButton, u"save layer", 4, {0, 112, 30, 140}},
                                     {kUpButton, u"moveup", 8, {0, 175, 15, 195}},
                                     {kDownButton, u"movedown", 9, {15, 175, 30, 195}}};
    for (const Button& b : buttons)
        if (!m_buttons.AddItem(b.id, 0, nullptr, UiText(b.tip), m_icons[size_t(b.frame)], b.rect.left, b.rect.top,
                               b.rect.right, b.rect.bottom))
            return 0;
    SetPos(r.left, r.top, r.Width(), r.Height());
    Refresh();
    return 1;
}

void CSLayerPage::ReleaseResources(int flag)
{
    if (m_window && m_menuMade)
        m_window->ForgetTopLevel(&m_newMenu);
    m_newMenu.ReleaseResources(flag);
    CSColumnPanelPage::ReleaseResources(flag);
}

int CSLayerPage::Refresh()
{
    if (!m_model)
        return 0;
    m_list.Rebuild();
    UpdateButtons();
    return 1;
}

void CSLayerPage::UpdateButtons()
{
    if (!m_model)
        return;
    const CZDDoc& doc = m_model->Document();
    const int n = doc.LayerCount(), current = doc.current;
    const struct {
        int32_t id;
        bool on;
    } states[] = {{kDeleteButton, n >= 2 && current > 0},
                  {kMergeButton, current > 0},
                  {kUpButton, current > 0 && current < n - 1},
                  {kDownButton, current > 1}};
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

int CSLayerPage::Ask(char16_t* buffer, int capacity, const char16_t* caption, const char16_t* prompt)
{
    if (inputString)
        return inputString(buffer, capacity, caption, prompt);
    // 300 pixels left of the panel, where the canvas is.
    const SPoint corner = LocalToWindowPoint({0, 0});
    return InputString(buffer, capacity, caption, prompt, std::max(0, corner.x - 300), corner.y);
}

void CSLayerPage::ShowNewLayerMenu()
{
    if (!m_window)
        return;
    if (!m_menuMade) {
        if (!m_newMenu.Create(nullptr, m_window, kMenuId, 201, 0, 0, 100, 100))
            return;
        m_newMenu.SetVisible(0);
        m_menuMade = true;
    }
    m_newMenu.ReleaseResources(0);
    for (const auto& [id, key] : {std::pair{kCmdBlankLayer, u"menublanklayer"}, std::pair{kCmdLoadLayer, u"menuloadlayer"},
                                  std::pair{kCmdPaste, u"menuPaste"}}) {
        char16_t label[64];
        CopyTextBounded(label, 64, UiText(key));
        m_newMenu.AddItem(nullptr, id, label, nullptr);
    }
    // A file list alone is not a picture to paste.
    const bool picture = GetClipboardDataSize(8) > 0 || GetClipboardDataSize(kCfDibV5) > 0;
    m_newMenu.EnableItem(kCmdPaste, picture ? 1 : 0);
    const SPoint p = LocalToWindowPoint({5, 5});
    m_newMenu.Track(this, p.x, p.y, true, false);
}

int CSLayerPage::NewBlankLayer()
{
    if (!m_model)
        return 0;
    CZDDoc& doc = m_model->Document();
    if (doc.LayerCount() == 0)
        return 0;
    char16_t name[29] = {};
    CopyTextBounded(name, 29, NewLayerName(UiText(u"LayerCount"), doc.LayerCount()).c_str());
    if (!Ask(name, 29, UiText(u"newlayer"), UiText(u"newLayername")))
        return 0;
    ImageBuffer16 blank;
    if (!AllocImage16(blank, doc.width, doc.height))
        return 0;
    std::memset(blank.data, 0, size_t(blank.width) * blank.height * 8);
    EndToolWorkerIdle();
    const int added = doc.AddLayer(blank, name, -1);
    FreeImageBuffer(blank);
    if (!added)
        return 0;
    const int index = doc.current;
    return m_model->RecordStep(kHistoryDocument, -1, UiText(u"newlayer"), false, 0, nullptr, 0,
                               [&doc, index] { doc.DeleteLayer(index); });
}

int CSLayerPage::LoadLayerFromFile()
{
    std::u16string path;
    const bool chosen = chooseLayerFile ? chooseLayerFile(path) : AskImagePath(path);
    if (!chosen || path.empty())
        return 0;
    return LoadLayerFromPath(path);
}

int CSLayerPage::LoadLayerFromPath(const std::u16string& path)
{
    if (!m_model || m_model->Document().LayerCount() == 0)
        return 0;
    CZDDoc& doc = m_model->Document();
    // The same reading as opening a photo: decoded, turned upright, in the working form.
    CZDDoc loaded;
    if (!loaded.OpenImage(path) || loaded.LayerCount() == 0 || !loaded.GetLayer(0)->pixels.data)
        return 0;
    size_t slash = path.find_last_of(u'/');
    std::u16string stem = path.substr(slash == std::u16string::npos ? 0 : slash + 1);
    const size_t dot = stem.find_last_of(u'.');
    if (dot != std::u16string::npos && dot > 0)
        stem.resize(dot);
    char16_t name[32];
    CopyTextBounded(name, 32, stem.c_str());
    EndToolWorkerIdle();
    if (!doc.AddLayer(loaded.GetLayer(0)->pixels, name, -1))
        return 0;
    const int index = doc.current;
    return m_model->RecordStep(kHistoryDocument, -1, UiText(u"newlayer"), false, 0, nullptr, 0,
                               [&doc, index] { doc.DeleteLayer(index); });
}

int CSLayerPage::DeleteLayer()
{
    if (!m_model)
        return 0;
    CZDDoc& doc = m_model->Document();
    if (doc.LayerCount() < 2 || doc.current <= 0)
        return 0;
    doc.DeleteLayer(doc.current);
    return m_model->RecordStep(kHistoryDocument, -1, UiText(u"delLayer"), false, 0, nullptr, 0);
}

int CSLayerPage::MergeDown()
{
    if (!m_model)
        return 0;
    CZDDoc& doc = m_model->Document();
    if (doc.current <= 0 || doc.current >= doc.LayerCount())
        return 0;
    if (!doc.MergeDown(doc.current)) {
        // Whatever the failed merge left is taken back to the current step.
        m_model->GoToStep(m_model->History().current, StepReplay::Force);
        return 0;
    }
    return m_model->RecordStep(kHistoryDocument, -1, UiText(u"hismergedown"), false, 0, nullptr, 0);
}

int CSLayerPage::RenameLayer()
{
    if (!m_model)
        return 0;
    CZDDoc& doc = m_model->Document();
    CZDLayer* layer = doc.GetCurrentLayer();
    if (!layer)
        return 0;
    char16_t name[29];
    CopyTextBounded(name, 29, layer->name);
    if (!Ask(name, 29, UiText(u"changelayername"), u""))
        return 0;
    {
        std::lock_guard guard(doc.lock);
        CopyTextBounded(layer->name, 32, name);
    }
    const int ok = m_model->RecordStep(kHistoryAttributes, -1, UiText(u"hischangeLayerName"), false, 0, nullptr, 0);
    Refresh();
    return ok;
}

int CSLayerPage::MoveLayer(bool up)
{
    if (!m_model)
        return 0;
    CZDDoc& doc = m_model->Document();
    const int n = doc.LayerCount(), current = doc.current;
    const int other = up ? current + 1 : current - 1;
    if (up ? !(current > 0 && current < n - 1) : !(current > 1))
        return 0;
    {
        std::lock_guard guard(doc.lock);
        std::swap(doc.layers[size_t(current)], doc.layers[size_t(other)]);
        doc.current = other;
    }
    doc.modified = 1;
    return m_model->RecordStep(kHistoryDocument, -1, UiText(u"hisLayerChange"), false, 0, nullptr, 0, [&doc, current, other] {
        std::lock_guard guard(doc.lock);
        std::swap(doc.layers[size_t(current)], doc.layers[size_t(other)]);
        doc.current = current;
    });
}

std::u16string CSLayerPage::SuggestedLayerPath() const
{
    if (!m_model)
        return {};
    const CZDDoc& doc = m_model->Document();
    const CZDLayer* layer = doc.GetCurrentLayer();
    std::u16string name = layer ? std::u16string(layer->name, platform::TextLength(layer->name, 32)) : u"";
    // A name is no path: separators and a leading dot would put the file elsewhere.
    for (char16_t& c : name)
        if (c == u'/' || c == u'\\' || c < 32)
            c = u'_';
    if (name.empty() || name[0] == u'.')
        name.insert(name.begin(), u'_');
    const std::u16string path(doc.path, platform::TextLength(doc.path, 1024));
    const size_t slash = path.find_last_of(u'/');
    const std::u16string folder = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
    return folder + name + u".png";
}

int CSLayerPage::SaveLayer()
{
    if (!m_model)
        return 0;
    CZDLayer* layer = m_model->Document().GetCurrentLayer();
    if (!layer || !layer->pixels.data)
        return 0;
    ImageBuffer16 copy;
    {
        std::lock_guard guard(layer->lock);
        if (!CopyImage16(copy, layer->pixels))
            return 0;
    }
    const std::u16string suggested = SuggestedLayerPath();
    const int ok = saveLayerFile ? saveLayerFile(copy, suggested) : SaveLayerAs(copy, suggested);
    FreeImageBuffer(copy);
    return ok;
}

int CSLayerPage::OnSpriteMessage(SpriteMessage* m)
{
    if (!m || !m_model)
        return CSTabPage::OnSpriteMessage(m);
    CZDDoc& doc = m_model->Document();
    if (m->code == MSG_TREE_SELECT && m->sender == &m_list && m_list.ownSelections > 0) {
        --m_list.ownSelections;
    } else if (m->code == MSG_TREE_SELECT && m->sender == &m_list) {
        const int row = int(m->param1);
        const int index = m_list.LayerIndexOfRow(row);
        if (row >= 0 && index < 0) {
            m_list.SetSelection(-1, false, false);
        } else if (index >= 0 && index != doc.current) {
            EndToolWorkerIdle();
            const int before = doc.current;
            doc.SetCurrentLayer(index);
            m_model->RecordStep(kHistoryAttributes, -1, UiText(u"hisLayerChange"), false, 0, nullptr, 0,
                                [&doc, before] { doc.SetCurrentLayer(before); });
            UpdateButtons();
        }
    } else if (m->code == MSG_PANEL_CLICK && m->sender == &m_buttons) {
        // The tool ends first: every button but the menu and the save changes layers it may use.
        EndToolWorkerIdle();
        switch (int(m->param1)) {
        case kNewButton: ShowNewLayerMenu(); break;
        case kDeleteButton: DeleteLayer(); break;
        case kMergeButton: MergeDown(); break;
        case kRenameButton: RenameLayer(); break;
        case kSaveButton: SaveLayer(); break;
        case kUpButton: MoveLayer(true); break;
        case kDownButton: MoveLayer(false); break;
        default: break;
        }
    } else if (m->code == MSG_MENU_COMMAND) {
        switch (int(m->param1)) {
        case kCmdBlankLayer: NewBlankLayer(); break;
        case kCmdLoadLayer: LoadLayerFromFile(); break;
        case kCmdPaste:
            if (paste)
                paste();
            break;
        default: break;
        }
    }
    return CSTabPage::OnSpriteMessage(m);
}
