// The editor tab: one photo's model (document, history, saved step, file facts), the canvas in
// the middle, the command panel on the left, the side stack of panels on the right. It runs
// every editor command through its dispatcher (EditCommands.cpp), pages the document out while
// it is hidden, asks before unsaved changes are lost, and in host mode hands the picture back.
#pragma once

#include "album/AlbumMessages.h" // MSG_ALBUM_REFRESH, posted after a save
#include "editor/AdjustPage.h"
#include "editor/EditView.h"
#include "editor/EditorDocument.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "ui/TabFrame.h"
#include "ui/VerticalFrame.h"

#include <functional>
#include <string>

// Marks an editor page among the tab pages.
inline constexpr uint32_t SF_EDITPAGE = 0x200;

// The tab's own: page the document out now (posted when the tab was hidden).
inline constexpr int32_t MSG_PAGE_OUT = 10010;

// A side panel's place in the stack until the panel itself joins: its title row and an empty
// page, so the column has its final layout.
class CSPanelPlace : public CSTabPage {
public:
    explicit CSPanelPlace(const char16_t* title) : CSTabPage(title) {}
    int OnDraw(uint32_t time) override;
};

class CSEditPage : public CSTabPage, private IEditorDocumentObserver {
public:
    static constexpr int kCaptionCapacity = 32;
    static constexpr int kCommandPanelWidth = 180;
    static constexpr int kSideStackWidth = 220;
    // Child ids.
    static constexpr int32_t kCanvasId = 1, kCommandPanelId = 2, kSideStackId = 3;

    explicit CSEditPage(const char16_t* caption = u"");
    ~CSEditPage() override;

    // ---- members for other parts ----
    CEditorDocument& Model() { return m_model; }
    CZDDoc& Document() { return m_model.Document(); }
    HistoryStore& History() { return m_model.History(); }
    ImageInfo& Info() { return m_model.Info(); }
    int32_t SavedStep() const { return m_model.SavedStep(); }
    bool Unsaved() const { return m_model.Unsaved(); }
    CSAdjustPage& CommandPanel() { return m_commandPanel; }
    CSVerticalFrames& SideStack() { return m_sideStack; }
    CSEditView& View() { return m_view; }

    // Host mode: set by the main window right after construction, before OnCreate.
    int32_t hostMode = 0;
    // The file the tab shows (compared when the same photo is opened again); the caption is the
    // tab's title.
    char16_t filePath[1024] = {};
    // A small picture of the document for the tab strip's hover; empty while none.
    ImageBuffer8 preview;

    // ---- the tab ----
    // 1 close, 0 keep the tab (the user cancelled the save, or no box could be shown).
    int QueryClose();
    // Host mode: hands the picture back (the visible layers flattened when there are several).
    int ApplyToHost();
    // Ctrl+C and Ctrl+V (22004, 22005).
    int CopyToClipboard();
    int PasteFromClipboard();
    // Saves through the canvas's save command; 1 when the document was written.
    int SaveDocument();
    // The save wrote the file: the saved step becomes the current step, the album is told.
    void AfterSave();
    // Crash recovery: the tab goes on with a crashed run's history (see CEditorDocument).
    int AdoptHistory(const std::u16string& dataPath, std::vector<HistoryStep> steps);
    // Asks the canvas to compose the document again and, with ZENDRA_REPORT_PIXELS set, says
    // what the tab shows (size, checksum, the steps, the canvas's picture rectangle and zoom).
    void ShowDocument();

    // ---- commands (EditCommands.cpp) ----
    // The dispatcher's action for one EditorCommandId; 1 when the id was handled.
    int RunCommand(int id);
    int RotateFlip(int id);
    int AutoLevels(int id);
    int AutoWhiteBalance();
    int QuickSharpen();
    int QuickSharpenTexture();
    int QuickEdgeSharpen();
    int QuickBlur();
    int SmartEraseSelection();

    // ---- CSprite, CMessageSprite, CSTabPage ----
    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    int ShowFocusMark() override { return 0; }
    int OnSpriteMessage(SpriteMessage* message) override;
    void OnPageLeave() override;
    int OnPageEnter() override;

    // Writes the document to the paging file and frees its pixels, when the tab is still
    // hidden (posted by OnPageLeave; tests call it directly).
    void PageOutNow();
    bool PageOutPending() const { return m_pageOutPending; }
    // The paging file once the tab was first hidden; empty until then.
    const std::u16string& PagedOutFile() const { return m_pagedOutFile; }
    // The canvas area of the layout (in the tab's coordinates) for a tab of that size.
    static SRect CanvasRect(int width, int height);

private:
    void OnDocumentChanged(CEditorDocument& model, uint32_t changes) override;
    void BuildPreview();
    void ConnectCanvas();
    int AddSidePanels();
    int Ask(const char16_t* key, int kind, int buttons);
    int RunQuickFilter(int id);

    CEditorDocument m_model;
    CCrashStatusSubscriber m_crashWriter;
    CSEditView m_view;
    CSVerticalFrames m_sideStack;
    CSAdjustPage m_commandPanel;
    CSPanelPlace m_toolPlace{u""}, m_layerPlace{u""}, m_maskPlace{u""}, m_historyPlace{u""};
    std::u16string m_pagedOutFile;
    bool m_accelerators = false;
    uint64_t m_saves = 0;
    bool m_pageOutPending = false;
};

// FNV-1a over the canvas size and every layer's pixels: equal documents, equal sums.
uint64_t DocumentChecksum(const CZDDoc& doc);

// The 8-bit hover picture of a composite: at most maxSide pixels on its longer side.
int BuildPreviewImage(const ImageBuffer16& composite, int maxSide, ImageBuffer8& out);
