// CAlgorithm: progress mapping through nested steps, and bands (split, fill, store).
#include "algorithms/Algorithm.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/PixelAccess.h"
#include "imaging/RowRanges.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

int BorderSourceRow(int row, int height, int mode)
{
    if (height <= 0)
        return -1;
    if (row >= 0 && row < height)
        return row;
    if (mode == BorderZero)
        return -1;
    if (mode == BorderRepeat)
        return row < 0 ? 0 : height - 1;
    if (height == 1)
        return 0;
    const int64_t period = 2 * static_cast<int64_t>(height) - 2;
    int64_t r = std::llabs(static_cast<int64_t>(row)) % period;
    if (r > height - 1)
        r = period - r;
    return static_cast<int>(r);
}

bool ComputeBandSplit(int width, int height, int margin, int bandRows, int helpers,
                      std::vector<BandRows>& out)
{
    out.clear();
    const int64_t w = width, h = height, m = margin;
    bool split;
    int64_t bandPixels = 0;
    if (bandRows == 0) {
        split = !(w * h < 900000 || 2 * m * w > 150000 || helpers <= 0);
        bandPixels = 2 * m * w + 300000;
    } else {
        split = bandRows < h;
        bandPixels = w * bandRows;
    }
    if (!split) {
        out.push_back({0, height, 0, height});
        return true;
    }
    const int64_t core = bandPixels / w - 2 * m;
    if (core <= 0 || m < 0)
        return false;
    for (int64_t start = 0; start < h;) {
        const int64_t end = std::min(start + core, h);
        out.push_back({static_cast<int>(start - m), static_cast<int>(end + m),
                       static_cast<int>(start), static_cast<int>(end)});
        start = end;
    }
    return true;
}

uint64_t GetPixel16(const ImageBuffer16& image, int x, int y)
{
    if (!image.data || x < 0 || y < 0 || x >= image.width || y >= image.height)
        return 0;
    uint64_t v;
    std::memcpy(&v, Row16(image, y) + static_cast<size_t>(x) * 4, sizeof v);
    return v;
}

CAlgorithm::CAlgorithm() = default;

CAlgorithm::~CAlgorithm() = default;

void CAlgorithm::SetParent(CAlgorithm* parent, int low, int high)
{
    m_pParent = parent;
    m_progressLow = low;
    m_progressHigh = high;
    if (parent)
        m_nestingDepth = parent->m_nestingDepth + 1;
}

void CAlgorithm::SetProgress(int percent)
{
    int v = percent;
    if (m_progressLow > 0 || m_progressHigh < 100)
        v = m_progressLow + static_cast<int>(static_cast<int64_t>(m_progressHigh - m_progressLow) * percent / 100);
    // Bands finish on several helpers at once: the exchange makes the repeat test atomic.
    if (m_lastReported.exchange(v, std::memory_order_acq_rel) == v)
        return;
    if (m_pParent) {
        if (m_progressHigh > m_progressLow)
            m_pParent->SetProgress(v);
        return;
    }
    PostAlgorithmMessage(v, 0);
}

void CAlgorithm::SetSubRange(int a, int b)
{
    m_savedLow = m_progressLow;
    m_savedHigh = m_progressHigh;
    const int64_t low = m_progressLow, span = m_progressHigh - m_progressLow;
    m_progressLow = static_cast<int>(low + span * a / 100);
    m_progressHigh = static_cast<int>(low + span * b / 100);
}

void CAlgorithm::OnBandDone(BandTask& task)
{
    int done = 0, count = 0;
    {
        platform::ScopedLock lock(m_bandLock);
        count = static_cast<int>(m_bands.size());
        if (count < 2)
            return;
        task.bandSource = nullptr;
        task.bandDest = nullptr;
        for (const BandTask& t : m_bands)
            if (t.status == BandDone)
                ++done;
    }
    SetProgress(static_cast<int>(static_cast<unsigned>(done) * 100u / static_cast<unsigned>(count)));
}

void CAlgorithm::StoreBand(const ImageBuffer16& band, int firstRow, int endRow, int rowOffset)
{
    ImageBuffer16* dst = m_pDestination;
    if (!dst || !dst->data || !band.data || band.width != dst->width || endRow > dst->height)
        return;
    if (firstRow < 0 || rowOffset < 0 || rowOffset + (endRow - firstRow) > band.height)
        return;
    const size_t rowBytes = static_cast<size_t>(dst->width) * 8;
    for (int r = firstRow; r < endRow; ++r)
        std::memcpy(Row16(*dst, r), Row16(band, rowOffset + r - firstRow), rowBytes);
}

int CAlgorithm::SplitIntoBands(int margin, int bandRows)
{
    const ImageBuffer16* src = m_pSource;
    const int w = src ? src->width : 0, h = src ? src->height : 0;
    std::vector<BandRows> rows;
    const bool ok = w > 0 ? ComputeBandSplit(w, h, margin, bandRows, theAlgorithmThread.AvailableHelpers(), rows)
                          : (rows.push_back({0, h, 0, h}), true);
    if (ok && m_pDestination && !m_pDestination->data && src && src->data)
        CopyImage16(*m_pDestination, *src);

    platform::ScopedLock lock(m_bandLock);
    m_bands.clear();
    if (!ok)
        return 0;
    for (const BandRows& r : rows) {
        BandTask t;
        t.firstWithMargin = r.firstWithMargin;
        t.endWithMargin = r.endWithMargin;
        t.first = r.first;
        t.end = r.end;
        if (rows.size() == 1) {
            t.bandSource = m_pSource;
            t.bandDest = m_pDestination;
        }
        t.owner = this;
        m_bands.push_back(t);
    }
    return static_cast<int>(m_bands.size());
}

int CAlgorithm::BandCount()
{
    platform::ScopedLock lock(m_bandLock);
    return static_cast<int>(m_bands.size());
}

std::vector<BandRows> CAlgorithm::BandLayout()
{
    platform::ScopedLock lock(m_bandLock);
    std::vector<BandRows> out;
    for (const BandTask& t : m_bands)
        out.push_back({t.firstWithMargin, t.endWithMargin, t.first, t.end});
    return out;
}

void CAlgorithm::MarkFailed(BandTask& task)
{
    platform::ScopedLock lock(m_bandLock);
    task.status = BandFailed;
    task.bandSource = nullptr;
    task.bandDest = nullptr;
    m_success.store(0, std::memory_order_release);
}

BandTask* CAlgorithm::NextBand(ImageBuffer16& S, ImageBuffer16& D, int mode)
{
    BandTask* task = nullptr;
    {
        platform::ScopedLock lock(m_bandLock);
        if (m_bands.empty())
            return nullptr;
        if (mode == BorderOwn)
            mode = m_borderMode;
        if (m_cancellable && IsAlgorithmCancelled()) {
            for (BandTask& t : m_bands)
                if (t.status == BandWaiting) {
                    t.status = BandDone;
                    m_skipped.store(true, std::memory_order_release);
                }
            return nullptr;
        }
        for (BandTask& t : m_bands)
            if (t.status == BandWaiting) {
                t.status = BandTaken;
                task = &t;
                break;
            }
    }
    if (!task)
        return nullptr;

    if (const int prepared = PrepareBand(*task, S, D)) {
        if (prepared == kBandDirect || S.data)
            return task;
        MarkFailed(*task); // nobody could ever finish it
        return nullptr;
    }

    const ImageBuffer16& src = *m_pSource;
    const int rows = task->endWithMargin - task->firstWithMargin;
    if (!AllocImage16(S, src.width, rows)) {
        MarkFailed(*task);
        return nullptr;
    }
    if (!(D.data && D.width == S.width && D.height == S.height) && !AllocImage16(D, src.width, rows)) {
        MarkFailed(*task);
        return nullptr;
    }
    const size_t rowBytes = static_cast<size_t>(src.width) * 8;
    for (int i = task->firstWithMargin; i < task->endWithMargin; ++i) {
        uint16_t* out = Row16(S, i - task->firstWithMargin);
        const int from = BorderSourceRow(i, src.height, mode);
        if (from < 0)
            std::memset(out, 0, rowBytes);
        else
            std::memcpy(out, Row16(src, from), rowBytes);
    }
    {
        platform::ScopedLock lock(m_bandLock);
        task->bandSource = &S;
        task->bandDest = &D;
    }
    const uint16_t* s = Pixels16(S);
    uint16_t* d = Pixels16(D);
    const size_t n = PixelCount(S);
    for (size_t p = 0; p < n; ++p)
        d[p * 4 + 3] = s[p * 4 + 3];
    return task;
}

int CAlgorithm::AllBandsDone()
{
    platform::ScopedLock lock(m_bandLock);
    for (const BandTask& t : m_bands)
        if (t.status != BandDone && t.status != BandFailed)
            return 0;
    return 1;
}

void CAlgorithm::WorkThroughBands()
{
    ImageBuffer16 S{}, D{};
    while (BandTask* task = NextBand(S, D, m_borderMode)) {
        if (ProcessBand(*task)) {
            {
                platform::ScopedLock lock(m_bandLock);
                task->status = BandDone;
            }
            StoreBand(D, task->first, task->end, task->first - task->firstWithMargin);
            OnBandDone(*task);
        } else {
            MarkFailed(*task);
        }
        platform::ScopedLock lock(m_bandLock);
        task->bandSource = nullptr;
        task->bandDest = nullptr;
    }
    FreeImageBuffer(S);
    FreeImageBuffer(D);
}

int CAlgorithm::RunBands()
{
    m_success.store(1, std::memory_order_release);
    m_skipped.store(false, std::memory_order_release);
    m_cancellable = OnAlgorithmJobThread();

    size_t count;
    {
        platform::ScopedLock lock(m_bandLock);
        count = m_bands.size();
    }
    if (count == 0) {
        // SplitIntoBands refused the layout: nothing was computed.
        m_success.store(0, std::memory_order_release);
    } else if (count == 1) {
        BandTask& t = m_bands[0];
        if (t.status == BandWaiting) {
            t.status = BandTaken;
            const int ok = ProcessBand(t);
            platform::ScopedLock lock(m_bandLock);
            t.status = ok ? BandDone : BandFailed;
            if (!ok)
                m_success.store(0, std::memory_order_release);
        }
    } else {
        theAlgorithmThread.RunBandsOnHelpers(this, m_cancellable);
        // A band that nobody could take (every helper failed to allocate) has failed.
        platform::ScopedLock lock(m_bandLock);
        for (BandTask& t : m_bands)
            if (t.status == BandWaiting || t.status == BandTaken) {
                t.status = BandFailed;
                m_success.store(0, std::memory_order_release);
            }
    }
    {
        platform::ScopedLock lock(m_bandLock);
        m_bands.clear();
    }
    // Skipped bands keep stale rows: the result is not a success.
    if (m_skipped.load(std::memory_order_acquire))
        m_success.store(0, std::memory_order_release);
    return m_success.load(std::memory_order_acquire);
}

bool CRowRangeJob::RunRanges(int rows, int64_t workPerRow)
{
    if (rows <= 0)
        return true;
    const int helpers = theAlgorithmThread.AvailableHelpers();
    // Below about a quarter megapixel of work the hand-over costs more than it saves.
    if (helpers == 0 || workPerRow * rows < 250000 || rows < 2)
        return m_fn(m_context, 0, rows);
    const int chunks = std::min(rows, helpers * 4);
    const int step = (rows + chunks - 1) / chunks;
    {
        platform::ScopedLock lock(m_bandLock);
        m_bands.clear();
        for (int y = 0; y < rows; y += step) {
            BandTask t;
            t.firstWithMargin = t.first = y;
            t.endWithMargin = t.end = std::min(rows, y + step);
            t.owner = this;
            m_bands.push_back(t);
        }
    }
    if (m_bands.size() == 1) {
        m_bands.clear();
        return m_fn(m_context, 0, rows);
    }
    return RunBands() != 0;
}

namespace {

// The image core's whole-picture loops (colour conversions) use the same helpers.
bool RunRangesOnHelpers(int rows, int64_t workPerRow, RowRangeFn fn, void* context)
{
    CRowRangeJob job(fn, context);
    return job.RunRanges(rows, workPerRow);
}

[[maybe_unused]] const bool g_rowRunnerLent = (SetRowRangeRunner(&RunRangesOnHelpers), true);

} // namespace
