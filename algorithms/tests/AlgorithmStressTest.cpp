// Band runs from several threads at once, cancels racing with them, cancelled resizers, results
// that must not depend on the helper count, and stored records read from their bytes.
#include "algorithms/AlgorithmRandom.h"
#include "algorithms/DiffuseFilter.h"
#include "algorithms/ImageSize.h"
#include "algorithms/ToneAdjust.h"
#include "algorithms/tests/AlgorithmTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

namespace {

uint16_t RowPlusOne(int, int y, int c)
{
    return c == 3 ? 0xFFFF : static_cast<uint16_t>(y + 1);
}

// Writes source + 1000 into every band; optionally dawdles so that cancels land mid-run.
class AddThousand : public CAlgorithm {
public:
    int Run() override
    {
        if (SplitIntoBands(m_margin, m_rows) == 0)
            return 0;
        return RunBands();
    }
    int ProcessBand(BandTask& t) override
    {
        for (int r = 0; r < t.bandDest->height; ++r)
            for (int x = 0; x < t.bandDest->width; ++x)
                for (int c = 0; c < 3; ++c)
                    Row16(*t.bandDest, r)[x * 4 + c] = static_cast<uint16_t>(Row16(*t.bandSource, r)[x * 4 + c] + 1000);
        ++m_bands;
        if (m_sleepUs)
            std::this_thread::sleep_for(std::chrono::microseconds(m_sleepUs));
        return 1;
    }
    int m_margin = 1, m_rows = 5, m_sleepUs = 0;
    std::atomic<int> m_bands{0};
};

bool AllRowsDone(const ImageBuffer16& img)
{
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            if (Row16(img, y)[x * 4] != y + 1001)
                return false;
    return true;
}

TEST(BandRunStress, SynchronousRunsAndCancelledJobsShareTheHelpers)
{
    // The UI thread runs bands synchronously while the worker runs jobs that are cancelled
    // now and then: band runs take turns on the helpers, a cancel meant for the job never
    // reaches the synchronous runs, and every job ends with a completion message.
    WorkerScope scope(8);
    ScopedImage src(MakeImage(3, 60, RowPlusOne));
    std::atomic<bool> stop{false};
    std::atomic<int> syncRuns{0}, syncFailures{0};
    struct Joiner {
        std::atomic<bool>& stop;
        std::thread t;
        ~Joiner()
        {
            stop = true;
            if (t.joinable())
                t.join();
        }
    } ui{stop, std::thread([&] {
        while (!stop.load()) {
            ScopedImage dst;
            AddThousand alg;
            alg.SetSource(&*src);
            alg.SetDestination(&*dst);
            if (alg.Run() != 1 || !AllRowsDone(*dst))
                ++syncFailures;
            ++syncRuns;
        }
    })};
    std::mt19937 rng(3);
    int cancelled = 0, completed = 0;
    for (int job = 0; job < 60; ++job) {
        ScopedImage dst;
        AddThousand alg;
        alg.m_sleepUs = 200;
        ASSERT_EQ(StartAlgorithm(&alg, &*src, &*dst, nullptr, job), 1);
        // Job 1 is cancelled right after its start, the others at random moments.
        const bool cancel = job == 1 || rng() % 2;
        if (cancel) {
            if (job != 1)
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 1500));
            theAlgorithmThread.Cancel();
        }
        // The synchronous runs post their progress to the same listener.
        const auto msgs = scope.host.PumpUntil(job + kAlgorithmJobDone);
        const auto done = std::find_if(msgs.begin(), msgs.end(),
                                       [&](const PostedMessage& m) { return m.p1 == job + kAlgorithmJobDone; });
        ASSERT_NE(done, msgs.end()) << "every job completes";
        ASSERT_TRUE(theAlgorithmThread.WaitIdle(10000));
        const int result = done->p2;
        if (result == kAlgorithmCancelled) {
            EXPECT_TRUE(cancel);
            ++cancelled;
        } else {
            // A cancel that came too late for the last job does not reach this one either.
            ASSERT_EQ(result, 1);
            EXPECT_TRUE(AllRowsDone(*dst)) << "a job reported done computed every band";
            ++completed;
        }
        if (!cancel) {
            EXPECT_FALSE(theAlgorithmThread.IsCancelRequested());
        }
    }
    stop = true;
    ui.t.join();
    EXPECT_EQ(syncFailures.load(), 0);
    EXPECT_GT(syncRuns.load(), 0);
    EXPECT_GT(completed, 0);
    EXPECT_GT(cancelled, 0);
}

TEST(BandRunStress, JobsStartedFromSeveralThreadsRunOneAtATime)
{
    WorkerScope scope(4);
    ScopedImage src(MakeImage(2, 30, RowPlusOne));
    std::atomic<int> running{0}, overlap{0};
    class Exclusive : public AddThousand {
    public:
        Exclusive(std::atomic<int>& r, std::atomic<int>& o) : m_running(r), m_overlap(o) {}
        int Run() override
        {
            if (m_running.fetch_add(1) != 0)
                ++m_overlap;
            const int ok = AddThousand::Run();
            m_running.fetch_sub(1);
            return ok;
        }
        std::atomic<int>& m_running;
        std::atomic<int>& m_overlap;
    };
    std::vector<std::thread> starters;
    for (int t = 0; t < 4; ++t)
        starters.emplace_back([&, t] {
            for (int i = 0; i < 15; ++i) {
                auto alg = std::make_unique<Exclusive>(running, overlap);
                ScopedImage dst;
                ASSERT_EQ(StartAlgorithm(alg.get(), &*src, &*dst, nullptr, 100 * t + i), 1);
                // The algorithm may only die once its job is over: wait for the worker.
                ASSERT_TRUE(theAlgorithmThread.WaitIdle(10000));
                EXPECT_TRUE(AllRowsDone(*dst));
            }
        });
    for (auto& s : starters)
        s.join();
    EXPECT_EQ(overlap.load(), 0);
    std::set<int> done;
    for (auto& m : scope.host.Pump())
        if (m.p1 >= kAlgorithmJobDone)
            done.insert(m.p1 - kAlgorithmJobDone);
    EXPECT_EQ(done.size(), 60u) << "one completion per job";
}

// Runs a resizer as a job that a cancel reaches before its rows are shared out.
class CancelledResize : public CAlgorithm {
public:
    int Run() override
    {
        m_entered.Set();
        m_go.Wait(10000);
        CImageSize is;
        is.SetParent(this, 0, 0);
        m_results[0] = is.AreaAverage(*m_pSource, m_out[0], 100, 90);
        m_results[1] = is.ResizeBilinear(*m_pSource, m_out[1], 500, 450);
        m_results[2] = is.ResizeCubic(*m_pSource, m_out[2], 100, 90, 0.33f, 0.73f);
        return 1;
    }
    ~CancelledResize() override
    {
        for (auto& o : m_out)
            FreeImageBuffer(o);
    }
    platform::Event m_entered{platform::Event::Reset::Manual, false};
    platform::Event m_go{platform::Event::Reset::Manual, false};
    int m_results[3] = {-1, -1, -1};
    ImageBuffer16 m_out[3]{};
};

TEST(BandRunStress, CancelledResizersReportNoResult)
{
    // Row ranges skipped by a cancel leave rows unwritten, so the resizer must not succeed.
    WorkerScope scope(4);
    ScopedImage src(MakeImage(200, 180, [](int x, int y, int c) -> uint16_t { return static_cast<uint16_t>(x * 300 + y * 7 + c); }));
    CancelledResize job;
    ASSERT_EQ(StartAlgorithm(&job, &*src, nullptr, nullptr, 3), 1);
    ASSERT_TRUE(job.m_entered.Wait(5000));
    theAlgorithmThread.Cancel();
    job.m_go.Set();
    const auto msgs = scope.host.PumpUntil(1003);
    ASSERT_EQ(msgs.back().p2, kAlgorithmCancelled);
    ASSERT_TRUE(theAlgorithmThread.WaitIdle(5000));
    EXPECT_EQ(job.m_results[0], 0) << "area averaging";
    EXPECT_EQ(job.m_results[1], 0) << "bilinear";
    EXPECT_EQ(job.m_results[2], 0) << "bicubic";
}

TEST(HelperCount, SmartEnlargementIsTheSameWithAndWithoutHelpers)
{
    // The tripling's texture blur, the bilinear step and the enhancement all share rows out
    // over the helpers at this size; the grain comes from the calling thread's generator.
    ScopedImage src(Noise(200, 150, 21)), out[2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        CImageSize is;
        SeedAlgorithmRand(99);
        ASSERT_EQ(is.SmartResize(*src, *out[k], 470, 330), 1);
    }
    EXPECT_EQ(out[0]->width, 470);
    EXPECT_EQ(out[0]->height, 330);
    EXPECT_TRUE(SameImage(*out[0], *out[1]));
}

TEST(HelperCount, HighlightDiffusionIsTheSameWithAndWithoutHelpers)
{
    ScopedImage src(Noise(1000, 900, 22)), out[2];
    for (int k = 0; k < 2; ++k) {
        WorkerScope scope(k == 0 ? 0 : 8);
        DiffuseParams d;
        d.mode = 1;
        d.radius = 12;
        d.amount = 70;
        d.highlight = 20;
        CDiffuseFilter f;
        f.SetSource(&*src);
        f.SetDestination(&*out[k]);
        f.SetParams(&d);
        ASSERT_EQ(f.Run(), 1);
    }
    EXPECT_TRUE(SameImage(*out[0], *out[1]));
}

TEST(TinyPictures, EveryResizeMethodKeepsToTheAskedSize)
{
    // Pictures of one to four pixels a side through every method, up and down: the tripling's
    // windows, the bands and the box filters all reach past such pictures' edges.
    for (int sw = 1; sw <= 4; ++sw)
        for (int sh = 1; sh <= 4; ++sh) {
            ScopedImage src(Noise(sw, sh, static_cast<unsigned>(10 * sw + sh)));
            for (int method = 1; method <= 5; ++method)
                for (auto [w, h] : {std::pair{1, 1}, {sw * 3 + 1, sh * 2 + 2}, {sw, sh * 5}}) {
                    SCOPED_TRACE(testing::Message() << sw << "x" << sh << " -> " << w << "x" << h << " method " << method);
                    ImageSizeParams p;
                    p.width = w;
                    p.height = h;
                    p.method = method;
                    ScopedImage dst;
                    CImageSize is;
                    is.SetSource(&*src);
                    is.SetDestination(&*dst);
                    is.SetParams(&p);
                    SeedAlgorithmRand(1);
                    ASSERT_EQ(is.Run(), 1);
                    EXPECT_EQ(dst->width, method == 5 ? 2 * sw : w);
                    EXPECT_EQ(dst->height, method == 5 ? 2 * sh : h);
                }
        }
}

// Little-endian bytes of a stored record, as history steps and scheme files hold them.
struct RecordBytes {
    std::vector<uint8_t> b;
    explicit RecordBytes(size_t n) : b(n, 0) {}
    RecordBytes& U16(size_t at, uint16_t v)
    {
        b[at] = static_cast<uint8_t>(v);
        b[at + 1] = static_cast<uint8_t>(v >> 8);
        return *this;
    }
    RecordBytes& I32(size_t at, int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
        return *this;
    }
    RecordBytes& F64(size_t at, double v)
    {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        for (int i = 0; i < 8; ++i)
            b[at + i] = static_cast<uint8_t>(u >> (8 * i));
        return *this;
    }
};

TEST(StoredRecords, ReadFromTheirBytes)
{
    ScopedImage src(Noise(8, 6, 23));

    // Image size: a stale document reference at 16 is never followed; the picture is resized.
    RecordBytes is(40);
    is.U16(0, 40).I32(4, 4).I32(8, 3).I32(12, 1).I32(16, static_cast<int32_t>(0xDEADBEEF)).I32(20, 0).I32(24, 75)
        .I32(28, 35).I32(36, 3);
    CImageSize size;
    ScopedImage dst;
    size.SetSource(&*src);
    size.SetDestination(&*dst);
    size.SetParams(is.b.data());
    ASSERT_EQ(size.Run(), 1);
    EXPECT_EQ(dst->width, 4);
    EXPECT_EQ(dst->height, 3);
    EXPECT_EQ(GetPixel16(*dst, 1, 2), GetPixel16(*src, 2, 4)) << "nearest: (1 x 8 / 4, 2 x 6 / 3)";
    EXPECT_EQ(size.m_params.enhance, 0);
    EXPECT_EQ(size.m_params.areaValue, 75);
    EXPECT_EQ(size.m_params.sharpenAmount, 35);
    EXPECT_EQ(size.m_params.applyMode, 3);

    // An older, shorter record (size 16) keeps the later fields as they were.
    RecordBytes old(16);
    old.U16(0, 16).I32(4, 16).I32(8, 12).I32(12, 2);
    size.SetParams(old.b.data());
    ASSERT_EQ(size.Run(), 1);
    EXPECT_EQ(size.m_params.size, 40);
    EXPECT_EQ(size.m_params.method, 2);
    EXPECT_EQ(size.m_params.areaValue, 75);
    EXPECT_EQ(dst->width, 16);

    // Diffuse glow: mode byte at 2, radius at 8, amount, highlight and shadow at 16, 20, 24.
    RecordBytes dg(32);
    dg.U16(0, 32).F64(8, 1.5).I32(16, 0).I32(20, 10).I32(24, 5);
    dg.b[2] = 0;
    CDiffuseFilter glow;
    glow.SetSource(&*src);
    glow.SetDestination(&*dst);
    glow.SetParams(dg.b.data());
    ASSERT_EQ(glow.Run(), 1);
    EXPECT_TRUE(SameImage(*src, *dst)) << "amount 0 in normal mode returns the source";
    EXPECT_EQ(glow.m_params.radius, 1.5);
    EXPECT_EQ(glow.m_params.highlight, 10);
    EXPECT_EQ(glow.m_params.shadow, 5);
    dg.b[2] = 1;
    dg.I32(16, 100).I32(20, 300); // highlight diffusion with start 25000, end 51000
    ASSERT_EQ(glow.Run(), 1);
    EXPECT_EQ(glow.m_params.mode, 1);
    EXPECT_FALSE(SameImage(*src, *dst));

    // Brightness/contrast: brightness at 4, contrast at 8.
    RecordBytes bc(12);
    bc.U16(0, 12).I32(4, 100).I32(8, 0);
    ScopedImage grey(MakeImage(1, 1, [](int, int, int c) -> uint16_t { return c == 3 ? 0xFFFF : 10000; }));
    CBrightnessContrast b;
    b.SetSource(&*grey);
    b.SetDestination(&*dst);
    b.SetParams(bc.b.data());
    ASSERT_EQ(b.Run(), 1);
    EXPECT_EQ(Row16(*dst, 0)[2], 20000);
}

TEST(BandRunStress, BandRunsOverlappingAStopOfTheWorker)
{
    // A band run on the UI thread while the worker is stopped from another: the helpers it
    // hands bands to must outlive the run (the sanitizers see any use after they are freed).
    RecordingHost host;
    SetAlgorithmHost(&host);
    ScopedImage src(MakeImage(16, 64, RowPlusOne));
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        ASSERT_TRUE(theAlgorithmThread.StartWorker(4));
        std::atomic<bool> go{false};
        std::atomic<int> ok{0};
        const int runs = 3;
        std::thread banding([&] {
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < runs; ++i) {
                ScopedImage dst;
                AddThousand alg;
                alg.m_rows = 4;
                alg.m_margin = 0;
                alg.SetSource(&*src);
                alg.SetDestination(&*dst);
                if (alg.Run() == 1 && AllRowsDone(*dst))
                    ++ok;
            }
        });
        const int delayUs = int(rng() % 400);
        go = true;
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        theAlgorithmThread.StopWorker();
        banding.join();
        EXPECT_EQ(ok.load(), runs) << "round " << round << ": every run computes all its rows";
        EXPECT_EQ(theAlgorithmThread.HelperCount(), 0);
    }
    SetAlgorithmHost(nullptr);
}

} // namespace
