// The base of every sprite dialog that runs an algorithm on theAlgorithmThread while it is open:
// it binds the current editor page's document and history, listens to the worker's progress and
// completion messages, draws a progress bar, restarts a job cancelled for a newer request, and
// makes OK and Cancel wait for the worker.
//
// One job of a dialog at a time. A run request, event by event:
//   no job of ours in flight, worker idle     -> listener = dialog, StartJob
//   no job of ours, worker busy (another's)   -> wait for the worker, then as above
//   our job in flight (worker busy or its completion still queued)
//                                             -> restart pending; cancel flag if still running
//   our completion arrives                    -> OnJobDone: restart pending -> StartJob once
// OK and Cancel never leave a job of ours behind: OK waits, handles the finished job's
// completion at once (the message that follows is dropped) and runs a pending restart to its
// end; Cancel stops the job and waits. The worker gets a copy of the parameter record per job
// (StartDialogJob), so controls may change the dialog's record while a job runs.
#pragma once

#include "algorithms/Algorithm.h"
#include "ui/DialogSprite.h"

#include <atomic>
#include <vector>

class CZDDoc;
class HistoryStore;

// Job ids a dialog passes to StartAlgorithm; the completion comes back as 1000 + id.
enum DialogJobId : int {
    kJobPreview = 0,      // every filter dialog's preview, the progress box, content resize
    kJobVariant1 = 1,     // rotation preview, first compare variant
    kJobVariant2 = 2,
    kJobVariant3 = 3,
    kJobFinalVariant = 5, // the compare dialog's chosen variant on the layer
    kJobFinal = 100,      // final runs of rotation and image size; content resize preparation
};

// Runs a dialog's algorithm for the worker and keeps how it ended, so that a dialog that waited
// for the worker can finish the job before its completion message arrives.
class CDialogJobRun : public CAlgorithm {
public:
    void Prepare(CAlgorithm* inner);
    int Run() override;
    int Result() const { return m_result.load(std::memory_order_acquire); }
    bool Cancelled() const { return m_cancelled.load(std::memory_order_acquire); }

private:
    CAlgorithm* m_inner = nullptr;
    std::atomic<int> m_result{0};
    std::atomic<bool> m_cancelled{false};
};

class CAlgorithmDialog : public CDialogSprite {
public:
    CAlgorithmDialog();
    ~CAlgorithmDialog() override;

    int OnDraw(uint32_t time) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override;

    // Reads the controls into the parameter record and starts the job (StartDialogJob).
    virtual void StartJob() {}
    // Every completion of a job of ours: result 0 failed, -1 cancelled, else success.
    virtual void OnJobDone(int jobId, int result);
    virtual void DrawProgress();
    // The current editor page's document, null when the current tab is no editor page.
    virtual CZDDoc* GetDocument();

    // Covers the main tab frame less margin left and right and margin / 2 above and below.
    void PlaceOverPage(int margin);
    // The run request (see the table at the top); reads the controls first.
    void RequestRun();
    // Waits for the worker; a finished or cancelled job of ours is completed here (OnJobDone),
    // and a restart that completion starts is waited for as well.
    void SettleJobs();

    bool JobInFlight() const { return m_jobInFlight != 0; }
    int Progress() const { return m_progress.load(); }
    int RestartPending() const { return m_restartPending; }
    CZDDoc* Document() const { return m_document; }
    HistoryStore* History() const { return m_history; }
    SRect ProgressRect() const { return m_progressRect; }

    int32_t m_bindToEditor = 1;

protected:
    // Starts the algorithm on the worker: source, destination, a copy of `paramBytes` bytes of
    // the record (0: the pointer is passed as it is), job id. The dialog becomes the listener.
    // A worker that cannot take the job gets a failed completion posted instead.
    void StartDialogJob(CAlgorithm* algorithm, ImageBuffer16* source, ImageBuffer16* destination,
                        const void* params, size_t paramBytes, int jobId);
    // A completion of a job of ours, from its message or from SettleJobs. The base calls
    // OnJobDone; subclasses add their own step first.
    virtual void OnJobFinished(int jobId, int result);
    void SetProgressRect(const SRect& r) { m_progressRect = r; }
    void StopListening();

    int32_t m_restartPending = 0;
    std::atomic<int> m_progress{0};
    std::atomic<int> m_progressChanged{0};
    CZDDoc* m_document = nullptr;
    HistoryStore* m_history = nullptr;
    SRect m_progressRect{};

private:
    void SetProgressValue(int value);

    CDialogJobRun m_job;
    std::vector<uint8_t> m_jobParams;
    int32_t m_jobInFlight = 0;
    int32_t m_jobId = 0;
    int32_t m_staleCompletions = 0; // completions handled before their message came
};

// The progress bar of DrawProgress into an 8-bit picture: grey levels in B, G, R, alpha kept.
// Nothing when the rectangle is empty or not inside the picture.
void DrawProgressBar(ImageBuffer8& image, const SRect& rect, int percent);
