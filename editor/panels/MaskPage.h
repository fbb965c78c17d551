// The mask panel of an editor tab: the document's stored masks with a small preview each;
// buttons turn the selected mask into the selection, store the selection as a new mask and
// delete a mask. A double click restores a mask. Nothing here records an undo step: the masks
// and the selection are not part of the history.
//
// Threads: UI thread, except DrawRow (render thread, under the list's lock), which draws the
// list's own copies of the previews, so a mask replaced meanwhile is never read.
#pragma once

#include "editor/panels/ColumnPanelPage.h"
#include "editor/EditorDocument.h"
#include "ui/Panel.h"
#include "ui/TabFrame.h"
#include "ui/Tree.h"

#include <functional>
#include <string>

class CMaskNode : public CTreeNode {
public:
    ~CMaskNode() override { FreeImageBuffer(preview); }
    ImageBuffer8 preview; // a copy of the mask's
};

class CSMaskList : public CFlatSimpleList {
public:
    CSMaskList();
    void SetModel(CEditorDocument* model) { m_model = model; }
    // Rows for the masks whose preview could be made, in the document's order.
    void Rebuild();
    // The stored mask a row shows, or -1.
    int MaskIndexOfRow(int row) const;
    int DrawRow(int row) override;

private:
    CEditorDocument* m_model = nullptr;
    std::vector<int> m_maskOfRow;
};

class CSMaskPage : public CSColumnPanelPage {
public:
    static constexpr int32_t kListId = 1, kColumnId = 2;
    static constexpr int32_t kDeleteButton = 2, kMoreButton = 6, kToSelectionButton = 7, kToMaskButton = 8;
    static constexpr int kFrameWidth = 28;

    CSMaskPage();
    ~CSMaskPage() override;

    void SetModel(CEditorDocument* model);
    // The selection-to-mask question and store (the canvas's command 16010); 1 when stored.
    std::function<int()> selectionToMask;
    // Messages (the editor's message box when empty); tests answer here.
    std::function<int(const char16_t* text, int kind, int buttons)> messageBox;

    int OnCreate() override;
    int OnSpriteMessage(SpriteMessage* message) override;

    int Refresh();
    void UpdateButtons();
    // Stores the selection under the name (cut to 29 characters and ".." past 30); 1 when stored.
    int StoreSelection(const char16_t* name);
    int SelectionToMask();
    // 1 when the mask became the selection.
    int MaskToSelection(int row);
    void DeleteMask(int row);

    CSMaskList& List() { return m_list; }

private:
    int Say(const char16_t* key, int kind, int buttons);

    CSMaskList m_list;
    ImageList8 m_icons;
    CEditorDocument* m_model = nullptr;
};

// The preview of a stored mask over the document's area (its aspect in 40 x 40), grey where
// the mask lies, transparent elsewhere. 0 when it cannot be made.
int MakeMaskPreview(int documentWidth, int documentHeight, const MaskItem& item, ImageBuffer8& out);
// A mask name as stored: at most 30 characters kept, a longer one cut to 29 and "..".
std::u16string StoredMaskName(const char16_t* name);
