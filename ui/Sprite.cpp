// The sprite tree: buffers, invalidation into 64 x 64 tiles, the per-frame update, composition
// with the blend tables, and the default input forwarding of message sprites.
#include "ui/Sprite.h"

#include "imaging/AlphaTables.h"
#include "ui/LockOrder.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

std::atomic<CRenderWindow*> g_pRenderWindow{nullptr};
std::atomic<CRenderWindow*> g_pLiveRenderWindow{nullptr};

namespace {

inline void StoreTile(uint8_t& byte, uint8_t value)
{
    std::atomic_ref<uint8_t>(byte).store(value, std::memory_order_relaxed);
}

inline uint8_t LoadTile(const uint8_t& byte)
{
    return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(byte)).load(std::memory_order_relaxed);
}

} // namespace

// One row of the toolkit blend: k = t1[A][s.alpha]; k = 0 keeps d, k = 255 copies s whole
// (alpha included), otherwise d.c = t1[k][s.c] + t2[k][d.c] for B, G and R and d's alpha stays.
// Four pixels at a time in 16-bit lanes; (v + 1 + (v >> 8)) >> 8 equals v / 255 for every
// a * x + 127 of bytes a and x, so the lanes give the tables' values exactly.
void BlendRowOver(uint8_t* __restrict d, const uint8_t* __restrict s, int count, int opacity)
{
    const AlphaTables* tables = GetAlphaTables();
    if (!tables)
        return;
    const uint8_t* weight = tables->t1[opacity];
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i c127 = _mm_set1_epi16(127);
    const __m128i one = _mm_set1_epi16(1);
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i alphaMask = _mm_set1_epi32(int32_t(0xFF000000u));
    auto div255 = [&](__m128i v) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(v, one), _mm_srli_epi16(v, 8)), 8);
    };
    for (; i + 4 <= count; i += 4) {
        const int k0 = weight[s[i * 4 + 3]], k1 = weight[s[i * 4 + 7]];
        const int k2 = weight[s[i * 4 + 11]], k3 = weight[s[i * 4 + 15]];
        if ((k0 | k1 | k2 | k3) == 0)
            continue;
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4));
        if ((k0 & k1 & k2 & k3) == 255) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), sv);
            continue;
        }
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i * 4));
        const __m128i kLo = _mm_set_epi16(short(k1), short(k1), short(k1), short(k1), short(k0), short(k0), short(k0), short(k0));
        const __m128i kHi = _mm_set_epi16(short(k3), short(k3), short(k3), short(k3), short(k2), short(k2), short(k2), short(k2));
        auto mix = [&](__m128i sx, __m128i dx, __m128i k) {
            const __m128i a = div255(_mm_add_epi16(_mm_mullo_epi16(sx, k), c127));
            const __m128i b = div255(_mm_add_epi16(_mm_mullo_epi16(dx, _mm_sub_epi16(c255, k)), c127));
            return _mm_add_epi16(a, b);
        };
        const __m128i lo = mix(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero), kLo);
        const __m128i hi = mix(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero), kHi);
        __m128i out = _mm_packus_epi16(lo, hi);
        out = _mm_or_si128(_mm_andnot_si128(alphaMask, out), _mm_and_si128(alphaMask, dv));
        const __m128i full = _mm_cmpeq_epi32(_mm_set_epi32(k3, k2, k1, k0), _mm_set1_epi32(255));
        out = _mm_or_si128(_mm_and_si128(full, sv), _mm_andnot_si128(full, out));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), out);
    }
#endif
    for (; i < count; ++i) {
        const int k = weight[s[i * 4 + 3]];
        if (k == 0)
            continue;
        if (k == 255) {
            std::memcpy(d + i * 4, s + i * 4, 4);
            continue;
        }
        const uint8_t* a = tables->t1[k];
        const uint8_t* b = tables->t2[k];
        for (int c = 0; c < 3; ++c)
            d[i * 4 + c] = uint8_t(a[s[i * 4 + c]] + b[d[i * 4 + c]]);
    }
}


// ---------------------------------------------------------------------------------------------
// CSprite

CSprite::CSprite()
{
    m_lock.SetRank(lockorder::kSprite);
}

CSprite::~CSprite()
{
    CRenderWindow* window = m_window;
    CRenderWindow* live = g_pRenderWindow.load(std::memory_order_acquire);
#ifndef NDEBUG
    // The derived parts of this object are gone already while the render thread may still be
    // drawing it: a published sprite is retired, never deleted in place.
    if (IsPublished()) {
        std::fprintf(stderr, "a published sprite (id %d) was deleted in place; Retire() it\n", int(m_id));
        std::fflush(stderr);
        std::abort();
    }
#endif
    if (window && window == live) {
        // Still listed after the window's end (or in a release build): taken out now.
        if (Listed() == kTopLevelListed)
            window->ForgetTopLevel(this);
        if (Flags() & SF_INPUT)
            window->RemoveAccelerators(this);
        window->ForgetInputSprite(this);
    }
    if (Listed() == kChildListed && m_parent && IsPointerAlive(m_parent))
        m_parent->RemoveChild(this);
    // The registry outlives every window, so the ticket is given back whether or not the window
    // still exists; a ticket left alive would make a later object at this address look like us.
    ReleaseTicket(m_ticket);
    m_ticket = 0;
    CSprite::ReleaseResources(1);
}

bool CSprite::IsPublished() const
{
    const CSprite* s = this;
    // A child is published while it is listed in a published parent; the chain ends at a
    // top-level sprite listed in a window that still exists.
    for (int depth = 0; s && depth < 64; ++depth) {
        const int listed = s->Listed();
        if (listed == kTopLevelListed)
            return s->m_window && s->m_window == g_pRenderWindow.load(std::memory_order_acquire);
        if (listed != kChildListed)
            return false;
        s = s->m_parent;
    }
    return false;
}

void CSprite::Retire()
{
    CRenderWindow* window = m_window;
    const bool windowLive = window && window == g_pRenderWindow.load(std::memory_order_acquire);
    if (Listed() == kChildListed && m_parent)
        m_parent->RemoveChild(this);
    else if (Listed() == kTopLevelListed && windowLive)
        window->Withdraw(this);
    if (windowLive && window->QueueRetired(this))
        return;
    SetListed(kNotListed);
    ReleaseResources(1);
    delete this;
}

int CSprite::Create(CSprite* parent, CRenderWindow* window, int32_t id, int32_t zLevel, int left,
                    int top, int right, int bottom)
{
    m_parent = parent;
    m_window = window ? window : parent ? parent->m_window : g_pRenderWindow.load();
    // Parent before child: each level ranks one above its parent.
    m_lock.SetRank(parent ? std::min(parent->m_lock.Rank() + 1, lockorder::kSpriteDeepest) : lockorder::kSprite);
    m_id = id;
    SetZLevel(zLevel);
    SetRect({left, top, right, bottom});
    m_children.reserve(32);
    // The ticket comes first: what OnCreate sets up (accelerators, focus) holds it. A failed
    // creation gives it back.
    const bool fresh = m_ticket == 0;
    if (fresh)
        m_ticket = RegisterTicket(this);
    if (!EnsureBuffers() || !OnCreate()) {
        if (fresh) {
            ReleaseTicket(m_ticket);
            m_ticket = 0;
        }
        return 0;
    }
    return 1;
}

void CSprite::AddChild(CSprite* child)
{
    if (!child)
        return;
    platform::ScopedLock lock(m_lock);
    if (std::find(m_children.begin(), m_children.end(), child) == m_children.end())
        m_children.push_back(child);
    child->SetListed(kChildListed);
}

void CSprite::RemoveChild(CSprite* child)
{
    if (!child)
        return;
    platform::ScopedLock lock(m_lock);
    if (std::erase(m_children, child) > 0)
        child->SetListed(kNotListed);
}

SRect CSprite::Rect() const
{
    return {m_left.load(std::memory_order_acquire), m_top.load(std::memory_order_acquire),
            m_right.load(std::memory_order_acquire), m_bottom.load(std::memory_order_acquire)};
}

void CSprite::SetRect(const SRect& r)
{
    platform::ScopedLock lock(m_lock);
    m_left.store(r.left, std::memory_order_release);
    m_top.store(r.top, std::memory_order_release);
    m_right.store(r.right, std::memory_order_release);
    m_bottom.store(r.bottom, std::memory_order_release);
}

void CSprite::SetPos(int x, int y, int width, int height)
{
    SetRect({x, y, x + width, y + height});
    SetAllDirty(1);
}

SRect CSprite::GetFocusRect()
{
    return {};
}

uint8_t CSprite::TileAt(int column, int row) const
{
    std::lock_guard<std::mutex> lock(m_tileLock);
    if (!m_tileMap.data || column < 0 || row < 0 || column >= m_tileMap.width || row >= m_tileMap.height)
        return 0;
    return LoadTile(m_tileMap.data[row * m_tileMap.width + column]);
}

void CSprite::FreeBuffers()
{
    FreeImageBuffer(m_image);
    std::lock_guard<std::mutex> tiles(m_tileLock);
    FreePlane8(m_tileMap);
    m_tileMap = Plane8{};
}

int CSprite::EnsureBuffers()
{
    platform::ScopedLock lock(m_lock);
    const SRect r = Rect();
    const int w = r.Width();
    const int h = r.Height();
    if (m_image.data && m_image.width == w && m_image.height == h && m_tileMap.data)
        return 1;
    if (w <= 0 || h <= 0 || int64_t(w) * h <= 0)
        return 1;
    const int tw = (w + kTileSize - 1) / kTileSize;
    const int th = (h + kTileSize - 1) / kTileSize;
    if (!m_tileMap.data || m_tileMap.width != tw || m_tileMap.height != th) {
        Plane8 map;
        if (!AllocPlane8(map, tw, th)) {
            FreeBuffers();
            return 0;
        }
        std::memset(map.data, 0, map.byteSize);
        std::lock_guard<std::mutex> tiles(m_tileLock);
        FreePlane8(m_tileMap);
        m_tileMap = map;
    }
    if (!AllocImage8(m_image, w, h)) {
        FreeBuffers();
        return 0;
    }
    std::memset(m_image.data, 0, m_image.byteSize);
    InvalidateRect(0, 0, w, h, 1);
    SetAllDirty(1);
    return 1;
}

void CSprite::MarkTiles(int left, int top, int right, int bottom, uint8_t value, bool* anyCovered)
{
    *anyCovered = false;
    // The tile lock only: marking never waits for a sprite lock, so a child (holding its own
    // lock) marks its parent's tiles without taking the parent's lock.
    std::lock_guard<std::mutex> lock(m_tileLock);
    if (!m_tileMap.data)
        return;
    int c0 = left / kTileSize, c1 = (right + kTileSize - 1) / kTileSize;
    int r0 = top / kTileSize, r1 = (bottom + kTileSize - 1) / kTileSize;
    if (c1 < 0 || r1 < 0 || c0 >= m_tileMap.width || r0 >= m_tileMap.height)
        return;
    c0 = std::max(c0, 0);
    r0 = std::max(r0, 0);
    c1 = std::min(c1, m_tileMap.width);
    r1 = std::min(r1, m_tileMap.height);
    if (c0 >= c1 || r0 >= r1)
        return;
    for (int row = r0; row < r1; ++row)
        for (int col = c0; col < c1; ++col)
            StoreTile(m_tileMap.data[row * m_tileMap.width + col], value);
    *anyCovered = true;
}

void CSprite::InvalidateRect(int left, int top, int right, int bottom, int value)
{
    const SRect own = Rect();
    if (left == right) {
        left = 0;
        top = 0;
        right = own.Width();
        bottom = own.Height();
    }
    if (left >= right || top >= bottom)
        return;
    bool covered = false;
    MarkTiles(left, top, right, bottom, uint8_t(value), &covered);
    if (!covered)
        return;
    // Only the tile lock was taken, and it is free again: passing upward nests no locks.
    if (m_parent)
        m_parent->InvalidateRect(left + own.left, top + own.top, right + own.left,
                                 bottom + own.top, 1);
    else if (m_window)
        m_window->InvalidateWindowRect(left + own.left, top + own.top, right + own.left,
                                       bottom + own.top);
}

void CSprite::SetAllDirty(int v)
{
    m_allDirty.store(v, std::memory_order_release);
    if (!v)
        return;
    // Only a window that still exists is asked (a sprite may outlive its window).
    CRenderWindow* window = m_window;
    if (window && window == g_pRenderWindow.load(std::memory_order_acquire))
        window->RequestFrame();
}

void CSprite::SetVisible(int visible)
{
    if (visible) {
        m_visible.store(1, std::memory_order_release);
        SetAllDirty(1);
        return;
    }
    // Mark the area while the tiles still exist, then drop the pictures.
    InvalidateRect(0, 0, 0, 0, 1);
    m_visible.store(0, std::memory_order_release);
    DiscardImage();
    CRenderWindow* window = m_window;
    if (window && window == g_pRenderWindow.load(std::memory_order_acquire))
        window->OnSpriteHidden(this);
}

int CSprite::IsShown() const
{
    if (!IsVisible())
        return 0;
    const CSprite* p = m_parent;
    if (p && IsPointerAlive(p))
        return p->IsShown();
    return 1;
}

int CSprite::Update(uint32_t time)
{
    if (time == 0)
        SetAllDirty(1);
    platform::ScopedLock lock(m_lock);
    if (!EnsureBuffers())
        return 0;
    if (m_tileMap.data) {
        const uint8_t fill = AllDirty() ? 1 : 0;
        for (uint32_t i = 0; i < m_tileMap.byteSize; ++i)
            StoreTile(m_tileMap.data[i], fill);
    }
    bool childChanged = false;
    for (CSprite* child : m_children)
        if (child->IsVisible() && child->Update(time))
            childChanged = true;
    const int drew = OnDraw(time);
    SetAllDirty(0);
    return drew || childChanged ? 1 : 0;
}

uint8_t CSprite::GetEffectiveOpacity() const
{
    if (!m_parent)
        return uint8_t(Opacity());
    return uint8_t(int(m_parent->GetEffectiveOpacity()) * Opacity() / 255);
}

void CSprite::Compose(ImageBuffer8& target, const SRect& windowRect)
{
    platform::ScopedLock lock(m_lock);
    if (!m_image.data || !target.data)
        return;
    const SRect origin = LocalToWindowRect({0, 0, 0, 0});
    SRect l{windowRect.left - origin.left, windowRect.top - origin.top,
            windowRect.right - origin.left, windowRect.bottom - origin.top};
    if (l.left > m_image.width || l.top > m_image.height || l.right < 0 || l.bottom < 0)
        return;
    l.left = std::max(l.left, 0);
    l.top = std::max(l.top, 0);
    l.right = std::min(l.right, m_image.width);
    l.bottom = std::min(l.bottom, m_image.height);
    if (l.IsEmpty())
        return;
    SRect d{l.left + origin.left, l.top + origin.top, l.right + origin.left, l.bottom + origin.top};
    // The target may be smaller than the window rectangle claims (a resize between frames).
    if (d.left < 0 || d.top < 0 || d.right > target.width || d.bottom > target.height) {
        const int dl = std::max(0, -d.left), dt = std::max(0, -d.top);
        const int dr = std::max(0, d.right - target.width), db = std::max(0, d.bottom - target.height);
        l = {l.left + dl, l.top + dt, l.right - dr, l.bottom - db};
        d = {d.left + dl, d.top + dt, d.right - dr, d.bottom - db};
        if (l.IsEmpty())
            return;
    }
    const AlphaTables* tables = GetAlphaTables();
    if (!tables)
        return;
    if (HasContentIn(l)) {
        const int a = GetEffectiveOpacity();
        const int n = l.Width();
        for (int y = 0; y < l.Height(); ++y) {
            const uint8_t* s = m_image.data + (size_t(l.top + y) * m_image.width + l.left) * 4;
            uint8_t* t = target.data + (size_t(d.top + y) * target.width + d.left) * 4;
            // A tile row is short (256 bytes) and the next one is a whole image row away, so
            // the hardware prefetcher does not see it coming.
            if (y + 2 < l.Height()) {
                const uint8_t* next = s + size_t(m_image.width) * 8;
                for (int off = 0; off < n * 4; off += 64)
                    __builtin_prefetch(next + off);
            }
            BlendRowOver(t, s, n, a);
        }
    }
    // The children are owned and the list changes only under this lock: no liveness lookups.
    for (CSprite* child : m_children)
        if (child->IsVisible() && !child->Detached())
            child->Compose(target, windowRect);
    // The own tiles of L are clean now. Nothing is passed upward: marking the window's tile here
    // would make the frame compose it again, and an invalidation that comes in meanwhile must
    // stay marked (the frame loop takes a tile's mark before it composes the tile).
    bool covered = false;
    MarkTiles(l.left, l.top, l.right, l.bottom, 0, &covered);
}

SRect CSprite::LocalToParentRect(const SRect& r) const
{
    const SRect own = Rect();
    return {r.left + own.left, r.top + own.top, r.right + own.left, r.bottom + own.top};
}

SRect CSprite::LocalToWindowRect(const SRect& r) const
{
    SRect out = r;
    for (const CSprite* s = this; s; s = s->m_parent)
        out = s->LocalToParentRect(out);
    return out;
}

SPoint CSprite::LocalToWindowPoint(SPoint p) const
{
    const SRect r = LocalToWindowRect({p.x, p.y, p.x, p.y});
    return {r.left, r.top};
}

SRect CSprite::WindowToLocalRect(const SRect& r) const
{
    const SRect o = LocalToWindowRect({0, 0, 0, 0});
    return {r.left - o.left, r.top - o.top, r.right - o.left, r.bottom - o.top};
}

SPoint CSprite::WindowToLocalPoint(SPoint p) const
{
    const SRect o = LocalToWindowRect({0, 0, 0, 0});
    return {p.x - o.left, p.y - o.top};
}

void CSprite::DiscardImage()
{
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_image);
    for (CSprite* child : m_children)
        child->DiscardImage();
}

void CSprite::DiscardHiddenImages()
{
    platform::ScopedLock lock(m_lock);
    if (!IsShown())
        FreeImageBuffer(m_image);
    for (CSprite* child : m_children)
        child->DiscardHiddenImages();
}

void CSprite::ReleaseResources(int flag)
{
    std::vector<CSprite*> children;
    {
        platform::ScopedLock lock(m_lock);
        FreeBuffers();
        children.swap(m_children);
        for (CSprite* child : children)
            child->SetListed(kNotListed);
    }
    // Out of the list under the lock, so the render thread no longer reaches them; released and
    // freed after it, so that a child's own locks are never taken under its parent's.
    for (CSprite* child : children) {
        child->ReleaseResources(flag);
        if (child->AutoDelete())
            delete child;
    }
}

// ---------------------------------------------------------------------------------------------
// CMessageSprite

CMessageSprite* CMessageSprite::ChildFromPoint(int x, int y) const
{
    if (!IsShown())
        return nullptr;
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
        CSprite* child = *it;
        if (!(child->Flags() & SF_INPUT) || !child->IsVisible() || child->Detached())
            continue;
        const SRect r = child->Rect();
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            if (auto* m = dynamic_cast<CMessageSprite*>(child))
                return m;
    }
    return nullptr;
}

template <class F>
bool CMessageSprite::ForwardToChild(int x, int y, F&& call) const
{
    CMessageSprite* child = ChildFromPoint(x, y);
    if (!child)
        return false;
    const SRect r = child->Rect();
    call(child, x - r.left, y - r.top);
    return true;
}

void CMessageSprite::OnMouseWheel(int x, int y, int delta)
{
    ForwardToChild(x, y, [&](CMessageSprite* c, int cx, int cy) { c->OnMouseWheel(cx, cy, delta); });
}

void CMessageSprite::OnMouseMove(int x, int y, uint32_t flags)
{
    ForwardToChild(x, y, [&](CMessageSprite* c, int cx, int cy) { c->OnMouseMove(cx, cy, flags); });
}

#define ZD_FORWARD_BUTTON(Name)                                                                  \
    void CMessageSprite::Name(int x, int y, uint32_t flags)                                      \
    {                                                                                            \
        if (flags & kCaptureDelivery)                                                            \
            return;                                                                              \
        ForwardToChild(x, y, [&](CMessageSprite* c, int cx, int cy) { c->Name(cx, cy, flags); }); \
    }
ZD_FORWARD_BUTTON(OnLButtonDown)
ZD_FORWARD_BUTTON(OnLButtonUp)
ZD_FORWARD_BUTTON(OnRButtonDown)
ZD_FORWARD_BUTTON(OnRButtonUp)
ZD_FORWARD_BUTTON(OnLButtonDblClk)
#undef ZD_FORWARD_BUTTON

int CMessageSprite::OnSetCursor(int x, int y)
{
    int result = 0;
    if (ForwardToChild(x, y, [&](CMessageSprite* c, int cx, int cy) { result = c->OnSetCursor(cx, cy); }))
        return result;
    if (m_window)
        m_window->SetCursor(platform::StandardCursor::Arrow);
    return 1;
}

int CMessageSprite::QueryDropFiles(int x, int y)
{
    int result = 0;
    ForwardToChild(x, y, [&](CMessageSprite* c, int cx, int cy) { result = c->QueryDropFiles(cx, cy); });
    return result;
}

int CMessageSprite::OnDropFiles(int x, int y, const std::vector<platform::String16>* files)
{
    int result = 0;
    ForwardToChild(x, y, [&](CMessageSprite* c, int cx, int cy) { result = c->OnDropFiles(cx, cy, files); });
    return result;
}

int CMessageSprite::OnSpriteMessage(SpriteMessage* message)
{
    if (!message || message->code != MSG_REFRESH)
        return 0;
    SetAllDirty(1);
    for (CSprite* child : m_children)
        if (child->Flags() & SF_INPUT)
            if (auto* m = dynamic_cast<CMessageSprite*>(child))
                ::PostSpriteMessage(m, MSG_REFRESH, 0, 0, nullptr);
    return 1;
}

int CMessageSprite::PropagateState(int state)
{
    if (m_state.load() == state)
        return 1;
    if (m_propagationChild < 0) {
        for (size_t i = 0; i < m_children.size(); ++i)
            if (m_children[i]->Flags() & SF_INPUT)
                if (auto* m = dynamic_cast<CMessageSprite*>(m_children[i])) {
                    m->PropagateState(state);
                    m_propagationChild = int32_t(i);
                }
    } else if (size_t(m_propagationChild) < m_children.size()) {
        if (auto* m = dynamic_cast<CMessageSprite*>(m_children[size_t(m_propagationChild)]))
            m->PropagateState(state);
    }
    m_state.store(state);
    SetAllDirty(1);
    return 1;
}

int CMessageSprite::PostSpriteMessage(int32_t code, intptr_t param1, intptr_t param2, CSprite* sender)
{
    return ::PostSpriteMessage(this, code, param1, param2, sender);
}

void CMessageSprite::CollectFocusable(std::vector<CMessageSprite*>& list)
{
    if (!IsShown())
        return;
    for (CSprite* child : m_children) {
        if (!child->IsVisible())
            continue;
        auto* m = dynamic_cast<CMessageSprite*>(child);
        if (!m)
            continue;
        if ((m->Flags() & SF_INPUT) && m->CanFocus())
            list.push_back(m);
        m->CollectFocusable(list);
    }
}

// ---------------------------------------------------------------------------------------------

void CDialogControl::GetText(char16_t* buffer, int capacity, int /*flag*/)
{
    if (buffer && capacity > 0)
        buffer[0] = 0;
}

void CPopupSprite::OnPopup()
{
    if (m_window)
        m_window->HideTooltip();
    m_visible.store(1, std::memory_order_release);
    SetAllDirty(1);
}
