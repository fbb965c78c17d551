// The algorithm worker: one job at a time on theAlgorithmThread, helper threads for bands,
// cancelling, and the seam through which progress and completion reach the listener sprite.
#pragma once

#include "algorithms/Algorithm.h"
#include "platform/Thread.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class CMessageSprite; // the sprite toolkit's; only passed through here

// Thread message that starts the stored job, and sprite message to the listener:
// p1 0..100 progress (p2 0), or p1 = job id + 1000 on completion with p2 = the run's result.
constexpr uint32_t MSG_ALGORITHM = 11101;
constexpr int kAlgorithmJobDone = 1000;
// Completion result of a job that stopped early because of a cancel request (it asked
// IsAlgorithmCancelled and was told yes): callers tell it from success (nonzero) and from
// failure (0) and restore their own copy. A cancel that comes after the run ended changes nothing.
constexpr int kAlgorithmCancelled = -1;

// What the framework needs of the render window and the sprite toolkit. The toolkit installs
// its implementation; tests install a recording one. The framework calls a host only while it
// is installed (each call holds the lock that SetAlgorithmHost takes), so a host that removes
// itself before it goes is never called afterwards.
class CAlgorithmHost {
public:
    virtual ~CAlgorithmHost() = default;
    // PostSpriteMessage(MSG_ALGORITHM, p1, p2, no sender) on the listener; any thread.
    virtual void PostAlgorithmMessage(CMessageSprite* listener, int p1, int p2) = 0;
    // Helper threads run while the render window lives.
    virtual bool IsRenderWindowLive() = 0;
    // The render window waits (at most 5000 ms) for these events when it is destroyed. A helper
    // unregisters its event first and sets it last: once the event is set, the helper touches
    // nothing of the host again.
    virtual void RegisterWorkerExitEvent(platform::Event* event) = 0;
    virtual void UnregisterWorkerExitEvent(platform::Event* event) = 0;
};

// Installs the host (null removes it); waits for a call into the previous host to return.
void SetAlgorithmHost(CAlgorithmHost* host);
CAlgorithmHost* GetAlgorithmHost();

// Who receives MSG_ALGORITHM; the code that sets it waits for the worker to be idle before it
// changes it or destroys the listener.
extern std::atomic<CMessageSprite*> g_pAlgorithmListener;

// Posts MSG_ALGORITHM to the listener when both it and a host are set.
void PostAlgorithmMessage(int p1, int p2);

class CAlgorithmThread;

class CAlgorithmHelpThread : public platform::Thread {
public:
    explicit CAlgorithmHelpThread(CAlgorithmThread& owner) : m_owner(owner) {}
    ~CAlgorithmHelpThread() override;

    // Hands one algorithm's bands to this helper; false when it still holds one.
    bool Assign(CAlgorithm* algorithm, bool forJob);
    // Makes an idle helper look again whether the render window still lives.
    void Wake();
    void RequestStop();
    bool IsBusy() const { return m_bBusy.load(std::memory_order_acquire) != 0; }

protected:
    int Run() override;

private:
    CAlgorithmThread& m_owner;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    CAlgorithm* m_job = nullptr; // single-slot queue, under m_mutex
    bool m_jobForWorker = false;
    bool m_stop = false;
    bool m_wake = false;
    std::atomic<int> m_bBusy{0};
    platform::Event m_exitEvent{platform::Event::Reset::Auto, false};
};

class CAlgorithmThread : public platform::Thread {
public:
    CAlgorithmThread() = default;
    ~CAlgorithmThread() override;

    // Starts the worker and its helpers: helperCount < 0 takes the processor count
    // (0 counts as 1, more than 8 as 8); 0..8 is taken as given (tests, benchmarks).
    bool StartWorker(int helperCount = -1);
    // Stops and joins the helpers and the worker; a running job finishes first, or with cancel,
    // is asked to stop (IsAlgorithmCancelled) first. With a time limit, false when the threads
    // did not all end within it: those still running stay in this object (a later stop joins
    // them) and take no further work.
    bool StopWorker(uint32_t timeoutMs = platform::kInfinite, bool cancel = false);
    int HelperCount() const;
    // Helpers a band run on the calling thread may use: none on a helper thread itself.
    int AvailableHelpers() const;

    int StartJob(CAlgorithm* algorithm, ImageBuffer16* source, ImageBuffer16* destination,
                 const void* params, int jobId);
    void Cancel() { m_bCancel.store(1, std::memory_order_release); }
    bool IsBusy() const { return m_bBusy.load(std::memory_order_acquire) != 0; }
    bool IsCancelRequested() const { return m_bCancel.load(std::memory_order_acquire) != 0; }
    // Waits until no job is stored or running; false on timeout.
    bool WaitIdle(uint32_t timeoutMs = platform::kInfinite);

    // Band runs: one at a time across all threads, handed to every helper.
    int RunBandsOnHelpers(CAlgorithm* algorithm, bool forJob);
    void HelperReleased();
    void WakeHelpers();

    std::atomic<int> m_bBusy{0};
    std::atomic<int> m_bCancel{0};
    std::atomic<int> m_bCancelSeen{0}; // the running job was told to stop

protected:
    void OnMessage(const platform::ThreadMessage& msg) override;

private:
    void OnStartAlgorithm(uintptr_t wParam, intptr_t lParam);

    mutable std::mutex m_jobMutex;
    std::condition_variable m_idle;
    CAlgorithm* m_pCurrent = nullptr;
    int m_jobId = 0;

    mutable std::mutex m_helperListMutex;
    std::vector<std::unique_ptr<CAlgorithmHelpThread>> m_helpers;
    int m_processorCount = 0;

    std::mutex m_bandRunMutex; // serialises band runs
    // Whether a band run holds on to the helpers (StopWorker waits for it to end, with a limit).
    std::mutex m_bandStateMutex;
    std::condition_variable m_bandRunEnded;
    bool m_bandRunActive = false; // under m_bandStateMutex
    std::mutex m_releaseMutex;
    std::condition_variable m_released;
    int m_pendingHelpers = 0;
};

extern CAlgorithmThread theAlgorithmThread;

// Waits while a job is stored or running, then hands the job to the worker. Nonzero when the
// start message could be posted (the worker is running).
int StartAlgorithm(CAlgorithm* algorithm, ImageBuffer16* source, ImageBuffer16* destination,
                   const void* params, int jobId);

// Nonzero while the worker's job runs with a cancel request, and only on the threads that work
// for that job (the worker and the helpers computing its bands).
int IsAlgorithmCancelled();

// True on the worker thread and on helpers computing bands of the worker's job.
bool OnAlgorithmJobThread();

// Idle helpers sleep until they get work; the host calls this when the render window is being
// destroyed, so that they see it is gone and end (and signal their exit events) at once.
void WakeAlgorithmHelpers();
