// The progress box (see the header).
#include "dialogs/ProgressDialog.h"

#include "algorithms/AlgorithmThread.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/FilterPixels.h"
#include "imaging/Document.h"
#include "imaging/TextRender.h"

CProgDlg::CProgDlg(CAlgorithm* algorithm, const void* parameters, const char16_t* caption, ImageBuffer16* picture)
    : m_algorithm(algorithm), m_parameters(parameters), m_captionText(caption), m_requested(picture)
{
}

CProgDlg::~CProgDlg()
{
    FreeImageBuffer(m_backup);
}

int CProgDlg::OnInitDialog()
{
    if (!CAlgorithmDialog::OnInitDialog())
        return 0;
    const SRect r = Rect();
    const int left = (r.left + r.right) / 2 - 150, top = (r.top + r.bottom) / 2 - 40;
    SetPos(left, top, 300, 70);
    m_close.SetPos(273, 7, 20, 20);
    // The template serves other dialogs too: its buttons are theirs.
    for (int id : {1, 2})
        if (CSprite* button = GetControl(id))
            button->SetVisible(0);
    SetProgressRect({10, 40, 290, 60});
    if (m_captionText) {
        ImageBuffer8 image;
        if (!RenderTextLocked(m_captionText, image, nullptr, 0, 200, nullptr))
            return 0;
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_captionImage);
        m_captionImage = image;
    }
    m_target = m_requested ? m_requested : (m_document ? m_document->GetCurrentImage() : nullptr);
    if (m_target && !CopyImage16(m_backup, *m_target))
        return 0;
    RequestRun();
    return 1;
}

void CProgDlg::StartJob()
{
    if (!m_algorithm)
        return;
    if (m_target)
        StartDialogJob(m_algorithm, &m_backup, m_target, m_parameters, 0, kJobPreview);
    else
        StartDialogJob(m_algorithm, nullptr, nullptr, m_parameters, 0, kJobPreview);
}

void CProgDlg::RestoreTarget()
{
    if (m_target && m_backup.data)
        CopyImage16Parallel(*m_target, m_backup);
}

void CProgDlg::OnJobDone(int, int result)
{
    // A cancelled run (-1) stopped half way: it counts as a failure.
    if (result > 0) {
        if (m_document) {
            if (Plane8* selection = m_document->GetSelection())
                RestrictToSelection(*selection);
            m_document->modified = 1;
        }
        CAlgorithmDialog::OnOK();
        return;
    }
    RestoreTarget();
    CAlgorithmDialog::OnCancel();
}

void CProgDlg::OnCancel()
{
    CAlgorithmDialog::OnCancel();
    RestoreTarget();
}

void CProgDlg::RestrictToSelection(const Plane8& mask)
{
    if (!m_target || !m_document)
        return;
    MaskPlacement place{&mask, m_document->width, m_document->height, 0, 0};
    const int index = m_document->FindLayerByImage(m_target);
    if (const CZDLayer* layer = index >= 0 ? m_document->GetLayer(index) : nullptr) {
        place.offsetX = layer->x;
        place.offsetY = layer->y;
    }
    RestrictToMask(*m_target, m_backup, place);
}

int RunAlgorithmWithProgress(CAlgorithm* algorithm, const void* parameters, const char16_t* caption,
                             ImageBuffer16* picture)
{
    CProgDlg dialog(algorithm, parameters, caption, picture);
    if (!CreateDialogFromTemplate(dialog, CProgDlg::kTemplateId))
        return 0;
    return dialog.DoModal() == 1 ? 1 : 0;
}
