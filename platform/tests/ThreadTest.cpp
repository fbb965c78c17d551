#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>

#include <vector>

using namespace platform;

TEST(Thread, MessagesFromManyPostersArriveOnceInOrder)
{
    constexpr int kPosters = 4;
    constexpr int kPerPoster = 1000;
    constexpr uint32_t kMsgData = 0x8001;

    std::vector<std::vector<int>> received(kPosters);
    Thread receiver([&](Thread& self) {
        ThreadMessage msg;
        int total = 0;
        while (total < kPosters * kPerPoster && self.GetMessage(msg, 10000)) {
            if (msg.id != kMsgData)
                return 1;
            received.at(msg.wParam).push_back(static_cast<int>(msg.lParam));
            ++total;
        }
        // Nothing more may come.
        return self.PeekMessage(msg) ? 2 : 0;
    });
    ASSERT_TRUE(receiver.Start());

    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&receiver, p] {
            for (int i = 0; i < kPerPoster; ++i)
                ASSERT_TRUE(receiver.Post(kMsgData, static_cast<uintptr_t>(p), i));
        });
    }
    for (std::thread& t : posters)
        t.join();
    ASSERT_TRUE(receiver.Join(20000));
    EXPECT_EQ(receiver.ExitCode(), 0);
    for (int p = 0; p < kPosters; ++p) {
        ASSERT_EQ(received[p].size(), size_t(kPerPoster)) << "poster " << p;
        for (int i = 0; i < kPerPoster; ++i)
            ASSERT_EQ(received[p][i], i) << "poster " << p;
    }
}

namespace {

// The worker shape of the program: a derived thread with the default message loop.
class CountingThread : public Thread {
public:
    ~CountingThread() override { Join(); }
    std::vector<uint32_t> seen;
    bool initRan = false;
    int exitSeen = -1;

protected:
    bool InitInstance() override { initRan = true; return true; }
    void OnMessage(const ThreadMessage& msg) override { seen.push_back(msg.id); }
    int ExitInstance(int code) override { exitSeen = code; return code + 1; }
};

} // namespace

TEST(Thread, DefaultLoopTakesMessagesPostedBeforeStartAndEndsOnQuit)
{
    CountingThread t;
    ASSERT_TRUE(t.Post(100));           // the queue exists before the thread runs
    ASSERT_TRUE(t.Start());
    EXPECT_FALSE(t.Start());            // already running
    ASSERT_TRUE(t.Post(101, 1, -1));
    ASSERT_TRUE(t.PostQuit(7));
    ASSERT_TRUE(t.Join(10000));
    EXPECT_TRUE(t.initRan);
    EXPECT_EQ(t.seen, (std::vector<uint32_t>{100, 101}));
    EXPECT_EQ(t.exitSeen, 7);
    EXPECT_EQ(t.ExitCode(), 8);
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(t.EndedEvent().IsSet());
    EXPECT_FALSE(t.Post(102)) << "an ended thread takes no messages";

    // A second run starts with an empty queue and accepts posts again.
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(t.Post(103));
    ASSERT_TRUE(t.PostQuit(0));
    ASSERT_TRUE(t.Join(10000));
    EXPECT_EQ(t.seen, (std::vector<uint32_t>{100, 101, 103}));
}

TEST(Thread, JoinTimesOutWhileTheThreadRuns)
{
    Event release;
    Thread t([&](Thread&) { return release.Wait(20000) ? 0 : 1; });
    ASSERT_TRUE(t.Start());
    EXPECT_FALSE(t.Join(20));
    EXPECT_TRUE(t.IsRunning());
    release.Set();
    EXPECT_TRUE(t.Join(20000));
    EXPECT_EQ(t.ExitCode(), 0);
}

TEST(Thread, QueueGetAndPeek)
{
    MessageQueue q;
    ThreadMessage m;
    EXPECT_FALSE(q.Peek(m));
    EXPECT_FALSE(q.Get(m, 0));
    q.Post(5, 6, -7);
    ASSERT_TRUE(q.Peek(m, false));
    EXPECT_EQ(q.Size(), 1u);
    ASSERT_TRUE(q.Get(m, 0));
    EXPECT_EQ(m.id, 5u);
    EXPECT_EQ(m.wParam, 6u);
    EXPECT_EQ(m.lParam, -7);
    EXPECT_EQ(q.Size(), 0u);

    // A waiting Get is woken by a post from another thread, and by Close.
    std::thread poster([&] { SleepMs(20); q.Post(9); });
    ASSERT_TRUE(q.Get(m, 20000));
    EXPECT_EQ(m.id, 9u);
    poster.join();
    std::thread closer([&] { SleepMs(20); q.Close(); });
    EXPECT_FALSE(q.Get(m, 20000));
    closer.join();
    EXPECT_FALSE(q.Post(10));
}

TEST(Thread, PriorityBecomesTheThreadsNiceValue)
{
    // Lowering is always allowed, so idle and below normal must take effect.
    for (ThreadPriority p : {ThreadPriority::BelowNormal, ThreadPriority::Idle}) {
        int niceSeen = -100;
        Thread t([&](Thread&) {
            errno = 0;
            niceSeen = getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
            return 0;
        });
        ASSERT_TRUE(t.SetPriority(p)); // before start: applied when the thread begins
        ASSERT_TRUE(t.Start());
        ASSERT_TRUE(t.Join(10000));
        EXPECT_EQ(niceSeen, NiceValue(p));
    }
    // The calling thread is not affected.
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId())), 0);

    // Lowering a running thread from outside.
    Event lowered, done;
    int niceSeen = -100;
    Thread t([&](Thread&) {
        lowered.Wait(20000);
        niceSeen = getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
        return 0;
    });
    ASSERT_TRUE(t.Start());
    while (t.ThreadId() == 0 && t.IsRunning())
        SleepMs(1);
    EXPECT_TRUE(t.SetPriority(ThreadPriority::Idle));
    lowered.Set();
    ASSERT_TRUE(t.Join(10000));
    EXPECT_EQ(niceSeen, 19);
}

TEST(Thread, ProcessorCountIsPositive)
{
    EXPECT_GE(ProcessorCount(), 1);
}

TEST(Thread, JoinsFromSeveralThreadsKeepTheirOwnTimeouts)
{
    // One thread waits long for the end; a second, short wait must still end on time, and the
    // thread asking to join itself must get its refusal at once instead of waiting behind them.
    Event release, selfJoinRefused;
    Thread t([&](Thread& self) {
        SleepMs(30); // the outside joins are waiting by now
        if (!self.Join(0))
            selfJoinRefused.Set();
        return release.Wait(20000) ? 0 : 1;
    });
    ASSERT_TRUE(t.Start());
    std::atomic<bool> longJoinResult{false};
    std::thread longJoin([&] { longJoinResult = t.Join(3000); });
    SleepMs(10);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(t.Join(50));
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(waited.count(), 1000) << "a timed join waited behind another join";
    EXPECT_TRUE(selfJoinRefused.Wait(2000)) << "the thread's own join waited behind the others";
    release.Set();
    longJoin.join();
    EXPECT_TRUE(longJoinResult.load()) << "the long join sees the end";
    EXPECT_TRUE(t.Join(0));
    EXPECT_EQ(t.ExitCode(), 0);
}
