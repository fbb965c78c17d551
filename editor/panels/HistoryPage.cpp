#include "editor/panels/HistoryPage.h"

#include "algorithms/AlgorithmThread.h"
#include "editor/EditPage.h"
#include "editor/EditorHost.h"
#include "editor/Tool.h"
#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/MessageBox.h"
#include "ui/SpriteMessage.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

void EndToolWorkerIdle()
{
    EndEditorTool();
    // A tool's job may still write into the layer the move is about to replace.
    theAlgorithmThread.WaitIdle();
}

// ---------------------------------------------------------------------------------------------
// The list

int CSHistoryList::DrawRow(int index)
{
    TreeRow& row = m_rows[size_t(index)];
    const int viewW = m_image.width, viewH = m_image.height;
    const int rowTop = index * m_rowHeight - m_scroll.load();
    CTreeNode* node = row.node;
    if (!node->textImage.data) {
        const char16_t* text = node->Text();
        if (!RenderTextLocked(text && *text ? text : u" ", node->textImage, nullptr, 0, 4096, nullptr))
            return 0;
    }
    const ImageBuffer8& text = node->textImage;
    const int level = RowLevel(index, m_selected.load());
    const int x = row.depth * 12;
    if (rowTop >= viewH)
        return 1;
    if (x > viewW || rowTop + m_rowHeight <= 0)
        return 0;
    row.rowStartX = x;
    row.xAfterExpander = x;
    if (node->icon && node->icon->data) {
        BlendImage8(m_image, *node->icon, x, rowTop + (m_rowHeight - node->icon->height) / 2, true, level);
        row.iconDrawn = 1;
    }
    const int textX = x + 20;
    const int textTop = rowTop + (m_rowHeight - text.height) / 2;
    row.textX = textX;
    row.textTop = std::max(0, textTop);
    for (int ty = 0; ty < text.height; ++ty) {
        const int y = textTop + ty;
        if (y < 0 || y >= viewH)
            continue;
        uint8_t* line = m_image.data + size_t(y) * viewW * 4;
        for (int tx = 0; tx < text.width && textX + tx < viewW; ++tx) {
            const int grey = text.data[(size_t(ty) * text.width + tx) * 4 + 2] * level / 256;
            if (grey > 0) {
                uint8_t* p = line + size_t(textX + tx) * 4;
                p[0] = p[1] = p[2] = uint8_t(grey);
                p[3] = 255;
            }
        }
    }
    if (index == m_hovered && index != m_selected.load()) {
        const int y = textTop + text.height - 1;
        const int end = std::min(viewW, textX + text.width);
        if (y >= 0 && y < viewH)
            for (int ux = std::max(0, textX); ux < end; ++ux) {
                uint8_t* p = m_image.data + (size_t(y) * viewW + ux) * 4;
                p[0] = p[1] = p[2] = uint8_t(level / 2);
                p[3] = 255;
            }
    }
    row.textFits = textX + text.width < viewW ? 1 : 0;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The page

CSHistoryPage::CSHistoryPage()
    : CSColumnPanelPage(m_list)
{
}

CSHistoryPage::~CSHistoryPage()
{
    SetModel(nullptr);
    FreeImageBuffer(m_stepIcon);
    FreeImageList8(m_icons);
}

void CSHistoryPage::SetModel(CEditorDocument* model)
{
    if (m_model)
        m_model->Unsubscribe(this);
    m_model = model;
    if (m_model)
        m_model->Subscribe(this, CEditorDocument::kOrderViews);
}

int CSHistoryPage::OnCreate()
{
    FreeImageList8(m_icons);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"history.png", kFrameWidth, m_icons) || m_icons.size() < 4)
        return 0;
    // The step icon: the top-left 16 x 16 of frame 3.
    const ImageBuffer8& frame = *m_icons[3];
    FreeImageBuffer(m_stepIcon);
    if (!AllocImage8(m_stepIcon, 16, 16))
        return 0;
    std::memset(m_stepIcon.data, 0, m_stepIcon.byteSize);
    for (int y = 0; y < std::min(16, frame.height); ++y)
        std::memcpy(m_stepIcon.data + size_t(y) * 16 * 4, frame.data + size_t(y) * frame.width * 4,
                    size_t(std::min(16, frame.width)) * 4);
    const SRect r = Rect();
    const int w = std::max(kColumnWidth + 1, r.Width()), h = std::max(1, r.Height());
    if (!m_list.Create(this, m_window, kListId, 2, kColumnWidth, 0, w, h))
        return 0;
    AddChild(&m_list);
    if (!m_buttons.Create(this, m_window, kColumnId, 2, 0, 0, kColumnWidth, h))
        return 0;
    AddChild(&m_buttons);
    struct Button {
        int32_t id;
        const char16_t* tip;
        int frame;
        int top;
    };
    static const Button buttons[] = {{kUndoButton, u"hisundo", 0, 0},
                                     {kRedoButton, u"hisredo", 1, 30},
                                     {kAutomationButton, u"hisrobot", 2, 60}};
    for (const Button& b : buttons)
        if (!m_buttons.AddItem(b.id, 0, nullptr, UiText(b.tip), m_icons[size_t(b.frame)], 0, b.top, 30, b.top + 30))
            return 0;
    SetPos(r.left, r.top, r.Width(), r.Height());
    Refresh();
    return 1;
}

void CSHistoryPage::OnDocumentChanged(CEditorDocument&, uint32_t changes)
{
    if (changes & (EditorChange::StepAdded | EditorChange::StepMoved | EditorChange::PagedIn))
        Refresh();
}

void CSHistoryPage::Refresh()
{
    if (!m_model)
        return;
    const HistoryStore& history = m_model->History();
    m_list.Clear();
    bool anyPayload = false;
    for (const HistoryStep& step : history.steps) {
        m_list.AddItem(step.name, step.hasPayload ? &m_stepIcon : nullptr);
        anyPayload = anyPayload || step.hasPayload;
    }
    if (history.current >= 0 && history.current < m_list.RowCount()) {
        ++m_ownSelections;
        m_list.SetSelection(history.current, true, false);
    }
    const int enabled = anyPayload ? 1 : 0;
    if (enabled != m_automationEnabled) {
        m_automationEnabled = enabled;
        m_buttons.EnableItem(kAutomationButton, enabled);
        m_buttons.SetAllDirty(1);
    }
}

int CSHistoryPage::IsCurrentToolStep(int step) const
{
    if (step < 0 || !m_model || size_t(step) >= m_model->History().steps.size())
        return 0;
    IEditorHost* host = TheEditorHost();
    CSEditPage* page = host ? host->ActiveEditPage() : nullptr;
    CTool* tool = page ? page->View().CurrentTool() : nullptr;
    if (!tool || tool->GetToolGroup() < kToolGroupPlain)
        return 0;
    return int32_t(m_model->History().steps[size_t(step)].tag) == tool->toolId ? 1 : 0;
}

void CSHistoryPage::GoToRow(int row)
{
    if (!m_model || row < 0 || row == m_model->History().current)
        return;
    // The tool ends before the move: the move replaces the layers a tool may still point at.
    if (!IsCurrentToolStep(row))
        EndToolWorkerIdle();
    if (size_t(row) < m_model->History().steps.size())
        m_model->GoToStep(row, StepReplay::Force);
}

void CSHistoryPage::ClickButton(int id)
{
    EndToolWorkerIdle();
    if (!m_model)
        return;
    const int current = m_model->History().current;
    if (id == kUndoButton)
        m_model->GoToStep(current - 1, StepReplay::Force);
    else if (id == kRedoButton)
        m_model->GoToStep(current + 1, StepReplay::Force);
    else if (id == kAutomationButton)
        MakeAutomation();
}

void CSHistoryPage::MakeAutomation()
{
    if (!m_model)
        return;
    // Running the steps on a photo needs the batch dialogs; until they come the command says so.
    EditorAsk(UiText(m_model->AnyStepWithPayload() ? u"editorNotBuilt" : u"NoAutomation"), kMbInformation, kMbOk);
}

int CSHistoryPage::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_TREE_SELECT && m->sender == &m_list) {
        if (m_ownSelections > 0)
            --m_ownSelections;
        else
            GoToRow(int(m->param1));
    } else if (m && m->code == MSG_PANEL_CLICK) {
        ClickButton(int(m->param1));
    }
    return CSTabPage::OnSpriteMessage(m);
}
