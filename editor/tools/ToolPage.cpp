#include "editor/tools/ToolPage.h"

#include "editor/EditView.h"
#include "editor/EditorHost.h"
#include "editor/Tool.h"
#include "editor/tools/ToolSet.h"
#include "imaging/Draw8.h"
#include "ui/UiSeams.h"

CSToolPage::CSToolPage()
    : CSTabPage(u"")
{
}

CSToolPage::~CSToolPage()
{
    RemoveChild(&m_grid);
    FreeImageBuffer(m_noToolIcon);
}

int CSToolPage::OnCreate()
{
    if (!LoadUiImage(UiImageFolder::Skin, u"no.png", m_noToolIcon))
        return 0;
    if (!m_grid.Create(this, nullptr, kGridId, 2, 0, 0, 150, 120))
        return 0;
    AddChild(&m_grid);
    m_grid.m_background = 0;
    if (!m_grid.AddItem(kNoToolId, 1, nullptr, UiText(u"notool"), &m_noToolIcon, 160, 30, 190, 60))
        return 0;
    m_grid.EnableItem(kNoToolId, 0);
    const int rows = EditorPluginMode() ? 2 : 3;
    for (const ToolTableRow& row : ToolTable()) {
        if (row.row >= rows)
            continue;
        const CTool* tool = FindTool(row.id);
        if (!m_grid.AddItem(row.id, 2, nullptr, tool->tooltip, tool->icon, 30 * row.column, 30 * row.row,
                            30 * row.column + 30, 30 * row.row + 30))
            return 0;
    }
    return 1;
}

void CSToolPage::SetPos(int x, int y, int width, int height)
{
    CSTabPage::SetPos(x, y, width, height);
    SetAllDirty(1);
    m_grid.SetPos(0, 0, 200, 90);
}

int CSToolPage::OnDraw(uint32_t)
{
    // About once a second the buttons follow the document.
    if (++m_frames % 30 == 0)
        PostSpriteMessage(kMsgUpdateButtons, 0, 0, this);
    platform::ScopedLock lock(m_lock);
    if (!AllDirty() || !m_image.data)
        return 0;
    FillRect8(m_image, {0, 0, m_image.width, m_image.height}, 0x262626, 255);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

int CSToolPage::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_PANEL_CLICK && m->sender == &m_grid) {
        const int32_t id = int32_t(m->param1);
        if (id == kToolColorRange) {
            // A one-shot tool: its dialog runs now and no tool stays current.
            if (CTool* tool = FindTool(id); tool && IsTool(tool))
                tool->Activate();
            SetCurrentTool(nullptr);
        } else if (id == kNoToolId) {
            SetCurrentTool(nullptr);
        } else if (CTool* tool = FindTool(id); tool && IsTool(tool)) {
            SetCurrentTool(tool);
        }
    } else if (m && m->code == kMsgUpdateButtons) {
        UpdateToolButtons();
    }
    return CSTabPage::OnSpriteMessage(m);
}

void CSToolPage::ReleaseResources(int flag)
{
    RemoveChild(&m_grid);
    m_grid.ReleaseResources(flag);
    CSTabPage::ReleaseResources(flag);
}

int CSToolPage::SetCurrentTool(CTool* tool)
{
    CSEditView* canvas = m_canvas;
    if (!canvas)
        return 0;
    for (;;) {
        if (CTool* old = canvas->CurrentTool()) {
            if (const int busy = old->IsBusy())
                return busy;
            if (old->GetToolGroup() >= kToolGroupPlain)
                old->Deactivate();
        }
        // The option panel joins the canvas it now serves.
        if (tool && IsTool(tool) && tool->optionPanel && tool->optionPanel->Parent() != canvas) {
            CSprite* panel = tool->optionPanel;
            const SRect r = panel->Rect();
            panel->Create(canvas, nullptr, 30000 + tool->toolId, 5, r.left, r.top, r.right, r.bottom);
        }
        canvas->SetTool(tool);
        m_grid.UncheckAll();
        if (!tool) {
            if (const PanelItem* item = m_grid.FindItem(kNoToolId); item && item->enabled) {
                m_grid.EnableItem(kNoToolId, 0);
                m_grid.SetAllDirty(1);
            }
            return 0;
        }
        if (!tool->Activate()) {
            // The refused tool is the canvas's now: ended and removed on the next turn.
            tool = nullptr;
            continue;
        }
        m_grid.SetItemChecked(tool->toolId, 1);
        m_grid.EnableItem(kNoToolId, 1);
        canvas->SetAllDirty(1);
        return 0;
    }
}

void CSToolPage::UpdateToolButtons()
{
    CSEditView* canvas = m_canvas;
    CZDDoc* doc = canvas ? canvas->Document() : nullptr;
    if (!doc)
        return;
    int oneLayer = 0, added = 0;
    {
        std::lock_guard guard(doc->lock);
        oneLayer = doc->LayerCount() == 1;
        const CZDLayer* layer = doc->GetCurrentLayer();
        added = layer && layer->placement != 0;
    }
    bool changed = false;
    auto set = [&](int32_t id, int enabled) {
        const PanelItem* item = m_grid.FindItem(id);
        if (item && item->enabled != enabled) {
            m_grid.EnableItem(id, enabled);
            changed = true;
        }
    };
    set(kToolFreeCrop, oneLayer);
    set(kToolMove, added);
    set(kToolTransform, added);
    if (changed)
        m_grid.SetAllDirty(1);
}
