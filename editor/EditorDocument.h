// The model of one editor tab: the document, the file facts and metadata of the photo it came
// from, its undo history, the step last saved and with it whether the tab holds unsaved
// changes, the crash-status writes that follow history moves, and paging the pixels out to a
// temporary file while the tab is hidden. Views (the canvas, the
// menus' enable rules, the side panels, the crash-status writer) subscribe and are told what
// changed; none of them keeps its own copy of these facts.
//
// UI thread only. The render thread never reads the model: it draws what the views composed.
#pragma once

#include "imaging/Document.h"
#include "imaging/DocumentUi.h"
#include "imaging/HistoryStore.h"
#include "imaging/ImageCodec/ImageInfo.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What changed, as bits of a notice.
namespace EditorChange {
constexpr uint32_t Pixels = 0x1;     // layer pixels: the picture must be composed again
constexpr uint32_t Layers = 0x2;     // layers added, removed, reordered, or their attributes
constexpr uint32_t Selection = 0x4;  // the selection or the stored masks
constexpr uint32_t Size = 0x8;       // the document's width or height
constexpr uint32_t StepAdded = 0x10; // a new history step (the redo steps are gone)
constexpr uint32_t StepMoved = 0x20; // undo, redo or a jump to another step
constexpr uint32_t Saved = 0x40;     // the saved step, hence the unsaved state
constexpr uint32_t PagedOut = 0x80;  // the pixels went to the paging file; the document is empty
constexpr uint32_t PagedIn = 0x100;  // the pixels are back
// A history move or a new step may have changed anything of the picture.
constexpr uint32_t Picture = Pixels | Layers | Selection | Size;
constexpr uint32_t Everything = 0x1FF;
} // namespace EditorChange

class CEditorDocument;

class IEditorDocumentObserver {
public:
    virtual ~IEditorDocumentObserver() = default;
    // `changes` holds EditorChange bits. Called on the UI thread, in subscription order (lower
    // order first); an observer may unsubscribe itself but no other observer from here.
    virtual void OnDocumentChanged(CEditorDocument& model, uint32_t changes) = 0;
};

class CEditorDocument final : private IHistoryListView {
public:
    // Subscription orders: the crash-status file is written before any view shows the change,
    // so what the user sees is never newer than what a crash keeps.
    static constexpr int kOrderCrashStatus = 0;
    static constexpr int kOrderViews = 100;

    CEditorDocument();
    ~CEditorDocument() override;
    CEditorDocument(const CEditorDocument&) = delete;
    CEditorDocument& operator=(const CEditorDocument&) = delete;

    CZDDoc& Document() { return m_document; }
    const CZDDoc& Document() const { return m_document; }
    HistoryStore& History() { return m_history; }
    const HistoryStore& History() const { return m_history; }
    // The file facts and metadata of the opened file (written back into a saved photo).
    ImageInfo& Info() { return m_info; }

    // Binds the history to the document with a new data file: in the run's temporary folder, or
    // at dataPath when one is given (tests).
    int BindHistory(const std::u16string& dataPath = {});
    // Crash recovery: goes on with the history a crashed run left (its data file and steps), at
    // its last step; nothing of it is on disk, so the tab counts as unsaved. 0 (and the own
    // history kept) when the data file cannot be bound.
    int AdoptHistory(const std::u16string& dataPath, std::vector<HistoryStep> steps);

    // Records a step for a change already made. A step that cannot be written is taken back:
    // `takeBack` restores the document when given (a whole-document copy), else the current
    // step is read back; the user is told "unexpect". 1 when the step was recorded.
    int RecordStep(uint8_t kind, int layerIndex, const char16_t* name, bool hasPayload, uint16_t tag,
                   const void* payload, int32_t payloadLength, const std::function<void()>& takeBack = {});
    // Makes a step current (undo, redo, the history panel); out-of-range steps do nothing.
    int GoToStep(int index, StepReplay replay);
    int Undo();
    int Redo();
    bool CanUndo() const { return m_history.current > 0; }
    bool CanRedo() const
    {
        return m_history.current >= 0 && size_t(m_history.current) + 1 < m_history.steps.size();
    }
    // Whether any step carries a replayable payload (make-automation).
    bool AnyStepWithPayload() const;

    // The saved step: 0 after opening; -1 when the picture on screen was never saved (a
    // recovered tab) or the step that was saved has been cut off by a later change.
    int32_t SavedStep() const { return m_savedStep; }
    // A save ended: the current step is what is on disk now.
    void MarkSaved();
    void MarkUnsaved();
    // The picture on screen is not the one on disk: the current step differs from the saved one.
    // Undoing below the saved step counts as unsaved too (that picture is not on disk).
    bool Unsaved() const { return m_history.current != m_savedStep; }

    // Paging while the tab is hidden: the whole document with its masks and selection goes to
    // `path` (exactly, pixel for pixel) and the pixels are freed; 0 and the document kept in
    // memory when it cannot be written (the file is then removed). PageIn reads it back; 0 and
    // the document left empty when it cannot be read.
    int PageOut(const std::u16string& path);
    int PageIn();
    bool PagedOut() const { return m_pagedOut; }
    // Set when a page-in failed: the document is gone and must never be offered for saving.
    bool Lost() const { return m_lost; }

    void Subscribe(IEditorDocumentObserver* observer, int order = kOrderViews);
    void Unsubscribe(IEditorDocumentObserver* observer);
    // Tells every observer; pixel, layer, selection and size changes also set the document's
    // modified flag (the canvas's redraw request).
    void Changed(uint32_t changes);

    // Where "unexpect" and the other messages of the model go (the editor's message box when
    // empty); tests answer here.
    std::function<int(const char16_t* text, int kind, int buttons)> ask;

private:
    // IHistoryListView: every AddStep and GoToStep of the store ends here, also those of
    // dialogs that reach the store directly.
    void Refresh() override;
    void StepAdding(int32_t keep) override;
    int Say(const char16_t* key);

    struct Subscription {
        IEditorDocumentObserver* observer;
        int order;
    };

    CZDDoc m_document;
    ImageInfo m_info;
    HistoryStore m_history;
    std::vector<Subscription> m_observers;
    int32_t m_savedStep = 0;
    bool m_adding = false;
    bool m_moving = false;
    bool m_pagedOut = false;
    bool m_lost = false;
    std::u16string m_pagePath;
};

// The crash-status writer: writes the crash-status file after every history move and after a
// history's first step (later new steps write it from the history store itself). Subscribed
// first by the tab, so a tab is listed before its picture is shown.
class CCrashStatusSubscriber final : public IEditorDocumentObserver {
public:
    void OnDocumentChanged(CEditorDocument& model, uint32_t changes) override;
};
