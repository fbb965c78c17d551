#include "editor/EditPage.h"

#include "batch/SavePanel.h"
#include "editor/CanvasCommands.h"
#include "editor/EditorCommands.h"
#include "editor/Wizard.h"
#include "editor/EditorHost.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "platform/Path.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "ui/ClipboardUi.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/SpriteMessage.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

constexpr int kPreviewSide = 160;
constexpr uint32_t kKeyF2 = platform::vk::F1 + 1;

} // namespace

int BuildPreviewImage(const ImageBuffer16& composite, int maxSide, ImageBuffer8& out)
{
    FreeImageBuffer(out);
    if (!composite.data || composite.width <= 0 || composite.height <= 0 || maxSide <= 0)
        return 0;
    const int longer = std::max(composite.width, composite.height);
    const int w = std::max(1, int(int64_t(composite.width) * std::min(maxSide, longer) / longer));
    const int h = std::max(1, int(int64_t(composite.height) * std::min(maxSide, longer) / longer));
    if (!AllocImage8(out, w, h))
        return 0;
    // Nearest sample: a hover picture, not a print.
    for (int y = 0; y < h; ++y) {
        const uint16_t* row = composite.data + size_t(int64_t(y) * composite.height / h) * composite.width * 4;
        uint8_t* o = out.data + size_t(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            const uint16_t* p = row + size_t(int64_t(x) * composite.width / w) * 4;
            o[x * 4] = SrgbEncodeTable[p[0]];
            o[x * 4 + 1] = SrgbEncodeTable[p[1]];
            o[x * 4 + 2] = SrgbEncodeTable[p[2]];
            o[x * 4 + 3] = 255;
        }
    }
    return 1;
}

uint64_t DocumentChecksum(const CZDDoc& doc)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* data, size_t n) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    };
    std::lock_guard guard(doc.lock);
    mix(&doc.width, sizeof doc.width);
    mix(&doc.height, sizeof doc.height);
    for (const auto& layer : doc.layers)
        if (layer->pixels.data)
            mix(layer->pixels.data, size_t(layer->pixels.width) * layer->pixels.height * 8);
    return h;
}

HistoryStore* ActiveEditorHistory()
{
    IEditorHost* host = TheEditorHost();
    CSEditPage* page = host ? host->ActiveEditPage() : nullptr;
    return page ? &page->History() : nullptr;
}

int CSPanelPlace::OnDraw(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    if (!AllDirty() || !m_image.data)
        return 0;
    FillRect8(m_image, {0, 0, m_image.width, m_image.height}, 0x262626, 255);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

CSEditPage::CSEditPage(const char16_t* caption)
    : CSTabPage(caption)
{
    SetFlags(Flags() | SF_INPUT | SF_EDITPAGE);
    m_commandPanel.SetEditPage(this);
    m_model.Subscribe(&m_crashWriter, CEditorDocument::kOrderCrashStatus);
    m_model.Subscribe(this, CEditorDocument::kOrderViews);
    m_historyPage.SetModel(&m_model);
    m_layerPage.SetModel(&m_model);
    m_maskPage.SetModel(&m_model);
}

CSEditPage::~CSEditPage()
{
    m_model.Unsubscribe(this);
    m_model.Unsubscribe(&m_crashWriter);
    m_historyPage.SetModel(nullptr);
    if (m_window)
        m_window->RemoveAccelerators(this);
    // The member sprites leave the child lists before they are destroyed.
    CSEditPage::ReleaseResources(1);
    m_view.SetDocument(nullptr, nullptr);
    FreeImageBuffer(preview);
}

SRect CSEditPage::CanvasRect(int width, int height)
{
    return {kCommandPanelWidth, 0, std::max(kCommandPanelWidth + 1, width - kSideStackWidth), std::max(1, height)};
}

int CSEditPage::OnCreate()
{
    const int w = std::max(Width(), 100), h = std::max(Height(), 100);
    // The canvas shows the tab's document and records into its history.
    m_view.hostMode = hostMode;
    m_view.SetDocument(&Document(), &History());
    ConnectCanvas();
    if (!m_view.Create(this, nullptr, kCanvasId, 2, 0, 0, 100, 100))
        return 0;
    AddChild(&m_view);
    const SRect canvas = CanvasRect(w, h);
    m_view.SetPos(canvas.left, canvas.top, canvas.Width(), canvas.Height());
    m_view.FitToWindow();

    // The command panel.
    char16_t title[kCaptionCapacity];
    CopyTextBounded(title, kCaptionCapacity, UiText(u"touchup"));
    m_commandPanel.SetTitle(title);
    if (!m_commandPanel.Create(this, nullptr, kCommandPanelId, 0, 0, 100, 100, 2))
        return 0;
    AddChild(&m_commandPanel);
    m_commandPanel.SetPos(0, 0, kCommandPanelWidth, h);

    // The side stack with its panels and the history.
    if (!m_sideStack.Create(this, nullptr, kSideStackId, 2, 0, 0, 100, 100))
        return 0;
    AddChild(&m_sideStack);
    if (!AddSidePanels())
        return 0;
    m_sideStack.SetPos(std::max(0, w - kSideStackWidth), 0, kSideStackWidth, h);

    if (m_window) {
        for (uint32_t key : {'A', 'D', 'I', 'C', 'V', 'Z', 'Y', 'R', 'S'})
            m_window->AddAccelerator(this, key, 0, 1);
        m_window->AddAccelerator(this, 'R', 1, 1);
        m_window->AddAccelerator(this, kKeyF2, 1, 1);
        m_accelerators = true;
    }
    ShowDocument();
    return 1;
}

int CSEditPage::AddSidePanels()
{
    struct Place {
        CSTabPage& page;
        const char16_t* key;
        int priority;
        int height;
    };
    auto add = [&](const Place& p) {
        char16_t title[kCaptionCapacity];
        CopyTextBounded(title, kCaptionCapacity, UiText(p.key));
        p.page.SetTitle(title);
        return m_sideStack.AddPanel(&p.page, p.priority, p.height) >= 0;
    };
    {
        char16_t title[kCaptionCapacity];
        CopyTextBounded(title, kCaptionCapacity, UiText(u"tools"));
        m_toolPage.SetTitle(title);
        m_toolPage.SetCanvas(&m_view);
        if (m_sideStack.AddPanel(&m_toolPage, 5, 90) < 0)
            return 0;
    }
    if (!hostMode && !add({m_layerPage, u"layers", 3, 200}))
        return 0;
    if (!add({m_maskPage, u"masks", 2, 120}))
        return 0;
    // The history's data file; a tab without one could not undo.
    if (History().document != &Document() && !m_model.BindHistory())
        return 0;
    return add({m_historyPage, u"history", 4, 180}) ? 1 : 0;
}

void CSEditPage::SetPos(int x, int y, int width, int height)
{
    CSTabPage::SetPos(x, y, width, height);
    SetAllDirty(1);
    const SRect canvas = CanvasRect(width, height);
    m_commandPanel.SetPos(0, 0, kCommandPanelWidth, height);
    m_view.SetPos(canvas.left, canvas.top, canvas.Width(), canvas.Height());
    m_sideStack.SetPos(std::max(0, width - kSideStackWidth), 0, kSideStackWidth, height);
}

int CSEditPage::OnDraw(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    if (!AllDirty() || !m_image.data)
        return 0;
    FillRect8(m_image, {0, 0, m_image.width, m_image.height}, 0x1E1E1E, 255);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CSEditPage::ReleaseResources(int flag)
{
    for (CSprite* child : {static_cast<CSprite*>(&m_view), static_cast<CSprite*>(&m_commandPanel),
                           static_cast<CSprite*>(&m_sideStack)})
        RemoveChild(child);
    // The panels are the side stack's children.
    for (CSTabPage* panel : std::initializer_list<CSTabPage*>{&m_toolPage, &m_layerPage, &m_maskPage, &m_historyPage})
        m_sideStack.RemoveChild(panel);
    for (CSTabPage* panel : std::initializer_list<CSTabPage*>{&m_toolPage, &m_layerPage, &m_maskPage, &m_historyPage})
        panel->ReleaseResources(flag);
    m_view.ReleaseResources(flag);
    m_commandPanel.ReleaseResources(flag);
    m_sideStack.ReleaseResources(flag);
    if (flag)
        Document().Clear();
    CSTabPage::ReleaseResources(flag);
}

int CSEditPage::Ask(const char16_t* key, int kind, int buttons)
{
    return EditorAsk(UiText(key), kind, buttons);
}

void CSEditPage::BuildPreview()
{
    ImageBuffer16 flat;
    if (!Document().Flatten(flat, 0xFFFF000000000000ull))
        return;
    ImageBuffer8 fresh;
    if (BuildPreviewImage(flat, kPreviewSide, fresh)) {
        FreeImageBuffer(preview);
        preview = fresh;
    }
    FreeImageBuffer(flat);
}

void CSEditPage::ConnectCanvas()
{
    CanvasHooks& h = m_view.hooks;
    h.endTool = [this] { m_toolPage.SetCurrentTool(nullptr); };
    h.runWizard = [this] { RunAutoWizard(*this, &m_view); };
    h.applyToHost = [this] { ApplyToHost(); };
    h.copyToClipboard = [this] { CopyToClipboard(); };
    h.buildSelectionMenu = [this](CSMenu& menu, CSMenu& modify) {
        CSMenu* nested[1] = {&modify};
        BuildEditorMenu(menu, kMenuSelection, nested, 1, &Document());
        return menu.Count() > 0 ? 1 : 0;
    };
    // The save wrote the document: what is on disk is the current step.
    h.saved = [this] { AfterSave(); };
    // The side panels follow each composition.
    h.viewRendered = [this] {
        if (!hostMode)
            m_layerPage.Refresh();
        m_maskPage.Refresh();
    };
    m_layerPage.paste = [this] { PasteFromClipboard(); };
    m_maskPage.selectionToMask = [this] { return SelectionToMask(Document(), m_view.dialogs); };
    CanvasDialogs& d = m_view.dialogs;
    d.messageBox = [](const char16_t* text, int kind, int buttons) { return EditorAsk(text, kind, buttons); };
    d.saveDocument = [this](CZDDoc& doc) {
        if (m_model.Lost())
            return 0;
        return RunSavePanel(doc, std::u16string(doc.path, platform::TextLength(doc.path, 1024)), &m_model.Info());
    };
}

void CSEditPage::ShowDocument()
{
    CZDDoc& doc = Document();
    if (doc.LayerCount() == 0)
        return;
    // Test hook: ZENDRA_REPORT_PIXELS=1 prints what each tab shows, so a test can compare the
    // exact pixels across runs (a screenshot is scaled and cannot prove that), with the steps
    // recorded so far and where the canvas puts the picture.
    if (std::getenv("ZENDRA_REPORT_PIXELS")) {
        std::printf("zendra: tab %s %dx%d %016llx\n", platform::ToNativePath(filePath).c_str(), doc.width, doc.height,
                    (unsigned long long)DocumentChecksum(doc));
        const HistoryStore& history = History();
        for (size_t i = 0; i < history.steps.size(); ++i) {
            const HistoryStep& step = history.steps[i];
            std::string hex;
            char byte[4];
            const uint8_t* payload = step.hasPayload ? step.PayloadData() : nullptr;
            for (int32_t k = 0; payload && k < step.payloadLength; ++k) {
                std::snprintf(byte, sizeof byte, "%02x", payload[k]);
                hex += byte;
            }
            std::printf("zendra: step %zu%s kind %u tag %u name %s payload %s\n", i,
                        int32_t(i) == history.current ? "*" : "", unsigned(step.kind), unsigned(step.tag),
                        platform::Utf16ToUtf8(step.name).c_str(), hex.empty() ? "-" : hex.c_str());
        }
        const CSEditView::Mapping m = m_view.GetMapping();
        // Also in window pixels, where a test's screenshot finds it.
        const SRect w = m_view.LocalToWindowRect(m.picture);
        std::printf("zendra: canvas picture %d,%d,%d,%d zoom %.6f window %d,%d,%d,%d\n", m.picture.left, m.picture.top,
                    m.picture.right, m.picture.bottom, m.zoom, w.left, w.top, w.right, w.bottom);
        std::fflush(stdout);
    }
    doc.modified = 1;
    m_view.Invalidate();
    // The tab strip's hover picture: made when the tab is hidden, not on every step (a whole
    // flatten of the document).
    if (!IsShown() || !preview.data)
        BuildPreview();
}

void CSEditPage::OnDocumentChanged(CEditorDocument&, uint32_t changes)
{
    if (changes & EditorChange::PagedOut) {
        m_view.FreeViewBuffers();
        return;
    }
    // Only a new size fits the picture again: an edit keeps the zoom and place the user chose.
    if ((changes & EditorChange::Size) &&
        (Document().width != m_view.ImageWidth() || Document().height != m_view.ImageHeight()))
        m_view.FitToWindow();
    if (changes & (EditorChange::Picture | EditorChange::PagedIn))
        ShowDocument();
}

int CSEditPage::AdoptHistory(const std::u16string& dataPath, std::vector<HistoryStep> steps)
{
    return m_model.AdoptHistory(dataPath, std::move(steps));
}

void CSEditPage::OnKeyDown(uint32_t key, uint32_t, uint32_t flags)
{
    // The tab's keys all go with Ctrl, as the key came: a plain letter typed while the tab has
    // the focus must not edit the photo.
    if (!(flags & platform::kKeyControlDown) || (flags & platform::kKeyAltDown))
        return;
    const bool shift = (flags & platform::kKeyShiftDown) != 0;
    switch (key) {
    case 'A':
        EndEditorTool();
        RunCommand(kCmdSelectAll);
        break;
    case 'D':
        EndEditorTool();
        RunCommand(kCmdSelectNone);
        break;
    case 'I':
        EndEditorTool();
        RunCommand(kCmdInvertSelection);
        break;
    case 'C':
        CopyToClipboard();
        break;
    case 'V':
        EndEditorTool();
        PasteFromClipboard();
        break;
    case 'Z':
        // A tool at work owns the picture until it ends.
        if (!m_view.CurrentTool())
            RunCommand(kCmdUndo);
        break;
    case 'Y':
        if (!m_view.CurrentTool())
            RunCommand(kCmdRedo);
        break;
    case 'R':
        RunCommand(shift ? kCmdRotateLeft : kCmdRotateRight);
        break;
    case 'S':
        // Posted: the save panel runs its own loop, not inside the key's delivery.
        ::PostSpriteMessage(this, MSG_MENU_COMMAND, kCmdSave, 0, this);
        break;
    default:
        if (key == kKeyF2)
            RunCommand(kCmdDeblur);
        break;
    }
}

int CSEditPage::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_MENU_COMMAND && m->param1 == kCmdClose) {
        // Closing destroys the tab: nothing of it may be touched afterwards.
        if (IEditorHost* host = TheEditorHost())
            host->CloseTab(this);
        return 1;
    }
    if (m && m->code == MSG_MENU_COMMAND)
        RunCommand(int(m->param1));
    else if (m && m->code == MSG_PAGE_OUT)
        PageOutNow();
    return CSTabPage::OnSpriteMessage(m);
}

void CSEditPage::OnPageLeave()
{
    EndEditorTool();
    // The tab frame calls this under its lock, which the render thread needs for every frame:
    // the write waits for the next turn of the loop.
    m_pageOutPending = true;
    if (!PostSpriteMessage(MSG_PAGE_OUT, 0, 0, this))
        m_pageOutPending = false; // the tab keeps its pixels
}

void CSEditPage::PageOutNow()
{
    if (!m_pageOutPending)
        return;
    m_pageOutPending = false;
    // The tab strip shows this picture while the tab is hidden; made here, outside the frame's
    // lock, from the steps since the tab was last hidden.
    BuildPreview();
    // A document too large for the paging stream, or a full disk: the tab keeps its pixels.
    if (m_pagedOutFile.empty()) {
        if (ITempFileNames* names = TheDocumentUi().tempNames)
            m_pagedOutFile = names->MakeTempFileName(u"pagemem");
        else
            m_pagedOutFile = platform::CreateUniqueTempFile(u"pagemem", u".zdtmp");
    }
    if (m_pagedOutFile.empty() || !m_model.PageOut(m_pagedOutFile)) {
        m_pagedOutFile.clear();
        return;
    }
    DiscardImage();
}

int CSEditPage::OnPageEnter()
{
    // Back before the page-out ran: the pixels never left.
    m_pageOutPending = false;
    if (!m_model.PagedOut())
        return 1;
    const int ok = m_model.PageIn();
    if (!ok)
        Ask(u"unexpect", kMbInformation, kMbOk);
    SetAllDirty(1);
    return ok;
}

int CSEditPage::SaveDocument()
{
    // The canvas's save command; it calls AfterSave when the file was written.
    const uint64_t saves = m_saves;
    m_view.SaveDocument();
    return m_saves != saves ? 1 : 0;
}

void CSEditPage::AfterSave()
{
    ++m_saves;
    m_model.MarkSaved();
    if (IEditorHost* host = TheEditorHost())
        if (CMessageSprite* album = host->AlbumRefreshTarget())
            ::PostSpriteMessage(album, MSG_ALBUM_REFRESH, 0, 0, this);
}

int CSEditPage::QueryClose()
{
    IEditorHost* host = TheEditorHost();
    if (host && host->ActiveEditPage())
        host->EndActiveTool();
    if (m_window)
        m_window->RemoveAccelerators(this);
    m_accelerators = false;
    if (!m_model.Unsaved())
        return 1;
    // A document that could not be read back has nothing left to save.
    if (m_model.Lost())
        return 1;
    std::printf("zendra: asking to close unsaved %s\n", platform::ToNativePath(filePath).c_str());
    std::fflush(stdout);
    if (hostMode) {
        if (Ask(u"pluginapplyask", kMbQuestion, kMbYesNo) == 6)
            ApplyToHost();
        return 1;
    }
    // The user sees which photo is meant.
    if (!IsShown() && host)
        host->SelectPage(this);
    const int answer = Ask(u"onclosesave", kMbQuestion, kMbYesNo);
    if (answer == 7)
        return 1;
    if (answer != 6)
        return 0; // no box could be shown: nothing was answered
    SaveDocument();
    return m_model.Unsaved() ? 0 : 1;
}

int CSEditPage::ApplyToHost()
{
    IEditorHost* host = TheEditorHost();
    CZDDoc& doc = Document();
    if (!hostMode || !host || doc.LayerCount() == 0)
        return 0;
    // The host gets what the user sees: the visible layers flattened when there are several.
    if (doc.LayerCount() == 1)
        return doc.layers[0]->pixels.data ? host->ReturnPluginImage(doc.layers[0]->pixels) : 0;
    ImageBuffer16 flat;
    if (!doc.Flatten(flat, 0)) {
        Ask(u"errmem", kMbError, kMbOk);
        return 0;
    }
    const int ok = host->ReturnPluginImage(flat);
    FreeImageBuffer(flat);
    return ok;
}

int CSEditPage::CopyToClipboard()
{
    CZDDoc& doc = Document();
    CZDLayer* layer = doc.GetCurrentLayer();
    if (!layer || !layer->pixels.data)
        return 0;
    ImageBuffer8 picture;
    int ok = 0;
    {
        std::lock_guard guard(layer->lock);
        if (!ConvertImage16To8Dithered(layer->pixels, picture))
            return 0;
    }
    const Plane8& sel = doc.selection;
    const int lw = picture.width, lh = picture.height;
    // The box of the selected pixels that lie over the layer (selection in document
    // coordinates, the layer at its offset).
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
    if (sel.data)
        for (int y = 0; y < lh; ++y) {
            const int64_t sy = int64_t(y) + layer->y;
            if (sy < 0 || sy >= sel.height)
                continue;
            for (int x = 0; x < lw; ++x) {
                const int64_t sx = int64_t(x) + layer->x;
                if (sx < 0 || sx >= sel.width || !sel.data[size_t(sy) * sel.width + size_t(sx)])
                    continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    ImageBuffer8 part;
    if (right >= 0 && AllocImage8(part, right - left + 1, bottom - top + 1)) {
        std::memset(part.data, 0, size_t(part.width) * part.height * 4);
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x) {
                const int64_t sx = int64_t(x) + layer->x, sy = int64_t(y) + layer->y;
                if (sx < 0 || sy < 0 || sx >= sel.width || sy >= sel.height)
                    continue;
                const int m = sel.data[size_t(sy) * sel.width + size_t(sx)];
                if (!m)
                    continue;
                const uint8_t* s = picture.data + (size_t(y) * lw + x) * 4;
                uint8_t* d = part.data + (size_t(y - top) * part.width + (x - left)) * 4;
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = uint8_t(s[3] * m / 255);
            }
        ok = CopyImageToClipboard(part);
    } else {
        ok = CopyImageToClipboard(picture);
    }
    FreeImageBuffer(part);
    FreeImageBuffer(picture);
    return ok;
}

int CSEditPage::PasteFromClipboard()
{
    ImageBuffer16 picture;
    const ClipboardImageResult r = ReadClipboardImageBlock(picture);
    if (r == ClipboardImageResult::Unsupported)
        Ask(u"unsupportunPatternpaste", kMbError, kMbOk);
    if (r != ClipboardImageResult::Read)
        return 0;
    EndEditorTool();
    CZDDoc& doc = Document();
    char16_t name[32];
    CopyTextBounded(name, 32, UiText(u"pastelayer"));
    const int before = doc.LayerCount();
    const int added = doc.AddLayer(picture, name, doc.current + 1);
    FreeImageBuffer(picture);
    if (!added || doc.LayerCount() != before + 1) {
        Ask(u"errmem", kMbError, kMbOk);
        return 0;
    }
    const int index = doc.current;
    return m_model.RecordStep(kHistoryDocument, -1, UiText(u"hisPaste"), false, 0, nullptr, 0,
                              [&doc, index] { doc.DeleteLayer(index); });
}
