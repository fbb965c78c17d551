// The output side of the render window: creation, the render thread, the frame loop (update,
// compose dirty tiles, present, clean the top-level list), tooltips, busy ring, effects, and the
// window's end, which joins the render thread before anything it uses goes away.
#include "ui/RenderWindow.h"

#include "imaging/AlphaTables.h"
#include "platform/Clock.h"
#include "platform/SystemMessageBox.h"
#include "ui/Effects.h"
#include "ui/Frame.h"
#include "ui/Progress.h"
#include "ui/Tip.h"
#include "ui/FocusIndicate.h"
#include "ui/LockOrder.h"
#include "ui/TicketRegistry.h"
#include "ui/TileScale.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct CRenderWindow::TileMap {
    int columns = 0;
    int rows = 0;
    std::unique_ptr<std::atomic<uint8_t>[]> bytes;

    TileMap(int c, int r) : columns(c), rows(r), bytes(new std::atomic<uint8_t>[size_t(c) * r])
    {
        for (size_t i = 0; i < size_t(c) * r; ++i)
            bytes[i].store(1, std::memory_order_relaxed);
    }
};

namespace {
// ZENDRA_TRACE_PRESENTS=1: one line on stderr per present, with the monotonic millisecond, for
// the idle measurement (bench/idle_program.sh).
const bool g_tracePresents = [] {
    const char* v = std::getenv("ZENDRA_TRACE_PRESENTS");
    return v && *v && *v != '0';
}();
constexpr int kMinTileColumns = 200; // 200 x 64 = 12,800 logical pixels before the map grows
constexpr uint32_t kWorkerWaitMs = 5000;
} // namespace

CRenderWindow::CRenderWindow()
{
    m_renderLock.SetRank(lockorder::kRender);
    m_drawListLock.SetRank(lockorder::kDrawList);
    m_presentLock.SetRank(lockorder::kPresent);
    m_messageLock.SetRank(lockorder::kLeaf);
    m_exitEventsLock.SetRank(lockorder::kLeaf);
    {
        platform::ScopedLock lock(m_renderLock);
        EnsureTileMap(kMinTileColumns, kMinTileColumns);
    }
    m_threadExitEvents.reserve(32);
    m_topLevel.reserve(32);
    g_pRenderWindow.store(this, std::memory_order_release);
}

CRenderWindow::~CRenderWindow()
{
    Destroy();
    FreeRetired(true);
    std::vector<CSprite*> list;
    {
        platform::ScopedLock lock(m_renderLock);
        list.swap(m_topLevel);
        platform::ScopedLock drawLock(m_drawListLock);
        m_drawList.clear();
        m_composeList.clear();
    }
    // Members of a derived window are destroyed before this runs: their records are dead.
    for (CSprite* s : list)
        if (IsPointerAlive(s)) {
            s->SetListed(CSprite::kNotListed);
            if (s->AutoDelete()) {
                s->ReleaseResources(1);
                delete s;
            }
        }
    // Members go in reverse order of construction.
    m_tip.reset();
    m_frame.reset();
    m_busy.reset();
    m_baseLayer.reset();
    m_focusMarker.reset();
    FreeImageBuffer(m_backBuffer);
    FreeImageBuffer(m_scaledBlock);
    FreeImageBuffer(m_scaledBack);
    CRenderWindow* self = this;
    g_pRenderWindow.compare_exchange_strong(self, nullptr);
}

int CRenderWindow::Open(const RenderWindowOptions& options)
{
    g_pRenderWindow.store(this, std::memory_order_release);
    m_platform = platform::Window::Create(options.backend, options.window, this);
    if (!m_platform) {
        platform::ShowSystemMessageBox(options.backend, u"", UiText(u"errinit"));
        return 0;
    }
    m_uiThread = std::this_thread::get_id();
    m_backend = options.backend;
    if (OnCreate() != 0) {
        platform::ShowSystemMessageBox(options.backend, u"", UiText(u"errinit"));
        Destroy();
        return 0;
    }
    m_opened = true;
    if (options.maximize)
        m_platform->Maximize();
    m_platform->Show();
    m_startThread = options.startRenderThread;
    if (!OnInitDialog()) {
        Destroy();
        return 0;
    }
    // The first layout: a window that opens at its final size gets no size event.
    platform::WindowEvent size;
    size.kind = platform::EventKind::Size;
    size.width = m_platform->ClientWidth();
    size.height = m_platform->ClientHeight();
    size.state = m_platform->State();
    OnSize(size);
    return 1;
}

int CRenderWindow::OnCreate()
{
    g_pLiveRenderWindow.store(this, std::memory_order_release);
    m_focusMarker = std::make_unique<CSFocusIndicate>();
    m_baseLayer = std::make_unique<CDialogBaseLayer>();
    m_busy = std::make_unique<CSProgress>();
    m_frame = std::make_unique<CFrame>();
    m_tip = std::make_unique<CSTip>();

    auto createTop = [this](CSprite& s, int32_t id, int32_t z, int w, int h, bool visible,
                            const char16_t* log) {
        if (!s.Create(nullptr, this, id, z, 0, 0, w, h))
            return false;
        if (!visible)
            s.SetVisible(0);
        AddTopLevel(&s);
        if (log)
            WriteUiLog(log);
        return true;
    };
    if (!createTop(*m_frame, 0xFFFFFF, 0, 100, 100, true, u"Frame Created") ||
        !createTop(*m_busy, 0xFFFFFE, 161, 64, 64, false, u"Prog Created") ||
        !createTop(*m_tip, 0xFFFFFD, 171, 64, 16, false, u"Tip Created") ||
        !createTop(*m_focusMarker, 0xFFFFFD, 170, 100, 100, false, nullptr) ||
        !createTop(*m_baseLayer, 0xFFFFFD, 159, 100, 100, false, nullptr))
        return -1;
    return 0;
}

int CRenderWindow::OnInitDialog()
{
    const int dpi = m_platform->LogicalDpi();
    m_scale = dpi < 140 ? 1.0 : dpi < 180 ? 1.5 : 2.0;
    // Until the first frame the client counts as 100 x 100.
    m_clientWidth.store(100);
    m_clientHeight.store(100);
    m_logicalWidth.store(int(100 / m_scale));
    m_logicalHeight.store(int(100 / m_scale));
    if (!BuildAlphaTables())
        return 0;
    m_windowActive.store(m_platform->IsActive() ? 1 : 0);
    SetAlgorithmHost(this);
    if (m_startThread) {
        m_renderThread = std::make_unique<platform::Thread>([this](platform::Thread&) {
            RenderThreadProc();
            return 0;
        });
        if (!m_renderThread->Start())
            return 0;
    }
    // The one-second capture and tooltip check starts with the first capture or tooltip.
    return 1;
}

void CRenderWindow::RenderThreadProc()
{
    RegisterThreadExitEvent(&m_renderExit);
    while (!m_stopRender.load() &&
           !(g_pLiveRenderWindow.load() == this && WindowReady()))
        m_wake.Wait(100);
    m_inFrameLoop.store(true);
    int quiet = 0;
    while (!m_stopRender.load() && g_pLiveRenderWindow.load() == this) {
        const uint64_t start = platform::GetTickCount64();
        // Cleared before the frame: whatever asks during it gets the next one.
        m_frameRequested.store(false);
        const int busy = RenderFrame(uint32_t(start));
        if (g_pLiveRenderWindow.load() != this)
            break;
        quiet = busy || m_frameRequested.load() ? 0 : quiet + 1;
        if (quiet >= kQuietFramesBeforeSleep) {
            // Nothing moves: sleep until a change asks for a frame (RequestFrame sets m_wake)
            // or until the earliest frame asked for by time, with no timer in between.
            const uint64_t due = m_frameDueAt.load();
            const uint64_t now = platform::GetTickCount64();
            if (due > now) {
                m_renderSleeping.store(true);
                m_renderSleeps.fetch_add(1);
                m_wake.Wait(due == UINT64_MAX ? platform::kInfinite
                                              : uint32_t(std::min<uint64_t>(due - now, 0x7FFFFFFF)));
                m_renderSleeping.store(false);
            }
            if (platform::GetTickCount64() >= m_frameDueAt.load())
                m_frameDueAt.store(UINT64_MAX);
            quiet = 0;
            continue;
        }
        // Measured from the start of this frame, without catching up.
        for (;;) {
            const uint64_t now = platform::GetTickCount64();
            if (now - start >= uint64_t(kFramePeriodMs) || m_stopRender.load())
                break;
            m_wake.Wait(uint32_t(kFramePeriodMs - (now - start)));
        }
    }
    m_inFrameLoop.store(false);
    m_renderExit.Set();
}

void CRenderWindow::RequestFrame()
{
    // One wake per frame at most: the flag stays set until the render thread's next frame.
    if (!m_frameRequested.exchange(true, std::memory_order_acq_rel))
        m_wake.Set();
}

void CRenderWindow::RequestFrameIn(uint32_t ms)
{
    const uint64_t tick = platform::GetTickCount64() + ms;
    uint64_t due = m_frameDueAt.load();
    while (tick < due && !m_frameDueAt.compare_exchange_weak(due, tick)) {
    }
    if (tick < due && m_renderSleeping.load())
        m_wake.Set();
}

void CRenderWindow::EnsureTileMap(int columns, int rows)
{
    TileMap* current = CurrentTiles();
    columns = std::max(columns, kMinTileColumns);
    rows = std::max(rows, kMinTileColumns);
    if (current && current->columns >= columns && current->rows >= rows)
        return;
    if (current) {
        columns = std::max(columns, current->columns);
        rows = std::max(rows, current->rows);
    }
    m_allTileMaps.push_back(std::make_unique<TileMap>(columns, rows));
    m_tiles.store(m_allTileMaps.back().get(), std::memory_order_release);
}

void CRenderWindow::MarkAllTiles()
{
    TileMap* map = CurrentTiles();
    for (size_t i = 0; i < size_t(map->columns) * map->rows; ++i)
        map->bytes[i].store(1, std::memory_order_relaxed);
}

void CRenderWindow::ClearDirtyTiles()
{
    TileMap* map = CurrentTiles();
    for (size_t i = 0; i < size_t(map->columns) * map->rows; ++i)
        map->bytes[i].store(0, std::memory_order_relaxed);
}

uint8_t CRenderWindow::TileDirty(int column, int row) const
{
    TileMap* map = CurrentTiles();
    if (column < 0 || row < 0 || column >= map->columns || row >= map->rows)
        return 0;
    return map->bytes[size_t(row) * map->columns + column].load(std::memory_order_relaxed);
}

void CRenderWindow::InvalidateWindowRect(int left, int top, int right, int bottom)
{
    TileMap* map = CurrentTiles();
    int c0 = left / kTileSize, c1 = (right + kTileSize - 1) / kTileSize;
    int r0 = top / kTileSize, r1 = (bottom + kTileSize - 1) / kTileSize;
    if (c1 < 0 || r1 < 0 || c0 >= map->columns || r0 >= map->rows)
        return;
    c0 = std::max(c0, 0);
    r0 = std::max(r0, 0);
    c1 = std::min(c1, map->columns);
    r1 = std::min(r1, map->rows);
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c)
            map->bytes[size_t(r) * map->columns + c].store(1, std::memory_order_relaxed);
    RequestFrame();
}

void CRenderWindow::InvalidateAll()
{
    // The tile bytes are atomics and the map only grows (old maps are kept): no lock needed.
    MarkAllTiles();
    RequestFrame();
}

int CRenderWindow::RenderFrame(uint32_t time)
{
    if (!m_platform)
        return 0;
    const int cw = m_platform->ClientWidth();
    const int ch = m_platform->ClientHeight();
    const int lw = int(cw / m_scale);
    const int lh = int(ch / m_scale);
    m_clientWidth.store(cw);
    m_clientHeight.store(ch);
    m_logicalWidth.store(lw);
    m_logicalHeight.store(lh);
    if (lw != m_backBuffer.width || lh != m_backBuffer.height || !m_backBuffer.data) {
        platform::ScopedLock lock(m_renderLock);
        if (lw <= 0 || lh <= 0) {
            FreeImageBuffer(m_backBuffer);
            return 0;
        }
        if (!AllocImage8(m_backBuffer, lw, lh))
            return 0;
        EnsureTileMap((lw + kTileSize - 1) / kTileSize, (lh + kTileSize - 1) / kTileSize);
        MarkAllTiles();
    }
    if (!m_backBuffer.data)
        return 0;
    if (++m_frameCount >= kFullRedrawEvery) {
        InvalidateAll();
        m_frameCount = 0;
    }

    bool changed = false;
    bool presented = false;
    {
        platform::ScopedLock lock(m_renderLock);
        m_framesStarted.fetch_add(1, std::memory_order_acq_rel);
        // Listed sprites are alive: they are freed only after they left the list and a frame
        // has passed.
        for (CSprite* s : m_topLevel)
            if (s->IsVisible() && !s->Detached() && s->Update(time))
                changed = true;

        // The whole map is scanned: an invalidation made outside Update (a sprite hidden on
        // the UI thread) is drawn in this frame, not ten seconds later.
        TileMap* map = CurrentTiles();
        const int columns = std::min((m_backBuffer.width + kTileSize - 1) / kTileSize, map->columns);
        const int rows = std::min((m_backBuffer.height + kTileSize - 1) / kTileSize, map->rows);
        m_composeListReady = false;
        m_presentParts.clear();
        m_presentPending = false;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                // The mark is taken before composing: an invalidation that comes while the tile is
                // being composed marks it again for the next frame instead of being wiped out.
                std::atomic<uint8_t>& byte = map->bytes[size_t(r) * map->columns + c];
                if (!byte.load(std::memory_order_relaxed) || !byte.exchange(0, std::memory_order_acq_rel))
                    continue;
                const SRect tile{c * kTileSize, r * kTileSize,
                                 std::min(c * kTileSize + kTileSize, m_backBuffer.width),
                                 std::min(r * kTileSize + kTileSize, m_backBuffer.height)};
                ComposeTile(tile);
                PresentRect(tile);
                presented = true;
            }
        m_composeListReady = false;
        CleanTopLevelList();
        SortDrawList();
    }
    // Outside RenderLock, so a slow X server holds up this thread, not the UI thread's input.
    PresentFrame();
    if (presented)
        m_presentedFrames.fetch_add(1);
    m_framesDone.fetch_add(1, std::memory_order_acq_rel);
    if (RetiredCount() > 0)
        PostRetiredCheck();
    return changed || presented ? 1 : 0;
}

void CRenderWindow::CleanTopLevelList()
{
    std::vector<CSprite*> keep, drop;
    keep.reserve(m_topLevel.size());
    for (CSprite* s : m_topLevel) {
        if (s->Finished() || s->Detached())
            drop.push_back(s);
        else
            keep.push_back(s);
    }
    m_topLevel.swap(keep);
    if (drop.empty())
        return;
    {
        platform::ScopedLock drawLock(m_drawListLock);
        std::erase_if(m_drawList, [&](CSprite* s) { return std::find(drop.begin(), drop.end(), s) != drop.end(); });
    }
    for (CSprite* s : drop) {
        s->SetListed(CSprite::kNotListed);
        // Freed on the UI thread after the next frame, never here: its destructor belongs to
        // the UI thread's lists (accelerators, focus).
        if (s->AutoDelete() && !QueueRetired(s)) {
            s->ReleaseResources(1);
            delete s;
        }
    }
}

void CRenderWindow::SortDrawList()
{
    platform::ScopedLock lock(m_drawListLock);
    m_drawList = m_topLevel;
    if (m_drawList.size() > 1)
        std::stable_sort(m_drawList.begin(), m_drawList.end(),
                         [](CSprite* a, CSprite* b) { return a->ZLevel() < b->ZLevel(); });
}

void CRenderWindow::BuildComposeList()
{
    if (m_drawList.size() != m_topLevel.size())
        SortDrawList();
    m_composeList.clear();
    for (CSprite* s : m_drawList) {
        if (!s->IsVisible() || s->Detached())
            continue;
        if (CSprite* p = s->Parent(); p && IsPointerAlive(p) && !p->IsShown())
            continue;
        platform::ScopedLock lock(s->Lock());
        if (!s->Image().data)
            continue;
        const SRect r = s->Rect();
        m_composeList.push_back({s, {r.left, r.top, r.left + s->Image().width, r.top + s->Image().height}});
    }
    m_composeListReady = true;
}

void CRenderWindow::ComposeTile(const SRect& t)
{
    if (!m_composeListReady)
        BuildComposeList();
    ImageBuffer8& back = m_backBuffer;
    // Start at the highest sprite that covers the whole tile with opaque pixels (the dimmed
    // layer behind a dialog): nothing below it can show.
    size_t first = 0;
    bool covered = false;
    for (size_t i = m_composeList.size(); i-- > 0;) {
        const ComposeEntry& e = m_composeList[i];
        const SRect& a = e.area;
        if (a.left <= t.left && a.top <= t.top && a.right >= t.right && a.bottom >= t.bottom) {
            platform::ScopedLock lock(e.sprite->Lock());
            const SRect own = e.sprite->WindowToLocalRect(t);
            if (e.sprite->IsVisible() && e.sprite->IsOpaqueIn(own)) {
                first = i;
                covered = true;
                break;
            }
        }
    }
    if (!covered)
        for (int y = t.top; y < t.bottom; ++y)
            std::memset(back.data + (size_t(y) * back.width + t.left) * 4, 0, size_t(t.Width()) * 4);
    for (size_t i = first; i < m_composeList.size(); ++i) {
        const ComposeEntry& e = m_composeList[i];
        const SRect& area = e.area;
        if (t.right >= area.left && t.bottom >= area.top && area.right >= t.left && area.bottom >= t.top) {
            const SRect cut{std::max(t.left, area.left), std::max(t.top, area.top),
                            std::min(t.right, area.right), std::min(t.bottom, area.bottom)};
            platform::ScopedLock lock(e.sprite->Lock());
            e.sprite->Compose(back, cut);
        }
    }
    if (!WindowActive())
        for (int y = t.top; y < t.bottom; ++y) {
            uint8_t* p = back.data + (size_t(y) * back.width + t.left) * 4;
            for (int x = 0; x < t.Width(); ++x, p += 4) {
                p[0] >>= 1;
                p[1] >>= 1;
                p[2] >>= 1;
            }
        }
}

// The dimmed picture behind a dialog is the window itself, not a click ring or a fade caught
// halfway: they end now and their area is composed again without them before the snapshot
// (the tiles stay marked, so the next frame shows the same on screen).
void CRenderWindow::ComposeWithoutEffectsLocked()
{
    SRect area{};
    bool any = false;
    for (CSprite* s : m_topLevel) {
        if (!dynamic_cast<CClickWave*>(s) && !dynamic_cast<CSFadeEffect*>(s))
            continue;
        if (!s->IsVisible() || s->Finished())
            continue;
        const SRect r = s->Rect();
        area = any ? SRect{std::min(area.left, r.left), std::min(area.top, r.top), std::max(area.right, r.right),
                           std::max(area.bottom, r.bottom)}
                   : r;
        any = true;
        s->SetFinished(1);
        s->SetVisible(0);
    }
    if (!any || !m_backBuffer.data)
        return;
    const int c0 = std::max(0, area.left / kTileSize), r0 = std::max(0, area.top / kTileSize);
    const int c1 = std::min((m_backBuffer.width + kTileSize - 1) / kTileSize, (area.right + kTileSize - 1) / kTileSize);
    const int r1 = std::min((m_backBuffer.height + kTileSize - 1) / kTileSize, (area.bottom + kTileSize - 1) / kTileSize);
    m_composeListReady = false;
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c)
            ComposeTile({c * kTileSize, r * kTileSize, std::min(c * kTileSize + kTileSize, m_backBuffer.width),
                         std::min(r * kTileSize + kTileSize, m_backBuffer.height)});
    m_composeListReady = false;
}

void CRenderWindow::PresentRect(const SRect& r)
{
    const ImageBuffer8& back = m_backBuffer;
    if (!back.data || r.IsEmpty())
        return;
    m_presentedTiles.fetch_add(1);
    m_presentPending = true;
    // Neighbouring tiles of one row go as one rectangle.
    auto add = [this](const SRect& part) {
        if (!m_presentParts.empty()) {
            platform::PresentRect& last = m_presentParts.back();
            if (last.source.right == part.left && last.source.top == part.top && last.source.bottom == part.bottom) {
                last.source.right = part.right;
                return;
            }
        }
        m_presentParts.push_back({{part.left, part.top, part.right, part.bottom}, {part.left, part.top}});
    };
    if (m_scale == 1.0) {
        add(r);
        return;
    }
    const int cw = ClientWidth(), ch = ClientHeight();
    const SRect block = ScaledBlockRect(r, cw, ch, back.width, back.height);
    if (block.IsEmpty() || !ScaleTileBlock(back, r, m_scale, m_scaledBlock))
        return;
    if (m_scaledBack.width != cw || m_scaledBack.height != ch || !m_scaledBack.data) {
        FreeImageBuffer(m_scaledBack);
        if (!AllocImage8(m_scaledBack, cw, ch))
            return;
    }
    const SRect to{std::max(block.left, 0), std::max(block.top, 0),
                   std::min({block.right, cw, block.left + m_scaledBlock.width}),
                   std::min({block.bottom, ch, block.top + m_scaledBlock.height})};
    if (to.IsEmpty())
        return;
    for (int y = to.top; y < to.bottom; ++y)
        std::memcpy(m_scaledBack.data + (size_t(y) * cw + to.left) * 4,
                    m_scaledBlock.data + (size_t(y - block.top) * m_scaledBlock.width + (to.left - block.left)) * 4,
                    size_t(to.Width()) * 4);
    add(to);
}

void CRenderWindow::PresentFrame()
{
    if (!m_presentPending || m_presentParts.empty())
        return;
    m_presentPending = false;
    const ImageBuffer8& from = m_scale == 1.0 ? m_backBuffer : m_scaledBack;
    if (!from.data)
        return;
    m_presentCalls.fetch_add(1);
    platform::ScopedLock lock(m_presentLock);
    if (g_tracePresents)
        std::fprintf(stderr, "zendra: present %llu\n", static_cast<unsigned long long>(platform::GetTickCount64()));
    m_platform->Present({from.data, from.width, from.height, from.width * 4}, m_presentParts);
}

std::vector<CSprite*> CRenderWindow::TopLevelSprites()
{
    platform::ScopedLock lock(m_renderLock);
    return m_topLevel;
}

void CRenderWindow::AddTopLevel(CSprite* sprite)
{
    if (!sprite)
        return;
    platform::ScopedLock lock(m_renderLock);
    if (std::find(m_topLevel.begin(), m_topLevel.end(), sprite) == m_topLevel.end())
        m_topLevel.push_back(sprite);
    sprite->SetListed(CSprite::kTopLevelListed);
    RequestFrame();
}

void CRenderWindow::ForgetTopLevel(CSprite* sprite)
{
    platform::ScopedLock lock(m_renderLock);
    if (std::erase(m_topLevel, sprite) > 0)
        sprite->SetListed(CSprite::kNotListed);
    platform::ScopedLock drawLock(m_drawListLock);
    std::erase(m_drawList, sprite);
    std::erase_if(m_composeList, [&](const ComposeEntry& e) { return e.sprite == sprite; });
}

void CRenderWindow::Withdraw(CSprite* sprite)
{
    if (!sprite)
        return;
    const SRect r = sprite->Rect();
    ForgetTopLevel(sprite);
    // What it covered is drawn again without it.
    InvalidateWindowRect(r.left, r.top, r.right, r.bottom);
}

bool CRenderWindow::QueueRetired(CSprite* sprite)
{
    if (!sprite || !m_platform || m_destroyed)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_retireLock);
        m_retired.push_back({sprite, m_framesStarted.load(std::memory_order_acquire) + 1});
    }
    if (m_inFrameLoop.load())
        RequestFrame(); // the fence is the next frame; the render thread reports it done
    else
        PostRetiredCheck(); // no frame can be running: free at the next message
    return true;
}

size_t CRenderWindow::RetiredCount() const
{
    std::lock_guard<std::mutex> lock(m_retireLock);
    return m_retired.size();
}

void CRenderWindow::PostRetiredCheck()
{
    if (m_retirePosted.exchange(true))
        return;
    if (!m_platform || !m_platform->PostMessage(WM_SPRITE_RETIRED, 0, 0))
        m_retirePosted.store(false);
}

void CRenderWindow::FreeRetired(bool all)
{
    m_retirePosted.store(false);
    std::vector<CSprite*> now;
    bool left;
    {
        std::lock_guard<std::mutex> lock(m_retireLock);
        // Without a frame loop no frame can be running (tests pumping frames themselves).
        const bool noFrames = !m_inFrameLoop.load();
        const uint64_t done = m_framesDone.load(std::memory_order_acquire);
        std::erase_if(m_retired, [&](const Retired& r) {
            if (!all && !noFrames && done < r.fence)
                return false;
            now.push_back(r.sprite);
            return true;
        });
        left = !m_retired.empty();
    }
    for (CSprite* s : now) {
        s->ReleaseResources(1);
        delete s;
    }
    if (left)
        RequestFrame();
}

bool CRenderWindow::OnUiThread() const
{
    return m_uiThread == std::thread::id() || std::this_thread::get_id() == m_uiThread;
}

void CRenderWindow::FinishTopLevelSprite(CSprite* sprite)
{
    // No lock: an effect calls this from its Update under its own lock; the flag is atomic and
    // the end of the frame takes the sprite out of the list.
    if (sprite)
        sprite->SetFinished(1);
}

int CRenderWindow::PhysicalToLogicalX(int x) const
{
    const int cw = ClientWidth();
    return cw == 0 ? 0 : int(int64_t(x) * LogicalWidth() / cw);
}

int CRenderWindow::PhysicalToLogicalY(int y) const
{
    const int ch = ClientHeight();
    return ch == 0 ? 0 : int(int64_t(y) * LogicalHeight() / ch);
}

SPoint CRenderWindow::PhysicalToLogicalPoint(SPoint p) const
{
    return {PhysicalToLogicalX(p.x), PhysicalToLogicalY(p.y)};
}

void CRenderWindow::SetCursor(platform::StandardCursor cursor)
{
    if (m_platform)
        m_platform->SetCursor(cursor);
}

void CRenderWindow::OnLayout(int w, int h)
{
    if (m_frame)
        m_frame->SetPos(0, 0, w, h);
    if (m_baseLayer)
        m_baseLayer->SetPos(0, 0, w, h);
    UpdateFocusIndicator(false);
}

void CRenderWindow::OnFocusMoved(int, int) {}

void CRenderWindow::OnCloseRequest()
{
    if (m_platform)
        m_platform->PostQuit(0);
}

// ---- busy ring, tooltips, effects -----------------------------------------------------------

void CRenderWindow::BeginBusy(SRect r)
{
    if (!m_busy)
        return;
    if (r.left == r.right) {
        const int half = LogicalHeight() / 10;
        const int cx = LogicalWidth() / 2, cy = LogicalHeight() / 2;
        r = {cx - half, cy - half, cx + half, cy + half};
    }
    m_busy->SetPos(r.left, r.top, r.Width(), r.Height());
    m_busy->Show(1);
    SetCursor(platform::StandardCursor::Wait);
}

void CRenderWindow::EndBusy()
{
    if (!m_busy)
        return;
    m_busy->Show(0);
    m_busy->ResetPercent();
    SetCursor(platform::StandardCursor::Arrow);
}

void CRenderWindow::ShowTooltip(int x, int y, const char16_t* text, bool rightAligned, bool opaque)
{
    if (!m_tip)
        return;
    if (m_tip->IsVisible())
        HideTooltip();
    if (!m_tip->SetText(text))
        return;
    const int w = m_tip->TextWidth() + 8;
    m_tip->SetOpaque(opaque);
    PlaceTooltip(rightAligned ? x - w : x, y, w, m_tip->TextHeight() + 8);
}

// Kept inside the right and bottom edges only: a tip asked for left of the window stays there.
void CRenderWindow::PlaceTooltip(int x, int y, int w, int h)
{
    if (x + w > LogicalWidth())
        x = LogicalWidth() - w;
    if (y + h > LogicalHeight())
        y = LogicalHeight() - h;
    m_tip->SetPos(x, y, w, h);
    m_tip->SetVisible(1);
    if (OnUiThread())
        UpdateCaptureTimer();
}

void CRenderWindow::ShowTooltipImage(int x, int y, const ImageBuffer8& image)
{
    if (!m_tip)
        return;
    if (m_tip->IsVisible())
        HideTooltip();
    if (!m_tip->SetImage(image))
        return;
    PlaceTooltip(x, y, image.width, image.height);
}

void CRenderWindow::HideTooltip()
{
    if (m_tip)
        m_tip->SetVisible(0);
    if (OnUiThread())
        UpdateCaptureTimer();
}

MenuPlacement PlacePopupMenu(int w, int h, bool down, bool right, int x, int y, int lw, int lh)
{
    MenuPlacement p;
    if (!down && y < h)
        down = true;
    else if (down && lh - y < h && lh - y < y)
        down = false;
    p.downwards = down;
    if (right && lw - x < w) {
        p.x = x - w;
        p.rightwards = false;
    } else if (!right && x < w) {
        p.x = x;
        p.rightwards = true;
    } else if (!right) {
        p.x = x - w;
        p.rightwards = false;
    } else {
        p.x = x;
        p.rightwards = true;
    }
    return p;
}

MenuPlacement CRenderWindow::TrackPopupMenu(CPopupSprite* menu, int menuWidth, int menuHeight, bool downwards,
                                            bool rightwards, int x, int y)
{
    HideTooltip();
    const MenuPlacement p = PlacePopupMenu(menuWidth, menuHeight, downwards, rightwards, x, y, LogicalWidth(),
                                           LogicalHeight());
    if (menu) {
        menu->SetPos(p.x, 0, menuWidth, LogicalHeight());
        PushModal(menu);
    }
    return p;
}

void CRenderWindow::PlayClickWave()
{
    if (!m_platform)
        return;
    const SPoint p = PhysicalToLogicalPoint(m_platform->CursorPos());
    auto* wave = new (std::nothrow) CClickWave;
    if (!wave)
        return;
    wave->SetAutoDelete(1);
    if (!wave->Create(nullptr, this, 0, p.x - 100, p.y - 100, p.x + 100, p.y + 100, 205)) {
        delete wave;
        return;
    }
    AddTopLevel(wave);
}

void CRenderWindow::PlayFadeEffect(const ImageBuffer8* image, int left, int top, int right, int bottom)
{
    auto* fade = new (std::nothrow) CSFadeEffect;
    if (!fade)
        return;
    fade->SetAutoDelete(1);
    ImageBuffer8 copy;
    bool forced = false;
    if (image && image->data && image->width == right - left && image->height == bottom - top) {
        CopyImage8(copy, *image);
    } else {
        CopyBackBufferRect({left, top, right, bottom}, copy);
        forced = true;
    }
    fade->SetSnapshot(copy, forced);
    FreeImageBuffer(copy);
    if (!fade->Create(nullptr, this, 0, 170, left - 10, top - 10, right + 10, bottom + 10)) {
        delete fade;
        return;
    }
    AddTopLevel(fade);
}

int CRenderWindow::CopyBackBufferRect(SRect r, ImageBuffer8& image)
{
    platform::ScopedLock lock(m_renderLock);
    if (!m_backBuffer.data)
        return 0;
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, m_backBuffer.width);
    r.bottom = std::min(r.bottom, m_backBuffer.height);
    if (r.IsEmpty() || !AllocImage8(image, r.Width(), r.Height()))
        return 0;
    for (int y = 0; y < r.Height(); ++y)
        std::memcpy(image.data + size_t(y) * r.Width() * 4,
                    m_backBuffer.data + (size_t(r.top + y) * m_backBuffer.width + r.left) * 4,
                    size_t(r.Width()) * 4);
    return 1;
}

// ---- sprite messages ------------------------------------------------------------------------

int CRenderWindow::QueueSpriteMessage(SpriteMessage* record)
{
    if (!m_platform || m_destroyed)
        return 0;
    {
        platform::ScopedLock lock(m_messageLock);
        m_pending.push_back(record);
    }
    if (m_platform->PostMessage(WM_SPRITE_MESSAGE, 0, reinterpret_cast<intptr_t>(record)))
        return 1;
    platform::ScopedLock lock(m_messageLock);
    if (auto it = std::find(m_pending.begin(), m_pending.end(), record); it != m_pending.end())
        m_pending.erase(it);
    return 0;
}

int CRenderWindow::OnSpriteMessage(SpriteMessage* record)
{
    if (!record)
        return 0;
    {
        // Only records of ours that are still pending are touched: the queue may carry a
        // record that the window's end already freed.
        platform::ScopedLock lock(m_messageLock);
        auto it = std::find(m_pending.begin(), m_pending.end(), record);
        if (it == m_pending.end())
            return 0;
        m_pending.erase(it);
    }
    int result = 0;
    if (IsTicketFor(record->recipientTicket, record->recipient))
        result = record->recipient->OnSpriteMessage(record);
    delete record;
    return result;
}

size_t CRenderWindow::PendingMessageCount() const
{
    platform::ScopedLock lock(m_messageLock);
    return m_pending.size();
}

void CRenderWindow::FreePendingMessages()
{
    platform::ScopedLock lock(m_messageLock);
    for (SpriteMessage* m : m_pending)
        delete m;
    m_pending.clear();
}

void CRenderWindow::PostAlgorithmMessage(CMessageSprite* listener, int p1, int p2)
{
    ::PostSpriteMessage(listener, MSG_ALGORITHM, p1, p2, nullptr);
}

bool CRenderWindow::IsRenderWindowLive()
{
    return g_pLiveRenderWindow.load(std::memory_order_acquire) == this;
}

// ---- worker threads and the end -------------------------------------------------------------

void CRenderWindow::RegisterThreadExitEvent(platform::Event* event)
{
    platform::ScopedLock lock(m_exitEventsLock);
    if (event && std::find(m_threadExitEvents.begin(), m_threadExitEvents.end(), event) == m_threadExitEvents.end())
        m_threadExitEvents.push_back(event);
}

void CRenderWindow::UnregisterThreadExitEvent(platform::Event* event)
{
    platform::ScopedLock lock(m_exitEventsLock);
    std::erase(m_threadExitEvents, event);
}

void CRenderWindow::Destroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    OnDestroy();
    if (m_platform)
        m_platform->Destroy();
}

void CRenderWindow::OnDestroy()
{
    if (!m_modal.empty())
        PopModal(m_modal.front());
    CRenderWindow* self = this;
    g_pLiveRenderWindow.compare_exchange_strong(self, nullptr);
    self = this;
    g_pRenderWindow.compare_exchange_strong(self, nullptr);
    m_stopRender.store(true);
    m_wake.Set();
    // The render thread uses the sprites, the back buffer and the blend tables: it is joined,
    // not waited for with a timeout.
    if (m_renderThread) {
        m_renderThread->Join();
        m_renderThread.reset();
    }
    UnregisterThreadExitEvent(&m_renderExit);
    // No frame runs any more: what was retired goes now.
    FreeRetired(true);
    // Idle algorithm helpers sleep until woken: they see the window is gone and end, signalling
    // the exit events waited for below.
    WakeAlgorithmHelpers();
    std::vector<platform::Event*> events;
    {
        platform::ScopedLock lock(m_exitEventsLock);
        events = m_threadExitEvents;
    }
    if (!events.empty())
        platform::WaitForEvents(std::span<platform::Event* const>(events.data(), events.size()), true, kWorkerWaitMs);
    if (GetAlgorithmHost() == this)
        SetAlgorithmHost(nullptr);
    FreeAlphaTables();
    if (m_platform)
        m_platform->KillTimer(kCaptureTimerId);
    FreePendingMessages();
}
