// The history panel of an editor tab: one row per undo step (oldest first, the steps after the
// current one dimmed), and the undo, redo and make-automation buttons. Menu undo and redo and
// their keys reach it as button clicks, so every history move ends the active tool first.
#pragma once

#include "editor/panels/ColumnPanelPage.h"
#include "editor/EditorDocument.h"
#include "ui/Panel.h"
#include "ui/TabFrame.h"
#include "ui/Tree.h"

class CSHistoryList : public CFlatSimpleList {
public:
    // Render thread, under the list's lock.
    int DrawRow(int row) override;
    // The level a row is drawn at: 255, or 160 after the selected row (what redo brings back).
    static int RowLevel(int row, int selected) { return selected >= 0 && row > selected ? 160 : 255; }
};

class CSHistoryPage : public CSColumnPanelPage, private IEditorDocumentObserver {
public:
    static constexpr int32_t kListId = 1, kColumnId = 2;
    static constexpr int32_t kUndoButton = 1, kRedoButton = 2, kAutomationButton = 3;
    static constexpr int kFrameWidth = 28;

    CSHistoryPage();
    ~CSHistoryPage() override;

    // The tab's model (document and history); the page follows its history moves. Not owned.
    void SetModel(CEditorDocument* model);

    int OnCreate() override;
    int OnSpriteMessage(SpriteMessage* message) override;

    // Rebuilds the rows from the store and selects the current step.
    void Refresh();
    // 1 when going to the step keeps the current tool: a step the current tool recorded.
    int IsCurrentToolStep(int step) const;
    void MakeAutomation();
    // Goes to the step, ending the active tool first unless the step is the current tool's.
    void GoToRow(int row);
    // The buttons' action (also menu undo, redo, automation): the tool ends, then the move.
    void ClickButton(int id);

    CSHistoryList& List() { return m_list; }

private:
    void OnDocumentChanged(CEditorDocument& model, uint32_t changes) override;

    CSHistoryList m_list;
    ImageList8 m_icons;
    ImageBuffer8 m_stepIcon;
    CEditorDocument* m_model = nullptr;
    // Selections the page made itself are posted like the user's: those still on their way are
    // counted, so that a stale one never moves the history.
    int m_ownSelections = 0;
    int m_automationEnabled = -1;
};

// Ends the current tool of the active editor tab and waits until the algorithm worker is idle,
// so that nothing still writes into layers a history move is about to replace.
void EndToolWorkerIdle();
