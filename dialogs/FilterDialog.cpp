// The filter dialog protocol (see the header): layout, views, blend and mask, Apply, OK, Cancel.
#include "dialogs/FilterDialog.h"

#include "algorithms/AlgorithmThread.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/EditorLink.h"
#include "dialogs/FilterBlendDialog.h"
#include "dialogs/FilterPixels.h"
#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/DocumentStream.h"
#include "imaging/HistoryStore.h"
#include "platform/FileSystem.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct ViewButton {
    int32_t id;
    const char16_t* tipKey;
    int iconFrame;
    int y;
    uint8_t kind;
};

// The four view modes every dialog shows; the canvas mode and the blend button need an editor.
constexpr ViewButton kModeButtons[] = {
    {10001, u"viewBefore", 0, 0, 2},
    {10002, u"viewAfter", 1, 20, 2},
    {10003, u"viewCompH", 3, 40, 2},
    {10004, u"viewCompV", 2, 60, 2},
};
constexpr ViewButton kCanvasButton = {10005, u"viewPreview", 4, 80, 2};
constexpr ViewButton kBlendButton = {10006, u"viewBlendMode", 5, 120, 1};
constexpr ViewButton kMaskButton = {10007, u"viewMask", 7, 140, 1};
constexpr int kMaskOnFrame = 6, kMaskOffFrame = 7;

constexpr int kMarkNone = -2, kMarkSelection = -1;

} // namespace

CFilterDialog::CFilterDialog()
{
    m_fadeOutOnClose = 0;
}

CFilterDialog::~CFilterDialog()
{
    // No job of ours may outlive the pictures below.
    StopJob();
    // The panel and the views are members: out of the child list before they go (DoModal has
    // done it when the dialog ran).
    CAlgorithmDialog::ReleaseResources(1);
    m_maskMenu.Close(0);
    m_maskMenu.ReleaseResources(1);
    FreePlane8(m_savedMaskPlane);
    FreeImageBuffer(m_backup);
    FreeImageBuffer(m_work);
}

void CFilterDialog::ReleaseResources(int flag)
{
    CAlgorithmDialog::ReleaseResources(flag);
}

void CFilterDialog::StopJob()
{
    if (!JobInFlight())
        return;
    // OnCancel of the base stops the job and drops its completion; the result it sets is
    // restored, as this is not the end of the dialog.
    const int result = Result();
    const int restart = m_restartPending;
    CAlgorithmDialog::OnCancel();
    SetResult(result);
    m_restartPending = restart;
}

CZDLayer* CFilterDialog::TargetLayer() const
{
    if (!m_document || !m_target)
        return nullptr;
    const int index = m_document->FindLayerByImage(m_target);
    return index >= 0 ? m_document->GetLayer(index) : nullptr;
}

template <class Fn>
void CFilterDialog::ChangeTarget(Fn&& change)
{
    // Sprite lock before the layer's: the lock order of the toolkit.
    platform::ScopedLock view(m_afterView.Lock());
    CZDLayer* layer = TargetLayer();
    if (layer) {
        platform::ScopedLock pixels(layer->lock);
        change();
    } else {
        change();
    }
}

void CFilterDialog::MarkEditorModified()
{
    if (CZDDoc* active = CurrentEditorDocument())
        active->modified = 1;
}

int CFilterDialog::BindDocument(CZDDoc* document)
{
    m_target = nullptr;
    m_mask = nullptr;
    if (!document)
        return 1;
    m_target = document->GetCurrentImage();
    if (m_target && m_target->data && !CopyImage16(m_backup, *m_target))
        return 0;
    m_mask = document->GetSelection();
    return 1;
}

void CFilterDialog::PlaceButtons()
{
    const int h = Height();
    if (CSprite* ok = GetControl(1))
        ok->SetPos(5, h - 40, 60, 25);
    if (CSprite* cancel = GetControl(2))
        cancel->SetPos(70, h - 40, 90, 25);
    if (auto* apply = dynamic_cast<CSButton*>(GetControl(kApplyId))) {
        const int length = int(std::char_traits<char16_t>::length(apply->Caption()));
        apply->SetPos(165, h - 40, length > 5 ? 10 * length : 70, 25);
    }
}

int CFilterDialog::BuildPanel(bool editorActive)
{
    const int c = m_columnWidth;
    if (!LoadUiImageStrip(UiImageFolder::Basic, u"viewmode.png", 16, m_viewIcons) || m_viewIcons.size() < 8)
        return 0;
    if (!m_panel.Create(this, nullptr, kPanelId, 2, c + 10, 50, c + 30, 220))
        return 0;
    AddChild(&m_panel);
    m_panelBuilt = true;
    auto add = [&](const ViewButton& b) {
        return m_panel.AddItem(b.id, b.kind, u"", UiText(b.tipKey), m_viewIcons[size_t(b.iconFrame)], 0, b.y, 20,
                               b.y + 20);
    };
    for (const ViewButton& b : kModeButtons)
        if (!add(b))
            return 0;
    if (editorActive && (!add(kCanvasButton) || !add(kBlendButton)))
        return 0;
    const bool masks = m_document && (m_document->GetSelection() || !m_document->masks.empty());
    if (masks && !add(kMaskButton))
        return 0;
    UpdateMaskIcon();
    return 1;
}

int CFilterDialog::OnInitDialog()
{
    if (!CAlgorithmDialog::OnInitDialog())
        return 0;
    m_columnWidth = Width();
    m_columnHeight = Height();
    if (!BindDocument(GetDocument()))
        return 0;
    PlaceOverPage(0);
    PlaceButtons();
    if (!BuildPanel(CurrentEditorDocument() != nullptr))
        return 0;
    const int c = m_columnWidth, w = Width(), h = Height();
    m_viewRect = {c + 35, 30, w - 5, h - 5};
    SetProgressRect({c + 5, 250, c + 20, h - 50});
    const SRect& v = m_viewRect;
    if (!m_beforeView.Create(this, nullptr, kBeforeViewId, 2, v.left, v.top, v.right, v.bottom) ||
        !m_afterView.Create(this, nullptr, kAfterViewId, 2, v.left, v.top, v.right, v.bottom))
        return 0;
    m_beforeView.SetVisible(0);
    m_afterView.SetVisible(0);
    AddChild(&m_beforeView);
    AddChild(&m_afterView);
    m_viewsBuilt = true;
    m_beforeView.SetImage16(&m_backup, UiText(u"viewBefore"));
    m_afterView.SetImage16(m_target, UiText(u"viewAfter"));
    if (!m_maskMenu.Create(nullptr, m_window, kMaskMenuId, 201, 0, 0, 100, 100))
        return 0;
    m_maskMenu.SetVisible(0);
    SetViewMode(kViewAfter);
    m_tempFile = MakeDialogTempFileName(u"filter");
    if (CSprite* apply = GetControl(kApplyId))
        if (auto* m = dynamic_cast<CMessageSprite*>(apply))
            m->SetEnabled(0);
    return 1;
}

void CFilterDialog::SetViewMode(int mode)
{
    if (mode < 0 || mode > kViewCanvas || mode == m_viewMode)
        return;
    m_panel.UncheckAll();
    const int old = m_viewMode;
    m_viewMode = mode;
    m_panel.SetItemChecked(kViewButtonFirst + mode, 1);
    const SRect r = Rect();
    const SRect& v = m_viewRect;
    if (old == kViewCanvas)
        SetPos(r.left, r.top, m_columnWidth + (v.right - v.left) + 40, r.Height());
    const int vw = v.right - v.left, vh = v.bottom - v.top;
    switch (mode) {
    case kViewBefore:
        m_beforeView.SetPos(v.left, v.top, vw, vh);
        m_beforeView.SetVisible(1);
        m_afterView.SetVisible(0);
        break;
    case kViewAfter:
        m_afterView.SetPos(v.left, v.top, vw, vh);
        m_afterView.SetVisible(1);
        m_beforeView.SetVisible(0);
        break;
    case kViewSideBySide:
        m_beforeView.SetPos(v.left, v.top, vw / 2, vh);
        m_afterView.SetPos(v.left + vw / 2, v.top, vw - vw / 2, vh);
        m_beforeView.SetVisible(1);
        m_afterView.SetVisible(1);
        break;
    case kViewAboveBelow:
        m_beforeView.SetPos(v.left, v.top, vw, vh / 2);
        m_afterView.SetPos(v.left, v.top + vh / 2, vw, vh - vh / 2);
        m_beforeView.SetVisible(1);
        m_afterView.SetVisible(1);
        break;
    case kViewCanvas:
        m_beforeView.SetVisible(0);
        m_afterView.SetVisible(0);
        SetPos(r.left, r.top, m_columnWidth + 35, r.Height());
        MarkEditorModified();
        break;
    }
    SetAllDirty(1);
}

void CFilterDialog::StartPreviewJob(CAlgorithm* algorithm, const void* params, size_t paramBytes)
{
    if (!m_target || !m_backup.data)
        return;
    // The work picture keeps its memory from one preview to the next.
    if (!AllocImage16(m_work, m_backup.width, m_backup.height)) {
        DialogMessage(u"algorithmerror", kMbInformation, kMbOk);
        return;
    }
    StartDialogJob(algorithm, &m_backup, &m_work, params, paramBytes, kJobPreview);
}

void CFilterDialog::OnJobFinished(int jobId, int result)
{
    bool applyEnabled = false;
    if (jobId == kJobPreview && m_target) {
        if (result > 0) {
            MaskPlacement place{m_mask, 0, 0, 0, 0};
            if (m_document) {
                place.documentWidth = m_document->width;
                place.documentHeight = m_document->height;
            }
            if (const CZDLayer* layer = TargetLayer()) {
                place.offsetX = layer->x;
                place.offsetY = layer->y;
            }
            int composed = 0;
            ChangeTarget([&] { composed = ComposeFilterResult(*m_target, m_work, m_backup, m_blendMode, m_opacity, place); });
            m_targetChanged = true;
            applyEnabled = composed != 0;
        } else if (result == kAlgorithmCancelled) {
            // A preview stopped half way: the target keeps the last whole result, and the
            // preview runs again unless a restart is already asked for.
            m_restartPending = 1;
        } else if (m_targetChanged) {
            // A failed preview shows the picture without it.
            ChangeTarget([&] { CopyImage16Parallel(*m_target, m_backup); });
            m_targetChanged = false;
        }
    }
    m_afterView.SetAllDirty(1);
    // Test hook: where the after view shows the picture, so a test's screenshot can check the
    // preview's pixels (the record itself is printed with the tab's steps once it is kept).
    if (jobId == kJobPreview && result > 0 && std::getenv("ZENDRA_REPORT_PIXELS")) {
        platform::ScopedLock view(m_afterView.Lock());
        const SRect shown = m_afterView.LocalToWindowRect(m_afterView.Shown());
        const SRect source = m_afterView.Source();
        std::printf("zendra: preview shown %d,%d,%d,%d source %d,%d,%d,%d zoom %.6f\n", shown.left, shown.top,
                    shown.right, shown.bottom, source.left, source.top, source.right, source.bottom,
                    m_afterView.Zoom());
        std::fflush(stdout);
    }
    if (m_viewMode == kViewCanvas)
        MarkEditorModified();
    if (auto* apply = dynamic_cast<CMessageSprite*>(GetControl(kApplyId)))
        apply->SetEnabled(applyEnabled ? 1 : 0);
    CAlgorithmDialog::OnJobFinished(jobId, result);
}

void CFilterDialog::UpdateMaskIcon()
{
    const int frame = m_mask ? kMaskOnFrame : kMaskOffFrame;
    if (size_t(frame) < m_viewIcons.size())
        m_panel.SetItemIcon(kMaskButton.id, m_viewIcons[size_t(frame)]);
}

void CFilterDialog::SetMaskCommand(int32_t id)
{
    if (id == kMaskWholePicture) {
        m_mask = nullptr;
        FreePlane8(m_savedMaskPlane);
        m_savedMaskIndex = -1;
    } else if (id == kMaskSelection) {
        m_mask = m_document ? m_document->GetSelection() : nullptr;
        FreePlane8(m_savedMaskPlane);
        m_savedMaskIndex = -1;
    } else {
        const int n = id - kMaskSavedFirst;
        if (m_document && n >= 0 && n < kMaxMenuMasks && size_t(n) < m_document->masks.size() &&
            AllocPlane8(m_savedMaskPlane, m_document->width, m_document->height)) {
            PlaceMaskItem(m_savedMaskPlane, *m_document->masks[size_t(n)]);
            m_savedMaskIndex = n;
            m_mask = &m_savedMaskPlane;
        }
    }
    UpdateMaskIcon();
    RestartPreview();
}

int CFilterDialog::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        const intptr_t p1 = message->param1;
        switch (message->code) {
        case MSG_COMMAND:
            if (p1 == kApplyId)
                Apply();
            break;
        case MSG_MENU_COMMAND:
            if (p1 == kMaskWholePicture || p1 == kMaskSelection ||
                (p1 >= kMaskSavedFirst && p1 < kMaskSavedFirst + kMaxMenuMasks))
                SetMaskCommand(int32_t(p1));
            break;
        case MSG_PANEL_CLICK:
            if (p1 == kBlendButtonId)
                ShowBlendDialog();
            else if (p1 == kMaskButtonId)
                ShowMaskMenu();
            else if (p1 >= kViewButtonFirst && p1 <= kViewButtonFirst + 8)
                SetViewMode(int(p1 - kViewButtonFirst));
            break;
        case MSG_VIEW_CHANGED:
            if (p1 == CSPicView::kViewMoved) {
                if (message->sender == &m_beforeView)
                    m_afterView.SyncWith(&m_beforeView);
                else if (message->sender == &m_afterView)
                    m_beforeView.SyncWith(&m_afterView);
            }
            break;
        default:
            break;
        }
    }
    return CAlgorithmDialog::OnSpriteMessage(message);
}

void CFilterDialog::ShowBlendDialog()
{
    CFilterBlendDlg blend;
    if (!CreateDialogFromTemplate(blend, kBlendTemplateId))
        return;
    blend.m_blendMode = m_blendMode;
    blend.m_opacity = m_opacity;
    if (blend.DoModal() != 1)
        return;
    const int opacity = std::clamp<int>(blend.m_opacity, 0, 100);
    if (blend.m_blendMode == m_blendMode && opacity == m_opacity)
        return;
    m_blendMode = blend.m_blendMode;
    m_opacity = uint16_t(opacity);
    RequestRun();
}

void CFilterDialog::ShowMaskMenu()
{
    if (!m_document || !m_window)
        return;
    int marked = kMarkNone;
    if (m_mask && m_mask == m_document->GetSelection())
        marked = kMarkSelection;
    else if (m_mask && m_savedMaskIndex >= 0)
        marked = m_savedMaskIndex;
    BuildMaskMenu(marked, m_document);
    const SPoint corner = m_panel.LocalToWindowPoint({20, 140});
    m_maskMenu.Track(this, corner.x, corner.y, true, true);
}

void CFilterDialog::BuildMaskMenu(int marked, CZDDoc* document)
{
    m_maskMenu.Close(0);
    m_maskMenu.ReleaseResources(0);
    m_maskMenu.AddItem(u"A", kMaskWholePicture, UiText(u"menuMaskSelAll"), nullptr);
    m_maskMenu.CheckItem(kMaskWholePicture, marked == kMarkNone);
    if (!document)
        return;
    if (document->GetSelection()) {
        m_maskMenu.AddItem(u"C", kMaskSelection, UiText(u"menuMaskSelCur"), nullptr);
        m_maskMenu.CheckItem(kMaskSelection, marked == kMarkSelection);
    }
    if (!document->masks.empty()) {
        m_maskMenu.AddItem(nullptr, 0, nullptr, nullptr);
        // Ids 9001..9098: the menu offers the first 98 saved masks.
        const int count = std::min<int>(int(document->masks.size()), kMaxMenuMasks);
        for (int n = 0; n < count; ++n) {
            m_maskMenu.AddItem(nullptr, kMaskSavedFirst + n, document->masks[size_t(n)]->name, nullptr);
            m_maskMenu.CheckItem(kMaskSavedFirst + n, marked == n);
        }
    }
}

void CFilterDialog::RemoveTempFile()
{
    if (!m_tempFile.empty() && platform::PathExists(m_tempFile))
        platform::DeleteFile(m_tempFile);
}

int CFilterDialog::Apply()
{
    SettleJobs();
    if (!m_target || !m_target->data)
        return 0;
    if (!m_applied) {
        // The opening picture, exactly: Cancel must give it back byte for byte.
        CDocFileStream file;
        if (m_tempFile.empty() || !file.Open(m_tempFile, CDocFileStream::Mode::Create)) {
            DialogMessage(u"errorApply", kMbError, kMbOk);
            return 0;
        }
        file.pixelMode = PixelStreamMode::Exact;
        const bool written = WriteLayerPixels(m_backup, file) != 0;
        if (!file.Close() || !written) {
            // Without the file a later Cancel could not bring the opening picture back.
            RemoveTempFile();
            DialogMessage(u"errorApply", kMbError, kMbOk);
            return 0;
        }
        m_applied = 1;
    }
    int copied = 0;
    {
        platform::ScopedLock view(m_beforeView.Lock());
        copied = CopyImage16Parallel(m_backup, *m_target);
    }
    if (!copied) {
        DialogMessage(u"errorApply", kMbError, kMbOk);
        return 0;
    }
    m_targetChanged = false;
    m_beforeView.SetAllDirty(1);
    OnApplied();
    if (auto* apply = dynamic_cast<CMessageSprite*>(GetControl(kApplyId)))
        apply->SetEnabled(0);
    return 1;
}

void CFilterDialog::OnOK()
{
    SettleJobs();
    MarkEditorModified();
    // Validate before anything is thrown away: a refused value keeps the dialog, and its Cancel,
    // as they were.
    if (!UpdateData(1))
        return;
    // Applied stays set: the history step that follows is then recorded without its record.
    RemoveTempFile();
    StopListening();
    SetResult(1);
}

void CFilterDialog::OnCancel()
{
    StopJob();
    m_restartPending = 0;
    if (m_target) {
        bool restored = false;
        if (m_applied) {
            CDocFileStream file;
            if (file.Open(m_tempFile, CDocFileStream::Mode::Read)) {
                file.pixelMode = PixelStreamMode::Exact;
                // Read beside the layer: a short file must not leave it half written.
                if (ReadLayerPixels(file, m_work) && m_work.data)
                    ChangeTarget([&] { restored = CopyImage16Parallel(*m_target, m_work) != 0; });
            }
        }
        if (!restored && (m_applied || m_targetChanged))
            ChangeTarget([&] { CopyImage16Parallel(*m_target, m_backup); });
        m_targetChanged = false;
    }
    RemoveTempFile();
    m_applied = 0;
    MarkEditorModified();
    CAlgorithmDialog::OnCancel();
}

bool CFilterDialog::PureResult() const
{
    return !m_mask && !m_applied && m_blendMode == 0 && m_opacity == 100;
}

void CFilterDialog::RecordHistoryStep(const char16_t* historyKey, uint16_t stepId, const void* record, size_t size)
{
    if (!m_bindToEditor || !m_history)
        return;
    const bool keep = PureResult() && record && size > 0 && size <= 0xFFFF;
    m_history->AddStep(kHistoryLayer, -1, UiText(historyKey), keep, keep ? stepId : 0, keep ? record : nullptr,
                       keep ? int32_t(uint16_t(size)) : 0);
}

void CFilterDialog::RecordHistoryStep(const char16_t* historyKey, uint16_t stepId, const SchemeStepRecord& record)
{
    std::vector<uint8_t> bytes;
    if (!WriteSchemeStep(stepId, record, bytes))
        bytes.clear();
    RecordHistoryStep(historyKey, stepId, bytes.data(), bytes.size());
}

int CFilterDialog::OnDraw(uint32_t time)
{
    const bool full = AllDirty() != 0;
    const int drawn = CAlgorithmDialog::OnDraw(time);
    if (full && drawn)
        DrawSeparators();
    return drawn;
}

void CFilterDialog::DrawSeparators()
{
    ImageBuffer8& image = m_image;
    if (!image.data)
        return;
    // Grey 128 where the lines meet, fading to black towards their far ends.
    auto line = [&](int x0, int y0, int x1, int y1, bool fade) {
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i <= steps; ++i) {
            const int x = x0 + (steps ? (x1 - x0) * i / steps : 0);
            const int y = y0 + (steps ? (y1 - y0) * i / steps : 0);
            if (x < 0 || y < 0 || x >= image.width || y >= image.height)
                continue;
            const uint8_t grey = uint8_t(fade && steps ? 128 - 128 * i / steps : 128);
            uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
            p[0] = p[1] = p[2] = grey;
            p[3] = 255;
        }
    };
    const int c = m_columnWidth, h = image.height;
    line(c, 220, c, 40, true);
    line(c, 220, c + 29, 249, false);
    line(c + 30, 250, c + 30, h - 10, true);
    InvalidateRect(0, 0, 0, 0, 1);
}

void CFilterDialog::SetPickMode(bool armed)
{
    if (armed == (m_pickMode != 0))
        return;
    if (armed) {
        m_pickMode = 1;
        m_savedViewMode = ViewMode();
        SetViewMode(kViewBefore);
    } else {
        m_pickMode = 0;
        SetViewMode(m_savedViewMode);
        if (m_window)
            m_window->SetCursor(platform::StandardCursor::Arrow);
    }
}

int CFilterDialog::OnSetCursor(int x, int y)
{
    if (m_pickMode && m_window && m_window->PlatformWindow()) {
        const SRect v = ViewRect();
        if (x >= v.left && x < v.right && y >= v.top && y < v.bottom) {
            static platform::CustomCursor picker;
            static const bool loaded = LoadProgramCursor(kPickerCursor, 1, 30, picker) != 0;
            if (loaded) {
                m_window->PlatformWindow()->SetCursor(picker);
                return 1;
            }
        }
    }
    return CAlgorithmDialog::OnSetCursor(x, y);
}
