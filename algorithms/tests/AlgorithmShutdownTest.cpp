// The end of the worker and its helpers: a helper leaves the host before it signals its exit
// (whoever waits for the signal may free the host), and a stop with a time limit ends a job that
// listens for the cancel within it, or says it did not.
#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmThread.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

uint16_t Grey(int, int, int) { return 1000; }

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Records, for every unregistered event, whether it had been set already.
class OrderCheckingHost : public RecordingHost {
public:
    void UnregisterWorkerExitEvent(platform::Event* e) override
    {
        if (e->IsSet())
            ++m_setBeforeUnregister;
        ++m_unregistered;
        RecordingHost::UnregisterWorkerExitEvent(e);
    }
    std::atomic<int> m_setBeforeUnregister{0};
    std::atomic<int> m_unregistered{0};
};

TEST(WorkerShutdown, AHelperLeavesTheHostBeforeItSignalsItsExit)
{
    OrderCheckingHost host;
    SetAlgorithmHost(&host);
    theAlgorithmThread.StopWorker();
    ASSERT_TRUE(theAlgorithmThread.StartWorker(4));
    for (int i = 0; i < 1000 && host.RegisteredEvents() < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(host.RegisteredEvents(), 4u);
    // The window goes: every idle helper ends on its own.
    host.m_live = false;
    WakeAlgorithmHelpers();
    for (int i = 0; i < 1000 && host.m_unregistered.load() < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(host.m_unregistered.load(), 4);
    EXPECT_EQ(host.m_setBeforeUnregister.load(), 0) << "a set exit event lets the host go while the helper still calls it";
    EXPECT_TRUE(theAlgorithmThread.StopWorker());
    SetAlgorithmHost(nullptr);
}

// Bands that run until the job is cancelled or the test releases them (at most 20 s), on every
// helper at once.
class UntilCancelled : public CAlgorithm {
public:
    int Run() override
    {
        if (SplitIntoBands(0, 2) == 0)
            return 0;
        return RunBands();
    }
    int ProcessBand(BandTask&) override
    {
        m_started.Set();
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (!IsAlgorithmCancelled() && !m_release.load() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
    }
    platform::Event m_started{platform::Event::Reset::Manual, false};
    std::atomic<bool> m_release{false};
};

// A job that never asks whether it is cancelled: it ends when released.
class Deaf : public CAlgorithm {
public:
    int Run() override
    {
        m_entered.Set();
        m_release.Wait(20000);
        return 1;
    }
    platform::Event m_entered{platform::Event::Reset::Manual, false};
    platform::Event m_release{platform::Event::Reset::Manual, false};
};

TEST(WorkerShutdown, AStopWithCancelEndsARunningBandedJobWithinItsLimit)
{
    WorkerScope scope(3);
    ScopedImage src(MakeImage(2, 40, Grey));
    ScopedImage dst;
    UntilCancelled job;
    ASSERT_EQ(StartAlgorithm(&job, &*src, &*dst, nullptr, 3), 1);
    ASSERT_TRUE(job.m_started.Wait(5000));
    const auto start = Clock::now();
    EXPECT_TRUE(theAlgorithmThread.StopWorker(5000, true));
    EXPECT_LT(MsSince(start), 5000);
    EXPECT_FALSE(theAlgorithmThread.IsRunning());
    EXPECT_EQ(theAlgorithmThread.HelperCount(), 0);
    EXPECT_FALSE(theAlgorithmThread.IsBusy());
    const auto msgs = scope.host.Pump();
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back().p1, 1003);
    EXPECT_EQ(msgs.back().p2, kAlgorithmCancelled);
}

TEST(WorkerShutdown, AJobThatDoesNotListenLeavesTheStopUnfinishedAtItsLimit)
{
    WorkerScope scope(2);
    Deaf job;
    ASSERT_EQ(StartAlgorithm(&job, nullptr, nullptr, nullptr, 4), 1);
    ASSERT_TRUE(job.m_entered.Wait(5000));
    const auto start = Clock::now();
    EXPECT_FALSE(theAlgorithmThread.StopWorker(200, true));
    const long long took = MsSince(start);
    EXPECT_GE(took, 190);
    EXPECT_LT(took, 3000) << "the limit holds";
    EXPECT_TRUE(theAlgorithmThread.IsRunning()) << "left running, not destroyed under the job";
    // Released, the job ends and a later stop collects every thread.
    job.m_release.Set();
    EXPECT_TRUE(theAlgorithmThread.StopWorker(10000));
    EXPECT_FALSE(theAlgorithmThread.IsRunning());
    EXPECT_EQ(theAlgorithmThread.HelperCount(), 0);
}

TEST(WorkerShutdown, AHelperStillInABandAtTheLimitIsKeptAndJoinedLater)
{
    WorkerScope scope(2);
    ScopedImage src(MakeImage(2, 40, Grey));
    ScopedImage dst;
    UntilCancelled bands;
    bands.SetSource(&*src);
    bands.SetDestination(&*dst);
    // A band run on another thread (not a job: the cancel does not reach it).
    std::thread runner([&] { bands.Run(); });
    ASSERT_TRUE(bands.m_started.Wait(5000));
    EXPECT_FALSE(theAlgorithmThread.StopWorker(200, true)) << "the band run holds its helpers";
    EXPECT_EQ(theAlgorithmThread.HelperCount(), 2);
    bands.m_release = true;
    runner.join();
    EXPECT_TRUE(theAlgorithmThread.StopWorker(10000));
    EXPECT_EQ(theAlgorithmThread.HelperCount(), 0);
}

} // namespace
