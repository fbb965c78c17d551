// Synchronisation: events (auto- and manual-reset), waits on one, any or all of several events
// with a timeout, and re-entrant critical sections.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Results of the waits: the index of the event that ended the wait (0 for wait-all),
// or one of these.
constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;

class Event {
public:
    enum class Reset { Auto, Manual };

    explicit Event(Reset reset = Reset::Auto, bool initiallySet = false);
    ~Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // An auto-reset event releases exactly one waiter and clears itself; a manual-reset event
    // stays set, releasing every waiter, until Reset.
    void Set();
    void ResetEvent();
    bool IsSet() const;

    // true when the event was set within the timeout (and, if auto-reset, this wait consumed it).
    bool Wait(uint32_t timeoutMs = kInfinite);

private:
    friend int WaitForEvents(std::span<Event* const>, bool, uint32_t);
    bool m_manual;
    bool m_set; // guarded by the events' shared lock
};

// Wait for any (waitAll false) or all of the events. With waitAll, the auto-reset events are
// consumed only when all are set at the same moment, so a wait that times out takes nothing.
// Returns the index of the first set event (any), 0 (all), kWaitTimeout, or kWaitFailed
// for an empty list or a null entry.
int WaitForEvents(std::span<Event* const> events, bool waitAll, uint32_t timeoutMs);
inline int WaitForEvents(std::initializer_list<Event*> events, bool waitAll, uint32_t timeoutMs)
{
    return WaitForEvents(std::span<Event* const>(events.begin(), events.size()), waitAll, timeoutMs);
}

// Lock ranks, for locks that take part in a written lock order: a thread takes ranked locks in
// ascending rank only. In debug builds taking a ranked lock whose rank is not above every other
// ranked lock the thread holds (taking one it already holds again is fine) prints both and stops
// the program; release builds (NDEBUG) compile the check out. Rank 0 = not ranked.
namespace lockrank {
void BeforeLock(const void* lock, uint32_t rank);
void Locked(const void* lock, uint32_t rank);
void Unlocked(const void* lock);
// The ranks the calling thread holds, innermost last (for tests).
size_t HeldCount();
} // namespace lockrank

// A re-entrant lock: the owner may lock it again, as nested calls that share one object do.
class CriticalSection {
public:
    CriticalSection() = default;
    explicit CriticalSection(uint32_t rank) : m_rank(rank) {}
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Lock()
    {
#ifndef NDEBUG
        const uint32_t rank = m_rank.load(std::memory_order_relaxed);
        if (rank)
            lockrank::BeforeLock(this, rank);
        m_mutex.lock();
        if (rank)
            lockrank::Locked(this, rank);
#else
        m_mutex.lock();
#endif
    }
    bool TryLock()
    {
        if (!m_mutex.try_lock())
            return false;
#ifndef NDEBUG
        // A try cannot wait, so it cannot deadlock: recorded, not checked.
        if (const uint32_t rank = m_rank.load(std::memory_order_relaxed))
            lockrank::Locked(this, rank);
#endif
        return true;
    }
    void Unlock()
    {
#ifndef NDEBUG
        if (m_rank.load(std::memory_order_relaxed))
            lockrank::Unlocked(this);
#endif
        m_mutex.unlock();
    }

    // Set before the lock is shared with another thread (or while nobody holds it).
    void SetRank(uint32_t rank) { m_rank.store(rank, std::memory_order_relaxed); }
    uint32_t Rank() const { return m_rank.load(std::memory_order_relaxed); }

    // For std::lock_guard / std::unique_lock.
    void lock() { Lock(); }
    bool try_lock() { return TryLock(); }
    void unlock() { Unlock(); }

private:
    std::recursive_mutex m_mutex;
    std::atomic<uint32_t> m_rank{0};
};

class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& cs) : m_cs(cs) { m_cs.Lock(); }
    ~ScopedLock() { m_cs.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& m_cs;
};

} // namespace platform
