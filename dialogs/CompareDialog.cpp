// The compare dialog and its colour-enhance form (see the header).
#include "dialogs/CompareDialog.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/ImageSize.h"
#include "dialogs/DialogSupport.h"
#include "imaging/Document.h"
#include "imaging/HistoryStore.h"
#include "imaging/TextRender.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int kCheckSize = 64;

} // namespace

CCompareDlg::CCompareDlg() = default;

CCompareDlg::~CCompareDlg()
{
    // No job may still read or write our pictures.
    if (JobInFlight()) {
        theAlgorithmThread.Cancel();
        theAlgorithmThread.WaitIdle();
    }
    CCompareDlg::ReleaseResources(1);
    for (ImageBuffer16& c : m_copies)
        FreeImageBuffer(c);
    FreeImageBuffer(m_result);
    FreeImageBuffer(m_variantOut);
    FreeImageBuffer(m_checkPicture);
}

void CCompareDlg::ReleaseResources(int flag)
{
    if (m_checkBuilt) {
        RemoveChild(&m_checkMark);
        m_checkMark.ReleaseResources(flag);
        m_checkBuilt = false;
    }
    if (m_viewsBuilt) {
        for (CSPicView& v : m_views) {
            RemoveChild(&v);
            v.ReleaseResources(flag);
        }
        m_viewsBuilt = false;
    }
    CAlgorithmDialog::ReleaseResources(flag);
}

const char16_t* CCompareDlg::ViewKey(int view) const
{
    static const char16_t* const keys[kViews] = {u"Original", u"ColorContrasty", u"SaturateImprove", u"PaintRGB"};
    return view >= 0 && view < kViews ? keys[view] : u"";
}

ImageBuffer16* CCompareDlg::LayerPicture()
{
    return m_document ? m_document->GetCurrentImage() : nullptr;
}

void CCompareDlg::ReducedSize(int width, int height, int& reducedWidth, int& reducedHeight)
{
    reducedWidth = width;
    reducedHeight = height;
    if (width <= kReducedSide && height <= kReducedSide)
        return;
    const int64_t longer = std::max(width, height);
    if (width >= height) {
        reducedWidth = kReducedSide;
        reducedHeight = int(std::max<int64_t>(1, int64_t(height) * kReducedSide / longer));
    } else {
        reducedHeight = kReducedSide;
        reducedWidth = int(std::max<int64_t>(1, int64_t(width) * kReducedSide / longer));
    }
}

int CCompareDlg::MakeCopies()
{
    const ImageBuffer16* source = LayerPicture();
    if (!source || !source->data)
        return 0;
    int rw = 0, rh = 0;
    ReducedSize(source->width, source->height, rw, rh);
    if (rw != source->width || rh != source->height) {
        CImageSize resizer;
        if (!resizer.ResizeCubic(*source, m_copies[0], rw, rh, 0.33f, 0.73f))
            return 0;
    } else if (!CopyImage16(m_copies[0], *source)) {
        return 0;
    }
    for (int i = 1; i < kViews; ++i)
        if (!CopyImage16(m_copies[i], m_copies[0]))
            return 0;
    for (int i = 0; i < kViews; ++i)
        m_views[i].SetImage16(&m_copies[i], UiText(ViewKey(i)));
    return 1;
}

int CCompareDlg::OnInitDialog()
{
    if (!CAlgorithmDialog::OnInitDialog())
        return 0;
    PlaceOverPage(50);
    const SRect r = Rect();
    const int w = r.Width(), h = r.Height();
    {
        ImageBuffer8 caption{};
        if (!RenderTextLocked(UiText(u"dlgVividColor"), caption, nullptr, 0, std::max(1, w - 40), nullptr))
            return 0;
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_captionImage);
        m_captionImage = caption;
    }
    if (CSprite* ok = GetControl(1))
        ok->SetPos(w / 2 - 110, h - 35, 100, 25);
    if (CSprite* cancel = GetControl(2))
        cancel->SetPos(w / 2 + 10, h - 35, 100, 25);
    SetProgressRect({10, h - 45, w - 10, h - 40});
    const int cw = std::max(1, (w - 20) / 2 - 40), ch = std::max(1, (h - 80) / 2 - 30);
    const int mx = w / 2, my = (35 + h - 45) / 2;
    const SPoint corners[kViews] = {{30, 50}, {mx + 20, 50}, {30, my + 15}, {mx + 20, my + 15}};
    for (int i = 0; i < kViews; ++i) {
        CSPicView& v = m_views[i];
        if (!v.Create(this, nullptr, kFirstViewId + i, 2, corners[i].x, corners[i].y, corners[i].x + cw,
                      corners[i].y + ch))
            return 0;
        AddChild(&v);
        m_viewsBuilt = true;
        v.m_clickReporting = 1;
        v.m_customCursor = platform::StandardCursor::Hand;
        v.m_hasCustomCursor = 1;
    }
    CRenderWindow* window = Window();
    if (window)
        window->BeginBusy(SRect{});
    const int copied = MakeCopies();
    if (window)
        window->EndBusy();
    if (!copied)
        return 0;
    if (!LoadUiImage(UiImageFolder::Skin, u"bigcheck.png", m_checkPicture) || !m_checkPicture.data)
        return 0;
    if (!m_checkMark.Create(this, nullptr, kCheckMarkId, 4, 0, 0, kCheckSize, kCheckSize))
        return 0;
    m_checkMark.SetContent(&m_checkPicture, nullptr);
    AddChild(&m_checkMark);
    m_checkBuilt = true;
    PlaceCheckMark();
    RequestRun();
    return 1;
}

void CCompareDlg::PlaceCheckMark()
{
    const SRect v = m_views[m_chosen].Rect();
    m_checkMark.SetPos(v.left + 30, v.top + 60, kCheckSize, kCheckSize);
    SetAllDirty(1);
}

void CCompareDlg::Choose(int view)
{
    if (view < 0 || view >= kViews)
        return;
    m_chosen = view;
    PlaceCheckMark();
}

void CCompareDlg::StartJob()
{
    RunVariant(1);
}

void CCompareDlg::StartVariantJob(CAlgorithm* algorithm, const void* record, size_t size, int job)
{
    StartDialogJob(algorithm, &m_copies[0], &m_variantOut, record, size, job);
}

void CCompareDlg::StartFinalJob(CAlgorithm* algorithm, const void* record, size_t size)
{
    ImageBuffer16* layer = LayerPicture();
    if (!layer)
        return;
    StartDialogJob(algorithm, layer, &m_result, record, size, kJobFinalVariant);
}

void CCompareDlg::OnJobDone(int jobId, int result)
{
    if (jobId == kJobFinalVariant) {
        ImageBuffer16* layer = LayerPicture();
        bool applied = false;
        if (result > 0 && layer && m_result.data && m_result.width == layer->width && m_result.height == layer->height) {
            const int index = m_document->FindLayerByImage(layer);
            CZDLayer* owner = index >= 0 ? m_document->GetLayer(index) : nullptr;
            // The result takes the layer's place; the old pixels go with the dialog.
            if (owner) {
                platform::ScopedLock pixels(owner->lock);
                std::swap(*layer, m_result);
            } else {
                std::swap(*layer, m_result);
            }
            applied = true;
        }
        if (applied) {
            CommitVariant();
            return;
        }
        // A failed or stopped final run leaves the layer as it was; the user may try again.
        m_finalRun = false;
        if (result >= 0)
            DialogMessage(u"algorithmerror", kMbInformation, kMbOk);
        if (auto* ok = dynamic_cast<CMessageSprite*>(GetControl(1))) {
            ok->SetEnabled(1);
            ok->SetOpacity(255);
            ok->SetAllDirty(1);
        }
        SetAllDirty(1);
        return;
    }
    CAlgorithmDialog::OnJobDone(jobId, result);
    if (jobId >= kJobVariant1 && jobId <= kJobVariant3) {
        if (result > 0 && m_variantOut.data) {
            platform::ScopedLock view(m_views[jobId].Lock());
            CopyImage16(m_copies[jobId], m_variantOut);
        }
        m_views[jobId].SetAllDirty(1);
        if (jobId < kJobVariant3 && !m_finalRun && !JobInFlight())
            RunVariant(jobId + 1);
    }
}

void CCompareDlg::OnOK()
{
    if (m_finalRun)
        return;
    m_finalRun = true;
    if (auto* ok = dynamic_cast<CMessageSprite*>(GetControl(1))) {
        ok->SetEnabled(0);
        ok->SetOpacity(100);
        ok->SetAllDirty(1);
    }
    // Ends the chain: the job in flight completes here, and no further variant starts.
    SettleJobs();
    m_restartPending = 0;
    RunVariant(kJobFinalVariant);
}

int CCompareDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_VIEW_CHANGED) {
        int index = -1;
        for (int i = 0; i < kViews; ++i)
            if (message->sender == &m_views[i])
                index = i;
        if (index >= 0) {
            if (message->param1 != CSPicView::kViewMoved) {
                Choose(index);
            } else if (m_views[index].Zoom() > 0) {
                for (int i = 0; i < kViews; ++i)
                    if (i != index) {
                        m_views[i].SyncWith(&m_views[index]);
                        m_views[i].SetAllDirty(1);
                    }
            }
            return 1;
        }
    }
    return CAlgorithmDialog::OnSpriteMessage(message);
}

bool CColorEnhanceDlg::Variant(int view, CAlgorithm*& algorithm, const void*& record, size_t& size)
{
    switch (view) {
    case 1:
        m_filmParams = FilmAdjustParams{};
        m_filmParams.colourBoost = 20;
        algorithm = &m_film, record = &m_filmParams, size = sizeof m_filmParams;
        return true;
    case 2:
        m_colourParams = ColorAdjustParams{};
        m_colourParams.mode = 0;
        m_colourParams.saturation = 25;
        algorithm = &m_colour, record = &m_colourParams, size = sizeof m_colourParams;
        return true;
    case 3:
        m_contrastParams = ColorContrastParams{};
        m_contrastParams.amount = 150;
        algorithm = &m_contrast, record = &m_contrastParams, size = sizeof m_contrastParams;
        return true;
    default:
        return false;
    }
}

void CColorEnhanceDlg::RunVariant(int step)
{
    CAlgorithm* algorithm = nullptr;
    const void* record = nullptr;
    size_t size = 0;
    if (step == kJobFinalVariant) {
        if (!Variant(m_chosen, algorithm, record, size)) {
            CAlgorithmDialog::OnCancel();
            return;
        }
        StartFinalJob(algorithm, record, size);
        return;
    }
    if (Variant(step, algorithm, record, size))
        StartVariantJob(algorithm, record, size, step);
}

void CColorEnhanceDlg::CommitVariant()
{
    theAlgorithmThread.WaitIdle();
    if (m_document)
        m_document->modified = 1;
    if (m_bindToEditor && m_history)
        m_history->AddStep(kHistoryDocument, -1, UiText(ViewKey(m_chosen)), false, 0, nullptr, 0);
    theAlgorithmThread.WaitIdle();
    StopListening();
    if (UpdateData(1))
        SetResult(1);
}
