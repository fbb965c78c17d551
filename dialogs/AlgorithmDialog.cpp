// The algorithm dialog base: job hand-over, run requests, completions and the progress bar.
#include "dialogs/AlgorithmDialog.h"

#include "algorithms/AlgorithmThread.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/EditorLink.h"
#include "ui/MessageBox.h"

#include <algorithm>
#include <cstring>

void CDialogJobRun::Prepare(CAlgorithm* inner)
{
    m_inner = inner;
    m_result.store(0, std::memory_order_relaxed);
    m_cancelled.store(false, std::memory_order_relaxed);
}

int CDialogJobRun::Run()
{
    if (!m_inner)
        return 0;
    m_inner->SetSource(Source());
    m_inner->SetDestination(Destination());
    m_inner->SetParams(Params());
    m_inner->ResetReported(); // a reused algorithm reports its percentages again
    const int result = m_inner->Run();
    // Read on the worker before it clears the mark: the run stopped early for a cancel request.
    m_cancelled.store(theAlgorithmThread.m_bCancelSeen.load(std::memory_order_acquire) != 0,
                      std::memory_order_release);
    m_result.store(result, std::memory_order_release);
    return result;
}

void DrawProgressBar(ImageBuffer8& image, const SRect& rect, int percent)
{
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || !image.data || rect.left < 0 || rect.top < 0 || rect.right > image.width ||
        rect.bottom > image.height)
        return;
    percent = std::clamp(percent, 0, 100);
    auto paint = [&](int x, int y, int grey) {
        uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
        p[0] = p[1] = p[2] = uint8_t(grey);
    };
    if (width > height) {
        const int filled = percent * width / 100;
        for (int x = 0; x < width; ++x) {
            const int g = 64 + 128 * x / width;
            const int grey = x > filled ? 0 : (x % 5 == 0 ? g / 2 : g);
            for (int y = rect.top; y < rect.bottom; ++y)
                paint(rect.left + x, y, grey);
        }
    } else {
        const int filled = percent * height / 100;
        for (int row = rect.top; row < rect.bottom; ++row) {
            const int t = rect.bottom - row; // height at the top row down to 1 at the bottom
            const int g = 64 + 128 * t / height;
            const int grey = t > filled ? 0 : (t % 5 == 0 ? g / 2 : g);
            for (int x = rect.left; x < rect.right; ++x)
                paint(x, row, grey);
        }
    }
}

CAlgorithmDialog::CAlgorithmDialog() = default;

CAlgorithmDialog::~CAlgorithmDialog()
{
    // A dialog that ends without OK or Cancel (its initialisation failed after a start) still
    // leaves no job behind that reads its pictures.
    if (m_jobInFlight) {
        theAlgorithmThread.Cancel();
        theAlgorithmThread.WaitIdle();
    }
    StopListening();
}

void CAlgorithmDialog::StopListening()
{
    CMessageSprite* self = this;
    g_pAlgorithmListener.compare_exchange_strong(self, nullptr);
}

CZDDoc* CAlgorithmDialog::GetDocument()
{
    return CurrentEditorDocument();
}

int CAlgorithmDialog::OnInitDialog()
{
    m_document = GetDocument();
    m_history = m_bindToEditor ? CurrentEditorHistory() : nullptr;
    return 1;
}

void CAlgorithmDialog::PlaceOverPage(int margin)
{
    const platform::Rect area = CurrentPageArea();
    if (area.IsEmpty())
        return;
    const int left = area.left + margin, top = area.top + margin / 2;
    const int width = std::max(1, area.Width() - 2 * margin), height = std::max(1, area.Height() - margin);
    SetPos(left, top, width, height);
    m_close.SetPos(width - 27, 7, 20, 20);
}

void CAlgorithmDialog::SetProgressValue(int value)
{
    value = std::clamp(value, 0, 100);
    if (m_progress.exchange(value) != value) {
        m_progressChanged.store(1);
        InvalidateRect(m_progressRect.left, m_progressRect.top, m_progressRect.right, m_progressRect.bottom, 1);
    }
}

void CAlgorithmDialog::StartDialogJob(CAlgorithm* algorithm, ImageBuffer16* source, ImageBuffer16* destination,
                                      const void* params, size_t paramBytes, int jobId)
{
    // Only when nothing of ours runs: the worker no longer reads the previous copy.
    const void* handed = params;
    if (params && paramBytes > 0) {
        m_jobParams.assign(static_cast<const uint8_t*>(params), static_cast<const uint8_t*>(params) + paramBytes);
        handed = m_jobParams.data();
    }
    m_job.Prepare(algorithm);
    m_jobId = jobId;
    m_jobInFlight = 1;
    g_pAlgorithmListener.store(this);
    if (!StartAlgorithm(&m_job, source, destination, handed, jobId)) {
        // No worker: the job fails the way a run that returned 0 would, through the queue, so
        // the dialog sees it where it sees every completion.
        if (!PostSpriteMessage(MSG_ALGORITHM, kAlgorithmJobDone + jobId, 0, nullptr))
            m_jobInFlight = 0;
    }
}

void CAlgorithmDialog::RequestRun()
{
    UpdateData(1);
    if (m_jobInFlight) {
        m_restartPending = 1;
        if (theAlgorithmThread.IsBusy())
            theAlgorithmThread.Cancel();
        return;
    }
    // The worker holds another part's job: its completion goes elsewhere, so nothing would
    // restart ours. Wait for it and start.
    if (theAlgorithmThread.IsBusy())
        theAlgorithmThread.WaitIdle();
    g_pAlgorithmListener.store(this);
    StartJob();
}

void CAlgorithmDialog::SettleJobs()
{
    theAlgorithmThread.WaitIdle();
    while (m_jobInFlight) {
        // The completion message is already queued; it is dropped when it comes.
        m_jobInFlight = 0;
        ++m_staleCompletions;
        SetProgressValue(0);
        const int result = m_job.Cancelled() ? kAlgorithmCancelled : m_job.Result();
        OnJobFinished(m_jobId, result);
        theAlgorithmThread.WaitIdle();
    }
}

void CAlgorithmDialog::OnJobFinished(int jobId, int result)
{
    OnJobDone(jobId, result);
}

void CAlgorithmDialog::OnJobDone(int, int result)
{
    // The restart first: a message box below runs a loop of its own, in which a new request
    // must find the restarted job in flight.
    if (m_restartPending && !m_jobInFlight) {
        m_restartPending = 0;
        g_pAlgorithmListener.store(this);
        StartJob();
    }
    if (result == 0)
        DialogMessage(u"algorithmerror", kMbInformation, kMbOk);
    SetAllDirty(1);
}

int CAlgorithmDialog::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == int32_t(MSG_ALGORITHM)) {
        const intptr_t p1 = message->param1;
        if (p1 >= kAlgorithmJobDone) {
            if (m_staleCompletions > 0) {
                --m_staleCompletions;
            } else if (m_jobInFlight) {
                m_jobInFlight = 0;
                SetProgressValue(0);
                OnJobFinished(int(p1 - kAlgorithmJobDone), int(message->param2));
            }
        } else if (m_jobInFlight) {
            SetProgressValue(int(std::clamp<intptr_t>(p1, 0, 100)));
        }
        return 1;
    }
    return CDialogSprite::OnSpriteMessage(message);
}

int CAlgorithmDialog::OnDraw(uint32_t time)
{
    const int drawn = CDialogSprite::OnDraw(time);
    // A full redraw paints over the bar, so the bar follows it.
    if (drawn || m_progressChanged.load()) {
        DrawProgress();
        return 1;
    }
    return 0;
}

void CAlgorithmDialog::DrawProgress()
{
    m_progressChanged.store(0);
    DrawProgressBar(m_image, m_progressRect, m_progress.load());
    if (m_progressRect.right > m_progressRect.left)
        InvalidateRect(m_progressRect.left, m_progressRect.top, m_progressRect.right, m_progressRect.bottom, 1);
}

void CAlgorithmDialog::OnCancel()
{
    if (m_jobInFlight) {
        theAlgorithmThread.Cancel();
        theAlgorithmThread.WaitIdle();
        m_jobInFlight = 0;
        ++m_staleCompletions;
    }
    m_restartPending = 0;
    SetResult(2);
    StopListening();
}

void CAlgorithmDialog::OnOK()
{
    SettleJobs();
    StopListening();
    if (UpdateData(1))
        SetResult(1);
}
