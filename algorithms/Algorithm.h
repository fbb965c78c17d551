// Base of every image operation: parameter hand-over, nested progress, and the split of large
// images into horizontal bands that the helper threads compute in parallel.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <vector>

class CAlgorithm;

enum BorderMode : int {
    BorderZero = 0,
    BorderRepeat = 1,
    BorderMirror = 2,
    BorderOwn = -1, // for NextBand: the algorithm's own mode
};

enum BandStatus : uint8_t {
    BandWaiting = 0,
    BandTaken = 1,
    BandDone = 2,
    BandFailed = 255,
};

struct BandTask {
    int firstWithMargin = 0; // may be negative (above the image)
    int endWithMargin = 0;   // exclusive; may exceed the image height
    int first = 0;           // first core row
    int end = 0;             // exclusive end of the core rows
    ImageBuffer16* bandSource = nullptr;
    ImageBuffer16* bandDest = nullptr;
    uint8_t status = BandWaiting; // under the owner's band-list lock
    CAlgorithm* owner = nullptr;
};

// The band layout SplitIntoBands builds, as plain rows (no buffers).
struct BandRows {
    int firstWithMargin, endWithMargin, first, end;
    bool operator==(const BandRows&) const = default;
};

// Image row that fills band row `row` of an image `height` rows high, or -1 for a zero row.
// Mirroring reflects about the first and last rows without repeating them (period 2h - 2);
// a one-row image mirrors onto row 0.
int BorderSourceRow(int row, int height, int mode);

// The split rule. helpers = helper threads available to the run. Returns false when the
// request leaves no core rows (refused); `out` then is empty.
bool ComputeBandSplit(int width, int height, int margin, int bandRows, int helpers,
                      std::vector<BandRows>& out);

// Runs fn(first, end) over row ranges that together cover [0, rows), on the helper threads when
// the work is worth it, else on the calling thread. Each range must write only its own rows, so
// the result does not depend on how the rows were shared out. False when a range returned false
// or the job was cancelled before every range ran.
template <class Fn>
bool ParallelRows(int rows, int64_t workPerRow, Fn&& fn);

// 8-byte pixel at (x, y), or all four channels 0 outside the image.
uint64_t GetPixel16(const ImageBuffer16& image, int x, int y);

class CAlgorithm {
public:
    CAlgorithm();
    virtual ~CAlgorithm();
    CAlgorithm(const CAlgorithm&) = delete;
    CAlgorithm& operator=(const CAlgorithm&) = delete;

    // Whole run from source to destination with the parameter record; nonzero = success.
    // An algorithm that does not say how it runs has done nothing: not a success.
    virtual int Run() { return 0; }
    virtual int ProcessBand(BandTask&) { return 1; }
    virtual void OnBandDone(BandTask& task);
    virtual void StoreBand(const ImageBuffer16& band, int firstRow, int endRow, int rowOffset);
    // Lets a subclass fill the band buffers itself; 0 = NextBand fills them. kBandDirect: the
    // band reads the source and writes the destination itself and needs no buffers.
    static constexpr int kBandDirect = 2;
    virtual int PrepareBand(BandTask&, ImageBuffer16& /*bandSource*/, ImageBuffer16& /*bandDest*/) { return 0; }

    void SetSource(ImageBuffer16* source) { m_pSource = source; }
    void SetDestination(ImageBuffer16* destination) { m_pDestination = destination; }
    void SetParams(const void* params) { m_pParams = params; }
    ImageBuffer16* Source() const { return m_pSource; }
    ImageBuffer16* Destination() const { return m_pDestination; }
    const void* Params() const { return m_pParams; }

    // Nesting and progress.
    void SetParent(CAlgorithm* parent, int low, int high);
    void SetProgress(int percent);
    void SetSubRange(int a, int b);
    CAlgorithm* Parent() const { return m_pParent; }
    int ProgressLow() const { return m_progressLow; }
    int ProgressHigh() const { return m_progressHigh; }
    void SetProgressWindow(int low, int high) { m_progressLow = low; m_progressHigh = high; }
    int SavedLow() const { return m_savedLow; }
    int SavedHigh() const { return m_savedHigh; }
    int NestingDepth() const { return m_nestingDepth; }
    int LastReported() const { return m_lastReported.load(std::memory_order_relaxed); }
    void ResetReported() { m_lastReported.store(0, std::memory_order_relaxed); }

    // Bands.
    int SplitIntoBands(int margin, int bandRows);
    int RunBands();
    BandTask* NextBand(ImageBuffer16& bandSource, ImageBuffer16& bandDest, int mode);
    int AllBandsDone();
    int BandCount();
    std::vector<BandRows> BandLayout(); // the current band list, for callers that inspect it

    int BorderModeValue() const { return m_borderMode; }
    void SetBorderMode(int mode) { m_borderMode = mode; }
    int SuccessFlag() const { return m_success.load(std::memory_order_acquire); }
    // True when the last band run skipped bands because its job was cancelled.
    bool BandsSkipped() const { return m_skipped.load(std::memory_order_acquire); }

    // Takes bands until none is waiting, computing and storing each; used by the helper
    // threads and, when there is nobody to hand bands to, by the thread that runs the bands.
    void WorkThroughBands();

protected:
    void MarkFailed(BandTask& task);

    std::vector<BandTask> m_bands;
    CAlgorithm* m_pParent = nullptr;
    int m_progressLow = 0;
    std::atomic<int> m_lastReported{0};
    int m_progressHigh = 100;
    int m_savedLow = 0;
    int m_savedHigh = 0;
    int m_borderMode = BorderRepeat;
    int m_nestingDepth = 0;
    std::atomic<int> m_success{0};
    platform::CriticalSection m_bandLock;
    ImageBuffer16* m_pSource = nullptr;
    ImageBuffer16* m_pDestination = nullptr;
    const void* m_pParams = nullptr;

private:
    std::atomic<bool> m_skipped{false};
    bool m_cancellable = false; // the band run belongs to the worker's job
};

// Row ranges over the helper threads; used by ParallelRows.
class CRowRangeJob : public CAlgorithm {
public:
    using RangeFn = bool (*)(void* context, int first, int end);
    CRowRangeJob(RangeFn fn, void* context) : m_fn(fn), m_context(context) {}
    // Splits [0, rows) into ranges and runs them; see ParallelRows.
    bool RunRanges(int rows, int64_t workPerRow);
    int ProcessBand(BandTask& task) override { return m_fn(m_context, task.first, task.end) ? 1 : 0; }
    int PrepareBand(BandTask&, ImageBuffer16&, ImageBuffer16&) override { return kBandDirect; }
    void OnBandDone(BandTask&) override {}

private:
    RangeFn m_fn;
    void* m_context;
};

template <class Fn>
bool ParallelRows(int rows, int64_t workPerRow, Fn&& fn)
{
    CRowRangeJob job([](void* c, int first, int end) { return (*static_cast<Fn*>(c))(first, end); },
                     static_cast<void*>(&fn));
    return job.RunRanges(rows, workPerRow);
}
