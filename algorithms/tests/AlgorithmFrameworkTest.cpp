#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmThread.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

namespace {

TEST(BandSplit, LayoutTable)
{
    struct Case { int w, h, margin, rows, helpers; bool ok; std::vector<BandRows> bands; const char* why; };
    const Case cases[] = {
        {1000, 900, 2, 0, 1, true, {{-2, 302, 0, 300}, {298, 602, 300, 600}, {598, 902, 600, 900}},
         "900000 pixels split into floor(300000 / w) core rows, margins never clipped"},
        {1000, 899, 2, 0, 1, true, {{0, 899, 0, 899}}, "899999 pixels: one band"},
        {1000, 900, 2, 0, 0, true, {{0, 900, 0, 900}}, "no helper: one band"},
        {2000, 1000, 40, 0, 8, true, {{0, 1000, 0, 1000}}, "margins alone over 150000 pixels"},
        {1000, 128, 3, 128, 0, true, {{0, 128, 0, 128}}, "given rows >= height: one band"},
        {10, 300, 3, 128, 0, true, {{-3, 125, 0, 122}, {119, 247, 122, 244}, {241, 303, 244, 300}},
         "given rows split even without helpers: 122 core rows"},
        {10, 300, 3, 6, 2, false, {}, "band rows leaving no core are refused"},
        {300001, 3, 0, 0, 2, false, {}, "automatic split of a too wide image is refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<BandRows> out;
        EXPECT_EQ(ComputeBandSplit(c.w, c.h, c.margin, c.rows, c.helpers, out), c.ok);
        EXPECT_EQ(out, c.bands);
    }
}

TEST(BandSplit, BorderRowsByMode)
{
    struct Case { int row, height, mode, expected; };
    const Case cases[] = {
        {-1, 5, BorderZero, -1}, {5, 5, BorderZero, -1}, {3, 5, BorderZero, 3},
        {-3, 5, BorderRepeat, 0}, {7, 5, BorderRepeat, 4},
        {-1, 5, BorderMirror, 1}, {-2, 5, BorderMirror, 2}, {5, 5, BorderMirror, 3},
        {6, 5, BorderMirror, 2}, {9, 5, BorderMirror, 1}, {-9, 5, BorderMirror, 1},
        {-4, 5, BorderMirror, 4}, {-5, 5, BorderMirror, 3}, {8, 5, BorderMirror, 0},
        {-1, 1, BorderMirror, 0}, {3, 1, BorderMirror, 0}, {-1, 2, BorderMirror, 1}, {2, 2, 7, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BorderSourceRow(c.row, c.height, c.mode), c.expected)
            << "row " << c.row << " height " << c.height << " mode " << c.mode;
}

// Records the rows each band saw (as channel 0 of column 0) and writes row + 1000 into the core.
class RowRecorder : public CAlgorithm {
public:
    int Run() override
    {
        if (SplitIntoBands(m_margin, m_rows) == 0)
            return 0;
        return RunBands();
    }
    int ProcessBand(BandTask& t) override
    {
        std::vector<int> seen;
        for (int r = 0; r < t.bandSource->height; ++r)
            seen.push_back(Row16(*t.bandSource, r)[0]);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_seen[t.firstWithMargin] = seen;
        }
        for (int r = 0; r < t.bandDest->height; ++r)
            for (int x = 0; x < t.bandDest->width; ++x)
                for (int c = 0; c < 3; ++c)
                    Row16(*t.bandDest, r)[x * 4 + c] =
                        static_cast<uint16_t>(Row16(*t.bandSource, r)[x * 4 + c] + 1000);
        if (m_failAt == t.first)
            return 0;
        return 1;
    }
    int m_margin = 3, m_rows = 10, m_failAt = -1;
    std::mutex m_mutex;
    std::map<int, std::vector<int>> m_seen;
};

// Channel 0 is row + 1, so a zero border row is told apart from row 0.
uint16_t RowValue(int, int y, int c) { return c == 3 ? static_cast<uint16_t>(0xFFFF - y) : static_cast<uint16_t>(y + 1); }

TEST(BandRun, MarginRowsFollowTheBorderModeWithAndWithoutHelpers)
{
    for (int helpers : {0, 8}) {
        WorkerScope scope(helpers);
        for (int mode : {BorderZero, BorderRepeat, BorderMirror}) {
            SCOPED_TRACE(testing::Message() << "helpers " << helpers << " mode " << mode);
            ScopedImage src(MakeImage(3, 20, RowValue));
            ScopedImage dst;
            RowRecorder alg;
            alg.SetBorderMode(mode);
            alg.SetSource(&*src);
            alg.SetDestination(&*dst);
            ASSERT_EQ(alg.Run(), 1);
            ASSERT_EQ(alg.m_seen.size(), 5u); // core 10 - 6 = 4 rows a band
            const std::vector<int> top = alg.m_seen[-3], bottom = alg.m_seen[13];
            const std::vector<int> topExpected = mode == BorderZero   ? std::vector<int>{0, 0, 0, 1, 2, 3, 4, 5, 6, 7}
                                                 : mode == BorderRepeat ? std::vector<int>{1, 1, 1, 1, 2, 3, 4, 5, 6, 7}
                                                                        : std::vector<int>{4, 3, 2, 1, 2, 3, 4, 5, 6, 7};
            const std::vector<int> bottomExpected = mode == BorderZero ? std::vector<int>{14, 15, 16, 17, 18, 19, 20, 0, 0, 0}
                                                    : mode == BorderRepeat ? std::vector<int>{14, 15, 16, 17, 18, 19, 20, 20, 20, 20}
                                                                           : std::vector<int>{14, 15, 16, 17, 18, 19, 20, 19, 18, 17};
            EXPECT_EQ(top, topExpected);
            EXPECT_EQ(bottom, bottomExpected);
            // Core rows stored; alpha copied into the band destination from its source.
            for (int y = 0; y < 20; ++y) {
                EXPECT_EQ(Row16(*dst, y)[0], y + 1001) << "row " << y;
                EXPECT_EQ(Row16(*dst, y)[3], 0xFFFF - y);
            }
        }
    }
}

TEST(BandRun, FailedBandFailsTheRunButOthersAreStored)
{
    for (int helpers : {0, 8}) {
        SCOPED_TRACE(helpers);
        WorkerScope scope(helpers);
        ScopedImage src(MakeImage(2, 20, RowValue));
        ScopedImage dst(MakeImage(2, 20, [](int, int, int) -> uint16_t { return 7; }));
        RowRecorder alg;
        alg.m_failAt = 4; // second band, rows 4..7
        alg.SetSource(&*src);
        alg.SetDestination(&*dst);
        EXPECT_EQ(alg.Run(), 0);
        for (int y = 0; y < 20; ++y)
            EXPECT_EQ(Row16(*dst, y)[0], (y >= 4 && y < 8) ? 7 : y + 1001) << "row " << y;
    }
}

// Leaves the band buffer empty: the band cannot be computed and must fail instead of hanging.
class NoBuffer : public RowRecorder {
public:
    int PrepareBand(BandTask&, ImageBuffer16&, ImageBuffer16&) override { return 1; }
};

TEST(BandRun, BandWithoutBufferFailsInsteadOfHanging)
{
    for (int helpers : {0, 3}) {
        WorkerScope scope(helpers);
        ScopedImage src(MakeImage(2, 20, RowValue));
        ScopedImage dst;
        NoBuffer alg;
        alg.SetSource(&*src);
        alg.SetDestination(&*dst);
        EXPECT_EQ(alg.Run(), 0);
        EXPECT_TRUE(alg.m_seen.empty());
    }
}

TEST(BandRun, RefusedLayoutFails)
{
    WorkerScope scope(2);
    ScopedImage src(MakeImage(2, 20, RowValue));
    ScopedImage dst;
    RowRecorder alg;
    alg.m_rows = 6; // 2 x margin 3: no core rows
    alg.SetSource(&*src);
    alg.SetDestination(&*dst);
    EXPECT_EQ(alg.Run(), 0);
    EXPECT_EQ(alg.RunBands(), 0) << "an empty band list is not a success";
}

TEST(BandRun, ManyShortRunsNeverOutliveTheirAlgorithm)
{
    // Each algorithm dies right after its run; a helper still touching it shows under ASan.
    WorkerScope scope(8);
    ScopedImage src(MakeImage(4, 40, RowValue));
    for (int i = 0; i < 150; ++i) {
        ScopedImage dst;
        auto alg = std::make_unique<RowRecorder>();
        alg->m_margin = 1;
        alg->m_rows = 3;
        alg->SetSource(&*src);
        alg->SetDestination(&*dst);
        ASSERT_EQ(alg->Run(), 1);
        alg.reset();
        ASSERT_EQ(Row16(*dst, 39)[0], 40 + 1000);
    }
}

class Reporter : public CAlgorithm {};

TEST(Progress, MappingThroughNestedWindows)
{
    WorkerScope scope(0, false);
    Reporter parent, child, grandchild, silent;
    child.SetParent(&parent, 20, 80);
    EXPECT_EQ(child.NestingDepth(), 1);
    child.SetProgress(50);
    child.SetProgress(50); // repeated: not sent again
    grandchild.SetParent(&child, 0, 50);
    EXPECT_EQ(grandchild.NestingDepth(), 2);
    grandchild.SetProgress(100); // 50 in the child, 50 in the parent: a repeat at the top
    grandchild.SetProgress(60);  // 30 -> 20 + 60 * 30 / 100 = 38
    silent.SetParent(&parent, 0, 0);
    silent.SetProgress(70);
    parent.SetProgress(-5); // top level posts what it is given
    std::vector<int> got;
    for (auto& m : scope.host.Pump()) {
        EXPECT_EQ(m.listener, FakeListener());
        EXPECT_EQ(m.p2, 0);
        got.push_back(m.p1);
    }
    EXPECT_EQ(got, (std::vector<int>{50, 38, -5}));

    Reporter r;
    r.SetProgressWindow(10, 90);
    r.SetSubRange(50, 100);
    EXPECT_EQ(r.ProgressLow(), 50);
    EXPECT_EQ(r.ProgressHigh(), 90);
    EXPECT_EQ(r.SavedLow(), 10);
    EXPECT_EQ(r.SavedHigh(), 90);
}

TEST(Progress, BandsReportDoneCountFromEveryHelper)
{
    WorkerScope scope(8);
    ScopedImage src(MakeImage(2, 40, RowValue));
    ScopedImage dst;
    RowRecorder alg;
    alg.m_margin = 0;
    alg.m_rows = 4; // ten bands
    alg.SetSource(&*src);
    alg.SetDestination(&*dst);
    ASSERT_EQ(alg.Run(), 1);
    std::set<int> got;
    for (auto& m : scope.host.Pump())
        got.insert(m.p1);
    EXPECT_TRUE(got.count(100));
    for (int v : got)
        EXPECT_EQ(v % 10, 0) << "band progress is done x 100 / 10";
}

TEST(Pixels, GetPixel16OutsideIsZero)
{
    ScopedImage img(MakeImage(2, 2, [](int x, int y, int c) -> uint16_t { return static_cast<uint16_t>(x + 2 * y + 4 * c + 1); }));
    EXPECT_EQ(GetPixel16(*img, -1, 0), 0u);
    EXPECT_EQ(GetPixel16(*img, 0, 2), 0u);
    EXPECT_EQ(GetPixel16(*img, 1, 1), 4ull | (8ull << 16) | (12ull << 32) | (16ull << 48));
}

// A slow banded job: signals after its first band, then sleeps in each band.
class SlowBands : public RowRecorder {
public:
    int ProcessBand(BandTask& t) override
    {
        RowRecorder::ProcessBand(t);
        m_started.Set();
        // A loaded machine may run every band before the test thread cancels: hold the
        // first band until the cancel has come, so that later bands meet it.
        for (int i = 0; m_holdUntilCancel && i < 1000 && !theAlgorithmThread.IsCancelRequested(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_holdUntilCancel = false;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        return 1;
    }
    platform::Event m_started{platform::Event::Reset::Manual, false};
    std::atomic<bool> m_holdUntilCancel{false};
};

TEST(Job, CancelSkipsUntakenBandsAndIsReportedAsCancelled)
{
    WorkerScope scope(1);
    ScopedImage src(MakeImage(2, 80, RowValue));
    ScopedImage dst(MakeImage(2, 80, [](int, int, int) -> uint16_t { return 7; }));
    SlowBands alg;
    alg.m_margin = 0;
    alg.m_rows = 4; // twenty bands
    alg.m_holdUntilCancel = true;
    ASSERT_EQ(StartAlgorithm(&alg, &*src, &*dst, nullptr, 5), 1);
    ASSERT_TRUE(alg.m_started.Wait(5000));
    theAlgorithmThread.Cancel();
    auto msgs = scope.host.PumpUntil(1005);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back().p1, 1005);
    EXPECT_EQ(msgs.back().p2, kAlgorithmCancelled);
    ASSERT_TRUE(theAlgorithmThread.WaitIdle(5000));
    EXPECT_FALSE(theAlgorithmThread.IsCancelRequested());
    EXPECT_LT(alg.m_seen.size(), 20u);
    int kept = 0;
    for (int y = 0; y < 80; ++y)
        kept += Row16(*dst, y)[0] == 7;
    EXPECT_EQ(kept, 80 - 4 * static_cast<int>(alg.m_seen.size())) << "skipped bands keep their rows";
    EXPECT_EQ(IsAlgorithmCancelled(), 0);

    // The next job is not cancelled by the old request.
    SlowBands again;
    again.m_margin = 0;
    again.m_rows = 40;
    ASSERT_EQ(StartAlgorithm(&again, &*src, &*dst, nullptr, 6), 1);
    auto done = scope.host.PumpUntil(1006);
    EXPECT_EQ(done.back().p2, 1);
    EXPECT_EQ(again.m_seen.size(), 2u);
}

class Gate : public CAlgorithm {
public:
    int Run() override
    {
        m_entered.Set();
        m_release.Wait(10000);
        return m_result;
    }
    int m_result = 1;
    platform::Event m_entered{platform::Event::Reset::Manual, false};
    platform::Event m_release{platform::Event::Reset::Manual, false};
};

TEST(Job, SecondStartWaitsForTheFirstJob)
{
    WorkerScope scope(0);
    Gate first, second;
    second.m_release.Set();
    second.m_result = 0;
    ASSERT_EQ(StartAlgorithm(&first, nullptr, nullptr, nullptr, 100), 1);
    ASSERT_TRUE(first.m_entered.Wait(5000));
    std::atomic<bool> returned{false};
    std::thread t([&] {
        EXPECT_EQ(StartAlgorithm(&second, nullptr, nullptr, nullptr, 7), 1);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    first.m_release.Set();
    t.join();
    EXPECT_TRUE(returned.load());
    auto msgs = scope.host.PumpUntil(1007);
    ASSERT_GE(msgs.size(), 2u);
    EXPECT_EQ(msgs[msgs.size() - 2].p1, 1100);
    EXPECT_EQ(msgs[msgs.size() - 2].p2, 1);
    EXPECT_EQ(msgs.back().p1, 1007);
    EXPECT_EQ(msgs.back().p2, 0) << "a failed run reports 0";
}

TEST(Job, HelpersRegisterExitEventsAndStopWhenTheWindowGoes)
{
    WorkerScope scope(3);
    for (int i = 0; i < 1000 && scope.host.RegisteredEvents() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(scope.host.RegisteredEvents(), 3u);
    // Idle helpers sleep: they do not look at the window again until they are woken.
    const int checks = scope.host.m_liveChecks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(scope.host.m_liveChecks.load(), checks) << "no polling while idle";
    scope.host.m_live = false;
    WakeAlgorithmHelpers();
    for (int i = 0; i < 1000 && scope.host.RegisteredEvents() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(scope.host.RegisteredEvents(), 0u);
    // Bands still run (on the calling thread) once the helpers are gone.
    ScopedImage src(MakeImage(2, 20, RowValue));
    ScopedImage dst;
    RowRecorder alg;
    alg.SetSource(&*src);
    alg.SetDestination(&*dst);
    EXPECT_EQ(alg.Run(), 1);
    EXPECT_EQ(Row16(*dst, 19)[0], 1020);
}

// Ends its work, then a cancel comes in before the worker reports: the job did finish.
class CancelledAfterTheEnd : public CAlgorithm {
public:
    int Run() override
    {
        theAlgorithmThread.Cancel();
        return 7;
    }
};

TEST(Job, ACancelAfterTheRunEndedLeavesAFinishedJob)
{
    WorkerScope scope(2);
    CancelledAfterTheEnd late;
    ASSERT_EQ(StartAlgorithm(&late, nullptr, nullptr, nullptr, 8), 1);
    auto msgs = scope.host.PumpUntil(1008);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back().p1, 1008);
    EXPECT_EQ(msgs.back().p2, 7) << "reported as finished with its result";
    ASSERT_TRUE(theAlgorithmThread.WaitIdle(5000));
    EXPECT_FALSE(theAlgorithmThread.IsCancelRequested());
}

TEST(Job, TheBaseRunDoesNothingAndSaysSo)
{
    CAlgorithm plain;
    EXPECT_EQ(plain.Run(), 0);
    WorkerScope scope(1);
    ASSERT_EQ(StartAlgorithm(&plain, nullptr, nullptr, nullptr, 9), 1);
    auto msgs = scope.host.PumpUntil(1009);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back().p1, 1009);
    EXPECT_EQ(msgs.back().p2, 0);
}

} // namespace
