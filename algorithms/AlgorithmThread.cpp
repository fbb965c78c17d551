// The worker thread, its helpers and the job hand-over. Waits use condition variables rather
// than polling: a helper releases an algorithm before the band run that handed it over returns,
// so no helper can touch an algorithm that its owner has already destroyed.
#include "algorithms/AlgorithmThread.h"

#include <algorithm>
#include <chrono>

namespace {

// Every call into the host, and its replacement, happen under this lock, so a host that takes
// itself out is never called afterwards. Never destroyed: the static worker's helpers may still
// ask for the host while static destruction runs.
std::mutex& HostMutex()
{
    static std::mutex& m = *new std::mutex;
    return m;
}
std::atomic<CAlgorithmHost*> g_host{nullptr};

// Runs fn(host) under the host lock when a host is installed; false when there is none.
template <typename F>
bool WithHost(F fn)
{
    std::lock_guard<std::mutex> lock(HostMutex());
    CAlgorithmHost* host = g_host.load(std::memory_order_acquire);
    if (!host)
        return false;
    fn(*host);
    return true;
}

thread_local bool t_isHelper = false;
thread_local bool t_onJob = false;
thread_local bool t_inBandRun = false; // this thread holds the band-run lock

class JobThreadMark {
public:
    explicit JobThreadMark(bool onJob) : m_prev(t_onJob) { t_onJob = onJob; }
    ~JobThreadMark() { t_onJob = m_prev; }

private:
    bool m_prev;
};

} // namespace

std::atomic<CMessageSprite*> g_pAlgorithmListener{nullptr};
CAlgorithmThread theAlgorithmThread;

void SetAlgorithmHost(CAlgorithmHost* host)
{
    std::lock_guard<std::mutex> lock(HostMutex());
    g_host.store(host, std::memory_order_release);
}

CAlgorithmHost* GetAlgorithmHost()
{
    return g_host.load(std::memory_order_acquire);
}

void PostAlgorithmMessage(int p1, int p2)
{
    CMessageSprite* listener = g_pAlgorithmListener.load(std::memory_order_acquire);
    if (listener)
        WithHost([&](CAlgorithmHost& host) { host.PostAlgorithmMessage(listener, p1, p2); });
}

int IsAlgorithmCancelled()
{
    if (!t_onJob || !theAlgorithmThread.IsBusy() || !theAlgorithmThread.IsCancelRequested())
        return 0;
    // The job stops early because of this answer: it ends as cancelled, not as finished.
    theAlgorithmThread.m_bCancelSeen.store(1, std::memory_order_release);
    return 1;
}

void WakeAlgorithmHelpers()
{
    theAlgorithmThread.WakeHelpers();
}

bool OnAlgorithmJobThread()
{
    return t_onJob;
}

// --- helper threads ---

CAlgorithmHelpThread::~CAlgorithmHelpThread()
{
    RequestStop();
    Join();
}

bool CAlgorithmHelpThread::Assign(CAlgorithm* algorithm, bool forJob)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_job || m_stop)
            return false;
        m_job = algorithm;
        m_jobForWorker = forJob;
        // Busy from the hand-over on, so nobody sees an idle helper that holds a job.
        m_bBusy.store(1, std::memory_order_release);
    }
    m_ready.notify_one();
    return true;
}

void CAlgorithmHelpThread::Wake()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake = true;
    }
    m_ready.notify_one();
}

void CAlgorithmHelpThread::RequestStop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_ready.notify_one();
}

int CAlgorithmHelpThread::Run()
{
    t_isHelper = true;
    CAlgorithmHost* registeredWith = nullptr;
    WithHost([&](CAlgorithmHost& host) {
        host.RegisterWorkerExitEvent(&m_exitEvent);
        registeredWith = &host;
    });
    for (;;) {
        CAlgorithm* job = nullptr;
        bool forJob = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            // Asleep until there is work, the program stops the helpers, or the render window
            // is going (WakeAlgorithmHelpers): no polling.
            m_ready.wait(lock, [this] { return m_job || m_stop || m_wake; });
            m_wake = false;
            job = m_job;
            forJob = m_jobForWorker;
            if (!job && m_stop)
                break;
        }
        if (!job) {
            // Woken without work: the render window may be going. Asked without our own lock
            // held, so no lock of the host's is ever taken under it.
            bool windowGone = false;
            WithHost([&](CAlgorithmHost& host) { windowGone = !host.IsRenderWindowLive(); });
            if (!windowGone)
                continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_job)
                continue; // handed over meanwhile: its run waits for it
            m_stop = true; // refuse further hand-overs: nobody would take them
            break;
        }
        {
            JobThreadMark mark(forJob);
            job->WorkThroughBands();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_job = nullptr;
            m_bBusy.store(0, std::memory_order_release);
        }
        m_owner.HelperReleased();
    }
    // Out of the host's list first, then the signal: whoever waits for the event may destroy
    // the host as soon as it is set.
    {
        std::lock_guard<std::mutex> lock(HostMutex());
        if (registeredWith && g_host.load(std::memory_order_acquire) == registeredWith)
            registeredWith->UnregisterWorkerExitEvent(&m_exitEvent);
    }
    m_exitEvent.Set();
    return 1;
}

// --- the worker ---

CAlgorithmThread::~CAlgorithmThread()
{
    StopWorker();
}

bool CAlgorithmThread::StartWorker(int helperCount)
{
    if (IsRunning())
        return false;
    int n = helperCount;
    if (n < 0) {
        n = platform::ProcessorCount();
        n = std::clamp(n, 1, 8);
    }
    n = std::min(n, 8);
    {
        std::lock_guard<std::mutex> lock(m_helperListMutex);
        m_processorCount = n;
        for (int i = 0; i < n; ++i) {
            auto helper = std::make_unique<CAlgorithmHelpThread>(*this);
            if (helper->Start()) // a helper that cannot be created is skipped
                m_helpers.push_back(std::move(helper));
        }
    }
    m_bCancel.store(0, std::memory_order_release);
    Queue().Reopen();
    return Start();
}

bool CAlgorithmThread::StopWorker(uint32_t timeoutMs, bool cancel)
{
    using Clock = std::chrono::steady_clock;
    const bool bounded = timeoutMs != platform::kInfinite;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeoutMs : 0);
    auto left = [&]() -> uint32_t {
        if (!bounded)
            return platform::kInfinite;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return ms > 0 ? uint32_t(ms) : 0;
    };
    if (cancel)
        Cancel();
    if (IsRunning()) {
        PostQuit();
        if (!Join(left()))
            return false;
    }
    std::vector<std::unique_ptr<CAlgorithmHelpThread>> helpers;
    {
        // A band run holds on to the helpers it hands bands to: wait for it to end, and no
        // later run sees these helpers.
        std::unique_lock<std::mutex> state(m_bandStateMutex);
        auto idle = [this] { return !m_bandRunActive; };
        if (!bounded)
            m_bandRunEnded.wait(state, idle);
        else if (!m_bandRunEnded.wait_until(state, deadline, idle))
            return false;
        std::lock_guard<std::mutex> lock(m_helperListMutex);
        helpers.swap(m_helpers);
    }
    for (auto& h : helpers)
        h->RequestStop();
    bool allEnded = true;
    for (auto& h : helpers) {
        if (h->Join(left()))
            h.reset();
        else
            allEnded = false;
    }
    if (!allEnded) {
        // Still running: kept for a later stop, refusing work meanwhile.
        std::lock_guard<std::mutex> lock(m_helperListMutex);
        for (auto& h : helpers)
            if (h)
                m_helpers.push_back(std::move(h));
        return false;
    }
    std::lock_guard<std::mutex> lock(m_jobMutex);
    m_pCurrent = nullptr;
    m_bBusy.store(0, std::memory_order_release);
    m_idle.notify_all();
    return true;
}

int CAlgorithmThread::HelperCount() const
{
    std::lock_guard<std::mutex> lock(m_helperListMutex);
    return static_cast<int>(m_helpers.size());
}

int CAlgorithmThread::AvailableHelpers() const
{
    return t_isHelper ? 0 : HelperCount();
}

void CAlgorithmThread::WakeHelpers()
{
    std::lock_guard<std::mutex> lock(m_helperListMutex);
    for (auto& h : m_helpers)
        h->Wake();
}

int CAlgorithmThread::RunBandsOnHelpers(CAlgorithm* algorithm, bool forJob)
{
    // Nested band runs on a helper compute their bands here.
    if (t_isHelper || t_inBandRun) {
        JobThreadMark mark(forJob);
        algorithm->WorkThroughBands();
        return 1;
    }
    // The helpers are taken as the run starts and marked as in use until it ends; StopWorker
    // waits for that before it frees them: none can go away while this run hands them bands.
    std::lock_guard<std::mutex> run(m_bandRunMutex);
    std::vector<CAlgorithmHelpThread*> helpers;
    {
        std::lock_guard<std::mutex> state(m_bandStateMutex);
        std::lock_guard<std::mutex> lock(m_helperListMutex);
        for (auto& h : m_helpers)
            helpers.push_back(h.get());
        m_bandRunActive = !helpers.empty();
    }
    struct EndRun {
        CAlgorithmThread& self;
        ~EndRun()
        {
            {
                std::lock_guard<std::mutex> state(self.m_bandStateMutex);
                self.m_bandRunActive = false;
            }
            self.m_bandRunEnded.notify_all();
        }
    } endRun{*this};
    if (helpers.empty()) {
        JobThreadMark mark(forJob);
        algorithm->WorkThroughBands();
        return 1;
    }
    t_inBandRun = true;
    struct Clear { ~Clear() { t_inBandRun = false; } } clear;
    int handed = 0;
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        m_pendingHelpers = 0;
    }
    for (CAlgorithmHelpThread* h : helpers) {
        {
            std::lock_guard<std::mutex> lock(m_releaseMutex);
            ++m_pendingHelpers;
        }
        if (h->Assign(algorithm, forJob)) {
            ++handed;
        } else {
            std::lock_guard<std::mutex> lock(m_releaseMutex);
            --m_pendingHelpers;
        }
    }
    if (handed == 0) {
        JobThreadMark mark(forJob);
        algorithm->WorkThroughBands();
        return 1;
    }
    std::unique_lock<std::mutex> lock(m_releaseMutex);
    m_released.wait(lock, [this] { return m_pendingHelpers == 0; });
    return 1;
}

void CAlgorithmThread::HelperReleased()
{
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        --m_pendingHelpers;
    }
    m_released.notify_all();
}

int CAlgorithmThread::StartJob(CAlgorithm* algorithm, ImageBuffer16* source, ImageBuffer16* destination,
                               const void* params, int jobId)
{
    if (!algorithm)
        return 0;
    std::unique_lock<std::mutex> lock(m_jobMutex);
    m_idle.wait(lock, [this] { return m_bBusy.load(std::memory_order_acquire) == 0; });
    if (!IsRunning())
        return 0;
    algorithm->SetSource(source);
    algorithm->SetDestination(destination);
    algorithm->SetParams(params);
    m_pCurrent = algorithm;
    m_jobId = jobId;
    // Busy counts from the hand-over, so a second start waits for this job.
    m_bBusy.store(1, std::memory_order_release);
    m_bCancel.store(0, std::memory_order_release);
    m_bCancelSeen.store(0, std::memory_order_release);
    if (!Post(MSG_ALGORITHM, 0, 0)) {
        m_pCurrent = nullptr;
        m_bBusy.store(0, std::memory_order_release);
        m_idle.notify_all();
        return 0;
    }
    return 1;
}

bool CAlgorithmThread::WaitIdle(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_jobMutex);
    auto idle = [this] { return m_bBusy.load(std::memory_order_acquire) == 0; };
    if (timeoutMs == platform::kInfinite) {
        m_idle.wait(lock, idle);
        return true;
    }
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), idle);
}

void CAlgorithmThread::OnMessage(const platform::ThreadMessage& msg)
{
    if (msg.id == MSG_ALGORITHM)
        OnStartAlgorithm(msg.wParam, msg.lParam);
}

void CAlgorithmThread::OnStartAlgorithm(uintptr_t wParam, intptr_t)
{
    CAlgorithm* algorithm;
    int jobId;
    {
        std::lock_guard<std::mutex> lock(m_jobMutex);
        algorithm = m_pCurrent;
        jobId = m_jobId;
    }
    if (wParam != 0 || !algorithm)
        return;
    int result;
    {
        JobThreadMark mark(true);
        algorithm->ResetReported(); // a reused algorithm reports its percentages again
        result = algorithm->Run();
    }
    // Cancelled only when the run stopped early for the request; one that arrives after the
    // run ended, or that the run never looked at, leaves a finished job.
    const bool cancelled = m_bCancelSeen.load(std::memory_order_acquire) != 0;
    PostAlgorithmMessage(jobId + kAlgorithmJobDone, cancelled ? kAlgorithmCancelled : result);
    std::lock_guard<std::mutex> lock(m_jobMutex);
    m_bCancel.store(0, std::memory_order_release);
    m_bCancelSeen.store(0, std::memory_order_release);
    m_bBusy.store(0, std::memory_order_release);
    m_pCurrent = nullptr;
    m_idle.notify_all();
}

int StartAlgorithm(CAlgorithm* algorithm, ImageBuffer16* source, ImageBuffer16* destination,
                   const void* params, int jobId)
{
    return theAlgorithmThread.StartJob(algorithm, source, destination, params, jobId);
}
