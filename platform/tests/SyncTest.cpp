#include "platform/Sync.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace platform;

namespace {

uint64_t ElapsedMs(std::chrono::steady_clock::time_point start)
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start).count());
}

} // namespace

TEST(Sync, EventResetSemantics)
{
    Event autoEv(Event::Reset::Auto, true);
    EXPECT_TRUE(autoEv.Wait(0));
    EXPECT_FALSE(autoEv.Wait(0)) << "an auto-reset event is consumed by one wait";

    Event manual(Event::Reset::Manual, true);
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0)) << "a manual-reset event stays set";
    manual.ResetEvent();
    EXPECT_FALSE(manual.Wait(0));

    // Set before anyone waits is remembered.
    Event later;
    later.Set();
    EXPECT_TRUE(later.IsSet());
    EXPECT_TRUE(later.Wait(0));
}

TEST(Sync, AutoResetReleasesOneWaiterManualReleasesAll)
{
    for (Event::Reset kind : {Event::Reset::Auto, Event::Reset::Manual}) {
        Event ev(kind);
        std::atomic<int> woke{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i)
            waiters.emplace_back([&] { if (ev.Wait(300)) ++woke; });
        SleepMs(30);
        ev.Set();
        for (std::thread& t : waiters)
            t.join();
        EXPECT_EQ(woke.load(), kind == Event::Reset::Auto ? 1 : 3);
    }
}

TEST(Sync, WaitAnyReturnsTheIndexOfTheSetEvent)
{
    Event a, b(Event::Reset::Manual), c;
    EXPECT_EQ(WaitForEvents({&a, &b, &c}, false, 0), kWaitTimeout);
    c.Set();
    EXPECT_EQ(WaitForEvents({&a, &b, &c}, false, 0), 2);
    EXPECT_FALSE(c.IsSet());
    b.Set();
    c.Set();
    EXPECT_EQ(WaitForEvents({&a, &b, &c}, false, 0), 1) << "the lowest index wins";
    EXPECT_TRUE(c.IsSet());

    // Woken from another thread.
    std::thread setter([&] { SleepMs(20); a.Set(); });
    b.ResetEvent();
    c.ResetEvent();
    EXPECT_EQ(WaitForEvents({&b, &a}, false, 20000), 1);
    setter.join();

    EXPECT_EQ(WaitForEvents(std::span<Event* const>(), false, 0), kWaitFailed);
    EXPECT_EQ(WaitForEvents({&a, nullptr}, true, 0), kWaitFailed);
}

TEST(Sync, WaitAllTimesOutOnTimeAndConsumesNothing)
{
    Event a, b;
    a.Set();
    constexpr uint32_t kTimeout = 150;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEvents({&a, &b}, true, kTimeout), kWaitTimeout);
    EXPECT_GE(ElapsedMs(start), kTimeout - 5) << "returned much earlier than the timeout";
    EXPECT_TRUE(a.IsSet()) << "a failed wait-all must not take the events that were set";

    // Completes when the last one arrives, and then takes the auto-reset ones.
    std::thread setter([&] { SleepMs(20); b.Set(); });
    EXPECT_EQ(WaitForEvents({&a, &b}, true, 20000), 0);
    setter.join();
    EXPECT_FALSE(a.IsSet());
    EXPECT_FALSE(b.IsSet());
}

TEST(Sync, SingleWaitTimesOut)
{
    Event ev;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ev.Wait(60));
    EXPECT_GE(ElapsedMs(start), 55u);
}

TEST(Sync, CriticalSectionReentersAndExcludes)
{
    CriticalSection cs;
    {
        ScopedLock outer(cs);
        ScopedLock inner(cs); // the owner may enter again
        std::thread other([&] { EXPECT_FALSE(cs.TryLock()); });
        other.join();
    }
    // Unlocked as often as locked: free for others again.
    std::thread other([&] { ASSERT_TRUE(cs.TryLock()); cs.Unlock(); });
    other.join();

    // Guarding a non-atomic counter from several threads.
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                ScopedLock lock(cs);
                ++counter;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(counter, 40000);
}

TEST(Sync, WaitsKeepTheirDeadlineWhileOtherEventsChange)
{
    // Every Set wakes all waiters to look again; a wake-up must not restart the timeout.
    Event a, b, busy(Event::Reset::Manual);
    a.Set();
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        const auto began = std::chrono::steady_clock::now();
        while (!stop && ElapsedMs(began) < 4000) { // a wait that never ends still fails, not hangs
            busy.Set();
            busy.ResetEvent();
            SleepMs(2);
        }
    });
    struct Case {
        bool waitAll;
        uint32_t timeout;
    };
    for (const Case& c : {Case{true, 200}, Case{false, 150}}) {
        auto start = std::chrono::steady_clock::now();
        // Wait-all on a set and an unset event; wait-any on the unset one alone.
        const int got = c.waitAll ? WaitForEvents({&a, &b}, true, c.timeout) : WaitForEvents({&b}, false, c.timeout);
        const uint64_t waited = ElapsedMs(start);
        EXPECT_EQ(got, kWaitTimeout);
        EXPECT_GE(waited, c.timeout - 5);
        EXPECT_LT(waited, c.timeout + 2000) << "the deadline moved with the wake-ups";
    }
    stop = true;
    churn.join();
    EXPECT_TRUE(a.IsSet());
}
