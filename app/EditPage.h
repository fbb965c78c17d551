// The editor tab: one photo's document, its file facts, its undo history and the picture viewer
// that shows the document's composite. This is the editor's first version: the canvas is the
// picture viewer, the one edit is a quarter turn (Ctrl+R, Ctrl+Shift+R), and Ctrl+Z / Ctrl+Y
// walk the history. The tool set, the panels and the dialogs come with the editor itself.
#pragma once

#include "imaging/Document.h"
#include "imaging/DocumentUi.h"
#include "imaging/HistoryStore.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "ui/Button.h"
#include "ui/PictureView.h"
#include "ui/TabFrame.h"

#include <functional>
#include <string>
#include <vector>

// Marks an editor page among the tab pages.
inline constexpr uint32_t SF_EDITPAGE = 0x200;

class CSEditPage : public CSTabPage, public IHistoryListView {
public:
    static constexpr int kCaptionCapacity = 32;
    enum : int32_t { kRotateLeftButton = 21, kRotateRightButton = 22, kUndoButton = 23, kRedoButton = 24, kApplyButton = 25 };

    explicit CSEditPage(const char16_t* caption);
    ~CSEditPage() override;

    // Binds the history store to the document with a data file of the run's temporary names.
    int SetUp();

    // 1 when the page may close, 0 when the user kept it. Asks when there are steps after the
    // last saved one.
    int QueryClose();
    // Host mode: hands the bottom layer back to the host program (the main window writes it).
    int ApplyToHost();

    // Rebuilds the composite from the document and shows it; keeps the hover snapshot fresh.
    void ShowDocument();
    // A quarter turn of the whole document, recorded as a history step.
    int Rotate(bool right);
    int Undo();
    int Redo();
    // Steps after the last saved one.
    bool Modified() const { return history.current != m_savedStep; }
    void MarkSaved() { m_savedStep = history.current; }
    // Crash recovery: the page goes on with the history a crashed run left (its data file and
    // steps), at its last step, and counts as unsaved. 0 (and the page's own history kept) when
    // the data file cannot be bound.
    int AdoptHistory(const std::u16string& dataPath, std::vector<HistoryStep> steps);

    // IHistoryListView: the history panel comes with the editor; until then the page only
    // refreshes what it shows.
    void Refresh() override;

    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    int ShowFocusMark() override { return 0; }
    int OnSpriteMessage(SpriteMessage* message) override;
    void ReleaseResources(int flag) override;

    CSPicView& View() { return m_view; }
    const ImageBuffer16* Composite() const { return m_shown; }

    CZDDoc document;
    ImageInfo imageInfo;
    HistoryStore history;
    int32_t hostMode = 0;
    char16_t filePath[1024] = {};
    // A small picture of the document for the tab strip's hover; empty while none.
    ImageBuffer8 preview;

    // The save question's answer source (tests answer it); SpriteMessageBox when empty.
    std::function<int(const char16_t* text, int kind, int buttons)> messageBox;
    // Host mode: where ApplyToHost hands the picture (the main window).
    std::function<int(CSEditPage& page)> returnToHost;

private:
    void BuildPreview(const ImageBuffer16& composite);
    // Undo and redo: the history to this step, then the crash-status file, then the screen.
    int WalkHistory(int step);
    void DetachView();
    // The document's one layer when it can be shown as it is, else null.
    const ImageBuffer16* PlainLayer() const;
    void LayoutButtons();

    int32_t m_savedStep = 0;
    ImageBuffer16 m_composite[2];
    int m_next = 0;
    const ImageBuffer16* m_shown = nullptr;
    CSPicView m_view;
    CSButton m_rotateLeft, m_rotateRight, m_undo, m_redo, m_apply;
};

// FNV-1a over the canvas size and every layer's pixels: equal documents, equal sums.
uint64_t DocumentChecksum(const CZDDoc& doc);

// The 8-bit hover picture of a composite: at most maxSide pixels on its longer side.
int BuildPreviewImage(const ImageBuffer16& composite, int maxSide, ImageBuffer8& out);
